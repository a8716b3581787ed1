#include "corvex/platform/clipboard.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace corvex {

namespace {

struct Clipboard {
  std::mutex lock;
  bool open = false;
  HCLIPOWNER owner = 0;
  std::map<unsigned, HGLOBAL> data;
  TClipboardBridge* bridge = nullptr;
  bool foreign = false;         // the system's clipboard holds another application's data
  bool changed = false;         // the application changed the clipboard while it is open
  bool foreignPending = false;  // a change elsewhere arrived while the clipboard was open
};

Clipboard& Get() {
  static Clipboard* c = new Clipboard;  // never destroyed: used until the process ends
  return *c;
}

void FreeAll(Clipboard& c) {
  for (auto& [format, mem] : c.data) GlobalFree(mem);
  c.data.clear();
}

// Copies a block's bytes (empty for an unknown handle).
std::vector<uint8_t> BlockBytes(HGLOBAL Mem) {
  std::vector<uint8_t> bytes(GlobalSize(Mem));
  if (bytes.empty()) return bytes;
  if (const void* p = GlobalLock(Mem)) {
    std::memcpy(bytes.data(), p, bytes.size());
    GlobalUnlock(Mem);
  } else {
    bytes.clear();
  }
  return bytes;
}

HGLOBAL BlockOf(const std::vector<uint8_t>& Bytes) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, std::max<size_t>(Bytes.size(), 1));
  if (h == 0) return 0;
  if (void* p = GlobalLock(h)) {
    if (!Bytes.empty()) std::memcpy(p, Bytes.data(), Bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

}  // namespace

bool OpenClipboard(HCLIPOWNER Owner) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (c.open) return false;
  c.open = true;
  c.owner = Owner;
  c.changed = false;
  c.foreignPending = false;
  return true;
}

bool CloseClipboard() {
  Clipboard& c = Get();
  std::vector<TClipboardItem> items;
  TClipboardBridge* publishTo = nullptr;
  {
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.open) return false;
    c.open = false;
    c.owner = 0;
    if (c.changed && c.bridge != nullptr) {
      publishTo = c.bridge;
      for (const auto& [format, mem] : c.data) items.push_back({format, BlockBytes(mem)});
    } else if (c.foreignPending && c.bridge != nullptr) {
      FreeAll(c);
      c.foreign = true;
    }
    c.changed = false;
    c.foreignPending = false;
  }
  if (publishTo != nullptr) publishTo->DataPublished(items);
  return true;
}

bool EmptyClipboard() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open) return false;
  FreeAll(c);
  c.foreign = false;
  c.changed = true;
  return true;
}

HGLOBAL SetClipboardData(unsigned Format, HGLOBAL Mem) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open || Mem == 0) return 0;
  if (c.foreign) {
    // The application takes the clipboard over: what was fetched from elsewhere goes.
    FreeAll(c);
    c.foreign = false;
  }
  auto it = c.data.find(Format);
  if (it != c.data.end()) {
    if (it->second != Mem) GlobalFree(it->second);
    it->second = Mem;
  } else {
    c.data.emplace(Format, Mem);
  }
  c.changed = true;
  return Mem;
}

HGLOBAL GetClipboardData(unsigned Format) {
  Clipboard& c = Get();
  TClipboardBridge* bridge = nullptr;
  {
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.open) return 0;
    auto it = c.data.find(Format);
    if (it != c.data.end()) return it->second;
    if (!c.foreign || c.bridge == nullptr) return 0;
    bridge = c.bridge;
  }
  // Fetched outside the lock: the bridge may run the host's event handling, which may tell of
  // another change.
  std::vector<uint8_t> bytes;
  if (!bridge->FetchFormat(Format, bytes) || bytes.empty()) return 0;
  const HGLOBAL h = BlockOf(bytes);
  if (h == 0) return 0;
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open || !c.foreign || c.bridge != bridge || c.data.count(Format) != 0) {
    GlobalFree(h);
    auto it = c.data.find(Format);
    return it == c.data.end() || !c.open ? 0 : it->second;
  }
  c.data.emplace(Format, h);
  return h;
}

bool IsClipboardFormatAvailable(unsigned Format) {
  Clipboard& c = Get();
  TClipboardBridge* bridge = nullptr;
  {
    std::lock_guard<std::mutex> g(c.lock);
    if (c.data.count(Format) != 0) return true;
    if (!c.foreign || c.bridge == nullptr) return false;
    bridge = c.bridge;
  }
  const std::vector<unsigned> formats = bridge->AvailableFormats();
  return std::find(formats.begin(), formats.end(), Format) != formats.end();
}

int CountClipboardFormats() {
  Clipboard& c = Get();
  std::vector<unsigned> formats;
  TClipboardBridge* bridge = nullptr;
  {
    std::lock_guard<std::mutex> g(c.lock);
    for (const auto& [format, mem] : c.data) formats.push_back(format);
    if (!c.foreign || c.bridge == nullptr) return int(formats.size());
    bridge = c.bridge;
  }
  for (unsigned f : bridge->AvailableFormats())
    if (std::find(formats.begin(), formats.end(), f) == formats.end()) formats.push_back(f);
  return int(formats.size());
}

void SetClipboardBridge(TClipboardBridge* Bridge) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (c.bridge == Bridge) return;
  c.bridge = Bridge;
  if (c.foreign) {
    // Blocks fetched through the old bridge belong to data the application no longer sees.
    FreeAll(c);
    c.foreign = false;
  }
  c.foreignPending = false;
}

TClipboardBridge* GetClipboardBridge() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  return c.bridge;
}

void ClipboardChangedElsewhere() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (c.bridge == nullptr) return;
  if (c.open) {
    c.foreignPending = true;
    return;
  }
  FreeAll(c);
  c.foreign = true;
}

}  // namespace corvex
