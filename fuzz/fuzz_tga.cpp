// TGA reading and its content test.
#include "corvex/io/codecs/cxtgafil.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  TryTGA(&s);
  TBitmap b;
  TIOParamsVals p;
  fuzz::Decode(ReadTGAStream, Data, Size, b, p);
  return 0;
}
