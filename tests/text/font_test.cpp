#include "resource/QdStream.h"
#include "text/HanFont.h"

#include "text/font_files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace fontfiles;

namespace {

// The pieces a composed glyph was made of, in initial/medial/final order; nullopt when a pair of
// rows does not hold one whole glyph number.
std::optional<std::vector<int>> Pieces(const TGlyphInfo& g) {
  std::vector<int> pieces;
  for (int pair = 0; pair < 3; ++pair) {
    const uint8_t* p = g.Data + pair * 4;
    uint16_t v = p[0] << 8 | p[1], c = p[2] << 8 | p[3];
    if (v == 0 && c == 0) continue;
    if (static_cast<uint16_t>(~v) != c) return std::nullopt;
    pieces.push_back(v - 1);
  }
  for (int k = 12; k < 32; ++k)
    if (g.Data[k]) return std::nullopt;
  return pieces;
}

std::optional<std::vector<int>> Compose(TJohapFont& font, char16_t u) {
  TGlyphInfo g;
  font.GetGlyph(font.GlyphIndex(u), g);
  EXPECT_EQ(g.Width, 16);
  EXPECT_EQ(g.Height, 16u);
  return Pieces(g);
}

} // namespace

TEST(JohapFont, ComposesSyllablesAndLoneJamoFromTheListedPieces) {
  TempDir dir;
  TJohapFont font(dir.write("H01.fnt", RecognisableHangul()));
  using V = std::vector<int>;
  EXPECT_EQ(Compose(font, u'가'), (V{0, 152}));
  EXPECT_EQ(Compose(font, u'각'), (V{95, 194, 236}));
  EXPECT_EQ(Compose(font, u'와'), (V{68, 182}));
  EXPECT_EQ(Compose(font, u'괘'), (V{57, 162}));
  EXPECT_EQ(Compose(font, u'한'), (V{113, 215, 239}));
  EXPECT_EQ(Compose(font, u'글'), (V{114, 212, 324}));
  EXPECT_EQ(Compose(font, u'뷁'), (V{140, 230, 298}));
  EXPECT_EQ(Compose(font, u'ㄱ'), (V{0}));
  EXPECT_EQ(Compose(font, u'ㅏ'), (V{152}));
  EXPECT_EQ(Compose(font, u'ㄳ'), (V{238}));
  // Every syllable, by Unicode's own order of its jamo, against the set table spelt out in jamo.
  const std::u16string initials = u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
  const std::u16string vowels = u"ㅏㅐㅑㅒㅓㅔㅕㅖㅗㅘㅙㅚㅛㅜㅝㅞㅟㅠㅡㅢㅣ";
  auto in = [](char16_t jamo, std::u16string_view set) {
    return set.find(jamo) != std::u16string_view::npos;
  };
  for (int s = 0; s < 11172; ++s) {
    const int i = s / 588, m = s / 28 % 21, f = s % 28;
    const char16_t l = initials[i], v = vowels[m];
    V expected;
    if (f == 0) {
      expected = {i + (in(v, u"ㅗㅛㅡ")     ? 19
                       : in(v, u"ㅜㅠ")     ? 38
                       : in(v, u"ㅘㅙㅚㅢ") ? 57
                       : in(v, u"ㅝㅞㅟ")   ? 76
                                            : 0),
                  m + (in(l, u"ㄱㅋ") ? 152 : 173)};
    } else {
      expected = {i + (in(v, u"ㅗㅛㅜㅠㅡ")       ? 114
                       : in(v, u"ㅘㅙㅚㅝㅞㅟㅢ") ? 133
                                                  : 95),
                  m + (in(l, u"ㄱㅋ") ? 194 : 215),
                  f - 1 +
                      (in(v, u"ㅏㅑㅘ")           ? 236
                       : in(v, u"ㅓㅕㅚㅝㅟㅢㅣ") ? 263
                       : in(v, u"ㅐㅒㅔㅖㅙㅞ")   ? 290
                                                  : 317)};
    }
    ASSERT_EQ(Compose(font, static_cast<char16_t>(0xAC00 + s)), expected) << std::hex << 0xAC00 + s;
  }
  for (char16_t u = 0x3131; u <= 0x3163; ++u) {
    auto pieces = Compose(font, u);
    ASSERT_TRUE(pieces && pieces->size() == 1) << std::hex << static_cast<uint32_t>(u);
  }
}

TEST(JohapFont, PiecesBeyondTheFileAreLeftOutAndOddUnitsGiveABlankCell) {
  TempDir dir;
  // 200 glyphs: initials and the first medial sets, no finals.
  TJohapFont font(dir.write("short.fnt", RecognisableHangul(200)));
  using V = std::vector<int>;
  EXPECT_EQ(Compose(font, u'각'), (V{95, 194}));
  EXPECT_EQ(Compose(font, u'한'), (V{113})); // medial 215 is missing as well
  TJohapFont tiny(dir.write("tiny.fnt", RecognisableHangul(50)));
  EXPECT_EQ(Compose(tiny, u'힣'), V{});         // initial 113 outside: the buffer is cleared
  EXPECT_EQ(Compose(font, u'가'), (V{0, 152})); // and the next glyph starts clean
  // A partial last glyph is left out like a missing one, never read past the file's end.
  const std::string partial = RecognisableHangul(153).substr(0, 152 * 32 + 5);
  TQdMemoryStream m(partial.data(), partial.size());
  TJohapFont cut(m);
  EXPECT_EQ(Compose(cut, u'가'), (V{0}));
  // Units without a Johab code, and packed indices of no syllable, are blank 16-pixel cells.
  EXPECT_EQ(font.GlyphIndex(0x2026), -1);
  EXPECT_EQ(Compose(font, 0x2026), V{});
}

TEST(AsciiFont, GlyphsCountFromCode31AndAShortTailIsIgnored) {
  TempDir dir;
  std::string data;
  for (int k = 0; k < 3; ++k)
    data += std::string(16, static_cast<char>(k + 1));
  TAsciiFont font(dir.write("ascii.fnt", data + "tail"));
  EXPECT_EQ(font.GlyphIndex(30), -1);
  EXPECT_EQ(font.GlyphIndex(33), 2);
  EXPECT_EQ(font.GlyphIndex(34), -1);
  TGlyphInfo g;
  font.GetGlyph(2, g);
  ASSERT_NE(g.Data, nullptr);
  EXPECT_EQ(g.Data[15], 3);
  font.GetGlyph(3, g);
  EXPECT_EQ(g.Data, nullptr);
  EXPECT_EQ(g.Width, 0);
  // Index 256 is refused even when the file is long enough.
  TAsciiFont big(dir.write("big.fnt", SolidAscii(300)));
  big.GetGlyph(256, g);
  EXPECT_EQ(g.Data, nullptr);
  EXPECT_FALSE(TAsciiFont(dir.path().string()).IsLoaded()); // a folder is no font

  // From memory, the same font.
  const std::string bytes = data + "tail";
  TQdMemoryStream m(bytes.data(), bytes.size());
  TAsciiFont fromMemory(m);
  EXPECT_EQ(fromMemory.DataSize(), 52);
  EXPECT_EQ(fromMemory.GlyphIndex(33), 2);
  fromMemory.GetGlyph(2, g);
  ASSERT_NE(g.Data, nullptr);
  EXPECT_EQ(g.Data[15], 3);
}

TEST(DrawGlyph, ShadesTopToBottomIn32And16Bits) {
  const uint8_t solid[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  TQdBitmap b32(16, 16, 32);
  DrawGlyph(b32, 0, 0, solid, 16, 16, 0xFFFFFFFF, ShadeFlag);
  EXPECT_EQ(Pixel32(b32, 3, 0), 0xFFE9FFFFu);
  EXPECT_EQ(Pixel32(b32, 15, 15), 0xFF4A5F5Fu);
  DrawGlyph(b32, 0, 0, solid, 16, 16, 0xFF000000, ShadeFlag);
  EXPECT_EQ(Pixel32(b32, 7, 0), 0xFF000000u);

  TQdBitmap b16(16, 16, 16), b15(16, 16, 15);
  DrawGlyph(b16, 0, 0, solid, 16, 16, 0xFFFFFFFF, ShadeFlag);
  DrawGlyph(b15, 0, 0, solid, 16, 16, 0xFFFFFFFF, ShadeFlag);
  EXPECT_EQ(Pixel16(b16, 0, 0), 0xEFFF);
  for (int y = 0; y < 16; ++y)
    EXPECT_EQ(Pixel16(b15, 5, y), Pixel16(b16, 5, y)); // 15 bits get 5-6-5 values too

  // Clear bits leave the background; unsupported depths and missing data draw nothing.
  const uint8_t stripe[16] = {0xA0};
  Fill(b32, 0x11111111);
  DrawGlyph(b32, 0, 0, stripe, 8, 16, 0xFFFFFFFF, 0);
  EXPECT_EQ(Pixel32(b32, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel32(b32, 1, 0), 0x11111111u);
  EXPECT_EQ(Pixel32(b32, 2, 0), 0xFFFFFFFFu);
  b32.BitCount = 24;
  DrawGlyph(b32, 0, 0, solid, 16, 16, 0xFF0000FF, 0);
  b32.BitCount = 32;
  DrawGlyph(b32, 0, 0, nullptr, 16, 16, 0xFF0000FF, 0);
  EXPECT_EQ(Pixel32(b32, 1, 0), 0x11111111u);
  EXPECT_EQ(b32.LockCount, 0);
}

TEST(DrawGlyph, ClipsAtEveryEdgeAndNeverWritesOutside) {
  const uint8_t solid[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const int W = 21, H = 19;
  const std::vector<std::pair<int, int>> spots = {
      {-5, -7}, {W - 9, -3}, {-11, H - 4}, {W - 3, H - 15}, {2, 1},         {-16, 0},
      {W, 0},   {0, -16},    {0, H},       {-100000, 5},    {INT32_MAX, 3}, {INT32_MIN, INT32_MIN}};
  for (int depth : {32, 16}) {
    for (auto [gx, gy] : spots) {
      TQdBitmap b(W, H, depth);
      Fill(b, 0x5A5A5A5A);
      DrawGlyph(b, gx, gy, solid, 16, 16, 0xFFFFFFFF, 0);
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          bool inside = int64_t(x) >= gx && int64_t(x) < int64_t(gx) + 16 && int64_t(y) >= gy &&
                        int64_t(y) < int64_t(gy) + 16;
          uint32_t got = depth == 32 ? Pixel32(b, x, y) : Pixel16(b, x, y);
          uint32_t want = inside ? (depth == 32 ? 0xFFFFFFFFu : 0xFFFFu)
                                 : (depth == 32 ? 0x5A5A5A5Au : 0x5A5Au);
          ASSERT_EQ(got, want) << depth << " bits, glyph at " << gx << "," << gy << " pixel " << x
                               << "," << y;
        }
    }
  }
}

class TextDrawing : public ::testing::Test {
protected:
  TempDir dir;
  TKSJohapFont font{dir.write("a.fnt", SolidAscii()), dir.write("h.fnt", SolidHangul())};
  TQdBitmap bitmap{160, 16, 32};
  void SetUp() override { Fill(bitmap, 0); }
  // The unshaded colour of the top row of a column, or 0 when it has no ink.
  uint32_t Top(int x) { return Pixel32(bitmap, x, 0); }
  static uint32_t Row0(uint32_t colour) {
    uint32_t r = ((colour >> 16) & 0xFF) * 22 / 24;
    return 0xFF000000u | r << 16 | (colour & 0xFFFF);
  }
};

TEST_F(TextDrawing, BracesHighlightAndTakeNoRoom) {
  font.DrawText(bitmap, 0, 0, u"{세나}에요", 0xFF2040FF);
  EXPECT_EQ(Top(0), Row0(HighlightColour));
  EXPECT_EQ(Top(31), Row0(HighlightColour));
  EXPECT_EQ(Top(32), Row0(0xFF2040FF));
  EXPECT_EQ(Top(63), Row0(0xFF2040FF));
  EXPECT_EQ(Top(64), 0u);

  Fill(bitmap, 0);
  font.DrawText(bitmap, 8, 0, u"a}b{c}d{e", 0xFF00FF00);
  EXPECT_EQ(Top(7), 0u);
  EXPECT_EQ(Top(8), Row0(0xFF00FF00));  // a
  EXPECT_EQ(Top(16), Row0(0xFF00FF00)); // b: a lone "}" changes nothing
  EXPECT_EQ(Top(24), Row0(HighlightColour));
  EXPECT_EQ(Top(32), Row0(0xFF00FF00));
  EXPECT_EQ(Top(40), Row0(HighlightColour)); // an open "{" lasts to the end
  EXPECT_EQ(Top(48), 0u);
}

TEST_F(TextDrawing, JustifiedTextSpreadsAndEndsFlushRight) {
  TQdBitmap wide(152, 16, 32);
  Fill(wide, 0);
  font.DrawTextJustified(wide, 0, 0, u"abc", 0xFFFFFFFF);
  std::vector<int> starts;
  for (int x = 0; x < 152; ++x)
    if (Pixel32(wide, x, 0) && (x == 0 || !Pixel32(wide, x - 1, 0))) starts.push_back(x);
  EXPECT_EQ(starts, (std::vector<int>{0, 50, 144}));

  // A line starting further right is spread over what is left and still ends at the edge.
  Fill(wide, 0);
  font.DrawTextJustified(wide, 40, 0, u"가a가", 0xFFFFFFFF);
  EXPECT_EQ(Pixel32(wide, 39, 0), 0u);
  EXPECT_NE(Pixel32(wide, 40, 0), 0u); // 가 at 40
  EXPECT_EQ(Pixel32(wide, 83, 0), 0u);
  EXPECT_NE(Pixel32(wide, 84, 0), 0u); // a at 40 + 112 * 2 div 5
  EXPECT_EQ(Pixel32(wide, 92, 0), 0u);
  EXPECT_EQ(Pixel32(wide, 135, 0), 0u);
  EXPECT_NE(Pixel32(wide, 136, 0), 0u); // last 가 flush right
  EXPECT_NE(Pixel32(wide, 151, 0), 0u);
}

TEST_F(TextDrawing, MissingFontsAndReleasedFonts) {
  TKSJohapFont noHangul(dir.write("a2.fnt", SolidAscii()), dir.file("none.fnt"));
  noHangul.DrawText(bitmap, 0, 0, u"가a", 0xFFFFFFFF);
  EXPECT_EQ(Top(0), 0u);
  EXPECT_EQ(Top(15), 0u);
  EXPECT_NE(Top(16), 0u); // the blank syllable still took 16 pixels

  Fill(bitmap, 0);
  TKSJohapFont noAscii(dir.file("none.fnt"), dir.write("h2.fnt", SolidHangul()));
  noAscii.DrawText(bitmap, 0, 0, u"ab가", 0xFFFFFFFF);
  EXPECT_NE(Top(0), 0u); // ASCII took no room
  EXPECT_EQ(Top(16), 0u);

  // Code 31 is the first ASCII glyph; code 30 neither draws nor advances.
  Fill(bitmap, 0);
  font.DrawText(bitmap, 0, 0, u"\x1e\x1f", 0xFFFFFFFF);
  EXPECT_NE(Top(0), 0u);
  EXPECT_EQ(Top(8), 0u);

  // After release the fonts are empty, not dangling.
  font.ReleaseFonts();
  Fill(bitmap, 0);
  font.DrawText(bitmap, 0, 0, u"a가", 0xFFFFFFFF);
  font.DrawTextJustified(bitmap, 0, 0, u"a가b", 0xFFFFFFFF);
  for (int x = 0; x < bitmap.Width; ++x)
    EXPECT_EQ(Top(x), 0u);
}
