// PNG reading, parameters only and whole.
#include "corvex/io/codecs/pngfilt.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TBitmap b;
  TIOParamsVals p;
  fuzz::Decode(ReadPNGStream, Data, Size, b, p, true);
  fuzz::Decode(ReadPNGStream, Data, Size, b, p, false);
  return 0;
}
