// TCXFtImage: the two-dimensional discrete Fourier transform of a 24-bit image, one transform per
// colour channel or one of the grey values. It renders the spectrum as a picture, clears regions
// of it (low-pass, high-pass, any rectangle) and transforms back into a bitmap: filtering in the
// frequency domain.
//
// The image is placed in the middle of an N x N square (N the smallest power of two holding
// it), its samples divided by their maximum and modulated by (-1)^(row + column) so that the
// zero frequency sits at (N/2, N/2). Each one-dimensional transform is scaled by 1/sqrt(N), in
// both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/core/defs.h"

namespace corvex {

enum TCXFtImageType { cxitUnknown, cxitRGB, cxitGrayscale };

// N rows of 2N single-precision floats: the N real parts, then the N imaginary parts.
class TCXComplexPlane {
 public:
  TCXComplexPlane() = default;
  explicit TCXComplexPlane(int N) : N_(N), Data_(size_t(N) * size_t(N) * 2, 0.0f) {}
  int GetSize() const { return N_; }
  float* Re(int row) { return Data_.data() + size_t(row) * size_t(N_) * 2; }
  float* Im(int row) { return Re(row) + N_; }
  const float* Re(int row) const { return Data_.data() + size_t(row) * size_t(N_) * 2; }
  const float* Im(int row) const { return Re(row) + N_; }
  bool Empty() const { return N_ == 0; }

 private:
  int N_ = 0;
  std::vector<float> Data_;
};

// Addresses of the coefficient at one column and row in every plane (nullptr for absent planes).
struct TCXComplexImage {
  float* RedReal;
  float* RedImag;
  float* BlueReal;
  float* BlueImag;
  float* GreenReal;
  float* GreenImag;
  float* GrayImag;
  float* GrayReal;
};

class TCXFtImage : public TObject {
 public:
  TCXFtImage() = default;

  // Transforms a 24-bit bitmap (other formats store nothing).
  void BuildFT(const TBitmap* Bitmap, TCXFtImageType ImageType);
  // The spectrum picture: N x N, 24-bit, the log magnitude stretched to 0 .. 255 per plane.
  void GetFTImage(TBitmap* Bitmap) const;
  // The inverse transform, contrast-stretched, at the source size (24-bit). The stored planes
  // are not changed, so this may be repeated after more filtering.
  void BuildBitmap(TBitmap* Bitmap) const;
  // Zero the coefficients within / beyond Radius of the centre (distance Trunc(sqrt(dx2+dy2))).
  void HiPass(int Radius);
  void LoPass(int Radius);
  // Zeroes columns x1 .. x2 of rows y1 .. y2 (inclusive; cut to the square).
  void ClearZone(int x1, int y1, int x2, int y2);
  TCXComplexImage GetComplexImage(int x, int y);
  void FreeAll();
  void Assign(const TCXFtImage* Source);

  TCXFtImageType GetImageType() const { return ImageType_; }
  int GetPlaneSize() const { return PlaneSize_; }
  int GetOffsetX() const { return OffsetX_; }
  int GetOffsetY() const { return OffsetY_; }
  int GetSourceWidth() const { return SourceWidth_; }
  int GetSourceHeight() const { return SourceHeight_; }

  TCXProgressEvent OnProgress;

  // The steps the operations above are made of.
  // Prepares the tables for transforms of length N (a power of two).
  void fftinit(int N);
  // i with its log2(N) low bits reversed.
  int bitrev(int i) const;
  // A plane from one channel of the square image (0 blue, 1 green, 2 red, 3 grey), normalised by
  // the channel's maximum and modulated by (-1)^(row + column).
  TCXComplexPlane newcomplex(const TBitmap* Square, int Channel) const;
  TCXComplexPlane dupcomplex(const TCXComplexPlane& Plane) const { return Plane; }
  // Multiplies every sample by (-1)^(row + column).
  void filt_orig(TCXComplexPlane& Plane) const;
  // Transforms every row, then every column; Sign -1 forward, +1 inverse. Reports progress after
  // each column for plane PlaneIndex of PlaneCount when asked.
  void fft2d(TCXComplexPlane& Plane, bool Progress, int Sign, int PlaneIndex = 0, int PlaneCount = 1) const;
  // One-dimensional transform of N complex points (real parts Re, imaginary parts Im) in place.
  void fft(float* Re, float* Im, int Sign) const;
  // The grey levels of a plane's real parts: without a histogram, |re| stretched so that the
  // minimum is 0 and the maximum 255; with one (256 counts), levels assigned by rank so that
  // level k receives Histogram[k] samples (equal values keep one level). The levels replace
  // the real parts.
  void realtoint(TCXComplexPlane& Plane, const int* Histogram) const;
  // Writes the levels of a plane (after realtoint) into one channel of the bitmap (0 blue, 1
  // green, 2 red, 3 all three), from the stored offset.
  void filt_toint(const TCXComplexPlane& Plane, TBitmap* Bitmap, int Channel) const;

 private:
  // Eight interleaved transforms (point i of each at [8 i, 8 i + 8)), the points already in
  // bit-reversed order; the stage tables give the factors.
  void GroupTransform(float* Re, float* Im, int Sign) const;
  std::vector<const TCXComplexPlane*> Planes() const;
  std::vector<TCXComplexPlane*> Planes();

  std::vector<double> Twiddle_;   // sin(2 pi i / N)
  std::vector<int> BitRev_;
  std::vector<int> BlockSizes_;   // 2^i
  // The butterfly factors of every stage, the stage of half-length h at [h - 1 .. 2h - 2]:
  // cosine, sine and minus the sine, in single precision as the butterflies use them.
  std::vector<float> StageCos_, StageSin_, StageSinNeg_;
  int TransformLength_ = 0;
  int Log2N_ = 0;
  double Scale_ = 1.0;            // 1 / sqrt(N)
  int PlaneSize_ = 0;
  TCXComplexPlane Red_, Green_, Blue_, Gray_;
  int OffsetX_ = 0, OffsetY_ = 0;
  int SourceWidth_ = 0, SourceHeight_ = 0;
  TCXFtImageType ImageType_ = cxitUnknown;
};

}  // namespace corvex
