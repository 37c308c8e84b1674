#include "platform/controls/keyboard_picture.h"

#include "platform/controls/controls.h"
#include "platform/platform.h"

namespace controls {
namespace {

// The world view is at (8, 8), 360 x 456; the keyboard fills its lower part.
constexpr int kLeft = 8, kWidth = 360, kRowHeight = 40, kBottom = 8 + 456;
constexpr int kUnit = kWidth / kKeyboardUnits, kGap = 2;

constexpr uint32_t kShade = 0x101828, kKeyFace = 0x2C3A58, kKeyHighlight = 0xE0B040,
                   kLabel = 0xFFFFFF, kLabelHighlight = 0x101828, kShiftOn = 0x4878C0;

TextPainter g_painter = nullptr;

uint32_t Blend(uint32_t under, uint32_t over) { // three quarters over
  auto mix = [&](int shift) {
    const uint32_t a = (under >> shift) & 0xFF, b = (over >> shift) & 0xFF;
    return ((a + 3 * b) / 4) << shift;
  };
  return mix(16) | mix(8) | mix(0);
}

void Fill(uint32_t* pixels, int pitch, const Box& b, uint32_t colour) {
  for (int y = b.y; y < b.y + b.height; ++y)
    for (int x = b.x; x < b.x + b.width; ++x)
      pixels[static_cast<size_t>(y) * pitch + x] = colour;
}

} // namespace

Box KeyboardBox() {
  return {kLeft, kBottom - kKeyboardRows * kRowHeight, kWidth, kKeyboardRows * kRowHeight};
}

Box KeyBox(int index) {
  const KeyCap& k = Key(index);
  const Box all = KeyboardBox();
  return {all.x + k.x * kUnit + kGap, all.y + k.row * kRowHeight + kGap, k.width * kUnit - 2 * kGap,
          kRowHeight - 2 * kGap};
}

int KeyAt(int x, int y) {
  for (int i = 0; i < KeyCount(); ++i)
    if (KeyBox(i).Contains(x, y)) return i;
  return -1;
}

void DrawKeyboard(uint32_t* pixels, int pitch) {
  const OnScreenKeyboard& kb = Keyboard();
  const Box all = KeyboardBox();
  for (int y = all.y; y < all.y + all.height; ++y)
    for (int x = all.x; x < all.x + all.width; ++x) {
      uint32_t& p = pixels[static_cast<size_t>(y) * pitch + x];
      p = Blend(p, kShade);
    }
  for (int i = 0; i < KeyCount(); ++i) {
    const Box box = KeyBox(i);
    const bool highlighted = i == kb.Highlight();
    const bool shiftOn = Key(i).kind == KeyKind::Shift && kb.Shifted();
    Fill(pixels, pitch, box, highlighted ? kKeyHighlight : shiftOn ? kShiftOn : kKeyFace);
    if (g_painter)
      g_painter(pixels, pitch, box.x, box.y, box.width, box.height,
                KeyCaption(i, kb.Hangul(), kb.Shifted()), highlighted ? kLabelHighlight : kLabel);
  }
}

} // namespace controls

void SetTextPainter(TextPainter painter) {
  controls::g_painter = painter;
}
