// The corvex command-line tool, run as a program.
#include <gtest/gtest.h>

#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

int Tool(const std::string& args, std::string* out = nullptr) {
  if (out) out->clear();
  return RunCommand(std::string(CORVEX_TOOL) + " " + args + " 2>&1", out);
}

std::string Sample(const std::string& name) { return std::string(CORVEX_SOURCE_DIR) + "/samples/" + name; }

TEST(Tool, HelpVersionAndUsageErrors) {
  std::string out;
  EXPECT_EQ(Tool("--help", &out), 0);
  for (const char* cmd : {"info", "convert", "formats", "roundtrip"}) EXPECT_NE(out.find(cmd), std::string::npos) << cmd;
  EXPECT_EQ(Tool("--version", &out), 0);
  EXPECT_EQ(Tool("", &out), 2);
  EXPECT_EQ(Tool("frobnicate", &out), 2);
  EXPECT_EQ(Tool("convert onlyone.png", &out), 2);
  EXPECT_EQ(Tool("convert a.png b.png --set NoSuchField=1", &out), 2);
  EXPECT_NE(out.find("NoSuchField"), std::string::npos);
  EXPECT_EQ(Tool("convert a.png b.png --set JPEG_Quality=high", &out), 2);
  EXPECT_EQ(Tool("convert a.png b.png --index", &out), 2);
  EXPECT_EQ(Tool("info", &out), 2);
  EXPECT_EQ(Tool("formats", &out), 0);
  EXPECT_NE(out.find("Targa Bitmap"), std::string::npos);
}

TEST(Tool, InfoAndConvert) {
  std::string out;
  ASSERT_EQ(Tool("info " + Sample("testcard.png"), &out), 0);
  EXPECT_EQ(out.rfind("Description: Portable Network Graphics (PNG)\n", 0), 0u);
  EXPECT_NE(out.find("\nWidth: 640\n"), std::string::npos);
  EXPECT_NE(out.find("\nPNG_Filter: ioPNG_FILTER_NONE\n"), std::string::npos);
  ASSERT_EQ(Tool("info --json " + Sample("testcard.png"), &out), 0);
  EXPECT_EQ(out.front(), '{');
  EXPECT_NE(out.find("\"Height\":480"), std::string::npos);

  const std::string tif = TempPath("tool.tif");
  ASSERT_EQ(Tool("convert " + Sample("testcard.png") + " " + tif +
                     " --set TIFF_Compression=ioTIFF_LZW --set TIFF_PageName=card --set DpiX=300",
                 &out),
            0)
      << out;
  ASSERT_EQ(Tool("info " + tif, &out), 0);
  EXPECT_NE(out.find("TIFF Bitmap (TIF) LZW"), std::string::npos);
  EXPECT_NE(out.find("\nTIFF_PageName: card\n"), std::string::npos);
  EXPECT_NE(out.find("\nDpiX: 300\n"), std::string::npos);
  std::remove(tif.c_str());

  // Failures: exit 1 with one line naming the file.
  EXPECT_EQ(Tool("info /nonexistent.png", &out), 1);
  EXPECT_NE(out.find("/nonexistent.png"), std::string::npos);
  EXPECT_EQ(Tool("convert /nonexistent.png " + TempPath("x.png"), &out), 1);
  const std::string junk = TempPath("junk.png");
  WriteFileBytes(junk, {0x89, 'P', 'N', 'G', 1, 2, 3});
  EXPECT_EQ(Tool("convert " + junk + " " + TempPath("y.bmp"), &out), 1);
  EXPECT_EQ(Tool("convert " + Sample("testcard.png") + " " + TempPath("z.xyz"), &out), 1);
  std::remove(junk.c_str());
}

TEST(Tool, RoundTripOfTheSample) {
  std::string out;
  const std::string dir = TempPath("roundtrip");
  EXPECT_EQ(Tool("roundtrip " + Sample("testcard.png") + " " + Sample("testcard-1bit.png") + " --out " + dir, &out), 0)
      << out;
  EXPECT_NE(out.find("every lossless variant gave back the same pixels"), std::string::npos);
  RunCommand("rm -rf '" + dir + "'");
}

// Every corpus file that decodes, converted to 24-bit PNG by the tool, has the pixels the I/O
// component decodes from the original; and the codecs' agreement with the references carries
// through to the PNG.
TEST(Tool, ConvertsTheCorpusToPng) {
  CORVEX_REQUIRE_CORPUS();
  CXInstallLZW();
  int converted = 0, matchesReference = 0;
  const std::string png = TempPath("corpus.png");
  for (const ManifestRow& row : ReadManifest()) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap direct;
    TCorvexIO io;
    io.SetAttachedBitmap(&direct);
    io.LoadFromFile(row.Path());
    const bool readable = !io.GetAborting() && !direct.GetEmpty();
    const int rc = Tool("convert '" + row.Path() + "' " + png + " --set SamplesPerPixel=3 --set BitsPerSample=8");
    if (!readable) {
      EXPECT_EQ(rc, 1);  // the codec tests name these files
      continue;
    }
    ASSERT_EQ(rc, 0);
    TBitmap viaPng;
    TCorvexIO back;
    back.SetAttachedBitmap(&viaPng);
    back.LoadFromFile(png);
    ASSERT_FALSE(back.GetAborting());
    EXPECT_EQ(MaxSampleDiff(direct, viaPng), 0);
    ++converted;
    matchesReference += RgbDigest16(viaPng) == row.rgb_sha256_16;
  }
  std::remove(png.c_str());
  EXPECT_GT(converted, 270);
  EXPECT_GT(matchesReference, 230);
  RecordProperty("matches_reference", matchesReference);
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// The conformance report explains every difference from the references.
TEST(Tool, ConformanceReportHasNoUnexplainedDifference) {
  CORVEX_REQUIRE_CORPUS();
  std::string out;
  EXPECT_EQ(Tool("conformance '" + CorpusDir() + "'", &out), 0) << out.substr(out.find("differences:"));
  EXPECT_NE(out.find("0 unexplained difference(s)"), std::string::npos);
}

}  // namespace
}  // namespace corvex
