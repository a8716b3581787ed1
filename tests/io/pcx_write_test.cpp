// PCX writing: every depth raw and run-length encoded read back, the bytes of the coding, the
// header, abort, and files opened by other programs.
#include <gtest/gtest.h>

#include <cstring>

#include "corvex/color/stdquant.h"
#include "corvex/io/codecs/PCXFilter.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

void ReadWhole(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& r, bool preview) {
  ReadPcxStream(s, b, p, -1, r, preview);
}

TRGB& Px(TBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.ScanLine(y))[x]; }

// A colourful 24-bit test picture with flat areas (runs) and a gradient (no runs).
void Picture(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Px(b, x, y) =
          x < w / 3 ? CreateRGB(200, 30, 30) : CreateRGB(uint8_t(x * 7 + y), uint8_t(y * 11), uint8_t(255 - x * 3));
}

// The record is not copyable: the tests fill one in place.
void ParamsFor(TIOParamsVals& p, int bits, int samples, bool rle) {
  p.BitsPerSample = bits;
  p.SamplesPerPixel = samples;
  p.PCX_Compression = rle ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
  p.DpiX = 150;
  p.DpiY = 75;
}

TEST(PcxWrite, TwentyFourBitsRoundTripExactly) {
  TBitmap src;
  Picture(src, 37, 9);
  for (bool rle : {false, true}) {
    TIOParamsVals p;
    ParamsFor(p, 8, 3, rle);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBytes(WritePcxStream, src, p, file));
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(Get16(file, 66), 38);  // 37 bytes per plane, made even
    EXPECT_EQ(file[68], 0);                   // no palette
    EXPECT_EQ(file[2], rle ? 1 : 0);
    if (!rle) {
      EXPECT_EQ(file.size(), 128u + 38 * 3 * 9);
    }
    TBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, q));
    EXPECT_EQ(RgbBytes(back), RgbBytes(src)) << rle;
    EXPECT_EQ(q.DpiX, 150);
    EXPECT_EQ(q.DpiY, 75);
    EXPECT_EQ(q.BitsPerSample, 8);
    EXPECT_EQ(q.SamplesPerPixel, 3);
    EXPECT_EQ(q.PCX_Compression, rle ? ioPCX_RLE : ioPCX_UNCOMPRESSED);
  }
}

TEST(PcxWrite, PaletteDepthsComeBackQuantisedToTheWrittenPalette) {
  TBitmap src;
  Picture(src, 41, 13);
  for (int depth : {4, 8}) {
    const int colours = 1 << depth;
    // The quantizer the writer uses, built here over the same picture, gives the expected image.
    std::vector<TRGB> pal(size_t(colours), TRGB{0, 0, 0});
    TCXQuantizer q(&src, pal.data(), colours, colours, -1, 0);
    TBitmap want;
    want.Assign(&src);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 41; ++x) Px(want, x, y) = pal[size_t(q.GetRGBIndex(Px(src, x, y)))];
    for (bool rle : {false, true}) {
      SCOPED_TRACE(testing::Message() << depth << " " << rle);
      TIOParamsVals p;
      ParamsFor(p, depth, 1, rle);
      std::vector<uint8_t> file;
      ASSERT_TRUE(EncodeBytes(WritePcxStream, src, p, file));
      EXPECT_EQ(file[3], depth);
      EXPECT_EQ(file[65], 1);
      EXPECT_EQ(Get16(file, 66), depth == 4 ? 22 : 42);
      TBitmap back;
      TIOParamsVals r;
      ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, r));
      EXPECT_EQ(RgbBytes(back), RgbBytes(want));
      ASSERT_EQ(r.GetColorMapCount(), colours);
      for (int i = 0; i < colours; ++i) EXPECT_TRUE(EqualRGB(r.ColorMap[size_t(i)], pal[size_t(i)])) << i;
      if (depth == 8) {
        ASSERT_GT(file.size(), 769u);
        EXPECT_EQ(file[file.size() - 769], 12);
        if (!rle) {
          EXPECT_EQ(file.size(), 128u + 42 * 13 + 769);
        }
      }
    }
  }
}

TEST(PcxWrite, OneBitKeepsTwoColoursOrDithers) {
  // A 1-bit source is written as it is, with a black and white palette.
  TBitmap bw(13, 3, pf1bit);
  for (int y = 0; y < 3; ++y) {
    bw.ScanLine(y)[0] = uint8_t(0x5A + y);
    bw.ScanLine(y)[1] = 0xF8;
  }
  for (bool rle : {false, true}) {
    TIOParamsVals p;
    ParamsFor(p, 1, 1, rle);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBytes(WritePcxStream, bw, p, file));
    EXPECT_EQ(Get16(file, 66), 2);
    EXPECT_EQ(file[16 + 3], 255);  // entry 1 white
    EXPECT_EQ(file[16], 0);        // entry 0 black
    TBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, q));
    ASSERT_EQ(back.GetPixelFormat(), pf1bit);
    EXPECT_EQ(RgbBytes(back), RgbBytes(bw));
  }
  // Two colours of a 24-bit image: bit 0 is the darker, and the palette keeps both colours.
  TBitmap two(9, 2, pf24bit);
  for (int x = 0; x < 9; ++x)
    for (int y = 0; y < 2; ++y) Px(two, x, y) = (x + y) % 3 ? CreateRGB(250, 240, 10) : CreateRGB(20, 0, 90);
  TIOParamsVals p;
  ParamsFor(p, 1, 3, true);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WritePcxStream, two, p, file));
  EXPECT_EQ(file[16], 20);
  EXPECT_EQ(file[18], 90);
  EXPECT_EQ(file[19], 250);
  EXPECT_EQ(file[20], 240);
  TBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, q));
  ASSERT_EQ(back.GetPixelFormat(), pf1bit);
  for (int x = 0; x < 9; ++x) EXPECT_EQ((back.ScanLine(1)[x >> 3] >> (7 - (x & 7))) & 1, (x + 1) % 3 ? 1 : 0) << x;
  EXPECT_TRUE(EqualRGB(q.ColorMap[1], CreateRGB(250, 240, 10)));
  // Many colours: an ordered dither; a flat mid-grey sets 31 of every 64 bits.
  TBitmap grey(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      Px(grey, x, y) = x == 0 && y == 0 ? CreateRGB(128, 128, 129) : CreateRGB(128, 128, 128);
  Px(grey, 1, 0) = CreateRGB(127, 128, 128);
  ASSERT_TRUE(EncodeBytes(WritePcxStream, grey, p, file));
  ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, q));
  int set = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) set += (back.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1;
  EXPECT_NEAR(set, 4 * 31, 2);
}

TEST(PcxWrite, RunLengthBytes) {
  // Five pixels at depth 8: bytes per line 6 and one zero byte after each encoded line. Pixels
  // are grey levels so that the quantizer keeps them apart: 10 10 10 200 20.
  TBitmap src(5, 2, pf24bit);
  const uint8_t v[5] = {10, 10, 10, 200, 20};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) Px(src, x, y) = CreateRGB(v[x], v[x], v[x]);
  TIOParamsVals p;
  ParamsFor(p, 8, 1, true);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WritePcxStream, src, p, file));
  EXPECT_EQ(Get16(file, 66), 6);
  ASSERT_EQ(file.size(), 128u + 2 * 6 + 769);
  const uint8_t* line = &file[128];
  EXPECT_EQ(line[0], 0xC3);  // run of three
  const int i10 = line[1], i200 = line[2] == 0xC1 ? line[3] : line[2], i20 = line[2] == 0xC1 ? line[4] : line[3];
  EXPECT_NE(i10, i200);
  EXPECT_NE(i200, i20);
  // An index of 192 or more is a run of one (two bytes), else a literal; then the pad byte.
  const size_t lineLength = i200 >= 192 ? (i20 >= 192 ? 7 : 6) : (i20 >= 192 ? 6 : 5);
  ASSERT_EQ(lineLength * 2, file.size() - 128 - 769);
  EXPECT_EQ(line[lineLength - 1], 0);
  EXPECT_EQ(line[2 * lineLength - 1], 0);

  // 24 bits: runs are at most 63 bytes, and a single value of 192 or more is a counted run.
  TBitmap flat(100, 1, pf24bit);
  for (int x = 0; x < 100; ++x) Px(flat, x, 0) = CreateRGB(x < 98 ? 230 : x == 98 ? 200 : 7, 1, 2);
  TIOParamsVals p24;
  ParamsFor(p24, 8, 3, true);
  ASSERT_TRUE(EncodeBytes(WritePcxStream, flat, p24, file));
  const std::vector<uint8_t> planes(file.begin() + 128, file.end());
  EXPECT_EQ(planes, (std::vector<uint8_t>{0xC0 | 63, 230, 0xC0 | 35, 230, 0xC1, 200, 7,  // red
                                          0xC0 | 63, 1, 0xC0 | 37, 1,                    // green
                                          0xC0 | 63, 2, 0xC0 | 37, 2}));                 // blue
}

TEST(PcxWrite, HeaderFieldsFilesAndAbort) {
  TBitmap src;
  Picture(src, 20, 30);
  TIOParamsVals p;
  ParamsFor(p, 8, 1, true);
  p.PCX_Version = 3;
  const std::string path = TempPath("write.pcx");
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  WritePcx(path, &src, p, progress);
  ASSERT_FALSE(abort);
  const auto bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[1], 3);
  EXPECT_EQ(Get16(bytes, 8), 19);
  EXPECT_EQ(Get16(bytes, 10), 29);
  EXPECT_EQ(Get16(bytes, 12), 150);
  EXPECT_EQ(bytes[68], 1);
  TBitmap back;
  TIOParamsVals q;
  ReadPcx(path, &back, q, progress);
  ASSERT_FALSE(abort);
  EXPECT_EQ(q.PCX_Version, 3);
  EXPECT_EQ(back.GetWidth(), 20);

  // An abort after 10 rows: the header and those rows stay, without the trailing palette.
  ProgressLog stopper;
  stopper.abort = &abort;
  stopper.stopAtPercent = 33;
  progress.OnProgress = stopper.Event();
  p.PCX_Compression = ioPCX_UNCOMPRESSED;
  TMemoryStream m;
  WritePcxStream(&m, &src, p, progress);
  EXPECT_TRUE(abort);
  EXPECT_EQ(m.GetSize(), 128 + 10 * 20);

  // Nothing to write: an empty bitmap sets the flag and writes nothing.
  abort = false;
  progress.OnProgress = {};
  TBitmap empty;
  TMemoryStream none;
  WritePcxStream(&none, &empty, p, progress);
  EXPECT_TRUE(abort);
  EXPECT_EQ(none.GetSize(), 0);
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

// Files written here open in Pillow and in ImageMagick, with the pixels read back here. Pillow
// has no packed 4-bit reader and decodes every file as run-length encoded, whatever its header
// says, so it is given the encoded 1, 8 and 24-bit files only. ImageMagick 6 reads 1-bit files
// with black and white swapped (also the corpus files whose references Pillow made), so its
// 1-bit results are compared inverted.
TEST(PcxWrite, OtherProgramsOpenTheFiles) {
  const bool pil = HavePythonModule("PIL");
  const bool magick = RunCommand("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") == 0;
  if (!pil && !magick) GTEST_SKIP() << "neither Pillow nor ImageMagick";
  TBitmap src;
  Picture(src, 33, 17);
  std::vector<std::string> paths, pilPaths;
  std::vector<std::vector<uint8_t>> ours, pilOurs;
  std::vector<int> depths;
  for (int depth : {1, 4, 8, 24}) {
    for (bool rle : {false, true}) {
      TIOParamsVals p;
      ParamsFor(p, depth == 24 ? 8 : depth, depth == 24 ? 3 : 1, rle);
      const std::string path = TempPath("peer" + std::to_string(depth) + (rle ? "r" : "u") + ".pcx");
      bool abort = false;
      TProgressRec progress;
      progress.Aborting = &abort;
      WritePcx(path, &src, p, progress);
      ASSERT_FALSE(abort);
      TBitmap back;
      TIOParamsVals q;
      ReadPcx(path, &back, q, progress);
      paths.push_back(path);
      ours.push_back(RgbBytes(back));
      depths.push_back(depth);
      if (depth != 4 && rle) {
        pilPaths.push_back(path);
        pilOurs.push_back(ours.back());
      }
    }
  }
  if (pil) {
    const auto theirs = PillowDecode(pilPaths);
    for (size_t i = 0; i < pilPaths.size(); ++i) EXPECT_EQ(theirs[i], pilOurs[i]) << "Pillow " << pilPaths[i];
  }
  if (magick) {
    auto theirs = MagickDecode(paths, "pcx");
    for (size_t i = 0; i < paths.size(); ++i) {
      if (depths[i] == 1)
        for (auto& v : theirs[i]) v = uint8_t(255 - v);
      EXPECT_EQ(theirs[i], ours[i]) << "ImageMagick " << paths[i];
    }
  }
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

using namespace testing_support;

// The reader takes the data in chunks of 256 KiB: files of several chunks, with literal bytes
// and two-byte runs falling across the chunk edges at every offset, come back exactly; a file
// cut inside the second chunk keeps the rows before the cut and sets the abort flag; and the
// stream is left after the image, not at the chunk the reader stopped in.
TEST(PcxWrite, LargeFilesReadInChunksComeBackExactly) {
  for (int w : {640, 641, 642, 643}) {
    TBitmap src;
    src.Allocate(w, 320, pf24bit);
    uint32_t s = uint32_t(w);
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 3 * w; ++x) src.ScanLine(y)[x] = uint8_t((s = s * 1664525u + 1013904223u) >> 24);
    for (bool rle : {false, true}) {
      TIOParamsVals p;
      p.BitsPerSample = 8;
      p.SamplesPerPixel = 3;
      p.PCX_Compression = rle ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
      std::vector<uint8_t> file;
      ASSERT_TRUE(EncodeBytes(WritePcxStream, src, p, file));
      ASSERT_GT(file.size(), size_t(2) << 18);
      TBitmap back;
      TIOParamsVals q;
      ASSERT_TRUE(DecodeBytes(ReadWhole, file, back, q)) << w << " " << rle;
      EXPECT_EQ(RgbBytes(back), RgbBytes(src)) << w << " " << rle;

      // Trailing bytes after the image: the position ends at the image's size.
      std::vector<uint8_t> padded = file;
      padded.insert(padded.end(), 100, 0xAB);
      TPointerStream ps(padded.data(), int64_t(padded.size()));
      TBitmap b2;
      TIOParamsVals q2;
      bool abort = false;
      TProgressRec pr;
      pr.Aborting = &abort;
      ReadPcxStream(&ps, &b2, q2, int64_t(file.size()), pr, false);
      EXPECT_FALSE(abort);
      EXPECT_EQ(ps.GetPosition(), int64_t(file.size()));

      std::vector<uint8_t> cut(file.begin(), file.begin() + 300000);
      TPointerStream cs(cut.data(), int64_t(cut.size()));
      TBitmap b3;
      TIOParamsVals q3;
      abort = false;
      ReadPcxStream(&cs, &b3, q3, -1, pr, false);
      EXPECT_TRUE(abort);
      ASSERT_EQ(b3.GetHeight(), 320);
      for (int y = 0; y < 100; ++y)
        ASSERT_EQ(0, std::memcmp(b3.ScanLine(y), src.ScanLine(y), size_t(w) * 3)) << w << " " << rle << " row " << y;
    }
  }
}

}  // namespace
}  // namespace corvex
