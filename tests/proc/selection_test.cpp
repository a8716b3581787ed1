// Effects and the pixel work behind selections: polygon copies, clears and crops, the magic
// wand, bump mapping, lens, wave and merge.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "corvex/core/utils.h"
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

std::unique_ptr<TBitmap> Solid(int w, int h, TRGB c) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b->ScanLine(y))[x] = c;
  return b;
}

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
bool Same(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Two sub-polygons: a triangle and a square, separated.
const TPoint kTwo[] = {{2, 2}, {14, 2}, {2, 12}, {kPolySeparator, 0}, {20, 4}, {28, 4}, {28, 12}, {20, 12}};
constexpr int kTwoCount = 8;

TRegion TwoRegion() {
  TRegion a = TRegion::FromPolygon(kTwo, 3, fmAlternate);
  a |= TRegion::FromPolygon(kTwo + 4, 4, fmAlternate);
  return a;
}

TEST(Polygon, CopyClearAndCropKeepTheOutsideBitIdentical) {
  const TRegion inside = TwoRegion();
  auto dest = Noise(32, 16, 1);
  auto src = Noise(32, 16, 2);
  TBitmap before;
  CXCopyBitmap(dest.get(), &before);
  _CopyPolygonBitmap(dest.get(), src.get(), 0, 0, kTwo, kTwoCount);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      ASSERT_TRUE(Same(Px(*dest, x, y), inside.Contains(x, y) ? Px(*src, x, y) : Px(before, x, y))) << x << "," << y;

  // Clearing: both parts, nothing else.
  CXCopyBitmap(&before, dest.get());
  _ClearSel(dest.get(), kTwo, kTwoCount, RGB2TColor(1, 2, 3));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      ASSERT_TRUE(Same(Px(*dest, x, y), inside.Contains(x, y) ? CreateRGB(1, 2, 3) : Px(before, x, y)));

  // Cropping the box (1, 1)-(30, 14): the polygon's pixels, zero elsewhere.
  TBitmap crop;
  _CopyBitmapPoly(&before, &crop, 1, 1, 30, 14, kTwo, kTwoCount);
  ASSERT_EQ(crop.GetWidth(), 29);
  ASSERT_EQ(crop.GetHeight(), 13);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 29; ++x)
      ASSERT_TRUE(Same(Px(crop, x, y), inside.Contains(x + 1, y + 1) ? Px(before, x + 1, y + 1) : CreateRGB(0, 0, 0)));
  _CopyBitmapPoly(&before, &crop, 3, 2, 10, 9, nullptr, 0);
  for (int y = 0; y < 7; ++y) ASSERT_EQ(std::memcmp(crop.ScanLine(y), before.ScanLine(y + 2) + 9, 21), 0);

  // A self-overlapping outline is filled even-odd: the doubly covered middle stays outside.
  const TPoint bow[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 0}};
  auto d2 = Solid(12, 12, CreateRGB(0, 0, 0));
  _ClearSel(d2.get(), bow, 9, clWhite);
  EXPECT_EQ(Px(*d2, 5, 5).r, 0);    // inside both loops
  EXPECT_EQ(Px(*d2, 1, 5).r, 255);  // inside the outer loop only
}

TEST(Polygon, CopyToPointAndBack) {
  auto src = Noise(20, 20, 3);
  const TPoint tri[] = {{4, 4}, {12, 4}, {4, 12}};
  TBitmap dst(5, 5, pf24bit);
  _CopyPolygonToPoint(src.get(), tri, 3, &dst, TPoint{10, 20});
  // Grown to hold the box moved to (10, 20): right 18, bottom 28.
  EXPECT_EQ(dst.GetWidth(), 19);
  EXPECT_EQ(dst.GetHeight(), 29);
  EXPECT_TRUE(Same(Px(dst, 10, 20), Px(*src, 4, 4)));
  EXPECT_TRUE(Same(Px(dst, 12, 22), Px(*src, 6, 6)));
  EXPECT_TRUE(Same(Px(dst, 17, 27), CreateRGB(0, 0, 0)));  // outside the triangle

  auto back = Solid(6, 6, CreateRGB(9, 9, 9));
  _CopyPointToPolygon(&dst, tri, 3, back.get(), TPoint{10, 20});
  EXPECT_EQ(back->GetWidth(), 12);
  EXPECT_EQ(back->GetHeight(), 12);
  EXPECT_TRUE(Same(Px(*back, 4, 4), Px(*src, 4, 4)));
  EXPECT_TRUE(Same(Px(*back, 6, 7), Px(*src, 6, 7)));
  EXPECT_TRUE(Same(Px(*back, 1, 1), CreateRGB(9, 9, 9)));
  // Fewer than 3 points: nothing.
  TBitmap untouched(3, 3, pf24bit);
  _CopyPolygonToPoint(src.get(), tri, 2, &untouched, TPoint{0, 0});
  EXPECT_EQ(untouched.GetWidth(), 3);
}

TEST(Polygon, RectangleTestAndCompare) {
  const TPoint r[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
  EXPECT_TRUE(_IsRectangle(r, 4));
  const TPoint r2[] = {{1, 1}, {1, 4}, {5, 4}, {5, 1}};
  EXPECT_TRUE(_IsRectangle(r2, 4));
  const TPoint skew[] = {{1, 1}, {5, 1}, {6, 4}, {1, 4}};
  EXPECT_FALSE(_IsRectangle(skew, 4));
  const TPoint flat[] = {{1, 1}, {5, 1}, {5, 1}, {1, 1}};
  EXPECT_FALSE(_IsRectangle(flat, 4));
  EXPECT_FALSE(_IsRectangle(kTwo, kTwoCount));

  auto a = Noise(9, 7, 5);
  std::unique_ptr<TBitmap> b(CXCloneBitmap(a.get()));
  EXPECT_TRUE(_BitmapCompareX(a.get(), b.get()));
  b->ScanLine(6)[26] ^= 1;
  EXPECT_FALSE(_BitmapCompareX(a.get(), b.get()));
  TBitmap other(9, 8, pf24bit);
  EXPECT_FALSE(_BitmapCompareX(a.get(), &other));
}

// The pixels the polygon covers (pixel-centre rule, even-odd).
TRegion PolyRegion(const TPoint* p, int n) { return TRegion::FromPolygon(p, n, fmAlternate); }

TEST(MagicWand, RegionsAndOutlines) {
  int n = 0;
  // Uniform image: the whole bitmap.
  auto uni = Solid(13, 9, CreateRGB(5, 5, 5));
  std::unique_ptr<TPoint[]> p(_MakeMagicWandPoints(uni.get(), 4, 4, false, 0, n));
  ASSERT_EQ(n, 4);
  EXPECT_TRUE(PolyRegion(p.get(), n) == TRegion::FromRect(0, 0, 13, 9));

  // A lone pixel whose 8 neighbours differ: a square around it.
  auto dots = Solid(9, 9, CreateRGB(0, 0, 0));
  reinterpret_cast<TRGB*>(dots->ScanLine(4))[4] = CreateRGB(200, 0, 0);
  p.reset(_MakeMagicWandPoints(dots.get(), 4, 4, false, 0, n));
  ASSERT_EQ(n, 4);
  EXPECT_TRUE(PolyRegion(p.get(), n) == TRegion::FromRect(4, 4, 5, 5));
  // Grown by one on every side with MaxFilter.
  p.reset(_MakeMagicWandPoints(dots.get(), 4, 4, true, 0, n));
  EXPECT_TRUE(PolyRegion(p.get(), n) == TRegion::FromRect(3, 3, 6, 6));

  // An irregular shape with a hole, a diagonal pinch and a tolerance: the polygon covers exactly
  // the connected matching pixels with the hole filled.
  const char* rows[] = {
      "..........",
      ".XXXX.....",
      ".X..X..XX.",
      ".XXXXX.X..",
      "...X.XXX..",
      "...XX..X.X",
      "....X.....",
  };
  TBitmap shape(10, 7, pf24bit);
  TRegion want;
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool on = rows[y][x] == 'X';
      reinterpret_cast<TRGB*>(shape.ScanLine(y))[x] = on ? CreateRGB(uint8_t(100 + x), 50, 50) : CreateRGB(0, 0, 0);
      if (on && !(x == 9 && y == 5)) want |= TRegion::FromRect(x, y, x + 1, y + 1);  // (9, 5) is not connected
    }
  want |= TRegion::FromRect(2, 2, 4, 3);  // the hole
  p.reset(_MakeMagicWandPoints(&shape, 1, 1, false, 10, n));
  ASSERT_GT(n, 4);
  EXPECT_TRUE(PolyRegion(p.get(), n) == want);
  // Tolerance too small for the colour steps: only the seed's own colour (column 1).
  p.reset(_MakeMagicWandPoints(&shape, 1, 1, false, 0, n));
  EXPECT_TRUE(PolyRegion(p.get(), n) == TRegion::FromRect(1, 1, 2, 4));

  // Outside the image or not 24-bit: nothing.
  EXPECT_EQ(_MakeMagicWandPoints(&shape, 10, 0, false, 0, n), nullptr);
  EXPECT_EQ(n, 0);
  TBitmap bw(4, 4, pf1bit);
  EXPECT_EQ(_MakeMagicWandPoints(&bw, 0, 0, false, 0, n), nullptr);
}

TEST(Effects, BumpMappingKnownAnswer) {
  // A flat region right under the light: sx = sy = 0, lx = ly = 0 at the light point, so u = v
  // = 128 and L = 255. With SrcPercent 50 and a white light: Round(100 x 0.5 + 255 x 0.5) = 178
  // (177.5 rounds to even).
  auto b = Solid(9, 9, CreateRGB(100, 100, 100));
  TProgressRec pr;
  _BumpMapping(b.get(), 4, 4, 10, 10, 50, CreateRGB(255, 255, 255), 0, 0, 9, 9, pr);
  EXPECT_EQ(Px(*b, 4, 4).r, 178);
  // Away from the light: lx = Trunc(-4 / 10 x 128) = -51, u = 179: nx = 51/128, L =
  // Trunc((1 - 0.3984375) x 256) = 154; Round(50 + 77) = 127.
  EXPECT_EQ(Px(*b, 0, 4).g, 127);
  // A zero light size does nothing.
  auto c = Solid(4, 4, CreateRGB(1, 2, 3));
  _BumpMapping(c.get(), 0, 0, 0, 5, 50, CreateRGB(255, 255, 255), 0, 0, 4, 4, pr);
  EXPECT_TRUE(Same(Px(*c, 2, 2), CreateRGB(1, 2, 3)));
}

TEST(Effects, LensWaveMergeNeutralCases) {
  auto src = Noise(40, 30, 8);
  TProgressRec pr;
  TBitmap b;
  // Refraction below 1 counts as 1: no displacement.
  CXCopyBitmap(src.get(), &b);
  _lens(&b, 20, 15, 20, 16, 0.5, pr);
  EXPECT_TRUE(_BitmapCompareX(&b, src.get()));
  // A real lens magnifies: the centre stays, pixels off centre come from nearer the centre.
  CXCopyBitmap(src.get(), &b);
  _lens(&b, 20, 15, 20, 16, 2.0, pr);
  EXPECT_FALSE(_BitmapCompareX(&b, src.get()));
  EXPECT_TRUE(Same(Px(b, 0, 0), Px(*src, 0, 0)));  // outside the lens box

  // Amplitude 0: nothing.
  CXCopyBitmap(src.get(), &b);
  _wave(&b, 0, 10, 0, false, pr);
  EXPECT_TRUE(_BitmapCompareX(&b, src.get()));
  _wave(&b, 3, 10, 0, false, pr);
  EXPECT_FALSE(_BitmapCompareX(&b, src.get()));

  // Merge: 100 keeps the image, 0 replaces it with the stretched other image, 50 averages.
  auto other = Solid(4, 3, CreateRGB(200, 100, 50));
  CXCopyBitmap(src.get(), &b);
  _Merge(&b, other.get(), 100, 0, 0, 40, 30, nullptr, nullptr);
  EXPECT_TRUE(_BitmapCompareX(&b, src.get()));
  _Merge(&b, other.get(), 0, 0, 0, 40, 30, nullptr, nullptr);
  EXPECT_TRUE(_BitmapCompareX(&b, Solid(40, 30, CreateRGB(200, 100, 50)).get()));
  auto grey = Solid(2, 2, CreateRGB(11, 11, 11));
  _Merge(grey.get(), Solid(1, 1, CreateRGB(20, 0, 255)).get(), 50, 0, 0, 2, 2, nullptr, nullptr);
  // 11 x 50 / 100 + 20 x 50 / 100 = 15.5 -> 16; 5.5 -> 6; 5.5 + 127.5 = 133.
  EXPECT_TRUE(Same(Px(*grey, 1, 1), CreateRGB(16, 6, 133)));
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// Missing, empty or wrong-format bitmaps and degenerate arguments change nothing and never crash.
TEST(Robustness, DegenerateInputs) {
  TBitmap empty, bw(5, 5, pf1bit), one(1, 1, pf24bit);
  TProgressRec pr;
  int n = 7;
  for (TBitmap* b : {static_cast<TBitmap*>(nullptr), &empty, &bw, &one}) {
    TBitmap dst(3, 3, pf24bit);
    _Resample(b, &dst, rfLanczos3, nullptr, nullptr);
    _QuickResample(b, &dst, rfMitchell, nullptr, nullptr);
    _CXBmpStretch(b, &dst);
    _BumpMapping(b, 0, 0, 1, 1, 50, CreateRGB(1, 1, 1), -5, -5, 99, 99, pr);
    _lens(b, 0, 0, 100, 100, 3, pr);
    _wave(b, 5, 3, 0, true, pr);
    _Merge(b, &one, 50, -3, -3, 50, 50, nullptr, nullptr);
    TPoint* wand = _MakeMagicWandPoints(b, 0, 0, true, 3, n);
    EXPECT_EQ(wand != nullptr, b == &one);
    delete[] wand;
    _ClearSel(b, nullptr, 0, 0);
    _CopyPolygonBitmap(b, &one, 0, 0, nullptr, 5);
    _RotateShear(b, 33, true, CreateRGB(0, 0, 0), nullptr, nullptr);
    _FlipBitmap(b, fdHorizontal);
    TBitmap r;
    _Rot90(b, &r);
    _Rot90o(b, &r);
  }
  delete[] _MakeMagicWandPoints(&one, 0, 0, true, 3, n);
  // Resampling to and from one pixel, and a rotation of one pixel.
  TBitmap big(7, 5, pf24bit), tiny(1, 1, pf24bit);
  _Resample(&big, &tiny, rfLanczos3, nullptr, nullptr);
  _Resample(&tiny, &big, rfLanczos3, nullptr, nullptr);
  _RotateShear(&tiny, 30, true, CreateRGB(9, 9, 9), nullptr, nullptr);
  EXPECT_GE(tiny.GetWidth(), 1);
  TBitmap b1(1, 1, pf1bit);
  _rotate1bit(&b1, 45, 1, pr);
  EXPECT_GE(b1.GetWidth(), 1);
  // Polygons made of separators only, or reaching far outside the image.
  const TPoint odd[] = {{kPolySeparator, 0}, {kPolySeparator, 0}, {-100000, -100000}, {100000, -5}, {3, 100000}};
  TBitmap d(6, 6, pf24bit);
  _ClearSel(&d, odd, 5, clWhite);
  _CopyPolygonBitmap(&d, &big, -2, -2, odd, 5);
  TBitmap crop;
  _CopyBitmapPoly(&d, &crop, -3, -3, 4, 4, odd, 5);
  EXPECT_EQ(crop.GetWidth(), 7);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&d);
  proc.SelectPolygon(odd, 5);
  proc.Negative();
  proc.Lens(0, 0, 10, 10, 2);
  proc.CropSel();
  EXPECT_GT(d.GetWidth(), 0);
}

}  // namespace
}  // namespace corvex
