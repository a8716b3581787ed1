// The corvex command-line tool, run as a program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "corvex/view/CXVect.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/codec_testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using namespace testing_support;

int Tool(const std::string& args, std::string* out = nullptr) {
  if (out) out->clear();
  return RunCommand(std::string(CORVEX_TOOL) + " " + args + " 2>&1", out);
}

std::string Sample(const std::string& name) { return std::string(CORVEX_SOURCE_DIR) + "/samples/" + name; }

TEST(Tool, HelpVersionAndUsageErrors) {
  std::string out;
  EXPECT_EQ(Tool("--help", &out), 0);
  for (const char* cmd : {"info", "convert", "formats", "roundtrip"}) EXPECT_NE(out.find(cmd), std::string::npos) << cmd;
  EXPECT_EQ(Tool("--version", &out), 0);
  EXPECT_EQ(Tool("", &out), 2);
  EXPECT_EQ(Tool("frobnicate", &out), 2);
  EXPECT_EQ(Tool("convert onlyone.png", &out), 2);
  EXPECT_EQ(Tool("convert a.png b.png --set NoSuchField=1", &out), 2);
  EXPECT_NE(out.find("NoSuchField"), std::string::npos);
  EXPECT_EQ(Tool("convert a.png b.png --set JPEG_Quality=high", &out), 2);
  EXPECT_EQ(Tool("convert a.png b.png --index", &out), 2);
  EXPECT_EQ(Tool("info", &out), 2);
  EXPECT_EQ(Tool("formats", &out), 0);
  EXPECT_NE(out.find("Targa Bitmap"), std::string::npos);
}

TEST(Tool, InfoAndConvert) {
  std::string out;
  ASSERT_EQ(Tool("info " + Sample("testcard.png"), &out), 0);
  EXPECT_EQ(out.rfind("Description: Portable Network Graphics (PNG)\n", 0), 0u);
  EXPECT_NE(out.find("\nWidth: 640\n"), std::string::npos);
  EXPECT_NE(out.find("\nPNG_Filter: ioPNG_FILTER_NONE\n"), std::string::npos);
  ASSERT_EQ(Tool("info --json " + Sample("testcard.png"), &out), 0);
  EXPECT_EQ(out.front(), '{');
  EXPECT_NE(out.find("\"Height\":480"), std::string::npos);

  const std::string tif = TempPath("tool.tif");
  ASSERT_EQ(Tool("convert " + Sample("testcard.png") + " " + tif +
                     " --set TIFF_Compression=ioTIFF_LZW --set TIFF_PageName=card --set DpiX=300",
                 &out),
            0)
      << out;
  ASSERT_EQ(Tool("info " + tif, &out), 0);
  EXPECT_NE(out.find("TIFF Bitmap (TIF) LZW"), std::string::npos);
  EXPECT_NE(out.find("\nTIFF_PageName: card\n"), std::string::npos);
  EXPECT_NE(out.find("\nDpiX: 300\n"), std::string::npos);
  std::remove(tif.c_str());

  // Failures: exit 1 with one line naming the file.
  EXPECT_EQ(Tool("info /nonexistent.png", &out), 1);
  EXPECT_NE(out.find("/nonexistent.png"), std::string::npos);
  EXPECT_EQ(Tool("convert /nonexistent.png " + TempPath("x.png"), &out), 1);
  const std::string junk = TempPath("junk.png");
  WriteFileBytes(junk, {0x89, 'P', 'N', 'G', 1, 2, 3});
  EXPECT_EQ(Tool("convert " + junk + " " + TempPath("y.bmp"), &out), 1);
  EXPECT_EQ(Tool("convert " + Sample("testcard.png") + " " + TempPath("z.xyz"), &out), 1);
  std::remove(junk.c_str());
}

TEST(Tool, RoundTripOfTheSample) {
  std::string out;
  const std::string dir = TempPath("roundtrip");
  EXPECT_EQ(Tool("roundtrip " + Sample("testcard.png") + " " + Sample("testcard-1bit.png") + " --out " + dir, &out), 0)
      << out;
  EXPECT_NE(out.find("every lossless variant gave back the same pixels"), std::string::npos);
  RunCommand("rm -rf '" + dir + "'");
}

// Every corpus file that decodes, converted to 24-bit PNG by the tool, has the pixels the I/O
// component decodes from the original; and the codecs' agreement with the references carries
// through to the PNG.
TEST(Tool, ConvertsTheCorpusToPng) {
  CORVEX_REQUIRE_CORPUS();
  CXInstallLZW();
  int converted = 0, matchesReference = 0;
  const std::string png = TempPath("corpus.png");
  for (const ManifestRow& row : ReadManifest()) {
    if (!row.Decodes()) continue;
    SCOPED_TRACE(row.file);
    TBitmap direct;
    TCorvexIO io;
    io.SetAttachedBitmap(&direct);
    io.LoadFromFile(row.Path());
    const bool readable = !io.GetAborting() && !direct.GetEmpty();
    const int rc = Tool("convert '" + row.Path() + "' " + png + " --set SamplesPerPixel=3 --set BitsPerSample=8");
    if (!readable) {
      EXPECT_EQ(rc, 1);  // the codec tests name these files
      continue;
    }
    ASSERT_EQ(rc, 0);
    TBitmap viaPng;
    TCorvexIO back;
    back.SetAttachedBitmap(&viaPng);
    back.LoadFromFile(png);
    ASSERT_FALSE(back.GetAborting());
    EXPECT_EQ(MaxSampleDiff(direct, viaPng), 0);
    ++converted;
    matchesReference += RgbDigest16(viaPng) == row.rgb_sha256_16;
  }
  std::remove(png.c_str());
  EXPECT_GT(converted, 270);
  EXPECT_GT(matchesReference, 230);
  RecordProperty("matches_reference", matchesReference);
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// The conformance report explains every difference from the references.
TEST(Tool, ConformanceReportHasNoUnexplainedDifference) {
  CORVEX_REQUIRE_CORPUS();
  std::string out;
  EXPECT_EQ(Tool("conformance '" + CorpusDir() + "'", &out), 0) << out.substr(out.find("differences:"));
  EXPECT_NE(out.find("0 unexplained difference(s)"), std::string::npos);
}


// --- corvex view --snapshot

std::unique_ptr<TBitmap> LoadPng(const std::string& path) {
  auto b = std::make_unique<TBitmap>();
  TCorvexIO io;
  io.SetAttachedBitmap(b.get());
  io.LoadFromFile(path);
  EXPECT_FALSE(io.GetAborting()) << path;
  return b;
}

TColor At(const TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return RGBColor(p[2], p[1], p[0]);
}

// The snapshot is the client area of a view set up as the options say: the same pixels as the
// view made here through its own API, and at 200 % each sample pixel doubled from (ViewX, ViewY)
// / 2 on.
TEST(Tool, ViewSnapshotIsTheViewsClientArea) {
  const std::string shot = TempPath("view.png");
  std::string out;
  ASSERT_EQ(Tool("view " + Sample("testcard.png") + " --zoom 200 --view 10,10 --snapshot " + shot, &out), 0) << out;
  const auto shotBitmap = LoadPng(shot);
  const TBitmap& got = *shotBitmap;

  UiHarness ui;
  TForm* form = ui.NewForm(640, 480);
  auto* view = new TCorvexView(form);
  view->SetParent(form);
  view->SetBounds(0, 0, 640, 480);
  view->SetScrollBars(ssBoth);
  TCorvexIO io(form);
  io.SetAttachedCorvex(view);
  io.LoadFromFile(Sample("testcard.png"));
  view->SetZoom(200);
  view->SetViewXY(10, 10);
  const TBitmap* want = ui.Pixels(view);
  ASSERT_EQ(got.GetWidth(), want->GetWidth());
  ASSERT_EQ(got.GetHeight(), want->GetHeight());
  EXPECT_TRUE(_BitmapCompareX(&got, want));

  const TBitmap* card = view->GetBitmap();
  for (const TPoint p : {TPoint{0, 0}, TPoint{1, 1}, TPoint{2, 3}, TPoint{301, 157}, TPoint{got.GetWidth() - 1, 99}})
    EXPECT_EQ(At(got, p.X, p.Y), At(*card, (p.X + 10) / 2, (p.Y + 10) / 2)) << p.X << "," << p.Y;
  std::remove(shot.c_str());
}

// A rectangle selection adds its marching ants and grips, black and white, along the box and
// nowhere else; a polygon, an ellipse and the magic wand draw outlines too.
TEST(Tool, ViewSnapshotDrawsTheSelection) {
  const std::string plain = TempPath("plain.png"), sel = TempPath("sel.png");
  ASSERT_EQ(Tool("view " + Sample("testcard.png") + " --snapshot " + plain), 0);
  ASSERT_EQ(Tool("view " + Sample("testcard.png") + " --select rect:40,30,200,120 --snapshot " + sel), 0);
  const auto plainShot = LoadPng(plain), selShot = LoadPng(sel);
  const TBitmap &a = *plainShot, &b = *selShot;
  ASSERT_TRUE(a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight());
  int changed = 0, strays = 0;
  for (int y = 0; y < a.GetHeight(); ++y)
    for (int x = 0; x < a.GetWidth(); ++x) {
      if (At(a, x, y) == At(b, x, y)) continue;
      ++changed;
      const bool nearEdge = (std::abs(x - 40) <= 3 || std::abs(x - 200) <= 3) && y >= 27 && y <= 123;
      const bool nearTop = (std::abs(y - 30) <= 3 || std::abs(y - 120) <= 3) && x >= 37 && x <= 203;
      const TColor c = At(b, x, y);
      strays += !(nearEdge || nearTop) || (c != clBlack && c != clWhite);
    }
  EXPECT_GT(changed, 100);  // the outline is 500 pixels long, half of them black
  EXPECT_EQ(strays, 0);
  for (const char* shape : {"poly:50,50;300,80;120,300", "ellipse:100,100,300,200", "wand:5,5,10"}) {
    ASSERT_EQ(Tool("view " + Sample("testcard.png") + " --select '" + shape + "' --snapshot " + sel), 0) << shape;
    const auto c = LoadPng(sel);
    EXPECT_FALSE(_BitmapCompareX(&a, c.get())) << shape;
  }
  std::remove(plain.c_str());
  std::remove(sel.c_str());
}

TEST(Tool, ViewArgumentsAndFailures) {
  const std::string card = Sample("testcard.png"), shot = " --snapshot " + TempPath("bad.png");
  std::string out;
  for (const std::string& bad : std::vector<std::string>{
           "", "--zoom 200", card + " --zoom 0", card + " --zoom 200 --fit", card + " --size 10x", card + " --view 3",
        card + " --filter rfSharp", card + " --background hatch:9", card + " --background 1,2", card + " --select rect:1,2,3",
        card + " --select 'poly:1,2;3,4'", card + " --select star:1,2", card + " --frobnicate", card + " " + card}) {
    EXPECT_EQ(Tool("view " + bad + shot, &out), 2) << bad;
    EXPECT_NE(out.find("usage: corvex view"), std::string::npos) << bad;
  }
  EXPECT_EQ(Tool("view /nonexistent.png" + shot, &out), 1);
  EXPECT_NE(out.find("/nonexistent.png"), std::string::npos);
  const std::string junk = TempPath("junk.gif");
  WriteFileBytes(junk, {'G', 'I', 'F', '8', '9', 'a', 1});
  EXPECT_EQ(Tool("view " + junk + shot, &out), 1);
  std::remove(junk.c_str());
  // Every background, the grid, a filter and centring are accepted.
  EXPECT_EQ(Tool("view " + card + " --fit --center --filter rfTriangle --background hatch:cross --grid" + shot), 0);
  EXPECT_EQ(Tool("view " + card + " --size 200x150 --background chessboard" + shot), 0);
  EXPECT_EQ(Tool("view " + card + " --zoom 50 --background 10,200,30" + shot), 0);
  // No window without a display: a clear error, not a crash.
  EXPECT_EQ(RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(CORVEX_TOOL) + " view " +
                           card + " 2>&1",
                       &out),
            2);
  EXPECT_NE(out.find("--snapshot"), std::string::npos);
}

// annotate: a DXF drawing over the test card, saved as CXV and loaded back; merged, the image is
// the library's own merge of the same objects; the view as shown differs from the plain view
// only where the objects are; info lists the layer; damaged layers fail with one line.
TEST(Tool, AnnotateWithDXFAndCXV) {
  const std::string cxv = TempPath("annotate.cxv"), shot = TempPath("annotate-view.png"),
                    plain = TempPath("annotate-plain.png"), merged = TempPath("annotate-merged.png");
  std::string out;
  ASSERT_EQ(Tool("annotate " + Sample("testcard.png") + " " + shot + " --dxf " + Sample("annotate.dxf") +
                     " --save-cxv " + cxv + " --zoom 50 --size 400x300",
                 &out),
            0)
      << out;
  ASSERT_EQ(Tool("view " + Sample("testcard.png") + " --zoom 50 --size 400x300 --snapshot " + plain, &out), 0) << out;
  EXPECT_FALSE(_BitmapCompareX(LoadPng(shot).get(), LoadPng(plain).get()));
  ASSERT_EQ(Tool("info " + cxv, &out), 0) << out;
  EXPECT_NE(out.find("Objects: 3\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" line (0,399)-(639,80)"), std::string::npos) << out;
  EXPECT_NE(out.find(" ellipse "), std::string::npos);
  EXPECT_NE(out.find(" arc "), std::string::npos);

  ASSERT_EQ(Tool("annotate " + Sample("testcard.png") + " " + merged + " --cxv " + cxv + " --merge", &out), 0) << out;
  UiHarness ui;
  TForm* form = ui.NewForm(640, 480);
  auto* view = new TCorvexVect(form);
  view->SetParent(form);
  TCorvexIO io(form);
  io.SetAttachedCorvex(view);
  io.LoadFromFile(Sample("testcard.png"));
  ASSERT_TRUE(view->ImportDXF(Sample("annotate.dxf")));
  view->CopyObjectsToBack();
  const auto got = LoadPng(merged);
  EXPECT_TRUE(_BitmapCompareX(got.get(), view->TCorvexView::GetBitmap()));
  // The diagonal's far end is drawn, the card's corner beside it is not.
  io.LoadFromFile(Sample("testcard.png"));
  EXPECT_FALSE(_BitmapCompareX(got.get(), view->TCorvexView::GetBitmap()));

  const std::string bad = TempPath("damaged.cxv");
  {
    std::FILE* f = std::fopen(bad.c_str(), "wb");
    std::fputs("CXV5 not really a layer", f);
    std::fclose(f);
  }
  EXPECT_EQ(Tool("annotate " + Sample("testcard.png") + " " + shot + " --cxv " + bad, &out), 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_NE(out.find(bad), std::string::npos);
  EXPECT_EQ(Tool("info " + bad, &out), 1);
  EXPECT_EQ(Tool("annotate " + Sample("testcard.png") + " " + shot + " --dxf " + bad, &out), 1);
  EXPECT_EQ(Tool("annotate " + Sample("testcard.png"), &out), 2);
  for (const std::string& f : {cxv, shot, plain, merged, bad}) std::remove(f.c_str());
}

// --- corvex palette

// A GIF's palette pictured: 32 cells to a row from (1, 1), the first entry outlined in black;
// a true-colour image has no palette to show.
TEST(Tool, PaletteSnapshotAndTrueColour) {
  const std::string gif = TempPath("pal.gif"), shot = TempPath("pal.png");
  ASSERT_EQ(Tool("convert " + Sample("testcard.png") + " " + gif), 0);
  std::string out;
  ASSERT_EQ(Tool("palette " + gif + " --snapshot " + shot, &out), 0) << out;
  const auto b = LoadPng(shot);
  CXInstallLZW();
  TBitmap image;
  TCorvexIO io;
  io.SetAttachedBitmap(&image);
  io.LoadFromFile(gif);
  const std::vector<TRGB>& pal = io.GetParams().ColorMap;
  ASSERT_GE(pal.size(), 34u);
  EXPECT_EQ(At(*b, 1, 1), clBlack);  // the highlighted first cell's outline
  EXPECT_EQ(At(*b, 17, 1), clWhite);
  for (int i : {0, 1, 33}) EXPECT_EQ(At(*b, 16 * (i % 32) + 8, 16 * (i / 32) + 8), TRGB2TColor(pal[size_t(i)])) << i;
  EXPECT_EQ(Tool("palette " + Sample("testcard.png") + " --snapshot " + shot, &out), 1);
  EXPECT_NE(out.find("no palette"), std::string::npos) << out;
}

// --- Multi-image files: info, convert --all, thumbs

// A video written by ffmpeg goes through GIF and back into an AVI that ffprobe reads with the same
// frames and rate; thumbs draws the folder's images in a grid.
TEST(Tool, MultiImageConvertInfoAndThumbs) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0 || std::system("ffprobe -version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
  const std::string dir = TempPath("multi");
  std::filesystem::create_directories(dir);
  const std::string clip = dir + "/clip.avi", gif = dir + "/clip.gif", back = dir + "/back.avi";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -frames:v 6 -c:v mjpeg " + clip).c_str()), 0);
  std::string out;
  ASSERT_EQ(Tool("info " + clip, &out), 0) << out;
  EXPECT_NE(out.find("ImageCount: 6"), std::string::npos) << out;
  ASSERT_EQ(Tool("convert " + clip + " " + gif + " --all", &out), 0) << out;
  ASSERT_EQ(Tool("info " + gif + " --all", &out), 0) << out;
  EXPECT_NE(out.find("ImageCount: 6"), std::string::npos) << out;
  EXPECT_NE(out.find("Image 5: 64x48, delay 200 ms"), std::string::npos) << out;
  ASSERT_EQ(Tool("convert " + gif + " " + back + " --all --codec ffv1", &out), 0) << out;
  const std::string probe = dir + "/probe.txt";
  ASSERT_EQ(std::system(("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,"
                         "nb_read_frames -of compact " + back + " > " + probe).c_str()), 0);
  const std::vector<uint8_t> bytes = ReadFileBytes(probe);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("codec_name=ffv1|width=64|height=48|r_frame_rate=5/1|nb_read_frames=6"), std::string::npos) << text;

  const std::string grid = dir + "/grid.png";
  ASSERT_EQ(Tool("thumbs " + dir + " --size 420x300 --thumb 64 --snapshot " + grid, &out), 0) << out;
  EXPECT_NE(out.find("18 images from 3 files"), std::string::npos) << out;  // two videos and a GIF of 6 each
  const auto shot = LoadPng(grid);
  EXPECT_EQ(shot->GetWidth(), 420);
  EXPECT_EQ(shot->GetHeight(), 300);
  EXPECT_EQ(Tool("thumbs " + dir + "/none.png --snapshot " + grid, &out), 1);
  std::filesystem::remove_all(dir);
}

// A folder of GIFs other programs wrote: every image of every file, the damaged ones skipped.
TEST(Tool, ThumbsOfACorpusFolder) {
  if (CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  const std::string grid = TempPath("corpus_grid.png");
  std::string out;
  ASSERT_EQ(Tool("thumbs " + CorpusDir() + "/gif --thumb 48 --size 640x480 --snapshot " + grid, &out), 0) << out;
  EXPECT_NE(out.find(" images from "), std::string::npos) << out;
  EXPECT_EQ(LoadPng(grid)->GetWidth(), 640);
  std::remove(grid.c_str());
}

}  // namespace
}  // namespace corvex
