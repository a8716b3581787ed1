// Decode by content, then encode in every format the library writes and decode each result
// again: the writers must take whatever a reader produced, and readers what writers wrote.
#include <cstdlib>

#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  TPointerStream s(Data, int64_t(Size));
  TBitmap b;
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  // The size first, from the parameters alone: decoding large images would spend the run on the
  // readers, which have harnesses of their own.
  io.ParamsFromStream(&s);
  if (int64_t(io.GetParams().Width) * io.GetParams().Height > 256 * 256) return 0;
  s.SetPosition(0);
  io.LoadFromStream(&s);
  if (io.GetAborting() || b.GetEmpty() || int64_t(b.GetWidth()) * b.GetHeight() > 256 * 256) return 0;
  for (int type : {ioBMP, ioPNG, ioTIFF, ioPCX, ioTGA, ioGIF, ioJPEG}) {
    TMemoryStream m;
    try {
      io.SaveToStream(&m, type);
    } catch (const Exception&) {
      continue;  // the PNG writer raises for libpng errors, by design
    }
    if (io.GetAborting()) std::abort();  // a writer refused a bitmap a reader produced
    m.SetPosition(0);
    TBitmap back;
    TCorvexIO in;
    in.SetAttachedBitmap(&back);
    in.LoadFromStreamFormat(&m, type);
    if (in.GetAborting() || back.GetWidth() != b.GetWidth() || back.GetHeight() != b.GetHeight()) std::abort();
  }
  return 0;
}
