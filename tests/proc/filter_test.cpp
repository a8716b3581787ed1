// Convolution, the kernel file and the morphological filters. The fast implementations are
// checked against the literal algorithms (written out plainly here) on random images.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "corvex/platform/streams/streams.h"
#include "corvex/proc/CorvexProc.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

TBitmap* Noise(int w, int h, uint32_t seed, int levels = 256) {
  auto* b = new TBitmap(w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 3 * w; ++i) b->ScanLine(y)[i] = uint8_t((rng() % unsigned(levels)) * (255 / (levels - 1)));
  return b;
}

bool Same(const TBitmap& a, const TBitmap& b) {
  return a.GetImageSize() == b.GetImageSize() && std::memcmp(a.Bits(), b.Bits(), a.GetImageSize()) == 0;
}

// The convolution exactly as described: clamped neighbours, per channel, truncating division.
void ReferenceFilter(TBitmap& b, const TGraphFilter& f, int x1, int y1, int x2, int y2) {
  const int w = b.GetWidth(), h = b.GetHeight();
  x2 = std::min(x2, w);
  y2 = std::min(y2, h);
  const int d = f.Divisor == 0 ? 1 : f.Divisor;
  TBitmap tmp;
  tmp.Assign(&b);
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x)
      for (int c = 0; c < 3; ++c) {
        int64_t s = 0;
        for (int r = 0; r < 3; ++r)
          for (int k = 0; k < 3; ++k) {
            const int yy = std::clamp(y + r - 1, 0, h - 1), xx = std::clamp(x + k - 1, 0, w - 1);
            s += int64_t(f.Values[r][k]) * b.ScanLine(yy)[3 * xx + c];
          }
        tmp.ScanLine(y)[3 * x + c] = uint8_t(std::clamp<int64_t>(s / d, 0, 255));
      }
  b.Assign(&tmp);
}

// The morphological pass exactly as described: the window scanned row by row, clamped to the
// region, strictly better grey wins.
void ReferencePass(TBitmap& b, int win, bool maximum, int x1, int y1, int x2, int y2) {
  const int w = x2 - x1, h = y2 - y1;
  std::vector<int> grey(size_t(w * h));
  std::vector<TRGB> col(size_t(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB p = reinterpret_cast<TRGB*>(b.ScanLine(y + y1))[x + x1];
      col[size_t(y * w + x)] = p;
      grey[size_t(y * w + x)] = (p.r * 21 + p.g * 71 + p.b * 7) / 100;
    }
  for (int cy = 0; cy < h; ++cy)
    for (int cx = 0; cx < w; ++cx) {
      int best = maximum ? 0 : 255, bi = cy * w + cx;
      for (int dy = -win; dy <= win; ++dy)
        for (int dx = -win; dx <= win; ++dx) {
          const int yy = std::clamp(cy + dy, 0, h - 1), xx = std::clamp(cx + dx, 0, w - 1);
          const int g = grey[size_t(yy * w + xx)];
          if (maximum ? g > best : g < best) {
            best = g;
            bi = yy * w + xx;
          }
        }
      reinterpret_cast<TRGB*>(b.ScanLine(cy + y1))[cx + x1] = col[size_t(bi)];
    }
}

TEST(Convolution, PresetsAndCustomKernelsMatchTheLiteralAlgorithm) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    const int w = 1 + int(rng() % 23), h = 1 + int(rng() % 17);
    std::unique_ptr<TBitmap> src(Noise(w, h, uint32_t(trial)));
    TGraphFilter f = trial < 9 ? CXFiltPres[trial] : TGraphFilter{};
    if (trial >= 9) {
      for (auto& row : f.Values)
        for (auto& v : row) v = int(rng() % 21) - 10;
      f.Divisor = trial % 5 == 0 ? -3 : int(rng() % 9000);  // negative, zero, large: through division
    }
    const int x1 = int(rng() % unsigned(w)), y1 = int(rng() % unsigned(h));
    const int x2 = x1 + 1 + int(rng() % unsigned(w)), y2 = y1 + 1 + int(rng() % unsigned(h));
    TBitmap fast, ref;
    fast.Assign(src.get());
    ref.Assign(src.get());
    TProgressRec pr;
    _ApplyFilter(&fast, f, x1, y1, x2, y2, pr);
    ReferenceFilter(ref, f, x1, y1, x2, y2);
    ASSERT_TRUE(Same(fast, ref)) << "trial " << trial << " " << w << "x" << h;
  }
}

TEST(Convolution, KnownAnswers) {
  std::unique_ptr<TBitmap> src(Noise(9, 7, 1));
  TBitmap b;
  b.Assign(src.get());
  TProgressRec pr;
  _ApplyFilter(&b, CXFiltPres[fpNone], 0, 0, 9, 7, pr);
  EXPECT_TRUE(Same(b, *src));
  TBitmap flat(5, 5, pf24bit);
  for (int y = 0; y < 5; ++y) std::memset(flat.ScanLine(y), 90, 15);
  TBitmap blurred;
  blurred.Assign(&flat);
  _ApplyFilter(&blurred, CXFiltPres[fpBlur], 0, 0, 5, 5, pr);
  EXPECT_TRUE(Same(blurred, flat));  // also at the borders: edges repeat
  TBitmap edge;
  edge.Assign(&flat);
  _ApplyFilter(&edge, CXFiltPres[fpEdge], 0, 0, 5, 5, pr);  // sum 0 where uniform
  EXPECT_EQ(edge.ScanLine(2)[3], 0);
  TGraphFilter neg{{{0, 0, 0}, {0, -1, 0}, {0, 0, 0}}, 1};
  TBitmap n;
  n.Assign(&flat);
  _ApplyFilter(&n, neg, 0, 0, 5, 5, pr);
  EXPECT_EQ(n.ScanLine(0)[0], 0);
  TGraphFilter big{{{0, 0, 0}, {0, 10, 0}, {0, 0, 0}}, 1};
  _ApplyFilter(&n, big, 0, 0, 5, 5, pr);
  _ApplyFilter(&flat, big, 0, 0, 5, 5, pr);
  EXPECT_EQ(flat.ScanLine(4)[14], 255);
  // A sub-rectangle: pixels outside are unchanged, pixels inside see neighbours outside.
  b.Assign(src.get());
  _ApplyFilter(&b, CXFiltPres[fpBlur], 2, 2, 5, 4, pr);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x)
      if (x < 2 || x >= 5 || y < 2 || y >= 4) {
        ASSERT_EQ(std::memcmp(b.ScanLine(y) + 3 * x, src->ScanLine(y) + 3 * x, 3), 0);
      }
  int s = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) s += src->ScanLine(2 + dy)[3 * (2 + dx)];
  EXPECT_EQ(b.ScanLine(2)[6], s / 9);
}

TEST(Convolution, KernelFile) {
  using testing_support::TempPath;
  const std::string path = TempPath("kernel.flt");
  const TGraphFilter f{{{1, -2, 3}, {-4, 5, -6}, {7, -8, 900000}}, -12};
  SaveFilterToFile(path, f);
  const auto bytes = testing_support::ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[7], 0xFE);  // -2 little-endian
  const TGraphFilter back = LoadFilterFromFile(path);
  EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0);
  // Another header: the identity kernel.
  std::vector<uint8_t> other = bytes;
  other[1] = 5;
  testing_support::WriteFileBytes(path, other);
  const TGraphFilter id = LoadFilterFromFile(path);
  EXPECT_EQ(id.Values[1][1], 1);
  EXPECT_EQ(id.Values[0][0], 0);
  EXPECT_EQ(id.Divisor, 1);
  std::remove(path.c_str());
  EXPECT_THROW(LoadFilterFromFile(path), EFOpenError);
  testing_support::WriteFileBytes(path, {1, 3, 3, 0});  // cut short
  EXPECT_THROW(LoadFilterFromFile(path), EReadError);
  std::remove(path.c_str());
}

TEST(Morphology, MatchesTheLiteralScanWithTies) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 1 + int(rng() % 20), h = 1 + int(rng() % 20);
    // Few levels: many ties, and all-black / all-white windows.
    std::unique_ptr<TBitmap> src(Noise(w, h, uint32_t(100 + trial), trial % 3 == 0 ? 2 : 4));
    const int win = trial % 7 == 6 ? 20 : int(rng() % 4);
    const int op = int(rng() % 4);
    const int x1 = int(rng() % unsigned(w)), y1 = int(rng() % unsigned(h));
    const int x2 = std::min(w, x1 + 1 + int(rng() % unsigned(w))), y2 = std::min(h, y1 + 1 + int(rng() % unsigned(h)));
    TBitmap fast, ref;
    fast.Assign(src.get());
    ref.Assign(src.get());
    _MorphFilter(&fast, win, op, x1, y1, x2, y2, nullptr, nullptr);
    switch (op) {
      case 0: ReferencePass(ref, win, true, x1, y1, x2, y2); break;
      case 1: ReferencePass(ref, win, false, x1, y1, x2, y2); break;
      case 2:
        ReferencePass(ref, win, false, x1, y1, x2, y2);
        ReferencePass(ref, win, true, x1, y1, x2, y2);
        break;
      default:
        ReferencePass(ref, win, true, x1, y1, x2, y2);
        ReferencePass(ref, win, false, x1, y1, x2, y2);
        break;
    }
    ASSERT_TRUE(Same(fast, ref)) << "trial " << trial << " op " << op << " win " << win;
  }
}

TEST(Morphology, DotGrowsAndOpeningRemovesIt) {
  TBitmap b(7, 7, pf24bit);
  std::memset(b.ScanLine(3) + 9, 255, 3);
  TBitmap grown;
  grown.Assign(&b);
  _MorphFilter(&grown, 1, 0, 0, 0, 7, 7, nullptr, nullptr);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 7; ++x) {
      const bool inside = std::abs(x - 3) <= 1 && std::abs(y - 3) <= 1;
      ASSERT_EQ(grown.ScanLine(y)[3 * x], inside ? 255 : 0) << x << "," << y;
    }
  TBitmap opened;
  opened.Assign(&b);
  _MorphFilter(&opened, 1, 2, 0, 0, 7, 7, nullptr, nullptr);
  for (int y = 0; y < 7; ++y) ASSERT_EQ(opened.ScanLine(y)[9], 0);
  TBitmap same;
  same.Assign(&b);
  _MorphFilter(&same, -1, 0, 0, 0, 7, 7, nullptr, nullptr);
  _MorphFilter(&same, 1, 9, 0, 0, 7, 7, nullptr, nullptr);
  EXPECT_TRUE(Same(same, b));
}

}  // namespace
}  // namespace corvex
