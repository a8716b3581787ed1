// PCX reading: the corpus against its references, every layout of bits and planes, runs that
// cross line ends, and headers that lie about sizes, planes and bytes per line.
#include <gtest/gtest.h>

#include <cstring>

#include "corvex/io/codecs/PCXFilter.h"
#include "corvex/platform/screen.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// The reader in the common codec shape, with the block running to the end of the stream.
void ReadWhole(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool preview) {
  ReadPcxStream(s, b, p, -1, r, preview);
}

// A PCX file: header, data as given, and an optional trailing 256-colour palette.
struct PcxFields {
  int bits = 8, planes = 1, width = 1, height = 1, bytesPerLine = 2, encoding = 1;
  int hres = 72, vres = 72, version = 5;
  uint8_t palette16[48] = {};
  std::vector<uint8_t> data;
  std::vector<uint8_t> trailing;  // 768 bytes, written after the marker 12
};

std::vector<uint8_t> MakePcx(const PcxFields& s) {
  std::vector<uint8_t> f(128 + s.data.size() + (s.trailing.empty() ? 0 : 1 + s.trailing.size()), 0);
  f[0] = 10;
  f[1] = uint8_t(s.version);
  f[2] = uint8_t(s.encoding);
  f[3] = uint8_t(s.bits);
  Set16(f, 8, uint32_t(s.width - 1));
  Set16(f, 10, uint32_t(s.height - 1));
  Set16(f, 12, uint32_t(s.hres));
  Set16(f, 14, uint32_t(s.vres));
  std::memcpy(&f[16], s.palette16, 48);
  f[65] = uint8_t(s.planes);
  Set16(f, 66, uint32_t(s.bytesPerLine));
  Set16(f, 68, 1);
  std::copy(s.data.begin(), s.data.end(), f.begin() + 128);
  if (!s.trailing.empty()) {
    f[128 + s.data.size()] = 12;
    std::copy(s.trailing.begin(), s.trailing.end(), f.begin() + ptrdiff_t(129 + s.data.size()));
  }
  return f;
}

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
void ExpectRGB(const TRGB& c, int r, int g, int b) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
}

TEST(PcxRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int checked = 0;
  for (const ManifestRow& row : ReadManifest("pcx/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    ASSERT_TRUE(DecodeFile(ReadWhole, row.Path(), bmp, params));
    ASSERT_EQ(bmp.GetWidth(), row.width);
    ASSERT_EQ(bmp.GetHeight(), row.height);
    EXPECT_EQ(bmp.GetPixelFormat(), row.mode == "1" ? pf1bit : pf24bit);
    EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
    ++checked;
  }
  EXPECT_EQ(checked, 7);
}

TEST(PcxRead, CorpusFilesTheReferenceRefusesNeverCrash) {
  CORVEX_REQUIRE_CORPUS();
  for (const ManifestRow& row : ReadManifest("pcx/")) {
    if (row.Decodes()) continue;
    TBitmap bmp;
    TIOParamsVals params;
    EXPECT_EQ(CheckLoad([&] { return DecodeFile(ReadWhole, row.Path(), bmp, params); }, bmp, params).verdict, "")
        << row.file;
  }
  // Packed 4-bit data is decoded: netpbm wrote the same picture as packed nibbles and as four
  // bit planes, with the same header palette.
  TBitmap packed, planes;
  TIOParamsVals p1, p2;
  ASSERT_TRUE(DecodeFile(ReadWhole, CorpusFile("pcx/peer_nb_hopper4packed.pcx"), packed, p1));
  ASSERT_TRUE(DecodeFile(ReadWhole, CorpusFile("pcx/peer_nb_hopper4planes.pcx"), planes, p2));
  EXPECT_EQ(RgbDigest16(packed), "377e722dd2c56def");  // the reference of the planar file
  EXPECT_EQ(MaxSampleDiff(packed, planes), 0);
  // A header whose 12 bytes per line cannot hold its 88 pixels, and an unknown encoding.
  TBitmap untouched(2, 2, pf1bit);
  TIOParamsVals p3;
  EXPECT_FALSE(DecodeFile(ReadWhole, CorpusFile("pcx/pillow_01r_00.pcx"), untouched, p3));
  EXPECT_FALSE(DecodeFile(ReadWhole, CorpusFile("pcx/pillow_ossfuzz-4836216264589312.pcx"), untouched, p3));
  EXPECT_EQ(untouched.GetWidth(), 2);
  EXPECT_EQ(untouched.GetPixelFormat(), pf1bit);
  EXPECT_EQ(p3.Width, TIOParamsVals().Width);
}

TEST(PcxRead, SixteenColourPlanesAndPackedLayouts) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeFile(ReadWhole, CorpusFile("pcx/peer_nb_hopper4planes.pcx"), bmp, params));
  EXPECT_EQ(bmp.GetPixelFormat(), pf24bit);
  EXPECT_EQ(params.BitsPerSample, 4);
  EXPECT_EQ(params.SamplesPerPixel, 1);
  EXPECT_EQ(params.GetColorMapCount(), 16);
  EXPECT_EQ(params.PCX_Version, 5);
  EXPECT_EQ(params.PCX_Compression, ioPCX_RLE);

  // Two and three bit planes index 4 and 8 colours of the header palette.
  for (int planes : {2, 3}) {
    PcxFields s;
    s.bits = 1;
    s.planes = planes;
    s.width = 8;
    s.bytesPerLine = 2;
    s.encoding = 0;
    for (int i = 0; i < 16; ++i) s.palette16[3 * i] = uint8_t(i * 10);  // red = 10 * index
    // Pixel x has index x: plane p holds bit p of x.
    for (int p = 0; p < planes; ++p) {
      uint8_t b = 0;
      for (int x = 0; x < 8; ++x)
        if ((x >> p) & 1) b |= uint8_t(0x80 >> x);
      s.data.push_back(b);
      s.data.push_back(0);
    }
    TIOParamsVals p;
    ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), bmp, p)) << planes;
    EXPECT_EQ(p.BitsPerSample, planes);
    EXPECT_EQ(p.GetColorMapCount(), 1 << planes);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Px(bmp, x, 0).r, (x & ((1 << planes) - 1)) * 10) << x;
  }

  // Two bits per pixel: four pixels a byte, highest bits first.
  PcxFields s2;
  s2.bits = 2;
  s2.width = 5;
  s2.bytesPerLine = 2;
  s2.encoding = 0;
  for (int i = 0; i < 4; ++i) s2.palette16[3 * i + 1] = uint8_t(60 * i);  // green = 60 * index
  s2.data = {0x1B, 0xC0};                                                 // 0 1 2 3 | 3
  TIOParamsVals p2;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s2), bmp, p2));
  EXPECT_EQ(p2.BitsPerSample, 2);
  EXPECT_EQ(p2.GetColorMapCount(), 4);
  const int want[5] = {0, 60, 120, 180, 180};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(bmp, x, 0).g, want[x]) << x;

  // Four planes of 8 bits: red, green, blue, and an alpha plane that is skipped.
  PcxFields s4;
  s4.bits = 8;
  s4.planes = 4;
  s4.width = 2;
  s4.bytesPerLine = 2;
  s4.encoding = 0;
  s4.data = {10, 11, 20, 21, 30, 31, 0, 0};
  TIOParamsVals p4;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s4), bmp, p4));
  ExpectRGB(Px(bmp, 0, 0), 10, 20, 30);
  ExpectRGB(Px(bmp, 1, 0), 11, 21, 31);
}

TEST(PcxRead, RunsCrossLineEndsAndCountBytes) {
  // 3 x 2 pixels, 8 bits, 4 bytes per line: one run of 8 bytes covers both lines.
  PcxFields s;
  s.width = 3;
  s.height = 2;
  s.bytesPerLine = 4;
  s.data = {0xC8, 7};
  s.trailing.assign(768, 0);
  for (int i = 0; i < 256; ++i) s.trailing[size_t(3 * i)] = uint8_t(255 - i);  // red = 255 - index
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), bmp, params));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(bmp, x, y).r, 248);
  EXPECT_EQ(params.GetColorMapCount(), 256);
  EXPECT_EQ(params.ColorMap[0].r, 255);

  // A value of 192 or more is a run of one; a count of 0 repeats nothing.
  s.height = 1;
  s.data = {0xC1, 200, 0xC0, 9, 5, 0xC2, 1};
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), bmp, params));
  EXPECT_EQ(Px(bmp, 0, 0).r, 255 - 200);
  EXPECT_EQ(Px(bmp, 1, 0).r, 255 - 5);
  EXPECT_EQ(Px(bmp, 2, 0).r, 255 - 1);
}

TEST(PcxRead, OneBitRowsResolutionAndPreview) {
  PcxFields s;
  s.bits = 1;
  s.width = 10;
  s.height = 2;
  s.bytesPerLine = 2;
  s.encoding = 0;
  s.hres = 0;  // no resolution: the screen's
  s.palette16[3] = s.palette16[4] = s.palette16[5] = 255;  // black, white
  s.data = {0xA5, 0xFF, 0x0F, 0x00};
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), bmp, params));
  ASSERT_EQ(bmp.GetPixelFormat(), pf1bit);
  EXPECT_EQ(bmp.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(bmp.ScanLine(0)[1], 0xC0);  // the bits past the width are cleared
  EXPECT_EQ(bmp.ScanLine(1)[0], 0x0F);
  EXPECT_EQ(params.DpiX, gSystemDPIX);
  EXPECT_EQ(params.DpiY, gSystemDPIY);
  EXPECT_EQ(params.PCX_Compression, ioPCX_UNCOMPRESSED);

  // A palette of white then black stores black as 1s: the bits are inverted.
  std::memset(s.palette16, 0, 6);
  s.palette16[0] = s.palette16[1] = s.palette16[2] = 255;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), bmp, params));
  EXPECT_EQ(bmp.ScanLine(0)[0], 0x5A);
  EXPECT_EQ(bmp.ScanLine(0)[1], 0x00);

  // Preview fills the record only.
  TBitmap untouched(3, 3, pf24bit);
  TIOParamsVals p;
  s.hres = 300;
  s.vres = 150;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(s), untouched, p, true));
  EXPECT_EQ(untouched.GetWidth(), 3);
  EXPECT_EQ(p.Width, 10);
  EXPECT_EQ(p.Height, 2);
  EXPECT_EQ(p.DpiX, 300);
  EXPECT_EQ(p.DpiY, 150);
  EXPECT_EQ(p.BitsPerSample, 1);
}

TEST(PcxRead, LyingHeadersAndTruncatedDataNeverReadOutOfBounds) {
  PcxFields good;
  good.width = 6;
  good.height = 4;
  good.bytesPerLine = 6;
  good.bits = 8;
  good.planes = 3;
  good.encoding = 0;
  good.data.assign(6 * 3 * 4, 77);
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeBytes(ReadWhole, MakePcx(good), bmp, params));

  auto refused = [&](PcxFields s) {
    TBitmap b(1, 1, pf1bit);
    TIOParamsVals p;
    const bool ok = DecodeBytes(ReadWhole, MakePcx(s), b, p);
    return !ok && b.GetWidth() == 1 && b.GetPixelFormat() == pf1bit && p.Width == TIOParamsVals().Width;
  };
  PcxFields s = good;
  s.bytesPerLine = 5;  // too short for 6 pixels
  EXPECT_TRUE(refused(s));
  s = good;
  s.bytesPerLine = 0;
  EXPECT_TRUE(refused(s));
  for (int planes : {0, 2, 5, 255}) {
    s = good;
    s.planes = planes;
    EXPECT_TRUE(refused(s)) << planes;
  }
  for (int bits : {0, 3, 5, 9, 16}) {
    s = good;
    s.bits = bits;
    EXPECT_TRUE(refused(s)) << bits;
  }
  s = good;
  s.encoding = 2;
  EXPECT_TRUE(refused(s));
  auto inverted = MakePcx(good);
  inverted[4] = 9;  // xmin past xmax
  TBitmap b1(1, 1, pf1bit);
  TIOParamsVals p1;
  EXPECT_FALSE(DecodeBytes(ReadWhole, inverted, b1, p1));
  EXPECT_EQ(b1.GetWidth(), 1);

  // A header claiming 65535 x 65535 is refused before anything is allocated.
  auto huge = MakePcx(good);
  huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
  huge[66] = huge[67] = 0xFF;
  TIOParamsVals p;
  EXPECT_FALSE(DecodeBytes(ReadWhole, huge, bmp, p));

  // Every truncation fails cleanly, keeping the rows that were complete.
  const auto file = MakePcx(good);
  for (size_t cut = 0; cut < file.size(); cut += 5) {
    std::vector<uint8_t> part(file.begin(), file.begin() + ptrdiff_t(cut));
    TBitmap b;
    TIOParamsVals q;
    EXPECT_FALSE(DecodeBytes(ReadWhole, part, b, q)) << cut;
  }
  std::vector<uint8_t> half(file.begin(), file.begin() + 128 + 2 * 18);
  ASSERT_FALSE(DecodeBytes(ReadWhole, half, bmp, params));
  ASSERT_EQ(bmp.GetHeight(), 4);
  ExpectRGB(Px(bmp, 5, 1), 77, 77, 77);
  ExpectRGB(Px(bmp, 0, 2), 0, 0, 0);

  // A block size beyond the stream is cut to the stream; a smaller one ends the data early.
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  TPointerStream m(file.data(), int64_t(file.size()));
  ReadPcxStream(&m, &bmp, params, int64_t(file.size()) * 10, progress, false);
  EXPECT_FALSE(abort);
  m.SetPosition(0);
  ReadPcxStream(&m, &bmp, params, 128 + 18, progress, false);
  EXPECT_TRUE(abort);
}

// Random damage to real files, in the header for the first twenty copies of each: the reader
// loads a legal image, or sets the abort flag with the bitmap empty or holding the rows it read.
TEST(PcxRead, DamagedCorpusFilesLoadOrAbort) {
  CORVEX_REQUIRE_CORPUS();
  LoadTally tally;
  for (const std::string name : {"peer_nb_hopper8.pcx", "peer_nb_hopper4planes.pcx", "pillow_pil184.pcx"})
    TallyDamagedCopies(tally, ReadWhole, "pcx/" + name, 40, [](uint32_t seed) {
      Damage how;
      how.minEdits = how.maxEdits = 6;
      how.span = seed < 20 ? 128 : 0;
      return how;
    });
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.loaded, 0);
  EXPECT_GT(tally.refused, 0);
}

TEST(PcxRead, ProgressBeforeEachRowAndAbort) {
  PcxFields s;
  s.width = 2;
  s.height = 4;
  s.bytesPerLine = 2;
  s.encoding = 0;
  s.data.assign(8, 1);
  const auto file = MakePcx(s);
  ProgressLog log;
  bool abort = false;
  log.abort = &abort;
  log.stopAtPercent = 50;
  TProgressRec progress;
  progress.OnProgress = log.Event();
  progress.Aborting = &abort;
  TPointerStream m(file.data(), int64_t(file.size()));
  TBitmap bmp;
  TIOParamsVals params;
  ReadPcxStream(&m, &bmp, params, -1, progress, false);
  EXPECT_EQ(log.seen, (std::vector<int>{0, 25, 50}));
  EXPECT_EQ(Px(bmp, 0, 1).r, 1);  // grey ramp: a short file has no 256-colour palette
  EXPECT_EQ(Px(bmp, 0, 2).r, 0);  // rows after the stop are not decoded
}

}  // namespace
}  // namespace corvex
