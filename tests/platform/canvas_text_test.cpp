// Text through FreeType and fontconfig, and the logical-font record. Exact glyph shapes depend on
// the installed fonts, so these tests check properties: ink inside the text cell, widths that
// grow with the text, rotation moving the ink, black-and-white output on 1-bit bitmaps. One test
// writes a picture of many sizes and angles (out/text_test.bmp in the build folder) to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "corvex/core/utils.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/font.h"
#include "tests/common/testing.h"
#include "tests/platform/canvas_testing.h"

namespace corvex {
namespace {

using namespace canvas_testing;

struct Ink {
  int count = 0, grey = 0;
  TRect box{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
};
// Pixels that differ from the background.
Ink InkOf(const TBitmap& b, TColor background) {
  Ink k;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x) {
      const TColor c = Raw(b, x, y);
      if (c == background) continue;
      ++k.count;
      if (c != clBlack) ++k.grey;
      k.box.Left = std::min(k.box.Left, x);
      k.box.Top = std::min(k.box.Top, y);
      k.box.Right = std::max(k.box.Right, x + 1);
      k.box.Bottom = std::max(k.box.Bottom, y + 1);
    }
  return k;
}

TEST(CanvasText, ExtentsFollowTheTextAndTheFontSize) {
  TBitmap b;
  Make(b, 10, 10, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetName("DejaVu Sans");
  c->GetFont()->SetHeight(-20);
  const TSize one = c->TextExtent("W");
  const TSize four = c->TextExtent("WWWW");
  EXPECT_GT(one.cx, 8);
  EXPECT_EQ(four.cx, 4 * one.cx);  // no kerning: advances add up
  EXPECT_LT(c->TextWidth("iiii"), four.cx);
  EXPECT_EQ(c->TextWidth(""), 0);
  // A character height of 20 pixels gives a cell a little taller (ascent plus descent).
  EXPECT_GE(four.cy, 20);
  EXPECT_LE(four.cy, 30);
  EXPECT_EQ(c->TextHeight("x"), c->TextHeight("Hg"));
  // A positive height is the cell height itself.
  c->GetFont()->SetHeight(30);
  EXPECT_NEAR(c->TextHeight("Hg"), 30, 1);
  // Points at 96 pixels per inch.
  c->GetFont()->SetPixelsPerInch(96);
  c->GetFont()->SetSize(12);
  EXPECT_EQ(c->GetFont()->GetHeight(), -16);
  EXPECT_EQ(c->GetFont()->GetSize(), 12);
  const int w12 = c->TextWidth("Hello");
  c->GetFont()->SetSize(24);
  EXPECT_GT(c->TextWidth("Hello"), w12 * 3 / 2);
  // Bold is wider.
  const int normal = c->TextWidth("Hello world");
  c->GetFont()->SetStyle({fsBold});
  EXPECT_GT(c->TextWidth("Hello world"), normal);
  // UTF-8 is decoded: one accented letter is one advance.
  c->GetFont()->SetStyle({});
  EXPECT_EQ(c->TextWidth("\xC3\xA9"), c->TextWidth("\xC3\xA9" "\xC3\xA9") / 2);
}

TEST(CanvasText, InkStaysInTheCellAndIsAntiAliased) {
  for (int height : {-9, -14, -24, -48}) {
    TBitmap b;
    Make(b, 400, 120, clWhite);
    TCanvas* c = b.GetCanvas();
    c->GetFont()->SetName("Arial");  // not installed: the nearest sans-serif face
    c->GetFont()->SetHeight(height);
    c->GetFont()->SetColor(clBlack);
    c->GetBrush()->SetStyle(bsClear);
    const TSize ext = c->TextExtent("Hamburgefonstiv");
    c->TextOut(20, 30, "Hamburgefonstiv");
    const Ink k = InkOf(b, clWhite);
    ASSERT_GT(k.count, 20) << height;
    EXPECT_GT(k.grey, 0) << "grey edges at height " << height;
    EXPECT_GE(k.box.Left, 19) << height;
    EXPECT_LE(k.box.Right, 20 + ext.cx + 2) << height;
    EXPECT_GE(k.box.Top, 30) << height;
    EXPECT_LE(k.box.Bottom, 30 + ext.cy) << height;
    // The ink spans most of the advance width and of the character height.
    EXPECT_GT(k.box.Width(), ext.cx * 8 / 10) << height;
    EXPECT_GT(k.box.Height(), -height * 7 / 10) << height;
    EXPECT_EQ(c->GetPenPos(), Point(20 + ext.cx, 30));
  }
}

TEST(CanvasText, OneBitTargetsGetBlackAndWhiteText) {
  TBitmap m;
  Make(m, 200, 40, clWhite, pf1bit);
  TCanvas* c = m.GetCanvas();
  c->GetFont()->SetHeight(-18);
  c->GetBrush()->SetStyle(bsClear);
  c->TextOut(5, 5, "Threshold");
  const Ink k = InkOf(m, clWhite);
  EXPECT_GT(k.count, 60);
  EXPECT_LE(k.box.Bottom, 5 + c->TextHeight("T"));
  // White text on black.
  Fill(m, clBlack);
  c->GetFont()->SetColor(clWhite);
  c->TextOut(5, 5, "Threshold");
  EXPECT_GT(Count(m, clWhite), 60);
}

TEST(CanvasText, RotationMovesTheInkAroundTheCellCorner) {
  const std::string text = "Rotated text";
  TBitmap b;
  Make(b, 300, 300, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetHeight(-20);
  c->GetBrush()->SetStyle(bsClear);
  const TSize ext = c->TextExtent(text);
  // 90 degrees counter-clockwise: the text runs upward from (150, 150), its cell to the right.
  c->GetFont()->SetOrientation(900);
  c->TextOut(150, 150, text);
  Ink k = InkOf(b, clWhite);
  ASSERT_GT(k.count, 50);
  EXPECT_GT(k.box.Height(), k.box.Width() * 2);
  EXPECT_GE(k.box.Left, 148);
  EXPECT_LE(k.box.Right, 150 + ext.cy + 2);
  EXPECT_LE(k.box.Bottom, 152);
  EXPECT_GE(k.box.Top, 150 - ext.cx - 2);
  EXPECT_GT(k.box.Height(), ext.cx * 8 / 10);
  // 180 degrees: upside down, to the left of and above the corner.
  Fill(b, clWhite);
  c->GetFont()->SetOrientation(1800);
  c->TextOut(150, 150, text);
  k = InkOf(b, clWhite);
  EXPECT_LE(k.box.Right, 152);
  EXPECT_LE(k.box.Bottom, 152);
  EXPECT_GT(k.box.Width(), k.box.Height() * 2);
  // 45 degrees: up and to the right.
  Fill(b, clWhite);
  c->GetFont()->SetOrientation(450);
  c->TextOut(50, 250, text);
  k = InkOf(b, clWhite);
  EXPECT_GT(k.box.Width(), ext.cx / 2);
  EXPECT_GT(k.box.Height(), ext.cx / 2);
  EXPECT_LT(k.box.Top, 250 - ext.cx / 2);
  EXPECT_GE(k.box.Left, 48);
}

TEST(CanvasText, StylesAndOpaqueBackground) {
  TBitmap b;
  Make(b, 300, 60, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetHeight(-20);
  c->GetBrush()->SetStyle(bsClear);
  const std::string text = "ooooo";  // no descenders, nothing near the underline
  const TSize ext = c->TextExtent(text);
  c->TextOut(10, 10, text);
  const Ink plain = InkOf(b, clWhite);
  Fill(b, clWhite);
  c->GetFont()->SetStyle({fsUnderline});
  c->TextOut(10, 10, text);
  const Ink under = InkOf(b, clWhite);
  EXPECT_GT(under.box.Bottom, plain.box.Bottom);  // a line below the letters
  EXPECT_GT(under.count, plain.count + ext.cx / 2);
  Fill(b, clWhite);
  c->GetFont()->SetStyle({fsStrikeOut});
  c->TextOut(10, 10, text);
  const Ink strike = InkOf(b, clWhite);
  EXPECT_EQ(strike.box.Bottom, plain.box.Bottom);  // through the letters
  EXPECT_GT(strike.count, plain.count + ext.cx / 3);
  Fill(b, clWhite);
  c->GetFont()->SetStyle({fsItalic});
  c->TextOut(10, 10, text);
  EXPECT_GT(InkOf(b, clWhite).count, plain.count / 2);

  // A solid brush fills the cell, and only the cell.
  Fill(b, clWhite);
  c->GetFont()->SetStyle({});
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clYellow);
  c->TextOut(10, 10, text);
  const Ink all = InkOf(b, clWhite);
  EXPECT_EQ(all.box, Rect(10, 10, 10 + ext.cx, 10 + ext.cy));
  EXPECT_GT(Count(b, clYellow), ext.cx * ext.cy / 2);

  // TextRect fills its rectangle and clips the text to it.
  Fill(b, clWhite);
  c->GetBrush()->SetColor(clAqua);
  c->TextRect(Rect(20, 12, 40, 25), 10, 10, text);
  const Ink r = InkOf(b, clWhite);
  EXPECT_EQ(r.box, Rect(20, 12, 40, 25));
  EXPECT_LT(Count(b, clAqua), 20 * 13);
}

// The ink's centre, in half pixels (the box's left + right and top + bottom).
TPoint InkCentre2(const Ink& k) { return Point(k.box.Left + k.box.Right, k.box.Top + k.box.Bottom); }

TEST(CanvasTextRect, AlignmentPlacesTheLinesInTheRectangle) {
  TBitmap b;
  Make(b, 300, 200, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetName("DejaVu Sans");
  c->GetFont()->SetHeight(-18);
  c->GetBrush()->SetStyle(bsClear);
  std::string text = "HOH";
  const TSize ext = c->TextExtent(text);
  // The ink of TextOut at a known place, relative to the cell.
  c->TextOut(0, 0, text);
  const Ink ref = InkOf(b, clWhite);
  ASSERT_GT(ref.count, 30);

  struct Case {
    TTextFormat format;
    TRect rect;
    int x, y;  // where the cell must land
  };
  const Case cases[] = {
      {{tfSingleLine}, Rect(20, 30, 250, 120), 20, 30},
      {{tfCenter, tfVerticalCenter, tfSingleLine}, Rect(20, 30, 251, 121), (20 + 251 - ext.cx) / 2, (30 + 121 - ext.cy) / 2},
      {{tfRight, tfBottom, tfSingleLine}, Rect(20, 30, 250, 120), 250 - ext.cx, 120 - ext.cy},
      {{tfCenter, tfBottom}, Rect(-40, 10, 100, 40), (-40 + 100 - ext.cx) / 2, 40 - ext.cy},
  };
  for (const Case& k : cases) {
    Fill(b, clWhite);
    TRect r = k.rect;
    c->TextRect(r, text, k.format + TTextFormat{tfNoClip});
    EXPECT_EQ(r, k.rect);  // only tfCalcRect changes it
    const Ink got = InkOf(b, clWhite);
    EXPECT_EQ(got.count, ref.count);
    EXPECT_EQ(got.box, Rect(ref.box.Left + k.x, ref.box.Top + k.y, ref.box.Right + k.x, ref.box.Bottom + k.y))
        << k.rect.Left << "," << k.rect.Top;
  }
  // Centred: the ink's centre within a pixel of the rectangle's centre across, and as far from
  // it down as the ink's centre is from the centre of its own cell.
  Fill(b, clWhite);
  TRect r = Rect(31, 17, 262, 170);
  c->TextRect(r, text, {tfCenter, tfVerticalCenter, tfSingleLine});
  const TPoint got = InkCentre2(InkOf(b, clWhite)), cellRef = InkCentre2(ref);
  EXPECT_LE(std::abs(got.X - (r.Left + r.Right)), 2);
  EXPECT_LE(std::abs((got.Y - (r.Top + r.Bottom)) - (cellRef.Y - ext.cy)), 2);

  // Clipped to the rectangle unless tfNoClip; a solid brush fills each line's cell.
  Fill(b, clWhite);
  r = Rect(50, 50, 60, 100);
  c->TextRect(r, text, {tfSingleLine});
  EXPECT_EQ(InkOf(b, clWhite).box.Right, 60);
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clYellow);
  Fill(b, clWhite);
  r = Rect(100, 100, 120, 180);
  c->TextRect(r, text, {tfNoClip});
  EXPECT_EQ(InkOf(b, clWhite).box, Rect(100, 100, 100 + ext.cx, 100 + ext.cy));
}

TEST(CanvasTextRect, WordBreakPrefixEllipsisAndMeasuring) {
  TBitmap b;
  Make(b, 400, 200, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetName("DejaVu Sans");
  c->GetFont()->SetHeight(-16);
  c->GetBrush()->SetStyle(bsClear);
  const int h = c->TextHeight("Hg");
  auto calc = [&](std::string text, TTextFormat f, int width) {
    TRect r = Rect(10, 20, 10 + width, 25);
    c->TextRect(r, text, f + TTextFormat{tfCalcRect});
    EXPECT_EQ(r.Left, 10);
    EXPECT_EQ(r.Top, 20);
    return TSize{r.Right - r.Left, r.Bottom - r.Top};
  };
  const auto before = Bytes(b);

  // Word breaking: the words that fit stay together; the spaces at a break go.
  const int w3 = c->TextWidth("one two three");
  EXPECT_EQ(calc("one two three four five six", {tfWordBreak}, w3 + 2),
            (TSize{std::max(w3, c->TextWidth("four five six")), 2 * h}));
  EXPECT_EQ(calc("aa aa aa aa aa", {tfWordBreak}, c->TextWidth("aa aa") + 1), (TSize{c->TextWidth("aa aa"), 3 * h}));
  EXPECT_EQ(calc("aa aa aa aa aa", {tfWordBreak}, c->TextWidth("aa aa")), (TSize{c->TextWidth("aa aa"), 3 * h}));
  // A word wider than the rectangle keeps its own line; without tfWordBreak nothing breaks.
  EXPECT_EQ(calc("a extraordinarily b", {tfWordBreak}, 20), (TSize{c->TextWidth("extraordinarily"), 3 * h}));
  EXPECT_EQ(calc("one two three", {}, 10), (TSize{w3, h}));
  // Line ends: CR LF, LF and CR; a single line drops them.
  EXPECT_EQ(calc("ab\r\ncd\nef\rg", {}, 0),
            (TSize{std::max({c->TextWidth("ab"), c->TextWidth("cd"), c->TextWidth("ef"), c->TextWidth("g")}), 4 * h}));
  EXPECT_EQ(calc("ab\r\ncd", {tfSingleLine}, 0), (TSize{c->TextWidth("abcd"), h}));
  EXPECT_EQ(calc("", {tfSingleLine}, 0), (TSize{0, h}));
  // Prefixes: "&" marks, "&&" shows one; tfNoPrefix shows them all.
  EXPECT_EQ(calc("&File", {}, 0).cx, c->TextWidth("File"));
  EXPECT_EQ(calc("Save && &quit", {}, 0).cx, c->TextWidth("Save & quit"));
  EXPECT_EQ(calc("&File", {tfNoPrefix}, 0).cx, c->TextWidth("&File"));
  // The ellipsis: what fits, then "...".
  const int wide = c->TextWidth("A rather long caption");
  const TSize cut = calc("A rather long caption", {tfEndEllipsis, tfSingleLine}, wide / 2);
  EXPECT_LE(cut.cx, wide / 2);
  EXPECT_GT(cut.cx, wide / 2 - c->TextWidth("W..."));
  EXPECT_EQ(calc("Short", {tfEndEllipsis}, 200).cx, c->TextWidth("Short"));
  EXPECT_EQ(Bytes(b), before);  // measuring draws nothing

  // The marked character is underlined: ink below the baseline only under the "F".
  std::string text = "&File";
  TRect r = Rect(10, 10, 200, 60);
  c->TextRect(r, text, {});
  const Ink marked = InkOf(b, clWhite);
  Fill(b, clWhite);
  c->TextOut(10, 10, "File");
  const Ink plain = InkOf(b, clWhite);
  EXPECT_GT(marked.box.Bottom, plain.box.Bottom);
  EXPECT_GT(marked.count, plain.count);
  Fill(b, clWhite);
  c->TextRect(r, text, {});
  int left = 1000, right = -1;
  for (int y = plain.box.Bottom; y < marked.box.Bottom; ++y)
    for (int x = 0; x < 400; ++x)
      if (Raw(b, x, y) != clWhite) left = std::min(left, x), right = std::max(right, x + 1);
  EXPECT_EQ(left, 10);
  EXPECT_EQ(right, 10 + c->TextWidth("F"));

  // The ellipsis drawn: the ink stays in the rectangle.
  Fill(b, clWhite);
  std::string caption = "A rather long caption";
  r = Rect(10, 100, 10 + wide / 2, 140);
  c->TextRect(r, caption, {tfEndEllipsis, tfSingleLine, tfNoClip});
  EXPECT_LE(InkOf(b, clWhite).box.Right, r.Right);
}

// Characters the canvas font lacks come from another installed face. Which faces are installed
// is the machine's business: the test looks for a character that DejaVu Sans lacks and some
// other face has, and skips when there is none.
std::string FcList(const std::string& query) {
  std::string out;
  if (FILE* p = popen(("fc-list '" + query + "' family 2>/dev/null").c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  return out;
}

TEST(CanvasText, MissingGlyphsComeFromAFallbackFace) {
  struct Candidate {
    uint32_t cp;
    const char* utf8;
  };
  const Candidate candidates[] = {{0x4E2D, "\xE4\xB8\xAD"}, {0x1D49C, "\xF0\x9D\x92\x9C"}, {0x0E01, "\xE0\xB8\x81"}};
  const Candidate* pick = nullptr;
  for (const Candidate& k : candidates) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", k.cp);
    if (FcList(std::string("DejaVu Sans:charset=") + hex).empty() && !FcList(std::string(":charset=") + hex).empty()) {
      pick = &k;
      break;
    }
  }
  if (pick == nullptr) GTEST_SKIP() << "no installed face has a character DejaVu Sans lacks";

  TBitmap b;
  Make(b, 200, 60, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetFont()->SetName("DejaVu Sans");
  c->GetFont()->SetHeight(-32);
  c->GetBrush()->SetStyle(bsClear);
  const std::string ch = pick->utf8;
  // A private-use character no face has: the missing-glyph box.
  const std::string none = "\xF4\x8F\xBF\xBD";
  const TSize one = c->TextExtent(ch);
  EXPECT_EQ(c->TextWidth(ch + ch), 2 * one.cx);
  EXPECT_EQ(one.cy, c->TextHeight("H"));  // the cell stays the font's
  c->TextOut(10, 10, ch);
  const Ink k = InkOf(b, clWhite);
  EXPECT_GT(k.count, 40);
  EXPECT_LE(k.box.Right, 10 + one.cx + 3);
  const auto drawn = Bytes(b);
  Fill(b, clWhite);
  c->TextOut(10, 10, none);
  EXPECT_GT(InkOf(b, clWhite).count, 20);
  EXPECT_NE(Bytes(b), drawn) << "drawn as the missing-glyph box";
  // Mixed with the font's own characters, measured as drawn.
  Fill(b, clWhite);
  const std::string mixed = "A" + ch + "B";
  EXPECT_EQ(c->TextWidth(mixed), c->TextWidth("A") + one.cx + c->TextWidth("B"));
  c->TextOut(10, 10, mixed);
  EXPECT_EQ(c->GetPenPos().X, 10 + c->TextWidth(mixed));
  EXPECT_LE(InkOf(b, clWhite).box.Right, 10 + c->TextWidth(mixed) + 3);
}

// With no fonts at all, text draws nothing and measures zero width (a fresh process, told by
// fontconfig's environment to use a configuration without font folders).
TEST(CanvasTextDeathTest, WithoutFontsTextDrawsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string conf = testing_support::TempPath("nofonts.conf");
  {
    std::ofstream f(conf);
    f << "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" << conf << ".cache</cachedir></fontconfig>\n";
  }
  EXPECT_EXIT(
      {
        setenv("FONTCONFIG_FILE", conf.c_str(), 1);
        TBitmap b;
        Make(b, 100, 40, clWhite);
        b.GetCanvas()->GetBrush()->SetStyle(bsClear);
        b.GetCanvas()->TextOut(5, 5, "nothing");
        b.GetCanvas()->TextRect(Rect(0, 0, 50, 20), 0, 0, "nothing");
        const bool ok = Count(b, clWhite) == 100 * 40 && b.GetCanvas()->TextWidth("nothing") == 0 &&
                        b.GetCanvas()->TextHeight("nothing") > 0;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  std::filesystem::remove(conf);
}

TEST(FontRecord, RoundTripsByteForByte) {
  TLogFont lf;
  lf.lfHeight = -27;
  lf.lfWidth = 11;
  lf.lfEscapement = 450;
  lf.lfOrientation = 300;
  lf.lfWeight = 600;  // semi-bold: not bold, kept exactly
  lf.lfItalic = 255;
  lf.lfUnderline = 1;
  lf.lfStrikeOut = 0;
  lf.lfCharSet = 238;
  lf.lfOutPrecision = 3;
  lf.lfClipPrecision = 2;
  lf.lfQuality = 5;
  lf.lfPitchAndFamily = 0x22;
  std::memcpy(lf.lfFaceName, "Times New Roman\0garbage after", 30);
  TFont f;
  LogFontToFont(lf, &f);
  EXPECT_EQ(f.GetName(), "Times New Roman");
  EXPECT_EQ(f.GetHeight(), -27);
  EXPECT_EQ(f.GetOrientation(), 450);
  EXPECT_EQ(f.GetStyle(), (TFontStyles{fsItalic, fsUnderline}));
  EXPECT_EQ(f.GetCharset(), 238);
  EXPECT_EQ(f.GetPitch(), fpVariable);
  TLogFont back;
  FontToLogFont(&f, back);
  EXPECT_EQ(std::memcmp(&lf, &back, sizeof lf), 0);
  // Through Assign as well.
  TFont g;
  g.Assign(&f);
  FontToLogFont(&g, back);
  EXPECT_EQ(std::memcmp(&lf, &back, sizeof lf), 0);

  // Changing properties changes exactly their fields.
  f.SetStyle({fsBold, fsStrikeOut});
  f.SetName("Arial");
  f.SetOrientation(900);
  FontToLogFont(&f, back);
  EXPECT_EQ(back.lfWeight, FW_BOLD);
  EXPECT_EQ(back.lfItalic, 0);
  EXPECT_EQ(back.lfUnderline, 0);
  EXPECT_EQ(back.lfStrikeOut, 1);
  EXPECT_EQ(back.lfEscapement, 900);
  EXPECT_EQ(back.lfOrientation, 900);
  EXPECT_STREQ(back.lfFaceName, "Arial");
  for (size_t i = 5; i < 32; ++i) EXPECT_EQ(back.lfFaceName[i], 0) << i;
  EXPECT_EQ(back.lfWidth, 11);
  EXPECT_EQ(back.lfQuality, 5);

  // A new font's record: the toolkit's defaults.
  TFont fresh;
  fresh.SetName("Arial");
  fresh.SetHeight(-13);
  FontToLogFont(&fresh, back);
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(&back);
  const int32_t h = -13;
  EXPECT_EQ(std::memcmp(raw, &h, 4), 0);
  EXPECT_EQ(back.lfWeight, FW_NORMAL);
  EXPECT_EQ(back.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(std::memcmp(raw + 28, "Arial", 6), 0);
  EXPECT_EQ(sizeof(TLogFont), 60u);
  EXPECT_EQ(offsetof(TLogFont, lfItalic), 20u);
  EXPECT_EQ(offsetof(TLogFont, lfFaceName), 28u);
}

TEST(FontRecord, ChangeEventsAndMulDiv) {
  struct Counter {
    int n = 0;
    void Changed(TObject*) { ++n; }
  } counter;
  TFont f;
  f.OnChange = TNotifyEvent(&counter, &Counter::Changed);
  f.SetHeight(-20);
  f.SetHeight(-20);
  f.SetColor(clRed);
  f.SetStyle({fsBold});
  EXPECT_EQ(counter.n, 3);
  EXPECT_EQ(MulDiv(10, 96, 72), 13);
  EXPECT_EQ(MulDiv(-10, 96, 72), -13);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);  // halves away from zero
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(CanvasText, PictureOfSizesAnglesAndStyles) {
  TBitmap b;
  Make(b, 800, 600, clWhite);
  TCanvas* c = b.GetCanvas();
  c->GetBrush()->SetStyle(bsClear);
  c->GetFont()->SetName("Arial");
  int y = 4;
  for (int h : {8, 10, 12, 14, 18, 24, 32, 48}) {
    c->GetFont()->SetHeight(-h);
    c->TextOut(8, y, "Height " + std::to_string(h) + ": The quick brown fox jumps over the lazy dog 0123456789");
    y += c->TextHeight("Hg") + 2;
  }
  c->GetFont()->SetHeight(-16);
  const TFontStyles styles[5] = {{fsBold}, {fsItalic}, {fsUnderline}, {fsStrikeOut}, {fsBold, fsItalic, fsUnderline}};
  const char* names[5] = {"Bold", "Italic", "Underline", "Strike-out", "Bold italic underline"};
  for (int i = 0; i < 5; ++i) {
    c->GetFont()->SetStyle(styles[i]);
    c->TextOut(8 + i * 150, y + 4, names[i]);
  }
  c->GetFont()->SetStyle({});
  // Rotated text around one corner, with a cross at the corner.
  c->GetFont()->SetHeight(-15);
  c->GetPen()->SetColor(clRed);
  const int cx = 230, cy = 440;
  c->MoveTo(cx - 6, cy);
  c->LineTo(cx + 7, cy);
  c->MoveTo(cx, cy - 6);
  c->LineTo(cx, cy + 7);
  for (int a = 0; a < 3600; a += 300) {
    c->GetFont()->SetOrientation(a);
    c->GetFont()->SetColor(a == 0 ? clBlue : clBlack);
    c->TextOut(cx, cy, "  " + std::to_string(a / 10) + " degrees");
  }
  c->GetFont()->SetOrientation(0);
  // Opaque text, coloured text and a 1-bit rendering brought in through Draw.
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(clYellow);
  c->GetFont()->SetColor(clNavy);
  c->GetFont()->SetHeight(-20);
  c->TextOut(480, 380, "Opaque yellow cell");
  c->GetBrush()->SetColor(RGBColor(40, 40, 40));
  c->GetFont()->SetColor(clWhite);
  c->TextOut(480, 410, "White on dark");
  TBitmap mono;
  Make(mono, 300, 60, clWhite, pf1bit);
  mono.GetCanvas()->GetBrush()->SetStyle(bsClear);
  mono.GetCanvas()->GetFont()->SetHeight(-22);
  mono.GetCanvas()->TextOut(4, 4, "1-bit threshold");
  mono.GetCanvas()->GetFont()->SetHeight(-11);
  mono.GetCanvas()->TextOut(4, 36, "small 1-bit text at 11 pixels");
  c->Draw(480, 450, &mono);

  // Formatted text in framed rectangles, and characters from other faces.
  c->GetBrush()->SetStyle(bsClear);
  c->GetFont()->SetColor(clBlack);
  c->GetFont()->SetHeight(-14);
  const TRect boxes[3] = {Rect(480, 500, 640, 590), Rect(650, 500, 790, 545), Rect(650, 550, 790, 590)};
  const TTextFormat formats[3] = {{tfCenter, tfVerticalCenter, tfWordBreak}, {tfRight, tfBottom, tfSingleLine},
                                  {tfEndEllipsis, tfSingleLine, tfVerticalCenter}};
  const char* texts[3] = {"&Open a file whose name needs more than one line", "Save && &quit", "An ellipsis ends this line"};
  for (int i = 0; i < 3; ++i) {
    c->GetPen()->SetColor(clRed);
    c->Rectangle(boxes[i].Left - 1, boxes[i].Top - 1, boxes[i].Right + 1, boxes[i].Bottom + 1);
    TRect r = boxes[i];
    std::string t = texts[i];
    c->TextRect(r, t, formats[i]);
  }
  c->GetFont()->SetHeight(-24);
  c->TextOut(8, 270, "Other faces: \xE4\xB8\xAD \xF0\x9D\x92\x9C \xE0\xB8\x81 \xE2\x88\x91 none: \xF4\x8F\xBF\xBD");

  const std::string path = OutPath("text_test.bmp");
  SaveBmp(b, path);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_GT(InkOf(b, clWhite).count, 10000);
}

}  // namespace
}  // namespace corvex
