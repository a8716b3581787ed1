// The processing module: free-standing image operations on 24-bit and 1-bit bitmaps, which the
// processing component runs on its attached bitmap and which applications may call directly.
//
// Region arguments: x1, y1 inclusive, x2, y2 exclusive. Operations return at once, changing
// nothing, when there is no bitmap or it is not in the format they work on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvex/core/defs.h"
#include "corvex/platform/palette.h"

namespace corvex {

class TCXQuantizer;

// =============================================================================================
// Colour-depth conversion, dithering and DIB import
//
// Conversions between the two pixel layouts (24-bit and 1-bit), reduction to N colours, black
// and white by ordered dither or threshold, row conversion between bit depths for the codecs,
// and the import of packed device-independent bitmaps (clipboard, scanners, video frames,
// including the packed and planar YUV video layouts).
//
// Grey value of a pixel: (R * 21 + G * 71 + B * 7) div 100 (white gives 252).
// Progress: functions taking a progress record set its PercentPerUnit to 100 / (height + 0.5)
// and report Trunc(PercentPerUnit * rows) through it; they never stop early (the abort flag is
// not consulted), so a conversion always completes.
// =============================================================================================

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

// Largest picture _CopyDIB2Bitmap makes: 1 GiB of pixel rows.
constexpr uint64_t kMaxDIBImageBytes = uint64_t(1) << 30;

// Converts a packed DIB (40-byte or longer information header, colour table, pixel rows) into
// Bitmap, which becomes 1-bit for a 1-bit DIB and 24-bit otherwise, with the DIB's size.
//   DIB       a global memory handle (IsPointer false; locked for the call, bounded by its
//             size) or the address of the header (IsPointer true; DIBSize bytes are readable).
//   Bits      when not nullptr, the pixel data (BitsSize bytes) instead of the bytes after the
//             colour table.
//   DIBSize   with a handle, limits the block further when not 0.
// Reads 1, 4, 8, 16, 24 and 32 bits uncompressed; 16 and 32 bits with bit-field masks; 8 and 4
// bits run-length encoded (skipped pixels take colour 0 of the table); top-down DIBs (negative
// height); and the YUV layouts named by their FOURCC codes (I420/IYUV, YV12, YVU9, YUY2/YUNV,
// UYVY/UYNV, YVYU, cyuv, IYU1, IYU2, Y41P, Y211, CLJR). Colour-table indices past the table
// give black; a 1-bit DIB whose table lists a lighter colour first is inverted, so that set
// bits are always the lighter (white) colour.
// Returns the DIB's bit count. Failure: returns 0 and leaves Bitmap untouched when the DIB is
// unreadable (no data, a header shorter than 40 bytes, a zero or negative width, pixel data
// shorter than the rows need, an unknown compression or bit count, a picture over
// kMaxDIBImageBytes, or a run-length picture over 4 megapixels with less than one byte of data
// per 1024 pixels). Run-length data that ends early or runs past a row or the image is cut
// there: what it covers is drawn, the rest keeps colour 0.
int _CopyDIB2Bitmap(uintptr_t DIB, TBitmap* Bitmap, const void* Bits, bool IsPointer, size_t DIBSize = 0,
                    size_t BitsSize = 0);

// YUV frame converters. Each converts a whole frame from Data (DataSize bytes) into the 24-bit
// Bitmap, which must already have the frame's size: rows are written from row 0 down when
// TopDown is true, else from the last row up; the source is read row after row without
// padding. Returns false, writing nothing, when Bitmap is not a non-empty 24-bit bitmap or
// DataSize is shorter than the frame.
// Packed layouts convert groups of pixels (IYU1 4 pixels in 6 bytes, IYU2 1 in 3, UYVY, YUY2 and
// YVYU 2 in 4, Y41P 8 in 12, Y211 4 in 4, CLJR 4 in a 32-bit word). A row whose width is not a
// whole number of groups reads one more, whole group, and its first pixels fill the row's end.
// CLJR's 5-bit Y fields are widened to 8 bits by repeating their top bits (31 -> 255), its 6-bit
// U and V fields by shifting left by 2 (32 -> 128, the neutral value).
// Planar layouts: a Y plane of width x height, then two chroma planes of (width div s) x
// (height div s), s = 4 for YVU9 (V then U), 2 for YV12 (V then U) and I420 (U then V); pixels
// beyond the last chroma column or row use the last one (neutral chroma when a plane is empty).
bool _CopyIYU1ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyIYU2ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyUYVYToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyYUY2ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyYVYUToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyY41PToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyY211ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyCLJRToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyYVU9ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyYV12ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);
bool _CopyI420ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize);

// Copies Count pixels from Src to Dst, swapping red and blue (Dst and Src may be the same).
void _CopyBGR_RGB(TRGB* Dst, const TRGB* Src, int Count);
// Swaps red and blue of Count pixels in place.
void _RGB2BGR(TRGB* Pixels, int Count);

// One video YUV sample to RGB, with y = 1.164 * (Y - 16):
//   B = blimit(Round(y + 2.018 * (U - 128)))
//   G = blimit(Round(y - 0.813 * (V - 128) - 0.391 * (U - 128)))
//   R = blimit(Round(y + 1.596 * (V - 128)))
void YUV2RGB(int Y, int U, int V, TRGB& RGB);

// ===================================== end of conversion =====================================

}  // namespace corvex
