#include "bitmap/QdBitmap.h"

#include "platform/fatal.h"

#include <limits>
#include <new>

TQdBitmap::TQdBitmap() = default;

TQdBitmap::TQdBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  Allocate(width, height, bitCount);
}

TQdBitmap::TQdBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw) {
  Initialize(directDraw);
  LoadFromFile(fileName, bitCount);
}

TQdBitmap::~TQdBitmap() = default;

void TQdBitmap::Initialize(IDirectDraw7*) {
  Kind = 0;
  LockCount = 0;
  Pixels = nullptr;
  Storage.reset();
  Width = 0;
  Height = 0;
  BitCount = 0;
  Pitch = 0;
  ColorKey = 0;
  FillProc = &TQdBitmap::Fill32;
  XorProc = &TQdBitmap::Xor32;
}

bool TQdBitmap::Allocate(int32_t width, int32_t height, int32_t bitCount) {
  const int64_t pitch = int64_t(width) * ((int64_t(bitCount) + 7) / 8);
  const bool pitchFits = pitch >= 0 && pitch <= std::numeric_limits<int32_t>::max();
  // A refusal must not give the block already held another row length.
  if (Pixels == nullptr) Pitch = pitchFits ? static_cast<int32_t>(pitch) : 0;
  // Only the three pixel formats the fill, copy and XOR routines know get storage: any other
  // size would let a 32-bit routine run past the ends of the rows.
  if (width <= 0 || height <= 0 || !pitchFits) return false;
  if (bitCount != 15 && bitCount != 16 && bitCount != 32) return false;
  if (pitch * height > MaxStorageBytes) return false;
  Pitch = static_cast<int32_t>(pitch);

  Storage.reset(new uint8_t[static_cast<size_t>(pitch * height)]);
  Pixels = Storage.get();
  Width = width;
  Height = height;
  BitCount = bitCount;
  if (bitCount == 15)
    FillProc = &TQdBitmap::Fill15;
  else if (bitCount == 16)
    FillProc = &TQdBitmap::Fill16;
  else
    FillProc = &TQdBitmap::Fill32;
  return true;
}

bool TQdBitmap::FreeStorage() {
  if (Pixels != nullptr) {
    Storage.reset();
    Pixels = nullptr;
  }
  return true;
}

uint8_t* TQdBitmap::GetScanLine(int32_t y) {
  QD_ASSERT(LockCount > 0, Unit, 810);
  if (Pixels == nullptr || y < 0 || y >= Height) return nullptr;
  return Pixels + static_cast<ptrdiff_t>(Height - 1 - y) * Pitch;
}

void TQdBitmap::SetColorKey(uint32_t colour) {
  ColorKey = colour;
}

void TQdBitmap::Lock() {
  QD_ASSERT(LockCount >= 0, Unit, 831);
  ++LockCount;
}

void TQdBitmap::Unlock() {
  QD_ASSERT(LockCount > 0, Unit, 837);
  --LockCount;
}
