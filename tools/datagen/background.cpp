#include "background.h"

#include "common.h"

#include <algorithm>
#include <cmath>
#include <turbojpeg.h>

namespace datagen {
namespace {

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Smooth value noise from an integer hash, so the picture is the same on every run.
double Hash(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double Noise(double x, double y) {
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const double fx = x - ix, fy = y - iy;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double a = Hash(ix, iy), b = Hash(ix + 1, iy), c = Hash(ix, iy + 1),
               d = Hash(ix + 1, iy + 1);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double Fractal(double x, double y) {
  double sum = 0, amp = 0.5;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amp * Noise(x, y);
    x *= 2.03;
    y *= 2.03;
    amp *= 0.5;
  }
  return sum;
}

struct Box {
  int left, top, width, height;
};
// The world view, the console and the input window.
constexpr Box kPanels[] = {{8, 8, 360, 456}, {376, 8, 248, 384}, {376, 400, 248, 80}};

// Distance from (x, y) to the box outside it, 0 inside.
double Outside(const Box& b, double x, double y) {
  double dx = std::max({b.left - x, 0.0, x - (b.left + b.width - 1)});
  double dy = std::max({b.top - y, 0.0, y - (b.top + b.height - 1)});
  return std::sqrt(dx * dx + dy * dy);
}

} // namespace

std::vector<uint8_t> PaintBackground() {
  std::vector<uint8_t> rgb(static_cast<size_t>(kScreenWidth) * kScreenHeight * 3);
  const Colour skyTop{58, 92, 140}, skyLow{238, 196, 160}, cloud{250, 240, 232};
  const Colour farHill{112, 138, 160}, nearHill{74, 116, 88}, meadow{104, 148, 84};
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) {
      const double u = x / double(kScreenWidth), v = y / double(kScreenHeight);
      // Evening sky, soft clouds drifting across its upper half.
      Colour c = Mix(skyTop, skyLow, std::pow(v / 0.62, 1.4));
      const double cl = Fractal(x / 90.0, y / 34.0) - 0.48 - v * 0.35;
      c = Mix(c, cloud, cl * 2.2);
      // Two ranges of rolling hills, the nearer one darker.
      const double far = 0.60 + 0.05 * std::sin(u * 7.1 + 0.6) + 0.03 * std::sin(u * 17.3 + 2.0);
      if (v > far) c = Mix(farHill, skyLow, 0.25 - (v - far) * 1.2);
      const double near = 0.72 + 0.05 * std::sin(u * 4.3 + 2.4) + 0.02 * std::sin(u * 23.0);
      if (v > near) {
        c = Mix(nearHill, meadow, (v - near) * 2.5);
        c = Mix(c, Colour{60, 96, 70}, (Fractal(x / 14.0, y / 9.0) - 0.45) * 0.8);
      }
      // Each panel sits on a soft shadow with a thin warm rim, so the layout reads as framed.
      for (const Box& b : kPanels) {
        const double d = Outside(b, x - 2.0, y - 3.0);
        if (d > 0 && d < 6) c = Mix(c, Colour{20, 24, 36}, 0.45 * (1 - d / 6));
        const double rim = Outside(b, x, y);
        if (rim > 0.5 && rim <= 2.0) c = Mix(c, Colour{236, 214, 160}, 0.55);
      }
      // A gentle vignette keeps the eye on the middle.
      const double dx = u - 0.5, dy = v - 0.5;
      c = Mix(c, Colour{16, 20, 32}, (dx * dx + dy * dy) * 0.9);
      uint8_t* p = &rgb[(static_cast<size_t>(y) * kScreenWidth + x) * 3];
      p[0] = static_cast<uint8_t>(std::lround(std::clamp(c.r, 0.0, 255.0)));
      p[1] = static_cast<uint8_t>(std::lround(std::clamp(c.g, 0.0, 255.0)));
      p[2] = static_cast<uint8_t>(std::lround(std::clamp(c.b, 0.0, 255.0)));
    }
  return rgb;
}

std::vector<uint8_t> EncodeBaselineJpeg(const std::vector<uint8_t>& rgb, int width, int height) {
  tjhandle tj = tjInitCompress();
  if (!tj) throw Error("cannot start the JPEG encoder");
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  // Sequential Huffman coding with the standard tables, 4:2:0: the plainest baseline file.
  int rc = tjCompress2(tj, rgb.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size, TJSAMP_420,
                       90, TJFLAG_ACCURATEDCT);
  std::vector<uint8_t> out;
  if (rc == 0) out.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(tj);
  if (rc != 0) throw Error("JPEG encoding failed");
  return out;
}

void GenerateBackground(const std::string& outDir) {
  WriteBytes(outDir + "/bg_image.jpg",
             EncodeBaselineJpeg(PaintBackground(), kScreenWidth, kScreenHeight));
}

} // namespace datagen
