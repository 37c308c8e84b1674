#include "text/Johab.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <iconv.h>

namespace {

// Johab code of one unit as the C library converts it; 0 when it has none.
uint32_t IconvJohab(iconv_t cd, char16_t unit) {
  char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = 2, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || op - out != 2) return 0;
  return (static_cast<uint8_t>(out[0]) << 8) | static_cast<uint8_t>(out[1]);
}

class JohabAgainstIconv : public ::testing::Test {
protected:
  void SetUp() override {
    cd_ = iconv_open("JOHAB", "UTF-16LE");
    if (cd_ == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv has no JOHAB";
  }
  void TearDown() override {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

} // namespace

TEST_F(JohabAgainstIconv, EverySyllableMatches) {
  int mismatches = 0;
  for (char32_t u = 0xAC00; u <= 0xD7A3; ++u) {
    uint32_t expected = IconvJohab(cd_, static_cast<char16_t>(u));
    ASSERT_NE(expected, 0u);
    if (CharToJohab(static_cast<char16_t>(u)) != expected && ++mismatches < 5)
      ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(u);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(JohabAgainstIconv, CompatibilityJamoMatchExceptLoneInitialsWhichDropTheFills) {
  const std::u16string initials = u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
  for (char16_t u = 0x3131; u <= 0x3163; ++u) {
    uint32_t standard = IconvJohab(cd_, u);
    ASSERT_NE(standard, 0u);
    uint32_t expected = initials.find(u) != std::u16string::npos ? (standard & 0xFC00) : standard;
    EXPECT_EQ(CharToJohab(u), expected) << std::hex << "U+" << static_cast<uint32_t>(u);
  }
}

TEST(Johab, NamedCodes) {
  // The same without iconv, for systems that lack it.
  EXPECT_EQ(CharToJohab(u'한'), 0xD065u);
  EXPECT_EQ(CharToJohab(u'힣'), 0xD3BDu);
  EXPECT_EQ(CharToJohab(u'ㄱ'), 0x8800u);
  EXPECT_EQ(CharToJohab(u'ㄳ'), 0x8444u);
  EXPECT_EQ(CharToJohab(u'A'), 0x41u);
  for (char16_t u : {0x80, 0xE9, 0x2026, 0x3130, 0x3164, 0xABFF, 0xD7A4, 0xFFFF})
    EXPECT_EQ(CharToJohab(u), 0u) << std::hex << static_cast<uint32_t>(u);
}

TEST(Johab, IndexTablesTurnFieldsIntoSequentialJamo) {
  auto split = [](uint32_t j) {
    return std::array<int, 3>{InitialIndex[(j >> 10) & 31], MedialIndex[(j >> 5) & 31],
                              FinalIndex[j & 31]};
  };
  EXPECT_EQ(split(0x8800), split(0x8841));
  // Every syllable maps back to its own Unicode decomposition.
  for (char32_t u = 0xAC00; u <= 0xD7A3; ++u) {
    uint32_t s = u - 0xAC00;
    auto f = split(CharToJohab(static_cast<char16_t>(u)));
    ASSERT_EQ(f, (std::array<int, 3>{int(s / 588 + 1), int(s % 588 / 28 + 1), int(s % 28)}))
        << std::hex << static_cast<uint32_t>(u);
  }
}

TEST(Johab, CellsAndBraceBalance) {
  EXPECT_EQ(TextCells(u"{세나}에요"), 8);
  EXPECT_EQ(TextCells(u"\u00e9ㄱ"), 3);
  EXPECT_FALSE(IsBalanced(u"{세나", u'{', u'}'));
  EXPECT_TRUE(IsBalanced(u"{세나}", u'{', u'}'));
  EXPECT_TRUE(IsBalanced(u"}a{", u'{', u'}'));
  EXPECT_FALSE(IsBalanced(u"a}", u'{', u'}'));
}
