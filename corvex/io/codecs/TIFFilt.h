// TIFF reading and writing. Reads one page (image file directory) of a file of either byte order
// into a 24-bit or 1-bit bitmap: strips or tiles, chunky or planar samples; bilevel, 2/4/8/16-bit
// grey, palette, RGB (8 or 16 bits, 5-5-5), CMYK and CIELAB; uncompressed, CCITT (modified
// Huffman, Group 3 1-D and 2-D, Group 4), LZW (through the LZW hooks), PackBits, Deflate, JPEG,
// old-style JPEG, LZMA, Zstandard and WebP; horizontal and floating-point differencing; 8, 16 and
// 32-bit unsigned and signed samples and 32 and 64-bit floating-point samples; classic TIFF and
// BigTIFF. Writes a page as a new file or appended to an existing little-endian
// file (uncompressed, PackBits, LZW with differencing, CCITT for bilevel images, CMYK); counts
// pages and deletes a page.
//
// Nothing read from a file is trusted: offsets, counts and sizes are checked against the data
// present, directory chains that loop end, and a bad file ends with the abort flag set and what
// could be read in the bitmap.
#pragma once

#include "corvex/io/CorvexIO.h"

namespace corvex {

// Reads the page whose zero-based index is Params->TIFF_ImageIndex. ImageCount receives the number
// of pages. With Params nullptr only the pages are counted; with Preview only the parameters are
// filled. The stream is positioned at the first byte of the TIFF data; offsets in the file count
// from there.
void TIFFReadStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals* Params,
                    TProgressRec& Progress, bool Preview);

// The reader in the codec calling shape (for the format registry and the I/O component).
void ReadTIFFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview);

// Writes the bitmap as a page at the stream's position; returns the number of pages in the file
// afterwards (1 for a new file), 0 when the write failed or was aborted. With Append the stream
// holds a little-endian TIFF at its position and the page is linked in at Params.TIFF_ImageIndex
// (at the end when the index is beyond the last page).
int TIFFWriteStream(TStream* Stream, bool Append, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The writer in the codec calling shape (a new file).
void WriteTIFFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The number of pages of the TIFF at the stream's position (0 when it is not a TIFF).
int _EnumTIFFImStream(TStream* Stream);

// The Compression tag of page Index of the TIFF at the stream's position (-1 when there is no
// such page). The parameter record names only some compressions (TIFF_Compression).
int _TIFFPageCompressionStream(TStream* Stream, int Index);

// The name of a compression that TIOTIFFCompression has no value for ("Deflate", "LZMA",
// "Zstandard", "WebP", "compression N" for unknown ones); empty for those it names.
std::string TIFFCompressionName(int Compression);

// Removes page Index and rewrites the stream from its position; returns the number of pages the
// file had (0 for a stream that is not TIFF). An Index outside the pages changes nothing.
int _DeleteTIFFImStream(TStream* Stream, int Index);

}  // namespace corvex
