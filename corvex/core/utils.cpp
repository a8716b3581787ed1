// Bitmap copies, the packed-DIB export and the plane-geometry tests.
#include "corvex/core/utils.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "corvex/platform/graphics/dib.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Bitmap copies

void CXCopyBitmap(const TBitmap* Source, TBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  Dest->Allocate(1, 1, Source->GetPixelFormat());
  if (Source->GetWidth() <= 0 || Source->GetHeight() <= 0) return;
  Dest->Allocate(Source->GetWidth(), Source->GetHeight(), Source->GetPixelFormat());
  std::memcpy(Dest->Bits(), Source->Bits(), Source->GetImageSize());
}

TBitmap* CXCloneBitmap(const TBitmap* Source) {
  auto* b = new TBitmap;
  CXCopyBitmap(Source, b);
  return b;
}

void _CopyBitmapRect(const TBitmap* Source, TBitmap* Dest, int x1, int y1, int x2, int y2) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  const int w = Source->GetWidth(), h = Source->GetHeight();
  if (x2 == 0 || x2 > w) x2 = w;
  if (y2 == 0 || y2 > h) y2 = h;
  // A corner before the image would read outside it: start at the image's edge instead.
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  const TPixelFormat pf = Source->GetPixelFormat();
  Dest->Allocate(std::max(x2 - x1, 0), std::max(y2 - y1, 0), pf);
  if (x2 <= x1 || y2 <= y1) return;
  if (pf == pf24bit) {
    const size_t n = size_t(x2 - x1) * 3;
    for (int y = y1; y < y2; ++y) std::memcpy(Dest->ScanLine(y - y1), Source->ScanLine(y) + size_t(x1) * 3, n);
  } else if (pf == pf1bit) {
    for (int y = y1; y < y2; ++y) _CopyBits(Dest->ScanLine(y - y1), Source->ScanLine(y), 0, x2 - x1, x1);
  }
}

namespace {
// n (1..8) bits of src starting at bit position p, right-aligned. Reads only the bytes that hold
// those bits.
inline unsigned GetBits(const uint8_t* src, int64_t p, int n) {
  const uint8_t* b = src + (p >> 3);
  const int off = static_cast<int>(p & 7);
  const unsigned mask = (1u << n) - 1;
  if (off + n <= 8) return (b[0] >> (8 - off - n)) & mask;
  return ((unsigned(b[0]) << 8 | b[1]) >> (16 - off - n)) & mask;
}
inline void PutBits(uint8_t* d, int off, int n, unsigned bits) {
  const unsigned shift = static_cast<unsigned>(8 - off - n);
  const uint8_t mask = static_cast<uint8_t>(((1u << n) - 1) << shift);
  *d = static_cast<uint8_t>((*d & ~mask) | ((bits << shift) & mask));
}
}  // namespace

void _CopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset, int64_t BitCount,
               int64_t SourceBitOffset) {
  if (BitCount <= 0 || Dest == nullptr || Source == nullptr) return;
  Dest += DestBitOffset >> 3;
  const int dOff = static_cast<int>(DestBitOffset & 7);
  Source += SourceBitOffset >> 3;
  int64_t sp = SourceBitOffset & 7;  // bit position relative to Source
  int64_t remaining = BitCount;

  if (dOff != 0) {  // the partial first byte of Dest
    const int n = static_cast<int>(std::min<int64_t>(8 - dOff, remaining));
    PutBits(Dest, dOff, n, GetBits(Source, sp, n));
    ++Dest;
    sp += n;
    remaining -= n;
  }
  const int64_t whole = remaining >> 3;
  if (whole > 0) {
    const uint8_t* s = Source + (sp >> 3);
    const int o = static_cast<int>(sp & 7);
    if (o == 0) {
      std::memcpy(Dest, s, static_cast<size_t>(whole));
    } else {
      // Each output byte takes the low bits of one source byte and the high bits of the next,
      // which is always part of the range being copied.
      for (int64_t i = 0; i < whole; ++i)
        Dest[i] = static_cast<uint8_t>((s[i] << o) | (s[i + 1] >> (8 - o)));
    }
    Dest += whole;
    sp += whole * 8;
    remaining -= whole * 8;
  }
  if (remaining > 0) PutBits(Dest, 0, static_cast<int>(remaining), GetBits(Source, sp, static_cast<int>(remaining)));
}

HGLOBAL _CopyBitmaptoDIB(const TBitmap* Bitmap, int x1, int y1, int x2, int y2) {
  if (Bitmap == nullptr) return 0;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (x2 == 0 || x2 > w) x2 = w;
  if (y2 == 0 || y2 > h) y2 = h;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  const int dw = std::max(x2 - x1, 0), dh = std::max(y2 - y1, 0);
  const TPixelFormat pf = Bitmap->GetPixelFormat();
  const int bits = pf == pf24bit ? 24 : pf == pf1bit ? 1 : 0;

  TBitmapInfoHeader bi;
  bi.biWidth = dw;
  bi.biHeight = dh;
  bi.biBitCount = static_cast<uint16_t>(bits);
  const size_t tableSize = bits == 1 ? 8 : 0;
  const size_t rowLen = bits != 0 ? static_cast<size_t>(_BitmapRowLen(dw, bits)) : 0;
  const size_t total = sizeof bi + tableSize + rowLen * size_t(dh) + 4;

  HGLOBAL mem = GlobalAlloc(GHND | GMEM_SHARE, total);
  if (mem == 0) return 0;
  auto* p = static_cast<uint8_t*>(GlobalLock(mem));
  std::memcpy(p, &bi, sizeof bi);
  p += sizeof bi;
  if (bits == 1) {
    static const uint8_t kTable[8] = {0, 0, 0, 0, 255, 255, 255, 255};
    std::memcpy(p, kTable, sizeof kTable);
    p += sizeof kTable;
  }
  if (bits != 0) {
    for (int y = y2 - 1; y >= y1; --y, p += rowLen) {
      const uint8_t* src = Bitmap->ScanLine(y);
      if (bits == 24) std::memcpy(p, src + size_t(x1) * 3, size_t(dw) * 3);
      else _CopyBits(p, src, 0, dw, x1);
    }
  }
  GlobalUnlock(mem);
  return mem;
}

// ---------------------------------------------------------------------------------------------
// Plane geometry

bool _InRect(int x, int y, int x1, int y1, int x2, int y2) {
  return x >= x1 && x <= x2 && y >= y1 && y <= y2;
}

bool _InRectO(int x, int y, int x1, int y1, int x2, int y2) {
  OrdCor(x1, y1, x2, y2);
  return _InRect(x, y, x1, y1, x2, y2);
}

bool _RectXRect(int ax1, int ay1, int ax2, int ay2, int bx1, int by1, int bx2, int by2) {
  return !(imax(ax1, ax2) < bx1 || imin(ax1, ax2) > bx2 || imax(ay1, ay2) < by1 || imin(ay1, ay2) > by2);
}

int _RectPRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  const bool a = x3 >= x1 && x3 <= x2;
  const bool b = x4 >= x1 && x4 <= x2;
  const bool c = y3 >= y1 && y3 <= y2;
  const bool d = y4 >= y1 && y4 <= y2;
  if ((a != b && (c || d)) || ((a || b) && c != d)) return 1;
  if (a && b && c && d) return 2;
  return 0;
}

double _DistPoint2Point(int x1, int y1, int x2, int y2) {
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  return std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

double _DistPoint2Line(int px, int py, int x1, int y1, int x2, int y2) {
  // Two equal points give no line; their distance is the only sensible answer.
  if (x1 == x2 && y1 == y2) return _DistPoint2Point(px, py, x1, y1);
  const int64_t a = int64_t(y1) - y2, b = int64_t(x2) - x1;
  const int64_t c = int64_t(x1) * y2 - int64_t(x2) * y1;
  return std::fabs(static_cast<double>(a * px + b * py + c)) / std::sqrt(static_cast<double>(a * a + b * b));
}

double _DistPoint2Seg(int px, int py, int x1, int y1, int x2, int y2) {
  if (x1 == x2 && y1 == y2) return _DistPoint2Point(px, py, x1, y1);
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const double t = static_cast<double>((int64_t(px) - x1) * dx + (int64_t(py) - y1) * dy) /
                   static_cast<double>(dx * dx + dy * dy);
  if (t > 1) return _DistPoint2Point(px, py, x2, y2);
  if (t < 0) return _DistPoint2Point(px, py, x1, y1);
  return _DistPoint2Line(px, py, x1, y1, x2, y2);
}

void _CastPolySelCC(int x0, int y0, int& x, int& y) {
  const int dx = x0 - x, dy = y0 - y;
  const int ax = std::abs(dx), ay = std::abs(dy);
  const int d = std::abs(ax - ay);
  if (ay > ax + 30) {
    x = x0;  // vertical
  } else if (ay < ax - 30) {
    y = y0;  // horizontal
  } else if (dx < 0 && dy < 0) {  // right of and below the anchor
    if (ay > ax) x += d;
    else y += d;
  } else if (dx > 0 && dy > 0) {  // left and above
    if (ay > ax) y += d;
    else x += d;
  } else if (dx > 0) {  // left, not above
    if (ay > ax) x -= d;
    else y += d;
  } else if (dy > 0) {  // above, not left
    if (ay > ax) x += d;
    else y -= d;
  }
}

}  // namespace corvex
