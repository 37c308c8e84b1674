// Whole frames of the real game on the real data, pinned by checksum: any change to a drawing
// routine that moves a single pixel of the back or front buffer shows up here.
#include "app/Dialogue.h"
#include "app/Vesk3_main.h"
#include "app/kestrove.h"
#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/game_harness.h"
#include "text/HanFont.h"
#include "world/Vesk3_obj.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// FNV-1a over the visible bytes of every row.
uint64_t SurfaceSum(IDirectDrawSurface7* surface) {
  DDSURFACEDESC2 d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  if (surface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return 0;
  uint64_t h = 14695981039346656037ull;
  for (DWORD y = 0; y < d.dwHeight; ++y) {
    const auto* row = static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch;
    for (DWORD i = 0; i < d.dwWidth * 4; ++i)
      h = (h ^ row[i]) * 1099511628211ull;
  }
  surface->Unlock(nullptr);
  return h;
}

class FrameGoldenTest : public ::testing::Test {
protected:
  void SetUp() override {
    harness_ = std::make_unique<TGameHarness>(std::filesystem::path(KESTROVE_BINARY_DIR) / "data");
    ASSERT_TRUE(harness_->Ready() && std::filesystem::exists("H3.MAF"))
        << "the data files are built with the game";
    owned_ = harness_->MakeGame();
    game_ = owned_.get();
  }
  void TearDown() override {
    if (game_) game_->Shutdown();
    owned_.reset();
    harness_.reset();
  }

  // The headless presenter's clock moves with each flip, so every run draws the same figures.
  void Frames(int n, std::initializer_list<int> held = {}) {
    for (int k : held)
      soft::SetKeyDown(k, true);
    for (int i = 0; i < n; ++i) {
      game_->Frame();
    }
    for (int k : held)
      soft::SetKeyDown(k, false);
  }
  void Type(const std::string& text) {
    for (char c : text) {
      soft::SetKeyDown(VK_SHIFT, c >= 'A' && c <= 'Z');
      game_->KeyChar(static_cast<uint16_t>(c));
      soft::SetKeyDown(VK_SHIFT, false);
    }
  }
  // Back and front buffer in one line, so a failure names the scene and both sums.
  std::string Sums() {
    char s[64];
    std::snprintf(s, sizeof s, "%016llx %016llx",
                  static_cast<unsigned long long>(SurfaceSum(FrameBuffer->BackBuffer.Get())),
                  static_cast<unsigned long long>(SurfaceSum(FrameBuffer->PrimarySurface.Get())));
    return s;
  }

  std::unique_ptr<TGameHarness> harness_;
  std::unique_ptr<TGameMain> owned_;
  TGameMain* game_ = nullptr;
};

} // namespace

TEST_F(FrameGoldenTest, ScriptedFramesKeepTheirChecksums) {
  std::vector<std::string> got;
  Frames(3);
  got.push_back(Sums()); // standing at the start
  Frames(20, {VK_DOWN});
  Frames(12, {VK_RIGHT});
  got.push_back(Sums()); // after walking down and right
  Frames(1, {'Z'});
  Frames(4);
  int flying = 0;
  for (auto& o : Objects)
    flying += o && o->Kind == 0;
  EXPECT_GT(flying, 0);
  got.push_back(Sums()); // a volley in flight
  Frames(50, {VK_UP});
  got.push_back(Sums()); // the volley gone, walked back
  game_->StartConversation(1);
  Type("tpsk"); // 세나
  game_->KeyChar(13);
  Type("ekstj"); // half-way through the next question
  Frames(2);
  got.push_back(Sums()); // console written, input window half typed, cursor blinking
  Frames(10);
  got.push_back(Sums());
  Frames(10);
  got.push_back(Sums());
  game_->KeyChar(13);
  Type("wjs xn"); // 전 투: a long answer that scrolls the console
  game_->KeyChar(13);
  Frames(1);
  got.push_back(Sums());
  game_->KeyChar(27);
  Frames(2);
  got.push_back(Sums()); // goodbye said, partner turned back

  const std::vector<std::string> want = {
      "edff4e31212c45f7 edff4e31212c45f7", // standing
      "9030b42f51257587 9030b42f51257587", // walked
      "bb10f7b9e31db451 bb10f7b9e31db451", // volley
      "e578cce3086bfd6e e578cce3086bfd6e", // walked back
      "75bc1b1b2f0a468d 75bc1b1b2f0a468d", // talking
      "476ed43d6d02c553 476ed43d6d02c553", // cursor blinked
      "75bc1b1b2f0a468d 75bc1b1b2f0a468d", // cursor back
      "f77b51cf133d8419 f77b51cf133d8419", // long answer
      "b8c1f9d7d81bb448 b8c1f9d7d81bb448", // goodbye
  };
  EXPECT_EQ(got, want);
}
