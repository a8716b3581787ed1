// The I/O component: dispatch by extension and content, stream headers, parameters only, safe
// saving, formats added at run time, metafile import, multi-image helpers and IPTC.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

void Photo(TBitmap& b, int w, int h) {
  b.Allocate(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 4);
      p[1] = uint8_t(y * 4);
      p[2] = uint8_t((x + y) * 2);
    }
}

bool SamePixels(const TBitmap& a, const TBitmap& b) { return MaxSampleDiff(a, b) == 0; }

class CorvexIOTest : public ::testing::Test {
 protected:
  void SetUp() override { CXInstallLZW(); }
  void TearDown() override {
    for (const auto& f : files_) std::remove(f.c_str());
  }
  std::string Temp(const std::string& name) {
    files_.push_back(TempPath(name));
    return files_.back();
  }
  std::vector<std::string> files_;
};

TEST_F(CorvexIOTest, EveryBuiltInFormatRoundTripsThroughFiles) {
  TBitmap src;
  Photo(src, 40, 30);
  for (const char* ext : {"bmp", "png", "tif", "pcx", "tga", "gif", "jpg"}) {
    SCOPED_TRACE(ext);
    const std::string path = Temp(std::string("rt.") + ext);
    TBitmap work;
    work.Assign(&src);
    TCorvexIO io;
    io.SetAttachedBitmap(&work);
    io.SaveToFile(path);
    ASSERT_FALSE(io.GetAborting());
    TBitmap back;
    TCorvexIO in;
    in.SetAttachedBitmap(&back);
    in.LoadFromFile(path);
    ASSERT_FALSE(in.GetAborting());
    EXPECT_EQ(in.GetParams().FileName, path);
    EXPECT_EQ(FindFileFormat(path, true), in.GetParams().FileType);
    if (std::string(ext) == "jpg") EXPECT_GT(Psnr(src, back), 30);
    else if (std::string(ext) == "gif") EXPECT_GT(Psnr(src, back), 25);
    else EXPECT_TRUE(SamePixels(src, back));
  }
}

TEST_F(CorvexIOTest, ExtensionsCaseAndUnknownOnes) {
  CORVEX_REQUIRE_CORPUS();
  // PCX in upper case loads a PCX.
  const std::string pcx = Temp("UPPER.PCX");
  WriteFileBytes(pcx, ReadFileBytes(CorpusFile("pcx/peer_im_hopper.pcx")));
  TBitmap b;
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(pcx);
  EXPECT_FALSE(io.GetAborting());
  EXPECT_EQ(io.GetParams().FileType, ioPCX);
  EXPECT_GT(b.GetWidth(), 0);
  // .jpe and .dib are not in the save list and their registry entries have no writer.
  io.SaveToFile(Temp("x.jpe"));
  EXPECT_TRUE(io.GetAborting());
  io.SaveToFile(Temp("x.dib"));
  EXPECT_TRUE(io.GetAborting());
  io.LoadFromFile(Temp("x.unknown"));
  EXPECT_TRUE(io.GetAborting());
  EXPECT_EQ(io.GetParams().FileType, ioUnknown);
  // No target bitmap: nothing happens, not even the open error.
  TCorvexIO none;
  EXPECT_NO_THROW(none.LoadFromFile("/nonexistent/file.png"));
  EXPECT_THROW(io.LoadFromFile("/nonexistent/file.png"), EFOpenError);
}

TEST_F(CorvexIOTest, SavingConvertsOtherFormatsInPlace) {
  TBitmap four(8, 8, pf4bit);
  TCorvexIO io;
  io.SetAttachedBitmap(&four);
  io.SaveToFile(Temp("four.bmp"));
  EXPECT_FALSE(io.GetAborting());
  EXPECT_EQ(four.GetPixelFormat(), pf24bit);
}

TEST_F(CorvexIOTest, StreamHeadersFrameTheData) {
  TBitmap src;
  Photo(src, 16, 12);
  for (int type : {ioJPEG, ioTIFF, ioPCX}) {
    SCOPED_TRACE(type);
    TCorvexIO io;
    TBitmap work;
    work.Assign(&src);
    io.SetAttachedBitmap(&work);
    io.SetStreamHeaders(true);
    TMemoryStream m;
    m.WriteBuffer("lead", 4);
    io.SaveToStream(&m, type);
    ASSERT_FALSE(io.GetAborting());
    const int64_t end = m.GetPosition();
    m.WriteBuffer("tail", 4);
    const char* magic = type == ioJPEG ? "JFIF" : type == ioTIFF ? "TIFF" : "PCX2";
    EXPECT_EQ(std::memcmp(m.Memory() + 4, magic, 4), 0);
    uint32_t len;
    std::memcpy(&len, m.Memory() + 12, 4);
    EXPECT_EQ(int64_t(len), end - 16);

    m.SetPosition(4);
    EXPECT_EQ(FindStreamFormat(&m), type);
    EXPECT_EQ(m.GetPosition(), 4);
    TBitmap back;
    TCorvexIO in;
    in.SetAttachedBitmap(&back);
    in.SetStreamHeaders(true);
    in.LoadFromStream(&m);
    ASSERT_FALSE(in.GetAborting());
    EXPECT_EQ(m.GetPosition(), end);  // positioned after the block
    EXPECT_EQ(back.GetWidth(), 16);
  }
  // A TIFF header with the wrong magic ends with the flag.
  TMemoryStream bad;
  bad.WriteBuffer("NOPE\0\0\0\0\0\0\0\0", 12);
  bad.SetPosition(0);
  TBitmap b;
  TCorvexIO in;
  in.SetAttachedBitmap(&b);
  in.SetStreamHeaders(true);
  in.LoadFromStreamTIFF(&bad);
  EXPECT_TRUE(in.GetAborting());
}

TEST_F(CorvexIOTest, DetectionRules) {
  CORVEX_REQUIRE_CORPUS();
  // A BMP named .gif: found by content, refused when the extension must agree.
  const std::string gif = Temp("really-a-bmp.gif");
  TBitmap src;
  Photo(src, 8, 8);
  TCorvexIO io;
  io.SetAttachedBitmap(&src);
  TMemoryStream bmp;
  io.SaveToStreamBMP(&bmp);
  bmp.SaveToFile(gif);
  EXPECT_EQ(FindFileFormat(gif, false), ioBMP);
  EXPECT_EQ(FindFileFormat(gif, true), ioUnknown);
  EXPECT_EQ(FindFileFormat("/nonexistent.png", false), ioUnknown);
  // "II" with fewer than 9 bytes is not TIFF.
  const uint8_t ii[8] = {'I', 'I', 42, 0, 8, 0, 0, 0};
  TPointerStream s(ii, 8);
  EXPECT_EQ(FindStreamFormat(&s), ioUnknown);
  // A Targa file whose ID field is 10 bytes long is not taken for a PCX.
  TBitmap t;
  Photo(t, 100, 10);
  TCorvexIO tio;
  tio.SetAttachedBitmap(&t);
  tio.GetParams().TGA_Description = "012345678";  // written with its zero byte: 10 bytes
  TMemoryStream tm;
  tio.SaveToStreamTGA(&tm);
  ASSERT_EQ(tm.Memory()[0], 10);
  tm.SetPosition(0);
  EXPECT_EQ(FindStreamFormat(&tm), ioTGA);
  // Every corpus file that decodes is found by content as the type its folder says.
  int checked = 0;
  for (const ManifestRow& row : ReadManifest()) {
    if (!row.Decodes() || row.file.rfind("metafile/", 0) == 0) continue;
    const std::string folder = row.file.substr(0, row.file.find('/'));
    const int want = folder == "bmp" ? ioBMP : folder == "ico" ? ioICO : folder == "cur" ? ioCUR : folder == "gif" ? ioGIF
                     : folder == "jpeg" ? ioJPEG : folder == "pcx" ? ioPCX : folder == "png" ? ioPNG
                     : folder == "tga" ? ioTGA : ioTIFF;
    const int got = FindFileFormat(row.Path(), false);
    // Exception: a packed DIB without its file header has no signature to find; the BMP reader
    // reads it when asked for a BMP.
    if (row.file == "bmp/pillow_clipboard.dib") {
      EXPECT_EQ(got, ioUnknown);
      continue;
    }
    EXPECT_EQ(got, want) << row.file;
    ++checked;
  }
  EXPECT_GT(checked, 250);
}

struct Counter : TObject {
  int reads = 0, writes = 0;
};
Counter gCounter;

bool AcceptAll(TStream*) { return true; }
void ReadMine(TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec&, bool preview) {
  ++gCounter.reads;
  uint8_t side = 0;
  s->ReadBuffer(&side, 1);
  p.Width = p.Height = side;
  if (!preview) b->Allocate(side, side, pf24bit);
}
void WriteMine(TStream* s, TBitmap* b, TIOParamsVals&, TProgressRec&) {
  ++gCounter.writes;
  const uint8_t side = uint8_t(b->GetWidth());
  s->WriteBuffer(&side, 1);
}

TEST_F(CorvexIOTest, FormatsAddedAtRunTime) {
  TCXFileFormatInfo mine;
  mine.FileType = 77;
  mine.FullName = "Mine";
  mine.Extension = "MINE";
  mine.ReadFunction = ReadMine;
  mine.WriteFunction = WriteMine;
  mine.TryFunction = AcceptAll;
  CXFileFormatAdd(mine);
  TBitmap b(5, 5, pf24bit);
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  const std::string path = Temp("pic.mine");
  io.SaveToFile(path);
  EXPECT_FALSE(io.GetAborting());
  EXPECT_EQ(gCounter.writes, 1);
  TBitmap back;
  io.SetAttachedBitmap(&back);
  io.LoadFromFile(path);
  EXPECT_EQ(back.GetWidth(), 5);
  EXPECT_EQ(io.GetParams().FileType, 77);
  // A content test that accepts everything comes before every built-in probe.
  TBitmap png(3, 3, pf24bit);
  TCorvexIO p;
  p.SetAttachedBitmap(&png);
  TMemoryStream m;
  p.SaveToStreamPNG(&m);
  m.SetPosition(0);
  EXPECT_EQ(FindStreamFormat(&m), 77);
  CXFileFormatRemove(77);
  EXPECT_EQ(FindStreamFormat(&m), ioPNG);
}

TEST_F(CorvexIOTest, ParamsOnlyLeaveTheBitmapAlone) {
  TBitmap src;
  Photo(src, 33, 21);
  TCorvexIO io;
  io.SetAttachedBitmap(&src);
  const std::string path = Temp("params.tif");
  io.GetParams().TIFF_Compression = ioTIFF_PACKBITS;
  io.SaveToFile(path);
  TBitmap target(2, 2, pf1bit);
  TCorvexIO in;
  in.SetAttachedBitmap(&target);
  in.ParamsFromFile(path);
  EXPECT_EQ(in.GetParams().FileType, ioTIFF);
  EXPECT_EQ(in.GetParams().Width, 33);
  EXPECT_EQ(in.GetParams().TIFF_Compression, ioTIFF_PACKBITS);
  EXPECT_EQ(in.GetParams().FileName, path);
  EXPECT_EQ(target.GetWidth(), 2);
  in.ParamsFromFile("/nonexistent/x.png");  // no error reaches the caller
  EXPECT_EQ(in.GetParams().FileType, ioUnknown);
  TMemoryStream junk;
  junk.WriteBuffer("junk junk junk junk", 19);
  junk.SetPosition(0);
  in.ParamsFromStream(&junk);
  EXPECT_EQ(in.GetParams().FileType, ioUnknown);
}

struct StopHalfway : TObject {
  TCorvexIO* io = nullptr;
  void On(TObject*, int32_t per) {
    if (per >= 50) io->SetAborting(true);
  }
};

struct FailingStream : TMemoryStream {
  int64_t Write(const void*, int64_t) override { return 0; }
};

TEST_F(CorvexIOTest, AFailedSaveKeepsThePreviousFile) {
  const std::string path = Temp("keep.bmp");
  WriteFileBytes(path, {'o', 'l', 'd'});
  TBitmap src;
  Photo(src, 64, 64);
  TCorvexIO io;
  io.SetAttachedBitmap(&src);
  StopHalfway stop;
  stop.io = &io;
  io.OnProgress = TCXProgressEvent(&stop, &StopHalfway::On);
  io.SaveToFile(path);
  EXPECT_TRUE(io.GetAborting());
  EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
  // Nothing is left beside it.
  const std::string dir = path.substr(0, path.find_last_of('/'));
  std::string out;
  RunCommand("ls '" + dir + "' | grep -c 'keep.bmp.corvex-' || true", &out);
  EXPECT_EQ(out, "0\n");
  // A writer that raises leaves the file too.
  io.OnProgress = nullptr;
  io.GetParams().SamplesPerPixel = 3;
  EXPECT_THROW(io.SaveToFile("/nonexistent-dir/x.png"), EFCreateError);
  io.SaveToFile(path);
  EXPECT_FALSE(io.GetAborting());
  EXPECT_GT(ReadFileBytes(path).size(), 64u * 64u * 3u);
  FailingStream failing;
  io.SaveToStreamBMP(&failing);
  EXPECT_TRUE(io.GetAborting());
}

TEST_F(CorvexIOTest, IptcThroughJpeg) {
  TBitmap src;
  Photo(src, 16, 16);
  TCorvexIO io;
  io.SetAttachedBitmap(&src);
  io.GetParams().IPTC_Info.AddStringItem(2, 120, "caption here");
  const std::string path = Temp("iptc.jpg");
  io.SaveToFile(path);
  TBitmap back;
  TCorvexIO in;
  in.SetAttachedBitmap(&back);
  in.LoadFromFile(path);
  ASSERT_EQ(in.GetParams().IPTC_Info.GetCount(), 1);
  EXPECT_EQ(in.GetParams().IPTC_Info.GetStrings(0), "caption here");
  in.ParamsFromFile(path);
  EXPECT_EQ(in.GetParams().IPTC_Info.GetCount(), 1);
}

TEST_F(CorvexIOTest, MultiImageFiles) {
  TBitmap a, b;
  Photo(a, 20, 10);
  Photo(b, 10, 20);
  const std::string gif = Temp("anim.gif");
  TCorvexIO io;
  io.SetAttachedBitmap(&a);
  io.GetParams().GIF_DelayTime = 10;
  io.SaveToFile(gif);
  io.SetAttachedBitmap(&b);
  io.GetParams().GIF_ImageIndex = 1;
  EXPECT_GT(io.InsertToFileGif(gif), 0);
  EXPECT_EQ(EnumGifIm(gif), 2);
  EXPECT_TRUE(CheckAniGif(gif));
  EXPECT_FALSE(CheckAniGif("/nonexistent.gif"));
  EXPECT_EQ(EnumGifIm("/nonexistent.gif"), 0);
  DeleteGifIm(gif, 0);
  EXPECT_EQ(EnumGifIm(gif), 1);

  const std::string tif = Temp("pages.tif");
  io.SetAttachedBitmap(&a);
  io.SaveToFile(tif);
  io.SetAttachedBitmap(&b);
  io.GetParams().TIFF_ImageIndex = 1;
  EXPECT_EQ(io.InsertToFileTIFF(tif), 2);
  EXPECT_EQ(EnumTIFFIm(tif), 2);
  DeleteTIFFIm(tif, 0);
  EXPECT_EQ(EnumTIFFIm(tif), 1);
  EXPECT_THROW(EnumTIFFIm("/nonexistent.tif"), EFOpenError);
  TBitmap page;
  TCorvexIO in;
  in.SetAttachedBitmap(&page);
  in.LoadFromFile(tif);
  EXPECT_EQ(page.GetWidth(), 10);
}

TEST_F(CorvexIOTest, MetafileImportSizes) {
  CORVEX_REQUIRE_CORPUS();
  const std::string wmf = CorpusFile("metafile/pillow_drawing.wmf");
  TBitmap b;
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.SetBackground(clWhite);
  io.ImportMetafile(wmf, 4000, -1);
  ASSERT_FALSE(io.GetAborting());
  EXPECT_EQ(std::max(b.GetWidth(), b.GetHeight()), 2799);
  EXPECT_EQ(io.GetParams().FileType, ioWMF);
  EXPECT_EQ(io.GetParams().Width, b.GetWidth());
  io.LoadFromFile(wmf);  // by extension: the metafile's own size
  EXPECT_FALSE(io.GetAborting());
  EXPECT_GT(b.GetWidth(), 1);
  io.LoadFromFile(CorpusFile("metafile/pillow_drawing.emf"));
  EXPECT_EQ(io.GetParams().FileType, ioEMF);
  io.ImportMetafile(wmf, 0, 100);  // nothing happens
  EXPECT_FALSE(io.GetAborting());
  // Metafiles cannot be read from a stream.
  TFileStream f(wmf, fmOpenRead);
  io.LoadFromStreamFormat(&f, ioWMF);
  EXPECT_TRUE(io.GetAborting());
  // A file that is not a metafile ends with the flag.
  const std::string fake = Temp("fake.wmf");
  WriteFileBytes(fake, {1, 2, 3, 4});
  io.ImportMetafile(fake, -1, -1);
  EXPECT_TRUE(io.GetAborting());
}

TEST_F(CorvexIOTest, ClearAndAssignParams) {
  TBitmap b(4, 4, pf24bit);
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.SetBackground(RGBColor(10, 20, 30));
  io.Clear();
  EXPECT_EQ(b.ScanLine(3)[9], 30);
  EXPECT_EQ(b.ScanLine(3)[11], 10);
  TCorvexIO other;
  other.GetParams().JPEG_Quality = 93;
  io.AssignParams(&other);
  EXPECT_EQ(io.GetParams().JPEG_Quality, 93);
  TIOParamsVals p;
  p.JPEG_Quality = 12;
  io.AssignParams(&p);
  EXPECT_EQ(io.GetParams().JPEG_Quality, 12);
  io.AssignParams(&b);  // ignored
  EXPECT_EQ(io.GetParams().JPEG_Quality, 12);
}

}  // namespace
}  // namespace corvex
