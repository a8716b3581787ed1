// The frame of a window: its border (plain or the sunken 3-D edge) and its own scroll bars, drawn
// in the system colours like a plain desktop theme.
#include <algorithm>
#include <cstring>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/ui_pvt.h"

namespace corvex::ui_pvt {

void CopyPixels(const TBitmap* Src, const TRect& R, TBitmap* Dst, int X, int Y) {
  if (Src == nullptr || Dst == nullptr || Src->GetPixelFormat() != pf24bit || Dst->GetPixelFormat() != pf24bit) return;
  TRect s = IntersectRect(R, Rect(0, 0, Src->GetWidth(), Src->GetHeight()));
  if (s.IsEmpty()) return;
  // Move the destination with the cut source, then cut to the destination.
  X += s.Left - R.Left;
  Y += s.Top - R.Top;
  const TRect d = IntersectRect(Bounds(X, Y, s.Width(), s.Height()), Rect(0, 0, Dst->GetWidth(), Dst->GetHeight()));
  if (d.IsEmpty()) return;
  const int sx = s.Left + (d.Left - X), sy = s.Top + (d.Top - Y);
  const size_t bytes = size_t(d.Width()) * 3;
  for (int y = 0; y < d.Height(); ++y)
    std::memcpy(Dst->ScanLine(d.Top + y) + size_t(d.Left) * 3, Src->ScanLine(sy + y) + size_t(sx) * 3, bytes);
}

namespace {

void Fill(TCanvas& C, const TRect& R, TColor Color) {
  C.GetBrush()->SetStyle(bsSolid);
  C.GetBrush()->SetColor(Color);
  C.FillRect(R);
}

void HLine(TCanvas& C, int X1, int X2, int Y, TColor Color) { Fill(C, Rect(X1, Y, X2, Y + 1), Color); }
void VLine(TCanvas& C, int X, int Y1, int Y2, TColor Color) { Fill(C, Rect(X, Y1, X + 1, Y2), Color); }

// A raised button face: light top-left, dark bottom-right, two pixels deep.
void RaisedBox(TCanvas& C, const TRect& R) {
  if (R.IsEmpty()) return;
  Fill(C, R, clBtnFace);
  HLine(C, R.Left, R.Right - 1, R.Top, cl3DLight);
  VLine(C, R.Left, R.Top, R.Bottom - 1, cl3DLight);
  HLine(C, R.Left, R.Right, R.Bottom - 1, cl3DDkShadow);
  VLine(C, R.Right - 1, R.Top, R.Bottom, cl3DDkShadow);
  if (R.Width() > 2 && R.Height() > 2) {
    HLine(C, R.Left + 1, R.Right - 2, R.Top + 1, clBtnHighlight);
    VLine(C, R.Left + 1, R.Top + 1, R.Bottom - 2, clBtnHighlight);
    HLine(C, R.Left + 1, R.Right - 1, R.Bottom - 2, clBtnShadow);
    VLine(C, R.Right - 2, R.Top + 1, R.Bottom - 1, clBtnShadow);
  }
}

// A filled triangle pointing in Dir (0 up, 1 down, 2 left, 3 right) centred in R.
void Arrow(TCanvas& C, const TRect& R, int Dir, TColor Color) {
  const int size = std::max(2, std::min(R.Width(), R.Height()) / 4);
  const int cx = R.Left + R.Width() / 2, cy = R.Top + R.Height() / 2;
  for (int i = 0; i < size; ++i) {
    switch (Dir) {
      case 0: HLine(C, cx - i, cx + i + 1, cy - size / 2 + i, Color); break;
      case 1: HLine(C, cx - i, cx + i + 1, cy + size / 2 - i, Color); break;
      case 2: VLine(C, cx - size / 2 + i, cy - i, cy + i + 1, Color); break;
      default: VLine(C, cx + size / 2 - i, cy - i, cy + i + 1, Color); break;
    }
  }
}

}  // namespace

bool GetScrollBarParts(const TWinControl& W, int Bar, ScrollBarParts& P) {
  const TScrollBarState& s = W.ScrollBarState(Bar);
  if (!s.Visible) return false;
  const int b = W.BorderWidth(), t = ScrollBarThickness();
  const TRect client = W.GetClientRect();
  const bool vert = Bar == SB_VERT;
  if (vert) P.Bar = Bounds(b + client.Width(), b, t, client.Height());
  else P.Bar = Bounds(b, b + client.Height(), client.Width(), t);
  const int length = vert ? P.Bar.Height() : P.Bar.Width();
  const int arrow = std::min(t, length / 2);
  if (vert) {
    P.Arrow1 = Rect(P.Bar.Left, P.Bar.Top, P.Bar.Right, P.Bar.Top + arrow);
    P.Arrow2 = Rect(P.Bar.Left, P.Bar.Bottom - arrow, P.Bar.Right, P.Bar.Bottom);
    P.Track = Rect(P.Bar.Left, P.Arrow1.Bottom, P.Bar.Right, P.Arrow2.Top);
  } else {
    P.Arrow1 = Rect(P.Bar.Left, P.Bar.Top, P.Bar.Left + arrow, P.Bar.Bottom);
    P.Arrow2 = Rect(P.Bar.Right - arrow, P.Bar.Top, P.Bar.Right, P.Bar.Bottom);
    P.Track = Rect(P.Arrow1.Right, P.Bar.Top, P.Arrow2.Left, P.Bar.Bottom);
  }
  P.Thumb = P.Page1 = P.Page2 = TRect{};
  const int range = s.Max - s.Min + 1;
  const int track = vert ? P.Track.Height() : P.Track.Width();
  if (!s.Enabled || range <= 1 || s.Page >= range || track < 8) return true;
  int thumb = s.Page > 0 ? int(int64_t(track) * s.Page / range) : t;
  thumb = std::clamp(thumb, std::min(8, track), track);
  const int span = range - std::max(s.Page, 1);
  const int at = span > 0 ? int(int64_t(track - thumb) * (s.Pos - s.Min) / span) : 0;
  if (vert) {
    P.Thumb = Rect(P.Track.Left, P.Track.Top + at, P.Track.Right, P.Track.Top + at + thumb);
    P.Page1 = Rect(P.Track.Left, P.Track.Top, P.Track.Right, P.Thumb.Top);
    P.Page2 = Rect(P.Track.Left, P.Thumb.Bottom, P.Track.Right, P.Track.Bottom);
  } else {
    P.Thumb = Rect(P.Track.Left + at, P.Track.Top, P.Track.Left + at + thumb, P.Track.Bottom);
    P.Page1 = Rect(P.Track.Left, P.Track.Top, P.Thumb.Left, P.Track.Bottom);
    P.Page2 = Rect(P.Thumb.Right, P.Track.Top, P.Track.Right, P.Track.Bottom);
  }
  return true;
}

int ThumbPosition(const TWinControl& W, int Bar, int Offset) {
  ScrollBarParts p;
  if (!GetScrollBarParts(W, Bar, p) || p.Thumb.IsEmpty()) return W.GetScrollPos(Bar);
  const TScrollBarState& s = W.ScrollBarState(Bar);
  const bool vert = Bar == SB_VERT;
  const int track = vert ? p.Track.Height() : p.Track.Width();
  const int thumb = vert ? p.Thumb.Height() : p.Thumb.Width();
  const int span = s.Max - s.Min + 1 - std::max(s.Page, 1);
  if (track <= thumb) return s.Min;
  const int off = std::clamp(Offset, 0, track - thumb);
  return s.Min + int((int64_t(off) * span + (track - thumb) / 2) / (track - thumb));
}

void DrawFrame(TBitmap* Target, int X, int Y, const TWinControl& W) {
  TBitmap* t = Target;
  // Draw in a scratch of the window's size when it is not at the origin: the canvas has none.
  TBitmap scratch;
  const bool direct = X == 0 && Y == 0;
  if (!direct) {
    scratch.Allocate(W.GetWidth(), W.GetHeight(), pf24bit);
    t = &scratch;
  }
  TCanvas c(t);
  const int w = W.GetWidth(), h = W.GetHeight();
  const int b = W.BorderWidth();
  if (b == 1) {
    c.GetPen()->SetColor(clWindowFrame);
    c.GetBrush()->SetStyle(bsClear);
    c.Rectangle(0, 0, w, h);
  } else if (b == 2) {
    HLine(c, 0, w - 1, 0, clBtnShadow);
    VLine(c, 0, 0, h - 1, clBtnShadow);
    HLine(c, 0, w, h - 1, clBtnHighlight);
    VLine(c, w - 1, 0, h, clBtnHighlight);
    HLine(c, 1, w - 2, 1, cl3DDkShadow);
    VLine(c, 1, 1, h - 2, cl3DDkShadow);
    HLine(c, 1, w - 1, h - 2, cl3DLight);
    VLine(c, w - 2, 1, h - 1, cl3DLight);
  }
  ScrollBarParts p[2];
  const bool shown[2] = {GetScrollBarParts(W, SB_HORZ, p[0]), GetScrollBarParts(W, SB_VERT, p[1])};
  for (int k = 0; k < 2; ++k) {
    if (!shown[k]) continue;
    const TScrollBarState& s = W.ScrollBarState(k == 0 ? SB_HORZ : SB_VERT);
    Fill(c, p[k].Track, clScrollBar);
    RaisedBox(c, p[k].Arrow1);
    RaisedBox(c, p[k].Arrow2);
    const TColor glyph = s.Enabled ? clBtnText : clGrayText;
    Arrow(c, p[k].Arrow1, k == 1 ? 0 : 2, glyph);
    Arrow(c, p[k].Arrow2, k == 1 ? 1 : 3, glyph);
    RaisedBox(c, p[k].Thumb);
  }
  if (shown[0] && shown[1]) Fill(c, Rect(p[1].Bar.Left, p[0].Bar.Top, p[1].Bar.Right, p[0].Bar.Bottom), clBtnFace);
  if (!direct) {
    // Copy the frame only: the border ring and the bar areas.
    const TRect client = OffsetRect(W.GetClientRect(), b, b);
    const TRect parts[] = {Rect(0, 0, w, client.Top), Rect(0, client.Bottom, w, h), Rect(0, client.Top, client.Left, client.Bottom),
                           Rect(client.Right, client.Top, w, client.Bottom)};
    for (const TRect& r : parts) CopyPixels(&scratch, r, Target, X + r.Left, Y + r.Top);
  }
}

}  // namespace corvex::ui_pvt
