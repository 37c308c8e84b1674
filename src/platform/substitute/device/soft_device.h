// The software Direct3D 7 object and device: fixed-function state, clears, and pre-transformed
// triangles with one texture stage and alpha blending.
#pragma once

#include "platform/substitute/device/soft_surface.h"

#include <array>

namespace soft {

class SoftDirect3D final : public Counted<IDirect3D7> {
public:
  explicit SoftDirect3D(SoftDirectDraw* owner);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE CreateDevice(REFCLSID clsid, LPDIRECTDRAWSURFACE7 target,
                                         LPDIRECT3DDEVICE7* device) override;

private:
  ComRef<IDirectDraw7> owner_;
};

class SoftDevice final : public Counted<IDirect3DDevice7> {
public:
  SoftDevice(const GUID& id, ComRef<IDirect3D7> d3d, SoftSurface* target);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE GetCaps(LPD3DDEVICEDESC7 desc) override;
  HRESULT STDMETHODCALLTYPE EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback,
                                               LPVOID context) override;
  HRESULT STDMETHODCALLTYPE BeginScene() override;
  HRESULT STDMETHODCALLTYPE EndScene() override;
  HRESULT STDMETHODCALLTYPE GetRenderTarget(LPDIRECTDRAWSURFACE7* target) override;
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color,
                                  D3DVALUE z, DWORD stencil) override;
  HRESULT STDMETHODCALLTYPE SetViewport(LPD3DVIEWPORT7 viewport) override;
  HRESULT STDMETHODCALLTYPE GetViewport(LPD3DVIEWPORT7 viewport) override;
  HRESULT STDMETHODCALLTYPE SetMaterial(LPD3DMATERIAL7 material) override;
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) override;
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices,
                                          DWORD count, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) override;
  HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                                 LPDWORD value) override;
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                                 DWORD value) override;

  struct Vertex {
    double x, y;
    double a, r, g, b; // diffuse, 0..255
    double u, v;
  };

private:
  void DrawTriangle(const Vertex& v0, const Vertex& v1, const Vertex& v2, bool flipWinding);
  // An axis-aligned strip quad with texels mapped one to one onto pixels; false when the quad
  // is not one.
  bool DrawAlignedQuad(const Vertex (&q)[4]);
  void Sample(double u, double v, bool minify, uint8_t out[4]) const;

  GUID id_;
  ComRef<IDirect3D7> d3d_;
  ComRef<IDirectDrawSurface7> targetRef_;
  SoftSurface* target_;
  ComRef<IDirectDrawSurface7> textureRef_;
  SoftSurface* texture_ = nullptr;
  D3DVIEWPORT7 viewport_;
  D3DMATERIAL7 material_{};
  bool inScene_ = false;
  std::array<DWORD, 256> render_{};
  std::array<std::array<DWORD, 32>, 8> stage_{};
};

} // namespace soft
