// The browser platform: the page's canvas, or headless runs that keep the page responsive.
#include "platform/presenter.h"
#include "platform/web/web_presenter.h"

bool StartPresenter(const PresenterOptions& options, std::string&) {
  soft::SetPresenter(web::OpenPresenter(options));
  return true;
}

void StopPresenter() {
  soft::SetPresenter(nullptr);
}
