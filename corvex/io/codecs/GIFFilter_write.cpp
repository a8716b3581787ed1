// Writing a single-image GIF, and the reduction of a bitmap to palette indices that the writer
// and the inserter share.
#include <cstdio>
#include <cstring>
#include <memory>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/GIFFilter_pvt.h"

namespace corvex {

using namespace gif;

namespace gif {

namespace {

// A 24-bit copy of a bitmap of another format.
std::unique_ptr<TBitmap> Copy24(const TBitmap* Bitmap) {
  auto b = std::make_unique<TBitmap>();
  b->Assign(Bitmap);
  b->SetPixelFormat(pf24bit);
  return b;
}

// The one colour of a 24-bit image that has only one (false when it has more).
bool SingleColor(const TBitmap* Bitmap, TRGB& Color) {
  const uint8_t* p0 = Bitmap->ScanLine(0);
  Color = TRGB{p0[0], p0[1], p0[2]};
  for (int y = 0; y < Bitmap->GetHeight(); ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    for (int x = 0; x < Bitmap->GetWidth(); ++x, p += 3)
      if (p[0] != Color.b || p[1] != Color.g || p[2] != Color.r) return false;
  }
  return true;
}

// Indices of a 1-bit image: its bits, most significant first.
void IndicesFromBits(const TBitmap* Bitmap, IndexedImage& Image) {
  for (int y = 0; y < Image.Height; ++y) {
    const uint8_t* row = Bitmap->ScanLine(y);
    uint8_t* out = Image.Pixels.data() + int64_t(y) * Image.Width;
    for (int x = 0; x < Image.Width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

// Indices of a 24-bit image through the quantizer. Neighbouring pixels often share a colour, so
// the last lookup is kept.
void IndicesFromColors(const TBitmap* Bitmap, const TCXQuantizer& Quantizer, IndexedImage& Image) {
  for (int y = 0; y < Image.Height; ++y) {
    const uint8_t* p = Bitmap->ScanLine(y);
    uint8_t* out = Image.Pixels.data() + int64_t(y) * Image.Width;
    uint32_t last = 0xFFFFFFFFu;
    uint8_t lastIndex = 0;
    for (int x = 0; x < Image.Width; ++x, p += 3) {
      const uint32_t key = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      if (key != last) {
        last = key;
        lastIndex = static_cast<uint8_t>(Quantizer.GetRGBIndex(TRGB{p[0], p[1], p[2]}));
      }
      out[x] = lastIndex;
    }
  }
}

}  // namespace

bool PrepareImage(const TBitmap* Bitmap, const TIOParamsVals& Params, bool DitherWhenMoreColors,
                  IndexedImage& Image, TProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return false;
  if (Bitmap->GetWidth() > 0xFFFF || Bitmap->GetHeight() > 0xFFFF) return false;
  Image.Width = Bitmap->GetWidth();
  Image.Height = Bitmap->GetHeight();
  Image.Bits = Params.BitsPerSample >= 1 && Params.BitsPerSample <= 8 ? Params.BitsPerSample : 8;
  Image.Pixels.assign(size_t(Image.Width) * size_t(Image.Height), 0);

  // Conversions share the caller's abort flag but report nothing.
  TProgressRec silent;
  silent.Aborting = Progress.Aborting;

  std::unique_ptr<TBitmap> owned24, owned1;
  const TBitmap* src24 = Bitmap;
  if (Bitmap->GetPixelFormat() != pf24bit && !(Image.Bits == 1 && Bitmap->GetPixelFormat() == pf1bit)) {
    owned24 = Copy24(Bitmap);
    src24 = owned24.get();
  }

  if (Image.Bits == 1) {
    const TRGB black{0, 0, 0}, white{255, 255, 255};
    Image.Palette = {black, white};
    TRGB c1{}, c2{};
    if (Bitmap->GetPixelFormat() != pf1bit) owned1.reset(_ConvertTo1bit(src24, c1, c2));
    if (Bitmap->GetPixelFormat() == pf1bit) {
      IndicesFromBits(Bitmap, Image);
    } else if (owned1) {
      // Two colours: kept as they are, the darker one first.
      Image.Palette = {c1, c2};
      IndicesFromBits(owned1.get(), Image);
    } else if (SingleColor(src24, c1)) {
      Image.Palette = {c1, c1};
    } else if (DitherWhenMoreColors) {
      auto dithered = std::make_unique<TBitmap>();
      dithered->Assign(src24);
      _ConvertToBWOrdered(dithered.get(), silent);
      if (dithered->GetPixelFormat() != pf1bit) dithered->SetPixelFormat(pf1bit);
      IndicesFromBits(dithered.get(), Image);
    } else {
      Image.Bits = 8;  // more than two colours, and no dithering wanted: a full palette
    }
    if (Image.Bits == 1) {
      Image.Background = static_cast<uint8_t>(_GetSimilColor(Image.Palette.data(), 2, Params.GIF_Background));
      Image.Transparent = static_cast<uint8_t>(_GetSimilColor(Image.Palette.data(), 2, Params.GIF_TranspColor));
      return true;
    }
  }

  const int n = 1 << Image.Bits;
  Image.Palette.assign(size_t(n), TRGB{0, 0, 0});
  TCXQuantizer quantizer(src24, Image.Palette.data(), n, n, -1);
  IndicesFromColors(src24, quantizer, Image);
  Image.Background = static_cast<uint8_t>(quantizer.GetRGBIndex(Params.GIF_Background));
  Image.Transparent = static_cast<uint8_t>(quantizer.GetRGBIndex(Params.GIF_TranspColor));
  return true;
}

}  // namespace gif

void WriteGifStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  ProgressReport(Progress, 0);
  if (ProgressAborting(Progress)) return;
  try {
    IndexedImage image;
    if (Stream == nullptr || !PrepareImage(Bitmap, Params, true, image, Progress)) {
      ProgressFail(Progress);
      return;
    }
    ProgressReport(Progress, 30);
    if (ProgressAborting(Progress)) return;

    uint8_t h[kHeaderSize];
    std::memcpy(h, VersionToWrite(Params.GIF_Version).data(), 6);
    Put16(h + 6, image.Width);
    Put16(h + 8, image.Height);
    h[10] = static_cast<uint8_t>((image.Bits - 1) | (image.Bits - 1) << 4 | 0x80);
    h[11] = image.Background;
    h[12] = 0;
    Stream->WriteBuffer(h, kHeaderSize);
    WriteColorTable(Stream, image.Palette);
    WriteGraphicControl(Stream, Params, image.Transparent);

    uint8_t d[1 + kDescriptorSize];
    d[0] = kImage;
    Put16(d + 1, Params.GIF_XPos);
    Put16(d + 3, Params.GIF_YPos);
    Put16(d + 5, image.Width);
    Put16(d + 7, image.Height);
    d[9] = Params.GIF_Interlaced ? 0x40 : 0;
    Stream->WriteBuffer(d, sizeof d);

    ProgressReport(Progress, 70);
    if (ProgressAborting(Progress)) return;
    const TGIFLZWCompFunc encode = Encoder(Params);
    if (encode == nullptr) {
      ProgressFail(Progress);
      return;
    }
    encode(Stream, image.Height, image.Width, image.Bits, image.Pixels.data(), Params.GIF_Interlaced);
    Stream->WriteBuffer(&kTrailer, 1);
    ProgressReport(Progress, 100);
  } catch (const std::exception&) {
    ProgressFail(Progress);
  }
}

void WriteGif(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  std::string tmp;
  std::unique_ptr<TFileStream> f = CreateTempBeside(FileName, tmp);
  bool done = false;
  try {
    WriteGifStream(f.get(), Bitmap, Params, Progress);
    if (!ProgressAborting(Progress)) {
      f->Flush();
      done = true;
    }
    f.reset();
  } catch (...) {
    f.reset();
    std::remove(tmp.c_str());
    throw;
  }
  if (!done) {
    std::remove(tmp.c_str());
    return;
  }
  CommitTempFile(tmp, FileName);
}

}  // namespace corvex
