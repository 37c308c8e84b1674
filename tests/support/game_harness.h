// The game without its window and message loop: the platform, display and fonts set up
// in-process on a data folder, for tests, benchmarks and fuzzers that drive TGameMain directly.
#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <memory>

class TGameMain;

class TGameHarness {
public:
  // Works in dataDir (the game reads its files from the working directory) until it goes.
  explicit TGameHarness(const std::filesystem::path& dataDir);
  ~TGameHarness();
  TGameHarness(const TGameHarness&) = delete;
  TGameHarness& operator=(const TGameHarness&) = delete;

  // True when the data folder was there and the display is set up.
  bool Ready() const { return ready_; }
  std::unique_ptr<TGameMain> MakeGame();

  HWND Window = nullptr;

private:
  std::filesystem::path home_;
  bool ready_ = false;
};
