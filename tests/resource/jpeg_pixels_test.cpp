#include "resource/QdJpeg.h"
#include "resource/QdJpegPixels.h"
#include "support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace qdjpeg;

namespace {

std::array<uint8_t, 64> Samples(int dc, uint8_t quant = 1) {
  int16_t block[64] = {};
  block[0] = static_cast<int16_t>(dc);
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

TEST(JpegBlock, DcOnlyBlocksTruncateAfterTheFourDecimalCosines) {
  EXPECT_FLOAT_EQ(CosTable[0], 0.7071f);
  EXPECT_FLOAT_EQ(CosTable[8], 0.9808f);
  EXPECT_TRUE(All(Samples(80), 137));    // 9.9998 truncates to 9
  EXPECT_TRUE(All(Samples(10, 8), 137)); // the same DC after dequantisation
  EXPECT_TRUE(All(Samples(8), 128));     // 0.99998 truncates to 0
  EXPECT_TRUE(All(Samples(-84), 118));   // toward zero, not down
  EXPECT_TRUE(All(Samples(-1100), 0));
  EXPECT_TRUE(All(Samples(1100), 255));
  // 200 * 200 keeps its low 16 bits (-25536): a very dark block, not a bright one.
  EXPECT_TRUE(All(Samples(200, 200), 0));
}

TEST(JpegBlock, AcCoefficientsLandInRowOrder) {
  // Zig-zag index 1 is the first horizontal frequency: samples vary along a row, not down a column.
  int16_t block[64] = {};
  block[1] = 80;
  uint8_t q[64];
  std::fill(q, q + 64, 1);
  uint8_t s[64];
  TransformBlock(block, q, s);
  for (int y = 1; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(s[y * 8 + x], s[x]);
  EXPECT_GT(s[0], s[7]);
  // It is the transposed position of zig-zag index 2 (first vertical frequency).
  int16_t other[64] = {};
  other[2] = 80;
  uint8_t t[64];
  TransformBlock(other, q, t);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(t[y * 8 + x], s[x * 8 + y]);
}

TEST(JpegColour, ConversionClampsAndTruncates) {
  uint8_t bgr[3];
  YCbCrToBgr(255, 128, 255, bgr);
  EXPECT_EQ(bgr[0], 255);
  EXPECT_EQ(bgr[1], 164); // 164.31
  EXPECT_EQ(bgr[2], 255); // 433.05 clamped
  YCbCrToBgr(0, 128, 0, bgr);
  EXPECT_EQ(bgr[2], 0); // -179.5 clamped
  YCbCrToBgr(90, 128, 128, bgr);
  EXPECT_EQ(bgr[0], 90);
  EXPECT_EQ(bgr[1], 90);
  EXPECT_EQ(bgr[2], 90);
}

TEST(JpegOutput, PackingsOfWhite) {
  EXPECT_EQ(PackPixel15(255, 255, 255), 0x7FFF);
  EXPECT_EQ(PackPixel16(255, 255, 255), 0xFFFF);
  EXPECT_EQ(PackPixel32(255, 255, 255), 0xFFFFFFFFu);
  EXPECT_EQ(PackPixel16(7, 0, 0), 0);
  EXPECT_EQ(PackPixel32(7, 0, 0), 0xFF000007u);
}

TEST(JpegOutput, PaletteSearchKeepsLowerIndexAndStopsBelow24) {
  std::vector<uint8_t> pal(1024, 0);
  auto set = [&](int i, uint8_t b, uint8_t g, uint8_t r) {
    pal[4 * i] = b;
    pal[4 * i + 1] = g;
    pal[4 * i + 2] = r;
    pal[4 * i + 3] = 99; // ignored
  };
  for (int i = 0; i < 256; ++i)
    set(i, 255, 255, 255);
  set(7, 100, 100, 100);
  EXPECT_EQ(NearestPaletteIndex(100, 100, 100, pal.data()), 7);
  set(2, 110, 105, 105); // distance 20: first best below 24 ends the search
  EXPECT_EQ(NearestPaletteIndex(100, 100, 100, pal.data()), 2);

  for (int i = 0; i < 256; ++i)
    set(i, 0, 255, 0);
  set(3, 130, 0, 0);
  set(9, 70, 0, 0);
  EXPECT_EQ(NearestPaletteIndex(100, 0, 0, pal.data()), 3); // tie at 30
}

TEST(JpegOutput, WritesEachDepthWithinItsRowsOnly) {
  // A 10 by 9 grey picture: rows 0 to 7 at level 255 (DC 8 * 127 + 4), row 8 at 1.
  TQdJpeg jpeg;
  auto file = testjpeg::GreyPicture(10, 9, {1020, 1020, -1020, -1020});
  ASSERT_TRUE(jpeg.LoadFromMemory(file.data(), file.size()));
  ASSERT_EQ(jpeg.Width(), 10);
  ASSERT_EQ(jpeg.Height(), 9);
  EXPECT_EQ(PictureStride(10), 32);

  const int pitch = 48, rows = 9;
  std::vector<uint8_t> buf(pitch * rows, 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 24));
  for (int y = 0; y < rows; ++y)
    for (int i = 0; i < pitch; ++i)
      ASSERT_EQ(buf[y * pitch + i], i >= 30 ? 0xAB : y < 8 ? 255 : 1) << y << "," << i;

  std::fill(buf.begin(), buf.end(), 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 32));
  EXPECT_EQ(buf[36], 255);
  EXPECT_EQ(buf[39], 255);
  EXPECT_EQ(buf[40], 0xAB);
  std::fill(buf.begin(), buf.end(), 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 15));
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_EQ(buf[1], 0x7F);
  EXPECT_EQ(buf[20], 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 16));
  EXPECT_EQ(buf[1], 0xFF);

  // An upward pitch puts the last row first.
  std::vector<uint8_t> up(pitch * rows, 0xAB);
  ASSERT_TRUE(jpeg.CopyPixelsTo(up.data() + pitch * (rows - 1), -pitch, nullptr, 24));
  EXPECT_EQ(up[0], 1);
  EXPECT_EQ(up[pitch], 255);

  std::vector<uint8_t> pal(1024, 0);
  pal[4 * 5] = pal[4 * 5 + 1] = pal[4 * 5 + 2] = 250;
  ASSERT_TRUE(jpeg.CopyPixelsTo(buf.data(), pitch, pal.data(), 8));
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(buf[8 * pitch], 0);

  std::fill(buf.begin(), buf.end(), 0xAB);
  EXPECT_FALSE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 8)); // no palette
  EXPECT_FALSE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 12));
  EXPECT_FALSE(jpeg.CopyPixelsTo(buf.data(), pitch, nullptr, 0));
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0xAB; }));
}
