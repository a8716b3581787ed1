// The processing module: free-standing image operations on 24-bit and 1-bit bitmaps, which the
// processing component runs on its attached bitmap and which applications may call directly.
//
// Region arguments: x1, y1 inclusive, x2, y2 exclusive. Operations return at once, changing
// nothing, when there is no bitmap or it is not in the format they work on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// =============================================================================================
// Colour adjustments and measurements
//
// Functions that end with a progress event and a Sender report after each row y of the region's
// rows y1 .. yLast: Trunc((y - y1 + 1) x (100 / (yLast - y1 + 0.5))).
// =============================================================================================

// One bin of a histogram: the number of pixels whose red, green, blue or grey value is the bin's
// index. A histogram is 256 bins.
struct THistogramItem {
  int32_t R = 0;
  int32_t G = 0;
  int32_t B = 0;
  int32_t Gray = 0;
};

// HSV with integers: H 0 .. 359, S 0 .. 99, V 0 .. 99. Values outside are clamped by HSV2RGB.
void RGB2HSV(TRGB RGB, int& H, int& S, int& V);
void HSV2RGB(TRGB& RGB, int H, int S, int V);
// HSL with doubles, each 0 .. 1 (clamped by HSL2RGB, hue included).
void RGB2HSL(TRGB RGB, double& H, double& S, double& L);
void HSL2RGB(TRGB& RGB, double H, double S, double L);

// Contrast around a mean: k = 1 - sqrt(-Contrast) / 10 below 0, else Contrast / 10 + 1; each
// channel c becomes blimit(m + Trunc((c - m) x k)). _Contrast uses one Mean for every channel.
void _Contrast(TBitmap* Bitmap, int Contrast, int Mean, int x1, int y1, int x2, int y2,
               TCXProgressEvent OnProgress, TObject* Sender);
void _ContrastRGB(TBitmap* Bitmap, int Contrast, int MeanR, int MeanG, int MeanB, int x1, int y1, int x2,
                  int y2, TCXProgressEvent OnProgress, TObject* Sender);
// The mean of every byte of every row's pixels, divided by (3 x width - 1) x (height - 1); 128
// when that cannot be computed, 0 for a bitmap that is not 24-bit.
int _GetMediaContrast(const TBitmap* Bitmap);
void _HSVvar(TBitmap* Bitmap, int DHue, int DSat, int DVal, int x1, int y1, int x2, int y2,
             TCXProgressEvent OnProgress, TObject* Sender);
void _HSLvar(TBitmap* Bitmap, int DHue, int DSat, int DLum, int x1, int y1, int x2, int y2,
             TCXProgressEvent OnProgress, TObject* Sender);
// Adds DR, DG, DB to the channels, clamped to 0 .. 255.
void _IntensityRGBall(TBitmap* Bitmap, int DR, int DG, int DB, int x1, int y1, int x2, int y2,
                      TCXProgressEvent OnProgress, TObject* Sender);
// Per channel: at or below DownLimit becomes DownVal; then above UpLimit becomes UpVal. Black and
// white limits change nothing.
void _Threshold(TBitmap* Bitmap, TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal, int x1, int y1,
                int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender);
// Pixels whose channels all lie in BeginColor .. EndColor become CastColor.
void _CastColorRange(TBitmap* Bitmap, TRGB BeginColor, TRGB EndColor, TRGB CastColor, int x1, int y1,
                     int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender);
// A per-channel level stretch: LoThresh becomes 0 and HiThresh (each channel at least 1) 255.
void _HistEqualize(TBitmap* Bitmap, TRGB LoThresh, TRGB HiThresh, int x1, int y1, int x2, int y2,
                   TCXProgressEvent OnProgress, TObject* Sender);
// Histogram equalisation of the grey levels, with a 3 x 3 local mean between the levels.
void _HistAutoEqualize(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
                       TObject* Sender);
// Every pixel becomes its grey value (R x 21 + G x 71 + B x 7) div 100 in all three channels.
void _ConvertToGray(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
                    TObject* Sender);
// 24-bit: every channel c becomes 255 - c; 1-bit: every bit of the region is inverted.
void _Negative(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender);
// Clears the 256 bins of Hist, then counts the region's pixels.
void _GetHistogram(const TBitmap* Bitmap, THistogramItem* Hist, int x1, int y1, int x2, int y2);
// The number of distinct colours in the region; 0 for a bitmap that is not 24-bit.
int _GetImageNumColors(const TBitmap* Bitmap, int x1, int y1, int x2, int y2);
// A new 24-bit grey bitmap of one channel (0 blue, 1 green, 2 red; others red), owned by the
// caller; nullptr unless the source is 24-bit.
TBitmap* _GetRGBChannel(const TBitmap* Bitmap, int Channel, TCXProgressEvent OnProgress, TObject* Sender);
void _GetRGBChannelAll(const TBitmap* Bitmap, TBitmap* R, TBitmap* G, TBitmap* B, TCXProgressEvent OnProgress,
                       TObject* Sender);
// The same for hue (0, and any other value), saturation (1) and value (2), scaled to 0 .. 255.
TBitmap* _GetHSVChannel(const TBitmap* Bitmap, int Channel, TCXProgressEvent OnProgress, TObject* Sender);
void _GetHSVChannelAll(const TBitmap* Bitmap, TBitmap* H, TBitmap* S, TBitmap* V, TCXProgressEvent OnProgress,
                       TObject* Sender);
// The index of the palette entry nearest to Color (sum of absolute differences; the first wins a
// tie); 0 for an empty palette.
int _GetSimilColor(const TRGB* Palette, int Count, TRGB Color);

// =============================================================================================
// Convolution and morphological filters
// =============================================================================================

// A 3 x 3 integer kernel: Values[row][column], row 0 above the pixel, column 0 to its left. The
// weighted sum is divided by Divisor (0 counts as 1).
struct TGraphFilter {
  int32_t Values[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  int32_t Divisor = 0;
};

enum TCXFilterPresets { fpNone, fpBlur, fpEdge, fpEmboss, fpHighPass1, fpHighPass2, fpHighPass3, LowPass1, LowPass2 };
extern const TGraphFilter CXFiltPres[9];

class EFilterInvalid : public Exception {
 public:
  using Exception::Exception;
};

// Convolves the region with the kernel, each channel apart, edges repeating the edge pixels;
// pixels outside the region but inside the bitmap take part as neighbours and stay unchanged.
void _ApplyFilter(TBitmap* Bitmap, const TGraphFilter& Filter, int x1, int y1, int x2, int y2,
                  TProgressRec& Progress);
// The 43-byte kernel file: 1, 3, 3, nine little-endian 32-bit values (row by row), the divisor.
// Loading a file with another header returns the identity kernel (divisor 1).
TGraphFilter LoadFilterFromFile(const std::string& FileName);
void SaveFilterToFile(const std::string& FileName, const TGraphFilter& Filter);
// Within a square window of (2 WinSize + 1)^2 pixels of the region, the pixel of highest (Op 0)
// or lowest (Op 1) grey value, the first in scan order on a tie; Op 2 opening (minimum, then
// maximum), Op 3 closing (maximum, then minimum). Other Ops and negative WinSize change nothing.
void _MorphFilter(TBitmap* Bitmap, int WinSize, int Op, int x1, int y1, int x2, int y2,
                  TCXProgressEvent OnProgress, TObject* Sender);

}  // namespace corvex
