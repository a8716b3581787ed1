// corvex thumbs FILE|DIR... [--size WxH] [--grid-width N] [--thumb N] [--snapshot OUT.png]: the
// multi-image view filled with thumbnails of every image of every file given (every image file of
// a folder given). With --snapshot the grid is drawn headless and written as PNG; otherwise a real
// window opens: the arrows and the mouse select, a double click (or Enter) shows the image in the
// viewer, space plays the images as an animation, Escape closes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "apps/corvex/viewer.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMView.h"
#include "corvex/view/Corvex.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

const char* const kSelf = "thumbs";


// Where each image of the view came from.
struct Source {
  std::string file;
  int index = 0;  // the image of a multi-image file, the frame of a video
  bool video = false;
};

// Loads image Index of a file, or frame Index of a video, at full size.
bool LoadImage(const Source& s, TBitmap& out) {
  try {
    if (s.video) {
      TAVIReader avi;
      if (!avi.Open(s.file)) return false;
      const TBitmapInfoHeader* f = avi.GetFrame(s.index);
      return f != nullptr && _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(f), &out, nullptr, true, avi.GetFrameSize()) != 0;
    }
    TCorvexIO io;
    io.SetAttachedBitmap(&out);
    io.GetParams().GIF_ImageIndex = io.GetParams().TIFF_ImageIndex = s.index;
    io.LoadFromFile(s.file);
    return !io.GetAborting() && !out.GetEmpty();
  } catch (const std::exception&) {
    return false;
  }
}

class Thumbs : public TObject {
 public:
  Thumbs(int Width, int Height, int GridWidth, int Thumb) : form_(std::make_unique<TForm>(nullptr)) {
    form_->SetCaption("Corvex thumbnails");
    form_->SetBounds(40, 40, Width, Height);
    form_->SetClientWidth(Width);
    form_->SetClientHeight(Height);
    view_ = new TCorvexMView(form_.get());
    view_->SetParent(form_.get());
    view_->SetBounds(0, 0, Width, Height);
    view_->SetAlign(alClient);
    view_->SetStoreType(cxtThumb);
    view_->SetThumbWidth(Thumb);
    view_->SetThumbHeight(Thumb);
    view_->SetGridWidth(GridWidth);
    view_->SetScrollBars(ssVertical);
    view_->SetTabStop(true);
  }

  // Adds every image of the file (single-image files are loaded when first shown). False when
  // nothing could be had from it.
  bool AddFile(const std::string& file) {
    int count = 1;
    bool video = false;
    const int type = FindFileFormat(file, true);
    try {
      if (type == ioGIF) count = EnumGifIm(file);
      else if (type == ioTIFF) count = EnumTIFFIm(file);
      else if (type == ioUnknown && IsAVIFile(file)) {
        TAVIReader avi;
        if (!avi.Open(file)) return false;
        count = avi.GetInfo().Length;
        video = true;
      } else if (type == ioUnknown) {
        return false;
      }
    } catch (const std::exception&) {
      return false;
    }
    if (count <= 0) return false;
    if (count == 1 && !video) {
      // Loaded on demand from its name, and freed again when scrolled away.
      const int i = view_->AppendImage();
      view_->SetImageFileName(i, file);
      sources_.push_back({file, 0, false});
      return true;
    }
    TAVIReader avi;
    if (video && !avi.Open(file)) return false;
    for (int k = 0; k < count; ++k) {
      TBitmap bmp;
      if (video) {
        const TBitmapInfoHeader* f = avi.GetFrame(k);
        if (f == nullptr ||
            _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(f), &bmp, nullptr, true, avi.GetFrameSize()) == 0)
          break;
      } else if (!LoadImage({file, k, false}, bmp)) {
        break;
      }
      const int i = view_->AppendImage();
      view_->SetImage(i, &bmp);
      if (video && AVIRateKnown(avi.GetInfo()))
        view_->SetImageDelayTime(i, std::max(1, int(1000.0 * avi.GetInfo().Scale / avi.GetInfo().Rate)));
      sources_.push_back({file, k, video});
    }
    return true;
  }

  int Count() const { return view_->GetImageCount(); }
  TForm* Form() const { return form_.get(); }
  TCorvexMView* View() const { return view_; }

  int Snapshot(const std::string& out) {
    view_->Deselect();
    form_->Show();
    Application().ProcessMessages();
    TBitmap shot;
    shot.Assign(Application().WindowSurface(form_.get()));
    form_->Hide();
    TCorvexIO io;
    io.SetAttachedBitmap(&shot);
    io.SaveToFilePNG(out);
    return io.GetAborting() ? Fail(kFailed, out + ": cannot write the snapshot") : kOk;
  }

#ifdef CORVEX_TOOL_WITH_QT
  int Window() {
    view_->OnDblClick = TNotifyEvent(this, &Thumbs::Show);
    view_->OnKeyDown = TKeyEvent(this, &Thumbs::Key);
    form_->OnClose = TCloseEvent(this, &Thumbs::Closed);
    if (Count() > 0) view_->SetSelectedItem(0);
    form_->Show();
    view_->SetFocus();
    const int rc = QApplication::exec();
    form_->Hide();
    return rc == 0 ? kOk : kFailed;
  }

 private:
  // The selected image at full size in the viewer.
  void Show(TObject*) {
    const int i = view_->GetSelectedItem();
    if (i < 0 || i >= int(sources_.size())) return;
    TBitmap full;
    if (!LoadImage(sources_[size_t(i)], full)) return;
    auto viewer = std::make_unique<ViewerForm>(800, 560);
    viewer->View()->Assign(&full);
    viewer->SetFile(sources_[size_t(i)].file);
    viewer->View()->Fit();
    viewers_.push_back(std::move(viewer));
    viewers_.back()->Show();
  }
  void Key(TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_SPACE) view_->SetPlaying(!view_->GetPlaying());
    else if (Key == VK_RETURN) Show(view_);
    else if (Key == VK_ESCAPE) form_->Close();
    else return;
    Key = 0;
  }
  void Closed(TObject*, TCloseAction&) { QApplication::quit(); }
  std::vector<std::unique_ptr<ViewerForm>> viewers_;
#else
 private:
#endif

  std::unique_ptr<TForm> form_;
  TCorvexMView* view_ = nullptr;
  std::vector<Source> sources_;
};

bool ParseSize(const std::string& v, int& w, int& h) {
  const size_t x = v.find('x');
  if (x == std::string::npos) return false;
  const std::string first = v.substr(0, x), second = v.substr(x + 1);
  char* end = nullptr;
  const long a = std::strtol(first.c_str(), &end, 10);
  if (first.empty() || *end != '\0') return false;
  const long b = std::strtol(second.c_str(), &end, 10);
  if (second.empty()) return false;
  if (*end != '\0' || a < 64 || b < 64 || a > 16384 || b > 16384) return false;
  w = int(a), h = int(b);
  return true;
}

int RunThumbs(const std::vector<std::string>& args) {
  std::vector<std::string> inputs;
  std::string snapshot;
  int width = 800, height = 600, grid = -1, thumb = 100;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--size" || a == "--grid-width" || a == "--thumb" || a == "--snapshot") {
      if (i + 1 >= args.size()) return UsageError(kSelf, a + " needs a value");
      const std::string& v = args[++i];
      char* end = nullptr;
      if (a == "--size") {
        if (!ParseSize(v, width, height)) return UsageError(kSelf, "--size takes WIDTHxHEIGHT (64 to 16384 each), not " + v);
      } else if (a == "--grid-width") {
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < -1 || n > 10000)
          return UsageError(kSelf, "--grid-width takes -1 (fill the width), 0 (one row) or a number of columns");
        grid = int(n);
      } else if (a == "--thumb") {
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 16 || n > 1024) return UsageError(kSelf, "--thumb takes 16 to 1024 pixels");
        thumb = int(n);
      } else {
        snapshot = v;
      }
    } else if (!a.empty() && a[0] == '-') {
      return UsageError(kSelf, "unknown option " + a);
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty()) return UsageError(kSelf, "give image files or folders");

  std::vector<std::string> files;
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (std::filesystem::is_directory(in, ec)) {
      std::vector<std::string> found;
      for (const auto& e : std::filesystem::directory_iterator(in, ec))
        if (e.is_regular_file(ec)) found.push_back(e.path().string());
      if (ec) return Fail(kFailed, in + ": cannot read the folder (" + ec.message() + ")");
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else {
      files.push_back(in);
    }
  }

#ifdef CORVEX_TOOL_WITH_QT
  std::unique_ptr<QApplication> app;
  std::unique_ptr<qt::Host> host;
  if (snapshot.empty()) {
    if (!HasDisplay())
      return UsageError(kSelf, "there is no display to open a window on (DISPLAY is not set); use --snapshot OUT.png");
    static int argc = 1;
    static char name[] = "corvex";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    host = std::make_unique<qt::Host>();
  }
#else
  if (snapshot.empty())
    return UsageError(kSelf, "this corvex was built without the Qt host and cannot open a window; use --snapshot OUT.png");
#endif
  Thumbs t(width, height, grid, thumb);
  int skipped = 0;
  for (const std::string& f : files)
    if (!t.AddFile(f)) {
      ++skipped;
      // A file named on the command line that is not an image is worth a line; folders hold others.
      if (std::find(inputs.begin(), inputs.end(), f) != inputs.end())
        std::fprintf(stderr, "corvex: %s: not an image this library reads, or damaged\n", f.c_str());
    }
  std::printf("%d images from %zu files", t.Count(), files.size() - size_t(skipped));
  if (skipped > 0) std::printf(" (%d other files skipped)", skipped);
  std::printf("\n");
  if (t.Count() == 0) return Fail(kFailed, "no images to show");
  if (!snapshot.empty()) return t.Snapshot(snapshot);
#ifdef CORVEX_TOOL_WITH_QT
  return t.Window();
#else
  return kOk;
#endif
}

}  // namespace
CORVEX_COMMAND(thumbs, "FILE|DIR... [--size WxH] [--grid-width N] [--thumb N] [--snapshot OUT.png]",
               "thumbnails of every image of the files (or folders) in the multi-image view", RunThumbs);
}  // namespace corvex::tool
