// Pixel row routines shared by the software display and the bitmap classes; plain C++, so they
// serve every platform build.
#pragma once

#include <cstdint>

namespace rows {

// Fills count pixels of 4 or 2 bytes with value (its low 16 bits for 2).
void FillRow(uint8_t* p, int count, int bytesPerPixel, uint32_t value);
// Copies count pixels; src and dst must not overlap.
void CopyRow32(uint32_t* dst, const uint32_t* src, int count);
// Copies the pixels whose value lies outside [lo, hi]; src and dst must not overlap.
void KeyedCopyRow32(uint32_t* dst, const uint32_t* src, int count, uint32_t lo, uint32_t hi);

} // namespace rows
