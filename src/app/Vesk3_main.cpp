#include "app/Vesk3_main.h"

#include "app/Dialogue.h"
#include "app/Screen.h"
#include "app/Transcript.h"
#include "display/UDxDraw.h"
#include "resource/QdJpegSurface.h"
#include "text/ConsoleWindow.h"
#include "text/HanFont.h"
#include "text/QdIme.h"
#include "world/Vesk3_chara.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_obj.h"
#include "world/Vesk3_world.h"
#include "world/WorldDraw.h"

#include <string>

std::unique_ptr<TWorldView> WorldView;
std::unique_ptr<TConsoleWindow> ConsoleWindow;
std::unique_ptr<TInputWindow> InputWindow;
std::unique_ptr<TQdIme> Ime;
ComRef<IDirectDrawSurface7> Background;
POINT BackgroundSize{0, 0};
uint32_t FrameTime = 0, RateStart = 0, RenderTime = 0, RenderCount = 0, FrameRate = 0,
         LastBlink = 0;
int32_t Partner = 0;

namespace {

std::u16string Decimal(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

// Draws a figure in white with a black shadow one pixel right and down.
void DrawFigure(TQdBitmap& bitmap, int32_t x, int32_t y, int64_t value) {
  std::u16string text = Decimal(value);
  HanFont.DrawText(bitmap, x + 1, y + 1, text, 0xFF000000);
  HanFont.DrawText(bitmap, x, y, text, 0xFFFFFFFF);
}

} // namespace

TGameMain::TGameMain(HWND window, HDC drawContext) : TGameBase(window, drawContext) {
  Talking = false;
  FrameTime = RateStart = RenderTime = RenderCount = FrameRate = LastBlink = 0;
  Partner = 0;

  BackgroundSize = {ScreenWidth, ScreenHeight};
  LoadJpegSurface(FrameBuffer->DirectDraw.Get(), Background, BackgroundSize, "bg_image");
  WorldView = std::make_unique<TWorldView>(ViewLeft, ViewTop, ViewWidth, ViewHeight, DrawContext);
  ConsoleWindow = std::make_unique<TConsoleWindow>(ConsoleLeft, ConsoleTop, ConsoleWidth,
                                                   ConsoleHeight, DrawContext);
  InputWindow =
      std::make_unique<TInputWindow>(ConsoleLeft, InputTop, ConsoleWidth, InputHeight, DrawContext);
  WorldMap = std::make_unique<TWorldMap>("H3.MAF");
  WorldMap->SetTile(2, 10, 8, 1);

  for (auto& slot : Objects)
    slot.reset();
  Objects[0] = std::make_unique<TMainCharacter>(0, 0, 400, 370);
  Objects[1] = std::make_unique<TCharacter>(1, 1, 296, 628);
  Objects[2] = std::make_unique<TCharacter>(2, 2, 604, 362);
  ConversationStarter = [this](int32_t partnerNo) { StartConversation(partnerNo); };

  Ime = std::make_unique<TQdIme>();
  WindowsVisible = true;
  DrawWorld(Objects[0]->X, Objects[0]->Y);
}

TGameMain::~TGameMain() {
  // What the game's module owns goes when the program's modules end.
  ConversationStarter = nullptr;
  for (auto& slot : Objects)
    slot.reset();
  WorldMap.reset();
  WorldView.reset();
  ConsoleWindow.reset();
  InputWindow.reset();
  Ime.reset();
  Background.Reset();
}

bool TGameMain::Frame() {
  FrameTime = timeGetTime();
  Update();
  Render();
  return true;
}

void TGameMain::Update() {
  if (Talking && FrameTime - LastBlink > 300) {
    InputWindow->BlinkCursor();
    LastBlink = FrameTime;
  }
  // The player stands still while talking; projectiles and the others go on.
  for (int32_t i = Talking ? 1 : 0; i < ObjectSlotCount; ++i)
    if (Objects[i] && !Objects[i]->Update()) Objects[i].reset();
  if (Objects[0]) DrawWorldAndRender(Objects[0]->X, Objects[0]->Y);
}

void TGameMain::Render() {
  IDirectDrawSurface7* back = FrameBuffer->BackBuffer.Get();
  if (Background) {
    // A picture of another size is clipped to the screen, and the screen cleared around a
    // smaller one, rather than refused or left over from the last frame.
    const LONG w = std::min<LONG>(BackgroundSize.x, ScreenWidth);
    const LONG h = std::min<LONG>(BackgroundSize.y, ScreenHeight);
    if (w < ScreenWidth || h < ScreenHeight) FrameBuffer->Clear(0xFF000000);
    RECT source{0, 0, w, h};
    back->BltFast(0, 0, Background.Get(), &source, 0);
  } else {
    FrameBuffer->Clear(0xFF000000);
  }

  if (RateStart == 0) RateStart = FrameTime;
  RenderCount += 1;
  RenderTime = FrameTime;
  // The difference, not a sum, so the measure survives the clock's wrap at 2^32 ms.
  if (RenderTime - RateStart > 1000) {
    FrameRate = RenderCount * 1000 / (RenderTime - RateStart);
    RateStart = RenderTime;
    RenderCount = 0;
  }

  if (TQdBitmap* layer = WorldView->Layers[0].Bitmap.get()) {
    DrawFigure(*layer, 4, 4, FrameRate);
    if (Objects[0]) {
      DrawFigure(*layer, 4, 24, Objects[0]->X);
      DrawFigure(*layer, 4, 44, Objects[0]->Y);
    }
  }
  WorldView->Present();
  if (WindowsVisible) {
    ConsoleWindow->Draw();
    InputWindow->Draw();
  }
  POINT origin = WindowOrigin(Window);
  FrameBuffer->Flip(origin.x, origin.y);
}

void TGameMain::DrawWorld(int32_t centerX, int32_t centerY) {
  ::DrawWorld(*WorldView, *WorldMap, centerX, centerY, RenderTime);
}

void TGameMain::DrawWorldAndRender(int32_t centerX, int32_t centerY) {
  DrawWorld(centerX, centerY);
  Render();
}

void TGameMain::KeyChar(uint16_t key) {
  if (!Talking) {
    if (key == 27) PostMessageA(Window, WM_CLOSE, 0, 0);
    return;
  }
  if (key == 21) {
    Ime->HangulMode = Ime->HangulMode ? 0 : 1;
  } else if (key == 27) {
    InputWindow->WriteLine(u"");
    Talk(0, u"");
    Ime->Reset();
  } else if (key == 13) {
    InputWindow->WriteLine(u"");
    std::u16string line = Ime->Committed + Ime->Composing;
    Talk(0, line);
    Ime->Reset();
  } else if (key == 8 || (key >= 32 && key <= 127)) {
    // The physical Shift key, not Caps Lock, picks plain or doubled consonants.
    const bool shift = (static_cast<uint16_t>(GetAsyncKeyState(VK_SHIFT)) & 0xFF00) != 0;
    if (shift) {
      if (Ime->HangulMode && key >= 97 && key <= 122) key = static_cast<uint16_t>(key - 32);
    } else {
      if (Ime->HangulMode && key >= 65 && key <= 90) key = static_cast<uint16_t>(key + 32);
    }
    Ime->KeyIn(static_cast<char16_t>(key), shift);
    ShowInput(0, Ime->Committed, Ime->Composing);
  }
}

void TGameMain::KeyUp(uint16_t) {}

void TGameMain::ShowMessage(uint32_t colour, std::u16string_view text) {
  ConsoleWindow->TextColour = colour ? colour : 0xFFFFFFFF;
  ConsoleWindow->WriteLine(text);
  transcript::Write(text);
  MirrorText(false, text);
  Render();
}

void TGameMain::ShowInput(uint32_t colour, std::u16string_view committed,
                          std::u16string_view composing) {
  if (!Talking) return;
  InputWindow->TextColour = colour ? colour : 0xFFD0B0FF;
  InputWindow->SetEditText(committed, composing);
  MirrorText(true, std::u16string(committed) + std::u16string(composing));
  Render();
}

void TGameMain::StartConversation(int32_t partnerNo) {
  Talking = true;
  SetTextInput(true);
  Ime->Reset();
  Talk(partnerNo, u"안녕");
}

void TGameMain::Talk(int32_t partnerNo, std::u16string_view text) {
  if (partnerNo == 0) partnerNo = Partner;
  Partner = partnerNo;
  transcript::Write(u"> " + std::u16string(text));
  dialogue::TReply reply = dialogue::Reply(partnerNo, dialogue::Normalise(text));
  for (const std::u16string& line : reply.lines)
    ShowMessage(0, line);
  if (reply.ends) EndConversation(partnerNo);
  if (reply.unknownPartner) {
    Talking = false;
    SetTextInput(false);
    InputWindow->HideCursor();
  }
  ShowMessage(0, u"");
}

void TGameMain::EndConversation(int32_t partnerNo) {
  ShowInput(0, u"", u"");
  InputWindow->HideCursor();
  if (partnerNo >= 0 && partnerNo < ObjectSlotCount)
    if (auto* partner = dynamic_cast<TCharacter*>(Objects[partnerNo].get())) partner->SwapFacing();
  Talking = false;
  SetTextInput(false);
}

void TGameMain::Shutdown() {
  Ime->Release();
  for (auto& slot : Objects)
    slot.reset();
  WorldMap->FreeLayers();
  InputWindow->ReleaseBitmap();
  ConsoleWindow->ReleaseBitmap();
  WorldView->ReleaseBitmaps();
}
