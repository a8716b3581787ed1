#include "apps/corvex/fields.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

namespace corvex::tool {

namespace {

// How to reach each field: its address in a record.
struct Access {
  int* i = nullptr;
  bool* b = nullptr;
  std::string* s = nullptr;
  TRGB* c = nullptr;
  double* d = nullptr;
  uint8_t* e = nullptr;
  std::function<std::string(const TIOParamsVals&)> list;
};

Access AccessOf(TIOParamsVals& p, const std::string& n) {
  Access a;
  static const std::map<std::string, int TIOParamsVals::*> ints = {
      {"BitsPerSample", &TIOParamsVals::BitsPerSample}, {"SamplesPerPixel", &TIOParamsVals::SamplesPerPixel},
      {"Width", &TIOParamsVals::Width}, {"Height", &TIOParamsVals::Height}, {"DpiX", &TIOParamsVals::DpiX},
      {"DpiY", &TIOParamsVals::DpiY}, {"FileType", &TIOParamsVals::FileType},
      {"TIFF_ImageIndex", &TIOParamsVals::TIFF_ImageIndex}, {"TIFF_PlanarConf", &TIOParamsVals::TIFF_PlanarConf},
      {"TIFF_XPos", &TIOParamsVals::TIFF_XPos}, {"TIFF_YPos", &TIOParamsVals::TIFF_YPos},
      {"TIFF_PageNumber", &TIOParamsVals::TIFF_PageNumber}, {"TIFF_PageCount", &TIOParamsVals::TIFF_PageCount},
      {"TIFF_ImageCount", &TIOParamsVals::TIFF_ImageCount}, {"GIF_ImageIndex", &TIOParamsVals::GIF_ImageIndex},
      {"GIF_XPos", &TIOParamsVals::GIF_XPos}, {"GIF_YPos", &TIOParamsVals::GIF_YPos},
      {"GIF_DelayTime", &TIOParamsVals::GIF_DelayTime}, {"GIF_WinWidth", &TIOParamsVals::GIF_WinWidth},
      {"GIF_WinHeight", &TIOParamsVals::GIF_WinHeight}, {"GIF_Ratio", &TIOParamsVals::GIF_Ratio},
      {"GIF_ImageCount", &TIOParamsVals::GIF_ImageCount}, {"JPEG_Quality", &TIOParamsVals::JPEG_Quality},
      {"JPEG_Smooth", &TIOParamsVals::JPEG_Smooth}, {"PCX_Version", &TIOParamsVals::PCX_Version},
      {"ICO_ImageIndex", &TIOParamsVals::ICO_ImageIndex}, {"CUR_ImageIndex", &TIOParamsVals::CUR_ImageIndex},
      {"CUR_XHotSpot", &TIOParamsVals::CUR_XHotSpot}, {"CUR_YHotSpot", &TIOParamsVals::CUR_YHotSpot},
      {"PNG_Compression", &TIOParamsVals::PNG_Compression}, {"TGA_XPos", &TIOParamsVals::TGA_XPos},
      {"TGA_YPos", &TIOParamsVals::TGA_YPos}};
  static const std::map<std::string, bool TIOParamsVals::*> bools = {
      {"GIF_FlagTranspColor", &TIOParamsVals::GIF_FlagTranspColor}, {"GIF_Interlaced", &TIOParamsVals::GIF_Interlaced},
      {"JPEG_OptimalHuffman", &TIOParamsVals::JPEG_OptimalHuffman}, {"JPEG_Progressive", &TIOParamsVals::JPEG_Progressive},
      {"PNG_Interlaced", &TIOParamsVals::PNG_Interlaced}, {"TGA_Compressed", &TIOParamsVals::TGA_Compressed},
      {"TGA_GrayLevel", &TIOParamsVals::TGA_GrayLevel}};
  static const std::map<std::string, std::string TIOParamsVals::*> texts = {
      {"TIFF_DocumentName", &TIOParamsVals::TIFF_DocumentName},
      {"TIFF_ImageDescription", &TIOParamsVals::TIFF_ImageDescription},
      {"TIFF_PageName", &TIOParamsVals::TIFF_PageName}, {"GIF_Version", &TIOParamsVals::GIF_Version},
      {"TGA_Description", &TIOParamsVals::TGA_Description}, {"TGA_Author", &TIOParamsVals::TGA_Author},
      {"TGA_ImageName", &TIOParamsVals::TGA_ImageName}, {"FileName", &TIOParamsVals::FileName}};
  static const std::map<std::string, TRGB TIOParamsVals::*> colours = {
      {"GIF_TranspColor", &TIOParamsVals::GIF_TranspColor}, {"GIF_Background", &TIOParamsVals::GIF_Background},
      {"ICO_Background", &TIOParamsVals::ICO_Background}, {"CUR_Background", &TIOParamsVals::CUR_Background},
      {"PNG_Background", &TIOParamsVals::PNG_Background}, {"TGA_Background", &TIOParamsVals::TGA_Background}};
  static const std::map<std::string, double TIOParamsVals::*> floats = {
      {"TGA_Date", &TIOParamsVals::TGA_Date}, {"TGA_AspectRatio", &TIOParamsVals::TGA_AspectRatio},
      {"TGA_Gamma", &TIOParamsVals::TGA_Gamma}};
  if (auto it = ints.find(n); it != ints.end()) a.i = &(p.*(it->second));
  else if (auto it2 = bools.find(n); it2 != bools.end()) a.b = &(p.*(it2->second));
  else if (auto it3 = texts.find(n); it3 != texts.end()) a.s = &(p.*(it3->second));
  else if (auto it4 = colours.find(n); it4 != colours.end()) a.c = &(p.*(it4->second));
  else if (auto it5 = floats.find(n); it5 != floats.end()) a.d = &(p.*(it5->second));
  else if (n == "TIFF_Compression") a.e = reinterpret_cast<uint8_t*>(&p.TIFF_Compression);
  else if (n == "TIFF_PhotometInterpret") a.e = reinterpret_cast<uint8_t*>(&p.TIFF_PhotometInterpret);
  else if (n == "JPEG_ColorSpace") a.e = reinterpret_cast<uint8_t*>(&p.JPEG_ColorSpace);
  else if (n == "JPEG_DCTMethod") a.e = reinterpret_cast<uint8_t*>(&p.JPEG_DCTMethod);
  else if (n == "JPEG_Scale") a.e = reinterpret_cast<uint8_t*>(&p.JPEG_Scale);
  else if (n == "PCX_Compression") a.e = reinterpret_cast<uint8_t*>(&p.PCX_Compression);
  else if (n == "BMP_Version") a.e = reinterpret_cast<uint8_t*>(&p.BMP_Version);
  else if (n == "BMP_Compression") a.e = reinterpret_cast<uint8_t*>(&p.BMP_Compression);
  else if (n == "PNG_Filter") a.e = reinterpret_cast<uint8_t*>(&p.PNG_Filter);
  else if (n == "ColorMap") a.list = [](const TIOParamsVals& q) { return std::to_string(q.GetColorMapCount()) + " colours"; };
  else if (n == "JPEG_MarkerList")
    a.list = [](const TIOParamsVals& q) { return std::to_string(q.JPEG_MarkerList.GetCount()) + " markers"; };
  else if (n == "IPTC_Info")
    a.list = [](const TIOParamsVals& q) { return std::to_string(q.IPTC_Info.GetCount()) + " datasets"; };
  return a;
}

}  // namespace

const std::vector<Field>& Fields() {
  using K = FieldKind;
  static const std::vector<Field> fields = {
      {"FileName", K::Text, {}}, {"FileType", K::Int, {}}, {"BitsPerSample", K::Int, {}},
      {"SamplesPerPixel", K::Int, {}}, {"Width", K::Int, {}}, {"Height", K::Int, {}}, {"DpiX", K::Int, {}},
      {"DpiY", K::Int, {}}, {"ColorMap", K::List, {}},
      {"TIFF_Compression", K::Enum, {"ioTIFF_UNCOMPRESSED", "ioTIFF_CCITT1D", "ioTIFF_G3FAX1D", "ioTIFF_G3FAX2D",
                                     "ioTIFF_G4FAX", "ioTIFF_LZW", "ioTIFF_OLDJPEG", "ioTIFF_JPEG", "ioTIFF_PACKBITS"}},
      {"TIFF_ImageIndex", K::Int, {}},
      {"TIFF_PhotometInterpret", K::Enum, {"ioTIFF_WHITEISZERO", "ioTIFF_BLACKISZERO", "ioTIFF_RGB", "ioTIFF_RGBPALETTE",
                                           "ioTIFF_TRANSPMASK", "ioTIFF_CMYK", "ioTIFF_YCBCR", "ioTIFF_CIELAB"}},
      {"TIFF_PlanarConf", K::Int, {}}, {"TIFF_XPos", K::Int, {}}, {"TIFF_YPos", K::Int, {}},
      {"TIFF_DocumentName", K::Text, {}}, {"TIFF_ImageDescription", K::Text, {}}, {"TIFF_PageName", K::Text, {}},
      {"TIFF_PageNumber", K::Int, {}}, {"TIFF_PageCount", K::Int, {}}, {"TIFF_ImageCount", K::Int, {}},
      {"GIF_Version", K::Text, {}}, {"GIF_ImageIndex", K::Int, {}}, {"GIF_XPos", K::Int, {}}, {"GIF_YPos", K::Int, {}},
      {"GIF_DelayTime", K::Int, {}}, {"GIF_FlagTranspColor", K::Bool, {}}, {"GIF_TranspColor", K::Colour, {}},
      {"GIF_Interlaced", K::Bool, {}}, {"GIF_WinWidth", K::Int, {}}, {"GIF_WinHeight", K::Int, {}},
      {"GIF_Background", K::Colour, {}}, {"GIF_Ratio", K::Int, {}}, {"GIF_ImageCount", K::Int, {}},
      {"JPEG_ColorSpace", K::Enum, {"ioJPEG_RGB", "ioJPEG_GRAYLEV", "ioJPEG_YCbCr", "ioJPEG_CMYK", "ioJPEG_YCbCrK"}},
      {"JPEG_Quality", K::Int, {}}, {"JPEG_DCTMethod", K::Enum, {"ioJPEG_ISLOW", "ioJPEG_IFAST", "ioJPEG_FLOAT"}},
      {"JPEG_OptimalHuffman", K::Bool, {}}, {"JPEG_Smooth", K::Int, {}}, {"JPEG_Progressive", K::Bool, {}},
      {"JPEG_Scale", K::Enum, {"ioJPEG_AUTOCALC", "ioJPEG_FULLSIZE", "ioJPEG_HALF", "ioJPEG_QUARTER", "ioJPEG_EIGHTH"}},
      {"JPEG_MarkerList", K::List, {}}, {"PCX_Version", K::Int, {}},
      {"PCX_Compression", K::Enum, {"ioPCX_UNCOMPRESSED", "ioPCX_RLE"}},
      {"BMP_Version", K::Enum, {"ioBMP_BM", "ioBMP_BM3", "ioBMP_BMOS2V1", "ioBMP_BMOS2V2"}},
      {"BMP_Compression", K::Enum, {"ioBMP_UNCOMPRESSED", "ioBMP_RLE"}}, {"ICO_ImageIndex", K::Int, {}},
      {"ICO_Background", K::Colour, {}}, {"CUR_ImageIndex", K::Int, {}}, {"CUR_XHotSpot", K::Int, {}},
      {"CUR_YHotSpot", K::Int, {}}, {"CUR_Background", K::Colour, {}}, {"PNG_Interlaced", K::Bool, {}},
      {"PNG_Background", K::Colour, {}},
      {"PNG_Filter", K::Enum, {"ioPNG_FILTER_NONE", "ioPNG_FILTER_SUB", "ioPNG_FILTER_PAETH"}},
      {"PNG_Compression", K::Int, {}}, {"TGA_XPos", K::Int, {}}, {"TGA_YPos", K::Int, {}},
      {"TGA_Compressed", K::Bool, {}}, {"TGA_Description", K::Text, {}}, {"TGA_Author", K::Text, {}},
      {"TGA_Date", K::Float, {}}, {"TGA_ImageName", K::Text, {}}, {"TGA_Background", K::Colour, {}},
      {"TGA_AspectRatio", K::Float, {}}, {"TGA_Gamma", K::Float, {}}, {"TGA_GrayLevel", K::Bool, {}},
      {"IPTC_Info", K::List, {}},
  };
  return fields;
}

std::string FieldValue(const TIOParamsVals& p, const Field& f) {
  const Access a = AccessOf(const_cast<TIOParamsVals&>(p), f.name);
  if (a.i) return std::to_string(*a.i);
  if (a.b) return *a.b ? "true" : "false";
  if (a.s) return std::string(a.s->c_str());  // up to a terminating zero (GIF_Version carries one)
  if (a.c) return std::to_string(a.c->r) + "," + std::to_string(a.c->g) + "," + std::to_string(a.c->b);
  if (a.d) {
    std::ostringstream o;
    o << *a.d;
    return o.str();
  }
  if (a.e) return *a.e < f.values.size() ? f.values[*a.e] : std::to_string(*a.e);
  if (a.list) return a.list(p);
  return {};
}

bool SetField(TIOParamsVals& p, const std::string& name, const std::string& value, std::string& error) {
  const Field* f = nullptr;
  for (const Field& x : Fields())
    if (name == x.name) f = &x;
  if (f == nullptr) {
    error = "unknown field '" + name + "'";
    return false;
  }
  const Access a = AccessOf(p, name);
  auto toInt = [&](const std::string& v, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(v.c_str(), &end, 10);
    return !v.empty() && end != nullptr && *end == '\0' && out >= lo && out <= hi;
  };
  long n = 0;
  switch (f->kind) {
    case FieldKind::Int:
      if (!toInt(value, INT32_MIN, INT32_MAX, n)) break;
      *a.i = int(n);
      return true;
    case FieldKind::Bool:
      if (value != "true" && value != "false") break;
      *a.b = value == "true";
      return true;
    case FieldKind::Text:
      *a.s = value;
      return true;
    case FieldKind::Float: {
      char* end = nullptr;
      const double d = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0') break;
      *a.d = d;
      return true;
    }
    case FieldKind::Colour: {
      long c[3];
      std::stringstream ss(value);
      std::string part;
      int k = 0;
      bool ok = true;
      while (std::getline(ss, part, ',')) ok = ok && k < 3 && toInt(part, 0, 255, c[k++]);
      if (!ok || k != 3) break;
      *a.c = CreateRGB(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
      return true;
    }
    case FieldKind::Enum:
      for (size_t i = 0; i < f->values.size(); ++i)
        if (value == f->values[i]) {
          *a.e = uint8_t(i);
          return true;
        }
      break;
    case FieldKind::List:
      error = "field '" + name + "' cannot be set from the command line";
      return false;
  }
  std::string expected;
  switch (f->kind) {
    case FieldKind::Int: expected = "an integer"; break;
    case FieldKind::Bool: expected = "true or false"; break;
    case FieldKind::Float: expected = "a number"; break;
    case FieldKind::Colour: expected = "r,g,b with values 0 to 255"; break;
    default:
      expected = "one of";
      for (const char* v : f->values) expected += std::string(" ") + v;
  }
  error = "value '" + value + "' for " + name + " is not " + expected;
  return false;
}

}  // namespace corvex::tool
