// corvex palette FILE [--snapshot OUT.png]: shows the palette of a palette image (GIF, 8-bit BMP,
// PCX, TGA, PNG ...) in the palette dialog and prints the entry the user clicks, as
// "INDEX #RRGGBB". In a real window through the Qt host; with --snapshot nothing is shown and the
// dialog, with the first entry highlighted, is written as PNG instead.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/dialogs/PaletteDialog.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/messages.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

const char* const kSelf = "palette";

// The file's palette, read with its parameters (the pixels are not needed).
bool ReadPalette(const std::string& file, std::vector<TRGB>& pal, std::string& error) {
  try {
    TBitmap image;
    TCorvexIO io;
    io.SetAttachedBitmap(&image);
    io.LoadFromFile(file);
    if (io.GetAborting()) {
      TFileStream f(file, fmOpenRead | fmShareDenyWrite);
      io.LoadFromStream(&f);
    }
    if (io.GetAborting()) {
      error = "cannot load it (not an image this library reads, or damaged)";
      return false;
    }
    pal = io.GetParams().ColorMap;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  if (pal.empty()) {
    error = "it has no palette (a true-colour image)";
    return false;
  }
  return true;
}

int Snapshot(TCorvexPaletteDialog& dlg, const std::string& out) {
  dlg.Show();
  dlg.Perform(WM_MOUSEMOVE, 0, PointToLParam(8, 8));  // the first entry highlighted
  Application().ProcessMessages();
  TBitmap shot;
  shot.Assign(Application().WindowSurface(&dlg));
  dlg.Hide();
  TCorvexIO io;
  io.SetAttachedBitmap(&shot);
  io.SaveToFilePNG(out);
  return io.GetAborting() ? Fail(kFailed, out + ": cannot write the snapshot") : kOk;
}

int RunPalette(const std::vector<std::string>& args) {
  std::string file, snapshot;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--snapshot") {
      if (i + 1 >= args.size()) return UsageError(kSelf, "--snapshot needs a file name");
      snapshot = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return UsageError(kSelf, "unknown option " + args[i]);
    } else if (file.empty()) {
      file = args[i];
    } else {
      return UsageError(kSelf, "give one image file");
    }
  }
  if (file.empty()) return UsageError(kSelf, "give a palette image");
  std::vector<TRGB> pal;
  std::string error;
  if (!ReadPalette(file, pal, error)) return Fail(kFailed, file + ": " + error);

  if (!snapshot.empty()) {
    TCorvexPaletteDialog dlg(nullptr);
    dlg.SetPalette(pal.data(), int(pal.size()));
    dlg.SetCaption(file);
    return Snapshot(dlg, snapshot);
  }
#ifdef CORVEX_TOOL_WITH_QT
  if (!HasDisplay())
    return UsageError(kSelf, "there is no display to open a window on (DISPLAY is not set); use --snapshot OUT.png");
  static int argc = 1;
  static char name[] = "corvex";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qt::Host host;
  TCorvexPaletteDialog dlg(nullptr);
  dlg.SetPalette(pal.data(), int(pal.size()));
  dlg.SetCaption(file);
  if (!dlg.Execute()) return Fail(kFailed, file + ": cancelled, no colour chosen");
  const unsigned c = unsigned(dlg.GetSelectedColor());
  std::printf("%d #%02X%02X%02X\n", dlg.GetSelectedIndex(), c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return kOk;
#else
  return UsageError(kSelf, "this corvex was built without the Qt host and cannot open a window; use --snapshot OUT.png");
#endif
}

}  // namespace
CORVEX_COMMAND(palette, "FILE [--snapshot OUT.png]",
               "show the palette of a palette image and print the entry clicked (INDEX #RRGGBB)", RunPalette);
}  // namespace corvex::tool
