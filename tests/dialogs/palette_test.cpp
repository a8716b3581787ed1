// The palette dialog: hover, click, Cancel, and the palette it draws, driven while it runs.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "corvex/dialogs/PaletteDialog.h"
#include "corvex/platform/graphics/canvas.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

using Steps = testing_support::ModalSteps;

std::vector<TRGB> Ramp(int n) {
  std::vector<TRGB> p;
  for (int i = 0; i < n; ++i) p.push_back(CreateRGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
  return p;
}

TEST(PaletteDialog, HoverClickAndCancel) {
  UiHarness ui;
  std::vector<TRGB> pal = Ramp(256);
  TCorvexPaletteDialog dlg(nullptr);
  dlg.SetPalette(pal.data(), 300);  // more than a palette holds: 256 are taken
  EXPECT_EQ(dlg.GetCount(), 256);
  pal[5] = CreateRGB(1, 2, 3);  // the dialog keeps its own copy

  // Cell geometry and hit testing: 32 columns of 16 pixels from (1, 1); nothing right of them.
  EXPECT_EQ(TCorvexPaletteDialog::CellRect(33), Rect(17, 17, 32, 32));
  const struct {
    int x, y, index;
  } hits[] = {{0, 0, 0}, {16, 16, 0}, {17, 1, 1}, {512, 1, 31}, {513, 1, -1}, {530, 20, -1}, {1, 128, 224}, {1, 129, -1}};
  for (const auto& h : hits) EXPECT_EQ(dlg.IndexAt(h.x, h.y), h.index) << h.x << "," << h.y;

  Steps s;
  s.steps = {[&] {
               ui.Click(&dlg, 300, 180);  // below the grid, nothing highlighted yet: the click is ignored
               EXPECT_EQ(dlg.GetModalResult(), mrNone);
               ui.Move(&dlg, 5 * 16 + 8, 8);
               EXPECT_EQ(dlg.GetHighlighted(), 5);
               ui.Move(&dlg, 530, 8);  // beyond the last column: no wrap into the next row
               EXPECT_EQ(dlg.GetHighlighted(), 5);
               ui.Pump();
               EXPECT_EQ(ui.Pixel(&dlg, 5 * 16 + 1, 1), clBlack);  // the highlighted outline
               EXPECT_EQ(ui.Pixel(&dlg, 6 * 16 + 1, 1), clWhite);
               EXPECT_EQ(ui.Pixel(&dlg, 5 * 16 + 8, 8), TRGB2TColor(Ramp(6)[5]));  // the copy's colour
             },
             [&] { ui.Click(&dlg, 5 * 16 + 8, 8); }};
  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.GetSelectedIndex(), 5);
  EXPECT_EQ(dlg.GetSelectedColor(), TRGB2TColor(Ramp(6)[5]));

  // A short palette: the empty part of the grid keeps the highlight; Escape cancels and keeps
  // the colour chosen before.
  dlg.SetPalette(pal.data(), 16);
  s.steps = {[&] {
               ui.Move(&dlg, 3 * 16 + 8, 8);
               ui.Move(&dlg, 400, 8);
               EXPECT_EQ(dlg.GetHighlighted(), 3);
             },
             [&] { ui.Key(VK_ESCAPE); }};
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.GetSelectedColor(), TRGB2TColor(Ramp(6)[5]));
}

}  // namespace
}  // namespace corvex
