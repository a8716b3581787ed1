// The parameter record, its persisted layout, the marker and IPTC lists, and the format table.
#include <gtest/gtest.h>

#include <cstring>

#include "corvex/io/CorvexIO.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

using namespace testing_support;

void ExpectSameFields(const TIOParamsVals& a, const TIOParamsVals& b) {
  // Compare through the layout itself: equal records save to equal bytes.
  TMemoryStream sa, sb;
  a.SaveToStream(&sa);
  b.SaveToStream(&sb);
  ASSERT_EQ(sa.GetSize(), sb.GetSize());
  EXPECT_EQ(std::memcmp(sa.Memory(), sb.Memory(), size_t(sa.GetSize())), 0);
}

TIOParamsVals* Filled() {
  auto* p = new TIOParamsVals;
  p->FileName = "image.tif";
  p->FileType = ioTIFF;
  p->Width = 640;
  p->Height = 480;
  p->DpiX = 300;
  p->ColorMap = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6)};
  p->TIFF_Compression = ioTIFF_LZW;
  p->TIFF_PageName = "page one";
  p->TIFF_ImageCount = 7;
  p->GIF_ImageCount = 3;
  p->GIF_TranspColor = CreateRGB(9, 8, 7);
  p->JPEG_Quality = 91;
  p->JPEG_Scale = ioJPEG_QUARTER;
  p->JPEG_MarkerList.AddMarker(254, "note", 4);
  p->ICO_ImageIndex = 2;
  p->CUR_XHotSpot = 5;
  p->PNG_Compression = 9;
  p->TGA_Author = "someone";
  p->TGA_Gamma = 1.8;
  p->IPTC_Info.AddStringItem(2, 120, "caption");
  return p;
}

TEST(IOParams, DefaultsAndSaveLoadRoundTrip) {
  TIOParamsVals d;
  EXPECT_EQ(d.BitsPerSample, 8);
  EXPECT_EQ(d.SamplesPerPixel, 3);
  EXPECT_EQ(d.GIF_Version, "GIF89a");
  EXPECT_EQ(d.JPEG_Quality, 50);
  EXPECT_EQ(d.JPEG_Scale, ioJPEG_FULLSIZE);
  EXPECT_EQ(d.BMP_Version, ioBMP_BM3);
  EXPECT_TRUE(EqualRGB(d.ICO_Background, CreateRGB(255, 255, 255)));
  EXPECT_EQ(d.PNG_Compression, 5);
  EXPECT_TRUE(d.TGA_Compressed);
  EXPECT_DOUBLE_EQ(d.TGA_Gamma, 2.2);
  EXPECT_GT(d.TGA_Date, 45000.0);  // a date after 2023 as days since 1899-12-30
  EXPECT_EQ(d.TGA_Date, CXToday());

  TMemoryStream s;
  d.SaveToStream(&s);
  s.SetPosition(0);
  TIOParamsVals back;
  back.JPEG_Quality = 1;
  back.LoadFromStream(&s);
  EXPECT_EQ(s.GetPosition(), s.GetSize());
  ExpectSameFields(d, back);

  std::unique_ptr<TIOParamsVals> f(Filled());
  TMemoryStream s2;
  f->SaveToStream(&s2);
  s2.SetPosition(0);
  back.LoadFromStream(&s2);
  ExpectSameFields(*f, back);
  EXPECT_EQ(back.TIFF_ImageCount, 7);
  EXPECT_EQ(back.IPTC_Info.GetStrings(0), "caption");
  EXPECT_EQ(back.JPEG_MarkerList.GetMarkerLength(0), 4);

  const std::string path = TempPath("params.bin");
  f->SaveToFile(path);
  TIOParamsVals fromFile;
  fromFile.LoadFromFile(path);
  ExpectSameFields(*f, fromFile);
  std::remove(path.c_str());
  EXPECT_THROW(fromFile.LoadFromFile(path), EFOpenError);
}

TEST(IOParams, LayoutStartsAsDocumented) {
  TIOParamsVals p;
  p.FileName = "ab";
  p.FileType = ioPNG;
  p.BitsPerSample = 1;
  p.ColorMap = {CreateRGB(10, 20, 30)};
  TMemoryStream s;
  p.SaveToStream(&s);
  const uint8_t* m = s.Memory();
  const uint8_t head[] = {4, 0, 0, 0,  2, 0, 0, 0, 'a', 'b',  8, 0, 0, 0,  1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(m, head, sizeof head), 0);
  // ColorMapCount after the six integers, then the entry as blue, green, red.
  const size_t at = 4 + 6 + 4 + 24;
  EXPECT_EQ(m[at], 1);
  EXPECT_EQ(m[at + 4], 30);
  EXPECT_EQ(m[at + 6], 10);
}

// Writes the version-3 layout by hand: no image counts, no marker list, no IPTC list.
std::vector<uint8_t> Version3Stream() {
  TMemoryStream s;
  auto i32 = [&](int32_t v) { s.WriteBuffer(&v, 4); };
  auto b8 = [&](uint8_t v) { s.WriteBuffer(&v, 1); };
  auto str = [&](const std::string& t) {
    i32(int32_t(t.size()));
    s.WriteBuffer(t.data(), int64_t(t.size()));
  };
  auto rgb = [&](uint8_t v) {
    b8(v);
    b8(v);
    b8(v);
  };
  auto dbl = [&](double v) { s.WriteBuffer(&v, 8); };
  i32(3);
  str("old.gif");
  i32(ioGIF);
  for (int v : {8, 1, 10, 20, 72, 72}) i32(v);
  i32(0);  // colour map
  b8(0);
  i32(0);
  b8(2);
  for (int v : {1, 0, 0}) i32(v);
  str("");
  str("");
  str("");
  i32(0);
  i32(0);
  str("GIF87a");
  for (int v : {0, 1, 2, 30}) i32(v);
  b8(1);
  rgb(5);
  b8(0);
  i32(10);
  i32(20);
  rgb(0);
  i32(0);
  b8(2);
  i32(75);
  b8(0);
  b8(0);
  i32(0);
  b8(0);
  b8(1);  // JPEG_Scale
  i32(5);
  b8(1);
  b8(1);
  b8(0);
  i32(0);  // ICO_ImageIndex
  rgb(255);
  for (int v : {0, 0, 0}) i32(v);
  rgb(255);
  b8(0);
  rgb(0);
  b8(0);
  i32(6);
  i32(0);
  i32(0);
  b8(1);
  str("");
  str("");
  dbl(40000);
  str("");
  rgb(0);
  dbl(1.0);
  dbl(2.2);
  b8(0);
  return std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

TEST(IOParams, OlderVersionsLeaveNewerFieldsAlone) {
  const std::vector<uint8_t> v3 = Version3Stream();
  TPointerStream s(v3.data(), int64_t(v3.size()));
  TIOParamsVals p;
  p.TIFF_ImageCount = 11;
  p.GIF_ImageCount = 12;
  p.JPEG_MarkerList.AddMarker(254, "keep", 4);
  p.IPTC_Info.AddStringItem(2, 5, "keep");
  p.LoadFromStream(&s);
  EXPECT_EQ(s.GetPosition(), s.GetSize());
  EXPECT_EQ(p.FileName, "old.gif");
  EXPECT_EQ(p.GIF_Version, "GIF87a");
  EXPECT_EQ(p.GIF_DelayTime, 30);
  EXPECT_TRUE(p.GIF_FlagTranspColor);
  EXPECT_EQ(p.PNG_Compression, 6);
  EXPECT_DOUBLE_EQ(p.TGA_Date, 40000);
  EXPECT_EQ(p.TIFF_ImageCount, 11);
  EXPECT_EQ(p.GIF_ImageCount, 12);
  EXPECT_EQ(p.JPEG_MarkerList.GetCount(), 1);
  EXPECT_EQ(p.IPTC_Info.GetCount(), 1);
}

TEST(IOParams, DamagedStreamsRaiseInsteadOfAllocating) {
  TIOParamsVals p;
  TMemoryStream s;
  p.SaveToStream(&s);
  // The colour-map count sits after the version, the empty file name and seven integers.
  const size_t at = 4 + 4 + 4 + 24;
  s.Memory()[at + 3] = 0x7F;  // two thousand million colours
  s.SetPosition(0);
  EXPECT_THROW(p.LoadFromStream(&s), EReadError);
  for (int64_t cut = 0; cut < s.GetSize(); cut += 5) {
    TMemoryStream t;
    TIOParamsVals good;
    good.SaveToStream(&t);
    t.SetSize(cut);
    t.SetPosition(0);
    EXPECT_THROW(good.LoadFromStream(&t), EStreamError) << cut;
  }
}

TEST(IOParams, AssignCopiesEverythingButTheOwner) {
  std::unique_ptr<TIOParamsVals> f(Filled());
  TIOParamsVals copy;
  copy.Assign(f.get());
  ExpectSameFields(*f, copy);
  f->JPEG_MarkerList.Clear();  // the lists are copies, not shared
  EXPECT_EQ(copy.JPEG_MarkerList.GetCount(), 1);
  TIOParamsVals noMap;
  copy.Assign(&noMap);
  EXPECT_EQ(copy.GetColorMapCount(), 0);
  copy.SetDefaultParams();
  EXPECT_EQ(copy.IPTC_Info.GetCount(), 0);
  EXPECT_EQ(copy.FileName, "");
}

TEST(IOParams, FileTypeText) {
  TIOParamsVals p;
  p.FileType = ioTIFF;
  p.TIFF_Compression = ioTIFF_LZW;
  EXPECT_EQ(p.GetFileTypeStr(), "TIFF Bitmap (TIF) LZW");
  p.FileType = ioBMP;
  p.BMP_Version = ioBMP_BM3;
  EXPECT_EQ(p.GetFileTypeStr(), "Windows Bitmap (BMP) ver.3");
  p.FileType = ioJPEG;
  p.JPEG_ColorSpace = ioJPEG_RGB;
  EXPECT_EQ(p.GetFileTypeStr(), "JPEG Bitmap (JPG)");
  p.JPEG_ColorSpace = ioJPEG_YCbCrK;
  EXPECT_EQ(p.GetFileTypeStr(), "JPEG Bitmap (JPG) YCbCrK");
  p.FileType = ioTGA;
  p.TGA_Compressed = false;
  EXPECT_EQ(p.GetFileTypeStr(), "Targa Bitmap (TGA) Uncompressed");
  p.FileType = ioPCX;
  p.PCX_Compression = ioPCX_RLE;
  EXPECT_EQ(p.GetFileTypeStr(), "PaintBrush (PCX)");
  p.FileType = 99;
  EXPECT_EQ(p.GetFileTypeStr(), "");
}

TEST(MarkerList, EditingAndPersistence) {
  TCXMarkerList l;
  EXPECT_EQ(l.AddMarker(225, "exif", 4), 0);
  l.InsertMarker(0, "c", 254, 1);
  l.InsertMarker(99, "z", 226, 1);  // past the end: appended
  ASSERT_EQ(l.GetCount(), 3);
  EXPECT_EQ(l.GetMarkerType(0), 254);
  EXPECT_EQ(l.IndexOf(226), 2);
  EXPECT_EQ(l.IndexOf(1), -1);
  l.SetMarker(1, 225, "EXIF!", 5);
  EXPECT_EQ(l.GetMarkerLength(1), 5);
  TMemoryStream* ms = l.GetMarkerStream(1);
  char c;
  ms->ReadBuffer(&c, 1);
  EXPECT_EQ(c, 'E');
  EXPECT_EQ(l.GetMarkerStream(1)->GetPosition(), 0);
  EXPECT_EQ(l.GetMarkerData(7), nullptr);
  l.DeleteMarker(0);
  l.DeleteMarker(5);
  EXPECT_EQ(l.GetCount(), 2);

  TMemoryStream s;
  l.SaveToStream(&s);
  EXPECT_EQ(s.Memory()[0], 0);
  EXPECT_EQ(s.Memory()[1], 2);
  s.SetPosition(0);
  TCXMarkerList back;
  back.LoadFromStream(&s);
  ASSERT_EQ(back.GetCount(), 2);
  EXPECT_EQ(std::memcmp(back.GetMarkerData(0), "EXIF!", 5), 0);
  TCXMarkerList copy;
  copy.Assign(&back);
  EXPECT_EQ(copy.GetMarkerType(1), 226);
}

TEST(IptcList, EditingFlagsAndStandardBuffer) {
  TCXIPTCInfoList l;
  EXPECT_FALSE(l.UserChanged);
  l.AddStringItem(2, 0, "\x00\x04");  // record version: never written to the buffer
  l.AddStringItem(2, 5, "Title");
  const uint8_t zeroed[] = {'a', 'b', 0, 'c'};
  l.AddBufferItem(2, 120, zeroed, 4);
  EXPECT_TRUE(l.UserChanged);
  EXPECT_EQ(l.GetStrings(2), "ab");  // ends at the zero byte
  EXPECT_EQ(l.IndexOf(2, 120), 2);
  std::string big(40000, 'x');
  l.AddStringItem(2, 116, big);  // needs the extended length form

  std::vector<uint8_t> buf;
  l.SaveToStandardBuffer(buf);
  ASSERT_GE(buf.size(), 26u);
  EXPECT_EQ(std::memcmp(buf.data(), "Photoshop 3.0\0008BIM\x04\x04\0\0", 22), 0);
  const uint32_t size = uint32_t(buf[22]) << 24 | uint32_t(buf[23]) << 16 | uint32_t(buf[24]) << 8 | buf[25];
  EXPECT_EQ(size, (5 + 5) + (5 + 4) + (9 + 40000u));
  EXPECT_EQ(buf.size(), 26 + size);

  TCXIPTCInfoList back;
  back.LoadFromStandardBuffer(buf.data(), int(buf.size()));
  EXPECT_FALSE(back.UserChanged);
  ASSERT_EQ(back.GetCount(), 3);
  EXPECT_EQ(back.GetStrings(0), "Title");
  EXPECT_EQ(back.GetBuffer(2).size(), 40000u);
  back.SetStrings(0, "New");
  EXPECT_TRUE(back.UserChanged);
  back.SetRecordNumber(0, 1);
  EXPECT_EQ(back.GetRecordNumber(0), 1);

  TMemoryStream s;
  back.SaveToStream(&s);
  s.SetPosition(0);
  TCXIPTCInfoList again;
  again.LoadFromStream(&s);
  EXPECT_TRUE(again.UserChanged);
  EXPECT_EQ(again.GetStrings(0), "New");
  again.Clear();
  EXPECT_EQ(again.GetCount(), 0);
}

TEST(IptcList, HostileStandardBuffers) {
  TCXIPTCInfoList l;
  // Text before the first tag is skipped; a dataset longer than the buffer ends the scan.
  const uint8_t buf[] = {'j', 'u', 'n', 'k', 0x1C, 2, 5, 0, 2, 'h', 'i', 0x1C, 2, 6, 0, 50, 'x'};
  l.LoadFromStandardBuffer(buf, sizeof buf);
  ASSERT_EQ(l.GetCount(), 1);
  EXPECT_EQ(l.GetStrings(0), "hi");
  // An extended length cut off after its first bytes, and negative lengths.
  const uint8_t cut[] = {0x1C, 2, 5, 0x80, 0x04, 0, 0};
  l.LoadFromStandardBuffer(cut, sizeof cut);
  EXPECT_EQ(l.GetCount(), 0);
  const uint8_t neg[] = {0x1C, 2, 5, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
  l.LoadFromStandardBuffer(neg, sizeof neg);  // length -1 taken as 1
  ASSERT_EQ(l.GetCount(), 1);
  EXPECT_EQ(l.GetStrings(0), "a");
  l.LoadFromStandardBuffer(nullptr, 100);
  EXPECT_EQ(l.GetCount(), 0);
}

TEST(FormatTable, BuiltInsLookupsAndChanges) {
  EXPECT_EQ(CXFileFormatGetExtCount(ioTGA), 6);
  EXPECT_EQ(CXFileFormatGetExt(ioTGA, 5), "PIX");
  EXPECT_EQ(CXFileFormatGetExt(ioTGA, 6), "");
  EXPECT_EQ(CXFileFormatGetExt(99, 0), "");
  EXPECT_EQ(CXFileFormatGetExtCount(99), 0);
  ASSERT_NE(CXFileFormatGetInfo2("Jpe"), nullptr);
  EXPECT_EQ(CXFileFormatGetInfo2("Jpe")->FileType, ioJPEG);
  EXPECT_EQ(CXFileFormatGetInfo2(".tiff")->FileType, ioTIFF);
  EXPECT_EQ(CXFileFormatGetInfo2("xyz"), nullptr);
  EXPECT_EQ(CXFileFormatGetInfo(ioEMF)->FullName, "Enhanced Windows Metafile");

  TCXFileFormatInfo mine;
  mine.FileType = 50;
  mine.FullName = std::string(100, 'n');
  mine.Extension = "MINE;MIN";
  CXFileFormatAdd(mine);
  ASSERT_NE(CXFileFormatGetInfo(50), nullptr);
  EXPECT_EQ(CXFileFormatGetInfo(50)->FullName.size(), 80u);
  EXPECT_EQ(CXFileFormatGetInfo2("min")->FileType, 50);
  CXFileFormatRemove(50);
  EXPECT_EQ(CXFileFormatGetInfo(50), nullptr);
  CXFileFormatRemove(50);  // nothing there: nothing happens

  // Removing a built-in and putting it back.
  const TCXFileFormatInfo tiff = *CXFileFormatGetInfo(ioTIFF);
  CXFileFormatRemove(ioTIFF);
  EXPECT_EQ(CXFileFormatGetInfo(ioTIFF), nullptr);
  CXFileFormatAdd(tiff);
  EXPECT_EQ(CXFileFormatGetExt(ioTIFF, 1), "TIFF");
}

}  // namespace
}  // namespace corvex
