// Shared by the libFuzzer harnesses.
#pragma once

#include "bitmap/QdBitmap.h"
#include "platform/fatal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzzsupport {

// The harness's own bookkeeping loops are not the code under test: without coverage hooks they
// neither slow each run nor steer the fuzzer.
#define FUZZ_NOT_UNDER_TEST __attribute__((no_sanitize("coverage")))

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

// A bitmap whose rows sit inside a frame of guard bytes: pixels each side of every row and whole
// rows above and below. A routine that writes past a row's end into the next row, or outside the
// picture, stays inside the allocation where AddressSanitizer cannot see it; the guards can.
class TGuardedBitmap : public TQdBitmap {
public:
  static constexpr int32_t Pad = 20;
  static constexpr uint8_t Canary = 0xA5;
  static constexpr int64_t MaxPixels = int64_t(1) << 18;

  explicit TGuardedBitmap(bool bottomUp) : BottomUp(bottomUp) {}

  FUZZ_NOT_UNDER_TEST bool Allocate(int32_t width, int32_t height, int32_t bitCount) override {
    FreeStorage();
    if (width <= 0 || height <= 0 || int64_t(width) * height > MaxPixels) return false;
    if (bitCount != 15 && bitCount != 16 && bitCount != 32) return false;
    Bytes = bitCount == 32 ? 4 : 2;
    Stride = (width + 2 * Pad) * Bytes;
    Frame.assign(static_cast<size_t>(Stride) * (height + 2 * Pad), Canary);
    Pixels = Frame.data();
    Width = width;
    Height = height;
    BitCount = bitCount;
    Pitch = Stride;
    FillProc = bitCount == 15   ? &TQdBitmap::Fill15
               : bitCount == 16 ? &TQdBitmap::Fill16
                                : &TQdBitmap::Fill32;
    for (int32_t y = 0; y < height; ++y)
      std::memset(Row(y), 0, static_cast<size_t>(width) * Bytes);
    return true;
  }
  bool FreeStorage() override {
    Frame.clear();
    Pixels = nullptr;
    return true;
  }
  FUZZ_NOT_UNDER_TEST uint8_t* GetScanLine(int32_t y) override {
    QD_ASSERT(LockCount > 0, Unit, 810);
    if (Pixels == nullptr || y < 0 || y >= Height) return nullptr;
    return Row(y);
  }
  FUZZ_NOT_UNDER_TEST bool GuardsIntact() const {
    if (Frame.empty()) return true;
    auto intact = [this](size_t from, size_t count) {
      for (size_t i = from; i < from + count; ++i)
        if (Frame[i] != Canary) return false;
      return true;
    };
    const size_t stride = static_cast<size_t>(Stride), side = static_cast<size_t>(Pad) * Bytes;
    const size_t inside = static_cast<size_t>(Width) * Bytes;
    const size_t padRows = static_cast<size_t>(Pad) * stride;
    if (!intact(0, padRows) || !intact((Pad + size_t(Height)) * stride, padRows)) return false;
    for (size_t r = Pad; r < Pad + size_t(Height); ++r)
      if (!intact(r * stride, side) || !intact(r * stride + side + inside, side)) return false;
    return true;
  }

private:
  FUZZ_NOT_UNDER_TEST uint8_t* Row(int32_t y) {
    const int32_t r = BottomUp ? Height - 1 - y : y;
    return Frame.data() + static_cast<size_t>(Pad + r) * Stride + Pad * Bytes;
  }

  bool BottomUp;
  int32_t Bytes = 4;
  int32_t Stride = 0;
  std::vector<uint8_t> Frame;
};

// Reads the fuzzer's bytes front to back; past the end everything reads as 0.
class TByteReader {
public:
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t Long() { return Word() | uint32_t(Word()) << 16; }
  bool Empty() const { return pos_ >= size_; }
  size_t Left() const { return size_ - pos_; }
  const uint8_t* Here() const { return data_ + pos_; }
  void Skip(size_t n) { pos_ += std::min(n, Left()); }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Text units from bytes, weighted toward what the text code treats specially: bytes below 0x80
// are themselves (braces, spaces, controls); 0x80-0xB2 the compatibility jamo; 0xB3-0xBF units
// at and around the edges of the Hangul ranges; 0xC0 and up a syllable chosen by the next byte.
inline char16_t NextUnit(TByteReader& in) {
  static constexpr char16_t kEdges[13] = {0x0080, 0x00A0, 0x00FF, 0x0100, 0x2026, 0x3130, 0x3164,
                                          0xABFF, 0xAC00, 0xD7A3, 0xD7A4, 0xFFFF, 0x007F};
  const uint8_t b = in.Byte();
  if (b < 0x80) return b;
  if (b < 0xB3) return static_cast<char16_t>(0x3131 + (b - 0x80));
  if (b < 0xC0) return kEdges[b - 0xB3];
  return static_cast<char16_t>(0xAC00 + ((b - 0xC0) << 8 | in.Byte()) % 11172);
}

// Units up to (not including) the byte terminator, or to the end of the input.
inline std::u16string NextText(TByteReader& in, uint8_t terminator) {
  std::u16string text;
  while (!in.Empty()) {
    if (*in.Here() == terminator) {
      in.Skip(1);
      break;
    }
    text += NextUnit(in);
  }
  return text;
}

} // namespace fuzzsupport
