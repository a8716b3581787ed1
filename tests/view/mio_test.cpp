// The multi-image I/O component: GIF, TIFF and AVI files of several images through a multi-image
// view, records kept in step with the view's list, aborts that leave the file that was there.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/view/CXMIO.h"
#include "corvex/view/CXMView.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::ReadFileBytes;
using testing_support::TempPath;
using testing_support::UiHarness;

std::unique_ptr<TBitmap> Solid(int w, int h, TColor c) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  b->GetCanvas()->GetBrush()->SetColor(c);
  b->GetCanvas()->FillRect(Rect(0, 0, w, h));
  b->GetCanvas()->SetPixels(1, 1, clWhite);  // a mark that tells the images' orientation
  return b;
}

// A multi-image view on a form of the harness, with its I/O component.
struct Rig {
  TForm* form;
  TCorvexMView* view;
  TCorvexMIO* mio;
  explicit Rig(UiHarness& ui) : form(ui.NewForm(400, 300)), view(new TCorvexMView(form)), mio(new TCorvexMIO(form)) {
    CXInstallLZW();
    view->SetParent(form);
    view->SetBounds(0, 0, 400, 300);
    mio->SetAttachedMView(view);
  }
  void Add(const std::unique_ptr<TBitmap>& b, int delay) {
    const int i = view->AppendImage();
    view->SetImage(i, b.get());
    view->SetImageDelayTime(i, delay);
  }
  TColor Pixel(int image, int x, int y) {
    TBitmap* b = view->GetBitmap(image);
    const TColor c = b != nullptr ? b->GetCanvas()->GetPixels(x, y) : TColor(-1);
    view->ReleaseBitmap(image);
    return c;
  }
};

const TColor kColours[] = {clRed, clLime, clBlue, clYellow};

TEST(MultiImageIO, GifAndTiffRoundTripsInsertAtTheSelection) {
  UiHarness ui;
  Rig a(ui);
  for (int i = 0; i < 4; ++i) a.Add(Solid(20, 10, kColours[i]), 0);
  ASSERT_EQ(a.mio->GetParamsCount(), 4);
  a.mio->GetParams(0)->GIF_DelayTime = 5;   // 50 ms
  a.mio->GetParams(1)->GIF_DelayTime = 0;   // none: takes the frame before's
  a.mio->GetParams(2)->GIF_DelayTime = 20;  // 200 ms
  a.mio->GetParams(3)->GIF_DelayTime = 0;
  const std::string gif = TempPath("mio.gif"), tif = TempPath("mio.tif");
  a.mio->SaveToFile(gif);
  ASSERT_FALSE(a.mio->GetAborting());
  a.mio->SaveToFile(tif);
  ASSERT_FALSE(a.mio->GetAborting());
  EXPECT_EQ(EnumGifIm(gif), 4);
  EXPECT_EQ(EnumTIFFIm(tif), 4);

  // Into a view of 6 images whose selection is 5: the file's images land at 5, 6, 7, 8.
  Rig b(ui);
  for (int i = 0; i < 6; ++i) b.Add(Solid(8, 8, clGray), 100);
  b.view->SetSelectedItem(5);
  b.mio->LoadFromFile(gif);
  ASSERT_FALSE(b.mio->GetAborting());
  ASSERT_EQ(b.view->GetImageCount(), 10);
  ASSERT_EQ(b.mio->GetParamsCount(), 10);
  const int delays[] = {50, 50, 200, 200};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(b.Pixel(5 + i, 10, 5), kColours[i]) << i;
    EXPECT_EQ(b.view->GetImageDelayTime(5 + i), delays[i]) << i;
    EXPECT_EQ(b.mio->GetParams(5 + i)->GIF_ImageIndex, 5 + i);
    EXPECT_EQ(b.mio->GetParams(5 + i)->FileType, ioGIF);
  }
  EXPECT_EQ(b.Pixel(9, 3, 3), clGray);  // the image that was at 5 follows the inserted ones

  // TIFF pages come back exactly, 100 ms each; the records follow deletions and moves.
  Rig c(ui);
  c.mio->LoadFromFile(tif);
  ASSERT_EQ(c.view->GetImageCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c.Pixel(i, 10, 5), kColours[i]);
    EXPECT_EQ(c.Pixel(i, 1, 1), clWhite);
    EXPECT_EQ(c.view->GetImageDelayTime(i), 100);
    EXPECT_EQ(c.mio->GetParams(i)->FileType, ioTIFF);
  }
  c.mio->GetParams(3)->TIFF_PageName = "last";
  c.view->DeleteImage(1);
  EXPECT_EQ(c.mio->GetParamsCount(), 3);
  c.view->MoveImage(2, 0);
  EXPECT_EQ(c.mio->GetParams(0)->TIFF_PageName, "last");
  EXPECT_EQ(c.mio->GetParams(0)->TIFF_ImageIndex, 0);
  EXPECT_EQ(c.Pixel(0, 10, 5), kColours[3]);
  std::remove(gif.c_str());
  std::remove(tif.c_str());
}

TEST(MultiImageIO, AbortedSaveKeepsTheFileAndBadInputLoadsNothing) {
  UiHarness ui;
  Rig a(ui);
  for (int i = 0; i < 3; ++i) a.Add(Solid(16, 16, kColours[i]), 100);
  const std::string tif = TempPath("keep.tif");
  a.mio->SaveToFileTIFF(tif);
  const std::vector<uint8_t> before = ReadFileBytes(tif);

  struct Stopper : TObject {
    TCorvexMIO* mio = nullptr;
    void On(TObject*, int per) {
      if (per > 0) mio->SetAborting(true);
    }
  } stop;
  stop.mio = a.mio;
  a.Add(Solid(16, 16, clWhite), 100);
  a.mio->OnProgress = TCXProgressEvent(&stop, &Stopper::On);
  a.mio->SaveToFileTIFF(tif);
  EXPECT_TRUE(a.mio->GetAborting());
  EXPECT_EQ(ReadFileBytes(tif), before);  // still the three-page file

  // Not a GIF: nothing is inserted, the abort flag tells.
  Rig b(ui);
  b.mio->LoadFromFileGif(tif);
  EXPECT_TRUE(b.mio->GetAborting());
  EXPECT_EQ(b.view->GetImageCount(), 0);
  EXPECT_EQ(b.mio->GetParamsCount(), 0);
  EXPECT_THROW(a.mio->SaveToFileAVI("/nonexistent-folder/x.avi"), EInvalidGraphic);
  std::remove(tif.c_str());
}

// Uncompressed AVI is exact; a frame of another size than the first is replaced by the last
// frame of the first's size.
TEST(MultiImageIO, AviRoundTripRepeatsOddSizedFrames) {
  UiHarness ui;
  Rig a(ui);
  a.Add(Solid(32, 24, clRed), 200);
  a.Add(Solid(32, 24, clLime), 200);
  a.Add(Solid(10, 10, clBlue), 200);  // odd size: the green frame again
  a.Add(Solid(32, 24, clYellow), 200);
  const std::string avi = TempPath("mio.avi");
  a.mio->SaveToFile(avi);
  ASSERT_FALSE(a.mio->GetAborting());

  Rig b(ui);
  b.mio->LoadFromFile(avi);
  ASSERT_FALSE(b.mio->GetAborting());
  ASSERT_EQ(b.view->GetImageCount(), 4);
  const TColor want[] = {clRed, clLime, clLime, clYellow};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(b.Pixel(i, 20, 12), want[i]) << i;
    EXPECT_EQ(b.Pixel(i, 1, 1), clWhite) << i;
    EXPECT_EQ(b.view->GetImageDelayTime(i), 200) << i;
    EXPECT_EQ(b.mio->GetParams(i)->GIF_DelayTime, 20);  // hundredths, ready for a GIF
    EXPECT_EQ(b.mio->GetParams(i)->Width, 32);
    EXPECT_EQ(b.mio->GetParams(i)->FileName, avi);
  }
  std::remove(avi.c_str());
}

}  // namespace
}  // namespace corvex
