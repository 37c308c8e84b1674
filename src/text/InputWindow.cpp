#include "bitmap/QdBitmap.h"
#include "text/ConsoleWindow.h"
#include "text/HanFont.h"
#include "text/Johab.h"

#include <algorithm>

namespace {

struct TEditLayout {
  std::u16string Visible; // the committed text as drawn, with "{" restored if cut inside one
  int32_t CursorCell;     // from the start of the line
};

// An edit line longer than the window scrolls sideways: leading units are left out until the
// composition and the cursor fit, so the cursor always stays in view.
TEditLayout LayOut(std::u16string_view committed, std::u16string_view composing, int32_t column,
                   int32_t width) {
  int64_t room = int64_t(width / TConsoleWindow::CellWidth) - column;
  int64_t tail = std::max<int64_t>(composing.empty() ? 1 : 2, TextCells(composing));
  int64_t cells = TextCells(committed);
  size_t cut = 0;
  bool highlighted = false;
  while (cut < committed.size() && cells + tail > room) {
    char16_t u = committed[cut++];
    if (u == u'{')
      highlighted = true;
    else if (u == u'}')
      highlighted = false;
    else
      cells -= u >= 0x100 ? 2 : 1;
  }
  TEditLayout layout{std::u16string(committed.substr(cut)), column + static_cast<int32_t>(cells)};
  if (highlighted) layout.Visible.insert(layout.Visible.begin(), u'{');
  return layout;
}

} // namespace

TInputWindow::TInputWindow(int32_t x, int32_t y, int32_t width, int32_t height, HDC drawContext)
    : TConsoleWindow(x, y, width, height, drawContext) {
  Prompt();
}

TInputWindow::TInputWindow(int32_t x, int32_t y, std::unique_ptr<TQdBitmap> bitmap, HDC drawContext)
    : TConsoleWindow(x, y, std::move(bitmap), drawContext) {
  Prompt();
}

void TInputWindow::Prompt() {
  TextColour = PromptColour;
  Write(u">");
}

void TInputWindow::SetEditText(std::u16string_view committed, std::u16string_view composing) {
  HideCursor();
  const int32_t w = WindowWidth();
  const int32_t x = Column * CellWidth, y = Row * LineHeight;
  if (Bitmap) {
    Bitmap->FillRect(BackColour, Bounds(x, y, w, LineHeight));
    TEditLayout layout = LayOut(committed, composing, Column, w);
    HanFont.DrawText(*Bitmap, x, y, layout.Visible, TextColour);
    if (!composing.empty())
      HanFont.DrawText(*Bitmap, layout.CursorCell * CellWidth, y, composing, TextColour);
  }
  Committed = committed;
  Composing = composing;
  ShowCursor();
}

void TInputWindow::WriteLine(std::u16string_view text) {
  HideCursor();
  TConsoleWindow::WriteLine(text);
  if (text.empty()) {
    Committed.clear();
    Composing.clear();
  }
  Write(u">");
  ShowCursor();
}

void TInputWindow::ShowCursor() {
  if (CursorShown) return;
  CursorShown = true;
  int32_t cell = LayOut(Committed, Composing, Column, WindowWidth()).CursorCell;
  CursorRect = Bounds(cell * CellWidth, Row * LineHeight + 14, Composing.empty() ? 8 : 16, 2);
  if (Bitmap) Bitmap->XorRect(0xFFFFFFFF, CursorRect);
  Draw();
}

void TInputWindow::HideCursor() {
  if (!CursorShown) return;
  CursorShown = false;
  if (Bitmap) Bitmap->XorRect(0xFFFFFFFF, CursorRect);
  Draw();
}

void TInputWindow::BlinkCursor() {
  if (CursorShown)
    HideCursor();
  else
    ShowCursor();
}
