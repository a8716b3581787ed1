// Bitmap reading over the corpus: the BMP suite and the files other programs wrote, against their
// references, with every difference named; the files the reference refused must not crash.
#include <gtest/gtest.h>

#include <map>

#include "corvex/io/codecs/pngfilt.h"
#include "tests/io/bmp_testing.h"

namespace corvex {
namespace {

using namespace testing_support;
using namespace bmp_testing;

// Decodes a corpus bitmap; fails the test when the abort flag is set.
void Load(const std::string& Path, TBitmap& Bmp, TIOParamsVals& Params) {
  ASSERT_TRUE(DecodeFile(ReadBmp, Path, Bmp, Params)) << Path;
}

// The reference picture of a manifest row, as RGB bytes.
std::vector<uint8_t> ReferenceRgb(const ManifestRow& Row) {
  TBitmap b;
  TIOParamsVals p;
  EXPECT_TRUE(DecodeFile(ReadPNGStream, Row.ReferencePath(), b, p)) << Row.reference;
  return RgbBytes(b);
}

// The RGB bytes of a corpus bitmap (a plain file whose decoding the corpus test checks).
std::vector<uint8_t> RgbOf(const std::string& Name) {
  TBitmap b;
  TIOParamsVals p;
  EXPECT_TRUE(DecodeFile(ReadBmp, CorpusFile("bmp/" + Name), b, p)) << Name;
  return RgbBytes(b);
}

// Every pixel of Got equals the same pixel of Want or is Skipped (pixels the run-length data
// leaves out keep the colour of palette index 0). Returns how many are Skipped.
int CompareWithSkips(const std::vector<uint8_t>& Got, const std::vector<uint8_t>& Want, TRGB Skipped) {
  EXPECT_EQ(Got.size(), Want.size());
  int skipped = 0, wrong = 0;
  for (size_t i = 0; i + 2 < Got.size() && i + 2 < Want.size(); i += 3) {
    if (Got[i] == Want[i] && Got[i + 1] == Want[i + 1] && Got[i + 2] == Want[i + 2]) continue;
    if (Got[i] == Skipped.r && Got[i + 1] == Skipped.g && Got[i + 2] == Skipped.b) {
      ++skipped;
    } else {
      ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  return skipped;
}

// Rules of this reader that differ from the reference decoder, each with the check that
// replaces the digest comparison.
enum class Rule {
  kRleSkips,        // the reference ignores the position of delta escapes; compare with the twin
  kRleBad,          // damaged run-length data: runs are cut at the row end, never wrapped
  kBlackBeyondMap,  // indices past the colour table are black (the reference pads with greys)
  kShift555,        // 16-bit pixels without masks: each 5-bit channel shifted (low bits zero)
};

const std::map<std::string, Rule>& Exceptions() {
  static const std::map<std::string, Rule> m = {
      {"bmp/bmpsuite_q_pal4rletrns.bmp", Rule::kRleSkips},
      {"bmp/pillow_bmp_q_pal4rletrns.bmp", Rule::kRleSkips},
      {"bmp/pillow_bmp_q_pal8rletrns.bmp", Rule::kRleSkips},
      {"bmp/bmpsuite_q_pal4rlecut.bmp", Rule::kRleSkips},
      {"bmp/bmpsuite_b_badrle.bmp", Rule::kRleBad},
      {"bmp/bmpsuite_b_badrlebis.bmp", Rule::kRleBad},
      {"bmp/bmpsuite_b_badrleter.bmp", Rule::kRleBad},
      {"bmp/bmpsuite_b_badrle4bis.bmp", Rule::kRleBad},
      {"bmp/bmpsuite_b_badrle4ter.bmp", Rule::kRleBad},
      {"bmp/bmpsuite_b_pal8badindex.bmp", Rule::kBlackBeyondMap},
      {"bmp/pillow_bmp_b_pal8badindex.bmp", Rule::kBlackBeyondMap},
      {"bmp/pillow_bmp_g_rgb16.bmp", Rule::kShift555},
      {"bmp/bmpsuite_q_rgb16faketrns.bmp", Rule::kShift555},
  };
  return m;
}

TEST(BmpCorpus, GoodFilesDecodeAsTheirReferencesSay) {
  CORVEX_REQUIRE_CORPUS();
  int exact = 0, ruled = 0;
  for (const ManifestRow& row : ReadManifest("bmp/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    Load(row.Path(), bmp, params);
    ASSERT_EQ(bmp.GetWidth(), row.width);
    ASSERT_EQ(bmp.GetHeight(), row.height);
    const auto rule = Exceptions().find(row.file);
    if (rule == Exceptions().end()) {
      EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
      ++exact;
      continue;
    }
    ++ruled;
    const std::vector<uint8_t> got = RgbBytes(bmp);
    const TRGB index0 = params.GetColorMapCount() > 0 ? params.ColorMap[0] : TRGB{0, 0, 0};
    switch (rule->second) {
      case Rule::kRleSkips: {
        // The same picture as the uncompressed files, with the skipped pixels in colour 0.
        const bool four = row.file.find("pal4") != std::string::npos;
        const auto twin = RgbOf(four ? "pillow_bmp_g_pal4.bmp" : "bmpsuite_g_pal8-0.bmp");
        const int skipped = CompareWithSkips(got, twin, index0);
        if (row.file.find("rlecut") != std::string::npos) {
          EXPECT_GT(skipped, 1900);  // the data stops before the top rows
        } else {
          EXPECT_GT(skipped, 400);   // the holes the deltas leave
        }
        break;
      }
      case Rule::kRleBad: {
        // Damaged data still gives the picture where it is intact: whole rows (at least ten in
        // every one of these files) equal the uncompressed twin's.
        const bool four = row.file.find("rle4") != std::string::npos;
        const auto twin = RgbOf(four ? "pillow_bmp_g_pal4.bmp" : "bmpsuite_g_pal8-0.bmp");
        ASSERT_EQ(got.size(), twin.size());
        const size_t rowBytes = size_t(row.width) * 3;
        int intact = 0;
        for (size_t at = 0; at < got.size(); at += rowBytes)
          intact += std::equal(got.begin() + long(at), got.begin() + long(at + rowBytes), twin.begin() + long(at));
        EXPECT_GE(intact, 10);
        break;
      }
      case Rule::kBlackBeyondMap: {
        // The reference with every pixel whose index is past the table made black (the
        // file's own indices: 8-bit rows, bottom-up, at the data offset).
        const auto file = ReadFileBytes(row.Path());
        const uint32_t off = Get32(file, 10), used = Get32(file, 46);
        const size_t stride = (size_t(row.width) + 3) & ~size_t(3);
        std::vector<uint8_t> want = ReferenceRgb(row);
        int beyond = 0;
        for (int y = 0; y < row.height; ++y)
          for (int x = 0; x < row.width; ++x) {
            if (file[off + size_t(row.height - 1 - y) * stride + size_t(x)] < used) continue;
            ++beyond;
            const size_t i = (size_t(y) * size_t(row.width) + size_t(x)) * 3;
            want[i] = want[i + 1] = want[i + 2] = 0;
          }
        EXPECT_GT(beyond, 1000);
        EXPECT_EQ(got, want);
        break;
      }
      case Rule::kShift555: {
        // The reference scales each 5-bit channel to 0..255 (v * 255 / 31, truncated); here it
        // is v << 3. Recover v from the reference and shift it.
        std::vector<uint8_t> want = ReferenceRgb(row);
        for (uint8_t& v : want) v = uint8_t(((v * 31 + 127) / 255) << 3);
        EXPECT_EQ(got, want);
        break;
      }
    }
  }
  EXPECT_GE(exact, 50);
  EXPECT_EQ(ruled, int(Exceptions().size()));
}

// Files the reference decoder refused. Each loads a legal image or ends with the abort flag (the
// bitmap empty or holding the rows read); the valid ones among them (bit fields of other widths,
// OS/2 variants, over-long tables, JPEG and PNG inside) decode to the picture of the suite's plain
// files, within the precision of their channels.
TEST(BmpCorpus, FilesTheReferenceRefusedNeverCrashAndTheValidOnesDecode) {
  CORVEX_REQUIRE_CORPUS();
  std::map<std::string, bool> loaded;
  for (const ManifestRow& row : ReadManifest("bmp/")) {
    if (row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    const LoadOutcome r = CheckLoad([&] { return DecodeFile(ReadBmp, row.Path(), bmp, params); }, bmp, params);
    EXPECT_EQ(r.verdict, "");
    loaded[row.file] = r.loaded;
  }
  // Lies that cannot be read: a negative width, 6e12 pixels, a cut file, an offset far past the
  // end, an OS/2 bitmap array, OS/2 run-length coded 24-bit data.
  for (const char* f : {"bmp/bmpsuite_b_badwidth.bmp", "bmp/bmpsuite_b_reallybig.bmp", "bmp/pillow_bmp_b_reallybig.bmp",
                        "bmp/pillow_bmp_b_shortfile.bmp", "bmp/pillow_l2rgb_read.bmp", "bmp/bmpsuite_x_ba-bm.bmp",
                        "bmp/bmpsuite_q_rgb24rle24.bmp"}) {
    EXPECT_FALSE(loaded[f]) << f;
  }

  const auto rgb24 = RgbOf("bmpsuite_g_rgb24.bmp");
  const auto pal8 = RgbOf("bmpsuite_g_pal8-0.bmp");
  const auto rgba = RgbOf("bmpsuite_q_rgba32-1.bmp");  // the picture of the files with alpha
  struct Case {
    const char* file;
    const std::vector<uint8_t>* want;
    int tolerance;
  };
  const Case cases[] = {
      {"bmpsuite_g_rgb32bf.bmp", &rgb24, 0},         {"pillow_bmp_g_rgb32bf.bmp", &rgb24, 0},
      {"bmpsuite_q_rgb32h52.bmp", &rgb24, 0},        {"pillow_bmp_q_rgba32h56.bmp", &rgba, 0},
      {"bmpsuite_q_rgba32abf.bmp", &rgba, 0},       {"pillow_bmp_q_rgba32.bmp", &rgba, 0},
      {"bmpsuite_q_rgb32-111110.bmp", &rgb24, 1},    {"bmpsuite_q_rgba32-1010102.bmp", &rgba, 1},
      {"bmpsuite_q_rgba32-81284.bmp", &rgba, 1},    {"bmpsuite_q_rgba32-61754.bmp", &rgba, 5},
      {"bmpsuite_q_rgb16-3103.bmp", &rgb24, 37},     {"bmpsuite_q_rgba16-4444.bmp", &rgba, 17},
      {"bmpsuite_q_rgb24png.bmp", &rgb24, 0},        {"pillow_bmp_q_rgb24png.bmp", &rgb24, 0},
      {"pillow_bmp_q_rgb24jpeg.bmp", &rgb24, 80},    {"bmpsuite_q_pal8os2v2-16.bmp", &pal8, 0},
      {"bmpsuite_q_pal8oversizepal.bmp", &pal8, 0},  {"bmpsuite_b_badpalettesize.bmp", &pal8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TBitmap bmp;
    TIOParamsVals params;
    Load(CorpusFile(std::string("bmp/") + c.file), bmp, params);
    const auto got = RgbBytes(bmp);
    ASSERT_EQ(got.size(), c.want->size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int((*c.want)[i])));
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
}  // namespace corvex
