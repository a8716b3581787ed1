#include "corvex/platform/graphics/palette.h"

#include <mutex>
#include <unordered_map>

namespace corvex {

namespace {

struct Palette {
  uint16_t version = 0;
  std::vector<TPaletteEntry> entries;
};

struct Table {
  std::mutex lock;
  std::unordered_map<HPALETTE, Palette> palettes;
  HPALETTE next = 0x10000;
};

Table& GetTable() {
  static Table* t = new Table;  // never destroyed: handles may be freed during static teardown
  return *t;
}

}  // namespace

HPALETTE CreatePalette(uint16_t Version, const TPaletteEntry* Entries, int Count) {
  if (Entries == nullptr || Count < 1 || Count > 65535) return 0;
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  const HPALETTE h = t.next;
  t.next += 4;
  t.palettes.emplace(h, Palette{Version, std::vector<TPaletteEntry>(Entries, Entries + Count)});
  return h;
}

bool DeletePalette(HPALETTE Palette) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.palettes.erase(Palette) > 0;
}

uint16_t GetPaletteVersion(HPALETTE Palette) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.palettes.find(Palette);
  return it == t.palettes.end() ? 0 : it->second.version;
}

std::vector<TPaletteEntry> GetPaletteEntries(HPALETTE Palette) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.palettes.find(Palette);
  return it == t.palettes.end() ? std::vector<TPaletteEntry>() : it->second.entries;
}

size_t PaletteCount() {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.palettes.size();
}

}  // namespace corvex
