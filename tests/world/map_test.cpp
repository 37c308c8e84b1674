#include "world/Vesk3_map.h"

#include "resource/QdStream.h"
#include "support/temp_dir.h"
#include "world/map_builder.h"

#include <gtest/gtest.h>

namespace {

TWorldMap Load(const TempDir& dir, const std::string& bytes) {
  return TWorldMap(dir.write("test.maf", bytes));
}

} // namespace

TEST(TileSets, HoldExactlyTheListedValues) {
  EXPECT_EQ(ForegroundTilesL0.Count(), 22);
  EXPECT_EQ(ForegroundTilesL1.Count(), 7);
  EXPECT_EQ(WalkableTiles.Count(), 181);
  EXPECT_EQ(ShotTilesL0.Count(), 118);
  EXPECT_EQ(ShotTilesL1.Count(), 251);
  for (int v : {101, 103, 109, 116, 136})
    EXPECT_FALSE(ForegroundTilesL0.Contains(v)) << v;
  for (int v : {4, 6, 30, 46, 50, 52, 99})
    EXPECT_FALSE(WalkableTiles.Contains(v)) << v;
  for (int v : {96, 99, 116, 136, 139, 144})
    EXPECT_FALSE(ShotTilesL0.Contains(v)) << v;
  for (int v : {6, 11, 12, 24, 25})
    EXPECT_FALSE(ShotTilesL1.Contains(v)) << v;
}

TEST(WorldMapFile, LoadsHeaderAndFourLayersRowByRow) {
  TempDir dir;
  // Two by one: 8 header bytes and four layers of 2 bytes.
  std::string name =
      dir.write("m.maf", MapBuilder::Header(2, 1) + "\x01\x02\x03\x04\x05\x06\x07\x08");
  TWorldMap map(name);
  EXPECT_EQ(map.FileName, name);
  EXPECT_EQ(map.Width, 2);
  EXPECT_EQ(map.Height, 1);
  for (int layer = 0; layer < 4; ++layer) {
    EXPECT_EQ(map.GetTile(layer, 0, 0), 2 * layer + 1);
    EXPECT_EQ(map.GetTile(layer, 1, 0), 2 * layer + 2);
  }
  EXPECT_EQ(map.GetTile(4, 1, 0), 0); // the extra layer starts empty
  map.SetTile(4, 1, 0, 9);
  EXPECT_EQ(map.GetTile(4, 1, 0), 9);
  EXPECT_EQ(map.GetTile(5, 1, 0), 0);

  TWorldMap rows = Load(dir, MapBuilder(3, 2).Set(0, 2, 0, 7).Set(0, 0, 1, 8).Bytes());
  EXPECT_EQ(rows.GetTile(0, 2, 0), 7);
  EXPECT_EQ(rows.GetTile(0, 0, 1), 8);
  EXPECT_EQ(rows.GetTile(0, 3, 0), 0);
  EXPECT_EQ(rows.GetTile(0, 0, 2), 0);
  EXPECT_EQ(rows.GetTile(0, static_cast<uint32_t>(-1), 0), 0);
  rows.SetTile(0, 3, 0, 1); // outside: ignored, not wrapped into the next row
  EXPECT_EQ(rows.GetTile(0, 0, 1), 8);
}

TEST(WorldMapFile, TruncatedFileLoadsWithTheMissingTilesEmpty) {
  TempDir dir;
  std::string bytes = MapBuilder(4, 4).Fill(0, 5).Fill(1, 6).Bytes();
  TWorldMap map = Load(dir, bytes.substr(0, 8 + 16 + 3));
  EXPECT_EQ(map.GetTile(0, 3, 3), 5);
  EXPECT_EQ(map.GetTile(1, 2, 0), 6);
  EXPECT_EQ(map.GetTile(1, 3, 0), 0);
  // The same bytes from memory; the map then has no file name.
  TWorldMap fromMemory{std::string()};
  TQdMemoryStream m(bytes.data(), 8 + 16 + 3);
  ASSERT_TRUE(fromMemory.LoadFromStream(m));
  EXPECT_EQ(fromMemory.GetTile(0, 3, 3), 5);
  EXPECT_EQ(fromMemory.GetTile(1, 3, 0), 0);
  EXPECT_EQ(fromMemory.FileName, "");
  TWorldMap headerOnly = Load(dir, std::string("\0\0\0\0\x05", 5));
  EXPECT_EQ(headerOnly.Width, 5);
  EXPECT_EQ(headerOnly.Height, 0);
}

TEST(WorldMapFile, UnloadedOversizedAndFreedMapsAreAllOutside) {
  TempDir dir;
  TWorldMap missing(dir.file("absent.maf"));
  EXPECT_FALSE(missing.LoadFromFile(dir.file("absent.maf")));
  // Over 256 columns or rows cannot all be addressed; such a file is refused whole.
  TWorldMap wide = Load(dir, MapBuilder::Header(300, 2) + std::string(2400, '\0'));
  TWorldMap tall = Load(dir, MapBuilder::Header(2, 257) + std::string(2056, '\0'));
  TWorldMap huge = Load(dir, MapBuilder::Header(0xFFFF, 0xFFFF));
  TWorldMap freed = Load(dir, MapBuilder(2, 2).Bytes());
  freed.FreeLayers();
  for (TWorldMap* map : {&missing, &wide, &tall, &huge, &freed}) {
    EXPECT_EQ(map->Width, map == &freed ? 2 : 0);
    for (uint32_t c : {0u, 1u, 255u}) {
      map->SetTile(0, c, c, 1);
      EXPECT_EQ(map->GetTile(0, c, c), 0);
      EXPECT_FALSE(map->IsWalkable(c, c));
    }
    EXPECT_FALSE(map->IsBoxWalkable({0, 0, 10, 10}));
    EXPECT_TRUE(map->IsBoxShotPassable({0, 0, 10, 10}));
  }

  TWorldMap full = Load(dir, MapBuilder(256, 256).Set(0, 255, 255, 3).Bytes());
  EXPECT_EQ(full.GetTile(0, 255, 255), 3);
  EXPECT_EQ(full.GetTile(0, 300, 0), 0);
}

TEST(WorldMapQueries, WalkingDependsOnBlockFlagThenLayerOne) {
  TempDir dir;
  MapBuilder b(5, 1);
  b.Set(3, 1, 0, 0x40).Set(3, 2, 0, 0xBF).Set(1, 2, 0, 5).Set(3, 3, 0, 0xBF).Set(1, 3, 0, 6);
  b.Set(1, 4, 0, 24);
  TWorldMap map = Load(dir, b.Bytes());
  EXPECT_TRUE(map.IsWalkable(0, 0));
  EXPECT_FALSE(map.IsWalkable(1, 0));
  EXPECT_TRUE(map.IsWalkable(2, 0));
  EXPECT_FALSE(map.IsWalkable(3, 0));
  EXPECT_TRUE(map.IsWalkable(4, 0));      // 24 can be walked on...
  EXPECT_FALSE(map.IsShotPassable(4, 0)); // ...but stops projectiles
  EXPECT_FALSE(map.IsWalkable(5, 0));
  EXPECT_FALSE(map.IsWalkable(-1, 0));
  EXPECT_TRUE(map.IsShotPassable(7, 2)); // outside is open to projectiles
  EXPECT_TRUE(map.IsShotPassable(-2, -2));
}

TEST(WorldMapQueries, BoxesUseTruncatedTilesAndOnlyTheirBorder) {
  TempDir dir;
  MapBuilder b(4, 4);
  b.Set(3, 3, 0, 0x40); // blocked tile at the top right
  b.Set(3, 1, 1, 0x40); // blocked tile inside a 3 by 3 box
  b.Set(1, 2, 3, 6).Set(1, 3, 3, 12);
  TWorldMap map = Load(dir, b.Bytes());
  EXPECT_TRUE(map.IsBoxWalkable({-5, 0, 10, 11}));   // tile column 0 only
  EXPECT_FALSE(map.IsBoxWalkable({-30, 0, 10, 11})); // column -1
  EXPECT_FALSE(map.IsBoxWalkable({0, -24, 10, 11})); // row -1
  EXPECT_FALSE(map.IsBoxWalkable({10, 0, 80, 11}));  // reaches the blocked tile
  EXPECT_TRUE(map.IsBoxWalkable({0, 0, 71, 71}));    // 3 x 3 tiles, blocked one interior
  EXPECT_TRUE(map.IsBoxWalkable({80, 48, 95, 71}));  // right edge 24 * Width - 1
  EXPECT_FALSE(map.IsBoxWalkable({80, 48, 96, 71})); // right edge 24 * Width
  EXPECT_FALSE(map.IsBoxWalkable({80, 48, 95, 96}));

  EXPECT_TRUE(map.IsBoxShotPassable({-100, -100, -30, -30}));
  EXPECT_FALSE(map.IsBoxShotPassable({50, 70, 60, 80})); // layer 1 value 6
  EXPECT_FALSE(map.IsBoxShotPassable({75, 75, 80, 80})); // layer 1 value 12
  EXPECT_FALSE(map.IsBoxShotPassable({0, 70, 130, 80})); // interior column, but on the bottom row
}
