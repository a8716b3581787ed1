// The gradient bar: a 256-step colour table, the ramp painted from it and a grip on the picked
// step.
#include "corvex/controls/CXGradientBar.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"

namespace corvex {

TCXGradientBar::TCXGradientBar(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Include(csOpaque);
  SetBounds(GetLeft(), GetTop(), 40, 300);
  CalcGradient();
}

TCXGradientBar::~TCXGradientBar() = default;

void TCXGradientBar::SetBeginColor(TColor Value) {
  BeginColor_ = Value;
  CalcGradient();
  Invalidate();
}

void TCXGradientBar::SetEndColor(TColor Value) {
  EndColor_ = Value;
  CalcGradient();
  Invalidate();
}

void TCXGradientBar::SetDirection(TCXGradientDir Value) {
  Direction_ = Value;
  Invalidate();
}

void TCXGradientBar::SetMouseInteractGr(TCXMouseInteractGr Value) {
  MouseInteract_ = Value;
  Invalidate();
}

// The table has 256 entries: an index outside them is clamped, so that GetColor always reads a
// step of the ramp.
void TCXGradientBar::SetColorIndex(int Value) {
  ColorIndex_ = std::clamp(Value, 0, 255);
  Invalidate();
}

TColor TCXGradientBar::GetTableColor(int Index) const { return Table_[size_t(std::clamp(Index, 0, 255))]; }

void TCXGradientBar::CalcGradient() {
  const TRGB b = TColor2TRGB(BeginColor_), e = TColor2TRGB(EndColor_);
  const double sr = (e.r - b.r) / 255.0, sg = (e.g - b.g) / 255.0, sb = (e.b - b.b) / 255.0;
  for (int i = 0; i < 256; ++i)
    Table_[size_t(i)] = RGB2TColor(b.r + Trunc(i * sr), b.g + Trunc(i * sg), b.b + Trunc(i * sb));
}

// Step 0 at the left (horizontal) or at the bottom (vertical): column or line a gets entry
// Trunc(255 / (extent - 1) x a).
void TCXGradientBar::Paint() {
  TCanvas* c = GetCanvas();
  const int cw = GetClientWidth(), ch = GetClientHeight();
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetMode(pmCopy);
  c->GetPen()->SetWidth(1);
  if (Direction_ == gdHorizontal) {
    const double k = cw > 1 ? 255.0 / (cw - 1) : 0.0;
    for (int x = 0; x < cw; ++x) {
      c->GetPen()->SetColor(Table_[size_t(std::clamp(Trunc(k * x), 0, 255))]);
      c->MoveTo(x, 0);
      c->LineTo(x, ch);
    }
  } else {
    const double k = ch > 1 ? 255.0 / (ch - 1) : 0.0;
    for (int a = 0; a < ch; ++a) {
      c->GetPen()->SetColor(Table_[size_t(std::clamp(Trunc(k * a), 0, 255))]);
      c->MoveTo(0, ch - 1 - a);
      c->LineTo(cw, ch - 1 - a);
    }
  }
  if (!GetComponentState().Contains(csDesigning) && MouseInteract_.Contains(migDragGrip)) DrawGrip();
}

// The grip sits on the step it marks: p = Trunc(ColorIndex x (extent - 1) / 255) from the left,
// or from the bottom in a vertical bar, where the ramp has step 0.
TRect TCXGradientBar::GripRect() const {
  const int cw = GetClientWidth(), ch = GetClientHeight();
  if (Direction_ == gdHorizontal) {
    const int p = Trunc(ColorIndex_ * (cw - 1) / 255.0);
    return Rect(p - 3, 0, p + 3, ch);
  }
  const int p = ch - 1 - Trunc(ColorIndex_ * (ch - 1) / 255.0);
  return Rect(0, p - 3, cw, p + 3);
}

void TCXGradientBar::DrawGrip() {
  TCanvas* c = GetCanvas();
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  c->GetPen()->SetMode(pmNot);
  c->GetBrush()->SetStyle(bsClear);
  c->Rectangle(GripRect());
  c->GetPen()->SetMode(pmCopy);
  c->GetBrush()->SetStyle(bsSolid);
}

int TCXGradientBar::IndexAt(int X, int Y) const {
  const int cw = GetClientWidth(), ch = GetClientHeight();
  X = std::clamp(X, 0, std::max(0, cw - 1));
  Y = std::clamp(Y, 0, std::max(0, ch - 1));
  if (Direction_ == gdHorizontal) return cw > 1 ? Trunc(double(X) / (cw - 1) * 255) : 0;
  // Measured from the bottom, like the painted ramp, so that the step picked is the colour
  // under the pointer.
  return ch > 1 ? Trunc(double(ch - 1 - Y) / (ch - 1) * 255) : 0;
}

// The old grip's place is repainted (the ramp without it) and the new one drawn there.
void TCXGradientBar::Pick(int X, int Y) {
  InvalidateRect(GripRect());
  ColorIndex_ = std::clamp(IndexAt(X, Y), 0, 255);
  InvalidateRect(GripRect());
  OnChange(this);
}

void TCXGradientBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !MouseInteract_.Contains(migDragGrip)) return;
  Pick(X, Y);
}

void TCXGradientBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!GetMouseCapture() || !MouseInteract_.Contains(migDragGrip)) return;
  Pick(X, Y);
}

void TCXGradientBar::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

}  // namespace corvex
