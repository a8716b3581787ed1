// corvex annotate IN OUT [--cxv FILE] [--dxf FILE] [--save-cxv FILE] [--merge] [--zoom Z] [--size WxH]:
// the image in a headless vector view with the objects of a CXV file and/or a DXF drawing over it;
// OUT is the view as shown (a PNG of its client area), or with --merge the image at full size with
// the objects drawn into it, saved in the format of OUT's extension. --save-cxv writes the layer.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXVect.h"

namespace corvex::tool {
namespace {

const char* const kSelf = "annotate";

struct Options {
  std::string in, out, cxv, dxf, saveCxv;
  bool merge = false;
  int zoom = 0, width = 640, height = 480;
};

bool Int(const std::string& s, int& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long n = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || n < 0 || n > 1000000) return false;
  v = int(n);
  return true;
}

std::string Parse(const std::vector<std::string>& args, Options& o) {
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--merge") {
      o.merge = true;
      continue;
    }
    if (a == "--cxv" || a == "--dxf" || a == "--save-cxv" || a == "--zoom" || a == "--size") {
      if (i + 1 >= args.size()) return a + " needs a value";
      const std::string& v = args[++i];
      if (a == "--cxv") o.cxv = v;
      else if (a == "--dxf") o.dxf = v;
      else if (a == "--save-cxv") o.saveCxv = v;
      else if (a == "--zoom") {
        if (!Int(v, o.zoom) || o.zoom < 1 || o.zoom > kMaxViewZoom)
          return "the zoom is a percentage from 1 to " + std::to_string(kMaxViewZoom) + ", not " + v;
      } else {
        const size_t x = v.find('x');
        if (x == std::string::npos || !Int(v.substr(0, x), o.width) || !Int(v.substr(x + 1), o.height) ||
            o.width < 16 || o.height < 16 || o.width > 16384 || o.height > 16384)
          return "--size takes WIDTHxHEIGHT (16 to 16384 each), not " + v;
      }
      continue;
    }
    if (!a.empty() && a[0] == '-') return "unknown option " + a;
    files.push_back(a);
  }
  if (files.size() != 2) return "give an input image and an output file";
  o.in = files[0], o.out = files[1];
  return "";
}

int RunAnnotate(const std::vector<std::string>& args) {
  Options o;
  const std::string bad = Parse(args, o);
  if (!bad.empty()) return UsageError(kSelf, bad);

  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(40, 40, o.width, o.height);
  form->SetClientWidth(o.width);
  form->SetClientHeight(o.height);
  auto* view = new TCorvexVect(form.get());
  view->SetParent(form.get());
  view->SetBounds(0, 0, o.width, o.height);
  view->SetScrollBars(ssBoth);
  auto* io = new TCorvexIO(form.get());
  io->SetAttachedCorvex(view);
  try {
    io->LoadFromFile(o.in);
  } catch (const std::exception& e) {
    return Fail(kFailed, o.in + ": " + e.what());
  }
  if (io->GetAborting() || view->TCorvexView::GetBitmap()->GetEmpty())
    return Fail(kFailed, o.in + ": cannot load it (not an image this library reads, or damaged)");
  if (!o.cxv.empty() && !view->LoadFromFileCXV(o.cxv))
    return Fail(kFailed, o.cxv + ": cannot load it as vector objects (missing, not a CXV stream, or damaged)");
  if (!o.dxf.empty() && !view->ImportDXF(o.dxf))
    return Fail(kFailed, o.dxf + ": cannot import it (missing, not a text DXF drawing, or damaged)");
  if (!o.saveCxv.empty()) {
    try {
      view->SaveToFileCXV(o.saveCxv);
    } catch (const std::exception& e) {
      return Fail(kFailed, o.saveCxv + ": " + e.what());
    }
  }
  try {
    if (o.merge) {
      view->CopyObjectsToBack();
      io->SaveToFile(o.out);
      if (io->GetAborting()) return Fail(kFailed, o.out + ": cannot write it");
    } else {
      if (o.zoom > 0) view->SetZoom(o.zoom);
      form->Show();
      Application().ProcessMessages();
      TBitmap shot;
      CXCopyBitmap(view->GetBackingBitmap(), &shot);
      form->Hide();
      TCorvexIO out;
      out.SetAttachedBitmap(&shot);
      out.SaveToFile(o.out);
      if (out.GetAborting()) return Fail(kFailed, o.out + ": cannot write it");
    }
  } catch (const std::exception& e) {
    return Fail(kFailed, o.out + ": " + e.what());
  }
  return kOk;
}

}  // namespace
CORVEX_COMMAND(annotate, "IN OUT [--cxv FILE] [--dxf FILE] [--save-cxv FILE] [--merge] [--zoom Z] [--size WxH]",
               "vector objects of a CXV file or a DXF drawing over an image: the view as shown, or merged", RunAnnotate);
}  // namespace corvex::tool
