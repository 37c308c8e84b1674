#include "platform/web/web_presenter.h"

#include "platform/controls/controls.h"
#include "platform/fatal.h"
#include "platform/substitute/win32/win_control.h"
#include "platform/web/web_keys.h"

#include <emscripten.h>

#include <cmath>
#include <cstring>
#include <string>

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

// The page's touch controls, queued as they happen; 1 when one was taken. kind: 1 the d-pad (a 1
// while a finger is on it, at x, y from its middle, 1 at its rim), 2 Fire, 3 Walk without
// turning (a 1 while down), 4 a key of the on-screen keyboard (a its index, x 1 when down), 5 a
// touch anywhere, 6 Save recording.
EM_JS(int, web_take_control, (int* kind, int* a, float* x, float* y), {
  var q = Module.kestroveControls;
  if (!q || q.length == 0) return 0;
  var e = q.shift();
  HEAP32[kind >> 2] = e.kind;
  HEAP32[a >> 2] = e.a || 0;
  HEAPF32[x >> 2] = e.x || 0;
  HEAPF32[y >> 2] = e.y || 0;
  return 1;
});

// The gamepads (the browser's standard mapping) together: buttons A B X Y Back Start LB RB and
// the d-pad, and the left stick pushed furthest. 0 when there is none.
EM_JS(int, web_read_pads, (int* held, float* stick), {
  var pads = navigator.getGamepads ? navigator.getGamepads() : [];
  var order = [ 0, 1, 2, 3, 8, 9, 4, 5, 12, 13, 14, 15 ];
  var any = 0, furthest = 0;
  for (var i = 0; i < order.length; i++)
    HEAP32[(held >> 2) + i] = 0;
  HEAPF32[stick >> 2] = 0;
  HEAPF32[(stick >> 2) + 1] = 0;
  for (var p = 0; p < pads.length; p++) {
    var pad = pads[p];
    if (!pad || !pad.connected || pad.mapping != "standard") continue;
    any = 1;
    for (var i = 0; i < order.length; i++) {
      var b = pad.buttons[order[i]];
      if (b && b.pressed) HEAP32[(held >> 2) + i] = 1;
    }
    var x = pad.axes[0] || 0, y = pad.axes[1] || 0;
    if (x * x + y * y > furthest) {
      furthest = x * x + y * y;
      HEAPF32[stick >> 2] = x;
      HEAPF32[(stick >> 2) + 1] = y;
    }
  }
  return any;
});

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

} // namespace

// Only the rows that changed since the last picture are converted and handed to the canvas: most
// frames change a corner, or nothing. flips: the virtual clock's frame count when headless (the
// page times frames by it), else 0.
void PageCanvas::Show(const uint32_t* pixels, int width, int height, int pitchPixels,
                      double flips) {
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  int top = 0, bottom = height;
  if (width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    rgba_.assign(rowBytes * height, 255);
    last_.assign(static_cast<size_t>(width) * height, 0);
  } else {
    auto same = [&](int y) {
      return std::memcmp(last_.data() + static_cast<size_t>(y) * width,
                         pixels + static_cast<size_t>(y) * pitchPixels, rowBytes) == 0;
    };
    while (top < height && same(top))
      ++top;
    while (bottom > top && same(bottom - 1))
      --bottom;
  }
  for (int y = top; y < bottom; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * pitchPixels;
    std::memcpy(last_.data() + static_cast<size_t>(y) * width, row, rowBytes);
    uint8_t* out = rgba_.data() + static_cast<size_t>(y) * rowBytes;
    for (int x = 0; x < width; ++x, out += 4) {
      out[0] = static_cast<uint8_t>(row[x] >> 16);
      out[1] = static_cast<uint8_t>(row[x] >> 8);
      out[2] = static_cast<uint8_t>(row[x]);
    }
  }
  EM_ASM(
      {
        if (Module.kestrovePresent) Module.kestrovePresent($0, $1, $2, $3, $4, $5);
      },
      rgba_.data(), width, height, flips, top, bottom);
}

std::unique_ptr<soft::Presenter> OpenPresenter(const PresenterOptions& options) {
  if (options.headless) return std::make_unique<WebHeadlessPresenter>();
  return std::make_unique<WebPresenter>(options.scripted);
}

void WebHeadlessPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  HeadlessPresenter::Present(pixels, width, height, pitchPixels);
  if (Flips() % kYieldEvery) return;
  canvas_.Show(pixels, width, height, pitchPixels, static_cast<double>(Flips()));
  emscripten_sleep(0);
}

DWORD WebPresenter::Now() {
  if (start_ == 0) start_ = nextTick_ = emscripten_get_now();
  return static_cast<DWORD>(10000 + static_cast<int64_t>(emscripten_get_now() - start_));
}

void WebPresenter::Present(const uint32_t* pixels, int width, int height, int pitchPixels) {
  canvas_.Show(pixels, width, height, pitchPixels, 0);
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
  if (target) {
    TakeControls();
    controls::PadState pad;
    int held[controls::kPadButtons];
    float stick[2];
    // A script plays alone: a pad's drift would end up in its recording.
    if (!scripted_ && web_read_pads(held, stick)) {
      for (int b = 0; b < controls::kPadButtons; ++b)
        pad.held[b] = held[b] != 0;
      pad.stickX = stick[0];
      pad.stickY = stick[1];
    }
    gamepad_.Update(pad, Now());
  }
  ShowKeyboard();
}

void WebPresenter::TakeControls() {
  using controls::Source;
  int kind = 0, a = 0;
  float x = 0, y = 0;
  while (web_take_control(&kind, &a, &x, &y)) {
    if (kind == 6) {
      // The recording up to the last frame, whole, before the page reads it.
      fatal::FlushNow();
      EM_ASM({
        if (Module.kestroveRecordingWritten) Module.kestroveRecordingWritten();
      });
      continue;
    }
    controls::NoteUse(Source::Touch);
    // The walking controls are hidden while the keyboard is open, and its keys while it is not:
    // what was queued before the change is dropped (releases still go through).
    const bool open = controls::Keyboard().IsOpen();
    if (open && kind >= 1 && kind <= 3 && a) continue;
    if (!open && kind == 4 && x != 0) continue;
    switch (kind) {
    case 1:
      controls::HoldDirection(Source::Touch,
                              a ? controls::DirectionOf(x, y, 0.3f) : controls::Direction{});
      break;
    case 2:
      controls::PostHeldKey(Source::Touch, 'Z', a != 0);
      break;
    case 3:
      controls::PostHeldKey(Source::Touch, VK_CONTROL, a != 0);
      break;
    case 4:
      controls::PressKey(Source::Touch, a, x != 0);
      break;
    default:
      break;
    }
  }
}

// Tells the page the keyboard's layout once, then what it shows whenever that changes.
void WebPresenter::ShowKeyboard() {
  if (!layoutSent_) {
    std::string layout = "[";
    for (int i = 0; i < controls::KeyCount(); ++i) {
      const controls::KeyCap& k = controls::Key(i);
      layout += (i ? ",[" : "[") + std::to_string(k.row) + "," + std::to_string(k.x) + "," +
                std::to_string(k.width) + "]";
    }
    layout += "]";
    EM_ASM(
        {
          if (Module.kestroveKeyboardLayout)
            Module.kestroveKeyboardLayout(JSON.parse(UTF8ToString($0)));
        },
        layout.c_str());
    layoutSent_ = true;
  }
  const controls::OnScreenKeyboard& kb = controls::Keyboard();
  if (kb.Version() == keyboardShown_ && controls::LastSource() == sourceShown_) return;
  keyboardShown_ = kb.Version();
  sourceShown_ = controls::LastSource();
  std::string names;
  for (int i = 0; i < controls::KeyCount(); ++i)
    names += (i ? "|" : "") + Utf8(controls::KeyName(i, kb.Hangul(), kb.Shifted()));
  EM_ASM(
      {
        if (Module.kestroveKeyboard)
          Module.kestroveKeyboard({
            open : !!$0,
            shifted : !!$1,
            highlight : $2,
            source : [ "none", "keyboard", "touch", "gamepad" ][$3],
            names : UTF8ToString($4).split("|")
          });
      },
      kb.IsOpen() ? 1 : 0, kb.Shifted() ? 1 : 0, kb.Highlight(),
      static_cast<int>(controls::LastSource()), names.c_str());
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

namespace web {

// Into the page's live regions, as drawn: the braces that mark a highlighted word take no room.
void WebPresenter::MirrorText(bool inputLine, std::u16string_view text) {
  std::u16string shown;
  for (char16_t c : text)
    if (c != u'{' && c != u'}') shown += c;
  EM_ASM(
      {
        if (Module.kestroveMirror) Module.kestroveMirror(!!$0, UTF8ToString($1));
      },
      inputLine ? 1 : 0, Utf8(shown).c_str());
}

} // namespace web
