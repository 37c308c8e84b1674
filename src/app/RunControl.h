// What drives a run besides the player (scripted input, a frame limit), apart from program entry
// so that the script runner and the program need not include each other.
#pragma once

#include "platform/platform.h"

class TRunControl {
public:
  virtual ~TRunControl() = default;
  // After the game exists, before the first frame.
  virtual void Start(HWND window) = 0;
  // After every frame.
  virtual void AfterFrame() = 0;
  // A private message this control posted to itself has come out of the queue.
  virtual void Deliver(WPARAM item) = 0;
};
constexpr UINT RunControlMessage = 0x8000 + 1; // WM_APP + 1
