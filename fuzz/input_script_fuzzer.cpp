// The input-script reader on arbitrary text: it accepts or names the bad line, and what it accepts
// is only commands it can replay. The recording header's check and the cut-line rule read the same
// text first, as a replay does.
#include "app/InputScript.h"
#include "app/Recorder.h"
#include "fuzz_support.h"

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzsupport::Require;
  std::string text(reinterpret_cast<const char*>(data), size);
  RecordingDifferences(text);
  const std::string whole = text;
  if (DropCutLine(text))
    Require(text.size() < whole.size() && (text.empty() || text.back() == '\n'));
  TInputScript script;
  std::string error;
  const bool ok = ParseInputScript(text, "/nonexistent/base", script, error);
  const std::vector<TScriptCommand>& commands = script.commands;
  if (!ok) {
    Require(commands.empty() && script.shots.empty() && error.rfind("line ", 0) == 0);
    return 0;
  }
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  uint32_t previous = 0;
  size_t keys = 0;
  for (const TScriptCommand& c : commands) {
    Require(c.line >= previous && c.line >= 1 && c.line <= static_cast<uint32_t>(lines));
    previous = c.line;
    switch (c.kind) {
    case TScriptCommand::Wait:
      Require(c.value <= 100000000);
      if (c.value > 0) keys = 0;
      break;
    case TScriptCommand::Down:
    case TScriptCommand::Up:
      Require(c.value > 0 && c.value < 256 && c.form <= TScriptCommand::System);
      Require(++keys <= kMaxKeysBetweenWaits);
      break;
    case TScriptCommand::CapsLock:
      Require(c.value <= 1);
      Require(++keys <= kMaxKeysBetweenWaits);
      break;
    case TScriptCommand::Shot:
      Require(c.value < script.shots.size() && !script.shots[c.value].empty());
      break;
    default:
      Require(false);
    }
  }
  return 0;
}
