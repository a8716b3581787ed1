// Resource limits of the readers: the pixel limit, decompression bombs (tiny files that claim huge
// images), the memory a reader needs beside the image it decodes, and readers that must not loop
// without consuming data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

#if defined(__SANITIZE_ADDRESS__)
#define CORVEX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVEX_UNDER_ASAN 1
#endif
#endif

namespace corvex {
namespace {

using namespace testing_support;
using Bytes = std::vector<uint8_t>;

void Be32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// Loads the bytes through the I/O component as the given format; true when it ended with the
// abort flag.
bool Refused(int Format, const Bytes& File, TBitmap& Bitmap) {
  TCorvexIO io;
  io.SetAttachedBitmap(&Bitmap);
  TPointerStream s(File.data(), int64_t(File.size()));
  io.LoadFromStreamFormat(&s, Format);
  return io.GetAborting();
}

// Saves the bitmap in the format (with the component's parameters, changed by Setup).
Bytes Encode(int Format, TBitmap& Bitmap, const std::function<void(TIOParamsVals&)>& Setup = nullptr) {
  TCorvexIO io;
  io.SetAttachedBitmap(&Bitmap);
  if (Setup) Setup(io.GetParams());
  TMemoryStream m;
  io.SaveToStream(&m, Format);
  EXPECT_FALSE(io.GetAborting());
  return Bytes(m.Memory(), m.Memory() + m.GetSize());
}

// The claimed size of every bomb: 225 megapixels, inside the default pixel limit, so that only
// the amount of data present can tell that the file cannot hold it.
constexpr int kClaim = 15000;

Bytes BmpBomb(int Compression) {
  Bytes b = {'B', 'M'};
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, Compression == 1 ? 54 + 1024 : 54);
  Put32(b, 40);
  Put32(b, kClaim);
  Put32(b, kClaim);
  Put16(b, 1);
  Put16(b, Compression == 1 ? 8 : 24);
  Put32(b, uint32_t(Compression));
  for (int i = 0; i < 5; ++i) Put32(b, 0);
  if (Compression == 1) b.resize(b.size() + 1024);
  // A few bytes of pixels (for RLE8: a run of 255 pixels, then the end of the bitmap).
  for (uint8_t v : {0xFF, 0x01, 0x00, 0x01}) b.push_back(v);
  return b;
}

Bytes PcxBomb() {
  Bytes b(128, 0);
  b[0] = 10;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  b[8] = uint8_t((kClaim - 1) & 0xFF);
  b[9] = uint8_t((kClaim - 1) >> 8);
  b[10] = b[8];
  b[11] = b[9];
  b[65] = 3;
  b[66] = uint8_t(kClaim & 0xFF);
  b[67] = uint8_t(kClaim >> 8);
  b[68] = 1;
  for (int i = 0; i < 16; ++i) {
    b.push_back(0xFF);  // a run of 63 bytes of 0
    b.push_back(0);
  }
  return b;
}

Bytes TgaBomb() {
  Bytes b = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(b, kClaim);
  Put16(b, kClaim);
  b.push_back(24);
  b.push_back(0x20);
  for (int i = 0; i < 8; ++i)
    for (uint8_t v : {0xFF, 1, 2, 3}) b.push_back(v);  // runs of 128 pixels
  return b;
}

Bytes GifBomb() {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(b, kClaim);
  Put16(b, kClaim);
  for (uint8_t v : {0x80, 0, 0, 0, 0, 0, 255, 255, 255}) b.push_back(v);
  b.push_back(',');
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, kClaim);
  Put16(b, kClaim);
  b.push_back(0);
  b.push_back(2);                                    // code size
  for (uint8_t v : {4, 0x84, 0x8F, 0xA9, 0xCB}) b.push_back(v);  // a few codes
  b.push_back(0);
  b.push_back(';');
  return b;
}

Bytes TiffBomb(int Compression) {
  Bytes b = {'I', 'I', 42, 0};
  Put32(b, 8);
  const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  struct Entry {
    unsigned tag, type;
    uint32_t value;
  };
  const Entry entries[] = {{256, 4, kClaim}, {257, 4, kClaim},       {258, 3, 8},  {259, 3, uint32_t(Compression)},
                           {262, 3, 1},      {273, 4, dataAt},       {277, 3, 1},  {278, 4, kClaim},
                           {279, 4, 16}};
  Put16(b, 9);
  for (const Entry& e : entries) {
    Put16(b, e.tag);
    Put16(b, e.type);
    Put32(b, 1);
    if (e.type == 3) {
      Put16(b, e.value);
      Put16(b, 0);
    } else {
      Put32(b, e.value);
    }
  }
  Put32(b, 0);
  b.resize(b.size() + 16, 0x80);  // LZW clear codes and the like; PackBits repeats
  return b;
}

void PngChunk(Bytes& b, const char* Type, const Bytes& Data) {
  Be32(b, uint32_t(Data.size()));
  Bytes body(Type, Type + 4);
  body.insert(body.end(), Data.begin(), Data.end());
  b.insert(b.end(), body.begin(), body.end());
  Be32(b, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

Bytes PngBomb() {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  Be32(ihdr, kClaim);
  Be32(ihdr, kClaim);
  for (uint8_t v : {8, 2, 0, 0, 0}) ihdr.push_back(v);
  PngChunk(b, "IHDR", ihdr);
  // One compressed megabyte of zero rows: a thousandth of what the header claims.
  Bytes raw(1 << 20, 0);
  uLongf len = compressBound(uLong(raw.size()));
  Bytes z(len);
  compress2(z.data(), &len, raw.data(), uLong(raw.size()), 9);
  z.resize(len);
  PngChunk(b, "IDAT", z);
  PngChunk(b, "IEND", {});
  return b;
}

// A small JPEG whose frame header is changed to claim the huge size.
Bytes JpegBomb() {
  TBitmap small;
  small.Allocate(16, 16, pf24bit);
  Bytes out = Encode(ioJPEG, small);
  for (size_t i = 0; i + 8 < out.size(); ++i)
    if (out[i] == 0xFF && out[i + 1] == 0xC0) {
      out[i + 5] = out[i + 7] = uint8_t(kClaim >> 8);
      out[i + 6] = out[i + 8] = uint8_t(kClaim & 0xFF);
      break;
    }
  return out;
}

// An icon whose one image is a bitmap that claims the huge size.
Bytes IcoBomb() {
  Bytes b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, 1);
  for (uint8_t v : {0, 0, 0, 0}) b.push_back(v);
  Put16(b, 1);
  Put16(b, 32);
  Put32(b, 48);
  Put32(b, 22);
  Put32(b, 40);
  Put32(b, kClaim);
  Put32(b, 2 * kClaim);
  Put16(b, 1);
  Put16(b, 32);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  b.resize(b.size() + 8, 0);
  return b;
}

struct Bomb {
  const char* Name;
  int Format;
  Bytes File;
};

int64_t StatusKb(const char* Field) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(Field, 0) == 0) return std::atoll(line.c_str() + std::strlen(Field));
  return -1;
}

// The growth of the resident set while Work runs, in bytes: the peak is reset first, then read
// after. Untouched zero-filled pages do not count, so this measures what is written, not what is
// reserved.
int64_t PeakGrowth(const std::function<void()>& Work) {
  {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
  }
  const int64_t before = StatusKb("VmRSS:");
  Work();
  const int64_t peak = StatusKb("VmHWM:");
  if (before < 0 || peak < 0) return -1;
  return (peak - before) * 1024;
}

class Limits : public ::testing::Test {
 protected:
  void SetUp() override { CXInstallLZW(); }
};

TEST_F(Limits, TinyFilesClaimingHugeImagesAreRefusedBeforeAllocation) {
  const std::vector<Bomb> bombs = {
      {"BMP raw", ioBMP, BmpBomb(0)},  {"BMP RLE8", ioBMP, BmpBomb(1)},  {"PCX", ioPCX, PcxBomb()},
      {"TGA RLE", ioTGA, TgaBomb()},   {"GIF", ioGIF, GifBomb()},        {"TIFF none", ioTIFF, TiffBomb(1)},
      {"TIFF LZW", ioTIFF, TiffBomb(5)}, {"TIFF PackBits", ioTIFF, TiffBomb(32773)}, {"PNG", ioPNG, PngBomb()},
      {"JPEG", ioJPEG, JpegBomb()},    {"ICO", ioICO, IcoBomb()}};
  for (const Bomb& bomb : bombs) {
    SCOPED_TRACE(bomb.Name);
    ASSERT_LT(bomb.File.size(), 2u << 20);
    TBitmap b;
    b.Allocate(1, 1, pf24bit);
    bool refused = false;
    const int64_t growth = PeakGrowth([&] { refused = Refused(bomb.Format, bomb.File, b); });
    EXPECT_TRUE(refused);
    // The bitmap was never made the claimed size, nor anything near it.
    EXPECT_LT(int64_t(b.GetWidth()) * b.GetHeight(), int64_t(kClaim) * kClaim / 16);
#ifndef CORVEX_UNDER_ASAN
    if (growth >= 0) {
      EXPECT_LT(growth, 64 << 20);
    }
#else
    (void)growth;
#endif
  }
}

TEST_F(Limits, ThePixelLimitIsSettableAndHoldsForEveryReader) {
  // Ordinary small files of every format, refused once the limit is below their size.
  TBitmap src;
  src.Allocate(64, 48, pf24bit);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) src.ScanLine(y)[3 * x + 1] = uint8_t(x * 4);
  const int64_t saved = gMaxImagePixels;
  for (int format : {ioBMP, ioPCX, ioTGA, ioGIF, ioTIFF, ioPNG, ioJPEG}) {
    SCOPED_TRACE(format);
    const Bytes file = Encode(format, src);
    TBitmap b;
    gMaxImagePixels = 64 * 48;
    EXPECT_FALSE(Refused(format, file, b));
    EXPECT_EQ(b.GetWidth(), 64);
    gMaxImagePixels = 64 * 48 - 1;
    TBitmap c;
    EXPECT_TRUE(Refused(format, file, c));
    EXPECT_EQ(c.GetWidth() * c.GetHeight() == 64 * 48, false);
    gMaxImagePixels = saved;
  }
}

TEST_F(Limits, ReadersNeedLittleMoreMemoryThanTheImage) {
#ifdef CORVEX_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's quarantine keeps freed memory resident";
#endif
  // A 2000 x 1500 photo-like image (9 MB as 24-bit): each reader may use the bitmap and about as
  // much again for its buffers, not a copy of the whole file per stage.
  const int w = 2000, h = 1500;
  TBitmap src;
  src.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = src.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = uint8_t(x / 8);
      row[3 * x + 1] = uint8_t((x + y) / 16);
      row[3 * x + 2] = uint8_t(y / 8 + ((x * 7 + y * 13) & 7));
    }
  }
  const int64_t image = int64_t(w) * h * 3;
  for (int format : {ioBMP, ioPCX, ioTGA, ioTIFF, ioPNG, ioJPEG, ioGIF}) {
    SCOPED_TRACE(format);
    TBitmap work;
    work.Assign(&src);
    const Bytes file = Encode(format, work, [&](TIOParamsVals& p) {
      if (format == ioTIFF) p.TIFF_Compression = ioTIFF_LZW;
    });
    TBitmap b;
    bool refused = true;
    const int64_t growth = PeakGrowth([&] { refused = Refused(format, file, b); });
    ASSERT_FALSE(refused);
    ASSERT_EQ(b.GetWidth(), w);
    if (growth >= 0) {
      EXPECT_LT(growth, 2 * image + (8 << 20));
    }
  }
}

TEST_F(Limits, EndlessStructuresEnd) {
  // A TIFF whose first page points back at itself, a GIF of nothing but empty extensions, a PNG
  // whose chunks never end: each ends (the test would hang otherwise) with the abort flag or what
  // could be read.
  Bytes tiff = TiffBomb(1);
  const size_t next = 8 + 2 + 9 * 12;
  tiff[next] = 8;
  tiff[next + 1] = tiff[next + 2] = tiff[next + 3] = 0;
  tiff[8 + 2 + 12 * 0 + 8] = 16;  // a small page
  tiff[8 + 2 + 12 * 0 + 9] = 0;
  tiff[8 + 2 + 12 * 1 + 8] = 16;
  tiff[8 + 2 + 12 * 1 + 9] = 0;
  TBitmap b;
  Refused(ioTIFF, tiff, b);
  TPointerStream s(tiff.data(), int64_t(tiff.size()));
  EXPECT_LE(_EnumTIFFImStream(&s), 1);

  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  for (int i = 0; i < 100000; ++i)
    for (uint8_t v : {0x21, 0xFE, 0x00}) gif.push_back(v);
  Refused(ioGIF, gif, b);

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  Be32(ihdr, 4);
  Be32(ihdr, 4);
  for (uint8_t v : {8, 2, 0, 0, 0}) ihdr.push_back(v);
  PngChunk(png, "IHDR", ihdr);
  for (int i = 0; i < 20000; ++i) PngChunk(png, "tEXt", {'k', 0, 'v'});
  EXPECT_TRUE(Refused(ioPNG, png, b));
}

// Inputs the fuzzers found, kept with the fault they showed (named in the file name): each is
// decoded, encoded in every format and decoded again, as the round-trip harness does.
TEST_F(Limits, FuzzFindingsStayFixed) {
  const std::string dir = std::string(CORVEX_SOURCE_DIR) + "/tests/io/fuzz-regressions";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    const Bytes file = ReadFileBytes(entry.path().string());
    TBitmap b;
    TCorvexIO io;
    io.SetAttachedBitmap(&b);
    TPointerStream s(file.data(), int64_t(file.size()));
    io.LoadFromStream(&s);
    if (io.GetAborting() || b.GetEmpty()) continue;
    for (int type : {ioBMP, ioPNG, ioTIFF, ioPCX, ioTGA, ioGIF, ioJPEG}) {
      TMemoryStream m;
      io.SaveToStream(&m, type);
      ASSERT_FALSE(io.GetAborting()) << type;
      m.SetPosition(0);
      TBitmap back;
      TCorvexIO in;
      in.SetAttachedBitmap(&back);
      in.LoadFromStreamFormat(&m, type);
      EXPECT_FALSE(in.GetAborting()) << type;
      EXPECT_EQ(back.GetWidth(), b.GetWidth()) << type;
    }
  }
  EXPECT_GT(files, 0);
}

TEST_F(Limits, HugeResolutionsAreWrittenWithoutOverflow) {
  TBitmap b;
  b.Allocate(4, 4, pf24bit);
  const Bytes png = Encode(ioPNG, b, [](TIOParamsVals& p) { p.DpiX = p.DpiY = 31248214; });
  TBitmap back;
  TCorvexIO in;
  in.SetAttachedBitmap(&back);
  TPointerStream s(png.data(), int64_t(png.size()));
  in.LoadFromStreamFormat(&s, ioPNG);
  EXPECT_FALSE(in.GetAborting());
  EXPECT_GT(in.GetParams().DpiX, 1000000);
}

}  // namespace
}  // namespace corvex
