// The on-disk layout of PCX files, shared by the reader and the writer.
#pragma once

#include <cstdint>

namespace corvex::pcx {

constexpr int kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;  // the byte before the trailing 256-colour palette
constexpr int kTrailingPaletteSize = 768;
constexpr int kRunFlag = 0xC0;          // count bytes: 0xC0 | count
constexpr int kMaxRun = 63;

// Header field offsets (little-endian).
enum : int {
  kOffManufacturer = 0,
  kOffVersion = 1,
  kOffEncoding = 2,
  kOffBitsPerPixel = 3,
  kOffXMin = 4,
  kOffYMin = 6,
  kOffXMax = 8,
  kOffYMax = 10,
  kOffHRes = 12,
  kOffVRes = 14,
  kOffPalette = 16,  // 16 red-green-blue triples
  kOffReserved = 64,
  kOffPlanes = 65,
  kOffBytesPerLine = 66,
  kOffPaletteInfo = 68,
};

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void Put16(uint8_t* p, unsigned v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace corvex::pcx
