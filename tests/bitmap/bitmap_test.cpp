#include "bitmap/QdBitmap.h"
#include "bitmap/bitmap_support.h"

#include <gtest/gtest.h>

TEST(QdBitmap, RowsRunBottomUpWithoutPadding) {
  TQdBitmap b(3, 4, 16);
  EXPECT_EQ(b.Pitch, 6);
  EXPECT_EQ(b.Kind, 0);
  TQdLockGuard lock(b);
  EXPECT_EQ(b.GetScanLine(3), b.Pixels);
  EXPECT_EQ(b.GetScanLine(0), b.Pixels + 3 * 6);
  EXPECT_EQ(b.GetScanLine(1) - b.GetScanLine(0), -6);
  EXPECT_EQ(b.GetScanLine(-1), nullptr);
  EXPECT_EQ(b.GetScanLine(4), nullptr);
}

TEST(QdBitmap, AllocationRefusesEmptyHugeAndUnknownFormats) {
  TQdBitmap zero(0, 10, 32);
  EXPECT_EQ(zero.Pixels, nullptr);
  EXPECT_EQ(zero.Width, 0);
  EXPECT_EQ(zero.Pitch, 0);

  TQdBitmap b;
  EXPECT_FALSE(b.Allocate(10, 0, 32));
  EXPECT_EQ(b.Pitch, 40); // set before the size is found empty
  EXPECT_FALSE(b.Allocate(-4, -4, 32));
  EXPECT_FALSE(b.Allocate(0x7FFFFFFF, 0x7FFFFFFF, 32));
  EXPECT_FALSE(b.Allocate(100000, 100000, 32));
  EXPECT_FALSE(b.Allocate(4, 4, 24)); // no routine could treat 3-byte pixels
  EXPECT_FALSE(b.Allocate(4, 4, 8));
  EXPECT_EQ(b.Pixels, nullptr);
  EXPECT_EQ(b.Width, 0);
  EXPECT_EQ(b.Height, 0);
  EXPECT_EQ(b.BitCount, 0);
  // An empty bitmap takes fills and copies without effect.
  b.FillRect(0xFFFFFFFF, Rect(0, 0, 4, 4));
  TQdBitmap src(4, 4, 32);
  b.Draw(Rect(0, 0, 4, 4), src, Rect(0, 0, 4, 4), false);
  // Refused on a bitmap with storage: rows keep the length of the block they index.
  EXPECT_FALSE(src.Allocate(8, 8, 24));
  EXPECT_EQ(src.Pitch, 16);
  src.FillRect(0xFFFFFFFF, Rect(0, 0, 8, 8));
}

TEST(QdBitmap, FreeStorageKeepsSizesAndIsRepeatable) {
  TQdBitmap b(5, 6, 32);
  ASSERT_NE(b.Pixels, nullptr);
  EXPECT_TRUE(b.FreeStorage());
  EXPECT_TRUE(b.FreeStorage());
  EXPECT_EQ(b.Pixels, nullptr);
  EXPECT_EQ(b.Width, 5);
  EXPECT_EQ(b.Height, 6);
  TQdLockGuard lock(b);
  EXPECT_EQ(b.GetScanLine(0), nullptr);
}

TEST(QdBitmapDeathTest, LockDisciplineFailuresEndWithError227) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TQdBitmap b(2, 2, 32);
        b.Lock();
        b.Lock();
        b.Unlock();
        b.Unlock();
        b.Unlock();
      },
      testing::ExitedWithCode(227), "Assertion failure \\(Vesk3_sub, line 837\\)");
  EXPECT_EXIT(
      {
        TQdBitmap b(2, 2, 32);
        b.GetScanLine(0);
      },
      testing::ExitedWithCode(227), "Vesk3_sub, line 810");
  EXPECT_EXIT(
      {
        TQdBitmap b(2, 2, 32);
        b.LockCount = -1;
        b.Lock();
      },
      testing::ExitedWithCode(227), "Vesk3_sub, line 831");
}
