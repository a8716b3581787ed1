// The stretching DIB drawer: draws a device-independent bitmap in memory (a 40-byte or longer
// information header, its colour table or channel masks, and the pixel rows) from a source
// rectangle to a destination rectangle of a canvas, with nearest-pixel sampling (a 1:1 draw is a
// straight copy). Drawer handles are opened and closed like the video drawing service's.
//
// Supported layouts: 1, 4 and 8 bits with a colour table (biClrUsed entries, or 2^bits when 0;
// indices past the table draw black), 16 bits (5-5-5, or BI_BITFIELDS masks), 24 bits, 32 bits
// (blue, green, red, unused, or BI_BITFIELDS masks). biHeight > 0 stores the bottom row first,
// biHeight < 0 the top row first. Compressed DIBs are refused.
//
// Coordinates of the source rectangle are counted from the image's top row whatever the storage
// order. The drawing honours the canvas clip region; source pixels outside the image draw nothing.
// For a TBitmap (top row first in memory) describe the pixels with a negative biHeight and pass
// Bits(); a packed DIB such as the clipboard's (bottom row first) is drawn with lpBits nullptr.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/palette.h"

namespace corvex {

class TCanvas;

using HDRAWDIB = uintptr_t;  // 0 = none

// Flags of DrawDibDraw (accepted; only DDF_DONTDRAW changes anything here).
constexpr unsigned DDF_UPDATE = 0x0002;
constexpr unsigned DDF_SAME_HDC = 0x0004;
constexpr unsigned DDF_SAME_DRAW = 0x0008;
constexpr unsigned DDF_DONTDRAW = 0x0010;
constexpr unsigned DDF_ANIMATE = 0x0020;
constexpr unsigned DDF_BUFFER = 0x0040;
constexpr unsigned DDF_JUSTDRAWIT = 0x0080;
constexpr unsigned DDF_BACKGROUNDPAL = 0x0200;
constexpr unsigned DDF_HALFTONE = 0x1000;

HDRAWDIB DrawDibOpen();
// False for an unknown handle.
bool DrawDibClose(HDRAWDIB hdd);

// Draws the DIB. lpBits nullptr means the rows follow the colour table (a packed DIB). dxSrc or
// dySrc -1 take the rest of the image from xSrc / ySrc; dxDst or dyDst -1 take the source size.
// False (nothing drawn) for an unknown handle, a header that is not understood or a negative
// size.
bool DrawDibDraw(HDRAWDIB hdd, TCanvas* Canvas, int xDst, int yDst, int dxDst, int dyDst,
                 const TBitmapInfoHeader* lpbi, const void* lpBits, int xSrc, int ySrc, int dxSrc, int dySrc,
                 unsigned wFlags);

// Realises the drawer's palette on the canvas: the number of entries that changed. Canvases
// here are true-colour, so nothing ever changes and the result is 0.
unsigned DrawDibRealize(HDRAWDIB hdd, TCanvas* Canvas, bool fBackground);
// The palette the drawer uses for palette-based output (kept, not owned).
bool DrawDibSetPalette(HDRAWDIB hdd, HPALETTE hpal);
HPALETTE DrawDibGetPalette(HDRAWDIB hdd);
// Number of drawer handles currently open (for tests and leak checks).
size_t DrawDibCount();

// Bytes between the end of the header and the first pixel row of a packed DIB (colour table and
// masks); 0 for a header that is not understood.
size_t DIBColorTableSize(const TBitmapInfoHeader* lpbi);

}  // namespace corvex
