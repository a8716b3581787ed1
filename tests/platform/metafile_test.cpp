// The metafile player: the corpus drawings against another reader's rendering, small metafiles
// assembled here record by record (mapping modes, objects, saved states, fill modes, text,
// bitmaps, paths, clipping), and hostile files that must neither crash nor hang.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/metafile/metafile.h"
#include "corvex/platform/streams/streams.h"
#include "tests/common/testing.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;
using testing_support::CorpusDir;

// ---------------------------------------------------------------------------------------------
// Assembling metafiles

void Put16(std::vector<uint8_t>& v, int x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, int64_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(uint64_t(x) >> (8 * i)));
}

// A Windows metafile: records are given with their parameters in file order (the reverse of the
// call's arguments, as the format stores them).
struct Wmf {
  std::vector<uint8_t> recs;
  int objects = 8;
  Wmf& Rec(uint16_t fn, std::initializer_list<int> words) {
    Put32(recs, 3 + int64_t(words.size()));
    Put16(recs, fn);
    for (int w : words) Put16(recs, w);
    return *this;
  }
  Wmf& RecBytes(uint16_t fn, std::vector<uint8_t> params) {
    if (params.size() & 1) params.push_back(0);
    Put32(recs, 3 + int64_t(params.size() / 2));
    Put16(recs, fn);
    recs.insert(recs.end(), params.begin(), params.end());
    return *this;
  }
  // Calls, with the arguments in the order of the API.
  Wmf& MapMode(int m) { return Rec(0x0103, {m}); }
  Wmf& WindowOrg(int x, int y) { return Rec(0x020B, {y, x}); }
  Wmf& WindowExt(int x, int y) { return Rec(0x020C, {y, x}); }
  Wmf& ViewportOrg(int x, int y) { return Rec(0x020D, {y, x}); }
  Wmf& ViewportExt(int x, int y) { return Rec(0x020E, {y, x}); }
  Wmf& Pen(int style, int width, uint32_t color) {
    return Rec(0x02FA, {style, width, 0, int(color & 0xFFFF), int(color >> 16)});
  }
  Wmf& Brush(int style, uint32_t color, int hatch = 0) {
    return Rec(0x02FC, {style, int(color & 0xFFFF), int(color >> 16), hatch});
  }
  Wmf& Select(int i) { return Rec(0x012D, {i}); }
  Wmf& Delete(int i) { return Rec(0x01F0, {i}); }
  Wmf& Rectangle(int l, int t, int r, int b) { return Rec(0x041B, {b, r, t, l}); }
  Wmf& Ellipse(int l, int t, int r, int b) { return Rec(0x0418, {b, r, t, l}); }
  Wmf& Polygon(std::initializer_list<std::pair<int, int>> pts) {
    std::vector<uint8_t> v;
    Put16(v, int(pts.size()));
    for (auto [x, y] : pts) Put16(v, x), Put16(v, y);
    return RecBytes(0x0324, v);
  }
  Wmf& Font(int height, const char* face, int weight = 400, int escapement = 0) {
    std::vector<uint8_t> v;
    Put16(v, height), Put16(v, 0), Put16(v, escapement), Put16(v, escapement), Put16(v, weight);
    for (int i = 0; i < 8; ++i) v.push_back(0);
    for (const char* p = face; *p; ++p) v.push_back(uint8_t(*p));
    v.push_back(0);
    return RecBytes(0x02FB, v);
  }
  Wmf& TextOut(int x, int y, const std::string& s) {
    std::vector<uint8_t> v;
    Put16(v, int(s.size()));
    v.insert(v.end(), s.begin(), s.end());
    if (s.size() & 1) v.push_back(0);
    Put16(v, y), Put16(v, x);
    return RecBytes(0x0521, v);
  }
  std::vector<uint8_t> Build(bool placeable = false, int l = 0, int t = 0, int r = 0, int b = 0, int inch = 96) const {
    std::vector<uint8_t> out;
    if (placeable) {
      Put32(out, 0x9AC6CDD7);
      Put16(out, 0);
      Put16(out, l), Put16(out, t), Put16(out, r), Put16(out, b), Put16(out, inch);
      Put32(out, 0);
      uint16_t sum = 0;
      for (int i = 0; i < 10; ++i) sum ^= uint16_t(out[2 * i] | (out[2 * i + 1] << 8));
      Put16(out, sum);
    }
    const size_t words = 9 + recs.size() / 2 + 3;
    Put16(out, 1), Put16(out, 9), Put16(out, 0x0300);
    Put32(out, int64_t(words)), Put16(out, objects), Put32(out, 0), Put16(out, 0);
    out.insert(out.end(), recs.begin(), recs.end());
    Put32(out, 3), Put16(out, 0);  // the end
    return out;
  }
};

// An enhanced metafile whose reference device is 96 dpi and whose frame is W x H pixels.
struct Emf {
  std::vector<uint8_t> recs;
  int records = 0;
  int handles = 8;
  Emf& Rec(uint32_t type, std::initializer_list<int64_t> fields) {
    Put32(recs, type);
    Put32(recs, 8 + 4 * int64_t(fields.size()));
    for (int64_t f : fields) Put32(recs, f);
    ++records;
    return *this;
  }
  Emf& RecBytes(uint32_t type, std::vector<uint8_t> body) {
    while (body.size() % 4) body.push_back(0);
    Put32(recs, type);
    Put32(recs, 8 + int64_t(body.size()));
    recs.insert(recs.end(), body.begin(), body.end());
    ++records;
    return *this;
  }
  Emf& Brush(int ih, int style, uint32_t color, int hatch = 0) { return Rec(39, {ih, style, color, hatch}); }
  Emf& Pen(int ih, int style, int width, uint32_t color) { return Rec(38, {ih, style, width, 0, color}); }
  Emf& Select(uint32_t ih) { return Rec(37, {ih}); }
  Emf& Rectangle(int l, int t, int r, int b) { return Rec(43, {l, t, r, b}); }
  Emf& Points(uint32_t type, std::initializer_list<std::pair<int, int>> pts) {
    std::vector<uint8_t> v;
    for (int i = 0; i < 4; ++i) Put32(v, 0);
    Put32(v, int64_t(pts.size()));
    for (auto [x, y] : pts) Put32(v, x), Put32(v, y);
    return RecBytes(type, v);
  }
  Emf& XForm(uint32_t type, float m11, float m12, float m21, float m22, float dx, float dy, int mode = -1) {
    std::vector<uint8_t> v;
    for (float f : {m11, m12, m21, m22, dx, dy}) {
      uint32_t u;
      std::memcpy(&u, &f, 4);
      Put32(v, u);
    }
    if (mode >= 0) Put32(v, mode);
    return RecBytes(type, v);
  }
  std::vector<uint8_t> Build(int W, int H) const {
    std::vector<uint8_t> out;
    const int64_t total = 108 + int64_t(recs.size()) + 20;
    Put32(out, 1), Put32(out, 108);
    Put32(out, 0), Put32(out, 0), Put32(out, W - 1), Put32(out, H - 1);  // bounds
    // The frame in hundredths of a millimetre: 96 pixels are 2540.
    Put32(out, 0), Put32(out, 0), Put32(out, W * 2540 / 96), Put32(out, H * 2540 / 96);
    Put32(out, 0x464D4520), Put32(out, 0x10000), Put32(out, total), Put32(out, records + 2);
    Put16(out, handles), Put16(out, 0);
    Put32(out, 0), Put32(out, 0), Put32(out, 0);  // description, palette
    Put32(out, 960), Put32(out, 960), Put32(out, 254), Put32(out, 254);  // 96 dpi
    Put32(out, 0), Put32(out, 0), Put32(out, 0), Put32(out, 254000), Put32(out, 254000);
    out.insert(out.end(), recs.begin(), recs.end());
    Put32(out, 14), Put32(out, 20), Put32(out, 0), Put32(out, 0), Put32(out, 20);  // the end
    return out;
  }
};

std::unique_ptr<TMetafile> Load(const std::vector<uint8_t>& bytes) {
  TPointerStream s(bytes.data(), int64_t(bytes.size()));
  auto m = std::make_unique<TMetafile>();
  m->LoadFromStream(&s);
  return m;
}

// Plays onto a white bitmap of the given size.
void PlayInto(const TMetafile& m, TBitmap& b, int w, int h) {
  Make(b, w, h, clWhite);
  m.Play(b.GetCanvas(), Rect(0, 0, w, h));
}

TRect InkBounds(const TBitmap& b, TColor background = clWhite) {
  TRect r{b.GetWidth(), b.GetHeight(), -1, -1};
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      if (Raw(b, x, y) != background) {
        r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

bool HaveFonts() {
  TBitmap b(4, 4, pf24bit);
  return b.GetCanvas()->TextWidth("W") > 0;
}

// ---------------------------------------------------------------------------------------------
// Files written by other programs

// The reference rendering as RGB bytes (row 0 first), through Pillow.
bool ReadReference(const std::string& png, int& w, int& h, std::vector<uint8_t>& rgb) {
  if (!testing_support::HavePythonModule("PIL")) return false;
  const std::string out = testing_support::TempPath("mfref.ppm");
  const std::string cmd = testing_support::Python() + " -c \"from PIL import Image; Image.open('" + png +
                          "').convert('RGB').save('" + out + "')\"";
  if (testing_support::RunCommand(cmd) != 0) return false;
  const std::vector<uint8_t> ppm = testing_support::ReadFileBytes(out);
  std::remove(out.c_str());
  // "P6\n<w> <h>\n255\n"
  size_t pos = 0;
  auto token = [&] {
    while (pos < ppm.size() && std::isspace(ppm[pos])) ++pos;
    std::string t;
    while (pos < ppm.size() && !std::isspace(ppm[pos])) t += char(ppm[pos++]);
    return t;
  };
  if (token() != "P6") return false;
  w = std::stoi(token()), h = std::stoi(token());
  token();
  ++pos;
  if (ppm.size() < pos + size_t(w) * h * 3) return false;
  rgb.assign(ppm.begin() + long(pos), ppm.begin() + long(pos + size_t(w) * h * 3));
  return true;
}

std::vector<uint8_t> Rgb(const TBitmap& b) { return testing_support::RgbBytes(b); }

// Share of "red" pixels in each cell of a Cells x Cells grid.
std::vector<double> RedCoverage(const std::vector<uint8_t>& rgb, int w, int h, int cells) {
  std::vector<double> c(size_t(cells * cells), 0), n(size_t(cells * cells), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[3 * (size_t(y) * w + x)];
      const size_t k = size_t(y * cells / h * cells + x * cells / w);
      c[k] += p[0] > 160 && p[1] < 100 && p[2] < 100;
      n[k] += 1;
    }
  for (size_t k = 0; k < c.size(); ++k) c[k] /= n[k];
  return c;
}

// PSNR of two RGB images after a 5 x 5 box blur of each (edges, antialiasing and pen placement
// differ between renderers; the shapes and colours must not).
double BlurredPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h) {
  auto blur = [&](const std::vector<uint8_t>& s) {
    std::vector<double> o(s.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          double sum = 0;
          int cnt = 0;
          for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
              const int xx = x + dx, yy = y + dy;
              if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
              sum += s[3 * (size_t(yy) * w + xx) + c], ++cnt;
            }
          o[3 * (size_t(y) * w + x) + c] = sum / cnt;
        }
    return o;
  };
  const std::vector<double> x = blur(a), y = blur(b);
  double mse = 0;
  for (size_t i = 0; i < x.size(); ++i) mse += (x[i] - y[i]) * (x[i] - y[i]);
  mse /= double(x.size());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(Metafile, CorpusDrawingsLookLikeTheOtherReadersRendering) {
  CORVEX_REQUIRE_CORPUS();
  const std::string dir = CorpusDir() + "/metafile/";
  TMetafile wmf, emf;
  wmf.LoadFromFile(dir + "pillow_drawing.wmf");
  emf.LoadFromFile(dir + "pillow_drawing.emf");
  // Sizes at 96 dpi: 1369 units at 1200 per inch, and a frame of 28.99 mm.
  EXPECT_FALSE(wmf.GetEnhanced());
  EXPECT_EQ(wmf.GetInch(), 1200);
  EXPECT_EQ(wmf.GetWidth(), 110);
  EXPECT_EQ(wmf.GetHeight(), 110);
  EXPECT_EQ(wmf.GetMMWidth(), 2898);
  EXPECT_TRUE(emf.GetEnhanced());
  EXPECT_EQ(emf.GetWidth(), 110);
  EXPECT_EQ(emf.GetHeight(), 110);
  EXPECT_EQ(emf.GetMMWidth(), 2899);

  int w = 0, h = 0;
  std::vector<uint8_t> ref;
  if (!ReadReference(dir + "ref/pillow_drawing.wmf.libwmf.png", w, h, ref)) GTEST_SKIP() << "no Pillow";
  ASSERT_EQ(w, 82);
  // The WMF is a red disc with a thin black outline: compare the share of red in each cell of a
  // 4 x 4 grid, and the blurred pictures.
  const std::vector<double> want = RedCoverage(ref, w, h, 4);
  TBitmap b;
  PlayInto(wmf, b, w, h);
  const std::vector<uint8_t> got = Rgb(b);
  const std::vector<double> cov = RedCoverage(got, w, h, 4);
  for (size_t k = 0; k < cov.size(); ++k) EXPECT_NEAR(cov[k], want[k], 0.06) << "cell " << k;
  EXPECT_GT(BlurredPsnr(got, ref, w, h), 24.0);

  // The EMF draws the same disc from four Bezier curves in a frame with a margin on the right
  // and at the bottom: centre (669, 669) and radius 662 of a frame 1369.6 units wide. Nearly
  // every pixel is red exactly when its centre is inside that disc (the outline, one pixel
  // wide, and the flattened curves account for the rest).
  PlayInto(emf, b, w, h);
  const double scale = 82 / 1369.6, c = 669 * scale, r = 662 * scale;
  int agree = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside = std::hypot(x + 0.5 - c, y + 0.5 - c) < r;
      agree += inside == (Raw(b, x, y) == clRed);
    }
  EXPECT_GT(agree, w * h * 96 / 100);
  const std::vector<double> emfCov = RedCoverage(Rgb(b), w, h, 4);
  for (size_t k = 0; k < cov.size(); ++k) EXPECT_NEAR(emfCov[k], want[k], 0.15) << "cell " << k;
}

TEST(Metafile, RefusesWhatIsNotAMetafile) {
  auto refuse = [](std::vector<uint8_t> bytes, const char* why) {
    try {
      auto m = Load(bytes);
      ADD_FAILURE() << "loaded " << why;
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find("metafile"), std::string::npos) << e.what();
    }
  };
  refuse({}, "nothing");
  refuse({'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, "a bitmap");
  std::vector<uint8_t> placeable = Wmf().Build(true, 0, 0, 10, 10);
  placeable[22] = 7;  // no metafile header after the placeable one
  refuse(placeable, "a broken placeable header");
  std::vector<uint8_t> emf = Emf().Build(10, 10);
  emf.resize(60);
  refuse(emf, "a truncated enhanced header");
  EXPECT_THROW(TMetafile().LoadFromFile(testing_support::TempPath("missing.wmf")), EFOpenError);

  // A picture that loads keeps its bytes, and a stream is left after them.
  const std::vector<uint8_t> bytes = Wmf().Rectangle(0, 0, 5, 5).Build(true, 0, 0, 10, 10);
  std::vector<uint8_t> two = bytes;
  two.insert(two.end(), {1, 2, 3, 4});
  TPointerStream s(two.data(), int64_t(two.size()));
  TMetafile kept;
  kept.LoadFromStream(&s);
  EXPECT_EQ(s.GetPosition(), int64_t(bytes.size()));
  EXPECT_EQ(kept.GetData(), bytes);
  TMemoryStream out;
  kept.SaveToStream(&out);
  EXPECT_EQ(out.GetSize(), int64_t(bytes.size()));
}

// ---------------------------------------------------------------------------------------------
// Mapping

TEST(Metafile, WindowsAndViewportsMapTheDrawingOntoTheDestination) {
  // A plain WMF whose window is (100, 100) + (200, 100): a 200 x 100 picture.
  Wmf w;
  w.MapMode(8).WindowOrg(100, 100).WindowExt(200, 100).Brush(0, 0x0000FF).Select(0).Pen(5, 0, 0).Select(1);
  w.Rectangle(100, 100, 200, 150);
  auto m = Load(w.Build());
  EXPECT_EQ(m->GetWidth(), 200);
  EXPECT_EQ(m->GetHeight(), 100);
  TBitmap b;
  PlayInto(*m, b, 200, 100);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 100, 50));
  EXPECT_EQ(Raw(b, 50, 25), clRed);
  // Drawn at twice the size, everything doubles.
  PlayInto(*m, b, 400, 200);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 200, 100));
  // Drawn into a rectangle of a larger bitmap, nothing outside it changes.
  Make(b, 300, 300, clWhite);
  m->Play(b.GetCanvas(), Rect(50, 60, 250, 160));
  EXPECT_EQ(InkBounds(b), Rect(50, 60, 150, 110));

  // A placeable WMF: bounds of 1440 x 720 units at 1440 per inch are 96 x 48 pixels.
  Wmf p;
  p.Brush(0, 0x00FF00).Select(0).Rectangle(720, 360, 1440, 720);
  m = Load(p.Build(true, 0, 0, 1440, 720, 1440));
  EXPECT_EQ(m->GetWidth(), 96);
  EXPECT_EQ(m->GetHeight(), 48);
  EXPECT_EQ(m->GetMMWidth(), 2540);
  PlayInto(*m, b, 96, 48);
  EXPECT_EQ(InkBounds(b), Rect(48, 24, 96, 48));

  // A viewport in an isotropic window takes the smaller scale on both axes.
  Wmf iso;
  iso.MapMode(7).WindowExt(100, 50).ViewportExt(96, 96).Brush(0, 0).Select(0).Rectangle(0, 0, 100, 50);
  m = Load(iso.Build(false));
  EXPECT_EQ(m->GetWidth(), 96);
  EXPECT_EQ(m->GetHeight(), 96);
  PlayInto(*m, b, 96, 96);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 96, 48));
}

TEST(Metafile, FixedMappingModesMeasureInTheirUnitsWithYUp) {
  // Half an inch square, in each fixed mode's units, from the viewport origin at the bottom left
  // of a 96-dpi picture of one inch.
  const struct {
    int mode, half;
  } modes[] = {{2, 127}, {3, 1270}, {4, 50}, {5, 500}, {6, 720}};
  for (const auto& md : modes) {
    Emf e;
    e.Rec(17, {md.mode}).Rec(12, {0, 96}).Brush(1, 0, 0xFF0000).Select(1).Rectangle(0, 0, md.half, md.half);
    auto m = Load(e.Build(96, 96));
    EXPECT_EQ(m->GetWidth(), 96);
    TBitmap b;
    PlayInto(*m, b, 96, 96);
    EXPECT_EQ(InkBounds(b), Rect(0, 48, 48, 96)) << "mode " << md.mode;
    EXPECT_EQ(Raw(b, 10, 80), clBlue);
  }
}

TEST(Metafile, WorldTransformsMoveScaleAndTurn) {
  Emf e;
  e.Brush(1, 0, 0).Select(1).Select(0x80000008);  // black brush, no pen
  e.XForm(35, 2, 0, 0, 2, 10, 20).Rectangle(0, 0, 10, 10);
  auto m = Load(e.Build(100, 100));
  TBitmap b;
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(InkBounds(b), Rect(10, 20, 30, 40));
  // A quarter turn (y down: x goes to y) after a translation.
  Emf t;
  t.Brush(1, 0, 0).Select(1).Select(0x80000008);
  t.XForm(36, 1, 0, 0, 1, 50, 10, 4).XForm(36, 0, 1, -1, 0, 0, 0, 2).Rectangle(0, 0, 40, 10);
  m = Load(t.Build(100, 100));
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(InkBounds(b), Rect(40, 10, 50, 50));
}

// ---------------------------------------------------------------------------------------------
// Objects, states, fills

TEST(Metafile, ObjectsTakeTheLowestFreeSlotAndDeletedOnesStayInUse) {
  Wmf w;
  w.MapMode(8).WindowExt(40, 10);
  w.Pen(5, 0, 0);                              // slot 0: no pen
  w.Brush(0, 0xFF0000);                        // slot 1: blue
  w.Brush(0, 0x00FF00);                        // slot 2: green
  w.Select(0).Select(1).Rectangle(0, 0, 10, 10);
  w.Delete(1).Rectangle(10, 0, 20, 10);        // still the selected blue
  w.Brush(0, 0x00FFFF).Select(1);              // yellow takes slot 1
  w.Select(99).Rectangle(20, 0, 30, 10);       // a bad index changes nothing
  w.Select(2).Rectangle(30, 0, 40, 10);
  auto m = Load(w.Build());
  TBitmap b;
  PlayInto(*m, b, 40, 10);
  EXPECT_EQ(Raw(b, 5, 5), clBlue);
  EXPECT_EQ(Raw(b, 15, 5), clBlue);
  EXPECT_EQ(Raw(b, 25, 5), clYellow);
  EXPECT_EQ(Raw(b, 35, 5), clLime);

  // EMF: objects at the indices the records name, stock objects, indices outside the table.
  Emf e;
  e.handles = 3;
  e.Brush(1, 0, 0x0000FF).Brush(5, 0, 0x00FF00);  // 5 is outside the table: not created
  e.Select(1).Select(0x80000008).Rectangle(0, 0, 10, 10);
  e.Select(5).Rectangle(10, 0, 20, 10);
  e.Select(0x80000004).Rectangle(20, 0, 30, 10);
  e.Select(0x80000005).Select(0x80000007).Rectangle(30, 0, 40, 10);
  m = Load(e.Build(40, 10));
  PlayInto(*m, b, 40, 10);
  EXPECT_EQ(Raw(b, 5, 5), clRed);
  EXPECT_EQ(Raw(b, 15, 5), clRed);
  EXPECT_EQ(Raw(b, 25, 5), clBlack);
  EXPECT_EQ(Raw(b, 35, 5), clWhite);  // null brush: only the black outline
  EXPECT_EQ(Raw(b, 30, 5), clBlack);
}

TEST(Metafile, SavedStatesComeBackAndNestDeeply) {
  Wmf w;
  w.MapMode(8).WindowExt(40, 10).Pen(5, 0, 0).Select(0).Brush(0, 0x0000FF).Select(1);
  w.Rec(0x001E, {});                                               // save: red brush
  w.Brush(0, 0xFF0000).Select(2).WindowOrg(-10, 0).Rectangle(0, 0, 10, 10);  // blue at 10..20
  w.Rec(0x0127, {0xFFFF});                                         // restore -1
  w.Rectangle(0, 0, 10, 10);                                       // red at 0..10
  // Absolute restore: save twice, restore to the first level.
  w.Rec(0x001E, {}).Brush(0, 0x00FF00).Select(3).Rec(0x001E, {}).Brush(0, 0).Select(4);
  w.Rec(0x0127, {1}).Rectangle(20, 0, 30, 10);                     // red again
  // Far deeper than the saved states kept: the restores still pair up.
  for (int i = 0; i < 1500; ++i) w.Rec(0x001E, {});
  w.Brush(0, 0x00FF00).Select(5);
  for (int i = 0; i < 1500; ++i) w.Rec(0x0127, {0xFFFF});
  w.Rectangle(30, 0, 40, 10);
  w.objects = 8;
  auto m = Load(w.Build());
  TBitmap b;
  PlayInto(*m, b, 40, 10);
  EXPECT_EQ(Raw(b, 15, 5), clBlue);
  EXPECT_EQ(Raw(b, 5, 5), clRed);
  EXPECT_EQ(Raw(b, 25, 5), clRed);
  EXPECT_EQ(Raw(b, 35, 5), clRed);
}

TEST(Metafile, PolygonFillModes) {
  // A five-pointed star: the alternate rule leaves its centre empty, winding fills it.
  for (int mode : {1, 2}) {
    Wmf w;
    w.MapMode(8).WindowExt(100, 100).Rec(0x0106, {mode}).Pen(5, 0, 0).Select(0).Brush(0, 0).Select(1);
    w.Polygon({{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}});
    auto m = Load(w.Build());
    TBitmap b;
    PlayInto(*m, b, 100, 100);
    EXPECT_EQ(Raw(b, 50, 15), clBlack);  // a point of the star
    EXPECT_EQ(Raw(b, 50, 50), mode == 2 ? clBlack : clWhite) << "mode " << mode;
  }
}

TEST(Metafile, ShapesAndHatchesFollowTheirRecords) {
  Wmf w;
  w.MapMode(8).WindowExt(100, 100).Pen(0, 1, 0).Select(0).Brush(0, 0x0000FF).Select(1);
  w.Rec(0x061C, {20, 20, 40, 40, 0, 0});                      // RoundRect (0, 0, 40, 40, 20, 20)
  w.Rec(0x081A, {100, 100, 100, 0, 40, 100, 0, 60});         // Pie (60, 0, 100, 40, 0, 100, 100, 100)
  w.Rec(0x0830, {80, 0, 80, 100, 100, 40, 60, 0});           // Chord (0, 60, 40, 100, 100, 80, 0, 80)
  w.Brush(2, 0xFF0000, 0).Select(2).Rec(0x0102, {2}).Rec(0x0201, {0x00FF, 0x0000});
  w.Rectangle(60, 60, 100, 100);                              // opaque horizontal hatch on red
  auto m = Load(w.Build());
  TBitmap b;
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(Raw(b, 20, 20), clRed);
  EXPECT_EQ(Raw(b, 1, 1), clWhite);                           // a rounded corner
  EXPECT_EQ(Raw(b, 80, 30), clRed);                           // lower half of the pie
  EXPECT_EQ(Raw(b, 80, 10), clWhite);                         // its upper half is cut away
  EXPECT_EQ(Raw(b, 20, 68), clRed);                           // the upper half: the arc's side
  EXPECT_EQ(Raw(b, 20, 92), clWhite);                         // the other side of the chord
  int blue = 0, red = 0;
  for (int y = 61; y < 99; ++y) blue += Raw(b, 80, y) == clBlue, red += Raw(b, 80, y) == TColor(0x0000FF);
  EXPECT_GT(blue, 2);
  EXPECT_GT(red, 20);
}

// ---------------------------------------------------------------------------------------------
// Text

TEST(Metafile, TextIsPlacedByItsAlignment) {
  if (!HaveFonts()) GTEST_SKIP() << "no fonts";
  auto ink = [](int align) {
    Wmf w;
    w.MapMode(8).WindowExt(200, 100).Font(-30, "DejaVu Sans").Select(0).Rec(0x012E, {align});
    w.Rec(0x0102, {1}).TextOut(100, 50, "Hxy");
    auto m = Load(w.Build());
    TBitmap b;
    PlayInto(*m, b, 200, 100);
    return InkBounds(b);
  };
  const TRect top = ink(0), base = ink(24), bottom = ink(8), right = ink(2), center = ink(6);
  EXPECT_GE(top.Top, 50);                  // below the reference point
  EXPECT_LT(base.Top, 50);                 // capitals above the baseline
  EXPECT_GT(base.Bottom, 50);              // the descender of y below it
  EXPECT_LE(bottom.Bottom, 51);
  EXPECT_GE(top.Left, 100);
  EXPECT_LE(right.Right, 101);
  EXPECT_LT(center.Left, 100);
  EXPECT_GT(center.Right, 100);
  EXPECT_NEAR((center.Left + center.Right) / 2.0, 100, 4);
  // The text is about as wide as the font says (three letters of a 30-pixel font).
  EXPECT_GT(top.Width(), 40);
  EXPECT_LT(top.Width(), 90);
  {
    // An escapement of 90 degrees runs the text upwards from the reference point, the cell to
    // its right.
    Wmf w;
    w.MapMode(8).WindowExt(100, 200).Font(-30, "DejaVu Sans", 700, 900).Select(0).Rec(0x0102, {1});
    w.TextOut(50, 150, "Hxy");
    auto m = Load(w.Build());
    TBitmap b;
    PlayInto(*m, b, 100, 200);
    const TRect up = InkBounds(b);
    EXPECT_GT(up.Height(), 2 * up.Width());
    EXPECT_LE(up.Bottom, 152);
    EXPECT_GE(up.Left, 48);
  }

  // EMF: UTF-16 text with advances and an opaque rectangle.
  Emf e;
  std::vector<uint8_t> font;
  Put32(font, 1);
  Put32(font, -20), Put32(font, 0), Put32(font, 0), Put32(font, 0), Put32(font, 700);
  for (int i = 0; i < 8; ++i) font.push_back(0);
  for (char c : std::string("DejaVu Sans")) Put16(font, c);
  while (font.size() < 4 + 92) font.push_back(0);
  e.RecBytes(82, font).Select(1).Rec(18, {1}).Rec(25, {0x00FF00});
  std::vector<uint8_t> t;
  for (int i = 0; i < 4; ++i) Put32(t, 0);      // bounds
  Put32(t, 1), Put32(t, 0), Put32(t, 0);        // graphics mode, scales
  Put32(t, 10), Put32(t, 10), Put32(t, 3);      // reference, characters
  Put32(t, 76), Put32(t, 2);                    // string offset, ETO_OPAQUE
  Put32(t, 0), Put32(t, 50), Put32(t, 200), Put32(t, 60);  // the opaque rectangle
  Put32(t, 84);                                 // advances' offset
  for (uint16_t c : {u'A', u'\u00e9', u'B'}) Put16(t, c);
  Put16(t, 0);
  for (int a : {60, 60, 60}) Put32(t, a);
  e.RecBytes(84, t);
  auto m = Load(e.Build(200, 100));
  TBitmap b;
  PlayInto(*m, b, 200, 100);
  EXPECT_EQ(Raw(b, 150, 55), clLime);           // the opaque rectangle
  TRect text = InkBounds(b);
  EXPECT_LE(text.Left, 12);
  EXPECT_GE(text.Right, 125);                   // the third letter starts 120 pixels in
}

// ---------------------------------------------------------------------------------------------
// Bitmaps, paths, clipping

// A 2 x 2, 24-bit DIB stored bottom row first: bottom row blue, green; top row red, white.
std::vector<uint8_t> Dib2x2() {
  std::vector<uint8_t> d;
  Put32(d, 40), Put32(d, 2), Put32(d, 2), Put16(d, 1), Put16(d, 24);
  for (int i = 0; i < 6; ++i) Put32(d, 0);
  for (uint8_t v : {255, 0, 0, 0, 255, 0, 0, 0}) d.push_back(v);          // blue, green, pad
  for (uint8_t v : {0, 0, 255, 255, 255, 255, 0, 0}) d.push_back(v);      // red, white, pad
  return d;
}

TEST(Metafile, BitmapsAreStretchedOntoTheirRectangles) {
  // WMF StretchDIB onto (10, 10) + (40, 40).
  std::vector<uint8_t> p;
  Put32(p, 0x00CC0020);
  for (int v : {0, 2, 2, 0, 0, 40, 40, 10, 10}) Put16(p, v);  // usage, src h, w, y, x, dest h, w, y, x
  const std::vector<uint8_t> dib = Dib2x2();
  p.insert(p.end(), dib.begin(), dib.end());
  Wmf w;
  w.MapMode(8).WindowExt(60, 60).RecBytes(0x0F43, p);
  auto m = Load(w.Build());
  TBitmap b;
  PlayInto(*m, b, 60, 60);
  EXPECT_EQ(InkBounds(b), Rect(10, 10, 50, 50));
  EXPECT_EQ(Raw(b, 20, 20), clRed);
  EXPECT_EQ(Raw(b, 40, 20), clWhite);
  EXPECT_EQ(Raw(b, 20, 40), clBlue);
  EXPECT_EQ(Raw(b, 40, 40), clLime);

  // EMF StretchDIBits with the lower right pixel as source (bottom-left origin), mirrored.
  Emf e;
  std::vector<uint8_t> s;
  for (int i = 0; i < 4; ++i) Put32(s, 0);
  for (int v : {0, 0, 0, 0, 2, 2}) Put32(s, v);  // dest x, y; src x, y, w, h
  Put32(s, 80), Put32(s, 40), Put32(s, 120), Put32(s, 16), Put32(s, 0), Put32(s, 0x00CC0020);
  Put32(s, -20), Put32(s, 20);                   // dest size: mirrored left to right
  s.insert(s.end(), dib.begin(), dib.end());
  e.RecBytes(81, s);
  m = Load(e.Build(40, 40));
  PlayInto(*m, b, 40, 40);
  EXPECT_EQ(Count(b, clWhite), 40 * 40);         // from x = 0 to -20: outside the picture
  e = Emf();
  s[16] = 20;                                    // from x = 20 to 0
  e.RecBytes(81, s);
  m = Load(e.Build(40, 40));
  PlayInto(*m, b, 40, 40);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 20, 20));
  EXPECT_EQ(Raw(b, 15, 5), clRed);               // mirrored: red on the right
  EXPECT_EQ(Raw(b, 5, 15), clLime);
}

TEST(Metafile, RunLengthBitmapsRegionClipsAndPatternBlits) {
  // SetDIBitsToDevice of a 4 x 2 RLE8 bitmap: bottom row red, red, blue, blue; top row blue.
  std::vector<uint8_t> p;
  for (int v : {0, 2, 0, 0, 0, 2, 4, 0, 0}) Put16(p, v);  // usage, scans, start, y, x src, h, w, y, x dest
  Put32(p, 40), Put32(p, 4), Put32(p, 2), Put16(p, 1), Put16(p, 8), Put32(p, 1), Put32(p, 10);
  Put32(p, 0), Put32(p, 0), Put32(p, 2), Put32(p, 0);
  for (uint8_t v : {0, 0, 255, 0, 255, 0, 0, 0}) p.push_back(v);    // red, blue
  for (uint8_t v : {2, 0, 2, 1, 0, 0, 4, 1, 0, 1}) p.push_back(v);  // runs, end of line, end
  Wmf w;
  w.MapMode(8).WindowExt(40, 40).RecBytes(0x0D33, p);
  // A region of one scan, (10, 10) to (30, 20), as the clip for a black rectangle over all.
  std::vector<uint8_t> rg;
  for (int v : {0, 6, 0, 0, 40, 1, 2, 10, 10, 30, 20, 2, 10, 20, 10, 30, 2}) Put16(rg, v);
  w.RecBytes(0x06FF, rg).Brush(0, 0).Select(1).Pen(5, 0, 0).Select(2).Rec(0x012C, {0});
  w.Rectangle(0, 0, 40, 40);
  w.Rec(0x012C, {0x7FFF});                                          // not a region: no clip
  w.Brush(0, 0xFF0000).Select(3).Rec(0x061D, {0x0049, 0x005A, 5, 5, 35, 0});  // PATINVERT (0, 35) + (5, 5)
  auto m = Load(w.Build());
  TBitmap b;
  PlayInto(*m, b, 40, 40);
  EXPECT_EQ(Raw(b, 0, 0), clBlue);
  EXPECT_EQ(Raw(b, 3, 0), clBlue);
  EXPECT_EQ(Raw(b, 0, 1), clRed);
  EXPECT_EQ(Raw(b, 2, 1), clBlue);
  EXPECT_EQ(InkBounds(b, clWhite).Bottom, 40);
  EXPECT_EQ(Count(b, clBlack), 20 * 10);  // the black rectangle only inside the region
  EXPECT_EQ(Raw(b, 10, 10), clBlack);
  EXPECT_EQ(Raw(b, 29, 19), clBlack);
  EXPECT_EQ(Raw(b, 2, 37), clYellow);     // white inverted by blue
  EXPECT_EQ(Count(b, clYellow), 25);
}

TEST(Metafile, PathsFillStrokeAndClip) {
  Emf e;
  e.Brush(1, 0, 0xFF0000).Select(1).Select(0x80000007);
  e.Rec(59, {}).Rec(27, {10, 10}).Points(6, {{90, 10}, {90, 90}}).Rec(61, {}).Rec(60, {}).Rec(62, {});
  auto m = Load(e.Build(100, 100));
  TBitmap b;
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(Raw(b, 80, 30), clBlue);   // inside the triangle
  EXPECT_EQ(Raw(b, 20, 80), clWhite);  // outside
  // A path as the clip region: a rectangle over everything shows only inside the triangle.
  Emf c;
  c.Brush(1, 0, 0x0000FF).Select(1).Select(0x80000008);
  c.Rec(59, {}).Rec(27, {10, 10}).Points(6, {{90, 10}, {90, 90}}).Rec(61, {}).Rec(60, {}).Rec(67, {5});
  c.Rectangle(0, 0, 100, 100);
  c.Rec(30, {0, 0, 50, 100}).Rectangle(0, 0, 100, 100);  // intersect: nothing new outside
  m = Load(c.Build(100, 100));
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(Raw(b, 80, 30), clRed);
  EXPECT_EQ(Raw(b, 20, 80), clWhite);
  const TRect r = InkBounds(b);
  EXPECT_GE(r.Left, 10);
  EXPECT_LE(r.Bottom, 91);
  // A curve of the path is flattened: a quarter circle from Bezier control points.
  Emf q;
  q.Brush(1, 0, 0).Select(1).Select(0x80000008);
  q.Rec(59, {}).Rec(27, {0, 0}).Points(6, {{100, 0}}).Points(5, {{100, 55}, {55, 100}, {0, 100}}).Rec(61, {});
  q.Rec(60, {}).Rec(62, {});
  m = Load(q.Build(100, 100));
  PlayInto(*m, b, 100, 100);
  EXPECT_EQ(Raw(b, 60, 60), clBlack);
  EXPECT_EQ(Raw(b, 95, 95), clWhite);
  EXPECT_EQ(Raw(b, 95, 5), clBlack);
}

TEST(Metafile, ThePictureStaysInsideTheCanvasClipAndLeavesTheToolsAlone) {
  Wmf w;
  w.MapMode(8).WindowExt(10, 10).Brush(0, 0).Select(0).Rectangle(-100, -100, 100, 100);
  auto m = Load(w.Build());
  TBitmap b;
  Make(b, 50, 50, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetPen()->SetColor(clRed);
  c->GetBrush()->SetColor(clYellow);
  c->IntersectClipRect(0, 0, 30, 30);
  m->Play(c, Rect(20, 20, 40, 40));
  EXPECT_EQ(InkBounds(b), Rect(20, 20, 30, 30));
  EXPECT_EQ(c->GetPen()->GetColor(), clRed);
  EXPECT_EQ(c->GetBrush()->GetColor(), clYellow);
  TRegion clip;
  ASSERT_TRUE(c->GetClipRgn(clip));
  EXPECT_EQ(clip.GetBounds(), Rect(0, 0, 30, 30));
  // StretchDraw and Draw play a metafile too.
  c->SelectClipRgn(nullptr);
  Fill(b, clWhite);
  c->StretchDraw(Rect(0, 0, 10, 10), m.get());
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 10, 10));
}

// ---------------------------------------------------------------------------------------------
// Hostile files

// Loads and plays; a refusal is fine, a crash or a hang is not.
void Survive(const std::vector<uint8_t>& bytes, int w = 64, int h = 64) {
  try {
    auto m = Load(bytes);
    TBitmap b;
    Make(b, w, h, clWhite);
    m->Play(b.GetCanvas(), Rect(0, 0, w, h));
  } catch (const EInvalidGraphic&) {
  }
}

TEST(Metafile, HostileFilesNeitherCrashNorHang) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::vector<uint8_t>> seeds;
  if (!CorpusDir().empty()) {
    seeds.push_back(testing_support::ReadFileBytes(CorpusDir() + "/metafile/pillow_drawing.wmf"));
    seeds.push_back(testing_support::ReadFileBytes(CorpusDir() + "/metafile/pillow_drawing.emf"));
  }
  Wmf w;
  w.MapMode(8).WindowExt(100, 100).Pen(0, 3, 0).Select(0).Brush(0, 0xFF).Select(1).Rectangle(1, 1, 50, 50);
  w.Font(-12, "Sans").Select(2).TextOut(5, 5, "hostile").Polygon({{0, 0}, {10, 0}, {5, 9}});
  seeds.push_back(w.Build(true, 0, 0, 100, 100, 96));
  Emf e;
  e.Brush(1, 0, 0xFF).Select(1).Rectangle(0, 0, 10, 10).Points(86, {{1, 1}, {5, 9}, {9, 1}});
  seeds.push_back(e.Build(20, 20));

  // Every truncation of every seed.
  for (const auto& s : seeds)
    for (size_t n = 0; n <= s.size(); n += 1 + n / 64) Survive(std::vector<uint8_t>(s.begin(), s.begin() + long(n)));

  // Random changes to bytes, in the headers and records.
  std::mt19937 rng(1234);
  for (const auto& s : seeds)
    for (int k = 0; k < 400; ++k) {
      std::vector<uint8_t> v = s;
      const int edits = 1 + int(rng() % 6);
      for (int i = 0; i < edits; ++i) v[rng() % v.size()] = uint8_t(rng());
      Survive(v);
    }

  // Records that lie: counts far beyond the record, sizes, indices, depth, coordinates.
  Wmf lie;
  lie.MapMode(8).WindowExt(100, 100);
  lie.Rec(0x0324, {65535, 1, 2});                        // a polygon of 65535 points, 1 given
  lie.Rec(0x0538, {65535, 3, 3});                        // a poly-polygon of 65535 polygons
  lie.Rec(0x0538, {2, 30000, 30000, 1, 1, 2, 2});        // counts beyond the points
  lie.Select(65535).Delete(65535).Rec(0x0127, {0x8000}).Rec(0x0127, {30000});
  lie.Rec(0x0521, {60000, 0x4141});                      // a text longer than the record
  lie.Rec(0x0A32, {0, 0, 60000, 6, 0, 0, 0, 0});
  lie.Pen(0, 32767, 0).Select(0).Rectangle(-32768, -32768, 32767, 32767);
  lie.Ellipse(-32768, -32768, 32767, 32767).Rec(0x0817, {0, 0, 0, 0, 32767, 32767, -32768, -32768});
  lie.WindowExt(1, 1).Rectangle(-32768, -32768, 32767, 32767).Rec(0x061C, {32767, 32767, 32767, 32767, -32768, -32768});
  std::vector<uint8_t> bigDib;
  Put32(bigDib, 0x00CC0020);
  for (int v : {0, 30000, 30000, 0, 0, 100, 100, 0, 0}) Put16(bigDib, v);
  Put32(bigDib, 40), Put32(bigDib, 60000), Put32(bigDib, 60000), Put16(bigDib, 1), Put16(bigDib, 24);
  for (int i = 0; i < 6; ++i) Put32(bigDib, 0);
  lie.RecBytes(0x0F43, bigDib);                          // a bitmap whose bits are not there
  std::vector<uint8_t> rle = bigDib;
  rle[22 + 16] = 1, rle[22 + 14] = 8;                    // RLE8 of 60000 x 60000
  for (int i = 0; i < 64; ++i) rle.push_back(i % 2 ? 0 : 255);
  lie.RecBytes(0x0F43, rle);
  for (int i = 0; i < 20000; ++i) lie.Rec(0x001E, {});   // saved far too deep
  lie.objects = 65535;
  Survive(lie.Build(), 300, 300);
  std::vector<uint8_t> sized = Wmf().Rectangle(0, 0, 5, 5).Build();
  sized[18] = 0xFF, sized[19] = 0xFF, sized[20] = 0xFF, sized[21] = 0x7F;  // a record of 4 GB
  Survive(sized);

  Emf elie;
  elie.handles = 65535;
  elie.Rec(3, {0, 0, 0, 0, 0x7FFFFFFF, 1, 2});           // a polygon of 2^31 points
  elie.Rec(8, {0, 0, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, 5});  // a poly-polygon of 2^31 polygons
  elie.Rec(39, {0xFFFFFFFF, 0, 0}).Rec(37, {0x7FFFFFFF}).Rec(40, {0x7FFFFFFF});
  elie.Rectangle(-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF);
  elie.XForm(35, 1e30f, 0, 0, 1e30f, 0, 0).XForm(35, std::nanf(""), 0, 0, 1, 0, 0);
  elie.XForm(35, 1e6f, 0, 0, 1e6f, 0, 0).Rec(42, {-1000000, -1000000, 1000000, 1000000});
  elie.XForm(35, 0.7f, 0.7f, -0.7f, 0.7f, 0, 0).Rec(44, {-1000000, -1000000, 1000000, 1000000, 500000, 500000});
  elie.Rec(95, {2, 0, 0, 0, 0, 0x10000, 0x7FFFFFFF, 0, 0, 0, 0}).Select(2).Points(4, {{0, 0}, {100, 100}});
  elie.Rec(84, {0, 0, 0, 0, 1, 0, 0, 5, 5, 0x7FFFFFFF, 0x7FFFFFF0, 0, 0, 0, 0, 0, 0x7FFFFFF0});
  elie.Rec(81, {0, 0, 0, 0, 0, 0, 0, 0, 100, 100, 80, 40, 120, 0x7FFFFFFF, 0, 0xCC0020, 100, 100});
  elie.Rec(75, {0x7FFFFFF0, 5, 32, 1, 0x7FFFFFFF});
  elie.Points(2, {{0, 0}, {1 << 30, 1 << 30}, {-(1 << 30), 1 << 30}, {5, 5}});
  for (int i = 0; i < 5000; ++i) elie.Rec(59, {}).Points(5, {{0, 0}, {1, 1}, {2, 2}});
  for (int i = 0; i < 20000; ++i) elie.Rec(33, {});
  for (int i = 0; i < 20000; ++i) elie.Rec(34, {-1});
  Survive(elie.Build(100, 100), 300, 300);

  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
}

TEST(Metafile, WorkIsCappedForTinyFilesThatAskForMuch) {
  // 30 kB of records, each filling the whole picture: the player stops after a bounded amount of
  // work (about a thousand full pictures' worth) and skips the rest, the last mark included.
  Emf e;
  e.Brush(1, 0, 0xFF).Select(1).Select(0x80000008);
  for (int i = 0; i < 1500; ++i) e.Rectangle(-10, -10, 1000, 1000);
  e.Brush(2, 0, 0x00FF00).Select(2).Rectangle(0, 0, 5, 5);
  auto m = Load(e.Build(1000, 1000));
  TBitmap b;
  Make(b, 1000, 1000, clWhite);
  const auto start = std::chrono::steady_clock::now();
  m->Play(b.GetCanvas(), Rect(0, 0, 1000, 1000));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(Raw(b, 500, 500), clRed);
  EXPECT_EQ(Raw(b, 2, 2), clRed);
  // The same picture small enough draws everything.
  Make(b, 100, 100, clWhite);
  m->Play(b.GetCanvas(), Rect(0, 0, 100, 100));
  EXPECT_EQ(Raw(b, 0, 0), clLime);
}

}  // namespace
}  // namespace corvex
