// Rounded rectangles, pies and chords of the canvas, against the shapes they are made of:
// rectangles and ellipses of the same box, and each other.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

using Pixels = std::set<std::pair<int, int>>;

Pixels Inked(const TBitmap& b, TColor ink) {
  Pixels s;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      if (Raw(b, x, y) == ink) s.insert({x, y});
  return s;
}

// Draws with a black 1-pixel pen and a red brush on white, returns (fill, outline) pixels.
template <class Draw>
std::pair<Pixels, Pixels> Shape(int w, int h, Draw&& draw, int penWidth = 1) {
  TBitmap b;
  Make(b, w, h, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetWidth(penWidth);
  c->GetBrush()->SetColor(clRed);
  draw(c);
  return {Inked(b, clRed), Inked(b, clBlack)};
}

Pixels Union(const std::pair<Pixels, Pixels>& p) {
  Pixels u = p.first;
  u.insert(p.second.begin(), p.second.end());
  return u;
}

TEST(CanvasShapes, RoundRectBetweenRectangleAndEllipse) {
  // No rounding is the rectangle; rounding as large as the box is the ellipse, pixel for pixel.
  for (int pen : {1, 3}) {
    EXPECT_EQ(Shape(30, 30, [](TCanvas* c) { c->RoundRect(3, 4, 25, 21, 0, 0); }, pen),
              Shape(30, 30, [](TCanvas* c) { c->Rectangle(3, 4, 25, 21); }, pen));
    EXPECT_EQ(Shape(30, 30, [](TCanvas* c) { c->RoundRect(3, 4, 25, 21, 22, 17); }, pen),
              Shape(30, 30, [](TCanvas* c) { c->Ellipse(3, 4, 25, 21); }, pen))
        << "pen " << pen;
    // Corners larger than the box are cut to it.
    EXPECT_EQ(Shape(30, 30, [](TCanvas* c) { c->RoundRect(3, 4, 25, 21, 200, 170); }, pen),
              Shape(30, 30, [](TCanvas* c) { c->Ellipse(3, 4, 25, 21); }, pen));
  }
  // Right and bottom edges are excluded; the corners are cut, the edges between them straight.
  const auto rr = Shape(40, 30, [](TCanvas* c) { c->RoundRect(5, 5, 35, 25, 10, 8); });
  const Pixels all = Union(rr);
  int minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (auto [x, y] : all) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  EXPECT_EQ(minX, 5);
  EXPECT_EQ(maxX, 34);
  EXPECT_EQ(minY, 5);
  EXPECT_EQ(maxY, 24);
  EXPECT_EQ(all.count({5, 5}), 0u);
  EXPECT_EQ(all.count({34, 24}), 0u);
  for (int x = 10; x < 30; ++x) EXPECT_TRUE(rr.second.count({x, 5}) && rr.second.count({x, 24})) << x;
  for (int y = 9; y < 21; ++y) EXPECT_TRUE(rr.second.count({5, y}) && rr.second.count({34, y})) << y;
  // Symmetric about both axes of the box.
  for (auto [x, y] : all) {
    EXPECT_TRUE(all.count({39 - x, y})) << x << "," << y;
    EXPECT_TRUE(all.count({x, 29 - y})) << x << "," << y;
  }
  // The outline is drawn once: an xor pen twice restores the picture, with any width or dash.
  for (TPenStyle style : {psSolid, psDash}) {
    for (int width : {1, 4}) {
      TBitmap b;
      Make(b, 40, 30, clWhite);
      Noise(b);
      const auto before = Bytes(b);
      TCanvas* c = b.GetCanvas();
      c->GetPen()->SetMode(pmXor);
      c->GetPen()->SetStyle(style);
      c->GetPen()->SetWidth(width);
      c->GetPen()->SetColor(clWhite);
      c->GetBrush()->SetColor(clBlue);
      c->RoundRect(4, 3, 36, 27, 12, 9);
      EXPECT_NE(Bytes(b), before);
      c->RoundRect(4, 3, 36, 27, 12, 9);
      EXPECT_EQ(Bytes(b), before) << width;
    }
  }
}

TEST(CanvasShapes, PiesCutTheEllipseIntoSectors) {
  // A whole turn (equal rays) covers the ellipse; four quarter pies cover it without overlap.
  const auto whole = Shape(40, 40, [](TCanvas* c) { c->Ellipse(4, 4, 36, 36); });
  const Pixels ellipse = Union(whole);
  const auto full = Shape(40, 40, [](TCanvas* c) { c->Pie(4, 4, 36, 36, 40, 20, 40, 20); });
  EXPECT_EQ(Union(full), ellipse);
  EXPECT_EQ(full.first.size() + full.second.size(), ellipse.size());

  // Quarters from the right ray counter-clockwise: upper right, upper left, lower left, lower right.
  const int rays[5][2] = {{40, 20}, {20, 0}, {0, 20}, {20, 40}, {40, 20}};
  Pixels covered;
  size_t total = 0;
  for (int q = 0; q < 4; ++q) {
    TBitmap b;
    Make(b, 40, 40, clWhite);
    TCanvas* c = b.GetCanvas();
    c->GetPen()->SetStyle(psClear);
    c->GetBrush()->SetColor(clRed);
    c->Pie(4, 4, 36, 36, rays[q][0], rays[q][1], rays[q + 1][0], rays[q + 1][1]);
    const Pixels p = Inked(b, clRed);
    for (auto [x, y] : p) {
      // The quadrant of the pixel's centre relative to the centre (20, 20).
      const bool right = x >= 20, up = y <= 19;
      EXPECT_TRUE(q == 0 ? right && up : q == 1 ? !right && up : q == 2 ? !right && !up : right && !up)
          << q << ": " << x << "," << y;
    }
    total += p.size();
    covered.insert(p.begin(), p.end());
  }
  // No pixel centre lies on a ray: the quarters share nothing and make the ellipse's inside.
  TBitmap e;
  Make(e, 40, 40, clWhite);
  e.GetCanvas()->GetPen()->SetStyle(psClear);
  e.GetCanvas()->GetBrush()->SetColor(clRed);
  e.GetCanvas()->Ellipse(4, 4, 36, 36);
  EXPECT_EQ(covered, Inked(e, clRed));
  EXPECT_EQ(total, covered.size());

  // The outline: the arc plus the radii to the centre, one pixel wide, drawn once.
  const auto quarter = Shape(40, 40, [](TCanvas* c) { c->Pie(4, 4, 36, 36, 40, 20, 20, 0); });
  EXPECT_TRUE(quarter.second.count({20, 20}) || quarter.second.count({19, 19}) || quarter.second.count({20, 19}));
  for (int x = 22; x < 34; ++x) EXPECT_TRUE(quarter.second.count({x, 20})) << x;  // the right radius
  for (int y = 6; y < 18; ++y) EXPECT_TRUE(quarter.second.count({20, y})) << y;   // the upper one
  TBitmap b;
  Make(b, 40, 40, clWhite);
  Noise(b);
  const auto before = Bytes(b);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetMode(pmXor);
  c->GetPen()->SetColor(clWhite);
  c->Pie(4, 4, 36, 36, 40, 30, 5, 0);
  c->Pie(4, 4, 36, 36, 40, 30, 5, 0);
  EXPECT_EQ(Bytes(b), before);
}

TEST(CanvasShapes, ChordsKeepTheArcsSideOfTheChord) {
  // The upper half: counter-clockwise from the right ray to the left one.
  TBitmap b;
  Make(b, 40, 40, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetStyle(psClear);
  c->GetBrush()->SetColor(clRed);
  c->Chord(4, 4, 36, 36, 40, 20, 0, 20);
  const Pixels upper = Inked(b, clRed);
  for (auto [x, y] : upper) EXPECT_LT(y, 20) << x << "," << y;
  // With the other half it makes the ellipse.
  Make(b, 40, 40, clWhite);
  c->Chord(4, 4, 36, 36, 0, 20, 40, 20);
  Pixels both = Inked(b, clRed);
  for (auto [x, y] : both) EXPECT_GE(y, 20) << x << "," << y;
  both.insert(upper.begin(), upper.end());
  Make(b, 40, 40, clWhite);
  c->Ellipse(4, 4, 36, 36);
  EXPECT_EQ(both, Inked(b, clRed));

  // A small chord is inside the pie of the same rays; its outline closes with a straight line.
  const auto chord = Shape(40, 40, [](TCanvas* c) { c->Chord(4, 4, 36, 36, 40, 0, 0, 0); });
  const auto pie = Shape(40, 40, [](TCanvas* c) { c->Pie(4, 4, 36, 36, 40, 0, 0, 0); });
  const Pixels cu = Union(chord), pu = Union(pie);
  for (auto p : cu) EXPECT_TRUE(pu.count(p)) << p.first << "," << p.second;
  EXPECT_LT(cu.size(), pu.size());
  // The chord from (about) (31, 9) to (9, 9): a horizontal run of outline on row 9 or 8.
  int run = 0;
  for (int x = 12; x < 28; ++x) run += chord.second.count({x, 9}) || chord.second.count({x, 8});
  EXPECT_EQ(run, 16);
  // Nothing outside the box, whatever the pen.
  for (int width : {1, 3}) {
    const Pixels all = Union(Shape(40, 40, [](TCanvas* c) { c->Chord(8, 8, 32, 30, 39, 1, 1, 39); }, width));
    for (auto [x, y] : all) {
      EXPECT_GE(x, 8 - 1);
      EXPECT_LT(x, 32 + 1);
      EXPECT_GE(y, 8 - 1);
      EXPECT_LT(y, 30 + 1);
    }
  }
}

TEST(CanvasShapes, HugeShapesOnlyCostTheirVisiblePart) {
  TBitmap b;
  Make(b, 64, 64, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(clRed);
  c->RoundRect(-1000000000, -1000000000, 1000000000, 1000000000, 400000000, 400000000);
  EXPECT_EQ(Raw(b, 32, 32), clRed);
  c->Pie(-1000000000, -1000000000, 1000000000, 1000000000, 1000000000, 0, -1000000000, 0);
  c->Chord(-1000000000, -1000000000, 1000000000, 1000000000, 1000000000, 5, -1000000000, 5);
  c->GetPen()->SetWidth(9);
  c->RoundRect(-100000, -100000, 100000, 100000, 50000, 50000);
  SUCCEED();
}

}  // namespace
}  // namespace corvex
