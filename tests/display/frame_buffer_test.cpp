#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/recording_ddraw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x1234);

class FrameBufferTest : public ::testing::Test {
protected:
  void SetUp() override {
    soft::ResetSettings();
    soft::SetPresenter(nullptr);
    LoadDirectDrawBinding();
  }
  void TearDown() override {
    if (fb) fb->Destroy();
    recorder.reset();
    FreeDirectDrawBinding();
    soft::SetDirectDrawFactory(nullptr);
    soft::ResetSettings();
  }
  // A recording display that outlives the frame buffer using it.
  RecordingDisplay& Recorder() {
    recorder = std::make_unique<RecordingDisplay>();
    recorder->InstallAsFactory();
    return *recorder;
  }
  std::unique_ptr<RecordingDisplay> recorder;
  TFrameBuffer* fb = nullptr;
};

std::vector<std::string> After(const std::vector<std::string>& log, const std::string& first) {
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i] == first) return {log.begin() + static_cast<long>(i), log.end()};
  return {};
}

} // namespace

TEST_F(FrameBufferTest, DisplayModeAndDeviceAreSetUpInOrderWithTheirValues) {
  RecordingDisplay& rec = Recorder();
  fb = new TFrameBuffer(kWindow);
  ASSERT_TRUE(fb->SetDisplayMode(640, 480, DisplayBits));
  const std::string desc = std::to_string(sizeof(DDSURFACEDESC2));
  std::vector<std::string> expected = {
      "DD.SetCooperativeLevel 0x13",
      "DD.SetDisplayMode 640 480 32 0 0",
      "DD.CreateSurface size " + desc + " flags 0x21 caps 0x2218 0x0 back 1 0x0 bits 0",
      "Primary.GetAttachedSurface 0x4",
      "DD.QueryInterface IID_IDirect3D7",
      "Back.GetSurfaceDesc " + desc,
      "D3D.CreateDevice HAL",
      "Dev.SetViewport 0 0 640 480 0 1",
      "Dev.SetMaterial diffuse 1 1 1 0 ambient 1 1 1 0 rest 0",
      "Dev.RS 139 0xFFFFFFFF",
      "Dev.RS 7 0x0",
      "Dev.RS 26 0x0",
      "Dev.RS 29 0x0",
      "Dev.RS 4 0x0",
      "Dev.TSS 0 11 0x0",
      "Dev.TSS 0 1 0x4",
      "Dev.TSS 0 2 0x2",
      "Dev.TSS 0 3 0x0",
      "Dev.TSS 0 4 0x4",
      "Dev.TSS 0 5 0x2",
      "Dev.TSS 0 6 0x0",
      "Dev.TSS 0 17 0x2",
      "Dev.TSS 0 16 0x1",
      "Dev.RS 2 0x0",
      "Dev.RS 40 0x0",
      "Dev.RS 9 0x2",
      "Dev.RS 19 0x2",
      "Dev.RS 20 0x2",
      "Dev.RS 27 0x1",
      "Dev.RS 24 0x0",
      "Dev.RS 25 0x7",
      "Dev.RS 15 0x0",
  };
  EXPECT_THAT(After(rec.log, "DD.SetCooperativeLevel 0x13"), ElementsAreArray(expected));
  EXPECT_EQ(fb->RenderRect.right, 640);
  EXPECT_EQ(fb->RenderRect.bottom, 480);
}

TEST_F(FrameBufferTest, EachStepThatFailsEndsSetDisplayModeAtOnce) {
  const char* steps[] = {"DD.SetCooperativeLevel", "DD.SetDisplayMode", "DD.CreateSurface",
                         "Primary.GetAttachedSurface"};
  for (int i = 0; i < 4; ++i) {
    RecordingDisplay rec;
    rec.InstallAsFactory();
    rec.fail[steps[i]] = DDERR_GENERIC;
    TFrameBuffer* f = new TFrameBuffer(kWindow);
    EXPECT_FALSE(f->SetDisplayMode(640, 480, 32)) << steps[i];
    EXPECT_THAT(rec.log, Not(Contains(HasSubstr("QueryInterface")))) << steps[i];
    f->Destroy();
  }
}

TEST_F(FrameBufferTest, FallsBackToTheRgbDeviceAndStillSucceedsWithoutAnyDevice) {
  {
    RecordingDisplay rec;
    rec.InstallAsFactory();
    rec.fail["D3D.CreateDevice HAL"] = DDERR_GENERIC;
    fb = new TFrameBuffer(kWindow);
    EXPECT_TRUE(fb->SetDisplayMode(640, 480, 32));
    EXPECT_THAT(rec.log, Contains("D3D.CreateDevice RGB"));
    EXPECT_TRUE(fb->Device);
    fb->Destroy();
    fb = nullptr;
  }
  RecordingDisplay& rec = Recorder();
  rec.fail["D3D.CreateDevice"] = DDERR_GENERIC;
  fb = new TFrameBuffer(kWindow);
  // The mode is set once the back buffer exists; the missing device shows only in Device.
  EXPECT_TRUE(fb->SetDisplayMode(640, 480, 32));
  EXPECT_FALSE(fb->Device);
  EXPECT_THAT(rec.log, Not(Contains(HasSubstr("SetViewport"))));
}

TEST_F(FrameBufferTest, ClearTouchesOnlyTheColourTargetAndFlipWaits) {
  RecordingDisplay& rec = Recorder();
  fb = new TFrameBuffer(kWindow);
  fb->SetDisplayMode(640, 480, 32);
  rec.log.clear();
  fb->Clear(0xFF000000);
  fb->Flip(7, 9);
  EXPECT_THAT(rec.log, ElementsAre("Dev.Clear 0 0x1 0xFF000000 1 0", "Primary.Flip 0x1"));
}

TEST_F(FrameBufferTest, ReleaseOrderIsDeviceDirect3DBackBufferThenDirectDraw) {
  RecordingDisplay& rec = Recorder();
  fb = new TFrameBuffer(kWindow);
  fb->SetDisplayMode(640, 480, 32);
  rec.log.clear();
  fb->ReleaseAll();
  // The device holds its render target, so the back buffer goes with the device's last reference.
  EXPECT_THAT(rec.log, ElementsAre("Dev.Released", "D3D.Released", "Back.Released"));
  EXPECT_TRUE(fb->PrimarySurface);
  EXPECT_FALSE(fb->DirectDraw);
}

TEST_F(FrameBufferTest, WithoutDirectDrawCreationAndModeReportFailure) {
  soft::Settings().directDrawAvailable = false;
  fb = new TFrameBuffer(kWindow);
  EXPECT_FALSE(fb->DirectDraw);
  EXPECT_FALSE(fb->CreateDirectDraw());
  EXPECT_FALSE(fb->SetDisplayMode(640, 480, 32));
  FreeDirectDrawBinding();
  soft::Settings().directDrawAvailable = true;
  EXPECT_FALSE(fb->CreateDirectDraw()); // no binding: no entry point to call
}

// Texture creation on the software device, whose capabilities are settings.
class TextureTest : public FrameBufferTest {
protected:
  void Make() {
    fb = new TFrameBuffer(kWindow);
    ASSERT_TRUE(fb->SetDisplayMode(640, 480, 32));
    ASSERT_TRUE(fb->Device);
  }
  DDSURFACEDESC2 Desc(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 d;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    EXPECT_EQ(s->GetSurfaceDesc(&d), DD_OK);
    return d;
  }
};

TEST_F(TextureTest, SizesRoundToPowersOfTwoFromFourAndSquareWhenAsked) {
  Make();
  ComRef<IDirectDrawSurface7> t;
  fb->CreateTexture(fb->Device.Get(), 3, 5, tfA8R8G8B8, t);
  ASSERT_TRUE(t);
  EXPECT_EQ(Desc(t.Get()).dwWidth, 4u);
  EXPECT_EQ(Desc(t.Get()).dwHeight, 8u);
  fb->CreateTexture(fb->Device.Get(), 1, 1, tfA8R8G8B8, t);
  EXPECT_EQ(Desc(t.Get()).dwWidth, 4u);
  EXPECT_EQ(Desc(t.Get()).dwHeight, 4u);
  fb->CreateTexture(fb->Device.Get(), 456, 360, tfA8R8G8B8, t);
  EXPECT_EQ(Desc(t.Get()).dwWidth, 512u);
  EXPECT_EQ(Desc(t.Get()).dwHeight, 512u);

  soft::Settings().squareTextures = true;
  fb->CreateTexture(fb->Device.Get(), 3, 5, tfA8R8G8B8, t);
  EXPECT_EQ(Desc(t.Get()).dwWidth, 8u);
  EXPECT_EQ(Desc(t.Get()).dwHeight, 8u);

  soft::Settings().pow2Textures = false;
  soft::Settings().squareTextures = false;
  fb->CreateTexture(fb->Device.Get(), 3, 5, tfA8R8G8B8, t);
  EXPECT_EQ(Desc(t.Get()).dwWidth, 3u);
  EXPECT_EQ(Desc(t.Get()).dwHeight, 5u);
}

TEST_F(TextureTest, FormatsAreChosenBySizeAndMasksAndSkipOthers) {
  Make();
  ComRef<IDirectDrawSurface7> t;
  struct Case {
    int format;
    DWORD bits, alpha, red;
  } cases[] = {{tfA4R4G4B4, 16, 0xF000, 0x0F00},
               {tfA1R5G5B5, 16, 0x8000, 0x7C00},
               {tfR5G6B5, 16, 0, 0xF800},
               {tfA8R8G8B8, 32, 0xFF000000, 0xFF0000}};
  for (const Case& c : cases) {
    fb->CreateTexture(fb->Device.Get(), 8, 8, c.format, t);
    ASSERT_TRUE(t) << c.format;
    DDSURFACEDESC2 d = Desc(t.Get());
    EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, c.bits);
    EXPECT_EQ(d.ddpfPixelFormat.dwRGBAlphaBitMask, c.alpha);
    EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, c.red);
    DDCOLORKEY key{1, 1};
    EXPECT_EQ(t->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 0u);
    EXPECT_EQ(key.dwColorSpaceHighValue, 0u);
  }
  fb->CreateTexture(fb->Device.Get(), 8, 8, 4, t);
  EXPECT_FALSE(t);

  // Look-alikes listed first, each to be passed over by one rule: luminance, FourCC, alpha only.
  auto& formats = soft::Settings().textureFormats;
  DDPIXELFORMAT luminance = soft::RgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  luminance.dwFlags = DDPF_LUMINANCE;
  DDPIXELFORMAT fourCC = soft::RgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
  fourCC.dwFlags |= DDPF_FOURCC;
  fourCC.dwFourCC = 0x31545844;
  DDPIXELFORMAT alphaOnly = soft::RgbFormat(16, 0xF800, 0x07E0, 0x001F, 0);
  alphaOnly.dwFlags = DDPF_ALPHAPIXELS;
  formats.insert(formats.begin(), {luminance, fourCC, alphaOnly});
  for (int format : {tfA4R4G4B4, tfA1R5G5B5, tfR5G6B5}) {
    fb->CreateTexture(fb->Device.Get(), 8, 8, format, t);
    ASSERT_TRUE(t) << format;
    const DDPIXELFORMAT f = Desc(t.Get()).ddpfPixelFormat;
    EXPECT_EQ(f.dwFlags & ~DDPF_ALPHAPIXELS, DDPF_RGB) << format;
    EXPECT_EQ(f.dwFourCC, 0u) << format;
  }

  // Only formats without a 0xF000 alpha: no A4R4G4B4 texture even though 16-bit ones exist.
  formats.erase(
      std::remove_if(formats.begin(), formats.end(),
                     [](const DDPIXELFORMAT& f) { return f.dwRGBAlphaBitMask == 0xF000; }),
      formats.end());
  fb->CreateTexture(fb->Device.Get(), 8, 8, tfA4R4G4B4, t);
  EXPECT_FALSE(t);
  fb->CreateTexture(fb->Device.Get(), 8, 8, tfR5G6B5, t);
  EXPECT_TRUE(t);
}

TEST_F(TextureTest, HardwareTexturesAreManagedAndSoftwareOnesLiveInSystemMemory) {
  Make();
  ComRef<IDirectDrawSurface7> t;
  fb->CreateTexture(fb->Device.Get(), 8, 8, tfA8R8G8B8, t);
  ASSERT_TRUE(t);
  EXPECT_EQ(Desc(t.Get()).ddsCaps.dwCaps2, DDSCAPS2_TEXTUREMANAGE);
  EXPECT_FALSE(Desc(t.Get()).ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  fb->Destroy();
  fb = nullptr;

  soft::Settings().halDevice = false;
  Make();
  fb->CreateTexture(fb->Device.Get(), 8, 8, tfA8R8G8B8, t);
  ASSERT_TRUE(t);
  EXPECT_EQ(Desc(t.Get()).ddsCaps.dwCaps2, 0u);
  EXPECT_TRUE(Desc(t.Get()).ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
}

TEST_F(TextureTest, EnumerationStopsAtTheFirstMatchAndDoesNotRunForUnknownFormats) {
  RecordingDisplay& rec = Recorder();
  rec.formats = {soft::RgbFormat(16, 0xF800, 0x07E0, 0x1F, 0),
                 soft::RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                 soft::RgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)};
  fb = new TFrameBuffer(kWindow);
  fb->SetDisplayMode(640, 480, 32);
  ComRef<IDirectDrawSurface7> t;
  rec.log.clear();
  fb->CreateTexture(fb->Device.Get(), 5, 5, tfA8R8G8B8, t);
  EXPECT_THAT(rec.log,
              ElementsAre("Dev.GetCaps", "Dev.EnumTextureFormats",
                          "Dev.EnumTextureFormats.offer 16", "Dev.EnumTextureFormats.offer 32",
                          "Dev.GetRenderTarget", "Back.GetDDInterface",
                          "DD.CreateSurface size " + std::to_string(sizeof(DDSURFACEDESC2)) +
                              " flags 0x101007 caps 0x1000 0x10 back 0 8x8 bits 32",
                          "Surface.SetColorKey 0x8 0x0 0x0"));
  t.Reset();
  rec.log.clear();
  fb->CreateTexture(fb->Device.Get(), 5, 5, 7, t);
  EXPECT_THAT(rec.log, ElementsAre("Dev.GetCaps"));
  rec.log.clear();
  rec.fail["Dev.GetCaps"] = DDERR_GENERIC;
  fb->CreateTexture(fb->Device.Get(), 5, 5, tfA8R8G8B8, t);
  EXPECT_THAT(rec.log, ElementsAre("Dev.GetCaps"));
  EXPECT_FALSE(t);
}
