// The view's selection and animated polygons: the edge cases of Select, markers and handles,
// grips whatever the point order, the magic wand, copies of the selected region, and the
// marching ants' pixels before and after a tick of the animation timer.
// Set CORVEX_VIEW_PNG to a folder to get a PNG of a view with a selection and its grips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/ui_harness.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

TCorvexView* NewView(UiHarness& ui, int CW, int CH, int W, int H, TColor Left = clWhite, TColor Right = clWhite) {
  return testing_support::NewTwoToneView(ui, CW, CH, W, H, Left, Right);
}

TRect Box(const TCorvexView* v) { return testing_support::SelectionBox(v); }
constexpr TPoint kBreak{CXSelBreak, CXSelBreak};

TEST(ViewSelect, EdgeCasesOfSelectMarkersAndHandles) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 150, 640, 480);
  const int sel = v->SelectionHandle();

  v->Select(10, 10, 10, 50);  // zero width
  EXPECT_FALSE(v->GetSelected());
  EXPECT_EQ(v->GetPolySelCount(), 0);
  v->Select(-20, -20, 5000, 5000);  // client points beyond the image on every side
  EXPECT_EQ(Box(v), Rect(0, 0, 640, 480));
  EXPECT_EQ(v->GetPolySelCount(), 4);
  v->Select(-50, -50, -10, -10, cxspAdd);  // nothing of it on the image: adds nothing
  EXPECT_EQ(v->GetPolySelCount(), 4);
  v->Select(-50, -50, -10, -10);  // ... and replaces with nothing
  EXPECT_FALSE(v->GetSelected());
  EXPECT_EQ(v->GetPolySelCount(), 0);

  v->SetSelectionBase(cxsbBitmap);
  v->Select(10, 10, 50, 40);
  v->Select(60, 60, 90, 80, cxspAdd);
  ASSERT_EQ(v->GetPolySelCount(), 9);
  EXPECT_EQ(v->GetPolySel(4), kBreak);
  EXPECT_EQ(v->GetPolySel(5), (TPoint{60, 60}));
  EXPECT_EQ(v->GetPolySel(9), (TPoint{0, 0}));
  EXPECT_EQ(v->GetPolySel(-1), (TPoint{0, 0}));
  EXPECT_EQ(Box(v), Rect(10, 10, 90, 80));
  EXPECT_FALSE(_IsRectangle(v->GetPolySelArray(), v->GetPolySelCount()));
  EXPECT_EQ(v->GetResizingGrip(10, 10), -1);  // two rectangles: no grips
  EXPECT_EQ(v->SelectResizeEx(2, 100, 100), 2);
  EXPECT_EQ(v->GetPolySelCount(), 9);

  v->AddSelBreak();
  v->AddSelBreak();  // one marker only
  EXPECT_EQ(v->GetPolySelCount(), 10);
  v->AnimPolygonRemoveLast(sel);  // the empty last sub-polygon: its marker
  EXPECT_EQ(v->GetPolySelCount(), 9);
  v->AnimPolygonRemoveLast(sel);  // the second rectangle with its marker; the box follows
  EXPECT_EQ(v->GetPolySelCount(), 4);
  EXPECT_EQ(Box(v), Rect(10, 10, 50, 40));
  v->AnimPolygonRemoveLast(sel);  // no marker left: emptied
  EXPECT_EQ(v->GetPolySelCount(), 0);
  EXPECT_FALSE(v->GetSelected());
  v->AnimPolygonRemoveLastPoint(sel);  // on an empty polygon: nothing
  v->AddSelBreak();                    // a marker never leads
  EXPECT_EQ(v->GetPolySelCount(), 0);

  // Selected means "holds points"; the box is that of the real points, even of a single one.
  v->AddSelPoint(7, 9);
  EXPECT_TRUE(v->GetSelected());
  EXPECT_EQ(Box(v), Rect(7, 9, 7, 9));
  v->AnimPolygonRemoveLastPoint(sel);
  EXPECT_FALSE(v->GetSelected());
  EXPECT_EQ(Box(v), Rect(0, 0, 0, 0));

  // Handles are checked ids; the selection polygon cannot be deleted.
  v->AnimPolygonDel(sel);
  EXPECT_NE(v->AnimPolygon(sel), nullptr);
  const int h = v->AnimPolygonNew(clRed, clBlue, false, false);
  EXPECT_NE(h, 0);
  EXPECT_NE(h, sel);
  v->AnimPolygonAddPtEx(h, 1, 2);
  EXPECT_FALSE(v->GetSelected());  // another polygon's points are no selection
  v->AnimPolygonDel(h);
  EXPECT_EQ(v->AnimPolygon(h), nullptr);
  v->AnimPolygonAddPt(h, 3, 4);  // stale: nothing
  EXPECT_EQ(v->AnimPolygon(0), nullptr);
  EXPECT_NE(v->AnimPolygonNew(clRed, clBlue, true, true), h);
}

TEST(ViewSelect, GripsNameTheBoxWhateverThePointOrder) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 150, 640, 480);
  v->SetSelectionBase(cxsbBitmap);
  for (TPoint p : {TPoint{100, 80}, TPoint{40, 80}, TPoint{40, 20}, TPoint{100, 20}}) v->AddSelPoint(p.X, p.Y);
  ASSERT_TRUE(_IsRectangle(v->GetPolySelArray(), 4));
  const struct {
    int x, y, grip;
  } hits[] = {{40, 20, 0}, {102, 18, 1}, {100, 80, 2}, {40, 80, 3}, {41, 50, 4},
              {100, 50, 5}, {70, 22, 6}, {70, 80, 7}, {70, 50, -1}, {150, 50, -1}};
  for (const auto& t : hits) EXPECT_EQ(v->GetResizingGrip(t.x, t.y), t.grip) << t.x << "," << t.y;
  EXPECT_EQ(v->GetMovingGrip(70, 50), 0);
  EXPECT_EQ(v->GetMovingGrip(150, 50), -1);

  EXPECT_EQ(v->SelectResizeEx(0, 30, 10), 0);  // the top-left corner, though it was point 2
  EXPECT_EQ(Box(v), Rect(30, 10, 100, 80));
  EXPECT_EQ(v->SelectResizeEx(5, 10, 50), 4);  // right edge dragged past the left one
  EXPECT_EQ(Box(v), Rect(10, 10, 30, 80));
  EXPECT_EQ(v->GetPolySel(0), (TPoint{10, 10}));
  EXPECT_EQ(v->SelectResizeEx(4, 5, 50), 4);
  EXPECT_EQ(Box(v), Rect(5, 10, 30, 80));
  EXPECT_EQ(v->SelectResizeEx(7, 20, 0), 6);  // bottom edge dragged above the top
  EXPECT_EQ(Box(v), Rect(5, 0, 30, 10));
  EXPECT_EQ(v->SelectResizeEx(6, 20, 10), 6);  // onto the other edge: one pixel stays
  EXPECT_EQ(Box(v), Rect(5, 9, 30, 10));

  EXPECT_EQ(v->GetMovingGrip(10, 9), 0);
  EXPECT_EQ(v->SelectMoveEx(0, 620, 5), 0);  // pushed against the right edge: it shrinks
  EXPECT_EQ(Box(v), Rect(625, 14, 640, 15));
  v->SetSelectionOptions({cxsoAnimated, cxsoSizeable});
  EXPECT_EQ(v->GetMovingGrip(630, 14), -1);  // moving switched off
}

TEST(ViewSelect, MagicWandAndCopiesOfTheSelectedRegion) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 150, 640, 480, clRed, clBlue);
  v->SetSelectionBase(cxsbBitmap);
  v->SelectMagicWand(100, 100);
  EXPECT_TRUE(v->GetSelected());
  EXPECT_EQ(Box(v), Rect(0, 0, 320, 480));
  const int n = v->GetPolySelCount();
  for (TPoint p : {TPoint{-1, 5}, TPoint{640, 5}, TPoint{5, 480}}) {
    v->SelectMagicWand(p.X, p.Y);  // outside the image: refused
    EXPECT_EQ(v->GetPolySelCount(), n);
  }
  v->SelectMagicWand(400, 100, cxspAdd);
  EXPECT_EQ(Box(v), Rect(0, 0, 640, 480));
  EXPECT_EQ(v->GetPolySel(n), kBreak);

  // Client coordinates at 200 %: one pixel left of the image is outside, not pixel 0.
  v->SetSelectionBase(cxsbClientArea);
  v->SetZoom(200);
  v->SetViewXY(0, 0);
  v->DeSelect();
  v->SelectMagicWand(-1, 5);
  EXPECT_FALSE(v->GetSelected());
  v->SelectMagicWand(1, 5);
  EXPECT_EQ(Box(v), Rect(0, 0, 320, 480));

  v->SetSelectionBase(cxsbBitmap);
  v->Select(310, 10, 330, 40);
  TBitmap copy;
  v->AssignSelTo(&copy);
  ASSERT_EQ(copy.GetWidth(), 20);
  ASSERT_EQ(copy.GetHeight(), 30);
  EXPECT_EQ(copy.GetCanvas()->GetPixels(9, 0), clRed);
  EXPECT_EQ(copy.GetCanvas()->GetPixels(10, 29), clBlue);
  TCorvexView* other = NewView(ui, 50, 50, 1, 1);
  v->SetBackGround(clYellow);
  v->Select(310, 10, 330, 40);
  v->AssignSelTo(other);
  EXPECT_EQ(other->GetBitmap()->GetWidth(), 20);
  EXPECT_EQ(other->GetBackground(), clYellow);
  v->AssignSelTo(v);  // cropping to itself
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 20);
  EXPECT_FALSE(v->GetSelected());  // the size changed
}

void SavePng(UiHarness& ui, TCorvexView* v, const std::string& Path) {
  TFileStream f(Path, fmCreate);
  TIOParamsVals params;
  TProgressRec prog;
  WritePNGStream(&f, ui.Pixels(v), params, prog);
}

// The ants at phase p: pixel i of the outline (counted from the first point) is Color1 when
// (p + i) mod 6 < 3.
TColor Ant(int Phase, int i) { return (Phase + i) % 6 < 3 ? clRed : clBlue; }

TEST(ViewSelect, MarchingAntsAndGripsPixels) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 150, 640, 480);
  v->SetSelColor1(clRed);
  v->SetSelColor2(clBlue);
  v->SetSelectionBase(cxsbBitmap);
  v->Select(20, 30, 80, 60);
  for (int phase = 0; phase < 2; ++phase) {
    for (int x = 24; x <= 76; ++x) ASSERT_EQ(ui.Pixel(v, x, 30), Ant(phase, x - 20)) << "top x " << x << " phase " << phase;
    for (int y = 34; y <= 56; ++y) ASSERT_EQ(ui.Pixel(v, 80, y), Ant(phase, 60 + y - 30)) << "right y " << y;
    for (int x = 76; x >= 24; --x) ASSERT_EQ(ui.Pixel(v, x, 60), Ant(phase, 90 + 80 - x)) << "bottom x " << x;
    ui.Advance(150);  // one tick: the pattern moves one pixel back along the outline
  }
  // Grips: 7 x 7 squares, outline Color1, inside Color2, at the four corners only.
  EXPECT_EQ(ui.Pixel(v, 17, 27), clRed);
  EXPECT_EQ(ui.Pixel(v, 23, 33), clRed);
  EXPECT_EQ(ui.Pixel(v, 20, 30), clBlue);
  EXPECT_EQ(ui.Pixel(v, 83, 63), clRed);
  EXPECT_EQ(ui.Pixel(v, 16, 30), clWhite);
  EXPECT_EQ(ui.Pixel(v, 50, 27), clWhite);

  if (const char* dir = std::getenv("CORVEX_VIEW_PNG")) {
    // A rectangle with its grips at 300 %, and a polygon with a second sub-polygon beside it.
    TCorvexView* z = NewView(ui, 240, 180, 80, 60, clYellow, clAqua);
    z->SetZoom(300);
    z->SetViewXY(0, 0);
    z->SetSelectionBase(cxsbBitmap);
    z->Select(10, 10, 60, 40);
    ui.Advance(150);
    SavePng(ui, z, std::string(dir) + "/selection_grips.png");
    z->DeSelect();
    for (TPoint p : {TPoint{5, 5}, TPoint{35, 12}, TPoint{20, 40}}) z->AddSelPoint(p.X, p.Y);
    z->Select(45, 20, 70, 50, cxspAdd);
    ui.Advance(150);
    SavePng(ui, z, std::string(dir) + "/selection_polygons.png");
  }

  // A polygon that is not a rectangle has no grips; its closing edge is drawn.
  v->DeSelect();
  EXPECT_EQ(ui.Pixel(v, 30, 30), clWhite);  // hidden with a repaint
  for (TPoint p : {TPoint{20, 30}, TPoint{80, 30}, TPoint{80, 60}, TPoint{20, 40}}) v->AddSelPoint(p.X, p.Y);
  EXPECT_EQ(ui.Pixel(v, 17, 27), clWhite);
  // The closing edge (20, 40) -> (20, 30) follows 60 + 30 + 60 pixels of outline.
  EXPECT_EQ(ui.Pixel(v, 20, 35), Ant(v->AnimPolygon(v->SelectionHandle())->Phase, 150 + 5));
  v->SetVisibleSelection(false);
  EXPECT_EQ(ui.Pixel(v, 30, 30), clWhite);

  // An edge two million pixels long is walked only where it crosses the client, the dash
  // continuing as if it had been walked whole.
  v->DeSelect();
  for (TPoint p : {TPoint{-1000000, 100}, TPoint{1000000, 100}, TPoint{0, 140}}) v->AddSelPoint(p.X, p.Y);
  const int phase = v->AnimPolygon(v->SelectionHandle())->Phase;
  for (int x = 0; x < 200; ++x) ASSERT_EQ(ui.Pixel(v, x, 100), Ant(phase, x + 1000000)) << x;
}

}  // namespace
}  // namespace corvex
