// PNG reading: the PngSuite and other files of the corpus against their references, the
// composition over the background, parameters, progress, and damaged files.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <map>

#include "corvex/io/codecs/pngfilt.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// An independent decode of a PNG to 16-bit RGBA through libpng's plain transformations (no
// background handling), and the file's bit depth and bKGD colour.
struct Rgba16 {
  int width = 0, height = 0, depth = 0;
  bool hasBackground = false;
  uint16_t bg[3] = {0, 0, 0};  // in the file's scale, expanded to 16 bits
  std::vector<uint16_t> px;    // R, G, B, A per pixel
};

bool DecodeRgba16(const std::string& path, Rgba16& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  std::vector<uint8_t> data;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  out.width = static_cast<int>(png_get_image_width(png, info));
  out.height = static_cast<int>(png_get_image_height(png, info));
  out.depth = png_get_bit_depth(png, info);
  const int type = png_get_color_type(png, info);
  png_color_16p b = nullptr;
  if (png_get_bKGD(png, info, &b) && b) {
    out.hasBackground = true;
    if (type == PNG_COLOR_TYPE_PALETTE) {
      png_colorp pal;
      int n;
      png_get_PLTE(png, info, &pal, &n);
      out.bg[0] = uint16_t(pal[b->index].red * 257);
      out.bg[1] = uint16_t(pal[b->index].green * 257);
      out.bg[2] = uint16_t(pal[b->index].blue * 257);
    } else {
      const bool grey = !(type & PNG_COLOR_MASK_COLOR);
      const unsigned m = out.depth == 16 ? 1 : 65535 / ((1u << out.depth) - 1);
      out.bg[0] = uint16_t((grey ? b->gray : b->red) * m);
      out.bg[1] = uint16_t((grey ? b->gray : b->green) * m);
      out.bg[2] = uint16_t((grey ? b->gray : b->blue) * m);
    }
  }
  png_set_expand(png);
  png_set_expand_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rb = png_get_rowbytes(png, info);
  data.resize(rb * size_t(out.height));
  for (int y = 0; y < out.height; ++y) rows.push_back(data.data() + rb * size_t(y));
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  out.px.resize(size_t(out.width) * size_t(out.height) * 4);
  for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = uint16_t(data[2 * i] << 8 | data[2 * i + 1]);
  return true;
}

// The pixels the reader's rules give: samples reduced to 8 bits by a shift, alpha composed over
// the background at the file's own precision (the rounding of libpng's compositing macros).
std::vector<uint8_t> Expected(const Rgba16& r, TRGB fallbackBg) {
  uint16_t bg[3];
  if (r.hasBackground) {
    std::memcpy(bg, r.bg, sizeof bg);
  } else {
    bg[0] = uint16_t(fallbackBg.r * 257);
    bg[1] = uint16_t(fallbackBg.g * 257);
    bg[2] = uint16_t(fallbackBg.b * 257);
  }
  std::vector<uint8_t> out;
  for (size_t i = 0; i < r.px.size(); i += 4) {
    const unsigned a16 = r.px[i + 3];
    for (int c = 0; c < 3; ++c) {
      const unsigned fg16 = r.px[i + size_t(c)];
      unsigned v;
      if (a16 == 65535) {
        v = fg16 >> 8;
      } else if (r.depth == 16) {
        const uint64_t t = uint64_t(fg16) * a16 + uint64_t(bg[c]) * (65535 - a16) + 32768;
        v = unsigned((t + (t >> 16)) >> 16) >> 8;
      } else {
        const unsigned fg = fg16 >> 8, a = a16 >> 8, b8 = bg[c] >> 8;
        const unsigned t = fg * a + b8 * (255 - a) + 128;
        v = (t + (t >> 8)) >> 8;
      }
      out.push_back(uint8_t(v));
    }
  }
  return out;
}

TEST(PngRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int exact = 0, composed = 0, checked = 0;
  for (const ManifestRow& row : ReadManifest("png/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    // Exception: xcsn0g01 has a wrong IDAT checksum. The reference decoder ignores checksums;
    // libpng, and so this reader, refuses the damaged data.
    if (row.file == "png/pngsuite_png_xcsn0g01.png") {
      EXPECT_FALSE(DecodeFile(ReadPNGStream, row.Path(), bmp, params));
      continue;
    }
    ASSERT_TRUE(DecodeFile(ReadPNGStream, row.Path(), bmp, params)) << "abort flag set";
    ASSERT_EQ(bmp.GetWidth(), row.width);
    ASSERT_EQ(bmp.GetHeight(), row.height);
    ++checked;
    // Files without alpha and without 16-bit grey (which the reference clips instead of
    // shifting) must match the independent decoder's digest exactly.
    if (row.alpha != "alpha" && row.mode != "I") {
      EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
      ++exact;
      continue;
    }
    Rgba16 ref;
    ASSERT_TRUE(DecodeRgba16(row.Path(), ref));
    const std::vector<uint8_t> want = Expected(ref, TIOParamsVals().PNG_Background);
    const std::vector<uint8_t> got = RgbBytes(bmp);
    ASSERT_EQ(got.size(), want.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
    EXPECT_LE(worst, 1) << "composition over the background differs";
    ++composed;
  }
  EXPECT_GT(exact, 80);
  EXPECT_GT(composed, 15);
  RecordProperty("checked", checked);
}

TEST(PngRead, DamagedFilesEndWithTheAbortFlag) {
  CORVEX_REQUIRE_CORPUS();
  int refused = 0;
  for (const ManifestRow& row : ReadManifest("png/")) {
    if (row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    const LoadOutcome r = CheckLoad([&] { return DecodeFile(ReadPNGStream, row.Path(), bmp, params); }, bmp, params);
    EXPECT_EQ(r.verdict, "");
    if (!r.loaded) ++refused;
  }
  // Every deliberately corrupt PngSuite file is refused.
  EXPECT_EQ(refused, 12);
  // Files cut short (in the header, the palette, the image data) and damaged at random: a
  // cut in the image data keeps the rows read before it.
  LoadTally tally;
  for (const char* name : {"png/pngsuite_png_basn2c08.png", "png/pngsuite_png_basi3p08.png",
                           "png/pngsuite_png_basn0g01.png"})
    TallyDamagedCopies(tally, ReadPNGStream, name, 30, [](uint32_t) {
      Damage how;
      how.minEdits = 0;
      how.maxEdits = 2;
      how.flip = 1;
      how.cutTo = true;
      return how;
    });
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.refused, 0);
}

TEST(PngRead, OneBitStaysOneBitAndColoursAreKept) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_basn0g01.png"), bmp, params));
  EXPECT_EQ(bmp.GetPixelFormat(), pf1bit);
  EXPECT_EQ(params.BitsPerSample, 1);
  EXPECT_EQ(params.SamplesPerPixel, 1);
  // A two-colour palette that is not black and white cannot be a 1-bit image: it is expanded.
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_basn3p01.png"), bmp, params));
  EXPECT_EQ(bmp.GetPixelFormat(), pf24bit);
  EXPECT_EQ(params.GetColorMapCount(), 2);
  // A 16-bit RGBA file is 24 bits, composed over the background.
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_basn6a16.png"), bmp, params));
  EXPECT_EQ(bmp.GetPixelFormat(), pf24bit);
  EXPECT_EQ(params.BitsPerSample, 16);
  EXPECT_EQ(params.SamplesPerPixel, 4);
}

TEST(PngRead, BackgroundChunkIsStoredAndUsed) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  params.PNG_Background = CreateRGB(1, 2, 3);
  // bgwn6a08 carries a white bKGD: it replaces PNG_Background.
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_bgwn6a08.png"), bmp, params));
  EXPECT_TRUE(EqualRGB(params.PNG_Background, CreateRGB(255, 255, 255)));
  // Without bKGD the record's colour is the background: a fully transparent pixel takes it.
  TIOParamsVals red;
  red.PNG_Background = CreateRGB(255, 0, 0);
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_basn6a08.png"), bmp, red));
  Rgba16 ref;
  ASSERT_TRUE(DecodeRgba16(CorpusFile("png/pngsuite_png_basn6a08.png"), ref));
  const auto want = Expected(ref, red.PNG_Background);
  const auto got = RgbBytes(bmp);
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
  EXPECT_LE(worst, 1);
  EXPECT_TRUE(EqualRGB(red.PNG_Background, CreateRGB(255, 0, 0)));
}

TEST(PngRead, InterlacedProgressCountsSevenPassesAndPreviewReadsOnlyParameters) {
  CORVEX_REQUIRE_CORPUS();
  ProgressLog log;
  bool abort = false;
  TProgressRec progress;
  progress.OnProgress = log.Event();
  progress.Aborting = &abort;
  TFileStream f(CorpusFile("png/pngsuite_png_basi3p08.png"), fmOpenRead);
  TBitmap bmp;
  TIOParamsVals params;
  ReadPNGStream(&f, &bmp, params, progress, false);
  ASSERT_FALSE(abort);
  EXPECT_TRUE(params.PNG_Interlaced);
  ASSERT_EQ(log.seen.size(), 7u * 32);
  EXPECT_EQ(log.seen[32], 14);  // first row of the second pass: trunc(32 * 100 / 224)
  EXPECT_EQ(log.seen.back(), 99);

  TBitmap untouched(3, 3, pf1bit);
  TIOParamsVals p2;
  ASSERT_TRUE(DecodeFile(ReadPNGStream, CorpusFile("png/pngsuite_png_basn3p08.png"), untouched, p2, true));
  EXPECT_EQ(p2.Width, 32);
  EXPECT_EQ(untouched.GetWidth(), 3);
  EXPECT_EQ(untouched.GetPixelFormat(), pf1bit);
}

TEST(PngRead, ResolutionAndSignature) {
  // A minimal PNG with pHYs of 3780 pixels per metre, written by libpng directly.
  std::vector<uint8_t> file;
  {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep d, png_size_t n) {
          auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
          v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, 2, 1, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    uint8_t row[6] = {10, 20, 30, 40, 50, 60};
    png_write_row(png, row);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
  }
  TPointerStream s(file.data(), int64_t(file.size()));
  EXPECT_TRUE(IsPNGStream(&s));
  EXPECT_EQ(s.GetPosition(), 0);
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, file, bmp, params));
  EXPECT_EQ(params.DpiX, 96);
  EXPECT_EQ(bmp.ScanLine(0)[0], 30);  // blue first in the bitmap
  EXPECT_EQ(bmp.ScanLine(0)[2], 10);

  const uint8_t notPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0B};
  TPointerStream n(notPng, 8);
  EXPECT_FALSE(IsPNGStream(&n));
  TPointerStream shortStream(notPng, 3);
  EXPECT_FALSE(IsPNGStream(&shortStream));
  EXPECT_EQ(shortStream.GetPosition(), 0);

  // Every truncation of a valid file fails cleanly.
  for (size_t cut = 0; cut < file.size(); cut += 7) {
    std::vector<uint8_t> part(file.begin(), file.begin() + ptrdiff_t(cut));
    TBitmap b;
    TIOParamsVals p;
    EXPECT_FALSE(DecodeBytes(ReadPNGStream, part, b, p)) << cut;
  }
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// The image data's Adler-32 is not checked (the chunks' CRCs cover the same compressed bytes):
// a wrong one still gives the whole image, while a wrong CRC is still refused.
TEST(PngRead, ChunkCrcsGuardTheImageDataAndAdlerIsNotCheckedAgain) {
  TBitmap src(37, 11, pf24bit);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37 * 3; ++x) src.ScanLine(y)[x] = uint8_t(x * 7 + y * 13);
  TIOParamsVals params;
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBytes(WritePNGStream, src, params, file));
  // The last IDAT: its data ends with the Adler-32.
  size_t at = 8, idat = 0, len = 0;
  while (at + 12 <= file.size()) {
    const size_t n =
        (size_t(file[at]) << 24) | (size_t(file[at + 1]) << 16) | (size_t(file[at + 2]) << 8) | file[at + 3];
    if (std::memcmp(&file[at + 4], "IDAT", 4) == 0) idat = at, len = n;
    at += 12 + n;
  }
  ASSERT_GT(len, 4u);
  auto setCrc = [&](std::vector<uint8_t>& f) {
    const uint32_t c = Crc32(&f[idat + 4], len + 4);
    for (int i = 0; i < 4; ++i) f[idat + 8 + len + size_t(i)] = uint8_t(c >> (24 - 8 * i));
  };
  std::vector<uint8_t> badAdler = file;
  badAdler[idat + 8 + len - 1] ^= 0x55;
  setCrc(badAdler);
  TBitmap got;
  ASSERT_TRUE(DecodeBytes(ReadPNGStream, badAdler, got, params));
  for (int y = 0; y < 11; ++y) ASSERT_EQ(0, std::memcmp(got.ScanLine(y), src.ScanLine(y), 37 * 3)) << y;
  std::vector<uint8_t> badCrc = file;
  badCrc[idat + 8 + len - 1] ^= 0x55;
  EXPECT_FALSE(DecodeBytes(ReadPNGStream, badCrc, got, params));
}

}  // namespace
}  // namespace corvex
