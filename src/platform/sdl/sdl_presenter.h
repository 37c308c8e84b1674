// Shows the game in an SDL2 window: full-screen on the desktop with integer scaling and black
// borders, or a plain window; turns physical keys into Windows key messages.
#pragma once

#include "platform/controls/gamepad.h"
#include "platform/presenter.h"
#include "platform/substitute/device/soft_display.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;
struct SDL_Surface;
struct SDL_Rect;
struct _SDL_GameController;
union SDL_Event;

namespace soft {

class WindowSettingsFile;

class SdlPresenter : public Presenter {
public:
  static std::unique_ptr<SdlPresenter> Open(const PresenterOptions& options, std::string& error);
  ~SdlPresenter() override;
  // Starts from the settings in `file` where the command line chose nothing, and keeps the
  // player's Alt+Enter there. Before the window is created.
  void RememberIn(std::unique_ptr<WindowSettingsFile> file);

  void Present(const uint32_t* pixels, int width, int height, int pitchPixels) override;
  DWORD Now() override;
  void Pump() override;
  bool WaitForInput() override;
  void WindowCreated(HWND hwnd, const char* title) override;
  void WindowShown(HWND hwnd) override;
  void WindowDestroyed(HWND hwnd) override;
  void CursorVisible(bool visible) override;
  void ShowMessage(const char* caption, const char* text) override;

private:
  explicit SdlPresenter(const PresenterOptions& options);
  void KeepChanges(const uint32_t* pixels, int pitchPixels);
  void Draw();
  void CopyScaled(SDL_Surface* screen, const SDL_Rect& to, int originX, int originY, int scale);
  void WaitForTick();
  void SetFullScreen(bool on);
  void ToggleFullScreen();
  void Screenshot();
  void ShowControls();
  const uint32_t* Shown() const { return keyboardShown_ ? composed_.get() : frame_.get(); }
  void PadChanged(const SDL_Event& e);
  void PollPads();
  void Click(int windowX, int windowY, bool down);

  PresenterOptions options_;
  bool fullScreen_;
  HWND hwnd_ = nullptr;
  SDL_Window* window_ = nullptr;
  int width_ = 640, height_ = 480;
  std::unique_ptr<uint32_t[]> frame_; // the last picture presented
  SDL_Surface* source_ = nullptr;     // frame_, as SDL sees it
  // frame_ with the on-screen keyboard over it, while that is open; screenshots take frame_.
  std::unique_ptr<uint32_t[]> composed_;
  SDL_Surface* composedSource_ = nullptr;
  bool keyboardShown_ = false;
  uint32_t keyboardVersion_ = 0;
  int keyPressed_ = -1; // held by the mouse (or a finger, which SDL makes a mouse)
  std::vector<_SDL_GameController*> pads_;
  controls::Gamepad gamepad_;
  struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return left >= right; }
    // Grows to hold the rectangle too.
    void Add(int l, int t, int r, int b) {
      *this = Empty() ? Box{l, t, r, b}
                      : Box{std::min(left, l), std::min(top, t), std::max(right, r),
                            std::max(bottom, b)};
    }
  } dirty_;               // what of frame_ the window does not show yet
  bool redrawAll_ = true; // the window's pixels are lost or were never drawn
  int shownW_ = 0, shownH_ = 0;
  int shownScale_ = 1, shownX_ = 0, shownY_ = 0; // where the picture lies in the window
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point tickBase_;
  int64_t ticks_ = 0;
  bool cursorWanted_ = false;
  bool ownFullScreen_ = false; // no window manager: the game sizes the window itself
  std::unique_ptr<WindowSettingsFile> settings_; // none in scripted runs and tests
};

} // namespace soft
