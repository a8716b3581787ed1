// Reading icons and cursors: one image of the resource directory, its colour (XOR) rows composed
// with its mask (AND) rows or its alpha channel over the record's background; PNG images of the
// directory through the PNG reader.
#include <algorithm>
#include <cstring>
#include <vector>

#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/io/codecs/bmp_pvt.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/platform/screen.h"

namespace corvex {

using namespace bmp_detail;

namespace {

constexpr int kMaxHeaderSide = 2048;  // header sizes at or above this are not believed

// Pixel a over b by alpha, rounded to nearest (as the PNG reader composes).
inline uint8_t Over(uint8_t Fg, uint8_t Bg, unsigned Alpha) {
  const unsigned t = Fg * Alpha + Bg * (255 - Alpha) + 128;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// Reads the chosen image; false when it cannot be read (the caller sets the abort flag).
bool ReadIcon(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview, bool Cursor) {
  const int64_t start = Stream->GetPosition();
  TIconDirHead head;
  if (!ReadAll(Stream, &head, sizeof head)) return false;
  if (head.idReserved != 0 || (head.idType != 1 && head.idType != 2) || head.idCount == 0) return false;
  const int index = Cursor ? Params.CUR_ImageIndex : Params.ICO_ImageIndex;
  if (index < 0 || index >= head.idCount) return true;  // nothing to load; not an error

  TIconDirEntry entry;
  Stream->SetPosition(start + int64_t(sizeof head) + int64_t(index) * int64_t(sizeof entry));
  if (!ReadAll(Stream, &entry, sizeof entry)) return false;
  if (Cursor) {
    Params.CUR_XHotSpot = entry.wPlanes;
    Params.CUR_YHotSpot = entry.wBitCount;
  }
  const TRGB background = Cursor ? Params.CUR_Background : Params.ICO_Background;

  // A PNG stream instead of a DIB (large icons). Its transparency goes over the background.
  const int64_t imagePos = start + int64_t(entry.dwImageOffset);
  Stream->SetPosition(imagePos);
  if (IsPNGStream(Stream)) {
    const TRGB keep = Params.PNG_Background;
    Params.PNG_Background = background;
    TProgressRec quiet;  // icons report no progress and do not stop on the caller's flag
    bool failed = false;
    quiet.Aborting = &failed;
    ReadPNGStream(Stream, Bitmap, Params, quiet, Preview);
    Params.PNG_Background = keep;
    return !failed;
  }

  TBitmapInfoHeader bih;
  if (!ReadAll(Stream, &bih, sizeof bih)) return false;
  if (bih.biSize > sizeof bih && bih.biSize <= 1024) Stream->SetPosition(imagePos + bih.biSize);
  if (bih.biCompression != BI_RGB) return false;
  Params.DpiX = DpiFromPelsPerMeter(bih.biXPelsPerMeter, gSystemDPIX);
  Params.DpiY = DpiFromPelsPerMeter(bih.biYPelsPerMeter, gSystemDPIY);

  // Depth: icons take the directory's, unless the header has one; cursors the header's.
  int bits = Cursor ? bih.biBitCount : (bih.biBitCount != 0 ? bih.biBitCount : entry.wBitCount);
  if (bits == 0) {
    if (entry.bColorCount == 0) return false;
    bits = _NColToBitsPixel(entry.bColorCount);
  }
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  Params.BitsPerSample = bits > 8 ? 8 : bits;
  Params.SamplesPerPixel = bits > 8 ? 3 : 1;

  // Size: the directory's, unless the header (whose height counts colour and mask rows) gives a
  // believable one; it describes the data that is actually there.
  int64_t W = entry.bWidth != 0 ? entry.bWidth : bih.biWidth;
  int64_t H = entry.bHeight != 0 ? entry.bHeight : bih.biHeight / 2;
  if (bih.biWidth > 0 && bih.biWidth < kMaxHeaderSide && bih.biHeight > 1 && bih.biHeight < kMaxHeaderSide) {
    W = bih.biWidth;
    H = bih.biHeight / 2;
  }
  if (W <= 0 || H <= 0 || W > INT32_MAX || H > INT32_MAX) return false;
  Params.Width = static_cast<int>(W);
  Params.Height = static_cast<int>(H);

  // The colour table follows the header; its length is the DIB's own (colours used, else the
  // depth's), whatever the directory says.
  Params.ColorMap.clear();
  if (bits <= 8) {
    const int64_t n = bih.biClrUsed != 0 ? std::min<int64_t>(bih.biClrUsed, int64_t(1) << bits) : int64_t(1) << bits;
    std::vector<uint8_t> raw(size_t(n) * 4);
    if (!ReadAll(Stream, raw.data(), int64_t(raw.size()))) return false;
    Params.ColorMap.resize(size_t(n));
    for (int64_t i = 0; i < n; ++i) Params.ColorMap[size_t(i)] = TRGB{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
  }
  if (Preview) return true;
  if (!CXImageSizeAllowed(W, H)) return false;

  // Colour rows, then mask rows; both bottom-up. A short colour image keeps what is there and
  // fails; a missing mask counts as opaque.
  const int w = static_cast<int>(W), h = static_cast<int>(H);
  const int64_t rowLen = _BitmapRowLen(w, bits), maskLen = _BitmapRowLen(w, 1);
  if (!CXDataCanHold(Remaining(Stream), rowLen * H, 1)) return false;
  std::vector<uint8_t> colour(size_t(rowLen * H), 0), mask(size_t(maskLen * H), 0);
  const int64_t gotColour = ReadSome(Stream, colour.data(), int64_t(colour.size()));
  ReadSome(Stream, mask.data(), int64_t(mask.size()));
  const bool truncated = gotColour < int64_t(colour.size());

  TPalette256 pal;
  pal.Assign(Params.ColorMap);
  auto masked = [&](int fileRow, int x) { return (mask[size_t(fileRow * maskLen + (x >> 3))] >> (7 - (x & 7))) & 1; };

  if (bits == 1 && (pal.IsBlackWhite() || pal.IsWhiteBlack())) {
    // Black and white: under the mask a black pixel shows the background and a white one its
    // opposite (the screen inverted), each made black or white.
    const unsigned bgWhite = _RGBToGray(background) >= 128 ? 1 : 0;
    const bool invert = pal.IsWhiteBlack();
    Bitmap->Allocate(w, h, pf1bit);
    for (int r = 0; r < h; ++r) {
      const uint8_t* src = colour.data() + size_t(r * rowLen);
      uint8_t* dst = Bitmap->ScanLine(h - 1 - r);
      CopyRow1(src, dst, w, invert);
      for (int x = 0; x < w; ++x) {
        if (!masked(r, x)) continue;
        const unsigned v = ((dst[x >> 3] >> (7 - (x & 7))) & 1) ^ bgWhite;
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        dst[x >> 3] = static_cast<uint8_t>(v ? (dst[x >> 3] | bit) : (dst[x >> 3] & ~bit));
      }
    }
    return !truncated;
  }

  Bitmap->Allocate(w, h, pf24bit);
  TPixelLayout layout;
  layout.bits = bits;
  // A 32-bit image whose fourth bytes are all zero has no alpha channel; its mask decides.
  bool alpha = false;
  if (bits == 32) {
    for (size_t i = 3; i < colour.size() && !alpha; i += 4) alpha = colour[i] != 0;
  }
  for (int r = 0; r < h; ++r) {
    const uint8_t* src = colour.data() + size_t(r * rowLen);
    uint8_t* dst = Bitmap->ScanLine(h - 1 - r);
    DecodeRow24(layout, pal, src, dst, w);
    for (int x = 0; x < w; ++x) {
      uint8_t* d = dst + 3 * x;
      if (alpha) {
        const unsigned a = src[4 * x + 3];
        if (a == 255) continue;
        d[0] = Over(d[0], background.b, a);
        d[1] = Over(d[1], background.g, a);
        d[2] = Over(d[2], background.r, a);
      } else if (masked(r, x)) {
        d[0] = background.b;
        d[1] = background.g;
        d[2] = background.r;
      }
    }
  }
  return !truncated;
}

void ReadIconOrCursor(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview,
                      TProgressRec& Progress, bool Cursor) {
  if (Stream == nullptr || (Bitmap == nullptr && !Preview)) {
    ProgressFail(Progress);
    return;
  }
  bool ok = false;
  try {
    if (!Cursor) {
      // A bitmap saved with an icon's name.
      const int64_t pos = Stream->GetPosition();
      uint8_t sig[2] = {};
      const bool bm = ReadAll(Stream, sig, 2) && (sig[0] | sig[1] << 8) == kBMSignature;
      Stream->SetPosition(pos);
      if (bm) {
        const int64_t size = Stream->GetSize() - pos;
        BMPReadStream(Stream, Bitmap, static_cast<int>(std::min<int64_t>(size, INT32_MAX)), Params, Progress, Preview);
        return;
      }
    }
    ok = ReadIcon(Stream, Bitmap, Params, Preview, Cursor);
  } catch (...) {
    ok = false;
  }
  if (!ok) ProgressFail(Progress);
}

bool TryDirectory(TStream* Stream, uint16_t Type) {
  if (Stream == nullptr) return false;
  const int64_t pos = Stream->GetPosition();
  bool ok = false;
  try {
    TIconDirHead head;
    ok = Stream->GetSize() - pos > 22 && ReadAll(Stream, &head, sizeof head) && head.idReserved == 0 &&
         head.idType == Type && head.idCount != 0;
    for (int i = 0; ok && i < head.idCount; ++i) {
      TIconDirEntry e;
      ok = ReadAll(Stream, &e, sizeof e) && e.bReserved == 0 && e.dwBytesInRes != 0 &&
           int64_t(e.dwImageOffset) >= Stream->GetPosition() - pos;
    }
  } catch (...) {
    ok = false;
  }
  Stream->SetPosition(pos);
  return ok;
}

}  // namespace

void ICOReadStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview, TProgressRec& Progress) {
  ReadIconOrCursor(Stream, Bitmap, Params, Preview, Progress, false);
}

void CURReadStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool Preview, TProgressRec& Progress) {
  ReadIconOrCursor(Stream, Bitmap, Params, Preview, Progress, true);
}

bool ICOTryStream(TStream* Stream) { return TryDirectory(Stream, 1); }
bool CURTryStream(TStream* Stream) { return TryDirectory(Stream, 2); }

}  // namespace corvex
