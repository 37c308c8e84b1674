// Play without a keyboard: the on-screen keyboard, touch controls and gamepads all become the key
// messages a keyboard sends, posted to the main window with soft::PostKeyMessage. The game, its
// input method and recordings then treat them as keys. Presenters post their physical keys here
// too, so the layer knows what the player uses and which input mode the game is in.
#pragma once

#include "platform/controls/onscreen_keyboard.h"

namespace controls {

enum class Source { None, Keyboard, Touch, Gamepad };

// A key of the physical keyboard, as soft::PostKeyMessage takes it.
void PostPhysicalKey(int vk, bool down, bool repeat, bool alt, int scanCode = 0);
// A key held by a touch control or a gamepad. Each source holds its own keys; a key goes down
// when the first source takes it and up when the last lets go. Repeating the same state posts
// nothing, so a source may say what it holds on every frame.
void PostHeldKey(Source source, int vk, bool down);
// A touch control or a gamepad was used, with or without a key: the keyboard may open.
void NoteUse(Source source);
Source LastSource();

// The focus went elsewhere: every key held, by any source, is let go.
void FocusLost();

// The game wants typed text (a conversation is open) or not.
void SetTextWanted(bool wanted);
bool TextWanted();
// Open while text is wanted and the player last used touch or a gamepad.
OnScreenKeyboard& Keyboard();
// A key of the on-screen keyboard pressed or released (touch, mouse or gamepad).
void PressKey(Source source, int index, bool down);

// The arrow keys a stick or a touch pad at (x, y) holds (y grows downwards, lengths up to 1):
// eight directions by angle, none inside the dead zone.
struct Direction {
  bool up = false, down = false, left = false, right = false;
  bool operator==(const Direction&) const = default;
};
Direction DirectionOf(float x, float y, float deadZone);
// Holds the arrow keys of a direction for the source, letting go of the others.
void HoldDirection(Source source, Direction direction);

// Forgets everything (tests).
void ResetControls();

} // namespace controls
