// Colour-depth conversions: known answers of the dither, threshold, two-colour detection and
// expansion rules, row conversions between bit depths, and the palette helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/color/stdquant.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {
namespace {

std::unique_ptr<TBitmap> Filled(int w, int h, TRGB c) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b->ScanLine(y))[x] = c;
  return b;
}

TRGB& Px(TBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.ScanLine(y))[x]; }
bool Bit(const TBitmap& b, int x, int y) { return (b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }
bool Same(TRGB a, TRGB b) { return EqualRGB(a, b); }

const TRGB kBlack = CreateRGB(0, 0, 0), kWhite = CreateRGB(255, 255, 255);

// Collects the percentages an operation reports.
struct Recorder : TObject {
  std::vector<int> values;
  void OnProgress(TObject*, int32_t per) { values.push_back(per); }
};

TEST(ConvertToBWOrdered, UniformMidGreySets31Of64BitsWhereTheMatrixIsBelow31) {
  // Grey of (128, 128, 128) is 126, 126 div 4 = 31: white exactly where M < 31.
  const int M[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
  };
  auto bmp = Filled(20, 17, CreateRGB(128, 128, 128));
  Recorder rec;
  TProgressRec progress;
  progress.OnProgress = TCXProgressEvent(&rec, &Recorder::OnProgress);
  _ConvertToBWOrdered(bmp.get(), progress);
  ASSERT_EQ(bmp->GetPixelFormat(), pf1bit);
  ASSERT_EQ(bmp->GetWidth(), 20);
  ASSERT_EQ(bmp->GetHeight(), 17);
  for (int by = 0; by < 16; by += 8)
    for (int bx = 0; bx < 16; bx += 8) {
      int set = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) set += Bit(*bmp, bx + x, by + y);
      EXPECT_EQ(set, 31);
    }
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(Bit(*bmp, x, y), M[x % 8][y % 8] < 31) << x << "," << y;
  // Reported before each row: Trunc(100 / 17.5 * y).
  ASSERT_EQ(rec.values.size(), 17u);
  EXPECT_EQ(rec.values[0], 0);
  EXPECT_EQ(rec.values[1], 5);
  EXPECT_EQ(rec.values[16], 91);

  // Grey 252 (white) is 63: white everywhere but where M = 63; black stays black.
  auto white = Filled(8, 8, kWhite);
  _ConvertToBWOrdered(white.get(), progress);
  EXPECT_FALSE(Bit(*white, 7, 0));
  EXPECT_TRUE(Bit(*white, 6, 0));
  auto black = Filled(8, 8, kBlack);
  _ConvertToBWOrdered(black.get(), progress);
  for (int x = 0; x < 8; ++x) EXPECT_FALSE(Bit(*black, x, 0));
}

TEST(ConvertToBWThreshold, FixedAndAutomaticThresholds) {
  TProgressRec progress;
  auto bmp = Filled(9, 3, kBlack);
  _ConvertToBWThreshold(bmp.get(), 0, progress);  // grey >= 0 everywhere: all white
  ASSERT_EQ(bmp->GetPixelFormat(), pf1bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_TRUE(Bit(*bmp, x, y));

  // Grey 100 is white at threshold 100, black at 101.
  auto grey = Filled(3, 1, CreateRGB(101, 101, 101));  // (101 * 99) div 100 = 99
  Px(*grey, 1, 0) = CreateRGB(102, 102, 102);          // 100
  _ConvertToBWThreshold(grey.get(), 100, progress);
  EXPECT_FALSE(Bit(*grey, 0, 0));
  EXPECT_TRUE(Bit(*grey, 1, 0));

  // Automatic: 4 x 4, left half black, right half white: the means are 8 * 255 div 9 = 226, whose
  // grey value is 223.
  auto half = Filled(4, 4, kBlack);
  for (int y = 0; y < 4; ++y) Px(*half, 2, y) = Px(*half, 3, y) = kWhite;
  Recorder rec;
  progress.OnProgress = TCXProgressEvent(&rec, &Recorder::OnProgress);
  _ConvertToBWThreshold(half.get(), -1, progress);
  for (int y = 0; y < 4; ++y) {
    EXPECT_FALSE(Bit(*half, 1, y));
    EXPECT_TRUE(Bit(*half, 2, y));
  }
  // Reported after each row: Trunc(100 / 4.5 * (y + 1)).
  EXPECT_EQ(rec.values, (std::vector<int>{22, 44, 66, 88}));

  // The means of a 2 x 2 white image are 1020; limited to 255 they give threshold 252 and the
  // image stays white (unlimited, the threshold 1009 would turn it black).
  auto small = Filled(2, 2, kWhite);
  _ConvertToBWThreshold(small.get(), -1, progress);
  EXPECT_TRUE(Bit(*small, 0, 0));
  EXPECT_TRUE(Bit(*small, 1, 1));
}

TEST(GetMediaContrastRGB, DividesByOneLessInEachDirection) {
  auto bmp = Filled(3, 2, CreateRGB(10, 20, 30));
  Px(*bmp, 0, 0) = CreateRGB(100, 0, 255);
  int r, g, b;
  _GetMediaContrastRGB(bmp.get(), r, g, b);
  EXPECT_EQ(r, (5 * 10 + 100) / 2);
  EXPECT_EQ(g, (5 * 20) / 2);
  EXPECT_EQ(b, (5 * 30 + 255) / 2);
  auto line = Filled(1, 5, kWhite);
  _GetMediaContrastRGB(line.get(), r, g, b);
  EXPECT_EQ(r, 128);
  EXPECT_EQ(b, 128);
  TBitmap mono(4, 4, pf1bit);
  _GetMediaContrastRGB(&mono, r, g, b);
  EXPECT_EQ(g, 128);
}

TEST(ConvertTo1bit, BitZeroIsTheDarkerOfExactlyTwoColours) {
  for (bool whiteFirst : {true, false}) {
    auto bmp = Filled(11, 2, whiteFirst ? kWhite : kBlack);
    Px(*bmp, 3, 0) = Px(*bmp, 10, 1) = whiteFirst ? kBlack : kWhite;
    TRGB c1{}, c2{};
    std::unique_ptr<TBitmap> mono(_ConvertTo1bit(bmp.get(), c1, c2));
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->GetPixelFormat(), pf1bit);
    EXPECT_TRUE(Same(c1, kBlack));
    EXPECT_TRUE(Same(c2, kWhite));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 11; ++x) ASSERT_EQ(Bit(*mono, x, y), Same(Px(*bmp, x, y), kWhite)) << whiteFirst;
  }
  // Equal grey (71, 0, 0) and (0, 21, 0): 14.91 both; the order of appearance stays.
  auto even = Filled(2, 1, CreateRGB(71, 0, 0));
  Px(*even, 1, 0) = CreateRGB(0, 21, 0);
  TRGB c1{}, c2{};
  std::unique_ptr<TBitmap> mono(_ConvertTo1bit(even.get(), c1, c2));
  ASSERT_NE(mono, nullptr);
  EXPECT_TRUE(Same(c1, CreateRGB(71, 0, 0)));
  EXPECT_FALSE(Bit(*mono, 0, 0));
  EXPECT_TRUE(Bit(*mono, 1, 0));

  auto one = Filled(4, 4, CreateRGB(1, 2, 3));
  EXPECT_EQ(_ConvertTo1bit(one.get(), c1, c2), nullptr);
  Px(*one, 1, 1) = kWhite;
  Px(*one, 2, 3) = kBlack;
  EXPECT_EQ(_ConvertTo1bit(one.get(), c1, c2), nullptr);
  TBitmap onebit(4, 4, pf1bit);
  EXPECT_EQ(_ConvertTo1bit(&onebit, c1, c2), nullptr);
}

TEST(Conv1to24, ExpandsBitsAndTheLastPartialByte) {
  TBitmap mono(5, 2, pf1bit);
  mono.ScanLine(0)[0] = 0xB2;  // 1011 0|010: the last bits lie past the width
  mono.ScanLine(1)[0] = 0x08;  // 0000 1
  TBitmap dst(3, 3, pf1bit);
  Recorder rec;
  TProgressRec progress;
  progress.OnProgress = TCXProgressEvent(&rec, &Recorder::OnProgress);
  _Conv1to24(&mono, &dst, progress);
  ASSERT_EQ(dst.GetPixelFormat(), pf24bit);
  ASSERT_EQ(dst.GetWidth(), 5);
  const bool row0[5] = {true, false, true, true, false};
  for (int x = 0; x < 5; ++x) EXPECT_TRUE(Same(Px(dst, x, 0), row0[x] ? kWhite : kBlack)) << x;
  for (int x = 0; x < 5; ++x) EXPECT_TRUE(Same(Px(dst, x, 1), x == 4 ? kWhite : kBlack)) << x;
  EXPECT_EQ(rec.values, (std::vector<int>{40, 80}));

  // Wider rows, and the source as its own destination.
  TBitmap wide(19, 1, pf1bit);
  wide.ScanLine(0)[0] = 0xFF, wide.ScanLine(0)[1] = 0x01, wide.ScanLine(0)[2] = 0x40;
  _Conv1to24(&wide, &wide, progress);
  ASSERT_EQ(wide.GetPixelFormat(), pf24bit);
  for (int x = 0; x < 19; ++x) EXPECT_EQ(Px(wide, x, 0).g, (x < 8 || x == 15 || x == 17) ? 255 : 0) << x;

  TBitmap rgb(2, 2, pf24bit);
  _Conv1to24(&rgb, &dst, progress);  // only 1-bit sources
  EXPECT_EQ(dst.GetWidth(), 5);
}

TEST(Negative1Bit, InvertsWholeRowsPaddingIncluded) {
  TBitmap mono(3, 2, pf1bit);
  mono.ScanLine(0)[0] = 0xA0;
  _Negative1Bit(&mono);
  EXPECT_EQ(mono.ScanLine(0)[0], 0x5F);
  EXPECT_EQ(mono.ScanLine(0)[3], 0xFF);
  EXPECT_EQ(mono.ScanLine(1)[0], 0xFF);
  auto rgb = Filled(1, 1, CreateRGB(1, 2, 3));
  _Negative1Bit(rgb.get());
  EXPECT_TRUE(Same(Px(*rgb, 0, 0), CreateRGB(1, 2, 3)));
}

TEST(ConvertTo, ReducesInPlaceThroughTheQuantizer) {
  auto bmp = Filled(4, 4, CreateRGB(203, 17, 90));
  Px(*bmp, 1, 1) = CreateRGB(7, 250, 12);
  Px(*bmp, 2, 3) = CreateRGB(100, 100, 100);
  TRGB pal[16] = {};
  Recorder rec;
  _ConvertTo(bmp.get(), 16, pal, TCXProgressEvent(&rec, &Recorder::OnProgress), nullptr);
  ASSERT_EQ(bmp->GetPixelFormat(), pf24bit);
  // Three colours in three cells: each becomes its cell's colour.
  EXPECT_TRUE(Same(Px(*bmp, 0, 0), CreateRGB(200, 16, 88)));
  EXPECT_TRUE(Same(Px(*bmp, 1, 1), CreateRGB(0, 248, 8)));
  EXPECT_TRUE(Same(Px(*bmp, 2, 3), CreateRGB(96, 96, 96)));
  EXPECT_EQ(rec.values, (std::vector<int>{22, 44, 66, 88}));

  // Many colours, 256 entries (neural), no palette given: every pixel is one of 256 colours.
  TBitmap many(64, 64, pf24bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) Px(many, x, y) = CreateRGB(x * 4, y * 4, (x * y) & 255);
  _ConvertTo(&many, 256, nullptr, nullptr, nullptr);
  std::vector<uint32_t> seen;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const TRGB c = Px(many, x, y);
      seen.push_back(uint32_t(c.r) << 16 | c.g << 8 | c.b);
    }
  std::sort(seen.begin(), seen.end());
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_LE(seen.size(), 256u);
  EXPECT_GT(seen.size(), 128u);

  TBitmap mono(4, 4, pf1bit);
  _ConvertTo(&mono, 16, nullptr, nullptr, nullptr);
  EXPECT_EQ(mono.GetPixelFormat(), pf1bit);
}

TEST(ConvertXBitsToYBits, EverySupportedPair) {
  const uint8_t bits[2] = {0xA5, 0x80};  // 1010 0101 1
  uint8_t out[64];
  const TRGB pal[3] = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6), CreateRGB(7, 8, 9)};

  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(_ConvertXBitsToYBits(bits, out, 1, 1, 9, nullptr, 0, nullptr), 2);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_EQ(_ConvertXBitsToYBits(bits, out, 1, 4, 9, nullptr, 0, nullptr), 5);
  EXPECT_EQ(out[0], 0x10);
  EXPECT_EQ(out[1], 0x10);
  EXPECT_EQ(out[4], 0x10);  // the ninth pixel, high nibble
  EXPECT_EQ(_ConvertXBitsToYBits(bits, out, 1, 8, 9, nullptr, 0, nullptr), 9);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 9), (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1, 1}));
  const uint8_t idx[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(_ConvertXBitsToYBits(idx, out, 8, 1, 9, nullptr, 0, nullptr), 2);
  EXPECT_EQ(out[0], 0xA5);
  EXPECT_EQ(out[1], 0x80);

  const uint8_t nib[2] = {0x21, 0x70};
  EXPECT_EQ(_ConvertXBitsToYBits(nib, out, 4, 8, 3, nullptr, 0, nullptr), 3);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{2, 1, 7}));
  EXPECT_EQ(_ConvertXBitsToYBits(nib, out, 4, 4, 3, nullptr, 0, nullptr), 2);
  EXPECT_EQ(out[1], 0x70);

  // Palette lookups; indices past PaletteHigh are black.
  EXPECT_EQ(_ConvertXBitsToYBits(nib, out, 4, 24, 3, pal, 2, nullptr), 9);
  const TRGB* rgb = reinterpret_cast<const TRGB*>(out);
  EXPECT_TRUE(Same(rgb[0], pal[2]));
  EXPECT_TRUE(Same(rgb[1], pal[1]));
  EXPECT_TRUE(Same(rgb[2], kBlack));
  EXPECT_EQ(_ConvertXBitsToYBits(bits, out, 1, 24, 2, pal, 1, nullptr), 6);
  EXPECT_TRUE(Same(rgb[0], pal[1]));
  EXPECT_TRUE(Same(rgb[1], pal[0]));
  EXPECT_EQ(_ConvertXBitsToYBits(idx, out, 8, 24, 2, pal, 2, nullptr), 6);
  EXPECT_TRUE(Same(rgb[0], pal[1]));

  // 24 -> 24 copies, 32 -> 24 drops the fourth byte.
  const uint8_t quad[8] = {1, 2, 3, 99, 4, 5, 6, 99};
  EXPECT_EQ(_ConvertXBitsToYBits(quad, out, 32, 24, 2, nullptr, 0, nullptr), 6);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  uint8_t copy[6];
  EXPECT_EQ(_ConvertXBitsToYBits(out, copy, 24, 24, 2, nullptr, 0, nullptr), 6);
  EXPECT_EQ(std::memcmp(copy, out, 6), 0);

  // 24 -> 4 and 24 -> 8 take the quantizer's indices.
  auto img = Filled(3, 1, CreateRGB(248, 0, 0));
  Px(*img, 1, 0) = CreateRGB(0, 0, 248);
  Px(*img, 2, 0) = CreateRGB(0, 0, 0);
  TRGB qp[16];
  const TCXQuantizer q(img.get(), qp, 16, 16, -1);
  const uint8_t* row = img->ScanLine(0);
  EXPECT_EQ(_ConvertXBitsToYBits(row, out, 24, 8, 3, nullptr, 0, &q), 3);
  for (int x = 0; x < 3; ++x) EXPECT_TRUE(Same(qp[out[x]], Px(*img, x, 0)));
  const std::vector<uint8_t> eight(out, out + 3);
  EXPECT_EQ(_ConvertXBitsToYBits(row, out, 24, 4, 3, nullptr, 0, &q), 2);
  EXPECT_EQ(out[0], eight[0] << 4 | eight[1]);
  EXPECT_EQ(out[1], eight[2] << 4);

  // Unsupported pairs and a missing quantizer write nothing.
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(_ConvertXBitsToYBits(row, out, 24, 1, 3, nullptr, 0, &q), 0);
  EXPECT_EQ(_ConvertXBitsToYBits(row, out, 24, 8, 3, nullptr, 0, nullptr), 0);
  EXPECT_EQ(_ConvertXBitsToYBits(row, out, 16, 24, 3, nullptr, 0, nullptr), 0);
  EXPECT_EQ(out[0], 0xEE);
}

TEST(PaletteHelpers, WinPaletteAndChannelSwaps) {
  const TRGB pal[2] = {CreateRGB(10, 20, 30), CreateRGB(200, 100, 0)};
  const size_t before = PaletteCount();
  HPALETTE h = _CreateWinPalette(pal, 2);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GetPaletteVersion(h), 0x300);
  EXPECT_EQ(GetPaletteEntries(h), (std::vector<TPaletteEntry>{{10, 20, 30, 0}, {200, 100, 0, 0}}));
  EXPECT_TRUE(DeletePalette(h));
  EXPECT_EQ(_CreateWinPalette(pal, 0), 0u);
  EXPECT_EQ(_CreateWinPalette(nullptr, 2), 0u);
  EXPECT_EQ(PaletteCount(), before);

  TRGB px[3] = {TRGB{1, 2, 3}, TRGB{4, 5, 6}, TRGB{7, 8, 9}};
  TRGB dst[3];
  _CopyBGR_RGB(dst, px, 3);
  EXPECT_TRUE(Same(dst[1], TRGB{6, 5, 4}));
  EXPECT_TRUE(Same(px[1], TRGB{4, 5, 6}));
  _RGB2BGR(px, 2);
  EXPECT_TRUE(Same(px[0], TRGB{3, 2, 1}));
  EXPECT_TRUE(Same(px[1], TRGB{6, 5, 4}));
  EXPECT_TRUE(Same(px[2], TRGB{7, 8, 9}));
}

}  // namespace
}  // namespace corvex
