// The drawing context of the metafile player: the map from logical units to destination pixels,
// the object table, saved states, paths, clipping and the drawing of lines, shapes, text and
// bitmaps with the canvas. The WMF and EMF interpreters only decode records into these calls.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas_pvt.h"
#include "corvex/platform/graphics/text_pvt.h"
#include "corvex/platform/metafile/metafile_pvt.h"
#include "corvex/platform/numbers.h"

namespace corvex::metafile {

namespace {

// Work one play may do; past any of these the rest of the file is skipped.
constexpr uint64_t kMaxRecords = uint64_t(1) << 22;
constexpr uint64_t kMaxPoints = uint64_t(1) << 24;
constexpr double kMaxArea = 1e9;  // destination pixels touched (estimated by bounds)
constexpr uint64_t kMaxGlyphs = uint64_t(1) << 18;
constexpr size_t kMaxSaves = 1024;
constexpr size_t kMaxObjects = 65536;
constexpr int kMaxPenWidth = 1024;
constexpr int kMaxFontHeight = 2000;
// Destination coordinates are kept well inside what the rasteriser takes.
constexpr double kCoord = double(1 << 28);

constexpr double kPi = std::numbers::pi;

double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

TPenMode PenModeOf(int Rop2) {
  static constexpr TPenMode kModes[16] = {pmBlack, pmNotMerge, pmMaskNotPen, pmNotCopy, pmMaskPenNot, pmNot,
                                          pmXor,   pmNotMask,  pmMask,       pmNotXor,  pmNop,        pmMergeNotPen,
                                          pmCopy,  pmMergePenNot, pmMerge,   pmWhite};
  return Rop2 >= 1 && Rop2 <= 16 ? kModes[Rop2 - 1] : pmCopy;
}

TBrushStyle HatchOf(int Hatch) {
  static constexpr TBrushStyle kStyles[6] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
  return Hatch >= 0 && Hatch < 6 ? kStyles[Hatch] : bsCross;
}

TPenStyle PenStyleOf(int Style) {
  switch (Style) {
    case PS_DASH: return psDash;
    case PS_DOT:
    case PS_ALTERNATE: return psDot;
    case PS_DASHDOT: return psDashDot;
    case PS_DASHDOTDOT: return psDashDotDot;
    case PS_NULL: return psClear;
    case PS_INSIDEFRAME: return psInsideFrame;
    default: return psSolid;
  }
}

}  // namespace

TXForm Compose(const TXForm& A, const TXForm& B) {
  TXForm r;
  r.M11 = A.M11 * B.M11 + A.M12 * B.M21;
  r.M12 = A.M11 * B.M12 + A.M12 * B.M22;
  r.M21 = A.M21 * B.M11 + A.M22 * B.M21;
  r.M22 = A.M21 * B.M12 + A.M22 * B.M22;
  r.Dx = A.Dx * B.M11 + A.Dy * B.M21 + B.Dx;
  r.Dy = A.Dx * B.M12 + A.Dy * B.M22 + B.Dy;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Set-up and tear-down

TPlayer::TPlayer(TCanvas* Canvas, const TRect& Dest, const THeaderInfo& Info) : Canvas_(Canvas), Info_(Info) {
  if (Canvas_ != nullptr) {
    const double fw = Info.FrameR - Info.FrameL, fh = Info.FrameB - Info.FrameT;
    Final_.M11 = fw != 0 ? (double(Dest.Right) - Dest.Left) / fw : 0;
    Final_.M22 = fh != 0 ? (double(Dest.Bottom) - Dest.Top) / fh : 0;
    Final_.Dx = Dest.Left - Info.FrameL * Final_.M11;
    Final_.Dy = Dest.Top - Info.FrameT * Final_.M22;
    KeepPen_.Assign(Canvas_->GetPen());
    KeepBrush_.Assign(Canvas_->GetBrush());
    KeepFont_.Assign(Canvas_->GetFont());
    KeepFill_ = Canvas_->GetPolyFillMode();
    KeepCopy_ = Canvas_->GetCopyMode();
    KeepHasClip_ = Canvas_->GetClipRgn(KeepClip_);
    Base_ = TRegion::FromRect(std::min(Dest.Left, Dest.Right), std::min(Dest.Top, Dest.Bottom),
                              std::max(Dest.Left, Dest.Right), std::max(Dest.Top, Dest.Bottom));
    if (KeepHasClip_) Base_ &= KeepClip_;
  }
  S_.MapMode = Info.MapMode;
  S_.WinOrgX = Info.WinOrgX, S_.WinOrgY = Info.WinOrgY, S_.WinExtX = Info.WinExtX, S_.WinExtY = Info.WinExtY;
  S_.VpOrgX = Info.VpOrgX, S_.VpOrgY = Info.VpOrgY, S_.VpExtX = Info.VpExtX, S_.VpExtY = Info.VpExtY;
  SetObjectTableSize(size_t(std::max(Info.ObjectCount, 0)));
}

TPlayer::~TPlayer() {
  if (Canvas_ == nullptr) return;
  Canvas_->SetPen(&KeepPen_);
  Canvas_->SetBrush(&KeepBrush_);
  Canvas_->SetFont(&KeepFont_);
  Canvas_->SetPolyFillMode(KeepFill_);
  Canvas_->SetCopyMode(KeepCopy_);
  Canvas_->SelectClipRgn(KeepHasClip_ ? &KeepClip_ : nullptr);
}

bool TPlayer::CountRecord() {
  if (Stopped_) return false;
  if (++Records_ > kMaxRecords) Stopped_ = true;
  return !Stopped_;
}

bool TPlayer::SpendPoints(size_t N) {
  if (Stopped_) return false;
  Points_ += N;
  if (Points_ > kMaxPoints) Stopped_ = true;
  return !Stopped_;
}

bool TPlayer::SpendArea(double W, double H) {
  if (Stopped_) return false;
  if (Canvas_ != nullptr) {
    const TRect b = Base_.GetBounds();
    W = std::min(std::fabs(Finite(W)), double(b.Width()) + 1);
    H = std::min(std::fabs(Finite(H)), double(b.Height()) + 1);
    Area_ += W * H + 1;
    if (Area_ > kMaxArea) Stopped_ = true;
  }
  return !Stopped_;
}

void TPlayer::Grow(const TPointD& P) {
  if (!std::isfinite(P.X) || !std::isfinite(P.Y)) return;
  if (!Any_) {
    MinX_ = MaxX_ = P.X;
    MinY_ = MaxY_ = P.Y;
    Any_ = true;
    return;
  }
  MinX_ = std::min(MinX_, P.X), MaxX_ = std::max(MaxX_, P.X);
  MinY_ = std::min(MinY_, P.Y), MaxY_ = std::max(MaxY_, P.Y);
}

void TPlayer::MeasuredBounds(double& L, double& T, double& R, double& B, bool& Any) const {
  // The outermost points, widened by half the widest pen that drew an outline.
  const double h = MaxPen_ / 2.0;
  L = MinX_ - h, T = MinY_ - h, R = MaxX_ + h, B = MaxY_ + h;
  Any = Any_;
}

// ---------------------------------------------------------------------------------------------
// Mapping

const TXForm& TPlayer::Map() {
  if (MapValid_) return Map_;
  double sx = 1, sy = 1;
  auto fixed = [&](double unitsPerInch, bool yUp) {
    sx = Info_.DpiX / unitsPerInch;
    sy = (yUp ? -1 : 1) * Info_.DpiY / unitsPerInch;
  };
  switch (S_.MapMode) {
    case MM_LOMETRIC: fixed(254, true); break;
    case MM_HIMETRIC: fixed(2540, true); break;
    case MM_LOENGLISH: fixed(100, true); break;
    case MM_HIENGLISH: fixed(1000, true); break;
    case MM_TWIPS: fixed(1440, true); break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
      sx = S_.WinExtX != 0 ? S_.VpExtX / S_.WinExtX : 1;
      sy = S_.WinExtY != 0 ? S_.VpExtY / S_.WinExtY : 1;
      if (S_.MapMode == MM_ISOTROPIC) {
        // Both axes get the smaller scale, each keeping its direction.
        const double m = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default: break;
  }
  TXForm page;
  page.M11 = sx;
  page.M22 = sy;
  page.Dx = S_.VpOrgX - S_.WinOrgX * sx;
  page.Dy = S_.VpOrgY - S_.WinOrgY * sy;
  if (Canvas_ == nullptr) Map_ = Compose(S_.World, page);
  else Map_ = Compose(Compose(S_.World, page), Final_);
  MapValid_ = true;
  return Map_;
}

double TPlayer::Scale() {
  const TXForm& m = Map();
  return std::sqrt(std::fabs(m.M11 * m.M22 - m.M12 * m.M21));
}

void TPlayer::SetMapMode(int Mode) {
  if (Mode < MM_TEXT || Mode > MM_ANISOTROPIC) return;
  const bool scalable = Mode == MM_ISOTROPIC || Mode == MM_ANISOTROPIC;
  const bool wasScalable = S_.MapMode == MM_ISOTROPIC || S_.MapMode == MM_ANISOTROPIC;
  if (scalable && !wasScalable) FixedExtents();  // the extents the old mode implied stay
  S_.MapMode = Mode;
  MappingChanged();
}

void TPlayer::FixedExtents() {
  double upi = 0;
  switch (S_.MapMode) {
    case MM_LOMETRIC: upi = 254; break;
    case MM_HIMETRIC: upi = 2540; break;
    case MM_LOENGLISH: upi = 100; break;
    case MM_HIENGLISH: upi = 1000; break;
    case MM_TWIPS: upi = 1440; break;
    default: break;
  }
  if (upi == 0) {
    S_.WinExtX = S_.WinExtY = S_.VpExtX = S_.VpExtY = 1;
  } else {
    S_.WinExtX = S_.WinExtY = upi;
    S_.VpExtX = Info_.DpiX;
    S_.VpExtY = -Info_.DpiY;
  }
}

void TPlayer::SetWindowOrg(double X, double Y) {
  S_.WinOrgX = Finite(X), S_.WinOrgY = Finite(Y);
  MappingChanged();
}
void TPlayer::SetViewportOrg(double X, double Y) {
  S_.VpOrgX = Finite(X), S_.VpOrgY = Finite(Y);
  MappingChanged();
}
void TPlayer::OffsetWindowOrg(double X, double Y) { SetWindowOrg(S_.WinOrgX + X, S_.WinOrgY + Y); }
void TPlayer::OffsetViewportOrg(double X, double Y) { SetViewportOrg(S_.VpOrgX + X, S_.VpOrgY + Y); }

void TPlayer::SetWindowExt(double X, double Y) {
  if (S_.MapMode != MM_ISOTROPIC && S_.MapMode != MM_ANISOTROPIC) return;
  if (X == 0 || Y == 0 || !std::isfinite(X) || !std::isfinite(Y)) return;
  S_.WinExtX = X, S_.WinExtY = Y;
  MappingChanged();
}
void TPlayer::SetViewportExt(double X, double Y) {
  if (S_.MapMode != MM_ISOTROPIC && S_.MapMode != MM_ANISOTROPIC) return;
  if (X == 0 || Y == 0 || !std::isfinite(X) || !std::isfinite(Y)) return;
  S_.VpExtX = X, S_.VpExtY = Y;
  MappingChanged();
}
void TPlayer::ScaleWindowExt(int XNum, int XDen, int YNum, int YDen) {
  if (XDen == 0 || YDen == 0) return;
  SetWindowExt(S_.WinExtX * XNum / XDen, S_.WinExtY * YNum / YDen);
}
void TPlayer::ScaleViewportExt(int XNum, int XDen, int YNum, int YDen) {
  if (XDen == 0 || YDen == 0) return;
  SetViewportExt(S_.VpExtX * XNum / XDen, S_.VpExtY * YNum / YDen);
}

void TPlayer::SetWorldTransform(const TXForm& X) {
  const double v[6] = {X.M11, X.M12, X.M21, X.M22, X.Dx, X.Dy};
  for (double d : v)
    if (!std::isfinite(d) || std::fabs(d) > 1e9) return;
  S_.World = X;
  MappingChanged();
}

void TPlayer::ModifyWorldTransform(const TXForm& X, int Mode) {
  switch (Mode) {
    case 1: SetWorldTransform(TXForm{}); break;
    case 2: SetWorldTransform(Compose(X, S_.World)); break;
    case 3: SetWorldTransform(Compose(S_.World, X)); break;
    case 4: SetWorldTransform(X); break;
    default: break;
  }
}

TPoint TPlayer::Pixel(const TPointD& P) const {
  return {Round(std::clamp(Finite(P.X), -kCoord, kCoord)), Round(std::clamp(Finite(P.Y), -kCoord, kCoord))};
}

TColor TPlayer::Color(uint32_t ColorRef) const {
  if ((ColorRef >> 24) == 1) {  // an index into the selected palette
    const size_t i = ColorRef & 0xFFFF;
    return i < S_.Palette.size() ? TColor(S_.Palette[i] & 0xFFFFFF) : clBlack;
  }
  return TColor(ColorRef & 0xFFFFFF);
}

// ---------------------------------------------------------------------------------------------
// Objects and saved states

void TPlayer::SetObjectTableSize(size_t Count) {
  Objects_.assign(std::min(Count, kMaxObjects), TObjectDesc{});
}

void TPlayer::CreateObjectAt(size_t Index, TObjectDesc&& Obj) {
  if (Index == 0 || Index >= Objects_.size()) return;  // slot 0 is the metafile itself
  Objects_[Index] = std::move(Obj);
}

void TPlayer::CreateObject(TObjectDesc&& Obj) {
  // The lowest free slot; a table that is full grows (a header that counts too few objects must
  // not shift every later index).
  for (size_t i = 0; i < Objects_.size(); ++i)
    if (Objects_[i].Kind == okNone) {
      Objects_[i] = std::move(Obj);
      return;
    }
  if (Objects_.size() < kMaxObjects) Objects_.push_back(std::move(Obj));
}

void TPlayer::SelectObject(size_t Index) {
  if (Index >= Objects_.size()) return;
  const TObjectDesc& o = Objects_[Index];
  switch (o.Kind) {
    case okPen: S_.Pen = o.Pen; break;
    case okBrush: S_.Brush = o.Brush; break;
    case okFont: S_.Font = o.Font; break;
    case okPalette: S_.Palette = o.Palette; break;
    case okRegion: {
      // A region of logical rectangles becomes the clip region.
      TRegion r;
      for (const TRect& q : o.Rects) {
        std::vector<TFigure> f(1);
        const double c[4][2] = {{double(q.Left), double(q.Top)},
                                {double(q.Right), double(q.Top)},
                                {double(q.Right), double(q.Bottom)},
                                {double(q.Left), double(q.Bottom)}};
        for (const auto& p : c) f[0].P.push_back(Dev(p[0], p[1]));
        r |= FiguresRegion(f, ALTERNATE);
      }
      CombineClip(r, RGN_COPY);
      break;
    }
    default: break;
  }
}

void TPlayer::SelectClipRegion(size_t Index) {
  if (Index < Objects_.size() && Objects_[Index].Kind == okRegion) SelectObject(Index);
  else ResetClip();
}

void TPlayer::SelectStockObject(uint32_t Stock) {
  static constexpr TColor kBrushes[5] = {clWhite, TColor(0xC0C0C0), TColor(0x808080), TColor(0x404040), clBlack};
  const uint32_t s = Stock & 0x7FFFFFFF;
  if (s <= 4) S_.Brush = TBrushDesc{BS_SOLID, kBrushes[s], 0};
  else if (s == 5) S_.Brush = TBrushDesc{BS_NULL, clWhite, 0};
  else if (s == 6) S_.Pen = TPenDesc{PS_SOLID, 0, true, clWhite};
  else if (s == 7) S_.Pen = TPenDesc{PS_SOLID, 0, true, clBlack};
  else if (s == 8) S_.Pen = TPenDesc{PS_NULL, 0, true, clBlack};
  else if ((s >= 10 && s <= 14) || s == 16 || s == 17) {
    TFontDesc f;
    if (s == 10 || s == 11 || s == 16) f.Face = "Courier New";
    S_.Font = f;
  } else if (s == 15) S_.Palette.clear();
  else if (s == 18) S_.Brush = TBrushDesc{BS_SOLID, clWhite, 0};
  else if (s == 19) S_.Pen = TPenDesc{PS_SOLID, 0, true, clBlack};
}

void TPlayer::DeleteObject(size_t Index) {
  if (Index < Objects_.size()) Objects_[Index] = TObjectDesc{};
}

void TPlayer::SaveDC() {
  if (Saved_.size() >= kMaxSaves) {
    ++PhantomSaves_;  // too deep: counted, so that the matching restores still pair up
    return;
  }
  Saved_.push_back(S_);
}

void TPlayer::RestoreDC(int Which) {
  size_t level;  // the number of saved states left afterwards
  if (Which < 0) {
    int64_t n = -int64_t(Which);
    const int64_t phantom = std::min<int64_t>(n, PhantomSaves_);
    PhantomSaves_ -= int(phantom);
    n -= phantom;
    if (n == 0) return;
    if (n > int64_t(Saved_.size())) return;
    level = Saved_.size() - size_t(n);
  } else if (Which > 0) {
    if (size_t(Which) > Saved_.size()) return;
    level = size_t(Which) - 1;
    PhantomSaves_ = 0;
  } else {
    return;
  }
  S_ = std::move(Saved_[level]);
  Saved_.resize(level);
  MappingChanged();
  ++ClipGeneration_;
}

// ---------------------------------------------------------------------------------------------
// The canvas's tools

void TPlayer::ApplyClip() {
  if (AppliedClip_ == ClipGeneration_) return;
  TRegion eff = Base_;
  if (S_.HasClip) eff &= S_.Clip;
  Canvas_->SelectClipRgn(&eff);
  AppliedClip_ = ClipGeneration_;
}

int TPlayer::DevicePenWidth() {
  if (S_.Pen.Cosmetic || S_.Pen.Width <= 0) return 1;
  const double w = S_.Pen.Width * Scale();
  return std::clamp(Round(std::min(w, double(kMaxPenWidth))), 1, kMaxPenWidth);
}

void TPlayer::UsePen(bool Visible) {
  TPen* p = Canvas_->GetPen();
  p->SetStyle(Visible && PenVisible() ? PenStyleOf(S_.Pen.Style) : psClear);
  p->SetColor(S_.Pen.Color);
  p->SetWidth(DevicePenWidth());
  p->SetMode(PenModeOf(S_.Rop2));
}

void TPlayer::UseBrush(bool Visible) {
  TBrush* b = Canvas_->GetBrush();
  if (!Visible || !BrushVisible()) {
    b->SetStyle(bsClear);
    return;
  }
  b->SetColor(S_.Brush.Color);
  b->SetStyle(S_.Brush.Style == BS_HATCHED ? HatchOf(S_.Brush.Hatch) : bsSolid);
}

// ---------------------------------------------------------------------------------------------
// Device-space drawing

namespace {
double SegmentLength(const TPointD& a, const TPointD& b) { return std::hypot(b.X - a.X, b.Y - a.Y); }
}  // namespace

void TPlayer::FillDevicePolygons(const std::vector<TFigure>& F, bool Outline) {
  std::vector<TPoint> pts;
  std::vector<int> counts;
  double l = kCoord, t = kCoord, r = -kCoord, b = -kCoord, perimeter = 0;
  for (const TFigure& f : F) {
    if (f.P.empty()) continue;
    for (size_t i = 0; i < f.P.size(); ++i) {
      pts.push_back(Pixel(f.P[i]));
      l = std::min(l, f.P[i].X), r = std::max(r, f.P[i].X), t = std::min(t, f.P[i].Y), b = std::max(b, f.P[i].Y);
      perimeter += std::min(SegmentLength(f.P[i], f.P[(i + 1) % f.P.size()]), 1e5);
    }
    counts.push_back(int(f.P.size()));
  }
  if (counts.empty() || !SpendPoints(pts.size())) return;
  if (!SpendArea(r - l, b - t)) return;
  if (Outline && !SpendArea(perimeter, DevicePenWidth())) return;
  ApplyClip();
  Canvas_->SetPolyFillMode(S_.FillMode == WINDING ? fmWinding : fmAlternate);
  if (S_.Brush.Style == BS_HATCHED && S_.BkMode == OPAQUE && BrushVisible()) {
    // An opaque hatch: the background colour under the hatch lines.
    UsePen(false);
    Canvas_->GetBrush()->SetStyle(bsSolid);
    Canvas_->GetBrush()->SetColor(S_.BkColor);
    Canvas_->PolyPolygon(pts.data(), counts.data(), int(counts.size()));
  }
  UseBrush(true);
  UsePen(Outline);
  Canvas_->PolyPolygon(pts.data(), counts.data(), int(counts.size()));
}

void TPlayer::StrokeDeviceFigures(const std::vector<TFigure>& F) {
  if (!PenVisible()) return;
  for (const TFigure& f : F) {
    if (f.P.size() < 2 && !(f.P.size() == 1 && f.Closed)) continue;
    std::vector<TPoint> pts;
    double length = 0;
    for (size_t i = 0; i < f.P.size(); ++i) {
      pts.push_back(Pixel(f.P[i]));
      if (i > 0) length += std::min(SegmentLength(f.P[i - 1], f.P[i]), 1e5);
    }
    if (!SpendPoints(pts.size()) || !SpendArea(length + 1, DevicePenWidth())) return;
    ApplyClip();
    UsePen(true);
    if (f.Closed) {
      UseBrush(false);
      Canvas_->Polygon(pts.data(), int(pts.size()));
    } else {
      Canvas_->Polyline(pts.data(), int(pts.size()));
    }
  }
}

void TPlayer::DrawFigures(const std::vector<TFigure>& F, bool Fill, bool Stroke) {
  if (Stopped_) return;
  if (Measuring()) {
    for (const TFigure& f : F)
      for (const TPointD& p : f.P) Grow(p);
    if (Stroke && PenVisible()) MaxPen_ = std::max(MaxPen_, DevicePenWidth());
    return;
  }
  const bool fill = Fill && BrushVisible();
  const bool allClosed = std::all_of(F.begin(), F.end(), [](const TFigure& f) { return f.Closed; });
  if (fill && Stroke && allClosed) {
    FillDevicePolygons(F, PenVisible());
    return;
  }
  if (fill) FillDevicePolygons(F, false);
  if (Stroke) StrokeDeviceFigures(F);
}

void TPlayer::AddFigures(std::vector<TFigure>&& F) {
  if (Stopped_) return;
  if (InPath_) {
    for (TFigure& f : F) Path_.push_back(std::move(f));
    FigureOpen_ = false;
    return;
  }
  const bool closed = !F.empty() && F.front().Closed;
  DrawFigures(F, closed, true);
}

TPlayer::TFigure& TPlayer::CurrentFigure() {
  if (!FigureOpen_ || Path_.empty()) {
    Path_.push_back(TFigure{});
    Path_.back().P.push_back(Dev(S_.Pos.X, S_.Pos.Y));
    FigureStart_ = S_.Pos;
    FigureOpen_ = true;
  }
  return Path_.back();
}

// ---------------------------------------------------------------------------------------------
// Curves

void TPlayer::EllipsePoints(double L, double T, double R, double B, double From, double Sweep,
                            std::vector<TPointD>& Out) {
  // Parametric points (centre + rx cos a, centre - ry sin a), in logical units, mapped; as many as
  // the size on the destination needs.
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
  const TPointD ax = Map().ApplyVector(rx, 0), ay = Map().ApplyVector(0, ry);
  const double radius = std::hypot(ax.X, ax.Y) + std::hypot(ay.X, ay.Y);
  int n = int(std::clamp(Finite(std::fabs(Sweep) * radius / 3), 8.0, 720.0));
  if (!SpendPoints(size_t(n))) return;
  for (int i = 0; i <= n; ++i) {
    const double a = From + Sweep * i / n;
    Out.push_back(Dev(cx + rx * std::cos(a), cy - ry * std::sin(a)));
  }
}

void TPlayer::FlattenBezier(const TPointD& P0, const TPointD& P1, const TPointD& P2, const TPointD& P3,
                            std::vector<TPointD>& Out) {
  // Device points; the number of steps follows the length of the control polygon.
  const double len = SegmentLength(P0, P1) + SegmentLength(P1, P2) + SegmentLength(P2, P3);
  const int n = int(std::clamp(Finite(std::sqrt(std::max(Finite(len), 0.0)) * 2), 1.0, 256.0));
  if (!SpendPoints(size_t(n))) return;
  for (int i = 1; i <= n; ++i) {
    const double t = double(i) / n, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    Out.push_back({a * P0.X + b * P1.X + c * P2.X + d * P3.X, a * P0.Y + b * P1.Y + c * P2.Y + d * P3.Y});
  }
}

// ---------------------------------------------------------------------------------------------
// Lines

void TPlayer::MoveTo(double X, double Y) {
  S_.Pos = {Finite(X), Finite(Y)};
  if (InPath_) FigureOpen_ = false;
}

void TPlayer::LineTo(double X, double Y) {
  const TPointD from = S_.Pos;
  S_.Pos = {Finite(X), Finite(Y)};
  if (Stopped_) return;
  if (InPath_) {
    TFigure& f = CurrentFigure();
    f.P.push_back(Dev(X, Y));
    SpendPoints(1);
    return;
  }
  std::vector<TFigure> F(1);
  F[0].P = {Dev(from.X, from.Y), Dev(X, Y)};
  DrawFigures(F, false, true);
}

void TPlayer::Polyline(const std::vector<TPointD>& P) {
  if (P.empty() || Stopped_) return;
  std::vector<TFigure> F(1);
  for (const TPointD& p : P) F[0].P.push_back(Dev(p.X, p.Y));
  if (InPath_) {
    AddFigures(std::move(F));
    return;
  }
  DrawFigures(F, false, true);
}

void TPlayer::PolylineTo(const std::vector<TPointD>& P) {
  if (P.empty() || Stopped_) return;
  if (InPath_) {
    TFigure& f = CurrentFigure();
    for (const TPointD& p : P) f.P.push_back(Dev(p.X, p.Y));
    SpendPoints(P.size());
  } else {
    std::vector<TFigure> F(1);
    F[0].P.push_back(Dev(S_.Pos.X, S_.Pos.Y));
    for (const TPointD& p : P) F[0].P.push_back(Dev(p.X, p.Y));
    DrawFigures(F, false, true);
  }
  S_.Pos = {Finite(P.back().X), Finite(P.back().Y)};
}

void TPlayer::PolyBezier(const std::vector<TPointD>& P) {
  if (P.empty() || Stopped_) return;
  std::vector<TFigure> F(1);
  F[0].P.push_back(Dev(P[0].X, P[0].Y));
  for (size_t i = 1; i + 2 < P.size(); i += 3)
    FlattenBezier(Dev(P[i - 1].X, P[i - 1].Y), Dev(P[i].X, P[i].Y), Dev(P[i + 1].X, P[i + 1].Y),
                  Dev(P[i + 2].X, P[i + 2].Y), F[0].P);
  if (InPath_) {
    AddFigures(std::move(F));
    return;
  }
  DrawFigures(F, false, true);
}

void TPlayer::PolyBezierTo(const std::vector<TPointD>& P) {
  if (P.size() < 3 || Stopped_) return;
  if (InPath_) CurrentFigure();  // opened at the current position, before it moves
  std::vector<TPointD> out;
  TPointD last = Dev(S_.Pos.X, S_.Pos.Y);
  out.push_back(last);
  for (size_t i = 0; i + 3 <= P.size(); i += 3) {
    const TPointD b = Dev(P[i].X, P[i].Y), c = Dev(P[i + 1].X, P[i + 1].Y), d = Dev(P[i + 2].X, P[i + 2].Y);
    FlattenBezier(last, b, c, d, out);
    last = d;
    S_.Pos = {Finite(P[i + 2].X), Finite(P[i + 2].Y)};
  }
  if (InPath_) {
    TFigure& f = CurrentFigure();
    f.P.insert(f.P.end(), out.begin() + 1, out.end());
    return;
  }
  std::vector<TFigure> F(1);
  F[0].P = std::move(out);
  DrawFigures(F, false, true);
}

void TPlayer::PolyDraw(const std::vector<TPointD>& P, const std::vector<uint8_t>& Types) {
  const size_t n = std::min(P.size(), Types.size());
  for (size_t i = 0; i < n && !Stopped_; ++i) {
    const uint8_t t = Types[i] & 6;
    if (t == 6) {
      MoveTo(P[i].X, P[i].Y);
    } else if (t == 2) {
      LineTo(P[i].X, P[i].Y);
    } else if (t == 4 && i + 2 < n) {
      PolyBezierTo({P[i], P[i + 1], P[i + 2]});
      i += 2;
    }
    if ((Types[i] & 1) != 0) CloseFigure();
  }
}

void TPlayer::PolyPolygon(const std::vector<TPointD>& P, const std::vector<int>& Counts) {
  if (Stopped_) return;
  std::vector<TFigure> F;
  size_t k = 0;
  for (int c : Counts) {
    if (c <= 0 || size_t(c) > P.size() - k) break;
    TFigure f;
    f.Closed = true;
    for (int i = 0; i < c; ++i, ++k) f.P.push_back(Dev(P[k].X, P[k].Y));
    F.push_back(std::move(f));
  }
  if (F.empty()) return;
  AddFigures(std::move(F));
}

void TPlayer::PolyPolyline(const std::vector<TPointD>& P, const std::vector<int>& Counts) {
  if (Stopped_) return;
  std::vector<TFigure> F;
  size_t k = 0;
  for (int c : Counts) {
    if (c <= 0 || size_t(c) > P.size() - k) break;
    TFigure f;
    for (int i = 0; i < c; ++i, ++k) f.P.push_back(Dev(P[k].X, P[k].Y));
    F.push_back(std::move(f));
  }
  if (F.empty()) return;
  if (InPath_) {
    AddFigures(std::move(F));
    return;
  }
  DrawFigures(F, false, true);
}

// ---------------------------------------------------------------------------------------------
// Shapes

void TPlayer::Rectangle(double L, double T, double R, double B) {
  if (Stopped_) return;
  if (!InPath_ && !Measuring() && AxisAligned()) {
    const TPoint a = Pixel(Dev(L, T)), b = Pixel(Dev(R, B));
    if (!SpendArea(double(b.X) - a.X, double(b.Y) - a.Y)) return;
    ApplyClip();
    auto draw = [&] { Canvas_->Rectangle(a.X, a.Y, b.X, b.Y); };
    if (S_.Brush.Style == BS_HATCHED && S_.BkMode == OPAQUE) {
      UsePen(false);
      Canvas_->GetBrush()->SetStyle(bsSolid);
      Canvas_->GetBrush()->SetColor(S_.BkColor);
      draw();
    }
    UsePen(true);
    UseBrush(true);
    draw();
    return;
  }
  std::vector<TFigure> F(1);
  F[0].Closed = true;
  const double c[4][2] = {{L, T}, {L, B}, {R, B}, {R, T}};
  for (const auto& p : c) F[0].P.push_back(Dev(p[0], p[1]));
  if (S_.Clockwise) std::reverse(F[0].P.begin(), F[0].P.end());
  AddFigures(std::move(F));
}

void TPlayer::Ellipse(double L, double T, double R, double B) {
  if (Stopped_) return;
  if (!InPath_ && !Measuring() && AxisAligned()) {
    const TPoint a = Pixel(Dev(L, T)), b = Pixel(Dev(R, B));
    if (!SpendArea(double(b.X) - a.X, double(b.Y) - a.Y)) return;
    ApplyClip();
    auto draw = [&] { Canvas_->Ellipse(a.X, a.Y, b.X, b.Y); };
    if (S_.Brush.Style == BS_HATCHED && S_.BkMode == OPAQUE) {
      UsePen(false);
      Canvas_->GetBrush()->SetStyle(bsSolid);
      Canvas_->GetBrush()->SetColor(S_.BkColor);
      draw();
    }
    UsePen(true);
    UseBrush(true);
    draw();
    return;
  }
  std::vector<TFigure> F(1);
  F[0].Closed = true;
  EllipsePoints(L, T, R, B, 0, S_.Clockwise ? -2 * kPi : 2 * kPi, F[0].P);
  if (!F[0].P.empty()) F[0].P.pop_back();  // the last point repeats the first
  AddFigures(std::move(F));
}

void TPlayer::RoundRect(double L, double T, double R, double B, double W, double H) {
  if (Stopped_) return;
  if (!InPath_ && !Measuring() && AxisAligned()) {
    const TPoint a = Pixel(Dev(L, T)), b = Pixel(Dev(R, B));
    const TXForm& m = Map();
    const int cw = Round(std::min(std::fabs(W * m.M11), kCoord)), ch = Round(std::min(std::fabs(H * m.M22), kCoord));
    if (!SpendArea(double(b.X) - a.X, double(b.Y) - a.Y)) return;
    ApplyClip();
    auto draw = [&] { Canvas_->RoundRect(a.X, a.Y, b.X, b.Y, cw, ch); };
    if (S_.Brush.Style == BS_HATCHED && S_.BkMode == OPAQUE) {
      UsePen(false);
      Canvas_->GetBrush()->SetStyle(bsSolid);
      Canvas_->GetBrush()->SetColor(S_.BkColor);
      draw();
    }
    UsePen(true);
    UseBrush(true);
    draw();
    return;
  }
  // Four quarter ellipses joined by the straight edges.
  if (R < L) std::swap(L, R);
  if (B < T) std::swap(T, B);
  const double rw = std::min(std::fabs(W), R - L) / 2, rh = std::min(std::fabs(H), B - T) / 2;
  std::vector<TFigure> F(1);
  F[0].Closed = true;
  EllipsePoints(R - 2 * rw, T, R, T + 2 * rh, 0, kPi / 2, F[0].P);
  EllipsePoints(L, T, L + 2 * rw, T + 2 * rh, kPi / 2, kPi / 2, F[0].P);
  EllipsePoints(L, B - 2 * rh, L + 2 * rw, B, kPi, kPi / 2, F[0].P);
  EllipsePoints(R - 2 * rw, B - 2 * rh, R, B, 3 * kPi / 2, kPi / 2, F[0].P);
  AddFigures(std::move(F));
}

void TPlayer::ArcShape(TArcKind Kind, double L, double T, double R, double B, double X3, double Y3, double X4,
                       double Y4) {
  if (Stopped_) return;
  if (S_.Clockwise) {
    std::swap(X3, X4);
    std::swap(Y3, Y4);
  }
  if (!InPath_ && !Measuring() && AxisAligned() && Kind != akArcTo) {
    const TPoint a = Pixel(Dev(L, T)), b = Pixel(Dev(R, B)), s = Pixel(Dev(X3, Y3)), e = Pixel(Dev(X4, Y4));
    if (!SpendArea(double(b.X) - a.X, double(b.Y) - a.Y)) return;
    ApplyClip();
    UsePen(true);
    if (Kind == akArc) {
      Canvas_->Arc(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
      return;
    }
    auto draw = [&] {
      if (Kind == akPie) Canvas_->Pie(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
      else Canvas_->Chord(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
    };
    if (S_.Brush.Style == BS_HATCHED && S_.BkMode == OPAQUE) {
      UsePen(false);
      Canvas_->GetBrush()->SetStyle(bsSolid);
      Canvas_->GetBrush()->SetColor(S_.BkColor);
      draw();
      UsePen(true);
    }
    UseBrush(true);
    draw();
    return;
  }
  // Flattened: parametric angles of the rays, counter-clockwise on the destination.
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
  if (rx == 0 || ry == 0) return;
  const double from = std::atan2(-(Y3 - cy) / ry, (X3 - cx) / rx);
  const double to = std::atan2(-(Y4 - cy) / ry, (X4 - cx) / rx);
  const TXForm& m = Map();
  // The drawing turns counter-clockwise on the destination; a map that mirrors turns it the other
  // way in logical units.
  const double dir = (m.M11 * m.M22 - m.M12 * m.M21) * (rx * ry) < 0 ? -1 : 1;
  double sweep = std::fmod(dir * (to - from), 2 * kPi);
  if (sweep <= 1e-12) sweep += 2 * kPi;
  std::vector<TFigure> F(1);
  if (Kind == akArcTo) {
    if (InPath_) {
      EllipsePoints(L, T, R, B, from, dir * sweep, CurrentFigure().P);
    } else {
      F[0].P.push_back(Dev(S_.Pos.X, S_.Pos.Y));
      EllipsePoints(L, T, R, B, from, dir * sweep, F[0].P);
      DrawFigures(F, false, true);
    }
    const double a = from + dir * sweep;
    S_.Pos = {cx + rx * std::cos(a), cy - ry * std::sin(a)};
    return;
  }
  EllipsePoints(L, T, R, B, from, dir * sweep, F[0].P);
  if (Kind == akPie) F[0].P.push_back(Dev(cx, cy));
  F[0].Closed = Kind != akArc;
  AddFigures(std::move(F));
}

void TPlayer::AngleArc(double X, double Y, double Radius, double Start, double Sweep) {
  if (Stopped_ || !std::isfinite(Radius) || !std::isfinite(Start) || !std::isfinite(Sweep)) return;
  Sweep = std::clamp(Sweep, -3600.0, 3600.0);
  const double a0 = Start * kPi / 180, sw = Sweep * kPi / 180;
  std::vector<TPointD> arc;
  EllipsePoints(X - Radius, Y - Radius, X + Radius, Y + Radius, a0, sw, arc);
  if (InPath_) {
    TFigure& f = CurrentFigure();
    f.P.insert(f.P.end(), arc.begin(), arc.end());
  } else {
    std::vector<TFigure> F(1);
    F[0].P.push_back(Dev(S_.Pos.X, S_.Pos.Y));
    F[0].P.insert(F[0].P.end(), arc.begin(), arc.end());
    DrawFigures(F, false, true);
  }
  S_.Pos = {X + Radius * std::cos(a0 + sw), Y - Radius * std::sin(a0 + sw)};
}

void TPlayer::SetPixel(double X, double Y, uint32_t ColorRef) {
  if (Stopped_ || InPath_) return;
  const TPointD d = Dev(X, Y);
  if (Measuring()) {
    Grow(d);
    return;
  }
  ApplyClip();
  const TPoint p = Pixel(d);
  Canvas_->SetPixels(p.X, p.Y, Color(ColorRef));
}

void TPlayer::PatBlt(double L, double T, double W, double H, uint32_t Rop) {
  if (Stopped_ || InPath_) return;
  const TPointD a = Dev(L, T), b = Dev(L + W, T + H);
  if (Measuring()) {
    Grow(a);
    Grow(b);
    return;
  }
  // The raster operations without a source that are a pen mode of the brush colour.
  TPenMode mode;
  TColor color = S_.Brush.Color;
  switch ((Rop >> 16) & 0xFF) {
    case 0xF0: mode = pmCopy; break;
    case 0x5A: mode = pmXor; break;
    case 0x55: mode = pmNot; break;
    case 0x00: mode = pmCopy, color = clBlack; break;
    case 0xFF: mode = pmCopy, color = clWhite; break;
    case 0xAA: return;  // the destination as it is
    default: return;
  }
  if (((Rop >> 16) & 0xFF) == 0xF0 || ((Rop >> 16) & 0xFF) == 0x5A) {
    if (!BrushVisible()) return;
  }
  const TPoint p = Pixel(a), q = Pixel(b);
  if (!SpendArea(double(q.X) - p.X, double(q.Y) - p.Y)) return;
  ApplyClip();
  TPen* pen = Canvas_->GetPen();
  pen->SetStyle(psClear);
  pen->SetMode(mode);
  TBrush* br = Canvas_->GetBrush();
  br->SetColor(color);
  br->SetStyle(S_.Brush.Style == BS_HATCHED && color == S_.Brush.Color ? HatchOf(S_.Brush.Hatch) : bsSolid);
  Canvas_->Rectangle(p.X, p.Y, q.X, q.Y);
}

// ---------------------------------------------------------------------------------------------
// Paths

void TPlayer::BeginPath() {
  Path_.clear();
  InPath_ = true;
  FigureOpen_ = false;
}

void TPlayer::AbortPath() {
  Path_.clear();
  InPath_ = false;
  FigureOpen_ = false;
}

void TPlayer::CloseFigure() {
  if (!InPath_ || !FigureOpen_ || Path_.empty()) return;
  Path_.back().Closed = true;
  FigureOpen_ = false;
  S_.Pos = FigureStart_;
}

void TPlayer::FillPath() {
  std::vector<TFigure> f = std::move(Path_);
  AbortPath();
  for (TFigure& x : f) x.Closed = true;
  DrawFigures(f, true, false);
}

void TPlayer::StrokePath() {
  std::vector<TFigure> f = std::move(Path_);
  AbortPath();
  DrawFigures(f, false, true);
}

void TPlayer::StrokeAndFillPath() {
  std::vector<TFigure> f = std::move(Path_);
  AbortPath();
  DrawFigures(f, true, false);
  DrawFigures(f, false, true);
}

TRegion TPlayer::FiguresRegion(const std::vector<TFigure>& F, int FillMode) const {
  std::vector<TPoint> pts;
  std::vector<int> counts;
  for (const TFigure& f : F) {
    if (f.P.size() < 3) continue;
    for (const TPointD& p : f.P) pts.push_back(Pixel(p));
    counts.push_back(int(f.P.size()));
  }
  if (counts.empty()) return TRegion();
  return TRegion::FromPolyPolygon(pts.data(), counts.data(), int(counts.size()),
                                  FillMode == WINDING ? fmWinding : fmAlternate);
}

void TPlayer::SelectClipPath(int Mode) {
  std::vector<TFigure> f = std::move(Path_);
  AbortPath();
  if (Measuring()) return;
  CombineClip(FiguresRegion(f, S_.FillMode), Mode);
}

// ---------------------------------------------------------------------------------------------
// Clipping

void TPlayer::CombineClip(const TRegion& R, int Mode) {
  if (Measuring()) return;
  const TRegion all = TRegion::FromRect(-int32_t(kCoord), -int32_t(kCoord), int32_t(kCoord), int32_t(kCoord));
  const TRegion& cur = S_.HasClip ? S_.Clip : all;
  switch (Mode) {
    case RGN_AND: S_.Clip = TRegion::Combine(cur, R, RGN_AND); break;
    case RGN_OR:
      if (!S_.HasClip) return;  // everything already
      S_.Clip = TRegion::Combine(cur, R, RGN_OR);
      break;
    case RGN_XOR: S_.Clip = TRegion::Combine(cur, R, RGN_XOR); break;
    case RGN_DIFF: S_.Clip = TRegion::Combine(cur, R, RGN_DIFF); break;
    case RGN_COPY: S_.Clip = R; break;
    default: return;
  }
  S_.HasClip = true;
  ++ClipGeneration_;
}

void TPlayer::IntersectClipRect(double L, double T, double R, double B) {
  if (Measuring()) return;
  std::vector<TFigure> f(1);
  const double c[4][2] = {{L, T}, {R, T}, {R, B}, {L, B}};
  for (const auto& p : c) f[0].P.push_back(Dev(p[0], p[1]));
  CombineClip(FiguresRegion(f, ALTERNATE), RGN_AND);
}

void TPlayer::ExcludeClipRect(double L, double T, double R, double B) {
  if (Measuring()) return;
  std::vector<TFigure> f(1);
  const double c[4][2] = {{L, T}, {R, T}, {R, B}, {L, B}};
  for (const auto& p : c) f[0].P.push_back(Dev(p[0], p[1]));
  CombineClip(FiguresRegion(f, ALTERNATE), RGN_DIFF);
}

void TPlayer::OffsetClip(double Dx, double Dy) {
  if (Measuring() || !S_.HasClip) return;
  const TPointD v = Map().ApplyVector(Dx, Dy);
  const TPoint d = Pixel(v);
  S_.Clip.Offset(d.X, d.Y);
  ++ClipGeneration_;
}

void TPlayer::SetClipDeviceRects(const std::vector<TRect>& Rects, int Mode) {
  if (Measuring()) return;
  if (Rects.empty() && Mode == RGN_COPY) {
    ResetClip();
    return;
  }
  TRegion r;
  for (const TRect& q : Rects) {
    const TPoint a = Pixel(Final_.Apply(q.Left, q.Top)), b = Pixel(Final_.Apply(q.Right, q.Bottom));
    r |= TRegion::FromRect(a.X, a.Y, b.X, b.Y);
  }
  CombineClip(r, Mode);
}

void TPlayer::ResetClip() {
  S_.HasClip = false;
  S_.Clip = TRegion();
  ++ClipGeneration_;
}

// ---------------------------------------------------------------------------------------------
// Text

void TPlayer::Text(double X, double Y, const std::vector<std::string>& Chars, const std::vector<double>& Dx,
                   uint32_t Options, const double* Rect) {
  if (Stopped_ || InPath_) return;
  Glyphs_ += Chars.size();
  if (Glyphs_ > kMaxGlyphs) {
    Stopped_ = true;
    return;
  }
  const bool updateCP = (S_.TextAlign & TA_UPDATECP) != 0;
  if (updateCP) X = S_.Pos.X, Y = S_.Pos.Y;
  const TXForm& m = Map();
  const TPointD ref = m.Apply(X, Y);
  const double xScale = std::hypot(m.M11, m.M12), yScale = std::hypot(m.M21, m.M22);

  // The font on the destination.
  const TFontDesc& fd = S_.Font;
  double h;
  if (fd.Device) h = fd.Log.lfHeight * (Info_.DpiY / 96.0) * (Canvas_ != nullptr ? std::fabs(Final_.M22) : 1.0);
  else if (fd.Log.lfHeight == 0) h = -(12.0 / 72.0) * Info_.DpiY * (Canvas_ != nullptr ? std::fabs(Final_.M22) : 1.0);
  else h = fd.Log.lfHeight * yScale;
  const int height = int(std::clamp(Round(Finite(h)), -kMaxFontHeight, kMaxFontHeight));
  // The baseline's direction: the escapement, turned with a rotating map.
  double angle = fd.Log.lfEscapement / 10.0;
  if (m.M12 != 0 || m.M21 != 0) angle += std::atan2(-m.M12, m.M11) * 180 / kPi;
  const double rad = angle * kPi / 180;
  const TPointD u{std::cos(rad), -std::sin(rad)}, v{std::sin(rad), std::cos(rad)};

  // Advances on the destination.
  std::vector<double> adv;
  double width = 0, logicalWidth = 0;
  if (!Dx.empty()) {
    for (size_t i = 0; i < Chars.size(); ++i) {
      const double d = i < Dx.size() ? Finite(Dx[i]) : 0;
      adv.push_back(std::clamp(d * xScale, -kCoord, kCoord));
      width += adv.back();
      logicalWidth += d;
    }
  }

  std::string all;
  for (const std::string& c : Chars) all += c;
  TFont font;
  font.SetName(fd.Face.empty() ? std::string("MS Sans Serif") : fd.Face);
  font.SetHeight(height);
  TFontStyles st;
  if (fd.Log.lfWeight >= 600) st.Include(fsBold);
  if (fd.Log.lfItalic != 0) st.Include(fsItalic);
  if (fd.Log.lfUnderline != 0) st.Include(fsUnderline);
  if (fd.Log.lfStrikeOut != 0) st.Include(fsStrikeOut);
  font.SetStyle(st);
  font.SetOrientation(Round(std::fmod(angle, 360.0) * 10));
  font.SetColor(S_.TextColor);

  double ascent, cell;
  if (Measuring() || height == 0) {
    cell = std::fabs(double(height)) * 1.2;
    ascent = cell * 0.8;
    if (Dx.empty()) width = double(Chars.size()) * std::fabs(double(height)) * 0.55;
  } else {
    const TSize ext = text::TextExtent(font, all);
    ascent = text::FontAscent(font);
    cell = ext.cy;
    if (Dx.empty()) width = ext.cx;
  }
  if (Dx.empty()) logicalWidth = xScale > 0 ? width / xScale : 0;

  const uint32_t horiz = S_.TextAlign & TA_CENTER, vert = S_.TextAlign & TA_BASELINE;
  const double ox = horiz == TA_CENTER ? -width / 2 : horiz == TA_RIGHT ? -width : 0;
  const double oy = vert == TA_BASELINE ? -ascent : vert == TA_BOTTOM ? -cell : 0;
  const TPointD origin{ref.X + ox * u.X + oy * v.X, ref.Y + ox * u.Y + oy * v.Y};
  if (updateCP) {
    const double sign = horiz == TA_RIGHT ? -1 : 1;
    S_.Pos.X += sign * logicalWidth;
  }

  auto corner = [&](double s, double t) { return TPointD{origin.X + s * u.X + t * v.X, origin.Y + s * u.Y + t * v.Y}; };
  if (Measuring()) {
    Grow(corner(0, 0));
    Grow(corner(width, 0));
    Grow(corner(width, cell));
    Grow(corner(0, cell));
    return;
  }
  if (!SpendArea(std::fabs(width) + 1, cell + 1)) return;

  // The rectangle of ExtTextOut: painted with the background colour, or clipping the text.
  const bool clipped = Rect != nullptr && (Options & ETO_CLIPPED) != 0;
  std::vector<TFigure> rect(1);
  if (Rect != nullptr) {
    rect[0].Closed = true;
    const double c[4][2] = {{Rect[0], Rect[1]}, {Rect[2], Rect[1]}, {Rect[2], Rect[3]}, {Rect[0], Rect[3]}};
    for (const auto& p : c) rect[0].P.push_back(m.Apply(p[0], p[1]));
  }
  bool keepHas = false;
  TRegion keepClip;
  if (clipped) {
    keepHas = S_.HasClip;
    keepClip = S_.Clip;
    CombineClip(FiguresRegion(rect, ALTERNATE), RGN_AND);
  }
  ApplyClip();
  auto fillBk = [&](const std::vector<TFigure>& f) {
    std::vector<TPoint> pts;
    for (const TPointD& p : f[0].P) pts.push_back(Pixel(p));
    TPen* pen = Canvas_->GetPen();
    pen->SetStyle(psClear);
    pen->SetMode(pmCopy);
    Canvas_->GetBrush()->SetStyle(bsSolid);
    Canvas_->GetBrush()->SetColor(S_.BkColor);
    Canvas_->SetPolyFillMode(fmAlternate);
    Canvas_->Polygon(pts.data(), int(pts.size()));
  };
  if (Rect != nullptr && (Options & ETO_OPAQUE) != 0) fillBk(rect);
  if (S_.BkMode == OPAQUE && width != 0) {
    std::vector<TFigure> cellFig(1);
    cellFig[0].P = {corner(0, 0), corner(width, 0), corner(width, cell), corner(0, cell)};
    fillBk(cellFig);
  }
  if (height != 0) {
    Canvas_->SetFont(&font);
    Canvas_->GetBrush()->SetStyle(bsClear);
    if (adv.empty()) {
      const TPoint p = Pixel(origin);
      Canvas_->TextOut(p.X, p.Y, all);
    } else {
      // Each character at its own advance; underline and strike-out run through the whole text
      // as bands of the font's own position and thickness.
      TFontStyles each = st;
      each.Exclude(fsUnderline);
      each.Exclude(fsStrikeOut);
      Canvas_->GetFont()->SetStyle(each);
      double s = 0;
      for (size_t i = 0; i < Chars.size(); ++i) {
        if (!Chars[i].empty() && Chars[i] != " ") {
          const TPoint p = Pixel(corner(s, 0));
          Canvas_->TextOut(p.X, p.Y, Chars[i]);
        }
        s += adv[i];
      }
      double ut = 0, uh = 0, stt = 0, sth = 0;
      if ((st.Contains(fsUnderline) || st.Contains(fsStrikeOut)) && text::FontLines(font, ut, uh, stt, sth)) {
        auto band = [&](double top, double thick) {
          const double t0 = ascent + top;
          std::vector<TFigure> f(1);
          f[0].P = {corner(0, t0), corner(width, t0), corner(width, t0 + thick), corner(0, t0 + thick)};
          std::vector<TPoint> pts;
          for (const TPointD& q : f[0].P) pts.push_back(Pixel(q));
          Canvas_->GetPen()->SetStyle(psClear);
          Canvas_->GetPen()->SetMode(pmCopy);
          Canvas_->GetBrush()->SetStyle(bsSolid);
          Canvas_->GetBrush()->SetColor(S_.TextColor);
          Canvas_->SetPolyFillMode(fmAlternate);
          Canvas_->Polygon(pts.data(), int(pts.size()));
        };
        if (st.Contains(fsUnderline)) band(ut, uh);
        if (st.Contains(fsStrikeOut)) band(stt, sth);
      }
    }
  }
  if (clipped) {
    S_.HasClip = keepHas;
    S_.Clip = std::move(keepClip);
    ++ClipGeneration_;
  }
}

// ---------------------------------------------------------------------------------------------
// Bitmaps

namespace {
bool SourceOfDib(const TDib& d, raster::TSourceImage& s) {
  if (d.Width <= 0 || d.Height <= 0 || d.Rows == nullptr) return false;
  s = raster::TSourceImage{};
  s.Width = d.Width;
  s.Height = d.Height;
  s.Bits = d.Bits;
  if (d.TopDown) {
    s.Row0 = d.Rows;
    s.Stride = ptrdiff_t(d.RowLen);
  } else {
    s.Row0 = d.Rows + size_t(d.Height - 1) * d.RowLen;
    s.Stride = -ptrdiff_t(d.RowLen);
  }
  if (d.Bits <= 8) {
    s.Palette = d.Palette;
    s.PaletteCount = d.PaletteCount;
  }
  std::memcpy(s.Masks, d.Masks, sizeof s.Masks);
  return true;
}
}  // namespace

bool TPlayer::AverageColor(const TDib& Dib, TColor& Out) const {
  raster::TSourceImage src;
  if (!SourceOfDib(Dib, src)) return false;
  TBitmap small(8, 8, pf24bit);
  const raster::TTarget t = raster::TargetOf(&small);
  const raster::TClipper clip(t, nullptr);
  raster::StretchCopy(t, clip, src, 0, 0, src.Width, src.Height, 0, 0, 8, 8, 0x00CC0020u, clBlack);
  unsigned sum[3] = {0, 0, 0};
  for (int y = 0; y < 8; ++y) {
    const uint8_t* row = small.ScanLine(y);
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += row[3 * x + c];
  }
  Out = RGBColor(uint8_t(sum[2] / 64), uint8_t(sum[1] / 64), uint8_t(sum[0] / 64));
  return true;
}

void TPlayer::StretchDib(const TDib& Dib, double Xd, double Yd, double Wd, double Hd, int Xs, int Ys, int Ws, int Hs,
                         uint32_t Rop) {
  if (Stopped_ || InPath_) return;
  const TPointD a = Dev(Xd, Yd), b = Dev(Xd + Wd, Yd + Hd);
  if (Measuring()) {
    Grow(a);
    Grow(b);
    return;
  }
  raster::TSourceImage src;
  if (!SourceOfDib(Dib, src)) return;
  const TPoint p = Pixel(a), q = Pixel(b);
  int64_t dx = p.X, dy = p.Y, dw = int64_t(q.X) - p.X, dh = int64_t(q.Y) - p.Y;
  int64_t sx = Xs, sy = Ys, sw = Ws, sh = Hs;
  // A reversed source mirrors the picture: the destination is walked the other way.
  if (sw < 0) sx += sw, sw = -sw, dx += dw, dw = -dw;
  if (sh < 0) sy += sh, sh = -sh, dy += dh, dh = -dh;
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  constexpr int64_t lim = int64_t(1) << 30;
  if (std::llabs(dx) > lim || std::llabs(dy) > lim || std::llabs(dw) > lim || std::llabs(dh) > lim) return;
  if (std::llabs(sx) > lim || std::llabs(sy) > lim || sw > lim || sh > lim) return;
  if (!SpendArea(double(dw), double(dh))) return;
  ApplyClip();
  const raster::TTarget target = raster::TargetOf(Canvas_->GetBitmap());
  if (target.Bpp == 0) return;
  const raster::TClipper clip(target, Canvas_->ClipRegion());
  Canvas_->Changing();
  raster::StretchCopy(target, clip, src, int32_t(sx), int32_t(sy), int32_t(sw), int32_t(sh), int32_t(dx), int32_t(dy),
                      int32_t(dw), int32_t(dh), Rop, S_.Brush.Color);
  Canvas_->Changed();
}

}  // namespace corvex::metafile
