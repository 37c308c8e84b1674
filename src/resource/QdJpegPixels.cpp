// Block arithmetic, colour conversion and output packing of the JPEG decoder.
#include "resource/QdJpegPixels.h"

#include "resource/QdJpeg.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qdjpeg {

// Four decimals, as the picture's expected samples were computed with exactly these values.
alignas(16) const float CosTable[64] = {
    0.7071f, 0.7071f,  0.7071f,  0.7071f,  0.7071f,  0.7071f,  0.7071f,  0.7071f,  //
    0.9808f, 0.8315f,  0.5556f,  0.1951f,  -0.1951f, -0.5556f, -0.8315f, -0.9808f, //
    0.9239f, 0.3827f,  -0.3827f, -0.9239f, -0.9239f, -0.3827f, 0.3827f,  0.9239f,  //
    0.8315f, -0.1951f, -0.9808f, -0.5556f, 0.5556f,  0.9808f,  0.1951f,  -0.8315f, //
    0.7071f, -0.7071f, -0.7071f, 0.7071f,  0.7071f,  -0.7071f, -0.7071f, 0.7071f,  //
    0.5556f, -0.9808f, 0.1951f,  0.8315f,  -0.8315f, -0.1951f, 0.9808f,  -0.5556f, //
    0.3827f, -0.9239f, 0.9239f,  -0.3827f, -0.3827f, 0.9239f,  -0.9239f, 0.3827f,  //
    0.1951f, -0.5556f, 0.8315f,  -0.9808f, 0.9808f,  -0.8315f, 0.5556f,  -0.1951f, //
};

const uint8_t ZigZag[64] = {
    0,  1,  5,  6,  14, 15, 27, 28, //
    2,  4,  7,  13, 16, 26, 29, 42, //
    3,  8,  12, 17, 25, 30, 41, 43, //
    9,  11, 18, 24, 31, 40, 44, 53, //
    10, 19, 23, 32, 39, 45, 52, 54, //
    20, 22, 33, 38, 46, 51, 55, 60, //
    21, 34, 37, 47, 50, 56, 59, 61, //
    35, 36, 48, 49, 57, 58, 62, 63, //
};

const uint8_t ZigZagToRow[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63, //
};

void TransformBlock(int16_t block[64], const uint8_t quant[64], uint8_t samples[64]) {
  alignas(16) int16_t rowOrder[64];
  unsigned rows = 0, columns = 0;
  for (int n = 0; n < 64; ++n) {
    const auto v = static_cast<int16_t>(block[n] * quant[n]);
    const int p = ZigZagToRow[n];
    rowOrder[p] = v;
    if (v != 0) {
      rows |= 1u << (p >> 3);
      columns |= 1u << (p & 7);
    }
  }
  std::memcpy(block, rowOrder, sizeof rowOrder);
  InverseDct(rowOrder, rows, columns, samples, 8);
}

// Every product and every partial sum is a float of its own (no fused multiply-add, no wider
// accumulator), summed from the lowest frequency up: the samples depend on that order. Terms
// with a zero coefficient are skipped; adding a zero product leaves every sum as it was.
void InverseDctPortable(const int16_t coefficients[64], unsigned rows, unsigned columns,
                        uint8_t* samples, ptrdiff_t stride) {
  float tmp[64];
  for (int r = 0; r < 8; ++r) {
    float acc[8] = {};
    for (int s = 0; s < 8; ++s) {
      if (!(rows & (1u << s))) continue;
      const float c = CosTable[s * 8 + r];
      for (int u = 0; u < 8; ++u)
        acc[u] = acc[u] + static_cast<float>(coefficients[s * 8 + u]) * c;
    }
    for (int u = 0; u < 8; ++u)
      tmp[r * 8 + u] = acc[u];
  }
  for (int y = 0; y < 8; ++y) {
    float acc[8] = {};
    for (int s = 0; s < 8; ++s) {
      if (!(columns & (1u << s))) continue;
      const float t = tmp[y * 8 + s];
      for (int r = 0; r < 8; ++r)
        acc[r] = acc[r] + t * CosTable[s * 8 + r];
    }
    for (int r = 0; r < 8; ++r) {
      // |acc| stays below 2^21 for any 16-bit input, so the conversion is always defined; the
      // result keeps its low 16 bits.
      const auto v = static_cast<int16_t>(static_cast<int32_t>(acc[r] / 4.0f));
      const int level = v + 128;
      samples[stride * y + r] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
    }
  }
}

#if defined(QDJPEG_SSE2)

namespace {

// CosTable[s][r] in all four lanes.
struct TSplatTable {
  alignas(16) float v[64][4];
  TSplatTable() {
    for (int i = 0; i < 64; ++i)
      for (float& lane : v[i])
        lane = CosTable[i];
  }
};
const TSplatTable Splat;

inline int LowestBit(unsigned m) {
  return __builtin_ctz(m);
}

} // namespace

// The portable version four lanes at a time: the first pass across columns, the second across
// output columns, each lane summing its terms in the same order with separate multiplies and adds.
void InverseDctSse2(const int16_t coefficients[64], unsigned rows, unsigned columns,
                    uint8_t* samples, ptrdiff_t stride) {
  if ((rows | columns) == 1) {
    // Only the DC term: both passes come down to one sum each, the same for every sample.
    const float t = 0.0f + static_cast<float>(coefficients[0]) * CosTable[0];
    const float out = 0.0f + t * CosTable[0];
    const int level = static_cast<int16_t>(static_cast<int32_t>(out / 4.0f)) + 128;
    const __m128i v = _mm_set1_epi8(static_cast<char>(level < 0 ? 0 : level > 255 ? 255 : level));
    for (int y = 0; y < 8; ++y)
      _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + stride * y), v);
    return;
  }
  alignas(16) float tmp[64];
  // Four columns at a time, so that the eight sums stay in registers.
  for (int half = 0; half < 8; half += 4) {
    __m128 acc[8];
    for (__m128& a : acc)
      a = _mm_setzero_ps();
    for (unsigned m = rows & 0xFF; m != 0; m &= m - 1) {
      const int s = LowestBit(m);
      const __m128i x =
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(coefficients + 8 * s + half));
      const __m128 in = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16));
      for (int r = 0; r < 8; ++r)
        acc[r] = _mm_add_ps(acc[r], _mm_mul_ps(in, _mm_load_ps(Splat.v[s * 8 + r])));
    }
    for (int r = 0; r < 8; ++r)
      _mm_store_ps(tmp + 8 * r + half, acc[r]);
  }
  const __m128 quarter = _mm_set1_ps(0.25f); // exact: x * 0.25 rounds as x / 4 does
  const __m128i bias = _mm_set1_epi16(128);
  for (int y = 0; y < 8; ++y) {
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    for (unsigned m = columns & 0xFF; m != 0; m &= m - 1) {
      const int s = LowestBit(m);
      const __m128 t = _mm_set1_ps(tmp[8 * y + s]);
      lo = _mm_add_ps(lo, _mm_mul_ps(t, _mm_load_ps(CosTable + 8 * s)));
      hi = _mm_add_ps(hi, _mm_mul_ps(t, _mm_load_ps(CosTable + 8 * s + 4)));
    }
    // Truncate, keep the low 16 bits with their sign, then level-shift and clamp saturating.
    __m128i a = _mm_cvttps_epi32(_mm_mul_ps(lo, quarter));
    __m128i b = _mm_cvttps_epi32(_mm_mul_ps(hi, quarter));
    a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
    b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
    const __m128i v = _mm_adds_epi16(_mm_packs_epi32(a, b), bias);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + stride * y), _mm_packus_epi16(v, v));
  }
}

#endif

void YCbCrRowToBgrPortable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                           int count) {
  for (int i = 0; i < count; ++i)
    YCbCrToBgr(y[i], cb[i], cr[i], bgr + 3 * i);
}

#if defined(QDJPEG_SSE2)

namespace {

// Eight bytes to two vectors of four floats.
inline void BytesToFloats(const uint8_t* p, __m128& lo, __m128& hi) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(w, zero));
  hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(w, zero));
}

// Truncation then saturation equals the clamp-then-truncate of YCbCrToBgr: every value is far
// inside the 32-bit range. Eight bytes in the low half.
inline __m128i FloatsToBytes(__m128 lo, __m128 hi) {
  const __m128i w = _mm_packs_epi32(_mm_cvttps_epi32(lo), _mm_cvttps_epi32(hi));
  return _mm_packus_epi16(w, w);
}

// Four pixels of blue, green, red, 0 to 12 bytes.
inline void Store12(uint8_t* out, __m128i v) {
  const __m128i lowWords = _mm_set_epi32(0, -1, 0, -1);
  const __m128i upper = _mm_set_epi32(0x00FFFFFF, static_cast<int>(0xFF000000), 0x00FFFFFF,
                                      static_cast<int>(0xFF000000));
  // Each 64-bit lane: its first pixel, then its second three bytes later.
  const __m128i lanes =
      _mm_or_si128(_mm_and_si128(v, lowWords), _mm_and_si128(_mm_srli_epi64(v, 8), upper));
  const __m128i packed =
      _mm_or_si128(_mm_move_epi64(lanes), _mm_slli_si128(_mm_srli_si128(lanes, 8), 6));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
  const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
  std::memcpy(out + 8, &tail, 4);
}

} // namespace

void YCbCrRowToBgrSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                       int count) {
  const __m128 centre = _mm_set1_ps(128.0f);
  const __m128 kr = _mm_set1_ps(1.402f), kgb = _mm_set1_ps(0.34414f), kgr = _mm_set1_ps(0.71414f),
               kb = _mm_set1_ps(1.772f);
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < count; i += 8) {
    __m128 y0, y1, b0, b1, r0, r1;
    BytesToFloats(y + i, y0, y1);
    BytesToFloats(cb + i, b0, b1);
    BytesToFloats(cr + i, r0, r1);
    b0 = _mm_sub_ps(b0, centre);
    b1 = _mm_sub_ps(b1, centre);
    r0 = _mm_sub_ps(r0, centre);
    r1 = _mm_sub_ps(r1, centre);
    const __m128i red =
        FloatsToBytes(_mm_add_ps(y0, _mm_mul_ps(kr, r0)), _mm_add_ps(y1, _mm_mul_ps(kr, r1)));
    const __m128i green =
        FloatsToBytes(_mm_sub_ps(_mm_sub_ps(y0, _mm_mul_ps(kgb, b0)), _mm_mul_ps(kgr, r0)),
                      _mm_sub_ps(_mm_sub_ps(y1, _mm_mul_ps(kgb, b1)), _mm_mul_ps(kgr, r1)));
    const __m128i blue =
        FloatsToBytes(_mm_add_ps(y0, _mm_mul_ps(kb, b0)), _mm_add_ps(y1, _mm_mul_ps(kb, b1)));
    const __m128i bg = _mm_unpacklo_epi8(blue, green);
    const __m128i r = _mm_unpacklo_epi8(red, zero);
    Store12(bgr + 3 * i, _mm_unpacklo_epi16(bg, r));
    Store12(bgr + 3 * i + 12, _mm_unpackhi_epi16(bg, r));
  }
}

#endif

uint8_t NearestPaletteIndex(uint8_t b, uint8_t g, uint8_t r, const uint8_t* palette) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < 256; ++i) {
    const uint8_t* e = palette + 4 * i;
    const int d = std::abs(b - e[0]) + std::abs(g - e[1]) + std::abs(r - e[2]);
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
      if (d < 24) break;
    }
  }
  return static_cast<uint8_t>(best);
}

} // namespace qdjpeg

// converted: the scan wrote its pixels in their final colours already.
void TQdJpeg::ConvertColours(bool converted) {
  const size_t count = size_t{FrameWidth} * FrameHeight;
  uint8_t* p = Pixels.data();
  if (converted) {
  } else if (ScanComponents == 3) {
    for (size_t i = 0; i < count; ++i, p += 3)
      qdjpeg::YCbCrToBgr(p[0], p[1], p[2], p);
  } else if (ScanComponents == 1) {
    // Backwards, so each grey byte is read before its three output bytes cover it.
    for (size_t i = count; i-- > 0;) {
      const uint8_t y = p[i];
      p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = y;
    }
  }

  const int32_t stride = qdjpeg::PictureStride(ImageWidth);
  if (FrameWidth == ImageWidth && FrameHeight == ImageHeight) return;
  std::vector<uint8_t> cut(static_cast<size_t>(stride) * ImageHeight);
  const size_t paddedRow = size_t{3} * FrameWidth;
  for (int32_t y = 0; y < ImageHeight; ++y)
    std::memcpy(cut.data() + static_cast<size_t>(y) * stride, Pixels.data() + y * paddedRow,
                static_cast<size_t>(stride));
  Pixels.swap(cut);
  FrameWidth = static_cast<uint16_t>(ImageWidth);
  FrameHeight = static_cast<uint16_t>(ImageHeight);
}

bool TQdJpeg::HasPicture() const {
  return !Pixels.empty() &&
         Pixels.size() >= static_cast<size_t>(qdjpeg::PictureStride(FrameWidth)) * FrameHeight;
}

bool TQdJpeg::CopyPixelsTo(void* dest, int32_t pitch, const uint8_t* palette, int bits) const {
  if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
  if (bits == 8 && palette == nullptr) return false;
  const int32_t w = FrameWidth, h = FrameHeight;
  if (w == 0 || h == 0) return true;
  if (!HasPicture()) return false;

  const int32_t stride = qdjpeg::PictureStride(w);
  auto* base = static_cast<uint8_t*>(dest);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = Pixels.data() + static_cast<size_t>(y) * stride;
    uint8_t* d = base + static_cast<ptrdiff_t>(y) * pitch;
    switch (bits) {
    case 32:
      for (int32_t x = 0; x < w; ++x, s += 3) {
        const uint32_t v = qdjpeg::PackPixel32(s[0], s[1], s[2]);
        for (int k = 0; k < 4; ++k)
          d[4 * x + k] = static_cast<uint8_t>(v >> (8 * k));
      }
      break;
    case 24:
      std::memcpy(d, s, static_cast<size_t>(3) * w);
      break;
    case 16:
    case 15:
      for (int32_t x = 0; x < w; ++x, s += 3) {
        const uint16_t v = bits == 16 ? qdjpeg::PackPixel16(s[0], s[1], s[2])
                                      : qdjpeg::PackPixel15(s[0], s[1], s[2]);
        d[2 * x] = static_cast<uint8_t>(v);
        d[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    default:
      for (int32_t x = 0; x < w; ++x, s += 3)
        d[x] = qdjpeg::NearestPaletteIndex(s[0], s[1], s[2], palette);
      break;
    }
  }
  return true;
}
