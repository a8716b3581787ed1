// Lines, shapes, fills, hatches and pen modes of the canvas, pinned at the pixel level.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

std::set<std::pair<int, int>> Inked(const TBitmap& b, TColor ink) {
  std::set<std::pair<int, int>> s;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      if (Raw(b, x, y) == ink) s.insert({x, y});
  return s;
}

void Walk(int x, int y, void* data) { static_cast<std::vector<std::pair<int, int>>*>(data)->push_back({x, y}); }

TEST(CanvasLines, EndPointIsExcludedAndChainsDrawEveryVertexOnce) {
  TBitmap b;
  Make(b, 12, 12, clWhite);
  TCanvas* c = b.GetCanvas();
  c->MoveTo(2, 5);
  c->LineTo(8, 5);
  EXPECT_EQ(Inked(b, clBlack), (std::set<std::pair<int, int>>{{2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}));
  EXPECT_EQ(c->GetPenPos(), Point(8, 5));

  // A closed chain in xor mode: a vertex drawn twice would cancel out.
  Fill(b, clBlack);
  c->GetPen()->SetMode(pmXor);
  c->GetPen()->SetColor(clWhite);
  c->MoveTo(1, 1);
  c->LineTo(9, 1);
  c->LineTo(9, 9);
  c->LineTo(1, 9);
  c->LineTo(1, 1);
  EXPECT_EQ(Count(b, clWhite), 32) << Picture(b, clWhite);
  for (auto [x, y] : {std::pair{1, 1}, {9, 1}, {9, 9}, {1, 9}}) EXPECT_EQ(Raw(b, x, y), clWhite) << x << "," << y;
}

TEST(CanvasLines, BresenhamPixelsAndTheLineWalkerAgree) {
  // (0,0)-(4,2): the minor offset is i/2 rounded, halves toward the start.
  std::vector<std::pair<int, int>> walked;
  LineDDA(0, 0, 4, 2, &Walk, &walked);
  EXPECT_EQ(walked, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
  walked.clear();
  LineDDA(3, 3, 3, 3, &Walk, &walked);
  EXPECT_TRUE(walked.empty());

  // Every line the canvas draws is the walker's pixel list, in every octant.
  const int ends[][2] = {{13, 4}, {4, 13}, {-9, 5}, {-5, 13}, {-13, -4}, {-3, -13}, {11, -6}, {6, -11}, {10, 10}, {0, -12}};
  for (const auto& e : ends) {
    TBitmap b;
    Make(b, 40, 40, clWhite);
    TCanvas* c = b.GetCanvas();
    c->MoveTo(20, 20);
    c->LineTo(20 + e[0], 20 + e[1]);
    walked.clear();
    LineDDA(20, 20, 20 + e[0], 20 + e[1], &Walk, &walked);
    std::set<std::pair<int, int>> expect(walked.begin(), walked.end());
    EXPECT_EQ(Inked(b, clBlack), expect) << e[0] << "," << e[1];
    EXPECT_EQ(walked.size(), size_t(std::max(std::abs(e[0]), std::abs(e[1]))));
    EXPECT_EQ(walked.front(), std::make_pair(20, 20));
  }
}

TEST(CanvasLines, WidePensGrowSymmetricallyWithRoundEnds) {
  TBitmap b;
  Make(b, 30, 20, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetWidth(3);
  c->MoveTo(5, 10);
  c->LineTo(15, 10);
  // The 1-pixel line is x = 5 .. 14 on row 10; a 3-pixel pen covers one pixel more on each side.
  for (int x = 4; x <= 15; ++x)
    for (int y = 9; y <= 11; ++y) EXPECT_EQ(Raw(b, x, y), clBlack) << x << "," << y;
  EXPECT_EQ(Count(b, clBlack), 12 * 3);

  // Width 5 has round ends: the corners of the 5 x 5 stamp stay clear.
  Fill(b, clWhite);
  c->GetPen()->SetWidth(5);
  c->MoveTo(10, 10);
  c->LineTo(11, 10);
  EXPECT_EQ(Picture(b, clBlack).substr(0, 1), "\n");
  EXPECT_EQ(Raw(b, 8, 8), clWhite);
  EXPECT_EQ(Raw(b, 12, 12), clWhite);
  EXPECT_EQ(Raw(b, 8, 9), clBlack);
  EXPECT_EQ(Raw(b, 10, 8), clBlack);
  EXPECT_EQ(Raw(b, 10, 12), clBlack);
  EXPECT_EQ(Count(b, clBlack), 21);

  // An even width puts its extra pixel below the line.
  Fill(b, clWhite);
  c->GetPen()->SetWidth(2);
  c->MoveTo(5, 10);
  c->LineTo(15, 10);
  EXPECT_EQ(Raw(b, 7, 9), clWhite);
  EXPECT_EQ(Raw(b, 7, 10), clBlack);
  EXPECT_EQ(Raw(b, 7, 11), clBlack);
  EXPECT_EQ(Raw(b, 7, 12), clWhite);
}

TEST(CanvasLines, DashPatternsAndTheirContinuation) {
  TBitmap b;
  Make(b, 80, 4, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetStyle(psDot);
  c->MoveTo(0, 1);
  c->LineTo(24, 1);
  std::string row;
  for (int x = 0; x < 24; ++x) row += Raw(b, x, 1) == clBlack ? '#' : '.';
  EXPECT_EQ(row, "###...###...###...###...");

  // psDash: 18 on, 6 off, continued across LineTo calls.
  Fill(b, clWhite);
  c->GetPen()->SetStyle(psDash);
  c->MoveTo(0, 2);
  c->LineTo(10, 2);
  c->LineTo(30, 2);
  row.clear();
  for (int x = 0; x < 30; ++x) row += Raw(b, x, 2) == clBlack ? '#' : '.';
  EXPECT_EQ(row, "##################......######");

  // psClear draws nothing; MoveTo restarts the pattern.
  Fill(b, clWhite);
  c->GetPen()->SetStyle(psClear);
  c->MoveTo(0, 0);
  c->LineTo(50, 0);
  EXPECT_EQ(Count(b, clBlack), 0);
}

TEST(CanvasShapes, RectangleAndFillsExcludeRightAndBottomEdges) {
  TBitmap b;
  Make(b, 10, 8, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(clRed);
  c->Rectangle(2, 2, 8, 6);
  EXPECT_EQ(Picture(b, clBlack), Rows({"..........", "..........", "..######..", "..#....#..", "..#....#..",
                                       "..######..", "..........", ".........."}));
  EXPECT_EQ(Count(b, clRed), 8);
  EXPECT_EQ(Raw(b, 3, 3), clRed);

  // FillRect covers x1 .. x2-1, y1 .. y2-1 and ignores the pen and its mode.
  Fill(b, clWhite);
  c->GetPen()->SetMode(pmNot);
  c->GetBrush()->SetColor(clBlue);
  c->FillRect(Rect(1, 1, 4, 3));
  EXPECT_EQ(Count(b, clBlue), 6);
  EXPECT_EQ(Raw(b, 4, 1), clWhite);
  EXPECT_EQ(Raw(b, 1, 3), clWhite);
  c->FillRect(Rect(5, 5, 5, 7));  // empty
  c->FillRect(Rect(7, 5, 6, 7));  // reversed: empty
  EXPECT_EQ(Count(b, clBlue), 6);

  // FrameRect: a one-pixel border drawn with the brush.
  Fill(b, clWhite);
  c->GetBrush()->SetColor(clGreen);
  c->FrameRect(Rect(1, 1, 5, 4));
  EXPECT_EQ(Picture(b, clGreen), Rows({"..........", ".####.....", ".#..#.....", ".####.....", "..........",
                                       "..........", "..........", ".........."}));

  // A clear pen fills the whole rectangle; a clear brush leaves the inside alone.
  Fill(b, clWhite);
  c->GetPen()->SetMode(pmCopy);
  c->GetPen()->SetStyle(psClear);
  c->GetBrush()->SetColor(clRed);
  c->Rectangle(0, 0, 3, 2);
  EXPECT_EQ(Count(b, clRed), 6);
  c->GetPen()->SetStyle(psSolid);
  c->GetBrush()->SetStyle(bsClear);
  c->Rectangle(0, 0, 3, 3);
  EXPECT_EQ(Count(b, clBlack), 8);
  EXPECT_EQ(Raw(b, 1, 1), clRed);
}

TEST(CanvasShapes, HatchBrushesAreAnchoredAtTheCanvasOriginAndTransparent) {
  struct Case {
    TBrushStyle style;
    bool (*on)(int x, int y);
  } cases[] = {
      {bsHorizontal, [](int, int y) { return y % 8 == 4; }},
      {bsVertical, [](int x, int) { return x % 8 == 4; }},
      {bsFDiagonal, [](int x, int y) { return (x - y) % 8 == 0; }},
      {bsBDiagonal, [](int x, int y) { return (x + y) % 8 == 7; }},
      {bsCross, [](int x, int y) { return x % 8 == 4 || y % 8 == 4; }},
      {bsDiagCross, [](int x, int y) { return (x - y) % 8 == 0 || (x + y) % 8 == 7; }},
  };
  for (TPixelFormat f : {pf24bit, pf1bit, pf32bit}) {
    for (const Case& k : cases) {
      TBitmap b;
      Make(b, 24, 20, clWhite, f);
      TCanvas* c = b.GetCanvas();
      c->GetBrush()->SetStyle(k.style);
      c->GetBrush()->SetColor(clBlack);
      // Two fills starting at different offsets give one seamless pattern.
      c->FillRect(Rect(3, 5, 13, 19));
      c->FillRect(Rect(13, 5, 21, 19));
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) {
          const bool inside = x >= 3 && x < 21 && y >= 5 && y < 19;
          const TColor want = inside && k.on(x + 64, y + 64) ? clBlack : clWhite;
          ASSERT_EQ(Raw(b, x, y), want) << "style " << k.style << " format " << f << " at " << x << "," << y;
        }
    }
  }
}

TEST(CanvasShapes, PenModesFollowTheirTruthTables) {
  // For a pen colour P and pixel D per bit: the 16 classic combinations.
  const uint8_t P = 0xC5, D = 0x3A;
  auto expect = [&](TPenMode m) -> uint8_t {
    switch (m) {
      case pmBlack: return 0x00;
      case pmWhite: return 0xFF;
      case pmNop: return D;
      case pmNot: return uint8_t(~D);
      case pmCopy: return P;
      case pmNotCopy: return uint8_t(~P);
      case pmMergePenNot: return uint8_t(P | ~D);
      case pmMaskPenNot: return uint8_t(P & ~D);
      case pmMergeNotPen: return uint8_t(~P | D);
      case pmMaskNotPen: return uint8_t(~P & D);
      case pmMerge: return uint8_t(P | D);
      case pmNotMerge: return uint8_t(~(P | D));
      case pmMask: return uint8_t(P & D);
      case pmNotMask: return uint8_t(~(P & D));
      case pmXor: return uint8_t(P ^ D);
      case pmNotXor: return uint8_t(~(P ^ D));
    }
    return 0;
  };
  for (int m = pmBlack; m <= pmNotXor; ++m) {
    TBitmap b;
    Make(b, 4, 1, RGBColor(D, D, D));
    TCanvas* c = b.GetCanvas();
    c->GetPen()->SetMode(TPenMode(m));
    c->GetPen()->SetColor(RGBColor(P, P, P));
    c->MoveTo(0, 0);
    c->LineTo(3, 0);
    const uint8_t e = expect(TPenMode(m));
    EXPECT_EQ(Raw(b, 1, 0), RGBColor(e, e, e)) << "mode " << m;
    EXPECT_EQ(Raw(b, 3, 0), RGBColor(D, D, D)) << "mode " << m;
  }
}

TEST(CanvasShapes, NotModeDrawnTwiceRestoresEveryPixel) {
  for (TPixelFormat f : {pf24bit, pf1bit, pf32bit}) {
    TBitmap b(64, 48, f);
    Noise(b);
    const std::vector<uint8_t> before = Bytes(b);
    TCanvas* c = b.GetCanvas();
    c->GetPen()->SetMode(pmNot);
    c->GetBrush()->SetStyle(bsSolid);
    const TPoint star[5] = {{32, 2}, {44, 40}, {12, 16}, {52, 16}, {20, 40}};
    for (int pass = 0; pass < 2; ++pass) {
      for (int w : {1, 4}) {
        c->GetPen()->SetWidth(w);
        c->Rectangle(3, 3, 30, 20);
        c->Ellipse(10, 8, 60, 46);
        c->Polygon(star, 5);
        c->Polyline(star, 5);
        c->MoveTo(0, 47);
        c->LineTo(63, 0);
        c->GetPen()->SetStyle(psDashDot);
        c->Arc(5, 5, 55, 40, 60, 20, 0, 0);
        c->GetPen()->SetStyle(psSolid);
      }
      if (pass == 0) {
        EXPECT_NE(Bytes(b), before);
      }
    }
    EXPECT_EQ(Bytes(b), before) << "format " << f;
  }
}

TEST(CanvasShapes, EllipseStaysInsideItsBoxAndIsSymmetric) {
  TBitmap b;
  Make(b, 16, 12, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(clRed);
  c->Ellipse(2, 1, 12, 11);  // 10 x 10
  int minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) {
      const TColor p = Raw(b, x, y);
      if (p == clWhite) continue;
      minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      EXPECT_EQ(Raw(b, 13 - x, y), p) << "mirror x at " << x << "," << y;
      EXPECT_EQ(Raw(b, x, 11 - y), p) << "mirror y at " << x << "," << y;
    }
  EXPECT_EQ(minX, 2);
  EXPECT_EQ(maxX, 11);
  EXPECT_EQ(minY, 1);
  EXPECT_EQ(maxY, 10);
  EXPECT_EQ(Raw(b, 7, 6), clRed);
  EXPECT_EQ(Raw(b, 2, 1), clWhite);  // corners of the box stay clear

  // Small ellipses: 1 x 1 is one pixel; 4 x 4 is the square without its corners.
  Fill(b, clWhite);
  c->GetPen()->SetStyle(psClear);
  c->Ellipse(0, 0, 1, 1);
  EXPECT_EQ(Count(b, clRed), 1);
  Fill(b, clWhite);
  c->Ellipse(4, 4, 8, 8);
  EXPECT_EQ(Count(b, clRed), 12);
  EXPECT_EQ(Raw(b, 4, 4), clWhite);
  EXPECT_EQ(Raw(b, 5, 4), clRed);

  // The 1-pixel outline is an 8-connected ring: every outline pixel has exactly two outline
  // neighbours.
  Fill(b, clWhite);
  c->GetPen()->SetStyle(psSolid);
  c->GetBrush()->SetStyle(bsClear);
  c->Ellipse(1, 1, 15, 11);
  for (auto [x, y] : Inked(b, clBlack)) {
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if ((dx || dy) && x + dx >= 0 && y + dy >= 0 && x + dx < 16 && y + dy < 12) n += Raw(b, x + dx, y + dy) == clBlack;
    EXPECT_GE(n, 2) << x << "," << y;
    EXPECT_LE(n, 3) << x << "," << y;
  }
}

TEST(CanvasShapes, ArcsKeepTheirSweep) {
  TBitmap b;
  Make(b, 41, 41, clWhite);
  TCanvas* c = b.GetCanvas();
  // Counter-clockwise from the ray to the right to the ray upward: the top-right quarter.
  c->Arc(0, 0, 41, 41, 40, 20, 20, 0);
  const auto ink = Inked(b, clBlack);
  ASSERT_FALSE(ink.empty());
  for (auto [x, y] : ink) {
    EXPECT_GE(x, 20) << x << "," << y;
    EXPECT_LE(y, 20) << x << "," << y;
  }
  EXPECT_TRUE(ink.count({40, 20}) || ink.count({40, 19}));
  // Equal rays draw the whole ellipse.
  Fill(b, clWhite);
  c->Arc(0, 0, 41, 41, 40, 20, 40, 20);
  TBitmap e;
  Make(e, 41, 41, clWhite);
  e.GetCanvas()->GetBrush()->SetStyle(bsClear);
  e.GetCanvas()->Ellipse(0, 0, 41, 41);
  EXPECT_EQ(Inked(b, clBlack), Inked(e, clBlack));
}

TEST(CanvasShapes, PolygonFillRulesAndCentreSampling) {
  TBitmap b;
  Make(b, 12, 12, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetStyle(psClear);
  c->GetBrush()->SetColor(clBlack);
  // Vertices are pixel corners: the square (1,1)-(9,9) fills exactly 8 x 8 pixels.
  const TPoint sq[4] = {{1, 1}, {9, 1}, {9, 9}, {1, 9}};
  c->Polygon(sq, 4);
  EXPECT_EQ(Count(b, clBlack), 64);
  EXPECT_EQ(Raw(b, 9, 5), clWhite);
  EXPECT_EQ(Raw(b, 8, 8), clBlack);

  // Two squares wound the same way: alternate leaves the inner one a hole, winding fills it.
  const TPoint two[8] = {{0, 0}, {12, 0}, {12, 12}, {0, 12}, {4, 4}, {8, 4}, {8, 8}, {4, 8}};
  const int counts[2] = {4, 4};
  Fill(b, clWhite);
  c->PolyPolygon(two, counts, 2);
  EXPECT_EQ(Count(b, clBlack), 144 - 16);
  EXPECT_EQ(Raw(b, 5, 5), clWhite);
  Fill(b, clWhite);
  c->SetPolyFillMode(fmWinding);
  c->PolyPolygon(two, counts, 2);
  EXPECT_EQ(Count(b, clBlack), 144);
  // Wound the other way the inner square is a hole under both rules.
  const TPoint rev[8] = {{0, 0}, {12, 0}, {12, 12}, {0, 12}, {4, 4}, {4, 8}, {8, 8}, {8, 4}};
  Fill(b, clWhite);
  c->PolyPolygon(rev, counts, 2);
  EXPECT_EQ(Count(b, clBlack), 144 - 16);

  // A pentagram: its centre is a hole even-odd, filled when winding.
  TBitmap s;
  Make(s, 64, 64, clWhite);
  TCanvas* sc = s.GetCanvas();
  sc->GetPen()->SetStyle(psClear);
  sc->GetBrush()->SetColor(clBlack);
  const TPoint star[5] = {{32, 2}, {50, 60}, {3, 23}, {61, 23}, {14, 60}};
  sc->Polygon(star, 5);
  EXPECT_EQ(Raw(s, 32, 34), clWhite);
  EXPECT_EQ(Raw(s, 32, 10), clBlack);
  sc->SetPolyFillMode(fmWinding);
  sc->Polygon(star, 5);
  EXPECT_EQ(Raw(s, 32, 34), clBlack);

  // With a pen, the outline runs along the vertices (the right and bottom edges included) and
  // the brush fills inside it.
  Fill(b, clWhite);
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetColor(clRed);
  c->GetBrush()->SetColor(clBlue);
  const TPoint small[4] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
  c->Polygon(small, 4);
  EXPECT_EQ(Count(b, clRed), 14);
  EXPECT_EQ(Count(b, clBlue), 6);
  EXPECT_EQ(Raw(b, 5, 4), clRed);
}

TEST(CanvasShapes, OneBitAnd32BitTargets) {
  TBitmap m;
  Make(m, 20, 3, clWhite, pf1bit);
  TCanvas* c = m.GetCanvas();
  c->GetPen()->SetColor(RGBColor(100, 100, 100));  // nearer to black
  c->MoveTo(3, 1);
  c->LineTo(17, 1);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(Raw(m, x, 1), x >= 3 && x < 17 ? clBlack : clWhite) << x;
  c->GetPen()->SetColor(RGBColor(128, 128, 128));  // r + g + b = 384: white
  c->MoveTo(5, 1);
  c->LineTo(9, 1);
  EXPECT_EQ(Raw(m, 6, 1), clWhite);
  // Padding bits past the width are not touched.
  m.ScanLine(0)[2] |= 0x0F;
  c->GetBrush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 20, 1));
  EXPECT_EQ(m.ScanLine(0)[2] & 0x0F, 0x0F);

  TBitmap q(4, 2, pf32bit);
  std::memset(q.Bits(), 0xAB, q.GetImageSize());
  q.GetCanvas()->GetBrush()->SetColor(RGBColor(1, 2, 3));
  q.GetCanvas()->FillRect(Rect(1, 0, 3, 1));
  const uint8_t* r = q.ScanLine(0);
  EXPECT_EQ(r[4], 3);
  EXPECT_EQ(r[5], 2);
  EXPECT_EQ(r[6], 1);
  EXPECT_EQ(r[7], 0);
  EXPECT_EQ(r[12], 0xAB);
  EXPECT_EQ(q.GetCanvas()->GetPixels(2, 0), RGBColor(1, 2, 3));
}

TEST(CanvasShapes, PixelsAndSystemColours) {
  TBitmap b;
  Make(b, 4, 4, clWhite);
  TCanvas* c = b.GetCanvas();
  c->SetPixels(1, 2, clRed);
  EXPECT_EQ(c->GetPixels(1, 2), clRed);
  EXPECT_EQ(c->GetPixels(-1, 0), CLR_INVALID);
  EXPECT_EQ(c->GetPixels(4, 0), CLR_INVALID);
  c->SetPixels(9, 9, clRed);  // ignored
  c->SetPixels(0, 0, clBtnFace);
  EXPECT_EQ(c->GetPixels(0, 0), ColorToRGB(clBtnFace));
  TBitmap g(2, 1, pf8bit);
  const TRGBQuad pal[2] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
  g.SetPalette(pal, 2);
  g.ScanLine(0)[1] = 1;
  EXPECT_EQ(g.GetCanvas()->GetPixels(1, 0), RGBColor(60, 50, 40));
  g.GetCanvas()->SetPixels(0, 0, clWhite);  // the nearest palette entry
  EXPECT_EQ(g.ScanLine(0)[0], 1);
}

TEST(CanvasShapes, HugeCoordinatesFinishQuickly) {
  TBitmap b;
  Make(b, 50, 50, clWhite);
  TCanvas* c = b.GetCanvas();
  const auto t0 = std::chrono::steady_clock::now();
  c->MoveTo(-1000000000, 25);
  c->LineTo(1000000000, 25);
  c->GetPen()->SetWidth(3);
  c->GetPen()->SetStyle(psDash);
  c->MoveTo(-1000000000, -1000000000);
  c->LineTo(1000000000, 1000000000);
  c->GetPen()->SetStyle(psSolid);
  c->Rectangle(-1000000000, -1000000000, 1000000000, 1000000000);
  c->Ellipse(-1000000000, -1000000000, 1000000000, 1000000000);
  const TPoint p[3] = {{-1000000000, -1000000000}, {1000000000, 0}, {0, 1000000000}};
  c->Polygon(p, 3);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(secs, 2.0);
  EXPECT_EQ(Raw(b, 10, 25), clWhite);  // inside the huge rectangle: brush colour
}

TEST(CanvasShapes, DrawingMarksTheBitmapModified) {
  TBitmap b;
  Make(b, 5, 5, clWhite);
  b.SetModified(false);
  b.GetCanvas()->SetPixels(1, 1, clRed);
  EXPECT_TRUE(b.GetModified());
  // A grown bitmap shows the brush colour in its new area and keeps the old pixels.
  b.GetCanvas()->GetBrush()->SetColor(clBlue);
  b.SetSize(8, 6);
  EXPECT_EQ(Raw(b, 1, 1), clRed);
  EXPECT_EQ(Raw(b, 4, 4), clWhite);
  EXPECT_EQ(Raw(b, 6, 1), clBlue);
  EXPECT_EQ(Raw(b, 1, 5), clBlue);
}

}  // namespace
}  // namespace corvex
