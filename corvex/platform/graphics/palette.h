// Logical palettes: a list of colours named by a handle, as the views and the palette
// conversions hand them around. Handles are freed with DeletePalette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvex {

using HPALETTE = uintptr_t;  // 0 = no palette

struct TPaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// A new palette with a copy of Count entries; 0 when Count is not 1 .. 65535.
HPALETTE CreatePalette(uint16_t Version, const TPaletteEntry* Entries, int Count);
// Frees a palette; false for an unknown handle.
bool DeletePalette(HPALETTE Palette);
// The palette's version (0x300 for the usual logical palette), 0 for an unknown handle.
uint16_t GetPaletteVersion(HPALETTE Palette);
// A copy of the entries; empty for an unknown handle.
std::vector<TPaletteEntry> GetPaletteEntries(HPALETTE Palette);
// Number of palettes currently alive (for tests and leak checks).
size_t PaletteCount();

}  // namespace corvex
