// The TIFF LZW coders: a code sequence worked out by hand, round trips across code-width changes
// and table resets, rows that split strings, and damaged or truncated data.
#include <gtest/gtest.h>

#include <random>

#include "corvex/lzw/lzw.h"

namespace corvex {
namespace {

// Packs codes of the given widths most significant bit first, padding the last byte.
std::vector<uint8_t> Pack(const std::vector<std::pair<int, int>>& codes) {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    acc = (acc << width) | uint64_t(code);
    bits += width;
    while (bits >= 8) out.push_back(uint8_t(acc >> (bits -= 8)));
  }
  if (bits) out.push_back(uint8_t(acc << (8 - bits)));
  return out;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, int rowBytes) {
  TMemoryStream m;
  void* state = nullptr;
  for (size_t i = 0; i < data.size(); i += size_t(rowBytes))
    TIFFLZWCompress(data.data() + i, int(std::min<size_t>(size_t(rowBytes), data.size() - i)), &m, state);
  TIFFLZWCompress(nullptr, 0, &m, state);
  EXPECT_EQ(state, nullptr);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
}

// Decodes rows of rowBytes until the decoder fails; returns what it produced.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& coded, int rowBytes, int maxRows) {
  std::vector<uint8_t> out;
  void* state = nullptr;
  for (int r = 0; r < maxRows; ++r) {
    const uint8_t* row = TIFFLZWDecompress(coded.data(), int64_t(coded.size()), rowBytes, state);
    if (row == nullptr) break;
    out.insert(out.end(), row, row + rowBytes);
  }
  TIFFLZWDecompress(nullptr, 0, 0, state);
  EXPECT_EQ(state, nullptr);
  return out;
}

TEST(TiffLzw, KnownCodeSequence) {
  // "ABABABA": clear, A, B, AB (258), ABA (260), end; all 9 bits wide.
  const std::vector<uint8_t> text = {'A', 'B', 'A', 'B', 'A', 'B', 'A'};
  const auto want = Pack({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {260, 9}, {257, 9}});
  EXPECT_EQ(Encode(text, 7), want);
  EXPECT_EQ(Decode(want, 7, 1), text);
  // Rows that cut strings apart: one byte at a time.
  EXPECT_EQ(Decode(want, 1, 7), text);
}

TEST(TiffLzw, CodesWidenOneCodeEarly) {
  // 254 codes after the clear fill the table up to 510; the decoder then expects 10 bits at the
  // 255th code (entry 511 exists only on the encoder's side). Distinct pairs make each code new.
  std::vector<std::pair<int, int>> codes = {{256, 9}};
  std::vector<uint8_t> data;
  for (int i = 0; i < 254; ++i) {
    codes.push_back({i, 9});
    data.push_back(uint8_t(i));
  }
  codes.push_back({254, 10});
  data.push_back(254);
  codes.push_back({257, 10});
  EXPECT_EQ(Encode(data, int(data.size())), Pack(codes));
  EXPECT_EQ(Decode(Pack(codes), int(data.size()), 1), data);
}

TEST(TiffLzw, RoundTripsAcrossResets) {
  std::mt19937 rng(3);
  for (int kind = 0; kind < 3; ++kind) {
    std::vector<uint8_t> data(300000);
    for (size_t i = 0; i < data.size(); ++i)
      data[i] = kind == 0 ? uint8_t(rng()) : kind == 1 ? uint8_t((i / 37) % 7) : uint8_t(rng() % 4 ? 0 : rng());
    for (int rowBytes : {1, 97, 3000}) {
      const size_t n = data.size() / size_t(rowBytes) * size_t(rowBytes);
      std::vector<uint8_t> part(data.begin(), data.begin() + long(n));
      const auto coded = Encode(part, rowBytes);
      EXPECT_EQ(Decode(coded, rowBytes, int(n / size_t(rowBytes))), part) << kind << " " << rowBytes;
      if (kind == 1) {
        EXPECT_LT(coded.size(), n / 10);
      }
    }
  }
}

TEST(TiffLzw, DamagedDataFailsWithinItsLength) {
  std::mt19937 rng(11);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = uint8_t(rng() % 16);
  const auto coded = Encode(data, 100);
  // Truncated: the rows before the cut come back, then failure.
  for (size_t cut : {size_t(0), size_t(1), coded.size() / 2}) {
    const std::vector<uint8_t> part(coded.begin(), coded.begin() + long(cut));
    const auto out = Decode(part, 100, 50);
    EXPECT_LT(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }
  // Random bytes and flipped bits never crash and never produce more rows than asked.
  for (int t = 0; t < 200; ++t) {
    std::vector<uint8_t> junk = t % 2 ? coded : std::vector<uint8_t>(rng() % 300);
    if (t % 2) junk[rng() % junk.size()] ^= uint8_t(1 << (rng() % 8));
    else for (auto& b : junk) b = uint8_t(rng());
    EXPECT_LE(Decode(junk, 100, 50).size(), size_t(5000));
  }
  // A code beyond the next free one is refused: clear, 'A', then 300.
  EXPECT_TRUE(Decode(Pack({{256, 9}, {65, 9}, {300, 9}, {257, 9}}), 2, 1).empty());
}

}  // namespace
}  // namespace corvex
