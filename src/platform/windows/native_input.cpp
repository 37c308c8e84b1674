#define KESTROVE_NATIVE_INPUT_IMPL
#include "platform/windows/native_input.h"

#include "platform/keyboard_layout.h"
#include "platform/platform_messages.h"

#include <mmsystem.h>

#include <cstdint>

namespace native {
namespace {

constexpr int64_t kRefreshesPerSecond = 60;

struct State {
  bool scripted = false;
  keyboard::KeyState keys;
  bool charPending = false;
  MSG pendingChar{};
  uint64_t flips = 0;
  // The 60 Hz pace, in performance-counter ticks.
  int64_t frequency = 0;
  int64_t refreshes = 0; // refreshes counted from start
  int64_t start = 0;
};

State& S() {
  static State state;
  return state;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd && m.hwnd != hwnd) return false;
  return (lo == 0 && hi == 0) || (m.message >= lo && m.message <= hi);
}

// A key's message taken from the queue is the moment the key goes down or up.
void NoteKey(const MSG& m) {
  State& s = S();
  const size_t vk = m.wParam & 0xFF;
  if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN)
    s.keys.Down(static_cast<int>(vk));
  else if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP)
    s.keys.Up(static_cast<int>(vk));
  else if (m.message == CapsLockMessage)
    s.keys.capsLock = m.wParam & 1; // a script's lock line
}

int64_t Counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

} // namespace

void SetScriptedRun(bool on) {
  State& s = S();
  s.scripted = on;
  s.keys = {};
  s.charPending = false;
  s.flips = 0;
}

bool ScriptedRun() {
  return S().scripted;
}

void AfterFlip(bool presented) {
  State& s = S();
  if (presented) ++s.flips;
  if (!s.frequency) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    s.frequency = f.QuadPart > 0 ? f.QuadPart : 1;
    s.start = Counter();
    s.refreshes = 0;
  }
  ++s.refreshes;
  int64_t now = Counter();
  int64_t due = s.start + s.refreshes * s.frequency / kRefreshesPerSecond;
  if (now - due > 4 * s.frequency / kRefreshesPerSecond) {
    // Fell far behind (a stall, a slow machine): carry on from here rather than rush.
    s.start = now;
    s.refreshes = 0;
    return;
  }
  while (now < due) {
    int64_t ms = (due - now) * 1000 / s.frequency;
    Sleep(ms > 1 ? static_cast<DWORD>(ms - 1) : 0);
    now = Counter();
  }
}

} // namespace native

using native::S;

BOOL WINAPI KestrovePeekMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT removeMsg) {
  auto& s = S();
  if (s.scripted && s.charPending && native::Matches(s.pendingChar, hwnd, lo, hi)) {
    if (msg) *msg = s.pendingChar;
    if (removeMsg & PM_REMOVE) s.charPending = false;
    return TRUE;
  }
  BOOL got = PeekMessageA(msg, hwnd, lo, hi, removeMsg);
  if (got && s.scripted && msg && (removeMsg & PM_REMOVE)) native::NoteKey(*msg);
  return got;
}

BOOL WINAPI KestroveGetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
  auto& s = S();
  if (s.scripted && s.charPending && native::Matches(s.pendingChar, hwnd, lo, hi)) {
    if (msg) *msg = s.pendingChar;
    s.charPending = false;
    return TRUE;
  }
  BOOL got = GetMessageA(msg, hwnd, lo, hi);
  if (got > 0 && s.scripted && msg) native::NoteKey(*msg);
  return got;
}

BOOL WINAPI KestroveTranslateMessage(const MSG* msg) {
  auto& s = S();
  if (!s.scripted) return TranslateMessage(msg);
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  const int ch = s.keys.CharOf(static_cast<int>(msg->wParam & 0xFF));
  if (ch < 0) return FALSE;
  s.pendingChar = *msg;
  s.pendingChar.message = WM_CHAR;
  s.pendingChar.wParam = static_cast<WPARAM>(ch);
  s.charPending = true;
  return TRUE;
}

SHORT WINAPI KestroveGetAsyncKeyState(int vKey) {
  auto& s = S();
  if (!s.scripted) return GetAsyncKeyState(vKey);
  if (vKey < 0 || vKey > 255) return 0;
  return s.keys.Held(vKey) ? static_cast<SHORT>(0x8000) : 0;
}

DWORD WINAPI KestroveTimeGetTime() {
  auto& s = S();
  if (!s.scripted) return timeGetTime();
  return static_cast<DWORD>(10000 + s.flips * 1000 / native::kRefreshesPerSecond);
}
