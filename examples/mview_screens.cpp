// A picture of the multi-image view as it draws without a host: a grid of thumbnails of the
// sample images (loaded from their files on demand) and of generated ones (wide, tall, tiny,
// 1-bit), a file that is missing (its placeholder), the keyboard selection on a focused view and
// a vertical scroll bar.
// Usage: mview_screens OUTPUT.png [SAMPLES-FOLDER]
#include <cstdio>
#include <filesystem>
#include <memory>
#include <algorithm>
#include <string>

#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMView.h"

using namespace corvex;
namespace fs = std::filesystem;

namespace {

// A W x H image of smooth colour bands.
std::unique_ptr<TBitmap> Bands(int W, int H) {
  auto b = std::make_unique<TBitmap>(W, H, pf24bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* q = b->ScanLine(y) + 3 * x;
      q[0] = uint8_t(255 * y / std::max(H - 1, 1));
      q[1] = uint8_t((x * 7 + y * 3) & 255);
      q[2] = uint8_t(255 - 255 * x / std::max(W - 1, 1));
    }
  return b;
}

// A 1-bit pattern of rings.
std::unique_ptr<TBitmap> Rings(int W, int H) {
  auto b = std::make_unique<TBitmap>(W, H, pf1bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int dx = x - W / 2, dy = y - H / 2;
      _SetPixelbw(b->ScanLine(y), x, ((dx * dx + dy * dy) / 150) & 1);
    }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mview_screens OUTPUT.png [SAMPLES-FOLDER]\n");
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path samples = argc > 2 ? fs::path(argv[2]) : fs::path(__FILE__).parent_path().parent_path() / "samples";
  CXInstallLZW();

  auto form = std::make_unique<TForm>(nullptr);
  form->SetCaption("Multi-image view");
  form->SetBounds(40, 40, 560, 300);
  form->Show();
  auto* v = new TCorvexMView(form.get());
  v->SetParent(form.get());
  v->SetBounds(8, 8, 544, 284);
  v->SetBackGround(RGBColor(48, 52, 60));
  v->SetStoreType(cxtThumb);
  v->SetGridWidth(-1);
  v->SetHorizBorder(8);
  v->SetVertBorder(8);
  v->SetScrollBars(ssVertical);
  v->SetDrawImageBackground(true);

  const char* files[] = {"testcard.png", "testcard-1bit.png", "missing.png"};
  for (const char* f : files) {
    const int k = v->AppendImage();
    v->SetImageFileName(k, (samples / f).string());
    v->SetImageBackground(k, RGBColor(32, 34, 40));
  }
  const std::unique_ptr<TBitmap> generated[] = {Bands(300, 120), Bands(60, 240), Bands(12, 9), Rings(180, 180),
                                                Bands(200, 200), Rings(400, 100), Bands(90, 60), Bands(160, 90)};
  for (const auto& g : generated) {
    const int k = v->AppendImage();
    v->SetImage(k, g.get());
    v->SetImageBackground(k, RGBColor(32, 34, 40));
  }
  v->SetSelectedItem(0);
  v->SetFocus();
  // The user moves the selection: right, right, down.
  for (uint16_t key : {VK_RIGHT, VK_RIGHT, VK_DOWN}) {
    Application().KeyInput(key, false);
    Application().KeyInput(key, true);
  }
  Application().ProcessMessages();

  TBitmap shot;
  shot.Assign(Application().WindowSurface(form.get()));
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&shot);
  io.SaveToFile(out.string());
  if (io.GetAborting()) {
    std::fprintf(stderr, "mview_screens: %s could not be written\n", out.string().c_str());
    return 1;
  }
  std::printf("%s\n", out.string().c_str());
  return 0;
}
