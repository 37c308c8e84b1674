#include "resource/QdJpeg.h"
#include "resource/QdJpegPixels.h"
#include "support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace qdjpeg;

namespace {

std::array<uint8_t, 64> Samples(int index, int value, uint8_t quant = 1) {
  int16_t block[64] = {};
  block[index] = static_cast<int16_t>(value);
  uint8_t q[64];
  std::fill(q, q + 64, quant);
  std::array<uint8_t, 64> out{};
  TransformBlock(block, q, out.data());
  return out;
}

bool All(const std::array<uint8_t, 64>& s, uint8_t v) {
  return std::all_of(s.begin(), s.end(), [v](uint8_t x) { return x == v; });
}

} // namespace

TEST(JpegBlock, DequantisationIdctAndLevelShift) {
  EXPECT_TRUE(All(Samples(0, 80), 137));    // 9.9998 truncates to 9
  EXPECT_TRUE(All(Samples(0, 10, 8), 137)); // the same DC after dequantisation
  EXPECT_TRUE(All(Samples(0, 8), 128));     // 0.99998 truncates to 0
  EXPECT_TRUE(All(Samples(0, -84), 118));   // toward zero, not down
  EXPECT_TRUE(All(Samples(0, -1100), 0));
  EXPECT_TRUE(All(Samples(0, 1100), 255));
  // 200 * 200 keeps its low 16 bits (-25536): a black block, not a white one.
  EXPECT_TRUE(All(Samples(0, 200, 200), 0));
  // Zig-zag index 1 is the first horizontal frequency, index 2 the first vertical one.
  auto h = Samples(1, 80), v = Samples(2, 80);
  EXPECT_GT(h[0], h[7]);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(h[y * 8 + x], h[x]);
      EXPECT_EQ(v[y * 8 + x], h[x * 8 + y]);
    }
}

TEST(JpegColour, ConversionClampsAndTruncates) {
  uint8_t bgr[3];
  YCbCrToBgr(255, 128, 255, bgr);
  EXPECT_EQ(bgr[0], 255);
  EXPECT_EQ(bgr[1], 164); // 164.31
  EXPECT_EQ(bgr[2], 255); // 433.05 clamped
  YCbCrToBgr(0, 128, 0, bgr);
  EXPECT_EQ(bgr[2], 0); // -179.5 clamped
}

TEST(JpegOutput, PaletteSearchKeepsLowerIndexAndStopsBelow24) {
  std::vector<uint8_t> pal(1024, 99); // fourth bytes ignored
  auto set = [&](int i, uint8_t b, uint8_t g, uint8_t r) {
    pal[4 * i] = b;
    pal[4 * i + 1] = g;
    pal[4 * i + 2] = r;
  };
  for (int i = 0; i < 256; ++i)
    set(i, 255, 255, 255);
  set(7, 100, 100, 100);
  EXPECT_EQ(NearestPaletteIndex(100, 100, 100, pal.data()), 7);
  set(2, 110, 105, 105); // distance 20: the first best below 24 ends the search
  EXPECT_EQ(NearestPaletteIndex(100, 100, 100, pal.data()), 2);
  for (int i = 0; i < 256; ++i)
    set(i, 0, 255, 0);
  set(3, 130, 0, 0);
  set(9, 70, 0, 0);
  EXPECT_EQ(NearestPaletteIndex(100, 0, 0, pal.data()), 3); // tie at 30
}

TEST(JpegOutput, WritesEachDepthWithinItsRowsOnly) {
  // 10 by 9 grey: rows 0 to 7 white (DC 8 * 127 + 4), row 8 at level 1.
  TQdJpeg jpeg;
  auto file = testjpeg::GreyPicture(10, 9, {1020, 1020, -1020, -1020});
  ASSERT_TRUE(jpeg.LoadFromMemory(file.data(), file.size()));
  EXPECT_EQ(PictureStride(10), 32);
  const int pitch = 48, rows = 9;
  std::vector<uint8_t> buf(pitch * rows, 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 24)); // 30 bytes a row
  for (int y = 0; y < rows; ++y)
    for (int i = 0; i < pitch; ++i)
      ASSERT_EQ(buf[y * pitch + i], i >= 30 ? 0xAB : y < 8 ? 255 : 1) << y << "," << i;

  auto lastOfRow = [&](int bits, int bytes) {
    std::fill(buf.begin(), buf.end(), 0xAB);
    EXPECT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, bits));
    EXPECT_EQ(buf[10 * bytes], 0xAB);
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
      v = v << 8 | buf[(10 - 1) * bytes + i];
    return v;
  };
  EXPECT_EQ(lastOfRow(32, 4), 0xFFFFFFFFu);
  EXPECT_EQ(lastOfRow(16, 2), 0xFFFFu);
  EXPECT_EQ(lastOfRow(15, 2), 0x7FFFu);
  EXPECT_EQ(PackPixel16(7, 0, 0), 0);
  EXPECT_EQ(PackPixel32(7, 0, 0), 0xFF000007u);

  // An upward pitch puts the last row first.
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data() + pitch * (rows - 1), -pitch, nullptr, 24));
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[pitch], 255);

  std::vector<uint8_t> pal(1024, 0);
  pal[4 * 5] = pal[4 * 5 + 1] = pal[4 * 5 + 2] = 250;
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, pal.data(), 8));
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(buf[8 * pitch], 0);

  std::fill(buf.begin(), buf.end(), 0xAB);
  for (int bits : {8 /* without palette */, 12, 0})
    EXPECT_FALSE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, bits));
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0xAB; }));
}

namespace {

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  }
};

} // namespace

TEST(JpegBlock, ZigZagTablesAreInverse) {
  for (int p = 0; p < 64; ++p)
    EXPECT_EQ(ZigZagToRow[ZigZag[p]], p);
}

namespace {

// The transform as first written: every term of both passes, zero or not, in the defining order.
void DenseReference(const int16_t rowOrder[64], uint8_t samples[64]) {
  float tmp[64];
  for (int r = 0; r < 8; ++r)
    for (int u = 0; u < 8; ++u) {
      float acc = 0.0f;
      for (int s = 0; s < 8; ++s)
        acc = acc + static_cast<float>(rowOrder[s * 8 + u]) * CosTable[s * 8 + r];
      tmp[r * 8 + u] = acc;
    }
  for (int y = 0; y < 8; ++y)
    for (int r = 0; r < 8; ++r) {
      float acc = 0.0f;
      for (int s = 0; s < 8; ++s)
        acc = acc + tmp[y * 8 + s] * CosTable[s * 8 + r];
      const int level = static_cast<int16_t>(static_cast<int32_t>(acc / 4.0f)) + 128;
      samples[y * 8 + r] = static_cast<uint8_t>(std::clamp(level, 0, 255));
    }
}

} // namespace

TEST(JpegBlock, SparseTransformsMatchTheDenseOne) {
  // Empty, flat, sparse and dense blocks, small and extreme values (sums far outside 16 bits
  // wrap), given in zig-zag or in row order.
  Rng g{3};
  for (int i = 0; i < 4000; ++i) {
    int16_t c[64] = {};
    const int density = int(g.Next() % 4) == 0 ? 100 : int(g.Next() % 12);
    const int range = i % 3 == 0 ? 65536 : i % 3 == 1 ? 2048 : 64;
    for (int p = 0; p < 64; ++p)
      if (p == 0 || int(g.Next() % 100) < density)
        c[p] = static_cast<int16_t>(int(g.Next() % range) - range / 2);
    if (i % 97 == 0) std::fill(c, c + 64, int16_t{0});
    int16_t values[64];
    uint8_t positions[64];
    int count = 0;
    for (int n = 0; n < 64; ++n) {
      const int p = i % 2 ? ZigZagToRow[n] : n;
      if (c[p] == 0) continue;
      values[count] = c[p];
      positions[count++] = static_cast<uint8_t>(p);
    }
    uint8_t want[64], portable[64];
    DenseReference(c, want);
    InverseDctPortable(values, positions, count, portable, 8);
    for (int p = 0; p < 64; ++p)
      ASSERT_EQ(portable[p], want[p]) << i << " at " << p;
#if defined(QDJPEG_SSE2)
    uint8_t sse2[8 * 24];
    std::fill(sse2, sse2 + sizeof sse2, 0xEE);
    InverseDctSse2(values, positions, count, sse2, 24);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x)
        ASSERT_EQ(sse2[24 * y + x], want[8 * y + x]) << i << " at " << x << "," << y;
      EXPECT_EQ(sse2[24 * y + 8], 0xEE); // nothing beside the block's rows
    }
#endif
  }
}

#if defined(QDJPEG_SSE2)
TEST(JpegColour, Sse2RowsMatchPortableOnes) {
  Rng g{5};
  std::vector<uint8_t> y0(40), y1(40), cb(40), cr(40);
  for (int round = 0; round < 300; ++round) {
    // Extremes often, so every clamp is met.
    const auto pick = [&] {
      const uint32_t v = g.Next();
      return uint8_t(v % 4 == 0 ? (v & 16 ? 255 : 0) : v >> 4);
    };
    for (auto* row : {&y0, &y1, &cb, &cr})
      for (auto& v : *row)
        v = pick();
    const int count = 8 * (1 + round % 5); // 16 at a time and a last 8
    std::vector<uint8_t> want0(3 * 40 + 8, 0xEE), want1 = want0;
    YCbCrRowToBgrPortable(y0.data(), cb.data(), cr.data(), want0.data(), count);
    YCbCrRowToBgrPortable(y1.data(), cb.data(), cr.data(), want1.data(), count);
    std::vector<uint8_t> one(want0.size(), 0xEE), pair0 = one, pair1 = one;
    YCbCrRowToBgrSse2(y0.data(), cb.data(), cr.data(), one.data(), count);
    YCbCrRowPairToBgrSse2(y0.data(), y1.data(), cb.data(), cr.data(), pair0.data(), pair1.data(),
                          count);
    ASSERT_EQ(one, want0) << round;
    ASSERT_EQ(pair0, want0) << round;
    ASSERT_EQ(pair1, want1) << round;
    EXPECT_EQ(want0[3 * count], 0xEE);
  }
}

TEST(JpegOutput, Sse2Pixel32RowsMatchPortableOnes) {
  Rng g{9};
  std::vector<uint8_t> bgr(3 * 13);
  for (auto& b : bgr)
    b = static_cast<uint8_t>(g.Next());
  for (int count = 0; count <= 13; ++count) {
    std::vector<uint8_t> want(4 * 13 + 4, 0xEE), got = want;
    BgrRowToPixel32Portable(bgr.data(), want.data(), count);
    BgrRowToPixel32Sse2(bgr.data(), got.data(), count);
    ASSERT_EQ(got, want) << count;
    EXPECT_EQ(got[4 * count], 0xEE);
  }
}
#endif
