// The pixel model shared by every part of the library: the 3-byte colour record TRGB, the
// progress record through which long operations report and are stopped, and the small pure
// helpers (colour packing, clamps, bit and row arithmetic) that the codecs and operations use in
// their inner loops.
//
// Images are TBitmaps in pf24bit (blue, green, red bytes) or pf1bit (most significant bit
// first, 1 = white); rows are padded to 4 bytes and row 0 is the top.
#pragma once

#include <array>
#include <cstdint>

#include "corvex/platform/events.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/numbers.h"

namespace corvex {

// A colour in the byte order of a 24-bit row: blue, green, red.
struct TRGB {
  uint8_t b;
  uint8_t g;
  uint8_t r;
};
static_assert(sizeof(TRGB) == 3, "TRGB must be exactly the 3 bytes of a pixel");

enum TCXJob { cxjNOTHING, cxjGENERALPROCESSING, cxjVIDEOCAP_CONNECTING };

// procedure(Sender: TObject; per: Integer): per is a percentage, 0 to 100.
using TCXProgressEvent = TEvent<void(TObject* Sender, int32_t per)>;
// procedure(Sender: TObject; job: TCXJob; per: Integer).
using TCXJobEvent = TEvent<void(TObject* Sender, TCXJob job, int32_t per)>;

// The record through which a long operation reports progress and learns that it must stop.
// The caller owns it and the abort flag behind Aborting; a codec sets that flag to report that
// its input was unreadable.
struct TProgressRec {
  TCXProgressEvent OnProgress;
  TObject* Sender = nullptr;
  int32_t StepIndex = 0;        // passes already finished in a multi-pass operation
  int32_t StepCount = 0;        // total passes
  double PercentPerUnit = 0.0;  // percent contributed by one processed unit (set by the operation)
  bool* Aborting = nullptr;     // the owner's abort flag
};

// The progress protocol, in the order an operation uses it:
//   ProgressBegin(rec, rows);                      // PercentPerUnit = 100 / rows
//   for (k = 0; k < rows; ++k) {
//     if (ProgressUnit(rec, k)) return;            // reports trunc(PercentPerUnit * k), then
//     ...                                          // stops when the abort flag is set
//   }
// A codec that cannot read its input calls ProgressFail(rec) and returns.
inline void ProgressBegin(TProgressRec& rec, int64_t Units) {
  rec.PercentPerUnit = Units > 0 ? 100.0 / static_cast<double>(Units) : 0.0;
}
inline bool ProgressAborting(const TProgressRec& rec) { return rec.Aborting != nullptr && *rec.Aborting; }
inline bool ProgressUnit(TProgressRec& rec, int64_t k) {
  if (rec.OnProgress) rec.OnProgress(rec.Sender, Trunc(rec.PercentPerUnit * static_cast<double>(k)));
  return ProgressAborting(rec);
}
inline void ProgressReport(TProgressRec& rec, int32_t per) {
  if (rec.OnProgress) rec.OnProgress(rec.Sender, per);
}
inline void ProgressFail(TProgressRec& rec) {
  if (rec.Aborting != nullptr) *rec.Aborting = true;
}
// Multi-pass form: StepCount passes of Units units each; StepIndex counts finished passes.
inline void ProgressBeginSteps(TProgressRec& rec, int32_t StepCount, int64_t Units) {
  rec.StepCount = StepCount;
  rec.StepIndex = 0;
  ProgressBegin(rec, static_cast<int64_t>(StepCount) * Units);
}
inline bool ProgressStepUnit(TProgressRec& rec, int64_t Units, int64_t k) {
  return ProgressUnit(rec, static_cast<int64_t>(rec.StepIndex) * Units + k);
}

// ---------------------------------------------------------------------------------------------
// Image size limit

// The largest image, in pixels, that a reader allocates for (256 megapixels by default; an
// application may change it). Readers check a file's claimed size against it before allocating
// anything, so that a tiny file that claims a huge image fails at once.
extern int64_t gMaxImagePixels;
// True when Width x Height is positive in both dimensions and within gMaxImagePixels.
inline bool CXImageSizeAllowed(int64_t Width, int64_t Height) {
  return Width > 0 && Height > 0 && Width <= gMaxImagePixels && Height <= gMaxImagePixels &&
         Width * Height <= gMaxImagePixels;
}

// Decompression bombs: a reader refuses a claimed image, before allocating it, when the Available
// bytes of coded data could not give a sixteenth of its DecodedBytes even at the best ratio its
// coding reaches (MaxRatio decoded bytes per stored byte: 1 for raw rows, 1032 for Deflate ...).
// Such a file is not a truncated image but a tiny file that claims a huge one. Images of up to
// 16 MB always pass, so that short files of ordinary size still give what could be read.
inline bool CXDataCanHold(int64_t Available, int64_t DecodedBytes, int64_t MaxRatio) {
  if (DecodedBytes <= (int64_t(1) << 24)) return true;
  if (Available <= 0) return false;
  return Available >= DecodedBytes / (16 * MaxRatio);
}

// ---------------------------------------------------------------------------------------------
// Colour helpers

inline TRGB CreateRGB(uint8_t r, uint8_t g, uint8_t b) { return TRGB{b, g, r}; }
// (r*21 + g*71 + b*7) div 100: white gives 252.
inline int _RGBToGray(TRGB c) { return (unsigned(c.r) * 21 + unsigned(c.g) * 71 + unsigned(c.b) * 7) / 100; }
inline TColor TRGB2TColor(TRGB c) { return c.r + c.g * 256 + c.b * 65536; }
inline TColor RGB2TColor(int r, int g, int b) { return r | (g << 8) | (b << 16); }
// Resolves system colours, then splits into red (low byte), green, blue.
TRGB TColor2TRGB(TColor c);
inline bool EqualRGB(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// ---------------------------------------------------------------------------------------------
// Clamps and swaps

inline int imax(int a, int b) { return a > b ? a : b; }
inline int imin(int a, int b) { return a < b ? a : b; }
// On ties both return their first argument.
inline double dmax(double a, double b) { return b > a ? b : a; }
inline double dmin(double a, double b) { return b >= a ? a : b; }
inline int ilimit(int v, int lo, int hi) { return imin(imax(v, lo), hi); }
inline uint8_t blimit(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
inline void iswap(int& a, int& b) {
  int t = a;
  a = b;
  b = t;
}
inline void bswap(uint8_t& a, uint8_t& b) {
  uint8_t t = a;
  a = b;
  b = t;
}
// Orders corners: swaps x1/x2 if x2 < x1, then y1/y2 if y2 < y1.
inline void OrdCor(int& x1, int& y1, int& x2, int& y2) {
  if (x2 < x1) iswap(x1, x2);
  if (y2 < y1) iswap(y1, y2);
}

// ---------------------------------------------------------------------------------------------
// Bit and format arithmetic

// Bytes of a row of width pixels at bitcount bits, padded to 4 bytes.
inline int _BitmapRowLen(int width, int bitcount) {
  return static_cast<int>(((static_cast<int64_t>(width) * bitcount + 31) >> 5) << 2);
}
int _Pixelformat2BitCount(TPixelFormat pf);
TPixelFormat _Bitcount2Pixelformat(int n);
// 2^bitspersample multiplied samplesperpixel times (1 when samplesperpixel <= 0); saturates at
// the largest 64-bit value instead of overflowing.
int64_t _GetNumCol(int bitspersample, int samplesperpixel);
// Bits needed for ncol colours: 0 for 1 colour, -1 for none (or a negative count).
int _NColToBitsPixel(int ncol);
// Length of the run of 1-bits starting at the lowest set bit (0 for a zero mask).
int _GetBitCount(uint32_t mask);
void ReverseBits(uint32_t& v);
void ReverseBitsB(uint8_t& v);
// The table behind ReverseBitsB: entry i is i with its 8 bits reversed.
extern const std::array<uint8_t, 256> kReverseBitsTable;
// trunc(x), minus 1 when the fractional part is negative (floor for values in range).
int64_t CXFloor(long double x);
// True when the processor has CPUID and leaf 1 reports MMX.
bool MMXSupported();

}  // namespace corvex
