#include "sheets.h"

#include "common.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace datagen {

CellOrigin TileCell(int value) {
  return {value % 12 * kPitch + 1, value / 12 * kPitch + 1};
}

CellOrigin ObjectCell(int value) {
  if (value <= 100) return {value % 9 * kPitch + 226, value / 9 * kPitch + 176};
  const int j = value - 101;
  return {j % 9 * kPitch + 451, j / 9 * kPitch + 1};
}

CellOrigin AnimatedCell(int value, int phase) {
  const int j = value + 8 * phase;
  return {j % 9 * kPitch + 226, j / 9 * kPitch + 326};
}

CellOrigin FigureCell(int index) {
  return {index % 9 * kPitch + 1, index / 9 * kPitch + 1};
}

namespace {

constexpr int kTransparent = -1;
using Cell = std::array<int, kCell * kCell>; // palette index or kTransparent

struct Picture {
  int width = 0, height = 0;
  std::vector<std::string> rows;
};

class ArtSource {
public:
  void Parse(const std::string& text, const std::string& file);
  void Render(Sheets& sheets, std::ostream& report) const;

private:
  struct Directive {
    std::string where; // file:line, for messages
    std::vector<std::string> words;
  };
  [[noreturn]] static void Fail(const std::string& where, const std::string& what) {
    throw Error(where + ": " + what);
  }
  int ColourOf(char c, const std::string& where) const;
  Cell Layer(const std::string& text, const std::string& where) const;
  Cell Compose(const std::vector<std::string>& words, size_t first, const std::string& where) const;
  void Figure(const Directive& d, IndexedPicture& sheet, std::set<std::pair<int, int>>& used) const;

  std::map<char, int> colourIndex_;
  std::array<Rgb, 256> palette_{};
  int colours_ = 1; // index 0 stays black: the sprite sheet's transparent colour
  std::map<std::string, Picture> pictures_;
  std::vector<Directive> directives_;
};

void ArtSource::Parse(const std::string& text, const std::string& file) {
  std::vector<std::string> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string where = file + ":" + std::to_string(i + 1);
    std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    std::vector<std::string> w;
    while (words >> word)
      w.push_back(word);
    if (w[0] == "palette") {
      for (++i; i < lines.size() && Trim(lines[i]) != "end"; ++i) {
        std::string entry = Trim(lines[i]);
        if (entry.empty() || entry[0] == '#') continue;
        const std::string at = file + ":" + std::to_string(i + 1);
        if (entry.size() < 8 || entry[1] != ' ') Fail(at, "palette entry must be: <char> RRGGBB");
        char c = entry[0];
        if (c == '.' || c == 'L' || c == 'R' || colourIndex_.count(c))
          Fail(at, std::string("palette character '") + c + "' is reserved or repeated");
        unsigned long rgb = std::stoul(entry.substr(2, 6), nullptr, 16);
        if (colours_ >= 256) Fail(at, "more than 255 colours");
        if (rgb == 0) Fail(at, "pure black is the transparent colour; use a near-black");
        palette_[colours_] = {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                              static_cast<uint8_t>(rgb)};
        colourIndex_[c] = colours_++;
      }
      if (i >= lines.size()) Fail(where, "palette without end");
    } else if (w[0] == "pic") {
      if (w.size() != 4) Fail(where, "expected: pic NAME WIDTH HEIGHT");
      Picture p;
      p.width = std::stoi(w[2]);
      p.height = std::stoi(w[3]);
      if (p.width <= 0 || p.height <= 0 || p.width > 256 || p.height > 256)
        Fail(where, "bad picture size");
      for (int r = 0; r < p.height; ++r) {
        ++i;
        if (i >= lines.size()) Fail(where, "picture " + w[1] + " ends early");
        std::string row = lines[i];
        while (!row.empty() && (row.back() == ' ' || row.back() == '\t'))
          row.pop_back();
        if (static_cast<int>(row.size()) != p.width)
          Fail(file + ":" + std::to_string(i + 1), "row is " + std::to_string(row.size()) +
                                                       " wide, picture " + w[1] + " is " +
                                                       std::to_string(p.width));
        p.rows.push_back(row);
      }
      ++i;
      if (i >= lines.size() || Trim(lines[i]) != "end")
        Fail(file + ":" + std::to_string(i + 1), "expected end after picture " + w[1]);
      if (!pictures_.emplace(w[1], std::move(p)).second) Fail(where, "picture " + w[1] + " again");
    } else if (w[0] == "tile" || w[0] == "object" || w[0] == "anim" || w[0] == "figure") {
      directives_.push_back({where, w});
    } else {
      Fail(where, "unknown directive " + w[0]);
    }
  }
}

int ArtSource::ColourOf(char c, const std::string& where) const {
  if (c == '.') return kTransparent;
  auto it = colourIndex_.find(c);
  if (it == colourIndex_.end())
    Fail(where, std::string("colour '") + c + "' is not in the palette");
  return it->second;
}

// A layer is a picture name, optionally ":col,row" to take one 24 x 24 window of a larger
// picture, and "!" to mirror it; pictures smaller than a cell repeat across it.
Cell ArtSource::Layer(const std::string& text, const std::string& where) const {
  std::string name = text;
  bool mirror = false;
  if (!name.empty() && name.back() == '!') {
    mirror = true;
    name.pop_back();
  }
  int col = 0, row = 0;
  if (size_t colon = name.find(':'); colon != std::string::npos) {
    if (std::sscanf(name.c_str() + colon + 1, "%d,%d", &col, &row) != 2 || col < 0 || row < 0)
      Fail(where, "bad window in " + text);
    name.resize(colon);
  }
  auto it = pictures_.find(name);
  if (it == pictures_.end()) Fail(where, "no picture " + name);
  const Picture& p = it->second;
  const bool repeat = p.width < kCell || p.height < kCell;
  if (!repeat && ((col + 1) * kCell > p.width || (row + 1) * kCell > p.height))
    Fail(where, "window outside picture " + name);
  Cell cell;
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      int sx = mirror ? kCell - 1 - x : x;
      char c =
          repeat ? p.rows[y % p.height][sx % p.width] : p.rows[row * kCell + y][col * kCell + sx];
      if (c == 'L' || c == 'R') Fail(where, "leg marks belong in figure pictures only");
      cell[y * kCell + x] = ColourOf(c, where);
    }
  return cell;
}

Cell ArtSource::Compose(const std::vector<std::string>& words, size_t first,
                        const std::string& where) const {
  if (first >= words.size()) Fail(where, "a cell needs at least one layer");
  Cell out;
  out.fill(kTransparent);
  for (size_t k = first; k < words.size(); ++k) {
    Cell layer = Layer(words[k], where);
    for (int p = 0; p < kCell * kCell; ++p)
      if (layer[p] != kTransparent) out[p] = layer[p];
  }
  return out;
}

void PutCell(IndexedPicture& sheet, CellOrigin at, const Cell& cell) {
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      int v = cell[y * kCell + x];
      sheet.pixels[static_cast<size_t>(at.y + y) * sheet.width + at.x + x] =
          static_cast<uint8_t>(v == kTransparent ? 0 : v);
    }
}

// A figure picture marks its legs with L and R; the walking steps lift one leg or spread both,
// and the body is painted over the legs, so a lifted leg tucks under the clothes. A dithered
// shadow lies under the feet.
void ArtSource::Figure(const Directive& d, IndexedPicture& sheet,
                       std::set<std::pair<int, int>>& used) const {
  const auto& w = d.words;
  if (w.size() != 6 || w[4].rfind("legs=", 0) != 0 || w[5].rfind("boots=", 0) != 0 ||
      w[4].size() != 6 || w[5].size() != 7)
    Fail(d.where, "expected: figure LOOK down|left|up PICTURE legs=C boots=C");
  const int look = std::stoi(w[1]);
  if (look < 0 || look > 2) Fail(d.where, "look must be 0, 1 or 2");
  const std::string& dir = w[2];
  if (dir != "down" && dir != "left" && dir != "up") Fail(d.where, "direction: down, left or up");
  auto it = pictures_.find(w[3]);
  if (it == pictures_.end()) Fail(d.where, "no picture " + w[3]);
  const Picture& p = it->second;
  if (p.width != kCell || p.height != kCell) Fail(d.where, "figure pictures are 24 x 24");
  const int legColour = ColourOf(w[4][5], d.where), bootColour = ColourOf(w[5][6], d.where);
  const int shadowColour = ColourOf('s', d.where);

  auto frame = [&](int step, bool mirror) {
    Cell cell;
    cell.fill(kTransparent);
    for (int y = 20; y < kCell; ++y) // shadow: a dithered ellipse round the feet
      for (int x = 5; x < 19; ++x) {
        double dx = (x - 11.5) / 7.0, dy = (y - 22.0) / 2.0;
        if (dx * dx + dy * dy <= 1.0 && (x + y) % 2 == 0) cell[y * kCell + x] = shadowColour;
      }
    for (char leg : {'L', 'R'}) {
      int dx = 0, dy = 0;
      if (dir == "left") {
        if (step == 0)
          dx = leg == 'L' ? -1 : 1;
        else if (leg == 'R')
          dy = -1;
      } else if ((step == 0) == (leg == 'L')) {
        dy = -1;
      }
      int lowest = -1;
      for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < kCell; ++x)
          if (p.rows[y][x] == leg) lowest = y;
      for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < kCell; ++x) {
          if (p.rows[y][x] != leg) continue;
          int tx = x + dx, ty = y + dy;
          if (tx < 0 || tx >= kCell || ty < 0 || ty >= kCell) continue;
          cell[ty * kCell + tx] = y == lowest ? bootColour : legColour;
        }
    }
    for (int y = 0; y < kCell; ++y)
      for (int x = 0; x < kCell; ++x) {
        char c = p.rows[y][x];
        if (c != 'L' && c != 'R' && c != '.') cell[y * kCell + x] = ColourOf(c, d.where);
      }
    if (mirror)
      for (int y = 0; y < kCell; ++y)
        std::reverse(cell.begin() + y * kCell, cell.begin() + (y + 1) * kCell);
    return cell;
  };

  const int first = look * 9 + (dir == "down" ? 0 : dir == "left" ? 2 : 6);
  for (int step = 0; step < 2; ++step) {
    auto put = [&](int index, bool mirror) {
      CellOrigin at = FigureCell(index);
      if (!used.insert({1, at.y * 1000 + at.x}).second) Fail(d.where, "figure cell defined twice");
      PutCell(sheet, at, frame(step, mirror));
    };
    put(first + step, false);
    if (dir == "left") put(first + 2 + step, true);
  }
}

void ArtSource::Render(Sheets& sheets, std::ostream& report) const {
  for (IndexedPicture* s : {&sheets.tiles, &sheets.sprites})
    s->palette = palette_;
  sheets.tiles.width = kTileSheetWidth;
  sheets.tiles.height = kTileSheetHeight;
  sheets.tiles.pixels.assign(static_cast<size_t>(kTileSheetWidth) * kTileSheetHeight, 0);
  sheets.sprites.width = kSpriteSheetWidth;
  sheets.sprites.height = kSpriteSheetHeight;
  sheets.sprites.pixels.assign(static_cast<size_t>(kSpriteSheetWidth) * kSpriteSheetHeight, 0);

  // Cells share space on the sprite sheet (animated pictures lie inside the object grid), so
  // every cell is claimed by its sheet position and a second claim is an error.
  std::set<std::pair<int, int>> used;
  int tiles = 0, sprites = 0;
  for (const Directive& d : directives_) {
    const auto& w = d.words;
    if (w[0] == "figure") {
      Figure(d, sheets.sprites, used);
      sprites += w[2] == "left" ? 4 : 2;
      continue;
    }
    size_t first = 2;
    CellOrigin at{};
    IndexedPicture* sheet = &sheets.sprites;
    if (w.size() < 3) Fail(d.where, "expected: " + w[0] + " NUMBER LAYER...");
    const int v = std::stoi(w[1]);
    if (w[0] == "tile") {
      if (v < 0 || v > 143) Fail(d.where, "tile values are 0 to 143");
      at = TileCell(v);
      sheet = &sheets.tiles;
    } else if (w[0] == "object") {
      if (v < 1 || v > 255) Fail(d.where, "object values are 1 to 255");
      at = ObjectCell(v);
    } else {
      if (w.size() < 4) Fail(d.where, "expected: anim VALUE PHASE LAYER...");
      const int phase = std::stoi(w[2]);
      if (v < 1 || v > 8 || v == 2 || v == 4 || phase < 0 || phase > 1)
        Fail(d.where, "animated values are 1, 3, 5 to 8; phases 0 and 1");
      at = AnimatedCell(v, phase);
      first = 3;
    }
    if (!used.insert({sheet == &sheets.tiles ? 0 : 1, at.y * 1000 + at.x}).second)
      Fail(d.where, "this cell is already taken");
    PutCell(*sheet, at, Compose(w, first, d.where));
    ++(sheet == &sheets.tiles ? tiles : sprites);
  }
  report << "sheets: " << tiles << " tile cells, " << sprites << " sprite cells, " << colours_ - 1
         << " colours\n";
}

} // namespace

Sheets BuildSheets(const std::string& dir, std::ostream& report) {
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".txt") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) throw Error("no art sources in " + dir);
  ArtSource art;
  for (const auto& f : files)
    art.Parse(ReadText(f.string()), f.filename().string());
  Sheets sheets;
  art.Render(sheets, report);
  return sheets;
}

void GenerateSheets(const std::string& artDir, const std::string& outDir, std::ostream& report) {
  Sheets sheets = BuildSheets(artDir, report);
  for (auto [picture, name] :
       {std::pair{&sheets.tiles, "deja1.kv0"}, {&sheets.sprites, "deja2.kv0"}}) {
    std::vector<uint8_t> bytes = EncodePcx(*picture);
    Scramble(bytes, kKv0Key, 0);
    WriteBytes(outDir + "/" + name, bytes);
  }
}

} // namespace datagen
