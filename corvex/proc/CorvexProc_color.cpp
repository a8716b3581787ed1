// Colour adjustments, colour-space conversions and colour measurements.
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvex {

using proc_pvt::Pixels;
using proc_pvt::Region;
using proc_pvt::RowProgress;

namespace {

bool Is24(const TBitmap* b) { return b != nullptr && b->GetPixelFormat() == pf24bit; }

// Runs Body(row pointer, pixel count) over the region's rows, reporting after each.
template <class Body>
void ForEachRow(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender,
                Body body) {
  if (!Is24(Bitmap)) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty()) return;
  const RowProgress progress(OnProgress, Sender, r.y1, r.y2 - 1);
  for (int y = r.y1; y < r.y2; ++y) {
    body(Pixels(Bitmap, y) + r.x1, r.Width());
    progress.Done(y);
  }
}

// Applies three channel tables to every pixel of the region.
void ApplyTables(TBitmap* Bitmap, const uint8_t* tr, const uint8_t* tg, const uint8_t* tb, int x1, int y1, int x2,
                 int y2, TCXProgressEvent OnProgress, TObject* Sender) {
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](TRGB* p, int n) {
    for (int x = 0; x < n; ++x) {
      p[x].r = tr[p[x].r];
      p[x].g = tg[p[x].g];
      p[x].b = tb[p[x].b];
    }
  });
}

// Byte-wise operations on the channels of a row, where each channel has its own constants: the
// constants repeat every 3 bytes, so 48 bytes (16 pixels) hold a whole number of periods. The
// vector loop covers whole 48-byte groups; the tail goes through the scalar form.
struct Pattern48 {
  alignas(16) uint8_t v[48];
  Pattern48(uint8_t b, uint8_t g, uint8_t r) {
    for (int i = 0; i < 48; i += 3) {
      v[i] = b;
      v[i + 1] = g;
      v[i + 2] = r;
    }
  }
};

// out = blimit(v + D) per channel, as a saturating add then a saturating subtract.
void AddClampRow(uint8_t* p, int bytes, const Pattern48& add, const Pattern48& sub) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i a0 = _mm_load_si128(reinterpret_cast<const __m128i*>(add.v)),
                a1 = _mm_load_si128(reinterpret_cast<const __m128i*>(add.v + 16)),
                a2 = _mm_load_si128(reinterpret_cast<const __m128i*>(add.v + 32));
  const __m128i s0 = _mm_load_si128(reinterpret_cast<const __m128i*>(sub.v)),
                s1 = _mm_load_si128(reinterpret_cast<const __m128i*>(sub.v + 16)),
                s2 = _mm_load_si128(reinterpret_cast<const __m128i*>(sub.v + 32));
  for (; i + 48 <= bytes; i += 48) {
    auto* q = reinterpret_cast<__m128i*>(p + i);
    _mm_storeu_si128(q, _mm_subs_epu8(_mm_adds_epu8(_mm_loadu_si128(q), a0), s0));
    _mm_storeu_si128(q + 1, _mm_subs_epu8(_mm_adds_epu8(_mm_loadu_si128(q + 1), a1), s1));
    _mm_storeu_si128(q + 2, _mm_subs_epu8(_mm_adds_epu8(_mm_loadu_si128(q + 2), a2), s2));
  }
#endif
  for (; i < bytes; ++i) p[i] = blimit(int(p[i]) + add.v[i % 48] - sub.v[i % 48]);
}

// Threshold per channel: at or below Down becomes DownVal; then above Up becomes UpVal.
void ThresholdRow(uint8_t* p, int bytes, const Pattern48& down, const Pattern48& up, const Pattern48& downVal,
                  const Pattern48& upVal) {
  int i = 0;
#if defined(__SSE2__)
  __m128i d[3], u[3], dv[3], uv[3];
  for (int k = 0; k < 3; ++k) {
    d[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(down.v + 16 * k));
    u[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(up.v + 16 * k));
    dv[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(downVal.v + 16 * k));
    uv[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(upVal.v + 16 * k));
  }
  for (; i + 48 <= bytes; i += 48)
    for (int k = 0; k < 3; ++k) {
      auto* q = reinterpret_cast<__m128i*>(p + i) + k;
      const __m128i v = _mm_loadu_si128(q);
      const __m128i le = _mm_cmpeq_epi8(_mm_min_epu8(v, d[k]), v);  // v <= down
      const __m128i v1 = _mm_or_si128(_mm_and_si128(le, dv[k]), _mm_andnot_si128(le, v));
      const __m128i notGt = _mm_cmpeq_epi8(_mm_min_epu8(v1, u[k]), v1);  // v1 <= up
      _mm_storeu_si128(q, _mm_or_si128(_mm_andnot_si128(notGt, uv[k]), _mm_and_si128(notGt, v1)));
    }
#endif
  for (; i < bytes; ++i) {
    const int k = i % 48;
    int c = p[i] <= down.v[k] ? downVal.v[k] : p[i];
    if (c > up.v[k]) c = upVal.v[k];
    p[i] = static_cast<uint8_t>(c);
  }
}

// Grey value into all three channels. Written over plain bytes so that the compiler can
// vectorise the interleaved loads and stores.
__attribute__((target_clones("avx2", "default"))) void GreyRow(uint8_t* p, int pixels) {
  for (int x = 0; x < pixels; ++x) {
    const unsigned g = (unsigned(p[3 * x + 2]) * 21 + unsigned(p[3 * x + 1]) * 71 + unsigned(p[3 * x]) * 7) / 100;
    p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = static_cast<uint8_t>(g);
  }
}

// Round(v / 255 x 99) for every byte value: the first step of RGB2HSV.
const std::array<int, 256>& To99() {
  static const std::array<int, 256> t = [] {
    std::array<int, 256> a{};
    for (int v = 0; v < 256; ++v) a[size_t(v)] = Round(v / 255.0 * 99);
    return a;
  }();
  return t;
}

// Round(c / 99 x 255) for c = 0 .. 99: the last step of HSV2RGB.
const std::array<uint8_t, 100>& From99() {
  static const std::array<uint8_t, 100> t = [] {
    std::array<uint8_t, 100> a{};
    for (int c = 0; c < 100; ++c) a[size_t(c)] = static_cast<uint8_t>(Round(c / 99.0 * 255));
    return a;
  }();
  return t;
}

double ContrastFactor(int Contrast) {
  return Contrast < 0 ? 1 - std::sqrt(double(-Contrast)) / 10 : Contrast / 10.0 + 1;
}

void ContrastTable(uint8_t* t, int mean, double k) {
  for (int c = 0; c < 256; ++c) t[c] = blimit(mean + Trunc((c - mean) * k));
}

inline int Grey(const TRGB& p) { return (p.r * 21 + p.g * 71 + p.b * 7) / 100; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Colour spaces

void RGB2HSV(TRGB RGB, int& H, int& S, int& V) {
  const auto& to99 = To99();
  const int r = to99[RGB.r], g = to99[RGB.g], b = to99[RGB.b];
  V = std::max(r, std::max(g, b));
  const int m = std::min(r, std::min(g, b));
  const int delta = V - m;
  S = V == 0 ? 0 : delta * 99 / V;
  if (S == 0) {
    H = 0;
    return;
  }
  if (r == V) H = (g - b) * 60 / delta;
  else if (g == V) H = (b - r) * 60 / delta + 120;
  else H = (r - g) * 60 / delta + 240;
  if (H < 0) H += 360;
}

void HSV2RGB(TRGB& RGB, int H, int S, int V) {
  H = ilimit(H, 0, 359);
  S = ilimit(S, 0, 99);
  V = ilimit(V, 0, 99);
  int r, g, b;
  if (S == 0) {
    r = g = b = V;
  } else {
    const int sector = H / 60, f = H % 60;
    const int p = V - S * V / 99;
    const int q = V - S * V * f / 5940;
    const int t = V - S * V * (60 - f) / 5940;
    switch (sector) {
      case 0: r = V; g = t; b = p; break;
      case 1: r = q; g = V; b = p; break;
      case 2: r = p; g = V; b = t; break;
      case 3: r = p; g = q; b = V; break;
      case 4: r = t; g = p; b = V; break;
      default: r = V; g = p; b = q; break;
    }
  }
  const auto& from99 = From99();
  RGB.r = from99[size_t(ilimit(r, 0, 99))];
  RGB.g = from99[size_t(ilimit(g, 0, 99))];
  RGB.b = from99[size_t(ilimit(b, 0, 99))];
}

void RGB2HSL(TRGB RGB, double& H, double& S, double& L) {
  const double r = RGB.r / 255.0, g = RGB.g / 255.0, b = RGB.b / 255.0;
  const double mx = std::max(r, std::max(g, b)), mn = std::min(r, std::min(g, b));
  L = (mx + mn) / 2;
  if (mx == mn) {
    S = 0;
    H = 0;
    return;
  }
  const double d = mx - mn;
  S = L < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  if (mx == r) H = (g - b) / d;
  else if (mx == g) H = (b - r) / d + 2;
  else H = (r - g) / d + 4;
  H /= 6;
  if (H < 0) H += 1;
}

void HSL2RGB(TRGB& RGB, double H, double S, double L) {
  H = std::clamp(H, 0.0, 1.0);
  S = std::clamp(S, 0.0, 1.0);
  L = std::clamp(L, 0.0, 1.0);
  const double m2 = L <= 0.5 ? L * (1 + S) : L + S - L * S;
  const double m1 = 2 * L - m2;
  auto hue = [&](double h) {
    if (h < 0) h += 1;
    else if (h > 1) h -= 1;
    if (6 * h < 1) return m1 + (m2 - m1) * 6 * h;
    if (2 * h < 1) return m2;
    if (3 * h < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
    return m1;
  };
  double r, g, b;
  if (S == 0) {
    r = g = b = L;
  } else {
    r = hue(H + 1.0 / 3);
    g = hue(H);
    b = hue(H - 1.0 / 3);
  }
  RGB.r = blimit(Trunc(r * 255));
  RGB.g = blimit(Trunc(g * 255));
  RGB.b = blimit(Trunc(b * 255));
}

// ---------------------------------------------------------------------------------------------
// Adjustments

void _Contrast(TBitmap* Bitmap, int Contrast, int Mean, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
               TObject* Sender) {
  uint8_t t[256];
  ContrastTable(t, Mean, ContrastFactor(Contrast));
  ApplyTables(Bitmap, t, t, t, x1, y1, x2, y2, OnProgress, Sender);
}

void _ContrastRGB(TBitmap* Bitmap, int Contrast, int MeanR, int MeanG, int MeanB, int x1, int y1, int x2, int y2,
                  TCXProgressEvent OnProgress, TObject* Sender) {
  const double k = ContrastFactor(Contrast);
  uint8_t tr[256], tg[256], tb[256];
  ContrastTable(tr, MeanR, k);
  ContrastTable(tg, MeanG, k);
  ContrastTable(tb, MeanB, k);
  ApplyTables(Bitmap, tr, tg, tb, x1, y1, x2, y2, OnProgress, Sender);
}

int _GetMediaContrast(const TBitmap* Bitmap) {
  if (!Is24(Bitmap)) return 0;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const int64_t divisor = (int64_t(3) * w - 1) * (h - 1);
  if (w <= 0 || divisor <= 0) return 128;
  int64_t sum = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    for (int i = 0; i < 3 * w; ++i) sum += p[i];
  }
  return static_cast<int>(sum / divisor);
}

void _HSVvar(TBitmap* Bitmap, int DHue, int DSat, int DVal, int x1, int y1, int x2, int y2,
             TCXProgressEvent OnProgress, TObject* Sender) {
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](TRGB* p, int n) {
    for (int x = 0; x < n; ++x) {
      int h, s, v;
      RGB2HSV(p[x], h, s, v);
      HSV2RGB(p[x], h + DHue, s + DSat, v + DVal);
    }
  });
}

void _HSLvar(TBitmap* Bitmap, int DHue, int DSat, int DLum, int x1, int y1, int x2, int y2,
             TCXProgressEvent OnProgress, TObject* Sender) {
  const double dh = DHue / 360.0, ds = DSat / 100.0, dl = DLum / 100.0;
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](TRGB* p, int n) {
    for (int x = 0; x < n; ++x) {
      double h, s, l;
      RGB2HSL(p[x], h, s, l);
      HSL2RGB(p[x], h + dh, s + ds, l + dl);
    }
  });
}

void _IntensityRGBall(TBitmap* Bitmap, int DR, int DG, int DB, int x1, int y1, int x2, int y2,
                      TCXProgressEvent OnProgress, TObject* Sender) {
  auto up = [](int d) { return static_cast<uint8_t>(std::clamp(d, 0, 255)); };
  auto down = [](int d) { return static_cast<uint8_t>(std::clamp(-d, 0, 255)); };
  const Pattern48 add(up(DB), up(DG), up(DR)), sub(down(DB), down(DG), down(DR));
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender,
             [&](TRGB* p, int n) { AddClampRow(reinterpret_cast<uint8_t*>(p), 3 * n, add, sub); });
}

void _Threshold(TBitmap* Bitmap, TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal, int x1, int y1, int x2,
                int y2, TCXProgressEvent OnProgress, TObject* Sender) {
  if (EqualRGB(DownLimit, CreateRGB(0, 0, 0)) && EqualRGB(UpLimit, CreateRGB(255, 255, 255))) return;
  const Pattern48 down(DownLimit.b, DownLimit.g, DownLimit.r), up(UpLimit.b, UpLimit.g, UpLimit.r);
  const Pattern48 downVal(DownVal.b, DownVal.g, DownVal.r), upVal(UpVal.b, UpVal.g, UpVal.r);
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](TRGB* p, int n) {
    ThresholdRow(reinterpret_cast<uint8_t*>(p), 3 * n, down, up, downVal, upVal);
  });
}

void _CastColorRange(TBitmap* Bitmap, TRGB BeginColor, TRGB EndColor, TRGB CastColor, int x1, int y1, int x2, int y2,
                     TCXProgressEvent OnProgress, TObject* Sender) {
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](TRGB* p, int n) {
    for (int x = 0; x < n; ++x) {
      const TRGB c = p[x];
      if (c.r >= BeginColor.r && c.r <= EndColor.r && c.g >= BeginColor.g && c.g <= EndColor.g &&
          c.b >= BeginColor.b && c.b <= EndColor.b)
        p[x] = CastColor;
    }
  });
}

void _HistEqualize(TBitmap* Bitmap, TRGB LoThresh, TRGB HiThresh, int x1, int y1, int x2, int y2,
                   TCXProgressEvent OnProgress, TObject* Sender) {
  HiThresh.r = std::max<uint8_t>(HiThresh.r, 1);
  HiThresh.g = std::max<uint8_t>(HiThresh.g, 1);
  HiThresh.b = std::max<uint8_t>(HiThresh.b, 1);
  if (EqualRGB(LoThresh, HiThresh)) return;
  auto table = [](uint8_t* t, int lo, int hi) {
    const int d = 255 - lo == 0 ? 1 : 255 - lo;
    uint8_t first[256], second[256];
    for (int i = 0; i < 256; ++i) {
      first[i] = blimit(Round(double(i - lo) / d * 255));
      second[i] = blimit(Round(double(i) / hi * 255));
    }
    for (int i = 0; i < 256; ++i) t[i] = second[first[i]];
  };
  uint8_t tr[256], tg[256], tb[256];
  table(tr, LoThresh.r, HiThresh.r);
  table(tg, LoThresh.g, HiThresh.g);
  table(tb, LoThresh.b, HiThresh.b);
  ApplyTables(Bitmap, tr, tg, tb, x1, y1, x2, y2, OnProgress, Sender);
}

void _HistAutoEqualize(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
                       TObject* Sender) {
  if (!Is24(Bitmap)) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty()) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  int64_t hist[256] = {};
  for (int y = 0; y < h; ++y) {
    const TRGB* p = Pixels(Bitmap, y);
    for (int x = 0; x < w; ++x) ++hist[Grey(p[x])];
  }
  // Below 256 pixels the average is 0 and the levels would never advance: count one at least.
  const int64_t avg = std::max<int64_t>(int64_t(w) * h / 256, 1);
  uint8_t left[256], right[256];
  int64_t level = 0, sum = 0;
  for (int i = 0; i < 256; ++i) {
    left[i] = blimit(int(std::min<int64_t>(level, 255)));
    sum += hist[i];
    if (sum > avg) {
      level += (sum - 1) / avg;  // the same as subtracting avg while sum > avg
      sum -= ((sum - 1) / avg) * avg;
    }
    right[i] = blimit(int(std::min<int64_t>(level, 255)));
  }
  // The result goes to a copy, so that the local means see the pixels as they were.
  TBitmap result;
  result.Assign(Bitmap);
  const RowProgress progress(OnProgress, Sender, r.y1, r.y2 - 1);
  for (int y = r.y1; y < r.y2; ++y) {
    const TRGB* up = Pixels(Bitmap, std::max(y - 1, 0));
    const TRGB* mid = Pixels(Bitmap, y);
    const TRGB* down = Pixels(Bitmap, std::min(y + 1, h - 1));
    TRGB* out = Pixels(&result, y);
    for (int x = r.x1; x < r.x2; ++x) {
      const TRGB c = mid[x];
      const int g = Grey(c);
      if (left[g] == right[g]) {
        out[x] = TRGB{left[c.b], left[c.g], left[c.r]};
        continue;
      }
      const int xl = std::max(x - 1, 0), xr = std::min(x + 1, w - 1);
      int sr = 0, sg = 0, sb = 0;
      for (const TRGB* row : {up, mid, down})
        for (int xx : {xl, x, xr}) {
          sr += row[xx].r;
          sg += row[xx].g;
          sb += row[xx].b;
        }
      const TRGB mean{uint8_t(sb / 9), uint8_t(sg / 9), uint8_t(sr / 9)};
      const int m = Grey(mean);
      if (m > right[g]) out[x] = TRGB{right[c.b], right[c.g], right[c.r]};
      else if (m >= left[g]) out[x] = mean;
      else out[x] = TRGB{left[c.b], left[c.g], left[c.r]};
    }
    progress.Done(y);
  }
  for (int y = r.y1; y < r.y2; ++y)
    std::memcpy(Pixels(Bitmap, y) + r.x1, Pixels(&result, y) + r.x1, size_t(r.Width()) * 3);
}

void _ConvertToGray(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender) {
  ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender,
             [](TRGB* p, int n) { GreyRow(reinterpret_cast<uint8_t*>(p), n); });
}

void _Negative(TBitmap* Bitmap, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress, TObject* Sender) {
  if (Bitmap == nullptr) return;
  if (Bitmap->GetPixelFormat() == pf24bit) {
    ForEachRow(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [](TRGB* p, int n) {
      auto* b = reinterpret_cast<uint8_t*>(p);
      for (int i = 0; i < 3 * n; ++i) b[i] = static_cast<uint8_t>(~b[i]);
    });
  } else if (Bitmap->GetPixelFormat() == pf1bit) {
    const Region r(Bitmap, x1, y1, x2, y2);
    if (r.Empty()) return;
    for (int y = r.y1; y < r.y2; ++y) {
      uint8_t* row = Bitmap->ScanLine(y);
      int x = r.x1;
      for (; x < r.x2 && (x & 7); ++x) row[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
      for (; x + 8 <= r.x2; x += 8) row[x >> 3] = static_cast<uint8_t>(~row[x >> 3]);
      for (; x < r.x2; ++x) row[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Measurements

void _GetHistogram(const TBitmap* Bitmap, THistogramItem* Hist, int x1, int y1, int x2, int y2) {
  if (Hist == nullptr) return;
  for (int i = 0; i < 256; ++i) Hist[i] = THistogramItem{};
  if (!Is24(Bitmap)) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  for (int y = r.y1; y < r.y2; ++y) {
    const TRGB* p = Pixels(Bitmap, y);
    for (int x = r.x1; x < r.x2; ++x) {
      ++Hist[p[x].r].R;
      ++Hist[p[x].g].G;
      ++Hist[p[x].b].B;
      ++Hist[Grey(p[x])].Gray;
    }
  }
}

int _GetImageNumColors(const TBitmap* Bitmap, int x1, int y1, int x2, int y2) {
  if (!Is24(Bitmap)) return 0;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty()) return 0;
  // One bit per 24-bit colour (2 MB): the count of distinct values, as a hash set gives it,
  // without its lookups.
  std::vector<uint64_t> seen(size_t(1) << 18);
  int count = 0;
  for (int y = r.y1; y < r.y2; ++y) {
    const TRGB* p = Pixels(Bitmap, y);
    for (int x = r.x1; x < r.x2; ++x) {
      const uint32_t key = uint32_t(p[x].r) << 16 | uint32_t(p[x].g) << 8 | p[x].b;
      uint64_t& word = seen[key >> 6];
      const uint64_t bit = uint64_t{1} << (key & 63);
      if (!(word & bit)) {
        word |= bit;
        ++count;
      }
    }
  }
  return count;
}

namespace {

// Fills grey 24-bit bitmaps from one value per pixel; progress Trunc(y x (100 / height)).
template <class Value>
void FillChannels(const TBitmap* Src, TBitmap* const* Dst, int n, Value value, TCXProgressEvent OnProgress,
                  TObject* Sender) {
  const int w = Src->GetWidth(), h = Src->GetHeight();
  for (int i = 0; i < n; ++i) Dst[i]->Allocate(w, h, pf24bit);
  const double factor = h > 0 ? 100.0 / h : 0;
  for (int y = 0; y < h; ++y) {
    const TRGB* p = Pixels(Src, y);
    for (int i = 0; i < n; ++i) {
      uint8_t* out = Dst[i]->ScanLine(y);
      for (int x = 0; x < w; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = value(p[x], i);
    }
    if (OnProgress) OnProgress(Sender, Trunc(y * factor));
  }
}

uint8_t RgbChannel(const TRGB& p, int channel) {
  return channel == 0 ? p.b : channel == 1 ? p.g : p.r;
}

uint8_t HsvChannel(const TRGB& p, int channel) {
  int h, s, v;
  RGB2HSV(p, h, s, v);
  if (channel == 1) return static_cast<uint8_t>(Trunc(s / 99.0 * 255));
  if (channel == 2) return static_cast<uint8_t>(Trunc(v / 99.0 * 255));
  return static_cast<uint8_t>(Trunc(h / 359.0 * 255));
}

}  // namespace

TBitmap* _GetRGBChannel(const TBitmap* Bitmap, int Channel, TCXProgressEvent OnProgress, TObject* Sender) {
  if (!Is24(Bitmap)) return nullptr;
  auto out = std::make_unique<TBitmap>();
  TBitmap* dst[1] = {out.get()};
  FillChannels(Bitmap, dst, 1, [Channel](const TRGB& p, int) { return RgbChannel(p, Channel); }, OnProgress, Sender);
  return out.release();
}

void _GetRGBChannelAll(const TBitmap* Bitmap, TBitmap* R, TBitmap* G, TBitmap* B, TCXProgressEvent OnProgress,
                       TObject* Sender) {
  if (!Is24(Bitmap) || R == nullptr || G == nullptr || B == nullptr) return;
  TBitmap* dst[3] = {R, G, B};
  static const int kChannel[3] = {2, 1, 0};
  FillChannels(Bitmap, dst, 3, [](const TRGB& p, int i) { return RgbChannel(p, kChannel[i]); }, OnProgress, Sender);
}

TBitmap* _GetHSVChannel(const TBitmap* Bitmap, int Channel, TCXProgressEvent OnProgress, TObject* Sender) {
  if (!Is24(Bitmap)) return nullptr;
  auto out = std::make_unique<TBitmap>();
  TBitmap* dst[1] = {out.get()};
  FillChannels(Bitmap, dst, 1, [Channel](const TRGB& p, int) { return HsvChannel(p, Channel); }, OnProgress, Sender);
  return out.release();
}

void _GetHSVChannelAll(const TBitmap* Bitmap, TBitmap* H, TBitmap* S, TBitmap* V, TCXProgressEvent OnProgress,
                       TObject* Sender) {
  if (!Is24(Bitmap) || H == nullptr || S == nullptr || V == nullptr) return;
  TBitmap* dst[3] = {H, S, V};
  FillChannels(Bitmap, dst, 3, [](const TRGB& p, int i) { return HsvChannel(p, i); }, OnProgress, Sender);
}

}  // namespace corvex
