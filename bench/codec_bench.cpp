// JPEG and PNG through the adapters beside the same libraries called directly with the same
// settings, on a 6000 x 4000 photo-like image. A table of both figures and their ratio follows
// the benchmark output.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/pngfilt.h"

using namespace corvex;

namespace {

constexpr int kW = 6000, kH = 4000;

const TBitmap& Photo() {
  static std::unique_ptr<TBitmap> b = corvex::bench::MakePhoto(kW, kH);
  return *b;
}

std::vector<uint8_t> JpegFile() {
  static std::vector<uint8_t> file = [] {
    TIOParamsVals p;
    p.JPEG_Quality = 85;
    TMemoryStream m;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    WriteJPegStream(&m, const_cast<TBitmap*>(&Photo()), p, pr);
    return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
  }();
  return file;
}

std::vector<uint8_t> PngFile() {
  static std::vector<uint8_t> file = [] {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
          auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
          v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, kW, kH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int y = 0; y < kH; ++y) png_write_row(png, const_cast<uint8_t*>(Photo().ScanLine(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
  }();
  return file;
}

void BM_JpegDecode_Adapter(benchmark::State& state) {
  const auto file = JpegFile();
  TBitmap bmp;
  for (auto _ : state) {
    TPointerStream s(file.data(), int64_t(file.size()));
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadJPegStream(&s, &bmp, p, pr, false);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}

// libjpeg-turbo directly: memory source, the same blue-green-red output into a bitmap.
void BM_JpegDecode_Libjpeg(benchmark::State& state) {
  const auto file = JpegFile();
  TBitmap bmp;
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    bmp.Allocate(int(cinfo.output_width), int(cinfo.output_height), pf24bit);
    JSAMPROW rows[8];
    while (cinfo.output_scanline < cinfo.output_height) {
      const int y = int(cinfo.output_scanline);
      const int n = std::min<int>(cinfo.rec_outbuf_height, int(cinfo.output_height) - y);
      for (int i = 0; i < n; ++i) rows[i] = bmp.ScanLine(y + i);
      jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}

void BM_JpegEncode_Adapter(benchmark::State& state) {
  for (auto _ : state) {
    TMemoryStream m;
    TIOParamsVals p;
    p.JPEG_Quality = 85;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    WriteJPegStream(&m, const_cast<TBitmap*>(&Photo()), p, pr);
    benchmark::DoNotOptimize(m.Memory());
  }
}

void BM_JpegEncode_Libjpeg(benchmark::State& state) {
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = kW;
    cinfo.image_height = kH;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCbCr);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(Photo().ScanLine(int(cinfo.next_scanline)));
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
}

void BM_PngDecode_Adapter(benchmark::State& state) {
  const auto file = PngFile();
  TBitmap bmp;
  for (auto _ : state) {
    TPointerStream s(file.data(), int64_t(file.size()));
    TIOParamsVals p;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadPNGStream(&s, &bmp, p, pr, false);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}

struct MemReader {
  const uint8_t* p;
  size_t left;
};

void BM_PngDecode_Libpng(benchmark::State& state) {
  const auto file = PngFile();
  TBitmap bmp;
  for (auto _ : state) {
    MemReader r{file.data(), file.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &r, [](png_structp p, png_bytep d, png_size_t n) {
      auto* m = static_cast<MemReader*>(png_get_io_ptr(p));
      std::memcpy(d, m->p, n);
      m->p += n;
      m->left -= n;
    });
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    bmp.Allocate(int(png_get_image_width(png, info)), int(png_get_image_height(png, info)), pf24bit);
    for (int y = 0; y < bmp.GetHeight(); ++y) png_read_row(png, bmp.ScanLine(y), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}

BENCHMARK(BM_JpegDecode_Adapter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegDecode_Libjpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegEncode_Adapter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegEncode_Libjpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PngDecode_Adapter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PngDecode_Libpng)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Collects the real times so that the pairs can be printed side by side at the end.
class PairReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      // Single runs, or the median when repetitions are asked for.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      times_[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
  }
  void PrintPairs() const {
    std::printf("\n%-14s %12s %12s %8s\n", "operation", "adapter ms", "direct ms", "ratio");
    for (const char* op : {"JpegDecode", "JpegEncode", "PngDecode"}) {
      const std::string a = std::string("BM_") + op + "_Adapter";
      const std::string d = std::string("BM_") + op + (std::string(op).rfind("Png", 0) == 0 ? "_Libpng" : "_Libjpeg");
      auto ia = times_.find(a), id = times_.find(d);
      if (ia == times_.end() || id == times_.end()) continue;
      std::printf("%-14s %12.1f %12.1f %8.3f\n", op, ia->second, id->second, ia->second / id->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintPairs();
  benchmark::Shutdown();
  return 0;
}
