// The game's drawing on the real data files, headless (no wait for a display): whole frames,
// their parts, and start-up. Pixel rates stand next to a memcpy of the same bytes in this run.
#include "app/Dialogue.h"
#include "app/InputScript.h"
#include "app/Recorder.h"
#include "app/Vesk3_main.h"
#include "app/kestrove.h"
#include "bitmap/SurfaceBitmap.h"
#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/game_harness.h"
#include "text/ConsoleWindow.h"
#include "text/HanFont.h"
#include "text/QdIme.h"
#include "world/Vesk3_obj.h"
#include "world/Vesk3_world.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr int64_t kScreenPixels = 640 * 480;

std::filesystem::path DataDir() {
  const char* dir = std::getenv("KESTROVE_DATA");
  const std::filesystem::path data = dir ? dir : KESTROVE_BINARY_DIR "/data";
  if (!std::filesystem::exists(data / "H3.MAF")) {
    std::fprintf(stderr, "no data files in %s (set KESTROVE_DATA)\n", data.c_str());
    std::exit(1);
  }
  return data;
}

// The platform, display and fonts the game needs, without the game.
class Platform : public TGameHarness {
public:
  Platform() : TGameHarness(DataDir()) {}
  HWND window = Window;
};

class Game : public Platform {
public:
  Game() : game(std::make_unique<TGameMain>(window, nullptr)) {}
  ~Game() {
    game->Shutdown();
    game.reset();
  }
  std::unique_ptr<TGameMain> game;
};

void Pixels(benchmark::State& state, int64_t perIteration) {
  state.SetItemsProcessed(state.iterations() * perIteration);
  state.SetBytesProcessed(state.iterations() * perIteration * 4);
}

// Walks left and right in turn, so the view keeps scrolling without leaving the start.
void Walk(int64_t frame) {
  const bool left = frame / 30 % 2 == 0;
  soft::SetKeyDown(VK_LEFT, left);
  soft::SetKeyDown(VK_RIGHT, !left);
}

void BM_FrameWalking(benchmark::State& state) {
  Game g;
  int64_t n = 0;
  for (auto _ : state) {
    Walk(n++);
    g.game->Frame();
  }
  soft::ReleaseAllKeys();
  Pixels(state, 2 * kScreenPixels);
}
BENCHMARK(BM_FrameWalking)->Unit(benchmark::kMicrosecond);

void BM_FrameVolley(benchmark::State& state) {
  Game g;
  int64_t n = 0, flying = 0;
  soft::SetKeyDown('Z', true); // the player fires again as soon as a volley is spent
  for (auto _ : state) {
    Walk(n++);
    g.game->Frame();
    for (auto& o : Objects)
      flying += o && o->Kind == 0;
  }
  soft::ReleaseAllKeys();
  state.counters["projectiles"] = static_cast<double>(flying) / static_cast<double>(n);
  Pixels(state, 2 * kScreenPixels);
}
BENCHMARK(BM_FrameVolley)->Unit(benchmark::kMicrosecond);

// A conversation's frame: a console line written and a key typed into the input window, each
// rendered as the game does, then the frame itself.
void BM_FrameWriting(benchmark::State& state) {
  Game g;
  g.game->StartConversation(1);
  int64_t n = 0;
  for (auto _ : state) {
    g.game->ShowMessage(0, u"우선 Ctrl 키를 누르고 움직이면 방향을 바꾸지");
    if (++n % 8 == 0) Ime->Reset();
    g.game->KeyChar(static_cast<uint16_t>(n % 8 == 0 ? 'r' : 'k'));
    g.game->Frame();
  }
  Pixels(state, 4 * kScreenPixels);
}
BENCHMARK(BM_FrameWriting)->Unit(benchmark::kMicrosecond);

void BM_DrawWorld(benchmark::State& state) {
  Game g;
  for (auto _ : state)
    g.game->DrawWorld(Objects[0]->X, Objects[0]->Y);
  Pixels(state, int64_t{ViewWidth} * ViewHeight);
}
BENCHMARK(BM_DrawWorld)->Unit(benchmark::kMicrosecond);

void Present(benchmark::State& state, TQdBitmap& bitmap, int32_t x, int32_t y, int32_t alpha) {
  for (auto _ : state)
    bitmap.DrawToScreen(nullptr, x, y, alpha);
  Pixels(state, int64_t{bitmap.Width} * bitmap.Height);
}

void BM_PresentWorldLayer(benchmark::State& state) {
  Game g;
  Present(state, *WorldView->Layers[0].Bitmap, ViewLeft, ViewTop, LayerOpacity[0]);
}
BENCHMARK(BM_PresentWorldLayer)->Unit(benchmark::kMicrosecond);

void BM_PresentConsole(benchmark::State& state) {
  Game g;
  Present(state, *ConsoleWindow->Bitmap, ConsoleLeft, ConsoleTop, 255);
}
BENCHMARK(BM_PresentConsole)->Unit(benchmark::kMicrosecond);

void BM_PresentInput(benchmark::State& state) {
  Game g;
  Present(state, *InputWindow->Bitmap, ConsoleLeft, InputTop, 255);
}
BENCHMARK(BM_PresentInput)->Unit(benchmark::kMicrosecond);

// One 24 by 24 sprite cell through its colour key, as the world view draws figures.
void BM_KeyedCellCopy(benchmark::State& state) {
  Game g;
  TQdBitmap& layer = *WorldView->Layers[0].Bitmap;
  TQdBitmap& sheet = *WorldView->SpriteSheet;
  for (auto _ : state)
    layer.Draw(Bounds(100, 100, 24, 24), sheet, Bounds(1, 1, 24, 24), true);
  Pixels(state, 24 * 24);
}
BENCHMARK(BM_KeyedCellCopy)->Unit(benchmark::kNanosecond);

// The same copy for a whole layer-sized block, straight through BltFast.
void BM_KeyedBltFastLayer(benchmark::State& state) {
  Game g;
  auto& target = static_cast<TDxBitmap&>(*WorldView->Layers[1].Bitmap);
  auto& source = static_cast<TDxBitmap&>(*WorldView->Layers[0].Bitmap);
  source.SetColorKey(0xFF000000u);
  RECT r{0, 0, source.Width, source.Height};
  for (auto _ : state)
    target.Surface->BltFast(0, 0, source.Surface.Get(), &r, DDBLTFAST_WAIT | DDBLTFAST_SRCCOLORKEY);
  Pixels(state, int64_t{source.Width} * source.Height);
}
BENCHMARK(BM_KeyedBltFastLayer)->Unit(benchmark::kMicrosecond);

void BM_FillRectLayer(benchmark::State& state) {
  Game g;
  TQdBitmap& layer = *WorldView->Layers[0].Bitmap;
  for (auto _ : state)
    layer.FillRect(0xB0001010u, Bounds(0, 0, layer.Width, layer.Height));
  Pixels(state, int64_t{layer.Width} * layer.Height);
}
BENCHMARK(BM_FillRectLayer)->Unit(benchmark::kMicrosecond);

// A full console line: 31 cells, Hangul and ASCII mixed, a highlighted word among them.
void BM_GlyphLine(benchmark::State& state) {
  Game g;
  TQdBitmap& console = *ConsoleWindow->Bitmap;
  const std::u16string_view line = u"우선 {Ctrl} 키를 누르고 움직이면 방향을";
  for (auto _ : state)
    HanFont.DrawText(console, 0, 16, line, 0xFFFFFFFF);
  Pixels(state, int64_t{ConsoleWidth} * 16);
}
BENCHMARK(BM_GlyphLine)->Unit(benchmark::kMicrosecond);

// Start-up: every data file loaded and the first world drawn.
void BM_Startup(benchmark::State& state) {
  Platform p;
  for (auto _ : state) {
    auto game = std::make_unique<TGameMain>(p.window, nullptr);
    game->Shutdown();
    game.reset();
  }
}
BENCHMARK(BM_Startup)->Unit(benchmark::kMillisecond);

// Whole headless runs through the message loop, as --headless --script plays them, without and
// with --record: 600 frames walking left and right with a key repeat every frame, more keys than
// a player gives. per_frame is the run's time (start-up included) per frame.
void BM_RunScripted(benchmark::State& state) {
  const bool record = state.range(0) != 0;
  constexpr int kFrames = 600;
  std::string script;
  for (int n = 0; n < kFrames; ++n) {
    const bool left = n / 30 % 2 == 0;
    if (n % 30 == 0 && n > 0) script += left ? "up Right\n" : "up Left\n";
    script += left ? "down Left\nwait 1\n" : "down Right\nwait 1\n";
  }
  TInputScript commands;
  std::string error;
  if (!ParseInputScript(script, ".", commands, error)) state.SkipWithError(error.c_str());
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(DataDir());
  const std::string out =
      (std::filesystem::temp_directory_path() / "kestrove-bench-record.txt").string();
  for (auto _ : state) {
    soft::ResetWin32();
    soft::SetPresenter(nullptr);
    TScriptRunner runner(commands, 0, true);
    std::unique_ptr<TSessionRecorder> recorder;
    if (record) {
      recorder = std::make_unique<TSessionRecorder>(false);
      recorder->Open(out);
      recorder->Comment(RecordingHeader());
      runner.OnWaitEnded([&recorder] { recorder->WaitEnded(); });
    }
    RunProgram([](HWND w, HDC dc) -> TGameBase* { return new TGameMain(w, dc); }, &runner,
               recorder.get());
    if (recorder) recorder->Finish();
  }
  std::filesystem::remove(out);
  std::filesystem::current_path(home);
  state.counters["per_frame"] = benchmark::Counter(
      kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunScripted)->ArgName("record")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The machine's own limit for moving the same number of bytes.
void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  Pixels(state, state.range(0));
}
BENCHMARK(BM_Memcpy)
    ->ArgName("pixels")
    ->Arg(24 * 24)                     // a cell
    ->Arg(ConsoleWidth * 16)           // a console line
    ->Arg(ConsoleWidth* InputHeight)   // the input window
    ->Arg(ConsoleWidth* ConsoleHeight) // the console
    ->Arg(ViewWidth* ViewHeight)       // a world layer
    ->Arg(2 * kScreenPixels)           // a frame's two screens
    ->Arg(4 * kScreenPixels)           // a writing frame's four screens
    ->Unit(benchmark::kMicrosecond);

} // namespace
