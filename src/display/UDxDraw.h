// The display: DirectDraw object, full-screen flip chain, Direct3D device with its fixed state,
// clearing, flipping and texture creation.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// The display depth program entry asks for.
constexpr int DisplayBits = 32;

enum TTextureFormat : int {
  tfA4R4G4B4 = 0,
  tfA1R5G5B5 = 1,
  tfR5G6B5 = 2,
  tfA8R8G8B8 = 3,
};

class TFrameBuffer {
public:
  explicit TFrameBuffer(HWND window);
  TFrameBuffer(const TFrameBuffer&) = delete;
  TFrameBuffer& operator=(const TFrameBuffer&) = delete;

  // False when there is no DirectDraw (library, entry point or driver missing).
  bool CreateDirectDraw();
  bool SetDisplayMode(int width, int height, int bits);
  bool CreateDevice(IDirectDrawSurface7* target);
  bool ReleaseDevice();
  bool ReleaseAll();
  // ReleaseAll, then frees the object.
  void Destroy();

  void SetViewport(int x, int y, int width, int height);
  HRESULT Clear(uint32_t colour);
  HRESULT Flip(int x, int y);
  // Texture is left empty on any failure.
  void CreateTexture(IDirect3DDevice7* device, int width, int height, int format,
                     ComRef<IDirectDrawSurface7>& texture);

  HWND Window;
  ComRef<IDirectDraw7> DirectDraw;
  ComRef<IDirectDrawSurface7> PrimarySurface;
  ComRef<IDirectDrawSurface7> BackBuffer;
  ComRef<IDirect3D7> Direct3D;
  ComRef<IDirect3DDevice7> Device;
  RECT RenderRect{0, 0, 0, 0};

private:
  ~TFrameBuffer() = default;
};

extern TFrameBuffer* FrameBuffer;

// Module start-up and shut-down of the DirectDraw binding: "DDraw.dll" and its one entry point.
void LoadDirectDrawBinding();
void FreeDirectDrawBinding();
bool DirectDrawBindingLoaded();
