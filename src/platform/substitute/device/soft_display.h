// Substitute-only controls of the software DirectDraw/Direct3D: what the "hardware" offers, so
// tests reach every branch of device and texture creation, and who shows the picture.
#pragma once

#include "platform/substitute/ddraw/d3d_subset.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace soft {

struct DisplaySettings {
  bool directDrawAvailable = true; // false: DirectDrawCreateEx fails, as with no display driver
  bool halDevice = true;           // false: only the RGB software rasteriser can be created
  bool pow2Textures = true;
  bool squareTextures = false;
  std::vector<DDPIXELFORMAT> textureFormats;
  // Screen-aligned unscaled quads take a direct path; the general rasteriser gives the same
  // pixels (tests turn this off to compare).
  bool fastQuads = true;
};

// The settings every later DirectDrawCreateEx and device creation reads.
DisplaySettings& Settings();
void ResetSettings();
// A typical card's list: 16-bit formats, 32-bit with and without alpha, plus formats the game must
// skip (luminance, FourCC).
std::vector<DDPIXELFORMAT> DefaultTextureFormats();
DDPIXELFORMAT RgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a);

// Tests may hand out their own DirectDraw object (a recording fake) from DirectDrawCreateEx.
using DirectDrawFactory = std::function<HRESULT(void** out)>;
void SetDirectDrawFactory(DirectDrawFactory factory);

// Shows each flipped front buffer and provides time and input.
class Presenter {
public:
  virtual ~Presenter() = default;
  // The front buffer after a flip, as 0xXXRRGGBB rows top-down.
  virtual void Present(const uint32_t* pixels, int width, int height, int pitchPixels) = 0;
  // Milliseconds, as timeGetTime reports them.
  virtual DWORD Now() = 0;
  // Moves pending input into the message queue.
  virtual void Pump() {}
  // Blocks until input may have arrived; returns false when none ever can.
  virtual bool WaitForInput() { return false; }
  virtual void WindowCreated(HWND, const char* /*title*/) {}
  virtual void WindowShown(HWND) {}
  virtual void WindowDestroyed(HWND) {}
  virtual void CursorVisible(bool) {}
  virtual void ShowMessage(const char* /*caption*/, const char* /*text*/) {}
  // A console line, or the input line as it now reads, for a screen reader.
  virtual void MirrorText(bool /*inputLine*/, std::u16string_view /*text*/) {}
};

// The presenter in use; a headless one (platform/headless) until another is installed.
Presenter& CurrentPresenter();
void SetPresenter(std::unique_ptr<Presenter> presenter);

} // namespace soft
