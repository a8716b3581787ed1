// Pictures of the format-parameters dialog as it runs without a host: the sample image on the
// JPEG, TIFF, GIF and PNG pages with the live preview, and the colour box its swatches open.
// Usage: format_dialog_screens SAMPLE-IMAGE OUTPUT-FOLDER
//   OUTPUT-FOLDER/format_dialog_jpeg.png, _tiff.png, _gif.png, _png.png
#include <cstdio>
#include <string>

#include "corvex/dialogs/IOPreviews.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"

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
    std::fprintf(stderr, "usage: format_dialog_screens SAMPLE-IMAGE OUTPUT-FOLDER\n");
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
    int type;
    const char* name;
  } pages[] = {{ioJPEG, "jpeg"}, {ioTIFF, "tiff"}, {ioGIF, "gif"}, {ioPNG, "png"}};
  for (const auto& p : pages) {
    io.GetParams().FileType = p.type;
    TfIOPreviews f(&io, io.GetParams(), {ppALL}, &image);
    f.Show();
    Application().ProcessMessages();
    const std::string path = folder + "/format_dialog_" + p.name + ".png";
    if (!SavePng(Application().WindowSurface(&f), path)) {
      std::fprintf(stderr, "%s: cannot write it\n", path.c_str());
      return 1;
    }
    f.Hide();
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
