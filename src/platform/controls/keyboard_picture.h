// The on-screen keyboard drawn over the game's picture, where the world view is (it does not move
// during a talk), below the console and the input window, which stay in sight. Presenters draw it
// into what they show, never into the game's own picture, so screenshots stay the game's.
#pragma once

#include <cstdint>

namespace controls {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
};

// The keyboard on a 640 x 480 picture, and one key in it.
Box KeyboardBox();
Box KeyBox(int index);
// The key under a point of the picture, or -1.
int KeyAt(int x, int y);

// Draws the keyboard as it is now over pixels (0xXXRRGGBB, rows top-down) of a 640 x 480
// picture, blending its background so the world shows through. Captions need the program's
// font (SetTextPainter); without it keys show none.
void DrawKeyboard(uint32_t* pixels, int pitchPixels);

} // namespace controls
