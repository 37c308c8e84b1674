#ifdef KESTROVE_HAVE_SDL
#include "platform/controls/controls.h"
#include "platform/controls/keyboard_picture.h"
#include "platform/png.h"
#include "platform/sdl/sdl_presenter.h"
#include "platform/substitute/win32/win_control.h"

#include "support/temp_dir.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480, kPitch = 648;

// A presenter on SDL's dummy driver, whose window is a block of memory.
std::unique_ptr<soft::SdlPresenter> OpenWindowed(int scale = 1, bool scripted = false,
                                                 const std::string& shots = ".") {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  PresenterOptions options;
  options.windowed = true;
  options.scale = scale;
  options.scripted = scripted;
  options.screenshotDir = shots;
  std::string error;
  auto presenter = soft::SdlPresenter::Open(options, error);
  EXPECT_TRUE(presenter) << error;
  return presenter;
}

// What the window shows, as 0xRRGGBB.
std::vector<uint32_t> Shown(SDL_Surface* screen) {
  std::vector<uint32_t> px(static_cast<size_t>(screen->w) * screen->h);
  SDL_ConvertPixels(screen->w, screen->h, screen->format->format, screen->pixels, screen->pitch,
                    SDL_PIXELFORMAT_RGB888, px.data(), screen->w * 4);
  for (auto& p : px)
    p &= 0xFFFFFF;
  return px;
}

// What the window system loses: the window's pixels, painted over.
void Lose(SDL_Surface* screen) {
  SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 255, 255, 255));
}

// A picture as a window exactly its size at this scale shows it.
std::vector<uint32_t> Visible(const std::vector<uint32_t>& frame, int scale) {
  std::vector<uint32_t> px;
  for (int y = 0; y < kH * scale; ++y)
    for (int x = 0; x < kW * scale; ++x)
      px.push_back(frame[static_cast<size_t>(y / scale) * kPitch + x / scale] & 0xFFFFFF);
  return px;
}

// Everything the queue holds, taken as the game's loop takes it.
std::vector<MSG> TakeAll() {
  std::vector<MSG> taken;
  MSG m{};
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
    taken.push_back(m);
  return taken;
}

// The character the substitute makes of the A key, with no Shift held.
char TypedA() {
  TakeAll();
  MSG key{nullptr, WM_KEYDOWN, 'A', 0, 0, {}};
  TranslateMessage(&key);
  MSG ch{};
  PeekMessageA(&ch, nullptr, 0, 0, PM_REMOVE);
  return static_cast<char>(ch.wParam);
}

LRESULT CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

// The presenter in use by the substitute, with the game's window open in it.
void OpenGameWindow(std::unique_ptr<soft::SdlPresenter> presenter) {
  soft::SetPresenter(std::move(presenter));
  WNDCLASSA wc{};
  wc.lpfnWndProc = IgnoreAll;
  wc.lpszClassName = "test";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, "test", "test", WS_POPUP, 0, 0, kW, kH, nullptr, nullptr, nullptr,
                              nullptr);
  ShowWindow(hwnd, SW_SHOWDEFAULT);
}

void PushSdl(SDL_Event e) {
  e.window.windowID = SDL_GetWindowID(SDL_GetWindowFromID(1));
  SDL_PushEvent(&e);
}
SDL_Event Key(Uint32 type, SDL_Scancode sc, Uint16 mod = KMOD_LALT) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.scancode = sc;
  e.key.keysym.mod = mod;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  return e;
}
SDL_Event WindowEvent(SDL_WindowEventID id) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = static_cast<Uint8>(id);
  return e;
}

} // namespace

// Caps Lock may be on before the game starts, or be toggled while another window has the focus:
// the lock is taken from the desktop when the window opens and whenever it gains the focus,
// through the queue, so that a recording notes it where the game took it.
TEST(SdlPresenterTest, CapsLockFollowsTheDesktopAtStartAndOnFocus) {
  soft::ResetWin32();
  auto presenter = OpenWindowed();
  ASSERT_TRUE(presenter);
  SDL_SetModState(KMOD_CAPS);
  OpenGameWindow(std::move(presenter));
  EXPECT_EQ(TypedA(), 'A');

  SDL_SetModState(KMOD_NONE);
  PushSdl(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  EXPECT_EQ(TypedA(), 'a');
  soft::SetPresenter(nullptr);
  soft::ResetWin32();

  // A script in the window (a recording played again) has the lock it says, not the desktop's.
  SDL_SetModState(KMOD_CAPS);
  OpenGameWindow(OpenWindowed(1, true));
  EXPECT_EQ(TypedA(), 'a');
  soft::SetPresenter(nullptr);
  soft::ResetWin32();
  SDL_SetModState(KMOD_NONE);
}

// SDL lets go of held keys itself when the focus goes, and so does the presenter for keys whose
// release went elsewhere: each key must still go up once, Alt last.
TEST(SdlPresenterTest, KeysHeldWhenTheFocusGoesAreReleasedOnce) {
  soft::ResetWin32();
  auto presenter = OpenWindowed();
  ASSERT_TRUE(presenter);
  OpenGameWindow(std::move(presenter));
  TakeAll();
  PushSdl(Key(SDL_KEYDOWN, SDL_SCANCODE_LALT));
  PushSdl(Key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT));
  PushSdl(Key(SDL_KEYDOWN, SDL_SCANCODE_Z));
  TakeAll(); // the game has them all down
  PushSdl(Key(SDL_KEYUP, SDL_SCANCODE_RIGHT));
  PushSdl(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  PushSdl(Key(SDL_KEYUP, SDL_SCANCODE_Z)); // SDL's own release, after the presenter's
  std::vector<std::pair<UINT, WPARAM>> ups;
  for (const MSG& m : TakeAll())
    if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) ups.push_back({m.message, m.wParam});
  const std::vector<std::pair<UINT, WPARAM>> once = {
      {WM_SYSKEYUP, VK_RIGHT}, {WM_SYSKEYUP, 'Z'}, {WM_SYSKEYUP, VK_MENU}};
  EXPECT_EQ(ups, once);
  soft::SetPresenter(nullptr);
  soft::ResetWin32();
}

// The on-screen keyboard is drawn into the window over the world, follows what moves under it, is
// gone when it closes, and never reaches a screenshot; a click on one of its keys is that key.
TEST(SdlPresenterTest, TheOnScreenKeyboardIsShownButNeverInScreenshots) {
  soft::ResetWin32();
  controls::ResetControls();
  TempDir dir;
  auto owned = OpenWindowed(1, false, dir.path().string());
  ASSERT_TRUE(owned);
  soft::SdlPresenter* presenter = owned.get();
  OpenGameWindow(std::move(owned));
  SDL_Surface* screen = SDL_GetWindowSurface(SDL_GetWindowFromID(1));
  ASSERT_TRUE(screen);
  std::vector<uint32_t> a(static_cast<size_t>(kPitch) * kH);
  for (size_t i = 0; i < a.size(); ++i)
    a[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  std::vector<uint32_t> b = a;
  const controls::Box box = controls::KeyboardBox();
  b[static_cast<size_t>(box.y + 1) * kPitch + box.x + 1] ^= 0xFFFFFF;
  auto differences = [&](const std::vector<uint32_t>& frame, bool inBox) {
    const std::vector<uint32_t> shown = Shown(screen), want = Visible(frame, 1);
    int n = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        n += box.Contains(x, y) == inBox &&
             shown[static_cast<size_t>(y) * kW + x] != want[static_cast<size_t>(y) * kW + x];
    return n;
  };

  presenter->Present(a.data(), kW, kH, kPitch);
  controls::NoteUse(controls::Source::Gamepad);
  controls::SetTextWanted(true);
  presenter->Present(a.data(), kW, kH, kPitch);
  EXPECT_GT(differences(a, true), box.width * box.height / 2);
  EXPECT_EQ(differences(a, false), 0);
  const std::vector<uint32_t> before = Shown(screen);
  presenter->Present(b.data(), kW, kH, kPitch);
  EXPECT_NE(Shown(screen), before) << "the world under the keyboard moved";
  const size_t moved = static_cast<size_t>(box.y + 1) * kW + box.x + 1;
  EXPECT_NE(Shown(screen)[moved], b[static_cast<size_t>(box.y + 1) * kPitch + box.x + 1])
      << "the keyboard stays over what moved";
  EXPECT_EQ(differences(b, false), 0);

  TakeAll();
  const controls::Box q = controls::KeyBox(0);
  for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
    SDL_Event click{};
    click.type = type;
    click.button.button = SDL_BUTTON_LEFT;
    click.button.x = q.x + q.width / 2;
    click.button.y = q.y + q.height / 2;
    PushSdl(click);
  }
  std::vector<std::pair<UINT, WPARAM>> keys;
  for (const MSG& m : TakeAll())
    if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) keys.push_back({m.message, m.wParam});
  const std::vector<std::pair<UINT, WPARAM>> clicked = {{WM_KEYDOWN, 'Q'}, {WM_KEYUP, 'Q'}};
  EXPECT_EQ(keys, clicked);

  PushSdl(Key(SDL_KEYDOWN, SDL_SCANCODE_F12, KMOD_NONE));
  presenter->Pump();
  const auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  ASSERT_TRUE(WritePng(dir.file("game.png"), b.data(), kW, kH, kPitch));
  EXPECT_EQ(slurp(dir.file("kestrove-0001.png")), slurp(dir.file("game.png")));

  controls::SetTextWanted(false);
  presenter->Present(b.data(), kW, kH, kPitch);
  EXPECT_EQ(Shown(screen), Visible(b, 1));
  soft::SetPresenter(nullptr);
  soft::ResetWin32();
  controls::ResetControls();
}

// Flips that change nothing draw nothing; the window must still show the last picture whenever
// it is exposed, and each change, however small, must reach the screen whole.
TEST(SdlPresenterTest, SkippedPresentsStillShowTheLastPictureOnExpose) {
  std::vector<uint32_t> a(static_cast<size_t>(kPitch) * kH, 0x204060), b = a, c = a;
  auto set = [](std::vector<uint32_t>& f, int x, int y) {
    f[static_cast<size_t>(y) * kPitch + x] = 0xFF8000u + static_cast<uint32_t>(x + y);
  };
  // Changes at the picture's edges, and lone pixels that bound a changed rectangle.
  for (int y : {0, 100, 101, 250, kH - 1})
    for (int x = 0; x < kW; x += 3)
      set(b, x, y);
  set(c, kW - 1, 100);
  set(c, 300, 101);
  std::vector<uint32_t> d = c;
  set(d, 5, 200);
  set(d, 9, 201);
  std::vector<uint32_t> e = d;
  set(e, 600, 400);

  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    auto presenter = OpenWindowed(scale);
    ASSERT_TRUE(presenter);
    char window;
    HWND hwnd = reinterpret_cast<HWND>(&window);
    presenter->WindowCreated(hwnd, "test");
    presenter->WindowShown(hwnd);
    SDL_Window* w = SDL_GetWindowFromID(1);
    ASSERT_TRUE(w);
    SDL_Surface* screen = SDL_GetWindowSurface(w);
    ASSERT_TRUE(screen);
    for (auto* f : {&a, &b, &a, &c, &d, &e}) {
      presenter->Present(f->data(), kW, kH, kPitch);
      EXPECT_EQ(Shown(screen), Visible(*f, scale));
    }

    Lose(screen);
    presenter->Present(e.data(), kW, kH, kPitch);
    EXPECT_EQ(Shown(screen)[0], 0xFFFFFFu) << "an unchanged picture is drawn again";

    SDL_Event expose{};
    expose.type = SDL_WINDOWEVENT;
    expose.window.event = SDL_WINDOWEVENT_EXPOSED;
    expose.window.windowID = SDL_GetWindowID(w);
    SDL_PushEvent(&expose);
    presenter->Pump();
    EXPECT_EQ(Shown(screen), Visible(e, scale));

    presenter->Present(a.data(), kW, kH, kPitch);
    EXPECT_EQ(Shown(screen), Visible(a, scale));
    presenter->WindowDestroyed(hwnd);
  }
}

// Speeds are pixels per refresh: sixty presents a second whatever the screen, and a stall is
// not made up by a burst of quick frames afterwards. Load only lengthens these times.
TEST(SdlPresenterTest, PresentsKeepSixtyTicksASecondAndDoNotRushAfterAStall) {
  auto presenter = OpenWindowed();
  ASSERT_TRUE(presenter);
  std::vector<uint32_t> frame(static_cast<size_t>(kPitch) * kH);
  auto seconds = [&](int presents) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < presents; ++i)
      presenter->Present(frame.data(), kW, kH, kPitch);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  seconds(1);
  EXPECT_GE(seconds(30), 25 / 60.0); // up to four ticks late may still be caught up
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_GE(seconds(12), 10 / 60.0);
}
#endif
