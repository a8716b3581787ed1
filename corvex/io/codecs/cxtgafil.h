// Truevision TGA reading and writing, with the version 2.0 extension area and footer (author,
// job name, time stamp, key colour, pixel aspect ratio, gamma).
//
// Reads colour-mapped, true-colour and grey images, raw or run-length encoded, at 1, 4, 8, 16,
// 24 and 32 bits per pixel, stored top or bottom row first and left to right or mirrored.
// 16-bit pixels and colour-map entries are 5-5-5 with the top (attribute) bit ignored, 16-bit
// grey pixels are a grey byte and an alpha byte; alpha is never applied. 1-bit data becomes a
// pf1bit bitmap, everything else pf24bit.
//
// Writes 1 bit (grey), 4 and 8 bits (colour-mapped, palettes from a TCXQuantizer), 8-bit grey
// and 24 bits, raw or run-length encoded, always with the extension area and footer.
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// The content test of format detection: true when the 18 bytes at the stream's position look
// like a TGA header (image type 1, 2, 3, 9, 10 or 11, pixel depth 1, 4, 8, 16, 24 or 32) and do
// not start a portable-anymap file ("P2" to "P6" then a blank, '#' or line feed). The position
// is kept.
bool TryTGA(TStream* Stream);

// Reads the TGA image at the stream's position; the footer is looked for at the end of the
// stream. With Preview only the parameters are filled. A header that fails TryTGA's test, an
// impossible size or a colour map that is not there sets the abort flag with the bitmap
// untouched; data that ends early sets it after the rows that could be read (the others stay
// black). Progress is reported after each row; the abort flag stops the rows.
void ReadTGAStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview);

// Writes a pf24bit or pf1bit bitmap at the stream's position (any other format sets the abort
// flag and writes nothing). SamplesPerPixel 1 with BitsPerSample 1, 4 or 8 chooses that depth,
// anything else 24 bits; TGA_GrayLevel writes 8 bits as grey levels instead of a colour map;
// TGA_Compressed chooses run-length encoding (never used for 1 and 4 bits, which clear it).
void WriteTGAStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

}  // namespace corvex
