// Program entry: command line, platform start, window, message loop, orderly end.
#pragma once

int KestroveMain(int argc, char** argv);
