// Image operations of the processing component: free functions that work on a 24-bit (and, where
// said, 1-bit) bitmap in place, over a region x1, y1 (inclusive) to x2, y2 (exclusive, cut to
// the bitmap). Functions that end with a progress event and a Sender report after each row.
#pragma once

#include <cstdint>
#include <string>

#include "corvex/core/defs.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Colour adjustments and measurements

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

// ---------------------------------------------------------------------------------------------
// Convolution and morphological filters

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
