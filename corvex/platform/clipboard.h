// The clipboard: one process-wide store of data blocks by format, opened and closed around each
// use. Data is held in global memory blocks; the clipboard owns the blocks handed to it.
//
//   if (OpenClipboard(0)) {
//     EmptyClipboard();
//     SetClipboardData(CF_DIB, block);   // the clipboard now owns block
//     CloseClipboard();
//   }
//
// It is in-process: programs of this library share it within one process. A desktop host may
// bridge it to the system's clipboard with a TClipboardBridge (see below); without one nothing
// leaves the process.
#pragma once

#include <cstdint>
#include <vector>

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

// ---------------------------------------------------------------------------------------------
// The bridge to the system's clipboard

// One format's data as the bridge sees it: a copy of the block's bytes.
struct TClipboardItem {
  unsigned Format = 0;
  std::vector<uint8_t> Data;
};

// What a desktop host implements to join our clipboard to the system's. The clipboard calls it
// outside its own lock, on the thread that uses the clipboard.
//   - When the application changed the clipboard (EmptyClipboard or SetClipboardData) and closes
//     it, DataPublished gets every format now on it (none when it was only emptied); the bridge
//     offers them to other applications.
//   - When another application puts something on the system's clipboard, the host calls
//     ClipboardChangedElsewhere(): our blocks are dropped, and until the application publishes
//     again the clipboard answers from the bridge: AvailableFormats for the questions, and
//     FetchFormat once per format for GetClipboardData (the fetched block is kept like any other).
class TClipboardBridge {
 public:
  virtual ~TClipboardBridge() = default;
  virtual void DataPublished(const std::vector<TClipboardItem>& Items) = 0;
  // The formats the system's clipboard can give (CF_DIB for an image, CF_TEXT for text).
  virtual std::vector<unsigned> AvailableFormats() = 0;
  // The system clipboard's data in Format; false when it has none.
  virtual bool FetchFormat(unsigned Format, std::vector<uint8_t>& Data) = 0;
};

// Installs the bridge (nullptr removes it; the clipboard then holds only its own blocks again).
// The bridge is not owned and must stay alive until it is removed.
void SetClipboardBridge(TClipboardBridge* Bridge);
TClipboardBridge* GetClipboardBridge();
// Told by the host: the system's clipboard now holds another application's data. Does nothing
// without a bridge. While the clipboard is open the change waits for CloseClipboard, and is
// forgotten if the application changed the clipboard meanwhile (its data is newer).
void ClipboardChangedElsewhere();

}  // namespace corvex
