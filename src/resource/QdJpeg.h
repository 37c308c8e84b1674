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
  // Indexed by the next kLookBits bits, where a code of at most that length ends there with a
  // symbol: the symbol << 8 | the bits taken; and where the symbol's extra bits fit too (their
  // count is the symbol for DC tables, its low nibble for AC tables), their extended value << 16
  // with those bits counted in. 0 elsewhere. Only a shortcut: it yields exactly what the
  // bit-by-bit search and the separate extra bits yield.
  static constexpr int kLookBits = 10;
  std::vector<uint32_t> Fast;
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
  void DecodeMcuWhole(int column, int row, uint8_t* planes);
  void DecodeBlock(int component, uint8_t* samples, ptrdiff_t stride);
  size_t RestartCursor() const;
  uint8_t DecodeHuffmanSlow(const TQdHuffTable& t);
  void ConvertColours(bool converted);

  uint16_t RestartInterval = 0;
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  // Entropy data is read ahead into BitBuffer, its unconsumed bits at the top, BitsLeft of them
  // (0 to 64); Cursor is the next byte to read in. Bits and bytes are consumed exactly as one
  // bit at a time would consume them.
  size_t Cursor = 0;
  int32_t BitsLeft = 0;
  uint64_t BitBuffer = 0;
  uint8_t MaxH = 0;
  uint8_t MaxV = 0;
  const uint8_t* FileData = nullptr;
  size_t FileSize = 0;
  size_t ReadPos = 0;
  // The block being decoded: the coefficients the data gave (all others are zero), dequantised,
  // in the order they came, and their positions in row order.
  int16_t Block[64] = {};
  uint8_t BlockPositions[64] = {};
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
