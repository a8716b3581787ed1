// Private pixel machinery of the canvas: the target surface, colour mixing by raster operation,
// clipping of runs, and the stretching copy shared by Draw, StretchDraw, CopyRect and the DIB
// drawer. Not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/graphics/raster_pvt.h"
#include "corvex/platform/graphics/region.h"

namespace corvex {
class TCanvas;
}

namespace corvex::raster {

// The pixels a canvas draws on. Bpp is 1, 4, 8, 24 or 32; 0 means nothing can be drawn. The
// indexed formats (4 and 8 bits) carry their palette: colours are drawn as the nearest entry.
struct TTarget {
  uint8_t* Bits = nullptr;
  size_t Stride = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int Bpp = 0;
  const TRGBQuad* Palette = nullptr;
  int PaletteCount = 0;
  uint8_t* Row(int32_t y) const { return Bits + static_cast<size_t>(y) * Stride; }
  bool Indexed() const { return Bpp == 4 || Bpp == 8; }
};

// The target of a bitmap; Bpp 0 for formats the canvas does not draw on, or an empty bitmap.
TTarget TargetOf(TBitmap* Bitmap);

// A colour as blue, green, red (system colours resolved, the top byte ignored).
struct TBGR {
  uint8_t b, g, r;
};
TBGR ResolveColor(TColor Color);
// The 1-bit value (1 = white) of a colour: the nearer of black and white.
inline unsigned MonoBit(uint8_t b, uint8_t g, uint8_t r) { return unsigned(b) + g + r >= 383 ? 1u : 0u; }

// The palette entry nearest to a colour: the smallest sum of absolute differences of red, green
// and blue, the first entry on a tie; 0 for an empty palette.
int NearestIndex(const TRGBQuad* Palette, int Count, uint8_t b, uint8_t g, uint8_t r);

// NearestIndex with a direct-mapped cache of the colours asked for (images repeat colours).
class TNearestCache {
 public:
  TNearestCache(const TRGBQuad* Palette, int Count) : Pal_(Palette), Count_(Count), Slots_(kSlots, kEmpty) {}
  unsigned operator()(uint8_t b, uint8_t g, uint8_t r) {
    const uint32_t key = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
    uint32_t& slot = Slots_[(key * 2654435761u) >> (32 - kBits)];
    if (slot != kEmpty && (slot & 0xFFFFFF) == key) return slot >> 24;
    const unsigned i = static_cast<unsigned>(NearestIndex(Pal_, Count_, b, g, r));
    slot = key | (i << 24);
    return i;
  }

 private:
  static constexpr int kBits = 12;
  static constexpr size_t kSlots = size_t(1) << kBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // (white at index 255 looks empty and is just recomputed)
  const TRGBQuad* Pal_;
  int Count_;
  std::vector<uint32_t> Slots_;
};

// The value a colour has in the target's pixels: blue | green << 8 | red << 16 for 24 and 32
// bits, the nearest palette index for 4 and 8 bits, the 1-bit value for 1 bit.
uint32_t PixelValueOf(const TTarget& T, TColor Color);
// The value of pixel (x, y) in the same form (inside the target; the fourth byte of a 32-bit
// pixel is not part of it).
uint32_t ReadPixel(const TTarget& T, int32_t x, int32_t y);

// A raster operation with a fixed colour, per byte of a pixel: pixel = (pixel & And) ^ Xor.
// Copy is true when And is all zero (the colour is simply written).
struct TMix {
  uint8_t And[4] = {};
  uint8_t Xor[4] = {};
  bool Copy = true;
  bool Nop = false;  // And all ones and Xor zero: nothing changes
};
// Rop2 is the classic two-operand code 1 .. 16 (R2_BLACK .. R2_WHITE). On indexed targets the
// operation combines palette indexes (as on a palette device): the colour becomes its nearest
// entry's index, and pmNot inverts the index.
TMix MakeMix(int Rop2, TColor Color, const TTarget& T);
constexpr int R2_COPYPEN = 13;

// Mixes one pixel (inside the target, no clipping here).
inline void MixPixel(const TTarget& T, int32_t x, int32_t y, const TMix& M) {
  uint8_t* row = T.Row(y);
  switch (T.Bpp) {
    case 24: {
      uint8_t* p = row + size_t(x) * 3;
      p[0] = static_cast<uint8_t>((p[0] & M.And[0]) ^ M.Xor[0]);
      p[1] = static_cast<uint8_t>((p[1] & M.And[1]) ^ M.Xor[1]);
      p[2] = static_cast<uint8_t>((p[2] & M.And[2]) ^ M.Xor[2]);
      return;
    }
    case 32: {
      uint8_t* p = row + size_t(x) * 4;
      for (int l = 0; l < 4; ++l) p[l] = static_cast<uint8_t>((p[l] & M.And[l]) ^ M.Xor[l]);
      return;
    }
    case 8: {
      uint8_t& b = row[x];
      b = static_cast<uint8_t>((b & M.And[0]) ^ M.Xor[0]);
      return;
    }
    case 4: {
      uint8_t& b = row[x >> 1];
      const uint8_t m = (x & 1) ? 0x0F : 0xF0;
      b = static_cast<uint8_t>((b & ~m) | (((b & M.And[0]) ^ M.Xor[0]) & m));
      return;
    }
    case 1: {
      uint8_t& b = row[x >> 3];
      const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
      b = static_cast<uint8_t>((b & ~m) | (((b & M.And[0]) ^ M.Xor[0]) & m));
      return;
    }
    default:
      return;
  }
}

// Mixes the pixels [x1, x2) of row y (inside the target, no clipping here).
void MixSpan(const TTarget& T, int32_t y, int32_t x1, int32_t x2, const TMix& M);
// The same for the pixels whose bit 7 - (x & 7) is set in Pattern (a hatch row).
void MixSpanPattern(const TTarget& T, int32_t y, int32_t x1, int32_t x2, const TMix& M, uint8_t Pattern);

// Clips runs to the target and to an optional clip region.
class TClipper {
 public:
  TClipper(const TTarget& T, const TRegion* Clip) : W_(T.Width), H_(T.Height), Clip_(Clip) {}
  // Visible bounds (the target cut by the clip region's bounds).
  TRect Bounds() const;
  bool HasRegion() const { return Clip_ != nullptr; }
  bool PointVisible(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= W_ || y >= H_) return false;
    return Clip_ == nullptr || Clip_->Contains(x, y);
  }
  // The visible part [A, B) of row y that holds x; false when (x, y) is not visible.
  bool RunAt(int32_t y, int32_t x, int32_t& A, int32_t& B) const {
    if (x < 0 || y < 0 || x >= W_ || y >= H_) return false;
    if (Clip_ == nullptr) {
      A = 0, B = W_;
      return true;
    }
    int n = 0;
    const TRun* r = Clip_->RowRuns(y, &n);
    for (int k = 0; k < n && r[k].X1 <= x; ++k)
      if (x < r[k].X2) {
        A = r[k].X1 > 0 ? r[k].X1 : 0;
        B = r[k].X2 < W_ ? r[k].X2 : W_;
        return true;
      }
    return false;
  }
  // Calls F(y, a, b) for each visible part [a, b) of [x1, x2) on row y, left to right.
  template <class F>
  void Span(int32_t y, int32_t x1, int32_t x2, F&& f) const {
    if (y < 0 || y >= H_) return;
    if (x1 < 0) x1 = 0;
    if (x2 > W_) x2 = W_;
    if (x1 >= x2) return;
    if (Clip_ == nullptr) {
      f(y, x1, x2);
      return;
    }
    int n = 0;
    const TRun* r = Clip_->RowRuns(y, &n);
    for (int k = 0; k < n; ++k) {
      if (r[k].X1 >= x2) break;
      const int32_t a = r[k].X1 > x1 ? r[k].X1 : x1;
      const int32_t b = r[k].X2 < x2 ? r[k].X2 : x2;
      if (a < b) f(y, a, b);
    }
  }

 private:
  int32_t W_, H_;
  const TRegion* Clip_;
};

// Paints spans with a mix and an optional hatch pattern, through a clipper.
void PaintSpans(const TTarget& T, const TClipper& C, const std::vector<TSpan>& Spans, const TMix& M,
                const uint8_t* Hatch);

// Fills the 4-connected area around (X, Y) with the mix (through the hatch pattern when there is
// one): with Border false the area of pixels whose value is Pixel, with Border true the area
// bounded by pixels of value Pixel. Pixels outside the clipper bound the area like a border.
// Scanline based, with a visited mask: every pixel of the area is mixed exactly once, whatever
// the mix turns it into, and the depth of the work list does not depend on the shape.
void FloodFill(const TTarget& T, const TClipper& C, int32_t X, int32_t Y, uint32_t Pixel, bool Border, const TMix& M,
               const uint8_t* Hatch);

// A source image for the stretching copy: rows of Bits bits per pixel.
struct TSourceImage {
  const uint8_t* Row0 = nullptr;  // the top row
  ptrdiff_t Stride = 0;           // address step from a row to the one below (negative for bottom-up)
  int32_t Width = 0;
  int32_t Height = 0;
  int Bits = 0;                   // 1, 4, 8, 16, 24, 32
  const TRGBQuad* Palette = nullptr;  // indexed formats; indices past PaletteCount are black
  int PaletteCount = 0;
  // 16 and 32 bits: channel masks (red, green, blue); all zero means 5-5-5 for 16 bits and
  // blue, green, red, unused bytes for 32 bits.
  uint32_t Masks[3] = {0, 0, 0};
  const uint8_t* Row(int32_t y) const { return Row0 + Stride * static_cast<ptrdiff_t>(y); }
};

// The source image of a bitmap (any format); false for an empty bitmap.
bool SourceOf(const TBitmap* Bitmap, TSourceImage& S);

// Copies the source rectangle (Sx, Sy, Sw, Sh) onto the destination rectangle (Dx, Dy, Dw, Dh) of
// the target, nearest pixel, combined by Rop3 (the classic three-operand code; the pattern is the
// colour Brush). Negative Dw or Dh mirror. Pixels outside the clipper are untouched, and so are
// destination pixels whose source pixel lies outside the source image. Indexed targets get the
// nearest palette entry of each source colour, and raster operations combine indexes there.
void StretchCopy(const TTarget& T, const TClipper& C, const TSourceImage& S, int32_t Sx, int32_t Sy, int32_t Sw,
                 int32_t Sh, int32_t Dx, int32_t Dy, int32_t Dw, int32_t Dh, uint32_t Rop3, TColor Brush);

// Fills what a bitmap gained by growing beyond OldWidth x OldHeight with its canvas brush (the
// clip region does not apply): a grown bitmap keeps its pixels at the top left and shows the
// brush colour in the new area.
void FillGrownArea(TCanvas* Canvas, int32_t OldWidth, int32_t OldHeight);

}  // namespace corvex::raster
