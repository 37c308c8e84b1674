// Small map files made in memory for the world tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MapBuilder {
  MapBuilder(int w, int h) : W(w), H(h) {
    for (auto& l : Layers)
      l.assign(static_cast<size_t>(w * h), 0);
  }
  MapBuilder& Set(int layer, int x, int y, uint8_t v) {
    Layers[layer][static_cast<size_t>(y * W + x)] = v;
    return *this;
  }
  MapBuilder& Fill(int layer, uint8_t v) {
    Layers[layer].assign(Layers[layer].size(), v);
    return *this;
  }
  std::string Bytes() const {
    std::string out = Header(W, H);
    for (const auto& l : Layers)
      out.append(l.begin(), l.end());
    return out;
  }
  static std::string Header(int w, int h) {
    return std::string{'\x12',
                       '\x34',
                       '\x56',
                       '\x78',
                       static_cast<char>(w & 0xFF),
                       static_cast<char>(w >> 8),
                       static_cast<char>(h & 0xFF),
                       static_cast<char>(h >> 8)};
  }

  int W, H;
  std::vector<uint8_t> Layers[4];
};
