// The map file on arbitrary bytes, then the tile queries, the walking and flight tests and the
// drawing of the world view around any point: every tile value must select a cell inside the
// sheets and nothing may be drawn outside the view's bitmaps.
#include "fuzz_support.h"
#include "resource/QdStream.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_world.h"
#include "world/WorldDraw.h"

#include <memory>
#include <vector>

namespace {

// The view's layers and sheets as guarded software bitmaps, the sheets of the size the game's
// data files have.
class TGuardedViewBitmaps : public TViewBitmapSource {
public:
  std::unique_ptr<TQdBitmap> MakeLayer(int32_t width, int32_t height) override {
    auto layer = Make(width, height);
    Layers.push_back(static_cast<fuzzsupport::TGuardedBitmap*>(layer.get()));
    return layer;
  }
  // The sheets are only read from; ASan watches their ends.
  std::unique_ptr<TQdBitmap> LoadSheet(const std::string&) override { return Make(600, 600); }
  std::vector<fuzzsupport::TGuardedBitmap*> Layers;

private:
  std::unique_ptr<TQdBitmap> Make(int32_t width, int32_t height) {
    auto b = std::make_unique<fuzzsupport::TGuardedBitmap>(true);
    b->Allocate(width, height, 32);
    return b;
  }
};

} // namespace

// One view for all inputs: making its layers and sheets anew each time cost more than the rest.
TGuardedViewBitmaps* Bitmaps = nullptr;
TWorldView* View = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  Bitmaps = new TGuardedViewBitmaps;
  View = new TWorldView(0, 0, 360, 456, nullptr, *Bitmaps);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzzsupport;
  // The first 14 bytes say where to look and draw; the rest is the map file.
  TByteReader in(data, size);
  const int32_t centerX = static_cast<int16_t>(in.Word());
  const int32_t centerY = static_cast<int16_t>(in.Word());
  const TPixelBox box{static_cast<int16_t>(in.Word()), static_cast<int16_t>(in.Word()), 0, 0};
  const uint8_t spanX = in.Byte() % 64, spanY = in.Byte() % 64;
  const uint32_t renderTime = in.Long();

  TWorldMap map{std::string()};
  TQdMemoryStream stream(in.Here(), in.Left());
  const bool loaded = map.LoadFromStream(stream);
  Require(map.Width >= 0 && map.Width <= MaxMapSide && map.Height >= 0 && map.Height <= MaxMapSide);
  Require(loaded || (map.Width == 0 && map.Height == 0));

  // Every tile, and a border of coordinates outside, in every layer.
  uint32_t sum = 0;
  for (int32_t y = -2; y <= map.Height + 1; ++y)
    for (int32_t x = -2; x <= map.Width + 1; ++x) {
      for (int32_t layer = -1; layer <= MapLayerCount; ++layer)
        sum += map.GetTile(layer, static_cast<uint32_t>(x), static_cast<uint32_t>(y));
      sum += map.IsWalkable(x, y) + map.IsShotPassable(x, y);
    }
  map.SetTile(2, 10, 8, 1);
  const TPixelBox probe{box.Left, box.Top, box.Left + spanX * TileSize / 4,
                        box.Top + spanY * TileSize / 4};
  sum += map.IsBoxWalkable(probe) + map.IsBoxShotPassable(probe);

  DrawWorld(*View, map, centerX, centerY, renderTime);
  for (TGuardedBitmap* b : Bitmaps->Layers) {
    Require(b->LockCount == 0);
    Require(b->GuardsIntact());
  }
  map.FreeLayers();
  Require(map.GetTile(0, 0, 0) == 0 && !map.IsWalkable(0, 0));
  return static_cast<int>(sum & 0);
}
