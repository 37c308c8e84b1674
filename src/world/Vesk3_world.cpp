#include "world/Vesk3_world.h"

#include "bitmap/SurfaceBitmap.h"
#include "display/UDxDraw.h"

namespace {

constexpr int32_t CellSize = 24;
constexpr int32_t CellPitch = 25;

TTextureViewBitmaps Textures;

// Cell of a grid on the 25-pixel pitch; index arithmetic is wide so no index can overflow it.
struct TGridCell {
  int64_t X, Y;
};

TGridCell GridCell(int64_t index, int64_t columns, int64_t originX, int64_t originY) {
  return {index % columns * CellPitch + originX, index / columns * CellPitch + originY};
}

bool Overlaps(int64_t left, int64_t top, int64_t width, int64_t height, const TQdBitmap& b) {
  return left < b.Width && top < b.Height && left + width > 0 && top + height > 0;
}

} // namespace

std::unique_ptr<TQdBitmap> TTextureViewBitmaps::MakeLayer(int32_t width, int32_t height) {
  return std::make_unique<TD3DBitmap>(width, height, 32,
                                      FrameBuffer ? FrameBuffer->DirectDraw.Get() : nullptr);
}

std::unique_ptr<TQdBitmap> TTextureViewBitmaps::LoadSheet(const std::string& fileName) {
  return std::make_unique<TD3DBitmap>(fileName, 32,
                                      FrameBuffer ? FrameBuffer->DirectDraw.Get() : nullptr);
}

TWorldView::TWorldView(int32_t left, int32_t top, int32_t width, int32_t height, HDC drawContext)
    : TWorldView(left, top, width, height, drawContext, Textures) {}

TWorldView::TWorldView(int32_t left, int32_t top, int32_t width, int32_t height, HDC drawContext,
                       TViewBitmapSource& bitmaps)
    : DrawContext(drawContext), Left(left), Top(top), Width(width), Height(height) {
  for (TViewLayer& layer : Layers)
    layer.Bitmap = bitmaps.MakeLayer(width, height);
  Layers[0].Visible = true;
  ClearLayers();
  TileSheet = bitmaps.LoadSheet("deja1.kv0");
  if (TileSheet) TileSheet->SetColorKey(SheetColourKey);
  SpriteSheet = bitmaps.LoadSheet("deja2.kv0");
  if (SpriteSheet) SpriteSheet->SetColorKey(SheetColourKey);
}

void TWorldView::ReleaseBitmaps() {
  if (TileSheet) TileSheet->FreeImage();
  if (SpriteSheet) SpriteSheet->FreeImage();
  for (TViewLayer& layer : Layers)
    if (layer.Bitmap) layer.Bitmap->FreeImage();
}

void TWorldView::Present() {
  for (size_t i = 0; i < Layers.size(); ++i)
    if (Layers[i].Bitmap && Layers[i].Visible)
      Layers[i].Bitmap->DrawToScreen(DrawContext, Left, Top, LayerOpacity[i]);
}

void TWorldView::ClearLayers() {
  const TQdBitmap* first = Layers[0].Bitmap.get();
  const TRect whole = first ? Rect(0, 0, first->Width, first->Height) : TRect{};
  for (TViewLayer& layer : Layers)
    if (layer.Bitmap && layer.Visible) layer.Bitmap->FillRect(layer.FillColour, whole);
}

void TWorldView::DrawFromTileSheet(int32_t x, int32_t y, int32_t layer, const TSpriteCell& cell,
                                   int32_t) {
  DrawFromSheet(TileSheet.get(), false, x, y, layer, cell);
}

void TWorldView::DrawFromSpriteSheet(int32_t x, int32_t y, int32_t layer, const TSpriteCell& cell,
                                     int32_t) {
  DrawFromSheet(SpriteSheet.get(), true, x, y, layer, cell);
}

void TWorldView::DrawFromSheet(TQdBitmap* sheet, bool useKey, int32_t x, int32_t y, int32_t layer,
                               const TSpriteCell& cell) {
  TQdBitmap* target = Layers[layer < 0 ? 0 : layer >= 1 ? 1 : layer].Bitmap.get();
  if (!sheet || !target) return;
  const int64_t left = int64_t{x} - cell.HotX, top = int64_t{y} - cell.HotY;
  // A cell that misses the layer or its sheet entirely has nothing to copy.
  if (!Overlaps(left, top, cell.Width, cell.Height, *target) ||
      !Overlaps(cell.SrcX, cell.SrcY, cell.Width, cell.Height, *sheet))
    return;
  const auto l = static_cast<int32_t>(left), t = static_cast<int32_t>(top);
  target->Draw(Bounds(l, t, cell.Width, cell.Height), *sheet,
               Bounds(cell.SrcX, cell.SrcY, cell.Width, cell.Height), useKey);
}

void TWorldView::DrawSprite(int32_t kind, int32_t x, int32_t y, int32_t index, int32_t variant) {
  TGridCell src;
  int64_t top = y;
  bool fromTiles = false;
  switch (kind) {
  case 0:
    src = GridCell(index, 12, 1, 1);
    fromTiles = true;
    break;
  case 1:
    if (index <= 0) return;
    src = index <= 100 ? GridCell(index, 9, 226, 176) : GridCell(int64_t{index} - 101, 9, 451, 1);
    break;
  case 2:
    if (index <= 0 || index == 2 || index == 4) return;
    src = GridCell(index + int64_t{8} * variant, 9, 226, 326);
    top -= 10;
    break;
  case 4:
    if (index < 0) return;
    if (variant == 2) {
      src = {276, 251};
      top -= 24;
    } else {
      src = GridCell(index, 9, 1, 1);
      top -= 10;
    }
    break;
  default:
    return;
  }
  TQdBitmap* layer = Layers[0].Bitmap.get();
  TQdBitmap* sheet = fromTiles ? TileSheet.get() : SpriteSheet.get();
  if (!layer || !sheet || !Overlaps(x, top, CellSize, CellSize, *layer) ||
      !Overlaps(src.X, src.Y, CellSize, CellSize, *sheet))
    return;
  const TSpriteCell cell =
      MakeSpriteCell(static_cast<int32_t>(src.X), static_cast<int32_t>(src.Y), CellSize, CellSize);
  if (fromTiles)
    DrawFromTileSheet(x, static_cast<int32_t>(top), 0, cell);
  else
    DrawFromSpriteSheet(x, static_cast<int32_t>(top), 0, cell);
}
