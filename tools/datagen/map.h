// The world map: compiled from a text source with a legend per layer, and checked by walking it
// the way the player walks.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace datagen {

struct MapData {
  int width = 0, height = 0;
  std::array<std::vector<uint8_t>, 4> layers; // ground, object, animated, attributes

  uint8_t At(int layer, int x, int y) const;
  bool IsWalkable(int x, int y) const;
  // Pixel box, right and bottom included.
  bool IsBoxWalkable(int left, int top, int right, int bottom) const;
  bool IsShotPassable(int x, int y) const;
};

constexpr uint8_t kBlockFlag = 0x40;
bool IsWalkableValue(int layer1);
bool IsForegroundGround(int layer0);
bool IsForegroundObject(int layer1);

MapData CompileMap(const std::string& source, const std::string& name);
MapData ReadMapFile(const std::vector<uint8_t>& bytes); // throws on a malformed file
std::vector<uint8_t> MapFileBytes(const MapData& map);

struct Point {
  int x, y;
};
// The three characters: the player, then slots 1 and 2.
constexpr std::array<Point, 3> kCharacters{{{400, 370}, {296, 628}, {604, 362}}};

struct WalkResult {
  std::array<bool, 3> reached{};    // [1] and [2]: the player bumped into that character
  int reachableTiles = 0;           // tiles the player's feet can stand on
  bool reachesLayer1Value2 = false; // stands somewhere on a tile whose layer-1 value is 2
};
WalkResult WalkFromPlayer(const MapData& map);

void GenerateMap(const std::string& source, const std::string& outDir, std::ostream& report);

} // namespace datagen
