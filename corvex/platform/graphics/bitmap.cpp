#include "corvex/platform/graphics/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <sys/mman.h>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/canvas_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

namespace {

int BitsOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

int PaletteSizeOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 2;
    case pf4bit: return 16;
    case pf8bit: return 256;
    default: return 0;
  }
}

constexpr TRGBQuad Q(uint8_t r, uint8_t g, uint8_t b) { return TRGBQuad{b, g, r, 0}; }

// The 16 colours of the standard VGA palette, in their usual order.
constexpr TRGBQuad kVga16[16] = {
    Q(0, 0, 0),       Q(128, 0, 0),   Q(0, 128, 0),   Q(128, 128, 0),
    Q(0, 0, 128),     Q(128, 0, 128), Q(0, 128, 128), Q(128, 128, 128),
    Q(192, 192, 192), Q(255, 0, 0),   Q(0, 255, 0),   Q(255, 255, 0),
    Q(0, 0, 255),     Q(255, 0, 255), Q(0, 255, 255), Q(255, 255, 255)};

inline uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Expand6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

// Reads `w` pixels of a row of format f into blue-green-red triples.
void RowToBGR(const uint8_t* src, TPixelFormat f, const TRGBQuad* pal, int palCount, int w,
              uint8_t* out) {
  auto putIndex = [&](int x, unsigned idx) {
    TRGBQuad q = static_cast<int>(idx) < palCount ? pal[idx] : TRGBQuad{};
    out[3 * x] = q.rgbBlue;
    out[3 * x + 1] = q.rgbGreen;
    out[3 * x + 2] = q.rgbRed;
  };
  switch (f) {
    case pf1bit:
      for (int x = 0; x < w; ++x) putIndex(x, (src[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case pf4bit:
      for (int x = 0; x < w; ++x) putIndex(x, (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4));
      break;
    case pf8bit:
      for (int x = 0; x < w; ++x) putIndex(x, src[x]);
      break;
    case pf15bit:
      for (int x = 0; x < w; ++x) {
        unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        out[3 * x] = Expand5(v & 31);
        out[3 * x + 1] = Expand5((v >> 5) & 31);
        out[3 * x + 2] = Expand5((v >> 10) & 31);
      }
      break;
    case pf16bit:
      for (int x = 0; x < w; ++x) {
        unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        out[3 * x] = Expand5(v & 31);
        out[3 * x + 1] = Expand6((v >> 5) & 63);
        out[3 * x + 2] = Expand5((v >> 11) & 31);
      }
      break;
    case pf24bit:
      std::memcpy(out, src, static_cast<size_t>(w) * 3);
      break;
    case pf32bit:
      for (int x = 0; x < w; ++x) {
        out[3 * x] = src[4 * x];
        out[3 * x + 1] = src[4 * x + 1];
        out[3 * x + 2] = src[4 * x + 2];
      }
      break;
    default:
      std::memset(out, 0, static_cast<size_t>(w) * 3);
      break;
  }
}

// Maps colours to the nearest palette entry (squared distance, first entry wins ties), with a
// direct-mapped cache because images repeat colours.
class NearestIndex {
 public:
  NearestIndex(const TRGBQuad* pal, int count) : pal_(pal), count_(count), cache_(kSlots, kEmpty) {}
  unsigned operator()(uint8_t b, uint8_t g, uint8_t r) {
    uint32_t key = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
    uint32_t slot = (key * 2654435761u) >> (32 - kBits);
    uint32_t& c = cache_[slot];
    if ((c & 0xFFFFFF) == key && c != kEmpty) return c >> 24;
    unsigned best = 0;
    int bestD = std::numeric_limits<int>::max();
    for (int i = 0; i < count_; ++i) {
      int db = int(b) - pal_[i].rgbBlue, dg = int(g) - pal_[i].rgbGreen, dr = int(r) - pal_[i].rgbRed;
      int d = db * db + dg * dg + dr * dr;
      if (d < bestD) {
        bestD = d;
        best = static_cast<unsigned>(i);
      }
    }
    c = key | (best << 24);
    return best;
  }

 private:
  static constexpr int kBits = 16;
  static constexpr size_t kSlots = size_t{1} << kBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // index 255 with white: re-checked by search
  const TRGBQuad* pal_;
  int count_;
  std::vector<uint32_t> cache_;
};

// Writes `w` blue-green-red triples into a row of format f.
void BGRToRow(const uint8_t* in, TPixelFormat f, NearestIndex* nearest, int w, uint8_t* dst) {
  switch (f) {
    case pf1bit:
      for (int x = 0; x < w; ++x) {
        unsigned bit = (*nearest)(in[3 * x], in[3 * x + 1], in[3 * x + 2]);
        uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
        if (bit) dst[x >> 3] |= m;
        else dst[x >> 3] &= static_cast<uint8_t>(~m);
      }
      break;
    case pf4bit:
      for (int x = 0; x < w; ++x) {
        unsigned idx = (*nearest)(in[3 * x], in[3 * x + 1], in[3 * x + 2]);
        uint8_t& d = dst[x >> 1];
        d = (x & 1) ? static_cast<uint8_t>((d & 0xF0) | idx) : static_cast<uint8_t>((d & 0x0F) | (idx << 4));
      }
      break;
    case pf8bit:
      for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>((*nearest)(in[3 * x], in[3 * x + 1], in[3 * x + 2]));
      break;
    case pf15bit:
      for (int x = 0; x < w; ++x) {
        unsigned v = (in[3 * x] >> 3) | ((in[3 * x + 1] >> 3) << 5) | ((in[3 * x + 2] >> 3) << 10);
        dst[2 * x] = static_cast<uint8_t>(v);
        dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case pf16bit:
      for (int x = 0; x < w; ++x) {
        unsigned v = (in[3 * x] >> 3) | ((in[3 * x + 1] >> 2) << 5) | ((in[3 * x + 2] >> 3) << 11);
        dst[2 * x] = static_cast<uint8_t>(v);
        dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case pf24bit:
      std::memcpy(dst, in, static_cast<size_t>(w) * 3);
      break;
    case pf32bit:
      for (int x = 0; x < w; ++x) {
        dst[4 * x] = in[3 * x];
        dst[4 * x + 1] = in[3 * x + 1];
        dst[4 * x + 2] = in[3 * x + 2];
        dst[4 * x + 3] = 0;
      }
      break;
    default:
      break;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TGraphic

void TGraphic::SetModified(bool Value) {
  if (Value) Changed(this);
  else Modified_ = false;
}

void TGraphic::Changed(TObject*) {
  Modified_ = true;
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TBitmap

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int AWidth, int AHeight, TPixelFormat AFormat) {
  Reallocate(AWidth, AHeight, AFormat == pfDevice ? (gSystemColors == 32 ? pf32bit : pf24bit)
                              : AFormat == pfCustom ? pf24bit : AFormat, false);
}

TBitmap::~TBitmap() { std::free(Bits_); }

int TBitmap::GetBitCount() const { return BitsOf(Format_); }

void TBitmap::RaiseScanLine(int y) const {
  throw EInvalidGraphicOperation("Scan line index out of range: row " + std::to_string(y) +
                                 " of a bitmap " + std::to_string(Height_) + " rows high");
}

void TBitmap::SetDefaultPalette() {
  PaletteCount_ = PaletteSizeOf(Format_);
  switch (Format_) {
    case pf1bit:
      Palette_[0] = Q(0, 0, 0);
      Palette_[1] = Q(255, 255, 255);
      break;
    case pf4bit:
      std::copy(std::begin(kVga16), std::end(kVga16), Palette_);
      break;
    case pf8bit:
      for (int i = 0; i < 256; ++i) Palette_[i] = Q(uint8_t(i), uint8_t(i), uint8_t(i));
      break;
    default:
      break;
  }
}

namespace {

// A zeroed pixel block (calloc: a large one is mapped fresh and costs nothing until written).
// The 2 MiB-aligned inside of a large block is offered to the kernel for transparent huge
// pages: a fresh 72 MB image otherwise costs some 18,000 page faults on its first write, which
// is most of the time of decoding it. Freed with free().
uint8_t* AllocatePixels(size_t total) {
  auto* p = static_cast<uint8_t*>(std::calloc(total, 1));
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  if (p != nullptr && total >= 4 * kHuge) {
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + total) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // a hint only
  }
#endif
  return p;
}

}  // namespace

void TBitmap::Reallocate(int AWidth, int AHeight, TPixelFormat AFormat, bool Keep) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  const int bits = BitsOf(AFormat);
  const uint64_t rowLen = ((uint64_t(AWidth) * uint64_t(bits) + 31) >> 5) << 2;
  const uint64_t total = rowLen * uint64_t(AHeight);
  if (total > uint64_t(std::numeric_limits<ptrdiff_t>::max()) / 2)
    throw EOutOfMemory("Bitmap of " + std::to_string(AWidth) + " x " + std::to_string(AHeight) +
                       " pixels is too large");
  uint8_t* block = nullptr;
  const uint64_t oldTotal = uint64_t(RowLen_) * uint64_t(Height_);
  if (!Keep && Bits_ != nullptr && total > 0 && total == oldTotal) {
    // A fresh image of the same size (a viewer going from photo to photo, a camera's frames):
    // the block is cleared and used again, which costs less than the page faults of a new one.
    block = Bits_;
    std::memset(block, 0, static_cast<size_t>(total));
  } else {
    if (!Keep && Bits_ != nullptr) {
      // The old pixels are not wanted: freed first, so that there is only ever one image.
      std::free(Bits_);
      Bits_ = nullptr;
      Width_ = Height_ = 0;
      RowLen_ = 0;
    }
    if (total > 0) {
      block = AllocatePixels(static_cast<size_t>(total));
      if (block == nullptr)
        throw EOutOfMemory("Out of memory for a bitmap of " + std::to_string(AWidth) + " x " +
                           std::to_string(AHeight) + " pixels");
    }
  }

  const TPixelFormat oldFormat = Format_;
  const bool formatChanged = AFormat != oldFormat;
  TRGBQuad oldPalette[256];
  const int oldPaletteCount = PaletteCount_;
  std::copy(Palette_, Palette_ + 256, oldPalette);
  Format_ = AFormat;
  if (formatChanged) SetDefaultPalette();

  if (Keep && Bits_ != nullptr && block != nullptr) {
    const int w = std::min(AWidth, Width_), h = std::min(AHeight, Height_);
    if (!formatChanged) {
      const size_t n = (size_t(w) * size_t(bits) + 7) / 8;
      for (int y = 0; y < h; ++y) std::memcpy(block + size_t(y) * rowLen, Bits_ + size_t(y) * RowLen_, n);
      // A partial last byte of a 1- or 4-bit row would carry pixels beyond the new width;
      // clear them so that padding stays zero.
      const int used = (w * bits) & 7;
      if (used != 0)
        for (int y = 0; y < h; ++y) block[size_t(y) * rowLen + n - 1] &= static_cast<uint8_t>(0xFF00 >> used);
    } else {
      std::vector<uint8_t> bgr(size_t(std::max(w, 1)) * 3);
      NearestIndex nearest(Palette_, PaletteCount_);
      for (int y = 0; y < h; ++y) {
        RowToBGR(Bits_ + size_t(y) * RowLen_, oldFormat, oldPalette, oldPaletteCount, w, bgr.data());
        BGRToRow(bgr.data(), AFormat, &nearest, w, block + size_t(y) * rowLen);
      }
    }
  }
  if (Bits_ != block) std::free(Bits_);
  Bits_ = block;
  Width_ = AWidth;
  Height_ = AHeight;
  RowLen_ = static_cast<size_t>(rowLen);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == Width_ && AHeight == Height_) return;
  const int oldWidth = Width_, oldHeight = Height_;
  Reallocate(AWidth, AHeight, Format_, true);
  // With a canvas, the new area shows the canvas brush, as the toolkit's bitmaps do.
  if (Canvas_) raster::FillGrownArea(Canvas_.get(), oldWidth, oldHeight);
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) return;
  if (Value == pfDevice) Value = gSystemColors == 32 ? pf32bit : pf24bit;
  if (Value == Format_) return;
  Reallocate(Width_, Height_, Value, true);
  Changed(this);
}

void TBitmap::Allocate(int AWidth, int AHeight, TPixelFormat AFormat) {
  if (AFormat == pfCustom) AFormat = Format_;
  if (AFormat == pfDevice) AFormat = gSystemColors == 32 ? pf32bit : pf24bit;
  Reallocate(AWidth, AHeight, AFormat, false);
  Changed(this);
}

void TBitmap::SetPalette(const TRGBQuad* Entries, int Count) {
  const int cap = PaletteSizeOf(Format_);
  if (Format_ == pf1bit || cap == 0 || Entries == nullptr) return;
  Count = std::clamp(Count, 0, cap);
  std::copy(Entries, Entries + Count, Palette_);
  std::fill(Palette_ + Count, Palette_ + 256, TRGBQuad{});
  PaletteCount_ = Count;
  Changed(this);
}

void TBitmap::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    Allocate(0, 0, Format_);
    return;
  }
  const auto* src = dynamic_cast<const TBitmap*>(Source);
  if (src == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (src == this) return;
  Reallocate(src->Width_, src->Height_, src->Format_, false);
  if (Bits_ != nullptr) std::memcpy(Bits_, src->Bits_, GetImageSize());
  std::copy(src->Palette_, src->Palette_ + 256, Palette_);
  PaletteCount_ = src->PaletteCount_;
  Changed(this);
}

TCanvas* TBitmap::GetCanvas() {
  if (!Canvas_) {
    Canvas_ = std::make_unique<TCanvas>(this);
    // Drawing on the canvas marks the bitmap modified and fires its OnChange.
    Canvas_->OnChange = TNotifyEvent(this, &TBitmap::Changed);
  }
  return Canvas_.get();
}

}  // namespace corvex
