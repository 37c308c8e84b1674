// The two bitmap fonts, derived from GNU Unifont.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace datagen {

constexpr int kPieceGlyphs = 344;

// One 16 x 16 glyph as rows of 16 bits, bit 15 leftmost.
using Glyph16 = std::array<uint16_t, 16>;

struct HexFont {
  std::map<uint32_t, std::vector<uint8_t>> glyphs; // 16 or 32 bytes per code
};
HexFont ReadHexFont(const std::string& path);

// Glyph numbers of the initial, medial and final piece of the syllable with sequential
// jamo indices (i, m, f); -1 where a piece is not drawn.
std::array<int, 3> PieceGlyphNumbers(int i, int m, int f);

// The glyph the game composes from the piece file for (i, m, f).
Glyph16 ComposeSyllable(const std::vector<uint8_t>& pieces, int i, int m, int f);

struct FontAgreement {
  double meanPixelShare = 0; // mean share of equal pixels over all 11 172 syllables
  int identical = 0;         // syllables equal to Unifont's
  int identicalWithoutFinal = 0;
  int identicalWithFinal = 0;
  int total = 0;
  std::array<int, 22> differingByMedial{}; // by sequential medial index
};
FontAgreement MeasureAgreement(const HexFont& unifont, const std::vector<uint8_t>& pieces);

std::vector<uint8_t> MakeAsciiFont(const HexFont& unifont);
std::vector<uint8_t> MakePieceFont(const HexFont& unifont, std::ostream& report);

void GenerateFonts(const std::string& unifontHex, const std::string& outDir, std::ostream& report);

} // namespace datagen
