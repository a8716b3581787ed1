// Colour adjustments and measurements: known answers worked out from the formulas.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "corvex/proc/CorvexProc.h"

namespace corvex {
namespace {

TBitmap* Solid(int w, int h, TRGB c) {
  auto* b = new TBitmap(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b->ScanLine(y))[x] = c;
  return b;
}

TRGB At(TBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.ScanLine(y))[x]; }
void Set(TBitmap& b, int x, int y, TRGB c) { reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c; }

TBitmap* Noise(int w, int h, uint32_t seed) {
  auto* b = new TBitmap(w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 3 * w; ++i) b->ScanLine(y)[i] = uint8_t(rng());
  return b;
}

bool Same(const TBitmap& a, const TBitmap& b) {
  return a.GetImageSize() == b.GetImageSize() && std::memcmp(a.Bits(), b.Bits(), a.GetImageSize()) == 0;
}

TEST(ColourSpaces, HsvKnownAnswersAndClamping) {
  int h, s, v;
  RGB2HSV(CreateRGB(255, 0, 0), h, s, v);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 99);
  EXPECT_EQ(v, 99);
  TRGB c;
  HSV2RGB(c, 0, 99, 99);
  EXPECT_TRUE(EqualRGB(c, CreateRGB(255, 0, 0)));
  TRGB a, b;
  HSV2RGB(a, 400, 50, 50);
  HSV2RGB(b, 359, 50, 50);
  EXPECT_TRUE(EqualRGB(a, b));
  // (0, 128, 255): r 0, g Round(49.69) 50, b 99; H = (0 - 50) x 60 div 99 + 240 = 210 (div
  // truncates -30.3 to -30); S = 99.
  RGB2HSV(CreateRGB(0, 128, 255), h, s, v);
  EXPECT_EQ(h, 210);
  EXPECT_EQ(s, 99);
  EXPECT_EQ(v, 99);
  // H 210 = sector 3, f 30: p 0, q = 99 - 99x99x30 div 5940 = 50; (p, q, V) = (0, 50, 99) and
  // Round(50 / 99 x 255) = Round(128.79) = 129.
  HSV2RGB(c, 210, 99, 99);
  EXPECT_TRUE(EqualRGB(c, CreateRGB(0, 129, 255)));
  RGB2HSV(CreateRGB(0, 0, 0), h, s, v);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(h, 0);
  HSV2RGB(c, 100, 0, 50);  // grey: Round(50 / 99 x 255) = 129
  EXPECT_TRUE(EqualRGB(c, CreateRGB(129, 129, 129)));
}

TEST(ColourSpaces, HslKnownAnswersAndHueClamp) {
  double h, s, l;
  RGB2HSL(CreateRGB(255, 0, 0), h, s, l);
  EXPECT_DOUBLE_EQ(h, 0);
  EXPECT_DOUBLE_EQ(s, 1);
  EXPECT_DOUBLE_EQ(l, 0.5);
  RGB2HSL(CreateRGB(0, 0, 255), h, s, l);
  EXPECT_DOUBLE_EQ(h, 4.0 / 6);
  TRGB c;
  HSL2RGB(c, 0, 1, 0.5);
  EXPECT_TRUE(EqualRGB(c, CreateRGB(255, 0, 0)));
  HSL2RGB(c, 0.5, 0, 0.5);  // no saturation: Trunc(0.5 x 255) = 127
  EXPECT_TRUE(EqualRGB(c, CreateRGB(127, 127, 127)));

  // _HSLvar with DHue 180 on a pixel of hue 0.75 (violet, (127, 0, 255)) gives hue 1: red.
  std::unique_ptr<TBitmap> b(Solid(1, 1, CreateRGB(127, 0, 255)));
  RGB2HSL(At(*b, 0, 0), h, s, l);
  ASSERT_NEAR(h, 0.75, 0.002);
  _HSLvar(b.get(), 180, 0, 0, 0, 0, 1, 1, nullptr, nullptr);
  const TRGB red = At(*b, 0, 0);
  EXPECT_GT(red.r, 200);
  EXPECT_EQ(red.g, 0);
  EXPECT_LT(red.b, 5);
}

TEST(Adjustments, ContrastGreyNegativeIntensity) {
  std::unique_ptr<TBitmap> src(Noise(17, 9, 3));
  TBitmap b;
  b.Assign(src.get());
  _Contrast(&b, 0, 100, 0, 0, 17, 9, nullptr, nullptr);
  EXPECT_TRUE(Same(b, *src));
  _Contrast(&b, -100, 77, 0, 0, 17, 9, nullptr, nullptr);  // k = 0: every channel its mean
  EXPECT_TRUE(EqualRGB(At(b, 5, 5), CreateRGB(77, 77, 77)));
  b.Assign(src.get());
  _ContrastRGB(&b, 10, 100, 50, 200, 0, 0, 17, 9, nullptr, nullptr);  // k = 2
  const TRGB o = At(*src, 3, 4), n = At(b, 3, 4);
  EXPECT_EQ(n.r, blimit(100 + (o.r - 100) * 2));
  EXPECT_EQ(n.g, blimit(50 + (o.g - 50) * 2));
  EXPECT_EQ(n.b, blimit(200 + (o.b - 200) * 2));
  // Contrast -25: k = 1 - 5 / 10 = 0.5; (201 - 100) x 0.5 = 50.5 truncates to 50.
  std::unique_ptr<TBitmap> one(Solid(1, 1, CreateRGB(201, 0, 0)));
  _Contrast(one.get(), -25, 100, 0, 0, 1, 1, nullptr, nullptr);
  EXPECT_EQ(At(*one, 0, 0).r, 150);

  std::unique_ptr<TBitmap> white(Solid(2, 2, CreateRGB(255, 255, 255)));
  _ConvertToGray(white.get(), 0, 0, 2, 2, nullptr, nullptr);
  EXPECT_TRUE(EqualRGB(At(*white, 1, 1), CreateRGB(252, 252, 252)));

  b.Assign(src.get());
  _Negative(&b, 2, 2, 6, 5, nullptr, nullptr);
  EXPECT_EQ(At(b, 2, 2).r, 255 - At(*src, 2, 2).r);
  EXPECT_TRUE(EqualRGB(At(b, 6, 2), At(*src, 6, 2)));  // outside the region
  _Negative(&b, 2, 2, 6, 5, nullptr, nullptr);
  EXPECT_TRUE(Same(b, *src));

  TBitmap mono(20, 2, pf1bit);
  _Negative(&mono, 3, 1, 17, 2, nullptr, nullptr);
  EXPECT_EQ(mono.ScanLine(0)[0], 0);
  EXPECT_EQ(mono.ScanLine(1)[0], 0x1F);
  EXPECT_EQ(mono.ScanLine(1)[1], 0xFF);
  EXPECT_EQ(mono.ScanLine(1)[2], 0x80);

  b.Assign(src.get());
  _IntensityRGBall(&b, 300, -300, 5, 0, 0, 17, 9, nullptr, nullptr);
  EXPECT_EQ(At(b, 1, 1).r, 255);
  EXPECT_EQ(At(b, 1, 1).g, 0);
  EXPECT_EQ(At(b, 1, 1).b, blimit(At(*src, 1, 1).b + 5));

  TBitmap four(4, 4, pf4bit);  // not 24-bit: nothing happens
  _ConvertToGray(&four, 0, 0, 4, 4, nullptr, nullptr);
  EXPECT_EQ(four.GetPixelFormat(), pf4bit);
}

TEST(Adjustments, ThresholdCastRangeAndLevels) {
  std::unique_ptr<TBitmap> src(Noise(16, 16, 4));
  TBitmap b;
  b.Assign(src.get());
  _Threshold(&b, CreateRGB(0, 0, 0), CreateRGB(255, 255, 255), CreateRGB(1, 1, 1), CreateRGB(2, 2, 2), 0, 0, 16, 16,
             nullptr, nullptr);
  EXPECT_TRUE(Same(b, *src));
  std::unique_ptr<TBitmap> one(Solid(1, 1, CreateRGB(10, 100, 250)));
  // Red 10 <= 20 becomes 200, which is then > 150: 255. Green stays. Blue > 150: 255.
  _Threshold(one.get(), CreateRGB(20, 20, 20), CreateRGB(150, 150, 150), CreateRGB(200, 0, 0),
             CreateRGB(255, 255, 255), 0, 0, 1, 1, nullptr, nullptr);
  EXPECT_TRUE(EqualRGB(At(*one, 0, 0), CreateRGB(255, 100, 255)));

  std::unique_ptr<TBitmap> two(Solid(2, 1, CreateRGB(10, 20, 30)));
  Set(*two, 1, 0, CreateRGB(10, 20, 31));
  _CastColorRange(two.get(), CreateRGB(10, 20, 30), CreateRGB(10, 20, 30), CreateRGB(1, 2, 3), 0, 0, 2, 1, nullptr,
                  nullptr);
  EXPECT_TRUE(EqualRGB(At(*two, 0, 0), CreateRGB(1, 2, 3)));
  EXPECT_TRUE(EqualRGB(At(*two, 1, 0), CreateRGB(10, 20, 31)));

  // Levels: Lo 0, Hi (128, 0, 0) -> green and blue treated as 1. Red 64 -> Round(64/128 x 255) =
  // Round(127.5) = 128 (ties to even); green 1 -> 255; green 0 -> 0.
  std::unique_ptr<TBitmap> lv(Solid(1, 1, CreateRGB(64, 1, 0)));
  _HistEqualize(lv.get(), CreateRGB(0, 0, 0), CreateRGB(128, 0, 0), 0, 0, 1, 1, nullptr, nullptr);
  EXPECT_TRUE(EqualRGB(At(*lv, 0, 0), CreateRGB(128, 255, 0)));
  // Lo 100 on red: first = Round((200 - 100) / 155 x 255) = Round(164.52) = 165; Hi 255 keeps it.
  std::unique_ptr<TBitmap> lo(Solid(1, 1, CreateRGB(200, 50, 50)));
  _HistEqualize(lo.get(), CreateRGB(100, 0, 0), CreateRGB(255, 255, 255), 0, 0, 1, 1, nullptr, nullptr);
  EXPECT_EQ(At(*lo, 0, 0).r, 165);
  EXPECT_EQ(At(*lo, 0, 0).g, 50);
}

TEST(Adjustments, AutoEqualizeSpreadsLevels) {
  // A 16 x 16 ramp of greys 0 .. 255 (one pixel each): avg 1, left[i] = i, right[i] = i: each
  // pixel keeps its value.
  TBitmap ramp(16, 16, pf24bit);
  for (int i = 0; i < 256; ++i) Set(ramp, i % 16, i / 16, CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i)));
  TBitmap before;
  before.Assign(&ramp);
  _HistAutoEqualize(&ramp, 0, 0, 16, 16, nullptr, nullptr);
  int changed = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) changed += !EqualRGB(At(ramp, x, y), At(before, x, y));
  EXPECT_LT(changed, 256);
  // A tiny image (fewer than 256 pixels) finishes instead of looping forever.
  std::unique_ptr<TBitmap> tiny(Solid(3, 3, CreateRGB(9, 9, 9)));
  _HistAutoEqualize(tiny.get(), 0, 0, 3, 3, nullptr, nullptr);
  // A dark, low-contrast image gets brighter.
  std::unique_ptr<TBitmap> dark(Noise(32, 32, 9));
  for (int y = 0; y < 32; ++y)
    for (int i = 0; i < 96; ++i) dark->ScanLine(y)[i] = uint8_t(dark->ScanLine(y)[i] % 40);
  THistogramItem h1[256], h2[256];
  _GetHistogram(dark.get(), h1, 0, 0, 32, 32);
  _HistAutoEqualize(dark.get(), 0, 0, 32, 32, nullptr, nullptr);
  _GetHistogram(dark.get(), h2, 0, 0, 32, 32);
  int max1 = 0, max2 = 0;
  for (int i = 0; i < 256; ++i) {
    if (h1[i].Gray) max1 = i;
    if (h2[i].Gray) max2 = i;
  }
  EXPECT_GT(max2, max1 + 100);
}

TEST(Measurements, HistogramColoursChannelsAndNearest) {
  TBitmap b(3, 2, pf24bit);
  Set(b, 0, 0, CreateRGB(255, 255, 255));
  Set(b, 1, 0, CreateRGB(10, 20, 30));
  Set(b, 2, 1, CreateRGB(10, 20, 30));
  THistogramItem hist[256];
  _GetHistogram(&b, hist, 0, 0, 3, 2);
  EXPECT_EQ(hist[255].R, 1);
  EXPECT_EQ(hist[252].Gray, 1);
  EXPECT_EQ(hist[10].R, 2);
  EXPECT_EQ(hist[0].R, 3);
  EXPECT_EQ(hist[(10 * 21 + 20 * 71 + 30 * 7) / 100].Gray, 2);
  EXPECT_EQ(_GetImageNumColors(&b, 0, 0, 3, 2), 3);
  EXPECT_EQ(_GetImageNumColors(&b, 1, 0, 3, 1), 2);
  TBitmap mono(3, 3, pf1bit);
  EXPECT_EQ(_GetImageNumColors(&mono, 0, 0, 3, 3), 0);

  std::unique_ptr<TBitmap> red(_GetRGBChannel(&b, 2, nullptr, nullptr));
  ASSERT_TRUE(red);
  EXPECT_TRUE(EqualRGB(At(*red, 1, 0), CreateRGB(10, 10, 10)));
  std::unique_ptr<TBitmap> other(_GetRGBChannel(&b, 7, nullptr, nullptr));  // any other: red
  EXPECT_TRUE(Same(*red, *other));
  TBitmap R, G, B;
  _GetRGBChannelAll(&b, &R, &G, &B, nullptr, nullptr);
  EXPECT_TRUE(EqualRGB(At(B, 1, 0), CreateRGB(30, 30, 30)));
  EXPECT_EQ(_GetRGBChannel(&mono, 0, nullptr, nullptr), nullptr);

  std::unique_ptr<TBitmap> hue(_GetHSVChannel(&b, 0, nullptr, nullptr));
  int h, s, v;
  RGB2HSV(CreateRGB(10, 20, 30), h, s, v);
  EXPECT_EQ(At(*hue, 1, 0).r, Trunc(h / 359.0 * 255));
  TBitmap H, S, V;
  _GetHSVChannelAll(&b, &H, &S, &V, nullptr, nullptr);
  EXPECT_EQ(At(V, 0, 0).r, 255);  // white: V 99 -> 255
  EXPECT_EQ(At(S, 0, 0).r, 0);

  const TRGB pal[4] = {CreateRGB(0, 0, 0), CreateRGB(10, 20, 30), CreateRGB(10, 20, 30), CreateRGB(12, 20, 30)};
  EXPECT_EQ(_GetSimilColor(pal, 4, CreateRGB(10, 20, 30)), 1);
  EXPECT_EQ(_GetSimilColor(pal, 4, CreateRGB(13, 20, 30)), 3);
  EXPECT_EQ(_GetSimilColor(pal, 0, CreateRGB(13, 20, 30)), 0);
}

TEST(Measurements, MediaContrast) {
  std::unique_ptr<TBitmap> b(Solid(4, 3, CreateRGB(100, 100, 100)));
  // Sum 12 x 3 x 100 = 3600 over (3 x 4 - 1) x (3 - 1) = 22: 163.
  EXPECT_EQ(_GetMediaContrast(b.get()), 163);
  std::unique_ptr<TBitmap> row(Solid(4, 1, CreateRGB(100, 100, 100)));
  EXPECT_EQ(_GetMediaContrast(row.get()), 128);
  TBitmap mono(3, 3, pf1bit);
  EXPECT_EQ(_GetMediaContrast(&mono), 0);
}

struct Rows : TObject {
  std::vector<int> seen;
  void On(TObject*, int32_t per) { seen.push_back(per); }
};

TEST(Adjustments, ProgressAfterEachRow) {
  std::unique_ptr<TBitmap> b(Noise(4, 10, 5));
  Rows rows;
  _ConvertToGray(b.get(), 0, 2, 4, 6, TCXProgressEvent(&rows, &Rows::On), &rows);
  // Rows 2 .. 5: factor 100 / 3.5; after row y: Trunc((y - 1) x 28.57).
  EXPECT_EQ(rows.seen, (std::vector<int>{28, 57, 85, 114}));
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// The vector paths (whole groups of 16 pixels) and the scalar tails agree with the formulas.
TEST(Adjustments, WideRowsFollowTheFormulas) {
  std::unique_ptr<TBitmap> src(Noise(101, 3, 77));
  TBitmap a, t, g;
  a.Assign(src.get());
  t.Assign(src.get());
  g.Assign(src.get());
  _IntensityRGBall(&a, 40, -70, 300, 1, 0, 100, 3, nullptr, nullptr);
  _Threshold(&t, CreateRGB(50, 100, 150), CreateRGB(200, 120, 160), CreateRGB(210, 0, 155), CreateRGB(1, 2, 3), 1, 0,
             100, 3, nullptr, nullptr);
  _ConvertToGray(&g, 1, 0, 100, 3, nullptr, nullptr);
  auto thr = [](int v, int down, int up, int dv, int uv) {
    int c = v <= down ? dv : v;
    return c > up ? uv : c;
  };
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 101; ++x) {
      const TRGB o = At(*src, x, y);
      const bool in = x >= 1 && x < 100;
      const TRGB ea = in ? CreateRGB(blimit(o.r + 40), blimit(o.g - 70), blimit(o.b + 300)) : o;
      ASSERT_TRUE(EqualRGB(At(a, x, y), ea)) << x;
      const TRGB et = in ? CreateRGB(uint8_t(thr(o.r, 50, 200, 210, 1)), uint8_t(thr(o.g, 100, 120, 0, 2)),
                                     uint8_t(thr(o.b, 150, 160, 155, 3)))
                         : o;
      ASSERT_TRUE(EqualRGB(At(t, x, y), et)) << x;
      const uint8_t gv = uint8_t(_RGBToGray(o));
      ASSERT_TRUE(EqualRGB(At(g, x, y), in ? CreateRGB(gv, gv, gv) : o)) << x;
    }
}

}  // namespace
}  // namespace corvex
