#include "world/Vesk3_obj.h"

#include "world/recording_canvas.h"
#include "world/world_fixture.h"

#include <gmock/gmock.h>

#include <cmath>

namespace {

using ObjectTest = WorldTest;

} // namespace

TEST(RoundToEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundToEven(10.5), 10);
  EXPECT_EQ(RoundToEven(11.5), 12);
  EXPECT_EQ(RoundToEven(-0.5), 0);
  EXPECT_EQ(RoundToEven(-1.5), -2);
  EXPECT_EQ(RoundToEven(-2.5), -2);
  EXPECT_EQ(RoundToEven(2.4999999), 2);
  EXPECT_EQ(RoundToEven(-2.5000001), -3);
  EXPECT_EQ(RoundToEven(1e300), 1 << 30);
  EXPECT_EQ(RoundToEven(-INFINITY), -(1 << 30));
  EXPECT_EQ(RoundToEven(NAN), 0);
}

TEST_F(ObjectTest, MotionAcceleratesBeforeMovingAndRoundsPosition) {
  TObjMotion m(10, 20, 15, 0, -0.7, 0);
  EXPECT_EQ(m.Kind, 0);
  EXPECT_EQ(m.PosX, 10.0);
  const double expected[] = {24.3, 37.9, 50.8, 63.0};
  const int32_t rounded[] = {24, 38, 51, 63};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(m.Update()); // no map: everything is open to projectiles
    EXPECT_NEAR(m.PosX, expected[i], 1e-9);
    EXPECT_EQ(m.X, rounded[i]);
    EXPECT_EQ(m.Y, 20);
  }

  TObjMotion even(0, 0, 0, 0, 0, 0);
  even.PosX = 10.5;
  even.PosY = 11.5;
  ASSERT_TRUE(even.Update());
  EXPECT_EQ(even.X, 10);
  EXPECT_EQ(even.Y, 12);
}

TEST_F(ObjectTest, ProbeUsesTheVelocityBeforeAcceleration) {
  UseMap(MapBuilder(4, 4).Set(1, 2, 0, 6).Set(1, 2, 1, 6)); // column 2 (pixels 48..71) stops shots
  // The probe at 30 + 13 reaches pixel 49; after acceleration it would only reach 44.
  TObjMotion m(30, 12, 13, 0, -5, 0);
  EXPECT_FALSE(m.Update());
  EXPECT_EQ(m.X, 30);
  EXPECT_EQ(m.PosX, 30.0);
  EXPECT_EQ(m.VelX, 13.0);

  TObjMotion n(30, 12, 11, 0, 100, 0);
  EXPECT_TRUE(n.Update()); // probe 41 + 6 = 47 passes; the move then jumps into the wall
  EXPECT_EQ(n.X, 141);

  // The probe reaches 6 pixels each way: against tile (2, 2), pixels 48..71 both ways.
  UseMap(MapBuilder(5, 5).Set(1, 2, 2, 6));
  const int32_t probes[][3] = {{42, 60, 0}, {41, 60, 1}, {77, 60, 0}, {78, 60, 1},
                               {60, 42, 0}, {60, 41, 1}, {60, 77, 0}, {60, 78, 1}};
  for (const auto& at : probes) {
    TObjMotion still(at[0], at[1], 0, 0, 0, 0);
    EXPECT_EQ(still.Update(), at[2] == 1) << at[0] << "," << at[1];
  }
}

TEST_F(ObjectTest, ShotLivesItsFramesAndStopsAtWalls) {
  TObjShoot once(0, 0, 1, 0, 0, 0, 1);
  EXPECT_FALSE(once.Update());
  EXPECT_EQ(once.X, 1); // it moved, then its life ended
  EXPECT_EQ(once.Life, 0);

  TObjShoot three(0, 0, 0, 1, 0, 0, 3);
  EXPECT_TRUE(three.Update());
  EXPECT_TRUE(three.Update());
  EXPECT_FALSE(three.Update());
  EXPECT_EQ(three.Y, 3);

  UseMap(MapBuilder(2, 2).Set(0, 1, 0, 96)); // layer 0 value 96 stops shots
  TObjShoot blocked(30, 12, 0, 0, 0, 0, 20);
  EXPECT_FALSE(blocked.Update());
  EXPECT_EQ(blocked.Life, 20);
  EXPECT_EQ(blocked.X, 30);
}

TEST(ObjectDeathTest, OperationsWithoutBodyAreFatal) {
  RecordingCanvas canvas;
  EXPECT_EXIT(TObjBase(0, 0).Update(), testing::ExitedWithCode(210), "Runtime error 210");
  EXPECT_EXIT(TObjMotion(0, 0, 0, 0, 0, 0).Draw(canvas, 0, 0), testing::ExitedWithCode(210),
              "Runtime error 210");
}
