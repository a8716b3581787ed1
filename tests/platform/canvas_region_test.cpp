// Regions (rectangles, polygons, combinations) and the canvas clip region.
#include <gtest/gtest.h>

#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/region.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

// The pixels of a region inside a box, as a picture.
std::string RegionPicture(const TRegion& r, int w, int h) {
  std::string s = "\n";
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s += r.Contains(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST(Region, RectanglesAndPolygonsHoldTheSamePixels) {
  const TRegion r = TRegion::FromRect(2, 1, 6, 4);
  EXPECT_EQ(r.Area(), 12);
  EXPECT_EQ(r.GetBounds(), Rect(2, 1, 6, 4));
  EXPECT_TRUE(r.Contains(2, 1));
  EXPECT_TRUE(r.Contains(5, 3));
  EXPECT_FALSE(r.Contains(6, 3));
  EXPECT_FALSE(r.Contains(5, 4));
  EXPECT_EQ(TRegion::FromRect(6, 4, 2, 1), r);  // corners in any order
  EXPECT_TRUE(TRegion::FromRect(3, 3, 3, 9).IsEmpty());

  // Polygon vertices are pixel corners: the same rectangle as a polygon, either orientation and
  // either rule, is the same region.
  const TPoint cw[4] = {{2, 1}, {6, 1}, {6, 4}, {2, 4}};
  const TPoint ccw[4] = {{2, 1}, {2, 4}, {6, 4}, {6, 1}};
  EXPECT_EQ(TRegion::FromPolygon(cw, 4, fmAlternate), r);
  EXPECT_EQ(TRegion::FromPolygon(ccw, 4, fmWinding), r);
  EXPECT_TRUE(TRegion::FromPolygon(cw, 2, fmAlternate).IsEmpty());

  // A triangle: pixels whose centres lie inside.
  const TPoint tri[3] = {{0, 0}, {8, 0}, {0, 8}};
  EXPECT_EQ(RegionPicture(TRegion::FromPolygon(tri, 3, fmAlternate), 9, 9),
            Rows({"#######..", "######...", "#####....", "####.....", "###......", "##.......", "#........",
                  ".........", "........."}));
}

TEST(Region, EvenOddHolesAndWinding) {
  // A square with a smaller square inside, both clockwise.
  const TPoint pts[8] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {3, 3}, {7, 3}, {7, 7}, {3, 7}};
  const int counts[2] = {4, 4};
  const TRegion alt = TRegion::FromPolyPolygon(pts, counts, 2, fmAlternate);
  const TRegion wind = TRegion::FromPolyPolygon(pts, counts, 2, fmWinding);
  EXPECT_EQ(alt.Area(), 100 - 16);
  EXPECT_FALSE(alt.Contains(5, 5));
  EXPECT_TRUE(alt.Contains(2, 5));
  EXPECT_EQ(wind.Area(), 100);
  // The hole is exactly the difference.
  EXPECT_EQ(TRegion::Combine(TRegion::FromRect(0, 0, 10, 10), TRegion::FromRect(3, 3, 7, 7), RGN_DIFF), alt);

  // A self-overlapping bow: the overlap is a hole even-odd only.
  const TPoint bow[8] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {3, 3}, {9, 3}, {9, 9}, {3, 9}};
  const TRegion a = TRegion::FromPolyPolygon(bow, counts, 2, fmAlternate);
  const TRegion w = TRegion::FromPolyPolygon(bow, counts, 2, fmWinding);
  EXPECT_FALSE(a.Contains(4, 4));
  EXPECT_TRUE(w.Contains(4, 4));
  EXPECT_EQ(a.Area(), 36 + 36 - 2 * 9);
  EXPECT_EQ(w.Area(), 36 + 36 - 9);
}

TEST(Region, CombineOffsetAndCanonicalForm) {
  const TRegion a = TRegion::FromRect(0, 0, 6, 4);
  const TRegion b = TRegion::FromRect(3, 2, 9, 7);
  EXPECT_EQ(TRegion::Combine(a, b, RGN_AND), TRegion::FromRect(3, 2, 6, 4));
  EXPECT_EQ(TRegion::Combine(a, b, RGN_OR).Area(), 24 + 30 - 6);
  EXPECT_EQ(TRegion::Combine(a, b, RGN_XOR).Area(), 24 + 30 - 12);
  EXPECT_EQ(TRegion::Combine(a, b, RGN_DIFF).Area(), 18);
  EXPECT_EQ(TRegion::Combine(a, b, RGN_COPY), a);
  EXPECT_EQ(RegionPicture(TRegion::Combine(a, b, RGN_XOR), 10, 8),
            Rows({"######....", "######....", "###...###.", "###...###.", "...######.", "...######.",
                  "...######.", ".........."}));
  // Empty operands.
  const TRegion none;
  EXPECT_EQ(TRegion::Combine(a, none, RGN_OR), a);
  EXPECT_EQ(TRegion::Combine(none, a, RGN_XOR), a);
  EXPECT_TRUE(TRegion::Combine(a, none, RGN_AND).IsEmpty());
  EXPECT_TRUE(TRegion::Combine(none, a, RGN_DIFF).IsEmpty());

  // Pieces that make up a rectangle compare equal to it: the form is canonical.
  TRegion pieces = TRegion::FromRect(0, 0, 3, 4);
  pieces |= TRegion::FromRect(3, 0, 6, 2);
  pieces |= TRegion::FromRect(3, 2, 6, 4);
  EXPECT_EQ(pieces, a);
  EXPECT_EQ(pieces.GetRects().size(), 1u);
  pieces -= a;
  EXPECT_TRUE(pieces.IsEmpty());

  TRegion moved = b;
  moved.Offset(-3, -2);
  EXPECT_EQ(moved, TRegion::FromRect(0, 0, 6, 5));
  EXPECT_EQ(moved.GetBounds(), Rect(0, 0, 6, 5));

  // Every op agrees with a pixel-by-pixel evaluation on two polygons.
  const TPoint p1[5] = {{1, 1}, {17, 3}, {12, 15}, {6, 9}, {2, 16}};
  const TPoint p2[4] = {{8, 0}, {19, 10}, {9, 19}, {0, 8}};
  const TRegion r1 = TRegion::FromPolygon(p1, 5, fmAlternate), r2 = TRegion::FromPolygon(p2, 4, fmAlternate);
  for (TRegionOp op : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF}) {
    const TRegion r = TRegion::Combine(r1, r2, op);
    for (int y = -1; y < 21; ++y)
      for (int x = -1; x < 21; ++x) {
        const bool i1 = r1.Contains(x, y), i2 = r2.Contains(x, y);
        const bool want = op == RGN_AND ? (i1 && i2) : op == RGN_OR ? (i1 || i2) : op == RGN_XOR ? (i1 != i2) : (i1 && !i2);
        ASSERT_EQ(r.Contains(x, y), want) << "op " << op << " at " << x << "," << y;
      }
  }
}

TEST(Region, EllipseRegionMatchesTheFilledEllipse) {
  TBitmap b;
  Make(b, 30, 20, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetStyle(psClear);
  c->GetBrush()->SetColor(clBlack);
  c->Ellipse(3, 2, 27, 17);
  const TRegion e = TRegion::FromEllipse(3, 2, 27, 17);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(e.Contains(x, y), Raw(b, x, y) == clBlack) << x << "," << y;
}

TEST(CanvasClip, EveryOperationLeavesPixelsOutsideTheRegionUntouched) {
  const TPoint poly[6] = {{5, 3}, {50, 8}, {58, 40}, {30, 22}, {12, 44}, {2, 20}};
  const TRegion clip = TRegion::FromPolygon(poly, 6, fmAlternate);
  TBitmap src(64, 48, pf24bit);
  Noise(src, 99);
  for (TPixelFormat f : {pf24bit, pf1bit, pf32bit}) {
    TBitmap b(64, 48, f);
    Noise(b, 7);
    TBitmap before;
    before.Assign(&b);
    TCanvas* c = b.GetCanvas();
    c->SelectClipRgn(&clip);
    c->GetPen()->SetColor(clRed);
    c->GetBrush()->SetColor(clYellow);
    c->FillRect(Rect(0, 0, 64, 48));
    c->GetBrush()->SetStyle(bsDiagCross);
    c->FillRect(Rect(0, 0, 64, 48));
    c->GetBrush()->SetStyle(bsSolid);
    c->GetPen()->SetWidth(3);
    c->Rectangle(-5, -5, 70, 60);
    c->Ellipse(0, 0, 64, 48);
    c->MoveTo(0, 0);
    c->LineTo(63, 47);
    c->Polygon(poly, 6);
    c->SetPixels(0, 0, clBlue);
    c->Draw(-7, 3, &src);
    c->StretchDraw(Rect(0, 0, 200, 150), &src);
    c->CopyRect(Rect(0, 0, 64, 48), src.GetCanvas(), Rect(10, 10, 20, 20));
    c->GetFont()->SetHeight(-20);
    c->TextOut(0, 10, "Clipped text");
    c->TextRect(Rect(0, 0, 64, 48), 2, 2, "more");
    int changed = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        if (clip.Contains(x, y)) {
          changed += Raw(b, x, y) != Raw(before, x, y);
          continue;
        }
        ASSERT_EQ(Raw(b, x, y), Raw(before, x, y)) << "format " << f << " at " << x << "," << y;
      }
    EXPECT_GT(changed, 100);
    // Reading through the clip: outside is invalid.
    EXPECT_EQ(c->GetPixels(0, 0), CLR_INVALID);
    EXPECT_NE(c->GetPixels(30, 15), CLR_INVALID);
    EXPECT_EQ(c->GetClipRect(), clip.GetBounds());
    c->SelectClipRgn(nullptr);
    EXPECT_EQ(c->GetClipRect(), Rect(0, 0, 64, 48));
    EXPECT_NE(c->GetPixels(0, 0), CLR_INVALID);
  }
}

TEST(CanvasClip, ExcludeAndIntersectRectangles) {
  TBitmap b;
  Make(b, 10, 6, clWhite);
  TCanvas* c = b.GetCanvas();
  c->ExcludeClipRect(2, 1, 8, 5);
  c->GetBrush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 10, 6));
  EXPECT_EQ(Picture(b, clBlack), Rows({"##########", "##......##", "##......##", "##......##", "##......##", "##########"}));
  TRegion r;
  EXPECT_TRUE(c->GetClipRgn(r));
  c->SelectClipRgn(nullptr);
  EXPECT_FALSE(c->GetClipRgn(r));
  Fill(b, clWhite);
  c->IntersectClipRect(3, 2, 20, 4);
  c->IntersectClipRect(0, 0, 5, 6);
  c->GetBrush()->SetColor(clBlack);
  c->FillRect(Rect(0, 0, 10, 6));
  EXPECT_EQ(Count(b, clBlack), 4);
  EXPECT_EQ(Raw(b, 3, 2), clBlack);
  EXPECT_EQ(Raw(b, 4, 3), clBlack);
  c->IntersectClipRect(7, 0, 9, 6);  // nothing left
  c->FillRect(Rect(0, 0, 10, 6));
  EXPECT_EQ(Count(b, clBlack), 4);
  EXPECT_TRUE(c->GetClipRect().IsEmpty());
}

}  // namespace
}  // namespace corvex
