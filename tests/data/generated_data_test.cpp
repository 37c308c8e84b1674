// Checks the data files the build generates into build/data, reading them with small readers of
// their own rather than the generators' code.
#include "bitmap/QdBitmap.h"
#include "resource/QdJpeg.h"
#include "support/temp_dir.h"
#include "text/HanFont.h"
#include "world/Vesk3_chara.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_obj.h"
#include "world/WorldDraw.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

#if KESTROVE_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

namespace {

const std::string kDataDir = KESTROVE_BINARY_DIR "/data";
const std::string kGenerator = KESTROVE_DATAGEN; // under the emulator in a cross build
const std::string kAssets = KESTROVE_TEST_DATA_DIR "/../../assets";
const std::string kUnifont = "/usr/share/unifont/unifont.hex";
const char* const kFiles[] = {"ascii.fnt", "H01.fnt", "deja1.kv0",
                              "deja2.kv0", "H3.MAF",  "bg_image.jpg"};

std::vector<uint8_t> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

#define SKIP_WITHOUT_DATA()                                                                        \
  if (!std::filesystem::exists(kDataDir + "/H3.MAF"))                                              \
  GTEST_SKIP() << "no generated data in " << kDataDir

TEST(GeneratedData, RegeneratingGivesTheSameBytes) {
  SKIP_WITHOUT_DATA();
  TempDir dir;
  const std::string cmd = "\"" + kGenerator + "\" all \"" + kAssets + "\" \"" + kUnifont + "\" \"" +
                          dir.path().string() + "\" > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (const char* name : kFiles) {
    std::vector<uint8_t> built = Read(kDataDir + "/" + name);
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_EQ(Read(dir.file(name)), built) << name;
  }
}

// Runs the generator and returns its exit status and what it printed.
std::pair<int, std::string> RunGenerator(const std::string& args) {
  std::string out;
  FILE* pipe = popen(("\"" + kGenerator + "\" " + args + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, out};
  char buf[256];
  while (size_t n = fread(buf, 1, sizeof buf, pipe))
    out.append(buf, n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// A 30 by 30 meadow closed by blocking tiles, with an optional wall across row `wallRow`.
std::string MeadowSource(int wallRow) {
  std::string src = "legend 0 , 0\nlegend 0 # 96 block\nlegend 1 . 0\nlegend 1 \" 2\n"
                    "legend 2 . 0\nsize 30 30\nlayer 0\n";
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x)
      src += (x == 0 || y == 0 || x == 29 || y == 29 || y == wallRow) ? '#' : ',';
    src += '\n';
  }
  src += "layer 1\n";
  for (int y = 0; y < 30; ++y)
    src +=
        (y == 20 ? std::string(5, '.') + "\"" + std::string(24, '.') : std::string(30, '.')) + "\n";
  src += "layer 2\n";
  for (int y = 0; y < 30; ++y)
    src += std::string(30, '.') + "\n";
  return src;
}

TEST(GeneratedData, MapGeneratorRefusesMapsWhereTheCharactersCannotMeet) {
  SKIP_WITHOUT_DATA();
  TempDir dir;
  auto [ok, report] = RunGenerator("map \"" + dir.write("open.txt", MeadowSource(-1)) + "\" \"" +
                                   dir.path().string() + "\"");
  EXPECT_EQ(ok, 0) << report;
  EXPECT_NE(report.find("30 x 30"), std::string::npos) << report;
  EXPECT_TRUE(std::filesystem::exists(dir.file("H3.MAF")));

  // Row 20 walls Sena (row 26) off from the player (row 15).
  auto [walled, why] = RunGenerator("map \"" + dir.write("walled.txt", MeadowSource(20)) + "\" \"" +
                                    dir.path().string() + "/walled\"");
  EXPECT_EQ(walled, 1);
  EXPECT_NE(why.find("cannot walk"), std::string::npos) << why;
}

TEST(GeneratedData, ArtErrorsNameTheirFileAndLine) {
  SKIP_WITHOUT_DATA();
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "art");
  dir.write("art/a.txt", "palette\nk 1c1a24\nend\npic p 3 2\nkkk\nkk\nend\ntile 0 p\n");
  auto [status, out] =
      RunGenerator("sheets \"" + dir.file("art") + "\" \"" + dir.file("out") + "\"");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("a.txt:6"), std::string::npos) << out;
  dir.write("art/a.txt", "palette\nk 000000\nend\n");
  std::tie(status, out) =
      RunGenerator("sheets \"" + dir.file("art") + "\" \"" + dir.file("out") + "\"");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("transparent"), std::string::npos) << out;
}

// ---- fonts -------------------------------------------------------------------------------------

using Glyph = std::array<uint16_t, 16>;

std::map<uint32_t, std::string> UnifontHex() {
  std::map<uint32_t, std::string> out;
  std::ifstream in(kUnifont);
  std::string line;
  while (std::getline(in, line))
    if (line.size() > 5 && line[4] == ':')
      out[std::stoul(line.substr(0, 4), nullptr, 16)] = line.substr(5);
  return out;
}

Glyph WideGlyph(const std::string& hex) {
  Glyph g{};
  for (int r = 0; r < 16 && hex.size() == 64; ++r)
    g[r] = std::stoul(hex.substr(4 * r, 4), nullptr, 16);
  return g;
}

// Glyph numbers of the pieces the game composes for sequential indices (i, m, f); -1 = none.
std::array<int, 3> Pieces(int i, int m, int f) {
  auto in = [](int v, std::initializer_list<int> s) {
    for (int x : s)
      if (x == v) return true;
    return false;
  };
  const bool right = (m >= 1 && m <= 8) || m == 21;
  if (f == 0) {
    int ib = right || m == 0           ? 0
             : in(m, {9, 13, 19})      ? 19
             : in(m, {14, 18})         ? 38
             : in(m, {10, 11, 12, 20}) ? 57
                                       : 76;
    int mb = in(i, {0, 1, 16}) ? 152 : 173;
    return {i ? ib + i - 1 : -1, m ? mb + m - 1 : -1, -1};
  }
  int ib = m == 0 ? 0 : right ? 95 : in(m, {9, 13, 14, 18, 19}) ? 114 : 133;
  int mb = i == 0 ? 0 : in(i, {1, 16}) ? 194 : 215;
  int fb = in(m, {1, 3, 10}) || (i == 0 && m == 0) ? 236
           : in(m, {5, 7, 12, 15, 17, 20, 21})     ? 263
           : in(m, {2, 4, 6, 8, 11, 16})           ? 290
           : in(m, {9, 13, 14, 18, 19})            ? 317
                                                   : 0;
  return {ib + i - 1 >= 0 ? ib + i - 1 : -1, m ? mb + m - 1 : -1, fb ? fb + f - 1 : -1};
}

Glyph PieceGlyph(const std::vector<uint8_t>& font, int g) {
  Glyph out{};
  if (g >= 0 && (g + 1) * 32 <= static_cast<int>(font.size()))
    for (int r = 0; r < 16; ++r)
      out[r] = static_cast<uint16_t>(font[g * 32 + 2 * r] << 8 | font[g * 32 + 2 * r + 1]);
  return out;
}

int Pixels(const Glyph& g) {
  int n = 0;
  for (uint16_t row : g)
    n += __builtin_popcount(row);
  return n;
}

TEST(GeneratedData, AsciiFontHoldsCodes31To127FromUnifont) {
  SKIP_WITHOUT_DATA();
  std::vector<uint8_t> font = Read(kDataDir + "/ascii.fnt");
  ASSERT_EQ(font.size(), 97u * 16);
  auto hex = UnifontHex();
  for (uint32_t code : {uint32_t{'A'}, uint32_t{'z'}, uint32_t{'~'}, uint32_t{' '}}) {
    std::string expect;
    char buf[3];
    for (int r = 0; r < 16; ++r) {
      std::snprintf(buf, sizeof buf, "%02X", font[(code - 31) * 16 + r]);
      expect += buf;
    }
    EXPECT_EQ(expect, hex[code]) << code;
  }
  for (uint32_t code : {31u, 127u}) { // our own narrow glyphs, not blank
    int ink = 0;
    for (int r = 0; r < 16; ++r)
      ink += __builtin_popcount(font[(code - 31) * 16 + r]);
    EXPECT_GT(ink, 8) << code;
  }
}

// Composes every syllable with the game's own Hangul font and compares it with Unifont's.
TEST(GeneratedData, PieceFontReproducesUnifontSyllables) {
  SKIP_WITHOUT_DATA();
  TJohapFont font(kDataDir + "/H01.fnt");
  ASSERT_EQ(font.DataSize(), 11008);
  auto hex = UnifontHex();
  double share = 0;
  int identical = 0, identicalWithoutFinal = 0, total = 0;
  for (uint32_t code = 0xAC00; code <= 0xD7A3; ++code) {
    Glyph want = WideGlyph(hex[code]);
    TGlyphInfo glyph;
    font.GetGlyph(font.GlyphIndex(code), glyph);
    ASSERT_TRUE(glyph.Data && glyph.Width == 16 && glyph.Height == 16);
    int wrong = 0;
    for (int r = 0; r < 16; ++r)
      wrong += __builtin_popcount((glyph.Data[2 * r] << 8 | glyph.Data[2 * r + 1]) ^ want[r]);
    share += (256 - wrong) / 256.0;
    ++total;
    identical += wrong == 0;
    identicalWithoutFinal += wrong == 0 && (code - 0xAC00) % 28 == 0;
  }
  EXPECT_EQ(total, 11172);
  EXPECT_GE(share / total, 0.985);
  EXPECT_GE(identical, total * 80 / 100);
  EXPECT_EQ(identicalWithoutFinal, 19 * 21);
}

TEST(GeneratedData, LoneJamoAreWholeLetters) {
  SKIP_WITHOUT_DATA();
  std::vector<uint8_t> font = Read(kDataDir + "/H01.fnt");
  ASSERT_EQ(font.size(), 11008u);
  for (int g = 0; g < 344; ++g)
    EXPECT_GE(Pixels(PieceGlyph(font, g)), 5) << "piece " << g;
  // A lone consonant is the initial of set 1 and a lone vowel the medial of set 1, which only
  // ever meets ㄱ and ㅋ: if the strokes those two share had drifted into the vowels, a lone
  // vowel would show them and a lone ㄱ would be missing them.
  for (int i : {1, 16})
    for (int m = 1; m <= 21; ++m) {
      auto p = Pieces(i, m, 0);
      Glyph a = PieceGlyph(font, p[0]), b = PieceGlyph(font, p[1]);
      int shared = 0;
      for (int r = 0; r < 16; ++r)
        shared += __builtin_popcount(a[r] & b[r]);
      EXPECT_EQ(shared, 0) << "initial " << i << " medial " << m;
    }
  Glyph g = PieceGlyph(font, 0), k = PieceGlyph(font, 15); // ㄱ and ㅋ: ㅋ is ㄱ and one stroke
  int common = 0;
  for (int r = 0; r < 16; ++r)
    common += __builtin_popcount(g[r] & k[r]);
  EXPECT_GE(common, Pixels(g) * 3 / 4);
  for (int f = 1; f <= 27; ++f)
    EXPECT_GE(Pixels(PieceGlyph(font, Pieces(0, 0, f)[2])), 5);
}

// ---- sheets ------------------------------------------------------------------------------------

struct Sheet {
  int width = 0, height = 0;
  std::vector<uint8_t> index;
  std::vector<uint32_t> palette;
  uint32_t At(int x, int y) const { return palette[index[static_cast<size_t>(y) * width + x]]; }
  bool CellEmpty(int x0, int y0) const { // all opaque black, the transparent colour
    for (int y = y0; y < y0 + 24; ++y)
      for (int x = x0; x < x0 + 24; ++x)
        if (At(x, y) != 0) return false;
    return true;
  }
  int CellDifference(int ax, int ay, int bx, int by) const {
    int d = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x)
        d += At(ax + x, ay + y) != At(bx + x, by + y);
    return d;
  }
};

// Unscrambles with key 0xC5 from rotation 0 and decodes a one-plane 8-bit PCX, failing the test on
// anything the game's reader would not take.
Sheet LoadKv0(const std::string& path) {
  std::vector<uint8_t> b = Read(path);
  for (size_t p = 0; p < b.size(); ++p) {
    unsigned n = p % 8;
    uint8_t v = n ? static_cast<uint8_t>(b[p] << n | b[p] >> (8 - n)) : b[p];
    b[p] = v ^ 0xC5;
  }
  Sheet s;
  EXPECT_GT(b.size(), 128u + 769u);
  if (b.size() <= 128 + 769) return s;
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[3], 8);
  EXPECT_EQ(b[65], 1);
  EXPECT_EQ(b[b.size() - 769], 12);
  s.width = (b[8] | b[9] << 8) - (b[4] | b[5] << 8) + 1;
  s.height = (b[10] | b[11] << 8) - (b[6] | b[7] << 8) + 1;
  const int perLine = b[66] | b[67] << 8;
  EXPECT_GE(perLine, s.width);
  size_t at = 128;
  const size_t end = b.size() - 769;
  std::vector<uint8_t> line(perLine);
  for (int y = 0; y < s.height; ++y) {
    for (int i = 0; i < perLine;) {
      if (at >= end) {
        ADD_FAILURE() << "image data runs out at row " << y;
        return Sheet{};
      }
      uint8_t v = b[at++];
      int n = 1;
      if (v >= 0xC0) {
        n = v & 0x3F;
        v = b[at++];
      }
      if (i + n > perLine) {
        ADD_FAILURE() << "a run crosses the end of row " << y;
        return Sheet{};
      }
      while (n--)
        line[i++] = v;
    }
    s.index.insert(s.index.end(), line.begin(), line.begin() + s.width);
  }
  EXPECT_EQ(at, end);
  for (int k = 0; k < 256; ++k)
    s.palette.push_back(static_cast<uint32_t>(b[end + 1 + 3 * k]) << 16 | b[end + 2 + 3 * k] << 8 |
                        b[end + 3 + 3 * k]);
  return s;
}

// The game's own loader must see exactly the picture the test's reader sees.
void ExpectGameLoaderAgrees(const std::string& path, const Sheet& s) {
  TQdBitmap bitmap(path, 32);
  ASSERT_EQ(bitmap.Width, s.width);
  ASSERT_EQ(bitmap.Height, s.height);
  TQdLockGuard lock(bitmap);
  int differ = 0;
  for (int y = 0; y < s.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(bitmap.GetScanLine(y));
    for (int x = 0; x < s.width; ++x)
      differ += row[x] != (OpaqueAlpha | s.At(x, y));
  }
  EXPECT_EQ(differ, 0);
}

TEST(GeneratedData, TileSheetCoversEveryGroundValue) {
  SKIP_WITHOUT_DATA();
  Sheet s = LoadKv0(kDataDir + "/deja1.kv0");
  ASSERT_GE(s.width, 12 * 25 + 1);
  ASSERT_GE(s.height, 12 * 25 + 1); // values up to 143, the last drawn-over-figures tile
  for (int v : {0, 3, 7, 104, 110, 122})
    EXPECT_FALSE(s.CellEmpty(v % 12 * 25 + 1, v / 12 * 25 + 1)) << "tile " << v;
  ExpectGameLoaderAgrees(kDataDir + "/deja1.kv0", s);
}

TEST(GeneratedData, SpriteSheetHoldsFiguresObjectsAndAnimations) {
  SKIP_WITHOUT_DATA();
  Sheet s = LoadKv0(kDataDir + "/deja2.kv0");
  ASSERT_GE(s.width, 451 + 9 * 25);
  ASSERT_GE(s.height, 176 + 12 * 25);
  auto figure = [](int i) { return std::array<int, 2>{i % 9 * 25 + 1, i / 9 * 25 + 1}; };
  for (int look = 0; look < 3; ++look)
    for (int c = 0; c < 8; ++c) {
      auto [x, y] = figure(look * 9 + c);
      EXPECT_FALSE(s.CellEmpty(x, y)) << "figure cell " << look * 9 + c;
      EXPECT_EQ(s.At(x, y), 0u) << "a figure's corner is transparent";
    }
  for (int look = 0; look < 3; ++look)
    for (int dir = 0; dir < 4; ++dir) { // the two steps of a walk differ
      auto a = figure(look * 9 + dir * 2), b = figure(look * 9 + dir * 2 + 1);
      EXPECT_GT(s.CellDifference(a[0], a[1], b[0], b[1]), 0) << look << " " << dir;
    }
  for (int a = 0; a < 3; ++a) // three clearly different characters
    for (int b = a + 1; b < 3; ++b)
      EXPECT_GT(s.CellDifference(1, a * 25 + 1, 1, b * 25 + 1), 100) << a << " " << b;
  EXPECT_FALSE(s.CellEmpty(276, 251));                   // a figure standing on layer-1 value 2
  EXPECT_FALSE(s.CellEmpty(6 * 25 + 226, 8 * 25 + 176)); // the projectile, cell 78
  EXPECT_FALSE(s.CellEmpty(251, 326));                   // animated value 1, both phases
  EXPECT_FALSE(s.CellEmpty(226, 351));
  EXPECT_GT(s.CellDifference(251, 326, 226, 351), 20);
  ExpectGameLoaderAgrees(kDataDir + "/deja2.kv0", s);
}

// ---- map ---------------------------------------------------------------------------------------

struct Map {
  int w = 0, h = 0;
  std::vector<uint8_t> bytes;
  int Tile(int layer, int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return bytes[8 + static_cast<size_t>(layer) * w * h + static_cast<size_t>(y) * w + x];
  }
};

TEST(GeneratedData, MapIsClosedAndThePlayerCanReachBothCharacters) {
  SKIP_WITHOUT_DATA();
  Map m;
  m.bytes = Read(kDataDir + "/H3.MAF");
  ASSERT_GE(m.bytes.size(), 8u);
  m.w = m.bytes[4] | m.bytes[5] << 8;
  m.h = m.bytes[6] | m.bytes[7] << 8;
  ASSERT_TRUE(m.w > 0 && m.w <= 256 && m.h > 0 && m.h <= 256);
  ASSERT_EQ(m.bytes.size(), 8u + 4u * m.w * m.h);
  // Walking is judged by the game's own map.
  TWorldMap world(kDataDir + "/H3.MAF");
  ASSERT_EQ(world.Width, m.w);
  ASSERT_EQ(world.Height, m.h);
  auto boxOk = [&](int x, int y) { return world.IsBoxWalkable({x - 8, y - 12, x + 8, y}); };
  for (int x = 0; x < m.w; ++x)
    EXPECT_FALSE(world.IsWalkable(x, 0) || world.IsWalkable(x, m.h - 1)) << x;
  for (int y = 0; y < m.h; ++y)
    EXPECT_FALSE(world.IsWalkable(0, y) || world.IsWalkable(m.w - 1, y)) << y;

  const int cx[3] = {400, 296, 604}, cy[3] = {370, 628, 362};
  for (int c = 0; c < 3; ++c)
    EXPECT_TRUE(boxOk(cx[c], cy[c])) << "character " << c;

  // Flood the positions the player can take, moving it with the game's own walking (free steps
  // of 6 pixels, 4 and 4 diagonally, slides of 9) among the other two; a bump opens a conversation.
  WorldMap = std::make_unique<TWorldMap>(kDataDir + "/H3.MAF");
  for (auto& slot : Objects)
    slot.reset();
  for (int c = 0; c < 3; ++c)
    Objects[c] = std::make_unique<TCharacter>(c, c, cx[c], cy[c]);
  auto* walker = static_cast<TCharacter*>(Objects[0].get());
  int partner = -1;
  const auto previousStarter = ConversationStarter;
  ConversationStarter = [&](int32_t p) { partner = p; };
  std::vector<uint8_t> seen(static_cast<size_t>(m.w) * 24 * m.h * 24);
  std::deque<std::array<int, 2>> queue{{cx[0], cy[0]}};
  bool met[3] = {}, grass = false;
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    grass |= world.GetTile(1, x / 24, y / 24) == 2;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if (!dx && !dy) continue;
        const int k = dx && dy ? 2 : 3;
        walker->X = x;
        walker->Y = y;
        partner = -1;
        walker->Move(k * dx, k * dy, BodySize);
        if (partner >= 0 && partner < 3) met[partner] = true;
        if (walker->X < 0 || walker->Y < 0 || walker->X >= m.w * 24 || walker->Y >= m.h * 24) {
          ADD_FAILURE() << "walked off the map at " << walker->X << ", " << walker->Y;
          continue;
        }
        uint8_t& s = seen[static_cast<size_t>(walker->Y) * m.w * 24 + walker->X];
        if (!s) {
          s = 1;
          queue.push_back({walker->X, walker->Y});
        }
      }
  }
  ConversationStarter = nullptr;
  for (auto& slot : Objects)
    slot.reset();
  WorldMap.reset();
  EXPECT_TRUE(met[1]);
  EXPECT_TRUE(met[2]);
  EXPECT_TRUE(grass) << "no reachable tile of layer-1 value 2";

  int foreground = 0, stopping = 0, animated = 0;
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      int g = m.Tile(0, x, y), o = m.Tile(1, x, y), a = m.Tile(2, x, y);
      foreground += (g >= 104 && g <= 108) || (g >= 110 && g <= 122 && g % 2 == 0) || o == 5;
      stopping += (g >= 96 && g <= 99) || g == 101 || g == 103 || o == 6 || o == 12 || o == 25;
      animated += a == 1 || a == 3 || a >= 5;
    }
  EXPECT_GT(foreground, 0);
  EXPECT_GT(stopping, 0);
  EXPECT_GT(animated, 0);
}

// The world as the game draws it, into a picture of the view taken from the two sheets.
class SheetCanvas : public TSpriteCanvas {
public:
  SheetCanvas(const Sheet& tiles, const Sheet& sprites) : tiles_(tiles), sprites_(sprites) {}
  void ClearLayers() override { std::fill(pixels.begin(), pixels.end(), 0u); }
  void DrawSprite(int32_t kind, int32_t x, int32_t y, int32_t index, int32_t variant) override {
    if (kind == 0) return Copy(tiles_, index % 12 * 25 + 1, index / 12 * 25 + 1, x, y, false);
    if (kind == 1 && index > 0 && index <= 100)
      return Copy(sprites_, index % 9 * 25 + 226, index / 9 * 25 + 176, x, y, true);
    if (kind == 1 && index > 100)
      return Copy(sprites_, (index - 101) % 9 * 25 + 451, (index - 101) / 9 * 25 + 1, x, y, true);
    if (kind == 2 && index > 0 && index != 2 && index != 4) {
      const int j = index + 8 * variant;
      return Copy(sprites_, j % 9 * 25 + 226, j / 9 * 25 + 326, x, y - 10, true);
    }
    if (kind == 4 && index >= 0 && variant == 2) return Copy(sprites_, 276, 251, x, y - 24, true);
    if (kind == 4 && index >= 0)
      return Copy(sprites_, index % 9 * 25 + 1, index / 9 * 25 + 1, x, y - 10, true);
  }
  std::vector<uint32_t> pixels = std::vector<uint32_t>(360 * 456, 0);

private:
  void Copy(const Sheet& sheet, int sx, int sy, int x, int y, bool keyed) {
    for (int r = 0; r < 24; ++r)
      for (int c = 0; c < 24; ++c) {
        const uint32_t v = sheet.At(sx + c, sy + r);
        if ((keyed && v == 0) || x + c < 0 || y + r < 0 || x + c >= 360 || y + r >= 456) continue;
        pixels[static_cast<size_t>(y + r) * 360 + x + c] = v | 0xFF000000u;
      }
  }
  const Sheet& tiles_;
  const Sheet& sprites_;
};

// Renders the view around (x, y), with or without the player standing there.
std::vector<uint32_t> RenderView(const TWorldMap& map, const Sheet& tiles, const Sheet& sprites,
                                 int x, int y, bool withPlayer) {
  for (auto& slot : Objects)
    slot.reset();
  if (withPlayer) Objects[0] = std::make_unique<TCharacter>(0, 0, x, y);
  SheetCanvas canvas(tiles, sprites);
  DrawWorld(canvas, map, x, y, 0);
  for (auto& slot : Objects)
    slot.reset();
  return canvas.pixels;
}

TEST(GeneratedData, TreeCanopiesHideAFigureBehindThem) {
  SKIP_WITHOUT_DATA();
  TWorldMap map(kDataDir + "/H3.MAF");
  Sheet tiles = LoadKv0(kDataDir + "/deja1.kv0"), sprites = LoadKv0(kDataDir + "/deja2.kv0");
  ASSERT_GT(map.Width, 0);
  int shown = 0, hidden = 0;
  for (int ty = 1; ty + 1 < map.Height; ++ty)
    for (int tx = 1; tx + 1 < map.Width; ++tx) {
      // Feet in the middle of a walkable tile: behind a tree when that tile is a canopy tile.
      const int x = tx * 24 + 12, y = ty * 24 + 20;
      if (!map.IsBoxWalkable({x - 8, y - 12, x + 8, y})) continue;
      const bool canopy = map.GetTile(0, tx, ty) == 104;
      if (!canopy && (tx + ty) % 23 != 0) continue; // a sample of open ground is enough
      const bool same = RenderView(map, tiles, sprites, x, y, true) ==
                        RenderView(map, tiles, sprites, x, y, false);
      EXPECT_EQ(same, canopy) << "tile " << tx << ", " << ty;
      ++(canopy ? hidden : shown);
    }
  EXPECT_GT(hidden, 0);
  EXPECT_GT(shown, 0);
}

// ---- background --------------------------------------------------------------------------------

TEST(GeneratedData, BackgroundIsABaseline420Jpeg) {
  SKIP_WITHOUT_DATA();
  std::vector<uint8_t> j = Read(kDataDir + "/bg_image.jpg");
  ASSERT_GT(j.size(), 4u);
  EXPECT_EQ(j[0], 0xFF);
  EXPECT_EQ(j[1], 0xD8);
  EXPECT_EQ(j[j.size() - 2], 0xFF);
  EXPECT_EQ(j[j.size() - 1], 0xD9);
  bool frame = false, scan = false;
  for (size_t at = 2; at + 4 <= j.size() && !scan;) {
    ASSERT_EQ(j[at], 0xFF);
    const uint8_t marker = j[at + 1];
    const size_t len = j[at + 2] << 8 | j[at + 3];
    ASSERT_LE(at + 2 + len, j.size());
    EXPECT_TRUE(marker != 0xDD && !(marker >= 0xC1 && marker <= 0xCF && marker != 0xC4))
        << "marker " << std::hex << int(marker) << " is beyond plain baseline";
    if (marker == 0xDB) {
      EXPECT_EQ(j[at + 4] >> 4, 0) << "8-bit quantisation tables";
    }
    if (marker == 0xC0) {
      frame = true;
      EXPECT_EQ(j[at + 5] << 8 | j[at + 6], 480);
      EXPECT_EQ(j[at + 7] << 8 | j[at + 8], 640);
      ASSERT_EQ(j[at + 9], 3);
      EXPECT_EQ(j[at + 11], 0x22); // luminance 2 x 2, chroma 1 x 1
      EXPECT_EQ(j[at + 14], 0x11);
      EXPECT_EQ(j[at + 17], 0x11);
    }
    scan = marker == 0xDA;
    at += 2 + len;
  }
  EXPECT_TRUE(frame);
  EXPECT_TRUE(scan);

  TQdJpeg decoder; // the game's decoder takes it whole
  ASSERT_TRUE(decoder.LoadFromFile(kDataDir + "/bg_image.jpg"));
  ASSERT_TRUE(decoder.HasPicture());
  EXPECT_EQ(decoder.Width(), 640);
  EXPECT_EQ(decoder.Height(), 480);
#if KESTROVE_HAVE_TURBOJPEG
  tjhandle tj = tjInitDecompress();
  int w = 0, h = 0, sub = -1, space = -1;
  EXPECT_EQ(tjDecompressHeader3(tj, j.data(), j.size(), &w, &h, &sub, &space), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(sub, TJSAMP_420);
  std::vector<uint8_t> theirs(640 * 480 * 3), ours(640 * 480 * 3);
  ASSERT_EQ(tjDecompress2(tj, j.data(), j.size(), theirs.data(), 640, 640 * 3, 480, TJPF_BGR, 0),
            0);
  ASSERT_TRUE(decoder.CopyPixelsTo(ours.data(), 640 * 3, nullptr, 24));
  long total = 0;
  for (size_t k = 0; k < ours.size(); ++k)
    total += std::abs(ours[k] - theirs[k]);
  EXPECT_LT(total / double(ours.size()), 1.5); // the two inverse transforms round differently
  tjDestroy(tj);
#endif
}

} // namespace
