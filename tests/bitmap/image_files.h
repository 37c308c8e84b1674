// Small BMP, PCX and scrambled PCX files made byte by byte for loader tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagefiles {

inline std::string Le16(uint32_t v) {
  return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
inline std::string Le32(uint32_t v) {
  return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// File header (14 bytes, never looked at) and a 40-byte information header.
inline std::string BmpHeaders(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                              uint32_t coloursUsed) {
  std::string s = "BM" + Le32(0) + Le32(0) + Le32(54);
  s += Le32(40) + Le32(uint32_t(width)) + Le32(uint32_t(height)) + Le16(1) + Le16(bits) +
       Le32(compression) + Le32(0) + Le32(0) + Le32(0) + Le32(coloursUsed) + Le32(0);
  return s;
}

inline std::string PcxHeader(int width, int height, int planes, int bytesPerLine,
                             uint8_t manufacturer = 10, uint8_t bits = 8) {
  std::string s(128, '\0');
  s[0] = char(manufacturer);
  s[1] = 5;
  s[2] = 1;
  s[3] = char(bits);
  s.replace(4, 8,
            Le16(2) + Le16(3) + Le16(uint32_t(2 + width - 1)) + Le16(uint32_t(3 + height - 1)));
  s[65] = char(planes);
  s.replace(66, 2, Le16(uint32_t(bytesPerLine)));
  return s;
}

// Run-length codes a line as a PCX writer would: runs of up to 63, literal bytes below 0xC0.
inline std::string Rle(const std::vector<uint8_t>& line) {
  std::string out;
  for (size_t i = 0; i < line.size();) {
    size_t n = 1;
    while (i + n < line.size() && line[i + n] == line[i] && n < 63)
      ++n;
    if (n > 1 || line[i] >= 0xC0) out += char(0xC0 | n);
    out += char(line[i]);
    i += n;
  }
  return out;
}

// Marker 12 and 256 red, green, blue triples; missing entries are black.
inline std::string PcxPalette(const std::vector<uint32_t>& rgb) {
  std::string s(1, '\x0c');
  for (int i = 0; i < 256; ++i) {
    uint32_t c = i < int(rgb.size()) ? rgb[i] : 0;
    s += char(c >> 16 & 0xFF);
    s += char(c >> 8 & 0xFF);
    s += char(c & 0xFF);
  }
  return s;
}

inline std::string Scramble(const std::string& plain, uint8_t key, int start) {
  std::string out = plain;
  for (size_t p = 0; p < out.size(); ++p) {
    uint8_t v = uint8_t(out[p]) ^ key;
    int n = int((p + start) % 8);
    out[p] = char(n == 0 ? v : uint8_t(v >> n | v << (8 - n)));
  }
  return out;
}

} // namespace imagefiles
