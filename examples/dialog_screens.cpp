// Pictures of the file dialogs as they run without a host: the open dialog on a folder of a few
// images with one of them chosen and previewed, and the save dialog. Each is written as a PNG.
// Usage: dialog_screens OUTPUT-FOLDER
//   OUTPUT-FOLDER/pictures/      the sample folder the dialogs show (made here)
//   OUTPUT-FOLDER/open_dialog.png, save_dialog.png
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/PreviewPane.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"

using namespace corvex;
namespace fs = std::filesystem;

namespace {

// A picture of rings and a gradient, so that the preview shows something recognisable.
void DrawSample(TBitmap& B, int W, int H, int Hue) {
  B.Allocate(W, H, pf24bit);
  for (int y = 0; y < H; ++y) {
    auto* row = reinterpret_cast<TRGB*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      const double r = std::hypot(x - W / 2.0, y - H / 2.0);
      const int ring = int(r / 12) % 2;
      row[x].r = uint8_t(ring ? 255 * x / W : Hue);
      row[x].g = uint8_t(ring ? 255 * y / H : 255 - Hue);
      row[x].b = uint8_t(ring ? 128 : 255 * (W - x) / W);
    }
  }
}

bool Save(TBitmap& B, const std::string& Path) {
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&B);
  io.SaveToFile(Path);
  return !io.GetAborting();
}

// Runs the dialog; once it is up, Prepare sets it as the picture wants it, and the form is
// written to Png and the dialog cancelled.
bool Shoot(TCXCommonDialog& Dialog, const std::function<void(TCXFileDialogForm*)>& Prepare, const std::string& Png) {
  int step = 0;
  bool written = false;
  Application().OnIdle = [&] {
    TCXFileDialogForm* form = Dialog.GetForm();
    if (form == nullptr || !form->IsShowing()) return false;
    if (step == 0) {
      Prepare(form);
    } else if (step == 1) {
      TBitmap shot;
      shot.Assign(Application().WindowSurface(form));
      written = Save(shot, Png);
      form->SetModalResult(mrCancel);
    } else {
      return false;
    }
    ++step;
    return true;
  };
  Dialog.Execute();
  Application().OnIdle = nullptr;
  return written;
}

// A click on a list item, as the user makes it.
void ClickItem(TListBox* List, int Index) {
  const TRect r = List->ItemRect(Index);
  const TPoint p = List->ClientToScreen({r.Left + 10, r.Top + r.Height() / 2});
  Application().MouseInput(TApplication::maMove, mbLeft, p);
  Application().MouseInput(TApplication::maDown, mbLeft, p);
  Application().MouseInput(TApplication::maUp, mbLeft, p);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dialog_screens OUTPUT-FOLDER\n");
    return 2;
  }
  CXInstallLZW();
  const fs::path out = argv[1];
  const fs::path pictures = out / "pictures";
  std::error_code ec;
  fs::create_directories(pictures / "holidays", ec);
  fs::create_directories(pictures / "scans", ec);
  TBitmap b;
  DrawSample(b, 640, 480, 40);
  bool ok = Save(b, (pictures / "rings.jpg").string());
  DrawSample(b, 320, 240, 200);
  ok = Save(b, (pictures / "sunset.png").string()) && ok;
  DrawSample(b, 200, 300, 120);
  ok = Save(b, (pictures / "portrait.bmp").string()) && ok;
  DrawSample(b, 64, 64, 90);
  ok = Save(b, (pictures / "icon.gif").string()) && ok;
  if (FILE* f = std::fopen((pictures / "notes.txt").string().c_str(), "w")) {
    std::fputs("not an image\n", f);
    std::fclose(f);
  }
  if (!ok) {
    std::fprintf(stderr, "dialog_screens: the sample images could not be written\n");
    return 1;
  }

  TOpenCorvexDialog open(nullptr);
  open.SetInitialDir(pictures.string());
  ok = Shoot(open, [](TCXFileDialogForm* f) { ClickItem(f->GetFileList(), f->IndexOfEntry("rings.jpg")); },
             (out / "open_dialog.png").string());

  TBitmap image;
  DrawSample(image, 320, 240, 10);
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&image);
  TSaveCorvexDialog save(nullptr);
  save.SetAttachedCorvexIO(&io);
  save.SetInitialDir(pictures.string());
  save.SetFileName("holiday");
  save.SetFilterIndex(4);
  ok = Shoot(save, [](TCXFileDialogForm* f) { ClickItem(f->GetFileList(), f->IndexOfEntry("rings.jpg")); },
             (out / "save_dialog.png").string()) && ok;
  if (!ok) {
    std::fprintf(stderr, "dialog_screens: a picture could not be made\n");
    return 1;
  }
  std::printf("%s\n%s\n", (out / "open_dialog.png").c_str(), (out / "save_dialog.png").c_str());
  return 0;
}
