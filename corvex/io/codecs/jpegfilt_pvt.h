// Inside the JPEG codec: the colour stage of 4:2:0 YCbCr files done by the adapter itself, with
// AVX-512, on the planes libjpeg decodes or encodes (raw data). The arithmetic is libjpeg's own,
// to the bit: "fancy" (triangle) upsampling of the chroma and its fixed-point YCbCr -> RGB
// conversion when reading; RGB -> YCbCr and 2 x 2 averaging of the chroma when writing.
#pragma once

#include <cstdint>

namespace corvex::jpeg_pvt {

// Whether the reader converts 4:2:0 YCbCr planes itself (the processor has AVX-512 BW and VBMI);
// tests switch it off to compare with libjpeg's own colour stage.
extern bool gYccRows;

// One blue-green-red row of Width pixels from its luma row and the two chroma rows of each of Cb
// and Cr that libjpeg's upsampling weighs for it: the nearer one 3/4, the farther one 1/4. The
// chroma rows hold (Width + 1) / 2 samples, with [-1] a copy of [0] and [(Width + 1) / 2] a copy
// of the last; luma and chroma rows are readable 64 bytes beyond their ends (Width rounded up to 64).
void YccRow420(const uint8_t* Y, const uint8_t* CbNear, const uint8_t* CbFar, const uint8_t* CrNear,
               const uint8_t* CrFar, uint8_t* Out, int Width);

// Whether the writer makes the planes of 4:2:0 YCbCr files itself (AVX-512 BW, VBMI and VNNI).
extern bool gYccPlanes;

// The planes of two blue-green-red rows (the second may be the first again, below the image):
// both luma rows and one row of Cb and of Cr, each chroma sample the mean of a 2 x 2 square.
// Samples are made for Width rounded up to 64 (luma) or to 32 (chroma), from the last pixel
// repeated past Width, as libjpeg pads its planes.
void YccPlanes420(const uint8_t* Row0, const uint8_t* Row1, uint8_t* Y0, uint8_t* Y1, uint8_t* Cb, uint8_t* Cr,
                  int Width);

}  // namespace corvex::jpeg_pvt
