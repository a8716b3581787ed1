// Colour-depth conversion and dithering: reduction to N colours, black and white by ordered
// dither or threshold, two-colour detection, 1-bit to 24-bit expansion, row conversion between
// bit depths, palette matching and palette helpers.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/core/utils.h"

namespace corvex {

namespace {

// Ordered-dither matrix, indexed [x mod 8][y mod 8].
constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// 100 times the grey value, before the division: (r * 21 + g * 71 + b * 7).
inline int GreySum(const uint8_t* p) { return p[2] * 21 + p[1] * 71 + p[0] * 7; }

// Entry v: the 8 pixels of the 1-bit byte v, leftmost (bit 7) first, black or white.
struct ExpandTable {
  TRGB px[256][8];
  constexpr ExpandTable() : px() {
    for (int v = 0; v < 256; ++v)
      for (int k = 0; k < 8; ++k) {
        const uint8_t c = (v >> (7 - k)) & 1 ? 255 : 0;
        px[v][k] = TRGB{c, c, c};
      }
  }
};
constexpr ExpandTable kExpand;

inline bool Is24(const TBitmap* b) {
  return b != nullptr && b->GetPixelFormat() == pf24bit && b->GetWidth() > 0 && b->GetHeight() > 0;
}

// Builds a 1-bit bitmap of Source's size bit by bit: white where White(x, y, pixel) holds.
template <class Pred>
void BuildOneBit(const TBitmap* Source, TBitmap& Out, Pred White, int y) {
  const int w = Source->GetWidth();
  const uint8_t* p = Source->ScanLine(y);
  uint8_t* d = Out.ScanLine(y);
  int x = 0;
  for (; x + 8 <= w; x += 8, p += 24) {
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) byte = byte << 1 | unsigned(White(x + k, p + 3 * k));
    *d++ = static_cast<uint8_t>(byte);
  }
  if (x < w) {
    unsigned byte = 0;
    const int rest = w - x;
    for (int k = 0; k < rest; ++k) byte |= unsigned(White(x + k, p + 3 * k)) << (7 - k);
    *d = static_cast<uint8_t>(byte);
  }
}

}  // namespace

void _GetMediaContrastRGB(const TBitmap* Bitmap, int& MeanR, int& MeanG, int& MeanB) {
  MeanR = MeanG = MeanB = 128;
  if (!Is24(Bitmap) || Bitmap->GetWidth() < 2 || Bitmap->GetHeight() < 2) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  int64_t sr = 0, sg = 0, sb = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    uint64_t rr = 0, rg = 0, rb = 0;
    for (int x = 0; x < w; ++x, p += 3) {
      rb += p[0];
      rg += p[1];
      rr += p[2];
    }
    sr += int64_t(rr);
    sg += int64_t(rg);
    sb += int64_t(rb);
  }
  const int64_t d = int64_t(w - 1) * (h - 1);
  MeanR = static_cast<int>(sr / d);
  MeanG = static_cast<int>(sg / d);
  MeanB = static_cast<int>(sb / d);
}

void _ConvertTo(TBitmap* Bitmap, int NumColors, TRGB* Palette, TCXProgressEvent OnProgress, TObject* Sender) {
  if (!Is24(Bitmap) || NumColors < 1) return;
  const int count = std::min(NumColors, kMaxQuantizerColors);
  std::vector<TRGB> temp;
  if (Palette == nullptr) {
    temp.assign(count, TRGB{0, 0, 0});
    Palette = temp.data();
  }
  const TCXQuantizer q(Bitmap, Palette, count, count, -1, 0);
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const double factor = 100.0 / (h + 0.5);
  for (int y = 0; y < h; ++y) {
    TRGB* p = reinterpret_cast<TRGB*>(Bitmap->ScanLine(y));
    // Runs of one colour are common; the previous pixel's answer is reused.
    TRGB last = p[0];
    TRGB mapped = Palette[q.GetRGBIndex(last)];
    for (int x = 0; x < w; ++x) {
      if (!EqualRGB(p[x], last)) {
        last = p[x];
        mapped = Palette[q.GetRGBIndex(last)];
      }
      p[x] = mapped;
    }
    if (OnProgress) OnProgress(Sender, Trunc(factor * (y + 1)));
  }
}

TBitmap* _ConvertTo1bit(const TBitmap* Bitmap, TRGB& Col1, TRGB& Col2) {
  if (!Is24(Bitmap)) return nullptr;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  auto out = std::make_unique<TBitmap>(w, h, pf1bit);
  const TRGB* first = reinterpret_cast<const TRGB*>(Bitmap->ScanLine(0));
  TRGB c1 = first[0], c2 = first[0];
  bool haveSecond = false;
  for (int y = 0; y < h; ++y) {
    const TRGB* p = reinterpret_cast<const TRGB*>(Bitmap->ScanLine(y));
    uint8_t* d = out->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      if (EqualRGB(p[x], c1)) continue;  // bit 0
      if (!haveSecond) {
        c2 = p[x];
        haveSecond = true;
      } else if (!EqualRGB(p[x], c2)) {
        Col1 = c1;
        Col2 = c2;
        return nullptr;  // a third colour
      }
      d[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
  Col1 = c1;
  if (!haveSecond) return nullptr;
  Col2 = c2;
  auto grey = [](TRGB c) { return Round((c.r * 21 + c.g * 71 + c.b * 7) / 100.0); };
  if (grey(Col2) < grey(Col1)) {
    _Negative1Bit(out.get());
    std::swap(Col1, Col2);
  }
  return out.release();
}

void _ConvertToBWOrdered(TBitmap* Bitmap, TProgressRec& Progress) {
  if (!Is24(Bitmap)) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TBitmap out(w, h, pf1bit);
  Progress.PercentPerUnit = 100.0 / (h + 0.5);
  // (grey div 4) > m  <=>  grey sum >= 400 * (m + 1), since grey div 4 = sum div 400.
  int limit[8][8];
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y) limit[y][x] = 400 * (kDither[x][y] + 1);
  for (int y = 0; y < h; ++y) {
    ProgressReport(Progress, Trunc(Progress.PercentPerUnit * y));
    const int* row = limit[y & 7];
    BuildOneBit(Bitmap, out, [row](int x, const uint8_t* p) { return GreySum(p) >= row[x & 7]; }, y);
  }
  CXCopyBitmap(&out, Bitmap);
}

void _ConvertToBWThreshold(TBitmap* Bitmap, int Threshold, TProgressRec& Progress) {
  if (!Is24(Bitmap)) return;
  if (Threshold == -1) {
    int r, g, b;
    _GetMediaContrastRGB(Bitmap, r, g, b);
    Threshold = _RGBToGray(CreateRGB(blimit(r), blimit(g), blimit(b)));
  }
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TBitmap out(w, h, pf1bit);
  Progress.PercentPerUnit = 100.0 / (h + 0.5);
  // grey < Threshold  <=>  grey sum < 100 * Threshold (never, for a threshold of 0 or less).
  const int limit = Threshold > 0 ? 100 * std::min(Threshold, 1000) : 0;
  for (int y = 0; y < h; ++y) {
    BuildOneBit(Bitmap, out, [limit](int, const uint8_t* p) { return GreySum(p) >= limit; }, y);
    ProgressReport(Progress, Trunc(Progress.PercentPerUnit * (y + 1)));
  }
  CXCopyBitmap(&out, Bitmap);
}

void _Conv1to24(const TBitmap* Src, TBitmap* Dst, TProgressRec& Progress) {
  if (Src == nullptr || Dst == nullptr || Src->GetPixelFormat() != pf1bit) return;
  std::unique_ptr<TBitmap> copy;
  if (Src == Dst) {
    copy.reset(CXCloneBitmap(Src));
    Src = copy.get();
  }
  const int w = Src->GetWidth(), h = Src->GetHeight();
  Dst->Allocate(1, 1, pf24bit);
  Dst->Allocate(w, h, pf24bit);
  Progress.PercentPerUnit = 100.0 / (h + 0.5);
  const int full = w >> 3, rest = w & 7;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Src->ScanLine(y);
    uint8_t* d = Dst->ScanLine(y);
    for (int i = 0; i < full; ++i, d += 24) std::memcpy(d, kExpand.px[s[i]], 24);
    if (rest != 0) std::memcpy(d, kExpand.px[s[full]], size_t(rest) * 3);
    ProgressReport(Progress, Trunc(Progress.PercentPerUnit * (y + 1)));
  }
}

void _Negative1Bit(TBitmap* Bitmap) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf1bit || Bitmap->Bits() == nullptr) return;
  uint8_t* p = Bitmap->Bits();
  const size_t n = Bitmap->GetImageSize();
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

int _ConvertXBitsToYBits(const uint8_t* Src, uint8_t* Dst, uint16_t SrcBitCount, uint16_t DstBitCount,
                         uint16_t Width, const TRGB* Palette, int PaletteHigh, const TCXQuantizer* Quantizer) {
  if (Src == nullptr || Dst == nullptr) return 0;
  const int w = Width;
  auto bit = [Src](int x) { return (Src[x >> 3] >> (7 - (x & 7))) & 1; };
  auto nibble = [Src](int x) { return (x & 1) ? Src[x >> 1] & 0x0F : Src[x >> 1] >> 4; };
  // Packs 4-bit values, high nibble first.
  auto pack4 = [Dst, w](auto value) {
    for (int x = 0; x < w; x += 2) {
      const int hi = value(x) & 0x0F;
      const int lo = x + 1 < w ? value(x + 1) & 0x0F : 0;
      Dst[x >> 1] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return (w + 1) / 2;
  };
  auto expand24 = [&](auto index) {
    TRGB table[256] = {};
    if (Palette != nullptr && PaletteHigh >= 0) std::copy(Palette, Palette + std::min(PaletteHigh + 1, 256), table);
    TRGB* d = reinterpret_cast<TRGB*>(Dst);
    for (int x = 0; x < w; ++x) d[x] = table[index(x)];
    return 3 * w;
  };

  switch (SrcBitCount * 100 + DstBitCount) {
    case 101:
      std::memcpy(Dst, Src, size_t(w + 7) / 8);
      return (w + 7) / 8;
    case 404:
      std::memcpy(Dst, Src, size_t(w + 1) / 2);
      return (w + 1) / 2;
    case 808:
      std::memcpy(Dst, Src, size_t(w));
      return w;
    case 2424:
      std::memmove(Dst, Src, size_t(w) * 3);
      return 3 * w;
    case 104:
      return pack4(bit);
    case 108:
      for (int x = 0; x < w; ++x) Dst[x] = static_cast<uint8_t>(bit(x));
      return w;
    case 408:
      for (int x = 0; x < w; ++x) Dst[x] = static_cast<uint8_t>(nibble(x));
      return w;
    case 801: {
      const int n = (w + 7) / 8;
      std::memset(Dst, 0, size_t(n));
      for (int x = 0; x < w; ++x) Dst[x >> 3] |= static_cast<uint8_t>((Src[x] & 1) << (7 - (x & 7)));
      return n;
    }
    case 124:
      return expand24(bit);
    case 424:
      return expand24(nibble);
    case 824:
      return expand24([Src](int x) { return Src[x]; });
    case 2404:
      if (Quantizer == nullptr) return 0;
      return pack4([Src, Quantizer](int x) { return Quantizer->GetRGBIndex(reinterpret_cast<const TRGB*>(Src)[x]); });
    case 2408:
      if (Quantizer == nullptr) return 0;
      for (int x = 0; x < w; ++x)
        Dst[x] = static_cast<uint8_t>(Quantizer->GetRGBIndex(reinterpret_cast<const TRGB*>(Src)[x]));
      return w;
    case 3224:
      for (int x = 0; x < w; ++x) {
        Dst[3 * x] = Src[4 * x];
        Dst[3 * x + 1] = Src[4 * x + 1];
        Dst[3 * x + 2] = Src[4 * x + 2];
      }
      return 3 * w;
    default:
      return 0;
  }
}

HPALETTE _CreateWinPalette(const TRGB* Palette, int Count) {
  if (Palette == nullptr || Count < 1 || Count > 65535) return 0;
  std::vector<TPaletteEntry> entries(Count);
  for (int i = 0; i < Count; ++i) entries[i] = TPaletteEntry{Palette[i].r, Palette[i].g, Palette[i].b, 0};
  return CreatePalette(0x300, entries.data(), Count);
}

void _CopyBGR_RGB(TRGB* Dst, const TRGB* Src, int Count) {
  if (Dst == nullptr || Src == nullptr) return;
  for (int i = 0; i < Count; ++i) {
    const TRGB c = Src[i];
    Dst[i] = TRGB{c.r, c.g, c.b};
  }
}

void _RGB2BGR(TRGB* Pixels, int Count) { _CopyBGR_RGB(Pixels, Pixels, Count); }

int _GetSimilColor(const TRGB* Palette, int Count, TRGB Color) {
  int best = 0, bestD = 1 << 30;
  for (int i = 0; i < Count; ++i) {
    const int d = std::abs(Palette[i].r - Color.r) + std::abs(Palette[i].g - Color.g) + std::abs(Palette[i].b - Color.b);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}


}  // namespace corvex
