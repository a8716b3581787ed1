// Pictorial effects: bump mapping with a light spot, an elliptical refracting lens, a circular
// wave and blending with a second image.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

namespace corvex {

using proc_pvt::Pixels;
using proc_pvt::Region;
using proc_pvt::RowProgress;

// ---------------------------------------------------------------------------------------------
// Bump mapping

namespace {
// The light map: brightest (255) at the centre (128, 128), falling off as a hemisphere.
const std::vector<uint8_t>& LightMap() {
  static const std::vector<uint8_t> map = [] {
    std::vector<uint8_t> m(256 * 256);
    for (int v = 0; v < 256; ++v)
      for (int u = 0; u < 256; ++u) {
        const double nx = (u - 128) / 128.0, ny = (v - 128) / 128.0;
        double nz = 1 - std::sqrt(nx * nx + ny * ny);
        if (nz < 0) nz = 0;
        m[size_t(v) * 256 + size_t(u)] = uint8_t(std::min(Trunc(nz * 256), 255));
      }
    return m;
  }();
  return map;
}
}  // namespace

void _BumpMapping(TBitmap* Bitmap, int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent,
                  TRGB Color, int x1, int y1, int x2, int y2, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || LightWidth == 0 || LightHeight == 0) return;
  const Region rg(Bitmap, x1, y1, x2, y2);
  if (rg.Empty()) return;
  const int w = rg.Width(), h = rg.Height();
  const int xLast = rg.x2 - 1, yLast = rg.y2 - 1;
  std::vector<int> height(size_t(w) * size_t(h));
  for (int y = rg.y1; y < rg.y2; ++y) {
    const TRGB* p = Pixels(Bitmap, y);
    for (int x = rg.x1; x < rg.x2; ++x) height[size_t(y - rg.y1) * size_t(w) + size_t(x - rg.x1)] = _RGBToGray(p[x]);
  }
  auto H = [&](int x, int y) { return height[size_t(y - rg.y1) * size_t(w) + size_t(x - rg.x1)]; };
  const std::vector<uint8_t>& light = LightMap();
  const double p = SrcPercent / 100.0, q = (100 - SrcPercent) / 100.0;
  // The light's contribution per light value and channel, and the source's per channel value.
  std::vector<double> lr(256), lg(256), lb(256), src(256);
  for (int i = 0; i < 256; ++i) {
    lr[size_t(i)] = i * q * Color.r / 255;
    lg[size_t(i)] = i * q * Color.g / 255;
    lb[size_t(i)] = i * q * Color.b / 255;
    src[size_t(i)] = i * p;
  }
  std::vector<int> lx(static_cast<size_t>(w));
  for (int x = rg.x1; x < rg.x2; ++x) lx[size_t(x - rg.x1)] = Trunc(double(x - LightX) / LightWidth * 128);
  const double factor = 100.0 / (h - 1 + 0.5);
  for (int y = rg.y1; y < rg.y2; ++y) {
    const int ly = Trunc(double(y - LightY) / LightHeight * 128);
    const int yu = std::max(y - 1, rg.y1), yd = std::min(y + 1, yLast);
    TRGB* px = Pixels(Bitmap, y);
    for (int x = rg.x1; x < rg.x2; ++x) {
      const int sx = H(std::min(x + 1, xLast), y) - H(std::max(x - 1, rg.x1), y);
      const int sy = H(x, yd) - H(x, yu);
      const int u = blimit(sx - lx[size_t(x - rg.x1)] + 128), v = blimit(sy - ly + 128);
      const uint8_t L = light[size_t(v) * 256 + size_t(u)];
      TRGB& c = px[x];
      c.r = blimit(Round(src[c.r] + lr[L]));
      c.g = blimit(Round(src[c.g] + lg[L]));
      c.b = blimit(Round(src[c.b] + lb[L]));
    }
    ProgressReport(Progress, Trunc((y - rg.y1 + 1) * factor));
  }
}

// ---------------------------------------------------------------------------------------------
// Lens

void _lens(TBitmap* Bitmap, int x, int y, int Width, int Height, double Refraction, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Bitmap->GetEmpty()) return;
  const int bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
  const int left = ilimit(x - Width / 2, 0, bw), top = ilimit(y - Height / 2, 0, bh);
  const int right = ilimit(x + Width / 2, 0, bw), bottom = ilimit(y + Height / 2, 0, bh);
  if (right <= left || bottom <= top) return;
  const double a = (right - left) / 2.0, b = (bottom - top) / 2.0;
  const double r = std::min(a, b), n = std::max(Refraction, 1.0);
  const int tw = right - left, th = bottom - top;
  TBitmap tmp(tw, th, pf24bit);
  // The displaced coordinate of one axis: refraction at the lens surface of height z.
  auto displace = [n](double u, double z) {
    const double alpha = std::numbers::pi / 2 - std::acos(u / std::sqrt(u * u + z * z));
    const double beta = std::asin(std::sin(alpha) / n);
    return u - z * std::tan(alpha - beta);
  };
  const double factor = 100.0 / (bottom - top + 0.5);
  for (int i = 0; i < tw; ++i) {
    const double dx = i - a + 0.5;
    for (int j = 0; j < th; ++j) {
      const double dy = b - j - 0.5;
      int sx = left + i, sy = top + j;
      if (!(b * b - b * b * dx * dx / (a * a) <= dy * dy)) {
        const double z = std::sqrt((1 - dx * dx / (a * a) - dy * dy / (b * b)) * r * r);
        sx = ilimit(Trunc(displace(dx, z) + a) + left, 0, bw - 1);
        sy = ilimit(Trunc(-displace(dy, z) + b) + top, 0, bh - 1);
      }
      Pixels(&tmp, j)[i] = Pixels(Bitmap, sy)[sx];
    }
    ProgressReport(Progress, Trunc((i + 1) * factor));
  }
  TCanvas* c = Bitmap->GetCanvas();
  const TCopyMode mode = c->GetCopyMode();
  c->SetCopyMode(cmSrcCopy);
  c->Draw(left, top, &tmp);
  c->SetCopyMode(mode);
}

// ---------------------------------------------------------------------------------------------
// Wave

void _wave(TBitmap* Bitmap, int Amplitude, int WaveLength, int Phase, bool Reflective, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Bitmap->GetEmpty()) return;
  if (Amplitude == 0 || WaveLength == 0) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TBitmap src;
  CXCopyBitmap(Bitmap, &src);
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  double fx = 1, fy = 1;
  if (w > h) fy = double(w) / h;
  else if (h > w) fx = double(h) / w;
  const double phase = Phase * std::numbers::pi / 180;
  // Rows are counted from the bottom of the image, as in a bottom-up device-independent bitmap.
  auto at = [&](int X, int Y, int k) -> double {
    if (X < 0 || Y < 0 || X >= w || Y >= h) return 0;
    return src.ScanLine(h - 1 - Y)[3 * X + k];
  };
  auto frac = [](double v) {
    const double f = v - std::trunc(v);
    return f < 0 ? f + 1 : f;
  };
  const double factor = 100.0 / h;
  for (int y = 0; y < h; ++y) {
    uint8_t* out = Bitmap->ScanLine(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const double sx0 = (x - cx) * fx, sy0 = (y - cy) * fy;
      const double d = std::sqrt(sx0 * sx0 + sy0 * sy0);
      const double s = std::sin(d / (2.0 * WaveLength) * 2 * std::numbers::pi + phase);
      double X, Y;
      if (Reflective) {
        const double wv = std::fabs(s) * Amplitude;
        X = cx + sx0 * wv / fx;
        Y = cy + sy0 * wv / fy;
      } else {
        const double wv = s * Amplitude;
        X = (wv + sx0) / fx + cx;
        Y = (wv + sy0) / fy + cy;
      }
      const int X0 = Trunc(X), Y0 = Trunc(Y);
      const double ex = frac(X), ey = frac(Y);
      for (int k = 0; k < 3; ++k) {
        const double v = (1 - ey) * ((1 - ex) * at(X0, Y0, k) + ex * at(X0 + 1, Y0, k)) +
                         ey * ((1 - ex) * at(X0, Y0 + 1, k) + ex * at(X0 + 1, Y0 + 1, k));
        out[3 * x + k] = uint8_t(ilimit(Trunc(v), 0, 255));
      }
    }
    ProgressReport(Progress, Trunc(y * factor));
  }
}

// ---------------------------------------------------------------------------------------------
// Merge

void _Merge(TBitmap* Bitmap, const TBitmap* Other, int Percent, int x1, int y1, int x2, int y2,
            TCXProgressEvent OnProgress, TObject* Sender) {
  if (Bitmap == nullptr || Other == nullptr || Bitmap->GetPixelFormat() != pf24bit || Other->GetEmpty()) return;
  const Region rg(Bitmap, x1, y1, x2, y2);
  if (rg.Empty()) return;
  TBitmap tmp(rg.Width(), rg.Height(), pf24bit);
  tmp.GetCanvas()->StretchDraw(TRect{0, 0, rg.Width(), rg.Height()}, Other);
  // Each term depends on one byte only: tables give the very values of the formula.
  double own[256], other[256];
  for (int i = 0; i < 256; ++i) {
    own[i] = double(i * Percent) / 100;
    other[i] = double(i * (100 - Percent)) / 100;
  }
  const RowProgress progress(OnProgress, Sender, rg.y1, rg.y2 - 1);
  for (int y = rg.y1; y < rg.y2; ++y) {
    uint8_t* d = Bitmap->ScanLine(y) + size_t(rg.x1) * 3;
    const uint8_t* o = tmp.ScanLine(y - rg.y1);
    for (int i = 0; i < rg.Width() * 3; ++i) d[i] = blimit(Round(own[d[i]] + other[o[i]]));
    progress.Done(y);
  }
}

}  // namespace corvex
