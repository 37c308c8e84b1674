// Program entry: command line, platform start, window, message loop, orderly end.
#pragma once

#include "app/GameBase.h"
#include "app/RunControl.h"
#include "app/Screen.h"

#include <functional>
#include <memory>

constexpr UINT FrameMessage = WM_USER + 100;
constexpr const char* kWindowClass = "__Kestrove__";
constexpr const char* kWindowTitle = "Kestrove soft";

extern TGameBase* GameMain;

class TSessionRecorder;

using GameFactory = std::function<TGameBase*(HWND window, HDC drawContext)>;

// Start-up, message loop and orderly end around the game that factory makes. Returns the exit
// code (the WM_QUIT code, or non-zero when the display could not be set up). A recorder is told
// of every message taken from the queue and every frame.
int RunProgram(const GameFactory& factory, TRunControl* control,
               TSessionRecorder* recorder = nullptr);

// The whole program with its command line.
int KestroveMain(int argc, char** argv);
