// UQdJPEG's surface loader: a JPEG picture into an off-screen DirectDraw surface in the display's
// pixel format, ready to be copied to the back buffer.
#pragma once

#include "platform/platform.h"

#include <string>

// Loads Name + ".jpg" from the current directory. When the file cannot be loaded, Surface and
// Size stay exactly as the caller set them; otherwise Size gets the picture's size and Surface the
// new surface, or nothing when none could be made and filled.
void LoadJpegSurface(IDirectDraw7* directDraw, ComRef<IDirectDrawSurface7>& surface, POINT& size,
                     const std::string& name);

// An off-screen plain surface in the display's format whose pixel value 0 is the transparent
// source colour key. Surface is empty on failure.
void CreatePlainSurface(IDirectDraw7* directDraw, int width, int height, bool systemMemory,
                        ComRef<IDirectDrawSurface7>& surface);
