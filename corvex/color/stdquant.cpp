// The variance-based median-cut quantizer and TCXQuantizer, which picks between it and the
// neural quantizer.
//
// Median cut: the colours of the image are counted in a 32 x 32 x 32 cube of 5-bit cells. Boxes
// of cells are split, always the one with the largest variance, along the axis that leaves the
// smallest summed variance, until NCol boxes exist or no box can be split; each box's mean is a
// palette colour and every cell inside a box maps to that box's index.
#include "corvex/color/stdquant.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/color/NeurQuant.h"

namespace corvex {

namespace {

constexpr int kBins = 32;              // 5-bit bins per axis
constexpr int kCells = kBins * kBins * kBins;
constexpr double kFailedSplit = 17523.6;  // the score of an axis that cannot be split

inline int CellIndex(int r5, int g5, int b5) { return r5 << 10 | g5 << 5 | b5; }

struct Box {
  double error = 0;         // summed variance of the box divided by the image's pixel count
  double mean[3] = {0, 0, 0};  // per axis (0 red, 1 green, 2 blue), in bin units
  int64_t count = 0;        // pixels in the box
  int64_t hist[3][kBins] = {};  // per axis, the box's pixels in each bin
  int low[3] = {0, 0, 0};   // inclusive bin bounds
  int high[3] = {kBins, kBins, kBins};  // exclusive
};

struct MedianCutState {
  std::vector<uint32_t> histogram = std::vector<uint32_t>(kCells, 0);
  std::vector<Box> boxes = std::vector<Box>(kMaxQuantizerColors);
  std::vector<uint8_t> lookup = std::vector<uint8_t>(kCells, 0);
  int64_t pixels = 0;
  int requested = 0;
  int produced = 0;
};

// Mean and error of a box from its projection histograms. Sums of integers are exact in double.
void BoxStatistics(Box& b, double pixels) {
  b.error = 0;
  if (b.count == 0) return;
  const double count = static_cast<double>(b.count);
  for (int a = 0; a < 3; ++a) {
    double s = 0, t = 0;
    for (int j = b.low[a]; j < b.high[a]; ++j) {
      const double h = static_cast<double>(b.hist[a][j]);
      s += j * h;
      t += double(j * j) * h;
    }
    b.mean[a] = s / count;
    b.error += t - b.mean[a] * b.mean[a] * count;
  }
  b.error /= pixels;
}

// Bounds shrink to the bins that hold pixels; an empty projection gives low 32, high 1.
void ShrinkBox(Box& b) {
  for (int a = 0; a < 3; ++a) {
    int lo = kBins, hi = 1;
    for (int j = 0; j < kBins; ++j)
      if (b.hist[a][j] != 0) {
        lo = j;
        break;
      }
    for (int j = kBins - 1; j >= 0; --j)
      if (b.hist[a][j] != 0) {
        hi = j + 1;
        break;
      }
    b.low[a] = lo;
    b.high[a] = hi;
  }
}

// Splits box across axis a into lo (the lower bins) and hi. The cut is searched between the
// midpoints of (low, mean) and (mean, high); the moment of that search starts at the cut.
bool SplitAxis(const MedianCutState& st, const Box& box, int a, Box& lo, Box& hi) {
  if (box.low[a] + 1 == box.high[a]) return false;
  const int64_t* h = box.hist[a];
  const int cut = Round((box.low[a] + box.mean[a]) * 0.5);
  const int last = Round((box.high[a] + box.mean[a]) * 0.5);
  int64_t below = 0;
  for (int j = std::max(box.low[a], 0); j < std::min(cut, kBins); ++j) below += h[j];
  double best = -1.0;
  int bestCut = cut;
  int64_t bestCount = box.count;
  double moment = 0;
  const double count = static_cast<double>(box.count);
  // The bins from the high bound on are empty, so the loop always stops at the last filled bin
  // (below reaches count); the bound on k only keeps the reads inside the histogram.
  for (int k = cut; k <= last && k < kBins; ++k) {
    below += h[k];
    if (below == box.count) break;
    moment += static_cast<double>(k * h[k]) / count;
    const double d = (box.mean[a] - moment) * (box.mean[a] - moment);
    const double score = static_cast<double>(below) / static_cast<double>(box.count - below) * d;
    if (score > best) {
      best = score;
      bestCut = k;
      bestCount = below;
    }
  }

  lo = box;
  hi = box;
  lo.count = bestCount;
  lo.high[a] = bestCut + 1;
  hi.count = box.count - bestCount;
  hi.low[a] = bestCut + 1;
  if (lo.count <= 0 || hi.count <= 0) return false;

  // The lower half's projections from the cube; the upper half keeps the rest.
  std::memset(lo.hist, 0, sizeof lo.hist);
  const uint32_t* cube = st.histogram.data();
  for (int r = lo.low[0]; r < lo.high[0]; ++r) {
    for (int g = lo.low[1]; g < lo.high[1]; ++g) {
      const uint32_t* cell = cube + CellIndex(r, g, 0);
      int64_t rowSum = 0;
      for (int b = lo.low[2]; b < lo.high[2]; ++b) {
        const uint32_t v = cell[b];
        rowSum += v;
        lo.hist[2][b] += v;
      }
      lo.hist[1][g] += rowSum;
      lo.hist[0][r] += rowSum;
    }
  }
  for (int x = 0; x < 3; ++x)
    for (int j = 0; j < kBins; ++j) hi.hist[x][j] -= lo.hist[x][j];

  ShrinkBox(lo);
  ShrinkBox(hi);
  const double pixels = static_cast<double>(st.pixels);
  BoxStatistics(lo, pixels);
  BoxStatistics(hi, pixels);
  return true;
}

// Splits box c into boxes c and i along the axis that leaves the smallest summed error (ties go
// to the lower axis). On failure the box's error becomes 0, so it is never chosen again.
bool SplitBox(MedianCutState& st, int c, int i) {
  Box& box = st.boxes[c];
  if (box.error == 0 || box.count == 0) {
    box.error = 0;
    return false;
  }
  auto pairs = std::make_unique<Box[]>(6);
  double score[3];
  for (int a = 0; a < 3; ++a)
    score[a] = SplitAxis(st, box, a, pairs[2 * a], pairs[2 * a + 1])
                   ? pairs[2 * a].error + pairs[2 * a + 1].error
                   : kFailedSplit;
  int axis;
  if (score[0] < kFailedSplit && score[0] <= score[1] && score[0] <= score[2])
    axis = 0;
  else if (score[1] < kFailedSplit && score[1] <= score[0] && score[1] <= score[2])
    axis = 1;
  else if (score[2] < kFailedSplit)
    axis = 2;
  else {
    box.error = 0;
    return false;
  }
  st.boxes[c] = pairs[2 * axis];
  st.boxes[i] = pairs[2 * axis + 1];
  return true;
}

}  // namespace

void* CreateMedianCutQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol) {
  const int limit = std::min(kMaxQuantizerColors, ColorMapCount);
  if (ColorMap == nullptr || limit < 1) return nullptr;
  NCol = std::clamp(NCol, 1, limit);

  auto st = std::make_unique<MedianCutState>();
  st->requested = NCol;
  const bool usable = Bitmap != nullptr && Bitmap->GetPixelFormat() == pf24bit &&
                      Bitmap->GetWidth() > 0 && Bitmap->GetHeight() > 0;
  if (usable) {
    const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    st->pixels = int64_t(w) * h;
    uint32_t* cube = st->histogram.data();
    for (int y = 0; y < h; ++y) {
      const uint8_t* p = Bitmap->ScanLine(y);
      const uint8_t* end = p + size_t(w) * 3;
      for (; p < end; p += 3) ++cube[(p[2] >> 3) << 10 | (p[1] >> 3) << 5 | p[0] >> 3];
    }
  }

  // Box 0 is the whole cube; its projections are the cube's.
  Box& first = st->boxes[0];
  first.count = st->pixels;
  for (int r = 0; r < kBins; ++r)
    for (int g = 0; g < kBins; ++g) {
      const uint32_t* cell = st->histogram.data() + CellIndex(r, g, 0);
      int64_t rowSum = 0;
      for (int b = 0; b < kBins; ++b) {
        rowSum += cell[b];
        first.hist[2][b] += cell[b];
      }
      first.hist[1][g] += rowSum;
      first.hist[0][r] += rowSum;
    }
  BoxStatistics(first, static_cast<double>(st->pixels));

  int i = 1;
  while (i < NCol) {
    int c = -1;
    double best = 0;
    for (int k = 0; k < i; ++k)
      if (st->boxes[k].error > best) {
        best = st->boxes[k].error;
        c = k;
      }
    if (c < 0) break;
    if (SplitBox(*st, c, i)) ++i;
  }
  st->produced = i;

  for (int k = 0; k < i; ++k) {
    const Box& b = st->boxes[k];
    ColorMap[k].b = static_cast<uint8_t>(Round(b.mean[2]) << 3);
    ColorMap[k].g = static_cast<uint8_t>(Round(b.mean[1]) << 3);
    ColorMap[k].r = static_cast<uint8_t>(Round(b.mean[0]) << 3);
  }
  uint8_t* lookup = st->lookup.data();
  for (int k = 0; k < i; ++k) {
    const Box& b = st->boxes[k];
    for (int r = b.low[0]; r < b.high[0]; ++r)
      for (int g = b.low[1]; g < b.high[1]; ++g)
        for (int bl = b.low[2]; bl < b.high[2]; ++bl) lookup[CellIndex(r, g, bl)] = static_cast<uint8_t>(k);
  }
  return st.release();
}

int MedianCutFindIndex(const void* Quantizer, const TRGB& Color) {
  if (Quantizer == nullptr) return 0;
  const auto* st = static_cast<const MedianCutState*>(Quantizer);
  return st->lookup[(Color.r & 0xF8) << 7 | (Color.g & 0xF8) << 2 | (Color.b & 0xF8) >> 3];
}

int MedianCutColorCount(const void* Quantizer) {
  return Quantizer == nullptr ? 0 : static_cast<const MedianCutState*>(Quantizer)->produced;
}

void FreeMedianCutQuantizer(void* Quantizer) { delete static_cast<MedianCutState*>(Quantizer); }

// ---------------------------------------------------------------------------------------------
// TCXQuantizer

TCXQuantizer::TCXQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol,
                           int Quality, int Reserved) {
  (void)Reserved;
  const int limit = std::min(kMaxQuantizerColors, ColorMapCount);
  if (ColorMap == nullptr || limit < 1) return;
  NCol = std::clamp(NCol, 1, limit);
  if (NCol < 128) {
    Method_ = 1;
    Handle_ = CreateMedianCutQuantizer(Bitmap, ColorMap, ColorMapCount, NCol);
    Lookup_ = static_cast<MedianCutState*>(Handle_)->lookup.data();
  } else {
    Method_ = 0;
    Handle_ = new TNeuralQuantizer(Bitmap, ColorMap, ColorMapCount, NCol, Quality);
  }
}

TCXQuantizer::~TCXQuantizer() {
  if (Method_ == 1)
    FreeMedianCutQuantizer(Handle_);
  else if (Method_ == 0)
    delete static_cast<TNeuralQuantizer*>(Handle_);
}

int TCXQuantizer::NeuralIndex(const TRGB& Color) const {
  return static_cast<const TNeuralQuantizer*>(Handle_)->GetIndex(Color);
}

}  // namespace corvex
