#include "corvex/platform/clipboard.h"

#include <map>
#include <mutex>

namespace corvex {

namespace {

struct Clipboard {
  std::mutex lock;
  bool open = false;
  HCLIPOWNER owner = 0;
  std::map<unsigned, HGLOBAL> data;
};

Clipboard& Get() {
  static Clipboard* c = new Clipboard;  // never destroyed: used until the process ends
  return *c;
}

}  // namespace

bool OpenClipboard(HCLIPOWNER Owner) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (c.open) return false;
  c.open = true;
  c.owner = Owner;
  return true;
}

bool CloseClipboard() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open) return false;
  c.open = false;
  c.owner = 0;
  return true;
}

bool EmptyClipboard() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open) return false;
  for (auto& [format, mem] : c.data) GlobalFree(mem);
  c.data.clear();
  return true;
}

HGLOBAL SetClipboardData(unsigned Format, HGLOBAL Mem) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open || Mem == 0) return 0;
  auto it = c.data.find(Format);
  if (it != c.data.end()) {
    if (it->second != Mem) GlobalFree(it->second);
    it->second = Mem;
  } else {
    c.data.emplace(Format, Mem);
  }
  return Mem;
}

HGLOBAL GetClipboardData(unsigned Format) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.open) return 0;
  auto it = c.data.find(Format);
  return it == c.data.end() ? 0 : it->second;
}

bool IsClipboardFormatAvailable(unsigned Format) {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  return c.data.count(Format) != 0;
}

int CountClipboardFormats() {
  Clipboard& c = Get();
  std::lock_guard<std::mutex> g(c.lock);
  return int(c.data.size());
}

}  // namespace corvex
