// Writes 32-bit pixels (0xXXRRGGBB, rows top-down) as an RGB PNG file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchPixels);

// The CRC-32 of PNG chunks and zip files, continued from crc.
uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0);
