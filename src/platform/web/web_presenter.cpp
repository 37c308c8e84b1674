#include "platform/web/web_presenter.h"

#include "platform/controls/controls.h"
#include "platform/substitute/win32/win_control.h"
#include "platform/web/web_keys.h"

#include <emscripten.h>

#include <cmath>

namespace web {
namespace {

constexpr double kRefreshMs = 1000.0 / 60.0;
// Headless runs give the browser a turn after this many frames.
constexpr uint64_t kYieldEvery = 30;

// The page queues its key events; 1 when one was taken. flags: 1 down, 2 repeat, 4 focus lost,
// 8 the browser's Caps Lock is on, 16 take the lock from the browser (the first key since the
// page had the focus).
EM_JS(int, web_take_key, (char* code, int size, int* flags), {
  var q = Module.kestroveKeys;
  if (!q || q.length == 0) return 0;
  var e = q.shift();
  stringToUTF8(e.code || "", code, size);
  HEAP32[flags >> 2] = (e.down ? 1 : 0) | (e.repeat ? 2 : 0) | (e.blur ? 4 : 0) | (e.caps ? 8 : 0) |
                       (e.syncCaps ? 16 : 0);
  return 1;
});

// flips: the virtual clock's frame count when headless (the page times frames by it), else 0.
void Show(std::vector<uint8_t>& rgba, const uint32_t* pixels, int width, int height,
          int pitchPixels, double flips) {
  rgba.resize(static_cast<size_t>(width) * height * 4);
  uint8_t* out = rgba.data();
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * pitchPixels;
    for (int x = 0; x < width; ++x, out += 4) {
      out[0] = static_cast<uint8_t>(row[x] >> 16);
      out[1] = static_cast<uint8_t>(row[x] >> 8);
      out[2] = static_cast<uint8_t>(row[x]);
      out[3] = 255;
    }
  }
  EM_ASM(
      {
        if (Module.kestrovePresent) Module.kestrovePresent($0, $1, $2, $3);
      },
      rgba.data(), width, height, flips);
}

} // namespace

std::unique_ptr<soft::Presenter> OpenPresenter(const PresenterOptions& options) {
  if (options.headless) return std::make_unique<WebHeadlessPresenter>();
  return std::make_unique<WebPresenter>(options.scripted);
}

void WebHeadlessPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  HeadlessPresenter::Present(pixels, width, height, pitchPixels);
  if (Flips() % kYieldEvery) return;
  Show(rgba_, pixels, width, height, pitchPixels, static_cast<double>(Flips()));
  emscripten_sleep(0);
}

DWORD WebPresenter::Now() {
  if (start_ == 0) start_ = nextTick_ = emscripten_get_now();
  return static_cast<DWORD>(10000 + static_cast<int64_t>(emscripten_get_now() - start_));
}

void WebPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  Show(rgba_, pixels, width, height, pitchPixels, 0);
  // Speeds are pixels per frame: a fixed 60 Hz clock, whatever the display refreshes at.
  Now();
  nextTick_ += kRefreshMs;
  const double now = emscripten_get_now();
  if (nextTick_ > now) {
    emscripten_sleep(static_cast<unsigned>(std::lround(nextTick_ - now)));
  } else {
    if (now - nextTick_ > 4 * kRefreshMs) nextTick_ = now; // a stall: do not rush to catch up
    emscripten_sleep(0); // the browser still needs its turn to show the frame and take keys
  }
}

void WebPresenter::Pump() {
  HWND target = soft::MainWindow();
  char code[32];
  int flags = 0;
  while (web_take_key(code, sizeof code, &flags)) {
    if (flags & 4) {
      leftAlt_ = false;
      // Released elsewhere: their releases never reach us.
      controls::FocusLost();
      continue;
    }
    if (!target) continue;
    // A script says what the lock is; the browser's would make a replay type otherwise.
    if ((flags & 16) && !scripted_) soft::PostCapsLock(target, flags & 8);
    const bool down = flags & 1;
    const int vk = VirtualKeyFromCode(code);
    if (vk == VK_MENU) leftAlt_ = down;
    if (vk) controls::PostPhysicalKey(vk, down, flags & 2, leftAlt_);
  }
}

bool WebPresenter::WaitForInput() {
  emscripten_sleep(static_cast<unsigned>(kRefreshMs));
  return true;
}

void WebPresenter::CursorVisible(bool visible) {
  EM_ASM(
      {
        if (Module.kestroveCursor) Module.kestroveCursor($0);
      },
      visible ? 1 : 0);
}

void WebPresenter::ShowMessage(const char* caption, const char* text) {
  EM_ASM(
      {
        if (Module.kestroveMessage) Module.kestroveMessage(UTF8ToString($0), UTF8ToString($1));
      },
      caption, text);
}

} // namespace web
