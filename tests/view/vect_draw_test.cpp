// The vector layer's drawing: objects at 100 % and 200 %, grips, merging into the bitmap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/streams/streams.h"

#include "corvex/view/CXVect.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::NewTwoToneView;
using testing_support::UiHarness;

TColor At(TCorvexVect* v, int x, int y) { return v->GetBackingBitmap()->GetCanvas()->GetPixels(x, y); }

void Paint(UiHarness& ui, TCorvexVect* v) {
  v->Invalidate();
  ui.Pump();
}

TEST(VectDraw, LineWithArrowAtTwoZooms) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  const int h = v->AddNewObject();
  v->SetObjKind(h, cxkLINE);
  v->SetObjRect(h, Rect(10, 50, 90, 50));
  v->SetObjPenColor(h, clBlack);
  v->SetObjPenWidth(h, 2);
  v->SetObjEndShape(h, cxsOUTARROW);
  Paint(ui, v);
  EXPECT_EQ(At(v, 50, 50), clBlack);
  EXPECT_EQ(At(v, 50, 53), clWhite);
  EXPECT_EQ(At(v, 70, 45), clBlack);  // the head's base: 20 back from the tip, 5 to the side
  v->SetZoom(200);
  Paint(ui, v);
  EXPECT_EQ(At(v, 100, 100), clBlack);
  EXPECT_EQ(At(v, 100, 102), clBlack);  // pen width 4 at 200 %
  EXPECT_EQ(At(v, 100, 107), clWhite);
  // A zero-length line with heads draws just its dot.
  v->SetObjRect(h, Rect(10, 10, 10, 10));
  v->SetObjBeginShape(h, cxsINARROW);
  Paint(ui, v);
}

TEST(VectDraw, ShapesGripsAndMergeMatchScreen) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 160, 160);
  const int box = v->AddNewObject();
  v->SetObjKind(box, cxkBOX);
  v->SetObjRect(box, Rect(10, 10, 29, 29));
  v->SetObjBrushStyle(box, bsSolid);
  v->SetObjBrushColor(box, clBlue);
  const int el = v->AddNewObject();
  v->SetObjKind(el, cxkELLIPSE);
  v->SetObjRect(el, Rect(40, 10, 79, 39));
  const int bm = v->AddNewObject();
  v->SetObjKind(bm, cxkBITMAP);
  v->SetObjRect(bm, Rect(90, 10, 121, 41));
  const int tx = v->AddNewObject();
  v->SetObjKind(tx, cxkTEXT);
  v->SetObjText(tx, "Corvex");
  v->SetObjRect(tx, Rect(10, 60, 100, 80));
  const int ar = v->AddNewObject();
  v->SetObjKind(ar, cxkARC);
  v->SetObjRect(ar, Rect(10, 90, 50, 130));
  v->SetObjEndAngle(ar, 3.14159);
  const int ru = v->AddNewObject();
  v->SetObjKind(ru, cxkRULER);
  v->SetObjRect(ru, Rect(60, 140, 150, 110));
  Paint(ui, v);
  EXPECT_EQ(At(v, 20, 20), clBlue);
  EXPECT_EQ(At(v, 10, 10), clBlack);
  EXPECT_EQ(At(v, 40, 25), clBlack);  // the ellipse's left end
  EXPECT_EQ(At(v, 97, 26), TColor(0x0000E0));  // the error icon's red disc
  TBitmap screen;
  screen.Assign(v->GetBackingBitmap());
  if (const char* dir = std::getenv("CORVEX_VIEW_PNG")) {
    TFileStream f(std::string(dir) + "/vect-objects.png", fmCreate);
    TIOParamsVals params;
    TProgressRec prog;
    WritePNGStream(&f, &screen, params, prog);
  }
  v->AddSelObject(box);
  Paint(ui, v);
  EXPECT_NE(At(v, 6, 10), screen.GetCanvas()->GetPixels(6, 10));
  v->UnSelAllObjects();
  v->CopyObjectsToBack();
  for (int y = 0; y < 160; y += 3)
    for (int x = 0; x < 160; x += 3)
      ASSERT_EQ(static_cast<TCorvexView*>(v)->GetBitmap()->GetCanvas()->GetPixels(x, y), screen.GetCanvas()->GetPixels(x, y)) << x << "," << y;
  // The 64-pixel icon resampled to the 32-pixel object: still the red disc, drawn twice from the cache.
  v->SetBitmapResampleFilter(rfTriangle);
  for (int i = 0; i < 2; ++i) {
    Paint(ui, v);
    EXPECT_GT(At(v, 97, 26) & 0xFF, 0xA0u);
    EXPECT_LT((At(v, 97, 26) >> 8) & 0xFF, 0x40u);
  }
}

}  // namespace
}  // namespace corvex
