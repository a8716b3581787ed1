// Reading image n of a GIF file. The blocks are walked in order; every image descriptor counts,
// the graphic control extension that precedes the wanted image gives its delay and
// transparency, and only the wanted image is decoded (through the LZW hook). The walk goes on to
// the trailer (or the end of the data) so that the image count is complete.
#include <cstring>
#include <memory>

#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/GIFFilter_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

using namespace gif;

namespace {

// A table for images that have neither a local nor a global one: index i is grey level i.
std::vector<TRGB> GreyRamp() {
  std::vector<TRGB> t(256);
  for (int i = 0; i < 256; ++i) t[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
  return t;
}

// Fills the bitmap from the decoded indices. A black-then-white two-colour table gives a 1-bit
// image, anything else 24 bits; indices past the table are black.
void StoreImage(TBitmap* Bitmap, const uint8_t* Indices, int Width, int Height, const std::vector<TRGB>& Table,
                int BitsPerSample) {
  const bool blackWhite = BitsPerSample == 1 && Table.size() >= 2 && EqualRGB(Table[0], TRGB{0, 0, 0}) &&
                          EqualRGB(Table[1], TRGB{255, 255, 255});
  if (blackWhite) {
    Bitmap->Allocate(Width, Height, pf1bit);
    for (int y = 0; y < Height; ++y) {
      const uint8_t* src = Indices + int64_t(y) * Width;
      uint8_t* row = Bitmap->ScanLine(y);
      for (int x = 0; x < Width; ++x)
        if (src[x] == 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    return;
  }
  TRGB lut[256];
  std::memset(lut, 0, sizeof lut);
  for (size_t i = 0; i < Table.size() && i < 256; ++i) lut[i] = Table[i];
  Bitmap->Allocate(Width, Height, pf24bit);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* src = Indices + int64_t(y) * Width;
    uint8_t* p = Bitmap->ScanLine(y);
    for (int x = 0; x < Width; ++x, p += 3) {
      const TRGB c = lut[src[x]];
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  }
}

TRGB EntryOrBlack(const std::vector<TRGB>& Table, int Index) {
  return Index >= 0 && size_t(Index) < Table.size() ? Table[size_t(Index)] : TRGB{0, 0, 0};
}

// The walk; Counter is kept by the caller so that it survives an exception.
void ReadBlocks(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview,
                int& Counter) {
  Input in(Stream);
  uint8_t hdr[kHeaderSize];
  if (!in.Bytes(hdr, kHeaderSize) || std::memcmp(hdr, "GIF", 3) != 0) {
    ProgressFail(Progress);
    return;
  }
  Params.GIF_Version = std::string(reinterpret_cast<const char*>(hdr), 6) + '\0';
  Params.GIF_WinWidth = Get16(hdr + 6);
  Params.GIF_WinHeight = Get16(hdr + 8);
  Params.GIF_Ratio = hdr[12];
  Params.DpiX = gSystemDPIX;
  Params.DpiY = gSystemDPIY;
  Params.SamplesPerPixel = 1;

  std::vector<TRGB> global;
  const bool hasGlobal = (hdr[10] & 0x80) != 0;
  if (hasGlobal) {
    ReadColorTable(in, TableCount(hdr[10]), global);
    Params.GIF_Background = EntryOrBlack(global, hdr[11]);
  }
  if (in.AtEnd()) {
    ProgressFail(Progress);
    return;
  }

  const int wanted = Params.GIF_ImageIndex;
  uint8_t gcPacked = 0, gcTransparent = 0;
  int gcDelay = 0;

  while (!ProgressAborting(Progress)) {
    uint8_t b = kTrailer;
    if (!in.Byte(b) || in.AtEnd()) b = kTrailer;

    if (b == kExtension) {
      uint8_t label = 0;
      if (!in.Byte(label)) break;
      if (label == kGraphicControl && Counter == wanted) {
        // The first sub-block holds packed byte, delay and transparent index; anything more
        // (a longer block, further blocks) is skipped.
        uint8_t n = 0;
        if (!in.Byte(n)) break;
        uint8_t gce[255];
        const bool whole = in.Bytes(gce, n);
        if (whole && n >= 4) {
          gcPacked = gce[0];
          gcDelay = Get16(gce + 1);
          gcTransparent = gce[3];
        }
        if (!whole || (n != 0 && !in.SkipSubBlocks())) break;
      } else if (!in.SkipSubBlocks()) {
        break;
      }
      continue;
    }

    if (b == kImage) {
      uint8_t d[kDescriptorSize];
      if (!in.Bytes(d, kDescriptorSize)) break;
      std::vector<TRGB> local;
      const bool hasLocal = (d[8] & 0x80) != 0;
      if (hasLocal) ReadColorTable(in, TableCount(d[8]), local);

      if (Counter != wanted) {
        uint8_t codeSize = 0;
        if (!in.Byte(codeSize) || !in.SkipSubBlocks()) {
          ++Counter;
          break;
        }
        ++Counter;
        continue;
      }

      ProgressReport(Progress, 30);
      if (ProgressAborting(Progress)) break;
      const int width = Get16(d + 4), height = Get16(d + 6);
      const bool interlaced = (d[8] & 0x40) != 0;
      // The table of the image: its own, else the global one, else a grey ramp.
      const std::vector<TRGB> table = hasLocal ? local : hasGlobal ? global : GreyRamp();
      const int bitsPerSample = hasLocal ? (d[8] & 7) + 1 : hasGlobal ? (hdr[10] & 7) + 1 : 8;
      Params.GIF_XPos = Get16(d);
      Params.GIF_YPos = Get16(d + 2);
      Params.Width = width;
      Params.Height = height;
      Params.GIF_DelayTime = gcDelay;
      Params.GIF_FlagTranspColor = (gcPacked & 1) != 0;
      Params.GIF_TranspColor = EntryOrBlack(table, gcTransparent);
      Params.GIF_Interlaced = interlaced;

      std::unique_ptr<uint8_t[]> indices;
      if (Preview) {
        uint8_t codeSize = 0;
        if (in.Byte(codeSize)) in.SkipSubBlocks();
      } else {
        // LZW gives at most 4096 pixels for a 12-bit code (a string of the full table), so data
        // shorter than a 4096th of the pixels cannot be the image: a bomb, refused before its
        // buffers are allocated.
        const TGIFLZWDecompFunc decode = Decoder(Params);
        const int64_t pixels = int64_t(width) * height;
        if (decode == nullptr || !CXImageSizeAllowed(width, height) ||
            (Stream->GetSize() - Stream->GetPosition()) * 4096 < pixels) {
          ProgressFail(Progress);
          break;
        }
        indices.reset(new uint8_t[size_t(pixels)]());
        const int64_t before = Stream->GetPosition();
        decode(Stream, height, width, indices.get(), interlaced);
        if (Stream->GetPosition() == before) {
          ProgressFail(Progress);
          break;
        }
        ProgressReport(Progress, 70);
        if (ProgressAborting(Progress)) break;
      }

      Params.ColorMap = table;
      Params.BitsPerSample = bitsPerSample;
      if (!Preview) StoreImage(Bitmap, indices.get(), width, height, table, bitsPerSample);
      ++Counter;
      continue;
    }

    if (b == kTrailer) break;
    // Any other byte is not a block start: skip it.
  }
}

}  // namespace

void ReadGifStream(TStream* Stream, TBitmap* Bitmap, int& ImageCount, TIOParamsVals& Params, TProgressRec& Progress,
                   bool Preview) {
  ProgressReport(Progress, 0);
  if (ProgressAborting(Progress)) return;
  if (Stream == nullptr || (Bitmap == nullptr && !Preview)) {
    ProgressFail(Progress);
    return;
  }
  int counter = 0;
  try {
    ReadBlocks(Stream, Bitmap, Params, Progress, Preview, counter);
  } catch (const std::exception&) {
    // A stream that fails underneath, or memory that cannot be had: the read fails.
    ProgressFail(Progress);
  }
  Params.GIF_ImageCount = counter;
  ImageCount = counter;
  if (!ProgressAborting(Progress)) ProgressReport(Progress, 100);
}

void ReadGif(const std::string& FileName, TBitmap* Bitmap, int& ImageCount, TIOParamsVals& Params,
             TProgressRec& Progress) {
  TFileStream f(FileName, fmOpenRead);
  ReadGifStream(&f, Bitmap, ImageCount, Params, Progress, false);
}

}  // namespace corvex
