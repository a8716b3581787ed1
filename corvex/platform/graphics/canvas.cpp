// TCanvas: tools, state, clipping, lines and shapes. Bitmap copies are in canvas_pixels.cpp and
// text in text.cpp.
#include "corvex/platform/graphics/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas_pvt.h"
#include "corvex/platform/graphics/text_pvt.h"

namespace corvex {

using raster::TClipper;
using raster::TMix;
using raster::TSpan;
using raster::TTarget;

// ---------------------------------------------------------------------------------------------
// Pens and brushes

void TPen::Changed() {
  if (OnChange) OnChange(this);
}
void TPen::SetColor(TColor Value) {
  if (Value == Color_) return;
  Color_ = Value;
  Changed();
}
void TPen::SetWidth(int Value) {
  if (Value == Width_) return;
  Width_ = Value;
  Changed();
}
void TPen::SetStyle(TPenStyle Value) {
  if (Value == Style_) return;
  Style_ = Value;
  Changed();
}
void TPen::SetMode(TPenMode Value) {
  if (Value == Mode_) return;
  Mode_ = Value;
  Changed();
}
void TPen::Assign(const TPersistent* Source) {
  const auto* p = dynamic_cast<const TPen*>(Source);
  if (p == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (p == this) return;
  Color_ = p->Color_;
  Width_ = p->Width_;
  Style_ = p->Style_;
  Mode_ = p->Mode_;
  Changed();
}

void TBrush::Changed() {
  if (OnChange) OnChange(this);
}
void TBrush::SetColor(TColor Value) {
  if (Value == Color_) return;
  Color_ = Value;
  Changed();
}
void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == Style_) return;
  Style_ = Value;
  Changed();
}
void TBrush::Assign(const TPersistent* Source) {
  const auto* b = dynamic_cast<const TBrush*>(Source);
  if (b == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (b == this) return;
  Color_ = b->Color_;
  Style_ = b->Style_;
  Changed();
}

namespace {

// Hatch patterns, one byte per row, bit 7 = column 0.
constexpr uint8_t kHatches[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},                           // bsSolid (not a hatch)
    {0, 0, 0, 0, 0, 0, 0, 0},                           // bsClear
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // bsHorizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // bsVertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // bsFDiagonal: \ (x = y)
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // bsBDiagonal: / (x + y = 7)
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // bsCross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // bsDiagCross
};

// The two-operand raster code of each pen mode.
int Rop2Of(TPenMode m) {
  static constexpr int kCodes[16] = {1, 16, 11, 6, 13, 4, 14, 5, 12, 3, 15, 2, 9, 8, 7, 10};
  const int i = static_cast<int>(m);
  return i >= 0 && i < 16 ? kCodes[i] : raster::R2_COPYPEN;
}

// The brush's hatch rows, nullptr for a solid brush.
const uint8_t* BrushHatch(const TBrush& b) {
  return b.GetStyle() >= bsHorizontal && b.GetStyle() <= bsDiagCross ? kHatches[b.GetStyle()] : nullptr;
}

}  // namespace

const uint8_t* HatchPattern(TBrushStyle Style) {
  const int i = static_cast<int>(Style);
  return kHatches[i >= 0 && i < 8 ? i : 0];
}

void LineDDA(int X1, int Y1, int X2, int Y2, TLineDDAProc Proc, void* Data) {
  if (Proc == nullptr) return;
  raster::WalkLine(X1, Y1, X2, Y2, [&](int32_t x, int32_t y) { Proc(x, y, Data); });
}

// ---------------------------------------------------------------------------------------------
// The pen as one operation uses it: the dash pattern and the shape stamped along wide lines.

namespace {

constexpr int kDash[] = {18, 6};
constexpr int kDot[] = {3, 3};
constexpr int kDashDot[] = {9, 6, 3, 6};
constexpr int kDashDotDot[] = {9, 3, 3, 3, 3, 3};

class Stroker {
 public:
  explicit Stroker(const TPen& pen) {
    style_ = pen.GetStyle();
    width_ = std::max(pen.GetWidth(), 1);
    lo_ = (width_ - 1) / 2;
    hi_ = width_ / 2;
    const int* seg = nullptr;
    int n = 0;
    switch (style_) {
      case psDash: seg = kDash, n = 2; break;
      case psDot: seg = kDot, n = 2; break;
      case psDashDot: seg = kDashDot, n = 4; break;
      case psDashDotDot: seg = kDashDotDot, n = 6; break;
      default: break;
    }
    for (int i = 0; i < n; ++i) {
      dash_[i] = seg[i] * width_;
      total_ += dash_[i];
    }
    dashCount_ = n;
    if (width_ == 1) stamp_.push_back({0, 1});
    if (width_ > 1) {
      // A round pen: the pixels of a width x width square whose centres lie within width / 2 of
      // the square's centre.
      const double c = (hi_ - lo_) / 2.0, r2 = width_ * width_ / 4.0 + 1e-9;
      for (int j = -lo_; j <= hi_; ++j) {
        int l = hi_ + 1, h = -lo_ - 1;
        for (int i = -lo_; i <= hi_; ++i)
          if ((i - c) * (i - c) + (j - c) * (j - c) <= r2) {
            l = std::min(l, i);
            h = std::max(h, i);
          }
        stamp_.push_back({l, h + 1});
      }
    }
  }

  bool Visible() const { return style_ != psClear; }
  bool Dashed() const { return dashCount_ > 0; }
  int Width() const { return width_; }
  int Lo() const { return lo_; }
  int Hi() const { return hi_; }
  bool InsideFrame() const { return style_ == psInsideFrame; }
  int64_t DashPos() const { return pos_; }
  void SetDashPos(int64_t p) { pos_ = p; }
  void Skip(int64_t n) { pos_ += n; }

  // One pixel of the 1-pixel path, in drawing order.
  void Visit(int32_t x, int32_t y) {
    if (dashCount_ > 0) {
      int64_t k = pos_++ % total_;
      int i = 0;
      while (k >= dash_[i]) k -= dash_[i++];
      if (i & 1) {  // a gap: what the piece gathered so far must not bridge it
        if (straight_) Flush();
        return;
      }
    }
    Emit(x, y);
  }
  // The pen at one pixel of the path.
  void Emit(int32_t x, int32_t y) {
    if (straight_) {
      for (int j = 0; j < width_; ++j) {
        const int64_t r = int64_t(y) - lo_ + j - pieceTop_;
        if (r < 0 || r >= int64_t(rows_.size())) continue;
        raster::TRun& run = rows_[size_t(r)];
        const int32_t a = x + stamp_[size_t(j)].X1, b = x + stamp_[size_t(j)].X2;
        if (run.X1 >= run.X2) run = {a, b};
        else run = {std::min(run.X1, a), std::max(run.X2, b)};
      }
      return;
    }
    if (width_ == 1) {
      if (!spans_.empty() && spans_.back().Y == y && spans_.back().X2 == x) ++spans_.back().X2;
      else spans_.push_back({y, x, x + 1});
      return;
    }
    for (int j = 0; j < width_; ++j) spans_.push_back({y - lo_ + j, x + stamp_[size_t(j)].X1, x + stamp_[size_t(j)].X2});
  }
  // A straight run of the path covering rows Top .. Bottom-1 (rows outside are not needed). The
  // pen stamps along a straight run cover one interval per row, so the piece keeps one interval
  // per row instead of a span per stamp.
  void BeginPiece(int64_t Top, int64_t Bottom) {
    straight_ = true;
    pieceTop_ = Top;
    rows_.assign(size_t(std::max<int64_t>(Bottom - Top, 0)), raster::TRun{0, 0});
  }
  void EndPiece() {
    Flush();
    straight_ = false;
  }
  std::vector<TSpan> TakeSpans() {
    raster::NormalizeSpans(spans_);
    return std::move(spans_);
  }

 private:
  void Flush() {
    for (size_t i = 0; i < rows_.size(); ++i) {
      raster::TRun& r = rows_[i];
      if (r.X1 < r.X2) spans_.push_back({int32_t(pieceTop_ + int64_t(i)), r.X1, r.X2});
      r = {0, 0};
    }
  }

  TPenStyle style_ = psSolid;
  int width_ = 1, lo_ = 0, hi_ = 0;
  int dash_[6] = {};
  int dashCount_ = 0;
  int64_t total_ = 0;
  int64_t pos_ = 0;
  std::vector<raster::TRun> stamp_;
  std::vector<TSpan> spans_;
  bool straight_ = false;
  int64_t pieceTop_ = 0;
  std::vector<raster::TRun> rows_;
};

// Everything one drawing operation needs.
struct Surface {
  TTarget t;
  TClipper clip;
  TRect vis;  // visible bounds
  Surface(TBitmap* b, const TRegion* rgn) : t(raster::TargetOf(b)), clip(t, rgn), vis(clip.Bounds()) {}
  bool Drawable() const { return t.Bpp != 0 && !vis.IsEmpty(); }
};

// Walks a segment of the path through the stroker, only over the steps that can reach the
// visible area (the dash pattern still advances over the others).
void StrokeSegment(Stroker& s, const TRect& vis, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int64_t m = s.Width() + 1;
  int64_t first = 0, last = 0;
  raster::LineStepsWithin(x1, y1, x2, y2, int64_t(vis.Left) - m, int64_t(vis.Right) + m, int64_t(vis.Top) - m,
                          int64_t(vis.Bottom) + m, first, last);
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const int64_t steps = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  const int64_t start = s.DashPos();
  if (first < last) {
    s.SetDashPos(start + first);
    const int64_t top = std::max<int64_t>(std::min<int64_t>(y1, y2) - s.Lo(), int64_t(vis.Top) - m);
    const int64_t bottom = std::min<int64_t>(std::max<int64_t>(y1, y2) + s.Hi() + 1, int64_t(vis.Bottom) + m);
    s.BeginPiece(top, bottom);
    raster::WalkLineSteps(x1, y1, x2, y2, first, last, [&](int32_t x, int32_t y) { s.Visit(x, y); });
    s.EndPiece();
  }
  s.SetDashPos(start + steps);
}

// Paints a shape: the fill (minus the outline) with the brush, then the outline with the pen,
// both combined by the pen mode.
void PaintShape(TCanvas& c, const Surface& s, std::vector<TSpan>& fill, const std::vector<TSpan>& outline) {
  const int rop = Rop2Of(c.GetPen()->GetMode());
  if (!fill.empty() && c.GetBrush()->GetStyle() != bsClear) {
    if (!outline.empty()) fill = raster::SubtractSpans(fill, outline);
    raster::PaintSpans(s.t, s.clip, fill, raster::MakeMix(rop, c.GetBrush()->GetColor(), s.t), BrushHatch(*c.GetBrush()));
  }
  if (!outline.empty())
    raster::PaintSpans(s.t, s.clip, outline, raster::MakeMix(rop, c.GetPen()->GetColor(), s.t), nullptr);
}

// The rows [y1, y2) of a rectangle as spans, limited to the rows near the visible area.
void RectSpans(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TRect& vis, int margin, std::vector<TSpan>& out) {
  if (x1 >= x2 || y1 >= y2) return;
  const int32_t a = std::max<int64_t>(y1, int64_t(vis.Top) - margin);
  const int32_t b = std::min<int64_t>(y2, int64_t(vis.Bottom) + margin);
  const int32_t l = std::max<int64_t>(x1, int64_t(vis.Left) - margin);
  const int32_t r = std::min<int64_t>(x2, int64_t(vis.Right) + margin);
  if (l >= r) return;
  for (int32_t y = a; y < b; ++y) out.push_back({y, l, r});
}

// A span cut to the columns near the visible area.
void PushCut(std::vector<TSpan>& out, int32_t y, int32_t x1, int32_t x2, const TRect& vis, int margin) {
  const int32_t l = std::max<int64_t>(x1, int64_t(vis.Left) - margin);
  const int32_t r = std::min<int64_t>(x2, int64_t(vis.Right) + margin);
  if (l < r) out.push_back({y, l, r});
}

// The ellipse's rows as spans, limited to the area near the visible one.
void EllipseSpans(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TRect& vis, int margin, std::vector<TSpan>& out) {
  if (x1 >= x2 || y1 >= y2) return;
  std::vector<raster::TRun> rows;
  const int32_t first =
      raster::EllipseRows(x1, y1, x2, y2, int64_t(vis.Top) - margin, int64_t(vis.Bottom) + margin, rows);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].X1 < rows[i].X2) PushCut(out, first + int32_t(i), rows[i].X1, rows[i].X2, vis, margin);
}

// The 1-pixel outline of an ellipse: its pixels with a 4-neighbour outside it (an 8-connected
// curve), limited to the area near the visible one.
void EllipseBoundary(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TRect& vis, int margin,
                     std::vector<TSpan>& out) {
  if (x1 >= x2 || y1 >= y2) return;
  std::vector<raster::TRun> rows;  // one more row above and below, for the neighbours
  const int64_t from = int64_t(vis.Top) - margin, to = int64_t(vis.Bottom) + margin;
  const int32_t first = raster::EllipseRows(x1, y1, x2, y2, from - 1, to + 1, rows);
  const int32_t n = static_cast<int32_t>(rows.size());
  for (int32_t i = 0; i < n; ++i) {
    const int64_t y = int64_t(first) + i;
    if (y < from || y >= to) continue;
    const raster::TRun& r = rows[size_t(i)];
    if (r.X1 >= r.X2) continue;
    // Rows outside the box (or outside what was computed, which only happens beyond the box)
    // are empty.
    const raster::TRun up = i > 0 ? rows[size_t(i - 1)] : raster::TRun{0, 0};
    const raster::TRun dn = i + 1 < n ? rows[size_t(i + 1)] : raster::TRun{0, 0};
    if (up.X1 >= up.X2 || dn.X1 >= dn.X2) {
      PushCut(out, int32_t(y), r.X1, r.X2, vis, margin);
      continue;
    }
    const int32_t leftEnd = std::min(r.X2, std::max({r.X1 + 1, up.X1, dn.X1}));
    const int32_t rightStart = std::max(r.X1, std::min({r.X2 - 1, up.X2, dn.X2}));
    if (leftEnd >= rightStart) {
      PushCut(out, int32_t(y), r.X1, r.X2, vis, margin);
    } else {
      PushCut(out, int32_t(y), r.X1, leftEnd, vis, margin);
      PushCut(out, int32_t(y), rightStart, r.X2, vis, margin);
    }
  }
}

// The pixels of normalised spans, in the order of their angle around (cx, cy) counter-clockwise
// (y up) from angle From, with their angles, keeping those within Sweep of From.
struct AnglePixel {
  double a;
  int32_t x, y;
};
std::vector<AnglePixel> PixelsByAngle(const std::vector<TSpan>& spans, double cx, double cy, double from, double sweep) {
  std::vector<AnglePixel> px;
  const double twoPi = 2 * std::numbers::pi;
  for (const TSpan& s : spans)
    for (int32_t x = s.X1; x < s.X2; ++x) {
      double a = std::atan2(-(s.Y + 0.5 - cy), x + 0.5 - cx) - from;
      a = std::fmod(a, twoPi);
      if (a < 0) a += twoPi;
      if (a <= sweep + 1e-12) px.push_back({a, x, s.Y});
    }
  std::sort(px.begin(), px.end(), [](const AnglePixel& p, const AnglePixel& q) { return p.a < q.a; });
  return px;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Canvas state

TCanvas::TCanvas(TBitmap* Target) : Bitmap_(Target) {}
TCanvas::~TCanvas() = default;

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  ++ChangeCount_;
  if (OnChange) OnChange(this);
}

void TCanvas::SelectClipRgn(const TRegion* Rgn) {
  HasClip_ = Rgn != nullptr;
  Clip_ = Rgn != nullptr ? *Rgn : TRegion();
}

namespace {
constexpr int32_t kHuge = int32_t(1) << 30;
}

void TCanvas::ExcludeClipRect(int X1, int Y1, int X2, int Y2) {
  if (!HasClip_) {
    Clip_ = TRegion::FromRect(-kHuge, -kHuge, kHuge, kHuge);
    HasClip_ = true;
  }
  if (X1 < X2 && Y1 < Y2) Clip_ -= TRegion::FromRect(X1, Y1, X2, Y2);
}

void TCanvas::IntersectClipRect(int X1, int Y1, int X2, int Y2) {
  const TRegion r = (X1 < X2 && Y1 < Y2) ? TRegion::FromRect(X1, Y1, X2, Y2) : TRegion();
  if (!HasClip_) {
    Clip_ = r;
    HasClip_ = true;
  } else {
    Clip_ &= r;
  }
}

TRect TCanvas::GetClipRect() const {
  TRect r{0, 0, Bitmap_ != nullptr ? Bitmap_->GetWidth() : 0, Bitmap_ != nullptr ? Bitmap_->GetHeight() : 0};
  if (HasClip_) r = IntersectRect(r, Clip_.GetBounds());
  return r;
}

bool TCanvas::GetClipRgn(TRegion& Rgn) const {
  if (!HasClip_) return false;
  Rgn = Clip_;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Lines

void TCanvas::MoveTo(int X, int Y) {
  PenPos_ = {X, Y};
  DashPos_ = 0;
}

void TCanvas::LineTo(int X, int Y) {
  const TPoint from = PenPos_;
  PenPos_ = {X, Y};
  Surface s(Bitmap_, ClipRegion());
  Stroker st(Pen_);
  const int64_t dx = int64_t(X) - from.X, dy = int64_t(Y) - from.Y;
  const int64_t steps = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  if (!s.Drawable() || !st.Visible() || steps == 0) {
    DashPos_ += steps;
    return;
  }
  Changing();
  const TMix mix = raster::MakeMix(Rop2Of(Pen_.GetMode()), Pen_.GetColor(), s.t);
  if (st.Width() == 1 && !st.Dashed()) {
    // One pixel after another: a single segment never visits a pixel twice.
    int64_t first = 0, last = 0;
    raster::LineStepsWithin(from.X, from.Y, X, Y, s.vis.Left, s.vis.Right, s.vis.Top, s.vis.Bottom, first, last);
    raster::WalkLineSteps(from.X, from.Y, X, Y, first, last, [&](int32_t x, int32_t y) {
      if (s.clip.PointVisible(x, y)) raster::MixPixel(s.t, x, y, mix);
    });
  } else {
    st.SetDashPos(DashPos_);
    StrokeSegment(st, s.vis, from.X, from.Y, X, Y);
    raster::PaintSpans(s.t, s.clip, st.TakeSpans(), mix, nullptr);
  }
  DashPos_ += steps;
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, int Count) {
  if (Points == nullptr || Count < 2) return;
  Surface s(Bitmap_, ClipRegion());
  Stroker st(Pen_);
  if (!s.Drawable() || !st.Visible()) return;
  Changing();
  for (int i = 0; i + 1 < Count; ++i) StrokeSegment(st, s.vis, Points[i].X, Points[i].Y, Points[i + 1].X, Points[i + 1].Y);
  raster::PaintSpans(s.t, s.clip, st.TakeSpans(), raster::MakeMix(Rop2Of(Pen_.GetMode()), Pen_.GetColor(), s.t), nullptr);
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Shapes

namespace {
struct SpanSink {
  std::vector<TSpan>* out;
  static void Emit(void* ctx, int32_t y, int32_t rows, const TRegion::TRun* runs, int count) {
    auto* v = static_cast<SpanSink*>(ctx)->out;
    for (int32_t r = 0; r < rows; ++r)
      for (int k = 0; k < count; ++k) v->push_back({y + r, runs[k].X1, runs[k].X2});
  }
};
}  // namespace

void TCanvas::PolyPolygon(const TPoint* Points, const int* Counts, int Polygons) {
  if (Points == nullptr || Counts == nullptr || Polygons <= 0) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) {
    SpanSink sink{&fill};
    ScanPolygons(Points, Counts, Polygons, FillMode_, s.vis.Top, s.vis.Bottom, &SpanSink::Emit, &sink);
  }
  if (st.Visible()) {
    const TPoint* p = Points;
    for (int k = 0; k < Polygons; ++k) {
      const int n = Counts[k];
      if (n <= 0) continue;
      st.SetDashPos(0);
      for (int i = 0; i < n && n >= 2; ++i) {
        const TPoint& a = p[i];
        const TPoint& b = p[(i + 1) % n];
        StrokeSegment(st, s.vis, a.X, a.Y, b.X, b.Y);
      }
      p += n;
    }
    outline = st.TakeSpans();
  }
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, int Count) {
  if (Points == nullptr || Count < 2) return;
  PolyPolygon(Points, &Count, 1);
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  const int margin = st.Width() + 1;
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) RectSpans(X1, Y1, X2, Y2, s.vis, margin, fill);
  if (st.Visible()) {
    // The 1-pixel path runs along the outermost pixels; an inside-frame pen moves it inward so
    // that the wide pen stays within the rectangle.
    int32_t px1 = X1, py1 = Y1, px2 = X2, py2 = Y2;
    if (st.InsideFrame()) {
      px1 += st.Lo(), py1 += st.Lo(), px2 -= st.Hi(), py2 -= st.Hi();
      if (px1 >= px2) px1 = px2 = (X1 + X2) / 2, ++px2;
      if (py1 >= py2) py1 = py2 = (Y1 + Y2) / 2, ++py2;
    }
    if (!st.Dashed()) {
      std::vector<TSpan> outer, inner;
      RectSpans(px1 - st.Lo(), py1 - st.Lo(), px2 + st.Hi(), py2 + st.Hi(), s.vis, margin, outer);
      RectSpans(px1 + st.Hi() + 1, py1 + st.Hi() + 1, px2 - st.Lo() - 1, py2 - st.Lo() - 1, s.vis, margin, inner);
      outline = raster::SubtractSpans(outer, inner);
    } else {
      const TPoint c[4] = {{px1, py1}, {px2 - 1, py1}, {px2 - 1, py2 - 1}, {px1, py2 - 1}};
      for (int i = 0; i < 4; ++i) StrokeSegment(st, s.vis, c[i].X, c[i].Y, c[(i + 1) % 4].X, c[(i + 1) % 4].Y);
      if (px2 - px1 == 1 && py2 - py1 == 1) st.Visit(px1, py1);
      outline = st.TakeSpans();
    }
  }
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  if (R.IsEmpty() || Brush_.GetStyle() == bsClear) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  const TRect r = IntersectRect(R, s.vis);
  if (r.IsEmpty()) return;
  Changing();
  const TMix mix = raster::MakeMix(raster::R2_COPYPEN, Brush_.GetColor(), s.t);
  const uint8_t* hatch = BrushHatch(Brush_);
  if (hatch == nullptr && !s.clip.HasRegion() && s.t.Bpp >= 8) {
    // Every row is the same: fill the first, copy it to the others.
    raster::MixSpan(s.t, r.Top, r.Left, r.Right, mix);
    const size_t off = size_t(r.Left) * size_t(s.t.Bpp / 8), len = size_t(r.Width()) * size_t(s.t.Bpp / 8);
    const uint8_t* first = s.t.Row(r.Top) + off;
    for (int32_t y = r.Top + 1; y < r.Bottom; ++y) std::memcpy(s.t.Row(y) + off, first, len);
  } else {
    for (int32_t y = r.Top; y < r.Bottom; ++y)
      s.clip.Span(y, r.Left, r.Right, [&](int32_t yy, int32_t a, int32_t b) {
        if (hatch == nullptr) raster::MixSpan(s.t, yy, a, b, mix);
        else raster::MixSpanPattern(s.t, yy, a, b, mix, hatch[yy & 7]);
      });
  }
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  if (R.IsEmpty() || Brush_.GetStyle() == bsClear) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Changing();
  std::vector<TSpan> outer, inner;
  RectSpans(R.Left, R.Top, R.Right, R.Bottom, s.vis, 2, outer);
  RectSpans(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1, s.vis, 2, inner);
  raster::PaintSpans(s.t, s.clip, raster::SubtractSpans(outer, inner),
                     raster::MakeMix(raster::R2_COPYPEN, Brush_.GetColor(), s.t), BrushHatch(Brush_));
  Changed();
}

namespace {

// The outline of an ellipse (or of the part an arc keeps) for a pen.
std::vector<TSpan> EllipseOutline(Stroker& st, const TRect& vis, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                  bool arc, double from, double sweep) {
  const int margin = st.Width() + 1;
  int32_t px1 = X1, py1 = Y1, px2 = X2, py2 = Y2;
  if (st.InsideFrame()) {
    px1 += st.Lo(), py1 += st.Lo(), px2 -= st.Hi(), py2 -= st.Hi();
    if (px1 >= px2) px1 = px2 = (X1 + X2) / 2, ++px2;
    if (py1 >= py2) py1 = py2 = (Y1 + Y2) / 2, ++py2;
  }
  const double cx = (double(px1) + px2) / 2, cy = (double(py1) + py2) / 2;
  std::vector<TSpan> out;
  if (!st.Dashed() && !arc) {
    if (st.Width() == 1) {
      EllipseBoundary(px1, py1, px2, py2, vis, margin, out);
    } else {
      std::vector<TSpan> outer, inner;
      EllipseSpans(px1 - st.Lo(), py1 - st.Lo(), px2 + st.Hi(), py2 + st.Hi(), vis, margin, outer);
      EllipseSpans(px1 + st.Hi() + 1, py1 + st.Hi() + 1, px2 - st.Lo() - 1, py2 - st.Lo() - 1, vis, margin, inner);
      out = raster::SubtractSpans(outer, inner);
    }
    return out;
  }
  // Dashed or partial: the 1-pixel curve in order of its angle, through the stroker.
  std::vector<TSpan> curve;
  EllipseBoundary(px1, py1, px2, py2, vis, margin + st.Width(), curve);
  for (const AnglePixel& p : PixelsByAngle(curve, cx, cy, from, sweep)) st.Visit(p.x, p.y);
  return st.TakeSpans();
}

}  // namespace

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) EllipseSpans(X1, Y1, X2, Y2, s.vis, 1, fill);
  if (st.Visible()) outline = EllipseOutline(st, s.vis, X1, Y1, X2, Y2, false, 0, 2 * std::numbers::pi);
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  Stroker st(Pen_);
  if (!s.Drawable() || !st.Visible()) return;
  Changing();
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  const double twoPi = 2 * std::numbers::pi;
  const double from = std::atan2(-(Y3 - cy), X3 - cx);
  double sweep = std::fmod(std::atan2(-(Y4 - cy), X4 - cx) - from, twoPi);
  if (sweep <= 1e-12) sweep += twoPi;  // equal rays: the whole ellipse
  std::vector<TSpan> outline;
  if (st.Width() == 1 || st.Dashed()) {
    outline = EllipseOutline(st, s.vis, X1, Y1, X2, Y2, true, from, sweep);
  } else {
    // A solid wide arc: the wide ring cut to the sweep.
    Stroker solid(Pen_);
    std::vector<TSpan> ring = EllipseOutline(solid, s.vis, X1, Y1, X2, Y2, false, 0, twoPi);
    for (const AnglePixel& p : PixelsByAngle(ring, cx, cy, from, sweep)) outline.push_back({p.y, p.x, p.x + 1});
    raster::NormalizeSpans(outline);
  }
  raster::PaintSpans(s.t, s.clip, outline, raster::MakeMix(Rop2Of(Pen_.GetMode()), Pen_.GetColor(), s.t), nullptr);
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Rounded rectangles, pies and chords

namespace {

// The rows of a rectangle [X1, X2) x [Y1, Y2) whose corners are the quarters of an ellipse of
// Cw x Ch pixels (cut to the rectangle), for the rows RowFrom .. RowTo-1 cut to the box:
// Rows[i] is row max(Y1, RowFrom) + i. The ellipse is split through its centre and its halves
// pushed to the sides, so the rounded rectangle with corners as large as the rectangle is
// exactly the ellipse. Returns the first row.
int32_t RoundRectRows(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int64_t Cw, int64_t Ch, int64_t RowFrom,
                      int64_t RowTo, std::vector<raster::TRun>& Rows) {
  const int64_t w = int64_t(X2) - X1, h = int64_t(Y2) - Y1;
  Cw = std::clamp<int64_t>(Cw, 0, w);
  Ch = std::clamp<int64_t>(Ch, 0, h);
  const int64_t from = std::max<int64_t>(Y1, RowFrom), to = std::min<int64_t>(Y2, RowTo);
  Rows.assign(size_t(std::max<int64_t>(to - from, 0)), raster::TRun{X1, X2});
  if (from >= to || Cw < 2 || Ch < 2) return int32_t(from);
  const int64_t stretch = w - Cw, half = Ch / 2;
  const int32_t midL = static_cast<int32_t>(X1 + Cw / 2), midR = static_cast<int32_t>(midL + stretch);
  std::vector<raster::TRun> e;
  // Top corners from the ellipse at the top of the box, bottom corners from the one at its bottom.
  const int32_t boxes[2][2] = {{Y1, static_cast<int32_t>(Y1 + Ch)}, {static_cast<int32_t>(Y2 - Ch), Y2}};
  const int64_t bands[2][2] = {{Y1, Y1 + half}, {Y2 - half, Y2}};
  for (int k = 0; k < 2; ++k) {
    const int64_t a = std::max(from, bands[k][0]), b = std::min(to, bands[k][1]);
    if (a >= b) continue;
    const int32_t first = raster::EllipseRows(X1, boxes[k][0], static_cast<int32_t>(X1 + Cw), boxes[k][1], a, b, e);
    for (size_t i = 0; i < e.size(); ++i) {
      raster::TRun& r = Rows[size_t(first + int64_t(i) - from)];
      if (e[i].X1 < e[i].X2) r = {std::min(e[i].X1, midL), static_cast<int32_t>(std::max<int64_t>(e[i].X2 + stretch, midR))};
      else r = {midL, midR};  // only the straight edge reaches this row
    }
  }
  return int32_t(from);
}

void RoundRectSpans(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int64_t cw, int64_t ch, const TRect& vis,
                    int margin, std::vector<TSpan>& out) {
  if (x1 >= x2 || y1 >= y2) return;
  std::vector<raster::TRun> rows;
  const int32_t first =
      RoundRectRows(x1, y1, x2, y2, cw, ch, int64_t(vis.Top) - margin, int64_t(vis.Bottom) + margin, rows);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].X1 < rows[i].X2) PushCut(out, first + int32_t(i), rows[i].X1, rows[i].X2, vis, margin);
}

// The 1-pixel outline of a shape given by one run per row: its pixels with a 4-neighbour outside
// it. Rows[i] is row First + i; only rows From .. To-1 are produced (the rows one above and below
// them must be in Rows when they exist).
void RowsBoundary(const std::vector<raster::TRun>& rows, int32_t first, int64_t from, int64_t to, const TRect& vis,
                  int margin, std::vector<TSpan>& out) {
  const int32_t n = static_cast<int32_t>(rows.size());
  for (int32_t i = 0; i < n; ++i) {
    const int64_t y = int64_t(first) + i;
    if (y < from || y >= to) continue;
    const raster::TRun& r = rows[size_t(i)];
    if (r.X1 >= r.X2) continue;
    const raster::TRun up = i > 0 ? rows[size_t(i - 1)] : raster::TRun{0, 0};
    const raster::TRun dn = i + 1 < n ? rows[size_t(i + 1)] : raster::TRun{0, 0};
    if (up.X1 >= up.X2 || dn.X1 >= dn.X2) {
      PushCut(out, int32_t(y), r.X1, r.X2, vis, margin);
      continue;
    }
    const int32_t leftEnd = std::min(r.X2, std::max({r.X1 + 1, up.X1, dn.X1}));
    const int32_t rightStart = std::max(r.X1, std::min({r.X2 - 1, up.X2, dn.X2}));
    if (leftEnd >= rightStart) {
      PushCut(out, int32_t(y), r.X1, r.X2, vis, margin);
    } else {
      PushCut(out, int32_t(y), r.X1, leftEnd, vis, margin);
      PushCut(out, int32_t(y), rightStart, r.X2, vis, margin);
    }
  }
}

void RoundRectBoundary(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int64_t cw, int64_t ch, const TRect& vis,
                       int margin, std::vector<TSpan>& out) {
  if (x1 >= x2 || y1 >= y2) return;
  std::vector<raster::TRun> rows;
  const int64_t from = int64_t(vis.Top) - margin, to = int64_t(vis.Bottom) + margin;
  const int32_t first = RoundRectRows(x1, y1, x2, y2, cw, ch, from - 1, to + 1, rows);
  RowsBoundary(rows, first, from, to, vis, margin, out);
}

// The angles of an arc as Arc takes them: the start angle and the sweep (0 < sweep <= 2 pi) of
// the rays from the centre through (X3, Y3) and (X4, Y4), counter-clockwise with y up.
void ArcAngles(double cx, double cy, int X3, int Y3, int X4, int Y4, double& from, double& sweep) {
  const double twoPi = 2 * std::numbers::pi;
  from = std::atan2(-(Y3 - cy), X3 - cx);
  sweep = std::fmod(std::atan2(-(Y4 - cy), X4 - cx) - from, twoPi);
  if (sweep < 0) sweep += twoPi;
  if (sweep <= 1e-12) sweep += twoPi;  // equal rays: the whole ellipse
}

// Where the ray at angle a (counter-clockwise, y up) from the centre meets the ellipse inscribed
// in the box, relative to the centre (y up).
void EllipseRayPoint(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double a, double& x, double& y) {
  const double rx = (double(X2) - X1) / 2, ry = (double(Y2) - Y1) / 2;
  const double c = std::cos(a), s = std::sin(a);
  const double t = 1.0 / std::sqrt((c / rx) * (c / rx) + (s / ry) * (s / ry));
  x = t * c;
  y = t * s;
}

// The pixel where that ray leaves the ellipse.
TPoint EllipsePointAt(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double a) {
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  double x = 0, y = 0;
  EllipseRayPoint(X1, Y1, X2, Y2, a, x, y);
  const double px = std::clamp(std::floor(cx + x), double(X1), double(X2) - 1);
  const double py = std::clamp(std::floor(cy - y), double(Y1), double(Y2) - 1);
  return {static_cast<int32_t>(px), static_cast<int32_t>(py)};
}

// The arc's outline for a pen, as Arc draws it (the stroker keeps its dash position for what
// follows the arc).
std::vector<TSpan> ArcOutline(Stroker& st, const TPen& pen, const TRect& vis, int32_t X1, int32_t Y1, int32_t X2,
                              int32_t Y2, double from, double sweep) {
  if (st.Width() == 1 || st.Dashed()) return EllipseOutline(st, vis, X1, Y1, X2, Y2, true, from, sweep);
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  Stroker solid(pen);
  std::vector<TSpan> ring = EllipseOutline(solid, vis, X1, Y1, X2, Y2, false, 0, 2 * std::numbers::pi);
  std::vector<TSpan> out;
  for (const AnglePixel& p : PixelsByAngle(ring, cx, cy, from, sweep)) out.push_back({p.y, p.x, p.x + 1});
  raster::NormalizeSpans(out);
  return out;
}

// Pie and chord: the ellipse's pixels kept by a test on their centres (y up, relative to the
// ellipse's centre), as spans.
template <class Keep>
void EllipsePart(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRect& vis, Keep&& keep, std::vector<TSpan>& out) {
  std::vector<TSpan> all;
  EllipseSpans(X1, Y1, X2, Y2, vis, 1, all);
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  for (const TSpan& s : all) {
    const double dy = -(s.Y + 0.5 - cy);
    int32_t runStart = 0;
    bool in = false;
    for (int32_t x = s.X1; x < s.X2; ++x) {
      const bool k = keep(x + 0.5 - cx, dy);
      if (k && !in) runStart = x;
      if (!k && in) out.push_back({s.Y, runStart, x});
      in = k;
    }
    if (in) out.push_back({s.Y, runStart, s.X2});
  }
}

}  // namespace

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  const int margin = st.Width() + 1;
  const int64_t cw = X3 < 0 ? -int64_t(X3) : X3, ch = Y3 < 0 ? -int64_t(Y3) : Y3;
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) RoundRectSpans(X1, Y1, X2, Y2, cw, ch, s.vis, margin, fill);
  if (st.Visible()) {
    int32_t px1 = X1, py1 = Y1, px2 = X2, py2 = Y2;
    int64_t pcw = cw, pch = ch;
    if (st.InsideFrame()) {
      px1 += st.Lo(), py1 += st.Lo(), px2 -= st.Hi(), py2 -= st.Hi();
      if (px1 >= px2) px1 = px2 = (X1 + X2) / 2, ++px2;
      if (py1 >= py2) py1 = py2 = (Y1 + Y2) / 2, ++py2;
      pcw = std::max<int64_t>(cw - st.Width() + 1, 0), pch = std::max<int64_t>(ch - st.Width() + 1, 0);
    }
    if (st.Dashed()) {
      std::vector<TSpan> curve;
      RoundRectBoundary(px1, py1, px2, py2, pcw, pch, s.vis, margin + st.Width(), curve);
      const double cx = (double(px1) + px2) / 2, cy = (double(py1) + py2) / 2;
      for (const AnglePixel& p : PixelsByAngle(curve, cx, cy, 0, 2 * std::numbers::pi)) st.Visit(p.x, p.y);
      outline = st.TakeSpans();
    } else if (st.Width() == 1) {
      RoundRectBoundary(px1, py1, px2, py2, pcw, pch, s.vis, margin, outline);
    } else {
      // The ring between the shape grown and shrunk by the pen, as Rectangle and Ellipse do.
      const int64_t grow = st.Lo() + st.Hi(), shrink = st.Lo() + st.Hi() + 2;
      std::vector<TSpan> outer, inner;
      RoundRectSpans(px1 - st.Lo(), py1 - st.Lo(), px2 + st.Hi(), py2 + st.Hi(), pcw + grow, pch + grow, s.vis, margin,
                     outer);
      RoundRectSpans(px1 + st.Hi() + 1, py1 + st.Hi() + 1, px2 - st.Lo() - 1, py2 - st.Lo() - 1,
                     std::max<int64_t>(pcw - shrink, 0), std::max<int64_t>(pch - shrink, 0), s.vis, margin, inner);
      outline = raster::SubtractSpans(outer, inner);
    }
  }
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  double from = 0, sweep = 0;
  ArcAngles(cx, cy, X3, Y3, X4, Y4, from, sweep);
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) {
    // Inside the sector: counter-clockwise of the start ray and clockwise of the end ray (for a
    // sweep over a half turn, outside the opposite sector).
    const double sx = std::cos(from), sy = std::sin(from);
    const double ex = std::cos(from + sweep), ey = std::sin(from + sweep);
    const bool wide = sweep > std::numbers::pi;
    EllipsePart(X1, Y1, X2, Y2, s.vis,
                [&](double x, double y) {
                  const double a = sx * y - sy * x, b = x * ey - y * ex;  // cross(start, p), cross(p, end)
                  return wide ? !(a < 0 && b < 0) : (a >= 0 && b >= 0);
                },
                fill);
  }
  if (st.Visible()) {
    outline = ArcOutline(st, Pen_, s.vis, X1, Y1, X2, Y2, from, sweep);
    // The radii: from the end of the arc to the centre and back to its start.
    const TPoint c{static_cast<int32_t>(std::floor(cx)), static_cast<int32_t>(std::floor(cy))};
    const TPoint a = EllipsePointAt(X1, Y1, X2, Y2, from), b = EllipsePointAt(X1, Y1, X2, Y2, from + sweep);
    StrokeSegment(st, s.vis, b.X, b.Y, c.X, c.Y);
    StrokeSegment(st, s.vis, c.X, c.Y, a.X, a.Y);
    st.Visit(a.X, a.Y);
    std::vector<TSpan> radii = st.TakeSpans();
    outline.insert(outline.end(), radii.begin(), radii.end());
    raster::NormalizeSpans(outline);
  }
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  Stroker st(Pen_);
  Changing();
  const double cx = (double(X1) + X2) / 2, cy = (double(Y1) + Y2) / 2;
  double from = 0, sweep = 0;
  ArcAngles(cx, cy, X3, Y3, X4, Y4, from, sweep);
  const bool whole = sweep >= 2 * std::numbers::pi - 1e-9;
  std::vector<TSpan> fill, outline;
  if (Brush_.GetStyle() != bsClear) {
    // The side of the chord the arc is on: right of the chord from start to end (y up).
    double ax = 0, ay = 0, bx = 0, by = 0;
    EllipseRayPoint(X1, Y1, X2, Y2, from, ax, ay);
    EllipseRayPoint(X1, Y1, X2, Y2, from + sweep, bx, by);
    EllipsePart(X1, Y1, X2, Y2, s.vis,
                [&](double x, double y) { return whole || (bx - ax) * (y - ay) - (by - ay) * (x - ax) <= 0; }, fill);
  }
  if (st.Visible()) {
    outline = ArcOutline(st, Pen_, s.vis, X1, Y1, X2, Y2, from, sweep);
    if (!whole) {
      const TPoint a = EllipsePointAt(X1, Y1, X2, Y2, from), b = EllipsePointAt(X1, Y1, X2, Y2, from + sweep);
      StrokeSegment(st, s.vis, b.X, b.Y, a.X, a.Y);
      st.Visit(a.X, a.Y);
      std::vector<TSpan> line = st.TakeSpans();
      outline.insert(outline.end(), line.begin(), line.end());
      raster::NormalizeSpans(outline);
    }
  }
  PaintShape(*this, s, fill, outline);
  Changed();
}

void TCanvas::FloodFill(int X, int Y, TColor Color, TFillStyle FillStyle) {
  if (Brush_.GetStyle() == bsClear) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable() || !s.clip.PointVisible(X, Y)) return;
  Changing();
  raster::FloodFill(s.t, s.clip, X, Y, raster::PixelValueOf(s.t, Color), FillStyle == fsBorder,
                    raster::MakeMix(Rop2Of(Pen_.GetMode()), Brush_.GetColor(), s.t), BrushHatch(Brush_));
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Pixels

TColor TCanvas::GetPixels(int X, int Y) const {
  if (Bitmap_ == nullptr || Bitmap_->Bits() == nullptr) return CLR_INVALID;
  if (X < 0 || Y < 0 || X >= Bitmap_->GetWidth() || Y >= Bitmap_->GetHeight()) return CLR_INVALID;
  if (HasClip_ && !Clip_.Contains(X, Y)) return CLR_INVALID;
  raster::TSourceImage src;
  if (!raster::SourceOf(Bitmap_, src)) return CLR_INVALID;
  const uint8_t* row = src.Row(Y);
  auto pal = [&](unsigned i) -> TColor {
    if (src.Palette == nullptr || static_cast<int>(i) >= src.PaletteCount) return clBlack;
    return RGBColor(src.Palette[i].rgbRed, src.Palette[i].rgbGreen, src.Palette[i].rgbBlue);
  };
  switch (Bitmap_->GetPixelFormat()) {
    case pf1bit: return pal((row[X >> 3] >> (7 - (X & 7))) & 1);
    case pf4bit: return pal((X & 1) ? (row[X >> 1] & 15) : (row[X >> 1] >> 4));
    case pf8bit: return pal(row[X]);
    case pf24bit: return RGBColor(row[3 * X + 2], row[3 * X + 1], row[3 * X]);
    case pf32bit: return RGBColor(row[4 * X + 2], row[4 * X + 1], row[4 * X]);
    case pf15bit:
    case pf16bit: {
      const unsigned v = row[2 * X] | (row[2 * X + 1] << 8);
      auto e5 = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
      if (Bitmap_->GetPixelFormat() == pf15bit) return RGBColor(e5((v >> 10) & 31), e5((v >> 5) & 31), e5(v & 31));
      const unsigned g = (v >> 5) & 63;
      return RGBColor(e5((v >> 11) & 31), static_cast<uint8_t>((g << 2) | (g >> 4)), e5(v & 31));
    }
    default: return CLR_INVALID;
  }
}

void TCanvas::SetPixels(int X, int Y, TColor Color) {
  const TTarget t = raster::TargetOf(Bitmap_);
  if (t.Bpp == 0) return;
  const TClipper clip(t, ClipRegion());
  if (!clip.PointVisible(X, Y)) return;
  Changing();
  raster::MixPixel(t, X, Y, raster::MakeMix(raster::R2_COPYPEN, Color, t));
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Bitmap copies

namespace {
// A copy of the bitmap when it is the one being drawn on (the copy must read the old pixels).
const TBitmap* DetachIfSame(const TBitmap* src, const TBitmap* target, std::unique_ptr<TBitmap>& keep) {
  if (src != target) return src;
  keep = std::make_unique<TBitmap>();
  keep->Assign(src);
  return keep.get();
}
}  // namespace

void TCanvas::Draw(int X, int Y, const TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->GetEmpty()) return;
  StretchDraw(TRect{X, Y, X + Graphic->GetWidth(), Y + Graphic->GetHeight()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& Rect, const TGraphic* Graphic) {
  const auto* bmp = dynamic_cast<const TBitmap*>(Graphic);
  if (bmp == nullptr) {
    // Other graphics (metafiles) draw themselves.
    if (Graphic != nullptr && !Graphic->GetEmpty()) Graphic->Draw(this, Rect);
    return;
  }
  if (bmp->GetEmpty()) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  std::unique_ptr<TBitmap> keep;
  bmp = DetachIfSame(bmp, Bitmap_, keep);
  raster::TSourceImage src;
  if (!raster::SourceOf(bmp, src)) return;
  Changing();
  raster::StretchCopy(s.t, s.clip, src, 0, 0, src.Width, src.Height, Rect.Left, Rect.Top, Rect.Right - Rect.Left,
                      Rect.Bottom - Rect.Top, static_cast<uint32_t>(CopyMode_), Brush_.GetColor());
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (Canvas == nullptr || Canvas->GetBitmap() == nullptr) return;
  Surface s(Bitmap_, ClipRegion());
  if (!s.Drawable()) return;
  std::unique_ptr<TBitmap> keep;
  const TBitmap* bmp = DetachIfSame(Canvas->GetBitmap(), Bitmap_, keep);
  raster::TSourceImage src;
  if (!raster::SourceOf(bmp, src)) return;
  // A reversed source rectangle mirrors like a reversed destination.
  int32_t sx = Source.Left, sy = Source.Top, sw = Source.Right - Source.Left, sh = Source.Bottom - Source.Top;
  int32_t dw = Dest.Right - Dest.Left, dh = Dest.Bottom - Dest.Top;
  if (sw < 0) sx += sw, sw = -sw, dw = -dw;
  if (sh < 0) sy += sh, sh = -sh, dh = -dh;
  Changing();
  raster::StretchCopy(s.t, s.clip, src, sx, sy, sw, sh, Dest.Left, Dest.Top, dw, dh, static_cast<uint32_t>(CopyMode_),
                      Brush_.GetColor());
  Changed();
}

void raster::FillGrownArea(TCanvas* Canvas, int32_t OldWidth, int32_t OldHeight) {
  if (Canvas == nullptr || Canvas->GetBrush()->GetStyle() == bsClear) return;
  Surface s(Canvas->GetBitmap(), nullptr);
  if (!s.Drawable()) return;
  const TMix mix = MakeMix(R2_COPYPEN, Canvas->GetBrush()->GetColor(), s.t);
  const uint8_t* hatch = BrushHatch(*Canvas->GetBrush());
  OldWidth = std::max(OldWidth, 0);
  OldHeight = std::max(OldHeight, 0);
  for (int32_t y = 0; y < s.t.Height; ++y) {
    const int32_t x1 = y < OldHeight ? std::min(OldWidth, s.t.Width) : 0;
    if (x1 >= s.t.Width) continue;
    if (hatch == nullptr) MixSpan(s.t, y, x1, s.t.Width, mix);
    else MixSpanPattern(s.t, y, x1, s.t.Width, mix, hatch[y & 7]);
  }
}

// ---------------------------------------------------------------------------------------------
// Text

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  Surface s(Bitmap_, ClipRegion());
  if (s.Drawable() && !Text.empty()) {
    Changing();
    text::DrawText(s.t, s.clip, Font_, X, Y, Text, Brush_.GetStyle() == bsSolid, Brush_.GetColor());
    Changed();
  }
  MoveTo(X + TextWidth(Text), Y);
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, const std::string& Text) {
  TRegion clip = TRegion::FromRect(Rect);
  if (HasClip_) clip &= Clip_;
  if (Rect.IsEmpty()) return;
  Surface s(Bitmap_, &clip);
  if (!s.Drawable()) return;
  Changing();
  if (Brush_.GetStyle() == bsSolid) {
    const TMix mix = raster::MakeMix(raster::R2_COPYPEN, Brush_.GetColor(), s.t);
    const TRect r = IntersectRect(Rect, s.vis);
    for (int32_t y = r.Top; y < r.Bottom; ++y)
      s.clip.Span(y, r.Left, r.Right, [&](int32_t yy, int32_t a, int32_t b) { raster::MixSpan(s.t, yy, a, b, mix); });
  }
  if (!Text.empty()) text::DrawText(s.t, s.clip, Font_, X, Y, Text, false, 0);
  Changed();
}

void TCanvas::TextRect(TRect& Rect, std::string& Text, TTextFormat Format) {
  const std::vector<text::TTextLine> lines = text::FormatLines(Font_, Text, Format, Rect.Right - Rect.Left);
  const int lineHeight = text::TextExtent(Font_, std::string()).cy;
  const int64_t total = int64_t(lineHeight) * int64_t(lines.size());
  if (Format.Contains(tfCalcRect)) {
    int width = 0;
    for (const text::TTextLine& l : lines) width = std::max(width, l.Width);
    Rect.Right = Rect.Left + width;
    Rect.Bottom = static_cast<int32_t>(std::min<int64_t>(Rect.Top + total, std::numeric_limits<int32_t>::max()));
    return;
  }
  TRegion inside;
  const TRegion* clip = ClipRegion();
  if (!Format.Contains(tfNoClip)) {
    inside = TRegion::FromRect(Rect);
    if (HasClip_) inside &= Clip_;
    clip = &inside;
  }
  Surface s(Bitmap_, clip);
  if (!s.Drawable() || lines.empty()) return;
  Changing();
  // Halves rounded down, so that an odd spare pixel goes below and to the right.
  auto half = [](int64_t v) { return v >= 0 ? v / 2 : -((1 - v) / 2); };
  int64_t y = Rect.Top;
  if (Format.Contains(tfBottom)) y = int64_t(Rect.Bottom) - total;
  else if (Format.Contains(tfVerticalCenter)) y = half(int64_t(Rect.Top) + Rect.Bottom - total);
  double underTop = 0, underThick = 0, strikeTop = 0, strikeThick = 0;
  const bool marks = text::FontLines(Font_, underTop, underThick, strikeTop, strikeThick);
  const int ascent = text::FontAscent(Font_);
  const TMix ink = raster::MakeMix(raster::R2_COPYPEN, Font_.GetColor(), s.t);
  const bool opaque = Brush_.GetStyle() == bsSolid;
  for (const text::TTextLine& l : lines) {
    int64_t x = Rect.Left;
    if (Format.Contains(tfRight)) x = int64_t(Rect.Right) - l.Width;
    else if (Format.Contains(tfCenter)) x = half(int64_t(Rect.Left) + Rect.Right - l.Width);
    if (y > s.vis.Bottom) break;
    if (y + lineHeight >= s.vis.Top && x < kHuge && x > -kHuge) {
      const int cx = static_cast<int>(x), cy = static_cast<int>(y);
      text::DrawText(s.t, s.clip, Font_, cx, cy, l.Text, opaque, Brush_.GetColor());
      // The prefixed characters' underline: the font's underline band under their advance.
      if (marks)
        for (const auto& [from, to] : l.Underlines) {
          const int64_t top = y + ascent + static_cast<int64_t>(underTop);
          for (int64_t row = std::max<int64_t>(top, s.vis.Top);
               row < std::min<int64_t>(top + static_cast<int64_t>(underThick), s.vis.Bottom); ++row)
            s.clip.Span(static_cast<int32_t>(row), cx + from, cx + to,
                        [&](int32_t yy, int32_t a, int32_t b) { raster::MixSpan(s.t, yy, a, b, ink); });
        }
    }
    y += lineHeight;
  }
  Changed();
}

TSize TCanvas::TextExtent(const std::string& Text) { return text::TextExtent(Font_, Text); }

}  // namespace corvex
