#include "text/HanFont.h"

#include "bitmap/QdBitmap.h"
#include "platform/fatal.h"
#include "resource/QdStream.h"
#include "text/Johab.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

// Filled by LoadHanFont at module start, once the working directory is the data folder.
TKSJohapFont HanFont("", "");

void LoadHanFont() {
  HanFont = TKSJohapFont("ascii.fnt", "H01.fnt");
}

void TFontBase::ReleaseData() {
  if (Loaded && Data && Size > 0) Data.reset();
  Size = 0;
  Loaded = false;
}

TAsciiFont::TAsciiFont(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) return;
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return;
  long end = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    QD_RUN_ERROR(fatal::kInOut);
  }
  int32_t want = static_cast<int32_t>(std::min<long>(end, MaxFileBytes));
  auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(want) + 1);
  size_t got = std::fread(block.get(), 1, static_cast<size_t>(want), f);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) QD_RUN_ERROR(fatal::kDiskRead);
  // A file that shrank after its size was taken holds only what could be read.
  Adopt(std::move(block), static_cast<int32_t>(got));
}

TAsciiFont::TAsciiFont(TQdStream& stream) {
  if (!stream.IsOpen) return;
  const int32_t want = std::clamp(stream.SetPosition(0, 2), 0, MaxFileBytes);
  stream.SetPosition(0, 0);
  auto block = std::make_unique<uint8_t[]>(static_cast<size_t>(want) + 1);
  const int32_t got = std::max(stream.ReadBytes(block.get(), want), 0);
  Adopt(std::move(block), got);
}

void TAsciiFont::Adopt(std::unique_ptr<uint8_t[]> block, int32_t size) {
  Data = std::move(block);
  Size = size;
  Loaded = true;
}

int32_t TAsciiFont::GlyphIndex(uint32_t code) {
  uint32_t count = static_cast<uint32_t>(Size) / 16;
  if (code < FirstCode || code >= FirstCode + count) return -1;
  return static_cast<int32_t>(code - FirstCode);
}

void TAsciiFont::GetGlyph(int32_t index, TGlyphInfo& glyph) {
  int32_t count = Size / 16;
  if (index >= 0 && index < count && index <= 255)
    glyph = {Data.get() + index * 16, 8, 16, 1};
  else
    glyph = {nullptr, 0, 0, 1};
}

int32_t TJohapFont::GlyphIndex(uint32_t code) {
  uint32_t j = code > 0xFFFF ? 0 : CharToJohab(static_cast<char16_t>(code));
  if (!(j & 0x8000) || j > 0xFFFF) return -1;
  int32_t i = InitialIndex[(j >> 10) & 31];
  int32_t m = MedialIndex[(j >> 5) & 31];
  int32_t f = FinalIndex[j & 31];
  return (i << 16) | (m << 8) | f;
}

namespace {

// Set bases of the pieces; see the set selection in GetGlyph.
int32_t InitialBaseOpen(int32_t m) { // syllable without final
  switch (m) {
  case 9:
  case 13:
  case 19:
    return 19;
  case 14:
  case 18:
    return 38;
  case 10:
  case 11:
  case 12:
  case 20:
    return 57;
  case 15:
  case 16:
  case 17:
    return 76;
  default:
    return 0;
  }
}

int32_t InitialBaseClosed(int32_t m) { // syllable with final
  switch (m) {
  case 0:
    return 0;
  case 9:
  case 13:
  case 14:
  case 18:
  case 19:
    return 114;
  case 10:
  case 11:
  case 12:
  case 15:
  case 16:
  case 17:
  case 20:
    return 133;
  default:
    return 95;
  }
}

int32_t FinalBase(int32_t i, int32_t m) {
  switch (m) {
  case 0:
    return i == 0 ? 236 : 0;
  case 1:
  case 3:
  case 10:
    return 236;
  case 2:
  case 4:
  case 6:
  case 8:
  case 11:
  case 16:
    return 290;
  case 9:
  case 13:
  case 14:
  case 18:
  case 19:
    return 317;
  default:
    return 263;
  }
}

} // namespace

void TJohapFont::GetGlyph(int32_t index, TGlyphInfo& glyph) {
  uint32_t packed = static_cast<uint32_t>(index);
  int32_t i = (packed >> 16) & 0xFF, m = (packed >> 8) & 0xFF, f = packed & 0xFF;
  glyph = {Buffer, 16, 16, 1};
  std::memset(Buffer, 0, sizeof Buffer);
  // A unit without a Johab code, or a packed index no syllable has, gets a blank cell.
  if (index < 0 || i > 19 || m > 21 || f > 27) return;

  int32_t initialBase, medialBase, finalBase = 0;
  if (f == 0) {
    initialBase = i == 0 ? 0 : InitialBaseOpen(m);
    medialBase = (i == 0 || i == 1 || i == 16) ? 152 : 173;
  } else {
    initialBase = InitialBaseClosed(m);
    medialBase = i == 0 ? 0 : (i == 1 || i == 16) ? 194 : 215;
    finalBase = FinalBase(i, m);
  }
  // Only whole glyphs: a file whose length is not a multiple of 32 would otherwise lend its
  // last, partial glyph 32 bytes of which some lie past the data.
  auto piece = [&](int32_t g) -> const uint8_t* {
    return g >= 0 && g * 32 + 32 <= Size ? Data.get() + g * 32 : nullptr;
  };
  if (const uint8_t* p = piece(initialBase + i - 1)) std::memcpy(Buffer, p, 32);
  auto orIn = [&](const uint8_t* p) {
    if (p)
      for (int k = 0; k < 32; ++k)
        Buffer[k] |= p[k];
  };
  if (m > 0) orIn(piece(medialBase + m - 1));
  if (f > 0 && finalBase != 0) orIn(piece(finalBase + f - 1));
}

void DrawGlyph(TQdBitmap& bitmap, int32_t x, int32_t y, const uint8_t* data, int32_t width,
               uint32_t height, uint32_t colour, uint32_t flags) {
  if (!data || y >= bitmap.Height) return;
  bool wide = bitmap.BitCount == 32;
  if (!wide && bitmap.BitCount != 15 && bitmap.BitCount != 16) return;
  uint32_t plain = wide ? colour : ColorTo16(colour);
  uint32_t r8 = (colour >> 16) & 0xFF, g8 = (colour >> 8) & 0xFF, b8 = colour & 0xFF;
  int64_t rowBytes = (static_cast<int64_t>(std::max(width, 0)) + 7) / 8;
  // Only the part of the glyph that lies on the bitmap is visited.
  int64_t firstCol = std::max<int64_t>(0, -static_cast<int64_t>(x));
  int64_t endCol = std::min<int64_t>(width, static_cast<int64_t>(bitmap.Width) - x);
  int64_t firstRow = std::max<int64_t>(0, -static_cast<int64_t>(y));
  int64_t endRow = std::min<int64_t>(height, static_cast<int64_t>(bitmap.Height) - y);
  if (firstCol >= endCol || firstRow >= endRow) return;

  TQdLockGuard lock(bitmap);
  for (int64_t r = firstRow; r < endRow; ++r) {
    uint8_t* line = bitmap.GetScanLine(static_cast<int32_t>(y + r));
    if (!line) continue;
    uint32_t value = plain;
    if (flags & ShadeFlag) {
      auto shade = [&](uint32_t c, int64_t top) {
        return static_cast<uint32_t>(std::max<int64_t>(0, c * (top - r) / 24));
      };
      uint32_t rs = shade(r8, 22), gs = shade(g8, 24), bs = shade(b8, 24);
      value = wide ? 0xFF000000u | rs << 16 | gs << 8 | bs
                   : ((rs << 8) & 0xF800) | ((gs << 3) & 0x07E0) | ((bs >> 3) & 0x1F);
    }
    const uint8_t* bits = data + r * rowBytes;
    for (int64_t i = firstCol; i < endCol; ++i) {
      const uint8_t byte = bits[i >> 3];
      if (byte == 0) { // the rest of this byte is blank
        i |= 7;
        continue;
      }
      if (!(byte & (0x80 >> (i & 7)))) continue;
      int64_t px = x + i;
      if (wide) {
        uint32_t v = value;
        std::memcpy(line + px * 4, &v, 4);
      } else {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(line + px * 2, &v, 2);
      }
    }
  }
}

TKSJohapFont::TKSJohapFont(const std::string& asciiFileName, const std::string& hangulFileName)
    : AsciiFont(std::make_unique<TAsciiFont>(asciiFileName)),
      HangulFont(std::make_unique<TJohapFont>(hangulFileName)) {}

TFontBase& TKSJohapFont::FontFor(char16_t unit) {
  if (unit < 128) return *AsciiFont;
  return *HangulFont;
}

void TKSJohapFont::DrawText(TQdBitmap& bitmap, int32_t x, int32_t y, std::u16string_view text,
                            uint32_t colour) {
  uint32_t current = colour;
  int64_t pen = x;
  for (char16_t u : text) {
    if (u == u'{') {
      current = HighlightColour;
      continue;
    }
    if (u == u'}') {
      current = colour;
      continue;
    }
    // Past the largest coordinate nothing more can land on a bitmap.
    if (pen > INT32_MAX) break;
    TFontBase& font = FontFor(u);
    TGlyphInfo glyph;
    font.GetGlyph(font.GlyphIndex(u), glyph);
    DrawGlyph(bitmap, static_cast<int32_t>(pen), y, glyph.Data, glyph.Width, glyph.Height, current,
              ShadeFlag);
    pen += glyph.Width;
  }
}

void TKSJohapFont::DrawTextJustified(TQdBitmap& bitmap, int32_t x, int32_t y,
                                     std::u16string_view text, uint32_t colour) {
  int64_t total = TextCells(text);
  int64_t done = 0;
  // Lines that begin inside the bitmap are spread over what is left of its width.
  int64_t span = static_cast<int64_t>(bitmap.Width) - std::max(x, 0);
  uint32_t current = colour;
  for (size_t p = 0; p < text.size(); ++p) {
    char16_t u = text[p];
    if (u == u'{') {
      current = HighlightColour;
      continue;
    }
    if (u == u'}') {
      current = colour;
      continue;
    }
    TFontBase& font = FontFor(u);
    TGlyphInfo glyph;
    font.GetGlyph(font.GlyphIndex(u), glyph);
    int64_t at;
    if (p + 1 < text.size()) {
      at = x + span * done / total;
      done += glyph.Width / 8;
    } else {
      at = static_cast<int64_t>(bitmap.Width) - glyph.Width;
    }
    if (at < INT32_MIN || at > INT32_MAX) continue;
    DrawGlyph(bitmap, static_cast<int32_t>(at), y, glyph.Data, glyph.Width, glyph.Height, current,
              ShadeFlag);
  }
}

void TKSJohapFont::ReleaseFonts() {
  if (AsciiFont) AsciiFont->ReleaseData();
  if (HangulFont) HangulFont->ReleaseData();
}
