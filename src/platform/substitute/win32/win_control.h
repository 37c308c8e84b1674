// Substitute-only controls of the mini Win32: what a presenter feeds in, and what tests inspect.
#pragma once

#include "platform/substitute/win32/windows_subset.h"

#include <functional>

namespace soft {

// Forgets every window, class, queued message, quit request and held key.
void ResetWin32();
// Messages waiting in the queue (posted ones; a pending quit is not counted).
size_t QueuedMessages();
// The window presenters post their input to: the first one created and still alive.
HWND MainWindow();

// Posts a physical key as Windows words it: a system key while Alt is held (and Alt itself; the
// Hangul/English key never is one), a repeat count of one, bit 30 for a key that was already
// down, bit 31 for a release. The release of a key that is not down (released already, or pressed
// before the game had the focus) is dropped: the game never saw it go down.
void PostKeyMessage(HWND target, int vk, bool down, bool repeat, bool alt, int scanCode = 0);
// Posts the release of every key posted down and not up yet, Alt last: for keys let go while
// another window had the focus.
void ReleasePostedKeys(HWND target);
// Posts CapsLockMessage when the desktop's lock differs from the one the queue leads to.
void PostCapsLock(HWND target, bool on);

// Key state behind GetAsyncKeyState; the queue changes it when a key message is taken.
void SetKeyDown(int vk, bool down);
void ReleaseAllKeys();

// SIGTERM, SIGINT and SIGHUP close the main window in order, as a session's end closes a window
// on Windows, so that what the game writes is kept; one that was ignored when the program
// started stays ignored. A second signal, or a message loop that does not reach its end within
// seconds, ends the process at once. SIGPIPE is ignored.
void CloseOnStopSignals();

// Receives the calls of SetDIBitsToDevice (there is no GDI surface to draw on).
struct DIBitsCall {
  HDC dc;
  int xDest, yDest;
  DWORD width, height;
  int xSrc, ySrc;
  UINT startScan, scanLines;
  const void* bits;
  BITMAPINFOHEADER header;
  UINT colorUse;
};
void SetDIBitsHook(std::function<void(const DIBitsCall&)> hook);

} // namespace soft
