// The on-disk and in-memory header of device-independent bitmaps (BMP files, packed DIBs on the
// clipboard, the DIB drawer). Fields are little-endian; this build targets little-endian
// machines, so the record is read and written as it stands.
#pragma once

#include <bit>
#include <cstdint>

namespace corvex {

static_assert(std::endian::native == std::endian::little, "DIB records assume a little-endian machine");

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

#pragma pack(push, 1)
struct TBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: bottom row first; negative: top row first
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

struct TBitmapFileHeader {
  uint16_t bfType = 0x4D42;  // "BM"
  uint32_t bfSize = 0;
  uint16_t bfReserved1 = 0;
  uint16_t bfReserved2 = 0;
  uint32_t bfOffBits = 0;
};
#pragma pack(pop)

static_assert(sizeof(TBitmapInfoHeader) == 40);
static_assert(sizeof(TBitmapFileHeader) == 14);

}  // namespace corvex
