#include "platform/fatal.h"
#include "platform/keyboard_layout.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
void SinkToStderr(const char* text) {
  std::fprintf(stderr, "[box] %s\n", text);
}
} // namespace

TEST(FatalError, ReportsNumberAndAddressAndExitsWithTheNumber) {
  EXPECT_EXIT(QD_ASSERT(1 + 1 == 3, "Vesk3_sub", 810), ::testing::ExitedWithCode(227),
              "Assertion failure \\(Vesk3_sub, line 810\\)\nRuntime error 227 at [0-9A-F]{8}\n");
  EXPECT_EXIT(fatal::AbstractCall(), ::testing::ExitedWithCode(210), "Runtime error 210 at ");
  // With a window the same text is shown in a message box too.
  EXPECT_EXIT(
      {
        fatal::SetMessageSink(SinkToStderr);
        QD_RUN_ERROR(103);
      },
      ::testing::ExitedWithCode(103), "\\[box\\] Runtime error 103 at [0-9A-F]{8}");
}

TEST(KeyboardLayout, CharactersAndKeysAgreeForEveryPrintableCharacter) {
  for (char c = 0x20; c < 0x7F; ++c) {
    int vk;
    bool shift;
    ASSERT_TRUE(keyboard::KeyFromChar(c, vk, shift)) << c;
    EXPECT_EQ(keyboard::CharFromKey(vk, shift, false), c) << c;
  }
  EXPECT_EQ(keyboard::CharFromKey('U', false, true), 21);
  EXPECT_EQ(keyboard::CharFromKey(0x0D, true, false), 13);
  EXPECT_EQ(keyboard::CharFromKey(0x25, false, false), -1); // arrows type nothing
  EXPECT_EQ(keyboard::CharFromKey(0x15, false, false), -1); // nor does the Hangul key
}
