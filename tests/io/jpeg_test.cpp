// JPEG reading and writing: the corpus against its references, CMYK, scaling, markers and IPTC,
// resolution, writer round trips and damaged input.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/jpegfilt_pvt.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// A smooth colour image that compresses well and shows colour errors.
void MakePhoto(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(x * 255 / std::max(w - 1, 1));
      p[1] = uint8_t(y * 255 / std::max(h - 1, 1));
      p[2] = uint8_t((x + y) * 127 / std::max(w + h - 2, 1) + 64);
    }
  }
}

// Raw CMYK samples of a file through libjpeg directly, for the inverted-ink rule.
std::vector<uint8_t> RawCmyk(const std::string& path, int& w, int& h) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_CMYK;
  jpeg_start_decompress(&cinfo);
  w = int(cinfo.output_width);
  h = int(cinfo.output_height);
  out.resize(size_t(w) * size_t(h) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + size_t(cinfo.output_scanline) * size_t(w) * 4;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return out;
}

TEST(JpegRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int exact = 0;
  for (const ManifestRow& row : ReadManifest("jpeg/")) {
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    const LoadOutcome r = CheckLoad([&] { return DecodeFile(ReadJPegStream, row.Path(), bmp, params); }, bmp, params);
    EXPECT_EQ(r.verdict, "");
    if (!row.Decodes()) continue;  // the truncated file: the rows before the cut, or the abort flag
    ASSERT_TRUE(r.loaded);
    ASSERT_EQ(bmp.GetWidth(), row.width);
    ASSERT_EQ(bmp.GetHeight(), row.height);
    if (row.mode == "CMYK") {
      // Exception: the reference converts CMYK its own way; this reader rebuilds the colours
      // from the inverted inks, which the test recomputes from libjpeg's raw samples.
      EXPECT_TRUE(params.JPEG_ColorSpace == ioJPEG_CMYK || params.JPEG_ColorSpace == ioJPEG_YCbCrK) << int(params.JPEG_ColorSpace);
      int w, h;
      const std::vector<uint8_t> cmyk = RawCmyk(row.Path(), w, h);
      std::vector<uint8_t> want;
      for (size_t i = 0; i < cmyk.size(); i += 4)
        for (int c = 0; c < 3; ++c) want.push_back(uint8_t(cmyk[i + size_t(c)] * cmyk[i + 3] / 255));
      EXPECT_EQ(RgbBytes(bmp), want);
      continue;
    }
    EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
    ++exact;
  }
  EXPECT_GE(exact, 13);
}

// The writer's own planes and the reader's own upsampling and conversion of 4:2:0 files give
// libjpeg's bytes: sizes around the 16-pixel iMCU and the 64-pixel step, noise that drives every
// channel past 0 and 255, a progressive file, truncated files, and the corpus.
TEST(JpegCodec, OwnColourStagesAreLibjpegs) {
  if (!jpeg_pvt::gYccRows) GTEST_SKIP() << "no AVX-512 VBMI";
  std::vector<std::vector<uint8_t>> files;
  uint32_t seed = 12345;
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{
           {5, 3}, {6, 1}, {7, 17}, {63, 31}, {64, 16}, {65, 33}, {127, 2}, {129, 47}, {200, 15}, {301, 203}}) {
    SCOPED_TRACE(w);
    TBitmap src;
    MakePhoto(src, w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * 3; x += 1 + (y & 1)) {
        seed = seed * 1103515245u + 12345u;
        src.ScanLine(y)[x] = uint8_t(seed >> 24);
      }
    TIOParamsVals wp;
    wp.JPEG_ColorSpace = ioJPEG_YCbCr;
    wp.JPEG_Quality = 95;
    wp.JPEG_Progressive = w == 301;
    files.emplace_back();
    ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, files.back()));
    std::vector<uint8_t> theirs;
    const bool own = jpeg_pvt::gYccPlanes;
    jpeg_pvt::gYccPlanes = false;
    ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, theirs));
    jpeg_pvt::gYccPlanes = own;
    EXPECT_EQ(files.back(), theirs);
  }
  for (size_t cut : {8, 9}) files.emplace_back(files[cut].begin(), files[cut].begin() + ptrdiff_t(files[cut].size() / 2));
  if (!CorpusDir().empty())
    for (const char* name : {"jpeg/pillow_flower.jpg", "jpeg/peer_im_flower_q85.jpg", "jpeg/pillow_truncated_jpeg.jpg"})
      files.push_back(ReadFileBytes(CorpusFile(name)));
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    TBitmap own, theirs;
    TIOParamsVals p1, p2;
    const bool ok = DecodeBytes(ReadJPegStream, files[i], own, p1);
    jpeg_pvt::gYccRows = false;
    EXPECT_EQ(DecodeBytes(ReadJPegStream, files[i], theirs, p2), ok);
    jpeg_pvt::gYccRows = true;
    ASSERT_EQ(own.GetHeight(), theirs.GetHeight());
    EXPECT_EQ(RgbBytes(own), RgbBytes(theirs));
  }
}

TEST(JpegRead, ColourSpacesParametersAndResolution) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeFile(ReadJPegStream, CorpusFile("jpeg/peer_im_flower_gray.jpg"), bmp, params));
  EXPECT_EQ(params.JPEG_ColorSpace, ioJPEG_GRAYLEV);
  EXPECT_EQ(params.BitsPerSample, 8);
  EXPECT_EQ(params.SamplesPerPixel, 3);
  EXPECT_EQ(bmp.GetPixelFormat(), pf24bit);
  ASSERT_TRUE(DecodeFile(ReadJPegStream, CorpusFile("jpeg/pillow_hopper.jpg"), bmp, params));
  EXPECT_EQ(params.JPEG_ColorSpace, ioJPEG_YCbCr);
  EXPECT_GT(params.DpiX, 0);
}

TEST(JpegRead, ScalingPicksTheClosestArea) {
  TBitmap big;
  MakePhoto(big, 1600, 1200);
  TIOParamsVals wp;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, big, wp, file));

  TBitmap bmp;
  TIOParamsVals params;
  params.JPEG_Scale = ioJPEG_AUTOCALC;
  params.Width = 400;
  params.Height = 300;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, bmp, params));
  EXPECT_EQ(bmp.GetWidth(), 400);  // 1/4
  EXPECT_EQ(params.Width, 400);
  params.JPEG_Scale = ioJPEG_EIGHTH;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, bmp, params, true));  // preview: size only
  EXPECT_EQ(params.Width, 200);
  EXPECT_EQ(params.Height, 150);
  EXPECT_EQ(bmp.GetWidth(), 400);
  params.JPEG_Scale = ioJPEG_AUTOCALC;
  params.Width = params.Height = 0;  // no wanted size: full size
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, bmp, params, true));
  EXPECT_EQ(params.Width, 1600);
}

TEST(JpegWrite, RoundTripsOfEveryVariant) {
  TBitmap src;
  MakePhoto(src, 97, 61);  // not a multiple of the block size
  struct Variant {
    const char* name;
    TIOJPEGColorspace space;
    int quality;
    bool progressive, optimal;
    TIOJPEGDctMethod dct;
    double minPsnr;
  } variants[] = {
      {"q95", ioJPEG_YCbCr, 95, false, false, ioJPEG_ISLOW, 38},
      {"q10", ioJPEG_YCbCr, 10, false, false, ioJPEG_ISLOW, 25},
      {"progressive", ioJPEG_YCbCr, 90, true, false, ioJPEG_ISLOW, 36},
      {"optimal", ioJPEG_YCbCr, 90, false, true, ioJPEG_IFAST, 34},
      {"float", ioJPEG_YCbCr, 90, false, false, ioJPEG_FLOAT, 36},
      {"rgb", ioJPEG_RGB, 95, false, false, ioJPEG_ISLOW, 38},
      {"cmyk", ioJPEG_CMYK, 95, false, false, ioJPEG_ISLOW, 30},
      {"ycck", ioJPEG_YCbCrK, 95, false, false, ioJPEG_ISLOW, 30},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    TIOParamsVals wp;
    wp.JPEG_ColorSpace = v.space;
    wp.JPEG_Quality = v.quality;
    wp.JPEG_Progressive = v.progressive;
    wp.JPEG_OptimalHuffman = v.optimal;
    wp.JPEG_DCTMethod = v.dct;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));
    TBitmap back;
    TIOParamsVals rp;
    ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
    EXPECT_EQ(rp.JPEG_ColorSpace, v.space);
    EXPECT_EQ(rp.JPEG_Progressive, v.progressive);
    EXPECT_GE(Psnr(src, back), v.minPsnr);
  }
  // Quality changes the size; optimal Huffman makes the same image smaller.
  TIOParamsVals hi, lo, opt;
  hi.JPEG_Quality = 95;
  lo.JPEG_Quality = 20;
  opt.JPEG_Quality = 95;
  opt.JPEG_OptimalHuffman = true;
  std::vector<uint8_t> a, b, c;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, hi, a));
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, lo, b));
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, opt, c));
  EXPECT_GT(a.size(), b.size());
  EXPECT_LT(c.size(), a.size());

  // Grey: every pixel has equal channels.
  TIOParamsVals gp;
  gp.JPEG_ColorSpace = ioJPEG_GRAYLEV;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, gp, a));
  TBitmap grey;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, a, grey, rp));
  EXPECT_EQ(rp.JPEG_ColorSpace, ioJPEG_GRAYLEV);
  const uint8_t* p = grey.ScanLine(30);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);

  // A 1-bit bitmap is written through 24 bits.
  TBitmap mono(16, 8, pf1bit);
  mono.ScanLine(0)[0] = 0xFF;
  TIOParamsVals mp;
  mp.JPEG_Quality = 100;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, mono, mp, a));
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, a, grey, rp));
  EXPECT_GT(grey.ScanLine(0)[0], 200);
  EXPECT_LT(grey.ScanLine(7)[0], 60);
}

TEST(JpegMarkers, KeptInOrderWithoutTheJfifHeaderAndWrittenBack) {
  TBitmap src;
  MakePhoto(src, 32, 32);
  TIOParamsVals wp;
  wp.DpiX = 300;
  wp.DpiY = 150;
  const char comment[] = "first";
  wp.JPEG_MarkerList.AddMarker(JPEG_COM, comment, 5);
  const uint8_t app0[] = {'X', 'Y', 0};
  wp.JPEG_MarkerList.AddMarker(JPEG_APP0, app0, 3);  // a second APP0 after the writer's JFIF
  wp.JPEG_MarkerList.AddMarker(JPEG_APP0 + 5, "app5", 4);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));

  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
  EXPECT_EQ(rp.DpiX, 300);
  EXPECT_EQ(rp.DpiY, 150);
  ASSERT_EQ(rp.JPEG_MarkerList.GetCount(), 3);
  EXPECT_EQ(rp.JPEG_MarkerList.GetMarkerType(0), JPEG_COM);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rp.JPEG_MarkerList.GetMarkerData(0)), 5), "first");
  EXPECT_EQ(rp.JPEG_MarkerList.GetMarkerType(1), JPEG_APP0);
  EXPECT_EQ(rp.JPEG_MarkerList.GetMarkerLength(1), 3);
  EXPECT_EQ(rp.JPEG_MarkerList.GetMarkerType(2), JPEG_APP0 + 5);

  // Saved again from the loaded record: the same markers in the same order.
  std::vector<uint8_t> again;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, back, rp, again));
  TIOParamsVals rp2;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, again, back, rp2));
  ASSERT_EQ(rp2.JPEG_MarkerList.GetCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rp2.JPEG_MarkerList.GetMarkerType(i), rp.JPEG_MarkerList.GetMarkerType(i));
}

TEST(JpegMarkers, IptcTravelsThroughApp13) {
  TBitmap src;
  MakePhoto(src, 16, 16);
  TIOParamsVals wp;
  wp.IPTC_Info.AddStringItem(2, 120, "A caption");
  wp.IPTC_Info.AddStringItem(2, 25, "keyword");
  // What the I/O component does before writing when the list was changed.
  std::vector<uint8_t> buf;
  wp.IPTC_Info.SaveToStandardBuffer(buf);
  wp.JPEG_MarkerList.AddMarker(JPEG_APP0 + 13, buf.data(), uint16_t(buf.size()));
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));

  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
  const int i = rp.JPEG_MarkerList.IndexOf(237);
  ASSERT_GE(i, 0);
  rp.IPTC_Info.LoadFromStandardBuffer(rp.JPEG_MarkerList.GetMarkerData(i), rp.JPEG_MarkerList.GetMarkerLength(i));
  ASSERT_EQ(rp.IPTC_Info.GetCount(), 2);
  EXPECT_EQ(rp.IPTC_Info.GetStrings(0), "A caption");
  EXPECT_EQ(rp.IPTC_Info.GetDataSet(1), 25);
  EXPECT_FALSE(rp.IPTC_Info.UserChanged);
}

TEST(JpegRead, ResolutionUnits) {
  TBitmap src;
  MakePhoto(src, 8, 8);
  TIOParamsVals wp;
  std::vector<uint8_t> file;
  wp.DpiX = wp.DpiY = 72;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));
  // Patch the JFIF header (APP0 right after SOI): unit at offset 13, densities at 14 and 16.
  ASSERT_EQ(file[6], 'J');
  file[13] = 2;  // dots per centimetre
  file[14] = 0;
  file[15] = 118;
  file[16] = 0;
  file[17] = 118;
  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
  EXPECT_EQ(rp.DpiX, 299);  // trunc(118 x 2.54)
  file[13] = 0;  // aspect ratio only: no resolution, the screen's is taken
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
  EXPECT_EQ(rp.DpiX, 96);
}

TEST(JpegRead, DamagedAndForeignInput) {
  TBitmap src;
  MakePhoto(src, 64, 48);
  TIOParamsVals wp;
  wp.JPEG_Progressive = true;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));
  // Not a JPEG: the bitmap is untouched.
  TBitmap untouched(2, 2, pf1bit);
  TIOParamsVals rp;
  std::vector<uint8_t> foreign = {'G', 'I', 'F', '8', '9', 'a'};
  EXPECT_FALSE(DecodeBytes(ReadJPegStream, foreign, untouched, rp));
  EXPECT_EQ(untouched.GetPixelFormat(), pf1bit);
  // Truncations at every 16th byte and corrupted bytes: a legal image, or the abort flag with the
  // bitmap empty or holding the rows decoded before the damage.
  LoadTally tally;
  auto check = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
    TBitmap b;
    TIOParamsVals p;
    tally.Add(CheckLoad([&] { return DecodeBytes(ReadJPegStream, bytes, b, p); }, b, p), [&] { return what; });
  };
  for (size_t cut = 3; cut < file.size(); cut += 16)
    check(std::vector<uint8_t>(file.begin(), file.begin() + ptrdiff_t(cut)), "cut at " + std::to_string(cut));
  for (size_t at = 2; at < file.size(); at += 37) {
    std::vector<uint8_t> bad = file;
    bad[at] ^= 0x5A;
    check(bad, "byte " + std::to_string(at) + " changed");
  }
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.refused, 0);
  // A header that claims a huge image is refused before anything is allocated.
  std::vector<uint8_t> huge = file;
  for (size_t i = 2; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
      huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;  // 65535 x 65535
      break;
    }
  TBitmap b;
  TIOParamsVals p;
  EXPECT_FALSE(DecodeBytes(ReadJPegStream, huge, b, p));
}

TEST(JpegRead, AbortThroughProgressStopsEarly) {
  TBitmap src;
  MakePhoto(src, 64, 256);
  TIOParamsVals wp;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WriteJPegStream, src, wp, file));
  bool abort = false;
  ProgressLog stop;
  stop.abort = &abort;
  stop.stopAtPercent = 50;
  TProgressRec progress;
  progress.Aborting = &abort;
  progress.OnProgress = stop.Event();
  TPointerStream s(file.data(), int64_t(file.size()));
  TBitmap bmp;
  TIOParamsVals rp;
  ReadJPegStream(&s, &bmp, rp, progress, false);
  EXPECT_TRUE(abort);
  EXPECT_LT(stop.seen.size(), 256u);
  EXPECT_EQ(bmp.GetHeight(), 256);
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// A file with restart markers every row of blocks, written by libjpeg directly, decodes to what
// libjpeg itself gives.
TEST(JpegRead, RestartMarkers) {
  TBitmap src;
  MakePhoto(src, 80, 80);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &outSize);
  cinfo.image_width = 80;
  cinfo.image_height = 80;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  cinfo.restart_in_rows = 1;
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < 80; ++y) {
    JSAMPROW row = src.ScanLine(y);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> file(out, out + outSize);
  std::free(out);
  int markers = 0;
  for (size_t i = 0; i + 1 < file.size(); ++i) markers += file[i] == 0xFF && file[i + 1] >= 0xD0 && file[i + 1] <= 0xD7;
  ASSERT_GT(markers, 2);

  TBitmap back;
  TIOParamsVals rp;
  ASSERT_TRUE(DecodeBytes(ReadJPegStream, file, back, rp));
  EXPECT_GE(Psnr(src, back), 35);
}

}  // namespace
}  // namespace corvex
