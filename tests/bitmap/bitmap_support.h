// Pixel access for bitmap tests.
#pragma once

#include "bitmap/QdBitmap.h"

#include <cstring>

inline uint32_t PixelAt(TQdBitmap& b, int x, int y) {
  TQdLockGuard lock(b);
  uint32_t v = 0;
  std::memcpy(&v, b.GetScanLine(y) + x * 4, 4);
  return v;
}

inline uint16_t Pixel16At(TQdBitmap& b, int x, int y) {
  TQdLockGuard lock(b);
  uint16_t v = 0;
  std::memcpy(&v, b.GetScanLine(y) + x * 2, 2);
  return v;
}

inline void SetPixel(TQdBitmap& b, int x, int y, uint32_t v) {
  TQdLockGuard lock(b);
  std::memcpy(b.GetScanLine(y) + x * 4, &v, 4);
}

// Every pixel gets a value naming its position: 0xFF000000 | y << 12 | x.
inline void FillWithCoordinates(TQdBitmap& b, uint32_t tag = 0xFF000000u) {
  for (int y = 0; y < b.Height; ++y)
    for (int x = 0; x < b.Width; ++x)
      SetPixel(b, x, y, tag | uint32_t(y) << 12 | uint32_t(x));
}

inline uint32_t Coord(int x, int y, uint32_t tag = 0xFF000000u) {
  return tag | uint32_t(y) << 12 | uint32_t(x);
}
