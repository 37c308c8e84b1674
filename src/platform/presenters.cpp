#include "platform/presenters.h"

#include "platform/soft/soft_display.h"

#ifdef KESTROVE_HAVE_SDL
#include "platform/sdl/sdl_presenter.h"
#endif
#ifdef __EMSCRIPTEN__
#include "platform/web/web_presenter.h"
#endif

bool StartPresenter(const PresenterOptions& options, std::string& error) {
#ifdef __EMSCRIPTEN__
  // The page's canvas, or headless with the browser kept responsive.
  soft::SetPresenter(web::OpenPresenter(options));
  return true;
#endif
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
