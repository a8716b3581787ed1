// The gradient bar: the colour table, the painted ramp with its grip, and picking by mouse.
#include <gtest/gtest.h>

#include "corvex/controls/CXGradientBar.h"
#include "tests/common/ui_harness.h"

using namespace corvex;
using corvex::testing_support::UiHarness;

namespace {

TColor Inverted(TColor c) { return c ^ 0xFFFFFF; }

TCXGradientBar* NewBar(UiHarness& ui) {
  TForm* f = ui.NewForm(400, 400);
  auto* g = new TCXGradientBar(f);
  g->SetParent(f);
  ui.Pump();
  return g;
}

void Count(void* n, TObject*) { ++*static_cast<int*>(n); }

}  // namespace

TEST(GradientBar, TableEntries) {
  UiHarness ui;
  TCXGradientBar* g = NewBar(ui);
  struct Case {
    TColor Begin, End;
    int Index;
    TColor Expected;
  };
  const Case cases[] = {
      {0, 0xFFFFFF, 0, 0},
      {0, 0xFFFFFF, 128, RGBColor(128, 128, 128)},
      {0, 0xFFFFFF, 255, 0xFFFFFF},
      {0xFFFFFF, 0, 1, RGBColor(254, 254, 254)},
      {0xFFFFFF, 0, 200, RGBColor(55, 55, 55)},
      // 10 + Trunc(100 x 100 / 255.0) = 49; 200 + Trunc(100 x -200 / 255.0) = 122 (toward zero)
      {RGBColor(10, 200, 0), RGBColor(110, 0, 255), 100, RGBColor(49, 122, 100)},
      {RGBColor(10, 200, 0), RGBColor(110, 0, 255), 255, RGBColor(110, 0, 255)},
      {RGBColor(0, 0, 0), RGBColor(3, 0, 0), 84, RGBColor(0, 0, 0)},
      {RGBColor(0, 0, 0), RGBColor(3, 0, 0), 85, RGBColor(1, 0, 0)},
      {clBtnFace, clBtnFace, 7, ColorToRGB(clBtnFace)},  // system colours resolved
  };
  for (const Case& c : cases) {
    g->SetBeginColor(c.Begin);
    g->SetEndColor(c.End);
    EXPECT_EQ(g->GetTableColor(c.Index), c.Expected) << c.Begin << " .. " << c.End << " [" << c.Index << "]";
  }
  // ColorIndex stays inside the table.
  g->SetColorIndex(300);
  EXPECT_EQ(g->GetColorIndex(), 255);
  EXPECT_EQ(g->GetColor(), g->GetTableColor(255));
  g->SetColorIndex(-5);
  EXPECT_EQ(g->GetColorIndex(), 0);
  g->SetColorIndex(100);
  EXPECT_EQ(g->GetColor(), g->GetTableColor(100));
  EXPECT_EQ(g->GetRGB().r, TColor2TRGB(g->GetTableColor(100)).r);
}

TEST(GradientBar, RampAndGripPixels) {
  UiHarness ui;
  TCXGradientBar* g = NewBar(ui);
  EXPECT_EQ(g->GetWidth(), 40);
  EXPECT_EQ(g->GetHeight(), 300);
  EXPECT_EQ(g->GetDirection(), gdVertical);
  // Vertical: row 299 - a holds entry Trunc(255 / 299 x a); step 0 at the bottom.
  EXPECT_EQ(ui.Pixel(g, 20, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(ui.Pixel(g, 20, 149), RGBColor(127, 127, 127));  // a = 150: 127.9
  EXPECT_EQ(ui.Pixel(g, 20, 200), RGBColor(84, 84, 84));     // a = 99: 84.4
  // The grip of step 0 frames rows 296 .. 301 across the bar, inverted.
  EXPECT_EQ(ui.Pixel(g, 20, 296), Inverted(RGBColor(2, 2, 2)));
  EXPECT_EQ(ui.Pixel(g, 0, 298), Inverted(RGBColor(0, 0, 0)));
  EXPECT_EQ(ui.Pixel(g, 20, 298), RGBColor(0, 0, 0));
  EXPECT_EQ(ui.Pixel(g, 20, 295), RGBColor(3, 3, 3));
  // Step 255 of a vertical bar is at the top: frame rows -3 .. 2.
  g->SetColorIndex(255);
  EXPECT_EQ(ui.Pixel(g, 20, 2), Inverted(RGBColor(253, 253, 253)));
  EXPECT_EQ(ui.Pixel(g, 20, 296), RGBColor(2, 2, 2));  // the old grip is gone

  // Horizontal: column x holds entry Trunc(255 / 209 x x), the grip p = Trunc(i x 209 / 255).
  g->SetBounds(0, 0, 210, 30);
  g->SetDirection(gdHorizontal);
  g->SetBeginColor(clRed);
  g->SetEndColor(clBlue);
  g->SetColorIndex(100);  // p = Trunc(81.96) = 81: frame columns 78 .. 83
  EXPECT_EQ(ui.Pixel(g, 0, 15), clRed);
  EXPECT_EQ(ui.Pixel(g, 209, 15), clBlue);
  EXPECT_EQ(ui.Pixel(g, 78, 15), Inverted(g->GetTableColor(95)));
  EXPECT_EQ(ui.Pixel(g, 83, 15), Inverted(g->GetTableColor(101)));
  EXPECT_EQ(ui.Pixel(g, 80, 0), Inverted(g->GetTableColor(97)));
  EXPECT_EQ(ui.Pixel(g, 80, 15), g->GetTableColor(97));
  // Without migDragGrip there is no grip.
  g->SetMouseInteractGr({});
  EXPECT_EQ(ui.Pixel(g, 78, 15), g->GetTableColor(95));
}

TEST(GradientBar, MousePicksTheStepUnderThePointer) {
  UiHarness ui;
  TCXGradientBar* g = NewBar(ui);
  int changes = 0;
  g->OnChange = TNotifyEvent::FromFunction(&Count, &changes);
  ui.Move(g, 20, 100);  // hovering picks nothing
  EXPECT_EQ(changes, 0);
  // A vertical bar has step 0 at the bottom: the top picks 255, the colour shown there.
  ui.Click(g, 20, 0);
  EXPECT_EQ(g->GetColorIndex(), 255);
  EXPECT_EQ(g->GetColor(), RGBColor(255, 255, 255));
  EXPECT_EQ(changes, 1);
  ui.Click(g, 20, 299);
  EXPECT_EQ(g->GetColorIndex(), 0);
  // A drag follows the pointer, clamped to the bar: (299 - 150) / 299 x 255 = 127.07.
  ui.Press(g, 20, 250);
  ui.Move(g, 20, 150);
  EXPECT_EQ(g->GetColorIndex(), 127);
  EXPECT_EQ(g->GetColor(), ui.Pixel(g, 5, 150));
  ui.Move(g, 500, -40);
  EXPECT_EQ(g->GetColorIndex(), 255);
  ui.ReleaseAt(g, 500, -40);
  EXPECT_EQ(changes, 5);
  // The grip moved with it: step 255 frames rows -3 .. 2.
  EXPECT_EQ(ui.Pixel(g, 20, 2), Inverted(RGBColor(253, 253, 253)));
  EXPECT_EQ(ui.Pixel(g, 20, 296), RGBColor(2, 2, 2));
  // The right button picks nothing.
  ui.Click(g, 20, 299, mbRight);
  EXPECT_EQ(g->GetColorIndex(), 255);
  // Without migDragGrip clicks change nothing.
  g->SetMouseInteractGr({});
  ui.Click(g, 20, 299);
  EXPECT_EQ(g->GetColorIndex(), 255);
  EXPECT_EQ(changes, 5);

  // Horizontal: x / 209 x 255.
  g->SetMouseInteractGr({migDragGrip});
  g->SetDirection(gdHorizontal);
  g->SetBounds(0, 0, 210, 30);
  ui.Click(g, 100, 10);
  EXPECT_EQ(g->GetColorIndex(), 122);
  // One pixel across: no division by zero, step 0.
  g->SetBounds(0, 0, 1, 1);
  ui.Click(g, 0, 0);
  EXPECT_EQ(g->GetColorIndex(), 0);
  g->SetDirection(gdVertical);
  ui.Click(g, 0, 0);
  EXPECT_EQ(g->GetColorIndex(), 0);
}
