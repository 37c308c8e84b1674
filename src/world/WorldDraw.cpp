#include "world/WorldDraw.h"

#include "world/Vesk3_chara.h"
#include "world/Vesk3_obj.h"

#include <algorithm>
#include <utility>

namespace {

// Every view position handed on stays within this; anything beyond is off the view anyway.
int32_t ViewCoordinate(int64_t v) {
  constexpr int64_t limit = int64_t{1} << 20;
  return static_cast<int32_t>(std::clamp(v, -limit, limit));
}

int32_t DivTile(int32_t v) {
  return v / TileSize;
}
int32_t ModTile(int32_t v) {
  return v % TileSize;
}

void DrawObject(TSpriteCanvas& view, const TWorldMap& map, TObjBase& o, int32_t centerX,
                int32_t centerY) {
  const int32_t px = ViewCoordinate(int64_t{o.X} - centerX + 168);
  const int32_t py = ViewCoordinate(int64_t{o.Y} - centerY + 216);
  if (o.Kind != 1) {
    o.Draw(view, px, py);
    return;
  }
  auto* figure = dynamic_cast<TCharacter*>(&o);
  if (!figure) return;
  const int32_t tx = DivTile(o.X), ty = DivTile(o.Y);
  if (map.GetTile(1, static_cast<uint32_t>(tx), static_cast<uint32_t>(ty)) == SpecialStandTile)
    view.DrawSprite(4, ViewCoordinate(int64_t{tx} * TileSize - centerX + ViewCenterX),
                    ViewCoordinate(int64_t{ty} * TileSize - centerY + ViewCenterY),
                    figure->SpriteIndex(), 2);
  else
    view.DrawSprite(4, px, py, figure->SpriteIndex(), 0);
}

} // namespace

std::vector<int32_t> DepthList() {
  std::vector<int32_t> list;
  for (int32_t i = 0; i < ObjectSlotCount; ++i)
    if (Objects[i]) list.push_back(i);
  const size_t n = list.size();
  for (size_t j = 0; j + 1 < n; ++j)
    for (size_t k = j + 1; k < n; ++k)
      if (Objects[list[j]]->Y > Objects[list[k]]->Y) std::swap(list[j], list[k]);
  return list;
}

void DrawWorld(TSpriteCanvas& view, const TWorldMap& map, int32_t centerX, int32_t centerY,
               uint32_t renderTime) {
  view.ClearLayers();
  const std::vector<int32_t> depth = DepthList();
  size_t next = 0;

  const int32_t baseX = DivTile(centerX) - 7, baseY = DivTile(centerY) - 9;
  const int32_t shiftX = 12 - ModTile(centerX), shiftY = 12 - ModTile(centerY);
  auto insideMap = [&map](int64_t tx, int64_t ty) {
    return tx >= 0 && tx <= int64_t{map.Width} - 1 && ty >= 0 && ty <= int64_t{map.Height} - 1;
  };
  const auto phase = static_cast<int32_t>(renderTime & 1);

  for (int32_t r = -1; r <= 19; ++r) {
    const int64_t ty = int64_t{baseY} + r;
    const int32_t sy = r * TileSize + shiftY;
    for (int32_t c = -1; c <= 15; ++c) {
      const int64_t tx = int64_t{baseX} + c;
      if (!insideMap(tx, ty)) continue;
      const int32_t sx = c * TileSize + shiftX;
      const auto ux = static_cast<uint32_t>(tx), uy = static_cast<uint32_t>(ty);
      view.DrawSprite(0, sx, sy, map.GetTile(0, ux, uy), 0);
      view.DrawSprite(1, sx, sy, map.GetTile(1, ux, uy), 0);
      view.DrawSprite(2, sx, sy, map.GetTile(2, ux, uy), phase);
    }
    // An object goes in once the rows down to its position are down, so later rows cover it.
    while (next < depth.size()) {
      TObjBase& o = *Objects[depth[next]];
      if (int64_t{o.Y} - centerY + 216 > sy) break;
      DrawObject(view, map, o, centerX, centerY);
      ++next;
    }
  }

  for (int32_t r = -1; r <= 19; ++r) {
    const int64_t ty = int64_t{baseY} + r;
    const int32_t sy = r * TileSize + shiftY;
    for (int32_t c = -1; c <= 15; ++c) {
      const int64_t tx = int64_t{baseX} + c;
      if (!insideMap(tx, ty)) continue;
      const int32_t sx = c * TileSize + shiftX;
      const auto ux = static_cast<uint32_t>(tx), uy = static_cast<uint32_t>(ty);
      const uint8_t t0 = map.GetTile(0, ux, uy), t1 = map.GetTile(1, ux, uy);
      if (ForegroundTilesL0.Contains(t0)) view.DrawSprite(0, sx, sy, t0, 0);
      if (ForegroundTilesL1.Contains(t1)) view.DrawSprite(1, sx, sy, t1, 0);
    }
  }
}
