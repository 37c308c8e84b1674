#include "bitmap/ImageLoaders.h"
#include "bitmap/SurfaceBitmap.h"
#include "bitmap/bitmap_support.h"
#include "bitmap/image_files.h"
#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "platform/substitute/win32/win_control.h"
#include "support/display.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

class SurfaceBitmapTest : public testing::Test {
protected:
  void SetUp() override { StartDisplay(32); }
  void TearDown() override { StopDisplay(); }

  void StartDisplay(int bits) {
    ASSERT_TRUE(testsupport::StartDisplay(FrameBuffer, nullptr, bits));
  }
  void StopDisplay() { testsupport::StopDisplay(FrameBuffer); }

  IDirectDraw7* dd() { return FrameBuffer->DirectDraw.Get(); }
};

} // namespace

TEST_F(SurfaceBitmapTest, TextureMayBeLargerThanTheBitmap) {
  TD3DBitmap b(456, 360, 32, dd());
  EXPECT_EQ(b.Kind, 2);
  EXPECT_EQ(b.Width, 456);
  EXPECT_EQ(b.Height, 360);
  EXPECT_EQ(b.BitCount, 32);
  EXPECT_EQ(b.SurfaceWidth, 512u);
  EXPECT_EQ(b.SurfaceHeight, 512u);
  EXPECT_FLOAT_EQ(b.Quad[3].u, 0.890625f);
  EXPECT_FLOAT_EQ(b.Quad[3].v, 0.703125f);
  EXPECT_EQ(b.SrcBlend, int32_t(D3DBLEND_SRCALPHA));
  EXPECT_EQ(b.DestBlend, int32_t(D3DBLEND_INVSRCALPHA));
  TQdLockGuard lock(b);
  EXPECT_EQ(b.GetScanLine(0), b.Pixels);
  EXPECT_EQ(b.GetScanLine(1) - b.GetScanLine(0), b.Pitch);
  EXPECT_GE(b.Pitch, 512 * 4);
  EXPECT_EQ(b.GetScanLine(360), nullptr);
}

TEST_F(SurfaceBitmapTest, QuadVerticesSitHalfAPixelOffWithAlphaInTheDiffuse) {
  TD3DBitmap b(100, 50, 32, dd());
  TQuadVertex v[4];
  TD3DBitmap::BuildQuad(v, Bounds(10, 20, 100, 50), b, 220);
  EXPECT_EQ(v[0].x, 9.5f);
  EXPECT_EQ(v[1].x, 109.5f);
  EXPECT_EQ(v[2].x, 9.5f);
  EXPECT_EQ(v[0].y, 19.5f);
  EXPECT_EQ(v[3].y, 69.5f);
  for (const TQuadVertex& q : v) {
    EXPECT_EQ(q.diffuse, 0xDCFFFFFFu);
    EXPECT_EQ(q.z, 0.0f);
    EXPECT_EQ(q.rhw, 1.0f);
    EXPECT_EQ(q.specular, 0u);
  }
  EXPECT_EQ(v[0].u, 0.0f);
  EXPECT_FLOAT_EQ(v[1].u, 100.0f / 128);
  EXPECT_FLOAT_EQ(v[2].v, 50.0f / 64);
}

TEST_F(SurfaceBitmapTest, CopiesBetweenTexturesHonourTheSourceKey) {
  TD3DBitmap s(4, 1, 32, dd()), d(4, 1, 32, dd());
  SetPixel(s, 0, 0, 0xFF000000); // opaque black: the key
  SetPixel(s, 1, 0, 0x00000000); // transparent: copied, since the key includes alpha
  SetPixel(s, 2, 0, 0xFF123456);
  SetPixel(s, 3, 0, 0xFF000000);
  s.SetColorKey(0xFF000000);
  EXPECT_EQ(s.ColorKey, 0xFF000000u);
  d.FillRect(0xFFABCDEF, Rect(0, 0, 4, 1));
  d.Draw(Rect(0, 0, 4, 1), s, Rect(0, 0, 4, 1), true);
  EXPECT_EQ(PixelAt(d, 0, 0), 0xFFABCDEFu);
  EXPECT_EQ(PixelAt(d, 1, 0), 0x00000000u);
  EXPECT_EQ(PixelAt(d, 2, 0), 0xFF123456u);
  d.Draw(Rect(-1, 0, 3, 1), s, Rect(0, 0, 4, 1), false); // clipped like the software copy
  EXPECT_EQ(PixelAt(d, 0, 0), 0x00000000u);
  EXPECT_EQ(PixelAt(d, 2, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(d, 3, 0), 0xFFABCDEFu);
}

TEST_F(SurfaceBitmapTest, SoftwareSourcesFillsAndXorGoThroughTheSurfaceLock) {
  TQdBitmap soft(3, 3, 32);
  FillWithCoordinates(soft);
  TD3DBitmap d(8, 8, 32, dd());
  d.FillRect(0xFF00FF00, Rect(-4, -4, 100, 100));
  d.Draw(Bounds(6, 6, 3, 3), soft, Bounds(0, 0, 3, 3), false);
  EXPECT_EQ(PixelAt(d, 7, 7), Coord(1, 1));
  EXPECT_EQ(PixelAt(d, 5, 5), 0xFF00FF00u);
  d.XorRect(0xFFFFFFFF, Rect(0, 0, 2, 2));
  EXPECT_EQ(PixelAt(d, 1, 1), 0xFFFF00FFu);
  EXPECT_EQ(d.LockCount, 0);
}

TEST_F(SurfaceBitmapTest, OffscreenBitmapPresentsByBlitting) {
  TDxBitmap b(4, 2, 32, dd());
  EXPECT_EQ(b.Kind, 1);
  EXPECT_EQ(b.SurfaceWidth, 4u); // off-screen surfaces are not rounded
  b.FillRect(0xFF336699, Rect(0, 0, 4, 2));
  b.DrawToScreen(nullptr, 10, 20, 0);
  EXPECT_EQ(testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), 13, 21), 0xFF336699u);
  b.DrawRectToScreen(nullptr, 100, 50, Rect(1, 1, 3, 2));
  EXPECT_EQ(testsupport::SurfacePixel(FrameBuffer->PrimarySurface.Get(), 101, 51), 0xFF336699u);
  EXPECT_NE(testsupport::SurfacePixel(FrameBuffer->PrimarySurface.Get(), 100, 51), 0xFF336699u);
}

TEST_F(SurfaceBitmapTest, BitmapWithoutSurfaceIsInert) {
  soft::Settings().textureFormats.clear(); // no A8R8G8B8 texture can be made
  TD3DBitmap b(16, 16, 32, dd());
  EXPECT_FALSE(b.Surface);
  EXPECT_EQ(b.Width, 0);
  EXPECT_EQ(b.Quad[3].u, 0.0f); // no division by the missing texture's size
  b.SetColorKey(1);
  b.FillRect(1, Rect(0, 0, 16, 16));
  b.XorRect(1, Rect(0, 0, 16, 16));
  b.Lock();
  EXPECT_EQ(b.GetScanLine(0), nullptr);
  b.Unlock();
  TQdBitmap soft(2, 2, 32);
  b.Draw(Rect(0, 0, 2, 2), soft, Rect(0, 0, 2, 2), false);
  b.DrawToScreen(nullptr, 0, 0, 255);
  b.DrawRectToScreen(nullptr, 0, 0, Rect(0, 0, 2, 2));
  EXPECT_FALSE(TD3DBitmap(0, 5, 32, dd()).Surface);
  EXPECT_FALSE(TDxBitmap(-5, 5, 32, dd()).Surface);
}

TEST_F(SurfaceBitmapTest, LoadersWriteTheDisplaysSixteenBitFormat) {
  StopDisplay();
  StartDisplay(16);
  TempDir dir;
  using namespace imagefiles;
  std::string pcx =
      PcxHeader(1, 1, 1, 2) + Rle({1, 0}) + std::string(900, '\0') + PcxPalette({0, 0xFF8040});
  TDxBitmap b(dir.write("p.pcx", pcx), 32, dd());
  ASSERT_EQ(b.BitCount, 16);
  EXPECT_EQ(Pixel16At(b, 0, 0), 0xFC08);
  // The colour key is converted the same way, so it matches that pixel.
  b.SetColorKey(0xFFFF8040);
  DDCOLORKEY key{0, 0};
  ASSERT_EQ(b.Surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, 0xFC08u);
  EXPECT_EQ(b.ColorKey, 0xFC08u);
}

TEST_F(SurfaceBitmapTest, SurfaceLocksDoNotNest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TD3DBitmap b(4, 4, 32, dd());
  EXPECT_EXIT(
      {
        b.Lock();
        b.Lock();
      },
      testing::ExitedWithCode(227), "Vesk3_sub, line 1106");
  EXPECT_EXIT(b.Unlock(), testing::ExitedWithCode(227), "Vesk3_sub, line 1118");
  EXPECT_EXIT(b.GetScanLine(0), testing::ExitedWithCode(227), "Vesk3_sub, line 1073");
}

TEST(SoftwarePresentation, DrawRectToScreenHandsGdiTheBottomUpRows) {
  std::vector<soft::DIBitsCall> calls;
  soft::SetDIBitsHook([&](const soft::DIBitsCall& c) { calls.push_back(c); });
  TQdBitmap b(100, 50, 32);
  b.DrawRectToScreen(nullptr, 0, 0, Rect(10, 20, 30, 25));
  b.DrawToScreen(nullptr, 5, 6, 128);
  TQdBitmap odd16(3, 2, 16), even16(4, 2, 16);
  odd16.DrawToScreen(nullptr, 0, 0, 255); // GDI would read past its rows
  even16.DrawToScreen(nullptr, 0, 0, 255);
  soft::SetDIBitsHook(nullptr);

  ASSERT_EQ(calls.size(), 3u);
  const soft::DIBitsCall& c = calls[0];
  EXPECT_EQ(c.xDest, 10);
  EXPECT_EQ(c.yDest, 20);
  EXPECT_EQ(c.width, 20u);
  EXPECT_EQ(c.height, 5u);
  EXPECT_EQ(c.xSrc, 10);
  EXPECT_EQ(c.ySrc, 25);
  EXPECT_EQ(c.startScan, 0u);
  EXPECT_EQ(c.scanLines, 50u);
  EXPECT_EQ(c.bits, b.Pixels);
  EXPECT_EQ(c.colorUse, DIB_RGB_COLORS);
  EXPECT_EQ(c.header.biSize, 40u);
  EXPECT_EQ(c.header.biWidth, 100);
  EXPECT_EQ(c.header.biHeight, 50);
  EXPECT_EQ(c.header.biBitCount, 32);
  EXPECT_EQ(c.header.biSizeImage, 100u * 4 * 50);
  EXPECT_EQ(calls[1].ySrc, 0);
  EXPECT_EQ(calls[2].header.biBitCount, 16);
}

// A sheet in the game's own file format, cells copied into a layer with and without colour key,
// the layer shown at alpha 220 over a background: every screen pixel follows the blend of source
// alpha and inverse source alpha.
TEST_F(SurfaceBitmapTest, Kv0SheetThroughLayerToScreen) {
  using namespace imagefiles;
  TempDir dir;
  // Two 4 x 4 cells side by side: cell 0 is palette index 1 with a ring of index 0 (black),
  // cell 1 holds index 2.
  std::vector<std::vector<uint8_t>> lines;
  for (int y = 0; y < 4; ++y) {
    std::vector<uint8_t> l(8);
    for (int x = 0; x < 8; ++x)
      l[x] = x >= 4 ? 2 : (x == 0 || y == 0 || x == 3 || y == 3) ? 0 : 1;
    lines.push_back(l);
  }
  std::string pcx = PcxHeader(8, 4, 1, 8);
  for (const auto& l : lines)
    pcx += Rle(l);
  pcx += std::string(800, '\0') + PcxPalette({0x000000, 0xC08040, 0x2060A0});
  std::string file = dir.write("deja9.kv0", Scramble(pcx, Kv0Key, 0));

  TD3DBitmap sheet(file, 32, dd());
  ASSERT_EQ(sheet.Width, 8);
  sheet.SetColorKey(0xFF000000);
  TD3DBitmap layer(12, 4, 32, dd());
  layer.FillRect(0x00000000, Rect(0, 0, 12, 4));
  layer.Draw(Bounds(0, 0, 4, 4), sheet, Bounds(0, 0, 4, 4), true);  // keyed: ring stays clear
  layer.Draw(Bounds(4, 0, 4, 4), sheet, Bounds(0, 0, 4, 4), false); // ring copied, opaque black
  layer.Draw(Bounds(8, 0, 4, 4), sheet, Bounds(4, 0, 4, 4), true);

  const uint32_t background = 0xFF405060;
  FrameBuffer->Clear(background);
  layer.DrawToScreen(nullptr, 30, 40, 220);

  auto expect = [&](uint32_t texel) {
    const double a = ((texel >> 24) / 255.0) * (220 / 255.0);
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
      double s = (texel >> shift) & 0xFF, d = (background >> shift) & 0xFF;
      out |= uint32_t(std::lround(s * a + d * (1 - a))) << shift;
    }
    return out;
  };
  auto near = [](uint32_t got, uint32_t want) {
    for (int shift : {0, 8, 16})
      if (std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)) > 1) return false;
    return true;
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) {
      uint32_t texel = PixelAt(layer, x, y);
      uint32_t got = testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), 30 + x, 40 + y);
      EXPECT_TRUE(near(got, expect(texel)))
          << x << "," << y << std::hex << " got " << got << " want " << expect(texel);
    }
  // The three kinds of pixel really occur: cleared, opaque black from the unkeyed copy, colour.
  EXPECT_EQ(PixelAt(layer, 0, 0), 0x00000000u);
  EXPECT_EQ(PixelAt(layer, 4, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(layer, 1, 1), 0xFFC08040u);
  EXPECT_EQ(PixelAt(layer, 9, 2), 0xFF2060A0u);
  // Outside the layer the background is untouched.
  EXPECT_EQ(testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), 29, 40) & 0xFFFFFF,
            background & 0xFFFFFF);
  EXPECT_EQ(testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), 42, 40) & 0xFFFFFF,
            background & 0xFFFFFF);
}
