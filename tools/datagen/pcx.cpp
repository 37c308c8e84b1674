#include "pcx.h"

#include "common.h"

#include <algorithm>

namespace datagen {

std::vector<uint8_t> EncodePcx(const IndexedPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 || picture.width > 0xFFFF ||
      picture.height > 0xFFFF ||
      picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height)
    throw Error("bad picture size for PCX");
  const int bytesPerLine = (picture.width + 1) & ~1; // lines are an even number of bytes
  std::vector<uint8_t> out;
  out.push_back(10); // manufacturer
  out.push_back(5);  // version: with palette
  out.push_back(1);  // run-length encoding
  out.push_back(8);  // bits per pixel and plane
  PutLe16(out, 0);
  PutLe16(out, 0);
  PutLe16(out, static_cast<unsigned>(picture.width - 1));
  PutLe16(out, static_cast<unsigned>(picture.height - 1));
  PutLe16(out, 72);
  PutLe16(out, 72);
  out.resize(out.size() + 48 + 1, 0); // 16-colour palette, reserved
  out.push_back(1);                   // planes
  PutLe16(out, static_cast<unsigned>(bytesPerLine));
  PutLe16(out, 1); // palette is colour
  out.resize(128, 0);

  std::vector<uint8_t> line(bytesPerLine, 0);
  for (int y = 0; y < picture.height; ++y) {
    std::copy_n(picture.pixels.begin() + static_cast<size_t>(y) * picture.width, picture.width,
                line.begin());
    for (int x = 0; x < bytesPerLine;) {
      int run = 1;
      while (x + run < bytesPerLine && run < 63 && line[x + run] == line[x])
        ++run;
      if (run > 1 || line[x] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
      out.push_back(line[x]);
      x += run;
    }
  }
  out.push_back(12);
  for (const Rgb& c : picture.palette) {
    out.push_back(c.r);
    out.push_back(c.g);
    out.push_back(c.b);
  }
  return out;
}

namespace {
uint8_t Ror(uint8_t v, unsigned n) {
  n &= 7;
  return n ? static_cast<uint8_t>(v >> n | v << (8 - n)) : v;
}
uint8_t Rol(uint8_t v, unsigned n) {
  n &= 7;
  return n ? static_cast<uint8_t>(v << n | v >> (8 - n)) : v;
}
} // namespace

void Scramble(std::vector<uint8_t>& bytes, uint8_t key, unsigned start) {
  for (size_t p = 0; p < bytes.size(); ++p)
    bytes[p] = Ror(static_cast<uint8_t>(bytes[p] ^ key), static_cast<unsigned>((p + start) % 8));
}

void Unscramble(std::vector<uint8_t>& bytes, uint8_t key, unsigned start) {
  for (size_t p = 0; p < bytes.size(); ++p)
    bytes[p] = static_cast<uint8_t>(Rol(bytes[p], static_cast<unsigned>((p + start) % 8)) ^ key);
}

bool DecodePcx(const std::vector<uint8_t>& file, IndexedPicture& out) {
  if (file.size() < 128 + 769) return false;
  auto le16 = [&](size_t at) { return file[at] | file[at + 1] << 8; };
  if (file[0] != 10 || file[3] != 8 || file[65] != 1) return false;
  const int width = le16(8) - le16(4) + 1, height = le16(10) - le16(6) + 1;
  const int bytesPerLine = le16(66);
  if (width <= 0 || height <= 0 || bytesPerLine < width) return false;
  if (file[file.size() - 769] != 12) return false;
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<size_t>(width) * height, 0);
  const size_t end = file.size() - 769;
  size_t at = 128;
  std::vector<uint8_t> line(bytesPerLine);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < bytesPerLine;) {
      if (at >= end) return false;
      uint8_t b = file[at++];
      int n = 1;
      if (b >= 0xC0) {
        n = b & 0x3F;
        if (at >= end) return false;
        b = file[at++];
      }
      if (i + n > bytesPerLine) return false;
      for (int k = 0; k < n; ++k)
        line[i++] = b;
    }
    std::copy_n(line.begin(), width, out.pixels.begin() + static_cast<size_t>(y) * width);
  }
  for (int k = 0; k < 256; ++k)
    out.palette[k] = {file[end + 1 + 3 * k], file[end + 2 + 3 * k], file[end + 3 + 3 * k]};
  return true;
}

} // namespace datagen
