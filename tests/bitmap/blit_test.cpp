#include "bitmap/QdBitmap.h"
#include "bitmap/bitmap_support.h"

#include <gtest/gtest.h>

namespace {

class TCountingBitmap : public TQdBitmap {
public:
  using TQdBitmap::TQdBitmap;
  void Lock() override {
    ++Locks;
    TQdBitmap::Lock();
  }
  int Locks = 0;
};

} // namespace

TEST(ClipToBitmap, ShrinksSourceAlongWithDestinationOnEverySide) {
  TQdBitmap d(100, 50, 32);
  TRect src = Rect(0, 0, 20, 10), dst = Rect(-5, -3, 15, 7);
  EXPECT_TRUE(d.ClipToBitmap(src, dst));
  EXPECT_EQ(src, Rect(5, 3, 20, 10));
  EXPECT_EQ(dst, Rect(0, 0, 15, 7));

  src = Rect(0, 0, 20, 10), dst = Rect(90, 45, 110, 55);
  EXPECT_TRUE(d.ClipToBitmap(src, dst));
  EXPECT_EQ(src, Rect(0, 0, 10, 5));
  EXPECT_EQ(dst, Rect(90, 45, 100, 50));

  src = Rect(0, 0, 20, 10), dst = Rect(100, 0, 120, 10);
  EXPECT_FALSE(d.ClipToBitmap(src, dst));
  src = Rect(0, 0, 20, 10), dst = Rect(0, -10, 20, 0);
  EXPECT_FALSE(d.ClipToBitmap(src, dst));
  // The far ends of the coordinate range do not overflow.
  src = Rect(0, 0, 1, 1), dst = Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  EXPECT_FALSE(d.ClipToBitmap(src, dst));
}

TEST(Draw, ClipsOnTheLeftAndRight) {
  TQdBitmap s(20, 10, 32), d(100, 100, 32);
  FillWithCoordinates(s);
  d.FillRect(0, Rect(0, 0, 100, 100));
  d.Draw(Rect(-5, 0, 15, 10), s, Rect(0, 0, 20, 10), false);
  EXPECT_EQ(PixelAt(d, 0, 0), Coord(5, 0));
  EXPECT_EQ(PixelAt(d, 14, 9), Coord(19, 9));
  EXPECT_EQ(PixelAt(d, 15, 0), 0u);

  d.Draw(Rect(90, 0, 110, 10), s, Rect(0, 0, 20, 10), false);
  EXPECT_EQ(PixelAt(d, 90, 3), Coord(0, 3));
  EXPECT_EQ(PixelAt(d, 99, 3), Coord(9, 3));
}

TEST(Draw, NothingLeftAfterClippingLocksNothing) {
  TCountingBitmap s(20, 10, 32), d(100, 100, 32);
  d.Draw(Rect(100, 0, 120, 10), s, Rect(0, 0, 20, 10), false);
  d.Draw(Rect(0, 0, 0, 10), s, Rect(0, 0, 0, 10), false);
  EXPECT_EQ(s.Locks, 0);
  EXPECT_EQ(d.Locks, 0);
}

TEST(Draw, KeyComparesTheWholePixelIncludingAlpha) {
  TQdBitmap s(3, 1, 32), d(3, 1, 32);
  s.SetColorKey(0xFF000000);
  SetPixel(s, 0, 0, 0xFF000000); // the key: skipped
  SetPixel(s, 1, 0, 0x00000000); // differs only in alpha: copied
  SetPixel(s, 2, 0, 0xFF123456);
  d.FillRect(0xFFABCDEF, Rect(0, 0, 3, 1));
  d.Draw(Rect(0, 0, 3, 1), s, Rect(0, 0, 3, 1), true);
  EXPECT_EQ(PixelAt(d, 0, 0), 0xFFABCDEFu);
  EXPECT_EQ(PixelAt(d, 1, 0), 0x00000000u);
  EXPECT_EQ(PixelAt(d, 2, 0), 0xFF123456u);

  d.Draw(Rect(0, 0, 3, 1), s, Rect(0, 0, 3, 1), false);
  EXPECT_EQ(PixelAt(d, 0, 0), 0xFF000000u);
}

TEST(Draw, ScrollsOntoItselfInEveryDirection) {
  const int W = 8, H = 40;
  TQdBitmap b(W, H, 32);
  FillWithCoordinates(b);
  b.Draw(Bounds(0, 0, W, H - 16), b, Bounds(0, 16, W, H - 16), false);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(PixelAt(b, x, y), y < H - 16 ? Coord(x, y + 16) : Coord(x, y)) << x << "," << y;

  // Downwards and rightwards with overlap, keyed and not, must also read before writing.
  for (bool key : {false, true}) {
    FillWithCoordinates(b);
    b.SetColorKey(0x12345678); // matches nothing
    b.Draw(Bounds(0, 3, W, H - 3), b, Bounds(0, 0, W, H - 3), key);
    EXPECT_EQ(PixelAt(b, 2, H - 1), Coord(2, H - 4));
    EXPECT_EQ(PixelAt(b, 2, 3), Coord(2, 0));
    FillWithCoordinates(b);
    b.Draw(Bounds(2, 0, W - 2, H), b, Bounds(0, 0, W - 2, H), key);
    EXPECT_EQ(PixelAt(b, W - 1, 5), Coord(W - 3, 5));
    EXPECT_EQ(PixelAt(b, 2, 5), Coord(0, 5));
  }
}

TEST(Draw, SourceRectangleOutsideItsBitmapCopiesOnlyWhatExists) {
  TQdBitmap s(4, 4, 32), d(10, 10, 32);
  FillWithCoordinates(s);
  d.FillRect(0, Rect(0, 0, 10, 10));
  d.Draw(Bounds(3, 3, 8, 8), s, Bounds(-2, -1, 8, 8), false);
  EXPECT_EQ(PixelAt(d, 4, 3), 0u);
  EXPECT_EQ(PixelAt(d, 5, 4), Coord(0, 0));
  EXPECT_EQ(PixelAt(d, 8, 7), Coord(3, 3));
  EXPECT_EQ(PixelAt(d, 9, 8), 0u);

  // A destination rectangle smaller than the source does not cut the copy, but the bitmap's
  // edge does; a source without storage gives nothing.
  d.Draw(Bounds(8, 0, 1, 1), s, Bounds(0, 0, 4, 4), false);
  EXPECT_EQ(PixelAt(d, 9, 3), Coord(1, 3));
  s.FreeStorage();
  d.Draw(Bounds(0, 0, 4, 4), s, Bounds(0, 0, 4, 4), false);
  EXPECT_EQ(PixelAt(d, 0, 0), 0u);
}

TEST(FillRect, ClipsAndPassesZeroSizesThrough) {
  TCountingBitmap b(10, 10, 32);
  b.FillRect(0, Rect(0, 0, 10, 10));
  b.FillRect(0xFF112233, Rect(-10, -10, 5, 5));
  EXPECT_EQ(PixelAt(b, 4, 4), 0xFF112233u);
  EXPECT_EQ(PixelAt(b, 5, 4), 0u);
  EXPECT_EQ(PixelAt(b, 4, 5), 0u);

  int before = b.Locks;
  b.FillRect(0xFFFFFFFF, Rect(5, 5, 5, 20)); // zero width still reaches the routine
  EXPECT_EQ(b.Locks, before + 1);
  b.FillRect(0xFFFFFFFF, Rect(5, 5, 4, 20)); // negative width reaches nothing
  EXPECT_EQ(b.Locks, before + 1);
  EXPECT_EQ(PixelAt(b, 5, 5), 0u);
}

TEST(FillRect, SixteenAndFifteenBitFillsConvertOnce) {
  TQdBitmap b16(3, 2, 16), b15(3, 2, 15);
  b16.FillRect(0xFFFF8040, Rect(0, 0, 3, 2));
  b15.FillRect(0xFFFF8040, Rect(0, 0, 3, 2));
  EXPECT_EQ(Pixel16At(b16, 2, 1), 0xFC08);
  EXPECT_EQ(Pixel16At(b15, 2, 1), 0x7E08);
  // The 32-bit routines leave narrower pixels alone rather than run past their rows.
  b16.XorRect(0xFFFFFFFF, Rect(0, 0, 3, 2));
  b16.Fill32(0xFFFFFFFF, 0, 0, 3, 2);
  EXPECT_EQ(Pixel16At(b16, 2, 1), 0xFC08);
}

TEST(XorRect, InvertsColourButNeverAlpha) {
  TQdBitmap b(2, 2, 32);
  b.FillRect(0xFF102030, Rect(0, 0, 2, 2));
  b.XorRect(0xFFFFFFFF, Rect(0, 0, 1, 2));
  EXPECT_EQ(PixelAt(b, 0, 1), 0xFFEFDFCFu);
  EXPECT_EQ(PixelAt(b, 1, 1), 0xFF102030u);
  b.XorRect(0xFFFFFFFF, Rect(-5, -5, 1, 2));
  EXPECT_EQ(PixelAt(b, 0, 1), 0xFF102030u);
  // Called directly with a rectangle past the edges, the routine stays inside.
  b.Xor32(0x00000001, -3, -3, 100, 100);
  EXPECT_EQ(PixelAt(b, 1, 1), 0xFF102031u);
}
