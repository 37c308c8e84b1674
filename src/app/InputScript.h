// Scripted input: a text file of key presses, typing, waits and screenshots, replayed through the
// message queue exactly as a player's keys would arrive.
#pragma once

#include "app/RunControl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TScriptCommand {
  enum Kind : uint8_t { Wait, Down, Up, Shot, CapsLock };
  // How a key's message is worded: as a keyboard would (a system key while the script holds Alt,
  // and Alt itself), or always plain or always a system key, for keys a presenter worded
  // otherwise (a recording writes those so).
  enum Form : uint8_t { AsKeyboard, Plain, System };
  Kind kind;
  Form form;
  uint32_t line;  // where it stands in the script, for messages
  uint32_t value; // frames to wait, the virtual key, the lock (1 on), or the shot's index
};

struct TInputScript {
  std::vector<TScriptCommand> commands;
  std::vector<std::string> shots; // the pictures shots write
};

// What a script may hold, so that no file can take unbounded memory or time.
constexpr uint64_t kMaxScriptBytes = 16u << 20;
constexpr size_t kMaxScriptCommands = 4u << 20;
constexpr size_t kMaxKeysBetweenWaits = 65536;

// Parses a whole script. A bad line leaves error naming the line and returns false. Shot paths
// that are relative are taken relative to baseDir.
bool ParseInputScript(const std::string& text, const std::string& baseDir, TInputScript& script,
                      std::string& error);

// The name a script gives a virtual key: the inverse of what down and up accept.
std::string ScriptKeyName(int vk);

// Writes the front surface (the last presented screen) as a PNG file.
bool WriteScreenShot(const std::string& path);

// Feeds a parsed script into the queue, one batch per wait, and ends the run after the script or
// after a number of frames.
class TScriptRunner : public TRunControl {
public:
  TScriptRunner(TInputScript script, uint64_t frameLimit, bool closeAtEnd);

  void Start(HWND window) override;
  void AfterFrame() override;
  void Deliver(WPARAM item) override;

  uint64_t Frames() const { return frames_; }
  // Called when one of the script's waits has run its frames, before what follows is posted.
  void OnWaitEnded(std::function<void()> hook) { waitEnded_ = std::move(hook); }

private:
  void PostBatch();
  void Finish();

  TInputScript script_;
  size_t next_ = 0;
  uint64_t waiting_ = 0;
  uint64_t frames_ = 0;
  uint64_t frameLimit_;
  bool closeAtEnd_;
  bool finished_ = false;
  bool altHeld_ = false;
  HWND window_ = nullptr;
  std::function<void()> waitEnded_;
};
