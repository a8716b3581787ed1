// TCanvas: the raster drawing surface of a bitmap, with the toolkit's pen, brush and font.
//
// The canvas draws into its bitmap's pixels (pf24bit, pf32bit, pf8bit, pf4bit and pf1bit; on the
// 15- and 16-bit formats the drawing operations do nothing and Pixels only reads). The classic
// raster rules hold throughout:
//   - a line from A to B draws A but not B, so a chain of LineTo calls draws every vertex once;
//   - Rectangle, Ellipse, FillRect and FrameRect cover x1 .. x2-1 and y1 .. y2-1 (the right and
//     bottom edges are excluded); polygons fill the pixels whose centres lie inside them;
//   - hatch brushes are 8 x 8 patterns anchored at the canvas origin; the pixels between the
//     hatch lines keep their colour (the toolkit draws hatches transparently);
//   - the pen mode combines the pen (or brush) colour with the pixel bit by bit, as the classic
//     raster operations do: pmNot inverts the pixel, so drawing the same shape twice restores it;
//     every pixel of one call is changed exactly once (a shape's fill stops at its outline);
//   - a wide pen grows the 1-pixel line equally on both sides (an even width puts the extra pixel
//     right of or below the line) with round ends.
// Every operation honours the clip region (SelectClipRgn, ExcludeClipRect, IntersectClipRect);
// the bitmap's edges always clip.
// Colours are TColor values; system colours are resolved. On a 1-bit bitmap a colour becomes the
// nearer of black and white (white when r + g + b >= 383). On 8- and 4-bit bitmaps a colour
// becomes the index of the nearest palette entry (smallest sum of absolute differences of red,
// green and blue; the first entry on a tie), the pen modes combine indexes as a palette device
// does (pmNot inverts the index), copied bitmaps are mapped colour by colour, and anti-aliased
// text edges blend in colour and take the nearest entry. On pf32bit the fourth byte is treated
// as part of the pixel: drawn colours put 0 there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvex/platform/events.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/platform/object.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/types.h"

namespace corvex {

class TBitmap;
class TGraphic;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen,
  pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
// FloodFill: fill the area of one colour (fsSurface) or the area up to a border colour (fsBorder).
enum TFillStyle { fsSurface, fsBorder };

// The layout flags of the formatted TextRect. tfLeft and tfTop are the defaults; tfRight and
// tfCenter, tfBottom and tfVerticalCenter move the block of lines inside the rectangle.
enum TTextFormats {
  tfBottom,          // the last line at the bottom of the rectangle
  tfCalcRect,        // only measure: the rectangle the text needs comes back in Rect
  tfCenter,          // each line centred horizontally
  tfEndEllipsis,     // a line wider than the rectangle ends in "..." within it
  tfLeft,            // lines start at the left edge
  tfNoClip,          // draw beyond the rectangle (the clip region still holds)
  tfNoPrefix,        // '&' is an ordinary character
  tfRight,           // lines end at the right edge
  tfSingleLine,      // one line: line breaks are not honoured
  tfTop,             // the first line at the top
  tfVerticalCenter,  // the block of lines centred vertically
  tfWordBreak        // lines broken between words to fit the rectangle's width
};
using TTextFormat = TSet<TTextFormats>;

// Raster operations of Draw, StretchDraw and CopyRect: the classic three-operand codes (source,
// destination and the brush colour as pattern).
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmMergeCopy = 0x00C000CA;
constexpr TCopyMode cmMergePaint = 0x00BB0226;
constexpr TCopyMode cmNotSrcCopy = 0x00330008;
constexpr TCopyMode cmNotSrcErase = 0x001100A6;
constexpr TCopyMode cmPatCopy = 0x00F00021;
constexpr TCopyMode cmPatInvert = 0x005A0049;
constexpr TCopyMode cmPatPaint = 0x00FB0A09;
constexpr TCopyMode cmSrcAnd = 0x008800C6;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcErase = 0x00440328;
constexpr TCopyMode cmSrcInvert = 0x00660046;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

// GetPixels outside the bitmap or the clip region.
constexpr TColor CLR_INVALID = static_cast<TColor>(0xFFFFFFFFu);

class TPen : public TPersistent {
 public:
  TNotifyEvent OnChange;

  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);
  // Widths below 1 draw as 1.
  int GetWidth() const { return Width_; }
  void SetWidth(int Value);
  TPenStyle GetStyle() const { return Style_; }
  void SetStyle(TPenStyle Value);
  TPenMode GetMode() const { return Mode_; }
  void SetMode(TPenMode Value);

  void Assign(const TPersistent* Source) override;

 private:
  void Changed();
  TColor Color_ = clBlack;
  int Width_ = 1;
  TPenStyle Style_ = psSolid;
  TPenMode Mode_ = pmCopy;
};

class TBrush : public TPersistent {
 public:
  TNotifyEvent OnChange;

  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);
  TBrushStyle GetStyle() const { return Style_; }
  void SetStyle(TBrushStyle Value);

  void Assign(const TPersistent* Source) override;

 private:
  void Changed();
  TColor Color_ = clWhite;
  TBrushStyle Style_ = bsSolid;
};

// The 8 x 8 pattern of a hatch style: row y & 7, bit 7 - (x & 7) set where the hatch draws.
// All zero for bsSolid and bsClear.
const uint8_t* HatchPattern(TBrushStyle Style);

// The line walker: calls Proc(x, y, Data) for every pixel of the line from (X1, Y1) to (X2, Y2),
// end point excluded, in order from the start; the same pixels LineTo draws with a 1-pixel pen.
using TLineDDAProc = void (*)(int X, int Y, void* Data);
void LineDDA(int X1, int Y1, int X2, int Y2, TLineDDAProc Proc, void* Data);

class TCanvas : public TPersistent {
 public:
  explicit TCanvas(TBitmap* Target = nullptr);
  ~TCanvas() override;

  TBitmap* GetBitmap() const { return Bitmap_; }

  // Fired before and after every drawing operation (a bitmap marks itself modified).
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

  // Drawing from several places (a paint and a timer) brackets itself with Lock and Unlock.
  void Lock() { ++LockCount_; }
  void Unlock() {
    if (LockCount_ > 0) --LockCount_;
  }
  int GetLockCount() const { return LockCount_; }

  // The drawing tools; the setters copy the given object's settings.
  TPen* GetPen() { return &Pen_; }
  void SetPen(const TPen* Value) { Pen_.Assign(Value); }
  TBrush* GetBrush() { return &Brush_; }
  void SetBrush(const TBrush* Value) { Brush_.Assign(Value); }
  TFont* GetFont() { return &Font_; }
  void SetFont(const TFont* Value) { Font_.Assign(Value); }
  TCopyMode GetCopyMode() const { return CopyMode_; }
  void SetCopyMode(TCopyMode Value) { CopyMode_ = Value; }
  // The fill rule of Polygon (alternate by default).
  TFillMode GetPolyFillMode() const { return FillMode_; }
  void SetPolyFillMode(TFillMode Value) { FillMode_ = Value; }
  TPoint GetPenPos() const { return PenPos_; }
  void SetPenPos(TPoint Value) { MoveTo(Value.X, Value.Y); }

  // Lines: MoveTo sets the pen position; LineTo draws from it to (X, Y), excluding (X, Y), and
  // moves it there. A dash pattern continues across consecutive LineTo calls.
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  // Lines through the points (the last point excluded); the pen position does not change.
  void Polyline(const TPoint* Points, int Count);
  // A closed polygon: filled with the brush by the fill rule, outlined with the pen.
  void Polygon(const TPoint* Points, int Count);
  // Several closed polygons filled together with one rule, each outlined.
  void PolyPolygon(const TPoint* Points, const int* Counts, int Polygons);
  // Outline with the pen along the pixels x1 .. x2-1, y1 .. y2-1, inside filled with the brush.
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  // The brush over the rectangle; ignores the pen and its mode (clear brush: nothing).
  void FillRect(const TRect& R);
  // A 1-pixel frame drawn with the brush.
  void FrameRect(const TRect& R);
  // The ellipse inscribed in the rectangle: outlined with the pen, filled with the brush.
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  // Part of the outline of the ellipse inscribed in (X1, Y1, X2, Y2), counter-clockwise from the
  // ray through (X3, Y3) to the ray through (X4, Y4) (rays from the centre). Equal rays draw the
  // whole ellipse.
  void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  // The rectangle x1 .. x2-1, y1 .. y2-1 with its corners rounded by the quarters of an ellipse
  // of X3 x Y3 pixels (cut to the rectangle; 0 gives square corners, the whole size the ellipse):
  // outlined with the pen, filled with the brush.
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  // The sector of the ellipse inscribed in (X1, Y1, X2, Y2) counter-clockwise from the ray through
  // (X3, Y3) to the ray through (X4, Y4), as Arc takes them: filled with the brush, outlined with
  // the arc and the two radii. Equal rays give the whole ellipse with one radius.
  void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  // The part of that ellipse cut off by the chord joining the arc's ends, on the arc's side:
  // filled with the brush, outlined with the arc and the chord. Equal rays give the ellipse.
  void Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  // Fills the 4-connected area around (X, Y) with the brush, combined by the pen mode like the
  // fill of a shape: with fsSurface the pixels of exactly Color, with fsBorder everything up to
  // pixels of Color (on palette bitmaps the colour stands for its nearest entry; on 1-bit ones for
  // black or white). The area is decided on the pixels as they were before the fill, and pixels
  // outside the clip region bound it like a border. Nothing happens when (X, Y) is not visible,
  // does not belong to the area, or the brush is clear.
  void FloodFill(int X, int Y, TColor Color, TFillStyle FillStyle);

  // One pixel: its colour (CLR_INVALID outside the bitmap or the clip region), or set it (the pen
  // mode does not apply).
  TColor GetPixels(int X, int Y) const;
  void SetPixels(int X, int Y, TColor Color);

  // Copies a bitmap with its top-left corner at (X, Y), combined by CopyMode.
  void Draw(int X, int Y, const TGraphic* Graphic);
  // Stretches a bitmap onto the rectangle (nearest pixel; a rectangle with Right < Left or
  // Bottom < Top mirrors it). Other graphics (a metafile) draw themselves into the rectangle.
  void StretchDraw(const TRect& Rect, const TGraphic* Graphic);
  // Stretches the Source rectangle of another canvas's bitmap (or this one's) onto Dest.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

  // Text in the canvas font (UTF-8), (X, Y) the top-left corner of the text cell; rotated text
  // (Font Orientation) turns around that corner. With a solid brush the cell is filled with the
  // brush colour first. Moves the pen position to (X + TextWidth, Y).
  void TextOut(int X, int Y, const std::string& Text);
  // Text at (X, Y) clipped to the rectangle; a solid brush fills the rectangle first.
  void TextRect(const TRect& Rect, int X, int Y, const std::string& Text);
  // Text laid out in the rectangle by the format flags, as unrotated lines of the font's cell
  // height. Lines break at line feeds (CR LF, LF or CR) unless tfSingleLine, and between words
  // to fit the width with tfWordBreak (a word wider than the rectangle keeps its own line).
  // Each line is placed left, right or centred (at (Left + Right - width) / 2, rounded down);
  // the block of lines top, bottom or centred vertically the same way. Unless tfNoPrefix, "&"
  // underlines the character after it and "&&" shows one "&". With a solid brush each line's
  // cell is filled first, as TextOut does. The text is clipped to the rectangle unless tfNoClip.
  // With tfCalcRect nothing is drawn: Rect keeps its left and top corner and gets the width of
  // the widest line and the height of all lines (the rectangle's width still breaks the words).
  // Text is not changed; it is a reference as in the toolkit's signature.
  void TextRect(TRect& Rect, std::string& Text, TTextFormat Format);
  // The size of the unrotated text cell: advance width and cell height of the font.
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

  // Clipping. SelectClipRgn(nullptr) removes the clip region; ExcludeClipRect takes a rectangle
  // out of it (from the whole surface when there is none); IntersectClipRect keeps only the part
  // inside a rectangle.
  void SelectClipRgn(const TRegion* Rgn);
  void ExcludeClipRect(int X1, int Y1, int X2, int Y2);
  void IntersectClipRect(int X1, int Y1, int X2, int Y2);
  // The bounds of what can be drawn: the bitmap, cut by the clip region.
  TRect GetClipRect() const;
  // A copy of the clip region; false when there is none.
  bool GetClipRgn(TRegion& Rgn) const;
  const TRegion* ClipRegion() const { return HasClip_ ? &Clip_ : nullptr; }

  // Fire OnChanging / OnChange; for code that draws on the bitmap's pixels for the canvas.
  void Changing();
  void Changed();
  // How many drawing operations have ended (Changed calls): a window that remembers the count
  // after its own paint knows, when the count is the same, that its pixels are still its own.
  uint64_t GetChangeCount() const { return ChangeCount_; }

 private:
  TBitmap* Bitmap_;
  int LockCount_ = 0;
  TPen Pen_;
  TBrush Brush_;
  TFont Font_;
  TCopyMode CopyMode_ = cmSrcCopy;
  TFillMode FillMode_ = fmAlternate;
  TPoint PenPos_;
  int64_t DashPos_ = 0;  // position in the pen's dash pattern, kept across LineTo calls
  bool HasClip_ = false;
  TRegion Clip_;
  uint64_t ChangeCount_ = 0;
};

}  // namespace corvex
