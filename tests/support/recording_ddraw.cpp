#include "support/recording_ddraw.h"

#include "platform/substitute/device/soft_display.h"

#include <cstdio>
#include <cstring>

namespace {

std::string Hex(DWORD v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

template <class I> class Recorder : public I {
public:
  Recorder(RecordingDisplay* d, std::string name) : d_(d), name_(std::move(name)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      d_->log.push_back(name_ + ".Released");
      delete this;
    }
    return left;
  }

protected:
  virtual ~Recorder() = default;
  HRESULT Call(const std::string& text) {
    d_->log.push_back(name_ + "." + text);
    size_t sp = text.find(' ');
    HRESULT hr = d_->Result(name_ + "." + text);
    if (hr == 0 && sp != std::string::npos) hr = d_->Result(name_ + "." + text.substr(0, sp));
    return hr;
  }
  RecordingDisplay* d_;
  std::string name_;
  ULONG refs_ = 1;
};

class RecSurface;

class RecDevice final : public Recorder<IDirect3DDevice7> {
public:
  RecDevice(RecordingDisplay* d, IDirectDrawSurface7* target)
      : Recorder(d, "Dev"), target_(target) {
    target_->AddRef();
  }
  ~RecDevice() override { target_->Release(); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPD3DDEVICEDESC7 desc) override {
    std::memset(desc, 0, sizeof *desc);
    desc->deviceGUID = d_->deviceGuid;
    desc->dpcTriCaps.dwTextureCaps = d_->textureCaps;
    return Call("GetCaps");
  }
  HRESULT STDMETHODCALLTYPE EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK cb,
                                               LPVOID ctx) override {
    HRESULT hr = Call("EnumTextureFormats");
    for (DDPIXELFORMAT f : d_->formats) {
      d_->log.push_back("Dev.EnumTextureFormats.offer " + std::to_string(f.dwRGBBitCount));
      if (cb(&f, ctx) == D3DENUMRET_CANCEL) break;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE BeginScene() override { return Call("BeginScene"); }
  HRESULT STDMETHODCALLTYPE EndScene() override { return Call("EndScene"); }
  HRESULT STDMETHODCALLTYPE GetRenderTarget(LPDIRECTDRAWSURFACE7* t) override {
    target_->AddRef();
    *t = target_;
    return Call("GetRenderTarget");
  }
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, LPD3DRECT, DWORD flags, D3DCOLOR color, D3DVALUE z,
                                  DWORD stencil) override {
    char b[96];
    std::snprintf(b, sizeof b, "Clear %u %s %s %g %u", count, Hex(flags).c_str(),
                  Hex(color).c_str(), z, stencil);
    return Call(b);
  }
  HRESULT STDMETHODCALLTYPE SetViewport(LPD3DVIEWPORT7 v) override {
    char b[96];
    std::snprintf(b, sizeof b, "SetViewport %u %u %u %u %g %g", v->dwX, v->dwY, v->dwWidth,
                  v->dwHeight, v->dvMinZ, v->dvMaxZ);
    return Call(b);
  }
  HRESULT STDMETHODCALLTYPE GetViewport(LPD3DVIEWPORT7) override { return Call("GetViewport"); }
  HRESULT STDMETHODCALLTYPE SetMaterial(LPD3DMATERIAL7 m) override {
    char b[160];
    std::snprintf(b, sizeof b, "SetMaterial diffuse %g %g %g %g ambient %g %g %g %g rest %g",
                  m->diffuse.r, m->diffuse.g, m->diffuse.b, m->diffuse.a, m->ambient.r,
                  m->ambient.g, m->ambient.b, m->ambient.a,
                  m->specular.r + m->specular.g + m->specular.b + m->specular.a + m->emissive.r +
                      m->emissive.g + m->emissive.b + m->emissive.a + m->power);
    return Call(b);
  }
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    return Call("RS " + std::to_string(s) + " " + Hex(v));
  }
  HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE, LPDWORD) override {
    return Call("GetRenderState");
  }
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE t, DWORD fvf, LPVOID, DWORD n,
                                          DWORD flags) override {
    return Call("DrawPrimitive " + std::to_string(t) + " " + Hex(fvf) + " " + std::to_string(n) +
                " " + std::to_string(flags));
  }
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7) override {
    return Call("SetTexture " + std::to_string(stage));
  }
  HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE,
                                                 LPDWORD) override {
    return Call("GetTextureStageState");
  }
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s,
                                                 DWORD v) override {
    return Call("TSS " + std::to_string(stage) + " " + std::to_string(s) + " " + Hex(v));
  }

private:
  IDirectDrawSurface7* target_;
};

class RecD3D final : public Recorder<IDirect3D7> {
public:
  using Recorder::Recorder;
  HRESULT STDMETHODCALLTYPE CreateDevice(REFCLSID id, LPDIRECTDRAWSURFACE7 target,
                                         LPDIRECT3DDEVICE7* device) override {
    *device = nullptr;
    HRESULT hr = Call("CreateDevice " + GuidName(id));
    if (hr == 0) *device = new RecDevice(d_, target);
    return hr;
  }
};

class RecSurface final : public Recorder<IDirectDrawSurface7> {
public:
  RecSurface(RecordingDisplay* d, std::string name, IDirectDraw7* owner)
      : Recorder(d, std::move(name)), owner_(owner) {}
  HRESULT STDMETHODCALLTYPE Blt(LPRECT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD flags,
                                LPDDBLTFX) override {
    return Call("Blt " + Hex(flags));
  }
  HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7, LPRECT,
                                    DWORD trans) override {
    return Call("BltFast " + std::to_string(x) + " " + std::to_string(y) + " " + Hex(trans));
  }
  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7, DWORD flags) override {
    return Call("Flip " + Hex(flags));
  }
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* s) override {
    *s = nullptr;
    HRESULT hr = Call("GetAttachedSurface " + Hex(caps->dwCaps));
    if (hr == 0) *s = new RecSurface(d_, "Back", owner_);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) override {
    return Call("GetColorKey");
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT) override {
    return Call("GetPixelFormat");
  }
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 desc) override {
    HRESULT hr = Call("GetSurfaceDesc " + std::to_string(desc->dwSize));
    desc->dwWidth = static_cast<DWORD>(d_->surfaceWidth);
    desc->dwHeight = static_cast<DWORD>(d_->surfaceHeight);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT, LPDDSURFACEDESC2, DWORD flags, HANDLE) override {
    return Call("Lock " + Hex(flags));
  }
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override {
    return Call("SetColorKey " + Hex(flags) + " " + Hex(key->dwColorSpaceLowValue) + " " +
                Hex(key->dwColorSpaceHighValue));
  }
  HRESULT STDMETHODCALLTYPE Unlock(LPRECT) override { return Call("Unlock"); }
  HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID* dd) override {
    owner_->AddRef();
    *dd = owner_;
    return Call("GetDDInterface");
  }

private:
  IDirectDraw7* owner_;
};

class RecDirectDraw final : public Recorder<IDirectDraw7> {
public:
  using Recorder::Recorder;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    HRESULT hr = Call("QueryInterface " + GuidName(riid));
    if (hr == 0) *object = static_cast<IDirect3D7*>(new RecD3D(d_, "D3D"));
    return hr;
  }
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 d, LPDIRECTDRAWSURFACE7* s,
                                          IUnknown*) override {
    *s = nullptr;
    char b[160];
    std::snprintf(b, sizeof b, "CreateSurface size %u flags %s caps %s %s back %u %ux%u bits %u",
                  d->dwSize, Hex(d->dwFlags).c_str(), Hex(d->ddsCaps.dwCaps).c_str(),
                  Hex(d->ddsCaps.dwCaps2).c_str(), d->dwBackBufferCount, d->dwWidth, d->dwHeight,
                  d->ddpfPixelFormat.dwRGBBitCount);
    HRESULT hr = Call(b);
    if (hr == 0)
      *s = new RecSurface(d_, (d->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) ? "Primary" : "Surface",
                          this);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD flags) override {
    return Call("SetCooperativeLevel " + Hex(flags));
  }
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD w, DWORD h, DWORD bpp, DWORD rate,
                                           DWORD flags) override {
    return Call("SetDisplayMode " + std::to_string(w) + " " + std::to_string(h) + " " +
                std::to_string(bpp) + " " + std::to_string(rate) + " " + std::to_string(flags));
  }
};

template <class I> HRESULT Recorder<I>::QueryInterface(REFIID riid, void** object) {
  *object = nullptr;
  Call("QueryInterface " + GuidName(riid));
  return E_NOINTERFACE;
}

} // namespace

std::string GuidName(REFGUID g) {
  if (g == IID_IDirect3D7) return "IID_IDirect3D7";
  if (g == IID_IDirectDraw7) return "IID_IDirectDraw7";
  if (g == IID_IDirect3DHALDevice) return "HAL";
  if (g == IID_IDirect3DRGBDevice) return "RGB";
  if (g == IID_IDirect3DTnLHalDevice) return "TnLHal";
  return "other";
}

RecordingDisplay::RecordingDisplay() : dd_(new RecDirectDraw(this, "DD")) {}

RecordingDisplay::~RecordingDisplay() {
  soft::SetDirectDrawFactory(nullptr);
  dd_->Release();
}

void RecordingDisplay::InstallAsFactory() {
  soft::SetDirectDrawFactory([this](void** out) {
    dd_->AddRef();
    *out = dd_;
    return DD_OK;
  });
}

HRESULT RecordingDisplay::Result(const std::string& call) {
  auto it = fail.find(call);
  return it == fail.end() ? DD_OK : it->second;
}
