// The GIF LZW coders: a known stream written by another program, round trips at every depth and
// with interlacing, tables that fill up (with a clear and with the deferred clear), damaged data
// that must stay inside its buffers, and the encoder's output read by Pillow and ImageMagick.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "corvex/lzw/lzw.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

using namespace testing_support;

std::vector<uint8_t> Encode(const std::vector<uint8_t>& px, int w, int h, int bits, bool interlaced) {
  TMemoryStream m;
  GIFLZWCompress(&m, h, w, bits, px.data(), interlaced);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
}

// Decodes Data; Consumed receives how far the decoder moved in the stream.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& data, int w, int h, bool interlaced,
                            int64_t* Consumed = nullptr, uint8_t fill = 0xEE) {
  std::vector<uint8_t> out(size_t(w) * size_t(h), fill);
  TPointerStream s(data.data(), int64_t(data.size()));
  GIFLZWDecompress(&s, h, w, out.data(), interlaced);
  if (Consumed) *Consumed = s.GetPosition();
  return out;
}

// Photo-like indices: smooth gradients, edges and some noise, so that strings of every length occur.
std::vector<uint8_t> Pattern(int w, int h, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> px(size_t(w) * size_t(h));
  const int n = 1 << bits;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int v = (x / 3 + y / 5) % n;
      if ((x / 17 + y / 13) % 3 == 0) v = int(rng() % unsigned(n));
      px[size_t(y) * size_t(w) + size_t(x)] = uint8_t(v);
    }
  return px;
}

// Joins codes into sub-blocks as a writer would: code size byte, blocks of up to 255, terminator.
struct CodePacker {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int n = 0;
  void Put(int code, int width) {
    acc |= uint32_t(code) << n;
    n += width;
    while (n >= 8) {
      bytes.push_back(uint8_t(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  std::vector<uint8_t> Finish(int minCodeSize) {
    if (n > 0) bytes.push_back(uint8_t(acc));
    std::vector<uint8_t> out{uint8_t(minCodeSize)};
    for (size_t i = 0; i < bytes.size(); i += 255) {
      const size_t k = std::min<size_t>(255, bytes.size() - i);
      out.push_back(uint8_t(k));
      out.insert(out.end(), bytes.begin() + long(i), bytes.begin() + long(i + k));
    }
    out.push_back(0);
    return out;
  }
};

// A plain textbook encoder, independent of the library's: a map for the table; when the table is
// full it either emits a clear (as most writers do) or, with Deferred, goes on at 12 bits without
// new entries (as some writers do).
std::vector<uint8_t> ReferenceEncode(const std::vector<uint8_t>& px, int minCodeSize, bool Deferred,
                                     bool LeadingClear = true) {
  const int clear = 1 << minCodeSize, eoi = clear + 1;
  std::map<std::pair<int, int>, int> table;
  int next = clear + 2, width = minCodeSize + 1;
  CodePacker out;
  if (LeadingClear) out.Put(clear, width);
  int cur = px[0];
  for (size_t i = 1; i < px.size(); ++i) {
    const auto it = table.find({cur, px[i]});
    if (it != table.end()) {
      cur = it->second;
      continue;
    }
    out.Put(cur, width);
    if (next < 4096) {
      table[{cur, px[i]}] = next++;
      if (next > (1 << width) && width < 12) ++width;
      if (next == 4096 && !Deferred) {
        out.Put(clear, width);
        table.clear();
        next = clear + 2;
        width = minCodeSize + 1;
      }
    }
    cur = px[i];
  }
  out.Put(cur, width);
  if (next < 4096 && next + 1 > (1 << width) && width < 12) ++width;
  out.Put(eoi, width);
  return out.Finish(minCodeSize);
}

TEST(GifLzw, DecodesAKnownStream) {
  // The 10 x 10 sample of the GIF format's common tutorials (red 1, blue 2, white 0).
  const std::vector<uint8_t> data = {0x02, 0x16, 0x8C, 0x2D, 0x99, 0x87, 0x2A, 0x1C, 0xDC, 0x33, 0xA0, 0x02, 0x75,
                                     0xEC, 0x95, 0xFA, 0xA8, 0xDE, 0x60, 0x8C, 0x04, 0x91, 0x4C, 0x01, 0x00, 0x3B};
  const char* rows[10] = {"1111122222", "1111122222", "1111122222", "1110000222", "1110000222",
                          "2220000111", "2220000111", "2222211111", "2222211111", "2222211111"};
  int64_t used = 0;
  const auto px = Decode(data, 10, 10, false, &used);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(px[size_t(y * 10 + x)], rows[y][x] - '0') << x << "," << y;
  EXPECT_EQ(used, int64_t(data.size()) - 1) << "stops right after the terminator";
}

TEST(GifLzw, RoundTripsEveryDepthAndInterlacing) {
  for (int bits = 1; bits <= 8; ++bits)
    for (bool inter : {false, true})
      for (auto [w, h] : {std::pair{1, 1}, {7, 3}, {64, 9}, {301, 211}}) {
        SCOPED_TRACE(testing::Message() << "bits " << bits << " interlaced " << inter << " " << w << "x" << h);
        const auto px = Pattern(w, h, bits, uint32_t(bits * 100 + w));
        const auto data = Encode(px, w, h, bits, inter);
        ASSERT_GE(data.size(), 3u);
        EXPECT_EQ(data[0], std::max(2, bits)) << "minimum code size";
        EXPECT_EQ(data.back(), 0) << "terminator";
        // Every sub-block is full but the last.
        size_t p = 1;
        while (data[p] != 0) {
          const size_t n = data[p];
          p += n + 1;
          ASSERT_LT(p, data.size());
          if (data[p] != 0) {
            EXPECT_EQ(n, 255u);
          }
        }
        EXPECT_EQ(p, data.size() - 1);
        EXPECT_EQ(Decode(data, w, h, inter), px);
      }
}

TEST(GifLzw, InterlacingStoresRowsInTheFourPasses) {
  // Rows 0..9, each filled with its number; stored order is 0 8 | 4 | 2 6 | 1 3 5 7 9.
  const int w = 5, h = 10;
  std::vector<uint8_t> px;
  for (int y = 0; y < h; ++y) px.insert(px.end(), size_t(w), uint8_t(y));
  const auto stored = Decode(Encode(px, w, h, 4, true), w, h, false);
  const int order[h] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int k = 0; k < h; ++k) EXPECT_EQ(stored[size_t(k * w)], order[k]);
}

TEST(GifLzw, TablesThatFillUpWithAndWithoutClear) {
  // Noise fills the 4096-entry table many times over.
  std::mt19937 rng(7);
  const int w = 700, h = 300;
  std::vector<uint8_t> px(size_t(w) * h);
  for (auto& v : px) v = uint8_t(rng());
  EXPECT_EQ(Decode(Encode(px, w, h, 8, false), w, h, false), px) << "own encoder";
  EXPECT_EQ(Decode(ReferenceEncode(px, 8, false), w, h, false), px) << "clear when full";
  EXPECT_EQ(Decode(ReferenceEncode(px, 8, true), w, h, false), px) << "deferred clear";
  // Few colours: long strings, and the table fills at small code sizes too.
  const auto small = Pattern(w, h, 2, 3);
  EXPECT_EQ(Decode(ReferenceEncode(small, 2, true), w, h, false), small);
  EXPECT_EQ(Decode(ReferenceEncode(small, 2, false, false), w, h, false), small) << "no leading clear";
}

TEST(GifLzw, DamagedDataStaysInsideItsBuffers) {
  const int w = 40, h = 30;
  const auto px = Pattern(w, h, 8, 11);
  const auto good = Encode(px, w, h, 8, false);

  // Truncated inside the data: what was decoded is right, the rest is index 0, and the stream
  // ends where the data ends.
  std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
  int64_t used = 0;
  auto out = Decode(cut, w, h, false, &used);
  EXPECT_EQ(used, int64_t(cut.size()));
  size_t same = 0;
  while (same < px.size() && out[same] == px[same]) ++same;
  EXPECT_GT(same, 100u);
  for (size_t i = same; i < out.size(); ++i) ASSERT_TRUE(out[i] == 0 || out[i] == px[i]) << i;
  EXPECT_EQ(out.back(), 0);

  // A code not yet defined right after the clear, then garbage: stops, zeros, consumes the blocks.
  CodePacker bad;
  bad.Put(256, 9);
  bad.Put(5, 9);
  bad.Put(300, 9);  // undefined: only 258 exists
  bad.Put(7, 9);
  auto data = bad.Finish(8);
  data.push_back(0x3B);
  out = Decode(data, w, h, false, &used);
  EXPECT_EQ(used, int64_t(data.size()) - 1);
  EXPECT_EQ(out[0], 5);
  for (size_t i = 1; i < out.size(); ++i) ASSERT_EQ(out[i], 0);

  // More data than pixels: the image stops at width x height, the blocks are still consumed.
  const auto big = Pattern(80, 80, 8, 1);
  const auto bigData = Encode(big, 80, 80, 8, false);
  out = Decode(bigData, 10, 10, false, &used);
  EXPECT_EQ(used, int64_t(bigData.size()));
  EXPECT_EQ(out, std::vector<uint8_t>(big.begin(), big.begin() + 100));

  // A code size that is not LZW data: nothing is consumed (the caller sees the failure) and the
  // buffer is cleared.
  for (uint8_t size : {0, 12, 143}) {
    const std::vector<uint8_t> d = {size, 2, 0x44, 0x01, 0};
    out = Decode(d, 4, 4, false, &used);
    EXPECT_EQ(used, 0) << int(size);
    EXPECT_EQ(out, std::vector<uint8_t>(16, 0));
  }
  // Only the code size byte, then the end of the stream.
  out = Decode({8}, 4, 4, true, &used);
  EXPECT_EQ(used, 1);
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0));
}

TEST(GifLzw, RandomBytesNeverLeaveTheBuffers) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> d(size_t(1 + rng() % 600));
    for (auto& b : d) b = uint8_t(rng());
    d[0] = uint8_t(1 + rng() % 11);
    const int w = int(1 + rng() % 50), h = int(1 + rng() % 50);
    int64_t used = 0;
    Decode(d, w, h, rng() % 2 == 0, &used);
    ASSERT_LE(used, int64_t(d.size()));
    ASSERT_GT(used, 0);
  }
}

// The encoder's output wrapped in a minimal GIF, with a grey palette of 2^bits entries.
std::vector<uint8_t> WrapInGif(const std::vector<uint8_t>& lzw, int w, int h, int bits, bool interlaced) {
  std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                            uint8_t(0x80 | (bits - 1) << 4 | (bits - 1)), 0, 0};
  const int n = 1 << bits;
  for (int i = 0; i < n; ++i) f.insert(f.end(), 3, uint8_t(i * 255 / (n - 1)));
  const uint8_t d[10] = {',', 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                         uint8_t(interlaced ? 0x40 : 0)};
  f.insert(f.end(), d, d + 10);
  f.insert(f.end(), lzw.begin(), lzw.end());
  f.push_back(';');
  return f;
}

TEST(GifLzw, EncoderOutputOpensInPillow) {
  if (!HavePythonModule("PIL")) GTEST_SKIP() << "Pillow is not installed";
  struct Case {
    int bits;
    bool inter;
    std::vector<uint8_t> px;
    std::string in, out;
  };
  std::vector<Case> cases;
  const int w = 530, h = 170;
  std::string script = "from PIL import Image\n";
  for (int bits : {1, 4, 8})
    for (bool inter : {false, true}) {
      Case c{bits, inter, Pattern(w, h, bits, 5), "", ""};
      if (bits == 8) {
        std::mt19937 rng(9);
        for (size_t i = 0; i < c.px.size(); i += 3) c.px[i] = uint8_t(rng());  // enough to fill the table
      }
      const std::string tag = std::to_string(bits) + (inter ? "i" : "p");
      c.in = TempPath("lzw_pillow_" + tag + ".gif");
      c.out = TempPath("lzw_pillow_" + tag + ".raw");
      WriteFileBytes(c.in, WrapInGif(Encode(c.px, w, h, bits, inter), w, h, bits, inter));
      script += "im=Image.open('" + c.in + "'); im.load(); open('" + c.out + "','wb').write(im.tobytes())\n";
      cases.push_back(std::move(c));
    }
  const std::string py = TempPath("lzw_pillow.py");
  WriteFileBytes(py, std::vector<uint8_t>(script.begin(), script.end()));
  ASSERT_EQ(RunCommand(Python() + " '" + py + "'"), 0);
  for (const Case& c : cases) EXPECT_EQ(ReadFileBytes(c.out), c.px) << "bits " << c.bits << " interlaced " << c.inter;
}

TEST(GifLzw, EncoderOutputOpensInImageMagick) {
  std::string im;
  for (const char* c : {"magick", "convert-im6.q16"})
    if (HaveProgram(c)) {
      im = c;
      break;
    }
  if (im.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  const int w = 400, h = 250, bits = 8;
  std::vector<uint8_t> px = Pattern(w, h, bits, 6);
  std::mt19937 rng(4);
  for (size_t i = 0; i < px.size(); i += 2) px[i] = uint8_t(rng());
  const std::string in = TempPath("lzw_im.gif"), out = TempPath("lzw_im.gray");
  WriteFileBytes(in, WrapInGif(Encode(px, w, h, bits, true), w, h, bits, true));
  ASSERT_EQ(RunCommand(im + " '" + in + "' -depth 8 'gray:" + out + "' 2>/dev/null"), 0);
  EXPECT_EQ(ReadFileBytes(out), px);  // the grey palette is the identity at 8 bits
}

}  // namespace
}  // namespace corvex
