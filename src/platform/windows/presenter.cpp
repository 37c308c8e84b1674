// The Windows side of presenters.h: the system shows the picture itself, so starting a
// "presenter" only chooses how time and scripted input behave.
#include "platform/presenter.h"
#include "platform/windows/native_input.h"

#include <mmsystem.h>

#include <cstdio>

namespace {
bool g_timerPeriod = false;
}

bool StartPresenter(const PresenterOptions& options, std::string& error) {
  if (options.headless) {
    error = "the Windows build has no headless mode: it always shows the game full-screen "
            "(under Wine, give it a virtual X display)";
    return false;
  }
  if (options.windowed)
    std::fputs("kestrove: the Windows build always plays full-screen; --windowed is ignored\n",
               stderr);
  // Millisecond sleeps for the 60 Hz pace.
  g_timerPeriod = timeBeginPeriod(1) == TIMERR_NOERROR;
  native::SetScriptedRun(options.scripted);
  return true;
}

void StopPresenter() {
  native::SetScriptedRun(false);
  if (g_timerPeriod) timeEndPeriod(1);
  g_timerPeriod = false;
}
