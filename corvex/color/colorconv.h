// Colour-depth conversion below the codecs and the image operations: two-colour detection,
// black and white by ordered dither or threshold, 1-bit to 24-bit expansion, reduction to N
// colours, row conversion between bit depths, palette matching and red-blue swapping. The
// palette writers of every format and the processing operations share these.
//
// Grey value of a pixel: (R * 21 + G * 71 + B * 7) div 100 (white gives 252).
// Progress: functions taking a progress record set its PercentPerUnit to 100 / (height + 0.5)
// and report Trunc(PercentPerUnit * rows) through it; they never stop early (the abort flag is
// not consulted), so a conversion always completes.
#pragma once

#include <cstdint>

#include "corvex/core/defs.h"
#include "corvex/platform/graphics/palette.h"

namespace corvex {

class TCXQuantizer;

// The mean red, green and blue of the whole 24-bit bitmap: each channel's sum divided by
// (width - 1) * (height - 1), truncated. Every mean is 128 when that cannot be computed (width
// or height under 2, or a bitmap that is not 24-bit).
void _GetMediaContrastRGB(const TBitmap* Bitmap, int& MeanR, int& MeanG, int& MeanB);

// Reduces a 24-bit bitmap to NumColors colours in place (it stays 24-bit): a TCXQuantizer with
// automatic quality builds the palette into Palette (NumColors entries; a temporary one when
// nullptr) and every pixel becomes its palette colour. At most 256 colours; NumColors < 1 does
// nothing. Reports Trunc(100 / (height + 0.5) * rows done) after each row.
void _ConvertTo(TBitmap* Bitmap, int NumColors, TRGB* Palette, TCXProgressEvent OnProgress, TObject* Sender);

// Lossless two-colour detection: when the 24-bit bitmap has exactly two colours, returns a new
// 1-bit bitmap (the caller owns it) in which bit 0 stands for the darker colour Col1 and bit 1
// for Col2 (ties in grey keep the order of appearance). Returns nullptr for one colour, more
// than two, an empty bitmap or one that is not 24-bit.
TBitmap* _ConvertTo1bit(const TBitmap* Bitmap, TRGB& Col1, TRGB& Col2);

// Replaces a 24-bit bitmap by its black-and-white ordered dither (8 x 8 matrix): a pixel is
// white when (grey div 4) exceeds the matrix value at (x mod 8, y mod 8). Reports
// Trunc(PercentPerUnit * y) before row y.
void _ConvertToBWOrdered(TBitmap* Bitmap, TProgressRec& Progress);

// Replaces a 24-bit bitmap by black (grey < Threshold) and white. Threshold -1 takes the grey
// value of the mean colour (_GetMediaContrastRGB, each mean limited to 0 .. 255). Reports
// Trunc(PercentPerUnit * (y + 1)) after row y.
void _ConvertToBWThreshold(TBitmap* Bitmap, int Threshold, TProgressRec& Progress);

// Dst becomes the 24-bit black-and-white copy of the 1-bit bitmap Src (Src may be Dst).
// Nothing happens unless Src is 1-bit. Reports Trunc(PercentPerUnit * (y + 1)) after row y.
void _Conv1to24(const TBitmap* Src, TBitmap* Dst, TProgressRec& Progress);

// Inverts every byte of every row of a 1-bit bitmap, padding included.
void _Negative1Bit(TBitmap* Bitmap);

// Converts one row of Width pixels from SrcBitCount to DstBitCount bits per pixel:
//   1->1, 4->4, 8->8, 24->24 copy; 1->4, 1->8, 4->8 widen the indices; 8->1 keeps bit 0 of each
//   index; 1->24, 4->24, 8->24 look the indices up in Palette (PaletteHigh + 1 entries; indices
//   past it give black); 24->4 and 24->8 store Quantizer's index of each pixel (nothing without
//   a quantizer); 32->24 drops the fourth byte.
// Returns the number of bytes written to Dst (3 * Width for 24-bit destinations), 0 for a pair
// that is not supported (Dst is then untouched).
int _ConvertXBitsToYBits(const uint8_t* Src, uint8_t* Dst, uint16_t SrcBitCount, uint16_t DstBitCount,
                         uint16_t Width, const TRGB* Palette, int PaletteHigh, const TCXQuantizer* Quantizer);

// A logical palette (version 0x300) with the Count colours of Palette, flags 0; free it with
// DeletePalette. 0 when Palette is nullptr or Count is not 1 .. 65535.
HPALETTE _CreateWinPalette(const TRGB* Palette, int Count);

// Copies Count pixels from Src to Dst, swapping red and blue (Dst and Src may be the same).
void _CopyBGR_RGB(TRGB* Dst, const TRGB* Src, int Count);
// Swaps red and blue of Count pixels in place.
void _RGB2BGR(TRGB* Pixels, int Count);

// The index of the palette entry nearest to Color (sum of absolute differences; the first wins a
// tie); 0 for an empty palette.
int _GetSimilColor(const TRGB* Palette, int Count, TRGB Color);

}  // namespace corvex
