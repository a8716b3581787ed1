#include "corvex/platform/graphics/colors.h"

#include <array>
#include <cstddef>

namespace corvex {

namespace {

// The classic "Windows Standard" scheme, as RGB triples.
constexpr std::array<TColor, COLOR_COUNT> kClassicScheme = {
    RGBColor(192, 192, 192),  // scroll bar
    RGBColor(0, 128, 128),    // desktop
    RGBColor(0, 0, 128),      // active caption
    RGBColor(128, 128, 128),  // inactive caption
    RGBColor(192, 192, 192),  // menu
    RGBColor(255, 255, 255),  // window
    RGBColor(0, 0, 0),        // window frame
    RGBColor(0, 0, 0),        // menu text
    RGBColor(0, 0, 0),        // window text
    RGBColor(255, 255, 255),  // caption text
    RGBColor(192, 192, 192),  // active border
    RGBColor(192, 192, 192),  // inactive border
    RGBColor(128, 128, 128),  // application workspace
    RGBColor(0, 0, 128),      // highlight
    RGBColor(255, 255, 255),  // highlight text
    RGBColor(192, 192, 192),  // button face
    RGBColor(128, 128, 128),  // button shadow
    RGBColor(128, 128, 128),  // grey text
    RGBColor(0, 0, 0),        // button text
    RGBColor(192, 192, 192),  // inactive caption text
    RGBColor(255, 255, 255),  // button highlight
    RGBColor(0, 0, 0),        // 3-D dark shadow
    RGBColor(223, 223, 223),  // 3-D light
    RGBColor(0, 0, 0),        // tooltip text
    RGBColor(255, 255, 225),  // tooltip background
    RGBColor(192, 192, 192),  // (unused)
    RGBColor(0, 0, 128),      // hot-tracked item
    RGBColor(16, 132, 208),   // active caption gradient
    RGBColor(181, 181, 181),  // inactive caption gradient
    RGBColor(0, 0, 128),      // menu highlight
    RGBColor(192, 192, 192),  // menu bar
};

// The live table; the library runs on one user-interface thread.
std::array<TColor, COLOR_COUNT> gTable = kClassicScheme;

}  // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= COLOR_COUNT) return 0;
  return gTable[std::size_t(index)];
}

void SetSysColor(int index, TColor rgb) {
  if (index < 0 || index >= COLOR_COUNT) return;
  gTable[std::size_t(index)] = rgb & 0xFFFFFF;
}

void ResetSysColors() {
  gTable = kClassicScheme;
}

}  // namespace corvex
