// GIF writing: the layout of the file, round trips at 1, 4 and 8 bits with and without
// interlacing, transparency and delay, the failures, and the file opened by Pillow and
// ImageMagick.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/io/gif_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// A photo-like 24-bit image: smooth shading, an edge and some texture.
void MakePhoto(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(128 + 100 * std::sin(x * 0.05 + y * 0.02));
      p[1] = uint8_t(x < w / 2 ? y * 255 / h : 255 - y * 255 / h);
      p[2] = uint8_t((x * 3 + ((x ^ y) & 15)) % 256);
    }
  }
}

// An image of exactly these colours, in bands.
void MakeBands(TBitmap& b, int w, int h, const std::vector<TRGB>& colors) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const TRGB c = colors[size_t((x / 3 + y / 2) % int(colors.size()))];
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  }
}

void WriterParams(TIOParamsVals& p, int bits) {
  p.BitsPerSample = bits;
  p.GIF_LZWCompress = GIFLZWCompress;
}

TEST(GifWrite, EightBitLayoutAndRoundTrip) {
  TBitmap src;
  MakePhoto(src, 97, 61);
  TIOParamsVals p;
  WriterParams(p, 8);
  std::vector<uint8_t> f;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, src, p, f));
  ASSERT_GT(f.size(), 13u + 768 + 8 + 10 + 2);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
  EXPECT_EQ(Get16(f, 6), 97);
  EXPECT_EQ(Get16(f, 8), 61);
  EXPECT_EQ(f[10], 0xF7) << "global table of 256 entries";
  EXPECT_EQ(f[12], 0);
  // A graphic control extension, even for an opaque image: disposal 2, no transparency.
  const size_t g = 13 + 768;
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + long(g), f.begin() + long(g) + 6),
            (std::vector<uint8_t>{0x21, 0xF9, 4, 0x08, 0, 0}));
  EXPECT_EQ(f[g + 7], 0);
  EXPECT_EQ(f[g + 8], ',');
  EXPECT_EQ(f[g + 8 + 9], 0) << "no local table, not interlaced";
  EXPECT_EQ(f[g + 8 + 10], 8) << "LZW minimum code size";
  EXPECT_EQ(f.back(), ';');

  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(ReadGifBytes(f, back, rp));
  EXPECT_EQ(back.GetPixelFormat(), pf24bit);
  EXPECT_EQ(rp.BitsPerSample, 8);
  EXPECT_EQ(rp.GetColorMapCount(), 256);
  EXPECT_GT(Psnr(src, back), 27.0);
}

TEST(GifWrite, FewerBitsInterlacingTransparencyAndDelay) {
  // 16 colours at 4 bits: every colour survives closely; interlaced reads the same.
  std::vector<TRGB> colors;
  for (int i = 0; i < 16; ++i)
    colors.push_back(CreateRGB(uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 37 % 256)));
  TBitmap src;
  MakeBands(src, 50, 23, colors);
  TIOParamsVals p;
  WriterParams(p, 4);
  p.GIF_Interlaced = true;
  p.GIF_FlagTranspColor = true;
  p.GIF_TranspColor = colors[5];
  p.GIF_DelayTime = 250;
  p.GIF_XPos = 7;
  p.GIF_YPos = 9;
  p.GIF_Version = "GIF87a";
  std::vector<uint8_t> f;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, src, p, f));
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
  EXPECT_EQ(f[10], 0x80 | 3 << 4 | 3);
  const size_t g = 13 + 16 * 3;
  EXPECT_EQ(f[g + 3], 0x09);
  EXPECT_EQ(Get16(f, g + 4), 250);
  EXPECT_EQ(f[g + 8 + 9], 0x40);

  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(ReadGifBytes(f, back, rp));
  EXPECT_TRUE(rp.GIF_Interlaced);
  EXPECT_TRUE(rp.GIF_FlagTranspColor);
  EXPECT_EQ(rp.GIF_DelayTime, 250);
  EXPECT_EQ(rp.GIF_XPos, 7);
  EXPECT_EQ(rp.GIF_YPos, 9);
  EXPECT_EQ(rp.BitsPerSample, 4);
  EXPECT_LE(MaxSampleDiff(src, back), 8);
  // The transparent index is the palette entry nearest the colour asked for.
  EXPECT_LE(std::abs(int(rp.GIF_TranspColor.r) - colors[5].r), 8);
  EXPECT_LE(std::abs(int(rp.GIF_TranspColor.g) - colors[5].g), 8);

  // The same without interlacing decodes to the same pixels.
  TIOParamsVals p2;
  WriterParams(p2, 4);
  std::vector<uint8_t> f2;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, src, p2, f2));
  TBitmap back2;
  TIOParamsVals rp2;
  ASSERT_TRUE(ReadGifBytes(f2, back2, rp2));
  EXPECT_EQ(RgbBytes(back2), RgbBytes(back));
}

TEST(GifWrite, OneBitImages) {
  // A 1-bit bitmap is written as it is and reads back as the same 1-bit bitmap.
  TBitmap bw(37, 11, pf1bit);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x)
      if ((x * y + x) % 3 == 0) bw.ScanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  TIOParamsVals p;
  WriterParams(p, 1);
  std::vector<uint8_t> f;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, bw, p, f));
  EXPECT_EQ(f[10], 0x80);
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(ReadGifBytes(f, back, rp));
  ASSERT_EQ(back.GetPixelFormat(), pf1bit);
  EXPECT_EQ(RgbBytes(back), RgbBytes(bw));

  // Two colours keep their colours, the darker first.
  const TRGB red = CreateRGB(200, 0, 0), blue = CreateRGB(0, 0, 90);
  TBitmap two;
  MakeBands(two, 20, 10, {red, blue});
  std::vector<uint8_t> f2;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, two, p, f2));
  TBitmap back2;
  TIOParamsVals rp2;
  ASSERT_TRUE(ReadGifBytes(f2, back2, rp2));
  EXPECT_EQ(RgbBytes(back2), RgbBytes(two));
  ASSERT_EQ(rp2.GetColorMapCount(), 2);
  EXPECT_TRUE(EqualRGB(rp2.ColorMap[0], blue));

  // More colours are dithered to black and white.
  TBitmap photo;
  MakePhoto(photo, 40, 30);
  std::vector<uint8_t> f3;
  ASSERT_TRUE(EncodeBytes(WriteGifStream, photo, p, f3));
  TBitmap back3;
  TIOParamsVals rp3;
  ASSERT_TRUE(ReadGifBytes(f3, back3, rp3));
  EXPECT_EQ(back3.GetPixelFormat(), pf1bit);
  EXPECT_EQ(back3.GetWidth(), 40);
}

TEST(GifWrite, FailuresAndProgress) {
  TBitmap src;
  MakePhoto(src, 16, 16);
  {
    SCOPED_TRACE("no encoder: the abort flag, what was written stays");
    const TGIFLZWCompFunc saved = DefGIF_LZWCOMPFUNC;
    DefGIF_LZWCOMPFUNC = nullptr;
    TIOParamsVals p;
    p.GIF_LZWCompress = nullptr;
    std::vector<uint8_t> f;
    EXPECT_FALSE(EncodeBytes(WriteGifStream, src, p, f));
    EXPECT_GT(f.size(), 13u);
    DefGIF_LZWCOMPFUNC = saved;
  }
  {
    SCOPED_TRACE("an empty bitmap");
    TBitmap empty;
    TIOParamsVals p;
  WriterParams(p, 8);
    std::vector<uint8_t> f;
    EXPECT_FALSE(EncodeBytes(WriteGifStream, empty, p, f));
  }
  {
    SCOPED_TRACE("a failed save to a file leaves the file that was there");
    const std::string path = TempPath("gif_write_keep.gif");
    WriteFileBytes(path, {'o', 'l', 'd'});
    TIOParamsVals p;
    p.GIF_LZWCompress = nullptr;
    const TGIFLZWCompFunc saved = DefGIF_LZWCOMPFUNC;
    DefGIF_LZWCOMPFUNC = nullptr;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    WriteGif(path, &src, p, pr);
    DefGIF_LZWCOMPFUNC = saved;
    EXPECT_TRUE(abort);
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    // A successful one replaces it.
    TIOParamsVals ok;
  WriterParams(ok, 8);
    abort = false;
    WriteGif(path, &src, ok, pr);
    EXPECT_FALSE(abort);
    TBitmap back;
    TIOParamsVals rp;
    rp.GIF_LZWDecompress = GIFLZWDecompress;
    int count = 0;
    ReadGif(path, &back, count, rp, pr);
    EXPECT_FALSE(abort);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(back.GetWidth(), 16);
  }
  ProgressLog log;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  pr.OnProgress = log.Event();
  TIOParamsVals p;
  WriterParams(p, 8);
  TMemoryStream m;
  WriteGifStream(&m, &src, p, pr);
  EXPECT_EQ(log.seen, (std::vector<int>{0, 30, 70, 100}));
}

TEST(GifWrite, WrittenFileOpensInPillow) {
  if (!HavePythonModule("PIL")) GTEST_SKIP() << "Pillow is not installed";
  TBitmap src;
  MakePhoto(src, 120, 80);
  const std::string path = TempPath("gif_write_pillow.gif");
  TIOParamsVals p;
  WriterParams(p, 8);
  p.GIF_DelayTime = 40;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  WriteGif(path, &src, p, pr);
  ASSERT_FALSE(abort);
  PillowFrames pf;
  ASSERT_TRUE(PillowRead(path, pf));
  EXPECT_EQ(pf.count, 1);
  EXPECT_EQ(pf.durations, std::vector<int>{400});
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(ReadGifFile(path, back, rp));
  EXPECT_EQ(pf.rgb[0], RgbBytes(back)) << "Pillow sees the colours this reader sees";
}

TEST(GifWrite, WrittenFileOpensInImageMagick) {
  const std::string im = ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  TBitmap src;
  MakePhoto(src, 64, 48);
  const std::string path = TempPath("gif_write_im.gif"), out = TempPath("gif_write_im.rgb");
  TIOParamsVals p;
  WriterParams(p, 8);
  p.GIF_Interlaced = true;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  WriteGif(path, &src, p, pr);
  ASSERT_FALSE(abort);
  ASSERT_EQ(RunCommand(im + " '" + path + "' -depth 8 'rgb:" + out + "' 2>/dev/null"), 0);
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(ReadGifFile(path, back, rp));
  EXPECT_EQ(ReadFileBytes(out), RgbBytes(back));
}

}  // namespace
}  // namespace corvex
