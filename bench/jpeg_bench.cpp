// Decoding the 640 by 480 background: our decoder next to libjpeg-turbo on the same 4:2:0 file;
// the decoded picture into a 32-bit surface next to a plain copy.
#include "resource/QdJpeg.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef KESTROVE_HAVE_TURBOJPEG
#include <turbojpeg.h>

namespace {

constexpr int kWidth = 640, kHeight = 480;

const std::vector<uint8_t>& Background() {
  static const std::vector<uint8_t> file = [] {
    std::vector<uint8_t> bgr(size_t{3} * kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* p = &bgr[3 * (size_t(y) * kWidth + x)];
        p[0] = uint8_t(255.0 * y / kHeight);
        p[1] = uint8_t(128 + 100 * std::sin(x / 9.0 + y / 23.0));
        p[2] = uint8_t(128 + 90 * std::sin(x / 5.0) * std::cos(y / 7.0));
      }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, bgr.data(), kWidth, 0, kHeight, TJPF_BGR, &out, &size, TJSAMP_420, 85, 0);
    std::vector<uint8_t> bytes(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
  }();
  return file;
}

void BM_QdJpegDecode(benchmark::State& state) {
  const auto& file = Background();
  for (auto _ : state) {
    TQdJpeg jpeg;
    benchmark::DoNotOptimize(jpeg.LoadFromMemory(file.data(), file.size()));
  }
}
BENCHMARK(BM_QdJpegDecode)->Unit(benchmark::kMillisecond);

void BM_LibjpegTurboDecode(benchmark::State& state) {
  const auto& file = Background();
  std::vector<uint8_t> bgr(size_t{3} * kWidth * kHeight);
  tjhandle tj = tjInitDecompress();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tjDecompress2(tj, file.data(), file.size(), bgr.data(), kWidth, 0, kHeight, TJPF_BGR, 0));
  }
  tjDestroy(tj);
}
BENCHMARK(BM_LibjpegTurboDecode)->Unit(benchmark::kMillisecond);

// The decoded picture into a 32-bit surface, beside a plain copy of as many bytes.
void BM_QdJpegCopy32(benchmark::State& state) {
  const auto& file = Background();
  TQdJpeg jpeg;
  jpeg.LoadFromMemory(file.data(), file.size());
  std::vector<uint8_t> surface(size_t{4} * kWidth * kHeight);
  for (auto _ : state) {
    jpeg.CopyPixelsTo(surface.data(), 4 * kWidth, nullptr, 32);
    benchmark::DoNotOptimize(surface.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(surface.size()));
}
BENCHMARK(BM_QdJpegCopy32)->Unit(benchmark::kMicrosecond);

void BM_Memcpy32(benchmark::State& state) {
  std::vector<uint8_t> from(size_t{4} * kWidth * kHeight, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(to.size()));
}
BENCHMARK(BM_Memcpy32)->Unit(benchmark::kMicrosecond);

} // namespace

#endif
