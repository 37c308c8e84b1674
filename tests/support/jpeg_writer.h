// Builds small baseline JPEG files segment by segment from hand-made coefficient blocks, so tests
// can state exactly which bytes the decoder meets (and break them on purpose).
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testjpeg {

struct HuffCodes {
  std::array<uint8_t, 16> bits{}; // count of codes of length 1..16
  std::vector<uint8_t> values;
};

// DC categories 0 to 17 in codes of 2 to 6 bits, every bit pattern a code (all ones included).
HuffCodes DcTable();
// Every run/size byte: end of block in 2 bits, the other 255 symbols in 9.
HuffCodes AcTable();

// Entropy-coded bytes: most significant bit first, FF followed by a stuffed 00, padded with ones.
class BitWriter {
public:
  void Put(uint32_t value, int count);
  void PutSymbol(const HuffCodes& table, uint8_t symbol);
  // Category and extra bits of a coefficient value, as T.81 codes them.
  static int Category(int value);
  void PutValue(int value);
  void Flush();
  std::vector<uint8_t> bytes;

private:
  uint32_t acc_ = 0;
  int count_ = 0;
  void PutByte(uint8_t b);
};

using Coefs = std::array<int16_t, 64>; // zig-zag order

struct Component {
  uint8_t id, h, v, tq;
};

class Builder {
public:
  std::vector<uint8_t> data;
  Builder& Raw(std::initializer_list<uint8_t> bytes);
  Builder& Append(const std::vector<uint8_t>& bytes);
  Builder& Soi() { return Raw({0xFF, 0xD8}); }
  Builder& Eoi() { return Raw({0xFF, 0xD9}); }
  Builder& Segment(uint8_t marker, const std::vector<uint8_t>& body); // length = body + 2
  Builder& Dqt(uint8_t destination, uint8_t value);                   // every entry = value
  Builder& Dht(std::initializer_list<std::pair<uint8_t, HuffCodes>> tables);
  Builder& StandardTables(); // DcTable and AcTable in slots 0 and 16
  Builder& Sof0(uint16_t width, uint16_t height, const std::vector<Component>& components);
  // Every scan component uses Huffman tables 0.
  Builder& Sos(const std::vector<uint8_t>& ids);
  Builder& Dri(uint16_t interval);
};

// Encodes blocks in scan order with DcTable/AcTable. blockComponents gives the component of each
// block of one MCU. With a restart interval, predictors reset and RSTn markers are written between
// intervals unless writeMarkers is false (then nothing resets either).
std::vector<uint8_t> EncodeScan(const std::vector<Coefs>& blocks,
                                const std::vector<int>& blockComponents, int restartInterval = 0,
                                bool writeMarkers = true);

// A whole grey picture of 8x8 blocks whose DC coefficients are given (quantisation 1).
std::vector<uint8_t> GreyPicture(uint16_t width, uint16_t height, const std::vector<int>& dc);

} // namespace testjpeg
