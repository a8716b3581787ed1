// Helpers shared by the view tests: a view of a two-tone image on a harness form.
#pragma once

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/ui_harness.h"

namespace corvex::testing_support {

// A borderless view (class V) of a W x H image, left half Left and right half Right, in a
// CW x CH client, on a new form of the harness.
template <class V = TCorvexView>
V* NewTwoToneView(UiHarness& ui, int CW, int CH, int W, int H, TColor Left = clWhite, TColor Right = clWhite) {
  TForm* form = ui.NewForm(CW + 100, CH + 100);
  auto* v = new V(form);
  v->SetParent(form);
  v->SetBorderStyle(bsNone);
  v->SetBounds(0, 0, CW, CH);
  TBitmap img(W, H, pf24bit);
  img.GetCanvas()->GetBrush()->SetColor(Left);
  img.GetCanvas()->FillRect(Rect(0, 0, W / 2, H));
  img.GetCanvas()->GetBrush()->SetColor(Right);
  img.GetCanvas()->FillRect(Rect(W / 2, 0, W, H));
  v->Assign(&img);
  ui.Pump();
  return v;
}

// The selection's bounding box.
inline TRect SelectionBox(const TCorvexView* v) {
  return Rect(v->GetSelX1(), v->GetSelY1(), v->GetSelX2(), v->GetSelY2());
}

}  // namespace corvex::testing_support
