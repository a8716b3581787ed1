#include "corvex/proc/cxfft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace corvex {

namespace {
int NextPowerOfTwo(int v) {
  int n = 1;
  while (n < v) n <<= 1;
  return n;
}
}  // namespace

std::vector<const TCXComplexPlane*> TCXFtImage::Planes() const {
  std::vector<const TCXComplexPlane*> p;
  for (const TCXComplexPlane* q : {&Red_, &Green_, &Blue_, &Gray_})
    if (!q->Empty()) p.push_back(q);
  return p;
}

std::vector<TCXComplexPlane*> TCXFtImage::Planes() {
  std::vector<TCXComplexPlane*> p;
  for (TCXComplexPlane* q : {&Red_, &Green_, &Blue_, &Gray_})
    if (!q->Empty()) p.push_back(q);
  return p;
}

void TCXFtImage::fftinit(int N) {
  if (N < 1) N = 1;
  TransformLength_ = N;
  Log2N_ = Trunc(std::log(double(N)) / std::log(2.0) + 0.5);
  Twiddle_.resize(size_t(N));
  for (int i = 0; i < N; ++i) Twiddle_[size_t(i)] = std::sin(2 * std::numbers::pi * i / N);
  BitRev_.resize(size_t(N));
  for (int i = 0; i < N; ++i) BitRev_[size_t(i)] = bitrev(i);
  BlockSizes_.resize(size_t(Log2N_) + 1);
  for (int i = 0; i <= Log2N_; ++i) BlockSizes_[size_t(i)] = 1 << i;
  Scale_ = 1.0 / std::sqrt(double(N));
  StageCos_.assign(size_t(N > 1 ? N - 1 : 0), 0.0f);
  StageSin_ = StageSinNeg_ = StageCos_;
  for (int len = 2; len <= N; len <<= 1) {
    const int half = len >> 1, step = N / len;
    for (int k = 0; k < half; ++k) {
      const int t = k * step;
      const double c = N >= 4 ? Twiddle_[size_t((t + N / 4) % N)] : std::cos(2 * std::numbers::pi * t / N);
      const size_t at = size_t(half - 1 + k);
      StageCos_[at] = float(c);
      StageSin_[at] = float(Twiddle_[size_t(t)]);
      StageSinNeg_[at] = float(-Twiddle_[size_t(t)]);
    }
  }
}

int TCXFtImage::bitrev(int i) const {
  int r = 0;
  for (int b = 0; b < Log2N_; ++b)
    if (i & (1 << b)) r |= 1 << (Log2N_ - 1 - b);
  return r;
}

namespace {

// One block of butterflies: a = a + w b, b = a - w b over consecutive points, w = cs + i sn.
// The four halves never overlap (real and imaginary parts are separate runs), which lets the
// compiler use vector instructions; the arithmetic of each point is the same as one at a time.
void Butterflies(float* __restrict ar, float* __restrict ai, float* __restrict br, float* __restrict bi,
                 const float* __restrict cs, const float* __restrict sn, int half) {
  for (int k = 0; k < half; ++k) {
    const float cf = cs[k], sf = sn[k];
    const float vr = br[k] * cf - bi[k] * sf;
    const float vi = br[k] * sf + bi[k] * cf;
    br[k] = ar[k] - vr;
    bi[k] = ai[k] - vi;
    ar[k] += vr;
    ai[k] += vi;
  }
}

}  // namespace

void TCXFtImage::fft(float* Re, float* Im, int Sign) const {
  const int N = TransformLength_;
  for (int i = 0; i < N; ++i) {
    const int j = BitRev_[size_t(i)];
    if (i < j) {
      std::swap(Re[i], Re[j]);
      std::swap(Im[i], Im[j]);
    }
  }
  // Butterflies of growing blocks; the twiddle of step t is cos(2 pi t / N) + i Sign sin(...).
  // With the stage tables (Sign +1 or -1), each block's butterflies run over consecutive
  // points; otherwise the factors are computed per butterfly. Both do the same arithmetic.
  const bool tables = (Sign == 1 || Sign == -1) && N >= 2 && StageCos_.size() == size_t(N - 1);
  for (int len = 2; len <= N; len <<= 1) {
    const int half = len >> 1, step = N / len;
    if (tables) {
      const float* cs = StageCos_.data() + (half - 1);
      const float* sn = (Sign < 0 ? StageSinNeg_ : StageSin_).data() + (half - 1);
      if (half < 8) {  // short blocks: the long run is across them
        for (int k = 0; k < half; ++k) {
          const float cf = cs[k], sf = sn[k];
          for (int i = k; i < N; i += len) {
            const int j = i + half;
            const float vr = Re[j] * cf - Im[j] * sf;
            const float vi = Re[j] * sf + Im[j] * cf;
            Re[j] = Re[i] - vr;
            Im[j] = Im[i] - vi;
            Re[i] += vr;
            Im[i] += vi;
          }
        }
        continue;
      }
      for (int i0 = 0; i0 < N; i0 += len) Butterflies(Re + i0, Im + i0, Re + i0 + half, Im + i0 + half, cs, sn, half);
      continue;
    }
    for (int k = 0; k < half; ++k) {
      const int t = k * step;
      const double s = Sign * Twiddle_[size_t(t)];
      // The cosine is the sine a quarter turn on; below 4 points there is no quarter of the table.
      const double c = N >= 4 ? Twiddle_[size_t((t + N / 4) % N)] : std::cos(2 * std::numbers::pi * t / N);
      const float cf = float(c), sf = float(s);
      for (int i = k; i < N; i += len) {
        const int j = i + half;
        const float vr = Re[j] * cf - Im[j] * sf;
        const float vi = Re[j] * sf + Im[j] * cf;
        Re[j] = Re[i] - vr;
        Im[j] = Im[i] - vi;
        Re[i] += vr;
        Im[i] += vi;
      }
    }
  }
  const float sc = float(Scale_);
  for (int i = 0; i < N; ++i) {
    Re[i] *= sc;
    Im[i] *= sc;
  }
}

namespace {

// The 2-D transform runs kLanes one-dimensional transforms at once: a group's buffer holds point
// i of every lane at [i * kLanes, (i + 1) * kLanes), so that each butterfly is one short vector
// operation across the lanes, with the arithmetic of the one-dimensional transform.
constexpr int kLanes = 8;

inline void LaneButterfly(float* __restrict ar, float* __restrict ai, float* __restrict br, float* __restrict bi,
                          float cf, float sf) {
#if defined(__SSE2__)
  // Written out in vector instructions (the compiler otherwise vectorises across butterflies
  // with shuffles); the multiplications, subtractions and additions are the scalar ones.
  const __m128 c = _mm_set1_ps(cf), s = _mm_set1_ps(sf);
  for (int g = 0; g < kLanes; g += 4) {
    const __m128 xr = _mm_loadu_ps(br + g), xi = _mm_loadu_ps(bi + g);
    const __m128 vr = _mm_sub_ps(_mm_mul_ps(xr, c), _mm_mul_ps(xi, s));
    const __m128 vi = _mm_add_ps(_mm_mul_ps(xr, s), _mm_mul_ps(xi, c));
    const __m128 yr = _mm_loadu_ps(ar + g), yi = _mm_loadu_ps(ai + g);
    _mm_storeu_ps(br + g, _mm_sub_ps(yr, vr));
    _mm_storeu_ps(bi + g, _mm_sub_ps(yi, vi));
    _mm_storeu_ps(ar + g, _mm_add_ps(yr, vr));
    _mm_storeu_ps(ai + g, _mm_add_ps(yi, vi));
  }
#else
  for (int g = 0; g < kLanes; ++g) {
    const float vr = br[g] * cf - bi[g] * sf;
    const float vi = br[g] * sf + bi[g] * cf;
    br[g] = ar[g] - vr;
    bi[g] = ai[g] - vi;
    ar[g] += vr;
    ai[g] += vi;
  }
#endif
}

// Point x of lane g into Buf[rev[x] * kLanes + g], and back in natural order: the rows of a
// group to and from the interleaved buffer, in 4 x 4 blocks through vector registers.
void Interleave(const float* const* Src, float* Buf, const int* rev, int N) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 4 <= N; x += 4)
    for (int g = 0; g < kLanes; g += 4) {
      __m128 a = _mm_loadu_ps(Src[g] + x), b = _mm_loadu_ps(Src[g + 1] + x);
      __m128 c = _mm_loadu_ps(Src[g + 2] + x), d = _mm_loadu_ps(Src[g + 3] + x);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      _mm_storeu_ps(Buf + size_t(rev[x]) * kLanes + g, a);
      _mm_storeu_ps(Buf + size_t(rev[x + 1]) * kLanes + g, b);
      _mm_storeu_ps(Buf + size_t(rev[x + 2]) * kLanes + g, c);
      _mm_storeu_ps(Buf + size_t(rev[x + 3]) * kLanes + g, d);
    }
#endif
  for (; x < N; ++x)
    for (int g = 0; g < kLanes; ++g) Buf[size_t(rev[x]) * kLanes + size_t(g)] = Src[g][x];
}

void Deinterleave(const float* Buf, float* const* Dst, int N) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 4 <= N; x += 4)
    for (int g = 0; g < kLanes; g += 4) {
      __m128 a = _mm_loadu_ps(Buf + size_t(x) * kLanes + g), b = _mm_loadu_ps(Buf + size_t(x + 1) * kLanes + g);
      __m128 c = _mm_loadu_ps(Buf + size_t(x + 2) * kLanes + g), d = _mm_loadu_ps(Buf + size_t(x + 3) * kLanes + g);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      _mm_storeu_ps(Dst[g] + x, a);
      _mm_storeu_ps(Dst[g + 1] + x, b);
      _mm_storeu_ps(Dst[g + 2] + x, c);
      _mm_storeu_ps(Dst[g + 3] + x, d);
    }
#endif
  for (; x < N; ++x)
    for (int g = 0; g < kLanes; ++g) Dst[g][x] = Buf[size_t(x) * kLanes + size_t(g)];
}

}  // namespace

void TCXFtImage::GroupTransform(float* __restrict Re, float* __restrict Im, int Sign) const {
  const int N = TransformLength_;
  for (int len = 2; len <= N; len <<= 1) {
    const int half = len >> 1;
    const float* cs = StageCos_.data() + (half - 1);
    const float* sn = (Sign < 0 ? StageSinNeg_ : StageSin_).data() + (half - 1);
    for (int i0 = 0; i0 < N; i0 += len)
      for (int k = 0; k < half; ++k) {
        float* ar = Re + size_t(i0 + k) * kLanes;
        float* ai = Im + size_t(i0 + k) * kLanes;
        LaneButterfly(ar, ai, ar + size_t(half) * kLanes, ai + size_t(half) * kLanes, cs[k], sn[k]);
      }
  }
  const float sc = float(Scale_);
  for (size_t i = 0; i < size_t(N) * kLanes; ++i) {
    Re[i] *= sc;
    Im[i] *= sc;
  }
}

void TCXFtImage::fft2d(TCXComplexPlane& Plane, bool Progress, int Sign, int PlaneIndex, int PlaneCount) const {
  const int N = Plane.GetSize();
  const double factor = 100.0 / (double(PlaneCount) * N);
  const bool tables =
      (Sign == 1 || Sign == -1) && N >= kLanes && N == TransformLength_ && StageCos_.size() == size_t(N - 1);
  if (tables) {
    // Groups of kLanes rows, then of kLanes columns, each gathered in bit-reversed order into a
    // buffer small enough for the first-level cache.
    std::vector<float> buffer(size_t(N) * kLanes * 2);
    float* re = buffer.data();
    float* im = re + size_t(N) * kLanes;
    const int* rev = BitRev_.data();
    for (int y0 = 0; y0 < N; y0 += kLanes) {
      const float* srcRe[kLanes];
      const float* srcIm[kLanes];
      for (int g = 0; g < kLanes; ++g) srcRe[g] = Plane.Re(y0 + g), srcIm[g] = Plane.Im(y0 + g);
      Interleave(srcRe, re, rev, N);
      Interleave(srcIm, im, rev, N);
      GroupTransform(re, im, Sign);
      float* dstRe[kLanes];
      float* dstIm[kLanes];
      for (int g = 0; g < kLanes; ++g) dstRe[g] = Plane.Re(y0 + g), dstIm[g] = Plane.Im(y0 + g);
      Deinterleave(re, dstRe, N);
      Deinterleave(im, dstIm, N);
    }
    for (int x0 = 0; x0 < N; x0 += kLanes) {
      for (int y = 0; y < N; ++y) {
        std::memcpy(re + size_t(rev[y]) * kLanes, Plane.Re(y) + x0, kLanes * sizeof(float));
        std::memcpy(im + size_t(rev[y]) * kLanes, Plane.Im(y) + x0, kLanes * sizeof(float));
      }
      GroupTransform(re, im, Sign);
      for (int y = 0; y < N; ++y) {
        std::memcpy(Plane.Re(y) + x0, re + size_t(y) * kLanes, kLanes * sizeof(float));
        std::memcpy(Plane.Im(y) + x0, im + size_t(y) * kLanes, kLanes * sizeof(float));
      }
      if (Progress && OnProgress)
        for (int x = x0; x < x0 + kLanes; ++x)
          OnProgress(const_cast<TCXFtImage*>(this), Trunc(factor * x + factor * PlaneIndex * N));
    }
    return;
  }
  for (int y = 0; y < N; ++y) fft(Plane.Re(y), Plane.Im(y), Sign);
  // Columns in groups of kGroup: copying a group out reads whole cache lines of every row,
  // where one column at a time would fetch a line per sample.
  constexpr int kGroup = 16;
  std::vector<float> re(size_t(N) * kGroup), im(size_t(N) * kGroup);
  for (int x0 = 0; x0 < N; x0 += kGroup) {
    const int g = std::min(kGroup, N - x0);
    for (int y = 0; y < N; ++y) {
      const float* r = Plane.Re(y) + x0;
      const float* i = Plane.Im(y) + x0;
      for (int c = 0; c < g; ++c) {
        re[size_t(c) * size_t(N) + size_t(y)] = r[c];
        im[size_t(c) * size_t(N) + size_t(y)] = i[c];
      }
    }
    for (int c = 0; c < g; ++c) fft(re.data() + size_t(c) * size_t(N), im.data() + size_t(c) * size_t(N), Sign);
    for (int y = 0; y < N; ++y) {
      float* r = Plane.Re(y) + x0;
      float* i = Plane.Im(y) + x0;
      for (int c = 0; c < g; ++c) {
        r[c] = re[size_t(c) * size_t(N) + size_t(y)];
        i[c] = im[size_t(c) * size_t(N) + size_t(y)];
      }
    }
    if (Progress && OnProgress)
      for (int x = x0; x < x0 + g; ++x)
        OnProgress(const_cast<TCXFtImage*>(this), Trunc(factor * x + factor * PlaneIndex * N));
  }
}

void TCXFtImage::filt_orig(TCXComplexPlane& Plane) const {
  const int N = Plane.GetSize();
  for (int y = 0; y < N; ++y) {
    float* re = Plane.Re(y);
    float* im = Plane.Im(y);
    for (int x = (y & 1) ? 0 : 1; x < N; x += 2) {
      re[x] = -re[x];
      im[x] = -im[x];
    }
  }
}

TCXComplexPlane TCXFtImage::newcomplex(const TBitmap* Square, int Channel) const {
  const int N = Square->GetWidth();
  TCXComplexPlane plane(N);
  auto sample = [Channel](const uint8_t* p) -> int {
    if (Channel == 3) return _RGBToGray(TRGB{p[0], p[1], p[2]});
    return p[Channel];
  };
  int maxValue = 1;
  for (int y = 0; y < N; ++y) {
    const uint8_t* row = Square->ScanLine(y);
    for (int x = 0; x < N; ++x) maxValue = std::max(maxValue, sample(row + 3 * x));
  }
  float level[256];  // the quotient of every sample value, computed once
  for (int v = 0; v < 256; ++v) level[v] = float(double(v) / maxValue);
  for (int y = 0; y < N; ++y) {
    const uint8_t* row = Square->ScanLine(y);
    float* re = plane.Re(y);
    for (int x = 0; x < N; ++x) re[x] = level[sample(row + 3 * x)];
  }
  filt_orig(plane);
  return plane;
}

void TCXFtImage::FreeAll() {
  Red_ = Green_ = Blue_ = Gray_ = TCXComplexPlane();
}

void TCXFtImage::BuildFT(const TBitmap* Bitmap, TCXFtImageType ImageType) {
  ImageType_ = ImageType;
  FreeAll();
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0)
    return;
  SourceWidth_ = Bitmap->GetWidth();
  SourceHeight_ = Bitmap->GetHeight();
  const int N = NextPowerOfTwo(std::max(SourceWidth_, SourceHeight_));
  if (N != TransformLength_) fftinit(N);
  PlaneSize_ = N;
  OffsetX_ = (N - SourceWidth_) / 2;
  OffsetY_ = (N - SourceHeight_) / 2;
  if (ImageType != cxitRGB && ImageType != cxitGrayscale) return;

  // The image in the middle of a black N x N square.
  TBitmap square(N, N, pf24bit);
  for (int y = 0; y < SourceHeight_; ++y)
    std::copy_n(Bitmap->ScanLine(y), size_t(SourceWidth_) * 3, square.ScanLine(y + OffsetY_) + size_t(OffsetX_) * 3);

  if (ImageType == cxitRGB) {
    TCXComplexPlane* planes[3] = {&Red_, &Green_, &Blue_};
    const int channels[3] = {2, 1, 0};
    for (int p = 0; p < 3; ++p) {
      *planes[p] = newcomplex(&square, channels[p]);
      fft2d(*planes[p], true, -1, p, 3);
    }
  } else {
    Gray_ = newcomplex(&square, 3);
    fft2d(Gray_, true, -1, 0, 1);
  }
}

void TCXFtImage::GetFTImage(TBitmap* Bitmap) const {
  if (Bitmap == nullptr) return;
  const int N = PlaneSize_;
  Bitmap->Allocate(N, N, pf24bit);
  if (N == 0) return;
  struct Target {
    const TCXComplexPlane* plane;
    int channel;  // 0 blue, 1 green, 2 red, 3 all
  };
  const Target targets[] = {{&Red_, 2}, {&Green_, 1}, {&Blue_, 0}, {&Gray_, 3}};
  std::vector<double> v(size_t(N) * size_t(N));
  for (const Target& t : targets) {
    if (t.plane->Empty()) continue;
    double mn = 0, mx = 0;
    bool first = true;
    for (int y = 0; y < N; ++y) {
      const float* re = t.plane->Re(y);
      const float* im = t.plane->Im(y);
      for (int x = 0; x < N; ++x) {
        const double m = std::sqrt(double(re[x]) * re[x] + double(im[x]) * im[x]);
        const double value = m > 0 ? std::log(std::sqrt(m)) : 0.0;
        v[size_t(y) * size_t(N) + size_t(x)] = value;
        if (first || value < mn) mn = value;
        if (first || value > mx) mx = value;
        first = false;
      }
    }
    if (std::fabs(mn) <= 0.00001) mn = 0;
    for (int y = 0; y < N; ++y) {
      uint8_t* row = Bitmap->ScanLine(y);
      for (int x = 0; x < N; ++x) {
        const uint8_t px = mx == mn ? 0 : blimit(Trunc((v[size_t(y) * size_t(N) + size_t(x)] - mn) * 255 / (mx - mn)));
        if (t.channel == 3) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = px;
        else row[3 * x + t.channel] = px;
      }
    }
  }
}

void TCXFtImage::realtoint(TCXComplexPlane& Plane, const int* Histogram) const {
  const int N = Plane.GetSize();
  const size_t count = size_t(N) * size_t(N);
  if (count == 0) return;
  auto at = [&](size_t i) -> float& { return Plane.Re(int(i / size_t(N)))[i % size_t(N)]; };
  for (size_t i = 0; i < count; ++i) at(i) = std::fabs(at(i));
  if (Histogram == nullptr) {
    float mn = at(0), mx = at(0);
    for (size_t i = 1; i < count; ++i) {
      mn = std::min(mn, at(i));
      mx = std::max(mx, at(i));
    }
    const double factor = mx > mn ? 255.0 / (double(mx) - mn) : 0.0;
    for (size_t i = 0; i < count; ++i) at(i) = float((double(at(i)) - mn) * factor);
    return;
  }
  // Ranks: the smallest values take level 0 until its count is used, and so on; a run of equal
  // values stays on one level.
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return at(a) < at(b); });
  int level = 0;
  int64_t used = 0;
  float previous = 0;
  for (size_t k = 0; k < count; ++k) {
    const float value = at(order[k]);
    if (k > 0 && value != previous)
      while (level < 255 && used >= Histogram[level]) {
        ++level;
        used = 0;
      }
    previous = value;
    at(order[k]) = float(level);
    ++used;
  }
}

void TCXFtImage::filt_toint(const TCXComplexPlane& Plane, TBitmap* Bitmap, int Channel) const {
  for (int y = 0; y < SourceHeight_; ++y) {
    const float* re = Plane.Re(y + OffsetY_) + OffsetX_;
    uint8_t* row = Bitmap->ScanLine(y);
    for (int x = 0; x < SourceWidth_; ++x) {
      const uint8_t px = blimit(Trunc(re[x]));
      if (Channel == 3) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = px;
      else row[3 * x + Channel] = px;
    }
  }
}

void TCXFtImage::BuildBitmap(TBitmap* Bitmap) const {
  if (Bitmap == nullptr) return;
  Bitmap->Allocate(SourceWidth_, SourceHeight_, pf24bit);
  if (PlaneSize_ == 0 || SourceWidth_ == 0) return;
  const std::pair<const TCXComplexPlane*, int> targets[] = {{&Red_, 2}, {&Green_, 1}, {&Blue_, 0}, {&Gray_, 3}};
  for (const auto& [plane, channel] : targets) {
    if (plane->Empty()) continue;
    TCXComplexPlane work = dupcomplex(*plane);
    fft2d(work, false, +1);
    realtoint(work, nullptr);
    filt_toint(work, Bitmap, channel);
  }
}

void TCXFtImage::HiPass(int Radius) {
  const int N = PlaneSize_, c = N / 2;
  for (TCXComplexPlane* p : Planes())
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x)
        if (Trunc(std::sqrt(double(x - c) * (x - c) + double(y - c) * (y - c))) <= Radius) p->Re(y)[x] = p->Im(y)[x] = 0;
}

void TCXFtImage::LoPass(int Radius) {
  const int N = PlaneSize_, c = N / 2;
  for (TCXComplexPlane* p : Planes())
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x)
        if (Trunc(std::sqrt(double(x - c) * (x - c) + double(y - c) * (y - c))) > Radius) p->Re(y)[x] = p->Im(y)[x] = 0;
}

void TCXFtImage::ClearZone(int x1, int y1, int x2, int y2) {
  const int N = PlaneSize_;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, N - 1);
  y2 = std::min(y2, N - 1);
  if (x2 < x1) return;
  for (TCXComplexPlane* p : Planes())
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) p->Re(y)[x] = p->Im(y)[x] = 0;
}

TCXComplexImage TCXFtImage::GetComplexImage(int x, int y) {
  TCXComplexImage r{};
  if (x < 0 || y < 0 || x >= PlaneSize_ || y >= PlaneSize_) return r;
  auto re = [&](TCXComplexPlane& p) { return p.Empty() ? nullptr : p.Re(y) + x; };
  auto im = [&](TCXComplexPlane& p) { return p.Empty() ? nullptr : p.Im(y) + x; };
  r.RedReal = re(Red_);
  r.RedImag = im(Red_);
  r.BlueReal = re(Blue_);
  r.BlueImag = im(Blue_);
  r.GreenReal = re(Green_);
  r.GreenImag = im(Green_);
  r.GrayImag = im(Gray_);
  r.GrayReal = re(Gray_);
  return r;
}

void TCXFtImage::Assign(const TCXFtImage* Source) {
  if (Source == nullptr || Source == this) return;
  if (Source->TransformLength_ > 0) fftinit(Source->TransformLength_);
  PlaneSize_ = Source->PlaneSize_;
  OffsetX_ = Source->OffsetX_;
  OffsetY_ = Source->OffsetY_;
  SourceWidth_ = Source->SourceWidth_;
  SourceHeight_ = Source->SourceHeight_;
  OnProgress = Source->OnProgress;
  ImageType_ = Source->ImageType_;
  Red_ = Source->Red_;
  Green_ = Source->Green_;
  Blue_ = Source->Blue_;
  Gray_ = Source->Gray_;
}

}  // namespace corvex
