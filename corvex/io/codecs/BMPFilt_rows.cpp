// The pieces the bitmap and icon readers share: bounded stream reads, resolution conversion,
// colour tables, and the decoders of one row of pixels and of run-length coded data.
#include <algorithm>
#include <bit>
#include <cstring>

#include "corvex/io/codecs/bmp_pvt.h"

namespace corvex::bmp_detail {

int64_t ReadSome(TStream* Stream, void* Buffer, int64_t Count) {
  auto* p = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const int64_t got = Stream->Read(p + done, Count - done);
    if (got <= 0) break;
    done += got;
  }
  return done;
}

int64_t Remaining(TStream* Stream) {
  const int64_t left = Stream->GetSize() - Stream->GetPosition();
  return left > 0 ? left : 0;
}

int DpiFromPelsPerMeter(int32_t PelsPerMeter, int Fallback) {
  const int dpi = Round(static_cast<double>(PelsPerMeter) / 100.0 * 2.54);
  return dpi > 0 ? dpi : Fallback;
}

int32_t PelsPerMeterFromDpi(int Dpi) { return Round(static_cast<double>(Dpi) / 2.54 * 100.0); }

// ---------------------------------------------------------------------------------------------
// Colour tables and pixel layouts

void TPalette256::Assign(const std::vector<TRGB>& Map) {
  count = static_cast<int>(std::min<size_t>(Map.size(), 256));
  std::fill(std::begin(c), std::end(c), TRGB{0, 0, 0});
  std::copy(Map.begin(), Map.begin() + count, c);
}

namespace {
bool IsBlack(TRGB v) { return v.r == 0 && v.g == 0 && v.b == 0; }
bool IsWhite(TRGB v) { return v.r == 255 && v.g == 255 && v.b == 255; }
}  // namespace

bool TPalette256::IsBlackWhite() const { return count >= 2 && IsBlack(c[0]) && IsWhite(c[1]); }
bool TPalette256::IsWhiteBlack() const { return count >= 2 && IsWhite(c[0]) && IsBlack(c[1]); }

void TPixelLayout::SetMasks(uint32_t Red, uint32_t Green, uint32_t Blue) {
  masked = (Red | Green | Blue) != 0;
  const uint32_t m[3] = {Red, Green, Blue};
  for (int c = 0; c < 3; ++c) {
    mask[c] = m[c];
    lut[c].clear();
    if (m[c] == 0) {
      shift[c] = 0;
      max[c] = 0;
      continue;
    }
    shift[c] = std::countr_zero(m[c]);
    max[c] = m[c] >> shift[c];
    // Fields of up to 16 bits get a table; wider ones are scaled pixel by pixel.
    if (max[c] <= 0xFFFF) {
      lut[c].resize(size_t(max[c]) + 1);
      for (uint32_t x = 0; x <= max[c]; ++x) lut[c][x] = static_cast<uint8_t>(uint64_t(x) * 255 / max[c]);
    }
  }
}

bool TPixelLayout::MasksAreDefault32() const {
  return !masked || (mask[0] == 0xFF0000 && mask[1] == 0xFF00 && mask[2] == 0xFF);
}

// ---------------------------------------------------------------------------------------------
// Rows

void DecodeRow24(const TPixelLayout& Layout, const TPalette256& Palette, const uint8_t* Src, uint8_t* Dst,
                 int Width) {
  const TRGB* pal = Palette.c;
  auto put = [&Dst](TRGB v) {
    Dst[0] = v.b;
    Dst[1] = v.g;
    Dst[2] = v.r;
    Dst += 3;
  };
  switch (Layout.bits) {
    case 1:
      for (int x = 0; x < Width; ++x) put(pal[(Src[x >> 3] >> (7 - (x & 7))) & 1]);
      break;
    case 2:
      for (int x = 0; x < Width; ++x) put(pal[(Src[x >> 2] >> (6 - 2 * (x & 3))) & 3]);
      break;
    case 4:
      for (int x = 0; x < Width; ++x) put(pal[(x & 1) ? (Src[x >> 1] & 15) : (Src[x >> 1] >> 4)]);
      break;
    case 8:
      for (int x = 0; x < Width; ++x) put(pal[Src[x]]);
      break;
    case 16:
      if (!Layout.masked) {
        for (int x = 0; x < Width; ++x, Src += 2) {
          const unsigned v = Src[0] | unsigned(Src[1]) << 8;
          Dst[0] = static_cast<uint8_t>((v & 0x1F) << 3);
          Dst[1] = static_cast<uint8_t>((v & 0x3E0) >> 2);
          Dst[2] = static_cast<uint8_t>((v & 0x7C00) >> 7);
          Dst += 3;
        }
      } else {
        for (int x = 0; x < Width; ++x, Src += 2) {
          const uint32_t v = Src[0] | uint32_t(Src[1]) << 8;
          Dst[0] = Layout.Channel(2, v);
          Dst[1] = Layout.Channel(1, v);
          Dst[2] = Layout.Channel(0, v);
          Dst += 3;
        }
      }
      break;
    case 24:
      std::memcpy(Dst, Src, size_t(Width) * 3);
      break;
    case 32:
      if (Layout.MasksAreDefault32()) {
        for (int x = 0; x < Width; ++x, Src += 4, Dst += 3) {
          Dst[0] = Src[0];
          Dst[1] = Src[1];
          Dst[2] = Src[2];
        }
      } else {
        for (int x = 0; x < Width; ++x, Src += 4) {
          const uint32_t v = Src[0] | uint32_t(Src[1]) << 8 | uint32_t(Src[2]) << 16 | uint32_t(Src[3]) << 24;
          Dst[0] = Layout.Channel(2, v);
          Dst[1] = Layout.Channel(1, v);
          Dst[2] = Layout.Channel(0, v);
          Dst += 3;
        }
      }
      break;
    default:
      break;
  }
}

void CopyRow1(const uint8_t* Src, uint8_t* Dst, int Width, bool Invert) {
  const int n = (Width + 7) / 8;
  if (Invert) {
    for (int i = 0; i < n; ++i) Dst[i] = static_cast<uint8_t>(~Src[i]);
  } else {
    std::memcpy(Dst, Src, size_t(n));
  }
  if (Width & 7) Dst[n - 1] &= static_cast<uint8_t>(0xFF << (8 - (Width & 7)));
}

// ---------------------------------------------------------------------------------------------
// Run-length coding

bool DecodeRLE(const uint8_t* Data, int64_t Length, bool Rle4, const TPalette256& Palette, TBitmap* Bitmap,
               bool TopDown, TProgressRec& Progress) {
  const int64_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return true;
  int64_t x = 0, fr = 0, p = 0;
  auto rowOf = [&](int64_t r) { return Bitmap->ScanLine(static_cast<int>(TopDown ? r : H - 1 - r)); };
  uint8_t* row = rowOf(0);
  auto put = [&](uint8_t idx) {
    if (x < W) {
      const TRGB v = Palette.c[idx];
      uint8_t* d = row + 3 * x;
      d[0] = v.b;
      d[1] = v.g;
      d[2] = v.r;
    }
    ++x;
  };
  while (p + 1 < Length) {
    const uint8_t a = Data[p], b = Data[p + 1];
    p += 2;
    if (a > 0) {  // a pixels of colour b (RLE4: the two nibbles of b in turn)
      const int64_t n = std::min<int64_t>(a, std::max<int64_t>(W - x, 0));
      if (Rle4) {
        const uint8_t hi = b >> 4, lo = b & 15;
        for (int64_t i = 0; i < n; ++i) put((i & 1) ? lo : hi);
      } else {
        for (int64_t i = 0; i < n; ++i) put(b);
      }
      x += a - n;
      continue;
    }
    switch (b) {
      case 0:  // end of line
        x = 0;
        if (++fr >= H) return true;
        row = rowOf(fr);
        ProgressReport(Progress, Trunc(double(fr + 1) * Progress.PercentPerUnit));
        if (ProgressAborting(Progress)) return false;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // move right and up
        if (p + 1 >= Length) return true;
        x += Data[p];
        if (Data[p + 1] != 0) {
          fr += Data[p + 1];
          if (fr >= H) return true;
          row = rowOf(fr);
        }
        p += 2;
        break;
      default: {  // b literal pixels, padded to an even number of bytes
        const int64_t bytes = Rle4 ? (b + 1) / 2 : b;
        const int64_t avail = std::min(bytes, Length - p);
        const uint8_t* s = Data + p;
        if (Rle4) {
          const int64_t n = std::min<int64_t>(b, avail * 2);
          for (int64_t i = 0; i < n; ++i) put((i & 1) ? (s[i >> 1] & 15) : (s[i >> 1] >> 4));
        } else {
          for (int64_t i = 0; i < avail; ++i) put(s[i]);
        }
        if (avail < bytes) return true;
        p += bytes + (bytes & 1);
        break;
      }
    }
  }
  return true;
}

namespace {

void FlushLiterals(const uint8_t* Lit, int N, bool Rle4, std::vector<uint8_t>& Out) {
  if (N <= 0) return;
  if (N == 1) {
    Out.push_back(1);
    Out.push_back(Rle4 ? static_cast<uint8_t>(Lit[0] << 4) : Lit[0]);
    return;
  }
  if (N == 2) {
    if (Rle4) {
      Out.push_back(2);
      Out.push_back(static_cast<uint8_t>(Lit[0] << 4 | (Lit[1] & 15)));
    } else {
      Out.push_back(1);
      Out.push_back(Lit[0]);
      Out.push_back(1);
      Out.push_back(Lit[1]);
    }
    return;
  }
  Out.push_back(0);
  Out.push_back(static_cast<uint8_t>(N));
  int bytes = 0;
  if (Rle4) {
    for (int i = 0; i < N; i += 2) {
      const uint8_t lo = i + 1 < N ? (Lit[i + 1] & 15) : 0;
      Out.push_back(static_cast<uint8_t>(Lit[i] << 4 | lo));
      ++bytes;
    }
  } else {
    Out.insert(Out.end(), Lit, Lit + N);
    bytes = N;
  }
  if (bytes & 1) Out.push_back(0);
}

}  // namespace

void EncodeRLERow(const uint8_t* Indices, int Width, bool Rle4, std::vector<uint8_t>& Out) {
  int litStart = 0, litLen = 0;
  int i = 0;
  while (i < Width) {
    if (i + 1 < Width && Indices[i] == Indices[i + 1]) {
      FlushLiterals(Indices + litStart, litLen, Rle4, Out);
      litLen = 0;
      const uint8_t c = Indices[i];
      int run = 2;
      while (i + run < Width && Indices[i + run] == c && run < 255) ++run;
      Out.push_back(static_cast<uint8_t>(run));
      Out.push_back(Rle4 ? static_cast<uint8_t>((c & 15) << 4 | (c & 15)) : c);
      i += run;
    } else {
      if (litLen == 0) litStart = i;
      ++litLen;
      ++i;
      if (litLen == 255) {
        FlushLiterals(Indices + litStart, litLen, Rle4, Out);
        litLen = 0;
      }
    }
  }
  FlushLiterals(Indices + litStart, litLen, Rle4, Out);
  Out.push_back(0);
  Out.push_back(0);
}

}  // namespace corvex::bmp_detail
