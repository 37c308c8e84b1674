// Block arithmetic, colour conversion and output packing of the JPEG decoder.
#include "resource/QdJpegPixels.h"

#include "resource/QdJpeg.h"

#include <cstdlib>
#include <cstring>

namespace qdjpeg {

// Four decimals, as the picture's expected samples were computed with exactly these values.
const float CosTable[64] = {
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

void TransformBlock(int16_t block[64], const uint8_t quant[64], uint8_t samples[64]) {
  for (int n = 0; n < 64; ++n)
    block[n] = static_cast<int16_t>(block[n] * quant[n]);

  float in[64];
  unsigned rows = 0, columns = 0; // which rows and columns hold a non-zero coefficient
  for (int p = 0; p < 64; ++p) {
    in[p] = static_cast<float>(block[ZigZag[p]]);
    if (block[ZigZag[p]] != 0) {
      rows |= 1u << (p >> 3);
      columns |= 1u << (p & 7);
    }
  }

  // Every product and every partial sum is a float of its own (no fused multiply-add, no wider
  // accumulator), summed from the lowest frequency up: the samples depend on that order. Terms
  // with a zero coefficient are skipped; adding a zero product leaves every sum as it was.
  float tmp[64];
  for (int r = 0; r < 8; ++r) {
    float acc[8] = {};
    for (int s = 0; s < 8; ++s) {
      if (!(rows & (1u << s))) continue;
      const float c = CosTable[s * 8 + r];
      for (int u = 0; u < 8; ++u)
        acc[u] = acc[u] + in[s * 8 + u] * c;
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
      // |acc| stays below 2^21 for any 16-bit input, so the conversion is always defined.
      const auto v = static_cast<int16_t>(static_cast<int32_t>(acc[r] / 4.0f));
      block[y * 8 + r] = v;
      const int level = v + 128;
      samples[y * 8 + r] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
    }
  }
}

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

void TQdJpeg::ConvertColours() {
  const size_t count = size_t{FrameWidth} * FrameHeight;
  uint8_t* p = Pixels.data();
  if (ScanComponents == 3) {
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
