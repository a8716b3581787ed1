// GIF decoding and encoding of a 2000 x 2000 image of 256 colours with photo-like content (the
// shared photo, dithered to a palette), whole (the codec, with the colour quantizer when
// encoding) and the LZW coders alone, beside ImageMagick (from the command line, one thread, its
// start-up time on a 1 x 1 image taken off) and Pillow (timed inside Python) doing the same when
// they are installed. A table follows the benchmark output.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/lzw/lzw.h"

using namespace corvex;
using namespace corvex::bench;

namespace {

constexpr int kW = 2000, kH = 2000;

struct PaletteImage {
  std::vector<uint8_t> indices;
  std::vector<TRGB> palette;  // 8 reds x 8 greens x 4 blues
  TBitmap bitmap;             // the same image in 24 bits
};

const PaletteImage& Image() {
  static PaletteImage* img = [] {
    auto* im = new PaletteImage;
    for (int i = 0; i < 256; ++i)
      im->palette.push_back(
          CreateRGB(uint8_t((i >> 5) * 255 / 7), uint8_t(((i >> 2) & 7) * 255 / 7), uint8_t((i & 3) * 85)));
    static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const auto photo = MakePhoto(kW, kH);
    im->indices.resize(size_t(kW) * kH);
    im->bitmap.Allocate(kW, kH, pf24bit);
    for (int y = 0; y < kH; ++y) {
      const uint8_t* s = photo->ScanLine(y);
      uint8_t* p = im->bitmap.ScanLine(y);
      for (int x = 0; x < kW; ++x, p += 3, s += 3) {
        // Ordered dither to the palette's levels, as palette images of photographs usually are.
        const int d = kBayer[y & 3][x & 3];
        const int ri = std::min((s[2] * 7 + d * 16) / 255, 7);
        const int gi = std::min((s[1] * 7 + d * 16) / 255, 7);
        const int bi = std::min((s[0] * 3 + d * 16) / 255, 3);
        const uint8_t k = uint8_t(ri << 5 | gi << 2 | bi);
        im->indices[size_t(y) * kW + size_t(x)] = k;
        const TRGB c = im->palette[k];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
    }
    return im;
  }();
  return *img;
}

// The image as a GIF file: global table, the LZW data of the indices.
const std::vector<uint8_t>& GifFile() {
  static std::vector<uint8_t> file = [] {
    TMemoryStream m;
    uint8_t h[13] = {'G', 'I', 'F', '8', '9', 'a', kW & 255, kW >> 8, kH & 255, kH >> 8, 0xF7, 0, 0};
    m.WriteBuffer(h, 13);
    for (const TRGB& c : Image().palette) {
      const uint8_t rgb[3] = {c.r, c.g, c.b};
      m.WriteBuffer(rgb, 3);
    }
    const uint8_t d[10] = {',', 0, 0, 0, 0, kW & 255, kW >> 8, kH & 255, kH >> 8, 0};
    m.WriteBuffer(d, 10);
    GIFLZWCompress(&m, kH, kW, 8, Image().indices.data(), false);
    m.WriteBuffer(";", 1);
    return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
  }();
  return file;
}

// The data sub-blocks of the file, from the code size byte.
std::vector<uint8_t> LzwData() {
  const auto& f = GifFile();
  const size_t start = 13 + 768 + 10;
  return std::vector<uint8_t>(f.begin() + long(start), f.end());
}

void BM_GifDecode(benchmark::State& state) {
  const auto& file = GifFile();
  TBitmap bmp;
  for (auto _ : state) {
    TPointerStream s(file.data(), int64_t(file.size()));
    TIOParamsVals p;
    p.GIF_LZWDecompress = GIFLZWDecompress;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    int count = 0;
    ReadGifStream(&s, &bmp, count, p, pr, false);
    if (abort) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.counters["file_bytes"] = double(file.size());
}

void BM_GifDecode_LZW(benchmark::State& state) {
  const auto data = LzwData();
  std::vector<uint8_t> out(size_t(kW) * kH);
  for (auto _ : state) {
    TPointerStream s(data.data(), int64_t(data.size()));
    GIFLZWDecompress(&s, kH, kW, out.data(), false);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != Image().indices) state.SkipWithError("LZW round trip differs");
}

void BM_GifEncode(benchmark::State& state) {
  const TBitmap& src = Image().bitmap;
  size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream m;
    TIOParamsVals p;
    p.BitsPerSample = 8;
    p.GIF_LZWCompress = GIFLZWCompress;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    WriteGifStream(&m, const_cast<TBitmap*>(&src), p, pr);
    if (abort) state.SkipWithError("encode failed");
    bytes = size_t(m.GetSize());
    benchmark::DoNotOptimize(m.Memory());
  }
  state.counters["file_bytes"] = double(bytes);
}

void BM_GifEncode_LZW(benchmark::State& state) {
  const auto& idx = Image().indices;
  for (auto _ : state) {
    TMemoryStream m;
    GIFLZWCompress(&m, kH, kW, 8, idx.data(), false);
    benchmark::DoNotOptimize(m.Memory());
  }
}

BENCHMARK(BM_GifDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GifDecode_LZW)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GifEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GifEncode_LZW)->Unit(benchmark::kMillisecond)->MinTime(2.0);

std::string ImageMagick() {
  for (const char* c : {"/usr/bin/convert-im6.q16", "/usr/bin/convert", "/usr/bin/magick"})
    if (access(c, X_OK) == 0) return c;
  return "";
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  TFileStream f(path, fmCreate);
  f.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  f.Flush();
}

// The best of three runs of a command, in milliseconds (-1 when it fails).
double CommandMs(const std::string& command) {
  double best = -1;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (best < 0 || ms < best) best = ms;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TimingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const std::string gif = "/tmp/corvex_gif_bench.gif", ppm = "/tmp/corvex_gif_bench.ppm",
                    tiny = "/tmp/corvex_gif_bench_tiny.gif", out = "/tmp/corvex_gif_bench_out.gif";
  WriteBytes(gif, GifFile());
  WritePPM(Image().bitmap, ppm);
  WriteBytes(tiny, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                    ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0, ';'});

  double imDecode = -1, imEncode = -1;
  const std::string im = ImageMagick();
  if (!im.empty()) {
    const std::string q = im + " -limit thread 1 ";
    const double startup = CommandMs(q + tiny + " null: 2>/dev/null");
    const double dec = CommandMs(q + gif + " null: 2>/dev/null");
    const double enc = CommandMs(q + ppm + " " + out + " 2>/dev/null");
    if (startup >= 0 && dec >= 0) imDecode = dec - startup;
    if (startup >= 0 && enc >= 0) imEncode = enc - startup;
    std::printf("ImageMagick start-up %.1f ms, taken off its figures\n", startup);
  }
  double pilDecode = -1, pilEncodeRgb = -1, pilEncodeP = -1;
  const std::string pil = Python("PIL");
  if (!pil.empty()) {
    const std::string best = "print(sorted(ts)[1] * 1000)";
    pilDecode = PeerMs(pil + " -c \"import time; from PIL import Image; ts = []\n"
                             "for i in range(3):\n t = time.perf_counter(); im = Image.open('" + gif +
                       "'); im.load(); ts.append(time.perf_counter() - t)\n" + best + "\"");
    pilEncodeRgb = PeerMs(pil + " -c \"import time, io; from PIL import Image; im = Image.open('" + ppm +
                          "'); im.load(); ts = []\n"
                          "for i in range(3):\n t = time.perf_counter(); im.save(io.BytesIO(), 'GIF'); "
                          "ts.append(time.perf_counter() - t)\n" + best + "\"");
    pilEncodeP = PeerMs(pil + " -c \"import time, io; from PIL import Image; im = Image.open('" + gif +
                        "'); im.load(); ts = []\n"
                        "for i in range(3):\n t = time.perf_counter(); im.save(io.BytesIO(), 'GIF'); "
                        "ts.append(time.perf_counter() - t)\n" + best + "\"");
  }

  PrintHeader();
  const double decode = reporter.Ms("BM_GifDecode/min_time:2.000");
  const double encode = reporter.Ms("BM_GifEncode/min_time:2.000");
  PrintRow("ReadGifStream 2000x2000 256 col", decode, "ImageMagick gif -> null:", imDecode);
  PrintRow("", decode, "Pillow open + load", pilDecode);
  std::printf("%-34s %10.2f\n", "GIFLZWDecompress alone", reporter.Ms("BM_GifDecode_LZW/min_time:2.000"));
  PrintRow("WriteGifStream 24-bit, 8 bits", encode, "ImageMagick ppm -> gif", imEncode);
  PrintRow("", encode, "Pillow save RGB as GIF", pilEncodeRgb);
  PrintRow("GIFLZWCompress alone", reporter.Ms("BM_GifEncode_LZW/min_time:2.000"), "Pillow save P image as GIF",
           pilEncodeP);
  benchmark::Shutdown();
  return 0;
}
