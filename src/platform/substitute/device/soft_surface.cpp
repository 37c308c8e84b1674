#include "platform/substitute/device/soft_surface.h"

#include "platform/headless/headless_presenter.h"
#include "platform/pixel_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <typeinfo>

namespace soft {
namespace {

// Larger requests are refused rather than allocated: no display surface is ever this big.
constexpr int kMaxSide = 8192;

uint8_t Expand(uint32_t v, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
  uint32_t out = v << (8 - bits);
  for (int filled = bits; filled < 8; filled += bits)
    out |= out >> bits;
  return static_cast<uint8_t>(out);
}

bool ValidFormat(const DDPIXELFORMAT& f) {
  if (!(f.dwFlags & DDPF_RGB) || f.dwFourCC != 0) return false;
  return f.dwRGBBitCount == 16 || f.dwRGBBitCount == 32;
}

bool InsideSurface(const RECT& r, int w, int h) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= w &&
         r.bottom <= h;
}

} // namespace

void PixelLayout::SetFormat(const DDPIXELFORMAT& f) {
  format = f;
  bytesPerPixel = static_cast<int>(f.dwRGBBitCount / 8);
  auto channel = [](DWORD mask) {
    Channel c;
    c.mask = mask;
    if (mask) {
      c.shift = std::countr_zero(mask);
      c.bits = std::popcount(mask);
    }
    return c;
  };
  r_ = channel(f.dwRBitMask);
  g_ = channel(f.dwGBitMask);
  b_ = channel(f.dwBBitMask);
  hasAlpha_ = (f.dwFlags & DDPF_ALPHAPIXELS) != 0;
  a_ = channel(hasAlpha_ ? f.dwRGBAlphaBitMask : 0);
  argb32_ = bytesPerPixel == 4 && f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0xFF00 &&
            f.dwBBitMask == 0xFF && (!hasAlpha_ || f.dwRGBAlphaBitMask == 0xFF000000u);
}

uint8_t PixelLayout::Unpack(uint32_t px, const Channel& c) {
  if (!c.mask) return 0;
  return Expand((px & c.mask) >> c.shift, c.bits);
}

uint32_t PixelLayout::Pack(uint8_t v, const Channel& c) {
  if (!c.mask) return 0;
  uint32_t x = c.bits >= 8 ? static_cast<uint32_t>(v) << (c.bits - 8) : v >> (8 - c.bits);
  return (x << c.shift) & c.mask;
}

void PixelLayout::Decode(uint32_t px, uint8_t& a, uint8_t& r, uint8_t& g, uint8_t& b) const {
  if (argb32_) {
    a = hasAlpha_ ? static_cast<uint8_t>(px >> 24) : 0xFF;
    r = static_cast<uint8_t>(px >> 16);
    g = static_cast<uint8_t>(px >> 8);
    b = static_cast<uint8_t>(px);
    return;
  }
  r = Unpack(px, r_);
  g = Unpack(px, g_);
  b = Unpack(px, b_);
  a = hasAlpha_ ? Unpack(px, a_) : 0xFF;
}

uint32_t PixelLayout::Encode(uint8_t a, uint8_t r, uint8_t g, uint8_t b) const {
  // The unused byte of an X8R8G8B8 pixel keeps the alpha too.
  if (argb32_) return static_cast<uint32_t>(a) << 24 | r << 16 | g << 8 | b;
  uint32_t v = Pack(r, r_) | Pack(g, g_) | Pack(b, b_);
  if (bytesPerPixel == 4 && !hasAlpha_) return v | static_cast<uint32_t>(a) << 24;
  return v | Pack(a, a_);
}

SoftSurface* AsSoft(IDirectDrawSurface7* s) {
  if (!s) return nullptr;
  // Our own surfaces are known by their type, without a reference taken and given back for
  // every blit; anything else may still answer the query.
  if (typeid(*s) == typeid(SoftSurface)) return static_cast<SoftSurface*>(s);
  void* out = nullptr;
  if (s->QueryInterface(IID_SoftSurface, &out) != S_OK) return nullptr;
  auto* soft = static_cast<SoftSurface*>(out);
  soft->Release();
  return soft;
}

SoftSurface::SoftSurface(SoftDirectDraw* owner, int width, int height, const DDPIXELFORMAT& format,
                         DDSCAPS2 caps)
    : owner_(ComRef<IDirectDraw7>::Share(owner)), width_(width), height_(height), caps_(caps) {
  layout_.SetFormat(format);
  pitch_ = width * layout_.bytesPerPixel;
  bits_.assign(static_cast<size_t>(pitch_) * height, 0);
}

SoftSurface::~SoftSurface() = default;

HRESULT SoftSurface::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_SoftSurface) {
    AddRef();
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

void SoftSurface::FillDesc(DDSURFACEDESC2& d) const {
  DWORD size = d.dwSize;
  std::memset(&d, 0, sizeof d);
  d.dwSize = size;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  d.dwWidth = static_cast<DWORD>(width_);
  d.dwHeight = static_cast<DWORD>(height_);
  d.lPitch = pitch_;
  d.ddpfPixelFormat = layout_.format;
  d.ddsCaps = caps_;
  if (hasSrcKey_) {
    d.dwFlags |= DDSD_CKSRCBLT;
    d.ddckCKSrcBlt = srcKey_;
  }
}

HRESULT SoftSurface::GetSurfaceDesc(LPDDSURFACEDESC2 desc) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  FillDesc(*desc);
  return DD_OK;
}

HRESULT SoftSurface::GetPixelFormat(LPDDPIXELFORMAT format) {
  if (!format || format->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
  *format = layout_.format;
  return DD_OK;
}

HRESULT SoftSurface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD, HANDLE) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (rect && !InsideSurface(*rect, width_, height_)) return DDERR_INVALIDRECT;
  if (locked_) return DDERR_SURFACEBUSY; // locks do not nest
  locked_ = true;
  FillDesc(*desc);
  desc->dwFlags |= DDSD_LPSURFACE;
  uint8_t* p = bits_.data();
  if (rect) p += static_cast<size_t>(rect->top) * pitch_ + rect->left * layout_.bytesPerPixel;
  desc->lpSurface = p;
  return DD_OK;
}

HRESULT SoftSurface::Unlock(LPRECT) {
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  return DD_OK;
}

HRESULT SoftSurface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
  if (flags != DDCKEY_SRCBLT) return DDERR_UNSUPPORTED;
  hasSrcKey_ = key != nullptr;
  if (key) srcKey_ = *key;
  return DD_OK;
}

HRESULT SoftSurface::GetColorKey(DWORD flags, LPDDCOLORKEY key) {
  if (flags != DDCKEY_SRCBLT || !key) return DDERR_INVALIDPARAMS;
  if (!hasSrcKey_) return DDERR_NOCOLORKEY;
  *key = srcKey_;
  return DD_OK;
}

HRESULT SoftSurface::GetDDInterface(LPVOID* directDraw) {
  if (!directDraw) return DDERR_INVALIDPARAMS;
  owner_->AddRef();
  *directDraw = owner_.Get();
  return DD_OK;
}

HRESULT SoftSurface::GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* surface) {
  if (!caps || !surface) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (!back_ || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) return DDERR_NOTFOUND;
  back_->AddRef();
  *surface = back_.Get();
  return DD_OK;
}

HRESULT SoftSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 src, LPRECT srcRect,
                             DWORD trans) {
  SoftSurface* s = AsSoft(src);
  if (!s) return DDERR_INVALIDPARAMS;
  RECT sr = srcRect ? *srcRect : RECT{0, 0, s->width_, s->height_};
  if (!InsideSurface(sr, s->width_, s->height_)) return DDERR_INVALIDRECT;
  int w = sr.right - sr.left, h = sr.bottom - sr.top;
  // No clipping: a copy that does not fit is refused whole, as the hardware blitter did.
  if (x > static_cast<DWORD>(width_) || y > static_cast<DWORD>(height_) ||
      static_cast<int>(x) + w > width_ || static_cast<int>(y) + h > height_)
    return DDERR_INVALIDRECT;
  if (locked_ || s->locked_) return DDERR_SURFACEBUSY;
  if (s->layout_.bytesPerPixel != layout_.bytesPerPixel) return DDERR_INVALIDPIXELFORMAT;
  bool keyed = (trans & DDBLTFAST_SRCCOLORKEY) != 0;
  if (keyed && !s->hasSrcKey_) return DDERR_NOCOLORKEY;
  const int bpp = layout_.bytesPerPixel;
  const int dx = static_cast<int>(x), dy = static_cast<int>(y);
  // Copying onto itself downwards must read rows before they are overwritten.
  const bool bottomUp = s == this && dy > sr.top;
  for (int i = 0; i < h; ++i) {
    int row = bottomUp ? h - 1 - i : i;
    const uint8_t* sp = s->Row(sr.top + row) + sr.left * bpp;
    uint8_t* dp = Row(dy + row) + dx * bpp;
    if (!keyed) {
      // Short rows (the world's cells) are not worth a library call each.
      if (bpp == 4 && w <= 32 && s != this)
        rows::CopyRow32(reinterpret_cast<uint32_t*>(dp), reinterpret_cast<const uint32_t*>(sp), w);
      else
        std::memmove(dp, sp, static_cast<size_t>(w) * bpp);
      continue;
    }
    const uint32_t lo = s->srcKey_.dwColorSpaceLowValue, hi = s->srcKey_.dwColorSpaceHighValue;
    if (s == this && dp > sp) { // overlapping keyed copy to the right: walk backwards
      for (int c = w - 1; c >= 0; --c) {
        uint32_t px = layout_.Read(sp + c * bpp);
        if (px < lo || px > hi) layout_.Write(dp + c * bpp, px);
      }
    } else if (bpp == 4 && (s != this || dp + w * bpp <= sp || sp + w * bpp <= dp)) {
      rows::KeyedCopyRow32(reinterpret_cast<uint32_t*>(dp), reinterpret_cast<const uint32_t*>(sp),
                           w, lo, hi);
    } else {
      for (int c = 0; c < w; ++c) {
        uint32_t px = layout_.Read(sp + c * bpp);
        if (px < lo || px > hi) layout_.Write(dp + c * bpp, px);
      }
    }
  }
  return DD_OK;
}

HRESULT SoftSurface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 src, LPRECT, DWORD flags,
                         LPDDBLTFX fx) {
  if (!(flags & DDBLT_COLORFILL) || src) return DDERR_UNSUPPORTED;
  if (!fx || fx->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
  RECT r = destRect ? *destRect : RECT{0, 0, width_, height_};
  if (!InsideSurface(r, width_, height_)) return DDERR_INVALIDRECT;
  if (locked_) return DDERR_SURFACEBUSY;
  const int bpp = layout_.bytesPerPixel;
  for (int yy = r.top; yy < r.bottom; ++yy)
    rows::FillRow(Row(yy) + r.left * bpp, r.right - r.left, bpp, fx->dwFillColor);
  return DD_OK;
}

HRESULT SoftSurface::Flip(LPDIRECTDRAWSURFACE7 target, DWORD) {
  if (!back_ || (target && AsSoft(target) != back_.Get())) return DDERR_NOTFLIPPABLE;
  if (locked_ || back_->locked_) return DDERR_SURFACEBUSY;
  std::swap(bits_, back_->bits_);
  Present();
  return DD_OK;
}

void SoftSurface::Present() {
  if (layout_.bytesPerPixel == 4) {
    CurrentPresenter().Present(reinterpret_cast<const uint32_t*>(bits_.data()), width_, height_,
                               pitch_ / 4);
    return;
  }
  std::vector<uint32_t> rgb(static_cast<size_t>(width_) * height_);
  for (int yy = 0; yy < height_; ++yy)
    for (int xx = 0; xx < width_; ++xx) {
      uint8_t a, r, g, b;
      layout_.Decode(layout_.Read(Row(yy) + xx * 2), a, r, g, b);
      rgb[static_cast<size_t>(yy) * width_ + xx] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  CurrentPresenter().Present(rgb.data(), width_, height_, width_);
}

// ---------------------------------------------------------------------------------------------

SoftDirectDraw::SoftDirectDraw() {
  displayFormat_ = RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
}

HRESULT SoftDirectDraw::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IDirectDraw7) {
    AddRef();
    *object = static_cast<IDirectDraw7*>(this);
    return S_OK;
  }
  if (riid == IID_IDirect3D7) {
    *object = NewDirect3D(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT SoftDirectDraw::SetCooperativeLevel(HWND, DWORD flags) {
  if ((flags & DDSCL_FULLSCREEN) && !(flags & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
  coopFlags_ = flags;
  return DD_OK;
}

HRESULT SoftDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD, DWORD) {
  if (!(coopFlags_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
  if (width == 0 || height == 0 || width > 4096 || height > 4096) return DDERR_INVALIDMODE;
  if (bpp == 32)
    displayFormat_ = RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
  else if (bpp == 16)
    displayFormat_ = RgbFormat(16, 0xF800, 0x07E0, 0x1F, 0);
  else if (bpp == 15)
    displayFormat_ = RgbFormat(16, 0x7C00, 0x03E0, 0x1F, 0);
  else
    return DDERR_INVALIDMODE;
  width_ = width;
  height_ = height;
  return DD_OK;
}

HRESULT SoftDirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface,
                                      IUnknown* outer) {
  if (!surface) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2) || outer) return DDERR_INVALIDPARAMS;
  DDSCAPS2 caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps : DDSCAPS2{};

  if (caps.dwCaps & DDSCAPS_PRIMARYSURFACE) {
    int w = static_cast<int>(width_), h = static_cast<int>(height_);
    DDSCAPS2 frontCaps = caps;
    frontCaps.dwCaps |= DDSCAPS_FRONTBUFFER | DDSCAPS_VIDEOMEMORY;
    auto* front = new SoftSurface(this, w, h, displayFormat_, frontCaps);
    if (caps.dwCaps & DDSCAPS_FLIP) {
      if (!(desc->dwFlags & DDSD_BACKBUFFERCOUNT) || desc->dwBackBufferCount != 1 ||
          !(caps.dwCaps & DDSCAPS_COMPLEX)) {
        front->Release();
        return DDERR_INVALIDPARAMS;
      }
      DDSCAPS2 backCaps = caps;
      backCaps.dwCaps = (caps.dwCaps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER)) |
                        DDSCAPS_BACKBUFFER | DDSCAPS_VIDEOMEMORY;
      front->AttachBackBuffer(
          ComRef<SoftSurface>::Adopt(new SoftSurface(this, w, h, displayFormat_, backCaps)));
    }
    *surface = front;
    return DD_OK;
  }

  const DWORD need = DDSD_WIDTH | DDSD_HEIGHT;
  if ((desc->dwFlags & need) != need) return DDERR_INVALIDPARAMS;
  if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > kMaxSide ||
      desc->dwHeight > kMaxSide)
    return DDERR_INVALIDPARAMS;
  DDPIXELFORMAT format = displayFormat_;
  if (desc->dwFlags & DDSD_PIXELFORMAT) {
    format = desc->ddpfPixelFormat;
    if (!ValidFormat(format)) return DDERR_INVALIDPIXELFORMAT;
  }
  if (!(caps.dwCaps & DDSCAPS_SYSTEMMEMORY)) caps.dwCaps |= DDSCAPS_VIDEOMEMORY;
  *surface = new SoftSurface(this, static_cast<int>(desc->dwWidth),
                             static_cast<int>(desc->dwHeight), format, caps);
  return DD_OK;
}

// ---------------------------------------------------------------------------------------------

namespace {
DirectDrawFactory g_factory;
}

void SetDirectDrawFactory(DirectDrawFactory factory) {
  g_factory = std::move(factory);
}

DisplaySettings& Settings() {
  static DisplaySettings settings = [] {
    DisplaySettings s;
    s.textureFormats = DefaultTextureFormats();
    return s;
  }();
  return settings;
}

void ResetSettings() {
  Settings() = DisplaySettings{};
  Settings().textureFormats = DefaultTextureFormats();
}

DDPIXELFORMAT RgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

std::vector<DDPIXELFORMAT> DefaultTextureFormats() {
  DDPIXELFORMAT lum{};
  lum.dwSize = sizeof lum;
  lum.dwFlags = DDPF_LUMINANCE;
  lum.dwLuminanceBitCount = 8;
  lum.dwLuminanceBitMask = 0xFF;
  DDPIXELFORMAT dxt1{};
  dxt1.dwSize = sizeof dxt1;
  dxt1.dwFlags = DDPF_FOURCC;
  dxt1.dwFourCC = 0x31545844; // 'DXT1'
  return {RgbFormat(16, 0xF800, 0x07E0, 0x001F, 0),
          RgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0),
          RgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
          RgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
          lum,
          dxt1,
          RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0),
          RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)};
}

namespace {
std::unique_ptr<Presenter>& PresenterSlot() {
  static std::unique_ptr<Presenter> p = std::make_unique<HeadlessPresenter>();
  return p;
}
} // namespace

Presenter& CurrentPresenter() {
  return *PresenterSlot();
}
void SetPresenter(std::unique_ptr<Presenter> presenter) {
  PresenterSlot() = presenter ? std::move(presenter) : std::make_unique<HeadlessPresenter>();
}

} // namespace soft

HRESULT WINAPI DirectDrawCreateEx(GUID*, LPVOID* directDraw, REFIID iid, IUnknown* outer) {
  if (!directDraw) return DDERR_INVALIDPARAMS;
  *directDraw = nullptr;
  if (outer || !(iid == IID_IDirectDraw7)) return DDERR_INVALIDPARAMS;
  if (soft::g_factory) return soft::g_factory(directDraw);
  if (!soft::Settings().directDrawAvailable) return DDERR_NODIRECTDRAWHW;
  *directDraw = static_cast<IDirectDraw7*>(new soft::SoftDirectDraw());
  return DD_OK;
}
