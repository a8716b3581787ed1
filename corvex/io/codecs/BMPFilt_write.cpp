// Writing Windows bitmaps: 1, 4, 8 or 24 bits, uncompressed or RLE4 / RLE8, with the core,
// Windows 3 or OS/2 2.x header.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/io/codecs/bmp_pvt.h"

namespace corvex {

using namespace bmp_detail;

namespace {

uint32_t Key(const uint8_t* Px) { return Px[0] | uint32_t(Px[1]) << 8 | uint32_t(Px[2]) << 16; }
TRGB FromKey(uint32_t K) { return TRGB{uint8_t(K), uint8_t(K >> 8), uint8_t(K >> 16)}; }
uint32_t Key(TRGB C) { return C.b | uint32_t(C.g) << 8 | uint32_t(C.r) << 16; }

// The distinct colours of a 24-bit bitmap in order of first appearance, or an empty list when
// it has more than Limit.
std::vector<uint32_t> DistinctColours(const TBitmap* Bitmap, size_t Limit) {
  std::vector<uint32_t> order;
  std::unordered_map<uint32_t, int> seen;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  uint32_t last = 0xFFFFFFFF;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const uint32_t k = Key(p);
      if (k == last) continue;
      last = k;
      if (seen.emplace(k, 0).second) {
        order.push_back(k);
        if (order.size() > Limit) return {};
      }
    }
  }
  return order;
}

// The 24-bit row y of a 1- or 24-bit bitmap.
void Row24(const TBitmap* Bitmap, int y, uint8_t* Out) {
  const uint8_t* s = Bitmap->ScanLine(y);
  const int w = Bitmap->GetWidth();
  if (Bitmap->GetPixelFormat() == pf24bit) {
    std::memcpy(Out, s, size_t(w) * 3);
    return;
  }
  for (int x = 0; x < w; ++x) {
    const uint8_t v = ((s[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
    Out[3 * x] = Out[3 * x + 1] = Out[3 * x + 2] = v;
  }
}

// Maps colours to palette indices: exactly, from a table of the image's own colours, or
// through a quantizer.
class TIndexer {
 public:
  void SetExact(const std::vector<TRGB>& Palette) {
    for (size_t i = Palette.size(); i-- > 0;) exact_[Key(Palette[i])] = static_cast<uint8_t>(i);
  }
  void SetQuantizer(std::unique_ptr<TCXQuantizer> Q) { quantizer_ = std::move(Q); }
  uint8_t Index(const uint8_t* Px) {
    const uint32_t k = Key(Px);
    if (k == lastKey_) return lastIndex_;
    lastKey_ = k;
    if (quantizer_) {
      lastIndex_ = static_cast<uint8_t>(quantizer_->GetRGBIndex(TRGB{Px[0], Px[1], Px[2]}));
    } else {
      const auto it = exact_.find(k);
      lastIndex_ = it != exact_.end() ? it->second : 0;
    }
    return lastIndex_;
  }

 private:
  std::unordered_map<uint32_t, uint8_t> exact_;
  std::unique_ptr<TCXQuantizer> quantizer_;
  uint32_t lastKey_ = 0xFFFFFFFF;
  uint8_t lastIndex_ = 0;
};

// Chooses the palette of a 4- or 8-bit file: the image's own colours when there are few
// enough (in the order of the record's colour map when it holds them all, so that a file read
// and written again keeps its table), else a quantized one.
std::vector<TRGB> IndexedPalette(const TBitmap* Src, int Colours, const std::vector<TRGB>& Current,
                                 TIndexer& Indexer) {
  std::vector<uint32_t> own;
  if (Src->GetPixelFormat() == pf1bit) {
    own = {0x000000, 0xFFFFFF};
  } else {
    own = DistinctColours(Src, size_t(Colours));
  }
  std::vector<TRGB> pal;
  if (!own.empty()) {
    bool covered = Current.size() <= size_t(Colours);
    if (covered) {
      std::unordered_map<uint32_t, int> in;
      for (TRGB c : Current) in.emplace(Key(c), 0);
      for (uint32_t k : own) covered = covered && in.count(k) != 0;
    }
    if (covered) {
      pal = Current;
    } else {
      for (uint32_t k : own) pal.push_back(FromKey(k));
    }
    pal.resize(size_t(Colours), TRGB{0, 0, 0});
    Indexer.SetExact(pal);
    return pal;
  }
  pal.assign(size_t(Colours), TRGB{0, 0, 0});
  Indexer.SetQuantizer(std::make_unique<TCXQuantizer>(Src, pal.data(), Colours, Colours, -1, 0));
  return pal;
}

// The info header as stored; BitCount and SizeImage are 0 until the rows are written.
std::vector<uint8_t> InfoHeader(uint32_t Size, int W, int H, int BitCount, uint32_t Compression, uint32_t SizeImage,
                                const TIOParamsVals& Params, int Bits) {
  std::vector<uint8_t> out(Size, 0);
  if (Size == 12) {
    TBitmapCoreHeader ch;
    ch.bcWidth = static_cast<uint16_t>(W);
    ch.bcHeight = static_cast<uint16_t>(H);
    ch.bcBitCount = static_cast<uint16_t>(BitCount);
    std::memcpy(out.data(), &ch, sizeof ch);
    return out;
  }
  TBitmapInfoHeader bi;
  bi.biSize = Size;  // 40, or 64 for OS/2 2.x (its extra fields stay zero)
  bi.biWidth = W;
  bi.biHeight = H;
  bi.biBitCount = static_cast<uint16_t>(BitCount);
  bi.biCompression = Compression;
  bi.biSizeImage = SizeImage;
  bi.biXPelsPerMeter = PelsPerMeterFromDpi(Params.DpiX);
  bi.biYPelsPerMeter = PelsPerMeterFromDpi(Params.DpiY);
  bi.biClrUsed = Bits <= 8 ? 1u << Bits : 0u;
  bi.biClrImportant = 1u << Bits;  // 2^24 for 24 bits, as this writer always stored it
  std::memcpy(out.data(), &bi, sizeof bi);
  return out;
}

std::vector<uint8_t> FileHeader(int64_t Size, int64_t DataOffset) {
  TBitmapFileHeader fh;
  fh.bfSize = static_cast<uint32_t>(Size);
  fh.bfOffBits = static_cast<uint32_t>(DataOffset);
  std::vector<uint8_t> out(sizeof fh);
  std::memcpy(out.data(), &fh, sizeof fh);
  return out;
}

// Writes the file; false when it cannot be written (the caller sets the abort flag). A stop
// asked for through the abort flag returns true with the headers unfinished.
bool WriteBitmap(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return false;
  const TBitmap* src = Bitmap;
  TBitmap converted;
  if (src->GetPixelFormat() != pf1bit && src->GetPixelFormat() != pf24bit) {
    converted.Assign(Bitmap);
    converted.SetPixelFormat(pf24bit);
    src = &converted;
  }
  const int W = src->GetWidth(), H = src->GetHeight();
  const int bits = (Params.BitsPerSample == 1 || Params.BitsPerSample == 4) ? Params.BitsPerSample
                   : Params.SamplesPerPixel == 1                            ? 8
                                                                            : 24;
  const bool core = Params.BMP_Version == ioBMP_BMOS2V1;
  if (core && (W > 0xFFFF || H > 0xFFFF)) return false;  // the core header has 16-bit sizes
  const bool rle = !core && Params.BMP_Compression == ioBMP_RLE && (bits == 4 || bits == 8);
  const uint32_t headerSize = core ? 12 : Params.BMP_Version == ioBMP_BMOS2V2 ? 64 : 40;
  const uint32_t compression = rle ? (bits == 4 ? BI_RLE4 : BI_RLE8) : BI_RGB;

  // Palette and the pixels that go with it.
  std::vector<TRGB> pal;
  TIndexer indexer;
  TBitmap dithered;
  const TBitmap* rows = src;  // for 1 bit: the 1-bit rows to write, when there are such
  std::vector<uint8_t> bitOf;  // for 1 bit from two colours: the bit of each colour key
  uint32_t colour0 = 0;
  if (bits == 1) {
    pal = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    if (src->GetPixelFormat() == pf24bit) {
      const std::vector<uint32_t> own = DistinctColours(src, 2);
      if (own.size() == 2) {
        // Two colours: the darker one is bit 0 (the first seen on a tie).
        TRGB a = FromKey(own[0]), b = FromKey(own[1]);
        if (_RGBToGray(b) < _RGBToGray(a)) std::swap(a, b);
        pal = {a, b};
        colour0 = Key(a);
        rows = nullptr;
      } else if (own.size() == 1) {
        const TRGB c = FromKey(own[0]);
        const bool white = Key(c) == 0xFFFFFF;
        if (!white) pal = {c, TRGB{255, 255, 255}};
        colour0 = white ? 0x1000000 : Key(c);  // every pixel is bit 1 for white, else 0
        rows = nullptr;
      } else {
        dithered.Assign(src);
        TProgressRec quiet;  // the rows below report the progress
        bool stop = false;
        quiet.Aborting = &stop;
        _ConvertToBWOrdered(&dithered, quiet);
        rows = &dithered;
      }
    }
  } else if (bits <= 8) {
    pal = IndexedPalette(src, 1 << bits, Params.ColorMap, indexer);
  }
  if (bits <= 8) Params.ColorMap = pal;

  // Headers (finished at the end) and the colour table.
  const int64_t start = Stream->GetPosition();
  std::vector<uint8_t> fh = FileHeader(0, 0);
  Stream->WriteBuffer(fh.data(), int64_t(fh.size()));
  std::vector<uint8_t> ih = InfoHeader(headerSize, W, H, 0, compression, 0, Params, bits);
  Stream->WriteBuffer(ih.data(), int64_t(ih.size()));
  if (bits <= 8) {
    std::vector<uint8_t> table;
    for (TRGB c : pal) {
      table.insert(table.end(), {c.b, c.g, c.r});
      if (!core) table.push_back(0);
    }
    Stream->WriteBuffer(table.data(), int64_t(table.size()));
  }
  const int64_t dataStart = Stream->GetPosition();

  // Rows, bottom-up.
  const size_t rowLen = size_t(_BitmapRowLen(W, bits));
  std::vector<uint8_t> out(rowLen), px(size_t(W) * 3), idx(static_cast<size_t>(W));
  std::vector<uint8_t> coded;
  ProgressBegin(Progress, H);
  for (int k = 0; k < H; ++k) {
    if (ProgressUnit(Progress, k)) return true;
    const int y = H - 1 - k;
    std::fill(out.begin(), out.end(), 0);
    if (bits == 24) {
      Row24(src, y, out.data());
    } else if (bits == 1) {
      if (rows != nullptr) {
        CopyRow1(rows->ScanLine(y), out.data(), W, false);
      } else {
        const uint8_t* s = src->ScanLine(y);
        for (int x = 0; x < W; ++x)
          if (Key(s + 3 * x) != colour0) out[size_t(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    } else {
      Row24(src, y, px.data());
      for (int x = 0; x < W; ++x) idx[size_t(x)] = indexer.Index(px.data() + 3 * x);
      if (rle) {
        coded.clear();
        EncodeRLERow(idx.data(), W, bits == 4, coded);
        Stream->WriteBuffer(coded.data(), int64_t(coded.size()));
        continue;
      }
      if (bits == 8) {
        std::memcpy(out.data(), idx.data(), size_t(W));
      } else {
        for (int x = 0; x < W; ++x) out[size_t(x >> 1)] |= static_cast<uint8_t>((x & 1) ? idx[size_t(x)] : idx[size_t(x)] << 4);
      }
    }
    Stream->WriteBuffer(out.data(), int64_t(out.size()));
  }
  if (rle) {
    const uint8_t end[2] = {0, 1};
    Stream->WriteBuffer(end, 2);
  }

  // Finish the headers.
  const int64_t end = Stream->GetPosition();
  fh = FileHeader(end - start, dataStart - start);
  ih = InfoHeader(headerSize, W, H, bits, compression, uint32_t(end - dataStart), Params, bits);
  Stream->SetPosition(start);
  Stream->WriteBuffer(fh.data(), int64_t(fh.size()));
  Stream->WriteBuffer(ih.data(), int64_t(ih.size()));
  Stream->SetPosition(end);
  return true;
}

}  // namespace

void BMPWriteStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  bool ok = false;
  try {
    ok = Stream != nullptr && WriteBitmap(Stream, Bitmap, Params, Progress);
  } catch (...) {
    ok = false;  // the stream refused the data, or memory ran out
  }
  if (!ok) ProgressFail(Progress);
}

}  // namespace corvex
