// Program entry: command line, platform start, window, message loop, orderly end.
#pragma once

#include "app/GameBase.h"

#include <functional>
#include <memory>

constexpr UINT FrameMessage = WM_USER + 100;
constexpr const char* kWindowClass = "__Kestrove__";
constexpr const char* kWindowTitle = "Kestrove soft";
constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;

extern TGameBase* GameMain;

// The screen position of the window's client area: a full-screen pop-up sits at the origin.
POINT WindowOrigin(HWND window);

// What drives a run besides the player: scripted input, a frame limit. Called on the main thread.
class TRunControl {
public:
  virtual ~TRunControl() = default;
  // After the game exists, before the first frame.
  virtual void Start(HWND window) = 0;
  // After every frame.
  virtual void AfterFrame() = 0;
  // A private message this control posted to itself has come out of the queue.
  virtual void Deliver(WPARAM item) = 0;
};
constexpr UINT RunControlMessage = 0x8000 + 1; // WM_APP + 1

class TSessionRecorder;

using GameFactory = std::function<TGameBase*(HWND window, HDC drawContext)>;

// Start-up, message loop and orderly end around the game that factory makes. Returns the exit
// code (the WM_QUIT code, or non-zero when the display could not be set up). A recorder is told
// of every message taken from the queue and every frame.
int RunProgram(const GameFactory& factory, TRunControl* control,
               TSessionRecorder* recorder = nullptr);

// The whole program with its command line.
int KestroveMain(int argc, char** argv);
