// The tile world: per-tile layers read from a map file, and the walking and projectile tests.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

constexpr int32_t TileSize = 24;
constexpr int32_t MapLayerCount = 5;
constexpr int32_t MaxMapSide = 256;
constexpr uint8_t BlockFlag = 0x40;

class TQdStream;

// A set of byte values (256 bits).
class TTileSet {
public:
  struct Range {
    constexpr Range(int v) : First(v), Last(v) {}
    constexpr Range(int first, int last) : First(first), Last(last) {}
    int First, Last;
  };

  constexpr TTileSet() = default;
  constexpr TTileSet(std::initializer_list<Range> ranges) {
    for (const Range& r : ranges)
      for (int v = r.First; v <= r.Last; ++v)
        Include(static_cast<uint8_t>(v));
  }
  static constexpr TTileSet AllExcept(std::initializer_list<int> values) {
    TTileSet s{{0, 255}};
    for (int v : values)
      s.Bits[(v & 0xFF) >> 6] &= ~(uint64_t{1} << (v & 63));
    return s;
  }

  constexpr void Include(uint8_t v) { Bits[v >> 6] |= uint64_t{1} << (v & 63); }
  constexpr bool Contains(uint8_t v) const { return (Bits[v >> 6] >> (v & 63)) & 1; }
  constexpr int Count() const {
    int n = 0;
    for (int v = 0; v < 256; ++v)
      n += Contains(static_cast<uint8_t>(v));
    return n;
  }

private:
  std::array<uint64_t, 4> Bits{};
};

inline constexpr TTileSet ForegroundTilesL0{100, 102, {104, 108}, 110, 112, 114, 118,
                                            120, 122, {124, 128}, 130, 132, 134, 138};
inline constexpr TTileSet ForegroundTilesL1{5, 11, 24, {42, 45}};
inline constexpr TTileSet WalkableTiles{{0, 3}, 5, 7, 9, 11, 24, {31, 45}, 51, {100, 255}};
inline constexpr TTileSet ShotTilesL0{{0, 95}, 100, 102, 104, 106, 108, 110, 112, 114, 118,
                                      120,     122, 124, 126, 128, 130, 132, 134, 138, {140, 143}};
inline constexpr TTileSet ShotTilesL1 = TTileSet::AllExcept({6, 11, 12, 24, 25});

// A rectangle of world pixels; right and bottom are part of it.
struct TPixelBox {
  int32_t Left, Top, Right, Bottom;
};

class TWorldMap {
public:
  explicit TWorldMap(const std::string& fileName);

  bool LoadFromFile(const std::string& fileName);
  // The map file's contents from any stream; FileName is left as it is.
  bool LoadFromStream(TQdStream& stream);
  void FreeLayers();

  // Coordinates are read as unsigned: a negative one is outside.
  uint8_t GetTile(int32_t layer, uint32_t x, uint32_t y) const;
  void SetTile(int32_t layer, uint32_t x, uint32_t y, uint8_t value);

  bool IsWalkable(int32_t x, int32_t y) const;
  bool IsBoxWalkable(const TPixelBox& box) const;
  bool IsShotPassable(int32_t x, int32_t y) const;
  bool IsBoxShotPassable(const TPixelBox& box) const;

  std::string FileName;
  std::array<std::unique_ptr<uint8_t[]>, MapLayerCount> Layers;
  int32_t Width = 0;
  int32_t Height = 0;
  TTileSet ForegroundTiles;

private:
  bool Inside(uint32_t x, uint32_t y) const;
  template <typename TileTest> bool BorderPasses(const TPixelBox& box, TileTest test) const;
};

// The loaded map, owned by the game; the world's walking and flight tests read it. While it is
// null the world behaves as on a map that failed to load.
extern std::unique_ptr<TWorldMap> WorldMap;
const TWorldMap& CurrentWorldMap();
