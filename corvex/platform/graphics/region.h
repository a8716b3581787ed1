// TRegion: a set of pixels made of rectangles and polygons, for clipping a canvas.
//
// A region is kept as horizontal bands (top inclusive, bottom exclusive), each with a sorted list
// of disjoint pixel runs [x1, x2). The form is canonical (touching runs are joined, equal
// neighbouring bands are merged), so two regions with the same pixels compare equal.
//
// Pixel rules are those of the canvas: a rectangle (x1, y1, x2, y2) holds the pixels x1 .. x2-1 and
// y1 .. y2-1; a polygon holds the pixels whose centres (x + 0.5, y + 0.5) lie inside it, so the
// polygon (0,0) (10,0) (10,10) (0,10) is exactly the 10 x 10 pixels of the rectangle (0, 0, 10, 10)
// and polygon vertices are pixel corners.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/platform/types.h"

namespace corvex {

// Polygon fill rules: alternate (even-odd: a point is inside when a ray from it crosses the
// outline an odd number of times) and winding (inside when the outline winds around it).
enum TFillMode { fmAlternate, fmWinding };

// Ways of combining two regions.
enum TRegionOp {
  RGN_AND = 1,   // pixels in both
  RGN_OR = 2,    // pixels in either
  RGN_XOR = 3,   // pixels in exactly one
  RGN_DIFF = 4,  // pixels of the first that are not in the second
  RGN_COPY = 5   // the first
};

class TRegion {
 public:
  // One band of the region: rows Top .. Bottom-1 hold the runs Runs[0 .. Count-1].
  struct TRun {
    int32_t X1;
    int32_t X2;  // exclusive
    bool operator==(const TRun&) const = default;
  };

  TRegion() = default;  // empty

  // The pixels x1 .. x2-1, y1 .. y2-1 (corners in any order; empty when an extent is 0).
  static TRegion FromRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  static TRegion FromRect(const TRect& R) { return FromRect(R.Left, R.Top, R.Right, R.Bottom); }
  // A closed polygon (the last point joins the first); fewer than 3 points give an empty region.
  static TRegion FromPolygon(const TPoint* Points, int Count, TFillMode Mode);
  // Several closed polygons filled together with one rule (Counts[i] points each, one after
  // another in Points).
  static TRegion FromPolyPolygon(const TPoint* Points, const int* Counts, int Polygons, TFillMode Mode);
  // The ellipse inscribed in the rectangle, with the pixels an Ellipse of the canvas fills.
  static TRegion FromEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

  // a op b.
  static TRegion Combine(const TRegion& A, const TRegion& B, TRegionOp Op);

  bool IsEmpty() const { return Bands_.empty(); }
  // The smallest rectangle holding every pixel; all zero when empty.
  TRect GetBounds() const { return Bounds_; }
  bool Contains(int32_t X, int32_t Y) const;
  // Moves every pixel by (Dx, Dy).
  void Offset(int32_t Dx, int32_t Dy);
  // The region as rectangles, band by band, top to bottom and left to right.
  std::vector<TRect> GetRects() const;
  // Number of pixels (64 bits: a region may be large).
  int64_t Area() const;

  // The runs of row Y and their count (nullptr and 0 when the row is empty).
  const TRun* RowRuns(int32_t Y, int* Count) const;

  TRegion& operator&=(const TRegion& o) { return *this = Combine(*this, o, RGN_AND); }
  TRegion& operator|=(const TRegion& o) { return *this = Combine(*this, o, RGN_OR); }
  TRegion& operator^=(const TRegion& o) { return *this = Combine(*this, o, RGN_XOR); }
  TRegion& operator-=(const TRegion& o) { return *this = Combine(*this, o, RGN_DIFF); }
  bool operator==(const TRegion& o) const { return Bands_ == o.Bands_ && Runs_ == o.Runs_; }

  // Builds a region from rows given top to bottom (each row's runs sorted, disjoint and
  // non-touching). Used by the scan converters.
  class TBuilder {
   public:
    // Adds rows Top .. Bottom-1 (below the rows added before) with the same runs.
    void AddRows(int32_t Top, int32_t Bottom, const TRun* Runs, int Count);
    TRegion Finish();

   private:
    void AddBand(int32_t Top, int32_t Bottom, const TRun* Runs, int Count);
    friend class TRegion;
    std::vector<TRun> Runs_;
    struct Band {
      int32_t Top, Bottom;
      uint32_t First, Count;
      bool operator==(const Band&) const = default;
    };
    std::vector<Band> Bands_;
  };

 private:
  using Band = TBuilder::Band;
  const Band* FindBand(int32_t Y) const;
  void ComputeBounds();

  std::vector<Band> Bands_;
  std::vector<TRun> Runs_;
  TRect Bounds_;
};

// Scan conversion shared by regions and the canvas: calls Emit for the rows of the polygon set,
// top to bottom, each time with a first row Y, a number of rows that all hold the same pixels, and
// those rows' runs in increasing x (disjoint, non-touching, never empty). Points holds Polygons
// closed polygons of Counts[i] points. Only rows in [ClipTop, ClipBottom) are produced.
// Coordinates are limited to +-2^29.
using TScanRunProc = void (*)(void* Context, int32_t Y, int32_t Rows, const TRegion::TRun* Runs, int Count);
void ScanPolygons(const TPoint* Points, const int* Counts, int Polygons, TFillMode Mode, int32_t ClipTop,
                  int32_t ClipBottom, TScanRunProc Emit, void* Context);

}  // namespace corvex
