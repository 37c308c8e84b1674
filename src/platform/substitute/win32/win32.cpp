// The mini Win32 behind the game: one thread, one message queue, window procedures called
// directly, key state that follows the key messages as they are taken from the queue.
#include "platform/keyboard_layout.h"
#include "platform/platform_messages.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct HWND__ {
  std::string className;
  std::string title;
  WNDPROC proc = nullptr;
  bool alive = true;
  RECT rect{};
};

namespace {

struct WindowClass {
  std::string name;
  WNDPROC proc;
};

struct State {
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<HWND__>> windows;
  std::deque<MSG> queue;
  bool quitPending = false;
  int quitCode = 0;
  keyboard::KeyState keys;
  // What the queue leads to once every posted key is taken.
  std::array<bool, 256> postedKeys{};
  bool postedCapsLock = false;
  bool closePosted = false;
  int cursorCount = 0;
  std::set<HANDLE> events;
  std::function<void(const soft::DIBitsCall&)> dibHook;
};

State& S() {
  static State state;
  return state;
}

// Handles that only need to be distinct and non-null.
char g_ddrawModule, g_dataModule, g_instance, g_icon, g_cursor, g_brush;

bool IsAlive(HWND hwnd) {
  for (auto& w : S().windows)
    if (w.get() == hwnd) return w->alive;
  return false;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd && m.hwnd != hwnd) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

void NoteKey(const MSG& m) {
  State& s = S();
  const int vk = static_cast<int>(m.wParam & 0xFF);
  if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN)
    s.keys.Down(vk);
  else if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP)
    s.keys.Up(vk);
  else if (m.message == CapsLockMessage)
    s.keys.capsLock = m.wParam & 1;
}

volatile std::sig_atomic_t g_stopSignal = 0;

// Long enough for a slow machine to close in order; a frame that hangs is ended.
constexpr unsigned kCloseSeconds = 10;

void OnStopSignal(int sig) {
  if (g_stopSignal) _exit(128 + sig);
  g_stopSignal = sig;
  alarm(kCloseSeconds);
}
void OnAlarm(int) {
  _exit(128 + (g_stopSignal ? g_stopSignal : SIGALRM));
}

// Called wherever the loop looks for messages, so a signal is answered within one pass.
void CloseIfSignalled() {
  State& s = S();
  if (!g_stopSignal || s.closePosted) return;
  if (HWND main = soft::MainWindow()) {
    s.closePosted = true;
    PostMessageA(main, WM_CLOSE, 0, 0);
  }
}

// Looks for a message; takes it from the queue when remove is set.
bool Take(MSG* out, HWND hwnd, UINT lo, UINT hi, bool remove) {
  State& s = S();
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    if (!Matches(*it, hwnd, lo, hi)) continue;
    if (out) *out = *it;
    if (remove) {
      MSG m = *it;
      s.queue.erase(it);
      NoteKey(m);
    }
    return true;
  }
  if (s.quitPending) {
    if (out) *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, 0, {0, 0}};
    if (remove) {
      s.quitPending = false;
      if (g_stopSignal) alarm(0); // closed in order: what is left is the shut-down
    }
    return true;
  }
  return false;
}

DWORD MessageTime() {
  return soft::CurrentPresenter().Now();
}

} // namespace

namespace soft {

void ResetWin32() {
  State& s = S();
  s.classes.clear();
  s.windows.clear();
  s.queue.clear();
  s.quitPending = false;
  s.quitCode = 0;
  s.keys = {};
  s.postedKeys.fill(false);
  s.postedCapsLock = false;
  s.closePosted = false;
  s.cursorCount = 0;
  s.events.clear();
  s.dibHook = nullptr;
}

size_t QueuedMessages() {
  return S().queue.size();
}

HWND MainWindow() {
  for (auto& w : S().windows)
    if (w->alive) return w.get();
  return nullptr;
}

void PostKeyMessage(HWND target, int vk, bool down, bool repeat, bool alt, int scanCode) {
  State& s = S();
  const size_t key = static_cast<size_t>(vk) & 0xFF;
  if (!down && !s.postedKeys[key]) return;
  if (down && key == VK_CAPITAL && !s.postedKeys[key]) s.postedCapsLock = !s.postedCapsLock;
  s.postedKeys[key] = down;
  LPARAM lParam = 1 | static_cast<LPARAM>(scanCode & 0xFF) << 16;
  if (repeat || !down) lParam |= 1L << 30;
  if (!down) lParam |= static_cast<LPARAM>(1UL << 31);
  // The Hangul/English key switches whatever else is held: X reports Alt for either Alt key, so
  // right Alt (the Hangul key) alone would look like a combination, and every presenter keeps
  // the one rule.
  alt = (alt && vk != VK_HANGUL) || vk == VK_MENU;
  if (alt) lParam |= 1L << 29;
  const UINT msg = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  PostMessageA(target, msg, static_cast<WPARAM>(vk), lParam);
}

void ReleasePostedKeys(HWND target) {
  const bool alt = S().postedKeys[VK_MENU];
  for (int vk = 1; vk < 256; ++vk)
    if (vk != VK_MENU && S().postedKeys[static_cast<size_t>(vk)])
      PostKeyMessage(target, vk, false, false, alt);
  if (alt) PostKeyMessage(target, VK_MENU, false, false, true);
}

void PostCapsLock(HWND target, bool on) {
  if (on == S().postedCapsLock) return;
  S().postedCapsLock = on;
  PostMessageA(target, CapsLockMessage, on ? 1 : 0, 0);
}

void CloseOnStopSignals() {
  struct sigaction sa {
  }, was{};
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    // An ignored signal stays ignored: nohup, or a background job of a script.
    if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
    sa.sa_handler = OnStopSignal;
    sigaction(sig, &sa, nullptr);
  }
  sa.sa_handler = OnAlarm;
  sigaction(SIGALRM, &sa, nullptr);
  // A write to a display that went away is then an error Xlib reports (the game says so and
  // keeps its recording), not the end of the process.
  sa.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &sa, nullptr);
}

void SetKeyDown(int vk, bool down) {
  S().keys.held[static_cast<size_t>(vk) & 0xFF] = down;
}
void ReleaseAllKeys() {
  S().keys.held.fill(false);
}
void SetDIBitsHook(std::function<void(const DIBitsCall&)> hook) {
  S().dibHook = std::move(hook);
}

} // namespace soft

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
  State& s = S();
  for (auto& c : s.classes)
    if (c.name == wc->lpszClassName) return 0;
  s.classes.push_back({wc->lpszClassName, wc->lpfnWndProc});
  return static_cast<ATOM>(0xC000 + s.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
  if (!className) return nullptr;
  State& s = S();
  auto cls = std::find_if(s.classes.begin(), s.classes.end(),
                          [&](const WindowClass& c) { return c.name == className; });
  if (cls == s.classes.end()) return nullptr;
  auto w = std::make_unique<HWND__>();
  w->className = className;
  w->title = windowName ? windowName : "";
  w->proc = cls->proc;
  w->rect = {x, y, x + width, y + height};
  HWND hwnd = w.get();
  s.windows.push_back(std::move(w));
  soft::CurrentPresenter().WindowCreated(hwnd, hwnd->title.c_str());
  return hwnd;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  if (IsAlive(hwnd) && cmdShow != SW_HIDE) soft::CurrentPresenter().WindowShown(hwnd);
  return FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  return IsAlive(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  if (!IsAlive(hwnd)) return FALSE;
  hwnd->proc(hwnd, WM_DESTROY, 0, 0);
  hwnd->alive = false;
  auto& q = S().queue;
  q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
          q.end());
  soft::CurrentPresenter().WindowDestroyed(hwnd);
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  if (!IsAlive(hwnd)) return FALSE;
  hwnd->rect = {x, y, x + width, y + height};
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT removeMsg) {
  CloseIfSignalled();
  soft::CurrentPresenter().Pump();
  return Take(msg, hwnd, lo, hi, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
  for (;;) {
    CloseIfSignalled();
    soft::CurrentPresenter().Pump();
    MSG m;
    if (Take(&m, hwnd, lo, hi, true)) {
      if (msg) *msg = m;
      return m.message == WM_QUIT ? FALSE : TRUE;
    }
    // Nothing can ever arrive: an error rather than waiting forever.
    if (!soft::CurrentPresenter().WaitForInput()) return -1;
  }
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  State& s = S();
  const int ch = s.keys.CharOf(static_cast<int>(msg->wParam & 0xFF));
  if (ch < 0) return FALSE;
  // The character is the very next message, ahead of anything queued after the key.
  s.queue.push_front(
      MSG{msg->hwnd, WM_CHAR, static_cast<WPARAM>(ch), msg->lParam, msg->time, msg->pt});
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (!msg || !IsAlive(msg->hwnd)) return 0;
  return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !IsAlive(hwnd)) return FALSE;
  S().queue.push_back(MSG{hwnd, message, wParam, lParam, MessageTime(), {0, 0}});
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsAlive(hwnd)) return 0;
  return hwnd->proc(hwnd, message, wParam, lParam);
}

BOOL WINAPI WaitMessage() {
  CloseIfSignalled();
  soft::CurrentPresenter().Pump();
  if (!S().queue.empty() || S().quitPending) return TRUE;
  soft::CurrentPresenter().WaitForInput();
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    DestroyWindow(hwnd);
  } else if (message == WM_SYSKEYDOWN && wParam == VK_F4 && (lParam & (1 << 29))) {
    SendMessageA(hwnd, WM_CLOSE, 0, 0); // Alt+F4
  }
  return 0;
}

void WINAPI PostQuitMessage(int exitCode) {
  S().quitPending = true;
  S().quitCode = exitCode;
}

int WINAPI ShowCursor(BOOL show) {
  int& count = S().cursorCount;
  count += show ? 1 : -1;
  soft::CurrentPresenter().CursorVisible(count >= 0);
  return count;
}

SHORT WINAPI GetAsyncKeyState(int vKey) {
  if (vKey < 0 || vKey > 255) return 0;
  return S().keys.Held(vKey) ? static_cast<SHORT>(0x8000) : 0;
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) {
  return reinterpret_cast<HICON>(&g_icon);
}
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) {
  return reinterpret_cast<HCURSOR>(&g_cursor);
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  soft::CurrentPresenter().ShowMessage(caption ? caption : "", text ? text : "");
  return 1; // IDOK
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
  HANDLE h = new char;
  S().events.insert(h);
  return h;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (!S().events.erase(handle)) return FALSE;
  delete static_cast<char*>(handle);
  return TRUE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  if (!fileName) return nullptr;
  std::string lower(fileName);
  for (char& c : lower)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (lower == "ddraw.dll") return reinterpret_cast<HMODULE>(&g_ddrawModule);
  // Any other library is only held, never called: it loads when the file is there.
  struct stat st;
  if (::stat(fileName, &st) == 0 && S_ISREG(st.st_mode))
    return reinterpret_cast<HMODULE>(&g_dataModule);
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  return module == reinterpret_cast<HMODULE>(&g_ddrawModule) ||
                 module == reinterpret_cast<HMODULE>(&g_dataModule)
             ? TRUE
             : FALSE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == reinterpret_cast<HMODULE>(&g_ddrawModule) && procName &&
      std::string(procName) == "DirectDrawCreateEx")
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&DirectDrawCreateEx));
  return nullptr;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR) {
  return reinterpret_cast<HMODULE>(&g_instance);
}

void WINAPI Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HGDIOBJ WINAPI GetStockObject(int) {
  return &g_brush;
}

int WINAPI SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT scanLines, const void* bits,
                             const BITMAPINFO* info, UINT colorUse) {
  if (auto& hook = S().dibHook) {
    soft::DIBitsCall call{dc,   xDest,     yDest,     width, height, xSrc,
                          ySrc, startScan, scanLines, bits,  {},     colorUse};
    if (info) call.header = info->bmiHeader;
    hook(call);
  }
  return dc ? static_cast<int>(scanLines) : 0; // there is no device to draw on
}

DWORD WINAPI timeGetTime() {
  return soft::CurrentPresenter().Now();
}

HIMC WINAPI ImmAssociateContext(HWND, HIMC) {
  return nullptr;
}
