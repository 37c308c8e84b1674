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

// Posts a physical key as Windows words it: a system key while Alt is held (and Alt itself), a
// repeat count of one, bit 30 for a key that was already down, bit 31 for a release.
void PostKeyMessage(HWND target, int vk, bool down, bool repeat, bool alt, int scanCode = 0);

// Key state behind GetAsyncKeyState; the queue changes it when a key message is taken.
void SetKeyDown(int vk, bool down);
void ReleaseAllKeys();
// The keyboard's Caps Lock as the desktop reports it; Caps Lock key messages toggle it from there.
void SetCapsLock(bool on);

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
