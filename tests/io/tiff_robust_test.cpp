// TIFF reading of small files built here (the edge cases of the format's rules) and of hostile
// files: the corpus's damaged files, lying directories and random mutations must end with the
// abort flag or a picture, never a crash or a hang.
#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/screen.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// A little-endian TIFF of one page: pixel data at offset 8, then the directory. Values of 4
// bytes or fewer go inside the entry.
struct Field {
  uint16_t tag, type;
  std::vector<uint32_t> values;
};

std::vector<uint8_t> BuildTiff(std::vector<Field> fields, const std::vector<uint8_t>& data, uint32_t next = 0) {
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
  out.insert(out.end(), data.begin(), data.end());
  if (out.size() & 1) out.push_back(0);
  std::vector<std::vector<uint8_t>> blobs;
  for (const Field& f : fields) {
    std::vector<uint8_t> b;
    for (uint32_t v : f.values) {
      if (f.type == 3) Put16(b, v);
      else if (f.type == 1 || f.type == 2) b.push_back(uint8_t(v));
      else Put32(b, v);
    }
    blobs.push_back(b);
  }
  std::vector<uint32_t> offs(fields.size(), 0);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (blobs[i].size() <= 4) continue;
    offs[i] = uint32_t(out.size());
    out.insert(out.end(), blobs[i].begin(), blobs[i].end());
    if (out.size() & 1) out.push_back(0);
  }
  const uint32_t ifd = uint32_t(out.size());
  Set32(out, 4, ifd);
  Put16(out, uint32_t(fields.size()));
  for (size_t i = 0; i < fields.size(); ++i) {
    const Field& f = fields[i];
    Put16(out, f.tag);
    Put16(out, f.type);
    const uint32_t count = f.type == 5 ? uint32_t(f.values.size() / 2) : uint32_t(f.values.size());
    Put32(out, count);
    if (blobs[i].size() <= 4) {
      std::vector<uint8_t> field = blobs[i];
      field.resize(4, 0);
      out.insert(out.end(), field.begin(), field.end());
    } else {
      Put32(out, offs[i]);
    }
  }
  Put32(out, next == 1 ? ifd : next);
  return out;
}

// Where the first directory of a file of either byte order starts.
size_t FirstDirectory(const std::vector<uint8_t>& f) {
  if (f.size() < 8) return 0;
  if (f[0] != 'M') return Get32(f, 4);
  return size_t(f[4]) << 24 | size_t(f[5]) << 16 | size_t(f[6]) << 8 | f[7];
}

bool Read(const std::vector<uint8_t>& bytes, TBitmap& bmp, TIOParamsVals& params) {
  return DecodeBytes(ReadTIFFStream, bytes, bmp, params);
}

class TiffEdges : public ::testing::Test {
 protected:
  void SetUp() override { CXInstallLZW(); }
};

TEST_F(TiffEdges, BilevelWithoutPhotometricIsWhiteIsZero) {
  // 8 x 2: first row 0x0F (four white then four black under white-is-zero), second 0xFF.
  const auto file = BuildTiff({{256, 3, {8}}, {257, 3, {2}}, {258, 3, {1}}, {273, 4, {8}}, {279, 4, {2}}},
                              {0x0F, 0xFF});
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(file, b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xF0);
  EXPECT_EQ(b.ScanLine(1)[0], 0x00);
  EXPECT_EQ(p.TIFF_PhotometInterpret, ioTIFF_WHITEISZERO);
}

TEST_F(TiffEdges, ResolutionPerCentimetreAndParameters) {
  // 300/1 per centimetre is 762 dpi; short strings and the page pair live inside their entries.
  const auto file = BuildTiff({{256, 3, {1}},
                               {257, 3, {1}},
                               {258, 3, {8, 8, 8}},
                               {262, 3, {2}},
                               {269, 2, {'a', 'b', 0}},
                               {273, 4, {8}},
                               {277, 3, {3}},
                               {279, 4, {3}},
                               {282, 5, {300, 1}},
                               {283, 5, {150, 0}},
                               {296, 3, {3}},
                               {297, 3, {2, 9}}},
                              {10, 20, 30});
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(file, b, p));
  EXPECT_EQ(p.DpiX, 762);
  EXPECT_EQ(p.DpiY, 381);  // a zero denominator counts as 1
  EXPECT_EQ(p.TIFF_DocumentName, "ab");
  EXPECT_EQ(p.TIFF_PageNumber, 2);
  EXPECT_EQ(p.TIFF_PageCount, 9);
  EXPECT_EQ(b.ScanLine(0)[2], 10);
  EXPECT_EQ(b.ScanLine(0)[0], 30);

  // No resolution: the screen's.
  const auto bare = BuildTiff({{256, 3, {1}}, {257, 3, {1}}, {273, 4, {8}}, {279, 4, {1}}}, {0});
  ASSERT_TRUE(Read(bare, b, p));
  EXPECT_EQ(p.DpiX, gSystemDPIX);
}

TEST_F(TiffEdges, PackBitsGreyPaletteAndPredictor) {
  // PackBits: a run of 3 (header -2) then a literal of 2: a 5 x 1 grey page.
  auto file = BuildTiff({{256, 3, {5}}, {257, 3, {1}}, {258, 3, {8}}, {259, 3, {32773}}, {262, 3, {1}},
                         {273, 4, {8}}, {279, 4, {5}}},
                        {0xFE, 7, 0x01, 9, 11});
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(file, b, p));
  const uint8_t* r = b.ScanLine(0);
  EXPECT_EQ(r[0], 7);
  EXPECT_EQ(r[6], 7);
  EXPECT_EQ(r[9], 9);
  EXPECT_EQ(r[12], 11);

  // 2-bit grey scales to the full range: 0, 85, 170, 255.
  file = BuildTiff({{256, 3, {4}}, {257, 3, {1}}, {258, 3, {2}}, {262, 3, {1}}, {273, 4, {8}}, {279, 4, {1}}},
                   {0x1B});
  ASSERT_TRUE(Read(file, b, p));
  EXPECT_EQ(b.ScanLine(0)[0], 0);
  EXPECT_EQ(b.ScanLine(0)[3], 85);
  EXPECT_EQ(b.ScanLine(0)[6], 170);
  EXPECT_EQ(b.ScanLine(0)[9], 255);

  // 4-bit palette with a short colour map: indices past it read black.
  std::vector<uint32_t> map(3 * 2, 0);
  map[1] = 0xFF00;  // entry 1 red
  file = BuildTiff({{256, 3, {3}}, {257, 3, {1}}, {258, 3, {4}}, {262, 3, {3}}, {273, 4, {8}}, {279, 4, {2}},
                    {320, 3, map}},
                   {0x1F, 0x00});
  ASSERT_TRUE(Read(file, b, p));
  EXPECT_EQ(b.ScanLine(0)[2], 255);  // pixel 0: entry 1
  EXPECT_EQ(b.ScanLine(0)[5], 0);    // pixel 1: entry 15, not in the map
  EXPECT_EQ(p.GetColorMapCount(), 2);

  // Horizontal differencing on 3 samples: each channel from the left (Deflate-coded); the same
  // Predictor tag on uncompressed data is ignored, as libtiff ignores it.
  const std::vector<uint8_t> diffs = {10, 20, 30, 1, 2, 3, 255, 0, 1};
  std::vector<uint8_t> z(64);
  uLongf zn = z.size();
  ASSERT_EQ(compress2(z.data(), &zn, diffs.data(), uLong(diffs.size()), 9), Z_OK);
  z.resize(zn);
  for (const uint32_t compression : {8u, 1u}) {
    const bool zip = compression == 8;
    file = BuildTiff({{256, 3, {3}}, {257, 3, {1}}, {258, 3, {8, 8, 8}}, {259, 3, {compression}}, {262, 3, {2}},
                      {273, 4, {8}}, {277, 3, {3}}, {279, 4, {uint32_t(zip ? z.size() : diffs.size())}}, {317, 3, {2}}},
                     zip ? z : diffs);
    ASSERT_TRUE(Read(file, b, p));
    r = b.ScanLine(0);
    EXPECT_EQ(r[5], zip ? 11 : 1);  // red of pixel 1
    EXPECT_EQ(r[4], zip ? 22 : 2);
    EXPECT_EQ(r[3], zip ? 33 : 3);
    EXPECT_EQ(r[8], zip ? 10 : 255);  // red of pixel 2: 11 + 255 wraps
    EXPECT_EQ(r[6], zip ? 34 : 1);
  }
}

TEST_F(TiffEdges, LyingDirectoriesFailCleanly) {
  TBitmap b;
  TIOParamsVals p;
  const std::vector<uint8_t> px(64, 0x55);
  // A directory that links to itself: one page.
  auto file = BuildTiff({{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, {8}}, {279, 4, {64}}},
                        px, 1);
  ASSERT_TRUE(Read(file, b, p));
  EXPECT_EQ(p.TIFF_ImageCount, 1);
  TPointerStream s(file.data(), int64_t(file.size()));
  EXPECT_EQ(_EnumTIFFImStream(&s), 1);
  // A page index past the end.
  p.TIFF_ImageIndex = 1;
  EXPECT_FALSE(Read(file, b, p));

  const std::vector<std::vector<Field>> bad = {
      // Strip beyond the data; then a strip count larger than the file.
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, {100000}}, {279, 4, {64}}},
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {259, 3, {32773}}, {262, 3, {1}}, {273, 4, {8}}, {279, 4, {0xFFFFFFF0u}}},
      // A huge claimed size; zero size; tiles of zero width; unequal bits per sample.
      {{256, 4, {1u << 30}}, {257, 4, {1u << 30}}, {258, 3, {8}}, {273, 4, {8}}, {279, 4, {64}}},
      {{256, 3, {0}}, {257, 3, {8}}, {273, 4, {8}}},
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {262, 3, {1}}, {322, 3, {0}}, {323, 3, {16}}, {324, 4, {8}}},
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8, 16, 8}}, {262, 3, {2}}, {277, 3, {3}}, {273, 4, {8}}},
      // Compressions and layouts the reader does not know.
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {259, 3, {34712}}, {262, 3, {1}}, {273, 4, {8}}},
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {32}}, {262, 3, {1}}, {273, 4, {8}}},
      // Truncated CCITT and LZW strips.
      {{256, 3, {64}}, {257, 3, {8}}, {259, 3, {4}}, {273, 4, {8}}, {279, 4, {3}}},
      {{256, 3, {8}}, {257, 3, {8}}, {258, 3, {8}}, {259, 3, {5}}, {262, 3, {1}}, {273, 4, {8}}, {279, 4, {5}}},
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    TIOParamsVals q;
    EXPECT_FALSE(Read(BuildTiff(bad[i], px), b, q)) << i;
  }
  // Not a TIFF at all, and a header alone.
  EXPECT_FALSE(Read({'I', 'I', 42, 0}, b, p));
  EXPECT_FALSE(Read({'I', 'I', 43, 0, 8, 0, 0, 0}, b, p));
  EXPECT_FALSE(Read({'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0}, b, p));

  // LZW without a decoder fails; the parameters are still read.
  const auto saved = DefTIFF_LZWDECOMPFUNC;
  DefTIFF_LZWDECOMPFUNC = nullptr;
  TIOParamsVals q;
  q.TIFF_LZWDecompress = nullptr;
  EXPECT_FALSE(Read(BuildTiff(bad.back(), px), b, q));
  EXPECT_EQ(q.TIFF_Compression, ioTIFF_LZW);
  DefTIFF_LZWDECOMPFUNC = saved;
}

// Every page of the corpus's files (damaged ones among them), then mutations of the small files:
// each read ends, quickly, with a legal image, or with the abort flag and the bitmap empty or
// holding what could be read.
TEST_F(TiffEdges, HostileFilesNeverCrashOrHang) {
  CORVEX_REQUIRE_CORPUS();
  LoadTally tally;
  auto check = [&](const std::vector<uint8_t>& bytes, int page, const std::string& what) {
    TBitmap b;
    TIOParamsVals p;
    p.TIFF_ImageIndex = page;
    tally.Add(CheckLoad([&] { return Read(bytes, b, p); }, b, p), [&] { return what; });
  };
  std::vector<std::vector<uint8_t>> seeds;
  std::vector<std::string> names;
  for (const ManifestRow& row : ReadManifest("tiff/")) {
    const auto bytes = ReadFileBytes(row.Path());
    const auto t0 = std::chrono::steady_clock::now();
    for (int page = 0; page < 3; ++page) check(bytes, page, row.file + ", page " + std::to_string(page));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(s, 2.0) << row.file;
    if (bytes.size() < 40000) {
      seeds.push_back(bytes);
      names.push_back(row.file);
    }
  }
  // Mutations of the small files: bytes changed anywhere, bytes changed near the first
  // directory (where the lies hurt most), and truncations.
  for (uint32_t t = 0; t < 1000; ++t) {
    const std::vector<uint8_t>& seed = seeds[t % seeds.size()];
    Damage how;
    if (t % 3 == 0) {
      how.minEdits = how.maxEdits = 4;
    } else if (t % 3 == 1) {
      how.minEdits = how.maxEdits = 6;
      how.from = FirstDirectory(seed);
      how.span = 200;
    } else {
      how.minEdits = how.maxEdits = 0;
      how.cutTo = true;
    }
    const auto f = DamagedCopy(seed, t, how);
    const auto t0 = std::chrono::steady_clock::now();
    check(f, 0, names[t % seeds.size()] + ", damage seed " + std::to_string(t));
    TPointerStream s(f.data(), int64_t(f.size()));
    _EnumTIFFImStream(&s);
    const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(sec, 1.0) << "mutation " << t;
  }
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.loaded, 0);
  EXPECT_GT(tally.refused, 0);
}

}  // namespace
}  // namespace corvex
