#include "platform/sdl/sdl_presenter.h"

#include "platform/controls/controls.h"
#include "platform/controls/keyboard_picture.h"
#include "platform/fatal.h"
#include "platform/png.h"
#include "platform/sdl/window_settings.h"
#include "platform/substitute/win32/win_control.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace soft {
namespace {

using Clock = std::chrono::steady_clock;
// Speeds are pixels per refresh, so the game is paced by a fixed 60 Hz clock whatever the monitor.
using Refresh = std::chrono::duration<int64_t, std::ratio<1, 60>>;

int VirtualKey(SDL_Scancode sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  switch (sc) {
  case SDL_SCANCODE_0:
    return '0';
  case SDL_SCANCODE_RETURN:
  case SDL_SCANCODE_KP_ENTER:
    return VK_RETURN;
  case SDL_SCANCODE_ESCAPE:
    return VK_ESCAPE;
  case SDL_SCANCODE_BACKSPACE:
    return VK_BACK;
  case SDL_SCANCODE_TAB:
    return VK_TAB;
  case SDL_SCANCODE_SPACE:
    return VK_SPACE;
  case SDL_SCANCODE_LEFT:
    return VK_LEFT;
  case SDL_SCANCODE_RIGHT:
    return VK_RIGHT;
  case SDL_SCANCODE_UP:
    return VK_UP;
  case SDL_SCANCODE_DOWN:
    return VK_DOWN;
  case SDL_SCANCODE_LSHIFT:
  case SDL_SCANCODE_RSHIFT:
    return VK_SHIFT;
  case SDL_SCANCODE_LCTRL:
  case SDL_SCANCODE_RCTRL:
    return VK_CONTROL;
  case SDL_SCANCODE_LALT:
    return VK_MENU;
  case SDL_SCANCODE_RALT:
  case SDL_SCANCODE_LANG1:
    return VK_HANGUL; // the Hangul/English key
  case SDL_SCANCODE_CAPSLOCK:
    return VK_CAPITAL;
  case SDL_SCANCODE_F4:
    return VK_F4;
  case SDL_SCANCODE_SEMICOLON:
    return VK_OEM_1;
  case SDL_SCANCODE_EQUALS:
    return VK_OEM_PLUS;
  case SDL_SCANCODE_COMMA:
    return VK_OEM_COMMA;
  case SDL_SCANCODE_MINUS:
    return VK_OEM_MINUS;
  case SDL_SCANCODE_PERIOD:
    return VK_OEM_PERIOD;
  case SDL_SCANCODE_SLASH:
    return VK_OEM_2;
  case SDL_SCANCODE_GRAVE:
    return VK_OEM_3;
  case SDL_SCANCODE_LEFTBRACKET:
    return VK_OEM_4;
  case SDL_SCANCODE_BACKSLASH:
    return VK_OEM_5;
  case SDL_SCANCODE_RIGHTBRACKET:
    return VK_OEM_6;
  case SDL_SCANCODE_APOSTROPHE:
    return VK_OEM_7;
  default:
    return 0;
  }
}

// Whether the player named this video driver in SDL_VIDEODRIVER (a comma-separated list).
bool Asked(const char* driver) {
  const char* list = SDL_getenv("SDL_VIDEODRIVER");
  if (!list) return false;
  const size_t n = std::strlen(driver);
  for (const char* p = list; *p;) {
    const char* end = std::strchr(p, ',');
    if (!end) end = p + std::strlen(p);
    if (static_cast<size_t>(end - p) == n && SDL_strncasecmp(p, driver, n) == 0) return true;
    p = *end ? end + 1 : end;
  }
  return false;
}

// Xlib calls SDL does not offer, from the library SDL itself loaded (the game does not link it).
template <typename F> F* Xlib(const char* name) {
  static void* lib = SDL_LoadObject("libX11.so.6");
  return lib ? reinterpret_cast<F*>(SDL_LoadFunction(lib, name)) : nullptr;
}
#define XLIB(f) Xlib<decltype(f)>(#f)

// Without a window manager nobody answers a full-screen request.
bool HasWindowManager(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  auto intern = XLIB(XInternAtom);
  auto property = XLIB(XGetWindowProperty);
  auto xfree = XLIB(XFree);
  if (!intern || !property || !xfree) return true;
  Display* display = info.info.x11.display;
  Atom check = intern(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = property(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                              &type, &format, &count, &after, &data) == Success &&
                     type == XA_WINDOW && count == 1;
  if (data) xfree(data);
  return found;
}

// SDL learns the lock only from a key press or a focus event it sees; X knows it from the start.
bool CapsLockOn(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  auto query = XLIB(XQueryPointer);
  if (window && query && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
    Display* display = info.info.x11.display;
    ::Window root, child;
    int rootX, rootY, x, y;
    unsigned int mask = 0;
    if (query(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask))
      return (mask & LockMask) != 0;
  }
  return (SDL_GetModState() & KMOD_CAPS) != 0;
}

// Xlib's own handler exits through the static destructors, whose SDL calls wait forever for a
// server that is gone.
int LostDisplay(Display*) {
  static const char text[] = "kestrove: lost the display\n";
  ssize_t ignored = write(2, text, sizeof text - 1);
  (void)ignored;
  fatal::FlushBeforeExit(); // the recording and transcript up to the last key
  _exit(1);
}

} // namespace

SdlPresenter::SdlPresenter(const PresenterOptions& options)
    : options_(options), fullScreen_(!options.windowed), start_(Clock::now()), tickBase_(start_) {}

std::unique_ptr<SdlPresenter> SdlPresenter::Open(const PresenterOptions& options,
                                                 std::string& error) {
  // Keys come from physical key events only; the desktop's input method never composes text.
  SDL_SetHint(SDL_HINT_IME_SHOW_UI, "0");
  // The window's own pixels, sent to X through shared memory a rectangle at a time: a GL
  // texture would redraw the whole window on every change, on the CPU where GL is software.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // SDL's handlers only queue a quit event, which nobody reads while a call hangs.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot open a window: ") + SDL_GetError();
    return nullptr;
  }
  // With no display SDL falls back to drivers that show nothing: the game would run unseen.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
      !Asked(driver)) {
    SDL_Quit();
    error = "cannot open a window: there is no display";
    return nullptr;
  }
  SDL_StopTextInput();
  // Gamepads are welcome, not needed: their connections arrive as events (hot-plug), mapped by
  // the database SDL carries and SDL_GAMECONTROLLERCONFIG.
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
    std::fprintf(stderr, "kestrove: no gamepads: %s\n", SDL_GetError());
  if (!std::strcmp(driver ? driver : "", "x11")) {
    if (auto handler = XLIB(XSetIOErrorHandler)) handler(LostDisplay);
  }
  return std::unique_ptr<SdlPresenter>(new SdlPresenter(options));
}

SdlPresenter::~SdlPresenter() {
  WindowDestroyed(hwnd_);
  for (SDL_GameController* pad : pads_)
    SDL_GameControllerClose(pad);
  if (source_) SDL_FreeSurface(source_);
  if (composedSource_) SDL_FreeSurface(composedSource_);
  SDL_Quit();
}

void SdlPresenter::RememberIn(std::unique_ptr<WindowSettingsFile> file) {
  const WindowSettings stored = file->Load();
  if (!options_.windowedChosen) options_.windowed = stored.windowed;
  if (!options_.scaleChosen) options_.scale = stored.scale;
  fullScreen_ = !options_.windowed;
  settings_ = std::move(file);
}

void SdlPresenter::WindowCreated(HWND hwnd, const char* title) {
  if (window_) return; // one game window
  hwnd_ = hwnd;
  int scale = std::clamp(options_.scale, 1, 8);
  window_ = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640 * scale,
                             480 * scale, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!window_) return;
  ownFullScreen_ = !HasWindowManager(window_);
  if (fullScreen_ && !ownFullScreen_) SetFullScreen(true);
  SDL_StopTextInput();
  CursorVisible(cursorWanted_);
  // A script says what the lock is; the desktop's would make a replay type otherwise.
  if (!options_.scripted) PostCapsLock(hwnd, CapsLockOn(window_));
}

void SdlPresenter::WindowShown(HWND) {
  if (!window_) return;
  SDL_ShowWindow(window_);
  // A hidden window's own placement is undone when it is shown.
  if (fullScreen_ && ownFullScreen_) SetFullScreen(true);
  SDL_RaiseWindow(window_);
}

void SdlPresenter::WindowDestroyed(HWND hwnd) {
  if (hwnd != hwnd_ || !window_) return;
  SDL_DestroyWindow(window_);
  window_ = nullptr;
}

void SdlPresenter::CursorVisible(bool visible) {
  cursorWanted_ = visible;
  // Full screen hides the pointer until the game gives it back.
  SDL_ShowCursor(visible || !fullScreen_ ? SDL_ENABLE : SDL_DISABLE);
}

void SdlPresenter::ShowMessage(const char* caption, const char* text) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, window_);
}

DWORD SdlPresenter::Now() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  return static_cast<DWORD>(10000 + ms);
}

void SdlPresenter::WaitForTick() {
  const auto now = Clock::now();
  // Counted from a base, so sixty ticks are exactly one second.
  const auto due = tickBase_ + std::chrono::duration_cast<Clock::duration>(Refresh(++ticks_));
  if (due > now) {
    std::this_thread::sleep_until(due);
  } else if (now - due > 4 * Refresh(1)) {
    tickBase_ = now; // fell far behind (a stall): do not rush to catch up
    ticks_ = 0;
  }
}

void SdlPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  if (!frame_ || width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    frame_ = std::make_unique<uint32_t[]>(static_cast<size_t>(width) * height);
    composed_ = std::make_unique<uint32_t[]>(static_cast<size_t>(width) * height);
    if (source_) SDL_FreeSurface(source_);
    if (composedSource_) SDL_FreeSurface(composedSource_);
    source_ = SDL_CreateRGBSurfaceWithFormatFrom(frame_.get(), width, height, 32, width * 4,
                                                 SDL_PIXELFORMAT_RGB888);
    composedSource_ = SDL_CreateRGBSurfaceWithFormatFrom(composed_.get(), width, height, 32,
                                                         width * 4, SDL_PIXELFORMAT_RGB888);
    keyboardShown_ = false;
    redrawAll_ = true;
  }
  KeepChanges(pixels, pitchPixels);
  ShowControls();
  WaitForTick();
  if (redrawAll_ || !dirty_.Empty()) Draw();
}

// Keeps what differs from the last picture and marks it for drawing. Comparing reads no more than
// copying would, and most flips change nothing, or only a small corner. Within a changed row the
// ends are found a block at a time; a few unchanged pixels drawn again cost nothing.
void SdlPresenter::KeepChanges(const uint32_t* pixels, int pitchPixels) {
  constexpr int kBlock = 16;
  for (int y = 0; y < height_; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * pitchPixels;
    uint32_t* kept = frame_.get() + static_cast<size_t>(y) * width_;
    if (std::memcmp(kept, src, static_cast<size_t>(width_) * 4) == 0) continue;
    auto same = [&](int x) {
      return std::memcmp(kept + x, src + x,
                         static_cast<size_t>(std::min(kBlock, width_ - x)) * 4) == 0;
    };
    int left = 0, last = (width_ - 1) / kBlock * kBlock;
    while (same(left))
      left += kBlock;
    while (same(last))
      last -= kBlock;
    const int right = std::min(last + kBlock, width_);
    std::memcpy(kept + left, src + left, static_cast<size_t>(right - left) * 4);
    dirty_.Add(left, y, right, y + 1);
  }
}

// Keeps composed_ as frame_ with the on-screen keyboard over it, and marks what the window must
// draw again when the keyboard opens, closes or changes, or the world under it moves.
void SdlPresenter::ShowControls() {
  const controls::OnScreenKeyboard& kb = controls::Keyboard();
  const bool open = kb.IsOpen() && width_ == 640 && height_ == 480;
  if (!open && !keyboardShown_) return;
  const controls::Box box = controls::KeyboardBox();
  auto markBox = [&] { dirty_.Add(box.x, box.y, box.x + box.width, box.y + box.height); };
  if (!open) {
    keyboardShown_ = false;
    markBox();
    return;
  }
  const bool under = !dirty_.Empty() && dirty_.left < box.x + box.width && box.x < dirty_.right &&
                     dirty_.top < box.y + box.height && box.y < dirty_.bottom;
  if (!keyboardShown_) {
    std::memcpy(composed_.get(), frame_.get(), static_cast<size_t>(width_) * height_ * 4);
  } else {
    for (int y = dirty_.top; y < dirty_.bottom; ++y)
      std::memcpy(composed_.get() + static_cast<size_t>(y) * width_ + dirty_.left,
                  frame_.get() + static_cast<size_t>(y) * width_ + dirty_.left,
                  static_cast<size_t>(dirty_.right - dirty_.left) * 4);
    if (!under && kb.Version() == keyboardVersion_) return;
  }
  for (int y = box.y; y < box.y + box.height; ++y)
    std::memcpy(composed_.get() + static_cast<size_t>(y) * width_ + box.x,
                frame_.get() + static_cast<size_t>(y) * width_ + box.x,
                static_cast<size_t>(box.width) * 4);
  controls::DrawKeyboard(composed_.get(), width_);
  keyboardShown_ = true;
  keyboardVersion_ = kb.Version();
  markBox();
}

// Copies the changed part of the picture, scaled, into the window's own pixels and sends the
// window just that rectangle: the X server gets a few kilobytes a flip, not the whole window.
void SdlPresenter::Draw() {
  if (!window_ || !source_) return;
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) return;
  if (screen->w != shownW_ || screen->h != shownH_) redrawAll_ = true;
  const int scale = std::max(1, std::min(screen->w / width_, screen->h / height_));
  const int originX = (screen->w - width_ * scale) / 2, originY = (screen->h - height_ * scale) / 2;
  SDL_Rect from{dirty_.left, dirty_.top, dirty_.right - dirty_.left, dirty_.bottom - dirty_.top};
  if (redrawAll_) {
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    from = {0, 0, width_, height_};
  }
  const SDL_Rect to{originX + from.x * scale, originY + from.y * scale, from.w * scale,
                    from.h * scale};
  SDL_Rect shown;
  if (SDL_IntersectRect(&to, &screen->clip_rect, &shown)) {
    const SDL_PixelFormat& f = *screen->format;
    if (f.BytesPerPixel == 4 && f.Rmask == 0xFF0000 && f.Gmask == 0xFF00 && f.Bmask == 0xFF) {
      CopyScaled(screen, shown, originX, originY, scale);
    } else {
      SDL_Rect clipped = to;
      SDL_BlitScaled(keyboardShown_ ? composedSource_ : source_, &from, screen,
                     &clipped); // nearest: the scale is a whole number
    }
    if (redrawAll_)
      SDL_UpdateWindowSurface(window_);
    else
      SDL_UpdateWindowSurfaceRects(window_, &shown, 1);
  }
  shownW_ = screen->w;
  shownH_ = screen->h;
  shownScale_ = scale;
  shownX_ = originX;
  shownY_ = originY;
  redrawAll_ = false;
  dirty_ = {};
}

// The window's pixels inside `to` (on the window) from the picture at `scale`, placed at the
// origin: each picture row widened once, then repeated.
void SdlPresenter::CopyScaled(SDL_Surface* screen, const SDL_Rect& to, int originX, int originY,
                              int scale) {
  if (SDL_MUSTLOCK(screen) && SDL_LockSurface(screen) != 0) return;
  auto* pixels = static_cast<uint8_t*>(screen->pixels);
  const uint32_t* widened = nullptr;
  for (int y = to.y; y < to.y + to.h; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * screen->pitch) + to.x;
    if (widened && (y - originY) % scale != 0) {
      std::memcpy(out, widened, static_cast<size_t>(to.w) * 4);
      continue;
    }
    const uint32_t* in = Shown() + static_cast<size_t>((y - originY) / scale) * width_;
    int x = (to.x - originX) / scale, phase = (to.x - originX) % scale;
    if (scale == 1) {
      std::memcpy(out, in + x, static_cast<size_t>(to.w) * 4);
    } else {
      for (int i = 0; i < to.w; ++i) {
        out[i] = in[x];
        if (++phase == scale) {
          phase = 0;
          ++x;
        }
      }
    }
    widened = out;
  }
  if (SDL_MUSTLOCK(screen)) SDL_UnlockSurface(screen);
}

void SdlPresenter::SetFullScreen(bool on) {
  if (!ownFullScreen_) {
    SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    return;
  }
  // Nobody would answer the request: cover the desktop with a borderless window instead.
  int scale = std::clamp(options_.scale, 1, 8);
  SDL_Rect r{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640 * scale, 480 * scale};
  if (on) SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &r);
  SDL_SetWindowBordered(window_, on ? SDL_FALSE : SDL_TRUE);
  SDL_SetWindowSize(window_, r.w, r.h);
  SDL_SetWindowPosition(window_, r.x, r.y);
  if (on) SDL_RaiseWindow(window_);
}

void SdlPresenter::ToggleFullScreen() {
  if (!window_) return;
  fullScreen_ = !fullScreen_;
  SetFullScreen(fullScreen_);
  CursorVisible(cursorWanted_);
  redrawAll_ = true;
  Draw();
  if (settings_) {
    WindowSettings chosen = settings_->Stored(); // not the command line's scale
    chosen.windowed = !fullScreen_;
    settings_->Store(chosen);
  }
}

void SdlPresenter::Screenshot() {
  if (!frame_) return;
  namespace fs = std::filesystem;
  for (int n = 1; n < 10000; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "kestrove-%04d.png", n);
    fs::path path = fs::path(options_.screenshotDir) / name;
    std::error_code ec;
    if (fs::exists(path, ec)) continue;
    if (!WritePng(path.string(), frame_.get(), width_, height_, width_))
      std::fprintf(stderr, "kestrove: could not write %s\n", path.string().c_str());
    return;
  }
}

void SdlPresenter::Pump() {
  HWND target = MainWindow();
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
    case SDL_QUIT:
      if (target) PostMessageA(target, WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE && target)
        PostMessageA(target, WM_CLOSE, 0, 0);
      else if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
               e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        redrawAll_ = true;
        Draw();
      } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && target) {
        controls::FocusLost(); // their releases go to the other window
        Click(-1, -1, false);
      } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && target && !options_.scripted)
        PostCapsLock(target, CapsLockOn(window_)); // toggled while away
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const bool down = e.type == SDL_KEYDOWN;
      const SDL_Scancode sc = e.key.keysym.scancode;
      const int vk = VirtualKey(sc);
      const bool alt = (e.key.keysym.mod & KMOD_LALT) != 0;
      if (down && alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER)) {
        if (!e.key.repeat) ToggleFullScreen();
        break;
      }
      if (sc == SDL_SCANCODE_F12) {
        if (down && !e.key.repeat) Screenshot();
        break;
      }
      if (!vk || !target) break;
      controls::PostPhysicalKey(vk, down, e.key.repeat, alt, sc);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT)
        Click(e.button.x, e.button.y, e.type == SDL_MOUSEBUTTONDOWN);
      break;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
      PadChanged(e);
      break;
    default:
      break;
    }
  }
  // A script plays alone: a pad's drift would end up in its recording.
  if (target && !options_.scripted) PollPads();
}

// A press on a key of the on-screen keyboard; the release goes to the key pressed.
void SdlPresenter::Click(int windowX, int windowY, bool down) {
  if (!down) {
    if (keyPressed_ >= 0) controls::PressKey(controls::Source::Touch, keyPressed_, false);
    keyPressed_ = -1;
    return;
  }
  if (!keyboardShown_ || shownScale_ <= 0 || windowX < shownX_ || windowY < shownY_) return;
  const int key =
      controls::KeyAt((windowX - shownX_) / shownScale_, (windowY - shownY_) / shownScale_);
  if (key < 0) return;
  Click(-1, -1, false);
  keyPressed_ = key;
  controls::PressKey(controls::Source::Touch, key, true);
}

void SdlPresenter::PadChanged(const SDL_Event& e) {
  if (e.type == SDL_CONTROLLERDEVICEADDED) {
    if (SDL_GameController* pad = SDL_GameControllerOpen(e.cdevice.which)) {
      // A device is announced once, but opening one already open only counts it again.
      if (std::find(pads_.begin(), pads_.end(), pad) == pads_.end())
        pads_.push_back(pad);
      else
        SDL_GameControllerClose(pad);
    }
    return;
  }
  for (auto it = pads_.begin(); it != pads_.end(); ++it) {
    if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(*it)) == e.cdevice.which) {
      SDL_GameControllerClose(*it);
      pads_.erase(it);
      return;
    }
  }
}

// Every pad is the one player's: their buttons together, the stick pushed furthest.
void SdlPresenter::PollPads() {
  static constexpr SDL_GameControllerButton kButtons[controls::kPadButtons] = {
      SDL_CONTROLLER_BUTTON_A,
      SDL_CONTROLLER_BUTTON_B,
      SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y,
      SDL_CONTROLLER_BUTTON_BACK,
      SDL_CONTROLLER_BUTTON_START,
      SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
      SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
      SDL_CONTROLLER_BUTTON_DPAD_UP,
      SDL_CONTROLLER_BUTTON_DPAD_DOWN,
      SDL_CONTROLLER_BUTTON_DPAD_LEFT,
      SDL_CONTROLLER_BUTTON_DPAD_RIGHT};
  controls::PadState state;
  float furthest = 0;
  for (SDL_GameController* pad : pads_) {
    for (int b = 0; b < controls::kPadButtons; ++b)
      state.held[b] = state.held[b] || SDL_GameControllerGetButton(pad, kButtons[b]);
    const float x = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX) / 32767.0f;
    const float y = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY) / 32767.0f;
    if (x * x + y * y > furthest) {
      furthest = x * x + y * y;
      state.stickX = x;
      state.stickY = y;
    }
  }
  gamepad_.Update(state, Now());
}

bool SdlPresenter::WaitForInput() {
  SDL_WaitEventTimeout(nullptr, 50);
  return true;
}

} // namespace soft
