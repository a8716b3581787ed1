// Icons and cursors: the corpus against its references (transparency given the background),
// masks and alpha on files built byte by byte, PNG icons, the directory rules, the content tests
// and damaged files.
#include <gtest/gtest.h>
#include <png.h>

#include "corvex/io/codecs/pngfilt.h"
#include "corvex/platform/screen.h"
#include "tests/io/bmp_testing.h"

namespace corvex {
namespace {

using namespace testing_support;
using namespace bmp_testing;

// a over b by alpha, rounded to nearest.
int Over(int Fg, int Bg, int A) { return (Fg * A + Bg * (255 - A) + 127) / 255; }

// ---------------------------------------------------------------------------------------------
// Building icon files

struct IconImage {
  uint8_t width = 0, height = 0, colorCount = 0;
  uint16_t planes = 1, bitCount = 0;  // the hot spot for cursors
  std::vector<uint8_t> data;
};

std::vector<uint8_t> MakeIconFile(uint16_t Type, const std::vector<IconImage>& Images) {
  std::vector<uint8_t> f;
  Put16(f, 0);
  Put16(f, Type);
  Put16(f, uint32_t(Images.size()));
  uint32_t at = uint32_t(6 + 16 * Images.size());
  for (const IconImage& im : Images) {
    f.insert(f.end(), {im.width, im.height, im.colorCount, 0});
    Put16(f, im.planes);
    Put16(f, im.bitCount);
    Put32(f, uint32_t(im.data.size()));
    Put32(f, at);
    at += uint32_t(im.data.size());
  }
  for (const IconImage& im : Images) f.insert(f.end(), im.data.begin(), im.data.end());
  return f;
}

// The DIB of an icon image: header (height counting colour and mask rows), table, colour rows,
// mask rows; rows given top first.
std::vector<uint8_t> IconDib(int W, int H, int Bits, const std::vector<TRGB>& Palette,
                             const std::vector<std::vector<uint8_t>>& Colour, const std::vector<std::vector<uint8_t>>& Mask,
                             int32_t Ppm = 0) {
  BmpSpec s;
  s.fileHeader = false;
  s.width = W;
  s.height = 2 * H;
  s.bits = uint16_t(Bits);
  s.palette = Palette;
  s.xppm = s.yppm = Ppm;
  s.data = PackRows(Colour);
  const auto mask = PackRows(Mask);
  s.data.insert(s.data.end(), mask.begin(), mask.end());
  return MakeBmp(s);
}

const TRGB kBlack = CreateRGB(0, 0, 0), kWhite = CreateRGB(255, 255, 255);

// A 4 x 2 one-bit icon: colour 1100 / 0011, mask 1010 / 1010 (set = transparent).
std::vector<uint8_t> OneBitIcon(std::vector<TRGB> Palette = {kBlack, kWhite}) {
  IconImage im;
  im.width = 4;
  im.height = 2;
  im.colorCount = 2;
  im.bitCount = 1;
  im.data = IconDib(4, 2, 1, Palette, {{0xC0}, {0x30}}, {{0xA0}, {0xA0}});
  return MakeIconFile(1, {im});
}

// ---------------------------------------------------------------------------------------------
// The corpus

// The transparency of image 0 of an icon or cursor file, top row first: 255 opaque, 0
// transparent; for 1-bit images also whether the colour bit is set (a masked pixel with it set
// shows the background's opposite).
struct Transparency {
  std::vector<int> alpha;
  std::vector<bool> white;
  bool oneBit = false;
};

Transparency TransparencyOf(const std::vector<uint8_t>& F) {
  Transparency t;
  const uint32_t off = Get32(F, 6 + 12);
  if (F[off] == 0x89) {  // PNG: its alpha through libpng
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&img, F.data() + off, F.size() - off));
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
    EXPECT_TRUE(png_image_finish_read(&img, nullptr, px.data(), 0, nullptr));
    for (size_t i = 3; i < px.size(); i += 4) t.alpha.push_back(px[i]);
    return t;
  }
  const int w = int32_t(Get32(F, off + 4)), h = int32_t(Get32(F, off + 8)) / 2, bits = Get16(F, off + 14);
  const uint32_t used = Get32(F, off + 32);
  const size_t colours = bits <= 8 ? (used ? used : 1u << bits) : 0;
  const size_t rowLen = ((size_t(w) * size_t(bits) + 31) / 32) * 4, maskLen = ((size_t(w) + 31) / 32) * 4;
  const size_t colourAt = off + Get32(F, off) + 4 * colours, maskAt = colourAt + rowLen * size_t(h);
  bool anyAlpha = false;
  if (bits == 32)
    for (size_t i = colourAt + 3; i < maskAt; i += 4) anyAlpha |= F[i] != 0;
  t.oneBit = bits == 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t r = size_t(h - 1 - y);
      if (anyAlpha) {
        t.alpha.push_back(F[colourAt + r * rowLen + 4 * size_t(x) + 3]);
      } else {
        t.alpha.push_back((F[maskAt + r * maskLen + size_t(x >> 3)] >> (7 - (x & 7))) & 1 ? 0 : 255);
      }
      t.white.push_back(bits == 1 && ((F[colourAt + r * rowLen + size_t(x >> 3)] >> (7 - (x & 7))) & 1));
    }
  return t;
}

// The reference (whose RGB drops the transparency) composed over Bg as this reader does. PNG
// images are composed by the PNG reader (which works in linear light when the image carries
// gamma information); for them the reference must match where they are opaque, and the
// composition is the PNG reader's own.
std::vector<uint8_t> ComposedReference(const ManifestRow& Row, TRGB Bg) {
  TBitmap ref;
  TIOParamsVals rp;
  EXPECT_TRUE(DecodeFile(ReadPNGStream, Row.ReferencePath(), ref, rp));
  std::vector<uint8_t> want = RgbBytes(ref);
  const std::vector<uint8_t> file = ReadFileBytes(Row.Path());
  const Transparency t = TransparencyOf(file);
  EXPECT_EQ(t.alpha.size() * 3, want.size());
  const uint32_t off = Get32(file, 6 + 12);
  if (file[off] == 0x89) {
    TBitmap png;
    TIOParamsVals pp;
    pp.PNG_Background = Bg;
    const std::vector<uint8_t> stream(file.begin() + off, file.end());
    EXPECT_TRUE(DecodeBytes(ReadPNGStream, stream, png, pp));
    const std::vector<uint8_t> composed = RgbBytes(png);
    EXPECT_EQ(composed.size(), want.size());
    int opaque = 0;
    for (size_t i = 0; i < t.alpha.size() && 3 * i + 2 < want.size(); ++i) {
      if (t.alpha[i] != 255) continue;
      ++opaque;
      EXPECT_TRUE(std::equal(want.begin() + long(3 * i), want.begin() + long(3 * i + 3), composed.begin() + long(3 * i)))
          << "opaque pixel " << i;
    }
    EXPECT_GT(opaque, 0);
    return composed;
  }
  const int bg[3] = {Bg.r, Bg.g, Bg.b};
  for (size_t i = 0; i < t.alpha.size() && 3 * i + 2 < want.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      uint8_t& v = want[3 * i + size_t(c)];
      if (t.oneBit && t.alpha[i] == 0) {
        // Black and white: the background made black or white, or its opposite.
        const bool bgWhite = _RGBToGray(Bg) >= 128;
        v = (t.white[i] != bgWhite) ? 255 : 0;
      } else {
        v = uint8_t(Over(v, bg[c], t.alpha[i]));
      }
    }
  }
  return want;
}

TEST(IconCorpus, FilesDecodeAsTheirReferencesWithTransparencyOverTheBackground) {
  CORVEX_REQUIRE_CORPUS();
  // The reference keeps the colours of transparent pixels; here they are composed over
  // ICO_Background / CUR_Background (white by default, then a colour).
  int checked = 0, transparent = 0;
  for (const TRGB bg : {kWhite, CreateRGB(200, 30, 90)}) {
    for (const std::string dir : {"ico/", "cur/"}) {
      for (const ManifestRow& row : ReadManifest(dir)) {
        if (!row.Decodes()) continue;
        SCOPED_TRACE(row.file);
        TBitmap bmp;
        TIOParamsVals params;
        params.ICO_Background = params.CUR_Background = bg;
        ASSERT_TRUE(DecodeFile(dir == "ico/" ? ReadIco : ReadCur, row.Path(), bmp, params));
        ASSERT_EQ(bmp.GetWidth(), row.width);
        ASSERT_EQ(bmp.GetHeight(), row.height);
        EXPECT_EQ(params.Width, row.width);
        const std::vector<uint8_t> want = ComposedReference(row, bg);
        const std::vector<uint8_t> got = RgbBytes(bmp);
        ASSERT_EQ(got.size(), want.size());
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
        EXPECT_LE(worst, 1);
        if (RgbDigest16(bmp) != row.rgb_sha256_16) ++transparent;  // the rule made a difference
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 2 * 7);
  EXPECT_GT(transparent, 4);
}

TEST(IconCorpus, BrokenFilesNeverCrash) {
  CORVEX_REQUIRE_CORPUS();
  TBitmap bmp;
  TIOParamsVals params;
  // A cursor file without cursors is refused.
  EXPECT_FALSE(DecodeFile(ReadCur, CorpusFile("cur/pillow_no_cursors.cur"), bmp, params));
  TFileStream f(CorpusFile("cur/pillow_no_cursors.cur"), fmOpenRead);
  EXPECT_FALSE(CURTryStream(&f));
}

// ---------------------------------------------------------------------------------------------
// Masks and alpha

TEST(IconRead, OneBitMaskShowsTheBackgroundOrItsOpposite) {
  for (const bool whiteBg : {true, false}) {
    SCOPED_TRACE(whiteBg);
    TBitmap b;
    TIOParamsVals p;
    p.ICO_Background = whiteBg ? CreateRGB(250, 240, 230) : CreateRGB(20, 0, 10);
    ASSERT_TRUE(DecodeBytes(ReadIco, OneBitIcon(), b, p));
    ASSERT_EQ(b.GetPixelFormat(), pf1bit);
    const int bg = whiteBg ? 255 : 0, inv = 255 - bg;
    // Row 0: colour 1100, mask 1010: white under the mask inverts, black under it is background.
    EXPECT_PX(b, 0, 0, inv, inv, inv);
    EXPECT_PX(b, 1, 0, 255, 255, 255);
    EXPECT_PX(b, 2, 0, bg, bg, bg);
    EXPECT_PX(b, 3, 0, 0, 0, 0);
    EXPECT_PX(b, 0, 1, bg, bg, bg);
    EXPECT_PX(b, 2, 1, inv, inv, inv);
    EXPECT_PX(b, 3, 1, 255, 255, 255);
    EXPECT_EQ(p.BitsPerSample, 1);
    EXPECT_EQ(p.GetColorMapCount(), 2);
  }
  // A white-then-black table: the colours are what the table says.
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadIco, OneBitIcon({kWhite, kBlack}), b, p));
  EXPECT_PX(b, 1, 0, 0, 0, 0);
  EXPECT_PX(b, 3, 0, 255, 255, 255);
  // Other colours: 24 bits, the mask gives the background.
  p.ICO_Background = CreateRGB(1, 2, 3);
  ASSERT_TRUE(DecodeBytes(ReadIco, OneBitIcon({CreateRGB(10, 10, 200), CreateRGB(200, 10, 10)}), b, p));
  ASSERT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_PX(b, 0, 0, 1, 2, 3);
  EXPECT_PX(b, 1, 0, 200, 10, 10);
  EXPECT_PX(b, 3, 0, 10, 10, 200);
}

TEST(IconRead, MaskedPixelsOfIndexedAndTrueColourIconsTakeTheBackground) {
  const std::vector<TRGB> pal = {CreateRGB(10, 20, 30), CreateRGB(40, 50, 60), CreateRGB(70, 80, 90)};
  struct Case {
    int bits;
    std::vector<uint8_t> top, bottom;
  };
  const Case cases[] = {
      {4, {0x12, 0x00}, {0x21, 0x00}},
      {8, {1, 2, 0}, {2, 1, 0}},
      {24, {60, 50, 40, 90, 80, 70, 0, 0, 0}, {90, 80, 70, 60, 50, 40, 0, 0, 0}},
      {32, {60, 50, 40, 0, 90, 80, 70, 0, 0, 0, 0, 0}, {90, 80, 70, 0, 60, 50, 40, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    IconImage im;
    im.width = 3;
    im.height = 2;
    im.bitCount = uint16_t(c.bits);
    std::vector<TRGB> table = pal;
    if (c.bits <= 8) table.resize(size_t(1) << c.bits, kBlack);
    im.data = IconDib(3, 2, c.bits, c.bits <= 8 ? table : std::vector<TRGB>{}, {c.top, c.bottom}, {{0x40}, {0x80}});
    TBitmap b;
    TIOParamsVals p;
    p.ICO_Background = CreateRGB(1, 2, 3);
    ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
    ASSERT_EQ(b.GetPixelFormat(), pf24bit);
    if (c.bits > 8) {
      EXPECT_EQ(p.BitsPerSample, 8);
      EXPECT_EQ(p.SamplesPerPixel, 3);
    }
    EXPECT_PX(b, 0, 0, 40, 50, 60);
    EXPECT_PX(b, 1, 0, 1, 2, 3);  // masked
    EXPECT_PX(b, 0, 1, 1, 2, 3);  // masked
    EXPECT_PX(b, 1, 1, 40, 50, 60);
    if (c.bits <= 8) {
      EXPECT_PX(b, 2, 0, 10, 20, 30);
    }
  }
}

TEST(IconRead, ThirtyTwoBitIconsAreComposedByTheirAlpha) {
  // One row: opaque, half, clear, and a colour with alpha 1; the mask (all set) is not used.
  IconImage im;
  im.width = 4;
  im.height = 1;
  im.bitCount = 32;
  im.data = IconDib(4, 1, 32, {}, {{50, 100, 200, 255, 50, 100, 200, 128, 50, 100, 200, 0, 0, 0, 0, 1}}, {{0xF0}});
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
  EXPECT_PX(b, 0, 0, 200, 100, 50);
  EXPECT_PX(b, 1, 0, 227, 177, 152);  // (200 * 128 + 255 * 127) / 255 = 227.4 ...
  EXPECT_PX(b, 2, 0, 255, 255, 255);
  EXPECT_PX(b, 3, 0, 254, 254, 254);
  p.ICO_Background = CreateRGB(0, 0, 0);
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
  EXPECT_PX(b, 1, 0, 100, 50, 25);
  EXPECT_PX(b, 2, 0, 0, 0, 0);
  // All fourth bytes zero: an old 32-bit icon without alpha, whose mask decides.
  im.data = IconDib(4, 1, 32, {}, {{50, 100, 200, 0, 50, 100, 200, 0, 1, 2, 3, 0, 0, 0, 0, 0}}, {{0x50}});
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
  EXPECT_PX(b, 0, 0, 200, 100, 50);
  EXPECT_PX(b, 1, 0, 0, 0, 0);
  EXPECT_PX(b, 2, 0, 3, 2, 1);
}

// A PNG of W x 1 RGBA pixels, written by libpng without gamma information (so that its alpha
// is composed as plain values).
std::vector<uint8_t> RgbaPng(const std::vector<uint8_t>& Rgba) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, png_uint_32(Rgba.size() / 4), 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row = Rgba;
  png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(IconRead, PngImagesAreReadThroughThePngReaderOverTheBackground) {
  IconImage small;
  small.width = 1;
  small.height = 1;
  small.bitCount = 32;
  small.data = IconDib(1, 1, 32, {}, {{1, 2, 3, 255}}, {{0}});
  IconImage big;  // 0 x 0 in the directory: 256 and more
  big.bitCount = 32;
  big.data = RgbaPng({200, 100, 50, 255, 200, 100, 50, 0, 10, 20, 30, 128});
  const std::vector<uint8_t> f = MakeIconFile(1, {small, big});
  TBitmap b;
  TIOParamsVals p;
  p.ICO_ImageIndex = 1;
  p.ICO_Background = CreateRGB(0, 0, 255);
  p.PNG_Background = CreateRGB(9, 9, 9);
  ASSERT_TRUE(DecodeBytes(ReadIco, f, b, p));
  ASSERT_EQ(b.GetWidth(), 3);
  EXPECT_PX(b, 0, 0, 200, 100, 50);
  EXPECT_PX(b, 1, 0, 0, 0, 255);
  EXPECT_PX(b, 2, 0, 5, 10, 142);
  EXPECT_TRUE(Same(p.PNG_Background, CreateRGB(9, 9, 9)));  // the PNG setting is kept
  EXPECT_EQ(p.Width, 3);
  // Preview of the PNG image.
  TBitmap untouched(2, 2, pf1bit);
  TIOParamsVals q;
  q.ICO_ImageIndex = 1;
  ASSERT_TRUE(DecodeBytes(ReadIco, f, untouched, q, true));
  EXPECT_EQ(q.Width, 3);
  EXPECT_EQ(untouched.GetWidth(), 2);
}

// ---------------------------------------------------------------------------------------------
// The directory

TEST(IconRead, DirectoryChoosesTheImageAndCursorsTheirHotSpot) {
  IconImage a, c;
  a.width = 1;
  a.height = 1;
  a.bitCount = 24;
  a.data = IconDib(1, 1, 24, {}, {{1, 2, 3}}, {{0}}, 3780);
  c = a;
  c.data = IconDib(1, 1, 24, {}, {{4, 5, 6}}, {{0}});
  c.planes = 7;   // hot spot x
  c.bitCount = 9;  // hot spot y: cursors take the depth from the header
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {a, c}), b, p));
  EXPECT_PX(b, 0, 0, 3, 2, 1);
  EXPECT_EQ(p.DpiX, 96);
  p.ICO_ImageIndex = 1;
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {a, a, c}), b, p));
  EXPECT_PX(b, 0, 0, 3, 2, 1);
  p.CUR_ImageIndex = 1;
  ASSERT_TRUE(DecodeBytes(ReadCur, MakeIconFile(2, {a, c}), b, p));
  EXPECT_PX(b, 0, 0, 6, 5, 4);
  EXPECT_EQ(p.CUR_XHotSpot, 7);
  EXPECT_EQ(p.CUR_YHotSpot, 9);
  EXPECT_EQ(p.DpiX, gSystemDPIX);  // no resolution in the header
  // An index outside the directory loads nothing and is not an error.
  for (const int index : {2, -1}) {
    TBitmap kept(5, 5, pf1bit);
    TIOParamsVals q;
    q.ICO_ImageIndex = index;
    EXPECT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {a, c}), kept, q));
    EXPECT_EQ(kept.GetWidth(), 5);
  }
}

TEST(IconRead, SizeAndDepthRules) {
  TBitmap b;
  TIOParamsVals p;
  // The directory says 8 x 8, the image data is 2 x 1: the header, which describes the data,
  // wins.
  IconImage im;
  im.width = 8;
  im.height = 8;
  im.bitCount = 24;
  im.data = IconDib(2, 1, 24, {}, {{1, 1, 1, 2, 2, 2}}, {{0}});
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
  EXPECT_EQ(b.GetWidth(), 2);
  EXPECT_EQ(b.GetHeight(), 1);
  // No depth in the header nor in the directory: the colour count tells (16 colours, 4 bits).
  std::vector<uint8_t> dib = IconDib(2, 1, 4, std::vector<TRGB>(16, CreateRGB(7, 7, 7)), {{0x00}}, {{0}});
  dib[14] = 0;  // header bit count
  im.bitCount = 0;
  im.colorCount = 16;
  im.data = dib;
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), b, p));
  EXPECT_EQ(p.BitsPerSample, 4);
  EXPECT_PX(b, 1, 0, 7, 7, 7);
  // ... and without a colour count the depth cannot be told.
  im.colorCount = 0;
  TBitmap kept(3, 3, pf1bit);
  EXPECT_FALSE(DecodeBytes(ReadIco, MakeIconFile(1, {im}), kept, p));
  EXPECT_EQ(kept.GetWidth(), 3);
}

TEST(IconRead, BitmapsNamedIconsAndBrokenDirectories) {
  // An icon file that is really a bitmap.
  BmpSpec s;
  s.width = 2;
  s.data = {1, 2, 3, 4, 5, 6, 0, 0};
  TBitmap b;
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadIco, MakeBmp(s), b, p));
  EXPECT_PX(b, 1, 0, 6, 5, 4);
  // Directories that are not: a wrong reserved word or type, no images, a cut entry.
  std::vector<uint8_t> f = OneBitIcon();
  auto refused = [&](std::vector<uint8_t> g, const char* what) {
    TBitmap kept(3, 3, pf1bit);
    TIOParamsVals q;
    EXPECT_FALSE(DecodeBytes(ReadIco, g, kept, q)) << what;
    EXPECT_EQ(kept.GetWidth(), 3) << what;
  };
  std::vector<uint8_t> g = f;
  g[0] = 1;
  refused(g, "reserved");
  g = f;
  g[2] = 3;
  refused(g, "type");
  g = f;
  g[4] = 0;
  refused(g, "count 0");
  refused(std::vector<uint8_t>(f.begin(), f.begin() + 12), "entry cut");
  g = f;
  Set32(g, 18, 0x7FFFFFFF);
  refused(g, "offset past the end");
  // A cut colour image keeps the rows that were there and sets the flag.
  IconImage im;
  im.width = 1;
  im.height = 2;
  im.bitCount = 24;
  im.data = IconDib(1, 2, 24, {}, {{9, 9, 9}, {8, 8, 8}}, {{0}, {0}});
  g = MakeIconFile(1, {im});
  g.erase(g.end() - (8 + 4), g.end());  // the mask and the top row
  EXPECT_FALSE(DecodeBytes(ReadIco, g, b, p));
  ASSERT_EQ(b.GetHeight(), 2);
  EXPECT_PX(b, 0, 1, 8, 8, 8);
}

TEST(IconRead, PreviewFillsTheParametersAndLeavesTheBitmap) {
  TBitmap b(7, 7, pf24bit);
  TIOParamsVals p;
  ASSERT_TRUE(DecodeBytes(ReadIco, OneBitIcon(), b, p, true));
  EXPECT_EQ(p.Width, 4);
  EXPECT_EQ(p.Height, 2);
  EXPECT_EQ(p.BitsPerSample, 1);
  EXPECT_EQ(p.GetColorMapCount(), 2);
  EXPECT_EQ(b.GetWidth(), 7);
  EXPECT_EQ(b.GetPixelFormat(), pf24bit);
}

TEST(IconRead, ContentTests) {
  auto test = [](const std::vector<uint8_t>& f, bool (*Try)(TStream*)) {
    TPointerStream s(f.data(), int64_t(f.size()));
    const bool r = Try(&s);
    EXPECT_EQ(s.GetPosition(), 0);
    return r;
  };
  const std::vector<uint8_t> ico = OneBitIcon();
  std::vector<uint8_t> cur = ico;
  cur[2] = 2;
  EXPECT_TRUE(test(ico, ICOTryStream));
  EXPECT_FALSE(test(ico, CURTryStream));
  EXPECT_TRUE(test(cur, CURTryStream));
  EXPECT_FALSE(test(cur, ICOTryStream));
  EXPECT_FALSE(test(std::vector<uint8_t>(ico.begin(), ico.begin() + 22), ICOTryStream));
  std::vector<uint8_t> g = ico;
  g[9] = 1;  // reserved byte of the entry
  EXPECT_FALSE(test(g, ICOTryStream));
  g = ico;
  Set32(g, 14, 0);  // data size
  EXPECT_FALSE(test(g, ICOTryStream));
  g = ico;
  Set32(g, 18, 21);  // data inside the directory
  EXPECT_FALSE(test(g, ICOTryStream));
  Set32(g, 18, 22);
  EXPECT_TRUE(test(g, ICOTryStream));
  const std::vector<uint8_t> bmp = MakeBmp(BmpSpec{});
  EXPECT_FALSE(test(bmp, ICOTryStream));
}

TEST(IconRead, DamagedFilesNeverCrash) {
  IconImage a, b32, png;
  a.width = 3;
  a.height = 2;
  a.bitCount = 8;
  a.data = IconDib(3, 2, 8, std::vector<TRGB>(256, CreateRGB(1, 2, 3)), {{1, 2, 3}, {4, 5, 6}}, {{0x20}, {0x40}});
  b32.width = 2;
  b32.height = 1;
  b32.bitCount = 32;
  b32.data = IconDib(2, 1, 32, {}, {{1, 2, 3, 4, 5, 6, 7, 8}}, {{0}});
  png.data = RgbaPng({1, 2, 3, 4, 5, 6, 7, 8});
  const std::vector<std::vector<uint8_t>> seeds = {MakeIconFile(1, {a, b32, png}), OneBitIcon(), MakeIconFile(2, {b32, a})};
  const int64_t limit = gMaxImagePixels;
  gMaxImagePixels = 1 << 16;
  Damage how;
  how.maxEdits = 3;
  how.overwrite = 3;
  how.cut = 1;
  LoadTally tally;
  for (uint32_t n = 0; n < 20000; ++n) {
    const std::vector<uint8_t> f = DamagedCopy(seeds[n % seeds.size()], n, how);
    TBitmap bmp;
    TIOParamsVals p;
    const int index = int(n / 6 % 3);
    p.ICO_ImageIndex = p.CUR_ImageIndex = index;
    // An index past the directory loads nothing, without an error.
    LoadContract contract;
    contract.nothingToLoad = f.size() >= 6 && Get16(f, 0) == 0 && (Get16(f, 2) == 1 || Get16(f, 2) == 2) &&
                             index >= Get16(f, 4);
    tally.Add(CheckLoad([&] { return DecodeBytes(n % 2 ? ReadIco : ReadCur, f, bmp, p); }, bmp, p, contract),
              [&] { return "file " + std::to_string(n % seeds.size()) + ", damage seed " + std::to_string(n); });
    TPointerStream s(f.data(), int64_t(f.size()));
    ICOTryStream(&s);
    CURTryStream(&s);
  }
  gMaxImagePixels = limit;
  EXPECT_EQ(tally.broken, 0) << tally.report;
  EXPECT_GT(tally.loaded, 100);
  EXPECT_GT(tally.refused, 100);
}

}  // namespace
}  // namespace corvex
