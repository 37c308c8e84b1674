#include "platform/controls/onscreen_keyboard.h"

#include "platform/keyboard_layout.h"

#include <cstdlib>
#include <iterator>
#include <utility>

namespace controls {
namespace {

constexpr int kShift = 0x10, kControl = 0x11, kMenu = 0x12, kHangulKey = 0x15;

// Row 0 holds ten keys two units wide; row 1 nine, set in by one unit; the wider keys fill the
// ends of rows 2 and 3.
constexpr KeyCap kKeys[] = {
    {KeyKind::Letter, 'Q', u'ㅂ', u'ㅃ', 0, 0, 2},
    {KeyKind::Letter, 'W', u'ㅈ', u'ㅉ', 0, 2, 2},
    {KeyKind::Letter, 'E', u'ㄷ', u'ㄸ', 0, 4, 2},
    {KeyKind::Letter, 'R', u'ㄱ', u'ㄲ', 0, 6, 2},
    {KeyKind::Letter, 'T', u'ㅅ', u'ㅆ', 0, 8, 2},
    {KeyKind::Letter, 'Y', u'ㅛ', u'ㅛ', 0, 10, 2},
    {KeyKind::Letter, 'U', u'ㅕ', u'ㅕ', 0, 12, 2},
    {KeyKind::Letter, 'I', u'ㅑ', u'ㅑ', 0, 14, 2},
    {KeyKind::Letter, 'O', u'ㅐ', u'ㅒ', 0, 16, 2},
    {KeyKind::Letter, 'P', u'ㅔ', u'ㅖ', 0, 18, 2},
    {KeyKind::Letter, 'A', u'ㅁ', u'ㅁ', 1, 1, 2},
    {KeyKind::Letter, 'S', u'ㄴ', u'ㄴ', 1, 3, 2},
    {KeyKind::Letter, 'D', u'ㅇ', u'ㅇ', 1, 5, 2},
    {KeyKind::Letter, 'F', u'ㄹ', u'ㄹ', 1, 7, 2},
    {KeyKind::Letter, 'G', u'ㅎ', u'ㅎ', 1, 9, 2},
    {KeyKind::Letter, 'H', u'ㅗ', u'ㅗ', 1, 11, 2},
    {KeyKind::Letter, 'J', u'ㅓ', u'ㅓ', 1, 13, 2},
    {KeyKind::Letter, 'K', u'ㅏ', u'ㅏ', 1, 15, 2},
    {KeyKind::Letter, 'L', u'ㅣ', u'ㅣ', 1, 17, 2},
    {KeyKind::Shift, kShift, 0, 0, 2, 0, 3},
    {KeyKind::Letter, 'Z', u'ㅋ', u'ㅋ', 2, 3, 2},
    {KeyKind::Letter, 'X', u'ㅌ', u'ㅌ', 2, 5, 2},
    {KeyKind::Letter, 'C', u'ㅊ', u'ㅊ', 2, 7, 2},
    {KeyKind::Letter, 'V', u'ㅍ', u'ㅍ', 2, 9, 2},
    {KeyKind::Letter, 'B', u'ㅠ', u'ㅠ', 2, 11, 2},
    {KeyKind::Letter, 'N', u'ㅜ', u'ㅜ', 2, 13, 2},
    {KeyKind::Letter, 'M', u'ㅡ', u'ㅡ', 2, 15, 2},
    {KeyKind::Backspace, 0x08, 0, 0, 2, 17, 3},
    {KeyKind::HangulEnglish, kHangulKey, 0, 0, 3, 0, 5},
    {KeyKind::Space, 0x20, 0, 0, 3, 5, 8},
    {KeyKind::Enter, 0x0D, 0, 0, 3, 13, 4},
    {KeyKind::Esc, 0x1B, 0, 0, 3, 17, 3},
};

int Wrap(int value, int count) {
  return ((value % count) + count) % count;
}

} // namespace

int KeyCount() {
  return static_cast<int>(std::size(kKeys));
}

const KeyCap& Key(int index) {
  return kKeys[static_cast<size_t>(Wrap(index, KeyCount()))];
}

std::u16string KeyName(int index, bool hangul, bool shifted) {
  const KeyCap& key = Key(index);
  if (key.kind == KeyKind::Letter) {
    if (hangul) return std::u16string(1, shifted ? key.jamoShifted : key.jamo);
    return std::u16string(1, static_cast<char16_t>(shifted ? key.vk : key.vk + 32));
  }
  // The other keys by what they do.
  static constexpr std::pair<KeyKind, const char16_t*> kNames[] = {
      {KeyKind::Shift, u"Shift"},
      {KeyKind::Backspace, u"Backspace"},
      {KeyKind::Space, u"Space"},
      {KeyKind::Enter, u"Enter"},
      {KeyKind::HangulEnglish, u"Hangul/English"},
      {KeyKind::Esc, u"Esc"}};
  for (const auto& [kind, name] : kNames)
    if (kind == key.kind) return name;
  return {};
}

std::u16string KeyCaption(int index, bool hangul, bool shifted) {
  switch (Key(index).kind) {
  case KeyKind::Backspace:
    return u"<-";
  case KeyKind::HangulEnglish:
    return hangul ? u"한/A" : u"A/한";
  default:
    return KeyName(index, hangul, shifted);
  }
}

void OnScreenKeyboard::SetOpen(bool open) {
  if (open == open_) return;
  open_ = open;
  Changed();
}

void OnScreenKeyboard::ResetMode() {
  if (hangul_ && !shifted_) return;
  hangul_ = true;
  shifted_ = false;
  Changed();
}

void OnScreenKeyboard::SetHighlight(int index) {
  index = Wrap(index, KeyCount());
  if (index == highlight_) return;
  highlight_ = index;
  Changed();
}

void OnScreenKeyboard::MoveHighlight(int dx, int dy) {
  const KeyCap& from = Key(highlight_);
  if (dx) {
    int first = highlight_, count = 0;
    while (first > 0 && Key(first - 1).row == from.row)
      --first;
    while (first + count < KeyCount() && Key(first + count).row == from.row)
      ++count;
    SetHighlight(first + Wrap(highlight_ - first + dx, count));
  }
  if (dy) {
    // The key of the other row whose middle is nearest this one's (in half units).
    const int row = Wrap(from.row + dy, kKeyboardRows), middle = 2 * from.x + from.width;
    int best = -1, bestDistance = 0;
    for (int i = 0; i < KeyCount(); ++i) {
      const KeyCap& k = Key(i);
      const int distance = std::abs(2 * k.x + k.width - middle);
      if (k.row == row && (best < 0 || distance < bestDistance)) {
        best = i;
        bestDistance = distance;
      }
    }
    SetHighlight(best);
  }
}

void OnScreenKeyboard::NoteKey(int vk, bool down, bool alt) {
  if (vk == kControl) ctrl_ = down;
  if (!down) return;
  bool hangul = hangul_;
  if (vk == kHangulKey) {
    hangul = !hangul; // taken as a plain key even with Alt held
  } else if (!alt && vk != kMenu) {
    // A system key gives no character.
    const int ch = keyboard::CharFromKey(vk, false, ctrl_);
    if (ch == 21) hangul = !hangul; // Ctrl+U
    if (ch == 13 || ch == 27) hangul = true;
  }
  if (hangul == hangul_) return;
  hangul_ = hangul;
  Changed();
}

void OnScreenKeyboard::ReleaseAll() {
  ctrl_ = false;
  shiftPosted_ = false;
  letterDown_ = -1;
}

int OnScreenKeyboard::Press(int index, bool down, KeyEvent out[3]) {
  if (index < 0 || index >= KeyCount()) return 0;
  const KeyCap& key = Key(index);
  int n = 0;
  if (key.kind == KeyKind::Shift) {
    if (down) {
      shifted_ = !shifted_;
      Changed();
    }
    return 0;
  }
  if (key.kind == KeyKind::Letter && down && shifted_ && !shiftPosted_) {
    out[n++] = {kShift, true};
    shiftPosted_ = true;
    letterDown_ = index;
  }
  out[n++] = {key.vk, down};
  if (!down && shiftPosted_ && index == letterDown_) {
    out[n++] = {kShift, false};
    shiftPosted_ = false;
    letterDown_ = -1;
    shifted_ = false;
    Changed();
  }
  return n;
}

} // namespace controls
