#include "app/InputScript.h"
#include "app/Recorder.h"
#include "app/kestrove.h"
#include "display/UDxDraw.h"
#include "platform/fatal.h"
#include "platform/headless/headless_presenter.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
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

  int Run(TRunControl* control, std::function<void(RecordingGame&)> setup = nullptr,
          TSessionRecorder* recorder = nullptr) {
    return RunProgram(
        [&](HWND w, HDC dc) {
          g_game = new RecordingGame(w, dc);
          if (setup) setup(*g_game);
          return static_cast<TGameBase*>(g_game);
        },
        control, recorder);
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
  TInputScript commands;
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
  TInputScript commands;
  std::string error;
  ASSERT_TRUE(ParseInputScript("wait 100\ntype a\n", "/tmp", commands, error));
  TScriptRunner runner(commands, 4, true);
  EXPECT_EQ(Run(&runner), 0);
  EXPECT_EQ(runner.Frames(), 4u);
  EXPECT_THAT(g_events,
              ElementsAre("frame 1", "frame 2", "frame 3", "frame 4", "shutdown with display"));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(ProgramTest, ARecordedReplayRepeatsTheScriptLineForLine) {
  // What a recording of this script must be: keys one a line, every wait kept where it was.
  const std::string script = "down Left\nwait 2\nup Left\ndown a\nup a\ndown Shift\ndown r\n"
                             "up r\nup Shift\nwait 3\nwait 1\ndown Alt\ndown f\nup f\n"
                             "up Alt\ndown ;\nup ;\nwait 2\n";
  TInputScript commands;
  std::string error;
  ASSERT_TRUE(ParseInputScript(script, "/tmp", commands, error)) << error;
  TempDir dir;
  TSessionRecorder recorder(false);
  ASSERT_TRUE(recorder.Open(dir.file("r.txt")));
  recorder.Comment("# header");
  TScriptRunner runner(commands, 0, true);
  runner.OnWaitEnded([&] { recorder.WaitEnded(); });
  Run(&runner, nullptr, &recorder);
  recorder.Finish();
  EXPECT_EQ(ReadAll(dir.file("r.txt")), "# header\n" + script);
  // With Alt held, F is a system key: no character, no key up for the game.
  EXPECT_THAT(g_events, ElementsAre("frame 1 left", "frame 2 left", "up 37", "char 97", "up 65",
                                    "char 82 shift", "up 82", "up 16", "frame 3", "frame 4",
                                    "frame 5", "frame 6", "char 59", "up 186", "frame 7", "frame 8",
                                    "shutdown with display"));
}

// Presenters word some keys otherwise than a keyboard would (right Alt is the Hangul key, which
// they send as a plain key even while left Alt is held), and take the lock from the desktop: the
// replay of a recording must give the game exactly what the live game took.
TEST_F(ProgramTest, AReplayGivesTheGameWhatTheLiveGameTook) {
  auto key = [](UINT m, WPARAM vk) { return MSG{nullptr, m, vk, 0, 0, {0, 0}}; };
  Feeder f;
  f.atStart = {Msg(CapsLockMessage, 1),     key(WM_KEYDOWN, 'A'),       key(WM_KEYUP, 'A'),
               key(WM_SYSKEYDOWN, VK_MENU), key(WM_KEYDOWN, VK_HANGUL), key(WM_KEYUP, VK_HANGUL),
               key(WM_KEYDOWN, 'B'),        key(WM_SYSKEYUP, VK_MENU),  key(WM_SYSKEYDOWN, 'C'),
               key(WM_KEYDOWN, VK_CAPITAL), key(WM_KEYUP, VK_CAPITAL),  key(WM_KEYDOWN, 'D'),
               Msg(CapsLockMessage, 1),     key(WM_KEYDOWN, 'E')};
  f.afterFrame = [](HWND w, int n) { CloseAfter(2, w, n); };
  TempDir dir;
  TSessionRecorder live(true, [] { return uint64_t{0}; });
  ASSERT_TRUE(live.Open(dir.file("live.txt")));
  Run(&f, nullptr, &live);
  live.Finish();
  const std::vector<std::string> liveEvents = g_events;
  EXPECT_THAT(liveEvents,
              ElementsAre("char 65", "up 65", "char 21", "up 21", "char 66", "up 20", "char 100",
                          "char 69", "frame 1", "frame 2", "shutdown with display"));
  const std::string recorded = ReadAll(dir.file("live.txt"));
  EXPECT_EQ(recorded, "capslock on\ndown a\nup a\ndown Alt\nkeydown Hangul\nkeyup Hangul\n"
                      "keydown b\nup Alt\nsysdown c\ndown CapsLock\nup CapsLock\ndown d\n"
                      "capslock on\ndown e\nwait 2\n");

  TInputScript script;
  std::string error;
  ASSERT_TRUE(ParseInputScript(recorded, "/", script, error)) << error;
  TScriptRunner runner(script, 0, true);
  SetUp();
  Run(&runner);
  EXPECT_EQ(g_events, liveEvents);
}

TEST_F(ProgramTest, ALiveRecordingWritesKeysAtTheFrameTheyAreTakenAndCutsLongWaits) {
  TempDir dir;
  std::string onDiskAfterASecond;
  Feeder f;
  f.atStart = {Msg(WM_KEYDOWN, VK_LEFT)};
  f.afterFrame = [&](HWND w, int n) {
    if (n == 2) PostMessageA(w, WM_KEYDOWN, VK_LEFT, 1 | (1L << 30)); // auto-repeat
    if (n == 3) {
      onDiskAfterASecond = ReadAll(dir.file("live.txt"));
      PostMessageA(w, WM_CHAR, 'x', 0); // characters are made again from the keys
      PostMessageA(w, WM_KEYUP, VK_LEFT, 0);
    }
    CloseAfter(10, w, n);
  };
  // 400 ms a frame: a wait is written once a second has gone by without a line.
  uint64_t frames = 0;
  TSessionRecorder recorder(true, [&] { return 400 * frames; });
  ASSERT_TRUE(recorder.Open(dir.file("live.txt")));
  Run(
      &f, [&](RecordingGame& g) { g.onFrame = [&](int n) { frames = static_cast<uint64_t>(n); }; },
      &recorder);
  recorder.Finish();
  EXPECT_EQ(ReadAll(dir.file("live.txt")),
            "down Left\nwait 2\ndown Left\nwait 1\nup Left\nwait 3\nwait 3\nwait 1\n");
  // A game killed then would have left what it wrote until a second before.
  EXPECT_EQ(onDiskAfterASecond, "down Left\nwait 2\ndown Left\n");
}

TEST(InputScript, EveryVirtualKeyHasANameTheScriptReadsBack) {
  for (int vk = 1; vk <= 0xFE; ++vk) {
    TInputScript c;
    std::string error;
    const std::string name = ScriptKeyName(vk);
    ASSERT_TRUE(ParseInputScript("down " + name + "\n", "/", c, error)) << vk << ": " << error;
    EXPECT_EQ(c.commands.at(0).value, static_cast<uint32_t>(vk)) << name;
  }
  EXPECT_EQ(ScriptKeyName('Q'), "q");
  EXPECT_EQ(ScriptKeyName(VK_OEM_7), "'");
  EXPECT_EQ(ScriptKeyName(VK_CAPITAL), "CapsLock");
  EXPECT_EQ(ScriptKeyName(0x70), "0x70");
}

TEST(Recording, HeaderNamesTheDataAndAReplayOnOtherDataIsWarned) {
  TempDir dir;
  dir.write("bg_image.jpg", "abc");
  dir.write("H3.MAF", "123456789");
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string header = RecordingHeader();
  const std::string script = header + "\nwait 5\n";
  std::vector<std::string> same = RecordingDifferences(script);
  std::string oldVersion = script;
  oldVersion.replace(oldVersion.find(KESTROVE_VERSION), std::strlen(KESTROVE_VERSION), "0.0.9");
  std::vector<std::string> older = RecordingDifferences(oldVersion);
  dir.write("H3.MAF", "123456780");
  std::filesystem::remove(dir.path() / "bg_image.jpg");
  std::vector<std::string> other = RecordingDifferences(script);
  std::filesystem::current_path(home);

  // Sizes and CRC-32 check values as zlib gives them.
  EXPECT_EQ(header, std::string("# recorded by kestrove ") + KESTROVE_VERSION +
                        " | bg_image.jpg 3 bytes crc32 352441c2 | H3.MAF 9 bytes crc32 cbf43926"
                        " | deja1.kv0 missing | deja2.kv0 missing | ascii.fnt missing"
                        " | H01.fnt missing");
  EXPECT_TRUE(same.empty());
  ASSERT_EQ(other.size(), 2u);
  EXPECT_EQ(other[0], "recorded with another bg_image.jpg (3 bytes crc32 352441c2, here missing)");
  EXPECT_EQ(other[1].rfind("recorded with another H3.MAF (9 bytes", 0), 0u) << other[1];
  ASSERT_EQ(older.size(), 1u);
  EXPECT_EQ(older[0], std::string("recorded by kestrove 0.0.9, replayed by ") + KESTROVE_VERSION);
  EXPECT_TRUE(RecordingDifferences("wait 5\n").empty()); // a script of one's own
}

TEST(Recording, ACutRecordingLosesOnlyItsUnfinishedLine) {
  std::string cut = "# recorded by kestrove 1\nwait 3\ndown Le";
  EXPECT_TRUE(DropCutLine(cut));
  EXPECT_EQ(cut, "# recorded by kestrove 1\nwait 3\n");
  EXPECT_FALSE(DropCutLine(cut));
  std::string own = "wait 3\npress Esc"; // a script of one's own may end without a newline
  EXPECT_FALSE(DropCutLine(own));
  EXPECT_EQ(own, "wait 3\npress Esc");
}

TEST(InputScript, BadLinesAreNamedAndNothingIsKept) {
  TInputScript commands;
  std::string error;
  EXPECT_FALSE(ParseInputScript("# fine\nwait 2\npress Q\njump 3\n", "/", commands, error));
  EXPECT_EQ(error, "line 4: unknown command 'jump'");
  EXPECT_TRUE(commands.commands.empty());
  EXPECT_FALSE(ParseInputScript("wait x\n", "/", commands, error));
  EXPECT_EQ(error.rfind("line 1:", 0), 0u);
  EXPECT_FALSE(ParseInputScript("\n\npress F13\n", "/", commands, error));
  EXPECT_EQ(error, "line 3: unknown key 'F13'");
  EXPECT_FALSE(ParseInputScript("type caf\xC3\xA9\n", "/", commands, error));
  EXPECT_FALSE(ParseInputScript("shot\n", "/", commands, error));
}

TEST(InputScript, KeysShotsAndTypingExpandToKeyEvents) {
  TInputScript c;
  std::string error;
  ASSERT_TRUE(ParseInputScript("press hangul\r\nshot out/a b.png\ntype  A\n", "/base", c, error));
  ASSERT_EQ(c.commands.size(), 9u);
  EXPECT_EQ(c.commands[0].kind, TScriptCommand::Down);
  EXPECT_EQ(c.commands[0].value, static_cast<uint32_t>(VK_HANGUL));
  EXPECT_EQ(c.commands[1].kind, TScriptCommand::Up);
  EXPECT_EQ(c.commands[2].kind, TScriptCommand::Shot);
  EXPECT_EQ(c.shots.at(c.commands[2].value), "/base/out/a b.png");
  // "type  A" types a space, then a capital with Shift held around it.
  EXPECT_EQ(c.commands[3].value, static_cast<uint32_t>(VK_SPACE));
  EXPECT_EQ(c.commands[5].value, static_cast<uint32_t>(VK_SHIFT));
  EXPECT_EQ(c.commands[5].kind, TScriptCommand::Down);
  EXPECT_EQ(c.commands[6].value, static_cast<uint32_t>('A'));
  EXPECT_EQ(c.commands[8].value, static_cast<uint32_t>(VK_SHIFT));
  EXPECT_EQ(c.commands[8].kind, TScriptCommand::Up);
  ASSERT_TRUE(ParseInputScript("wait\t2\n\tpress\tQ\n", "/", c, error)) << error;
  EXPECT_EQ(c.commands.size(), 3u);
}
