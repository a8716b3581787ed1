// The processing component: selections, undo, selection-limited runs, clipboard, hidden data,
// resizing and the frequency-domain calls.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "corvex/core/utils.h"
#include "corvex/platform/clipboard.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {
namespace {

std::unique_ptr<TBitmap> Noise(int w, int h, uint32_t seed) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < 3 * w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      p[x] = uint8_t(seed >> 24);
    }
  }
  return b;
}

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
bool Same(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST(Component, SelectionAndUndo) {
  TCorvexProc proc;
  EXPECT_FALSE(proc.GetCanUndo());
  auto b = Noise(20, 10, 1);
  proc.SetAttachedBitmap(b.get());
  int x1, y1, x2, y2, n;
  const TPoint* poly;
  EXPECT_FALSE(proc.GetReSel(x1, y1, x2, y2, poly, n));
  EXPECT_EQ(x1, 0);
  EXPECT_EQ(x2, 20);
  EXPECT_EQ(y2, 10);
  proc.Select(3, 2, 8, 6);
  EXPECT_TRUE(proc.GetReSel(x1, y1, x2, y2, poly, n));
  EXPECT_EQ(proc.GetSelX2(), 8);
  EXPECT_EQ(n, 0);

  TBitmap orig;
  CXCopyBitmap(b.get(), &orig);
  proc.Negative();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool in = x >= 3 && x < 8 && y >= 2 && y < 6;
      const TRGB o = Px(orig, x, y), p = Px(*b, x, y);
      ASSERT_TRUE(in ? p.r == 255 - o.r && p.g == 255 - o.g : Same(o, p));
    }
  EXPECT_TRUE(proc.GetCanUndo());
  proc.Undo();
  EXPECT_TRUE(_BitmapCompareX(b.get(), &orig));
  proc.Undo();  // the saved copy stays: the same state again
  EXPECT_TRUE(_BitmapCompareX(b.get(), &orig));
  proc.ClearUndo();
  EXPECT_FALSE(proc.GetCanUndo());

  // Without AutoUndo nothing is saved; without a bitmap nothing happens.
  proc.SetAutoUndo(false);
  proc.SelectAll();
  proc.ConvertToGray();
  EXPECT_FALSE(proc.GetCanUndo());
  proc.SetAttachedBitmap(nullptr);
  proc.Negative();
  proc.Rotate(30, true);
  proc.Undo();

  // A 1-pixel-high image can never be undone.
  TBitmap line(10, 1, pf24bit);
  proc.SetAutoUndo(true);
  proc.SetAttachedBitmap(&line);
  proc.Negative();
  EXPECT_FALSE(proc.GetCanUndo());
}

TEST(Component, PolygonSelectionsLeaveTheOutsideBitIdentical) {
  // A triangle and a square as two sub-polygons; every operation family.
  const TPoint two[] = {{2, 2}, {14, 2}, {2, 12}, {kPolySeparator, 0}, {20, 4}, {28, 4}, {28, 12}, {20, 12}};
  TRegion inside = TRegion::FromPolygon(two, 3, fmAlternate);
  inside |= TRegion::FromPolygon(two + 4, 4, fmAlternate);
  auto src = Noise(32, 16, 4);
  auto other = Noise(7, 5, 9);
  TCorvexProc proc;
  proc.SetBackground(RGB2TColor(10, 20, 30));
  using Op = void (*)(TCorvexProc&, const TBitmap*);
  const Op ops[] = {
      [](TCorvexProc& p, const TBitmap*) { p.Negative(); },
      [](TCorvexProc& p, const TBitmap*) { p.HSVvar(40, 10, -5); },
      [](TCorvexProc& p, const TBitmap*) { p.ApplyFilterPreset(fpBlur); },
      [](TCorvexProc& p, const TBitmap*) { p.Maximum(1); },
      [](TCorvexProc& p, const TBitmap*) { p.HistAutoEqualize(); },
      [](TCorvexProc& p, const TBitmap* o) { p.Merge(o, 30); },
      [](TCorvexProc& p, const TBitmap*) { p.BumpMapping(10, 6, 20, 20, 40, CreateRGB(255, 255, 200)); },
      [](TCorvexProc& p, const TBitmap*) { p.Lens(16, 8, 20, 12, 1.7); },
      [](TCorvexProc& p, const TBitmap*) { p.Wave(3, 5, 30, false); },
      [](TCorvexProc& p, const TBitmap*) { p.ClearSel(); },
      [](TCorvexProc& p, const TBitmap*) { p.Contrast(30); },
  };
  int k = 0;
  for (const Op op : ops) {
    TBitmap b;
    CXCopyBitmap(src.get(), &b);
    proc.SetAttachedBitmap(&b);
    proc.SelectPolygon(two, 8);
    op(proc, other.get());
    int changedInside = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 32; ++x) {
        if (inside.Contains(x, y)) changedInside += !Same(Px(b, x, y), Px(*src, x, y));
        else ASSERT_TRUE(Same(Px(b, x, y), Px(*src, x, y))) << "operation " << k << " at " << x << "," << y;
      }
    EXPECT_GT(changedInside, 20) << "operation " << k;  // both parts were processed
    proc.Undo();
    EXPECT_TRUE(_BitmapCompareX(&b, src.get())) << "operation " << k;
    ++k;
  }

  // Two rectangles added one after the other are two sub-polygons too.
  TBitmap b;
  CXCopyBitmap(src.get(), &b);
  proc.SetAttachedBitmap(&b);
  proc.Select(1, 1, 4, 4);
  proc.Select(10, 10, 12, 13, cxspAdd);
  proc.Negative();
  EXPECT_EQ(Px(b, 2, 2).r, 255 - Px(*src, 2, 2).r);
  EXPECT_EQ(Px(b, 11, 12).r, 255 - Px(*src, 11, 12).r);
  EXPECT_TRUE(Same(Px(b, 6, 6), Px(*src, 6, 6)));
}

TEST(Component, ResampleResizeCrop) {
  TBitmap b(400, 300, pf24bit);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Resample(200, -1, rfLanczos3);
  EXPECT_EQ(b.GetWidth(), 200);
  EXPECT_EQ(b.GetHeight(), 150);
  proc.Resample(-1, 101, rfNone);  // 101 x 200 div 150 = 134
  EXPECT_EQ(b.GetWidth(), 134);
  proc.Resample(-1, -1, rfTriangle);
  EXPECT_EQ(b.GetWidth(), 134);
  proc.Resample(0, 10, rfTriangle);  // no image of width 0
  EXPECT_EQ(b.GetWidth(), 134);
  proc.Resample(60, 30, rfMitchell);
  proc.Undo();
  EXPECT_EQ(b.GetWidth(), 134);
  EXPECT_EQ(b.GetHeight(), 101);

  // ImageResize keeps the old pixels at the top left and fills new area with the background.
  auto n = Noise(5, 4, 2);
  TBitmap c;
  CXCopyBitmap(n.get(), &c);
  proc.SetAttachedBitmap(&c);
  proc.SetBackground(RGB2TColor(1, 2, 3));
  proc.ImageResize(8, 6);
  ASSERT_EQ(c.GetWidth(), 8);
  ASSERT_EQ(c.GetHeight(), 6);
  EXPECT_TRUE(Same(Px(c, 4, 3), Px(*n, 4, 3)));
  EXPECT_TRUE(Same(Px(c, 7, 0), CreateRGB(1, 2, 3)));
  EXPECT_TRUE(Same(Px(c, 0, 5), CreateRGB(1, 2, 3)));

  // CropSel to a rectangle, cut to the image.
  CXCopyBitmap(n.get(), &c);
  proc.Select(2, 1, 50, 3);
  proc.CropSel();
  ASSERT_EQ(c.GetWidth(), 3);
  ASSERT_EQ(c.GetHeight(), 2);
  EXPECT_TRUE(Same(Px(c, 0, 0), Px(*n, 2, 1)));
  proc.Undo();
  EXPECT_TRUE(_BitmapCompareX(&c, n.get()));
}

TEST(Component, HiddenTextRoundTrips) {
  auto b = Noise(40, 20, 3);
  // Bytes equal to 255 that must carry a 0 become 254; 254 carrying a 1 becomes 255.
  b->ScanLine(0)[0] = 255;  // bit 0 of the header's first byte: 0
  b->ScanLine(0)[1] = 254;  // bit 1: 0, stays 254
  TCorvexProc proc;
  proc.SetAttachedBitmap(b.get());
  EXPECT_EQ(proc.GetHiddenDataSpace(), 20 * (3 * 40 - 2) / 8 - 8);
  const std::string text = "hello, hidden world \x01\xFF";
  EXPECT_EQ(proc.WriteHiddenText(text), int(text.size()));
  EXPECT_EQ(b->ScanLine(0)[0], 254);
  EXPECT_EQ(b->ScanLine(0)[1], 254);
  EXPECT_EQ(proc.ReadHiddenText(), text);
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 0), int(text.size()));
  char part[5] = {};
  EXPECT_EQ(proc.ReadHiddenData(part, 5), int(text.size()));
  EXPECT_EQ(std::string(part, 5), "hello");
  // The last two bytes of each row carry nothing; the header's length bit 0 is at byte 32.
  const uint8_t len = uint8_t(text.size());
  EXPECT_EQ(b->ScanLine(0)[32] & 1, len & 1);
  proc.Undo();
  EXPECT_EQ(proc.ReadHiddenText(), "");  // noise: no header

  // An image too small for the data stores what fits and says so.
  TBitmap small(4, 4, pf24bit);  // 4 x 10 bits = 5 bytes: not even the header
  proc.SetAttachedBitmap(&small);
  EXPECT_EQ(proc.WriteHiddenText("abc"), 0);
  TBitmap mid(10, 8, pf24bit);  // 8 x 28 bits = 28 bytes: 20 payload bytes
  proc.SetAttachedBitmap(&mid);
  EXPECT_EQ(proc.GetHiddenDataSpace(), 20);
  const std::string longer(30, 'z');
  EXPECT_EQ(proc.WriteHiddenText(longer), 20);
  EXPECT_EQ(proc.ReadHiddenText(), std::string(20, 'z'));
  // Not 24-bit: nothing.
  TBitmap bw(64, 64, pf1bit);
  proc.SetAttachedBitmap(&bw);
  EXPECT_EQ(proc.WriteHiddenText("x"), 0);
  EXPECT_EQ(proc.GetHiddenDataSpace(), 0);
  EXPECT_EQ(proc.ReadHiddenText(), "");
}

TEST(Component, ClipboardCopyCutPaste) {
  auto src = Noise(12, 8, 6);
  TBitmap b;
  CXCopyBitmap(src.get(), &b);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&b);
  proc.SetBackground(RGB2TColor(7, 7, 7));
  proc.Select(2, 1, 6, 5);
  proc.SelCutToClip();
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_TRUE(Same(Px(b, 3, 2), CreateRGB(7, 7, 7)));
  EXPECT_TRUE(Same(Px(b, 0, 0), Px(*src, 0, 0)));

  // Paste at a point: the cut 4 x 4 block lands at (8, 4), cut by the image's edge.
  proc.PointPasteFromClip(8, 4);
  EXPECT_TRUE(Same(Px(b, 8, 4), Px(*src, 2, 1)));
  EXPECT_TRUE(Same(Px(b, 11, 7), Px(*src, 5, 4)));
  EXPECT_EQ(b.GetWidth(), 12);

  // Paste replaces the bitmap, size and format following the picture.
  TBitmap c(3, 3, pf1bit);
  proc.SetAttachedBitmap(&c);
  proc.PasteFromClipboard();
  ASSERT_EQ(c.GetWidth(), 4);
  ASSERT_EQ(c.GetPixelFormat(), pf24bit);
  EXPECT_TRUE(Same(Px(c, 0, 0), Px(*src, 2, 1)));
  proc.Undo();
  EXPECT_EQ(c.GetPixelFormat(), pf1bit);

  // Stretched into the selection.
  TBitmap d(20, 20, pf24bit);
  proc.SetAttachedBitmap(&d);
  proc.Select(0, 0, 8, 8);
  proc.SelPasteFromClipStretch();
  EXPECT_TRUE(Same(Px(d, 1, 1), Px(*src, 2, 1)));
  EXPECT_TRUE(Same(Px(d, 7, 7), Px(*src, 5, 4)));
  EXPECT_TRUE(Same(Px(d, 9, 9), CreateRGB(0, 0, 0)));

  // A polygon selection copies only its pixels.
  const TPoint tri[] = {{0, 0}, {6, 0}, {0, 6}};
  proc.SetAttachedBitmap(&b);
  proc.SelectPolygon(tri, 3);
  proc.SelCopyToClip();
  TBitmap e(1, 1, pf24bit);
  proc.SetAttachedBitmap(&e);
  proc.SelectAll();
  proc.PasteFromClipboard();
  ASSERT_EQ(e.GetWidth(), 6);
  EXPECT_TRUE(Same(Px(e, 0, 0), Px(b, 0, 0)));
  EXPECT_TRUE(Same(Px(e, 5, 5), CreateRGB(0, 0, 0)));

  // A clipboard held open elsewhere: nothing happens.
  ASSERT_TRUE(OpenClipboard(0));
  const size_t blocks = GlobalBlockCount();
  proc.CopyToClipboard();
  EXPECT_EQ(GlobalBlockCount(), blocks);  // the DIB was freed, not leaked
  CloseClipboard();
}

TEST(Component, ConversionsAndFrequency) {
  auto src = Noise(16, 16, 2);
  TBitmap b;
  CXCopyBitmap(src.get(), &b);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&b);
  EXPECT_GT(proc.CalcImageNumColors(), 200);
  TRGB pal[2];
  proc.ConvertToPalette(2, pal);
  EXPECT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(pal[1].g, 255);
  EXPECT_EQ(proc.CalcImageNumColors(), 2);
  proc.ConvertTo24Bit();
  EXPECT_EQ(b.GetPixelFormat(), pf24bit);
  proc.Undo();
  EXPECT_EQ(b.GetPixelFormat(), pf1bit);

  CXCopyBitmap(src.get(), &b);
  std::unique_ptr<TCXFtImage> ft(proc.FTCreateImage(cxitGrayscale, -1, -1));
  ASSERT_NE(ft, nullptr);
  EXPECT_EQ(ft->GetPlaneSize(), 16);
  proc.FTDisplayFrom(ft.get());
  EXPECT_EQ(b.GetWidth(), 16);
  TRGB g = Px(b, 3, 5);
  EXPECT_TRUE(g.r == g.g && g.g == g.b);
  proc.FTConvertFrom(ft.get());
  EXPECT_EQ(b.GetWidth(), 16);
  std::unique_ptr<TCXFtImage> ft2(proc.FTCreateImage(cxitRGB, 40, -1));  // stretched to 40 x 40
  ASSERT_NE(ft2, nullptr);
  EXPECT_EQ(ft2->GetSourceWidth(), 40);
  EXPECT_EQ(ft2->GetSourceHeight(), 40);
}

}  // namespace
}  // namespace corvex
