// Both font files (any length, any bytes) drawing arbitrary text, braces and justification
// included, at any position into bitmaps of every depth and size: nothing may be drawn outside
// the bitmap.
#include "fuzz_support.h"
#include "resource/QdStream.h"
#include "text/HanFont.h"

#include <memory>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

namespace {

FUZZ_NOT_UNDER_TEST std::vector<uint8_t> FontBytes(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = seed & 1 ? 0xFF : static_cast<uint8_t>(i * 131 + seed);
  return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzzsupport;
  TByteReader in(data, size);
  // Whole glyph files are 1552 and 11008 bytes; any length must do.
  const std::vector<uint8_t> ascii = FontBytes(in.Word() % 6000, in.Byte());
  const std::vector<uint8_t> hangul = FontBytes(in.Word() % 16000, in.Byte());
  TKSJohapFont font("", "");
  TQdMemoryStream asciiStream(ascii.data(), ascii.size());
  TQdMemoryStream hangulStream(hangul.data(), hangul.size());
  font.AsciiFont = std::make_unique<TAsciiFont>(asciiStream);
  font.HangulFont = std::make_unique<TJohapFont>(hangulStream);
  Require(font.AsciiFont->DataSize() == static_cast<int32_t>(ascii.size()));

  const int32_t width = 1 + in.Word() % 400;
  const int32_t height = 1 + in.Byte() % 96;
  static constexpr int32_t kDepths[4] = {32, 16, 15, 24};
  const uint8_t form = in.Byte();
  TGuardedBitmap bitmap(form & 4);
  bitmap.Allocate(width, height, kDepths[form & 3]);

  while (!in.Empty()) {
    const int32_t x = static_cast<int16_t>(in.Word());
    const int32_t y = static_cast<int16_t>(in.Word());
    const uint32_t colour = in.Long();
    const uint8_t how = in.Byte();
    const std::u16string text = NextText(in, '\n');
    if (how & 1)
      font.DrawTextJustified(bitmap, x, y, text, colour);
    else
      font.DrawText(bitmap, x, y, text, colour);
    if (how & 2) font.ReleaseFonts();
    Require(bitmap.LockCount == 0);
    Require(bitmap.GuardsIntact());
  }
  return 0;
}
