// TCorvexView: the mouse modes (zoom, scroll, rectangle, polygon, ellipse, select-zoom and
// magic-wand selection), grips and their cursors, auto-scroll during a drag, the double click
// that ends a polygon, and what happens when a press never sees its release.
//
// A left press saves the zoom filter and draws unfiltered until its release (FilterSaved_ says
// that press is active). Drags are handled in DragStep, which paints once whatever the step
// changed (scroll and shape), so that a step costs one repaint. While the button is held with
// the pointer beyond the displayed image, AutoScrollTimer_ repeats the step.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/numbers.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

namespace {

constexpr unsigned kAutoScrollInterval = 50;  // ms between two auto-scroll steps
constexpr int kZoomLadder[] = {2, 5, 10, 25, 33, 50, 75, 100};

// A left click's zoom: up the ladder below 100 %, then by 100.
int ZoomUp(int Zoom) {
  if (Zoom < 100) {
    for (int z : kZoomLadder)
      if (z > Zoom) return z;
  }
  return Zoom + 100;
}

// A right click's zoom: down the ladder below 200 % (never under its first step), else by 100.
int ZoomDown(int Zoom) {
  if (Zoom >= 200) return Zoom - 100;
  int best = kZoomLadder[0];
  for (int z : kZoomLadder)
    if (z < Zoom) best = z;
  return best;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Modes

void TCorvexView::SetMouseInteract(TCXMouseInteractItems Value) {
  const TCXMouseInteractItems old = MouseInteract_;
  if (PolyInProgress_ && old.Contains(miSelectPolygon)) {
    AnimPolygonRemoveLastPoint(SelectionHandle_);
    EndPolygon();
    DoSelectionChange();
  }
  const TCXMouseInteractItems added = Value - old;
  if (!added.Empty()) {
    // The first added item decides which companions it keeps.
    if (added.Contains(miScroll)) Value = Value * TCXMouseInteractItems{miZoom, miScroll};
    else if (added.Contains(miSelect)) Value = Value * TCXMouseInteractItems{miZoom, miSelect};
    else if (added.Contains(miSelectPolygon)) Value = {miSelectPolygon};
    else if (added.Contains(miSelectCircle)) Value = {miSelectCircle};
    else if (added.Contains(miSelectZoom)) Value = Value * TCXMouseInteractItems{miZoom, miSelectZoom};
    else if (added.Contains(miZoom)) Value = Value * TCXMouseInteractItems{miZoom, miScroll, miSelect, miSelectZoom};
    else if (added.Contains(miSelectMagicWand)) Value = {miSelectMagicWand};
  }
  MouseInteract_ = Value;
}

// ---------------------------------------------------------------------------------------------
// Press

void TCorvexView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCXView::MouseDown(Button, Shift, X, Y);
  if (CanFocus() && !Focused()) SetFocus();
  int x = std::clamp(X, OffsetX_, OffsetX_ + DisplayWidth_);
  int y = std::clamp(Y, OffsetY_, OffsetY_ + DisplayHeight_);
  if (Button == mbRight) {
    // Only for the right click's zoom; the filter and the selection are left alone.
    RightDownMouse_ = {x, y};
    RightPressed_ = true;
    return;
  }
  if (Button != mbLeft) return;

  // A second press before a release (the release went elsewhere) keeps the first saved filter.
  if (!FilterSaved_) {
    SavedZoomFilter_ = ZoomFilter_;
    FilterSaved_ = true;
  }
  ZoomFilter_ = rfNone;
  const TCXSelectionBase base = SelectionBase_;
  SelectionBase_ = cxsbClientArea;
  DownMouse_ = LastMouse_ = LastMouseRaw_ = {x, y};
  DownViewX_ = ViewX_;
  DownViewY_ = ViewY_;
  DownCount_ = GetPolySelCount();
  ResizingGrip_ = MovingGrip_ = -1;
  const bool endedByDblClick = DblClickEnded_ && Shift.Contains(ssDouble);
  DblClickEnded_ = false;

  if (MouseInteract_.Contains(miSelectPolygon)) {
    if (!endedByDblClick) {
      const TCXAnimPolygon* s = SelPoly();
      if (Shift.Contains(ssCtrl) && s != nullptr && !s->Points.empty() && s->Points.back().X != CXSelBreak)
        _CastPolySelCC(XBmp2Scr(s->Points.back().X), YBmp2Scr(s->Points.back().Y), x, y);
      if (!PolyInProgress_) {
        if (Shift.Contains(ssShift)) AddSelBreak();
        else DeSelect();
      }
      LastMouse_ = {x, y};
      PolyInProgress_ = true;
      AddSelPoint(x, y);
      DoSelectionChanging();
    }
  } else if (MouseInteract_.Contains(miSelect) || MouseInteract_.Contains(miSelectZoom)) {
    ResizingGrip_ = GetResizingGrip(x, y);
    MovingGrip_ = GetMovingGrip(x, y);
    if (ResizingGrip_ < 0 && MovingGrip_ < 0) {
      RectInProgress_ = true;
      DoSelectionChanging();
    }
  } else if (MouseInteract_.Contains(miSelectCircle)) {
    EllipseInProgress_ = true;
    if (TCXAnimPolygon* s = SelPoly()) s->Visible = true;
    DoSelectionChanging();
  }
  SelectionBase_ = base;
}

// ---------------------------------------------------------------------------------------------
// Move

void TCorvexView::MouseMove(TShiftState Shift, int X, int Y) {
  TCXView::MouseMove(Shift, X, Y);
  const TCXSelectionBase base = SelectionBase_;
  SelectionBase_ = cxsbClientArea;
  int x = std::clamp(X, OffsetX_, OffsetX_ + DisplayWidth_);
  int y = std::clamp(Y, OffsetY_, OffsetY_ + DisplayHeight_);
  if (GetMouseCapture()) {
    if (FilterSaved_) {  // a left drag
      if (MouseInteract_.Contains(miScroll)) SetViewXY(DownViewX_ - (X - DownMouse_.X), DownViewY_ - (Y - DownMouse_.Y));
      else DragStep(Shift, x, y);
    }
  } else if (PolyInProgress_) {
    DrawRubberBand();  // inverting: the old segment goes
    const TCXAnimPolygon* s = SelPoly();
    if (Shift.Contains(ssCtrl) && s != nullptr && !s->Points.empty() && s->Points.back().X != CXSelBreak)
      _CastPolySelCC(XBmp2Scr(s->Points.back().X), YBmp2Scr(s->Points.back().Y), x, y);
    LastMouse_ = {x, y};
    DrawRubberBand();
    DoSelectionChanging();
  } else if (MouseInteract_.Contains(miSelect)) {
    const int g = GetResizingGrip(x, y);
    if (g < 0) {
      if (GetMovingGrip(x, y) == 0) {
        OnMouseInSel(this);
        TControl::SetCursor(crCXSizeAll);
      } else {
        TControl::SetCursor(ViewCursor_);
      }
    } else {
      OnMouseInSel(this);
      static constexpr TCursor kGripCursor[8] = {crCXSizeNWSE, crCXSizeNESW, crCXSizeNWSE, crCXSizeNESW,
                                                 crCXSizeWE,   crCXSizeWE,   crCXSizeNS,   crCXSizeNS};
      TControl::SetCursor(kGripCursor[g]);
    }
  }
  LastMouse_ = LastMouseRaw_ = {x, y};
  SelectionBase_ = base;
}

void TCorvexView::DragStep(TShiftState Shift, int x, int y, bool FromTimer) {
  TCXAnimPolygon* s = SelPoly();
  if (s == nullptr || !(ResizingGrip_ >= 0 || MovingGrip_ >= 0 || RectInProgress_ || PolyInProgress_ || EllipseInProgress_)) {
    if (AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
    return;
  }
  const int h = SelectionHandle_;
  LockPaint();
  const int oldX = ViewX_, oldY = ViewY_;
  MouseMoveScroll();
  if (FromTimer && ViewX_ == oldX && ViewY_ == oldY) {
    // The pointer has not moved since the last step and nothing scrolled: nothing changes.
    NPUnLockPaint();
    return;
  }
  if (ResizingGrip_ >= 0) {
    ResizingGrip_ = SelectResizeEx(ResizingGrip_, x, y);
  } else if (MovingGrip_ >= 0) {
    MovingGrip_ = SelectMoveEx(MovingGrip_, x - DownMouse_.X, y - DownMouse_.Y);
  } else if (RectInProgress_) {
    if (Shift.Contains(ssShift)) {
      if (s->Count() != DownCount_) AnimPolygonRemoveLast(h);
      Select(DownMouse_.X, DownMouse_.Y, x, y, cxspAdd);
    } else {
      Select(DownMouse_.X, DownMouse_.Y, x, y, cxspReplace);
    }
  } else if (PolyInProgress_) {
    // Freehand: every new position becomes a vertex, clamped to the image.
    int bx = XScr2Bmp(x), by = YScr2Bmp(y);
    ClampToBitmap(bx, by);
    if (s->Points.empty() || s->Points.back().X != bx || s->Points.back().Y != by) AnimPolygonAddPtEx(h, bx, by);
  } else if (EllipseInProgress_) {
    if (Shift.Contains(ssShift)) {
      if (s->Count() != DownCount_) AnimPolygonRemoveLast(h);
      AddSelBreak();
    } else if (!s->Points.empty()) {
      AnimPolygonClear(h);
    }
    int rx = std::abs(DownMouse_.X - x), ry = std::abs(DownMouse_.Y - y);
    if (Shift.Contains(ssCtrl)) rx = ry = std::max(rx, ry);
    const int n = std::max(3, Trunc(std::min(rx, ry) * 2 * std::numbers::pi) >> 2);
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi / n * i;
      int px = XScr2Bmp(Trunc(std::cos(a) * rx + DownMouse_.X));
      int py = YScr2Bmp(Trunc(std::sin(a) * ry + DownMouse_.Y));
      ClampToBitmap(px, py);
      AnimPolygonAddPtEx(h, px, py);
    }
  }
  LastMouse_ = {x, y};
  NPUnLockPaint();
  PaintNow();
  AniPolyFunc(this);
  DoSelectionChanging();
}

void TCorvexView::MouseMoveScroll() {
  if (DisplayWidth_ <= 0 || DisplayHeight_ <= 0) return;
  const TPoint p = ScreenToClient(Application().GetCursorPos());
  int sx = 0, sy = 0;
  if (p.X < OffsetX_) sx = p.X - OffsetX_;
  else if (p.X > OffsetX_ + DisplayWidth_ - 1) sx = p.X - (OffsetX_ + DisplayWidth_ - 1);
  if (p.Y < OffsetY_) sy = p.Y - OffsetY_;
  else if (p.Y > OffsetY_ + DisplayHeight_ - 1) sy = p.Y - (OffsetY_ + DisplayHeight_ - 1);
  const int oldX = ViewX_, oldY = ViewY_;
  if (sx != 0 || sy != 0) SetViewXY(ViewX_ + sx, ViewY_ + sy);
  if (ViewX_ == oldX && ViewY_ == oldY) {
    // Back over the image, or at the edge: nothing to repeat.
    if (AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
    return;
  }
  // The press point moves with the image it was made on.
  DownMouse_.X += oldX - ViewX_;
  DownMouse_.Y += oldY - ViewY_;
  SubMouseMoveScroll(ViewX_ - oldX, ViewY_ - oldY);
  if (!AutoScrollTimer_) {
    AutoScrollTimer_ = std::make_unique<TTimer>(nullptr);
    AutoScrollTimer_->SetEnabled(false);
    AutoScrollTimer_->SetInterval(kAutoScrollInterval);
    AutoScrollTimer_->OnTimer = TNotifyEvent(this, &TCorvexView::AutoScrollTick);
  }
  AutoScrollTimer_->SetEnabled(true);
}

void TCorvexView::SubMouseMoveScroll(int dx, int dy) {
  LastMouse_.X -= dx;
  LastMouse_.Y -= dy;
}

void TCorvexView::AutoScrollTick(TObject*) {
  if (!GetMouseCapture() || !FilterSaved_) {
    if (AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
    return;
  }
  const TPoint p = ScreenToClient(Application().GetCursorPos());
  const int x = std::clamp(p.X, OffsetX_, OffsetX_ + DisplayWidth_);
  const int y = std::clamp(p.Y, OffsetY_, OffsetY_ + DisplayHeight_);
  const TCXSelectionBase base = SelectionBase_;
  SelectionBase_ = cxsbClientArea;
  DragStep(Application().GetShiftState(), x, y, true);
  LastMouseRaw_ = {x, y};
  SelectionBase_ = base;
}

// ---------------------------------------------------------------------------------------------
// Release, double click, capture lost

void TCorvexView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TCXSelectionBase base = SelectionBase_;
  SelectionBase_ = cxsbClientArea;
  // Only a release whose press this view saw does anything.
  const bool left = Button == mbLeft && FilterSaved_;
  const bool right = Button == mbRight && RightPressed_;
  if (Button == mbRight) RightPressed_ = false;
  if (left && AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
  const TPoint down = Button == mbLeft ? DownMouse_ : RightDownMouse_;

  if ((left || right) && MouseInteract_.Contains(miZoom) && X == down.X && Y == down.Y) {
    ZoomAt(X, Y, left ? ZoomUp(Zoom_) : ZoomDown(Zoom_));
  } else if (left && MouseInteract_.Contains(miScroll)) {
    SetViewXY(DownViewX_ - (X - DownMouse_.X), DownViewY_ - (Y - DownMouse_.Y));
  } else if (left && MouseInteract_.Contains(miSelectZoom)) {
    RectInProgress_ = false;
    ZoomSelection();
  } else if (left && MouseInteract_.Contains(miSelect)) {
    RectInProgress_ = false;
    ResizingGrip_ = MovingGrip_ = -1;
    DoSelectionChange();
  } else if (left && MouseInteract_.Contains(miSelectCircle)) {
    EllipseInProgress_ = false;
    DoSelectionChange();
  } else if (left && MouseInteract_.Contains(miSelectMagicWand)) {
    // Only a release over the displayed image picks a colour.
    if (X >= OffsetX_ && X < OffsetX_ + DisplayWidth_ && Y >= OffsetY_ && Y < OffsetY_ + DisplayHeight_) {
      SaveCursor(crHourGlass);
      SelectMagicWand(X, Y, Shift.Contains(ssShift) ? cxspAdd : cxspReplace);
      RestoreCursor();
      DoSelectionChange();
    }
  }
  if (left) {
    // Whatever case ran (a zoom click included), no rectangle, ellipse or grip outlives the press.
    RectInProgress_ = EllipseInProgress_ = false;
    ResizingGrip_ = MovingGrip_ = -1;
    FilterSaved_ = false;
    SetZoomFilter(SavedZoomFilter_);
  }
  SelectionBase_ = base;
  TCXView::MouseUp(Button, Shift, X, Y);
}

void TCorvexView::DblClick() {
  TCXView::DblClick();
  // The double click arrives before its press: the polygon ends at the vertex the first click
  // placed, and that press adds no vertex.
  if (PolyInProgress_) {
    EndPolygon();
    DblClickEnded_ = true;
    DoSelectionChange();
  }
}

void TCorvexView::WMCaptureChanged(TMessage& Message) {
  TCXView::WMCaptureChanged(Message);
  // The capture also ends at an ordinary release, before the release is told; a button still
  // held means the release will not come here.
  const TShiftState held = Application().GetShiftState();
  if (FilterSaved_ && held.Contains(ssLeft)) {
    if (AutoScrollTimer_) AutoScrollTimer_->SetEnabled(false);
    const bool shaping = RectInProgress_ || EllipseInProgress_ || ResizingGrip_ >= 0 || MovingGrip_ >= 0;
    RectInProgress_ = EllipseInProgress_ = false;
    ResizingGrip_ = MovingGrip_ = -1;
    FilterSaved_ = false;
    SetZoomFilter(SavedZoomFilter_);
    if (shaping) DoSelectionChange();
  }
  if (held.Contains(ssRight)) RightPressed_ = false;
}

}  // namespace corvex
