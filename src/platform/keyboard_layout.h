// The US keyboard: which character a key gives, and which key (with or without Shift) types a
// character. Used by the substitute's TranslateMessage and by scripted typing.
#pragma once

namespace keyboard {

// The WM_CHAR code a key down produces, or -1 when it produces none.
int CharFromKey(int vk, bool shift, bool ctrl);
// The key and Shift state that type the printable ASCII character c; false when none does.
bool KeyFromChar(char c, int& vk, bool& shift);

} // namespace keyboard
