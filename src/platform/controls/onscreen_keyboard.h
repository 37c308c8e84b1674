// The on-screen keyboard: the two-set layout of Korean phone keyboards (the Latin letters in
// English mode), one model for touch, mouse and gamepad. Its keys post what a physical keyboard
// would, so the game, its input method and recordings cannot tell them apart.
#pragma once

#include <cstdint>
#include <string>

namespace controls {

enum class KeyKind { Letter, Shift, Backspace, Space, Enter, HangulEnglish, Esc };

struct KeyCap {
  KeyKind kind;
  int vk;               // the virtual key it posts; 'A'..'Z' for letters
  char16_t jamo;        // what a letter types in Hangul mode
  char16_t jamoShifted; // ... with Shift: the doubled consonants and ㅒ ㅖ
  int row, x, width;    // place, in twentieths of the keyboard's width
};

constexpr int kKeyboardRows = 4;
constexpr int kKeyboardUnits = 20; // every row is this many units wide

int KeyCount();
const KeyCap& Key(int index);

// The key's accessible name, which is also what it shows: the jamo or the letter it types now,
// or "Shift", "Backspace", "Space", "Enter", "Hangul/English", "Esc".
std::u16string KeyName(int index, bool hangul, bool shifted);
// A short caption in the game's font (ASCII and Hangul), for keys too narrow for their name.
std::u16string KeyCaption(int index, bool hangul, bool shifted);

class OnScreenKeyboard {
public:
  bool IsOpen() const { return open_; }
  bool Hangul() const { return hangul_; }
  bool Shifted() const { return shifted_; }
  int Highlight() const { return highlight_; }
  // Changes whenever anything the keyboard shows changes, so presenters redraw only then.
  uint32_t Version() const { return version_; }

  void SetOpen(bool open);
  // A conversation starts in Hangul mode, as the input method does.
  void ResetMode();
  // Moves the highlight a key left or right, or a row up or down to the key below the same spot;
  // wraps at the edges.
  void MoveHighlight(int dx, int dy);
  void SetHighlight(int index);

  // Every key that reaches the game, from whatever source: the Hangul/English mode follows the
  // characters the game will take (the Hangul key and Ctrl+U switch, Enter and Esc start the next
  // line in Hangul).
  void NoteKey(int vk, bool down, bool alt);

  // A key of the keyboard pressed or released: the key messages to post, in order (at most
  // three). Shift, tapped before, is held around the next letter.
  struct KeyEvent {
    int vk;
    bool down;
  };
  int Press(int index, bool down, KeyEvent out[3]);
  // Every key was let go (the focus went): nothing is held any more, Ctrl included.
  void ReleaseAll();

private:
  void Changed() { ++version_; }

  bool open_ = false;
  bool hangul_ = true;
  bool shifted_ = false;     // Shift tapped, waiting for a letter
  bool shiftPosted_ = false; // Shift held for the letter being pressed
  int letterDown_ = -1;      // the letter that took the Shift
  int highlight_ = 0;
  uint32_t version_ = 0;
  bool ctrl_ = false; // held, for Ctrl+U
};

} // namespace controls
