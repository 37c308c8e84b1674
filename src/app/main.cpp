#include "app/kestrove.h"

int main(int argc, char** argv) {
  return KestroveMain(argc, argv);
}
