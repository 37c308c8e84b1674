#include "world/Vesk3_chara.h"

#include "platform/win/win_control.h"
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

constexpr int32_t L = VirtualKeyLeft, R = VirtualKeyRight, U = VirtualKeyUp, D = VirtualKeyDown;
constexpr int32_t Ctrl = VirtualKeyControl, Z = VirtualKeyZ;

} // namespace

TEST(Character, FacingAndSpriteCells) {
  TCharacter c(1, 1, 0, 0);
  EXPECT_EQ(c.Kind, 1);
  EXPECT_EQ(c.SpriteIndex(), 9);
  c.SetFacing(1, 0);
  c.Step = 3;
  EXPECT_EQ(c.SpriteIndex(), 14);
  c.SetFacing(-1, 1); // diagonal faces sideways
  EXPECT_EQ(c.Direction, FaceLeft);
  EXPECT_EQ(c.PrevDirection, FaceRight);
  EXPECT_EQ(c.FacingX(), -1);
  EXPECT_EQ(c.FacingY(), 0);
  c.SetFacing(0, -1);
  EXPECT_EQ(c.FacingY(), -1);
  c.SetFacing(0, 0); // no movement: direction stays, the previous one is forgotten
  EXPECT_EQ(c.Direction, FaceUp);
  EXPECT_EQ(c.PrevDirection, FaceUp);
  c.KeepFacing = true;
  c.SetFacing(0, 1);
  EXPECT_EQ(c.Direction, FaceUp);
  c.KeepFacing = false;
  c.SetFacing(0, 1);
  EXPECT_EQ(c.FacingY(), 1);
  c.SwapFacing();
  EXPECT_EQ(c.Direction, FaceUp);
  EXPECT_EQ(c.PrevDirection, FaceDown);
  EXPECT_TRUE(c.Update());
}

TEST_F(CharacterTest, KeysGiveStepsAndSpeeds) {
  TMainCharacter& p = Player(200, 200);
  Frame({R});
  EXPECT_EQ(p.X, 206);
  EXPECT_EQ(p.Step, 1);
  Frame({U, R}); // diagonal: 4 each way, facing sideways
  EXPECT_EQ(p.X, 210);
  EXPECT_EQ(p.Y, 196);
  EXPECT_EQ(p.Direction, FaceRight);
  Frame({L, R, U, D}); // right beats left, down beats up
  EXPECT_EQ(p.X, 214);
  EXPECT_EQ(p.Y, 200);
  Frame({Ctrl, U}); // slow, without turning
  EXPECT_EQ(p.Y, 198);
  EXPECT_EQ(p.Direction, FaceRight);
  EXPECT_FALSE(p.KeepFacing);
  Frame({});
  EXPECT_EQ(p.Step, 0); // toggled by each of the four moves
  Held = {U};
  KeyStateSource = [](int32_t) { return int16_t(0x0001); }; // pressed before, not held now
  RunFrame();
  EXPECT_EQ(p.Y, 198);
}

TEST_F(CharacterTest, EdgeGuardStopsAtZero) {
  TMainCharacter& p = Player(2, 100);
  Frame({L});
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.Step, 0);
  EXPECT_EQ(p.Direction, FaceLeft);

  p.X = 4;
  Frame({L}); // the guard sees 1; the box at -2 still falls in tile column 0
  EXPECT_EQ(p.X, -2);
  EXPECT_EQ(p.Step, 1);
  Frame({L});
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.Step, 1);

  p.X = 50;
  p.Y = 1;
  Frame({U, L});
  EXPECT_EQ(p.Y, 0);
  EXPECT_EQ(p.X, 50);
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
  EXPECT_EQ(p.X, 228);
  EXPECT_EQ(p.Y, 100);
  EXPECT_EQ(p.Step, 0);
  EXPECT_EQ(p.Direction, FaceRight);

  Frame({R, D}); // slides 6 down, still facing the wall
  EXPECT_EQ(p.X, 228);
  EXPECT_EQ(p.Y, 106);
  EXPECT_EQ(p.Step, 1);
  EXPECT_EQ(p.Direction, FaceRight);

  p.X = 100; // under the ceiling: A is blocked, B slides 6 across
  p.Y = 108;
  Frame({R, U});
  EXPECT_EQ(p.X, 106);
  EXPECT_EQ(p.Y, 108);
  EXPECT_EQ(p.Step, 0);

  // Boxed in: turns without moving.
  UseMap(MapBuilder(20, 20).Fill(1, 6));
  Frame({L});
  EXPECT_EQ(p.X, 106);
  EXPECT_EQ(p.Direction, FaceLeft);
  EXPECT_EQ(p.Step, 0);
}

TEST_F(CharacterTest, BumpingTurnsThePartnerAndStartsAConversation) {
  TMainCharacter& p = Player(100, 100);
  TCharacter& near = Put(1, std::make_unique<TCharacter>(1, 1, 120, 100));
  // Out of reach of the target, but within reach of where the walker stays.
  TCharacter& behind = Put(2, std::make_unique<TCharacter>(2, 2, 88, 104));
  Put(3, std::make_unique<TCharacter>(3, 3, 130, 100)); // beyond reach either way
  near.Direction = FaceUp;
  Frame({R});
  EXPECT_EQ(p.X, 100);
  EXPECT_EQ(p.Y, 100);
  EXPECT_EQ(p.Step, 1);
  EXPECT_EQ(near.Direction, FaceLeft);
  EXPECT_EQ(near.PrevDirection, FaceUp);
  EXPECT_EQ(behind.Direction, FaceLeft);
  EXPECT_THAT(Conversations, ElementsAre(1, 2));

  Conversations.clear();
  ConversationStarter = nullptr; // nobody listening: still no crash
  Frame({R});
  EXPECT_EQ(p.X, 100);
  EXPECT_TRUE(Conversations.empty());
}

TEST_F(CharacterTest, CharactersFarOutsideTheMapDoNotOverflow) {
  TMainCharacter& p = Player(INT32_MAX - 1, INT32_MAX - 1);
  Frame({R, D});
  EXPECT_EQ(p.X, INT32_MAX - 1);
  p.Move(INT32_MIN, 0, BodySize);
  EXPECT_EQ(p.X, 0);
}

namespace {

TObjShoot& Shot(int32_t slot) {
  return dynamic_cast<TObjShoot&>(*Objects[slot]);
}

} // namespace

TEST_F(CharacterTest, VolleyValuesForEachFacing) {
  TMainCharacter& p = Player(100, 100);
  p.Direction = FaceLeft;
  EXPECT_TRUE(p.FireVolley());
  EXPECT_EQ(p.Cooldown, 5);
  EXPECT_EQ(Shot(1).VelX, -15.0);
  EXPECT_EQ(Shot(1).AccX, 0.7);
  EXPECT_EQ(Shot(1).AccY, 0.0);
  EXPECT_EQ(Shot(2).VelX, -14.0);
  EXPECT_EQ(Shot(2).VelY, 3.0);
  EXPECT_EQ(Shot(2).AccY, -0.15);
  EXPECT_EQ(Shot(3).VelY, -3.0);
  EXPECT_EQ(Shot(3).AccY, 0.15);
  EXPECT_EQ(Shot(3).Life, 20);
  EXPECT_EQ(Shot(3).X, 100);

  Reset();
  TMainCharacter& q = Player(100, 100);
  q.Direction = FaceUp;
  q.FireVolley();
  EXPECT_EQ(Shot(1).VelY, -15.0);
  EXPECT_EQ(Shot(1).AccX, 0.0);
  EXPECT_EQ(Shot(1).AccY, 0.7);
  EXPECT_EQ(Shot(2).VelX, 3.0);
  EXPECT_EQ(Shot(2).VelY, -14.0);
  EXPECT_EQ(Shot(2).AccX, -0.15);
  EXPECT_EQ(Shot(3).VelX, -3.0);
  EXPECT_EQ(Shot(3).AccX, 0.15);
}

TEST_F(CharacterTest, VolleyFliesThreePathsFrameByFrame) {
  TMainCharacter& p = Player(200, 200);
  p.Direction = FaceRight;
  struct Pos {
    int32_t x1, x2, y2, y3;
  };
  const Pos early[] = {{214, 213, 203, 197}, {228, 226, 206, 194}, {241, 238, 208, 192}};
  // Every frame follows the same sums; positions round halves to even.
  double pos[3][2] = {{200, 200}, {200, 200}, {200, 200}};
  double vel[3][2] = {{15, 0}, {14, 3}, {14, -3}};
  const double acc[3][2] = {{-0.7, 0}, {-0.7, -0.15}, {-0.7, 0.15}};
  for (int update = 1; update <= 20; ++update) {
    Frame({update == 1 ? Z : 0}); // fired, and moved once in the same frame
    if (update <= 3) {
      const Pos& e = early[update - 1];
      EXPECT_EQ(Shot(1).X, e.x1);
      EXPECT_EQ(Shot(1).Y, 200);
      EXPECT_EQ(Shot(2).X, e.x2);
      EXPECT_EQ(Shot(2).Y, e.y2);
      EXPECT_EQ(Shot(3).X, e.x2);
      EXPECT_EQ(Shot(3).Y, e.y3);
    }
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
      EXPECT_EQ(Shot(1 + s).X, static_cast<int32_t>(std::nearbyint(pos[s][0]))) << update;
      EXPECT_EQ(Shot(1 + s).Y, static_cast<int32_t>(std::nearbyint(pos[s][1]))) << update;
    }
    if (update == 19) {
      EXPECT_NEAR(Shot(1).VelX, 1.7, 1e-9);
      EXPECT_NEAR(Shot(2).VelY, 0.15, 1e-9); // the side shots close to parallel paths
      EXPECT_EQ(Shot(2).X, Shot(3).X);
    }
  }
  // Holding Z fires every sixth frame.
  Frame({Z});
  EXPECT_EQ(FindFreeSlot(), 4);
  for (int f = 0; f < 5; ++f)
    Frame({Z});
  EXPECT_EQ(FindFreeSlot(), 4);
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
  EXPECT_EQ(Shot(1).X, 275);
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
  EXPECT_EQ(Shot(50).VelX, 0.0);
  EXPECT_EQ(Shot(50).AccY, -0.7); // facing down: the straight shot
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
