// TIFF writing: every variant round-trips through the reader and opens in libtiff and Pillow;
// pages appended, inserted and deleted; parameters kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

void Photo(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  std::mt19937 rng(5);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(x * 255 / w);
      p[1] = uint8_t((y * 7 + x) & 255);
      p[2] = uint8_t((x / 9 + y / 5) % 2 ? rng() : 200);
    }
  }
}

void Document(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf1bit);
  std::memset(b.Bits(), 0xFF, b.GetImageSize());
  std::mt19937 rng(9);
  for (int k = 0; k < 60; ++k) {
    const int x0 = int(rng() % unsigned(w)), y0 = int(rng() % unsigned(h));
    const int x1 = std::min(w, x0 + int(rng() % 120)), y1 = std::min(h, y0 + int(rng() % 30));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if ((x + y) % 3) b.ScanLine(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  }
}

struct Variant {
  const char* name;
  bool bilevel;
  TIOTIFFCompression compression;
  bool cmyk;
};

const Variant kVariants[] = {
    {"rgb_none", false, ioTIFF_UNCOMPRESSED, false}, {"rgb_packbits", false, ioTIFF_PACKBITS, false},
    {"rgb_lzw", false, ioTIFF_LZW, false},           {"cmyk_none", false, ioTIFF_UNCOMPRESSED, true},
    {"cmyk_lzw", false, ioTIFF_LZW, true},           {"bw_none", true, ioTIFF_UNCOMPRESSED, false},
    {"bw_packbits", true, ioTIFF_PACKBITS, false},   {"bw_lzw", true, ioTIFF_LZW, false},
    {"bw_mh", true, ioTIFF_CCITT1D, false},          {"bw_g3", true, ioTIFF_G3FAX1D, false},
    {"bw_g3_2d", true, ioTIFF_G3FAX2D, false},       {"bw_g4", true, ioTIFF_G4FAX, false},
};

void ParamsFor(TIOParamsVals& p, const Variant& v) {
  p.BitsPerSample = v.bilevel ? 1 : 8;
  p.SamplesPerPixel = v.bilevel ? 1 : 3;
  p.TIFF_Compression = v.compression;
  p.TIFF_PhotometInterpret = v.cmyk ? ioTIFF_CMYK : ioTIFF_RGB;
  p.DpiX = 300;
  p.DpiY = 200;
}

class TiffWrite : public ::testing::Test {
 protected:
  void SetUp() override { CXInstallLZW(); }
};

bool Read(const std::vector<uint8_t>& bytes, TBitmap& bmp, TIOParamsVals& params, int index = 0) {
  params.TIFF_ImageIndex = index;
  return DecodeBytes(ReadTIFFStream, bytes, bmp, params);
}

TEST_F(TiffWrite, EveryVariantRoundTrips) {
  TBitmap photo, doc;
  Photo(photo, 157, 61);
  Document(doc, 203, 77);
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    TBitmap src;
    src.Assign(v.bilevel ? &doc : &photo);
    TIOParamsVals p;
    ParamsFor(p, v);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeBytes(WriteTIFFStream, src, p, bytes));
    TBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(Read(bytes, back, q));
    EXPECT_EQ(back.GetPixelFormat(), v.bilevel ? pf1bit : pf24bit);
    EXPECT_EQ(q.TIFF_Compression, v.compression);
    EXPECT_EQ(q.DpiX, 300);
    EXPECT_EQ(q.DpiY, 200);
    // CMYK keeps colours within the rounding of its formulas; the rest are lossless.
    EXPECT_LE(MaxSampleDiff(back, src), v.cmyk ? 2 : 0);
  }
}

TEST_F(TiffWrite, FilesOpenInLibtiffAndPillow) {
  const bool tiffinfo = HaveProgram("tiffinfo");
  const bool pillow = HavePythonModule("PIL");
  if (!tiffinfo && !pillow) GTEST_SKIP() << "neither tiffinfo nor Pillow";
  TBitmap photo, doc;
  Photo(photo, 157, 61);
  Document(doc, 203, 77);
  std::vector<std::pair<std::string, std::string>> files;  // path, our digest
  for (const Variant& v : kVariants) {
    TBitmap src;
    src.Assign(v.bilevel ? &doc : &photo);
    TIOParamsVals p;
    ParamsFor(p, v);
    p.TIFF_PageName = "page";
    p.TIFF_PageNumber = 1;
    p.TIFF_PageCount = 2;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeBytes(WriteTIFFStream, src, p, bytes));
    const std::string path = TempPath(std::string("w_") + v.name + ".tif");
    WriteFileBytes(path, bytes);
    files.push_back({path, v.cmyk ? "" : RgbDigest16(src)});
  }
  // One Pillow run for all files: a digest per line, in order.
  std::vector<std::string> pil;
  if (pillow) {
    std::string cmd = Python() +
                      " -c \"import hashlib,sys; from PIL import Image; [print(hashlib.sha256(Image.open(f)"
                      ".convert('RGB').tobytes()).hexdigest()[:16]) for f in sys.argv[1:]]\"";
    for (const auto& f : files) cmd += " '" + f.first + "'";
    std::string out;
    ASSERT_EQ(RunCommand(cmd, &out), 0);
    for (size_t i = 0; i + 16 <= out.size(); i += 17) pil.push_back(out.substr(i, 16));
    ASSERT_EQ(pil.size(), files.size());
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& [path, digest] = files[i];
    SCOPED_TRACE(path);
    if (tiffinfo) {
      std::string out;
      EXPECT_EQ(RunCommand("tiffinfo -D '" + path + "' 2>&1", &out), 0);
      EXPECT_EQ(out.find("rror"), std::string::npos) << out;
      EXPECT_EQ(out.find("arning"), std::string::npos) << out;
    }
    if (pillow && !digest.empty()) {
      EXPECT_EQ(pil[i], digest);
    }
    std::remove(path.c_str());
  }
}

TEST_F(TiffWrite, PagesAppendInsertAndDelete) {
  // Four distinct pages: 24-bit, 1-bit G4, 24-bit LZW, 1-bit PackBits.
  std::vector<TBitmap> pages(4);
  Photo(pages[0], 40, 30);
  Document(pages[1], 64, 20);
  Photo(pages[2], 25, 50);
  Document(pages[3], 33, 33);
  const Variant vs[4] = {kVariants[0], kVariants[11], kVariants[2], kVariants[6]};
  TMemoryStream m;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  {
    TIOParamsVals p;
    ParamsFor(p, vs[0]);
    EXPECT_EQ(TIFFWriteStream(&m, false, &pages[0], p, pr), 1);
  }
  // Appended at the end (an index beyond the last page), then page 1 inserted before page 2.
  for (int i : {2, 3, 1}) {
    TIOParamsVals p;
    ParamsFor(p, vs[i]);
    p.TIFF_ImageIndex = i == 1 ? 1 : 99;
    m.SetPosition(0);
    EXPECT_EQ(TIFFWriteStream(&m, true, &pages[size_t(i)], p, pr), i == 1 ? 4 : i);
  }
  ASSERT_FALSE(abort);
  m.SetPosition(0);
  EXPECT_EQ(_EnumTIFFImStream(&m), 4);
  std::vector<uint8_t> bytes(m.Memory(), m.Memory() + m.GetSize());
  for (int i = 0; i < 4; ++i) {
    TBitmap b;
    TIOParamsVals q;
    ASSERT_TRUE(Read(bytes, b, q, i)) << i;
    EXPECT_EQ(q.TIFF_ImageCount, 4);
    EXPECT_EQ(MaxSampleDiff(b, pages[size_t(i)]), 0) << i;
  }
  if (HaveProgram("tiffinfo")) {
    const std::string path = TempPath("pages.tif");
    WriteFileBytes(path, bytes);
    std::string out;
    EXPECT_EQ(RunCommand("tiffinfo -D '" + path + "' 2>&1", &out), 0);
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
    std::remove(path.c_str());
  }

  // Deleting page 1 leaves pages 0, 2, 3.
  m.SetPosition(0);
  EXPECT_EQ(_DeleteTIFFImStream(&m, 1), 4);
  m.SetPosition(0);
  EXPECT_EQ(_EnumTIFFImStream(&m), 3);
  bytes.assign(m.Memory(), m.Memory() + m.GetSize());
  const int kept[3] = {0, 2, 3};
  for (int i = 0; i < 3; ++i) {
    TBitmap b;
    TIOParamsVals q;
    ASSERT_TRUE(Read(bytes, b, q, i)) << i;
    EXPECT_EQ(MaxSampleDiff(b, pages[size_t(kept[i])]), 0) << i;
  }
  // An index outside the pages changes nothing; a stream that is not TIFF gives 0.
  m.SetPosition(0);
  EXPECT_EQ(_DeleteTIFFImStream(&m, 7), 3);
  EXPECT_EQ(std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize()), bytes);
  TMemoryStream junk;
  junk.WriteBuffer("not a tiff at all", 17);
  junk.SetPosition(0);
  EXPECT_EQ(_DeleteTIFFImStream(&junk, 0), 0);
  EXPECT_EQ(junk.GetSize(), 17);
}

TEST_F(TiffWrite, DeletedPagesOpenInLibtiff) {
  if (!HaveProgram("tiffcp") || !HaveProgram("tiffinfo")) GTEST_SKIP() << "no libtiff tools";
  CORVEX_REQUIRE_CORPUS();
  // A big-endian file of three pages written by libtiff, its middle page deleted.
  const std::string src = CorpusFile("tiff/peer_lt_multipage3.tif");
  std::vector<uint8_t> bytes = ReadFileBytes(src);
  TMemoryStream m;
  m.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  m.SetPosition(0);
  ASSERT_EQ(_DeleteTIFFImStream(&m, 1), 3);
  const std::string path = TempPath("deleted.tif");
  WriteFileBytes(path, std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize()));
  std::string out;
  EXPECT_EQ(RunCommand("tiffinfo -D '" + path + "' 2>&1", &out), 0);
  EXPECT_EQ(out.find("rror"), std::string::npos) << out;
  std::vector<uint8_t> after(m.Memory(), m.Memory() + m.GetSize());
  for (int i : {0, 1}) {
    TBitmap a, b;
    TIOParamsVals pa, pb;
    ASSERT_TRUE(Read(bytes, a, pa, i == 0 ? 0 : 2));
    ASSERT_TRUE(Read(after, b, pb, i));
    EXPECT_EQ(MaxSampleDiff(a, b), 0);
  }
  std::remove(path.c_str());
}

TEST_F(TiffWrite, ParametersAndFallbacks) {
  TBitmap src;
  Photo(src, 20, 10);
  TIOParamsVals p;
  p.TIFF_Compression = ioTIFF_G4FAX;  // 24-bit pages cannot use CCITT: stored uncompressed
  p.TIFF_DocumentName = "doc";
  p.TIFF_ImageDescription = "a description longer than four bytes";
  p.TIFF_PageName = "pg";  // three bytes with the NUL: kept inside the entry
  p.TIFF_PageNumber = 3;
  p.TIFF_PageCount = 7;
  p.TIFF_XPos = 2;
  p.TIFF_YPos = 5;
  p.DpiX = 72;
  p.DpiY = 96;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeBytes(WriteTIFFStream, src, p, bytes));
  TBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(Read(bytes, back, q));
  EXPECT_EQ(q.TIFF_Compression, ioTIFF_UNCOMPRESSED);
  EXPECT_EQ(q.TIFF_DocumentName, "doc");
  EXPECT_EQ(q.TIFF_ImageDescription, p.TIFF_ImageDescription);
  EXPECT_EQ(q.TIFF_PageName, "pg");
  EXPECT_EQ(q.TIFF_PageNumber, 3);
  EXPECT_EQ(q.TIFF_PageCount, 7);
  EXPECT_EQ(q.TIFF_XPos, 2);
  EXPECT_EQ(q.TIFF_YPos, 5);
  EXPECT_EQ(q.DpiX, 72);
  EXPECT_EQ(q.DpiY, 96);
  EXPECT_EQ(MaxSampleDiff(back, src), 0);
  // Little-endian, entries sorted, the page number pair inside its entry.
  EXPECT_EQ(bytes[0], 'I');
  if (HaveProgram("tiffdump")) {
    const std::string path = TempPath("params.tif");
    WriteFileBytes(path, bytes);
    std::string out;
    RunCommand("tiffdump '" + path + "' 2>&1", &out);
    EXPECT_NE(out.find("PageNumber (297) SHORT (3) 2<3 7>"), std::string::npos) << out;
    EXPECT_EQ(out.find("not sorted"), std::string::npos) << out;
    std::remove(path.c_str());
  }

  // Without an LZW encoder, LZW falls back to no compression.
  TIOParamsVals r;
  r.TIFF_Compression = ioTIFF_LZW;
  r.TIFF_LZWCompress = nullptr;
  const auto saved = DefTIFF_LZWCOMPFUNC;
  DefTIFF_LZWCOMPFUNC = nullptr;
  ASSERT_TRUE(EncodeBytes(WriteTIFFStream, src, r, bytes));
  DefTIFF_LZWCOMPFUNC = saved;
  ASSERT_TRUE(Read(bytes, back, q));
  EXPECT_EQ(q.TIFF_Compression, ioTIFF_UNCOMPRESSED);

  // A 24-bit bitmap saved as bilevel is reduced to black and white.
  TIOParamsVals b;
  b.BitsPerSample = 1;
  b.SamplesPerPixel = 1;
  b.TIFF_Compression = ioTIFF_G4FAX;
  ASSERT_TRUE(EncodeBytes(WriteTIFFStream, src, b, bytes));
  ASSERT_TRUE(Read(bytes, back, q));
  EXPECT_EQ(back.GetPixelFormat(), pf1bit);
  EXPECT_EQ(q.TIFF_PhotometInterpret, ioTIFF_WHITEISZERO);
  // Two colours become black (the darker) and white, without dithering.
  TBitmap two(16, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* px = two.ScanLine(y) + 3 * x;
      const bool red = x < 5;
      px[0] = 0, px[1] = red ? 0 : 255, px[2] = 255;
    }
  ASSERT_TRUE(EncodeBytes(WriteTIFFStream, two, b, bytes));
  ASSERT_TRUE(Read(bytes, back, q));
  EXPECT_EQ(back.ScanLine(1)[0], 0x07);
  EXPECT_EQ(back.ScanLine(1)[1], 0xFF);

  // Appending to a big-endian file is refused.
  std::vector<uint8_t> mm = {'M', 'M', 0, 42, 0, 0, 0, 0};
  TMemoryStream ms;
  ms.WriteBuffer(mm.data(), 8);
  ms.SetPosition(0);
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  EXPECT_EQ(TIFFWriteStream(&ms, true, &src, p, pr), 0);
  EXPECT_TRUE(abort);
}

}  // namespace
}  // namespace corvex
