// The format-parameters dialog, driven through DoPreviews with keys and clicks while it runs.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "corvex/dialogs/IOPreviews.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/comctrls.h"
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

// Steps run one per idle turn of the modal loop; when they run out the loop ends (Cancel).
struct Script : TObject, testing_support::ModalSteps {
  TfIOPreviews* form = nullptr;
  void Shown(TObject*, TForm* f) { form = dynamic_cast<TfIOPreviews*>(f); }
};

std::vector<uint8_t> RecordBytes(const TIOParamsVals& p) {
  TMemoryStream m;
  p.SaveToStream(&m);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
}

TEST(IOPreviews, OkWritesTheEditedRecordAndCancelLeavesItAsItWas) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvex>(ui, 200, 150, 96, 64, clRed, clNavy);
  TIOParamsVals& params = v->GetIOParams();
  params.FileType = ioJPEG;
  params.JPEG_Quality = 75;
  Script s;
  v->SetOnIOPreview(TCXIOPreviewEvent(&s, &Script::Shown));

  // The quality track bar to its minimum with Home: the preview is written again and smaller.
  int64_t before = 0, after = 0;
  s.steps = {[&] {
               ASSERT_NE(s.form, nullptr);
               EXPECT_EQ(s.form->GetFileType(), ioJPEG);  // the record's own page first
               before = s.form->GetResultSize();
               s.form->JpegQuality->SetFocus();
               ui.Key(VK_HOME);
               after = s.form->GetResultSize();
               EXPECT_EQ(s.form->JpegQualityEdit->GetValue(), 1);
             },
             [&] { ui.Key(VK_RETURN); }};  // the default button
  ASSERT_TRUE(v->DoIOPreviews({ppALL}));
  EXPECT_GT(before, 0);
  EXPECT_LT(after, before);
  EXPECT_EQ(params.JPEG_Quality, 1);

  // The file saved afterwards is the one quality 1 writes.
  const std::string viaDialog = TempPath("dialog.jpg"), direct = TempPath("direct.jpg");
  v->SaveToFile(viaDialog);
  TCorvexIO plain;
  TBitmap copy;
  copy.Assign(v->GetBitmap());
  plain.SetAttachedBitmap(&copy);
  plain.GetParams().JPEG_Quality = 1;
  plain.SaveToFileJpeg(direct);
  EXPECT_EQ(ReadFileBytes(viaDialog), ReadFileBytes(direct));

  // Fields changed on several pages, then Escape: the record is byte for byte what it was.
  const std::vector<uint8_t> saved = RecordBytes(params);
  s.steps = {[&] {
               s.form->JpegGray->SetFocus();
               ui.Key(VK_SPACE, {}, U' ');
               EXPECT_TRUE(s.form->GetEdited().JPEG_ColorSpace == ioJPEG_GRAYLEV);
               s.form->SetFileType(ioTIFF);
               s.form->TiffPageName->SetFocus();
               ui.Type(U"page one");
               s.form->SetFileType(ioBMP);
               s.form->BmpDepth->SetFocus();
               ui.Key(VK_UP);
               EXPECT_EQ(s.form->GetEdited().BitsPerSample, 8);
               EXPECT_EQ(s.form->GetEdited().SamplesPerPixel, 1);
               EXPECT_EQ(s.form->TgaDepth->GetItemIndex(), 2);  // the other depth pages follow
             },
             [&] { ui.Key(VK_ESCAPE); }};
  EXPECT_FALSE(v->DoIOPreviews({ppALL}));
  EXPECT_EQ(RecordBytes(params), saved);
}

TEST(IOPreviews, PagesOfferedAndLockedPreview) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvex>(ui, 200, 150, 40, 30, clWhite, clBlack);
  TIOParamsVals& params = v->GetIOParams();
  const struct {
    TPreviewPages pages;
    int fileType;
    std::vector<int> want;
  } cases[] = {
      {{ppALL}, ioPNG, {ioJPEG, ioTIFF, ioGIF, ioBMP, ioPCX, ioPNG, ioTGA}},
      {{ppAUTO}, ioPNG, {ioPNG}},
      {{ppAUTO, ppGIF}, ioTGA, {ioGIF, ioTGA}},
      {{ppAUTO}, ioICO, {}},  // nothing to offer: no dialog
  };
  for (const auto& c : cases) {
    params.FileType = c.fileType;
    TfIOPreviews f(v->GetIO(), params, c.pages, v->GetBitmap());
    EXPECT_EQ(f.GetFileTypes(), c.want);
    if (!c.want.empty()) {
      EXPECT_EQ(f.GetFileType(), c.fileType);
    }
  }
  params.FileType = ioICO;
  EXPECT_FALSE(v->DoIOPreviews({ppAUTO}));

  // Locked: field changes wait for the Preview button (or the lock's release).
  v->SetIOPreviewsParams({ioppDefaultLockPreview});
  params.FileType = ioPNG;
  TfIOPreviews f(v->GetIO(), params, {ppPNG}, v->GetBitmap());
  EXPECT_TRUE(f.GetLockPreview());
  EXPECT_EQ(f.GetResultSize(), 0);
  f.PngCompression->SetPosition(0);
  EXPECT_EQ(f.GetResultSize(), 0);
  f.SetLockPreview(false);
  const int64_t stored = f.GetResultSize();
  EXPECT_GT(stored, 40 * 30 * 3);  // level 0: the pixels stored as they are
  f.PngCompression->SetPosition(9);
  EXPECT_LT(f.GetResultSize(), stored);
  EXPECT_EQ(f.GetResultView()->GetBitmap()->GetWidth(), 40);  // read back from the written bytes
}

}  // namespace
}  // namespace corvex
