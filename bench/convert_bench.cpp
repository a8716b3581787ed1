// Colour-depth conversions on a 12-megapixel image (4000 x 3000): ordered dither and threshold
// to black and white, 1-bit to 24-bit expansion, and a YUY2 video frame (1920 x 1080) to 24 bits.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {
namespace {

constexpr int kW = 4000, kH = 3000;

const TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = [] {
    auto p = std::make_unique<TBitmap>(kW, kH, pf24bit);
    uint32_t s = 7;
    for (int y = 0; y < kH; ++y) {
      uint8_t* q = p->ScanLine(y);
      for (int x = 0; x < kW * 3; ++x) {
        s = s * 1664525u + 1013904223u;
        q[x] = static_cast<uint8_t>(((x / 3 + y) >> 4) + (s >> 29));
      }
    }
    return p;
  }();
  return *b;
}

// Each run converts a fresh copy of the 24-bit image; the copy is not timed.
template <class Op>
void RunOn24(benchmark::State& state, Op op) {
  TBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    CXCopyBitmap(&Photo(), &work);
    state.ResumeTiming();
    op(work);
    benchmark::DoNotOptimize(work.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}

void BM_ConvertToBWOrdered(benchmark::State& state) {
  RunOn24(state, [](TBitmap& b) {
    TProgressRec p;
    _ConvertToBWOrdered(&b, p);
  });
}
BENCHMARK(BM_ConvertToBWOrdered)->Unit(benchmark::kMillisecond);

void BM_ConvertToBWThresholdAuto(benchmark::State& state) {
  RunOn24(state, [](TBitmap& b) {
    TProgressRec p;
    _ConvertToBWThreshold(&b, -1, p);
  });
}
BENCHMARK(BM_ConvertToBWThresholdAuto)->Unit(benchmark::kMillisecond);

void BM_Conv1to24(benchmark::State& state) {
  TBitmap mono;
  CXCopyBitmap(&Photo(), &mono);
  TProgressRec p;
  _ConvertToBWOrdered(&mono, p);
  TBitmap out;
  for (auto _ : state) {
    _Conv1to24(&mono, &out, p);
    benchmark::DoNotOptimize(out.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_Conv1to24)->Unit(benchmark::kMillisecond);

// For comparison: what a fresh 24-bit 12-megapixel bitmap costs (allocation and the first
// write of every page), which every conversion to 24 bits pays.
void BM_Fresh24BitBitmap(benchmark::State& state) {
  TBitmap out;
  for (auto _ : state) {
    out.Allocate(1, 1, pf24bit);
    out.Allocate(kW, kH, pf24bit);
    std::memset(out.Bits(), 1, out.GetImageSize());
    benchmark::DoNotOptimize(out.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_Fresh24BitBitmap)->Unit(benchmark::kMillisecond);

void BM_YUY2Frame(benchmark::State& state) {
  const int w = 1920, h = 1080;
  std::vector<uint8_t> frame(size_t(w) * h * 2);
  uint32_t s = 3;
  for (uint8_t& v : frame) v = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
  TBitmap out(w, h, pf24bit);
  for (auto _ : state) {
    _CopyYUY2ToBitmap(frame.data(), &out, true, frame.size());
    benchmark::DoNotOptimize(out.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
}
BENCHMARK(BM_YUY2Frame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvex
