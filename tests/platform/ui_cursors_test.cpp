// Cursors: the handle table, the library's drawn cursors under their identifiers, the standard
// cursors, the cursor table's ownership and the AND/XOR drawing rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/cursors.h"

namespace corvex {
namespace {

// The pixel code of a cursor image: 0 transparent, 1 black, 2 white, 3 inverted.
int Code(const TCursorImage& im, int x, int y) {
  const bool a = im.AndBit(x, y), o = im.XorBit(x, y);
  return a ? (o ? 3 : 0) : (o ? 2 : 1);
}

// True when the image is unchanged by the map (x, y) -> F(x, y) about its hot spot, for every
// pixel whose image lies inside the cursor.
template <class F>
bool Symmetric(const TCursorImage& im, F Map) {
  for (int y = 0; y < im.Height; ++y)
    for (int x = 0; x < im.Width; ++x) {
      int dx = x - im.HotSpot.X, dy = y - im.HotSpot.Y;
      Map(dx, dy);
      const int mx = im.HotSpot.X + dx, my = im.HotSpot.Y + dy;
      if (mx < 0 || my < 0 || mx >= im.Width || my >= im.Height) {
        if (Code(im, x, y) != 0) return false;  // drawn pixel without a mirror image
        continue;
      }
      if (Code(im, x, y) != Code(im, mx, my)) return false;
    }
  return true;
}

enum Sym : unsigned { kMirrorX = 1, kMirrorY = 2, kDiagonal = 4, kAntiDiagonal = 8, kPoint = 16 };
constexpr unsigned kAxes = kMirrorX | kMirrorY | kPoint;              // a shape along x or y
constexpr unsigned kDiagonals = kDiagonal | kAntiDiagonal | kPoint;   // a shape along a diagonal
constexpr unsigned kAll = kAxes | kDiagonals;

TEST(Cursors, LibraryCursorsUnderTheirIdentifiers) {
  struct Want {
    TCursor Id;
    const char* Name;
    TPoint Hot;
    unsigned Symmetries;
  };
  const Want wants[] = {
      {1778, "ZOOMMENO", {10, 10}, 0},  // the minus breaks the diagonal symmetry
      {1779, "ZOOMPIU", {10, 10}, kDiagonal},
      {1780, "CROCE", {15, 15}, kAll},
      {1781, "GOMMA", {5, 26}, kAntiDiagonal},
      {1782, "MANO", {16, 18}, 0},
      {1783, "PENNA", {2, 29}, kAntiDiagonal},
      {1784, "CROCE1", {15, 15}, kAll},
      {1785, "CROCE2", {15, 15}, kAll},
      {1786, "MOVE2", {15, 15}, kDiagonals},
      {1787, "MOVEY", {15, 15}, kAxes},
      {1788, "MOVE1", {15, 15}, kDiagonals},
      {1789, "MOVEX", {15, 15}, kAxes},
      {1790, "MOVE", {15, 15}, kAll},
  };
  const size_t before = CursorCount();
  {
    TCursorTable table;
    RegisterCorvexCursors(table);
    EXPECT_EQ(CursorCount(), before + 13);
    for (const Want& w : wants) {
      SCOPED_TRACE(w.Name);
      TCursorImage im;
      ASSERT_TRUE(GetCursorImage(table.Get(w.Id), im));
      EXPECT_EQ(im.Name, w.Name);
      EXPECT_FALSE(im.Standard.has_value());
      EXPECT_EQ(im.Width, 32);
      EXPECT_EQ(im.Height, 32);
      EXPECT_EQ(im.RowBytes, 4);
      EXPECT_EQ(im.HotSpot, w.Hot);
      int black = 0, white = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          black += Code(im, x, y) == 1;
          white += Code(im, x, y) == 2;
        }
      EXPECT_GT(black, 20);
      EXPECT_GT(white, 20);  // a white rim, so that the cursor shows on dark images too
      // Symmetric about the hot spot exactly where the shape is (and only there).
      unsigned found = 0;
      if (Symmetric(im, [](int& dx, int&) { dx = -dx; })) found |= kMirrorX;
      if (Symmetric(im, [](int&, int& dy) { dy = -dy; })) found |= kMirrorY;
      if (Symmetric(im, [](int& dx, int& dy) { std::swap(dx, dy); })) found |= kDiagonal;
      if (Symmetric(im, [](int& dx, int& dy) { const int t = dx; dx = -dy; dy = -t; })) found |= kAntiDiagonal;
      if (Symmetric(im, [](int& dx, int& dy) { dx = -dx; dy = -dy; })) found |= kPoint;
      EXPECT_EQ(found, w.Symmetries);
      // LoadCursor makes a new handle with the same picture; names ignore letter case.
      HCURSOR h = LoadCursor(std::string(w.Name) == "MOVE" ? "move" : w.Name);
      TCursorImage again;
      ASSERT_TRUE(GetCursorImage(h, again));
      EXPECT_NE(h, table.Get(w.Id));
      EXPECT_EQ(again.AndMask, im.AndMask);
      EXPECT_EQ(again.XorMask, im.XorMask);
      EXPECT_TRUE(DestroyCursor(h));
    }
    // The precision cross leaves the pixel under its hot spot alone and rims it with white.
    TCursorImage c2;
    ASSERT_TRUE(GetCursorImage(table.Get(crCXCross2), c2));
    EXPECT_EQ(Code(c2, 15, 15), 0);
    EXPECT_EQ(Code(c2, 16, 15), 2);
    EXPECT_EQ(Code(c2, 20, 15), 1);

    // Registering again (every new view does) keeps the handles and makes no new cursors.
    const HCURSOR first = table.Get(1785);
    RegisterCorvexCursors(table);
    EXPECT_EQ(table.Get(1785), first);
    EXPECT_EQ(CursorCount(), before + 13);
    // ... but puts the library cursor back where another one was set.
    table.Set(1790, table.Get(1789));
    EXPECT_EQ(CursorCount(), before + 12);  // the old "MOVE" was destroyed
    RegisterCorvexCursors(table);
    EXPECT_EQ(CursorCount(), before + 13);
    EXPECT_NE(table.Get(1790), table.Get(1789));
  }
  EXPECT_EQ(CursorCount(), before);
  EXPECT_EQ(LoadCursor("NOSUCHCURSOR"), 0u);
  EXPECT_EQ(LoadCursor(""), 0u);
}

TEST(Cursors, TableOwnsItsCursorsAndFallsBackToTheDefault) {
  const size_t before = CursorCount();
  uint8_t andm[32 * 4], xorm[32 * 4];
  std::memset(andm, 0x00, sizeof andm);
  std::memset(xorm, 0x00, sizeof xorm);
  {
    TCursorTable table;
    // Every standard identifier is there, a shared cursor standing for itself.
    for (size_t i = 0; i < kStandardCursorCount; ++i) {
      const TCursor id = kStandardCursors[i];
      SCOPED_TRACE(id);
      EXPECT_TRUE(table.Contains(id));
      EXPECT_EQ(table.Get(id), StandardCursor(id));
      TCursorImage im;
      ASSERT_TRUE(GetCursorImage(table.Get(id), im));
      EXPECT_EQ(im.Standard, std::optional<TCursor>(id));
      EXPECT_EQ(im.Width, 32);
    }
    EXPECT_EQ(kStandardCursorCount, 22u);
    EXPECT_EQ(StandardCursor(-5), 0u);
    EXPECT_EQ(StandardCursor(1785), 0u);
    EXPECT_EQ(crSize, crSizeAll);
    EXPECT_EQ(CursorCount(), before);  // shared cursors are not counted

    // An identifier without an entry gives the crDefault cursor.
    EXPECT_FALSE(table.Contains(1234));
    EXPECT_EQ(table.Get(1234), table.Get(crDefault));
    EXPECT_EQ(table[1234], StandardCursor(crDefault));

    // Replacing destroys the cursor replaced; 0 removes the entry.
    const HCURSOR a = CreateCursor(3, 4, 32, 32, andm, xorm);
    const HCURSOR b = CreateCursor(5, 6, 32, 32, andm, xorm);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_EQ(CursorCount(), before + 2);
    table.Set(1234, a);
    EXPECT_EQ(table.Get(1234), a);
    table.Set(1234, a);  // the same handle again: nothing happens
    EXPECT_EQ(CursorCount(), before + 2);
    table.Set(1234, b);
    TCursorImage im;
    EXPECT_FALSE(GetCursorImage(a, im));
    EXPECT_FALSE(DestroyCursor(a));
    EXPECT_EQ(CursorCount(), before + 1);
    // A handle under two identifiers lives until it leaves both.
    table.Set(1235, b);
    table.Set(1234, 0);
    EXPECT_FALSE(table.Contains(1234));
    EXPECT_EQ(table.Get(1234), table.Get(crDefault));
    EXPECT_TRUE(GetCursorImage(b, im));
    EXPECT_EQ(im.HotSpot, Point(5, 6));

    // The default itself can be replaced; 0 puts the standard arrow back. Standard cursors
    // replaced in a table are not destroyed.
    const HCURSOR c = CreateCursor(0, 0, 32, 32, andm, xorm);
    table.Set(crDefault, c);
    EXPECT_EQ(table.Get(4321), c);
    table.Set(crDefault, 0);
    EXPECT_EQ(table.Get(4321), StandardCursor(crDefault));
    EXPECT_FALSE(GetCursorImage(c, im));
    table.Set(crHourGlass, 0);
    EXPECT_TRUE(GetCursorImage(StandardCursor(crHourGlass), im));
    EXPECT_FALSE(DestroyCursor(StandardCursor(crArrow)));
    EXPECT_TRUE(GetCursorImage(StandardCursor(crArrow), im));

    // Bad handles and bad masks.
    EXPECT_THROW(table.Set(1, a), EInvalidOperation);
    EXPECT_THROW(table.Set(1, 12345), EInvalidOperation);
    EXPECT_EQ(CreateCursor(0, 0, 32, 32, nullptr, xorm), 0u);
    EXPECT_EQ(CreateCursor(0, 0, 0, 32, andm, xorm), 0u);
    EXPECT_EQ(CreateCursor(0, 0, 257, 1, andm, xorm), 0u);
    EXPECT_EQ(CreateCursor(32, 0, 32, 32, andm, xorm), 0u);
    EXPECT_EQ(CreateCursor(0, -1, 32, 32, andm, xorm), 0u);
    EXPECT_FALSE(DestroyCursor(0));
    EXPECT_FALSE(GetCursorImage(0, im));
    EXPECT_EQ(CursorCount(), before + 1);  // b, still under 1235
  }
  EXPECT_EQ(CursorCount(), before);

  // crNone is a blank cursor.
  TCursorImage none;
  ASSERT_TRUE(GetCursorImage(CursorTable().Get(crNone), none));
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(Code(none, x, y), 0);
}

TEST(Cursors, DrawingCombinesAndAndXorWithTheBackground) {
  // One row of four pixels, one per case: transparent, black, white, inverted.
  const uint8_t andm[2] = {0x90, 0x00};  // 1 0 0 1
  const uint8_t xorm[2] = {0x30, 0x00};  // 0 0 1 1
  const HCURSOR h = CreateCursor(1, 0, 4, 1, andm, xorm);
  ASSERT_NE(h, 0u);
  struct Case {
    uint8_t B, G, R;
  };
  const Case want[4] = {{60, 200, 10}, {0, 0, 0}, {255, 255, 255}, {195, 55, 245}};
  for (TPixelFormat pf : {pf24bit, pf32bit}) {
    const int bpp = pf == pf24bit ? 3 : 4;
    TBitmap b(6, 3, pf);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) {
        uint8_t* p = b.ScanLine(y) + x * bpp;
        p[0] = 60;
        p[1] = 200;
        p[2] = 10;
      }
    DrawCursor(h, &b, 2, 1);  // hot spot (1, 0) at (2, 1): the cursor covers x 1..4 of row 1
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) {
        const uint8_t* p = b.ScanLine(y) + x * bpp;
        const Case c = (y == 1 && x >= 1 && x <= 4) ? want[x - 1] : want[0];
        EXPECT_EQ(p[0], c.B) << x << "," << y;
        EXPECT_EQ(p[1], c.G) << x << "," << y;
        EXPECT_EQ(p[2], c.R) << x << "," << y;
      }
    // Drawing again inverts the inverted pixel back; partly outside the bitmap it is clipped.
    DrawCursor(h, &b, 2, 1);
    EXPECT_EQ(b.ScanLine(1)[4 * bpp + 2], 10);
    DrawCursor(h, &b, -1, 2);  // only the white and inverted pixels land, at x 0 and 1
    EXPECT_EQ(b.ScanLine(2)[0], 255);
    EXPECT_EQ(b.ScanLine(2)[bpp], 195);
    EXPECT_EQ(b.ScanLine(2)[2 * bpp], 60);
    DrawCursor(h, &b, 100, -100);
    DrawCursor(0, &b, 2, 1);
  }
  DrawCursor(h, nullptr, 0, 0);
  TBitmap mono(4, 4, pf1bit);
  EXPECT_THROW(DrawCursor(h, &mono, 0, 0), EInvalidGraphicOperation);

  // A library cursor over grey: the pen's nib is black on its hot spot.
  TBitmap grey(40, 40, pf24bit);
  std::memset(grey.Bits(), 128, grey.GetImageSize());
  const HCURSOR pen = LoadCursor("PENNA");
  DrawCursor(pen, &grey, 20, 20);
  EXPECT_EQ(grey.ScanLine(20)[3 * 20], 0);
  EXPECT_EQ(grey.ScanLine(0)[0], 128);
  EXPECT_TRUE(DestroyCursor(pen));
  EXPECT_TRUE(DestroyCursor(h));
}

}  // namespace
}  // namespace corvex
