// Which folder the game reads its data files from.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The six files the game reads; a folder holding any of them is taken for a data folder.
extern const char* const kDataFiles[6];

struct DataSearch {
  std::string option;      // --data
  std::string environment; // KESTROVE_DATA
  std::filesystem::path workingDir;
  std::filesystem::path executableDir; // empty when unknown
  std::filesystem::path buildTreeData; // empty when the program was not built to look there
};

struct DataChoice {
  std::filesystem::path folder; // empty when nothing was found
  bool named = false;           // given by --data or KESTROVE_DATA, used as is
  std::vector<std::filesystem::path> looked;
};

// --data, then KESTROVE_DATA, then the first of: the working directory, the executable's folder,
// its data subfolder, ../share/games/kestrove beside it, the build tree.
DataChoice FindDataFolder(const DataSearch& search);
bool HoldsGameData(const std::filesystem::path& folder);
// The running program's folder, or empty.
std::filesystem::path ExecutableDir();
