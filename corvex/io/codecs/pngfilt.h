// PNG reading through libpng: every bit depth and colour type, palettes with transparency, grey
// and colour with alpha, 16-bit samples, Adam7 interlacing. Alpha and transparent pixels are
// composed over the file's background colour (bKGD) when it has one, else over PNG_Background.
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// True when the next 8 bytes are the PNG signature; the stream position is kept.
bool IsPNGStream(TStream* Stream);
// Reads a PNG image at the stream's position into a 1-bit bitmap (1-bit grey, and black-and-white
// palettes) or a 24-bit one (everything else). With Preview only the parameters are filled.
// Any libpng error ends the read with the abort flag; rows read before it stay in the bitmap.
void ReadPNGStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview);

}  // namespace corvex
