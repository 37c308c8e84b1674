// The screen the game takes, shared by program entry and the game without either including the
// other.
#pragma once

#include "platform/platform.h"

constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;

// The screen position of the window's client area: a full-screen pop-up sits at the origin.
inline POINT WindowOrigin(HWND) {
  return POINT{0, 0};
}
