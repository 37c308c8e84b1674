// Bitmap fonts: 8x16 ASCII glyphs and 16x16 Hangul syllables composed from initial, medial and
// final pieces, drawn into any bitmap. HanFont is the one font every text window draws with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TQdBitmap;
class TQdStream;

struct TGlyphInfo {
  const uint8_t* Data = nullptr;
  int32_t Width = 0;
  uint32_t Height = 0;
  uint32_t BitDepth = 1;
};

constexpr uint32_t ShadeFlag = 4;
constexpr uint32_t HighlightColour = 0xFFFF6050;

class TFontBase {
public:
  virtual ~TFontBase() = default;
  TFontBase() = default;
  TFontBase(const TFontBase&) = delete;
  TFontBase& operator=(const TFontBase&) = delete;

  // -1 when the font has no glyph for the code.
  virtual int32_t GlyphIndex(uint32_t code) = 0;
  virtual void GetGlyph(int32_t index, TGlyphInfo& glyph) = 0;

  void ReleaseData();

  int32_t DataSize() const { return Size; }
  bool IsLoaded() const { return Loaded; }

protected:
  std::unique_ptr<uint8_t[]> Data;
  int32_t Size = 0;
  bool Loaded = false;
};

class TAsciiFont : public TFontBase {
public:
  // A file that cannot be opened leaves the font empty; a read error on it is fatal.
  explicit TAsciiFont(const std::string& fileName);
  // The same from a stream's whole contents (fonts kept in memory, fuzzing).
  explicit TAsciiFont(TQdStream& stream);

  int32_t GlyphIndex(uint32_t code) override;
  void GetGlyph(int32_t index, TGlyphInfo& glyph) override;

  uint32_t FirstCode = 31;

  // No glyph lies beyond this in either file; a longer file is read only this far.
  static constexpr int32_t MaxFileBytes = 1 << 20;

private:
  void Adopt(std::unique_ptr<uint8_t[]> block, int32_t size);
};

// Index: initial in bits 16-23, medial in 8-15, final in 0-7 (sequential jamo, 0 = absent).
class TJohapFont : public TAsciiFont {
public:
  using TAsciiFont::TAsciiFont;

  int32_t GlyphIndex(uint32_t code) override;
  // The glyph points into this font's composition buffer, valid until the next call.
  void GetGlyph(int32_t index, TGlyphInfo& glyph) override;

private:
  uint8_t Buffer[32] = {};
};

class TKSJohapFont {
public:
  TKSJohapFont(const std::string& asciiFileName, const std::string& hangulFileName);

  // Braces switch to the highlight colour and back; they are not drawn and take no room.
  void DrawText(TQdBitmap& bitmap, int32_t x, int32_t y, std::u16string_view text, uint32_t colour);
  // Spreads the glyphs over the rest of the bitmap's width and sets the last one flush with its
  // right edge.
  void DrawTextJustified(TQdBitmap& bitmap, int32_t x, int32_t y, std::u16string_view text,
                         uint32_t colour);
  void ReleaseFonts();

  std::unique_ptr<TAsciiFont> AsciiFont;
  std::unique_ptr<TJohapFont> HangulFont;

private:
  TFontBase& FontFor(char16_t unit);
};

// Draws a 1-bit glyph; clear bits leave the bitmap alone. Pixels outside the bitmap are skipped.
void DrawGlyph(TQdBitmap& bitmap, int32_t x, int32_t y, const uint8_t* data, int32_t width,
               uint32_t height, uint32_t colour, uint32_t flags);

extern TKSJohapFont HanFont;
// Reads "ascii.fnt" and "H01.fnt" from the working directory into HanFont.
void LoadHanFont();
