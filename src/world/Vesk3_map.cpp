#include "world/Vesk3_map.h"

#include "resource/QdStream.h"

#include <cstring>

std::unique_ptr<TWorldMap> WorldMap;

const TWorldMap& CurrentWorldMap() {
  static const TWorldMap unloaded{std::string()};
  return WorldMap ? *WorldMap : unloaded;
}

TWorldMap::TWorldMap(const std::string& fileName) {
  LoadFromFile(fileName);
}

bool TWorldMap::LoadFromFile(const std::string& fileName) {
  if (!FileCanOpen(fileName)) return false;
  TQdFileStream stream(fileName);
  if (!LoadFromStream(stream)) return false;
  FileName = fileName;
  return true;
}

bool TWorldMap::LoadFromStream(TQdStream& stream) {
  uint16_t header[4] = {};
  for (uint16_t& word : header) {
    uint8_t bytes[2] = {};
    stream.ReadBytes(bytes, 2);
    word = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  }
  // Tile coordinates stop at 255, so a larger grid could never be addressed whole.
  if (header[2] > MaxMapSide || header[3] > MaxMapSide) return false;

  ForegroundTiles = ForegroundTilesL0;
  Width = header[2];
  Height = header[3];
  const int32_t size = Width * Height;
  for (int layer = 0; layer < 4; ++layer) {
    // Bytes a short file does not supply read as 0.
    Layers[layer] = std::make_unique<uint8_t[]>(size);
    stream.ReadBytes(Layers[layer].get(), size);
  }
  Layers[4] = std::make_unique<uint8_t[]>(size);
  return true;
}

void TWorldMap::FreeLayers() {
  for (auto& layer : Layers)
    layer.reset();
}

bool TWorldMap::Inside(uint32_t x, uint32_t y) const {
  return x < static_cast<uint32_t>(Width) && x <= 255 && y < static_cast<uint32_t>(Height) &&
         y <= 255;
}

uint8_t TWorldMap::GetTile(int32_t layer, uint32_t x, uint32_t y) const {
  if (layer < 0 || layer >= MapLayerCount || !Layers[layer] || !Inside(x, y)) return 0;
  return Layers[layer][y * static_cast<uint32_t>(Width) + x];
}

void TWorldMap::SetTile(int32_t layer, uint32_t x, uint32_t y, uint8_t value) {
  if (layer < 0 || layer >= MapLayerCount || !Layers[layer] || !Inside(x, y)) return;
  Layers[layer][y * static_cast<uint32_t>(Width) + x] = value;
}

bool TWorldMap::IsWalkable(int32_t x, int32_t y) const {
  const auto ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
  if (!Inside(ux, uy) || !Layers[1] || !Layers[3]) return false;
  if (GetTile(3, ux, uy) & BlockFlag) return false;
  return WalkableTiles.Contains(GetTile(1, ux, uy));
}

bool TWorldMap::IsShotPassable(int32_t x, int32_t y) const {
  const auto ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
  return ShotTilesL0.Contains(GetTile(0, ux, uy)) && ShotTilesL1.Contains(GetTile(1, ux, uy));
}

template <typename TileTest>
bool TWorldMap::BorderPasses(const TPixelBox& box, TileTest test) const {
  const int32_t l = box.Left / TileSize, t = box.Top / TileSize;
  const int32_t r = box.Right / TileSize, b = box.Bottom / TileSize;
  for (int32_t x = l; x <= r; ++x)
    if (!test(x, t)) return false;
  for (int32_t x = l; x <= r; ++x)
    if (!test(x, b)) return false;
  for (int32_t y = t; y <= b; ++y)
    if (!test(l, y)) return false;
  for (int32_t y = t; y <= b; ++y)
    if (!test(r, y)) return false;
  return true;
}

bool TWorldMap::IsBoxWalkable(const TPixelBox& box) const {
  if (box.Left / TileSize < 0 || box.Right / TileSize >= Width || box.Top / TileSize < 0 ||
      box.Bottom / TileSize >= Height)
    return false;
  return BorderPasses(box, [this](int32_t x, int32_t y) { return IsWalkable(x, y); });
}

bool TWorldMap::IsBoxShotPassable(const TPixelBox& box) const {
  return BorderPasses(box, [this](int32_t x, int32_t y) { return IsShotPassable(x, y); });
}
