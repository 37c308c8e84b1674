#include "world/Vesk3_obj.h"

#include "platform/fatal.h"
#include "world/Vesk3_map.h"

#include <climits>
#include <cmath>

std::array<std::unique_ptr<TObjBase>, ObjectSlotCount> Objects;

int32_t FindFreeSlot() {
  for (int32_t i = 0; i < ObjectSlotCount; ++i)
    if (!Objects[i]) return i;
  return -1;
}

int32_t RoundToEven(double value) {
  constexpr double limit = 1 << 30;
  if (std::isnan(value)) return 0;
  if (value >= limit) return static_cast<int32_t>(limit);
  if (value <= -limit) return -static_cast<int32_t>(limit);
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<int32_t>(whole);
}

void TObjBase::Draw(TSpriteCanvas&, int32_t, int32_t) {
  fatal::AbstractCall();
}

bool TObjBase::Update() {
  fatal::AbstractCall();
}

TObjMotion::TObjMotion(int32_t x, int32_t y, double velX, double velY, double accX, double accY)
    : TObjBase(x, y), PosX(x), PosY(y), VelX(velX), VelY(velY), AccX(accX), AccY(accY) {}

bool TObjMotion::Update() {
  // The probe uses this frame's velocity before acceleration; the move uses it after.
  const int32_t px = RoundToEven(PosX + VelX);
  const int32_t py = RoundToEven(PosY + VelY);
  if (!CurrentWorldMap().IsBoxShotPassable({px - 6, py - 6, px + 6, py + 6})) return false;
  VelX += AccX;
  VelY += AccY;
  PosX += VelX;
  PosY += VelY;
  X = RoundToEven(PosX);
  Y = RoundToEven(PosY);
  return true;
}

TObjShoot::TObjShoot(int32_t x, int32_t y, double velX, double velY, double accX, double accY,
                     int32_t life)
    : TObjMotion(x, y, velX, velY, accX, accY), Life(life) {}

void TObjShoot::Draw(TSpriteCanvas& view, int32_t viewX, int32_t viewY) {
  view.DrawSprite(1, viewX, viewY - 10, ShotCell, 0);
}

bool TObjShoot::Update() {
  if (!TObjMotion::Update()) return false;
  if (Life > INT32_MIN) --Life;
  return Life > 0;
}
