// The game object as the window procedure sees it.
#pragma once

#include "platform/platform.h"

#include <cstdint>

class TGameBase {
public:
  TGameBase(HWND window, HDC drawContext) : Window(window), DrawContext(drawContext) {}
  virtual ~TGameBase() = default;
  TGameBase(const TGameBase&) = delete;
  TGameBase& operator=(const TGameBase&) = delete;

  virtual void KeyChar(uint16_t key) = 0;
  virtual void KeyUp(uint16_t key) = 0;
  virtual void Update() = 0;
  // False ends the program.
  virtual bool Frame() = 0;
  // Releases what the game made; called once after the message loop.
  virtual void Shutdown() {}

  HWND Window;
  HDC DrawContext;
};
