#include "world/Vesk3_chara.h"

#include "platform/substitute/win32/win_control.h"
#include "world/world_fixture.h"

#include <gmock/gmock.h>

#include <cmath>

using testing::ElementsAre;

namespace {

class CharacterTest : public WorldTest {
protected:
  void SetUp() override {
    WorldTest::SetUp();
    UseMap(MapBuilder(20, 20));
  }
  TMainCharacter& Player(int32_t x, int32_t y) {
    return Put(0, std::make_unique<TMainCharacter>(0, 0, x, y));
  }
  // The player's frame with the given keys held.
  void Frame(std::initializer_list<int32_t> keys) {
    Held = keys;
    RunFrame();
  }
};

struct State {
  int32_t X, Y, Step, Direction;
  bool operator==(const State&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const State& s) {
    return os << "(" << s.X << "," << s.Y << " step " << s.Step << " dir " << s.Direction << ")";
  }
};
State Of(const TCharacter& c) {
  return {c.X, c.Y, c.Step, c.Direction};
}

struct Motion {
  double VelX, VelY, AccX, AccY;
  bool operator==(const Motion&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Motion& m) {
    return os << "(" << m.VelX << "," << m.VelY << " acc " << m.AccX << "," << m.AccY << ")";
  }
};
Motion Of(int32_t slot) {
  auto& s = dynamic_cast<TObjShoot&>(*Objects[slot]);
  return {s.VelX, s.VelY, s.AccX, s.AccY};
}

constexpr int32_t L = VirtualKeyLeft, R = VirtualKeyRight, U = VirtualKeyUp, D = VirtualKeyDown;
constexpr int32_t Ctrl = VirtualKeyControl, Z = VirtualKeyZ;

} // namespace

TEST(Character, FacingAndSpriteCells) {
  TCharacter c(1, 1, 0, 0);
  c.SetFacing(1, 0);
  c.Step = 3;
  EXPECT_EQ(c.SpriteIndex(), 14); // look 1, facing right, second step
  c.SetFacing(-1, 1);             // diagonal faces sideways
  EXPECT_EQ(c.FacingX() * 10 + c.FacingY(), -10);
  c.SetFacing(0, -1);
  c.SetFacing(0, 0); // no movement: direction stays, the previous one is forgotten
  EXPECT_EQ(c.PrevDirection, FaceUp);
  c.KeepFacing = true;
  c.SetFacing(0, 1);
  EXPECT_EQ(c.FacingY(), -1);
  c.KeepFacing = false;
  c.SetFacing(0, 1);
  c.SwapFacing();
  EXPECT_EQ(c.Direction * 10 + c.PrevDirection, FaceUp * 10 + FaceDown);
}

TEST_F(CharacterTest, KeysGiveStepsAndSpeeds) {
  TMainCharacter& p = Player(200, 200);
  Frame({R});
  EXPECT_EQ(Of(p), (State{206, 200, 1, FaceRight}));
  Frame({U, R}); // diagonal: 4 each way, facing sideways
  EXPECT_EQ(Of(p), (State{210, 196, 0, FaceRight}));
  Frame({L, R, U, D}); // right beats left, down beats up
  EXPECT_EQ(Of(p), (State{214, 200, 1, FaceRight}));
  Frame({});
  Frame({Ctrl, U}); // slow, without turning, also from a standstill
  EXPECT_EQ(Of(p), (State{214, 198, 0, FaceRight}));
  EXPECT_FALSE(p.KeepFacing);
  Frame({});
  EXPECT_EQ(Of(p), (State{214, 198, 0, FaceRight}));
  Held = {U};
  KeyStateSource = [](int32_t) { return int16_t(0x0001); }; // pressed before, not held now
  RunFrame();
  EXPECT_EQ(p.Y, 198);
}

TEST_F(CharacterTest, EdgeGuardStopsAtZero) {
  TMainCharacter& p = Player(2, 100);
  Frame({L});
  EXPECT_EQ(Of(p), (State{0, 100, 0, FaceLeft}));
  p.X = 4;
  Frame({L}); // the guard sees 1; the box at -2 still falls in tile column 0
  EXPECT_EQ(Of(p), (State{-2, 100, 1, FaceLeft}));
  Frame({L});
  EXPECT_EQ(Of(p), (State{0, 100, 1, FaceLeft}));
  p.X = 50;
  p.Y = 1;
  Frame({U, L});
  EXPECT_EQ(Of(p), (State{50, 0, 1, FaceLeft}));
  p.X = p.Y = 3; // the guard sees exactly 0: not yet past the edge
  Frame({L});
  EXPECT_EQ(p.X, -3);
  p.X = 50;
  Frame({U});
  EXPECT_EQ(p.Y, -3);
}

TEST_F(CharacterTest, WallsStopOrDeflectTheWalker) {
  MapBuilder b(20, 20);
  for (int y = 0; y < 20; ++y)
    b.Set(3, 10, y, BlockFlag); // pixels 240..263 across
  for (int x = 0; x < 6; ++x)
    b.Set(3, x, 3, BlockFlag); // pixels 72..95 down, left part only
  UseMap(b);
  TMainCharacter& p = Player(228, 100);
  p.Direction = FaceUp;
  Frame({R}); // A and B blocked; C is where it stands
  EXPECT_EQ(Of(p), (State{228, 100, 0, FaceRight}));
  Frame({R, D}); // slides 6 down, still facing the wall
  EXPECT_EQ(Of(p), (State{228, 106, 1, FaceRight}));
  p.X = 100; // under the ceiling: A is blocked, B slides 6 across
  p.Y = 108;
  Frame({R, U});
  EXPECT_EQ(Of(p), (State{106, 108, 0, FaceRight}));
  UseMap(MapBuilder(20, 20).Fill(1, 6)); // boxed in: turns without moving
  Frame({L});
  EXPECT_EQ(Of(p), (State{106, 108, 0, FaceLeft}));
}

TEST_F(CharacterTest, BumpingTurnsThePartnerAndStartsAConversation) {
  TMainCharacter& p = Player(100, 100);
  TCharacter& near = Put(1, std::make_unique<TCharacter>(1, 1, 120, 100));
  // Out of reach of the target, but within reach of where the walker stays.
  TCharacter& behind = Put(2, std::make_unique<TCharacter>(2, 2, 88, 104));
  Put(3, std::make_unique<TCharacter>(3, 3, 130, 100)); // beyond reach either way
  near.Direction = FaceUp;
  Frame({R});
  EXPECT_EQ(Of(p), (State{100, 100, 1, FaceRight}));
  EXPECT_EQ(near.Direction, FaceLeft);
  EXPECT_EQ(near.PrevDirection, FaceUp);
  EXPECT_EQ(behind.Direction, FaceLeft);
  EXPECT_THAT(Conversations, ElementsAre(1, 2));

  ConversationStarter = nullptr; // nobody listening: the bump still holds the walker
  Frame({R});
  EXPECT_EQ(Of(p), (State{100, 100, 0, FaceRight}));

  // Reach from the target (306, 300): under 16 across and under 12 down or up.
  const int32_t reach[][3] = {{15, 0, 1}, {16, 0, 0}, {-15, 11, 1}, {0, 12, 0}, {0, -11, 1}};
  for (const auto& r : reach) {
    for (int32_t i = 1; i < 4; ++i)
      Objects[i].reset();
    p.X = p.Y = 300;
    Put(1, std::make_unique<TCharacter>(1, 1, 306 + r[0], 300 + r[1]));
    Frame({R});
    EXPECT_EQ(p.X, r[2] ? 300 : 306) << r[0] << "," << r[1];
  }
}

TEST_F(CharacterTest, ABlockedDiagonalSlidesAcrossFirstAndTurnsThePartnerTheWayItSlid) {
  MapBuilder b(20, 20);
  b.Set(3, 5, 5, BlockFlag); // pixels 120..143: only the diagonal step's corner touches it
  UseMap(b);
  TMainCharacter& p = Player(110, 118);
  Frame({R, D}); // both slides are open: across comes first
  EXPECT_EQ(Of(p), (State{116, 118, 1, FaceRight}));
  UseMap(b.Set(3, 5, 4, BlockFlag)); // now only the slide down is open, into a partner
  p.X = 110;
  TCharacter& below = Put(1, std::make_unique<TCharacter>(1, 1, 110, 130));
  Frame({R, D});
  EXPECT_EQ(Of(p), (State{110, 118, 0, FaceRight}));
  EXPECT_EQ(below.Direction, FaceUp);
}

TEST_F(CharacterTest, CharactersFarOutsideTheMapDoNotOverflow) {
  TMainCharacter& p = Player(INT32_MAX - 1, INT32_MAX - 1);
  Frame({R, D});
  EXPECT_EQ(p.X, INT32_MAX - 1);
  p.Move(INT32_MIN, 0, BodySize);
  EXPECT_EQ(p.X, 0);
}

TEST_F(CharacterTest, VolleyValuesForEachFacing) {
  TMainCharacter& p = Player(100, 100);
  p.Direction = FaceLeft;
  EXPECT_TRUE(p.FireVolley());
  EXPECT_EQ(p.Cooldown, 5);
  EXPECT_EQ(Of(1), (Motion{-15, 0, 0.7, 0}));
  EXPECT_EQ(Of(2), (Motion{-14, 3, 0.7, -0.15}));
  EXPECT_EQ(Of(3), (Motion{-14, -3, 0.7, 0.15}));
  EXPECT_EQ(dynamic_cast<TObjShoot&>(*Objects[3]).Life, 20);

  Reset();
  Player(100, 100).Direction = FaceUp;
  Objects[0]->Update(); // no key: nothing
  EXPECT_EQ(FindFreeSlot(), 1);
  dynamic_cast<TMainCharacter&>(*Objects[0]).FireVolley();
  EXPECT_EQ(Of(1), (Motion{0, -15, 0, 0.7}));
  EXPECT_EQ(Of(2), (Motion{3, -14, -0.15, 0.7}));
  EXPECT_EQ(Of(3), (Motion{-3, -14, 0.15, 0.7}));
}

TEST_F(CharacterTest, VolleyFliesThreePathsFrameByFrame) {
  Player(200, 200).Direction = FaceRight;
  // Positions after the first three updates, worked by hand: {x1, y1, x2, y2, x3, y3}.
  const int32_t early[3][6] = {{214, 200, 213, 203, 213, 197},
                               {228, 200, 226, 206, 226, 194},
                               {241, 200, 238, 208, 238, 192}};
  // Every update accelerates, then moves; positions round halves to even.
  double pos[3][2] = {{200, 200}, {200, 200}, {200, 200}};
  double vel[3][2] = {{15, 0}, {14, 3}, {14, -3}};
  const double acc[3][2] = {{-0.7, 0}, {-0.7, -0.15}, {-0.7, 0.15}};
  for (int update = 1; update <= 20; ++update) {
    Frame({update == 1 ? Z : 0}); // fired, and moved once in the same frame
    for (int s = 0; s < 3; ++s) {
      for (int a = 0; a < 2; ++a) {
        vel[s][a] += acc[s][a];
        pos[s][a] += vel[s][a];
      }
      if (update == 20) {
        EXPECT_EQ(Objects[1 + s], nullptr); // removed at the update that ends its life
        continue;
      }
      ASSERT_NE(Objects[1 + s], nullptr) << update;
      const TObjBase& shot = *Objects[1 + s];
      EXPECT_EQ(shot.X, static_cast<int32_t>(std::nearbyint(pos[s][0]))) << update;
      EXPECT_EQ(shot.Y, static_cast<int32_t>(std::nearbyint(pos[s][1]))) << update;
      if (update <= 3) {
        EXPECT_EQ(shot.X, early[update - 1][2 * s]);
        EXPECT_EQ(shot.Y, early[update - 1][2 * s + 1]);
      }
    }
    if (update == 19) { // slowed to 1.7; the side shots close to parallel paths
      EXPECT_EQ(Of(1), (Motion{vel[0][0], 0, -0.7, 0}));
      EXPECT_NEAR(Of(2).VelY, 0.15, 1e-9);
    }
  }
  // Holding Z fires every sixth frame.
  for (int f = 0; f < 6; ++f) {
    Frame({Z});
    EXPECT_EQ(FindFreeSlot(), 4);
  }
  Frame({Z});
  EXPECT_EQ(FindFreeSlot(), 7);
}

TEST_F(CharacterTest, WallsRemoveShotsAtTheirProbe) {
  MapBuilder b(20, 20);
  for (int y = 0; y < 20; ++y)
    b.Set(1, 12, y, 6); // pixels 288..311 stop shots
  UseMap(b);
  TMainCharacter& p = Player(200, 200);
  p.Direction = FaceRight;
  Frame({Z});
  for (int f = 2; f <= 6; ++f)
    Frame({});
  EXPECT_EQ(Objects[1]->X, 275);
  Frame({}); // the probe 275.3 + 10.8 rounds to 286 and reaches 292
  EXPECT_EQ(Objects[1], nullptr);
  ASSERT_NE(Objects[2], nullptr);
  Frame({}); // side shots: 278.4 + 9.1 reaches past 288
  EXPECT_EQ(Objects[2], nullptr);
  EXPECT_EQ(Objects[3], nullptr);
}

TEST_F(CharacterTest, FullTableCreatesNothingButStillWaits) {
  TMainCharacter& p = Player(200, 200);
  for (int32_t i = 1; i < ObjectSlotCount; ++i)
    Put(i, std::make_unique<TCharacter>(i, 0, 1000, 1000 + i * 20));
  Frame({Z});
  EXPECT_EQ(p.Cooldown, 5);
  EXPECT_EQ(FindFreeSlot(), -1);
  Objects[50].reset();
  for (int f = 0; f < 5; ++f)
    Frame({Z});
  EXPECT_EQ(Objects[50], nullptr);
  EXPECT_EQ(p.Cooldown, 0);
  Frame({Z}); // only the first shot of the volley finds room
  ASSERT_NE(Objects[50], nullptr);
  EXPECT_EQ(Of(50), (Motion{0, 15 - 0.7, 0, -0.7})); // facing down: the straight shot
  EXPECT_EQ(FindFreeSlot(), -1);
}

TEST_F(CharacterTest, ByDefaultThePlayerReadsThePlatformKeyState) {
  TMainCharacter& p = Player(200, 200);
  KeyStateSource = SavedKeys;
  soft::SetKeyDown(VK_LEFT, true);
  RunFrame();
  soft::ReleaseAllKeys();
  EXPECT_EQ(p.X, 194);
  RunFrame();
  EXPECT_EQ(p.X, 194);
}
