#include "world/WorldDraw.h"

#include "world/recording_canvas.h"
#include "world/view_support.h"
#include "world/world_fixture.h"

#include <gmock/gmock.h>

using testing::ElementsAre;
using Call = RecordingCanvas::Call;

namespace {
using DrawWorldTest = WorldTest;
}

TEST_F(DrawWorldTest, DepthListSortsByYWithoutKeepingSlotOrder) {
  Put(0, std::make_unique<TCharacter>(0, 0, 0, 20));
  Put(1, std::make_unique<TCharacter>(1, 0, 0, 20));
  Put(2, std::make_unique<TCharacter>(2, 0, 0, 10));
  EXPECT_THAT(DepthList(), ElementsAre(2, 1, 0));
  Put(5, std::make_unique<TCharacter>(5, 0, 0, -3));
  Put(7, std::make_unique<TCharacter>(7, 0, 0, 20));
  EXPECT_THAT(DepthList(), ElementsAre(5, 2, 0, 1, 7));
}

TEST_F(DrawWorldTest, GroundThenObjectsRowByRowThenForeground) {
  MapBuilder b(2, 2);
  b.Set(0, 0, 0, 100).Set(0, 1, 0, 1).Set(0, 0, 1, 2).Set(0, 1, 1, 3);
  b.Set(1, 1, 0, 5).Set(1, 0, 1, SpecialStandTile);
  b.Set(2, 1, 1, 1);
  UseMap(b);
  Put(0, std::make_unique<TCharacter>(0, 0, 12, 40)); // on the special tile
  Put(1, std::make_unique<TObjShoot>(30, 0, 0, 0, 0, 0, 1));
  Put(2, std::make_unique<TCharacter>(2, 0, 40, 500)); // below the view
  Put(3, std::make_unique<TCharacter>(3, 1, 36, 12));  // exactly on row 0's line: still in it

  RecordingCanvas view;
  DrawWorld(view, *WorldMap, 24, 24, 7);
  EXPECT_THAT(view.Calls,
              ElementsAre(Call{-1, 0, 0, 0, 0},
                          // tile row 0
                          Call{0, 156, 204, 100, 0}, Call{1, 156, 204, 0, 0},
                          Call{2, 156, 204, 0, 1}, Call{0, 180, 204, 1, 0}, Call{1, 180, 204, 5, 0},
                          Call{2, 180, 204, 0, 1}, Call{1, 174, 182, 78, 0},
                          Call{4, 180, 204, 9, 0},
                          // tile row 1
                          Call{0, 156, 228, 2, 0}, Call{1, 156, 228, 2, 0}, Call{2, 156, 228, 0, 1},
                          Call{0, 180, 228, 3, 0}, Call{1, 180, 228, 0, 0}, Call{2, 180, 228, 1, 1},
                          // after the next row: snapped to its tile, fixed cell
                          Call{4, 156, 228, 0, 2},
                          // foreground
                          Call{0, 156, 204, 100, 0}, Call{1, 180, 204, 5, 0}));
}

TEST_F(DrawWorldTest, UnloadedMapDrawsOnlyObjects) {
  Put(0, std::make_unique<TCharacter>(0, 2, 400, 370));
  RecordingCanvas view;
  DrawWorld(view, CurrentWorldMap(), 400, 370, 0);
  EXPECT_THAT(view.Calls, ElementsAre(Call{-1, 0, 0, 0, 0}, Call{4, 168, 216, 18, 0}));
}

TEST_F(DrawWorldTest, PaintsASmallWorldIntoTheView) {
  MapBuilder b(4, 3);
  b.Set(0, 0, 0, 13).Set(0, 3, 1, 100);
  b.Set(1, 1, 0, 13).Set(1, 0, 2, SpecialStandTile);
  b.Set(2, 2, 0, 1);
  UseMap(b);
  TestBitmaps bitmaps;
  TWorldView view(8, 8, 360, 456, nullptr, bitmaps);
  SetPixel(*view.SpriteSheet, 326, 201, 0xFF000000u); // keyed out
  Put(0, std::make_unique<TCharacter>(0, 0, 36, 40)); // on open ground
  Put(1, std::make_unique<TCharacter>(1, 1, 84, 40)); // feet on a foreground tile
  Put(2, std::make_unique<TCharacter>(2, 2, 10, 60)); // on the special tile
  TQdBitmap& layer = *view.Layers[0].Bitmap;

  // Tile (tx, ty) lands at view (132 + 24 tx, 192 + 24 ty).
  DrawWorld(view, *WorldMap, 48, 36, 0);
  EXPECT_EQ(PixelAt(layer, 132, 192), Coord(26, 26, TileTag));     // ground 13
  EXPECT_EQ(PixelAt(layer, 156, 192), Coord(1, 1, TileTag));       // key shows the ground
  EXPECT_EQ(PixelAt(layer, 157, 192), Coord(327, 201, SpriteTag)); // object 13
  EXPECT_EQ(PixelAt(layer, 181, 200), Coord(252, 344, SpriteTag)); // animated, first phase
  EXPECT_EQ(PixelAt(layer, 160, 220), Coord(5, 11, SpriteTag));    // in front of the ground
  EXPECT_EQ(PixelAt(layer, 210, 212), Coord(7, 28, SpriteTag));    // above the foreground tile
  EXPECT_EQ(PixelAt(layer, 210, 220), Coord(107, 205, TileTag));   // behind it
  EXPECT_EQ(PixelAt(layer, 132, 216), Coord(276, 251, SpriteTag)); // snapped, fixed cell
  EXPECT_EQ(PixelAt(layer, 100, 100), 0u);                         // outside the map

  DrawWorld(view, *WorldMap, 48, 36, 1);
  EXPECT_EQ(PixelAt(layer, 181, 200), Coord(227, 369, SpriteTag)); // second phase
}
