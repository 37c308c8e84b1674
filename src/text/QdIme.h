// The game's own Korean input method for the two-set keyboard. The keys of the syllable being
// composed are kept and re-parsed after every key instead of tracking an automaton state.
#pragma once

#include <cstdint>
#include <string>

// Per letter a..z: initial index (plain, Shift), then the final index of a consonant or the
// medial index of a vowel (plain, Shift). Vowels have -1 as initial. Indices are Unicode jamo
// orders: initial 0-18, medial 0-20, final 1-27.
extern const int32_t KeyTable[26][4];

class TQdIme {
public:
  TQdIme() { Reset(); }
  virtual ~TQdIme() = default;

  void Reset();
  // Backspace (8) or a printable ASCII key (32-127); the game has already folded the letter case
  // to the Shift key in Hangul mode, so Shift itself is not consulted.
  void KeyIn(char16_t key, bool shift);
  void Release() {}

  uint8_t HangulMode = 1;
  std::string KeyBuffer; // keys of the composition, each with bit 7 set
  std::u16string Committed;
  std::u16string Composing;

  struct TParsed {
    char16_t Unit; // 0 when the keys do not make exactly one unit
    bool Single;   // the unit is the first key on its own
  };
  static TParsed ParseSyllable(std::string_view keys);
  static std::u16string ComposeKeys(std::string_view keys);
};
