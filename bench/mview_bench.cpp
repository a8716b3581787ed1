// The multi-image view scrolling through a grid of 500 large images fetched on demand through
// identifiers: the time of a page-by-page pass from top to bottom, and the memory the store holds
// (PeakStoreMB, the most at any point of the pass), beside what keeping every image would take
// (AllImagesMB). Off-screen images are freed by painting, so the peak stays at a few screens'
// worth whatever the number of images.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "bench/bench_common.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXMView.h"

using namespace corvex;

namespace {

constexpr int kImages = 500;

struct Source : TObject {
  std::unique_ptr<TBitmap> Photo;
  int64_t Requests = 0;
  void Request(TObject*, int, TBitmap*& Bitmap) {
    ++Requests;
    Bitmap = Photo.get();
  }
};

void BM_MViewScrollLargeImages(benchmark::State& state, TCXStoreType Store) {
  Application().SetHost(nullptr);
  Source src;
  src.Photo = bench::MakePhoto(1024, 768);
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(0, 0, 900, 700);
  form->Show();
  auto* v = new TCorvexMView(form.get());
  v->SetParent(form.get());
  v->SetBounds(0, 0, 860, 660);
  v->SetStoreType(Store);
  v->SetGridWidth(-1);
  v->SetThumbWidth(200);
  v->SetThumbHeight(150);
  v->OnImageIDRequest = TCXImageIDRequestEvent(&src, &Source::Request);
  for (int i = 0; i < kImages; ++i) v->SetImageID(v->InsertImageNU(kImages), i);
  v->Update();
  v->Deselect();
  Application().ProcessMessages();
  int64_t peak = 0;
  for (auto _ : state) {
    v->SetViewY(0);
    Application().ProcessMessages();
    int mx, my;
    v->GetMaxViewXY(mx, my);
    for (int y = 0;; y += v->GetClientHeight()) {
      y = std::min(y, my);
      v->SetViewY(y);
      Application().ProcessMessages();
      peak = std::max(peak, v->GetStoreBytes());
      if (y == my) break;
    }
  }
  const double mb = 1024.0 * 1024.0;
  const double perImage = Store == cxtThumb ? 200.0 * 150 * 3 : 1024.0 * 768 * 3;
  state.counters["PeakStoreMB"] = double(peak) / mb;
  state.counters["AllImagesMB"] = perImage * kImages / mb;
  state.counters["Fetches"] = benchmark::Counter(double(src.Requests), benchmark::Counter::kAvgIterations);
  if (double(peak) > perImage * 64) state.SkipWithError("the store kept off-screen images");
  form.reset();
}

BENCHMARK_CAPTURE(BM_MViewScrollLargeImages, Normal, cxtNormal)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_MViewScrollLargeImages, Thumb, cxtThumb)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
