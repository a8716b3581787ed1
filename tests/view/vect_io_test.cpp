// The vector layer's files: CXV round trips, streams of the older versions built byte by byte,
// damaged streams that must leave the layer as it was, and DXF drawings imported onto the bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/view/CXVect.h"
#include "tests/common/testing.h"
#include "tests/view/view_testing.h"

namespace corvex {
namespace {

using namespace testing_support;

// ---------------------------------------------------------------------------------------------
// Helpers

// The client area as the view shows it now.
std::unique_ptr<TBitmap> Shown(UiHarness& ui, TCorvexVect* v) {
  v->Invalidate();
  ui.Pump();
  auto b = std::make_unique<TBitmap>();
  CXCopyBitmap(v->GetBackingBitmap(), b.get());
  return b;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPixelFormat() != b.GetPixelFormat())
    return false;
  const int bytes = a.GetPixelFormat() == pf1bit ? (a.GetWidth() + 7) / 8 : a.GetWidth() * 3;
  for (int y = 0; y < a.GetHeight(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(bytes)) != 0) return false;
  return true;
}

// The fields a CXV record keeps for its kind, as one comparable text.
std::string Record(const TCXVObject& o) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%d %d %d %d k%d n=%s id%d pc%d ps%d pw%d bc%d bs%d st%d", o.x1, o.y1, o.x2, o.y2,
                int(o.Kind), o.Name.c_str(), o.ID, o.PenColor, int(o.PenStyle), o.PenWidth, o.BrushColor,
                int(o.BrushStyle), int(o.Style.Bits()));
  std::string s = buf;
  switch (o.Kind) {
    case cxkLINE:
      s += " sh" + std::to_string(o.BeginShape) + std::to_string(o.EndShape) + " " + std::to_string(o.ShapeWidth) +
           "x" + std::to_string(o.ShapeHeight);
      break;
    case cxkARC:
      std::snprintf(buf, sizeof buf, " a%.17g..%.17g", o.StartAngle, o.EndAngle);
      s += buf;
      break;
    case cxkTEXT:
      s += " ta" + std::to_string(o.TextAlign) + " t=" + o.Text + " f" + std::to_string(o.HasFont);
      if (o.HasFont)
        s += " " + std::string(o.Font.lfFaceName) + " h" + std::to_string(o.Font.lfHeight) + " e" +
             std::to_string(o.Font.lfEscapement) + " w" + std::to_string(o.Font.lfWeight) + " i" +
             std::to_string(o.Font.lfItalic);
      break;
    case cxkRULER: s += " ru" + std::to_string(o.RulerUnit) + " rt" + std::to_string(o.RulerType); break;
    default: break;
  }
  return s;
}

// Everything a load may change: Scale, the records in z-order with their bitmaps' sizes, the pool.
std::string LayerState(TCorvexVect* v) {
  std::string s = "scale " + std::to_string(v->GetScale()) + "\n";
  for (int h : v->ZOrder()) {
    s += Record(*v->Obj(h));
    if (const TBitmap* b = v->GetObjBitmap(h); b != nullptr && v->GetObjKind(h) == cxkBITMAP)
      s += " bmp" + std::to_string(b->GetWidth()) + "x" + std::to_string(b->GetHeight());
    s += "\n";
  }
  s += "pool";
  for (int i = 0; i < v->GetBitmapCount(); ++i) {
    s += ' ';
    s += std::to_string(v->GetBitmapRefCount(i));
  }
  return s;
}

std::unique_ptr<TBitmap> Pattern(int W, int H, uint8_t Seed) {
  auto b = std::make_unique<TBitmap>(W, H, pf24bit);
  for (int y = 0; y < H; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < W * 3; ++x) p[x] = uint8_t(x * 7 + y * 13 + Seed);
  }
  return b;
}

// Little-endian bytes for hand-made streams.
struct Bytes {
  std::vector<uint8_t> d;
  Bytes& Raw(const void* p, size_t n) {
    d.insert(d.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    return *this;
  }
  Bytes& U8(uint8_t v) { return Raw(&v, 1); }
  Bytes& I32(int64_t v) {
    const uint32_t u = uint32_t(v);
    const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    return Raw(b, 4);
  }
  Bytes& F64(double v) { return Raw(&v, 8); }  // the test machines are little-endian
  Bytes& Str(const std::string& s) { return I32(int64_t(s.size())).Raw(s.data(), s.size()); }
  // The common part of a record: rectangle, kind, name, ID, pen, brush, style.
  Bytes& Head(int x1, int y1, int x2, int y2, TCXVObjectKind k, const std::string& name) {
    I32(x1).I32(y1).I32(x2).I32(y2).U8(k).Str(name).I32(7).I32(0x0000FF).U8(psDash).I32(3).I32(0x00FF00).U8(bsSolid);
    return U8(15);
  }
};

// The zlib format with stored (uncompressed) deflate blocks, which every inflater reads.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(uint8_t(n)), out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(~n)), out.push_back(uint8_t(~n >> 8));
    out.insert(out.end(), raw.begin() + long(at), raw.begin() + long(at + n));
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
  const uint32_t adler = b << 16 | a;
  for (int k = 3; k >= 0; --k) out.push_back(uint8_t(adler >> (8 * k)));
  return out;
}

// A block of the given magic with no pool, Scale and the (uncompressed) records.
std::vector<uint8_t> Block(const char* magic, double scale, const std::vector<uint8_t>& records) {
  Bytes b;
  b.Raw(magic, 4).I32(0).F64(scale).I32(0);
  const std::vector<uint8_t> z = Deflate(records);
  b.Raw(z.data(), z.size());
  const uint32_t len = uint32_t(b.d.size());
  std::memcpy(b.d.data() + 4, &len, 4);
  return b.d;
}

bool Load(TCorvexVect* v, const std::vector<uint8_t>& data) {
  TPointerStream s(data.data(), int64_t(data.size()));
  return v->LoadFromStreamCXV(&s);
}

std::vector<uint8_t> Save(TCorvexVect* v) {
  TMemoryStream m;
  v->SaveToStreamCXV(&m);
  return std::vector<uint8_t>(m.Memory(), m.Memory() + m.GetSize());
}

// One object of every kind, a group left empty, two bitmap objects sharing a bitmap and one of
// its own, a rotated bold font; the z-order changed from the order of creation.
void Populate(TCorvexVect* v) {
  auto add = [v](TCXVObjectKind k, int x1, int y1, int x2, int y2) {
    const int h = v->AddNewObject();
    TCXVObject* o = v->Obj(h);
    o->Kind = k;
    o->x1 = x1, o->y1 = y1, o->x2 = x2, o->y2 = y2;
    o->Name = "obj" + std::to_string(h);
    o->ID = 100 + h;
    o->PenColor = RGBColor(uint8_t(40 * h), 0, 200);
    o->PenWidth = 1 + h % 3;
    o->PenStyle = h % 2 ? psSolid : psDash;
    o->BrushColor = RGBColor(0, uint8_t(30 * h), 90);
    o->BrushStyle = h % 3 == 0 ? bsSolid : bsClear;
    return h;
  };
  const int line = add(cxkLINE, 10, 90, 120, 20);
  v->Obj(line)->BeginShape = cxsINARROW;
  v->Obj(line)->EndShape = cxsOUTARROW;
  v->Obj(line)->ShapeWidth = 12, v->Obj(line)->ShapeHeight = 18;
  add(cxkBOX, 5, 5, 60, 40);
  add(cxkELLIPSE, 70, 10, 150, 70);
  const int arc = add(cxkARC, 20, 60, 100, 140);
  v->Obj(arc)->StartAngle = 0.25, v->Obj(arc)->EndAngle = 4.5;
  const auto shared = Pattern(16, 12, 1), own = Pattern(9, 9, 77);
  const int b1 = add(cxkBITMAP, 130, 80, 160, 110);
  v->SetObjBitmap(b1, shared.get());
  const int b2 = add(cxkBITMAP, 165, 80, 195, 100);
  v->SetObjBitmap(b2, shared.get());
  const int b3 = add(cxkBITMAP, 165, 105, 180, 120);
  v->SetObjBitmap(b3, own.get());
  const int text = add(cxkTEXT, 30, 110, 150, 135);
  TCXVObject* t = v->Obj(text);
  t->Text = "Corvex 42";
  t->HasFont = true;
  t->Font = TLogFont{};
  t->Font.lfHeight = -16;
  t->Font.lfEscapement = 150;
  t->Font.lfWeight = 700;
  std::strcpy(t->Font.lfFaceName, "DejaVu Sans");
  t->TextAlign = taCenter;
  const int bare = add(cxkTEXT, 100, 5, 190, 20);
  v->Obj(bare)->Text = "no font";
  v->Obj(bare)->HasFont = false;
  const int ruler = add(cxkRULER, 10, 140, 180, 140);
  v->Obj(ruler)->RulerUnit = cxuMILLIMETERS;
  v->Obj(ruler)->RulerType = cxrtQUOTEBEGIN;
  v->Obj(ruler)->Style = TCXVStyle{cxvsVisible, cxvsSelectable};
  v->SetObjBackTo(ruler, -1);  // bottom
  v->SetObjFrontOf(line, -1);  // top
  v->SetScale(0.125);
}

// ---------------------------------------------------------------------------------------------
// CXV

TEST(VectIO, EveryKindRoundTripsWithItsOrderPoolAndPixels) {
  UiHarness ui;
  auto* a = NewTwoToneView<TCorvexVect>(ui, 220, 170, 200, 150, clWhite, RGBColor(200, 220, 255));
  Populate(a);
  const std::string before = LayerState(a);
  const auto shownBefore = Shown(ui, a);
  const std::vector<uint8_t> data = Save(a);
  ASSERT_GT(data.size(), 20u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "CXV5");
  uint32_t len;
  std::memcpy(&len, data.data() + 4, 4);
  EXPECT_EQ(len, data.size());

  auto* b = NewTwoToneView<TCorvexVect>(ui, 220, 170, 200, 150, clWhite, RGBColor(200, 220, 255));
  b->AddNewObject();  // replaced by the load
  ASSERT_TRUE(Load(b, data));
  EXPECT_EQ(b->GetObjectsCount(), 10);
  EXPECT_EQ(b->GetScale(), 0.125);
  // Records in the same z-order, bottom first.
  std::vector<std::string> ra, rb;
  for (int h : a->ZOrder()) ra.push_back(Record(*a->Obj(h)));
  for (int h : b->ZOrder()) rb.push_back(Record(*b->Obj(h)));
  EXPECT_EQ(ra, rb);
  EXPECT_EQ(rb.front().substr(0, 14), "10 140 180 140");  // the ruler at the bottom
  EXPECT_EQ(rb.back().substr(0, 13), "10 90 120 20 ");   // the line on top
  // The two objects sharing a bitmap share one entry of the new pool; the third has its own.
  std::vector<int> bitmaps;
  for (int h : b->ZOrder())
    if (b->GetObjKind(h) == cxkBITMAP) bitmaps.push_back(h);
  ASSERT_EQ(bitmaps.size(), 3u);
  const int i1 = b->Obj(bitmaps[0])->BitmapIndex, i2 = b->Obj(bitmaps[1])->BitmapIndex,
            i3 = b->Obj(bitmaps[2])->BitmapIndex;
  EXPECT_EQ(i1, i2);
  EXPECT_NE(i1, i3);
  EXPECT_EQ(b->GetBitmapRefCount(i1), 2);
  EXPECT_EQ(b->GetBitmapRefCount(i3), 1);
  const auto shared = Pattern(16, 12, 1), own = Pattern(9, 9, 77);
  ASSERT_NE(b->GetBitmap(i1), nullptr);
  ASSERT_NE(b->GetBitmap(i3), nullptr);
  EXPECT_TRUE(SamePixels(*b->GetBitmap(i1), *shared));
  EXPECT_TRUE(SamePixels(*b->GetBitmap(i3), *own));
  // Drawn alike.
  const auto shownAfter = Shown(ui, b);
  EXPECT_TRUE(SamePixels(*shownBefore, *shownAfter));
  // Saved again and loaded, the same records; the source is unchanged by saving.
  auto* again = NewTwoToneView<TCorvexVect>(ui, 220, 170, 200, 150);
  ASSERT_TRUE(Load(again, Save(b)));
  std::vector<std::string> rc;
  for (int h : again->ZOrder()) rc.push_back(Record(*again->Obj(h)));
  EXPECT_EQ(rc, ra);
  EXPECT_EQ(LayerState(a), before);
  // Through a file too.
  const std::string path = TempPath("vect.cxv");
  a->SaveToFileCXV(path);
  auto* c = NewTwoToneView<TCorvexVect>(ui, 220, 170, 200, 150);
  ASSERT_TRUE(c->LoadFromFileCXV(path));
  EXPECT_EQ(c->GetObjectsCount(), 10);
  EXPECT_FALSE(c->LoadFromFileCXV(path + ".missing"));
  EXPECT_EQ(c->GetObjectsCount(), 10);
}

TEST(VectIO, OlderVersionsLoadWithTheirDefaultsAndGroupsAreFlattened) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 100, 100, 80, 80);
  for (const char* magic : {"CXV3", "CXV4", "CXV5", "CXV6"}) {
    SCOPED_TRACE(magic);
    const int version = magic[3] - '0';
    Bytes r;
    r.I32(3);
    r.Head(1, 2, 30, 20, cxkTEXT, "label");
    if (version >= 4) r.U8(taRightJustify);
    r.Str("hello").U8(0);  // no font record
    r.Head(0, 50, 70, 50, cxkRULER, "");
    if (version >= 5) r.U8(cxuCENTIMETERS).U8(cxrtRULER);
    // A group holding a group holding a line, and an empty group.
    r.Head(0, 0, 0, 0, cxkNONE, "group").I32(2);
    r.Head(0, 0, 0, 0, cxkNONE, "inner").I32(1);
    r.Head(5, 6, 7, 8, cxkLINE, "in a group").U8(cxsNONE).U8(cxsOUTARROW).I32(4).I32(9);
    r.Head(0, 0, 0, 0, cxkNONE, "empty").I32(0);
    ASSERT_TRUE(Load(v, Block(magic, 2.5, r.d)));
    ASSERT_EQ(v->GetObjectsCount(), 3);
    const std::vector<int>& z = v->ZOrder();
    const TCXVObject& text = *v->Obj(z[0]);
    EXPECT_EQ(Record(text), std::string("1 2 30 20 k6 n=label id7 pc255 ps1 pw3 bc65280 bs0 st15 ta") +
                                (version >= 4 ? "1" : "0") + " t=hello f0");
    const TCXVObject& ruler = *v->Obj(z[1]);
    EXPECT_EQ(ruler.RulerUnit, version >= 5 ? cxuCENTIMETERS : cxuPIXELS);
    EXPECT_EQ(ruler.RulerType, version >= 5 ? cxrtRULER : cxrtQUOTECENTER);
    EXPECT_EQ(Record(*v->Obj(z[2])), "5 6 7 8 k1 n=in a group id7 pc255 ps1 pw3 bc65280 bs0 st15 sh02 4x9");
    EXPECT_EQ(v->GetScale(), 2.5);
  }
  // Our own empty group is written with a count of 0 and read back as nothing.
  v->RemoveAllObjects();
  v->Obj(v->AddNewObject())->Kind = cxkNONE;
  const std::vector<uint8_t> data = Save(v);
  ASSERT_TRUE(Load(v, data));
  EXPECT_EQ(v->GetObjectsCount(), 0);
}

TEST(VectIO, DamagedStreamsFailAndLeaveTheLayerAsItWas) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 220, 170, 200, 150);
  Populate(v);
  const std::string state = LayerState(v);
  const std::vector<uint8_t> good = Save(v);
  ASSERT_EQ(LayerState(v), state);

  std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
  std::vector<uint8_t> d = good;
  d[3] = '2';
  bad.push_back({"CXV2", d});
  bad.push_back({"empty", {}});
  // Every cut of the stream.
  for (size_t n = 0; n < good.size(); n += (n < 64 ? 1 : 7)) bad.push_back({"cut at " + std::to_string(n), {good.begin(), good.begin() + long(n)}});
  bad.push_back({"cut by one", {good.begin(), good.end() - 1}});
  // Scale: NaN, 0, negative, infinite.
  for (double s : {std::nan(""), 0.0, -1.0, HUGE_VAL}) {
    d = good;
    std::memcpy(d.data() + 8, &s, 8);
    bad.push_back({"scale " + std::to_string(s), d});
  }
  // A pool of 2^31 entries.
  d = good;
  d[16] = 0, d[17] = 0, d[18] = 0, d[19] = 0x80;
  bad.push_back({"pool count 2^31", d});
  // Bad compressed data: a byte of the deflated records changed.
  d = good;
  d[d.size() - 12] ^= 0x5A;
  bad.push_back({"bad zlib", d});
  d = good;
  d.back() ^= 1;
  bad.push_back({"bad checksum", d});
  // Hand-made records.
  auto records = [](auto&& fill) {
    Bytes r;
    fill(r);
    return Block("CXV5", 1.0, r.d);
  };
  bad.push_back({"object count 2^31", records([](Bytes& r) {
                   r.I32(int64_t(1) << 31);
                   r.Head(0, 0, 9, 9, cxkBOX, "");
                 })});
  bad.push_back({"pool index out of range", records([](Bytes& r) {
                   r.I32(1);
                   r.Head(0, 0, 9, 9, cxkBITMAP, "").I32(0);
                 })});
  bad.push_back({"unknown kind", records([](Bytes& r) {
                   r.I32(1);
                   r.Head(0, 0, 9, 9, TCXVObjectKind(9), "");
                 })});
  bad.push_back({"name past the end", records([](Bytes& r) {
                   r.I32(1);
                   r.I32(0).I32(0).I32(9).I32(9).U8(cxkBOX).I32(1 << 30).Raw("abc", 3);
                 })});
  bad.push_back({"nesting too deep", records([](Bytes& r) {
                   r.I32(1);
                   for (int i = 0; i < 40; ++i) r.Head(0, 0, 0, 0, cxkNONE, "").I32(1);
                   r.Head(0, 0, 9, 9, cxkBOX, "");
                 })});
  bad.push_back({"group count 2^31", records([](Bytes& r) {
                   r.I32(1);
                   r.Head(0, 0, 0, 0, cxkNONE, "").I32(int64_t(1) << 31);
                 })});
  bad.push_back({"records left over", records([](Bytes& r) {
                   r.I32(1);
                   r.Head(0, 0, 9, 9, cxkBOX, "");
                   r.Head(0, 0, 9, 9, cxkBOX, "");
                 })});
  // A pool entry whose PNG is damaged.
  {
    Bytes b;
    b.Raw("CXV5", 4).I32(0).F64(1.0).I32(1).I32(1).Raw("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    bad.push_back({"damaged PNG", b.d});
  }
  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Load(v, bytes));
    ASSERT_EQ(LayerState(v), state);
  }
  // The layer still saves as before.
  EXPECT_EQ(Save(v), good);
}

TEST(VectIO, TenObjectsSharingABitmapWriteItOnceWithCountTen) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 100, 100, 80, 80);
  const auto b = Pattern(20, 10, 5);
  for (int i = 0; i < 10; ++i) {
    const int h = v->AddNewObject();
    v->SetObjKind(h, cxkBITMAP);
    v->SetObjRect(h, Rect(i * 5, 0, i * 5 + 20, 10));
    v->SetObjBitmap(h, b.get());
  }
  const std::vector<uint8_t> data = Save(v);
  // The pool in the stream: the entry with count 10 and its PNG, other entries 0 and nothing.
  int32_t n;
  std::memcpy(&n, data.data() + 16, 4);
  int tens = 0, pngs = 0;
  size_t at = 20;
  for (int i = 0; i < n; ++i) {
    int32_t count;
    std::memcpy(&count, data.data() + at, 4);
    EXPECT_TRUE(count == 0 || count == 10) << count;
    tens += count == 10;
    at += 4;
    if (count > 0) {
      ASSERT_EQ(std::memcmp(data.data() + at, "\x89PNG", 4), 0);
      ++pngs;
      const std::string iend = "IEND";
      auto it = std::search(data.begin() + long(at), data.end(), iend.begin(), iend.end());
      at = size_t(it - data.begin()) + 8;
    }
  }
  EXPECT_EQ(tens, 1);
  EXPECT_EQ(pngs, 1);
  auto* w = NewTwoToneView<TCorvexVect>(ui, 100, 100, 80, 80);
  ASSERT_TRUE(Load(w, data));
  const int i0 = w->Obj(w->ZOrder()[0])->BitmapIndex;
  EXPECT_EQ(w->GetBitmapRefCount(i0), 10);
  for (int h : w->ZOrder()) EXPECT_EQ(w->Obj(h)->BitmapIndex, i0);
}

// ---------------------------------------------------------------------------------------------
// DXF

// A drawing 100 x 50 units: the diagonal, a circle of radius 10 at (50, 25), a quarter arc of
// radius 5 at (20, 30) from 0 to 90 degrees.
std::string Drawing(const std::string& extmin = "0.0\n20\n0.0", const std::string& extmax = "100.0\n20\n50.0") {
  return "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  9\n$EXTMIN\n 10\n" + extmin +
         "\n  9\n$EXTMAX\n 10\n" + extmax +
         "\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
         "  0\nLINE\n  8\n0\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 11\n100.0\n 21\n50.0\n 31\n0.0\n"
         "  0\nCIRCLE\n  8\n0\n 10\n50.0\n 20\n25.0\n 40\n10.0\n"
         "  0\nARC\n  8\n0\n 10\n20.0\n 20\n30.0\n 40\n5.0\n 50\n0.0\n 51\n90.0\n"
         "  0\nENDSEC\n  0\nEOF\n";
}

std::string WriteText(const std::string& name, const std::string& text) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The three objects added by importing Drawing() onto a 201 x 101 bitmap (2 pixels per unit).
void ExpectDrawingPlaced(TCorvexVect* v, int First) {
  ASSERT_EQ(v->GetObjectsCount(), First + 3);
  const std::vector<int>& z = v->ZOrder();
  const TCXVObject& line = *v->Obj(z[size_t(First)]);
  const TCXVObject& circle = *v->Obj(z[size_t(First) + 1]);
  const TCXVObject& arc = *v->Obj(z[size_t(First) + 2]);
  EXPECT_EQ(line.Kind, cxkLINE);
  EXPECT_EQ(Rect(line.x1, line.y1, line.x2, line.y2), Rect(0, 100, 200, 0));
  EXPECT_EQ(circle.Kind, cxkELLIPSE);
  EXPECT_EQ(Rect(circle.x1, circle.y1, circle.x2, circle.y2), Rect(80, 30, 120, 70));
  EXPECT_EQ(arc.Kind, cxkARC);
  EXPECT_EQ(Rect(arc.x1, arc.y1, arc.x2, arc.y2), Rect(30, 30, 50, 50));
  EXPECT_NEAR(arc.StartAngle, 0, 1e-12);
  EXPECT_NEAR(arc.EndAngle, std::numbers::pi / 2, 1e-12);
  // The template's properties.
  for (const TCXVObject* o : {&line, &circle, &arc}) {
    EXPECT_EQ(o->PenColor, v->Obj(kVectTemplate)->PenColor);
    EXPECT_EQ(o->PenWidth, v->Obj(kVectTemplate)->PenWidth);
  }
}

TEST(VectIO, DXFEntitiesLandWhereTheDrawingPutsThem) {
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 240, 140, 201, 101);
  v->Obj(kVectTemplate)->PenColor = clRed;
  v->Obj(kVectTemplate)->PenWidth = 2;
  ASSERT_TRUE(v->ImportDXF(WriteText("drawing.dxf", Drawing())));
  ExpectDrawingPlaced(v, 0);
  // Empty extents (as a drawing program writes for a new drawing) and equal ones: the entities'
  // own bounds, here the same rectangle.
  v->RemoveAllObjects();
  ASSERT_TRUE(v->ImportDXF(WriteText("noext.dxf", Drawing("1e+20\n20\n1e+20", "-1e+20\n20\n-1e+20"))));
  ExpectDrawingPlaced(v, 0);
  v->RemoveAllObjects();
  ASSERT_TRUE(v->ImportDXF(WriteText("flatext.dxf", Drawing("5\n20\n5", "5\n20\n5"))));
  ExpectDrawingPlaced(v, 0);
  // Wider than the bitmap's proportions: centred vertically.
  v->RemoveAllObjects();
  ASSERT_TRUE(v->ImportDXF(WriteText("wide.dxf", Drawing("0\n20\n0", "200\n20\n50"))));
  const TCXVObject& wide = *v->Obj(v->ZOrder()[0]);
  EXPECT_EQ(Rect(wide.x1, wide.y1, wide.x2, wide.y2), Rect(0, 75, 100, 25));  // 1 pixel per unit, 25 above

  // Damaged drawings add nothing.
  const int before = v->GetObjectsCount();
  std::string cut = Drawing();
  cut.resize(cut.find("CIRCLE") + 9);  // a code without its value
  const std::string text = Drawing();
  std::string letters = text;
  letters.replace(letters.find("100.0\n 21"), 5, "1o0.0");
  std::string code = text;
  code.replace(code.find(" 40\n"), 3, " 4x");
  std::string radius = text;
  radius.replace(radius.find("10.0\n  0\nARC"), 4, "-1.0");
  for (const std::string& bad : {cut, letters, code, radius, std::string("not a drawing\n"), std::string()}) {
    EXPECT_FALSE(v->ImportDXF(WriteText("bad.dxf", bad))) << bad.substr(0, 40);
    EXPECT_EQ(v->GetObjectsCount(), before);
  }
  EXPECT_FALSE(v->ImportDXF(TempPath("no-such.dxf")));
}

TEST(VectIO, DXFNumbersIgnoreTheLocale) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    // Not installed: compile one from the system's locale sources into a folder of our own.
    const std::string dir = TempPath("locales");
    const std::string cmd = "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      setenv("LOCPATH", dir.c_str(), 1);
      std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
  }
  if (std::localeconv()->decimal_point[0] != ',') GTEST_SKIP() << "no German locale on this machine";
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 240, 140, 201, 101);
  const bool ok = v->ImportDXF(WriteText("de.dxf", Drawing()));
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  ASSERT_TRUE(ok);
  ExpectDrawingPlaced(v, 0);
}

TEST(VectIO, DXFWrittenByEzdxf) {
  // The Debian package installs for the system's interpreter, which another python3 may shadow.
  std::string python;
  for (const char* p : {"python3", "/usr/bin/python3"})
    if (python.empty() && std::system((std::string(p) + " -c 'import ezdxf' >/dev/null 2>&1").c_str()) == 0) python = p;
  if (python.empty()) GTEST_SKIP() << "python3-ezdxf is not installed";
  const std::string path = TempPath("ezdxf.dxf");
  const std::string script = WriteText("ezdxf_drawing.py",
                                       "import sys, ezdxf\n"
                                       "doc = ezdxf.new('R2010')\n"
                                       "msp = doc.modelspace()\n"
                                       "msp.add_line((0, 0), (100, 50))\n"
                                       "msp.add_circle((50, 25), 10)\n"
                                       "msp.add_arc((20, 30), 5, 0, 90)\n"
                                       "doc.saveas(sys.argv[1])\n");
  ASSERT_EQ(std::system((python + " " + script + " " + path).c_str()), 0);
  UiHarness ui;
  auto* v = NewTwoToneView<TCorvexVect>(ui, 240, 140, 201, 101);
  ASSERT_TRUE(v->ImportDXF(path));
  ExpectDrawingPlaced(v, 0);
}

}  // namespace
}  // namespace corvex
