// The world view: two picture sheets cut into 24 by 24 cells, drawn into an off-screen layer.
#pragma once

#include "bitmap/QdBitmap.h"
#include "platform/platform.h"
#include "world/SpriteCanvas.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct TSpriteCell {
  int32_t SrcX, SrcY;
  int32_t Width, Height;
  int32_t HotX, HotY;
};

constexpr TSpriteCell MakeSpriteCell(int32_t srcX, int32_t srcY, int32_t width, int32_t height) {
  return {srcX, srcY, width, height, 0, 0};
}

struct TViewLayer {
  std::unique_ptr<TQdBitmap> Bitmap;
  bool Visible = false;
  uint32_t FillColour = 0;
};

// Where the view gets its bitmaps: textures on the display, or plain bitmaps in tests.
class TViewBitmapSource {
public:
  virtual ~TViewBitmapSource() = default;
  virtual std::unique_ptr<TQdBitmap> MakeLayer(int32_t width, int32_t height) = 0;
  virtual std::unique_ptr<TQdBitmap> LoadSheet(const std::string& fileName) = 0;
};

// Textures on the frame buffer's device, sheets read from their files.
class TTextureViewBitmaps : public TViewBitmapSource {
public:
  std::unique_ptr<TQdBitmap> MakeLayer(int32_t width, int32_t height) override;
  std::unique_ptr<TQdBitmap> LoadSheet(const std::string& fileName) override;
};

constexpr uint32_t SheetColourKey = 0xFF000000u;
constexpr int32_t LayerOpacity[2] = {255, 220};

class TWorldView : public TSpriteCanvas {
public:
  // Layers and sheets as textures of the frame buffer.
  TWorldView(int32_t left, int32_t top, int32_t width, int32_t height, HDC drawContext);
  TWorldView(int32_t left, int32_t top, int32_t width, int32_t height, HDC drawContext,
             TViewBitmapSource& bitmaps);

  void ReleaseBitmaps();
  void Present();
  void ClearLayers() override;
  void DrawSprite(int32_t kind, int32_t x, int32_t y, int32_t index, int32_t variant) override;
  void DrawFromTileSheet(int32_t x, int32_t y, int32_t layer, const TSpriteCell& cell,
                         int32_t opacity = 255);
  void DrawFromSpriteSheet(int32_t x, int32_t y, int32_t layer, const TSpriteCell& cell,
                           int32_t opacity = 255);

  HDC DrawContext; // handed to the layers' DrawToScreen
  int32_t Left, Top;
  int32_t Width, Height;
  std::array<TViewLayer, 2> Layers;
  std::unique_ptr<TQdBitmap> TileSheet;
  std::unique_ptr<TQdBitmap> SpriteSheet;

private:
  void DrawFromSheet(TQdBitmap* sheet, bool useKey, int32_t x, int32_t y, int32_t layer,
                     const TSpriteCell& cell);
};
