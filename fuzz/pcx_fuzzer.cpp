// The PCX loader on arbitrary bytes, read both as a plain PCX file and as a scrambled ".kv0" file,
// into bitmaps of each depth.
#include "bitmap/ImageLoaders.h"
#include "fuzz_support.h"
#include "resource/QdStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (uint32_t scramble : {0u, uint32_t{Kv0Key}}) {
    for (int32_t bits : {32, 16, 15}) {
      TQdMemoryStream stream(data, size);
      fuzzsupport::TFuzzBitmap bitmap;
      const bool loaded = bitmap.LoadPcx(stream, bits, scramble);
      fuzzsupport::Require(loaded == (bitmap.Pixels != nullptr));
      fuzzsupport::CheckBitmap(bitmap);
    }
  }
  return 0;
}
