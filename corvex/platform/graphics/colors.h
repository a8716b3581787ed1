// TColor: the toolkit's 32-bit colour, red in the low byte, then green, then blue (00BBGGRR).
// Negative values name system colours (0x80000000 or an index of the system colour table);
// ColorToRGB resolves them through the table, which holds the classic default scheme and can be
// changed with SetSysColor (a host with a real desktop may do so).
#pragma once

#include <cstdint>

namespace corvex {

using TColor = int32_t;

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// Indices of the system colour table.
enum TSysColorIndex : int {
  COLOR_SCROLLBAR = 0, COLOR_BACKGROUND, COLOR_ACTIVECAPTION, COLOR_INACTIVECAPTION, COLOR_MENU,
  COLOR_WINDOW, COLOR_WINDOWFRAME, COLOR_MENUTEXT, COLOR_WINDOWTEXT, COLOR_CAPTIONTEXT,
  COLOR_ACTIVEBORDER, COLOR_INACTIVEBORDER, COLOR_APPWORKSPACE, COLOR_HIGHLIGHT,
  COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_GRAYTEXT, COLOR_BTNTEXT,
  COLOR_INACTIVECAPTIONTEXT, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT, COLOR_INFOTEXT,
  COLOR_INFOBK, COLOR_UNUSED25, COLOR_HOTLIGHT, COLOR_GRADIENTACTIVECAPTION,
  COLOR_GRADIENTINACTIVECAPTION, COLOR_MENUHILIGHT, COLOR_MENUBAR,
  COLOR_COUNT
};

constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor SysColor(int index) { return static_cast<TColor>(0x80000000u | unsigned(index)); }

constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value of a system colour index (0 for an index outside the table).
TColor GetSysColor(int index);
// Replaces one entry of the system colour table (ignored outside the table).
void SetSysColor(int index, TColor rgb);
// Resets the table to the classic default scheme.
void ResetSysColors();

// Resolves a system colour to its RGB value; other colours are returned unchanged.
inline TColor ColorToRGB(TColor c) { return c < 0 ? GetSysColor(c & 0xFF) : c; }

}  // namespace corvex
