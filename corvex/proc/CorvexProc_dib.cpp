// Import of packed device-independent bitmaps (clipboard, scanners, video frames) and the YUV
// frame converters.
//
// A DIB comes from another program or a device driver, so nothing in it is trusted: the header,
// the colour table, the masks and the rows are checked against the bytes actually present
// before the target bitmap is touched, and run-length data is cut at the row and image edges.
#include <algorithm>
#include <cstring>

#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

namespace {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// ---------------------------------------------------------------------------------------------
// YUV to RGB. The converters use tables of the products, which give exactly the values of
// YUV2RGB: the same double products, added in the same order.

struct YuvTables {
  double y[256], ub[256], vg[256], ug[256], vr[256];
  YuvTables() {
    for (int i = 0; i < 256; ++i) {
      y[i] = 1.164 * (i - 16);
      ub[i] = 2.018 * (i - 128);
      vg[i] = 0.813 * (i - 128);
      ug[i] = 0.391 * (i - 128);
      vr[i] = 1.596 * (i - 128);
    }
  }
};
const YuvTables kYuv;

inline void YuvPixel(uint8_t* d, int Y, int U, int V) {
  const double y = kYuv.y[Y];
  d[0] = blimit(Round(y + kYuv.ub[U]));
  d[1] = blimit(Round(y - kYuv.vg[V] - kYuv.ug[U]));
  d[2] = blimit(Round(y + kYuv.vr[V]));
}

bool FrameTarget(const TBitmap* Bitmap) {
  return Bitmap != nullptr && Bitmap->GetPixelFormat() == pf24bit && Bitmap->GetWidth() > 0 &&
         Bitmap->GetHeight() > 0;
}

inline uint8_t* TargetRow(TBitmap* Bitmap, int SourceRow, bool TopDown) {
  return Bitmap->ScanLine(TopDown ? SourceRow : Bitmap->GetHeight() - 1 - SourceRow);
}

// Packed layouts: groups of G pixels in B bytes; Decode(src, Y, U, V) fills the G samples.
enum class Packed { IYU1, IYU2, UYVY, YUY2, YVYU, Y41P, Y211, CLJR };

struct PackedShape {
  int pixels, bytes;
};
constexpr PackedShape Shape(Packed k) {
  switch (k) {
    case Packed::IYU1: return {4, 6};
    case Packed::IYU2: return {1, 3};
    case Packed::UYVY:
    case Packed::YUY2:
    case Packed::YVYU: return {2, 4};
    case Packed::Y41P: return {8, 12};
    case Packed::Y211: return {4, 4};
    case Packed::CLJR: return {4, 4};
  }
  return {1, 1};
}

inline void DecodeGroup(Packed k, const uint8_t* s, int* Y, int* U, int* V) {
  switch (k) {
    case Packed::IYU1:  // U Y0 Y1 V Y2 Y3
      Y[0] = s[1], Y[1] = s[2], Y[2] = s[4], Y[3] = s[5];
      U[0] = U[1] = U[2] = U[3] = s[0];
      V[0] = V[1] = V[2] = V[3] = s[3];
      break;
    case Packed::IYU2:  // U Y V
      Y[0] = s[1], U[0] = s[0], V[0] = s[2];
      break;
    case Packed::UYVY:  // U Y0 V Y1
      Y[0] = s[1], Y[1] = s[3], U[0] = U[1] = s[0], V[0] = V[1] = s[2];
      break;
    case Packed::YUY2:  // Y0 U Y1 V
      Y[0] = s[0], Y[1] = s[2], U[0] = U[1] = s[1], V[0] = V[1] = s[3];
      break;
    case Packed::YVYU:  // Y0 V Y1 U
      Y[0] = s[0], Y[1] = s[2], V[0] = V[1] = s[1], U[0] = U[1] = s[3];
      break;
    case Packed::Y41P:  // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
      Y[0] = s[1], Y[1] = s[3], Y[2] = s[5], Y[3] = s[7];
      Y[4] = s[8], Y[5] = s[9], Y[6] = s[10], Y[7] = s[11];
      for (int i = 0; i < 4; ++i) U[i] = s[0], V[i] = s[2];
      for (int i = 4; i < 8; ++i) U[i] = s[4], V[i] = s[6];
      break;
    case Packed::Y211:  // Y0 U Y2 V; pixels 0, 1 use Y0 and 2, 3 use Y2
      Y[0] = Y[1] = s[0], Y[2] = Y[3] = s[2];
      U[0] = U[1] = U[2] = U[3] = s[1];
      V[0] = V[1] = V[2] = V[3] = s[3];
      break;
    case Packed::CLJR: {  // 32-bit little-endian word: V 0-5, U 6-11, Y0..Y3 12-16, 17-21, 22-26, 27-31
      const uint32_t w = uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
      const int v6 = w & 0x3F, u6 = (w >> 6) & 0x3F;
      for (int i = 0; i < 4; ++i) {
        const int y5 = (w >> (12 + 5 * i)) & 0x1F;
        Y[i] = y5 << 3 | y5 >> 2;
        U[i] = u6 << 2;
        V[i] = v6 << 2;
      }
      break;
    }
  }
}

uint64_t PackedFrameSize(Packed k, int w, int h) {
  const PackedShape s = Shape(k);
  return uint64_t((w + s.pixels - 1) / s.pixels) * s.bytes * uint64_t(h);
}

bool CopyPacked(Packed k, const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  if (Data == nullptr || !FrameTarget(Bitmap)) return false;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (PackedFrameSize(k, w, h) > DataSize) return false;
  const PackedShape shape = Shape(k);
  const uint8_t* s = Data;
  int Y[8], U[8], V[8];
  for (int row = 0; row < h; ++row) {
    uint8_t* d = TargetRow(Bitmap, row, TopDown);
    for (int x = 0; x < w; x += shape.pixels, s += shape.bytes) {
      DecodeGroup(k, s, Y, U, V);
      const int n = std::min(shape.pixels, w - x);
      for (int i = 0; i < n; ++i, d += 3) YuvPixel(d, Y[i], U[i], V[i]);
    }
  }
  return true;
}

// Planar layouts: Y plane, then two chroma planes subsampled by Sub in both directions.
enum class Planar { YVU9, YV12, I420 };

int PlanarSub(Planar k) { return k == Planar::YVU9 ? 4 : 2; }

uint64_t PlanarFrameSize(Planar k, int w, int h) {
  const int s = PlanarSub(k);
  return uint64_t(w) * uint64_t(h) + 2 * uint64_t(w / s) * uint64_t(h / s);
}

bool CopyPlanar(Planar k, const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  if (Data == nullptr || !FrameTarget(Bitmap)) return false;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (PlanarFrameSize(k, w, h) > DataSize) return false;
  const int sub = PlanarSub(k);
  const int cw = w / sub, ch = h / sub;
  const uint8_t* yPlane = Data;
  const uint8_t* first = Data + size_t(w) * h;
  const uint8_t* second = first + size_t(cw) * ch;
  const uint8_t* uPlane = k == Planar::I420 ? first : second;
  const uint8_t* vPlane = k == Planar::I420 ? second : first;
  const bool chroma = cw > 0 && ch > 0;
  for (int row = 0; row < h; ++row) {
    uint8_t* d = TargetRow(Bitmap, row, TopDown);
    const uint8_t* ys = yPlane + size_t(row) * w;
    const size_t crow = size_t(std::min(row / sub, ch - 1)) * cw;
    for (int x = 0; x < w; ++x, d += 3) {
      int U = 128, V = 128;
      if (chroma) {
        const size_t c = crow + size_t(std::min(x / sub, cw - 1));
        U = uPlane[c];
        V = vPlane[c];
      }
      YuvPixel(d, ys[x], U, V);
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// DIB pieces

// One channel of a bit-field pixel: the run of mask bits starting at the lowest set bit, scaled
// to 8 bits (wider fields keep their top 8 bits, narrower ones are shifted up). For the usual
// adjacent masks (5-5-5, 5-6-5, 8-8-8) this is (v and mask) shifted into the top of the byte.
struct MaskChannel {
  int low = 0, bits = 0;
  uint64_t run = 0;
  explicit MaskChannel(uint32_t mask) {
    bits = _GetBitCount(mask);
    if (bits == 0) return;
    while (((mask >> low) & 1) == 0) ++low;
    run = (uint64_t(1) << bits) - 1;
  }
  uint8_t operator()(uint32_t v) const {
    if (bits == 0) return 0;
    const uint64_t x = (uint64_t(v) >> low) & run;
    return static_cast<uint8_t>(bits <= 8 ? x << (8 - bits) : x >> (bits - 8));
  }
};

// Run-length pictures above 4 megapixels need at least one byte of data per 1024 pixels (an
// encoder spends about 2 bytes per 255 pixels of one colour, and 2 bytes per row).
constexpr uint64_t kMaxRlePixelsFree = uint64_t(1) << 22;
constexpr uint64_t kMaxRlePixelsPerByte = 1024;

enum class Kind { None, Mono, Pal4, Pal8, Rle4, Rle8, Bits16, Rgb24, Bits32, Packed, Planar };

struct Plan {
  Kind kind = Kind::None;
  Packed packed = Packed::IYU1;
  Planar planar = Planar::I420;
  bool topDown = false;       // DIB row 0 is the bitmap's row 0
  uint32_t masks[3] = {0, 0, 0};
};

// Run-length decoding of 8-bit (Rle8) or 4-bit (Rle4) indices into a bitmap filled with
// colour 0. Runs past the row's end are cut; a delta or line end past the last row ends it.
void DecodeRle(const uint8_t* s, size_t n, bool Rle4, const TRGB* Table, TBitmap* Bitmap) {
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  for (int y = 0; y < h; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(Bitmap->ScanLine(y));
    std::fill(row, row + w, Table[0]);
  }
  int x = 0, y = 0;  // y counts DIB rows from the bottom
  TRGB* row = reinterpret_cast<TRGB*>(Bitmap->ScanLine(h - 1));
  auto put = [&](int index) {
    if (x < w) row[x++] = Table[index];
  };
  size_t p = 0;
  while (p + 2 <= n) {
    const int count = s[p], value = s[p + 1];
    p += 2;
    if (count > 0) {  // a run of count pixels
      for (int k = 0; k < count && x < w; ++k) put(Rle4 ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      if (++y >= h) return;
      row = reinterpret_cast<TRGB*>(Bitmap->ScanLine(h - 1 - y));
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (p + 2 > n) return;
      x = std::min(x + s[p], w);
      y += s[p + 1];
      p += 2;
      if (y >= h) return;
      row = reinterpret_cast<TRGB*>(Bitmap->ScanLine(h - 1 - y));
    } else {  // value literal pixels, padded to a 16-bit boundary
      const size_t bytes = Rle4 ? size_t(value + 1) / 2 : size_t(value);
      const size_t avail = std::min(bytes, n - p);
      for (int k = 0; k < value && x < w; ++k) {
        const size_t b = Rle4 ? size_t(k) / 2 : size_t(k);
        if (b >= avail) break;
        put(Rle4 ? ((k & 1) ? s[p + b] & 0x0F : s[p + b] >> 4) : s[p + b]);
      }
      p += (bytes + 1) & ~size_t(1);
    }
  }
}

}  // namespace

void YUV2RGB(int Y, int U, int V, TRGB& RGB) {
  const double y = 1.164 * (Y - 16);
  RGB.b = blimit(Round(y + 2.018 * (U - 128)));
  RGB.g = blimit(Round(y - 0.813 * (V - 128) - 0.391 * (U - 128)));
  RGB.r = blimit(Round(y + 1.596 * (V - 128)));
}

bool _CopyIYU1ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::IYU1, Data, Bitmap, TopDown, DataSize);
}
bool _CopyIYU2ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::IYU2, Data, Bitmap, TopDown, DataSize);
}
bool _CopyUYVYToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::UYVY, Data, Bitmap, TopDown, DataSize);
}
bool _CopyYUY2ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::YUY2, Data, Bitmap, TopDown, DataSize);
}
bool _CopyYVYUToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::YVYU, Data, Bitmap, TopDown, DataSize);
}
bool _CopyY41PToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::Y41P, Data, Bitmap, TopDown, DataSize);
}
bool _CopyY211ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::Y211, Data, Bitmap, TopDown, DataSize);
}
bool _CopyCLJRToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPacked(Packed::CLJR, Data, Bitmap, TopDown, DataSize);
}
bool _CopyYVU9ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPlanar(Planar::YVU9, Data, Bitmap, TopDown, DataSize);
}
bool _CopyYV12ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPlanar(Planar::YV12, Data, Bitmap, TopDown, DataSize);
}
bool _CopyI420ToBitmap(const uint8_t* Data, TBitmap* Bitmap, bool TopDown, size_t DataSize) {
  return CopyPlanar(Planar::I420, Data, Bitmap, TopDown, DataSize);
}

namespace {

// The DIB behind a handle stays locked while this lives.
struct LockedDIB {
  HGLOBAL handle = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  ~LockedDIB() {
    if (handle != 0 && data != nullptr) GlobalUnlock(handle);
  }
};

int CopyDIB(const uint8_t* dib, size_t size, TBitmap* Bitmap, const uint8_t* Bits, size_t BitsSize) {
  if (dib == nullptr || size < sizeof(TBitmapInfoHeader)) return 0;
  TBitmapInfoHeader hd;
  std::memcpy(&hd, dib, sizeof hd);
  if (hd.biSize < 40 || hd.biSize > size) return 0;
  if (hd.biWidth <= 0 || hd.biHeight == 0 || hd.biHeight == INT32_MIN) return 0;
  const int w = hd.biWidth;
  const int h = hd.biHeight < 0 ? -hd.biHeight : hd.biHeight;
  const int bc = hd.biBitCount;
  const uint32_t comp = hd.biCompression;

  Plan plan;
  plan.topDown = hd.biHeight < 0;
  switch (comp) {
    case BI_RGB:
      plan.kind = bc == 1 ? Kind::Mono : bc == 4 ? Kind::Pal4 : bc == 8 ? Kind::Pal8 : bc == 16 ? Kind::Bits16
                  : bc == 24 ? Kind::Rgb24 : bc == 32 ? Kind::Bits32 : Kind::None;
      break;
    case BI_RLE8:
      plan.kind = bc == 8 && hd.biHeight > 0 ? Kind::Rle8 : Kind::None;
      break;
    case BI_RLE4:
      plan.kind = bc == 4 && hd.biHeight > 0 ? Kind::Rle4 : Kind::None;
      break;
    case BI_BITFIELDS:
      plan.kind = bc == 16 ? Kind::Bits16 : bc == 32 ? Kind::Bits32 : Kind::None;
      break;
    default: {
      // YUV layouts: positive heights are top-down, except for Y41P and cyuv.
      plan.topDown = hd.biHeight > 0;
      auto packed = [&plan](Packed k) { plan.kind = Kind::Packed, plan.packed = k; };
      auto planar = [&plan](Planar k) { plan.kind = Kind::Planar, plan.planar = k; };
      if (comp == FourCC('I', '4', '2', '0') || comp == FourCC('I', 'Y', 'U', 'V')) planar(Planar::I420);
      else if (comp == FourCC('Y', 'V', '1', '2')) planar(Planar::YV12);
      else if (comp == FourCC('Y', 'V', 'U', '9')) planar(Planar::YVU9);
      else if (comp == FourCC('Y', '2', '1', '1')) packed(Packed::Y211);
      else if (comp == FourCC('I', 'Y', 'U', '1')) packed(Packed::IYU1);
      else if (comp == FourCC('I', 'Y', 'U', '2')) packed(Packed::IYU2);
      else if (comp == FourCC('Y', 'U', 'Y', '2') || comp == FourCC('Y', 'U', 'N', 'V')) packed(Packed::YUY2);
      else if (comp == FourCC('C', 'L', 'J', 'R')) packed(Packed::CLJR);
      else if (comp == FourCC('Y', 'V', 'Y', 'U')) packed(Packed::YVYU);
      else if (comp == FourCC('U', 'Y', 'V', 'Y') || comp == FourCC('U', 'Y', 'N', 'V')) packed(Packed::UYVY);
      else if (comp == FourCC('Y', '4', '1', 'P')) {
        packed(Packed::Y41P);
        plan.topDown = hd.biHeight < 0;
      } else if (comp == FourCC('c', 'y', 'u', 'v')) {
        packed(Packed::UYVY);
        plan.topDown = hd.biHeight < 0;
      }
      break;
    }
  }
  if (plan.kind == Kind::None) return 0;

  // The picture must fit the limit before anything is allocated.
  const bool mono = plan.kind == Kind::Mono;
  const uint64_t outRow = ((uint64_t(w) * (mono ? 1 : 24) + 31) >> 5) << 2;
  if (outRow * uint64_t(h) > kMaxDIBImageBytes) return 0;

  // Masks, colour table, then the pixels.
  uint64_t offset = hd.biSize;
  if (comp == BI_BITFIELDS) {
    if (size < 52) return 0;
    std::memcpy(plan.masks, dib + 40, 12);
    if (hd.biSize == 40) offset += 12;  // longer headers hold the masks themselves
  } else if (plan.kind == Kind::Bits16) {
    plan.masks[0] = 0x7C00, plan.masks[1] = 0x03E0, plan.masks[2] = 0x001F;
  } else if (plan.kind == Kind::Bits32) {
    plan.masks[0] = 0x00FF0000, plan.masks[1] = 0x0000FF00, plan.masks[2] = 0x000000FF;
  }
  // Palette formats have a full table unless the header counts its entries; YUV frames (CLJR
  // has 8 bits per pixel) have one only when counted.
  uint64_t colors = hd.biClrUsed;
  if (colors == 0 && comp <= BI_BITFIELDS) colors = bc == 1 ? 2 : bc == 4 ? 16 : bc == 8 ? 256 : 0;
  const uint64_t tableStart = offset;
  offset += colors * 4;
  if (offset > size) return 0;
  TRGB table[256] = {};
  const uint64_t tableCount = std::min<uint64_t>(colors, 256);
  for (uint64_t i = 0; i < tableCount; ++i) {
    const uint8_t* q = dib + tableStart + 4 * i;
    table[i] = TRGB{q[0], q[1], q[2]};
  }
  const uint8_t* data = Bits != nullptr ? Bits : dib + offset;
  const size_t dataSize = Bits != nullptr ? BitsSize : size - size_t(offset);

  // Uncompressed rows must all be there (the last one may lack its padding).
  uint64_t rowLen = 0;
  if (plan.kind == Kind::Mono || plan.kind == Kind::Pal4 || plan.kind == Kind::Pal8 ||
      plan.kind == Kind::Bits16 || plan.kind == Kind::Rgb24 || plan.kind == Kind::Bits32) {
    rowLen = ((uint64_t(w) * bc + 31) >> 5) << 2;
    const uint64_t lastRow = (uint64_t(w) * bc + 7) >> 3;
    if (rowLen * uint64_t(h - 1) + lastRow > dataSize) return 0;
  } else if (plan.kind == Kind::Rle4 || plan.kind == Kind::Rle8) {
    // Run-length data may leave pixels out, so its size does not bound the picture; a few
    // bytes must not make a huge one.
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    if (pixels > kMaxRlePixelsFree && pixels / kMaxRlePixelsPerByte > dataSize) return 0;
  } else if (plan.kind == Kind::Packed) {
    if (PackedFrameSize(plan.packed, w, h) > dataSize) return 0;
  } else if (plan.kind == Kind::Planar) {
    if (PlanarFrameSize(plan.planar, w, h) > dataSize) return 0;
  }

  Bitmap->Allocate(1, 1, mono ? pf1bit : pf24bit);
  Bitmap->Allocate(w, h, mono ? pf1bit : pf24bit);
  auto target = [&](int r) { return Bitmap->ScanLine(plan.topDown ? r : h - 1 - r); };

  switch (plan.kind) {
    case Kind::Mono: {
      const size_t n = (size_t(w) + 7) / 8;
      const uint8_t pad = static_cast<uint8_t>(0xFF00 >> (((w - 1) & 7) + 1));
      const bool invert = colors >= 2 && _RGBToGray(table[0]) > _RGBToGray(table[1]);
      for (int r = 0; r < h; ++r) {
        uint8_t* d = target(r);
        std::memcpy(d, data + rowLen * r, n);
        if (invert)
          for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(~d[i]);
        d[n - 1] &= pad;
      }
      break;
    }
    case Kind::Pal4:
      for (int r = 0; r < h; ++r) {
        const uint8_t* s = data + rowLen * r;
        uint8_t* d = target(r);
        for (int x = 0; x < w; ++x, d += 3) {
          const TRGB c = table[(x & 1) ? s[x >> 1] & 0x0F : s[x >> 1] >> 4];
          d[0] = c.b, d[1] = c.g, d[2] = c.r;
        }
      }
      break;
    case Kind::Pal8:
      for (int r = 0; r < h; ++r) {
        const uint8_t* s = data + rowLen * r;
        TRGB* d = reinterpret_cast<TRGB*>(target(r));
        for (int x = 0; x < w; ++x) d[x] = table[s[x]];
      }
      break;
    case Kind::Rle4:
    case Kind::Rle8:
      DecodeRle(data, dataSize, plan.kind == Kind::Rle4, table, Bitmap);
      break;
    case Kind::Bits16:
    case Kind::Bits32: {
      const MaskChannel mr(plan.masks[0]), mg(plan.masks[1]), mb(plan.masks[2]);
      const bool wide = plan.kind == Kind::Bits32;
      for (int r = 0; r < h; ++r) {
        const uint8_t* s = data + rowLen * r;
        uint8_t* d = target(r);
        for (int x = 0; x < w; ++x, d += 3) {
          uint32_t v;
          if (wide) {
            v = uint32_t(s[4 * x]) | uint32_t(s[4 * x + 1]) << 8 | uint32_t(s[4 * x + 2]) << 16 |
                uint32_t(s[4 * x + 3]) << 24;
          } else {
            v = uint32_t(s[2 * x]) | uint32_t(s[2 * x + 1]) << 8;
          }
          d[0] = mb(v), d[1] = mg(v), d[2] = mr(v);
        }
      }
      break;
    }
    case Kind::Rgb24:
      for (int r = 0; r < h; ++r) std::memcpy(target(r), data + rowLen * r, size_t(w) * 3);
      break;
    case Kind::Packed:
      CopyPacked(plan.packed, data, Bitmap, plan.topDown, dataSize);
      break;
    case Kind::Planar:
      CopyPlanar(plan.planar, data, Bitmap, plan.topDown, dataSize);
      break;
    case Kind::None:
      break;
  }
  return bc;
}

}  // namespace

int _CopyDIB2Bitmap(uintptr_t DIB, TBitmap* Bitmap, const void* Bits, bool IsPointer, size_t DIBSize,
                    size_t BitsSize) {
  if (Bitmap == nullptr || DIB == 0) return 0;
  if (IsPointer)
    return CopyDIB(reinterpret_cast<const uint8_t*>(DIB), DIBSize, Bitmap, static_cast<const uint8_t*>(Bits), BitsSize);
  LockedDIB block;
  block.handle = DIB;
  block.size = GlobalSize(DIB);
  if (DIBSize != 0) block.size = std::min(block.size, DIBSize);
  block.data = static_cast<const uint8_t*>(GlobalLock(DIB));
  return CopyDIB(block.data, block.size, Bitmap, static_cast<const uint8_t*>(Bits), BitsSize);
}

}  // namespace corvex
