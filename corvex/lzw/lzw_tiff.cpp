// LZW as TIFF uses it (compression 5): codes of 9 to 12 bits packed most significant bit first,
// 256 clears the table, 257 ends the strip, and the code width grows one code earlier than in
// GIF (when the next free code reaches 511, 1023, 2047), because the decoder adds its entries one
// code behind the encoder.
//
// Early encoders wrote an older variant: codes packed least significant bit first, as in GIF,
// and the width growing when the next free code reaches 512, 1024, 2048. A strip of that kind
// starts with the clear code in that order (a zero byte, then a byte with its lowest bit set),
// which the usual order cannot start with; the decoder hook looks at those two bytes and
// decodes the strip with the matching variant.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/lzw/lzw.h"

namespace corvex {

namespace {

constexpr int kClear = 256;
constexpr int kEOI = 257;
constexpr int kFirst = 258;
constexpr int kMaxCodes = 4096;

// What the hook's state points at: the variant, then the decoder of that variant.
struct DecoderBase {
  bool old = false;
  std::vector<uint8_t> row;
};

// Old: the least-significant-bit-first variant with the late change of width.
template <bool Old>
struct Decoder : DecoderBase {
  const uint8_t* src = nullptr;
  int64_t len = 0;
  int64_t next = 0;  // next source byte
  uint64_t acc = 0;  // bits, left-aligned
  int bits = 0;
  int width = 9;
  int nextFree = kFirst;
  int prev = -1;     // previous code, -1 right after a clear
  bool ended = false;
  uint16_t prefix[kMaxCodes];
  uint8_t suffix[kMaxCodes];
  uint8_t first[kMaxCodes];
  uint16_t length[kMaxCodes];
  uint8_t pending[kMaxCodes];  // the part of a string that did not fit in the row
  int pendingPos = 0, pendingLen = 0;

  Decoder() {
    for (int i = 0; i < 256; ++i) {
      prefix[i] = 0;
      suffix[i] = first[i] = uint8_t(i);
      length[i] = 1;
    }
  }

  // The next code, or -1 when the data ends. The reading state is passed in locals of Fill,
  // which the compiler keeps in registers (stores into the row, a byte array, could otherwise
  // change any member as far as it knows, and members would be reloaded after each).
  static int Code(const uint8_t* src, int64_t len, int64_t& next, uint64_t& acc, int& bits, int width) {
    while (bits < width) {
      if (next >= len) return -1;
      if constexpr (Old) acc |= uint64_t(src[next++]) << bits;
      else acc |= uint64_t(src[next++]) << (56 - bits);
      bits += 8;
    }
    int c;
    if constexpr (Old) {
      c = int(acc & ((uint64_t(1) << width) - 1));
      acc >>= width;
    } else {
      c = int(acc >> (64 - width));
      acc <<= width;
    }
    bits -= width;
    return c;
  }

  // Writes the string of code c (length n) ending at out + n - 1.
  void Emit(int c, uint8_t* out, int n) {
    for (int i = n - 1; i > 0; --i) {
      out[i] = suffix[c];
      c = prefix[c];
    }
    out[0] = uint8_t(c);
  }

  // Fills the row; false when the data ends (or is invalid) first.
  bool Fill(int RowBytes) {
    uint8_t* out = row.data();
    int have = 0;
    if (pendingLen > pendingPos) {
      const int n = std::min(pendingLen - pendingPos, RowBytes);
      std::memcpy(out, pending + pendingPos, size_t(n));
      pendingPos += n;
      have = n;
    }
    if (have >= RowBytes) return true;
    if (ended) return false;
    const uint8_t* const s = src;
    const int64_t l = len;
    int64_t nx = next;
    uint64_t a = acc;
    int b = bits, w = width, nf = nextFree, pv = prev;
    bool ok = true;
    while (have < RowBytes) {
      const int c = Code(s, l, nx, a, b, w);
      if (c < 0 || c == kEOI) {
        ok = false;
        break;
      }
      if (c == kClear) {
        w = 9;
        nf = kFirst;
        pv = -1;
        continue;
      }
      if (pv < 0) {
        if (c > 255) {  // a first code after a clear must be a literal
          ok = false;
          break;
        }
        out[have++] = uint8_t(c);
        pv = c;
        continue;
      }
      if (c > nf || (c == nf && nf >= kMaxCodes)) {
        ok = false;
        break;
      }
      // The new entry: previous string + first byte of this one (of itself when c is new).
      const uint8_t f = c < nf ? first[c] : first[pv];
      if (nf < kMaxCodes) {
        prefix[nf] = uint16_t(pv);
        suffix[nf] = f;
        first[nf] = first[pv];
        length[nf] = uint16_t(length[pv] + 1);
        ++nf;
        if (nf + (Old ? 0 : 1) >= (1 << w) && w < 12) ++w;
      }
      const int n = length[c];
      if (have + n <= RowBytes) {
        Emit(c, out + have, n);
        have += n;
      } else {
        Emit(c, pending, n);
        const int take = RowBytes - have;
        std::memcpy(out + have, pending, size_t(take));
        have = RowBytes;
        pendingPos = take;
        pendingLen = n;
      }
      pv = c;
    }
    next = nx;
    acc = a;
    bits = b;
    width = w;
    nextFree = nf;
    prev = pv;
    if (!ok) ended = true;
    return ok;
  }
};

// Encoder: a hash table of (prefix code, byte) -> code, each slot one 32-bit word holding the
// 20-bit key and the 12-bit code (all ones when empty: no key reaches that value, because codes
// stop at 4093), so that the table stays within 32 KB.
constexpr int kHashBits = 13;
constexpr int kHashSize = 1 << kHashBits;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;

struct Encoder {
  uint32_t slots[kHashSize];
  int ent = -1;  // code of the string matched so far, -1 before the first byte
  int nextFree = kFirst;
  int width = 9;
  uint64_t acc = 0;
  int bits = 0;
  std::vector<uint8_t> out;
  size_t used = 0;

  Encoder() {
    ClearTable();
    out.resize(1 << 17);
    Put(kClear);
  }
  void ClearTable() {
    std::memset(slots, 0xFF, sizeof slots);
    nextFree = kFirst;
    width = 9;
  }
  void Put(int code) {
    acc = (acc << width) | uint64_t(code);
    bits += width;
    if (bits >= 32) {
      // At most 44 bits are pending: write whole bytes, 4 at a time.
      bits -= 32;
      const uint32_t v = uint32_t(acc >> bits);
      uint8_t* o = out.data() + used;
      o[0] = uint8_t(v >> 24);
      o[1] = uint8_t(v >> 16);
      o[2] = uint8_t(v >> 8);
      o[3] = uint8_t(v);
      used += 4;
    }
  }
  void Flush(TStream* Stream) {
    if (used > 0) Stream->WriteBuffer(out.data(), int64_t(used));
    used = 0;
  }
  // Codes a row; the output buffer has room for it (12 bits per byte at the most).
  void Add(const uint8_t* p, int n) {
    if (out.size() < used + size_t(n) * 2 + 64) out.resize(used + size_t(n) * 2 + 64);
    int e = ent;
    int i = 0;
    if (e < 0 && n > 0) e = p[i++];
    for (; i < n; ++i) {
      const uint32_t c = p[i];
      const uint32_t key = (uint32_t(e) << 8) | c;
      unsigned h = (key * 2654435761u) >> (32 - kHashBits);
      uint32_t slot;
      while ((slot = slots[h]) != kEmpty) {
        if ((slot >> 12) == key) break;
        h = (h + 1) & (kHashSize - 1);
      }
      if (slot != kEmpty) {
        e = int(slot & 0xFFF);
        continue;
      }
      Put(e);
      slots[h] = key << 12 | uint32_t(nextFree++);
      e = int(c);
      if (nextFree == kMaxCodes - 2) {
        Put(kClear);
        ClearTable();
      } else if (nextFree > (1 << width) - 1) {
        ++width;
      }
    }
    ent = e;
  }
  void Finish() {
    if (out.size() < used + 16) out.resize(used + 16);
    if (ent >= 0) {
      Put(ent);
      // The decoder adds one more entry for the code just written, which may widen the codes.
      if (nextFree + 1 >= (1 << width) && width < 12) ++width;
    }
    Put(kEOI);
    while (bits >= 8) {
      bits -= 8;
      out[used++] = uint8_t(acc >> bits);
    }
    if (bits > 0) {
      out[used++] = uint8_t(acc << (8 - bits));
      bits = 0;
    }
  }
};

}  // namespace

namespace {

template <bool Old>
DecoderBase* NewDecoder(const uint8_t* Source, int64_t SourceLength) {
  auto* d = new (std::nothrow) Decoder<Old>();
  if (d != nullptr) {
    d->old = Old;
    d->src = Source;
    d->len = SourceLength < 0 ? 0 : SourceLength;
  }
  return d;
}

// The hook's work once the first call has chosen the variant.
uint8_t* Decompress(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State, int Variant) {
  auto* d = static_cast<DecoderBase*>(State);
  if (Source == nullptr && RowBytes == 0) {
    if (d != nullptr && d->old) delete static_cast<Decoder<true>*>(d);
    else delete static_cast<Decoder<false>*>(d);
    State = nullptr;
    return nullptr;
  }
  if (RowBytes <= 0) return nullptr;
  if (d == nullptr) {
    if (Source == nullptr) return nullptr;
    const bool old = Variant > 0 || (Variant < 0 && SourceLength >= 2 && Source[0] == 0 && (Source[1] & 1) != 0);
    d = old ? NewDecoder<true>(Source, SourceLength) : NewDecoder<false>(Source, SourceLength);
    if (d == nullptr) return nullptr;
    State = d;
  }
  if (d->row.size() < size_t(RowBytes)) d->row.resize(size_t(RowBytes));
  const bool ok = d->old ? static_cast<Decoder<true>*>(d)->Fill(RowBytes) : static_cast<Decoder<false>*>(d)->Fill(RowBytes);
  return ok ? d->row.data() : nullptr;
}

}  // namespace

uint8_t* TIFFLZWDecompress(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State) {
  return Decompress(Source, SourceLength, RowBytes, State, -1);
}

uint8_t* TIFFLZWDecompressOld(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State) {
  return Decompress(Source, SourceLength, RowBytes, State, 1);
}

void TIFFLZWCompress(const uint8_t* Row, int RowBytes, TStream* Stream, void*& State) {
  auto* e = static_cast<Encoder*>(State);
  if (e == nullptr) {
    e = new Encoder();
    State = e;
  }
  if (Row == nullptr && RowBytes == 0) {
    e->Finish();
    try {
      e->Flush(Stream);
    } catch (...) {
      delete e;
      State = nullptr;
      throw;
    }
    delete e;
    State = nullptr;
    return;
  }
  if (Row != nullptr && RowBytes > 0) e->Add(Row, RowBytes);
  if (e->used >= (1 << 16)) e->Flush(Stream);
}

}  // namespace corvex
