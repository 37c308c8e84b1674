#include "platform/keyboard_layout.h"

#include <cstring>

namespace keyboard {
namespace {

// Virtual keys of the punctuation keys (VK_OEM_*) with their plain and shifted characters.
struct Punct {
  int vk;
  char plain, shifted;
};
constexpr Punct kPunct[] = {{0xBA, ';', ':'},  {0xBB, '=', '+'}, {0xBC, ',', '<'}, {0xBD, '-', '_'},
                            {0xBE, '.', '>'},  {0xBF, '/', '?'}, {0xC0, '`', '~'}, {0xDB, '[', '{'},
                            {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

} // namespace

int CharFromKey(int vk, bool shift, bool ctrl) {
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return vk - 'A' + 1;
    return shift ? vk : vk + 32;
  }
  switch (vk) {
  case 0x08:
    return ctrl ? 127 : 8; // Backspace
  case 0x09:
    return ctrl ? -1 : 9; // Tab
  case 0x0D:
    return ctrl ? 10 : 13; // Enter
  case 0x1B:
    return 27; // Esc
  case 0x20:
    return 32; // Space
  }
  if (ctrl) {
    if (vk == 0xDB) return 27;
    if (vk == 0xDC) return 28;
    if (vk == 0xDD) return 29;
    return -1;
  }
  if (vk >= '0' && vk <= '9') return shift ? kShiftedDigits[vk - '0'] : vk;
  for (const Punct& p : kPunct)
    if (p.vk == vk) return shift ? p.shifted : p.plain;
  return -1;
}

bool KeyFromChar(char c, int& vk, bool& shift) {
  if (c >= 'a' && c <= 'z') {
    vk = c - 32;
    shift = false;
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    vk = c;
    shift = true;
    return true;
  }
  if (c >= '0' && c <= '9') {
    vk = c;
    shift = false;
    return true;
  }
  if (c == ' ') {
    vk = 0x20;
    shift = false;
    return true;
  }
  if (const char* d = std::strchr(kShiftedDigits, c); d && c) {
    vk = '0' + static_cast<int>(d - kShiftedDigits);
    shift = true;
    return true;
  }
  for (const Punct& p : kPunct) {
    if (c == p.plain || c == p.shifted) {
      vk = p.vk;
      shift = c == p.shifted;
      return true;
    }
  }
  return false;
}

void KeyState::Down(int vk) {
  if (vk == 0x14 && !Held(vk)) capsLock = !capsLock; // VK_CAPITAL
  held[static_cast<unsigned>(vk) & 0xFF] = true;
}

int KeyState::CharOf(int vk) const {
  const bool letter = vk >= 'A' && vk <= 'Z';
  return CharFromKey(vk, Held(0x10) != (capsLock && letter), Held(0x11)); // VK_SHIFT, VK_CONTROL
}

} // namespace keyboard
