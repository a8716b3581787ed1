// corvex info FILE... : the parameter record of each file, read without decoding the pixels.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXVect.h"

#include "apps/corvex/fields.h"
#include "apps/corvex/tool.h"

namespace corvex::tool {
namespace {

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonValue(const TIOParamsVals& p, const Field& f) {
  const std::string v = FieldValue(p, f);
  switch (f.kind) {
    case FieldKind::Int:
    case FieldKind::Float:
    case FieldKind::Bool: return v;
    default: return JsonString(v);
  }
}

bool IsCXV(const std::string& file) {
  if (file.size() < 4) return false;
  std::string ext = file.substr(file.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".cxv";
}

// The objects of a CXV file (kind, rectangle, name, colours, text) and its bitmap pool.
// A colour as #RRGGBB; system colours are resolved through the current scheme first.
std::string HexColor(TColor c) {
  const unsigned rgb = unsigned(ColorToRGB(c)) & 0xFFFFFFu;
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
  return buf;
}

int CXVInfo(const std::string& file) {
  static const char* const kKinds[] = {"none", "line", "box", "ellipse", "arc", "bitmap", "text", "ruler"};
  auto form = std::make_unique<TForm>(nullptr);
  auto* v = new TCorvexVect(form.get());
  v->SetParent(form.get());
  if (!v->LoadFromFileCXV(file))
    return Fail(kFailed, file + ": cannot read it as vector objects (missing, not a CXV stream, or damaged)");
  std::printf("File: %s\nScale: %g\nObjects: %d\n", file.c_str(), v->GetScale(), v->GetObjectsCount());
  for (int h : v->ZOrder()) {
    const TCXVObject* o = v->Obj(h);
    std::printf("  %d %s (%d,%d)-(%d,%d) name=%s pen=%s brush=%s", h, kKinds[o->Kind], o->x1, o->y1, o->x2, o->y2,
                JsonString(o->Name).c_str(), HexColor(o->PenColor).c_str(), HexColor(o->BrushColor).c_str());
    if (o->Kind == cxkTEXT) std::printf(" text=%s", JsonString(o->Text).c_str());
    if (o->Kind == cxkBITMAP) std::printf(" bitmap=%d", o->BitmapIndex);
    std::printf("\n");
  }
  std::printf("Pool: %d\n", v->GetBitmapCount());
  for (int i = 0; i < v->GetBitmapCount(); ++i) {
    const TBitmap* b = v->GetBitmap(i);
    if (b != nullptr)
      std::printf("  %d %dx%d references %d\n", i, b->GetWidth(), b->GetHeight(), v->GetBitmapRefCount(i));
  }
  return kOk;
}

int RunInfo(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--json") json = true;
    else if (!a.empty() && a[0] == '-') return Fail(kUsage, "info: unknown option " + a);
    else files.push_back(a);
  }
  if (files.empty()) return Fail(kUsage, "info: give at least one file (corvex info FILE... [--json])");
  int status = kOk;
  for (const std::string& file : files) {
    if (IsCXV(file)) {
      if (CXVInfo(file) != kOk) status = kFailed;
      continue;
    }
    TCorvexIO io;
    io.ParamsFromFile(file);
    const TIOParamsVals& p = io.GetParams();
    if (p.FileType == ioUnknown) {
      status = Fail(kFailed, file + ": cannot read it as an image (missing, unreadable or of an unknown format)");
      continue;
    }
    if (json) {
      std::string line = "{\"Description\":" + JsonString(p.GetFileTypeStr());
      for (const Field& f : Fields()) line += ",\"" + std::string(f.name) + "\":" + JsonValue(p, f);
      std::printf("%s}\n", line.c_str());
    } else {
      std::printf("Description: %s\n", p.GetFileTypeStr().c_str());
      for (const Field& f : Fields()) std::printf("%s: %s\n", f.name, FieldValue(p, f).c_str());
      if (files.size() > 1) std::printf("\n");
    }
  }
  return status;
}

}  // namespace
CORVEX_COMMAND(info, "FILE... [--json]", "print the parameter record of image files", RunInfo);
}  // namespace corvex::tool
