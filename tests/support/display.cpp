#include "support/display.h"

#include "app/Screen.h"
#include "platform/substitute/device/soft_display.h"

namespace testsupport {

bool StartDisplay(TFrameBuffer*& fb, HWND window, int bits) {
  soft::ResetSettings();
  soft::SetPresenter(nullptr); // a fresh virtual clock
  LoadDirectDrawBinding();
  fb = new TFrameBuffer(window);
  return fb->SetDisplayMode(ScreenWidth, ScreenHeight, bits) && fb->Device;
}

void StopDisplay(TFrameBuffer*& fb) {
  if (fb) fb->Destroy();
  fb = nullptr;
  FreeDirectDrawBinding();
  soft::ResetSettings();
}

uint32_t SurfacePixel(IDirectDrawSurface7* surface, int x, int y) {
  uint32_t v = 0xDEADBEEF;
  WithLockedPixels(surface, [&](const uint32_t* pixels, int pitch) { v = pixels[y * pitch + x]; });
  return v;
}

} // namespace testsupport
