#include "corvex/platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "corvex/platform/graphics/canvas.h"

namespace corvex {
namespace {

struct ChangeCounter : TObject {
  int count = 0;
  void Changed(TObject*) { ++count; }
};

TEST(Bitmap, RowsArePaddedContiguousAndZeroed) {
  struct Case {
    TPixelFormat pf;
    int width;
    size_t rowLen;
  } cases[] = {{pf1bit, 1, 4},   {pf1bit, 33, 8},  {pf4bit, 9, 8},    {pf8bit, 5, 8},
               {pf15bit, 3, 8},  {pf16bit, 2, 4},  {pf24bit, 10, 32}, {pf24bit, 1, 4},
               {pf32bit, 3, 12}};
  for (const Case& c : cases) {
    TBitmap b(c.width, 3, c.pf);
    EXPECT_EQ(b.GetRowLength(), c.rowLen) << "format " << c.pf << " width " << c.width;
    EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), static_cast<ptrdiff_t>(c.rowLen));
    EXPECT_EQ(b.ScanLine(0), b.Bits());
    for (size_t i = 0; i < b.GetImageSize(); ++i) ASSERT_EQ(b.Bits()[i], 0);
  }
  TBitmap empty;
  EXPECT_EQ(empty.GetPixelFormat(), pf24bit);
  EXPECT_TRUE(empty.GetEmpty());
  EXPECT_EQ(empty.Bits(), nullptr);

  // Allocating again gives zeroed pixels whether the block is used again (same size in bytes,
  // any format) or not; the palette follows the new format.
  TBitmap b(40, 30, pf24bit);
  const uint8_t* block = b.Bits();
  std::memset(b.Bits(), 0xAB, b.GetImageSize());
  b.Allocate(40, 30, pf24bit);
  EXPECT_EQ(b.Bits(), block);
  for (size_t i = 0; i < b.GetImageSize(); ++i) ASSERT_EQ(b.Bits()[i], 0) << i;
  std::memset(b.Bits(), 0xCD, b.GetImageSize());
  b.Allocate(120, 30, pf8bit);  // the same bytes per row
  EXPECT_EQ(b.GetPixelFormat(), pf8bit);
  for (size_t i = 0; i < b.GetImageSize(); ++i) ASSERT_EQ(b.Bits()[i], 0) << i;
  b.Allocate(7, 5, pf24bit);
  EXPECT_EQ(b.GetWidth(), 7);
  for (size_t i = 0; i < b.GetImageSize(); ++i) ASSERT_EQ(b.Bits()[i], 0) << i;
}

TEST(Bitmap, ScanLineOutsideTheImageRaises) {
  TBitmap b(4, 2, pf24bit);
  EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
  TBitmap empty;
  EXPECT_THROW(empty.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, OneBitPaletteIsFixedBlackWhite) {
  TBitmap b(8, 1, pf1bit);
  ASSERT_EQ(b.GetPaletteCount(), 2);
  EXPECT_EQ(b.GetPalette()[0], (TRGBQuad{0, 0, 0, 0}));
  EXPECT_EQ(b.GetPalette()[1], (TRGBQuad{255, 255, 255, 0}));
  TRGBQuad other[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
  b.SetPalette(other, 2);
  EXPECT_EQ(b.GetPalette()[0], (TRGBQuad{0, 0, 0, 0}));

  TBitmap p(2, 1, pf8bit);
  EXPECT_EQ(p.GetPaletteCount(), 256);
  TRGBQuad three[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  p.SetPalette(three, 3);
  EXPECT_EQ(p.GetPaletteCount(), 3);
  EXPECT_EQ(p.GetPalette()[2], (TRGBQuad{7, 8, 9, 0}));
  TBitmap rgb(2, 1, pf24bit);
  EXPECT_EQ(rgb.GetPaletteCount(), 0);
}

TEST(Bitmap, ResizeKeepsFormatAndOverlappingPixels) {
  TBitmap b(3, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (size_t i = 0; i < 9; ++i) b.ScanLine(y)[i] = static_cast<uint8_t>(10 * y + i + 1);
  b.SetWidth(5);
  EXPECT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_EQ(b.ScanLine(1)[8], 19);
  EXPECT_EQ(b.ScanLine(1)[9], 0);  // new pixels are zero
  b.SetSize(2, 3);
  EXPECT_EQ(b.GetWidth(), 2);
  EXPECT_EQ(b.ScanLine(0)[5], 6);
  EXPECT_EQ(b.ScanLine(0)[6], 0);  // padding after the cut pixels
  EXPECT_EQ(b.ScanLine(2)[0], 0);

  // A 1-bit row cut inside a byte keeps its padding bits zero.
  TBitmap m(16, 1, pf1bit);
  m.ScanLine(0)[0] = 0xFF;
  m.ScanLine(0)[1] = 0xFF;
  m.SetWidth(5);
  EXPECT_EQ(m.ScanLine(0)[0], 0xF8);
  EXPECT_EQ(m.ScanLine(0)[1], 0x00);
}

TEST(Bitmap, FormatChangesConvertThroughColour) {
  TBitmap b(4, 1, pf24bit);
  uint8_t* r = b.ScanLine(0);
  const uint8_t px[12] = {255, 255, 255, 10, 20, 30, 200, 200, 190, 0, 0, 0};
  std::memcpy(r, px, 12);
  TBitmap c;
  c.Assign(&b);

  c.SetPixelFormat(pf1bit);  // nearest of black and white
  EXPECT_EQ(c.ScanLine(0)[0], 0xA0);
  c.SetPixelFormat(pf24bit);
  const uint8_t back[12] = {255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0};
  EXPECT_EQ(std::memcmp(c.ScanLine(0), back, 12), 0);

  c.Assign(&b);
  c.SetPixelFormat(pf8bit);  // grey ramp palette: nearest grey
  EXPECT_EQ(c.ScanLine(0)[0], 255);
  EXPECT_EQ(c.ScanLine(0)[1], 20);
  EXPECT_EQ(c.ScanLine(0)[3], 0);

  c.Assign(&b);
  c.SetPixelFormat(pf16bit);
  c.SetPixelFormat(pf24bit);
  EXPECT_EQ(c.ScanLine(0)[0], 255);  // 5 and 6 bits expand back to full range
  EXPECT_EQ(c.ScanLine(0)[3], 8);    // 10 >> 3 = 1 -> 8
  EXPECT_EQ(c.ScanLine(0)[4], 20);   // 20 >> 2 = 5 -> 20

  c.Assign(&b);
  c.SetPixelFormat(pf32bit);
  EXPECT_EQ(c.GetRowLength(), 16u);
  EXPECT_EQ(c.ScanLine(0)[4], 10);
  EXPECT_EQ(c.ScanLine(0)[7], 0);
  c.SetPixelFormat(pf24bit);
  EXPECT_EQ(std::memcmp(c.ScanLine(0), px, 12), 0);

  c.Assign(&b);
  c.SetPixelFormat(pf4bit);  // VGA palette
  EXPECT_EQ(c.ScanLine(0)[0] >> 4, 15);  // white
  EXPECT_EQ(c.ScanLine(0)[1] & 15, 0);   // black
}

TEST(Bitmap, AssignCopiesEverythingAndFiresChange) {
  TBitmap src(3, 3, pf8bit);
  TRGBQuad pal[2] = {{1, 1, 1, 0}, {9, 9, 9, 0}};
  src.SetPalette(pal, 2);
  src.ScanLine(2)[1] = 1;
  TBitmap dst(1, 1, pf1bit);
  ChangeCounter counter;
  dst.OnChange = TNotifyEvent(&counter, &ChangeCounter::Changed);
  dst.Assign(&src);
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(dst.GetPixelFormat(), pf8bit);
  EXPECT_EQ(dst.GetPaletteCount(), 2);
  EXPECT_EQ(dst.ScanLine(2)[1], 1);
  EXPECT_NE(dst.Bits(), src.Bits());
  dst.Assign(nullptr);
  EXPECT_TRUE(dst.GetEmpty());
  TCanvas notABitmap;
  EXPECT_THROW(dst.Assign(&notABitmap), EConvertError);
}

TEST(Bitmap, ModifiedFlagAndChangeEvent) {
  TBitmap b;
  ChangeCounter counter;
  b.OnChange = TNotifyEvent(&counter, &ChangeCounter::Changed);
  b.SetSize(2, 2);
  b.SetSize(2, 2);  // no change, no event
  EXPECT_EQ(counter.count, 1);
  b.SetModified(false);
  EXPECT_FALSE(b.GetModified());
  EXPECT_EQ(counter.count, 1);
  b.SetModified(true);
  EXPECT_TRUE(b.GetModified());
  EXPECT_EQ(counter.count, 2);
  b.SetPixelFormat(pf1bit);
  b.SetPixelFormat(pfCustom);  // ignored
  EXPECT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(counter.count, 3);
}

TEST(Bitmap, ImpossibleSizesRaiseInsteadOfCrashing) {
  TBitmap b;
  EXPECT_THROW(b.SetSize(2000000000, 2000000000), EOutOfMemory);
  EXPECT_EQ(b.GetWidth(), 0);
  b.SetSize(-5, 3);
  EXPECT_EQ(b.GetWidth(), 0);
  EXPECT_EQ(b.GetHeight(), 3);
}

TEST(Bitmap, CanvasIsBoundToItsBitmap) {
  TBitmap b(2, 2, pf24bit);
  TCanvas* c = b.GetCanvas();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetBitmap(), &b);
  EXPECT_EQ(b.GetCanvas(), c);
}

}  // namespace
}  // namespace corvex
