// Building each colour quantizer over a photo-like 24-bit image of 1 and 12 megapixels, and
// mapping every pixel of the image through it (what a palette writer does).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "corvex/color/NeurQuant.h"
#include "corvex/color/stdquant.h"

namespace corvex {
namespace {

// Smooth colour gradients with a little noise: many distinct colours, locally similar, as in a
// photograph.
std::unique_ptr<TBitmap> PhotoLike(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  uint32_t s = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      s = s * 1664525u + 1013904223u;
      const int n = int(s >> 28) - 8;
      const double fx = double(x) / w, fy = double(y) / h;
      p[0] = blimit(int(255 * fx * fy) + n);
      p[1] = blimit(int(128 + 120 * std::sin(6.0 * fx + 3.0 * fy)) + n);
      p[2] = blimit(int(255 * (1 - fx) * (0.5 + 0.5 * std::cos(5.0 * fy))) + n);
    }
  }
  return b;
}

// Two sizes: 1000 x 1000 and 4000 x 3000.
const TBitmap& Image(int mp) {
  static std::unique_ptr<TBitmap> one = PhotoLike(1000, 1000);
  static std::unique_ptr<TBitmap> twelve;
  if (mp == 1) return *one;
  if (!twelve) twelve = PhotoLike(4000, 3000);
  return *twelve;
}

int64_t MapAll(const TCXQuantizer& q, const TBitmap& b) {
  int64_t sum = 0;
  for (int y = 0; y < b.GetHeight(); ++y) {
    const TRGB* p = reinterpret_cast<const TRGB*>(b.ScanLine(y));
    for (int x = 0; x < b.GetWidth(); ++x) sum += q.GetRGBIndex(p[x]);
  }
  return sum;
}

// Arguments: megapixels, colours, quality (neural only), map (0 = build only, 1 = build + map).
void BM_Quantize(benchmark::State& state) {
  const TBitmap& b = Image(int(state.range(0)));
  const int ncol = int(state.range(1)), quality = int(state.range(2));
  const bool map = state.range(3) != 0;
  TRGB pal[256];
  for (auto _ : state) {
    TCXQuantizer q(&b, pal, 256, ncol, quality);
    if (map) benchmark::DoNotOptimize(MapAll(q, b));
    benchmark::DoNotOptimize(pal[0]);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(b.GetWidth()) * b.GetHeight());
}

// Median cut (16 colours) and the neural network (256 colours, automatic quality: factor 30 for
// both sizes; and quality 100: every pixel learnt).
BENCHMARK(BM_Quantize)
    ->ArgNames({"MP", "colors", "quality", "map"})
    ->Args({1, 16, -1, 0})->Args({1, 16, -1, 1})
    ->Args({12, 16, -1, 0})->Args({12, 16, -1, 1})
    ->Args({1, 256, -1, 0})->Args({1, 256, -1, 1})
    ->Args({12, 256, -1, 0})->Args({12, 256, -1, 1})
    ->Args({1, 256, 100, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvex
