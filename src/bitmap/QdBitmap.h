// The picture object every part of the game draws through. TQdBitmap keeps its pixels on the heap,
// rows bottom-up as a device-independent bitmap; the surface classes keep them in DirectDraw
// memory. Rows are reached only through GetScanLine inside a Lock/Unlock bracket.
#pragma once

#include "bitmap/QdGeometry.h"
#include "platform/platform.h"

#include <cstdint>
#include <memory>
#include <string>

class TQdStream;

constexpr uint32_t OpaqueAlpha = 0xFF000000u;

// Keep the top bits of each channel and drop alpha.
constexpr uint16_t ColorTo16(uint32_t c) {
  return static_cast<uint16_t>((((c >> 19) & 0x1F) << 11) | (((c >> 10) & 0x3F) << 5) |
                               ((c >> 3) & 0x1F));
}
constexpr uint16_t ColorTo15(uint32_t c) {
  return static_cast<uint16_t>((((c >> 19) & 0x1F) << 10) | (((c >> 11) & 0x1F) << 5) |
                               ((c >> 3) & 0x1F));
}

class TQdBitmap {
public:
  // Colour, x, y, width, height of an already clipped rectangle.
  using TRectProc = void (TQdBitmap::*)(uint32_t colour, int32_t x, int32_t y, int32_t width,
                                        int32_t height);

  static constexpr const char* Unit = "Vesk3_sub";
  // Largest pixel block a bitmap takes; anything bigger comes from a broken file header.
  static constexpr int64_t MaxStorageBytes = int64_t(1) << 28;

  // An empty bitmap, as Initialize leaves it.
  TQdBitmap();
  // Allocation failure is not reported: the bitmap is then simply empty.
  TQdBitmap(int32_t width, int32_t height, int32_t bitCount, IDirectDraw7* directDraw = nullptr);
  // Loads by extension (".bmp", ".pcx", ".kv0", any case); anything else stays empty.
  TQdBitmap(const std::string& fileName, int32_t bitCount, IDirectDraw7* directDraw = nullptr);
  virtual ~TQdBitmap();
  TQdBitmap(const TQdBitmap&) = delete;
  TQdBitmap& operator=(const TQdBitmap&) = delete;

  void FreeImage() { FreeStorage(); }

  virtual void Initialize(IDirectDraw7* directDraw);
  virtual bool Allocate(int32_t width, int32_t height, int32_t bitCount);
  virtual bool FreeStorage();
  virtual uint8_t* GetScanLine(int32_t y);
  virtual void SetColorKey(uint32_t colour);
  virtual void Lock();
  virtual void Unlock();
  // Copies sourceRect of source to the position of destination's top-left corner, skipping pixels
  // equal to source.ColorKey when useKey is set. Source and this may be the same bitmap.
  virtual void Draw(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
                    bool useKey);
  // Presents the whole bitmap at (x, y); alpha only matters for texture bitmaps.
  virtual void DrawToScreen(HDC dc, int32_t x, int32_t y, int32_t alpha);
  // Presents rectangle r of the bitmap at the same offset from (x, y) as it has in the bitmap.
  virtual void DrawRectToScreen(HDC dc, int32_t x, int32_t y, const TRect& r);

  // Shrinks both rectangles alike until destination lies inside this bitmap; false when nothing
  // is left.
  bool ClipToBitmap(TRect& source, TRect& destination) const;
  void FillRect(uint32_t colour, const TRect& r);
  void XorRect(uint32_t colour, const TRect& r);

  void Fill32(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height);
  void Fill16(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height);
  void Fill15(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height);
  void Xor32(uint32_t colour, int32_t x, int32_t y, int32_t width, int32_t height);

  bool LoadBmp(TQdStream& stream, int32_t bitCount);
  // scrambleParam 0 reads plain PCX; otherwise key in bits 0-7, start rotation in bits 8-15.
  bool LoadPcx(TQdStream& stream, int32_t bitCount, uint32_t scrambleParam);

  uint8_t Kind = 0; // 0 software, 1 DirectDraw surface, 2 Direct3D texture
  int32_t LockCount = 0;
  uint8_t* Pixels = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;
  int32_t Pitch = 0;
  uint32_t ColorKey = 0;
  TRectProc FillProc = &TQdBitmap::Fill32;
  TRectProc XorProc = &TQdBitmap::Xor32;

protected:
  // Steps of the file constructor after Initialize, shared with the surface classes.
  void LoadFromFile(const std::string& fileName, int32_t bitCount);
  // Clips for a copy: against this bitmap first, then against the source's extent, and makes both
  // rectangles the same size. False when nothing is left to copy.
  bool ClipForDraw(TRect& source, TRect& destination, const TQdBitmap& sourceBitmap) const;
  // The software copy of already clipped rectangles; 32-bit pixels only.
  void CopyPixels(const TRect& destination, TQdBitmap& source, const TRect& sourceRect,
                  bool useKey);
  // Runs a per-row routine over the part of (x, y, width, height) inside this bitmap's storage.
  template <typename RowFn>
  void ForEachRow(int32_t x, int32_t y, int32_t width, int32_t height, int32_t bytesPerPixel,
                  RowFn fn);

private:
  std::unique_ptr<uint8_t[]> Storage;
};

// Holds a bitmap locked for the life of the guard.
class TQdLockGuard {
public:
  explicit TQdLockGuard(TQdBitmap& bitmap) : bitmap_(bitmap) { bitmap_.Lock(); }
  ~TQdLockGuard() { bitmap_.Unlock(); }
  TQdLockGuard(const TQdLockGuard&) = delete;
  TQdLockGuard& operator=(const TQdLockGuard&) = delete;

private:
  TQdBitmap& bitmap_;
};
