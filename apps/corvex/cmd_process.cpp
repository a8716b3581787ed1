// corvex process: runs operations of the processing component on an image, in order.
//
//   corvex process in.png out.jpg --select 10,10,200,120 --op Resample:800,-1,rfLanczos3
//       --op Rotate:30,true --op ApplyFilterPreset:fpBlur --op WriteHiddenText:hello
//
// Operations are named as the component names them; arguments follow a colon, separated by
// commas (the text of WriteHiddenText is taken whole). OUT "-" writes no file (for operations
// that only print, such as ReadHiddenText).
//
// --dialog opens the processing preview dialog on the image (after the operations, on the
// selection) in a real window; what its OK applies is saved to OUT, Cancel writes nothing and
// exits with status 1.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/cxfft.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>
#include <cstdlib>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

// ---------------------------------------------------------------------------------------------
// Reading and writing files (PNG and JPEG, by extension, else by content when reading)

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
std::string Extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
}

// Loads and saves through the I/O component: every format, chosen by extension (loading
// falls back to the content for unknown extensions).
bool LoadImage(const std::string& path, TBitmap& bitmap, std::string& error) {
  try {
    TCorvexIO io;
    io.SetAttachedBitmap(&bitmap);
    io.LoadFromFile(path);
    if (io.GetAborting()) {
      TFileStream f(path, fmOpenRead | fmShareDenyWrite);
      io.LoadFromStream(&f);
    }
    if (io.GetAborting() || bitmap.GetEmpty()) {
      error = "cannot read the image (not a format this library reads, or damaged)";
      return false;
    }
    return true;
  } catch (const Exception& e) {
    error = e.what();
    return false;
  }
}

bool SaveImage(const std::string& path, TBitmap& bitmap, std::string& error) {
  try {
    TCorvexIO io;
    io.SetAttachedBitmap(&bitmap);
    io.SaveToFile(path);
    if (io.GetAborting()) {
      error = "cannot write the image (unknown extension, or the writer failed)";
      return false;
    }
    return true;
  } catch (const Exception& e) {
    error = e.what();
    return false;
  }
}

// ---------------------------------------------------------------------------------------------
// Arguments

struct BadArgument : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int Int(const std::string& s) {
  try {
    size_t used = 0;
    const long v = std::stol(s, &used);
    if (used == s.size() && v >= INT32_MIN && v <= INT32_MAX) return int(v);
  } catch (...) {
  }
  throw BadArgument("not an integer: \"" + s + "\"");
}
double Double(const std::string& s) {
  try {
    size_t used = 0;
    const double v = std::stod(s, &used);
    if (used == s.size()) return v;
  } catch (...) {
  }
  throw BadArgument("not a number: \"" + s + "\"");
}
bool Bool(const std::string& s) {
  const std::string l = Lower(s);
  if (l == "true" || l == "1" || l == "yes") return true;
  if (l == "false" || l == "0" || l == "no") return false;
  throw BadArgument("not true or false: \"" + s + "\"");
}
// #rrggbb or r/g/b.
TRGB Color(const std::string& s) {
  if (s.size() == 7 && s[0] == '#') {
    try {
      const unsigned long v = std::stoul(s.substr(1), nullptr, 16);
      return CreateRGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
    } catch (...) {
    }
  } else {
    const size_t a = s.find('/'), b = s.find('/', a == std::string::npos ? a : a + 1);
    if (a != std::string::npos && b != std::string::npos) {
      const int r = Int(s.substr(0, a)), g = Int(s.substr(a + 1, b - a - 1)), bl = Int(s.substr(b + 1));
      if (r >= 0 && r < 256 && g >= 0 && g < 256 && bl >= 0 && bl < 256) return CreateRGB(uint8_t(r), uint8_t(g), uint8_t(bl));
    }
  }
  throw BadArgument("not a colour (#rrggbb or r/g/b): \"" + s + "\"");
}
template <size_t N>
int Enum(const std::string& s, const char* const (&names)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (Lower(s) == Lower(names[i])) return int(i);
  std::string all;
  for (const char* n : names) all += std::string(all.empty() ? "" : ", ") + n;
  throw BadArgument("\"" + s + "\" is not one of " + all);
}
const char* const kFilters[] = {"rfNone", "rfTriangle", "rfHermite", "rfBell", "rfBSpline", "rfLanczos3", "rfMitchell"};
const char* const kPresets[] = {"fpNone",       "fpBlur",       "fpEdge",   "fpEmboss", "fpHighPass1",
                                "fpHighPass2", "fpHighPass3", "LowPass1", "LowPass2"};
const char* const kFlips[] = {"fdHorizontal", "fdVertical"};
const char* const kFtTypes[] = {"cxitUnknown", "cxitRGB", "cxitGrayscale"};

// ---------------------------------------------------------------------------------------------
// Operations

struct Context {
  TCorvexProc& proc;
  TBitmap& bitmap;
};
using Args = std::vector<std::string>;

struct Operation {
  const char* name;
  const char* args;  // for --list
  int minArgs, maxArgs;
  void (*run)(Context& c, const Args& a);
};

std::string Arg(const Args& a, size_t i, const char* def) { return i < a.size() ? a[i] : def; }

void PrintRGB(TRGB c) { std::printf("#%02x%02x%02x\n", c.r, c.g, c.b); }

std::unique_ptr<TBitmap> LoadOther(const std::string& path) {
  auto b = std::make_unique<TBitmap>();
  std::string error;
  if (!LoadImage(path, *b, error)) throw BadArgument(path + ": " + error);
  return b;
}

const Operation kOperations[] = {
    // Selection
    {"Select", "x1,y1,x2,y2 (x2, y2 exclusive)", 4, 4,
     [](Context& c, const Args& a) { c.proc.Select(Int(a[0]), Int(a[1]), Int(a[2]), Int(a[3])); }},
    {"SelectAll", "", 0, 0, [](Context& c, const Args&) { c.proc.SelectAll(); }},
    {"MagicWand", "x,y,tolerance[,maxfilter]", 3, 4,
     [](Context& c, const Args& a) {
       int n = 0;
       std::unique_ptr<TPoint[]> p(
           _MakeMagicWandPoints(&c.bitmap, Int(a[0]), Int(a[1]), Bool(Arg(a, 3, "false")), Int(a[2]), n));
       if (n > 0) c.proc.SelectPolygon(p.get(), n);
       else c.proc.SelectAll();
     }},
    {"Background", "colour (#rrggbb or r/g/b)", 1, 1,
     [](Context& c, const Args& a) { c.proc.SetBackground(TRGB2TColor(Color(a[0]))); }},
    {"Undo", "", 0, 0, [](Context& c, const Args&) { c.proc.Undo(); }},
    // Colour
    {"Contrast", "amount", 1, 1, [](Context& c, const Args& a) { c.proc.Contrast(Int(a[0])); }},
    {"HSLvar", "hue,saturation,luminance", 3, 3,
     [](Context& c, const Args& a) { c.proc.HSLvar(Int(a[0]), Int(a[1]), Int(a[2])); }},
    {"HSVvar", "hue,saturation,value", 3, 3,
     [](Context& c, const Args& a) { c.proc.HSVvar(Int(a[0]), Int(a[1]), Int(a[2])); }},
    {"IntensityRGBall", "r,g,b", 3, 3,
     [](Context& c, const Args& a) { c.proc.IntensityRGBall(Int(a[0]), Int(a[1]), Int(a[2])); }},
    {"Threshold", "downlimit,uplimit,downvalue,upvalue (colours)", 4, 4,
     [](Context& c, const Args& a) { c.proc.Threshold(Color(a[0]), Color(a[1]), Color(a[2]), Color(a[3])); }},
    {"CastColorRange", "begin,end,cast (colours)", 3, 3,
     [](Context& c, const Args& a) { c.proc.CastColorRange(Color(a[0]), Color(a[1]), Color(a[2])); }},
    {"HistEqualize", "low,high (colours)", 2, 2,
     [](Context& c, const Args& a) { c.proc.HistEqualize(Color(a[0]), Color(a[1])); }},
    {"HistAutoEqualize", "", 0, 0, [](Context& c, const Args&) { c.proc.HistAutoEqualize(); }},
    {"ConvertToGray", "", 0, 0, [](Context& c, const Args&) { c.proc.ConvertToGray(); }},
    {"Negative", "", 0, 0, [](Context& c, const Args&) { c.proc.Negative(); }},
    // Analysis (printed on standard output)
    {"GetHistogram", "(prints level, red, green, blue, grey counts)", 0, 0,
     [](Context& c, const Args&) {
       THistogramItem h[256];
       c.proc.GetHistogram(h);
       for (int i = 0; i < 256; ++i) std::printf("%d %d %d %d %d\n", i, h[i].R, h[i].G, h[i].B, h[i].Gray);
     }},
    {"CalcImageNumColors", "(prints the number of colours)", 0, 0,
     [](Context& c, const Args&) { std::printf("%d\n", c.proc.CalcImageNumColors()); }},
    {"CalcImagePalette", "count (prints the colours)", 1, 1,
     [](Context& c, const Args& a) {
       const int n = Int(a[0]);
       if (n < 1 || n > 256) throw BadArgument("the palette holds 1 to 256 colours");
       std::vector<TRGB> pal(size_t(n), CreateRGB(0, 0, 0));
       c.proc.CalcImagePalette(pal.data(), n);
       for (const TRGB& p : pal) PrintRGB(p);
     }},
    // Filters
    {"ApplyFilter", "kernel-file", 1, 1, [](Context& c, const Args& a) { c.proc.ApplyFilter(LoadFilterFromFile(a[0])); }},
    {"ApplyFilterPreset", "preset (fpBlur, fpEdge, ...)", 1, 1,
     [](Context& c, const Args& a) { c.proc.ApplyFilterPreset(TCXFilterPresets(Enum(a[0], kPresets))); }},
    {"Maximum", "winsize", 1, 1, [](Context& c, const Args& a) { c.proc.Maximum(Int(a[0])); }},
    {"Minimum", "winsize", 1, 1, [](Context& c, const Args& a) { c.proc.Minimum(Int(a[0])); }},
    {"Opening", "winsize", 1, 1, [](Context& c, const Args& a) { c.proc.Opening(Int(a[0])); }},
    {"Closing", "winsize", 1, 1, [](Context& c, const Args& a) { c.proc.Closing(Int(a[0])); }},
    // Geometry
    {"Resample", "width,height[,filter] (-1 keeps the aspect; rfTriangle .. rfMitchell, rfNone)", 2, 3,
     [](Context& c, const Args& a) {
       c.proc.Resample(Int(a[0]), Int(a[1]), TResampleFilter(Enum(Arg(a, 2, "rfTriangle"), kFilters)));
     }},
    {"ImageResize", "width,height", 2, 2, [](Context& c, const Args& a) { c.proc.ImageResize(Int(a[0]), Int(a[1])); }},
    {"Rotate", "degrees[,antialias] (counter-clockwise)", 1, 2,
     [](Context& c, const Args& a) { c.proc.Rotate(Int(a[0]), Bool(Arg(a, 1, "true"))); }},
    {"Flip", "fdHorizontal|fdVertical", 1, 1, [](Context& c, const Args& a) { c.proc.Flip(TFlipDir(Enum(a[0], kFlips))); }},
    {"CropSel", "", 0, 0, [](Context& c, const Args&) { c.proc.CropSel(); }},
    // Colour depth
    {"ConvertTo", "colours (2 gives black and white)", 1, 1, [](Context& c, const Args& a) { c.proc.ConvertTo(Int(a[0])); }},
    {"ConvertToBWOrdered", "", 0, 0, [](Context& c, const Args&) { c.proc.ConvertToBWOrdered(); }},
    {"ConvertToBWThreshold", "threshold (-1 automatic)", 1, 1,
     [](Context& c, const Args& a) { c.proc.ConvertToBWThreshold(Int(a[0])); }},
    {"ConvertTo24Bit", "", 0, 0, [](Context& c, const Args&) { c.proc.ConvertTo24Bit(); }},
    // Effects
    {"BumpMapping", "lightx,lighty,lightwidth,lightheight,srcpercent,colour", 6, 6,
     [](Context& c, const Args& a) {
       c.proc.BumpMapping(Int(a[0]), Int(a[1]), Int(a[2]), Int(a[3]), Int(a[4]), Color(a[5]));
     }},
    {"Lens", "x,y,width,height,refraction", 5, 5,
     [](Context& c, const Args& a) { c.proc.Lens(Int(a[0]), Int(a[1]), Int(a[2]), Int(a[3]), Double(a[4])); }},
    {"Wave", "amplitude,wavelength,phase[,reflective]", 3, 4,
     [](Context& c, const Args& a) { c.proc.Wave(Int(a[0]), Int(a[1]), Int(a[2]), Bool(Arg(a, 3, "false"))); }},
    {"Merge", "image-file,percent (percent of the current image kept)", 2, 2,
     [](Context& c, const Args& a) { c.proc.Merge(LoadOther(a[0]).get(), Int(a[1])); }},
    // Clearing
    {"Clear", "", 0, 0, [](Context& c, const Args&) { c.proc.Clear(); }},
    {"ClearSel", "", 0, 0, [](Context& c, const Args&) { c.proc.ClearSel(); }},
    // Hidden data
    {"WriteHiddenText", "text (the rest of the argument, commas included)", 1, 1,
     [](Context& c, const Args& a) {
       const int stored = c.proc.WriteHiddenText(a[0]);
       if (stored < int(a[0].size()))
         std::fprintf(stderr, "corvex: only %d of %zu bytes fit in the image\n", stored, a[0].size());
     }},
    {"ReadHiddenText", "(prints the text)", 0, 0,
     [](Context& c, const Args&) { std::printf("%s\n", c.proc.ReadHiddenText().c_str()); }},
    {"GetHiddenDataSpace", "(prints the bytes the image can hide)", 0, 0,
     [](Context& c, const Args&) { std::printf("%d\n", c.proc.GetHiddenDataSpace()); }},
    // Frequency domain
    {"FTDisplayFrom", "cxitRGB|cxitGrayscale (the spectrum picture)", 1, 1,
     [](Context& c, const Args& a) {
       std::unique_ptr<TCXFtImage> ft(c.proc.FTCreateImage(TCXFtImageType(Enum(a[0], kFtTypes)), -1, -1));
       c.proc.FTDisplayFrom(ft.get());
     }},
    {"FTConvertFrom", "cxitRGB|cxitGrayscale[,LoPass|HiPass,radius] (filtered in the frequency domain)", 1, 3,
     [](Context& c, const Args& a) {
       std::unique_ptr<TCXFtImage> ft(c.proc.FTCreateImage(TCXFtImageType(Enum(a[0], kFtTypes)), -1, -1));
       if (ft == nullptr) return;
       if (a.size() == 3) {
         const char* const kinds[] = {"LoPass", "HiPass"};
         (Enum(a[1], kinds) == 0) ? ft->LoPass(Int(a[2])) : ft->HiPass(Int(a[2]));
       }
       c.proc.FTConvertFrom(ft.get());
     }},
};

const Operation* Find(const std::string& name) {
  for (const Operation& op : kOperations)
    if (Lower(name) == Lower(op.name)) return &op;
  return nullptr;
}

// NAME[:ARG,ARG...]; the text of WriteHiddenText stays whole.
void Split(const std::string& spec, std::string& name, Args& args) {
  const size_t colon = spec.find(':');
  name = spec.substr(0, colon);
  args.clear();
  if (colon == std::string::npos) return;
  const std::string rest = spec.substr(colon + 1);
  if (Lower(name) == "writehiddentext") {
    args.push_back(rest);
    return;
  }
  size_t start = 0;
  for (;;) {
    const size_t comma = rest.find(',', start);
    args.push_back(rest.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

// ---------------------------------------------------------------------------------------------
// The preview dialog in a real window

// Why --dialog cannot open a window here ("" when it can).
std::string DialogUnavailable() {
#ifdef CORVEX_TOOL_WITH_QT
  // Qt ends the process when it finds no display: say so plainly instead.
  if (!HasDisplay())
    return "--dialog: there is no display to open a window on (DISPLAY is not set)";
  return "";
#else
  return "--dialog: this corvex was built without the Qt host and cannot open a window";
#endif
}

// Shows the dialog with every page on the image; kOk when OK applied an effect.
int RunDialog(TCorvexProc& proc, TBitmap& bitmap, const std::string& out) {
#ifdef CORVEX_TOOL_WITH_QT
  if (bitmap.GetWidth() < 2 || bitmap.GetHeight() < 2)
    return Fail(kFailed, "the image is too small for the dialog (it needs 2 x 2 pixels)");
  if (bitmap.GetPixelFormat() != pf24bit) proc.ConvertTo24Bit();  // the effects work on 24 bits
  static int argc = 1;
  static char name[] = "corvex";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qt::Host host;
  proc.OnProgress = nullptr;
  if (!proc.DoPreviews({peAll}))
    return Fail(kFailed, "the dialog was cancelled; " + (out == "-" ? std::string("nothing written") : out + " not written"));
  return kOk;
#else
  (void)proc, (void)bitmap, (void)out;
  return Fail(kUsage, "--dialog: this corvex was built without the Qt host");
#endif
}

int RunProcess(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--list") {
    std::printf("operations (--op NAME[:ARG,ARG...]), in the order given:\n");
    for (const Operation& op : kOperations) std::printf("  %-22s %s\n", op.name, op.args);
    std::printf("\ncolours are #rrggbb or r/g/b; --select x1,y1,x2,y2 is Select before the first operation\n");
    std::printf("--dialog opens the preview dialog on the result of the operations; its OK is saved to OUT\n");
    return kOk;
  }
  std::vector<std::string> files;
  std::vector<std::pair<const Operation*, Args>> ops;
  bool dialog = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dialog") {
      dialog = true;
    } else if (a == "--op" || a == "--select") {
      if (i + 1 >= args.size()) return UsageError("process", a + " needs a value");
      std::string name;
      Args opArgs;
      if (a == "--select") name = "Select", Split("Select:" + args[++i], name, opArgs);
      else Split(args[++i], name, opArgs);
      const Operation* op = Find(name);
      if (op == nullptr) return UsageError("process", "unknown operation \"" + name + "\" (corvex process --list)");
      if (int(opArgs.size()) < op->minArgs || int(opArgs.size()) > op->maxArgs)
        return UsageError("process", std::string(op->name) + " takes " + (*op->args ? op->args : "no arguments"));
      if (a == "--select") ops.insert(ops.begin(), {op, opArgs});
      else ops.push_back({op, opArgs});
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return UsageError("process", "unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return UsageError("process", "needs IN and OUT");
  const std::string outExt = Extension(files[1]);
  static const char* const kWritable[] = {"png", "jpg", "jpeg", "tif", "tiff", "gif", "bmp", "pcx", "tga"};
  if (files[1] != "-" && std::find(std::begin(kWritable), std::end(kWritable), outExt) == std::end(kWritable) &&
      CXFileFormatGetInfo2(outExt) == nullptr)
    return UsageError("process", files[1] + ": no writer for this extension");
  if (dialog) {
    const std::string why = DialogUnavailable();
    if (!why.empty()) return UsageError("process", why);
  }

  TBitmap bitmap;
  std::string error;
  if (!LoadImage(files[0], bitmap, error)) return Fail(kFailed, files[0] + ": " + error);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&bitmap);
  Context ctx{proc, bitmap};
  for (const auto& [op, opArgs] : ops) {
    ProgressBar bar(op->name);
    proc.OnProgress = bar.Event();
    try {
      op->run(ctx, opArgs);
    } catch (const BadArgument& e) {
      return UsageError("process", std::string(op->name) + ": " + e.what());
    }
  }
  if (dialog) {
    const int rc = RunDialog(proc, bitmap, files[1]);
    if (rc != kOk) return rc;
  }
  if (files[1] != "-" && !SaveImage(files[1], bitmap, error)) return Fail(kFailed, files[1] + ": " + error);
  return kOk;
}

constexpr const char* kUsageText = "IN OUT [--select x1,y1,x2,y2] [--op NAME[:ARG,ARG...]]... [--dialog] | --list";
constexpr const char* kSummary = "run image operations in order (corvex process --list)";

}  // namespace
CORVEX_COMMAND(process, kUsageText, kSummary, RunProcess);
}  // namespace corvex::tool
