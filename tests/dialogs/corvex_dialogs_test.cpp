// The all-in-one view's dialogs end to end: open a file by typing its name, save it under a new
// name with the JPEG quality chosen through Options, headless, driven by keys and clicks.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/IOPreviews.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"
#include "tests/common/testing.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::NewTwoToneView;
using testing_support::ReadFileBytes;
using testing_support::TempPath;
using testing_support::UiHarness;

using Steps = testing_support::ModalSteps;

template <class F>
F* Active() {
  return dynamic_cast<F*>(Screen().GetActiveForm());
}

TEST(CorvexDialogs, OpenByNameThenSaveWithOptions) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvex>(ui, 200, 150, 80, 60, clGreen, clYellow);
  const std::string folder = TempPath("corvex_dialogs");
  std::filesystem::create_directories(folder);
  v->SaveToFile(folder + "/start.png");
  ASSERT_FALSE(v->GetAborting());
  v->Blank();

  Steps s;
  s.steps = {[&] {
    ASSERT_NE(Active<TCXFileDialogForm>(), nullptr);
    ui.Type(U"start.png");
    ui.Key(VK_RETURN);
  }};
  const std::string opened = v->ExecuteOpenDialog(folder, "");
  ASSERT_EQ(opened, folder + "/start.png");
  v->LoadFromFile(opened);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 80);

  // Save as JPEG: the name without extension gets the chosen filter's; Options sets quality 10.
  s.steps = {[&] {
               TCXFileDialogForm* f = Active<TCXFileDialogForm>();
               ASSERT_NE(f, nullptr);
               TComboBox* filter = f->GetFilterCombo();
               const auto& items = filter->GetItems();
               for (size_t i = 0; i < items.size(); ++i)
                 if (items[i].rfind("JPEG", 0) == 0) filter->SetItemIndex(int(i));
               filter->OnChange(filter);  // as a choice in the list does
               ASSERT_NE(f->GetOptionsButton(), nullptr);
               f->GetFileNameEdit()->SetText("copy");
               f->GetOptionsButton()->Click();  // runs the format dialog: the next steps are its
             },
             [&] {
               auto* o = Active<TfIOPreviews>();
               ASSERT_NE(o, nullptr);
               EXPECT_EQ(o->GetFileTypes(), std::vector<int>{ioJPEG});
               o->JpegQualityEdit->SetValue(10);
               o->GetOkButton()->Click();
             },
             [&] { Active<TCXFileDialogForm>()->GetOkButton()->Click(); }};
  const std::string saved = v->ExecuteSaveDialog(folder, "");
  ASSERT_EQ(saved, folder + "/copy.jpg");
  EXPECT_EQ(v->GetIOParams().JPEG_Quality, 10);
  v->SaveToFile(saved);

  TCorvexIO plain;
  TBitmap copy;
  copy.Assign(v->GetBitmap());
  plain.SetAttachedBitmap(&copy);
  plain.GetParams().DpiX = plain.GetParams().DpiY = v->GetIOParams().DpiX;  // from the opened PNG
  plain.GetParams().JPEG_Quality = 10;
  plain.SaveToFileJpeg(TempPath("q10.jpg"));
  EXPECT_EQ(ReadFileBytes(saved), ReadFileBytes(TempPath("q10.jpg")));

  // Cancelled: an empty name.
  s.steps = {[&] { ui.Key(VK_ESCAPE); }};
  EXPECT_EQ(v->ExecuteOpenDialog(folder, ""), "");
}

}  // namespace
}  // namespace corvex
