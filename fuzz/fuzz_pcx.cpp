// PCX reading with the block size of the data.
#include "corvex/io/codecs/PCXFilter.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  TBitmap b;
  TIOParamsVals p;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  ReadPcxStream(&s, &b, p, int64_t(Size), pr, false);
  return 0;
}
