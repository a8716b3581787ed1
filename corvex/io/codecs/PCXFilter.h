// PCX (PaintBrush) reading and writing.
//
// Reads 1-bit (one plane), 2-bit and 4-bit packed (one plane), 2, 3 and 4 bit planes of 1 bit
// (EGA), 8-bit with the 256-colour palette at the end of the file, and 24-bit (three planes of
// 8 bits; a fourth, alpha plane is skipped), uncompressed or run-length encoded. One-plane 1-bit
// images become pf1bit bitmaps, everything else pf24bit.
//
// Writes 1, 4, 8 or 24 bits, chosen by the record's BitsPerSample and SamplesPerPixel, raw or
// run-length encoded by PCX_Compression; 4- and 8-bit palettes come from a TCXQuantizer.
//
// Nothing in the header is trusted: sizes, plane counts and bytes per line are checked against
// one another before anything is allocated, and a header that lies ends with the abort flag.
#pragma once

#include <cstdint>
#include <string>

#include "corvex/io/CorvexIO.h"

namespace corvex {

// Reads the PCX image at the stream's position. Size is the number of bytes from there that
// belong to the image (the 256-colour palette is the last 768 of them); a Size beyond the end
// of the stream, or negative, means "up to the end". With Preview only the parameters are
// filled. A file that is not a PCX or has an impossible header sets the abort flag and leaves
// bitmap and parameters untouched; data that ends early sets it after the rows that were read.
void ReadPcxStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t Size, TProgressRec& Progress,
                   bool Preview);
// Opens the file read-only and reads it whole (Preview false).
void ReadPcx(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Writes the bitmap at the stream's position. Depth: 1 when BitsPerSample is 1, otherwise
// BitsPerSample x SamplesPerPixel brought to 4, 8 or 24 (up to 4 gives 4, up to 8 gives 8,
// more gives 24). An abort during the rows leaves the rows written so far and no palette.
void WritePcxStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
// Creates (or truncates) the file and writes it.
void WritePcx(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

}  // namespace corvex
