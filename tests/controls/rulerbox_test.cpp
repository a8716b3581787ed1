// The ruler box: label formats, tick positions and label placement for a few scales, grip
// geometry, grip limits and events, mouse sequences with auto-scroll on the virtual clock, and
// the degenerate settings that must neither divide by zero nor loop.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "corvex/controls/RulerBox.h"
#include "corvex/platform/graphics/canvas.h"
#include "tests/common/ui_harness.h"

using namespace corvex;
using corvex::testing_support::UiHarness;

namespace {

const TColor kFace = ColorToRGB(clBtnFace);

TRulerBox* NewRuler(UiHarness& ui, int W = 300, int H = 40) {
  TForm* f = ui.NewForm(500, 400);
  auto* r = new TRulerBox(f);
  r->SetParent(f);
  r->SetBounds(50, 50, W, H);
  ui.Pump();
  return r;
}

// What the ruler's events report, in order.
struct Log {
  std::vector<std::string> Events;
  void Pos(TObject*, int Grip) { Events.push_back("pos" + std::to_string(Grip)); }
  void Click(TObject*, int Grip) { Events.push_back("click" + std::to_string(Grip)); }
  void Dbl(TObject*, int Grip) { Events.push_back("dbl" + std::to_string(Grip)); }
  void Ruler(TObject*, double V) { Events.push_back("ruler" + RulerLabel(V, false)); }
  void Attach(TRulerBox* R) {
    R->OnRulerPosChange = TRulerPosChangeEvent(this, &Log::Pos);
    R->OnRulerGripClick = TRulerPosChangeEvent(this, &Log::Click);
    R->OnRulerGripDblClick = TRulerPosChangeEvent(this, &Log::Dbl);
    R->OnRulerClick = TRulerClickEvent(this, &Log::Ruler);
  }
  size_t Count(const std::string& E) const { return size_t(std::count(Events.begin(), Events.end(), E)); }
};

// The label Text as the ruler draws it with its font at (X, Y) (Orientation in tenths of a
// degree) must show in the rows and columns of Area, over the strip's colour.
void ExpectLabel(UiHarness& ui, TRulerBox* R, const std::string& Text, int X, int Y, int Orientation, TRect Area) {
  TBitmap ref(R->GetClientWidth(), R->GetClientHeight(), pf24bit);
  TCanvas* c = ref.GetCanvas();
  c->GetBrush()->SetColor(R->GetRulerColor());
  c->FillRect(Rect(0, 0, ref.GetWidth(), ref.GetHeight()));
  c->SetFont(R->GetFont());
  c->GetFont()->SetOrientation(Orientation);
  c->GetBrush()->SetStyle(bsClear);
  c->TextOut(X, Y, Text);
  int ink = 0;
  for (int y = Area.Top; y < Area.Bottom; ++y)
    for (int x = Area.Left; x < Area.Right; ++x) {
      const TColor want = c->GetPixels(x, y);
      ink += want != ColorToRGB(R->GetRulerColor());
      ASSERT_EQ(ui.Pixel(R, x, y), want) << Text << " at " << x << ", " << y;
    }
  EXPECT_GT(ink, 5) << Text << ": the area holds no text";
}

int TextWidth(TRulerBox* R, const std::string& Text) {
  TBitmap b(1, 1, pf24bit);
  b.GetCanvas()->SetFont(R->GetFont());
  return b.GetCanvas()->TextWidth(Text);
}

}  // namespace

TEST(RulerBox, LabelFormats) {
  const std::pair<double, const char*> general[] = {
      {0, "0"},          {40, "40"},           {-40, "-40"},          {0.5, "0.5"},
      {-0.25, "-0.25"},  {0.1 + 0.2, "0.3"},   {1.0 / 3, "0.333333333333333"},
      {0.0001, "0.0001"}, {0.00001, "1E-005"}, {1.5e-7, "1.5E-007"},  {123456789012345.0, "123456789012345"},
      {1e15, "1E015"},   {-2.5e20, "-2.5E020"}, {1e100, "1E100"},     {1e300, "1E300"},
      {2.675, "2.675"},  {99999999999999.99, "100000000000000"}};  // 16 digits rounded to 15
  for (auto [v, text] : general) EXPECT_EQ(RulerLabel(v, false), text) << v;
  const std::pair<double, const char*> hex[] = {{255, "FF"},  {-16, "-10"},      {0, "0"},   {15.9, "F"},
                                                {-0.0, "0"},  {0x1234567, "1234567"}, {4096, "1000"}};
  for (auto [v, text] : hex) EXPECT_EQ(RulerLabel(v, true), text) << v;
}

TEST(RulerBox, TicksAndLabelsAtKnownPixels) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  ASSERT_EQ(r->GetRulerHeight(), 21);  // Trunc(11 x 1.7) + 3
  // Defaults: small ticks (5 pixels up from row 21) every 10, labelled ticks (10 pixels) every 40.
  for (int x : {0, 10, 20, 290}) {
    EXPECT_EQ(ui.Pixel(r, x, 21), clBlack) << x;
    EXPECT_EQ(ui.Pixel(r, x, 17), clBlack) << x;
    EXPECT_EQ(ui.Pixel(r, x, 16), x % 40 ? kFace : clBlack) << x;  // labelled ticks are longer
  }
  EXPECT_EQ(ui.Pixel(r, 15, 21), kFace);
  EXPECT_EQ(ui.Pixel(r, 40, 12), clBlack);
  ExpectLabel(ui, r, "40", 40 - TextWidth(r, "40") / 2, 0, 0, Rect(25, 0, 56, 12));

  // ViewPos 15: the first small tick is at value 10, 5 pixels before the edge.
  r->SetViewPos(15);
  EXPECT_EQ(ui.Pixel(r, 5, 21), clBlack);
  EXPECT_EQ(ui.Pixel(r, 0, 21), kFace);
  EXPECT_EQ(ui.Pixel(r, 25, 12), clBlack);  // 40
  ExpectLabel(ui, r, "40", 25 - TextWidth(r, "40") / 2, 0, 0, Rect(12, 0, 40, 12));

  // Each tick from its own value: DotPerUnit 2.5, Frequency 3, ViewPos 1 puts the ticks of 3k at
  // Round(7.5k - 2.5): 5, 12 (12.5 to even), 20, 28 (27.5 to even).
  r->SetViewPos(1);
  r->SetDotPerUnit(2.5);
  r->SetFrequency(3);
  r->SetLabelFreq(1000);
  for (int x = 0; x < 32; ++x)
    EXPECT_EQ(ui.Pixel(r, x, 19), x == 5 || x == 12 || x == 20 || x == 28 ? clBlack : kFace) << x;

  // Hex labels every 0x100 at a quarter pixel per unit.
  r->SetViewPos(0);
  r->SetDotPerUnit(0.25);
  r->SetFrequency(64);
  r->SetLabelFreq(256);
  r->SetHexLabels(true);
  ExpectLabel(ui, r, "100", 64 - TextWidth(r, "100") / 2, 0, 0, Rect(48, 0, 82, 12));

  // Grips pointing down: the strip is rows 18 .. 39, ticks go down from row 18, labels at 29.
  r->SetGripsDir(gdDown);
  EXPECT_EQ(ui.Pixel(r, 64, 18), clBlack);
  EXPECT_EQ(ui.Pixel(r, 64, 27), clBlack);
  EXPECT_EQ(ui.Pixel(r, 16, 22), clBlack);
  EXPECT_EQ(ui.Pixel(r, 16, 23), kFace);
  ExpectLabel(ui, r, "100", 64 - TextWidth(r, "100") / 2, 29, 0, Rect(48, 28, 82, 40));

  // Vertical, strip on the left: ticks to the left of column 21; labels turned +90 degrees.
  r->SetBounds(50, 50, 40, 300);
  r->SetRulerDir(rdVertical);
  r->SetGripsDir(gdUp);
  r->SetHexLabels(false);
  r->SetDotPerUnit(1);
  r->SetFrequency(10);
  r->SetLabelFreq(40);
  EXPECT_EQ(ui.Pixel(r, 21, 30), clBlack);
  EXPECT_EQ(ui.Pixel(r, 17, 30), clBlack);
  EXPECT_EQ(ui.Pixel(r, 16, 30), kFace);
  EXPECT_EQ(ui.Pixel(r, 12, 80), clBlack);
  ExpectLabel(ui, r, "80", 0, 80 + TextWidth(r, "80") / 2, 900, Rect(0, 66, 12, 95));
  r->SetGripsDir(gdDown);  // strip on the right, labels turned -90 degrees and ending at the edge
  ExpectLabel(ui, r, "80", 40, 80 - TextWidth(r, "80") / 2, -900, Rect(28, 66, 40, 95));
}

TEST(RulerBox, GripGeometry) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  r->SetGripsPos(0, 50);
  struct Case {
    TGripsDir Dir;
    uint8_t Kind;
    std::vector<TPoint> Points;
  };
  const Case cases[] = {
      {gdUp, gkTriangle, {{44, 39}, {56, 39}, {50, 21}}},
      {gdUp, gkLeftTriangle, {{44, 39}, {50, 39}, {50, 21}}},
      {gdUp, gkRightTriangle, {{50, 39}, {56, 39}, {50, 21}}},
      {gdUp, gkArrow, {{47, 39}, {53, 39}, {53, 27}, {56, 27}, {50, 21}, {44, 27}, {47, 27}}},
      {gdUp, gkArrow2, {{44, 39}, {56, 39}, {56, 30}, {50, 21}, {44, 30}}},
      {gdDown, gkTriangle, {{44, 0}, {56, 0}, {50, 18}}},
      {gdDown, gkArrow, {{47, 0}, {53, 0}, {53, 12}, {56, 12}, {50, 18}, {44, 12}, {47, 12}}},
      {gdDown, gkArrow2, {{44, 0}, {56, 0}, {56, 9}, {50, 18}, {44, 9}}},
      {gdUp, uint8_t(0x80 | gkArrow2), {{44, 39}, {56, 39}, {56, 30}, {50, 21}, {44, 30}}},  // high bit ignored
      {gdUp, 9, {{44, 39}, {56, 39}, {50, 21}}},  // unknown shape: a triangle
  };
  for (const Case& c : cases) {
    r->SetGripsDir(c.Dir);
    r->SetGripsKind(0, c.Kind);
    TPoint p[7];
    const int n = r->GetGripPoly(0, p);
    EXPECT_EQ(std::vector<TPoint>(p, p + n), c.Points) << int(c.Dir) << " kind " << int(c.Kind);
  }
  TRect rc;
  r->SetGripsDir(gdUp);
  r->SetGripsKind(0, gkTriangle);
  ASSERT_TRUE(r->GetGripRect(0, rc));
  EXPECT_EQ(rc, Rect(44, 21, 57, 40));
  // Without the ruler the tip reaches the edge; vertical swaps the coordinates.
  r->SetRuler(false);
  TPoint p[7];
  r->GetGripPoly(0, p);
  EXPECT_EQ(p[2], Point(50, 0));
  r->SetRuler(true);
  r->SetBounds(50, 50, 40, 300);
  r->SetRulerDir(rdVertical);
  ASSERT_EQ(r->GetGripPoly(0, p), 3);
  EXPECT_EQ(p[0], Point(39, 44));
  EXPECT_EQ(p[2], Point(21, 50));
  EXPECT_EQ(r->GetGripPoly(-1, p), 0);

  // Drawn as filled polygons: brush in the grip's colour, black outline.
  r->SetBounds(50, 50, 300, 40);
  r->SetRulerDir(rdHorizontal);
  r->SetGripsPos(0, 55);
  r->SetGripsCol(0, clRed);
  EXPECT_EQ(ui.Pixel(r, 55, 35), clRed);
  EXPECT_EQ(ui.Pixel(r, 55, 39), clBlack);
  EXPECT_EQ(ui.Pixel(r, 45, 35), kFace);
  // Overlapping grips: the one drawn last is clicked.
  r->SetGripsCount(3);
  EXPECT_EQ(r->GetGripsCol(2), clBtnFace);
  r->SetGripsPos(1, 55);
  r->SetGripsPos(2, 57);
  EXPECT_EQ(r->GetClickedGrip(55, 35), 2);
  EXPECT_EQ(r->GetClickedGrip(50, 35), 1);  // grip 2's rectangle starts at 51
  EXPECT_EQ(r->GetClickedGrip(48, 35), -1);
  EXPECT_EQ(r->GetClickedGrip(100, 35), -1);
  // In the form designer the grips spread out: x = i x (GripBaseDim + 5).
  r->SetDesigning(true);
  r->GetGripPoly(2, p);
  EXPECT_EQ(p[2], Point(34, 21));
}

TEST(RulerBox, GripLimitsAndEvents) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  Log log;
  log.Attach(r);
  r->SetGripsMin(0, 0);
  r->SetGripsMax(0, 100);
  r->SetGripsPos(0, 150);
  EXPECT_EQ(r->GetGripsPos(0), 100);
  EXPECT_EQ(log.Events, std::vector<std::string>{"pos0"});  // once
  r->SetGripsPos(0, -5);
  EXPECT_EQ(r->GetGripsPos(0), 0);
  r->SetGripsPos(0, 60);
  log.Events.clear();
  r->SetGripsMax(0, 40);  // the grip moves inside its new limit, announced once
  EXPECT_EQ(r->GetGripsPos(0), 40);
  EXPECT_EQ(log.Events, std::vector<std::string>{"pos0"});
  r->SetGripsMin(0, 20);
  r->SetGripsMax(0, 20);  // equal limits: unconstrained
  r->SetGripsPos(0, 500);
  EXPECT_EQ(r->GetGripsPos(0), 500);

  // Indexes outside the grips are ignored; getters give 0.
  log.Events.clear();
  for (int i : {-1, 1, std::numeric_limits<int>::min()}) {
    r->SetGripsPos(i, 5);
    r->SetGripsMin(i, 1);
    EXPECT_EQ(r->GetGripsPos(i) + r->GetGripsCol(i) + r->GetGripsMax(i) + r->GetXGripPos(i), 0);
  }
  EXPECT_TRUE(log.Events.empty());
  r->SetGripsCount(-3);
  EXPECT_EQ(r->GetGripsCount(), 0);

  // New grips take the view limits; the view limits go to every grip and keep it inside.
  r->SetViewMin(10);
  r->SetViewMax(200);
  r->SetGripsCount(2);
  EXPECT_EQ(r->GetGripsMin(1), 10);
  EXPECT_EQ(r->GetGripsMax(1), 200);
  EXPECT_EQ(r->GetGripsPos(1), 10);  // new grips start at 0, which the limits move to 10
  EXPECT_EQ(r->GetGripsKind(1), gkTriangle);
  r->SetGripsPos(1, 150);
  r->SetViewMax(120);
  EXPECT_EQ(r->GetGripsMax(0), 120);
  EXPECT_EQ(r->GetGripsPos(1), 120);
}

TEST(RulerBox, ClicksAndDrags) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  Log log;
  log.Attach(r);
  r->SetGripsCount(2);
  r->SetGripsPos(0, 50);
  r->SetGripsPos(1, 150);
  r->SetGripsCol(0, clRed);
  log.Events.clear();

  ui.Move(r, 52, 35);  // hovering does nothing
  ui.Move(r, 10, 35);
  EXPECT_TRUE(log.Events.empty());
  ui.Click(r, 100, 30);  // off the grips: the value under the pointer
  ui.Click(r, 52, 35);   // a grip clicked where it was pressed
  ui.Click(r, 150, 35, mbRight);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"ruler100", "click0"}));

  // A drag keeps the grip's offset from the pointer: (80 - 2) / 1 + 0 = 78.
  log.Events.clear();
  ui.Advance(1000);  // not a double click
  ui.Drag(r, 52, 35, 80, 36, 2);
  EXPECT_EQ(r->GetGripsPos(0), 78);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"pos0", "pos0"}));
  EXPECT_EQ(ui.Pixel(r, 78, 35), clRed);
  EXPECT_EQ(ui.Pixel(r, 50, 35), kFace);

  log.Events.clear();
  ui.Advance(1000);
  ui.DoubleClick(r, 150, 35);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"click1", "dbl1", "click1"}));

  // At another scale the click reports units: 100 / 2 + 10 = 60.
  log.Events.clear();
  r->SetDotPerUnit(2);
  r->SetViewPos(10);
  ui.Advance(1000);
  ui.Click(r, 100, 30);
  EXPECT_EQ(log.Events, std::vector<std::string>{"ruler60"});
  // Vertical: the coordinate along the ruler is y.
  r->SetBounds(50, 50, 40, 300);
  r->SetRulerDir(rdVertical);
  log.Events.clear();
  ui.Click(r, 30, 41);
  EXPECT_EQ(log.Events, std::vector<std::string>{"ruler30.5"});
}

TEST(RulerBox, AutoScrollRunsOnTheClockAndStopsAtTheLimits) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  Log log;
  log.Attach(r);
  r->SetViewMin(0);
  r->SetViewMax(1000);
  r->SetViewPos(50);
  r->SetGripsPos(0, 100);  // pixel 50
  r->SetGripsCol(0, clRed);
  log.Events.clear();

  ui.Press(r, 50, 35);
  ui.Move(r, -10, 35);  // past the start: one pixel at once ...
  EXPECT_EQ(r->GetViewPos(), 49);
  EXPECT_EQ(r->GetGripsPos(0), 49);
  ui.Advance(10 * TRulerBox::kAutoScrollMs);  // ... and one per tick
  EXPECT_EQ(r->GetViewPos(), 39);
  EXPECT_EQ(r->GetGripsPos(0), 39);
  ui.Move(r, -20, 30);  // still before the start: the same scroll goes on
  ui.Advance(1000 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(r->GetViewPos(), 0);  // stopped at ViewMin
  EXPECT_EQ(r->GetGripsPos(0), 0);
  EXPECT_EQ(log.Count("pos0"), 50u);
  ui.Advance(100 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(log.Count("pos0"), 50u);  // no more events once stopped
  // The grip is drawn at the left edge.
  EXPECT_EQ(ui.Pixel(r, 0, 35), clRed);

  // Back inside: the grip follows the pointer again, no scrolling.
  ui.Move(r, 100, 35);
  EXPECT_EQ(r->GetGripsPos(0), 100);
  ui.Advance(10 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(r->GetViewPos(), 0);
  // Past the end up to ViewMax - the width in units (700): the grip at the last pixel, 999.
  ui.Move(r, 400, 35);
  EXPECT_EQ(r->GetViewPos(), 1);
  EXPECT_EQ(r->GetGripsPos(0), 300);
  ui.Advance(2000 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(r->GetViewPos(), 700);
  EXPECT_EQ(r->GetGripsPos(0), 999);
  ui.ReleaseAt(r, 400, 35);
  EXPECT_EQ(log.Count("click0"), 0u);

  // Without limits it scrolls while the button is held and stops at the release.
  r->SetViewMin(0);
  r->SetViewMax(0);
  r->SetGripsMin(0, 0);
  r->SetGripsMax(0, 0);
  r->SetViewPos(0);
  r->SetGripsPos(0, 10);
  ui.Press(r, 10, 35);
  ui.Move(r, -5, 35);
  ui.Advance(5 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(r->GetViewPos(), -6);
  EXPECT_EQ(r->GetGripsPos(0), -6);
  ui.ReleaseAt(r, -5, 35);
  ui.Advance(50 * TRulerBox::kAutoScrollMs);
  EXPECT_EQ(r->GetViewPos(), -6);
}

TEST(RulerBox, DegenerateSettingsNeitherDivideByZeroNorLoop) {
  UiHarness ui;
  TRulerBox* r = NewRuler(ui);
  for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    r->SetDotPerUnit(bad);
    EXPECT_EQ(r->GetDotPerUnit(), 1.0);
  }
  // FitInView with an empty range keeps the scale; with a range, the ruler's length fills it.
  r->SetFitInView(true);
  EXPECT_EQ(r->GetDotPerUnit(), 1.0);
  r->SetViewMax(150);
  EXPECT_EQ(r->GetDotPerUnit(), 2.0);
  r->SetBounds(50, 50, 40, 300);
  r->SetRulerDir(rdVertical);
  EXPECT_EQ(r->GetDotPerUnit(), 2.0);  // along the height
  r->SetFitInView(false);
  r->SetRulerDir(rdHorizontal);
  r->SetBounds(50, 50, 300, 40);
  // A range shorter than the view is shown from its start.
  r->SetDotPerUnit(1);
  r->SetViewMax(100);
  r->SetViewPos(50);
  EXPECT_EQ(r->GetViewPos(), 0);

  // Spacings that are not positive, or under a pixel, draw no ticks and return at once.
  for (double f : {0.0, -5.0, 1e-12, 1e-300, std::nan("")}) {
    r->SetFrequency(f);
    r->SetLabelFreq(f);
    EXPECT_EQ(ui.Pixel(r, 10, 21), kFace) << f;
  }
  r->SetFrequency(10);
  r->SetLabelFreq(40);
  r->SetViewMax(0);
  r->SetGripsPos(0, 1e300);  // far away: drawn beyond the edge
  r->SetViewPos(-1e300);
  ui.Pump();
  // Tiny controls, grips dragged over them.
  for (auto [w, h] : {std::pair{1, 1}, {0, 0}, {3, 200}, {300, 2}}) {
    r->SetBounds(50, 50, w, h);
    r->SetViewPos(0);
    r->SetGripsPos(0, 0);
    ui.Drag(r, 0, 0, w + 20, h + 20, 2);
    ui.Advance(10 * TRulerBox::kAutoScrollMs);
    r->SetRulerDir(r->GetRulerDir() == rdHorizontal ? rdVertical : rdHorizontal);
  }
  r->SetGripBaseDim(-4);
  r->SetGripBaseDim(1 << 30);
  ui.Pump();
}
