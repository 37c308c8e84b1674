// Whole frames of the real game on the real data, pinned by checksum: any change to a drawing
// routine that moves a single pixel of the back or front buffer shows up here. The sums are in
// frame_golden.sums; a failure writes the frames it saw to build/test-output/frame_golden, and
// KESTROVE_UPDATE_GOLDENS=1 rewrites the sums instead.
#include "app/Dialogue.h"
#include "app/Vesk3_main.h"
#include "display/UDxDraw.h"
#include "platform/png.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/display.h"
#include "support/game_harness.h"
#include "world/Vesk3_obj.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// FNV-1a over the visible bytes of every row.
uint64_t SurfaceSum(const std::vector<uint32_t>& pixels) {
  uint64_t h = 14695981039346656037ull;
  for (uint32_t p : pixels)
    for (int i = 0; i < 4; ++i)
      h = (h ^ ((p >> (8 * i)) & 0xFF)) * 1099511628211ull;
  return h;
}

std::vector<uint32_t> Copy(IDirectDrawSurface7* surface) {
  std::vector<uint32_t> out;
  testsupport::WithLockedPixels(surface, [&](const uint32_t* pixels, int pitch) {
    for (int y = 0; y < ScreenHeight; ++y)
      out.insert(out.end(), pixels + y * pitch, pixels + y * pitch + ScreenWidth);
  });
  return out;
}

struct Scene {
  std::string name;
  std::vector<uint32_t> back, front;
  std::string Sums() const {
    char s[64];
    std::snprintf(s, sizeof s, "%016llx %016llx", static_cast<unsigned long long>(SurfaceSum(back)),
                  static_cast<unsigned long long>(SurfaceSum(front)));
    return s;
  }
};

// Compares every scene with the recorded sums. On a difference the frames seen are kept as PNG
// with their sums; with KESTROVE_UPDATE_GOLDENS=1 the sums are recorded anew.
void CheckAgainstGoldens(const std::vector<Scene>& scenes) {
  std::string got;
  for (const Scene& s : scenes)
    got += s.name + ' ' + s.Sums() + '\n';
  const std::filesystem::path file =
      std::filesystem::path(KESTROVE_TEST_SOURCE_DIR) / "app" / "frame_golden.sums";
  if (const char* update = std::getenv("KESTROVE_UPDATE_GOLDENS"); update && *update == '1') {
    std::ofstream(file) << got;
    std::fprintf(stderr, "\n*** KESTROVE_UPDATE_GOLDENS=1: rewrote %s ***\n\n", file.c_str());
    return;
  }
  std::stringstream want;
  want << std::ifstream(file).rdbuf();
  if (want.str() == got) return;
  const auto out = std::filesystem::path(KESTROVE_BINARY_DIR) / "test-output" / "frame_golden";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::ofstream(out / "frame_golden.sums") << got;
  for (const Scene& s : scenes) {
    if (s.back.size() != ScreenWidth * ScreenHeight || s.front.size() != s.back.size()) continue;
    WritePng((out / (s.name + "-back.png")).string(), s.back.data(), ScreenWidth, ScreenHeight,
             ScreenWidth);
    WritePng((out / (s.name + "-front.png")).string(), s.front.data(), ScreenWidth, ScreenHeight,
             ScreenWidth);
  }
  ADD_FAILURE() << "frame checksums differ from " << file.string() << "\nexpected:\n"
                << want.str() << "actual:\n"
                << got << "the frames and their sums are in " << out.string();
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
  void Capture(const char* name) {
    scenes_.push_back(
        {name, Copy(FrameBuffer->BackBuffer.Get()), Copy(FrameBuffer->PrimarySurface.Get())});
  }

  std::unique_ptr<TGameHarness> harness_;
  std::unique_ptr<TGameMain> owned_;
  TGameMain* game_ = nullptr;
  std::vector<Scene> scenes_;
};

} // namespace

TEST_F(FrameGoldenTest, ScriptedFramesKeepTheirChecksums) {
  Frames(3);
  Capture("standing"); // standing at the start
  Frames(20, {VK_DOWN});
  Frames(12, {VK_RIGHT});
  Capture("walked"); // after walking down and right
  Frames(1, {'Z'});
  Frames(4);
  int flying = 0;
  for (auto& o : Objects)
    flying += o && o->Kind == 0;
  EXPECT_GT(flying, 0);
  Capture("volley"); // a volley in flight
  Frames(50, {VK_UP});
  Capture("returned"); // the volley gone, walked back
  game_->StartConversation(1);
  Type("tpsk"); // 세나
  game_->KeyChar(13);
  Type("ekstj"); // half-way through the next question
  Frames(2);
  Capture("talking"); // console written, input window half typed, cursor blinking
  Frames(10);
  Capture("cursor-blinked");
  Frames(10);
  Capture("cursor-back");
  game_->KeyChar(13);
  Type("wjs xn"); // 전 투: a long answer that scrolls the console
  game_->KeyChar(13);
  Frames(1);
  Capture("long-answer");
  game_->KeyChar(27);
  Frames(2);
  Capture("goodbye"); // goodbye said, partner turned back

  CheckAgainstGoldens(scenes_);
}
