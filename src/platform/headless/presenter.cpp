// The platform without a window library: runs are headless or do not start.
#include "platform/presenter.h"
#include "platform/headless/headless_presenter.h"
#include "platform/substitute/win32/win_control.h"

bool StartPresenter(const PresenterOptions& options, std::string& error) {
  if (!options.headless) {
    error = "this build has no window support (built without SDL2); run with --headless";
    return false;
  }
  soft::CloseOnStopSignals();
  soft::SetPresenter(std::make_unique<soft::HeadlessPresenter>());
  return true;
}

void StopPresenter() {
  soft::SetPresenter(nullptr);
}
