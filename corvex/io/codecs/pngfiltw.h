// PNG writing through libpng: truecolour, 256-entry palettes built by the colour quantizer, and
// 1-bit grey, with Adam7 interlacing, a row filter and a deflate level from the parameter record.
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// Writes the bitmap at the stream's position. BitsPerSample 1 gives a 1-bit grey image (a
// two-colour bitmap keeps its two colours as black and white, others are dithered);
// SamplesPerPixel 1 gives a palette image; anything else RGB. Raises EInvalidGraphic
// "Error on creating PNG" when libpng fails; the abort flag stops the rows.
void WritePNGStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

}  // namespace corvex
