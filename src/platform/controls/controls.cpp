#include "platform/controls/controls.h"

#include "platform/platform.h"
#include "platform/substitute/win32/win_control.h"

#include <array>
#include <cmath>

namespace controls {
namespace {

constexpr int kSources = static_cast<int>(Source::Gamepad) + 1;

struct State {
  // Keys each virtual source holds (touch, gamepad); the keyboard's are the substitute's own.
  std::array<std::array<bool, 256>, kSources> held{};
  Source last = Source::None;
  bool textWanted = false;
  OnScreenKeyboard keyboard;
};

State& S() {
  static State state;
  return state;
}

void UpdateKeyboard() {
  State& s = S();
  const bool open = s.textWanted && (s.last == Source::Touch || s.last == Source::Gamepad);
  if (open == s.keyboard.IsOpen()) return;
  s.keyboard.SetOpen(open);
  // The walking controls go while the keyboard is there: a finger left on them must not hold
  // Ctrl over the letters, or walk when the talk ends. (A pad lets go of its own.)
  if (open) {
    HoldDirection(Source::Touch, {});
    PostHeldKey(Source::Touch, 'Z', false);
    PostHeldKey(Source::Touch, VK_CONTROL, false);
  }
}

void Post(int vk, bool down) {
  HWND target = soft::MainWindow();
  if (!target) return;
  S().keyboard.NoteKey(vk, down, false);
  soft::PostKeyMessage(target, vk, down, false, false);
}

} // namespace

void PostPhysicalKey(int vk, bool down, bool repeat, bool alt, int scanCode) {
  HWND target = soft::MainWindow();
  if (!target) return;
  if (down) NoteUse(Source::Keyboard);
  S().keyboard.NoteKey(vk, down, alt);
  soft::PostKeyMessage(target, vk, down, repeat, alt, scanCode);
}

void PostHeldKey(Source source, int vk, bool down) {
  State& s = S();
  auto& mine = s.held[static_cast<size_t>(source)];
  const size_t key = static_cast<size_t>(vk) & 0xFF;
  if (mine[key] == down) return;
  mine[key] = down;
  for (size_t other = 0; other < s.held.size(); ++other)
    if (other != static_cast<size_t>(source) && s.held[other][key]) return;
  Post(vk, down);
}

void NoteUse(Source source) {
  if (S().last == source) return;
  S().last = source;
  UpdateKeyboard();
}

Source LastSource() {
  return S().last;
}

void FocusLost() {
  for (auto& keys : S().held)
    keys.fill(false);
  S().keyboard.ReleaseAll();
  if (HWND target = soft::MainWindow()) soft::ReleasePostedKeys(target);
}

void SetTextWanted(bool wanted) {
  State& s = S();
  s.textWanted = wanted;
  if (wanted) {
    s.keyboard.ResetMode();
    s.keyboard.SetHighlight(0);
  }
  UpdateKeyboard();
}

bool TextWanted() {
  return S().textWanted;
}

OnScreenKeyboard& Keyboard() {
  return S().keyboard;
}

void PressKey(Source source, int index, bool down) {
  NoteUse(source);
  OnScreenKeyboard::KeyEvent events[3];
  const int n = S().keyboard.Press(index, down, events);
  for (int i = 0; i < n; ++i)
    PostHeldKey(source, events[i].vk, events[i].down);
}

Direction DirectionOf(float x, float y, float deadZone) {
  Direction d;
  // Written so that a NaN from a broken pad holds nothing.
  if (!(std::hypot(x, y) >= deadZone) || (x == 0 && y == 0)) return d;
  // Sector 0 is right, counted clockwise (y grows downwards) in eighths of a turn.
  constexpr double kEighth = 3.14159265358979323846 / 4;
  const int sector = static_cast<int>(std::lround(std::atan2(y, x) / kEighth) + 8) % 8;
  d.right = sector == 7 || sector == 0 || sector == 1;
  d.down = sector >= 1 && sector <= 3;
  d.left = sector >= 3 && sector <= 5;
  d.up = sector >= 5 && sector <= 7;
  return d;
}

void HoldDirection(Source source, Direction direction) {
  PostHeldKey(source, VK_UP, direction.up);
  PostHeldKey(source, VK_DOWN, direction.down);
  PostHeldKey(source, VK_LEFT, direction.left);
  PostHeldKey(source, VK_RIGHT, direction.right);
}

void ResetControls() {
  S() = State{};
}

} // namespace controls
