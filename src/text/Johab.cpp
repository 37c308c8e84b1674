#include "text/Johab.h"

const int32_t JohabInitialCode[32] = {
    2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
    18, 19, 20, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

const int32_t JohabMedialCode[32] = {
    3,  4,  5,  6,  7,  10, 11, 12, 13, 14, 15, 18, 19, 20, 21, 22,
    23, 26, 27, 28, 29, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

const int32_t JohabFinalCode[32] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
    17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, -1, -1, -1, -1,
};

// Lone consonants that can begin a syllable carry only their initial field (no fill codes), so
// the font draws the bare initial piece; final-only clusters and vowels use the standard codes.
const uint32_t CompatJamoJohab[51] = {
    0x8800, 0x8C00, 0x8444, 0x9000, 0x8446, 0x8447, 0x9400, 0x9800, 0x9C00, 0x844A, 0x844B,
    0x844C, 0x844D, 0x844E, 0x844F, 0x8450, 0xA000, 0xA400, 0xA800, 0x8454, 0xAC00, 0xB000,
    0xB400, 0xB800, 0xBC00, 0xC000, 0xC400, 0xC800, 0xCC00, 0xD000, 0x8461, 0x8481, 0x84A1,
    0x84C1, 0x84E1, 0x8541, 0x8561, 0x8581, 0x85A1, 0x85C1, 0x85E1, 0x8641, 0x8661, 0x8681,
    0x86A1, 0x86C1, 0x86E1, 0x8741, 0x8761, 0x8781, 0x87A1,
};

const uint8_t InitialIndex[31] = {
    0,  0,  1,  2,  3,  4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,
};

const uint8_t MedialIndex[31] = {
    0, 0, 0,  1,  2,  3,  4,  5,  0, 0, 6,  7,  8,  9,  10, 11,
    0, 0, 12, 13, 14, 15, 16, 17, 0, 0, 18, 19, 20, 21, 0,
};

const uint8_t FinalIndex[31] = {
    0,  0,  1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
    15, 16, 0, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 0,
};

uint32_t CharToJohab(char16_t unit) {
  uint32_t u = unit;
  if (u < 0x80) return u;
  if (u >= 0xAC00 && u <= 0xD7A3) {
    uint32_t s = u - 0xAC00;
    uint32_t l = s / 588, v = (s % 588) / 28, t = s % 28;
    return 0x8000u | (static_cast<uint32_t>(JohabInitialCode[l]) << 10) |
           (static_cast<uint32_t>(JohabMedialCode[v]) << 5) |
           static_cast<uint32_t>(JohabFinalCode[t]);
  }
  if (u >= 0x3131 && u <= 0x3163) return CompatJamoJohab[u - 0x3131] & 0xFFFF;
  return 0;
}

int32_t TextCells(std::u16string_view text) {
  int32_t cells = 0;
  for (char16_t u : text) {
    if (u >= 0x100)
      cells += 2;
    else if (u != u'{' && u != u'}')
      cells += 1;
  }
  return cells;
}

bool IsBalanced(std::u16string_view text, char16_t open, char16_t close) {
  int32_t depth = 0;
  for (char16_t u : text) {
    if (u == open)
      ++depth;
    else if (u == close)
      --depth;
  }
  return depth == 0;
}
