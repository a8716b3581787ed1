// Files written by libtiff's tiffcp from corpus pages, in every compression, fill order, strip
// and tile layout it offers, must decode to the same pixels as the page they came from.
#include <gtest/gtest.h>

#include <cstdio>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// maxDiff < 0: lossy, a PSNR of at least -maxDiff dB.
void CheckVariants(const std::string& source, const std::vector<std::string>& options, int maxDiff) {
  TBitmap want;
  TIOParamsVals wp;
  ASSERT_TRUE(DecodeFile(ReadTIFFStream, source, want, wp));
  for (const std::string& opt : options) {
    SCOPED_TRACE(opt);
    const std::string out = TempPath("peer.tif");
    ASSERT_EQ(RunCommand("tiffcp " + opt + " '" + source + "' '" + out + "' 2>/dev/null"), 0);
    TBitmap got;
    TIOParamsVals gp;
    EXPECT_TRUE(DecodeFile(ReadTIFFStream, out, got, gp));
    EXPECT_EQ(got.GetPixelFormat(), want.GetPixelFormat());
    if (maxDiff >= 0) {
      EXPECT_LE(MaxSampleDiff(got, want), maxDiff);
    } else {
      EXPECT_GE(Psnr(got, want), -maxDiff);
    }
    std::remove(out.c_str());
  }
}

TEST(TiffPeer, BilevelPagesInEveryLibtiffLayout) {
  if (!HaveProgram("tiffcp")) GTEST_SKIP() << "no tiffcp";
  CORVEX_REQUIRE_CORPUS();
  CXInstallLZW();
  CheckVariants(CorpusFile("tiff/peer_im_doc_raw.tif"),
                {"-c g3", "-c g3:2d", "-c g3:1d:fill", "-c g3:2d:fill", "-c g4", "-c g4 -r 7", "-c g3:2d -r 33",
                 "-c none -f lsb2msb", "-c g4 -f lsb2msb", "-c g3:2d:fill -f lsb2msb", "-c packbits", "-c lzw",
                 "-c zip", "-c g4 -t -w 128 -l 64", "-c none -t -w 64 -l 16"},
                0);
}

TEST(TiffPeer, ColourPagesInEveryLibtiffLayout) {
  if (!HaveProgram("tiffcp")) GTEST_SKIP() << "no tiffcp";
  CORVEX_REQUIRE_CORPUS();
  CXInstallLZW();
  const std::string rgb = CorpusFile("tiff/pillow_tiff_strip_raw.tif");
  CheckVariants(rgb,
                {"-c lzw", "-c lzw:2", "-c zip:2", "-c packbits", "-c lzw -t -w 64 -l 32", "-c none -p separate",
                 "-c lzw:2 -p separate -r 5", "-c zip -t -p separate", "-c none -r 1"},
                0);
  // JPEG: lossy, so close to the source only.
  CheckVariants(rgb, {"-c jpeg:90", "-c jpeg:90 -t -w 64 -l 64", "-c jpeg:r:95"}, -28);
  // Grey and palette pages.
  CheckVariants(CorpusFile("tiff/peer_im_flower_gray.tif"), {"-c lzw:2", "-c zip", "-c packbits -t"}, 0);
  CheckVariants(CorpusFile("tiff/peer_im_flower_pal8.tif"), {"-c lzw", "-c zip -r 3"}, 0);
}

}  // namespace
}  // namespace corvex
