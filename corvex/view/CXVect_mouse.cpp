// TCorvexVect: the mouse modes of the vector layer (inserting every kind of object with a rubber
// shape, measuring a dragged length, selecting objects by click or rubber rectangle, dragging
// their grips), hit testing, in-place text editing and the measure hint.
//
// Every handler runs after the view's own: the view's selection modes keep working beside
// miArea and miLineLen, and the other vector modes clear the view's modes so that only one of
// the two ever acts on a press.
//
// Rubber shapes are drawn on a fresh paint of the view (one paint per mouse event), in an
// inverting pen, so that nothing stale can be left behind whatever repainted in between.
//
// A grip drag keeps the corners the selected objects had at the press and places them at
// "corner + move since the press" on every event: the move is rounded once from the whole
// distance, so a drag at a high zoom moves the object even when each event moves one pixel.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXHint.h"
#include "corvex/view/CXVect.h"

namespace corvex {

namespace {

constexpr double kFarAway = 1000000000.0;  // the start distance of a search
constexpr int kGripHalf = 4;               // a grip is an 8 x 8 square around its point

bool IsLineKind(TCXVObjectKind k) { return k == cxkLINE || k == cxkRULER; }

// The rectangle of an object with its corners in order.
void Ordered(const TCXVObject& O, int& x1, int& y1, int& x2, int& y2) {
  x1 = std::min(O.x1, O.x2);
  x2 = std::max(O.x1, O.x2);
  y1 = std::min(O.y1, O.y2);
  y2 = std::max(O.y1, O.y2);
}

// The middle of a span given by its two ends in any order: the one an ordered span has, so that a
// line drawn right to left has its centre grip where the same line drawn left to right has it.
int Middle(int a, int b) {
  const int lo = std::min(a, b), hi = std::max(a, b);
  return lo + int(unsigned(int64_t(hi) - lo + 1) >> 1);
}

double DistToSegment(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// The distance from (px, py) to the outline of the ellipse with centre (cx, cy) and radii rx, ry,
// between the polar angles A0 and A0 + Span (counter-clockwise on the screen, y growing down).
// The outline is sampled densely enough that neighbouring samples are under a pixel apart, then
// the nearest sample is refined by a golden-section search over its two neighbouring intervals
// (the distance is unimodal that close to its minimum).
double DistToEllipse(double px, double py, double cx, double cy, double rx, double ry, double A0, double Span) {
  auto at = [&](double a, double& x, double& y) {
    const double c = std::cos(a), s = std::sin(a);
    const double d = std::hypot(ry * c, rx * s);
    const double r = d > 0 ? rx * ry / d : 0;
    x = cx + r * c;
    y = cy - r * s;
  };
  auto dist = [&](double a) {
    double x, y;
    at(a, x, y);
    return std::hypot(px - x, py - y);
  };
  const double perimeter = std::numbers::pi * (rx + ry) * Span / (2 * std::numbers::pi);
  const int n = std::clamp(int(perimeter), 64, 8192);
  const double step = Span / n;
  int best = 0;
  double bestD = dist(A0);
  for (int i = 1; i <= n; ++i) {
    const double d = dist(A0 + step * i);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  double lo = A0 + step * std::max(best - 1, 0), hi = A0 + step * std::min(best + 1, n);
  const double g = (std::sqrt(5.0) - 1) / 2;
  double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
  double d1 = dist(m1), d2 = dist(m2);
  for (int it = 0; it < 40; ++it) {
    if (d1 < d2) {
      hi = m2;
      m2 = m1;
      d2 = d1;
      m1 = hi - g * (hi - lo);
      d1 = dist(m1);
    } else {
      lo = m1;
      m1 = m2;
      d1 = d2;
      m2 = lo + g * (hi - lo);
      d2 = dist(m2);
    }
  }
  return std::min({bestD, d1, d2});
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCXHint

TCXHint::TCXHint(TComponent* AOwner) : THintWindow(AOwner) {
  SetBorderStyle(bsNone);  // the raised edge is drawn by Paint
  SetColor(kBackground);
  GetFont()->SetColor(clBlack);
}

TCXHint::~TCXHint() = default;

void TCXHint::SetText(const std::string& Value) {
  THintWindow::SetText(Value);
  TCanvas measure;
  measure.SetFont(GetFont());
  const TSize s = measure.TextExtent(Value);
  SetBounds(GetLeft(), GetTop(), s.cx + 4, s.cy + 4);
  Invalidate();
}

void TCXHint::SetFont(const TFont* Value) {
  THintWindow::SetFont(Value);
  SetText(GetText());
}

void TCXHint::Paint() {
  TCanvas* c = GetCanvas();
  const int w = GetClientWidth(), h = GetClientHeight();
  if (w <= 0 || h <= 0) return;
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(kBackground);
  c->FillRect(Rect(0, 0, w, h));
  // The raised outer edge: light at the top and left, dark at the bottom and right.
  TPen* pen = c->GetPen();
  pen->SetMode(pmCopy);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  pen->SetColor(cl3DLight);
  c->MoveTo(0, h - 1);
  c->LineTo(0, 0);
  c->LineTo(w - 1, 0);
  pen->SetColor(cl3DDkShadow);
  c->MoveTo(w - 1, 0);
  c->LineTo(w - 1, h - 1);
  c->LineTo(-1, h - 1);
  // The text one pixel inside the edge.
  c->SetFont(GetFont());
  c->GetFont()->SetColor(clBlack);
  c->GetBrush()->SetStyle(bsClear);
  c->TextOut(2, 2, GetText());
  c->GetBrush()->SetStyle(bsSolid);
}

// ---------------------------------------------------------------------------------------------
// Modes

void TCorvexVect::SetMouseInteractVt(TCXMouseInteractVt Value) {
  CancelInteracts();
  const TCXMouseInteractVt added = Value - MouseInteractVt_;
  if (!added.Empty()) {
    // The first added item in declaration order is the only one kept.
    for (int i = miArea; i <= miPutRuler; ++i) {
      const auto item = TCXMouseInteractVtItem(i);
      if (!added.Contains(item)) continue;
      Value = {item};
      if (item != miArea && item != miLineLen) TCorvexView::SetMouseInteract({});
      break;
    }
  }
  MouseInteractVt_ = Value;
  if (Value.Contains(miArea) || Value.Contains(miLineLen)) {
    TPoint p = ScreenToClient(Application().GetCursorPos());
    if (!GetClientRect().Contains(p)) p = {0, 0};
    ShowMeasureHint(p.X, p.Y);
  } else if (Hint_ != nullptr) {
    Hint_->ReleaseHandle();
  }
}

void TCorvexVect::SetMouseInteract(TCXMouseInteractItems Value) {
  TCorvexView::SetMouseInteract(Value);
  if (Value.Empty()) return;
  CancelInteracts();
  MouseInteractVt_ = MouseInteractVt_ * TCXMouseInteractVt{miArea, miLineLen};
  if (MouseInteractVt_.Empty() && Hint_ != nullptr) Hint_->ReleaseHandle();
}

void TCorvexVect::CancelInteracts() {
  EndTextEdit(true);
  const bool shaping = Inserting_ != cxkNONE || DraggingGrip_ != 0 || RubberSelect_;
  Inserting_ = cxkNONE;
  DraggingGrip_ = 0;
  GripOrigins_.clear();
  RubberSelect_ = false;
  VectPressed_ = false;
  if (Dragging_) {
    Dragging_ = false;
    Update();  // bitmaps are resampled again
  }
  if (DragLenShown_) {
    DragLenShown_ = false;
    if (Hint_ != nullptr) Hint_->ReleaseHandle();
  }
  if (shaping) Invalidate();  // the rubber shape goes
}

// ---------------------------------------------------------------------------------------------
// The measure hint

TCXHint* TCorvexVect::MeasureHint() {
  if (Hint_ == nullptr) Hint_ = new TCXHint(this);
  return Hint_;
}

void TCorvexVect::ShowMeasureHint(int x, int y) {
  double value;
  std::string text;
  if (MouseInteractVt_.Contains(miArea)) {
    value = GetSelectionArea();
    text = MeasureText(value, true);
  } else if (MouseInteractVt_.Contains(miLineLen)) {
    value = GetSelectionLen();
    text = MeasureText(value, false);
  } else if (DragLenShown_) {
    value = LastDragLen_;
    text = MeasureText(value, false);
  } else {
    if (Hint_ != nullptr) Hint_->ReleaseHandle();
    return;
  }
  OnMeasureHint(this, text, value);
  TCXHint* hint = MeasureHint();
  hint->SetText(text);
  if (x >= 0 && y >= 0) {
    if (!DragLenShown_) {
      // Kept inside the client.
      x = std::max(0, std::min(x, GetClientWidth() - hint->GetWidth() - 1));
      y = std::max(0, std::min(y, GetClientHeight() - hint->GetHeight() - 1));
    }
    const TPoint s = ClientToScreen({x, y});
    hint->SetBounds(s.X, s.Y, hint->GetWidth(), hint->GetHeight());
  }
  // Shown only while the view itself is on the screen.
  hint->SetVisible(IsShowing());
}

void TCorvexVect::Select(int x1, int y1, int x2, int y2, TCXSelOp Op) {
  TCorvexView::Select(x1, y1, x2, y2, Op);
  if (MouseInteractVt_.Contains(miArea) || MouseInteractVt_.Contains(miLineLen)) ShowMeasureHint(-1, -1);
}

void TCorvexVect::AddSelPoint(int x, int y) {
  TCorvexView::AddSelPoint(x, y);
  if (MouseInteractVt_.Contains(miArea) || MouseInteractVt_.Contains(miLineLen)) ShowMeasureHint(-1, -1);
}

// ---------------------------------------------------------------------------------------------
// Hit testing

double TCorvexVect::CalcDistPtObj(int h, int x, int y) const {
  const TCXVObject* o = Obj(h);
  if (o == nullptr) return -1;
  switch (o->Kind) {
    case cxkLINE:
    case cxkRULER:
      return DistToSegment(x, y, o->x1, o->y1, o->x2, o->y2);
    case cxkELLIPSE:
    case cxkARC: {
      int x1, y1, x2, y2;
      Ordered(*o, x1, y1, x2, y2);
      // The ellipse drawn in (x1, y1) - (x2 + 1, y2 + 1).
      const double cx = (x1 + x2 + 1) / 2.0, cy = (y1 + y2 + 1) / 2.0;
      const double rx = (x2 + 1 - x1) / 2.0, ry = (y2 + 1 - y1) / 2.0;
      double a0 = 0, span = 2 * std::numbers::pi;
      if (o->Kind == cxkARC && std::isfinite(o->StartAngle) && std::isfinite(o->EndAngle)) {
        const double d = o->EndAngle - o->StartAngle;
        if (std::abs(d) < 2 * std::numbers::pi) {
          double s = std::fmod(d, 2 * std::numbers::pi);
          if (s < 0) s += 2 * std::numbers::pi;
          if (s > 0) {  // equal ends draw the whole ellipse
            a0 = o->StartAngle;
            span = s;
          }
        }
      }
      return DistToEllipse(x, y, cx, cy, rx, ry, a0, span);
    }
    case cxkBOX:
    case cxkBITMAP:
    case cxkTEXT: {
      int x1, y1, x2, y2;
      Ordered(*o, x1, y1, x2, y2);
      const bool solid = o->Kind != cxkBOX || o->BrushStyle != bsClear;
      if (solid && x >= x1 && x <= x2 && y >= y1 && y <= y2) return 0;
      return std::min({DistToSegment(x, y, x1, y1, x2, y1), DistToSegment(x, y, x2, y1, x2, y2),
                       DistToSegment(x, y, x2, y2, x1, y2), DistToSegment(x, y, x1, y2, x1, y1)});
    }
    default:
      return -1;
  }
}

int TCorvexVect::FindNearObj(int x, int y, double& Distance) const {
  Distance = kFarAway;
  if (AllHidden_ || Zoom_ <= 0) return kVectAll;
  // The part of the bitmap on the screen.
  const int vx1 = Trunc(ViewX_ * 100.0 / Zoom_), vx2 = Trunc((double(ViewX_) + DisplayWidth_) * 100.0 / Zoom_);
  const int vy1 = Trunc(ViewY_ * 100.0 / Zoom_), vy2 = Trunc((double(ViewY_) + DisplayHeight_) * 100.0 / Zoom_);
  int best = kVectAll;
  for (auto it = ZOrder_.rbegin(); it != ZOrder_.rend(); ++it) {
    const TCXVObject* o = Obj(*it);
    if (o == nullptr || !o->Style.Contains(cxvsSelectable) || !o->Style.Contains(cxvsVisible)) continue;
    int x1, y1, x2, y2;
    Ordered(*o, x1, y1, x2, y2);
    if (x2 < vx1 || x1 > vx2 || y2 < vy1 || y1 > vy2) continue;
    const double d = CalcDistPtObj(*it, x, y);
    if (d < 0) continue;  // a kind without a shape is never picked
    if (d < Distance) {   // from the top down: a tie keeps the upper object
      Distance = d;
      best = *it;
    }
  }
  return best;
}

int TCorvexVect::FindSelGrip(int x, int y, int& Grip) const {
  Grip = 0;
  const TRect shown = Rect(OffsetX_, OffsetY_, OffsetX_ + DisplayWidth_, OffsetY_ + DisplayHeight_);
  for (int i = 0; i < int(SelObjects_.size()); ++i) {
    const TCXVObject* o = Obj(SelObjects_[size_t(i)]);
    if (o == nullptr) continue;
    const int sx1 = XBmp2Scr(o->x1), sy1 = YBmp2Scr(o->y1), sx2 = XBmp2Scr(o->x2), sy2 = YBmp2Scr(o->y2);
    if (std::max(sx1, sx2) < shown.Left - kGripHalf || std::min(sx1, sx2) >= shown.Right + kGripHalf ||
        std::max(sy1, sy2) < shown.Top - kGripHalf || std::min(sy1, sy2) >= shown.Bottom + kGripHalf)
      continue;
    const TPoint grips[5] = {{sx1, sy1}, {sx2, sy2}, {Middle(sx1, sx2), Middle(sy1, sy2)}, {sx2, sy1}, {sx1, sy2}};
    const int count = IsLineKind(o->Kind) ? 3 : 5;
    for (int g = 0; g < count; ++g) {
      const TPoint p = grips[g];
      if (p.X - kGripHalf <= x && x < p.X + kGripHalf && p.Y - kGripHalf <= y && y < p.Y + kGripHalf) {
        Grip = g + 1;
        return i;
      }
    }
  }
  return kVectNone;
}

// ---------------------------------------------------------------------------------------------
// Text editing

void TCorvexVect::PlaceTextEdit() {
  if (TextEdit_ == nullptr) return;
  const TCXVObject* o = Obj(EditedText_);
  if (o == nullptr) return;
  TFont font;
  if (o->HasFont) LogFontToFont(o->Font, &font);
  else if (Template_.HasFont) LogFontToFont(Template_.Font, &font);
  else font.Assign(GetFont());
  // As the text is drawn: its height follows the zoom; the edit itself is never rotated.
  font.SetHeight(Round(font.GetHeight() * Z_) == 0 ? font.GetHeight() : Round(font.GetHeight() * Z_));
  font.SetOrientation(0);
  font.SetColor(o->PenColor);
  TextEdit_->SetFont(&font);
  int x1, y1, x2, y2;
  Ordered(*o, x1, y1, x2, y2);
  const int left = XBmp2Scr(x1), top = YBmp2Scr(y1);
  const int right = XBmp2Scr(x2 + 1), bottom = YBmp2Scr(y2 + 1);
  TCanvas measure;
  measure.SetFont(&font);
  const int textH = measure.TextHeight("Wg") + 4;
  TextEdit_->SetBounds(left, top, std::max(right - left, 16), std::max(bottom - top, textH));
}

void TCorvexVect::ActiveTextEdit() {
  const TCXVObject* o = Obj(EditedText_);
  if (o == nullptr || o->Kind != cxkTEXT) {
    EditedText_ = -1;
    return;
  }
  if (TextEdit_ == nullptr) {
    TextEdit_ = new TEdit(this);
    TextEdit_->SetBorderStyle(bsNone);
    TextEdit_->OnKeyDown = TKeyEvent(this, &TCorvexVect::TextEditKeyDown);
    TextEdit_->SetParent(this);
  }
  EditOldText_ = o->Text;
  TextEdit_->SetText(o->Text);
  PlaceTextEdit();
  TextEdit_->SetVisible(true);
  if (TextEdit_->CanFocus()) TextEdit_->SetFocus();
  TextEdit_->SelectAll();
}

void TCorvexVect::EndTextEdit(bool Keep) {
  if (TextEdit_ == nullptr) {
    EditedText_ = -1;
    return;
  }
  TEdit* edit = TextEdit_;
  const int h = EditedText_;
  const std::string text = edit->GetText();
  TextEdit_ = nullptr;
  EditedText_ = -1;
  const bool hadFocus = edit->Focused();
  delete edit;
  if (hadFocus && CanFocus()) SetFocus();
  TCXVObject* o = Obj(h);
  if (o != nullptr && Keep && text != EditOldText_) {
    SetObjText(h, text);
    DoVectorialChanged();
  } else {
    Invalidate();
  }
}

void TCorvexVect::RemoveTextEdit() { EndTextEdit(true); }

void TCorvexVect::TextEditKeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key == VK_RETURN) {
    Key = 0;
    EndTextEdit(true);
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    EndTextEdit(false);
  }
}

void TCorvexVect::ViewChange(int Change) {
  TCorvexView::ViewChange(Change);
  PlaceTextEdit();
}

void TCorvexVect::WMSize(TMessage& Message) {
  TCorvexView::WMSize(Message);
  PlaceTextEdit();
}

void TCorvexVect::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCorvexView::KeyDown(Key, Shift);
  if (Key == VK_ESCAPE && TextEdit_ != nullptr) {
    Key = 0;
    EndTextEdit(false);
  } else if (Key == VK_F2 && TextEdit_ == nullptr && !SelObjects_.empty()) {
    const TCXVObject* o = Obj(SelObjects_.front());
    if (o != nullptr && o->Kind == cxkTEXT) {
      Key = 0;
      EditedText_ = SelObjects_.front();
      ActiveTextEdit();
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse

TPoint TCorvexVect::VectPoint(TShiftState Shift, int X, int Y) const {
  // Limited to the displayed image, its last pixel included.
  int x = std::clamp(X, OffsetX_, std::max(OffsetX_, OffsetX_ + DisplayWidth_ - 1));
  int y = std::clamp(Y, OffsetY_, std::max(OffsetY_, OffsetY_ + DisplayHeight_ - 1));
  if (Shift.Contains(ssCtrl)) {
    if (Inserting_ == cxkLINE || Inserting_ == cxkRULER) {
      _CastPolySelCC(VectDown_.X, VectDown_.Y, x, y);
    } else if (Inserting_ == cxkELLIPSE) {
      // A circle: the moving corner is as far from the press on both axes as the larger
      // difference, each axis keeping its own direction so the circle stays under the mouse.
      const int dx = x - VectDown_.X, dy = y - VectDown_.Y;
      const int m = std::max(std::abs(dx), std::abs(dy));
      x = VectDown_.X + (dx < 0 ? -m : m);
      y = VectDown_.Y + (dy < 0 ? -m : m);
    }
  }
  return {x, y};
}

void TCorvexVect::DrawRubber() {
  PaintNow();
  if (GetSelected()) AniPolyFunc(this);  // the ants, which the paint does not draw
  if (GetBackingBitmap() == nullptr || GetClientRect().IsEmpty()) return;
  SaveRender();
  TCanvas* c = GetCanvas();
  const TPoint a = VectDown_, b = VectLastMouse_;
  TPen* pen = c->GetPen();
  TBrush* brush = c->GetBrush();
  if (Inserting_ == cxkRULER) {
    // The ruler as it will be, drawn over the fresh paint.
    TCXVObject r = Template_;
    r.Kind = cxkRULER;
    r.x1 = XScr2Bmp(a.X);
    r.y1 = YScr2Bmp(a.Y);
    r.x2 = XScr2Bmp(b.X);
    r.y2 = YScr2Bmp(b.Y);
    r.Style.Include(cxvsVisible);
    DrawObject(c, r, true);
  } else {
    pen->SetMode(pmNot);
    pen->SetStyle(psSolid);
    pen->SetWidth(1);
    brush->SetStyle(bsClear);
    if (Inserting_ == cxkLINE) {
      c->MoveTo(a.X, a.Y);
      c->LineTo(b.X, b.Y);
    } else if (Inserting_ == cxkELLIPSE) {
      c->Ellipse(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X) + 1, std::max(a.Y, b.Y) + 1);
    } else if (Inserting_ != cxkNONE || RubberSelect_) {
      c->Rectangle(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X) + 1, std::max(a.Y, b.Y) + 1);
    }
    pen->SetMode(pmCopy);
    brush->SetStyle(bsSolid);
  }
  Application().WindowPainted(this, GetClientRect());
}

void TCorvexVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCorvexView::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  EndTextEdit(true);
  Inserting_ = cxkNONE;
  DraggingGrip_ = 0;
  GripOrigins_.clear();
  RubberSelect_ = false;
  VectPressed_ = true;
  VectDown_ = VectLastMouse_ = VectPoint({}, X, Y);
  const TCXMouseInteractVt m = MouseInteractVt_;
  if (m.Contains(miPutLine)) Inserting_ = cxkLINE;
  else if (m.Contains(miPutRuler)) Inserting_ = cxkRULER;
  else if (m.Contains(miPutBox)) Inserting_ = cxkBOX;
  else if (m.Contains(miPutEllipse)) Inserting_ = cxkELLIPSE;
  else if (m.Contains(miPutBitmap)) Inserting_ = cxkBITMAP;
  else if (m.Contains(miPutText)) Inserting_ = cxkTEXT;
  else if (m.Contains(miDragLen)) Inserting_ = cxkLINE;
  if (Inserting_ != cxkNONE) {
    if (m.Contains(miDragLen) && Inserting_ == cxkLINE && !m.Contains(miPutLine)) {
      LastDragLen_ = 0;
      DragLenShown_ = true;
      ShowMeasureHint(VectDown_.X, VectDown_.Y);
    }
    return;
  }
  if (!m.Contains(miObjectSelect)) return;
  if (Shift.Contains(ssDouble)) {
    // A double click on a text object edits it.
    double d;
    const int h = FindNearObj(XScr2Bmp(VectDown_.X), YScr2Bmp(VectDown_.Y), d);
    const TCXVObject* o = Obj(h);
    if (o != nullptr && o->Kind == cxkTEXT && d == 0) {
      VectPressed_ = false;
      SelObjects_.clear();
      AddSelObject(h);
      EditedText_ = h;
      ActiveTextEdit();
      Update();
      return;
    }
  }
  int grip = 0;
  if (FindSelGrip(X, Y, grip) >= 0) {
    DraggingGrip_ = grip;
    for (int h : SelObjects_)
      if (const TCXVObject* o = Obj(h)) GripOrigins_.push_back({h, o->x1, o->y1, o->x2, o->y2});
    VectDown_ = VectLastMouse_ = {X, Y};  // the grip moves with the pointer from where it was taken
  }
}

void TCorvexVect::MouseMove(TShiftState Shift, int X, int Y) {
  TCorvexView::MouseMove(Shift, X, Y);
  if (VectPressed_ && !Shift.Contains(ssLeft)) CancelInteracts();  // the release went elsewhere
  if (!VectPressed_ || TextEdit_ != nullptr) {
    if (MouseInteractVt_.Contains(miArea) || MouseInteractVt_.Contains(miLineLen)) ShowMeasureHint(X, Y);
    return;
  }
  if (Inserting_ != cxkNONE || DraggingGrip_ != 0 || MouseInteractVt_.Contains(miObjectSelect)) MouseMoveScroll();
  if (DraggingGrip_ != 0) {
    // Grips follow the pointer exactly (no limiting to the image: objects may leave it).
    const int dx = Round((double(X) - VectDown_.X) * 100.0 / Zoom_);
    const int dy = Round((double(Y) - VectDown_.Y) * 100.0 / Zoom_);
    VectLastMouse_ = {X, Y};
    for (const GripOrigin& g : GripOrigins_) {
      TCXVObject* o = Obj(g.h);
      if (o == nullptr) continue;
      const bool sizeable = o->Style.Contains(cxvsSizeable), moveable = o->Style.Contains(cxvsMoveable);
      switch (DraggingGrip_) {
        case 1:
          if (sizeable) o->x1 = g.x1 + dx, o->y1 = g.y1 + dy;
          break;
        case 2:
          if (sizeable) o->x2 = g.x2 + dx, o->y2 = g.y2 + dy;
          break;
        case 3:
          if (moveable) o->x1 = g.x1 + dx, o->y1 = g.y1 + dy, o->x2 = g.x2 + dx, o->y2 = g.y2 + dy;
          break;
        case 4:
          if (sizeable) o->x2 = g.x2 + dx, o->y1 = g.y1 + dy;
          break;
        case 5:
          if (sizeable) o->x1 = g.x1 + dx, o->y2 = g.y2 + dy;
          break;
        default:
          break;
      }
    }
    Dragging_ = true;
    BackBufferDirty_ = true;
    PaintNow();
    if (GetSelected()) AniPolyFunc(this);
    Application().WindowPainted(this, GetClientRect());
  } else if (Inserting_ != cxkNONE) {
    VectLastMouse_ = VectPoint(Shift, X, Y);
    if (DragLenShown_) {
      const double lx = (VectLastMouse_.X - VectDown_.X) * CoefX_ * 100.0 / Zoom_;
      const double ly = (VectLastMouse_.Y - VectDown_.Y) * CoefY_ * 100.0 / Zoom_;
      LastDragLen_ = std::sqrt(lx * lx + ly * ly);
    }
    DrawRubber();
  } else if (MouseInteractVt_.Contains(miObjectSelect)) {
    VectLastMouse_ = VectPoint({}, X, Y);
    if (VectLastMouse_ != VectDown_ || RubberSelect_) {
      RubberSelect_ = true;
      // The selection becomes every selectable, visible object inside the rectangle.
      const int bx1 = XScr2Bmp(std::min(VectDown_.X, VectLastMouse_.X)), bx2 = XScr2Bmp(std::max(VectDown_.X, VectLastMouse_.X));
      const int by1 = YScr2Bmp(std::min(VectDown_.Y, VectLastMouse_.Y)), by2 = YScr2Bmp(std::max(VectDown_.Y, VectLastMouse_.Y));
      std::vector<int> inside;
      for (int h : ZOrder_) {
        const TCXVObject* o = Obj(h);
        if (o == nullptr || !o->Style.Contains(cxvsSelectable) || !o->Style.Contains(cxvsVisible)) continue;
        int x1, y1, x2, y2;
        Ordered(*o, x1, y1, x2, y2);
        if (x1 >= bx1 && x2 <= bx2 && y1 >= by1 && y2 <= by2) inside.push_back(h);
      }
      if (inside != SelObjects_) {
        SelObjects_ = inside;
        BackBufferDirty_ = true;
        OnSelectObject(this);
      }
      DrawRubber();
    }
  }
  if (DragLenShown_) ShowMeasureHint(VectLastMouse_.X, VectLastMouse_.Y);
  else if (MouseInteractVt_.Contains(miArea) || MouseInteractVt_.Contains(miLineLen)) ShowMeasureHint(X, Y);
}

void TCorvexVect::SubMouseMoveScroll(int dx, int dy) {
  TCorvexView::SubMouseMoveScroll(dx, dy);
  // The press point moves with the image it was made on.
  VectDown_.X -= dx;
  VectDown_.Y -= dy;
  VectLastMouse_.X -= dx;
  VectLastMouse_.Y -= dy;
}

void TCorvexVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCorvexView::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !VectPressed_ || TextEdit_ != nullptr) return;
  VectPressed_ = false;
  const TCXVObjectKind kind = Inserting_;
  const int grip = DraggingGrip_;
  const bool rubber = RubberSelect_;
  Inserting_ = cxkNONE;
  DraggingGrip_ = 0;
  RubberSelect_ = false;

  if (kind != cxkNONE) {
    Inserting_ = kind;  // VectPoint snaps by the kind
    const TPoint last = VectPoint(Shift, X, Y);
    Inserting_ = cxkNONE;
    VectLastMouse_ = last;
    if (DragLenShown_) {
      const double lx = (last.X - VectDown_.X) * CoefX_ * 100.0 / Zoom_;
      const double ly = (last.Y - VectDown_.Y) * CoefY_ * 100.0 / Zoom_;
      LastDragLen_ = std::sqrt(lx * lx + ly * ly);
      DragLenShown_ = false;
      if (Hint_ != nullptr) Hint_->ReleaseHandle();
      Invalidate();
      OnDragLenEnd(this, LastDragLen_);
      return;
    }
    const int bx = XScr2Bmp(VectDown_.X), by = YScr2Bmp(VectDown_.Y);
    if (last == VectDown_) {
      // A click: the template's own size at the press point.
      const int w = Template_.x2 - Template_.x1, h = Template_.y2 - Template_.y1;
      Template_.x1 = bx;
      Template_.y1 = by;
      Template_.x2 = bx + w;
      Template_.y2 = by + h;
    } else {
      Template_.x1 = bx;
      Template_.y1 = by;
      Template_.x2 = XScr2Bmp(last.X);
      Template_.y2 = YScr2Bmp(last.Y);
    }
    Template_.Kind = kind;
    const int h = AddNewObject();
    if (Obj(h) == nullptr) {
      Invalidate();
      return;
    }
    SelObjects_.clear();
    AddSelObject(h);
    if (kind == cxkTEXT) {
      EditedText_ = h;
      ActiveTextEdit();
    } else {
      DoVectorialChanged();
    }
    Update();
    OnNewObject(this, h);
    return;
  }

  if (grip != 0) {
    bool changed = false;
    for (const GripOrigin& g : GripOrigins_) {
      TCXVObject* o = Obj(g.h);
      if (o == nullptr) continue;
      changed = changed || o->x1 != g.x1 || o->y1 != g.y1 || o->x2 != g.x2 || o->y2 != g.y2;
      if (IsLineKind(o->Kind)) continue;
      if (o->x1 > o->x2) std::swap(o->x1, o->x2);
      if (o->y1 > o->y2) std::swap(o->y1, o->y2);
    }
    GripOrigins_.clear();
    Dragging_ = false;
    Update();
    if (changed) DoVectorialChanged();
    return;
  }

  if (rubber) {
    Invalidate();  // the rubber rectangle goes; the selection was made while dragging
    return;
  }

  if (MouseInteractVt_.Contains(miObjectSelect)) {
    double d;
    const int h = FindNearObj(XScr2Bmp(VectDown_.X), YScr2Bmp(VectDown_.Y), d);
    const bool shift = Shift.Contains(ssShift);
    if (Obj(h) == nullptr) {
      if (!shift && !SelObjects_.empty()) UnSelAllObjects();
    } else if (!IsSelObject(h)) {
      if (!shift) SelObjects_.clear();
      AddSelObject(h);
    } else if (shift) {
      UnSelObject(h);
    } else {
      SelObjects_.assign(1, h);
      OnSelectObject(this);
    }
    Update();
  }
}

}  // namespace corvex
