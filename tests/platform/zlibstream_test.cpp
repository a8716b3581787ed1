#include "corvex/platform/streams/zlibstream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace corvex {
namespace {

std::vector<uint8_t> Sample(size_t n) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(5);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i / 97) ^ (rng() % 4));
  return v;
}

struct Counter : TObject {
  int calls = 0;
  void On(TObject*) { ++calls; }
};

TEST(ZlibStreams, RoundTripAndTheSourceEndsAfterTheData) {
  const std::vector<uint8_t> data = Sample(300000);
  TMemoryStream packed;
  packed.WriteBuffer("head", 4);
  Counter progress;
  {
    TCompressionStream z(TCompressionLevel::clMax, &packed);
    z.OnProgress = TNotifyEvent(&progress, &Counter::On);
    z.WriteBuffer(data.data(), 1000);
    z.WriteBuffer(data.data() + 1000, int64_t(data.size()) - 1000);
    EXPECT_EQ(z.Seek(0, soCurrent), int64_t(data.size()));
    EXPECT_THROW(z.Seek(5, soBeginning), ECompressionError);
    char c;
    EXPECT_THROW(z.Read(&c, 1), ECompressionError);
    z.Finish();
    EXPECT_GT(z.GetCompressionRate(), 50.0);
    EXPECT_THROW(z.WriteBuffer("x", 1), ECompressionError);
  }
  EXPECT_GT(progress.calls, 0);
  const int64_t end = packed.GetSize();
  packed.WriteBuffer("tail", 4);

  packed.SetPosition(4);
  TDecompressionStream u(&packed);
  std::vector<uint8_t> back(data.size() + 10);
  EXPECT_EQ(u.Read(back.data(), 5), 5);
  EXPECT_EQ(u.Seek(100, soBeginning), 100);  // forward by reading
  EXPECT_EQ(u.Seek(0, soBeginning), 0);      // back to the start
  EXPECT_EQ(u.Read(back.data(), int64_t(back.size())), int64_t(data.size()));
  back.resize(data.size());
  EXPECT_EQ(back, data);
  EXPECT_EQ(packed.GetPosition(), end);  // the tail is still there to read
  EXPECT_THROW(u.Seek(-1, soEnd), EDecompressionError);
  EXPECT_THROW(u.Seek(10, soBeginning), EDecompressionError);  // backwards
  EXPECT_THROW(u.Write("x", 1), EDecompressionError);
}

TEST(ZlibStreams, CorruptAndTruncatedData) {
  const std::vector<uint8_t> data = Sample(5000);
  std::vector<uint8_t> packed;
  CompressBuf(data.data(), int(data.size()), packed);
  std::vector<uint8_t> back;
  DecompressBuf(packed.data(), int(packed.size()), 0, back);
  EXPECT_EQ(back, data);
  DecompressBuf(packed.data(), int(packed.size()), 10, back);  // a small estimate grows
  EXPECT_EQ(back, data);

  std::vector<uint8_t> bad = packed;
  bad[packed.size() / 2] ^= 0xFF;
  bad[2] ^= 0x10;
  EXPECT_THROW(DecompressBuf(bad.data(), int(bad.size()), 0, back), EDecompressionError);
  EXPECT_THROW(DecompressBuf(packed.data(), int(packed.size()) / 2, 0, back), EDecompressionError);

  TPointerStream trunc(packed.data(), int64_t(packed.size()) / 2);
  TDecompressionStream u(&trunc);
  std::vector<uint8_t> part(data.size());
  const int64_t got = u.Read(part.data(), int64_t(part.size()));  // what there is
  EXPECT_LT(got, int64_t(data.size()));

  const uint8_t junk[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  TPointerStream j(junk, sizeof junk);
  TDecompressionStream uj(&j);
  EXPECT_THROW(uj.Read(part.data(), 10), EDecompressionError);
}

}  // namespace
}  // namespace corvex
