// Private messages the platform posts to the game's window, the same on every platform.
#pragma once

// Posted in queue order with the keys: the keyboard's Caps Lock as the desktop reports it (wParam
// 1 on, 0 off), at start and when the focus comes back. Taking it sets the lock, so a recording
// notes the lock where the game took it, and a replay posts it back.
constexpr unsigned CapsLockMessage = 0x8000 + 2; // WM_APP + 2
