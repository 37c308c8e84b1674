#include "platform/sdl/sdl_presenter.h"

#include "platform/png.h"
#include "platform/win/win_control.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace soft {
namespace {

using Clock = std::chrono::steady_clock;
// Speeds are pixels per refresh, so the game is paced by a fixed 60 Hz clock whatever the monitor.
constexpr auto kRefresh = std::chrono::microseconds(1000000 / 60);

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

// Keys released in another window never reach us: release them through the queue, so that the
// game, and a recording, see them go up like any other key.
void ReleaseHeldKeys(HWND target) {
  const bool alt = GetAsyncKeyState(VK_MENU) & 0x8000;
  const LPARAM lParam = 1 | (1L << 30) | static_cast<LPARAM>(1UL << 31) | (alt ? 1L << 29 : 0);
  for (int vk = 1; vk < 256; ++vk)
    if (vk != VK_MENU && (GetAsyncKeyState(vk) & 0x8000))
      PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(vk), lParam);
  if (alt) PostMessageA(target, WM_SYSKEYUP, VK_MENU, lParam);
}

} // namespace

SdlPresenter::SdlPresenter(const PresenterOptions& options)
    : options_(options), fullScreen_(!options.windowed), start_(Clock::now()), nextTick_(start_) {}

std::unique_ptr<SdlPresenter> SdlPresenter::Open(const PresenterOptions& options,
                                                 std::string& error) {
  // Keys come from physical key events only; the desktop's input method never composes text.
  SDL_SetHint(SDL_HINT_IME_SHOW_UI, "0");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot open a window: ") + SDL_GetError();
    return nullptr;
  }
  SDL_StopTextInput();
  return std::unique_ptr<SdlPresenter>(new SdlPresenter(options));
}

SdlPresenter::~SdlPresenter() {
  WindowDestroyed(hwnd_);
  SDL_Quit();
}

void SdlPresenter::WindowCreated(HWND hwnd, const char* title) {
  if (window_) return; // one game window
  hwnd_ = hwnd;
  int scale = std::clamp(options_.scale, 1, 8);
  Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;
  if (fullScreen_) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  window_ = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640 * scale,
                             480 * scale, flags);
  if (!window_) return;
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  SDL_StopTextInput();
  CursorVisible(cursorWanted_);
}

void SdlPresenter::WindowShown(HWND) {
  if (!window_) return;
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
}

void SdlPresenter::WindowDestroyed(HWND hwnd) {
  if (hwnd != hwnd_ || !window_) return;
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
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
  auto now = Clock::now();
  nextTick_ += kRefresh;
  if (nextTick_ > now) {
    std::this_thread::sleep_until(nextTick_);
  } else if (now - nextTick_ > 4 * kRefresh) {
    nextTick_ = now; // fell far behind (a stall): do not rush to catch up
  }
}

void SdlPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  if (!frame_ || width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    frame_ = std::make_unique<uint32_t[]>(static_cast<size_t>(width) * height);
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
  }
  for (int y = 0; y < height; ++y)
    std::memcpy(frame_.get() + static_cast<size_t>(y) * width,
                pixels + static_cast<size_t>(y) * pitchPixels, static_cast<size_t>(width) * 4);
  WaitForTick();
  Draw();
}

void SdlPresenter::Draw() {
  if (!renderer_ || !frame_) return;
  if (!texture_)
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                 width_, height_);
  if (!texture_) return;
  SDL_UpdateTexture(texture_, nullptr, frame_.get(), width_ * 4);
  int outW = 0, outH = 0;
  SDL_GetRendererOutputSize(renderer_, &outW, &outH);
  int scale = std::max(1, std::min(outW / width_, outH / height_));
  SDL_Rect dst{(outW - width_ * scale) / 2, (outH - height_ * scale) / 2, width_ * scale,
               height_ * scale};
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
  SDL_RenderPresent(renderer_);
}

void SdlPresenter::ToggleFullScreen() {
  if (!window_) return;
  fullScreen_ = !fullScreen_;
  SDL_SetWindowFullscreen(window_, fullScreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  CursorVisible(cursorWanted_);
  Draw();
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
               e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        Draw();
      else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && target)
        ReleaseHeldKeys(target);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const bool down = e.type == SDL_KEYDOWN;
      const SDL_Scancode sc = e.key.keysym.scancode;
      const bool alt = (e.key.keysym.mod & KMOD_LALT) != 0;
      if (down && alt && (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER)) {
        if (!e.key.repeat) ToggleFullScreen();
        break;
      }
      if (sc == SDL_SCANCODE_F12) {
        if (down && !e.key.repeat) Screenshot();
        break;
      }
      const int vk = VirtualKey(sc);
      if (!vk || !target) break;
      LPARAM lParam = 1 | (static_cast<LPARAM>(sc & 0xFF) << 16);
      if (e.key.repeat || !down) lParam |= 1L << 30;
      if (!down) lParam |= static_cast<LPARAM>(1UL << 31);
      UINT msg;
      if (alt || vk == VK_MENU) {
        lParam |= 1L << 29;
        msg = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
      } else {
        msg = down ? WM_KEYDOWN : WM_KEYUP;
      }
      PostMessageA(target, msg, static_cast<WPARAM>(vk), lParam);
      break;
    }
    default:
      break;
    }
  }
}

bool SdlPresenter::WaitForInput() {
  SDL_WaitEventTimeout(nullptr, 50);
  return true;
}

} // namespace soft
