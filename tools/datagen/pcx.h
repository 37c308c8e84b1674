// 256-colour PCX pictures and the scrambled form the game reads (".kv0").
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace datagen {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct IndexedPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels; // one palette index per pixel, rows top to bottom
  std::array<Rgb, 256> palette{};
};

std::vector<uint8_t> EncodePcx(const IndexedPicture& picture);

// Byte p becomes ror8(byte xor key, (p + start) mod 8); Unscramble undoes it.
void Scramble(std::vector<uint8_t>& bytes, uint8_t key, unsigned start);
void Unscramble(std::vector<uint8_t>& bytes, uint8_t key, unsigned start);

constexpr uint8_t kKv0Key = 0xC5;

// Reads back what EncodePcx writes (one plane, 8 bits, palette at the end); false on anything
// else or on damage.
bool DecodePcx(const std::vector<uint8_t>& file, IndexedPicture& out);

} // namespace datagen
