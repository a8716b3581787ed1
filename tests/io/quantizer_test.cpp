// The colour quantizers: palettes computed by hand from the median-cut and neural rules, the
// method chosen by the colour count, the sampling factors, the tie rules, and palettes of larger
// images pinned by digest (cross-checked once against a literal, unoptimised implementation of
// the same rules) so that speed work cannot change what files contain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/color/NeurQuant.h"
#include "corvex/color/stdquant.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

// A bitmap whose pixels (row 0 first, left to right) are the given colours.
std::unique_ptr<TBitmap> Pixels(int w, int h, const std::vector<TRGB>& px) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b->ScanLine(y))[x] = px[size_t(y) * w + x];
  return b;
}

TRGB Red(uint8_t r) { return CreateRGB(r, 0, 0); }

bool Same(TRGB a, TRGB b) { return EqualRGB(a, b); }

// Deterministic test images: kind 0 is noise, kind 1 gradients with noisy runs.
std::unique_ptr<TBitmap> Generated(int w, int h, uint32_t s, int kind) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      s = (s * 1103515245u + 12345u) & 0x7fffffffu;
      if (kind == 0) {
        p[0] = (s >> 8) & 255, p[1] = (s >> 16) & 255, p[2] = ((s >> 4) ^ (x * 3)) & 255;
      } else {
        p[0] = (x * 7 + y * 3) & 255;
        p[1] = ((s >> 10) & 3) ? (x * x + y) & 255 : 128;
        p[2] = (y * 5 + (s >> 20)) & 255;
      }
    }
  }
  return b;
}

std::string PaletteDigest(const TRGB* pal, int n) {
  return testing_support::Sha256Hex(reinterpret_cast<const uint8_t*>(pal), size_t(n) * 3).substr(0, 16);
}

TEST(MedianCut, SingleColourGivesOneEntryWithLowBitsCleared) {
  auto bmp = Pixels(3, 2, std::vector<TRGB>(6, CreateRGB(200, 100, 50)));
  TRGB pal[16];
  for (TRGB& c : pal) c = CreateRGB(1, 2, 3);
  void* q = CreateMedianCutQuantizer(bmp.get(), pal, 16, 16);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(MedianCutColorCount(q), 1);
  EXPECT_TRUE(Same(pal[0], CreateRGB(200, 96, 48)));
  for (int i = 1; i < 16; ++i) EXPECT_TRUE(Same(pal[i], CreateRGB(1, 2, 3))) << "entry " << i << " untouched";
  EXPECT_EQ(MedianCutFindIndex(q, CreateRGB(200, 100, 50)), 0);
  EXPECT_EQ(MedianCutFindIndex(q, CreateRGB(0, 255, 0)), 0);  // one box covers the whole cube
  FreeMedianCutQuantizer(q);
}

TEST(MedianCut, TwoColoursSplitOnceAlongRed) {
  // Red bins 0 and 31: box 0 has error 240.25; green and blue cannot be split.
  auto bmp = Pixels(2, 1, {Red(0), Red(255)});
  TRGB pal[16] = {};
  void* q = CreateMedianCutQuantizer(bmp.get(), pal, 16, 16);
  EXPECT_EQ(MedianCutColorCount(q), 2);
  EXPECT_TRUE(Same(pal[0], Red(0)));
  EXPECT_TRUE(Same(pal[1], Red(248)));
  EXPECT_EQ(MedianCutFindIndex(q, Red(7)), 0);
  EXPECT_EQ(MedianCutFindIndex(q, Red(250)), 1);
  FreeMedianCutQuantizer(q);
}

TEST(MedianCut, CutSearchMomentStartsAtTheCut) {
  // Red bins 2, 2, 8, 10 (mean 5.5): cut = Round(2.75) = 3, last = 19. At k = 3 the score is
  // 2/2 * 5.5^2 = 30.25; at k = 8 the moment is 8/4 = 2 and the score 3/1 * 3.5^2 = 36.75, so
  // the split falls after bin 8. (Counting the moment from the low bound would split after 3.)
  auto bmp = Pixels(2, 2, {Red(16), Red(16), Red(64), Red(80)});
  TRGB pal[4] = {};
  void* q = CreateMedianCutQuantizer(bmp.get(), pal, 4, 2);
  EXPECT_EQ(MedianCutColorCount(q), 2);
  EXPECT_TRUE(Same(pal[0], Red(32)));  // bins 2, 2, 8: mean 4
  EXPECT_TRUE(Same(pal[1], Red(80)));
  FreeMedianCutQuantizer(q);
}

TEST(MedianCut, EqualErrorsSplitTheLowerBoxAndUncoveredCellsMapToZero) {
  // Red bins 0, 2, 29, 31. The first split gives box 0 = {0, 2} and box 1 = {29, 31}, both with
  // error 0.5; the third colour must come from box 0. Its cut is Round(0.5) = 0 (ties to even).
  auto bmp = Pixels(4, 1, {Red(0), Red(16), Red(232), Red(248)});
  TRGB pal[16] = {};
  void* q = CreateMedianCutQuantizer(bmp.get(), pal, 16, 3);
  EXPECT_EQ(MedianCutColorCount(q), 3);
  EXPECT_TRUE(Same(pal[0], Red(0)));
  EXPECT_TRUE(Same(pal[1], Red(240)));  // bins 29 and 31, mean 30
  EXPECT_TRUE(Same(pal[2], Red(16)));
  EXPECT_EQ(MedianCutFindIndex(q, Red(16)), 2);
  EXPECT_EQ(MedianCutFindIndex(q, Red(240)), 1);
  EXPECT_EQ(MedianCutFindIndex(q, Red(8)), 0);   // bin 1 lies in no box
  EXPECT_EQ(MedianCutFindIndex(q, Red(24)), 0);  // nor bin 3
  FreeMedianCutQuantizer(q);

  // With room for more, box 1 splits too; bin 30 then lies between boxes.
  q = CreateMedianCutQuantizer(bmp.get(), pal, 16, 16);
  EXPECT_EQ(MedianCutColorCount(q), 4);
  EXPECT_TRUE(Same(pal[1], Red(232)));
  EXPECT_TRUE(Same(pal[3], Red(248)));
  EXPECT_EQ(MedianCutFindIndex(q, Red(240)), 0);
  FreeMedianCutQuantizer(q);
}

TEST(MedianCut, LimitsAndUnusableInput) {
  auto bmp = Generated(40, 30, 1, 0);
  TRGB pal[256] = {};
  EXPECT_EQ(CreateMedianCutQuantizer(bmp.get(), pal, 0, 16), nullptr);
  EXPECT_EQ(CreateMedianCutQuantizer(bmp.get(), nullptr, 16, 16), nullptr);
  EXPECT_EQ(MedianCutFindIndex(nullptr, Red(1)), 0);
  // The palette passed in bounds the colours.
  TRGB small[5];
  void* q = CreateMedianCutQuantizer(bmp.get(), small, 5, 100);
  EXPECT_EQ(MedianCutColorCount(q), 5);
  FreeMedianCutQuantizer(q);
  // An image without pixels, or not 24-bit, gives one black entry.
  TBitmap empty(0, 0, pf24bit), mono(8, 8, pf1bit);
  for (TBitmap* b : {&empty, &mono}) {
    pal[0] = Red(9);
    q = CreateMedianCutQuantizer(b, pal, 256, 16);
    EXPECT_EQ(MedianCutColorCount(q), 1);
    EXPECT_TRUE(Same(pal[0], Red(0)));
    FreeMedianCutQuantizer(q);
  }
}

TEST(MedianCut, PalettesOfGeneratedImages) {
  struct Case {
    int w, h;
    uint32_t seed;
    int kind, ncol;
    const char* digest;
  } cases[] = {
      {40, 30, 1, 0, 16, "c15ab36b94fd190d"},
      {40, 30, 7, 1, 100, "ff26106b72610b44"},
      {64, 50, 3, 0, 127, "74eca750a3703f68"},
  };
  for (const Case& c : cases) {
    auto bmp = Generated(c.w, c.h, c.seed, c.kind);
    TRGB pal[256] = {};
    void* q = CreateMedianCutQuantizer(bmp.get(), pal, 256, c.ncol);
    EXPECT_EQ(MedianCutColorCount(q), c.ncol);
    EXPECT_EQ(PaletteDigest(pal, c.ncol), c.digest) << c.w << "x" << c.h << " ncol " << c.ncol;
    // Every pixel lies in a produced box.
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const TRGB px = reinterpret_cast<const TRGB*>(bmp->ScanLine(y))[x];
        const int i = MedianCutFindIndex(q, px);
        ASSERT_GE(i, 0);
        ASSERT_LT(i, c.ncol);
      }
    FreeMedianCutQuantizer(q);
  }
}

TEST(NeuralQuantizer, SamplingFactorsAndStep) {
  EXPECT_EQ(NeuralSamplingFactor(12345, 100), 1);
  EXPECT_EQ(NeuralSamplingFactor(12345, 0), 30);
  EXPECT_EQ(NeuralSamplingFactor(12345, 50), 15);   // Trunc(0.5 * 29) + 1
  EXPECT_EQ(NeuralSamplingFactor(12345, 90), 3);    // Trunc(2.9) + 1
  EXPECT_EQ(NeuralSamplingFactor(12345, 250), 1);   // qualities are limited to 0 .. 100
  EXPECT_EQ(NeuralSamplingFactor(12345, -7), 30);
  EXPECT_EQ(NeuralSamplingFactor(1000, -1), 1);
  EXPECT_EQ(NeuralSamplingFactor(1999, -1), 1);
  EXPECT_EQ(NeuralSamplingFactor(2000, -1), 2);
  EXPECT_EQ(NeuralSamplingFactor(76000, -1), 8);    // 8.5 rounds to even
  EXPECT_EQ(NeuralSamplingFactor(100000, -1), 11);  // Round(10.608)
  EXPECT_EQ(NeuralSamplingFactor(1000000, -1), 30); // 89.66, capped
  EXPECT_EQ(NeuralSamplingFactor(int64_t(1) << 40, -1), 30);

  EXPECT_EQ(NeuralSampleStep(3000), 499);
  EXPECT_EQ(NeuralSampleStep(499 * 3), 491);
  EXPECT_EQ(NeuralSampleStep(499 * 491 * 3), 487);
  EXPECT_EQ(NeuralSampleStep(int64_t(499) * 491 * 487 * 3), 503);
  EXPECT_EQ(NeuralSampleStep(0), 503);
}

TEST(NeuralQuantizer, UntrainedNetworkIsAGreyRampSearchedUpwardFirst) {
  // 29 pixels at quality 0 (factor 30) give no sample: the palette is the initial ramp
  // (i * 4096 / 128) shr 4 = 2i.
  auto bmp = Pixels(29, 1, std::vector<TRGB>(29, CreateRGB(90, 10, 200)));
  TRGB pal[128];
  TNeuralQuantizer nq(bmp.get(), pal, 128, 128, 0);
  EXPECT_EQ(nq.GetSamplingFactor(), 30);
  for (int i = 0; i < 128; ++i) ASSERT_TRUE(Same(pal[i], CreateRGB(2 * i, 2 * i, 2 * i))) << i;
  EXPECT_EQ(nq.GetIndex(CreateRGB(0, 0, 0)), 0);
  EXPECT_EQ(nq.GetIndex(CreateRGB(254, 254, 254)), 127);
  EXPECT_EQ(nq.GetIndex(CreateRGB(255, 255, 255)), 127);
  // (1, 1, 1) is 3 from neurons 0 and 1; the search starts at the green index (neuron 1) and
  // looks upward first, so neuron 1 is found first and kept.
  EXPECT_EQ(nq.GetIndex(CreateRGB(1, 1, 1)), 1);
  EXPECT_EQ(nq.GetIndex(CreateRGB(100, 50, 0)), 25);  // (50, 50, 50), 100 away; 24 and 26 are 102
}

TEST(NeuralQuantizer, EqualDistancesGoToTheLowerNeuron) {
  // One sample (1, 1, 1), scaled 16, is 48 from neuron 0 (0) and neuron 1 (32): neuron 0 must win
  // and move onto it (16 -> 1); had neuron 1 won, neuron 0 would have moved to 15 -> 0 as its
  // neighbour. The neighbours j = 1 .. 15 move by radpower[j] = 1024 * (256 - j^2):
  // neuron 1: 32 - (16 * 261120 div 262144) = 17; neuron 15: 480 - 56 = 424 -> 26; neuron 16 keeps 32.
  auto bmp = Pixels(1, 1, {CreateRGB(1, 1, 1)});
  TRGB pal[128];
  TNeuralQuantizer nq(bmp.get(), pal, 128, 128, 100);
  EXPECT_EQ(nq.GetSamplingFactor(), 1);
  EXPECT_TRUE(Same(pal[0], CreateRGB(1, 1, 1)));
  EXPECT_TRUE(Same(pal[1], CreateRGB(1, 1, 1)));
  EXPECT_TRUE(Same(pal[15], CreateRGB(26, 26, 26)));
  EXPECT_TRUE(Same(pal[16], CreateRGB(32, 32, 32)));
  EXPECT_TRUE(Same(pal[127], CreateRGB(254, 254, 254)));
}

TEST(NeuralQuantizer, PalettesOfGeneratedImages) {
  struct Case {
    int w, h;
    uint32_t seed;
    int kind, ncol, quality;
    const char* digest;
  } cases[] = {
      {60, 40, 2, 1, 128, 100, "1b9de65b4dfc87ca"},
      {50, 50, 9, 0, 256, -1, "992d113dbae3e006"},
      {7, 3, 4, 0, 200, 100, "95792d81dc908392"},  // fewer pixels than the step: positions wrap
      {200, 150, 11, 1, 255, 50, "756c27358804ba06"},
  };
  for (const Case& c : cases) {
    auto bmp = Generated(c.w, c.h, c.seed, c.kind);
    TRGB pal[256] = {};
    TNeuralQuantizer nq(bmp.get(), pal, 256, c.ncol, c.quality);
    EXPECT_EQ(PaletteDigest(pal, c.ncol), c.digest) << c.w << "x" << c.h << " ncol " << c.ncol;
  }
}

TEST(NeuralQuantizer, LookupFindsTheNearestEntry) {
  auto bmp = Generated(80, 60, 5, 1);
  TRGB pal[256];
  TNeuralQuantizer nq(bmp.get(), pal, 256, 256, 100);
  auto dist = [](TRGB a, TRGB b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); };
  uint32_t s = 77;
  for (int i = 0; i < 3000; ++i) {
    s = s * 1664525u + 1013904223u;
    const TRGB c = CreateRGB(s >> 24, s >> 16, s >> 8);
    int best = 1000;
    for (const TRGB& p : pal) best = std::min(best, dist(p, c));
    const int k = nq.GetIndex(c);
    ASSERT_GE(k, 0);
    ASSERT_LT(k, 256);
    ASSERT_EQ(dist(pal[k], c), best) << i;
  }
}

TEST(NeuralQuantizer, CellListsGiveTheSearchesAnswerTiesIncluded) {
  // The untrained ramp is full of ties; the trained networks are not.
  auto ramp = Pixels(29, 1, std::vector<TRGB>(29, Red(5)));
  auto photo = Generated(120, 90, 8, 1);
  auto noise = Generated(120, 90, 3, 0);
  const std::pair<const TBitmap*, int> nets[] = {{ramp.get(), 0}, {photo.get(), 100}, {noise.get(), -1}};
  for (auto [bmp, quality] : nets) {
    for (int ncol : {128, 256}) {
      TRGB pal[256];
      TNeuralQuantizer nq(bmp, pal, 256, ncol, quality);
      for (int pass = 0; pass < 2; ++pass)  // the second pass answers from the memo
        for (int r = 0; r < 256; r += 4)
          for (int g = 1; g < 256; g += 3)
            for (int b = 2; b < 256; b += 5) {
              const TRGB c = CreateRGB(r, g, b);
              ASSERT_EQ(nq.GetIndex(c), nq.SearchIndex(c)) << r << " " << g << " " << b << " ncol " << ncol;
            }
    }
  }
}

TEST(Quantizer, MethodChosenByColourCount) {
  auto bmp = Generated(30, 20, 3, 1);
  TRGB pal[256];
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 256, 2, -1).GetMethod(), 1);
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 256, 127, -1).GetMethod(), 1);
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 256, 128, -1).GetMethod(), 0);
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 256, 256, -1).GetMethod(), 0);
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 256, 1000, -1).GetMethod(), 0);  // limited to 256
  EXPECT_EQ(TCXQuantizer(bmp.get(), pal, 16, 256, -1).GetMethod(), 1);    // limited to the palette
  TCXQuantizer none(bmp.get(), pal, 0, 16, -1);
  EXPECT_EQ(none.GetMethod(), -1);
  EXPECT_EQ(none.GetRGBIndex(Red(3)), 0);

  // Both methods agree with their own functions and fill the same palette.
  TRGB a[256], b[256];
  TCXQuantizer mc(bmp.get(), a, 256, 50, -1);
  void* raw = CreateMedianCutQuantizer(bmp.get(), b, 256, 50);
  EXPECT_EQ(std::memcmp(a, b, 50 * 3), 0);
  TCXQuantizer nn(bmp.get(), a, 256, 200, 100);
  TNeuralQuantizer nq(bmp.get(), b, 256, 200, 100);
  EXPECT_EQ(std::memcmp(a, b, 200 * 3), 0);
  for (int y = 0; y < bmp->GetHeight(); ++y)
    for (int x = 0; x < bmp->GetWidth(); ++x) {
      const TRGB px = reinterpret_cast<const TRGB*>(bmp->ScanLine(y))[x];
      ASSERT_EQ(mc.GetRGBIndex(px), MedianCutFindIndex(raw, px));
      ASSERT_EQ(nn.GetRGBIndex(px), nq.GetIndex(px));
    }
  FreeMedianCutQuantizer(raw);
}

}  // namespace
}  // namespace corvex
