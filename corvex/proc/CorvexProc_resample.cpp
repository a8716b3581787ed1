// Filtered resampling: _Resample, _QuickResample and the nearest-pixel stretch.
//
// Every output byte is the sum of weight x value over the pixel's contributors, computed in
// double precision in the order the contribution list holds them, clamped to 0 .. 255 and
// rounded to nearest, ties to even: first a horizontal pass into a 24-bit work image, then a
// vertical pass from it. The result is exactly that of this plain formula; the plain loops below
// compute it as written, and processors without AVX2 and FMA use them.
//
// The fast loops compute the sums in single precision instead, 8 at a time, in whatever order
// and grouping is fastest:
//   - the horizontal pass takes 8 source rows at a time, converted once into floats laid out
//     column by column with the 8 rows next to each other, so that one weight multiplies 8
//     rows' values of one channel in one fused multiply-add;
//   - the vertical pass converts each work row to floats once (a work row feeds a few
//     destination rows) and runs the sums of a whole destination row side by side.
// A float sum is close to the double one: SetSafeLimit bounds the difference. When no rounding
// boundary lies within that bound of the float sum, the double sum rounds to the same byte;
// the few bytes for which one does are computed again by the plain formula. So the output stays
// bit-identical to the plain loops, at the cost of a compare and a mask test per 8 bytes.
//
// Processors with AVX-512 VBMI and VNNI compute the sums in 32-bit integers instead, where an
// axis allows (at most 12 taps, no pixel whose sums are exact or often on a boundary): the
// weights scaled to whole numbers and split into bytes, so that the products with the source
// bytes are formed 64 at a time, exactly, without converting the source to floats. The same
// test against a bound decides each byte (see IntegerScale and the horizontal integer pass).
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

// GCC 12 takes the AVX-512 intrinsics' _mm512_undefined_* (a variable initialised from itself)
// for a read of an uninitialised value when they are inlined; the warning points into the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

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

// Whether the resampling passes use their AVX2 and FMA loops (the processor has them); tests
// switch these off to check the other loops.
namespace proc_pvt {
bool gResampleAVX2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
// And whether they may sum in integers with AVX-512 VBMI and VNNI.
bool gResampleVNNI = gResampleAVX2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
                     __builtin_cpu_supports("avx512vnni");
}

namespace {

// The contributors of every destination pixel along one axis: Index[First[i] .. First[i+1]-1]
// with their weights; for the single-precision loops also the weights as floats and Limit (see
// SetSafeLimit), negative when those loops must not be used for this axis.
struct Contributions {
  std::vector<int32_t> First;
  std::vector<int32_t> Index;
  std::vector<double> Weight;
  std::vector<float> WeightF;
  float Limit = -1.0f;
  // Per destination pixel: Limit; 1 where the sums are exact; -1 where they are to be computed in
  // double precision directly (see OftenInDoubt).
  std::vector<float> Limits;
  int MaxCount = 0;
  int Count(int i) const { return First[size_t(i) + 1] - First[size_t(i)]; }
};

// The fast loops add the taps of a sum in chains of at most kChain, then add the chains' results.
constexpr int kChain = 16;

// Whether the sums of pixel i come out exact in single precision and in double alike, so that the
// float sum is the double one and no byte is in doubt (growing 2 or 4 times with the triangle,
// Hermite or Bell filter): every weight is a float, all are multiples of one power of two 2^e,
// and 255 W_i < 2^(24 + e). Every product and partial sum is then a multiple of 2^e below
// 2^(24 + e) in magnitude, which a float holds exactly.
bool ExactSums(const Contributions& c, int i) {
  int e = std::numeric_limits<int>::max();
  double w = 0.0;
  for (int k = c.First[size_t(i)]; k < c.First[size_t(i) + 1]; ++k) {
    const double v = std::fabs(c.Weight[size_t(k)]);
    if (double(float(v)) != v) return false;
    int exponent;
    const uint64_t bits = uint64_t(std::ldexp(std::frexp(v, &exponent), 53));  // v = bits 2^(exponent - 53)
    e = std::min(e, exponent - 53 + __builtin_ctzll(bits));
    w += v;
  }
  return e != std::numeric_limits<int>::max() && 255.0 * w < std::ldexp(1.0, 24 + e);
}

// The smallest q <= kMaxDenominator for which w q is (to double precision) a whole number, or 0:
// the denominators of the continued fraction's convergents.
constexpr int64_t kMaxDenominator = 1024;
int64_t Denominator(double w) {
  double x = std::fabs(w);
  int64_t p0 = 1, q0 = 0, p1 = int64_t(std::floor(x)), q1 = 1;
  double rest = x - std::floor(x);
  for (;;) {
    if (std::fabs(x * double(q1) - double(p1)) < 1e-9) return q1;
    if (rest < 1e-12) return 0;
    const double y = 1.0 / rest;
    const int64_t a = int64_t(std::floor(y));
    rest = y - std::floor(y);
    const int64_t p = a * p1 + p0, q = a * q1 + q0;
    if (q > kMaxDenominator) return 0;
    p0 = p1, q0 = q1, p1 = p, q1 = q;
  }
}

// Whether many of the sums of pixel i fall exactly on a rounding boundary, so that float sums
// would be in doubt too often to pay: the weights are (to double precision) multiples of 1/q for
// an even q of at most kMaxDenominator. The sums are then multiples of 1/q, k + 1/2 is one of
// them, and smooth images hit it often (growing twice with Mitchell gives 8/9 and 1/18, then
// 77/144 and -5/144; with the B-spline 2/3 and 1/6). With an odd q, or weights of no small
// denominator, sums land on a boundary only by accident.
bool OftenInDoubt(const Contributions& c, int i) {
  int64_t q = 1;
  for (int k = c.First[size_t(i)]; k < c.First[size_t(i) + 1]; ++k) {
    const int64_t d = Denominator(c.Weight[size_t(k)]);
    if (d == 0) return false;
    q = std::lcm(q, d);
    if (q > kMaxDenominator) return false;
  }
  return q % 2 == 0;
}

// When a single-precision sum rounds as the double one does.
//
// The fast loops compute each sum S = sum of w_k v_k (v_k whole numbers 0 .. 255, n taps) in
// single precision: weights rounded to float, products fused into the additions, in any order
// and grouping the loops like, with chains of at most kChain taps. With u = 2^-24 (the relative
// rounding error of a float) and W = sum of |w_k|:
//   - a term w_k v_k meets at most m + 1 roundings on its way into the float sum: its weight's,
//     then one per fused multiply-add of its chain and one per addition of the chains' results,
//     m = min(n, kChain) + ceil(n / kChain); so the float sum is within gamma_(m+1) 255 W of S,
//     where gamma_j = j u / (1 - j u) is at most 1.0001 j u for j u <= 1e-4 (m <= 1000);
//   - the plain formula's double sum is itself within gamma_n (in double) 255 W of S, at most
//     1.0001 n 2^-53 255 W, below 255 W u for n < 2^28.
// Altogether |float - double| <= (1.0001 (m + 1) + 1) 255 W u < (m + 3) 255 W u = eps (W, summed
// in double, is off by far less than the margin). Products and partial sums do not underflow as
// long as every weight is at least 2^-120 in magnitude (the products are then normal, and a sum
// below the normal range is exact), so the relative bounds hold.
//
// The loops round the float sum f to r. The double sum rounds to the same r unless a rounding
// boundary (some k + 1/2) lies within eps of f: it is enough that |f - r| < 1/2 - eps. Clamping
// to 0 .. 255 keeps that agreement. Limit is 1/2 - eps rounded down to a float; bytes with
// |f - r| >= Limit are computed again by the plain double loop. When eps is not small (huge
// reductions) the plain loops do the whole axis.
void SetSafeLimit(Contributions& c, int Dst) {
  double w = 0.0;
  bool tiny = false;
  for (int i = 0; i < Dst; ++i) {
    double s = 0.0;
    for (int k = c.First[size_t(i)]; k < c.First[size_t(i) + 1]; ++k) {
      s += std::fabs(c.Weight[size_t(k)]);
      tiny |= std::fabs(c.Weight[size_t(k)]) < 0x1p-120;
    }
    w = std::max(w, s);
    c.MaxCount = std::max(c.MaxCount, c.Count(i));
  }
  const double m = std::min(c.MaxCount, kChain) + (c.MaxCount + kChain - 1) / kChain;
  const double eps = (m + 3.0) * 255.0 * w * 0x1p-24;
  c.Limit = -1.0f;
  if (tiny || m > 1000 || !(eps < 0.125)) return;
  float limit = float(0.5 - eps);
  if (double(limit) > 0.5 - eps) limit = std::nextafter(limit, 0.0f);
  c.Limit = limit;
  c.WeightF.assign(c.Weight.begin(), c.Weight.end());
  c.Limits.resize(size_t(Dst));
  for (int i = 0; i < Dst; ++i) c.Limits[size_t(i)] = ExactSums(c, i) ? 1.0f : OftenInDoubt(c, i) ? -1.0f : limit;
}

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
  SetSafeLimit(c, Dst);
  return c;
}

// The contribution lists of the last few axes, kept per thread: a filtered view resamples the
// same sizes at every scroll step and repaint, and making a list (the kernel at every tap, the
// tests of SetSafeLimit) costs a few per cent of a render. Lists of more than a million taps are
// not kept.
std::shared_ptr<const Contributions> ContributionsFor(TResampleFilter Filter, int Src, int Dst, int Limit) {
  struct Kept {
    TResampleFilter filter;
    int src, dst, limit;
    std::shared_ptr<const Contributions> list;
  };
  constexpr size_t kKeptLists = 4;
  thread_local std::vector<Kept> kept;  // the most recently used last
  for (size_t i = 0; i < kept.size(); ++i)
    if (kept[i].filter == Filter && kept[i].src == Src && kept[i].dst == Dst && kept[i].limit == Limit) {
      std::rotate(kept.begin() + ptrdiff_t(i), kept.begin() + ptrdiff_t(i) + 1, kept.end());
      return kept.back().list;
    }
  auto list = std::make_shared<const Contributions>(MakeContributions(Filter, Src, Dst, Limit));
  if (list->Index.size() <= (size_t(1) << 20)) {
    if (kept.size() == kKeptLists) kept.erase(kept.begin());
    kept.push_back({Filter, Src, Dst, Limit, list});
  }
  return list;
}

// A sum clamped to 0 .. 255 and rounded, ties to even.
inline uint8_t ClampRound(double v) {
  if (v > 255.0) return 255;
  if (v < 0.0) return 0;
  return uint8_t(Round(v));
}

// 8 float sums rounded (to nearest, ties to even), and in doubt the lanes whose distance to their
// rounded value reaches limit (see SetSafeLimit). The sums are not clamped: the callers' packing
// to bytes saturates, which clamps the rounded values, and the test on unclamped sums only finds
// more of them in doubt (a sum below 0 or above 255 that is not in doubt rounds, and so clamps,
// as the double one does).
struct Rounded {
  __m256i value;
  __m256 doubt;
};
__attribute__((target("avx2,fma"))) inline Rounded RoundChecked(__m256 v, __m256 limit) {
  const __m256 r = _mm256_round_ps(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(v, r));  // exact
  return {_mm256_cvtps_epi32(r), _mm256_cmp_ps(d, limit, _CMP_GE_OQ)};
}
__attribute__((target("avx2,fma"))) inline unsigned Mask(__m256 doubt) {
  return unsigned(_mm256_movemask_ps(doubt));
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

// 16 bytes at lo and 16 at hi, in the low and high halves of a register.
__attribute__((target("avx2,fma"))) inline __m256i Load2(const uint8_t* lo, const uint8_t* hi) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// The same as floats, 32 bytes of each of the 8 rows at a time: a transpose of 4-byte groups
// gives registers whose 32-bit lane l holds 4 consecutive bytes of row l; each of the 4 bytes is
// then masked out of the lanes and converted, giving one column and channel's 8 rows.
__attribute__((target("avx2,fma"))) void InterleaveFloat(const uint8_t* const* rows, int n, int w, float* block) {
  const uint8_t* r[kLanes];
  for (int l = 0; l < kLanes; ++l) r[l] = rows[l < n ? l : n - 1];
  const int len = w * 3;
  const __m256i low = _mm256_set1_epi32(0xFF);
  int k = 0;
  for (; k + 32 <= len; k += 32) {
    for (int h = 0; h < 2; ++h) {  // bytes k .. k+15, then k+16 .. k+31: of rows 0-3, and of 4-7 in the high halves
      const int o = k + 16 * h;
      const __m256i a0 = Load2(r[0] + o, r[4] + o), a1 = Load2(r[1] + o, r[5] + o), a2 = Load2(r[2] + o, r[6] + o),
                    a3 = Load2(r[3] + o, r[7] + o);
      const __m256i t0 = _mm256_unpacklo_epi32(a0, a1), t1 = _mm256_unpackhi_epi32(a0, a1);
      const __m256i t2 = _mm256_unpacklo_epi32(a2, a3), t3 = _mm256_unpackhi_epi32(a2, a3);
      // Lane l of q[i]: bytes 4i .. 4i+3 (of the 16) of row l.
      const __m256i q[4] = {_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2),
                            _mm256_unpacklo_epi64(t1, t3), _mm256_unpackhi_epi64(t1, t3)};
      float* d = block + size_t(k + 16 * h) * kLanes;
      for (int i = 0; i < 4; ++i) {
        _mm256_storeu_ps(d + (4 * i + 0) * kLanes, _mm256_cvtepi32_ps(_mm256_and_si256(q[i], low)));
        _mm256_storeu_ps(d + (4 * i + 1) * kLanes,
                         _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(q[i], 8), low)));
        _mm256_storeu_ps(d + (4 * i + 2) * kLanes,
                         _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(q[i], 16), low)));
        _mm256_storeu_ps(d + (4 * i + 3) * kLanes, _mm256_cvtepi32_ps(_mm256_srli_epi32(q[i], 24)));
      }
    }
  }
  for (; k < len; ++k)
    for (int l = 0; l < kLanes; ++l) block[size_t(k) * kLanes + size_t(l)] = float(r[l][k]);
}

// Plain version (any processor): the sums of the plain formula lane by lane.
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

// The bytes of 8 work rows, laid out as the interleaved block (column by column, channel by
// channel, the 8 rows next to each other), written out to the rows: 32 groups of 8 at a time are
// transposed into 32 bytes of each row (groups 0-15 in the low halves of the registers, 16-31 in
// the high ones).
__attribute__((target("avx2,fma"))) void Deinterleave(const uint8_t* bytes, int len, uint8_t* const* out, int rows) {
  // Bytes l and 8 + l of a half (groups 2t and 2t + 1) side by side, as one 16-bit word.
  const __m256i pairs = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 0, 8, 1, 9, 2, 10, 3,
                                         11, 4, 12, 5, 13, 6, 14, 7, 15);
  int g = 0;
  for (; g + 32 <= len; g += 32) {
    __m256i y[8], a[8], b[8];
    for (int t = 0; t < 8; ++t) {
      const uint8_t* p = bytes + size_t(g + 2 * t) * 8;
      y[t] = _mm256_shuffle_epi8(Load2(p, p + 128), pairs);
    }
    // An 8 x 8 transpose of 16-bit words in each half: word t of row l is word l of y[t].
    for (int t = 0; t < 8; t += 2) {
      a[t] = _mm256_unpacklo_epi16(y[t], y[t + 1]);
      a[t + 1] = _mm256_unpackhi_epi16(y[t], y[t + 1]);
    }
    for (int h = 0; h < 8; h += 4) {
      b[h + 0] = _mm256_unpacklo_epi32(a[h + 0], a[h + 2]);
      b[h + 1] = _mm256_unpackhi_epi32(a[h + 0], a[h + 2]);
      b[h + 2] = _mm256_unpacklo_epi32(a[h + 1], a[h + 3]);
      b[h + 3] = _mm256_unpackhi_epi32(a[h + 1], a[h + 3]);
    }
    for (int l = 0; l < rows; ++l) {
      const __m256i z = l % 2 == 0 ? _mm256_unpacklo_epi64(b[l / 2], b[4 + l / 2])
                                   : _mm256_unpackhi_epi64(b[l / 2], b[4 + l / 2]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[l] + g), z);
    }
  }
  for (; g < len; ++g)
    for (int l = 0; l < rows; ++l) out[l][g] = bytes[size_t(g) * 8 + size_t(l)];
}

// 8 double sums clamped to 0 .. 255 and rounded by the processor's conversion (to nearest, ties
// to even, the default mode, as Round does), as bytes.
__attribute__((target("avx2"))) inline __m128i ClampRound8(__m256d lo, __m256d hi) {
  const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(255.0);
  const __m128i a = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(lo, zero), top));
  const __m128i b = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(hi, zero), top));
  const __m128i w = _mm_packs_epi32(a, b);
  return _mm_packus_epi16(w, w);
}

// The bytes b of d for the bits b of mask (below 8) from the 8 bytes of v.
inline void StoreMasked(uint8_t* d, uint64_t v, unsigned mask) {
  if (mask == 0xFF) {
    std::memcpy(d, &v, 8);
    return;
  }
  for (; mask != 0; mask &= mask - 1) {
    const int b = __builtin_ctz(mask);
    d[b] = uint8_t(v >> (8 * b));
  }
}

// The bytes in mask (bit c x 8 + l: row l, channel c) of one destination pixel of a block by the
// plain formula: each doubtful channel's 8 sums in double precision in contribution order, 4 side
// by side; the block's floats are the bytes exactly. Compiled without FMA and kept out of line,
// so that each product is rounded before it is added, as in the plain loop.
__attribute__((target("avx2"), noinline)) void HorizontalPixelExact(const float* block, const int32_t* offset,
                                                                    const double* weight, int n, unsigned mask,
                                                                    uint8_t* d) {
  for (int c = 0; c < 3; ++c) {
    const unsigned m = (mask >> (c * kLanes)) & 0xFF;
    if (m == 0) continue;
    __m256d lo = _mm256_setzero_pd(), hi = lo;
    for (int k = 0; k < n; ++k) {
      const __m256d w = _mm256_set1_pd(weight[k]);
      const float* p = block + offset[k] + c * kLanes;
      lo = _mm256_add_pd(lo, _mm256_mul_pd(w, _mm256_cvtps_pd(_mm_loadu_ps(p))));
      hi = _mm256_add_pd(hi, _mm256_mul_pd(w, _mm256_cvtps_pd(_mm_loadu_ps(p + 4))));
    }
    StoreMasked(d + c * kLanes, uint64_t(_mm_cvtsi128_si64(ClampRound8(lo, hi))), m);
  }
}

// The source rows of the next block, read into the caches while this one is filtered, a few
// lines per pixel, so that reading memory overlaps the arithmetic.
struct Ahead {
  const uint8_t* rows[kLanes] = {};
  int lines = 0;          // cache lines of each row (0: nothing to read)
  int perPixel = 0;       // lines to ask for per destination pixel
  int row = 0, line = 0;  // the next line to ask for: every row's line 0, then line 1, ...
  void Step() {
    for (int t = 0; t < perPixel && line < lines; ++t) {
      _mm_prefetch(reinterpret_cast<const char*>(rows[row] + size_t(line) * 64), _MM_HINT_T1);
      if (++row == kLanes) {
        row = 0;
        ++line;
      }
    }
  }
};

// Single precision: one vector per channel holds the 8 rows' sums. Every pixel has the same
// number of taps, `taps` (N when N > 0): its contributors, then zero weights, which add nothing,
// so that the loop over them runs as often for every pixel and, with N fixed, is unrolled. Tap t
// of pixel i is at [i x taps + t]: its block offset (Index x 24) and float weight. The bytes go
// to bytes (laid out as the block, 8 bytes of room past the end); the ones a float sum cannot
// decide are taken from the plain formula.
template <int N>
__attribute__((target("avx2,fma"))) void HorizontalBlockFloat(const float* block, const Contributions& cw,
                                                              const int32_t* offset, const float* weight, int taps,
                                                              int dstW, uint8_t* bytes, int rows, Ahead ahead) {
  if constexpr (N > 0) taps = N;
  const int32_t* first = cw.First.data();
  const float* limits = cw.Limits.data();  // read once: the byte stores below could alias the vector
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  const unsigned used = (1u << rows) - 1;
  for (int i = 0; i < dstW; ++i, offset += taps, weight += taps) {
    ahead.Step();
    uint8_t* d = bytes + size_t(i) * 3 * kLanes;
    if (limits[i] < 0.0f) {
      HorizontalPixelExact(block, offset, cw.Weight.data() + first[i], first[i + 1] - first[i], ~0u, d);
      continue;
    }
    __m256 b = _mm256_setzero_ps(), g = b, r = b;
    for (int k0 = 0; k0 < taps; k0 += kChain) {
      __m256 cb = _mm256_setzero_ps(), cg = cb, cr = cb;
      const int k1 = std::min(k0 + kChain, taps);
      for (int k = k0; k < k1; ++k) {
        const __m256 w = _mm256_broadcast_ss(weight + k);
        const float* p = block + offset[k];
        cb = _mm256_fmadd_ps(w, _mm256_loadu_ps(p), cb);
        cg = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + kLanes), cg);
        cr = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 2 * kLanes), cr);
      }
      b = _mm256_add_ps(b, cb);
      g = _mm256_add_ps(g, cg);
      r = _mm256_add_ps(r, cr);
    }
    const __m256 limit = _mm256_broadcast_ss(limits + i);
    const Rounded rb = RoundChecked(b, limit), rg = RoundChecked(g, limit), rr = RoundChecked(r, limit);
    // Packed within 128-bit halves, the 4-byte groups come out as b0-3 g0-3 r0-3 r0-3 b4-7 g4-7
    // r4-7 r4-7.
    const __m256i packed =
        _mm256_packus_epi16(_mm256_packs_epi32(rb.value, rg.value), _mm256_packs_epi32(rr.value, rr.value));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permutevar8x32_epi32(packed, order));
    if ((Mask(_mm256_or_ps(_mm256_or_ps(rb.doubt, rg.doubt), rr.doubt)) & used) == 0) continue;
    const unsigned ambiguous =
        (Mask(rb.doubt) & used) | (Mask(rg.doubt) & used) << kLanes | (Mask(rr.doubt) & used) << 2 * kLanes;
    HorizontalPixelExact(block, offset, cw.Weight.data() + first[i], first[i + 1] - first[i], ambiguous, d);
  }
}

using HorizontalBlockFn = void (*)(const float*, const Contributions&, const int32_t*, const float*, int, int,
                                   uint8_t*, int, Ahead);

// The loop for `taps` taps a pixel: unrolled for the common counts.
template <int... N>
HorizontalBlockFn HorizontalBlockFor(int taps, std::integer_sequence<int, N...>) {
  HorizontalBlockFn f = HorizontalBlockFloat<0>;
  ((taps == N ? (f = HorizontalBlockFloat<N>, 0) : 0), ...);
  return f;
}

// The same pass in 32-bit integers, on processors with AVX-512 VBMI and VNNI, where the sums
// of an axis qualify (IntegerGroups). Each weight becomes a whole number W = round(w 2^F), split
// into three signed bytes, W = W2 2^14 + W1 2^7 + W0 with W0 and W1 in 0 .. 127, so that the sum
// S = sum of W v is three sums of byte products; VPDPBUSD forms them 4 taps at a time in every
// 32-bit lane, exactly. F is as large as the weights allow (|W| < 2^21 for W2 to be a signed
// byte, and |S| < 2^31). S 2^-F is within n 255 2^-(F+1) of the exact sum (each W 2^-F is within
// 2^-(F+1) of its weight), and the plain formula's double sum within far less than 2^-F of it:
// Eint = n 127.5 + 1, rounded up, in units of 2^-F, bounds the difference. The bytes with no
// rounding boundary within that of S 2^-F round as the double sum does; the others are computed
// again by the plain formula. The test takes the zone of a power of two Z > Eint units either
// side of a boundary: with u = S + 2^(F-1) + Z, a byte is in doubt when u mod 2^F < 2 Z, that is
// when u's bits from 2 Z up to 2^F are all 0, one VPTESTNMD. No block of floats is made: the
// source rows are read as they are.
//
// Destination pixels go in groups of up to 5 whose contributors lie within 21 source columns,
// 63 bytes of a row from column lo on: lane 3p + c of a 512-bit register is channel c of the
// group's pixel p, and VPERMB picks its 4 taps' bytes out of those 64 row bytes.
constexpr int kGroupPixels = 5, kGroupColumns = 21;
constexpr int kMaxTapGroups = 3;  // up to 12 taps a pixel

struct IntGroup {
  int lo;          // the first source column
  int out;         // the first destination byte (3 x the first pixel)
  int first;       // the first pixel
  uint16_t lanes;  // lanes 0 .. 3 x pixels - 1
  uint64_t load;   // the row bytes from 3 x lo on that exist (all 64 but near the row's end)
};

// An axis's groups and their tables: per group and group of 4 taps t, the byte picks, then W0,
// W1 and W2, 64 bytes each.
struct IntAxis {
  std::vector<IntGroup> groups;
  std::vector<int8_t> table;
  int tapGroups = 0, bits = 0, zone = 0;  // groups of 4 taps, F, Z
  // Whether every u (see HorizontalRowsInt) lies in 0 .. 2^(F+8) - 1, so that its bits F .. F+7
  // are the byte without clamping: no negative weights, and 255 times any pixel's sum of W
  // small enough (weights that add up to 1 leave room to spare).
  bool bytes = false;
};

// A byte of a work row by the plain formula (channel c of pixel i of the source row); kept out
// of line and compiled without FMA, as HorizontalPixelExact.
__attribute__((noinline)) uint8_t HorizontalBytePlain(const uint8_t* row, const Contributions& cw, int i, int c) {
  double acc = 0.0;
  for (int k = cw.First[size_t(i)]; k < cw.First[size_t(i) + 1]; ++k)
    acc += cw.Weight[size_t(k)] * double(row[3 * size_t(cw.Index[size_t(k)]) + size_t(c)]);
  return ClampRound(acc);
}

// The scale F for the axis cw's sums in integers and the zone Z (see above); false when the sums
// do not qualify: none of the fast loops, more than 12 taps, or weights too large for F >= 16.
bool IntegerScale(const Contributions& cw, int& bits, int& zone, int& tapGroups) {
  if (!proc_pvt::gResampleVNNI || cw.Limit <= 0.0f || cw.MaxCount > 4 * kMaxTapGroups) return false;
  double wmax = 0.0, wsum = 0.0;  // the largest weight and sum of weights, in magnitude
  for (size_t i = 0; i + 1 < cw.First.size(); ++i) {
    double sum = 0.0;
    for (int k = cw.First[i]; k < cw.First[i + 1]; ++k) {
      wmax = std::max(wmax, std::fabs(cw.Weight[size_t(k)]));
      sum += std::fabs(cw.Weight[size_t(k)]);
    }
    wsum = std::max(wsum, sum);
  }
  tapGroups = std::max(1, (cw.MaxCount + 3) / 4);
  const int eint = int(std::ceil(cw.MaxCount * 127.5)) + 1;
  zone = int(std::bit_ceil(unsigned(eint) + 1));
  // |S| plus the rounding bias 2^(F-1) + Z below 2^31.
  bits = 0;
  for (int f = 24; f >= 16 && bits == 0; --f)
    if (std::ldexp(wmax, f) < 0x1p21 - 1.0 &&
        255.0 * (std::ldexp(wsum, f) + cw.MaxCount) + std::ldexp(1.0, f - 1) + zone < 0x1p31)
      bits = f;
  return bits != 0;
}

// The three byte parts of W = round(w 2^bits).
struct WeightParts {
  int w0, w1, w2;
  WeightParts(double w, int bits) {
    const int64_t v = std::llround(std::ldexp(w, bits));
    w0 = int(v & 127);
    w1 = int((v >> 7) & 127);
    w2 = int((v - w0 - (w1 << 7)) >> 14);
  }
};

// The axis cw (srcW source columns) in integers; false when it does not qualify (IntegerScale),
// or there are pixels whose sums are exact or often on a boundary (see Contributions) or whose
// contributors spread wider than a group.
bool IntegerGroups(const Contributions& cw, int srcW, IntAxis& a) {
  if (!IntegerScale(cw, a.bits, a.zone, a.tapGroups)) return false;
  const int dstW = int(cw.First.size()) - 1;
  for (int i = 0; i < dstW; ++i) {
    if (cw.Limits[size_t(i)] != cw.Limit) return false;
    int lo = srcW, hi = -1;
    for (int k = cw.First[size_t(i)]; k < cw.First[size_t(i) + 1]; ++k) {
      lo = std::min(lo, int(cw.Index[size_t(k)]));
      hi = std::max(hi, int(cw.Index[size_t(k)]));
    }
    if (hi - lo >= kGroupColumns) return false;
  }
  a.bytes = true;
  const int64_t bias = (int64_t(1) << (a.bits - 1)) + a.zone;
  for (int i = 0; i < dstW && a.bytes; ++i) {
    int64_t sum = 0;
    for (int k = cw.First[size_t(i)]; k < cw.First[size_t(i) + 1]; ++k) {
      const int64_t w = std::llround(std::ldexp(cw.Weight[size_t(k)], a.bits));
      a.bytes = a.bytes && w >= 0;
      sum += w;
    }
    a.bytes = a.bytes && 255 * sum + bias < int64_t(1) << (a.bits + 8);
  }
  a.groups.clear();
  a.table.clear();
  for (int i = 0; i < dstW;) {
    IntGroup g{srcW, 3 * i, i, 0, 0};
    int hi = -1, pixels = 0;
    for (; pixels < kGroupPixels && i + pixels < dstW; ++pixels) {
      int lo2 = g.lo, hi2 = hi;
      for (int k = cw.First[size_t(i + pixels)]; k < cw.First[size_t(i + pixels) + 1]; ++k) {
        lo2 = std::min(lo2, int(cw.Index[size_t(k)]));
        hi2 = std::max(hi2, int(cw.Index[size_t(k)]));
      }
      if (pixels > 0 && hi2 - lo2 >= kGroupColumns) break;
      g.lo = lo2;
      hi = hi2;
    }
    if (hi < 0) g.lo = 0;  // no contributors at all: zero weights on column 0
    g.lanes = uint16_t((1u << (3 * pixels)) - 1);
    const int bytes = 3 * (srcW - g.lo);
    g.load = bytes >= 64 ? ~uint64_t(0) : (uint64_t(1) << bytes) - 1;
    const size_t at = a.table.size();
    a.table.resize(at + size_t(a.tapGroups) * 4 * 64, 0);
    for (int p = 0; p < pixels; ++p) {
      const int first = cw.First[size_t(i + p)], count = cw.Count(i + p);
      for (int k = 0; k < count; ++k) {
        const WeightParts w(cw.Weight[size_t(first + k)], a.bits);
        int8_t* t = a.table.data() + at + size_t(k / 4) * 4 * 64;
        for (int c = 0; c < 3; ++c) {
          const int b = 4 * (3 * p + c) + k % 4;
          t[b] = int8_t(3 * (cw.Index[size_t(first + k)] - g.lo) + c);
          t[64 + b] = int8_t(w.w0);
          t[128 + b] = int8_t(w.w1);
          t[192 + b] = int8_t(w.w2);
        }
      }
    }
    a.groups.push_back(g);
    i += pixels;
  }
  return true;
}

// Rows in[0 .. rows-1] into out[..], group by group (a group's tables stay in registers for all
// the rows); next[] (or null) are the rows of the next block, read into the caches meanwhile.
template <int TapGroups, bool Clamp>
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni,avx2,fma"))) void HorizontalRowsInt(
    const uint8_t* const* in, int rows, uint8_t* const* out, const uint8_t* const* next, const IntAxis& axis,
    const Contributions& cw) {
  const int f = axis.bits;
  // u = S + 2^(F-1) + Z, the bias added where the W0 sums start: u >> F is S rounded, except
  // where u mod 2^F < Z, and those bytes are in doubt (u mod 2^F < 2 Z) and made again anyway.
  const __m512i bias = _mm512_set1_epi32((1 << (f - 1)) + axis.zone);
  const __m512i high = _mm512_set1_epi32((1 << f) - 2 * axis.zone);  // bits 2 Z .. 2^F
  const __m128i shift = _mm_cvtsi32_si128(f);
  const __m128i up = _mm_cvtsi32_si128(24 - f);
  const __m512i tops = _mm512_set_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 63, 59, 55,
                                        51, 47, 43, 39, 35, 31, 27, 23, 19, 15, 11, 7, 3);
  const __m512i zero = _mm512_setzero_si512();
  const int8_t* table = axis.table.data();
  __mmask16 doubts[kLanes];
  for (const IntGroup& g : axis.groups) {
    __m512i pick[TapGroups], w0[TapGroups], w1[TapGroups], w2[TapGroups];
    for (int t = 0; t < TapGroups; ++t) {
      pick[t] = _mm512_loadu_si512(table + 256 * t);
      w0[t] = _mm512_loadu_si512(table + 256 * t + 64);
      w1[t] = _mm512_loadu_si512(table + 256 * t + 128);
      w2[t] = _mm512_loadu_si512(table + 256 * t + 192);
    }
    table += 256 * TapGroups;
    if (next != nullptr)
      for (int r = 0; r < kLanes; ++r) _mm_prefetch(reinterpret_cast<const char*>(next[r] + 3 * g.lo), _MM_HINT_T0);
    const int lo = 3 * g.lo, at = g.out;
    const __mmask16 lanes = g.lanes;
    for (int r = 0; r < rows; ++r) {
      const __m512i window = _mm512_maskz_loadu_epi8(g.load, in[r] + lo);
      __m512i v[TapGroups];
      for (int t = 0; t < TapGroups; ++t) v[t] = _mm512_permutexvar_epi8(pick[t], window);
      // u = ((sum W2 v) 2^7 + sum W1 v) 2^7 + sum W0 v + bias: the W1 sums start from the W2
      // sums shifted, so that one addition joins the parts.
      __m512i a2 = zero, a0 = bias;
      for (int t = 0; t < TapGroups; ++t) a2 = _mm512_dpbusd_epi32(a2, v[t], w2[t]);
      for (int t = 0; t < TapGroups; ++t) a0 = _mm512_dpbusd_epi32(a0, v[t], w0[t]);
      __m512i a1 = _mm512_slli_epi32(a2, 7);
      for (int t = 0; t < TapGroups; ++t) a1 = _mm512_dpbusd_epi32(a1, v[t], w1[t]);
      const __m512i u = _mm512_add_epi32(_mm512_slli_epi32(a1, 7), a0);
      const __mmask16 doubt = _mm512_mask_testn_epi32_mask(lanes, u, high);
      if constexpr (Clamp) {
        // Clamped to 0 before the unsigned saturation to 255.
        const __m512i clamped = _mm512_max_epi32(_mm512_sra_epi32(u, shift), zero);
        _mm_mask_storeu_epi8(out[r] + at, lanes, _mm512_cvtusepi32_epi8(clamped));
      } else {
        // 0 <= u < 2^(F+8): the byte is u's bits F .. F+7, shifted up to each lane's top byte.
        const __m512i top = _mm512_sll_epi32(u, up);
        _mm_mask_storeu_epi8(out[r] + at, lanes, _mm512_castsi512_si128(_mm512_permutexvar_epi8(tops, top)));
      }
      doubts[r] = doubt;
    }
    // After the rows: a call here does not make the compiler keep the tables on the stack.
    for (int r = 0; r < rows; ++r)
      for (unsigned m = doubts[r]; m != 0; m &= m - 1) {
        const int q = __builtin_ctz(m);
        out[r][g.out + q] = HorizontalBytePlain(in[r], cw, g.first + q / 3, q % 3);
      }
  }
}

// Scratch memory of the passes. The view resamples at the same sizes again and again, and
// memory fresh from the system costs a page fault per page when first touched (here more than the
// filtering of it), so each thread keeps its buffers from call to call, up to kKeptScratch bytes.
// A call made from a progress handler while another is running uses buffers of its own.
struct Scratch {
  std::vector<double> block;
  std::vector<float> blockF, rowsF;
  std::vector<uint8_t> bytes, band;
  std::vector<int32_t> offsets;
  std::vector<float> weightsF;
  IntAxis axis;
  size_t Capacity() const {
    return block.capacity() * sizeof(double) +
           (blockF.capacity() + rowsF.capacity() + weightsF.capacity()) * sizeof(float) +
           axis.groups.capacity() * sizeof(IntGroup) + axis.table.capacity() +
           bytes.capacity() + band.capacity() + offsets.capacity() * sizeof(int32_t);
  }
};

constexpr size_t kKeptScratch = size_t(32) << 20;

class ScratchLease {
 public:
  ScratchLease() : shared_(!busy_), s_(shared_ ? &kept_ : &own_) { busy_ = true; }
  ~ScratchLease() {
    if (!shared_) return;
    if (kept_.Capacity() > kKeptScratch) kept_ = Scratch();
    busy_ = false;
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  Scratch& Get() { return *s_; }

 private:
  static thread_local Scratch kept_;
  static thread_local bool busy_;
  bool shared_;
  Scratch own_;
  Scratch* s_;
};
thread_local Scratch ScratchLease::kept_;
thread_local bool ScratchLease::busy_ = false;

// Rows of Src's rectangle R into work rows (dstW pixels wide), with the scratch blocks kept
// from call to call.
class HorizontalPass {
 public:
  HorizontalPass(const TBitmap* Src, const TRect& R, int DstW, const Contributions& Cw, Scratch& S)
      : src_(Src), r_(R), dstW_(DstW), cw_(Cw), fast_(proc_pvt::gResampleAVX2 && Cw.Limit > 0.0f) {
    const size_t n = size_t(R.Width()) * 3 * kLanes;
    if (fast_ && IntegerGroups(Cw, R.Width(), S.axis)) {
      axis_ = &S.axis;
      const bool clamp = !axis_->bytes;
      int_fn_ = axis_->tapGroups == 1 ? (clamp ? HorizontalRowsInt<1, true> : HorizontalRowsInt<1, false>)
                : axis_->tapGroups == 2 ? (clamp ? HorizontalRowsInt<2, true> : HorizontalRowsInt<2, false>)
                                        : (clamp ? HorizontalRowsInt<3, true> : HorizontalRowsInt<3, false>);
    } else if (fast_) {
      S.blockF.resize(n);
      S.bytes.resize(size_t(DstW) * 3 * kLanes + 8);
      // Every pixel's taps padded to MaxCount with zero weights at its last contributor (or
      // column 0).
      taps_ = std::max(Cw.MaxCount, 1);
      S.offsets.assign(size_t(DstW) * size_t(taps_), 0);
      S.weightsF.assign(size_t(DstW) * size_t(taps_), 0.0f);
      for (int i = 0; i < DstW; ++i) {
        int32_t* o = S.offsets.data() + size_t(i) * size_t(taps_);
        float* w = S.weightsF.data() + size_t(i) * size_t(taps_);
        const int first = Cw.First[size_t(i)], count = Cw.Count(i);
        for (int t = 0; t < taps_; ++t) {
          const int k = first + std::min(t, count - 1);
          o[t] = count == 0 ? 0 : Cw.Index[size_t(k)] * 3 * kLanes;
          w[t] = t < count ? Cw.WeightF[size_t(k)] : 0.0f;
        }
      }
      block_fn_ = HorizontalBlockFor(taps_, std::integer_sequence<int, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12>());
      blockF_ = S.blockF.data();
      weightsF_ = S.weightsF.data();
      bytes_ = S.bytes.data();
      offsets_ = S.offsets.data();
    } else {
      S.block.resize(n);
      block_ = S.block.data();
    }
  }

  // Rows y0 .. to-1 of R (up to 8 of them), to be read ahead.
  Ahead AheadOf(int y0, int to) const {
    Ahead a;
    const int n = std::min(kLanes, to - y0);
    if (n <= 0) return a;
    for (int l = 0; l < kLanes; ++l) a.rows[l] = src_->ScanLine(r_.Top + y0 + std::min(l, n - 1)) + size_t(r_.Left) * 3;
    a.lines = (r_.Width() * 3 + 63) / 64 + 1;  // the rows need not start on a line
    a.perPixel = (a.lines * kLanes + dstW_ - 1) / dstW_;
    return a;
  }

  // Rows from .. to-1 of R into out(j), the work row of R's row j; done(j) after each row.
  template <typename Out, typename Done>
  void Rows(int from, int to, const Out& out, const Done& done) {
    const int srcW = r_.Width();
    for (int y0 = from; y0 < to; y0 += kLanes) {
      const int n = std::min(kLanes, to - y0);
      const uint8_t* in[kLanes];
      uint8_t* o[kLanes];
      for (int l = 0; l < n; ++l) {
        in[l] = src_->ScanLine(r_.Top + y0 + l) + size_t(r_.Left) * 3;
        o[l] = out(y0 + l);
      }
      if (int_fn_ != nullptr) {
        const uint8_t* next[kLanes];
        const int more = std::min(kLanes, to - y0 - kLanes);
        for (int l = 0; l < kLanes && more > 0; ++l)
          next[l] = src_->ScanLine(r_.Top + y0 + kLanes + std::min(l, more - 1)) + size_t(r_.Left) * 3;
        int_fn_(in, n, o, more > 0 ? next : nullptr, *axis_, cw_);
      } else if (fast_) {
        InterleaveFloat(in, n, srcW, blockF_);
        block_fn_(blockF_, cw_, offsets_, weightsF_, taps_, dstW_, bytes_, n, AheadOf(y0 + kLanes, to));
        Deinterleave(bytes_, dstW_ * 3, o, n);
      } else {
        Interleave(in, n, srcW, block_);
        HorizontalBlockPlain(block_, cw_, dstW_, o, n);
      }
      for (int l = 0; l < n; ++l) done(y0 + l);
    }
  }

 private:
  const TBitmap* src_;
  TRect r_;
  int dstW_;
  const Contributions& cw_;
  bool fast_;
  double* block_ = nullptr;
  float* blockF_ = nullptr;
  uint8_t* bytes_ = nullptr;
  const int32_t* offsets_ = nullptr;
  const float* weightsF_ = nullptr;
  int taps_ = 0;
  HorizontalBlockFn block_fn_ = nullptr;
  // The sums in integers.
  void (*int_fn_)(const uint8_t* const*, int, uint8_t* const*, const uint8_t* const*, const IntAxis&,
                  const Contributions&) = nullptr;
  const IntAxis* axis_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Vertical pass: work rows into Dst rows. Every byte of a destination row is one sum over the
// contributing work rows.

// Bytes from .. to-1 of a destination row by the plain formula. Kept out of line: the
// single-precision loops, compiled with FMA, call it for bytes they cannot decide, and a fused
// multiply-add would round differently.
__attribute__((noinline)) void VerticalRowPlain(const uint8_t* const* rows, const double* weight, int n, int from,
                                                int to, uint8_t* out) {
  for (int x = from; x < to; ++x) {
    double acc = 0.0;
    for (int k = 0; k < n; ++k) acc += weight[k] * double(rows[k][x]);
    out[x] = ClampRound(acc);
  }
}

// Work rows as floats, each converted once while the destination rows that need it are made
// (a work row feeds a few consecutive destination rows). Rows are padded with zeros to a
// multiple of 8 floats.
class FloatRows {
 public:
  FloatRows(int Slots, int Len, std::vector<float>& Data)
      : len_(Len), stride_((size_t(Len) + 7) & ~size_t(7)), row_(size_t(Slots), -1), used_(size_t(Slots), -1) {
    Data.resize(size_t(Slots) * stride_);
    data_ = Data.data();
  }
  // Work row j (its bytes p), for destination row y: a slot that no row of y uses is reused,
  // the one used longest ago (there is one, as there are at least as many slots as taps).
  const float* Get(int j, const uint8_t* p, int y) {
    size_t s = 0;
    for (size_t t = 0; t < row_.size(); ++t) {
      if (row_[t] == j) {
        used_[t] = y;
        return Slot(t);
      }
      if (used_[t] < used_[s]) s = t;
    }
    row_[s] = j;
    used_[s] = y;
    Convert(p, Slot(s));
    return Slot(s);
  }

 private:
  float* Slot(size_t s) { return data_ + s * stride_; }
  __attribute__((target("avx2,fma"))) void Convert(const uint8_t* p, float* d) const {
    int x = 0;
    for (; x + 8 <= len_; x += 8)
      _mm256_storeu_ps(d + x, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(
                                  reinterpret_cast<const __m128i*>(p + x)))));
    for (; size_t(x) < stride_; ++x) d[x] = x < len_ ? float(p[x]) : 0.0f;
  }

  int len_;
  size_t stride_;
  float* data_;
  std::vector<int> row_, used_;
};

// Bytes x + b of a destination row for the bits b of mask (below 8) by the plain formula, 8 sums
// side by side in double precision (where the rows have 8 bytes from x on); as HorizontalPixelExact,
// compiled without FMA and kept out of line.
__attribute__((target("avx2"), noinline)) void VerticalExact8(const uint8_t* const* rows, const double* weight, int n,
                                                              int x, int len, unsigned mask, uint8_t* out) {
  if (x + 8 > len) {
    for (; mask != 0; mask &= mask - 1) {
      const int b = x + __builtin_ctz(mask);
      VerticalRowPlain(rows, weight, n, b, b + 1, out);
    }
    return;
  }
  __m256d a0 = _mm256_setzero_pd(), a1 = a0;
  for (int k = 0; k < n; ++k) {
    const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + x)));
    const __m256d w = _mm256_set1_pd(weight[k]);
    a0 = _mm256_add_pd(a0, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm256_castsi256_si128(v))));
    a1 = _mm256_add_pd(a1, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1))));
  }
  StoreMasked(out + x, uint64_t(_mm_cvtsi128_si64(ClampRound8(a0, a1))), mask);
}

// A whole destination row by the plain formula, 16 sums side by side in double precision; as
// HorizontalPixelExact, compiled without FMA and kept out of line.
__attribute__((target("avx2"), noinline)) void VerticalRowExact(const uint8_t* const* rows, const double* weight,
                                                                int n, int len, uint8_t* out) {
  int x = 0;
  for (; x + 16 <= len; x += 16) {
    __m256d a[4];
    for (int j = 0; j < 4; ++j) a[j] = _mm256_setzero_pd();
    for (int k = 0; k < n; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
      const __m256d w = _mm256_set1_pd(weight[k]);
      a[0] = _mm256_add_pd(a[0], _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(v))));
      a[1] = _mm256_add_pd(a[1], _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4)))));
      a[2] = _mm256_add_pd(a[2], _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8)))));
      a[3] = _mm256_add_pd(a[3], _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12)))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_unpacklo_epi64(ClampRound8(a[0], a[1]), ClampRound8(a[2], a[3])));
  }
  VerticalRowPlain(rows, weight, n, x, len, out);
}

// One destination row in single precision, 32 then 8 bytes at a time (the last group through a
// buffer, as the float rows are padded but the destination row is not); the bytes it cannot
// decide are taken from the plain formula on the work rows.
__attribute__((target("avx2,fma"))) void VerticalRowFloat(const float* const* rowsF, const uint8_t* const* rows,
                                                          const float* weightF, const double* weight, int n, int len,
                                                          float limitF, uint8_t* out) {
  const __m256 limit = _mm256_set1_ps(limitF);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  auto fix = [&](unsigned ambiguous, int x) {
    for (; ambiguous != 0; ambiguous >>= 8, x += 8)
      if ((ambiguous & 0xFF) != 0) VerticalExact8(rows, weight, n, x, len, ambiguous & 0xFF, out);
  };
  int x = 0;
  for (; x + 32 <= len; x += 32) {
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    for (int k0 = 0; k0 < n; k0 += kChain) {
      __m256 c0 = _mm256_setzero_ps(), c1 = c0, c2 = c0, c3 = c0;
      const int k1 = std::min(k0 + kChain, n);
      for (int k = k0; k < k1; ++k) {
        const __m256 w = _mm256_set1_ps(weightF[k]);
        const float* p = rowsF[k] + x;
        c0 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p), c0);
        c1 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 8), c1);
        c2 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 16), c2);
        c3 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 24), c3);
      }
      a0 = _mm256_add_ps(a0, c0);
      a1 = _mm256_add_ps(a1, c1);
      a2 = _mm256_add_ps(a2, c2);
      a3 = _mm256_add_ps(a3, c3);
    }
    const Rounded r0 = RoundChecked(a0, limit), r1 = RoundChecked(a1, limit), r2 = RoundChecked(a2, limit),
                  r3 = RoundChecked(a3, limit);
    const __m256i i01 = _mm256_packs_epi32(r0.value, r1.value), i23 = _mm256_packs_epi32(r2.value, r3.value);
    // The packs work within 128-bit halves: the 4-byte groups come out in the order 0 2 4 6 1 3 5 7.
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(i01, i23), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), bytes);
    if (Mask(_mm256_or_ps(_mm256_or_ps(r0.doubt, r1.doubt), _mm256_or_ps(r2.doubt, r3.doubt))) != 0)
      fix(Mask(r0.doubt) | Mask(r1.doubt) << 8 | Mask(r2.doubt) << 16 | Mask(r3.doubt) << 24, x);
  }
  for (; x < len; x += 8) {
    __m256 a = _mm256_setzero_ps();
    for (int k0 = 0; k0 < n; k0 += kChain) {
      __m256 c = _mm256_setzero_ps();
      const int k1 = std::min(k0 + kChain, n);
      for (int k = k0; k < k1; ++k) c = _mm256_fmadd_ps(_mm256_set1_ps(weightF[k]), _mm256_loadu_ps(rowsF[k] + x), c);
      a = _mm256_add_ps(a, c);
    }
    const Rounded ra = RoundChecked(a, limit);
    const __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(ra.value), _mm256_extracti128_si256(ra.value, 1));
    const int count = std::min(8, len - x);
    alignas(16) uint8_t buf[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(buf), _mm_packus_epi16(w, w));
    std::memcpy(out + x, buf, size_t(count));
    fix(Mask(ra.doubt) & ((1u << count) - 1), x);
  }
}

// One destination row in integers (see the horizontal pass), 64 bytes at a time: the bytes of 4
// work rows are interleaved so that every 32-bit lane holds one byte position's 4 taps, and
// VPDPBUSD adds their products with the 4 weights' parts. Within each 128-bit part, lane e of
// register q holds byte 4q + e, so the packing puts the bytes back in order. The positions of
// the bytes in doubt go to doubt[] (position << 16 | mask of 16 lanes); returns their count.
template <int TapGroups>
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni,avx2,fma"))) int VerticalRowInt(
    const uint8_t* const* rows, const uint32_t* parts, int len, int bits, int zone, uint8_t* out, uint64_t* doubt) {
  // u = S + 2^(F-1) + Z, as in the horizontal pass: the bias is where the W0 sums start.
  const __m512i bias = _mm512_set1_epi32((1 << (bits - 1)) + zone);
  const __m512i high = _mm512_set1_epi32((1 << bits) - 2 * zone);
  const __m128i shift = _mm_cvtsi32_si128(bits);
  __m512i w[TapGroups][3];
  for (int t = 0; t < TapGroups; ++t)
    for (int p = 0; p < 3; ++p) w[t][p] = _mm512_set1_epi32(int(parts[3 * t + p]));
  int doubts = 0;
  for (int x = 0; x < len; x += 64) {
    const __mmask64 load = len - x >= 64 ? ~__mmask64(0) : (__mmask64(1) << (len - x)) - 1;
    __m512i q[TapGroups][4];
    for (int t = 0; t < TapGroups; ++t) {
      const __m512i a = _mm512_maskz_loadu_epi8(load, rows[4 * t] + x);
      const __m512i b = _mm512_maskz_loadu_epi8(load, rows[4 * t + 1] + x);
      const __m512i c = _mm512_maskz_loadu_epi8(load, rows[4 * t + 2] + x);
      const __m512i d = _mm512_maskz_loadu_epi8(load, rows[4 * t + 3] + x);
      const __m512i abLo = _mm512_unpacklo_epi8(a, b), abHi = _mm512_unpackhi_epi8(a, b);
      const __m512i cdLo = _mm512_unpacklo_epi8(c, d), cdHi = _mm512_unpackhi_epi8(c, d);
      q[t][0] = _mm512_unpacklo_epi16(abLo, cdLo);
      q[t][1] = _mm512_unpackhi_epi16(abLo, cdLo);
      q[t][2] = _mm512_unpacklo_epi16(abHi, cdHi);
      q[t][3] = _mm512_unpackhi_epi16(abHi, cdHi);
    }
    __m512i rounded[4];
    __mmask16 near[4];
    for (int m = 0; m < 4; ++m) {
      // u = ((sum W2 v) 2^7 + sum W1 v) 2^7 + sum W0 v + bias.
      __m512i a2 = _mm512_setzero_si512(), a0 = bias;
      for (int t = 0; t < TapGroups; ++t) a2 = _mm512_dpbusd_epi32(a2, q[t][m], w[t][2]);
      for (int t = 0; t < TapGroups; ++t) a0 = _mm512_dpbusd_epi32(a0, q[t][m], w[t][0]);
      __m512i a1 = _mm512_slli_epi32(a2, 7);
      for (int t = 0; t < TapGroups; ++t) a1 = _mm512_dpbusd_epi32(a1, q[t][m], w[t][1]);
      const __m512i u = _mm512_add_epi32(_mm512_slli_epi32(a1, 7), a0);
      rounded[m] = _mm512_sra_epi32(u, shift);
      near[m] = _mm512_testn_epi32_mask(u, high);
    }
    const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(rounded[0], rounded[1]),
                                              _mm512_packs_epi32(rounded[2], rounded[3]));
    _mm512_mask_storeu_epi8(out + x, load, bytes);
    for (int m = 0; m < 4; ++m)
      if (near[m] != 0) doubt[doubts++] = uint64_t(x + 4 * m) << 16 | near[m];
  }
  return doubts;
}

// Destination rows from work rows, with the float rows and pointer lists kept from row to row.
class VerticalPass {
 public:
  VerticalPass(const Contributions& Ch, int Len, Scratch& S)
      : ch_(Ch), len_(Len), fast_(proc_pvt::gResampleAVX2 && Ch.Limit > 0.0f) {
    if (fast_) cache_ = std::make_unique<FloatRows>(Ch.MaxCount, Len, S.rowsF);
    int tapGroups = 0;
    if (fast_ && IntegerScale(Ch, bits_, zone_, tapGroups)) {
      int_fn_ = tapGroups == 1 ? VerticalRowInt<1> : tapGroups == 2 ? VerticalRowInt<2> : VerticalRowInt<3>;
      doubt_.resize(size_t(Len) / 16 + 8);
    }
  }

  // Destination row y into d, from in(j), the work row j.
  template <typename In>
  void Row(int y, const In& in, uint8_t* d) {
    const int n = ch_.Count(y), first = ch_.First[size_t(y)];
    const int32_t* index = ch_.Index.data() + first;
    rows_.resize(size_t(n));
    for (int k = 0; k < n; ++k) rows_[size_t(k)] = in(index[k]);
    if (fast_ && ch_.Limits[size_t(y)] < 0.0f) {
      VerticalRowExact(rows_.data(), ch_.Weight.data() + first, n, len_, d);
    } else if (int_fn_ != nullptr && ch_.Limits[size_t(y)] == ch_.Limit) {
      // Taps padded to groups of 4 with zero weights on the first row.
      const uint8_t* rows[4 * kMaxTapGroups];
      uint32_t parts[3 * kMaxTapGroups] = {};
      for (int k = 0; k < 4 * kMaxTapGroups; ++k) rows[k] = rows_[size_t(k < n ? k : 0)];
      for (int k = 0; k < n; ++k) {
        const WeightParts w(ch_.Weight[size_t(first + k)], bits_);
        const int shift = 8 * (k % 4);
        parts[3 * (k / 4)] |= uint32_t(uint8_t(w.w0)) << shift;
        parts[3 * (k / 4) + 1] |= uint32_t(uint8_t(w.w1)) << shift;
        parts[3 * (k / 4) + 2] |= uint32_t(uint8_t(w.w2)) << shift;
      }
      const int doubts = int_fn_(rows, parts, len_, bits_, zone_, d, doubt_.data());
      for (int i = 0; i < doubts; ++i)
        for (unsigned m = unsigned(doubt_[size_t(i)] & 0xFFFF); m != 0; m &= m - 1) {
          // Bit 4 l + e: byte e of the 16-byte part l of the 64 bytes.
          const int b = int(doubt_[size_t(i)] >> 16) + 16 * (__builtin_ctz(m) / 4) + __builtin_ctz(m) % 4;
          if (b < len_) VerticalRowPlain(rows_.data(), ch_.Weight.data() + first, n, b, b + 1, d);
        }
    } else if (fast_) {
      rowsF_.resize(size_t(n));
      for (int k = 0; k < n; ++k) rowsF_[size_t(k)] = cache_->Get(index[k], rows_[size_t(k)], y);
      VerticalRowFloat(rowsF_.data(), rows_.data(), ch_.WeightF.data() + first, ch_.Weight.data() + first, n, len_,
                       ch_.Limits[size_t(y)], d);
    } else {
      VerticalRowPlain(rows_.data(), ch_.Weight.data() + first, n, 0, len_, d);
    }
  }

 private:
  const Contributions& ch_;
  int len_;
  bool fast_;
  std::unique_ptr<FloatRows> cache_;
  std::vector<const uint8_t*> rows_;
  std::vector<const float*> rowsF_;
  // The sums in integers.
  int (*int_fn_)(const uint8_t* const*, const uint32_t*, int, int, int, uint8_t*, uint64_t*) = nullptr;
  int bits_ = 0, zone_ = 0;
  std::vector<uint64_t> doubt_;
};

// Both passes filtered, without progress reports: the work rows are made a band at a time and
// used while they are in the processor's caches, instead of a whole work image (for a large
// reduction tens of megabytes, written once and read once). A band holds kBandRows new work rows
// and the earlier ones that destination rows still to be made read.
constexpr int kBandRows = 64;

void Banded(HorizontalPass& h, VerticalPass& v, const Contributions& ch, int srcH, TBitmap* Dst,
            std::vector<uint8_t>& band) {
  const int dstH = Dst->GetHeight();
  const size_t len = size_t(Dst->GetWidth()) * 3;
  // The last work row each destination row reads, and the first one it or any later row reads.
  std::vector<int> last(static_cast<size_t>(dstH)), low(static_cast<size_t>(dstH) + 1, srcH);
  for (int y = dstH - 1; y >= 0; --y) {
    int lo = srcH, hi = -1;
    for (int k = ch.First[size_t(y)]; k < ch.First[size_t(y) + 1]; ++k) {
      lo = std::min(lo, int(ch.Index[size_t(k)]));
      hi = std::max(hi, int(ch.Index[size_t(k)]));
    }
    last[size_t(y)] = hi;
    low[size_t(y)] = std::min(lo, low[size_t(y) + 1]);
  }
  int base = 0, made = 0;  // the band holds work rows base .. made-1
  const auto row = [&](int j) { return band.data() + size_t(j - base) * len; };
  for (int y = 0; y < dstH;) {
    const int keep = std::min(low[size_t(y)], made);
    if (keep > base) std::memmove(band.data(), row(keep), size_t(made - keep) * len);
    base = std::max(base, keep);
    const int to = std::min(srcH, made + kBandRows);
    if (band.size() < size_t(to - base) * len) band.resize(size_t(to - base) * len);
    h.Rows(made, to, row, [](int) {});
    made = to;
    for (; y < dstH && (last[size_t(y)] < made || made == srcH); ++y) v.Row(y, row, Dst->ScanLine(y));
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

  const bool filterX = !Quick || growX, filterY = !Quick || growY;
  const Contributions none;
  const auto cwList = filterX ? ContributionsFor(Filter, srcW, dstW, limit) : nullptr;
  const auto chList = filterY ? ContributionsFor(Filter, srcH, dstH, limit) : nullptr;
  const Contributions& cw = cwList ? *cwList : none;
  const Contributions& ch = chList ? *chList : none;
  ScratchLease scratch;
  std::optional<HorizontalPass> h;
  std::optional<VerticalPass> v;
  if (filterX) h.emplace(Src, R, dstW, cw, scratch.Get());
  if (filterY) v.emplace(ch, dstW * 3, scratch.Get());
  if (h && v && !OnProgress) {
    Banded(*h, *v, ch, srcH, Dst, scratch.Get().band);
    return;
  }
  // The whole work image: the horizontal pass reports progress row by row, then the vertical one
  // column by column.
  TBitmap work;
  work.Allocate(dstW, srcH, pf24bit);
  const auto workRow = [&](int j) { return work.ScanLine(j); };
  if (h) {
    h->Rows(0, srcH, workRow, [&](int j) {
      if (OnProgress) OnProgress(Sender, Trunc(double(j + 1) * 100.0 / total));
    });
  } else {
    _CXBmpStretch(Src, &work);
  }
  if (v) {
    int reported = 0;
    for (int y = 0; y < dstH; ++y) {
      v->Row(y, workRow, Dst->ScanLine(y));
      if (OnProgress) {
        // The columns a column-by-column walk would have finished by now.
        const int done = int(int64_t(dstW) * (y + 1) / dstH);
        for (int x = reported + 1; x <= done; ++x) OnProgress(Sender, Trunc(double(srcH + x) * 100.0 / total));
        reported = done;
      }
    }
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
