// The Hangul input method on any key sequence, with mode toggles and resets as the game makes
// them. After every key: the key buffer holds exactly the keys of the composition, the
// composition is empty or one unit, Backspace takes back one key or one committed unit and never
// more, and the text holds only units the fonts can draw.
#include "fuzz_support.h"
#include "text/QdIme.h"

#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

namespace {

bool Drawable(char16_t u) {
  return (u >= 32 && u <= 127) || (u >= 0x3131 && u <= 0x3163) || (u >= 0xAC00 && u <= 0xD7A3);
}

void CheckState(const TQdIme& ime) {
  using fuzzsupport::Require;
  Require(ime.Composing.size() <= 1);
  Require(ime.KeyBuffer.empty() == ime.Composing.empty());
  Require(TQdIme::ComposeKeys(ime.KeyBuffer) == ime.Composing);
  for (char c : ime.KeyBuffer)
    Require((static_cast<uint8_t>(c) & 0x80) != 0);
  for (char16_t u : ime.Committed)
    Require(Drawable(u));
  for (char16_t u : ime.Composing)
    Require(Drawable(u));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzsupport::Require;
  TQdIme ime;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    // 0x80 and up: the game's own actions; below, the key itself (Backspace is 8).
    if (b == 0xF0) {
      ime.HangulMode = ime.HangulMode ? 0 : 1;
      continue;
    }
    if (b == 0xF1) {
      ime.Reset();
      Require(ime.Committed.empty() && ime.Composing.empty() && ime.KeyBuffer.empty());
      Require(ime.HangulMode == 1);
      continue;
    }
    const char16_t key = b >= 0x80 ? static_cast<char16_t>(b & 0x7F) : b;
    const TQdIme before = ime;
    ime.KeyIn(key, (b & 0x80) != 0);
    if (key == 8) {
      if (!before.KeyBuffer.empty()) {
        Require(ime.KeyBuffer == before.KeyBuffer.substr(0, before.KeyBuffer.size() - 1));
        Require(ime.Committed == before.Committed);
      } else if (!before.Committed.empty()) {
        Require(ime.Committed == before.Committed.substr(0, before.Committed.size() - 1));
      } else {
        Require(ime.Committed.empty() && ime.Composing.empty());
      }
    } else if (key < 32 || key > 127) {
      Require(ime.Committed == before.Committed && ime.KeyBuffer == before.KeyBuffer);
    } else {
      // Nothing committed is ever taken back by a key, and English keys leave no composition.
      Require(ime.Committed.compare(0, before.Committed.size(), before.Committed) == 0);
      const bool letter = (key | 0x20) >= 'a' && (key | 0x20) <= 'z';
      if (before.HangulMode != 1 || !letter) Require(ime.KeyBuffer.empty());
    }
    CheckState(ime);
  }
  return 0;
}
