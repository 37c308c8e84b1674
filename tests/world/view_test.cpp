#include "world/Vesk3_world.h"

#include "world/view_support.h"

#include <gmock/gmock.h>

#include <climits>

namespace {

class WorldViewTest : public ::testing::Test {
protected:
  TestBitmaps Bitmaps;
  TWorldView View{8, 8, 100, 80, nullptr, Bitmaps};
  TQdBitmap& Layer() { return *View.Layers[0].Bitmap; }
};

struct CellCase {
  int32_t Kind, Index, Variant;
  int SrcX, SrcY, Lift;
};

} // namespace

TEST_F(WorldViewTest, CreationMakesTwoLayersAndKeyedSheets) {
  EXPECT_THAT(Bitmaps.Loaded, testing::ElementsAre("deja1.kv0", "deja2.kv0"));
  EXPECT_EQ(Layer().Width, 100);
  EXPECT_EQ(Layer().Height, 80);
  EXPECT_TRUE(View.Layers[0].Visible);
  EXPECT_FALSE(View.Layers[1].Visible);
  EXPECT_EQ(View.Layers[1].Bitmap->Width, 100);
  EXPECT_EQ(View.TileSheet->ColorKey, 0xFF000000u);
  EXPECT_EQ(View.SpriteSheet->ColorKey, 0xFF000000u);
  EXPECT_EQ(PixelAt(Layer(), 99, 79), 0u);
}

TEST_F(WorldViewTest, SpritesComeFromTheirGridCells) {
  const CellCase cases[] = {
      {0, 0, 0, 1, 1, 0},       {0, 13, 0, 26, 26, 0},   {1, 13, 0, 326, 201, 0},
      {1, 100, 0, 251, 451, 0}, {1, 101, 0, 451, 1, 0},  {1, 255, 0, 476, 426, 0},
      {2, 1, 0, 251, 326, 10},  {2, 1, 1, 226, 351, 10}, {2, 3, 1, 276, 351, 10},
      {4, 14, 0, 126, 26, 10},  {4, 14, 1, 126, 26, 10}, {4, 14, 2, 276, 251, 24},
  };
  for (const CellCase& c : cases) {
    Layer().FillRect(0, Rect(0, 0, 100, 80));
    View.DrawSprite(c.Kind, 30, 40, c.Index, c.Variant);
    const uint32_t tag = c.Kind == 0 ? TileTag : SpriteTag;
    const int top = 40 - c.Lift;
    EXPECT_EQ(PixelAt(Layer(), 30, top), Coord(c.SrcX, c.SrcY, tag))
        << c.Kind << " " << c.Index << " " << c.Variant;
    EXPECT_EQ(PixelAt(Layer(), 53, top + 23), Coord(c.SrcX + 23, c.SrcY + 23, tag));
    EXPECT_EQ(PixelAt(Layer(), 54, top + 23), 0u);
    EXPECT_EQ(PixelAt(Layer(), 30, top + 24), 0u);
  }
}

TEST_F(WorldViewTest, EmptyIndicesAndUnknownKindsDrawNothing) {
  const int32_t empty[][3] = {{1, 0, 0},  {1, -5, 0}, {2, 0, 0}, {2, 2, 0}, {2, 4, 1},
                              {2, -1, 1}, {4, -1, 0}, {3, 5, 0}, {5, 5, 0}, {-1, 5, 0}};
  for (const auto& e : empty)
    View.DrawSprite(e[0], 30, 40, e[1], e[2]);
  for (int y = 0; y < 80; y += 3)
    for (int x = 0; x < 100; x += 3)
      ASSERT_EQ(PixelAt(Layer(), x, y), 0u) << x << "," << y;
}

TEST_F(WorldViewTest, SpriteSheetHonoursTheKeyAndTileSheetDoesNot) {
  SetPixel(*View.SpriteSheet, 326, 201, 0xFF000000u);
  SetPixel(*View.TileSheet, 26, 26, 0xFF000000u);
  Layer().FillRect(0xFF123456u, Rect(0, 0, 100, 80));
  View.DrawSprite(1, 0, 0, 13, 0);
  EXPECT_EQ(PixelAt(Layer(), 0, 0), 0xFF123456u);
  EXPECT_EQ(PixelAt(Layer(), 1, 0), Coord(327, 201, SpriteTag));
  View.DrawSprite(0, 50, 0, 13, 0);
  EXPECT_EQ(PixelAt(Layer(), 50, 0), 0xFF000000u);
}

TEST_F(WorldViewTest, ClearingTouchesOnlyVisibleLayers) {
  View.Layers[0].FillColour = 0x80FFFFFFu;
  SetPixel(*View.Layers[1].Bitmap, 5, 5, 7);
  View.ClearLayers();
  EXPECT_EQ(PixelAt(Layer(), 0, 0), 0x80FFFFFFu);
  EXPECT_EQ(PixelAt(Layer(), 99, 79), 0x80FFFFFFu);
  EXPECT_EQ(PixelAt(*View.Layers[1].Bitmap, 5, 5), 7u);
}

TEST_F(WorldViewTest, SheetCopiesClampTheLayerAndClipAtTheEdges) {
  const TSpriteCell cell = MakeSpriteCell(1, 1, 24, 24);
  View.DrawFromTileSheet(0, 0, 5, cell);    // layer 1
  View.DrawFromSpriteSheet(0, 0, -3, cell); // layer 0
  EXPECT_EQ(PixelAt(*View.Layers[1].Bitmap, 0, 0), Coord(1, 1, TileTag));
  EXPECT_EQ(PixelAt(Layer(), 0, 0), Coord(1, 1, SpriteTag));

  View.DrawSprite(4, 90, -5, 0, 0); // partly outside: the inside part is drawn
  EXPECT_EQ(PixelAt(Layer(), 99, 0), Coord(10, 16, SpriteTag));
  // Far outside, in every direction and with extreme cell numbers: nothing, and no overflow.
  // Only figures of kind 2 have variants; the other kinds draw their plain cell for any.
  auto pixels = [this] {
    std::vector<uint32_t> all;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x)
        all.push_back(PixelAt(Layer(), x, y));
    return all;
  };
  std::vector<uint32_t> plain[5];
  for (int32_t kind : {0, 1, 4}) {
    Layer().FillRect(0, Rect(0, 0, 100, 80));
    View.DrawSprite(kind, 50, 50, 13, 0);
    plain[kind] = pixels();
  }
  Layer().FillRect(0, Rect(0, 0, 100, 80));
  const std::vector<uint32_t> blank = pixels();
  for (int32_t v : {INT_MIN, INT_MIN + 5, INT_MAX - 5, INT_MAX})
    for (int32_t kind : {0, 1, 2, 4}) {
      View.DrawSprite(kind, v, 0, 13, 0);
      View.DrawSprite(kind, 0, v, 13, 0);
      View.DrawSprite(kind, 50, 50, v, 1);
      View.DrawSprite(kind, 50, 50, 13, v);
      EXPECT_EQ(pixels(), kind == 2 ? blank : plain[kind]) << kind << " " << v;
      Layer().FillRect(0, Rect(0, 0, 100, 80));
    }
}

namespace {

struct RecordingLayer : TQdBitmap {
  explicit RecordingLayer(std::vector<std::string>& log) : TQdBitmap(4, 4, 32), Log(log) {}
  void DrawToScreen(HDC dc, int32_t x, int32_t y, int32_t alpha) override {
    Log.push_back(std::to_string(dc == nullptr) + " " + std::to_string(x) + "," +
                  std::to_string(y) + " " + std::to_string(alpha));
  }
  std::vector<std::string>& Log;
};

} // namespace

TEST_F(WorldViewTest, PresentShowsVisibleLayersAtTheViewPosition) {
  std::vector<std::string> log;
  for (TViewLayer& layer : View.Layers)
    layer.Bitmap = std::make_unique<RecordingLayer>(log);
  View.Present();
  EXPECT_THAT(log, testing::ElementsAre("1 8,8 255"));
  View.Layers[1].Visible = true;
  View.Present();
  EXPECT_THAT(log, testing::ElementsAre("1 8,8 255", "1 8,8 255", "1 8,8 220"));
}
