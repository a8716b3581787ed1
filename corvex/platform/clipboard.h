// The clipboard: one process-wide store of data blocks by format, opened and closed around each
// use. Data is held in global memory blocks; the clipboard owns the blocks handed to it.
//
//   if (OpenClipboard(0)) {
//     EmptyClipboard();
//     SetClipboardData(CF_DIB, block);   // the clipboard now owns block
//     CloseClipboard();
//   }
//
// It is in-process: programs of this library share it within one process (a desktop host may
// bridge it to the system's clipboard).
#pragma once

#include <cstdint>

#include "corvex/platform/globalmem.h"

namespace corvex {

using HCLIPOWNER = uintptr_t;  // the window that opens the clipboard; 0 for none

constexpr unsigned CF_TEXT = 1;
constexpr unsigned CF_BITMAP = 2;
constexpr unsigned CF_DIB = 8;

// Opens the clipboard for the caller; false while it is open (by anyone).
bool OpenClipboard(HCLIPOWNER Owner);
// Closes it; false when it was not open.
bool CloseClipboard();
// Frees all data on the clipboard; false unless it is open.
bool EmptyClipboard();
// Puts a block on the open clipboard under Format, replacing (and freeing) what was there; the
// clipboard takes ownership of Mem, so the caller must not free it. Returns Mem, or 0 (the block
// is then still the caller's) when the clipboard is not open or Mem is 0.
HGLOBAL SetClipboardData(unsigned Format, HGLOBAL Mem);
// The block under Format on the open clipboard, owned by the clipboard (valid until it is
// emptied or replaced); 0 when there is none or the clipboard is not open.
HGLOBAL GetClipboardData(unsigned Format);
// Whether data of Format is on the clipboard (open or not).
bool IsClipboardFormatAvailable(unsigned Format);
// The number of formats on the clipboard.
int CountClipboardFormats();

}  // namespace corvex
