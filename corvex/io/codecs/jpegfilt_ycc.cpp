// libjpeg's colour stage for 4:2:0 YCbCr, 64 pixels at a time with AVX-512 BW and VBMI.
//
// Upsampling ("fancy", as libjpeg's h2v2 routine): for an output row, each chroma column sum is
// cs = 3 * near + far (near: the chroma row of the luma row's pair, far: the row above for an even
// luma row, below for an odd one, the edge row repeated at the image's top and bottom). Pixel 2i
// takes (3 cs[i] + cs[i-1] + 8) >> 4, pixel 2i + 1 takes (3 cs[i] + cs[i+1] + 7) >> 4, the edge
// column repeated at the sides.
//
// Conversion, with x = Cb - 128 or Cr - 128 and products rounded as libjpeg's tables round them:
//   R = Y + ((91881 Cr' + 32768) >> 16)
//   G = Y + ((-22554 Cb' - 46802 Cr' + 32768) >> 16)
//   B = Y + ((116130 Cb' + 32768) >> 16)
// clamped to 0..255. 91881 = 65536 + 26345 and 116130 = 131072 - 14942, so R and B are x (or 2x)
// plus a 16-bit product rounded exactly: its high half plus the top bit of its low half. G's sum
// of two products goes through 32-bit lanes (-46802 = -65536 + 18734).
//
// Lanes: the 64 pixels of a step are split into even and odd pixels, 32 16-bit lanes each, which
// is how the upsampling produces them and how the luma bytes fall into 16-bit lanes (low byte
// even, high byte odd). The three channels are packed to bytes and one two-source byte
// permutation per 64 output bytes lays them out as blue-green-red.
#include "corvex/io/codecs/jpegfilt_pvt.h"

#include <array>

// GCC 12 takes the AVX-512 intrinsics' _mm512_undefined_* (a variable initialised from itself)
// for a read of an uninitialised value when they are inlined; the warning points into the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace corvex::jpeg_pvt {

bool gYccRows = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                __builtin_cpu_supports("avx512vbmi");

namespace {

#define CX_YCC_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2")))

// 32 chroma samples from p, widened to 16 bits.
CX_YCC_TARGET inline __m512i Load32(const uint8_t* p) {
  return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

CX_YCC_TARGET inline __m512i ColumnSums(const uint8_t* nearRow, const uint8_t* farRow) {
  const __m512i n = Load32(nearRow);
  return _mm512_add_epi16(_mm512_add_epi16(_mm512_slli_epi16(n, 1), n), Load32(farRow));
}

// The upsampled chroma of 64 output pixels from sample Near[0] on, less 128: even and odd pixels.
CX_YCC_TARGET inline void Upsample(const uint8_t* nearRow, const uint8_t* farRow, __m512i& even, __m512i& odd) {
  const __m512i before = ColumnSums(nearRow - 1, farRow - 1), at = ColumnSums(nearRow, farRow),
                after = ColumnSums(nearRow + 1, farRow + 1);
  const __m512i at3 = _mm512_add_epi16(_mm512_slli_epi16(at, 1), at);
  const __m512i offset = _mm512_set1_epi16(128);
  even = _mm512_sub_epi16(
      _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(at3, before), _mm512_set1_epi16(8)), 4), offset);
  odd = _mm512_sub_epi16(_mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(at3, after), _mm512_set1_epi16(7)), 4),
                         offset);
}

// (x * c + 32768) >> 16 in 16-bit lanes, exactly.
CX_YCC_TARGET inline __m512i MulRound(__m512i x, __m512i c) {
  return _mm512_add_epi16(_mm512_mulhi_epi16(x, c), _mm512_srli_epi16(_mm512_mullo_epi16(x, c), 15));
}

CX_YCC_TARGET inline void Convert(__m512i y, __m512i cb, __m512i cr, __m512i& r, __m512i& g, __m512i& b) {
  r = _mm512_add_epi16(_mm512_add_epi16(y, cr), MulRound(cr, _mm512_set1_epi16(26345)));
  b = _mm512_add_epi16(_mm512_add_epi16(y, _mm512_add_epi16(cb, cb)), MulRound(cb, _mm512_set1_epi16(-14942)));
  const __m512i weights = _mm512_set1_epi32(int32_t((uint32_t(18734) << 16) | uint32_t(uint16_t(-22554))));
  const __m512i half = _mm512_set1_epi32(32768);
  const __m512i lo =
      _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(cb, cr), weights), half), 16);
  const __m512i hi =
      _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(cb, cr), weights), half), 16);
  g = _mm512_add_epi16(_mm512_sub_epi16(y, cr), _mm512_packs_epi32(lo, hi));
}

// Where output byte e of 64-byte vector v (pixel p = (64 v + e) / 3, channel (64 v + e) % 3) is
// found after packing: 128-bit lane L of packus(even, odd) holds even pixels 16L, 16L + 2, ...
// in its first 8 bytes and the odd ones after them. Blue and green come from a two-source
// permutation (green in the second source), red through a masked one.
struct Layout {
  std::array<std::array<uint8_t, 64>, 3> blueGreen{}, red{};
  std::array<uint64_t, 3> redMask{};
  Layout() {
    for (int o = 0; o < 192; ++o) {
      const int p = o / 3, c = o % 3, k = p / 2;
      const auto at = static_cast<uint8_t>(16 * (k / 8) + k % 8 + 8 * (p & 1));
      const int v = o / 64, e = o % 64;
      if (c == 2) {
        red[size_t(v)][size_t(e)] = at;
        redMask[size_t(v)] |= uint64_t(1) << e;
      } else {
        blueGreen[size_t(v)][size_t(e)] = static_cast<uint8_t>(at + (c == 1 ? 64 : 0));
      }
    }
  }
};
const Layout kLayout;

}  // namespace

CX_YCC_TARGET void YccRow420(const uint8_t* Y, const uint8_t* CbNear, const uint8_t* CbFar, const uint8_t* CrNear,
                             const uint8_t* CrFar, uint8_t* Out, int Width) {
  __m512i blueGreen[3], red[3];
  for (size_t v = 0; v < 3; ++v) {
    blueGreen[v] = _mm512_loadu_si512(kLayout.blueGreen[v].data());
    red[v] = _mm512_loadu_si512(kLayout.red[v].data());
  }
  const __m512i lowBytes = _mm512_set1_epi16(0xFF);
  for (int x = 0; x < Width; x += 64) {
    __m512i cbEven, cbOdd, crEven, crOdd;
    Upsample(CbNear + x / 2, CbFar + x / 2, cbEven, cbOdd);
    Upsample(CrNear + x / 2, CrFar + x / 2, crEven, crOdd);
    const __m512i luma = _mm512_loadu_si512(Y + x);
    __m512i rEven, gEven, bEven, rOdd, gOdd, bOdd;
    Convert(_mm512_and_si512(luma, lowBytes), cbEven, crEven, rEven, gEven, bEven);
    Convert(_mm512_srli_epi16(luma, 8), cbOdd, crOdd, rOdd, gOdd, bOdd);
    const __m512i r = _mm512_packus_epi16(rEven, rOdd), g = _mm512_packus_epi16(gEven, gOdd),
                  b = _mm512_packus_epi16(bEven, bOdd);
    uint8_t* out = Out + 3 * ptrdiff_t(x);
    const int bytes = 3 * (Width - x);
    for (int v = 0; v < 3; ++v) {
      const __m512i pixels = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(b, blueGreen[v], g),
                                                          kLayout.redMask[size_t(v)], red[v], r);
      const int n = bytes - 64 * v;
      if (n >= 64) {
        _mm512_storeu_si512(out + 64 * v, pixels);
      } else if (n > 0) {
        _mm512_mask_storeu_epi8(out + 64 * v, (__mmask64(1) << n) - 1, pixels);
      }
    }
  }
}

}  // namespace corvex::jpeg_pvt
