#include "corvex/core/defs.h"

#include <gtest/gtest.h>

#include "corvex/platform/screen.h"

#include <cmath>
#include <vector>

namespace corvex {
namespace {

TEST(Colour, PackingGreyAndSystemColours) {
  const TRGB c = CreateRGB(10, 20, 30);
  EXPECT_EQ(c.r, 10);
  EXPECT_EQ(c.b, 30);
  EXPECT_EQ(_RGBToGray(CreateRGB(255, 255, 255)), 252);
  EXPECT_EQ(_RGBToGray(CreateRGB(1, 1, 1)), 0);  // 99 div 100
  EXPECT_EQ(_RGBToGray(CreateRGB(100, 0, 0)), 21);
  EXPECT_EQ(TRGB2TColor(c), 10 + 20 * 256 + 30 * 65536);
  EXPECT_EQ(RGB2TColor(300, 0, 0), 300);  // no clamping
  const TRGB face = TColor2TRGB(clBtnFace);
  EXPECT_TRUE(EqualRGB(face, CreateRGB(192, 192, 192)));
  EXPECT_TRUE(EqualRGB(TColor2TRGB(0x00332211), CreateRGB(0x11, 0x22, 0x33)));
  EXPECT_FALSE(EqualRGB(c, CreateRGB(10, 20, 31)));
}

TEST(Clamps, TiesSwapsAndCorners) {
  EXPECT_EQ(ilimit(300, 0, 255), 255);
  EXPECT_EQ(ilimit(-4, 0, 255), 0);
  EXPECT_EQ(blimit(256), 255);
  EXPECT_EQ(blimit(-1), 0);
  EXPECT_EQ(blimit(77), 77);
  // On ties both return their first argument (distinguishable for signed zeros).
  EXPECT_TRUE(std::signbit(dmax(-0.0, 0.0)));
  EXPECT_TRUE(std::signbit(dmin(-0.0, 0.0)));
  EXPECT_EQ(dmax(1.0, 2.0), 2.0);
  EXPECT_EQ(dmin(1.0, 2.0), 1.0);
  int a = 1, b = 2;
  iswap(a, b);
  EXPECT_EQ(a, 2);
  uint8_t p = 3, q = 4;
  bswap(p, q);
  EXPECT_EQ(p, 4);
  int x1 = 5, y1 = 1, x2 = 2, y2 = 9;
  OrdCor(x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(x2, 5);
  EXPECT_EQ(y1, 1);
  EXPECT_EQ(y2, 9);
}

TEST(BitArithmetic, KnownAnswers) {
  EXPECT_EQ(_BitmapRowLen(1, 1), 4);
  EXPECT_EQ(_BitmapRowLen(33, 1), 8);
  EXPECT_EQ(_BitmapRowLen(3, 24), 12);
  EXPECT_EQ(_BitmapRowLen(5, 24), 16);
  EXPECT_EQ(_NColToBitsPixel(256), 8);
  EXPECT_EQ(_NColToBitsPixel(255), 8);
  EXPECT_EQ(_NColToBitsPixel(257), 9);
  EXPECT_EQ(_NColToBitsPixel(2), 1);
  EXPECT_EQ(_NColToBitsPixel(3), 2);
  EXPECT_EQ(_NColToBitsPixel(1), 0);
  EXPECT_EQ(_NColToBitsPixel(0), -1);
  EXPECT_EQ(_GetNumCol(8, 3), 16777216);
  EXPECT_EQ(_GetNumCol(1, 1), 2);
  EXPECT_EQ(_GetNumCol(8, 0), 1);
  EXPECT_EQ(_GetNumCol(16, 4), INT64_MAX);  // saturates
  EXPECT_EQ(_GetBitCount(0x7C00), 5);
  EXPECT_EQ(_GetBitCount(0x3E0), 5);
  EXPECT_EQ(_GetBitCount(0), 0);
  EXPECT_EQ(_GetBitCount(0xFFFFFFFFu), 32);
  EXPECT_EQ(_GetBitCount(0x80000000u), 1);
  EXPECT_EQ(_GetBitCount(0x0F0F), 4);  // only the first run counts
  uint32_t v = 0x00000001;
  ReverseBits(v);
  EXPECT_EQ(v, 0x80000000u);
  v = 0x12345678;
  ReverseBits(v);
  EXPECT_EQ(v, 0x1E6A2C48u);
  uint8_t b = 0x01;
  ReverseBitsB(b);
  EXPECT_EQ(b, 0x80);
  b = 0xB1;
  ReverseBitsB(b);
  EXPECT_EQ(b, 0x8D);
  EXPECT_EQ(CXFloor(-1.5L), -2);
  EXPECT_EQ(CXFloor(1.5L), 1);
  EXPECT_EQ(CXFloor(-2.0L), -2);
  EXPECT_EQ(CXFloor(0.0L), 0);
}

TEST(Formats, BitCountsAndBack) {
  const TPixelFormat all[] = {pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom};
  const int bits[] = {0, 1, 4, 8, 15, 16, 24, 32, 0};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(_Pixelformat2BitCount(all[i]), bits[i]);
    if (bits[i] != 0) {
      EXPECT_EQ(_Bitcount2Pixelformat(bits[i]), all[i]);
    }
  }
  EXPECT_EQ(_Bitcount2Pixelformat(2), pfCustom);
  EXPECT_EQ(_Bitcount2Pixelformat(0), pfCustom);
  EXPECT_EQ(MMXSupported(), gMMX);
}

// An operation over 4 rows as the protocol describes it, stopped by the handler at row 2.
struct Listener : TObject {
  std::vector<int> seen;
  bool* flag = nullptr;
  void OnProgress(TObject*, int32_t per) {
    seen.push_back(per);
    if (per >= 50 && flag) *flag = true;
  }
};

TEST(Progress, ReportsBeforeEachUnitAndStopsWhenAsked) {
  Listener l;
  bool abort = false;
  l.flag = &abort;
  TProgressRec rec;
  rec.OnProgress = TCXProgressEvent(&l, &Listener::OnProgress);
  rec.Sender = &l;
  rec.Aborting = &abort;
  ProgressBegin(rec, 4);
  int processed = 0;
  for (int k = 0; k < 4; ++k) {
    if (ProgressUnit(rec, k)) break;
    ++processed;
  }
  EXPECT_EQ(l.seen, (std::vector<int>{0, 25, 50}));
  EXPECT_EQ(processed, 2);

  // Without a stop the loop reports 0 .. trunc(100 (n-1) / n), never 100.
  Listener all;
  TProgressRec r2;
  r2.OnProgress = TCXProgressEvent(&all, &Listener::OnProgress);
  ProgressBegin(r2, 3);
  for (int k = 0; k < 3; ++k) EXPECT_FALSE(ProgressUnit(r2, k));
  EXPECT_EQ(all.seen, (std::vector<int>{0, 33, 66}));

  // Multi-pass: two passes of two units.
  Listener steps;
  TProgressRec r3;
  r3.OnProgress = TCXProgressEvent(&steps, &Listener::OnProgress);
  ProgressBeginSteps(r3, 2, 2);
  for (int pass = 0; pass < 2; ++pass, ++r3.StepIndex)
    for (int k = 0; k < 2; ++k) ProgressStepUnit(r3, 2, k);
  EXPECT_EQ(steps.seen, (std::vector<int>{0, 25, 50, 75}));

  // A failing codec sets the owner's flag; without a flag nothing happens.
  bool failed = false;
  TProgressRec r4;
  r4.Aborting = &failed;
  ProgressFail(r4);
  EXPECT_TRUE(failed);
  TProgressRec none;
  ProgressFail(none);
  EXPECT_FALSE(ProgressAborting(none));
}

}  // namespace
}  // namespace corvex
