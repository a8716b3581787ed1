// Import of packed DIBs and YUV frames: hand-built DIBs of every depth and compression, the
// YUV layouts against pixels worked out by hand, BMP files written by other programs (the
// corpus), and hostile headers and data that must be refused or cut without reading outside
// the block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/proc/CorvexProc.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

using Bytes = std::vector<uint8_t>;

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
bool Same(TRGB a, TRGB b) { return EqualRGB(a, b); }
TRGB Yuv(int Y, int U, int V) {
  TRGB c;
  YUV2RGB(Y, U, V, c);
  return c;
}

// A packed DIB: header, then the extra bytes (masks, colour table), then the pixel data.
Bytes MakeDIB(int w, int h, int bits, uint32_t comp, const Bytes& extra, const Bytes& data, uint32_t clrUsed = 0) {
  TBitmapInfoHeader hd;
  hd.biWidth = w;
  hd.biHeight = h;
  hd.biBitCount = static_cast<uint16_t>(bits);
  hd.biCompression = comp;
  hd.biClrUsed = clrUsed;
  Bytes out(sizeof hd + extra.size() + data.size());
  std::memcpy(out.data(), &hd, sizeof hd);
  std::copy(extra.begin(), extra.end(), out.begin() + sizeof hd);
  std::copy(data.begin(), data.end(), out.begin() + sizeof hd + extra.size());
  return out;
}

int Load(const Bytes& dib, TBitmap& bmp) {
  return _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(dib.data()), &bmp, nullptr, true, dib.size());
}

Bytes Table(std::initializer_list<TRGB> colours) {
  Bytes t;
  for (const TRGB& c : colours) t.insert(t.end(), {c.b, c.g, c.r, 0});
  return t;
}

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

TEST(YUV2RGB, HandComputedSamples) {
  EXPECT_TRUE(Same(Yuv(16, 128, 128), CreateRGB(0, 0, 0)));
  EXPECT_TRUE(Same(Yuv(235, 128, 128), CreateRGB(255, 255, 255)));  // 254.916
  EXPECT_TRUE(Same(Yuv(128, 128, 128), CreateRGB(130, 130, 130)));  // 130.368
  // y = 75.66: R 254.412, G -0.538, B -1.024.
  EXPECT_TRUE(Same(Yuv(81, 90, 240), CreateRGB(254, 0, 0)));
  // y = 97.776: R 69.048, G 103.808, B 142.172.
  EXPECT_TRUE(Same(Yuv(100, 150, 110), CreateRGB(69, 104, 142)));
  EXPECT_TRUE(Same(Yuv(16, 90, 240), CreateRGB(179, 0, 0)));        // 178.752
  EXPECT_TRUE(Same(Yuv(-500, 128, 128), CreateRGB(0, 0, 0)));       // limited, not wrapped
}

TEST(YUVFrames, ConvertersAgreeWithTheFormulaEverywhere) {
  // IYU2 carries one full sample per pixel: row v, column y of a 256-wide frame is (y, u, v)
  // for u in steps of 5.
  for (int u = 0; u < 256; u += 5) {
    Bytes data;
    for (int v = 0; v < 256; ++v)
      for (int y = 0; y < 256; ++y) data.insert(data.end(), {uint8_t(u), uint8_t(y), uint8_t(v)});
    TBitmap bmp(256, 256, pf24bit);
    ASSERT_TRUE(_CopyIYU2ToBitmap(data.data(), &bmp, true, data.size()));
    for (int v = 0; v < 256; ++v)
      for (int y = 0; y < 256; ++y) ASSERT_TRUE(Same(Px(bmp, y, v), Yuv(y, u, v))) << y << " " << u << " " << v;
  }
}

TEST(YUVFrames, PackedLayoutsPlaceTheirSamples) {
  TBitmap bmp(4, 2, pf24bit);
  // UYVY: U Y0 V Y1. Row 0 of the source is the top row when TopDown.
  const Bytes uyvy = {90, 81, 240, 16, 128, 235, 128, 128, /* row 1 */ 150, 100, 110, 200, 128, 16, 128, 16};
  ASSERT_TRUE(_CopyUYVYToBitmap(uyvy.data(), &bmp, true, uyvy.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), CreateRGB(255, 255, 255)));
  EXPECT_TRUE(Same(Px(bmp, 3, 0), CreateRGB(130, 130, 130)));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(69, 104, 142)));
  EXPECT_TRUE(Same(Px(bmp, 1, 1), Yuv(200, 150, 110)));
  EXPECT_TRUE(Same(Px(bmp, 3, 1), CreateRGB(0, 0, 0)));
  // Bottom-up: source row 0 is the last row.
  ASSERT_TRUE(_CopyUYVYToBitmap(uyvy.data(), &bmp, false, uyvy.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(69, 104, 142)));

  // YUY2: Y0 U Y1 V; YVYU: Y0 V Y1 U.
  const Bytes yuy2 = {81, 90, 16, 240, 235, 128, 128, 128, 100, 150, 200, 110, 16, 128, 16, 128};
  ASSERT_TRUE(_CopyYUY2ToBitmap(yuy2.data(), &bmp, true, yuy2.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 1, 1), Yuv(200, 150, 110)));
  const Bytes yvyu = {81, 240, 16, 90, 235, 128, 128, 128, 100, 110, 200, 150, 16, 128, 16, 128};
  ASSERT_TRUE(_CopyYVYUToBitmap(yvyu.data(), &bmp, true, yvyu.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(69, 104, 142)));

  // IYU1: U Y0 Y1 V Y2 Y3, one group per row.
  const Bytes iyu1 = {90, 81, 16, 240, 100, 235, 128, 16, 235, 128, 130, 131};
  ASSERT_TRUE(_CopyIYU1ToBitmap(iyu1.data(), &bmp, true, iyu1.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), Yuv(100, 90, 240)));
  EXPECT_TRUE(Same(Px(bmp, 3, 0), Yuv(235, 90, 240)));
  EXPECT_TRUE(Same(Px(bmp, 1, 1), CreateRGB(255, 255, 255)));
  EXPECT_TRUE(Same(Px(bmp, 3, 1), Yuv(131, 128, 128)));

  // Y211: Y0 U Y2 V; pixels 0, 1 take Y0 and 2, 3 take Y2.
  const Bytes y211 = {81, 90, 16, 240, 128, 128, 235, 128};
  ASSERT_TRUE(_CopyY211ToBitmap(y211.data(), &bmp, true, y211.size()));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(130, 130, 130)));
  EXPECT_TRUE(Same(Px(bmp, 3, 1), CreateRGB(255, 255, 255)));

  // Y41P: U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7; pixels 0-3 use U0, V0 and 4-7 use U4, V4.
  TBitmap eight(8, 1, pf24bit);
  const Bytes y41p = {90, 81, 240, 16, 150, 100, 110, 235, 100, 16, 128, 235};
  ASSERT_TRUE(_CopyY41PToBitmap(y41p.data(), &eight, true, y41p.size()));
  const TRGB y41[8] = {Yuv(81, 90, 240), Yuv(16, 90, 240), Yuv(100, 90, 240), Yuv(235, 90, 240),
                       Yuv(100, 150, 110), Yuv(16, 150, 110), Yuv(128, 150, 110), Yuv(235, 150, 110)};
  for (int x = 0; x < 8; ++x) EXPECT_TRUE(Same(Px(eight, x, 0), y41[x])) << x;

  // CLJR: V bits 0-5, U 6-11, Y0..Y3 in 5-bit fields from bit 12. Y 31, 0, 16, 1 widen to
  // 255, 0, 132, 8; U = V = 32 become 128.
  TBitmap four(4, 1, pf24bit);
  const uint32_t word = 32u | 32u << 6 | 31u << 12 | 0u << 17 | 16u << 22 | 1u << 27;
  const Bytes cljr = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
  ASSERT_TRUE(_CopyCLJRToBitmap(cljr.data(), &four, true, cljr.size()));
  EXPECT_TRUE(Same(Px(four, 0, 0), CreateRGB(255, 255, 255)));
  EXPECT_TRUE(Same(Px(four, 1, 0), CreateRGB(0, 0, 0)));
  EXPECT_TRUE(Same(Px(four, 2, 0), CreateRGB(135, 135, 135)));  // 1.164 * 116 = 135.02
  EXPECT_TRUE(Same(Px(four, 3, 0), CreateRGB(0, 0, 0)));
}

TEST(YUVFrames, PartialGroupsAndShortData) {
  // Width 3 in YUY2: each row reads two whole groups; pixel 2 is the second group's Y0.
  TBitmap bmp(3, 1, pf24bit);
  const Bytes yuy2 = {81, 90, 16, 240, 235, 128, 16, 128};
  ASSERT_TRUE(_CopyYUY2ToBitmap(yuy2.data(), &bmp, true, yuy2.size()));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), CreateRGB(255, 255, 255)));
  // One byte short: refused, nothing written.
  TBitmap other(3, 1, pf24bit);
  EXPECT_FALSE(_CopyYUY2ToBitmap(yuy2.data(), &other, true, yuy2.size() - 1));
  EXPECT_TRUE(Same(Px(other, 0, 0), CreateRGB(0, 0, 0)));
  EXPECT_FALSE(_CopyYUY2ToBitmap(nullptr, &other, true, 100));
  TBitmap mono(4, 1, pf1bit);
  EXPECT_FALSE(_CopyUYVYToBitmap(yuy2.data(), &mono, true, yuy2.size()));
}

TEST(YUVFrames, PlanarLayoutsShareChromaPerBlock) {
  // I420 4 x 2: Y plane, U plane (2 x 1), V plane (2 x 1).
  TBitmap bmp(4, 2, pf24bit);
  const Bytes i420 = {81, 16, 100, 235, /* row 1 */ 16, 81, 128, 200, /* U */ 90, 150, /* V */ 240, 110};
  ASSERT_TRUE(_CopyI420ToBitmap(i420.data(), &bmp, true, i420.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(179, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), CreateRGB(69, 104, 142)));
  EXPECT_TRUE(Same(Px(bmp, 3, 1), Yuv(200, 150, 110)));
  // YV12: V plane before U.
  const Bytes yv12 = {81, 16, 100, 235, 16, 81, 128, 200, 240, 110, 90, 150};
  ASSERT_TRUE(_CopyYV12ToBitmap(yv12.data(), &bmp, false, yv12.size()));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(254, 0, 0)));  // bottom-up
  EXPECT_TRUE(Same(Px(bmp, 2, 1), CreateRGB(69, 104, 142)));
  EXPECT_FALSE(_CopyYV12ToBitmap(yv12.data(), &bmp, false, yv12.size() - 1));

  // YVU9 8 x 4: one 4 x 4 block per chroma sample, V plane first.
  TBitmap nine(8, 4, pf24bit);
  Bytes yvu9(32, 81);
  yvu9[31] = 100;
  yvu9.insert(yvu9.end(), {240, 110, /* U */ 90, 150});
  ASSERT_TRUE(_CopyYVU9ToBitmap(yvu9.data(), &nine, true, yvu9.size()));
  EXPECT_TRUE(Same(Px(nine, 3, 3), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(nine, 4, 0), Yuv(81, 150, 110)));
  EXPECT_TRUE(Same(Px(nine, 7, 3), CreateRGB(69, 104, 142)));

  // Odd sizes: 3 x 3 I420 has 1 x 1 chroma planes; the last row and column share them.
  TBitmap odd(3, 3, pf24bit);
  Bytes i3(9, 16);
  i3[8] = 81;
  i3.insert(i3.end(), {90, 240});
  ASSERT_TRUE(_CopyI420ToBitmap(i3.data(), &odd, true, i3.size()));
  EXPECT_TRUE(Same(Px(odd, 2, 2), CreateRGB(254, 0, 0)));
  // 1 pixel wide: no chroma at all, neutral grey.
  TBitmap thin(1, 2, pf24bit);
  const Bytes y2 = {235, 128};
  ASSERT_TRUE(_CopyI420ToBitmap(y2.data(), &thin, true, y2.size()));
  EXPECT_TRUE(Same(Px(thin, 0, 0), CreateRGB(255, 255, 255)));
}

TEST(CopyDIB2Bitmap, SixteenBitFiveFiveFiveAndBitFields) {
  TBitmap bmp;
  // 3 x 1, compression 0: 0x7FFF white, 0x7C00 red, 0x001F blue; row padded to 8 bytes.
  Bytes dib = MakeDIB(3, 1, 16, BI_RGB, {}, {0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0x00, 0, 0});
  EXPECT_EQ(Load(dib, bmp), 16);
  ASSERT_EQ(bmp.GetPixelFormat(), pf24bit);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(248, 248, 248)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(248, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), CreateRGB(0, 0, 248)));

  // 5-6-5 masks after the header.
  const Bytes masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  dib = MakeDIB(2, 1, 16, BI_BITFIELDS, masks565, {0xFF, 0xFF, 0xE0, 0x07});
  EXPECT_EQ(Load(dib, bmp), 16);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(248, 252, 248)));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(0, 252, 0)));

  // 32 bits, with and without masks.
  dib = MakeDIB(1, 2, 32, BI_RGB, {}, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Load(dib, bmp), 32);
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(3, 2, 1)));  // bottom-up: the first row is the last
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(7, 6, 5)));
  const Bytes masks888 = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
  dib = MakeDIB(1, 1, 32, BI_BITFIELDS, masks888, {10, 20, 30, 40});
  EXPECT_EQ(Load(dib, bmp), 32);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(30, 20, 10)));
}

TEST(CopyDIB2Bitmap, PaletteDepthsTopDownAndOneBit) {
  TBitmap bmp;
  const TRGB red = CreateRGB(255, 0, 0), green = CreateRGB(0, 255, 0), blue = CreateRGB(0, 0, 255);
  // 8 bits, a three-entry table (clrUsed 3); index 7 lies past it and is black. Top-down.
  Bytes dib = MakeDIB(3, -2, 8, BI_RGB, Table({red, green, blue}), {0, 1, 2, 0, 7, 2, 1, 0}, 3);
  EXPECT_EQ(Load(dib, bmp), 8);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), red));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), blue));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(0, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 2, 1), green));

  // 4 bits: high nibble first; a full 16-entry table by default.
  Bytes table16 = Table({red, green, blue});
  table16.resize(64, 0);
  dib = MakeDIB(3, 1, 4, BI_RGB, table16, {0x21, 0x00, 0, 0});
  EXPECT_EQ(Load(dib, bmp), 4);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), blue));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), green));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), red));

  // 1 bit: rows copied, padding bits cleared; a white-then-black table inverts the bits.
  const Bytes rows = {0xA7, 0, 0, 0, 0x50, 0, 0, 0};
  dib = MakeDIB(5, 2, 1, BI_RGB, Table({CreateRGB(0, 0, 0), CreateRGB(255, 255, 255)}), rows);
  EXPECT_EQ(Load(dib, bmp), 1);
  ASSERT_EQ(bmp.GetPixelFormat(), pf1bit);
  EXPECT_EQ(bmp.ScanLine(1)[0], 0xA0);
  EXPECT_EQ(bmp.ScanLine(0)[0], 0x50);
  dib = MakeDIB(5, 2, 1, BI_RGB, Table({CreateRGB(255, 255, 255), CreateRGB(0, 0, 0)}), rows);
  EXPECT_EQ(Load(dib, bmp), 1);
  EXPECT_EQ(bmp.ScanLine(1)[0], 0x58);
  EXPECT_EQ(bmp.ScanLine(0)[0], 0xA8);

  // 24 bits, with a pixel-data pointer of its own.
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 0, 0};
  dib = MakeDIB(2, 1, 24, BI_RGB, {}, {});
  EXPECT_EQ(_CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(dib.data()), &bmp, pixels.data(), true, dib.size(),
                            pixels.size()),
            24);
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(6, 5, 4)));
  EXPECT_EQ(_CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(dib.data()), &bmp, pixels.data(), true, dib.size(), 5), 0);
}

TEST(CopyDIB2Bitmap, RunLengthEncoding) {
  TBitmap bmp;
  const TRGB c0 = CreateRGB(9, 9, 9), c1 = CreateRGB(255, 0, 0), c2 = CreateRGB(0, 255, 0), c3 = CreateRGB(0, 0, 255);
  Bytes table = Table({c0, c1, c2, c3});
  table.resize(1024, 0);
  // Bottom row: three of 1, then a line end; top row: the literal 2, 1, 3 (padded), end of bitmap.
  Bytes rle = {3, 1, 0, 0, 0, 3, 2, 1, 3, 0, 0, 1};
  Bytes dib = MakeDIB(4, 2, 8, BI_RLE8, table, rle);
  EXPECT_EQ(Load(dib, bmp), 8);
  EXPECT_TRUE(Same(Px(bmp, 0, 1), c1));
  EXPECT_TRUE(Same(Px(bmp, 2, 1), c1));
  EXPECT_TRUE(Same(Px(bmp, 3, 1), c0));  // never written: colour 0
  EXPECT_TRUE(Same(Px(bmp, 0, 0), c2));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), c1));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), c3));

  // A run past the row's end is cut; a delta moves right; a line end past the top ends it.
  rle = {200, 3, 0, 0, 0, 2, 1, 0, 2, 2, 0, 0, 0, 0, 0, 5};
  dib = MakeDIB(4, 2, 8, BI_RLE8, table, rle);
  EXPECT_EQ(Load(dib, bmp), 8);
  for (int x = 0; x < 4; ++x) EXPECT_TRUE(Same(Px(bmp, x, 1), c3)) << x;
  EXPECT_TRUE(Same(Px(bmp, 0, 0), c0));
  EXPECT_TRUE(Same(Px(bmp, 1, 0), c2));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), c2));
  EXPECT_TRUE(Same(Px(bmp, 3, 0), c0));
  // A delta right 1 and up 1, then a literal of 5 whose data stops after 2 bytes.
  rle = {2, 3, 0, 2, 1, 1, 0, 5, 1, 2};
  dib = MakeDIB(4, 2, 8, BI_RLE8, table, rle);
  EXPECT_EQ(Load(dib, bmp), 8);
  EXPECT_TRUE(Same(Px(bmp, 1, 1), c3));
  EXPECT_TRUE(Same(Px(bmp, 2, 1), c0));
  EXPECT_TRUE(Same(Px(bmp, 2, 0), c0));
  EXPECT_TRUE(Same(Px(bmp, 3, 0), c1));  // the literal starts at x = 3 and is cut at the edge

  // RLE4: runs alternate the nibbles; literals are nibbles too.
  Bytes table16 = Table({c0, c1, c2, c3});
  table16.resize(64, 0);
  rle = {5, 0x12, 0, 3, 0x32, 0x10, 0, 0};
  dib = MakeDIB(8, 1, 4, BI_RLE4, table16, rle);
  EXPECT_EQ(Load(dib, bmp), 4);
  const TRGB want[8] = {c1, c2, c1, c2, c1, c3, c2, c1};
  for (int x = 0; x < 8; ++x) EXPECT_TRUE(Same(Px(bmp, x, 0), want[x])) << x;
}

TEST(CopyDIB2Bitmap, YuvFramesByFourCC) {
  TBitmap bmp;
  // Positive height: top-down for most YUV layouts.
  const Bytes uyvy = {90, 81, 240, 16, 128, 235, 128, 128};
  EXPECT_EQ(Load(MakeDIB(2, 2, 16, FourCC("UYVY"), {}, uyvy), bmp), 16);
  ASSERT_EQ(bmp.GetHeight(), 2);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(255, 255, 255)));
  // cyuv is UYVY with the opposite row order.
  EXPECT_EQ(Load(MakeDIB(2, 2, 16, FourCC("cyuv"), {}, uyvy), bmp), 16);
  EXPECT_TRUE(Same(Px(bmp, 0, 1), CreateRGB(254, 0, 0)));
  EXPECT_EQ(Load(MakeDIB(2, -2, 16, FourCC("cyuv"), {}, uyvy), bmp), 16);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(254, 0, 0)));
  // YUNV is YUY2; IYUV is I420; CLJR has 8 bits per pixel and no colour table.
  const Bytes yuy2 = {81, 90, 16, 240, 235, 128, 128, 128};
  EXPECT_EQ(Load(MakeDIB(2, 2, 16, FourCC("YUNV"), {}, yuy2), bmp), 16);
  EXPECT_TRUE(Same(Px(bmp, 1, 0), CreateRGB(179, 0, 0)));
  const Bytes i420 = {81, 81, 81, 81, 90, 240};
  EXPECT_EQ(Load(MakeDIB(2, 2, 12, FourCC("IYUV"), {}, i420), bmp), 12);
  EXPECT_TRUE(Same(Px(bmp, 1, 1), CreateRGB(254, 0, 0)));
  const uint32_t word = 32u | 32u << 6 | 31u << 12;
  EXPECT_EQ(Load(MakeDIB(4, 1, 8, FourCC("CLJR"), {}, {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), 0}), bmp), 8);
  EXPECT_TRUE(Same(Px(bmp, 0, 0), CreateRGB(255, 255, 255)));
  // Short frames and unknown codes are refused.
  EXPECT_EQ(Load(MakeDIB(2, 3, 16, FourCC("UYVY"), {}, uyvy), bmp), 0);
  EXPECT_EQ(Load(MakeDIB(2, 2, 16, FourCC("ABCD"), {}, uyvy), bmp), 0);
}

TEST(CopyDIB2Bitmap, HandlesRoundTripAndStayUnlocked) {
  TBitmap src(7, 5, pf24bit);
  for (size_t i = 0; i < src.GetImageSize(); ++i) src.Bits()[i] = uint8_t(i * 13);
  for (TPixelFormat pf : {pf24bit, pf1bit}) {
    TBitmap from;
    from.Assign(&src);
    from.SetPixelFormat(pf);
    HGLOBAL h = _CopyBitmaptoDIB(&from, 0, 0, 0, 0);
    ASSERT_NE(h, 0u);
    TBitmap back;
    EXPECT_EQ(_CopyDIB2Bitmap(h, &back, nullptr, false), pf == pf1bit ? 1 : 24);
    ASSERT_EQ(back.GetPixelFormat(), pf);
    EXPECT_EQ(testing_support::RgbDigest16(back), testing_support::RgbDigest16(from));
    EXPECT_NE(GlobalReAlloc(h, GlobalSize(h) + 16, GMEM_MOVEABLE), 0u);  // not left locked
    GlobalFree(h);
  }
  TBitmap untouched(2, 2, pf24bit);
  EXPECT_EQ(_CopyDIB2Bitmap(0, &untouched, nullptr, false), 0);
  EXPECT_EQ(_CopyDIB2Bitmap(0x12345678, &untouched, nullptr, false), 0);  // unknown handle
  EXPECT_EQ(untouched.GetWidth(), 2);
}

TEST(CopyDIB2Bitmap, RefusesWhatItCannotReadAndLeavesTheBitmap) {
  TBitmap bmp(3, 3, pf24bit);
  bmp.ScanLine(0)[0] = 77;
  auto refused = [&bmp](const Bytes& dib) {
    const int r = Load(dib, bmp);
    EXPECT_EQ(bmp.GetWidth(), 3);
    EXPECT_EQ(bmp.ScanLine(0)[0], 77);
    return r == 0;
  };
  const Bytes row = {1, 2, 3, 0};
  EXPECT_TRUE(refused(Bytes(39, 0)));                                 // shorter than a header
  EXPECT_TRUE(refused(MakeDIB(0, 1, 24, BI_RGB, {}, row)));           // no width
  EXPECT_TRUE(refused(MakeDIB(-1, 1, 24, BI_RGB, {}, row)));
  EXPECT_TRUE(refused(MakeDIB(1, 0, 24, BI_RGB, {}, row)));
  EXPECT_TRUE(refused(MakeDIB(1, INT32_MIN, 24, BI_RGB, {}, row)));
  EXPECT_TRUE(refused(MakeDIB(1, 2, 24, BI_RGB, {}, row)));           // a row missing
  EXPECT_TRUE(refused(MakeDIB(2, 1, 24, BI_RGB, {}, row)));           // part of a row missing
  EXPECT_TRUE(refused(MakeDIB(1, 1, 7, BI_RGB, {}, row)));            // no such depth
  EXPECT_TRUE(refused(MakeDIB(1, 1, 24, BI_RLE8, {}, row)));          // RLE of the wrong depth
  EXPECT_TRUE(refused(MakeDIB(1, -1, 8, BI_RLE8, Bytes(1024, 0), row)));  // top-down RLE
  EXPECT_TRUE(refused(MakeDIB(1, 1, 8, BI_RGB, {}, row)));            // the table is missing
  EXPECT_TRUE(refused(MakeDIB(1, 1, 8, BI_RGB, {}, row, 0x40000000)));  // absurd table size
  EXPECT_TRUE(refused(MakeDIB(1, 1, 16, BI_BITFIELDS, {}, {})));      // masks missing
  EXPECT_TRUE(refused(MakeDIB(100000, 100000, 8, BI_RLE8, Bytes(1024, 0), {0, 1})));  // too large
  EXPECT_TRUE(refused(MakeDIB(3000, 3000, 8, BI_RLE8, Bytes(1024, 0), Bytes(8000, 0))));  // a bomb
  TBitmap big;
  EXPECT_EQ(Load(MakeDIB(2048, 2048, 8, BI_RLE8, Bytes(1024, 0), {0, 1}), big), 8);  // 4 megapixels are free
  EXPECT_EQ(Load(MakeDIB(3000, 3000, 8, BI_RLE8, Bytes(1024, 0), Bytes(9000, 0)), big), 8);
  EXPECT_TRUE(refused(MakeDIB(0x7FFFFFFF, 0x7FFFFFFF, 1, BI_RGB, Bytes(8, 0), row)));
  Bytes bad = MakeDIB(1, 1, 24, BI_RGB, {}, row);
  bad[0] = 12;  // an old 12-byte core header
  EXPECT_TRUE(refused(bad));
  bad[0] = 0xFF, bad[1] = 0xFF;  // longer than the block
  EXPECT_TRUE(refused(bad));
  EXPECT_EQ(_CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(row.data()), &bmp, nullptr, true, 0), 0);
  EXPECT_EQ(_CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(row.data()), nullptr, nullptr, true, 4), 0);
}

TEST(CopyDIB2Bitmap, MutatedDIBsNeverReadOutside) {
  // Every field and byte of valid DIBs of each kind is scrambled; each copy lives in a block of
  // exactly its size, so a read past it would show under the address sanitizer.
  Bytes table = Table({CreateRGB(1, 2, 3), CreateRGB(4, 5, 6)});
  table.resize(1024, 7);
  const Bytes seeds[] = {
      MakeDIB(5, 3, 8, BI_RLE8, table, {3, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 2, 1, 1, 9, 1, 0, 1}),
      MakeDIB(6, 2, 4, BI_RLE4, Bytes(table.begin(), table.begin() + 64), {5, 0x12, 0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 2, 3}),
      MakeDIB(3, 2, 16, BI_BITFIELDS, {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}, Bytes(16, 0x5A)),
      MakeDIB(3, -2, 32, BI_RGB, {}, Bytes(24, 0x33)),
      MakeDIB(9, 2, 1, BI_RGB, Bytes(table.begin(), table.begin() + 8), Bytes(16, 0xC3)),
      MakeDIB(4, 2, 16, FourCC("YUY2"), {}, Bytes(16, 0x80)),
      MakeDIB(4, 4, 12, FourCC("YV12"), {}, Bytes(24, 0x80)),
      MakeDIB(8, 1, 12, FourCC("Y41P"), {}, Bytes(12, 0x80)),
  };
  std::mt19937 rng(4);
  int loaded = 0;
  for (const Bytes& seed : seeds) {
    for (int round = 0; round < 2000; ++round) {
      Bytes d = seed;
      const int edits = 1 + int(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t at = rng() % d.size();
        switch (rng() % 4) {
          case 0: d[at] = uint8_t(rng()); break;
          case 1: d[at] ^= uint8_t(1u << (rng() % 8)); break;
          case 2: d.resize(rng() % (d.size() + 1)); break;
          default: d[at] = (rng() & 1) ? 0xFF : 0; break;
        }
        if (d.empty()) break;
      }
      auto block = std::make_unique<uint8_t[]>(d.size() + 1);
      std::memcpy(block.get(), d.data(), d.size());
      TBitmap bmp;
      loaded += _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(block.get()), &bmp, nullptr, true, d.size()) != 0;
    }
  }
  EXPECT_GT(loaded, 0);
}

// The digests of reference images with each channel cut to the bits of a 16-bit pixel (this
// import shifts 5 and 6-bit fields up; other decoders also fill the low bits), one line per
// (image, green bits) pair, or nothing without Pillow.
std::vector<std::string> MaskedReferenceDigests(const std::vector<std::pair<std::string, int>>& Pngs) {
  const std::string py = testing_support::Python();
  if (Pngs.empty() || py.empty() || !testing_support::HavePythonModule("PIL")) return {};
  std::string list;
  for (const auto& [png, green] : Pngs) list += "('" + png + "', " + (green == 6 ? "0xFC" : "0xF8") + "),";
  const std::string cmd = py + " -c \"import hashlib; from PIL import Image\nfor f, g in [" + list +
                          "]:\n im = Image.open(f).convert('RGB'); b = bytes(v & m for px in im.getdata() for v, m in "
                          "zip(px, (0xF8, g, 0xF8))); print(hashlib.sha256(b).hexdigest()[:16])\"";
  std::string out;
  if (testing_support::RunCommand(cmd, &out) != 0) return {};
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) lines.push_back(out.substr(at, nl - at));
  return lines.size() == Pngs.size() ? lines : std::vector<std::string>{};
}

TEST(CopyDIB2Bitmap, BitmapFilesOfOtherPrograms) {
  // A BMP file is a file header followed by a packed DIB. Where the file's pixel offset lies
  // beyond where a packed DIB's rows would start, it is passed as the data pointer.
  CORVEX_REQUIRE_CORPUS();
  int compared = 0;
  std::vector<std::pair<std::string, int>> sixteen;  // 16-bit files: compared with Pillow's help
  std::vector<std::string> sixteenNames, sixteenDigests;
  for (const auto& row : testing_support::ReadManifest("bmp/")) {
    const Bytes file = testing_support::ReadFileBytes(row.Path());
    if (file.size() < 14 + 40 || file[0] != 'B' || file[1] != 'M') continue;
    TBitmapFileHeader fh;
    std::memcpy(&fh, file.data(), sizeof fh);
    TBitmapInfoHeader hd;
    std::memcpy(&hd, file.data() + 14, sizeof hd);
    const uint8_t* dib = file.data() + 14;
    const size_t dibSize = file.size() - 14;
    uint64_t colors = hd.biClrUsed;
    if (colors == 0 && hd.biBitCount <= 8) colors = uint64_t(1) << hd.biBitCount;
    const uint64_t packedStart = 14 + uint64_t(hd.biSize) + (hd.biCompression == BI_BITFIELDS && hd.biSize == 40 ? 12 : 0) + 4 * colors;
    const bool ownData = fh.bfOffBits > packedStart && fh.bfOffBits < file.size();
    TBitmap bmp;
    const int bc = _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(dib), &bmp, ownData ? file.data() + fh.bfOffBits : nullptr,
                                   true, dibSize, ownData ? file.size() - fh.bfOffBits : 0);
    if (!row.Decodes() || bc == 0) continue;
    // Where the rules of this import differ from the reference decoder: alpha (ignored here),
    // two-colour tables other than black and white (reduced to black and white here), indices
    // past the colour table (black here, grey there), and pixels that run-length data skips
    // (colour 0 here, transparent there).
    const std::string name = row.file;
    if (row.alpha == "alpha" || name.find("pal1bg") != std::string::npos || name.find("pal1p1") != std::string::npos ||
        name.find("rletrns") != std::string::npos || name.find("badrle") != std::string::npos ||
        name.find("rlecut") != std::string::npos || name.find("badindex") != std::string::npos)
      continue;
    if (bc == 16) {
      const bool six = hd.biCompression == BI_BITFIELDS && file.size() >= 14 + 44 && file[14 + 41] == 0xF8;
      sixteen.push_back({row.ReferencePath(), six ? 6 : 5});
      sixteenNames.push_back(name);
      sixteenDigests.push_back(testing_support::RgbDigest16(bmp));
      continue;
    }
    EXPECT_EQ(testing_support::RgbDigest16(bmp), row.rgb_sha256_16) << name;
    ++compared;
  }
  EXPECT_GT(compared, 30);
  const std::vector<std::string> masked = MaskedReferenceDigests(sixteen);
  for (size_t i = 0; i < masked.size(); ++i) EXPECT_EQ(sixteenDigests[i], masked[i]) << sixteenNames[i];
}

}  // namespace
}  // namespace corvex
