// Flood fill and drawing on palette bitmaps: known areas filled (with hatch brushes, clip regions
// and pen modes), nearest palette entries for drawn colours, and the same scene drawn on 24-, 8-
// and 4-bit bitmaps agreeing pixel for pixel when its colours are in the palettes.
#include <gtest/gtest.h>

#include <string>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

bool HatchBit(TBrushStyle s, int x, int y) { return (HatchPattern(s)[y & 7] >> (7 - (x & 7))) & 1; }

// A frame inside a frame: the band between them is a ring with a hole.
void DrawRing(TBitmap& b) {
  Make(b, 60, 60, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetStyle(bsClear);
  c->GetPen()->SetColor(clBlack);
  c->Rectangle(10, 10, 50, 50);
  c->Rectangle(20, 20, 40, 40);
}
bool InBand(int x, int y) {
  const bool outer = x >= 11 && x < 49 && y >= 11 && y < 49;
  const bool hole = x >= 20 && x < 40 && y >= 20 && y < 40;
  return outer && !hole;
}

TEST(CanvasFloodFill, RingFilledWithHatchInsideOnly) {
  for (TFillStyle style : {fsBorder, fsSurface}) {
    TBitmap b;
    DrawRing(b);
    TCanvas* c = b.GetCanvas();
    c->GetBrush()->SetStyle(bsDiagCross);
    c->GetBrush()->SetColor(clRed);
    c->FloodFill(15, 13, style == fsBorder ? clBlack : clWhite, style);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const bool frame = ((x == 10 || x == 49) && y >= 10 && y < 50) || ((y == 10 || y == 49) && x >= 10 && x < 50) ||
                           ((x == 20 || x == 39) && y >= 20 && y < 40) || ((y == 20 || y == 39) && x >= 20 && x < 40);
        const TColor want = frame ? clBlack : (InBand(x, y) && HatchBit(bsDiagCross, x, y)) ? clRed : clWhite;
        ASSERT_EQ(Raw(b, x, y), want) << x << "," << y << " style " << style << Picture(b, clRed);
      }
  }
}

TEST(CanvasFloodFill, FourConnectedClippedAndEachPixelOnce) {
  // A diagonal line is a wall for a 4-connected fill: only the side of the seed fills.
  TBitmap b;
  Make(b, 20, 20, clWhite, pf1bit);
  TCanvas* c = b.GetCanvas();
  c->MoveTo(0, 0);
  c->LineTo(20, 20);
  c->GetBrush()->SetColor(clBlack);
  c->FloodFill(15, 2, clBlack, fsBorder);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(Raw(b, x, y), x >= y ? clBlack : clWhite) << x << "," << y << Picture(b, clBlack);

  // The clip region bounds the area like a border; a seed outside it does nothing, and so does a
  // seed that does not belong to the area or a clear brush.
  TBitmap d;
  Make(d, 30, 30, clWhite);
  c = d.GetCanvas();
  TRegion clip = TRegion::FromRect(0, 0, 30, 30);
  clip -= TRegion::FromRect(10, 0, 12, 30);  // a gap down the middle
  c->SelectClipRgn(&clip);
  c->GetBrush()->SetColor(clBlue);
  c->FloodFill(11, 5, clWhite, fsSurface);  // inside the gap: not visible
  EXPECT_EQ(Count(d, clWhite), 900);
  c->FloodFill(3, 5, clBlack, fsSurface);  // (3, 5) is not black
  c->GetBrush()->SetStyle(bsClear);
  c->FloodFill(3, 5, clWhite, fsSurface);
  EXPECT_EQ(Count(d, clWhite), 900);
  c->GetBrush()->SetStyle(bsSolid);
  c->FloodFill(3, 5, clWhite, fsSurface);
  EXPECT_EQ(Count(d, clBlue), 10 * 30);
  EXPECT_EQ(Raw(d, 20, 5), clWhite);

  // The pen mode combines the brush with each pixel of the area exactly once, even where the
  // result still matches (xor with black leaves white white).
  c->SelectClipRgn(nullptr);
  Make(d, 30, 30, clWhite);
  c->GetPen()->SetMode(pmXor);
  c->GetBrush()->SetColor(RGBColor(0, 0xFF, 0));  // white xor green = magenta
  c->FloodFill(5, 5, clWhite, fsSurface);
  EXPECT_EQ(Count(d, clFuchsia), 900);
  c->GetBrush()->SetColor(clBlack);  // xor with 0: the area stays white, and the fill ends
  c->FloodFill(5, 5, clFuchsia, fsSurface);
  EXPECT_EQ(Count(d, clFuchsia), 900);
}

TEST(CanvasFloodFill, LongSerpentineOnALargeBitmap) {
  // Walls every other row, open at alternate ends: one path through the whole bitmap, which a
  // recursive fill would follow millions of calls deep.
  const int w = 2000, h = 2000;
  TBitmap b;
  Make(b, w, h, clWhite, pf8bit);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(clBlack);
  int walls = 0;
  for (int y = 1; y < h; y += 2, ++walls) {
    const int gapRight = (y / 2) % 2 == 0;
    c->FillRect(Rect(gapRight ? 0 : 1, y, gapRight ? w - 1 : w, y + 1));
  }
  c->GetBrush()->SetColor(clGray);
  c->FloodFill(0, 0, clWhite, fsSurface);
  int white = 0, grey = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) white += row[x] == 255, grey += row[x] == 128;
  }
  EXPECT_EQ(white, 0);
  EXPECT_EQ(grey, w * h - walls * (w - 1));
}

// A palette where some colours tie: entry 6 repeats entry 1, entry 7 is as far from (5, 5, 5) as
// black is.
void MakePaletted(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf8bit);
  TRGBQuad pal[256];
  const uint8_t rgb[8][3] = {{0, 0, 0},       {200, 0, 0},     {0, 200, 0}, {0, 0, 200},
                             {128, 128, 128}, {255, 255, 255}, {200, 0, 0}, {10, 10, 10}};
  for (int i = 0; i < 256; ++i) {
    const uint8_t* c = rgb[i < 8 ? i : 7];
    pal[i] = TRGBQuad{c[2], c[1], c[0], 0};
  }
  b.SetPalette(pal, 256);
}

TEST(CanvasPalette, ColoursBecomeTheNearestEntryAndModesWorkOnIndexes) {
  struct Case {
    TColor color;
    uint8_t index;
  };
  const Case cases[] = {
      {clRed, 1},                        // (255, 0, 0): 55 from entry 1
      {RGBColor(200, 0, 0), 1},          // exact, also equal to entry 6: the first wins
      {RGBColor(100, 100, 100), 4},      // grey
      {RGBColor(10, 10, 10), 7},         // exact
      {RGBColor(5, 5, 5), 0},            // 15 from black and from entry 7: the first wins
      {RGBColor(0, 120, 60), 2},         // 140 from green, 170 from entry 7
      {clWhite, 5},
      {clBtnFace, 5},                    // resolved first: (192, 192, 192) is 189 from white, 192 from grey
  };
  for (const Case& k : cases) {
    TBitmap b;
    MakePaletted(b, 4, 1);
    b.GetCanvas()->GetBrush()->SetColor(k.color);
    b.GetCanvas()->FillRect(Rect(0, 0, 2, 1));
    b.GetCanvas()->SetPixels(3, 0, k.color);
    EXPECT_EQ(b.ScanLine(0)[0], k.index) << std::hex << k.color;
    EXPECT_EQ(b.ScanLine(0)[1], k.index) << std::hex << k.color;
    EXPECT_EQ(b.ScanLine(0)[2], 0);
    EXPECT_EQ(b.ScanLine(0)[3], k.index) << std::hex << k.color;
  }

  // pmNot inverts the index, pmXor combines indexes: drawing twice restores.
  TBitmap b;
  MakePaletted(b, 10, 10);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(RGBColor(128, 128, 128));
  c->FillRect(Rect(0, 0, 10, 10));  // index 4
  c->GetPen()->SetMode(pmNot);
  c->GetBrush()->SetStyle(bsClear);
  c->Rectangle(0, 0, 10, 10);
  EXPECT_EQ(b.ScanLine(0)[0], 255 - 4);
  EXPECT_EQ(c->GetPixels(0, 0), RGBColor(10, 10, 10));  // read back as the palette colour
  EXPECT_EQ(b.ScanLine(5)[5], 4);
  c->GetPen()->SetMode(pmXor);
  c->GetPen()->SetColor(RGBColor(0, 0, 200));  // index 3
  c->MoveTo(0, 5);
  c->LineTo(10, 5);
  EXPECT_EQ(b.ScanLine(5)[5], 4 ^ 3);
  EXPECT_EQ(b.ScanLine(5)[0], (255 - 4) ^ 3);
  c->MoveTo(0, 5);
  c->LineTo(10, 5);
  EXPECT_EQ(b.ScanLine(5)[5], 4);

  // A copy through an invert operation works on indexes as well.
  TBitmap src;
  MakePaletted(src, 2, 2);
  src.ScanLine(0)[0] = 2;
  c->SetCopyMode(cmSrcInvert);
  c->Draw(5, 5, &src);
  EXPECT_EQ(b.ScanLine(5)[5], 4 ^ 2);
  EXPECT_EQ(b.ScanLine(6)[6], 4);  // index 0 leaves the pixel
}

// The same drawing on any surface: shapes, hatches, dashes, a flood fill and copied bitmaps, in
// colours all palettes here hold.
void DrawScene(TBitmap& b) {
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, b.GetWidth(), b.GetHeight()));
  c->GetPen()->SetColor(clRed);
  c->GetPen()->SetWidth(3);
  c->GetBrush()->SetColor(clBlue);
  c->Rectangle(5, 5, 60, 40);
  c->GetPen()->SetWidth(1);
  c->GetPen()->SetColor(clBlack);
  c->GetBrush()->SetStyle(bsDiagCross);
  c->GetBrush()->SetColor(clLime);
  c->Ellipse(50, 20, 120, 90);
  c->GetPen()->SetStyle(psDash);
  c->MoveTo(0, 95);
  c->LineTo(130, 60);
  c->GetPen()->SetStyle(psSolid);
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clYellow);
  const TPoint tri[3] = {{10, 60}, {45, 95}, {5, 95}};
  c->Polygon(tri, 3);
  c->RoundRect(70, 2, 125, 18, 12, 12);
  c->Pie(5, 100, 60, 150, 60, 100, 5, 125);
  c->GetBrush()->SetColor(clFuchsia);
  c->FloodFill(80, 50, clBlack, fsBorder);
  TBitmap chip;
  Make(chip, 20, 10, clAqua);
  chip.GetCanvas()->GetBrush()->SetColor(clBlack);
  chip.GetCanvas()->FillRect(Rect(5, 2, 15, 8));
  c->Draw(70, 110, &chip);
  TBitmap mono;
  Make(mono, 8, 8, clWhite, pf1bit);
  mono.GetCanvas()->GetPen()->SetColor(clBlack);
  mono.GetCanvas()->MoveTo(0, 0);
  mono.GetCanvas()->LineTo(8, 8);
  c->StretchDraw(Rect(95, 105, 127, 137), &mono);
}

TEST(CanvasPalette, SceneOnPaletteBitmapsMatchesTrueColour) {
  TBitmap rgb;
  rgb.Allocate(130, 155, pf24bit);
  DrawScene(rgb);
  // 8 bits with a palette that holds the scene's colours among others; 4 bits with the VGA
  // palette, which holds them too.
  TBitmap pal8;
  pal8.Allocate(130, 155, pf8bit);
  TRGBQuad pal[256];
  for (int i = 0; i < 256; ++i) pal[i] = TRGBQuad{uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29), 0};
  const TColor used[] = {clWhite, clRed, clBlue, clBlack, clLime, clYellow, clFuchsia, clAqua};
  for (int i = 0; i < 8; ++i) pal[40 + 20 * i] = TRGBQuad{GetBValue(used[i]), GetGValue(used[i]), GetRValue(used[i]), 0};
  pal8.SetPalette(pal, 256);
  TBitmap pal4;
  pal4.Allocate(130, 155, pf4bit);
  DrawScene(pal8);
  DrawScene(pal4);
  int differ8 = 0, differ4 = 0;
  for (int y = 0; y < rgb.GetHeight(); ++y)
    for (int x = 0; x < rgb.GetWidth(); ++x) {
      const TColor want = Px(rgb, x, y);
      differ8 += Px(pal8, x, y) != want;
      differ4 += Px(pal4, x, y) != want;
    }
  EXPECT_EQ(differ8, 0);
  EXPECT_EQ(differ4, 0);
  EXPECT_GT(Count(rgb, clFuchsia), 500);  // the flood fill reached the ellipse's inside

  // Anti-aliased text blends toward the palette's entries: on a grey ramp its edges are greys.
  TBitmap grey;
  Make(grey, 200, 40, clWhite, pf8bit);  // the default 8-bit palette is the grey ramp
  grey.GetCanvas()->GetFont()->SetHeight(-20);
  grey.GetCanvas()->GetBrush()->SetStyle(bsClear);
  grey.GetCanvas()->TextOut(5, 5, "Palette");
  int ink = 0, edges = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint8_t v = grey.ScanLine(y)[x];
      ink += v != 255;
      edges += v != 255 && v != 0;
    }
  EXPECT_GT(ink, 100);
  EXPECT_GT(edges, 20);

  // The pictures, to look at.
  TBitmap sheet;
  Make(sheet, 3 * 140, 230, clSilver);
  sheet.GetCanvas()->Draw(0, 0, &rgb);
  sheet.GetCanvas()->Draw(140, 0, &pal8);
  sheet.GetCanvas()->Draw(280, 0, &pal4);
  sheet.GetCanvas()->Draw(0, 165, &grey);
  TBitmap ring;
  DrawRing(ring);
  ring.GetCanvas()->GetBrush()->SetStyle(bsDiagCross);
  ring.GetCanvas()->GetBrush()->SetColor(clRed);
  ring.GetCanvas()->FloodFill(15, 13, clBlack, fsBorder);
  sheet.GetCanvas()->Draw(210, 160, &ring);
  EXPECT_TRUE(SaveBmp(sheet, OutPath("canvas_fill.bmp")));
}

}  // namespace
}  // namespace corvex
