// Global memory blocks, the containers of packed device-independent bitmaps on the clipboard
// and between components. A block is named by a handle, locked to get its address and unlocked
// when done; the handle table is shared by all threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvex {

using HGLOBAL = uintptr_t;  // 0 = no block

constexpr unsigned GMEM_FIXED = 0x0000;
constexpr unsigned GMEM_MOVEABLE = 0x0002;
constexpr unsigned GMEM_ZEROINIT = 0x0040;
constexpr unsigned GMEM_SHARE = 0x2000;
constexpr unsigned GMEM_DDESHARE = GMEM_SHARE;
constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr unsigned GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// A new block of Bytes bytes (zero-filled with GMEM_ZEROINIT); 0 when memory is short.
HGLOBAL GlobalAlloc(unsigned Flags, size_t Bytes);
// Resizes a block that is not locked, keeping its contents (new bytes zero with GMEM_ZEROINIT);
// returns the handle, or 0 on failure (the block is then unchanged).
HGLOBAL GlobalReAlloc(HGLOBAL Mem, size_t Bytes, unsigned Flags);
// The block's address, counting one more lock; nullptr for an unknown handle.
void* GlobalLock(HGLOBAL Mem);
// Counts one lock less; returns true while the block stays locked.
bool GlobalUnlock(HGLOBAL Mem);
// The block's size in bytes; 0 for an unknown handle.
size_t GlobalSize(HGLOBAL Mem);
// Frees the block. Returns 0 on success and the handle itself when it is unknown.
HGLOBAL GlobalFree(HGLOBAL Mem);
// Number of blocks currently allocated (for tests and leak checks).
size_t GlobalBlockCount();

}  // namespace corvex
