// Software surfaces, DirectDraw object, Direct3D object and device.
#pragma once

#include "platform/com_ref.h"
#include "platform/substitute/device/soft_display.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace soft {

// Asks an interface whether it is one of our software surfaces.
inline constexpr GUID IID_SoftSurface = {
    0x6b657374, 0x726f, 0x7665, {0x73, 0x75, 0x72, 0x66, 0x61, 0x63, 0x65, 0x00}};

// Reference counting shared by every software object.
template <class Interface> class Counted : public Interface {
public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

protected:
  virtual ~Counted() = default;

private:
  std::atomic<ULONG> refs_{1};
};

class SoftDirectDraw;

struct PixelLayout {
  DDPIXELFORMAT format{};
  int bytesPerPixel = 4;

  void SetFormat(const DDPIXELFORMAT& f);
  // A8R8G8B8 or X8R8G8B8: channels sit in whole bytes.
  bool IsArgb32() const { return argb32_; }

  // Channel decoding by mask, widening by bit replication as display hardware does.
  void Decode(uint32_t px, uint8_t& a, uint8_t& r, uint8_t& g, uint8_t& b) const;
  uint32_t Encode(uint8_t a, uint8_t r, uint8_t g, uint8_t b) const;
  uint32_t Read(const uint8_t* p) const {
    if (bytesPerPixel == 4) return *reinterpret_cast<const uint32_t*>(p);
    return *reinterpret_cast<const uint16_t*>(p);
  }
  void Write(uint8_t* p, uint32_t v) const {
    if (bytesPerPixel == 4)
      *reinterpret_cast<uint32_t*>(p) = v;
    else
      *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(v);
  }

private:
  struct Channel {
    uint32_t mask = 0;
    int shift = 0, bits = 0;
  };
  Channel a_, r_, g_, b_;
  bool hasAlpha_ = false, argb32_ = false;
  static uint8_t Unpack(uint32_t px, const Channel& c);
  static uint32_t Pack(uint8_t v, const Channel& c);
};

class SoftSurface final : public Counted<IDirectDrawSurface7> {
public:
  SoftSurface(SoftDirectDraw* owner, int width, int height, const DDPIXELFORMAT& format,
              DDSCAPS2 caps);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 src, LPRECT srcRect,
                                DWORD flags, LPDDBLTFX fx) override;
  HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 src, LPRECT srcRect,
                                    DWORD trans) override;
  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 caps,
                                               LPDIRECTDRAWSURFACE7* surface) override;
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD flags, LPDDCOLORKEY key) override;
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override;
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
  HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags,
                                 HANDLE event) override;
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
  HRESULT STDMETHODCALLTYPE Unlock(LPRECT rect) override;
  HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID* directDraw) override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Pitch() const { return pitch_; }
  const PixelLayout& Layout() const { return layout_; }
  const DDSCAPS2& Caps() const { return caps_; }
  bool Locked() const { return locked_; }
  uint8_t* Row(int y) { return bits_.data() + static_cast<size_t>(y) * pitch_; }
  const uint8_t* Row(int y) const { return bits_.data() + static_cast<size_t>(y) * pitch_; }

  void AttachBackBuffer(ComRef<SoftSurface> back) { back_ = std::move(back); }

private:
  ~SoftSurface() override;
  void FillDesc(DDSURFACEDESC2& d) const;
  void Present();

  ComRef<IDirectDraw7> owner_;
  int width_, height_, pitch_;
  PixelLayout layout_;
  DDSCAPS2 caps_;
  std::vector<uint8_t> bits_;
  bool locked_ = false;
  bool hasSrcKey_ = false;
  DDCOLORKEY srcKey_{};
  ComRef<SoftSurface> back_;
};

// The software surface behind an interface pointer, or null when it is not one of ours.
SoftSurface* AsSoft(IDirectDrawSurface7* s);

class SoftDirectDraw final : public Counted<IDirectDraw7> {
public:
  SoftDirectDraw();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface,
                                          IUnknown* outer) override;
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refreshRate,
                                           DWORD flags) override;

  const DDPIXELFORMAT& DisplayFormat() const { return displayFormat_; }

private:
  DWORD coopFlags_ = 0;
  DWORD width_ = 640, height_ = 480;
  DDPIXELFORMAT displayFormat_;
};

// The Direct3D object of a DirectDraw object (in soft_device.cpp, which includes this header).
IDirect3D7* NewDirect3D(SoftDirectDraw* owner);

} // namespace soft
