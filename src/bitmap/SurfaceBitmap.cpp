#include "bitmap/SurfaceBitmap.h"

#include "display/UDxDraw.h"
#include "platform/fatal.h"

#include <cstring>

namespace {

RECT ToRect(const TRect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}

DDSURFACEDESC2 EmptyDesc() {
  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  return desc;
}

} // namespace

// ---- TDxBitmap ----

TDxBitmap::TDxBitmap() {
  Initialize(nullptr);
}

TDxBitmap::TDxBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  Allocate(width, height, bitCount);
}

TDxBitmap::TDxBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  LoadFromFile(fileName, bitCount);
}

void TDxBitmap::Initialize(IDirectDraw7* directDraw) {
  TQdBitmap::Initialize(directDraw);
  Kind = 1;
  DirectDraw.Reset();
  Surface.Reset();
  surfaceLocked_ = false;
  SurfaceWidth = 0;
  SurfaceHeight = 0;
  DirectDraw = ComRef<IDirectDraw7>::Share(directDraw);
  FillProc = static_cast<TRectProc>(&TDxBitmap::SurfaceFill);
}

bool TDxBitmap::Allocate(int32_t width, int32_t height, int32_t) {
  Surface.Reset();
  // Sizes from a broken file header never reach the driver.
  if (width <= 0 || height <= 0 || int64_t(width) * height * 4 > MaxStorageBytes) return false;
  MakeSurface(width, height, Surface);
  if (!Surface) return false;
  DDSURFACEDESC2 desc = EmptyDesc();
  Surface->GetSurfaceDesc(&desc);
  Width = width;
  Height = height;
  BitCount = static_cast<int32_t>(desc.ddpfPixelFormat.dwRGBBitCount);
  Pitch = desc.lPitch;
  SurfaceWidth = desc.dwWidth;
  SurfaceHeight = desc.dwHeight;
  return true;
}

bool TDxBitmap::FreeStorage() {
  Surface.Reset();
  surfaceLocked_ = false;
  return true;
}

uint8_t* TDxBitmap::GetScanLine(int32_t y) {
  QD_ASSERT(LockCount > 0, Unit, 1073);
  if (Pixels == nullptr || y < 0 || y >= Height) return nullptr;
  return Pixels + static_cast<ptrdiff_t>(y) * Pitch;
}

void TDxBitmap::SetColorKey(uint32_t colour) {
  if (BitCount == 16) colour = ColorTo16(colour);
  if (Surface) {
    SetSourceColorKey(Surface.Get(), colour);
  }
  ColorKey = colour;
}

void TDxBitmap::Lock() {
  QD_ASSERT(LockCount == 0, Unit, 1106);
  LockCount = 1;
  Pixels = nullptr;
  if (!Surface) return;
  DDSURFACEDESC2 desc = EmptyDesc();
  // A refused lock (a lost or busy surface) leaves no pixels: every row reads as nil.
  surfaceLocked_ = Surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) == DD_OK;
  if (!surfaceLocked_) return;
  Pixels = static_cast<uint8_t*>(desc.lpSurface);
  Pitch = desc.lPitch;
}

void TDxBitmap::Unlock() {
  QD_ASSERT(LockCount == 1, Unit, 1118);
  LockCount = 0;
  if (Surface && surfaceLocked_) Surface->Unlock(nullptr);
  surfaceLocked_ = false;
  Pixels = nullptr;
}

void TDxBitmap::Draw(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
                     bool useKey) {
  TRect dst = destination;
  TRect src = sourceRect;
  if (!ClipForDraw(src, dst, source)) return;
  auto* surfaceSource = dynamic_cast<TDxBitmap*>(&source);
  if (source.Kind == 0 || surfaceSource == nullptr) {
    TQdBitmap::Draw(dst, source, src, useKey);
    return;
  }
  if (!Surface || !surfaceSource->Surface) return;
  RECT r = ToRect(src);
  Surface->BltFast(static_cast<DWORD>(dst.left), static_cast<DWORD>(dst.top),
                   surfaceSource->Surface.Get(), &r,
                   DDBLTFAST_WAIT | (useKey ? DDBLTFAST_SRCCOLORKEY : 0));
}

void TDxBitmap::DrawToScreen(HDC, int32_t x, int32_t y, int32_t) {
  if (FrameBuffer == nullptr || !FrameBuffer->BackBuffer || !Surface) return;
  FrameBuffer->BackBuffer->BltFast(static_cast<DWORD>(x), static_cast<DWORD>(y), Surface.Get(),
                                   nullptr, DDBLTFAST_WAIT);
}

void TDxBitmap::DrawRectToScreen(HDC, int32_t x, int32_t y, const TRect& r) {
  if (FrameBuffer == nullptr || !FrameBuffer->PrimarySurface || !Surface) return;
  RECT src = ToRect(r);
  FrameBuffer->PrimarySurface->BltFast(static_cast<DWORD>(x + r.left),
                                       static_cast<DWORD>(y + r.top), Surface.Get(), &src,
                                       DDBLTFAST_WAIT);
}

void TDxBitmap::MakeSurface(int32_t width, int32_t height, ComRef<IDirectDrawSurface7>& surface) {
  surface.Reset();
  if (!DirectDraw) return;
  DDSURFACEDESC2 desc = EmptyDesc();
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);
  if (DirectDraw->CreateSurface(&desc, surface.Out(), nullptr) != DD_OK) surface.Reset();
}

void TDxBitmap::SurfaceFill(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!Surface) return;
  RECT r = ToRect(Bounds(x, y, width, height));
  DDBLTFX fx;
  std::memset(&fx, 0, sizeof fx);
  fx.dwSize = sizeof fx;
  fx.dwFillColor = colour;
  Surface->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx);
}

// ---- TD3DBitmap ----

TD3DBitmap::TD3DBitmap() {
  Initialize(nullptr);
}

TD3DBitmap::TD3DBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  Allocate(width, height, bitCount);
  ResetQuad();
}

TD3DBitmap::TD3DBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  LoadFromFile(fileName, bitCount);
  ResetQuad();
}

void TD3DBitmap::Initialize(IDirectDraw7* directDraw) {
  TDxBitmap::Initialize(directDraw);
  Kind = 2;
  std::memset(Quad, 0, sizeof Quad);
}

void TD3DBitmap::MakeSurface(int32_t width, int32_t height, ComRef<IDirectDrawSurface7>& surface) {
  surface.Reset();
  if (FrameBuffer == nullptr || !FrameBuffer->Device) return;
  FrameBuffer->CreateTexture(FrameBuffer->Device.Get(), width, height, tfA8R8G8B8, surface);
}

void TD3DBitmap::DrawToScreen(HDC, int32_t x, int32_t y, int32_t alpha) {
  if (FrameBuffer == nullptr || !FrameBuffer->Device || !Surface) return;
  IDirect3DDevice7* device = FrameBuffer->Device.Get();
  device->BeginScene();
  TQuadVertex vertices[4];
  BuildQuad(vertices, Bounds(x, y, Width, Height), *this, alpha);
  // Always blended by source alpha, whatever SetBlendMode chose and even at alpha 255.
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetTexture(0, Surface.Get());
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, QuadVertexFormat, vertices, 4, 0);
  device->EndScene();
}

void TD3DBitmap::DrawRectToScreen(HDC, int32_t x, int32_t y, const TRect& r) {
  if (FrameBuffer == nullptr || !FrameBuffer->PrimarySurface || !Surface) return;
  // The window's client area starts at the screen's origin in exclusive full-screen mode.
  const POINT origin{0, 0};
  RECT src = ToRect(r);
  FrameBuffer->PrimarySurface->BltFast(static_cast<DWORD>(x + origin.x + r.left),
                                       static_cast<DWORD>(y + origin.y + r.top), Surface.Get(),
                                       &src, DDBLTFAST_WAIT);
}

void TD3DBitmap::ResetQuad() {
  BuildQuad(Quad, Bounds(0, 0, Width, Height), *this, 255);
  SetBlendMode(1);
}

void TD3DBitmap::SetBlendMode(int32_t mode) {
  switch (mode) {
  case 0:
    SrcBlend = D3DBLEND_ONE;
    DestBlend = D3DBLEND_ZERO;
    break;
  case 1:
    SrcBlend = D3DBLEND_SRCALPHA;
    DestBlend = D3DBLEND_INVSRCALPHA;
    break;
  case 2:
    SrcBlend = D3DBLEND_SRCALPHA;
    DestBlend = D3DBLEND_ONE;
    break;
  default:
    break;
  }
}

void TD3DBitmap::BuildQuad(TQuadVertex* vertices, const TRect& r, const TDxBitmap& bitmap,
                           int32_t alpha) {
  // A bitmap without a texture has no extent to divide by; its quad samples nothing.
  const float u = bitmap.SurfaceWidth != 0
                      ? static_cast<float>(bitmap.Width) / static_cast<float>(bitmap.SurfaceWidth)
                      : 0.0f;
  const float v = bitmap.SurfaceHeight != 0
                      ? static_cast<float>(bitmap.Height) / static_cast<float>(bitmap.SurfaceHeight)
                      : 0.0f;
  const uint32_t diffuse = (static_cast<uint32_t>(alpha) & 0xFF) << 24 | 0x00FFFFFFu;
  const float left = static_cast<float>(r.left) - 0.5f;
  const float top = static_cast<float>(r.top) - 0.5f;
  const float right = static_cast<float>(r.right) - 0.5f;
  const float bottom = static_cast<float>(r.bottom) - 0.5f;
  const float xs[4] = {left, right, left, right};
  const float ys[4] = {top, top, bottom, bottom};
  const float us[4] = {0.0f, u, 0.0f, u};
  const float vs[4] = {0.0f, 0.0f, v, v};
  for (int i = 0; i < 4; ++i)
    vertices[i] = TQuadVertex{xs[i], ys[i], 0.0f, 1.0f, diffuse, 0, us[i], vs[i]};
}
