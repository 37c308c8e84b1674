// The software display set up as the game sets it up, and pixels read back under Lock, for tests
// and benchmarks that draw through the substitute.
#pragma once

#include "display/UDxDraw.h"

#include <cstdint>

namespace testsupport {

// Forgets earlier settings and time, then makes fb a frame buffer on window and sets 640 x 480 at
// bits. False when the mode or the device could not be set up (fb is kept, to be stopped).
bool StartDisplay(TFrameBuffer*& fb, HWND window = nullptr, int bits = DisplayBits);
void StopDisplay(TFrameBuffer*& fb);

// Runs f(pixels, pitch in pixels) over the locked surface; false when it refused the lock.
template <class F> bool WithLockedPixels(IDirectDrawSurface7* surface, F f) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  f(static_cast<uint32_t*>(desc.lpSurface), static_cast<int>(desc.lPitch / 4));
  surface->Unlock(nullptr);
  return true;
}

// One 32-bit pixel; 0xDEADBEEF when the surface refused the lock.
uint32_t SurfacePixel(IDirectDrawSurface7* surface, int x, int y);

} // namespace testsupport
