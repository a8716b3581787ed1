#include "corvex/platform/ui/cursors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "corvex/platform/graphics/bitmap.h"

namespace corvex {

const TCursor kStandardCursors[] = {
    crDefault, crNone,      crArrow,    crCross,   crIBeam,  crSizeNESW,  crSizeNS,
    crSizeNWSE, crSizeWE,   crUpArrow,  crHourGlass, crDrag, crNoDrop,    crHSplit,
    crVSplit,  crMultiDrag, crSQLWait,  crNo,      crAppStart, crHelp,    crHandPoint,
    crSizeAll};
const size_t kStandardCursorCount = sizeof kStandardCursors / sizeof kStandardCursors[0];

const char* const kCorvexCursorNames[kCorvexCursorCount] = {
    "ZOOMMENO", "ZOOMPIU", "CROCE", "GOMMA", "MANO",  "PENNA", "CROCE1",
    "CROCE2",   "MOVE2",   "MOVEY", "MOVE1", "MOVEX", "MOVE"};

bool TCursorImage::Bit(const std::vector<uint8_t>& Mask, int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height) return false;
  const size_t i = static_cast<size_t>(Y) * static_cast<size_t>(RowBytes) + static_cast<size_t>(X >> 3);
  return i < Mask.size() && (Mask[i] & (0x80 >> (X & 7))) != 0;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Drawing cursors
//
// A sketch is a 32 x 32 grid of pixel codes:
//   '.' transparent   'X' black   'o' white   '~' inverted screen
// Cursors are drawn from ASCII-art rows (where '.' leaves the pixel as it is) and from shapes
// given as a test on each pixel's offset from a centre, which keeps the symmetric cursors exactly
// symmetric. Most shapes are black strokes that Halo() then rims with white, so that they show on
// any background.

constexpr int N = kCursorSize;

struct Sketch {
  char P[N][N];

  Sketch() { std::memset(P, '.', sizeof P); }

  char At(int x, int y) const { return x < 0 || y < 0 || x >= N || y >= N ? '.' : P[y][x]; }
  void Put(int x, int y, char c) {
    if (x >= 0 && y >= 0 && x < N && y < N) P[y][x] = c;
  }

  // Stamps ASCII-art rows with their top-left corner at (x, y).
  void Art(int x, int y, std::initializer_list<std::string_view> Rows) {
    for (std::string_view row : Rows) {
      for (size_t i = 0; i < row.size(); ++i)
        if (row[i] != '.') Put(x + static_cast<int>(i), y, row[i]);
      ++y;
    }
  }

  // Paints c on every pixel whose offset (dx, dy) from (cx, cy) passes In.
  template <class F>
  void Paint(int cx, int cy, char c, F In) {
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x)
        if (In(x - cx, y - cy)) P[y][x] = c;
  }

  // Fills the region In with white, its rim (pixels with an 8-neighbour outside) with black; the
  // rim of a diagonal edge is then a solid staircase rather than a chain of corners.
  template <class F>
  void Outlined(int cx, int cy, F In) {
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const int dx = x - cx, dy = y - cy;
        if (!In(dx, dy)) continue;
        bool rim = false;
        for (int j = -1; j <= 1 && !rim; ++j)
          for (int i = -1; i <= 1 && !rim; ++i) rim = !In(dx + i, dy + j);
        P[y][x] = rim ? 'X' : 'o';
      }
  }

  // Turns transparent pixels that touch a black one (8-neighbourhood) white.
  void Halo() {
    Sketch s = *this;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        if (s.P[y][x] != '.') continue;
        for (int j = -1; j <= 1 && P[y][x] == '.'; ++j)
          for (int i = -1; i <= 1; ++i)
            if (s.At(x + i, y + j) == 'X') {
              P[y][x] = 'o';
              break;
            }
      }
  }
};

// The shapes, as tests on the offset (dx, dy) from their centre.

// A double arrow along x: tips at +-L, heads H long (90-degree points), shaft 2w+1 thick.
bool DoubleArrowX(int dx, int dy, int L, int H, int w) {
  const int a = std::abs(dx), b = std::abs(dy);
  if (a > L) return false;
  if (a >= L - H) return b <= L - a;
  return b <= w;
}

// A double arrow along the top-left / bottom-right diagonal: the heads are right-angled corners
// whose legs (H + 1 pixels) run along the axes from the tips at (-K, -K) and (K, K).
bool DoubleArrowNWSE(int dx, int dy, int K, int H, int w) {
  const int s = dx + dy;
  if (std::abs(dx) > K || std::abs(dy) > K) return false;
  if (std::abs(s) >= 2 * K - H) return true;
  return std::abs(dx - dy) <= w;
}

// A cross with arms to +-L, 2w+1 thick, and a hole of half-size g (g < 0: none).
bool Cross(int dx, int dy, int L, int w, int g) {
  const int a = std::abs(dx), b = std::abs(dy);
  if (std::max(a, b) <= g) return false;
  return (a <= L && b <= w) || (b <= L && a <= w);
}

bool Ring(int dx, int dy, double r0, double r1) {
  const double r = std::sqrt(static_cast<double>(dx * dx + dy * dy));
  return r >= r0 && r <= r1;
}

// The classic arrow pointer, hot spot at its tip (0, 0).
void Arrow(Sketch& s, int x, int y) {
  s.Art(x, y, {
      "X...........",
      "XX..........",
      "XoX.........",
      "XooX........",
      "XoooX.......",
      "XooooX......",
      "XoooooX.....",
      "XooooooX....",
      "XoooooooX...",
      "XooooooooX..",
      "XoooooooooX.",
      "XooooooXXXXX",
      "XoooXooX....",
      "XooXXooX....",
      "XoX..XooX...",
      "XX...XooX...",
      "X.....XooX..",
      "......XooX..",
      ".......XX...",
  });
}

// The hourglass, 15 x 22, waist at (7, 10.5) from its top-left corner (x, y): frame bars, the
// sand running from the top bulb into a pile in the bottom one.
void Hourglass(Sketch& s, int x, int y) {
  s.Art(x, y, {
      "XXXXXXXXXXXXXXX",
      "XXXXXXXXXXXXXXX",
      ".XoooooooooooX.",
      ".XoooooooooooX.",
      ".XoXXXXXXXXXoX.",
      "..XoXXXXXXXoX..",
      "..XooXXXXXooX..",
      "...XoXXXXXoX...",
      "....XoXXXoX....",
      ".....XoXoX.....",
      "......XXX......",
      "......XXX......",
      ".....XoXoX.....",
      "....XooXooX....",
      "...XoooXoooX...",
      "..XooooXooooX..",
      "..XoooXXXoooX..",
      ".XoooXXXXXoooX.",
      ".XooXXXXXXXooX.",
      ".XoXXXXXXXXXoX.",
      "XXXXXXXXXXXXXXX",
      "XXXXXXXXXXXXXXX",
  });
}

// A small hourglass, 9 x 11, for the busy-arrow cursor.
void SmallHourglass(Sketch& s, int x, int y) {
  s.Art(x, y, {
      "XXXXXXXXX",
      ".XoooooX.",
      ".XoXXXoX.",
      "..XoXoX..",
      "...XXX...",
      "...XXX...",
      "..XoXoX..",
      ".XooXooX.",
      ".XoXXXoX.",
      ".XXXXXXX.",
      "XXXXXXXXX",
  });
}

// A dotted page outline w x h at (x, y), as the drag cursors carry.
void DottedBox(Sketch& s, int x, int y, int w, int h) {
  for (int i = 0; i < w; ++i)
    for (int j = 0; j < h; ++j) {
      const bool edge = i == 0 || j == 0 || i == w - 1 || j == h - 1;
      s.Put(x + i, y + j, edge ? ((i + j) % 2 == 0 ? 'X' : 'o') : 'o');
    }
}

// The "no" sign: a ring with a bar from top-left to bottom-right.
void NoSign(Sketch& s, int cx, int cy, double r) {
  const double t = std::max(1.5, r / 4);
  s.Paint(cx, cy, 'X', [&](int dx, int dy) {
    const bool ring = Ring(dx, dy, r - t, r - 0.4);  // no lone pixels where r is whole
    const bool bar = std::abs(dx - dy) <= (r > 6 ? 2 : 1) && Ring(dx, dy, 0, r - t);
    return ring || bar;
  });
}

// ---- the library's cursors ----

// Magnifier: lens centred on the hot spot (10, 10), handle towards the bottom right.
void Magnifier(Sketch& s, bool Plus) {
  constexpr int C = 10;
  s.Paint(C, C, 'o', [](int dx, int dy) { return Ring(dx, dy, 0, 6.5); });
  s.Paint(C, C, 'X', [](int dx, int dy) { return Ring(dx, dy, 5.8, 7.5); });
  s.Paint(C, C, 'X', [](int dx, int dy) {
    const double u = (dx + dy) / std::sqrt(2.0), v = (dx - dy) / std::sqrt(2.0);
    return u >= 7.5 && u <= 17.0 && std::abs(v) <= 1.8;
  });
  s.Paint(C, C, 'X', [Plus](int dx, int dy) {
    return (dy == 0 && std::abs(dx) <= 3) || (Plus && dx == 0 && std::abs(dy) <= 3);
  });
  s.Halo();
}

void ZoomOut(Sketch& s) { Magnifier(s, false); }
void ZoomIn(Sketch& s) { Magnifier(s, true); }

// Bold cross.
void Croce(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return Cross(dx, dy, 9, 1, -1); });
  s.Halo();
}

// Along and across a tool lying on the bottom-left / top-right diagonal with its end at the
// centre: u grows towards the top right (2 per diagonal step), v across it.
inline int Along(int dx, int dy) { return dx - dy; }
inline int Across(int dx, int dy) { return dx + dy; }

// Eraser: a block lying on the diagonal, rubber at the bottom left (hot spot in the middle of its
// face), the sleeve black.
void Gomma(Sketch& s) {
  constexpr int X0 = 5, Y0 = 26;
  auto block = [](int dx, int dy) {
    const int u = Along(dx, dy), v = Across(dx, dy);
    return u >= 0 && u <= 28 && std::abs(v) <= 8;
  };
  s.Outlined(X0, Y0, block);
  s.Paint(X0, Y0, 'X', [&](int dx, int dy) { return block(dx, dy) && Along(dx, dy) >= 11; });
  s.Halo();
}

// Open hand, for dragging the image; hot spot in the palm.
void Mano(Sketch& s) {
  s.Art(5, 5, {
      ".........XX..........",
      "........XooX.XX......",
      ".....XX.XooXXooX.....",
      "....XooXXooXXooX.....",
      "....XooXXooXXooX.XX..",
      "....XooXXooXXooXXooX.",
      "....XooXXooXXooXXooX.",
      "....XooXXooXXooXXooX.",
      "....XooXXooXXooXXooX.",
      ".XX.XooXXooXXooXXooX.",
      "XooXXooXXooXXooXXooX.",
      "XoooXooooooooooooooX.",
      ".XoooXoooooooooooooX.",
      "..XoooXooooooooooooX.",
      "...XoooooooooooooooX.",
      "....XooooooooooooooX.",
      ".....XooooooooooooX..",
      "......XoooooooooooX..",
      "......XoooooooooooX..",
      "......XXXXXXXXXXXXX..",
  });
  s.Halo();
}

// Pen lying on the diagonal, nib at the bottom left on the hot spot (2, 29).
void Penna(Sketch& s) {
  constexpr int X0 = 2, Y0 = 29;
  auto pen = [](int dx, int dy) {
    const int u = Along(dx, dy), v = std::abs(Across(dx, dy));
    if (u < 0 || u > 40) return false;
    return u < 12 ? 2 * v <= u + 1 : v <= 6;
  };
  s.Outlined(X0, Y0, pen);
  s.Paint(X0, Y0, 'X', [&](int dx, int dy) {
    const int u = Along(dx, dy);
    return pen(dx, dy) && (u <= 4 || (u >= 12 && u <= 14) || u >= 34);
  });
  s.Halo();
}

// Cross in a ring (a gun sight).
void Croce1(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    return Ring(dx, dy, 5.5, 6.6) || Cross(dx, dy, 11, 0, 2);
  });
  s.Halo();
}

// Fine precision cross: one-pixel arms with a hole that leaves the pixel under the hot spot seen.
void Croce2(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return Cross(dx, dy, 12, 0, 1); });
  s.Halo();
}

void Move2(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowNWSE(dx, dy, 8, 6, 1); });
  s.Halo();
}
void Move1(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowNWSE(-dx, dy, 8, 6, 1); });
  s.Halo();
}
void MoveX(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowX(dx, dy, 11, 5, 1); });
  s.Halo();
}
void MoveY(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowX(dy, dx, 11, 5, 1); });
  s.Halo();
}
void Move(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    return DoubleArrowX(dx, dy, 12, 4, 1) || DoubleArrowX(dy, dx, 12, 4, 1);
  });
  s.Halo();
}

// ---- the standard cursors ----

void StdArrow(Sketch& s) { Arrow(s, 0, 0); }
void StdNone(Sketch&) {}
void StdCross(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return Cross(dx, dy, 10, 0, -1); });
  s.Halo();
}
void StdIBeam(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    const int a = std::abs(dx), b = std::abs(dy);
    return (a == 0 && b <= 8) || (b == 9 && a >= 1 && a <= 3);
  });
  s.Halo();
}
void StdSizeNESW(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowNWSE(-dx, dy, 7, 5, 0); });
  s.Halo();
}
void StdSizeNS(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowX(dy, dx, 10, 4, 0); });
  s.Halo();
}
void StdSizeNWSE(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowNWSE(dx, dy, 7, 5, 0); });
  s.Halo();
}
void StdSizeWE(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) { return DoubleArrowX(dx, dy, 10, 4, 0); });
  s.Halo();
}
// Arrow pointing up, hot spot at its tip (15, 4).
void StdUpArrow(Sketch& s) {
  s.Paint(15, 4, 'X', [](int dx, int dy) {
    const int a = std::abs(dx);
    if (dy < 0 || dy > 20) return false;
    return dy <= 5 ? a <= dy : a <= 1;
  });
  s.Halo();
}
void StdHourGlass(Sketch& s) {
  Hourglass(s, 8, 5);
  s.Halo();
}
void StdDrag(Sketch& s) {
  DottedBox(s, 7, 16, 12, 9);
  Arrow(s, 0, 0);
}
void StdNoDrop(Sketch& s) {
  NoSign(s, 18, 20, 6.5);
  s.Halo();
  Arrow(s, 0, 0);
}
void StdHSplit(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    const int a = std::abs(dx), b = std::abs(dy);
    if (a == 1) return b <= 9;  // the two bars
    return a >= 3 && DoubleArrowX(dx, dy, 10, 4, 0);
  });
  s.Halo();
}
void StdVSplit(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    const int a = std::abs(dy), b = std::abs(dx);
    if (a == 1) return b <= 9;
    return a >= 3 && DoubleArrowX(dy, dx, 10, 4, 0);
  });
  s.Halo();
}
void StdMultiDrag(Sketch& s) {
  DottedBox(s, 11, 20, 12, 9);
  DottedBox(s, 7, 16, 12, 9);
  Arrow(s, 0, 0);
}
void StdSQLWait(Sketch& s) {
  Hourglass(s, 4, 3);
  // A small database drum at the bottom right.
  s.Art(19, 19, {
      "..XXXXX..",
      ".XoooooX.",
      "XoXXXXXoX",
      "XoooooooX",
      "XoooooooX",
      "XXoooooXX",
      "XoXXXXXoX",
      "XoooooooX",
      ".XoooooX.",
      "..XXXXX..",
  });
  s.Halo();
}
void StdNo(Sketch& s) {
  NoSign(s, 15, 15, 11.0);
  s.Halo();
}
void StdAppStart(Sketch& s) {
  SmallHourglass(s, 13, 12);
  s.Halo();
  Arrow(s, 0, 0);
}
void StdHelp(Sketch& s) {
  s.Art(13, 3, {
      ".XXXX.",
      "XX..XX",
      "....XX",
      "...XX.",
      "..XX..",
      "..XX..",
      "......",
      "..XX..",
      "..XX..",
  });
  s.Halo();
  Arrow(s, 0, 0);
}
// Pointing hand, hot spot at the tip of the finger.
void StdHandPoint(Sketch& s) {
  s.Art(4, 0, {
      ".....XX..........",
      "....XooX.........",
      "....XooX.........",
      "....XooX.........",
      "....XooX.........",
      "....XooXXX.......",
      "....XooXooXXX....",
      "....XooXooXooXXX.",
      ".XX.XooXooXooXooX",
      "XooXXooXooXooXooX",
      "XoooXoooooooooooX",
      ".XooXoooooooooooX",
      "..XoXoooooooooooX",
      "..XooooooooooooX.",
      "...XoooooooooooX.",
      "...XoooooooooooX.",
      "....XooooooooooX.",
      "....XooooooooooX.",
      "....XXXXXXXXXXXX.",
  });
}
void StdSizeAll(Sketch& s) {
  s.Paint(15, 15, 'X', [](int dx, int dy) {
    return DoubleArrowX(dx, dy, 11, 3, 0) || DoubleArrowX(dy, dx, 11, 3, 0);
  });
  s.Halo();
}

struct Drawing {
  const char* Name;  // library name, or nullptr for a standard cursor
  TCursor Standard;
  int HotX, HotY;
  void (*Draw)(Sketch&);
};

const Drawing kLibrary[kCorvexCursorCount] = {
    {"ZOOMMENO", 0, 10, 10, ZoomOut}, {"ZOOMPIU", 0, 10, 10, ZoomIn}, {"CROCE", 0, 15, 15, Croce},
    {"GOMMA", 0, 5, 26, Gomma},       {"MANO", 0, 16, 18, Mano},      {"PENNA", 0, 2, 29, Penna},
    {"CROCE1", 0, 15, 15, Croce1},    {"CROCE2", 0, 15, 15, Croce2},  {"MOVE2", 0, 15, 15, Move2},
    {"MOVEY", 0, 15, 15, MoveY},      {"MOVE1", 0, 15, 15, Move1},    {"MOVEX", 0, 15, 15, MoveX},
    {"MOVE", 0, 15, 15, Move},
};

const Drawing kStandard[] = {
    {nullptr, crDefault, 0, 0, StdArrow},        {nullptr, crNone, 0, 0, StdNone},
    {nullptr, crArrow, 0, 0, StdArrow},          {nullptr, crCross, 15, 15, StdCross},
    {nullptr, crIBeam, 15, 15, StdIBeam},        {nullptr, crSizeNESW, 15, 15, StdSizeNESW},
    {nullptr, crSizeNS, 15, 15, StdSizeNS},      {nullptr, crSizeNWSE, 15, 15, StdSizeNWSE},
    {nullptr, crSizeWE, 15, 15, StdSizeWE},      {nullptr, crUpArrow, 15, 4, StdUpArrow},
    {nullptr, crHourGlass, 15, 15, StdHourGlass}, {nullptr, crDrag, 0, 0, StdDrag},
    {nullptr, crNoDrop, 0, 0, StdNoDrop},        {nullptr, crHSplit, 15, 15, StdHSplit},
    {nullptr, crVSplit, 15, 15, StdVSplit},      {nullptr, crMultiDrag, 0, 0, StdMultiDrag},
    {nullptr, crSQLWait, 11, 14, StdSQLWait},    {nullptr, crNo, 15, 15, StdNo},
    {nullptr, crAppStart, 0, 0, StdAppStart},    {nullptr, crHelp, 0, 0, StdHelp},
    {nullptr, crHandPoint, 9, 0, StdHandPoint},  {nullptr, crSizeAll, 15, 15, StdSizeAll},
};
static_assert(sizeof kStandard / sizeof kStandard[0] ==
              sizeof kStandardCursors / sizeof kStandardCursors[0]);

// ---------------------------------------------------------------------------------------------
// The handle table

struct CursorRec {
  TCursorImage Image;
  bool Shared = false;
};
using RecPtr = std::shared_ptr<const CursorRec>;

struct Table {
  std::mutex Lock;
  std::unordered_map<HCURSOR, RecPtr> Cursors;
  std::unordered_map<TCursor, HCURSOR> Standard;  // filled on first use
  HCURSOR Next = 0x4000;
  size_t Owned = 0;
};

Table& GetTable() {
  static Table* t = new Table;  // never destroyed: tables may free cursors during static teardown
  return *t;
}

HCURSOR Insert(Table& t, std::shared_ptr<CursorRec> rec) {
  const HCURSOR h = t.Next;
  t.Next += 4;
  if (!rec->Shared) ++t.Owned;
  t.Cursors.emplace(h, std::move(rec));
  return h;
}

RecPtr Find(HCURSOR h) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.Cursors.find(h);
  return it == t.Cursors.end() ? nullptr : it->second;
}

int RowBytesFor(int Width) { return (Width + 15) / 16 * 2; }

std::shared_ptr<CursorRec> FromSketch(const Drawing& d) {
  Sketch s;
  d.Draw(s);
  auto rec = std::make_shared<CursorRec>();
  TCursorImage& im = rec->Image;
  im.Width = im.Height = N;
  im.HotSpot = Point(d.HotX, d.HotY);
  im.RowBytes = RowBytesFor(N);
  im.AndMask.assign(static_cast<size_t>(im.RowBytes) * N, 0);
  im.XorMask.assign(im.AndMask.size(), 0);
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      const char c = s.P[y][x];
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(im.RowBytes) + static_cast<size_t>(x >> 3);
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      if (c == '.' || c == '~') im.AndMask[i] |= bit;
      if (c == 'o' || c == '~') im.XorMask[i] |= bit;
    }
  if (d.Name != nullptr)
    im.Name = d.Name;
  else
    im.Standard = d.Standard;
  return rec;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

HCURSOR CreateCursor(int XHotSpot, int YHotSpot, int Width, int Height, const void* ANDPlane,
                     const void* XORPlane) {
  if (ANDPlane == nullptr || XORPlane == nullptr) return 0;
  if (Width < 1 || Height < 1 || Width > 256 || Height > 256) return 0;
  if (XHotSpot < 0 || YHotSpot < 0 || XHotSpot >= Width || YHotSpot >= Height) return 0;
  auto rec = std::make_shared<CursorRec>();
  TCursorImage& im = rec->Image;
  im.Width = Width;
  im.Height = Height;
  im.HotSpot = Point(XHotSpot, YHotSpot);
  im.RowBytes = RowBytesFor(Width);
  const size_t bytes = static_cast<size_t>(im.RowBytes) * static_cast<size_t>(Height);
  const auto* a = static_cast<const uint8_t*>(ANDPlane);
  const auto* x = static_cast<const uint8_t*>(XORPlane);
  im.AndMask.assign(a, a + bytes);
  im.XorMask.assign(x, x + bytes);
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.Lock);
  return Insert(t, std::move(rec));
}

bool DestroyCursor(HCURSOR Cursor) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.Cursors.find(Cursor);
  if (it == t.Cursors.end() || it->second->Shared) return false;
  t.Cursors.erase(it);
  --t.Owned;
  return true;
}

HCURSOR StandardCursor(TCursor Id) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.Lock);
  if (t.Standard.empty()) {
    for (const Drawing& d : kStandard) {
      auto rec = FromSketch(d);
      rec->Shared = true;
      t.Standard.emplace(d.Standard, Insert(t, std::move(rec)));
    }
  }
  auto it = t.Standard.find(Id);
  return it == t.Standard.end() ? 0 : it->second;
}

HCURSOR LoadCursor(const std::string& Name) {
  std::string upper = Name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Drawing& d : kLibrary) {
    if (upper != d.Name) continue;
    auto rec = FromSketch(d);
    Table& t = GetTable();
    std::lock_guard<std::mutex> g(t.Lock);
    return Insert(t, std::move(rec));
  }
  return 0;
}

bool GetCursorImage(HCURSOR Cursor, TCursorImage& Image) {
  RecPtr rec = Find(Cursor);
  if (!rec) return false;
  Image = rec->Image;
  return true;
}

size_t CursorCount() {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.Lock);
  return t.Owned;
}

void DrawCursor(HCURSOR Cursor, TBitmap* Target, int X, int Y) {
  if (Target == nullptr) return;
  const TPixelFormat pf = Target->GetPixelFormat();
  if (pf != pf24bit && pf != pf32bit)
    throw EInvalidGraphicOperation("A cursor is drawn on a 24- or 32-bit bitmap only");
  RecPtr rec = Find(Cursor);
  if (!rec) return;
  const TCursorImage& im = rec->Image;
  const int bpp = pf == pf24bit ? 3 : 4;
  const int x0 = X - im.HotSpot.X, y0 = Y - im.HotSpot.Y;
  const int tw = Target->GetWidth(), th = Target->GetHeight();
  for (int j = std::max(0, -y0); j < im.Height && y0 + j < th; ++j) {
    uint8_t* row = Target->ScanLine(y0 + j);
    const uint8_t* a = im.AndMask.data() + static_cast<size_t>(j) * static_cast<size_t>(im.RowBytes);
    const uint8_t* x = im.XorMask.data() + static_cast<size_t>(j) * static_cast<size_t>(im.RowBytes);
    for (int i = std::max(0, -x0); i < im.Width && x0 + i < tw; ++i) {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (i & 7));
      const uint8_t andv = (a[i >> 3] & bit) ? 0xFF : 0x00;
      const uint8_t xorv = (x[i >> 3] & bit) ? 0xFF : 0x00;
      uint8_t* p = row + static_cast<size_t>(x0 + i) * static_cast<size_t>(bpp);
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] & andv) ^ xorv);
    }
  }
}

// ---------------------------------------------------------------------------------------------

TCursorTable::TCursorTable() {
  Entries_.reserve(kStandardCursorCount + kCorvexCursorCount);
  for (size_t i = 0; i < kStandardCursorCount; ++i)
    Entries_.push_back({kStandardCursors[i], StandardCursor(kStandardCursors[i])});
  std::sort(Entries_.begin(), Entries_.end(), [](const Entry& a, const Entry& b) { return a.Id < b.Id; });
}

TCursorTable::~TCursorTable() {
  std::vector<Entry> entries = std::move(Entries_);
  Entries_.clear();
  for (const Entry& e : entries) {
    // A handle under several identifiers is destroyed once (DestroyCursor of a destroyed or
    // shared handle does nothing).
    DestroyCursor(e.Handle);
  }
}

HCURSOR TCursorTable::Get(TCursor Id) const {
  auto find = [this](TCursor id) {
    auto it = std::lower_bound(Entries_.begin(), Entries_.end(), id,
                               [](const Entry& e, TCursor v) { return e.Id < v; });
    return it != Entries_.end() && it->Id == id ? it->Handle : HCURSOR(0);
  };
  const HCURSOR h = find(Id);
  return h != 0 ? h : find(crDefault);
}

bool TCursorTable::Contains(TCursor Id) const {
  auto it = std::lower_bound(Entries_.begin(), Entries_.end(), Id,
                             [](const Entry& e, TCursor v) { return e.Id < v; });
  return it != Entries_.end() && it->Id == Id;
}

void TCursorTable::Release(HCURSOR Handle) {
  for (const Entry& e : Entries_)
    if (e.Handle == Handle) return;  // still in the table under another identifier
  DestroyCursor(Handle);
}

void TCursorTable::Set(TCursor Id, HCURSOR Handle) {
  if (Handle != 0 && !Find(Handle)) throw EInvalidOperation("Invalid cursor handle");
  if (Handle == 0 && Id == crDefault) Handle = StandardCursor(crDefault);
  auto it = std::lower_bound(Entries_.begin(), Entries_.end(), Id,
                             [](const Entry& e, TCursor v) { return e.Id < v; });
  const bool present = it != Entries_.end() && it->Id == Id;
  HCURSOR old = 0;
  if (present) {
    old = it->Handle;
    if (old == Handle) return;
    if (Handle == 0)
      Entries_.erase(it);
    else
      it->Handle = Handle;
  } else if (Handle != 0) {
    Entries_.insert(it, {Id, Handle});
  }
  if (old != 0) Release(old);
}

TCursorTable& CursorTable() {
  static TCursorTable table;
  return table;
}

void RegisterCorvexCursors(TCursorTable& Table) {
  for (int i = 0; i < kCorvexCursorCount; ++i) {
    const TCursor id = static_cast<TCursor>(crCXFirst + i);
    TCursorImage im;
    if (Table.Contains(id) && GetCursorImage(Table.Get(id), im) && im.Name == kCorvexCursorNames[i])
      continue;
    Table.Set(id, LoadCursor(kCorvexCursorNames[i]));
  }
}

void RegisterCorvexCursors() { RegisterCorvexCursors(CursorTable()); }

}  // namespace corvex
