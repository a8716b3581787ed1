// The AVI file service: videos written by ffmpeg read back frame by frame, our AVIs read back by
// ffprobe, ffmpeg and our reader, damaged files and unwritable places, and the options dialog.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "corvex/dialogs/AVIOptions.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/stdctrls.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::HaveProgram;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempPath;
using testing_support::WriteFileBytes;

constexpr int W = 61, H = 37;  // odd: DIB rows carry padding, chroma planes round up

// Frame i: eight coloured bars, and across the top left a counter of four 8x8 blocks (the bits
// of i, white for 1). Ten colours in all, so every frame also fits a 4 or 8-bit palette.
constexpr uint8_t kColors[10][3] = {{0, 0, 0},     {255, 255, 255}, {0, 0, 255},   {0, 255, 0}, {255, 0, 0},
                                    {0, 255, 255}, {255, 0, 255},   {255, 255, 0}, {40, 90, 160}, {200, 140, 60}};
int ColorIndex(int i, int x, int y) {
  if (y < 8 && x < 32) return (i >> (x / 8)) & 1;
  return 2 + x * 8 / W;
}
// Top-down BGR rows without padding.
using Rgb = std::vector<uint8_t>;
Rgb MakeFrame(int i) {
  Rgb f(size_t(W) * H * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) std::memcpy(&f[(size_t(y) * W + x) * 3], kColors[ColorIndex(i, x, y)], 3);
  return f;
}
int CounterOf(const Rgb& f) {
  int n = 0;
  for (int b = 0; b < 4; ++b) {
    int sum = 0;
    for (int y = 2; y < 6; ++y)
      for (int x = b * 8 + 2; x < b * 8 + 6; ++x) sum += f[(size_t(y) * W + x) * 3 + 1];
    if (sum / 16 > 128) n |= 1 << b;
  }
  return n;
}
double MeanAbsDiff(const Rgb& a, const Rgb& b) {
  if (a.size() != b.size()) return 1e9;
  double s = 0;
  for (size_t k = 0; k < a.size(); ++k) s += std::abs(int(a[k]) - int(b[k]));
  return s / double(a.size());
}

// Frame i as a packed DIB of 1, 4, 8, 24 or 32 bits (negative Bits: top-down rows).
std::vector<uint8_t> MakeDIB(int i, int Bits) {
  const bool topDown = Bits < 0;
  Bits = std::abs(Bits);
  const int colors = Bits <= 8 ? 10 : 0;
  const size_t stride = ((size_t(W) * Bits + 31) / 32) * 4;
  std::vector<uint8_t> d(40 + colors * 4 + stride * H, 0);
  TBitmapInfoHeader h;
  h.biWidth = W;
  h.biHeight = topDown ? -H : H;
  h.biBitCount = uint16_t(Bits);
  h.biClrUsed = uint32_t(colors);
  std::memcpy(d.data(), &h, 40);
  for (int c = 0; c < colors; ++c) std::memcpy(&d[40 + c * 4], kColors[c], 3);
  for (int y = 0; y < H; ++y) {
    uint8_t* row = &d[40 + colors * 4 + stride * size_t(topDown ? y : H - 1 - y)];
    for (int x = 0; x < W; ++x) {
      const int c = ColorIndex(i, x, y);
      if (Bits == 24) std::memcpy(row + x * 3, kColors[c], 3);
      else if (Bits == 32) std::memcpy(row + x * 4, kColors[c], 3), row[x * 4 + 3] = 0x5A;
      else if (Bits == 8) row[x] = uint8_t(c);
      else if (Bits == 4) row[x / 2] |= uint8_t(c << (x % 2 ? 0 : 4));
    }
  }
  return d;
}

// A 24-bit bottom-up packed DIB from the reader back to top-down rows, checking its header.
Rgb FromDIB(const TBitmapInfoHeader* h, size_t Size) {
  EXPECT_EQ(h->biSize, 40u);
  EXPECT_EQ(h->biWidth, W);
  EXPECT_EQ(h->biHeight, H);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biCompression, BI_RGB);
  const size_t stride = (size_t(W) * 3 + 3) & ~size_t(3);
  EXPECT_EQ(Size, 40 + stride * H);
  Rgb f(size_t(W) * H * 3);
  const auto* rows = reinterpret_cast<const uint8_t*>(h) + 40;
  for (int y = 0; y < H; ++y) std::memcpy(&f[size_t(y) * W * 3], rows + stride * (H - 1 - y), size_t(W) * 3);
  return f;
}

bool HaveFFmpeg() { return HaveProgram("ffmpeg") && HaveProgram("ffprobe"); }

// ffprobe's view of a file's first video stream: "codec_name=...\nwidth=...\n...".
std::string Probe(const std::string& Path) {
  std::string out;
  RunCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
             "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=nw=1 '" + Path + "'",
             &out);
  return out;
}

// ffmpeg's own decoding of a file to top-down BGR rows, frame after frame.
Rgb PeerDecode(const std::string& Path) {
  const std::string out = Path + ".rgb";
  if (RunCommand("ffmpeg -v error -y -i '" + Path + "' -f rawvideo -pix_fmt bgr24 '" + out + "'") != 0) return {};
  return ReadFileBytes(out);
}
Rgb FrameOf(const Rgb& All, int i) {
  const size_t n = size_t(W) * H * 3;
  if (All.size() < n * size_t(i + 1)) return {};
  return Rgb(All.begin() + long(n * size_t(i)), All.begin() + long(n * size_t(i + 1)));
}

// Writes Count frames with our writer; frame i in the bit depth Depths[i % size].
bool WriteOurs(const std::string& Path, TAVISaveOptions Options, int Count, const std::vector<int>& Depths,
               uint32_t Rate = 10) {
  TAVIWriter w;
  TBitmapInfoHeader h;
  h.biWidth = W;
  h.biHeight = H;
  h.biBitCount = 24;
  if (!w.Create(Path) || !w.CreateStream(Rate) || !AVISaveOptions(Options) || !w.SetCompression(Options) ||
      !w.SetFormat(h))
    return false;
  for (int i = 0; i < Count; ++i) {
    const auto dib = MakeDIB(i, Depths[size_t(i) % Depths.size()]);
    if (!w.WriteFrame(dib.data(), dib.size())) return false;
  }
  return w.Close();
}

int CountTempFiles(const std::string& Folder) {
  int n = 0;
  if (DIR* d = ::opendir(Folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::strstr(e->d_name, ".corvex-") != nullptr) ++n;
    ::closedir(d);
  }
  return n;
}

TEST(AVIFile, ReadsVideosWrittenByFFmpegFrameByFrame) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const int kFrames = 7;
  Rgb all;
  for (int i = 0; i < kFrames; ++i) {
    const Rgb f = MakeFrame(i);
    all.insert(all.end(), f.begin(), f.end());
  }
  const std::string rgb = TempPath("frames.rgb");
  WriteFileBytes(rgb, all);
  struct Case {
    const char* codec;  // ffmpeg's encoder options
    const char* rate;
    uint32_t Rate, Scale;
    bool lossy;
  } cases[] = {{"-c:v rawvideo -pix_fmt bgr24", "25", 25, 1, false},
               {"-c:v mjpeg -pix_fmt yuvj420p -q:v 3", "12", 12, 1, true},
               {"-c:v mpeg4 -bf 2 -pix_fmt yuv420p -q:v 2", "30000/1001", 30000, 1001, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec);
    const std::string avi = TempPath("peer.avi");
    ASSERT_EQ(RunCommand(std::string("ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 61x37 -r ") + c.rate + " -i '" +
                         rgb + "' " + c.codec + " '" + avi + "'"),
              0);
    TAVIReader r;
    ASSERT_TRUE(r.Open(avi)) << r.GetError();
    EXPECT_EQ(r.GetInfo().Length, kFrames);
    EXPECT_EQ(r.GetInfo().Rate, c.Rate);
    EXPECT_EQ(r.GetInfo().Scale, c.Scale);
    EXPECT_EQ(r.GetInfo().Width, W);
    EXPECT_EQ(r.GetInfo().Height, H);
    const Rgb peer = PeerDecode(avi);
    std::vector<Rgb> got;
    for (int i = 0; i < kFrames; ++i) {
      const TBitmapInfoHeader* h = r.GetFrame(i);
      ASSERT_NE(h, nullptr) << "frame " << i << ": " << r.GetError();
      got.push_back(FromDIB(h, r.GetFrameSize()));
      EXPECT_EQ(CounterOf(got.back()), i);
      if (!c.lossy) {
        EXPECT_EQ(got.back(), MakeFrame(i)) << "frame " << i;
      } else {
        // The bars' sharp colour edges lose much to 4:2:0 chroma; ffmpeg's own decoding loses
        // the same.
        EXPECT_LT(MeanAbsDiff(got.back(), MakeFrame(i)), 20) << "frame " << i;
        EXPECT_LT(MeanAbsDiff(got.back(), FrameOf(peer, i)), 1.0) << "frame " << i;
      }
    }
    EXPECT_EQ(r.GetFrame(kFrames), nullptr);
    // Backwards and skipping ahead give the same frames; so does a block of global memory.
    for (int i : {5, 2, 6, 0}) {
      const TBitmapInfoHeader* h = r.GetFrame(i);
      ASSERT_NE(h, nullptr) << r.GetError();
      EXPECT_EQ(FromDIB(h, r.GetFrameSize()), got[size_t(i)]) << "frame " << i;
    }
    const HGLOBAL g = r.GetFrameDIB(3);
    ASSERT_NE(g, 0u);
    EXPECT_EQ(FromDIB(static_cast<const TBitmapInfoHeader*>(GlobalLock(g)), GlobalSize(g)), got[3]);
    GlobalUnlock(g);
    GlobalFree(g);
  }

  // A frame left out (its time stamp skipped, an empty chunk in the AVI) repeats the one before.
  const std::string gap = TempPath("gap.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 61x37 -r 25 -i '" + rgb +
                       "' -vf \"select='not(eq(n,3))'\" -fps_mode passthrough -c:v mjpeg '" + gap + "'"),
            0);
  TAVIReader r;
  ASSERT_TRUE(r.Open(gap)) << r.GetError();
  ASSERT_EQ(r.GetInfo().Length, kFrames);
  for (int i : {0, 1, 2, 3, 4, 5, 6, 3}) {
    const TBitmapInfoHeader* h = r.GetFrame(i);
    ASSERT_NE(h, nullptr) << "frame " << i << ": " << r.GetError();
    EXPECT_EQ(CounterOf(FromDIB(h, r.GetFrameSize())), i == 3 ? 2 : i);
  }
}

TEST(AVIFile, OurAVIsReadBackByFFprobeFFmpegAndOurReader) {
  const std::vector<int> depths = {24, -32, 8, 4, 24};  // -32: top-down rows
  struct Case {
    TAVICodec codec;
    const char* name;
    bool lossy;
  } cases[] = {{avcUncompressed, "rawvideo", false}, {avcMJPEG, "mjpeg", true}, {avcFFV1, "ffv1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string avi = TempPath(std::string("ours_") + c.name + ".avi");
    TAVISaveOptions o;
    o.Codec = c.codec;
    o.Quality = 50;
    ASSERT_TRUE(WriteOurs(avi, o, 5, depths));
    Rgb peer;
    if (HaveFFmpeg()) {
      EXPECT_EQ(Probe(avi), std::string("codec_name=") + c.name +
                                "\nwidth=61\nheight=37\nr_frame_rate=10/1\nnb_read_frames=5\n");
      peer = PeerDecode(avi);
      ASSERT_EQ(peer.size(), size_t(W) * H * 3 * 5);
    }
    TAVIReader r;
    ASSERT_TRUE(r.Open(avi)) << r.GetError();
    EXPECT_EQ(r.GetInfo().Length, 5);
    EXPECT_EQ(r.GetInfo().Rate, 10u);
    EXPECT_EQ(r.GetInfo().Scale, 1u);
    for (int i = 0; i < 5; ++i) {
      const TBitmapInfoHeader* h = r.GetFrame(i);
      ASSERT_NE(h, nullptr) << r.GetError();
      const Rgb f = FromDIB(h, r.GetFrameSize());
      EXPECT_EQ(CounterOf(f), i);
      EXPECT_LT(MeanAbsDiff(f, MakeFrame(i)), c.lossy ? 20 : 1e-9) << "frame " << i;
      // ffmpeg reads the same pictures (the uncompressed ones the right way up).
      if (!peer.empty()) {
        EXPECT_LT(MeanAbsDiff(f, FrameOf(peer, i)), c.lossy ? 1.0 : 1e-9) << "frame " << i;
      }
    }
    if (c.codec != avcUncompressed) continue;
    // Uncompressed frames are the DIBs' own bytes: a bottom-up header (positive height) and
    // padded rows.
    const std::vector<uint8_t> bytes = ReadFileBytes(avi);
    const std::string text(bytes.begin(), bytes.end());
    const size_t strf = text.find("strf");
    ASSERT_NE(strf, std::string::npos);
    int32_t height = 0;
    std::memcpy(&height, &bytes[strf + 16], 4);
    EXPECT_EQ(height, H);
    const std::vector<uint8_t> dib0 = MakeDIB(0, 24);
    EXPECT_NE(text.find(std::string(dib0.begin() + 40, dib0.end())), std::string::npos);
  }
}

TEST(AVIFile, DamagedFilesAbsurdRatesAndUnwritablePlaces) {
  TAVIReader r;
  EXPECT_FALSE(r.Open(TempPath("no-such-file.avi")));
  EXPECT_FALSE(r.GetError().empty());
  EXPECT_EQ(r.GetFrame(0), nullptr);
  const std::string text = TempPath("text.avi");
  WriteFileBytes(text, std::vector<uint8_t>(300, 'x'));
  EXPECT_FALSE(r.Open(text));

  // Cut in the middle: the frames before the cut read, the rest fail, and the reader still
  // goes back to frame 0.
  const std::string whole = TempPath("whole.avi"), cut = TempPath("cut.avi");
  ASSERT_TRUE(WriteOurs(whole, TAVISaveOptions(), 10, {24}));
  std::vector<uint8_t> bytes = ReadFileBytes(whole);

  // A stream header claiming 100000 frames a second: the rate is reported unknown, the frames
  // still read.
  std::vector<uint8_t> fast = bytes;
  const size_t strh = std::string(fast.begin(), fast.end()).find("strh");
  ASSERT_NE(strh, std::string::npos);
  const uint32_t absurd = 100000;
  std::memcpy(&fast[strh + 8 + 24], &absurd, 4);  // dwRate
  const std::string fastPath = TempPath("fast.avi");
  WriteFileBytes(fastPath, fast);
  ASSERT_TRUE(r.Open(fastPath)) << r.GetError();
  EXPECT_FALSE(AVIRateKnown(r.GetInfo()));
  EXPECT_EQ(r.GetInfo().Rate, 0u);
  EXPECT_EQ(r.GetInfo().Length, 10);
  ASSERT_NE(r.GetFrame(9), nullptr);
  EXPECT_EQ(FromDIB(r.GetFrame(9), r.GetFrameSize()), MakeFrame(9));

  WriteFileBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() * 55 / 100)));
  ASSERT_TRUE(r.Open(cut)) << r.GetError();
  int good = 0;
  for (int i = 0; i < r.GetInfo().Length; ++i) {
    const TBitmapInfoHeader* h = r.GetFrame(i);
    if (h == nullptr) break;
    EXPECT_EQ(FromDIB(h, r.GetFrameSize()), MakeFrame(i));
    ++good;
  }
  EXPECT_GE(good, 3);
  EXPECT_LT(good, 10);
  EXPECT_EQ(r.GetFrame(good), nullptr);
  EXPECT_FALSE(r.GetError().empty());
  ASSERT_NE(r.GetFrame(0), nullptr) << r.GetError();

  // Garbage over the compressed data of an MJPEG file: frames decode or fail, never crash.
  const std::string mjpeg = TempPath("damaged.avi");
  TAVISaveOptions o;
  o.Codec = avcMJPEG;
  ASSERT_TRUE(WriteOurs(mjpeg, o, 6, {24}));
  bytes = ReadFileBytes(mjpeg);
  for (size_t k = bytes.size() / 3; k < bytes.size() * 2 / 3; k += 7) bytes[k] = uint8_t(k * 131);
  WriteFileBytes(mjpeg, bytes);
  if (r.Open(mjpeg)) {
    for (int i = 0; i < r.GetInfo().Length + 1; ++i)
      if (const TBitmapInfoHeader* h = r.GetFrame(i)) {
        EXPECT_EQ(h->biWidth, W);
        EXPECT_EQ(r.GetFrameSize(), 40 + 184u * H);
      }
  }

  // A folder that does not exist cannot take a file; nothing is left behind.
  TAVIWriter w;
  EXPECT_FALSE(w.Create(TempPath("missing-folder") + "/x.avi"));
  EXPECT_FALSE(w.GetError().empty());
  // An abandoned save keeps the file that was there, and leaves no temporary file.
  const std::string folder = TempPath("abort");
  ASSERT_EQ(RunCommand("mkdir -p '" + folder + "'"), 0);
  const std::string target = folder + "/keep.avi";
  WriteFileBytes(target, {'o', 'l', 'd'});
  TBitmapInfoHeader h;
  h.biWidth = W;
  h.biHeight = H;
  h.biBitCount = 24;
  ASSERT_TRUE(w.Create(target));
  EXPECT_FALSE(w.CreateStream(0));
  ASSERT_TRUE(w.CreateStream(25));
  ASSERT_TRUE(w.SetFormat(h));
  const auto dib = MakeDIB(1, 24);
  ASSERT_TRUE(w.WriteFrame(dib.data(), dib.size()));
  EXPECT_FALSE(w.WriteFrame(dib.data(), dib.size() - 1));  // short rows
  auto other = dib;
  reinterpret_cast<TBitmapInfoHeader*>(other.data())->biWidth = W - 1;
  EXPECT_FALSE(w.WriteFrame(other.data(), other.size()));  // another size
  EXPECT_EQ(w.GetFrameCount(), 1);
  EXPECT_EQ(CountTempFiles(folder), 1);
  w.Abort();
  EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(CountTempFiles(folder), 0);
  // Finished, the new file replaces it.
  ASSERT_TRUE(WriteOurs(target, TAVISaveOptions(), 2, {8}));
  ASSERT_TRUE(r.Open(target));
  EXPECT_EQ(r.GetInfo().Length, 2);
  EXPECT_EQ(CountTempFiles(folder), 0);
}

using Script = testing_support::ModalSteps;

TEST(AVIFile, OptionsDialogChoosesTheCompression) {
  testing_support::UiHarness ui;
  ASSERT_EQ(GetAVISaveOptionsDialog(), &ExecuteAVIOptions);
  TAVISaveOptions o;
  EXPECT_TRUE(AVISaveOptions(o));  // without AskUser no dialog: the defaults stand
  EXPECT_EQ(o.Codec, avcUncompressed);

  // Down in the codec group picks Motion JPEG and enables the quality bar; End and five
  // pages back give 50; Enter is OK.
  o.AskUser = true;
  o.Quality = 80;
  Script s;
  TfAVIOptions* form = nullptr;
  s.steps = {[&] {
               form = dynamic_cast<TfAVIOptions*>(Screen().GetActiveForm());
               ASSERT_NE(form, nullptr);
               EXPECT_FALSE(form->GetQualityBar()->GetEnabled());
               ui.Key(VK_DOWN);
               EXPECT_EQ(form->GetCodecGroup()->GetItemIndex(), int(avcMJPEG));
               EXPECT_TRUE(form->GetQualityBar()->GetEnabled());
               form->GetQualityBar()->SetFocus();
               ui.Key(VK_END);
               for (int k = 0; k < 5; ++k) ui.Key(VK_PRIOR);
               EXPECT_EQ(form->GetQualityBar()->GetPosition(), 50);
             },
             [&] { ui.Key(VK_RETURN); }};
  ASSERT_TRUE(AVISaveOptions(o));
  EXPECT_EQ(o.Codec, avcMJPEG);
  EXPECT_EQ(o.Quality, 50);
  EXPECT_TRUE(o.AskUser);

  // Escape cancels: the save ends and the options stay as they were.
  s.steps = {[&] { ui.Key(VK_DOWN); }, [&] { ui.Key(VK_ESCAPE); }};
  EXPECT_FALSE(AVISaveOptions(o));
  EXPECT_EQ(o.Codec, avcMJPEG);
  EXPECT_EQ(o.Quality, 50);
}

}  // namespace
}  // namespace corvex
