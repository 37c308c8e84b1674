// Block arithmetic, colour conversion and output packing of the JPEG decoder.
#include "resource/QdJpegPixels.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qdjpeg {

// Four decimals, as the picture's expected samples were computed with exactly these values.
alignas(16) constexpr float CosTable[64] = {
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
  int16_t rowOrder[64], values[64];
  uint8_t positions[64];
  for (int n = 0; n < 64; ++n)
    rowOrder[ZigZagToRow[n]] = static_cast<int16_t>(block[n] * quant[n]);
  int count = 0;
  for (int p = 0; p < 64; ++p) {
    if (rowOrder[p] == 0) continue;
    values[count] = rowOrder[p];
    positions[count++] = static_cast<uint8_t>(p);
  }
  std::memcpy(block, rowOrder, sizeof rowOrder);
  InverseDct(values, positions, count, samples, 8);
}

// The separable product in the order that defines the samples: the first pass sums over the
// rows s of each column (tmp[r][u] = sum of in[s][u] * CosTable[s][r]), the second over the
// columns s of each row (out[y][r] = sum of tmp[y][s] * CosTable[s][r]); every sum starts at 0
// and goes from s = 0 upwards, every product and partial sum a float of its own (no fused
// multiply-add, no wider accumulator). Zero terms are left out: adding a zero product leaves
// every such sum as it was. Here tmp is held transposed, by column.
void InverseDctPortable(const int16_t* values, const uint8_t* positions, int count,
                        uint8_t* samples, ptrdiff_t stride) {
  float tmp[8][8];
  unsigned columns = 0;
  for (int n = 0; n < count; ++n) {
    const int s = positions[n] >> 3, u = positions[n] & 7;
    if (!(columns & (1u << u))) {
      columns |= 1u << u;
      std::fill(tmp[u], tmp[u] + 8, 0.0f);
    }
    const auto in = static_cast<float>(values[n]);
    for (int r = 0; r < 8; ++r)
      tmp[u][r] = tmp[u][r] + in * CosTable[s * 8 + r];
  }
  for (int y = 0; y < 8; ++y) {
    for (int r = 0; r < 8; ++r) {
      float acc = 0.0f;
      for (int s = 0; s < 8; ++s)
        if (columns & (1u << s)) acc = acc + tmp[s][y] * CosTable[s * 8 + r];
      // |acc| stays below 2^21 for any 16-bit input, so the conversion is always defined; the
      // result keeps its low 16 bits.
      const auto v = static_cast<int16_t>(static_cast<int32_t>(acc / 4.0f));
      const int level = v + 128;
      samples[stride * y + r] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
    }
  }
}

#if defined(QDJPEG_SSE2)

namespace {

// CosTable[s][r] in all four lanes; built at compile time, so no start-up order matters.
struct TSplatTable {
  alignas(16) float v[64][4] = {};
  constexpr TSplatTable() {
    for (int i = 0; i < 64; ++i)
      for (float& lane : v[i])
        lane = CosTable[i];
  }
};
constexpr TSplatTable Splat;

} // namespace

// The portable version four lanes at a time: the first pass across output rows r, one
// coefficient after another; the second across rows y, then turned round.
void InverseDctSse2(const int16_t* values, const uint8_t* positions, int count, uint8_t* samples,
                    ptrdiff_t stride) {
  if (count == 0 || (count == 1 && positions[0] == 0)) {
    // A flat block: both passes come down to one sum each, the same for every sample.
    int level = 128;
    if (count == 1) {
      const float t = 0.0f + static_cast<float>(values[0]) * CosTable[0];
      const float out = 0.0f + t * CosTable[0];
      level += static_cast<int16_t>(static_cast<int32_t>(out / 4.0f));
    }
    const __m128i v = _mm_set1_epi8(static_cast<char>(level < 0 ? 0 : level > 255 ? 255 : level));
    for (int y = 0; y < 8; ++y)
      _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + stride * y), v);
    return;
  }
  alignas(16) float tmp[8][8];
  for (float* t : tmp) {
    _mm_store_ps(t, _mm_setzero_ps());
    _mm_store_ps(t + 4, _mm_setzero_ps());
  }
  unsigned columns = 0;
  for (int n = 0; n < count; ++n) {
    const int s = positions[n] >> 3, u = positions[n] & 7;
    columns |= 1u << u;
    const __m128 in = _mm_set1_ps(static_cast<float>(values[n]));
    _mm_store_ps(tmp[u],
                 _mm_add_ps(_mm_load_ps(tmp[u]), _mm_mul_ps(in, _mm_load_ps(CosTable + 8 * s))));
    _mm_store_ps(tmp[u] + 4, _mm_add_ps(_mm_load_ps(tmp[u] + 4),
                                        _mm_mul_ps(in, _mm_load_ps(CosTable + 8 * s + 4))));
  }

  // Output column r over rows y, four rows at a time so that the eight sums stay in registers;
  // truncated, keeping the low 16 bits with their sign.
  const __m128 quarter = _mm_set1_ps(0.25f); // exact: x * 0.25 rounds as x / 4 does
  alignas(16) int32_t wrapped[8][8];
  for (int half = 0; half < 8; half += 4) {
    __m128 acc[8];
    for (__m128& a : acc)
      a = _mm_setzero_ps();
    for (unsigned m = columns; m != 0; m &= m - 1) {
      const int s = __builtin_ctz(m);
      const __m128 t = _mm_load_ps(tmp[s] + half);
      for (int r = 0; r < 8; ++r)
        acc[r] = _mm_add_ps(acc[r], _mm_mul_ps(t, _mm_load_ps(Splat.v[8 * s + r])));
    }
    for (int r = 0; r < 8; ++r) {
      const __m128i v = _mm_cvttps_epi32(_mm_mul_ps(acc[r], quarter));
      _mm_store_si128(reinterpret_cast<__m128i*>(wrapped[r] + half),
                      _mm_srai_epi32(_mm_slli_epi32(v, 16), 16));
    }
  }
  __m128i col[8];
  for (int r = 0; r < 8; ++r)
    col[r] = _mm_packs_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(wrapped[r])),
                             _mm_load_si128(reinterpret_cast<const __m128i*>(wrapped[r] + 4)));
  // Columns to rows.
  const __m128i b0 = _mm_unpacklo_epi16(col[0], col[1]), b1 = _mm_unpackhi_epi16(col[0], col[1]);
  const __m128i b2 = _mm_unpacklo_epi16(col[2], col[3]), b3 = _mm_unpackhi_epi16(col[2], col[3]);
  const __m128i b4 = _mm_unpacklo_epi16(col[4], col[5]), b5 = _mm_unpackhi_epi16(col[4], col[5]);
  const __m128i b6 = _mm_unpacklo_epi16(col[6], col[7]), b7 = _mm_unpackhi_epi16(col[6], col[7]);
  const __m128i c0 = _mm_unpacklo_epi32(b0, b2), c1 = _mm_unpackhi_epi32(b0, b2);
  const __m128i c2 = _mm_unpacklo_epi32(b1, b3), c3 = _mm_unpackhi_epi32(b1, b3);
  const __m128i c4 = _mm_unpacklo_epi32(b4, b6), c5 = _mm_unpackhi_epi32(b4, b6);
  const __m128i c6 = _mm_unpacklo_epi32(b5, b7), c7 = _mm_unpackhi_epi32(b5, b7);
  const __m128i row[8] = {_mm_unpacklo_epi64(c0, c4), _mm_unpackhi_epi64(c0, c4),
                          _mm_unpacklo_epi64(c1, c5), _mm_unpackhi_epi64(c1, c5),
                          _mm_unpacklo_epi64(c2, c6), _mm_unpackhi_epi64(c2, c6),
                          _mm_unpacklo_epi64(c3, c7), _mm_unpackhi_epi64(c3, c7)};
  // Level shift saturating, then clamp to bytes: two rows at a time.
  const __m128i bias = _mm_set1_epi16(128);
  for (int y = 0; y < 8; y += 2) {
    const __m128i v =
        _mm_packus_epi16(_mm_adds_epi16(row[y], bias), _mm_adds_epi16(row[y + 1], bias));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + stride * y), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + stride * (y + 1)), _mm_srli_si128(v, 8));
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
inline void BytesToFloats(const uint8_t* p, __m128 f[2]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  f[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(w, zero));
  f[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(w, zero));
}

// The chroma products of YCbCrToBgr for eight pixels.
struct TChromaTerms {
  __m128 red[2], greenBlue[2], greenRed[2], blue[2];
};

inline TChromaTerms ChromaTerms(const uint8_t* cb, const uint8_t* cr) {
  const __m128 centre = _mm_set1_ps(128.0f);
  TChromaTerms t;
  __m128 fcb[2], fcr[2];
  BytesToFloats(cb, fcb);
  BytesToFloats(cr, fcr);
  for (int h = 0; h < 2; ++h) {
    fcb[h] = _mm_sub_ps(fcb[h], centre);
    fcr[h] = _mm_sub_ps(fcr[h], centre);
    t.red[h] = _mm_mul_ps(_mm_set1_ps(1.402f), fcr[h]);
    t.greenBlue[h] = _mm_mul_ps(_mm_set1_ps(0.34414f), fcb[h]);
    t.greenRed[h] = _mm_mul_ps(_mm_set1_ps(0.71414f), fcr[h]);
    t.blue[h] = _mm_mul_ps(_mm_set1_ps(1.772f), fcb[h]);
  }
  return t;
}

// Eight pixels' blue, green and red as 16-bit values. Truncation then saturation (here and when
// they are packed to bytes) equals the clamp-then-truncate of YCbCrToBgr: every value is far
// inside the 32-bit range.
struct TColours {
  __m128i blue, green, red;
};

inline TColours Colours(const uint8_t* y, const TChromaTerms& t) {
  __m128 fy[2];
  BytesToFloats(y, fy);
  __m128i b[2], g[2], r[2];
  for (int h = 0; h < 2; ++h) {
    r[h] = _mm_cvttps_epi32(_mm_add_ps(fy[h], t.red[h]));
    g[h] = _mm_cvttps_epi32(_mm_sub_ps(_mm_sub_ps(fy[h], t.greenBlue[h]), t.greenRed[h]));
    b[h] = _mm_cvttps_epi32(_mm_add_ps(fy[h], t.blue[h]));
  }
  return {_mm_packs_epi32(b[0], b[1]), _mm_packs_epi32(g[0], g[1]), _mm_packs_epi32(r[0], r[1])};
}

// Four pixels of blue, green, red, 0 to their 12 bytes at the bottom of the vector.
inline __m128i Pack12(__m128i v) {
  const __m128i lowWords = _mm_set_epi32(0, -1, 0, -1);
  const __m128i upper = _mm_set_epi32(0x00FFFFFF, static_cast<int>(0xFF000000), 0x00FFFFFF,
                                      static_cast<int>(0xFF000000));
  // Each 64-bit lane: its first pixel, then its second three bytes later.
  const __m128i lanes =
      _mm_or_si128(_mm_and_si128(v, lowWords), _mm_and_si128(_mm_srli_epi64(v, 8), upper));
  return _mm_or_si128(_mm_move_epi64(lanes), _mm_slli_si128(_mm_srli_si128(lanes, 8), 6));
}

// Pixels 0 to 7 of a, then those of b (16-bit values packed to bytes), as 48 bytes.
inline void Store16(uint8_t* out, const TColours& a, const TColours& b) {
  const __m128i blue = _mm_packus_epi16(a.blue, b.blue);
  const __m128i green = _mm_packus_epi16(a.green, b.green);
  const __m128i red = _mm_packus_epi16(a.red, b.red);
  const __m128i zero = _mm_setzero_si128();
  const __m128i bgLow = _mm_unpacklo_epi8(blue, green), bgHigh = _mm_unpackhi_epi8(blue, green);
  const __m128i rLow = _mm_unpacklo_epi8(red, zero), rHigh = _mm_unpackhi_epi8(red, zero);
  const __m128i q0 = Pack12(_mm_unpacklo_epi16(bgLow, rLow));
  const __m128i q1 = Pack12(_mm_unpackhi_epi16(bgLow, rLow));
  const __m128i q2 = Pack12(_mm_unpacklo_epi16(bgHigh, rHigh));
  const __m128i q3 = Pack12(_mm_unpackhi_epi16(bgHigh, rHigh));
  auto* o = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(o, _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
  _mm_storeu_si128(o + 1, _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
  _mm_storeu_si128(o + 2, _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
}

// Eight pixels as 24 bytes.
inline void Store8(uint8_t* out, const TColours& a) {
  const __m128i blue = _mm_packus_epi16(a.blue, a.blue);
  const __m128i green = _mm_packus_epi16(a.green, a.green);
  const __m128i red = _mm_packus_epi16(a.red, a.red);
  const __m128i bg = _mm_unpacklo_epi8(blue, green);
  const __m128i r = _mm_unpacklo_epi8(red, _mm_setzero_si128());
  const __m128i q0 = Pack12(_mm_unpacklo_epi16(bg, r));
  const __m128i q1 = Pack12(_mm_unpackhi_epi16(bg, r));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(q1, 4));
}

} // namespace

void YCbCrRowToBgrSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                       int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const TColours a = Colours(y + i, ChromaTerms(cb + i, cr + i));
    const TColours b = Colours(y + i + 8, ChromaTerms(cb + i + 8, cr + i + 8));
    Store16(bgr + 3 * i, a, b);
  }
  if (i < count) Store8(bgr + 3 * i, Colours(y + i, ChromaTerms(cb + i, cr + i)));
}

void YCbCrRowPairToBgrSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                           const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const TChromaTerms left = ChromaTerms(cb + i, cr + i);
    const TChromaTerms right = ChromaTerms(cb + i + 8, cr + i + 8);
    Store16(bgr0 + 3 * i, Colours(y0 + i, left), Colours(y0 + i + 8, right));
    Store16(bgr1 + 3 * i, Colours(y1 + i, left), Colours(y1 + i + 8, right));
  }
  if (i < count) {
    const TChromaTerms t = ChromaTerms(cb + i, cr + i);
    Store8(bgr0 + 3 * i, Colours(y0 + i, t));
    Store8(bgr1 + 3 * i, Colours(y1 + i, t));
  }
}

#endif

void BgrRowToPixel32Portable(const uint8_t* bgr, uint8_t* out, int count) {
  for (int x = 0; x < count; ++x, bgr += 3) {
    const uint32_t v = PackPixel32(bgr[0], bgr[1], bgr[2]);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    std::memcpy(out + 4 * x, bytes, 4);
  }
}

#if defined(QDJPEG_SSE2)
void BgrRowToPixel32Sse2(const uint8_t* bgr, uint8_t* out, int count) {
  const __m128i low = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i high = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000));
  int x = 0;
  for (; x + 4 <= count; x += 4, bgr += 12) {
    // Exactly the 12 bytes of four pixels; two of them to each 64-bit lane.
    int32_t last;
    std::memcpy(&last, bgr + 8, 4);
    const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bgr)),
                                         _mm_cvtsi32_si128(last));
    const __m128i lanes = _mm_unpacklo_epi64(v, _mm_srli_si128(v, 6));
    const __m128i pixels = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(lanes, low), _mm_and_si128(_mm_slli_epi64(lanes, 8), high)),
        alpha);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), pixels);
  }
  BgrRowToPixel32Portable(bgr, out + 4 * x, count - x);
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
