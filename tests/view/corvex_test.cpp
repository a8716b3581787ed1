// The all-in-one view: its inner components and what it forwards to them.
#include <gtest/gtest.h>

#include "corvex/view/Corvex.h"
#include "tests/common/codec_testing.h"
#include "tests/common/testing.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using testing_support::NewTwoToneView;
using testing_support::ProgressLog;
using testing_support::TempPath;
using testing_support::UiHarness;

TEST(Corvex, OneControlLoadsEditsAndSaves) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvex>(ui, 200, 150, 64, 48, clRed, clBlue);
  ASSERT_EQ(v->GetProc()->GetAttachedCorvex(), v);
  ASSERT_EQ(v->GetIO()->GetAttachedCorvex(), v);
  EXPECT_TRUE(v->GetAutoUndo());

  // One progress handler set on the view hears both saving and processing.
  ProgressLog log;
  v->SetOnProgress(log.Event());
  const std::string file = TempPath("corvex.png");
  v->SaveToFile(file);
  ASSERT_FALSE(v->GetAborting());
  const size_t afterSave = log.seen.size();
  EXPECT_GT(afterSave, 0u);
  v->Negative();
  EXPECT_GT(log.seen.size(), afterSave);
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(0, 0), TColor(0xFFFF00));  // red negated
  EXPECT_TRUE(v->GetCanUndo());
  v->Undo();
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(0, 0), clRed);

  // Clear is the processing component's: undoable, unlike the view's own.
  v->ClearUndo();
  v->SetBackGround(clWhite);
  v->Clear();
  EXPECT_TRUE(v->GetCanUndo());
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(40, 10), clWhite);

  // The saved file comes back through the I/O component, with its parameters.
  v->LoadFromFile(file);
  EXPECT_EQ(v->GetIOParams().FileType, ioPNG);
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(40, 10), clBlue);

  // Properties written to both components; read back from the one the view reads.
  v->SetMsgLanguage(msItalian);
  EXPECT_EQ(v->GetProc()->GetMsgLanguage(), msItalian);
  EXPECT_EQ(v->GetIO()->GetMsgLanguage(), msItalian);
  TFont f;
  f.SetName("DejaVu Serif");
  v->SetPreviewFont(&f);
  EXPECT_EQ(v->GetProc()->GetPreviewFont()->GetName(), "DejaVu Serif");
  EXPECT_EQ(v->GetPreviewFont()->GetName(), "DejaVu Serif");
  v->SetIOPreviewsParams({ioppDefaultLockPreview});
  EXPECT_TRUE(v->GetIO()->GetPreviewsParams().Contains(ioppDefaultLockPreview));

  // Assign takes another all-in-one view's parameters and image.
  auto* w = new TCorvex(v->GetOwner());
  w->GetIOParams().JPEG_Quality = 33;
  TBitmap small(5, 4, pf24bit);
  w->TCorvexView::Assign(&small);
  v->Assign(w);
  EXPECT_EQ(v->GetIOParams().JPEG_Quality, 33);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 5);
  v->Assign(&small);  // a bitmap: the image only, parameters untouched
  EXPECT_EQ(v->GetIOParams().JPEG_Quality, 33);
}

}  // namespace
}  // namespace corvex
