// The HSV colour box: field, hue bar and grips in an off-screen bitmap, picking by mouse.
#include "corvex/controls/HSVBox.h"

#include <algorithm>

#include "corvex/core/defs.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

namespace {

// a / d, or 0 when the divisor is not positive (a control of one pixel, or narrower than its
// hue bar, has no room to pick in).
double Ratio(double a, int d) { return d > 0 ? a / d : 0.0; }

}  // namespace

THSVBox::THSVBox(TComponent* AOwner) : TCustomControl(AOwner), Bitmap_(std::make_unique<TBitmap>(0, 0, pf24bit)) {
  ControlStyle_.Include(csOpaque);
  SetBounds(GetLeft(), GetTop(), 105, 105);
  RedrawAll();
}

THSVBox::~THSVBox() = default;

int THSVBox::GetFieldWidth() const { return std::max(0, Bitmap_->GetWidth() - kHueBarWidth - kGap); }

void THSVBox::ColorFromHSV() {
  TRGB c{};
  HSV2RGB(c, Hue_, Sat_, Val_);
  Red_ = c.r;
  Green_ = c.g;
  Blue_ = c.b;
  Color_ = TRGB2TColor(c);
}

void THSVBox::SetHue(int Value) {
  DrawGrips();
  Hue_ = std::clamp(Value, 0, 359);
  ColorFromHSV();
  DrawValSat();
  DrawGrips();
  Invalidate();
}

void THSVBox::SetSat(int Value) {
  DrawGrips();
  Sat_ = std::clamp(Value, 0, 99);
  ColorFromHSV();
  DrawGrips();
  Invalidate();
}

void THSVBox::SetVal(int Value) {
  DrawGrips();
  Val_ = std::clamp(Value, 0, 99);
  ColorFromHSV();
  DrawGrips();
  Invalidate();
}

void THSVBox::SetRGB(uint8_t r, uint8_t g, uint8_t b) {
  DrawGrips();
  Red_ = r;
  Green_ = g;
  Blue_ = b;
  const TRGB c = CreateRGB(r, g, b);
  RGB2HSV(c, Hue_, Sat_, Val_);
  Color_ = TRGB2TColor(c);
  DrawValSat();
  DrawGrips();
  Invalidate();
}

void THSVBox::SetColor(TColor Value) {
  DrawGrips();
  const TRGB c = TColor2TRGB(Value);
  Red_ = c.r;
  Green_ = c.g;
  Blue_ = c.b;
  RGB2HSV(c, Hue_, Sat_, Val_);
  Color_ = Value;
  DrawValSat();
  DrawGrips();
  Invalidate();
}

void THSVBox::SetBackground(TColor Value) {
  Background_ = Value;
  RedrawAll();
  Invalidate();
}

void THSVBox::RedrawAll() {
  DrawHue();
  DrawValSat();
  DrawGrips();
}

// Row H-1-c holds value Trunc(c x (100/H)), column f saturation Trunc(f x (100/F)); the two
// factors are single precision.
void THSVBox::DrawValSat() {
  const int H = Bitmap_->GetHeight(), F = std::min(GetFieldWidth(), Bitmap_->GetWidth());
  if (H <= 0 || F <= 0) return;
  const float kv = 100.0f / float(H), ks = 100.0f / float(F);
  for (int c = 0; c < H; ++c) {
    const int v = Trunc(double(c) * double(kv));
    auto* row = reinterpret_cast<TRGB*>(Bitmap_->ScanLine(H - 1 - c));
    for (int f = 0; f < F; ++f) HSV2RGB(row[f], Hue_, Trunc(double(f) * double(ks)), v);
  }
  Bitmap_->GetCanvas()->Changed();
}

// The gap in Background and the hue bar, hue Trunc(c x (360/H)) on row H-1-c.
void THSVBox::DrawHue() {
  const int H = Bitmap_->GetHeight(), B = Bitmap_->GetWidth();
  if (H <= 0 || B <= 0) return;
  const int F = B - kHueBarWidth - kGap;
  const TRGB bg = TColor2TRGB(Background_);
  const double k = 360.0 / H;
  for (int c = 0; c < H; ++c) {
    auto* row = reinterpret_cast<TRGB*>(Bitmap_->ScanLine(H - 1 - c));
    for (int x = std::max(0, F); x < std::min(B, F + kGap); ++x) row[x] = bg;
    TRGB hue{};
    HSV2RGB(hue, Trunc(c * k), 99, 99);
    for (int x = std::max(0, F + kGap); x < B; ++x) row[x] = hue;
  }
  Bitmap_->GetCanvas()->Changed();
}

void THSVBox::DrawGrips() {
  const int H = Bitmap_->GetHeight(), B = Bitmap_->GetWidth();
  if (H <= 0 || B <= 0) return;
  const int F = B - kHueBarWidth - kGap;
  TCanvas* c = Bitmap_->GetCanvas();
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  c->GetPen()->SetMode(pmNot);
  c->GetBrush()->SetStyle(bsClear);
  const int hy = Round((H - 1) * ((359 - Hue_) / 360.0));
  c->Rectangle(F + kGap, hy - 2, B, hy + 2);
  const int fx = Round(Sat_ / 99.0 * (F - 1));
  const int fy = H - Round((H - 1) * Val_ / 99.0) - 1;
  c->Rectangle(fx - 3, fy - 3, fx + 3, fy + 3);
  c->GetPen()->SetMode(pmCopy);
}

void THSVBox::XMouseMove(int X, int Y) {
  const int H = Bitmap_->GetHeight(), F = Bitmap_->GetWidth() - kHueBarWidth - kGap;
  if (X < F) {
    DrawGrips();
    Sat_ = std::clamp(Round(Ratio(X, F - 1) * 99), 0, 99);
    Val_ = std::clamp(99 - Round(Ratio(Y, H - 1) * 99), 0, 99);
  } else if (X >= F + kGap) {
    DrawGrips();
    Hue_ = std::clamp(359 - Round(Ratio(Y, H - 1) * 359), 0, 359);
    DrawValSat();
  } else {
    // The gap: the grips were not erased, so drawing them again below would erase them.
    return;
  }
  ColorFromHSV();
  OnChange(this);
  DrawGrips();
  Invalidate();
}

void THSVBox::Paint() { GetCanvas()->Draw(0, 0, Bitmap_.get()); }

void THSVBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int F = Bitmap_->GetWidth() - kHueBarWidth - kGap;
  if (X < F) DragMode_ = 1;
  else if (X >= F + kGap) DragMode_ = 2;
  else DragMode_ = 0;
  if (DragMode_ != 0) XMouseMove(X, Y);
}

void THSVBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!GetMouseCapture() || DragMode_ == 0) return;
  const int H = Bitmap_->GetHeight(), B = Bitmap_->GetWidth(), F = B - kHueBarWidth - kGap;
  X = std::max(X, 0);
  Y = std::clamp(Y, 0, std::max(0, H - 1));
  if (DragMode_ == 1) {
    X = std::min(X, F - 1);
  } else {
    if (X < F + kGap) X = F + kGap;
    if (X >= B) X = B - 1;
  }
  XMouseMove(X, Y);
}

void THSVBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  DragMode_ = 0;
}

void THSVBox::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

void THSVBox::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  const TRect r = GetClientRect();
  Bitmap_->Allocate(r.Width(), r.Height(), pf24bit);
  RedrawAll();
  Invalidate();
}

}  // namespace corvex
