// Geometry: quarter turns, rotation by any angle (three shears for 24-bit, inverse mapping for
// 1-bit), mirroring and the area average of 1-bit regions into grey.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Area average of 1-bit regions

namespace {

// Set bits of columns c0 .. c1 (inclusive) of a 1-bit row.
inline int CountBits(const uint8_t* row, int c0, int c1) {
  const int b0 = c0 >> 3, b1 = c1 >> 3;
  const unsigned m0 = 0xFFu >> (c0 & 7);
  const unsigned m1 = (0xFF00u >> ((c1 & 7) + 1)) & 0xFFu;
  if (b0 == b1) return std::popcount(unsigned(row[b0]) & m0 & m1);
  int n = std::popcount(unsigned(row[b0]) & m0) + std::popcount(unsigned(row[b1]) & m1);
  for (int b = b0 + 1; b < b1; ++b) n += std::popcount(unsigned(row[b]));
  return n;
}

// The boxes of the area average along one axis: [First[i], Last[i]] for destination index i.
void Boxes(int from, int to, int dst, std::vector<int>& first, std::vector<int>& last) {
  const double step = double(to - from + 1) / double(dst);
  const int whole = Trunc(step);
  first.resize(size_t(dst));
  last.resize(size_t(dst));
  for (int i = 0; i < dst; ++i) {
    const int a = Trunc(step * i);
    first[size_t(i)] = from + a;
    last[size_t(i)] = from + std::max(Trunc(step * i + whole - 1), a);
  }
}

// Column boxes all K pixels wide, side by side from x1, with K 2, 4 or 8 (zoomed out to a half,
// a quarter, an eighth): the counts of 64 columns are then taken at once, in 8-bit lanes.
int UniformBoxWidth(const std::vector<int>& cf, const std::vector<int>& cl, int x1) {
  const int k = cl[0] - cf[0] + 1;
  if (k != 2 && k != 4 && k != 8) return 0;
  for (size_t j = 0; j < cf.size(); ++j)
    if (cf[j] != x1 + int(j) * k || cl[j] != cf[j] + k - 1) return 0;
  return k;
}

// Adds the set bits of each K-pixel box of Row's columns x1 .. x2 into Acc: lane a of word g
// (a < 8 / K) holds in its byte b (from the most significant) the box g * 64 / K + b * 8 / K + a.
// Work holds the row shifted so that x1 is its first bit, with zeros after x2.
void CountUniform(const uint8_t* row, int x1, int x2, int k, std::vector<uint8_t>& work, std::vector<uint64_t>& acc) {
  const int s = x1 & 7, n = x2 - x1 + 1;
  const size_t words = size_t(n + 63) / 64, bytes = size_t(n + 7) / 8;
  const uint8_t* in = row + (x1 >> 3);
  uint8_t* w8 = work.data();
  // The source bytes needed: bits x1 .. x2 span at most bytes + 1 of them, the row's own.
  const size_t have = size_t(((x2 >> 3) - (x1 >> 3)) + 1);
  for (size_t i = 0; i < bytes; ++i) {
    const unsigned hi = in[i], lo = i + 1 < have ? in[i + 1] : 0;
    w8[i] = uint8_t(s ? (hi << s) | (lo >> (8 - s)) : hi);
  }
  if (n & 7) w8[bytes - 1] &= uint8_t(0xFF00 >> (n & 7));
  std::memset(w8 + bytes, 0, words * 8 - bytes);
  const int lanes = 8 / k;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t mask = kOnes * uint64_t((1u << k) - 1);
  for (size_t g = 0; g < words; ++g) {
    uint64_t v;
    std::memcpy(&v, w8 + g * 8, 8);
    v = __builtin_bswap64(v);
    v = v - ((v >> 1) & 0x5555555555555555ull);  // counts of 2-bit lanes
    if (k >= 4) v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    if (k == 8) v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    uint64_t* a = acc.data() + g * size_t(lanes);
    for (int l = 0; l < lanes; ++l) a[l] += (v >> (8 - k * (l + 1))) & mask;
  }
}

// rowAt(y) gives the 1-bit row y; out(i) the 24-bit destination row i.
template <class RowAt, class OutRow>
void SubResample(RowAt rowAt, int x1, int y1, int x2, int y2, int dstW, int dstH, OutRow out) {
  std::vector<int> cf, cl, rf, rl;
  Boxes(x1, x2, dstW, cf, cl);
  Boxes(y1, y2, dstH, rf, rl);
  std::vector<int> counts(static_cast<size_t>(dstW));
  const int k = UniformBoxWidth(cf, cl, x1);
  std::vector<uint8_t> work;
  std::vector<uint64_t> acc;
  if (k != 0) {
    const size_t words = size_t(x2 - x1 + 64) / 64;
    work.resize(words * 8);
    acc.resize(words * size_t(8 / k));
  }
  for (int i = 0; i < dstH; ++i) {
    std::fill(counts.begin(), counts.end(), 0);
    const int rows = rl[size_t(i)] - rf[size_t(i)] + 1;
    if (k != 0 && rows * k <= 255) {  // no lane can pass 255
      std::fill(acc.begin(), acc.end(), 0);
      for (int y = rf[size_t(i)]; y <= rl[size_t(i)]; ++y) CountUniform(rowAt(y), x1, x2, k, work, acc);
      const int lanes = 8 / k;
      for (int j = 0; j < dstW; ++j) {
        const int g = j / (8 * lanes), b = (j % (8 * lanes)) / lanes, l = j % lanes;
        counts[size_t(j)] = int((acc[size_t(g * lanes + l)] >> (56 - 8 * b)) & 0xFF);
      }
    } else {
      for (int y = rf[size_t(i)]; y <= rl[size_t(i)]; ++y) {
        const uint8_t* row = rowAt(y);
        for (int j = 0; j < dstW; ++j) counts[size_t(j)] += CountBits(row, cf[size_t(j)], cl[size_t(j)]);
      }
    }
    uint8_t* d = out(i);
    for (int j = 0; j < dstW; ++j) {
      const int64_t pixels = int64_t(rows) * (cl[size_t(j)] - cf[size_t(j)] + 1);
      const uint8_t v = uint8_t(255 * int64_t(counts[size_t(j)]) / pixels);
      d[3 * j] = d[3 * j + 1] = d[3 * j + 2] = v;
    }
  }
}

// The region cut to the image; false when nothing is left.
bool CutRegion(int w, int h, int& x1, int& y1, int& x2, int& y2) {
  OrdCor(x1, y1, x2, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, w - 1);
  y2 = std::min(y2, h - 1);
  return x1 <= x2 && y1 <= y2;
}

}  // namespace

void _SubResample1bitFiltered(const TBitmap* Src, int x1, int y1, int x2, int y2, TBitmap* Dst) {
  if (Src == nullptr || Dst == nullptr || Src == Dst || Src->GetPixelFormat() != pf1bit) return;
  if (Src->GetEmpty() || Dst->GetEmpty()) return;
  const int dw = Dst->GetWidth(), dh = Dst->GetHeight();
  if (Dst->GetPixelFormat() != pf24bit) Dst->Allocate(dw, dh, pf24bit);
  if (!CutRegion(Src->GetWidth(), Src->GetHeight(), x1, y1, x2, y2)) return;
  SubResample([&](int y) { return Src->ScanLine(y); }, x1, y1, x2, y2, dw, dh, [&](int i) { return Dst->ScanLine(i); });
}

uint8_t* _SubResample1bitFilteredDIB(const void* Bits, int SrcWidth, int SrcHeight, int x1, int y1, int x2, int y2,
                                     int DstWidth, int DstHeight) {
  if (Bits == nullptr || SrcWidth <= 0 || SrcHeight <= 0 || DstWidth <= 0 || DstHeight <= 0) return nullptr;
  if (!CutRegion(SrcWidth, SrcHeight, x1, y1, x2, y2)) return nullptr;
  const size_t srcLen = size_t(_BitmapRowLen(SrcWidth, 1)), dstLen = size_t(_BitmapRowLen(DstWidth, 24));
  auto* out = static_cast<uint8_t*>(std::calloc(dstLen, size_t(DstHeight)));
  if (out == nullptr) return nullptr;
  const auto* src = static_cast<const uint8_t*>(Bits);
  SubResample([&](int y) { return src + srcLen * size_t(y); }, x1, y1, x2, y2, DstWidth, DstHeight,
              [&](int i) { return out + dstLen * size_t(i); });
  return out;
}

// ---------------------------------------------------------------------------------------------
// Quarter turns

namespace {
// Dst (dw x dh) pixel at (X(x, y), Y(x, y)) = Src (x, y), in tiles so that both sides stay in cache.
template <bool Clockwise>
void Rot90Impl(const TBitmap* Src, TBitmap* Dst) {
  if (Src == nullptr || Dst == nullptr || Src == Dst || Src->GetPixelFormat() != pf24bit) return;
  const int w = Src->GetWidth(), h = Src->GetHeight();
  Dst->Allocate(h, w, pf24bit);
  if (w <= 0 || h <= 0) return;
  constexpr int kTile = 64;
  const size_t dstLen = Dst->GetRowLength(), srcLen = Src->GetRowLength();
  const uint8_t* s0 = Src->Bits();
  uint8_t* d0 = Dst->Bits();
  for (int ty = 0; ty < h; ty += kTile)
    for (int tx = 0; tx < w; tx += kTile) {
      const int ey = std::min(ty + kTile, h), ex = std::min(tx + kTile, w);
      for (int y = ty; y < ey; ++y) {
        const uint8_t* s = s0 + srcLen * size_t(y) + size_t(tx) * 3;
        for (int x = tx; x < ex; ++x, s += 3) {
          // counter-clockwise: (y, w - 1 - x); clockwise: (h - 1 - y, x)
          const int dx = Clockwise ? h - 1 - y : y, dy = Clockwise ? x : w - 1 - x;
          uint8_t* d = d0 + dstLen * size_t(dy) + size_t(dx) * 3;
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      }
    }
}
}  // namespace

void _Rot90(const TBitmap* Src, TBitmap* Dst) { Rot90Impl<false>(Src, Dst); }
void _Rot90o(const TBitmap* Src, TBitmap* Dst) { Rot90Impl<true>(Src, Dst); }

// ---------------------------------------------------------------------------------------------
// 1-bit rotation by inverse mapping

void _rotate1bit(TBitmap* Bitmap, double Angle, int Fill, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetEmpty()) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const double r = -Angle / 57.29577951308232;
  const double c = Trunc(std::cos(r) * 10000) / 10000.0;
  const double s = Trunc(std::sin(r) * 10000) / 10000.0;
  const int nw = Trunc(std::fabs(w * c) + std::fabs(h * s));
  const int nh = Trunc(std::fabs(w * s) + std::fabs(c * h));
  if (nw <= 0 || nh <= 0 || !CXImageSizeAllowed(nw, nh)) return;
  const double ncx = nw * 0.5 - 0.5, ncy = nh * 0.5 - 0.5;
  const double cx = w * 0.5 - 0.5, cy = h * 0.5 - 0.5;
  TBitmap out(nw, nh, pf1bit);
  // The x terms of both mappings, the same for every row.
  std::vector<double> ax(static_cast<size_t>(nw)), bx(static_cast<size_t>(nw));
  for (int x = 0; x < nw; ++x) {
    ax[size_t(x)] = c * (x - ncx);
    bx[size_t(x)] = -s * (x - ncx);
  }
  const double factor = 100.0 / nh;
  for (int y = 0; y < nh; ++y) {
    const double ay = s * (y - ncy), by = c * (y - ncy);
    uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < nw; ++x) {
      const int sx = Trunc(ax[size_t(x)] + ay + cx);
      const int sy = Trunc(bx[size_t(x)] + by + cy);
      const int v = (sx >= 0 && sx < w && sy >= 0 && sy < h) ? _GetPixelbw(Bitmap->ScanLine(sy), sx) : Fill;
      _SetPixelbw(d, x, v);
    }
    ProgressReport(Progress, Trunc(y * factor));
  }
  CXCopyBitmap(&out, Bitmap);
}

// ---------------------------------------------------------------------------------------------
// Three-shear rotation of 24-bit bitmaps

namespace {

// Blend of the previous and the current pixel with 12-bit weights a (previous) and b (current),
// rounded and clamped; a may be negative (an extrapolating blend).
inline void Blend(uint8_t* d, const uint8_t* prev, const uint8_t* cur, int a, int b) {
  for (int k = 0; k < 3; ++k) {
    const int v = (prev[k] * a + cur[k] * b + 2048) >> 12;
    d[k] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

// One shifted row: source pixels src[0 .. n-1] go to dst[shift .. shift + n - 1] of a row of
// dstN pixels already filled with the background; pixels outside are dropped and do not become
// the previous pixel. With AntiAlias each pixel blends with the previous one written (the
// background first), and when a > 0 one more pixel blends the last one with the background.
inline void ShiftRow(const uint8_t* src, int n, uint8_t* dst, int dstN, int shift, int a, bool AntiAlias,
                     const uint8_t* bg) {
  const int from = std::max(0, -shift), to = std::min(n, dstN - shift);  // source range that lands
  if (!AntiAlias) {
    if (to > from) std::memcpy(dst + size_t(from + shift) * 3, src + size_t(from) * 3, size_t(to - from) * 3);
    return;
  }
  const int b = 4096 - a;
  const uint8_t* prev = bg;
  for (int x = from; x < to; ++x) {
    Blend(dst + size_t(x + shift) * 3, prev, src + size_t(x) * 3, a, b);
    prev = src + size_t(x) * 3;
  }
  const int e = n + shift;
  if (a > 0 && e >= 0 && e < dstN) Blend(dst + size_t(e) * 3, prev, bg, a, b);
}

// Fills n pixels with the background by doubling copies.
void FillRow(uint8_t* row, int n, const uint8_t* bg) {
  if (n <= 0) return;
  std::memcpy(row, bg, 3);
  size_t done = 3;
  const size_t all = size_t(n) * 3;
  while (done < all) {
    const size_t k = std::min(done, all - done);
    std::memcpy(row + done, row, k);
    done += k;
  }
}

}  // namespace

void _RotateShear(TBitmap* Bitmap, int Angle, bool AntiAlias, TRGB Background, TCXProgressEvent OnProgress,
                  TObject* Sender) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Bitmap->GetEmpty()) return;
  Angle %= 360;
  TBitmap turned;
  while (Angle > 45) {
    _Rot90(Bitmap, &turned);
    CXCopyBitmap(&turned, Bitmap);
    Angle -= 90;
  }
  while (Angle < -45) {
    _Rot90o(Bitmap, &turned);
    CXCopyBitmap(&turned, Bitmap);
    Angle += 90;
  }
  if (Angle == 0) return;
  turned.Allocate(0, 0, pf24bit);

  const double theta = Angle * std::numbers::pi / 180.0;
  const bool positive = Angle > 0;
  const int W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  // Three shears make a rotation by theta when the horizontal ones use tan(theta / 2) and the
  // vertical one sin(theta).
  const double t = std::fabs(std::tan(theta / 2)), s = std::fabs(std::sin(theta));
  const int W1 = Round(H * t + W + 1);
  const int o1 = Round((W1 - W) * s);
  int H1 = Round(W1 * s + H + 1);
  const int o2 = Round((H1 - H - o1) * t);
  H1 -= 2 * o1;
  const int Wf = Round(H1 * t + W1 + 1 - 2 * o2);
  if (H1 <= 0 || Wf <= 0 || !CXImageSizeAllowed(W1, std::max(H, H1)) || !CXImageSizeAllowed(Wf, H1)) return;

  const uint8_t bg[3] = {Background.b, Background.g, Background.r};
  const double total = H + W1 + H1 + 0.5;
  int64_t k = 0;
  auto report = [&]() {
    if (OnProgress) OnProgress(Sender, Trunc(double(k) * 100.0 / total));
    ++k;
  };

  // First pass: horizontal shear of W x H into W1 x H; the weights are truncated here.
  TBitmap pass1(W1, H, pf24bit);
  for (int i = 0; i < H; ++i) {
    report();
    const double d = (positive ? i : H - i) * t;
    const int shift = Round(d);
    const int a = Trunc((d - shift) * 4096);
    uint8_t* row = pass1.ScanLine(i);
    FillRow(row, W1, bg);
    ShiftRow(Bitmap->ScanLine(i), W, row, W1, shift, a, AntiAlias, bg);
  }

  // Second pass: vertical shear of W1 x H into W1 x H1. Walked row by row (each output pixel
  // depends only on its column's parameters and two source pixels of that column).
  std::vector<int> vshift(static_cast<size_t>(W1)), va(static_cast<size_t>(W1));
  for (int c = 0; c < W1; ++c) {
    const double d = (positive ? W1 - c : c) * s;
    const int r = Round(d);
    vshift[size_t(c)] = r - o1;
    va[size_t(c)] = Round((d - r) * 4096);
  }
  TBitmap pass2(W1, H1, pf24bit);
  const size_t len1 = pass1.GetRowLength();
  const uint8_t* p1 = pass1.Bits();
  // In strips of columns, so that the source rows a strip reads stay in cache from one output
  // row to the next.
  constexpr int kStrip = 64;
  const size_t len2 = pass2.GetRowLength();
  uint8_t* p2 = pass2.Bits();
  for (int c0 = 0; c0 < W1; c0 += kStrip) {
    const int c1 = std::min(c0 + kStrip, W1);
    for (int c = c0; c < c1; ++c) report();
    for (int Y = 0; Y < H1; ++Y) {
      uint8_t* out = p2 + len2 * size_t(Y);
      for (int c = c0; c < c1; ++c) {
        uint8_t* d = out + size_t(c) * 3;
        const int y = Y - vshift[size_t(c)];  // the source row that lands here
        const int a = va[size_t(c)];
        if (y < 0 || y > H || (y == H && (!AntiAlias || a <= 0))) {
          std::memcpy(d, bg, 3);
          continue;
        }
        // The previous pixel written in this column: the source row above, when it landed.
        const uint8_t* prev = (y >= 1 && Y >= 1) ? p1 + len1 * size_t(y - 1) + size_t(c) * 3 : bg;
        if (y == H) {
          Blend(d, prev, bg, a, 4096 - a);
          continue;
        }
        const uint8_t* cur = p1 + len1 * size_t(y) + size_t(c) * 3;
        if (AntiAlias) Blend(d, prev, cur, a, 4096 - a);
        else std::memcpy(d, cur, 3);
      }
    }
  }
  pass1.Allocate(0, 0, pf24bit);

  // Third pass: horizontal shear of W1 x H1 into the bitmap (Wf x H1).
  Bitmap->Allocate(Wf, H1, pf24bit);
  for (int r = 0; r < H1; ++r) {
    report();
    const double d = (positive ? r : H1 - r) * t;
    const int rd = Round(d);
    const int a = Round((d - rd) * 4096);
    uint8_t* row = Bitmap->ScanLine(r);
    FillRow(row, Wf, bg);
    ShiftRow(pass2.ScanLine(r), W1, row, Wf, rd - o2, a, AntiAlias, bg);
  }
}

// ---------------------------------------------------------------------------------------------
// Mirroring

void _FlipBitmap(TBitmap* Bitmap, TFlipDir Dir) {
  if (Bitmap == nullptr || Bitmap->GetEmpty()) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const size_t len = Bitmap->GetRowLength();
  if (Dir == fdVertical) {
    std::vector<uint8_t> tmp(len);
    for (int y = 0; y < h / 2; ++y) {
      uint8_t* a = Bitmap->ScanLine(y);
      uint8_t* b = Bitmap->ScanLine(h - 1 - y);
      std::memcpy(tmp.data(), a, len);
      std::memcpy(a, b, len);
      std::memcpy(b, tmp.data(), len);
    }
    return;
  }
  const int bits = Bitmap->GetBitCount();
  std::vector<uint8_t> src(len);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = Bitmap->ScanLine(y);
    std::memcpy(src.data(), row, len);
    if (bits >= 8) {
      const int n = bits / 8;
      for (int x = 0; x < w; ++x) std::memcpy(row + size_t(x) * n, src.data() + size_t(w - 1 - x) * n, size_t(n));
    } else if (bits == 4) {
      for (int x = 0; x < w; ++x) {
        const int sx = w - 1 - x;
        const unsigned v = (sx & 1) ? src[size_t(sx >> 1)] & 15u : unsigned(src[size_t(sx >> 1)]) >> 4;
        uint8_t& d = row[x >> 1];
        d = (x & 1) ? uint8_t((d & 0xF0) | v) : uint8_t((d & 0x0F) | (v << 4));
      }
    } else {
      for (int x = 0; x < w; ++x) _SetPixelbw(row, x, _GetPixelbw(src.data(), w - 1 - x));
    }
  }
}

}  // namespace corvex
