// The desktop program's remembered window: full screen or windowed, and the window's scale, in a
// small text file in the player's configuration folder. One "key value" a line:
//
//   # Kestrove's window, ...   (a comment line: what writes the file)
//   windowed yes               (yes or no)
//   scale 2                    (1 to 8)
//
// Lines of other keys are ignored, and kept when the file is written again.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace soft {

struct WindowSettings {
  bool windowed = false;
  int scale = 1;
  bool operator==(const WindowSettings&) const = default;
};

// More than this is not a settings file.
constexpr size_t kMaxSettingsBytes = 4096;

struct ParsedSettings {
  WindowSettings settings;             // the defaults where a line was bad
  std::vector<std::string> otherLines; // well-formed lines of keys this version does not know
  std::string problem;                 // the first bad line, worded for the player; empty if none
};
ParsedSettings ParseWindowSettings(std::string_view text);
std::string FormatWindowSettings(const WindowSettings& settings,
                                 const std::vector<std::string>& otherLines);

// $XDG_CONFIG_HOME/kestrove/settings when that is absolute, else $HOME/.config/kestrove/settings
// when HOME is absolute; empty otherwise. The game runs in its data folder, so a relative path
// would land there.
std::filesystem::path SettingsPathFrom(const char* xdgConfigHome, const char* home);
// The same from the environment, else in SDL's preference folder; empty when there is none.
std::filesystem::path WindowSettingsPath();

// The file, read once at start and written (whole, through a temporary file and a rename) when
// the player changes a setting. A file with bad lines is left as it is until then.
class WindowSettingsFile {
public:
  using Tell = std::function<void(const std::string&)>;
  // Each problem is told as one line; by default on standard error, after "kestrove: ".
  explicit WindowSettingsFile(std::filesystem::path path, Tell tell = {});

  // What the file holds, the defaults where it is missing or bad.
  WindowSettings Load();
  const WindowSettings& Stored() const { return stored_; }
  // Writes the file unless it already says this; only the first failure of a run is told.
  void Store(const WindowSettings& settings);

private:
  void Say(const std::string& what);

  std::filesystem::path path_;
  Tell tell_;
  WindowSettings stored_;
  std::vector<std::string> otherLines_;
  bool fileSaysStored_ = false; // the file exists, whole, and says stored_
  bool toldStoreFailed_ = false;
};

} // namespace soft
