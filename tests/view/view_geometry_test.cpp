// The image view's geometry: scroll maxima and clamping, coordinate mapping, zoom and its
// events, scroll-bar and wheel messages, fitting, Update on odd clients, and the image calls
// (Assign, Blank, callbacks).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "corvex/platform/graphics/palette.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

// A view on a form, with a W x H image of one colour; the control is ClientW x ClientH inside
// its 2-pixel border.
TCorvexView* NewView(UiHarness& ui, int ClientW, int ClientH, int W, int H, TScrollStyle Bars = ssNone) {
  TForm* form = ui.NewForm(800, 600);
  auto* v = new TCorvexView(form);
  v->SetParent(form);
  v->SetBounds(0, 0, ClientW + 4, ClientH + 4);
  v->SetScrollBars(Bars);
  TBitmap b(W, H, pf24bit);
  v->Assign(&b);
  return v;
}

// Records view changes and bitmap-change calls.
struct Recorder : TObject {
  std::vector<std::string> log;
  TCorvexView* view = nullptr;
  void ViewChanged(TObject*, int Change) { log.push_back("view " + std::to_string(Change)); }
  void BitmapChanged(TObject* Sender, bool Destroying) {
    // The bitmap is still there when the view tells of its end.
    auto* v = static_cast<TCorvexView*>(Sender);
    log.push_back(std::string(Destroying ? "destroying " : "changed ") + std::to_string(v->GetBitmap()->GetWidth()));
  }
};

TEST(ViewGeometry, MaximaClampingAndScrollBars) {
  UiHarness ui;
  // 1000 x 800 in a 500 x 400 client without bars.
  TCorvexView* v = NewView(ui, 500, 400, 1000, 800);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 500);
  EXPECT_EQ(my, 400);
  v->SetViewXY(600, -5);
  EXPECT_EQ(v->GetViewX(), 500);
  EXPECT_EQ(v->GetViewY(), 0);

  // With both bars the client loses their room, and the maxima grow by it.
  v->SetScrollBars(ssBoth);
  const int t = ScrollBarThickness();
  EXPECT_EQ(v->GetClientWidth(), 500 - t);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 500 + t);
  EXPECT_EQ(my, 400 + t);
  EXPECT_TRUE(v->ScrollBarState(SB_HORZ).Visible);
  EXPECT_TRUE(v->ScrollBarState(SB_VERT).Visible);
  EXPECT_EQ(v->ScrollBarState(SB_HORZ).Max, 65535);
  // Thumb position = offset / scale, scale = (client + maximum) / 65536 = extent / 65536.
  EXPECT_EQ(v->GetScrollPos(SB_HORZ), int(500 / (1000.0 / 65536)));

  // Shrinking the image to a size that fits the client (not only the control) drops the bars
  // and the offsets.
  TBitmap small(400, 300, pf24bit);
  v->Assign(&small);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  EXPECT_EQ(v->GetViewX(), 0);
  EXPECT_FALSE(v->ScrollBarState(SB_HORZ).Visible);
  EXPECT_FALSE(v->ScrollBarState(SB_VERT).Visible);
}

// An image that is larger than the client but smaller than the control: before it was taken
// to fit (its last columns and rows unreachable); it scrolls by what the client hides.
TEST(ViewGeometry, ImageBetweenClientAndControlScrolls) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 101, 101, 103, 103);  // the 105 x 105 default size
  EXPECT_EQ(v->GetWidth(), 105);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 2);
  EXPECT_EQ(my, 2);
  v->SetScrollBars(ssBoth);
  const int t = ScrollBarThickness();
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 103 - (101 - t));
  EXPECT_EQ(my, 103 - (101 - t));
  EXPECT_TRUE(v->ScrollBarState(SB_HORZ).Visible && v->ScrollBarState(SB_HORZ).Enabled);
  v->SetViewXY(1000, 1000);
  EXPECT_EQ(v->XScr2Bmp(v->GetClientWidth()), 103);  // the last column is reachable

  // 101 x 101 fits the client without bars: nothing scrolls, the bars go.
  TBitmap fits(101, 101, pf24bit);
  v->Assign(&fits);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx + my, 0);
  EXPECT_FALSE(v->ScrollBarState(SB_HORZ).Visible);
  EXPECT_EQ(v->GetClientWidth(), 101);

  // Bars that always stay take their room: the same image no longer fits, and scrolls.
  v->SetScrollBarsAlwaysVisible(true);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, t);
  EXPECT_TRUE(v->ScrollBarState(SB_HORZ).Enabled);
  // A smaller one fits: the bars are visible but disabled.
  TBitmap tiny(50, 50, pf24bit);
  v->Assign(&tiny);
  EXPECT_TRUE(v->ScrollBarState(SB_HORZ).Visible);
  EXPECT_TRUE(v->ScrollBarState(SB_VERT).Visible);
  EXPECT_FALSE(v->ScrollBarState(SB_HORZ).Enabled);
  EXPECT_FALSE(v->ScrollBarState(SB_VERT).Enabled);
}

TEST(ViewGeometry, MappingTable) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 200, 1000, 1000);
  struct Row {
    int zoom, viewx, x, scr2bmp;
  } rows[] = {
      {300, 0, 4, 1},   {300, 0, 5, 2},  {200, 0, 5, 2},  {200, 0, 7, 4},  {100, 0, 7, 7},
      {50, 0, 3, 6},    {300, 10, 5, 5}, {33, 0, 1, 3},   {200, 3, 0, 2},
  };
  for (const Row& r : rows) {
    v->SetZoom(r.zoom);
    v->SetViewXY(r.viewx, r.viewx);
    ASSERT_EQ(v->GetViewX(), r.viewx) << r.zoom;
    EXPECT_EQ(v->XScr2Bmp(r.x), r.scr2bmp) << r.zoom << " " << r.viewx << " " << r.x;
    EXPECT_EQ(v->YScr2Bmp(r.x), r.scr2bmp) << r.zoom << " " << r.viewx << " " << r.x;
    v->SetViewXY(0, 0);
  }
  // Bitmap to client: Round((x + Round(-ViewX / z)) * z + OffsetX).
  v->SetZoom(300);
  v->SetViewXY(10, 0);  // Round(-3.33) = -3
  EXPECT_EQ(v->XBmp2Scr(5), 6);
  EXPECT_EQ(v->YBmp2Scr(5), 15);
  // Sums are 64-bit: no overflow at the ends of the integer range.
  v->SetZoom(kMaxViewZoom);
  EXPECT_EQ(v->XBmp2Scr(INT_MAX), INT_MAX);
  EXPECT_EQ(v->XScr2Bmp(INT_MAX), int((int64_t(INT_MAX) + v->GetViewX() + 32) / 64));
}

TEST(ViewGeometry, ZoomEventsCapAndCentre) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 100, 1000, 1000);
  Recorder rec;
  v->OnViewChange = TViewChangeEvent(&rec, &Recorder::ViewChanged);
  v->SetZoom(0);
  v->SetZoom(-5);
  v->SetZoom(100);
  EXPECT_TRUE(rec.log.empty());
  EXPECT_EQ(v->GetZoom(), 100);

  // The bitmap point under the client centre (100, 50) stays there.
  v->SetViewXY(300, 200);
  rec.log.clear();
  v->SetZoom(200);
  EXPECT_EQ(v->GetViewX(), 2 * 400 - 100);
  EXPECT_EQ(v->GetViewY(), 2 * 250 - 50);
  EXPECT_EQ(rec.log, (std::vector<std::string>{"view 1"}));

  // Near the right edge the new offset stays within the maximum of the old zoom.
  v->SetZoom(100);
  v->SetViewXY(800, 0);
  v->SetZoom(200);
  EXPECT_EQ(v->GetViewX(), 800);
  // ZoomAt puts the clicked bitmap point at the client centre after the zoom.
  ASSERT_EQ(v->GetViewY(), 50);
  v->ZoomAt(20, 10, 400);  // bitmap (410, 30)
  EXPECT_EQ(v->GetZoom(), 400);
  EXPECT_EQ(v->GetViewX(), 410 * 4 - 100);
  EXPECT_EQ(v->GetViewY(), 30 * 4 - 50);

  v->SetZoom(1000000);
  EXPECT_EQ(v->GetZoom(), kMaxViewZoom);
  EXPECT_EQ(v->GetExtentX(), 1000 * 64);

  // Centring: half the free space, rounded down.
  TBitmap small(51, 30, pf24bit);
  v->SetZoom(100);
  v->Assign(&small);
  v->SetCenter(true);
  EXPECT_EQ(v->GetOffsetX(), (200 - 51) / 2);
  EXPECT_EQ(v->GetOffsetY(), 35);
  EXPECT_EQ(v->XScr2Bmp(74), 0);
  EXPECT_EQ(v->XBmp2Scr(51), 125);
}

TEST(ViewGeometry, ScrollMessagesAndWheel) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 300, 200, 1000, 1000, ssBoth);
  const int cw = v->GetClientWidth(), ch = v->GetClientHeight();
  v->SetZoom(300);
  v->SetViewXY(0, 0);
  struct Step {
    int bar, code, pos, line, page;
    bool tracking;
    int x, y;
  };
  const double hscale = (cw + (3000 - cw)) / 65536.0;
  const Step steps[] = {
      {SB_HORZ, SB_LINEDOWN, 0, -1, -1, true, 3, 0},           // one zoomed pixel
      {SB_HORZ, SB_LINEDOWN, 0, 5, -1, true, 18, 0},           // LineStep zoomed pixels
      {SB_HORZ, SB_LINEUP, 0, 5, -1, true, 3, 0},
      {SB_VERT, SB_PAGEDOWN, 0, -1, -1, true, 3, ch},          // a client page
      {SB_VERT, SB_PAGEDOWN, 0, -1, 10, true, 3, ch + 30},     // PageStep zoomed pixels
      {SB_VERT, SB_PAGEUP, 0, -1, -1, true, 3, 30},
      {SB_VERT, SB_TOP, 0, -1, -1, true, 3, 0},
      {SB_HORZ, SB_BOTTOM, 0, -1, -1, true, 3000 - cw, 0},
      {SB_HORZ, SB_THUMBTRACK, 1000, -1, -1, false, 3000 - cw, 0},  // tracking off: ignored
      {SB_HORZ, SB_THUMBTRACK, 1000, -1, -1, true, int(1000 * hscale), 0},
      {SB_HORZ, SB_THUMBPOSITION, 2000, -1, -1, false, int(2000 * hscale), 0},
      {SB_HORZ, SB_ENDSCROLL, 0, -1, -1, true, int(2000 * hscale), 0},
  };
  for (const Step& s : steps) {
    TCXScrollBarParams* p = s.bar == SB_HORZ ? v->GetHScrollBarParams() : v->GetVScrollBarParams();
    p->LineStep = s.line;
    p->PageStep = s.page;
    p->Tracking = s.tracking;
    ui.Scroll(v, s.bar, s.code, s.pos);
    EXPECT_EQ(v->GetViewX(), s.x) << s.code;
    EXPECT_EQ(v->GetViewY(), s.y) << s.code;
  }

  // The wheel: at zoom 10 a notch changes the zoom by max(Round(0.8), 1) = 1.
  v->SetFocus();
  v->SetZoom(10);
  ui.Wheel(v, 1, 10, 10);  // away from the user: out
  EXPECT_EQ(v->GetZoom(), 9);
  ui.Wheel(v, -1, 10, 10);
  ui.Wheel(v, -1, 10, 10);
  EXPECT_EQ(v->GetZoom(), 11);
  v->GetMouseWheelParams()->InvertWheel = true;
  ui.Wheel(v, 1, 10, 10);
  EXPECT_EQ(v->GetZoom(), 12);
  // A delta of 0 is no notch.
  v->Perform(WM_MOUSEWHEEL, 0, 0);
  EXPECT_EQ(v->GetZoom(), 12);
  // Scrolling by the wheel: absolute steps of Value zoomed pixels, or a percentage of the client.
  v->SetZoom(200);
  v->SetViewXY(0, 0);
  TCXMouseWheelParams* w = v->GetMouseWheelParams();
  w->InvertWheel = false;
  w->Action = cxmwVScroll;
  w->Variation = cxmwAbsolute;
  ui.Wheel(v, -1, 10, 10);
  EXPECT_EQ(v->GetViewY(), 16);
  w->Variation = cxmwPercentage;
  ui.Wheel(v, -1, 10, 10);
  EXPECT_EQ(v->GetViewY(), 16 + Round(ch * 8 / 100.0));
  w->Action = cxmwNone;
  ui.Wheel(v, -1, 10, 10);
  EXPECT_EQ(v->GetViewY(), 16 + Round(ch * 8 / 100.0));
}

TEST(ViewGeometry, FitIdealSizeAndAutoFit) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 150, 400, 300, ssBoth);
  v->Fit();
  EXPECT_EQ(v->GetZoom(), 50);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx + my, 0);
  EXPECT_FALSE(v->ScrollBarState(SB_VERT).Visible);
  EXPECT_EQ(v->GetDisplayWidth(), 200);
  // The ideal size includes the border: a control of that size shows the whole image.
  v->SetZoom(75);
  EXPECT_EQ(v->IdealComponentWidth(), 300 + 4);
  EXPECT_EQ(v->IdealComponentHeight(), 225 + 4);
  v->SetBounds(0, 0, v->IdealComponentWidth(), v->IdealComponentHeight());
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx + my, 0);
  EXPECT_EQ(v->GetDisplayWidth(), v->GetClientWidth());
  EXPECT_EQ(v->GetDisplayHeight(), v->GetClientHeight());

  // AutoFit follows the control's size.
  v->SetAutoFit(true);
  v->SetBounds(0, 0, 104, 104);
  EXPECT_EQ(v->GetZoom(), 25);
  v->SetBounds(0, 0, 804, 504);
  EXPECT_EQ(v->GetZoom(), 166);
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx + my, 0);
}

// Update settles whatever calls it from inside: a handler that updates again, scroll bars that
// change the client, a client of no size at all.
TEST(ViewGeometry, UpdateIsBoundedAndEmptyClientsAreHarmless) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 300, 300, 300 + 8, 300 - 8, ssBoth);
  struct Reentrant : TObject {
    TCorvexView* view = nullptr;
    int calls = 0;
    void Changed(TObject*, int) {
      if (++calls < 100) view->Update();
    }
  } r;
  r.view = v;
  v->OnViewChange = TViewChangeEvent(&r, &Reentrant::Changed);
  v->SetViewXY(1000, 1000);
  v->Update();
  EXPECT_LT(r.calls, 100);
  // Wider than the client: a horizontal bar, which then makes the height not fit either.
  EXPECT_TRUE(v->ScrollBarState(SB_HORZ).Visible);
  EXPECT_TRUE(v->ScrollBarState(SB_VERT).Visible);

  v->SetBounds(0, 0, 3, 3);  // no client
  EXPECT_EQ(v->GetClientWidth(), 0);
  v->SetZoom(400);
  v->SetViewXY(5, 5);
  v->Repaint();
  ui.Pump();
  TBitmap empty;
  v->Assign(&empty);
  v->SetBounds(0, 0, 50, 50);
  v->Fit();
  v->Repaint();
  ui.Pump();
  EXPECT_EQ(v->GetExtentX(), 0);

  // Without a parent nothing is computed, and nothing breaks.
  TCorvexView lone(nullptr);
  TBitmap b(50, 50, pf24bit);
  lone.Assign(&b);
  lone.SetZoom(200);
  lone.SetViewXY(10, 10);
  lone.Fit();
  lone.Repaint();
  EXPECT_EQ(lone.GetExtentX(), 0);
}

TEST(ViewGeometry, AssignBlankAndCallbacks) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 100, 100, 10, 10);
  // Assign(self) keeps the image; a palette image comes in as 24-bit.
  v->GetBitmap()->GetCanvas()->SetPixels(3, 3, clRed);
  v->Assign(v);
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(3, 3), clRed);
  TBitmap pal(7, 5, pf8bit);
  v->Assign(&pal);
  EXPECT_EQ(v->GetBitmap()->GetPixelFormat(), pf24bit);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 7);
  TBitmap mono(9, 4, pf1bit);
  v->Assign(&mono);
  EXPECT_EQ(v->GetBitmap()->GetPixelFormat(), pf1bit);

  // Another view: its bitmap, background and resolution. Each view holds two DIB drawers.
  const size_t drawers = DrawDibCount();
  auto* w = new TCorvexView(v->GetParent());
  EXPECT_EQ(DrawDibCount(), drawers + 2);
  w->SetParent(v->GetParent());
  w->SetBackGround(RGBColor(1, 2, 3));
  w->SetDPI(300, 150);
  TBitmap img(6, 6, pf24bit);
  w->Assign(&img);
  int changes = 0;
  struct Counter : TObject {
    int* n;
    void Changed(TObject*) { ++*n; }
  } counter;
  counter.n = &changes;
  v->OnImageChange = TNotifyEvent(&counter, &Counter::Changed);
  v->Assign(w);
  v->Assign(v);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 6);
  EXPECT_EQ(v->GetBackground(), RGBColor(1, 2, 3));
  EXPECT_EQ(v->GetDPIX(), 300);
  EXPECT_EQ(v->GetDPIY(), 150);

  v->Blank();
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 1);
  EXPECT_EQ(v->GetBitmap()->GetHeight(), 1);
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(0, 0), RGBColor(1, 2, 3));

  // Two components of one class: removing one leaves the other; the remaining one hears the
  // end while the bitmap still exists.
  Recorder a, b;
  w->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(&a, &Recorder::BitmapChanged));
  w->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(&b, &Recorder::BitmapChanged));
  w->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(&a, &Recorder::BitmapChanged));
  EXPECT_EQ(w->BitmapChangeEventCount(), 1);
  w->CallBitmapChangeEvents();
  delete w;
  EXPECT_TRUE(a.log.empty());
  EXPECT_EQ(b.log, (std::vector<std::string>{"changed 6", "destroying 6"}));
  EXPECT_EQ(DrawDibCount(), drawers);
}

// Polygon-shaped copies into and out of the view's bitmap.
TEST(ViewGeometry, PolygonCopies) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 50, 50, 20, 20);
  TCanvas* vc = v->GetBitmap()->GetCanvas();
  vc->GetBrush()->SetColor(clRed);
  vc->FillRect(Rect(0, 0, 20, 20));
  TBitmap blue(20, 20, pf24bit);
  blue.GetCanvas()->GetBrush()->SetColor(clBlue);
  blue.GetCanvas()->FillRect(Rect(0, 0, 20, 20));
  const TPoint square[] = {{2, 2}, {8, 2}, {8, 8}, {2, 8}};
  v->CopyFromPolygon(&blue, square, 4, TPoint{10, 10});
  EXPECT_EQ(vc->GetPixels(12, 12), clBlue);
  EXPECT_EQ(vc->GetPixels(9, 9), clRed);
  EXPECT_EQ(vc->GetPixels(4, 4), clRed);

  TBitmap white(20, 20, pf24bit);
  white.GetCanvas()->GetBrush()->SetColor(clWhite);
  white.GetCanvas()->FillRect(Rect(0, 0, 20, 20));
  v->CopyToPolygon(&white, square, 4, TPoint{0, 0});
  EXPECT_EQ(white.GetCanvas()->GetPixels(4, 4), clRed);
  EXPECT_EQ(white.GetCanvas()->GetPixels(15, 15), clWhite);
  v->CopyToPolygon(&white, nullptr, 4, TPoint{0, 0});  // no points: nothing
}

// ZoomSelection fills the client with the selection box; a new image size drops the selection.
TEST(ViewGeometry, ZoomSelectionAndSelectionOnResize) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 200, 100, 1000, 1000);
  v->SetSelectionBase(cxsbBitmap);
  v->Select(100, 100, 199, 149);
  ASSERT_TRUE(v->GetSelected());
  v->ZoomSelection();
  EXPECT_FALSE(v->GetSelected());
  EXPECT_EQ(v->GetZoom(), 200);  // 100 x 50 pixels into 200 x 100
  EXPECT_EQ(v->GetViewX(), 200);
  EXPECT_EQ(v->GetViewY(), 200);

  v->Select(10, 10, 50, 50);
  TBitmap same(1000, 1000, pf24bit);
  v->Assign(&same);
  EXPECT_TRUE(v->GetSelected());
  TBitmap other(999, 1000, pf24bit);
  v->Assign(&other);
  EXPECT_FALSE(v->GetSelected());
  EXPECT_EQ(v->GetPolySelCount(), 0);
}

TEST(ViewGeometry, DesignTimeCursorsAndPalette) {
  UiHarness ui;
  TCorvexView* v = NewView(ui, 50, 50, 10, 10);
  EXPECT_EQ(v->GetCursor(), 1785);
  EXPECT_EQ(v->GetViewCursor(), 1785);
  EXPECT_NE(Screen().GetCursors(1785), Screen().GetCursors(crDefault));
  v->SaveCursor(crHourGlass);
  EXPECT_EQ(Screen().GetCursor(), crHourGlass);
  v->RestoreCursor();
  EXPECT_EQ(Screen().GetCursor(), crDefault);

  // A palette of 256 entries from the image.
  v->GetBitmap()->GetCanvas()->GetBrush()->SetColor(RGBColor(200, 0, 0));
  v->GetBitmap()->GetCanvas()->FillRect(Rect(0, 0, 10, 10));
  const HPALETTE pal = v->_CreatePalette();
  ASSERT_NE(pal, 0u);
  EXPECT_EQ(GetPaletteEntries(pal).size(), 256u);
  DeletePalette(pal);

  // DIB headers: rows padded to 32 bits, the bit count from the number of colours.
  TBitmapInfoHeader h;
  InitializeBitmapInfoHeader(v->GetBitmap(), h, 0);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biSizeImage, 32u * 10);
  InitializeBitmapInfoHeader(v->GetBitmap(), h, 2);
  EXPECT_EQ(h.biBitCount, 1);
  EXPECT_EQ(h.biSizeImage, 4u * 10);
  InitializeBitmapInfoHeader(v->GetBitmap(), h, 256);
  EXPECT_EQ(h.biSizeImage, 12u * 10);

  // While designing, the bitmap follows the control's size and is blank.
  v->SetBackGround(RGBColor(5, 6, 7));
  v->SetDesigning(true);
  v->SetBounds(0, 0, 64, 48);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 64);
  EXPECT_EQ(v->GetBitmap()->GetHeight(), 48);
  EXPECT_EQ(v->GetBitmap()->GetCanvas()->GetPixels(63, 47), RGBColor(5, 6, 7));
  v->SetDesigning(false);
  v->SetBounds(0, 0, 80, 80);
  EXPECT_EQ(v->GetBitmap()->GetWidth(), 64);
}

}  // namespace
}  // namespace corvex
