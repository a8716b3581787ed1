// Drawing pieces shared by the widgets, in the system colours of a plain desktop theme.
#include "corvex/platform/ui/widgets_pvt.h"

#include <algorithm>

#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex::widgets_pvt {

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  if (R.IsEmpty()) return;
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(Color);
  C->FillRect(R);
}

void Frame3D(TCanvas* C, TRect& R, TColor TopLeft, TColor BottomRight, int Width) {
  for (int i = 0; i < Width && !R.IsEmpty(); ++i) {
    Fill(C, Rect(R.Left, R.Top, R.Right - 1, R.Top + 1), TopLeft);
    Fill(C, Rect(R.Left, R.Top, R.Left + 1, R.Bottom - 1), TopLeft);
    Fill(C, Rect(R.Left, R.Bottom - 1, R.Right, R.Bottom), BottomRight);
    Fill(C, Rect(R.Right - 1, R.Top, R.Right, R.Bottom), BottomRight);
    R = Rect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
  }
}

void RaisedFace(TCanvas* C, const TRect& R) {
  TRect r = R;
  Fill(C, r, clBtnFace);
  Frame3D(C, r, cl3DLight, cl3DDkShadow, 1);
  Frame3D(C, r, clBtnHighlight, clBtnShadow, 1);
}

void SunkenEdge(TCanvas* C, TRect& R) {
  Frame3D(C, R, clBtnShadow, clBtnHighlight, 1);
  Frame3D(C, R, cl3DDkShadow, cl3DLight, 1);
}

void FocusRect(TCanvas* C, const TRect& R) {
  if (R.Width() < 2 || R.Height() < 2) return;
  auto invert = [C](int x, int y) {
    const TColor c = C->GetPixels(x, y);
    if (c != CLR_INVALID) C->SetPixels(x, y, c ^ 0xFFFFFF);
  };
  // Every other pixel along the outline, walking round it once so that the phase runs on.
  int k = 0;
  for (int x = R.Left; x < R.Right - 1; ++x, ++k)
    if ((k & 1) == 0) invert(x, R.Top);
  for (int y = R.Top; y < R.Bottom - 1; ++y, ++k)
    if ((k & 1) == 0) invert(R.Right - 1, y);
  for (int x = R.Right - 1; x > R.Left; --x, ++k)
    if ((k & 1) == 0) invert(x, R.Bottom - 1);
  for (int y = R.Bottom - 1; y > R.Top; --y, ++k)
    if ((k & 1) == 0) invert(R.Left, y);
}

void DrawCaption(TCanvas* C, TRect R, const std::string& Text, TTextFormat Format, bool Enabled, TColor Color) {
  if (Text.empty()) return;
  C->GetBrush()->SetStyle(bsClear);
  std::string text = Text;
  const TColor saved = C->GetFont()->GetColor();
  if (!Enabled) {
    TRect shadow = OffsetRect(R, 1, 1);
    C->GetFont()->SetColor(clBtnHighlight);
    C->TextRect(shadow, text, Format);
    C->GetFont()->SetColor(clGrayText);
  } else {
    C->GetFont()->SetColor(Color);
  }
  C->TextRect(R, text, Format);
  C->GetFont()->SetColor(saved);
  C->GetBrush()->SetStyle(bsSolid);
}

TSize CaptionExtent(TCanvas* C, const std::string& Text) { return C->TextExtent(StripHotkey(Text)); }

void Arrow(TCanvas* C, const TRect& R, int Dir, TColor Color) {
  const int size = std::max(2, (std::min(R.Width(), R.Height()) + 2) / 3);
  const int cx = R.Left + (R.Width() - 1) / 2, cy = R.Top + (R.Height() - 1) / 2;
  const int half = size / 2;
  for (int i = 0; i < size; ++i) {
    const int len = size - 1 - i;  // half-width of this row of the triangle, tip last
    switch (Dir) {
      case 0: Fill(C, Rect(cx - len, cy + half - i, cx + len + 1, cy + half - i + 1), Color); break;
      case 1: Fill(C, Rect(cx - len, cy - half + i, cx + len + 1, cy - half + i + 1), Color); break;
      case 2: Fill(C, Rect(cx + half - i, cy - len, cx + half - i + 1, cy + len + 1), Color); break;
      default: Fill(C, Rect(cx - half + i, cy - len, cx - half + i + 1, cy + len + 1), Color); break;
    }
  }
}

int CheckSize() { return ScaleToScreen(13); }

void CheckBox(TCanvas* C, const TRect& R, int State, bool Enabled, bool Pushed) {
  TRect r = R;
  SunkenEdge(C, r);
  Fill(C, r, Pushed || !Enabled || State == 2 ? clBtnFace : clWindow);
  if (State == 0) return;
  // The tick: a 7 x 7 stroke (at 96 dpi) three pixels thick, scaled with the box.
  const TColor mark = !Enabled || State == 2 ? clGrayText : clWindowText;
  const int s = std::max(1, r.Width());
  const int w = std::max(1, s / 9);  // thickness per step
  const int x0 = r.Left + (s * 2) / 9, y0 = r.Top + (s * 4) / 9;
  const int down = std::max(2, (s * 2) / 9), up = std::max(3, (s * 4) / 9);
  for (int i = 0; i <= down; ++i) Fill(C, Rect(x0 + i * w, y0 + i * w, x0 + (i + 1) * w, y0 + i * w + 3 * w), mark);
  const int xm = x0 + (down + 1) * w, ym = y0 + down * w;
  for (int i = 1; i <= up; ++i)
    Fill(C, Rect(xm + (i - 1) * w, ym - i * w, xm + i * w, ym - i * w + 3 * w), mark);
}

void RadioCircle(TCanvas* C, const TRect& R, bool Checked, bool Enabled, bool Pushed) {
  C->GetPen()->SetStyle(psSolid);
  C->GetPen()->SetWidth(1);
  C->GetPen()->SetMode(pmCopy);
  C->GetBrush()->SetStyle(bsSolid);
  // Outer ring: shadow above-left, highlight below-right, as the sunken edge.
  C->GetPen()->SetColor(clBtnShadow);
  C->GetBrush()->SetColor(clBtnHighlight);
  C->Ellipse(R);
  C->GetPen()->SetColor(cl3DDkShadow);
  C->GetBrush()->SetColor(Pushed || !Enabled ? clBtnFace : clWindow);
  C->Ellipse(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
  // Repaint the lower-right half of the inner ring light, as the desktop draws it.
  C->GetPen()->SetColor(cl3DLight);
  C->Arc(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1, R.Left, R.Bottom, R.Right, R.Top);
  if (Checked) {
    const int d = std::max(2, (R.Width() * 5 + 6) / 13);
    const int x = R.Left + (R.Width() - d) / 2, y = R.Top + (R.Height() - d) / 2;
    const TColor dot = Enabled ? clWindowText : clGrayText;
    C->GetPen()->SetColor(dot);
    C->GetBrush()->SetColor(dot);
    C->Ellipse(x, y, x + d, y + d);
  }
  C->GetBrush()->SetStyle(bsSolid);
}

int LineHeight(const TControl* Control) {
  TCanvas measure;
  measure.SetFont(const_cast<TControl*>(Control)->GetFont());
  return measure.TextHeight(std::string());
}

namespace {
unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
}  // namespace

int CompareText(const std::string& A, const std::string& B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char a = Fold(static_cast<unsigned char>(A[i])), b = Fold(static_cast<unsigned char>(B[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
}

bool StartsWithText(const std::string& S, const std::string& Prefix) {
  return S.size() >= Prefix.size() && CompareText(S.substr(0, Prefix.size()), Prefix) == 0;
}

bool HoldsFocus(const TWinControl* Control) {
  for (const TWinControl* f = Application().GetFocusedControl(); f != nullptr; f = f->GetParent())
    if (f == Control) return true;
  return false;
}

}  // namespace corvex::widgets_pvt
