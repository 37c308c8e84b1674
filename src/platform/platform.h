// The one platform header game code includes: the real Windows SDK on Windows, our substitute
// elsewhere. Game code never knows which it got.
#pragma once

#ifdef _WIN32
#include <d3d.h>
#include <ddraw.h>
#include <imm.h>
#include <mmsystem.h>
#include <windows.h>

// The font's DrawText is ours; windows.h would rename it to its ANSI GDI call.
#undef DrawText

#include "platform/windows/native_input.h"

// Real DirectDraw compares only a pixel's colour bits with the key, so alpha bits in the key
// would make it match nothing; without them it matches the same opaque pixels.
inline HRESULT SetSourceColorKey(IDirectDrawSurface7* surface, DWORD colour) {
  DDCOLORKEY key{colour, colour};
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  if (surface->GetPixelFormat(&format) == DD_OK && (format.dwFlags & DDPF_RGB)) {
    const DWORD colourBits = format.dwRBitMask | format.dwGBitMask | format.dwBBitMask;
    key.dwColorSpaceLowValue &= colourBits;
    key.dwColorSpaceHighValue &= colourBits;
  }
  return surface->SetColorKey(DDCKEY_SRCBLT, &key);
}
#else
#include "platform/substitute/ddraw/d3d_subset.h"
#include "platform/substitute/ddraw/ddraw_subset.h"
#include "platform/substitute/win32/windows_subset.h"

// The substitute compares the whole pixel value with the key, alpha included.
inline HRESULT SetSourceColorKey(IDirectDrawSurface7* surface, DWORD colour) {
  DDCOLORKEY key{colour, colour};
  return surface->SetColorKey(DDCKEY_SRCBLT, &key);
}
#endif

#include <cstdint>
#include <string_view>

#include "platform/com_ref.h"
#include "platform/platform_messages.h"

// The platform's own drawing (the on-screen keyboard) in the game's font, which the program
// lends it: text centred in a box of 0xXXRRGGBB pixels, rows top-down.
using TextPainter = void (*)(uint32_t* pixels, int pitchPixels, int x, int y, int width, int height,
                             std::u16string_view text, uint32_t colour);
// SetTextInput: the game wants typed text (a conversation opened) or no longer (it ended);
// on-screen keyboards open and close with it, as SDL_StartTextInput and SDL_StopTextInput do.
// The Windows program is keyboard-only and has neither.
// MirrorText: a line the console shows, or the input line as it now reads, for a screen reader
// (the page's live region); braces of highlighted words included.
#ifdef _WIN32
inline void SetTextInput(bool) {}
inline void SetTextPainter(TextPainter) {}
inline void MirrorText(bool, std::u16string_view) {}
#else
void SetTextInput(bool wanted);
void SetTextPainter(TextPainter painter);
void MirrorText(bool inputLine, std::u16string_view text);
#endif

// Called by the frame buffer after every Flip. On Windows it keeps the fixed 60 Hz pace and the
// virtual clock of scripted runs; the substitute's presenters do both themselves.
inline void AfterFlip([[maybe_unused]] bool presented) {
#ifdef _WIN32
  native::AfterFlip(presented);
#endif
}
