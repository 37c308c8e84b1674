// Bitmaps whose pixels live in display memory: TDxBitmap in a DirectDraw off-screen surface,
// TD3DBitmap in a Direct3D texture drawn on the screen as a blended quad. Rows are top-down with
// the surface's own pitch, and surface locks do not nest.
#pragma once

#include "bitmap/QdBitmap.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

// A pre-transformed vertex of flexible vertex format 0x1C4 (XYZRHW | DIFFUSE | SPECULAR | TEX1).
struct TQuadVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
  uint32_t specular;
  float u, v;
};
static_assert(sizeof(TQuadVertex) == 32);

constexpr DWORD QuadVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

class TDxBitmap : public TQdBitmap {
public:
  TDxBitmap();
  TDxBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw);
  TDxBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw);

  void Initialize(IDirectDraw7* directDraw) override;
  // The surface's own format decides the bit count; the argument is not used.
  bool Allocate(int32_t width, int32_t height, int32_t bitCount) override;
  bool FreeStorage() override;
  uint8_t* GetScanLine(int32_t y) override;
  void SetColorKey(uint32_t colour) override;
  void Lock() override;
  void Unlock() override;
  // Between surface bitmaps a DirectDraw blit; from a software bitmap the software copy.
  void Draw(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
            bool useKey) override;
  void DrawToScreen(HDC dc, int32_t x, int32_t y, int32_t alpha) override;
  void DrawRectToScreen(HDC dc, int32_t x, int32_t y, const TRect& r) override;
  // Hands out a new surface, or leaves surface empty.
  virtual void MakeSurface(int32_t width, int32_t height, ComRef<IDirectDrawSurface7>& surface);

  void SurfaceFill(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height);

  ComRef<IDirectDraw7> DirectDraw;
  ComRef<IDirectDrawSurface7> Surface;
  uint32_t SurfaceWidth = 0;
  uint32_t SurfaceHeight = 0;

private:
  bool surfaceLocked_ = false; // whether the surface itself accepted our Lock
};

class TD3DBitmap : public TDxBitmap {
public:
  TD3DBitmap();
  TD3DBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw);
  TD3DBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw);

  void Initialize(IDirectDraw7* directDraw) override;
  // An A8R8G8B8 texture from the frame buffer's device; possibly larger than asked for.
  void MakeSurface(int32_t width, int32_t height, ComRef<IDirectDrawSurface7>& surface) override;
  // Draws the texture unscaled at (x, y), each pixel weighted by its alpha times alpha / 255.
  void DrawToScreen(HDC dc, int32_t x, int32_t y, int32_t alpha) override;
  void DrawRectToScreen(HDC dc, int32_t x, int32_t y, const TRect& r) override;

  void ResetQuad();
  // 0: one/zero, 1: source alpha/inverse source alpha, 2: source alpha/one; others change nothing.
  void SetBlendMode(int32_t mode);
  // Four strip vertices covering r, sampling only the used part of the bitmap's texture.
  static void BuildQuad(TQuadVertex* vertices, const TRect& r, const TDxBitmap& bitmap,
                        int32_t alpha);

  TQuadVertex Quad[4] = {};
  int32_t SrcBlend = 0;
  int32_t DestBlend = 0;
};
