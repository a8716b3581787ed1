// Mouse cursors: monochrome cursor images named by handles, the standard cursors of the toolkit,
// the library's own cursors, and the cursor table that maps the toolkit's 16-bit cursor
// identifiers (TCursor) to handles.
//
// A cursor is a pair of 1-bit masks with a hot spot, combined with the screen under it pixel by
// pixel as screen = (screen AND and-bit) XOR xor-bit:
//   AND 1, XOR 0   transparent (the screen shows through)
//   AND 0, XOR 0   black
//   AND 0, XOR 1   white
//   AND 1, XOR 1   the screen inverted
// A host toolkit with a bitmap + mask cursor (bitmap 1 = black where the mask is 1) builds it
// with mask = NOT and-bit and bitmap = NOT (and-bit XOR xor-bit); the inverted pixels then become
// its own "invert" pixels. For a standard cursor the description also says which TCursor it stands
// for, so that a host can show its native shape instead of our drawing.
//
// Every function here is safe to call from any thread; a TCursorTable belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvex/platform/types.h"

namespace corvex {

class TBitmap;

// ---------------------------------------------------------------------------------------------
// Cursor identifiers

using TCursor = int16_t;

constexpr TCursor crDefault = 0;  // the control's default: the arrow
constexpr TCursor crNone = -1;    // no visible cursor
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = crSizeAll;

// The identifiers of the standard cursors, crDefault first (21 of them).
extern const TCursor kStandardCursors[];
extern const size_t kStandardCursorCount;

// The library's own cursors, registered by RegisterCorvexCursors under these identifiers.
constexpr TCursor crCXZoomOut = 1778;    // "ZOOMMENO": magnifier with a minus
constexpr TCursor crCXZoomIn = 1779;     // "ZOOMPIU": magnifier with a plus
constexpr TCursor crCXCross = 1780;      // "CROCE": bold cross
constexpr TCursor crCXEraser = 1781;     // "GOMMA": eraser
constexpr TCursor crCXHand = 1782;       // "MANO": open hand
constexpr TCursor crCXPen = 1783;        // "PENNA": pen, hot spot at the tip
constexpr TCursor crCXCross1 = 1784;     // "CROCE1": cross in a ring
constexpr TCursor crCXCross2 = 1785;     // "CROCE2": fine precision cross, the views' default
constexpr TCursor crCXSizeNWSE = 1786;   // "MOVE2": double arrow top-left / bottom-right
constexpr TCursor crCXSizeNS = 1787;     // "MOVEY": vertical double arrow
constexpr TCursor crCXSizeNESW = 1788;   // "MOVE1": double arrow top-right / bottom-left
constexpr TCursor crCXSizeWE = 1789;     // "MOVEX": horizontal double arrow
constexpr TCursor crCXSizeAll = 1790;    // "MOVE": four-way arrow
constexpr TCursor crCXFirst = crCXZoomOut;
constexpr int kCorvexCursorCount = 13;
// The names in identifier order (kCorvexCursorNames[i] is registered under crCXFirst + i).
extern const char* const kCorvexCursorNames[kCorvexCursorCount];

// ---------------------------------------------------------------------------------------------
// Cursor handles

using HCURSOR = uintptr_t;  // 0 = no cursor

// The size of the cursors this library draws.
constexpr int kCursorSize = 32;

// Everything a cursor is made of.
struct TCursorImage {
  int Width = 0;
  int Height = 0;
  TPoint HotSpot;
  int RowBytes = 0;              // bytes per mask row: Width bits padded to 16 (4 for 32 pixels)
  std::vector<uint8_t> AndMask;  // Height rows, row 0 at the top, most significant bit first
  std::vector<uint8_t> XorMask;  // the same layout
  std::optional<TCursor> Standard;  // the standard identifier a standard cursor stands for
  std::string Name;                 // the name of a library cursor ("MOVE"), else empty

  bool AndBit(int X, int Y) const { return Bit(AndMask, X, Y); }
  bool XorBit(int X, int Y) const { return Bit(XorMask, X, Y); }

 private:
  bool Bit(const std::vector<uint8_t>& Mask, int X, int Y) const;
};

// A new cursor from the two masks (Height rows of RowBytes bytes each, rows padded to 16 bits as
// in TCursorImage). Returns 0 when a mask is missing, the size is outside 1..256 or the hot spot
// lies outside the image. The caller destroys the cursor (or gives it to a cursor table).
HCURSOR CreateCursor(int XHotSpot, int YHotSpot, int Width, int Height, const void* ANDPlane,
                     const void* XORPlane);

// Frees a cursor made by CreateCursor or LoadCursor. Returns false (and does nothing) for 0, for
// an unknown handle and for the shared standard cursors, which live as long as the process.
bool DestroyCursor(HCURSOR Cursor);

// The shared handle of a standard cursor (crDefault, crArrow ... crSizeAll); 0 for any other
// identifier. The same handle every time; DestroyCursor leaves it alone.
HCURSOR StandardCursor(TCursor Id);

// A new cursor holding one of the library's cursors by name ("ZOOMMENO" ... "MOVE", letter case
// ignored as with resource names); 0 for an unknown name.
HCURSOR LoadCursor(const std::string& Name);

// The description of a cursor; false (Image unchanged) for an unknown handle.
bool GetCursorImage(HCURSOR Cursor, TCursorImage& Image);

// Number of cursors alive that were made by CreateCursor or LoadCursor (not the shared standard
// ones): for leak checks.
size_t CursorCount();

// Draws a cursor onto a 24- or 32-bit bitmap with its hot spot at (X, Y), combining it with the
// pixels under it by the AND/XOR rule; the parts outside the bitmap are clipped. Draws nothing for
// 0, an unknown handle or a null bitmap; raises EInvalidGraphicOperation for other pixel formats.
void DrawCursor(HCURSOR Cursor, TBitmap* Target, int X, int Y);

// ---------------------------------------------------------------------------------------------
// The cursor table

// Maps cursor identifiers to handles, as the screen's cursor list does. A new table holds the
// standard cursors. The table owns every handle given to it: a handle that drops out of the
// table (replaced, removed, or the table destroyed) is destroyed, once it is under no other
// identifier. The shared standard cursors are never destroyed.
class TCursorTable {
 public:
  TCursorTable();
  ~TCursorTable();
  TCursorTable(const TCursorTable&) = delete;
  TCursorTable& operator=(const TCursorTable&) = delete;

  // The cursor for Id; the crDefault cursor (the arrow) for an identifier without an entry.
  HCURSOR Get(TCursor Id) const;
  HCURSOR operator[](TCursor Id) const { return Get(Id); }
  // Puts Handle under Id, destroying the handle it replaces. Handle 0 removes the entry (for
  // crDefault: puts the standard arrow back). Raises EInvalidOperation for a handle that is not a
  // live cursor.
  void Set(TCursor Id, HCURSOR Handle);
  // True when Id has an entry of its own.
  bool Contains(TCursor Id) const;

 private:
  struct Entry {
    TCursor Id;
    HCURSOR Handle;
  };
  std::vector<Entry> Entries_;  // sorted by Id
  void Release(HCURSOR Handle);
};

// The process-wide cursor table (the screen's Cursors).
TCursorTable& CursorTable();

// Puts the library's 13 cursors into the table under crCXFirst .. crCXFirst + 12. An identifier
// that already holds the library cursor of that name keeps it, so calling this again (as every
// new image view does) costs nothing and leaks nothing.
void RegisterCorvexCursors(TCursorTable& Table);
void RegisterCorvexCursors();  // into CursorTable()

}  // namespace corvex
