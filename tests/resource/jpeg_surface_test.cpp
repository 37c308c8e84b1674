#include "resource/QdJpeg.h"
#include "resource/QdJpegSurface.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace testjpeg;

namespace {

// Runs a test inside a scratch folder, as the loader reads from the current directory.
class InTempDir {
public:
  InTempDir() : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir.path()); }
  ~InTempDir() { std::filesystem::current_path(old_); }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    dir.write(name, std::string(bytes.begin(), bytes.end()));
  }
  TempDir dir;

private:
  std::filesystem::path old_;
};

ComRef<IDirectDraw7> SoftDirectDraw(int displayBits = 32) {
  ComRef<IDirectDraw7> dd;
  EXPECT_EQ(DirectDrawCreateEx(nullptr, dd.OutVoid(), IID_IDirectDraw7, nullptr), DD_OK);
  if (displayBits != 32) {
    dd->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, static_cast<DWORD>(displayBits), 0, 0), DD_OK);
  }
  return dd;
}

// A 100 by 75 colour picture (2x2 luminance) with varied blocks.
std::vector<uint8_t> ColourPicture() {
  std::vector<Coefs> blocks;
  for (int m = 0; m < 35; ++m) {
    for (int b = 0; b < 4; ++b)
      blocks.push_back(Coefs{int16_t(8 * (m * 3 + b * 20 - 100) + 4)});
    blocks.push_back(Coefs{int16_t(8 * (m - 17) + 4), 30});
    blocks.push_back(Coefs{int16_t(8 * (17 - m) + 4), 0, -25});
  }
  return Builder()
      .Soi()
      .Dqt(0, 1)
      .Sof0(100, 75, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}})
      .StandardTables()
      .Sos({1, 2, 3})
      .Append(EncodeScan(blocks, {0, 0, 0, 0, 1, 2}))
      .Eoi()
      .data;
}

// One 8 by 8 block of Y 0, Cb 132, Cr 128: blue 7, green 0, red 0.
std::vector<uint8_t> DarkBluePicture() {
  return Builder()
      .Soi()
      .Dqt(0, 1)
      .Sof0(8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}})
      .StandardTables()
      .Sos({1, 2, 3})
      .Append(EncodeScan({Coefs{-1028}, Coefs{36}, Coefs{}}, {0, 1, 2}))
      .Eoi()
      .data;
}

std::vector<uint8_t> SurfaceBytes(IDirectDrawSurface7* s, int bytesPerPixel) {
  DDSURFACEDESC2 d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  std::vector<uint8_t> out;
  for (DWORD y = 0; y < d.dwHeight; ++y) {
    auto* row = static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch;
    out.insert(out.end(), row, row + d.dwWidth * bytesPerPixel);
  }
  s->Unlock(nullptr);
  return out;
}

} // namespace

TEST(JpegSurface, LoadsNameWithJpgIntoASurfaceOfThePicturesSize) {
  InTempDir here;
  here.Write("bg_image.jpg", ColourPicture());
  auto dd = SoftDirectDraw();
  ComRef<IDirectDrawSurface7> surface;
  POINT size{640, 480};
  LoadJpegSurface(dd.Get(), surface, size, "bg_image");
  ASSERT_TRUE(surface);
  EXPECT_EQ(size.x, 100);
  EXPECT_EQ(size.y, 75);
  EXPECT_EQ(SurfaceBytes(surface.Get(), 4).size(), size_t{100} * 75 * 4); // and left unlocked

  // A name that already ends in .jpg gets a second extension.
  here.Write("pic.jpg", ColourPicture());
  ComRef<IDirectDrawSurface7> other;
  POINT keep{1, 2};
  LoadJpegSurface(dd.Get(), other, keep, "pic.jpg");
  EXPECT_FALSE(other);
  EXPECT_EQ(keep.x, 1);
  here.Write("pic.jpg.jpg", ColourPicture());
  LoadJpegSurface(dd.Get(), other, keep, "pic.jpg");
  EXPECT_TRUE(other);
}

TEST(JpegSurface, PixelsFollowTheDisplayFormat) {
  InTempDir here;
  here.Write("bg_image.jpg", ColourPicture());
  TQdJpeg jpeg;
  ASSERT_TRUE(jpeg.LoadFromFile("bg_image.jpg"));
  for (int bits : {32, 16, 15}) {
    SCOPED_TRACE(bits);
    auto dd = SoftDirectDraw(bits);
    ComRef<IDirectDrawSurface7> surface;
    POINT size{};
    LoadJpegSurface(dd.Get(), surface, size, "bg_image");
    ASSERT_TRUE(surface);
    const int bpp = bits == 32 ? 4 : 2;
    std::vector<uint8_t> expected(size_t{100} * 75 * bpp);
    ASSERT_TRUE(jpeg.CopyPixelsTo(expected.data(), 100 * bpp, nullptr, bits));
    EXPECT_EQ(SurfaceBytes(surface.Get(), bpp), expected);
  }

  // Blue 7 alone is pixel 0 at 16 bits, and so matches the colour key (32 bits: see below).
  here.Write("dark.jpg", DarkBluePicture());
  auto dd = SoftDirectDraw(16);
  ComRef<IDirectDrawSurface7> surface;
  POINT size{};
  LoadJpegSurface(dd.Get(), surface, size, "dark");
  ASSERT_TRUE(surface);
  EXPECT_EQ(SurfaceBytes(surface.Get(), 2)[0], 0);
}

TEST(JpegSurface, FailuresLeaveOrEmptyTheCallersSurface) {
  InTempDir here;
  auto dd = SoftDirectDraw();
  ComRef<IDirectDrawSurface7> held;
  CreatePlainSurface(dd.Get(), 4, 4, true, held);
  ASSERT_TRUE(held);
  IDirectDrawSurface7* before = held.Get();

  // Missing and undecodable files change nothing.
  POINT size{640, 480};
  LoadJpegSurface(dd.Get(), held, size, "bg_image");
  here.Write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0x00});
  LoadJpegSurface(dd.Get(), held, size, "broken");
  EXPECT_EQ(held.Get(), before);
  EXPECT_EQ(size.x, 640);
  EXPECT_EQ(size.y, 480);

  // A file without a baseline frame is a 0 by 0 picture: no surface, size 0 by 0.
  here.Write("progressive.jpg",
             Builder().Soi().Segment(0xC2, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}).Eoi().data);
  LoadJpegSurface(dd.Get(), held, size, "progressive");
  EXPECT_FALSE(held);
  EXPECT_EQ(size.x, 0);
  EXPECT_EQ(size.y, 0);

  CreatePlainSurface(dd.Get(), 0, 4, false, held);
  EXPECT_FALSE(held);
  CreatePlainSurface(nullptr, 4, 4, false, held);
  EXPECT_FALSE(held);
}

namespace {

// Records what the loader asks of DirectDraw; its surfaces report bitCount bits with the red mask
// of a 32-bit display.
struct Recorder {
  std::string calls;
  DDSURFACEDESC2 created{};
  DDCOLORKEY key{9, 9};
  DWORD keyFlags = 0, lockFlags = 0, formatSize = 0, bitCount = 32;
  bool lockRect = false;
  std::vector<uint8_t> pixels;
};

struct FakeSurface final : IDirectDrawSurface7 {
  explicit FakeSurface(Recorder& r) : rec(r) {}
  Recorder& rec;
  ULONG refs = 1;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    rec.calls += "Release ";
    if (--refs) return refs;
    delete this;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override {
    rec.calls += "SetColorKey ";
    rec.keyFlags = flags;
    rec.key = *key;
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT f) override {
    rec.calls += "GetPixelFormat ";
    rec.formatSize = f->dwSize;
    f->dwRGBBitCount = rec.bitCount;
    f->dwRBitMask = 0xFF0000;
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC2 d, DWORD flags, HANDLE) override {
    rec.calls += "Lock ";
    rec.lockRect = rect != nullptr;
    rec.lockFlags = flags;
    rec.pixels.assign(size_t{8} * 8 * 4, 0xAB);
    d->dwWidth = d->dwHeight = 8;
    d->lPitch = 8 * 4;
    d->lpSurface = rec.pixels.data();
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE Unlock(LPRECT) override {
    rec.calls += "Unlock ";
    return DD_OK;
  }
  // Not used by the loader.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE Blt(LPRECT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD, LPDDBLTFX) override {
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE7, LPRECT, DWORD) override {
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7, DWORD) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2, LPDIRECTDRAWSURFACE7*) override {
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID*) override { return E_FAIL; }
};

struct FakeDirectDraw final : IDirectDraw7 {
  explicit FakeDirectDraw(Recorder& r) : rec(r) {}
  Recorder& rec;
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 d, LPDIRECTDRAWSURFACE7* s,
                                          IUnknown*) override {
    rec.calls += "CreateSurface ";
    rec.created = *d;
    *s = new FakeSurface(rec);
    return DD_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override {
    return E_FAIL;
  }
};

} // namespace

TEST(JpegSurface, CallsAndValuesGivenToDirectDraw) {
  InTempDir here;
  here.Write("dark.jpg", DarkBluePicture());
  Recorder rec;
  FakeDirectDraw dd(rec);
  ComRef<IDirectDrawSurface7> surface;
  POINT size{};
  LoadJpegSurface(&dd, surface, size, "dark");
  ASSERT_TRUE(surface);
  EXPECT_EQ(rec.calls, "CreateSurface SetColorKey GetPixelFormat Lock Unlock ");
  EXPECT_EQ(rec.created.dwSize, sizeof(DDSURFACEDESC2));
  EXPECT_EQ(rec.created.dwFlags, 7u); // caps, height, width: no pixel format asked for
  EXPECT_EQ(rec.created.ddsCaps.dwCaps, 64u);
  EXPECT_EQ(rec.created.dwWidth, 8u);
  EXPECT_EQ(rec.created.dwHeight, 8u);
  EXPECT_EQ(rec.keyFlags, 8u);
  EXPECT_EQ(rec.key.dwColorSpaceLowValue + rec.key.dwColorSpaceHighValue, 0u);
  EXPECT_EQ(rec.formatSize, 32u);
  EXPECT_FALSE(rec.lockRect);
  EXPECT_EQ(rec.lockFlags, 1u);
  EXPECT_EQ(rec.pixels[0], 7); // blue 7 as 0xFF000007
  EXPECT_EQ(rec.pixels[3], 0xFF);
  CreatePlainSurface(&dd, 3, 2, true, surface);
  EXPECT_EQ(rec.created.ddsCaps.dwCaps, 2112u);

  // A 24-bit surface shares the red mask of 32 bits: it is given up, never locked or written.
  Recorder rec24;
  rec24.bitCount = 24;
  FakeDirectDraw dd24(rec24);
  LoadJpegSurface(&dd24, surface, size, "dark");
  EXPECT_FALSE(surface);
  EXPECT_EQ(rec24.calls, "CreateSurface SetColorKey GetPixelFormat Release ");
  EXPECT_EQ(size.x, 8);
}
