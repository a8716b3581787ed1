// Helpers of the BMP, ICO and CUR tests: files built byte by byte, the readers in the common
// reader shape, and pixel access.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/platform/graphics/dib.h"
#include "tests/common/codec_testing.h"

namespace corvex::bmp_testing {

using testing_support::Get16;
using testing_support::Get32;
using testing_support::Put16;
using testing_support::Put32;
using testing_support::Set32;

// What a bitmap file holds; MakeBmp lays it out as a writer would.
struct BmpSpec {
  uint32_t headerSize = 40;  // 12, 16 .. 64, 108, 124
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  int32_t xppm = 0, yppm = 0;
  std::vector<TRGB> palette;     // 3-byte entries for the core header, else 4
  std::vector<uint32_t> masks;   // in the header from 52 bytes on, else right after it
  std::vector<uint8_t> data;     // the pixel data as stored
  bool fileHeader = true;
  int64_t offBits = -1;          // -1: where the data really starts
};

inline std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
  std::vector<uint8_t> f;
  if (s.fileHeader) {
    f = {'B', 'M'};
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, 0);
  }
  if (s.headerSize == 12) {
    Put32(f, 12);
    Put16(f, uint32_t(s.width));
    Put16(f, uint32_t(s.height));
    Put16(f, 1);
    Put16(f, s.bits);
  } else {
    std::vector<uint8_t> h;
    Put32(h, s.headerSize);
    Put32(h, uint32_t(s.width));
    Put32(h, uint32_t(s.height));
    Put16(h, 1);
    Put16(h, s.bits);
    Put32(h, s.compression);
    Put32(h, uint32_t(s.data.size()));
    Put32(h, uint32_t(s.xppm));
    Put32(h, uint32_t(s.yppm));
    Put32(h, s.clrUsed);
    Put32(h, 0);
    if (s.headerSize >= 52)
      for (uint32_t m : s.masks) Put32(h, m);
    h.resize(s.headerSize, 0);
    f.insert(f.end(), h.begin(), h.end());
    if (s.headerSize < 52)
      for (uint32_t m : s.masks) Put32(f, m);
  }
  for (TRGB c : s.palette) {
    f.insert(f.end(), {c.b, c.g, c.r});
    if (s.headerSize != 12) f.push_back(0);
  }
  const size_t dataAt = f.size();
  f.insert(f.end(), s.data.begin(), s.data.end());
  if (s.fileHeader) {
    Set32(f, 2, uint32_t(f.size()));
    Set32(f, 10, uint32_t(s.offBits >= 0 ? size_t(s.offBits) : dataAt));
  }
  return f;
}

// Rows given top row first, stored bottom-up (or top-down) and padded to 4 bytes.
inline std::vector<uint8_t> PackRows(const std::vector<std::vector<uint8_t>>& TopFirst, bool BottomUp = true) {
  std::vector<uint8_t> out;
  const size_t n = TopFirst.size();
  for (size_t i = 0; i < n; ++i) {
    const auto& r = TopFirst[BottomUp ? n - 1 - i : i];
    out.insert(out.end(), r.begin(), r.end());
    out.resize((out.size() + 3) & ~size_t(3), 0);
  }
  return out;
}

// The readers in the common shape: the bitmap reader with the block size a file load passes.
inline void ReadBmp(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool pv) {
  BMPReadStream(s, b, int(s->GetSize()), p, r, pv);
}
inline void ReadBmpNoBlock(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool pv) {
  BMPReadStream(s, b, 0, p, r, pv);
}
inline void ReadIco(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool pv) { ICOReadStream(s, b, p, pv, r); }
inline void ReadCur(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool pv) { CURReadStream(s, b, p, pv, r); }

// The colour of a pixel of a 24-bit or 1-bit bitmap.
inline TRGB Px(const TBitmap& b, int x, int y) {
  const uint8_t* row = b.ScanLine(y);
  if (b.GetPixelFormat() == pf1bit) {
    const uint8_t v = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
    return TRGB{v, v, v};
  }
  return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}
inline bool Same(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline std::string Str(TRGB c) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "(%d,%d,%d)", c.r, c.g, c.b);
  return buf;
}
// Expects pixel (x, y) to be the colour (r, g, b).
#define EXPECT_PX(bmp, x, y, R, G, B)                                                              \
  EXPECT_TRUE(::corvex::bmp_testing::Same(::corvex::bmp_testing::Px(bmp, x, y), ::corvex::CreateRGB(R, G, B))) \
      << "pixel (" << (x) << "," << (y) << ") is " << ::corvex::bmp_testing::Str(::corvex::bmp_testing::Px(bmp, x, y))

}  // namespace corvex::bmp_testing

