// Cursor reading: every image of the directory.
#include "corvex/io/codecs/BMPFilt.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  for (int index = 0; index < 4; ++index) {
    TPointerStream s(Data, int64_t(Size));
    TBitmap b;
    TIOParamsVals p;
    p.CUR_ImageIndex = index;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    CURTryStream(&s);
    CURReadStream(&s, &b, p, false, pr);
  }
  return 0;
}
