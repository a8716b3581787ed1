// The pixel work behind selections: the magic wand and the copies, clears and crops through a
// selection polygon (sub-polygons separated by kPolySeparator, each filled even-odd).
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

namespace {

// Calls fn(points, n) for each sub-polygon of a selection polygon.
template <class Fn>
void ForEachPolygon(const TPoint* Poly, int Count, Fn fn) {
  if (Poly == nullptr) return;
  int start = 0;
  for (int i = 0; i <= Count; ++i)
    if (i == Count || Poly[i].X == kPolySeparator) {
      if (i > start) fn(Poly + start, i - start);
      start = i + 1;
    }
}

// Draws on a canvas with cmSrcCopy and no clip, restoring the copy mode afterwards.
class CanvasScope {
 public:
  explicit CanvasScope(TBitmap* b) : c_(b->GetCanvas()), mode_(c_->GetCopyMode()) { c_->SetCopyMode(cmSrcCopy); }
  ~CanvasScope() {
    c_->SelectClipRgn(nullptr);
    c_->SetCopyMode(mode_);
  }
  TCanvas* operator->() const { return c_; }
  void Clip(const TPoint* p, int n, int dx = 0, int dy = 0) {
    TRegion r = TRegion::FromPolygon(p, n, fmAlternate);
    if (dx != 0 || dy != 0) r.Offset(dx, dy);
    c_->SelectClipRgn(&r);
  }

 private:
  TCanvas* c_;
  TCopyMode mode_;
};

struct Box {
  int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
};
Box Bounds(const TPoint* Poly, int Count) {
  Box b;
  for (int i = 0; i < Count; ++i) {
    if (Poly[i].X == kPolySeparator) continue;
    b.minX = std::min(b.minX, Poly[i].X);
    b.minY = std::min(b.minY, Poly[i].Y);
    b.maxX = std::max(b.maxX, Poly[i].X);
    b.maxY = std::max(b.maxY, Poly[i].Y);
  }
  return b;
}

}  // namespace

bool _IsRectangle(const TPoint* Poly, int Count) {
  if (Poly == nullptr || Count != 4) return false;
  auto vertical = [](TPoint a, TPoint b) { return a.X == b.X && a.Y != b.Y; };
  auto horizontal = [](TPoint a, TPoint b) { return a.Y == b.Y && a.X != b.X; };
  bool wasVertical;
  if (vertical(Poly[3], Poly[0])) wasVertical = true;
  else if (horizontal(Poly[3], Poly[0])) wasVertical = false;
  else return false;
  for (int i = 0; i < 3; ++i) {
    const bool ok = wasVertical ? horizontal(Poly[i], Poly[i + 1]) : vertical(Poly[i], Poly[i + 1]);
    if (!ok) return false;
    wasVertical = !wasVertical;
  }
  return true;
}

void _CopyPolygonBitmap(TBitmap* Dest, const TBitmap* Src, int x, int y, const TPoint* Poly, int Count) {
  if (Dest == nullptr || Src == nullptr || Src->GetEmpty()) return;
  CanvasScope c(Dest);
  ForEachPolygon(Poly, Count, [&](const TPoint* p, int n) {
    c.Clip(p, n);
    c->Draw(x, y, Src);
  });
}

void _ClearSel(TBitmap* Bitmap, const TPoint* Poly, int Count, TColor Color) {
  if (Bitmap == nullptr || Bitmap->GetEmpty()) return;
  CanvasScope c(Bitmap);
  TBrush saved;
  saved.Assign(c->GetBrush());
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(Color);
  ForEachPolygon(Poly, Count, [&](const TPoint* p, int n) {
    c.Clip(p, n);
    c->FillRect(TRect{0, 0, Bitmap->GetWidth(), Bitmap->GetHeight()});
  });
  c->GetBrush()->Assign(&saved);
}

void _CopyBitmapPoly(const TBitmap* Src, TBitmap* Dst, int x1, int y1, int x2, int y2, const TPoint* Poly, int Count) {
  if (Src == nullptr || Dst == nullptr || Src == Dst) return;
  const int64_t w = std::max<int64_t>(int64_t(x2) - x1, 0), h = std::max<int64_t>(int64_t(y2) - y1, 0);
  if (w > 0 && h > 0 && !CXImageSizeAllowed(w, h)) {  // a box no image can have
    Dst->Allocate(0, 0, Src->GetPixelFormat());
    return;
  }
  Dst->Allocate(int(w), int(h), Src->GetPixelFormat());
  if (Dst->GetEmpty() || Src->GetEmpty()) return;
  CanvasScope c(Dst);
  if (Count <= 0 || Poly == nullptr) {
    c->Draw(-x1, -y1, Src);
    return;
  }
  ForEachPolygon(Poly, Count, [&](const TPoint* p, int n) {
    c.Clip(p, n, -x1, -y1);
    c->Draw(-x1, -y1, Src);
  });
}

void _CopyPolygonToPoint(const TBitmap* Src, const TPoint* Poly, int Count, TBitmap* Dst, const TPoint& Point) {
  if (Src == nullptr || Dst == nullptr || Src == Dst || Poly == nullptr || Count < 3 || Src->GetEmpty()) return;
  const Box b = Bounds(Poly, Count);
  if (b.minX > b.maxX) return;
  const int right = Point.X + b.maxX - b.minX, bottom = Point.Y + b.maxY - b.minY;
  if (right + 1 > Dst->GetWidth() || bottom + 1 > Dst->GetHeight()) {
    const int w = std::max(Dst->GetWidth(), right + 1), h = std::max(Dst->GetHeight(), bottom + 1);
    if (!CXImageSizeAllowed(w, h)) return;
    Dst->SetSize(w, h);
  }
  const int dx = Point.X - b.minX, dy = Point.Y - b.minY;
  CanvasScope c(Dst);
  ForEachPolygon(Poly, Count, [&](const TPoint* p, int n) {
    c.Clip(p, n, dx, dy);
    c->IntersectClipRect(Point.X, Point.Y, right, bottom);
    c->Draw(dx, dy, Src);
  });
}

void _CopyPointToPolygon(const TBitmap* Src, const TPoint* Poly, int Count, TBitmap* Dst, const TPoint& Point) {
  if (Src == nullptr || Dst == nullptr || Src == Dst || Poly == nullptr || Count < 3 || Src->GetEmpty()) return;
  const Box b = Bounds(Poly, Count);
  if (b.minX > b.maxX) return;
  if (Dst->GetWidth() < b.maxX || Dst->GetHeight() < b.maxY) {
    const int w = std::max(Dst->GetWidth(), b.maxX), h = std::max(Dst->GetHeight(), b.maxY);
    if (!CXImageSizeAllowed(w, h)) return;
    Dst->SetSize(w, h);
  }
  const int dx = b.minX - Point.X, dy = b.minY - Point.Y;
  CanvasScope c(Dst);
  ForEachPolygon(Poly, Count, [&](const TPoint* p, int n) {
    c.Clip(p, n);
    c->IntersectClipRect(b.minX, b.minY, b.maxX, b.maxY);
    c->Draw(dx, dy, Src);
  });
}

bool _BitmapCompareX(const TBitmap* A, const TBitmap* B) {
  if (A == nullptr || B == nullptr) return A == B;
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
  if (A->GetImageSize() != B->GetImageSize()) return false;
  return A->GetImageSize() == 0 || std::memcmp(A->Bits(), B->Bits(), A->GetImageSize()) == 0;
}

// ---------------------------------------------------------------------------------------------
// Magic wand

namespace {

inline bool Matches(const TRGB& p, const TRGB& seed, int tol) {
  const int dr = std::abs(int(p.r) - seed.r), dg = std::abs(int(p.g) - seed.g), db = std::abs(int(p.b) - seed.b);
  return std::max(dr, std::max(dg, db)) <= tol;
}

// The outer boundary of the 4-connected set of mask pixels containing the first set pixel in
// scan order, followed along pixel edges with the set on the right-hand side; a vertex is kept
// wherever the direction changes. Diagonal neighbours count as separate, so the contour never
// crosses itself and encloses exactly the set (with its holes).
std::vector<TPoint> TraceOutline(const std::vector<uint8_t>& mask, int w, int h, int ox, int oy) {
  auto in = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && mask[size_t(y) * size_t(w) + size_t(x)]; };
  int sx = -1, sy = -1;
  for (int y = 0; y < h && sx < 0; ++y)
    for (int x = 0; x < w; ++x)
      if (mask[size_t(y) * size_t(w) + size_t(x)]) {
        sx = x, sy = y;
        break;
      }
  std::vector<TPoint> pts;
  if (sx < 0) return pts;
  static const int kDx[4] = {1, 0, -1, 0}, kDy[4] = {0, 1, 0, -1};  // east, south, west, north
  int x = sx, y = sy, d = 0;
  do {
    x += kDx[d];
    y += kDy[d];
    // The pixels ahead of the vertex (x, y), to the left and to the right of the direction.
    bool al, ar;
    switch (d) {
      case 0: al = in(x, y - 1), ar = in(x, y); break;
      case 1: al = in(x, y), ar = in(x - 1, y); break;
      case 2: al = in(x - 1, y), ar = in(x - 1, y - 1); break;
      default: al = in(x - 1, y - 1), ar = in(x, y - 1); break;
    }
    int nd = d;
    if (!ar) nd = (d + 1) & 3;       // turn right round the corner pixel
    else if (al) nd = (d + 3) & 3;   // turn left along the pixel ahead
    if (nd != d) pts.push_back(TPoint{x + ox, y + oy});
    d = nd;
  } while (!(x == sx && y == sy && d == 0));
  // Start at the top-left corner of the first pixel.
  std::rotate(pts.begin(), pts.end() - 1, pts.end());
  return pts;
}

}  // namespace

TPoint* _MakeMagicWandPoints(const TBitmap* Bitmap, int x, int y, bool MaxFilter, int Tolerance, int& Count) {
  Count = 0;
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit) return nullptr;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (x < 0 || y < 0 || x >= w || y >= h) return nullptr;
  auto row = [&](int yy) { return reinterpret_cast<const TRGB*>(Bitmap->ScanLine(yy)); };
  const TRGB seed = row(y)[x];

  // Scan-line flood fill (4-connected) into a byte mask; seeds are pushed at the start of every
  // matching run of the rows above and below a filled span.
  std::vector<uint8_t> mask(size_t(w) * size_t(h));
  int minX = w, minY = h, maxX = -1, maxY = -1;
  std::vector<TPoint> stack;
  stack.reserve(size_t(2) * size_t(w));
  stack.push_back(TPoint{x, y});
  while (!stack.empty()) {
    const TPoint s = stack.back();
    stack.pop_back();
    uint8_t* m = mask.data() + size_t(s.Y) * size_t(w);
    if (m[s.X]) continue;
    const TRGB* p = row(s.Y);
    int l = s.X, r = s.X;
    while (l > 0 && !m[l - 1] && Matches(p[l - 1], seed, Tolerance)) --l;
    while (r + 1 < w && !m[r + 1] && Matches(p[r + 1], seed, Tolerance)) ++r;
    std::memset(m + l, 1, size_t(r - l + 1));
    minX = std::min(minX, l), maxX = std::max(maxX, r);
    minY = std::min(minY, int(s.Y)), maxY = std::max(maxY, int(s.Y));
    for (const int ny : {s.Y - 1, s.Y + 1}) {
      if (ny < 0 || ny >= h) continue;
      const uint8_t* nm = mask.data() + size_t(ny) * size_t(w);
      const TRGB* np = row(ny);
      bool inRun = false;
      for (int xx = l; xx <= r; ++xx) {
        const bool ok = !nm[xx] && Matches(np[xx], seed, Tolerance);
        if (ok && !inRun) stack.push_back(TPoint{xx, ny});
        inRun = ok;
      }
    }
  }
  if (maxX < 0) return nullptr;

  // The mask of the bounding box, grown by one pixel on every side (within the bitmap) with
  // MaxFilter.
  const int g = MaxFilter ? 1 : 0;
  const int bx = std::max(minX - g, 0), by = std::max(minY - g, 0);
  const int bw = std::min(maxX + g, w - 1) - bx + 1, bh = std::min(maxY + g, h - 1) - by + 1;
  std::vector<uint8_t> box(size_t(bw) * size_t(bh));
  for (int yy = 0; yy < bh; ++yy)
    for (int xx = 0; xx < bw; ++xx) {
      const int X = bx + xx, Y = by + yy;
      bool on = false;
      for (int ky = -g; ky <= g && !on; ++ky)
        for (int kx = -g; kx <= g && !on; ++kx) {
          const int px = X + kx, py = Y + ky;
          on = px >= 0 && py >= 0 && px < w && py < h && mask[size_t(py) * size_t(w) + size_t(px)];
        }
      box[size_t(yy) * size_t(bw) + size_t(xx)] = on;
    }
  const std::vector<TPoint> pts = TraceOutline(box, bw, bh, bx, by);
  if (pts.empty()) return nullptr;
  auto* out = new TPoint[pts.size()];
  std::copy(pts.begin(), pts.end(), out);
  Count = int(pts.size());
  return out;
}

}  // namespace corvex
