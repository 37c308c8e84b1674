#include "display/UDxDraw.h"

#include <algorithm>
#include <cstring>

TFrameBuffer* FrameBuffer = nullptr;

namespace {

using DirectDrawCreateExProc = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);

HMODULE g_ddrawLibrary = nullptr;
DirectDrawCreateExProc g_directDrawCreateEx = nullptr;

struct FormatRequest {
  int format;
  DDPIXELFORMAT* found;
};

HRESULT CALLBACK AcceptTextureFormat(LPDDPIXELFORMAT f, LPVOID context) {
  auto* request = static_cast<FormatRequest*>(context);
  if ((f->dwFlags & ~(DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV)) == 0) return 1;
  if (f->dwFourCC != 0) return 1;
  if ((f->dwFlags & ~DDPF_ALPHAPIXELS) == 0) return 1;
  bool match = false;
  switch (request->format) {
  case tfA4R4G4B4:
    match = f->dwRGBBitCount == 16 && f->dwRGBAlphaBitMask == 0xF000;
    break;
  case tfA1R5G5B5:
    match = f->dwRGBBitCount == 16 && f->dwRGBAlphaBitMask == 0x8000;
    break;
  case tfR5G6B5:
    match = f->dwRGBBitCount == 16 && f->dwRBitMask == 0xF800 && f->dwGBitMask == 0x07E0;
    break;
  case tfA8R8G8B8:
    match = f->dwRGBBitCount == 32 && f->dwRGBAlphaBitMask == 0xFF000000 &&
            f->dwRBitMask == 0xFF0000 && f->dwGBitMask == 0xFF00;
    break;
  }
  if (!match) return 1;
  std::memcpy(request->found, f, sizeof(DDPIXELFORMAT));
  return 0;
}

DWORD RoundUpPow2(int requested) {
  DWORD size = 4;
  while (size < static_cast<DWORD>(std::max(requested, 0)) && size < (1u << 30))
    size <<= 1;
  return size;
}

} // namespace

void LoadDirectDrawBinding() {
  g_ddrawLibrary = LoadLibraryA("DDraw.dll");
  g_directDrawCreateEx =
      g_ddrawLibrary ? reinterpret_cast<DirectDrawCreateExProc>(reinterpret_cast<void (*)()>(
                           GetProcAddress(g_ddrawLibrary, "DirectDrawCreateEx")))
                     : nullptr;
}

void FreeDirectDrawBinding() {
  g_directDrawCreateEx = nullptr;
  if (g_ddrawLibrary) FreeLibrary(g_ddrawLibrary);
  g_ddrawLibrary = nullptr;
}

bool DirectDrawBindingLoaded() {
  return g_directDrawCreateEx != nullptr;
}

TFrameBuffer::TFrameBuffer(HWND window) : Window(window) {
  DirectDraw.Reset();
  PrimarySurface.Reset();
  CreateDirectDraw();
}

bool TFrameBuffer::CreateDirectDraw() {
  if (!g_directDrawCreateEx) return false;
  HRESULT hr = g_directDrawCreateEx(nullptr, DirectDraw.OutVoid(), IID_IDirectDraw7, nullptr);
  if (FAILED(hr)) DirectDraw.Reset();
  return static_cast<bool>(DirectDraw);
}

bool TFrameBuffer::SetDisplayMode(int width, int height, int bits) {
  if (!DirectDraw) return false;
  if (DirectDraw->SetCooperativeLevel(Window,
                                      DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE) != 0)
    return false;
  if (DirectDraw->SetDisplayMode(width, height, bits, 0, 0) != 0) return false;

  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  desc.dwBackBufferCount = 1;
  if (DirectDraw->CreateSurface(&desc, PrimarySurface.Out(), nullptr) != 0) return false;

  DDSCAPS2 caps;
  std::memset(&caps, 0, sizeof caps);
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  if (PrimarySurface->GetAttachedSurface(&caps, BackBuffer.Out()) != 0) return false;

  CreateDevice(BackBuffer.Get());
  return true;
}

bool TFrameBuffer::CreateDevice(IDirectDrawSurface7* target) {
  Direct3D.Reset();
  if (FAILED(DirectDraw->QueryInterface(IID_IDirect3D7, Direct3D.OutVoid()))) {
    Direct3D.Reset();
    return false;
  }

  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  target->GetSurfaceDesc(&desc);
  RenderRect = {0, 0, static_cast<LONG>(desc.dwWidth), static_cast<LONG>(desc.dwHeight)};

  Device.Reset();
  if (FAILED(Direct3D->CreateDevice(IID_IDirect3DHALDevice, target, Device.Out()))) {
    if (FAILED(Direct3D->CreateDevice(IID_IDirect3DRGBDevice, target, Device.Out()))) {
      Device.Reset();
      return false;
    }
  }

  SetViewport(0, 0, RenderRect.right - RenderRect.left, RenderRect.bottom - RenderRect.top);

  D3DMATERIAL7 material;
  std::memset(&material, 0, sizeof material);
  material.diffuse.r = material.diffuse.g = material.diffuse.b = 1.0f;
  material.ambient.r = material.ambient.g = material.ambient.b = 1.0f;
  Device->SetMaterial(&material);

  IDirect3DDevice7* d = Device.Get();
  d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFFFFFFFF);
  d->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0);
  d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
  d->SetRenderState(D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_NONE);
  d->SetRenderState(D3DRENDERSTATE_EDGEANTIALIAS, 0);
  d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  d->SetRenderState(D3DRENDERSTATE_ALPHAREF, 0);
  d->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  d->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 0);
  return true;
}

bool TFrameBuffer::ReleaseDevice() {
  Device.Reset();
  Direct3D.Reset();
  return true;
}

bool TFrameBuffer::ReleaseAll() {
  ReleaseDevice();
  BackBuffer.Reset();
  DirectDraw.Reset();
  return true;
}

void TFrameBuffer::Destroy() {
  ReleaseAll();
  delete this; // the primary surface goes with the object
}

void TFrameBuffer::SetViewport(int x, int y, int width, int height) {
  D3DVIEWPORT7 viewport{static_cast<DWORD>(x),
                        static_cast<DWORD>(y),
                        static_cast<DWORD>(width),
                        static_cast<DWORD>(height),
                        0.0f,
                        1.0f};
  Device->SetViewport(&viewport);
}

HRESULT TFrameBuffer::Clear(uint32_t colour) {
  return Device->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
}

HRESULT TFrameBuffer::Flip(int, int) {
  HRESULT result = PrimarySurface->Flip(nullptr, DDFLIP_WAIT);
  AfterFlip(SUCCEEDED(result));
  return result;
}

void TFrameBuffer::CreateTexture(IDirect3DDevice7* device, int width, int height, int format,
                                 ComRef<IDirectDrawSurface7>& texture) {
  texture.Reset();
  D3DDEVICEDESC7 caps;
  std::memset(&caps, 0, sizeof caps);
  if (device->GetCaps(&caps) != 0) return;

  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);

  if (IsEqualGUID(caps.deviceGUID, IID_IDirect3DHALDevice) ||
      IsEqualGUID(caps.deviceGUID, IID_IDirect3DTnLHalDevice))
    desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  else
    desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;

  if (caps.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_POW2) {
    desc.dwWidth = RoundUpPow2(width);
    desc.dwHeight = RoundUpPow2(height);
  }
  if (caps.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY)
    desc.dwWidth = desc.dwHeight = std::max(desc.dwWidth, desc.dwHeight);

  if (format >= tfA4R4G4B4 && format <= tfA8R8G8B8) {
    FormatRequest request{format, &desc.ddpfPixelFormat};
    device->EnumTextureFormats(AcceptTextureFormat, &request);
  }
  if (desc.ddpfPixelFormat.dwRGBBitCount == 0) return;

  ComRef<IDirectDraw7> owner;
  {
    ComRef<IDirectDrawSurface7> target;
    if (FAILED(device->GetRenderTarget(target.Out())) || !target) return;
    if (FAILED(target->GetDDInterface(owner.OutVoid())) || !owner) return;
  }
  if (FAILED(owner->CreateSurface(&desc, texture.Out(), nullptr))) {
    texture.Reset();
    return;
  }
  DDCOLORKEY key{0, 0};
  texture->SetColorKey(DDCKEY_SRCBLT, &key);
}
