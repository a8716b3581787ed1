// The multi-image view: layout, thumbnails and the cells as painted, selection and the keys,
// scrolling, the play timer, the store (expansion counts, off-screen images freed and fetched
// again from files and identifiers), the list-change reports and hostile use.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMView.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

constexpr TColor kGreen = RGBColor(0, 255, 0);

TColor Px(const TBitmap& b, int x, int y) {
  const uint8_t* q = b.ScanLine(y) + 3 * x;
  return RGBColor(q[2], q[1], q[0]);
}

// A W x H image whose pixel (x, y) is RGB(5 x, 7 y, Blue).
std::unique_ptr<TBitmap> Gradient(int W, int H, int Blue = 100) {
  auto g = std::make_unique<TBitmap>(W, H, pf24bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* q = g->ScanLine(y) + 3 * x;
      q[0] = uint8_t(Blue);
      q[1] = uint8_t(7 * y);
      q[2] = uint8_t(5 * x);
    }
  return g;
}

std::unique_ptr<TBitmap> Solid(int W, int H, TColor C) {
  auto b = std::make_unique<TBitmap>(W, H, pf24bit);
  b->GetCanvas()->GetBrush()->SetColor(C);
  b->GetCanvas()->FillRect(Rect(0, 0, W, H));
  return b;
}

// A borderless view with a CW x CH client on a new form, green background.
TCorvexMView* NewMView(UiHarness& ui, int CW, int CH) {
  TForm* form = ui.NewForm(CW + 50, CH + 50);
  auto* v = new TCorvexMView(form);
  v->SetParent(form);
  v->SetBorderStyle(bsNone);
  v->SetBounds(0, 0, CW, CH);
  v->SetBackGround(kGreen);
  ui.Pump();
  return v;
}

void AddImages(TCorvexMView* v, int N, int W = 20, int H = 20) {
  for (int i = 0; i < N; ++i) {
    const int k = v->AppendImage();
    v->SetImage(k, Solid(W, H, RGBColor(uint8_t(10 * i), 0, 200)).get());
  }
}

// Records every list change the view reports, as a multi-image I/O component reads them.
struct OpLog : TObject {
  TCorvexMView* View = nullptr;
  std::vector<std::vector<int>> Ops;
  void Changed(TObject*, bool Destroying) {
    if (Destroying) return;
    const int op = View->GetLastOp();
    if (op == cxopMove) Ops.push_back({op, View->GetLastOpIdx(), View->GetLastOpIdx2()});
    else if (op != cxopNone) Ops.push_back({op, View->GetLastOpIdx()});
  }
};

TEST(MView, LayoutKnownAnswers) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 430, 300);
  EXPECT_EQ(v->GetThumbWidth(), 100);
  EXPECT_EQ(v->GetHorizBorder(), 4);
  AddImages(v, 7);
  struct Case {
    int grid, tw, th, hb, vb, index, x, y, col, row, extX, extY;
  };
  const Case cases[] = {
      {0, 100, 100, 4, 4, 5, 524, 4, 5, 0, 732, 108},     // one row
      {3, 100, 100, 4, 4, 4, 108, 108, 1, 1, 316, 316},   // three columns
      {3, 100, 100, 4, 4, 6, 4, 212, 0, 2, 316, 316},
      {-1, 100, 100, 4, 4, 5, 108, 108, 1, 1, 420, 212},  // (430 - 4) div 104 = 4 columns
      {2, 50, 30, 2, 6, 5, 54, 78, 1, 2, 106, 150},
      {-1, 50, 30, 2, 6, 6, 314, 6, 6, 0, 366, 42},       // (430 - 2) div 52 = 8 columns
  };
  for (const Case& c : cases) {
    v->SetGridWidth(c.grid);
    v->SetThumbWidth(c.tw);
    v->SetThumbHeight(c.th);
    v->SetHorizBorder(c.hb);
    v->SetVertBorder(c.vb);
    SCOPED_TRACE(::testing::Message() << "grid " << c.grid << " index " << c.index);
    EXPECT_EQ(v->GetImageX(c.index), c.x);
    EXPECT_EQ(v->GetImageY(c.index), c.y);
    EXPECT_EQ(v->GetImageCol(c.index), c.col);
    EXPECT_EQ(v->GetImageRow(c.index), c.row);
    EXPECT_EQ(v->GetExtentX(), c.extX);
    EXPECT_EQ(v->GetExtentY(), c.extY);
  }
  EXPECT_EQ(v->GetImageRow(6), 0);  // the last case: 8 columns hold all 7 images

  // The client's width decides the columns of GridWidth -1; a client narrower than one cell still
  // has one column.
  v->SetThumbWidth(100);
  v->SetThumbHeight(100);
  v->SetHorizBorder(4);
  v->SetVertBorder(4);
  EXPECT_EQ(v->GetColumns(), 4);
  v->SetBounds(0, 0, 50, 300);
  EXPECT_EQ(v->GetColumns(), 1);
  EXPECT_EQ(v->GetImageY(3), 4 + 3 * 104);
  // One image at a time: every cell at column 0, row 0.
  v->SetDisplayMode(mdSingle);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(std::make_pair(v->GetImageX(i), v->GetImageY(i)), std::make_pair(4, 4));
  EXPECT_EQ(v->GetExtentY(), 108);
}

TEST(MView, CellsAsPainted) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 320, 120);
  v->SetGridWidth(3);
  // A 50 x 25 image is drawn 100 x 50, centred: rows 29 .. 78 of the first cell.
  const auto img = Gradient(50, 25);
  v->SetImage(v->AppendImage(), img.get());
  v->Deselect();
  for (int y = 0; y < 50; y += 7)
    for (int x = 0; x < 100; x += 3) ASSERT_EQ(ui.Pixel(v, 4 + x, 29 + y), Px(*img, x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(ui.Pixel(v, 50, 28), kGreen);  // the cell above and below the image
  EXPECT_EQ(ui.Pixel(v, 50, 79), kGreen);
  EXPECT_EQ(ui.Pixel(v, 3, 50), kGreen);   // no frame without a selection

  // With its own background and gaps: the image fits ThumbHeight - gaps, below the upper gap.
  v->SetDrawImageBackground(true);
  v->SetImageBackground(0, clBlue);
  v->SetUpperGap(10);
  v->SetBottomGap(30);  // 60 rows free: 100 x 50 at row 4 + 10 + 5
  EXPECT_EQ(ui.Pixel(v, 4, 19), Px(*img, 0, 0));
  EXPECT_EQ(ui.Pixel(v, 4, 18), clBlue);
  EXPECT_EQ(ui.Pixel(v, 4, 69), clBlue);
  EXPECT_EQ(ui.Pixel(v, 200, 50), kGreen);  // beyond the cells: the view's background
  v->SetUpperGap(0);
  v->SetBottomGap(0);
  v->SetDrawImageBackground(false);

  // The selection frame: SelectionWidth rectangles around the cell when focused, one otherwise.
  v->SetSelectedItem(0);
  EXPECT_EQ(ui.Pixel(v, 3, 50), clRed);
  EXPECT_EQ(ui.Pixel(v, 2, 50), kGreen);
  v->SetFocus();
  EXPECT_EQ(ui.Pixel(v, 1, 50), clRed);
  EXPECT_EQ(ui.Pixel(v, 0, 50), kGreen);
  v->SetSelectionColor(clBlue);
  EXPECT_EQ(ui.Pixel(v, 105, 3), clBlue);

  // A 1-bit image drawn smaller is the grey level of the pixels each shown pixel covers.
  TBitmap mono(200, 300, pf1bit);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 200; ++x) _SetPixelbw(mono.ScanLine(y), x, (x / 3 + y / 2) % 3 == 0);
  v->SetImage(v->AppendImage(), &mono);
  TBitmap grey(66, 100, pf24bit);
  _SubResample1bitFiltered(&mono, 0, 0, 199, 299, &grey);
  const int left = 108 + (100 - 66) / 2;
  for (int y = 0; y < 100; y += 9)
    for (int x = 0; x < 66; x += 5) ASSERT_EQ(ui.Pixel(v, left + x, 4 + y), Px(grey, x, y)) << x << "," << y;
}

TEST(MView, ThumbnailsStoredByTheResamplingRules) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 320, 120);
  v->SetStoreType(cxtThumb);
  v->SetThumbWidth(60);
  v->SetThumbHeight(40);
  // 24-bit: B-spline resampling to fit, aspect kept (90 x 30 -> 60 x 20; 30 x 90 -> 13 x 40).
  const auto wide = Gradient(90, 30);
  const auto tall = Gradient(30, 90, 7);
  v->SetImage(v->AppendImage(), wide.get());
  v->SetImage(v->AppendImage(), tall.get());
  TBitmap expectWide(60, 20, pf24bit), expectTall(13, 40, pf24bit);
  _Resample(wide.get(), &expectWide, rfBSpline, nullptr, nullptr);
  _Resample(tall.get(), &expectTall, rfBSpline, nullptr, nullptr);
  for (auto [index, expect] : {std::pair{0, &expectWide}, std::pair{1, &expectTall}}) {
    TBitmap* b = v->GetBitmap(index);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->GetWidth(), expect->GetWidth());
    ASSERT_EQ(b->GetHeight(), expect->GetHeight());
    EXPECT_EQ(testing_support::RgbBytes(*b), testing_support::RgbBytes(*expect)) << index;
    v->ReleaseBitmap(index);
  }
  // Enlarged: 3 x 2 -> 60 x 40.
  const auto tiny = Gradient(3, 2);
  v->SetImage(v->AppendImage(), tiny.get());
  EXPECT_EQ(v->GetImageWidth(2), 60);
  EXPECT_EQ(v->GetImageHeight(2), 40);
  // 1-bit: the filtered subsampler, into grey 24 bits.
  TBitmap mono(120, 120, pf1bit);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) _SetPixelbw(mono.ScanLine(y), x, (x ^ y) & 4);
  v->SetImage(v->AppendImage(), &mono);
  TBitmap expectMono(40, 40, pf24bit);
  _SubResample1bitFiltered(&mono, 0, 0, 119, 119, &expectMono);
  TBitmap* b = v->GetBitmap(3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetPixelFormat(), pf24bit);
  EXPECT_EQ(testing_support::RgbBytes(*b), testing_support::RgbBytes(expectMono));
  v->ReleaseBitmap(3);
  // A rectangle, cut to the bitmap.
  v->SetStoreType(cxtNormal);
  v->SetImageRect(0, wide.get(), 80, 10, 500, 20);
  EXPECT_EQ(v->GetImageWidth(0), 10);
  EXPECT_EQ(v->GetImageHeight(0), 10);
  const TBitmapInfoHeader* h = v->GetBitmapInfo(0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_GE(v->GetBitmapInfoSize(0), size_t(40 + 32 * 10));
  EXPECT_EQ(Px(*v->GetBitmap(0), 0, 0), Px(*wide, 80, 10));
}

TEST(MView, SelectionAndKeyboardSeek) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 330, 230);  // 3 columns, 2 rows visible
  v->SetGridWidth(3);
  AddImages(v, 10);
  int selects = 0;
  struct Sink : TObject {
    int* n;
    void OnSel(TObject*, int) { ++*n; }
  } sink;
  sink.n = &selects;
  v->OnImageSelect = TCXImageSelectEvent(&sink, &Sink::OnSel);
  v->SetSelectedItem(0);
  v->SetFocus();
  struct Step {
    uint16_t key;
    int sel, viewY;
  };
  const Step steps[] = {
      {VK_RIGHT, 1, 0}, {VK_DOWN, 4, 0}, {VK_DOWN, 7, 212 + 104 - 230}, {VK_DOWN, 9, 420 - 230},
      {VK_RIGHT, 9, 190}, {VK_LEFT, 8, 190}, {VK_PRIOR, 2, 0}, {VK_NEXT, 8, 86},
      {VK_UP, 5, 86}, {VK_HOME, 0, 0}, {VK_END, 9, 190},
  };
  for (const Step& s : steps) {
    ui.Key(s.key);
    EXPECT_EQ(v->GetSelectedItem(), s.sel) << "key " << s.key;
    EXPECT_EQ(v->GetViewY(), s.viewY) << "key " << s.key;
  }
  // The selected image is always held expanded.
  EXPECT_EQ(v->GetImageState(9), cxisExpanded);
  EXPECT_EQ(v->GetImageState(0), cxisStored);
  EXPECT_EQ(v->GetFBitmap(), v->GetBitmap(9));
  v->ReleaseBitmap(9);

  // The mouse selects the image under a released button; between cells nothing changes.
  v->SetViewXY(0, 0);
  ui.Click(v, 150, 50);
  EXPECT_EQ(v->GetSelectedItem(), 1);
  ui.Click(v, 106, 50);
  EXPECT_EQ(v->GetSelectedItem(), 1);
  EXPECT_EQ(selects, 1);
  EXPECT_EQ(v->ImageAtPos(250, 120), 5);
  EXPECT_EQ(v->ImageAtPos(250, 106), -1);
  // Without mkiMoveSelected the keys do nothing; with GridWidth 0 up and down move by one.
  v->SetKeyInteract({});
  ui.Key(VK_RIGHT);
  EXPECT_EQ(v->GetSelectedItem(), 1);
  v->SetKeyInteract({mkiMoveSelected});
  v->SetGridWidth(0);
  ui.Key(VK_DOWN);
  EXPECT_EQ(v->GetSelectedItem(), 2);
  EXPECT_EQ(v->GetImageVisibility(2), 2);
  ui.Key(VK_END);
  EXPECT_EQ(v->GetViewX(), 10 * 104 + 4 - 330);
  EXPECT_EQ(v->GetImageVisibility(0), 0);
  v->Deselect();
  EXPECT_EQ(v->GetSelectedItem(), -1);
  EXPECT_EQ(v->GetFBitmap(), nullptr);
}

TEST(MView, ScrollingByBarsWheelAndDrag) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 330, 230);
  v->SetGridWidth(3);
  AddImages(v, 30);  // 10 rows: extent 1044
  int changes = 0;
  struct Sink : TObject {
    int* n;
    void OnChange(TObject*, int) { ++*n; }
  } sink;
  sink.n = &changes;
  v->OnViewChange = TViewChangeEvent(&sink, &Sink::OnChange);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 1044 - 230);
  v->SetViewXY(-5, 99999);
  EXPECT_EQ(v->GetViewY(), my);
  EXPECT_EQ(v->GetViewX(), 0);
  EXPECT_EQ(changes, 1);
  // The cell at the top of the client now.
  EXPECT_EQ(v->ImageAtPos(10, 230 - 1044 + 4 + 9 * 104 + 10 + (1044 - 230) - my), 27);

  v->SetScrollBars(ssVertical);
  v->SetViewY(0);
  EXPECT_TRUE(v->ScrollBarState(SB_VERT).Visible);
  EXPECT_FALSE(v->ScrollBarState(SB_HORZ).Visible);
  ui.Scroll(v, SB_VERT, SB_LINEDOWN);
  EXPECT_EQ(v->GetViewY(), 104);
  ui.Scroll(v, SB_VERT, SB_PAGEDOWN);
  EXPECT_EQ(v->GetViewY(), 104 + 230);
  ui.Scroll(v, SB_VERT, SB_BOTTOM);
  EXPECT_EQ(v->GetViewY(), my);
  ui.Scroll(v, SB_VERT, SB_TOP);
  EXPECT_EQ(v->GetViewY(), 0);
  v->GetVScrollBarParams()->LineStep = 7;
  ui.Scroll(v, SB_VERT, SB_LINEDOWN);
  EXPECT_EQ(v->GetViewY(), 7);
  v->SetFocus();
  ui.Wheel(v, -2, 50, 50);  // two notches toward the user: two rows down
  EXPECT_EQ(v->GetViewY(), 7 + 208);
  // Dragging with mmiScroll moves the view with the pointer and selects nothing.
  v->SetMouseInteract({mmiScroll, mmiSelect});
  ui.Drag(v, 100, 200, 100, 150);
  EXPECT_EQ(v->GetViewY(), 7 + 208 + 50);
  EXPECT_EQ(v->GetSelectedItem(), 29);  // the last one inserted
  // Fewer images: the origin is pulled back inside.
  while (v->GetImageCount() > 3) v->DeleteImage(v->GetImageCount() - 1);
  EXPECT_EQ(v->GetViewY(), 0);
  EXPECT_FALSE(v->ScrollBarState(SB_VERT).Visible);
}

TEST(MView, PlayTimerOnTheVirtualClock) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 330, 230);
  v->SetGridWidth(3);
  const TColor colours[] = {clRed, clBlue, clYellow};
  for (int i = 0; i < 3; ++i) v->SetImage(v->AppendImage(), Solid(10, 10, colours[i]).get());
  v->SetImageDelayTime(0, 0);
  v->SetImageDelayTime(1, 50);
  v->SetImageDelayTime(2, 200);
  v->SetSelectedItem(1);
  v->SetPlaying(true);
  EXPECT_TRUE(v->GetPlaying());
  EXPECT_EQ(v->GetSelectedItem(), -1);
  EXPECT_EQ(v->GetDisplayMode(), mdSingle);
  // Frames shown 10, 50 and 200 ms, then frame 0 again; only the current frame is painted.
  const struct {
    int advance, frame;
  } timeline[] = {{9, 0}, {1, 1}, {49, 1}, {1, 2}, {199, 2}, {1, 0}, {10, 1}};
  for (const auto& t : timeline) {
    ui.Advance(t.advance);
    EXPECT_EQ(v->GetVisibleFrame(), t.frame);
    EXPECT_EQ(ui.Pixel(v, 50, 50), colours[t.frame]);
    EXPECT_EQ(ui.Pixel(v, 150, 50), kGreen);
  }
  // No selection while playing.
  v->SetSelectedItem(0);
  ui.Key(VK_HOME);
  EXPECT_EQ(v->GetSelectedItem(), -1);
  // Not looping: after the last frame, frame 0 and playing stops; mode and selection come back.
  v->SetLooping(false);
  ui.Advance(50 + 200);
  EXPECT_FALSE(v->GetPlaying());
  EXPECT_EQ(v->GetVisibleFrame(), 0);
  EXPECT_EQ(v->GetDisplayMode(), mdGrid);
  EXPECT_EQ(v->GetSelectedItem(), 1);
  EXPECT_EQ(ui.Pixel(v, 150, 50), clBlue);

  // Absurd delays: negative plays at the minimum, huge ones are cut to an hour.
  v->SetImageDelayTime(0, -500);
  v->SetImageDelayTime(1, INT_MAX);
  EXPECT_EQ(v->GetImageDelayTime(0), 0);
  EXPECT_EQ(v->GetImageDelayTime(1), kMViewMaxFrameDelay);
  v->SetLooping(true);
  v->SetPlaying(true);
  ui.Advance(10);
  EXPECT_EQ(v->GetVisibleFrame(), 1);
  ui.Advance(kMViewMaxFrameDelay);
  EXPECT_EQ(v->GetVisibleFrame(), 2);
  // Inserting stops playing; deleting every image while playing stops it too.
  v->InsertImage(1);
  EXPECT_FALSE(v->GetPlaying());
  v->SetPlaying(true);
  v->Clear();
  EXPECT_FALSE(v->GetPlaying());
  v->SetPlaying(true);  // an empty list does not play
  EXPECT_FALSE(v->GetPlaying());
  ui.Advance(1000);
}

TEST(MView, ExpansionCountsAndTheSelectionsHold) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 330, 230);
  AddImages(v, 2);
  v->Deselect();
  EXPECT_EQ(v->GetImageState(0), cxisStored);
  TBitmap* b = v->GetBitmap(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(v->GetImageState(0), cxisExpanded);
  EXPECT_EQ(v->GetBitmapInfo(0), nullptr);
  EXPECT_EQ(v->GetBitmap(0), b);
  EXPECT_EQ(v->GetBitmapRefCount(0), 2);
  // New content keeps the holders' bitmap object.
  v->SetImage(0, Solid(7, 3, clBlue).get());
  EXPECT_EQ(b->GetWidth(), 7);
  EXPECT_EQ(Px(*b, 6, 2), clBlue);
  v->FreeImage(0);  // nothing while expanded
  EXPECT_EQ(v->GetImageState(0), cxisExpanded);
  v->ReleaseBitmap(0);
  v->ReleaseBitmap(0);
  v->ReleaseBitmap(0);  // one too many: nothing
  EXPECT_EQ(v->GetImageState(0), cxisStored);
  EXPECT_EQ(v->GetBitmapRefCount(0), 0);
  EXPECT_EQ(v->GetImageWidth(0), 7);

  // Selected, then GetBitmap and ReleaseBitmap (twice): still expanded until deselected.
  v->SetSelectedItem(0);
  EXPECT_EQ(v->GetBitmapRefCount(0), 1);
  TBitmap* s = v->GetBitmap(0);
  v->ReleaseBitmap(0);
  v->ReleaseBitmap(0);
  EXPECT_EQ(v->GetImageState(0), cxisExpanded);
  EXPECT_EQ(v->GetFBitmap(), s);
  v->Deselect();
  EXPECT_EQ(v->GetImageState(0), cxisStored);
  // An image without content: no bitmap, count back at 0.
  const int e = v->AppendImage();
  EXPECT_EQ(v->GetBitmap(e), nullptr);
  EXPECT_EQ(v->GetBitmapRefCount(e), 0);
  EXPECT_EQ(v->GetFBitmap(), nullptr);
  // Storing into the selected empty image makes it available to the view at once.
  v->SetImage(e, Solid(4, 4, clRed).get());
  ASSERT_NE(v->GetFBitmap(), nullptr);
  EXPECT_EQ(v->GetFBitmap()->GetWidth(), 4);
  v->FreeImage(1);
  EXPECT_EQ(v->GetImageState(1), cxisNotLoaded);
  EXPECT_EQ(v->GetImageWidth(1), 0);
}

TEST(MView, FileImagesFreedOffScreenAndReloaded) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 212, 200);  // 2 columns, rows 0 and 1 on screen
  v->SetGridWidth(2);
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) {
    auto img = Solid(60, 40, RGBColor(uint8_t(20 * i), 80, 160));
    TCorvexIO io;
    io.SetAttachedBitmap(img.get());
    files.push_back(testing_support::TempPath("mview_" + std::to_string(i) + ".bmp"));
    io.SaveToFileBMP(files.back());
    const int k = v->AppendImage();
    v->SetImageFileName(k, files.back());
  }
  v->SetSelectedItem(0);
  ui.Pump();
  for (int i = 0; i < 12; ++i) EXPECT_EQ(v->GetImageState(i) != cxisNotLoaded, i < 4) << i;
  EXPECT_EQ(ui.Pixel(v, 108 + 50, 4 + 50), RGBColor(20, 80, 160));
  // Scrolled to the end: the first rows are freed (not the selected one), the last loaded.
  v->SetViewY(10000);
  ui.Pump();
  EXPECT_EQ(v->GetImageState(0), cxisExpanded);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(v->GetImageState(i), cxisNotLoaded) << i;
  for (int i = 8; i < 12; ++i) EXPECT_EQ(v->GetImageState(i), cxisStored) << i;
  const int64_t bytes = v->GetStoreBytes();
  EXPECT_LE(bytes, 7 * int64_t(60 * 40 * 3 + 200));
  // Back at the top: loaded again from the files, with the right pixels.
  v->SetViewY(0);
  EXPECT_EQ(ui.Pixel(v, 108 + 50, 4 + 50), RGBColor(20, 80, 160));
  EXPECT_EQ(ui.Pixel(v, 4 + 50, 108 + 50), RGBColor(40, 80, 160));
  EXPECT_EQ(v->GetImageState(11), cxisNotLoaded);

  // SetImageFromFile loads at once; a gone file leaves the old content.
  EXPECT_TRUE(v->SetImageFromFile(1, files[5]));
  EXPECT_EQ(v->GetImageFileName(1), files[5]);
  EXPECT_EQ(ui.Pixel(v, 108 + 50, 4 + 50), RGBColor(100, 80, 160));
  EXPECT_FALSE(v->SetImageFromFile(1, files[5] + ".gone"));
  EXPECT_EQ(v->GetImageState(1), cxisStored);

  // A file that is gone or damaged: a placeholder in the cell, no crash; with RemoveCorrupted
  // the image is deleted when painted.
  testing_support::WriteFileBytes(files[2], {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9});
  v->SetImageFileName(3, files[3] + ".gone");
  v->UpdateImage(2);
  v->UpdateImage(3);
  ui.Pump();
  EXPECT_EQ(v->GetImageState(2), cxisNotLoaded);
  EXPECT_EQ(ui.Pixel(v, 4 + 25, 108 + 25), clGray);  // the placeholder's corner
  EXPECT_EQ(ui.Pixel(v, 108 + 25, 108 + 25), clGray);
  EXPECT_EQ(ui.Pixel(v, 4 + 50, 108 + 10), kGreen);
  OpLog log;
  log.View = v;
  v->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
  v->SetRemoveCorrupted(true);
  v->Invalidate();
  ui.Pump();
  EXPECT_EQ(v->GetImageCount(), 10);
  EXPECT_EQ(log.Ops, (std::vector<std::vector<int>>{{2, 2}, {2, 2}}));
  EXPECT_EQ(v->GetSelectedItem(), 0);
  v->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
  for (const std::string& f : files) std::remove(f.c_str());
}

TEST(MView, IdentifierImagesAndHandlersThatChangeTheList) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 430, 230);
  v->SetGridWidth(-1);
  struct Source : TObject {
    TCorvexMView* View = nullptr;
    std::map<int, int> Requests;
    std::unique_ptr<TBitmap> Image;
    bool Recurse = false;
    void Request(TObject*, int ID, TBitmap*& Bitmap) {
      ++Requests[ID];
      if (Recurse && ID == 100) {
        EXPECT_EQ(View->GetBitmap(0), nullptr);  // the image being fetched
      }
      Image = Solid(40, 30, RGBColor(uint8_t(ID), 0, 0));
      Bitmap = ID == 13 ? nullptr : Image.get();
    }
    int DrawCount = 0;
    void DeleteOnDraw(TObject*, int Index, TCanvas*, int, int) {
      ++DrawCount;
      if (Index == 0) View->DeleteImage(0);
    }
  } src;
  src.View = v;
  v->OnImageIDRequest = TCXImageIDRequestEvent(&src, &Source::Request);
  for (int i = 0; i < 40; ++i) v->SetImageID(v->AppendImage(), i == 5 ? 13 : 100 + i);
  v->Deselect();
  src.Recurse = true;
  ui.Pump();
  // The three rows of four on screen were fetched; the image whose identifier gives nothing
  // shows a placeholder; nothing else was asked for.
  EXPECT_EQ(src.Requests.size(), 12u);
  EXPECT_EQ(ui.Pixel(v, 4 + 50, 4 + 50), RGBColor(100, 0, 0));
  EXPECT_EQ(ui.Pixel(v, 108 + 25, 108 + 25), clGray);
  // Scrolling down and back fetches the first row again.
  v->SetViewY(10000);
  ui.Pump();
  v->SetViewY(0);
  ui.Pump();
  EXPECT_EQ(src.Requests[100], 2);
  EXPECT_LE(v->GetStoreBytes(), 12 * int64_t(40 * 30 * 3 + 100));

  // A draw handler that deletes the image being painted: the paint starts again on the new
  // list, and the view follows the list once the paint is over.
  OpLog log;
  log.View = v;
  v->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
  v->OnImageDraw = TCXImageDrawEvent(&src, &Source::DeleteOnDraw);
  v->Invalidate();
  ui.Pump();
  EXPECT_EQ(v->GetImageCount(), 0);
  EXPECT_EQ(log.Ops.size(), 40u);
  EXPECT_EQ(v->GetExtentY(), 0);
  v->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
}

TEST(MView, ListChangesReportedForTheIOComponent) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 330, 230);
  OpLog log;
  log.View = v;
  v->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
  v->InsertImage(0);
  v->AppendImage();
  v->InsertImage(1);
  EXPECT_EQ(v->GetSelectedItem(), 1);  // inserting selects the new image
  v->InsertImage(99);                  // beyond the end: appends at 3
  v->DeleteImage(0);
  v->MoveImage(0, 5);  // to the last place
  v->DeleteImage(7);   // out of range: nothing
  v->MoveImage(-1, 0);
  v->Clear();
  EXPECT_EQ(log.Ops, (std::vector<std::vector<int>>{{1, 0}, {1, 1}, {1, 1}, {1, 3}, {2, 0}, {3, 0, 2}, {2, 2}, {2, 1}, {2, 0}}));
  EXPECT_EQ(v->GetLastOp(), cxopNone);  // read by the handler already

  // The selection follows a moved image; deleting below it shifts it.
  AddImages(v, 5);
  v->SetSelectedItem(1);
  v->MoveImage(1, 3);
  EXPECT_EQ(v->GetSelectedItem(), 3);
  v->MoveImage(4, 0);
  EXPECT_EQ(v->GetSelectedItem(), 4);
  v->DeleteImage(0);
  EXPECT_EQ(v->GetSelectedItem(), 3);
  EXPECT_EQ(v->GetImageState(3), cxisExpanded);
  v->DeleteImage(3);
  EXPECT_EQ(v->GetSelectedItem(), -1);
  v->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(&log, &OpLog::Changed));
}

TEST(MView, IndexesOutsideTheListAndDegenerateSettings) {
  UiHarness ui;
  TCorvexMView* v = NewMView(ui, 100, 60);
  AddImages(v, 2);
  for (int i : {-1, 2, INT_MAX, INT_MIN}) {
    EXPECT_EQ(v->GetBitmap(i), nullptr);
    v->ReleaseBitmap(i);
    v->SetImage(i, Solid(3, 3, clRed).get());
    v->SetImageRect(i, nullptr, 0, 0, 1, 1);
    EXPECT_FALSE(v->SetImageFromFile(i, "x.bmp"));
    v->SetImageFileName(i, "x");
    v->SetImageID(i, 3);
    v->SetImageDelayTime(i, 5);
    v->FreeImage(i);
    v->UpdateImage(i);
    v->DeleteImage(i);
    v->SetSelectedItem(i);
    v->SetVisibleFrame(i);
    EXPECT_EQ(v->GetImageFileName(i), "");
    EXPECT_EQ(v->GetImageID(i), -1);
    EXPECT_EQ(v->GetImageWidth(i), 0);
    EXPECT_EQ(v->GetBitmapInfo(i), nullptr);
    EXPECT_EQ(v->GetImageVisibility(i), 0);
    EXPECT_EQ(v->GetImageState(i), cxisNotLoaded);
  }
  EXPECT_EQ(v->GetImageCount(), 2);
  EXPECT_EQ(v->GetSelectedItem(), 1);
  // Sizes out of reason are cut; an image with no room left by the gaps fills its cell.
  v->SetThumbWidth(0);
  v->SetThumbHeight(-7);
  EXPECT_EQ(v->GetThumbWidth(), 1);
  EXPECT_EQ(v->GetThumbHeight(), 1);
  v->SetThumbWidth(INT_MAX);
  EXPECT_EQ(v->GetThumbWidth(), kMViewMaxThumbSide);
  v->SetThumbWidth(40);
  v->SetThumbHeight(40);
  v->SetUpperGap(30);
  v->SetBottomGap(30);
  v->SetGridWidth(-50);
  EXPECT_EQ(v->GetGridWidth(), -1);
  EXPECT_EQ(ui.Pixel(v, 20, 20), kGreen);
  // An empty bitmap or nullptr frees the content.
  v->SetImage(0, nullptr);
  EXPECT_EQ(v->GetImageState(0), cxisNotLoaded);
  TBitmap empty;
  v->SetImage(1, &empty);
  EXPECT_EQ(v->GetImageWidth(1), 0);
  EXPECT_EQ(v->GetFBitmap(), v->GetBitmap(1));  // the selection keeps its (emptied) bitmap
  v->ReleaseBitmap(1);
  ui.Pump();

  // A view without a parent keeps and lays out its images all the same.
  TCorvexMView lone(nullptr);
  AddImages(&lone, 3, 30, 10);
  lone.SetGridWidth(2);
  EXPECT_EQ(lone.GetImageY(2), 108);
  EXPECT_EQ(lone.GetBitmap(2)->GetWidth(), 30);
  lone.ReleaseBitmap(2);
  TBitmap canvas(250, 250, pf24bit);
  lone.PaintTo(canvas.GetCanvas());
  EXPECT_EQ(Px(canvas, 4 + 50, 4 + 50), RGBColor(0, 0, 200));
}

}  // namespace
}  // namespace corvex
