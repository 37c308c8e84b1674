// The BMP loader on arbitrary bytes, into bitmaps of each depth it may be asked for.
#include "fuzz_support.h"
#include "resource/QdStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::AbortOnFatalError();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int32_t bits : {32, 16, 15}) {
    TQdMemoryStream stream(data, size);
    fuzzsupport::TFuzzBitmap bitmap;
    const bool loaded = bitmap.LoadBmp(stream, bits);
    fuzzsupport::Require(loaded == (bitmap.Pixels != nullptr));
    fuzzsupport::CheckBitmap(bitmap);
  }
  return 0;
}
