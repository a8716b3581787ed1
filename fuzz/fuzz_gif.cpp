// GIF reading: the image count, then every image up to the first 16.
#include "corvex/io/codecs/GIFFilter.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  int count = 0;
  for (int index = 0; index < 16 && (index == 0 || index < count); ++index) {
    TPointerStream s(Data, int64_t(Size));
    TBitmap b;
    TIOParamsVals p;
    p.GIF_ImageIndex = index;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadGifStream(&s, &b, count, p, pr, false);
  }
  return 0;
}
