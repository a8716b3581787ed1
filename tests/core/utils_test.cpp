#include "corvex/core/utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/types.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {
namespace {

void FillPattern(TBitmap& b, uint8_t seed) {
  // Padding included, so that copies of the whole block can be told from row copies.
  for (size_t i = 0; i < b.GetImageSize(); ++i) b.Bits()[i] = static_cast<uint8_t>(seed + i * 7);
}

bool Bit(const uint8_t* p, int64_t i) { return (p[i >> 3] >> (7 - (i & 7))) & 1; }

TEST(CopyBitmap, WholeBlockPaddingIncludedAndEmptySources) {
  TBitmap src(5, 3, pf24bit);  // 15 bytes of pixels in 16-byte rows
  FillPattern(src, 1);
  TBitmap dst(1, 1, pf1bit);
  CXCopyBitmap(&src, &dst);
  ASSERT_EQ(dst.GetPixelFormat(), pf24bit);
  ASSERT_EQ(dst.GetImageSize(), src.GetImageSize());
  EXPECT_EQ(std::memcmp(dst.Bits(), src.Bits(), src.GetImageSize()), 0);

  TBitmap empty(0, 0, pf1bit);
  CXCopyBitmap(&empty, &dst);
  EXPECT_EQ(dst.GetWidth(), 1);
  EXPECT_EQ(dst.GetHeight(), 1);
  EXPECT_EQ(dst.GetPixelFormat(), pf1bit);

  std::unique_ptr<TBitmap> clone(CXCloneBitmap(&src));
  EXPECT_EQ(std::memcmp(clone->Bits(), src.Bits(), src.GetImageSize()), 0);
}

TEST(CopyBitmapRect, DefaultsCutsAndOneBitOffsets) {
  TBitmap src(10, 6, pf24bit);
  FillPattern(src, 3);
  TBitmap dst;
  _CopyBitmapRect(&src, &dst, 0, 0, 0, 0);  // whole image
  EXPECT_EQ(dst.GetWidth(), 10);
  EXPECT_EQ(dst.GetHeight(), 6);
  EXPECT_EQ(std::memcmp(dst.ScanLine(5), src.ScanLine(5), 30), 0);

  _CopyBitmapRect(&src, &dst, 7, 2, 50, 4);  // x2 beyond the width stops at it
  ASSERT_EQ(dst.GetWidth(), 3);
  ASSERT_EQ(dst.GetHeight(), 2);
  EXPECT_EQ(std::memcmp(dst.ScanLine(1), src.ScanLine(3) + 21, 9), 0);

  _CopyBitmapRect(&src, &dst, -3, -1, 2, 2);  // corners before the image start at its edge
  EXPECT_EQ(dst.GetWidth(), 2);
  EXPECT_EQ(dst.GetHeight(), 2);
  EXPECT_EQ(std::memcmp(dst.ScanLine(0), src.ScanLine(0), 6), 0);

  TBitmap mono(37, 3, pf1bit);
  FillPattern(mono, 9);
  _CopyBitmapRect(&mono, &dst, 5, 1, 30, 3);
  ASSERT_EQ(dst.GetPixelFormat(), pf1bit);
  ASSERT_EQ(dst.GetWidth(), 25);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(Bit(dst.ScanLine(y), x), Bit(mono.ScanLine(y + 1), x + 5));

  TBitmap pal(8, 8, pf8bit);
  _CopyBitmapRect(&pal, &dst, 2, 2, 6, 5);  // other formats are only sized
  EXPECT_EQ(dst.GetPixelFormat(), pf8bit);
  EXPECT_EQ(dst.GetWidth(), 4);
  EXPECT_EQ(dst.GetHeight(), 3);
}

TEST(CopyBits, MatchesABitByBitCopyAndKeepsNeighbours) {
  std::mt19937 rng(99);
  uint8_t src[40], dst[40], want[40];
  for (int trial = 0; trial < 3000; ++trial) {
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    for (auto& v : dst) v = static_cast<uint8_t>(rng());
    std::memcpy(want, dst, sizeof dst);
    const int64_t so = rng() % 64, dof = rng() % 64, n = rng() % (320 - 64 - std::max(so, dof));
    for (int64_t i = 0; i < n; ++i) {
      const uint8_t m = static_cast<uint8_t>(0x80 >> ((dof + i) & 7));
      if (Bit(src, so + i)) want[(dof + i) >> 3] |= m;
      else want[(dof + i) >> 3] &= static_cast<uint8_t>(~m);
    }
    _CopyBits(dst, src, dof, n, so);
    ASSERT_EQ(std::memcmp(dst, want, sizeof dst), 0) << "src " << so << " dst " << dof << " n " << n;
  }
}

TEST(CopyBits, ReadsNoByteBeyondTheRange) {
  // The source range ends exactly at the end of an allocation: bits 3 .. 3 + 13 of two bytes.
  auto src = std::make_unique<uint8_t[]>(2);
  src[0] = 0xFF;
  src[1] = 0xFE;
  uint8_t dst[3] = {0, 0, 0};
  _CopyBits(dst, src.get(), 1, 13, 3);
  EXPECT_EQ(dst[0], 0x7F);
  EXPECT_EQ(dst[1], 0xF8);
  EXPECT_EQ(dst[2], 0x00);
}

TEST(CopyBitmapToDIB, PackedLayouts) {
  TBitmap b(3, 2, pf24bit);
  FillPattern(b, 0);
  HGLOBAL h = _CopyBitmaptoDIB(&b, 0, 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GlobalSize(h), 40u + 2 * 12 + 4);
  const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
  TBitmapInfoHeader bi;
  std::memcpy(&bi, p, 40);
  EXPECT_EQ(bi.biSize, 40u);
  EXPECT_EQ(bi.biWidth, 3);
  EXPECT_EQ(bi.biHeight, 2);
  EXPECT_EQ(bi.biPlanes, 1);
  EXPECT_EQ(bi.biBitCount, 24);
  EXPECT_EQ(bi.biCompression | bi.biSizeImage | bi.biClrUsed | uint32_t(bi.biXPelsPerMeter), 0u);
  EXPECT_EQ(std::memcmp(p + 40, b.ScanLine(1), 9), 0);  // bottom row first
  EXPECT_EQ(std::memcmp(p + 52, b.ScanLine(0), 9), 0);
  GlobalUnlock(h);
  GlobalFree(h);

  TBitmap m(20, 3, pf1bit);
  FillPattern(m, 5);
  h = _CopyBitmaptoDIB(&m, 4, 1, 14, 99);  // cut to the bitmap
  EXPECT_EQ(GlobalSize(h), 40u + 8 + 2 * 4 + 4);
  p = static_cast<const uint8_t*>(GlobalLock(h));
  std::memcpy(&bi, p, 40);
  EXPECT_EQ(bi.biWidth, 10);
  EXPECT_EQ(bi.biHeight, 2);
  EXPECT_EQ(bi.biBitCount, 1);
  const uint8_t table[8] = {0, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(p + 40, table, 8), 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Bit(p + 48, x), Bit(m.ScanLine(2), x + 4));
  GlobalUnlock(h);
  GlobalFree(h);

  TBitmap pal(4, 4, pf8bit);
  h = _CopyBitmaptoDIB(&pal, 0, 0, 0, 0);
  EXPECT_EQ(GlobalSize(h), 44u);
  p = static_cast<const uint8_t*>(GlobalLock(h));
  std::memcpy(&bi, p, 40);
  EXPECT_EQ(bi.biBitCount, 0);
  GlobalUnlock(h);
  GlobalFree(h);
}

TEST(Geometry, RectangleTests) {
  EXPECT_TRUE(_InRect(5, 5, 0, 0, 5, 5));  // edges inclusive
  EXPECT_FALSE(_InRect(5, 5, 5, 5, 0, 0));
  EXPECT_TRUE(_InRectO(5, 5, 5, 5, 0, 0));
  EXPECT_TRUE(_RectXRect(10, 10, 0, 0, 10, 10, 20, 20));  // touching corners overlap
  EXPECT_FALSE(_RectXRect(0, 0, 9, 9, 10, 10, 20, 20));
  // S crossing R's border, inside R, disjoint from R, enclosing R.
  EXPECT_EQ(_RectPRect(0, 0, 10, 10, 5, 5, 15, 8), 1);
  EXPECT_EQ(_RectPRect(0, 0, 10, 10, 2, 2, 8, 8), 2);
  EXPECT_EQ(_RectPRect(0, 0, 10, 10, 20, 20, 30, 30), 0);
  EXPECT_EQ(_RectPRect(0, 0, 10, 10, -5, -5, 15, 15), 0);
}

TEST(Geometry, Distances) {
  EXPECT_DOUBLE_EQ(_DistPoint2Point(0, 0, 3, 4), 5.0);
  EXPECT_DOUBLE_EQ(_DistPoint2Point(-30000, 0, 30000, 0), 60000.0);  // beyond 32-bit squares
  EXPECT_DOUBLE_EQ(_DistPoint2Line(0, 5, -10, 0, 10, 0), 5.0);
  EXPECT_DOUBLE_EQ(_DistPoint2Line(50, 5, -10, 0, 10, 0), 5.0);  // the infinite line
  EXPECT_DOUBLE_EQ(_DistPoint2Seg(50, 5, -10, 0, 10, 0), std::hypot(40.0, 5.0));
  EXPECT_DOUBLE_EQ(_DistPoint2Seg(-13, 4, -10, 0, 10, 0), 5.0);
  EXPECT_DOUBLE_EQ(_DistPoint2Seg(3, 4, 0, 0, 0, 0), 5.0);  // equal end points
  EXPECT_DOUBLE_EQ(_DistPoint2Seg(0, 7, -10, 0, 10, 0), 7.0);
  EXPECT_DOUBLE_EQ(_DistPoint2Line(3, 4, 1, 1, 1, 1), std::hypot(2.0, 3.0));
}

TEST(Geometry, CastPolySelSnapsToEightDirections) {
  auto cast = [](int x, int y) {
    _CastPolySelCC(100, 100, x, y);
    return TPoint{x, y};
  };
  EXPECT_EQ(cast(110, 200), Point(100, 200));  // steep: vertical
  EXPECT_EQ(cast(200, 105), Point(200, 100));  // flat: horizontal
  EXPECT_EQ(cast(140, 150), Point(150, 150));  // right and below
  EXPECT_EQ(cast(150, 140), Point(150, 150));
  EXPECT_EQ(cast(60, 50), Point(60, 60));      // left and above
  EXPECT_EQ(cast(50, 60), Point(60, 60));
  EXPECT_EQ(cast(60, 150), Point(50, 150));    // left and below
  EXPECT_EQ(cast(50, 140), Point(50, 150));
  EXPECT_EQ(cast(140, 50), Point(150, 50));    // right and above
  EXPECT_EQ(cast(150, 60), Point(150, 50));
  EXPECT_EQ(cast(100, 100), Point(100, 100));
}

TEST(Utils, FindHandleWalksUpTheOwners) {
  TForm form(nullptr);
  auto* pane = new TCustomControl(&form);
  auto* timer = new TTimer(pane);
  TComponent loose(nullptr);
  EXPECT_EQ(CXFindHandle(pane), pane->GetHandle());
  EXPECT_EQ(CXFindHandle(timer), pane->GetHandle());
  EXPECT_EQ(CXFindHandle(&form), form.GetHandle());
  EXPECT_EQ(CXFindHandle(&loose), 0u);
  EXPECT_EQ(CXFindHandle(nullptr), 0u);
}

}  // namespace
}  // namespace corvex
