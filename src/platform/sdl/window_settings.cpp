#include "platform/sdl/window_settings.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace soft {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFirstLine =
    "# Kestrove's window, written by the game when Alt+Enter switches full screen";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool IsWord(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) &&
        c != '_' && c != '-')
      return false;
  return true;
}

// Control bytes other than tabs and line ends: not a text file at all.
bool Binary(std::string_view text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return true;
  return false;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A whole new file or none: a crash or a full disk leaves the old one.
bool WriteWhole(const fs::path& path, const std::string& text, std::string& why) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    why = ec.message();
    return false;
  }
  std::string temp = path.string() + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  if (!ok) why = std::strerror(errno);
  if (close(fd) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

} // namespace

ParsedSettings ParseWindowSettings(std::string_view text) {
  ParsedSettings out;
  if (text.size() > kMaxSettingsBytes) {
    out.problem = "it is larger than " + std::to_string(kMaxSettingsBytes / 1024) +
                  " KiB, too large for settings; the defaults are used";
    return out;
  }
  if (Binary(text)) {
    out.problem = "it holds binary data, not settings; the defaults are used";
    return out;
  }
  int bad = 0, lineNumber = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const size_t gap = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view key = line.substr(0, gap), value = Trim(line.substr(gap));
    const char* why = nullptr;
    if (key == "windowed") {
      if (value == "yes" || value == "no")
        out.settings.windowed = value == "yes";
      else
        why = "windowed is yes or no";
    } else if (key == "scale") {
      int n = 0;
      const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec == std::errc() && p == value.data() + value.size() && n >= 1 && n <= 8)
        out.settings.scale = n;
      else
        why = "scale is a whole number from 1 to 8";
    } else if (IsWord(key)) {
      out.otherLines.emplace_back(line); // a later version's, perhaps: kept
    } else {
      why = "not a 'key value' line";
    }
    if (why && bad++ == 0) out.problem = "line " + std::to_string(lineNumber) + ": " + why;
  }
  if (bad == 1) out.problem += "; the line is ignored";
  if (bad > 1)
    out.problem += " (and " + std::to_string(bad - 1) + " more bad line" + (bad > 2 ? "s" : "") +
                   "); bad lines are ignored";
  return out;
}

std::string FormatWindowSettings(const WindowSettings& settings,
                                 const std::vector<std::string>& otherLines) {
  std::string text = std::string(kFirstLine) + "\nwindowed " + (settings.windowed ? "yes" : "no") +
                     "\nscale " + std::to_string(settings.scale) + "\n";
  for (const std::string& line : otherLines)
    text += line + "\n";
  return text;
}

fs::path SettingsPathFrom(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
    return fs::path(xdgConfigHome) / "kestrove" / "settings";
  if (home && fs::path(home).is_absolute())
    return fs::path(home) / ".config" / "kestrove" / "settings";
  return {};
}

fs::path WindowSettingsPath() {
  const char* home = std::getenv("HOME");
  fs::path path = SettingsPathFrom(std::getenv("XDG_CONFIG_HOME"), home);
  // SDL builds its folder from a HOME or XDG_DATA_HOME that is set, usable or not, and makes it at
  // once: from an empty HOME it would make /.local/share/kestrove.
  const char* data = std::getenv("XDG_DATA_HOME");
  if (!path.empty() || home || (data && !fs::path(data).is_absolute())) return path;
  if (char* pref = SDL_GetPrefPath("", "kestrove")) {
    if (fs::path(pref).is_absolute()) path = fs::path(pref) / "settings";
    SDL_free(pref);
  }
  return path;
}

WindowSettingsFile::WindowSettingsFile(fs::path path, Tell tell)
    : path_(std::move(path)), tell_(std::move(tell)) {}

void WindowSettingsFile::Say(const std::string& what) {
  if (tell_)
    tell_(what);
  else
    std::fprintf(stderr, "kestrove: %s\n", what.c_str());
}

WindowSettings WindowSettingsFile::Load() {
  stored_ = {};
  otherLines_.clear();
  fileSaysStored_ = false;
  if (path_.empty()) return stored_;
  const std::string name = path_.string();
  // Not blocking: a pipe in the file's place would wait for a writer forever.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // None yet, also where the folder cannot be: nothing was ever stored.
    if (errno != ENOENT && errno != ENOTDIR)
      Say("cannot read " + name + ": " + std::strerror(errno) + "; the defaults are used");
    return stored_;
  }
  std::string text, why;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    why = "it is a folder";
  } else if (!S_ISREG(st.st_mode)) {
    why = "it is not a plain file";
  } else {
    // One byte past the most a settings file may hold tells a larger file, whatever its size.
    char buffer[kMaxSettingsBytes + 1];
    while (text.size() < sizeof buffer) {
      const ssize_t n = read(fd, buffer, sizeof buffer - text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) why = std::strerror(errno);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  if (!why.empty()) {
    Say("cannot read " + name + ": " + why + "; the defaults are used");
    return stored_;
  }
  ParsedSettings parsed = ParseWindowSettings(text);
  if (!parsed.problem.empty()) Say(name + ": " + parsed.problem);
  stored_ = parsed.settings;
  otherLines_ = std::move(parsed.otherLines);
  fileSaysStored_ = parsed.problem.empty();
  return stored_;
}

void WindowSettingsFile::Store(const WindowSettings& settings) {
  if (fileSaysStored_ && settings == stored_) return;
  stored_ = settings;
  std::string why = "neither XDG_CONFIG_HOME nor HOME names a folder for them";
  fileSaysStored_ =
      !path_.empty() && WriteWhole(path_, FormatWindowSettings(settings, otherLines_), why);
  if (fileSaysStored_ || toldStoreFailed_) return;
  toldStoreFailed_ = true;
  Say(path_.empty() ? "cannot save the window settings: " + why
                    : "cannot save the window settings in " + path_.string() + ": " + why);
}

} // namespace soft
