// Helpers shared by the image operations: the region an operation covers and the per-row
// progress report of image operations.
#pragma once

#include <algorithm>

#include "corvex/core/defs.h"

namespace corvex::proc_pvt {

// Columns x1 .. x2-1 and rows y1 .. y2-1 of a bitmap: the far corner is cut to the bitmap, and
// a corner before it starts at its edge (a negative corner would address memory outside it).
struct Region {
  int x1, y1, x2, y2;
  Region(const TBitmap* b, int X1, int Y1, int X2, int Y2)
      : x1(std::max(X1, 0)), y1(std::max(Y1, 0)), x2(std::min(X2, b->GetWidth())), y2(std::min(Y2, b->GetHeight())) {}
  bool Empty() const { return x2 <= x1 || y2 <= y1; }
  int Width() const { return x2 - x1; }
  int Height() const { return y2 - y1; }
};

// After finishing row y of a run over rows y1 .. yLast: Trunc((y - y1 + 1) x (100 / (yLast - y1
// + 0.5))), which may pass 100 slightly on the last rows.
class RowProgress {
 public:
  RowProgress(TCXProgressEvent Event, TObject* Sender, int y1, int yLast)
      : Event_(Event), Sender_(Sender), y1_(y1), Factor_(100.0 / (yLast - y1 + 0.5)) {}
  void Done(int y) const {
    if (Event_) Event_(Sender_, Trunc((y - y1_ + 1) * Factor_));
  }
  double Factor() const { return Factor_; }

 private:
  TCXProgressEvent Event_;
  TObject* Sender_;
  int y1_;
  double Factor_;
};

inline TRGB* Pixels(TBitmap* b, int y) { return reinterpret_cast<TRGB*>(b->ScanLine(y)); }
inline const TRGB* Pixels(const TBitmap* b, int y) { return reinterpret_cast<const TRGB*>(b->ScanLine(y)); }

// _Resample of the rectangle R of a 24-bit Src (wholly inside it) to the whole of Dst, without
// copying the rectangle out first: the same pixels as _Resample of that copy. Nothing is done
// when R is not inside Src.
void ResampleRect(const TBitmap* Src, const TRect& R, TBitmap* Dst, TResampleFilter Filter);

}  // namespace corvex::proc_pvt
