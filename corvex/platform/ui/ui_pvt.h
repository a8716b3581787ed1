// Internals shared by the window-layer sources: pixel copies between backing bitmaps, the frame
// (border and scroll bars) of a window, and the geometry of its scroll bars.
#pragma once

#include <cstdint>

#include "corvex/platform/types.h"
#include "corvex/platform/ui/messages.h"

namespace corvex {

class TBitmap;
class TWinControl;

namespace ui_pvt {

// Copies the 24-bit pixels of Src's rectangle R to Dst at (X, Y), cut to both bitmaps.
void CopyPixels(const TBitmap* Src, const TRect& R, TBitmap* Dst, int X, int Y);

// Draws W's border and visible scroll bars into Target, with the window's top-left at (X, Y).
void DrawFrame(TBitmap* Target, int X, int Y, const TWinControl& W);

// The parts of a visible scroll bar, in the window's own coordinates (0, 0 = its outer top-left).
struct ScrollBarParts {
  TRect Bar;        // the whole bar
  TRect Arrow1;     // up / left arrow
  TRect Arrow2;     // down / right arrow
  TRect Track;      // between the arrows
  TRect Thumb;      // the thumb (empty when the bar cannot scroll)
  TRect Page1;      // track before the thumb
  TRect Page2;      // track after the thumb
};
// False when the bar (SB_HORZ or SB_VERT) is not visible.
bool GetScrollBarParts(const TWinControl& W, int Bar, ScrollBarParts& Parts);
// The position a thumb dragged so that its leading edge lies at Offset pixels into the track.
int ThumbPosition(const TWinControl& W, int Bar, int Offset);

bool KillWindowTimer(HWND Window, uintptr_t Id);

}  // namespace ui_pvt
}  // namespace corvex
