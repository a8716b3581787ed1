// TGA reading: the corpus against its references, the content test, orientation, packets that
// cross rows, 1, 4 and 16-bit data, the extension area, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "corvex/io/codecs/cxtgafil.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/platform/screen.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

struct TgaFields {
  int idLength = 0, mapType = 0, imageType = 2, mapFirst = 0, mapLength = 0, entryBits = 0;
  int x = 0, y = 0, width = 1, height = 1, depth = 24, descriptor = 0;
  std::vector<uint8_t> id, map, data, tail;
};

std::vector<uint8_t> MakeTga(const TgaFields& s) {
  std::vector<uint8_t> f(18 + s.id.size() + s.map.size() + s.data.size() + s.tail.size(), 0);
  f[0] = uint8_t(s.idLength ? s.idLength : int(s.id.size()));
  f[1] = uint8_t(s.mapType);
  f[2] = uint8_t(s.imageType);
  Set16(f, 3, uint32_t(s.mapFirst));
  Set16(f, 5, uint32_t(s.mapLength));
  f[7] = uint8_t(s.entryBits);
  Set16(f, 8, uint32_t(s.x));
  Set16(f, 10, uint32_t(s.y));
  Set16(f, 12, uint32_t(s.width));
  Set16(f, 14, uint32_t(s.height));
  f[16] = uint8_t(s.depth);
  f[17] = uint8_t(s.descriptor);
  size_t at = 18;
  for (const auto* part : {&s.id, &s.map, &s.data, &s.tail}) {
    std::copy(part->begin(), part->end(), f.begin() + ptrdiff_t(at));
    at += part->size();
  }
  return f;
}

TRGB Px(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }

bool Read(const std::vector<uint8_t>& bytes, TBitmap& b, TIOParamsVals& p, bool preview = false) {
  return DecodeBytes(ReadTGAStream, bytes, b, p, preview);
}

TEST(TgaRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int checked = 0;
  for (const ManifestRow& row : ReadManifest("tga/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    ASSERT_TRUE(DecodeFile(ReadTGAStream, row.Path(), bmp, params));
    ASSERT_EQ(bmp.GetWidth(), row.width);
    ASSERT_EQ(bmp.GetHeight(), row.height);
    ++checked;
    // Exception: pillow_p_16 has a 16-bit colour map. The reference widens 5-bit channels to
    // 0 .. 255; this reader multiplies them by 8, so the expected pixels are the reference's
    // with the low three bits of every sample cleared.
    if (row.file == "tga/pillow_p_16.tga") {
      TBitmap ref;
      TIOParamsVals rp;
      ASSERT_TRUE(DecodeFile(ReadPNGStream, row.ReferencePath(), ref, rp));
      auto want = RgbBytes(ref);
      for (auto& v : want) v &= 0xF8;
      EXPECT_EQ(RgbBytes(bmp), want);
      continue;
    }
    // Alpha is never applied: the references of the LA and RGBA files are their grey and colour
    // samples, so every other file matches exactly.
    EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
  }
  EXPECT_EQ(checked, 28);
}

TEST(TgaRead, GreyFileTheReferenceMistakesForPcx) {
  CORVEX_REQUIRE_CORPUS();
  // netpbm's grey file starts with an ID length of 10 and a colour-map type of 0, which the
  // reference took for a PCX signature. It is a run-length encoded grey image.
  const std::string path = CorpusFile("tga/peer_nb_hoppergrey.tga");
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeFile(ReadTGAStream, path, bmp, params));
  EXPECT_EQ(params.TGA_Description, "/dev/fd/63");
  EXPECT_TRUE(params.TGA_GrayLevel);
  EXPECT_TRUE(params.TGA_Compressed);
  EXPECT_EQ(params.BitsPerSample, 8);
  EXPECT_EQ(params.SamplesPerPixel, 1);
  const auto rgb = RgbBytes(bmp);
  for (size_t i = 0; i < rgb.size(); i += 3) ASSERT_TRUE(rgb[i] == rgb[i + 1] && rgb[i] == rgb[i + 2]);
  // The grey levels of the 8-bit colour-mapped file of the same picture are close.
  TBitmap colour;
  TIOParamsVals p2;
  ASSERT_TRUE(DecodeFile(ReadTGAStream, CorpusFile("tga/peer_nb_hopper8cmap.tga"), colour, p2));
  double sum = 0;
  const auto c = RgbBytes(colour);
  for (size_t i = 0; i < c.size(); i += 3) sum += std::abs(rgb[i] - (0.299 * c[i] + 0.587 * c[i + 1] + 0.114 * c[i + 2]));
  EXPECT_LT(sum / (c.size() / 3), 3.0);
  // Pillow's TGA decoder, opened directly on the file (TgaImagePlugin.TgaImageFile), gives
  // this digest.
  EXPECT_EQ(RgbDigest16(bmp), "26ffe53177374618");
}

TEST(TgaRead, FooterAndExtensionOfACorpusFile) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  params.TGA_Gamma = 5;
  ASSERT_TRUE(DecodeFile(ReadTGAStream, CorpusFile("tga/pillow_p_16.tga"), bmp, params));
  EXPECT_EQ(params.TGA_Author, "Manuel Fombuena");
  EXPECT_EQ(params.TGA_ImageName, "");
  EXPECT_EQ(params.TGA_Description, "Pillow test suite sample image");
  // 2 August 2020, 23:00:00; aspect and gamma are 0/0 in the file, so the defaults stay.
  EXPECT_NEAR(params.TGA_Date, 44045.0 + 23.0 / 24.0, 1e-9);
  EXPECT_EQ(params.TGA_AspectRatio, 1.0);
  EXPECT_EQ(params.TGA_Gamma, 2.2);
  EXPECT_EQ(params.GetColorMapCount(), 256);
  EXPECT_FALSE(params.TGA_GrayLevel);
  EXPECT_FALSE(params.TGA_Compressed);
}

TEST(TgaRead, ContentTest) {
  TgaFields s;
  s.data = {1, 2, 3};
  auto f = MakeTga(s);
  TPointerStream m(f.data(), int64_t(f.size()));
  m.SetPosition(0);
  EXPECT_TRUE(TryTGA(&m));
  EXPECT_EQ(m.GetPosition(), 0);
  for (int type : {0, 4, 8, 12, 32}) {
    f[2] = uint8_t(type);
    TPointerStream t(f.data(), int64_t(f.size()));
    EXPECT_FALSE(TryTGA(&t)) << type;
  }
  f[2] = 10;
  for (int depth : {0, 2, 15, 31, 64}) {
    f[16] = uint8_t(depth);
    TPointerStream t(f.data(), int64_t(f.size()));
    EXPECT_FALSE(TryTGA(&t)) << depth;
  }
  // Portable anymaps ("P2" to "P6", then a blank, '#' or a line feed) are not TGA; with a line
  // feed the third byte is a valid image type (10), so only the signature test refuses them.
  f[16] = 8;
  for (const char* sig : {"P6\n", "P5 ", "P2#", "P4\n"}) {
    std::memcpy(f.data(), sig, 3);
    TPointerStream t(f.data(), int64_t(f.size()));
    EXPECT_FALSE(TryTGA(&t)) << sig;
  }
  std::memcpy(f.data(), "P7\n", 3);
  TPointerStream p7(f.data(), int64_t(f.size()));
  EXPECT_TRUE(TryTGA(&p7));
  TPointerStream shortStream(f.data(), 17);
  EXPECT_FALSE(TryTGA(&shortStream));
  EXPECT_EQ(shortStream.GetPosition(), 0);
}

TEST(TgaRead, OrientationMirroringAndPacketsAcrossRows) {
  // 3 x 2 true colour; pixel value = 10 * (file order) in blue.
  TgaFields s;
  s.width = 3;
  s.height = 2;
  for (int i = 0; i < 6; ++i) s.data.insert(s.data.end(), {uint8_t(10 * i), 0, 0});
  TBitmap bottomUp, topDown, mirrored;
  TIOParamsVals p;
  ASSERT_TRUE(Read(MakeTga(s), bottomUp, p));
  EXPECT_EQ(Px(bottomUp, 0, 1).b, 0);  // first stored row is the bottom one
  EXPECT_EQ(Px(bottomUp, 2, 0).b, 50);
  s.descriptor = 0x20;
  ASSERT_TRUE(Read(MakeTga(s), topDown, p));
  EXPECT_EQ(Px(topDown, 0, 0).b, 0);
  EXPECT_EQ(Px(topDown, 2, 1).b, 50);
  s.descriptor = 0x30;  // top first, right to left
  ASSERT_TRUE(Read(MakeTga(s), mirrored, p));
  EXPECT_EQ(Px(mirrored, 2, 0).b, 0);
  EXPECT_EQ(Px(mirrored, 0, 1).b, 50);

  // The same pixels stored bottom-up and top-down load to identical bitmaps.
  TgaFields a = s, b = s;
  a.descriptor = 0;
  b.descriptor = 0x20;
  b.data.clear();
  for (int i = 3; i < 6; ++i) b.data.insert(b.data.end(), {uint8_t(10 * i), 0, 0});
  for (int i = 0; i < 3; ++i) b.data.insert(b.data.end(), {uint8_t(10 * i), 0, 0});
  TBitmap ba, bb;
  ASSERT_TRUE(Read(MakeTga(a), ba, p));
  ASSERT_TRUE(Read(MakeTga(b), bb, p));
  EXPECT_EQ(RgbBytes(ba), RgbBytes(bb));

  // Run-length packets: a raw packet of 4 crosses from row 0 into row 1, a run of 2 ends it.
  TgaFields r;
  r.imageType = 11;
  r.depth = 8;
  r.width = 3;
  r.height = 2;
  r.descriptor = 0x20;
  r.data = {0x03, 1, 2, 3, 4, 0x81, 9};
  TBitmap g;
  TIOParamsVals gp;
  ASSERT_TRUE(Read(MakeTga(r), g, gp));
  EXPECT_TRUE(gp.TGA_GrayLevel);
  EXPECT_TRUE(gp.TGA_Compressed);
  const int want[6] = {1, 2, 3, 4, 9, 9};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Px(g, i % 3, i / 3).g, want[i]) << i;
}

TEST(TgaRead, SixteenBitPixelsAndColourMaps) {
  // True colour 5-5-5: the attribute bit is ignored, channels times 8.
  TgaFields s;
  s.width = 2;
  s.depth = 16;
  s.data = {0x1F, 0x80, 0xE0, 0x7F};  // 0x801F: blue 31 (attribute set); 0x7FE0: red and green 31
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(p.BitsPerSample, 5);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_TRUE(EqualRGB(Px(b, 0, 0), CreateRGB(0, 0, 248)));
  EXPECT_TRUE(EqualRGB(Px(b, 1, 0), CreateRGB(248, 248, 0)));

  // Grey and alpha: the first byte is the grey level.
  TgaFields la = s;
  la.imageType = 3;
  la.descriptor = 8;
  la.data = {77, 0, 200, 255};
  ASSERT_TRUE(Read(MakeTga(la), b, p));
  EXPECT_TRUE(EqualRGB(Px(b, 0, 0), CreateRGB(77, 77, 77)));
  EXPECT_TRUE(EqualRGB(Px(b, 1, 0), CreateRGB(200, 200, 200)));
  EXPECT_EQ(p.SamplesPerPixel, 2);

  // A colour map of 15-bit entries starting at index 5; 32-bit entries drop their alpha.
  TgaFields m;
  m.mapType = 1;
  m.imageType = 1;
  m.mapFirst = 5;
  m.mapLength = 2;
  m.entryBits = 15;
  m.map = {0x00, 0xFC, 0x1F, 0x00};  // 0xFC00: red 31 (attribute set), 0x001F: blue 31
  m.width = 3;
  m.depth = 8;
  m.data = {5, 6, 0};
  ASSERT_TRUE(Read(MakeTga(m), b, p));
  EXPECT_TRUE(EqualRGB(Px(b, 0, 0), CreateRGB(248, 0, 0)));
  EXPECT_TRUE(EqualRGB(Px(b, 1, 0), CreateRGB(0, 0, 248)));
  EXPECT_TRUE(EqualRGB(Px(b, 2, 0), CreateRGB(28, 28, 60)));  // index 0: the 3-3-2 cube
  EXPECT_EQ(p.GetColorMapCount(), 2);
  EXPECT_FALSE(p.TGA_GrayLevel);
  m.entryBits = 32;
  m.mapFirst = 0;
  m.map = {1, 2, 3, 99, 4, 5, 6, 99};
  m.data = {0, 1, 255};
  ASSERT_TRUE(Read(MakeTga(m), b, p));
  EXPECT_TRUE(EqualRGB(Px(b, 1, 0), CreateRGB(6, 5, 4)));
  EXPECT_TRUE(EqualRGB(Px(b, 2, 0), CreateRGB(7 * 32 + 28, 7 * 32 + 28, 3 * 64 + 60)));
  // A map of 300 entries: the first 256 are used, the rest are read past.
  m.entryBits = 24;
  m.mapLength = 300;
  m.map.assign(900, 0);
  m.map[3 * 255] = 42;
  m.data = {255, 255, 255};
  ASSERT_TRUE(Read(MakeTga(m), b, p));
  EXPECT_EQ(Px(b, 2, 0).b, 42);
  EXPECT_EQ(p.GetColorMapCount(), 256);
}

TEST(TgaRead, OneAndFourBitData) {
  // 1-bit grey, 10 pixels: two bytes per row, raw.
  TgaFields s;
  s.imageType = 3;
  s.depth = 1;
  s.width = 10;
  s.height = 2;
  s.descriptor = 0x20;
  s.data = {0xA5, 0xFF, 0x01, 0x80};
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(b.ScanLine(0)[1], 0xC0);  // bits past the width are clear
  EXPECT_EQ(b.ScanLine(1)[0], 0x01);
  EXPECT_EQ(b.ScanLine(1)[1], 0x80);
  EXPECT_EQ(p.BitsPerSample, 1);
  // Mirrored rows reverse the bits of the row.
  s.descriptor = 0x30;
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(b.ScanLine(0)[0], 0xE9);  // 1010010111 reversed: 1110100101
  EXPECT_EQ(b.ScanLine(0)[1], 0x40);
  // A colour map of white then black inverts the bits.
  s.descriptor = 0x20;
  s.imageType = 1;
  s.mapType = 1;
  s.mapLength = 2;
  s.entryBits = 24;
  s.map = {255, 255, 255, 0, 0, 0};
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(b.ScanLine(0)[0], 0x5A);
  EXPECT_EQ(b.ScanLine(0)[1], 0x00);

  // 4-bit colour-mapped, 3 pixels: high nibble first; run-length units are bytes.
  TgaFields f;
  f.imageType = 9;
  f.mapType = 1;
  f.mapLength = 16;
  f.entryBits = 24;
  for (int i = 0; i < 16; ++i) f.map.insert(f.map.end(), {0, 0, uint8_t(i * 16)});
  f.depth = 4;
  f.width = 3;
  f.height = 2;
  f.descriptor = 0x20;
  f.data = {0x81, 0x12, 0x01, 0x3F, 0xA0};  // run of 2 bytes 0x12, then raw 0x3F 0xA0... of row 2
  ASSERT_TRUE(Read(MakeTga(f), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_EQ(p.BitsPerSample, 4);
  const int want[6] = {1, 2, 1, 3, 15, 10};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Px(b, i % 3, i / 3).r, want[i] * 16) << i;
}

TEST(TgaRead, ExtensionAreaDefaultsAndInvalidDates) {
  TgaFields s;
  s.data = {1, 2, 3};
  TBitmap b;
  TIOParamsVals p;
  p.TGA_Author = "someone";
  p.TGA_AspectRatio = 3;
  p.TGA_Date = 1;
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(p.TGA_Author, "");
  EXPECT_EQ(p.TGA_AspectRatio, 1.0);
  EXPECT_EQ(p.TGA_Gamma, 2.2);
  EXPECT_EQ(p.TGA_Date, CXToday());
  EXPECT_EQ(p.DpiX, gSystemDPIX);

  // An extension area with an impossible date (31 February) keeps today's date.
  std::vector<uint8_t> ext(495, 0), footer(26, 0);
  ext[0] = 0xEF;
  ext[1] = 0x01;
  std::memcpy(&ext[2], "Ann", 3);
  Set16(ext, 367, 2);
  Set16(ext, 369, 31);
  Set16(ext, 371, 2021);
  std::memcpy(&ext[379], "Job", 3);
  ext[471] = 10;  // red, green, blue after a zero byte
  ext[472] = 20;
  ext[473] = 30;
  Set16(ext, 474, 3);
  Set16(ext, 476, 2);
  Set16(ext, 478, 18);
  Set16(ext, 480, 10);
  const int offset = 18 + 3;
  Set16(footer, 0, offset);
  std::memcpy(&footer[8], "TRUEVISION-XFILE.", 18);
  s.tail = ext;
  s.tail.insert(s.tail.end(), footer.begin(), footer.end());
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(p.TGA_Author, "Ann");
  EXPECT_EQ(p.TGA_ImageName, "Job");
  EXPECT_EQ(p.TGA_Date, CXToday());
  EXPECT_TRUE(EqualRGB(p.TGA_Background, CreateRGB(10, 20, 30)));
  EXPECT_DOUBLE_EQ(p.TGA_AspectRatio, 1.5);
  EXPECT_DOUBLE_EQ(p.TGA_Gamma, 1.8);
  // A valid stamp, 29 February 2024 12:30:15, is the date plus the time of day.
  Set16(s.tail, 369, 29);
  Set16(s.tail, 371, 2024);
  Set16(s.tail, 373, 12);
  Set16(s.tail, 375, 30);
  Set16(s.tail, 377, 15);
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_NEAR(p.TGA_Date, 45351.0 + (12 * 3600 + 30 * 60 + 15) / 86400.0, 1e-9);
  // An offset past the end is ignored.
  Set16(s.tail, 495, 60000);
  p.TGA_Author = "x";
  ASSERT_TRUE(Read(MakeTga(s), b, p));
  EXPECT_EQ(p.TGA_Author, "");
}

TEST(TgaRead, BadHeadersAndDamagedDataNeverCrash) {
  TgaFields s;
  s.width = 4;
  s.height = 4;
  s.imageType = 10;
  s.descriptor = 0x20;
  for (int i = 0; i < 4; ++i) s.data.insert(s.data.end(), {0x83, uint8_t(i), 2, 3});
  const auto good = MakeTga(s);
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(Read(good, b, p));
  EXPECT_EQ(Px(b, 3, 3).b, 3);

  auto refused = [](std::vector<uint8_t> f) {
    TBitmap u(1, 1, pf1bit);
    TIOParamsVals q;
    return !Read(f, u, q) && u.GetWidth() == 1 && u.GetPixelFormat() == pf1bit;
  };
  auto f = good;
  f[12] = f[13] = 0;  // width 0
  EXPECT_TRUE(refused(f));
  f = good;
  f[2] = 7;
  EXPECT_TRUE(refused(f));
  f = good;
  f[16] = 15;
  EXPECT_TRUE(refused(f));
  f = good;
  f[1] = 1;  // a colour map of 0x0101 entries that is not there
  f[5] = f[6] = 1;
  f[7] = 24;
  EXPECT_TRUE(refused(f));
  f = good;
  f[0] = 200;  // an ID field longer than the file
  EXPECT_TRUE(refused(f));
  f = good;
  f[12] = f[13] = f[14] = f[15] = 0xFF;  // 65535 x 65535 in a tiny file
  TBitmap big;
  EXPECT_FALSE(Read(f, big, p));

  // Every truncation ends with the abort flag; complete rows stay.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    TBitmap t;
    TIOParamsVals q;
    EXPECT_FALSE(Read(std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(cut)), t, q)) << cut;
  }
  TBitmap t;
  ASSERT_FALSE(Read(std::vector<uint8_t>(good.begin(), good.begin() + 18 + 8 + 2), t, p));
  EXPECT_EQ(Px(t, 3, 1).b, 1);
  EXPECT_EQ(Px(t, 0, 2).b, 0);
}

// Random damage to real files (in the 18-byte header for the first twenty copies of each, every
// fifth copy also cut short): the reader loads a legal image, or sets the abort flag with the
// bitmap empty or holding the rows it read.
TEST(TgaRead, DamagedCorpusFilesLoadOrAbort) {
  CORVEX_REQUIRE_CORPUS();
  LoadTally tally;
  for (const std::string name : {"pillow_rgb32rle.tga", "pillow_p_16.tga", "peer_nb_hopper8cmap.tga",
                                 "pillow_tga_common_200x32_la_tl_rle.tga"})
    TallyDamagedCopies(tally, ReadTGAStream, "tga/" + name, 40, [](uint32_t seed) {
      Damage how;
      how.minEdits = how.maxEdits = 6;
      how.span = seed < 20 ? 18 : 0;
      how.cutTo = seed % 5 == 0;
      return how;
    });
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.loaded, 0);
  EXPECT_GT(tally.refused, 0);
}

TEST(TgaRead, ProgressAfterEachRowPreviewAndAbort) {
  TgaFields s;
  s.width = 1;
  s.height = 4;
  s.descriptor = 0x20;
  s.data.assign(12, 9);
  const auto f = MakeTga(s);
  ProgressLog log;
  bool abort = false;
  TProgressRec progress;
  progress.OnProgress = log.Event();
  progress.Aborting = &abort;
  TPointerStream m(f.data(), int64_t(f.size()));
  TBitmap b;
  TIOParamsVals p;
  ReadTGAStream(&m, &b, p, progress, false);
  EXPECT_EQ(log.seen, (std::vector<int>{25, 50, 75, 100}));
  abort = false;
  log.seen.clear();
  log.abort = &abort;
  log.stopAtPercent = 50;
  m.SetPosition(0);
  ReadTGAStream(&m, &b, p, progress, false);
  EXPECT_EQ(log.seen, (std::vector<int>{25, 50}));
  EXPECT_EQ(Px(b, 0, 1).b, 9);
  EXPECT_EQ(Px(b, 0, 2).b, 0);

  TBitmap untouched(2, 2, pf1bit);
  TIOParamsVals q;
  ASSERT_TRUE(Read(f, untouched, q, true));
  EXPECT_EQ(untouched.GetWidth(), 2);
  EXPECT_EQ(q.Height, 4);
  EXPECT_EQ(q.BitsPerSample, 8);
  EXPECT_EQ(q.SamplesPerPixel, 3);
}

}  // namespace
}  // namespace corvex
