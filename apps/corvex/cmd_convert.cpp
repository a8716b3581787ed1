// corvex convert IN OUT [--index N | --all] [--codec raw|mjpeg|ffv1] [--quality Q] [--set FIELD=VALUE]...
// : load, set fields, save. With --all every image of a multi-image IN (GIF, TIFF, AVI, or one
// image of any other format) goes into a multi-image OUT (GIF, TIFF or AVI by extension), delays
// kept; --codec and --quality choose the AVI compression.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXMIO.h"
#include "corvex/view/CXMView.h"

#include "apps/corvex/fields.h"
#include "apps/corvex/tool.h"

namespace corvex::tool {
namespace {


// Every image of IN into the multi-image file OUT.
int ConvertAll(const std::string& in, const std::string& out, const std::vector<std::pair<std::string, std::string>>& sets,
               const TAVISaveOptions& avi) {
  const std::string self = "convert";
  const std::string outExt = LowerExtension(out);
  if (outExt != "gif" && outExt != "tif" && outExt != "tiff" && outExt != "avi")
    return UsageError(self, "--all writes a GIF, TIFF or AVI file (.gif, .tif, .tiff, .avi), not " + out);
  TForm form(nullptr);
  auto* view = new TCorvexMView(&form);
  view->SetParent(&form);
  auto* mio = new TCorvexMIO(&form);
  mio->SetAttachedMView(view);
  mio->GetAVIOptions() = avi;
  try {
    ProgressBar bar("loading " + in);
    mio->OnProgress = bar.Event();
    const int type = FindFileFormat(in, true);
    if (type == ioGIF) mio->LoadFromFileGif(in);
    else if (type == ioTIFF) mio->LoadFromFileTIFF(in);
    else if (IsAVIFile(in) || LowerExtension(in) == "avi") mio->LoadFromFileAVI(in);
    else {
      // One image of another format.
      TBitmap bitmap;
      TCorvexIO io;
      io.SetAttachedBitmap(&bitmap);
      io.LoadFromFile(in);
      if (io.GetAborting() || bitmap.GetEmpty()) mio->SetAborting(true);
      else {
        const int i = view->AppendImage();
        view->SetImage(i, &bitmap);
        mio->GetParams(i)->Assign(&io.GetParams());
        view->SetImageDelayTime(i, 100);
      }
    }
  } catch (const std::exception& e) {
    return Fail(kFailed, in + ": " + e.what());
  }
  if (mio->GetAborting() || view->GetImageCount() == 0)
    return Fail(kFailed, in + ": cannot load it (not an image this library reads, or damaged)");
  for (int i = 0; i < mio->GetParamsCount(); ++i) {
    TIOParamsVals* p = mio->GetParams(i);
    // A GIF keeps each image's delay, in hundredths of a second.
    if (outExt == "gif") p->GIF_DelayTime = view->GetImageDelayTime(i) / 10;
    for (const auto& [name, value] : sets) {
      std::string error;
      SetField(*p, name, value, error);
    }
  }
  try {
    ProgressBar bar("saving " + out);
    mio->OnProgress = bar.Event();
    mio->SaveToFile(out);
  } catch (const std::exception& e) {
    return Fail(kFailed, out + ": " + e.what());
  }
  if (mio->GetAborting()) return Fail(kFailed, out + ": cannot save it (the writer failed)");
  std::printf("%d images\n", view->GetImageCount());
  return kOk;
}

int RunConvert(const std::vector<std::string>& args) {
  const std::string self = "convert";
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> sets;
  int index = -1;
  bool all = false;
  TAVISaveOptions avi;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--all") {
      all = true;
    } else if (a == "--codec" || a == "--quality") {
      if (i + 1 >= args.size()) return UsageError(self, a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--codec") {
        if (v == "raw") avi.Codec = avcUncompressed;
        else if (v == "mjpeg") avi.Codec = avcMJPEG;
        else if (v == "ffv1") avi.Codec = avcFFV1;
        else return UsageError(self, "--codec takes raw, mjpeg or ffv1, not " + v);
      } else {
        char* end = nullptr;
        const long q = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || q < 1 || q > 100) return UsageError(self, "--quality takes 1 to 100, not " + v);
        avi.Quality = int(q);
      }
    } else if (a == "--index" || a == "--set") {
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
  if (all && index >= 0) return UsageError(self, "give --index or --all, not both");
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
  if (all) return ConvertAll(files[0], files[1], sets, avi);
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
CORVEX_COMMAND(convert, "IN OUT [--index N | --all] [--codec raw|mjpeg|ffv1] [--quality Q] [--set FIELD=VALUE]...",
               "load an image, set fields of its parameter record, save it (--all: every image into a GIF, TIFF "
               "or AVI)",
               RunConvert);
}  // namespace corvex::tool
