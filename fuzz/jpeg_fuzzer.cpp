// The JPEG decoder on arbitrary bytes, then its output at every pixel depth into buffers of exactly
// the size the picture calls for.
#include "fuzz_support.h"
#include "resource/QdJpeg.h"

#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzzsupport::Require;
  TQdJpeg jpeg;
  const bool ok = jpeg.LoadFromMemory(data, size);
  uint8_t palette[1024];
  if (!jpeg.HasPicture()) {
    // Nothing may be written when there is no picture.
    jpeg.CopyPixelsTo(nullptr, 0, palette, 32);
    return 0;
  }
  Require(ok && jpeg.Width() > 0 && jpeg.Height() > 0);
  const int32_t width = jpeg.Width(), height = jpeg.Height();
  for (int i = 0; i < 1024; ++i)
    palette[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> pixels;
  for (int bits : {8, 15, 16, 24, 32}) {
    const int32_t pitch = width * ((bits + 7) / 8);
    pixels.assign(static_cast<size_t>(pitch) * height, 0);
    Require(jpeg.CopyPixelsTo(pixels.data(), pitch, palette, bits));
  }
  // Without a palette 8 bits is refused and writes nothing.
  Require(!jpeg.CopyPixelsTo(pixels.data(), width, nullptr, 8));
  return 0;
}
