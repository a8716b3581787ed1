// Numbers, colours, rectangles, global memory and the screen facts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/types.h"

namespace corvex {
namespace {

TEST(Numbers, RoundIsHalfToEvenAndTruncTowardZero) {
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(3.5), 4);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(-3.5), -4);
  EXPECT_EQ(Round(2.4999), 2);
  EXPECT_EQ(Round(0.5f), 0);
  EXPECT_EQ(Round64(1e12 + 0.5), 1000000000000LL);
  EXPECT_EQ(Trunc(-1.9), -1);
  EXPECT_EQ(Trunc(1.9), 1);
  EXPECT_DOUBLE_EQ(Frac(-1.25), -0.25);
  // Out of range and NaN saturate instead of being undefined.
  EXPECT_EQ(Round(1e20), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Trunc(-1e20), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Round(std::nan("")), 0);
}

TEST(Colors, SystemColoursResolveThroughTheTable) {
  EXPECT_EQ(clBtnFace, -2147483633);  // 0x8000000F
  EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(192, 192, 192));
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clRed), clRed);
  SetSysColor(COLOR_BTNFACE, RGBColor(1, 2, 3));
  EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(1, 2, 3));
  ResetSysColors();
  EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(192, 192, 192));
  EXPECT_EQ(GetSysColor(200), 0);
  EXPECT_EQ(GetRValue(RGBColor(1, 2, 3)), 1);
  EXPECT_EQ(GetBValue(RGBColor(1, 2, 3)), 3);
}

TEST(Rects, IntersectUnionOffset) {
  const TRect a = Rect(0, 0, 10, 10), b = Rect(5, 5, 20, 8);
  EXPECT_EQ(IntersectRect(a, b), Rect(5, 5, 10, 8));
  EXPECT_EQ(IntersectRect(a, Rect(10, 0, 12, 5)), TRect{});  // touching edges do not overlap
  EXPECT_EQ(UnionRect(a, b), Rect(0, 0, 20, 10));
  EXPECT_EQ(UnionRect(TRect{}, b), b);
  EXPECT_EQ(OffsetRect(a, 2, -1), Rect(2, -1, 12, 9));
  EXPECT_TRUE(a.Contains(Point(9, 9)));
  EXPECT_FALSE(a.Contains(Point(10, 9)));
  EXPECT_EQ(Bounds(1, 2, 3, 4), Rect(1, 2, 4, 6));
}

TEST(GlobalMemory, AllocateLockResizeFree) {
  const size_t before = GlobalBlockCount();
  HGLOBAL h = GlobalAlloc(GHND | GMEM_SHARE, 100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GlobalSize(h), 100u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);  // zero-filled
  p[99] = 7;
  EXPECT_EQ(GlobalReAlloc(h, 200, GMEM_ZEROINIT), 0u);  // locked blocks do not move
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalReAlloc(h, 200, GMEM_ZEROINIT), h);
  p = static_cast<uint8_t*>(GlobalLock(h));
  EXPECT_EQ(p[99], 7);
  EXPECT_EQ(p[150], 0);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalBlockCount(), before + 1);
  EXPECT_EQ(GlobalFree(h), 0u);
  EXPECT_EQ(GlobalBlockCount(), before);
  EXPECT_EQ(GlobalFree(h), h);  // unknown now
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
}

TEST(Screen, HeadlessDefaults) {
  EXPECT_EQ(gSystemDPIX, 96);
  EXPECT_EQ(gSystemDPIY, 96);
  EXPECT_EQ(gSystemColors, 24);
  EXPECT_EQ(gAnimDim, 7);
  EXPECT_EQ(gMMX, CpuHasMMX());
#if defined(__x86_64__)
  EXPECT_TRUE(gMMX);  // every x86-64 processor has MMX
#endif
}

}  // namespace
}  // namespace corvex

#include "corvex/platform/graphics/palette.h"

namespace corvex {
namespace {

TEST(Palette, CreateReadDelete) {
  const size_t before = PaletteCount();
  const TPaletteEntry e[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  HPALETTE p = CreatePalette(0x300, e, 3);
  ASSERT_NE(p, 0u);
  EXPECT_EQ(GetPaletteVersion(p), 0x300);
  const auto got = GetPaletteEntries(p);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], e[2]);
  EXPECT_EQ(PaletteCount(), before + 1);
  EXPECT_TRUE(DeletePalette(p));
  EXPECT_FALSE(DeletePalette(p));
  EXPECT_TRUE(GetPaletteEntries(p).empty());
  EXPECT_EQ(CreatePalette(0x300, e, 0), 0u);
}

}  // namespace
}  // namespace corvex
