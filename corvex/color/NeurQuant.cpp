// The neural-network colour quantizer (NeuQuant's Kohonen map with its integer constants).
#include "corvex/color/NeurQuant.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvex {

namespace {

// NeuQuant's constants.
constexpr int kNetBiasShift = 4;               // colours are scaled by 16 while learning
constexpr int kIntBiasShift = 16;              // frequency and bias in 16-bit fixed point
constexpr int kIntBias = 1 << kIntBiasShift;
constexpr int kGammaShift = 10;
constexpr int kBetaShift = 10;
constexpr int kBeta = kIntBias >> kBetaShift;  // 64
constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);  // 65536
constexpr int kRadiusBiasShift = 6;
constexpr int kRadiusBias = 1 << kRadiusBiasShift;
constexpr int kRadiusDec = 30;
constexpr int kAlphaBiasShift = 10;
constexpr int kInitAlpha = 1 << kAlphaBiasShift;  // 1024
constexpr int kRadBiasShift = 8;
constexpr int kRadBias = 1 << kRadBiasShift;      // 256
constexpr int kAlphaRadBias = 1 << (kAlphaBiasShift + kRadBiasShift);  // 262144
constexpr int kCycles = 100;                      // learning periods

// Lookup cells: 5 bits per channel, at most kMaxCandidates neurons listed per cell.
constexpr int kCellBits = 5;
constexpr int kCellShift = 8 - kCellBits;
constexpr int kCellCount = 1 << (3 * kCellBits);
constexpr int kMaxCandidates = 64;
constexpr int kMemoBits = 14;
constexpr int kMemoSize = 1 << kMemoBits;

// The first position of v in a[0 .. n-1], which holds it.
inline int FindFirst(const int32_t* a, int n, int32_t v) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i key = _mm_set1_epi32(v);
  for (; i + 4 <= n; i += 4) {
    const int mask = _mm_movemask_ps(_mm_castsi128_ps(
        _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)), key)));
    if (mask != 0) return i + __builtin_ctz(unsigned(mask));
  }
#endif
  while (a[i] != v) ++i;
  return i;
}

// The network while it learns, one array per field so that the winner search streams through
// memory.
struct Learner {
  int n = 0;
  std::vector<int32_t> b, g, r, bias, freq, radpower;
  std::vector<int32_t> dist, biasdist;  // scratch of the winner search

  explicit Learner(int size)
      : n(size), b(size), g(size), r(size), bias(size, 0), freq(size, kIntBias / size),
        radpower(std::max(size >> 3, 1), 0), dist(size), biasdist(size) {
    for (int i = 0; i < n; ++i) b[i] = g[i] = r[i] = (i << (kNetBiasShift + 8)) / n;
  }

  void SetRadPower(int rad, int alpha) {
    for (int k = 0; k < rad; ++k) radpower[k] = alpha * (((rad * rad - k * k) * kRadBias) / (rad * rad));
  }

  // The biased winner for a sample: the first neuron with the smallest distance less its bias.
  // Every neuron's frequency decays and its bias grows; the unbiased winner gains frequency and
  // loses bias. What one gains the other loses 1024-fold, so bias = 1024 * (initial frequency -
  // frequency) at all times: with frequencies within 0 .. 66559 it never leaves +-2^27. Its
  // shift keeps the sign (a neuron that wins often has a negative bias and is held back).
  int Contest(int32_t sb, int32_t sg, int32_t sr) {
    // One pass that the compiler can vectorise (distances, the two minima, the decay of every
    // frequency and bias), then the first neuron at each minimum.
    int32_t* pb = b.data();
    int32_t* pg = g.data();
    int32_t* pr = r.data();
    int32_t* pbias = bias.data();
    int32_t* pfreq = freq.data();
    int32_t* pd = dist.data();
    int32_t* pbd = biasdist.data();
    int32_t bestd = INT_MAX, bestbiasd = INT_MAX;
    for (int i = 0; i < n; ++i) {
      const int32_t d = std::abs(pb[i] - sb) + std::abs(pg[i] - sg) + std::abs(pr[i] - sr);
      const int32_t bd = d - (pbias[i] >> (kIntBiasShift - kNetBiasShift));
      pd[i] = d;
      pbd[i] = bd;
      bestd = std::min(bestd, d);
      bestbiasd = std::min(bestbiasd, bd);
      const int32_t betafreq = pfreq[i] >> kBetaShift;
      pfreq[i] -= betafreq;
      pbias[i] += betafreq << kGammaShift;
    }
    const int bestpos = FindFirst(pd, n, bestd);
    const int bestbiaspos = FindFirst(pbd, n, bestbiasd);
    pfreq[bestpos] += kBeta;
    pbias[bestpos] -= kBetaGamma;
    return bestbiaspos;
  }

  void AlterSingle(int alpha, int i, int32_t sb, int32_t sg, int32_t sr) {
    b[i] -= (alpha * (b[i] - sb)) / kInitAlpha;
    g[i] -= (alpha * (g[i] - sg)) / kInitAlpha;
    r[i] -= (alpha * (r[i] - sr)) / kInitAlpha;
  }

  void AlterOne(int j, int64_t a, int32_t sb, int32_t sg, int32_t sr) {
    b[j] -= static_cast<int32_t>((a * (b[j] - sb)) / kAlphaRadBias);
    g[j] -= static_cast<int32_t>((a * (g[j] - sg)) / kAlphaRadBias);
    r[j] -= static_cast<int32_t>((a * (r[j] - sr)) / kAlphaRadBias);
  }

  // Moves the neighbours i+1, i-1, i+2, i-2, ... within the radius, the m-th pair by radpower[m].
  void AlterNeighbours(int rad, int i, int32_t sb, int32_t sg, int32_t sr) {
    const int lo = std::max(i - rad, -1);
    const int hi = std::min(i + rad, n);
    int j = i + 1, k = i - 1, m = 1;
    while (j < hi || k > lo) {
      const int64_t a = radpower[m++];
      if (j < hi) AlterOne(j++, a, sb, sg, sr);
      if (k > lo) AlterOne(k--, a, sb, sg, sr);
    }
  }
};

}  // namespace

int NeuralSamplingFactor(int64_t Pixels, int Quality) {
  if (Quality == -1) {
    if (Pixels < 2000) return 1;
    const double f = static_cast<double>((Pixels - 2000) * 13) / 148000.0 + 2.0;
    return std::clamp(Round(f), 1, 30);
  }
  Quality = std::clamp(Quality, 0, 100);
  return Trunc((100 - Quality) / 100.0 * 29) + 1;
}

int NeuralSampleStep(int64_t ByteLength) {
  for (int p : {499, 491, 487})
    if (ByteLength % p != 0) return p;
  return 503;
}

TNeuralQuantizer::TNeuralQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol,
                                   int Quality) {
  const int limit = std::min(256, ColorMapCount);
  if (ColorMap == nullptr || limit < 1) return;
  const int n = std::clamp(NCol, 1, limit);

  const bool usable = Bitmap != nullptr && Bitmap->GetPixelFormat() == pf24bit &&
                      Bitmap->GetWidth() > 0 && Bitmap->GetHeight() > 0;
  const int width = usable ? Bitmap->GetWidth() : 0;
  const int64_t pixels = usable ? int64_t(width) * Bitmap->GetHeight() : 0;
  const int64_t byteLength = pixels * 3;
  Factor_ = NeuralSamplingFactor(pixels, Quality);

  Learner net(n);
  const int alphadec = 30 + (Factor_ - 1) / 3;
  const int64_t samplepixels = byteLength / (3 * Factor_);
  // The schedule's period; under 100 samples it would be 0, and every sample then ends a period.
  const int64_t delta = std::max<int64_t>(samplepixels / kCycles, 1);
  int alpha = kInitAlpha;
  int radius = (n >> 3) * kRadiusBias;
  int rad = radius >> kRadiusBiasShift;
  if (rad <= 1) rad = 0;
  net.SetRadPower(rad, alpha);
  const int64_t step = NeuralSampleStep(byteLength);

  int64_t pos = 0;
  for (int64_t i = 0; i < samplepixels;) {
    const uint8_t* p = Bitmap->ScanLine(static_cast<int>(pos / width)) + size_t(pos % width) * 3;
    const int32_t sb = p[0] << kNetBiasShift, sg = p[1] << kNetBiasShift, sr = p[2] << kNetBiasShift;
    const int j = net.Contest(sb, sg, sr);
    net.AlterSingle(alpha, j, sb, sg, sr);
    if (rad != 0) net.AlterNeighbours(rad, j, sb, sg, sr);
    pos += step;
    // One subtraction wraps any image of at least `step` pixels; smaller ones need the rest.
    if (pos >= pixels) pos -= pixels;
    if (pos >= pixels) pos %= pixels;
    ++i;
    if (i % delta == 0) {
      alpha -= alpha / alphadec;
      radius -= radius / kRadiusDec;
      rad = radius >> kRadiusBiasShift;
      if (rad <= 1) rad = 0;
      net.SetRadPower(rad, alpha);
    }
  }

  Net_.resize(n);
  for (int i = 0; i < n; ++i) {
    Neuron& e = Net_[i];
    e.b = std::clamp(net.b[i] >> kNetBiasShift, 0, 255);
    e.g = std::clamp(net.g[i] >> kNetBiasShift, 0, 255);
    e.r = std::clamp(net.r[i] >> kNetBiasShift, 0, 255);
    e.index = i;
    ColorMap[i] = TRGB{static_cast<uint8_t>(e.b), static_cast<uint8_t>(e.g), static_cast<uint8_t>(e.r)};
  }
  BuildIndex();
  Cells_.assign(kCellCount, Cell{0, 0, 0});
  MemoKey_.assign(kMemoSize, 0);
  MemoIndex_.assign(kMemoSize, 0);
}

// Sorts the network by green (selection sort: the first smallest is swapped in) and records,
// for every green value, where the search starts.
void TNeuralQuantizer::BuildIndex() {
  const int n = static_cast<int>(Net_.size());
  int previous = 0, start = 0;
  for (int i = 0; i < n; ++i) {
    int smallpos = i;
    int smallval = Net_[i].g;
    for (int j = i + 1; j < n; ++j)
      if (Net_[j].g < smallval) {
        smallpos = j;
        smallval = Net_[j].g;
      }
    if (smallpos != i) std::swap(Net_[i], Net_[smallpos]);
    if (smallval != previous) {
      GreenIndex_[previous] = (start + i) >> 1;
      for (int j = previous + 1; j < smallval; ++j) GreenIndex_[j] = i;
      previous = smallval;
      start = i;
    }
  }
  GreenIndex_[previous] = (start + n - 1) >> 1;
  for (int j = previous + 1; j < 256; ++j) GreenIndex_[j] = n - 1;
}

// The neurons that can be nearest to some colour of a cell: with U the smallest, over all
// neurons, of the largest distance from a neuron to the cell, every nearest neuron of every
// colour in the cell is at most U away from the cell.
void TNeuralQuantizer::BuildCell(unsigned CellIndex) const {
  const int n = static_cast<int>(Net_.size());
  constexpr int side = (1 << kCellShift) - 1;
  const int lr = int(CellIndex >> (2 * kCellBits)) << kCellShift;
  const int lg = int((CellIndex >> kCellBits) & ((1 << kCellBits) - 1)) << kCellShift;
  const int lb = int(CellIndex & ((1 << kCellBits) - 1)) << kCellShift;
  auto nearDist = [](int v, int lo) { return v < lo ? lo - v : v > lo + side ? v - lo - side : 0; };
  auto farDist = [](int v, int lo) { return std::max(v - lo, lo + side - v); };
  int bound = INT_MAX;
  for (const Neuron& p : Net_) bound = std::min(bound, farDist(p.r, lr) + farDist(p.g, lg) + farDist(p.b, lb));
  const size_t offset = Pool_.size();
  int count = 0;
  for (int k = 0; k < n && count <= kMaxCandidates; ++k) {
    const Neuron& p = Net_[k];
    if (nearDist(p.r, lr) + nearDist(p.g, lg) + nearDist(p.b, lb) > bound) continue;
    Pool_.push_back(static_cast<uint8_t>(k));
    ++count;
  }
  Cell& c = Cells_[CellIndex];
  if (count > kMaxCandidates) {
    Pool_.resize(offset);
    c.State = 2;
    return;
  }
  c = Cell{static_cast<uint32_t>(offset), static_cast<uint16_t>(count), 1};
}

// A small memo of recent colours, then the candidates of the colour's cell.
int TNeuralQuantizer::GetIndex(const TRGB& Color) const {
  if (Net_.empty()) return 0;
  const uint32_t key = (uint32_t(Color.r) << 16 | uint32_t(Color.g) << 8 | Color.b) + 1;
  const uint32_t slot = (key * 2654435761u) >> (32 - kMemoBits);
  if (MemoKey_[slot] == key) return MemoIndex_[slot];
  const unsigned cell = unsigned(Color.r >> kCellShift) << (2 * kCellBits) |
                        unsigned(Color.g >> kCellShift) << kCellBits | unsigned(Color.b >> kCellShift);
  const Cell* c = &Cells_[cell];
  if (c->State == 0) {
    BuildCell(cell);
    c = &Cells_[cell];
  }
  int index;
  if (c->State == 2) {
    index = SearchIndex(Color);
  } else {
    index = NearestCandidate(*c, Color);
  }
  MemoKey_[slot] = key;
  MemoIndex_[slot] = static_cast<uint8_t>(index);
  return index;
}

// The nearest candidate of a cell; among equal distances the one the search would meet first:
// positions from the green index i0 upward are met at steps 0, 1, ..., those below it at steps
// 0, 1, ... just after the upward one of the same step.
int TNeuralQuantizer::NearestCandidate(const Cell& C, const TRGB& Color) const {
  const uint8_t* cand = Pool_.data() + C.Offset;
  const int b = Color.b, g = Color.g, r = Color.r;
  const int i0 = GreenIndex_[g];
  auto rank = [i0](int k) { return k >= i0 ? 2 * (k - i0) : 2 * (i0 - 1 - k) + 1; };
  const Neuron* net = Net_.data();
  int bestd = INT_MAX, bestk = 0;
  for (int i = 0; i < C.Count; ++i) {
    const int k = cand[i];
    const Neuron& p = net[k];
    const int d = std::abs(p.g - g) + std::abs(p.b - b) + std::abs(p.r - r);
    if (d < bestd || (d == bestd && rank(k) < rank(bestk))) {
      bestd = d;
      bestk = k;
    }
  }
  return net[bestk].index;
}

// Walks up and down from the green index alternately; a side stops once its green difference
// alone reaches the best distance found.
int TNeuralQuantizer::SearchIndex(const TRGB& Color) const {
  const int n = static_cast<int>(Net_.size());
  if (n == 0) return 0;
  const int b = Color.b, g = Color.g, r = Color.r;
  const Neuron* net = Net_.data();
  int bestd = 1000, best = -1;
  int i = GreenIndex_[g], j = i - 1;
  while (i < n || j >= 0) {
    if (i < n) {
      const Neuron& p = net[i];
      int dist = p.g - g;
      if (dist >= bestd) {
        i = n;
      } else {
        ++i;
        if (dist < 0) dist = -dist;
        dist += std::abs(p.b - b);
        if (dist < bestd) {
          dist += std::abs(p.r - r);
          if (dist < bestd) {
            bestd = dist;
            best = p.index;
          }
        }
      }
    }
    if (j >= 0) {
      const Neuron& p = net[j];
      int dist = g - p.g;
      if (dist >= bestd) {
        j = -1;
      } else {
        --j;
        if (dist < 0) dist = -dist;
        dist += std::abs(p.b - b);
        if (dist < bestd) {
          dist += std::abs(p.r - r);
          if (dist < bestd) {
            bestd = dist;
            best = p.index;
          }
        }
      }
    }
  }
  return best < 0 ? 0 : best;
}

}  // namespace corvex
