// The full-screen background picture behind the world view and the two text windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

constexpr int kScreenWidth = 640, kScreenHeight = 480;

// 640 x 480, three bytes per pixel (red, green, blue), rows top to bottom.
std::vector<uint8_t> PaintBackground();
std::vector<uint8_t> EncodeBaselineJpeg(const std::vector<uint8_t>& rgb, int width, int height);

void GenerateBackground(const std::string& outDir);

} // namespace datagen
