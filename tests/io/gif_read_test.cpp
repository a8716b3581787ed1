// GIF reading: the corpus against its references, every frame of the animations, hostile and
// damaged files, and hand-built files for the rules of the reader (1-bit tables, image n of a
// file, the graphic control extension, missing tables, limits, hooks, preview and progress).
#include <gtest/gtest.h>

#include "corvex/io/codecs/pngfilt.h"
#include "corvex/platform/screen.h"
#include "tests/io/gif_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// The RGB bytes of the rectangle (x, y, w, h) of a bitmap.
std::vector<uint8_t> Crop(const TBitmap& b, int x0, int y0, int w, int h) {
  const auto all = RgbBytes(b);
  std::vector<uint8_t> out;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const size_t i = (size_t(y) * size_t(b.GetWidth()) + size_t(x)) * 3;
      out.insert(out.end(), all.begin() + long(i), all.begin() + long(i + 3));
    }
  return out;
}

TEST(GifRead, CorpusFilesMatchTheirReferences) {
  CORVEX_REQUIRE_CORPUS();
  int exact = 0, cropped = 0;
  for (const ManifestRow& row : ReadManifest("gif/")) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    int count = 0;
    ASSERT_TRUE(ReadGifFile(row.Path(), bmp, params, &count));
    EXPECT_EQ(count, row.frames);
    EXPECT_EQ(params.GIF_ImageCount, row.frames);
    if (row.file == "gif/pillow_first_frame_transparency.gif") {
      // Exception: the first image (50 x 50 at 25, 0) is smaller than the logical screen
      // (75 x 50). The reference decoder composes it on the screen; this reader gives the image
      // as stored, which must equal that part of the reference.
      TBitmap ref;
      TIOParamsVals rp;
      ASSERT_TRUE(DecodeFile(ReadPNGStream, row.ReferencePath(), ref, rp));
      ASSERT_EQ(bmp.GetWidth(), 50);
      ASSERT_EQ(bmp.GetHeight(), 50);
      EXPECT_EQ(params.GIF_XPos, 25);
      EXPECT_EQ(RgbBytes(bmp), Crop(ref, 25, 0, 50, 50));
      ++cropped;
      continue;
    }
    EXPECT_EQ(bmp.GetWidth(), row.width);
    EXPECT_EQ(bmp.GetHeight(), row.height);
    EXPECT_EQ(RgbDigest16(bmp), row.rgb_sha256_16);
    ++exact;
  }
  EXPECT_EQ(exact, 25);
  EXPECT_EQ(cropped, 1);
}

TEST(GifRead, EveryFrameOfTheAnimationsDecodes) {
  CORVEX_REQUIRE_CORPUS();
  int frames = 0;
  for (const ManifestRow& row : ReadManifest("gif/")) {
    if (!row.Decodes() || row.frames < 2) continue;
    SCOPED_TRACE(row.file);
    const auto file = ReadFileBytes(row.Path());
    for (int k = 0; k < row.frames; ++k) {
      SCOPED_TRACE(k);
      TBitmap bmp;
      TIOParamsVals params;
      params.GIF_ImageIndex = k;
      int count = 0;
      ASSERT_TRUE(ReadGifBytes(file, bmp, params, &count));
      EXPECT_EQ(count, row.frames);
      EXPECT_EQ(bmp.GetWidth(), params.Width);
      EXPECT_EQ(bmp.GetHeight(), params.Height);
      EXPECT_GT(bmp.GetWidth() * bmp.GetHeight(), 0);
      ++frames;
    }
  }
  EXPECT_EQ(frames, 2 + 31 + 5 + 2 + 5 + 2 + 2 + 42 + 4 + 2 + 2 + 2 + 3 + 2 + 2 + 3);
}

TEST(GifRead, HostileAndDamagedFilesNeverCrash) {
  CORVEX_REQUIRE_CORPUS();
  for (const ManifestRow& row : ReadManifest("gif/")) {
    if (row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap bmp;
    TIOParamsVals params;
    // Both claim images far beyond their 44 bytes (one 65535 x 1321 with a code size of 143,
    // one 0 pixels wide): the read must fail, not decode nothing into a huge bitmap.
    EXPECT_FALSE(ReadGifFile(row.Path(), bmp, params));
    EXPECT_EQ(bmp.GetWidth(), 0);
  }
  // Every file cut short at many places, and with bytes changed at random: each ends with a legal
  // image, or with the abort flag and the bitmap empty or holding the rows read, or (an image
  // index past the last image) with nothing loaded and no error.
  LoadTally tally;
  for (const std::string name : {"gif/peer_im_hopper.gif", "gif/pillow_dispose_prev.gif", "gif/pillow_iss634.gif",
                                 "gif/pillow_hopper_zero_comment_subblocks.gif"}) {
    const auto file = ReadFileBytes(CorpusFile(name));
    auto check = [&](const std::vector<uint8_t>& bytes, int index, const std::string& what) {
      TBitmap bmp;
      TIOParamsVals params;
      params.GIF_ImageIndex = index;
      LoadContract contract;
      tally.Add(CheckLoad(
                    [&] {
                      int count = 0;
                      const bool loaded = ReadGifBytes(bytes, bmp, params, &count);
                      contract.nothingToLoad = index >= count;
                      return loaded;
                    },
                    bmp, params, contract),
                [&] { return name + ", " + what; });
    };
    for (int cut = 0; cut < 40; ++cut) {
      const std::vector<uint8_t> part(file.begin(), file.begin() + long(file.size() * size_t(cut) / 40));
      check(part, cut % 3, "cut at " + std::to_string(part.size()));
    }
    Damage how;
    how.minEdits = how.maxEdits = 8;
    how.span = std::min<size_t>(file.size(), 2000);
    for (uint32_t seed = 0; seed < 40; ++seed)
      check(DamagedCopy(file, seed, how), int(seed % 2), "damage seed " + std::to_string(seed));
  }
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.loaded, 0);
  EXPECT_GT(tally.refused, 0);
}

TEST(GifRead, BlackThenWhiteIsOneBitAndOtherTwoColourTablesAre24Bit) {
  const auto idx = Indices(21, 5, 2);
  TBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(
      ReadGifBytes(GifBuilder().Header(21, 5, BlackWhite()).Image(0, 0, 21, 5, idx, 1).Trailer().bytes, bmp, p));
  ASSERT_EQ(bmp.GetPixelFormat(), pf1bit);
  EXPECT_EQ(p.BitsPerSample, 1);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.GetColorMapCount(), 2);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 21; ++x)
      EXPECT_EQ((bmp.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1, idx[size_t(y * 21 + x)]) << x << "," << y;

  const std::vector<TRGB> whiteBlack = {TRGB{255, 255, 255}, TRGB{0, 0, 0}};
  TBitmap b2;
  TIOParamsVals p2;
  ASSERT_TRUE(ReadGifBytes(GifBuilder().Header(21, 5, whiteBlack).Image(0, 0, 21, 5, idx, 1).Trailer().bytes, b2, p2));
  EXPECT_EQ(b2.GetPixelFormat(), pf24bit);
  EXPECT_EQ(IndicesOf(b2, whiteBlack), idx);
}

TEST(GifRead, ImageNOfAFileWithItsOwnTableAndControlBlock) {
  const auto global = TestTable(16);
  const auto local = TestTable(4);
  GifBuilder g;
  g.Header(40, 30, global, 3, "GIF87a").Comment("first").Netscape(0);
  g.Gce(0x09, 11, 5).Image(0, 0, 10, 8, Indices(10, 8, 16, 1), 4);
  g.Gce(0x08, 22, 1).Image(2, 3, 12, 9, Indices(12, 9, 16, 2), 4);
  g.Gce(0x01, 33, 2, 6).Comment("a comment between").Image(5, 6, 7, 4, Indices(7, 4, 4, 3), 2, local, true);
  g.Trailer();

  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    TBitmap bmp;
    TIOParamsVals p;
    p.GIF_ImageIndex = k;
    int count = 0;
    ASSERT_TRUE(ReadGifBytes(g.bytes, bmp, p, &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(p.GIF_ImageCount, 3);
    EXPECT_EQ(p.GIF_Version, std::string("GIF87a", 6) + '\0');
    EXPECT_EQ(p.GIF_WinWidth, 40);
    EXPECT_EQ(p.GIF_WinHeight, 30);
    EXPECT_TRUE(EqualRGB(p.GIF_Background, global[3]));
    EXPECT_EQ(p.DpiX, gSystemDPIX);
    const int w[3] = {10, 12, 7}, h[3] = {8, 9, 4}, x[3] = {0, 2, 5}, y[3] = {0, 3, 6}, delay[3] = {11, 22, 33};
    const bool transparent[3] = {true, false, true};
    EXPECT_EQ(bmp.GetWidth(), w[k]);
    EXPECT_EQ(bmp.GetHeight(), h[k]);
    EXPECT_EQ(p.GIF_XPos, x[k]);
    EXPECT_EQ(p.GIF_YPos, y[k]);
    EXPECT_EQ(p.GIF_DelayTime, delay[k]);
    EXPECT_EQ(p.GIF_FlagTranspColor, transparent[k]);
    EXPECT_EQ(p.GIF_Interlaced, k == 2);
    const auto& table = k == 2 ? local : global;
    EXPECT_TRUE(EqualRGB(p.GIF_TranspColor, table[size_t(k == 0 ? 5 : k == 1 ? 1 : 2)]));
    EXPECT_EQ(p.BitsPerSample, k == 2 ? 2 : 4);
    EXPECT_EQ(p.GetColorMapCount(), k == 2 ? 4 : 16);
    EXPECT_EQ(IndicesOf(bmp, table), Indices(w[k], h[k], k == 2 ? 4 : 16, k + 1));
  }

  // An index past the last image: every image counted, nothing decoded, no error.
  TBitmap keep(3, 2, pf1bit);
  TIOParamsVals p;
  p.GIF_ImageIndex = 3;
  int count = 0;
  ASSERT_TRUE(ReadGifBytes(g.bytes, keep, p, &count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(keep.GetWidth(), 3);
  EXPECT_EQ(keep.GetPixelFormat(), pf1bit);

  // Preview: parameters of the image, the bitmap untouched, the count complete.
  TIOParamsVals pv;
  pv.GIF_ImageIndex = 1;
  ASSERT_TRUE(ReadGifBytes(g.bytes, keep, pv, &count, true));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(pv.Width, 12);
  EXPECT_EQ(pv.GIF_DelayTime, 22);
  EXPECT_EQ(pv.GetColorMapCount(), 16);
  EXPECT_EQ(keep.GetWidth(), 3);
}

TEST(GifRead, MissingTablesAndIndicesOutsideThemAreSafe) {
  // No table at all: index i is grey i.
  TBitmap bmp;
  TIOParamsVals p;
  const std::vector<uint8_t> idx = {0, 1, 2, 3, 100, 200, 254, 255};
  ASSERT_TRUE(ReadGifBytes(GifBuilder().Header(8, 1, {}).Gce(1, 0, 200).Image(0, 0, 8, 1, idx, 8).Trailer().bytes,
                           bmp, p));
  const auto rgb = RgbBytes(bmp);
  for (size_t i = 0; i < idx.size(); ++i)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(rgb[i * 3 + size_t(c)], idx[i]);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.GetColorMapCount(), 256);
  EXPECT_TRUE(EqualRGB(p.GIF_TranspColor, TRGB{200, 200, 200}));

  // A 4-entry table, indices, background and transparent index past it: black.
  const auto t4 = TestTable(4);
  TBitmap b2;
  TIOParamsVals p2;
  p2.GIF_Background = TRGB{1, 2, 3};
  ASSERT_TRUE(ReadGifBytes(
      GifBuilder().Header(8, 1, t4, 200).Gce(1, 0, 99).Image(0, 0, 8, 1, idx, 8).Trailer().bytes, b2, p2));
  const auto rgb2 = RgbBytes(b2);
  for (size_t i = 0; i < idx.size(); ++i) {
    const TRGB want = idx[i] < 4 ? t4[idx[i]] : TRGB{0, 0, 0};
    EXPECT_EQ(rgb2[i * 3], want.r);
    EXPECT_EQ(rgb2[i * 3 + 1], want.g);
    EXPECT_EQ(rgb2[i * 3 + 2], want.b);
  }
  EXPECT_TRUE(EqualRGB(p2.GIF_Background, TRGB{0, 0, 0}));
  EXPECT_TRUE(EqualRGB(p2.GIF_TranspColor, TRGB{0, 0, 0}));
}

TEST(GifRead, FailuresSetTheAbortFlagAndKeepTheBitmap) {
  const auto ok = GifBuilder().Header(4, 4, TestTable(4)).Image(0, 0, 4, 4, Indices(4, 4, 4), 2).Trailer().bytes;
  auto expectFail = [](const std::vector<uint8_t>& file, TIOParamsVals& p) {
    TBitmap keep(2, 2, pf1bit);
    EXPECT_FALSE(ReadGifBytes(file, keep, p));
    EXPECT_EQ(keep.GetWidth(), 2);
    EXPECT_EQ(keep.GetPixelFormat(), pf1bit);
  };
  {
    SCOPED_TRACE("not a GIF");
    TIOParamsVals p;
    auto bad = ok;
    bad[0] = 'J';
    expectFail(bad, p);
  }
  {
    SCOPED_TRACE("nothing after the header");
    TIOParamsVals p;
    expectFail(std::vector<uint8_t>(ok.begin(), ok.begin() + 13 + 12), p);
  }
  {
    SCOPED_TRACE("no decoder");
    const TGIFLZWDecompFunc saved = DefGIF_LZWDECOMPFUNC;
    DefGIF_LZWDECOMPFUNC = nullptr;
    TIOParamsVals p;
    p.GIF_LZWDecompress = nullptr;
    TBitmap keep(2, 2, pf1bit);
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TPointerStream s(ok.data(), int64_t(ok.size()));
    int n = 0;
    ReadGifStream(&s, &keep, n, p, pr, false);
    EXPECT_TRUE(abort);
    EXPECT_EQ(keep.GetWidth(), 2);
    DefGIF_LZWDECOMPFUNC = saved;
  }
  {
    SCOPED_TRACE("a decoder that consumes nothing");
    TIOParamsVals p;
    p.GIF_LZWDecompress = [](TStream*, int, int, uint8_t*, bool) { return 1; };
    expectFail(ok, p);
  }
  {
    SCOPED_TRACE("an image over the pixel limit, refused before anything is allocated");
    TIOParamsVals p;
    auto big = ok;
    big[13 + 12 + 5] = 0xFF;  // width 65535 + ...
    big[13 + 12 + 6] = 0xFF;
    big[13 + 12 + 7] = 0xFF;  // ... height 65535
    big[13 + 12 + 8] = 0xFF;
    expectFail(big, p);
    const int64_t saved = gMaxImagePixels;
    gMaxImagePixels = 15;
    TIOParamsVals p2;
    expectFail(ok, p2);
    gMaxImagePixels = saved;
  }
  // A file without its trailer reads as if it had one.
  TBitmap bmp;
  TIOParamsVals p;
  EXPECT_TRUE(ReadGifBytes(std::vector<uint8_t>(ok.begin(), ok.end() - 1), bmp, p));
  EXPECT_EQ(bmp.GetWidth(), 4);
}

TEST(GifRead, ProgressStagesAndStoppingAtThirty) {
  const auto file = GifBuilder().Header(4, 4, TestTable(4)).Image(0, 0, 4, 4, Indices(4, 4, 4), 2).Trailer().bytes;
  ProgressLog log;
  TProgressRec pr;
  pr.OnProgress = log.Event();
  TBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(ReadGifBytes(file, bmp, p, nullptr, false, &pr));
  EXPECT_EQ(log.seen, (std::vector<int>{0, 30, 70, 100}));

  bool abort = false;
  ProgressLog stop;
  stop.abort = &abort;
  stop.stopAtPercent = 30;
  TProgressRec pr2;
  pr2.Aborting = &abort;
  pr2.OnProgress = stop.Event();
  TBitmap keep(1, 1, pf1bit);
  TIOParamsVals p2;
  EXPECT_FALSE(ReadGifBytes(file, keep, p2, nullptr, false, &pr2));
  EXPECT_EQ(stop.seen, (std::vector<int>{0, 30}));
  EXPECT_EQ(keep.GetPixelFormat(), pf1bit);
}

}  // namespace
}  // namespace corvex
