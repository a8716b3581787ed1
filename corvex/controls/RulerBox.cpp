// The ruler box: grips, ruler strip with ticks and labels, dragging with auto-scroll.
#include "corvex/controls/RulerBox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

namespace {

constexpr int kMaxGripBaseDim = 4096;

bool Positive(double v) { return std::isfinite(v) && v > 0; }

// The general format: Precision significant digits, trailing zeros removed; fixed notation
// unless the decimal exponent is above Precision or the value is below 1e-4, then scientific
// with at least ExpDigits exponent digits ("1.5E-005", "1E020").
std::string FormatGeneral(double v, int Precision, int ExpDigits) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", Precision - 1, v);
  // buf: [-]d.ddddE[+-]xx
  std::string s(buf);
  const bool neg = s[0] == '-';
  if (neg) s.erase(0, 1);
  const size_t epos = s.find('e');
  const int e10 = std::atoi(s.c_str() + epos + 1);
  std::string digits(1, s[0]);
  digits.append(s, 2, epos - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int exponent = e10 + 1;  // value = 0.digits x 10^exponent
  std::string out;
  if (neg) out.push_back('-');
  if (exponent > Precision || exponent < -3) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1, std::string::npos);
    }
    out.append(e10 < 0 ? "E-" : "E");
    const std::string ex = std::to_string(std::abs(e10));
    if (int(ex.size()) < ExpDigits) out.append(size_t(ExpDigits) - ex.size(), '0');
    out.append(ex);
  } else if (exponent <= 0) {
    out.append("0.");
    out.append(size_t(-exponent), '0');
    out.append(digits);
  } else if (int(digits.size()) <= exponent) {
    out.append(digits);
    out.append(size_t(exponent) - digits.size(), '0');
  } else {
    out.append(digits, 0, size_t(exponent));
    out.push_back('.');
    out.append(digits, size_t(exponent), std::string::npos);
  }
  return out;
}

}  // namespace

std::string RulerLabel(double Value, bool Hex) {
  if (!Hex) return FormatGeneral(Value, 15, 3);
  const double a = std::trunc(std::fabs(Value));
  const uint64_t n = a >= 1.8e19 || !std::isfinite(a) ? UINT64_MAX : uint64_t(a);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%06llX", static_cast<unsigned long long>(n));
  std::string s(buf);
  const size_t nz = s.find_first_not_of('0');
  std::string out(Value < 0 ? "-" : "");
  if (nz == std::string::npos) out.push_back('0');
  else out.append(s, nz, std::string::npos);
  return out;
}

TRulerBox::TRulerBox(TComponent* AOwner)
    : TCustomControl(AOwner),
      Bitmap_(std::make_unique<TBitmap>(0, 0, pf24bit)),
      ScrollTimer_(std::make_unique<TTimer>(nullptr)) {
  ControlStyle_.Include(csOpaque);
  ScrollTimer_->SetEnabled(false);
  ScrollTimer_->SetInterval(kAutoScrollMs);
  ScrollTimer_->OnTimer = TNotifyEvent(this, &TRulerBox::AutoScrollTick);
  TGrip g;
  g.Color = Background_;
  g.Min = ViewMin_;
  g.Max = ViewMax_;
  Grips_.push_back(g);
  SetBounds(GetLeft(), GetTop(), 300, 40);
}

TRulerBox::~TRulerBox() = default;

// ---------------------------------------------------------------------------------------------
// Properties

void TRulerBox::SetViewPos(double Value) {
  if (!std::isfinite(Value)) return;
  ViewPos_ = Value;
  ApplyViewLimits();
  Update();
}

void TRulerBox::SetDotPerUnit(double Value) {
  if (!Positive(Value)) return;
  DotPerUnit_ = Value;
  Update();
}

void TRulerBox::SetFrequency(double Value) {
  Frequency_ = Value;
  Update();
}

void TRulerBox::SetLabelFreq(double Value) {
  LabelFreq_ = Value;
  Update();
}

void TRulerBox::SetViewMin(double Value) {
  if (!std::isfinite(Value)) return;
  ViewMin_ = Value;
  ApplyViewLimits();
  for (TGrip& g : Grips_) g.Min = Value;
  ClampAllGrips();
  Update();
}

void TRulerBox::SetViewMax(double Value) {
  if (!std::isfinite(Value)) return;
  ViewMax_ = Value;
  ApplyViewLimits();
  for (TGrip& g : Grips_) g.Max = Value;
  ClampAllGrips();
  Update();
}

void TRulerBox::SetFitInView(bool Value) {
  FitInView_ = Value;
  Update();
}
void TRulerBox::SetBackground(TColor Value) {
  Background_ = Value;
  Update();
}
void TRulerBox::SetRulerColor(TColor Value) {
  RulerColor_ = Value;
  Update();
}
void TRulerBox::SetRuler(bool Value) {
  Ruler_ = Value;
  Update();
}
void TRulerBox::SetRulerDir(TRulerDir Value) {
  RulerDir_ = Value;
  Update();
}
void TRulerBox::SetGripsDir(TGripsDir Value) {
  GripsDir_ = Value;
  Update();
}
void TRulerBox::SetGripBaseDim(int Value) {
  GripBaseDim_ = std::clamp(Value, 0, kMaxGripBaseDim);
  Update();
}
void TRulerBox::SetHexLabels(bool Value) {
  HexLabels_ = Value;
  Update();
}

// ---------------------------------------------------------------------------------------------
// Grips

void TRulerBox::SetGripsCount(int Value) {
  Value = std::max(0, Value);
  if (Value < GetGripsCount()) {
    Grips_.erase(Grips_.begin() + Value, Grips_.end());
    if (Pressed_ >= Value) Pressed_ = -1;
  }
  while (GetGripsCount() < Value) {
    TGrip g;
    g.Color = Background_;
    g.Min = ViewMin_;
    g.Max = ViewMax_;
    Grips_.push_back(g);
    ClampGrip(GetGripsCount() - 1);  // a new grip starts at 0, or at its nearest limit
  }
  Update();
}

double TRulerBox::GetGripsPos(int Index) const { return ValidIndex(Index) ? Grips_[size_t(Index)].Pos : 0; }
TColor TRulerBox::GetGripsCol(int Index) const { return ValidIndex(Index) ? Grips_[size_t(Index)].Color : 0; }
uint8_t TRulerBox::GetGripsKind(int Index) const { return ValidIndex(Index) ? Grips_[size_t(Index)].Kind : 0; }
double TRulerBox::GetGripsMin(int Index) const { return ValidIndex(Index) ? Grips_[size_t(Index)].Min : 0; }
double TRulerBox::GetGripsMax(int Index) const { return ValidIndex(Index) ? Grips_[size_t(Index)].Max : 0; }

bool TRulerBox::ClampGrip(int Index) {
  TGrip& g = Grips_[size_t(Index)];
  if (!(g.Max > g.Min)) return false;
  const double p = std::clamp(g.Pos, g.Min, g.Max);
  if (p == g.Pos) return false;
  g.Pos = p;
  return true;
}

void TRulerBox::ClampAllGrips() {
  for (int i = 0; i < GetGripsCount(); ++i)
    if (ClampGrip(i)) OnRulerPosChange(this, i);
}

// Stored, kept inside the limits and announced once.
void TRulerBox::SetGripsPos(int Index, double Value) {
  if (!ValidIndex(Index) || !std::isfinite(Value)) return;
  Grips_[size_t(Index)].Pos = Value;
  ClampGrip(Index);
  OnRulerPosChange(this, Index);
  Update();
}

void TRulerBox::SetGripsCol(int Index, TColor Value) {
  if (!ValidIndex(Index)) return;
  Grips_[size_t(Index)].Color = Value;
  Update();
}

void TRulerBox::SetGripsKind(int Index, uint8_t Value) {
  if (!ValidIndex(Index)) return;
  Grips_[size_t(Index)].Kind = Value;
  Update();
}

void TRulerBox::SetGripsMin(int Index, double Value) {
  if (!ValidIndex(Index) || !std::isfinite(Value)) return;
  Grips_[size_t(Index)].Min = Value;
  ClampAllGrips();
  Update();
}

void TRulerBox::SetGripsMax(int Index, double Value) {
  if (!ValidIndex(Index) || !std::isfinite(Value)) return;
  Grips_[size_t(Index)].Max = Value;
  ClampAllGrips();
  Update();
}

// ---------------------------------------------------------------------------------------------
// Geometry

int TRulerBox::Along() const { return RulerDir_ == rdHorizontal ? Bitmap_->GetWidth() : Bitmap_->GetHeight(); }
int TRulerBox::Across() const { return RulerDir_ == rdHorizontal ? Bitmap_->GetHeight() : Bitmap_->GetWidth(); }

int TRulerBox::GetRulerHeight() const {
  if (!Ruler_) return 0;
  return Trunc(std::abs(const_cast<TRulerBox*>(this)->GetFont()->GetHeight()) * 1.7) + 3;
}

int TRulerBox::GetXGripPos(int Index) const {
  if (!ValidIndex(Index)) return 0;
  return Round((Grips_[size_t(Index)].Pos - ViewPos_) * DotPerUnit_);
}

double TRulerBox::GetWidthInUnit() const { return Along() / DotPerUnit_; }

// The view shows ViewMin .. ViewMax as far as it can: ViewPos is kept at or after ViewMin and,
// when the range is longer than the view, so that the view does not run past ViewMax.
void TRulerBox::ApplyViewLimits() {
  if (!(ViewMin_ < ViewMax_)) return;
  if (ViewPos_ < ViewMin_) ViewPos_ = ViewMin_;
  else if (ViewPos_ > ViewMax_ - GetWidthInUnit()) ViewPos_ = std::max(ViewMin_, ViewMax_ - GetWidthInUnit());
}

int TRulerBox::GetGripPoly(int Index, TPoint* Points) const {
  if (!ValidIndex(Index)) return 0;
  const TGrip& g = Grips_[size_t(Index)];
  int x;
  if (GetComponentState().Contains(csDesigning)) {
    x = Index * (GripBaseDim_ + 5);
  } else {
    // A grip far outside the view is drawn just beyond its edge (its pixel may be huge).
    const int far = GripBaseDim_ + 8;
    x = std::clamp(GetXGripPos(Index), -far, Along() + far);
  }
  const int L = Across(), R = GetRulerHeight();
  const bool up = GripsDir_ == gdUp;
  const int base = up ? L - 1 : 0, tip = up ? R : L - 1 - R;
  const int h = GripBaseDim_ / 2, q = GripBaseDim_ / 4;
  int n = 0;
  auto put = [&](int a, int b) { Points[n++] = {a, b}; };
  switch (g.Kind & 0x7F) {
    case gkLeftTriangle:
      put(x - h, base), put(x, base), put(x, tip);
      break;
    case gkRightTriangle:
      put(x, base), put(x + h, base), put(x, tip);
      break;
    case gkArrow: {
      const int m = up ? tip + (base - tip) / 3 : base + ((tip - base) / 3) * 2;
      put(x - q, base), put(x + q, base), put(x + q, m), put(x + h, m), put(x, tip), put(x - h, m), put(x - q, m);
      break;
    }
    case gkArrow2: {
      const int m = up ? tip + (base - tip) / 2 : base + (tip - base) / 2;
      put(x - h, base), put(x + h, base), put(x + h, m), put(x, tip), put(x - h, m);
      break;
    }
    default:  // gkTriangle, and shapes this control does not know
      put(x - h, base), put(x + h, base), put(x, tip);
      break;
  }
  if (RulerDir_ == rdVertical)
    for (int i = 0; i < n; ++i) std::swap(Points[i].X, Points[i].Y);
  return n;
}

bool TRulerBox::GetGripRect(int Index, TRect& R) const {
  TPoint p[7];
  const int n = GetGripPoly(Index, p);
  if (n == 0) return false;
  R = Rect(p[0].X, p[0].Y, p[0].X, p[0].Y);
  for (int i = 1; i < n; ++i) {
    R.Left = std::min(R.Left, p[i].X);
    R.Top = std::min(R.Top, p[i].Y);
    R.Right = std::max(R.Right, p[i].X);
    R.Bottom = std::max(R.Bottom, p[i].Y);
  }
  ++R.Right;
  ++R.Bottom;
  return true;
}

int TRulerBox::GetClickedGrip(int X, int Y) const {
  for (int i = GetGripsCount() - 1; i >= 0; --i) {
    TRect r;
    if (GetGripRect(i, r) && r.Contains({X, Y})) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void TRulerBox::Update() {
  if (Updating_) return;
  Updating_ = true;
  if (FitInView_ && ViewMin_ < ViewMax_) {
    const double d = Along() / (ViewMax_ - ViewMin_);
    if (Positive(d)) DotPerUnit_ = d;
    ApplyViewLimits();
  }
  PaintGrips();
  PaintRuler();
  Invalidate();
  Updating_ = false;
}

void TRulerBox::PaintGrips() {
  TCanvas* c = Bitmap_->GetCanvas();
  const int L = Across(), A = Along();
  if (L <= 0 || A <= 0) return;
  // The grips area across the ruler: everything but the strip (R + 1 pixels) when it shows.
  const int R = GetRulerHeight();
  int a0 = 0, a1 = L;
  if (Ruler_) {
    if (GripsDir_ == gdUp) a0 = std::min(L, R + 1);
    else a1 = std::max(0, L - 1 - R);
  }
  c->GetPen()->SetMode(pmCopy);
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(Background_);
  c->FillRect(RulerDir_ == rdHorizontal ? Rect(0, a0, A, a1) : Rect(a0, 0, a1, A));
  c->GetPen()->SetColor(clBlack);
  TPoint p[7];
  for (int i = 0; i < GetGripsCount(); ++i) {
    const int n = GetGripPoly(i, p);
    c->GetBrush()->SetColor(Grips_[size_t(i)].Color);
    c->Polygon(p, n);
  }
}

void TRulerBox::PaintRuler() {
  if (!Ruler_) return;
  TCanvas* c = Bitmap_->GetCanvas();
  const int L = Across(), A = Along();
  if (L <= 0 || A <= 0) return;
  const int R = GetRulerHeight();
  const bool up = GripsDir_ == gdUp;
  const int s0 = up ? 0 : L - 1 - R, s1 = up ? R + 1 : L;
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(RulerColor_);
  c->FillRect(RulerDir_ == rdHorizontal ? Rect(0, s0, A, s1) : Rect(s0, 0, s1, A));
  c->SetFont(GetFont());
  c->GetPen()->SetMode(pmCopy);
  c->GetPen()->SetColor(GetFont()->GetColor());
  c->GetBrush()->SetStyle(bsClear);
  DrawTicks(Frequency_, R / 4, false);
  DrawTicks(LabelFreq_, R / 2, true);
  c->SetFont(GetFont());
  c->GetBrush()->SetStyle(bsSolid);
}

// Ticks every Spacing units from the first at or before ViewPos (t0); the value of tick k is
// t0 + k x Spacing, computed afresh for each k. Each tick is Length pixels from the strip's inner
// edge into the strip.
void TRulerBox::DrawTicks(double Spacing, int Length, bool Labels) {
  if (!Positive(Spacing) || !(Spacing * DotPerUnit_ >= 1)) return;
  TCanvas* c = Bitmap_->GetCanvas();
  const int L = Across(), A = Along(), R = GetRulerHeight();
  const bool up = GripsDir_ == gdUp, horz = RulerDir_ == rdHorizontal;
  const int inner = up ? R : L - 1 - R, dir = up ? -1 : 1;
  const double t0 = ViewPos_ - Spacing * Frac(ViewPos_ / Spacing);
  const int last = Trunc(A / DotPerUnit_ / Spacing) + 1;  // at most A + 1: ticks are a pixel apart
  const int fh = std::abs(GetFont()->GetHeight());
  TFont rotated;
  if (Labels && !horz) {
    rotated.Assign(GetFont());
    rotated.SetOrientation(up ? 900 : -900);
  }
  for (int k = 0; k <= last; ++k) {
    double v = t0 + k * Spacing;
    if (std::fabs(v) < Spacing * 1e-9) v = 0;  // rounding residue of a tick at zero
    const int p = Round((v - ViewPos_) * DotPerUnit_);
    if (horz) {
      c->MoveTo(p, inner);
      c->LineTo(p, inner + dir * Length);
    } else {
      c->MoveTo(inner, p);
      c->LineTo(inner + dir * Length, p);
    }
    if (!Labels) continue;
    const std::string text = RulerLabel(v, HexLabels_);
    if (horz) {
      const int tw = c->TextWidth(text);
      c->TextOut(p - tw / 2, up ? 0 : L - fh, text);
    } else {
      const int tw = c->TextWidth(text);
      c->SetFont(&rotated);
      if (up) c->TextOut(0, p + tw / 2, text);
      else c->TextOut(L, p - tw / 2, text);
      c->SetFont(GetFont());
    }
  }
}

void TRulerBox::Paint() { GetCanvas()->Draw(0, 0, Bitmap_.get()); }

void TRulerBox::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

void TRulerBox::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  const TRect r = GetClientRect();
  Bitmap_->Allocate(r.Width(), r.Height(), pf24bit);
  Update();
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TRulerBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  StopAutoScroll();
  Pressed_ = GetClickedGrip(X, Y);
  PressPoint_ = {X, Y};
  if (Pressed_ >= 0) {
    PressGripPixel_ = GetXGripPos(Pressed_);
    if (Shift.Contains(ssDouble)) OnRulerGripDblClick(this, Pressed_);
  } else {
    const int along = RulerDir_ == rdHorizontal ? X : Y;
    OnRulerClick(this, along / DotPerUnit_ + ViewPos_);
  }
}

void TRulerBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!GetMouseCapture() || !ValidIndex(Pressed_)) return;
  const bool horz = RulerDir_ == rdHorizontal;
  const int c = horz ? X : Y;
  if (c < 0 || c >= Along()) {
    const int dir = c < 0 ? -1 : 1;
    if (ScrollDir_ == dir) return;  // already scrolling that way
    ScrollDir_ = dir;
    ScrollTimer_->SetEnabled(true);
    AutoScrollStep(dir);
    return;
  }
  StopAutoScroll();
  const int d = PressGripPixel_ - (horz ? PressPoint_.X : PressPoint_.Y);
  SetGripsPos(Pressed_, (c + d) / DotPerUnit_ + ViewPos_);
}

void TRulerBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  StopAutoScroll();
  const int grip = Pressed_;
  Pressed_ = -1;
  if (ValidIndex(grip) && X == PressPoint_.X && Y == PressPoint_.Y) OnRulerGripClick(this, grip);
}

void TRulerBox::WMCaptureChanged(TMessage&) {
  if (!GetMouseCapture()) StopAutoScroll();
}

// The ruler scrolls a pixel towards Dir, never past the view's limits, and the grip follows the
// edge it was dragged over; at a limit the scrolling stops.
void TRulerBox::AutoScrollStep(int Dir) {
  if (!ValidIndex(Pressed_)) {
    StopAutoScroll();
    return;
  }
  const bool horz = RulerDir_ == rdHorizontal;
  const int d = PressGripPixel_ - (horz ? PressPoint_.X : PressPoint_.Y);
  double vp = ViewPos_ + Dir / DotPerUnit_;
  if (ViewMin_ < ViewMax_) vp = std::clamp(vp, ViewMin_, std::max(ViewMin_, ViewMax_ - GetWidthInUnit()));
  const bool moved = vp != ViewPos_;
  TGrip& g = Grips_[size_t(Pressed_)];
  const double old = g.Pos;
  ViewPos_ = vp;
  const int edge = Dir < 0 ? 0 : Along() - 1;
  g.Pos = (edge + d) / DotPerUnit_ + ViewPos_;
  ClampGrip(Pressed_);
  if (!moved) StopAutoScroll();  // at the view's limit
  if (!moved && g.Pos == old) return;
  OnRulerPosChange(this, Pressed_);
  Update();
}

// Keeps scrolling while the button is held with the pointer beyond the same end.
void TRulerBox::AutoScrollTick(TObject*) {
  const TPoint p = ScreenToClient(Application().GetCursorPos());
  const int c = RulerDir_ == rdHorizontal ? p.X : p.Y;
  const bool beyond = ScrollDir_ < 0 ? c < 0 : c >= Along();
  if (ScrollDir_ == 0 || !beyond || !GetMouseCapture() || !Application().GetShiftState().Contains(ssLeft)) {
    StopAutoScroll();
    return;
  }
  AutoScrollStep(ScrollDir_);
}

void TRulerBox::StopAutoScroll() {
  ScrollDir_ = 0;
  ScrollTimer_->SetEnabled(false);
}

}  // namespace corvex
