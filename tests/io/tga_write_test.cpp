// TGA writing: every depth raw and run-length encoded read back with the extension area, the
// packets, the ratios, and files opened by other programs.
#include <gtest/gtest.h>

#include <cstring>

#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/cxtgafil.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

TRGB& Px(TBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.ScanLine(y))[x]; }

void Picture(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Px(b, x, y) =
          x < w / 3 ? CreateRGB(30, 200, 30) : CreateRGB(uint8_t(x * 5 + y), uint8_t(y * 13), uint8_t(255 - x * 2));
}

// The record is not copyable: the tests fill one in place.
void ParamsFor(TIOParamsVals& p, int bits, int samples, bool rle) {
  p.BitsPerSample = bits;
  p.SamplesPerPixel = samples;
  p.TGA_Compressed = rle;
}

// The extension area of a written file (the footer points at it).
std::vector<uint8_t> Extension(const std::vector<uint8_t>& f) {
  const size_t off = Get32(f, f.size() - 26);
  return std::vector<uint8_t>(f.begin() + ptrdiff_t(off), f.begin() + ptrdiff_t(off) + 495);
}

TEST(TgaWrite, TrueColourRoundTripsWithTheExtensionArea) {
  TBitmap src;
  Picture(src, 45, 11);
  for (bool rle : {false, true}) {
    SCOPED_TRACE(rle);
    TIOParamsVals p;
    ParamsFor(p, 8, 3, rle);
    p.TGA_Description = "a test card";
    p.TGA_Author = "Ada Lovelace";
    p.TGA_ImageName = "Job 7";
    p.TGA_XPos = 12;
    p.TGA_YPos = 34;
    p.TGA_Background = CreateRGB(1, 2, 3);
    p.TGA_AspectRatio = 1.25;
    p.TGA_Gamma = 2.2;
    p.TGA_Date = 45351.0 + (12 * 3600 + 30 * 60 + 15) / 86400.0;  // 29 February 2024 12:30:15
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
    EXPECT_EQ(file[0], 12);  // the description and its zero
    EXPECT_EQ(file[2], rle ? 10 : 2);
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 32);
    EXPECT_EQ(std::memcmp(&file[file.size() - 18], "TRUEVISION-XFILE.", 18), 0);
    const auto e = Extension(file);
    EXPECT_EQ(Get16(e, 0), 495);
    EXPECT_EQ(Get16(e, 478), 22000);
    EXPECT_EQ(Get16(e, 480), 10000);
    EXPECT_EQ(Get16(e, 474), 12500);
    EXPECT_EQ(
        (std::vector<int>{Get16(e, 367), Get16(e, 369), Get16(e, 371), Get16(e, 373), Get16(e, 375), Get16(e, 377)}),
        (std::vector<int>{2, 29, 2024, 12, 30, 15}));
    EXPECT_EQ((std::vector<uint8_t>(e.begin() + 470, e.begin() + 474)), (std::vector<uint8_t>{0, 1, 2, 3}));
    if (!rle) {
      EXPECT_EQ(file.size(), 18u + 12 + 45 * 11 * 3 + 495 + 26);
    }

    TBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
    EXPECT_EQ(RgbBytes(back), RgbBytes(src));
    EXPECT_EQ(q.TGA_Description, "a test card");
    EXPECT_EQ(q.TGA_Author, "Ada Lovelace");
    EXPECT_EQ(q.TGA_ImageName, "Job 7");
    EXPECT_EQ(q.TGA_XPos, 12);
    EXPECT_EQ(q.TGA_YPos, 34);
    EXPECT_TRUE(EqualRGB(q.TGA_Background, CreateRGB(1, 2, 3)));
    EXPECT_DOUBLE_EQ(q.TGA_AspectRatio, 1.25);
    EXPECT_DOUBLE_EQ(q.TGA_Gamma, 2.2);
    EXPECT_NEAR(q.TGA_Date, p.TGA_Date, 1e-9);
    EXPECT_EQ(q.TGA_Compressed, rle);
  }
  // A 1-bit source written at 24 bits is black and white.
  TBitmap bw(10, 2, pf1bit);
  bw.ScanLine(0)[0] = 0xF0;
  TIOParamsVals p;
  ParamsFor(p, 8, 3, true);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteTGAStream, bw, p, file));
  TBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
  EXPECT_EQ(back.GetPixelFormat(), pf24bit);
  EXPECT_EQ(RgbBytes(back), RgbBytes(bw));
}

TEST(TgaWrite, ColourMappedAndGreyDepths) {
  TBitmap src;
  Picture(src, 29, 14);
  for (int depth : {4, 8}) {
    const int colours = 1 << depth;
    std::vector<TRGB> pal(size_t(colours), TRGB{0, 0, 0});
    TCXQuantizer qz(&src, pal.data(), colours, colours, -1, 0);
    TBitmap want;
    want.Assign(&src);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 29; ++x) Px(want, x, y) = pal[size_t(qz.GetRGBIndex(Px(src, x, y)))];
    for (bool rle : {false, true}) {
      SCOPED_TRACE(testing::Message() << depth << " " << rle);
      TIOParamsVals p;
      ParamsFor(p, depth, 1, rle);
      std::vector<uint8_t> file;
      ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
      EXPECT_EQ(file[1], 1);
      // 4 bits are never run-length encoded (the writer clears the flag).
      EXPECT_EQ(file[2], rle && depth == 8 ? 9 : 1);
      EXPECT_EQ(p.TGA_Compressed, rle && depth == 8);
      EXPECT_EQ(Get16(file, 5), colours);
      EXPECT_EQ(file[7], 24);
      EXPECT_EQ(file[16], depth);
      ASSERT_EQ(p.GetColorMapCount(), colours);
      for (int i = 0; i < colours; ++i) EXPECT_TRUE(EqualRGB(p.ColorMap[size_t(i)], pal[size_t(i)]));
      TBitmap back;
      TIOParamsVals q;
      ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
      EXPECT_EQ(RgbBytes(back), RgbBytes(want));
      EXPECT_EQ(q.BitsPerSample, depth);
      EXPECT_EQ(q.SamplesPerPixel, 1);
      EXPECT_FALSE(q.TGA_GrayLevel);
    }
  }
  // Grey: image type 3 without a map, each pixel the grey value of its palette colour; read
  // back, the record says grey again.
  for (bool rle : {false, true}) {
    TIOParamsVals p;
    ParamsFor(p, 8, 1, rle);
    p.TGA_GrayLevel = true;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
    EXPECT_EQ(file[1], 0);
    EXPECT_EQ(file[2], rle ? 11 : 3);
    TBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
    EXPECT_TRUE(q.TGA_GrayLevel);
    EXPECT_EQ(q.BitsPerSample, 8);
    std::vector<TRGB> pal(256, TRGB{0, 0, 0});
    TCXQuantizer qz(&src, pal.data(), 256, 256, -1, 0);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 29; ++x) {
        const int g = _RGBToGray(pal[size_t(qz.GetRGBIndex(Px(src, x, y)))]);
        ASSERT_TRUE(EqualRGB(Px(back, x, y), CreateRGB(uint8_t(g), uint8_t(g), uint8_t(g)))) << x << "," << y;
      }
    // Read back and written again, a grey file stays grey.
    std::vector<uint8_t> again;
    ASSERT_TRUE(EncodeBytes(WriteTGAStream, back, q, again));
    EXPECT_EQ(again[2], rle ? 11 : 3);
  }
}

TEST(TgaWrite, OneBit) {
  TBitmap bw(11, 3, pf1bit);
  for (int y = 0; y < 3; ++y) {
    bw.ScanLine(y)[0] = uint8_t(0x3C ^ y);
    bw.ScanLine(y)[1] = 0xA0;
  }
  TIOParamsVals p;
  ParamsFor(p, 1, 1, true);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteTGAStream, bw, p, file));
  EXPECT_FALSE(p.TGA_Compressed);
  EXPECT_EQ(file[2], 3);
  EXPECT_EQ(file[16], 1);
  EXPECT_EQ(file.size(), 18u + 1 + 3 * 2 + 495 + 26);
  TBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
  ASSERT_EQ(back.GetPixelFormat(), pf1bit);
  EXPECT_EQ(RgbBytes(back), RgbBytes(bw));
  EXPECT_EQ(q.BitsPerSample, 1);

  // A two-colour 24-bit image: the darker colour is black.
  TBitmap two(8, 1, pf24bit);
  for (int x = 0; x < 8; ++x) Px(two, x, 0) = x & 1 ? CreateRGB(0, 0, 200) : CreateRGB(255, 255, 0);
  ASSERT_TRUE(EncodeBytes(WriteTGAStream, two, p, file));
  ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
  EXPECT_EQ(back.ScanLine(0)[0], 0xAA);
}

TEST(TgaWrite, PacketsAndRatios) {
  // 200 equal pixels then 3 different ones: runs of 128 and 72, then a raw packet of 3.
  TBitmap src(203, 1, pf24bit);
  for (int x = 0; x < 203; ++x) Px(src, x, 0) = x < 200 ? CreateRGB(9, 8, 7) : CreateRGB(uint8_t(x), 0, 0);
  TIOParamsVals p;
  ParamsFor(p, 8, 3, true);
  p.TGA_Description.clear();
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
  const std::vector<uint8_t> data(file.begin() + 19, file.begin() + 19 + 18);
  EXPECT_EQ(data, (std::vector<uint8_t>{0xFF, 7, 8, 9, 0x80 + 71, 7, 8, 9, 2, 0, 0, 200, 0, 0, 201, 0, 0, 202}));
  // 300 pixels without equal neighbours: raw packets of 128, 128 and 44.
  TBitmap ramp(300, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 300; ++x) Px(ramp, x, y) = CreateRGB(uint8_t(x), uint8_t(x >> 8), 0);
  ASSERT_TRUE(EncodeBytes(WriteTGAStream, ramp, p, file));
  EXPECT_EQ(file[19], 127);
  EXPECT_EQ(file[19 + 1 + 128 * 3], 127);
  EXPECT_EQ(file[19 + 2 + 256 * 3], 43);
  EXPECT_EQ(file[19 + 3 + 300 * 3], 127);  // the next row starts a new packet
  TBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
  EXPECT_EQ(RgbBytes(back), RgbBytes(ramp));

  // Ratios: 16-bit numerators over 10000, fewer decimals for larger values, 65535 at most;
  // zero and negative values are written as 0/0 and read back as the defaults.
  struct Case {
    double value;
    int num, den;
  };
  for (const Case& c :
       {Case{2.2, 22000, 10000}, Case{6.5535, 65535, 10000}, Case{6.5536, 6553, 1000}, Case{8.0, 8000, 1000},
        Case{100.25, 10025, 100}, Case{1e9, 65535, 1}, Case{0.0, 0, 0}, Case{-2.0, 0, 0}}) {
    SCOPED_TRACE(c.value);
    p.TGA_Gamma = c.value;
    p.TGA_AspectRatio = c.value;
    ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
    const auto e = Extension(file);
    EXPECT_EQ(Get16(e, 478), c.num);
    EXPECT_EQ(Get16(e, 480), c.den);
    EXPECT_EQ(Get16(e, 474), c.num);
    EXPECT_EQ(Get16(e, 476), c.den);
    ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
    EXPECT_DOUBLE_EQ(q.TGA_Gamma, c.num ? double(c.num) / c.den : 2.2);
  }
}

TEST(TgaWrite, FormatsItDoesNotWriteAndAbort) {
  TBitmap b8(4, 4, pf8bit);
  TIOParamsVals p;
  std::vector<uint8_t> file;
  EXPECT_FALSE(EncodeBytes(WriteTGAStream, b8, p, file));
  EXPECT_TRUE(file.empty());
  TBitmap empty;
  EXPECT_FALSE(EncodeBytes(WriteTGAStream, empty, p, file));
  EXPECT_TRUE(file.empty());

  // Progress after each row; an abort stops the rows and leaves out the footer.
  ProgressLog log;
  bool abort = false;
  log.abort = &abort;
  log.stopAtPercent = 50;
  TProgressRec progress;
  progress.Aborting = &abort;
  progress.OnProgress = log.Event();
  TBitmap src;
  Picture(src, 5, 4);
  ParamsFor(p, 8, 3, false);
  TMemoryStream m;
  WriteTGAStream(&m, &src, p, progress);
  EXPECT_EQ(log.seen, (std::vector<int>{25, 50}));
  EXPECT_EQ(m.GetSize(), 18 + 1 + 2 * 5 * 3);
}

// Decodes files with Pillow (one process for all) and with ImageMagick (one command for all),
// returning the RGB bytes of each file; a file a program could not read gives an empty result.
std::vector<std::vector<uint8_t>> PillowDecode(const std::vector<std::string>& paths) {
  std::string list;
  for (const auto& p : paths) list += "'" + p + "',";
  RunCommand(Python() + " -c \"from PIL import Image\nfor p in [" + list +
             "]:\n  try: open(p + '.pil', 'wb').write(Image.open(p).convert('RGB').tobytes())\n"
             "  except Exception: open(p + '.pil', 'wb').close()\" 2>/dev/null");
  std::vector<std::vector<uint8_t>> out;
  for (const auto& p : paths) out.push_back(ReadFileBytes(p + ".pil"));
  return out;
}
std::vector<std::vector<uint8_t>> MagickDecode(const std::vector<std::string>& paths, const std::string& format) {
  std::string inputs;
  for (const auto& p : paths) inputs += " '" + format + ":" + p + "'";
  const std::string base = TempPath("magick");
  RunCommand("/usr/bin/convert" + inputs + " -depth 8 +adjoin 'rgb:" + base + "-%d.rgb' 2>/dev/null");
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < paths.size(); ++i) out.push_back(ReadFileBytes(base + "-" + std::to_string(i) + ".rgb"));
  return out;
}

// Files written here open in Pillow and ImageMagick with the pixels read back here. Pillow has
// no reader for 4-bit data, and ImageMagick 6 reads neither 1-bit nor 4-bit data.
TEST(TgaWrite, OtherProgramsOpenTheFiles) {
  const bool pil = HavePythonModule("PIL");
  const bool magick = RunCommand("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") == 0;
  if (!pil && !magick) GTEST_SKIP() << "neither Pillow nor ImageMagick";
  TBitmap src;
  Picture(src, 31, 19);
  struct Variant {
    int bits, samples;
    bool grey;
  };
  std::vector<std::string> pilPaths, magickPaths;
  std::vector<std::vector<uint8_t>> pilOurs, magickOurs;
  int n = 0;
  for (const Variant& v :
       {Variant{1, 1, false}, Variant{4, 1, false}, Variant{8, 1, false}, Variant{8, 1, true}, Variant{8, 3, false}}) {
    for (bool rle : {false, true}) {
      TIOParamsVals p;
      ParamsFor(p, v.bits, v.samples, rle);
      p.TGA_GrayLevel = v.grey;
      p.TGA_Description = "peer";
      std::vector<uint8_t> file;
      ASSERT_TRUE(EncodeBytes(WriteTGAStream, src, p, file));
      const std::string path = TempPath("peer" + std::to_string(n++) + ".tga");
      WriteFileBytes(path, file);
      TBitmap back;
      TIOParamsVals q;
      ASSERT_TRUE(DecodeBytes(ReadTGAStream, file, back, q));
      if (v.bits != 4) {
        pilPaths.push_back(path);
        pilOurs.push_back(RgbBytes(back));
      }
      if (v.bits >= 8) {
        magickPaths.push_back(path);
        magickOurs.push_back(RgbBytes(back));
      }
    }
  }
  if (pil) {
    const auto theirs = PillowDecode(pilPaths);
    for (size_t i = 0; i < pilPaths.size(); ++i) EXPECT_EQ(theirs[i], pilOurs[i]) << "Pillow " << pilPaths[i];
  }
  if (magick) {
    const auto theirs = MagickDecode(magickPaths, "tga");
    for (size_t i = 0; i < magickPaths.size(); ++i)
      EXPECT_EQ(theirs[i], magickOurs[i]) << "ImageMagick " << magickPaths[i];
  }
}

}  // namespace
}  // namespace corvex
