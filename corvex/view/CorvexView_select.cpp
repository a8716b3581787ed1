// TCorvexView: the animated polygons, the selection built on the first of them, its grips and
// the painter that draws them as marching ants.
//
// The selection is an ordinary animated polygon (SelectionHandle_) whose points are bitmap
// coordinates of pixel corners, sub-polygons separated by break markers. Invariants kept here:
//   - a polygon never starts with a break marker and never holds two markers in a row;
//   - its box (X1, Y1, X2, Y2) is that of its real points, (0, 0, 0, 0) when it has none;
//   - Selected_ is true exactly while the selection polygon holds a real point.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

namespace {

constexpr unsigned kAnimInterval = 150;  // ms between two steps of the ants

bool IsBreak(const TPoint& p) { return p.X == CXSelBreak; }

// The box of the real points; all zero without one.
void RecomputeBox(TCXAnimPolygon& p) {
  bool any = false;
  for (const TPoint& q : p.Points) {
    if (IsBreak(q)) continue;
    if (!any) {
      p.X1 = p.X2 = q.X;
      p.Y1 = p.Y2 = q.Y;
      any = true;
      continue;
    }
    p.X1 = std::min(p.X1, q.X);
    p.X2 = std::max(p.X2, q.X);
    p.Y1 = std::min(p.Y1, q.Y);
    p.Y2 = std::max(p.Y2, q.Y);
  }
  if (!any) p.X1 = p.Y1 = p.X2 = p.Y2 = 0;
}

bool HasRealPoint(const TCXAnimPolygon& p) {
  return std::any_of(p.Points.begin(), p.Points.end(), [](const TPoint& q) { return !IsBreak(q); });
}

// The rectangle test on the polygon's points.
bool IsRect(const TCXAnimPolygon* p) { return p != nullptr && _IsRectangle(p->Points.data(), p->Count()); }

// Keeps a box of at least one pixel inside [0, W] x [0, H] after clamping (a grip pushed against
// an edge must not collapse the rectangle).
void KeepOnePixel(int& a1, int& a2, int Limit) {
  if (a1 != a2) return;
  if (a2 < Limit) ++a2;
  else --a1;
}

// --- The painter's walker: three pixels of Color1, three of Color2, continuous across segments.
struct AntWalk {
  TCanvas* Canvas;
  TColor C1, C2;
  int Counter;
};

void AntPixel(int X, int Y, void* Data) {
  auto* w = static_cast<AntWalk*>(Data);
  w->Canvas->SetPixels(X, Y, w->Counter <= 2 ? w->C1 : w->C2);
  if (w->Counter > 4) w->Counter = -1;
  ++w->Counter;
}

// Client positions are kept inside this bound so that grips and walker arithmetic cannot
// overflow on absurd coordinates.
constexpr int64_t kFar = int64_t(1) << 28;

// One segment from A to B (B excluded). Short segments go through LineDDA pixel for pixel; one
// far longer than the client is walked only along the part whose major coordinate lies over
// the client, the dash counter advanced by the steps left out, so that a selection at a huge
// zoom costs what is visible.
void WalkSegment(AntWalk& w, TPoint A, TPoint B, const TRect& Client) {
  const int64_t dx = int64_t(B.X) - A.X, dy = int64_t(B.Y) - A.Y;
  const int64_t n = std::max(std::llabs(dx), std::llabs(dy));
  if (n == 0) return;
  auto advance = [&](int64_t steps) { w.Counter = int((w.Counter + steps % 6) % 6); };
  const int64_t minX = std::min<int64_t>(A.X, B.X), maxX = std::max<int64_t>(A.X, B.X);
  const int64_t minY = std::min<int64_t>(A.Y, B.Y), maxY = std::max<int64_t>(A.Y, B.Y);
  if (maxX < Client.Left || minX >= Client.Right || maxY < Client.Top || minY >= Client.Bottom) {
    advance(n);
    return;
  }
  const int64_t limit = 4 * (int64_t(Client.Width()) + Client.Height()) + 64;
  if (n <= limit) {
    LineDDA(A.X, A.Y, B.X, B.Y, AntPixel, &w);
    return;
  }
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t start = xMajor ? A.X : A.Y, d = xMajor ? dx : dy;
  const int64_t lo = (xMajor ? Client.Left : Client.Top) - 1, hi = (xMajor ? Client.Right : Client.Bottom) + 1;
  int64_t first = d > 0 ? lo - start : start - hi + 1;
  int64_t last = d > 0 ? hi - start : start - lo + 1;
  first = std::clamp<int64_t>(first, 0, n);
  last = std::clamp<int64_t>(last, first, n);
  auto at = [&](int64_t i) {
    const double t = double(i) / double(n);
    return TPoint{static_cast<int32_t>(A.X + Round64(double(dx) * t)), static_cast<int32_t>(A.Y + Round64(double(dy) * t))};
  };
  advance(first);
  if (last > first) LineDDA(at(first).X, at(first).Y, at(last).X, at(last).Y, AntPixel, &w);
  advance(n - last);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Animated polygons

TCXAnimPolygon* TCorvexView::AnimPolygon(int Handle) {
  if (Handle == 0) return nullptr;
  for (PolygonSlot& s : Polygons_)
    if (s.Handle == Handle) return s.Polygon.get();
  return nullptr;
}

TCXAnimPolygon* TCorvexView::SelPoly() const {
  return const_cast<TCorvexView*>(this)->AnimPolygon(SelectionHandle_);
}

void TCorvexView::SyncSelected() {
  const TCXAnimPolygon* s = SelPoly();
  Selected_ = s != nullptr && HasRealPoint(*s);
}

void TCorvexView::PaintNow() {
  if (PaintLock_ == 0) Paint();
}

int TCorvexView::AnimPolygonNew(TColor Color1, TColor Color2, bool Animated, bool Sizeable) {
  if (NextHandle_ <= 0) NextHandle_ = 1;
  while (AnimPolygon(NextHandle_) != nullptr) ++NextHandle_;
  const int handle = NextHandle_++;
  auto p = std::make_unique<TCXAnimPolygon>();
  p->Color1 = Color1;
  p->Color2 = Color2;
  p->Animated = Animated;
  p->Sizeable = Sizeable;
  Polygons_.push_back(PolygonSlot{handle, std::move(p)});
  if (Polygons_.size() == 1) StartAnimationTimer();
  return handle;
}

void TCorvexView::AnimPolygonDel(int Handle) {
  // The selection polygon lives as long as the view.
  if (Handle == SelectionHandle_) return;
  const auto it = std::find_if(Polygons_.begin(), Polygons_.end(), [&](const PolygonSlot& s) { return s.Handle == Handle; });
  if (Handle == 0 || it == Polygons_.end()) return;
  Polygons_.erase(it);
  if (Polygons_.empty()) StopAnimationTimer();
  PaintNow();
}

void TCorvexView::AnimPolygonClear(int Handle) {
  TCXAnimPolygon* p = AnimPolygon(Handle);
  if (p == nullptr) return;
  p->Points.clear();
  RecomputeBox(*p);
  if (Handle == SelectionHandle_) Selected_ = false;
  PaintNow();
}

void TCorvexView::AnimPolygonAddPtEx(int Handle, int x, int y) {
  TCXAnimPolygon* p = AnimPolygon(Handle);
  if (p == nullptr) return;
  if (x == CXSelBreak) {
    AnimPolygonAddBreak(Handle);
    return;
  }
  // Markers never lead nor come in pairs, so the search back stops within two entries.
  bool first = true;
  for (auto it = p->Points.rbegin(); it != p->Points.rend(); ++it)
    if (!IsBreak(*it)) {
      first = false;
      break;
    }
  if (p->Points.size() % 64 == 0) p->Points.reserve(p->Points.size() + 64);
  p->Points.push_back({x, y});
  if (first) {
    p->X1 = p->X2 = x;
    p->Y1 = p->Y2 = y;
  } else {
    p->X1 = std::min(p->X1, x);
    p->X2 = std::max(p->X2, x);
    p->Y1 = std::min(p->Y1, y);
    p->Y2 = std::max(p->Y2, y);
  }
  if (Handle == SelectionHandle_) Selected_ = true;
}

void TCorvexView::AnimPolygonAddPt(int Handle, int x, int y) {
  if (AnimPolygon(Handle) == nullptr) return;
  AnimPolygonAddPtEx(Handle, x, y);
  PaintNow();
}

void TCorvexView::AnimPolygonAddBreak(int Handle) {
  TCXAnimPolygon* p = AnimPolygon(Handle);
  if (p == nullptr || p->Points.empty() || IsBreak(p->Points.back())) return;
  p->Points.push_back({CXSelBreak, CXSelBreak});
}

void TCorvexView::AnimPolygonRemoveLast(int Handle) {
  TCXAnimPolygon* p = AnimPolygon(Handle);
  if (p == nullptr) return;
  const auto mark = std::find_if(p->Points.rbegin(), p->Points.rend(), IsBreak);
  if (mark == p->Points.rend()) {
    AnimPolygonClear(Handle);
    return;
  }
  p->Points.erase(std::prev(mark.base()), p->Points.end());
  RecomputeBox(*p);
  if (Handle == SelectionHandle_) SyncSelected();
  PaintNow();
}

void TCorvexView::AnimPolygonRemoveLastPoint(int Handle) {
  TCXAnimPolygon* p = AnimPolygon(Handle);
  if (p == nullptr || p->Points.empty()) return;
  p->Points.pop_back();
  while (!p->Points.empty() && IsBreak(p->Points.back())) p->Points.pop_back();
  RecomputeBox(*p);
  if (Handle == SelectionHandle_) SyncSelected();
}

void TCorvexView::StartAnimationTimer() {
  if (GetComponentState().Contains(csDesigning)) return;
  if (!AnimTimer_) {
    AnimTimer_ = std::make_unique<TTimer>(nullptr);
    AnimTimer_->SetEnabled(false);
    AnimTimer_->SetInterval(kAnimInterval);
    AnimTimer_->OnTimer = TNotifyEvent(this, &TCorvexView::AniPolyFunc);
  }
  AnimTimer_->SetEnabled(true);
}

void TCorvexView::StopAnimationTimer() {
  if (AnimTimer_) AnimTimer_->SetEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// The painter

void TCorvexView::AniPolyFunc(TObject* Sender) {
  const bool tick = AnimTimer_ && Sender == AnimTimer_.get();
  const bool shaping = PolyInProgress_ || RectInProgress_ || EllipseInProgress_;
  const bool designing = GetComponentState().Contains(csDesigning);
  const TRect client = GetClientRect();
  TCanvas* canvas = designing || GetBackingBitmap() == nullptr ? nullptr : GetCanvas();
  const bool canDraw = canvas != nullptr && PaintLock_ == 0 && canvas->GetLockCount() == 0 && !client.IsEmpty();

  // Bitmap point to client point, with the view's offsets taken at the bitmap's scale.
  const int W = Bitmap_ ? Bitmap_->GetWidth() : 0;
  const double r = ExtentX_ < 1 ? 1.0 : double(W) / ExtentX_;
  const int64_t ox = Round(-ViewX_ * r), oy = Round(-ViewY_ * r);
  auto toClient = [&](const TPoint& p) {
    const int64_t x = Round64(double(p.X + ox) * Z_ + OffsetX_);
    const int64_t y = Round64(double(p.Y + oy) * Z_ + OffsetY_);
    return TPoint{static_cast<int32_t>(std::clamp(x, -kFar, kFar)), static_cast<int32_t>(std::clamp(y, -kFar, kFar))};
  };

  bool drawn = false;
  if (canDraw) {
    for (const PolygonSlot& slot : Polygons_)
      if (slot.Polygon->Visible && !slot.Polygon->Points.empty()) {
        SaveRender();
        break;
      }
    canvas->Lock();
  }
  for (PolygonSlot& slot : Polygons_) {
    TCXAnimPolygon& p = *slot.Polygon;
    if (!p.Visible) continue;
    if (p.Animated && !shaping && tick) p.Phase = (p.Phase + 1) % 6;
    if (!canDraw || p.Points.empty()) continue;
    drawn = true;
    AntWalk w{canvas, p.Color1, p.Color2, p.Phase};
    // The selection being drawn stays open at its last vertex (the rubber band shows the rest).
    const bool openEnd = PolyInProgress_ && slot.Handle == SelectionHandle_;
    const int n = p.Count();
    int i = 0;
    while (i < n) {
      int j = i;
      while (j < n && !IsBreak(p.Points[size_t(j)])) ++j;
      // Sub-polygon [i, j).
      if (j > i) {
        const TPoint first = toClient(p.Points[size_t(i)]);
        TPoint prev = first;
        for (int k = i + 1; k < j; ++k) {
          const TPoint cur = toClient(p.Points[size_t(k)]);
          WalkSegment(w, prev, cur, client);
          prev = cur;
        }
        if (!(openEnd && j == n)) WalkSegment(w, prev, first, client);
      }
      i = j + 1;
    }
    p.DashCounter = w.Counter;
    if (p.Sizeable && !RectInProgress_ && IsRect(&p)) {
      TPen* pen = canvas->GetPen();
      pen->SetMode(pmCopy);
      pen->SetStyle(psSolid);
      pen->SetWidth(1);
      pen->SetColor(p.Color1);
      canvas->GetBrush()->SetStyle(bsSolid);
      canvas->GetBrush()->SetColor(p.Color2);
      for (const TPoint& q : p.Points) {
        const TPoint c = toClient(q);
        canvas->Rectangle(c.X - 3, c.Y - 3, c.X + 4, c.Y + 4);
      }
    }
  }
  if (canDraw) {
    canvas->Unlock();
    if (drawn) Application().WindowPainted(this, client);
  }

  // The delayed zoom filter: the image is redrawn filtered once the countdown runs out.
  if (DelayCountdown_ > 0 && --DelayCountdown_ == 0) Update();
}

void TCorvexView::DrawRubberBand() {
  if (!PolyInProgress_ || PaintLock_ > 0 || GetComponentState().Contains(csDesigning)) return;
  const TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || s->Points.empty() || IsBreak(s->Points.back())) return;
  if (GetBackingBitmap() == nullptr || GetClientRect().IsEmpty()) return;
  SaveRender();
  TCanvas* c = GetCanvas();
  TPen* pen = c->GetPen();
  pen->SetMode(pmNot);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  c->MoveTo(LastMouse_.X, LastMouse_.Y);
  c->LineTo(XBmp2Scr(s->Points.back().X), YBmp2Scr(s->Points.back().Y));
  pen->SetMode(pmCopy);
  Application().WindowPainted(this, GetClientRect());
}

// ---------------------------------------------------------------------------------------------
// Selection

void TCorvexView::Select(int x1, int y1, int x2, int y2, TCXSelOp Op) {
  if (x1 == x2 || y1 == y2) return;
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr) return;
  if (SelectionBase_ == cxsbClientArea) {
    x1 = ClientToBmpX(x1);
    y1 = ClientToBmpY(y1);
    x2 = ClientToBmpX(x2);
    y2 = ClientToBmpY(y2);
  }
  ClampToBitmap(x1, y1);
  ClampToBitmap(x2, y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) {
    // Nothing of the shape lies on the image: it adds nothing, and replaces with nothing.
    if (Op == cxspReplace && !s->Points.empty()) AnimPolygonClear(SelectionHandle_);
    return;
  }
  if (Op == cxspAdd && !s->Points.empty()) AnimPolygonAddBreak(SelectionHandle_);
  else if (!s->Points.empty()) AnimPolygonClear(SelectionHandle_);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y2);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y2);
  ShowSelectionEx(true);
}

void TCorvexView::SelectMagicWand(int x, int y, TCXSelOp Op) {
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || !Bitmap_) return;
  const int W = Bitmap_->GetWidth(), H = Bitmap_->GetHeight();
  if (SelectionBase_ == cxsbClientArea) {
    // Truncation toward zero would pull a point just left of or above the image onto it.
    const double bx = double(int64_t(x) + ViewX_ - OffsetX_) * Inv_;
    const double by = double(int64_t(y) + ViewY_ - OffsetY_) * Inv_;
    if (bx < 0 || by < 0) return;
    x = Trunc(bx);
    y = Trunc(by);
  }
  if (x < 0 || y < 0 || x >= W || y >= H) return;
  int n = 0;
  std::unique_ptr<TPoint[]> pts(_MakeMagicWandPoints(Bitmap_.get(), x, y, MagicWandMaxFilter_, MagicWandTolerance_, n));
  if (!pts || n < 3) return;
  if (Op == cxspAdd && !s->Points.empty()) AnimPolygonAddBreak(SelectionHandle_);
  else if (!s->Points.empty()) AnimPolygonClear(SelectionHandle_);
  for (int i = 0; i < n; ++i) {
    int px = pts[size_t(i)].X, py = pts[size_t(i)].Y;
    if (px == CXSelBreak) {
      AnimPolygonAddBreak(SelectionHandle_);
      continue;
    }
    ClampToBitmap(px, py);
    AnimPolygonAddPtEx(SelectionHandle_, px, py);
  }
  ShowSelectionEx(true);
}

void TCorvexView::AddSelPoint(int x, int y) {
  if (SelPoly() == nullptr) return;
  if (SelectionBase_ == cxsbClientArea) {
    x = ClientToBmpX(x);
    y = ClientToBmpY(y);
    ClampToBitmap(x, y);
  }
  AnimPolygonAddPt(SelectionHandle_, x, y);
  ShowSelectionEx(true);
}

void TCorvexView::AddSelBreak() { AnimPolygonAddBreak(SelectionHandle_); }

void TCorvexView::DeSelect() {
  const bool had = Selected_;
  if (TCXAnimPolygon* s = SelPoly()) {
    s->Points.clear();
    RecomputeBox(*s);
  }
  Selected_ = false;
  PolyInProgress_ = RectInProgress_ = EllipseInProgress_ = false;
  ResizingGrip_ = MovingGrip_ = -1;
  if (AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
  if (had) HideSelectionEx(true);
}

void TCorvexView::EndPolygon() {
  if (!PolyInProgress_) return;
  PolyInProgress_ = false;
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr) return;
  // A last sub-polygon of fewer than 3 points encloses nothing.
  int real = 0;
  for (auto it = s->Points.rbegin(); it != s->Points.rend() && !IsBreak(*it); ++it) ++real;
  LockPaint();
  if (real < 3) AnimPolygonRemoveLast(SelectionHandle_);
  NPUnLockPaint();
  SyncSelected();
  PaintNow();
  AniPolyFunc(this);
}

int TCorvexView::SelectResizeEx(int Grip, int x, int y) {
  TCXAnimPolygon* s = SelPoly();
  if (!IsRect(s) || !Bitmap_ || Grip < 0 || Grip > 7) return Grip;
  const int c = ClientToBmpX(x), d = ClientToBmpY(y);
  // Grips name the box's corners and edges, whatever order the points were given in.
  int x1 = s->X1, y1 = s->Y1, x2 = s->X2, y2 = s->Y2;
  if (Grip == 0 || Grip == 3 || Grip == 4) x1 = c == x2 ? c - 1 : c;
  if (Grip == 1 || Grip == 2 || Grip == 5) x2 = x1 == c ? c + 1 : c;
  if (Grip == 0 || Grip == 1 || Grip == 6) y1 = d == y2 ? d - 1 : d;
  if (Grip == 2 || Grip == 3 || Grip == 7) y2 = y1 == d ? d + 1 : d;
  static constexpr int kFlipH[8] = {1, 0, 3, 2, 5, 4, 6, 7};
  static constexpr int kFlipV[8] = {3, 2, 1, 0, 4, 5, 7, 6};
  if (x2 < x1) Grip = kFlipH[Grip];
  if (y2 < y1) Grip = kFlipV[Grip];
  ClampToBitmap(x1, y1);
  ClampToBitmap(x2, y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  KeepOnePixel(x1, x2, Bitmap_->GetWidth());
  KeepOnePixel(y1, y2, Bitmap_->GetHeight());
  if (x1 == x2 || y1 == y2) return Grip;  // an empty image has no room for a box
  AnimPolygonClear(SelectionHandle_);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y2);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y2);
  ShowSelectionEx(true);
  return Grip;
}

int TCorvexView::SelectMoveEx(int Grip, int dx, int dy) {
  TCXAnimPolygon* s = SelPoly();
  // The anchor is the box GetMovingGrip found under the press.
  if (!IsRect(s) || !Bitmap_ || MoveAnchorX1_ >= MoveAnchorX2_ || MoveAnchorY1_ >= MoveAnchorY2_) return Grip;
  const int ddx = Round(dx * 100.0 / Zoom_), ddy = Round(dy * 100.0 / Zoom_);
  int x1 = MoveAnchorX1_ + ddx, y1 = MoveAnchorY1_ + ddy, x2 = MoveAnchorX2_ + ddx, y2 = MoveAnchorY2_ + ddy;
  ClampToBitmap(x1, y1);
  ClampToBitmap(x2, y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  KeepOnePixel(x1, x2, Bitmap_->GetWidth());
  KeepOnePixel(y1, y2, Bitmap_->GetHeight());
  if (x1 == x2 || y1 == y2) return Grip;
  AnimPolygonClear(SelectionHandle_);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y1);
  AnimPolygonAddPtEx(SelectionHandle_, x2, y2);
  AnimPolygonAddPtEx(SelectionHandle_, x1, y2);
  ShowSelectionEx(true);
  return Grip;
}

int TCorvexView::GetResizingGrip(int x, int y) {
  const TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || !s->Visible || !s->Sizeable || RectInProgress_ || !IsRect(s)) return -1;
  const int cx1 = XBmp2Scr(s->X1), cy1 = YBmp2Scr(s->Y1), cx2 = XBmp2Scr(s->X2), cy2 = YBmp2Scr(s->Y2);
  const TPoint corners[4] = {{cx1, cy1}, {cx2, cy1}, {cx2, cy2}, {cx1, cy2}};
  for (int i = 0; i < 4; ++i)
    if (std::abs(x - corners[i].X) <= 3 && std::abs(y - corners[i].Y) <= 3) return i;
  if (_DistPoint2Seg(x, y, cx1, cy1, cx1, cy2) < 3) return 4;
  if (_DistPoint2Seg(x, y, cx2, cy1, cx2, cy2) < 3) return 5;
  if (_DistPoint2Seg(x, y, cx1, cy1, cx2, cy1) < 3) return 6;
  if (_DistPoint2Seg(x, y, cx1, cy2, cx2, cy2) < 3) return 7;
  return -1;
}

int TCorvexView::GetMovingGrip(int x, int y) {
  const TCXAnimPolygon* s = SelPoly();
  // Clearing cxsoMoveable forbids moving.
  if (s == nullptr || !s->Visible || RectInProgress_ || !SelectionOptions_.Contains(cxsoMoveable) || !IsRect(s))
    return -1;
  const int cx1 = XBmp2Scr(s->X1), cy1 = YBmp2Scr(s->Y1), cx2 = XBmp2Scr(s->X2), cy2 = YBmp2Scr(s->Y2);
  if (x < cx1 || x > cx2 || y < cy1 || y > cy2) return -1;
  MoveAnchorX1_ = s->X1;
  MoveAnchorY1_ = s->Y1;
  MoveAnchorX2_ = s->X2;
  MoveAnchorY2_ = s->Y2;
  return 0;
}

// --- Accessors

int TCorvexView::GetSelX1() const { return SelPoly() ? SelPoly()->X1 : 0; }
int TCorvexView::GetSelY1() const { return SelPoly() ? SelPoly()->Y1 : 0; }
int TCorvexView::GetSelX2() const { return SelPoly() ? SelPoly()->X2 : 0; }
int TCorvexView::GetSelY2() const { return SelPoly() ? SelPoly()->Y2 : 0; }

TPoint TCorvexView::GetPolySel(int Index) const {
  const TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || Index < 0 || Index >= s->Count()) return {0, 0};
  return s->Points[size_t(Index)];
}

int TCorvexView::GetPolySelCount() const { return SelPoly() ? SelPoly()->Count() : 0; }

const TPoint* TCorvexView::GetPolySelArray() const {
  const TCXAnimPolygon* s = SelPoly();
  return s != nullptr && !s->Points.empty() ? s->Points.data() : nullptr;
}

bool TCorvexView::GetVisibleSelection() const { return SelPoly() != nullptr && SelPoly()->Visible; }

void TCorvexView::SetVisibleSelection(bool Value) {
  if (Value) ShowSelectionEx(true);
  else HideSelectionEx(true);
}

void TCorvexView::ShowSelectionEx(bool Draw) {
  if (TCXAnimPolygon* s = SelPoly()) s->Visible = true;
  if (Draw) AniPolyFunc(this);
}

void TCorvexView::HideSelectionEx(bool Repaint) {
  if (TCXAnimPolygon* s = SelPoly()) s->Visible = false;
  if (Repaint) PaintNow();
}

TColor TCorvexView::GetSelColor1() const { return SelPoly() ? SelPoly()->Color1 : clBlack; }
TColor TCorvexView::GetSelColor2() const { return SelPoly() ? SelPoly()->Color2 : clWhite; }

void TCorvexView::SetSelColor1(TColor Value) {
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || s->Color1 == Value) return;
  s->Color1 = Value;
  if (Selected_) AniPolyFunc(this);
}

void TCorvexView::SetSelColor2(TColor Value) {
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || s->Color2 == Value) return;
  s->Color2 = Value;
  if (Selected_) AniPolyFunc(this);
}

void TCorvexView::SetSelectionOptions(TCXSelectionOptions Value) {
  SelectionOptions_ = Value;
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr) return;
  const bool sizeable = Value.Contains(cxsoSizeable);
  const bool gripsChange = s->Sizeable != sizeable;
  s->Animated = Value.Contains(cxsoAnimated);
  s->Sizeable = sizeable;
  if (Selected_ && s->Visible && gripsChange) {
    PaintNow();  // grips appear or go
    AniPolyFunc(this);
  }
}

void TCorvexView::AssignSelTo(TPersistent* Target) {
  const TCXAnimPolygon* s = SelPoly();
  if (Target == nullptr || !Selected_ || s == nullptr || !Bitmap_) return;
  if (auto* view = dynamic_cast<TCorvexView*>(Target)) {
    if (view == this) {
      // Cropping a view to its own selection: copy first, then take the copy.
      TBitmap crop;
      _CopyBitmapPoly(Bitmap_.get(), &crop, s->X1, s->Y1, s->X2, s->Y2, s->Points.data(), s->Count());
      Bitmap_->Assign(&crop);
    } else {
      _CopyBitmapPoly(Bitmap_.get(), view->Bitmap_.get(), s->X1, s->Y1, s->X2, s->Y2, s->Points.data(), s->Count());
      view->TCXView::SetBackGround(GetBackground());
      view->SetDPI(GetDPIX(), GetDPIY());
    }
    view->Update();
    view->ImageChange();
  } else if (auto* bmp = dynamic_cast<TBitmap*>(Target)) {
    _CopyBitmapPoly(Bitmap_.get(), bmp, s->X1, s->Y1, s->X2, s->Y2, s->Points.data(), s->Count());
    bmp->SetModified(true);
  }
}

void TCorvexView::DoSelectionChanging() { OnSelectionChanging(this); }
void TCorvexView::DoSelectionChange() { OnSelectionChange(this); }

// Select with bitmap coordinates, whatever the view's SelectionBase: what the processing
// component's Select reaches.
void TCorvexView::SelectBitmapRect(int x1, int y1, int x2, int y2, bool Add) {
  const TCXSelectionBase base = SelectionBase_;
  SelectionBase_ = cxsbBitmap;
  Select(x1, y1, x2, y2, Add ? cxspAdd : cxspReplace);
  SelectionBase_ = base;
}

}  // namespace corvex
