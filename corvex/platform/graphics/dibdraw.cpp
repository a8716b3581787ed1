#include "corvex/platform/graphics/dibdraw.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/canvas_pvt.h"

namespace corvex {

namespace {

struct Drawer {
  HPALETTE palette = 0;
};

struct Table {
  std::mutex lock;
  std::unordered_map<HDRAWDIB, Drawer> drawers;
  HDRAWDIB next = 0x20000;
};

Table& GetTable() {
  static Table* t = new Table;  // never destroyed: handles may be closed during static teardown
  return *t;
}

bool Known(HDRAWDIB hdd) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.drawers.count(hdd) > 0;
}

constexpr int32_t kMaxSide = 1 << 20;

// The layout facts of a header, or false when it is not understood.
struct Layout {
  int bits = 0;
  int colors = 0;           // colour table entries used for indexed pixels
  size_t tableBytes = 0;    // bytes after the header before the rows
  const uint32_t* masks = nullptr;
  size_t rowLen = 0;
};

bool Describe(const TBitmapInfoHeader* bi, Layout& l) {
  if (bi == nullptr || bi->biSize < 40 || bi->biWidth <= 0 || bi->biHeight == 0) return false;
  if (bi->biWidth > kMaxSide || bi->biHeight > kMaxSide || bi->biHeight < -kMaxSide) return false;
  l.bits = bi->biBitCount;
  if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32) return false;
  const uint8_t* after = reinterpret_cast<const uint8_t*>(bi) + bi->biSize;
  if (bi->biCompression == BI_BITFIELDS) {
    if (l.bits != 16 && l.bits != 32) return false;
    if (bi->biSize >= 52) {
      l.masks = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(bi) + 40);
    } else {
      l.masks = reinterpret_cast<const uint32_t*>(after);
      l.tableBytes += 12;
    }
  } else if (bi->biCompression != BI_RGB) {
    return false;
  }
  const uint32_t maxColors = l.bits <= 8 ? (1u << l.bits) : 0;
  uint32_t used = bi->biClrUsed;
  if (l.bits <= 8) {
    if (used == 0 || used > maxColors) used = maxColors;
    l.colors = static_cast<int>(used);
  } else if (used > 256) {
    return false;
  }
  l.tableBytes += size_t(used) * 4;
  l.rowLen = ((size_t(bi->biWidth) * size_t(l.bits) + 31) >> 5) << 2;
  return true;
}

}  // namespace

HDRAWDIB DrawDibOpen() {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  const HDRAWDIB h = t.next;
  t.next += 4;
  t.drawers.emplace(h, Drawer{});
  return h;
}

bool DrawDibClose(HDRAWDIB hdd) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.drawers.erase(hdd) > 0;
}

size_t DrawDibCount() {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.drawers.size();
}

bool DrawDibSetPalette(HDRAWDIB hdd, HPALETTE hpal) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.drawers.find(hdd);
  if (it == t.drawers.end()) return false;
  it->second.palette = hpal;
  return true;
}

HPALETTE DrawDibGetPalette(HDRAWDIB hdd) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.drawers.find(hdd);
  return it == t.drawers.end() ? 0 : it->second.palette;
}

unsigned DrawDibRealize(HDRAWDIB, TCanvas*, bool) { return 0; }

size_t DIBColorTableSize(const TBitmapInfoHeader* lpbi) {
  Layout l;
  return Describe(lpbi, l) ? l.tableBytes : 0;
}

bool DrawDibDraw(HDRAWDIB hdd, TCanvas* Canvas, int xDst, int yDst, int dxDst, int dyDst,
                 const TBitmapInfoHeader* lpbi, const void* lpBits, int xSrc, int ySrc, int dxSrc, int dySrc,
                 unsigned wFlags) {
  if (Canvas == nullptr || !Known(hdd)) return false;
  Layout l;
  if (!Describe(lpbi, l)) return false;
  const int32_t w = lpbi->biWidth, h = lpbi->biHeight < 0 ? -lpbi->biHeight : lpbi->biHeight;
  if (dxSrc == -1) dxSrc = w - xSrc;
  if (dySrc == -1) dySrc = h - ySrc;
  if (dxDst == -1) dxDst = dxSrc;
  if (dyDst == -1) dyDst = dySrc;
  if (dxSrc < 0 || dySrc < 0 || dxDst < 0 || dyDst < 0) return false;
  if (wFlags & DDF_DONTDRAW) return true;
  if (dxSrc == 0 || dySrc == 0 || dxDst == 0 || dyDst == 0) return true;

  const uint8_t* table = reinterpret_cast<const uint8_t*>(lpbi) + lpbi->biSize;
  const uint8_t* bits = lpBits != nullptr ? static_cast<const uint8_t*>(lpBits) : table + l.tableBytes;
  raster::TSourceImage src;
  src.Width = w;
  src.Height = h;
  src.Bits = l.bits;
  if (lpbi->biHeight > 0) {
    src.Row0 = bits + size_t(h - 1) * l.rowLen;
    src.Stride = -static_cast<ptrdiff_t>(l.rowLen);
  } else {
    src.Row0 = bits;
    src.Stride = static_cast<ptrdiff_t>(l.rowLen);
  }
  TRGBQuad palette[256];
  if (l.bits <= 8) {
    std::memcpy(palette, table + (l.masks != nullptr && lpbi->biSize < 52 ? 12 : 0), size_t(l.colors) * 4);
    src.Palette = palette;
    src.PaletteCount = l.colors;
  }
  if (l.masks != nullptr) {
    std::memcpy(src.Masks, l.masks, 12);
    if ((src.Masks[0] | src.Masks[1] | src.Masks[2]) == 0) return false;
  }
  const raster::TTarget target = raster::TargetOf(Canvas->GetBitmap());
  if (target.Bpp == 0) return false;
  const raster::TClipper clip(target, Canvas->ClipRegion());
  Canvas->Changing();
  raster::StretchCopy(target, clip, src, xSrc, ySrc, dxSrc, dySrc, xDst, yDst, dxDst, dyDst, 0x00CC0020u, clBlack);
  Canvas->Changed();
  return true;
}

}  // namespace corvex
