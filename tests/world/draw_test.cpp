#include "world/WorldDraw.h"

#include "world/recording_canvas.h"
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
  Put(3, std::make_unique<TCharacter>(3, 1, 36, 10));

  RecordingCanvas view;
  DrawWorld(view, *WorldMap, 24, 24, 7);
  EXPECT_THAT(view.Calls,
              ElementsAre(Call{-1, 0, 0, 0, 0},
                          // tile row 0
                          Call{0, 156, 204, 100, 0}, Call{1, 156, 204, 0, 0},
                          Call{2, 156, 204, 0, 1}, Call{0, 180, 204, 1, 0}, Call{1, 180, 204, 5, 0},
                          Call{2, 180, 204, 0, 1}, Call{1, 174, 182, 78, 0},
                          Call{4, 180, 202, 9, 0},
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
