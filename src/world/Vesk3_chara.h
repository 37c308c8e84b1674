// Characters: facing, walking with collision, bumping into each other; the player's controls.
#pragma once

#include "world/Vesk3_obj.h"

#include <cstdint>
#include <functional>

struct TBodySize {
  int32_t Width, Height;
};
constexpr TBodySize BodySize{16, 12};

enum : uint8_t { FaceDown = 0, FaceLeft = 1, FaceRight = 2, FaceUp = 3 };

class TCharacter : public TObjBase {
public:
  TCharacter(int32_t id, int32_t look, int32_t x, int32_t y);
  bool Update() override;

  int32_t SpriteIndex() const;
  void SetFacing(int32_t dx, int32_t dy);
  void SwapFacing();
  int32_t FacingX() const;
  int32_t FacingY() const;
  void Move(int32_t dx, int32_t dy, TBodySize size);

  int32_t Id;
  int32_t Look;
  int32_t Step = 0;
  uint8_t Direction = FaceDown;
  uint8_t PrevDirection = FaceDown;
  bool KeepFacing = false;
};

class TMainCharacter : public TCharacter {
public:
  TMainCharacter(int32_t id, int32_t look, int32_t x, int32_t y);
  bool Update() override;

  bool Fire(int32_t x, int32_t y, double velX, double velY, double accX, double accY, int32_t life);
  bool FireVolley();

  int32_t Cooldown = 0;
};

// Virtual key codes polled by the player.
constexpr int32_t VirtualKeyControl = 17;
constexpr int32_t VirtualKeyLeft = 37;
constexpr int32_t VirtualKeyUp = 38;
constexpr int32_t VirtualKeyRight = 39;
constexpr int32_t VirtualKeyDown = 40;
constexpr int32_t VirtualKeyZ = 90;

// Where the player reads the keyboard; GetAsyncKeyState's result, high byte set while held.
using TKeyStateSource = int16_t (*)(int32_t virtualKey);
extern TKeyStateSource KeyStateSource;

// Called with the slot of a character the walker bumped into; the game opens a conversation.
extern std::function<void(int32_t partnerNo)> ConversationStarter;
