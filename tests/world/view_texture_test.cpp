#include "world/Vesk3_world.h"

#include "bitmap/SurfaceBitmap.h"
#include "bitmap/bitmap_support.h"
#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"
#include "support/display.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

class TextureViewTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::StartDisplay(FrameBuffer));
    std::filesystem::current_path(Dir.path()); // the sheets are looked for here, and missing
  }
  void TearDown() override {
    std::filesystem::current_path(SavedDir);
    testsupport::StopDisplay(FrameBuffer);
  }
  static uint32_t BackBufferPixel(int x, int y) {
    return testsupport::SurfacePixel(FrameBuffer->BackBuffer.Get(), x, y);
  }
  std::filesystem::path SavedDir = std::filesystem::current_path();
  TempDir Dir;
};

} // namespace

TEST_F(TextureViewTest, DrawsAndPresentsThroughTextures) {
  TWorldView view(8, 8, 360, 456, nullptr);
  TQdBitmap& layer = *view.Layers[0].Bitmap;
  EXPECT_EQ(layer.Kind, 2);
  EXPECT_EQ(layer.Width, 360);
  EXPECT_EQ(view.Layers[1].Bitmap->Height, 456);
  EXPECT_EQ(view.SpriteSheet->Width, 0); // no sheet files: empty sheets draw nothing
  view.DrawSprite(4, 0, 10, 0, 0);
  EXPECT_EQ(PixelAt(layer, 0, 0), 0u);

  auto sheet = std::make_unique<TD3DBitmap>(680, 480, 32, FrameBuffer->DirectDraw.Get());
  FillWithCoordinates(*sheet);
  SetPixel(*sheet, 326, 201, SheetColourKey);
  sheet->SetColorKey(SheetColourKey);
  view.SpriteSheet = std::move(sheet);
  view.DrawSprite(1, 0, 0, 13, 0);
  EXPECT_EQ(PixelAt(layer, 0, 0), 0u); // keyed out
  EXPECT_EQ(PixelAt(layer, 1, 0), Coord(327, 201));

  FrameBuffer->Clear(0xFF405060u);
  view.Present();
  EXPECT_EQ(BackBufferPixel(8, 8), 0xFF405060u); // the cleared layer is transparent
  EXPECT_EQ(BackBufferPixel(9, 8), Coord(327, 201));
  view.ReleaseBitmaps();
  EXPECT_FALSE(static_cast<TD3DBitmap&>(layer).Surface);
}
