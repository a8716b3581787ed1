// Bitmap reading on files built byte by byte: header versions, depths, bit fields, palettes,
// top-down rows, run-length data that misbehaves, parameters, progress, and lying files.
#include <gtest/gtest.h>

#include "corvex/platform/screen.h"
#include "tests/io/bmp_testing.h"

namespace corvex {
namespace {

using namespace testing_support;
using namespace bmp_testing;

// A 3 x 2 8-bit image, rows top first: indices 0 1 2 / 3 4 5 with a 6-entry table.
const std::vector<TRGB> kPal6 = {CreateRGB(0, 0, 0),   CreateRGB(255, 0, 0),   CreateRGB(0, 255, 0),
                                 CreateRGB(0, 0, 255), CreateRGB(10, 20, 30), CreateRGB(200, 100, 50)};

BmpSpec Indexed8(uint32_t HeaderSize) {
  BmpSpec s;
  s.headerSize = HeaderSize;
  s.width = 3;
  s.height = 2;
  s.bits = 8;
  s.palette = kPal6;
  if (HeaderSize == 12) {
    s.palette.resize(256, TRGB{0, 0, 0});  // the core header's table always has 2^bits entries
  } else {
    s.clrUsed = 6;
  }
  s.xppm = s.yppm = 3780;
  s.data = PackRows({{0, 1, 2}, {3, 4, 5}});
  return s;
}

void ExpectPal6Picture(const TBitmap& b) {
  ASSERT_EQ(b.GetWidth(), 3);
  ASSERT_EQ(b.GetHeight(), 2);
  ASSERT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_PX(b, 0, 0, 0, 0, 0);
  EXPECT_PX(b, 1, 0, 255, 0, 0);
  EXPECT_PX(b, 2, 0, 0, 255, 0);
  EXPECT_PX(b, 0, 1, 0, 0, 255);
  EXPECT_PX(b, 1, 1, 10, 20, 30);
  EXPECT_PX(b, 2, 1, 200, 100, 50);
}

TEST(BmpRead, EveryHeaderVersionGivesTheSamePicture) {
  const struct {
    uint32_t size;
    TIOBMPVersion version;
  } kinds[] = {{12, ioBMP_BMOS2V1}, {16, ioBMP_BM}, {40, ioBMP_BM3}, {64, ioBMP_BMOS2V2}, {108, ioBMP_BM}, {124, ioBMP_BM}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.size);
    TBitmap b;
    TIOParamsVals p;
    ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Indexed8(k.size)), b, p));
    ExpectPal6Picture(b);
    EXPECT_EQ(p.BMP_Version, k.version);
    EXPECT_EQ(p.BMP_Compression, ioBMP_UNCOMPRESSED);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 1);
    EXPECT_EQ(p.Width, 3);
    EXPECT_EQ(p.Height, 2);
    // 3780 pixels per metre is 96 dpi; the core header (and the 16-byte one, which ends before
    // the resolution) have none and take the system's.
    EXPECT_EQ(p.DpiX, k.size > 16 ? 96 : gSystemDPIX);
    ASSERT_EQ(p.GetColorMapCount(), k.size == 12 ? 256 : 6);
    EXPECT_TRUE(Same(p.ColorMap[5], CreateRGB(200, 100, 50)));
  }
  // Without the file header (a packed DIB, as .dib files and the clipboard hold it).
  BmpSpec s = Indexed8(40);
  s.fileHeader = false;
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  ExpectPal6Picture(b);
}

TEST(BmpRead, ResolutionConvertsAndZeroTakesTheSystemValue) {
  BmpSpec s = Indexed8(40);
  s.xppm = 11811;  // 300 dpi: round(118.11 * 2.54) = 300
  s.yppm = 0;
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  EXPECT_EQ(p.DpiX, 300);
  EXPECT_EQ(p.DpiY, gSystemDPIY);
  s.xppm = -5000;  // nonsense is treated as missing
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  EXPECT_EQ(p.DpiX, gSystemDPIX);
}

TEST(BmpRead, TopDownFilesAreReadRightSideUp) {
  for (int bits : {8, 24}) {
    SCOPED_TRACE(bits);
    BmpSpec s = Indexed8(40);
    s.height = -2;
    if (bits == 8) {
      s.data = PackRows({{0, 1, 2}, {3, 4, 5}}, false);
    } else {
      s.bits = 24;
      s.palette.clear();
      s.clrUsed = 0;
      s.data = PackRows({{0, 0, 0, 0, 0, 255, 0, 255, 0}, {255, 0, 0, 30, 20, 10, 50, 100, 200}}, false);
    }
    TBitmap b;
    TIOParamsVals p;
    ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
    EXPECT_EQ(p.Height, 2);
    ExpectPal6Picture(b);
  }
  // Run-length data too: the first coded row is the top one.
  BmpSpec s = Indexed8(40);
  s.height = -2;
  s.compression = BI_RLE8;
  s.data = {3, 1, 0, 0, 3, 2, 0, 1};
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  EXPECT_PX(b, 2, 0, 255, 0, 0);
  EXPECT_PX(b, 2, 1, 0, 255, 0);
}

// A 16- or 32-bit file of one row of pixels with the given masks (none when empty).
std::vector<uint8_t> Masked(int Bits, std::vector<uint32_t> Masks, std::vector<uint32_t> Pixels,
                            uint32_t HeaderSize = 40) {
  BmpSpec s;
  s.headerSize = HeaderSize;
  s.width = int32_t(Pixels.size());
  s.height = 1;
  s.bits = uint16_t(Bits);
  s.compression = Masks.empty() ? BI_RGB : (Masks.size() == 4 && HeaderSize == 40 ? 6 : BI_BITFIELDS);
  s.masks = Masks;
  if (HeaderSize >= 108 && Masks.empty()) s.masks = {0xF800, 0x7E0, 0x1F, 0};  // ignored: no BI_BITFIELDS
  for (uint32_t v : Pixels) {
    if (Bits == 16) {
      Put16(s.data, v);
    } else {
      Put32(s.data, v);
    }
  }
  s.data.resize((s.data.size() + 3) & ~size_t(3), 0);
  return MakeBmp(s);
}

TEST(BmpRead, BitFieldsAreDecodedThroughTheirMasksWhateverTheirWidths) {
  TBitmap b;
  TIOParamsVals p;
  // 5-6-5: each field scaled to 0..255 (v * 255 / max, truncated).
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(16, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F, 0x0841, 0xFFFF}), b, p));
  EXPECT_PX(b, 0, 0, 255, 0, 0);
  EXPECT_PX(b, 1, 0, 0, 255, 0);
  EXPECT_PX(b, 2, 0, 0, 0, 255);
  EXPECT_PX(b, 3, 0, 8, 8, 8);  // 1 * 255 / 31 = 8, 2 * 255 / 63 = 8
  EXPECT_PX(b, 4, 0, 255, 255, 255);
  EXPECT_EQ(p.BitsPerSample, 5);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  // 4-4-4-4 with alpha on top (the alpha is not part of the picture), in a version 5 header.
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(16, {0x0F00, 0x00F0, 0x000F, 0xF000}, {0x0F84, 0x7123}, 124), b, p));
  EXPECT_PX(b, 0, 0, 255, 136, 68);
  EXPECT_PX(b, 1, 0, 17, 34, 51);
  // 10-10-10 in 32 bits: 1023 * 255 / 1023 = 255, 512 * 255 / 1023 = 127.
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(32, {0x3FF00000, 0xFFC00, 0x3FF}, {0x3FF00000u | (512u << 10) | 4u}), b, p));
  EXPECT_PX(b, 0, 0, 255, 127, 0);
  // Red and blue swapped in 32 bits, masks inside a version 3 (56-byte) header.
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0x80112233}, 56), b, p));
  EXPECT_PX(b, 0, 0, 0x33, 0x22, 0x11);
  // Four masks after a 40-byte header (compression 6).
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0x00445566}), b, p));
  EXPECT_PX(b, 0, 0, 0x66, 0x55, 0x44);
}

TEST(BmpRead, WithoutMasks16BitIs555And32BitIsBlueGreenRedUnused) {
  TBitmap b;
  TIOParamsVals p;
  // 5-5-5 with each channel shifted to the top of its byte: 0x7FFF gives 248.
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(16, {}, {0x7FFF, 0x7C00, 0x0421, 0x8000}), b, p));
  EXPECT_PX(b, 0, 0, 248, 248, 248);
  EXPECT_PX(b, 1, 0, 248, 0, 0);
  EXPECT_PX(b, 2, 0, 8, 8, 8);
  EXPECT_PX(b, 3, 0, 0, 0, 0);  // the top bit is unused
  // Masks a version 4/5 header carries without BI_BITFIELDS are not used.
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(16, {}, {0x7FFF}, 108), b, p));
  EXPECT_PX(b, 0, 0, 248, 248, 248);
  ASSERT_TRUE(DecodeBytes(ReadBmp, Masked(32, {}, {0xFF112233}), b, p));
  EXPECT_PX(b, 0, 0, 0x11, 0x22, 0x33);
  EXPECT_EQ(p.BitsPerSample, 8);
}

// A 1-bit file of 10 x 1 pixels 1010000011 with the given colour table.
std::vector<uint8_t> OneBit(std::vector<TRGB> Palette) {
  BmpSpec s;
  s.width = 10;
  s.bits = 1;
  s.palette = Palette;
  s.clrUsed = uint32_t(Palette.size());
  s.data = {0xA0, 0xC0, 0, 0};
  return MakeBmp(s);
}

TEST(BmpRead, OneBitPalettes) {
  const TRGB black = CreateRGB(0, 0, 0), white = CreateRGB(255, 255, 255);
  TBitmap b;
  TIOParamsVals p;
  // Black, white: the bits as they are.
  ASSERT_TRUE(DecodeBytes(ReadBmp, OneBit({black, white}), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xA0);
  EXPECT_EQ(b.ScanLine(0)[1], 0xC0);  // bits past the width are clear
  EXPECT_EQ(p.BitsPerSample, 1);
  // White, black: inverted, so that 1 stays white.
  ASSERT_TRUE(DecodeBytes(ReadBmp, OneBit({white, black}), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0x5F);
  EXPECT_EQ(b.ScanLine(0)[1], 0x00);
  // Two colours that are not black and white keep their colours in 24 bits.
  ASSERT_TRUE(DecodeBytes(ReadBmp, OneBit({CreateRGB(64, 64, 255), CreateRGB(64, 255, 64)}), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_PX(b, 0, 0, 64, 255, 64);
  EXPECT_PX(b, 1, 0, 64, 64, 255);
  // A one-entry table: index 1 is past it, so black.
  ASSERT_TRUE(DecodeBytes(ReadBmp, OneBit({CreateRGB(1, 2, 3)}), b, p));
  EXPECT_PX(b, 0, 0, 0, 0, 0);
  EXPECT_PX(b, 1, 0, 1, 2, 3);
}

TEST(BmpRead, TwoAndFourBitPixels) {
  BmpSpec s;
  s.width = 5;
  s.bits = 4;
  s.palette = kPal6;
  s.clrUsed = 6;
  s.data = {0x12, 0x35, 0xF0, 0};  // 1 2 3 5 15: 15 is past the table
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  EXPECT_PX(b, 0, 0, 255, 0, 0);
  EXPECT_PX(b, 3, 0, 200, 100, 50);
  EXPECT_PX(b, 4, 0, 0, 0, 0);
  s.bits = 2;
  s.data = {0x1B, 0x40, 0, 0};  // 0 1 2 3 1
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  EXPECT_PX(b, 1, 0, 255, 0, 0);
  EXPECT_PX(b, 3, 0, 0, 0, 255);
  EXPECT_PX(b, 4, 0, 255, 0, 0);
  EXPECT_EQ(p.BitsPerSample, 2);
}

// kPal6 with a grey first entry, so that skipped pixels (which keep colour 0) can be told
// from indices past the table (black).
const std::vector<TRGB> kPalR = {CreateRGB(9, 9, 9),   CreateRGB(255, 0, 0),   CreateRGB(0, 255, 0),
                                 CreateRGB(0, 0, 255), CreateRGB(10, 20, 30), CreateRGB(200, 100, 50)};

BmpSpec Rle(bool Four, std::vector<uint8_t> Data, int W = 4, int H = 2) {
  BmpSpec s;
  s.width = W;
  s.height = H;
  s.bits = Four ? 4 : 8;
  s.compression = Four ? BI_RLE4 : BI_RLE8;
  s.palette = kPalR;
  s.clrUsed = 6;
  s.data = std::move(Data);
  return s;
}

TEST(BmpRead, RunLengthDataIsCutAtRowsAndImageNeverWrittenOutside) {
  TBitmap b;
  TIOParamsVals p;
  // RLE8: a run of 9 in a 4-wide row is cut (the rest is not carried to the next row); the next
  // row has a literal of 3 and a run past its end; then the end of the bitmap.
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Rle(false, {9, 1, 0, 0, 0, 3, 2, 3, 4, 0, 7, 5, 0, 1})), b, p));
  EXPECT_EQ(p.BMP_Compression, ioBMP_RLE);
  for (int x = 0; x < 4; ++x) EXPECT_PX(b, x, 1, 255, 0, 0);
  EXPECT_PX(b, 0, 0, 0, 255, 0);
  EXPECT_PX(b, 2, 0, 10, 20, 30);
  EXPECT_PX(b, 3, 0, 200, 100, 50);
  // A literal longer than the row, a delta past the top: cut, then stopped. Pixels the data
  // never reaches keep colour 0 of the table.
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Rle(false, {0, 6, 1, 2, 3, 4, 5, 1, 0, 2, 1, 9, 2, 2})), b, p));
  EXPECT_PX(b, 0, 1, 255, 0, 0);
  EXPECT_PX(b, 3, 1, 10, 20, 30);
  for (int x = 0; x < 4; ++x) EXPECT_PX(b, x, 0, 9, 9, 9);
  // RLE4: runs alternate the two nibbles; literals are nibbles, padded to even bytes; indices
  // past the table are black; a delta moves right (and up).
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Rle(true, {3, 0x15, 1, 0xE0, 0, 0, 0, 2, 1, 0, 0, 3, 0x23, 0x40, 0, 1})), b, p));
  EXPECT_PX(b, 0, 1, 255, 0, 0);
  EXPECT_PX(b, 1, 1, 200, 100, 50);
  EXPECT_PX(b, 2, 1, 255, 0, 0);
  EXPECT_PX(b, 3, 1, 0, 0, 0);  // index 14, past the table
  EXPECT_PX(b, 0, 0, 9, 9, 9);  // skipped by the delta: colour 0
  EXPECT_PX(b, 1, 0, 0, 255, 0);
  EXPECT_PX(b, 2, 0, 0, 0, 255);
  EXPECT_PX(b, 3, 0, 10, 20, 30);
  // Data that stops in the middle of a literal keeps what it had; no end marker is needed.
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Rle(false, {0, 4, 2, 3})), b, p));
  EXPECT_PX(b, 0, 1, 0, 255, 0);
  EXPECT_PX(b, 1, 1, 0, 0, 255);
  EXPECT_PX(b, 2, 1, 9, 9, 9);
  // Run-length coding that does not fit the depth is refused.
  BmpSpec wrong = Rle(false, {2, 1, 0, 1});
  wrong.compression = BI_RLE4;
  EXPECT_FALSE(DecodeBytes(ReadBmp, MakeBmp(wrong), b, p));
}

TEST(BmpRead, RunLengthLengthComesFromTheBlockNotFromALyingFileSize) {
  // The file-size field says 20 bytes; the data is longer. The stream decides.
  std::vector<uint8_t> f = MakeBmp(Rle(false, {4, 1, 0, 0, 4, 2, 0, 1}));
  Set32(f, 2, 20);
  Set32(f, 34, 0);  // no image size either
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadBmpNoBlock, f, b, p));
  EXPECT_PX(b, 3, 0, 0, 255, 0);
  // A caller's block size is exact: here it ends the data after the first row.
  {
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TPointerStream s(f.data(), int64_t(f.size()));
    BMPReadStream(&s, &b, int(f.size()) - 4, p, pr, false);
    ASSERT_FALSE(abort);
    EXPECT_PX(b, 3, 1, 255, 0, 0);
    EXPECT_PX(b, 3, 0, 9, 9, 9);
  }
}

TEST(BmpRead, PaletteAndOffsetsFromTheFileAreBounded) {
  TBitmap b;
  TIOParamsVals p;
  // A huge colour count: the table ends where the pixel data starts.
  BmpSpec s = Indexed8(40);
  s.clrUsed = 0x7FFFFFFF;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  ExpectPal6Picture(b);
  EXPECT_EQ(p.GetColorMapCount(), 6);
  // An offset that points into a table whose size the header states: the data follows the
  // table.
  s = Indexed8(40);
  s.offBits = 54;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  ExpectPal6Picture(b);
  // A core-header table shorter than 2^bits: the offset tells.
  s = Indexed8(12);
  s.palette.resize(6);
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  ExpectPal6Picture(b);
  EXPECT_EQ(p.GetColorMapCount(), 6);
  // More than 256 entries: 256 are kept.
  s = Indexed8(40);
  s.palette.resize(300, CreateRGB(9, 9, 9));
  s.clrUsed = 300;
  ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(s), b, p));
  ExpectPal6Picture(b);
  EXPECT_EQ(p.GetColorMapCount(), 256);
}

TEST(BmpRead, FilesThatCannotBeReadSetTheAbortFlagAndLeaveTheBitmap) {
  auto refused = [](std::vector<uint8_t> f, const char* what) {
    TBitmap b(2, 2, pf1bit);
    TIOParamsVals p;
    EXPECT_FALSE(DecodeBytes(ReadBmp, f, b, p)) << what;
    EXPECT_EQ(b.GetWidth(), 2) << what;
    EXPECT_EQ(b.GetPixelFormat(), pf1bit) << what;
  };
  const std::vector<uint8_t> good = MakeBmp(Indexed8(40));
  std::vector<uint8_t> f = good;
  f[0] = 'X';
  refused(f, "signature");
  refused({'B', 'M', 0, 0}, "file header cut");
  refused(std::vector<uint8_t>(good.begin(), good.begin() + 30), "info header cut");
  f = good;
  Set32(f, 14, 8);
  refused(f, "header size 8");
  f = good;
  Set32(f, 14, 0x7FFFFFF0);
  refused(f, "header size past the end");
  f = good;
  Set32(f, 18, uint32_t(-3));
  refused(f, "negative width");
  f = good;
  Set32(f, 22, 0);
  refused(f, "zero height");
  f = good;
  Set32(f, 22, 0x80000000u);
  refused(f, "height -2^31");
  f = good;
  f[28] = 3;
  refused(f, "3 bits per pixel");
  f = good;
  f[30] = 9;
  refused(f, "compression 9");
  f = good;
  Set32(f, 10, 0x7FFFFF00);
  refused(f, "pixel data past the end");
  f = good;
  Set32(f, 18, 100000);
  Set32(f, 22, 100000);
  refused(f, "10^10 pixels");
  // OS/2 2.x Huffman (compression 3 with the 64-byte header) is not read.
  BmpSpec s = Indexed8(64);
  s.bits = 1;
  s.compression = 3;
  refused(MakeBmp(s), "OS/2 Huffman");
}

TEST(BmpRead, ATruncatedFileKeepsTheRowsThatWereThereAndSetsTheFlag) {
  BmpSpec s;
  s.width = 2;
  s.height = 3;
  s.bits = 24;
  s.data = PackRows({{1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2}, {3, 3, 3, 3, 3, 3}});
  std::vector<uint8_t> f = MakeBmp(s);
  f.erase(f.end() - (8 + 5), f.end());  // the top row is gone, the middle one cut after a pixel
  TBitmap b;
  TIOParamsVals p;
  EXPECT_FALSE(DecodeBytes(ReadBmp, f, b, p));
  ASSERT_EQ(b.GetHeight(), 3);
  EXPECT_PX(b, 0, 2, 3, 3, 3);
  EXPECT_PX(b, 0, 1, 2, 2, 2);
  EXPECT_PX(b, 1, 1, 0, 0, 0);
  EXPECT_PX(b, 0, 0, 0, 0, 0);
  // Only the padding of the last row missing is not a loss.
  f = MakeBmp(s);
  f.pop_back();
  EXPECT_TRUE(DecodeBytes(ReadBmp, f, b, p));
}

TEST(BmpRead, PreviewFillsTheParametersAndLeavesTheBitmap) {
  for (uint32_t hs : {12u, 40u, 124u}) {
    SCOPED_TRACE(hs);
    TBitmap b(5, 7, pf1bit);
    TIOParamsVals p;
    ASSERT_TRUE(DecodeBytes(ReadBmp, MakeBmp(Indexed8(hs)), b, p, true));
    EXPECT_EQ(p.Width, 3);
    EXPECT_EQ(p.Height, 2);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_GE(p.GetColorMapCount(), 6);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetHeight(), 7);
    EXPECT_EQ(b.GetPixelFormat(), pf1bit);
  }
  // A preview may tell the size of an image too large to load.
  std::vector<uint8_t> f = MakeBmp(Indexed8(40));
  Set32(f, 18, 100000);
  Set32(f, 22, 100000);
  TBitmap b;
  TIOParamsVals p;
  EXPECT_TRUE(DecodeBytes(ReadBmp, f, b, p, true));
  EXPECT_EQ(p.Width, 100000);
}

TEST(BmpRead, ProgressBeforeEveryRowAndAbortStops) {
  BmpSpec s;
  s.width = 1;
  s.height = 8;
  s.bits = 24;
  s.data.assign(32, 0xFF);
  const std::vector<uint8_t> f = MakeBmp(s);
  ProgressLog log;
  bool abort = false;
  log.abort = &abort;
  TProgressRec pr;
  pr.OnProgress = log.Event();
  pr.Aborting = &abort;
  TBitmap b;
  TIOParamsVals p;
  TPointerStream st(f.data(), int64_t(f.size()));
  BMPReadStream(&st, &b, 0, p, pr, false);
  EXPECT_FALSE(abort);
  EXPECT_EQ(log.seen, (std::vector<int>{0, 12, 25, 37, 50, 62, 75, 87}));
  EXPECT_DOUBLE_EQ(pr.PercentPerUnit, 12.5);
  // Stopped after three rows: the rows above stay blank.
  log.seen.clear();
  log.stopAtCall = 4;
  TPointerStream st2(f.data(), int64_t(f.size()));
  BMPReadStream(&st2, &b, 0, p, pr, false);
  EXPECT_TRUE(abort);
  EXPECT_EQ(log.seen.size(), 4u);
  EXPECT_PX(b, 0, 7, 255, 255, 255);
  EXPECT_PX(b, 0, 5, 255, 255, 255);
  EXPECT_PX(b, 0, 4, 0, 0, 0);
}

TEST(BmpRead, ContentTest) {
  const std::vector<uint8_t> f = MakeBmp(Indexed8(40));
  TPointerStream s(f.data(), int64_t(f.size()));
  s.SetPosition(0);
  EXPECT_TRUE(BMPTryStream(&s));
  EXPECT_EQ(s.GetPosition(), 0);
  const std::vector<uint8_t> shortOne(f.begin(), f.begin() + 14);
  TPointerStream s2(shortOne.data(), int64_t(shortOne.size()));
  EXPECT_FALSE(BMPTryStream(&s2));
  const std::vector<uint8_t> other(40, 'B');
  TPointerStream s3(other.data(), int64_t(other.size()));
  EXPECT_FALSE(BMPTryStream(&s3));
}

// Damaged copies of valid files (every kind of header and coding): each loads a legal image or
// ends with the abort flag and the bitmap empty or holding the rows it read (run under the
// sanitizers to see reads out of bounds). Asked for its parameters only, the reader leaves the
// bitmap as it was.
TEST(BmpRead, DamagedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> seeds = {MakeBmp(Indexed8(12)), MakeBmp(Indexed8(40)), MakeBmp(Indexed8(124)),
                                             MakeBmp(Rle(false, {3, 1, 0, 3, 1, 2, 3, 0, 0, 0, 2, 1, 1, 0, 1})),
                                             MakeBmp(Rle(true, {3, 0x12, 0, 3, 0x12, 0x30, 0, 0, 0, 1})),
                                             Masked(16, {0xF800, 0x7E0, 0x1F}, {1, 2, 3}),
                                             Masked(32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {1, 2}, 56)};
  // Damage to a size field may claim a large image; allocating it is allowed but slow, and
  // beside the point here.
  const int64_t limit = gMaxImagePixels;
  gMaxImagePixels = 1 << 16;
  Damage how;
  how.maxEdits = 4;
  how.flip = how.cut = 1;
  LoadTally tally;
  int previewChanged = 0;
  for (uint32_t n = 0; n < 20000; ++n) {
    const std::vector<uint8_t> f = DamagedCopy(seeds[n % seeds.size()], n, how);
    TBitmap b;
    TIOParamsVals p;
    tally.Add(CheckLoad([&] { return DecodeBytes(ReadBmp, f, b, p); }, b, p),
              [&] { return "file " + std::to_string(n % seeds.size()) + ", damage seed " + std::to_string(n); });
    const int w = b.GetWidth(), h = b.GetHeight();
    const TPixelFormat pf = b.GetPixelFormat();
    DecodeBytes(ReadBmpNoBlock, f, b, p, true);
    previewChanged += b.GetWidth() != w || b.GetHeight() != h || b.GetPixelFormat() != pf;
  }
  gMaxImagePixels = limit;
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_EQ(previewChanged, 0);
  EXPECT_GT(tally.loaded, 100);
  EXPECT_GT(tally.refused, 100);
}

}  // namespace
}  // namespace corvex
