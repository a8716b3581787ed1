// The digest the corpus manifest uses for decoded pixels.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/common/testing.h"

namespace corvex {
namespace {

using namespace testing_support;

TEST(TestSupport, Sha256AndRgbDigest) {
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>("abc"), 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(nullptr, 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  TBitmap b(1, 1, pf24bit);
  b.ScanLine(0)[2] = 255;  // red
  const std::vector<uint8_t> rgb = RgbBytes(b);
  EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(RgbDigest16(b), Sha256Hex(rgb.data(), 3).substr(0, 16));
}

TEST(TestSupport, ManifestIsReadable) {
  CORVEX_REQUIRE_CORPUS();
  const auto rows = ReadManifest("bmp/");
  ASSERT_FALSE(rows.empty());
  for (const auto& r : rows) EXPECT_EQ(r.file.substr(0, 4), "bmp/");
  EXPECT_GT(ReadManifest().size(), rows.size());
}

}  // namespace
}  // namespace corvex
