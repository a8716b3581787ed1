#include "corvex/proc/cxfft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <cstring>
#include <random>

namespace corvex {
namespace {

void Fill(TBitmap& b, int w, int h, uint32_t seed) {
  b.Allocate(w, h, pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = uint8_t(rng());
}

int NonZero(const TCXFtImage& ft, TCXFtImage& mutableFt, bool red) {
  int n = 0;
  for (int y = 0; y < ft.GetPlaneSize(); ++y)
    for (int x = 0; x < ft.GetPlaneSize(); ++x) {
      TCXComplexImage c = mutableFt.GetComplexImage(x, y);
      float* re = red ? c.RedReal : c.GrayReal;
      float* im = red ? c.RedImag : c.GrayImag;
      n += (*re != 0 || *im != 0);
    }
  return n;
}

TEST(FtImage, TransformAgreesWithTheDiscreteFourierFormula) {
  TCXFtImage ft;
  for (int N : {1, 2, 4, 8, 64}) {
    ft.fftinit(N);
    std::mt19937 rng(N);
    std::vector<float> re(static_cast<size_t>(N)), im(static_cast<size_t>(N));
    for (int i = 0; i < N; ++i) {
      re[size_t(i)] = float(rng() % 1000) / 100;
      im[size_t(i)] = float(rng() % 1000) / 100;
    }
    for (int sign : {-1, 1}) {
      std::vector<float> r = re, m = im;
      ft.fft(r.data(), m.data(), sign);
      for (int k = 0; k < N; ++k) {
        std::complex<double> sum = 0;
        for (int n = 0; n < N; ++n)
          sum += std::complex<double>(re[size_t(n)], im[size_t(n)]) *
                 std::polar(1.0, sign * 2 * std::numbers::pi * n * k / N);
        sum /= std::sqrt(double(N));
        EXPECT_NEAR(r[size_t(k)], sum.real(), 1e-4 * (1 + std::abs(sum))) << "N " << N << " k " << k;
        EXPECT_NEAR(m[size_t(k)], sum.imag(), 1e-4 * (1 + std::abs(sum)));
      }
    }
  }
  ft.fftinit(16);
  EXPECT_EQ(ft.bitrev(1), 8);
  EXPECT_EQ(ft.bitrev(6), 6);
  EXPECT_EQ(ft.bitrev(3), 12);
}

TEST(FtImage, SquareSizeOffsetsAndTheCentreCoefficient) {
  TBitmap b;
  Fill(b, 300, 200, 1);
  TCXFtImage ft;
  ft.BuildFT(&b, cxitGrayscale);
  EXPECT_EQ(ft.GetPlaneSize(), 512);
  EXPECT_EQ(ft.GetOffsetX(), 106);
  EXPECT_EQ(ft.GetOffsetY(), 156);

  // A uniform 4 x 4 image normalised to 1: the zero frequency sits at (2, 2) with value
  // 16 / N = 4 (1/sqrt(N) per dimension), and nothing else is non-zero.
  TBitmap u(4, 4, pf24bit);
  for (int y = 0; y < 4; ++y) std::fill_n(u.ScanLine(y), 12, uint8_t(77));
  ft.BuildFT(&u, cxitRGB);
  TCXComplexImage c = ft.GetComplexImage(2, 2);
  ASSERT_NE(c.RedReal, nullptr);
  EXPECT_EQ(c.GrayReal, nullptr);
  EXPECT_NEAR(*c.RedReal, 4.0, 1e-5);
  EXPECT_NEAR(*c.RedImag, 0.0, 1e-5);
  EXPECT_EQ(NonZero(ft, ft, true), 1);
}

TEST(FtImage, RoundTripFiltersAndPictures) {
  TBitmap b;
  Fill(b, 40, 24, 2);
  for (int y = 0; y < 24; ++y) b.ScanLine(y)[0] = b.ScanLine(y)[1] = b.ScanLine(y)[2] = 255;  // max 255 per channel
  TCXFtImage ft;
  ft.BuildFT(&b, cxitRGB);
  TBitmap back;
  ft.BuildBitmap(&back);
  ASSERT_EQ(back.GetWidth(), 40);
  ASSERT_EQ(back.GetHeight(), 24);
  int worst = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 120; ++x) worst = std::max(worst, std::abs(int(back.ScanLine(y)[x]) - int(b.ScanLine(y)[x])));
  EXPECT_LE(worst, 1);  // the stretch maps 0 .. max back onto 0 .. 255

  // Repeating the conversion gives the same picture (the planes are not changed by it).
  TBitmap again;
  ft.BuildBitmap(&again);
  EXPECT_EQ(std::memcmp(again.Bits(), back.Bits(), back.GetImageSize()), 0);

  TCXFtImage lo;
  lo.Assign(&ft);
  lo.LoPass(0);
  EXPECT_EQ(NonZero(lo, lo, true), 1);
  TCXFtImage hi;
  hi.Assign(&ft);
  const int before = NonZero(hi, hi, true);
  hi.HiPass(0);
  EXPECT_EQ(NonZero(hi, hi, true), before - 1);
  EXPECT_EQ(*hi.GetComplexImage(32, 32).RedReal, 0.0f);

  TCXFtImage cleared;
  cleared.Assign(&ft);
  cleared.ClearZone(-5, -5, 1000, 1000);  // cut to the square
  cleared.BuildBitmap(&back);
  for (size_t i = 0; i < back.GetImageSize(); ++i) ASSERT_EQ(back.Bits()[i], 0);

  // A uniform image has nothing to stretch: black.
  TBitmap u(8, 8, pf24bit);
  for (int y = 0; y < 8; ++y) std::fill_n(u.ScanLine(y), 24, uint8_t(200));
  TCXFtImage uf;
  uf.BuildFT(&u, cxitGrayscale);
  uf.BuildBitmap(&back);
  for (size_t i = 0; i < back.GetImageSize(); ++i) ASSERT_EQ(back.Bits()[i], 0);

  // Spectrum pictures: grey planes write equal channels; the centre is the brightest.
  TCXFtImage g;
  g.BuildFT(&b, cxitGrayscale);
  TBitmap spectrum;
  g.GetFTImage(&spectrum);
  ASSERT_EQ(spectrum.GetWidth(), 64);
  const uint8_t* centre = spectrum.ScanLine(32) + 3 * 32;
  EXPECT_EQ(centre[0], 255);
  EXPECT_EQ(centre[0], centre[1]);
  EXPECT_EQ(centre[1], centre[2]);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(spectrum.ScanLine(y)[3 * x], spectrum.ScanLine(y)[3 * x + 2]);
}

TEST(FtImage, HistogramLevelsAndOtherFormats) {
  TCXFtImage ft;
  ft.fftinit(2);
  TCXComplexPlane p(2);
  p.Re(0)[0] = -3;
  p.Re(0)[1] = 1;
  p.Re(1)[0] = 1;
  p.Re(1)[1] = 2;
  int hist[256] = {};
  hist[0] = 1;
  hist[10] = 1;
  hist[20] = 2;
  ft.realtoint(p, hist);
  EXPECT_EQ(p.Re(0)[1], 0);   // the smallest of the two equal ones takes level 0 ...
  EXPECT_EQ(p.Re(1)[0], 0);   // ... and its equal keeps it
  EXPECT_EQ(p.Re(1)[1], 10);
  EXPECT_EQ(p.Re(0)[0], 20);

  TBitmap mono(8, 8, pf1bit);
  ft.BuildFT(&mono, cxitRGB);  // not 24-bit: nothing stored
  EXPECT_EQ(ft.GetComplexImage(0, 0).RedReal, nullptr);
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// The transform as first written: butterflies k by k with their factors computed in place, then
// each column copied out alone. The table-driven butterflies and the grouped columns must give
// the same floats, bit for bit.
void ReferenceFft(int N, float* Re, float* Im, int Sign) {
  std::vector<double> tw(static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) tw[size_t(i)] = std::sin(2 * std::numbers::pi * i / N);
  int log2n = 0;
  while ((1 << log2n) < N) ++log2n;
  for (int i = 0; i < N; ++i) {
    int j = 0;
    for (int b = 0; b < log2n; ++b)
      if (i & (1 << b)) j |= 1 << (log2n - 1 - b);
    if (i < j) {
      std::swap(Re[i], Re[j]);
      std::swap(Im[i], Im[j]);
    }
  }
  for (int len = 2; len <= N; len <<= 1) {
    const int half = len >> 1, step = N / len;
    for (int k = 0; k < half; ++k) {
      const int t = k * step;
      const double s = Sign * tw[size_t(t)];
      const double c = N >= 4 ? tw[size_t((t + N / 4) % N)] : std::cos(2 * std::numbers::pi * t / N);
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
  const float sc = float(1.0 / std::sqrt(double(N)));
  for (int i = 0; i < N; ++i) {
    Re[i] *= sc;
    Im[i] *= sc;
  }
}

TEST(FtImage, FastButterfliesAndColumnGroupsMatchTheSimpleLoops) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int N = 1; N <= 1024; N <<= 1) {
    TCXFtImage ft;
    ft.fftinit(N);
    for (int sign : {-1, 1}) {
      std::vector<float> re(static_cast<size_t>(N)), im(static_cast<size_t>(N));
      for (int i = 0; i < N; ++i) re[size_t(i)] = u(rng), im[size_t(i)] = u(rng);
      std::vector<float> re2 = re, im2 = im;
      ft.fft(re.data(), im.data(), sign);
      ReferenceFft(N, re2.data(), im2.data(), sign);
      ASSERT_EQ(0, std::memcmp(re.data(), re2.data(), re.size() * sizeof(float))) << "N " << N << " sign " << sign;
      ASSERT_EQ(0, std::memcmp(im.data(), im2.data(), im.size() * sizeof(float))) << "N " << N << " sign " << sign;
    }
  }
  // Whole planes, both directions: sizes below, at and above a group of lanes.
  for (int N : {2, 8, 16, 64, 128, 512})
    for (int sign : {-1, 1}) {
      TCXFtImage ft;
      ft.fftinit(N);
      TCXComplexPlane plane(N), expected(N);
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
          plane.Re(y)[x] = expected.Re(y)[x] = u(rng), plane.Im(y)[x] = expected.Im(y)[x] = u(rng);
      ft.fft2d(plane, false, sign);
      for (int y = 0; y < N; ++y) ReferenceFft(N, expected.Re(y), expected.Im(y), sign);
      std::vector<float> cr(static_cast<size_t>(N)), ci(static_cast<size_t>(N));
      for (int x = 0; x < N; ++x) {
        for (int y = 0; y < N; ++y) cr[size_t(y)] = expected.Re(y)[x], ci[size_t(y)] = expected.Im(y)[x];
        ReferenceFft(N, cr.data(), ci.data(), sign);
        for (int y = 0; y < N; ++y) expected.Re(y)[x] = cr[size_t(y)], expected.Im(y)[x] = ci[size_t(y)];
      }
      for (int y = 0; y < N; ++y) {
        ASSERT_EQ(0, std::memcmp(plane.Re(y), expected.Re(y), size_t(N) * sizeof(float))) << "N " << N << " row " << y;
        ASSERT_EQ(0, std::memcmp(plane.Im(y), expected.Im(y), size_t(N) * sizeof(float))) << "N " << N << " row " << y;
      }
    }
}

}  // namespace
}  // namespace corvex
