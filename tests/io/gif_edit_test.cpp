// Editing GIF files: an animation built by insertion (read back here, by Pillow and by
// ImageMagick), insertion at the front, in the middle and at the end, deletion and counting,
// the looping extension, and files that are not GIFs or are damaged.
#include <gtest/gtest.h>

#include "tests/io/gif_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// A 24-bit image of one colour with a darker square at (k * 4, k * 3).
void MakeFrame(TBitmap& b, int w, int h, TRGB c, int k) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const bool square = x >= k * 4 && x < k * 4 + 8 && y >= k * 3 && y < k * 3 + 8;
      p[0] = square ? c.b / 2 : c.b;
      p[1] = square ? c.g / 2 : c.g;
      p[2] = square ? c.r / 2 : c.r;
    }
  }
}

const TRGB kColors[5] = {{0, 0, 255}, {0, 200, 0}, {255, 0, 0}, {40, 220, 220}, {128, 128, 128}};

// Equal within the quantizer's loss (median cut keeps 5 bits of each channel).
bool Near(TRGB a, TRGB b) {
  return std::abs(int(a.r) - int(b.r)) <= 8 && std::abs(int(a.g) - int(b.g)) <= 8 && std::abs(int(a.b) - int(b.b)) <= 8;
}

struct Session {
  bool abort = false;
  TProgressRec pr;
  Session() { pr.Aborting = &abort; }
};

void FrameParams(TIOParamsVals& p, int index, int delay) {
  p.BitsPerSample = 4;
  p.GIF_ImageIndex = index;
  p.GIF_DelayTime = delay;
  p.GIF_LZWCompress = GIFLZWCompress;
  p.GIF_LZWDecompress = GIFLZWDecompress;
}

// The frame's colour at (x, y) as this reader sees it.
TRGB PixelOf(const std::string& path, int index, int x, int y, int* count = nullptr) {
  TBitmap b;
  TIOParamsVals p;
  p.GIF_ImageIndex = index;
  EXPECT_TRUE(ReadGifFile(path, b, p, count));
  const uint8_t* q = b.ScanLine(y) + 3 * x;
  return TRGB{q[0], q[1], q[2]};
}

// An animation of n frames of 32 x 24: written, then each further frame inserted at the end,
// then marked as looping.
std::string BuildAnimation(const std::string& name, int n) {
  const std::string path = TempPath(name);
  Session s;
  TBitmap b;
  MakeFrame(b, 32, 24, kColors[0], 0);
  TIOParamsVals p;
  FrameParams(p, 0, 10);
  WriteGif(path, &b, p, s.pr);
  EXPECT_FALSE(s.abort);
  for (int k = 1; k < n; ++k) {
    MakeFrame(b, 32, 24, kColors[k], k);
    TIOParamsVals pk;
  FrameParams(pk, k, 10 * (k + 1));
    EXPECT_EQ(_InsertGifIm(path, &b, pk, s.pr), k + 1);
    EXPECT_FALSE(s.abort);
  }
  _GifMakeAnimate(path, 0, 32, 24);
  return path;
}

TEST(GifEdit, AnimationBuiltByInsertionReadsBackEverywhere) {
  const std::string path = BuildAnimation("gif_anim.gif", 3);
  EXPECT_TRUE(_CheckGifAnimate(path));
  EXPECT_EQ(_DeleteGifIm(path, -1, false), 3);
  for (int k = 0; k < 3; ++k) {
    TBitmap b;
    TIOParamsVals p;
    p.GIF_ImageIndex = k;
    int count = 0;
    ASSERT_TRUE(ReadGifFile(path, b, p, &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(p.GIF_DelayTime, 10 * (k + 1));
    EXPECT_EQ(std::string(p.GIF_Version.c_str()), "GIF89a");
    EXPECT_EQ(p.GIF_WinWidth, 32);
    const TRGB c = PixelOf(path, k, 31, 23);
    EXPECT_TRUE(Near(c, kColors[k])) << k;
  }

  if (HavePythonModule("PIL")) {
    PillowFrames pf;
    ASSERT_TRUE(PillowRead(path, pf));
    EXPECT_EQ(pf.count, 3);
    EXPECT_EQ(pf.loop, 0);
    EXPECT_EQ(pf.durations, (std::vector<int>{100, 200, 300}));
    for (int k = 0; k < 3; ++k) {
      TBitmap b;
      TIOParamsVals p;
      p.GIF_ImageIndex = k;
      ASSERT_TRUE(ReadGifFile(path, b, p));
      EXPECT_EQ(pf.rgb[size_t(k)], RgbBytes(b)) << "frame " << k;
    }
  }
  const std::string im = ImageMagick();
  if (!im.empty()) {
    // identify is the same program under another name.
    std::string out;
    const std::string identify = im == "magick" ? "magick identify" : "identify-im6.q16";
    ASSERT_EQ(RunCommand(identify + " -format '%T %w %h\\n' '" + path + "'", &out), 0);
    EXPECT_EQ(out, "10 32 24\n20 32 24\n30 32 24\n");
    out.clear();
    RunCommand(identify + " -verbose '" + path + "[0]' 2>/dev/null", &out);
    EXPECT_NE(out.find("Iterations: 0"), std::string::npos) << "loops for ever";
    for (int k = 0; k < 3; ++k) {
      const std::string raw = TempPath("gif_anim_im.rgb");
      ASSERT_EQ(RunCommand(im + " '" + path + "[" + std::to_string(k) + "]' -depth 8 'rgb:" + raw + "' 2>/dev/null"),
                0);
      TBitmap b;
      TIOParamsVals p;
      p.GIF_ImageIndex = k;
      ASSERT_TRUE(ReadGifFile(path, b, p));
      EXPECT_EQ(ReadFileBytes(raw), RgbBytes(b)) << "frame " << k;
    }
  }
  if (im.empty() && !HavePythonModule("PIL")) GTEST_SKIP() << "neither Pillow nor ImageMagick is installed";
}

TEST(GifEdit, InsertAtTheFrontInTheMiddleAndAtTheEnd) {
  const std::string path = BuildAnimation("gif_insert.gif", 3);  // every image has a control block
  Session s;
  TBitmap b;
  MakeFrame(b, 32, 24, kColors[3], 0);
  TIOParamsVals p;
  FrameParams(p, 0, 77);
  EXPECT_EQ(_InsertGifIm(path, &b, p, s.pr), 4);
  EXPECT_TRUE(Near(PixelOf(path, 0, 31, 23), kColors[3])) << "the new image comes first";
  EXPECT_TRUE(Near(PixelOf(path, 1, 31, 23), kColors[0]));
  EXPECT_TRUE(_CheckGifAnimate(path)) << "the looping extension stays before the images";

  MakeFrame(b, 32, 24, kColors[4], 0);
  TIOParamsVals p2;
  FrameParams(p2, 2, 5);
  EXPECT_EQ(_InsertGifIm(path, &b, p2, s.pr), 5);
  const TRGB order[5] = {kColors[3], kColors[0], kColors[4], kColors[1], kColors[2]};
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(Near(PixelOf(path, k, 31, 23), order[k])) << k;
  TIOParamsVals q;
  q.GIF_ImageIndex = 2;
  TBitmap r;
  ASSERT_TRUE(ReadGifFile(path, r, q));
  EXPECT_EQ(q.GIF_DelayTime, 5) << "its own control block";

  // At the image count: appended before the trailer; past it: appended too.
  TIOParamsVals p3;
  FrameParams(p3, 5, 1);
  EXPECT_EQ(_InsertGifIm(path, &b, p3, s.pr), 6);
  TIOParamsVals p4;
  FrameParams(p4, 40, 1);
  EXPECT_EQ(_InsertGifIm(path, &b, p4, s.pr), 7);
  EXPECT_TRUE(Near(PixelOf(path, 6, 31, 23), kColors[4]));
  EXPECT_FALSE(s.abort);
  EXPECT_EQ(ReadFileBytes(path).back(), ';');
}

TEST(GifEdit, InsertAtTheFrontOfAnImageWithoutControlBlock) {
  // A file of one image without a graphic control extension, written by hand.
  const std::string path = TempPath("gif_insert_nogce.gif");
  WriteFileBytes(path, GifBuilder().Header(6, 4, TestTable(4)).Image(0, 0, 6, 4, Indices(6, 4, 4), 2).Trailer().bytes);
  Session s;
  TBitmap b;
  MakeFrame(b, 6, 4, kColors[2], 5);
  TIOParamsVals p;
  FrameParams(p, 0, 3);
  EXPECT_EQ(_InsertGifIm(path, &b, p, s.pr), 2);
  int count = 0;
  EXPECT_TRUE(Near(PixelOf(path, 0, 0, 0, &count), kColors[2]));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ReadFileBytes(path)[4], '9') << "the header becomes GIF89a";
}

TEST(GifEdit, InsertIntoAStreamRewritesFromItsPosition) {
  const auto gif =
      GifBuilder().Header(6, 4, TestTable(4)).Gce(0, 9, 0).Image(0, 0, 6, 4, Indices(6, 4, 4), 2).Trailer().bytes;
  TMemoryStream m;
  const std::string prefix = "prefix bytes";
  m.WriteBuffer(prefix.data(), int64_t(prefix.size()));
  m.WriteBuffer(gif.data(), int64_t(gif.size()));
  m.WriteBuffer("tail", 4);  // beyond the trailer: dropped, the stream is cut to the new size
  m.SetPosition(int64_t(prefix.size()));
  Session s;
  TBitmap b;
  MakeFrame(b, 6, 4, kColors[1], 0);
  TIOParamsVals p;
  FrameParams(p, 1, 3);
  EXPECT_EQ(_InsertGifImStream(&m, &b, p, s.pr), 2);
  EXPECT_FALSE(s.abort);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), prefix.size()), prefix);
  EXPECT_EQ(m.Memory()[m.GetSize() - 1], ';');
  const std::vector<uint8_t> result(m.Memory() + prefix.size(), m.Memory() + m.GetSize());
  TBitmap r;
  TIOParamsVals rp;
  rp.GIF_ImageIndex = 1;
  int count = 0;
  ASSERT_TRUE(ReadGifBytes(result, r, rp, &count));
  EXPECT_EQ(count, 2);
  EXPECT_LE(MaxSampleDiff(r, b), 8);
}

TEST(GifEdit, DeleteAndCount) {
  const std::string path = BuildAnimation("gif_delete.gif", 5);
  const auto before = ReadFileBytes(path);
  EXPECT_EQ(_DeleteGifIm(path, -1, false), 5);
  EXPECT_EQ(ReadFileBytes(path), before) << "counting leaves the file as it was";
  EXPECT_EQ(_DeleteGifIm(path, 9, false), 5);

  EXPECT_EQ(_DeleteGifIm(path, 1, true), 4);
  const TRGB order[4] = {kColors[0], kColors[2], kColors[3], kColors[4]};
  for (int k = 0; k < 4; ++k) {
    TBitmap b;
    TIOParamsVals p;
    p.GIF_ImageIndex = k;
    ASSERT_TRUE(ReadGifFile(path, b, p));
    EXPECT_TRUE(Near(PixelOf(path, k, 31, 23), order[k])) << k;
    EXPECT_EQ(p.GIF_DelayTime, k == 0 ? 10 : 10 * (k + 2)) << "the control block went with its image";
  }
  EXPECT_TRUE(_CheckGifAnimate(path));
  EXPECT_EQ(_DeleteGifIm(path, 0, true), 3);
  EXPECT_EQ(_DeleteGifIm(path, -1, false), 3);

  // Damaged: a sub-block running past the end ends the walk, and nothing is saved.
  auto cut = ReadFileBytes(path);
  cut.erase(cut.end() - 20, cut.end());
  WriteFileBytes(path, cut);
  EXPECT_EQ(_DeleteGifIm(path, 0, true), 1);
  EXPECT_EQ(ReadFileBytes(path), cut);
}

TEST(GifEdit, LoopingExtension) {
  const std::string path = TempPath("gif_loop.gif");
  const auto file =
      GifBuilder().Header(6, 4, TestTable(4), 0, "GIF87a").Image(0, 0, 6, 4, Indices(6, 4, 4), 2).Trailer().bytes;
  WriteFileBytes(path, file);
  EXPECT_FALSE(_CheckGifAnimate(path));
  _GifMakeAnimate(path, 3, 100, 50);
  EXPECT_TRUE(_CheckGifAnimate(path));
  auto f = ReadFileBytes(path);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
  EXPECT_EQ(Get16(f, 6), 100);
  EXPECT_EQ(Get16(f, 8), 50);
  const size_t e = 13 + 12;
  const std::vector<uint8_t> ext(f.begin() + long(e), f.begin() + long(e) + 19);
  const std::vector<uint8_t> want = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                     'E',  '2',  '.',  '0', 3,   1,   3,   0,   0};
  EXPECT_EQ(ext, want);
  // Again: the old extension is replaced, not repeated.
  _GifMakeAnimate(path, 0, 100, 50);
  f = ReadFileBytes(path);
  EXPECT_EQ(f.size(), file.size() + 19);
  EXPECT_EQ(f[e + 16], 0);
  TBitmap b;
  TIOParamsVals p;
  int count = 0;
  EXPECT_TRUE(ReadGifFile(path, b, p, &count));
  EXPECT_EQ(count, 1);
}

TEST(GifEdit, FilesThatAreNotGifsOrHaveNoEncoder) {
  const std::string path = TempPath("gif_not.gif");
  const std::vector<uint8_t> junk = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  WriteFileBytes(path, junk);
  Session s;
  TBitmap b;
  MakeFrame(b, 4, 4, kColors[0], 0);
  TIOParamsVals p;
  FrameParams(p, 0, 0);
  EXPECT_EQ(_InsertGifIm(path, &b, p, s.pr), 0);
  EXPECT_FALSE(s.abort);
  EXPECT_EQ(_DeleteGifIm(path, 0, true), 0);
  EXPECT_FALSE(_CheckGifAnimate(path));
  _GifMakeAnimate(path, 0, 10, 10);
  EXPECT_EQ(ReadFileBytes(path), junk);
  EXPECT_THROW(_DeleteGifIm(TempPath("gif_missing.gif"), -1, false), EFOpenError);

  // No encoder: the insertion fails and the stored GIF stays as it was.
  const std::string anim = BuildAnimation("gif_noenc.gif", 2);
  const auto before = ReadFileBytes(anim);
  const TGIFLZWCompFunc saved = DefGIF_LZWCOMPFUNC;
  DefGIF_LZWCOMPFUNC = nullptr;
  TIOParamsVals none;
  FrameParams(none, 1, 0);
  none.GIF_LZWCompress = nullptr;
  Session s2;
  EXPECT_EQ(_InsertGifIm(anim, &b, none, s2.pr), 0);
  EXPECT_TRUE(s2.abort);
  DefGIF_LZWCOMPFUNC = saved;
  EXPECT_EQ(ReadFileBytes(anim), before);
}

TEST(GifEdit, DamagedFilesNeverCrashTheEditors) {
  const std::string path = BuildAnimation("gif_damage_src.gif", 3);
  _GifMakeAnimate(path, 2, 32, 24);
  const auto file = ReadFileBytes(path);
  const std::string work = TempPath("gif_damage.gif");
  TBitmap b;
  MakeFrame(b, 8, 8, kColors[1], 0);
  for (uint32_t round = 0; round < 60; ++round) {
    // Odd rounds cut the file short, even ones change six bytes.
    Damage how;
    how.minEdits = how.maxEdits = round % 2 ? 0 : 6;
    how.cutTo = round % 2;
    const auto bad = DamagedCopy(file, round, how);
    WriteFileBytes(work, bad);
    _DeleteGifIm(work, -1, false);
    _CheckGifAnimate(work);
    _DeleteGifIm(work, int(round % 3), true);
    WriteFileBytes(work, bad);
    _GifMakeAnimate(work, 0, 40, 40);
    TMemoryStream m;
    m.WriteBuffer(bad.data(), int64_t(bad.size()));
    m.SetPosition(0);
    Session s;
    TIOParamsVals p;
    FrameParams(p, int(round / 2 % 4), 1);
    const int n = _InsertGifImStream(&m, &b, p, s.pr);
    if (n > 0) {
      // What an insertion wrote is a GIF whose images this reader counts as the inserter did.
      const std::vector<uint8_t> out(m.Memory(), m.Memory() + m.GetSize());
      TBitmap r;
      TIOParamsVals rp;
      int count = 0;
      EXPECT_TRUE(ReadGifBytes(out, r, rp, &count, true));
      EXPECT_EQ(count, n);
    }
  }
}

}  // namespace
}  // namespace corvex
