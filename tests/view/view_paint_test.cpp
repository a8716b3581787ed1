// What the image view paints: the image at 100 % and zoomed, filtered reduction, 1-bit images
// smoothed to grey, centring, the background patterns, the pixel grid, the double buffer and the
// delayed zoom filter. Set CORVEX_VIEW_PNG to a folder to get PNG files of a few of the views.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

constexpr TColor kGreen = RGBColor(0, 255, 0);

TColor Px(const TBitmap& b, int x, int y) {
  const uint8_t* q = b.ScanLine(y) + 3 * x;
  return RGBColor(q[2], q[1], q[0]);
}

// A W x H image whose pixel (x, y) is RGB(40 x, 60 y, 100).
std::unique_ptr<TBitmap> Gradient(int W, int H) {
  auto g = std::make_unique<TBitmap>(W, H, pf24bit);
  TBitmap& b = *g;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* q = b.ScanLine(y) + 3 * x;
      q[0] = 100;
      q[1] = uint8_t(60 * y);
      q[2] = uint8_t(40 * x);
    }
  return g;
}

TCorvexView* NewView(UiHarness& ui, int ClientW, int ClientH, const TBitmap& Image, TColor Background = kGreen) {
  TForm* form = ui.NewForm(400, 300);
  auto* v = new TCorvexView(form);
  v->SetParent(form);
  v->SetBounds(0, 0, ClientW + 4, ClientH + 4);
  v->SetBackGround(Background);
  v->Assign(&Image);
  return v;
}

// The client as painted now.
std::vector<uint8_t> Snapshot(UiHarness& ui, TCorvexView* v) {
  v->Invalidate();
  const TBitmap* b = ui.Pixels(v);
  const uint8_t* p = b->Bits();
  return std::vector<uint8_t>(p, p + b->GetImageSize());
}

void SavePng(UiHarness& ui, TCorvexView* v, const std::string& Name) {
  const char* dir = std::getenv("CORVEX_VIEW_PNG");
  if (dir == nullptr) return;
  TBitmap* b = ui.Pixels(v);
  TFileStream f(std::string(dir) + "/" + Name + ".png", fmCreate);
  TIOParamsVals params;
  TProgressRec prog;
  WritePNGStream(&f, b, params, prog);
}

TEST(ViewPaint, ImageAtOneHundredAndTwoHundredPercent) {
  UiHarness ui;
  const auto grad = Gradient(4, 3);
  const TBitmap& img = *grad;
  TCorvexView* v = NewView(ui, 20, 20, img);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(ui.Pixel(v, x, y), Px(img, x, y)) << x << "," << y;
  EXPECT_EQ(ui.Pixel(v, 4, 0), kGreen);  // background right of and below the image
  EXPECT_EQ(ui.Pixel(v, 0, 3), kGreen);
  EXPECT_EQ(ui.Pixel(v, 19, 19), kGreen);

  v->SetZoom(200);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(ui.Pixel(v, x, y), Px(img, x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(ui.Pixel(v, 8, 0), kGreen);
  EXPECT_EQ(ui.Pixel(v, 0, 6), kGreen);
  SavePng(ui, v, "view_200");

  // Scrolled by one source pixel: the first column shown is image column 1.
  TCorvexView* w = NewView(ui, 6, 4, *Gradient(10, 10));
  w->SetZoom(200);
  w->SetViewXY(2, 2);
  EXPECT_EQ(ui.Pixel(w, 0, 0), Px(*Gradient(10, 10), 1, 1));
  EXPECT_EQ(ui.Pixel(w, 5, 3), Px(*Gradient(10, 10), 3, 2));
}

TEST(ViewPaint, ReductionFilteredAndOneBitSmoothed) {
  UiHarness ui;
  // 8 x 8 of vertical stripes two pixels wide: reduced with a filter, the edges blend.
  TBitmap img(8, 8, pf24bit);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) img.GetCanvas()->SetPixels(x, y, (x / 2) % 2 ? clWhite : clBlack);
  TCorvexView* v = NewView(ui, 20, 20, img);
  v->SetZoomFilter(rfTriangle);
  v->SetZoom(50);
  TBitmap ref(4, 4, pf24bit);
  _Resample(&img, &ref, rfTriangle, nullptr, nullptr);
  bool blended = false;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(ui.Pixel(v, x, y), Px(ref, x, y)) << x << "," << y;
      blended |= ui.Pixel(v, x, y) != clBlack && ui.Pixel(v, x, y) != clWhite;
    }
  EXPECT_TRUE(blended);
  EXPECT_EQ(ui.Pixel(v, 4, 0), kGreen);

  // A 1-bit image of alternate columns: grey below 100 % even without a filter, black and white
  // from 100 %.
  TBitmap mono(8, 8, pf1bit);
  for (int y = 0; y < 8; ++y) mono.ScanLine(y)[0] = 0x55;  // columns 1, 3, 5, 7 white
  v->SetZoomFilter(rfNone);
  v->Assign(&mono);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(ui.Pixel(v, x, 2), RGBColor(127, 127, 127)) << x;
  SavePng(ui, v, "view_1bit_50");
  v->SetZoom(100);
  EXPECT_EQ(ui.Pixel(v, 0, 0), clBlack);
  EXPECT_EQ(ui.Pixel(v, 1, 0), clWhite);
  v->SetZoom(300);
  EXPECT_EQ(ui.Pixel(v, 2, 5), clBlack);
  EXPECT_EQ(ui.Pixel(v, 3, 5), clWhite);
  // With a filter, the 1-bit image is made 24-bit and resampled.
  v->SetZoomFilter(rfTriangle);
  EXPECT_NE(ui.Pixel(v, 2, 5), clBlack);
}

TEST(ViewPaint, CentredImageAndBackgroundPatterns) {
  UiHarness ui;
  const auto grad = Gradient(4, 3);
  const TBitmap& img = *grad;
  const TColor bg = RGBColor(10, 20, 30), comp = RGBColor(245, 235, 225);
  TCorvexView* v = NewView(ui, 40, 40, img, bg);
  v->SetCenter(true);
  ASSERT_EQ(v->GetOffsetX(), 18);
  ASSERT_EQ(v->GetOffsetY(), 18);
  EXPECT_EQ(ui.Pixel(v, 18, 18), Px(img, 0, 0));
  EXPECT_EQ(ui.Pixel(v, 21, 20), Px(img, 3, 2));
  for (TPoint p : {TPoint{17, 18}, TPoint{22, 18}, TPoint{18, 17}, TPoint{18, 21}, TPoint{0, 0}})
    EXPECT_EQ(ui.Pixel(v, p.X, p.Y), bg) << p.X << "," << p.Y;

  // Chessboard: 16-pixel squares, the top-left one in the complement.
  v->SetBackgroundStyle(cxbsChessboard);
  EXPECT_EQ(ui.Pixel(v, 5, 5), comp);
  EXPECT_EQ(ui.Pixel(v, 16, 5), bg);
  EXPECT_EQ(ui.Pixel(v, 5, 16), bg);
  EXPECT_EQ(ui.Pixel(v, 31, 31), comp);
  EXPECT_EQ(ui.Pixel(v, 39, 39), comp);
  EXPECT_EQ(ui.Pixel(v, 19, 19), Px(img, 1, 1));  // the image is not covered
  SavePng(ui, v, "view_chessboard_centred");
  // A system colour is complemented as the colour it stands for.
  v->SetBackGround(clBtnFace);
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(ui.Pixel(v, 5, 5), RGBColor(255 - GetRValue(face), 255 - GetGValue(face), 255 - GetBValue(face)));
  EXPECT_EQ(ui.Pixel(v, 16, 5), face);

  // Diagonals: both corner-to-corner lines in the complement.
  v->SetBackGround(bg);
  v->SetBackgroundStyle(cxbsDiagonals);
  EXPECT_EQ(ui.Pixel(v, 10, 10), comp);
  EXPECT_EQ(ui.Pixel(v, 30, 10), comp);
  EXPECT_EQ(ui.Pixel(v, 20, 10), bg);

  // A hatch over what was painted before: the ground between the lines is laid anew.
  v->SetBackgroundStyle(cxbsSolid);
  v->SetBackGround(clBlue);
  ASSERT_EQ(ui.Pixel(v, 3, 1), clBlue);
  v->SetBackGround(bg);  // both changes reach the screen in one paint, over the blue
  v->SetBackgroundStyle(cxbsCross);
  const uint8_t* pat = HatchPattern(bsCross);
  int lines = 0, gaps = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool line = (pat[y] >> (7 - x)) & 1;
      EXPECT_EQ(ui.Pixel(v, x, y), line ? bg : comp) << x << "," << y;
      (line ? lines : gaps)++;
    }
  EXPECT_GT(lines, 0);
  EXPECT_GT(gaps, 0);
}

TEST(ViewPaint, GridFromFourHundredPercent) {
  UiHarness ui;
  const TColor c = RGBColor(100, 150, 200), inv = RGBColor(155, 105, 55);
  TBitmap img(5, 5, pf24bit);
  img.GetCanvas()->GetBrush()->SetColor(c);
  img.GetCanvas()->FillRect(Rect(0, 0, 5, 5));
  TCorvexView* v = NewView(ui, 40, 40, img);
  v->SetDisplayGrid(true);
  v->SetZoom(300);
  EXPECT_EQ(ui.Pixel(v, 3, 1), c);  // no grid below 400 %
  EXPECT_EQ(ui.Pixel(v, 1, 3), c);
  v->SetZoom(400);
  EXPECT_EQ(ui.Pixel(v, 2, 4), inv);  // a row line
  EXPECT_EQ(ui.Pixel(v, 4, 2), inv);  // a column line
  EXPECT_EQ(ui.Pixel(v, 2, 2), c);    // inside a cell
  EXPECT_EQ(ui.Pixel(v, 4, 4), c);    // crossings are inverted twice
  EXPECT_EQ(ui.Pixel(v, 18, 9), c);
  EXPECT_EQ(ui.Pixel(v, 16, 9), inv);
  SavePng(ui, v, "view_grid_400");
}

// The double buffer paints what a direct paint does; a plain repaint copies it unchanged.
TEST(ViewPaint, DoubleBufferEqualsDirect) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 60, 50, *Gradient(20, 12), RGBColor(10, 20, 30));
  v->SetZoom(650);
  v->SetViewXY(5, 3);
  v->SetDisplayGrid(true);
  v->SetBackgroundStyle(cxbsChessboard);
  const std::vector<uint8_t> direct = Snapshot(ui, v);
  v->SetDoubleBuffer(true);
  EXPECT_EQ(Snapshot(ui, v), direct);
  EXPECT_EQ(Snapshot(ui, v), direct);
  // Scrolling paints at once through the buffer as well.
  v->SetViewXY(0, 0);
  const std::vector<uint8_t> buffered = Snapshot(ui, v);
  v->SetDoubleBuffer(false);
  EXPECT_EQ(Snapshot(ui, v), buffered);
  EXPECT_NE(buffered, direct);

  // Filtered and grey images fill the buffer directly when they cover the client, and are drawn
  // at their offsets when they do not: both as a paint without the buffer.
  v->SetDisplayGrid(false);
  const std::unique_ptr<TBitmap> big = Gradient(90, 70);
  TBitmap page(200, 150, pf1bit);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      if ((x * 7 + y * 3) % 5 < 2) page.ScanLine(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
  struct Case {
    const TBitmap* image;
    int zoom, x, y;
    bool center;
    TResampleFilter filter;
  };
  for (const Case& c : {Case{big.get(), 37, 0, 0, false, rfTriangle}, Case{big.get(), 80, 7, 5, false, rfLanczos3},
                        Case{big.get(), 250, 33, 21, false, rfMitchell}, Case{big.get(), 250, 160, 120, false, rfTriangle},
                        Case{big.get(), 50, 0, 0, true, rfTriangle}, Case{&page, 40, 3, 2, false, rfTriangle},
                        Case{&page, 25, 0, 0, true, rfNone}}) {
    SCOPED_TRACE(testing::Message() << c.zoom << "% at " << c.x << "," << c.y);
    v->Assign(c.image);
    v->SetZoomFilter(c.filter);
    v->SetCenter(c.center);
    v->SetZoom(c.zoom);
    v->SetViewXY(c.x, c.y);
    v->SetDoubleBuffer(false);
    const std::vector<uint8_t> plain = Snapshot(ui, v);
    v->SetDoubleBuffer(true);
    EXPECT_EQ(Snapshot(ui, v), plain);
  }
}

// A repaint with nothing changed copies nothing, but anything drawn on the canvas since (ants,
// a rubber band, the caller's own drawing) is painted over again: wholly, or only inside the
// update rectangle, and then the rest on the next whole repaint; from the back buffer (a
// filtered render that leaves a margin, or one saved before the ants were drawn) or by rendering
// again. The top-level window shows the same pixels as the view.
TEST(ViewPaint, DoubleBufferRepaintsOverWhatWasDrawnOnTheCanvas) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 40, 30, *Gradient(40, 30));
  v->SetDoubleBuffer(true);
  auto scribble = [&] {
    v->GetCanvas()->GetBrush()->SetColor(clRed);
    v->GetCanvas()->FillRect(Rect(0, 0, 40, 30));
  };
  // At 100 % the triangle gives the image itself, computed in the window's pixels; at 50 % it
  // leaves a margin and goes through the back buffer.
  const struct {
    TResampleFilter filter;
    int zoom;
    const char* what;
  } cases[] = {{rfNone, 100, "copied into the window"},
               {rfTriangle, 100, "filtered in the window"},
               {rfTriangle, 50, "filtered into the back buffer"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    v->SetZoomFilter(c.filter);
    v->SetZoom(c.zoom);
    const std::vector<uint8_t> image = Snapshot(ui, v);
    const TColor corner = ui.Pixel(v, 3, 3);
    EXPECT_EQ(Snapshot(ui, v), image);
    scribble();
    EXPECT_EQ(Snapshot(ui, v), image);
    scribble();
    v->InvalidateRect(Rect(0, 0, 10, 10));
    EXPECT_EQ(ui.Pixel(v, 3, 3), corner);
    EXPECT_EQ(ui.Pixel(v, 20, 20), clRed);
    EXPECT_EQ(Snapshot(ui, v), image);
    // The ants are drawn over a render that went into the window: it is saved first.
    v->Select(5, 5, 20, 20);
    ui.Advance(150);
    scribble();
    EXPECT_EQ(Snapshot(ui, v), image);
    v->DeSelect();
  }
  v->SetZoom(100);
  const TPoint o = v->GetClientOrigin();
  const TForm* form = static_cast<TForm*>(v->GetParent());
  const int fx = o.X - form->GetLeft(), fy = o.Y - form->GetTop();
  for (const TPoint p : {TPoint{0, 0}, TPoint{39, 0}, TPoint{17, 29}})
    EXPECT_EQ(ui.SurfacePixel(v->GetParent(), fx + p.X, fy + p.Y), Px(*Gradient(40, 30), p.X, p.Y));
}

// After a scroll step the filter waits for two ticks of the 150 ms timer.
TEST(ViewPaint, DelayedZoomFilter) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 40, 40, *Gradient(30, 30));
  v->SetZoom(300);
  v->SetViewXY(4, 4);
  const std::vector<uint8_t> plain = Snapshot(ui, v);
  v->SetZoomFilter(rfTriangle);
  const std::vector<uint8_t> filtered = Snapshot(ui, v);
  ASSERT_NE(plain, filtered);

  v->SetDelayZoomFilter(true);
  v->SetViewXY(0, 0);
  v->SetViewXY(4, 4);
  EXPECT_EQ(v->GetDelayCountdown(), 2);
  EXPECT_EQ(Snapshot(ui, v), plain);
  ui.Advance(150);
  EXPECT_EQ(v->GetDelayCountdown(), 1);
  EXPECT_EQ(Snapshot(ui, v), plain);
  ui.Advance(150);
  EXPECT_EQ(v->GetDelayCountdown(), 0);
  EXPECT_EQ(Snapshot(ui, v), filtered);
  // Zooming in from 100 % does not wait (the old zoom was not above 100 %).
  v->SetZoom(100);
  ui.Advance(300);
  v->SetZoom(200);
  EXPECT_EQ(v->GetDelayCountdown(), 0);
}

// Larger views of a drawn picture, the ones worth looking at (CORVEX_VIEW_PNG): centred on a
// chessboard, zoomed with the grid, filtered, a 1-bit picture reduced, a hatch around.
TEST(ViewPaint, PictureViews) {
  UiHarness ui;
  TBitmap pic(120, 90, pf24bit);
  TCanvas* c = pic.GetCanvas();
  c->GetBrush()->SetColor(RGBColor(250, 240, 200));
  c->FillRect(Rect(0, 0, 120, 90));
  c->GetBrush()->SetColor(RGBColor(200, 40, 40));
  c->GetPen()->SetColor(clBlack);
  c->Ellipse(10, 10, 70, 70);
  c->GetBrush()->SetColor(RGBColor(40, 90, 200));
  c->Rectangle(60, 30, 110, 80);
  for (int i = 0; i < 120; i += 6) {
    c->MoveTo(i, 89);
    c->LineTo(119, 89 - i / 2);
  }
  TCorvexView* v = NewView(ui, 300, 220, pic, RGBColor(90, 90, 110));
  v->SetCenter(true);
  v->SetBackgroundStyle(cxbsChessboard);
  EXPECT_EQ(ui.Pixel(v, v->GetOffsetX() + 40, v->GetOffsetY() + 40), RGBColor(200, 40, 40));
  SavePng(ui, v, "pic_centred_chessboard");

  v->SetDisplayGrid(true);
  v->SetZoom(800);
  v->SetViewXY(8 * 50, 8 * 20);
  EXPECT_EQ(ui.Pixel(v, 3, 3), Px(pic, 50, 20));
  SavePng(ui, v, "pic_800_grid");

  v->SetDisplayGrid(false);
  v->SetZoomFilter(rfLanczos3);
  v->SetZoom(250);
  SavePng(ui, v, "pic_250_lanczos");

  TBitmap mono(120, 90, pf1bit);
  mono.GetCanvas()->GetBrush()->SetColor(clWhite);
  mono.GetCanvas()->FillRect(Rect(0, 0, 120, 90));
  mono.GetCanvas()->GetBrush()->SetColor(clBlack);
  mono.GetCanvas()->Ellipse(10, 10, 110, 80);
  v->SetZoomFilter(rfNone);
  v->Assign(&mono);
  v->SetZoom(33);
  v->SetBackgroundStyle(cxbsDiagCross);
  SavePng(ui, v, "pic_1bit_33_diagcross");
  EXPECT_EQ(ui.Pixel(v, v->GetOffsetX() + 20, v->GetOffsetY() + 15), clBlack);
}

// The paint lock holds scrolling paints back; the last unlock updates. DrawTo copies only the
// shown part of the image, without background or offsets.
TEST(ViewPaint, PaintLockAndDrawTo) {
  UiHarness ui;
  const auto grad = Gradient(30, 30);
  TCorvexView* v = NewView(ui, 20, 20, *grad);
  v->SetZoom(200);
  v->SetViewXY(0, 0);
  const std::vector<uint8_t> before = Snapshot(ui, v);
  v->LockPaint();
  v->LockPaint();
  v->SetViewXY(10, 6);
  ui.Pump();
  EXPECT_EQ(std::vector<uint8_t>(v->GetBackingBitmap()->Bits(), v->GetBackingBitmap()->Bits() + before.size()), before);
  EXPECT_EQ(v->UnLockPaint(), 1);
  EXPECT_EQ(v->NPUnLockPaint(), 0);
  EXPECT_EQ(ui.Pixel(v, 0, 0), Px(*grad, 0, 0));  // still the old frame: no update yet
  v->LockPaint();
  EXPECT_EQ(v->UnLockPaint(), 0);
  EXPECT_EQ(ui.Pixel(v, 0, 0), Px(*grad, 5, 3));

  TBitmap target(30, 30, pf24bit);
  target.GetCanvas()->GetBrush()->SetColor(clWhite);
  target.GetCanvas()->FillRect(Rect(0, 0, 30, 30));
  v->DrawTo(target.GetCanvas());
  EXPECT_EQ(Px(target, 0, 0), Px(*grad, 5, 3));
  EXPECT_EQ(Px(target, 19, 19), Px(*grad, 14, 12));
  EXPECT_EQ(Px(target, 20, 0), clWhite);
}

}  // namespace
}  // namespace corvex
