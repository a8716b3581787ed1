// TIFF reading: the page count, then every page up to the first 16.
#include "corvex/io/codecs/TIFFilt.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream c(Data, int64_t(Size));
  const int pages = _EnumTIFFImStream(&c);
  for (int page = 0; page < 16 && (page == 0 || page < pages); ++page) {
    TBitmap b;
    TIOParamsVals p;
    p.TIFF_ImageIndex = page;
    fuzz::Decode(ReadTIFFStream, Data, Size, b, p);
  }
  return 0;
}
