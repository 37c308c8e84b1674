#include "app/kestrove.h"

#ifdef _WIN32
#include <cstdlib>

// A window program: the run-time library has already split the command line into __argc and
// __argv; the show command is taken up by ShowWindow(SW_SHOWDEFAULT).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return KestroveMain(__argc, __argv);
}
#else
int main(int argc, char** argv) {
  return KestroveMain(argc, argv);
}
#endif
