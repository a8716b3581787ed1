// Format detection: the content tests of added formats, then the probes of the built-in ones.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/io/codecs/cxtgafil.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/pngfilt.h"

namespace corvex {

namespace {

// Runs one probe from the start position and puts the position back, whatever happens.
template <class Probe>
bool At(TStream* s, int64_t start, Probe probe) {
  s->SetPosition(start);
  const bool hit = probe();
  s->SetPosition(start);
  return hit;
}

// Up to n bytes from the start, as text ending at the first zero byte.
std::string Text(const uint8_t* head, int64_t got, int n) {
  const int len = int(std::min<int64_t>(got, n));
  const auto* end = std::find(head, head + len, uint8_t{0});
  return std::string(head, end);
}

}  // namespace

int FindStreamFormat(TStream* Stream) {
  if (Stream == nullptr) return ioUnknown;
  int result = ioUnknown;
  int64_t start = 0;
  try {
    start = Stream->GetPosition();
    const int64_t size = Stream->GetSize();
    for (const auto& info : cxgFileFormats) {
      if (info->TryFunction == nullptr) continue;
      if (At(Stream, start, [&] { return info->TryFunction(Stream); })) return result = info->FileType;
    }
    if (At(Stream, start, [&] { return JpegTryStream(Stream); })) return result = ioJPEG;
    uint8_t head[16] = {};
    const int64_t got = Stream->Read(head, 16);
    Stream->SetPosition(start);
    if (size > 12 && Text(head, got, 5) == "JFIF") return result = ioJPEG;  // the 12-byte stream header
    if (size > 13 && got >= 3 && std::memcmp(head, "GIF", 3) == 0) return result = ioGIF;
    if (size > 12 && Text(head, got, 5) == "PCX2") return result = ioPCX;
    if (size > 4 && Text(head, got, 4) == "PCX") return result = ioPCX;
    if (size > 14 && got >= 2 && head[0] == 'B' && head[1] == 'M') return result = ioBMP;
    // A PCX header: maker 10, version 0 .. 5, and (so that a Targa file whose ID field is 10 bytes
    // long is not taken for one) encoding 0 or 1 and 1, 2, 4 or 8 bits per plane.
    if (size > 128 && got >= 4 && head[0] == 10 && head[1] <= 5 && head[2] <= 1 &&
        (head[3] == 1 || head[3] == 2 || head[3] == 4 || head[3] == 8))
      return result = ioPCX;
    if (size > 12 && Text(head, got, 5) == "TIFF") return result = ioTIFF;
    if (size > 8 && got >= 2 && ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M')))
      return result = ioTIFF;
    if (size > 8 && At(Stream, start, [&] { return IsPNGStream(Stream); })) return result = ioPNG;
    if (At(Stream, start, [&] { return ICOTryStream(Stream); })) return result = ioICO;
    if (At(Stream, start, [&] { return CURTryStream(Stream); })) return result = ioCUR;
    if (At(Stream, start, [&] { return TryTGA(Stream); })) return result = ioTGA;
  } catch (...) {
    // An error while probing ends the probing with what was found so far.
  }
  try {
    Stream->SetPosition(start);
  } catch (...) {
  }
  return result;
}

int FindFileFormat(const std::string& FileName, bool VerifyExtension) {
  int type = ioUnknown;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    type = FindStreamFormat(&f);
  } catch (...) {
    return ioUnknown;  // missing or unreadable: no error reaches the caller
  }
  if (VerifyExtension) {
    const size_t dot = FileName.find_last_of('.');
    const size_t slash = FileName.find_last_of('/');
    std::string ext = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : FileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    const TCXFileFormatInfo* info = ext.empty() ? nullptr : CXFileFormatGetInfo2(ext);
    if (info == nullptr || info->FileType != type) return ioUnknown;
  }
  return type;
}

}  // namespace corvex
