// The desktop platform: an SDL2 window, or headless runs on the same substitute.
#include "platform/presenter.h"
#include "platform/headless/headless_presenter.h"
#include "platform/sdl/sdl_presenter.h"
#include "platform/sdl/window_settings.h"
#include "platform/substitute/win32/win_control.h"

bool StartPresenter(const PresenterOptions& options, std::string& error) {
  soft::CloseOnStopSignals();
  if (options.headless) {
    soft::SetPresenter(std::make_unique<soft::HeadlessPresenter>());
    return true;
  }
  auto sdl = soft::SdlPresenter::Open(options, error);
  if (!sdl) return false;
  // A replay must look the same on every desktop: scripted runs leave the window settings alone.
  if (!options.scripted)
    sdl->RememberIn(std::make_unique<soft::WindowSettingsFile>(soft::WindowSettingsPath()));
  soft::SetPresenter(std::move(sdl));
  return true;
}

void StopPresenter() {
  soft::SetPresenter(nullptr);
}
