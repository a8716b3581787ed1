// Resampling and rotation of a 6000 x 4000 photo beside Pillow, libvips and ImageMagick (one
// thread each) in the same run; the magic wand on 12 megapixels and a copy through a
// 1000-vertex polygon.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>

#include "bench/bench_common.h"
#include "corvex/core/utils.h"
#include "corvex/proc/CorvexProc.h"

using namespace corvex;
using namespace corvex::bench;

namespace {

constexpr int kW = 6000, kH = 4000;

TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = MakePhoto(kW, kH);
  return *b;
}

void BM_ResampleLanczosDown(benchmark::State& s) {
  TBitmap dst(1500, 1000, pf24bit);
  for (auto _ : s) {
    _Resample(&Photo(), &dst, rfLanczos3, nullptr, nullptr);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
void BM_ResampleLanczosUp(benchmark::State& s) {
  for (auto _ : s) {
    TBitmap dst(12000, 8000, pf24bit);
    _Resample(&Photo(), &dst, rfLanczos3, nullptr, nullptr);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
void BM_Rotate30AntiAlias(benchmark::State& s) {
  TBitmap work;
  TCorvexProc proc;
  proc.SetAutoUndo(false);
  proc.SetAttachedBitmap(&work);
  for (auto _ : s) {
    s.PauseTiming();
    CXCopyBitmap(&Photo(), &work);
    s.ResumeTiming();
    proc.Rotate(30, true);
    benchmark::DoNotOptimize(work.Bits());
  }
}

// 4000 x 3000 with a large elliptical region of one colour under light noise.
TBitmap& WandImage() {
  static std::unique_ptr<TBitmap> b = [] {
    auto bmp = MakePhoto(4000, 3000);
    uint32_t seed = 7;
    for (int y = 0; y < 3000; ++y) {
      uint8_t* p = bmp->ScanLine(y);
      for (int x = 0; x < 4000; ++x) {
        const double dx = (x - 2000) / 1900.0, dy = (y - 1500) / 1400.0;
        if (dx * dx + dy * dy > 1) continue;
        seed = seed * 1664525u + 1013904223u;
        const int n = int(seed >> 30);
        p[3 * x] = uint8_t(100 + n), p[3 * x + 1] = uint8_t(150 - n), p[3 * x + 2] = uint8_t(200 + n);
      }
    }
    return bmp;
  }();
  return *b;
}
void BM_MagicWand12MP(benchmark::State& s) {
  for (auto _ : s) {
    int n = 0;
    std::unique_ptr<TPoint[]> p(_MakeMagicWandPoints(&WandImage(), 2000, 1500, s.range(0) != 0, 4, n));
    benchmark::DoNotOptimize(p.get());
    s.counters["vertices"] = n;
  }
}

std::vector<TPoint> Star(int vertices) {
  std::vector<TPoint> pts;
  for (int i = 0; i < vertices; ++i) {
    const double a = 2 * M_PI * i / vertices, r = (i & 1) ? 0.6 : 0.95;
    pts.push_back(TPoint{int(kW / 2 + r * kW / 2 * std::cos(a)), int(kH / 2 + r * kH / 2 * std::sin(a))});
  }
  return pts;
}
void BM_CopyPolygonBitmap1000(benchmark::State& s) {
  const std::vector<TPoint> star = Star(1000);
  TBitmap dest(kW, kH, pf24bit);
  for (auto _ : s) {
    _CopyPolygonBitmap(&dest, &Photo(), 0, 0, star.data(), int(star.size()));
    benchmark::DoNotOptimize(dest.Bits());
  }
}

BENCHMARK(BM_ResampleLanczosDown)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ResampleLanczosUp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Rotate30AntiAlias)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MagicWand12MP)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPolygonBitmap1000)->Unit(benchmark::kMillisecond);

std::string ImageMagick() {
  for (const char* c : {"/usr/bin/convert-im6.q16", "/usr/bin/convert", "/usr/bin/magick"})
    if (access(c, X_OK) == 0) return c;
  return "";
}

// Milliseconds per iteration from ImageMagick's -bench "Performance" line, or -1.
double MagickMs(const std::string& im, const std::string& ppm, const std::string& op) {
  if (im.empty()) return -1;
  const std::string out = Run(im + " -limit thread 1 " + ppm + " -bench 3 " + op + " null: 2>&1");
  const size_t at = out.rfind("Performance");
  if (at == std::string::npos) return -1;
  const size_t ips = out.find("ips", at);
  if (ips == std::string::npos) return -1;
  const size_t sp = out.rfind(' ', ips);
  try {
    const double v = std::stod(out.substr(sp + 1, ips - sp - 1));
    if (v > 0 && out.find("rror") == std::string::npos) return 1000.0 / v;
  } catch (...) {
  }
  return -2;  // ran but failed (its resource policy may refuse an image this large)
}

// A row, telling a peer that failed from one that is missing.
void Row(const std::string& op, double ours, const std::string& peer, double theirs) {
  if (theirs == -2) std::printf("%-34s %10.2f   %-28s %10s\n", op.c_str(), ours, peer.c_str(), "(failed)");
  else PrintRow(op, ours, peer, theirs);
}

// Milliseconds of the fastest of three runs of a shell command (libvips reading its own
// memory-mapped format, so that decoding does not count), or -1.
double CommandMs(const std::string& cmd) {
  return PeerMs("/usr/bin/python3 -c \"import subprocess, time; ts = []\n"
                "for i in range(3):\n t = time.perf_counter(); r = subprocess.run('" + cmd +
                "', shell=True); ts.append(time.perf_counter() - t)\n"
                "print(min(ts) * 1000 if r.returncode == 0 else -1)\"");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Photo();  // the test images are made before any timing
  WandImage();
  TimingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const std::string ppm = "/tmp/corvex_geometry_bench.ppm";
  WritePPM(Photo(), ppm);
  const std::string pil = Python("PIL");
  const std::string im = ImageMagick();
  const bool vips = Have("vips");
  const std::string vin = "/tmp/corvex_geometry_bench.v", vout = "/tmp/corvex_geometry_bench_out.v";
  if (vips) Run("vips copy " + ppm + " " + vin + " 2>/dev/null");

  auto pillow = [&](int w, int h) {
    if (pil.empty()) return -1.0;
    return PeerMs(pil + " -c \"import time; from PIL import Image; im = Image.open('" + ppm +
                  "'); im.load(); ts = []\n"
                  "for i in range(3):\n t = time.perf_counter(); im.resize((" + std::to_string(w) + ", " +
                  std::to_string(h) + "), Image.LANCZOS); ts.append(time.perf_counter() - t)\n"
                  "print(min(ts) * 1000)\"");
  };
  auto vipsMs = [&](const std::string& op, const std::string& args) {
    if (!vips) return -1.0;
    return CommandMs("VIPS_CONCURRENCY=1 vips " + op + " " + vin + " " + vout + " " + args);
  };

  PrintHeader();
  const double down = reporter.Ms("BM_ResampleLanczosDown/min_time:2.000");
  const double up = reporter.Ms("BM_ResampleLanczosUp/iterations:3");
  Row("_Resample Lanczos3 to 1500x1000", down, "Pillow resize LANCZOS", pillow(1500, 1000));
  Row("", down, "libvips reduce lanczos3 (1 thr)", vipsMs("reduce", "4 4 --kernel lanczos3"));
  Row("", down, "ImageMagick -resize Lanczos", MagickMs(im, ppm, "-filter Lanczos -resize 1500x1000!"));
  Row("_Resample Lanczos3 to 12000x8000", up, "Pillow resize LANCZOS", pillow(12000, 8000));
  Row("", up, "libvips resize 2 lanczos3 (1 thr)", vipsMs("resize", "2 --kernel lanczos3"));
  Row("", up, "ImageMagick -resize Lanczos", MagickMs(im, ppm, "-filter Lanczos -resize 12000x8000!"));
  const double rot = reporter.Ms("BM_Rotate30AntiAlias/iterations:5");
  Row("Rotate(30, true) 6000x4000", rot, "ImageMagick -rotate 30", MagickMs(im, ppm, "-rotate 30"));
  std::printf("\nreported only:\n");
  std::printf("  _MakeMagicWandPoints 4000x3000, large region      %8.2f ms (MaxFilter %.2f ms)\n",
              reporter.Ms("BM_MagicWand12MP/0"), reporter.Ms("BM_MagicWand12MP/1"));
  std::printf("  _CopyPolygonBitmap 6000x4000, 1000 vertices        %8.2f ms\n", reporter.Ms("BM_CopyPolygonBitmap1000"));
  std::printf("(libvips timed as a command on its own memory-mapped image, output included)\n");
  std::remove(ppm.c_str());
  std::remove(vin.c_str());
  std::remove(vout.c_str());
  benchmark::Shutdown();
  return 0;
}
