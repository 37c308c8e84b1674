#include "app/DataFolder.h"

#include "resource/QdStream.h"

#ifdef _WIN32
#include <windows.h>
#endif

const char* const kDataFiles[6] = {"bg_image.jpg", "H3.MAF",    "deja1.kv0",
                                   "deja2.kv0",    "ascii.fnt", "H01.fnt"};

namespace fs = std::filesystem;

bool HoldsGameData(const fs::path& folder) {
  try {
    for (const char* name : kDataFiles)
      if (FileCanOpen((folder / name).string())) return true;
  } catch (const std::exception&) {
    // A name the narrow code page cannot spell: the loaders could not open it either.
  }
  return false;
}

DataChoice FindDataFolder(const DataSearch& search) {
  DataChoice choice;
  const std::string& named = !search.option.empty() ? search.option : search.environment;
  if (!named.empty()) {
    choice.folder = named;
    choice.named = true;
    return choice;
  }
  std::vector<fs::path> candidates{search.workingDir};
  if (!search.executableDir.empty()) {
    candidates.push_back(search.executableDir);
    candidates.push_back(search.executableDir / "data");
    candidates.push_back(
        (search.executableDir / ".." / "share" / "games" / "kestrove").lexically_normal());
  }
  if (!search.buildTreeData.empty()) candidates.push_back(search.buildTreeData);
  for (const fs::path& c : candidates) {
    choice.looked.push_back(c);
    if (HoldsGameData(c)) {
      choice.folder = c;
      break;
    }
  }
  return choice;
}

fs::path ExecutableDir() {
  std::error_code ec;
#ifdef _WIN32
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  if (n == 0 || n >= 32768) return {};
  fs::path exe(std::wstring(buffer, n));
#else
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
#endif
  return exe.parent_path();
}
