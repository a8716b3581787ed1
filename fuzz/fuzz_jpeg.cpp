// JPEG reading, full size and scaled,, parameters only and whole.
#include "corvex/io/codecs/jpegfilt.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TBitmap b;
  TIOParamsVals p;
  fuzz::Decode(ReadJPegStream, Data, Size, b, p, true);
  fuzz::Decode(ReadJPegStream, Data, Size, b, p, false);
  p.JPEG_Scale = ioJPEG_QUARTER;
  fuzz::Decode(ReadJPegStream, Data, Size, b, p, false);
  return 0;
}
