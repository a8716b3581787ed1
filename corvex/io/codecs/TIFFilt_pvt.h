// Private to the TIFF codec: bounded access to a TIFF in a stream, directory entries and their
// values, and the JPEG strip decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/streams/streams.h"

namespace corvex::tiff {

// Tags the codec reads or writes.
enum Tag : uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kDocumentName = 269,
  kImageDescription = 270,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfig = 284,
  kPageName = 285,
  kXPosition = 286,
  kYPosition = 287,
  kFreeOffsets = 288,
  kFreeByteCounts = 289,
  kT4Options = 292,
  kT6Options = 293,
  kResolutionUnit = 296,
  kPageNumber = 297,
  kSoftware = 305,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kSubIFDs = 330,
  kInkSet = 332,
  kNumberOfInks = 334,
  kDotRange = 336,
  kExtraSamples = 338,
  kSampleFormat = 339,
  kJPEGTables = 347,
  kJPEGInterchangeFormat = 513,
  kJPEGInterchangeFormatLength = 514,
  kExifIFD = 34665,
  kGPSIFD = 34853,
  kInteropIFD = 40965,
};

enum Type : uint16_t { tByte = 1, tAscii, tShort, tLong, tRational, tSByte, tUndefined, tSShort, tSLong,
                       tSRational, tFloat, tDouble, tIFD = 13, tLong8 = 16, tSLong8 = 17, tIFD8 = 18 };

// Bytes of one value of a type (0 for unknown types).
int TypeSize(int Type);

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint64_t count = 0;
  uint8_t raw[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // the value field as stored (4 bytes, 8 in BigTIFF)
  // The bytes of the values; saturates rather than overflows for absurd counts.
  int64_t Bytes() const {
    return count > (uint64_t(1) << 56) ? INT64_MAX : int64_t(count) * TypeSize(type);
  }
};

// A TIFF in a stream, from the stream position at construction. All reads are bounded by the
// stream's size; offsets count from the start.
class File {
 public:
  explicit File(TStream* Stream);
  TStream* Stream() const { return stream_; }
  int64_t Base() const { return base_; }
  int64_t Size() const { return size_; }
  bool BigEndian() const { return big_; }
  // A BigTIFF (version 43): 8-byte offsets and counts, 20-byte directory entries.
  bool BigTIFF() const { return bigTiff_; }
  // Reads the header (8 bytes, 16 for BigTIFF); false when it is not a TIFF. FirstIFD receives
  // the first offset.
  bool ReadHeader(uint64_t& FirstIFD);
  // Reads Count bytes at Offset; false when they are not all there.
  bool ReadAt(int64_t Offset, void* Buffer, int64_t Count);
  uint16_t U16(const uint8_t* p) const { return big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); }
  uint32_t U32(const uint8_t* p) const {
    return big_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
  uint64_t U64(const uint8_t* p) const {
    return big_ ? uint64_t(U32(p)) << 32 | U32(p + 4) : uint64_t(U32(p + 4)) << 32 | U32(p);
  }
  // An offset or count of the file's width (4 bytes, 8 in BigTIFF).
  uint64_t Offset(const uint8_t* p) const { return bigTiff_ ? U64(p) : U32(p); }
  // Bytes of a directory's entry count, of one entry, of the value field and of the next link.
  int CountBytes() const { return bigTiff_ ? 8 : 2; }
  int EntryBytes() const { return bigTiff_ ? 20 : 12; }
  int FieldBytes() const { return bigTiff_ ? 8 : 4; }
  // The number of entries of the directory at At (false when it is not within the data).
  bool EntryCount(uint64_t At, uint64_t& Count);
  // Reads the directory at At: its entries (the first of each tag kept, in file order) and
  // the next offset. False when the directory is not within the data.
  bool ReadIFD(uint64_t At, std::vector<Entry>& Entries, uint64_t& Next);
  // Offsets of the directories in chain order; a chain that loops or runs out of the data ends
  // there. At most MaxPages are walked.
  std::vector<uint64_t> Chain(uint64_t FirstIFD, int MaxPages = 65536);
  // Where the link to the next directory of the directory at At is (-1 when not in the data).
  int64_t LinkAt(uint64_t At);

  // Value access. The bytes of a value that fits the value field (4 bytes, 8 in BigTIFF) are
  // inside the entry; longer values are at the offset in the entry. False when the values are
  // not within the data.
  bool ValueBytes(const Entry& E, std::vector<uint8_t>& Out);
  bool Inline(const Entry& E) const { return E.Bytes() <= FieldBytes(); }
  // Integer values (BYTE, SHORT, LONG, LONG8 and their signed forms, IFD, IFD8); at most
  // MaxCount of them. Values too large for the element type saturate.
  bool UInts(const Entry& E, std::vector<uint32_t>& Out, uint32_t MaxCount = 0xFFFFFFFFu);
  bool UInts(const Entry& E, std::vector<uint64_t>& Out, uint32_t MaxCount = 0xFFFFFFFFu);
  // The first value as an integer, rational or text.
  bool UInt(const Entry& E, uint32_t& Out);
  bool Rational(const Entry& E, double& Out);
  std::string Text(const Entry& E);

 private:
  TStream* stream_;
  int64_t base_;
  int64_t size_;
  bool big_ = false;
  bool bigTiff_ = false;
};

const Entry* Find(const std::vector<Entry>& Entries, uint16_t Tag);

// Decodes one JPEG-compressed strip or tile, with the page's JPEG tables (may be empty). Out
// receives Rows rows of Width pixels of Components bytes (RGB for YCbCr and RGB pages, CMYK,
// or grey), what the data does not cover left zero. False when libjpeg refuses the data.
bool DecodeJpegChunk(const std::vector<uint8_t>& Tables, const uint8_t* Data, size_t Length, int Width, int Rows,
                     int Photometric, int Components, std::vector<uint8_t>& Out, bool Fancy = true);

// Old-style JPEG (compression 6): decodes the complete JPEG stream of Length bytes at Data into
// Rows rows of Width pixels of the stream's own components (1, 3 or 4; Components receives
// them), what the stream does not cover left zero. False when libjpeg refuses the stream.
bool DecodeJpegWhole(const uint8_t* Data, size_t Length, int Width, int Rows, int Photometric, int& Components,
                     std::vector<uint8_t>& Out);

// Rows of a chunk coded as one stream, decoded as they are asked for.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // Fills Bytes bytes of the next row; false when the stream ends or is invalid first.
  virtual bool Next(uint8_t* Row, size_t Bytes) = 0;
};
std::unique_ptr<RowSource> MakeLzmaRows(const uint8_t* Data, size_t Length);
std::unique_ptr<RowSource> MakeZstdRows(const uint8_t* Data, size_t Length);

// Decodes a WebP-coded chunk (Components 3: RGB, 4: RGBA) as wide as Width into Out; returns the
// rows decoded (at most Rows), 0 when the data is not a WebP image of that width.
int DecodeWebPChunk(const uint8_t* Data, size_t Length, int Width, int Rows, int Components,
                    std::vector<uint8_t>& Out);

}  // namespace corvex::tiff
