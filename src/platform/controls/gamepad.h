// A gamepad as keys. Walking: the d-pad and the left stick walk, A fires, a shoulder button is
// Ctrl (walk without turning). Talking (the on-screen keyboard open): the d-pad or the stick moves
// the highlighted key, wrapping at the edges; A presses it, X is Shift, Y Hangul/English, B
// Backspace, Start Enter. Holding Back for a second is Esc, so no single accidental press ends a
// conversation or the game. Buttons are those of SDL's GameController and of the browser's
// standard mapping.
#pragma once

#include <array>
#include <cstdint>

namespace controls {

enum PadButton {
  kPadA,
  kPadB,
  kPadX,
  kPadY,
  kPadBack,
  kPadStart,
  kPadLeftShoulder,
  kPadRightShoulder,
  kPadUp,
  kPadDown,
  kPadLeft,
  kPadRight,
  kPadButtons
};

struct PadState {
  std::array<bool, kPadButtons> held{};
  float stickX = 0, stickY = 0; // the left stick, -1 to 1, y downwards
};

// Milliseconds Back is held before it is Esc; the highlight's first repeat and the next ones.
constexpr uint32_t kEscHoldMs = 1000, kRepeatDelayMs = 400, kRepeatMs = 120;
constexpr float kStickDeadZone = 0.5f;

// Every connected pad shares one: they are one player.
class Gamepad {
public:
  // The pads as they are at nowMs; posts what changed.
  void Update(const PadState& pad, uint32_t nowMs);

private:
  void MoveHighlight(int dx, int dy, uint32_t nowMs);

  std::array<bool, kPadButtons> was_{}; // what counted last time
  bool stickWas_ = false;
  bool talking_ = false;
  // Held across a change of mode: ignored until let go, so the A that fired does not press a
  // key, and the Start that ended a line does not fire.
  std::array<bool, kPadButtons> stale_{};
  bool staleDirection_ = false;
  int navX_ = 0, navY_ = 0; // the direction moving the highlight
  uint32_t nextMove_ = 0;
  int keyPressed_ = -1; // the on-screen key A holds down
  uint32_t backSince_ = 0;
  bool escPosted_ = false;
};

} // namespace controls
