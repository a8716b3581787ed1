// 3 x 3 convolution, the kernel file, and the morphological (maximum / minimum) filters.
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/proc/CorvexProc.h"
#include "corvex/platform/streams.h"
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

// One pass over the region: each pixel takes the colour of the window's first pixel (in scan
// order) of highest grey (maximum) or lowest grey (minimum), or keeps its own colour when no
// pixel beats the start value (0 for maximum, 255 for minimum).
void MorphPass(TBitmap* Bitmap, const Region& r, int win, bool maximum, int pass, int passes,
               TCXProgressEvent OnProgress, TObject* Sender) {
  const int w = r.Width(), h = r.Height();
  // The region's colours and a key per pixel: the grey level (inverted for minimum) above, and
  // the inverted column below, so that a larger key is a better grey, then an earlier column.
  std::vector<TRGB> colour(size_t(w) * size_t(h));
  std::vector<uint32_t> key(size_t(w) * size_t(h));
  const uint32_t kLow = (1u << 24) - 1;
  for (int y = 0; y < h; ++y) {
    const TRGB* p = Pixels(Bitmap, r.y1 + y) + r.x1;
    std::memcpy(colour.data() + size_t(y) * size_t(w), p, size_t(w) * 3);
    uint32_t* k = key.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x) {
      const uint32_t g = uint32_t(p[x].r * 21 + p[x].g * 71 + p[x].b * 7) / 100;
      k[x] = (maximum ? g : 255 - g) << 24 | (kLow - uint32_t(x));
    }
  }
  // Horizontal: the best (grey, first column) of each row's window, in place of the keys.
  std::vector<uint32_t> row(static_cast<size_t>(std::max(w, h))), g, hb;
  for (int y = 0; y < h; ++y) {
    uint32_t* k = key.data() + size_t(y) * size_t(w);
    SlidingMax(k, row.data(), w, win, g, hb);
    std::memcpy(k, row.data(), size_t(w) * 4);
  }
  // Vertical: over the window's rows, the best grey and the first row among equals (keys now
  // carry the inverted row); the column comes from that row's horizontal winner.
  auto vkey = [&](int y, int x) { return (key[size_t(y) * size_t(w) + size_t(x)] & 0xFF000000u) | (kLow - uint32_t(y)); };
  auto emit = [&](int y, int x, uint32_t best, TRGB* out) {
    const int wy = int(kLow - (best & kLow));
    const uint32_t hk = key[size_t(wy) * size_t(w) + size_t(x)];
    if ((hk >> 24) == 0) out[x] = colour[size_t(y) * size_t(w) + size_t(x)];  // nothing beat the start value
    else out[x] = colour[size_t(wy) * size_t(w) + (kLow - (hk & kLow))];
  };
  const double factor = (passes == 1 ? 100.0 : 50.0) / (h - 1 + 0.5);
  if (win <= 16) {
    // Small windows: row by row over the window's rows (a loop the compiler vectorises).
    std::vector<uint32_t> best(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
      std::fill(best.begin(), best.end(), 0u);
      for (int ry = std::max(y - win, 0); ry <= std::min(y + win, h - 1); ++ry) {
        const uint32_t* k = key.data() + size_t(ry) * size_t(w);
        const uint32_t inv = kLow - uint32_t(ry);
        for (int x = 0; x < w; ++x) best[size_t(x)] = std::max(best[size_t(x)], (k[x] & 0xFF000000u) | inv);
      }
      TRGB* out = Pixels(Bitmap, r.y1 + y) + r.x1;
      for (int x = 0; x < w; ++x) emit(y, x, best[size_t(x)], out);
      if (OnProgress) OnProgress(Sender, Trunc((y + 1 + pass * h) * factor));
    }
    return;
  }
  // Large windows: the sliding maximum down each column.
  std::vector<uint32_t> column(static_cast<size_t>(h)), best(static_cast<size_t>(h));
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) column[size_t(y)] = vkey(y, x);
    SlidingMax(column.data(), best.data(), h, win, g, hb);
    for (int y = 0; y < h; ++y) emit(y, x, best[size_t(y)], Pixels(Bitmap, r.y1 + y) + r.x1);
  }
  for (int y = 0; y < h; ++y)
    if (OnProgress) OnProgress(Sender, Trunc((y + 1 + pass * h) * factor));
}

}  // namespace

void _MorphFilter(TBitmap* Bitmap, int WinSize, int Op, int x1, int y1, int x2, int y2, TCXProgressEvent OnProgress,
                  TObject* Sender) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Op < 0 || Op > 3) return;
  const Region r(Bitmap, x1, y1, x2, y2);
  if (r.Empty() || WinSize < 0) return;
  if (r.Width() >= (1 << 24) - 1 || r.Height() >= (1 << 24) - 1) return;
  // A window wider than the region sees the whole region, whatever its size.
  const int win = std::min(WinSize, std::max(r.Width(), r.Height()));
  switch (Op) {
    case 0: MorphPass(Bitmap, r, win, true, 0, 1, OnProgress, Sender); break;
    case 1: MorphPass(Bitmap, r, win, false, 0, 1, OnProgress, Sender); break;
    case 2:
      MorphPass(Bitmap, r, win, false, 0, 2, OnProgress, Sender);
      MorphPass(Bitmap, r, win, true, 1, 2, OnProgress, Sender);
      break;
    default:
      MorphPass(Bitmap, r, win, true, 0, 2, OnProgress, Sender);
      MorphPass(Bitmap, r, win, false, 1, 2, OnProgress, Sender);
      break;
  }
}

}  // namespace corvex
