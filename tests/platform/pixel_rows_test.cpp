#include "platform/pixel_rows.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t Next(uint32_t& seed) {
  return seed = seed * 1664525u + 1013904223u;
}

} // namespace

TEST(PixelRowsTest, KeyedCopyMatchesThePixelByPixelRuleForEveryLengthAndKeyRange) {
  uint32_t seed = 7;
  // Keys on both sides of the top bit, where a signed compare would get the order wrong.
  const uint32_t ranges[][2] = {{0xFF000000u, 0xFF000000u},
                                {0x00000010u, 0x7FFFFFF0u},
                                {0x7FFFFF00u, 0x80000100u},
                                {0x90000000u, 0xFFFFFFFFu},
                                {5, 4}};
  for (const auto& range : ranges) {
    for (int count = 0; count <= 13; ++count) {
      std::vector<uint32_t> src(count + 2), dst(count + 2), want;
      for (size_t i = 0; i < src.size(); ++i) {
        const uint32_t v = Next(seed);
        // Plenty of exact key values, range ends and values just outside them.
        const uint32_t pick[] = {v, range[0], range[1], range[0] - 1, range[1] + 1};
        src[i] = pick[(v >> 5) % 5];
        dst[i] = Next(seed);
      }
      want = dst;
      for (int i = 1; i <= count; ++i)
        if (src[i] < range[0] || src[i] > range[1]) want[i] = src[i];
      rows::KeyedCopyRow32(dst.data() + 1, src.data() + 1, count, range[0], range[1]);
      EXPECT_EQ(dst, want) << "count " << count << " key " << std::hex << range[0];
    }
  }
}

TEST(PixelRowsTest, FillsAndCopiesExactlyTheRow) {
  for (int count = 0; count <= 9; ++count) {
    std::vector<uint32_t> wide(count + 2, 0x11111111u);
    rows::FillRow(reinterpret_cast<uint8_t*>(wide.data() + 1), count, 4, 0xB0001010u);
    EXPECT_EQ(wide.front(), 0x11111111u);
    EXPECT_EQ(wide.back(), 0x11111111u);
    for (int i = 1; i <= count; ++i)
      EXPECT_EQ(wide[i], 0xB0001010u);
    std::vector<uint32_t> copy(count + 2, 0x33333333u);
    rows::CopyRow32(copy.data() + 1, wide.data() + 1, count);
    EXPECT_EQ(copy.front(), 0x33333333u);
    EXPECT_EQ(copy.back(), 0x33333333u);
    for (int i = 1; i <= count; ++i)
      EXPECT_EQ(copy[i], 0xB0001010u);
    std::vector<uint16_t> narrow(count + 2, 0x2222);
    rows::FillRow(reinterpret_cast<uint8_t*>(narrow.data() + 1), count, 2, 0xABCD1234u);
    EXPECT_EQ(narrow.front(), 0x2222);
    EXPECT_EQ(narrow.back(), 0x2222);
    for (int i = 1; i <= count; ++i)
      EXPECT_EQ(narrow[i], 0x1234);
  }
}
