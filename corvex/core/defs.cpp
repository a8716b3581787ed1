#include "corvex/core/defs.h"

#include <cmath>
#include <limits>

#include "corvex/platform/screen.h"

namespace corvex {

int64_t gMaxImagePixels = 256000000;

TRGB TColor2TRGB(TColor c) {
  c = ColorToRGB(c);
  return TRGB{GetBValue(c), GetGValue(c), GetRValue(c)};
}

int _Pixelformat2BitCount(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;  // pfDevice, pfCustom
  }
}

TPixelFormat _Bitcount2Pixelformat(int n) {
  switch (n) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 15: return pf15bit;
    case 16: return pf16bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pfCustom;
  }
}

int64_t _GetNumCol(int bitspersample, int samplesperpixel) {
  if (samplesperpixel <= 0) return 1;
  const int64_t total = static_cast<int64_t>(bitspersample) * samplesperpixel;
  if (total <= 0) return 1;
  if (total >= 63) return std::numeric_limits<int64_t>::max();
  return int64_t{1} << total;
}

int _NColToBitsPixel(int ncol) {
  if (ncol <= 0) return -1;
  int high = 31 - __builtin_clz(static_cast<unsigned>(ncol));
  return (ncol & (ncol - 1)) == 0 ? high : high + 1;
}

int _GetBitCount(uint32_t mask) {
  if (mask == 0) return 0;
  mask >>= __builtin_ctz(mask);
  int n = 0;
  while (mask & 1) {
    ++n;
    mask >>= 1;
  }
  return n;
}

namespace {
constexpr std::array<uint8_t, 256> MakeReverseTable() {
  std::array<uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (int i = 0; i < 8; ++i)
      if (v & (1u << i)) r |= 0x80u >> i;
    t[v] = static_cast<uint8_t>(r);
  }
  return t;
}
}  // namespace

const std::array<uint8_t, 256> kReverseBitsTable = MakeReverseTable();

void ReverseBits(uint32_t& v) {
  v = (uint32_t(kReverseBitsTable[v & 0xFF]) << 24) | (uint32_t(kReverseBitsTable[(v >> 8) & 0xFF]) << 16) |
      (uint32_t(kReverseBitsTable[(v >> 16) & 0xFF]) << 8) | kReverseBitsTable[v >> 24];
}

void ReverseBitsB(uint8_t& v) { v = kReverseBitsTable[v]; }

int64_t CXFloor(long double x) {
  if (!(x == x)) return 0;
  const long double t = std::trunc(x);
  const long double r = (x - t) < 0 ? t - 1 : t;
  if (r <= static_cast<long double>(std::numeric_limits<int64_t>::min()))
    return std::numeric_limits<int64_t>::min();
  if (r >= static_cast<long double>(std::numeric_limits<int64_t>::max()))
    return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(r);
}

bool MMXSupported() { return CpuHasMMX(); }

}  // namespace corvex
