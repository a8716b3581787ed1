// The I/O and processing components attached to views and image controls: loads shown with the
// file's resolution and one image-change event, operations limited to the view's selection,
// and every order of freeing views and components.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using namespace testing_support;

// A minimal view: it owns a bitmap it can replace, counts Update and ImageChange, and reports a
// selection the test sets.
class CountingView : public TCXView {
 public:
  explicit CountingView(TComponent* Owner) : TCXView(Owner), Bitmap(std::make_unique<TBitmap>(8, 6, pf24bit)) {}
  TBitmap* GetFBitmap() override { return Bitmap.get(); }
  void Update() override { ++Updates; }
  void ImageChange() override { ++ImageChanges; }
  // A new bitmap object, announced to the components.
  void ReplaceBitmap(int W, int H) {
    Bitmap = std::make_unique<TBitmap>(W, H, pf24bit);
    CallBitmapChangeEvents();
  }
  bool GetSelected() const override { return !Sel.empty(); }
  int GetSelX1() const override { return Box.Left; }
  int GetSelY1() const override { return Box.Top; }
  int GetSelX2() const override { return Box.Right; }
  int GetSelY2() const override { return Box.Bottom; }
  const TPoint* GetPolySelArray() const override { return Sel.data(); }
  int GetPolySelCount() const override { return int(Sel.size()); }
  void DeSelect() override { Sel.clear(); }
  int XScr2Bmp(int x) const override { return x / 2; }
  int YScr2Bmp(int y) const override { return y / 2; }

  std::unique_ptr<TBitmap> Bitmap;
  std::vector<TPoint> Sel;
  TRect Box;
  int Updates = 0, ImageChanges = 0;
};

// An I/O component that detaches itself from its own handler on the view's list.
class SelfDetachingIO : public TCorvexIO {
 public:
  void AttachWithHandler(CountingView* View) {
    SetAttachedCorvex(View);
    View->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(this, &SelfDetachingIO::Changed));
  }
  void Changed(TObject* Sender, bool) {
    static_cast<TCXView*>(Sender)->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(this, &SelfDetachingIO::Changed));
    SetAttachedCorvex(nullptr);
    ++Calls;
  }
  int Calls = 0;
};

void Fill(TBitmap* B, uint8_t Seed) {
  for (int y = 0; y < B->GetHeight(); ++y)
    for (int x = 0; x < B->GetWidth() * 3; ++x) B->ScanLine(y)[x] = uint8_t(Seed + x * 7 + y * 13);
}

// Attachment, re-reading a replaced bitmap, refresh, background, selection and the client point
// of a paste, then freeing in both orders; a TImage the same way.
TEST(ViewAttach, ComponentsFollowTheViewAndSurviveEitherFreeingOrder) {
  for (const bool viewFirst : {true, false}) {
    SCOPED_TRACE(viewFirst ? "view freed first" : "components freed first");
    auto* view = new CountingView(nullptr);
    auto* io = new TCorvexIO;
    auto* proc = new TCorvexProc;
    proc->SetAutoUndo(false);
    io->SetAttachedCorvex(view);
    proc->SetAttachedCorvex(view);
    ASSERT_EQ(view->BitmapChangeEventCount(), 2);
    EXPECT_EQ(proc->GetAttachedBitmap(), view->GetFBitmap());

    // The view's background is the components' background, both ways.
    proc->SetBackground(clRed);
    EXPECT_EQ(view->GetBackground(), clRed);
    EXPECT_EQ(io->GetBackground(), clRed);

    // A new bitmap object is picked up; an operation refreshes the view once.
    view->ReplaceBitmap(10, 4);
    EXPECT_EQ(io->GetAttachedBitmap(), view->Bitmap.get());
    ASSERT_EQ(proc->GetAttachedBitmap(), view->Bitmap.get());
    Fill(view->Bitmap.get(), 40);
    TBitmap before;
    before.Assign(view->Bitmap.get());
    view->Sel = {{2, 1}, {6, 1}, {6, 3}, {2, 3}};
    view->Box = Rect(2, 1, 6, 3);
    proc->Negative();
    EXPECT_EQ(view->Updates, 1);
    EXPECT_EQ(view->ImageChanges, 1);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
        const uint8_t b = before.ScanLine(y)[3 * x], a = view->Bitmap->ScanLine(y)[3 * x];
        EXPECT_EQ(a, inside ? uint8_t(255 - b) : b) << x << "," << y;
      }
    // A pasted point is a client point of the view, mapped to the bitmap once (here x / 2).
    {
      TBitmap red(2, 1, pf24bit);
      for (int x = 0; x < 2; ++x) red.ScanLine(0)[3 * x] = 0, red.ScanLine(0)[3 * x + 1] = 0, red.ScanLine(0)[3 * x + 2] = 255;
      TCorvexProc clip;
      clip.SetAttachedBitmap(&red);
      clip.CopyToClipboard();
      TBitmap beforePaste;
      beforePaste.Assign(view->Bitmap.get());
      view->Sel.clear();
      proc->PointPasteFromClip(8, 4);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x) {
          const bool pasted = y == 2 && (x == 4 || x == 5);
          const uint8_t* p = view->Bitmap->ScanLine(y) + 3 * x;
          const uint8_t* q = beforePaste.ScanLine(y) + 3 * x;
          if (pasted) EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 255) << x;
          else EXPECT_EQ(std::memcmp(p, q, 3), 0) << x << "," << y;
        }
    }
    // The component's own rectangle does not apply while the view is attached; SelectAll clears
    // the view's selection.
    proc->SelectAll();
    EXPECT_TRUE(view->Sel.empty());
    int x1, y1, x2, y2, n;
    const TPoint* poly;
    EXPECT_FALSE(proc->GetReSel(x1, y1, x2, y2, poly, n));
    EXPECT_EQ(x2, 10);

    if (viewFirst) {
      delete view;
      EXPECT_EQ(io->GetAttachedCorvex(), nullptr);
      EXPECT_EQ(proc->GetAttachedCorvex(), nullptr);
      EXPECT_EQ(proc->GetAttachedBitmap(), nullptr);
      proc->Negative();  // nothing to work on: no access to the freed bitmap
      io->Clear();
      delete io;
      delete proc;
    } else {
      delete io;
      delete proc;
      EXPECT_EQ(view->BitmapChangeEventCount(), 0);
      delete view;
    }
  }

  // A TImage: its picture bitmap is the target and repaints through PictureChanged; freeing it
  // detaches.
  auto* image = new TImage(nullptr);
  image->GetBitmap()->SetSize(4, 4);
  int changes = 0;
  struct Counter : TObject {
    int* n;
    void Changed(TObject*) { ++*n; }
  } counter;
  counter.n = &changes;
  image->OnChange = TNotifyEvent(&counter, &Counter::Changed);
  TCorvexProc proc;
  proc.SetAttachedBitmap(nullptr);
  proc.SetTImage(image);
  EXPECT_EQ(proc.GetAttachedBitmap(), image->GetBitmap());
  changes = 0;
  proc.Negative();
  EXPECT_GE(changes, 1);
  proc.SetAttachedBitmap(nullptr);  // nullptr keeps the picture
  EXPECT_EQ(proc.GetAttachedTImage(), image);
  delete image;
  EXPECT_EQ(proc.GetAttachedTImage(), nullptr);
  EXPECT_EQ(proc.GetAttachedBitmap(), nullptr);
}

// Two components on one view, one of which detaches from inside its own handler while the view
// announces a new bitmap: the other still hears it, and the view's end reaches only it.
TEST(ViewAttach, OneOfTwoComponentsDetachesInsideItsOwnCallback) {
  auto* view = new CountingView(nullptr);
  SelfDetachingIO first;
  TCorvexProc second;
  first.AttachWithHandler(view);
  second.SetAttachedCorvex(view);
  ASSERT_EQ(view->BitmapChangeEventCount(), 3);
  view->ReplaceBitmap(3, 3);
  EXPECT_EQ(first.Calls, 1);
  EXPECT_EQ(first.GetAttachedCorvex(), nullptr);
  EXPECT_EQ(second.GetAttachedBitmap(), view->Bitmap.get());
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);
  delete view;
  EXPECT_EQ(second.GetAttachedCorvex(), nullptr);
  EXPECT_EQ(first.Calls, 1);
}

// --- With the image view itself

struct ViewFixture {
  UiHarness ui;
  TForm* form = ui.NewForm(400, 300);
  TCorvexView* view = nullptr;
  int imageChanges = 0;
  void Changed(TObject*) { ++imageChanges; }
  ViewFixture() {
    view = new TCorvexView(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 400, 300);
    view->OnImageChange = TNotifyEvent(this, &ViewFixture::Changed);
    ui.Pump();
  }
};

// A sample saved with a resolution of its own, loaded through the component into the view: the
// view shows its pixels, takes its resolution and fires OnImageChange once.
TEST(ViewAttach, LoadIntoTheViewShowsTheFileAtItsResolution) {
  TBitmap card;
  TCorvexIO reader;
  reader.SetAttachedBitmap(&card);
  reader.LoadFromFile(std::string(CORVEX_SOURCE_DIR) + "/samples/testcard.png");
  ASSERT_FALSE(reader.GetAborting());
  reader.GetParams().DpiX = 300;
  reader.GetParams().DpiY = 150;
  const std::string bmp = TempPath("attach.bmp");
  reader.SaveToFile(bmp);
  ASSERT_FALSE(reader.GetAborting());

  ViewFixture f;
  TCorvexIO io(f.form);
  io.SetAttachedCorvex(f.view);
  f.imageChanges = 0;
  io.LoadFromFile(bmp);
  ASSERT_FALSE(io.GetAborting());
  EXPECT_EQ(f.imageChanges, 1);
  EXPECT_EQ(f.view->GetDPIX(), 300);
  EXPECT_EQ(f.view->GetDPIY(), 150);
  ASSERT_EQ(f.view->GetBitmap()->GetWidth(), card.GetWidth());
  const TBitmap* shown = f.ui.Pixels(f.view);
  for (const TPoint p : {TPoint{0, 0}, TPoint{123, 45}, TPoint{399, 299}, TPoint{250, 200}}) {
    const uint8_t* s = shown->ScanLine(p.Y) + 3 * p.X;
    const uint8_t* c = card.ScanLine(p.Y) + 3 * p.X;
    EXPECT_EQ(RGBColor(s[2], s[1], s[0]), RGBColor(c[2], c[1], c[0])) << p.X << "," << p.Y;
  }
  std::remove(bmp.c_str());
}

// Negative through the view's rectangle and polygon selections changes exactly what the same
// operation on a bare bitmap with the same selection changes.
TEST(ViewAttach, OperationsKeepToTheViewsSelection) {
  ViewFixture f;
  TBitmap* b = f.view->GetBitmap();
  b->Allocate(120, 90, pf24bit);
  Fill(b, 3);
  f.view->Update();
  TBitmap original;
  original.Assign(b);

  TCorvexProc proc(f.form);
  proc.SetAttachedCorvex(f.view);
  f.view->SetSelectionBase(cxsbBitmap);
  struct Shape {
    std::vector<TPoint> points;
  };
  const Shape shapes[] = {{{{10, 20}, {70, 20}, {70, 50}, {10, 50}}},  // the rectangle
                          {{{5, 5}, {100, 15}, {40, 80}}}};            // a triangle
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.points.size());
    CXCopyBitmap(&original, b);
    f.view->DeSelect();
    if (s.points.size() == 4) {
      // Selected through the component, in bitmap pixels whatever the view's selection base.
      f.view->SetSelectionBase(cxsbClientArea);
      f.view->SetZoom(200);
      proc.Select(10, 20, 70, 50);
      f.view->SetZoom(100);
      f.view->SetSelectionBase(cxsbBitmap);
      EXPECT_EQ(f.view->GetSelX1(), 10);
      EXPECT_EQ(f.view->GetSelY2(), 50);
    } else {
      for (const TPoint& p : s.points) f.view->AddSelPoint(p.X, p.Y);
    }
    ASSERT_TRUE(f.view->GetSelected());
    f.imageChanges = 0;
    proc.Negative();
    EXPECT_EQ(f.imageChanges, 1);

    TBitmap expected;
    expected.Assign(&original);
    TCorvexProc bare;
    bare.SetAttachedBitmap(&expected);
    int minX = 1 << 20, minY = 1 << 20, maxX = 0, maxY = 0;
    for (const TPoint& p : s.points)
      minX = std::min(minX, p.X), minY = std::min(minY, p.Y), maxX = std::max(maxX, p.X), maxY = std::max(maxY, p.Y);
    bare.Select(minX, minY, maxX, maxY);
    bare.SelectPolygon(s.points.data(), int(s.points.size()));
    bare.Negative();
    EXPECT_TRUE(_BitmapCompareX(b, &expected));
    int changed = 0;
    for (int y = 0; y < 90; ++y) changed += std::memcmp(b->ScanLine(y), original.ScanLine(y), 360) != 0;
    EXPECT_GT(changed, 20);
  }
}

// The real view freed before and after components that it does not own, and components owned
// by the view freed with it.
TEST(ViewAttach, FreeingTheViewOrTheComponentFirstIsSafe) {
  {
    ViewFixture f;
    auto* io = new TCorvexIO;
    auto* proc = new TCorvexProc;
    io->SetAttachedCorvex(f.view);
    proc->SetAttachedCorvex(f.view);
    delete f.view;
    EXPECT_EQ(io->GetAttachedCorvex(), nullptr);
    EXPECT_EQ(proc->GetAttachedBitmap(), nullptr);
    io->LoadFromFile(std::string(CORVEX_SOURCE_DIR) + "/samples/testcard.png");  // no target: nothing
    proc->Negative();
    delete io;
    delete proc;
  }
  {
    ViewFixture f;
    auto* io = new TCorvexIO;
    auto* proc = new TCorvexProc;
    io->SetAttachedCorvex(f.view);
    proc->SetAttachedCorvex(f.view);
    delete proc;
    delete io;
    EXPECT_EQ(f.view->BitmapChangeEventCount(), 0);
    delete f.view;
  }
  {
    ViewFixture f;
    auto* io = new TCorvexIO(f.view);
    auto* proc = new TCorvexProc(f.view);
    io->SetAttachedCorvex(f.view);
    proc->SetAttachedCorvex(f.view);
    delete f.view;  // frees both after telling them
  }
}

}  // namespace
}  // namespace corvex
