#include "corvex/platform/globalmem.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace corvex {

namespace {

struct Block {
  void* data = nullptr;
  size_t size = 0;
  int locks = 0;
};

struct Table {
  std::mutex lock;
  std::unordered_map<HGLOBAL, Block> blocks;
  HGLOBAL next = 0x1000;
};

Table& GetTable() {
  static Table* t = new Table;  // never destroyed: blocks may be freed during static teardown
  return *t;
}

}  // namespace

HGLOBAL GlobalAlloc(unsigned Flags, size_t Bytes) {
  void* data = (Flags & GMEM_ZEROINIT) ? std::calloc(Bytes ? Bytes : 1, 1) : std::malloc(Bytes ? Bytes : 1);
  if (data == nullptr) return 0;
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  HGLOBAL h = t.next;
  t.next += 4;
  t.blocks.emplace(h, Block{data, Bytes, 0});
  return h;
}

HGLOBAL GlobalReAlloc(HGLOBAL Mem, size_t Bytes, unsigned Flags) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.blocks.find(Mem);
  if (it == t.blocks.end() || it->second.locks > 0) return 0;
  void* data = std::realloc(it->second.data, Bytes ? Bytes : 1);
  if (data == nullptr) return 0;
  if ((Flags & GMEM_ZEROINIT) && Bytes > it->second.size)
    std::memset(static_cast<char*>(data) + it->second.size, 0, Bytes - it->second.size);
  it->second.data = data;
  it->second.size = Bytes;
  return Mem;
}

void* GlobalLock(HGLOBAL Mem) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.blocks.find(Mem);
  if (it == t.blocks.end()) return nullptr;
  ++it->second.locks;
  return it->second.data;
}

bool GlobalUnlock(HGLOBAL Mem) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.blocks.find(Mem);
  if (it == t.blocks.end()) return false;
  if (it->second.locks > 0) --it->second.locks;
  return it->second.locks > 0;
}

size_t GlobalSize(HGLOBAL Mem) {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.blocks.find(Mem);
  return it == t.blocks.end() ? 0 : it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  void* data = nullptr;
  {
    Table& t = GetTable();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.blocks.find(Mem);
    if (it == t.blocks.end()) return Mem;
    data = it->second.data;
    t.blocks.erase(it);
  }
  std::free(data);
  return 0;
}

size_t GlobalBlockCount() {
  Table& t = GetTable();
  std::lock_guard<std::mutex> g(t.lock);
  return t.blocks.size();
}

}  // namespace corvex
