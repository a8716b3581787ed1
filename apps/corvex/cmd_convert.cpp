// corvex convert IN OUT [--index N] [--set FIELD=VALUE]... : load, set fields, save.
#include <cstdlib>

#include "apps/corvex/fields.h"
#include "apps/corvex/tool.h"

namespace corvex::tool {
namespace {

int RunConvert(const std::vector<std::string>& args) {
  const std::string self = "convert";
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> sets;
  int index = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--index" || a == "--set") {
      if (i + 1 >= args.size()) return UsageError(self, a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--index") {
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 0 || n > 1000000) return UsageError(self, "bad image index " + v);
        index = int(n);
      } else {
        const size_t eq = v.find('=');
        if (eq == std::string::npos || eq == 0) return UsageError(self, "--set takes FIELD=VALUE, not " + v);
        sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
      }
    } else if (!a.empty() && a[0] == '-') {
      return UsageError(self, "unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return UsageError(self, "give one input and one output file");
  TBitmap bitmap;
  TCorvexIO io;
  io.SetAttachedBitmap(&bitmap);
  // Checked before the work starts, so that a wrong field never costs a load.
  {
    TIOParamsVals probe;
    for (const auto& [name, value] : sets) {
      std::string error;
      if (!SetField(probe, name, value, error)) return UsageError(self, error);
    }
  }
  if (index >= 0) {
    TIOParamsVals& p = io.GetParams();
    p.GIF_ImageIndex = p.TIFF_ImageIndex = p.ICO_ImageIndex = p.CUR_ImageIndex = index;
  }
  {
    ProgressBar bar("loading " + files[0]);
    io.OnProgress = bar.Event();
    io.LoadFromFile(files[0]);
  }
  if (io.GetAborting() || bitmap.GetEmpty())
    return Fail(kFailed, files[0] + ": cannot load it (not an image this library reads, or damaged)");
  for (const auto& [name, value] : sets) {
    std::string error;
    SetField(io.GetParams(), name, value, error);
  }
  {
    ProgressBar bar("saving " + files[1]);
    io.OnProgress = bar.Event();
    io.SaveToFile(files[1]);
  }
  if (io.GetAborting()) return Fail(kFailed, files[1] + ": cannot save it (unknown extension, or the writer failed)");
  return kOk;
}

}  // namespace
CORVEX_COMMAND(convert, "IN OUT [--index N] [--set FIELD=VALUE]...",
               "load an image, set fields of its parameter record, save it", RunConvert);
}  // namespace corvex::tool
