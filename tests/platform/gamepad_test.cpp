#include "platform/controls/controls.h"
#include "platform/controls/gamepad.h"
#include "platform/substitute/win32/win_control.h"
#include "support/taken_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef KESTROVE_HAVE_SDL
#include "app/Dialogue.h"
#include "app/InputScript.h"
#include "app/Recorder.h"
#include "app/Transcript.h"
#include "app/Vesk3_main.h"
#include "app/kestrove.h"
#include "platform/headless/headless_presenter.h"
#include "platform/sdl/sdl_presenter.h"
#include "support/temp_dir.h"
#include "world/Vesk3_obj.h"

#include <SDL.h>

#include <filesystem>
#include <fstream>
#include <functional>
#endif

using controls::PadState;
using controls::Source;

namespace {

LRESULT CALLBACK Quiet(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcA(h, m, w, l);
}

// A window for the pad's keys, and what the pad posted to it.
class GamepadTest : public ::testing::Test {
protected:
  void SetUp() override {
    soft::ResetWin32();
    controls::ResetControls();
    WNDCLASSA wc{};
    wc.lpfnWndProc = Quiet;
    wc.lpszClassName = "pad";
    RegisterClassA(&wc);
    CreateWindowExA(0, "pad", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    controls::ResetControls();
    soft::ResetWin32();
  }
  // Holds the buttons for one update at time now.
  std::vector<std::string> Hold(std::initializer_list<controls::PadButton> buttons) {
    PadState state;
    for (auto b : buttons)
      state.held[b] = true;
    pad_.Update(state, now_);
    now_ += 16;
    return testsupport::TakenKeys();
  }

  controls::Gamepad pad_;
  uint32_t now_ = 1000;
};

} // namespace

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Walking keys, then talking keys; a button held across the change does nothing on the other side,
// and only a held Back is Esc.
TEST_F(GamepadTest, ButtonsAreWalkingOrTalkingKeysAndEscNeedsAHold) {
  using namespace controls;
  EXPECT_THAT(Hold({kPadA, kPadLeftShoulder, kPadRight}),
              ElementsAre("down 39", "down 90", "down 17"));
  EXPECT_THAT(Hold({kPadA, kPadRight}), ElementsAre("up 17"));
  SetTextWanted(true); // walked into someone, still walking and firing
  EXPECT_THAT(Hold({kPadA, kPadRight}), ElementsAre("up 39", "up 90"))
      << "the A that fired presses no key";
  EXPECT_TRUE(Keyboard().IsOpen());
  EXPECT_EQ(Keyboard().Highlight(), 0) << "the d-pad that walked moves nothing";
  EXPECT_THAT(Hold({}), IsEmpty());
  EXPECT_THAT(Hold({kPadB, kPadY, kPadStart}), ElementsAre("down 8", "down 21", "down 13"));
  EXPECT_THAT(Hold({}), ElementsAre("up 8", "up 21", "up 13"));
  EXPECT_THAT(Hold({kPadRight}), IsEmpty()) << "moves the highlight";
  EXPECT_EQ(Keyboard().Highlight(), 1);
  EXPECT_THAT(Hold({kPadA}), ElementsAre("down 87"));
  SetTextWanted(false); // the talk ended while A is down
  EXPECT_THAT(Hold({kPadA}), ElementsAre("up 87")) << "and that A does not fire";

  EXPECT_THAT(Hold({kPadBack}), IsEmpty());
  EXPECT_THAT(Hold({}), IsEmpty()) << "a short press of Back is nothing";
  for (uint32_t held = 0; held < kEscHoldMs; held += 16)
    ASSERT_THAT(Hold({kPadBack}), IsEmpty());
  EXPECT_THAT(Hold({kPadBack}), ElementsAre("down 27"));
  EXPECT_THAT(Hold({kPadBack}), IsEmpty());
  EXPECT_THAT(Hold({}), ElementsAre("up 27"));
}

#ifdef KESTROVE_HAVE_SDL
namespace {

// One step after each frame, each until it says it is done (a pad is read once a frame); then
// the window is closed.
class Steps : public TRunControl {
public:
  using Step = std::function<bool()>;
  std::vector<Step> steps;
  void Start(HWND window) override { window_ = window; }
  void AfterFrame() override {
    ++frames;
    if (next_ < steps.size() && steps[next_]()) ++next_;
    if ((next_ == steps.size() || frames > 6000) && !closed_) {
      closed_ = true;
      PostMessageA(window_, WM_CLOSE, 0, 0);
    }
  }
  void Deliver(WPARAM) override {}
  bool Finished() const { return next_ == steps.size(); }
  int frames = 0;

private:
  HWND window_ = nullptr;
  size_t next_ = 0;
  bool closed_ = false;
};

// A step that waits n frames.
Steps::Step Wait(int n) {
  auto left = std::make_shared<int>(n);
  return [left] { return --*left <= 0; };
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// A run of the game: in an SDL window on the dummy driver (with a virtual pad when stick is
// given), or headless; its transcript, and where the player stood at the end in *where.
struct Run {
  TRunControl* control;
  bool headless = false;
  SDL_Joystick** stick = nullptr;
  TSessionRecorder* recorder = nullptr;
  std::pair<int, int>* where = nullptr;
};

// Passes every call on, keeping the player's place after each frame.
class Watch : public TRunControl {
public:
  Watch(TRunControl& inner, std::pair<int, int>* where) : inner_(inner), where_(where) {}
  void Start(HWND window) override { inner_.Start(window); }
  void AfterFrame() override {
    if (where_ && Objects[0]) *where_ = {Objects[0]->X, Objects[0]->Y};
    inner_.AfterFrame();
  }
  void Deliver(WPARAM item) override { inner_.Deliver(item); }

private:
  TRunControl& inner_;
  std::pair<int, int>* where_;
};

std::vector<std::string> Play(const Run& run) {
  soft::ResetWin32();
  controls::ResetControls();
  dialogue::ResetDeflections();
  TempDir dir;
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(KESTROVE_BINARY_DIR) / "data");
  if (run.headless) {
    soft::SetPresenter(std::make_unique<soft::HeadlessPresenter>());
  } else {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The dummy window never has the focus, without which SDL drops pad events.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    PresenterOptions options;
    options.windowed = true;
    std::string error;
    auto presenter = soft::SdlPresenter::Open(options, error);
    EXPECT_TRUE(presenter) << error;
    if (!presenter) return {};
    soft::SetPresenter(std::move(presenter));
  }
  if (run.stick) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "test pad";
    const int device = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(device, 0) << SDL_GetError();
    *run.stick = SDL_JoystickOpen(device);
    EXPECT_TRUE(*run.stick) << SDL_GetError();
  }
  transcript::Open(dir.file("transcript.txt"));
  Watch watch(*run.control, run.where);
  RunProgram([](HWND w, HDC dc) { return static_cast<TGameBase*>(new TGameMain(w, dc)); }, &watch,
             run.recorder);
  transcript::Close();
  if (run.stick && *run.stick) SDL_JoystickClose(*run.stick);
  soft::SetPresenter(nullptr);
  SDL_ResetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS);
  std::filesystem::current_path(home);
  return Lines(dir.file("transcript.txt"));
}

} // namespace

// The keyword conversation with 세나 by a pad alone, on the on-screen keyboard, says what the
// keyboard says: the walk, 안녕, Hangul/English, hi, and a held Back for Esc.
TEST(GamepadConversation, APadAloneSaysWhatTheKeyboardSays) {
  auto key = [](int vk, bool down) {
    return [=] {
      controls::PostPhysicalKey(vk, down, false, false);
      return true;
    };
  };
  auto talking = [](bool wanted) { return [=] { return controls::TextWanted() == wanted; }; };
  Steps keyboard;
  keyboard.steps = {
      Wait(2),       key(VK_DOWN, true), Wait(43), key(VK_DOWN, false), key(VK_LEFT, true),
      talking(true), key(VK_LEFT, false)};
  for (int vk : std::initializer_list<int>{'D', 'K', 'S', 'S', 'U', 'D', VK_RETURN, VK_HANGUL, 'H',
                                           'I', VK_RETURN, VK_ESCAPE}) {
    keyboard.steps.push_back(key(vk, true));
    keyboard.steps.push_back(key(vk, false));
  }
  keyboard.steps.push_back(talking(false));
  const std::vector<std::string> typed = Play({&keyboard});
  EXPECT_TRUE(keyboard.Finished());
  ASSERT_THAT(typed, ::testing::Contains("> 안녕"));
  ASSERT_THAT(typed, ::testing::Contains("> hi"));

  SDL_Joystick* stick = nullptr;
  auto button = [&stick](SDL_GameControllerButton b, bool down) {
    return [&stick, b, down] {
      SDL_JoystickSetVirtualButton(stick, b, down ? 1 : 0);
      return true;
    };
  };
  auto axis = [&stick](SDL_GameControllerAxis a, Sint16 value) {
    return [&stick, a, value] {
      SDL_JoystickSetVirtualAxis(stick, a, value);
      return true;
    };
  };
  // Moves the highlight to the key typing vk, one d-pad press at a time, then presses A.
  auto press = [&stick](int vk) {
    auto phase = std::make_shared<int>(0);
    return [&stick, vk, phase] {
      int target = 0;
      while (controls::Key(target).vk != vk)
        ++target;
      const controls::KeyCap& at = controls::Key(controls::Keyboard().Highlight());
      const controls::KeyCap& want = controls::Key(target);
      for (auto b : {SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN,
                     SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT})
        SDL_JoystickSetVirtualButton(stick, b, 0);
      if (*phase == 1) { // A was pressed on the key
        SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_A, 0);
        *phase = 0;
        return true;
      }
      if (*phase == 2) { // a move was made: let go for a frame
        *phase = 0;
        return false;
      }
      if (&at == &want) {
        SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_A, 1);
        *phase = 1;
        return false;
      }
      SDL_JoystickSetVirtualButton(stick,
                                   at.row < want.row   ? SDL_CONTROLLER_BUTTON_DPAD_DOWN
                                   : at.row > want.row ? SDL_CONTROLLER_BUTTON_DPAD_UP
                                   : at.x < want.x     ? SDL_CONTROLLER_BUTTON_DPAD_RIGHT
                                                       : SDL_CONTROLLER_BUTTON_DPAD_LEFT,
                                   1);
      *phase = 2;
      return false;
    };
  };
  Steps pad;
  pad.steps = {Wait(2),
               button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true),
               Wait(43),
               button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false),
               axis(SDL_CONTROLLER_AXIS_LEFTX, -32768),
               talking(true),
               axis(SDL_CONTROLLER_AXIS_LEFTX, 0),
               [] { return controls::Keyboard().IsOpen(); }};
  for (int vk : {'D', 'K', 'S', 'S', 'U', 'D'})
    pad.steps.push_back(press(vk));
  for (auto b : {SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_Y}) {
    pad.steps.push_back(button(b, true));
    pad.steps.push_back(button(b, false));
  }
  pad.steps.push_back(press('H'));
  pad.steps.push_back(press('I'));
  pad.steps.push_back(button(SDL_CONTROLLER_BUTTON_START, true));
  pad.steps.push_back(button(SDL_CONTROLLER_BUTTON_START, false));
  pad.steps.push_back(button(SDL_CONTROLLER_BUTTON_BACK, true));
  pad.steps.push_back(talking(false));
  pad.steps.push_back(button(SDL_CONTROLLER_BUTTON_BACK, false));
  TempDir dir;
  TSessionRecorder recorder(true, [] { return uint64_t{0}; });
  ASSERT_TRUE(recorder.Open(dir.file("pad.txt")));
  std::pair<int, int> live, replayed;
  EXPECT_EQ(Play({&pad, false, &stick, &recorder, &live}), typed);
  EXPECT_TRUE(pad.Finished()) << "stopped after " << pad.frames << " frames";
  recorder.Finish();

  // The recording of the pad's session, replayed headless: the same lines, the same place.
  TInputScript script;
  std::string error;
  std::ifstream in(dir.file("pad.txt"));
  const std::string recorded((std::istreambuf_iterator<char>(in)), {});
  ASSERT_TRUE(ParseInputScript(recorded, "/", script, error)) << error;
  TScriptRunner replay(script, 0, true);
  EXPECT_EQ(Play({&replay, true, nullptr, nullptr, &replayed}), typed);
  EXPECT_EQ(replayed, live);
  EXPECT_NE(live, std::make_pair(0, 0));
}
#endif
