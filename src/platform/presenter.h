// Choosing how the picture is shown: a desktop window, or nothing at all (headless, virtual time).
#pragma once

#include <string>

struct PresenterOptions {
  bool headless = false;
  bool windowed = false;
  int scale = 1;
  // Which of the two the command line named: it has the last word for its run. The desktop's
  // remembered window settings fill in the rest.
  bool windowedChosen = false, scaleChosen = false;
  // A script drives the run. The substitute needs nothing for it (posted keys are input there);
  // the Windows build then treats posted keys as typed and runs on the virtual clock.
  bool scripted = false;
  std::string screenshotDir = "."; // where F12 writes its pictures
};

// False with a message when no window can be opened.
bool StartPresenter(const PresenterOptions& options, std::string& error);
void StopPresenter();
