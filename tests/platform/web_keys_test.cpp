#include "platform/keyboard_layout.h"
#include "platform/platform.h"
#include "platform/web/web_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every character key of a US keyboard as the browser names it (UI Events "code" values), with
// its unshifted character: the key must be the one the substitute's keyboard types it with.
TEST(WebKeysTest, CharacterKeysMatchTheKeysThatTypeTheirCharacters) {
  const std::pair<const char*, char> keys[] = {
      {"Backquote", '`'}, {"Digit1", '1'},      {"Digit2", '2'},       {"Digit3", '3'},
      {"Digit4", '4'},    {"Digit5", '5'},      {"Digit6", '6'},       {"Digit7", '7'},
      {"Digit8", '8'},    {"Digit9", '9'},      {"Digit0", '0'},       {"Minus", '-'},
      {"Equal", '='},     {"BracketLeft", '['}, {"BracketRight", ']'}, {"Backslash", '\\'},
      {"Semicolon", ';'}, {"Quote", '\''},      {"Comma", ','},        {"Period", '.'},
      {"Slash", '/'},     {"Space", ' '}};
  for (auto [code, c] : keys) {
    int vk = 0;
    bool shift = true;
    ASSERT_TRUE(keyboard::KeyFromChar(c, vk, shift)) << code;
    EXPECT_FALSE(shift) << code;
    EXPECT_EQ(web::VirtualKeyFromCode(code), vk) << code;
  }
  for (char c = 'a'; c <= 'z'; ++c) {
    int vk = 0;
    bool shift = true;
    ASSERT_TRUE(keyboard::KeyFromChar(c, vk, shift));
    EXPECT_EQ(web::VirtualKeyFromCode(std::string("Key") + static_cast<char>(c - 32)), vk) << c;
  }
}

TEST(WebKeysTest, ControlKeysFollowTheDesktopRules) {
  EXPECT_EQ(web::VirtualKeyFromCode("AltRight"), VK_HANGUL);
  EXPECT_EQ(web::VirtualKeyFromCode("Lang1"), VK_HANGUL);
  EXPECT_EQ(web::VirtualKeyFromCode("AltLeft"), VK_MENU);
  EXPECT_EQ(web::VirtualKeyFromCode("NumpadEnter"), VK_RETURN);
  EXPECT_EQ(web::VirtualKeyFromCode("ShiftRight"), VK_SHIFT);
  EXPECT_EQ(web::VirtualKeyFromCode("ControlRight"), VK_CONTROL);
  EXPECT_EQ(web::VirtualKeyFromCode("ArrowDown"), VK_DOWN);
  for (const char* other :
       {"", "Key", "Keya", "KeyAB", "Digit", "Digit10", "F12", "MetaLeft", "Enter\n", "Numpad5"})
    EXPECT_EQ(web::VirtualKeyFromCode(other), 0) << other;
}

} // namespace
