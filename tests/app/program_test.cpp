#include "app/InputScript.h"
#include "app/kestrove.h"
#include "display/UDxDraw.h"
#include "platform/fatal.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

std::vector<std::string> g_events;

// A game that writes down what reaches it and can act on a given frame.
class RecordingGame : public TGameBase {
public:
  RecordingGame(HWND w, HDC dc) : TGameBase(w, dc) {}
  void KeyChar(uint16_t key) override {
    std::string e = "char " + std::to_string(key);
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) e += " shift";
    g_events.push_back(e);
  }
  void KeyUp(uint16_t key) override { g_events.push_back("up " + std::to_string(key)); }
  void Update() override {}
  bool Frame() override {
    ++frames;
    std::string e = "frame " + std::to_string(frames);
    if (GetAsyncKeyState(VK_LEFT) & 0x8000) e += " left";
    g_events.push_back(e);
    FrameBuffer->Clear(0xFF000000 | frames);
    FrameBuffer->Flip(0, 0);
    if (onFrame) onFrame(frames);
    return frames != falseOnFrame;
  }
  void Shutdown() override {
    g_events.push_back(FrameBuffer && FrameBuffer->Device ? "shutdown with display"
                                                          : "shutdown without display");
  }
  int frames = 0;
  int falseOnFrame = -1;
  std::function<void(int)> onFrame;
};

RecordingGame* g_game = nullptr;

// Posts given messages before the first frame and after chosen frames.
class Feeder : public TRunControl {
public:
  std::vector<MSG> atStart;
  std::function<void(HWND, int)> afterFrame;
  void Start(HWND window) override {
    window_ = window;
    for (MSG m : atStart)
      PostMessageA(window, m.message, m.wParam, m.lParam);
  }
  void AfterFrame() override {
    if (afterFrame) afterFrame(window_, ++frames_);
  }
  void Deliver(WPARAM) override {}

private:
  HWND window_ = nullptr;
  int frames_ = 0;
};

class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    soft::ResetWin32();
    soft::ResetSettings();
    soft::SetPresenter(nullptr);
    g_events.clear();
  }
  void TearDown() override { soft::ResetWin32(); }

  int Run(TRunControl* control, std::function<void(RecordingGame&)> setup = nullptr) {
    return RunProgram(
        [&](HWND w, HDC dc) {
          g_game = new RecordingGame(w, dc);
          if (setup) setup(*g_game);
          return static_cast<TGameBase*>(g_game);
        },
        control);
  }
};

MSG Msg(UINT m, WPARAM w = 0) {
  return MSG{nullptr, m, w, 0, 0, {0, 0}};
}

void CloseAfter(int n, HWND w, int frame) {
  if (frame == n) PostMessageA(w, WM_CLOSE, 0, 0);
}

} // namespace

TEST_F(ProgramTest, FramesRunBackToBackAndCloseEndsInOrderWithExitCodeZero) {
  Feeder f;
  f.afterFrame = [](HWND w, int n) { CloseAfter(5, w, n); };
  EXPECT_EQ(Run(&f), 0);
  EXPECT_THAT(g_events, ElementsAre("frame 1", "frame 2", "frame 3", "frame 4", "frame 5",
                                    "shutdown with display"));
  EXPECT_EQ(FrameBuffer, nullptr); // destroyed after the game's shutdown
  EXPECT_EQ(GameMain, nullptr);
  EXPECT_EQ(soft::MainWindow(), nullptr);
}

TEST_F(ProgramTest, ABurstOfCharactersIsHandledBeforeTheNextFrame) {
  Feeder f;
  f.atStart = {Msg(WM_CHAR, 'a'), Msg(WM_CHAR, 'b')};
  f.afterFrame = [](HWND w, int n) {
    if (n == 1)
      for (WPARAM c : {'x', 'y', 'z'})
        PostMessageA(w, WM_CHAR, c, 0);
    CloseAfter(2, w, n);
  };
  Run(&f);
  EXPECT_THAT(g_events, ElementsAre("char 97", "char 98", "frame 1", "char 120", "char 121",
                                    "char 122", "frame 2", "shutdown with display"));
}

TEST_F(ProgramTest, KeysReachTheGameThroughKeyDownCharAndKeyUp) {
  Feeder f;
  f.atStart = {Msg(WM_KEYDOWN, VK_HANGUL),  Msg(WM_KEYUP, VK_HANGUL), // the toggle key itself
               Msg(WM_KEYDOWN, 'A'),        Msg(WM_KEYUP, 'A'),       // a letter, translated
               Msg(WM_KEYDOWN, VK_LEFT),    Msg(WM_KEYUP, VK_LEFT),   // no character
               Msg(WM_KEYDOWN, VK_CONTROL), Msg(WM_KEYDOWN, 'U'),     // Ctrl+U is character 21
               Msg(WM_KEYUP, 'U'),          Msg(WM_KEYUP, VK_CONTROL)};
  f.afterFrame = [](HWND w, int n) { CloseAfter(1, w, n); };
  Run(&f);
  EXPECT_THAT(g_events, ElementsAre("char 21", "up 21", "char 97", "up 65", "up 37", "char 21",
                                    "up 85", "up 17", "frame 1", "shutdown with display"));
}

TEST_F(ProgramTest, AFrameThatReturnsFalseDestroysTheWindowAndEndsTheLoop) {
  EXPECT_EQ(Run(nullptr, [](RecordingGame& g) { g.falseOnFrame = 3; }), 0);
  EXPECT_THAT(g_events, ElementsAre("frame 1", "frame 2", "frame 3", "shutdown with display"));
}

TEST_F(ProgramTest, WithoutADisplayTheProgramStopsInOrderBeforeMakingTheGame) {
  soft::Settings().directDrawAvailable = false;
  bool made = false;
  int code = RunProgram(
      [&](HWND w, HDC dc) {
        made = true;
        return static_cast<TGameBase*>(new RecordingGame(w, dc));
      },
      nullptr);
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(made);
  EXPECT_EQ(FrameBuffer, nullptr);
  EXPECT_EQ(soft::MainWindow(), nullptr);
}

TEST_F(ProgramTest, AFatalErrorBeforeTheWindowExistsIsShownInABox) {
  class BoxToStderr : public soft::HeadlessPresenter {
    void ShowMessage(const char* caption, const char* text) override {
      std::fprintf(stderr, "[%s box] %s\n", caption, text);
    }
  };
  TempDir dir;
  // A font file that cannot be measured is an I/O error while the fonts load at start-up.
  ASSERT_EQ(mkfifo(dir.file("ascii.fnt").c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        soft::SetPresenter(std::make_unique<BoxToStderr>());
        std::filesystem::current_path(dir.path());
        open("ascii.fnt", O_RDWR | O_NONBLOCK); // a writer, so opening it does not wait
        Run(nullptr);
      },
      ::testing::ExitedWithCode(fatal::kInOut), "\\[Error box\\] Runtime error 106 at ");
}

TEST_F(ProgramTest, ScriptedKeysChangeTheHeldStateWhenTheyAreHandled) {
  std::vector<TScriptCommand> commands;
  std::string error;
  ASSERT_TRUE(
      ParseInputScript("type aR!\ndown Left\nwait 2\nup Left\nwait 1\n", "/tmp", commands, error))
      << error;
  TScriptRunner runner(commands, 0, true);
  Run(&runner);
  EXPECT_THAT(g_events, ElementsAre("char 97", "up 65", "char 82 shift", "up 82", "up 16",
                                    "char 33 shift", "up 49", "up 16", "frame 1 left",
                                    "frame 2 left", "up 37", "frame 3", "shutdown with display"));
}

TEST_F(ProgramTest, FrameLimitEndsTheRunEvenWithScriptLeft) {
  std::vector<TScriptCommand> commands;
  std::string error;
  ASSERT_TRUE(ParseInputScript("wait 100\ntype a\n", "/tmp", commands, error));
  TScriptRunner runner(commands, 4, true);
  EXPECT_EQ(Run(&runner), 0);
  EXPECT_EQ(runner.Frames(), 4u);
  EXPECT_THAT(g_events,
              ElementsAre("frame 1", "frame 2", "frame 3", "frame 4", "shutdown with display"));
}

TEST(InputScript, BadLinesAreNamedAndNothingIsKept) {
  std::vector<TScriptCommand> commands;
  std::string error;
  EXPECT_FALSE(ParseInputScript("# fine\nwait 2\npress Q\njump 3\n", "/", commands, error));
  EXPECT_EQ(error, "line 4: unknown command 'jump'");
  EXPECT_TRUE(commands.empty());
  EXPECT_FALSE(ParseInputScript("wait x\n", "/", commands, error));
  EXPECT_EQ(error.rfind("line 1:", 0), 0u);
  EXPECT_FALSE(ParseInputScript("\n\npress F13\n", "/", commands, error));
  EXPECT_EQ(error, "line 3: unknown key 'F13'");
  EXPECT_FALSE(ParseInputScript("type caf\xC3\xA9\n", "/", commands, error));
  EXPECT_FALSE(ParseInputScript("shot\n", "/", commands, error));
}

TEST(InputScript, KeysShotsAndTypingExpandToKeyEvents) {
  std::vector<TScriptCommand> c;
  std::string error;
  ASSERT_TRUE(ParseInputScript("press hangul\r\nshot out/a b.png\ntype  A\n", "/base", c, error));
  ASSERT_EQ(c.size(), 9u);
  EXPECT_EQ(c[0].kind, TScriptCommand::Down);
  EXPECT_EQ(c[0].value, static_cast<uint32_t>(VK_HANGUL));
  EXPECT_EQ(c[1].kind, TScriptCommand::Up);
  EXPECT_EQ(c[2].kind, TScriptCommand::Shot);
  EXPECT_EQ(c[2].path, "/base/out/a b.png");
  // "type  A" types a space, then a capital with Shift held around it.
  EXPECT_EQ(c[3].value, static_cast<uint32_t>(VK_SPACE));
  EXPECT_EQ(c[5].value, static_cast<uint32_t>(VK_SHIFT));
  EXPECT_EQ(c[5].kind, TScriptCommand::Down);
  EXPECT_EQ(c[6].value, static_cast<uint32_t>('A'));
  EXPECT_EQ(c[8].value, static_cast<uint32_t>(VK_SHIFT));
  EXPECT_EQ(c[8].kind, TScriptCommand::Up);
  ASSERT_TRUE(ParseInputScript("wait\t2\n\tpress\tQ\n", "/", c, error)) << error;
  EXPECT_EQ(c.size(), 3u);
}
