// Stands in for the game until the world exists: a slowly changing colour, Esc closes.
#pragma once

#include "app/GameBase.h"

class TPlaceholderGame : public TGameBase {
public:
  using TGameBase::TGameBase;
  void KeyChar(uint16_t key) override;
  void KeyUp(uint16_t) override {}
  void Update() override {}
  bool Frame() override;
};
