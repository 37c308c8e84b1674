#include "support/game_harness.h"

#include "app/Dialogue.h"
#include "app/Screen.h"
#include "app/Vesk3_main.h"
#include "display/UDxDraw.h"
#include "text/HanFont.h"

#include "platform/substitute/win32/win_control.h"
#include "support/display.h"

namespace {
LRESULT CALLBACK QuietProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcA(h, m, w, l);
}
constexpr const char* kHarnessClass = "kestrove-harness";
} // namespace

TGameHarness::TGameHarness(const std::filesystem::path& dataDir) {
  std::error_code ec;
  home_ = std::filesystem::current_path(ec);
  std::filesystem::current_path(dataDir, ec);
  if (ec) return;
  soft::ResetWin32();
  dialogue::ResetDeflections();
  WNDCLASSA wc{};
  wc.lpfnWndProc = QuietProc;
  wc.lpszClassName = kHarnessClass;
  RegisterClassA(&wc);
  Window = CreateWindowExA(0, kHarnessClass, "", WS_POPUP, 0, 0, ScreenWidth, ScreenHeight, nullptr,
                           nullptr, nullptr, nullptr);
  LoadHanFont();
  ready_ = testsupport::StartDisplay(FrameBuffer, Window);
}

TGameHarness::~TGameHarness() {
  testsupport::StopDisplay(FrameBuffer);
  HanFont.ReleaseFonts();
  soft::ResetWin32();
  std::error_code ec;
  std::filesystem::current_path(home_, ec);
}

std::unique_ptr<TGameMain> TGameHarness::MakeGame() {
  return std::make_unique<TGameMain>(Window, nullptr);
}
