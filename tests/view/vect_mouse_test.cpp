// The vector layer under the mouse, driven through the window harness: inserting objects by click
// and by drag (zoomed, Ctrl-snapped), picking and toggling objects, rubber selection, grip drags
// (a slow drag at 800 % included), the dragged length, the modes' interplay with the view's own,
// in-place text editing (typing, Enter, Escape, double click, F2) and the measure hint.
// Set CORVEX_VIEW_PNG to a folder to get a PNG of a view with selected objects and an edit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/view/CXHint.h"
#include "corvex/view/CXVect.h"
#include "tests/common/ui_harness.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

// What the view told.
struct Events {
  std::vector<int> created;
  int changed = 0, selected = 0;
  std::vector<double> dragLens;
  std::string rewrite;  // when set, OnMeasureHint replaces the text with it
  double hintValue = -1;
  void NewObject(TObject*, int h) { created.push_back(h); }
  void Changed(TObject*) { ++changed; }
  void SelectObject(TObject*) { ++selected; }
  void DragLenEnd(TObject*, double v) { dragLens.push_back(v); }
  void MeasureHint(TObject*, std::string& Text, double Value) {
    hintValue = Value;
    if (!rewrite.empty()) Text = rewrite;
  }
};

// A borderless vector view of a white W x H image in a CW x CH client, its events in E.
TCorvexVect* NewVect(UiHarness& ui, Events& E, int CW = 200, int CH = 200, int W = 100, int H = 100) {
  auto* v = testing_support::NewTwoToneView<TCorvexVect>(ui, CW, CH, W, H);
  v->OnNewObject = TCXVNewObject(&E, &Events::NewObject);
  v->OnVectorialChanged = TNotifyEvent(&E, &Events::Changed);
  v->OnSelectObject = TNotifyEvent(&E, &Events::SelectObject);
  v->OnDragLenEnd = TCXVDragLenEndEvent(&E, &Events::DragLenEnd);
  v->OnMeasureHint = TCXVMeasureHintEvent(&E, &Events::MeasureHint);
  return v;
}

int Add(TCorvexVect* v, TCXVObjectKind Kind, int x1, int y1, int x2, int y2) {
  const int h = v->AddNewObject();
  v->SetObjKind(h, Kind);
  TCXVObject* o = v->Obj(h);
  o->x1 = x1, o->y1 = y1, o->x2 = x2, o->y2 = y2;
  v->Update();
  return h;
}

TRect Corners(const TCorvexVect* v, int h) {
  const TCXVObject* o = v->Obj(h);
  return o == nullptr ? TRect{} : Rect(o->x1, o->y1, o->x2, o->y2);
}

std::vector<int> Selection(const TCorvexVect* v) {
  std::vector<int> s;
  for (int i = 0; i < v->GetSelObjectsCount(); ++i) s.push_back(v->GetSelObjects(i));
  return s;
}

// Presses far enough apart in time never make a double click.
void Pause(UiHarness& ui) { ui.Advance(1000); }

TEST(VectMouse, InsertingByClickAndByDrag) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e);

  // A click places the template's own 64 x 64 rectangle at the clicked bitmap point.
  v->SetMouseInteractVt({miPutBox});
  ui.Click(v, 10, 20);
  ASSERT_EQ(e.created.size(), 1u);
  const int box = e.created[0];
  EXPECT_EQ(v->GetObjKind(box), cxkBOX);
  EXPECT_EQ(Corners(v, box), Rect(10, 20, 73, 83));
  EXPECT_EQ(Selection(v), std::vector<int>{box});
  EXPECT_EQ(e.changed, 1);

  // At 200 % a drag maps both ends to bitmap points; a drag up and left is stored in order.
  Pause(ui);
  v->SetZoom(200);
  ui.Drag(v, 20, 40, 60, 100);
  ASSERT_EQ(e.created.size(), 2u);
  EXPECT_EQ(Corners(v, e.created[1]), Rect(10, 20, 30, 50));
  Pause(ui);
  ui.Drag(v, 60, 100, 20, 40);
  ASSERT_EQ(e.created.size(), 3u);
  EXPECT_EQ(Corners(v, e.created[2]), Rect(10, 20, 30, 50));
  EXPECT_EQ(Selection(v), std::vector<int>{e.created[2]});

  // Lines keep their direction; Ctrl snaps the end to the horizontal, vertical or diagonal.
  v->SetZoom(100);
  v->SetMouseInteractVt({miPutLine});
  const struct {
    int x2, y2;
    TShiftState keys;
    TRect want;
  } lines[] = {
      {10, 13, {}, Rect(60, 10, 10, 13)},
      {10, 13, {ssCtrl}, Rect(60, 10, 10, 10)},
      {63, 80, {ssCtrl}, Rect(60, 10, 60, 80)},
      {30, 45, {ssCtrl}, Rect(60, 10, 25, 45)},
  };
  for (const auto& t : lines) {
    Pause(ui);
    const size_t before = e.created.size();
    ui.Move(v, 60, 10);
    ui.Press(v, 60, 10);
    ui.Move(v, (60 + t.x2) / 2, (10 + t.y2) / 2, t.keys);
    ui.Move(v, t.x2, t.y2, t.keys);
    ui.ReleaseAt(v, t.x2, t.y2, mbLeft, t.keys);
    ASSERT_EQ(e.created.size(), before + 1);
    EXPECT_EQ(v->GetObjKind(e.created.back()), cxkLINE);
    EXPECT_EQ(Corners(v, e.created.back()), t.want) << t.x2 << "," << t.y2;
  }

  // Ctrl makes a circle: the moving corner is the larger difference away on both axes.
  Pause(ui);
  v->SetMouseInteractVt({miPutEllipse});
  ui.Move(v, 10, 10);
  ui.Press(v, 10, 10);
  ui.Move(v, 40, 25, {ssCtrl});
  ui.ReleaseAt(v, 40, 25, mbLeft, {ssCtrl});
  EXPECT_EQ(v->GetObjKind(e.created.back()), cxkELLIPSE);
  EXPECT_EQ(Corners(v, e.created.back()), Rect(10, 10, 40, 40));
  // Dragged up and to the right, the circle stays on that side of the press.
  Pause(ui);
  ui.Move(v, 50, 50);
  ui.Press(v, 50, 50);
  ui.Move(v, 80, 35, {ssCtrl});
  ui.ReleaseAt(v, 80, 35, mbLeft, {ssCtrl});
  EXPECT_EQ(Corners(v, e.created.back()), Rect(50, 20, 80, 50));

  // The end of a drag beyond the image is held at its last pixel.
  Pause(ui);
  v->SetMouseInteractVt({miPutBox});
  ui.Drag(v, 80, 80, 150, 170);
  EXPECT_EQ(Corners(v, e.created.back()), Rect(80, 80, 99, 99));
}

TEST(VectMouse, DistancesAndPicking) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e, 200, 200, 200, 200);
  const int line = Add(v, cxkLINE, 10, 10, 50, 10);
  const int box = Add(v, cxkBOX, 100, 100, 140, 120);
  const int text = Add(v, cxkTEXT, 10, 150, 60, 170);
  const int circle = Add(v, cxkELLIPSE, 99, 9, 140, 50);  // centre (120, 30), radius 21
  const int arc = Add(v, cxkARC, 99, 9, 140, 50);
  v->SetObjStartAngle(arc, 0);
  v->SetObjEndAngle(arc, M_PI / 2);  // the upper right quarter
  const int none = Add(v, cxkNONE, 0, 0, 199, 199);
  const struct {
    int h, x, y;
    double want;
  } table[] = {
      {line, 30, 14, 4},  {line, 53, 14, 5},     {line, 5, 10, 5},          // segment and its ends
      {box, 120, 110, 10}, {box, 145, 110, 5},   {box, 100, 105, 0},       // a clear box: its edges
      {text, 30, 160, 0},  {text, 30, 175, 5},                               // a text: 0 inside
      {circle, 120, 30, 21}, {circle, 120, 5, 4}, {circle, 150, 30, 9},  // the outline
      {circle, 135, 15, std::hypot(15, 15) - 21}, {arc, 141, 30, 0}, {arc, 120, 9, 0},
      {arc, 99, 30, std::hypot(21, 21)}, {arc, 105, 45, std::hypot(15, 36)},
      {none, 10, 10, -1},  {kVectNone, 10, 10, -1}, {77, 10, 10, -1},
  };
  for (const auto& t : table) EXPECT_NEAR(v->CalcDistPtObj(t.h, t.x, t.y), t.want, 0.01) << t.h << " " << t.x << "," << t.y;
  v->SetObjBrushStyle(box, bsSolid);
  EXPECT_EQ(v->CalcDistPtObj(box, 120, 110), 0);

  double d;
  EXPECT_EQ(v->FindNearObj(30, 12, d), line);
  EXPECT_DOUBLE_EQ(d, 2);
  // Kind NONE is never picked, even though (0, 0) lies inside it.
  EXPECT_EQ(v->FindNearObj(0, 0, d), line);

  // Two objects at the same distance: the upper one wins, whichever was added first.
  const int a = Add(v, cxkLINE, 10, 60, 50, 60);
  const int b = Add(v, cxkLINE, 10, 70, 50, 70);
  EXPECT_EQ(v->FindNearObj(30, 65, d), b);
  v->SetObjFrontOf(a, -1);
  EXPECT_EQ(v->FindNearObj(30, 65, d), a);
  // Hidden objects and objects that cannot be selected are not hit.
  TCXVObject* oa = v->Obj(a);
  oa->Style.Exclude(cxvsVisible);
  EXPECT_EQ(v->FindNearObj(30, 65, d), b);
  oa->Style.Include(cxvsVisible);
  oa->Style.Exclude(cxvsSelectable);
  EXPECT_EQ(v->FindNearObj(30, 65, d), b);
  oa->Style.Include(cxvsSelectable);
  v->SetAllObjectsHidden(true);
  EXPECT_EQ(v->FindNearObj(30, 65, d), kVectAll);
  v->SetAllObjectsHidden(false);
  // Objects off the displayed part are not hit.
  v->SetZoom(400);
  v->SetViewXY(0, 0);
  EXPECT_EQ(v->FindNearObj(120, 110, d), line);  // the box lies beyond the first 50 x 50 pixels
  v->SetZoom(100);

  // Clicks: a click selects the nearest object alone, Shift adds or toggles, a plain click on
  // a selected object keeps it alone.
  v->SetMouseInteractVt({miObjectSelect});
  ui.Click(v, 20, 13);
  EXPECT_EQ(Selection(v), std::vector<int>{line});
  Pause(ui);
  ui.Click(v, 120, 121, mbLeft, {ssShift});
  EXPECT_EQ(Selection(v), (std::vector<int>{line, box}));
  Pause(ui);
  ui.Click(v, 20, 13, mbLeft, {ssShift});
  EXPECT_EQ(Selection(v), std::vector<int>{box});
  Pause(ui);
  ui.Click(v, 20, 13, mbLeft, {ssShift});
  EXPECT_EQ(Selection(v), (std::vector<int>{box, line}));
  ui.Advance(1000);
  ui.Click(v, 120, 121);
  EXPECT_EQ(Selection(v), std::vector<int>{box});
  EXPECT_GE(e.selected, 4);

  // A rubber rectangle selects the objects wholly inside it.
  Pause(ui);
  ui.Drag(v, 5, 5, 65, 75);
  EXPECT_EQ(Selection(v), (std::vector<int>{line, b, a}));  // z-order: a was put on top
}

TEST(VectMouse, GripDrags) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e);
  const int box = Add(v, cxkBOX, 20, 20, 40, 30);
  v->SetMouseInteractVt({miObjectSelect});
  v->AddSelObject(box);

  int grip;
  EXPECT_EQ(v->FindSelGrip(43, 33, grip), 0);
  EXPECT_EQ(grip, 2);
  EXPECT_EQ(v->FindSelGrip(16, 16, grip), 0);
  EXPECT_EQ(grip, 1);
  EXPECT_EQ(v->FindSelGrip(15, 16, grip), kVectNone);  // gx - 4 <= x < gx + 4
  EXPECT_EQ(v->FindSelGrip(31, 26, grip), 0);
  EXPECT_EQ(grip, 3);  // the centre: 20 + 21 / 2, 20 + 11 / 2
  EXPECT_EQ(v->FindSelGrip(40, 20, grip), 0);
  EXPECT_EQ(grip, 4);
  EXPECT_EQ(v->FindSelGrip(20, 30, grip), 0);
  EXPECT_EQ(grip, 5);

  // The bottom-right grip resizes; dragged past the other corner, the rectangle comes out in order.
  const int changes = e.changed;
  ui.Drag(v, 40, 30, 50, 45);
  EXPECT_EQ(Corners(v, box), Rect(20, 20, 50, 45));
  EXPECT_EQ(e.changed, changes + 1);
  Pause(ui);
  ui.Drag(v, 50, 45, 10, 15);
  EXPECT_EQ(Corners(v, box), Rect(10, 15, 20, 20));
  // The centre grip moves.
  Pause(ui);
  ui.Drag(v, 15, 18, 65, 48);
  EXPECT_EQ(Corners(v, box), Rect(60, 45, 70, 50));
  // An object that is not sizeable keeps its size, one that is not moveable its place.
  v->Obj(box)->Style.Exclude(cxvsSizeable);
  Pause(ui);
  ui.Drag(v, 70, 50, 90, 90);
  EXPECT_EQ(Corners(v, box), Rect(60, 45, 70, 50));
  v->Obj(box)->Style = {cxvsSelectable, cxvsSizeable, cxvsVisible};
  Pause(ui);
  ui.Drag(v, 65, 48, 5, 5);
  EXPECT_EQ(Corners(v, box), Rect(60, 45, 70, 50));
  v->Obj(box)->Style.Include(cxvsMoveable);

  // At 800 % each event moves one client pixel: the object still follows, by the whole move.
  v->SetZoom(800);
  v->SetViewXY(0, 0);
  v->Obj(box)->x1 = 2, v->Obj(box)->y1 = 2, v->Obj(box)->x2 = 9, v->Obj(box)->y2 = 9;
  v->Update();
  Pause(ui);
  // The centre grip: 16 + (72 - 16 + 1) / 2 on both axes.
  const int sx = 44, sy = 44;
  ASSERT_EQ(v->FindSelGrip(sx, sy, grip), 0);
  ASSERT_EQ(grip, 3);
  ui.Move(v, sx, sy);
  ui.Press(v, sx, sy);
  for (int i = 1; i <= 24; ++i) ui.Move(v, sx + i, sy + i / 2);
  ui.ReleaseAt(v, sx + 24, sy + 12);
  EXPECT_EQ(Corners(v, box), Rect(5, 4, 12, 11));  // 24 / 8 = 3, 12 / 8 = 1.5 -> 2

  // A line drawn right to left has its centre grip where the same line drawn left to right has it.
  v->SetZoom(100);
  v->UnSelAllObjects();
  const int rtl = Add(v, cxkLINE, 60, 80, 20, 80);
  const int ltr = Add(v, cxkLINE, 20, 90, 60, 90);
  v->AddSelObject(rtl);
  v->AddSelObject(ltr);
  EXPECT_EQ(v->FindSelGrip(40, 80, grip), 0);
  EXPECT_EQ(grip, 3);
  EXPECT_EQ(v->FindSelGrip(40, 90, grip), 1);
  EXPECT_EQ(grip, 3);
  EXPECT_EQ(v->FindSelGrip(60, 84, grip), kVectNone);  // lines have no grips 4 and 5
  // After a grip drag a line keeps its direction.
  Pause(ui);
  ui.Drag(v, 40, 80, 45, 85);
  EXPECT_EQ(Corners(v, rtl), Rect(65, 85, 25, 85));
  EXPECT_EQ(Corners(v, ltr), Rect(25, 95, 65, 95));
}

TEST(VectMouse, DragLengthModesAndTheHint) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e);

  // Measuring a drag: nothing is created, the length (client pixels at the zoom) is reported.
  v->SetZoom(200);
  v->SetMouseInteractVt({miDragLen});
  ui.Move(v, 10, 10);
  ui.Press(v, 10, 10);
  ui.Move(v, 40, 30);
  ASSERT_NE(v->GetMeasureHint(), nullptr);
  EXPECT_TRUE(v->GetMeasureHint()->GetVisible());
  EXPECT_NEAR(e.hintValue, std::hypot(15, 10), 1e-9);
  EXPECT_EQ(v->GetMeasureHint()->GetText(), v->MeasureText(std::hypot(15, 10), false));
  ui.Move(v, 50, 40);
  ui.ReleaseAt(v, 50, 40);
  ASSERT_EQ(e.dragLens.size(), 1u);
  EXPECT_NEAR(e.dragLens[0], 25, 1e-9);  // (40, 30) client pixels at 200 %
  EXPECT_NEAR(v->GetLastDragLen(), 25, 1e-9);
  EXPECT_FALSE(v->GetMeasureHint()->GetVisible());
  EXPECT_TRUE(e.created.empty());
  EXPECT_EQ(v->GetObjectsCount(), 0);

  // Modes: an insertion mode clears the view's modes, the measuring modes keep them; the first
  // added item is the only one kept; a view mode keeps only the measuring modes.
  using VI = TCXMouseInteractItems;
  using VT = TCXMouseInteractVt;
  v->SetMouseInteractVt({});
  v->SetMouseInteract({miZoom, miSelect});
  v->SetMouseInteractVt({miPutLine});
  EXPECT_TRUE(v->GetMouseInteract().Empty());
  v->SetMouseInteract({miZoom, miSelect});
  EXPECT_TRUE(v->GetMouseInteractVt().Empty());
  v->SetMouseInteractVt({miLineLen});
  EXPECT_TRUE(v->GetMouseInteract() == (VI{miZoom, miSelect}));
  EXPECT_TRUE(v->GetMouseInteractVt() == VT{miLineLen});
  v->SetMouseInteractVt({miLineLen, miPutText, miPutBox});
  EXPECT_TRUE(v->GetMouseInteractVt() == VT{miPutBox});
  v->SetMouseInteractVt({miPutBox, miObjectSelect, miArea});
  EXPECT_TRUE(v->GetMouseInteractVt() == VT{miArea});
  v->SetMouseInteract({miSelectPolygon});
  EXPECT_TRUE(v->GetMouseInteractVt() == VT{miArea});
  v->SetMouseInteractVt({miArea, miPutLine});
  v->SetMouseInteract({miSelect});
  EXPECT_TRUE(v->GetMouseInteractVt().Empty());
  EXPECT_FALSE(v->GetMeasureHint()->GetVisible());

  // The length of the selection follows it; OnMeasureHint may rewrite the text; the hint is
  // sized to its text and painted pale yellow.
  v->SetZoom(100);
  v->SetMouseInteract({miSelect});
  v->SetMouseInteractVt({miLineLen});
  TCXHint* hint = v->GetMeasureHint();
  EXPECT_TRUE(hint->GetVisible());
  ui.Drag(v, 10, 10, 40, 50);  // a 30 x 40 rectangle: 140 pixels around
  EXPECT_NEAR(e.hintValue, 140, 1e-9);
  EXPECT_EQ(hint->GetText(), v->MeasureText(140, false));
  e.rewrite = "about 140";
  v->Select(10, 10, 40, 50);
  EXPECT_EQ(hint->GetText(), "about 140");
  TCanvas measure;
  measure.SetFont(hint->GetFont());
  EXPECT_EQ(hint->GetWidth(), measure.TextWidth("about 140") + 4);
  EXPECT_EQ(hint->GetHeight(), measure.TextHeight("about 140") + 4);
  ui.Move(v, 190, 190);  // the hint stays inside the client
  const TPoint at = v->ScreenToClient({hint->GetLeft(), hint->GetTop()});
  EXPECT_EQ(at.X, v->GetClientWidth() - hint->GetWidth() - 1);
  EXPECT_EQ(at.Y, v->GetClientHeight() - hint->GetHeight() - 1);
  ui.Pump();
  EXPECT_EQ(ui.SurfacePixel(hint, hint->GetWidth() - 3, 2), TCXHint::kBackground);
  v->SetMouseInteractVt({miArea});
  EXPECT_NEAR(e.hintValue, 1200, 1e-9);
  // A change of unit or resolution refreshes the text at once.
  e.rewrite.clear();
  v->SetDPIX(100);
  v->SetDPIY(100);
  v->SetMUnit(cxuINCHES);
  EXPECT_NEAR(e.hintValue, 0.12, 1e-12);
  EXPECT_EQ(hint->GetText(), v->MeasureText(0.12, true));
}

TEST(VectMouse, TextEditing) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e);

  // A text object made by a click is edited at once; Enter takes the typed text.
  v->SetMouseInteractVt({miPutText});
  ui.Click(v, 20, 30);
  ASSERT_EQ(e.created.size(), 1u);
  const int t = e.created[0];
  EXPECT_EQ(v->GetObjKind(t), cxkTEXT);
  EXPECT_EQ(v->GetEditedText(), t);
  ASSERT_NE(v->GetTextEdit(), nullptr);
  EXPECT_EQ(v->GetTextEdit()->GetLeft(), 20);  // over the object, in client coordinates
  EXPECT_EQ(v->GetTextEdit()->GetTop(), 30);
  EXPECT_TRUE(v->GetTextEdit()->Focused());
  ui.Type(U"Hello");
  ui.Key(VK_RETURN);
  EXPECT_EQ(v->GetObjText(t), "Hello");
  EXPECT_EQ(v->GetTextEdit(), nullptr);
  EXPECT_EQ(v->GetEditedText(), -1);
  const int changes = e.changed;

  // A double click on the text edits it; Escape leaves the text as it was.
  v->SetMouseInteractVt({miObjectSelect});
  Pause(ui);
  ui.DoubleClick(v, 30, 40);
  ASSERT_NE(v->GetTextEdit(), nullptr);
  EXPECT_EQ(v->GetTextEdit()->GetText(), "Hello");
  EXPECT_EQ(Selection(v), std::vector<int>{t});
  ui.Type(U"Bye");
  ui.Key(VK_ESCAPE);
  EXPECT_EQ(v->GetTextEdit(), nullptr);
  EXPECT_EQ(v->GetObjText(t), "Hello");
  EXPECT_EQ(e.changed, changes);

  // F2 edits the first selected text; the edit follows scrolling and zooming; a press elsewhere
  // ends the editing and keeps what was typed.
  v->SetFocus();
  ui.Key(VK_F2);
  ASSERT_NE(v->GetTextEdit(), nullptr);
  v->SetZoom(200);
  v->SetViewXY(10, 20);
  EXPECT_EQ(v->GetTextEdit()->GetLeft(), v->XBmp2Scr(20));
  EXPECT_EQ(v->GetTextEdit()->GetTop(), v->YBmp2Scr(30));
  ui.Key(VK_END);
  ui.Type(U"!");
  Pause(ui);
  ui.Click(v, 190, 190);
  EXPECT_EQ(v->GetTextEdit(), nullptr);
  EXPECT_EQ(v->GetObjText(t), "Hello!");
  EXPECT_EQ(e.changed, changes + 1);

  // F2 with a box first in the selection does nothing; CancelInteracts ends an editing.
  v->SetZoom(100);
  const int box = Add(v, cxkBOX, 60, 60, 80, 80);
  v->UnSelAllObjects();
  v->AddSelObject(box);
  v->AddSelObject(t);
  v->SetFocus();
  ui.Key(VK_F2);
  EXPECT_EQ(v->GetTextEdit(), nullptr);
  v->UnSelObject(box);
  ui.Key(VK_F2);
  ASSERT_NE(v->GetTextEdit(), nullptr);
  v->CancelInteracts();
  EXPECT_EQ(v->GetTextEdit(), nullptr);
}

TEST(VectMouse, GripsAndEditOnScreen) {
  UiHarness ui;
  Events e;
  TCorvexVect* v = NewVect(ui, e, 160, 120, 160, 120);
  v->SetBackGround(clWhite);
  const int box = Add(v, cxkBOX, 20, 20, 70, 60);
  v->SetObjPenColor(box, clBlue);
  const int line = Add(v, cxkLINE, 90, 90, 140, 30);
  v->SetObjPenColor(line, clRed);
  const int text = Add(v, cxkTEXT, 80, 95, 150, 112);
  v->SetObjText(text, "Note");
  v->SetMouseInteractVt({miObjectSelect});
  ui.Click(v, 45, 20);
  ui.Click(v, 115, 60, mbLeft, {ssShift});
  ASSERT_EQ(Selection(v), (std::vector<int>{box, line}));
  ui.Pump();
  Pause(ui);
  ui.DoubleClick(v, 100, 100);
  ASSERT_NE(v->GetTextEdit(), nullptr);
  ui.Key(VK_END);
  ui.Type(U" here");
  ui.Pump();
  TForm* form = dynamic_cast<TForm*>(v->GetParent());
  ASSERT_NE(form, nullptr);
  if (const char* dir = std::getenv("CORVEX_VIEW_PNG")) {
    TBitmap shot(v->GetWidth(), v->GetHeight(), pf24bit);
    v->DrawWindow(&shot, 0, 0);
    TFileStream f(std::string(dir) + "/vect-mouse.png", fmCreate);
    TIOParamsVals params;
    TProgressRec prog;
    WritePNGStream(&f, &shot, params, prog);
  }

  // A rubber box in the inverting pen while a box is dragged out, and the length hint.
  v->SetMouseInteract({miSelect});
  v->Select(10, 70, 60, 110);
  v->SetMouseInteractVt({miLineLen});
  v->SetMouseInteractVt({miPutBox});
  Pause(ui);
  ui.Move(v, 30, 30);
  ui.Press(v, 30, 30);
  ui.Move(v, 60, 50);
  ui.Move(v, 90, 70);
  EXPECT_EQ(ui.Pixel(v, 60, 30), clBlack);  // the top edge, inverted white
  EXPECT_EQ(ui.Pixel(v, 60, 40), clWhite);
  if (const char* dir = std::getenv("CORVEX_VIEW_PNG")) {
    TBitmap shot(v->GetWidth(), v->GetHeight(), pf24bit);
    v->DrawWindow(&shot, 0, 0);
    TFileStream f(std::string(dir) + "/vect-rubber.png", fmCreate);
    TIOParamsVals params;
    TProgressRec prog;
    WritePNGStream(&f, &shot, params, prog);
  }
  ui.ReleaseAt(v, 90, 70);
  v->SetMouseInteractVt({miLineLen});
  TCXHint* hint = v->GetMeasureHint();
  ui.Move(v, 20, 20);
  ui.Pump();
  if (const char* dir = std::getenv("CORVEX_VIEW_PNG")) {
    TBitmap shot(hint->GetWidth(), hint->GetHeight(), pf24bit);
    hint->DrawWindow(&shot, 0, 0);
    TFileStream f(std::string(dir) + "/vect-hint.png", fmCreate);
    TIOParamsVals params;
    TProgressRec prog;
    WritePNGStream(&f, &shot, params, prog);
  }
}

}  // namespace
}  // namespace corvex
