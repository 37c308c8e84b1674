#include "world/Vesk3_chara.h"

#include "platform/platform.h"
#include "world/Vesk3_map.h"

#include <cstdlib>
#include <limits>
#include <utility>

namespace {

int16_t AsyncKeyState(int32_t virtualKey) {
  return GetAsyncKeyState(virtualKey);
}

bool Held(int32_t virtualKey) {
  return (KeyStateSource(virtualKey) & 0xFF00) != 0;
}

// Turning only needs the direction, and negating the sign cannot overflow.
int32_t Sign(int32_t v) {
  return (v > 0) - (v < 0);
}

bool FitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// Targets whose box cannot be expressed in pixels lie far outside any map.
bool BoxWalkable(int64_t x, int64_t y, TBodySize size) {
  const int64_t halfW = size.Width / 2;
  const int64_t left = x - halfW, right = x + halfW, top = y - size.Height;
  if (!FitsInt32(left) || !FitsInt32(right) || !FitsInt32(top) || !FitsInt32(y)) return false;
  return CurrentWorldMap().IsBoxWalkable({static_cast<int32_t>(left), static_cast<int32_t>(top),
                                          static_cast<int32_t>(right), static_cast<int32_t>(y)});
}

} // namespace

TKeyStateSource KeyStateSource = AsyncKeyState;
std::function<void(int32_t partnerNo)> ConversationStarter;

TCharacter::TCharacter(int32_t id, int32_t look, int32_t x, int32_t y)
    : TObjBase(x, y), Id(id), Look(look) {
  Kind = 1;
}

bool TCharacter::Update() {
  return true;
}

int32_t TCharacter::SpriteIndex() const {
  return Look * 9 + Direction * 2 + (Step & 1);
}

void TCharacter::SetFacing(int32_t dx, int32_t dy) {
  if (KeepFacing) return;
  PrevDirection = Direction;
  if (dx < 0)
    Direction = FaceLeft;
  else if (dx > 0)
    Direction = FaceRight;
  else if (dy < 0)
    Direction = FaceUp;
  else if (dy > 0)
    Direction = FaceDown;
}

void TCharacter::SwapFacing() {
  std::swap(Direction, PrevDirection);
}

int32_t TCharacter::FacingX() const {
  return Direction == FaceLeft ? -1 : Direction == FaceRight ? 1 : 0;
}

int32_t TCharacter::FacingY() const {
  return Direction == FaceDown ? 1 : Direction == FaceUp ? -1 : 0;
}

void TCharacter::Move(int32_t dx, int32_t dy, TBodySize size) {
  SetFacing(dx, dy);

  const bool leftEdge = int64_t{X} + dx < 0, topEdge = int64_t{Y} + dy < 0;
  if (leftEdge || topEdge) {
    if (leftEdge) X = 0;
    if (topEdge) Y = 0;
    return;
  }

  int64_t tx = X + 2 * int64_t{dx}, ty = Y + 2 * int64_t{dy};
  if (!BoxWalkable(tx, ty, size)) {
    if (BoxWalkable(X + 3 * int64_t{dx}, Y, size)) {
      tx = X + 3 * int64_t{dx};
      ty = Y;
      dy = 0;
    } else if (BoxWalkable(X, Y + 3 * int64_t{dy}, size)) {
      tx = X;
      ty = Y + 3 * int64_t{dy};
      dx = 0;
    } else {
      return;
    }
  }

  for (int32_t i = 0; i < ObjectSlotCount; ++i) {
    auto* other = Objects[i] ? dynamic_cast<TCharacter*>(Objects[i].get()) : nullptr;
    if (!other || other == this || other->Kind != 1) continue;
    if (std::llabs(ty - other->Y) < 12 && std::llabs(tx - other->X) < 16) {
      tx = X;
      ty = Y;
      other->SetFacing(-Sign(dx), -Sign(dy));
      if (ConversationStarter) ConversationStarter(i);
    }
  }

  X = static_cast<int32_t>(tx);
  Y = static_cast<int32_t>(ty);
  if (dx != 0 || dy != 0) Step ^= 1;
}

TMainCharacter::TMainCharacter(int32_t id, int32_t look, int32_t x, int32_t y)
    : TCharacter(id, look, x, y) {}

bool TMainCharacter::Update() {
  int32_t dy = 0, dx = 0;
  if (Held(VirtualKeyUp)) dy = -1;
  if (Held(VirtualKeyDown)) dy = 1;
  if (Held(VirtualKeyLeft)) dx = -1;
  if (Held(VirtualKeyRight)) dx = 1;

  if (Cooldown > 0)
    --Cooldown;
  else if (Held(VirtualKeyZ))
    FireVolley();

  if (dx == 0 && dy == 0) return true;

  if (Held(VirtualKeyControl)) {
    KeepFacing = true;
  } else if (dx != 0 && dy != 0) {
    dx *= 2;
    dy *= 2;
  } else {
    dx *= 3;
    dy *= 3;
  }
  Move(dx, dy, BodySize);
  KeepFacing = false;
  return true;
}

bool TMainCharacter::Fire(int32_t x, int32_t y, double velX, double velY, double accX, double accY,
                          int32_t life) {
  const int32_t slot = FindFreeSlot();
  if (slot >= 0) Objects[slot] = std::make_unique<TObjShoot>(x, y, velX, velY, accX, accY, life);
  return false;
}

bool TMainCharacter::FireVolley() {
  constexpr int32_t life = 20;
  const int32_t fx = FacingX(), fy = FacingY();
  // The slowing factor is formed in extended precision, then kept as a double.
  const double slowX = static_cast<double>(static_cast<long double>(fx) * -0.7L);
  const double slowY = static_cast<double>(static_cast<long double>(fy) * -0.7L);
  if (fx != 0) {
    Fire(X, Y, 15 * fx, 15 * fy, slowX, 0, life);
    Fire(X, Y, 14 * fx, 14 * fy + 3, slowX, -0.15, life);
    Fire(X, Y, 14 * fx, 14 * fy - 3, slowX, 0.15, life);
  } else {
    Fire(X, Y, 15 * fx, 15 * fy, 0, slowY, life);
    Fire(X, Y, 14 * fx + 3, 14 * fy, -0.15, slowY, life);
    Fire(X, Y, 14 * fx - 3, 14 * fy, 0.15, slowY, life);
  }
  Cooldown = 5;
  return true;
}
