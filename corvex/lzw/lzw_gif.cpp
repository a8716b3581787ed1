// Placeholder until the GIF coders are written: a decoder that consumes nothing (the codec then
// reports failure) and an encoder that writes nothing.
#include "corvex/lzw/lzw.h"

namespace corvex {

int GIFLZWDecompress(TStream*, int, int, uint8_t*, bool) { return 0; }
int GIFLZWCompress(TStream*, int, int, int, const uint8_t*, bool) { return 0; }

}  // namespace corvex
