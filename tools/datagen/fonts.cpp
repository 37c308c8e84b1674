#include "fonts.h"

#include "common.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace datagen {
namespace {

constexpr int kInitials = 19, kMedials = 21, kFinals = 27;
constexpr int kMedialBase = 152, kFinalBase = 236; // first glyph of the medial and final sets

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Glyph16 ToGlyph16(const std::vector<uint8_t>& bytes) {
  Glyph16 g{};
  for (int r = 0; r < 16; ++r)
    g[r] = static_cast<uint16_t>(bytes[2 * r] << 8 | bytes[2 * r + 1]);
  return g;
}

int PopCount(const Glyph16& g) {
  int n = 0;
  for (uint16_t row : g)
    n += __builtin_popcount(row);
  return n;
}

bool InSet(int v, std::initializer_list<int> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

struct Syllable {
  int i, m, f;
  Glyph16 target;
  std::array<int, 3> pieces;
};

std::vector<Syllable> UnifontSyllables(const HexFont& unifont) {
  std::vector<Syllable> out;
  for (int i = 1; i <= kInitials; ++i)
    for (int m = 1; m <= kMedials; ++m)
      for (int f = 0; f <= kFinals; ++f) {
        uint32_t code = 0xAC00 + ((i - 1) * kMedials + (m - 1)) * 28 + f;
        auto it = unifont.glyphs.find(code);
        if (it == unifont.glyphs.end() || it->second.size() != 32)
          throw Error("Unifont has no 16 x 16 glyph for a Hangul syllable");
        out.push_back({i, m, f, ToGlyph16(it->second), PieceGlyphNumbers(i, m, f)});
      }
  return out;
}

Glyph16 And(const Glyph16& a, const Glyph16& b) {
  Glyph16 r;
  for (int k = 0; k < 16; ++k)
    r[k] = a[k] & b[k];
  return r;
}

Glyph16 Dilate(const Glyph16& g) {
  Glyph16 r = g;
  for (int k = 0; k < 16; ++k) {
    r[k] |= static_cast<uint16_t>(g[k] << 1 | g[k] >> 1);
    if (k > 0) r[k] |= g[k - 1];
    if (k < 15) r[k] |= g[k + 1];
  }
  return r;
}

} // namespace

HexFont ReadHexFont(const std::string& path) {
  HexFont font;
  std::istringstream in(ReadText(path));
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    uint32_t code = static_cast<uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16));
    std::string hex = Trim(line.substr(colon + 1));
    if (hex.size() != 32 && hex.size() != 64) continue;
    std::vector<uint8_t> bytes;
    for (size_t k = 0; k + 1 < hex.size(); k += 2) {
      int hi = HexValue(hex[k]), lo = HexValue(hex[k + 1]);
      if (hi < 0 || lo < 0) throw Error("bad hex digit in " + path);
      bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    font.glyphs[code] = std::move(bytes);
  }
  return font;
}

std::array<int, 3> PieceGlyphNumbers(int i, int m, int f) {
  int initBase = 0, medBase = 0, finBase = 0;
  if (f == 0) {
    if (m == 0 || (m >= 1 && m <= 8) || m == 21)
      initBase = 0;
    else if (InSet(m, {9, 13, 19}))
      initBase = 19;
    else if (InSet(m, {14, 18}))
      initBase = 38;
    else if (InSet(m, {10, 11, 12, 20}))
      initBase = 57;
    else
      initBase = 76;
    if (i == 0) initBase = 0;
    medBase = InSet(i, {0, 1, 16}) ? 152 : 173;
  } else {
    if (m == 0)
      initBase = 0;
    else if ((m >= 1 && m <= 8) || m == 21)
      initBase = 95;
    else if (InSet(m, {9, 13, 14, 18, 19}))
      initBase = 114;
    else
      initBase = 133;
    medBase = i == 0 ? 0 : InSet(i, {1, 16}) ? 194 : 215;
    if (InSet(m, {1, 3, 10}) || (i == 0 && m == 0))
      finBase = 236;
    else if (InSet(m, {5, 7, 12, 15, 17, 20, 21}))
      finBase = 263;
    else if (InSet(m, {2, 4, 6, 8, 11, 16}))
      finBase = 290;
    else if (InSet(m, {9, 13, 14, 18, 19}))
      finBase = 317;
  }
  int gi = initBase + i - 1;
  int gm = m > 0 ? medBase + m - 1 : -1;
  int gf = (f > 0 && finBase != 0) ? finBase + f - 1 : -1;
  return {gi >= 0 ? gi : -1, gm >= 0 ? gm : -1, gf};
}

Glyph16 ComposeSyllable(const std::vector<uint8_t>& pieces, int i, int m, int f) {
  Glyph16 out{};
  auto pieceAt = [&](int g) -> const uint8_t* {
    if (g < 0 || static_cast<size_t>(g) * 32 >= pieces.size() ||
        static_cast<size_t>(g) * 32 + 32 > pieces.size())
      return nullptr;
    return pieces.data() + g * 32;
  };
  auto numbers = PieceGlyphNumbers(i, m, f);
  for (int k = 0; k < 3; ++k) {
    const uint8_t* p = pieceAt(numbers[k]);
    if (!p) continue;
    for (int r = 0; r < 16; ++r)
      out[r] |= static_cast<uint16_t>(p[2 * r] << 8 | p[2 * r + 1]);
  }
  return out;
}

FontAgreement MeasureAgreement(const HexFont& unifont, const std::vector<uint8_t>& pieces) {
  FontAgreement a;
  double sum = 0;
  for (const Syllable& s : UnifontSyllables(unifont)) {
    Glyph16 got = ComposeSyllable(pieces, s.i, s.m, s.f);
    int wrong = 0;
    for (int r = 0; r < 16; ++r)
      wrong += __builtin_popcount(got[r] ^ s.target[r]);
    sum += (256.0 - wrong) / 256.0;
    ++a.total;
    if (wrong != 0) ++a.differingByMedial[s.m];
    if (wrong == 0) {
      ++a.identical;
      ++(s.f == 0 ? a.identicalWithoutFinal : a.identicalWithFinal);
    }
  }
  a.meanPixelShare = a.total ? sum / a.total : 0;
  return a;
}

std::vector<uint8_t> MakeAsciiFont(const HexFont& unifont) {
  // 31 and 127 are wide in Unifont: a small right-pointing marker and a hatched block.
  static const uint8_t kCode31[16] = {0x00, 0x00, 0x00, 0x40, 0x60, 0x70, 0x78, 0x7C,
                                      0x78, 0x70, 0x60, 0x40, 0x00, 0x00, 0x00, 0x00};
  static const uint8_t kCode127[16] = {0x00, 0x00, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55,
                                       0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0x00, 0x00};
  std::vector<uint8_t> out(kCode31, kCode31 + 16);
  for (uint32_t code = 32; code <= 126; ++code) {
    auto it = unifont.glyphs.find(code);
    if (it == unifont.glyphs.end() || it->second.size() != 16)
      throw Error("Unifont has no 8 x 16 glyph for an ASCII code");
    out.insert(out.end(), it->second.begin(), it->second.end());
  }
  out.insert(out.end(), kCode127, kCode127 + 16);
  return out;
}

std::vector<uint8_t> MakePieceFont(const HexFont& unifont, std::ostream& report) {
  std::vector<Syllable> syl = UnifontSyllables(unifont);
  const int n = static_cast<int>(syl.size());

  // Which pixels belong to which jamo: a vowel is what all syllables sharing its piece have in
  // common. After ㄱ and ㅋ that common part still holds the strokes those two initials share, so
  // there only what lies on or next to the vowel of the sister set counts. A final is what its
  // syllables share besides their vowels; the initial keeps the rest. These masks keep every piece
  // its own jamo, so lone jamo look like themselves.
  Glyph16 full;
  full.fill(0xFFFF);
  std::vector<Glyph16> vowelCore(kPieceGlyphs, full), finalCore(kPieceGlyphs, full);
  for (const Syllable& s : syl)
    vowelCore[s.pieces[1]] = And(vowelCore[s.pieces[1]], s.target);
  for (int g : {152, 194})
    for (int m = 0; m < kMedials; ++m)
      vowelCore[g + m] = And(vowelCore[g + m], Dilate(vowelCore[g + m + kMedials]));
  for (const Syllable& s : syl) {
    if (s.pieces[2] < 0) continue;
    const Glyph16& vc = vowelCore[s.pieces[1]];
    Glyph16 rest;
    for (int r = 0; r < 16; ++r)
      rest[r] = s.target[r] & ~vc[r];
    finalCore[s.pieces[2]] = And(finalCore[s.pieces[2]], rest);
  }

  std::vector<Glyph16> initialCore(kPieceGlyphs, full);
  std::vector<std::array<Glyph16, 3>> own(n);
  for (int k = 0; k < n; ++k) {
    const Syllable& s = syl[k];
    const Glyph16& vc = vowelCore[s.pieces[1]];
    for (int r = 0; r < 16; ++r) {
      uint16_t fin = s.pieces[2] >= 0 ? s.target[r] & finalCore[s.pieces[2]][r] : 0;
      uint16_t vow = s.target[r] & vc[r] & ~fin;
      own[k][0][r] = s.target[r] & ~fin & ~vow;
      own[k][1][r] = vow;
      own[k][2][r] = fin;
    }
    initialCore[s.pieces[0]] = And(initialCore[s.pieces[0]], own[k][0]);
  }

  // A piece may not take pixels that are another jamo's core in its syllables.
  std::vector<Glyph16> forbidden(kPieceGlyphs, Glyph16{});
  std::vector<std::array<int, 256>> votes(kPieceGlyphs, std::array<int, 256>{});
  std::vector<std::array<int, 256>> foreign(kPieceGlyphs, std::array<int, 256>{});
  std::vector<std::vector<int>> users(kPieceGlyphs);
  for (int k = 0; k < n; ++k) {
    const Syllable& s = syl[k];
    const Glyph16& vc = vowelCore[s.pieces[1]];
    Glyph16 core[3];
    for (int r = 0; r < 16; ++r) {
      core[0][r] = initialCore[s.pieces[0]][r];
      core[1][r] = vc[r];
      core[2][r] = s.pieces[2] >= 0 ? finalCore[s.pieces[2]][r] : 0;
    }
    for (int role = 0; role < 3; ++role) {
      int g = s.pieces[role];
      if (g < 0) continue;
      users[g].push_back(k);
      for (int r = 0; r < 16; ++r) {
        uint16_t others = 0;
        for (int other = 0; other < 3; ++other)
          if (other != role) others |= core[other][r];
        for (int c = 0; c < 16; ++c)
          if (others >> (15 - c) & 1) ++foreign[g][r * 16 + c];
        for (int c = 0; c < 16; ++c)
          if (own[k][role][r] >> (15 - c) & 1) ++votes[g][r * 16 + c];
      }
    }
  }

  // Vowels and finals never take a pixel that is another jamo's core in any of their syllables.
  // An initial changes its shape with the vowel beside it, so it is kept only off pixels that are
  // foreign in at least half of its syllables.
  for (int g = 0; g < kPieceGlyphs; ++g)
    for (int p = 0; p < 256; ++p)
      if (foreign[g][p] > 0 &&
          (g >= kMedialBase || 2 * foreign[g][p] >= static_cast<int>(users[g].size())))
        forbidden[g][p / 16] |= static_cast<uint16_t>(1u << (15 - p % 16));

  // Start from the majority of each piece's own pixels. Each pixel position is then a separate
  // problem over the pieces' bits there, solved by flipping single bits while that lowers the
  // weighted count of wrong syllable pixels.
  std::vector<Glyph16> piece(kPieceGlyphs, Glyph16{});
  for (int g = 0; g < kPieceGlyphs; ++g)
    for (int p = 0; p < 256; ++p) {
      const uint16_t bit = static_cast<uint16_t>(1u << (15 - p % 16));
      if (2 * votes[g][p] > static_cast<int>(users[g].size()) && !(forbidden[g][p / 16] & bit))
        piece[g][p / 16] |= bit;
    }

  std::vector<int> count(n), stamp(n, -1);
  std::vector<char> on(kPieceGlyphs);
  int pass = 0;
  auto improvePixel = [&](int p, const std::vector<int>& weight) {
    const int r = p / 16;
    const uint16_t bit = static_cast<uint16_t>(1u << (15 - p % 16));
    for (int g = 0; g < kPieceGlyphs; ++g)
      on[g] = (piece[g][r] & bit) != 0;
    std::fill(count.begin(), count.end(), 0);
    for (int k = 0; k < n; ++k)
      for (int g : syl[k].pieces)
        if (g >= 0 && on[g]) ++count[k];
    auto flip = [&](int g) {
      on[g] = !on[g];
      piece[g][r] ^= bit;
      for (int k : users[g])
        count[k] += on[g] ? 1 : -1;
    };
    // Weighted errors at this pixel over the syllables that use any of the pieces.
    auto cost = [&](const std::vector<int>& pieces) {
      int c = 0;
      for (int g : pieces)
        for (int k : users[g])
          if (stamp[k] != pass) {
            stamp[k] = pass;
            c += ((count[k] > 0) != ((syl[k].target[r] & bit) != 0)) ? weight[k] : 0;
          }
      ++pass;
      return c;
    };
    bool any = false;
    for (bool changed = true; changed;) {
      changed = false;
      for (int g = 0; g < kPieceGlyphs; ++g) {
        if (!on[g] && (forbidden[g][r] & bit)) continue;
        int delta = 0;
        for (int k : users[g]) {
          int w = (syl[k].target[r] & bit) ? -weight[k] : weight[k];
          if (!on[g] && count[k] == 0) delta += w;
          if (on[g] && count[k] == 1) delta -= w;
        }
        if (delta < 0) {
          flip(g);
          changed = any = true;
        }
      }
      // Hand a pixel over from one piece to the pieces of another kind that share its syllables,
      // which no single flip can do without first making things worse.
      for (int g = 0; g < kPieceGlyphs && !changed; ++g) {
        if (!on[g]) continue;
        const int role = g < kMedialBase ? 0 : g < kFinalBase ? 1 : 2;
        for (int other = 0; other < 3 && !changed; ++other) {
          if (other == role) continue;
          std::vector<int> moved{g};
          bool possible = true;
          for (int k : users[g]) {
            if (count[k] != 1 || !(syl[k].target[r] & bit)) continue;
            const int t = syl[k].pieces[other];
            if (t < 0 || (forbidden[t][r] & bit))
              possible = false;
            else if (!on[t] && std::find(moved.begin(), moved.end(), t) == moved.end())
              moved.push_back(t);
          }
          if (!possible || moved.size() < 2) continue;
          const int before = cost(moved);
          for (int t : moved)
            flip(t);
          if (cost(moved) < before) {
            changed = any = true;
          } else {
            for (int t : moved)
              flip(t);
          }
        }
      }
    }
    return any;
  };
  std::vector<int> weight(n, 1);
  for (int p = 0; p < 256; ++p)
    improvePixel(p, weight);

  // Then trade a few stray pixels for whole syllables: a syllable whose other pixels are all right
  // weighs more, since fixing this pixel makes it identical.
  constexpr int kWholeBonus = 3;
  auto wrongAt = [&](int k, int r, uint16_t bit) {
    uint16_t got = 0;
    for (int g : syl[k].pieces)
      if (g >= 0) got |= piece[g][r];
    return ((got ^ syl[k].target[r]) & bit) != 0;
  };
  std::vector<int> wrong(n, 0);
  std::vector<char> wrongHere(n);
  for (int k = 0; k < n; ++k)
    for (int p = 0; p < 256; ++p)
      wrong[k] += wrongAt(k, p / 16, static_cast<uint16_t>(1u << (15 - p % 16)));
  for (int sweep = 0; sweep < 12; ++sweep) {
    bool changed = false;
    for (int p = 0; p < 256; ++p) {
      const int r = p / 16;
      const uint16_t bit = static_cast<uint16_t>(1u << (15 - p % 16));
      for (int k = 0; k < n; ++k) {
        wrongHere[k] = wrongAt(k, r, bit);
        weight[k] = 1 + (wrong[k] == wrongHere[k] ? kWholeBonus : 0);
      }
      if (improvePixel(p, weight)) {
        changed = true;
        for (int k = 0; k < n; ++k)
          wrong[k] += wrongAt(k, r, bit) - wrongHere[k];
      }
    }
    if (!changed) break;
  }

  std::vector<uint8_t> out;
  out.reserve(kPieceGlyphs * 32);
  int emptiest = 256;
  for (int g = 0; g < kPieceGlyphs; ++g) {
    emptiest = std::min(emptiest, PopCount(piece[g]));
    for (uint16_t row : piece[g]) {
      out.push_back(static_cast<uint8_t>(row >> 8));
      out.push_back(static_cast<uint8_t>(row & 0xFF));
    }
  }
  if (emptiest == 0) throw Error("a Hangul piece came out empty");

  FontAgreement a = MeasureAgreement(unifont, out);
  char line[256];
  std::snprintf(line, sizeof line,
                "H01.fnt: mean pixel agreement %.3f %%, identical syllables %d of %d (%.2f %%: "
                "%d without final, %d with final); smallest piece %d pixels\n",
                100.0 * a.meanPixelShare, a.identical, a.total, 100.0 * a.identical / a.total,
                a.identicalWithoutFinal, a.identicalWithFinal, emptiest);
  report << line;
  static const char* const kVowels[] = {"",   "ㅏ", "ㅐ", "ㅑ", "ㅒ", "ㅓ", "ㅔ", "ㅕ",
                                        "ㅖ", "ㅗ", "ㅘ", "ㅙ", "ㅚ", "ㅛ", "ㅜ", "ㅝ",
                                        "ㅞ", "ㅟ", "ㅠ", "ㅡ", "ㅢ", "ㅣ"};
  report << "  syllables that differ, by vowel:";
  for (int m = 1; m <= kMedials; ++m)
    report << ' ' << kVowels[m] << ' ' << a.differingByMedial[m];
  report << '\n';
  return out;
}

void GenerateFonts(const std::string& unifontHex, const std::string& outDir, std::ostream& report) {
  HexFont unifont = ReadHexFont(unifontHex);
  WriteBytes(outDir + "/ascii.fnt", MakeAsciiFont(unifont));
  WriteBytes(outDir + "/H01.fnt", MakePieceFont(unifont, report));
}

} // namespace datagen
