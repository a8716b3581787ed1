// BMP reading, with the block size taken from the data and unknown.
#include "corvex/io/codecs/BMPFilt.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  for (bool preview : {true, false}) {
    TPointerStream s(Data, int64_t(Size));
    TBitmap b;
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    BMPReadStream(&s, &b, Size % 2 ? int(Size) : 0, p, pr, preview);
  }
  return 0;
}
