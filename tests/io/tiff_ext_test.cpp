// TIFF pages of the kinds other programs write beyond the classic baseline: 16-bit, signed and
// floating-point samples, BigTIFF, LZMA, Zstandard and WebP chunks, old-style JPEG and the old
// LZW variant. Files made by libtiff's tiffcp are compared with libtiff's own decode
// (tiff2rgba); small files built here check the sample rules, byte orders and BigTIFF handling
// against known answers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// ---------------------------------------------------------------------------------------------
// Files made by tiffcp, decoded here and by tiff2rgba.

struct PeerCase {
  const char* source;   // corpus file
  const char* options;  // tiffcp options; empty: the corpus file itself
  int maxDiff;          // 16-bit pages: this reader shifts where libtiff rounds
  const char* name;     // what corvex info calls the compression ("" for those the record names)
};

TEST(TiffExt, PeerFilesDecodeLikeLibtiff) {
  if (!HaveProgram("tiffcp") || !HaveProgram("tiff2rgba")) GTEST_SKIP() << "no libtiff tools";
  CORVEX_REQUIRE_CORPUS();
  CXInstallLZW();
  const char* rgb8 = "tiff/pillow_tiff_strip_raw.tif";
  const char* rgb16 = "tiff/libtiff_rgb-3c-16b.tiff";
  const char* planar16 = "tiff/pillow_tiff_strip_planar_16bit_RGB.tiff";
  const char* tiled16 = "tiff/pillow_tiff_tiled_planar_16bit_RGB.tiff";
  const char* grey16 = "tiff/pillow_16bit.MM.deflate.tif";
  const PeerCase cases[] = {
      {rgb8, "-c lzma", 0, "LZMA"},
      {rgb8, "-c lzma:2 -B -r 5", 0, "LZMA"},
      {rgb8, "-c zstd", 0, "Zstandard"},
      {rgb8, "-c zstd:2 -t -w 32 -l 32", 0, "Zstandard"},
      {rgb8, "-c webp", 0, "WebP"},
      {rgb8, "-c webp:100 -r 9", 0, "WebP"},
      {rgb8, "-c webp -t -w 64 -l 32", 0, "WebP"},
      {rgb8, "-8 -c lzw:2", 0, ""},
      {rgb8, "-8 -B -c zip:2 -p separate", 0, "Deflate"},
      {rgb8, "-8 -c none -t -w 32 -l 16", 0, ""},
      {rgb16, "-c lzma", 1, "LZMA"},
      {rgb16, "-c zstd:2 -t -w 32 -l 32", 1, "Zstandard"},
      {rgb16, "-8 -c lzw:2", 1, ""},
      {rgb16, "-c lzw:2 -B -r 7", 1, ""},
      {rgb16, "-c packbits -L -t", 1, ""},
      {planar16, "-c zstd:2 -B", 1, "Zstandard"},
      {tiled16, "", 1, ""},
      {grey16, "-c lzma:2", 2, "LZMA"},
      {grey16, "-8 -c zstd -t", 2, "Zstandard"},
      {grey16, "-c lzw:2 -L -r 7", 2, ""},
      // Old-style JPEG whose strips point into the middle of the stream.
      {"tiff/pillow_old-style-jpeg-compression.tif", "", 1, ""},
  };
  const std::string made = TempPath("ext_peer.tif"), ref = TempPath("ext_ref.tif");
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.options);
    std::string file = CorpusFile(c.source);
    if (*c.options != 0) {
      ASSERT_EQ(RunCommand(std::string("tiffcp ") + c.options + " '" + file + "' '" + made + "' 2>/dev/null"), 0);
      file = made;
    }
    ASSERT_EQ(RunCommand("tiff2rgba -c none '" + file + "' '" + ref + "' 2>/dev/null"), 0);
    TBitmap got, want;
    TIOParamsVals gp, wp;
    ASSERT_TRUE(DecodeFile(ReadTIFFStream, file, got, gp));
    ASSERT_TRUE(DecodeFile(ReadTIFFStream, ref, want, wp));  // RGBA, the alpha sample skipped
    ASSERT_EQ(got.GetWidth(), want.GetWidth());
    ASSERT_EQ(got.GetHeight(), want.GetHeight());
    EXPECT_LE(MaxSampleDiff(got, want), c.maxDiff);
    TFileStream s(file, fmOpenRead);
    EXPECT_EQ(TIFFCompressionName(_TIFFPageCompressionStream(&s, 0)), c.name);
  }
  std::remove(made.c_str());
  std::remove(ref.c_str());
}

// ---------------------------------------------------------------------------------------------
// Files built here: one page of W x H pixels, in either byte order, classic or BigTIFF.

struct Tag {
  uint16_t tag, type;
  std::vector<uint64_t> values;
};

struct Builder {
  bool big = false, bigTiff = false;
  std::vector<uint8_t> out;

  void Put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * (big ? n - 1 - i : i))));
  }
  static int Size(uint16_t type) { return type == 3 ? 2 : type == 4 ? 4 : type == 16 ? 8 : 1; }

  // The strip data follows the header; StripOffsets (273) is filled in.
  std::vector<uint8_t> Make(std::vector<Tag> tags, const std::vector<uint8_t>& data) {
    out.clear();
    const int field = bigTiff ? 8 : 4;
    out.push_back(big ? 'M' : 'I');
    out.push_back(big ? 'M' : 'I');
    Put(bigTiff ? 43 : 42, 2);
    if (bigTiff) Put(8, 2), Put(0, 2);
    const size_t firstAt = out.size();
    Put(0, field);
    const uint64_t dataAt = out.size();
    out.insert(out.end(), data.begin(), data.end());
    for (Tag& t : tags)
      if (t.tag == 273 && t.values == std::vector<uint64_t>{0}) t.values = {dataAt};
    // Values that do not fit the entry go before the directory.
    std::vector<uint64_t> at(tags.size(), 0);
    for (size_t i = 0; i < tags.size(); ++i) {
      if (int(tags[i].values.size()) * Size(tags[i].type) <= field) continue;
      at[i] = out.size();
      for (uint64_t v : tags[i].values) Put(v, Size(tags[i].type));
    }
    const uint64_t ifd = out.size();
    for (int i = 0; i < field; ++i) out[firstAt + size_t(i)] = uint8_t(ifd >> (8 * (big ? field - 1 - i : i)));
    Put(tags.size(), bigTiff ? 8 : 2);
    for (size_t i = 0; i < tags.size(); ++i) {
      Put(tags[i].tag, 2);
      Put(tags[i].type, 2);
      Put(tags[i].values.size(), field);
      if (at[i] != 0) {
        Put(at[i], field);
        continue;
      }
      const size_t start = out.size();
      for (uint64_t v : tags[i].values) Put(v, Size(tags[i].type));
      out.resize(start + size_t(field), 0);
    }
    Put(0, field);
    return out;
  }

  // Samples of Bytes bytes each in the file's byte order.
  std::vector<uint8_t> Samples(const std::vector<uint64_t>& v, int Bytes) {
    std::vector<uint8_t> keep;
    keep.swap(out);
    for (uint64_t x : v) Put(x, Bytes);
    keep.swap(out);
    return keep;
  }
};

uint64_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
uint64_t DoubleBits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}

// Floating-point differencing as writers apply it to a row: the samples' bytes regrouped most
// significant first, then each byte differenced from the one a pixel to its left.
std::vector<uint8_t> FloatPredict(const std::vector<uint64_t>& Row, int Bytes, int Spp) {
  const size_t n = Row.size();
  std::vector<uint8_t> planes(n * size_t(Bytes));
  for (size_t i = 0; i < n; ++i)
    for (int b = 0; b < Bytes; ++b) planes[size_t(b) * n + i] = uint8_t(Row[i] >> (8 * (Bytes - 1 - b)));
  for (size_t i = planes.size(); i-- > size_t(Spp);) planes[i] = uint8_t(planes[i] - planes[i - size_t(Spp)]);
  return planes;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& In) {
  std::vector<uint8_t> out(compressBound(uLong(In.size())));
  uLongf n = out.size();
  if (compress2(out.data(), &n, In.data(), uLong(In.size()), 9) != Z_OK) return {};
  out.resize(n);
  return out;
}

// The old LZW variant: codes least significant bit first, the width growing when the next free
// code reaches 512. Only literal codes are written, which every decoder of the variant reads.
std::vector<uint8_t> OldLzw(const std::vector<uint8_t>& Data) {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int bits = 0, width = 9, next = 258;
  auto put = [&](int code) {
    acc |= uint64_t(code) << bits;
    bits += width;
    while (bits >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  put(256);
  for (size_t i = 0; i < Data.size(); ++i) {
    put(Data[i]);
    if (i > 0 && ++next >= (1 << width)) ++width;
  }
  put(257);
  if (bits > 0) out.push_back(uint8_t(acc));
  return out;
}

struct SampleCase {
  const char* what;
  bool big, bigTiff;
  int bps, format, spp, photometric, predictor;
  std::vector<uint64_t> samples;  // W x 1 pixels, raw sample values
  std::vector<int> grey;          // expected red of each pixel (empty: refused)
};

TEST(TiffExt, SampleFormatsByteOrdersAndBigTiffKnownAnswers) {
  const uint64_t m8 = 0x80, m16 = 0x8000;
  const SampleCase cases[] = {
      // Signed samples: shifted into the unsigned range, so that the most negative is black.
      {"signed 8", false, false, 8, 2, 1, 1, 1, {m8, 0xFF, 0, 0x7F}, {0, 127, 128, 255}},
      {"signed 16 BE", true, false, 16, 2, 1, 1, 1, {m16, 0xFFFF, 0, 0x7FFF}, {0, 127, 128, 255}},
      {"signed 16 white-is-zero", false, true, 16, 2, 1, 0, 1, {m16, 0xFFFF, 0, 0x7FFF}, {255, 128, 127, 0}},
      {"signed 16 predictor", true, true, 16, 2, 1, 1, 2, {m16, 0xFFFF, 0, 0x7FFF}, {0, 127, 128, 255}},
      {"unsigned 32", true, false, 32, 1, 1, 1, 1, {0, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}, {0, 127, 128, 255}},
      // Floating point: clamped to 0..1, scaled to 0..255 and rounded (ties to even).
      {"float LE", false, false, 32, 3, 1, 1, 1,
       {FloatBits(-0.5f), FloatBits(0.25f), FloatBits(0.5f), FloatBits(2.0f)}, {0, 64, 128, 255}},
      {"float BE BigTIFF", true, true, 32, 3, 1, 1, 1,
       {FloatBits(1.0f), FloatBits(0.0f), FloatBits(NAN), FloatBits(0.1f)}, {255, 0, 0, 26}},
      {"double", false, false, 64, 3, 1, 1, 1,
       {DoubleBits(0.75), DoubleBits(-1), DoubleBits(1e300), DoubleBits(0.002)}, {191, 0, 255, 1}},
      {"float predictor 3 LE", false, false, 32, 3, 1, 1, 3,
       {FloatBits(0.0f), FloatBits(0.2f), FloatBits(0.6f), FloatBits(1.0f)}, {0, 51, 153, 255}},
      {"float predictor 3 BE", true, false, 32, 3, 1, 1, 3,
       {FloatBits(0.0f), FloatBits(0.2f), FloatBits(0.6f), FloatBits(1.0f)}, {0, 51, 153, 255}},
      // Refused: sample formats or depths without a rule.
      {"format 5", false, false, 8, 5, 1, 1, 1, {0, 1, 2, 3}, {}},
      {"signed 4", false, false, 4, 2, 1, 1, 1, {0x01, 0x23}, {}},
      {"float 16", false, false, 16, 3, 1, 1, 1, {0, 0, 0, 0}, {}},
      {"predictor 3 on integers", false, false, 16, 1, 1, 1, 3, {0, 0, 0, 0}, {}},
  };
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(c.what);
    Builder b;
    b.big = c.big;
    b.bigTiff = c.bigTiff;
    const int bytes = std::max(c.bps / 8, 1);
    const uint16_t offType = c.bigTiff ? 16 : 4;
    const int width = c.bps < 8 ? 4 : int(c.samples.size());
    std::vector<uint64_t> stored = c.samples;
    if (c.predictor == 2)
      for (size_t i = stored.size(); i-- > 1;) stored[i] = (stored[i] - c.samples[i - 1]) & 0xFFFF;
    std::vector<uint8_t> data = c.predictor == 3 ? FloatPredict(stored, bytes, c.spp) : b.Samples(stored, bytes);
    // Differenced rows are Deflate-coded: differencing goes with the dictionary coders.
    const uint64_t compression = c.predictor != 1 ? 8 : 1;
    if (compression == 8) data = Deflate(data);
    const std::vector<uint8_t> file = b.Make(
        {{256, 3, {uint64_t(width)}}, {257, 3, {1}}, {258, 3, {uint64_t(c.bps)}}, {259, 3, {compression}},
         {262, 3, {uint64_t(c.photometric)}}, {273, offType, {0}}, {277, 3, {uint64_t(c.spp)}},
         {278, 3, {1}}, {279, offType, {data.size()}}, {317, 3, {uint64_t(c.predictor)}},
         {339, 3, {uint64_t(c.format)}}},
        data);
    TBitmap bmp;
    TIOParamsVals p;
    const bool ok = DecodeBytes(ReadTIFFStream, file, bmp, p);
    if (c.grey.empty()) {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok);
    ASSERT_EQ(bmp.GetWidth(), width);
    const uint8_t* row = bmp.ScanLine(0);
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(row[3 * x + 2], c.grey[size_t(x)]) << "pixel " << x;
      EXPECT_EQ(row[3 * x], row[3 * x + 2]);
    }
  }
}

// The old LZW variant through the decoder hook: a strip written least significant bit first, long
// enough for the codes to widen, decodes to its bytes, as libtiff decodes it; the usual variant
// beside it still decodes.
TEST(TiffExt, OldLzwVariantIsRecognisedInsideTheHook) {
  CXInstallLZW();
  std::vector<uint8_t> pixels(2 * 300);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7 + i / 300);
  const std::vector<uint8_t> coded = OldLzw(pixels);
  Builder b;
  const std::vector<uint8_t> file = b.Make({{256, 3, {300}}, {257, 3, {2}}, {258, 3, {8}}, {259, 3, {5}},
                                            {262, 3, {1}}, {273, 4, {0}}, {277, 3, {1}}, {278, 3, {2}},
                                            {279, 4, {coded.size()}}},
                                           coded);
  TBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadTIFFStream, file, bmp, p));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 300; ++x) ASSERT_EQ(bmp.ScanLine(y)[3 * x], pixels[size_t(y * 300 + x)]) << x << "," << y;
  // The same strip given to the old decoder directly, and the usual variant to the hook.
  void* state = nullptr;
  const uint8_t* row = TIFFLZWDecompressOld(coded.data(), int64_t(coded.size()), 300, state);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(std::memcmp(row, pixels.data(), 300), 0);
  TIFFLZWDecompressOld(nullptr, 0, 0, state);
  if (HaveProgram("tiff2rgba")) {
    const std::string path = TempPath("oldlzw.tif"), ref = TempPath("oldlzw_ref.tif");
    WriteFileBytes(path, file);
    ASSERT_EQ(RunCommand("tiff2rgba -c none '" + path + "' '" + ref + "' 2>/dev/null"), 0);
    TBitmap want;
    TIOParamsVals wp;
    ASSERT_TRUE(DecodeFile(ReadTIFFStream, ref, want, wp));
    EXPECT_EQ(MaxSampleDiff(bmp, want), 0);
    std::remove(path.c_str());
    std::remove(ref.c_str());
  }
}

// Old-style JPEG pages as writers left them: the whole stream at JPEGInterchangeFormat with the
// strip pointing into it and no SamplesPerPixel, or only the header there and the scan in a
// strip stored apart (before it, junk between). Both decode alike, close to the JPEG itself.
TEST(TiffExt, OldStyleJpegWholeOrHeaderApartFromItsScan) {
  CORVEX_REQUIRE_CORPUS();
  const std::string path = CorpusFile("jpeg/peer_im_flower_q85.jpg");
  const std::vector<uint8_t> jpeg = ReadFileBytes(path);
  TBitmap ref;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeFile(ReadJPegStream, path, ref, rp));
  size_t sos = 2;  // the end of the SOS segment: the scan starts there
  while (sos + 4 <= jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) sos += 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  ASSERT_LT(sos + 4, jpeg.size());
  const size_t scanAt = sos + 2 + size_t(jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  const uint64_t w = uint64_t(ref.GetWidth()), h = uint64_t(ref.GetHeight());
  Builder b;
  // Whole: the stream at 8, the strip at its scan.
  const std::vector<uint8_t> whole = b.Make({{256, 3, {w}}, {257, 3, {h}}, {259, 3, {6}}, {262, 3, {6}},
                                             {273, 4, {8 + scanAt}}, {279, 4, {jpeg.size() - scanAt}}, {513, 4, {8}},
                                             {514, 4, {jpeg.size()}}},
                                            jpeg);
  // Apart: the scan at 8, junk, then the header.
  std::vector<uint8_t> apartData(jpeg.begin() + long(scanAt), jpeg.end() - 2);
  apartData.insert(apartData.end(), 64, 0x5A);
  const uint64_t headerAt = 8 + apartData.size();
  apartData.insert(apartData.end(), jpeg.begin(), jpeg.begin() + long(scanAt));
  const std::vector<uint8_t> apart =
      b.Make({{256, 3, {w}}, {257, 3, {h}}, {259, 3, {6}}, {262, 3, {6}}, {273, 4, {0}},
              {279, 4, {jpeg.size() - 2 - scanAt}}, {513, 4, {headerAt}}, {514, 4, {scanAt}}},
             apartData);
  TBitmap a, c;
  TIOParamsVals ap, cp;
  ASSERT_TRUE(DecodeBytes(ReadTIFFStream, whole, a, ap));
  ASSERT_TRUE(DecodeBytes(ReadTIFFStream, apart, c, cp));
  EXPECT_EQ(MaxSampleDiff(a, c), 0);
  EXPECT_GE(Psnr(a, ref), 30.0);  // chroma replicated here, interpolated by the JPEG reader
}

// BigTIFF pages are counted and read like classic ones; appending to or deleting from a BigTIFF
// is refused with the file untouched; a BigTIFF that claims an enormous image fails before
// allocating it.
TEST(TiffExt, BigTiffIsReadButNotRewritten) {
  Builder b;
  b.bigTiff = true;
  b.big = true;
  const std::vector<uint8_t> data = {0, 64, 128, 255};
  const std::vector<uint8_t> file = b.Make({{256, 16, {4}}, {257, 4, {1}}, {258, 3, {8}}, {273, 16, {0}},
                                            {262, 3, {1}}, {277, 3, {1}}, {279, 16, {4}}},
                                           data);
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  s.Seek(0, soBeginning);
  EXPECT_EQ(_EnumTIFFImStream(&s), 1);
  TBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadTIFFStream, file, bmp, p));
  EXPECT_EQ(bmp.ScanLine(0)[3 * 2], 128);

  bmp.Allocate(2, 2, pf24bit);
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  s.Seek(0, soBeginning);
  EXPECT_EQ(TIFFWriteStream(&s, true, &bmp, p, pr), 0);
  EXPECT_TRUE(abort);
  s.Seek(0, soBeginning);
  EXPECT_EQ(_DeleteTIFFImStream(&s, 0), 0);
  ASSERT_EQ(s.GetSize(), int64_t(file.size()));
  EXPECT_EQ(std::memcmp(s.Memory(), file.data(), file.size()), 0);

  // The same page in a classic file (with an entry of no values) is deleted.
  Builder classic;
  const std::vector<uint8_t> small = classic.Make({{256, 3, {4}}, {257, 3, {1}}, {258, 3, {8}}, {273, 4, {0}},
                                                   {262, 3, {1}}, {277, 3, {1}}, {279, 4, {4}}, {305, 2, {}}},
                                                  data);
  TMemoryStream m;
  m.WriteBuffer(small.data(), int64_t(small.size()));
  m.Seek(0, soBeginning);
  EXPECT_EQ(_DeleteTIFFImStream(&m, 0), 1);
  m.Seek(0, soBeginning);
  EXPECT_EQ(_EnumTIFFImStream(&m), 0);

  // Two thousand strips naming the same 16 000 bytes: deleting a page of it would copy them
  // two thousand times; it is refused instead, the file untouched.
  const std::vector<uint8_t> block(16000, 7);
  const std::vector<uint8_t> overlapping =
      classic.Make({{256, 3, {4}}, {257, 3, {2048}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, std::vector<uint64_t>(2048, 8)},
                    {277, 3, {1}}, {278, 3, {1}}, {279, 4, std::vector<uint64_t>(2048, 16000)}},
                   block);
  // A second page: the same directory again, linked from the first.
  std::vector<uint8_t> two = overlapping;
  const uint32_t ifd = Get32(two, 4);
  two.insert(two.end(), overlapping.begin() + ifd, overlapping.end());
  Set32(two, overlapping.size() - 4, uint32_t(overlapping.size()));
  TMemoryStream o;
  o.WriteBuffer(two.data(), int64_t(two.size()));
  o.Seek(0, soBeginning);
  ASSERT_EQ(_EnumTIFFImStream(&o), 2);
  o.Seek(0, soBeginning);
  EXPECT_EQ(_DeleteTIFFImStream(&o, 1), 0);
  ASSERT_EQ(o.GetSize(), int64_t(two.size()));
  EXPECT_EQ(std::memcmp(o.Memory(), two.data(), two.size()), 0);

  // 2^31 x 2^31 pixels from a file of a hundred bytes.
  const std::vector<uint8_t> huge = b.Make({{256, 16, {1ull << 31}}, {257, 16, {1ull << 31}}, {258, 3, {8}},
                                            {273, 16, {0}}, {277, 3, {1}}, {279, 16, {4}}},
                                           data);
  EXPECT_FALSE(DecodeBytes(ReadTIFFStream, huge, bmp, p));
}

}  // namespace
}  // namespace corvex
