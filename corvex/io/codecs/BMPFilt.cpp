// Reading Windows bitmaps: the headers of every version, the colour table, and the pixel data
// (uncompressed rows, RLE4 and RLE8, bit fields, JPEG or PNG inside).
#include "corvex/io/codecs/BMPFilt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "corvex/io/codecs/bmp_pvt.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/platform/screen.h"

namespace corvex {

using namespace bmp_detail;

namespace {

uint32_t LE32(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Info-header sizes that a packed DIB (a bitmap without the file header, as the clipboard and
// some .dib files hold it) may start with.
bool IsPackedDibHeaderSize(uint32_t Size) {
  return Size == 12 || Size == 40 || Size == 52 || Size == 56 || Size == 64 || Size == 108 || Size == 124;
}

// What the info header says, in the reader's terms.
struct TDibInfo {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  int bits = 0;
  uint32_t compression = BI_RGB;
  uint32_t sizeImage = 0;
  TPixelLayout layout;
};

bool SupportedDepth(int Bits) {
  return Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}

void SetSampleFormat(TIOParamsVals& Params, int Bits) {
  if (Bits <= 8) {
    Params.BitsPerSample = Bits;
    Params.SamplesPerPixel = 1;
  } else {
    Params.BitsPerSample = Bits == 16 ? 5 : 8;
    Params.SamplesPerPixel = 3;
  }
}

// Reads the image whose file header (or, for a packed DIB, info header) is at the position.
// Returns false when the input cannot be read (the caller sets the abort flag); true otherwise,
// including a stop asked for through the abort flag.
bool ReadBitmap(TStream* Stream, TBitmap* Bitmap, int64_t BlockSize, TIOParamsVals& Params, TProgressRec& Progress,
                bool Preview) {
  const int64_t start = Stream->GetPosition();

  // File header, or none for a packed DIB.
  uint8_t raw[sizeof(TBitmapFileHeader)] = {};
  const int64_t got = ReadSome(Stream, raw, sizeof raw);
  TBitmapFileHeader fh;
  std::memcpy(&fh, raw, sizeof fh);
  uint32_t offBits = 0;
  bool blockFromFile = false;
  if (got >= 2 && fh.bfType == kBMSignature) {
    if (got < int64_t(sizeof fh)) return false;
    offBits = fh.bfOffBits;
    if (fh.bfSize != 0 && BlockSize <= 0) {
      BlockSize = fh.bfSize;
      blockFromFile = true;
    }
  } else if (got >= 4 && IsPackedDibHeaderSize(LE32(raw))) {
    Stream->SetPosition(start);
  } else {
    return false;
  }

  // Info header.
  const int64_t hdrPos = Stream->GetPosition();
  uint8_t sz[4];
  if (!ReadAll(Stream, sz, 4)) return false;
  Stream->SetPosition(hdrPos);
  Params.ColorMap.clear();
  const uint32_t hs = LE32(sz);
  if (hs < 12 || (hs > 12 && hs < 16) || hs > uint64_t(Remaining(Stream))) return false;

  TDibInfo info;
  info.headerSize = hs;
  int entrySize = 4;
  int64_t claimed = 0;      // colour table entries the header announces
  bool implicitCount = false;  // the count comes from the depth, not from the header
  if (hs == 12) {
    TBitmapCoreHeader ch;
    if (!ReadAll(Stream, &ch, sizeof ch)) return false;
    Params.BMP_Version = ioBMP_BMOS2V1;
    info.width = ch.bcWidth;
    info.height = ch.bcHeight;
    info.bits = ch.bcBitCount;
    Params.DpiX = gSystemDPIX;
    Params.DpiY = gSystemDPIY;
    entrySize = 3;
    if (info.bits <= 8) claimed = int64_t(1) << info.bits;
    implicitCount = true;
  } else {
    // The Windows 3 fields (zero where a short OS/2 2.x header ends), then up to 24 more bytes.
    uint8_t buf[64] = {};
    if (!ReadAll(Stream, buf, std::min<uint32_t>(hs, 64))) return false;
    if (hs > 64) Stream->SetPosition(hdrPos + hs);
    TBitmapInfoHeader bi;
    std::memcpy(&bi, buf, sizeof bi);
    Params.BMP_Version = hs == 64 ? ioBMP_BMOS2V2 : hs == 40 ? ioBMP_BM3 : ioBMP_BM;
    info.width = bi.biWidth;
    if (bi.biHeight == INT32_MIN) return false;
    info.topDown = bi.biHeight < 0;
    info.height = bi.biHeight < 0 ? -int64_t(bi.biHeight) : bi.biHeight;
    info.bits = bi.biBitCount;
    info.compression = bi.biCompression;
    info.sizeImage = bi.biSizeImage;
    Params.DpiX = DpiFromPelsPerMeter(bi.biXPelsPerMeter, gSystemDPIX);
    Params.DpiY = DpiFromPelsPerMeter(bi.biYPelsPerMeter, gSystemDPIY);
    if (bi.biClrUsed != 0) {
      claimed = bi.biClrUsed;
    } else if (info.bits <= 8) {
      claimed = int64_t(1) << info.bits;
      implicitCount = true;
    }
    // Bit-field masks: inside the header from version 2 on (52 bytes and more), else right
    // after it. The OS/2 2.x header uses compression 3 for Huffman coding instead.
    const bool fields = (info.compression == BI_BITFIELDS || info.compression == BI_ALPHABITFIELDS) && hs != 64 &&
                        (info.bits == 16 || info.bits == 32);
    if (fields) {
      uint8_t m[16] = {};
      if (hs >= 52) {
        std::memcpy(m, buf + 40, 12);
      } else if (!ReadAll(Stream, m, info.compression == BI_ALPHABITFIELDS ? 16 : 12)) {
        return false;
      }
      info.layout.SetMasks(LE32(m), LE32(m + 4), LE32(m + 8));
    }
  }
  info.layout.bits = info.bits;

  // Colour table, bounded by where the pixel data starts. An offset that points into the
  // announced table shortens a table whose size was only implied (or impossible); with a
  // table size the header states, it is the offset that is wrong and the data follows the table.
  const int64_t palPos = Stream->GetPosition();
  const int64_t dataAt = offBits != 0 ? start + int64_t(offBits) : -1;
  const bool impossible = info.bits <= 8 && claimed > (int64_t(1) << std::min(info.bits, 8));
  int64_t entries = claimed;
  int64_t dataPos = palPos + claimed * entrySize;
  if (dataAt >= 0 && dataAt >= palPos + claimed * entrySize) {
    dataPos = dataAt;
  } else if (dataAt >= palPos && (implicitCount || impossible)) {
    entries = (dataAt - palPos) / entrySize;
    dataPos = dataAt;
  }
  const int kept = static_cast<int>(std::min<int64_t>(entries, 256));
  if (kept > 0) {
    std::vector<uint8_t> raw(size_t(kept) * entrySize);
    if (!ReadAll(Stream, raw.data(), int64_t(raw.size()))) return false;
    Params.ColorMap.resize(size_t(kept));
    for (int i = 0; i < kept; ++i) {
      const uint8_t* e = raw.data() + size_t(i) * entrySize;
      Params.ColorMap[size_t(i)] = TRGB{e[0], e[1], e[2]};
    }
  }

  // What the data is.
  const uint32_t c = info.compression;
  bool rle = false, embedded = false;
  if (c == BI_RGB) {
  } else if (c == BI_RLE8 && info.bits == 8) {
    rle = true;
  } else if (c == BI_RLE4 && info.bits == 4) {
    rle = true;
  } else if (c == BI_BITFIELDS && hs != 64) {
  } else if (c == BI_ALPHABITFIELDS && (info.bits == 16 || info.bits == 32)) {
  } else if ((c == BI_JPEG || c == BI_PNG) && hs != 64) {
    embedded = true;
  } else {
    return false;  // OS/2 Huffman and RLE24, RLE with the wrong depth, unknown codings
  }
  Params.BMP_Compression = rle ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
  if (info.width <= 0 || info.height <= 0 || info.width > INT32_MAX) return false;
  Params.Width = static_cast<int>(info.width);
  Params.Height = static_cast<int>(info.height);

  if (embedded) {
    Stream->SetPosition(dataPos);
    const TIOBMPVersion version = Params.BMP_Version;
    const int dpiX = Params.DpiX, dpiY = Params.DpiY;
    if (c == BI_JPEG) {
      ReadJPegStream(Stream, Bitmap, Params, Progress, Preview);
    } else {
      ReadPNGStream(Stream, Bitmap, Params, Progress, Preview);
    }
    Params.BMP_Version = version;
    Params.BMP_Compression = ioBMP_UNCOMPRESSED;
    Params.DpiX = dpiX;
    Params.DpiY = dpiY;
    return true;
  }
  if (!SupportedDepth(info.bits)) return false;
  SetSampleFormat(Params, info.bits);
  if (Preview) return true;

  // Pixels.
  const int W = static_cast<int>(info.width), H = static_cast<int>(info.height);
  if (!CXImageSizeAllowed(W, H)) return false;
  Stream->SetPosition(dataPos);
  const int64_t avail = Remaining(Stream);
  if (avail <= 0) return false;  // no pixel data at all
  // Run-length rows reach about 1024 pixels per byte with their skips; raw rows are what they are.
  const int64_t rowBytes = _BitmapRowLen(W, info.bits);
  if (!CXDataCanHold(avail, rowBytes * H, rle ? 1024 : 1)) return false;

  TPalette256 pal;
  pal.Assign(Params.ColorMap);
  const bool oneBit = info.bits == 1 && !rle && (pal.count == 0 || pal.IsBlackWhite() || pal.IsWhiteBlack());
  Bitmap->Allocate(W, H, oneBit ? pf1bit : pf24bit);
  ProgressBegin(Progress, H);
  auto rowOf = [&](int64_t fileRow) { return Bitmap->ScanLine(static_cast<int>(info.topDown ? fileRow : H - 1 - fileRow)); };

  if (rle) {
    // Skipped pixels keep the colour of index 0.
    const TRGB bg = pal.c[0];
    for (int y = 0; y < H; ++y) {
      uint8_t* d = Bitmap->ScanLine(y);
      for (int x = 0; x < W; ++x, d += 3) {
        d[0] = bg.b;
        d[1] = bg.g;
        d[2] = bg.r;
      }
    }
    // The coded length: the caller's block size is exact; the file's size field and the
    // header's image size are hints (either may be wrong), so the larger is taken. Never more
    // than the stream holds.
    const int64_t used = dataPos - start;
    int64_t length = 0;
    if (BlockSize > 0 && !blockFromFile) {
      length = BlockSize - used;
    } else {
      length = std::max<int64_t>(blockFromFile ? BlockSize - used : 0, info.sizeImage);
    }
    if (length <= 0 || length > avail) length = avail;
    std::vector<uint8_t> data(static_cast<size_t>(length));
    const int64_t n = ReadSome(Stream, data.data(), length);
    DecodeRLE(data.data(), n, info.bits == 4, pal, Bitmap, info.topDown, Progress);
    return true;
  }

  const int64_t rowLen = _BitmapRowLen(W, info.bits);
  const int64_t pixBytes = PixelBytes(W, info.bits);
  const bool direct = oneBit || info.bits == 24;  // file rows have the bitmap's layout
  const bool invert = oneBit && pal.IsWhiteBlack();
  std::vector<uint8_t> buf(static_cast<size_t>(rowLen));
  bool truncated = false;
  for (int64_t i = 0; i < H; ++i) {
    if (ProgressUnit(Progress, i)) return true;
    uint8_t* dst = rowOf(i);
    uint8_t* src = direct ? dst : buf.data();
    const int64_t n = ReadSome(Stream, src, rowLen);
    if (n < pixBytes) {
      truncated = true;
      if (n <= 0) break;
      std::memset(src + n, 0, size_t(rowLen - n));
    }
    if (oneBit) {
      CopyRow1(src, dst, W, invert);
    } else if (!direct) {
      DecodeRow24(info.layout, pal, src, dst, W);
    }
    if (truncated) break;
  }
  return !truncated;
}

}  // namespace

void BMPReadStream(TStream* Stream, TBitmap* Bitmap, int BlockSize, TIOParamsVals& Params, TProgressRec& Progress,
                   bool Preview) {
  if (Stream == nullptr || (Bitmap == nullptr && !Preview)) {
    ProgressFail(Progress);
    return;
  }
  bool ok = false;
  try {
    ok = ReadBitmap(Stream, Bitmap, BlockSize, Params, Progress, Preview);
  } catch (...) {
    ok = false;  // a stream that fails, or memory that cannot be had
  }
  if (!ok) ProgressFail(Progress);
}

bool BMPTryStream(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t pos = Stream->GetPosition();
  bool ok = false;
  try {
    uint8_t sig[2] = {};
    ok = Stream->GetSize() - pos > 14 && ReadAll(Stream, sig, 2) && (sig[0] | sig[1] << 8) == kBMSignature;
  } catch (...) {
    ok = false;
  }
  Stream->SetPosition(pos);
  return ok;
}

}  // namespace corvex
