// Checks, run under Wine by scripts/test-windows, of what the Windows program does with a script's
// posted keys: they are seen as held when their message is taken, the character of a key comes
// right after it, Caps Lock follows the script, and time is the virtual clock of presented flips.
#include "platform/platform.h"
#include "platform/windows/native_input.h"

#include <cstdio>
#include <vector>

namespace {

int g_failed = 0, g_passed = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  ++(ok ? g_passed : g_failed);
}

struct Seen {
  UINT message;
  WPARAM wParam;
  bool shiftHeld;
};

// Runs the message loop the way the program does until the queue is empty.
std::vector<Seen> Drain() {
  std::vector<Seen> seen;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    TranslateMessage(&msg);
    seen.push_back({msg.message, msg.wParam, (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0});
  }
  return seen;
}

void PostKey(int vk, bool down) {
  PostThreadMessageA(GetCurrentThreadId(), down ? WM_KEYDOWN : WM_KEYUP, vk, down ? 1 : 0xC0000001);
}

} // namespace

int main() {
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from here on
  native::SetScriptedRun(true);

  // "type R": Shift is held while the character is handled, and the character comes before the
  // key's own release and anything posted after it.
  PostKey(VK_SHIFT, true);
  PostKey('R', true);
  PostKey('R', false);
  PostKey(VK_SHIFT, false);
  PostThreadMessageA(GetCurrentThreadId(), WM_APP, 7, 0);
  std::vector<Seen> seen = Drain();
  const std::vector<Seen> expected = {{WM_KEYDOWN, VK_SHIFT, true}, {WM_KEYDOWN, 'R', true},
                                      {WM_CHAR, 'R', true},         {WM_KEYUP, 'R', true},
                                      {WM_KEYUP, VK_SHIFT, false},  {WM_APP, 7, false}};
  bool same = seen.size() == expected.size();
  for (size_t i = 0; same && i < seen.size(); ++i)
    same = seen[i].message == expected[i].message && seen[i].wParam == expected[i].wParam &&
           seen[i].shiftHeld == expected[i].shiftHeld;
  Check(same, "a capital typed with Shift arrives in key order with Shift held");

  // Ctrl+U is the Hangul toggle's character; a held key stays held across empty queues.
  PostKey(VK_CONTROL, true);
  PostKey('U', true);
  seen = Drain();
  Check(seen.size() == 3 && seen[2].message == WM_CHAR && seen[2].wParam == 21,
        "Ctrl+U types character 21");
  Check((GetAsyncKeyState(VK_CONTROL) & 0x8000) && (GetAsyncKeyState('U') & 0x8000),
        "keys stay held until their release is taken");
  PostKey('U', false);
  PostKey(VK_CONTROL, false);
  Drain();
  Check(!(GetAsyncKeyState(VK_CONTROL) & 0x8000), "a taken release lets the key go");

  // A look at the queue does not take the waiting character.
  PostKey('A', true);
  GetMessageA(&msg, nullptr, 0, 0);
  TranslateMessage(&msg);
  bool peeked = PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message == WM_CHAR;
  bool taken = GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message == WM_CHAR && msg.wParam == 'a';
  Check(peeked && taken, "a peek leaves the character for the next take");
  PostKey('A', false);
  Drain();

  // A script's lock line, and the Caps Lock key, change the letters from where they are taken.
  auto typedA = [] {
    PostKey('A', true);
    PostKey('A', false);
    for (const Seen& s : Drain())
      if (s.message == WM_CHAR) return static_cast<char>(s.wParam);
    return '?';
  };
  PostThreadMessageA(GetCurrentThreadId(), CapsLockMessage, 1, 0);
  const char locked = typedA();
  PostKey(VK_CAPITAL, true);
  PostKey(VK_CAPITAL, false);
  Check(locked == 'A' && typedA() == 'a', "Caps Lock follows a script's lock line and its key");

  // Time: 10000 ms, then one 60th of a second more for each presented flip.
  native::SetScriptedRun(true);
  const DWORD t0 = timeGetTime();
  native::AfterFlip(true);
  native::AfterFlip(false);
  native::AfterFlip(true);
  native::AfterFlip(true);
  Check(t0 == 10000 && timeGetTime() == 10050, "virtual clock: three presented flips are 50 ms");

  native::SetScriptedRun(false);
  std::printf("native input: %d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
