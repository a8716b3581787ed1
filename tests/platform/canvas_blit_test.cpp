// Draw, StretchDraw, CopyRect with copy modes, and the stretching DIB drawer with every DIB
// layout it reads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

TEST(CanvasDraw, OneToOneCopiesAndEdgeClipping) {
  TBitmap src(7, 5, pf24bit);
  Noise(src, 3);
  TBitmap dst;
  Make(dst, 10, 8, clWhite);
  dst.GetCanvas()->Draw(-2, 4, &src);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const int sx = x + 2, sy = y - 4;
      const TColor want = (sx < 7 && sy >= 0 && sy < 5) ? Raw(src, sx, sy) : clWhite;
      ASSERT_EQ(Raw(dst, x, y), want) << x << "," << y;
    }
  // Nothing for an empty or missing graphic.
  TBitmap empty;
  dst.GetCanvas()->Draw(0, 0, &empty);
  dst.GetCanvas()->Draw(0, 0, nullptr);
  dst.GetCanvas()->StretchDraw(Rect(0, 0, 5, 5), nullptr);
}

TEST(CanvasDraw, FormatsMeetThroughTheirColours) {
  // 1-bit onto 24-bit: black and white.
  TBitmap mono(16, 2, pf1bit);
  mono.ScanLine(0)[0] = 0xA5;
  mono.ScanLine(1)[1] = 0x0F;
  TBitmap rgb;
  Make(rgb, 16, 2, clRed);
  rgb.GetCanvas()->Draw(0, 0, &mono);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Raw(rgb, x, 0), ((0xA5 >> (7 - x)) & 1) ? clWhite : clBlack) << x;
  EXPECT_EQ(Raw(rgb, 12, 1), clWhite);
  EXPECT_EQ(Raw(rgb, 11, 1), clBlack);

  // 24-bit onto 1-bit: the nearer of black and white (r + g + b >= 383 is white), unaligned.
  TBitmap grey(5, 1, pf24bit);
  const uint8_t levels[5] = {0, 127, 128, 200, 255};
  for (int x = 0; x < 5; ++x) std::memset(grey.ScanLine(0) + 3 * x, levels[x], 3);
  TBitmap m2;
  Make(m2, 12, 1, clBlack, pf1bit);
  m2.GetCanvas()->Draw(3, 0, &grey);
  EXPECT_EQ(Picture(m2, clWhite), Rows({".....###...."}));

  // 1-bit onto 1-bit at an odd offset keeps the neighbours' bits.
  TBitmap m3;
  Make(m3, 24, 2, clWhite, pf1bit);
  m3.GetCanvas()->Draw(5, 1, &mono);
  EXPECT_EQ(Picture(m3, clWhite), Rows({"########################", "######.#..#.#........###"}));

  // Indexed sources through their palette; 32-bit target with 0 in the fourth byte.
  TBitmap idx(3, 1, pf8bit);
  const TRGBQuad pal[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  idx.SetPalette(pal, 3);
  idx.ScanLine(0)[0] = 2;
  idx.ScanLine(0)[1] = 0;
  idx.ScanLine(0)[2] = 200;  // past the palette: black
  TBitmap q(3, 1, pf32bit);
  std::memset(q.Bits(), 0x77, q.GetImageSize());
  q.GetCanvas()->Draw(0, 0, &idx);
  const uint8_t want[12] = {7, 8, 9, 0, 1, 2, 3, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(q.ScanLine(0), want, 12), 0);
}

TEST(CanvasDraw, StretchSamplesThePixelUnderEachCentre) {
  TBitmap src(4, 2, pf24bit);
  const TColor cols[8] = {clRed, clLime, clBlue, clYellow, clAqua, clFuchsia, clWhite, clGray};
  for (int i = 0; i < 8; ++i) src.GetCanvas()->SetPixels(i % 4, i / 4, cols[i]);
  TBitmap dst;
  Make(dst, 12, 6, clBlack);
  // Enlarge 2x: blocks of 2 x 2.
  dst.GetCanvas()->StretchDraw(Rect(0, 0, 8, 4), &src);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(Raw(dst, x, y), cols[(y / 2) * 4 + x / 2]) << x << "," << y;
  EXPECT_EQ(Raw(dst, 8, 0), clBlack);
  EXPECT_EQ(Raw(dst, 0, 4), clBlack);
  // Halve: destination pixel i takes source pixel 2i + 1.
  Fill(dst, clBlack);
  dst.GetCanvas()->StretchDraw(Rect(0, 0, 2, 1), &src);
  EXPECT_EQ(Raw(dst, 0, 0), cols[5]);
  EXPECT_EQ(Raw(dst, 1, 0), cols[7]);
  // A reversed rectangle mirrors.
  Fill(dst, clBlack);
  dst.GetCanvas()->StretchDraw(Rect(4, 2, 0, 0), &src);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(Raw(dst, x, y), cols[(1 - y) * 4 + (3 - x)]) << x << "," << y;
  // Three to seven columns: the widths of the blocks follow the centres.
  TBitmap three(3, 1, pf24bit);
  three.GetCanvas()->SetPixels(0, 0, clRed);
  three.GetCanvas()->SetPixels(1, 0, clLime);
  three.GetCanvas()->SetPixels(2, 0, clBlue);
  Make(dst, 7, 1, clBlack);
  dst.GetCanvas()->StretchDraw(Rect(0, 0, 7, 1), &three);
  std::string s;
  for (int x = 0; x < 7; ++x) s += Raw(dst, x, 0) == clRed ? 'r' : Raw(dst, x, 0) == clLime ? 'g' : 'b';
  EXPECT_EQ(s, "rrgggbb");
}

TEST(CanvasDraw, CopyRectFromItselfAndCopyModes) {
  TBitmap b(8, 8, pf24bit);
  Noise(b, 5);
  TBitmap orig;
  orig.Assign(&b);
  // Overlapping copy within one bitmap reads the old pixels.
  b.GetCanvas()->CopyRect(Rect(1, 1, 8, 8), b.GetCanvas(), Rect(0, 0, 7, 7));
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 8; ++x) ASSERT_EQ(Raw(b, x, y), Raw(orig, x - 1, y - 1));
  EXPECT_EQ(Raw(b, 0, 0), Raw(orig, 0, 0));

  TBitmap src(1, 1, pf24bit);
  src.GetCanvas()->SetPixels(0, 0, RGBColor(0xF0, 0x0F, 0x55));
  auto run = [&](TCopyMode mode, TColor dest) {
    TBitmap d;
    Make(d, 1, 1, dest);
    d.GetCanvas()->GetBrush()->SetColor(RGBColor(0x33, 0x33, 0x33));
    d.GetCanvas()->SetCopyMode(mode);
    d.GetCanvas()->Draw(0, 0, &src);
    return Raw(d, 0, 0);
  };
  const TColor D = RGBColor(0x3C, 0xC3, 0xAA);
  EXPECT_EQ(run(cmSrcCopy, D), RGBColor(0xF0, 0x0F, 0x55));
  EXPECT_EQ(run(cmSrcInvert, D), RGBColor(0xF0 ^ 0x3C, 0x0F ^ 0xC3, 0x55 ^ 0xAA));
  EXPECT_EQ(run(cmSrcAnd, D), RGBColor(0xF0 & 0x3C, 0x0F & 0xC3, 0x55 & 0xAA));
  EXPECT_EQ(run(cmSrcPaint, D), RGBColor(0xF0 | 0x3C, 0x0F | 0xC3, 0x55 | 0xAA));
  EXPECT_EQ(run(cmNotSrcCopy, D), RGBColor(0x0F, 0xF0, 0xAA));
  EXPECT_EQ(run(cmDstInvert, D), RGBColor(0xC3, 0x3C, 0x55));
  EXPECT_EQ(run(cmBlackness, D), clBlack);
  EXPECT_EQ(run(cmWhiteness, D), clWhite);
  EXPECT_EQ(run(cmPatCopy, D), RGBColor(0x33, 0x33, 0x33));
  EXPECT_EQ(run(cmMergeCopy, D), RGBColor(0xF0 & 0x33, 0x0F & 0x33, 0x55 & 0x33));

  // On 1-bit targets the operation works on bits; xor twice restores.
  TBitmap m(13, 3, pf1bit);
  Noise(m, 11);
  const std::vector<uint8_t> before = Bytes(m);
  TBitmap pat(9, 2, pf1bit);
  Noise(pat, 12);
  m.GetCanvas()->SetCopyMode(cmSrcInvert);
  m.GetCanvas()->Draw(3, 1, &pat);
  EXPECT_NE(Bytes(m), before);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 13; ++x) {
      const bool inside = x >= 3 && x < 12 && y >= 1;
      const bool was = ((before[size_t(y) * m.GetRowLength() + size_t(x >> 3)] >> (7 - (x & 7))) & 1) != 0;
      const bool p = inside && Raw(pat, x - 3, y - 1) == clWhite;
      ASSERT_EQ(Raw(m, x, y) == clWhite, was != p) << x << "," << y;
    }
  m.GetCanvas()->Draw(3, 1, &pat);
  EXPECT_EQ(Bytes(m), before);
}

// ---------------------------------------------------------------------------------------------
// DIB drawer

// A DIB in memory: header, colour table or masks, rows; and the colour each pixel must show.
struct TestDib {
  std::vector<uint8_t> block;  // header + table + rows (a packed DIB)
  int w = 0, h = 0;
  std::vector<TColor> expect;  // row 0 at the top
  const TBitmapInfoHeader* Header() const { return reinterpret_cast<const TBitmapInfoHeader*>(block.data()); }
  TColor At(int x, int y) const { return expect[size_t(y) * size_t(w) + size_t(x)]; }
};

uint8_t Widen(unsigned v, int bits) {
  unsigned out = 0;
  int filled = 0;
  while (filled < 8) {
    const int s = 8 - filled - bits;
    out |= s >= 0 ? (v << s) : (v >> -s);
    filled += bits;
  }
  return static_cast<uint8_t>(out);
}

// bits: 1, 4, 8, 16 (5-5-5), 165 (16 with 5-6-5 masks), 24, 32, 132 (32 with masks 10-10-10).
TestDib MakeDib(int bits, int w, int h, bool topDown, uint32_t seed) {
  TestDib d;
  d.w = w;
  d.h = h;
  const int bpp = bits == 165 ? 16 : bits == 132 ? 32 : bits;
  const bool fields = bits == 165 || bits == 132;
  TBitmapInfoHeader bi;
  bi.biWidth = w;
  bi.biHeight = topDown ? -h : h;
  bi.biBitCount = static_cast<uint16_t>(bpp);
  bi.biCompression = fields ? BI_BITFIELDS : BI_RGB;
  const int colors = bpp <= 8 ? (1 << bpp) - (bpp == 8 ? 56 : 0) : 0;  // 8 bits: a short table
  bi.biClrUsed = bpp == 8 ? uint32_t(colors) : 0;
  const size_t rowLen = ((size_t(w) * size_t(bpp) + 31) / 32) * 4;
  d.block.resize(40 + (fields ? 12 : 0) + size_t(colors) * 4 + rowLen * size_t(h));
  std::memcpy(d.block.data(), &bi, 40);
  uint8_t* p = d.block.data() + 40;
  uint32_t masks[3] = {0, 0, 0};
  if (bits == 165) masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
  if (bits == 132) masks[0] = 0x3FF00000, masks[1] = 0x000FFC00, masks[2] = 0x000003FF;
  if (fields) {
    std::memcpy(p, masks, 12);
    p += 12;
  }
  auto rnd = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  std::vector<TRGBQuad> pal(size_t(std::max(colors, 1)));
  for (int i = 0; i < colors; ++i) {
    pal[size_t(i)] = {uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd()), 0};
    std::memcpy(p + 4 * i, &pal[size_t(i)], 4);
  }
  uint8_t* rows = p + size_t(colors) * 4;
  d.expect.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = rows + rowLen * size_t(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      TColor c = 0;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          const unsigned idx = rnd() % unsigned(bpp == 8 ? 256 : colors);  // 8 bits: some past the table
          const int per = 8 / bpp;
          const int shift = (per - 1 - x % per) * bpp;
          row[x / per] = static_cast<uint8_t>(row[x / per] | (idx << shift));
          const TRGBQuad q = idx < unsigned(colors) ? pal[idx] : TRGBQuad{};
          c = RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
          break;
        }
        case 16: {
          const unsigned v = rnd() & 0xFFFF;
          row[2 * x] = uint8_t(v);
          row[2 * x + 1] = uint8_t(v >> 8);
          if (bits == 165) c = RGBColor(Widen((v >> 11) & 31, 5), Widen((v >> 5) & 63, 6), Widen(v & 31, 5));
          else c = RGBColor(Widen((v >> 10) & 31, 5), Widen((v >> 5) & 31, 5), Widen(v & 31, 5));
          break;
        }
        case 24:
          for (int k = 0; k < 3; ++k) row[3 * x + k] = uint8_t(rnd());
          c = RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
          break;
        case 32: {
          const uint32_t v = rnd() | (rnd() << 24);
          std::memcpy(row + 4 * x, &v, 4);
          if (bits == 132) c = RGBColor(uint8_t((v >> 22) & 0xFF), uint8_t((v >> 12) & 0xFF), uint8_t((v >> 2) & 0xFF));
          else c = RGBColor(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
          break;
        }
      }
      d.expect[size_t(y) * size_t(w) + size_t(x)] = c;
    }
  }
  return d;
}

TEST(DibDraw, EveryLayoutDrawsOneToOneAndStretched) {
  const HDRAWDIB hdd = DrawDibOpen();
  ASSERT_NE(hdd, 0u);
  for (int bits : {1, 4, 8, 16, 165, 24, 32, 132}) {
    for (bool topDown : {false, true}) {
      const TestDib d = MakeDib(bits, 13, 9, topDown, uint32_t(bits * 7 + topDown));
      TBitmap b;
      Make(b, 20, 12, clWhite);
      // Packed: the rows follow the table; the source rectangle counts from the top row.
      ASSERT_TRUE(DrawDibDraw(hdd, b.GetCanvas(), 2, 1, -1, -1, d.Header(), nullptr, 3, 2, -1, -1, 0));
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
          const int sx = x - 2 + 3, sy = y - 1 + 2;
          const bool in = x >= 2 && y >= 1 && sx < 13 && sy < 9;
          ASSERT_EQ(Raw(b, x, y), in ? d.At(sx, sy) : clWhite) << bits << (topDown ? " top-down" : "") << " at " << x << "," << y;
        }
      // Stretched: the same pixels as StretchDraw of the decoded image.
      TBitmap ref(13, 9, pf24bit);
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) ref.GetCanvas()->SetPixels(x, y, d.At(x, y));
      TBitmap s1, s2;
      Make(s1, 40, 30, clWhite);
      Make(s2, 40, 30, clWhite);
      const uint8_t* bitsPtr = d.block.data() + 40 + DIBColorTableSize(d.Header());
      ASSERT_TRUE(DrawDibDraw(hdd, s1.GetCanvas(), 1, 2, 37, 25, d.Header(), bitsPtr, 0, 0, 13, 9, 0));
      s2.GetCanvas()->StretchDraw(Rect(1, 2, 38, 27), &ref);
      ASSERT_EQ(Bytes(s1), Bytes(s2)) << bits;
      // And onto a 1-bit target.
      TBitmap m1, m2;
      Make(m1, 20, 12, clBlack, pf1bit);
      Make(m2, 20, 12, clBlack, pf1bit);
      ASSERT_TRUE(DrawDibDraw(hdd, m1.GetCanvas(), 0, 0, 20, 12, d.Header(), nullptr, 0, 0, 13, 9, 0));
      m2.GetCanvas()->StretchDraw(Rect(0, 0, 20, 12), &ref);
      ASSERT_EQ(Bytes(m1), Bytes(m2)) << bits;
    }
  }
  EXPECT_TRUE(DrawDibClose(hdd));
}

TEST(DibDraw, HandlesPalettesAndRefusals) {
  const size_t open = DrawDibCount();
  const HDRAWDIB hdd = DrawDibOpen();
  EXPECT_EQ(DrawDibCount(), open + 1);
  const TPaletteEntry e[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  const HPALETTE pal = CreatePalette(0x300, e, 2);
  EXPECT_TRUE(DrawDibSetPalette(hdd, pal));
  EXPECT_EQ(DrawDibGetPalette(hdd), pal);
  DeletePalette(pal);

  TestDib d = MakeDib(24, 4, 4, false, 1);
  TBitmap b;
  Make(b, 4, 4, clWhite);
  EXPECT_EQ(DrawDibRealize(hdd, b.GetCanvas(), false), 0u);
  const std::vector<uint8_t> before = Bytes(b);
  auto* bi = reinterpret_cast<TBitmapInfoHeader*>(d.block.data());
  EXPECT_FALSE(DrawDibDraw(hdd + 1, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));  // unknown handle
  EXPECT_FALSE(DrawDibDraw(hdd, nullptr, 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, nullptr, nullptr, 0, 0, 4, 4, 0));
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, -3, 4, bi, nullptr, 0, 0, 4, 4, 0));
  EXPECT_TRUE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, DDF_DONTDRAW));
  bi->biCompression = BI_RLE8;
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));
  bi->biCompression = BI_RGB;
  bi->biSize = 12;
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));
  bi->biSize = 40;
  bi->biBitCount = 7;
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));
  bi->biBitCount = 24;
  bi->biWidth = -4;
  EXPECT_FALSE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 0, 0, 4, 4, 0));
  bi->biWidth = 4;
  EXPECT_EQ(Bytes(b), before);
  // A source rectangle reaching past the image draws only the part inside it.
  EXPECT_TRUE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, 2, 2, 4, 4, 0));
  EXPECT_EQ(Raw(b, 0, 0), d.At(2, 2));
  EXPECT_EQ(Raw(b, 1, 1), d.At(3, 3));
  EXPECT_EQ(Raw(b, 2, 0), clWhite);
  EXPECT_EQ(Raw(b, 0, 2), clWhite);
  EXPECT_TRUE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 4, 4, bi, nullptr, -100, -100, 50, 50, 0));

  EXPECT_TRUE(DrawDibClose(hdd));
  EXPECT_FALSE(DrawDibClose(hdd));
  EXPECT_EQ(DrawDibCount(), open);
}

TEST(DibDraw, HonoursTheClipRegion) {
  const HDRAWDIB hdd = DrawDibOpen();
  const TestDib d = MakeDib(24, 30, 30, false, 77);
  TBitmap b(30, 30, pf24bit);
  Noise(b, 1);
  TBitmap before;
  before.Assign(&b);
  const TRegion clip = TRegion::FromEllipse(3, 3, 27, 24);
  b.GetCanvas()->SelectClipRgn(&clip);
  ASSERT_TRUE(DrawDibDraw(hdd, b.GetCanvas(), 0, 0, 60, 45, d.Header(), nullptr, 0, 0, 30, 30, 0));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      if (!clip.Contains(x, y)) {
        ASSERT_EQ(Raw(b, x, y), Raw(before, x, y)) << x << "," << y;
      }
  EXPECT_EQ(Raw(b, 15, 15), d.At(7, 10));  // centre 15.5 of 60 over 30 columns: 7; of 45 over 30 rows: 10
  DrawDibClose(hdd);
}

}  // namespace
}  // namespace corvex
