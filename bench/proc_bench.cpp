// Colour operations, 3 x 3 convolution, morphological maximum and the frequency-domain image,
// each beside a peer doing the same in the same run: Pillow's 3 x 3 kernel filter, ImageMagick's
// dilation (one thread), NumPy's FFT.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include "bench/bench_common.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/cxfft.h"

using namespace corvex;
using namespace corvex::bench;

namespace {

constexpr int kW = 6000, kH = 4000;

TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = MakePhoto(kW, kH);
  return *b;
}

// A working copy, refreshed before every iteration outside the timing.
TBitmap& Work() {
  static TBitmap w;
  return w;
}

template <class Op>
void Timed(benchmark::State& state, Op op) {
  for (auto _ : state) {
    state.PauseTiming();
    Work().Assign(&Photo());
    state.ResumeTiming();
    op(Work());
    benchmark::DoNotOptimize(Work().Bits());
  }
  state.counters["MP/s"] = benchmark::Counter(double(kW) * kH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ApplyFilterBlur(benchmark::State& s) {
  Timed(s, [](TBitmap& b) {
    TProgressRec pr;
    _ApplyFilter(&b, CXFiltPres[fpBlur], 0, 0, kW, kH, pr);
  });
}
void BM_MorphMax(benchmark::State& s) {
  const int win = int(s.range(0));
  Timed(s, [win](TBitmap& b) { _MorphFilter(&b, win, 0, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_IntensityRGBall(benchmark::State& s) {
  Timed(s, [](TBitmap& b) { _IntensityRGBall(&b, 10, -5, 3, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_Negative(benchmark::State& s) {
  Timed(s, [](TBitmap& b) { _Negative(&b, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_ConvertToGray(benchmark::State& s) {
  Timed(s, [](TBitmap& b) { _ConvertToGray(&b, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_Threshold(benchmark::State& s) {
  Timed(s, [](TBitmap& b) {
    _Threshold(&b, CreateRGB(40, 40, 40), CreateRGB(200, 200, 200), CreateRGB(0, 0, 0), CreateRGB(255, 255, 255), 0, 0, kW,
               kH, nullptr, nullptr);
  });
}
void BM_HSVvar(benchmark::State& s) {
  Timed(s, [](TBitmap& b) { _HSVvar(&b, 20, 5, -5, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_HSLvar(benchmark::State& s) {
  Timed(s, [](TBitmap& b) { _HSLvar(&b, 20, 5, -5, 0, 0, kW, kH, nullptr, nullptr); });
}
void BM_BuildFT512(benchmark::State& s) {
  std::unique_ptr<TBitmap> small = MakePhoto(512, 512);
  for (auto _ : s) {
    TCXFtImage ft;
    ft.BuildFT(small.get(), cxitRGB);
    benchmark::DoNotOptimize(ft.GetComplexImage(0, 0).RedReal);
  }
}

BENCHMARK(BM_ApplyFilterBlur)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_MorphMax)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_IntensityRGBall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToGray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HSVvar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HSLvar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildFT512)->Unit(benchmark::kMillisecond);

std::string ImageMagick() {
  for (const char* c : {"/usr/bin/convert-im6.q16", "/usr/bin/convert", "/usr/bin/magick"})
    if (access(c, X_OK) == 0) return c;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TimingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const std::string ppm = "/tmp/corvex_proc_bench.ppm";
  WritePPM(Photo(), ppm);
  const std::string pil = Python("PIL");
  const std::string np = Python("numpy");
  const std::string im = ImageMagick();

  PrintHeader();
  double pillow = -1;
  if (!pil.empty())
    pillow = PeerMs(pil + " -c \"import time; from PIL import Image, ImageFilter; im = Image.open('" + ppm +
                    "'); im.load(); k = ImageFilter.Kernel((3,3), [1]*9, 9); ts = []\n"
                    "for i in range(3):\n t = time.perf_counter(); im.filter(k); ts.append(time.perf_counter() - t)\n"
                    "print(sorted(ts)[1] * 1000)\"");
  PrintRow("_ApplyFilter fpBlur 6000x4000", reporter.Ms("BM_ApplyFilterBlur/min_time:1.000"), "Pillow Kernel 3x3", pillow);
  for (int n : {1, 5}) {
    double ms = -1;
    if (!im.empty()) {
      // ImageMagick's own timer, reading the file outside it.
      const std::string out = Run(im + " -limit thread 1 " + ppm + " -bench 3 -morphology Dilate Square:" + std::to_string(n) +
                                  " null: 2>&1");
      const size_t at = out.rfind("Performance");
      if (at != std::string::npos) {
        const size_t ips = out.find("ips", at);
        const size_t sp = out.rfind(' ', ips);
        if (ips != std::string::npos) ms = 1000.0 / std::stod(out.substr(sp + 1, ips - sp - 1));
      }
    }
    PrintRow("_MorphFilter max win " + std::to_string(n), reporter.Ms("BM_MorphMax/" + std::to_string(n) + "/min_time:1.000"),
             "ImageMagick Dilate Square:" + std::to_string(n), ms);
  }
  double numpy = -1;
  if (!np.empty())
    numpy = PeerMs(np + " -c \"import time, numpy as n; a = n.random.rand(3, 512, 512).astype(n.complex64); ts = []\n"
                        "for i in range(20):\n t = time.perf_counter(); [n.fft.fft2(a[c]) for c in range(3)]; ts.append(time.perf_counter() - t)\n"
                        "print(sorted(ts)[10] * 1000)\"");
  PrintRow("TCXFtImage.BuildFT 512x512 RGB", reporter.Ms("BM_BuildFT512"), "NumPy fft2 x 3", numpy);
  std::printf("\nper-pixel colour functions on 6000x4000 (megapixels per second):\n");
  for (const char* name : {"BM_IntensityRGBall", "BM_Negative", "BM_ConvertToGray", "BM_Threshold", "BM_HSVvar", "BM_HSLvar"}) {
    const double ms = reporter.Ms(name);
    if (ms > 0) std::printf("  %-20s %8.1f MP/s\n", name + 3, double(kW) * kH / 1e3 / ms);
  }
  std::remove(ppm.c_str());
  benchmark::Shutdown();
  return 0;
}
