// Bounded access to the header, directories and tag values of a TIFF in a stream.
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "corvex/io/codecs/TIFFilt_pvt.h"

namespace corvex::tiff {

int TypeSize(int Type) {
  static const int sizes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return Type >= 1 && Type <= 18 ? sizes[Type] : 0;
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

bool File::ReadHeader(uint64_t& FirstIFD) {
  uint8_t h[16];
  if (!ReadAt(0, h, 8)) return false;
  if (h[0] == 'I' && h[1] == 'I') big_ = false;
  else if (h[0] == 'M' && h[1] == 'M') big_ = true;
  else return false;
  const int version = U16(h + 2);
  if (version == 42) {
    bigTiff_ = false;
    FirstIFD = U32(h + 4);
    return true;
  }
  // BigTIFF: the size of an offset (8) and a reserved zero, then the 8-byte first offset.
  if (version != 43 || U16(h + 4) != 8 || U16(h + 6) != 0 || !ReadAt(8, h + 8, 8)) return false;
  bigTiff_ = true;
  FirstIFD = U64(h + 8);
  return true;
}

bool File::EntryCount(uint64_t At, uint64_t& Count) {
  uint8_t c[8];
  if (At == 0 || At > uint64_t(size_) || !ReadAt(int64_t(At), c, CountBytes())) return false;
  Count = bigTiff_ ? U64(c) : U16(c);
  return true;
}

int64_t File::LinkAt(uint64_t At) {
  uint64_t n = 0;
  if (!EntryCount(At, n) || n > uint64_t(size_)) return -1;
  const int64_t at = int64_t(At) + CountBytes() + int64_t(n) * EntryBytes();
  return at + FieldBytes() <= size_ ? at : -1;
}

bool File::ReadIFD(uint64_t At, std::vector<Entry>& Entries, uint64_t& Next) {
  Entries.clear();
  Next = 0;
  uint64_t n = 0;
  if (!EntryCount(At, n)) return false;
  const int eb = EntryBytes(), fb = FieldBytes();
  const int64_t start = int64_t(At) + CountBytes();
  const int64_t avail = std::max<int64_t>(size_ - start, 0);
  // A directory cut short by the end of the data keeps the entries that are there (no more
  // than the data can hold, whatever the count claims).
  const int64_t want = n > uint64_t(size_) ? INT64_MAX : int64_t(n) * eb + fb;
  const int64_t got = std::min(avail, want);
  std::vector<uint8_t> buf(static_cast<size_t>(got));
  if (!ReadAt(start, buf.data(), got)) return false;
  const int64_t complete = std::min<int64_t>(int64_t(std::min<uint64_t>(n, uint64_t(INT64_MAX))), got / eb);
  std::unordered_set<uint16_t> seen;
  for (int64_t i = 0; i < complete; ++i) {
    const uint8_t* p = buf.data() + size_t(i) * size_t(eb);
    Entry e;
    e.tag = U16(p);
    e.type = U16(p + 2);
    e.count = bigTiff_ ? U64(p + 4) : U32(p + 4);
    std::memcpy(e.raw, p + (bigTiff_ ? 12 : 8), size_t(fb));
    if (!seen.insert(e.tag).second) continue;  // the first entry of a tag counts
    Entries.push_back(e);
  }
  if (got == want) Next = Offset(buf.data() + size_t(n) * size_t(eb));
  return true;
}

std::vector<uint64_t> File::Chain(uint64_t FirstIFD, int MaxPages) {
  std::vector<uint64_t> out;
  std::unordered_set<uint64_t> seen;
  uint64_t off = FirstIFD;
  while (off != 0 && int(out.size()) < MaxPages && seen.insert(off).second) {
    uint64_t n = 0;
    if (!EntryCount(off, n)) break;
    out.push_back(off);
    const int64_t nextAt = LinkAt(off);
    uint8_t nx[8];
    if (nextAt < 0 || !ReadAt(nextAt, nx, FieldBytes())) break;
    off = Offset(nx);
  }
  return out;
}

bool File::ValueBytes(const Entry& E, std::vector<uint8_t>& Out) {
  const int64_t n = E.Bytes();
  if (TypeSize(E.type) == 0) return false;
  if (n <= FieldBytes()) {
    Out.assign(E.raw, E.raw + n);
    return true;
  }
  const uint64_t off = Offset(E.raw);
  if (n > size_ || off > uint64_t(size_ - n)) return false;
  Out.resize(size_t(n));
  return ReadAt(int64_t(off), Out.data(), n);
}

namespace {

template <class T>
bool ReadUInts(File& f, const Entry& E, std::vector<T>& Out, uint32_t MaxCount) {
  Out.clear();
  const int sz = TypeSize(E.type);
  switch (E.type) {
    case tByte: case tShort: case tLong: case tSByte: case tSShort: case tSLong: case tIFD: case tUndefined:
    case tLong8: case tSLong8: case tIFD8: break;
    default: return false;
  }
  // Where the values are depends on the full count; only the first MaxCount are read.
  const uint64_t count = std::min<uint64_t>(E.count, MaxCount);
  std::vector<uint8_t> bytes;
  if (f.Inline(E)) {
    bytes.assign(E.raw, E.raw + int64_t(count) * sz);
  } else {
    const uint64_t off = f.Offset(E.raw);
    if (off >= uint64_t(f.Size())) return false;
    // An array that runs past the data keeps the values that are there.
    const int64_t have = std::min<int64_t>(int64_t(count), (f.Size() - int64_t(off)) / sz);
    if (have <= 0) return false;
    bytes.resize(size_t(have) * size_t(sz));
    if (!f.ReadAt(int64_t(off), bytes.data(), int64_t(bytes.size()))) return false;
  }
  const size_t n = bytes.size() / size_t(sz);
  Out.resize(n);
  constexpr uint64_t kMax = std::numeric_limits<T>::max();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = bytes.data() + i * size_t(sz);
    uint64_t v;
    switch (E.type) {
      case tShort: v = f.U16(p); break;
      case tSShort: v = uint32_t(int32_t(int16_t(f.U16(p)))); break;
      case tLong: case tSLong: case tIFD: v = f.U32(p); break;
      case tLong8: case tSLong8: case tIFD8: v = f.U64(p); break;
      case tSByte: v = uint32_t(int32_t(int8_t(p[0]))); break;
      default: v = p[0]; break;
    }
    Out[i] = T(std::min(v, kMax));
  }
  return true;
}

}  // namespace

bool File::UInts(const Entry& E, std::vector<uint32_t>& Out, uint32_t MaxCount) {
  return ReadUInts(*this, E, Out, MaxCount);
}

bool File::UInts(const Entry& E, std::vector<uint64_t>& Out, uint32_t MaxCount) {
  return ReadUInts(*this, E, Out, MaxCount);
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
    uint8_t b[8];
    // In BigTIFF a single rational sits in the value field.
    if (bigTiff_) std::memcpy(b, E.raw, 8);
    else if (!ReadAt(U32(E.raw), b, 8)) return false;
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
    if (bigTiff_) std::memcpy(b, E.raw, 8);
    else if (!ReadAt(U32(E.raw), b, 8)) return false;
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
