// The vector layer's objects: handles, the bitmap pool, order, selection, copies and measures.
#include <gtest/gtest.h>

#include "corvex/platform/graphics/stockicons.h"
#include "corvex/view/CXVect.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::NewTwoToneView;
using testing_support::UiHarness;

TEST(VectObjects, HandlesSurviveRemovalAndBadHandlesAreIgnored) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  const int a = v->AddNewObject(), b = v->AddNewObject(), c = v->AddNewObject();
  v->SetObjName(b, "b");
  v->SetObjName(c, "c");
  v->RemoveObject(a);
  EXPECT_EQ(v->GetObjectsCount(), 2);
  EXPECT_EQ(v->GetObjName(b), "b");
  EXPECT_EQ(v->GetObjName(c), "c");
  EXPECT_EQ(v->GetObjFromName("c"), c);
  v->RemoveObject(c);  // the last slot: the storage shrinks, the next object takes that slot
  EXPECT_EQ(v->AddNewObject(), c);
  for (int h : {kVectAll, kVectNone, a, 99}) {
    v->SetObjRect(h, Rect(1, 2, 3, 4));
    v->SetObjText(h, "x");
    v->SetObjBitmap(h, v->GetBitmap(0));
    EXPECT_EQ(v->GetObjRect(h), TRect{});
  }
  // Template defaults.
  EXPECT_EQ(v->GetObjRect(kVectTemplate), Rect(0, 0, 63, 63));
  EXPECT_EQ(v->GetObjFontName(kVectTemplate), "Arial");
  ASSERT_NE(v->GetObjBitmap(kVectTemplate), nullptr);
  EXPECT_EQ(v->GetObjBitmap(kVectTemplate)->GetWidth(), 64);
}

TEST(VectObjects, PoolSharesAndPacks) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  TBitmap img(8, 8, pf24bit), other(8, 8, pf24bit), wide(16, 4, pf24bit);
  other.GetCanvas()->SetPixels(3, 3, clRed);
  std::vector<int> hs;
  for (int i = 0; i < 10; ++i) {
    hs.push_back(v->AddNewObject());
    v->SetObjBitmap(hs.back(), &img);
  }
  const int e = v->FindBitmap(&img);
  EXPECT_EQ(v->GetBitmapRefCount(e), 10);
  EXPECT_EQ(v->GetBitmapCount(), 2);  // the template's icon and the shared one
  v->SetObjBitmap(hs[0], &other);
  v->SetObjBitmap(hs[1], &wide);
  EXPECT_EQ(v->GetBitmapCount(), 4);
  v->SetObjBitmap(hs[0], nullptr);  // the entry of `other` is freed
  EXPECT_EQ(v->FindBitmap(&other), -1);
  v->PackBMP();
  EXPECT_EQ(v->GetBitmapCount(), 3);
  EXPECT_EQ(v->GetBitmapRefCount(v->FindBitmap(&img)), 8);
  ASSERT_NE(v->GetObjBitmap(hs[1]), nullptr);
  EXPECT_EQ(v->GetObjBitmap(hs[1])->GetWidth(), 16);
  EXPECT_EQ(v->GetObjBitmap(kVectTemplate)->GetWidth(), 64);

  // Stock icons at the asked size, each its own picture: the centre of the error disc is red, the
  // warning triangle's yellow shows below its mark, the information disc is blue.
  const int ico = v->AddNewObject();
  const struct {
    int id, x, y;
    TColor color;
  } icons[] = {{IDI_ERROR, 16, 6, TColor(0x0000E0)}, {IDI_WARNING, 16, 26, TColor(0x00D8FF)},
               {IDI_INFORMATION, 6, 16, TColor(0xD07020)}};
  for (const auto& t : icons) {
    v->SetObjBitmapICO(ico, t.id, 32, 32);
    TBitmap* b = v->GetObjBitmap(ico);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetWidth(), 32);
    EXPECT_EQ(b->GetCanvas()->GetPixels(t.x, t.y), t.color) << t.id;
  }
  v->SetObjBitmapICO(ico, IDI_ERROR, 0, 32);  // no such size: the object keeps its bitmap
  EXPECT_EQ(v->GetObjBitmap(ico)->GetWidth(), 32);
}

TEST(VectObjects, OrderSelectionAndCopies) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  auto* w = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  const int a = v->AddNewObject(), b = v->AddNewObject(), c = v->AddNewObject();
  v->SetObjID(a, 7);
  v->SetObjID(c, 7);
  EXPECT_EQ(v->GetObjFromID(7), c);
  v->SetObjFrontOf(a, -1);
  EXPECT_EQ(v->ZOrder(), (std::vector<int>{b, c, a}));
  EXPECT_EQ(v->GetObjFromID(7), a);
  v->SetObjBackTo(a, c);
  EXPECT_EQ(v->ZOrder(), (std::vector<int>{b, a, c}));
  v->SetObjBackTo(c, -1);
  EXPECT_EQ(v->GetObjPos(c), 0);
  v->SetObjRect(b, Rect(-1, 0, 10, 10));
  v->SelAllObjects();
  EXPECT_EQ(v->GetSelObjectsCount(), 2);
  EXPECT_FALSE(v->IsSelObject(b));
  v->UnSelAllObjects();
  v->SelInRect(kVectAll, 0, 0, 63, 63);
  EXPECT_EQ(v->GetSelObjectsCount(), 2);
  TBitmap img(4, 4, pf24bit);
  v->SetObjBitmap(a, &img);
  v->CopyAllObjectsTo(w);
  EXPECT_EQ(w->GetObjectsCount(), 3);
  EXPECT_NE(w->FindBitmap(&img), -1);  // in the target's own pool
  v->CopyAllObjectsTo(v);               // onto itself: ends, doubling the objects
  EXPECT_EQ(v->GetObjectsCount(), 6);
  EXPECT_EQ(v->GetBitmapRefCount(v->FindBitmap(&img)), 2);
  w->Assign(nullptr);
  EXPECT_EQ(w->GetObjectsCount(), 0);
  w->Assign(v);
  EXPECT_EQ(w->GetObjectsCount(), 6);
}

TEST(VectObjects, Measures) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 200, 200, 100, 100);
  v->SetSelectionBase(cxsbBitmap);
  v->AddSelPoint(0, 0);
  v->AddSelPoint(3, 0);
  v->AddSelPoint(0, 4);
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 12.0);
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 6.0);
  EXPECT_EQ(v->GetSelectionCentroid(), (TPoint{1, 1}));
  v->SetDPIX(254);
  v->SetDPIY(254);
  v->SetMUnit(cxuCENTIMETERS);
  v->SetScaleFromPixels(100, 2.5);
  EXPECT_NEAR(v->GetCoefX(), 0.025, 1e-12);
  EXPECT_EQ(v->MeasureText(100 * v->GetCoefX(), false), "2.50 CM");
  EXPECT_EQ(v->MeasureText(1.5, true), "1.50 CM\xC2\xB2");
  const double s = v->GetScale();
  v->SetScale(0);
  v->SetScale(-3);
  EXPECT_EQ(v->GetScale(), s);
}

}  // namespace
}  // namespace corvex
