// Shows the game in the page's canvas (Emscripten): keys from the page's physical key events,
// a fixed 60 Hz pace, and yielding to the browser while the game's loop waits.
#pragma once

#include "platform/controls/controls.h"
#include "platform/controls/gamepad.h"
#include "platform/headless/headless_presenter.h"
#include "platform/presenter.h"
#include "platform/substitute/device/soft_display.h"

#include <memory>
#include <vector>

namespace web {

// The page's canvas: each picture handed over as RGBA bytes, the changed rows only.
class PageCanvas {
public:
  void Show(const uint32_t* pixels, int width, int height, int pitchPixels, double flips);

private:
  int width_ = 0, height_ = 0;
  std::vector<uint8_t> rgba_;
  std::vector<uint32_t> last_; // the picture shown, as the game gave it
};

class WebPresenter : public soft::Presenter {
public:
  explicit WebPresenter(bool scripted) : scripted_(scripted) {}
  void Present(const uint32_t* pixels, int width, int height, int pitchPixels) override;
  DWORD Now() override;
  void Pump() override;
  bool WaitForInput() override;
  void CursorVisible(bool visible) override;
  void ShowMessage(const char* caption, const char* text) override;
  void MirrorText(bool inputLine, std::u16string_view text) override;

private:
  void TakeControls();
  void ShowKeyboard();

  bool scripted_;
  double start_ = 0, nextTick_ = 0;
  bool leftAlt_ = false;
  controls::Gamepad gamepad_;
  bool layoutSent_ = false;
  uint32_t keyboardShown_ = ~0u; // the keyboard's version the page shows
  controls::Source sourceShown_ = controls::Source::None;
  PageCanvas canvas_;
};

// Headless on the virtual clock, as on the desktop, but handing the browser its turn now and
// then so the page stays alive and shows progress.
class WebHeadlessPresenter : public soft::HeadlessPresenter {
public:
  void Present(const uint32_t* pixels, int width, int height, int pitchPixels) override;

private:
  PageCanvas canvas_;
};

std::unique_ptr<soft::Presenter> OpenPresenter(const PresenterOptions& options);

} // namespace web
