// Windows only: what a scripted run needs from the real system that it does not give by itself.
//
// Real Windows treats posted key messages as plain messages, not as input: taking one from the
// queue changes neither the key state GetAsyncKeyState reports nor the one TranslateMessage reads,
// and the WM_CHAR that TranslateMessage makes of it is queued behind everything posted after the
// key. A script posts its keys, so while a script runs, the calls below stand in for the system's
// under their SDK names (platform.h maps the names; game code keeps the SDK spelling). They give
// posted keys what typed keys have: the key state changes when the key's message is taken from
// the queue, the character of a key is the very next message, and the characters follow the US
// layout. Time is virtual too: timeGetTime is 10000 + n * 1000 div 60 ms after the n-th flip, so
// a scripted run repeats exactly and matches the same script run headless on Linux.
//
// Outside scripted runs every call goes straight to the system.
#pragma once

// Every SDK header that declares one of the names mapped at the end comes first.
#include <windows.h>

#include <mmsystem.h>

namespace native {

// Scripted input and the virtual clock, from now on; off again at StopPresenter.
void SetScriptedRun(bool on);
bool ScriptedRun();

// Called by the frame buffer after every Flip with whether it succeeded: keeps the fixed 60 Hz
// pace (a real Flip may wait for a faster display, or under Wine not at all) and counts
// presented flips for the virtual clock.
void AfterFlip(bool presented);

} // namespace native

BOOL WINAPI KestrovePeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax,
                                 UINT removeMsg);
BOOL WINAPI KestroveGetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL WINAPI KestroveTranslateMessage(const MSG* msg);
SHORT WINAPI KestroveGetAsyncKeyState(int vKey);
DWORD WINAPI KestroveTimeGetTime();

#ifndef KESTROVE_NATIVE_INPUT_IMPL
#define PeekMessageA KestrovePeekMessageA
#define GetMessageA KestroveGetMessageA
#define TranslateMessage KestroveTranslateMessage
#define GetAsyncKeyState KestroveGetAsyncKeyState
#define timeGetTime KestroveTimeGetTime
#endif
