// The metafile player: loading, then playing into a small bitmap.
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/metafile/metafile.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  TMetafile m;
  try {
    m.LoadFromStream(&s);
  } catch (const Exception&) {
    return 0;  // refused: not a metafile
  }
  TBitmap b(96, 64, pf24bit);
  m.Play(b.GetCanvas(), Rect(0, 0, 96, 64));
  return 0;
}
