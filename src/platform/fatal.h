// The one way the program ends on a fatal condition: "Runtime error N at XXXXXXXX" on standard
// error (and in a message box titled "Error" when a window exists), then exit code N.
#pragma once

#include <cstdint>

namespace fatal {

constexpr int kAssertionFailed = 227;
constexpr int kAbstractCall = 210;
constexpr int kFileNotOpen = 103;
constexpr int kDiskRead = 100;
constexpr int kDiskWrite = 101;
constexpr int kInOut = 106;

// Called with the address the error is reported at; defaults to the caller.
[[noreturn]] void RunError(int code, const void* address);

// Hook for whoever owns a window: it is shown the message before the process ends.
using MessageSink = void (*)(const char* text);
void SetMessageSink(MessageSink sink);

// What must reach its files when the process ends without unwinding (a fatal error, a lost
// display): called once, by FlushBeforeExit.
using FlushHook = void (*)();
void SetFlushHook(FlushHook hook);
void FlushBeforeExit();
// The same while the program goes on, for a platform that hands those files out during play.
void FlushNow();

[[noreturn]] void AssertionFailure(const char* unit, int line);
[[noreturn]] void AbstractCall();

} // namespace fatal

#define QD_RUN_ERROR(code) ::fatal::RunError((code), __builtin_return_address(0))

// An assertion record carries the unit and line it stands for.
#define QD_ASSERT(cond, unit, line)                                                                \
  do {                                                                                             \
    if (!(cond)) ::fatal::AssertionFailure((unit), (line));                                        \
  } while (0)
