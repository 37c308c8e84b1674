#include "text/ConsoleWindow.h"

#include "bitmap/QdBitmap.h"
#include "bitmap/SurfaceBitmap.h"
#include "display/UDxDraw.h"
#include "support/display.h"
#include "text/HanFont.h"
#include "text/font_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

using namespace fontfiles;

namespace {

constexpr uint32_t Back = 0xB0001010;

// Glyphs that ink only their leftmost column, so every drawn character shows as one column at
// its x, in its colour, shaded down the rows.
// Runs on a software bitmap and on the game's texture bitmap (true).
class ConsoleTest : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    if (GetParam()) {
      ASSERT_TRUE(testsupport::StartDisplay(FrameBuffer));
    }
    std::string ascii, hangul;
    for (int k = 0; k < 97 * 16; ++k)
      ascii += k / 16 == ' ' - 31 ? '\0' : '\x80'; // the space is blank
    for (int k = 0; k < 344 * 16; ++k)
      hangul += std::string("\x80\x00", 2);
    TKSJohapFont markers(dir.write("a.fnt", ascii), dir.write("h.fnt", hangul));
    std::swap(HanFont, markers);
    saved = std::move(markers);
  }
  void TearDown() override {
    if (saved) std::swap(HanFont, *saved);
    if (GetParam()) testsupport::StopDisplay(FrameBuffer);
  }

  template <typename T> static std::unique_ptr<T> Make(int x, int y, int w, int h) {
    if (GetParam()) return std::make_unique<T>(x, y, w, h, nullptr);
    return std::make_unique<T>(x, y, std::make_unique<TQdBitmap>(w, h, 32), nullptr);
  }
  // The x of every character drawn on a text line.
  static std::vector<int> Starts(TConsoleWindow& c, int line) {
    std::vector<int> xs;
    for (int x = 0; x < c.Bitmap->Width; ++x)
      if (Pixel32(*c.Bitmap, x, line * 16) != Back) xs.push_back(x);
    return xs;
  }
  static uint32_t Top(uint32_t colour) {
    return 0xFF000000u | (((colour >> 16) & 0xFF) * 22 / 24) << 16 | (colour & 0xFFFF);
  }
  static std::vector<uint32_t> Snapshot(TQdBitmap& b) {
    std::vector<uint32_t> px;
    for (int y = 0; y < b.Height; ++y)
      for (int x = 0; x < b.Width; ++x)
        px.push_back(Pixel32(b, x, y));
    return px;
  }
  static std::vector<int> Spread(int count, int cellsEach, int total, int width = 248) {
    std::vector<int> xs;
    for (int k = 0; k < count; ++k)
      xs.push_back(width * k * cellsEach / total);
    return xs;
  }

  TempDir dir;
  std::optional<TKSJohapFont> saved;
};

const std::u16string Twenty = u"가나다라마바사아자차카타파하거너더러머버";

} // namespace

TEST_P(ConsoleTest, BreaksAtTheCellLimitAndJustifiesContinuedLines) {
  {
    auto c = Make<TConsoleWindow>(376, 8, 248, 384);
    c->WriteWrapped(Twenty);
    auto want = Spread(14, 2, 30);
    want.push_back(232);
    EXPECT_EQ(Starts(*c, 0), want);
    EXPECT_EQ(Starts(*c, 1), (std::vector<int>{0, 16, 32, 48, 64}));
    EXPECT_EQ(c->Row, 1);
    EXPECT_EQ(c->Column, 10);
  }
  {
    auto c = Make<TConsoleWindow>(0, 0, 248, 384);
    c->WriteLine(Twenty.substr(0, 15) + u"ab");
    auto want = Spread(15, 2, 31);
    want.push_back(240);
    EXPECT_EQ(Starts(*c, 0), want);
    EXPECT_EQ(Starts(*c, 1), std::vector<int>{0});
    EXPECT_EQ(c->Row, 2);
    EXPECT_EQ(c->Column, 0);
  }
  {
    auto c = Make<TConsoleWindow>(0, 0, 248, 384);
    c->WriteLine(Twenty.substr(0, 14) + u"abcde");
    std::vector<int> want = Spread(14, 2, 31);
    want.push_back(248 * 28 / 31);
    want.push_back(248 * 29 / 31);
    want.push_back(240);
    EXPECT_EQ(Starts(*c, 0), want);
    EXPECT_EQ(Starts(*c, 1), (std::vector<int>{0, 8}));
  }
}

TEST_P(ConsoleTest, BracesBreakEarlyAndAHighlightIsCarriedOver) {
  auto c = Make<TConsoleWindow>(0, 0, 248, 384);
  c->TextColour = 0xFF20FF40;
  c->WriteLine(u"안녕하세요. {세나}에요. 저 아시죠?");
  // 29 drawn cells spread over the width; 시 at 232.
  std::vector<int> line0 = Starts(*c, 0);
  ASSERT_EQ(line0.size(), 14u);
  EXPECT_EQ(line0.back(), 232);
  EXPECT_EQ(line0[6], 248 * 12 / 29); // 세 of the keyword
  EXPECT_EQ(Pixel32(*c->Bitmap, line0[6], 0), Top(HighlightColour));
  EXPECT_EQ(Pixel32(*c->Bitmap, line0[7], 0), Top(HighlightColour));
  EXPECT_EQ(Pixel32(*c->Bitmap, line0[8], 0), Top(0xFF20FF40)); // 에
  EXPECT_EQ(Starts(*c, 1), (std::vector<int>{0, 16}));          // 죠? unjustified

  c->WriteLine(u"가나다라마바사아자차카타파하{거너더}");
  EXPECT_EQ(Pixel32(*c->Bitmap, 232, 32), Top(HighlightColour)); // 거 at the end of line 2
  EXPECT_EQ(Starts(*c, 3), (std::vector<int>{0, 16}));
  EXPECT_EQ(Pixel32(*c->Bitmap, 0, 48), Top(HighlightColour));
  EXPECT_EQ(Pixel32(*c->Bitmap, 16, 48), Top(HighlightColour));
  // The next message starts in the text colour again.
  c->WriteLine(u"{가");
  c->WriteLine(u"나");
  EXPECT_EQ(Pixel32(*c->Bitmap, 0, 80), Top(0xFF20FF40));
}

TEST_P(ConsoleTest, SpacesAtLineStartsAndContinuedEndsAreDropped) {
  auto c = Make<TConsoleWindow>(0, 0, 248, 384);
  c->Write(u"  ab  ");
  EXPECT_EQ(Starts(*c, 0), (std::vector<int>{0, 8}));
  EXPECT_EQ(c->Column, 4); // the last piece keeps its trailing spaces
  c->Write(u"c");
  EXPECT_EQ(Starts(*c, 0), (std::vector<int>{0, 8, 32}));
  c->NewLine();
  c->Write(std::u16string(29, u'x') + u"   yz");
  std::vector<int> line1 = Starts(*c, 1);
  ASSERT_EQ(line1.size(), 29u);
  EXPECT_EQ(line1.back(), 240); // trailing spaces gone before justifying
  EXPECT_EQ(Starts(*c, 2), (std::vector<int>{0, 8}));
}

TEST_P(ConsoleTest, ScrollsWhenTheLastLineIsPassed) {
  auto c = Make<TConsoleWindow>(0, 0, 248, 384);
  for (int i = 1; i <= 24; ++i)
    c->WriteLine(std::u16string(i, u'a'));
  for (int line = 0; line < 23; ++line)
    ASSERT_EQ(Starts(*c, line).size(), static_cast<size_t>(line + 2)) << line;
  for (int y = 368; y < 384; ++y)
    for (int x = 0; x < 248; ++x)
      ASSERT_EQ(Pixel32(*c->Bitmap, x, y), Back);
  EXPECT_EQ(c->Row, 23);
  EXPECT_EQ(c->Column, 0);

  auto e = Make<TConsoleWindow>(0, 0, 248, 384);
  auto before = Snapshot(*e->Bitmap);
  e->WriteLine(u"");
  EXPECT_EQ(e->Row, 1);
  EXPECT_EQ(Snapshot(*e->Bitmap), before);
}

TEST_P(ConsoleTest, OddSizesNeverHangOrWriteOutside) {
  // Narrower than a syllable, a lone line, no storage at all.
  for (auto [w, h] : {std::pair{8, 16}, {12, 40}, {248, 10}, {0, 0}}) {
    auto c = Make<TConsoleWindow>(0, 0, w, h);
    c->WriteLine(Twenty + u"{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{가}}}");
    c->WriteLine(u"}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}}나");
    EXPECT_EQ(c->Row, std::max(h / 16 - 1, 0)) << w << "x" << h; // on the last line that fits
  }
  // The longest remainder in a window one cell wide: linear, not a copy and count of the rest for
  // each of its 60 000 lines (that took over half a minute under the sanitizers; the limit leaves
  // room for a loaded machine).
  {
    auto narrow = Make<TConsoleWindow>(0, 0, 8, 16);
    std::u16string text;
    while (text.size() < 65000)
      text += u"ab{c}d ";
    const auto start = std::chrono::steady_clock::now();
    narrow->WriteLine(text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(narrow->Row, 0);
  }
  // A justified line that starts after a Write stays inside and ends at the right edge.
  auto c = Make<TConsoleWindow>(0, 0, 248, 64);
  c->Write(u"abc");
  c->WriteWrapped(Twenty);
  std::vector<int> line0 = Starts(*c, 0);
  EXPECT_EQ(line0.front(), 0);
  EXPECT_EQ(line0.back(), 232);
  for (size_t k = 1; k < line0.size(); ++k)
    EXPECT_GT(line0[k], line0[k - 1]);
  c->ReleaseBitmap();
}

TEST_P(ConsoleTest, InputWindowPromptEditLineAndCursor) {
  auto in = Make<TInputWindow>(376, 400, 248, 80);
  EXPECT_EQ(Starts(*in, 0), std::vector<int>{0});
  EXPECT_EQ(Pixel32(*in->Bitmap, 0, 0), Top(0xFFD0B0FF));
  EXPECT_EQ(in->Column, 1);
  EXPECT_FALSE(in->CursorShown);
  EXPECT_EQ(Pixel32(*in->Bitmap, 9, 15), Back);

  in->SetEditText(u"안", u"녕");
  EXPECT_EQ(Starts(*in, 0), (std::vector<int>{0, 8, 24}));
  for (int y : {14, 15})
    for (int x = 22; x < 42; ++x) {
      uint32_t want =
          x >= 24 && x < 40 ? (x == 24 ? Pixel32(*in->Bitmap, 24, 13) : 0xB0FFEFEF) : Back;
      if (x == 24) continue; // the glyph column itself is inverted too
      EXPECT_EQ(Pixel32(*in->Bitmap, x, y), want) << x << "," << y;
    }
  EXPECT_EQ(Pixel32(*in->Bitmap, 30, 13), Back);

  in->SetEditText(u"ab", u"");
  EXPECT_EQ(Starts(*in, 0), (std::vector<int>{0, 8, 16})); // the old syllable is cleared
  EXPECT_EQ(Pixel32(*in->Bitmap, 25, 15), 0xB0FFEFEFu);
  EXPECT_EQ(Pixel32(*in->Bitmap, 31, 14), 0xB0FFEFEFu);
  EXPECT_EQ(Pixel32(*in->Bitmap, 32, 14), Back);

  // Showing twice inverts once; hiding restores every pixel, glyphs and background alike.
  in->HideCursor();
  auto clean = Snapshot(*in->Bitmap);
  in->ShowCursor();
  auto shown = Snapshot(*in->Bitmap);
  in->ShowCursor();
  EXPECT_EQ(Snapshot(*in->Bitmap), shown);
  in->BlinkCursor();
  EXPECT_FALSE(in->CursorShown);
  EXPECT_EQ(Snapshot(*in->Bitmap), clean);
  in->HideCursor();
  EXPECT_EQ(Snapshot(*in->Bitmap), clean);
  in->BlinkCursor();
  EXPECT_EQ(Snapshot(*in->Bitmap), shown);
}

TEST_P(ConsoleTest, InputWindowEnterScrollsAndLongLinesScrollSideways) {
  auto in = Make<TInputWindow>(0, 0, 248, 80);
  for (int i = 0; i < 4; ++i) {
    in->SetEditText(std::u16string(i + 1, u'a'), u"");
    in->WriteLine(u"");
  }
  EXPECT_EQ(in->Row, 4);
  in->SetEditText(u"abcde", u"");
  in->WriteLine(u"");
  EXPECT_EQ(in->Row, 4);
  EXPECT_EQ(in->Column, 1);
  EXPECT_TRUE(in->CursorShown);
  EXPECT_TRUE(in->Committed.empty());
  for (int line = 0; line < 4; ++line)
    EXPECT_EQ(Starts(*in, line).size(), static_cast<size_t>(line + 3)) << line;
  EXPECT_EQ(Starts(*in, 4), std::vector<int>{0});
  EXPECT_EQ(Pixel32(*in->Bitmap, 8, 78), 0xB0FFEFEFu);

  // Twenty syllables and a composition: the tail is shown so the cursor stays at the edge.
  in->SetEditText(u"{" + Twenty, u"녕");
  std::vector<int> line4 = Starts(*in, 4);
  ASSERT_EQ(line4.size(), 16u);
  EXPECT_EQ(line4.front(), 0); // the prompt stays
  EXPECT_EQ(line4[1], 8);
  EXPECT_EQ(line4.back(), 232);
  EXPECT_EQ(Pixel32(*in->Bitmap, 8, 64), Top(HighlightColour)); // still inside the braces
  EXPECT_EQ(Pixel32(*in->Bitmap, 247, 79), 0xB0FFEFEFu);
  auto shown = Snapshot(*in->Bitmap);
  in->HideCursor();
  in->ShowCursor();
  EXPECT_EQ(Snapshot(*in->Bitmap), shown);
}

// Software bitmaps are shown through GDI; the game's windows are textures.
class ConsoleScreenTest : public ConsoleTest {};

TEST_P(ConsoleScreenTest, DrawShowsTheWindowTranslucentWithOpaqueText) {
  auto in = Make<TInputWindow>(376, 400, 248, 80);
  const uint32_t background = 0xFF405060;
  FrameBuffer->Clear(background);
  in->BlinkCursor(); // shows the cursor, then draws the window
  auto screen = [](int x, int y) {
    return testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), x, y) & 0xFFFFFF;
  };
  EXPECT_EQ(screen(376, 400), Top(0xFFD0B0FF) & 0xFFFFFF); // the prompt's top pixel
  // Background: 0x001010 at alpha 0xB0 over the picture behind it.
  for (auto [x, y, texel] : {std::tuple{500, 450, 0x001010u}, {384, 414, 0xFFEFEFu}}) {
    uint32_t got = screen(x, y);
    for (int shift : {0, 8, 16}) {
      double a = 0xB0 / 255.0, src = (texel >> shift) & 0xFF, dst = (background >> shift) & 0xFF;
      EXPECT_NEAR(int(got >> shift & 0xFF), src * a + dst * (1 - a), 1.0) << x << "," << y;
    }
  }
  EXPECT_EQ(screen(375, 450), background & 0xFFFFFF);
  EXPECT_EQ(screen(624, 450), background & 0xFFFFFF);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, ConsoleTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Texture" : "Software"; });
INSTANTIATE_TEST_SUITE_P(Texture, ConsoleScreenTest, ::testing::Values(true));
