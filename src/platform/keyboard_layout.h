// The US keyboard: which character a key gives, and which key (with or without Shift) types a
// character; and the keys a message queue has handed out. Used by the substitute's and the
// Windows scripted run's TranslateMessage, and by scripted typing.
#pragma once

#include <array>

namespace keyboard {

// The WM_CHAR code a key down produces, or -1 when it produces none.
int CharFromKey(int vk, bool shift, bool ctrl);
// The key and Shift state that type the printable ASCII character c; false when none does.
bool KeyFromChar(char c, int& vk, bool& shift);

// Held keys and Caps Lock as the key messages taken so far leave them.
struct KeyState {
  std::array<bool, 256> held{};
  bool capsLock = false;

  void Down(int vk); // the lock key's first down toggles the lock
  void Up(int vk) { held[static_cast<unsigned>(vk) & 0xFF] = false; }
  bool Held(int vk) const { return held[static_cast<unsigned>(vk) & 0xFF]; }
  // The character a key down gives now: Shift and Ctrl as held, Caps Lock inverting Shift on
  // letters. -1 when it gives none.
  int CharOf(int vk) const;
};

} // namespace keyboard
