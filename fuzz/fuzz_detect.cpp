// Format detection: the position is kept, whatever the data.
#include <cstdlib>

#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  FindStreamFormat(&s);
  if (s.GetPosition() != 0) std::abort();
  return 0;
}
