#include "platform/pixel_rows.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rows {

void KeyedCopyRow32(uint32_t* dst, const uint32_t* src, int count, uint32_t lo, uint32_t hi) {
  int i = 0;
#if defined(__SSE2__)
  if (lo == hi) {
    // One key value, as the bitmaps set it: a plain compare, and a select without branches.
    const __m128i key = _mm_set1_epi32(static_cast<int>(lo));
    for (; i + 4 <= count; i += 4) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
      const __m128i skip = _mm_cmpeq_epi32(s, key);
      auto* d = reinterpret_cast<__m128i*>(dst + i);
      _mm_storeu_si128(
          d, _mm_or_si128(_mm_and_si128(skip, _mm_loadu_si128(d)), _mm_andnot_si128(skip, s)));
    }
  }
  // Unsigned order through signed compares: flip the top bit of both sides.
  const __m128i bias = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i loB = _mm_set1_epi32(static_cast<int>(lo ^ 0x80000000u));
  const __m128i hiB = _mm_set1_epi32(static_cast<int>(hi ^ 0x80000000u));
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i sb = _mm_xor_si128(s, bias);
    const __m128i keep = _mm_or_si128(_mm_cmplt_epi32(sb, loB), _mm_cmpgt_epi32(sb, hiB));
    const int mask = _mm_movemask_epi8(keep);
    if (mask == 0) continue;
    auto* d = reinterpret_cast<__m128i*>(dst + i);
    if (mask == 0xFFFF) {
      _mm_storeu_si128(d, s);
      continue;
    }
    const __m128i old = _mm_loadu_si128(d);
    _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(keep, s), _mm_andnot_si128(keep, old)));
  }
#endif
  for (; i < count; ++i)
    if (src[i] < lo || src[i] > hi) dst[i] = src[i];
}

void FillRow(uint8_t* p, int count, int bytesPerPixel, uint32_t value) {
  if (bytesPerPixel != 4) {
    std::fill_n(reinterpret_cast<uint16_t*>(p), count, static_cast<uint16_t>(value));
    return;
  }
  auto* q = reinterpret_cast<uint32_t*>(p);
  int i = 0;
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi32(static_cast<int>(value));
  for (; i + 8 <= count; i += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i + 4), v);
  }
#endif
  for (; i < count; ++i)
    q[i] = value;
}

void CopyRow32(uint32_t* dst, const uint32_t* src, int count) {
  int i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
#endif
  for (; i < count; ++i)
    dst[i] = src[i];
}

} // namespace rows
