// A sprite canvas that records what the world draws.
#pragma once

#include "world/SpriteCanvas.h"

#include <ostream>
#include <vector>

struct RecordingCanvas : TSpriteCanvas {
  struct Call {
    int32_t Kind, X, Y, Index, Variant;
    bool operator==(const Call&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Call& c) {
      return os << "(" << c.Kind << "," << c.X << "," << c.Y << "," << c.Index << "," << c.Variant
                << ")";
    }
  };
  void ClearLayers() override { Calls.push_back({-1, 0, 0, 0, 0}); }
  void DrawSprite(int32_t kind, int32_t x, int32_t y, int32_t index, int32_t variant) override {
    Calls.push_back({kind, x, y, index, variant});
  }
  std::vector<Call> Calls;
};
