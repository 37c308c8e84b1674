#include "app/kestrove.h"

int KestroveMain(int, char**) { return 0; }
