// Private to the BMP, ICO and CUR codec: the on-disk records that dib.h does not have, bounded
// reads from a stream that may lie, and the row decoders shared by bitmaps and icons.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/dib.h"

namespace corvex::bmp_detail {

#pragma pack(push, 1)
// The OS/2 1.x header (12 bytes); its colour table has 3-byte entries.
struct TBitmapCoreHeader {
  uint32_t bcSize = 12;
  uint16_t bcWidth = 0;
  uint16_t bcHeight = 0;
  uint16_t bcPlanes = 1;
  uint16_t bcBitCount = 0;
};
// Head of an icon or cursor resource directory.
struct TIconDirHead {
  uint16_t idReserved = 0;
  uint16_t idType = 0;  // 1 icon, 2 cursor
  uint16_t idCount = 0;
};
// One image of the directory. For cursors Planes and BitCount hold the hot spot.
struct TIconDirEntry {
  uint8_t bWidth = 0;
  uint8_t bHeight = 0;
  uint8_t bColorCount = 0;
  uint8_t bReserved = 0;
  uint16_t wPlanes = 0;
  uint16_t wBitCount = 0;
  uint32_t dwBytesInRes = 0;
  uint32_t dwImageOffset = 0;
};
#pragma pack(pop)
static_assert(sizeof(TBitmapCoreHeader) == 12);
static_assert(sizeof(TIconDirHead) == 6);
static_assert(sizeof(TIconDirEntry) == 16);

constexpr uint16_t kBMSignature = 0x4D42;  // "BM"

// Compressions beyond dib.h's four.
constexpr uint32_t BI_JPEG = 4;
constexpr uint32_t BI_PNG = 5;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

// Reads up to Count bytes, looping over short reads; returns how many were read.
int64_t ReadSome(TStream* Stream, void* Buffer, int64_t Count);
// True when all Count bytes were read.
inline bool ReadAll(TStream* Stream, void* Buffer, int64_t Count) { return ReadSome(Stream, Buffer, Count) == Count; }
// Bytes from the position to the end (0 when the position is past the end).
int64_t Remaining(TStream* Stream);

// dpi = round(ppm / 100 * 2.54); 0 or less (a file that gives nothing useful) becomes Fallback.
int DpiFromPelsPerMeter(int32_t PelsPerMeter, int Fallback);
// ppm = round(dpi / 2.54 * 100).
int32_t PelsPerMeterFromDpi(int Dpi);

// A colour table of 256 entries: the file's colours, then black for every index past them, so
// that any index a file holds reads a colour without a range check.
struct TPalette256 {
  TRGB c[256] = {};
  int count = 0;  // entries that came from the file
  void Assign(const std::vector<TRGB>& Map);
  // The file's two entries are black then white (1 = white, as the 1-bit bitmap has it).
  bool IsBlackWhite() const;
  // White then black.
  bool IsWhiteBlack() const;
};

// How the pixels of one file row are laid out.
struct TPixelLayout {
  int bits = 24;  // 1, 2, 4, 8, 16, 24 or 32
  // Bit-field masks of 16- and 32-bit pixels (red, green, blue). Without masks 16-bit pixels
  // are 5-5-5 (each channel shifted to the top of its byte) and 32-bit ones blue, green, red,
  // unused.
  bool masked = false;
  uint32_t mask[3] = {0, 0, 0};
  // Sets the masks; all-zero masks mean "none". Masked channels are scaled to the full range
  // 0 .. 255 (v * 255 / max, truncated), whatever their width.
  void SetMasks(uint32_t Red, uint32_t Green, uint32_t Blue);
  // True when the masks are the layout of unmasked 32-bit pixels.
  bool MasksAreDefault32() const;

  // Per channel: shift to bring the field to bit 0, its largest value, and a scaling table when
  // that value is small enough for one.
  int shift[3] = {0, 0, 0};
  uint32_t max[3] = {0, 0, 0};
  std::vector<uint8_t> lut[3];
  uint8_t Channel(int c, uint32_t v) const {
    const uint32_t x = (v & mask[c]) >> shift[c];
    if (!lut[c].empty()) return lut[c][x];
    return max[c] == 0 ? 0 : static_cast<uint8_t>(static_cast<uint64_t>(x) * 255 / max[c]);
  }
};

// Bytes of a file row that carry pixels (the rest is padding).
inline int64_t PixelBytes(int64_t Width, int Bits) { return (Width * Bits + 7) / 8; }

// Decodes Width pixels of one file row into blue, green, red bytes.
void DecodeRow24(const TPixelLayout& Layout, const TPalette256& Palette, const uint8_t* Src, uint8_t* Dst,
                 int Width);
// Copies a 1-bit file row into a 1-bit bitmap row (inverted when Invert), clearing the bits past
// the width.
void CopyRow1(const uint8_t* Src, uint8_t* Dst, int Width, bool Invert);

// Decodes RLE8 (Rle4 false) or RLE4 data into a 24-bit bitmap of the right size whose pixels
// already hold the colour that skipped pixels keep. Runs and literals that pass the end of a row
// are cut, moves past the image end the decoding, and the decoding stops at the end of the data.
// File row 0 is the bottom row unless TopDown. Reports progress at each end of line; returns
// false when the abort flag stopped it.
bool DecodeRLE(const uint8_t* Data, int64_t Length, bool Rle4, const TPalette256& Palette, TBitmap* Bitmap,
               bool TopDown, TProgressRec& Progress);

// Appends one row of palette indices, RLE8 or RLE4 coded, ending with the end-of-line escape.
void EncodeRLERow(const uint8_t* Indices, int Width, bool Rle4, std::vector<uint8_t>& Out);

}  // namespace corvex::bmp_detail
