// Canvas speed on a 1920 x 1080 24-bit target, in megapixels per second (MPix/s counters):
// solid fills, 1:1 and stretched bitmap draws, the DIB drawer, polygon fills and draws clipped
// through a 100-vertex polygon. A plain memcpy of the same bytes is the memory-speed reference.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "corvex/platform/graphics/region.h"

using namespace corvex;

namespace {

constexpr int kW = 1920, kH = 1080;

void Noise(TBitmap& b, uint32_t seed) {
  for (int y = 0; y < b.GetHeight(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (size_t i = 0; i < b.GetRowLength(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

void Rate(benchmark::State& state, double pixelsPerIteration) {
  state.counters["MPix/s"] =
      benchmark::Counter(pixelsPerIteration * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// A star with 100 vertices over most of the target.
std::vector<TPoint> Star(int vertices) {
  std::vector<TPoint> p;
  for (int i = 0; i < vertices; ++i) {
    const double a = 2 * std::numbers::pi * i / vertices;
    const double r = (i % 2 == 0) ? 530 : 330;
    p.push_back({static_cast<int32_t>(kW / 2 + r * 1.7 * std::cos(a)), static_cast<int32_t>(kH / 2 + r * std::sin(a))});
  }
  return p;
}

void BM_MemcpyReference(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kW) * kH * 3, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_MemcpyReference);

void BM_FillRect(benchmark::State& state) {
  TBitmap b(kW, kH, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(RGBColor(10, 120, 230));
  for (auto _ : state) {
    c->FillRect(Rect(0, 0, kW, kH));
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_FillRect);

void BM_FillRectHatch(benchmark::State& state) {
  TBitmap b(kW, kH, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetStyle(bsDiagCross);
  for (auto _ : state) {
    c->FillRect(Rect(0, 0, kW, kH));
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_FillRectHatch);

void BM_RectangleXor(benchmark::State& state) {
  TBitmap b(kW, kH, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetMode(pmXor);
  c->GetBrush()->SetColor(RGBColor(10, 120, 230));
  for (auto _ : state) {
    c->Rectangle(0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_RectangleXor);

void BM_FillRect1bit(benchmark::State& state) {
  TBitmap b(kW, kH, pf1bit);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetColor(clBlack);
  for (auto _ : state) {
    c->FillRect(Rect(3, 0, kW - 3, kH));
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW - 6) * kH);
}
BENCHMARK(BM_FillRect1bit);

void BM_Draw1to1(benchmark::State& state) {
  TBitmap src(kW, kH, pf24bit), dst(kW, kH, pf24bit);
  Noise(src, 1);
  for (auto _ : state) {
    dst.GetCanvas()->Draw(0, 0, &src);
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_Draw1to1);

void BM_Draw1bitOn24bit(benchmark::State& state) {
  TBitmap src(kW, kH, pf1bit), dst(kW, kH, pf24bit);
  Noise(src, 1);
  for (auto _ : state) {
    dst.GetCanvas()->Draw(0, 0, &src);
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_Draw1bitOn24bit);

// Enlarging (a zoomed-in view: 960 x 540 to the full target) and reducing (3840 x 2160).
void BM_StretchDraw(benchmark::State& state) {
  const int sw = int(state.range(0)), sh = sw * 9 / 16;
  TBitmap src(sw, sh, pf24bit), dst(kW, kH, pf24bit);
  Noise(src, 2);
  for (auto _ : state) {
    dst.GetCanvas()->StretchDraw(Rect(0, 0, kW, kH), &src);
    benchmark::ClobberMemory();
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_StretchDraw)->Arg(960)->Arg(1280)->Arg(3840);

// The DIB drawer with a packed bottom-up DIB, as views and thumbnails draw.
struct PackedDib {
  std::vector<uint8_t> block;
  PackedDib(int w, int h, int bits) {
    TBitmapInfoHeader bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biBitCount = static_cast<uint16_t>(bits);
    const size_t table = bits <= 8 ? size_t(4) << bits : 0;
    const size_t row = ((size_t(w) * bits + 31) / 32) * 4;
    block.resize(40 + table + row * h);
    std::memcpy(block.data(), &bi, 40);
    uint32_t seed = 3;
    for (size_t i = 40; i < block.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      block[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
  const TBitmapInfoHeader* Header() const { return reinterpret_cast<const TBitmapInfoHeader*>(block.data()); }
};

void BM_DibDraw(benchmark::State& state) {
  const int sw = int(state.range(0)), bits = int(state.range(1));
  const PackedDib dib(sw, sw * 9 / 16, bits);
  TBitmap dst(kW, kH, pf24bit);
  const HDRAWDIB hdd = DrawDibOpen();
  for (auto _ : state) {
    DrawDibDraw(hdd, dst.GetCanvas(), 0, 0, kW, kH, dib.Header(), nullptr, 0, 0, -1, -1, 0);
    benchmark::ClobberMemory();
  }
  DrawDibClose(hdd);
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_DibDraw)->Args({1920, 24})->Args({960, 24})->Args({3840, 24})->Args({1920, 32})->Args({1920, 8})->Args({1920, 1})->Args({480, 1});

void BM_PolygonFill(benchmark::State& state) {
  TBitmap b(kW, kH, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetStyle(state.range(0) ? psSolid : psClear);
  c->GetBrush()->SetColor(RGBColor(10, 120, 230));
  const std::vector<TPoint> star = Star(100);
  const double area = double(TRegion::FromPolygon(star.data(), 100, fmAlternate).Area());
  for (auto _ : state) {
    c->Polygon(star.data(), 100);
    benchmark::ClobberMemory();
  }
  Rate(state, area);
}
BENCHMARK(BM_PolygonFill)->Arg(0)->Arg(1);

void BM_PolygonRegion(benchmark::State& state) {
  const std::vector<TPoint> star = Star(100);
  for (auto _ : state) {
    TRegion r = TRegion::FromPolygon(star.data(), 100, fmAlternate);
    benchmark::DoNotOptimize(r);
  }
  Rate(state, double(kW) * kH);
}
BENCHMARK(BM_PolygonRegion);

// Draw 1:1 through a 100-vertex polygon clip region (the selection merge), with and without
// building the region each time.
void BM_DrawClippedPolygon(benchmark::State& state) {
  TBitmap src(kW, kH, pf24bit), dst(kW, kH, pf24bit);
  Noise(src, 4);
  const std::vector<TPoint> star = Star(100);
  const TRegion clip = TRegion::FromPolygon(star.data(), 100, fmAlternate);
  const bool build = state.range(0) != 0;
  for (auto _ : state) {
    if (build) {
      const TRegion r = TRegion::FromPolygon(star.data(), 100, fmAlternate);
      dst.GetCanvas()->SelectClipRgn(&r);
    } else {
      dst.GetCanvas()->SelectClipRgn(&clip);
    }
    dst.GetCanvas()->Draw(0, 0, &src);
    dst.GetCanvas()->SelectClipRgn(nullptr);
    benchmark::ClobberMemory();
  }
  Rate(state, double(clip.Area()));
}
BENCHMARK(BM_DrawClippedPolygon)->Arg(0)->Arg(1);

void BM_LineTo(benchmark::State& state) {
  TBitmap b(kW, kH, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetMode(pmNot);
  c->GetPen()->SetWidth(int(state.range(0)));
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) {
      c->MoveTo(0, i * 10);
      c->LineTo(kW - 1, kH - 1 - i * 10);
    }
    benchmark::ClobberMemory();
  }
  Rate(state, 100.0 * kW);
}
BENCHMARK(BM_LineTo)->Arg(1)->Arg(5);

void BM_TextOut(benchmark::State& state) {
  TBitmap b(kW, 100, pf24bit);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetStyle(bsClear);
  c->GetFont()->SetHeight(-12);
  c->GetFont()->SetOrientation(int(state.range(0)));
  const std::string text = "The quick brown fox jumps over the lazy dog";
  for (auto _ : state) {
    c->TextOut(10, state.range(0) ? 95 : 10, text);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_TextOut)->Arg(0)->Arg(100);

}  // namespace
