// JPEG reading and writing through libjpeg (the IJG version-62 interface of libjpeg-turbo).
// Baseline and progressive files, grey, RGB, YCbCr, CMYK and YCCK; scaled decoding; the COM and
// APPn markers of a file are kept in the parameter record's marker list and written back.
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// True when the next three bytes are FF D8 FF; the stream position is kept.
bool JpegTryStream(TStream* Stream);
// Reads a JPEG image at the stream's position. With Preview only the parameters are filled.
// Unreadable input sets the abort flag; rows decoded before an error stay in the bitmap.
void ReadJPegStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview);
// Writes the bitmap (24-bit, or 1-bit through a 24-bit copy) as a JPEG with the record's
// colour space, quality, DCT method, Huffman, smoothing and progression settings, then the
// record's markers. A libjpeg error sets the abort flag.
void WriteJPegStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

}  // namespace corvex
