// BMP and PCX files written by ImageMagick must load to the pixels ImageMagick itself reads back.
#include "bitmap/QdBitmap.h"
#include "bitmap/bitmap_support.h"
#include "bitmap/image_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

bool HaveImageMagick() {
  FILE* p = ::popen("convert -version 2>/dev/null", "r");
  if (p == nullptr) return false;
  std::string out;
  char buf[256];
  while (size_t n = std::fread(buf, 1, sizeof buf, p))
    out.append(buf, n);
  return ::pclose(p) == 0 && out.find("ImageMagick") != std::string::npos;
}

bool RunCommand(const std::string& command) {
  return std::system((command + " 2>&1").c_str()) == 0;
}

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

constexpr int W = 13, H = 7; // odd width: every format pads its rows

// Writes a binary PPM of the picture the colour function describes.
std::string WritePpm(const TempDir& dir, const std::function<uint32_t(int, int)>& rgb) {
  std::string s = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint32_t c = rgb(x, y);
      s += char(c >> 16);
      s += char(c >> 8);
      s += char(c);
    }
  return dir.write("source.ppm", s);
}

class ImageMagickCrossCheck : public testing::Test {
protected:
  void SetUp() override {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }

  // Converts the source with ImageMagick options into `name`, loads it with our loader and
  // compares every pixel with ImageMagick's own reading of the same file.
  void Check(const std::string& source, const std::string& options, const std::string& format,
             const std::string& name) {
    std::string file = dir.file(name);
    std::string raw = dir.file(name + ".rgba");
    ASSERT_TRUE(
        RunCommand("convert '" + source + "' " + options + " '" + format + ":" + file + "'"));
    ASSERT_TRUE(RunCommand("convert '" + file + "' -depth 8 'rgba:" + raw + "'"));
    std::string expected = ReadAll(raw);
    ASSERT_EQ(expected.size(), size_t(W * H * 4));

    TQdBitmap b(file, 32);
    ASSERT_EQ(b.Width, W) << name;
    ASSERT_EQ(b.Height, H) << name;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const auto* p = reinterpret_cast<const uint8_t*>(expected.data()) + (y * W + x) * 4;
        uint32_t want = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        ASSERT_EQ(PixelAt(b, x, y), want) << name << " at " << x << "," << y;
      }
  }

  TempDir dir;
};

uint32_t Rich(int x, int y) {
  return uint32_t((x * 19 + y * 3) & 255) << 16 | uint32_t((y * 35 + x) & 255) << 8 |
         uint32_t(((x + y) * 9 + 40) & 255);
}

uint32_t Twelve(int x, int y) {
  return uint32_t(x % 4 * 60) << 16 | uint32_t(y % 3 * 100) << 8 | 50;
}

} // namespace

TEST_F(ImageMagickCrossCheck, Bmp24And8And4Bit) {
  std::string rich = WritePpm(dir, Rich);
  Check(rich, "-type TrueColor", "BMP3", "rgb24.bmp");
  Check(rich, "-type Palette -compress None", "BMP3", "pal8.bmp");
  std::string few = WritePpm(dir, Twelve);
  Check(few, "-type Palette -compress None", "BMP3", "pal4.bmp");
  // The loader reads run-length coded BMP files as uncompressed, so they are written without.
  // The last really is a 4-bit file.
  EXPECT_EQ(ReadAll(dir.file("pal4.bmp"))[28], 4);
  EXPECT_EQ(ReadAll(dir.file("pal8.bmp"))[28], 8);
}

TEST_F(ImageMagickCrossCheck, Bmp32KeepsAlpha) {
  std::string rich = WritePpm(dir, Rich);
  Check(rich, "-alpha set -channel A -fx 'i/w' +channel -define bmp3:alpha=true", "BMP3",
        "argb.bmp");
  EXPECT_EQ(ReadAll(dir.file("argb.bmp"))[28], 32);
}

TEST_F(ImageMagickCrossCheck, Pcx24AndPalette) {
  std::string rich = WritePpm(dir, Rich);
  Check(rich, "-type TrueColor", "PCX", "rgb.pcx");
  Check(rich, "-type Palette", "PCX", "pal.pcx");
  EXPECT_EQ(ReadAll(dir.file("rgb.pcx"))[65], 3);
  EXPECT_EQ(ReadAll(dir.file("pal.pcx"))[65], 1);

  // Scrambled, ImageMagick's file loads to the same bitmap.
  TQdBitmap plain(dir.file("pal.pcx"), 32);
  TQdBitmap sheet(dir.write("pal.kv0", imagefiles::Scramble(ReadAll(dir.file("pal.pcx")), 0xC5, 0)),
                  32);
  ASSERT_EQ(sheet.Width, W);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(PixelAt(sheet, x, y), PixelAt(plain, x, y));
}
