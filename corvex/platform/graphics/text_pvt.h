// Private text drawing of the canvas (FreeType glyphs found through fontconfig). Not installed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/canvas_pvt.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/types.h"

namespace corvex::text {

// Advance width and cell height of the unrotated text; without a usable font the width is 0 and
// the height the font's nominal pixel height.
TSize TextExtent(const TFont& Font, const std::string& Text);
// The part of the cell above the baseline, in whole pixels (0 without a usable font).
int FontAscent(const TFont& Font);
// Where DrawText puts the underline and strike-out bands: their first row relative to the
// baseline (positive below it) and their thickness, in pixels. False without a usable font.
bool FontLines(const TFont& Font, double& UnderTop, double& UnderThick, double& StrikeTop, double& StrikeThick);

// Draws the text with the top-left corner of its cell at (X, Y), rotated by the font's
// orientation around that corner. Opaque fills the (rotated) cell with Background first.
// Grey anti-aliasing on 24- and 32-bit targets, a threshold at half coverage on 1-bit ones.
void DrawText(const raster::TTarget& T, const raster::TClipper& C, const TFont& Font, int X, int Y,
              const std::string& Text, bool Opaque, TColor Background);

// One line of the formatted TextRect: its text (prefix marks taken out, an ellipsis put in), its
// advance width, and the pixel ranges [from, to) along it under the prefixed characters.
struct TTextLine {
  std::string Text;
  int Width = 0;
  std::vector<std::pair<int, int>> Underlines;
};
// Breaks the text into lines by tfSingleLine, tfWordBreak, tfEndEllipsis and tfNoPrefix for a
// rectangle Width pixels wide (no word breaking when Width <= 0). Widths are the advances
// TextExtent adds up.
std::vector<TTextLine> FormatLines(const TFont& Font, const std::string& Text, TTextFormat Format, int Width);

}  // namespace corvex::text
