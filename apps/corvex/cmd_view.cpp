// corvex view FILE [options]: shows an image in the viewer (the all-in-one view under a tool bar,
// see viewer.h), in a real window (through the Qt host) or, with --snapshot, headless: the view's
// client area (or with --snapshot-window the whole window) is written to a PNG file.
//
//   corvex view photo.jpg --fit
//   corvex view card.png --zoom 200 --view 10,10 --select rect:5,5,60,40 --snapshot out.png
//
// The image is loaded by the view's own I/O component, so the view takes the file's resolution
// and repaints as an application's view would. Selection coordinates are bitmap pixels.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/Corvex.h"
#include "apps/corvex/viewer.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

const char* const kSelf = "view";

// ---------------------------------------------------------------------------------------------
// Options

struct Options {
  std::string file;
  int zoom = 0;  // 0: 100 %
  bool fit = false;
  int width = 640, height = 480;
  bool sizeGiven = false;
  bool hasView = false;
  int viewX = 0, viewY = 0;
  bool center = false;
  TResampleFilter filter = rfNone;
  bool hasColour = false;
  TColor colour = clBtnFace;
  TCXBackgroundStyle style = cxbsSolid;
  bool grid = false;
  std::string selKind;  // rect, ellipse, poly, wand
  std::vector<int> sel;  // the numbers of the selection, in order
  std::string snapshot;
  bool wholeWindow = false;  // the snapshot shows the window (tool bar, view, status line)
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseInt(const std::string& s, int& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long n = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || n < -1000000000L || n > 1000000000L) return false;
  v = int(n);
  return true;
}

// Integers separated by any of Seps; false when one is not an integer.
bool ParseInts(const std::string& s, const char* Seps, std::vector<int>& out) {
  out.clear();
  size_t start = 0;
  while (true) {
    const size_t end = s.find_first_of(Seps, start);
    int v;
    if (!ParseInt(s.substr(start, end == std::string::npos ? std::string::npos : end - start), v)) return false;
    out.push_back(v);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The named background styles of "hatch:N", in the order of their indices 1 .. 6.
const char* const kHatches[] = {"horizontal", "vertical", "fdiagonal", "bdiagonal", "cross", "diagcross"};
const char* const kFilters[] = {"rfNone", "rfTriangle", "rfHermite", "rfBell", "rfBSpline", "rfLanczos3", "rfMitchell"};

// Reads the arguments; an empty result is success, anything else the usage error to print.
std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
  bool zoomGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    std::vector<int> n;
    if (a == "--fit") {
      o.fit = true;
    } else if (a == "--center") {
      o.center = true;
    } else if (a == "--grid") {
      o.grid = true;
    } else if (a == "--zoom" || a == "--size" || a == "--view" || a == "--filter" || a == "--background" ||
               a == "--select" || a == "--snapshot" || a == "--snapshot-window") {
      if (!value(v)) return a + " needs a value";
      if (a == "--zoom") {
        if (!ParseInt(v, o.zoom) || o.zoom < 1 || o.zoom > kMaxViewZoom)
          return "the zoom is a percentage from 1 to " + std::to_string(kMaxViewZoom) + ", not " + v;
        zoomGiven = true;
      } else if (a == "--size") {
        if (!ParseInts(v, "x", n) || n.size() != 2 || n[0] < 16 || n[1] < 16 || n[0] > 16384 || n[1] > 16384)
          return "--size takes WIDTHxHEIGHT (16 to 16384 each), not " + v;
        o.width = n[0], o.height = n[1];
        o.sizeGiven = true;
      } else if (a == "--view") {
        if (!ParseInts(v, ",", n) || n.size() != 2 || n[0] < 0 || n[1] < 0)
          return "--view takes X,Y (zoomed pixels, not negative), not " + v;
        o.hasView = true, o.viewX = n[0], o.viewY = n[1];
      } else if (a == "--filter") {
        const auto* f = std::find_if(std::begin(kFilters), std::end(kFilters),
                                     [&](const char* name) { return Lower(name) == Lower(v); });
        if (f == std::end(kFilters)) return "unknown filter " + v + " (rfNone, rfTriangle, ... rfMitchell)";
        o.filter = TResampleFilter(f - std::begin(kFilters));
      } else if (a == "--background") {
        const std::string l = Lower(v);
        if (l == "chessboard") {
          o.style = cxbsChessboard;
        } else if (l.rfind("hatch:", 0) == 0) {
          const std::string h = l.substr(6);
          int k = 0;
          if (ParseInt(h, k) && k >= 1 && k <= 6) {
            o.style = TCXBackgroundStyle(k);
          } else {
            const auto* f = std::find(std::begin(kHatches), std::end(kHatches), h);
            if (f == std::end(kHatches))
              return "hatch:N takes 1 to 6 or horizontal, vertical, fdiagonal, bdiagonal, cross, diagcross";
            o.style = TCXBackgroundStyle(1 + (f - std::begin(kHatches)));
          }
        } else if (ParseInts(v, ",", n) && n.size() == 3 &&
                   std::all_of(n.begin(), n.end(), [](int c) { return c >= 0 && c <= 255; })) {
          o.hasColour = true;
          o.colour = RGBColor(uint8_t(n[0]), uint8_t(n[1]), uint8_t(n[2]));
        } else {
          return "--background takes r,g,b (0 to 255), chessboard or hatch:N, not " + v;
        }
      } else if (a == "--select") {
        const size_t colon = v.find(':');
        o.selKind = Lower(v.substr(0, colon));
        const std::string nums = colon == std::string::npos ? "" : v.substr(colon + 1);
        if (o.selKind == "rect" || o.selKind == "ellipse") {
          if (!ParseInts(nums, ",", o.sel) || o.sel.size() != 4) return o.selKind + " takes x1,y1,x2,y2";
        } else if (o.selKind == "poly") {
          if (!ParseInts(nums, ",;", o.sel) || o.sel.size() % 2 != 0 || o.sel.size() < 6)
            return "poly takes at least three points x,y;x,y;x,y";
        } else if (o.selKind == "wand") {
          if (!ParseInts(nums, ",", o.sel) || o.sel.size() != 3 || o.sel[2] < 0 || o.sel[2] > 255)
            return "wand takes x,y,tolerance (tolerance 0 to 255)";
        } else {
          return "--select takes rect:, ellipse:, poly: or wand:, not " + v;
        }
      } else {
        o.snapshot = v;
        o.wholeWindow = a == "--snapshot-window";
      }
    } else if (!a.empty() && a[0] == '-') {
      return "unknown option " + a;
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      return "give one image file";
    }
  }
  if (o.file.empty()) return "give an image file";
  // A window, shown or pictured, is larger by default, so that the whole tool bar fits.
  if (!o.sizeGiven && (o.snapshot.empty() || o.wholeWindow)) o.width = 800, o.height = 560;
  if (zoomGiven && o.fit) return "give --zoom or --fit, not both";
  return "";
}

// ---------------------------------------------------------------------------------------------
// The view

// The viewer window, and its view.
struct Viewer {
  std::unique_ptr<ViewerForm> form;
  TCorvex* view = nullptr;  // owned by the form
  Viewer(int Width, int Height) : form(std::make_unique<ViewerForm>(Width, Height)), view(form->View()) {}
};

// Loads the file into the view; false (with the reason) when it fails.
bool Load(Viewer& v, const std::string& file, std::string& error) {
  ProgressBar bar("loading " + file);
  v.view->SetOnProgress(bar.Event());
  const bool ok = v.form->Open(file, error);
  v.view->SetOnProgress(nullptr);
  return ok;
}

// The ellipse inscribed in the box, with as many points as the view's own ellipse tool uses (at
// most 8192, whatever size the box is given).
std::vector<TPoint> EllipsePoints(int x1, int y1, int x2, int y2) {
  const double cx = (double(x1) + x2) / 2, cy = (double(y1) + y2) / 2;
  const double rx = std::abs(double(x2) - x1) / 2, ry = std::abs(double(y2) - y1) / 2;
  const int n = std::clamp(Trunc(std::min(std::min(rx, ry), 1e6) * 2 * std::numbers::pi) >> 2, 3, 8192);
  std::vector<TPoint> p;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi / n * i;
    p.push_back({Trunc(std::cos(a) * rx + cx), Trunc(std::sin(a) * ry + cy)});
  }
  return p;
}

void ApplyOptions(Viewer& v, const Options& o) {
  TCorvexView* view = v.view;
  view->LockPaint();
  if (o.hasColour) view->SetBackGround(o.colour);
  view->SetBackgroundStyle(o.style);
  view->SetCenter(o.center);
  view->SetZoomFilter(o.filter);
  view->SetDisplayGrid(o.grid);
  view->UnLockPaint();
  if (o.fit) view->Fit();
  else if (o.zoom > 0) view->SetZoom(o.zoom);
  if (o.hasView) view->SetViewXY(o.viewX, o.viewY);

  if (o.selKind.empty()) return;
  const TCXSelectionBase base = view->GetSelectionBase();
  view->SetSelectionBase(cxsbBitmap);
  const TBitmap* b = view->GetBitmap();
  auto clamp = [&](TPoint p) {
    return TPoint{std::clamp(p.X, 0, b->GetWidth()), std::clamp(p.Y, 0, b->GetHeight())};
  };
  const std::vector<int>& s = o.sel;
  if (o.selKind == "rect") {
    view->Select(s[0], s[1], s[2], s[3]);
  } else if (o.selKind == "wand") {
    view->SetMagicWandTolerance(s[2]);
    view->SelectMagicWand(s[0], s[1]);
  } else {
    std::vector<TPoint> points;
    if (o.selKind == "ellipse") points = EllipsePoints(s[0], s[1], s[2], s[3]);
    else
      for (size_t i = 0; i + 1 < s.size(); i += 2) points.push_back({s[i], s[i + 1]});
    view->DeSelect();
    view->LockPaint();  // one drawing of the outline, not one per point
    for (const TPoint& p : points) {
      const TPoint c = clamp(p);
      view->AddSelPoint(c.X, c.Y);
    }
    view->UnLockPaint();
  }
  view->SetSelectionBase(base);
}

int Snapshot(Viewer& v, const Options& o) {
  v.form->Show();
  Application().ProcessMessages();
  // The selection's outline at phase 0 with its grips, drawn as the view draws it itself.
  v.view->AniPolyFunc(v.view);
  TBitmap shot;
  CXCopyBitmap(o.wholeWindow ? Application().WindowSurface(v.form.get()) : v.view->GetBackingBitmap(), &shot);
  v.form->Hide();
  try {
    TCorvexIO out;
    out.SetAttachedBitmap(&shot);
    out.SaveToFilePNG(o.snapshot);
    if (out.GetAborting()) return Fail(kFailed, o.snapshot + ": cannot write the snapshot");
  } catch (const std::exception& e) {
    return Fail(kFailed, o.snapshot + ": " + e.what());
  }
  return kOk;
}

#ifdef CORVEX_TOOL_WITH_QT

// Ends the application's event loop when the window is closed.
struct QuitOnClose : TObject {
  void Closed(TObject*) { QApplication::quit(); }
};

// Loads and shows the image in a real window until it is closed. The host comes first, so that
// the form is made with the screen's real facts.
int Window(const Options& o) {
  // Qt ends the process when it finds no display: say so plainly instead.
  if (!HasDisplay())
    return UsageError(kSelf, "there is no display to open a window on (DISPLAY is not set); use --snapshot OUT.png");
  static int argc = 1;
  static char name[] = "corvex";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qt::Host host;
  Viewer v(o.width, o.height);
  std::string error;
  if (!Load(v, o.file, error)) return Fail(kFailed, o.file + ": " + error);
  ApplyOptions(v, o);
  QuitOnClose quit;
  v.form->OnClosed = TNotifyEvent(&quit, &QuitOnClose::Closed);
  v.form->Show();
  v.view->SetFocus();
  const int rc = app.exec();
  v.form->Hide();
  return rc == 0 ? kOk : kFailed;
}

#endif

int RunView(const std::vector<std::string>& args) {
  Options o;
  const std::string bad = ParseOptions(args, o);
  if (!bad.empty()) return UsageError(kSelf, bad);
  if (o.snapshot.empty()) {
#ifdef CORVEX_TOOL_WITH_QT
    return Window(o);
#else
    return UsageError(kSelf, "this corvex was built without the Qt host and cannot open a window; "
                             "use --snapshot OUT.png");
#endif
  }
  Viewer v(o.width, o.height);
  std::string error;
  if (!Load(v, o.file, error)) return Fail(kFailed, o.file + ": " + error);
  ApplyOptions(v, o);
  return Snapshot(v, o);
}

}  // namespace
CORVEX_COMMAND(view,
               "FILE [--zoom Z | --fit] [--size WxH] [--view X,Y] [--center] [--filter rfNAME] "
               "[--background r,g,b|chessboard|hatch:N] [--grid] "
               "[--select rect:x1,y1,x2,y2|ellipse:x1,y1,x2,y2|poly:x,y;x,y;...|wand:x,y,tol] "
               "[--snapshot OUT.png | --snapshot-window OUT.png]",
               "show an image in the viewer (a window with a tool bar, or a PNG snapshot of the view or of the "
               "whole window)",
               RunView);
}  // namespace corvex::tool
