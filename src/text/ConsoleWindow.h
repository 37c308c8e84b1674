// Text windows drawn over the game: the console where the characters answer, wrapping at any
// character and scrolling line by line, and the input window with the player's edit line.
#pragma once

#include "bitmap/QdGeometry.h"
#include "platform/platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TQdBitmap;

class TConsoleWindow {
public:
  static constexpr int32_t CellWidth = 8;
  static constexpr int32_t LineHeight = 16;
  static constexpr size_t MaxRest = 60000;

  // The game's window: a texture bitmap on the frame buffer's device, cleared.
  TConsoleWindow(int32_t x, int32_t y, int32_t width, int32_t height, HDC drawContext);
  // Draws into the given bitmap (32 bits per pixel) instead, and clears it.
  TConsoleWindow(int32_t x, int32_t y, std::unique_ptr<TQdBitmap> bitmap, HDC drawContext);
  virtual ~TConsoleWindow();
  TConsoleWindow(const TConsoleWindow&) = delete;
  TConsoleWindow& operator=(const TConsoleWindow&) = delete;

  virtual void WriteLine(std::u16string_view text);
  void Write(std::u16string_view text) { WriteWrapped(text); }
  void WriteWrapped(std::u16string_view text);
  void PutText(std::u16string_view text, bool justify);
  void NewLine();
  void Clear();
  void ReleaseBitmap();
  // Shows the window's bitmap on the screen at its position.
  void Draw();

  HDC DrawContext = nullptr;
  TPoint Position;
  std::unique_ptr<TQdBitmap> Bitmap;
  uint32_t TextColour = 0xFFFFFFFF;
  uint32_t BackColour = 0xB0001010;
  int32_t Column = 0;
  int32_t Row = 0;

protected:
  int32_t WindowWidth() const;
  int32_t WindowHeight() const;
};

class TInputWindow : public TConsoleWindow {
public:
  static constexpr uint32_t PromptColour = 0xFFD0B0FF;

  TInputWindow(int32_t x, int32_t y, int32_t width, int32_t height, HDC drawContext);
  TInputWindow(int32_t x, int32_t y, std::unique_ptr<TQdBitmap> bitmap, HDC drawContext);

  void WriteLine(std::u16string_view text) override;
  void SetEditText(std::u16string_view committed, std::u16string_view composing);
  void ShowCursor();
  void HideCursor();
  void BlinkCursor();

  bool CursorShown = false;
  std::u16string Committed;
  std::u16string Composing;

private:
  void Prompt();
  // Where the cursor was inverted, so hiding it restores exactly those pixels.
  TRect CursorRect;
};
