// Inside the GIF codec: the block constants, a bounded reader over the file, the palette
// helpers and the image preparation shared by the writer and the inserter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"

namespace corvex::gif {

constexpr uint8_t kExtension = 0x21;  // '!'
constexpr uint8_t kImage = 0x2C;      // ','
constexpr uint8_t kTrailer = 0x3B;    // ';'
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kApplication = 0xFF;
constexpr int kHeaderSize = 13;
constexpr int kDescriptorSize = 9;  // after the ','
inline constexpr char kNetscape[] = "NETSCAPE2.0";

inline int Get16(const uint8_t* p) { return p[0] | p[1] << 8; }
inline void Put16(uint8_t* p, int v) {
  const int c = v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v;
  p[0] = static_cast<uint8_t>(c);
  p[1] = static_cast<uint8_t>(c >> 8);
}
// Entries of the colour table that a packed byte (bits 2-0) announces: 2^(n+1).
inline int TableCount(uint8_t Packed) { return 2 << (Packed & 7); }

// Reads from the stream without trusting a length: the stream's size is taken once, and every
// skip and copy stops at the end of the data present.
class Input {
 public:
  explicit Input(TStream* Stream) : s_(Stream), size_(Stream->GetSize()) {}
  TStream* Stream() const { return s_; }
  bool Byte(uint8_t& b) { return s_->Read(&b, 1) == 1; }
  bool Bytes(void* p, int64_t n) { return s_->Read(p, n) == n; }
  bool AtEnd() { return s_->GetPosition() >= size_; }
  // Skips data sub-blocks through the empty one; false when the data ends first.
  bool SkipSubBlocks();
  // Copies data sub-blocks through the empty one to Out; false when the data ends first (what
  // there was is copied, an incomplete last block as far as it goes).
  bool CopySubBlocks(TStream* Out);
  // Copies N bytes to Out; false (after copying what there was) when fewer are present.
  bool Copy(TStream* Out, int64_t N);

 private:
  TStream* s_;
  int64_t size_;
};

// Reads a colour table of Count entries (red, green, blue in the file) as TRGB. Entries the
// data does not hold stay black; returns false when the table was cut short.
bool ReadColorTable(Input& In, int Count, std::vector<TRGB>& Table);
// Writes a table as red, green, blue.
void WriteColorTable(TStream* Out, const std::vector<TRGB>& Table);

// The LZW coders a record would use: its own, else the global hook.
inline TGIFLZWDecompFunc Decoder(const TIOParamsVals& Params) {
  return Params.GIF_LZWDecompress ? Params.GIF_LZWDecompress : DefGIF_LZWDECOMPFUNC;
}
inline TGIFLZWCompFunc Encoder(const TIOParamsVals& Params) {
  return Params.GIF_LZWCompress ? Params.GIF_LZWCompress : DefGIF_LZWCOMPFUNC;
}

// A bitmap reduced to palette indices, ready to be coded.
struct IndexedImage {
  int Width = 0;
  int Height = 0;
  int Bits = 8;                 // bits per pixel, 1 to 8
  std::vector<TRGB> Palette;    // 2^Bits entries
  std::vector<uint8_t> Pixels;  // Width x Height indices, row 0 first
  uint8_t Background = 0;       // index of GIF_Background
  uint8_t Transparent = 0;      // index of GIF_TranspColor
};

// Reduces Bitmap as the record asks. With BitsPerSample 1 a two-colour image keeps its two
// colours; one with more is dithered to black and white (DitherWhenMoreColors) or kept at 8
// bits. Otherwise 2^BitsPerSample colours (1 to 8 bits, other values 8) chosen by the colour
// quantizer. False when the bitmap is empty or too large for a GIF.
bool PrepareImage(const TBitmap* Bitmap, const TIOParamsVals& Params, bool DitherWhenMoreColors,
                  IndexedImage& Image, TProgressRec& Progress);

// Writes a graphic control extension for the record (disposal "restore to background").
void WriteGraphicControl(TStream* Out, const TIOParamsVals& Params, uint8_t TransparentIndex);

// The image's GIF version: the first six characters of GIF_Version when they are a GIF
// signature, else "GIF89a".
std::string VersionToWrite(const std::string& Version);

// Replaces the file's contents with Data through a temporary file beside it renamed over the
// file (which keeps its permission bits), so that a failure never leaves half a file.
void ReplaceFile(const std::string& FileName, const TMemoryStream& Data);
// A file name beside FileName for a temporary file.
std::string TempNameBeside(const std::string& FileName);
// Creates a temporary file beside FileName (its name in TempName); a failure names FileName.
std::unique_ptr<TFileStream> CreateTempBeside(const std::string& FileName, std::string& TempName);
// Renames the finished temporary file over FileName, giving it FileName's permission bits.
void CommitTempFile(const std::string& TempName, const std::string& FileName);

}  // namespace corvex::gif
