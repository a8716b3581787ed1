// Draws every cursor of the library on one PNG contact sheet: the 13 library cursors first, then
// the standard ones, each on a grey cell enlarged 4 times, with red ticks on the cell's top and
// left edges pointing at its hot spot and the cursor's name underneath.
// Usage: cursor_sheet [output.png]   (default: cursors.png)
#include <cstdio>
#include <string>
#include <vector>

#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/cursors.h"

using namespace corvex;

namespace {

constexpr int kZoom = 4;
constexpr int kMargin = 6;                       // room for the hot-spot ticks
constexpr int kCell = kCursorSize * kZoom;       // the enlarged cursor
constexpr int kPitchX = kCell + kMargin + 10;
constexpr int kPitchY = kCell + kMargin + 26;    // and its label
constexpr int kColumns = 7;

const char* StandardName(TCursor id) {
  switch (id) {
    case crDefault: return "crDefault";
    case crNone: return "crNone";
    case crArrow: return "crArrow";
    case crCross: return "crCross";
    case crIBeam: return "crIBeam";
    case crSizeNESW: return "crSizeNESW";
    case crSizeNS: return "crSizeNS";
    case crSizeNWSE: return "crSizeNWSE";
    case crSizeWE: return "crSizeWE";
    case crUpArrow: return "crUpArrow";
    case crHourGlass: return "crHourGlass";
    case crDrag: return "crDrag";
    case crNoDrop: return "crNoDrop";
    case crHSplit: return "crHSplit";
    case crVSplit: return "crVSplit";
    case crMultiDrag: return "crMultiDrag";
    case crSQLWait: return "crSQLWait";
    case crNo: return "crNo";
    case crAppStart: return "crAppStart";
    case crHelp: return "crHelp";
    case crHandPoint: return "crHandPoint";
    case crSizeAll: return "crSizeAll";
    default: return "?";
  }
}

void Fill(TBitmap& b, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t bl) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      if (x < 0 || y < 0 || x >= b.GetWidth() || y >= b.GetHeight()) continue;
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = bl;
      p[1] = g;
      p[2] = r;
    }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "cursors.png";

  struct Item {
    HCURSOR Handle;
    std::string Label;
    bool Owned;
  };
  std::vector<Item> items;
  for (int i = 0; i < kCorvexCursorCount; ++i)
    items.push_back({LoadCursor(kCorvexCursorNames[i]),
                     std::to_string(crCXFirst + i) + " " + kCorvexCursorNames[i], true});
  for (size_t i = 0; i < kStandardCursorCount; ++i)
    items.push_back({StandardCursor(kStandardCursors[i]), StandardName(kStandardCursors[i]), false});

  const int rows = (static_cast<int>(items.size()) + kColumns - 1) / kColumns;
  TBitmap sheet(kColumns * kPitchX + 10, rows * kPitchY + 10, pf24bit);
  Fill(sheet, 0, 0, sheet.GetWidth(), sheet.GetHeight(), 255, 255, 255);

  TBitmap cell(kCursorSize, kCursorSize, pf24bit);
  for (size_t n = 0; n < items.size(); ++n) {
    const int cx = 10 + static_cast<int>(n % kColumns) * kPitchX + kMargin;
    const int cy = 10 + static_cast<int>(n / kColumns) * kPitchY + kMargin;
    TCursorImage im;
    if (!GetCursorImage(items[n].Handle, im)) {
      std::fprintf(stderr, "no cursor for %s\n", items[n].Label.c_str());
      return 1;
    }
    // The cursor over grey at its natural size, then enlarged onto the sheet.
    Fill(cell, 0, 0, kCursorSize, kCursorSize, 128, 128, 128);
    DrawCursor(items[n].Handle, &cell, im.HotSpot.X, im.HotSpot.Y);
    for (int y = 0; y < kCursorSize; ++y)
      for (int x = 0; x < kCursorSize; ++x) {
        const uint8_t* p = cell.ScanLine(y) + 3 * x;
        Fill(sheet, cx + x * kZoom, cy + y * kZoom, kZoom, kZoom, p[2], p[1], p[0]);
      }
    // Hot-spot ticks in the margin.
    Fill(sheet, cx + im.HotSpot.X * kZoom, cy - kMargin, kZoom, kMargin - 1, 255, 0, 0);
    Fill(sheet, cx - kMargin, cy + im.HotSpot.Y * kZoom, kMargin - 1, kZoom, 255, 0, 0);
    try {
      TCanvas* c = sheet.GetCanvas();
      c->GetBrush()->SetStyle(bsClear);
      c->GetFont()->SetColor(clBlack);
      c->TextOut(cx, cy + kCell + 4, items[n].Label);
    } catch (const Exception&) {
      // No font on this machine: the sheet goes without labels.
    }
  }

  for (const Item& it : items)
    if (it.Owned) DestroyCursor(it.Handle);

  try {
    TFileStream file(out, fmCreate);
    TIOParamsVals params;
    TProgressRec progress;
    WritePNGStream(&file, &sheet, params, progress);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("%s: %zu cursors\n", out.c_str(), items.size());
  return 0;
}
