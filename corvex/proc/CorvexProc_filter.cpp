// 3 x 3 convolution, the kernel file, and the morphological (maximum / minimum) filters.
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/platform/streams/streams.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"

namespace corvex {

using proc_pvt::Pixels;
using proc_pvt::Region;

const TGraphFilter CXFiltPres[9] = {
    {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0},         // fpNone
    {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9},         // fpBlur
    {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1},        // fpEdge
    {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1},      // fpEmboss
    {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1},     // fpHighPass1
    {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}, // fpHighPass2
    {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1},     // fpHighPass3
    {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10},        // LowPass1
    {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16},        // LowPass2
};

namespace {

// Maps a weighted sum to its output byte: Trunc(sum / divisor) clamped to 0 .. 255. Division by
// a constant costs more than the nine products, so sums in the range that can give 1 .. 254 are
// looked up in a table when it is small, and divided otherwise.
class SumToByte {
 public:
  explicit SumToByte(int32_t divisor) : d_(divisor == 0 ? 1 : divisor) {
    if (d_ > 0 && d_ <= 4096) {
      table_.resize(size_t(256) * size_t(d_));
      for (size_t s = 0; s < table_.size(); ++s) table_[s] = static_cast<uint8_t>(int64_t(s) / d_);
    }
  }
  uint8_t operator()(int64_t sum) const {
    if (!table_.empty()) {
      if (sum <= 0) return 0;  // Trunc toward zero of a negative sum: 0 after clamping
      if (sum >= int64_t(table_.size())) return 255;
      return table_[size_t(sum)];
    }
    const int64_t q = sum / d_;
    return static_cast<uint8_t>(q < 0 ? 0 : q > 255 ? 255 : q);
  }

 private:
  int64_t d_;
  std::vector<uint8_t> table_;
};

// Sums of one output row, byte by byte: three source rows, the left, centre and right neighbour
// of every byte (3 bytes apart, the edge pixel repeated). The middle of the row has no edge to
// care about, which lets the compiler vectorise it.
__attribute__((target_clones("avx2", "default"))) void RowSums(const uint8_t* const rows[3], const int32_t w[3][3],
                                                               int width, int b1, int b2, int32_t* out) {
  const int n = 3 * width;
  auto at = [&](const uint8_t* row, int j, int dx) {
    int k = j + 3 * dx;
    if (k < 0) k += 3;
    if (k >= n) k -= 3;
    return int32_t(row[k]);
  };
  auto edge = [&](int j) {
    int32_t s = 0;
    for (int r = 0; r < 3; ++r) s += w[r][0] * at(rows[r], j, -1) + w[r][1] * rows[r][j] + w[r][2] * at(rows[r], j, 1);
    out[j - b1] = s;
  };
  int j = b1;
  for (; j < b2 && j < 3; ++j) edge(j);
  const int mid = std::min(b2, n - 3);
  if (j < mid) {
    const uint8_t *a = rows[0], *b = rows[1], *c = rows[2];
    const int32_t a0 = w[0][0], a1 = w[0][1], a2 = w[0][2], c0 = w[1][0], c1 = w[1][1], c2 = w[1][2];
    const int32_t e0 = w[2][0], e1 = w[2][1], e2 = w[2][2];
    int32_t* o = out - b1;
    for (int k = j; k < mid; ++k)
      o[k] = a0 * a[k - 3] + a1 * a[k] + a2 * a[k + 3] + c0 * b[k - 3] + c1 * b[k] + c2 * b[k + 3] + e0 * c[k - 3] +
             e1 * c[k] + e2 * c[k + 3];
    j = mid;
  }
  for (; j < b2; ++j) edge(j);
}

}  // namespace

void _ApplyFilter(TBitmap* Bitmap, const TGraphFilter& Filter, int x1, int y1, int x2, int y2, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty()) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const SumToByte toByte(Filter.Divisor);
  Progress.PercentPerUnit = 100.0 / (r.y2 - 1 - r.y1 + 0.5);

  // Output rows wait in a ring of two until the source row they overwrite is no longer a
  // neighbour of a row still to compute.
  const int b1 = 3 * r.x1, b2 = 3 * r.x2, span = b2 - b1;
  std::vector<int32_t> sums(static_cast<size_t>(span));
  std::vector<uint8_t> pending(size_t(span) * 2);
  int pendingRow = -1;
  for (int y = r.y1; y < r.y2; ++y) {
    const uint8_t* rows[3] = {Bitmap->ScanLine(std::max(y - 1, 0)), Bitmap->ScanLine(y),
                              Bitmap->ScanLine(std::min(y + 1, h - 1))};
    RowSums(rows, Filter.Values, w, b1, b2, sums.data());
    uint8_t* out = pending.data() + size_t((y - r.y1) & 1) * size_t(span);
    for (int i = 0; i < span; ++i) out[i] = toByte(sums[size_t(i)]);
    if (pendingRow >= 0)
      std::memcpy(Bitmap->ScanLine(pendingRow) + b1, pending.data() + size_t((pendingRow - r.y1) & 1) * size_t(span), size_t(span));
    pendingRow = y;
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Trunc((y - r.y1 + 1) * Progress.PercentPerUnit));
  }
  std::memcpy(Bitmap->ScanLine(pendingRow) + b1, pending.data() + size_t((pendingRow - r.y1) & 1) * size_t(span), size_t(span));
}

TGraphFilter LoadFilterFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  uint8_t head[3];
  f.ReadBuffer(head, 3);
  TGraphFilter filter;
  if (head[0] != 1 || head[1] != 3 || head[2] != 3) {
    filter = CXFiltPres[fpNone];  // not a kernel file: the identity
    filter.Divisor = 1;
    return filter;
  }
  uint8_t body[40];
  f.ReadBuffer(body, 40);
  auto le = [&](int i) {
    return static_cast<int32_t>(uint32_t(body[4 * i]) | uint32_t(body[4 * i + 1]) << 8 |
                                uint32_t(body[4 * i + 2]) << 16 | uint32_t(body[4 * i + 3]) << 24);
  };
  for (int i = 0; i < 9; ++i) filter.Values[i / 3][i % 3] = le(i);
  filter.Divisor = le(9);
  return filter;
}

void SaveFilterToFile(const std::string& FileName, const TGraphFilter& Filter) {
  uint8_t data[43] = {1, 3, 3};
  auto put = [&](int i, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) data[3 + 4 * i + k] = static_cast<uint8_t>(u >> (8 * k));
  };
  for (int i = 0; i < 9; ++i) put(i, Filter.Values[i / 3][i % 3]);
  put(9, Filter.Divisor);
  TFileStream f(FileName, fmCreate);
  f.WriteBuffer(data, sizeof data);
  f.Flush();
}

// ---------------------------------------------------------------------------------------------
// Morphological filters

namespace {

// Sliding maximum of keys over the clamped window [i - r, i + r] of every position, in O(1) per
// element (the van Herk / Gil-Werman scheme over blocks of 2r + 1). Key 0 is below every real key.
void SlidingMax(const uint32_t* in, uint32_t* out, int n, int r, std::vector<uint32_t>& g, std::vector<uint32_t>& hbuf) {
  const int k = 2 * r + 1;
  const int m = n + 2 * r;  // padded length: r zeros on each side
  const int blocks = (m + k - 1) / k;
  const size_t padded = size_t(blocks) * size_t(k);
  g.assign(padded, 0);
  hbuf.assign(padded, 0);
  auto src = [&](int i) { return (i >= r && i < r + n) ? in[i - r] : 0u; };
  for (int b = 0; b < blocks; ++b) {
    const int s = b * k;
    uint32_t run = 0;
    for (int i = s; i < s + k; ++i) g[size_t(i)] = run = std::max(run, src(i));
    run = 0;
    for (int i = s + k - 1; i >= s; --i) hbuf[size_t(i)] = run = std::max(run, src(i));
  }
  // The window of padded positions [i, i + k - 1] is output i.
  for (int i = 0; i < n; ++i) out[i] = std::max(hbuf[size_t(i)], g[size_t(i + k - 1)]);
}

// The same as SlidingMax for small windows: the middle of the row, where the window is whole,
// in a loop the compiler vectorises; the ends with their windows cut.
__attribute__((target_clones("avx2", "default"))) void NaiveRowMax(const uint32_t* in, uint32_t* out, int n, int r) {
  auto cut = [&](int i) {
    uint32_t m = 0;
    for (int j = std::max(i - r, 0); j <= std::min(i + r, n - 1); ++j) m = std::max(m, in[j]);
    out[i] = m;
  };
  if (n <= 2 * r) {
    for (int i = 0; i < n; ++i) cut(i);
    return;
  }
  for (int i = 0; i < r; ++i) cut(i);
  for (int i = r; i < n - r; ++i) out[i] = in[i - r];
  for (int d = 1; d <= 2 * r; ++d)
    for (int i = r; i < n - r; ++i) out[i] = std::max(out[i], in[i - r + d]);
  for (int i = n - r; i < n; ++i) cut(i);
}

// One pass over the region: each pixel takes the colour of the window's first pixel (in scan
// order) of highest grey (maximum) or lowest grey (minimum), or keeps its own colour when no
// pixel beats the start value (0 for maximum, 255 for minimum).
//
// Every pixel gets a key: the grey level (inverted for minimum) in the top byte and the inverted
// column below, so that a larger key is a better grey, then an earlier column. A sliding maximum
// along each row gives each position the best (grey, first column) of its row's window; a second
// maximum down the window's rows, with the inverted row in place of the column, gives the first
// row among equals, and that row's winner gives the column.
class MorphPass {
 public:
  MorphPass(TBitmap* Bitmap, const Region& r, int win, bool maximum) : b_(Bitmap), r_(r), win_(win), max_(maximum) {}

  void Run(int pass, int passes, TCXProgressEvent OnProgress, TObject* Sender) {
    const int h = r_.Height();
    const double factor = (passes == 1 ? 100.0 : 50.0) / (h - 1 + 0.5);
    auto report = [&](int y) {
      if (OnProgress) OnProgress(Sender, Trunc((y + 1 + pass * h) * factor));
    };
    if (win_ <= 16) RunRing(report);
    else RunWhole(report);
  }

 private:
  static constexpr uint32_t kLow = (1u << 24) - 1;

  // The keys of one source row (from the bitmap, before it is overwritten) and their row maxima.
  void RowKeys(int y, uint32_t* keys, uint32_t* horiz, TRGB* colour) {
    const int w = r_.Width();
    const TRGB* p = Pixels(b_, r_.y1 + y) + r_.x1;
    std::memcpy(colour, p, size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
      const uint32_t g = uint32_t(p[x].r * 21 + p[x].g * 71 + p[x].b * 7) / 100;
      keys[x] = (max_ ? g : 255 - g) << 24 | (kLow - uint32_t(x));
    }
    if (win_ <= 8) NaiveRowMax(keys, horiz, w, win_);
    else SlidingMax(keys, horiz, w, win_, g_, hb_);
  }

  // The output pixel x of a row: the winner of the column maximum 'best' over the rows, whose
  // keys and colours HorizOf / ColourOf give.
  template <class HorizOf, class ColourOf>
  static TRGB Winner(int x, uint32_t best, const TRGB& own, HorizOf horizOf, ColourOf colourOf) {
    const int wy = int(kLow - (best & kLow));
    const uint32_t hk = horizOf(wy)[x];
    if ((hk >> 24) == 0) return own;  // nothing beat the start value
    return colourOf(wy)[kLow - (hk & kLow)];
  }

  // Small windows: a ring of the 2 win + 1 rows the window needs, so that the working memory
  // stays in the cache; output row y is written once source row y + win has been read.
  template <class Report>
  void RunRing(Report report) {
    const int w = r_.Width(), h = r_.Height(), slots = 2 * win_ + 1;
    std::unique_ptr<uint32_t[]> keys(new uint32_t[size_t(w)]), best(new uint32_t[size_t(w)]);
    std::unique_ptr<uint32_t[]> horiz(new uint32_t[size_t(w) * size_t(slots)]);
    std::unique_ptr<TRGB[]> colour(new TRGB[size_t(w) * size_t(slots)]);
    auto horizOf = [&](int y) { return horiz.get() + size_t(y % slots) * size_t(w); };
    auto colourOf = [&](int y) { return colour.get() + size_t(y % slots) * size_t(w); };
    for (int in = 0; in < h + win_; ++in) {
      if (in < h) RowKeys(in, keys.get(), horizOf(in), colourOf(in));
      const int y = in - win_;
      if (y < 0) continue;
      uint32_t* bst = best.get();
      std::fill_n(bst, w, 0u);
      for (int ry = std::max(y - win_, 0); ry <= std::min(y + win_, h - 1); ++ry) {
        const uint32_t* k = horizOf(ry);
        const uint32_t inv = kLow - uint32_t(ry);
        for (int x = 0; x < w; ++x) bst[x] = std::max(bst[x], (k[x] & 0xFF000000u) | inv);
      }
      TRGB* out = Pixels(b_, r_.y1 + y) + r_.x1;
      const TRGB* own = colourOf(y);
      for (int x = 0; x < w; ++x) out[x] = Winner(x, bst[x], own[x], horizOf, colourOf);
      report(y);
    }
  }

  // Large windows: the whole region at once, and the sliding maximum down each column.
  template <class Report>
  void RunWhole(Report report) {
    const int w = r_.Width(), h = r_.Height();
    std::unique_ptr<uint32_t[]> keys(new uint32_t[size_t(w)]);
    std::unique_ptr<uint32_t[]> horiz(new uint32_t[size_t(w) * size_t(h)]);
    std::unique_ptr<TRGB[]> colour(new TRGB[size_t(w) * size_t(h)]);
    auto horizOf = [&](int y) { return horiz.get() + size_t(y) * size_t(w); };
    auto colourOf = [&](int y) { return colour.get() + size_t(y) * size_t(w); };
    for (int y = 0; y < h; ++y) RowKeys(y, keys.get(), horizOf(y), colourOf(y));
    std::vector<uint32_t> column(static_cast<size_t>(h)), best(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) column[size_t(y)] = (horizOf(y)[x] & 0xFF000000u) | (kLow - uint32_t(y));
      SlidingMax(column.data(), best.data(), h, win_, g_, hb_);
      for (int y = 0; y < h; ++y)
        Pixels(b_, r_.y1 + y)[r_.x1 + x] = Winner(x, best[size_t(y)], colourOf(y)[x], horizOf, colourOf);
    }
    for (int y = 0; y < h; ++y) report(y);
  }

  TBitmap* b_;
  Region r_;
  int win_;
  bool max_;
  std::vector<uint32_t> g_, hb_;
};

}  // namespace

void _MorphFilter(TBitmap* Bitmap, int WinSize, int Op, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
                  TObject* Sender) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Op < 0 || Op > 3) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty() || WinSize < 0) return;
  if (r.Width() >= (1 << 24) - 1 || r.Height() >= (1 << 24) - 1) return;
  // A window wider than the region sees the whole region, whatever its size.
  const int win = std::min(WinSize, std::max(r.Width(), r.Height()));
  // Maximum, minimum, opening (minimum then maximum), closing (maximum then minimum).
  const bool first = Op == 0 || Op == 3;
  const int passes = Op <= 1 ? 1 : 2;
  MorphPass(Bitmap, r, win, first).Run(0, passes, OnProgress, Sender);
  if (passes == 2) MorphPass(Bitmap, r, win, !first).Run(1, passes, OnProgress, Sender);
}

}  // namespace corvex
