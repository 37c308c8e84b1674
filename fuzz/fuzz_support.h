// Shared by the libFuzzer harnesses.
#pragma once

#include "bitmap/QdBitmap.h"
#include "platform/fatal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzzsupport {

// A fatal run-time error ends the process with _Exit, which libFuzzer would not see; as an abort
// it is reported as a crash and its input kept. Untrusted bytes must never reach that path.
inline void AbortOnFatalError() {
  fatal::SetMessageSink([](const char*) { std::abort(); });
}

// A bitmap that refuses storage beyond 65536 pixels. A file header may ask for up to 256 MiB,
// which the loaders rightly honour; filling that much for every mutated input would slow fuzzing
// a hundredfold and the refused allocation is a path worth running too.
class TFuzzBitmap : public TQdBitmap {
public:
  static constexpr int64_t MaxPixels = int64_t(1) << 16;
  bool Allocate(int32_t width, int32_t height, int32_t bitCount) override {
    if (int64_t(width) * height > MaxPixels) return false;
    return TQdBitmap::Allocate(width, height, bitCount);
  }
};

// Stops the harness with a crash when a property that must hold does not.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

// A loaded bitmap is either empty or has exactly the storage its size and format call for; every
// row is read so that a row pointer outside the storage shows up under AddressSanitizer.
inline uint32_t CheckBitmap(TQdBitmap& b) {
  Require(b.Width >= 0 && b.Height >= 0);
  if (b.Pixels == nullptr) return 0;
  Require(b.Width > 0 && b.Height > 0);
  const int32_t bytes = b.BitCount == 32 ? 4 : 2;
  uint32_t sum = 0;
  TQdLockGuard lock(b);
  for (int32_t y = 0; y < b.Height; ++y) {
    const uint8_t* row = b.GetScanLine(y);
    Require(row != nullptr);
    // First and last pixel of each row are enough to find a row outside the storage.
    uint32_t v = 0;
    std::memcpy(&v, row, 2);
    sum += v;
    std::memcpy(&v, row + (b.Width - 1) * bytes, 2);
    sum += v;
  }
  return sum;
}

} // namespace fuzzsupport
