// TIFF reading: the page count, then every page up to the first 16; the compression of the
// first page as `corvex info` names it; and the deletion of the first page from a copy.
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
  c.Seek(0, soBeginning);
  (void)TIFFCompressionName(_TIFFPageCompressionStream(&c, 0));
  if (pages > 0 && Size <= (1u << 16)) {
    TMemoryStream m;
    m.WriteBuffer(Data, int64_t(Size));
    m.Seek(0, soBeginning);
    _DeleteTIFFImStream(&m, 0);
  }
  return 0;
}
