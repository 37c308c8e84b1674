#include "text/ConsoleWindow.h"

#include "bitmap/QdBitmap.h"
#include "bitmap/SurfaceBitmap.h"
#include "display/UDxDraw.h"
#include "text/HanFont.h"
#include "text/Johab.h"

#include <algorithm>

namespace {

bool IsBrace(char16_t u) {
  return u == u'{' || u == u'}';
}

} // namespace

TConsoleWindow::TConsoleWindow(int32_t x, int32_t y, int32_t width, int32_t height, HDC drawContext)
    : TConsoleWindow(x, y,
                     std::make_unique<TD3DBitmap>(
                         width, height, 32, FrameBuffer ? FrameBuffer->DirectDraw.Get() : nullptr),
                     drawContext) {}

TConsoleWindow::TConsoleWindow(int32_t x, int32_t y, std::unique_ptr<TQdBitmap> bitmap,
                               HDC drawContext)
    : DrawContext(drawContext), Position{x, y}, Bitmap(std::move(bitmap)) {
  Clear();
}

TConsoleWindow::~TConsoleWindow() = default;

int32_t TConsoleWindow::WindowWidth() const {
  return Bitmap ? Bitmap->Width : 0;
}
int32_t TConsoleWindow::WindowHeight() const {
  return Bitmap ? Bitmap->Height : 0;
}

void TConsoleWindow::WriteLine(std::u16string_view text) {
  if (!text.empty()) WriteWrapped(text);
  NewLine();
}

void TConsoleWindow::WriteWrapped(std::u16string_view text) {
  const int64_t w = WindowWidth();
  // The rest of the text is buffer[start, end) with restCells cells. Taking a line moves start
  // on, and a carried "{" goes into the place the line freed, so a line never costs a copy or a
  // count of everything after it: a long text in a narrow window stays linear.
  std::u16string buffer(text);
  size_t start = 0, end = buffer.size();
  int64_t restCells = TextCells(buffer);
  while (restCells > 0) {
    const std::u16string_view rest(buffer.data() + start, end - start);
    size_t p = rest.size();
    if ((restCells + Column) * CellWidth > w) {
      // Braces count a cell here although they are not drawn.
      p = 0;
      int64_t wide = 0;
      for (; p < rest.size(); ++p) {
        int64_t cellEnd = int64_t(Column) + int64_t(p) + 1 + wide;
        if (rest[p] >= 0x100) {
          if ((cellEnd + 1) * CellWidth > w) break;
          ++wide;
        } else if (cellEnd * CellWidth > w) {
          break;
        }
      }
      // A line start must take at least one character, or a window narrower than that character
      // (or a run of braces wider than the window) would never get through the text.
      if (Column == 0) {
        size_t firstGlyph = 0;
        while (firstGlyph < rest.size() && IsBrace(rest[firstGlyph]))
          ++firstGlyph;
        p = std::max(p, std::min(firstGlyph + 1, rest.size()));
      }
    }
    std::u16string line(rest.substr(0, p));
    restCells -= TextCells(line);
    start += p;
    if (p < rest.size()) {
      const size_t limit = std::min(end, start + MaxRest);
      restCells -= TextCells(std::u16string_view(buffer).substr(limit, end - limit));
      end = limit;
    }
    if (Column == 0) line.erase(0, std::min(line.find_first_not_of(u' '), line.size()));
    if (start < end) {
      size_t keep = line.find_last_not_of(u' ');
      line.erase(keep == std::u16string::npos ? 0 : keep + 1);
      PutText(line, true);
      // A highlighted word broken over the line end stays highlighted on the next line. The
      // line took at least one unit whenever it holds a brace, so there is room before start.
      if (!IsBalanced(line, u'{', u'}')) buffer[--start] = u'{';
      NewLine();
    } else {
      PutText(line, false);
    }
  }
}

void TConsoleWindow::PutText(std::u16string_view text, bool justify) {
  if (Bitmap) {
    int32_t x = Column * CellWidth, y = Row * LineHeight;
    if (justify)
      HanFont.DrawTextJustified(*Bitmap, x, y, text, TextColour);
    else
      HanFont.DrawText(*Bitmap, x, y, text, TextColour);
  }
  Column += TextCells(text);
}

void TConsoleWindow::NewLine() {
  ++Row;
  Column = 0;
  const int32_t h = WindowHeight();
  if (int64_t(Row + 1) * LineHeight <= h) return;
  const int32_t w = WindowWidth();
  if (Bitmap && Row > 1)
    Bitmap->Draw(Bounds(0, 0, w, (Row - 1) * LineHeight), *Bitmap,
                 Bounds(0, LineHeight, w, (Row - 1) * LineHeight), false);
  --Row;
  if (Bitmap)
    Bitmap->FillRect(BackColour, Bounds(Column * CellWidth, Row * LineHeight, w, LineHeight));
}

void TConsoleWindow::Clear() {
  if (Bitmap) Bitmap->FillRect(BackColour, Bounds(0, 0, Bitmap->Width, Bitmap->Height));
}

void TConsoleWindow::ReleaseBitmap() {
  if (Bitmap) Bitmap->FreeImage();
}

void TConsoleWindow::Draw() {
  // The texture's own alpha makes the background translucent and the text opaque.
  if (Bitmap) Bitmap->DrawToScreen(DrawContext, Position.x, Position.y, 255);
}
