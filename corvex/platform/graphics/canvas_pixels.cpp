// Pixel machinery of the canvas: mixing runs of pixels with a colour by raster operation, and the
// stretching copy behind Draw, StretchDraw, CopyRect and the DIB drawer. The hot paths (solid
// runs, 1:1 copies, nearest-pixel stretches between equal formats) work on whole rows with
// memcpy/memset or word-wide loops.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/canvas_pvt.h"

namespace corvex::raster {

namespace {

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Fills n pixels of `size` bytes at p with the pixel value at p (already written once).
inline void Replicate(uint8_t* p, size_t size, size_t n) {
  const size_t total = size * n;
  size_t filled = size;
  while (filled < total) {
    const size_t chunk = std::min(filled, total - filled);
    std::memcpy(p + filled, p, chunk);
    filled += chunk;
  }
}

// Bits x1 .. x2-1 of a row as byte masks: first byte, last byte, and the full bytes between.
struct BitRange {
  int32_t b1, b2;  // first and last byte
  uint8_t m1, m2;  // masks of the first and last byte (equal bytes: m1 holds the combined mask)
};
inline BitRange BitsOf(int64_t x1, int64_t x2) {
  BitRange r;
  r.b1 = static_cast<int32_t>(x1 >> 3);
  r.b2 = static_cast<int32_t>((x2 - 1) >> 3);
  r.m1 = static_cast<uint8_t>(0xFF >> (x1 & 7));
  r.m2 = static_cast<uint8_t>(0xFF << (7 - ((x2 - 1) & 7)));
  if (r.b1 == r.b2) r.m1 &= r.m2;
  return r;
}

inline uint8_t MixByte(uint8_t d, uint8_t a, uint8_t x) { return static_cast<uint8_t>((d & a) ^ x); }

}  // namespace

TTarget TargetOf(TBitmap* Bitmap) {
  TTarget t;
  if (Bitmap == nullptr || Bitmap->Bits() == nullptr) return t;
  const TPixelFormat f = Bitmap->GetPixelFormat();
  if (f != pf1bit && f != pf4bit && f != pf8bit && f != pf24bit && f != pf32bit) return t;
  t.Bits = Bitmap->Bits();
  t.Stride = Bitmap->GetRowLength();
  t.Width = Bitmap->GetWidth();
  t.Height = Bitmap->GetHeight();
  t.Bpp = Bitmap->GetBitCount();
  if (f == pf4bit || f == pf8bit) {
    t.Palette = Bitmap->GetPalette();
    t.PaletteCount = Bitmap->GetPaletteCount();
  }
  return t;
}

TBGR ResolveColor(TColor Color) {
  const TColor c = ColorToRGB(Color);
  return TBGR{GetBValue(c), GetGValue(c), GetRValue(c)};
}

int NearestIndex(const TRGBQuad* Palette, int Count, uint8_t b, uint8_t g, uint8_t r) {
  if (Palette == nullptr) return 0;
  int best = 0, bestD = 1 << 30;
  for (int i = 0; i < Count; ++i) {
    const int d = std::abs(int(Palette[i].rgbRed) - r) + std::abs(int(Palette[i].rgbGreen) - g) +
                  std::abs(int(Palette[i].rgbBlue) - b);
    if (d < bestD) {
      bestD = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t PixelValueOf(const TTarget& T, TColor Color) {
  const TBGR c = ResolveColor(Color);
  switch (T.Bpp) {
    case 1: return MonoBit(c.b, c.g, c.r);
    case 4:
    case 8: return static_cast<uint32_t>(NearestIndex(T.Palette, T.PaletteCount, c.b, c.g, c.r));
    default: return c.b | (uint32_t(c.g) << 8) | (uint32_t(c.r) << 16);
  }
}

namespace {
template <int Bpp>
inline uint32_t Read(const uint8_t* row, int32_t x) {
  if constexpr (Bpp == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1u;
  if constexpr (Bpp == 4) return (x & 1) ? (row[x >> 1] & 15u) : (row[x >> 1] >> 4);
  if constexpr (Bpp == 8) return row[x];
  if constexpr (Bpp == 24) {
    const uint8_t* p = row + size_t(x) * 3;
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  }
  if constexpr (Bpp == 32) {
    const uint8_t* p = row + size_t(x) * 4;
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  }
  return 0;
}
}  // namespace

uint32_t ReadPixel(const TTarget& T, int32_t x, int32_t y) {
  const uint8_t* row = T.Row(y);
  switch (T.Bpp) {
    case 1: return Read<1>(row, x);
    case 4: return Read<4>(row, x);
    case 8: return Read<8>(row, x);
    case 24: return Read<24>(row, x);
    case 32: return Read<32>(row, x);
    default: return 0;
  }
}

TMix MakeMix(int Rop2, TColor Color, const TTarget& T) {
  TMix m;
  const TBGR c = ResolveColor(Color);
  uint8_t pen[4] = {c.b, c.g, c.r, 0};
  int lanes = T.Bpp == 32 ? 4 : 3;
  // Sub-byte and indexed formats work on one lane: the pixel value repeated across the byte.
  const bool oneLane = T.Bpp == 1 || T.Bpp == 4 || T.Bpp == 8;
  if (oneLane) {
    const uint32_t v = PixelValueOf(T, Color);
    pen[0] = T.Bpp == 1 ? (v ? 0xFF : 0x00) : T.Bpp == 4 ? static_cast<uint8_t>(v * 0x11) : static_cast<uint8_t>(v);
    lanes = 1;
  }
  const unsigned table = static_cast<unsigned>(std::clamp(Rop2, 1, 16) - 1);  // bit (p << 1 | d)
  m.Copy = true;
  m.Nop = true;
  for (int l = 0; l < 4; ++l) {
    uint8_t a = 0, x = 0;
    if (l < lanes) {
      for (int k = 0; k < 8; ++k) {
        const unsigned p = (pen[l] >> k) & 1;
        const unsigned f0 = (table >> (p << 1)) & 1, f1 = (table >> ((p << 1) | 1)) & 1;
        a |= static_cast<uint8_t>((f0 ^ f1) << k);
        x |= static_cast<uint8_t>(f0 << k);
      }
      if (a != 0) m.Copy = false;
      if (a != 0xFF || x != 0) m.Nop = false;
    } else {
      a = 0xFF;  // lanes the format does not have are left alone
    }
    m.And[l] = a;
    m.Xor[l] = x;
  }
  if (oneLane) {
    m.And[1] = m.And[2] = m.And[3] = m.And[0];
    m.Xor[1] = m.Xor[2] = m.Xor[3] = m.Xor[0];
  }
  return m;
}

void MixSpan(const TTarget& T, int32_t y, int32_t x1, int32_t x2, const TMix& M) {
  if (x1 >= x2 || M.Nop) return;
  uint8_t* row = T.Row(y);
  const size_t n = static_cast<size_t>(x2 - x1);
  switch (T.Bpp) {
    case 24: {
      uint8_t* p = row + size_t(x1) * 3;
      if (M.Copy) {
        if (M.Xor[0] == M.Xor[1] && M.Xor[1] == M.Xor[2]) {
          std::memset(p, M.Xor[0], n * 3);
        } else {
          p[0] = M.Xor[0];
          p[1] = M.Xor[1];
          p[2] = M.Xor[2];
          Replicate(p, 3, n);
        }
        return;
      }
      size_t i = 0;
      if (n >= 16) {
        // Eight pixels are 24 bytes: three 64-bit words with the masks laid out in that period.
        uint8_t a24[24], x24[24];
        for (int k = 0; k < 24; ++k) {
          a24[k] = M.And[k % 3];
          x24[k] = M.Xor[k % 3];
        }
        const uint64_t A[3] = {Load64(a24), Load64(a24 + 8), Load64(a24 + 16)};
        const uint64_t X[3] = {Load64(x24), Load64(x24 + 8), Load64(x24 + 16)};
        for (; i + 8 <= n; i += 8, p += 24)
          for (int k = 0; k < 3; ++k) Store64(p + 8 * k, (Load64(p + 8 * k) & A[k]) ^ X[k]);
      }
      for (; i < n; ++i, p += 3) {
        p[0] = MixByte(p[0], M.And[0], M.Xor[0]);
        p[1] = MixByte(p[1], M.And[1], M.Xor[1]);
        p[2] = MixByte(p[2], M.And[2], M.Xor[2]);
      }
      return;
    }
    case 32: {
      uint8_t* p = row + size_t(x1) * 4;
      uint32_t a32, x32;
      std::memcpy(&a32, M.And, 4);
      std::memcpy(&x32, M.Xor, 4);
      if (M.Copy) {
        std::memcpy(p, &x32, 4);
        Replicate(p, 4, n);
        return;
      }
      const uint64_t A = (uint64_t(a32) << 32) | a32, X = (uint64_t(x32) << 32) | x32;
      size_t i = 0;
      for (; i + 2 <= n; i += 2, p += 8) Store64(p, (Load64(p) & A) ^ X);
      if (i < n) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        v = (v & a32) ^ x32;
        std::memcpy(p, &v, 4);
      }
      return;
    }
    case 8: {
      uint8_t* p = row + x1;
      if (M.Copy) std::memset(p, M.Xor[0], n);
      else
        for (size_t i = 0; i < n; ++i) p[i] = MixByte(p[i], M.And[0], M.Xor[0]);
      return;
    }
    case 1:
    case 4: {
      // Pixels as bit ranges: a 4-bit pixel x is bits 4x .. 4x+3, high nibble first.
      const int bits = T.Bpp;
      const BitRange r = BitsOf(int64_t(x1) * bits, int64_t(x2) * bits);
      const uint8_t a = M.And[0], x = M.Xor[0];
      auto part = [&](uint8_t& b, uint8_t mask) {
        b = static_cast<uint8_t>((b & ~mask) | (MixByte(b, a, x) & mask));
      };
      part(row[r.b1], r.m1);
      if (r.b2 == r.b1) return;
      if (M.Copy) std::memset(row + r.b1 + 1, x, size_t(r.b2 - r.b1 - 1));
      else
        for (int32_t b = r.b1 + 1; b < r.b2; ++b) row[b] = MixByte(row[b], a, x);
      part(row[r.b2], r.m2);
      return;
    }
    default:
      return;
  }
}

void MixSpanPattern(const TTarget& T, int32_t y, int32_t x1, int32_t x2, const TMix& M, uint8_t Pattern) {
  if (x1 >= x2 || M.Nop || Pattern == 0) return;
  if (Pattern == 0xFF) {
    MixSpan(T, y, x1, x2, M);
    return;
  }
  uint8_t* row = T.Row(y);
  switch (T.Bpp) {
    case 8:
    case 24:
    case 32: {
      // Visit only the pattern's set bits, eight columns at a time.
      const int size = T.Bpp / 8;
      for (int32_t g = x1 & ~7; g < x2; g += 8) {
        unsigned bits = Pattern;
        while (bits != 0) {
          const int k = __builtin_clz(bits) - 24;  // 0 = leftmost column of the group
          bits &= ~(0x80u >> k);
          const int32_t x = g + k;
          if (x < x1 || x >= x2) continue;
          uint8_t* p = row + size_t(x) * size;
          for (int l = 0; l < size; ++l) p[l] = MixByte(p[l], M.And[l], M.Xor[l]);
        }
      }
      return;
    }
    case 1: {
      // The pattern is anchored at x = 0, so its bits line up with the bytes of the row.
      const BitRange r = BitsOf(x1, x2);
      const uint8_t a = M.And[0], x = M.Xor[0];
      for (int32_t b = r.b1; b <= r.b2; ++b) {
        uint8_t mask = Pattern;
        if (b == r.b1) mask &= r.m1;
        if (b == r.b2) mask &= r.m2;
        row[b] = static_cast<uint8_t>((row[b] & ~mask) | (MixByte(row[b], a, x) & mask));
      }
      return;
    }
    case 4: {
      // Byte b holds columns 2b (high nibble) and 2b + 1; the pattern's bit for each column
      // becomes a nibble of the mask.
      const BitRange r = BitsOf(int64_t(x1) * 4, int64_t(x2) * 4);
      const uint8_t a = M.And[0], x = M.Xor[0];
      for (int32_t b = r.b1; b <= r.b2; ++b) {
        const int c = (2 * b) & 7;
        uint8_t mask = static_cast<uint8_t>((((Pattern << c) & 0x80) ? 0xF0 : 0) | (((Pattern << c) & 0x40) ? 0x0F : 0));
        if (b == r.b1) mask &= r.m1;
        if (b == r.b2) mask &= r.m2;
        row[b] = static_cast<uint8_t>((row[b] & ~mask) | (MixByte(row[b], a, x) & mask));
      }
      return;
    }
    default:
      return;
  }
}

TRect TClipper::Bounds() const {
  TRect r{0, 0, W_, H_};
  if (Clip_ != nullptr) r = IntersectRect(r, Clip_->GetBounds());
  return r;
}

void PaintSpans(const TTarget& T, const TClipper& C, const std::vector<TSpan>& Spans, const TMix& M,
                const uint8_t* Hatch) {
  if (T.Bpp == 0 || M.Nop) return;
  for (const TSpan& s : Spans) {
    if (Hatch == nullptr)
      C.Span(s.Y, s.X1, s.X2, [&](int32_t y, int32_t a, int32_t b) { MixSpan(T, y, a, b, M); });
    else
      C.Span(s.Y, s.X1, s.X2, [&](int32_t y, int32_t a, int32_t b) { MixSpanPattern(T, y, a, b, M, Hatch[y & 7]); });
  }
}

// ---------------------------------------------------------------------------------------------
// Flood fill

namespace {

template <int Bpp>
void FloodArea(const TTarget& T, const TClipper& C, int32_t X, int32_t Y, uint32_t Pixel, bool Border, const TMix& M,
               const uint8_t* Hatch) {
  auto inside = [&](const uint8_t* row, int32_t x) { return (Read<Bpp>(row, x) == Pixel) != Border; };
  int32_t runA = 0, runB = 0;
  if (!C.RunAt(Y, X, runA, runB) || !inside(T.Row(Y), X)) return;

  // Pixels already taken, one bit each over the visible bounds. The area is decided on the
  // pixels as they were: a pixel is read only while it is not taken, and only taken pixels are
  // painted.
  const TRect vis = C.Bounds();
  const size_t words = (size_t(vis.Width()) + 63) / 64;
  std::vector<uint64_t> taken(words * size_t(vis.Height()), 0);
  auto isTaken = [&](int32_t x, int32_t y) {
    const size_t i = size_t(x - vis.Left);
    return (taken[size_t(y - vis.Top) * words + (i >> 6)] >> (i & 63)) & 1;
  };
  auto take = [&](int32_t y, int32_t x1, int32_t x2) {
    uint64_t* row = &taken[size_t(y - vis.Top) * words];
    for (size_t i = size_t(x1 - vis.Left), e = size_t(x2 - vis.Left); i < e;) {
      const size_t bit = i & 63, n = std::min<size_t>(64 - bit, e - i);
      row[i >> 6] |= (n == 64 ? ~uint64_t(0) : ((uint64_t(1) << n) - 1)) << bit;
      i += n;
    }
  };

  // Seeds: one pixel of each run of the area not taken yet, found on the rows next to a run.
  std::vector<TPoint> seeds{{X, Y}};
  while (!seeds.empty()) {
    const TPoint p = seeds.back();
    seeds.pop_back();
    if (isTaken(p.X, p.Y) || !C.RunAt(p.Y, p.X, runA, runB)) continue;
    const uint8_t* row = T.Row(p.Y);
    int32_t l = p.X, r = p.X + 1;
    while (l > runA && !isTaken(l - 1, p.Y) && inside(row, l - 1)) --l;
    while (r < runB && !isTaken(r, p.Y) && inside(row, r)) ++r;
    take(p.Y, l, r);
    if (Hatch == nullptr) MixSpan(T, p.Y, l, r, M);
    else MixSpanPattern(T, p.Y, l, r, M, Hatch[p.Y & 7]);
    for (const int32_t ny : {p.Y - 1, p.Y + 1}) {
      if (ny < vis.Top || ny >= vis.Bottom) continue;
      const uint8_t* nrow = T.Row(ny);
      C.Span(ny, l, r, [&](int32_t, int32_t a, int32_t b) {
        for (int32_t x = a; x < b; ++x) {
          if (isTaken(x, ny) || !inside(nrow, x)) continue;
          seeds.push_back({x, ny});
          while (x + 1 < b && !isTaken(x + 1, ny) && inside(nrow, x + 1)) ++x;
        }
      });
    }
  }
}

}  // namespace

void FloodFill(const TTarget& T, const TClipper& C, int32_t X, int32_t Y, uint32_t Pixel, bool Border, const TMix& M,
               const uint8_t* Hatch) {
  switch (T.Bpp) {
    case 1: FloodArea<1>(T, C, X, Y, Pixel, Border, M, Hatch); break;
    case 4: FloodArea<4>(T, C, X, Y, Pixel, Border, M, Hatch); break;
    case 8: FloodArea<8>(T, C, X, Y, Pixel, Border, M, Hatch); break;
    case 24: FloodArea<24>(T, C, X, Y, Pixel, Border, M, Hatch); break;
    case 32: FloodArea<32>(T, C, X, Y, Pixel, Border, M, Hatch); break;
    default: break;
  }
}

bool SourceOf(const TBitmap* Bitmap, TSourceImage& S) {
  S = TSourceImage{};
  if (Bitmap == nullptr || Bitmap->Bits() == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0)
    return false;
  S.Row0 = Bitmap->Bits();
  S.Stride = static_cast<ptrdiff_t>(Bitmap->GetRowLength());
  S.Width = Bitmap->GetWidth();
  S.Height = Bitmap->GetHeight();
  S.Bits = Bitmap->GetBitCount();
  S.Palette = Bitmap->GetPalette();
  S.PaletteCount = Bitmap->GetPaletteCount();
  if (Bitmap->GetPixelFormat() == pf16bit) {
    S.Masks[0] = 0xF800;
    S.Masks[1] = 0x07E0;
    S.Masks[2] = 0x001F;
  }
  return S.Bits == 1 || S.Bits == 4 || S.Bits == 8 || S.Bits == 16 || S.Bits == 24 || S.Bits == 32;
}

// ---------------------------------------------------------------------------------------------
// Stretching copy

namespace {

// Turns source pixels of any supported layout into blue-green-red triples.
class RowDecoder {
 public:
  explicit RowDecoder(const TSourceImage& S) : S_(S) {
    if (S.Bits <= 8) {
      for (int i = 0; i < 256; ++i) {
        TRGBQuad q = (S.Palette != nullptr && i < S.PaletteCount) ? S.Palette[i] : TRGBQuad{};
        pal_[3 * i] = q.rgbBlue;
        pal_[3 * i + 1] = q.rgbGreen;
        pal_[3 * i + 2] = q.rgbRed;
        const uint8_t w[4] = {q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
        std::memcpy(&pal32_[i], w, 4);
      }
    }
    if (S.Bits == 16 || S.Bits == 32) {
      uint32_t masks[3] = {S.Masks[0], S.Masks[1], S.Masks[2]};
      if ((masks[0] | masks[1] | masks[2]) == 0) {
        if (S.Bits == 16) {
          masks[0] = 0x7C00;
          masks[1] = 0x03E0;
          masks[2] = 0x001F;
        } else {
          masks[0] = 0x00FF0000;
          masks[1] = 0x0000FF00;
          masks[2] = 0x000000FF;
          plain32_ = true;
        }
      }
      for (int c = 0; c < 3; ++c) SetupMask(c, masks[c]);
    }
  }

  // Pixels x0 .. x0+n-1 of a source row into out (3 bytes each). Pixels are stored as 4-byte
  // words, each overwriting the spare byte of the one before; the last is stored as 3 bytes.
  void Decode(const uint8_t* row, int32_t x0, int32_t n, uint8_t* out) const {
    if (n <= 0) return;
    switch (S_.Bits) {
      case 1: {
        int32_t x = x0, i = 0;
        // Whole source bytes: eight pixels each.
        while (i < n && (x & 7) != 0) PutLast(out, i, n, (row[x >> 3] >> (7 - (x & 7))) & 1), ++x, ++i;
        for (; i + 8 < n; i += 8, x += 8) {
          const unsigned v = row[x >> 3];
          for (int k = 0; k < 8; ++k) Put4(out + 3 * size_t(i + k), (v >> (7 - k)) & 1);
        }
        for (; i < n; ++i, ++x) PutLast(out, i, n, (row[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      }
      case 4:
        for (int32_t i = 0; i < n; ++i) {
          const int32_t x = x0 + i;
          PutLast(out, i, n, (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4));
        }
        break;
      case 8: {
        const uint8_t* p = row + x0;
        int32_t i = 0;
        for (; i + 1 < n; ++i) Put4(out + 3 * size_t(i), p[i]);
        Put3(out + 3 * size_t(i), p[i]);
        break;
      }
      case 16:
        for (int32_t i = 0; i < n; ++i, out += 3) {
          const uint8_t* p = row + 2 * size_t(x0 + i);
          const uint32_t v = p[0] | (uint32_t(p[1]) << 8);
          out[0] = Channel(2, v);
          out[1] = Channel(1, v);
          out[2] = Channel(0, v);
        }
        break;
      case 24:
        std::memcpy(out, row + 3 * size_t(x0), 3 * size_t(n));
        break;
      case 32:
        if (plain32_) {
          const uint8_t* p = row + 4 * size_t(x0);
          int32_t i = 0;
          for (; i + 1 < n; ++i, out += 3, p += 4) std::memcpy(out, p, 4);
          out[0] = p[0];
          out[1] = p[1];
          out[2] = p[2];
        } else {
          for (int32_t i = 0; i < n; ++i, out += 3) {
            uint32_t v;
            std::memcpy(&v, row + 4 * size_t(x0 + i), 4);
            out[0] = Channel(2, v);
            out[1] = Channel(1, v);
            out[2] = Channel(0, v);
          }
        }
        break;
      default:
        std::memset(out, 0, 3 * size_t(n));
        break;
    }
  }

  // The 1-bit value of palette index i (1-bit sources).
  unsigned MonoOfIndex(int i) const { return MonoBit(pal_[3 * i], pal_[3 * i + 1], pal_[3 * i + 2]); }

 private:
  void Put3(uint8_t* out, unsigned idx) const { std::memcpy(out, &pal32_[idx], 3); }
  void Put4(uint8_t* out, unsigned idx) const { std::memcpy(out, &pal32_[idx], 4); }
  void PutLast(uint8_t* out, int32_t i, int32_t n, unsigned idx) const {
    if (i + 1 < n) Put4(out + 3 * size_t(i), idx);
    else Put3(out + 3 * size_t(i), idx);
  }
  void SetupMask(int c, uint32_t mask) {
    shift_[c] = 0;
    len_[c] = 0;
    if (mask == 0) return;
    while (((mask >> shift_[c]) & 1) == 0) ++shift_[c];
    while (shift_[c] + len_[c] < 32 && ((mask >> (shift_[c] + len_[c])) & 1) != 0) ++len_[c];
    mask_[c] = mask;
    if (len_[c] <= 8) {
      // Widen to 8 bits by repeating the value's bits (5 bits abcde -> abcdeabc).
      const unsigned max = (1u << len_[c]) - 1;
      for (unsigned v = 0; v <= max; ++v) {
        unsigned out = 0;
        int filled = 0;
        while (filled < 8) {
          const int s = 8 - filled - len_[c];
          out |= s >= 0 ? (v << s) : (v >> -s);
          filled += len_[c];
        }
        widen_[c][v] = static_cast<uint8_t>(out & 0xFF);
      }
    }
  }
  uint8_t Channel(int c, uint32_t v) const {
    if (len_[c] == 0) return 0;
    const uint32_t x = (v & mask_[c]) >> shift_[c];
    return len_[c] <= 8 ? widen_[c][x] : static_cast<uint8_t>(x >> (len_[c] - 8));
  }

  const TSourceImage& S_;
  uint8_t pal_[768] = {};
  uint32_t pal32_[256] = {};  // blue, green, red, 0
  bool plain32_ = false;
  uint32_t mask_[3] = {};
  int shift_[3] = {};
  int len_[3] = {};
  uint8_t widen_[3][256] = {};
};

// Per-byte masks of a three-operand raster operation for a fixed pattern byte:
// result = (~S & ~D & m[0]) | (~S & D & m[1]) | (S & ~D & m[2]) | (S & D & m[3]).
struct Rop3Lane {
  uint8_t m[4];
};
Rop3Lane MakeRop3Lane(uint32_t rop3, uint8_t pattern) {
  const unsigned table = (rop3 >> 16) & 0xFF;  // bit (P << 2 | S << 1 | D)
  Rop3Lane lane{};
  for (int sd = 0; sd < 4; ++sd)
    for (int k = 0; k < 8; ++k) {
      const unsigned p = (pattern >> k) & 1;
      if ((table >> ((p << 2) | unsigned(sd))) & 1) lane.m[sd] |= static_cast<uint8_t>(1u << k);
    }
  return lane;
}
inline uint8_t ApplyRop3(const Rop3Lane& l, uint8_t s, uint8_t d) {
  return static_cast<uint8_t>((~s & ~d & l.m[0]) | (~s & d & l.m[1]) | (s & ~d & l.m[2]) | (s & d & l.m[3]));
}

}  // namespace

void StretchCopy(const TTarget& T, const TClipper& C, const TSourceImage& S, int32_t Sx, int32_t Sy, int32_t Sw,
                 int32_t Sh, int32_t Dx, int32_t Dy, int32_t Dw, int32_t Dh, uint32_t Rop3, TColor Brush) {
  if (T.Bpp == 0 || S.Row0 == nullptr || Sw <= 0 || Sh <= 0 || Dw == 0 || Dh == 0) return;
  const bool mirrorX = Dw < 0, mirrorY = Dh < 0;
  if (mirrorX) {
    Dx += Dw;
    Dw = -Dw;
  }
  if (mirrorY) {
    Dy += Dh;
    Dh = -Dh;
  }
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  TRect vis = IntersectRect(TRect{Dx, Dy, int32_t(std::min<int64_t>(int64_t(Dx) + Dw, kMax)),
                                  int32_t(std::min<int64_t>(int64_t(Dy) + Dh, kMax))},
                            C.Bounds());
  if (vis.IsEmpty()) return;

  // The source pixel under the centre of destination column x / row y. The mapping is monotone,
  // so destination pixels whose source lies outside the image form the ends of each axis, which
  // are cut off (nothing is drawn for them).
  auto srcColOf = [&](int32_t x) {
    const int64_t k = int64_t(x) - Dx;
    int64_t s = ((2 * k + 1) * Sw) / (2 * int64_t(Dw));
    if (mirrorX) s = Sw - 1 - s;
    return int64_t(Sx) + s;
  };
  auto srcRowOf = [&](int32_t y) {
    const int64_t k = int64_t(y) - Dy;
    int64_t s = ((2 * k + 1) * Sh) / (2 * int64_t(Dh));
    if (mirrorY) s = Sh - 1 - s;
    return int64_t(Sy) + s;
  };
  if (Sx < 0 || Sy < 0 || int64_t(Sx) + Sw > S.Width || int64_t(Sy) + Sh > S.Height) {
    // Keeps [lo, hi) to the indexes whose non-decreasing key lies in [kLow, kHigh].
    auto trim = [](int32_t& lo, int32_t& hi, auto key, int64_t kLow, int64_t kHigh) {
      int32_t a = lo, b = hi;
      while (a < b) {
        const int32_t m = a + (b - a) / 2;
        if (key(m) >= kLow) b = m;
        else a = m + 1;
      }
      const int32_t first = a;
      b = hi;
      while (a < b) {
        const int32_t m = a + (b - a) / 2;
        if (key(m) > kHigh) b = m;
        else a = m + 1;
      }
      lo = first;
      hi = a;
    };
    trim(vis.Left, vis.Right, [&](int32_t x) { return mirrorX ? -srcColOf(x) : srcColOf(x); },
         mirrorX ? -(int64_t(S.Width) - 1) : 0, mirrorX ? 0 : int64_t(S.Width) - 1);
    trim(vis.Top, vis.Bottom, [&](int32_t y) { return mirrorY ? -srcRowOf(y) : srcRowOf(y); },
         mirrorY ? -(int64_t(S.Height) - 1) : 0, mirrorY ? 0 : int64_t(S.Height) - 1);
    if (vis.IsEmpty()) return;
  }

  const uint32_t ropCode = (Rop3 >> 16) & 0xFF;
  const bool copy = ropCode == 0xCC;
  const bool identityX = !mirrorX && Sw == Dw;
  const int bpp = T.Bpp;
  const int size = bpp / 8;  // bytes per pixel of the target (0 for 1 and 4 bits)
  const bool subByte = bpp == 1 || bpp == 4;

  const int32_t vw = vis.Width();
  std::vector<int32_t> col(static_cast<size_t>(vw));
  int32_t cmin = std::numeric_limits<int32_t>::max(), cmax = std::numeric_limits<int32_t>::min();
  for (int32_t i = 0; i < vw; ++i) {
    col[size_t(i)] = static_cast<int32_t>(srcColOf(vis.Left + i));
    cmin = std::min(cmin, col[size_t(i)]);
    cmax = std::max(cmax, col[size_t(i)]);
  }

  RowDecoder decoder(S);
  // Indexed targets: an indexed source goes through a table from its indexes to the target's,
  // other sources through the nearest-entry search of their colours.
  const bool indexed = T.Indexed();
  const bool indexMap = indexed && S.Bits <= 8;
  uint8_t toTarget[256] = {};
  bool sameIndexes = false;
  if (indexMap) {
    sameIndexes = bpp == 8 && S.Bits == 8;
    for (int i = 0; i < 256; ++i) {
      const TRGBQuad q = (S.Palette != nullptr && i < S.PaletteCount) ? S.Palette[i] : TRGBQuad{};
      toTarget[i] = static_cast<uint8_t>(NearestIndex(T.Palette, T.PaletteCount, q.rgbBlue, q.rgbGreen, q.rgbRed));
      sameIndexes = sameIndexes && toTarget[i] == i;
    }
  }
  std::unique_ptr<TNearestCache> nearest;
  if (indexed && !indexMap) nearest = std::make_unique<TNearestCache>(T.Palette, T.PaletteCount);
  auto sourceIndex = [&](const uint8_t* srow, int32_t c) -> unsigned {
    switch (S.Bits) {
      case 1: return (srow[c >> 3] >> (7 - (c & 7))) & 1;
      case 4: return (c & 1) ? (srow[c >> 1] & 15) : (srow[c >> 1] >> 4);
      default: return srow[c];
    }
  };

  const bool direct = (bpp == 24 && S.Bits == 24) || (bpp == 32 && S.Bits == 32 && (S.Masks[0] | S.Masks[1] | S.Masks[2]) == 0) ||
                      sameIndexes;
  const bool bits1 = bpp == 1 && S.Bits == 1;
  unsigned mono[2] = {0, 1};
  if (bits1) {
    mono[0] = decoder.MonoOfIndex(0);
    mono[1] = decoder.MonoOfIndex(1);
  }
  // Decoded source columns cmin .. cmax of the current source row; a 1:1 copy onto a 24-bit
  // target decodes straight into the target instead.
  std::vector<uint8_t> bgr;
  const bool decodeInPlace = !direct && !bits1 && copy && identityX && bpp == 24;
  if (!direct && !bits1 && !decodeInPlace && !indexMap) bgr.resize(3 * size_t(cmax - cmin + 1));
  int32_t decodedRow = -1;

  // Byte offsets of the source columns for equal formats (1, 3 or 4 bytes a pixel). A 3-byte pixel
  // is moved as one 4-byte word (the fourth byte is rewritten by the next pixel) except where
  // the word would reach past the source row or the span.
  std::vector<uint32_t> off;
  if (direct && !identityX) {
    off.resize(size_t(vw));
    for (int32_t i = 0; i < vw; ++i) off[size_t(i)] = static_cast<uint32_t>(col[size_t(i)]) * uint32_t(size);
  }
  const uint32_t lastWordable = S.Width > 0 ? uint32_t(S.Width - 1) * 3 : 0;  // offsets below this can load 4 bytes

  // Writes the source pixels of destination columns [a, b) on row y into out, where pixel x goes
  // to byte (x - x0) * size (bits (x - x0) * bpp for 1 and 4 bits; x0 then starts a byte).
  auto produce = [&](const uint8_t* srow, int32_t a, int32_t b, uint8_t* out, int32_t x0) {
    const int32_t i0 = a - vis.Left;
    if (direct) {
      if (identityX) {
        std::memcpy(out + size_t(a - x0) * size, srow + size_t(col[size_t(i0)]) * size, size_t(b - a) * size);
      } else if (size == 3) {
        uint8_t* o = out + size_t(a - x0) * 3;
        const uint32_t* t = off.data() + i0;
        int32_t n = b - a;
        for (; n > 1; --n, o += 3, ++t) {
          if (*t < lastWordable) {
            uint32_t v;
            std::memcpy(&v, srow + *t, 4);
            std::memcpy(o, &v, 4);
          } else {
            o[0] = srow[*t];
            o[1] = srow[*t + 1];
            o[2] = srow[*t + 2];
          }
        }
        if (n == 1) {
          o[0] = srow[*t];
          o[1] = srow[*t + 1];
          o[2] = srow[*t + 2];
        }
      } else if (size == 4) {
        uint8_t* o = out + size_t(a - x0) * 4;
        const uint32_t* t = off.data() + i0;
        for (int32_t i = 0; i < b - a; ++i, o += 4) std::memcpy(o, srow + t[i], 4);
      } else {
        uint8_t* o = out + size_t(a - x0);
        const uint32_t* t = off.data() + i0;
        for (int32_t i = 0; i < b - a; ++i) o[i] = srow[t[i]];
      }
      return;
    }
    if (indexed) {
      for (int32_t x = a; x < b; ++x) {
        const int32_t c = col[size_t(x - vis.Left)];
        unsigned v;
        if (indexMap) {
          v = toTarget[sourceIndex(srow, c)];
        } else {
          const uint8_t* p = &bgr[3 * size_t(c - cmin)];
          v = (*nearest)(p[0], p[1], p[2]);
        }
        if (bpp == 8) {
          out[x - x0] = static_cast<uint8_t>(v);
        } else {
          uint8_t& o = out[(x - x0) >> 1];
          o = ((x - x0) & 1) ? static_cast<uint8_t>((o & 0xF0) | v) : static_cast<uint8_t>((o & 0x0F) | (v << 4));
        }
      }
      return;
    }
    if (bpp == 1) {
      for (int32_t x = a; x < b; ++x) {
        const int32_t c = col[size_t(x - vis.Left)];
        unsigned bit;
        if (bits1) bit = mono[(srow[c >> 3] >> (7 - (c & 7))) & 1];
        else {
          const uint8_t* p = &bgr[3 * size_t(c - cmin)];
          bit = MonoBit(p[0], p[1], p[2]);
        }
        uint8_t& o = out[(x - x0) >> 3];
        const uint8_t m = static_cast<uint8_t>(0x80 >> ((x - x0) & 7));
        o = bit ? static_cast<uint8_t>(o | m) : static_cast<uint8_t>(o & ~m);
      }
      return;
    }
    uint8_t* o = out + size_t(a - x0) * size;
    if (size == 3 && identityX) {
      if (bgr.empty()) decoder.Decode(srow, col[size_t(i0)], b - a, o);  // straight into the target
      else std::memcpy(o, &bgr[3 * size_t(col[size_t(i0)] - cmin)], 3 * size_t(b - a));
      return;
    }
    for (int32_t i = i0; i < i0 + (b - a); ++i, o += size) {
      const uint8_t* p = &bgr[3 * size_t(col[size_t(i)] - cmin)];
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
      if (size == 4) o[3] = 0;
    }
  };

  // Non-copy operations: the source pixels go to a scratch row, then combine with the target.
  std::vector<uint8_t> scratch;
  Rop3Lane lanes[4];
  if (!copy) {
    scratch.resize(size_t(vw) * std::max(size, 1) + 8);
    const TBGR p = ResolveColor(Brush);
    if (bpp == 1) {
      lanes[0] = MakeRop3Lane(Rop3, MonoBit(p.b, p.g, p.r) ? 0xFF : 0x00);
    } else if (indexed) {
      const uint32_t v = PixelValueOf(T, Brush);
      lanes[0] = MakeRop3Lane(Rop3, static_cast<uint8_t>(bpp == 4 ? v * 0x11 : v));
    } else {
      lanes[0] = MakeRop3Lane(Rop3, p.b);
      lanes[1] = MakeRop3Lane(Rop3, p.g);
      lanes[2] = MakeRop3Lane(Rop3, p.r);
      lanes[3] = MakeRop3Lane(Rop3, 0);
    }
  }

  int32_t prevSrcRow = -1;
  int32_t prevY = -1;
  const bool simpleClip = copy && !C.HasRegion();
  for (int32_t y = vis.Top; y < vis.Bottom; ++y) {
    const int32_t sy = static_cast<int32_t>(srcRowOf(y));
    uint8_t* drow = T.Row(y);
    // Enlarging repeats source rows: copy the row drawn just above.
    if (simpleClip && sy == prevSrcRow && prevY == y - 1) {
      if (subByte) {
        const BitRange r = BitsOf(int64_t(vis.Left) * bpp, int64_t(vis.Right) * bpp);
        const uint8_t* up = T.Row(y - 1);
        drow[r.b1] = static_cast<uint8_t>((drow[r.b1] & ~r.m1) | (up[r.b1] & r.m1));
        if (r.b2 != r.b1) {
          std::memcpy(drow + r.b1 + 1, up + r.b1 + 1, size_t(r.b2 - r.b1 - 1));
          drow[r.b2] = static_cast<uint8_t>((drow[r.b2] & ~r.m2) | (up[r.b2] & r.m2));
        }
      } else {
        std::memcpy(drow + size_t(vis.Left) * size, T.Row(y - 1) + size_t(vis.Left) * size, size_t(vw) * size);
      }
      prevY = y;
      continue;
    }
    const uint8_t* srow = S.Row(sy);
    if (!bgr.empty() && sy != decodedRow) {
      decoder.Decode(srow, cmin, cmax - cmin + 1, bgr.data());
      decodedRow = sy;
    }
    C.Span(y, vis.Left, vis.Right, [&](int32_t, int32_t a, int32_t b) {
      if (copy) {
        produce(srow, a, b, drow, 0);
        return;
      }
      if (subByte) {
        const int32_t x0 = a & ~(8 / bpp - 1);
        produce(srow, a, b, scratch.data(), x0);
        const BitRange r = BitsOf(int64_t(a) * bpp, int64_t(b) * bpp);
        for (int32_t k = r.b1; k <= r.b2; ++k) {
          uint8_t mask = 0xFF;
          if (k == r.b1) mask &= r.m1;
          if (k == r.b2) mask &= r.m2;
          const uint8_t v = ApplyRop3(lanes[0], scratch[size_t(k - int32_t((int64_t(x0) * bpp) >> 3))], drow[k]);
          drow[k] = static_cast<uint8_t>((drow[k] & ~mask) | (v & mask));
        }
      } else {
        produce(srow, a, b, scratch.data(), a);
        uint8_t* d = drow + size_t(a) * size;
        const uint8_t* s = scratch.data();
        for (int32_t x = a; x < b; ++x, d += size, s += size)
          for (int l = 0; l < size; ++l) d[l] = ApplyRop3(lanes[l], s[l], d[l]);
      }
    });
    prevSrcRow = sy;
    prevY = y;
  }
}

}  // namespace corvex::raster
