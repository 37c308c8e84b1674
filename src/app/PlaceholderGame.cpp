#include "app/PlaceholderGame.h"

#include "app/kestrove.h"
#include "display/UDxDraw.h"

void TPlaceholderGame::KeyChar(uint16_t key) {
  if (key == 27) PostMessageA(Window, WM_CLOSE, 0, 0);
}

bool TPlaceholderGame::Frame() {
  // Each channel rises and falls at its own pace.
  DWORD t = timeGetTime() / 16;
  auto wave = [](DWORD v) {
    return static_cast<uint32_t>((v & 0x100) ? 0xFF - (v & 0xFF) : v & 0xFF);
  };
  uint32_t colour = 0xFF000000u | wave(t) << 16 | wave(t * 3 / 4 + 85) << 8 | wave(t / 2 + 170);
  FrameBuffer->Clear(colour);
  POINT origin = WindowOrigin(Window);
  FrameBuffer->Flip(origin.x, origin.y);
  return true;
}
