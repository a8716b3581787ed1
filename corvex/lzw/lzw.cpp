#include "corvex/lzw/lzw.h"

namespace corvex {

void CXInstallLZW() {
  DefGIF_LZWDECOMPFUNC = GIFLZWDecompress;
  DefGIF_LZWCOMPFUNC = GIFLZWCompress;
  DefTIFF_LZWDECOMPFUNC = TIFFLZWDecompress;
  DefTIFF_LZWCOMPFUNC = TIFFLZWCompress;
}

}  // namespace corvex
