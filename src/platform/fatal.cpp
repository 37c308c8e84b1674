#include "platform/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace fatal {
namespace {
MessageSink g_sink = nullptr;
FlushHook g_flush = nullptr;
} // namespace

void SetMessageSink(MessageSink sink) {
  g_sink = sink;
}

void SetFlushHook(FlushHook hook) {
  g_flush = hook;
}

void FlushBeforeExit() {
  if (FlushHook hook = g_flush) {
    g_flush = nullptr; // a fault inside the hook must not recurse
    hook();
  }
}

void FlushNow() {
  if (FlushHook hook = g_flush) hook();
}

void RunError(int code, const void* address) {
  char text[64];
  std::snprintf(text, sizeof text, "Runtime error %d at %08X", code,
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)));
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  FlushBeforeExit(); // before the box, which waits for the player
  if (MessageSink sink = g_sink) {
    g_sink = nullptr; // a fault inside the sink must not recurse
    sink(text);
  }
  std::_Exit(code);
}

void AssertionFailure(const char* unit, int line) {
  std::fprintf(stderr, "Assertion failure (%s, line %d)\n", unit, line);
  RunError(kAssertionFailed, __builtin_return_address(0));
}

void AbstractCall() {
  RunError(kAbstractCall, __builtin_return_address(0));
}

} // namespace fatal
