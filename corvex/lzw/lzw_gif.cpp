// The GIF variant of LZW: variable-width codes of 3 to 12 bits packed least significant bit
// first, a clear code and an end code just above the literals, the code width growing when the
// next free code reaches the next power of two ("late change"), and the data cut into sub-blocks
// of at most 255 bytes ended by an empty one.
//
// The decoder is bounded on both sides: it reads only the sub-blocks present and writes only
// Height x Width indices. A bad code, a table that fills up without a clear (the deferred clear
// of some writers, which it follows: codes go on at 12 bits without new entries) or data that
// ends early never take it outside its buffers; pixels it could not decode are index 0.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "corvex/lzw/lzw.h"

namespace corvex {

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;  // 4096 codes

// The source row of each display row, in the order the rows are stored: every 8th row from 0,
// every 8th from 4, every 4th from 2, then every 2nd from 1.
std::vector<int> InterlacedRowOrder(int Height) {
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(Height));
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < Height; y += kStep[pass]) rows.push_back(y);
  return rows;
}

// Reads the data sub-blocks at the stream position up to and including the empty one (or to the
// end of the stream) and returns their bytes joined.
std::vector<uint8_t> ReadSubBlocks(TStream* Stream) {
  std::vector<uint8_t> data;
  uint8_t block[256];
  for (;;) {
    uint8_t n = 0;
    if (Stream->Read(&n, 1) != 1 || n == 0) break;
    const int64_t got = Stream->Read(block, n);
    if (got > 0) data.insert(data.end(), block, block + got);
    if (got < n) break;
  }
  return data;
}

// Decodes the code stream Data into Out (Total indices in stored order). Returns the number of
// indices decoded; the caller fills the rest.
int64_t DecodeCodes(const std::vector<uint8_t>& Data, int MinCodeSize, uint8_t* Out, int64_t Total) {
  // Each code's string is its prefix code followed by its last byte; Length and First make it
  // possible to write a string backwards straight into the output.
  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t first[kTableSize];
  uint16_t length[kTableSize];
  // Where each defined code's string already stands in the output: a code defined as the
  // previous string plus one byte is found where that previous string was written, so that its
  // string is copied from there instead of walked back through the table byte by byte.
  int64_t start[kTableSize];

  const int clear = 1 << MinCodeSize;
  const int eoi = clear + 1;
  for (int c = 0; c < clear; ++c) {
    prefix[c] = 0;
    suffix[c] = static_cast<uint8_t>(c);
    first[c] = static_cast<uint8_t>(c);
    length[c] = 1;
  }

  int width = 0, avail = 0, running = 0, old = -1;
  auto reset = [&] {
    width = MinCodeSize + 1;
    avail = clear + 2;    // next entry to define
    running = clear + 2;  // counts codes read since the clear; decides the code width
    old = -1;
  };
  reset();

  const uint8_t* in = Data.data();
  const size_t inLen = Data.size();
  size_t ip = 0;
  uint64_t acc = 0;
  int nbits = 0;
  int64_t pos = 0, oldPos = 0;

  while (pos < Total) {
    if (nbits < width) {
      // Refill: up to 7 bytes at once while they are there, else byte by byte.
      while (nbits <= 56 && ip < inLen) {
        acc |= static_cast<uint64_t>(in[ip++]) << nbits;
        nbits += 8;
      }
      if (nbits < width) break;  // the data ends inside a code
    }
    const int code = static_cast<int>(acc & ((1u << width) - 1));
    acc >>= width;
    nbits -= width;

    if (code == clear) {
      reset();
      continue;
    }
    if (code == eoi) break;

    if (old < 0) {
      // The first code after a clear (or at the start) must be a literal.
      if (code >= clear) break;
    } else if (code < avail) {
      if (avail < kTableSize) {
        prefix[avail] = static_cast<uint16_t>(old);
        suffix[avail] = first[code];
        first[avail] = first[old];
        length[avail] = static_cast<uint16_t>(length[old] + 1);
        start[avail] = oldPos;
        ++avail;
      }
    } else if (code == avail && avail < kTableSize) {
      // The string being defined by this very code: the previous string and its first byte.
      prefix[avail] = static_cast<uint16_t>(old);
      suffix[avail] = first[old];
      first[avail] = first[old];
      length[avail] = static_cast<uint16_t>(length[old] + 1);
      start[avail] = oldPos;
      ++avail;
    } else {
      break;  // a code not yet defined
    }

    const int len = length[code];
    int c = code;
    if (code < clear) {
      Out[pos] = static_cast<uint8_t>(code);
    } else if (pos + len <= Total) {
      // Copied from where the string stands. Only the code defined by this very code reaches
      // into its own output (by one byte): that copy goes byte by byte, front to back.
      const uint8_t* src = Out + start[code];
      uint8_t* dst = Out + pos;
      if (src + len > dst) {
        for (int k = 0; k < len; ++k) dst[k] = src[k];
      } else if (len <= 16 && pos + 16 <= Total) {
        uint8_t chunk[16];  // loaded whole before it is stored: the bytes past len are written over later
        std::memcpy(chunk, src, 16);
        std::memcpy(dst, chunk, 16);
      } else {
        std::memcpy(dst, src, size_t(len));
      }
    } else {
      // The last string, cut at the end of the image: walked back through the table.
      for (int k = len - 1; k >= 0; --k) {
        if (pos + k < Total) Out[pos + k] = suffix[c];
        c = prefix[c];
      }
    }
    oldPos = pos;
    pos += len;
    old = code;

    if (running <= kTableSize) ++running;
    if (running > (1 << width) && width < kMaxBits) ++width;
  }
  return std::min(pos, Total);
}

// Packs codes into bytes, least significant bit first, and the bytes into sub-blocks.
class CodeWriter {
 public:
  explicit CodeWriter(TStream* Stream) : Stream_(Stream) { Out_.reserve(kFlushAt + 512); }

  void Put(int Code, int Width) {
    acc_ |= static_cast<uint64_t>(Code) << nbits_;
    nbits_ += Width;
    while (nbits_ >= 8) {
      PutByte(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      nbits_ -= 8;
    }
  }

  // Writes the last bits, the last sub-block and the terminator.
  void Finish() {
    if (nbits_ > 0) PutByte(static_cast<uint8_t>(acc_));
    acc_ = 0;
    nbits_ = 0;
    if (blockLen_ > 0) EndBlock();
    Out_.push_back(0);
    Flush();
  }

 private:
  static constexpr size_t kFlushAt = 64 * 1024;

  void PutByte(uint8_t b) {
    block_[blockLen_++] = b;
    if (blockLen_ == 255) EndBlock();
  }
  void EndBlock() {
    Out_.push_back(static_cast<uint8_t>(blockLen_));
    Out_.insert(Out_.end(), block_, block_ + blockLen_);
    blockLen_ = 0;
    if (Out_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (!Out_.empty()) Stream_->WriteBuffer(Out_.data(), static_cast<int64_t>(Out_.size()));
    Out_.clear();
  }

  TStream* Stream_;
  std::vector<uint8_t> Out_;
  uint8_t block_[255];
  int blockLen_ = 0;
  uint64_t acc_ = 0;
  int nbits_ = 0;
};

// The string table of the encoder: (prefix code, next byte) -> code, an open-addressing hash
// whose slots carry a generation number, so that a clear costs nothing.
class EncoderTable {
 public:
  EncoderTable() : slots_(new uint32_t[kSlots]()) {}

  void Clear() {
    if (++gen_ == 4096) {
      std::memset(slots_.get(), 0, sizeof(uint32_t) * kSlots);
      gen_ = 1;
    }
  }
  // Finds the key's code (or -1) and leaves the slot where it belongs in Slot.
  int Find(uint32_t Key, uint32_t& Slot) const {
    uint32_t h = (Key * 0x9E3779B1u) >> (32 - kSlotBits);
    const uint32_t tag = gen_ << 20 | Key;
    for (;;) {
      const uint32_t s = slots_[h];
      if (s >> 20 != gen_) break;
      if (s == tag) return codes_[h];
      h = (h + 1) & (kSlots - 1);
    }
    Slot = h;
    return -1;
  }
  void Add(uint32_t Slot, uint32_t Key, int Code) {
    slots_[Slot] = gen_ << 20 | Key;
    codes_[Slot] = static_cast<uint16_t>(Code);
  }

 private:
  static constexpr int kSlotBits = 13;  // 8192 slots for at most 4096 entries
  static constexpr uint32_t kSlots = 1u << kSlotBits;
  std::unique_ptr<uint32_t[]> slots_;  // generation << 20 | prefix << 8 | byte
  uint16_t codes_[kSlots];
  uint32_t gen_ = 1;
};

}  // namespace

int GIFLZWDecompress(TStream* Stream, int Height, int Width, uint8_t* Buffer, bool Interlaced) {
  if (Stream == nullptr) return 0;
  const int64_t total = (Height > 0 && Width > 0 && Buffer != nullptr) ? int64_t(Height) * Width : 0;

  const int64_t start = Stream->GetPosition();
  uint8_t minCodeSize = 0;
  if (Stream->Read(&minCodeSize, 1) != 1) return 0;
  // 1 to 11 leave room for the clear and end codes below 4096; anything else is not LZW data
  // at all, and the stream is left where it was so that the caller sees the failure.
  if (minCodeSize < 1 || minCodeSize > 11) {
    Stream->SetPosition(start);
    if (total > 0) std::memset(Buffer, 0, static_cast<size_t>(total));
    return 0;
  }
  const std::vector<uint8_t> data = ReadSubBlocks(Stream);
  if (total == 0) return 1;

  // Decodes into Out and clears what the data did not reach.
  auto decode = [&](uint8_t* Out) {
    const int64_t done = DecodeCodes(data, minCodeSize, Out, total);
    std::memset(Out + done, 0, static_cast<size_t>(total - done));
  };
  if (!Interlaced || Height < 2) {
    decode(Buffer);
    return 1;
  }
  std::unique_ptr<uint8_t[]> stored(new uint8_t[static_cast<size_t>(total)]);
  decode(stored.get());
  const std::vector<int> order = InterlacedRowOrder(Height);
  for (int k = 0; k < Height; ++k)
    std::memcpy(Buffer + int64_t(order[k]) * Width, stored.get() + int64_t(k) * Width, static_cast<size_t>(Width));
  return 1;
}

int GIFLZWCompress(TStream* Stream, int Height, int Width, int BitsPerPixel, const uint8_t* Buffer,
                   bool Interlaced) {
  if (Stream == nullptr) return 0;
  const int bits = std::clamp(BitsPerPixel, 1, 8);
  const int minCodeSize = std::max(2, bits);
  const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1);
  const int clear = 1 << minCodeSize;
  const int eoi = clear + 1;
  const uint8_t sizeByte = static_cast<uint8_t>(minCodeSize);
  Stream->WriteBuffer(&sizeByte, 1);

  CodeWriter out(Stream);
  int width = minCodeSize + 1;
  out.Put(clear, width);
  if (Height <= 0 || Width <= 0 || Buffer == nullptr) {
    out.Put(eoi, width);
    out.Finish();
    return 1;
  }

  std::vector<int> order;
  if (Interlaced) order = InterlacedRowOrder(Height);

  EncoderTable table;
  int next = clear + 2;
  int cur = -1;
  for (int k = 0; k < Height; ++k) {
    const int y = Interlaced ? order[static_cast<size_t>(k)] : k;
    const uint8_t* row = Buffer + int64_t(y) * Width;
    int x = 0;
    if (cur < 0) {
      cur = row[0] & mask;
      x = 1;
    }
    for (; x < Width; ++x) {
      const uint32_t c = row[x] & mask;
      const uint32_t key = static_cast<uint32_t>(cur) << 8 | c;
      uint32_t slot = 0;
      const int found = table.Find(key, slot);
      if (found >= 0) {
        cur = found;
        continue;
      }
      out.Put(cur, width);
      table.Add(slot, key, next);
      ++next;
      if (next > (1 << width) && width < kMaxBits) ++width;
      if (next == kTableSize) {
        // Table full: start again with a clear, at the width the reader now expects.
        out.Put(clear, width);
        table.Clear();
        next = clear + 2;
        width = minCodeSize + 1;
      }
      cur = static_cast<int>(c);
    }
  }
  out.Put(cur, width);
  // The reader defines one more entry on reading this last code and may widen before the end
  // code; follow it.
  if (next < kTableSize) {
    ++next;
    if (next > (1 << width) && width < kMaxBits) ++width;
  }
  out.Put(eoi, width);
  out.Finish();
  return 1;
}

}  // namespace corvex
