#include "corvex/platform/graphics/region.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "corvex/platform/graphics/raster_pvt.h"

namespace corvex {

namespace {

using TRun = TRegion::TRun;
constexpr int32_t kInf = std::numeric_limits<int32_t>::max();
constexpr int64_t kCoordLimit = int64_t(1) << 29;

inline int64_t ClampCoord(int64_t v) { return std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit); }

// Floor of a / b for b > 0.
inline int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

bool Keep(TRegionOp op, bool a, bool b) {
  switch (op) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    case RGN_DIFF: return a && !b;
    case RGN_COPY: return a;
  }
  return false;
}

// The runs of a op b for two sorted, disjoint, non-touching run lists.
void CombineRuns(const TRun* a, int na, const TRun* b, int nb, TRegionOp op, std::vector<TRun>& out) {
  out.clear();
  int ka = 0, kb = 0;  // boundary indexes: even = a run's start, odd = its end
  const int ea = 2 * na, eb = 2 * nb;
  bool inA = false, inB = false, on = false;
  int32_t start = 0;
  auto bound = [](const TRun* r, int k) { return (k & 1) ? r[k >> 1].X2 : r[k >> 1].X1; };
  while (ka < ea || kb < eb) {
    const int32_t xa = ka < ea ? bound(a, ka) : kInf;
    const int32_t xb = kb < eb ? bound(b, kb) : kInf;
    const int32_t x = std::min(xa, xb);
    if (xa == x) inA = (ka++ & 1) == 0;
    if (xb == x) inB = (kb++ & 1) == 0;
    const bool now = Keep(op, inA, inB);
    if (now && !on) {
      start = x;
      on = true;
    } else if (!now && on) {
      on = false;
      if (!out.empty() && out.back().X2 == start) out.back().X2 = x;
      else out.push_back({start, x});
    }
  }
}

// One edge of the scan converter, top to bottom.
struct Edge {
  int64_t xa, ya, xb, yb;  // ya < yb
  int dir;                 // +1 when the outline runs downward here, -1 upward
  // The boundary on the current row as q + (r > 0) with n = q * den + r, 0 <= r < den, stepped
  // row by row without dividing.
  int64_t q = 0, r = 0, den = 1, qStep = 0, rStep = 0;
  bool vertical() const { return xa == xb; }
  // First pixel whose centre is at or right of the edge on row y is ceil(x(y + 0.5) - 0.5)
  // = ceil(n / den) with n = 2 xa d + (2 (y - ya) + 1)(xb - xa) - d, den = 2d, d = yb - ya.
  void Start(int64_t y) {
    const int64_t d = yb - ya;
    den = 2 * d;
    const int64_t n = 2 * xa * d + (2 * (y - ya) + 1) * (xb - xa) - d;
    q = FloorDiv(n, den);
    r = n - q * den;
    const int64_t step = 2 * (xb - xa);
    qStep = FloorDiv(step, den);
    rStep = step - qStep * den;
  }
  int64_t Boundary() const { return q + (r > 0 ? 1 : 0); }
  void Advance() {
    q += qStep;
    r += rStep;
    if (r >= den) {
      r -= den;
      ++q;
    }
  }
};

struct Crossing {
  int64_t x;
  int dir;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scan conversion

void ScanPolygons(const TPoint* Points, const int* Counts, int Polygons, TFillMode Mode, int32_t ClipTop,
                  int32_t ClipBottom, TScanRunProc Emit, void* Context) {
  if (Points == nullptr || Counts == nullptr || Polygons <= 0 || ClipTop >= ClipBottom) return;
  std::vector<Edge> edges;
  const TPoint* p = Points;
  for (int k = 0; k < Polygons; ++k) {
    const int n = Counts[k];
    if (n <= 0) continue;
    if (n >= 3) {
      for (int i = 0; i < n; ++i) {
        const TPoint& a = p[i];
        const TPoint& b = p[(i + 1) % n];
        Edge e;
        int64_t x0 = ClampCoord(a.X), y0 = ClampCoord(a.Y), x1 = ClampCoord(b.X), y1 = ClampCoord(b.Y);
        if (y0 == y1) continue;  // horizontal edges cross no pixel centre row
        if (y0 < y1) e = {x0, y0, x1, y1, 1};
        else e = {x1, y1, x0, y0, -1};
        edges.push_back(e);
      }
    }
    p += n;
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.ya < b.ya; });

  int64_t yEnd = edges[0].yb;
  for (const Edge& e : edges) yEnd = std::max(yEnd, e.yb);
  yEnd = std::min<int64_t>(yEnd, ClipBottom);
  int64_t y = std::max<int64_t>(edges[0].ya, ClipTop);

  std::vector<Edge*> active;
  std::vector<Crossing> xs;
  std::vector<TRun> runs;
  size_t next = 0;
  while (y < yEnd) {
    // Rows ya .. yb-1 of an edge are those whose centre it crosses.
    while (next < edges.size() && edges[next].ya <= y) {
      if (edges[next].yb > y) {
        edges[next].Start(y);
        active.push_back(&edges[next]);
      }
      ++next;
    }
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->yb <= y; }),
                 active.end());
    // The next row where the set of active edges changes.
    int64_t change = yEnd;
    if (next < edges.size()) change = std::min(change, edges[next].ya);
    bool allVertical = true;
    for (const Edge* e : active) {
      change = std::min(change, e->yb);
      allVertical = allVertical && e->vertical();
    }
    if (active.empty()) {
      y = change;
      continue;
    }
    xs.clear();
    // The active edges stay sorted by their crossing: nearly the same order from row to row, so
    // an insertion sort is quick.
    for (size_t i = 1; i < active.size(); ++i) {
      Edge* e = active[i];
      const int64_t x = e->Boundary();
      size_t j = i;
      for (; j > 0 && active[j - 1]->Boundary() > x; --j) active[j] = active[j - 1];
      active[j] = e;
    }
    for (const Edge* e : active) xs.push_back({e->Boundary(), e->dir});
    runs.clear();
    int wind = 0;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
      wind += Mode == fmAlternate ? 1 : xs[i].dir;
      const bool inside = Mode == fmAlternate ? (wind & 1) != 0 : wind != 0;
      const int64_t x1 = xs[i].x, x2 = xs[i + 1].x;
      if (!inside || x1 >= x2) continue;
      if (!runs.empty() && runs.back().X2 == x1) runs.back().X2 = static_cast<int32_t>(x2);
      else runs.push_back({static_cast<int32_t>(x1), static_cast<int32_t>(x2)});
    }
    // Rows whose crossings do not move (vertical edges only) share one call.
    const int64_t rows = allVertical ? change - y : 1;
    if (!runs.empty())
      Emit(Context, static_cast<int32_t>(y), static_cast<int32_t>(rows), runs.data(), static_cast<int>(runs.size()));
    y += rows;
    if (rows == 1)
      for (Edge* e : active) e->Advance();
  }
}

// ---------------------------------------------------------------------------------------------
// Builder

void TRegion::TBuilder::AddBand(int32_t Top, int32_t Bottom, const TRun* Runs, int Count) {
  if (Count <= 0 || Bottom <= Top) return;
  if (!Bands_.empty()) {
    Band& last = Bands_.back();
    if (last.Bottom == Top && int(last.Count) == Count &&
        std::equal(Runs, Runs + Count, Runs_.begin() + last.First)) {
      last.Bottom = Bottom;
      return;
    }
  }
  Bands_.push_back({Top, Bottom, static_cast<uint32_t>(Runs_.size()), static_cast<uint32_t>(Count)});
  Runs_.insert(Runs_.end(), Runs, Runs + Count);
}

void TRegion::TBuilder::AddRows(int32_t Top, int32_t Bottom, const TRun* Runs, int Count) {
  AddBand(Top, Bottom, Runs, Count);
}

TRegion TRegion::TBuilder::Finish() {
  TRegion r;
  r.Bands_ = std::move(Bands_);
  r.Runs_ = std::move(Runs_);
  Bands_.clear();
  Runs_.clear();
  r.ComputeBounds();
  return r;
}

// ---------------------------------------------------------------------------------------------
// Regions

void TRegion::ComputeBounds() {
  if (Bands_.empty()) {
    Bounds_ = TRect{};
    return;
  }
  int32_t l = kInf, r = std::numeric_limits<int32_t>::min();
  for (const Band& b : Bands_) {
    l = std::min(l, Runs_[b.First].X1);
    r = std::max(r, Runs_[b.First + b.Count - 1].X2);
  }
  Bounds_ = TRect{l, Bands_.front().Top, r, Bands_.back().Bottom};
}

TRegion TRegion::FromRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  TBuilder b;
  const TRun run{X1, X2};
  if (X1 < X2) b.AddRows(Y1, Y2, &run, 1);
  return b.Finish();
}

namespace {
void EmitToBuilder(void* ctx, int32_t y, int32_t rows, const TRun* runs, int count) {
  static_cast<TRegion::TBuilder*>(ctx)->AddRows(y, y + rows, runs, count);
}
}  // namespace

TRegion TRegion::FromPolyPolygon(const TPoint* Points, const int* Counts, int Polygons, TFillMode Mode) {
  TBuilder b;
  ScanPolygons(Points, Counts, Polygons, Mode, std::numeric_limits<int32_t>::min(), kInf, &EmitToBuilder, &b);
  return b.Finish();
}

TRegion TRegion::FromPolygon(const TPoint* Points, int Count, TFillMode Mode) {
  return FromPolyPolygon(Points, &Count, 1, Mode);
}

TRegion TRegion::FromEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  TBuilder b;
  if (X1 >= X2 || Y1 >= Y2) return b.Finish();
  std::vector<TRun> rows;
  const int32_t first = raster::EllipseRows(X1, Y1, X2, Y2, Y1, Y2, rows);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].X1 < rows[i].X2) b.AddRows(first + static_cast<int32_t>(i), first + static_cast<int32_t>(i) + 1, &rows[i], 1);
  return b.Finish();
}

TRegion TRegion::Combine(const TRegion& A, const TRegion& B, TRegionOp Op) {
  if (Op == RGN_COPY) return A;
  if (A.IsEmpty()) return (Op == RGN_OR || Op == RGN_XOR) ? B : TRegion();
  if (B.IsEmpty()) return Op == RGN_AND ? TRegion() : A;
  const TRect ia = IntersectRect(A.Bounds_, B.Bounds_);
  if (ia.IsEmpty()) {
    if (Op == RGN_AND) return TRegion();
    if (Op == RGN_DIFF) return A;
  }
  TBuilder out;
  std::vector<TRun> runs;
  size_t i = 0, j = 0;
  const size_t na = A.Bands_.size(), nb = B.Bands_.size();
  int32_t y = std::min(A.Bands_[0].Top, B.Bands_[0].Top);
  for (;;) {
    while (i < na && A.Bands_[i].Bottom <= y) ++i;
    while (j < nb && B.Bands_[j].Bottom <= y) ++j;
    if (i >= na && j >= nb) break;
    const Band* ba = (i < na && A.Bands_[i].Top <= y) ? &A.Bands_[i] : nullptr;
    const Band* bb = (j < nb && B.Bands_[j].Top <= y) ? &B.Bands_[j] : nullptr;
    if (ba == nullptr && bb == nullptr) {
      y = std::min(i < na ? A.Bands_[i].Top : kInf, j < nb ? B.Bands_[j].Top : kInf);
      continue;
    }
    int32_t ny = kInf;
    if (i < na) ny = std::min(ny, ba ? ba->Bottom : A.Bands_[i].Top);
    if (j < nb) ny = std::min(ny, bb ? bb->Bottom : B.Bands_[j].Top);
    CombineRuns(ba ? &A.Runs_[ba->First] : nullptr, ba ? int(ba->Count) : 0, bb ? &B.Runs_[bb->First] : nullptr,
                bb ? int(bb->Count) : 0, Op, runs);
    if (!runs.empty()) out.AddRows(y, ny, runs.data(), static_cast<int>(runs.size()));
    y = ny;
  }
  return out.Finish();
}

const TRegion::Band* TRegion::FindBand(int32_t Y) const {
  auto it = std::upper_bound(Bands_.begin(), Bands_.end(), Y, [](int32_t y, const Band& b) { return y < b.Bottom; });
  if (it == Bands_.end() || it->Top > Y) return nullptr;
  return &*it;
}

const TRegion::TRun* TRegion::RowRuns(int32_t Y, int* Count) const {
  const Band* b = FindBand(Y);
  if (b == nullptr) {
    *Count = 0;
    return nullptr;
  }
  *Count = static_cast<int>(b->Count);
  return &Runs_[b->First];
}

bool TRegion::Contains(int32_t X, int32_t Y) const {
  int n = 0;
  const TRun* r = RowRuns(Y, &n);
  if (n == 0) return false;
  const TRun* it = std::upper_bound(r, r + n, X, [](int32_t x, const TRun& run) { return x < run.X1; });
  return it != r && X < (it - 1)->X2;
}

void TRegion::Offset(int32_t Dx, int32_t Dy) {
  if (Bands_.empty()) return;
  for (Band& b : Bands_) {
    b.Top += Dy;
    b.Bottom += Dy;
  }
  for (TRun& r : Runs_) {
    r.X1 += Dx;
    r.X2 += Dx;
  }
  Bounds_ = OffsetRect(Bounds_, Dx, Dy);
}

std::vector<TRect> TRegion::GetRects() const {
  std::vector<TRect> out;
  out.reserve(Runs_.size());
  for (const Band& b : Bands_)
    for (uint32_t k = 0; k < b.Count; ++k) out.push_back({Runs_[b.First + k].X1, b.Top, Runs_[b.First + k].X2, b.Bottom});
  return out;
}

int64_t TRegion::Area() const {
  int64_t a = 0;
  for (const Band& b : Bands_) {
    int64_t w = 0;
    for (uint32_t k = 0; k < b.Count; ++k) w += int64_t(Runs_[b.First + k].X2) - Runs_[b.First + k].X1;
    a += w * (int64_t(b.Bottom) - b.Top);
  }
  return a;
}

// ---------------------------------------------------------------------------------------------
// Shared raster helpers

namespace raster {

void NormalizeSpans(std::vector<TSpan>& Spans) {
  if (Spans.empty()) return;
  std::sort(Spans.begin(), Spans.end(),
            [](const TSpan& a, const TSpan& b) { return a.Y != b.Y ? a.Y < b.Y : a.X1 < b.X1; });
  size_t out = 0;
  for (size_t i = 0; i < Spans.size(); ++i) {
    const TSpan& s = Spans[i];
    if (s.X1 >= s.X2) continue;
    if (out > 0 && Spans[out - 1].Y == s.Y && Spans[out - 1].X2 >= s.X1) {
      Spans[out - 1].X2 = std::max(Spans[out - 1].X2, s.X2);
    } else {
      Spans[out++] = s;
    }
  }
  Spans.resize(out);
}

std::vector<TSpan> SubtractSpans(const std::vector<TSpan>& A, const std::vector<TSpan>& B) {
  std::vector<TSpan> out;
  out.reserve(A.size());
  size_t j = 0;
  for (const TSpan& a : A) {
    while (j < B.size() && (B[j].Y < a.Y || (B[j].Y == a.Y && B[j].X2 <= a.X1))) ++j;
    int32_t x = a.X1;
    size_t k = j;
    while (k < B.size() && B[k].Y == a.Y && B[k].X1 < a.X2) {
      if (B[k].X1 > x) out.push_back({a.Y, x, B[k].X1});
      x = std::max(x, B[k].X2);
      ++k;
    }
    if (x < a.X2) out.push_back({a.Y, x, a.X2});
  }
  return out;
}

int32_t EllipseRows(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t RowFrom, int64_t RowTo,
                    std::vector<TRun>& Rows) {
  // In doubled coordinates relative to the centre, pixel x has X = 2x + 1 - (X1 + X2) and the
  // ellipse is X^2 h^2 + Y^2 w^2 <= w^2 h^2 (w, h the box size). Tested in 128-bit integers.
  __extension__ typedef __int128 int128;
  const int64_t w = int64_t(X2) - X1, h = int64_t(Y2) - Y1;
  const int64_t sx = int64_t(X1) + X2, sy = int64_t(Y1) + Y2;
  const int128 w2 = int128(w) * w, h2 = int128(h) * h, lim = w2 * h2;
  const int64_t from = std::max<int64_t>(Y1, RowFrom), to = std::min<int64_t>(Y2, RowTo);
  Rows.assign(static_cast<size_t>(std::max<int64_t>(to - from, 0)), TRun{0, 0});
  const int64_t parity = (1 - sx) & 1;  // X has this parity
  for (int64_t y = from; y < to; ++y) {
    const int64_t Y = 2 * y + 1 - sy;
    const int128 rest = lim - int128(Y) * Y * w2;  // room left for X^2 h^2
    TRun& run = Rows[static_cast<size_t>(y - from)];
    if (rest < 0) continue;
    // Largest X of the right parity with X^2 h^2 <= rest.
    int64_t xm = static_cast<int64_t>(std::sqrt(static_cast<double>(rest) / static_cast<double>(h2)));
    while (xm > 0 && int128(xm) * xm * h2 > rest) --xm;
    while (int128(xm + 1) * (xm + 1) * h2 <= rest) ++xm;
    if ((xm & 1) != parity) --xm;
    if (xm < 0) continue;
    // 2x + 1 - sx in [-xm, xm]  <=>  x in [(sx - 1 - xm) / 2, (sx - 1 + xm) / 2].
    const int64_t left = CeilDiv(sx - 1 - xm, 2), right = FloorDiv(sx - 1 + xm, 2);
    if (left > right) continue;
    run = TRun{static_cast<int32_t>(left), static_cast<int32_t>(right + 1)};
  }
  return static_cast<int32_t>(from);
}

}  // namespace raster

}  // namespace corvex
