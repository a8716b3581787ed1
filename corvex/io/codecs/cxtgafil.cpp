// TGA reading and the content test. Every read goes through one buffered reader that stops at
// the end of the stream; run-length packets are decoded with their state kept from row to row.
#include "corvex/io/codecs/cxtgafil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "corvex/io/codecs/cxtgafil_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

namespace tga {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
// Days between 1899-12-30 (day 0 of the toolkit's date-time) and 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

}  // namespace

bool EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, double& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
  if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59) return false;
  const double date = static_cast<double>(DaysFromCivil(Year, Month, Day) + kUnixEpochDay);
  const double time = (Hour * 3600.0 + Minute * 60.0 + Second) / 86400.0;
  // Before day 0 the time of day counts away from zero, as the toolkit stores it.
  Result = date < 0 ? date - time : date + time;
  return true;
}

void DecodeDateTime(double Value, int& Year, int& Month, int& Day, int& Hour, int& Minute, int& Second) {
  // Outside 0001-01-01 .. 9999-12-31 (the years the toolkit's dates cover) day 0 is taken.
  if (!std::isfinite(Value) || Value <= -693594.0 || Value >= 2958466.0) Value = 0;
  const int64_t days = Trunc64(Value);
  int64_t ms = Round64(std::fabs(Value - static_cast<double>(days)) * 86400000.0);
  if (ms >= 86400000) ms = 86400000 - 1;
  CivilFromDays(days - kUnixEpochDay, Year, Month, Day);
  Hour = static_cast<int>(ms / 3600000);
  Minute = static_cast<int>(ms / 60000 % 60);
  Second = static_cast<int>(ms / 1000 % 60);
}

}  // namespace tga

using namespace tga;

namespace {

// Sequential reads through an 8192-byte buffer, never past the end of the stream.
class BufferedReader {
 public:
  explicit BufferedReader(TStream* Stream) : s_(Stream) {}

  bool Get(uint8_t* out, size_t n) {
    if (n <= len_ - pos_ && n <= 4) {  // a pixel of a run packet: no library call
      for (size_t i = 0; i < n; ++i) out[i] = buf_[pos_ + i];
      pos_ += n;
      return true;
    }
    while (n > 0) {
      if (pos_ == len_ && !Fill()) return false;
      const size_t k = std::min(n, len_ - pos_);
      std::memcpy(out, buf_ + pos_, k);
      pos_ += k;
      out += k;
      n -= k;
    }
    return true;
  }
  bool Byte(uint8_t& b) {
    if (pos_ == len_ && !Fill()) return false;
    b = buf_[pos_++];
    return true;
  }
  bool Skip(size_t n) {
    uint8_t scratch[256];
    while (n > 0) {
      const size_t k = std::min(n, sizeof scratch);
      if (!Get(scratch, k)) return false;
      n -= k;
    }
    return true;
  }

 private:
  bool Fill() {
    const int64_t got = s_->Read(buf_, sizeof buf_);
    pos_ = 0;
    len_ = got > 0 ? static_cast<size_t>(got) : 0;
    return len_ > 0;
  }
  TStream* s_;
  uint8_t buf_[8192];
  size_t pos_ = 0, len_ = 0;
};

bool IsPortableAnymap(const uint8_t* h) {
  return h[0] == 'P' && h[1] >= '2' && h[1] <= '6' && (h[2] == ' ' || h[2] == '#' || h[2] == '\n');
}

// A 5-5-5 value (the top, attribute bit ignored), each channel multiplied by 8.
TRGB From555(unsigned v) {
  return TRGB{static_cast<uint8_t>((v & 0x1F) << 3), static_cast<uint8_t>(((v >> 5) & 0x1F) << 3),
              static_cast<uint8_t>(((v >> 10) & 0x1F) << 3)};
}

// Text of a fixed-size field: up to its first zero byte.
std::string FieldText(const uint8_t* p, size_t n) {
  const void* zero = std::memchr(p, 0, n);
  return std::string(reinterpret_cast<const char*>(p), zero ? static_cast<const uint8_t*>(zero) - p : n);
}

// The version 2.0 footer and extension area, when the stream ends with them.
void ReadExtension(TStream* Stream, int64_t Start, TIOParamsVals& Params) {
  const int64_t end = Stream->GetSize();
  if (end - Start < kHeaderSize + kFooterSize) return;
  uint8_t f[kFooterSize];
  Stream->SetPosition(end - kFooterSize);
  if (Stream->Read(f, kFooterSize) != kFooterSize || std::memcmp(f + 8, kSignature, sizeof kSignature) != 0) return;
  const int64_t offset = Get32(f);
  if (offset == 0 || Start + offset + kExtensionSize > end - kFooterSize) return;
  uint8_t e[kExtensionSize];
  Stream->SetPosition(Start + offset);
  if (Stream->Read(e, kExtensionSize) != kExtensionSize) return;

  Params.TGA_Author = FieldText(e + kExtAuthor, kExtTextSize);
  const int month = Get16(e + kExtDate), day = Get16(e + kExtDate + 2), year = Get16(e + kExtDate + 4);
  double date = 0;
  if (month != 0 && day != 0 && year != 0 &&
      EncodeDateTime(year, month, day, Get16(e + kExtDate + 6), Get16(e + kExtDate + 8), Get16(e + kExtDate + 10), date))
    Params.TGA_Date = date;
  Params.TGA_ImageName = FieldText(e + kExtJobName, kExtTextSize);
  Params.TGA_Background = CreateRGB(e[kExtKeyColor + 1], e[kExtKeyColor + 2], e[kExtKeyColor + 3]);
  const unsigned an = Get16(e + kExtAspect), ad = Get16(e + kExtAspect + 2);
  if (an != 0 && ad != 0) Params.TGA_AspectRatio = double(an) / double(ad);
  const unsigned gn = Get16(e + kExtGamma), gd = Get16(e + kExtGamma + 2);
  if (gn != 0 && gd != 0) Params.TGA_Gamma = double(gn) / double(gd);
}

// Pixel data of one image: raw units, or run-length packets whose state carries over from one
// row to the next (a packet that crosses the end of a row continues on the next one). A unit
// is one pixel, or one byte of 8 (1-bit) or 2 (4-bit) pixels.
class PixelSource {
 public:
  PixelSource(BufferedReader& Reader, bool Rle, size_t UnitBytes) : r_(Reader), rle_(Rle), unit_(UnitBytes) {}

  // Fills n units; false when the data ended first.
  bool Units(uint8_t* out, size_t n) {
    if (!rle_) return r_.Get(out, n * unit_);
    while (n > 0) {
      if (left_ == 0) {
        uint8_t h;
        if (!r_.Byte(h)) return false;
        left_ = (h & 0x7F) + 1u;
        run_ = (h & 0x80) != 0;
        if (run_ && !r_.Get(value_, unit_)) return false;
      }
      const size_t k = std::min(n, left_);
      if (run_ && unit_ == 3) {
        for (size_t i = 0; i < k; ++i) out[3 * i] = value_[0], out[3 * i + 1] = value_[1], out[3 * i + 2] = value_[2];
      } else if (run_) {
        for (size_t i = 0; i < k; ++i) std::memcpy(out + i * unit_, value_, unit_);
      } else if (!r_.Get(out, k * unit_)) {
        return false;
      }
      out += k * unit_;
      n -= k;
      left_ -= k;
    }
    return true;
  }

 private:
  BufferedReader& r_;
  bool rle_;
  size_t unit_;
  size_t left_ = 0;
  bool run_ = false;
  uint8_t value_[4] = {};
};

void Decode(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview) {
  const int64_t start = Stream->GetPosition();
  BufferedReader in(Stream);
  uint8_t h[kHeaderSize];
  if (!in.Get(h, kHeaderSize)) return ProgressFail(Progress);
  const int imageType = h[kOffImageType];
  const int depth = h[kOffPixelDepth];
  const int width = Get16(h + kOffWidth), height = Get16(h + kOffHeight);
  if (!ValidImageType(imageType) || !ValidPixelDepth(depth) || !CXImageSizeAllowed(width, height))
    return ProgressFail(Progress);
  const int baseType = imageType & 3;
  const bool rle = imageType > kRle;

  // The ID field, then the colour map, follow the header.
  uint8_t id[255];
  if (!in.Get(id, h[kOffIdLength])) return ProgressFail(Progress);

  // The internal palette starts as a 3-3-2 colour cube; a colour map overwrites it from its
  // first index on (entries past 255 are read and dropped).
  TRGB palette[256];
  for (int i = 0; i < 256; ++i)
    palette[i] = CreateRGB(uint8_t(32 * (i >> 5) + 28), uint8_t(32 * ((i >> 2) & 7) + 28), uint8_t(64 * (i & 3) + 60));
  const int mapFirst = Get16(h + kOffMapFirst), mapLength = Get16(h + kOffMapLength);
  const int entryBits = h[kOffMapEntrySize];
  const bool hasMap = h[kOffColorMapType] == 1 && mapLength > 0;
  if (hasMap) {
    const size_t entryBytes = (size_t(entryBits) + 7) / 8;
    const bool known = entryBits == 15 || entryBits == 16 || entryBits == 24 || entryBits == 32;
    for (int i = 0; i < mapLength; ++i) {
      uint8_t e[4] = {};
      if (!known) {
        if (!in.Skip(entryBytes)) return ProgressFail(Progress);
        continue;
      }
      if (!in.Get(e, entryBytes)) return ProgressFail(Progress);
      const int index = mapFirst + i;
      if (index > 255) continue;
      palette[index] = entryBytes == 2 ? From555(Get16(e)) : TRGB{e[0], e[1], e[2]};
    }
  }

  // The record: defaults of the extension fields, then the footer's values when there is one.
  Params.TGA_Author.clear();
  Params.TGA_ImageName.clear();
  Params.TGA_Date = CXToday();
  Params.TGA_Background = CreateRGB(0, 0, 0);
  Params.TGA_AspectRatio = 1.0;
  Params.TGA_Gamma = 2.2;
  {
    // The footer is read with direct seeks; the buffered reader keeps its own stream position.
    const int64_t here = Stream->GetPosition();
    ReadExtension(Stream, start, Params);
    Stream->SetPosition(here);
  }
  Params.TGA_XPos = Get16(h + kOffXOrigin);
  Params.TGA_YPos = Get16(h + kOffYOrigin);
  Params.TGA_Description = FieldText(id, h[kOffIdLength]);
  Params.ColorMap.clear();
  if (hasMap) {
    Params.ColorMap.assign(palette, palette + std::min(mapLength, 256));
    Params.TGA_GrayLevel = false;
  } else {
    if (depth == 8 || baseType == kGrey) {
      for (int i = 0; i < 256; ++i) palette[i] = CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i));
    } else if (depth == 1) {
      palette[0] = CreateRGB(0, 0, 0);
      palette[1] = CreateRGB(255, 255, 255);
    }
    Params.TGA_GrayLevel = depth == 8 || baseType == kGrey;
  }
  Params.TGA_Compressed = rle;
  Params.Width = width;
  Params.Height = height;
  Params.DpiX = gSystemDPIX;
  Params.DpiY = gSystemDPIY;
  switch (depth) {
    case 1: Params.BitsPerSample = 1; Params.SamplesPerPixel = 1; break;
    case 4: Params.BitsPerSample = 4; Params.SamplesPerPixel = 1; break;
    case 8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 1; break;
    case 16:
      if (baseType == kGrey) {
        Params.BitsPerSample = 8;  // grey and alpha
        Params.SamplesPerPixel = 2;
      } else if (baseType == kColorMapped) {
        Params.BitsPerSample = 16;
        Params.SamplesPerPixel = 1;
      } else {
        Params.BitsPerSample = 5;
        Params.SamplesPerPixel = 3;
      }
      break;
    case 24: Params.BitsPerSample = 8; Params.SamplesPerPixel = 3; break;
    default: Params.BitsPerSample = 8; Params.SamplesPerPixel = 4; break;
  }
  if (Preview || Bitmap == nullptr) return;
  // A run packet repeats one pixel at most 128 times.
  if (!CXDataCanHold(Stream->GetSize() - start - kHeaderSize, (int64_t(width) * depth + 7) / 8 * height, rle ? 128 : 1))
    return ProgressFail(Progress);

  const bool oneBit = depth == 1;
  Bitmap->Allocate(width, height, oneBit ? pf1bit : pf24bit);
  ProgressBegin(Progress, height);
  const size_t unitBytes = depth >= 16 ? size_t(depth) / 8 : 1;
  const size_t rowUnits = depth == 1 ? (size_t(width) + 7) / 8 : depth == 4 ? (size_t(width) + 1) / 2 : size_t(width);
  const bool topFirst = (h[kOffDescriptor] & kDescTopFirst) != 0;
  const bool mirrored = (h[kOffDescriptor] & kDescRightToLeft) != 0;
  // 1-bit data whose palette is white then black stores black as 1s.
  const bool invert = oneBit && EqualRGB(palette[0], CreateRGB(255, 255, 255)) && EqualRGB(palette[1], CreateRGB(0, 0, 0));

  PixelSource source(in, rle, unitBytes);
  std::vector<uint8_t> raw(rowUnits * unitBytes);
  for (int k = 0; k < height; ++k) {
    std::fill(raw.begin(), raw.end(), 0);
    const bool complete = source.Units(raw.data(), rowUnits);
    uint8_t* row = Bitmap->ScanLine(topFirst ? k : height - 1 - k);
    const uint8_t* p = raw.data();
    if (oneBit) {
      for (int x = 0; x < width; ++x) {
        const int sx = mirrored ? width - 1 - x : x;
        const bool bit = ((p[sx >> 3] >> (7 - (sx & 7))) & 1) != invert;
        if (bit) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    } else if (depth == 24 && !mirrored) {
      std::memcpy(row, p, size_t(width) * 3);  // blue, green, red: the bitmap's own layout
    } else if (depth >= 24) {
      TRGB* px = reinterpret_cast<TRGB*>(row);
      for (int x = 0; x < width; ++x) {
        const uint8_t* q = p + unitBytes * size_t(x);
        px[mirrored ? width - 1 - x : x] = TRGB{q[0], q[1], q[2]};
      }
    } else {
      TRGB* px = reinterpret_cast<TRGB*>(row);
      for (int x = 0; x < width; ++x) {
        TRGB& c = px[mirrored ? width - 1 - x : x];
        switch (depth) {
          case 4: c = palette[(x & 1) ? p[x >> 1] & 15 : p[x >> 1] >> 4]; break;
          case 8: c = palette[p[x]]; break;
          case 16: {
            const unsigned v = Get16(p + 2 * size_t(x));
            if (baseType == kGrey) c = CreateRGB(p[2 * x], p[2 * x], p[2 * x]);
            else if (baseType == kColorMapped) c = v < 256 ? palette[v] : CreateRGB(0, 0, 0);
            else c = From555(v);
            break;
          }
          default: {
            const uint8_t* q = p + unitBytes * size_t(x);
            c = TRGB{q[0], q[1], q[2]};
            break;
          }
        }
      }
    }
    if (!complete) return ProgressFail(Progress);  // the data ended inside this row
    ProgressReport(Progress, Trunc(Progress.PercentPerUnit * (k + 1)));
    if (ProgressAborting(Progress)) return;
  }
}

}  // namespace

bool TryTGA(TStream* Stream) {
  uint8_t h[kHeaderSize];
  const int64_t start = Stream->GetPosition();
  const int64_t got = Stream->Read(h, kHeaderSize);
  Stream->SetPosition(start);
  if (got != kHeaderSize || IsPortableAnymap(h)) return false;
  return ValidImageType(h[kOffImageType]) && ValidPixelDepth(h[kOffPixelDepth]);
}

void ReadTGAStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview) {
  try {
    Decode(Stream, Bitmap, Params, Progress, Preview);
  } catch (const std::exception&) {
    ProgressFail(Progress);  // a stream that fails, or memory for the image
  }
}

}  // namespace corvex
