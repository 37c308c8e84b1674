#include "support/game_harness.h"

#include "app/Dialogue.h"
#include "app/Vesk3_main.h"
#include "display/UDxDraw.h"
#include "text/HanFont.h"

#ifndef _WIN32
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#endif

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
#ifndef _WIN32
  soft::ResetWin32();
  soft::ResetSettings();
  soft::SetPresenter(nullptr); // a fresh virtual clock
#endif
  dialogue::ResetDeflections();
  WNDCLASSA wc{};
  wc.lpfnWndProc = QuietProc;
  wc.lpszClassName = kHarnessClass;
  RegisterClassA(&wc);
  Window = CreateWindowExA(0, kHarnessClass, "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                           nullptr, nullptr);
  LoadDirectDrawBinding();
  LoadHanFont();
  FrameBuffer = new TFrameBuffer(Window);
  ready_ = FrameBuffer->SetDisplayMode(640, 480, DisplayBits) && FrameBuffer->Device;
}

TGameHarness::~TGameHarness() {
  if (FrameBuffer) FrameBuffer->Destroy();
  FrameBuffer = nullptr;
  HanFont.ReleaseFonts();
  FreeDirectDrawBinding();
#ifndef _WIN32
  soft::ResetWin32();
#endif
  std::error_code ec;
  std::filesystem::current_path(home_, ec);
}

std::unique_ptr<TGameMain> TGameHarness::MakeGame() {
  return std::make_unique<TGameMain>(Window, nullptr);
}
