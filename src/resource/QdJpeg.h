// UQdJPEG: baseline JPEG decoder (sequential DCT, Huffman coding, 8-bit samples, one scan) into a
// 24-bit blue-green-red picture, and its conversion to the display's pixel formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TQdHuffTable {
  int32_t CodeCount = 0; // 0: never defined
  std::vector<uint16_t> Codes;
  std::vector<uint8_t> CodeLengths;
  std::vector<uint8_t> Symbols;
  // Indexed by code length 1 to 16; MaxCode is 0xFFFF where no code has that length.
  uint16_t MaxCode[17] = {};
  uint16_t MinCode[17] = {};
  int32_t ValPtr[17] = {};
  // For each possible next 8 bits: code length << 8 | symbol where a code of up to 8 bits ends
  // there, else 0. Only a shortcut: it yields exactly what the bit-by-bit search yields.
  uint16_t Fast[256] = {};
};

class TQdJpeg {
public:
  // False when the file cannot be opened or is empty, and when its contents would take the decoder
  // outside its buffers or tables (the decoder then holds no picture and reports 0 by 0), and when
  // a frame header came without a scan (the frame's size is still reported, with no picture).
  // Anything else, unknown markers included, gives true.
  bool LoadFromFile(const std::string& fileName);
  // The same decoding from bytes in memory; an empty buffer gives false.
  bool LoadFromMemory(const uint8_t* data, size_t size);

  uint16_t Width() const { return FrameWidth; }
  uint16_t Height() const { return FrameHeight; }
  bool HasPicture() const;

  // Writes Height rows of Width pixels at 8, 15, 16, 24 or 32 bits, row y at dest + y * pitch.
  // Palette (256 entries of blue, green, red, unused) is needed only at 8 bits. False, writing
  // nothing, for any other depth, a missing palette, or when no picture was decoded.
  bool CopyPixelsTo(void* dest, int32_t pitch, const uint8_t* palette, int bits) const;

  // For inspection.
  uint16_t GetRestartInterval() const { return RestartInterval; }
  const TQdHuffTable& HuffTable(int slot) const { return HuffTables[slot]; }
  const uint8_t* QuantTable(int destination) const { return QuantTables[destination]; }

private:
  bool Decode();
  void DropPicture();
  bool IsMarker(size_t pos, uint8_t code) const;
  uint8_t ByteAt(size_t pos) const;
  uint16_t WordAt(size_t pos) const;
  size_t Need(size_t pos, size_t count) const;
  void SkipSegment();
  void RestartSegment();
  void HuffmanSegment();
  void QuantisationSegment();
  void FrameSegment();
  void ScanSegment();
  void DecodeScan();
  void DecodeMcu(int column, int row);
  void DecodeBlockCoefficients(int component);
  uint8_t NextByte();
  int NextBit();
  uint16_t ReceiveBits(int count);
  void LoadByte();
  void SkipBits(int count);
  uint8_t DecodeHuffman(int slot);
  void ConvertColours();

  uint16_t RestartInterval = 0;
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  size_t Cursor = 0;
  int32_t BitsLeft = 0;
  uint8_t CurrentByte = 0;
  uint8_t MaxH = 0;
  uint8_t MaxV = 0;
  const uint8_t* FileData = nullptr;
  size_t FileSize = 0;
  size_t ReadPos = 0;
  int16_t Block[64] = {};
  int16_t DcPred[3] = {};
  std::vector<uint8_t> McuBuffer;
  uint8_t QuantTables[16][64] = {};
  TQdHuffTable HuffTables[20];
  uint16_t FrameHeight = 0;
  uint16_t FrameWidth = 0;
  uint8_t FrameComponents = 0;
  uint8_t ComponentId[3] = {};
  uint8_t HSamp[3] = {};
  uint8_t VSamp[3] = {};
  uint8_t QuantIndex[3] = {};
  uint8_t ScanComponents = 0;
  uint8_t ScanComponentId[3] = {};
  uint8_t DcTableIndex[3] = {};
  uint8_t AcTableIndex[3] = {};
  uint8_t SpectralStart = 0;
  uint8_t SpectralEnd = 0;
  uint8_t ApproxHigh = 0;
  uint8_t ApproxLow = 0;
  bool SawFrame = false;
  bool SawScan = false;
  std::vector<uint8_t> Pixels;
};
