#include "bitmap/ImageLoaders.h"
#include "bitmap/QdBitmap.h"
#include "bitmap/bitmap_support.h"
#include "bitmap/image_files.h"
#include "resource/QdStream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace imagefiles;

namespace {

std::string PcxImage(const std::string& header, const std::vector<std::vector<uint8_t>>& lines,
                     const std::string& tail = "") {
  std::string s = header;
  for (const auto& l : lines)
    s += Rle(l);
  return s + tail;
}

} // namespace

TEST(Kv0, UnscrambleRotatesLeftThenXorsAndAdvances) {
  uint8_t b = 0x81;
  EXPECT_EQ(Unscramble(&b, 1, 0, 1), 2);
  EXPECT_EQ(b, 0x03);
  std::string plain = "any bytes \xff\x80 at all";
  std::string s = Scramble(plain, 0xC5, 3);
  EXPECT_EQ(Unscramble(reinterpret_cast<uint8_t*>(s.data()), int32_t(s.size()), 0xC5, 3),
            int((3 + s.size()) % 8));
  EXPECT_EQ(s, plain);
}

class LoaderTest : public testing::Test {
protected:
  TempDir dir;
};

TEST_F(LoaderTest, RleLineRunsLiteralsAndTheirLimits) {
  uint8_t line[6];
  TQdFileStream s(dir.write("a", std::string("\xC3\x7F\xC0\x55\xBF\xC5\x11\x22", 8)));
  EXPECT_TRUE(DecodeRleLine(line, 4, s));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(line), 4), "\x7F\x7F\x7F\xBF");
  // A run crossing the line end is cut there; the next line starts fresh with the next byte.
  EXPECT_TRUE(DecodeRleLine(line, 3, s));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(line), 3), "\x11\x11\x11");
  // The stream runs dry: the rest is zero and the decoder says so instead of spinning.
  EXPECT_FALSE(DecodeRleLine(line, 6, s));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(line), 6), std::string("\x22\0\0\0\0\0", 6));
  TQdFileStream cut(dir.write("b", "\xC4")); // run byte without its value
  EXPECT_FALSE(DecodeRleLine(line, 2, cut));
  EXPECT_EQ(line[0], 0);
}

TEST_F(LoaderTest, Bmp24TurnsPureBlueTransparentAndStoresRowsBottomUp) {
  // Two rows of three pixels, stored bottom row first; row size 9 rounds up to 12.
  std::string rows;
  rows += std::string("\xFF\x00\x00\xFE\x00\x00\xFF\x01\x00", 9) + std::string(3, '\0');
  rows += std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9) + std::string(3, '\0');
  TQdBitmap b(dir.write("a.bmp", BmpHeaders(3, 2, 24, 0, 0) + rows), 32);
  ASSERT_EQ(b.Width, 3);
  ASSERT_EQ(b.Height, 2);
  EXPECT_EQ(PixelAt(b, 0, 1), 0x00000000u);
  EXPECT_EQ(PixelAt(b, 1, 1), 0xFF0000FEu);
  EXPECT_EQ(PixelAt(b, 2, 1), 0xFF0001FFu);
  EXPECT_EQ(PixelAt(b, 0, 0), 0xFF030201u);
  EXPECT_EQ(PixelAt(b, 2, 0), 0xFF090807u);
}

TEST_F(LoaderTest, Bmp16And32PixelRules) {
  std::string masks = Le32(0xF800) + Le32(0x07E0) + Le32(0x001F);
  TQdBitmap f565(dir.write("a.bmp", BmpHeaders(1, 1, 16, 3, 0) + masks + Le32(0xFFFF)), 32);
  TQdBitmap f555(dir.write("b.bmp", BmpHeaders(2, 1, 16, 0, 0) + Le16(0xFFFF) + Le16(0x7C00)), 32);
  TQdBitmap f32(dir.write("c.bmp", BmpHeaders(1, 1, 32, 0, 0) + Le32(0x12345678)), 32);
  EXPECT_EQ(PixelAt(f565, 0, 0), 0xFFF8FCF8u);
  EXPECT_EQ(PixelAt(f555, 0, 0), 0xFFF8F8F8u);
  EXPECT_EQ(PixelAt(f555, 1, 0), 0xFFF80000u);
  EXPECT_EQ(PixelAt(f32, 0, 0), 0x12345678u);
  // Into a 16-bit bitmap the colour is converted rather than written 32 bits wide.
  TQdBitmap narrow(dir.file("b.bmp"), 16);
  ASSERT_EQ(narrow.BitCount, 16);
  EXPECT_EQ(Pixel16At(narrow, 1, 0), 0xF800);
}

TEST_F(LoaderTest, BmpPaletteFilesReadTheirTables) {
  // 4 bits, width 3: bytes 0x12 0x30 give entries 1, 2, 3; the file row is 4 bytes.
  std::string table;
  for (uint32_t i = 0; i < 16; ++i)
    table += Le32(0x00010101 * i);
  std::string rows = std::string("\x12\x30\0\0", 4) + std::string("\x45\x60\0\0", 4);
  TQdBitmap b4(dir.write("4.bmp", BmpHeaders(3, 2, 4, 0, 0) + table + rows), 32);
  EXPECT_EQ(PixelAt(b4, 0, 1), 0xFF010101u);
  EXPECT_EQ(PixelAt(b4, 2, 1), 0xFF030303u);
  EXPECT_EQ(PixelAt(b4, 0, 0), 0xFF040404u);
  EXPECT_EQ(PixelAt(b4, 2, 0), 0xFF060606u);

  // 8 bits with colours used 0: a 256-entry table of 1024 bytes comes before the rows.
  std::string t256;
  for (uint32_t i = 0; i < 256; ++i)
    t256 += Le32(i << 16 | 0xAA);
  TQdBitmap b8(dir.write("8.bmp", BmpHeaders(2, 1, 8, 0, 0) + t256 + "\xFE\x07\0\0"), 32);
  EXPECT_EQ(PixelAt(b8, 0, 0), 0xFFFE00AAu);
  EXPECT_EQ(PixelAt(b8, 1, 0), 0xFF0700AAu);

  // A short table: indices past it read as transparent black.
  TQdBitmap shortTable(dir.write("s.bmp", BmpHeaders(2, 1, 8, 0, 2) + Le32(0x112233) +
                                              Le32(0x445566) + "\x01\x09\0\0"),
                       32);
  EXPECT_EQ(PixelAt(shortTable, 0, 0), 0xFF445566u);
  EXPECT_EQ(PixelAt(shortTable, 1, 0), 0u);
}

TEST_F(LoaderTest, BadBmpFilesLeaveTheBitmapEmptyOrZeroFilled) {
  auto load = [&](const std::string& bytes) {
    auto b = std::make_unique<TQdBitmap>(dir.write("x.bmp", bytes), 32);
    return b;
  };
  EXPECT_EQ(load(BmpHeaders(3, 2, 24, 0, 0).substr(0, 40))->Pixels, nullptr); // short header
  EXPECT_EQ(load(BmpHeaders(3, -2, 24, 0, 0) + std::string(24, 'x'))->Pixels, nullptr); // top-down
  EXPECT_EQ(load(BmpHeaders(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0))->Pixels, nullptr);
  EXPECT_EQ(load(BmpHeaders(-3, 2, 24, 0, 0))->Pixels, nullptr);
  EXPECT_EQ(load(BmpHeaders(2, 1, 8, 0, 257) + std::string(2000, '\0'))->Pixels, nullptr);
  EXPECT_EQ(load(BmpHeaders(2, 1, 8, 0, 0xFFFFFFFF))->Pixels, nullptr);
  EXPECT_EQ(load(BmpHeaders(2, 1, 0, 0, 0))->Pixels, nullptr);

  // Rows missing at the end of the file read as zeros.
  auto cut = load(BmpHeaders(1, 3, 32, 0, 0) + Le32(0x11111111));
  ASSERT_EQ(cut->Height, 3);
  EXPECT_EQ(PixelAt(*cut, 0, 2), 0x11111111u);
  EXPECT_EQ(PixelAt(*cut, 0, 0), 0u);
  // A depth the loader cannot decode gives a transparent picture of the right size.
  auto mono = load(BmpHeaders(5, 2, 1, 0, 0) + std::string(8, '\xFF'));
  ASSERT_EQ(mono->Width, 5);
  EXPECT_EQ(PixelAt(*mono, 4, 1), 0u);
  // A missing file gives an empty bitmap.
  TQdBitmap missing(dir.file("none.bmp"), 32);
  EXPECT_EQ(missing.Pixels, nullptr);
  EXPECT_EQ(missing.Width, 0);
}

TEST_F(LoaderTest, PcxHeaderChecks) {
  std::vector<std::vector<uint8_t>> line{{1, 2, 3, 4, 5, 6}};
  auto load = [&](const std::string& header, int bits = 32) {
    return std::make_unique<TQdBitmap>(dir.write("x.pcx", PcxImage(header, line)), bits);
  };
  EXPECT_EQ(load(PcxHeader(2, 1, 3, 2))->Width, 2);
  EXPECT_EQ(load(PcxHeader(2, 1, 2, 2))->Pixels, nullptr);
  EXPECT_EQ(load(PcxHeader(2, 1, 3, 2, 11))->Pixels, nullptr);
  EXPECT_EQ(load(PcxHeader(2, 1, 3, 2, 10, 4))->Pixels, nullptr);
  EXPECT_EQ(load(PcxHeader(0, 1, 3, 2))->Pixels, nullptr);
  EXPECT_EQ(load(PcxHeader(2, -4, 3, 2))->Pixels, nullptr);
  EXPECT_EQ(load(PcxHeader(3, 1, 3, 2))->Pixels, nullptr); // wider than its bytes per line
  EXPECT_EQ(load(PcxHeader(2, 1, 3, 2).substr(0, 100))->Pixels, nullptr);
}

TEST_F(LoaderTest, PcxThreePlanesIn32And16And15Bits) {
  auto file =
      dir.write("rgb.pcx", PcxImage(PcxHeader(2, 1, 3, 2), {{0xFF, 0x12, 0x80, 0x34, 0x40, 0x56}}));
  TQdBitmap b32(file, 32), b16(file, 16), b15(file, 15);
  EXPECT_EQ(PixelAt(b32, 0, 0), 0xFFFF8040u);
  EXPECT_EQ(PixelAt(b32, 1, 0), 0xFF123456u);
  EXPECT_EQ(Pixel16At(b16, 0, 0), 0xFC08);
  EXPECT_EQ(Pixel16At(b15, 0, 0), 0x7E08);
}

TEST_F(LoaderTest, PcxPaletteForEachBitCount) {
  std::vector<std::vector<uint8_t>> lines{{0, 1}, {2, 255}};
  std::string palette = PcxPalette({0x000000, 0xFF8040, 0x123456});
  auto file = dir.write("p.pcx", PcxImage(PcxHeader(2, 2, 1, 2), lines, palette));
  TQdBitmap b32(file, 32), b16(file, 16), b15(file, 15);
  EXPECT_EQ(PixelAt(b32, 0, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(b32, 1, 0), 0xFFFF8040u);
  EXPECT_EQ(PixelAt(b32, 0, 1), 0xFF123456u);
  EXPECT_EQ(PixelAt(b32, 1, 1), 0xFF000000u);
  EXPECT_EQ(Pixel16At(b16, 1, 0), 0xFC08);
  EXPECT_EQ(Pixel16At(b15, 1, 0), 0x8000 | 0x7E08); // the palette sets bit 15

  // Without the marker no colours exist: everything is transparent black.
  std::string noMarker = palette;
  noMarker[0] = 11;
  TQdBitmap none(dir.write("n.pcx", PcxImage(PcxHeader(2, 2, 1, 2), lines, noMarker)), 32);
  EXPECT_EQ(PixelAt(none, 1, 0), 0u);
  // A file too short to hold a palette is read without one and without seeking before its start.
  TQdBitmap tiny(dir.write("t.pcx", PcxImage(PcxHeader(2, 2, 1, 2), lines)), 32);
  ASSERT_EQ(tiny.Width, 2);
  EXPECT_EQ(PixelAt(tiny, 1, 1), 0u);
}

TEST_F(LoaderTest, TruncatedPcxDataReadsAsZeros) {
  std::string file = PcxHeader(2, 3, 3, 2) + Rle({1, 2, 3, 4, 5, 6}) + "\xC9";
  TQdBitmap b(dir.write("cut.pcx", file), 32);
  ASSERT_EQ(b.Height, 3);
  EXPECT_EQ(PixelAt(b, 1, 0), 0xFF020406u);
  EXPECT_EQ(PixelAt(b, 0, 2), 0xFF000000u);

  // A header-only file promising the longest lines and the most rows: the missing data is not
  // zeroed again for every row (that took a third of a second, seconds under the sanitizers).
  std::string tall = PcxHeader(1, 1, 3, 65535);
  tall.replace(4, 8, Le16(0) + Le16(0x8000) + Le16(0) + Le16(0x7FFE)); // rows -32768 to 32766
  TQdMemoryStream m(tall.data(), tall.size());
  TQdBitmap t;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(t.LoadPcx(m, 32, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  ASSERT_EQ(t.Height, 65535);
  EXPECT_EQ(PixelAt(t, 0, 65534), 0xFF000000u);
}

TEST_F(LoaderTest, ScrambledFileLoadsLikeItsPlainPcx) {
  std::vector<std::vector<uint8_t>> lines;
  for (int y = 0; y < 5; ++y) {
    std::vector<uint8_t> l(8);
    for (int x = 0; x < 8; ++x)
      l[x] = uint8_t(x < 4 ? 7 : y * 40 + x);
    lines.push_back(l);
  }
  std::vector<uint32_t> pal;
  for (uint32_t i = 0; i < 256; ++i)
    pal.push_back(i * 0x010203u);
  // Long enough that the palette does not overlap the header.
  std::string plain =
      PcxImage(PcxHeader(7, 5, 1, 8), lines, std::string(900, '\0') + PcxPalette(pal));
  TQdBitmap a(dir.write("sheet.pcx", plain), 32);
  TQdBitmap b(dir.write("SHEET.Kv0", Scramble(plain, 0xC5, 0)), 32);
  ASSERT_EQ(a.Width, 7);
  ASSERT_EQ(b.Width, 7);
  ASSERT_EQ(b.Height, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      ASSERT_EQ(PixelAt(a, x, y), PixelAt(b, x, y));
  EXPECT_EQ(PixelAt(b, 5, 2), 0xFF000000u | (85u * 0x010203u));

  // A start rotation other than 0 through the loader itself.
  TQdFileStream s(dir.write("s2.bin", Scramble(plain, 0x5A, 3)));
  TQdBitmap c;
  EXPECT_TRUE(c.LoadPcx(s, 32, 0x035A));
  EXPECT_EQ(PixelAt(c, 5, 2), PixelAt(a, 5, 2));

  // The same bytes from memory.
  const std::string kv0 = Scramble(plain, 0xC5, 0);
  TQdMemoryStream m(kv0.data(), kv0.size());
  TQdBitmap d;
  EXPECT_TRUE(d.LoadPcx(m, 32, Kv0Key));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      ASSERT_EQ(PixelAt(d, x, y), PixelAt(a, x, y));
}

TEST_F(LoaderTest, ExtensionChoosesTheLoaderInAnyCase) {
  std::string bmp = BmpHeaders(1, 1, 32, 0, 0) + Le32(0xFF010203);
  EXPECT_EQ(TQdBitmap(dir.write("a.BMP", bmp), 32).Width, 1);
  EXPECT_EQ(TQdBitmap(dir.write("a.bmp.bak", bmp), 32).Width, 0);
  EXPECT_EQ(TQdBitmap(dir.write("a.pcx", bmp), 32).Width, 0); // not a PCX header
}
