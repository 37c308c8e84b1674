#include "text/QdIme.h"

#include <string_view>

const int32_t KeyTable[26][4] = {
    {6, 6, 16, 16},   // a ㅁ
    {-1, -1, 17, 17}, // b ㅠ
    {14, 14, 23, 23}, // c ㅊ
    {11, 11, 21, 21}, // d ㅇ
    {3, 4, 7, 7},     // e ㄷ ㄸ
    {5, 5, 8, 8},     // f ㄹ
    {18, 18, 27, 27}, // g ㅎ
    {-1, -1, 8, 8},   // h ㅗ
    {-1, -1, 2, 2},   // i ㅑ
    {-1, -1, 4, 4},   // j ㅓ
    {-1, -1, 0, 0},   // k ㅏ
    {-1, -1, 20, 20}, // l ㅣ
    {-1, -1, 18, 18}, // m ㅡ
    {-1, -1, 13, 13}, // n ㅜ
    {-1, -1, 1, 3},   // o ㅐ ㅒ
    {-1, -1, 5, 7},   // p ㅔ ㅖ
    {7, 8, 17, 17},   // q ㅂ ㅃ
    {0, 1, 1, 2},     // r ㄱ ㄲ
    {2, 2, 4, 4},     // s ㄴ
    {9, 10, 19, 20},  // t ㅅ ㅆ
    {-1, -1, 6, 6},   // u ㅕ
    {17, 17, 26, 26}, // v ㅍ
    {12, 13, 22, 22}, // w ㅈ ㅉ
    {16, 16, 25, 25}, // x ㅌ
    {-1, -1, 12, 12}, // y ㅛ
    {15, 15, 24, 24}, // z ㅋ
};

namespace {

constexpr uint8_t HangulMark = 0x80;

const char16_t ConsonantJamo[19] = {
    0x3131, 0x3132, 0x3134, 0x3137, 0x3138, 0x3139, 0x3141, 0x3142, 0x3143, 0x3145,
    0x3146, 0x3147, 0x3148, 0x3149, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E,
};

struct TLetter {
  int Index;   // 0..25
  int Shifted; // 0 or 1
};

bool KeyToLetter(uint8_t key, TLetter& letter) {
  uint8_t c = key & 0x7F;
  if (c >= 'a' && c <= 'z') {
    letter = {c - 'a', 0};
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    letter = {c - 'A', 1};
    return true;
  }
  return false;
}

bool IsConsonantKey(uint8_t key) {
  TLetter l;
  return KeyToLetter(key, l) && KeyTable[l.Index][l.Shifted] >= 0;
}

bool IsVowelKey(uint8_t key) {
  TLetter l;
  return KeyToLetter(key, l) && KeyTable[l.Index][l.Shifted] < 0;
}

int32_t InitialOf(uint8_t key) {
  TLetter l{};
  KeyToLetter(key, l);
  return KeyTable[l.Index][l.Shifted];
}

int32_t SecondOf(uint8_t key) {
  TLetter l{};
  KeyToLetter(key, l);
  return KeyTable[l.Index][2 + l.Shifted];
}

char16_t JamoChar(const TLetter& letter) {
  int32_t initial = KeyTable[letter.Index][letter.Shifted];
  if (initial >= 0) return ConsonantJamo[initial];
  return static_cast<char16_t>(0x314F + KeyTable[letter.Index][2 + letter.Shifted]);
}

char16_t ComposeSyllable(int32_t l, int32_t v, int32_t t) {
  return static_cast<char16_t>(0xAC00 + l * 588 + v * 28 + t);
}

int32_t CompoundVowel(int32_t first, int32_t second) {
  switch (first * 32 + second) {
  case 8 * 32 + 0:
    return 9; // ㅗ ㅏ
  case 8 * 32 + 1:
    return 10; // ㅗ ㅐ
  case 8 * 32 + 20:
    return 11; // ㅗ ㅣ
  case 13 * 32 + 4:
    return 14; // ㅜ ㅓ
  case 13 * 32 + 5:
    return 15; // ㅜ ㅔ
  case 13 * 32 + 20:
    return 16; // ㅜ ㅣ
  case 18 * 32 + 20:
    return 19; // ㅡ ㅣ
  default:
    return -1;
  }
}

// A final followed by a consonant given by its initial index.
int32_t FinalCluster(int32_t final, int32_t initial) {
  switch (final * 32 + initial) {
  case 1 * 32 + 9:
    return 3; // ㄱ ㅅ
  case 4 * 32 + 12:
    return 5; // ㄴ ㅈ
  case 4 * 32 + 18:
    return 6; // ㄴ ㅎ
  case 8 * 32 + 0:
    return 9; // ㄹ ㄱ
  case 8 * 32 + 6:
    return 10; // ㄹ ㅁ
  case 8 * 32 + 7:
    return 11; // ㄹ ㅂ
  case 8 * 32 + 9:
    return 12; // ㄹ ㅅ
  case 8 * 32 + 16:
    return 13; // ㄹ ㅌ
  case 8 * 32 + 17:
    return 14; // ㄹ ㅍ
  case 8 * 32 + 18:
    return 15; // ㄹ ㅎ
  case 17 * 32 + 9:
    return 18; // ㅂ ㅅ
  default:
    return -1;
  }
}

bool IsLetter(uint8_t key) {
  TLetter l;
  return KeyToLetter(key, l);
}

} // namespace

void TQdIme::Reset() {
  Committed.clear();
  Composing.clear();
  KeyBuffer.clear();
  HangulMode = 1;
}

TQdIme::TParsed TQdIme::ParseSyllable(std::string_view keys) {
  constexpr TParsed Fail{0, false};
  if (keys.empty()) return Fail;
  auto key = [&](size_t i) { return static_cast<uint8_t>(keys[i]); };
  uint8_t k1 = key(0);
  TLetter first;
  if (!(k1 & HangulMark) || !KeyToLetter(k1, first)) return {k1, true};
  if (IsVowelKey(k1)) return {JamoChar(first), true};

  int32_t l = InitialOf(k1);
  if (keys.size() < 2 || !IsLetter(key(1)) || IsConsonantKey(key(1)))
    return {JamoChar(first), true};
  int32_t v = SecondOf(key(1));
  if (keys.size() < 3) return {ComposeSyllable(l, v, 0), false};
  if (!IsLetter(key(2))) return Fail;

  size_t finalAt = 2;
  if (IsVowelKey(key(2))) {
    v = CompoundVowel(v, SecondOf(key(2)));
    if (v < 0) return Fail;
    if (keys.size() < 4) return {ComposeSyllable(l, v, 0), false};
    if (!IsConsonantKey(key(3))) return Fail;
    finalAt = 3;
  }
  int32_t t = SecondOf(key(finalAt));

  size_t next = finalAt + 1;
  if (next >= keys.size()) return {ComposeSyllable(l, v, t), false};
  if (!IsConsonantKey(key(next))) return Fail;
  t = FinalCluster(t, InitialOf(key(next)));
  if (t < 0 || next + 1 < keys.size()) return Fail;
  return {ComposeSyllable(l, v, t), false};
}

std::u16string TQdIme::ComposeKeys(std::string_view keys) {
  std::u16string out;
  if (keys.empty()) return out;
  if (keys.size() == 1) {
    out += ParseSyllable(keys).Unit;
    return out;
  }
  size_t pos = 0;
  std::string_view buf = keys.substr(0, 2);
  for (;;) {
    bool atEnd = pos + buf.size() >= keys.size();
    TParsed p = ParseSyllable(buf);
    if (p.Unit != 0 && !p.Single) {
      if (!atEnd) buf = keys.substr(pos, buf.size() + 1);
    } else if (p.Unit != 0) {
      out += p.Unit;
      pos += 1;
      buf = keys.substr(pos, 2);
    } else {
      // The last two keys begin the next syllable when they are a consonant and a vowel.
      size_t n = buf.size();
      bool cut2 = n >= 2 && IsVowelKey(static_cast<uint8_t>(buf[n - 1])) &&
                  IsConsonantKey(static_cast<uint8_t>(buf[n - 2]));
      std::string_view head = buf.substr(0, n - (cut2 ? 2 : 1));
      if (head.empty()) head = buf.substr(0, 1); // keeps the walk moving on any key string
      out += ParseSyllable(head).Unit;
      pos += head.size();
      buf = keys.substr(pos, 2);
    }
    if (atEnd) break;
  }
  if (!buf.empty()) out += ParseSyllable(buf).Unit;
  return out;
}

void TQdIme::KeyIn(char16_t key, bool /*shift*/) {
  if (key == 8) {
    if (!KeyBuffer.empty()) {
      KeyBuffer.pop_back();
      Composing = ComposeKeys(KeyBuffer);
    } else if (!Committed.empty()) {
      Committed.pop_back();
    }
    return;
  }
  // The game hands over nothing else; other codes would only smuggle control units into the line.
  if (key < 32 || key > 127) return;

  uint8_t low = static_cast<uint8_t>(key & 0xFF);
  bool letter = (low >= 'A' && low <= 'Z') || (low >= 'a' && low <= 'z');
  if (HangulMode != 1 || !letter) {
    Committed += Composing;
    Committed += ComposeKeys(std::string(1, static_cast<char>(low)));
    KeyBuffer.clear();
    Composing.clear();
    return;
  }

  KeyBuffer += static_cast<char>(low | HangulMark);
  std::u16string units = ComposeKeys(KeyBuffer);
  if (units.size() > 1) {
    Committed.append(units, 0, units.size() - 1);
    size_t keep = units.back() >= 0xAC00 ? 2 : 1;
    if (KeyBuffer.size() > keep) KeyBuffer.erase(0, KeyBuffer.size() - keep);
  }
  Composing = ComposeKeys(KeyBuffer);
}
