// Points and rectangles in screen and bitmap pixels: (0, 0) at the top left, y downwards; a
// rectangle includes its left and top edges and excludes its right and bottom ones.
#pragma once

#include <cstdint>

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int32_t x, int32_t y) {
  return {x, y};
}
constexpr TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return {left, top, right, bottom};
}
constexpr TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  // Wraps like the 32-bit arithmetic it stands for instead of overflowing.
  return {left, top,
          static_cast<int32_t>(static_cast<uint32_t>(left) + static_cast<uint32_t>(width)),
          static_cast<int32_t>(static_cast<uint32_t>(top) + static_cast<uint32_t>(height))};
}
