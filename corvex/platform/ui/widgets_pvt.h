// Drawing pieces shared by the widgets: fills, 3-D frames, the focus rectangle, captions with
// their accelerator underline (embossed when disabled), arrows, check boxes and radio circles.
#pragma once

#include <string>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/types.h"

namespace corvex {

class TControl;
class TWinControl;

namespace widgets_pvt {

void Fill(TCanvas* C, const TRect& R, TColor Color);
// A frame of Width pixels, TopLeft colour on the top and left edges, BottomRight on the others;
// R shrinks by the frame.
void Frame3D(TCanvas* C, TRect& R, TColor TopLeft, TColor BottomRight, int Width);
// The two-pixel raised face of a button (filled with clBtnFace).
void RaisedFace(TCanvas* C, const TRect& R);
// The two-pixel sunken edge of a text box or check box; R shrinks by it.
void SunkenEdge(TCanvas* C, TRect& R);
// The dotted focus rectangle (every other pixel inverted).
void FocusRect(TCanvas* C, const TRect& R);
// Text laid out in R by Format; "&" marks underline unless tfNoPrefix is in Format. A disabled
// caption is embossed: clBtnHighlight one pixel down-right under clGrayText.
void DrawCaption(TCanvas* C, TRect R, const std::string& Text, TTextFormat Format, bool Enabled,
                 TColor Color = clBtnText);
// The size of a single-line caption without its "&" marks.
TSize CaptionExtent(TCanvas* C, const std::string& Text);
// A filled triangle pointing up (0), down (1), left (2) or right (3), centred in R.
void Arrow(TCanvas* C, const TRect& R, int Dir, TColor Color);
// The check box square in R with its mark for State (0 unchecked, 1 checked, 2 grayed); Pushed
// draws the inside in clBtnFace as while the mouse holds it.
void CheckBox(TCanvas* C, const TRect& R, int State, bool Enabled, bool Pushed);
// The radio circle in R, with its dot when checked.
void RadioCircle(TCanvas* C, const TRect& R, bool Checked, bool Enabled, bool Pushed);
// The side of the check box square and radio circle at the screen's dpi.
int CheckSize();
// The font's line height.
int LineHeight(const TControl* Control);
// Case-insensitive comparison and prefix test of UTF-8 strings (ASCII letters fold).
int CompareText(const std::string& A, const std::string& B);
bool StartsWithText(const std::string& S, const std::string& Prefix);
// Whether the focused control is Control or lies inside it.
bool HoldsFocus(const TWinControl* Control);

}  // namespace widgets_pvt
}  // namespace corvex
