// The BMP codec on a 3000 x 2000 photo-like image: reading each kind of pixel data, and
// writing each variant (the 8-bit writer includes building the palette).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/bench_common.h"
#include "corvex/io/codecs/BMPFilt.h"

using namespace corvex;

namespace {

constexpr int kW = 3000, kH = 2000;

TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = corvex::bench::MakePhoto(kW, kH);
  return *b;
}

void Settings(TIOParamsVals& p, int Bits, TIOBMPCompression Compression) {
  p.BitsPerSample = Bits == 24 ? 8 : Bits;
  p.SamplesPerPixel = Bits == 24 ? 3 : 1;
  p.BMP_Compression = Compression;
}

// Writes into a stream that keeps its memory between runs (growing a fresh block of 18 MB
// costs more than the writing itself on this machine).
int64_t EncodeInto(TMemoryStream& M, TBitmap& B, int Bits, TIOBMPCompression Compression) {
  TIOParamsVals p;
  Settings(p, Bits, Compression);
  M.SetPosition(0);
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  BMPWriteStream(&M, &B, p, pr);
  return M.GetPosition();
}

std::vector<uint8_t> Encode(TBitmap& B, int Bits, TIOBMPCompression Compression) {
  TMemoryStream m;
  const int64_t n = EncodeInto(m, B, Bits, Compression);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + n);
}

// A file of each kind, written once.
const std::vector<uint8_t>& File(int Bits, TIOBMPCompression Compression) {
  static std::vector<uint8_t> files[2][25];
  std::vector<uint8_t>& f = files[Compression][Bits];
  if (f.empty()) f = Encode(Photo(), Bits, Compression);
  return f;
}

void Read(benchmark::State& state, int Bits, TIOBMPCompression Compression) {
  const std::vector<uint8_t>& f = File(Bits, Compression);
  TBitmap b;
  for (auto _ : state) {
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TPointerStream s(f.data(), int64_t(f.size()));
    BMPReadStream(&s, &b, int(f.size()), p, pr, false);
    benchmark::DoNotOptimize(b.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void Write(benchmark::State& state, int Bits, TIOBMPCompression Compression) {
  TMemoryStream m;
  EncodeInto(m, Photo(), Bits, Compression);
  for (auto _ : state) benchmark::DoNotOptimize(EncodeInto(m, Photo(), Bits, Compression));
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

BENCHMARK_CAPTURE(Read, 24bit, 24, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, 8bit, 8, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, 8bit_RLE, 8, ioBMP_RLE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, 4bit_RLE, 4, ioBMP_RLE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, 1bit, 1, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, 24bit, 24, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, 8bit, 8, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, 8bit_RLE, 8, ioBMP_RLE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, 4bit, 4, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, 1bit, 1, ioBMP_UNCOMPRESSED)->Unit(benchmark::kMillisecond);

}  // namespace
