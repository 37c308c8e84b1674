// World objects: the slot table, and things that fly with velocity and acceleration.
#pragma once

#include "world/SpriteCanvas.h"

#include <array>
#include <cstdint>
#include <memory>

class TObjBase {
public:
  TObjBase(int32_t x, int32_t y) : X(x), Y(y) {}
  virtual ~TObjBase() = default;

  // Both are abstract here; reaching either without an override is a fatal error.
  virtual void Draw(TSpriteCanvas& view, int32_t viewX, int32_t viewY);
  // False asks the owner to free the object and empty its slot.
  virtual bool Update();

  int32_t X;
  int32_t Y;        // also the depth key
  uint8_t Kind = 0; // 0 draws itself, 1 is a character drawn by the game
};

class TObjMotion : public TObjBase {
public:
  TObjMotion(int32_t x, int32_t y, double velX, double velY, double accX, double accY);
  bool Update() override;

  double PosX, PosY;
  double VelX, VelY;
  double AccX, AccY;
};

class TObjShoot : public TObjMotion {
public:
  TObjShoot(int32_t x, int32_t y, double velX, double velY, double accX, double accY, int32_t life);
  void Draw(TSpriteCanvas& view, int32_t viewX, int32_t viewY) override;
  bool Update() override;

  int32_t Life;
};

constexpr int32_t ObjectSlotCount = 100;
constexpr int32_t ShotCell = 78;

// Every live world object; null marks a free slot. Slot 0 is the player, 1 and 2 the others.
extern std::array<std::unique_ptr<TObjBase>, ObjectSlotCount> Objects;

// Lowest free slot, or -1 when all are taken.
int32_t FindFreeSlot();

// Nearest integer, halves to the even neighbour. Values far outside any map saturate, so
// positions stay clear of integer overflow in later arithmetic.
int32_t RoundToEven(double value);
