// The neural-network colour quantizer: a Kohonen self-organising map of NeuQuant's kind (one
// neuron per palette colour), trained on a sample of the image's pixels, then searched through
// an index by green value. TCXQuantizer (stdquant.h) uses it for 128 colours and more.
//
// The learning follows NeuQuant's integer arithmetic exactly (colours scaled by 16 while
// learning, biased winner search with frequency and bias, neighbour radius shrinking over 100
// periods) and visits the pixels in prime-stride order, 1 of every `factor` pixels, so that the
// palette of an image is always the same.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/core/defs.h"

namespace corvex {

// The sampling factor (1 .. 30: learn from 1 of every factor pixels). Quality -1 chooses by the
// image size: 1 under 2000 pixels, else Round((pixels - 2000) * 13 / 148000 + 2) limited to
// 1 .. 30. Otherwise Trunc((100 - Quality) / 100 * 29) + 1 with Quality limited to 0 .. 100
// (100 gives 1, 0 gives 30).
int NeuralSamplingFactor(int64_t Pixels, int Quality);

// The stride between sampled pixels: the first of the primes 499, 491, 487 that does not divide
// the picture's byte length, else 503.
int NeuralSampleStep(int64_t ByteLength);

class TNeuralQuantizer {
 public:
  // Learns NCol colours (limited to 1 .. min(256, ColorMapCount)) from Bitmap and writes them to
  // ColorMap[0 .. NCol-1]. A bitmap that is missing, empty or not 24-bit teaches nothing: the
  // palette is then the initial grey ramp. With ColorMap nullptr or ColorMapCount < 1 there is
  // no network and every colour maps to 0.
  TNeuralQuantizer(const TBitmap* Bitmap, TRGB* ColorMap, int ColorMapCount, int NCol, int Quality);

  // The palette index of the neuron nearest to Color (sum of absolute differences). Among equal
  // distances the neuron met first by the search wins: it walks the network sorted by green
  // upward and downward alternately, starting at the green index of Color. The answer is found
  // through lists of the neurons that can be nearest for each 5-bit colour cell, built on first
  // use, and a memo of recent colours (so GetIndex is not safe to call from several threads at
  // once on one quantizer).
  int GetIndex(const TRGB& Color) const;
  // The same answer from the search itself, without the cell lists.
  int SearchIndex(const TRGB& Color) const;

  int GetColorCount() const { return static_cast<int>(Net_.size()); }
  int GetSamplingFactor() const { return Factor_; }

 private:
  struct Neuron {
    int32_t b, g, r;  // 0 .. 255
    int32_t index;    // palette index
  };
  // A cell's candidate list: Count positions (in Net_) at Pool_[Offset]; State 0 = not built
  // yet, 1 = built, 2 = too many candidates (the search answers).
  struct Cell {
    uint32_t Offset;
    uint16_t Count;
    uint8_t State;
  };
  void BuildIndex();
  void BuildCell(unsigned CellIndex) const;
  int NearestCandidate(const Cell& C, const TRGB& Color) const;

  int Factor_ = 1;
  std::vector<Neuron> Net_;  // sorted by green
  int32_t GreenIndex_[256] = {};
  mutable std::vector<Cell> Cells_;
  mutable std::vector<uint32_t> MemoKey_;   // colour + 1 of each memo slot, 0 = empty
  mutable std::vector<uint8_t> MemoIndex_;
  mutable std::vector<uint8_t> Pool_;
};

}  // namespace corvex
