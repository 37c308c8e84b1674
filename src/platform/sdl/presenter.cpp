#include "platform/presenter.h"

#include "platform/substitute/device/soft_display.h"

#ifdef KESTROVE_HAVE_SDL
#include "platform/sdl/sdl_presenter.h"
#endif

bool StartPresenter(const PresenterOptions& options, std::string& error) {
  if (options.headless) {
    soft::SetPresenter(std::make_unique<soft::HeadlessPresenter>());
    return true;
  }
#ifdef KESTROVE_HAVE_SDL
  auto sdl = soft::SdlPresenter::Open(options, error);
  if (!sdl) return false;
  soft::SetPresenter(std::move(sdl));
  return true;
#else
  error = "this build has no window support (SDL2 was missing); run with --headless";
  return false;
#endif
}

void StopPresenter() {
  soft::SetPresenter(nullptr);
}
