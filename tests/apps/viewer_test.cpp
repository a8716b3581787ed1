// The viewer window of `corvex view`, driven headless: tool-bar clicks, keys and the file dialogs.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "apps/corvex/viewer.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::TempPath;
using testing_support::UiHarness;

TEST(Viewer, ToolBarKeysAndDialogs) {
  UiHarness ui;
  tool::ViewerForm f(800, 320);  // wide enough for the whole tool bar
  std::string error;
  ASSERT_TRUE(f.Open(std::string(CORVEX_SOURCE_DIR) + "/samples/testcard.png", error)) << error;
  f.Show();
  ui.Pump();
  TCorvex* v = f.View();
  auto click = [&](const std::string& caption) {
    TSpeedButton* b = f.Button(caption);
    ASSERT_NE(b, nullptr) << caption;
    ui.Click(b, b->GetWidth() / 2, b->GetHeight() / 2);
  };
  auto pixel = [&](int x, int y) { return v->GetBitmap()->GetCanvas()->GetPixels(x, y); };

  const TColor white = pixel(10, 10);  // the first colour bar
  click("Negative");
  EXPECT_EQ(pixel(10, 10), TColor(0xFFFFFF - white));
  click("Undo");
  EXPECT_EQ(pixel(10, 10), white);
  click("\u27F2 90\u00B0");
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 480);  // the 640 x 480 card turned
  EXPECT_EQ(v->GetBitmap()->GetHeight(), 640);
  ui.Key('Z', {ssCtrl});
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 640);
  click("Fit");
  const int fitted = v->GetZoom();
  EXPECT_LT(fitted, 100);
  ui.Key(VK_ADD, {}, U'+');
  EXPECT_GT(v->GetZoom(), fitted);

  // Save As through the dialog (typed name), then Open the saved file through the dialog.
  const std::string folder = TempPath("viewer");
  std::filesystem::create_directories(folder);
  testing_support::ModalSteps script;
  auto& steps = script.steps;
  click("Negative");
  steps = {[&] {
    ui.Type(U"" + std::u32string(folder.begin(), folder.end()) + U"/neg.bmp");
    ui.Key(VK_RETURN);
  }};
  click("Save As");
  ASSERT_TRUE(std::filesystem::exists(folder + "/neg.bmp"));
  click("Undo");
  steps = {[&] {
    ui.Type(U"neg.bmp");
    ui.Key(VK_RETURN);
  }};
  click("Open");
  EXPECT_EQ(f.File(), folder + "/neg.bmp");
  EXPECT_EQ(pixel(10, 10), TColor(0xFFFFFF - white));
  f.Hide();
}

}  // namespace
}  // namespace corvex
