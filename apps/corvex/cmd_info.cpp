// corvex info FILE... : the parameter record of each file, read without decoding the pixels.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/numbers.h"
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


// A video: its size, rate and frame count; with All each frame's size and delay.
int AVIInfo(const std::string& file, bool json, bool all) {
  TAVIReader avi;
  if (!avi.Open(file)) return Fail(kFailed, file + ": cannot read it as a video (" + avi.GetError() + ")");
  const TAVIStreamInfo& info = avi.GetInfo();
  const int delay = AVIRateKnown(info) ? Trunc(1000.0 * info.Scale / info.Rate) : 0;
  if (json) {
    std::printf("{\"Description\":\"AVI video\",\"ImageCount\":%d,\"Width\":%d,\"Height\":%d,\"Rate\":%u,\"Scale\":%u}\n",
                info.Length, info.Width, info.Height, info.Rate, info.Scale);
  } else {
    std::printf("Description: AVI video\nImageCount: %d\nWidth: %d\nHeight: %d\nRate: %u/%u frames per second\n",
                info.Length, info.Width, info.Height, info.Rate, info.Scale);
  }
  if (all && !json)
    for (int i = 0; i < info.Length; ++i) std::printf("Image %d: %dx%d, delay %d ms\n", i, info.Width, info.Height, delay);
  return kOk;
}

// The file's description. A TIFF page whose compression the parameter record has no value for
// (Deflate, LZMA, Zstandard, WebP ...) reads there as uncompressed: it is named from the file.
std::string Description(const std::string& file, const TIOParamsVals& p) {
  std::string s = p.GetFileTypeStr();
  if (p.FileType != ioTIFF) return s;
  int compression = -1;
  try {
    TFileStream f(file, fmOpenRead | fmShareDenyWrite);
    compression = _TIFFPageCompressionStream(&f, p.TIFF_ImageIndex);
  } catch (const std::exception&) {
    return s;
  }
  const std::string name = compression < 0 ? std::string() : TIFFCompressionName(compression);
  if (name.empty()) return s;
  const std::string plain = " Uncompressed";
  if (s.size() >= plain.size() && s.compare(s.size() - plain.size(), plain.size(), plain) == 0)
    s.resize(s.size() - plain.size());
  return s + " " + name;
}

// The size and delay of every image of a GIF or TIFF, read without decoding the pixels.
void ImagesInfo(const std::string& file, int type, int count) {
  for (int i = 0; i < count; ++i) {
    TCorvexIO io;
    io.GetParams().GIF_ImageIndex = i;
    io.GetParams().TIFF_ImageIndex = i;
    io.ParamsFromFile(file);
    const TIOParamsVals& p = io.GetParams();
    if (type == ioGIF) std::printf("Image %d: %dx%d, delay %d ms\n", i, p.Width, p.Height, p.GIF_DelayTime * 10);
    else std::printf("Image %d: %dx%d\n", i, p.Width, p.Height);
  }
}

int RunInfo(const std::vector<std::string>& args) {
  bool json = false, all = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--json") json = true;
    else if (a == "--all") all = true;
    else if (!a.empty() && a[0] == '-') return Fail(kUsage, "info: unknown option " + a);
    else files.push_back(a);
  }
  if (files.empty()) return Fail(kUsage, "info: give at least one file (corvex info FILE... [--json] [--all])");
  int status = kOk;
  for (const std::string& file : files) {
    if (IsCXV(file)) {
      if (CXVInfo(file) != kOk) status = kFailed;
      continue;
    }
    TCorvexIO io;
    io.ParamsFromFile(file);
    const TIOParamsVals& p = io.GetParams();
    if (p.FileType == ioUnknown && IsAVIFile(file)) {
      if (AVIInfo(file, json, all) != kOk) status = kFailed;
      if (!json && files.size() > 1) std::printf("\n");
      continue;
    }
    if (p.FileType == ioUnknown) {
      status = Fail(kFailed, file + ": cannot read it as an image (missing, unreadable or of an unknown format)");
      continue;
    }
    // Multi-image files tell how many images they hold.
    const int count = p.FileType == ioGIF ? p.GIF_ImageCount : p.FileType == ioTIFF ? p.TIFF_ImageCount : -1;
    if (json) {
      std::string line = "{\"Description\":" + JsonString(Description(file, p));
      if (count >= 0) line += ",\"ImageCount\":" + std::to_string(count);
      for (const Field& f : Fields()) line += ",\"" + std::string(f.name) + "\":" + JsonValue(p, f);
      std::printf("%s}\n", line.c_str());
    } else {
      std::printf("Description: %s\n", Description(file, p).c_str());
      if (count >= 0) std::printf("ImageCount: %d\n", count);
      for (const Field& f : Fields()) std::printf("%s: %s\n", f.name, FieldValue(p, f).c_str());
      if (all && count > 0) ImagesInfo(file, p.FileType, count);
      if (files.size() > 1) std::printf("\n");
    }
  }
  return status;
}

}  // namespace
CORVEX_COMMAND(info, "FILE... [--json] [--all]",
               "print the parameter record of image files (ImageCount of GIF, TIFF and AVI files; with --all "
               "each image's size and delay)",
               RunInfo);
}  // namespace corvex::tool
