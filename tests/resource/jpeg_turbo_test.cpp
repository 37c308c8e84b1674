// Our decoder against libjpeg-turbo on pictures libjpeg-turbo encodes here.
#ifdef KESTROVE_HAVE_TURBOJPEG

#include "resource/QdJpeg.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> TestPicture(int w, int h) {
  // Smooth colour gradients, a ripple and a few hard-edged patches: what a background holds.
  std::vector<uint8_t> bgr(size_t{3} * w * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bgr[3 * (size_t(y) * w + x)];
      double r = 128 + 90 * std::sin(x / 7.0) * std::cos(y / 11.0);
      double g = 255.0 * x / w;
      double b = 255.0 * y / h;
      if ((x / 13 + y / 9) % 5 == 0) r = 240, g = 30, b = 60;
      p[0] = uint8_t(b);
      p[1] = uint8_t(g);
      p[2] = uint8_t(r);
    }
  }
  return bgr;
}

struct Encoded {
  std::vector<uint8_t> bytes;
};

Encoded Compress(const std::vector<uint8_t>& bgr, int w, int h, int samp, const char* restart,
                 bool optimize) {
  if (restart) setenv("TJ_RESTART", restart, 1);
  if (optimize) setenv("TJ_OPTIMIZE", "1", 1);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, bgr.data(), w, 0, h, TJPF_BGR, &out, &size, samp, 90, 0);
  unsetenv("TJ_RESTART");
  unsetenv("TJ_OPTIMIZE");
  Encoded e;
  if (rc == 0) e.bytes.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return e;
}

bool HasRestartSegment(const std::vector<uint8_t>& f) {
  for (size_t i = 0; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == 0xDD) return true;
  return false;
}

} // namespace

TEST(JpegCrossCheck, AgreesWithLibjpegTurbo) {
  struct Case {
    int samp;
    const char* name;
  };
  const Case samplings[] = {
      {TJSAMP_444, "4:4:4"}, {TJSAMP_422, "4:2:2"}, {TJSAMP_420, "4:2:0"}, {TJSAMP_GRAY, "grey"}};
  const std::pair<int, int> sizes[] = {{64, 48}, {75, 53}, {33, 17}};
  const char* restarts[] = {nullptr, "3B", "1"};

  for (const Case& c : samplings) {
    for (auto [w, h] : sizes) {
      for (const char* restart : restarts) {
        for (bool optimize : {false, true}) {
          SCOPED_TRACE(std::string(c.name) + " " + std::to_string(w) + "x" + std::to_string(h) +
                       " restart " + (restart ? restart : "none") + (optimize ? " optimised" : ""));
          const auto src = TestPicture(w, h);
          const Encoded e = Compress(src, w, h, c.samp, restart, optimize);
          ASSERT_FALSE(e.bytes.empty());
          ASSERT_EQ(HasRestartSegment(e.bytes), restart != nullptr);

          std::vector<uint8_t> ref(size_t{3} * w * h);
          tjhandle tj = tjInitDecompress();
          ASSERT_EQ(tjDecompress2(tj, e.bytes.data(), e.bytes.size(), ref.data(), w, 0, h, TJPF_BGR,
                                  TJFLAG_FASTUPSAMPLE | TJFLAG_ACCURATEDCT),
                    0);
          tjDestroy(tj);

          TQdJpeg jpeg;
          ASSERT_TRUE(jpeg.LoadFromMemory(e.bytes.data(), e.bytes.size()));
          ASSERT_EQ(jpeg.Width(), w);
          ASSERT_EQ(jpeg.Height(), h);
          std::vector<uint8_t> ours(size_t{3} * w * h);
          ASSERT_TRUE(jpeg.CopyPixelsTo(ours.data(), 3 * w, nullptr, 24));

          double squared = 0, absolute[3] = {};
          for (size_t i = 0; i < ours.size(); ++i) {
            const double d = double(ours[i]) - ref[i];
            squared += d * d;
            absolute[i % 3] += std::abs(d);
          }
          const double n = double(w) * h;
          const double mse = squared / (3 * n);
          const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
          EXPECT_GE(psnr, 40.0);
          for (double a : absolute)
            EXPECT_LT(a / n, 1.5);
        }
      }
    }
  }
}

#endif
