// Windows bitmaps, icons and cursors.
//
// Reading: the OS/2 1.x core header, the Windows 3 header and its later versions (108 and
// 124 bytes), the OS/2 2.x header; 1, 2, 4, 8, 16, 24 and 32 bits per pixel; RLE4 and RLE8;
// bit-field masks of any width for 16- and 32-bit pixels; top-down files; packed DIBs without
// the file header; JPEG and PNG data inside a bitmap. Icons and cursors: one image of the
// resource directory with its transparency mask, 32-bit images composed by their alpha over
// the record's background, PNG images (256 x 256 icons).
//
// Writing: 1, 4, 8 and 24 bits, uncompressed or RLE4 / RLE8, with the core, Windows 3 or OS/2
// 2.x header as the record's BMP_Version says.
//
// Readers never trust the file: sizes, offsets and counts are checked against the data that is
// there; bad or truncated input ends with the abort flag (keeping the rows that could be read).
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// Reads a bitmap at the stream's position. BlockSize is the number of bytes of the image in the
// stream, or 0 or less when unknown (the file header's size field is then used). With Preview
// only the parameters are filled. Indexed, 16- and 32-bit images load as 24 bits; 1-bit images
// with a black and white palette load as 1 bit (1 = white), other 1-bit ones as 24 bits.
void BMPReadStream(TStream* Stream, TBitmap* Bitmap, int BlockSize, TIOParamsVals& Params, TProgressRec& Progress,
                   bool Preview);

// Writes the bitmap at the stream's position. Bit depth: BitsPerSample when it is 1 or 4, else
// 8 when SamplesPerPixel is 1, else 24. Images with no more colours than the depth holds keep
// them exactly; others are quantized (4 and 8 bits) or dithered (1 bit). BMP_Compression
// ioBMP_RLE codes 4- and 8-bit rows (not with the core header). ColorMap receives the palette
// written. An abort leaves the headers unfinished.
void BMPWriteStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Reads image ICO_ImageIndex (CUR_ImageIndex) of an icon (cursor) file. Transparent pixels take
// ICO_Background (CUR_Background). An index outside the directory loads nothing and sets no
// flag. An icon stream that starts with "BM" is read as a bitmap.
void ICOReadStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview, TProgressRec& Progress);
void CURReadStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview, TProgressRec& Progress);

// Content tests for format detection; the stream position is kept.
bool ICOTryStream(TStream* Stream);
bool CURTryStream(TStream* Stream);
// More than 14 bytes that start with "BM".
bool BMPTryStream(TStream* Stream);

}  // namespace corvex
