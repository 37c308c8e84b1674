#include "platform/substitute/device/soft_device.h"

#include "platform/pixel_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace soft {
namespace {

constexpr DWORD kMaxVertices = 1u << 20;

uint8_t Mul8(int a, int b) {
  return static_cast<uint8_t>((a * b + 127) / 255);
}

int BlendFactor(DWORD f, const uint8_t s[4], const uint8_t d[4], int ch) {
  // s and d are {a, r, g, b}; ch selects the channel being blended.
  switch (f) {
  case D3DBLEND_ZERO:
    return 0;
  case D3DBLEND_ONE:
    return 255;
  case D3DBLEND_SRCCOLOR:
    return s[ch];
  case D3DBLEND_INVSRCCOLOR:
    return 255 - s[ch];
  case D3DBLEND_SRCALPHA:
    return s[0];
  case D3DBLEND_INVSRCALPHA:
    return 255 - s[0];
  case D3DBLEND_DESTALPHA:
    return d[0];
  case D3DBLEND_INVDESTALPHA:
    return 255 - d[0];
  case D3DBLEND_DESTCOLOR:
    return d[ch];
  case D3DBLEND_INVDESTCOLOR:
    return 255 - d[ch];
  case 11:
    return ch == 0 ? 255 : std::min<int>(s[0], 255 - d[0]); // SRCALPHASAT
  default:
    return 255;
  }
}

bool AlphaPasses(DWORD func, int a, int ref) {
  switch (func) {
  case D3DCMP_NEVER:
    return false;
  case D3DCMP_LESS:
    return a < ref;
  case D3DCMP_EQUAL:
    return a == ref;
  case D3DCMP_LESSEQUAL:
    return a <= ref;
  case D3DCMP_GREATER:
    return a > ref;
  case D3DCMP_NOTEQUAL:
    return a != ref;
  case D3DCMP_GREATEREQUAL:
    return a >= ref;
  default:
    return true;
  }
}

int Wrap(int i, int n, DWORD mode) {
  if (mode == 3) return std::clamp(i, 0, n - 1); // clamp
  if (mode == 2) {                               // mirror
    int period = 2 * n;
    int m = ((i % period) + period) % period;
    return m < n ? m : period - 1 - m;
  }
  return ((i % n) + n) % n; // wrap, the default
}

uint8_t Combine(DWORD op, uint8_t arg1, uint8_t arg2, uint8_t current) {
  switch (op) {
  case D3DTOP_SELECTARG1:
    return arg1;
  case D3DTOP_SELECTARG2:
    return arg2;
  case D3DTOP_MODULATE:
    return Mul8(arg1, arg2);
  case 5:
    return static_cast<uint8_t>(std::min(255, 2 * Mul8(arg1, arg2))); // MODULATE2X
  case 6:
    return static_cast<uint8_t>(std::min(255, 4 * Mul8(arg1, arg2))); // MODULATE4X
  case 7:
    return static_cast<uint8_t>(std::min(255, arg1 + arg2)); // ADD
  default:
    return current; // DISABLE
  }
}

// Texture times diffuse, blended over the destination by its alpha: every channel, alpha
// included, becomes (src * a + dst * (255 - a) + 127) / 255 with src = tex * diffuse rounded the
// same way. A missing alpha reads as opaque on either side. Diffuse white leaves the texel as it
// is, and a = 0 or 255 reduce to the destination or the source, so one formula serves them all.
uint32_t BlendPixel(uint32_t t, uint32_t d, uint32_t diffuse, bool white) {
  int sc[4], dc[4];
  for (int k = 0; k < 4; ++k) {
    sc[k] = static_cast<int>((t >> (8 * k)) & 0xFF);
    dc[k] = static_cast<int>((d >> (8 * k)) & 0xFF);
    if (!white) sc[k] = Mul8(sc[k], static_cast<int>((diffuse >> (8 * k)) & 0xFF));
  }
  const int a = sc[3], na = 255 - a;
  uint32_t out = 0;
  for (int k = 0; k < 4; ++k)
    out |= static_cast<uint32_t>((sc[k] * a + dc[k] * na + 127) / 255) << (8 * k);
  return out;
}

// The choices are template arguments so that the loop carries no tests it does not need.
template <bool contiguous, bool white, bool texAlpha, bool dstAlpha>
void BlendSpan(uint32_t* row, const uint32_t* texRow, const int* column, int count,
               uint32_t diffuse) {
  const uint32_t texFill = texAlpha ? 0 : 0xFF000000u, dstFill = dstAlpha ? 0 : 0xFF000000u;
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i texOr = _mm_set1_epi32(static_cast<int>(texFill));
  const __m128i dstOr = _mm_set1_epi32(static_cast<int>(dstFill));
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i c255 = _mm_set1_epi16(255), c127 = _mm_set1_epi16(127);
  const __m128i div255 = _mm_set1_epi16(static_cast<short>(0x8081));
  const __m128i diffuse16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(diffuse)), zero);
  // x / 255 for x below 65536 is (x * 0x8081) >> 23.
  auto round255 = [&](__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(x, c127), div255), 7);
  };
  auto blend = [&](__m128i s, __m128i d) {
    if constexpr (!white) s = round255(_mm_mullo_epi16(s, diffuse16));
    __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    __m128i na = _mm_sub_epi16(c255, a);
    return round255(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, na)));
  };
  bool haveRun = false;
  __m128i runTexel = zero, runSource = zero, runInverse = zero;
  for (; i + 4 <= count; i += 4) {
    __m128i t;
    if constexpr (contiguous)
      t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texRow + column[0] + i));
    else
      t = _mm_setr_epi32(
          static_cast<int>(texRow[column[i]]), static_cast<int>(texRow[column[i + 1]]),
          static_cast<int>(texRow[column[i + 2]]), static_cast<int>(texRow[column[i + 3]]));
    if constexpr (!texAlpha) t = _mm_or_si128(t, texOr);
    // Under a white diffuse, opaque texels replace the destination and clear ones leave it: a
    // group made only of those needs no arithmetic, and an opaque one not even the destination.
    __m128i texA = zero, opaque = zero;
    if constexpr (white) {
      texA = _mm_and_si128(t, alphaMask);
      opaque = _mm_cmpeq_epi32(texA, alphaMask);
      if (_mm_movemask_epi8(opaque) == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), t);
        continue;
      }
    }
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    if constexpr (!dstAlpha) d = _mm_or_si128(d, dstOr);
    if constexpr (white) {
      if (_mm_movemask_epi8(_mm_or_si128(opaque, _mm_cmpeq_epi32(texA, zero))) == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i),
                         _mm_or_si128(_mm_and_si128(opaque, t), _mm_andnot_si128(opaque, d)));
        continue;
      }
    }
    // A run of one texel value (a window's plain background) has its source side worked out
    // once: s * a + 127 and 255 - a.
    bool run = haveRun && _mm_movemask_epi8(_mm_cmpeq_epi32(t, runTexel)) == 0xFFFF;
    if (!run && _mm_movemask_epi8(_mm_cmpeq_epi32(t, _mm_shuffle_epi32(t, 0))) == 0xFFFF) {
      __m128i s = _mm_unpacklo_epi8(t, zero);
      if constexpr (!white) s = round255(_mm_mullo_epi16(s, diffuse16));
      const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
      runTexel = t;
      runInverse = _mm_sub_epi16(c255, a);
      runSource = _mm_add_epi16(_mm_mullo_epi16(s, a), c127);
      haveRun = run = true;
    }
    if (run) {
      auto finish = [&](__m128i d16) {
        const __m128i x = _mm_add_epi16(runSource, _mm_mullo_epi16(d16, runInverse));
        return _mm_srli_epi16(_mm_mulhi_epu16(x, div255), 7);
      };
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(row + i),
          _mm_packus_epi16(finish(_mm_unpacklo_epi8(d, zero)), finish(_mm_unpackhi_epi8(d, zero))));
      continue;
    }
    const __m128i lo = blend(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = blend(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; i < count; ++i)
    row[i] = BlendPixel(texRow[column[i]] | texFill, row[i] | dstFill, diffuse, white);
}

template <bool contiguous, bool white, bool texAlpha>
void BlendSpan(uint32_t* row, const uint32_t* texRow, const int* column, int count,
               uint32_t diffuse, bool dstAlpha) {
  if (dstAlpha)
    BlendSpan<contiguous, white, texAlpha, true>(row, texRow, column, count, diffuse);
  else
    BlendSpan<contiguous, white, texAlpha, false>(row, texRow, column, count, diffuse);
}

template <bool contiguous, bool white>
void BlendSpan(uint32_t* row, const uint32_t* texRow, const int* column, int count,
               uint32_t diffuse, bool texAlpha, bool dstAlpha) {
  if (texAlpha)
    BlendSpan<contiguous, white, true>(row, texRow, column, count, diffuse, dstAlpha);
  else
    BlendSpan<contiguous, white, false>(row, texRow, column, count, diffuse, dstAlpha);
}

// White includes an opaque diffuse alpha: the texel passes through unchanged.
void BlendSourceAlpha(uint32_t* row, const uint32_t* texRow, const int* column, bool contiguous,
                      int count, uint32_t diffuse, bool texAlpha, bool dstAlpha) {
  const bool white = diffuse == 0xFFFFFFFFu;
  if (contiguous && white)
    BlendSpan<true, true>(row, texRow, column, count, diffuse, texAlpha, dstAlpha);
  else if (contiguous)
    BlendSpan<true, false>(row, texRow, column, count, diffuse, texAlpha, dstAlpha);
  else if (white)
    BlendSpan<false, true>(row, texRow, column, count, diffuse, texAlpha, dstAlpha);
  else
    BlendSpan<false, false>(row, texRow, column, count, diffuse, texAlpha, dstAlpha);
}

// Stage 0 and the blend and alpha-test states as they stand for one draw.
struct FixedFunction {
  DWORD colorOp, alphaOp, cArg1, cArg2, aArg1, aArg2;
  bool blend, alphaTest;
  DWORD srcBlend, dstBlend, alphaFunc;
  int alphaRef;

  FixedFunction(const std::array<DWORD, 256>& render, const std::array<DWORD, 32>& stage)
      : colorOp(stage[D3DTSS_COLOROP]), alphaOp(stage[D3DTSS_ALPHAOP]),
        cArg1(stage[D3DTSS_COLORARG1] & 0xF), cArg2(stage[D3DTSS_COLORARG2] & 0xF),
        aArg1(stage[D3DTSS_ALPHAARG1] & 0xF), aArg2(stage[D3DTSS_ALPHAARG2] & 0xF),
        blend(render[D3DRENDERSTATE_ALPHABLENDENABLE] != 0),
        alphaTest(render[D3DRENDERSTATE_ALPHATESTENABLE] != 0),
        srcBlend(render[D3DRENDERSTATE_SRCBLEND]), dstBlend(render[D3DRENDERSTATE_DESTBLEND]),
        alphaFunc(render[D3DRENDERSTATE_ALPHAFUNC]),
        alphaRef(static_cast<int>(render[D3DRENDERSTATE_ALPHAREF] & 0xFF)) {}

  // The stage's colour ({a, r, g, b}) for a texel and a diffuse colour; false when the alpha
  // test drops the pixel.
  bool Shade(const uint8_t tex[4], const uint8_t diffuse[4], uint8_t src[4]) const {
    auto arg = [&](DWORD which, int ch) { return which == D3DTA_TEXTURE ? tex[ch] : diffuse[ch]; };
    src[0] = Combine(alphaOp, arg(aArg1, 0), arg(aArg2, 0), diffuse[0]);
    for (int ch = 1; ch < 4; ++ch)
      src[ch] = Combine(colorOp, arg(cArg1, ch), arg(cArg2, ch), diffuse[ch]);
    return !alphaTest || AlphaPasses(alphaFunc, src[0], alphaRef);
  }

  // What lands in the target for a shaded pixel over dst.
  void Output(const uint8_t src[4], const uint8_t dst[4], uint8_t out[4]) const {
    if (!blend) {
      std::memcpy(out, src, 4);
      return;
    }
    for (int ch = 0; ch < 4; ++ch) {
      int sv = src[ch] * BlendFactor(srcBlend, src, dst, ch);
      int dv = dst[ch] * BlendFactor(dstBlend, src, dst, ch);
      out[ch] = static_cast<uint8_t>(std::min(255, (sv + dv + 127) / 255));
    }
  }
};

} // namespace

IDirect3D7* NewDirect3D(SoftDirectDraw* owner) {
  return new SoftDirect3D(owner);
}

SoftDirect3D::SoftDirect3D(SoftDirectDraw* owner) : owner_(ComRef<IDirectDraw7>::Share(owner)) {}

HRESULT SoftDirect3D::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IDirect3D7) {
    AddRef();
    *object = static_cast<IDirect3D7*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT SoftDirect3D::CreateDevice(REFCLSID clsid, LPDIRECTDRAWSURFACE7 target,
                                   LPDIRECT3DDEVICE7* device) {
  if (!device) return DDERR_INVALIDPARAMS;
  *device = nullptr;
  SoftSurface* t = AsSoft(target);
  if (!t) return DDERR_INVALIDPARAMS;
  if (!(t->Caps().dwCaps & DDSCAPS_3DDEVICE)) return DDERR_INVALIDCAPS;
  bool hal = clsid == IID_IDirect3DHALDevice || clsid == IID_IDirect3DTnLHalDevice;
  if (hal && !Settings().halDevice) return DDERR_NODIRECTDRAWHW;
  if (!hal && !(clsid == IID_IDirect3DRGBDevice)) return E_NOINTERFACE;
  *device = new SoftDevice(clsid, ComRef<IDirect3D7>::Share(this), t);
  return D3D_OK;
}

SoftDevice::SoftDevice(const GUID& id, ComRef<IDirect3D7> d3d, SoftSurface* target)
    : id_(id), d3d_(std::move(d3d)), targetRef_(ComRef<IDirectDrawSurface7>::Share(target)),
      target_(target) {
  viewport_ = {0,    0,   static_cast<DWORD>(target->Width()), static_cast<DWORD>(target->Height()),
               0.0f, 1.0f};
  // The fixed-function defaults of a fresh device.
  render_[D3DRENDERSTATE_ZENABLE] = 1;
  render_[D3DRENDERSTATE_FILLMODE] = 3;
  render_[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
  render_[D3DRENDERSTATE_ZWRITEENABLE] = 1;
  render_[D3DRENDERSTATE_LASTPIXEL] = 1;
  render_[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  render_[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  render_[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  render_[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  render_[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  render_[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
  render_[D3DRENDERSTATE_LIGHTING] = 1;
  for (DWORD s = 0; s < stage_.size(); ++s) {
    stage_[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    stage_[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    stage_[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
    stage_[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    stage_[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    stage_[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    stage_[s][D3DTSS_TEXCOORDINDEX] = s;
    stage_[s][D3DTSS_ADDRESS] = stage_[s][D3DTSS_ADDRESSU] = stage_[s][D3DTSS_ADDRESSV] = 1;
    stage_[s][D3DTSS_MAGFILTER] = D3DTFG_POINT;
    stage_[s][D3DTSS_MINFILTER] = D3DTFN_POINT;
    stage_[s][D3DTSS_MIPFILTER] = 1;
  }
}

HRESULT SoftDevice::QueryInterface(REFIID, void** object) {
  if (object) *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT SoftDevice::GetCaps(LPD3DDEVICEDESC7 desc) {
  if (!desc) return DDERR_INVALIDPARAMS;
  std::memset(desc, 0, sizeof *desc);
  const DisplaySettings& s = Settings();
  bool hal = !(id_ == IID_IDirect3DRGBDevice);
  desc->dwDevCaps = hal ? D3DDEVCAPS_HWRASTERIZATION : 0;
  for (D3DPRIMCAPS* caps : {&desc->dpcLineCaps, &desc->dpcTriCaps}) {
    caps->dwSize = sizeof(D3DPRIMCAPS);
    caps->dwSrcBlendCaps = caps->dwDestBlendCaps = 0x1FFF;
    caps->dwAlphaCmpCaps = 0xFF;
    caps->dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA |
                          (s.pow2Textures ? D3DPTEXTURECAPS_POW2 : 0) |
                          (s.squareTextures ? D3DPTEXTURECAPS_SQUAREONLY : 0);
    caps->dwTextureFilterCaps = 0x3; // nearest and linear
  }
  desc->dwDeviceRenderBitDepth = 0x100 | 0x400; // 32 and 16 bits
  desc->dwMinTextureWidth = desc->dwMinTextureHeight = 1;
  desc->dwMaxTextureWidth = desc->dwMaxTextureHeight = 8192;
  desc->wMaxTextureBlendStages = desc->wMaxSimultaneousTextures = 1;
  desc->deviceGUID = id_;
  return D3D_OK;
}

HRESULT SoftDevice::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  std::vector<DDPIXELFORMAT> formats = Settings().textureFormats;
  for (DDPIXELFORMAT& f : formats)
    if (callback(&f, context) == D3DENUMRET_CANCEL) break;
  return D3D_OK;
}

HRESULT SoftDevice::BeginScene() {
  if (inScene_) return D3DERR_SCENE_IN_SCENE;
  inScene_ = true;
  return D3D_OK;
}

HRESULT SoftDevice::EndScene() {
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  inScene_ = false;
  return D3D_OK;
}

HRESULT SoftDevice::GetRenderTarget(LPDIRECTDRAWSURFACE7* target) {
  if (!target) return DDERR_INVALIDPARAMS;
  target_->AddRef();
  *target = target_;
  return D3D_OK;
}

HRESULT SoftDevice::Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE,
                          DWORD) {
  if (count && !rects) return DDERR_INVALIDPARAMS;
  // There is no depth or stencil buffer: only the colour target is ever touched.
  if (!(flags & D3DCLEAR_TARGET)) return D3D_OK;
  if (target_->Locked()) return DDERR_SURFACEBUSY;
  const LONG vx0 = static_cast<LONG>(viewport_.dwX), vy0 = static_cast<LONG>(viewport_.dwY);
  const LONG vx1 = vx0 + static_cast<LONG>(viewport_.dwWidth);
  const LONG vy1 = vy0 + static_cast<LONG>(viewport_.dwHeight);
  const PixelLayout& L = target_->Layout();
  const uint32_t px =
      L.Encode(color >> 24, (color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
  D3DRECT whole{vx0, vy0, vx1, vy1};
  for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
    const D3DRECT& r = count ? rects[i] : whole;
    LONG x0 = std::max(r.x1, vx0), y0 = std::max(r.y1, vy0);
    LONG x1 = std::min(r.x2, vx1), y1 = std::min(r.y2, vy1);
    for (LONG y = y0; y < y1 && x0 < x1; ++y)
      rows::FillRow(target_->Row(y) + x0 * L.bytesPerPixel, x1 - x0, L.bytesPerPixel, px);
  }
  return D3D_OK;
}

HRESULT SoftDevice::SetViewport(LPD3DVIEWPORT7 viewport) {
  if (!viewport) return DDERR_INVALIDPARAMS;
  uint64_t right = static_cast<uint64_t>(viewport->dwX) + viewport->dwWidth;
  uint64_t bottom = static_cast<uint64_t>(viewport->dwY) + viewport->dwHeight;
  if (right > static_cast<uint64_t>(target_->Width()) ||
      bottom > static_cast<uint64_t>(target_->Height()))
    return DDERR_INVALIDPARAMS;
  viewport_ = *viewport;
  return D3D_OK;
}

HRESULT SoftDevice::GetViewport(LPD3DVIEWPORT7 viewport) {
  if (!viewport) return DDERR_INVALIDPARAMS;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT SoftDevice::SetMaterial(LPD3DMATERIAL7 material) {
  if (!material) return DDERR_INVALIDPARAMS;
  material_ = *material;
  return D3D_OK;
}

HRESULT SoftDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (static_cast<size_t>(state) >= render_.size()) return DDERR_INVALIDPARAMS;
  render_[state] = value;
  return D3D_OK;
}

HRESULT SoftDevice::GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) {
  if (!value || static_cast<size_t>(state) >= render_.size()) return DDERR_INVALIDPARAMS;
  *value = render_[state];
  return D3D_OK;
}

HRESULT SoftDevice::SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) {
  if (stage >= stage_.size()) return DDERR_INVALIDPARAMS;
  if (stage != 0) return D3D_OK; // one texture stage is all this device samples
  SoftSurface* t = texture ? AsSoft(texture) : nullptr;
  if (texture && !t) return DDERR_INVALIDPARAMS;
  textureRef_ = ComRef<IDirectDrawSurface7>::Share(texture);
  texture_ = t;
  return D3D_OK;
}

HRESULT SoftDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                         LPDWORD value) {
  if (!value || stage >= stage_.size() || static_cast<size_t>(state) >= stage_[0].size())
    return DDERR_INVALIDPARAMS;
  *value = stage_[stage][state];
  return D3D_OK;
}

HRESULT SoftDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  if (stage >= stage_.size() || static_cast<size_t>(state) >= stage_[0].size())
    return DDERR_INVALIDPARAMS;
  stage_[stage][state] = value;
  if (state == D3DTSS_ADDRESS)
    stage_[stage][D3DTSS_ADDRESSU] = stage_[stage][D3DTSS_ADDRESSV] = value;
  return D3D_OK;
}

HRESULT SoftDevice::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD count,
                                  DWORD) {
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  if (!vertices || count > kMaxVertices) return D3DERR_INVALIDCALL;
  if ((fvf & 0x00E) != D3DFVF_XYZRHW || (fvf & ~0xFFCEu)) return D3DERR_INVALIDVERTEXFORMAT;
  const DWORD texSets = (fvf >> 8) & 0xF;
  if (texSets > 8) return D3DERR_INVALIDVERTEXFORMAT;
  if (target_->Locked()) return DDERR_SURFACEBUSY;

  const size_t stride =
      16 + ((fvf & D3DFVF_DIFFUSE) ? 4 : 0) + ((fvf & D3DFVF_SPECULAR) ? 4 : 0) + texSets * 8;
  auto load = [&](DWORD i) {
    const uint8_t* p = static_cast<const uint8_t*>(vertices) + i * stride;
    float f[4];
    std::memcpy(f, p, 16);
    p += 16;
    uint32_t diffuse = 0xFFFFFFFF;
    if (fvf & D3DFVF_DIFFUSE) {
      std::memcpy(&diffuse, p, 4);
      p += 4;
    }
    if (fvf & D3DFVF_SPECULAR) p += 4;
    float uv[2] = {0, 0};
    if (texSets) std::memcpy(uv, p, 8);
    return Vertex{f[0],
                  f[1],
                  static_cast<double>(diffuse >> 24),
                  static_cast<double>((diffuse >> 16) & 0xFF),
                  static_cast<double>((diffuse >> 8) & 0xFF),
                  static_cast<double>(diffuse & 0xFF),
                  uv[0],
                  uv[1]};
  };

  switch (type) {
  case D3DPT_TRIANGLELIST:
    for (DWORD i = 0; i + 2 < count; i += 3)
      DrawTriangle(load(i), load(i + 1), load(i + 2), false);
    break;
  case D3DPT_TRIANGLESTRIP:
    if (count == 4 && Settings().fastQuads) {
      const Vertex q[4] = {load(0), load(1), load(2), load(3)};
      if (DrawAlignedQuad(q)) break;
    }
    // Every second triangle of a strip is wound the other way round.
    for (DWORD i = 0; i + 2 < count; ++i)
      DrawTriangle(load(i), load(i + 1), load(i + 2), (i & 1) != 0);
    break;
  case D3DPT_TRIANGLEFAN:
    for (DWORD i = 1; i + 1 < count; ++i)
      DrawTriangle(load(0), load(i), load(i + 1), false);
    break;
  default:
    return D3DERR_INVALIDPRIMITIVETYPE;
  }
  return D3D_OK;
}

void SoftDevice::Sample(double u, double v, bool minify, uint8_t out[4]) const {
  const SoftSurface& t = *texture_;
  const int w = t.Width(), h = t.Height();
  const PixelLayout& L = t.Layout();
  const DWORD au = stage_[0][D3DTSS_ADDRESSU], av = stage_[0][D3DTSS_ADDRESSV];
  auto texel = [&](int x, int y, uint8_t c[4]) {
    x = Wrap(x, w, au);
    y = Wrap(y, h, av);
    L.Decode(L.Read(t.Row(y) + x * L.bytesPerPixel), c[0], c[1], c[2], c[3]);
  };
  DWORD filter = minify ? stage_[0][D3DTSS_MINFILTER] : stage_[0][D3DTSS_MAGFILTER];
  if (filter != D3DTFG_LINEAR) {
    texel(static_cast<int>(std::floor(u * w)), static_cast<int>(std::floor(v * h)), out);
    return;
  }
  double tu = u * w - 0.5, tv = v * h - 0.5;
  int x0 = static_cast<int>(std::floor(tu)), y0 = static_cast<int>(std::floor(tv));
  double fx = tu - x0, fy = tv - y0;
  uint8_t c00[4], c10[4], c01[4], c11[4];
  texel(x0, y0, c00);
  texel(x0 + 1, y0, c10);
  texel(x0, y0 + 1, c01);
  texel(x0 + 1, y0 + 1, c11);
  for (int i = 0; i < 4; ++i) {
    double top = c00[i] + (c10[i] - c00[i]) * fx;
    double bottom = c01[i] + (c11[i] - c01[i]) * fx;
    out[i] = static_cast<uint8_t>(std::lround(top + (bottom - top) * fy));
  }
}

bool SoftDevice::DrawAlignedQuad(const Vertex (&q)[4]) {
  // Strip order top-left, top-right, bottom-left, bottom-right: both triangles clockwise.
  if (q[0].y != q[1].y || q[2].y != q[3].y || q[0].x != q[2].x || q[1].x != q[3].x) return false;
  if (!(q[1].x > q[0].x) || !(q[2].y > q[0].y)) return false;
  if (q[0].u != q[2].u || q[1].u != q[3].u || q[0].v != q[1].v || q[2].v != q[3].v) return false;
  for (int i = 1; i < 4; ++i)
    if (q[i].a != q[0].a || q[i].r != q[0].r || q[i].g != q[0].g || q[i].b != q[0].b) return false;
  if (render_[D3DRENDERSTATE_CULLMODE] == D3DCULL_CW) return false;
  if (!texture_ || !texture_->Layout().IsArgb32() || !target_->Layout().IsArgb32()) return false;
  if (stage_[0][D3DTSS_MAGFILTER] != D3DTFG_POINT) return false;
  const int texW = texture_->Width(), texH = texture_->Height();
  const double x0 = q[0].x, x1 = q[1].x, y0 = q[0].y, y1 = q[2].y;
  const double dudx = (q[1].u - q[0].u) / (x1 - x0), dvdy = (q[2].v - q[0].v) / (y1 - y0);
  // One texel per pixel, so the magnification filter applies and each texel centre falls well
  // inside its pixel: any rounding of the coordinates picks the same texel.
  if (std::fabs(dudx * texW - 1) > 1e-6 || std::fabs(dvdy * texH - 1) > 1e-6) return false;

  const int vx0 = static_cast<int>(viewport_.dwX), vy0 = static_cast<int>(viewport_.dwY);
  const int vx1 = std::min(vx0 + static_cast<int>(viewport_.dwWidth), target_->Width());
  const int vy1 = std::min(vy0 + static_cast<int>(viewport_.dwHeight), target_->Height());
  // Left and top edges are inside, right and bottom outside.
  const int px0 = std::max(static_cast<int>(std::ceil(x0)), vx0);
  const int px1 = std::min(static_cast<int>(std::ceil(x1)), vx1);
  const int py0 = std::max(static_cast<int>(std::ceil(y0)), vy0);
  const int py1 = std::min(static_cast<int>(std::ceil(y1)), vy1);
  if (px0 >= px1 || py0 >= py1) return true;

  const DWORD au = stage_[0][D3DTSS_ADDRESSU], av = stage_[0][D3DTSS_ADDRESSV];
  std::vector<int> column(static_cast<size_t>(px1 - px0));
  for (int px = px0; px < px1; ++px)
    column[static_cast<size_t>(px - px0)] =
        Wrap(static_cast<int>(std::floor((q[0].u + (px - x0) * dudx) * texW)), texW, au);

  const uint8_t diffuse[4] = {static_cast<uint8_t>(q[0].a), static_cast<uint8_t>(q[0].r),
                              static_cast<uint8_t>(q[0].g), static_cast<uint8_t>(q[0].b)};
  const FixedFunction ff(render_, stage_[0]);
  const bool alphaBlend =
      ff.blend && ff.srcBlend == D3DBLEND_SRCALPHA && ff.dstBlend == D3DBLEND_INVSRCALPHA;
  const bool texAlpha = (texture_->Layout().format.dwFlags & DDPF_ALPHAPIXELS) != 0;
  const bool dstAlpha = (target_->Layout().format.dwFlags & DDPF_ALPHAPIXELS) != 0;

  // The game's own case: texture times diffuse, blended by source alpha.
  const bool modulated = ff.colorOp == D3DTOP_MODULATE && ff.alphaOp == D3DTOP_MODULATE &&
                         ff.cArg1 == D3DTA_TEXTURE && ff.aArg1 == D3DTA_TEXTURE &&
                         (ff.cArg2 == D3DTA_DIFFUSE || ff.cArg2 == D3DTA_CURRENT) &&
                         (ff.aArg2 == D3DTA_DIFFUSE || ff.aArg2 == D3DTA_CURRENT);
  if (modulated && alphaBlend && !ff.alphaTest) {
    // Texels one after another (the usual unwrapped case) are read as a block.
    bool contiguous = true;
    for (size_t i = 1; i < column.size() && contiguous; ++i)
      contiguous = column[i] == column[0] + static_cast<int>(i);
    const uint32_t diffuseArgb =
        static_cast<uint32_t>(diffuse[0]) << 24 | diffuse[1] << 16 | diffuse[2] << 8 | diffuse[3];
    for (int py = py0; py < py1; ++py) {
      const int ty =
          Wrap(static_cast<int>(std::floor((q[0].v + (py - y0) * dvdy) * texH)), texH, av);
      const auto* texRow = reinterpret_cast<const uint32_t*>(texture_->Row(ty));
      auto* row = reinterpret_cast<uint32_t*>(target_->Row(py)) + px0;
      BlendSourceAlpha(row, texRow, column.data(), contiguous, px1 - px0, diffuseArgb, texAlpha,
                       dstAlpha);
    }
    return true;
  }

  for (int py = py0; py < py1; ++py) {
    const int ty = Wrap(static_cast<int>(std::floor((q[0].v + (py - y0) * dvdy) * texH)), texH, av);
    const auto* texRow = reinterpret_cast<const uint32_t*>(texture_->Row(ty));
    auto* row = reinterpret_cast<uint32_t*>(target_->Row(py));
    for (int px = px0; px < px1; ++px) {
      const uint32_t t = texRow[column[static_cast<size_t>(px - px0)]];
      const uint8_t tex[4] = {texAlpha ? static_cast<uint8_t>(t >> 24) : uint8_t{0xFF},
                              static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 8),
                              static_cast<uint8_t>(t)};
      uint8_t src[4];
      if (!ff.Shade(tex, diffuse, src)) continue;
      uint32_t& out = row[px];
      const uint8_t dst[4] = {dstAlpha ? static_cast<uint8_t>(out >> 24) : uint8_t{0xFF},
                              static_cast<uint8_t>(out >> 16), static_cast<uint8_t>(out >> 8),
                              static_cast<uint8_t>(out)};
      uint8_t res[4];
      ff.Output(src, dst, res);
      out = static_cast<uint32_t>(res[0]) << 24 | res[1] << 16 | res[2] << 8 | res[3];
    }
  }
  return true;
}

void SoftDevice::DrawTriangle(const Vertex& a, const Vertex& b, const Vertex& c, bool flipWinding) {
  double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
  if (area == 0 || !std::isfinite(area)) return;
  // Clockwise on screen (y grows downwards) as submitted; strips alternate.
  bool clockwise = (area > 0) != flipWinding;
  DWORD cull = render_[D3DRENDERSTATE_CULLMODE];
  if ((cull == D3DCULL_CCW && !clockwise) || (cull == D3DCULL_CW && clockwise)) return;

  const Vertex* v[3] = {&a, &b, &c};
  if (area < 0) {
    std::swap(v[1], v[2]);
    area = -area;
  }

  // Pixel centres lie on integer coordinates.
  const double vx0 = viewport_.dwX, vy0 = viewport_.dwY;
  const double vx1 = std::min<double>(vx0 + viewport_.dwWidth, target_->Width()) - 1;
  const double vy1 = std::min<double>(vy0 + viewport_.dwHeight, target_->Height()) - 1;
  double minX = std::max(std::ceil(std::min({v[0]->x, v[1]->x, v[2]->x})), vx0);
  double maxX = std::min(std::floor(std::max({v[0]->x, v[1]->x, v[2]->x})), vx1);
  double minY = std::max(std::ceil(std::min({v[0]->y, v[1]->y, v[2]->y})), vy0);
  double maxY = std::min(std::floor(std::max({v[0]->y, v[1]->y, v[2]->y})), vy1);
  if (minX > maxX || minY > maxY) return;

  struct Edge {
    double dx, dy, ox, oy;
    bool topLeft;
    double At(double px, double py) const { return dx * (py - oy) - dy * (px - ox); }
    bool Inside(double w) const { return w > 0 || (w == 0 && topLeft); }
  };
  auto edge = [](const Vertex* p, const Vertex* q) {
    double dx = q->x - p->x, dy = q->y - p->y;
    return Edge{dx, dy, p->x, p->y, dy < 0 || (dy == 0 && dx > 0)};
  };
  // Edge i lies opposite vertex i, so its value weights that vertex.
  const Edge e[3] = {edge(v[1], v[2]), edge(v[2], v[0]), edge(v[0], v[1])};

  const bool textured = texture_ != nullptr;
  const bool gouraud = render_[D3DRENDERSTATE_SHADEMODE] != D3DSHADE_FLAT;
  bool minify = false;
  if (textured) {
    // Texels per pixel step decides between the minification and magnification filters.
    double dudx = (-e[0].dy * v[0]->u - e[1].dy * v[1]->u - e[2].dy * v[2]->u) / area;
    double dvdy = (e[0].dx * v[0]->v + e[1].dx * v[1]->v + e[2].dx * v[2]->v) / area;
    minify = std::max(std::fabs(dudx) * texture_->Width(), std::fabs(dvdy) * texture_->Height()) >
             1.000001;
  }
  const FixedFunction ff(render_, stage_[0]);
  const PixelLayout& L = target_->Layout();
  const int bpp = L.bytesPerPixel;

  for (double py = minY; py <= maxY; ++py) {
    uint8_t* row = target_->Row(static_cast<int>(py));
    for (double px = minX; px <= maxX; ++px) {
      double w0 = e[0].At(px, py), w1 = e[1].At(px, py), w2 = e[2].At(px, py);
      if (!e[0].Inside(w0) || !e[1].Inside(w1) || !e[2].Inside(w2)) continue;
      double l0 = w0 / area, l1 = w1 / area, l2 = w2 / area;
      auto lerp = [&](double Vertex::*m) {
        return l0 * (v[0]->*m) + l1 * (v[1]->*m) + l2 * (v[2]->*m);
      };
      uint8_t diffuse[4];
      if (gouraud) {
        diffuse[0] = static_cast<uint8_t>(std::clamp(std::lround(lerp(&Vertex::a)), 0L, 255L));
        diffuse[1] = static_cast<uint8_t>(std::clamp(std::lround(lerp(&Vertex::r)), 0L, 255L));
        diffuse[2] = static_cast<uint8_t>(std::clamp(std::lround(lerp(&Vertex::g)), 0L, 255L));
        diffuse[3] = static_cast<uint8_t>(std::clamp(std::lround(lerp(&Vertex::b)), 0L, 255L));
      } else {
        diffuse[0] = static_cast<uint8_t>(a.a);
        diffuse[1] = static_cast<uint8_t>(a.r);
        diffuse[2] = static_cast<uint8_t>(a.g);
        diffuse[3] = static_cast<uint8_t>(a.b);
      }
      uint8_t tex[4] = {255, 255, 255, 255};
      if (textured) Sample(lerp(&Vertex::u), lerp(&Vertex::v), minify, tex);
      uint8_t src[4];
      if (!ff.Shade(tex, diffuse, src)) continue;
      uint8_t* dp = row + static_cast<int>(px) * bpp;
      uint8_t dst[4] = {0xFF, 0, 0, 0};
      if (ff.blend) L.Decode(L.Read(dp), dst[0], dst[1], dst[2], dst[3]);
      uint8_t out[4];
      ff.Output(src, dst, out);
      L.Write(dp, L.Encode(out[0], out[1], out[2], out[3]));
    }
  }
}

} // namespace soft
