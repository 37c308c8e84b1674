// The game: the world, the two text windows and the input method, one step per frame message,
// and the conversations.
#pragma once

#include "app/GameBase.h"
#include "app/Screen.h"

#include <cstdint>
#include <memory>
#include <string_view>

class TWorldView;
class TConsoleWindow;
class TInputWindow;
class TQdIme;

// Screen layout, built once.
constexpr int32_t ViewLeft = 8, ViewTop = 8, ViewWidth = 360, ViewHeight = 456;
constexpr int32_t ConsoleLeft = ViewWidth + 16;
constexpr int32_t ConsoleTop = 8, ConsoleHeight = 384;
constexpr int32_t ConsoleWidth = (ScreenWidth - ConsoleLeft - 16) / 8 * 8;
constexpr int32_t InputTop = ConsoleTop + ConsoleHeight + 8, InputHeight = 80;

class TGameMain : public TGameBase {
public:
  TGameMain(HWND window, HDC drawContext);
  ~TGameMain() override;

  void KeyChar(uint16_t key) override;
  void KeyUp(uint16_t key) override;
  void Update() override;
  bool Frame() override;
  void Shutdown() override;

  void Render();
  void DrawWorld(int32_t centerX, int32_t centerY);
  void DrawWorldAndRender(int32_t centerX, int32_t centerY);
  void ShowMessage(uint32_t colour, std::u16string_view text);
  void ShowInput(uint32_t colour, std::u16string_view committed, std::u16string_view composing);

  void StartConversation(int32_t partnerNo);
  void Talk(int32_t partnerNo, std::u16string_view text);
  void EndConversation(int32_t partnerNo);

  bool Talking = false;
  bool WindowsVisible = false;
};

// The game's module-level state; one of each.
extern std::unique_ptr<TWorldView> WorldView;
extern std::unique_ptr<TConsoleWindow> ConsoleWindow;
extern std::unique_ptr<TInputWindow> InputWindow;
extern std::unique_ptr<TQdIme> Ime;
extern ComRef<IDirectDrawSurface7> Background;
extern POINT BackgroundSize;
extern uint32_t FrameTime, RateStart, RenderTime, RenderCount, FrameRate, LastBlink;
extern int32_t Partner;
