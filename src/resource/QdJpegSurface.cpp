#include "resource/QdJpegSurface.h"

#include "resource/QdJpeg.h"

#include <cstring>

void CreatePlainSurface(IDirectDraw7* directDraw, int width, int height, bool systemMemory,
                        ComRef<IDirectDrawSurface7>& surface) {
  surface.Reset();
  if (directDraw == nullptr || width <= 0 || height <= 0) return;
  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  // No pixel format asked for: the surface takes the display's.
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (systemMemory ? DDSCAPS_SYSTEMMEMORY : 0);
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);
  if (directDraw->CreateSurface(&desc, surface.Out(), nullptr) != DD_OK) {
    surface.Reset();
    return;
  }
  if (!surface) return;
  DDCOLORKEY key{0, 0};
  surface->SetColorKey(DDCKEY_SRCBLT, &key);
}

void LoadJpegSurface(IDirectDraw7* directDraw, ComRef<IDirectDrawSurface7>& surface, POINT& size,
                     const std::string& name) {
  TQdJpeg jpeg;
  if (!jpeg.LoadFromFile(name + ".jpg")) return;
  const int width = jpeg.Width(), height = jpeg.Height();
  size.x = width;
  size.y = height;

  CreatePlainSurface(directDraw, width, height, false, surface);
  if (!surface) return;

  DDPIXELFORMAT format;
  std::memset(&format, 0, sizeof format);
  format.dwSize = sizeof format;
  surface->GetPixelFormat(&format);
  const int bits = format.dwRBitMask == 0xFF0000 ? 32 : format.dwRBitMask == 0x7C00 ? 15 : 16;
  // The depth comes from the red mask alone; a surface whose pixels are of another size (24-bit
  // with the same red mask, say) would be overrun or garbled, so it is given up unwritten.
  if (format.dwRGBBitCount != static_cast<DWORD>(bits == 32 ? 32 : 16)) {
    surface.Reset();
    return;
  }

  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  if (surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return;
  if (desc.lpSurface != nullptr && desc.dwWidth >= static_cast<DWORD>(width) &&
      desc.dwHeight >= static_cast<DWORD>(height))
    jpeg.CopyPixelsTo(desc.lpSurface, desc.lPitch, nullptr, bits);
  surface->Unlock(nullptr);
}
