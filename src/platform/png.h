// Writes 32-bit pixels (0xXXRRGGBB, rows top-down) as an RGB PNG file.
#pragma once

#include <cstdint>
#include <string>

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchPixels);
