// Resampling, stretching, 1-bit area averages, quarter turns, rotation and mirroring.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

namespace corvex {
namespace proc_pvt {
extern bool gResampleAVX2;
extern bool gResampleVNNI;
}
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

// ---------------------------------------------------------------------------------------------
// The plain formula, written out loop by loop: the reference the fast code must match exactly.

double RefKernel(TResampleFilter f, double x) {
  const double ax = std::fabs(x);
  auto sinc = [](double v) { return v == 0 ? 1.0 : std::sin(M_PI * v) / (M_PI * v); };
  switch (f) {
    case rfTriangle: return ax < 1 ? 1 - ax : 0;
    case rfHermite: return ax < 1 ? (2 * ax - 3) * ax * ax + 1 : 0;
    case rfBell: return ax < 0.5 ? 0.75 - x * x : ax < 1.5 ? 0.5 * (ax - 1.5) * (ax - 1.5) : 0;
    case rfBSpline:
      return ax < 1 ? 0.5 * ax * ax * ax - x * x + 2.0 / 3.0 : ax < 2 ? (2 - ax) * (2 - ax) * (2 - ax) / 6 : 0;
    case rfLanczos3: return ax < 3 ? sinc(x) * sinc(x / 3) : 0;
    case rfMitchell:
      if (ax < 1) return (7 * ax * ax * ax - 12 * x * x + 16.0 / 3.0) / 6;
      if (ax < 2) return (-7.0 / 3.0 * ax * ax * ax + 12 * x * x - 20 * ax + 32.0 / 3.0) / 6;
      return 0;
    default: return 0;
  }
}

struct Contrib {
  int j;
  double w;
};

std::vector<std::vector<Contrib>> RefContributions(TResampleFilter f, int src, int dst) {
  const double scale = double(dst) / src;
  double s = 0;
  switch (f) {
    case rfTriangle: case rfHermite: s = 1; break;
    case rfBell: s = 1.5; break;
    case rfBSpline: case rfMitchell: s = 2; break;
    case rfLanczos3: s = 3; break;
    default: break;
  }
  std::vector<std::vector<Contrib>> list(static_cast<size_t>(dst));
  for (int i = 0; i < dst; ++i) {
    const double c = i / scale;
    const double width = scale < 1 ? s / scale : s;
    for (int j = int(std::floor(c - width)); j <= int(std::ceil(c + width)); ++j) {
      const double w = scale < 1 ? RefKernel(f, (c - j) * scale) * scale : RefKernel(f, c - j);
      if (w == 0) continue;
      int n = j < 0 ? -j : j;
      if (n >= src) n = 2 * src - n - 1;
      n = std::max(0, std::min(n, src - 1));  // images narrower than the kernel
      list[size_t(i)].push_back({n, w});
    }
  }
  return list;
}

uint8_t RefClamp(double v) { return v > 255 ? 255 : v < 0 ? 0 : uint8_t(std::nearbyint(v)); }

void RefResample(const TBitmap& src, TBitmap& dst, TResampleFilter f) {
  const int sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
  TBitmap work(dw, sh, pf24bit);
  const auto ch = RefContributions(f, sw, dw);
  for (int y = 0; y < sh; ++y)
    for (int i = 0; i < dw; ++i)
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (const Contrib& c : ch[size_t(i)]) sum += c.w * src.ScanLine(y)[3 * c.j + k];
        work.ScanLine(y)[3 * i + k] = RefClamp(sum);
      }
  const auto cv = RefContributions(f, sh, dh);
  for (int x = 0; x < dw; ++x)      // destination column outer,
    for (int i = 0; i < dh; ++i)    // destination row inner
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (const Contrib& c : cv[size_t(i)]) sum += c.w * work.ScanLine(c.j)[3 * x + k];
        dst.ScanLine(i)[3 * x + k] = RefClamp(sum);
      }
}

TEST(Resample, BitIdenticalToThePlainFormula) {
  const TResampleFilter filters[] = {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell};
  // Shrinking, growing, mixed, odd sizes, row counts around the 8-row blocks, tiny images.
  const int sizes[][4] = {{37, 29, 11, 7},  {23, 17, 61, 45}, {40, 9, 13, 30}, {5, 3, 17, 19},
                          {1, 1, 4, 3},     {2, 13, 9, 2},    {64, 16, 64, 16}, {19, 33, 19, 8}};
  const bool avx2 = proc_pvt::gResampleAVX2, vnni = proc_pvt::gResampleVNNI;
  for (const int loops : {2, 1, 0}) {  // the integer loops where they apply, the float ones, the plain ones
    const bool vector = loops > 0;
    proc_pvt::gResampleAVX2 = avx2 && vector;
    proc_pvt::gResampleVNNI = vnni && loops == 2;
    for (const TResampleFilter f : filters)
      for (const auto& s : sizes) {
      auto src = Noise(s[0], s[1], uint32_t(s[0] * 31 + s[1] + f));
      TBitmap fast(s[2], s[3], pf24bit), ref(s[2], s[3], pf24bit);
      _Resample(src.get(), &fast, f, nullptr, nullptr);
      RefResample(*src, ref, f);
      ASSERT_TRUE(_BitmapCompareX(&fast, &ref)) << "filter " << f << " " << s[0] << "x" << s[1] << " -> " << s[2] << "x"
                                                << s[3] << (vector ? " (vector)" : " (plain)");
      // The same source as a rectangle of a larger image, read in place.
      auto outer = Noise(s[0] + 9, s[1] + 5, 99);
      for (int y = 0; y < s[1]; ++y) std::memcpy(outer->ScanLine(y + 3) + 3 * 5, src->ScanLine(y), size_t(s[0]) * 3);
      TBitmap inPlace(s[2], s[3], pf24bit);
      proc_pvt::ResampleRect(outer.get(), Rect(5, 3, 5 + s[0], 3 + s[1]), &inPlace, f);
      ASSERT_TRUE(_BitmapCompareX(&inPlace, &ref)) << "rectangle, filter " << f << " " << s[0] << "x" << s[1];
      }
  }
  proc_pvt::gResampleAVX2 = avx2;
  proc_pvt::gResampleVNNI = vnni;
}

struct Recorder : TObject {
  std::vector<int> values;
  void On(TObject*, int32_t per) { values.push_back(per); }
};

// The vector loops sum in single precision (or in integers of the weights scaled) and take from
// the plain formula the bytes such a sum is too close to a rounding boundary to decide; sums exact
// in float, and pixels whose sums land on a boundary often, skip the test. (a) Images that put many sums on or next to a boundary,
// against the reference: growing 10 times with the triangle (weights multiples of 0.1, not exact
// in binary, so sums like a + 0.5 come out a hair either side), twice (exact halves, ties to
// even), Lanczos (weights of no small denominator), flat images of every value (Lanczos weights
// do not sum to 1), flat images shrunk, a steep ramp that overshoots 0 and 255; with and without
// the integer loops. (b) Larger images, vector against plain, every filter.
TEST(Resample, FastSumsDecideAsThePlainFormula) {
  if (!proc_pvt::gResampleAVX2) GTEST_SKIP() << "the processor lacks AVX2 or FMA";
  const TResampleFilter filters[] = {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell};
  auto check = [](const TBitmap& src, int w, int h, TResampleFilter f, const char* what) {
    TBitmap fast(w, h, pf24bit), ref(w, h, pf24bit);
    _Resample(&src, &fast, f, nullptr, nullptr);
    RefResample(src, ref, f);
    ASSERT_TRUE(_BitmapCompareX(&fast, &ref)) << what << ", filter " << f << " -> " << w << "x" << h;
  };
  const bool vnni = proc_pvt::gResampleVNNI;
  for (const bool integers : {true, false}) {  // shrinking qualifies for the integer loops
    proc_pvt::gResampleVNNI = vnni && integers;
    check(*Noise(7, 5, 1), 70, 50, rfTriangle, "noise x10");
    check(*Noise(9, 7, 2), 18, 14, rfTriangle, "noise x2");
    check(*Noise(40, 30, 4), 203, 151, rfLanczos3, "noise lanczos");
    check(*Noise(157, 43, 5), 58, 16, rfTriangle, "noise shrunk");
    TBitmap flat(5, 4, pf24bit), flatWide(37, 11, pf24bit);
    for (int v = 0; v < 256; ++v) {
      for (int y = 0; y < 4; ++y) std::memset(flat.ScanLine(y), v, 15);
      for (int y = 0; y < 11; ++y) std::memset(flatWide.ScanLine(y), v, 37 * 3);
      check(flat, 13, 9, rfLanczos3, "flat");
      check(flat, 2, 3, rfLanczos3, "flat");
      check(flatWide, 14, 4, rfTriangle, "flat shrunk");  // triangle weights shrinking do not sum to 1
      check(flatWide, 11, 5, rfMitchell, "flat shrunk");
    }
    TBitmap ramp(12, 9, pf24bit);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 36; ++x) ramp.ScanLine(y)[x] = uint8_t(std::min(255, (x / 3) * 40 + y * 7));
    for (const TResampleFilter f : filters) {
      check(ramp, 87, 61, f, "ramp");
      check(ramp, 5, 4, f, "ramp");
    }
  }
  proc_pvt::gResampleVNNI = vnni;

  // 300 x 200: a gradient with noise; shrunk, grown, and grown by the quick variant.
  auto src = Noise(300, 200, 3);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 900; ++x) src->ScanLine(y)[x] = uint8_t((x / 3 + y) / 2 + src->ScanLine(y)[x] / 8);
  for (const TResampleFilter f : filters)
    for (const auto& [w, h, quick] : {std::tuple{111, 74, false}, {750, 500, false}, {750, 500, true}}) {
      // Plain, vector, vector with progress reports (made through a whole work image), and
      // vector without the integer loops.
      TBitmap out[4];
      Recorder r;
      for (const int run : {0, 1, 2, 3}) {
        proc_pvt::gResampleAVX2 = run > 0;  // ends as it was: on
        proc_pvt::gResampleVNNI = vnni && run != 3;
        const TCXProgressEvent progress = run == 2 ? TCXProgressEvent(&r, &Recorder::On) : nullptr;
        out[run].Allocate(w, h, pf24bit);
        if (quick) _QuickResample(src.get(), &out[run], f, progress, nullptr);
        else _Resample(src.get(), &out[run], f, progress, nullptr);
        ASSERT_TRUE(_BitmapCompareX(&out[run], &out[0]))
            << "filter " << f << " -> " << w << "x" << h << (quick ? " quick" : "") << " run " << run;
      }
    }
  proc_pvt::gResampleVNNI = vnni;
}

TEST(Resample, KnownAnswers) {
  // Same size with the triangle: one contributor of weight 1 per pixel.
  auto src = Noise(31, 17, 7);
  TBitmap same(31, 17, pf24bit);
  _Resample(src.get(), &same, rfTriangle, nullptr, nullptr);
  EXPECT_TRUE(_BitmapCompareX(&same, src.get()));

  // Kernels whose weights sum to 1 at every position keep a 1 x 1 image's colour everywhere.
  TBitmap one(1, 1, pf24bit);
  one.ScanLine(0)[0] = 10, one.ScanLine(0)[1] = 100, one.ScanLine(0)[2] = 201;
  for (const TResampleFilter f : {rfTriangle, rfHermite, rfBell, rfBSpline, rfMitchell}) {
    TBitmap big(9, 5, pf24bit);
    _Resample(&one, &big, f, nullptr, nullptr);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 9; ++x) {
        const uint8_t* p = big.ScanLine(y) + 3 * x;
        ASSERT_EQ(p[0], 10) << f;
        ASSERT_EQ(p[1], 100) << f;
        ASSERT_EQ(p[2], 201) << f;
      }
  }
  // Lanczos weights are not normalised: between samples they sum to a little less than 1.
  // At x = 0.5 (2 x 1 from 1 x 1, column 1): 2 (L(0.5) + L(1.5) + L(2.5)) = 0.99427..., so 200
  // becomes Round(198.85) = 199 horizontally, then Round(199 x 1) = 199.
  TBitmap grey(1, 1, pf24bit);
  std::memset(grey.ScanLine(0), 200, 3);
  TBitmap two(2, 1, pf24bit);
  _Resample(&grey, &two, rfLanczos3, nullptr, nullptr);
  EXPECT_EQ(two.ScanLine(0)[0], 200);
  EXPECT_EQ(two.ScanLine(0)[3], 199);

  // Not 24-bit, rfNone: no filtering.
  TBitmap bw(8, 8, pf1bit), out(4, 4, pf24bit);
  _Resample(&bw, &out, rfLanczos3, nullptr, nullptr);
  EXPECT_EQ(out.GetPixelFormat(), pf24bit);
}

TEST(Resample, ProgressCoversBothPasses) {
  auto src = Noise(20, 10, 3);
  TBitmap dst(30, 15, pf24bit);
  Recorder r;
  _Resample(src.get(), &dst, rfBell, TCXProgressEvent(&r, &Recorder::On), nullptr);
  // 10 source rows, then 30 destination columns.
  ASSERT_EQ(r.values.size(), 40u);
  EXPECT_EQ(r.values[0], Trunc(1 * 100 / 40.5));
  EXPECT_EQ(r.values[9], Trunc(10 * 100 / 40.5));
  EXPECT_EQ(r.values.back(), Trunc(40 * 100 / 40.5));
  EXPECT_TRUE(std::is_sorted(r.values.begin(), r.values.end()));
}

TEST(Resample, QuickResampleAndStretch) {
  // Growing both axes with few taps: the same as the full filter for the triangle.
  auto src = Noise(13, 9, 5);
  TBitmap q(40, 30, pf24bit), full(40, 30, pf24bit);
  _QuickResample(src.get(), &q, rfTriangle, nullptr, nullptr);
  _Resample(src.get(), &full, rfTriangle, nullptr, nullptr);
  EXPECT_TRUE(_BitmapCompareX(&q, &full));
  // Shrinking both axes: a nearest-pixel stretch, so every output colour is a source colour.
  TBitmap small(5, 4, pf24bit), stretched(5, 4, pf24bit);
  _QuickResample(src.get(), &small, rfLanczos3, nullptr, nullptr);
  _CXBmpStretch(src.get(), &stretched);
  EXPECT_TRUE(_BitmapCompareX(&small, &stretched));

  // 1-bit stretch doubles each pixel.
  TBitmap bw(4, 1, pf1bit);
  bw.ScanLine(0)[0] = 0xA0;  // 1 0 1 0
  TBitmap bw2(8, 2, pf24bit);
  _CXBmpStretch(&bw, &bw2);
  ASSERT_EQ(bw2.GetPixelFormat(), pf1bit);
  EXPECT_EQ(bw2.ScanLine(0)[0], 0xCC);
  EXPECT_EQ(bw2.ScanLine(1)[0], 0xCC);
}

TEST(SubResample1bit, AreaAverages) {
  TBitmap all(16, 8, pf1bit);
  for (int y = 0; y < 8; ++y) std::memset(all.ScanLine(y), 0xFF, 2);
  TBitmap out(5, 3, pf24bit);
  _SubResample1bitFiltered(&all, 0, 0, 15, 7, &out);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 15; ++x) ASSERT_EQ(out.ScanLine(y)[x], 255);

  TBitmap checker(16, 8, pf1bit);
  for (int y = 0; y < 8; ++y) std::memset(checker.ScanLine(y), (y & 1) ? 0x55 : 0xAA, 2);
  TBitmap half(8, 4, pf24bit);
  _SubResample1bitFiltered(&checker, 0, 0, 15, 7, &half);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(half.ScanLine(y)[x], 127);

  // The same on raw rows, and a region reaching past the image is cut to it.
  uint8_t* raw = _SubResample1bitFilteredDIB(checker.Bits(), 16, 8, 0, 0, 99, 99, 8, 4);
  ASSERT_NE(raw, nullptr);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(raw + y * _BitmapRowLen(8, 24), half.ScanLine(y), 24), 0);
  std::free(raw);
  EXPECT_EQ(_SubResample1bitFilteredDIB(checker.Bits(), 16, 8, 0, 0, 15, 7, 0, 4), nullptr);

  // Enlarging: each destination pixel looks at one source pixel.
  TBitmap one(2, 1, pf1bit);
  one.ScanLine(0)[0] = 0x80;
  TBitmap wide(4, 1, pf24bit);
  _SubResample1bitFiltered(&one, 0, 0, 1, 0, &wide);
  const uint8_t want[4] = {255, 255, 0, 0};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(wide.ScanLine(0)[3 * x], want[x]);
}

// Reductions by 2, 4 and 8 count 64 columns at a time: every box of random pages, from any
// first column, against a count pixel by pixel (boxes as the area average defines them).
TEST(SubResample1bit, WholeReductionsMatchPixelByPixelCounts) {
  std::mt19937 rng(3);
  TBitmap page(301, 90, pf1bit);
  for (int y = 0; y < 90; ++y)
    for (size_t i = 0; i < page.GetRowLength(); ++i) page.ScanLine(y)[i] = uint8_t(rng() & rng());
  auto pixel = [&](int x, int y) { return (page.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; };
  struct Case {
    int x1, y1, x2, y2, dw, dh;
  } cases[] = {{0, 0, 299, 89, 75, 30},   {3, 1, 258, 80, 32, 10},   {13, 0, 268, 89, 128, 45},
               {8, 5, 71, 12, 8, 2},      {1, 0, 300, 89, 150, 89},  {0, 0, 300, 89, 43, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x1);
    TBitmap out(c.dw, c.dh, pf24bit);
    _SubResample1bitFiltered(&page, c.x1, c.y1, c.x2, c.y2, &out);
    auto box = [](int from, int to, int n, int i, int& f, int& l) {
      const double step = double(to - from + 1) / n;
      const int a = Trunc(step * i);
      f = from + a;
      l = from + std::max(Trunc(step * i + Trunc(step) - 1), a);
    };
    for (int i = 0; i < c.dh; ++i)
      for (int j = 0; j < c.dw; ++j) {
        int fx, lx, fy, ly;
        box(c.x1, c.x2, c.dw, j, fx, lx);
        box(c.y1, c.y2, c.dh, i, fy, ly);
        int64_t n = 0;
        for (int y = fy; y <= ly; ++y)
          for (int x = fx; x <= lx; ++x) n += pixel(x, y);
        const int64_t pixels = int64_t(ly - fy + 1) * (lx - fx + 1);
        ASSERT_EQ(out.ScanLine(i)[3 * j], uint8_t(255 * n / pixels)) << "box " << j << ", " << i;
      }
  }
}

// ---------------------------------------------------------------------------------------------
// Turns and mirrors

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
bool Same(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST(Rotate, QuarterTurns) {
  auto src = Noise(5, 3, 11);
  TBitmap ccw, cw;
  _Rot90(src.get(), &ccw);
  _Rot90o(src.get(), &cw);
  ASSERT_EQ(ccw.GetWidth(), 3);
  ASSERT_EQ(ccw.GetHeight(), 5);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      ASSERT_TRUE(Same(Px(ccw, y, 4 - x), Px(*src, x, y)));
      ASSERT_TRUE(Same(Px(cw, 2 - y, x), Px(*src, x, y)));
    }
  TBitmap back;
  _Rot90o(&ccw, &back);
  EXPECT_TRUE(_BitmapCompareX(&back, src.get()));

  // The component: 90 is a quarter turn without shearing, 360 nothing, -90 the same as 270.
  TCorvexProc proc;
  TBitmap b;
  CXCopyBitmap(src.get(), &b);
  proc.SetAttachedBitmap(&b);
  proc.Rotate(90, true);
  EXPECT_TRUE(_BitmapCompareX(&b, &ccw));
  CXCopyBitmap(src.get(), &b);
  proc.Rotate(360, true);
  EXPECT_TRUE(_BitmapCompareX(&b, src.get()));
  TBitmap b270;
  CXCopyBitmap(src.get(), &b);
  CXCopyBitmap(src.get(), &b270);
  proc.Rotate(-90, false);
  proc.SetAttachedBitmap(&b270);
  proc.Rotate(270, false);
  EXPECT_TRUE(_BitmapCompareX(&b, &b270));
  EXPECT_TRUE(_BitmapCompareX(&b, &cw));
}

TEST(Rotate, ThreeShears) {
  // 100 x 50 by 30 degrees: t = tan 15 = 0.26795, s = 0.5; W1 = Round(50 t + 101) = 114,
  // o1 = Round(14 s) = 7, H1 = Round(114 s + 51) = 108, o2 = Round((108 - 50 - 7) t) = 14,
  // H1 = 108 - 14 = 94, width Round(94 t + 115 - 28) = 112. (The true bounds: 111.6 x 93.3.)
  TBitmap b(100, 50, pf24bit);
  for (int y = 0; y < 50; ++y) std::memset(b.ScanLine(y), 101, 300);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&b);
  proc.SetBackground(RGB2TColor(0, 0, 255));
  proc.Rotate(30, true);
  ASSERT_EQ(b.GetWidth(), 112);
  ASSERT_EQ(b.GetHeight(), 94);
  // A uniform image stays uniform inside (the blend of equal pixels is the pixel).
  const TRGB mid = Px(b, 56, 47);
  EXPECT_EQ(mid.r, 101);
  EXPECT_EQ(mid.g, 101);
  EXPECT_EQ(mid.b, 101);
  // Corners are background.
  EXPECT_TRUE(Same(Px(b, 0, 0), CreateRGB(0, 0, 255)));
  EXPECT_TRUE(Same(Px(b, 111, 93), CreateRGB(0, 0, 255)));

  // A rotation indeed: the image's top-right corner turns counter-clockwise to the top.
  TBitmap m(60, 40, pf24bit);
  for (int y = 0; y < 4; ++y) std::memset(m.ScanLine(y) + 56 * 3, 255, 12);  // a white 4 x 4 block
  proc.SetAttachedBitmap(&m);
  proc.SetBackground(0);
  proc.Rotate(30, false);
  // Centre of the block relative to the image centre: (28, -18); turned by 30 degrees
  // counter-clockwise (y down): (28 cos + -18 sin, -28 sin + -18 cos) = (15.2, -29.6).
  const double cx = m.GetWidth() / 2.0, cy = m.GetHeight() / 2.0;
  double sx = 0, sy = 0;
  int n = 0;
  for (int y = 0; y < m.GetHeight(); ++y)
    for (int x = 0; x < m.GetWidth(); ++x)
      if (Px(m, x, y).r == 255) sx += x + 0.5, sy += y + 0.5, ++n;
  ASSERT_GT(n, 8);
  EXPECT_NEAR(sx / n - cx, 15.2, 1.5);
  EXPECT_NEAR(sy / n - cy, -29.6, 1.5);

  // Without anti-aliasing no new colour appears.
  auto src = Noise(40, 30, 99);
  std::set<uint32_t> colours{0x0000FFu};
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const TRGB p = Px(*src, x, y);
      colours.insert(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b);
    }
  for (const int angle : {30, -17, 44, 120}) {
    TBitmap r;
    CXCopyBitmap(src.get(), &r);
    proc.SetAttachedBitmap(&r);
    proc.SetBackground(RGB2TColor(0, 0, 255));
    proc.Rotate(angle, false);
    for (int y = 0; y < r.GetHeight(); ++y)
      for (int x = 0; x < r.GetWidth(); ++x) {
        const TRGB p = Px(r, x, y);
        ASSERT_TRUE(colours.count(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b)) << angle;
      }
  }
}

TEST(Rotate, OneBitInverseMapping) {
  // 8 x 4 by 90 degrees: c = 0, s = -1 (r = -pi/2), new size 4 x 8.
  TBitmap b(8, 4, pf1bit);
  b.ScanLine(0)[0] = 0x01;  // top-right pixel (7, 0) set
  TProgressRec pr;
  _rotate1bit(&b, 90, 0, pr);
  ASSERT_EQ(b.GetWidth(), 4);
  ASSERT_EQ(b.GetHeight(), 8);
  int set = 0, sx = -1, sy = -1;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 4; ++x)
      if (_GetPixelbw(b.ScanLine(y), x)) ++set, sx = x, sy = y;
  EXPECT_EQ(set, 1);
  EXPECT_EQ(sx, 0);  // counter-clockwise: the top-right corner goes to the top-left
  EXPECT_EQ(sy, 0);
  // The component fills the new area white when its background is not black.
  TBitmap c(10, 10, pf1bit);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&c);
  proc.SetBackground(clWhite);
  proc.Rotate(45, false);
  EXPECT_EQ(c.GetPixelFormat(), pf1bit);
  EXPECT_TRUE(_GetPixelbw(c.ScanLine(0), 0));  // corner outside the turned square
}

TEST(Flip, MirrorsExactlyAndTwiceRestores) {
  TBitmap bw(10, 3, pf1bit);
  bw.ScanLine(0)[0] = 0xC0;  // pixels 0, 1
  bw.ScanLine(0)[1] = 0x40;  // pixel 9
  bw.ScanLine(0)[2] = 0x3F;  // padding bits must not move in
  TBitmap orig;
  CXCopyBitmap(&bw, &orig);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&bw);
  proc.Flip(fdHorizontal);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(_GetPixelbw(bw.ScanLine(0), x) != 0, x == 8 || x == 9 || x == 0) << x;
  proc.Flip(fdHorizontal);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(_GetPixelbw(bw.ScanLine(0), x), _GetPixelbw(orig.ScanLine(0), x));

  auto src = Noise(7, 5, 1);
  TBitmap b;
  CXCopyBitmap(src.get(), &b);
  proc.SetAttachedBitmap(&b);
  proc.Flip(fdVertical);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(b.ScanLine(y), src->ScanLine(4 - y), 21), 0);
  proc.Flip(fdHorizontal);
  for (int x = 0; x < 7; ++x) EXPECT_TRUE(Same(Px(b, x, 0), Px(*src, 6 - x, 4)));
  proc.Undo();
  for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(b.ScanLine(y), src->ScanLine(4 - y), 21), 0);
}

}  // namespace
}  // namespace corvex
