// TGA writing: 1-bit grey, 4 and 8-bit colour-mapped (palettes from a colour quantizer), 8-bit
// grey and 24-bit true colour, raw or run-length encoded, followed by the extension area and the
// version 2.0 footer.
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/cxtgafil.h"
#include "corvex/io/codecs/cxtgafil_pvt.h"

namespace corvex {

using namespace tga;

namespace {

// Run-length packets of one row of n pixels of ub bytes: runs of 2 to 128 equal pixels, and raw
// stretches of up to 128 pixels in which no pixel equals the next. Packets never span rows.
void EncodeRow(const uint8_t* p, size_t n, size_t ub, std::vector<uint8_t>& out) {
  auto same = [&](size_t a, size_t b) { return std::memcmp(p + a * ub, p + b * ub, ub) == 0; };
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && same(i, i + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), p + i * ub, p + (i + 1) * ub);
      i += run;
      continue;
    }
    size_t j = i + 1;
    while (j < n && j - i < 128 && !(j + 1 < n && same(j, j + 1))) ++j;
    out.push_back(static_cast<uint8_t>(j - i - 1));
    out.insert(out.end(), p + i * ub, p + j * ub);
    i = j;
  }
}

// A ratio as a 16-bit numerator over 10000, the denominator lowered by tens as far as a large
// value needs so that the numerator fits; values the field cannot hold are limited to 65535.
// Zero, negative and undefined values are written as 0 (not given).
void PutRatio(uint8_t* p, double v) {
  unsigned num = 0, den = 0;
  if (v > 0 && std::isfinite(v)) {
    int64_t d = 10000;
    while (d > 1 && v * double(d) >= 65536.0) d /= 10;
    num = static_cast<unsigned>(std::min<int64_t>(Trunc64(v * double(d)), 65535));
    den = static_cast<unsigned>(d);
  }
  Put16(p, num);
  Put16(p + 2, den);
}

void PutText(uint8_t* p, const std::string& s) {
  std::memcpy(p, s.data(), std::min<size_t>(s.size(), kExtTextSize - 1));  // the rest stays zero
}

void Encode(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetEmpty() || Bitmap->GetWidth() > 65535 || Bitmap->GetHeight() > 65535)
    return ProgressFail(Progress);
  const TPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf != pf24bit && pf != pf1bit) return ProgressFail(Progress);
  const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  TProgressRec quiet;  // conversions share the abort flag and report nothing
  quiet.Aborting = Progress.Aborting;

  int depth = 24;
  if (Params.SamplesPerPixel == 1 && (Params.BitsPerSample == 1 || Params.BitsPerSample == 4 || Params.BitsPerSample == 8))
    depth = Params.BitsPerSample;
  const TBitmap* src = Bitmap;
  std::unique_ptr<TBitmap> converted;
  TRGB palette[256] = {};
  palette[1] = CreateRGB(255, 255, 255);  // a 1-bit source: black, white
  std::unique_ptr<TCXQuantizer> quantizer;
  if (depth == 1) {
    if (pf == pf24bit) {
      TRGB c0{}, c1{};
      converted.reset(_ConvertTo1bit(Bitmap, c0, c1));
      if (!converted) {
        converted = std::make_unique<TBitmap>();
        converted->Assign(Bitmap);
        _ConvertToBWOrdered(converted.get(), quiet);
      }
      src = converted.get();
    }
    Params.TGA_Compressed = false;
  } else if (depth == 4 || depth == 8) {
    const int colours = 1 << depth;
    if (pf == pf24bit) quantizer = std::make_unique<TCXQuantizer>(Bitmap, palette, colours, colours, -1, 0);
    Params.ColorMap.assign(palette, palette + colours);
    if (depth == 4) Params.TGA_Compressed = false;
  }
  const int srcBits = src->GetPixelFormat() == pf1bit ? 1 : 24;
  const bool grey = depth == 8 && Params.TGA_GrayLevel;
  const bool hasMap = depth == 4 || (depth == 8 && !grey);
  const bool rle = Params.TGA_Compressed;
  const int type = (depth == 1 || grey ? kGrey : hasMap ? kColorMapped : kTrueColor) + (rle ? kRle : 0);

  const int64_t start = Stream->GetPosition();
  const std::string description = Params.TGA_Description.substr(0, 254);
  uint8_t h[kHeaderSize] = {};
  h[kOffIdLength] = static_cast<uint8_t>(description.size() + 1);
  h[kOffColorMapType] = hasMap ? 1 : 0;
  h[kOffImageType] = static_cast<uint8_t>(type);
  if (hasMap) {
    Put16(h + kOffMapLength, 1u << depth);
    h[kOffMapEntrySize] = 24;
  }
  Put16(h + kOffXOrigin, unsigned(Params.TGA_XPos) & 0xFFFF);
  Put16(h + kOffYOrigin, unsigned(Params.TGA_YPos) & 0xFFFF);
  Put16(h + kOffWidth, unsigned(width));
  Put16(h + kOffHeight, unsigned(height));
  h[kOffPixelDepth] = static_cast<uint8_t>(depth);
  h[kOffDescriptor] = kDescTopFirst;
  Stream->WriteBuffer(h, kHeaderSize);
  Stream->WriteBuffer(description.c_str(), int64_t(description.size()) + 1);
  if (hasMap) Stream->WriteBuffer(palette, int64_t(sizeof(TRGB)) << depth);  // blue, green, red

  ProgressBegin(Progress, height);
  const size_t rowBytes = depth == 24 ? size_t(width) * 3 : depth == 8 ? size_t(width)
                          : depth == 4 ? (size_t(width) + 1) / 2 : (size_t(width) + 7) / 8;
  std::vector<uint8_t> row(rowBytes), out;
  out.reserve(rowBytes + rowBytes / 64 + 8);
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    const uint8_t* s = src->ScanLine(y);
    if (depth == srcBits) {
      std::memcpy(row.data(), s, rowBytes);
      if (depth == 1) row[rowBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (((width - 1) & 7) + 1));
    } else {
      _ConvertXBitsToYBits(s, row.data(), uint16_t(srcBits), uint16_t(depth), uint16_t(width), palette, 255,
                           quantizer.get());
    }
    if (grey)
      for (uint8_t& v : row) v = static_cast<uint8_t>(_RGBToGray(palette[v]));
    if (rle) {
      out.clear();
      EncodeRow(row.data(), depth == 24 ? size_t(width) : rowBytes, depth == 24 ? 3 : 1, out);
      Stream->WriteBuffer(out.data(), int64_t(out.size()));
    } else {
      Stream->WriteBuffer(row.data(), int64_t(rowBytes));
    }
    ProgressReport(Progress, Trunc(Progress.PercentPerUnit * (y + 1)));
    if (ProgressAborting(Progress)) return;  // the rows so far, without the footer
  }

  // The extension area, then the footer that points at it.
  uint8_t e[kExtensionSize] = {};
  Put16(e + kExtSize, kExtensionSize);
  PutText(e + kExtAuthor, Params.TGA_Author);
  int year, month, day, hour, minute, second;
  DecodeDateTime(Params.TGA_Date, year, month, day, hour, minute, second);
  const int stamp[6] = {month, day, year, hour, minute, second};
  for (int i = 0; i < 6; ++i) Put16(e + kExtDate + 2 * i, unsigned(stamp[i]));
  PutText(e + kExtJobName, Params.TGA_ImageName);
  e[kExtKeyColor + 1] = Params.TGA_Background.r;
  e[kExtKeyColor + 2] = Params.TGA_Background.g;
  e[kExtKeyColor + 3] = Params.TGA_Background.b;
  PutRatio(e + kExtAspect, Params.TGA_AspectRatio);
  PutRatio(e + kExtGamma, Params.TGA_Gamma);
  const int64_t extOffset = Stream->GetPosition() - start;
  Stream->WriteBuffer(e, kExtensionSize);
  uint8_t f[kFooterSize] = {};
  Put32(f, static_cast<uint32_t>(extOffset));
  std::memcpy(f + 8, kSignature, sizeof kSignature);
  Stream->WriteBuffer(f, kFooterSize);
}

}  // namespace

void WriteTGAStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  try {
    Encode(Stream, Bitmap, Params, Progress);
  } catch (const std::exception&) {
    ProgressFail(Progress);  // the stream refused the data, or memory
  }
}

}  // namespace corvex
