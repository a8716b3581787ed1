// The parameter-record stream: whatever it holds, loading raises a stream error or succeeds,
// and what loaded saves again.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  TIOParamsVals p;
  try {
    p.LoadFromStream(&s);
  } catch (const EStreamError&) {
    return 0;
  }
  TMemoryStream out;
  p.SaveToStream(&out);
  p.GetFileTypeStr();
  return 0;
}
