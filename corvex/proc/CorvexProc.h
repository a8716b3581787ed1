// The processing module: free-standing image operations on 24-bit and 1-bit bitmaps, which the
// processing component runs on its attached bitmap and which applications may call directly.
//
// Region arguments: x1, y1 inclusive, x2, y2 exclusive. Operations return at once, changing
// nothing, when there is no bitmap or it is not in the format they work on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/color/colorconv.h"
#include "corvex/core/cxwords.h"
#include "corvex/core/defs.h"
#include "corvex/platform/component.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/graphics/palette.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/types.h"
#include "corvex/proc/cxfft.h"
#include "corvex/view/base/CXAttach.h"

namespace corvex {

// =============================================================================================
// DIB import
//
// The import of packed device-independent bitmaps (clipboard, scanners, video frames, including
// the packed and planar YUV video layouts). The colour-depth conversions and dithering
// (_ConvertTo1bit, _ConvertToBWOrdered, _Conv1to24, _ConvertTo ...) come with
// corvex/color/colorconv.h, which this header includes.
// =============================================================================================

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

// =============================================================================================
// Geometry and resampling
//
// Filtered resampling with six reconstruction kernels, a quick variant, plain stretching,
// box-filtered reduction of 1-bit images to grey, quarter turns, rotation by any angle (three
// shears for 24-bit, inverse mapping for 1-bit) and mirroring.
// =============================================================================================

// Reconstruction kernels (distance x in source pixels; 0 at and beyond the support):
//   rfTriangle  1.0  1 - |x|
//   rfHermite   1.0  (2|x| - 3) x^2 + 1
//   rfBell      1.5  0.75 - x^2 below 0.5, else 0.5 (|x| - 1.5)^2
//   rfBSpline   2.0  0.5 |x|^3 - x^2 + 2/3 below 1, else (2 - |x|)^3 / 6
//   rfLanczos3  3.0  sinc(x) sinc(x / 3), sinc(x) = sin(pi x) / (pi x), sinc(0) = 1
//   rfMitchell  2.0  (7|x|^3 - 12x^2 + 16/3) / 6 below 1, else (-7/3 |x|^3 + 12x^2 - 20|x| + 32/3) / 6
// rfNone has no kernel: it stands for plain stretching (_CXBmpStretch).
enum TResampleFilter { rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell };

enum TFlipDir { fdHorizontal, fdVertical };

// The kernel of a filter at distance x and its support (0 and 0 for rfNone).
double CXResampleKernel(TResampleFilter Filter, double x);
double CXResampleSupport(TResampleFilter Filter);

// Separable filtered resampling of a 24-bit Src into Dst, which already has the wanted size and
// becomes 24-bit. Horizontal pass first (into a work image of Dst's width and Src's height),
// then vertical. Weights are the kernel's values at the distances (c - j), c = i / scale, over
// source pixels j from Floor(c - s) to Ceil(c + s); when shrinking the kernel is widened by
// 1 / scale and its values multiplied by scale. Weights are not normalised. Sums are taken in
// double precision in the order of j, clamped to 0 .. 255 and rounded (ties to even) after each
// pass. Source indices past an edge are mirrored (-j, 2 width - j - 1), and kept inside the
// image when the mirror still falls outside it (images smaller than the kernel).
// Progress: Trunc(y x 100 / (DstWidth + SrcHeight + 0.5)) after source row y (1-based) of the
// first pass, then Trunc((SrcHeight + x) x 100 / (DstWidth + SrcHeight + 0.5)) for x from 1 to
// DstWidth over the second pass. Nothing happens unless Src is 24-bit and both bitmaps are
// non-empty; rfNone does a plain stretch.
void _Resample(const TBitmap* Src, TBitmap* Dst, TResampleFilter Filter, TCXProgressEvent OnProgress, TObject* Sender);
// As _Resample, but only an axis that grows is filtered (with at most 13 contributors per
// pixel); an axis that shrinks is stretched by nearest pixel.
void _QuickResample(const TBitmap* Src, TBitmap* Dst, TResampleFilter Filter, TCXProgressEvent OnProgress,
                    TObject* Sender);
// Dst takes Src's pixel format (24-bit or 1-bit) and receives Src stretched to Dst's size by
// nearest pixel (the stretching DIB drawer).
void _CXBmpStretch(const TBitmap* Src, TBitmap* Dst);

// Area average of the 1-bit region x1 .. x2, y1 .. y2 (inclusive) into the grey 24-bit Dst,
// whose size the caller chooses: each destination pixel is (255 x set bits) div pixels of its
// box. Nothing when either bitmap is empty.
void _SubResample1bitFiltered(const TBitmap* Src, int x1, int y1, int x2, int y2, TBitmap* Dst);
// The same on raw rows of _BitmapRowLen(SrcWidth, 1) bytes in memory order: a new buffer of
// DstHeight rows of _BitmapRowLen(DstWidth, 24) bytes in the same order, freed by the caller
// with std::free; nullptr when a size is not positive or the region is not inside the source.
uint8_t* _SubResample1bitFilteredDIB(const void* Bits, int SrcWidth, int SrcHeight, int x1, int y1, int x2, int y2,
                                     int DstWidth, int DstHeight);

// Quarter turns of a 24-bit bitmap into Dst (Height x Width): _Rot90 counter-clockwise (Dst
// pixel (y, W - 1 - x) = Src (x, y)), _Rot90o clockwise (Dst (H - 1 - y, x) = Src (x, y)).
void _Rot90(const TBitmap* Src, TBitmap* Dst);
void _Rot90o(const TBitmap* Src, TBitmap* Dst);

// Rotation of a 1-bit bitmap by Angle degrees (counter-clockwise) by inverse mapping with
// 4-decimal sine and cosine; the new area gets Fill (0 black, 1 white). Reports Trunc(y x 100 /
// H') after each row y of the result.
void _rotate1bit(TBitmap* Bitmap, double Angle, int Fill, TProgressRec& Progress);

// Rotation of a 24-bit bitmap by Angle degrees (counter-clockwise): quarter turns down to
// -45 .. 45, then three shears (horizontal, vertical, horizontal) with 12-bit blending weights
// when AntiAlias, or plain copies. The new corners get Background. Reports Trunc(k x 100 / (H +
// W1 + H1 + 0.5)) before each row or column k of the three passes. Nothing unless 24-bit.
void _RotateShear(TBitmap* Bitmap, int Angle, bool AntiAlias, TRGB Background, TCXProgressEvent OnProgress,
                  TObject* Sender);

// Mirrors a bitmap in place: fdHorizontal swaps columns (24-bit pixel by pixel, other formats
// as 1-bit, bit by bit, so that row padding never moves into the image), fdVertical rows.
void _FlipBitmap(TBitmap* Bitmap, TFlipDir Dir);

// One pixel of a 1-bit row: bit 7 of byte 0 is column 0.
inline int _GetPixelbw(const uint8_t* Row, int x) { return Row[x >> 3] & (0x80 >> (x & 7)); }
inline void _SetPixelbw(uint8_t* Row, int x, int Value) {
  if (Value != 0) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  else Row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
}

// ===================================== end of geometry =======================================

// =============================================================================================
// Effects and selections
//
// Pictorial effects (bump mapping, an elliptical lens, a circular wave, blending with a second
// image) and the pixel work behind selections: the magic wand and the copies, clears and crops
// through a selection polygon.
//
// A selection polygon is an array of points in bitmap coordinates (pixel corners) holding one or
// more closed polygons one after another, separated by a point whose X is kPolySeparator. Each
// is filled with the even-odd rule.
// =============================================================================================

constexpr int32_t kPolySeparator = 0xFFFFF;

// How a new selection shape combines with the current one: replace it, or add it as a further
// sub-polygon (replace when there is none).
enum TCXSelOp { cxspReplace, cxspAdd };

// True only for 4 points forming an axis-parallel rectangle (edges alternately horizontal and
// vertical, none of zero length).
bool _IsRectangle(const TPoint* Poly, int Count);

// Bump mapping with a light spot over the region of a 24-bit bitmap: the grey values are the
// height field, the light (Color) falls off over LightWidth x LightHeight around (LightX,
// LightY); SrcPercent is the share of the original pixel. Nothing when LightWidth or
// LightHeight is 0. Reports Trunc((y - y1 + 1) x 100 / (rows - 1 + 0.5)) after each row.
void _BumpMapping(TBitmap* Bitmap, int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent,
                  TRGB Color, int x1, int y1, int x2, int y2, TProgressRec& Progress);
// A refracting lens: the ellipse inscribed in the Width x Height box centred on (x, y) (cut to
// the bitmap) with refraction index max(Refraction, 1). 24-bit only. Reports progress per column.
void _lens(TBitmap* Bitmap, int x, int y, int Width, int Height, double Refraction, TProgressRec& Progress);
// A circular wave around the centre (sampled bilinearly); Reflective folds it into a lens-like
// ripple. Nothing when Amplitude or WaveLength is 0. 24-bit only. Reports Trunc(row x 100 /
// height) after each row.
void _wave(TBitmap* Bitmap, int Amplitude, int WaveLength, int Phase, bool Reflective, TProgressRec& Progress);
// Blends Other, stretched to the region, into it: c = blimit(Round(c x Percent / 100 + o x (100
// - Percent) / 100)). Percent is the share of the existing image. 24-bit only.
void _Merge(TBitmap* Bitmap, const TBitmap* Other, int Percent, int x1, int y1, int x2, int y2,
            TCXProgressEvent OnProgress, TObject* Sender);

// The magic wand: the region of pixels connected (4-way) to (x, y) whose channels each differ
// from it by at most Tolerance, grown by one pixel on every side with MaxFilter, as the outline
// polygon of its outer boundary (pixel corners). A new array the caller frees with delete[];
// nullptr and Count 0 when (x, y) is outside the bitmap or it is not 24-bit.
TPoint* _MakeMagicWandPoints(const TBitmap* Bitmap, int x, int y, bool MaxFilter, int Tolerance, int& Count);

// Draws Src on Dest at (x, y) through the selection polygon: pixels of Dest outside it are never
// written.
void _CopyPolygonBitmap(TBitmap* Dest, const TBitmap* Src, int x, int y, const TPoint* Poly, int Count);
// Fills the inside of the selection polygon with Color.
void _ClearSel(TBitmap* Bitmap, const TPoint* Poly, int Count, TColor Color);
// Dst becomes (x2 - x1) x (y2 - y1) in Src's format and receives the part of Src's rectangle
// inside the polygon (Count 0: the whole rectangle); the rest keeps the new bitmap's zeros.
void _CopyBitmapPoly(const TBitmap* Src, TBitmap* Dst, int x1, int y1, int x2, int y2, const TPoint* Poly, int Count);
// Copies the polygon's part of Src into Dst with the polygon's bounding box moved to Point (Dst
// grows to hold it). Nothing for fewer than 3 points.
void _CopyPolygonToPoint(const TBitmap* Src, const TPoint* Poly, int Count, TBitmap* Dst, const TPoint& Point);
// The reverse: Src's box at Point is copied into the polygon of Dst, in place (Dst grows to hold
// the polygon's box when smaller).
void _CopyPointToPolygon(const TBitmap* Src, const TPoint* Poly, int Count, TBitmap* Dst, const TPoint& Point);
// True when both bitmaps have the same size and the same pixel memory, padding included.
bool _BitmapCompareX(const TBitmap* A, const TBitmap* B);

// ================================ end of effects and selections ==============================

// =============================================================================================
// The processing component
//
// TCorvexProc runs the operations above on a bitmap it does not own: the bitmap of an attached
// view (AttachedCorvex), the picture bitmap of an attached TImage (AttachedTImage) or a bare
// bitmap (SetAttachedBitmap); attaching one kind of target detaches the others.
// Each operation checks the bitmap, saves an undo copy when AutoUndo is set, reads the
// selection (the view's when a view is attached, else the component's own), runs on the
// selected rectangle (or on a copy of the polygon's bounding box merged back through the
// polygon, so that pixels outside it are never written) and refreshes the bitmap's owner
// (Update). Operations never raise for an unsuitable state: without a bitmap, in the wrong
// pixel format or too small they return without change.
//
// An attached view is told through its bitmap-change list and free notification, so freeing
// the view or the component first is safe either way.
// =============================================================================================

class TForm;
class TImage;
class TCXView;

enum TPreviewEffectsItem {
  peAll, peContrast, peHSV, peHSL, peRGB, peUserFilt, peEqualize, peBumpMap, peLens, peWave, peMorph, peRotate, peFFT
};
using TPreviewEffects = TSet<TPreviewEffectsItem>;
enum TPRPreviewsParamsItems { prppDefaultLockPreview };
using TPRPreviewsParams = TSet<TPRPreviewsParamsItems>;
using TCXPreviewEvent = TEvent<void(TObject* Sender, TForm* PreviewForm)>;
class TCorvexProc;
// The processing preview dialog lives in a layer above this one and registers its runner here:
// it shows the dialog for Effects on the component's selection and applies the result on OK.
using TProcPreviewsRunner = bool (*)(TCorvexProc& Proc, TPreviewEffects Effects);
void SetProcPreviewsRunner(TProcPreviewsRunner Runner);

class TCorvexProc : public TCXAttachedComponent {
 public:
  explicit TCorvexProc(TComponent* AOwner = nullptr);
  ~TCorvexProc() override;

  // --- Attachment -----------------------------------------------------------------------------
  bool GetAutoUndo() const { return AutoUndo_; }
  void SetAutoUndo(bool Value) { AutoUndo_ = Value; }
  // The colour of new or cleared area is the attachment's Background.
  TMsgLanguage GetMsgLanguage() const { return MsgLanguage_; }
  void SetMsgLanguage(TMsgLanguage Value) { MsgLanguage_ = Value; }
  TFont* GetPreviewFont() const { return PreviewFont_.get(); }
  void SetPreviewFont(const TFont* Value);
  TPRPreviewsParams GetPRPreviewParams() const { return PreviewsParams_; }
  void SetPRPreviewParams(TPRPreviewsParams Value) { PreviewsParams_ = Value; }

  TCXProgressEvent OnProgress;
  TCXPreviewEvent OnPreview;

  // The processing preview dialog for Effects; true when an effect was applied. False without a
  // 24-bit bitmap larger than 1 x 1, or when no dialog is available.
  bool DoPreviews(TPreviewEffects Effects);

  // Tells the bitmap's owner that the pixels changed: the view's Update, then its ImageChange;
  // a TImage's PictureChanged; a bare bitmap is marked modified.
  void Update();

  // --- Undo (one level) -------------------------------------------------------------------------
  virtual void SaveUndo();
  // Restores the saved copy (it stays, so a second Undo restores the same state).
  virtual void Undo();
  void ClearUndo();
  bool GetCanUndo() const;

  // --- Selection --------------------------------------------------------------------------------
  // The current selection: its rectangle and polygon (Poly nullptr and Count 0 for a plain
  // rectangle), in bitmap coordinates. With a view attached it is the view's selection (its box
  // and point list), otherwise the component's own. False, with the whole bitmap as rectangle,
  // when nothing is selected.
  bool GetReSel(int& x1, int& y1, int& x2, int& y2, const TPoint*& Poly, int& Count) const;
  int GetSelX1() const;
  int GetSelY1() const;
  int GetSelX2() const;
  int GetSelY2() const;
  // Selects a rectangle in bitmap coordinates (x2, y2 exclusive); with a view attached the
  // rectangle becomes the view's selection.
  void Select(int x1, int y1, int x2, int y2, TCXSelOp Op = cxspReplace);
  // Drops the selection (the view's too, through DeSelect): operations cover the whole bitmap.
  void SelectAll();
  // A polygon selection in bitmap coordinates (separators allowed) for a bare bitmap or a
  // TImage. Count < 1 clears the polygon and keeps the rectangle.
  void SelectPolygon(const TPoint* Poly, int Count);

  // --- Colour -----------------------------------------------------------------------------------
  void Contrast(int Amount);
  void HSLvar(int Hue, int Sat, int Lum);
  void HSVvar(int Hue, int Sat, int Val);
  void IntensityRGBall(int R, int G, int B);
  void Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal);
  void CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor);
  void HistEqualize(TRGB LoThresh, TRGB HiThresh);
  void HistAutoEqualize();
  void ConvertToGray();
  void Negative();

  // --- Analysis ---------------------------------------------------------------------------------
  // The 256 bins of the selection's bounding rectangle.
  void GetHistogram(THistogramItem* Hist) const;
  int CalcImageNumColors() const;
  // The palette of NumColors colours the quantizer builds for the whole (24-bit) bitmap.
  void CalcImagePalette(TRGB* Palette, int NumColors) const;
  // New grey bitmaps of one channel, owned by the caller (nullptr without a 24-bit bitmap).
  TBitmap* GetRGBChannel(int Channel) const;
  void GetRGBChannelAll(TBitmap* R, TBitmap* G, TBitmap* B) const;
  TBitmap* GetHSVChannel(int Channel) const;
  void GetHSVChannelAll(TBitmap* H, TBitmap* S, TBitmap* V) const;

  // --- Filters ----------------------------------------------------------------------------------
  void ApplyFilter(const TGraphFilter& Filter);
  void ApplyFilterPreset(TCXFilterPresets Preset);
  void Maximum(int WinSize);
  void Minimum(int WinSize);
  void Opening(int WinSize);
  void Closing(int WinSize);

  // --- Geometry ---------------------------------------------------------------------------------
  // A negative size keeps the aspect ratio (integer arithmetic); both negative: nothing.
  void Resample(int NewWidth, int NewHeight, TResampleFilter Filter);
  // Changes the canvas size: old pixels stay at the top left, new area gets Background.
  void ImageResize(int NewWidth, int NewHeight);
  void Rotate(int Angle, bool AntiAlias);
  void Flip(TFlipDir Dir);
  // The bitmap becomes its selection (pixels outside a polygon are zero).
  void CropSel();

  // --- Colour depth -----------------------------------------------------------------------------
  void ConvertTo(int NumColors);
  void ConvertToPalette(int NumColors, TRGB* Palette);
  void ConvertToBWOrdered();
  void ConvertToBWThreshold(int Threshold);
  void ConvertTo24Bit();

  // --- Effects ----------------------------------------------------------------------------------
  void BumpMapping(int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent, TRGB Color);
  void Lens(int x, int y, int Width, int Height, double Refraction);
  void Wave(int Amplitude, int WaveLength, int Phase, bool Reflective);
  void Merge(const TBitmap* Other, int Percent);

  // --- Clearing ---------------------------------------------------------------------------------
  void Clear();
  void ClearSel();

  // --- Clipboard (the CF_DIB format) -----------------------------------------------------------
  void CopyToClipboard();
  void SelCopyToClip();
  void SelCutToClip();
  void PasteFromClipboard();
  // Draws the clipboard's picture with its top-left corner at (x, y) of the bitmap. With a view
  // attached, (x, y) is a point of the view's client area, mapped to the bitmap once here
  // (XScr2Bmp, YScr2Bmp); callers pass client coordinates unconverted.
  void PointPasteFromClip(int x, int y);
  void SelPasteFromClipStretch();

  // --- Data hidden in the low bits of a 24-bit image ---------------------------------------------
  // Stores an 8-byte header (4 zero bytes, the length as 32-bit little-endian) and the payload,
  // one bit per byte of the first 3 x width - 2 bytes of each row. Returns the number of payload
  // bytes actually stored: Size, or fewer when the image is too small (0 without a 24-bit bitmap).
  int WriteHiddenData(const char* Data, int Size);
  int WriteHiddenText(const std::string& Text);
  // Reads up to Size payload bytes (never past the stored length, nor past the image) into Data
  // and returns the stored length; Size 0 reads only the length.
  int ReadHiddenData(char* Data, int Size) const;
  std::string ReadHiddenText() const;
  // Payload bytes the image can carry: width x height x 3 div 8 - 8 (0 without a 24-bit bitmap).
  int GetHiddenDataSpace() const;

  // --- Frequency domain ---------------------------------------------------------------------------
  // A new transform of the bitmap (owned by the caller), stretched first to NewWidth x NewHeight
  // unless both are negative (one negative keeps the aspect ratio); nullptr without a 24-bit bitmap.
  TCXFtImage* FTCreateImage(TCXFtImageType ImageType, int NewWidth, int NewHeight) const;
  // The bitmap becomes the inverse transform of FtImage.
  void FTConvertFrom(const TCXFtImage* FtImage);
  // The bitmap becomes the spectrum picture of FtImage.
  void FTDisplayFrom(const TCXFtImage* FtImage);

  // The saved copy (1 x 1 or empty when there is none).
  const TBitmap* GetUndoBitmap() const { return UndoBitmap_.get(); }

 private:
  // How a polygon selection is handled: rectangular polygons run directly on the bitmap, or
  // every polygon goes through a copy of its bounding box.
  enum class Polys { TestRectangle, Always };
  template <class Op>
  void RunOnSelection(bool Need24, Polys Mode, Op op);
  TProgressRec ProgressRecord();
  TRGB BackgroundRGB() const;
  void FillRect(int x1, int y1, int x2, int y2);
  // The selection as a packed DIB (the whole bitmap without a selection); 0 without a bitmap.
  HGLOBAL SelectionDIB() const;
  // The clipboard's picture in Bitmap; false when there is none.
  static bool ClipboardPicture(TBitmap* Bitmap);

  bool AutoUndo_ = true;
  int SelX1_ = -1, SelY1_ = -1, SelX2_ = -1, SelY2_ = -1;
  std::vector<TPoint> SelPoly_;
  TMsgLanguage MsgLanguage_ = msSystem;
  std::unique_ptr<TFont> PreviewFont_;
  std::unique_ptr<TBitmap> UndoBitmap_;
  TPRPreviewsParams PreviewsParams_;
};

// ================================== end of the component =====================================

}  // namespace corvex
