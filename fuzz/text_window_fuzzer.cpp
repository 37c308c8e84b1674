// The console and the input window on arbitrary text: braces, every kind of unit, very long
// lines, edit lines wider than the window, any window size. Nothing may be drawn outside the
// window's bitmap, and showing then hiding the cursor restores every pixel.
#include "fuzz_support.h"
#include "resource/QdStream.h"
#include "text/ConsoleWindow.h"
#include "text/HanFont.h"

#include <memory>
#include <string>

namespace {

// Glyphs that are ink everywhere, so every pixel a glyph covers is written.
void LoadSolidFonts() {
  const std::string ascii(97 * 16, '\xFF'), hangul(344 * 32, '\xFF');
  TQdMemoryStream a(ascii.data(), ascii.size()), h(hangul.data(), hangul.size());
  HanFont.AsciiFont = std::make_unique<TAsciiFont>(a);
  HanFont.HangulFont = std::make_unique<TJohapFont>(h);
}

constexpr size_t kLongestGlyphs = 8000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  LoadSolidFonts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzzsupport;
  TByteReader in(data, size);
  const uint8_t kind = in.Byte();
  // Up to the width of the screen; heights beyond three lines add nothing but time.
  const int32_t width = 1 + in.Word() % 640;
  const int32_t height = 1 + in.Word() % 56;
  auto owned = std::make_unique<TGuardedBitmap>((kind & 2) != 0);
  TGuardedBitmap* bitmap = owned.get();
  bitmap->Allocate(width, height, 32);

  std::unique_ptr<TConsoleWindow> window;
  TInputWindow* input = nullptr;
  if (kind & 1) {
    auto w = std::make_unique<TInputWindow>(0, 0, std::move(owned), nullptr);
    input = w.get();
    window = std::move(w);
  } else {
    window = std::make_unique<TConsoleWindow>(0, 0, std::move(owned), nullptr);
  }
  Require(bitmap->GuardsIntact());

  while (!in.Empty()) {
    const uint8_t op = in.Byte() % 10;
    switch (op) {
    case 0:
      window->WriteLine(NextText(in, '\n'));
      break;
    case 1:
      window->Write(NextText(in, '\n'));
      break;
    case 2:
      window->NewLine();
      break;
    case 3:
      window->Clear();
      break;
    case 4:
      window->TextColour = in.Long();
      break;
    case 5: {
      // A long text: a piece repeated up to 8000 units (drawing every glyph is what costs), with
      // up to 65280 braces in its middle, which take no cell but push the text past the 60000
      // units a remainder is cut to.
      const size_t times = 1 + size_t{in.Byte()} % 64;
      const size_t braces = size_t{in.Byte()} * 256;
      const std::u16string piece = NextText(in, '\n');
      std::u16string text;
      for (size_t i = 0; i < times && !piece.empty() && text.size() < kLongestGlyphs; ++i)
        text += piece.substr(0, kLongestGlyphs - text.size());
      text.insert(text.size() / 2, braces, u'{');
      window->WriteLine(text);
      break;
    }
    default:
      if (input == nullptr) {
        window->WriteLine(NextText(in, '\n'));
      } else if (op == 6) {
        const std::u16string committed = NextText(in, '\t');
        input->SetEditText(committed, NextText(in, '\n'));
      } else if (op == 7) {
        input->ShowCursor();
      } else if (op == 8) {
        input->HideCursor();
      } else if (!input->CursorShown && bitmap->Pixels != nullptr) {
        // Shown and hidden again, the window is exactly as it was.
        std::vector<uint8_t> before(
            bitmap->Pixels,
            bitmap->Pixels + size_t(bitmap->Pitch) * (bitmap->Height + 2 * TGuardedBitmap::Pad));
        input->BlinkCursor();
        input->BlinkCursor();
        Require(std::equal(before.begin(), before.end(), bitmap->Pixels));
      }
      break;
    }
    Require(window->Row >= 0 && window->Column >= 0);
    Require(bitmap->LockCount == 0);
  }
  Require(bitmap->GuardsIntact());
  return 0;
}
