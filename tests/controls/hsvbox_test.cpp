// The HSV colour box: field and hue bar geometry, grips drawn with a "not" pen, the setters'
// clamping and colour conversions, and mouse picking.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "corvex/controls/HSVBox.h"
#include "corvex/core/defs.h"
#include "corvex/proc/CorvexProc.h"
#include "tests/common/ui_harness.h"

using namespace corvex;
using corvex::testing_support::UiHarness;

namespace {

TColor Hsv(int h, int s, int v) {
  TRGB c{};
  HSV2RGB(c, h, s, v);
  return TRGB2TColor(c);
}
TColor Inverted(TColor c) { return c ^ 0xFFFFFF; }

THSVBox* NewBox(UiHarness& ui, int W = 105, int H = 105) {
  TForm* f = ui.NewForm(300, 300);
  auto* b = new THSVBox(f);
  b->SetParent(f);
  b->SetBounds(0, 0, W, H);
  ui.Pump();
  return b;
}

}  // namespace

TEST(HSVBox, FieldHueBarAndGripsAtKnownPlaces) {
  UiHarness ui;
  TForm* f = ui.NewForm(300, 300);
  auto* b = new THSVBox(f);
  b->SetParent(f);
  EXPECT_EQ(b->GetWidth(), 105);
  EXPECT_EQ(b->GetHeight(), 105);
  EXPECT_EQ(b->GetFieldWidth(), 80);
  EXPECT_EQ(b->GetColor(), 0);
  b->SetHue(200);
  b->SetSat(99);
  b->SetVal(99);  // field grip at the top right, out of the way
  // Field: row 104 - c has value Trunc(c x (100/105)), column f saturation Trunc(f x 1.25).
  EXPECT_EQ(ui.Pixel(b, 0, 104), Hsv(200, 0, 0));
  EXPECT_EQ(ui.Pixel(b, 40, 104 - 52), Hsv(200, 50, 49));
  EXPECT_EQ(ui.Pixel(b, 79, 20), Hsv(200, 98, Trunc(84 * (100.0f / 105))));
  // Gap in clBtnFace, hue bar from column 85: row 104 - c has hue Trunc(c x 360 / 105).
  EXPECT_EQ(ui.Pixel(b, 80, 50), ColorToRGB(clBtnFace));
  EXPECT_EQ(ui.Pixel(b, 84, 50), ColorToRGB(clBtnFace));
  EXPECT_EQ(ui.Pixel(b, 85, 104), Hsv(0, 99, 99));
  EXPECT_EQ(ui.Pixel(b, 104, 104 - 30), Hsv(102, 99, 99));
  // Hue grip for 200: y = Round(104 x 159 / 360) = 46, frame rows 44 .. 47 over columns 85 ..
  // 104, inverted; field grip at x = 79, y = 0: frame columns 76 .. 81, rows -3 .. 2.
  EXPECT_EQ(ui.Pixel(b, 90, 44), Inverted(Hsv(Trunc((104 - 44) * (360.0 / 105)), 99, 99)));
  EXPECT_EQ(ui.Pixel(b, 90, 47), Inverted(Hsv(Trunc((104 - 47) * (360.0 / 105)), 99, 99)));
  EXPECT_EQ(ui.Pixel(b, 90, 45), Hsv(Trunc((104 - 45) * (360.0 / 105)), 99, 99));  // inside
  EXPECT_EQ(ui.Pixel(b, 90, 48), Hsv(Trunc((104 - 48) * (360.0 / 105)), 99, 99));
  EXPECT_EQ(ui.Pixel(b, 76, 1), Inverted(Hsv(200, 95, 98)));
  EXPECT_EQ(ui.Pixel(b, 81, 2), Inverted(ColorToRGB(clBtnFace)));
  // Moving the grips restores the pixels under them exactly.
  b->SetSat(0);
  b->SetVal(0);
  EXPECT_EQ(ui.Pixel(b, 76, 1), Hsv(200, 95, 98));
  EXPECT_EQ(ui.Pixel(b, 81, 2), ColorToRGB(clBtnFace));
  EXPECT_EQ(ui.Pixel(b, 1, 101), Inverted(Hsv(200, 1, 2)));  // the grip at (0, 104)

  // The field's factors are single precision: in a box 30 pixels high and 30 wide, c = 3 gives
  // Trunc(3 x 3.3333333f) = 9 (10 in double precision).
  b->SetBounds(0, 0, 55, 30);
  b->SetHue(0);
  b->SetSat(99);
  b->SetVal(99);
  EXPECT_EQ(ui.Pixel(b, 0, 26), RGBColor(23, 23, 23));
  EXPECT_EQ(ui.Pixel(b, 3, 26), Hsv(0, 9, 9));
  EXPECT_EQ(ui.Pixel(b, 3, 25), Hsv(0, 9, 13));
}

TEST(HSVBox, SettersClampAndConvert) {
  UiHarness ui;
  THSVBox* b = NewBox(ui);
  int changes = 0;
  b->OnChange = TNotifyEvent::FromFunction([](void* n, TObject*) { ++*static_cast<int*>(n); }, &changes);
  b->SetHue(400);
  EXPECT_EQ(b->GetHue(), 359);
  b->SetSat(-5);
  EXPECT_EQ(b->GetSat(), 0);
  b->SetVal(150);
  EXPECT_EQ(b->GetVal(), 99);
  EXPECT_EQ(b->GetColor(), RGBColor(255, 255, 255));

  b->SetColor(clRed);
  EXPECT_EQ(b->GetHue(), 0);
  EXPECT_EQ(b->GetSat(), 99);
  EXPECT_EQ(b->GetVal(), 99);
  EXPECT_EQ(b->GetRed(), 255);
  EXPECT_EQ(b->GetGreen(), 0);
  // The hue grip of hue 0 sits at the bottom: y = Round(104 x 359 / 360) = 104, rows 102 .. 104.
  EXPECT_EQ(ui.Pixel(b, 95, 102), Inverted(Hsv(Trunc(2 * (360.0 / 105)), 99, 99)));
  EXPECT_EQ(ui.Pixel(b, 85, 104), Inverted(Hsv(0, 99, 99)));

  // A system colour stays in Color; the bytes are the resolved ones.
  b->SetColor(clBtnFace);
  EXPECT_EQ(b->GetColor(), clBtnFace);
  const TRGB face = TColor2TRGB(clBtnFace);
  EXPECT_EQ(b->GetRed(), face.r);
  EXPECT_EQ(b->GetBlue(), face.b);
  int h, s, v;
  RGB2HSV(face, h, s, v);
  EXPECT_EQ(b->GetVal(), v);

  b->SetRGB(0, 0, 255);
  EXPECT_EQ(b->GetHue(), 240);
  EXPECT_EQ(b->GetColor(), RGBColor(0, 0, 255));
  EXPECT_EQ(changes, 0);  // only the mouse fires OnChange
}

TEST(HSVBox, MousePicksSaturationValueAndHue) {
  UiHarness ui;
  THSVBox* b = NewBox(ui);
  int changes = 0;
  b->OnChange = TNotifyEvent::FromFunction([](void* n, TObject*) { ++*static_cast<int*>(n); }, &changes);
  b->SetHue(120);

  // Hovering picks nothing.
  ui.Move(b, 40, 40);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(b->GetSat(), 0);

  // A press in the field: Sat = Round(40 / 79 x 99) = 50, Val = 99 - Round(52 / 104 x 99) = 49.
  ui.Press(b, 40, 52);
  EXPECT_EQ(b->GetSat(), 50);
  EXPECT_EQ(b->GetVal(), 49);
  EXPECT_EQ(b->GetColor(), Hsv(120, 50, 49));
  EXPECT_EQ(changes, 1);
  // Dragging out to the right and above keeps to the field's last column and top row.
  ui.Move(b, 200, -30);
  EXPECT_EQ(b->GetSat(), 99);
  EXPECT_EQ(b->GetVal(), 99);
  EXPECT_EQ(b->GetHue(), 120);
  ui.ReleaseAt(b, 200, -30);
  EXPECT_EQ(changes, 2);
  ui.Move(b, 10, 10);  // released: no more picking
  EXPECT_EQ(changes, 2);
  // The field grip frames column 79, row 0.
  EXPECT_EQ(ui.Pixel(b, 76, 2), Inverted(Hsv(120, 95, 97)));

  // The hue bar: top is 359, and a drag into the field stays on the bar (column 85).
  ui.Press(b, 95, 0);
  EXPECT_EQ(b->GetHue(), 359);
  ui.Move(b, 0, 104);
  EXPECT_EQ(b->GetHue(), 0);
  EXPECT_EQ(b->GetSat(), 99);
  ui.ReleaseAt(b, 0, 104);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(ui.Pixel(b, 10, 10), Hsv(0, Trunc(10 * 1.25f), Trunc(94 * (100.0f / 105))));

  // The gap and the right button pick nothing.
  ui.Click(b, 82, 50);
  ui.Click(b, 30, 30, mbRight);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(b->GetHue(), 0);
}

TEST(HSVBox, TinyBoxesAndTheGapAreHarmless) {
  UiHarness ui;
  THSVBox* b = NewBox(ui, 10, 1);
  for (auto [w, h] : {std::pair{10, 1}, {26, 1}, {25, 40}, {1, 1}, {0, 0}, {27, 2}}) {
    b->SetBounds(0, 0, w, h);
    ui.Drag(b, 0, 0, w + 5, h + 5);
    ui.Drag(b, w - 1, 0, -5, -5);
    b->SetColor(clAqua);
    EXPECT_GE(b->GetHue(), 0);
    EXPECT_LE(b->GetSat(), 99);
    EXPECT_LE(b->GetVal(), 99);
  }
  // A pick in the gap changes nothing, grips included.
  b->SetBounds(0, 0, 105, 105);
  ui.Pump();
  TBitmap before;
  before.Assign(b->GetBitmap());
  b->XMouseMove(82, 10);
  const TBitmap* after = b->GetBitmap();
  for (int y = 0; y < 105; ++y)
    ASSERT_EQ(0, std::memcmp(before.ScanLine(y), after->ScanLine(y), 105 * 3)) << "row " << y;
}
