// libjpeg's colour stage for 4:2:0 YCbCr, 64 pixels at a time with AVX-512 BW and VBMI.
//
// Upsampling ("fancy", as libjpeg's h2v2 routine): for an output row, each chroma column sum is
// cs = 3 * near + far (near: the chroma row of the luma row's pair, far: the row above for an even
// luma row, below for an odd one, the edge row repeated at the image's top and bottom). Pixel 2i
// takes (3 cs[i] + cs[i-1] + 8) >> 4, pixel 2i + 1 takes (3 cs[i] + cs[i+1] + 7) >> 4, the edge
// column repeated at the sides.
//
// Conversion, with Cb' = Cb - 128, Cr' = Cr - 128 and products rounded as libjpeg's tables do:
//   R = Y + ((91881 Cr' + 32768) >> 16)
//   G = Y + ((-22554 Cb' - 46802 Cr' + 32768) >> 16)
//   B = Y + ((116130 Cb' + 32768) >> 16)
// clamped to 0..255. 91881 = 65536 + 26345 and 116130 = 131072 - 14942, so R and B are Cr' (or
// 2 Cb') plus a 16-bit product rounded exactly: its high half plus the top bit of its low half.
// G's sum of two products goes through 32-bit lanes (-46802 = -65536 + 18734).
//
// Lanes: the 64 pixels of a step are split into even and odd pixels, 32 16-bit lanes each, which
// is how the upsampling produces them and how the luma bytes fall into 16-bit lanes (low byte
// even, high byte odd). The three channels are packed to bytes, and per 64 output bytes a
// two-source byte permutation (blue, green) and a masked one (red) lay them out as blue-green-red.
#include "corvex/io/codecs/jpegfilt_pvt.h"

#include <array>
#include <cstring>

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

// ---------------------------------------------------------------------------------------------
// Writing: libjpeg's RGB -> YCbCr conversion and 2 x 2 chroma averaging.
//
//   Y  = ( 19595 R + 38470 G +  7471 B + 32768) >> 16
//   Cb = (-11059 R - 21709 G + 32768 B + 128 * 65536 + 32767) >> 16
//   Cr = ( 32768 R - 27439 G -  5329 B + 128 * 65536 + 32767) >> 16
//   chroma sample j = (four Cb or Cr of its square + 1 or 2, for j even or odd) >> 2
//
// Each sum is two VPDPWSSD over 16-bit pairs of channels in 32-bit lanes: (B, G), (R, G) and
// (B, R), the coefficients over 32767 split across two lanes (38470 = 2 x 19235, 32768 = 2 x
// 16384). A vector holds the even or the odd pixels of 32, so the chroma average adds vectors.

namespace corvex::jpeg_pvt {

bool gYccPlanes = gYccRows && __builtin_cpu_supports("avx512vnni");

namespace {

#define CX_YCC_PLANES_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni,avx2")))

// Byte permutations: the channel pairs of 16 pixels (even or odd ones of a half of 64) from the
// 128 bytes that hold them, and the orders that packing leaves in the luma and chroma bytes.
struct PlaneLayout {
  // [half][odd][pair]: pair 0 is (B, G), 1 is (R, G), 2 is (B, R).
  std::array<std::array<std::array<std::array<uint8_t, 64>, 3>, 2>, 2> pairs{};
  std::array<uint8_t, 64> luma{}, chroma{};
  PlaneLayout() {
    constexpr int kChannels[3][2] = {{0, 1}, {2, 1}, {0, 2}};
    for (int half = 0; half < 2; ++half)
      for (int odd = 0; odd < 2; ++odd)
        for (int pair = 0; pair < 3; ++pair)
          for (int k = 0; k < 16; ++k) {
            // Pixel 32 half + 2k + odd, in bytes counted from the first source (64 half on).
            const int at = 3 * (2 * k + odd) + 32 * 3 * half - 64 * half;
            auto& lane = pairs[size_t(half)][size_t(odd)][size_t(pair)];
            lane[size_t(4 * k)] = static_cast<uint8_t>(at + kChannels[pair][0]);
            lane[size_t(4 * k + 2)] = static_cast<uint8_t>(at + kChannels[pair][1]);
          }
    // Luma: packus(packs(even0, odd0), packs(even1, odd1)); 128-bit lane L then holds even0 lanes
    // 4L..4L+3, odd0 4L..4L+3, even1 4L.., odd1 4L.. (lane m of even h is pixel 32h + 2m).
    // Chroma: packus(packs(cb0, cb1), packs(cr0, cr1)), lane m of cb h being sample 16h + m.
    for (int L = 0; L < 4; ++L)
      for (int q = 0; q < 4; ++q)
        for (int i = 0; i < 4; ++i) {
          const int at = 16 * L + 4 * q + i, m = 4 * L + i, h = q / 2;
          luma[size_t(32 * h + 2 * m + q % 2)] = static_cast<uint8_t>(at);
          chroma[size_t(32 * (q / 2) + 16 * (q % 2) + m)] = static_cast<uint8_t>(at);
        }
  }
};
const PlaneLayout kPlaneLayout;

struct PlaneConstants {
  __m512i pairs[2][2][3];
  __m512i luma, chroma;
};

// A pair of 16-bit weights, a for the low channel of a pair and b for the high one.
CX_YCC_PLANES_TARGET inline __m512i Weights(int a, int b) {
  return _mm512_set1_epi32(int32_t((uint32_t(uint16_t(b)) << 16) | uint16_t(a)));
}

// Y, Cb and Cr of 16 pixels (32-bit lanes, before the chroma average), their pairs picked from
// the 128 bytes lo:hi.
CX_YCC_PLANES_TARGET inline void Convert16(__m512i lo, __m512i hi, const __m512i* pairIndex, __m512i& y, __m512i& cb,
                                           __m512i& cr) {
  constexpr __mmask64 kLowBytes = 0x5555555555555555ull;
  const __m512i bg = _mm512_maskz_permutex2var_epi8(kLowBytes, lo, pairIndex[0], hi);
  const __m512i rg = _mm512_maskz_permutex2var_epi8(kLowBytes, lo, pairIndex[1], hi);
  const __m512i br = _mm512_maskz_permutex2var_epi8(kLowBytes, lo, pairIndex[2], hi);
  const __m512i chromaBase = _mm512_set1_epi32(128 * 65536 + 32767);
  y = _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(_mm512_set1_epi32(32768), bg, Weights(7471, 19235)), rg,
                          Weights(19595, 19235));
  cb = _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(chromaBase, bg, Weights(16384, -21709)), br, Weights(16384, -11059));
  cr = _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(chromaBase, rg, Weights(16384, -27439)), br, Weights(-5329, 16384));
  y = _mm512_srai_epi32(y, 16);
  cb = _mm512_srai_epi32(cb, 16);
  cr = _mm512_srai_epi32(cr, 16);
}

// 64 pixels of one row: its luma bytes stored, its Cb and Cr (32-bit, per pixel) added into the
// sums of the 2 x 2 squares, [half] for chroma samples 16 half .. 16 half + 15.
CX_YCC_PLANES_TARGET inline void Row64(const uint8_t* bgr, const PlaneConstants& k, uint8_t* yOut, __m512i (&cb)[2],
                                       __m512i (&cr)[2], bool first) {
  const __m512i v0 = _mm512_loadu_si512(bgr), v1 = _mm512_loadu_si512(bgr + 64), v2 = _mm512_loadu_si512(bgr + 128);
  __m512i y[2][2];
  for (int half = 0; half < 2; ++half) {
    const __m512i lo = half == 0 ? v0 : v1, hi = half == 0 ? v1 : v2;
    for (int odd = 0; odd < 2; ++odd) {
      __m512i b, r;
      Convert16(lo, hi, k.pairs[half][odd], y[half][odd], b, r);
      cb[half] = first && odd == 0 ? b : _mm512_add_epi32(cb[half], b);
      cr[half] = first && odd == 0 ? r : _mm512_add_epi32(cr[half], r);
    }
  }
  const __m512i packed = _mm512_packus_epi16(_mm512_packs_epi32(y[0][0], y[0][1]), _mm512_packs_epi32(y[1][0], y[1][1]));
  _mm512_storeu_si512(yOut, _mm512_permutexvar_epi8(k.luma, packed));
}

}  // namespace

CX_YCC_PLANES_TARGET void YccPlanes420(const uint8_t* Row0, const uint8_t* Row1, uint8_t* Y0, uint8_t* Y1,
                                       uint8_t* Cb, uint8_t* Cr, int Width) {
  PlaneConstants k;
  for (size_t h = 0; h < 2; ++h)
    for (size_t o = 0; o < 2; ++o)
      for (size_t p = 0; p < 3; ++p) k.pairs[h][o][p] = _mm512_loadu_si512(kPlaneLayout.pairs[h][o][p].data());
  k.luma = _mm512_loadu_si512(kPlaneLayout.luma.data());
  k.chroma = _mm512_loadu_si512(kPlaneLayout.chroma.data());
  // The bias alternates 1, 2 with the sample, as does the lane within a half.
  const __m512i bias = _mm512_set1_epi64(int64_t(2) << 32 | 1);
  uint8_t tail[2][192];
  for (int x = 0; x < Width; x += 64) {
    const uint8_t* r0 = Row0 + 3 * ptrdiff_t(x);
    const uint8_t* r1 = Row1 + 3 * ptrdiff_t(x);
    if (Width - x < 64) {
      // The last step: the pixels past the row repeat its last one.
      const int n = Width - x;
      for (int i = 0; i < 2; ++i) {
        const uint8_t* src = i == 0 ? r0 : r1;
        std::memcpy(tail[i], src, size_t(3 * n));
        for (int j = n; j < 64; ++j) std::memcpy(tail[i] + 3 * j, src + 3 * (n - 1), 3);
      }
      r0 = tail[0];
      r1 = tail[1];
    }
    __m512i cb[2], cr[2];
    Row64(r0, k, Y0 + x, cb, cr, true);
    Row64(r1, k, Y1 + x, cb, cr, false);
    for (int h = 0; h < 2; ++h) {
      cb[h] = _mm512_srai_epi32(_mm512_add_epi32(cb[h], bias), 2);
      cr[h] = _mm512_srai_epi32(_mm512_add_epi32(cr[h], bias), 2);
    }
    const __m512i packed = _mm512_permutexvar_epi8(
        k.chroma, _mm512_packus_epi16(_mm512_packs_epi32(cb[0], cb[1]), _mm512_packs_epi32(cr[0], cr[1])));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Cb + x / 2), _mm512_castsi512_si256(packed));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Cr + x / 2), _mm512_extracti64x4_epi64(packed, 1));
  }
}

}  // namespace corvex::jpeg_pvt
