// The view's mouse modes driven through the window harness: the reductions of MouseInteract,
// the zoom ladder, the zoom filter around presses, a capture lost in the middle of a drag,
// rectangles, polygons by clicks and by dragging, ellipses, grips and their cursors, auto-scroll
// (one paint per step) and the magic wand.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/ui_harness.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

// A view that counts its paints and notes the screen cursor while painting.
class View : public TCorvexView {
 public:
  using TCorvexView::TCorvexView;
  int paints = 0;
  std::vector<TCursor> screenCursors;
  int changing = 0, change = 0;
  void Changing(TObject*) { ++changing; }
  void Change(TObject*) { ++change; }

 protected:
  void Paint() override {
    if (GetPaintLock() == 0) ++paints;  // a paint that draws
    screenCursors.push_back(Screen().GetCursor());
    TCorvexView::Paint();
  }
};

// A borderless view of a W x H image (left half Left, right half Right) in a CW x CH client,
// counting its selection events.
View* NewView(UiHarness& ui, int CW, int CH, int W, int H, TColor Left = clWhite, TColor Right = clWhite) {
  View* v = testing_support::NewTwoToneView<View>(ui, CW, CH, W, H, Left, Right);
  v->OnSelectionChanging = TNotifyEvent(v, &View::Changing);
  v->OnSelectionChange = TNotifyEvent(v, &View::Change);
  return v;
}

TRect Box(const TCorvexView* v) { return testing_support::SelectionBox(v); }

TEST(ViewMouse, MouseInteractReductions) {
  UiHarness ui;
  View* v = NewView(ui, 100, 100, 10, 10);
  using S = TCXMouseInteractItems;
  const struct {
    S from;
    TCXMouseInteractItem add;
    S want;
  } table[] = {
      {{miScroll}, miSelect, {miSelect}},
      {{miZoom}, miScroll, {miZoom, miScroll}},
      {{miZoom, miSelect}, miSelectPolygon, {miSelectPolygon}},
      {{miSelectPolygon}, miZoom, {miZoom}},
      {{miZoom}, miSelectZoom, {miZoom, miSelectZoom}},
      {{miZoom, miScroll}, miSelectMagicWand, {miSelectMagicWand}},
      {{miSelect}, miZoom, {miZoom, miSelect}},
      {{miZoom, miSelect}, miSelectCircle, {miSelectCircle}},
  };
  for (const auto& t : table) {
    v->SetMouseInteract(t.from);
    ASSERT_EQ(v->GetMouseInteract(), t.from);
    v->SetMouseInteract(t.from + S{t.add});
    EXPECT_TRUE(v->GetMouseInteract() == t.want) << "adding item " << int(t.add);
  }
}

TEST(ViewMouse, ZoomClicksAndTheZoomFilter) {
  UiHarness ui;
  View* v = NewView(ui, 200, 150, 640, 480);
  v->SetMouseInteract({miZoom});
  const struct {
    int from;
    TMouseButton button;
    int want;
  } ladder[] = {{33, mbLeft, 50}, {150, mbLeft, 250}, {150, mbRight, 100}, {2, mbRight, 2},
                {1, mbLeft, 2},   {75, mbLeft, 100},  {100, mbRight, 75},  {200, mbRight, 100}};
  for (const auto& t : ladder) {
    v->SetZoom(t.from);
    ui.Advance(600);  // no double clicks
    ui.Click(v, 3, 3, t.button);  // inside the image at every zoom of the table
    EXPECT_EQ(v->GetZoom(), t.want) << t.from;
  }

  // The filter is off from a left press to its release; a right click never touches it.
  v->SetZoom(100);
  v->SetZoomFilter(rfTriangle);
  ui.Advance(600);
  ui.Press(v, 100, 75, mbRight);
  EXPECT_EQ(v->GetZoomFilter(), rfTriangle);
  ui.ReleaseAt(v, 100, 75, mbRight);
  EXPECT_EQ(v->GetZoomFilter(), rfTriangle);
  EXPECT_EQ(v->GetZoom(), 75);
  ui.Advance(600);
  ui.Press(v, 100, 75);
  EXPECT_EQ(v->GetZoomFilter(), rfNone);
  ui.ReleaseAt(v, 100, 75);
  EXPECT_EQ(v->GetZoomFilter(), rfTriangle);
  EXPECT_EQ(v->GetZoom(), 100);

  // A press whose release goes elsewhere: the filter comes back and nothing stays in progress;
  // the stray release does not zoom.
  v->SetMouseInteract({miZoom, miSelect});
  ui.Advance(600);
  ui.Press(v, 100, 75);
  ASSERT_TRUE(v->RectangleInProgress());
  Application().SetCaptureControl(nullptr);
  EXPECT_EQ(v->GetZoomFilter(), rfTriangle);
  EXPECT_FALSE(v->RectangleInProgress());
  ui.ReleaseAt(v, 100, 75);
  EXPECT_EQ(v->GetZoom(), 100);

  // A zoom click with the selection mode on zooms and leaves no rectangle in progress.
  ui.Advance(600);
  ui.Click(v, 100, 75);
  EXPECT_EQ(v->GetZoom(), 200);
  EXPECT_FALSE(v->RectangleInProgress());

  // Beside a centred small image the press is pulled onto the image and the release is not.
  View* small = NewView(ui, 200, 150, 50, 40);
  small->SetCenter(true);
  small->SetMouseInteract({miZoom});
  ASSERT_EQ(small->GetOffsetX(), 75);
  ui.Advance(600);
  ui.Click(small, 10, 10);
  EXPECT_EQ(small->GetZoom(), 100);
  ui.Click(small, 100, 75);
  EXPECT_EQ(small->GetZoom(), 200);
}

TEST(ViewMouse, RectanglesGripsAndCursors) {
  UiHarness ui;
  View* v = NewView(ui, 200, 150, 640, 480);
  v->SetMouseInteract({miSelect});
  ui.Drag(v, 10, 10, 60, 40);
  EXPECT_EQ(Box(v), Rect(10, 10, 60, 40));
  EXPECT_EQ(v->change, 1);
  EXPECT_GE(v->changing, 4);
  EXPECT_FALSE(v->RectangleInProgress());

  // With Shift a further rectangle is added, its last position only.
  ui.Move(v, 100, 50, {ssShift});
  ui.Press(v, 100, 50, mbLeft, {ssShift});
  ui.Move(v, 120, 60, {ssShift});
  ui.Move(v, 130, 70, {ssShift});
  ui.ReleaseAt(v, 130, 70, mbLeft, {ssShift});
  ASSERT_EQ(v->GetPolySelCount(), 9);
  EXPECT_EQ(v->GetPolySel(5), (TPoint{100, 50}));
  EXPECT_EQ(v->GetPolySel(7), (TPoint{130, 70}));

  // One rectangle: the cursor tells the grip under the pointer.
  v->SetSelectionBase(cxsbBitmap);
  v->Select(50, 40, 150, 100);
  const struct {
    int x, y;
    TCursor cursor;
  } hover[] = {{50, 40, crCXSizeNWSE}, {150, 40, crCXSizeNESW}, {150, 100, crCXSizeNWSE}, {50, 100, crCXSizeNESW},
               {50, 70, crCXSizeWE},   {150, 70, crCXSizeWE},   {100, 40, crCXSizeNS},    {100, 100, crCXSizeNS},
               {100, 70, crCXSizeAll}, {180, 130, crCXCross2}};
  for (const auto& t : hover) {
    ui.Move(v, t.x, t.y);
    EXPECT_EQ(v->GetCursor(), t.cursor) << t.x << "," << t.y;
  }

  // Dragging the right edge past the left one; then moving the box.
  ui.Drag(v, 150, 70, 20, 70);
  EXPECT_EQ(Box(v), Rect(20, 40, 50, 100));
  ui.Advance(600);
  ui.Drag(v, 30, 70, 40, 75);
  EXPECT_EQ(Box(v), Rect(30, 45, 60, 105));
  EXPECT_EQ(v->GetPolySelCount(), 4);
}

TEST(ViewMouse, PolygonsByClicksDragsAndEllipses) {
  UiHarness ui;
  View* v = NewView(ui, 400, 300, 640, 480);
  v->SetSelColor1(clRed);
  v->SetSelColor2(clBlue);
  v->SetMouseInteract({miSelectPolygon});
  ui.Click(v, 10, 10);
  ui.Click(v, 60, 10);
  ui.Click(v, 60, 50);
  EXPECT_TRUE(v->PolygonInProgress());
  EXPECT_EQ(ui.Pixel(v, 60, 50), clWhite);  // open: no closing edge yet
  ui.Click(v, 60, 50);                      // the double click ends it at that vertex
  EXPECT_FALSE(v->PolygonInProgress());
  EXPECT_EQ(v->GetPolySelCount(), 3);
  EXPECT_EQ(v->change, 1);
  EXPECT_NE(ui.Pixel(v, 60, 50), clWhite);  // the closing edge starts there

  // Ctrl snaps to the horizontal and then to the diagonal.
  ui.Advance(600);
  ui.Click(v, 10, 10);
  ui.Click(v, 110, 30, mbLeft, {ssCtrl});
  ui.Click(v, 210, 100, mbLeft, {ssCtrl});
  EXPECT_EQ(v->GetPolySelCount(), 3);
  EXPECT_EQ(v->GetPolySel(1), (TPoint{110, 10}));
  EXPECT_EQ(v->GetPolySel(2), (TPoint{210, 110}));
  // Leaving the mode removes the last vertex, and two points enclose nothing.
  v->SetMouseInteract({});
  EXPECT_FALSE(v->PolygonInProgress());
  EXPECT_FALSE(v->GetSelected());

  // Freehand: a drag adds every position, clamped to the image; the polygon goes on after it.
  v->SetMouseInteract({miSelectPolygon});
  ui.Advance(600);
  ui.Move(v, 50, 50);
  ui.Press(v, 50, 50);
  ui.Move(v, 60, 55);
  ui.Move(v, 60, 55);
  ui.Move(v, -30, 60);
  ui.ReleaseAt(v, -30, 60);
  ASSERT_EQ(v->GetPolySelCount(), 3);
  EXPECT_EQ(v->GetPolySel(2), (TPoint{0, 60}));
  EXPECT_TRUE(v->PolygonInProgress());
  ui.DoubleClick(v, 20, 100);
  EXPECT_EQ(v->GetPolySelCount(), 4);
  EXPECT_FALSE(v->PolygonInProgress());

  // Ellipses: radii 0 and 40 give the minimum of 3 points; 40 and 40 give 62.
  v->SetMouseInteract({miSelectCircle});
  ui.Advance(600);
  ui.Drag(v, 100, 100, 100, 140);
  EXPECT_EQ(v->GetPolySelCount(), 3);
  EXPECT_FALSE(v->EllipseInProgress());
  ui.Advance(600);
  ui.Drag(v, 100, 100, 140, 140);
  EXPECT_EQ(v->GetPolySelCount(), 62);
  EXPECT_EQ(v->GetPolySel(0), (TPoint{140, 100}));
  EXPECT_EQ(Box(v), Rect(60, 60, 140, 139));
}

TEST(ViewMouse, AutoScrollPaintsOncePerStepAndTheMagicWand) {
  UiHarness ui;
  View* v = NewView(ui, 200, 150, 640, 480, clRed, clBlue);
  v->SetMouseInteract({miSelect});
  ui.Move(v, 100, 75);
  ui.Press(v, 100, 75);
  v->paints = 0;
  ui.Move(v, 250, 100);  // 51 pixels right of the image: one step
  EXPECT_EQ(v->GetViewX(), 51);
  EXPECT_EQ(v->paints, 1);
  EXPECT_EQ(Box(v), Rect(100, 75, 251, 100));
  std::vector<int> steps;
  for (int i = 0; i < 10; ++i) {
    v->paints = 0;
    ui.Advance(50);  // the button is held outside: the timer repeats the step
    steps.push_back(v->paints);
    if (v->GetViewX() == 440) break;
  }
  EXPECT_EQ(v->GetViewX(), 440);
  EXPECT_EQ(steps, std::vector<int>(steps.size(), 1));
  EXPECT_EQ(Box(v), Rect(100, 75, 640, 100));
  v->paints = 0;
  ui.Advance(200);  // at the edge: no more steps
  EXPECT_EQ(v->paints, 0);
  ui.ReleaseAt(v, 250, 100);
  EXPECT_EQ(v->change, 1);

  // The magic wand picks the region under a click, with the hourglass meanwhile.
  v->SetViewXY(0, 0);
  v->SetMouseInteract({miSelectMagicWand});
  v->screenCursors.clear();
  ui.Advance(600);
  ui.Click(v, 100, 75);
  EXPECT_EQ(Box(v), Rect(0, 0, 320, 480));
  EXPECT_NE(std::find(v->screenCursors.begin(), v->screenCursors.end(), crHourGlass), v->screenCursors.end());
  EXPECT_EQ(Screen().GetCursor(), crDefault);
  ui.Advance(600);
  v->SetViewXY(200, 0);
  ui.Click(v, 150, 75, mbLeft, {ssShift});  // the blue half added
  EXPECT_EQ(Box(v), Rect(0, 0, 640, 480));
}

}  // namespace
}  // namespace corvex
