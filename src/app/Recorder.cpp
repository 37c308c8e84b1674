#include "app/Recorder.h"

#include "app/InputScript.h"
#include "platform/png.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

constexpr const char* kMark = "# recorded by kestrove ";
constexpr const char* kSeparator = " | ";
constexpr const char* kDataFiles[] = {"bg_image.jpg", "H3.MAF",    "deja1.kv0",
                                      "deja2.kv0",    "ascii.fnt", "H01.fnt"};

std::string Describe(const char* file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "missing";
  uint32_t crc = 0;
  uint64_t size = 0;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const auto n = static_cast<size_t>(in.gcount());
    crc = Crc32(reinterpret_cast<const uint8_t*>(buffer), n, crc);
    size += n;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%llu bytes crc32 %08x", static_cast<unsigned long long>(size),
                crc);
  return text;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = line.find(kSeparator, start);
    parts.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + std::strlen(kSeparator);
  }
}

uint64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

std::string RecordingHeader() {
  std::string line = std::string(kMark) + KESTROVE_VERSION;
  for (const char* file : kDataFiles)
    line += std::string(kSeparator) + file + " " + Describe(file);
  return line;
}

std::vector<std::string> RecordingDifferences(const std::string& script) {
  std::vector<std::string> warnings;
  const std::string first = script.substr(0, script.find('\n'));
  if (first.rfind(kMark, 0) != 0) return warnings;
  const std::vector<std::string> recorded = Split(first), here = Split(RecordingHeader());
  // The mark's own space may be the separator's ("# recorded by kestrove | ...").
  const std::string version = recorded[0].substr(std::min(recorded[0].size(), std::strlen(kMark)));
  if (version != KESTROVE_VERSION)
    warnings.push_back("recorded by kestrove " + version + ", replayed by " + KESTROVE_VERSION);
  // An entry is a file's name, a space and what it held; an edited one may lack either.
  auto described = [](const std::string& entry, const std::string& name) {
    return entry.size() > name.size() ? entry.substr(name.size() + 1) : std::string("nothing");
  };
  for (size_t i = 1; i < recorded.size(); ++i) {
    const std::string& entry = recorded[i];
    const std::string name = entry.substr(0, entry.find(' '));
    for (size_t j = 1; j < here.size(); ++j) {
      if (here[j].substr(0, here[j].find(' ')) != name || here[j] == entry) continue;
      warnings.push_back("recorded with another " + name + " (" + described(entry, name) +
                         ", here " + described(here[j], name) + ")");
    }
  }
  return warnings;
}

bool DropCutLine(std::string& script) {
  if (script.rfind(kMark, 0) != 0 || script.empty() || script.back() == '\n') return false;
  const size_t end = script.rfind('\n');
  script.erase(end == std::string::npos ? 0 : end + 1);
  return true;
}

TSessionRecorder::TSessionRecorder(bool live, Clock clock)
    : live_(live), clock_(clock ? std::move(clock) : Clock(SteadyMilliseconds)) {}

TSessionRecorder::~TSessionRecorder() {
  Finish();
}

bool TSessionRecorder::Open(const std::string& path, const std::string& name) {
  Finish();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  // Lines gather in buffer_; each write is checked, so a failure is known to the line.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  path_ = path;
  name_ = name.empty() ? path : name;
  buffer_.clear();
  written_ = 0;
  failed_ = false;
  pending_ = 0;
  altHeld_ = false;
  lastLine_ = lastFlush_ = clock_();
  return true;
}

bool TSessionRecorder::Comment(const std::string& line) {
  WritePending();
  Line(line);
  return Flush(clock_());
}

void TSessionRecorder::Line(const std::string& text) {
  if (!file_) return;
  buffer_ += text;
  buffer_ += '\n';
  lastLine_ = clock_();
  if (lastLine_ - lastFlush_ >= 1000) Flush(lastLine_);
}

// At least once a second, so that a game that crashes or is killed leaves a script up to a line
// written less than a second before; not at every line, which would cost a system call a key.
bool TSessionRecorder::Flush(uint64_t now) {
  lastFlush_ = now;
  if (!file_ || buffer_.empty()) return file_ != nullptr;
  const size_t done = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  if (done == buffer_.size()) {
    written_ += done;
    buffer_.clear();
    return true;
  }
  const int error = errno;
  // Keep the file whole up to its last line: a cut line would be dropped by the replay anyway,
  // but a damaged one could mean another key.
  if (done > 0) {
    const size_t lineEnd = buffer_.rfind('\n', done - 1);
    if (lineEnd != std::string::npos) written_ += lineEnd + 1;
  }
  std::fclose(file_);
  file_ = nullptr;
  buffer_.clear();
  std::error_code ignored;
  if (std::filesystem::is_regular_file(path_, ignored))
    std::filesystem::resize_file(path_, written_, ignored);
  failed_ = true;
  std::fprintf(stderr, "kestrove: cannot write recording %s: %s; it ends at its last whole line\n",
               name_.c_str(), std::strerror(error ? error : EIO));
  return false;
}

void TSessionRecorder::WritePending() {
  if (pending_ == 0) return;
  Line("wait " + std::to_string(pending_));
  pending_ = 0;
}

void TSessionRecorder::Taken(const MSG& msg) {
  if (msg.message == CapsLockMessage) {
    WritePending();
    Line(msg.wParam & 1 ? "capslock on" : "capslock off");
    return;
  }
  const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  const bool sys = msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP;
  if (!down && !sys && msg.message != WM_KEYUP) return;
  // A replay words `down` and `up` as a keyboard would; a key worded otherwise says how.
  const int vk = static_cast<int>(msg.wParam & 0xFF);
  const bool replaySys = altHeld_ || vk == VK_MENU; // what `down` and `up` would give
  if (vk == VK_MENU) altHeld_ = down;
  const char* verb = sys == replaySys ? (down ? "down " : "up ")
                     : sys            ? (down ? "sysdown " : "sysup ")
                                      : (down ? "keydown " : "keyup ");
  WritePending();
  Line(verb + ScriptKeyName(vk));
}

void TSessionRecorder::FrameDone() {
  ++pending_;
  if (!live_ && buffer_.empty()) return;
  const uint64_t now = clock_();
  if (live_ && now - lastLine_ >= 1000) WritePending();
  if (now - lastFlush_ >= 1000) Flush(now);
}

void TSessionRecorder::WaitEnded() {
  WritePending();
}

void TSessionRecorder::Finish() {
  if (!file_) return;
  WritePending();
  Flush(clock_());
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void TSessionRecorder::FlushNow() {
  if (!file_) return;
  WritePending();
  Flush(clock_());
}
