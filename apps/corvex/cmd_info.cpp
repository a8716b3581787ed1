// corvex info FILE... : the parameter record of each file, read without decoding the pixels.
#include <cstdio>

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
