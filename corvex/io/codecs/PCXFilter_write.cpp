// PCX writing: 1 bit (two colours kept, or an ordered dither), 4 and 8 bits through a colour
// quantizer, 24 bits as three planes; raw or run-length encoded.
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/PCXFilter.h"
#include "corvex/io/codecs/PCXFilter_pvt.h"

namespace corvex {

using namespace pcx;

namespace {

// Appends the run-length coding of n bytes: runs of up to 63 equal bytes become a count byte
// and the value, and so does a single value of 192 or more (it would read as a count).
void EncodeRun(const uint8_t* p, size_t n, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < n) {
    const uint8_t v = p[i];
    size_t run = 1;
    while (i + run < n && p[i + run] == v && run < kMaxRun) ++run;
    if (run > 1 || v >= kRunFlag) out.push_back(static_cast<uint8_t>(kRunFlag | run));
    out.push_back(v);
    i += run;
  }
}

// The depth written: 1 when BitsPerSample is 1, otherwise BitsPerSample x SamplesPerPixel
// brought to the nearest depth PCX offers at or above it (24 for anything past 8 or senseless).
int DepthOf(const TIOParamsVals& P) {
  if (P.BitsPerSample == 1) return 1;
  const int64_t d = int64_t(P.BitsPerSample) * P.SamplesPerPixel;
  if (d >= 2 && d <= 4) return 4;
  if (d >= 5 && d <= 8) return 8;
  return 24;
}

void Encode(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetEmpty() || Bitmap->GetWidth() > 65536 || Bitmap->GetHeight() > 65536)
    return ProgressFail(Progress);
  const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  // Conversions share the caller's abort flag but report nothing.
  TProgressRec quiet;
  quiet.Aborting = Progress.Aborting;

  // The source in the layout the depth needs: 1-bit for depth 1, 24-bit for the others.
  const int depth = DepthOf(Params);
  const TBitmap* src = Bitmap;
  std::unique_ptr<TBitmap> converted;
  TRGB colour0 = CreateRGB(0, 0, 0), colour1 = CreateRGB(255, 255, 255);
  const TPixelFormat pf = Bitmap->GetPixelFormat();
  std::unique_ptr<TBitmap> as24;
  if (pf != pf24bit && pf != pf1bit) {
    as24 = std::make_unique<TBitmap>();
    as24->Assign(Bitmap);
    as24->SetPixelFormat(pf24bit);
    src = as24.get();
  }
  if (depth == 1) {
    if (src->GetPixelFormat() != pf1bit) {
      TRGB c0{}, c1{};
      converted.reset(_ConvertTo1bit(src, c0, c1));
      if (converted) {
        colour0 = c0;
        colour1 = c1;
      } else {
        converted = std::make_unique<TBitmap>();
        converted->Assign(src);
        _ConvertToBWOrdered(converted.get(), quiet);
      }
      src = converted.get();
    }
  } else if (src->GetPixelFormat() == pf1bit) {
    converted = std::make_unique<TBitmap>();
    _Conv1to24(src, converted.get(), quiet);
    src = converted.get();
  }

  uint8_t h[kHeaderSize] = {};
  h[kOffManufacturer] = kManufacturer;
  h[kOffVersion] = static_cast<uint8_t>(Params.PCX_Version);
  const bool rle = Params.PCX_Compression != ioPCX_UNCOMPRESSED;
  h[kOffEncoding] = rle ? 1 : 0;
  Put16(h + kOffXMax, unsigned(width - 1));
  Put16(h + kOffYMax, unsigned(height - 1));
  Put16(h + kOffHRes, unsigned(ilimit(Params.DpiX, 0, 65535)));
  Put16(h + kOffVRes, unsigned(ilimit(Params.DpiY, 0, 65535)));
  Put16(h + kOffPaletteInfo, depth == 24 ? 0 : 1);

  int bits = 8, planes = 1;
  size_t samples = 0;  // bytes of one plane line before padding
  TRGB palette[256] = {};
  std::unique_ptr<TCXQuantizer> quantizer;
  switch (depth) {
    case 1:
      bits = 1;
      samples = (size_t(width) + 7) / 8;
      palette[0] = colour0;
      palette[1] = colour1;
      break;
    case 4:
      bits = 4;
      samples = (size_t(width) + 1) / 2;
      quantizer = std::make_unique<TCXQuantizer>(src, palette, 16, 16, -1, 0);
      break;
    case 8:
      samples = size_t(width);
      quantizer = std::make_unique<TCXQuantizer>(src, palette, 256, 256, -1, 0);
      break;
    default:
      planes = 3;
      samples = size_t(width);
      break;
  }
  const size_t bytesPerLine = samples + (samples & 1);  // always even
  h[kOffBitsPerPixel] = static_cast<uint8_t>(bits);
  h[kOffPlanes] = static_cast<uint8_t>(planes);
  Put16(h + kOffBytesPerLine, unsigned(bytesPerLine));
  if (depth == 1 || depth == 4)
    for (int i = 0; i < 16; ++i) {
      h[kOffPalette + 3 * i] = palette[i].r;
      h[kOffPalette + 3 * i + 1] = palette[i].g;
      h[kOffPalette + 3 * i + 2] = palette[i].b;
    }
  Stream->WriteBuffer(h, kHeaderSize);

  ProgressBegin(Progress, height);
  std::vector<uint8_t> line(bytesPerLine * size_t(planes)), out;
  out.reserve(line.size() * 2 + 8);
  const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> (((width - 1) & 7) + 1));
  for (int y = 0; y < height; ++y) {
    if (ProgressUnit(Progress, y)) return;  // aborted: the rows so far, no palette
    std::fill(line.begin(), line.end(), 0);
    const uint8_t* row = src->ScanLine(y);
    const TRGB* px = reinterpret_cast<const TRGB*>(row);
    switch (depth) {
      case 1:
        std::memcpy(line.data(), row, samples);
        line[samples - 1] &= lastMask;
        break;
      case 4:
        for (int x = 0; x < width; ++x)
          line[size_t(x) >> 1] |= static_cast<uint8_t>((quantizer->GetRGBIndex(px[x]) & 15) << ((x & 1) ? 0 : 4));
        break;
      case 8:
        for (int x = 0; x < width; ++x) line[size_t(x)] = static_cast<uint8_t>(quantizer->GetRGBIndex(px[x]));
        break;
      default:
        for (int x = 0; x < width; ++x) {
          line[size_t(x)] = px[x].r;
          line[bytesPerLine + size_t(x)] = px[x].g;
          line[2 * bytesPerLine + size_t(x)] = px[x].b;
        }
        break;
    }
    if (!rle) {
      Stream->WriteBuffer(line.data(), int64_t(line.size()));
      continue;
    }
    out.clear();
    for (int p = 0; p < planes; ++p) {
      EncodeRun(line.data() + size_t(p) * bytesPerLine, samples, out);
      if (bytesPerLine != samples) out.push_back(0);  // the padding byte, as a literal
    }
    Stream->WriteBuffer(out.data(), int64_t(out.size()));
  }

  if (depth == 8 && !ProgressAborting(Progress)) {
    uint8_t tail[1 + kTrailingPaletteSize];
    tail[0] = kPaletteMarker;
    for (int i = 0; i < 256; ++i) {
      tail[1 + 3 * i] = palette[i].r;
      tail[2 + 3 * i] = palette[i].g;
      tail[3 + 3 * i] = palette[i].b;
    }
    Stream->WriteBuffer(tail, sizeof tail);
  }
}

}  // namespace

void WritePcxStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  try {
    Encode(Stream, Bitmap, Params, Progress);
  } catch (const std::exception&) {
    ProgressFail(Progress);  // the stream refused the data, or memory
  }
}

void WritePcx(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  TFileStream f(FileName, fmCreate);
  f.SetSize(0);
  WritePcxStream(&f, Bitmap, Params, Progress);
  try {
    f.Flush();
  } catch (const std::exception&) {
    ProgressFail(Progress);
  }
}

}  // namespace corvex
