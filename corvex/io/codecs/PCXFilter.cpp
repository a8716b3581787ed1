// PCX reading. The header is checked whole before anything is allocated; the data is read into
// memory once and decoded plane line by plane line through a bounded run-length decoder.
#include "corvex/io/codecs/PCXFilter.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "corvex/io/codecs/PCXFilter_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

using namespace pcx;

namespace {

// The pixel layouts the reader decodes, named by bits per pixel and planes.
enum class Layout {
  Bits1,        // 1 bit, 1 plane: copied to a 1-bit row
  Bits2,        // 2 bits, 1 plane: four pixels per byte, 4-entry header palette
  Bits4,        // 4 bits, 1 plane: two pixels per byte, 16-entry header palette
  Bits8,        // 8 bits, 1 plane: 256-colour palette
  Planar,       // 1 bit, 2 to 4 planes: index bits spread over the planes, header palette
  Rgb,          // 8 bits, 3 planes (or 4, the fourth being alpha): red, green, blue planes
  Unsupported,
};

Layout LayoutOf(int bits, int planes) {
  if (planes == 1) {
    switch (bits) {
      case 1: return Layout::Bits1;
      case 2: return Layout::Bits2;
      case 4: return Layout::Bits4;
      case 8: return Layout::Bits8;
      default: return Layout::Unsupported;
    }
  }
  if (bits == 1 && planes >= 2 && planes <= 4) return Layout::Planar;
  if (bits == 8 && (planes == 3 || planes == 4)) return Layout::Rgb;
  return Layout::Unsupported;
}

// Run-length or raw decoding of plane lines from the stream, read in chunks (a whole-file buffer
// would cost as much as the image in memory and page faults). A run that passes the end of a
// line continues at the start of the next line decoded, as writers that do not break runs at
// line ends expect. Reads never pass the Size bytes that belong to the image.
class LineDecoder {
 public:
  LineDecoder(TStream* Stream, int64_t Size, bool Rle)
      : stream_(Stream), left_(Size), rle_(Rle), buf_(static_cast<size_t>(std::min<int64_t>(Size, kChunk)) + 1) {}

  // Fills n bytes; false when the data ended first (the rest of the line is then zero).
  bool Line(uint8_t* out, size_t n) {
    size_t i = 0;
    if (!rle_) {
      while (i < n) {
        if (p_ == end_ && !Refill()) {
          std::memset(out + i, 0, n - i);
          return false;
        }
        const size_t k = std::min(n - i, static_cast<size_t>(end_ - p_));
        std::memcpy(out + i, p_, k);
        p_ += k;
        i += k;
      }
      return true;
    }
    // The state in locals: the byte stores below may alias the members, which would otherwise
    // be reloaded after every byte.
    const uint8_t* p = p_;
    const uint8_t* end = end_;
    size_t run = run_;
    uint8_t value = value_;
    bool ok = true;
    while (i < n) {
      if (run > 0) {
        const size_t k = n - i < run ? n - i : run;
        if (k < 16) {
          for (size_t j = 0; j < k; ++j) out[i + j] = value;
        } else {
          std::memset(out + i, value, k);
        }
        i += k;
        run -= k;
        continue;
      }
      if (p == end) {
        p_ = p;
        if (!Refill()) {
          ok = false;
          break;
        }
        p = p_;
        end = end_;
      }
      // Literal bytes, as many as come in a row.
      const uint8_t* const stop = p + std::min(n - i, static_cast<size_t>(end - p));
      while (p < stop && *p < kRunFlag) out[i++] = *p++;
      if (i == n || p == end) continue;
      const uint8_t b = *p++;
      if (p == end) {
        p_ = p;
        if (!Refill()) {
          ok = false;
          break;
        }
        p = p_;
        end = end_;
      }
      value = *p++;
      run = b & 0x3F;  // a count of 0 repeats nothing
    }
    p_ = p;
    end_ = end;
    run_ = run;
    value_ = value;
    if (!ok) {
      std::memset(out + i, 0, n - i);
      return false;
    }
    return true;
  }

 private:
  static constexpr int64_t kChunk = 256 * 1024;

  bool Refill() {
    if (left_ <= 0) return false;
    const int64_t got = stream_->Read(buf_.data(), std::min<int64_t>(left_, kChunk));
    if (got <= 0) {
      left_ = 0;
      return false;
    }
    left_ -= got;
    p_ = buf_.data();
    end_ = p_ + got;
    return true;
  }

  TStream* stream_;
  int64_t left_;
  bool rle_;
  std::vector<uint8_t> buf_;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  size_t run_ = 0;
  uint8_t value_ = 0;
};

bool IsColor(const TRGB& c, uint8_t v) { return c.r == v && c.g == v && c.b == v; }

void Decode(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t Size, TProgressRec& Progress,
            bool Preview) {
  const int64_t start = Stream->GetPosition();
  const int64_t available = Stream->GetSize() - start;
  if (Size < 0 || Size > available) Size = available;

  uint8_t h[kHeaderSize];
  if (Size < kHeaderSize || Stream->Read(h, kHeaderSize) != kHeaderSize) return ProgressFail(Progress);
  const int bits = h[kOffBitsPerPixel];
  const int planes = h[kOffPlanes];
  const int encoding = h[kOffEncoding];
  if (h[kOffManufacturer] != kManufacturer || bits > 8 || (encoding != 0 && encoding != 1))
    return ProgressFail(Progress);

  // Everything the decoding relies on is checked here, before the record is touched.
  const Layout layout = LayoutOf(bits, planes);
  const int width = Get16(h + kOffXMax) - Get16(h + kOffXMin) + 1;
  const int height = Get16(h + kOffYMax) - Get16(h + kOffYMin) + 1;
  const size_t bytesPerLine = Get16(h + kOffBytesPerLine);
  const size_t neededPerLine = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 7) / 8;
  if (layout == Layout::Unsupported || !CXImageSizeAllowed(width, height) || bytesPerLine < neededPerLine)
    return ProgressFail(Progress);

  // Header palette (16 entries) and, for 8-bit images, the 256-colour palette at the end. A file
  // too short to hold that palette gets a grey ramp.
  TRGB pal16[16];
  for (int i = 0; i < 16; ++i)
    pal16[i] = CreateRGB(h[kOffPalette + 3 * i], h[kOffPalette + 3 * i + 1], h[kOffPalette + 3 * i + 2]);
  std::vector<TRGB> pal256;
  if (layout == Layout::Bits8) {
    pal256.resize(256);
    for (int i = 0; i < 256; ++i) pal256[size_t(i)] = CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i));
    if (Size >= kHeaderSize + kTrailingPaletteSize) {
      uint8_t raw[kTrailingPaletteSize];
      Stream->SetPosition(start + Size - kTrailingPaletteSize);
      if (Stream->Read(raw, kTrailingPaletteSize) == kTrailingPaletteSize)
        for (int i = 0; i < 256; ++i) pal256[size_t(i)] = CreateRGB(raw[3 * i], raw[3 * i + 1], raw[3 * i + 2]);
      Stream->SetPosition(start + kHeaderSize);
    }
  }

  Params.BitsPerSample = bits;
  Params.SamplesPerPixel = planes;
  Params.Width = width;
  Params.Height = height;
  Params.PCX_Version = h[kOffVersion];
  Params.PCX_Compression = encoding != 0 ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
  Params.DpiX = Get16(h + kOffHRes);
  Params.DpiY = Get16(h + kOffVRes);
  if (Params.DpiX == 0 || Params.DpiY == 0) {
    Params.DpiX = gSystemDPIX;
    Params.DpiY = gSystemDPIY;
  }
  Params.ColorMap.clear();
  switch (layout) {
    case Layout::Bits8: Params.ColorMap = pal256; break;
    case Layout::Planar:
      // Index bits spread over the planes: a palette image of planes bits per pixel.
      Params.BitsPerSample = planes;
      Params.SamplesPerPixel = 1;
      Params.ColorMap.assign(pal16, pal16 + (1 << planes));
      break;
    case Layout::Bits1:
    case Layout::Bits2:
    case Layout::Bits4: Params.ColorMap.assign(pal16, pal16 + (1 << bits)); break;
    default: break;  // true colour has no palette
  }
  if (Preview || Bitmap == nullptr) return;
  // A run gives at most 63 bytes for 2 stored.
  if (!CXDataCanHold(Size - kHeaderSize, int64_t(bytesPerLine) * planes * height, encoding != 0 ? 32 : 1))
    return ProgressFail(Progress);

  // The data: everything after the header that belongs to the image. However decoding ends,
  // the stream is left after it.
  struct AtEnd {
    TStream* s;
    int64_t pos;
    ~AtEnd() {
      try {
        s->SetPosition(pos);
      } catch (const std::exception&) {
      }
    }
  } atEnd{Stream, start + Size};

  const bool oneBit = layout == Layout::Bits1;
  Bitmap->Allocate(width, height, oneBit ? pf1bit : pf24bit);
  ProgressBegin(Progress, height);

  // A 1-bit file whose palette is white then black stores its black pixels as 1s.
  const bool invert = oneBit && IsColor(pal16[0], 255) && IsColor(pal16[1], 0);
  const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> (((width - 1) & 7) + 1));

  LineDecoder decoder(Stream, Size - kHeaderSize, encoding != 0);
  std::vector<uint8_t> line(bytesPerLine * static_cast<size_t>(planes));
  for (int y = 0; y < height; ++y) {
    if (ProgressUnit(Progress, y)) return;
    bool complete = true;
    for (int p = 0; p < planes; ++p) complete = decoder.Line(line.data() + size_t(p) * bytesPerLine, bytesPerLine) && complete;

    uint8_t* row = Bitmap->ScanLine(y);
    TRGB* px = reinterpret_cast<TRGB*>(row);
    const uint8_t* l = line.data();
    switch (layout) {
      case Layout::Bits1: {
        const size_t n = neededPerLine;
        for (size_t i = 0; i < n; ++i) row[i] = invert ? static_cast<uint8_t>(~l[i]) : l[i];
        row[n - 1] &= lastMask;
        break;
      }
      case Layout::Bits2:
        for (int x = 0; x < width; ++x) px[x] = pal16[(l[x >> 2] >> (6 - 2 * (x & 3))) & 3];
        break;
      case Layout::Bits4:
        for (int x = 0; x < width; ++x) px[x] = pal16[(x & 1) ? l[x >> 1] & 15 : l[x >> 1] >> 4];
        break;
      case Layout::Bits8:
        for (int x = 0; x < width; ++x) px[x] = pal256[l[x]];
        break;
      case Layout::Planar:
        for (int x = 0; x < width; ++x) {
          const int shift = 7 - (x & 7);
          int index = 0;
          for (int p = 0; p < planes; ++p) index |= ((l[size_t(p) * bytesPerLine + size_t(x >> 3)] >> shift) & 1) << p;
          px[x] = pal16[index];
        }
        break;
      case Layout::Rgb: {
        const uint8_t* r = l;
        const uint8_t* g = l + bytesPerLine;
        const uint8_t* b = l + 2 * bytesPerLine;
        for (int x = 0; x < width; ++x) px[x] = TRGB{b[x], g[x], r[x]};
        break;
      }
      case Layout::Unsupported: break;
    }
    if (!complete) return ProgressFail(Progress);  // the data ended inside this row
  }
}

}  // namespace

void ReadPcxStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t Size, TProgressRec& Progress,
                   bool Preview) {
  try {
    Decode(Stream, Bitmap, Params, Size, Progress, Preview);
  } catch (const std::exception&) {
    ProgressFail(Progress);  // a stream that fails, or memory for the image
  }
}

void ReadPcx(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  TFileStream f(FileName, fmOpenRead);
  ReadPcxStream(&f, Bitmap, Params, f.GetSize(), Progress, false);
}

}  // namespace corvex
