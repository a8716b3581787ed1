// TCorvexVect drawing: objects over the view's rendering, grips, merging into the bitmap.
//
// Rulers (RulerType):
//   cxrtRULER        the segment with perpendicular ticks every 10 bitmap pixels (every 50th a
//                    longer one; the step grows tenfold while ticks would be closer than 4 client
//                    pixels) and the length label above its middle;
//   cxrtQUOTEBEGIN,
//   cxrtQUOTECENTER,
//   cxrtQUOTEEND     a dimension line: out-arrows at both ends, extension ticks across both ends,
//                    the label above the line at its beginning, middle or end.
// Labels run along the line, turned by half a turn when they would read upside down.
// Texts: laid out unrotated in the rectangle (top edge, left/right/centred), then the whole
// layout turned by the font's angle about the rectangle's centre.
#include <algorithm>
#include <cmath>

#include "corvex/platform/numbers.h"
#include "corvex/view/CXVect.h"
#include "corvex/view/view_pvt.h"

namespace corvex {

namespace {

// Text whose cell corner lands at (X, Y) rounded; the canvas turns it by the font's orientation.
void TurnedText(TCanvas* c, double X, double Y, const std::string& s) { c->TextOut(Round(X), Round(Y), s); }

}  // namespace

void TCorvexVect::Update() { TCorvexView::Update(); }

void TCorvexVect::PaintTo(TCanvas* Canvas) {
  TCorvexView::PaintTo(Canvas);
  DrawObjects(Canvas, true);
}

void TCorvexVect::Paint() { TCorvexView::Paint(); }

// The objects are drawn over the image on every render.
bool TCorvexVect::RenderIsCheap() const { return TCorvexView::RenderIsCheap() && Objects_.empty(); }

void TCorvexVect::DrawObjects(TCanvas* Canvas, bool OnScreen) {
  if (Canvas == nullptr || AllHidden_) return;
  for (int h : ZOrder_) DrawObject(Canvas, Objects_[size_t(h)], OnScreen);
  if (OnScreen) DrawGrips(Canvas);
  Canvas->GetPen()->SetMode(pmCopy);
}

void TCorvexVect::DrawObject(TCanvas* Canvas, const TCXVObject& O, bool OnScreen) {
  if (!O.Style.Contains(cxvsVisible) || O.Removed) return;
  const double f = OnScreen ? Zoom_ / 100.0 : 1.0;
  const int X1 = OnScreen ? XBmp2Scr(O.x1) : O.x1, Y1 = OnScreen ? YBmp2Scr(O.y1) : O.y1;
  const int X2 = OnScreen ? XBmp2Scr(O.x2) : O.x2, Y2 = OnScreen ? YBmp2Scr(O.y2) : O.y2;
  const int penW = ZoomObjectsWidth_ ? std::max(1, Trunc(O.PenWidth * f)) : O.PenWidth;
  if (OnScreen) {
    const int m = penW + Trunc(std::max(O.ShapeWidth, O.ShapeHeight) * f) + 2;
    const TRect shown = Rect(OffsetX_, OffsetY_, OffsetX_ + DisplayWidth_, OffsetY_ + DisplayHeight_);
    if (std::max(X1, X2) + m < shown.Left || std::min(X1, X2) - m >= shown.Right ||
        std::max(Y1, Y2) + m < shown.Top || std::min(Y1, Y2) - m >= shown.Bottom)
      if (O.Kind != cxkTEXT) return;  // a turned text may reach beyond its rectangle
  }
  TPen* pen = Canvas->GetPen();
  TBrush* brush = Canvas->GetBrush();
  pen->SetMode(pmCopy);
  pen->SetColor(O.PenColor);
  pen->SetStyle(O.PenStyle);
  pen->SetWidth(penW);
  brush->SetColor(O.BrushColor);
  brush->SetStyle(O.BrushStyle);

  // An arrow head at E, the line coming from P.
  auto arrow = [&](TCXShape shape, int ex, int ey, int px, int py) {
    if (shape == cxsNONE) return;
    const double dx = double(px) - ex, dy = double(py) - ey, len = std::hypot(dx, dy);
    if (!(len > 0)) return;  // a zero-length line has no direction: no heads
    const double co = dx / len, si = dy / len, w = Trunc(O.ShapeWidth * f), h = Trunc(O.ShapeHeight * f);
    const int bx = ex + Trunc(h * co), by = ey + Trunc(h * si);
    const int ox = Trunc(-si * w / 2), oy = Trunc(co * w / 2);
    TPoint p[3];
    if (shape == cxsINARROW) {
      p[0] = TPoint{ex + ox, ey + oy};
      p[1] = TPoint{ex - ox, ey - oy};
      p[2] = TPoint{bx, by};
    } else {
      p[0] = TPoint{bx + ox, by + oy};
      p[1] = TPoint{bx - ox, by - oy};
      p[2] = TPoint{ex, ey};
    }
    const TPenStyle ps = pen->GetStyle();
    pen->SetStyle(psSolid);
    Canvas->Polygon(p, 3);
    pen->SetStyle(ps);
  };
  // A font from a logical-font record, its height scaled by the factor.
  auto useFont = [&](const TCXVObject& src) {
    TLogFont lf = src.HasFont ? src.Font : Template_.Font;
    if (lf.lfHeight != 0) {
      const int hh = Round(lf.lfHeight * f);
      lf.lfHeight = hh != 0 ? hh : (lf.lfHeight < 0 ? -1 : 1);
    }
    Canvas->GetFont()->SetLogFont(lf);
    Canvas->GetFont()->SetColor(O.PenColor);
    return lf.lfEscapement / 10.0;
  };

  switch (O.Kind) {
    case cxkLINE:
      Canvas->MoveTo(X1, Y1);
      Canvas->LineTo(X2, Y2);
      arrow(O.BeginShape, X1, Y1, X2, Y2);
      arrow(O.EndShape, X2, Y2, X1, Y1);
      break;
    case cxkBOX: Canvas->Rectangle(X1, Y1, X2 + 1, Y2 + 1); break;
    case cxkELLIPSE: Canvas->Ellipse(X1, Y1, X2 + 1, Y2 + 1); break;
    case cxkARC: {
      const double cx = (X1 + X2 + 1) / 2.0, cy = (Y1 + Y2 + 1) / 2.0;
      const double r = std::max({std::abs(X2 - X1), std::abs(Y2 - Y1), 1}) * 2.0;
      if (!std::isfinite(O.StartAngle) || !std::isfinite(O.EndAngle)) break;
      // Counter-clockwise on screen: y grows downward, so the ray's y is subtracted.
      Canvas->Arc(X1, Y1, X2 + 1, Y2 + 1, Round(cx + r * std::cos(O.StartAngle)), Round(cy - r * std::sin(O.StartAngle)),
                  Round(cx + r * std::cos(O.EndAngle)), Round(cy - r * std::sin(O.EndAngle)));
      break;
    }
    case cxkBITMAP: {
      const TBitmap* b = GetBitmap(O.BitmapIndex);
      const int dw = X2 + 1 - X1, dh = Y2 + 1 - Y1;
      if (b == nullptr || b->GetEmpty()) {
        brush->SetStyle(bsClear);
        Canvas->Rectangle(X1, Y1, X2 + 1, Y2 + 1);
        Canvas->MoveTo(X1, Y1);
        Canvas->LineTo(X2, Y2);
        Canvas->MoveTo(X2, Y1);
        Canvas->LineTo(X1, Y2);
        break;
      }
      if (dw <= 0 || dh <= 0) break;
      const TBitmap* src = b;
      TBitmap conv;
      if (b->GetPixelFormat() != pf24bit && b->GetPixelFormat() != pf1bit) {
        conv.Allocate(b->GetWidth(), b->GetHeight(), pf24bit);
        conv.GetCanvas()->Draw(0, 0, b);
        src = &conv;
      }
      const int64_t area = int64_t(dw) * dh;
      if (BitmapResampleFilter_ != rfNone && !Dragging_ && area <= 16 * 1024 * 1024 &&
          (dw != b->GetWidth() || dh != b->GetHeight())) {
        const size_t h = size_t(&O - Objects_.data());
        if (h < Objects_.size()) {
          if (ResampleCache_.size() < Objects_.size()) ResampleCache_.resize(Objects_.size());
          ResampledImage& c = ResampleCache_[h];
          if (c.Source != b || c.Width != dw || c.Height != dh || !c.Image) {
            TBitmap part;
            part.Allocate(src->GetWidth(), src->GetHeight(), pf24bit);
            part.GetCanvas()->Draw(0, 0, src);
            c.Image = std::make_unique<TBitmap>(dw, dh, pf24bit);
            _Resample(&part, c.Image.get(), BitmapResampleFilter_, nullptr, nullptr);
            c.Source = b;
            c.Width = dw;
            c.Height = dh;
          }
          src = c.Image.get();
        }
      }
      view_pvt::BitmapInfo info;
      view_pvt::DescribeBitmap(src, info);
      DrawDibDraw(DrawDib_[0], Canvas, X1, Y1, dw, dh, &info.Header, src->Bits(), 0, 0, src->GetWidth(),
                  src->GetHeight(), 0);
      break;
    }
    case cxkTEXT: {
      if (O.BrushStyle != bsClear) Canvas->FillRect(Rect(X1, Y1, X2 + 1, Y2 + 1));
      const double ang = useFont(O);
      brush->SetStyle(bsClear);
      const TSize ext = Canvas->TextExtent(O.Text);
      const int rw = X2 + 1 - X1;
      double ux = X1, uy = Y1;
      if (O.TextAlign == taRightJustify) ux = X2 + 1 - ext.cx;
      if (O.TextAlign == taCenter) ux = X1 + (rw - ext.cx) / 2.0;
      const double cx = (X1 + X2 + 1) / 2.0, cy = (Y1 + Y2 + 1) / 2.0, a = ang * M_PI / 180.0;
      const double dx = ux - cx, dy = uy - cy;
      TurnedText(Canvas, cx + dx * std::cos(a) + dy * std::sin(a), cy - dx * std::sin(a) + dy * std::cos(a), O.Text);
      break;
    }
    case cxkRULER: {
      const double dx = double(X2) - X1, dy = double(Y2) - Y1, L = std::hypot(dx, dy);
      Canvas->MoveTo(X1, Y1);
      Canvas->LineTo(X2, Y2);
      if (!(L > 0)) break;
      const double ux = dx / L, uy = dy / L, nx = -uy, ny = ux;
      const double tick = std::max(3.0, O.ShapeWidth * f / 2);
      auto tickAt = [&](double t, double len) {
        const double px = X1 + ux * t, py = Y1 + uy * t;
        Canvas->MoveTo(Round(px - nx * len), Round(py - ny * len));
        Canvas->LineTo(Round(px + nx * len), Round(py + ny * len));
      };
      double hd = 0;
      if (O.RulerType == cxrtRULER) {
        double step = 10;
        while (step * f < 4) step *= 10;
        const double lenB = std::hypot(double(O.x2) - O.x1, double(O.y2) - O.y1);
        for (int i = 0; i * step <= lenB && i < 100000; ++i) tickAt(i * step * L / lenB, i % 5 == 0 ? tick * 2 : tick);
        tickAt(L, tick * 2);
      } else {
        brush->SetStyle(bsSolid);
        brush->SetColor(O.PenColor);
        arrow(cxsOUTARROW, X1, Y1, X2, Y2);
        arrow(cxsOUTARROW, X2, Y2, X1, Y1);
        tickAt(0, tick * 2);
        tickAt(L, tick * 2);
        hd = Trunc(O.ShapeHeight * f);
      }
      // The length in the ruler's unit.
      double cu = 1, cv = 1;
      if (O.RulerUnit != cxuPIXELS) {
        const double k[6] = {1, 1, 2.54 / 100000, 2.54 / 100, 2.54, 25.4};
        cu = k[std::min<int>(O.RulerUnit, 5)] / std::max(1, GetDPIX());
        cv = k[std::min<int>(O.RulerUnit, 5)] / std::max(1, GetDPIY());
      }
      const double value = std::hypot((double(O.x2) - O.x1) * cu * Scale_, (double(O.y2) - O.y1) * cv * Scale_);
      std::string label = MeasureText(value, false);
      label = label.substr(0, label.rfind(' ') + 1) + strunits[std::min<int>(O.RulerUnit, 5)];
      double deg = std::atan2(-dy, dx) * 180.0 / M_PI;
      if (deg > 90) deg -= 180;
      if (deg < -90) deg += 180;
      TCXVObject lf = O;
      if (!lf.HasFont) lf.Font = Template_.Font;
      lf.HasFont = true;
      lf.Font.lfEscapement = lf.Font.lfOrientation = Round(deg * 10);
      useFont(lf);
      brush->SetStyle(bsClear);
      const TSize ext = Canvas->TextExtent(label);
      const double t = O.RulerType == cxrtQUOTEBEGIN ? hd + ext.cx / 2.0
                       : O.RulerType == cxrtQUOTEEND ? L - hd - ext.cx / 2.0
                                                     : L / 2;
      const double r = deg * M_PI / 180.0, tx = std::cos(r), ty = -std::sin(r), wx = -std::sin(r), wy = -std::cos(r);
      const double px = X1 + ux * t, py = Y1 + uy * t, gap = tick * 2 + 1;
      TurnedText(Canvas, px - tx * ext.cx / 2 + wx * (ext.cy + gap), py - ty * ext.cx / 2 + wy * (ext.cy + gap), label);
      break;
    }
    default: break;
  }
}

void TCorvexVect::DrawGrips(TCanvas* Canvas) {
  TPen* pen = Canvas->GetPen();
  pen->SetMode(pmNot);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  Canvas->GetBrush()->SetStyle(bsClear);
  auto square = [&](int x, int y) { Canvas->Rectangle(x - 4, y - 4, x + 4, y + 4); };
  for (int h : SelObjects_) {
    const TCXVObject* o = Obj(h);
    if (o == nullptr) continue;
    square(XBmp2Scr(o->x1), YBmp2Scr(o->y1));
    square(XBmp2Scr(o->x2), YBmp2Scr(o->y2));
    if (o->Kind != cxkLINE && o->Kind != cxkRULER) {
      square(XBmp2Scr(o->x2), YBmp2Scr(o->y1));
      square(XBmp2Scr(o->x1), YBmp2Scr(o->y2));
    }
    auto mid = [](int a, int b) {
      const int lo = std::min(a, b), hi = std::max(a, b);
      return lo + int(unsigned(int64_t(hi) - lo + 1) >> 1);
    };
    const int cx = XBmp2Scr(mid(o->x1, o->x2)), cy = YBmp2Scr(mid(o->y1, o->y2));
    Canvas->MoveTo(cx, cy - 4);
    Canvas->LineTo(cx + 4, cy);
    Canvas->LineTo(cx, cy + 4);
    Canvas->LineTo(cx - 4, cy);
    Canvas->LineTo(cx, cy - 4);
  }
  pen->SetMode(pmCopy);
}

void TCorvexVect::CopyObjectsToBack() {
  const bool hidden = AllHidden_;
  AllHidden_ = false;
  DrawObjects(Bitmap_->GetCanvas(), false);
  AllHidden_ = hidden;
  Bitmap_->SetModified(true);
  Update();
}

}  // namespace corvex
