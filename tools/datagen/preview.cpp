#include "preview.h"

#include "common.h"
#include "fonts.h"
#include "map.h"
#include "pcx.h"
#include "sheets.h"

#include "platform/png.h"

#include <algorithm>
#include <array>

namespace datagen {
namespace {

struct Image {
  int width, height;
  std::vector<uint32_t> px; // 0xRRGGBB
  Image(int w, int h, uint32_t fill) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
  void Set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) px[static_cast<size_t>(y) * width + x] = c;
  }
};

void WritePreview(const std::string& path, const Image& img) {
  if (!WritePng(path, img.px.data(), img.width, img.height, img.width))
    throw Error("cannot write " + path);
}

struct Fonts {
  std::vector<uint8_t> ascii, pieces;
};

std::vector<uint32_t> Utf8ToCodes(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t v = n == 1 ? c : c & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + k < s.size(); ++k)
      v = v << 6 | (s[i + k] & 0x3F);
    out.push_back(v);
    i += n;
  }
  return out;
}

// Sequential jamo indices of a text unit, as the game's code conversion gives them.
std::array<int, 3> JamoOf(uint32_t u) {
  if (u >= 0xAC00 && u <= 0xD7A3) {
    int s = static_cast<int>(u - 0xAC00);
    return {s / 588 + 1, s % 588 / 28 + 1, s % 28};
  }
  static const char* const kInitials = "ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
  static const char* const kFinals = "ㄱㄲㄳㄴㄵㄶㄷㄹㄺㄻㄼㄽㄾㄿㅀㅁㅂㅄㅅㅆㅇㅈㅊㅋㅌㅍㅎ";
  if (u >= 0x314F && u <= 0x3163) return {0, static_cast<int>(u - 0x314F + 1), 0};
  auto ini = Utf8ToCodes(kInitials), fin = Utf8ToCodes(kFinals);
  for (size_t k = 0; k < ini.size(); ++k)
    if (ini[k] == u) return {static_cast<int>(k + 1), 0, 0};
  for (size_t k = 0; k < fin.size(); ++k)
    if (fin[k] == u) return {0, 0, static_cast<int>(k + 1)};
  return {0, 0, 0};
}

int DrawText(Image& img, const Fonts& f, int x, int y, const std::string& text, uint32_t colour,
             int scale = 1) {
  uint32_t current = colour;
  for (uint32_t u : Utf8ToCodes(text)) {
    if (u == '{' || u == '}') {
      current = u == '{' ? 0xFF6050 : colour;
      continue;
    }
    if (u < 128) {
      if (u < 31 || (u - 31) * 16 + 16 > f.ascii.size()) continue;
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 8; ++c)
          if (f.ascii[(u - 31) * 16 + r] >> (7 - c) & 1)
            for (int sy = 0; sy < scale; ++sy)
              for (int sx = 0; sx < scale; ++sx)
                img.Set(x + c * scale + sx, y + r * scale + sy, current);
      x += 8 * scale;
    } else {
      auto [i, m, fi] = JamoOf(u);
      Glyph16 g = ComposeSyllable(f.pieces, i, m, fi);
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
          if (g[r] >> (15 - c) & 1)
            for (int sy = 0; sy < scale; ++sy)
              for (int sx = 0; sx < scale; ++sx)
                img.Set(x + c * scale + sx, y + r * scale + sy, current);
      x += 16 * scale;
    }
  }
  return x;
}

IndexedPicture LoadKv0(const std::string& path) {
  std::vector<uint8_t> bytes = ReadBytes(path);
  Unscramble(bytes, kKv0Key, 0);
  IndexedPicture p;
  if (!DecodePcx(bytes, p)) throw Error(path + " is not a picture this tool wrote");
  return p;
}

uint32_t Colour(const IndexedPicture& p, int x, int y) {
  const Rgb& c = p.palette[p.pixels[static_cast<size_t>(y) * p.width + x]];
  return static_cast<uint32_t>(c.r) << 16 | c.g << 8 | c.b;
}

// Copies one 24 x 24 cell, scaled, skipping black when keyed as the game's sprite copies do.
void DrawCell(Image& img, const IndexedPicture& sheet, CellOrigin at, int x, int y, bool keyed,
              int scale = 1) {
  for (int r = 0; r < kCell; ++r)
    for (int c = 0; c < kCell; ++c) {
      uint32_t v = Colour(sheet, at.x + c, at.y + r);
      if (keyed && v == 0) continue;
      for (int sy = 0; sy < scale; ++sy)
        for (int sx = 0; sx < scale; ++sx)
          img.Set(x + c * scale + sx, y + r * scale + sy, v);
    }
}

bool CellEmpty(const IndexedPicture& sheet, CellOrigin at) {
  for (int r = 0; r < kCell; ++r)
    for (int c = 0; c < kCell; ++c)
      if (sheet.pixels[static_cast<size_t>(at.y + r) * sheet.width + at.x + c]) return false;
  return true;
}

struct Entry {
  CellOrigin at;
  std::string label;
};

Image ContactSheet(const IndexedPicture& sheet, const std::vector<Entry>& cells, const Fonts& f,
                   bool keyed) {
  constexpr int kCols = 12, kSlotW = 60, kSlotH = 70;
  const int rows = (static_cast<int>(cells.size()) + kCols - 1) / kCols;
  Image img(kCols * kSlotW + 8, rows * kSlotH + 8, 0x30343C);
  for (size_t k = 0; k < cells.size(); ++k) {
    const int x = 8 + static_cast<int>(k % kCols) * kSlotW,
              y = 8 + static_cast<int>(k / kCols) * kSlotH;
    for (int r = 0; r < 48; ++r) // a checkerboard shows what is transparent
      for (int c = 0; c < 48; ++c)
        img.Set(x + c, y + r, ((r / 6 + c / 6) & 1) ? 0x8A8F98 : 0x6A6F78);
    DrawCell(img, sheet, cells[k].at, x, y, keyed, 2);
    DrawText(img, f, x, y + 50, cells[k].label, 0xF0F0F0);
  }
  return img;
}

} // namespace

void GeneratePreview(const std::string& dataDir, const std::string& outDir, std::ostream& report) {
  Fonts f{ReadBytes(dataDir + "/ascii.fnt"), ReadBytes(dataDir + "/H01.fnt")};
  IndexedPicture tiles = LoadKv0(dataDir + "/deja1.kv0");
  IndexedPicture sprites = LoadKv0(dataDir + "/deja2.kv0");
  MapData map = ReadMapFile(ReadBytes(dataDir + "/H3.MAF"));

  std::vector<Entry> tileCells;
  for (int v = 0; v < 144; ++v)
    if (v == 0 || !CellEmpty(tiles, TileCell(v)))
      tileCells.push_back({TileCell(v), std::to_string(v)});
  WritePreview(outDir + "/tiles.png", ContactSheet(tiles, tileCells, f, false));

  std::vector<Entry> spriteCells;
  for (int i = 0; i < 27; ++i)
    if (!CellEmpty(sprites, FigureCell(i)))
      spriteCells.push_back({FigureCell(i), "f" + std::to_string(i)});
  for (int v = 1; v <= 255; ++v) {
    if (CellEmpty(sprites, ObjectCell(v))) continue;
    std::string label = std::to_string(v);
    if (v >= 55 && v <= 100) { // inside the object grid lie the animated pictures
      const int j = v - 54;
      for (int value = 1; value <= 8; ++value)
        for (int phase = 0; phase < 2; ++phase)
          if (value + 8 * phase == j && value != 2 && value != 4)
            label = "a" + std::to_string(value) + "." + std::to_string(phase);
    }
    spriteCells.push_back({ObjectCell(v), label});
  }
  WritePreview(outDir + "/sprites.png", ContactSheet(sprites, spriteCells, f, true));

  // The whole map, drawn in the game's order: ground, objects, animated pictures, figures, then
  // the foreground tiles again.
  Image world(map.width * 24, map.height * 24, 0);
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      DrawCell(world, tiles, TileCell(map.At(0, x, y)), x * 24, y * 24, false);
      if (int v = map.At(1, x, y)) DrawCell(world, sprites, ObjectCell(v), x * 24, y * 24, true);
      int a = map.At(2, x, y);
      if (x == 10 && y == 8) a = 1; // the game puts this one there itself
      if (a > 0 && a != 2 && a != 4 && a <= 8)
        DrawCell(world, sprites, AnimatedCell(a, 0), x * 24, y * 24 - 10, true);
    }
  for (int k = 0; k < 3; ++k) {
    const Point c = kCharacters[k];
    if (map.At(1, c.x / 24, c.y / 24) == 2)
      DrawCell(world, sprites, ObjectCell(29), c.x / 24 * 24, c.y / 24 * 24 - 24, true);
    else
      DrawCell(world, sprites, FigureCell(k * 9), c.x - 12, c.y - 22, true);
  }
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      if (IsForegroundGround(map.At(0, x, y)))
        DrawCell(world, tiles, TileCell(map.At(0, x, y)), x * 24, y * 24, false);
      if (IsForegroundObject(map.At(1, x, y)))
        DrawCell(world, sprites, ObjectCell(map.At(1, x, y)), x * 24, y * 24, true);
    }
  WritePreview(outDir + "/map.png", world);

  Image text(640, 300, 0x101820);
  const char* const lines[] = {
      "Kestrove: The quick brown fox jumps over the lazy dog. 0123456789",
      "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
      "안녕하세요. {세나}에요. 저 아시죠?",
      "각 한 글 뷁 와 괘 궤 횡 읽 값 닭 흙 붉 꽃 늙",
      "ㄱ ㄲ ㄴ ㄷ ㄸ ㄹ ㅁ ㅂ ㅃ ㅅ ㅆ ㅇ ㅈ ㅉ ㅊ ㅋ ㅌ ㅍ ㅎ",
      "ㄳ ㄵ ㄶ ㄺ ㄻ ㄼ ㄽ ㄾ ㄿ ㅀ ㅄ",
      "ㅏ ㅐ ㅑ ㅒ ㅓ ㅔ ㅕ ㅖ ㅗ ㅘ ㅙ ㅚ ㅛ ㅜ ㅝ ㅞ ㅟ ㅠ ㅡ ㅢ ㅣ",
      "저의 2시 방향에 있는 아주머니께 가 보세요.",
  };
  int y = 8;
  for (const char* line : lines) {
    DrawText(text, f, 8, y, line, 0xFFFFFF);
    y += 20;
  }
  DrawText(text, f, 8, y + 4, "한글 {조작법}", 0xD0B0FF, 2);
  DrawText(text, f, 8, y + 40, "ㄱ ㅏ ㄳ ㅢ", 0xFFFFFF, 2);
  WritePreview(outDir + "/text.png", text);
  report << "preview: tiles.png, sprites.png, map.png, text.png in " << outDir << "\n";
}

} // namespace datagen
