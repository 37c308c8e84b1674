// Recording a session as an input script: every key the game takes from the queue, at the frame in
// which it takes it, with the frames in between as waits. Replaying the file with --script gives
// the game the same keys in the same frames.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The first line of a recording: the program's version and the size and CRC-32 of each data file
// in the working directory.
std::string RecordingHeader();

// For a script whose first line is a recording's header: one warning for the version and for
// each data file that differs from what is in the working directory now. Empty otherwise.
std::vector<std::string> RecordingDifferences(const std::string& script);

// A recording cut short ends in a line without its newline: drops that line. True when it did.
bool DropCutLine(std::string& script);

class TSessionRecorder {
public:
  // Milliseconds from any start; a live recording cuts its waits by it.
  using Clock = std::function<uint64_t()>;

  // The file is written at least once a second. live: nothing else marks time, so a wait is also
  // written out after a second without a line, and a recording cut short loses at most that second.
  TSessionRecorder(bool live, Clock clock = nullptr);
  ~TSessionRecorder();
  TSessionRecorder(const TSessionRecorder&) = delete;
  TSessionRecorder& operator=(const TSessionRecorder&) = delete;

  // False when the file cannot be made. name: how messages call it (the path by default).
  bool Open(const std::string& path, const std::string& name = {});
  // A line starting with '#', such as the header, written at once: false when it could not be.
  bool Comment(const std::string& line);
  // A message the loop has taken from the queue; key downs and ups and the lock are written.
  void Taken(const MSG& msg);
  void FrameDone();
  // The script being replayed ends a wait here: the recording ends its wait here too, so that a
  // recorded replay repeats the recording line for line.
  void WaitEnded();
  // Writes the frames since the last key and closes the file.
  void Finish();
  // Writes out everything so far, for a process that is about to end without closing it.
  void FlushNow();
  // A write failed: the message was given at once, the file ends at its last whole line and
  // nothing more is recorded.
  bool Failed() const { return failed_; }

private:
  void Line(const std::string& text);
  bool Flush(uint64_t now);
  void WritePending();

  FILE* file_ = nullptr;
  std::string path_, name_;
  std::string buffer_; // whole lines not yet written
  uint64_t written_ = 0;
  bool failed_ = false;
  bool live_;
  Clock clock_;
  uint64_t pending_ = 0; // frames since the last line
  uint64_t lastLine_ = 0, lastFlush_ = 0;
  bool altHeld_ = false; // as a replay of the lines so far would hold it
};
