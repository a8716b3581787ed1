// TIFF decode and encode of a 6000 x 4000 24-bit page (uncompressed, PackBits, LZW with
// differencing) and of an A4 300-dpi fax page in Group 4, each beside libtiff's tiffcp doing the
// same conversion when it is installed. Decode is "compressed file -> uncompressed file", encode
// "uncompressed file -> compressed file", through files on both sides; a table of both figures
// and their ratio follows the benchmark output. Codec-only times (memory in, memory out) are the
// Decode/Encode rows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"

using namespace corvex;

namespace {

constexpr int kW = 6000, kH = 4000;
constexpr int kFaxW = 2480, kFaxH = 3508;

const TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = corvex::bench::MakePhoto(kW, kH);
  return *b;
}

// A page of text-like marks: lines of "words" made of small glyph boxes, margins, a rule.
const TBitmap& Fax() {
  static TBitmap* b = [] {
    auto* bmp = new TBitmap(kFaxW, kFaxH, pf1bit);
    std::fill(bmp->Bits(), bmp->Bits() + bmp->GetImageSize(), uint8_t(0xFF));
    std::mt19937 rng(77);
    auto black = [&](int x, int y) { bmp->ScanLine(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7))); };
    for (int line = 300; line + 40 < kFaxH - 300; line += 50) {
      int x = 250;
      while (x < kFaxW - 300) {
        const int word = 3 + int(rng() % 8);
        for (int c = 0; c < word && x < kFaxW - 300; ++c, x += 26) {
          const int h = 20 + int(rng() % 12), w = 14 + int(rng() % 8);
          for (int y = line + 32 - h; y < line + 32; ++y)
            for (int xx = x; xx < x + w; ++xx)
              if ((xx * 7 + y * 3 + c) % 5 < 3 || y == line + 31 || xx == x) black(xx, y);
        }
        x += 30;
      }
    }
    for (int y = 200; y < 204; ++y)
      for (int x = 250; x < kFaxW - 250; ++x) black(x, y);
    return bmp;
  }();
  return *b;
}

std::string Dir() {
  static std::string d = [] {
    std::string p = "/tmp/corvex_tiff_bench_" + std::to_string(getpid());
    std::system(("mkdir -p " + p).c_str());
    return p;
  }();
  return d;
}

struct Case {
  const char* name;
  bool fax;
  TIOTIFFCompression compression;
  const char* tiffcp;  // tiffcp's name for the compression
};
const Case kCases[] = {{"none", false, ioTIFF_UNCOMPRESSED, "none"},
                       {"packbits", false, ioTIFF_PACKBITS, "packbits"},
                       {"lzw", false, ioTIFF_LZW, "lzw:2"},
                       {"g4", true, ioTIFF_G4FAX, "g4"}};

void SetParams(TIOParamsVals& p, const Case& c) {
  p.BitsPerSample = c.fax ? 1 : 8;
  p.SamplesPerPixel = c.fax ? 1 : 3;
  p.TIFF_Compression = c.compression;
  p.DpiX = p.DpiY = 300;
}

std::vector<uint8_t> Encoded(const Case& c) {
  TIOParamsVals p;
  SetParams(p, c);
  TMemoryStream m;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  TIFFWriteStream(&m, false, const_cast<TBitmap*>(c.fax ? &Fax() : &Photo()), p, pr);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
}

// The files tiffcp and the file conversions start from: the compressed page and the raw page.
std::string FileOf(const Case& c, bool raw) {
  static std::map<std::string, std::string> files;
  const std::string key = std::string(c.name) + (raw ? "_raw" : "");
  auto it = files.find(key);
  if (it != files.end()) return it->second;
  Case rc = c;
  if (raw) rc.compression = ioTIFF_UNCOMPRESSED;
  const auto bytes = Encoded(rc);
  const std::string path = Dir() + "/" + key + ".tif";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return files[key] = path;
}

void BM_Decode(benchmark::State& state, const Case& c) {
  CXInstallLZW();
  const auto bytes = Encoded(c);
  TBitmap bmp;
  for (auto _ : state) {
    TPointerStream s(bytes.data(), int64_t(bytes.size()));
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadTIFFStream(&s, &bmp, p, pr, false);
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.counters["MB"] = double(bytes.size()) / 1e6;
}

void BM_Encode(benchmark::State& state, const Case& c) {
  CXInstallLZW();
  TBitmap* src = const_cast<TBitmap*>(c.fax ? &Fax() : &Photo());
  for (auto _ : state) {
    TMemoryStream m;
    TIOParamsVals p;
    SetParams(p, c);
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TIFFWriteStream(&m, false, src, p, pr);
    benchmark::DoNotOptimize(m.Memory());
  }
}

// File to file, as tiffcp does: read with one compression, write with another.
void Convert(const std::string& in, const std::string& out, const Case& to) {
  TBitmap bmp;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  {
    TFileStream f(in, fmOpenRead);
    TIOParamsVals p;
    ReadTIFFStream(&f, &bmp, p, pr, false);
  }
  TFileStream o(out, fmCreate);
  TIOParamsVals p;
  SetParams(p, to);
  TIFFWriteStream(&o, false, &bmp, p, pr);
  o.Flush();
}

void BM_OursDecode(benchmark::State& state, const Case& c) {
  CXInstallLZW();
  const std::string in = FileOf(c, false), out = Dir() + "/ours_dec.tif";
  Case none = c;
  none.compression = ioTIFF_UNCOMPRESSED;
  for (auto _ : state) Convert(in, out, none);
}
void BM_OursEncode(benchmark::State& state, const Case& c) {
  CXInstallLZW();
  const std::string in = FileOf(c, true), out = Dir() + "/ours_enc.tif";
  for (auto _ : state) Convert(in, out, c);
}
void BM_TiffcpDecode(benchmark::State& state, const Case& c) {
  const std::string cmd = "tiffcp -c none '" + FileOf(c, false) + "' '" + Dir() + "/cp_dec.tif'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("tiffcp failed");
}
void BM_TiffcpEncode(benchmark::State& state, const Case& c) {
  const std::string cmd =
      std::string("tiffcp -c ") + c.tiffcp + " '" + FileOf(c, true) + "' '" + Dir() + "/cp_enc.tif'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("tiffcp failed");
}

class PairReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
  }
  void PrintPairs() const {
    std::printf("\n%-16s %12s %12s %8s\n", "conversion", "corvex ms", "tiffcp ms", "ratio");
    for (const Case& c : kCases)
      for (const char* op : {"Decode", "Encode"}) {
        auto a = times_.find(std::string("Ours") + op + "/" + c.name);
        auto t = times_.find(std::string("Tiffcp") + op + "/" + c.name);
        if (a == times_.end() || t == times_.end()) continue;
        std::printf("%-16s %12.1f %12.1f %8.3f\n", (std::string(op) + " " + c.name).c_str(), a->second, t->second,
                    a->second / t->second);
      }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const bool tiffcp = std::system("command -v tiffcp > /dev/null 2>&1") == 0;
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("Decode/") + c.name).c_str(), BM_Decode, c)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Encode/") + c.name).c_str(), BM_Encode, c)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("OursDecode/") + c.name).c_str(), BM_OursDecode, c)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("OursEncode/") + c.name).c_str(), BM_OursEncode, c)
        ->Unit(benchmark::kMillisecond);
    if (tiffcp) {
      benchmark::RegisterBenchmark((std::string("TiffcpDecode/") + c.name).c_str(), BM_TiffcpDecode, c)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((std::string("TiffcpEncode/") + c.name).c_str(), BM_TiffcpEncode, c)
          ->Unit(benchmark::kMillisecond);
    }
  }
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintPairs();
  benchmark::Shutdown();
  std::system(("rm -rf " + Dir()).c_str());
  return 0;
}
