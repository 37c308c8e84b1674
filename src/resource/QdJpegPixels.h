// The arithmetic of the JPEG decoder's back half: one coefficient block to 64 samples, YCbCr to
// blue-green-red, and the pixel packings of the output formats. Kept free of decoder state so each
// step can be checked on hand-made values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace qdjpeg {

// Row k, column n: c(k) * cos((2n + 1) k pi / 16) rounded to four decimals.
extern const float CosTable[64];
// For each zig-zag index, its position in row order.
extern const uint8_t ZigZagToRow[64];
// For each position of the block in row order, its index in zig-zag order.
extern const uint8_t ZigZag[64];

// Dequantises (16-bit products), reorders to row order, runs the float IDCT and level-shifts.
// block: coefficients in zig-zag order, overwritten with the dequantised ones in row order;
// quant: the table in zig-zag order.
void TransformBlock(int16_t block[64], const uint8_t quant[64], uint8_t samples[64]);

// The IDCT and level shift alone, from the coefficients that may be non-zero (all others are
// zero): count dequantised values and their positions in row order (8 * row + column), each
// column's rows ascending (as in zig-zag order). Sample row y goes to samples + y * stride.
// InverseDct is the SSE2 version where the target has it, else the portable one; both give the same
// samples.
void InverseDctPortable(const int16_t* values, const uint8_t* positions, int count,
                        uint8_t* samples, ptrdiff_t stride);
#if defined(__SSE2__)
#define QDJPEG_SSE2 1
void InverseDctSse2(const int16_t* values, const uint8_t* positions, int count, uint8_t* samples,
                    ptrdiff_t stride);
#endif
inline void InverseDct(const int16_t* values, const uint8_t* positions, int count, uint8_t* samples,
                       ptrdiff_t stride) {
#if defined(QDJPEG_SSE2)
  InverseDctSse2(values, positions, count, samples, stride);
#else
  InverseDctPortable(values, positions, count, samples, stride);
#endif
}

// Writes blue, green, red: each float result clamped to 0..255 and truncated.
inline void YCbCrToBgr(uint8_t y, uint8_t cb, uint8_t cr, uint8_t bgr[3]) {
  const float fy = y, fcb = static_cast<float>(cb) - 128.0f, fcr = static_cast<float>(cr) - 128.0f;
  const float r = fy + 1.402f * fcr;
  const float g = fy - 0.34414f * fcb - 0.71414f * fcr;
  const float b = fy + 1.772f * fcb;
  bgr[0] = static_cast<uint8_t>(std::min(std::max(b, 0.0f), 255.0f));
  bgr[1] = static_cast<uint8_t>(std::min(std::max(g, 0.0f), 255.0f));
  bgr[2] = static_cast<uint8_t>(std::min(std::max(r, 0.0f), 255.0f));
}

// YCbCrToBgr over count pixels (a multiple of 8) of three sample rows into blue-green-red bytes;
// the pair version for two rows with the same chroma.
void YCbCrRowToBgrPortable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                           int count);
#if defined(QDJPEG_SSE2)
void YCbCrRowToBgrSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                       int count);
void YCbCrRowPairToBgrSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                           const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, int count);
#endif
inline void YCbCrRowToBgr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                          int count) {
#if defined(QDJPEG_SSE2)
  YCbCrRowToBgrSse2(y, cb, cr, bgr, count);
#else
  YCbCrRowToBgrPortable(y, cb, cr, bgr, count);
#endif
}
inline void YCbCrRowPairToBgr(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                              const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, int count) {
#if defined(QDJPEG_SSE2)
  YCbCrRowPairToBgrSse2(y0, y1, cb, cr, bgr0, bgr1, count);
#else
  YCbCrRowToBgrPortable(y0, cb, cr, bgr0, count);
  YCbCrRowToBgrPortable(y1, cb, cr, bgr1, count);
#endif
}

// Bytes per picture row: 3 * width rounded up to a multiple of 4.
inline int32_t PictureStride(int32_t width) {
  return (3 * width + 3) & ~3;
}

inline uint32_t PackPixel32(uint8_t b, uint8_t g, uint8_t r) {
  return b | (uint32_t{g} << 8) | (uint32_t{r} << 16) | 0xFF000000u;
}
inline uint16_t PackPixel16(uint8_t b, uint8_t g, uint8_t r) {
  return static_cast<uint16_t>((b >> 3) | ((g << 3) & 0x07E0) | ((r << 8) & 0xF800));
}
inline uint16_t PackPixel15(uint8_t b, uint8_t g, uint8_t r) {
  return static_cast<uint16_t>((b >> 3) | ((g << 2) & 0x03E0) | ((r << 7) & 0x7C00));
}

// count pixels of blue, green, red bytes to PackPixel32 values, little-endian.
void BgrRowToPixel32Portable(const uint8_t* bgr, uint8_t* out, int count);
#if defined(QDJPEG_SSE2)
void BgrRowToPixel32Sse2(const uint8_t* bgr, uint8_t* out, int count);
#endif
inline void BgrRowToPixel32(const uint8_t* bgr, uint8_t* out, int count) {
#if defined(QDJPEG_SSE2)
  BgrRowToPixel32Sse2(bgr, out, count);
#else
  BgrRowToPixel32Portable(bgr, out, count);
#endif
}

// Index of the first entry closest in summed channel distance; the search settles for the first
// new best that lies closer than 24. Entries are blue, green, red and one unused byte.
uint8_t NearestPaletteIndex(uint8_t b, uint8_t g, uint8_t r, const uint8_t* palette);

} // namespace qdjpeg
