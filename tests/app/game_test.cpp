#include "app/Dialogue.h"
#include "app/Transcript.h"
#include "app/Vesk3_main.h"
#include "app/kestrove.h"
#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "resource/QdJpegSurface.h"
#include "support/display.h"
#include "support/game_harness.h"
#include "support/temp_dir.h"
#include "text/ConsoleWindow.h"
#include "text/HanFont.h"
#include "text/QdIme.h"
#include "world/Vesk3_chara.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_obj.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// The real game on the real data files, driven frame by frame and key by key.
class GameTest : public ::testing::Test {
protected:
  void SetUp() override {
    harness_ = std::make_unique<TGameHarness>(std::filesystem::path(KESTROVE_BINARY_DIR) / "data");
    ASSERT_TRUE(harness_->Ready() && std::filesystem::exists("H3.MAF"))
        << "the data files are built with the game";
    ASSERT_TRUE(transcript::Open(dir_.file("transcript.txt")));
    owned_ = harness_->MakeGame();
    game = owned_.get();
  }
  void TearDown() override {
    if (game) game->Shutdown();
    owned_.reset();
    transcript::Close();
    harness_.reset();
  }

  void Frames(int n) {
    for (int i = 0; i < n; ++i)
      game->Frame();
  }
  // Types as the keyboard would: Shift held for capitals.
  void Type(const std::string& text) {
    for (char c : text) {
      bool shift = c >= 'A' && c <= 'Z';
      soft::SetKeyDown(VK_SHIFT, shift);
      game->KeyChar(static_cast<uint16_t>(c));
      soft::SetKeyDown(VK_SHIFT, false);
    }
  }
  void Say(const std::string& keys) {
    Type(keys);
    game->KeyChar(13);
  }
  std::vector<std::string> Transcript() {
    std::ifstream in(dir_.file("transcript.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  uint32_t ScreenPixel(int x, int y) {
    return testsupport::SurfacePixel(FrameBuffer->PrimarySurface.Get(), x, y) & 0xFFFFFF;
  }
  int Projectiles() {
    int n = 0;
    for (auto& o : Objects)
      n += o && o->Kind == 0;
    return n;
  }

  TempDir dir_;
  std::unique_ptr<TGameHarness> harness_;
  std::unique_ptr<TGameMain> owned_;
  TGameMain* game = nullptr;
};

} // namespace

TEST_F(GameTest, ConstructionLaysOutTheScreenAndPlacesTheWorld) {
  EXPECT_EQ(ConsoleLeft, 376);
  EXPECT_EQ(ConsoleWidth, 248);
  EXPECT_EQ(InputTop, 400);
  EXPECT_TRUE(Background);
  EXPECT_EQ(BackgroundSize.x, 640);
  EXPECT_EQ(BackgroundSize.y, 480);
  EXPECT_EQ(WorldMap->GetTile(2, 10, 8), 1);
  ASSERT_TRUE(Objects[0] && Objects[1] && Objects[2]);
  EXPECT_EQ(Objects[0]->X, 400);
  EXPECT_EQ(Objects[0]->Y, 370);
  EXPECT_EQ(Objects[1]->X, 296);
  EXPECT_EQ(Objects[1]->Y, 628);
  EXPECT_EQ(Objects[2]->X, 604);
  EXPECT_EQ(Objects[2]->Y, 362);
  for (int i = 3; i < ObjectSlotCount; ++i)
    EXPECT_FALSE(Objects[i]);
  EXPECT_TRUE(game->WindowsVisible);
  EXPECT_FALSE(game->Talking);
}

TEST_F(GameTest, WalkingIntoACharacterOpensTheConversationWithItsGreeting) {
  Objects[0]->X = 296;
  Objects[0]->Y = 628 - 30;
  soft::SetKeyDown(VK_DOWN, true);
  for (int i = 0; i < 30 && !game->Talking; ++i)
    game->Frame();
  soft::SetKeyDown(VK_DOWN, false);
  ASSERT_TRUE(game->Talking);
  EXPECT_EQ(Partner, 1);
  EXPECT_THAT(Transcript(), ElementsAre("> 안녕", "안녕하세요. {세나}에요. 저 아시죠?", ""));
}

TEST_F(GameTest, TheKeywordChainLeadsFromOneCharacterToTheOtherAndBack) {
  game->StartConversation(1);
  Say("tpsk"); // 세나
  Say("");     // goodbye
  game->StartConversation(2);
  Say("whwkrqjq"); // 조작법
  game->KeyChar(27);
  game->StartConversation(1);
  Say("ekstj");  // 단서
  Say("wjs xn"); // 전 투, spaced
  std::vector<std::string> t = Transcript();
  auto has = [&](const std::string& line) {
    return std::find(t.begin(), t.end(), line) != t.end();
  };
  EXPECT_TRUE(has("> 세나"));
  EXPECT_TRUE(has("그건 제 이름인데요?"));
  EXPECT_TRUE(has("> 조작법"));
  EXPECT_TRUE(has("세나 아가씨에게 들으셨나요?"));
  EXPECT_TRUE(has("다음에 봐요~"));
  EXPECT_TRUE(has("> 단서"));
  EXPECT_TRUE(has("이제 대충 이 게임의 대화 방식을 아셨죠?"));
  EXPECT_TRUE(has("> 전 투"));
  // The fighting entry: four lines, the third empty, then the closing empty line.
  auto fight = std::find(t.begin(), t.end(), "> 전 투");
  ASSERT_LE(fight + 6, t.end());
  EXPECT_EQ(fight[1], "우선 Ctrl 키를 누르고 움직이면 방향을 바꾸지 않고 이동합니다.");
  EXPECT_EQ(fight[3], "");
  EXPECT_EQ(fight[4], "이게 답니다. 더 이상 숨겨진 말은 없으니 괜히 찾으려 하지는 마시고....");
  EXPECT_EQ(fight[5], "");
  EXPECT_TRUE(game->Talking);
}

TEST_F(GameTest, EscAndEmptyLinesSayGoodbyeAndTurnThePartnerBack) {
  auto* partner = static_cast<TCharacter*>(Objects[1].get());
  game->StartConversation(1);
  partner->Direction = FaceUp;
  partner->PrevDirection = FaceLeft;
  Type("gks"); // something half typed
  game->KeyChar(27);
  EXPECT_FALSE(game->Talking);
  EXPECT_EQ(partner->Direction, FaceLeft);
  EXPECT_TRUE(Ime->Committed.empty() && Ime->Composing.empty());

  game->StartConversation(2);
  Say("   ");
  EXPECT_FALSE(game->Talking);
  EXPECT_THAT(Transcript(),
              ElementsAre("> 안녕", "안녕하세요. {세나}에요. 저 아시죠?", "", "> ", "잘 가세요.",
                          "", "> 안녕", "누구시죠?", "", ">    ", "다음에 봐요~", ""));
}

TEST_F(GameTest, UnknownLinesGetTheDeflectionsInGeneratorOrder) {
  game->StartConversation(1);
  Say("ABC");        // Latin typed in Hangul mode folds to ㅁㅊㅊ... a deflection either way
  game->KeyChar(21); // English
  Say("Hello");
  game->KeyChar(27);
  game->StartConversation(2);
  Say("zldnjem"); // 키워드 is not a keyword of the second character
  std::vector<std::string> t = Transcript();
  std::vector<std::string> replies;
  for (size_t i = 0; i + 1 < t.size(); ++i)
    if (t[i].rfind("> ", 0) == 0 && t[i] != "> 안녕" && t[i] != "> ") replies.push_back(t[i + 1]);
  EXPECT_THAT(replies, ElementsAre("훔.. 무슨 말을 하시는건지...", "훔.. 무슨 말을 하시는건지...",
                                   "전 바쁜데 장난치지 말아 주실래요?"));
  EXPECT_TRUE(std::find(t.begin(), t.end(), "> Hello") != t.end());
}

TEST_F(GameTest, HangulModeFoldsCapsLockButShiftDoublesConsonants) {
  game->StartConversation(1);
  game->KeyChar('R'); // Caps Lock on, no Shift: the plain consonant
  EXPECT_EQ(Ime->Composing, u"ㄱ");
  Type("R"); // Shift held: the doubled one
  EXPECT_EQ(Ime->Committed + Ime->Composing, u"ㄱㄲ");
  soft::SetKeyDown(VK_SHIFT, true); // Caps Lock and Shift give a small letter; Shift wins
  game->KeyChar('r');
  soft::SetKeyDown(VK_SHIFT, false);
  EXPECT_EQ(Ime->Committed + Ime->Composing, u"ㄱㄲㄲ");
  game->KeyChar(8);
  game->KeyChar(8);
  game->KeyChar(21);
  Type("aB");
  game->KeyChar('C'); // English mode keeps what Caps Lock gave
  EXPECT_EQ(Ime->Committed + Ime->Composing, u"ㄱaBC");
}

TEST_F(GameTest, ThePlayerStandsStillWhileTalkingButShotsFlyOn) {
  soft::SetKeyDown('Z', true);
  game->Frame();
  soft::SetKeyDown('Z', false);
  const int fired = Projectiles();
  ASSERT_GT(fired, 0);
  game->StartConversation(2);
  const int x = Objects[0]->X, y = Objects[0]->Y;
  std::vector<int> shotX;
  for (auto& o : Objects)
    if (o && o->Kind == 0) shotX.push_back(o->X);
  soft::SetKeyDown(VK_LEFT, true);
  soft::SetKeyDown('Z', true);
  Frames(3);
  soft::SetKeyDown(VK_LEFT, false);
  soft::SetKeyDown('Z', false);
  EXPECT_EQ(Objects[0]->X, x);
  EXPECT_EQ(Objects[0]->Y, y);
  EXPECT_LE(Projectiles(), fired); // nothing new was fired
  std::vector<int> movedX;
  for (auto& o : Objects)
    if (o && o->Kind == 0) movedX.push_back(o->X);
  EXPECT_NE(shotX, movedX);
  // Esc only ends the conversation; outside one it closes the window.
  game->KeyChar(27);
  EXPECT_EQ(soft::QueuedMessages(), 0u);
  game->KeyChar(27);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CLOSE);
}

TEST_F(GameTest, TheFrameRateShowsRendersPerSecondOfVirtualTime) {
  Frames(1);
  EXPECT_EQ(FrameRate, 0u);
  EXPECT_EQ(RateStart, 10000u);
  Frames(40); // two renders and two refreshes a frame
  EXPECT_EQ(FrameRate, 60u);
  // Unsigned arithmetic: nothing new is measured at exactly one second.
  RateStart = 1000;
  RenderCount = 10;
  FrameTime = 2000;
  game->Render();
  EXPECT_EQ(FrameRate, 60u);
  EXPECT_EQ(RenderCount, 11u);
  FrameTime = 2001;
  game->Render();
  EXPECT_EQ(FrameRate, 11u);
  EXPECT_EQ(RateStart, 2001u);
  // Through the clock's wrap, two renders a 16 ms frame: each measure spans 63 frames.
  RateStart = RenderCount = 0;
  for (uint32_t i = 0; i < 2 * 63 + 1; ++i) {
    FrameTime = 0xFFFFFC00u + i * 16;
    game->Render();
    game->Render();
  }
  EXPECT_EQ(FrameRate, 125u);
  EXPECT_EQ(RateStart, 0x3E0u); // 2016 ms after the start, past 2^32
}

TEST_F(GameTest, TheCursorBlinksOnceMoreThan300MsHavePassed) {
  game->StartConversation(1);
  const bool shown = InputWindow->CursorShown;
  LastBlink = 5000;
  FrameTime = 5300;
  game->Update();
  EXPECT_EQ(InputWindow->CursorShown, shown);
  FrameTime = 5301;
  game->Update();
  EXPECT_NE(InputWindow->CursorShown, shown);
  EXPECT_EQ(LastBlink, 5301u);
}

TEST_F(GameTest, BackgroundsOfOtherSizesAreClippedOrClearedAround) {
  auto paint = [&](int w, int h, uint32_t colour) {
    Background.Reset();
    CreatePlainSurface(FrameBuffer->DirectDraw.Get(), w, h, false, Background);
    ASSERT_TRUE(Background);
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    Background->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    BackgroundSize = {w, h};
  };
  paint(100, 75, 0xFF3060A0);
  game->Render();
  EXPECT_EQ(ScreenPixel(2, 2), 0x3060A0u);
  EXPECT_EQ(ScreenPixel(639, 479), 0u); // cleared around the small picture
  paint(800, 600, 0xFF80A030);
  game->Render();
  EXPECT_EQ(ScreenPixel(2, 2), 0x80A030u);
  EXPECT_EQ(ScreenPixel(639, 479), 0x80A030u); // a larger picture is clipped, not refused
}

TEST_F(GameTest, TheTextWindowsAreTranslucentOverTheBackground) {
  Frames(2);
  const uint32_t behindConsole = ScreenPixel(500, 200);
  Background.Reset(); // now the same place over black
  Frames(1);
  const uint32_t overBlack = ScreenPixel(500, 200);
  EXPECT_NE(behindConsole, overBlack);
  EXPECT_NE(overBlack, 0u);
}
