// Colour quantizers: reduce a 24-bit image to a palette of at most 256 colours, then map any
// colour to an index of that palette.
//
// TCXQuantizer is what the palette writers and the colour reductions use: construct it over the
// source bitmap (the constructor fills the palette), call GetRGBIndex for every pixel, free it.
// It picks the method by the number of colours alone: fewer than 128 colours use the
// variance-based median cut below, 128 and more the neural quantizer (NeurQuant.h).
//
// Median cut works on colours reduced to 5 bits per channel (a 32 x 32 x 32 cube), so the lookup
// of a colour is one table read. The palettes both methods build are stored in files, so their
// arithmetic, tie rules and rounding are fixed; tests pin them.
//
// Limits: at most 256 colours, and never more than the palette passed in holds. A bitmap that is
// missing, empty or not 24-bit is treated as an image without pixels (median cut then gives one
// black entry, the neural quantizer its initial grey ramp). Nothing is reported; a quantizer
// given no palette to fill maps every colour to 0.
#pragma once

#include "corvex/core/defs.h"
#include "corvex/platform/object.h"

namespace corvex {

// The most colours a quantizer builds.
constexpr int kMaxQuantizerColors = 256;

class TCXQuantizer : public TObject {
 public:
  // Fills ColorMap[0 .. NCol-1] from the pixels of Bitmap. NCol is limited to 1 ..
  // min(256, ColorMapCount); below 128 median cut is used, from 128 the neural quantizer with
  // Quality 0 .. 100 (100 = learn from every pixel) or -1 (chosen by the image size). Reserved
  // has no effect (callers pass 0).
  TCXQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol, int Quality,
               int Reserved = 0);
  ~TCXQuantizer() override;

  // The palette index for a colour.
  int GetRGBIndex(const TRGB& Color) const {
    if (Lookup_ != nullptr) return Lookup_[(Color.r >> 3) << 10 | (Color.g >> 3) << 5 | Color.b >> 3];
    return Method_ == 0 ? NeuralIndex(Color) : 0;
  }

  // 0 = neural quantizer, 1 = median cut, -1 = none (no palette to fill).
  int GetMethod() const { return Method_; }

 private:
  int NeuralIndex(const TRGB& Color) const;

  int Method_ = -1;
  void* Handle_ = nullptr;            // owned state of the chosen method
  const uint8_t* Lookup_ = nullptr;   // median cut: the cell-to-index table inside Handle_
};

// ---------------------------------------------------------------------------------------------
// Median cut

// Builds the median-cut state over Bitmap and writes the palette: ColorMap[k] for each colour
// produced (the mean of its box with each channel's low three bits clear). It may produce fewer
// than NCol colours (an image with few distinct colours); the other entries are left as they
// were. NCol is limited to 1 .. min(256, ColorMapCount). Returns the state (nullptr when
// ColorMapCount < 1); free it with FreeMedianCutQuantizer.
void* CreateMedianCutQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol);
// The palette index of a colour: the box its 5-bit cell lies in, 0 for a cell in no box (and
// for a nullptr state).
int MedianCutFindIndex(const void* Quantizer, const TRGB& Color);
// The number of colours the state produced (0 for nullptr).
int MedianCutColorCount(const void* Quantizer);
void FreeMedianCutQuantizer(void* Quantizer);

}  // namespace corvex
