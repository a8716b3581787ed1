// Bounded access to the header, directories and tag values of a TIFF in a stream.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "corvex/io/codecs/TIFFilt_pvt.h"

namespace corvex::tiff {

int TypeSize(int Type) {
  static const int sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return Type >= 1 && Type <= 13 ? sizes[Type] : 0;
}

File::File(TStream* Stream) : stream_(Stream) {
  base_ = Stream->GetPosition();
  size_ = std::max<int64_t>(Stream->GetSize() - base_, 0);
}

bool File::ReadAt(int64_t Offset, void* Buffer, int64_t Count) {
  if (Offset < 0 || Count < 0 || Offset > size_ || Count > size_ - Offset) return false;
  if (Count == 0) return true;
  stream_->Seek(base_ + Offset, soBeginning);
  return stream_->Read(Buffer, Count) == Count;
}

bool File::ReadHeader(uint32_t& FirstIFD) {
  uint8_t h[8];
  if (!ReadAt(0, h, 8)) return false;
  if (h[0] == 'I' && h[1] == 'I') big_ = false;
  else if (h[0] == 'M' && h[1] == 'M') big_ = true;
  else return false;
  if (U16(h + 2) != 42) return false;
  FirstIFD = U32(h + 4);
  return true;
}

bool File::ReadIFD(uint32_t Offset, std::vector<Entry>& Entries, uint32_t& Next) {
  Entries.clear();
  Next = 0;
  uint8_t c[2];
  if (Offset == 0 || !ReadAt(Offset, c, 2)) return false;
  const int n = U16(c);
  std::vector<uint8_t> buf(size_t(n) * 12 + 4);
  const int64_t avail = size_ - Offset - 2;
  const int64_t want = int64_t(n) * 12 + 4;
  // A directory cut short by the end of the data keeps the entries that are there.
  const int64_t got = std::min(avail, want);
  if (got < 0 || !ReadAt(int64_t(Offset) + 2, buf.data(), got)) return false;
  const int complete = int(std::min<int64_t>(n, got / 12));
  std::unordered_set<uint16_t> seen;
  for (int i = 0; i < complete; ++i) {
    const uint8_t* p = buf.data() + size_t(i) * 12;
    Entry e;
    e.tag = U16(p);
    e.type = U16(p + 2);
    e.count = U32(p + 4);
    std::memcpy(e.raw, p + 8, 4);
    if (!seen.insert(e.tag).second) continue;  // the first entry of a tag counts
    Entries.push_back(e);
  }
  if (got == want) Next = U32(buf.data() + size_t(n) * 12);
  return true;
}

std::vector<uint32_t> File::Chain(uint32_t FirstIFD, int MaxPages) {
  std::vector<uint32_t> out;
  std::unordered_set<uint32_t> seen;
  uint32_t off = FirstIFD;
  while (off != 0 && int(out.size()) < MaxPages && seen.insert(off).second) {
    uint8_t c[2];
    if (!ReadAt(off, c, 2)) break;
    out.push_back(off);
    const int64_t nextAt = int64_t(off) + 2 + int64_t(U16(c)) * 12;
    uint8_t nx[4];
    if (!ReadAt(nextAt, nx, 4)) break;
    off = U32(nx);
  }
  return out;
}

bool File::ValueBytes(const Entry& E, std::vector<uint8_t>& Out) {
  const int64_t n = E.Bytes();
  if (TypeSize(E.type) == 0) return false;
  if (n <= 4) {
    Out.assign(E.raw, E.raw + n);
    return true;
  }
  const uint32_t off = U32(E.raw);
  if (n > size_ || off > size_ - n) return false;
  Out.resize(size_t(n));
  return ReadAt(off, Out.data(), n);
}

bool File::UInts(const Entry& E, std::vector<uint32_t>& Out, uint32_t MaxCount) {
  Out.clear();
  const int sz = TypeSize(E.type);
  if (E.type != tByte && E.type != tShort && E.type != tLong && E.type != tSByte && E.type != tSShort &&
      E.type != tSLong && E.type != tIFD && E.type != tUndefined)
    return false;
  // Where the values are depends on the full count; only the first MaxCount are read.
  const uint32_t count = std::min(E.count, MaxCount);
  std::vector<uint8_t> bytes;
  if (E.Bytes() <= 4) {
    bytes.assign(E.raw, E.raw + int64_t(count) * sz);
  } else {
    const uint32_t off = U32(E.raw);
    if (off >= size_) return false;
    // An array that runs past the data keeps the values that are there.
    const int64_t have = std::min<int64_t>(count, (size_ - off) / sz);
    if (have <= 0) return false;
    bytes.resize(size_t(have) * size_t(sz));
    if (!ReadAt(off, bytes.data(), int64_t(bytes.size()))) return false;
  }
  struct { uint32_t count; } e{uint32_t(bytes.size() / size_t(sz))};
  Out.resize(e.count);
  for (uint32_t i = 0; i < e.count; ++i) {
    const uint8_t* p = bytes.data() + size_t(i) * size_t(sz);
    switch (E.type) {
      case tShort: Out[i] = U16(p); break;
      case tSShort: Out[i] = uint32_t(int32_t(int16_t(U16(p)))); break;
      case tLong: case tSLong: case tIFD: Out[i] = U32(p); break;
      case tSByte: Out[i] = uint32_t(int32_t(int8_t(p[0]))); break;
      default: Out[i] = p[0]; break;
    }
  }
  return true;
}

bool File::UInt(const Entry& E, uint32_t& Out) {
  std::vector<uint32_t> v;
  if (E.count == 0 || !UInts(E, v, 1) || v.empty()) return false;
  Out = v[0];
  return true;
}

bool File::Rational(const Entry& E, double& Out) {
  if (E.count == 0) return false;
  if (E.type == tRational || E.type == tSRational) {
    const uint32_t off = U32(E.raw);
    uint8_t b[8];
    if (!ReadAt(off, b, 8)) return false;
    double num, den;
    if (E.type == tRational) {
      num = U32(b);
      den = U32(b + 4);
    } else {
      num = int32_t(U32(b));
      den = int32_t(U32(b + 4));
    }
    if (den == 0) den = 1;
    Out = num / den;
    return true;
  }
  if (E.type == tFloat) {
    const uint32_t u = U32(E.raw);
    float f;
    std::memcpy(&f, &u, 4);
    Out = f;
    return true;
  }
  if (E.type == tDouble) {
    uint8_t b[8];
    if (!ReadAt(U32(E.raw), b, 8)) return false;
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u = big_ ? (u << 8 | b[i]) : (u | uint64_t(b[i]) << (8 * i));
    double d;
    std::memcpy(&d, &u, 8);
    Out = d;
    return true;
  }
  uint32_t v;
  if (!UInt(E, v)) return false;
  Out = v;
  return true;
}

std::string File::Text(const Entry& E) {
  if (E.type != tAscii && E.type != tByte && E.type != tUndefined) return {};
  if (E.count > (1u << 20)) return {};  // texts of a megabyte at most
  std::vector<uint8_t> bytes;
  if (!ValueBytes(E, bytes)) return {};
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return std::string(bytes.begin(), bytes.begin() + long(n));
}

const Entry* Find(const std::vector<Entry>& Entries, uint16_t Tag) {
  for (const Entry& e : Entries)
    if (e.tag == Tag) return &e;
  return nullptr;
}

}  // namespace corvex::tiff
