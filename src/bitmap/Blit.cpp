#include "bitmap/QdBitmap.h"

#include "platform/pixel_rows.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void StorePixel(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

} // namespace

bool TQdBitmap::ClipToBitmap(TRect& source, TRect& destination) const {
  // 64-bit arithmetic so that rectangles near the ends of the range cannot overflow.
  if (destination.left < 0) {
    source.left = Saturate(int64_t(source.left) - destination.left);
    destination.left = 0;
  }
  if (destination.top < 0) {
    source.top = Saturate(int64_t(source.top) - destination.top);
    destination.top = 0;
  }
  if (destination.right > Width) {
    source.right = Saturate(int64_t(source.right) - (int64_t(destination.right) - Width));
    destination.right = Width;
  }
  if (destination.bottom > Height) {
    source.bottom = Saturate(int64_t(source.bottom) - (int64_t(destination.bottom) - Height));
    destination.bottom = Height;
  }
  return int64_t(source.right) - source.left > 0 && int64_t(source.bottom) - source.top > 0;
}

bool TQdBitmap::ClipForDraw(TRect& source, TRect& destination,
                            const TQdBitmap& sourceBitmap) const {
  if (!ClipToBitmap(source, destination)) return false;
  // The source rectangle may reach past its bitmap; only the part inside is copied, to the same
  // place it would have gone.
  if (source.left < 0) {
    destination.left = Saturate(int64_t(destination.left) - source.left);
    source.left = 0;
  }
  if (source.top < 0) {
    destination.top = Saturate(int64_t(destination.top) - source.top);
    source.top = 0;
  }
  // The source decides the size, as it always has; it is only cut where it would leave either
  // bitmap (a destination rectangle smaller than the source does not shrink the copy).
  const int64_t cw = std::min({int64_t(source.right), int64_t(sourceBitmap.Width),
                               int64_t(source.left) + Width - destination.left}) -
                     source.left;
  const int64_t ch = std::min({int64_t(source.bottom), int64_t(sourceBitmap.Height),
                               int64_t(source.top) + Height - destination.top}) -
                     source.top;
  if (cw <= 0 || ch <= 0) return false;
  source.right = static_cast<int32_t>(source.left + cw);
  source.bottom = static_cast<int32_t>(source.top + ch);
  destination.right = static_cast<int32_t>(destination.left + cw);
  destination.bottom = static_cast<int32_t>(destination.top + ch);
  return true;
}

void TQdBitmap::Draw(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
                     bool useKey) {
  TRect dst = destination;
  TRect src = sourceRect;
  if (!ClipForDraw(src, dst, source)) return;
  CopyPixels(dst, source, src, useKey);
}

void TQdBitmap::CopyPixels(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
                           bool useKey) {
  // Other pixel sizes would walk past the ends of the rows.
  if (BitCount != 32 || source.BitCount != 32) return;
  const int32_t sx = sourceRect.left, sy = sourceRect.top;
  const int32_t dx = destination.left, dy = destination.top;
  const int32_t w = sourceRect.right - sourceRect.left;
  const int32_t h = sourceRect.bottom - sourceRect.top;
  const bool self = &source == this;

  source.Lock();
  if (!self) Lock();
  // Onto itself, rows and pixels run away from the direction of the move so that every source
  // pixel is read before it is overwritten.
  const bool upwards = !(self && dy > sy);
  const bool rightToLeft = self && dy == sy && dx > sx;
  const uint32_t key = source.ColorKey;
  for (int32_t n = 0; n < h; ++n) {
    const int32_t i = upwards ? n : h - 1 - n;
    const uint8_t* s = source.GetScanLine(sy + i);
    uint8_t* d = GetScanLine(dy + i);
    if (s == nullptr || d == nullptr) continue;
    s += static_cast<ptrdiff_t>(sx) * 4;
    d += static_cast<ptrdiff_t>(dx) * 4;
    if (!useKey) {
      std::memmove(d, s, static_cast<size_t>(w) * 4);
    } else if (rightToLeft) {
      for (int32_t x = w - 1; x >= 0; --x) {
        const uint32_t v = LoadPixel(s + x * 4);
        if (v != key) StorePixel(d + x * 4, v);
      }
    } else if (!self || d + int64_t{w} * 4 <= s || s + int64_t{w} * 4 <= d) {
      rows::KeyedCopyRow32(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(s), w,
                           key, key);
    } else {
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = LoadPixel(s + x * 4);
        if (v != key) StorePixel(d + x * 4, v);
      }
    }
  }
  if (!self) Unlock();
  source.Unlock();
}

void TQdBitmap::FillRect(uint32_t colour, const TRect& r) {
  const int64_t x = std::max<int64_t>(r.left, 0);
  const int64_t y = std::max<int64_t>(r.top, 0);
  const int64_t w = std::min<int64_t>(r.right, Width) - x;
  const int64_t h = std::min<int64_t>(r.bottom, Height) - y;
  if (w < 0 || h < 0) return;
  (this->*FillProc)(colour, static_cast<int32_t>(x), static_cast<int32_t>(y),
                    static_cast<int32_t>(w), static_cast<int32_t>(h));
}

void TQdBitmap::XorRect(uint32_t colour, const TRect& r) {
  const int64_t x = std::max<int64_t>(r.left, 0);
  const int64_t y = std::max<int64_t>(r.top, 0);
  const int64_t w = std::min<int64_t>(r.right, Width) - x;
  const int64_t h = std::min<int64_t>(r.bottom, Height) - y;
  if (w < 0 || h < 0) return;
  (this->*XorProc)(colour, static_cast<int32_t>(x), static_cast<int32_t>(y),
                   static_cast<int32_t>(w), static_cast<int32_t>(h));
}

template <typename RowFn>
void TQdBitmap::ForEachRow(int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t bytesPerPixel, RowFn fn) {
  // The routines are public, so they stay inside the bitmap even when called directly.
  const int64_t x0 = std::max<int64_t>(x, 0);
  const int64_t y0 = std::max<int64_t>(y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(x) + width, Width);
  const int64_t y1 = std::min<int64_t>(int64_t(y) + height, Height);
  const int32_t count = static_cast<int32_t>(x1 - x0);
  Lock();
  if (count > 0) {
    for (int64_t row = y0; row < y1; ++row) {
      uint8_t* line = GetScanLine(static_cast<int32_t>(row));
      if (line != nullptr) fn(line + x0 * bytesPerPixel, count);
    }
  }
  Unlock();
}

void TQdBitmap::Fill32(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (BitCount != 32 && BitCount != 0) return; // a 32-bit store would overrun narrower rows
  ForEachRow(x, y, width, height, 4,
             [colour](uint8_t* p, int32_t n) { rows::FillRow(p, n, 4, colour); });
}

void TQdBitmap::Fill16(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (BitCount != 15 && BitCount != 16) return;
  const uint16_t v = ColorTo16(colour);
  ForEachRow(x, y, width, height, 2, [v](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      std::memcpy(p + i * 2, &v, 2);
  });
}

void TQdBitmap::Fill15(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (BitCount != 15 && BitCount != 16) return;
  const uint16_t v = ColorTo15(colour);
  ForEachRow(x, y, width, height, 2, [v](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      std::memcpy(p + i * 2, &v, 2);
  });
}

void TQdBitmap::Xor32(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (BitCount != 32 && BitCount != 0) return;
  const uint32_t mask = colour & 0x00FFFFFFu;
  ForEachRow(x, y, width, height, 4, [mask](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      StorePixel(p + i * 4, LoadPixel(p + i * 4) ^ mask);
  });
}

void TQdBitmap::DrawToScreen(HDC dc, int32_t x, int32_t y, int32_t) {
  DrawRectToScreen(dc, x, y, Rect(0, 0, Width, Height));
}

void TQdBitmap::DrawRectToScreen(HDC dc, int32_t x, int32_t y, const TRect& r) {
  if (Pixels == nullptr) return;
  // GDI pads 16-bit rows to four bytes; with an odd width it would read past the block.
  if (BitCount != 32 && (Width & 1) != 0) return;
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = Height; // positive: rows bottom-up, as stored
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>((BitCount + 7) & ~7);
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(Pitch) * static_cast<DWORD>(Height);
  SetDIBitsToDevice(dc, x + r.left, y + r.top, static_cast<DWORD>(r.right - r.left),
                    static_cast<DWORD>(r.bottom - r.top), r.left, Height - r.bottom, 0,
                    static_cast<UINT>(Height), Pixels, &info, DIB_RGB_COLORS);
}
