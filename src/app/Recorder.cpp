#include "app/Recorder.h"

#include "app/InputScript.h"
#include "platform/png.h"

#include <chrono>
#include <cstring>
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
  const std::string version = recorded[0].substr(std::strlen(kMark));
  if (version != KESTROVE_VERSION)
    warnings.push_back("recorded by kestrove " + version + ", replayed by " + KESTROVE_VERSION);
  for (size_t i = 1; i < recorded.size(); ++i) {
    const std::string& entry = recorded[i];
    const std::string name = entry.substr(0, entry.find(' '));
    for (size_t j = 1; j < here.size(); ++j) {
      if (here[j].substr(0, here[j].find(' ')) != name || here[j] == entry) continue;
      warnings.push_back("recorded with another " + name + " (" + entry.substr(name.size() + 1) +
                         ", here " + here[j].substr(name.size() + 1) + ")");
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

bool TSessionRecorder::Open(const std::string& path) {
  Finish();
  file_ = std::fopen(path.c_str(), "wb");
  pending_ = 0;
  lastLine_ = lastFlush_ = clock_();
  unflushed_ = false;
  return file_ != nullptr;
}

void TSessionRecorder::Comment(const std::string& line) {
  WritePending();
  Line(line);
}

void TSessionRecorder::Line(const std::string& text) {
  if (!file_) return;
  std::fputs(text.c_str(), file_);
  std::fputc('\n', file_);
  lastLine_ = clock_();
  unflushed_ = true;
  FlushDue(lastLine_);
}

// At least once a second, so that a game that crashes or is killed leaves a script up to a line
// written less than a second before; not at every line, which would cost a system call a key.
void TSessionRecorder::FlushDue(uint64_t now) {
  if (!unflushed_ || now - lastFlush_ < 1000) return;
  std::fflush(file_);
  lastFlush_ = now;
  unflushed_ = false;
}

void TSessionRecorder::WritePending() {
  if (pending_ == 0) return;
  Line("wait " + std::to_string(pending_));
  pending_ = 0;
}

void TSessionRecorder::Taken(const MSG& msg) {
  const char* verb;
  switch (msg.message) {
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
    verb = "down ";
    break;
  case WM_KEYUP:
  case WM_SYSKEYUP:
    verb = "up ";
    break;
  default:
    return;
  }
  WritePending();
  Line(verb + ScriptKeyName(static_cast<int>(msg.wParam & 0xFF)));
}

void TSessionRecorder::FrameDone() {
  ++pending_;
  if (!live_ && !unflushed_) return;
  const uint64_t now = clock_();
  if (live_ && now - lastLine_ >= 1000) WritePending();
  FlushDue(now);
}

void TSessionRecorder::WaitEnded() {
  WritePending();
}

void TSessionRecorder::Finish() {
  if (!file_) return;
  WritePending();
  std::fclose(file_);
  file_ = nullptr;
}
