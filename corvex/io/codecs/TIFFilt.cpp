// TIFF reading: the page's directory, then its strips or tiles decoded row by row and converted
// into the bitmap.
#include "corvex/io/codecs/TIFFilt.h"

#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "corvex/io/codecs/TIFCCITT.h"
#include "corvex/io/codecs/TIFFilt_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

using namespace tiff;

namespace {

// What a page's directory says, with the defaults of missing tags.
struct Page {
  int64_t width = 0, height = 0;
  int spp = 1, bps = 1;
  int64_t rowsPerStrip = 0;
  int64_t tileWidth = -1, tileLength = -1;
  int photometric = -1;  // -1: no tag
  int planar = 1, orientation = 1, compression = 1;
  std::vector<uint64_t> stripOffsets, stripCounts, tileOffsets, tileCounts;
  uint64_t jpegIF = 0, jpegIFLength = 0;  // old-style JPEG: where a whole JPEG stream is
  std::vector<TRGB> colorMap;
  int resUnit = 2;
  double xres = 0, yres = 0, xpos = 0, ypos = 0;
  int predictor = 1;
  std::vector<uint8_t> jpegTables;
  uint32_t t4 = 0, t6 = 0;
  int fillOrder = 1;
  std::string docName, description, pageName, software;
  int pageNumber = 0, pageCount = 0;
  int inkSet = 1, numberOfInks = 4;
  int sampleFormat = 1;
  bool bitsUnequal = false;
};

bool ReadPage(File& f, const std::vector<Entry>& es, Page& p) {
  uint32_t v = 0;
  std::vector<uint32_t> a;
  if (const Entry* e = Find(es, kImageWidth); e && f.UInt(*e, v)) p.width = v;
  if (const Entry* e = Find(es, kImageLength); e && f.UInt(*e, v)) p.height = v;
  if (const Entry* e = Find(es, kSamplesPerPixel); e && f.UInt(*e, v)) p.spp = int(std::min<uint32_t>(v, 65535));
  // Every sample must have the same depth; values beyond the samples of a pixel are ignored.
  if (const Entry* e = Find(es, kBitsPerSample); e && f.UInts(*e, a, uint32_t(std::max(p.spp, 1))) && !a.empty()) {
    p.bps = int(std::min<uint32_t>(a[0], 65535));
    for (uint32_t b : a)
      if (b != a[0]) p.bitsUnequal = true;
  }
  p.rowsPerStrip = p.height;
  if (const Entry* e = Find(es, kRowsPerStrip); e && f.UInt(*e, v) && v != 0xFFFFFFFFu && v != 0) p.rowsPerStrip = v;
  if (p.rowsPerStrip > p.height) p.rowsPerStrip = p.height;
  if (const Entry* e = Find(es, kTileWidth); e && f.UInt(*e, v)) p.tileWidth = v;
  if (const Entry* e = Find(es, kTileLength); e && f.UInt(*e, v)) p.tileLength = v;
  if (const Entry* e = Find(es, kPhotometric); e && f.UInt(*e, v)) p.photometric = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kPlanarConfig); e && f.UInt(*e, v)) p.planar = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kOrientation); e && f.UInt(*e, v)) p.orientation = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kCompression); e && f.UInt(*e, v)) p.compression = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kResolutionUnit); e && f.UInt(*e, v)) p.resUnit = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kXResolution)) f.Rational(*e, p.xres);
  if (const Entry* e = Find(es, kYResolution)) f.Rational(*e, p.yres);
  if (const Entry* e = Find(es, kXPosition)) f.Rational(*e, p.xpos);
  if (const Entry* e = Find(es, kYPosition)) f.Rational(*e, p.ypos);
  if (const Entry* e = Find(es, kPredictor); e && f.UInt(*e, v)) p.predictor = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kT4Options); e && f.UInt(*e, v)) p.t4 = v;
  if (const Entry* e = Find(es, kT6Options); e && f.UInt(*e, v)) p.t6 = v;
  if (const Entry* e = Find(es, kFillOrder); e && f.UInt(*e, v)) p.fillOrder = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kInkSet); e && f.UInt(*e, v)) p.inkSet = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kNumberOfInks); e && f.UInt(*e, v)) p.numberOfInks = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kSampleFormat); e && f.UInt(*e, v)) p.sampleFormat = int(std::min<uint32_t>(v, 65535));
  if (const Entry* e = Find(es, kPageNumber); e && f.UInts(*e, a, 2)) {
    if (a.size() > 0) p.pageNumber = int(std::min<uint32_t>(a[0], 65535));
    if (a.size() > 1) p.pageCount = int(std::min<uint32_t>(a[1], 65535));
  }
  if (const Entry* e = Find(es, kDocumentName)) p.docName = f.Text(*e);
  if (const Entry* e = Find(es, kImageDescription)) p.description = f.Text(*e);
  if (const Entry* e = Find(es, kPageName)) p.pageName = f.Text(*e);
  if (const Entry* e = Find(es, kSoftware)) p.software = f.Text(*e);
  {
    std::vector<uint64_t> o;
    if (const Entry* e = Find(es, kJPEGInterchangeFormat); e && f.UInts(*e, o, 1) && !o.empty()) p.jpegIF = o[0];
    if (const Entry* e = Find(es, kJPEGInterchangeFormatLength); e && f.UInts(*e, o, 1) && !o.empty())
      p.jpegIFLength = o[0];
  }
  if (const Entry* e = Find(es, kJPEGTables)) {
    if (e->count > (1u << 20) || !f.ValueBytes(*e, p.jpegTables)) p.jpegTables.clear();
  }
  // Offsets and counts: no more than the chunks the page can have.
  const bool tiled = p.tileWidth > 0 || p.tileLength > 0;
  const int planes = p.planar == 2 ? std::max(p.spp, 1) : 1;
  if (tiled) {
    if (p.tileWidth > 0 && p.tileLength > 0 && p.width > 0 && p.height > 0) {
      const int64_t n = ((p.width + p.tileWidth - 1) / p.tileWidth) * ((p.height + p.tileLength - 1) / p.tileLength) * planes;
      const uint32_t maxc = uint32_t(std::min<int64_t>(n, 1 << 26));
      if (const Entry* e = Find(es, kTileOffsets)) f.UInts(*e, p.tileOffsets, maxc);
      if (const Entry* e = Find(es, kTileByteCounts)) f.UInts(*e, p.tileCounts, maxc);
    }
  } else if (p.rowsPerStrip > 0) {
    const int64_t n = ((p.height + p.rowsPerStrip - 1) / p.rowsPerStrip) * planes;
    const uint32_t maxc = uint32_t(std::min<int64_t>(n, 1 << 26));
    if (const Entry* e = Find(es, kStripOffsets)) f.UInts(*e, p.stripOffsets, maxc);
    if (const Entry* e = Find(es, kStripByteCounts)) f.UInts(*e, p.stripCounts, maxc);
  }
  if (const Entry* e = Find(es, kColorMap); e && p.bps >= 1 && p.bps <= 16) {
    const uint32_t want = 3u << p.bps;
    if (f.UInts(*e, a, uint32_t(std::min<uint64_t>(want, e->count))) && a.size() >= 3) {
      // Three planes of 16-bit red, green and blue; a short map keeps the entries it has.
      const size_t n = std::min<size_t>(a.size() / 3, size_t(1) << p.bps);
      const size_t plane = a.size() / 3;
      p.colorMap.resize(n);
      for (size_t i = 0; i < n; ++i)
        p.colorMap[i] = CreateRGB(uint8_t(a[i] >> 8), uint8_t(a[plane + i] >> 8), uint8_t(a[2 * plane + i] >> 8));
    }
  }
  return true;
}

TIOTIFFCompression CompressionEnum(int c, uint32_t t4) {
  switch (c) {
    case 2: return ioTIFF_CCITT1D;
    case 3: return (t4 & 1) ? ioTIFF_G3FAX2D : ioTIFF_G3FAX1D;
    case 4: return ioTIFF_G4FAX;
    case 5: return ioTIFF_LZW;
    case 6: return ioTIFF_OLDJPEG;
    case 7: return ioTIFF_JPEG;
    case 32773: return ioTIFF_PACKBITS;
    default: return ioTIFF_UNCOMPRESSED;
  }
}

TIOTIFFPhotometInterpret PhotometricEnum(int p) {
  if (p >= 0 && p <= 6) return TIOTIFFPhotometInterpret(p);
  if (p == 8) return ioTIFF_CIELAB;
  return ioTIFF_RGB;
}

// ---------------------------------------------------------------------------------------------
// Conversion of decoded rows into the bitmap.

enum Kind { kUnsupported, kBilevel, kPalette, kGrey, kRGB, kRGB555, kCMYK, kLab };

struct Converter {
  Kind kind = kUnsupported;
  int spp = 1;  // samples per pixel of the decoded rows (interleaved)
  int bps = 8;
  bool big = false;
  bool invert = false;  // bilevel: flip bits; grey: 255 - value
  int greyShift = 8;    // 16-bit grey: value >> shift
  const TRGB* map = nullptr;
  int mapCount = 0;
  std::vector<uint8_t> scale;  // n-bit grey to 8 bits
  // Signed, floating-point and 32-bit samples are first reduced to 8-bit unsigned samples of a
  // row of their own, which the 8-bit conversion then takes.
  int sampleFormat = 1;
  std::shared_ptr<const Converter> eight;
  mutable std::vector<uint8_t> reduced;

  // Signed samples are shifted into the unsigned range (the most negative value is black) and
  // shifted down to 8 bits; floating-point samples are clamped to 0..1 and scaled to 0..255.
  void Reduce(const uint8_t* src, int64_t count, uint8_t* out) const {
    switch (bps) {
      case 8:
        for (int64_t i = 0; i < count; ++i) out[i] = uint8_t(src[i] ^ 0x80);
        break;
      case 16: {
        const uint32_t flip = sampleFormat == 2 ? 0x8000 : 0;
        for (int64_t i = 0; i < count; ++i) out[i] = uint8_t((Sample(src, i) ^ flip) >> 8);
        break;
      }
      case 32:
        for (int64_t i = 0; i < count; ++i) {
          const uint8_t* q = src + 4 * i;
          const uint32_t v = big ? uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]
                                 : uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
          if (sampleFormat == 3) {
            float f;
            std::memcpy(&f, &v, 4);
            out[i] = Unit8(f);
          } else {
            out[i] = uint8_t((sampleFormat == 2 ? v ^ 0x80000000u : v) >> 24);
          }
        }
        break;
      case 64:
        for (int64_t i = 0; i < count; ++i) {
          const uint8_t* q = src + 8 * i;
          uint64_t v = 0;
          for (int k = 0; k < 8; ++k) v = big ? (v << 8 | q[k]) : (v | uint64_t(q[k]) << (8 * k));
          double d;
          std::memcpy(&d, &v, 8);
          out[i] = Unit8(d);
        }
        break;
      default: break;
    }
  }
  static uint8_t Unit8(double v) {
    if (!(v > 0)) return 0;  // NaN too
    if (v >= 1) return 255;
    return uint8_t(Round(v * 255));
  }

  uint32_t Sample(const uint8_t* row, int64_t i) const {
    switch (bps) {
      case 8: return row[i];
      case 16: {
        const uint8_t* p = row + 2 * i;
        return big ? uint32_t(p[0] << 8 | p[1]) : uint32_t(p[1] << 8 | p[0]);
      }
      default: {
        const int64_t bit = i * bps;
        uint32_t v = 0;
        for (int k = 0; k < bps; ++k) {
          const int64_t b = bit + k;
          v = (v << 1) | ((row[b >> 3] >> (7 - (b & 7))) & 1);
        }
        return v;
      }
    }
  }
  // The sample scaled to 8 bits.
  uint8_t Sample8(const uint8_t* row, int64_t i) const {
    const uint32_t v = Sample(row, i);
    if (bps == 8) return uint8_t(v);
    if (bps > 8) return uint8_t(v >> (bps - 8));
    return scale[v];
  }

  // Kept out of line: inlined into Run it slows the 8 and 16-bit conversions by a tenth to a
  // fifth.
  [[gnu::noinline]] void RunReduced(const uint8_t* src, int n, uint8_t* dst, int x0) const {
    const int64_t count = int64_t(n) * spp;
    if (reduced.size() < size_t(count)) reduced.resize(size_t(count));
    Reduce(src, count, reduced.data());
    eight->Run(reduced.data(), n, dst, x0);
  }

  void Run(const uint8_t* src, int n, uint8_t* dst, int x0) const {
    if (eight) {
      RunReduced(src, n, dst, x0);
      return;
    }
    if (kind == kBilevel) {
      uint8_t* d = dst + (x0 >> 3);
      const int bytes = (n + 7) >> 3;
      if (invert)
        for (int i = 0; i < bytes; ++i) d[i] = uint8_t(~src[i]);
      else
        std::memcpy(d, src, size_t(bytes));
      return;
    }
    uint8_t* d = dst + size_t(x0) * 3;
    switch (kind) {
      case kRGB:
        if (bps == 8 && spp == 3) {
          for (int x = 0; x < n; ++x, src += 3, d += 3) {
            const uint8_t r = src[0], g = src[1], b = src[2];
            d[0] = b;
            d[1] = g;
            d[2] = r;
          }
        } else if (bps == 8) {
          for (int x = 0; x < n; ++x, src += spp, d += 3) {
            d[0] = src[2];
            d[1] = src[1];
            d[2] = src[0];
          }
        } else if (bps == 16) {
          // 16 bits reduce to their high byte, which is the first or second of the pair.
          const uint8_t* h = src + (big ? 0 : 1);
          const int step = 2 * spp;
          for (int x = 0; x < n; ++x, h += step, d += 3) {
            d[2] = h[0];
            d[1] = h[2];
            d[0] = h[4];
          }
        } else {
          for (int x = 0; x < n; ++x, d += 3) {
            const int64_t s = int64_t(x) * spp;
            d[2] = Sample8(src, s);
            d[1] = Sample8(src, s + 1);
            d[0] = Sample8(src, s + 2);
          }
        }
        break;
      case kRGB555:
        for (int x = 0; x < n; ++x, d += 3) {
          const uint32_t v = Sample(src, x);
          d[2] = uint8_t(((v >> 10) & 31) << 3);
          d[1] = uint8_t(((v >> 5) & 31) << 3);
          d[0] = uint8_t((v & 31) << 3);
        }
        break;
      case kPalette:
        for (int x = 0; x < n; ++x, d += 3) {
          const uint32_t i = Sample(src, int64_t(x) * spp);
          const TRGB c = int(i) < mapCount ? map[i] : TRGB{0, 0, 0};
          d[0] = c.b;
          d[1] = c.g;
          d[2] = c.r;
        }
        break;
      case kGrey:
        if (bps == 16 && greyShift == 8) {
          // The high byte; 65535 - v has the high byte 255 - that of v.
          const uint8_t* h = src + (big ? 0 : 1);
          const uint8_t flip = invert ? 0xFF : 0;
          for (int x = 0; x < n; ++x, h += 2 * spp, d += 3) d[0] = d[1] = d[2] = uint8_t(h[0] ^ flip);
          break;
        }
        for (int x = 0; x < n; ++x, d += 3) {
          uint8_t g;
          if (bps == 16) {
            const uint32_t v = Sample(src, int64_t(x) * spp);
            g = uint8_t(std::min<uint32_t>((invert ? 65535 - v : v) >> greyShift, 255));
          } else {
            g = Sample8(src, int64_t(x) * spp);
            if (invert) g = uint8_t(255 - g);
          }
          d[0] = d[1] = d[2] = g;
        }
        break;
      case kCMYK:
        for (int x = 0; x < n; ++x, d += 3) {
          const int64_t s = int64_t(x) * spp;
          const unsigned k = 255u - Sample8(src, s + 3);
          d[2] = uint8_t((255u - Sample8(src, s)) * k / 255u);
          d[1] = uint8_t((255u - Sample8(src, s + 1)) * k / 255u);
          d[0] = uint8_t((255u - Sample8(src, s + 2)) * k / 255u);
        }
        break;
      case kLab:
        for (int x = 0; x < n; ++x, d += 3) {
          const int64_t s = int64_t(x) * spp;
          LabToBGR(Sample8(src, s), Sample8(src, s + 1), Sample8(src, s + 2), d);
        }
        break;
      default: break;
    }
  }

  static uint8_t LabComponent(double v) {
    if (v <= 0) return 0;
    if (v >= 1) return 255;
    return uint8_t(Trunc(std::sqrt(v) * 256));
  }
  static void LabToBGR(uint8_t l8, uint8_t a8, uint8_t b8, uint8_t* d) {
    const double L = l8 / 255.0 * 100;
    auto signedByte = [](uint8_t v) {
      int s = int8_t(v);
      if (s == -128) s = 128;
      return (s + 127) / 255.0 * 200 - 100;
    };
    const double a = signedByte(a8), b = signedByte(b8);
    const double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    double X, Y, Z;
    if (L >= 7.9996) {
      X = fx * fx * fx;
      Y = fy * fy * fy;
      Z = fz * fz * fz;
    } else {
      Y = L / 903.3;
      X = Y + a / 3893.5;
      Z = Y - b / 1557.4;
    }
    d[2] = LabComponent(2.69 * X - 1.276 * Y - 0.414 * Z);
    d[1] = LabComponent(-1.022 * X + 1.978 * Y + 0.044 * Z);
    d[0] = LabComponent(0.061 * X - 0.224 * Y + 1.163 * Z);
  }
};

// ---------------------------------------------------------------------------------------------
// Decoding of one strip or tile into rows.

struct Chunk {
  int64_t offset = 0;
  int64_t count = 0;  // 0: to the end of the data
  int width = 0;      // pixels per row
  int rows = 0;
  int spp = 1;        // samples per pixel of these rows
  int64_t rowBytes = 0;
};

// A byte buffer that keeps its block from chunk to chunk and does not clear it when resized
// (the stored bytes of a strip are read over it at once). A large block is offered to the
// kernel for huge pages: a page of one strip is often tens of megabytes, and faulting them in
// 4 KiB at a time costs more than decoding them.
struct RawBuffer {
  struct Free {
    void operator()(uint8_t* q) const { std::free(q); }
  };
  std::unique_ptr<uint8_t, Free> block;
  size_t n = 0, cap = 0;
  void resize(size_t k) {
    if (k > cap) {
      block.reset();
      void* q = std::malloc(std::max<size_t>(k, 1));
      if (q == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
      constexpr uintptr_t kHuge = uintptr_t(2) << 20;
      if (k >= 4 * kHuge) {
        const uintptr_t from = (reinterpret_cast<uintptr_t>(q) + kHuge - 1) & ~(kHuge - 1);
        const uintptr_t to = (reinterpret_cast<uintptr_t>(q) + k) & ~(kHuge - 1);
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // a hint only
      }
#endif
      block.reset(static_cast<uint8_t*>(q));
      cap = k;
    }
    n = k;
  }
  uint8_t* data() { return block.get(); }
  size_t size() const { return n; }
  uint8_t* begin() { return block.get(); }
  uint8_t* end() { return block.get() + n; }
};

struct Decoder {
  File& f;
  const Page& p;
  TTIFFLZWDecompFunc lzw = nullptr;
  int compression = 1;
  RawBuffer raw;
  std::vector<uint8_t> rowBuf, whole;

  Decoder(File& F, const Page& P) : f(F), p(P), compression(P.compression) {}

  std::vector<uint8_t> fpBuf;

  void Predict(uint8_t* row, const Chunk& c) {
    if (p.predictor == 3) {
      PredictFloat(row, c);
      return;
    }
    if (p.predictor != 2) return;
    const int s = c.spp;
    if (p.bps == 8) {
      const int64_t n = int64_t(c.width) * s;
      for (int64_t i = s; i < n; ++i) row[i] = uint8_t(row[i] + row[i - s]);
    } else if (p.bps == 16) {
      const int64_t n = int64_t(c.width) * s;
      for (int64_t i = s; i < n; ++i) {
        uint8_t* q = row + 2 * i;
        const uint8_t* r = q - 2 * s;
        if (f.BigEndian()) {
          const uint16_t v = uint16_t((q[0] << 8 | q[1]) + (r[0] << 8 | r[1]));
          q[0] = uint8_t(v >> 8);
          q[1] = uint8_t(v);
        } else {
          const uint16_t v = uint16_t((q[1] << 8 | q[0]) + (r[1] << 8 | r[0]));
          q[1] = uint8_t(v >> 8);
          q[0] = uint8_t(v);
        }
      }
    } else if (p.bps == 32) {
      const int64_t n = int64_t(c.width) * s;
      const bool be = f.BigEndian();
      auto get = [be](const uint8_t* q) {
        return be ? uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]
                  : uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
      };
      for (int64_t i = s; i < n; ++i) {
        uint8_t* q = row + 4 * i;
        const uint32_t v = get(q) + get(q - 4 * s);
        for (int k = 0; k < 4; ++k) q[be ? k : 3 - k] = uint8_t(v >> (24 - 8 * k));
      }
    }
  }

  // Floating-point differencing: the row holds the samples' bytes as planes (most significant
  // bytes of every sample first), each byte differenced from the byte one pixel to the left.
  // Undone, the samples are put back in the file's byte order.
  [[gnu::noinline]] void PredictFloat(uint8_t* row, const Chunk& c) {
    const int bytes = p.bps / 8;
    if (bytes < 1 || p.bps % 8 != 0) return;
    const int64_t samples = int64_t(c.width) * c.spp;
    const int64_t n = samples * bytes;
    for (int64_t i = c.spp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - c.spp]);
    fpBuf.assign(row, row + n);
    const bool be = f.BigEndian();
    for (int64_t i = 0; i < samples; ++i)
      for (int b = 0; b < bytes; ++b) row[i * bytes + (be ? b : bytes - 1 - b)] = fpBuf[size_t(b * samples + i)];
  }

  // Reads the chunk's stored bytes (bit-reversed for fill order 2 unless the coder reverses).
  bool ReadRaw(const Chunk& c, bool reverse) {
    if (c.offset < 0 || c.offset >= f.Size()) return false;
    int64_t n = c.count > 0 ? c.count : f.Size() - c.offset;
    n = std::min(n, f.Size() - c.offset);
    raw.resize(size_t(n));
    if (!f.ReadAt(c.offset, raw.data(), n)) return false;
    if (reverse)
      for (uint8_t& b : raw) b = kReverseBitsTable[b];
    return true;
  }

  static bool UnPackBits(const uint8_t* s, int64_t n, int64_t& pos, uint8_t* out, int64_t want) {
    int64_t have = 0;
    while (have < want) {
      if (pos >= n) return false;
      const int h = int8_t(s[pos++]);
      if (h >= 0) {
        const int64_t k = std::min<int64_t>(h + 1, want - have);
        if (pos + k > n) return false;
        std::memcpy(out + have, s + pos, size_t(k));
        pos += h + 1;
        have += k;
      } else if (h != -128) {
        if (pos >= n) return false;
        const int64_t k = std::min<int64_t>(1 - h, want - have);
        std::memset(out + have, s[pos++], size_t(k));
        have += k;
      }
    }
    return true;
  }

  // The most a compressed chunk of this size can decode to: deflate expands at most about
  // 1032 times, JPEG a little more; a chunk that claims more rows is decoded as far as that.
  size_t Capacity(const Chunk& c) const {
    const size_t want = size_t(c.rowBytes) * size_t(c.rows);
    const size_t most = raw.size() * 2048 + (size_t(1) << 20);
    return std::min(want, most - most % size_t(std::max<int64_t>(c.rowBytes, 1)));
  }

  bool Inflate(const Chunk& c) {
    const size_t want = Capacity(c);
    whole.assign(want, 0);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = raw.data();
    z.avail_in = uInt(std::min<size_t>(raw.size(), 0x7FFFFFFF));
    z.next_out = whole.data();
    z.avail_out = uInt(want);
    int r = Z_OK;
    while (r == Z_OK && z.avail_out > 0) r = inflate(&z, Z_NO_FLUSH);
    inflateEnd(&z);
    return z.avail_out == 0 && want == size_t(c.rowBytes) * size_t(c.rows);
  }

  // Decodes the chunk and hands each row to Sink(row index, bytes); false when the data ended
  // or was invalid before the last row (the rows before were delivered).
  template <class Sink>
  bool Run(const Chunk& c, Sink&& sink) {
    rowBuf.assign(size_t(c.rowBytes) + 8, 0);
    uint8_t* row = rowBuf.data();
    const bool rev = p.fillOrder == 2;
    switch (compression) {
      case 1: {
        if (c.offset < 0 || c.offset >= f.Size()) return false;
        f.Stream()->Seek(f.Base() + c.offset, soBeginning);
        for (int r = 0; r < c.rows; ++r) {
          if (f.Stream()->Read(row, c.rowBytes) != c.rowBytes) return false;
          if (rev)
            for (int64_t i = 0; i < c.rowBytes; ++i) row[i] = kReverseBitsTable[row[i]];
          Predict(row, c);
          if (!sink(r, row)) return true;
        }
        return true;
      }
      case 2:
      case 3:
      case 4: {
        if (!ReadRaw(c, false)) return false;
        const int64_t n = int64_t(raw.size());
        std::vector<uint8_t> ref(size_t(c.rowBytes) + 8, 0xFF);
        int64_t pos = 0;  // bytes for compression 2, bits for the others
        const bool twoD = compression == 4 || (compression == 3 && (p.t4 & 1));
        for (int r = 0; r < c.rows; ++r) {
          if (compression == 2) {
            if (pos >= n) return false;
            pos += CCITTHuffmanGetLine(row, raw.data() + pos, n - pos, c.width, p.fillOrder);
          } else {
            if (pos >= n * 8) return false;
            pos = twoD ? CCITT3_2D_GetLine(row, raw.data(), n, c.width, p.fillOrder, pos, ref.data())
                       : _CCITTHuffmanGetLine(row, raw.data(), n, c.width, p.fillOrder, pos);
          }
          if (!sink(r, row)) return true;
        }
        return true;
      }
      case 5: {
        if (!ReadRaw(c, rev) || lzw == nullptr) return false;
        void* state = nullptr;
        bool ok = true;
        for (int r = 0; r < c.rows; ++r) {
          const uint8_t* out = lzw(raw.data(), int64_t(raw.size()), int(c.rowBytes), state);
          if (out == nullptr) {
            ok = false;
            break;
          }
          std::memcpy(row, out, size_t(c.rowBytes));
          Predict(row, c);
          if (!sink(r, row)) break;
        }
        lzw(nullptr, 0, 0, state);
        return ok;
      }
      case 8:
      case 32946: {
        if (!ReadRaw(c, rev)) return false;
        const bool ok = Inflate(c);
        const int rows = int(std::min<size_t>(size_t(c.rows), whole.size() / size_t(c.rowBytes)));
        for (int r = 0; r < rows; ++r) {
          std::memcpy(row, whole.data() + size_t(r) * size_t(c.rowBytes), size_t(c.rowBytes));
          Predict(row, c);
          if (!sink(r, row)) break;
        }
        return ok;
      }
      case 34925:
      case 50000: {
        if (!ReadRaw(c, rev)) return false;
        std::unique_ptr<RowSource> src = compression == 34925 ? MakeLzmaRows(raw.data(), raw.size())
                                                              : MakeZstdRows(raw.data(), raw.size());
        for (int r = 0; r < c.rows; ++r) {
          if (!src->Next(row, size_t(c.rowBytes))) return false;
          Predict(row, c);
          if (!sink(r, row)) return true;
        }
        return true;
      }
      case 50001: {
        if (!ReadRaw(c, false)) return false;
        const int rows = DecodeWebPChunk(raw.data(), raw.size(), c.width, c.rows, c.spp, whole);
        for (int r = 0; r < rows; ++r)
          if (!sink(r, whole.data() + size_t(r) * size_t(c.rowBytes))) return true;
        return rows == c.rows;
      }
      case 32773: {
        if (!ReadRaw(c, rev)) return false;
        int64_t pos = 0;
        for (int r = 0; r < c.rows; ++r) {
          if (!UnPackBits(raw.data(), int64_t(raw.size()), pos, row, c.rowBytes)) return false;
          Predict(row, c);
          if (!sink(r, row)) return true;
        }
        return true;
      }
      case 7: {
        if (!ReadRaw(c, false) || Capacity(c) < size_t(c.rowBytes) * size_t(c.rows)) return false;
        if (!DecodeJpegChunk(p.jpegTables, raw.data(), raw.size(), c.width, c.rows, p.photometric, c.spp, whole))
          return false;
        for (int r = 0; r < c.rows; ++r)
          if (!sink(r, whole.data() + size_t(r) * size_t(c.rowBytes))) break;
        return true;
      }
      default: return false;
    }
  }
};

bool CompressionSupported(int c) {
  switch (c) {
    case 1: case 2: case 3: case 4: case 5: case 7: case 8: case 32946: case 32773: case 34925: case 50000: case 50001:
      return true;
    default: return false;
  }
}

// Chooses the conversion for the page; kUnsupported when the layout is not one this reader knows.
Converter MakeConverter(const Page& p, int photometric, bool big) {
  Converter cv;
  cv.spp = p.spp;
  cv.bps = p.bps;
  cv.big = big;
  const int bps = p.bps, spp = p.spp;
  // Sample format 4 (undefined) reads as unsigned.
  const int format = p.sampleFormat == 4 ? 1 : p.sampleFormat;
  const bool reduce = (format == 2 && (bps == 8 || bps == 16 || bps == 32)) ||
                      (format == 3 && (bps == 32 || bps == 64)) || (format == 1 && bps == 32);
  if (format != 1 && !reduce) return cv;
  if ((bps < 1 || bps > 16) && !reduce) return cv;
  if (spp < 1 || spp > 64) return cv;
  cv.sampleFormat = format;
  const bool ccitt = p.compression >= 2 && p.compression <= 4;
  if (reduce) {
    // The layouts whose samples are intensities: grey, RGB, CMYK.
    Page q = p;
    q.bps = 8;
    q.sampleFormat = 1;
    Converter e = MakeConverter(q, photometric, big);
    if (e.kind != kGrey && e.kind != kRGB && e.kind != kCMYK) return cv;
    cv.kind = e.kind;
    cv.eight = std::make_shared<const Converter>(std::move(e));
    return cv;
  }
  switch (photometric) {
    case 0:
    case 1:
      if (bps == 1 && spp == 1) {
        cv.kind = kBilevel;
        // CCITT rows come decoded with 1 = white; other data has 0 = white under photometric 0.
        cv.invert = ccitt ? photometric == 1 : photometric == 0;
      } else {
        cv.kind = kGrey;
        cv.invert = photometric == 0;
        if (bps == 16 && p.software.compare(0, 15, "Look Molli v1.1") == 0) cv.greyShift = 4;
      }
      break;
    case 2:
      if (spp >= 3 && (bps == 8 || bps == 16)) cv.kind = kRGB;
      else if (spp == 1 && bps == 16) cv.kind = kRGB555;
      break;
    case 3:
      if (bps <= 8 || bps == 16) {
        cv.kind = kPalette;
        cv.map = p.colorMap.data();
        cv.mapCount = int(p.colorMap.size());
        // A two-colour map of black and white reads as a bilevel page.
        if (bps == 1 && spp == 1 && cv.mapCount == 2) {
          const TRGB a = p.colorMap[0], b = p.colorMap[1];
          const bool aBlack = a.r == 0 && a.g == 0 && a.b == 0, aWhite = a.r == 255 && a.g == 255 && a.b == 255;
          const bool bBlack = b.r == 0 && b.g == 0 && b.b == 0, bWhite = b.r == 255 && b.g == 255 && b.b == 255;
          if ((aBlack && bWhite) || (aWhite && bBlack)) {
            cv.kind = kBilevel;
            cv.invert = aWhite;
          }
        }
      }
      break;
    case 5:
      if (spp >= 4 && (bps == 8 || bps == 16) && p.inkSet == 1) cv.kind = kCMYK;
      break;
    case 8:
      if (spp >= 3 && bps == 8) cv.kind = kLab;
      break;
    default: break;
  }
  if (bps < 8 && cv.kind != kBilevel) {
    const int maxv = (1 << bps) - 1;
    cv.scale.resize(size_t(maxv) + 1);
    for (int v = 0; v <= maxv; ++v) cv.scale[size_t(v)] = uint8_t(v * 255 / maxv);
  }
  return cv;
}

void FillParams(const Page& p, int pages, TIOParamsVals& P) {
  P.BitsPerSample = p.bps;
  P.SamplesPerPixel = p.spp;
  P.Width = int(std::min<int64_t>(p.width, INT32_MAX));
  P.Height = int(std::min<int64_t>(p.height, INT32_MAX));
  P.TIFF_ImageCount = pages;
  P.TIFF_Compression = CompressionEnum(p.compression, p.t4);
  P.TIFF_PhotometInterpret = PhotometricEnum(p.photometric);
  P.TIFF_PlanarConf = p.planar;
  P.TIFF_DocumentName = p.docName;
  P.TIFF_ImageDescription = p.description;
  P.TIFF_PageName = p.pageName;
  P.TIFF_PageNumber = p.pageNumber;
  P.TIFF_PageCount = p.pageCount;
  P.ColorMap = p.colorMap;
  const double m = p.resUnit == 3 ? 2.54 : 1.0;
  auto toInt = [](double v) {
    if (!(v == v) || v <= -2147483648.0 || v >= 2147483647.0) return 0;
    return int(Trunc(v));
  };
  P.DpiX = toInt(p.xres * m);
  P.DpiY = toInt(p.yres * m);
  if (P.DpiX == 0) P.DpiX = gSystemDPIX;
  if (P.DpiY == 0) P.DpiY = gSystemDPIY;
  P.TIFF_XPos = toInt(p.xpos * m);
  P.TIFF_YPos = toInt(p.ypos * m);
}

// Old-style JPEG (compression 6): the page is one JPEG stream, found where JPEGInterchangeFormat
// points (else at the first strip, when a stream starts there). Writers of this variant often
// leave SamplesPerPixel out or point the strips into the middle of the stream, so the stream is
// decoded whole, from its start to its end marker, and its own components decide the layout.
// Where the stream at JPEGInterchangeFormat holds only the tables, the strips carry the rest.
void ReadOldJpeg(File& f, const Page& p, TBitmap* Bitmap, TProgressRec& Progress) {
  if (!CXImageSizeAllowed(p.width, p.height)) {
    ProgressFail(Progress);
    return;
  }
  const int W = int(p.width), H = int(p.height);
  auto startsStream = [&](uint64_t o) {
    uint8_t m[2];
    return o < uint64_t(f.Size()) && f.ReadAt(int64_t(o), m, 2) && m[0] == 0xFF && m[1] == 0xD8;
  };
  int64_t at = -1;
  if (p.jpegIF > 0 && startsStream(p.jpegIF)) at = int64_t(p.jpegIF);
  else if (!p.stripOffsets.empty() && startsStream(p.stripOffsets[0])) at = int64_t(p.stripOffsets[0]);
  if (at < 0 || !CXDataCanHold(f.Size() - at, int64_t(W) * H * 3, 4096)) {
    ProgressFail(Progress);
    return;
  }
  std::vector<uint8_t> data(size_t(f.Size() - at)), whole;
  int comps = 0;
  // The header at JPEGInterchangeFormat is followed by its scan unless the strips lie apart
  // from it (neither inside it nor right after it): then the strips carry the scan.
  const bool header = p.jpegIF > 0 && at == int64_t(p.jpegIF) && p.jpegIFLength > 2 &&
                      p.jpegIFLength < data.size() && !p.stripOffsets.empty();
  const bool apart = header && (p.stripOffsets[0] < p.jpegIF || p.stripOffsets[0] > p.jpegIF + p.jpegIFLength);
  bool ok = !apart && f.ReadAt(at, data.data(), int64_t(data.size())) &&
            DecodeJpegWhole(data.data(), data.size(), W, H, p.photometric, comps, whole);
  if (!ok && header) {
    if (!f.ReadAt(at, data.data(), int64_t(p.jpegIFLength))) {
      ProgressFail(Progress);
      return;
    }
    // Tables and frame header at JPEGInterchangeFormat, the scan in the strips.
    data.resize(size_t(p.jpegIFLength));
    if (data[data.size() - 2] == 0xFF && data[data.size() - 1] == 0xD9) data.resize(data.size() - 2);
    for (size_t i = 0; i < p.stripOffsets.size(); ++i) {
      const uint64_t o = p.stripOffsets[i];
      const uint64_t n = i < p.stripCounts.size() ? p.stripCounts[i] : 0;
      if (o >= uint64_t(f.Size()) || n == 0 || n > uint64_t(f.Size()) - o || data.size() + n > size_t(f.Size()) * 2) break;
      const size_t was = data.size();
      data.resize(was + size_t(n));
      if (!f.ReadAt(int64_t(o), data.data() + was, int64_t(n))) break;
    }
    data.push_back(0xFF);
    data.push_back(0xD9);
    ok = DecodeJpegWhole(data.data(), data.size(), W, H, p.photometric, comps, whole);
  }
  if (!ok) {
    ProgressFail(Progress);
    return;
  }
  Page q;
  q.spp = comps;
  q.bps = 8;
  const Converter cv = MakeConverter(q, comps == 1 ? 1 : comps == 3 ? 2 : 5, false);
  if (cv.kind == kUnsupported) {
    ProgressFail(Progress);
    return;
  }
  Bitmap->Allocate(W, H, pf24bit);
  ProgressBegin(Progress, H);
  for (int y = 0; y < H; ++y) {
    if (ProgressUnit(Progress, y)) return;
    cv.Run(whole.data() + size_t(y) * size_t(W) * size_t(comps), W, Bitmap->ScanLine(y), 0);
  }
}

void ReadPageImage(File& f, Page& p, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  if (p.compression == 6) {
    ReadOldJpeg(f, p, Bitmap, Progress);
    return;
  }
  // Differencing belongs to the dictionary and entropy coders (LZW, Deflate, LZMA, Zstandard);
  // a Predictor tag on uncompressed, PackBits, fax or JPEG data is ignored, as libtiff does.
  if (p.compression != 5 && p.compression != 8 && p.compression != 32946 && p.compression != 34925 &&
      p.compression != 50000)
    p.predictor = 1;
  int photometric = p.photometric;
  if (p.compression == 7 && (photometric == 6 || photometric == 2 || photometric < 0)) photometric = 2;
  Converter cv = MakeConverter(p, photometric, f.BigEndian());
  const bool tiled = p.tileWidth > 0 || p.tileLength > 0;
  const bool planar = p.planar == 2 && p.spp > 1;
  // Layouts this reader cannot decode fail rather than show an empty image.
  if (cv.kind == kUnsupported || !CompressionSupported(p.compression) || (p.predictor < 1 || p.predictor > 3) ||
      (planar && p.bps % 8 != 0) || (planar && p.compression >= 2 && p.compression <= 4) ||
      (planar && p.compression == 7) || (p.compression == 7 && p.bps != 8) ||
      (p.compression == 50001 && (planar || p.bps != 8 || (p.spp != 3 && p.spp != 4))) ||
      (p.predictor == 3 && p.sampleFormat != 3) ||
      (p.compression >= 2 && p.compression <= 4 && cv.kind != kBilevel) ||
      (p.compression == 5 && (Params.TIFF_LZWDecompress ? Params.TIFF_LZWDecompress : DefTIFF_LZWDECOMPFUNC) == nullptr)) {
    ProgressFail(Progress);
    return;
  }
  if (!CXImageSizeAllowed(p.width, p.height) || (tiled && !(p.tileWidth > 0 && p.tileLength > 0)) ||
      (tiled && (!CXImageSizeAllowed(p.tileWidth, p.tileLength) || (cv.kind == kBilevel && p.tileWidth % 8 != 0)))) {
    ProgressFail(Progress);
    return;
  }
  const int W = int(p.width), H = int(p.height);

  Decoder dec(f, p);
  dec.lzw = Params.TIFF_LZWDecompress ? Params.TIFF_LZWDecompress : DefTIFF_LZWDECOMPFUNC;

  const int planes = planar ? p.spp : 1;
  const int usedPlanes = cv.kind == kGrey ? 1 : cv.kind == kCMYK ? 4 : 3;
  const int chunkSpp = planar ? 1 : p.spp;
  const int64_t cw = tiled ? p.tileWidth : W;
  const int64_t ch = tiled ? p.tileLength : std::max<int64_t>(p.rowsPerStrip, 1);
  const int64_t across = (W + cw - 1) / cw, down = (H + ch - 1) / ch;
  const std::vector<uint64_t>& offs = tiled ? p.tileOffsets : p.stripOffsets;
  const std::vector<uint64_t>& counts = tiled ? p.tileCounts : p.stripCounts;
  const int64_t perPlane = across * down;
  // JPEG rows come out as 8-bit samples of the decoded colour space.
  int64_t rowBytes = (int64_t(cw) * chunkSpp * p.bps + 7) / 8;
  if (p.compression == 7) {
    cv.bps = 8;
    rowBytes = cw * chunkSpp;
  }
  if (planar) cv.spp = p.spp;
  // Not even one row of the page can be in the file: give up before allocating for it.
  if (rowBytes > f.Size() * (p.compression == 1 ? 1 : 4096)) {
    ProgressFail(Progress);
    return;
  }
  // Nor can the file hold the page at the best ratio of its coding: PackBits repeats a byte 128
  // times for 2, LZW codes reach a few thousand bytes, a fax row can take a single bit.
  const int64_t pageRowBytes = (int64_t(W) * p.spp * p.bps + 7) / 8;
  const int64_t bestRatio = p.compression == 1       ? 1
                            : p.compression == 32773 ? 64
                            : p.compression == 34925 || p.compression == 50000 || p.compression == 50001 ? 65536
                            : p.compression >= 2 && p.compression <= 4 ? std::max<int64_t>(8 * pageRowBytes, 1)
                            : 4096;
  if (!CXDataCanHold(f.Size(), pageRowBytes * H, bestRatio)) {
    ProgressFail(Progress);
    return;
  }
  Bitmap->Allocate(W, H, cv.kind == kBilevel ? pf1bit : pf24bit);
  if (cv.kind == kBilevel) std::memset(Bitmap->Bits(), 0xFF, Bitmap->GetImageSize());
  const int64_t pixelBytes = planar ? (p.bps / 8) : 0;
  std::vector<uint8_t> interleaved;
  std::vector<std::vector<uint8_t>> planeBufs;
  if (planar) {
    interleaved.resize(size_t(cw) * size_t(p.spp) * size_t(pixelBytes) + 8);
    planeBufs.resize(size_t(planes));
  }

  ProgressBegin(Progress, H);
  bool failed = false;
  int rowsDone = 0;
  for (int64_t ty = 0; ty < down && !failed; ++ty) {
    const int y0 = int(ty * ch);
    const int rows = int(std::min<int64_t>(ch, H - y0));
    if (tiled && ProgressUnit(Progress, y0)) return;
    for (int64_t tx = 0; tx < across && !failed; ++tx) {
      const int x0 = int(tx * cw);
      const int n = int(std::min<int64_t>(cw, W - x0));
      auto chunkAt = [&](int plane) {
        Chunk c;
        const int64_t idx = plane * perPlane + ty * across + tx;
        c.offset = idx < int64_t(offs.size()) && offs[size_t(idx)] <= uint64_t(f.Size()) ? int64_t(offs[size_t(idx)]) : -1;
        c.count = idx < int64_t(counts.size()) ? int64_t(std::min<uint64_t>(counts[size_t(idx)], uint64_t(f.Size()))) : 0;
        c.width = int(cw);
        // Strips hold only the rows left; tiles are whole.
        c.rows = tiled ? int(ch) : rows;
        c.spp = chunkSpp;
        c.rowBytes = rowBytes;
        return c;
      };
      if (!planar) {
        const Chunk c = chunkAt(0);
        const bool ok = dec.Run(c, [&](int r, const uint8_t* row) {
          if (r >= rows) return false;
          cv.Run(row, n, Bitmap->ScanLine(y0 + r), x0);
          if (!tiled) {
            rowsDone = y0 + r + 1;
            if (ProgressUnit(Progress, rowsDone)) return false;
          }
          return true;
        });
        if (!ok) failed = true;
      } else {
        // Each plane's chunk whole, then the samples interleaved row by row. Planes of extra
        // samples (alpha and others) are not shown, and not decoded: writers often leave them
        // empty.
        for (int pl = 0; pl < planes; ++pl) {
          auto& buf = planeBufs[size_t(pl)];
          buf.assign(size_t(rowBytes) * size_t(rows), 0);
          if (pl >= usedPlanes) continue;
          const Chunk c = chunkAt(pl);
          const bool ok = dec.Run(c, [&](int r, const uint8_t* row) {
            if (r >= rows) return false;
            std::memcpy(buf.data() + size_t(r) * size_t(rowBytes), row, size_t(rowBytes));
            return true;
          });
          if (!ok) failed = true;
        }
        for (int r = 0; r < rows; ++r) {
          uint8_t* out = interleaved.data();
          for (int pl = 0; pl < planes; ++pl) {
            const uint8_t* src = planeBufs[size_t(pl)].data() + size_t(r) * size_t(rowBytes);
            for (int x = 0; x < n; ++x)
              std::memcpy(out + (size_t(x) * size_t(planes) + size_t(pl)) * size_t(pixelBytes),
                          src + size_t(x) * size_t(pixelBytes), size_t(pixelBytes));
          }
          cv.Run(out, n, Bitmap->ScanLine(y0 + r), x0);
        }
      }
      if (ProgressAborting(Progress)) return;
    }
  }
  if (failed) ProgressFail(Progress);
}

}  // namespace

void TIFFReadStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals* Params,
                    TProgressRec& Progress, bool Preview) {
  ImageCount = 0;
  if (Stream == nullptr) {
    ProgressFail(Progress);
    return;
  }
  try {
    File f(Stream);
    uint64_t first = 0;
    if (!f.ReadHeader(first)) {
      ProgressFail(Progress);
      return;
    }
    const std::vector<uint64_t> chain = f.Chain(first);
    ImageCount = int(chain.size());
    if (Params == nullptr) return;
    const int index = Params->TIFF_ImageIndex;
    std::vector<Entry> entries;
    uint64_t next = 0;
    if (index < 0 || index >= int(chain.size()) || !f.ReadIFD(chain[size_t(index)], entries, next)) {
      Params->TIFF_ImageCount = ImageCount;
      ProgressFail(Progress);
      return;
    }
    Page p;
    ReadPage(f, entries, p);
    // A bilevel CCITT or uncompressed page without a photometric tag is white-is-zero; other
    // single-sample pages without one are black-is-zero.
    if (p.photometric < 0) {
      if (p.spp == 1 && p.bps == 1 && p.compression >= 1 && p.compression <= 4) p.photometric = 0;
      else if (p.spp == 1 && p.colorMap.empty()) p.photometric = 1;
      else if (p.spp == 1) p.photometric = 3;
    }
    FillParams(p, ImageCount, *Params);
    if (p.bitsUnequal) {
      ProgressFail(Progress);
      return;
    }
    if (p.compression == 5 && Params->TIFF_LZWDecompress == nullptr && DefTIFF_LZWDECOMPFUNC == nullptr) {
      ProgressFail(Progress);
      return;
    }
    if (Preview) return;
    if (Bitmap == nullptr || p.width <= 0 || p.height <= 0) {
      ProgressFail(Progress);
      return;
    }
    ReadPageImage(f, p, Bitmap, *Params, Progress);
    if (!ProgressAborting(Progress)) ProgressReport(Progress, 100);
  } catch (const std::bad_alloc&) {
    ProgressFail(Progress);
  } catch (const std::exception&) {
    ProgressFail(Progress);
  }
}

int _TIFFPageCompressionStream(TStream* Stream, int Index) {
  if (Stream == nullptr || Index < 0 || Index >= 65536) return -1;
  try {
    File f(Stream);
    uint64_t first = 0;
    if (!f.ReadHeader(first)) return -1;
    const std::vector<uint64_t> chain = f.Chain(first, Index + 1);
    std::vector<Entry> entries;
    uint64_t next = 0;
    if (Index < 0 || Index >= int(chain.size()) || !f.ReadIFD(chain[size_t(Index)], entries, next)) return -1;
    uint32_t v = 1;
    if (const Entry* e = Find(entries, kCompression)) f.UInt(*e, v);
    return int(std::min<uint32_t>(v, 65535));
  } catch (const std::exception&) {
    return -1;
  }
}

std::string TIFFCompressionName(int Compression) {
  switch (Compression) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 32773: return {};
    case 8: case 32946: return "Deflate";
    case 34925: return "LZMA";
    case 50000: return "Zstandard";
    case 50001: return "WebP";
    default: return "compression " + std::to_string(Compression);
  }
}

void ReadTIFFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview) {
  int count = 0;
  TIFFReadStream(Bitmap, Stream, count, &Params, Progress, Preview);
}

}  // namespace corvex
