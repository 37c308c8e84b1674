// Small font files made by the tests themselves, and pixel access for checking what was drawn.
#pragma once

#include "bitmap/QdBitmap.h"
#include "support/temp_dir.h"

#include <cstring>
#include <string>

namespace fontfiles {

// ASCII glyphs whose every pixel is ink; count glyphs from code 31.
inline std::string SolidAscii(int count = 97) {
  return std::string(count * 16, '\xFF');
}

// Hangul pieces that are solid 16x16 blocks, so a drawn syllable is a full cell.
inline std::string SolidHangul(int count = 344) {
  return std::string(count * 32, '\xFF');
}

// Glyph k holds k + 1 and its complement in a pair of rows chosen by its piece: rows 0-1 for
// initials (0-151), 2-3 for medials (152-235), 4-5 for finals (236-343). A composed glyph thus
// names each piece it was made of, and two pieces of one kind give an invalid pair.
inline std::string RecognisableHangul(int count = 344) {
  std::string data(count * 32, '\0');
  for (int k = 0; k < count; ++k) {
    int pair = k < 152 ? 0 : k < 236 ? 1 : 2;
    uint16_t v = static_cast<uint16_t>(k + 1), c = static_cast<uint16_t>(~v);
    char* g = data.data() + k * 32 + pair * 4;
    g[0] = static_cast<char>(v >> 8);
    g[1] = static_cast<char>(v & 0xFF);
    g[2] = static_cast<char>(c >> 8);
    g[3] = static_cast<char>(c & 0xFF);
  }
  return data;
}

inline uint32_t Pixel32(TQdBitmap& b, int x, int y) {
  TQdLockGuard lock(b);
  uint32_t v;
  std::memcpy(&v, b.GetScanLine(y) + x * 4, 4);
  return v;
}

inline uint16_t Pixel16(TQdBitmap& b, int x, int y) {
  TQdLockGuard lock(b);
  uint16_t v;
  std::memcpy(&v, b.GetScanLine(y) + x * 2, 2);
  return v;
}

inline void Fill(TQdBitmap& b, uint32_t value) {
  TQdLockGuard lock(b);
  int bytes = b.BitCount == 32 ? 4 : 2;
  for (int y = 0; y < b.Height; ++y)
    for (int x = 0; x < b.Width; ++x)
      std::memcpy(b.GetScanLine(y) + x * bytes, &value, bytes);
}

} // namespace fontfiles
