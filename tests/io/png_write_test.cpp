// PNG writing: every variant the record chooses reads back, with libpng as an independent reader.
#include <gtest/gtest.h>
#include <png.h>

#include "corvex/io/codecs/pngfilt.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

void MakeImage(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(x * 7 + y);
      p[1] = uint8_t(y * 5);
      p[2] = uint8_t((x ^ y) * 3);
    }
  }
}

// The header fields of a PNG file, read by libpng directly.
struct Header {
  png_uint_32 w = 0, h = 0;
  int depth = 0, type = -1, interlace = -1, paletteSize = 0;
  bool hasBkgd = false;
  png_color_16 bkgd{};
  png_uint_32 ppmX = 0;
};

Header ReadHeader(const std::vector<uint8_t>& file) {
  Header hd;
  struct Src {
    const uint8_t* p;
    size_t left;
  } src{file.data(), file.size()};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &src, [](png_structp p, png_bytep d, png_size_t n) {
      auto* s = static_cast<Src*>(png_get_io_ptr(p));
      if (n > s->left) png_error(p, "eof");
      std::memcpy(d, s->p, n);
      s->p += n;
      s->left -= n;
    });
    png_read_info(png, info);
    png_get_IHDR(png, info, &hd.w, &hd.h, &hd.depth, &hd.type, &hd.interlace, nullptr, nullptr);
    png_colorp pal;
    if (png_get_PLTE(png, info, &pal, &hd.paletteSize) == 0) hd.paletteSize = 0;
    png_color_16p b;
    if (png_get_bKGD(png, info, &b)) {
      hd.hasBkgd = true;
      hd.bkgd = *b;
    }
    png_uint_32 y;
    int unit;
    png_get_pHYs(png, info, &hd.ppmX, &y, &unit);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return hd;
}

TEST(PngWrite, TruecolourFiltersLevelsAndInterlace) {
  TBitmap src;
  MakeImage(src, 37, 23);
  std::vector<size_t> sizes;
  for (TIOPNGFilter filter : {ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH})
    for (int level : {0, 1, 5, 9})
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "filter " << int(filter) << " level " << level << " interlaced " << interlaced);
        TIOParamsVals wp;
        wp.PNG_Filter = filter;
        wp.PNG_Compression = level;
        wp.PNG_Interlaced = interlaced;
        wp.DpiX = wp.DpiY = 300;
        wp.PNG_Background = CreateRGB(10, 20, 30);
        std::vector<uint8_t> file;
        ASSERT_TRUE(EncodeBytes(WritePNGStream, src, wp, file));
        const Header hd = ReadHeader(file);
        EXPECT_EQ(hd.type, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(hd.depth, 8);
        EXPECT_EQ(hd.interlace, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE);
        EXPECT_EQ(hd.ppmX, 11811u);  // Round(300 x 100 / 2.54)
        ASSERT_TRUE(hd.hasBkgd);
        EXPECT_EQ(hd.bkgd.red, 10);
        EXPECT_EQ(hd.bkgd.blue, 30);
        TBitmap back;
        TIOParamsVals rp;
        ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, back, rp));
        EXPECT_EQ(MaxSampleDiff(src, back), 0);
        EXPECT_EQ(rp.DpiX, 300);
        EXPECT_EQ(rp.PNG_Interlaced, interlaced);
        if (filter == ioPNG_FILTER_NONE && !interlaced) sizes.push_back(file.size());
      }
  ASSERT_EQ(sizes.size(), 4u);
  EXPECT_GT(sizes[0], sizes[3]);  // level 0 stores, level 9 compresses
}

TEST(PngWrite, PaletteImagesCarry256Entries) {
  TBitmap src(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = src.ScanLine(y) + 3 * x;
      p[0] = x < 8 ? 255 : 0;
      p[1] = y < 8 ? 255 : 0;
      p[2] = 40;
    }
  TIOParamsVals wp;
  wp.SamplesPerPixel = 1;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WritePNGStream, src, wp, file));
  const Header hd = ReadHeader(file);
  EXPECT_EQ(hd.type, PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(hd.paletteSize, 256);  // even for an image with four colours
  ASSERT_TRUE(hd.hasBkgd);
  EXPECT_LT(hd.bkgd.index, 256);
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, back, rp));
  EXPECT_EQ(rp.GetColorMapCount(), 256);
  EXPECT_LE(MaxSampleDiff(src, back), 8);  // four colours survive the quantizer closely
}

TEST(PngWrite, OneBitFromBilevelTwoColourAndPhoto) {
  TBitmap mono(19, 5, pf1bit);
  for (int y = 0; y < 5; ++y) mono.ScanLine(y)[0] = uint8_t(0xA5 ^ y);
  TIOParamsVals wp;
  wp.BitsPerSample = 1;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WritePNGStream, mono, wp, file));
  Header hd = ReadHeader(file);
  EXPECT_EQ(hd.type, PNG_COLOR_TYPE_GRAY);
  EXPECT_EQ(hd.depth, 1);
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, back, rp));
  EXPECT_EQ(back.GetPixelFormat(), pf1bit);
  EXPECT_EQ(MaxSampleDiff(mono, back), 0);

  // A 1-bit bitmap written with 8 bits per sample still gives a 1-bit file (its rows are bits).
  TIOParamsVals rgb;
  ASSERT_TRUE(EncodeBytes(WritePNGStream, mono, rgb, file));
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, back, rp));
  EXPECT_EQ(MaxSampleDiff(mono, back), 0);

  // A colour photo asked to be 1-bit is dithered.
  TBitmap photo;
  MakeImage(photo, 32, 32);
  ASSERT_TRUE(EncodeBytes(WritePNGStream, photo, wp, file));
  hd = ReadHeader(file);
  EXPECT_EQ(hd.depth, 1);
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, back, rp));
  EXPECT_EQ(back.GetPixelFormat(), pf1bit);
}

struct FailingStream : TMemoryStream {
  int64_t Write(const void*, int64_t) override { return 0; }
};

TEST(PngWrite, FailuresRaiseTheDocumentedError) {
  TBitmap src;
  MakeImage(src, 8, 8);
  TIOParamsVals wp;
  FailingStream s;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  try {
    WritePNGStream(&s, &src, wp, pr);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Error on creating PNG");
  }
  TBitmap empty;
  EXPECT_THROW(WritePNGStream(&s, &empty, wp, pr), EInvalidGraphic);
}

}  // namespace
}  // namespace corvex
