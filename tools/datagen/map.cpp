#include "map.h"

#include "common.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <sstream>

namespace datagen {

bool IsWalkableValue(int v) {
  return (v >= 0 && v <= 3) || v == 5 || v == 7 || v == 9 || v == 11 || v == 24 ||
         (v >= 31 && v <= 45) || v == 51 || (v >= 100 && v <= 255);
}

bool IsForegroundGround(int v) {
  return v == 100 || v == 102 || (v >= 104 && v <= 108) || v == 110 || v == 112 || v == 114 ||
         v == 118 || v == 120 || v == 122 || (v >= 124 && v <= 128) || v == 130 || v == 132 ||
         v == 134 || v == 138;
}

bool IsForegroundObject(int v) {
  return v == 5 || v == 11 || v == 24 || (v >= 42 && v <= 45);
}

namespace {
bool ShotPassesGround(int v) {
  if (v >= 0 && v <= 95) return true;
  if (v >= 140 && v <= 143) return true;
  return v == 100 || v == 102 || v == 104 || v == 106 || v == 108 || v == 110 || v == 112 ||
         v == 114 || v == 118 || v == 120 || v == 122 || v == 124 || v == 126 || v == 128 ||
         v == 130 || v == 132 || v == 134 || v == 138;
}
bool ShotPassesObject(int v) {
  return v != 6 && v != 11 && v != 12 && v != 24 && v != 25;
}
} // namespace

uint8_t MapData::At(int layer, int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height || x > 255 || y > 255) return 0;
  return layers[layer][static_cast<size_t>(y) * width + x];
}

bool MapData::IsWalkable(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height || x > 255 || y > 255) return false;
  if (At(3, x, y) & kBlockFlag) return false;
  return IsWalkableValue(At(1, x, y));
}

bool MapData::IsShotPassable(int x, int y) const {
  return ShotPassesGround(At(0, x, y)) && ShotPassesObject(At(1, x, y));
}

bool MapData::IsBoxWalkable(int left, int top, int right, int bottom) const {
  const int l = left / 24, t = top / 24, r = right / 24, b = bottom / 24; // toward zero
  if (l < 0 || r >= width || t < 0 || b >= height) return false;
  for (int x = l; x <= r; ++x)
    if (!IsWalkable(x, t) || !IsWalkable(x, b)) return false;
  for (int y = t; y <= b; ++y)
    if (!IsWalkable(l, y) || !IsWalkable(r, y)) return false;
  return true;
}

MapData CompileMap(const std::string& source, const std::string& name) {
  struct Entry {
    int value;
    bool block;
  };
  std::array<std::map<char, Entry>, 3> legend;
  MapData map;
  std::vector<std::string> lines = SplitLines(source);
  auto fail = [&](size_t i, const std::string& what) -> void {
    throw Error(name + ":" + std::to_string(i + 1) + ": " + what);
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "legend") {
      int layer = -1, value = -1;
      std::string ch, flag;
      in >> layer >> ch >> value;
      if (!in || layer < 0 || layer > 2 || ch.size() != 1 || value < 0 || value > 255)
        fail(i, "expected: legend LAYER CHAR VALUE [block]");
      bool block = (in >> flag) && flag == "block";
      if (!legend[layer].emplace(ch[0], Entry{value, block}).second)
        fail(i, "character defined twice in this layer");
    } else if (word == "size") {
      in >> map.width >> map.height;
      if (!in || map.width < 1 || map.height < 1 || map.width > 256 || map.height > 256)
        fail(i, "size must be 1 to 256 each way");
      for (auto& l : map.layers)
        l.assign(static_cast<size_t>(map.width) * map.height, 0);
    } else if (word == "layer") {
      int layer = -1;
      in >> layer;
      if (!in || layer < 0 || layer > 2)
        fail(i, "layers 0 to 2 are drawn; 3 comes from the legend");
      if (map.width == 0) fail(i, "size must come before the layers");
      for (int y = 0; y < map.height; ++y) {
        ++i;
        if (i >= lines.size()) fail(i - 1, "layer ends early");
        std::string row = lines[i];
        while (!row.empty() && (row.back() == ' ' || row.back() == '\r'))
          row.pop_back();
        if (static_cast<int>(row.size()) != map.width)
          fail(i, "row is " + std::to_string(row.size()) + " wide, map is " +
                      std::to_string(map.width));
        for (int x = 0; x < map.width; ++x) {
          auto it = legend[layer].find(row[x]);
          if (it == legend[layer].end())
            fail(i,
                 std::string("'") + row[x] + "' has no legend in layer " + std::to_string(layer));
          const size_t at = static_cast<size_t>(y) * map.width + x;
          map.layers[layer][at] = static_cast<uint8_t>(it->second.value);
          if (it->second.block) map.layers[3][at] |= kBlockFlag;
        }
      }
    } else {
      fail(i, "unknown line: " + word);
    }
  }
  if (map.width == 0) throw Error(name + ": no size");
  return map;
}

std::vector<uint8_t> MapFileBytes(const MapData& map) {
  std::vector<uint8_t> out;
  PutLe16(out, 0);
  PutLe16(out, 0);
  PutLe16(out, static_cast<unsigned>(map.width));
  PutLe16(out, static_cast<unsigned>(map.height));
  for (const auto& l : map.layers)
    out.insert(out.end(), l.begin(), l.end());
  return out;
}

MapData ReadMapFile(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 8) throw Error("map file too short");
  MapData map;
  map.width = bytes[4] | bytes[5] << 8;
  map.height = bytes[6] | bytes[7] << 8;
  const size_t size = static_cast<size_t>(map.width) * map.height;
  if (map.width == 0 || map.height == 0 || bytes.size() != 8 + 4 * size)
    throw Error("map file size does not match its header");
  for (int l = 0; l < 4; ++l)
    map.layers[l].assign(bytes.begin() + 8 + l * size, bytes.begin() + 8 + (l + 1) * size);
  return map;
}

// Breadth-first over every position the player can stand on, moving as the game moves it: a free
// step of 6 pixels (4 and 4 diagonally), else sliding 9 along one axis, each landing tested with
// the character box of 16 by 12. Walking into another character is a bump: the walker stays.
WalkResult WalkFromPlayer(const MapData& map) {
  WalkResult result;
  const int w = map.width * 24, h = map.height * 24;
  std::vector<uint8_t> seen(static_cast<size_t>(w) * h, 0);
  std::vector<uint8_t> tileSeen(static_cast<size_t>(map.width) * map.height, 0);
  auto boxOk = [&](int x, int y) { return map.IsBoxWalkable(x - 8, y - 12, x + 8, y); };
  std::deque<Point> queue;
  const Point start = kCharacters[0];
  if (!boxOk(start.x, start.y)) return result;
  seen[static_cast<size_t>(start.y) * w + start.x] = 1;
  queue.push_back(start);
  while (!queue.empty()) {
    Point p = queue.front();
    queue.pop_front();
    size_t tile = static_cast<size_t>(p.y / 24) * map.width + p.x / 24;
    if (!tileSeen[tile]) {
      tileSeen[tile] = 1;
      ++result.reachableTiles;
    }
    if (map.At(1, p.x / 24, p.y / 24) == 2) result.reachesLayer1Value2 = true;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if (!dx && !dy) continue;
        const int k = dx && dy ? 2 : 3;
        const int sx = k * dx, sy = k * dy;
        if (p.x + sx < 0 || p.y + sy < 0) continue; // the edge guard pins the player instead
        Point t;
        if (boxOk(p.x + 2 * sx, p.y + 2 * sy))
          t = {p.x + 2 * sx, p.y + 2 * sy};
        else if (boxOk(p.x + 3 * sx, p.y))
          t = {p.x + 3 * sx, p.y};
        else if (boxOk(p.x, p.y + 3 * sy))
          t = {p.x, p.y + 3 * sy};
        else
          continue;
        bool bumped = false;
        for (int c = 1; c < 3; ++c)
          if (std::abs(t.y - kCharacters[c].y) < 12 && std::abs(t.x - kCharacters[c].x) < 16) {
            result.reached[c] = bumped = true;
          }
        if (bumped || t.x < 0 || t.y < 0 || t.x >= w || t.y >= h) continue;
        uint8_t& s = seen[static_cast<size_t>(t.y) * w + t.x];
        if (!s) {
          s = 1;
          queue.push_back(t);
        }
      }
  }
  return result;
}

void GenerateMap(const std::string& source, const std::string& outDir, std::ostream& report) {
  MapData map = CompileMap(ReadText(source), source);
  for (const Point& c : kCharacters)
    if (!map.IsBoxWalkable(c.x - 8, c.y - 12, c.x + 8, c.y))
      throw Error("a character does not stand on walkable tiles");
  WalkResult walk = WalkFromPlayer(map);
  if (!walk.reached[1] || !walk.reached[2])
    throw Error("the player cannot walk to both other characters");
  if (!walk.reachesLayer1Value2) throw Error("the player can reach no tile of layer-1 value 2");
  int foreground = 0, stopping = 0, animated = 0, blocked = 0;
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      foreground += IsForegroundGround(map.At(0, x, y)) || IsForegroundObject(map.At(1, x, y));
      stopping += !map.IsShotPassable(x, y);
      animated += map.At(2, x, y) != 0;
      blocked += !map.IsWalkable(x, y);
    }
  for (int x = 0; x < map.width; ++x)
    if (map.IsWalkable(x, 0) || map.IsWalkable(x, map.height - 1))
      throw Error("the map's top or bottom edge is open");
  for (int y = 0; y < map.height; ++y)
    if (map.IsWalkable(0, y) || map.IsWalkable(map.width - 1, y))
      throw Error("the map's left or right edge is open");
  report << "H3.MAF: " << map.width << " x " << map.height << " tiles; player reaches "
         << walk.reachableTiles << " tiles and both characters; " << blocked << " blocking, "
         << foreground << " foreground, " << stopping << " projectile-stopping, " << animated
         << " animated tiles\n";
  WriteBytes(outDir + "/H3.MAF", MapFileBytes(map));
}

} // namespace datagen
