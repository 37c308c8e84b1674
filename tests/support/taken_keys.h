// The key messages waiting in the substitute's queue, taken as the game's loop takes them.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// "down N" and "up N" (N the virtual key) for each key message, "? N" for anything else.
std::vector<std::string> TakenKeys();

} // namespace testsupport
