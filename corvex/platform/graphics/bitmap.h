// TGraphic and TBitmap: the in-memory raster image of the toolkit.
//
// A TBitmap holds Width x Height pixels in one contiguous, zero-initialised block, row 0 at the
// top, each row padded to a multiple of 4 bytes. Pixel layouts by format:
//   pf1bit   1 bit per pixel, most significant bit first; palette fixed to black (0), white (1)
//   pf4bit   2 pixels per byte, high nibble first, 16-entry palette
//   pf8bit   1 byte per pixel, 256-entry palette
//   pf15bit  16-bit little-endian words, 5-5-5 (blue in the low bits)
//   pf16bit  16-bit little-endian words, 5-6-5
//   pf24bit  blue, green, red bytes
//   pf32bit  blue, green, red, reserved bytes
// Changing the pixel format converts the pixels (through 24-bit colour; reduction to a palette
// picks the nearest entry). Changing the size keeps the pixels that stay inside, zero elsewhere
// (the canvas brush colour once the bitmap has a canvas).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "corvex/platform/events.h"
#include "corvex/platform/object.h"
#include "corvex/platform/types.h"

namespace corvex {

class TCanvas;

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

struct TRGBQuad {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};
static_assert(sizeof(TRGBQuad) == 4);

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// An image of any kind: dimensions, a modified flag and a change event.
class TGraphic : public TPersistent {
 public:
  TNotifyEvent OnChange;

  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  virtual bool GetEmpty() const { return GetWidth() <= 0 || GetHeight() <= 0; }
  // Draws the graphic stretched to the rectangle; TCanvas::StretchDraw calls it for graphics
  // other than bitmaps (which the canvas copies itself). The default draws nothing.
  virtual void Draw(TCanvas* Canvas, const TRect& Rect) const {
    (void)Canvas;
    (void)Rect;
  }

  bool GetModified() const { return Modified_; }
  // Setting true marks a change and fires OnChange (a picture that shows the graphic repaints);
  // setting false only clears the flag.
  void SetModified(bool Value);

 protected:
  // Marks the graphic modified and fires OnChange.
  virtual void Changed(TObject* Sender);

 private:
  bool Modified_ = false;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int AWidth, int AHeight, TPixelFormat AFormat);
  ~TBitmap() override;

  int GetWidth() const override { return Width_; }
  int GetHeight() const override { return Height_; }
  void SetWidth(int Value) override { SetSize(Value, Height_); }
  void SetHeight(int Value) override { SetSize(Width_, Value); }
  // Both dimensions at once (one reallocation). Negative values count as 0.
  void SetSize(int AWidth, int AHeight);

  TPixelFormat GetPixelFormat() const { return Format_; }
  // pfDevice selects the screen's format; pfCustom is ignored.
  void SetPixelFormat(TPixelFormat Value);
  // Format and size at once, discarding the pixels (all zero afterwards). The cheapest way for a
  // decoder to prepare its target.
  void Allocate(int AWidth, int AHeight, TPixelFormat AFormat);

  // Address of row y (0 = top). Raises EInvalidGraphicOperation when y is outside the image.
  uint8_t* ScanLine(int y) {
    if (static_cast<unsigned>(y) >= static_cast<unsigned>(Height_)) RaiseScanLine(y);
    return Bits_ + static_cast<size_t>(y) * RowLen_;
  }
  const uint8_t* ScanLine(int y) const { return const_cast<TBitmap*>(this)->ScanLine(y); }

  // Bytes per row (padded to 4) and the whole block; Bits() is nullptr for an empty bitmap.
  size_t GetRowLength() const { return RowLen_; }
  uint8_t* Bits() { return Bits_; }
  const uint8_t* Bits() const { return Bits_; }
  size_t GetImageSize() const { return RowLen_ * static_cast<size_t>(Height_); }
  int GetBitCount() const;

  // Palette of the indexed formats (1, 4 and 8 bits); empty for the others. The 1-bit palette is
  // always black, white and cannot be changed. Indices past the palette read as black.
  int GetPaletteCount() const { return PaletteCount_; }
  const TRGBQuad* GetPalette() const { return Palette_; }
  // Copies up to 2^bits entries; ignored for formats without a palette and for pf1bit.
  void SetPalette(const TRGBQuad* Entries, int Count);

  // Copies a bitmap (format, size, palette and pixels); nullptr empties this bitmap.
  void Assign(const TPersistent* Source) override;

  // The drawing surface bound to this bitmap, created on first use; drawing on it fires OnChange.
  TCanvas* GetCanvas();

 private:
  [[noreturn]] void RaiseScanLine(int y) const;
  void SetDefaultPalette();
  void Reallocate(int AWidth, int AHeight, TPixelFormat AFormat, bool Keep);

  int Width_ = 0;
  int Height_ = 0;
  TPixelFormat Format_ = pf24bit;
  size_t RowLen_ = 0;
  uint8_t* Bits_ = nullptr;  // calloc'ed block
  TRGBQuad Palette_[256];
  int PaletteCount_ = 0;
  std::unique_ptr<TCanvas> Canvas_;
};

}  // namespace corvex
