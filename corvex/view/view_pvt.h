// Internals shared by the view's sources.
#pragma once

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/ui/controls.h"

namespace corvex::view_pvt {

// The header the DIB drawer reads, with the two colours of a 1-bit image right behind it.
struct BitmapInfo {
  TBitmapInfoHeader Header;
  TRGBQuad Colors[2];
};

// Describes the whole of Bitmap, top row first as it lies in memory.
inline void DescribeBitmap(const TBitmap* Bitmap, BitmapInfo& Info) {
  Info = BitmapInfo{};
  Info.Header.biSize = sizeof(TBitmapInfoHeader);
  Info.Header.biWidth = Bitmap->GetWidth();
  Info.Header.biHeight = -Bitmap->GetHeight();
  Info.Header.biPlanes = 1;
  Info.Header.biCompression = BI_RGB;
  if (Bitmap->GetPixelFormat() == pf1bit) {
    Info.Header.biBitCount = 1;
    Info.Header.biClrUsed = 2;
    Info.Colors[0] = TRGBQuad{0, 0, 0, 0};
    Info.Colors[1] = TRGBQuad{255, 255, 255, 0};
  } else {
    Info.Header.biBitCount = 24;
  }
}

// The scroll bars of a view whose origin (ViewX, ViewY) runs from 0 to (MaxX, MaxY): each bar the
// style enables is hidden (or shown disabled when AlwaysVisible) when nothing scrolls that way,
// else it gets a range of 0 .. 65535 whatever the extent, so that positions fit the 16 bits of the
// messages; HScale and VScale receive the view pixels per bar unit.
void UpdateScaledScrollBars(TWinControl* View, TScrollStyle Style, bool AlwaysVisible, int MaxX, int MaxY, int ViewX,
                            int ViewY, double& HScale, double& VScale);

}  // namespace corvex::view_pvt
