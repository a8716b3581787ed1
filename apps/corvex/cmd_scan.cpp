// corvex scan OUT [--source NAME] [--resolution DPI] [--pixel-type bw|grey|rgb] [--frame l,t,r,b]
//              [--feeder] [--show-ui] [--sane-option NAME=VALUE]... | --list
//
// Scans through the TWAIN layer and its source manager (by default Corvex's own, which presents
// every SANE scanner as a source). --list prints the sources, the SANE device name first. One page
// is written to OUT in the format of its extension; with --feeder every page the feeder delivers
// goes into a multi-page OUT (.tif, .tiff or .gif), or one file per page when OUT contains %d (1 for
// the first page). The frame is in inches from the top left corner of the scan area.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/acquire/CXTWain.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/view/CXMIO.h"
#include "corvex/view/CXMView.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

const char* const kSelf = "scan";

bool ParseDouble(const std::string& Text, double& Value) {
  if (Text.empty()) return false;
  char* end = nullptr;
  Value = std::strtod(Text.c_str(), &end);
  return end != nullptr && *end == '\0';
}

// "l,t,r,b" in inches, right of left and below top.
bool ParseFrame(const std::string& Text, double (&Frame)[4]) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = i < 3 ? Text.find(',', start) : Text.size();
    if (comma == std::string::npos) return false;
    if (!ParseDouble(Text.substr(start, comma - start), Frame[i]) || Frame[i] < 0) return false;
    start = comma + 1;
  }
  return Frame[2] > Frame[0] && Frame[3] > Frame[1];
}

std::string PageName(const std::string& Pattern, int Page) {
  const size_t at = Pattern.find("%d");
  return Pattern.substr(0, at) + std::to_string(Page) + Pattern.substr(at + 2);
}

const char* TypeName(const TBitmap& B, const TIOParamsVals& P) {
  if (B.GetPixelFormat() == pf1bit) return "black and white";
  return P.SamplesPerPixel == 1 ? "grey" : "colour";
}

int List() {
  std::vector<TW_IDENTITY> Sources;
  if (!CXTW_GetSourceList(Sources)) return Fail(kFailed, "scan: no TWAIN source manager could be loaded");
  for (const TW_IDENTITY& Id : Sources) {
    std::string Line = CXTW_Name(Id.ProductName);
    const std::string Vendor = CXTW_Name(Id.Manufacturer), Model = CXTW_Name(Id.ProductFamily);
    const std::string Type(Id.Version.Info, strnlen(Id.Version.Info, sizeof(Id.Version.Info)));
    Line += "\t" + Vendor + (Vendor.empty() || Model.empty() ? "" : " ") + Model;
    if (!Type.empty()) Line += " (" + Type + ")";
    std::printf("%s\n", Line.c_str());
  }
  return kOk;
}

// The settings of one scan, applied to a component's TWAIN parameters.
struct Settings {
  std::string Source;
  double Resolution = 0;
  int PixelType = -1;
  bool Frame = false;
  double FrameInches[4] = {0, 0, 0, 0};
  bool Feeder = false;
  bool ShowUI = false;
  std::string SaneOptions;

  // False (with a message printed) when the source does not exist.
  bool Apply(TCXTWainParams& P) const {
    P.FillSourceListData();
    if (P.GetSourceCount() == 0) {
      Fail(kFailed, "scan: no scanner found");
      return false;
    }
    if (!Source.empty()) {
      int Found = -1;
      for (int i = 0; i < P.GetSourceCount() && Found < 0; ++i)
        if (P.GetSourceName(i) == Source) Found = i;
      if (Found < 0) {
        Fail(kFailed, "scan: no such source: " + Source + " (corvex scan --list shows them)");
        return false;
      }
      P.SetSelectedSource(Found);
    }
    if (Resolution > 0)
      for (TCXDoubleList* L : {&P.Caps.XResolution, &P.Caps.YResolution}) {
        L->Clear();
        L->Add(Resolution);
        L->SetCurrentValue(Resolution);
      }
    if (PixelType >= 0) {
      P.Caps.PixelType.Clear();
      P.Caps.PixelType.Add(PixelType);
      P.Caps.PixelType.SetCurrentValue(PixelType);
    }
    P.Caps.AcquireFrameEnabled = Frame;
    for (int i = 0; i < 4; ++i) P.Caps.AcquireFrame[i] = FrameInches[i];
    P.Caps.FeederEnabled = Feeder;
    P.Caps.DuplexEnabled = false;
    P.ShowSettingsOnAcquire = ShowUI;
    P.SourceData = SaneOptions;
    return true;
  }
};

int ScanFailed(TCXTWainParams& P) {
  const TW_UINT16 CC = CXTW_GetLastCondition();
  std::string Name = P.GetSourceName(P.GetSelectedSource());
  return Fail(kFailed, "scan: " + Name + ": the scan failed" +
                           (CC != TWCC_SUCCESS ? " (" + CXTW_ConditionText(CC) + ")" : std::string(" or was cancelled")));
}

int ScanOne(const Settings& S, const std::string& Out) {
  TBitmap Page;
  TCorvexIO IO;
  IO.SetAttachedBitmap(&Page);
  if (!S.Apply(*IO.GetTWainParams())) return kFailed;
  ProgressBar Bar("scanning");
  IO.OnProgress = Bar.Event();
  if (!IO.Acquire()) {
    Bar.Done();
    return ScanFailed(*IO.GetTWainParams());
  }
  Bar.Done();
  IO.SaveToFile(Out);
  if (IO.GetAborting()) return Fail(kFailed, Out + ": cannot write the scanned page");
  const TIOParamsVals& P = IO.GetParams();
  std::printf("scanned 1 page from %s: %dx%d, %d dpi, %s -> %s\n",
              IO.GetTWainParams()->GetSourceName(IO.GetTWainParams()->GetSelectedSource()).c_str(), Page.GetWidth(),
              Page.GetHeight(), P.DpiX, TypeName(Page, P), Out.c_str());
  return kOk;
}

int ScanFeeder(const Settings& S, const std::string& Out) {
  const bool PerPage = Out.find("%d") != std::string::npos;
  const std::string Ext = LowerExtension(Out);
  if (!PerPage && Ext != "tif" && Ext != "tiff" && Ext != "gif")
    return UsageError(kSelf, "--feeder writes a multi-page .tif, .tiff or .gif, or one file a page with %d in OUT");
  TCorvexMView View(nullptr);
  TCorvexMIO MIO;
  MIO.SetAttachedMView(&View);
  if (!S.Apply(*MIO.GetTWainParams())) return kFailed;
  ProgressBar Bar("scanning");
  MIO.OnProgress = Bar.Event();
  const bool Any = MIO.Acquire();
  Bar.Done();
  const int Count = View.GetImageCount();
  if (!Any || Count == 0) return ScanFailed(*MIO.GetTWainParams());
  if (MIO.GetAborting()) {
    const TW_UINT16 CC = CXTW_GetLastCondition();
    std::fprintf(stderr, "corvex: scan: the feeder stopped after %d pages (%s); writing them\n", Count,
                 CC != TWCC_SUCCESS ? CXTW_ConditionText(CC).c_str() : "cancelled");
  }
  if (PerPage) {
    for (int i = 0; i < Count; ++i) {
      TCorvexIO IO;
      IO.SetAttachedBitmap(View.GetBitmap(i));
      IO.GetParams().Assign(MIO.GetParams(i));
      const std::string Name = PageName(Out, i + 1);
      IO.SaveToFile(Name);
      View.ReleaseBitmap(i);
      if (IO.GetAborting()) return Fail(kFailed, Name + ": cannot write the scanned page");
    }
  } else {
    MIO.SaveToFile(Out);
    if (MIO.GetAborting()) return Fail(kFailed, Out + ": cannot write the scanned pages");
  }
  std::printf("scanned %d pages from %s -> %s\n", Count,
              MIO.GetTWainParams()->GetSourceName(MIO.GetTWainParams()->GetSelectedSource()).c_str(), Out.c_str());
  return MIO.GetAborting() ? kFailed : kOk;
}

int RunScan(const std::vector<std::string>& args) {
  Settings S;
  std::string Out;
  bool DoList = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") {
      DoList = true;
    } else if (a == "--feeder") {
      S.Feeder = true;
    } else if (a == "--show-ui") {
      S.ShowUI = true;
    } else if (a == "--source" || a == "--resolution" || a == "--pixel-type" || a == "--frame" || a == "--sane-option") {
      if (i + 1 >= args.size()) return UsageError(kSelf, a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--source") {
        S.Source = v;
      } else if (a == "--resolution") {
        if (!ParseDouble(v, S.Resolution) || S.Resolution < 1 || S.Resolution > 100000)
          return UsageError(kSelf, "--resolution takes dots per inch, not " + v);
      } else if (a == "--pixel-type") {
        if (v == "bw") S.PixelType = TWPT_BW;
        else if (v == "grey" || v == "gray") S.PixelType = TWPT_GRAY;
        else if (v == "rgb") S.PixelType = TWPT_RGB;
        else return UsageError(kSelf, "--pixel-type takes bw, grey or rgb, not " + v);
      } else if (a == "--frame") {
        if (!ParseFrame(v, S.FrameInches))
          return UsageError(kSelf, "--frame takes left,top,right,bottom in inches (right > left, bottom > top), not " + v);
        S.Frame = true;
      } else {
        const size_t eq = v.find('=');
        if (eq == 0 || eq == std::string::npos || v.find('\n') != std::string::npos)
          return UsageError(kSelf, "--sane-option takes NAME=VALUE, not " + v);
        S.SaneOptions += v + "\n";
      }
    } else if (!a.empty() && a[0] == '-') {
      return UsageError(kSelf, "unknown option " + a);
    } else if (Out.empty()) {
      Out = a;
    } else {
      return UsageError(kSelf, "give one output file");
    }
  }
  if (DoList) return Out.empty() ? List() : UsageError(kSelf, "--list takes no output file");
  if (Out.empty()) return UsageError(kSelf, "give the output file, or --list");

#ifdef CORVEX_TOOL_WITH_QT
  // The source's own dialog needs a window system; without one it is skipped.
  std::unique_ptr<QApplication> App;
  std::unique_ptr<qt::Host> Host;
  if (S.ShowUI && HasDisplay()) {
    static int argc = 1;
    static char name[] = "corvex";
    static char* argv[] = {name, nullptr};
    App = std::make_unique<QApplication>(argc, argv);
    Host = std::make_unique<qt::Host>();
  }
#endif
  return S.Feeder ? ScanFeeder(S, Out) : ScanOne(S, Out);
}

}  // namespace
CORVEX_COMMAND(scan,
               "OUT [--source NAME] [--resolution DPI] [--pixel-type bw|grey|rgb] [--frame l,t,r,b] [--feeder] "
               "[--show-ui] [--sane-option NAME=VALUE]... | --list",
               "scan a page (or a feeder's pages) from a scanner into a file", RunScan);
}  // namespace corvex::tool
