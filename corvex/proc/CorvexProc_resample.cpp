// Filtered resampling: _Resample, _QuickResample and the nearest-pixel stretch.
//
// Both passes compute, for every output channel, the sum of weight x value over the pixel's
// contributors in double precision and in the order the contribution list holds them, exactly
// as the plain formula does; the speed comes from doing many such sums side by side:
//   - the horizontal pass takes 8 source rows at a time, converted once into doubles laid out
//     column by column with the 8 rows next to each other, so that one weight multiplies 8
//     rows' values in one vector operation;
//   - the vertical pass walks destination rows and runs the sums of a whole row side by side
//     (every byte of the row is one independent sum).
// Vector lanes never mix: each lane does the very additions of the plain loop, in the same
// order, so the results are bit-identical to it. Rounding to nearest (ties to even) uses the
// processor's conversion, whose default mode is to nearest with ties to even. Without AVX2 the
// plain loops do the same sums one by one.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include <immintrin.h>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Kernels

double CXResampleSupport(TResampleFilter Filter) {
  switch (Filter) {
    case rfTriangle: return 1.0;
    case rfHermite: return 1.0;
    case rfBell: return 1.5;
    case rfBSpline: return 2.0;
    case rfLanczos3: return 3.0;
    case rfMitchell: return 2.0;
    default: return 0.0;
  }
}

namespace {
inline double Sinc(double x) {
  if (x == 0.0) return 1.0;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}
}  // namespace

double CXResampleKernel(TResampleFilter Filter, double x) {
  const double a = std::fabs(x);
  switch (Filter) {
    case rfTriangle: return a < 1.0 ? 1.0 - a : 0.0;
    case rfHermite: return a < 1.0 ? (2.0 * a - 3.0) * a * a + 1.0 : 0.0;
    case rfBell:
      if (a < 0.5) return 0.75 - x * x;
      if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
      return 0.0;
    case rfBSpline:
      if (a < 1.0) return 0.5 * a * a * a - x * x + 2.0 / 3.0;
      if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
      return 0.0;
    case rfLanczos3: return a < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
    case rfMitchell:
      if (a < 1.0) return (7.0 * a * a * a - 12.0 * x * x + 16.0 / 3.0) / 6.0;
      if (a < 2.0) return (-7.0 / 3.0 * a * a * a + 12.0 * x * x - 20.0 * a + 32.0 / 3.0) / 6.0;
      return 0.0;
    default: return 0.0;
  }
}

// Whether the resampling passes use their AVX2 loops (the processor has them); tests switch it
// off to check the plain loops.
namespace proc_pvt {
bool gResampleAVX2 = __builtin_cpu_supports("avx2");
}

namespace {

// The contributors of every destination pixel along one axis: Index[First[i] .. First[i+1]-1]
// with their weights.
struct Contributions {
  std::vector<int32_t> First;
  std::vector<int32_t> Index;
  std::vector<double> Weight;
  int Count(int i) const { return First[size_t(i) + 1] - First[size_t(i)]; }
};

// A source index past an edge, mirrored into the image (and kept inside it when the mirror
// still falls outside, which only images narrower than the kernel can cause).
inline int Mirror(int64_t j, int n) {
  if (j < 0) j = -j;
  if (j >= n) j = 2 * int64_t(n) - j - 1;
  return int(std::clamp<int64_t>(j, 0, n - 1));
}

Contributions MakeContributions(TResampleFilter Filter, int Src, int Dst, int Limit) {
  Contributions c;
  c.First.reserve(size_t(Dst) + 1);
  const double scale = double(Dst) / double(Src);
  const double s = CXResampleSupport(Filter);
  const bool shrink = scale < 1.0;
  const double width = shrink ? s / scale : s;
  for (int i = 0; i < Dst; ++i) {
    c.First.push_back(int32_t(c.Index.size()));
    const double center = double(i) / scale;
    const int64_t left = int64_t(std::floor(center - width));
    const int64_t right = int64_t(std::ceil(center + width));
    int n = 0;
    for (int64_t j = left; j <= right && n < Limit; ++j) {
      const double w = shrink ? CXResampleKernel(Filter, (center - double(j)) * scale) * scale
                              : CXResampleKernel(Filter, center - double(j));
      if (w == 0.0) continue;
      c.Index.push_back(Mirror(j, Src));
      c.Weight.push_back(w);
      ++n;
    }
  }
  c.First.push_back(int32_t(c.Index.size()));
  return c;
}

// A sum clamped to 0 .. 255 and rounded, ties to even.
inline uint8_t ClampRound(double v) {
  if (v > 255.0) return 255;
  if (v < 0.0) return 0;
  return uint8_t(Round(v));
}

// ---------------------------------------------------------------------------------------------
// Horizontal pass: Src rows into the work image (Dst's width), 8 rows at a time.

constexpr int kLanes = 8;

// The interleaved block: for column x and channel c, the 8 rows' values at [(x * 3 + c) * 8 + r].
void Interleave(const uint8_t* const* rows, int n, int w, double* block) {
  for (int x = 0; x < w; ++x) {
    double* d = block + size_t(x) * 3 * kLanes;
    for (int c = 0; c < 3; ++c)
      for (int l = 0; l < kLanes; ++l) d[c * kLanes + l] = double(rows[l < n ? l : n - 1][3 * x + c]);
  }
}

// The same with vector shuffles: 16 bytes of each of the 8 rows at a time are transposed into
// 16 groups of 8 (one per column and channel, the rows in order), then widened to doubles. The
// conversion is exact, so the block is the same.
__attribute__((target("avx2"))) void InterleaveAVX2(const uint8_t* const* rows, int n, int w, double* block) {
  const uint8_t* r[kLanes];
  for (int l = 0; l < kLanes; ++l) r[l] = rows[l < n ? l : n - 1];
  const int len = w * 3;
  int k = 0;
  for (; k + 16 <= len; k += 16) {
    __m128i v[kLanes];
    for (int l = 0; l < kLanes; ++l) v[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[l] + k));
    // Bytes of rows (0,1), (2,3), (4,5), (6,7) side by side, then pairs of pairs, then quads.
    __m128i a[kLanes], b[kLanes];
    for (int p = 0; p < 4; ++p) {
      a[2 * p] = _mm_unpacklo_epi8(v[2 * p], v[2 * p + 1]);
      a[2 * p + 1] = _mm_unpackhi_epi8(v[2 * p], v[2 * p + 1]);
    }
    for (int h = 0; h < 2; ++h) {  // rows 0-3 and rows 4-7
      b[4 * h + 0] = _mm_unpacklo_epi16(a[4 * h + 0], a[4 * h + 2]);  // bytes 0-3
      b[4 * h + 1] = _mm_unpackhi_epi16(a[4 * h + 0], a[4 * h + 2]);  // 4-7
      b[4 * h + 2] = _mm_unpacklo_epi16(a[4 * h + 1], a[4 * h + 3]);  // 8-11
      b[4 * h + 3] = _mm_unpackhi_epi16(a[4 * h + 1], a[4 * h + 3]);  // 12-15
    }
    double* d = block + size_t(k) * kLanes;
    for (int q = 0; q < 4; ++q) {
      // Two 8-row groups per register: bytes 4q + 0, 1 and 4q + 2, 3.
      const __m128i g[2] = {_mm_unpacklo_epi32(b[q], b[4 + q]), _mm_unpackhi_epi32(b[q], b[4 + q])};
      for (int j = 0; j < 2; ++j) {
        const __m256i lo = _mm256_cvtepu8_epi32(g[j]);
        const __m256i hi = _mm256_cvtepu8_epi32(_mm_srli_si128(g[j], 8));
        double* o = d + size_t(4 * q + 2 * j) * kLanes;
        _mm256_storeu_pd(o, _mm256_cvtepi32_pd(_mm256_castsi256_si128(lo)));
        _mm256_storeu_pd(o + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1)));
        _mm256_storeu_pd(o + 8, _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi)));
        _mm256_storeu_pd(o + 12, _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1)));
      }
    }
  }
  for (; k < len; ++k)
    for (int l = 0; l < kLanes; ++l) block[size_t(k) * kLanes + size_t(l)] = double(r[l][k]);
}

// Plain version (any processor): the same sums lane by lane.
void HorizontalBlockPlain(const double* block, const Contributions& cw, int dstW, uint8_t* const* out, int rows) {
  for (int i = 0; i < dstW; ++i) {
    double acc[3 * kLanes] = {};
    for (int k = cw.First[size_t(i)]; k < cw.First[size_t(i) + 1]; ++k) {
      const double w = cw.Weight[size_t(k)];
      const double* p = block + size_t(cw.Index[size_t(k)]) * 3 * kLanes;
      for (int l = 0; l < 3 * kLanes; ++l) acc[l] += w * p[l];
    }
    for (int l = 0; l < rows; ++l)
      for (int c = 0; c < 3; ++c) out[l][size_t(i) * 3 + size_t(c)] = ClampRound(acc[c * kLanes + l]);
  }
}

// Clamped to 0 .. 255 and converted with the processor's rounding (to nearest, ties to even).
__attribute__((target("avx2"))) inline __m128i ClampRound4(__m256d v) {
  v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
  return _mm256_cvtpd_epi32(v);
}

__attribute__((target("avx2"))) void HorizontalBlockAVX2(const double* block, const Contributions& cw, int dstW,
                                                         uint8_t* const* out, int rows) {
  const int32_t* first = cw.First.data();
  const int32_t* index = cw.Index.data();
  const double* weight = cw.Weight.data();
  for (int i = 0; i < dstW; ++i) {
    __m256d b0 = _mm256_setzero_pd(), b1 = b0, g0 = b0, g1 = b0, r0 = b0, r1 = b0;
    for (int k = first[i]; k < first[i + 1]; ++k) {
      const __m256d w = _mm256_set1_pd(weight[k]);
      const double* p = block + size_t(index[k]) * 3 * kLanes;
      b0 = _mm256_add_pd(b0, _mm256_mul_pd(w, _mm256_loadu_pd(p)));
      b1 = _mm256_add_pd(b1, _mm256_mul_pd(w, _mm256_loadu_pd(p + 4)));
      g0 = _mm256_add_pd(g0, _mm256_mul_pd(w, _mm256_loadu_pd(p + 8)));
      g1 = _mm256_add_pd(g1, _mm256_mul_pd(w, _mm256_loadu_pd(p + 12)));
      r0 = _mm256_add_pd(r0, _mm256_mul_pd(w, _mm256_loadu_pd(p + 16)));
      r1 = _mm256_add_pd(r1, _mm256_mul_pd(w, _mm256_loadu_pd(p + 20)));
    }
    alignas(32) int32_t v[3][kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(v[0]), ClampRound4(b0));
    _mm_store_si128(reinterpret_cast<__m128i*>(v[0] + 4), ClampRound4(b1));
    _mm_store_si128(reinterpret_cast<__m128i*>(v[1]), ClampRound4(g0));
    _mm_store_si128(reinterpret_cast<__m128i*>(v[1] + 4), ClampRound4(g1));
    _mm_store_si128(reinterpret_cast<__m128i*>(v[2]), ClampRound4(r0));
    _mm_store_si128(reinterpret_cast<__m128i*>(v[2] + 4), ClampRound4(r1));
    for (int l = 0; l < rows; ++l) {
      uint8_t* d = out[l] + size_t(i) * 3;
      d[0] = uint8_t(v[0][l]);
      d[1] = uint8_t(v[1][l]);
      d[2] = uint8_t(v[2][l]);
    }
  }
}

// Rows R.Top .. R.Bottom-1, columns R.Left .. R.Right-1 of Src into the work image.
void HorizontalPass(const TBitmap* Src, const TRect& R, TBitmap* Work, const Contributions& cw,
                    TCXProgressEvent OnProgress, TObject* Sender, double total) {
  const int srcW = R.Width(), srcH = R.Height(), dstW = Work->GetWidth();
  std::vector<double> block(size_t(srcW) * 3 * kLanes);
  for (int y0 = 0; y0 < srcH; y0 += kLanes) {
    const int n = std::min(kLanes, srcH - y0);
    const uint8_t* in[kLanes];
    uint8_t* out[kLanes];
    for (int l = 0; l < n; ++l) {
      in[l] = Src->ScanLine(R.Top + y0 + l) + size_t(R.Left) * 3;
      out[l] = Work->ScanLine(y0 + l);
    }
    if (proc_pvt::gResampleAVX2) InterleaveAVX2(in, n, srcW, block.data());
    else Interleave(in, n, srcW, block.data());
    if (proc_pvt::gResampleAVX2) HorizontalBlockAVX2(block.data(), cw, dstW, out, n);
    else HorizontalBlockPlain(block.data(), cw, dstW, out, n);
    if (OnProgress)
      for (int l = 0; l < n; ++l) OnProgress(Sender, Trunc(double(y0 + l + 1) * 100.0 / total));
  }
}

// ---------------------------------------------------------------------------------------------
// Vertical pass: work rows into Dst rows. Every byte of a destination row is one sum over the
// contributing work rows.

void VerticalRowPlain(const uint8_t* const* rows, const double* weight, int n, int from, int len, uint8_t* out) {
  for (int x = from; x < len; ++x) {
    double acc = 0.0;
    for (int k = 0; k < n; ++k) acc += weight[k] * double(rows[k][x]);
    out[x] = ClampRound(acc);
  }
}

__attribute__((target("avx2"))) void VerticalRowAVX2(const uint8_t* const* rows, const double* weight, int n, int len,
                                                     uint8_t* out) {
  int x = 0;
  for (; x + 16 <= len; x += 16) {
    __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
    for (int k = 0; k < n; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
      const __m256d w = _mm256_set1_pd(weight[k]);
      a0 = _mm256_add_pd(a0, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(v))));
      a1 = _mm256_add_pd(a1, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4)))));
      a2 = _mm256_add_pd(a2, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8)))));
      a3 = _mm256_add_pd(a3, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12)))));
    }
    const __m128i lo = _mm_packs_epi32(ClampRound4(a0), ClampRound4(a1));
    const __m128i hi = _mm_packs_epi32(ClampRound4(a2), ClampRound4(a3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
  VerticalRowPlain(rows, weight, n, x, len, out);
}

void VerticalRow(const uint8_t* const* rows, const double* weight, int n, int len, uint8_t* out) {
  if (proc_pvt::gResampleAVX2) VerticalRowAVX2(rows, weight, n, len, out);
  else VerticalRowPlain(rows, weight, n, 0, len, out);
}

void VerticalPass(const TBitmap* Work, TBitmap* Dst, const Contributions& ch, TCXProgressEvent OnProgress,
                  TObject* Sender, double total) {
  const int dstH = Dst->GetHeight(), dstW = Dst->GetWidth(), srcH = Work->GetHeight();
  const int len = dstW * 3;
  std::vector<const uint8_t*> rows;
  int reported = 0;
  for (int y = 0; y < dstH; ++y) {
    const int n = ch.Count(y);
    rows.resize(size_t(n));
    for (int k = 0; k < n; ++k) rows[size_t(k)] = Work->ScanLine(ch.Index[size_t(ch.First[size_t(y)] + k)]);
    VerticalRow(rows.data(), ch.Weight.data() + ch.First[size_t(y)], n, len, Dst->ScanLine(y));
    if (OnProgress) {
      // The columns a column-by-column walk would have finished by now.
      const int done = int(int64_t(dstW) * (y + 1) / dstH);
      for (int x = reported + 1; x <= done; ++x) OnProgress(Sender, Trunc(double(srcH + x) * 100.0 / total));
      reported = done;
    }
  }
}

// Src's rectangle R (inside it) resampled to the whole of Dst. The quick variant and the
// nearest-pixel stretch take the whole source only.
void ResampleImpl(const TBitmap* Src, const TRect& R, TBitmap* Dst, TResampleFilter Filter,
                  TCXProgressEvent OnProgress, TObject* Sender, bool Quick) {
  if (Src == nullptr || Dst == nullptr || Src == Dst || Src->GetPixelFormat() != pf24bit) return;
  const int srcW = R.Width(), srcH = R.Height();
  const int dstW = Dst->GetWidth(), dstH = Dst->GetHeight();
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  const bool whole = srcW == Src->GetWidth() && srcH == Src->GetHeight();
  if (CXResampleSupport(Filter) == 0.0) {
    if (whole) {
      _CXBmpStretch(Src, Dst);
    } else {
      TBitmap part;
      _CopyBitmapRect(Src, &part, R.Left, R.Top, R.Right, R.Bottom);
      _CXBmpStretch(&part, Dst);
    }
    return;
  }
  if (!whole) Quick = false;
  if (Dst->GetPixelFormat() != pf24bit) Dst->Allocate(dstW, dstH, pf24bit);
  const double total = double(dstW) + double(srcH) + 0.5;
  const bool growX = dstW >= srcW, growY = dstH >= srcH;
  const int limit = Quick ? 13 : 1 << 30;

  TBitmap work;
  work.Allocate(dstW, srcH, pf24bit);
  if (!Quick || growX) {
    const Contributions cw = MakeContributions(Filter, srcW, dstW, limit);
    HorizontalPass(Src, R, &work, cw, OnProgress, Sender, total);
  } else {
    _CXBmpStretch(Src, &work);
  }
  if (!Quick || growY) {
    const Contributions ch = MakeContributions(Filter, srcH, dstH, limit);
    VerticalPass(&work, Dst, ch, OnProgress, Sender, total);
  } else {
    _CXBmpStretch(&work, Dst);
  }
}

}  // namespace

void _Resample(const TBitmap* Src, TBitmap* Dst, TResampleFilter Filter, TCXProgressEvent OnProgress, TObject* Sender) {
  if (Src == nullptr) return;
  ResampleImpl(Src, Rect(0, 0, Src->GetWidth(), Src->GetHeight()), Dst, Filter, OnProgress, Sender, false);
}

void _QuickResample(const TBitmap* Src, TBitmap* Dst, TResampleFilter Filter, TCXProgressEvent OnProgress,
                    TObject* Sender) {
  if (Src == nullptr) return;
  ResampleImpl(Src, Rect(0, 0, Src->GetWidth(), Src->GetHeight()), Dst, Filter, OnProgress, Sender, true);
}

namespace proc_pvt {
void ResampleRect(const TBitmap* Src, const TRect& R, TBitmap* Dst, TResampleFilter Filter) {
  if (Src == nullptr) return;
  const TRect r = IntersectRect(R, Rect(0, 0, Src->GetWidth(), Src->GetHeight()));
  if (r != R) return;
  ResampleImpl(Src, r, Dst, Filter, nullptr, nullptr, false);
}
}  // namespace proc_pvt

// ---------------------------------------------------------------------------------------------
// Nearest-pixel stretch through the DIB drawer

void _CXBmpStretch(const TBitmap* Src, TBitmap* Dst) {
  if (Src == nullptr || Dst == nullptr || Src == Dst) return;
  const TPixelFormat pf = Src->GetPixelFormat() == pf1bit ? pf1bit : pf24bit;
  const int dw = Dst->GetWidth(), dh = Dst->GetHeight();
  if (Dst->GetPixelFormat() != pf) Dst->Allocate(dw, dh, pf);
  if (Src->GetEmpty() || dw <= 0 || dh <= 0) return;
  const TBitmap* src = Src;
  TBitmap converted;
  if (Src->GetPixelFormat() != pf1bit && Src->GetPixelFormat() != pf24bit) {
    converted.Assign(Src);
    converted.SetPixelFormat(pf24bit);
    src = &converted;
  }
  struct {
    TBitmapInfoHeader h;
    TRGBQuad colors[2];
  } info;
  info.h.biWidth = src->GetWidth();
  info.h.biHeight = -src->GetHeight();  // a TBitmap holds its top row first
  info.h.biBitCount = pf == pf1bit ? 1 : 24;
  info.h.biClrUsed = pf == pf1bit ? 2 : 0;
  info.colors[0] = TRGBQuad{0, 0, 0, 0};
  info.colors[1] = TRGBQuad{255, 255, 255, 0};
  const HDRAWDIB dd = DrawDibOpen();
  TCanvas* canvas = Dst->GetCanvas();
  const TCopyMode mode = canvas->GetCopyMode();
  canvas->SetCopyMode(cmSrcCopy);
  DrawDibDraw(dd, canvas, 0, 0, dw, dh, &info.h, src->Bits(), 0, 0, src->GetWidth(), src->GetHeight(), 0);
  canvas->SetCopyMode(mode);
  DrawDibClose(dd);
}

}  // namespace corvex
