// The histogram box: bar and line plots of a known histogram, the label and colour-bar layout,
// and the blank cases (no component, nothing selected, the component gone).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "corvex/controls/HistogramBox.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/proc/CorvexProc.h"
#include "tests/common/ui_harness.h"

using namespace corvex;
using corvex::testing_support::UiHarness;

namespace {

// 10 x 1 pixels: 6 black (grey 0), 3 of 100 (grey 99), 1 of 200 (grey 198).
void KnownImage(TBitmap& B) {
  B.Allocate(10, 1, pf24bit);
  auto* p = reinterpret_cast<TRGB*>(B.ScanLine(0));
  for (int i = 0; i < 10; ++i) {
    const uint8_t v = i < 6 ? 0 : i < 9 ? 100 : 200;
    p[i] = TRGB{v, v, v};
  }
}

THistogramBox* NewBox(UiHarness& ui) {
  TForm* f = ui.NewForm(400, 300);
  auto* h = new THistogramBox(f);
  h->SetParent(f);
  ui.Pump();
  return h;
}

bool AllPixels(UiHarness& ui, THistogramBox* h, TColor c) {
  for (int y = 0; y < h->GetHeight(); ++y)
    for (int x = 0; x < h->GetWidth(); ++x)
      if (ui.Pixel(h, x, y) != c) return false;
  return true;
}

}  // namespace

TEST(HistogramBox, BarsAndLinesOfAKnownHistogram) {
  UiHarness ui;
  TBitmap img;
  KnownImage(img);
  TCorvexProc proc(nullptr);
  proc.SetAttachedBitmap(&img);
  THistogramBox* h = NewBox(ui);
  EXPECT_EQ(h->GetWidth(), 256);
  EXPECT_EQ(h->GetHeight(), 105);
  h->SetLabels({});
  h->SetCompBar(false);
  h->SetAttachedCorvexProc(&proc);
  // The whole control plots: column u is level u, a count v is Round(v / 6 x 105) high, the bar
  // running from row 104 up to row 105 - height - 1.
  for (int y = 0; y < 105; ++y) EXPECT_EQ(ui.Pixel(h, 0, y), clBlack) << y;  // 6: full height
  EXPECT_EQ(ui.Pixel(h, 99, 52), clBlack);  // 3: Round(52.5) = 52 (ties to even)
  EXPECT_EQ(ui.Pixel(h, 99, 51), clWhite);
  EXPECT_EQ(ui.Pixel(h, 198, 86), clBlack);  // 1: Round(17.5) = 18
  EXPECT_EQ(ui.Pixel(h, 198, 85), clWhite);
  EXPECT_EQ(ui.Pixel(h, 50, 104), clBlack);  // an empty level still shows its baseline pixel
  EXPECT_EQ(ui.Pixel(h, 50, 103), clWhite);

  // Red and blue: blue is drawn after red over the same counts.
  h->SetHistogramKind({hkRed, hkBlue});
  EXPECT_EQ(ui.Pixel(h, 100, 60), TColor(0xFF0000));
  EXPECT_EQ(ui.Pixel(h, 99, 60), clWhite);
  h->SetHistogramKind({hkGreen});
  EXPECT_EQ(ui.Pixel(h, 100, 60), TColor(0x008000));

  // Lines: from the baseline at the left through (u, 105 - height - 1).
  h->SetHistogramKind({hkGray});
  h->SetHistogramStyle(hsLines);
  EXPECT_EQ(ui.Pixel(h, 0, 0), clBlack);
  EXPECT_EQ(ui.Pixel(h, 50, 104), clBlack);
  EXPECT_EQ(ui.Pixel(h, 99, 52), clBlack);
  EXPECT_EQ(ui.Pixel(h, 99, 60), clBlack);  // the steep edge into the peak
  EXPECT_EQ(ui.Pixel(h, 50, 60), clWhite);
  EXPECT_EQ(ui.Pixel(h, 150, 103), clWhite);

  // The plot does not follow the image until Update.
  img.Allocate(10, 1, pf24bit);  // all black
  EXPECT_EQ(ui.Pixel(h, 99, 52), clBlack);
  h->Update();
  EXPECT_EQ(ui.Pixel(h, 99, 52), clWhite);
}

TEST(HistogramBox, LabelsAxesAndColourBarLayout) {
  UiHarness ui;
  TBitmap img;
  KnownImage(img);
  TCorvexProc proc(nullptr);
  proc.SetAttachedBitmap(&img);
  THistogramBox* h = NewBox(ui);
  h->SetAttachedCorvexProc(&proc);
  // th = 11, bar height Trunc(13.2) = 13, B = 105 - 15 = 90; the vertical labels "6" and "3"
  // move the plot right by the width of "6" + 2; the level labels take the text height + 2.
  TBitmap probe(1, 1, pf24bit);
  probe.GetCanvas()->SetFont(h->GetFont());
  const int x0 = probe.GetCanvas()->TextWidth("6") + 2, W = 256 - x0;
  const int B = 90 - probe.GetCanvas()->TextHeight("6") - 2;
  // Axes: the column left of the plot and the row under it.
  EXPECT_EQ(ui.Pixel(h, x0 - 1, 0), clBlack);
  EXPECT_EQ(ui.Pixel(h, x0 - 1, B - 1), clBlack);
  EXPECT_EQ(ui.Pixel(h, x0 + W - 1, B), clBlack);
  EXPECT_EQ(ui.Pixel(h, x0 + W - 1, B + 1), clWhite);
  // The plot over the new bottom: level 0 (six pixels) fills the plot's first column.
  EXPECT_EQ(ui.Pixel(h, x0, 0), clBlack);
  EXPECT_EQ(ui.Pixel(h, x0, B - 1), clBlack);
  int u99 = 0;  // a column of level Trunc(u / W x 256) = 99
  while (u99 < W && Trunc(double(u99) / W * 256) != 99) ++u99;
  ASSERT_LT(u99, W);
  EXPECT_EQ(ui.Pixel(h, x0 + u99, B - Round(3 / 6.0 * B) - 1), clBlack);
  EXPECT_EQ(ui.Pixel(h, x0 + u99, B - Round(3 / 6.0 * B) - 2), clWhite);
  // The colour bar: the bottom 13 rows ramp through Round(u / W x 256), limited to 255.
  for (int u : {0, 1, W / 2, W - 1}) {
    const int g = std::min(255, Round(double(u) / W * 256));
    EXPECT_EQ(ui.Pixel(h, x0 + u, 104), RGBColor(uint8_t(g), uint8_t(g), uint8_t(g))) << u;
    EXPECT_EQ(ui.Pixel(h, x0 + u, 92), RGBColor(uint8_t(g), uint8_t(g), uint8_t(g))) << u;
  }
  EXPECT_EQ(ui.Pixel(h, x0 + W / 2, 91), clWhite);
  EXPECT_EQ(ui.Pixel(h, x0 - 1, 100), clWhite);
  // Red and green kinds give a red-green ramp.
  h->SetHistogramKind({hkRed, hkGreen});
  const int g = Round(double(W / 2) / W * 256);
  EXPECT_EQ(ui.Pixel(h, x0 + W / 2, 100), RGBColor(uint8_t(g), uint8_t(g), 0));

  // Tiny boxes lay out without a plot and do not fail.
  for (auto [w, hh] : {std::pair{5, 5}, {0, 0}, {1, 30}, {30, 1}}) h->SetBounds(0, 0, w, hh);
  h->SetBounds(0, 0, 256, 105);
  h->SetBackground(clYellow);
  EXPECT_EQ(ui.Pixel(h, 200, 10), clYellow);
}

TEST(HistogramBox, BlankWithoutAComponentOrCounts) {
  UiHarness ui;
  THistogramBox* h = NewBox(ui);
  EXPECT_TRUE(AllPixels(ui, h, clWhite));  // no component: background only

  TBitmap img;
  KnownImage(img);
  auto* proc = new TCorvexProc(nullptr);
  proc->SetAttachedBitmap(&img);
  h->SetAttachedCorvexProc(proc);
  EXPECT_FALSE(AllPixels(ui, h, clWhite));
  h->SetHistogramKind({});  // nothing selected: all counts zero, no labels
  EXPECT_TRUE(AllPixels(ui, h, clWhite));
  h->SetHistogramKind({hkGray});
  EXPECT_FALSE(AllPixels(ui, h, clWhite));

  // The component is freed: the box forgets it, and the next update is blank.
  delete proc;
  EXPECT_EQ(h->GetAttachedCorvexProc(), nullptr);
  h->Update();
  EXPECT_TRUE(AllPixels(ui, h, clWhite));
}
