// Pictures of the processing preview dialog as it runs without a host: the sample image on the
// Contrast, User filter, Equalization, Lens and FFT pages, each with a parameter changed and the
// result previewed.
// Usage: previews_screens SAMPLE-IMAGE OUTPUT-FOLDER
//   OUTPUT-FOLDER/previews_contrast.png, _userfilter.png, _equalization.png, _lens.png, _fft.png
#include <cstdio>
#include <functional>
#include <string>

#include "corvex/dialogs/Previews.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"

using namespace corvex;

namespace {

bool SavePng(TBitmap* Surface, const std::string& Path) {
  TBitmap shot;
  shot.Assign(Surface);
  TCorvexIO out;
  out.SetAttachedBitmap(&shot);
  out.SaveToFilePNG(Path);
  return !out.GetAborting();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: previews_screens SAMPLE-IMAGE OUTPUT-FOLDER\n");
    return 2;
  }
  TBitmap image;
  TCorvexIO io;
  io.SetAttachedBitmap(&image);
  io.LoadFromFile(argv[1]);
  if (io.GetAborting()) {
    std::fprintf(stderr, "%s: cannot load it\n", argv[1]);
    return 1;
  }
  const std::string folder = argv[2];
  const struct {
    TPreviewEffectsItem page;
    const char* name;
    std::function<void(TfPreviews&)> change;
  } shots[] = {
      {peContrast, "contrast", [](TfPreviews& f) { f.Contrast->SetValue(40); }},
      {peUserFilt, "userfilter", [](TfPreviews& f) { f.Presets->SetItemIndex(3); }},
      {peEqualize, "equalization",
       [](TfPreviews& f) {
         for (TCheckBox* c : f.HistogramChannels) c->SetChecked(true);
         f.EqualizeButton->Click();
       }},
      {peLens, "lens", [](TfPreviews& f) { f.LensRefraction->SetValue(180); }},
      {peFFT, "fft",
       [](TfPreviews& f) {
         // A ring around the centre of the spectrum: the middle frequencies go.
         f.GetSpectrumView()->Select(44, 44, 84, 84);
       }},
  };
  for (const auto& s : shots) {
    TfPreviews f(nullptr);
    f.GetSourceView()->Assign(&image);
    f.SetDefaultLockPreview(true);
    f.Show();
    f.SelectPage(s.page);
    s.change(f);
    if (s.page == peUserFilt) f.Presets->OnChange(f.Presets);
    f.Preview();
    Application().ProcessMessages();
    const std::string path = folder + "/previews_" + s.name + ".png";
    if (!SavePng(Application().WindowSurface(&f), path)) {
      std::fprintf(stderr, "%s: cannot write it\n", path.c_str());
      return 1;
    }
    f.Hide();
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
