// CCITT fax row coders: known code sequences worked out from the T.4 tables, round trips of every
// scheme (both fill orders), EOL handling, and damaged data that must stay within the row.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "corvex/core/defs.h"
#include "corvex/io/codecs/TIFCCITT.h"

namespace corvex {
namespace {

// The first Bits bits of a buffer as a string of 0 and 1.
std::string BitString(const std::vector<uint8_t>& b, int64_t Bits) {
  std::string s;
  for (int64_t i = 0; i < Bits; ++i) s += char('0' + ((b[size_t(i >> 3)] >> (7 - (i & 7))) & 1));
  return s;
}

// Encoder rows are 0 = white, 1 = black.
std::vector<uint8_t> WhiteRow(int w) { return std::vector<uint8_t>(size_t((w + 7) / 8), 0); }

TEST(Ccitt, WhiteRowsUseMakeUpCodes) {
  // 1728 white: make-up 1728 (010011011), terminating white 0 (00110101); no black run follows.
  std::vector<uint8_t> buf;
  int64_t bits = 0;
  _CCITTHuffmanPutLine(WhiteRow(1728).data(), 1728, buf, bits);
  EXPECT_EQ(bits, 17);
  EXPECT_EQ(BitString(buf, bits), "010011011" "00110101");

  // 6000 white: 2560 twice (000000011111), then make-up 832 (011010010) and white 48 (00001011).
  buf.clear();
  bits = 0;
  _CCITTHuffmanPutLine(WhiteRow(6000).data(), 6000, buf, bits);
  EXPECT_EQ(BitString(buf, bits), "000000011111" "000000011111" "011010010" "00001011");

  // A row that starts black begins with a white run of 0: 8 pixels black then white 8 (10011).
  std::vector<uint8_t> row = {0xFF, 0x00};
  buf.clear();
  bits = 0;
  _CCITTHuffmanPutLine(row.data(), 16, buf, bits);
  EXPECT_EQ(BitString(buf, bits), "00110101" "000101" "10011");

  // Appending continues at the bit position.
  _CCITTHuffmanPutLine(row.data(), 16, buf, bits);
  EXPECT_EQ(BitString(buf, bits), std::string("00110101" "000101" "10011") + "00110101" "000101" "10011");
}

TEST(Ccitt, Group4EndOfBlockIsTwoEOLs) {
  TMemoryStream m;
  std::vector<uint8_t> ref;
  int pending = 0;
  uint8_t byte = 0;
  CCITTHuffmanPutLineG4(nullptr, 0, &m, ref, pending, byte);
  ASSERT_EQ(m.GetSize(), 3);
  EXPECT_EQ(m.Memory()[0], 0x00);
  EXPECT_EQ(m.Memory()[1], 0x10);
  EXPECT_EQ(m.Memory()[2], 0x01);

  // One all-white row of 8 pixels against the white reference is V0 (1); the end then adds
  // 24 bits and pads: 1 000000000001 000000000001 0000000.
  TMemoryStream m2;
  ref.clear();
  const std::vector<uint8_t> white(1, 0);
  CCITTHuffmanPutLineG4(white.data(), 8, &m2, ref, pending, byte);
  EXPECT_EQ(m2.GetSize(), 0);
  EXPECT_EQ(pending, 1);
  CCITTHuffmanPutLineG4(nullptr, 0, &m2, ref, pending, byte);
  ASSERT_EQ(m2.GetSize(), 4);
  EXPECT_EQ(BitString(std::vector<uint8_t>(m2.Memory(), m2.Memory() + 4), 32), "10000000000010000000000010000000");
}

TEST(Ccitt, Group3RowsStartWithEOLAndTag) {
  TMemoryStream m;
  std::vector<uint8_t> ref;
  int pending = 0;
  uint8_t byte = 0;
  const std::vector<uint8_t> white(1, 0);
  // First row: EOL, tag 1, white 8 (10011); second: EOL, tag 0, V0; end: EOL.
  CCITTHuffmanPutLineG32D(white.data(), 8, &m, ref, pending, byte);
  CCITTHuffmanPutLineG32D(white.data(), 8, &m, ref, pending, byte);
  CCITTHuffmanPutLineG32D(nullptr, 0, &m, ref, pending, byte);
  const std::vector<uint8_t> out(m.Memory(), m.Memory() + m.GetSize());
  EXPECT_EQ(BitString(out, 46), "000000000001" "1" "10011" "000000000001" "0" "1" "000000000001" "00");
}

// Random rows with runs of every length, some beyond the make-up range.
std::vector<std::vector<uint8_t>> RandomPage(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> prev(size_t((w + 7) / 8), 0);
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> r(size_t((w + 7) / 8), 0);
    const int style = int(rng() % 4);
    if (style == 0) {
      r = prev;  // repeated rows: vertical mode
      r[rng() % r.size()] ^= uint8_t(1 << (rng() % 8));
    } else {
      int x = 0, colour = int(rng() % 2);
      while (x < w) {
        int run = style == 1 ? int(rng() % 8) + 1 : style == 2 ? int(rng() % 200) + 1 : int(rng() % 5000) + 1;
        for (int i = x; i < std::min(w, x + run); ++i)
          if (colour) r[size_t(i >> 3)] |= uint8_t(0x80 >> (i & 7));
        x += run;
        colour ^= 1;
      }
    }
    // Clear the bits past the width, which the coders ignore.
    if (w % 8) r.back() &= uint8_t(0xFF << (8 - w % 8));
    rows.push_back(r);
    prev = r;
  }
  return rows;
}

// Decoded rows are 1 = white: the inverse of what was encoded, within the width.
void ExpectRowEq(const std::vector<uint8_t>& encoded, const uint8_t* decoded, int w, int y) {
  for (int x = 0; x < w; ++x) {
    const int e = (encoded[size_t(x >> 3)] >> (7 - (x & 7))) & 1;
    const int d = (decoded[x >> 3] >> (7 - (x & 7))) & 1;
    if (e == d) {
      ADD_FAILURE() << "row " << y << " pixel " << x;
      return;
    }
  }
}

void Reverse(std::vector<uint8_t>& b) {
  for (uint8_t& v : b) v = kReverseBitsTable[v];
}

TEST(Ccitt, EverySchemeRoundTripsInBothFillOrders) {
  for (int w : {1, 7, 64, 1728, 2561, 6003}) {
    SCOPED_TRACE(w);
    const auto rows = RandomPage(w, 40, uint32_t(w));
    const size_t rb = size_t((w + 7) / 8);
    for (int scheme = 0; scheme < 4; ++scheme) {
      SCOPED_TRACE(scheme);
      TMemoryStream m;
      std::vector<uint8_t> ref;
      int pending = 0;
      uint8_t byte = 0;
      for (const auto& r : rows) {
        if (scheme == 0) CCITTHuffmanPutLine(r.data(), w, &m);
        if (scheme == 1) CCITTHuffmanPutLineG3(r.data(), w, &m, pending, byte);
        if (scheme == 2) CCITTHuffmanPutLineG32D(r.data(), w, &m, ref, pending, byte);
        if (scheme == 3) CCITTHuffmanPutLineG4(r.data(), w, &m, ref, pending, byte);
      }
      if (scheme == 1) CCITTHuffmanPutLineG3(nullptr, 0, &m, pending, byte);
      if (scheme == 2) CCITTHuffmanPutLineG32D(nullptr, 0, &m, ref, pending, byte);
      if (scheme == 3) CCITTHuffmanPutLineG4(nullptr, 0, &m, ref, pending, byte);
      for (int fill = 1; fill <= 2; ++fill) {
        std::vector<uint8_t> data(m.Memory(), m.Memory() + m.GetSize());
        if (fill == 2) Reverse(data);
        const int64_t n = int64_t(data.size());
        std::vector<uint8_t> row(rb), refLine(rb, 0xFF);
        int64_t pos = 0;
        for (size_t y = 0; y < rows.size(); ++y) {
          if (scheme == 0) pos += CCITTHuffmanGetLine(row.data(), data.data() + pos, n - pos, w, fill);
          if (scheme == 1) pos = _CCITTHuffmanGetLine(row.data(), data.data(), n, w, fill, pos);
          if (scheme >= 2) pos = CCITT3_2D_GetLine(row.data(), data.data(), n, w, fill, pos, refLine.data());
          ExpectRowEq(rows[y], row.data(), w, int(y));
          if (scheme >= 2) {
            EXPECT_EQ(row, refLine);
          }
        }
        EXPECT_LE(pos, scheme == 0 ? n : n * 8);
      }
    }
  }
}

// The decoder reuses the changes of the row it decoded last when that row is the reference it
// is handed; two pages decoded in turn (and a reference changed between calls) must not mix.
TEST(Ccitt, PagesDecodedInTurnKeepTheirOwnReferences) {
  const int w = 1728;
  const size_t rb = size_t((w + 7) / 8);
  std::vector<std::vector<std::vector<uint8_t>>> pages;
  std::vector<std::vector<uint8_t>> streams;
  for (uint32_t seed : {11u, 12u}) {
    pages.push_back(RandomPage(w, 30, seed));
    TMemoryStream m;
    std::vector<uint8_t> ref;
    int pending = 0;
    uint8_t byte = 0;
    for (const auto& r : pages.back()) CCITTHuffmanPutLineG4(r.data(), w, &m, ref, pending, byte);
    CCITTHuffmanPutLineG4(nullptr, 0, &m, ref, pending, byte);
    streams.emplace_back(m.Memory(), m.Memory() + m.GetSize());
  }
  std::vector<uint8_t> row(rb), refs[2] = {std::vector<uint8_t>(rb, 0xFF), std::vector<uint8_t>(rb, 0xFF)};
  int64_t pos[2] = {0, 0};
  for (size_t y = 0; y < 30; ++y)
    for (int p = 0; p < 2; ++p) {
      pos[p] = CCITT3_2D_GetLine(row.data(), streams[size_t(p)].data(), int64_t(streams[size_t(p)].size()), w, 1,
                                 pos[p], refs[p].data());
      ExpectRowEq(pages[size_t(p)][y], row.data(), w, int(y));
    }
  // The same buffer changed in place: a page restarted on a white reference gives its first row.
  std::vector<uint8_t> ref(rb, 0xFF);
  int64_t at = 0;
  const int64_t n = int64_t(streams[0].size());
  for (size_t y = 0; y < 5; ++y) at = CCITT3_2D_GetLine(row.data(), streams[0].data(), n, w, 1, at, ref.data());
  std::fill(ref.begin(), ref.end(), 0xFF);
  CCITT3_2D_GetLine(row.data(), streams[0].data(), n, w, 1, 0, ref.data());
  ExpectRowEq(pages[0][0], row.data(), w, 0);
}

TEST(Ccitt, EOLsAndFillAtRowStartAreSkipped) {
  // Fill zeros, EOL (as a 16-bit code), EOL, then white 8 (10011) and black 0.
  std::vector<uint8_t> buf;
  int64_t bits = 0;
  const std::string code = "0000000000000001" "000000000001" "10011";
  buf.assign((code.size() + 7) / 8, 0);
  for (size_t i = 0; i < code.size(); ++i)
    if (code[i] == '1') buf[i >> 3] |= uint8_t(0x80 >> (i & 7));
  uint8_t row = 0;
  bits = _CCITTHuffmanGetLine(&row, buf.data(), int64_t(buf.size()), 8, 1, 0);
  EXPECT_EQ(row, 0xFF);
  EXPECT_EQ(bits, int64_t(code.size()));

  // An EOL inside a row ends it in the colour in effect and is left for the next row:
  // white 2 (0111), black 2 (11), EOL.
  const std::string early = "0111" "11" "000000000001";
  buf.assign(3, 0);
  for (size_t i = 0; i < early.size(); ++i)
    if (early[i] == '1') buf[i >> 3] |= uint8_t(0x80 >> (i & 7));
  bits = _CCITTHuffmanGetLine(&row, buf.data(), 3, 8, 1, 0);
  EXPECT_EQ(row, 0xCF);  // white 2, black 2, then the colour in effect (white) to the end
  EXPECT_EQ(bits, 6);
}

TEST(Ccitt, DamagedDataStaysWithinTheRow) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    const int w = int(rng() % 3000) + 1;
    const size_t n = rng() % 400;
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = uint8_t(rng());
    const size_t rb = size_t((w + 7) / 8);
    // Guard bytes after the row catch writes past it.
    std::vector<uint8_t> row(rb + 16, 0xA5), ref(rb + 16, 0xA5);
    std::fill(ref.begin(), ref.begin() + long(rb), 0xFF);
    int64_t pos = 0;
    for (int y = 0; y < 20; ++y) {
      const int64_t before = pos;
      pos = (trial % 2) ? CCITT3_2D_GetLine(row.data(), data.data(), int64_t(n), w, 1, pos, ref.data())
                        : _CCITTHuffmanGetLine(row.data(), data.data(), int64_t(n), w, 2, pos);
      ASSERT_GE(pos, before);
      for (size_t i = rb; i < row.size(); ++i) ASSERT_EQ(row[i], 0xA5);
      for (size_t i = rb; i < ref.size(); ++i) ASSERT_EQ(ref[i], 0xA5);
    }
  }
  // A run longer than the row is clipped: white 1728 + 0 on a row of 100 pixels.
  std::vector<uint8_t> buf;
  int64_t bits = 0;
  _CCITTHuffmanPutLine(WhiteRow(1728).data(), 1728, buf, bits);
  std::vector<uint8_t> row(13 + 4, 0x5A);
  _CCITTHuffmanGetLine(row.data(), buf.data(), int64_t(buf.size()), 100, 1, 0);
  EXPECT_EQ(row[12] & 0xF0, 0xF0);
  EXPECT_EQ(row[13], 0x5A);
}

}  // namespace
}  // namespace corvex
