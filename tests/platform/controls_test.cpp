#include "app/Transcript.h"
#include "app/Vesk3_main.h"
#include "platform/controls/controls.h"
#include "platform/controls/gamepad.h"
#include "platform/substitute/win32/win_control.h"
#include "support/game_harness.h"
#include "support/taken_keys.h"
#include "text/QdIme.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using controls::Source;

namespace {

// The real game in a conversation, its keys taken from the queue as the program's window takes
// them: the input method is the independent judge of what a key types.
class ControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    harness_ = std::make_unique<TGameHarness>(std::filesystem::path(KESTROVE_BINARY_DIR) / "data");
    ASSERT_TRUE(harness_->Ready());
    controls::ResetControls();
    game_ = harness_->MakeGame();
  }
  void TearDown() override {
    game_->Shutdown();
    game_.reset();
    harness_.reset();
    controls::ResetControls();
  }
  void Deliver() {
    MSG m{};
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      if (m.message == WM_KEYDOWN && m.wParam == VK_HANGUL) game_->KeyChar(VK_HANGUL);
      if (m.message == WM_CHAR) game_->KeyChar(static_cast<uint16_t>(m.wParam));
    }
  }
  void Tap(int index) {
    controls::PressKey(Source::Touch, index, true);
    controls::PressKey(Source::Touch, index, false);
    Deliver();
  }
  void Physical(int vk, bool down) {
    controls::PostPhysicalKey(vk, down, false, false);
    Deliver();
  }
  int KeyOf(controls::KeyKind kind) {
    for (int i = 0; i < controls::KeyCount(); ++i)
      if (controls::Key(i).kind == kind) return i;
    return -1;
  }

  std::unique_ptr<TGameHarness> harness_;
  std::unique_ptr<TGameMain> game_;
};

} // namespace

// Every letter, plain and after Shift, in both modes, types what the key shows: the table checked
// whole against the game's own input method.
TEST_F(ControlsTest, EveryKeyTypesWhatItShows) {
  controls::NoteUse(Source::Touch);
  game_->StartConversation(1);
  ASSERT_TRUE(controls::Keyboard().IsOpen());
  const int shift = KeyOf(controls::KeyKind::Shift);
  const int back = KeyOf(controls::KeyKind::Backspace);
  int letters = 0;
  for (bool hangul : {true, false}) {
    for (int i = 0; i < controls::KeyCount(); ++i) {
      if (controls::Key(i).kind != controls::KeyKind::Letter) continue;
      for (bool shifted : {false, true}) {
        if (shifted) Tap(shift);
        ASSERT_EQ(controls::Keyboard().Shifted(), shifted);
        const std::u16string shown = controls::KeyName(i, hangul, shifted);
        Tap(i);
        EXPECT_EQ(hangul ? Ime->Composing : Ime->Committed, shown)
            << "key " << i << (shifted ? " with Shift" : "");
        EXPECT_FALSE(controls::Keyboard().Shifted()) << "Shift is for one letter";
        Tap(back);
        ASSERT_TRUE(Ime->Composing.empty() && Ime->Committed.empty());
        ++letters;
      }
    }
    Tap(KeyOf(controls::KeyKind::HangulEnglish));
    ASSERT_EQ(Ime->HangulMode, hangul ? 0 : 1);
  }
  EXPECT_EQ(letters, 2 * 2 * 26);
}

// The keyboard shows the mode the game is in, whatever switched it: the Hangul key (even with Alt
// held), Ctrl+U, a line said; and not Alt+U, Alt+Enter or Ctrl+Enter, which give the game no
// line or character.
TEST_F(ControlsTest, TheShownModeFollowsTheGame) {
  controls::NoteUse(Source::Gamepad);
  game_->StartConversation(1);
  auto same = [&](const char* step) {
    EXPECT_EQ(controls::Keyboard().Hangul(), Ime->HangulMode != 0) << step;
  };
  Physical(VK_HANGUL, true);
  Physical(VK_HANGUL, false);
  same("Hangul key");
  Physical(VK_HANGUL, true); // held: each repeat switches
  Physical(VK_HANGUL, true);
  Physical(VK_HANGUL, true);
  Physical(VK_HANGUL, false);
  same("Hangul key repeating");
  Physical(VK_CONTROL, true);
  Physical('U', true);
  Physical('U', false);
  same("Ctrl+U");
  Physical(VK_RETURN, true);
  Physical(VK_RETURN, false);
  Physical(VK_CONTROL, false);
  same("Ctrl+Enter");
  controls::PostPhysicalKey(VK_MENU, true, false, true);
  controls::PostPhysicalKey('U', true, false, true);
  controls::PostPhysicalKey('U', false, false, true);
  controls::PostPhysicalKey(VK_RETURN, true, false, true);
  controls::PostPhysicalKey(VK_RETURN, false, false, true);
  controls::PostPhysicalKey(VK_HANGUL, true, false, true);
  controls::PostPhysicalKey(VK_HANGUL, false, false, true);
  controls::PostPhysicalKey(VK_MENU, false, false, true);
  Deliver();
  same("Alt+U, Alt+Enter, then the Hangul key with Alt held");
  Physical(VK_HANGUL, true);
  Physical(VK_HANGUL, false);
  ASSERT_FALSE(Ime->HangulMode) << "English, for the line to bring Hangul back";
  Physical('A', true);
  Physical('A', false);
  Physical(VK_RETURN, true);
  Physical(VK_RETURN, false);
  same("a line said");
  EXPECT_TRUE(controls::Keyboard().Hangul());
  Physical(VK_CONTROL, true); // and the focus goes elsewhere with Ctrl down
  controls::FocusLost();
  Deliver();
  Physical('U', true);
  Physical('U', false);
  same("U after Ctrl was let go with the focus");
  EXPECT_FALSE(controls::Keyboard().IsOpen()) << "the last key was a physical one";
}

// A key held by touch and by a pad goes up when both have let go; after the focus went, a key
// still held goes down again when its source next says so.
TEST_F(ControlsTest, KeysHeldByTwoSourcesGoUpWithTheLast) {
  testsupport::TakenKeys();
  controls::PostHeldKey(Source::Touch, VK_LEFT, true);
  controls::PostHeldKey(Source::Gamepad, VK_LEFT, true);
  controls::PostHeldKey(Source::Touch, VK_LEFT, true);
  controls::PostHeldKey(Source::Touch, VK_LEFT, false);
  EXPECT_THAT(testsupport::TakenKeys(), ::testing::ElementsAre("down 37"));
  controls::PostHeldKey(Source::Gamepad, VK_LEFT, false);
  EXPECT_THAT(testsupport::TakenKeys(), ::testing::ElementsAre("up 37"));

  controls::PostHeldKey(Source::Gamepad, VK_RIGHT, true);
  controls::FocusLost();
  controls::PostHeldKey(Source::Gamepad, VK_RIGHT, true);
  EXPECT_THAT(testsupport::TakenKeys(), ::testing::ElementsAre("down 39", "up 39", "down 39"));

  // The walking controls a finger still holds when the keyboard opens over them let go: Ctrl
  // would turn its letters into control characters.
  controls::PostHeldKey(Source::Touch, VK_CONTROL, true);
  controls::NoteUse(Source::Touch);
  controls::SetTextWanted(true);
  EXPECT_THAT(testsupport::TakenKeys(), ::testing::ElementsAre("down 17", "up 17"));
}

TEST(ControlsDirection, EightDirectionsByAngleAndNoneInTheDeadZone) {
  auto at = [](double degrees) {
    const double r = degrees * 3.14159265358979323846 / 180;
    const controls::Direction d = controls::DirectionOf(static_cast<float>(std::cos(r)),
                                                        static_cast<float>(std::sin(r)), 0.5f);
    return std::string(d.up ? "U" : "") + (d.down ? "D" : "") + (d.left ? "L" : "") +
           (d.right ? "R" : "");
  };
  // Clockwise from the right, y downwards; each direction owns 45 degrees about its middle.
  const char* expected[] = {"R", "DR", "D", "DL", "L", "UL", "U", "UR"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(at(45 * i), expected[i]) << 45 * i;
    EXPECT_EQ(at(45 * i + 21), expected[i]) << 45 * i + 21;
    EXPECT_EQ(at(45 * i - 21), expected[i]) << 45 * i - 21;
  }
  EXPECT_EQ(controls::DirectionOf(0.3f, 0.3f, 0.5f), controls::Direction{});
  EXPECT_EQ(controls::DirectionOf(NAN, 0.9f, 0.5f), controls::Direction{});
}

TEST(OnScreenKeyboard, TheHighlightWrapsAndMovesToTheNearestKeyOfTheNextRow) {
  controls::OnScreenKeyboard kb;
  auto name = [&] { return controls::KeyName(kb.Highlight(), false, false); };
  kb.MoveHighlight(-1, 0);
  EXPECT_EQ(name(), u"p");
  kb.MoveHighlight(1, 0);
  EXPECT_EQ(name(), u"q");
  kb.MoveHighlight(0, -1);
  EXPECT_EQ(name(), u"Hangul/English");
  kb.MoveHighlight(1, 0);
  kb.MoveHighlight(0, 1);
  EXPECT_EQ(name(), u"t") << "from Space";
  kb.MoveHighlight(0, 1);
  kb.MoveHighlight(0, 1);
  EXPECT_EQ(name(), u"c") << "between two, the left one";
  for (int i = 0; i < 5; ++i)
    kb.MoveHighlight(1, 0);
  EXPECT_EQ(name(), u"Backspace");
  kb.MoveHighlight(1, 0);
  EXPECT_EQ(name(), u"Shift") << "wraps within the row";
}
