// Drawing the map and the world objects around a world point, in depth order.
#pragma once

#include "world/SpriteCanvas.h"
#include "world/Vesk3_map.h"

#include <cstdint>
#include <vector>

// The point lands at pixel (180, 228) of the 360 by 456 view.
constexpr int32_t ViewCenterX = 180;
constexpr int32_t ViewCenterY = 228;
// Layer-1 value on which a character is drawn snapped to its tile with the fixed cell.
constexpr uint8_t SpecialStandTile = 2;

// Slots of the live objects, by ascending Y; equal Y keep the order the exchange sort leaves.
std::vector<int32_t> DepthList();

// renderTime is the time of the previous render; its lowest bit picks the animation phase.
void DrawWorld(TSpriteCanvas& view, const TWorldMap& map, int32_t centerX, int32_t centerY,
               uint32_t renderTime);
