// What the world draws into: the world view, or a stand-in.
#pragma once

#include <cstdint>

class TSpriteCanvas {
public:
  virtual ~TSpriteCanvas() = default;
  virtual void ClearLayers() = 0;
  // One 24 by 24 cell chosen by kind, index and variant, at a view position.
  virtual void DrawSprite(int32_t kind, int32_t x, int32_t y, int32_t index, int32_t variant) = 0;
};
