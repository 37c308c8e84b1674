#include "platform/controls/gamepad.h"

#include "platform/controls/controls.h"
#include "platform/platform.h"

namespace controls {
namespace {

int ShiftKey() {
  for (int i = 0; i < KeyCount(); ++i)
    if (Key(i).kind == KeyKind::Shift) return i;
  return -1;
}

} // namespace

void Gamepad::Update(const PadState& pad, uint32_t nowMs) {
  const Direction stick = DirectionOf(pad.stickX, pad.stickY, kStickDeadZone);
  const bool stickHeld = stick != Direction{};
  bool used = stickHeld && !stickWas_;
  for (int b = 0; b < kPadButtons; ++b)
    used = used || (pad.held[b] && !was_[b] && !stale_[b]);
  if (used) NoteUse(Source::Gamepad);

  const bool talking = Keyboard().IsOpen();
  if (talking != talking_) {
    talking_ = talking;
    stale_ = pad.held;
    staleDirection_ = true;
    if (keyPressed_ >= 0) PressKey(Source::Gamepad, keyPressed_, false);
    keyPressed_ = -1;
    navX_ = navY_ = 0;
  }
  std::array<bool, kPadButtons> held{};
  for (int b = 0; b < kPadButtons; ++b) {
    if (!pad.held[b]) stale_[b] = false;
    held[b] = pad.held[b] && !stale_[b];
  }
  Direction dir = stick;
  dir.up = dir.up || pad.held[kPadUp];
  dir.down = dir.down || pad.held[kPadDown];
  dir.left = dir.left || pad.held[kPadLeft];
  dir.right = dir.right || pad.held[kPadRight];
  if (staleDirection_) {
    if (dir == Direction{}) staleDirection_ = false;
    dir = {};
  }
  auto pressed = [&](PadButton b) { return held[b] && !was_[b]; };

  HoldDirection(Source::Gamepad, talking ? Direction{} : dir);
  PostHeldKey(Source::Gamepad, 'Z', !talking && held[kPadA]);
  PostHeldKey(Source::Gamepad, VK_CONTROL,
              !talking && (held[kPadLeftShoulder] || held[kPadRightShoulder]));
  PostHeldKey(Source::Gamepad, VK_BACK, talking && held[kPadB]);
  PostHeldKey(Source::Gamepad, VK_HANGUL, talking && held[kPadY]);
  PostHeldKey(Source::Gamepad, VK_RETURN, talking && held[kPadStart]);
  if (talking) {
    MoveHighlight(dir.right - dir.left, dir.down - dir.up, nowMs);
    if (pressed(kPadX)) {
      PressKey(Source::Gamepad, ShiftKey(), true);
      PressKey(Source::Gamepad, ShiftKey(), false);
    }
    if (pressed(kPadA)) {
      keyPressed_ = Keyboard().Highlight();
      PressKey(Source::Gamepad, keyPressed_, true);
    } else if (!held[kPadA] && keyPressed_ >= 0) {
      PressKey(Source::Gamepad, keyPressed_, false);
      keyPressed_ = -1;
    }
  }

  if (pressed(kPadBack)) backSince_ = nowMs;
  if (held[kPadBack] && !escPosted_ && nowMs - backSince_ >= kEscHoldMs) {
    PostHeldKey(Source::Gamepad, VK_ESCAPE, true);
    escPosted_ = true;
  } else if (!held[kPadBack] && escPosted_) {
    PostHeldKey(Source::Gamepad, VK_ESCAPE, false);
    escPosted_ = false;
  }
  was_ = held;
  stickWas_ = stickHeld;
}

// A move when the direction changes, then repeats while it is held.
void Gamepad::MoveHighlight(int dx, int dy, uint32_t nowMs) {
  if (dx != navX_ || dy != navY_) {
    navX_ = dx;
    navY_ = dy;
    if (!dx && !dy) return;
    nextMove_ = nowMs + kRepeatDelayMs;
  } else if (!dx && !dy) {
    return;
  } else if (static_cast<int32_t>(nowMs - nextMove_) < 0) {
    return;
  } else {
    nextMove_ = nowMs + kRepeatMs;
  }
  Keyboard().MoveHighlight(dx, dy);
}

} // namespace controls
