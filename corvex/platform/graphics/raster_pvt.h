// Private helpers of the platform's rasteriser, shared by regions, the canvas and the text and
// DIB drawers. Not installed.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/platform/graphics/region.h"

namespace corvex::raster {

using TRun = TRegion::TRun;

// A run of pixels on one row: [X1, X2) at Y.
struct TSpan {
  int32_t Y;
  int32_t X1;
  int32_t X2;
};

// Sorts spans by row then by x and joins overlapping and touching spans of a row.
void NormalizeSpans(std::vector<TSpan>& Spans);
// A minus B; both normalised, the result normalised.
std::vector<TSpan> SubtractSpans(const std::vector<TSpan>& A, const std::vector<TSpan>& B);

// The pixels an ellipse inscribed in [X1, X2) x [Y1, Y2) covers, for the rows RowFrom .. RowTo-1
// (cut to the box): Rows[i] is row max(Y1, RowFrom) + i (a run with X1 >= X2 is an empty row).
// The corners must be ordered and the box non-empty. A pixel belongs when its centre lies inside
// the ellipse, tested exactly. Returns the first row.
int32_t EllipseRows(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t RowFrom, int64_t RowTo,
                    std::vector<TRun>& Rows);

// The pixels of a line from (X1, Y1) to (X2, Y2), end point excluded: calls Visit(x, y) for the
// steps First .. Last-1 along the major axis (step 0 is the start point; there are
// max(|dx|, |dy|) steps). Every canvas line and the line walker use this rasterisation: the minor
// coordinate is the exact one rounded to the nearest pixel, halves toward the start point
// (Bresenham's integer accumulator, entered directly at step First).
template <class F>
inline void WalkLineSteps(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t First, int64_t Last, F&& Visit) {
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  const int64_t major = adx >= ady ? adx : ady, minor = adx >= ady ? ady : adx;
  if (First < 0) First = 0;
  if (Last > major) Last = major;
  if (First >= Last) return;
  // Minor offset at step i: ceil((2 i minor - major) / (2 major)); err = major + 2 i minor - 2 major off.
  const int64_t num = 2 * First * minor - major, den = 2 * major;
  int64_t off = num >= 0 ? (num + den - 1) / den : -((-num) / den);
  int64_t err = major + 2 * First * minor - 2 * major * off;
  for (int64_t i = First; i < Last; ++i) {
    if (adx >= ady) Visit(static_cast<int32_t>(X1 + sx * i), static_cast<int32_t>(Y1 + sy * off));
    else Visit(static_cast<int32_t>(X1 + sx * off), static_cast<int32_t>(Y1 + sy * i));
    err += 2 * minor;
    if (err > 2 * major) {
      err -= 2 * major;
      ++off;
    }
  }
}

template <class F>
inline void WalkLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, F&& Visit) {
  WalkLineSteps(X1, Y1, X2, Y2, 0, INT64_MAX, static_cast<F&&>(Visit));
}

// The steps of that line whose major coordinate lies in [Lo, Hi) (a coordinate range of the
// major axis, e.g. the visible columns widened by the pen), as [First, Last).
inline void LineStepsWithin(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t LoX, int64_t HiX, int64_t LoY,
                            int64_t HiY, int64_t& First, int64_t& Last) {
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t start = xMajor ? X1 : Y1, d = xMajor ? dx : dy;
  const int64_t lo = xMajor ? LoX : LoY, hi = xMajor ? HiX : HiY;
  const int64_t n = d < 0 ? -d : d;
  // coordinate(i) = start + sign * i
  if (d >= 0) {
    First = lo - start;
    Last = hi - start;
  } else {
    First = start - hi + 1;
    Last = start - lo + 1;
  }
  if (First < 0) First = 0;
  if (Last > n) Last = n;
}

}  // namespace corvex::raster
