// The input-script reader on arbitrary text: it accepts or names the bad line, and what it accepts
// is only commands it can replay.
#include "app/InputScript.h"
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
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<TScriptCommand> commands;
  std::string error;
  const bool ok = ParseInputScript(text, "/nonexistent/base", commands, error);
  if (!ok) {
    Require(commands.empty() && error.rfind("line ", 0) == 0);
    return 0;
  }
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  int previous = 0;
  for (const TScriptCommand& c : commands) {
    Require(c.line >= previous && c.line >= 1 && c.line <= lines);
    previous = c.line;
    switch (c.kind) {
    case TScriptCommand::Wait:
      Require(c.value <= 100000000);
      break;
    case TScriptCommand::Down:
    case TScriptCommand::Up:
      Require(c.value > 0 && c.value < 256);
      break;
    case TScriptCommand::Shot:
      Require(!c.path.empty());
      break;
    default:
      Require(false);
    }
  }
  return 0;
}
