// The registry of file formats: the built-in table and the look-ups by type and extension.
#include <algorithm>
#include <cctype>

#include "corvex/io/CorvexIO.h"

namespace corvex {

std::vector<std::unique_ptr<TCXFileFormatInfo>> cxgFileFormats;

namespace {

void AddBuiltIn(int type, const char* name, const char* ext) {
  auto info = std::make_unique<TCXFileFormatInfo>();
  info->FileType = type;
  info->FullName = name;
  info->Extension = ext;
  cxgFileFormats.push_back(std::move(info));
}

const bool kBuiltInsRegistered = [] {
  AddBuiltIn(ioTIFF, "TIFF Bitmap", "TIF;TIFF");
  AddBuiltIn(ioGIF, "CompuServe Bitmap", "GIF");
  AddBuiltIn(ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE");
  AddBuiltIn(ioPCX, "PaintBrush", "PCX");
  AddBuiltIn(ioBMP, "Windows Bitmap", "BMP;DIB;RLE");
  AddBuiltIn(ioICO, "Windows Icon", "ICO");
  AddBuiltIn(ioCUR, "Windows Cursor", "CUR");
  AddBuiltIn(ioPNG, "Portable Network Graphics", "PNG");
  AddBuiltIn(ioWMF, "Windows Metafile", "WMF");
  AddBuiltIn(ioEMF, "Enhanced Windows Metafile", "EMF");
  AddBuiltIn(ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX");
  return true;
}();

std::vector<std::string> SplitExtensions(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t semi = list.find(';', start);
    const size_t end = semi == std::string::npos ? list.size() : semi;
    if (end > start) out.push_back(list.substr(start, end - start));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

}  // namespace

TCXFileFormatInfo* CXFileFormatGetInfo(int FileType) {
  (void)kBuiltInsRegistered;
  for (auto& info : cxgFileFormats)
    if (info->FileType == FileType) return info.get();
  return nullptr;
}

int CXFileFormatGetExtCount(int FileType) {
  const TCXFileFormatInfo* info = CXFileFormatGetInfo(FileType);
  return info ? static_cast<int>(SplitExtensions(info->Extension).size()) : 0;
}

std::string CXFileFormatGetExt(int FileType, int Index) {
  const TCXFileFormatInfo* info = CXFileFormatGetInfo(FileType);
  if (info == nullptr || Index < 0) return {};
  const auto exts = SplitExtensions(info->Extension);
  return Index < static_cast<int>(exts.size()) ? exts[size_t(Index)] : std::string();
}

TCXFileFormatInfo* CXFileFormatGetInfo2(const std::string& Ext) {
  std::string e = Ext;
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  for (auto& info : cxgFileFormats)
    for (const std::string& x : SplitExtensions(info->Extension))
      if (SameText(x, e)) return info.get();
  return nullptr;
}

void CXFileFormatAdd(const TCXFileFormatInfo& Info) {
  auto copy = std::make_unique<TCXFileFormatInfo>(Info);
  if (copy->FullName.size() > 80) copy->FullName.resize(80);
  if (copy->Extension.size() > 80) copy->Extension.resize(80);
  cxgFileFormats.push_back(std::move(copy));
}

void CXFileFormatRemove(int FileType) {
  auto it = std::find_if(cxgFileFormats.begin(), cxgFileFormats.end(),
                         [&](const auto& info) { return info->FileType == FileType; });
  if (it != cxgFileFormats.end()) cxgFileFormats.erase(it);
}

}  // namespace corvex
