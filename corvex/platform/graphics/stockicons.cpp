#include "corvex/platform/graphics/stockicons.h"

#include <algorithm>
#include <string>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/graphics/font.h"

namespace corvex {
namespace {

// A bold glyph centred in the rectangle, about two thirds of its height.
void Glyph(TCanvas* c, const TRect& r, const char* text, TColor color) {
  TFont* f = c->GetFont();
  f->SetName("DejaVu Sans");
  f->SetStyle({fsBold});
  f->SetColor(color);
  f->SetHeight(-std::max(1, (r.Bottom - r.Top) * 2 / 3));
  c->GetBrush()->SetStyle(bsClear);
  TRect box = r;
  std::string s = text;
  c->TextRect(box, s, {tfCenter, tfVerticalCenter, tfSingleLine});
  c->GetBrush()->SetStyle(bsSolid);
}

void Disc(TCanvas* c, int w, int h, TColor edge, TColor fill) {
  c->GetPen()->SetColor(edge);
  c->GetBrush()->SetColor(fill);
  c->Ellipse(w / 16, h / 16, w - w / 16, h - h / 16);
}

}  // namespace

bool DrawStockIcon(TBitmap& bmp, int IconId, int Width, int Height) {
  if (Width < 1 || Height < 1 || Width > 4096 || Height > 4096) return false;
  bmp.Allocate(Width, Height, pf24bit);
  TCanvas* c = bmp.GetCanvas();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, Width, Height));
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  const TRect inner = Rect(Width / 16, Height / 16, Width - Width / 16, Height - Height / 16);
  switch (IconId) {
    case IDI_HAND: {  // a red disc with a white cross
      Disc(c, Width, Height, TColor(0x0000C0), TColor(0x0000E0));
      c->GetPen()->SetColor(clWhite);
      c->GetPen()->SetWidth(std::max(1, std::min(Width, Height) / 10));
      const int ax = Width * 5 / 16, bx = Width - Width * 5 / 16, ay = Height * 5 / 16, by = Height - Height * 5 / 16;
      c->MoveTo(ax, ay);
      c->LineTo(bx, by);
      c->MoveTo(bx, ay);
      c->LineTo(ax, by);
      c->GetPen()->SetWidth(1);
      break;
    }
    case IDI_QUESTION:  // a blue disc with a white question mark
      Disc(c, Width, Height, TColor(0xA05000), TColor(0xD07020));
      Glyph(c, inner, "?", clWhite);
      break;
    case IDI_ASTERISK:  // a blue disc with a white i
      Disc(c, Width, Height, TColor(0xA05000), TColor(0xD07020));
      Glyph(c, inner, "i", clWhite);
      break;
    case IDI_EXCLAMATION: {  // a yellow triangle with a black exclamation mark
      const TPoint tri[3] = {Point(Width / 2, Height / 16), Point(Width - 1 - Width / 16, Height - 1 - Height / 16),
                             Point(Width / 16, Height - 1 - Height / 16)};
      c->GetPen()->SetColor(TColor(0x0090C0));
      c->GetBrush()->SetColor(TColor(0x00D8FF));
      c->Polygon(tri, 3);
      Glyph(c, Rect(inner.Left, inner.Top + Height / 6, inner.Right, inner.Bottom), "!", clBlack);
      break;
    }
    default: {  // a window: a title bar over a white client area
      c->GetPen()->SetColor(TColor(0x404040));
      c->GetBrush()->SetColor(clWhite);
      c->Rectangle(inner.Left, inner.Top + Height / 8, inner.Right, inner.Bottom - Height / 8);
      c->GetBrush()->SetColor(TColor(0x800000));
      c->Rectangle(inner.Left, inner.Top + Height / 8, inner.Right, inner.Top + Height / 8 + std::max(2, Height / 6));
      break;
    }
  }
  return true;
}

}  // namespace corvex
