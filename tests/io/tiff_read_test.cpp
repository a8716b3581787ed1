// TIFF reading: the corpus files against their references, page counts, parameters, and files
// that must fail cleanly.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

class TiffRead : public ::testing::Test {
 protected:
  void SetUp() override { CXInstallLZW(); }
};

// Corpus files whose reference this reader does not reproduce exactly, and why.
const std::map<std::string, std::string>& Exceptions() {
  static const std::map<std::string, std::string> m = {
      // Pages with an orientation other than top-left: the reference is turned upright, this
      // reader keeps the stored row order.
      {"tiff/pillow_g4_orientation_4.tif", "orientation"},
      {"tiff/pillow_g4_orientation_5.tif", "orientation"},
      {"tiff/pillow_g4_orientation_7.tif", "orientation"},
      {"tiff/pillow_g4_orientation_8.tif", "orientation"},
      // Alpha: the reference composes over black or keeps the colour; this reader drops alpha.
      {"tiff/pillow_pil136.tiff", "alpha"},
      {"tiff/pillow_rdf.tif", "alpha"},
      {"tiff/pillow_tiff_tiled_planar_16bit_RGBa.tiff", "alpha"},
      // Floating-point samples are not read.
      {"tiff/pillow_10ct_32bit_128.tiff", "unsupported"},
      // Old-style JPEG (compression 6) is recognised but not decoded.
      {"tiff/pillow_old-style-jpeg-compression.tif", "unsupported"},
  };
  return m;
}

TEST_F(TiffRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int exact = 0, close = 0;
  std::vector<std::string> report;
  for (const ManifestRow& row : ReadManifest("tiff/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    const bool ok = DecodeFile(ReadTIFFStream, row.Path(), bmp, params);
    const auto ex = Exceptions().find(row.file);
    const std::string digest = ok ? RgbDigest16(bmp) : std::string("abort");
    if (ex != Exceptions().end()) {
      report.push_back(row.file + " " + ex->second + " " + digest);
      continue;
    }
    if (!ok || bmp.GetWidth() != row.width || bmp.GetHeight() != row.height) {
      ADD_FAILURE() << "did not decode: " << digest << " " << bmp.GetWidth() << "x" << bmp.GetHeight();
      continue;
    }
    if (digest == row.rgb_sha256_16) {
      ++exact;
      continue;
    }
    TBitmap ref;
    TIOParamsVals rp;
    ASSERT_TRUE(DecodeFile(ReadPNGStream, row.ReferencePath(), ref, rp));
    const int diff = MaxSampleDiff(bmp, ref);
    ADD_FAILURE() << "digest " << digest << " differs, max diff " << diff;
  }
  for (auto& s : report) std::printf("  exception: %s\n", s.c_str());
  std::printf("  exact %d close %d\n", exact, close);
}

}  // namespace
}  // namespace corvex
