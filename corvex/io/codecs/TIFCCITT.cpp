#include "corvex/io/codecs/TIFCCITT.h"

#include <algorithm>
#include <cstring>

#include "corvex/core/defs.h"

namespace corvex {

namespace {

// ---------------------------------------------------------------------------------------------
// Code tables of ITU-T T.4: terminating codes for runs 0-63, make-up codes for 64-1728 per
// colour, and the extended make-up codes 1792-2560 shared by both colours.

const char* const kWhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};
const char* const kWhiteMakeup[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};
const char* const kBlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};
const char* const kBlackMakeup[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};
const char* const kExtMakeup[13] = {"00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
                                    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
                                    "000000011101", "000000011110", "000000011111"};

struct Code {
  uint8_t len;
  uint32_t value;
};

constexpr Code Parse(const char* s) {
  Code c{0, 0};
  for (; *s; ++s) {
    c.value = (c.value << 1) | uint32_t(*s == '1');
    ++c.len;
  }
  return c;
}

// Decoding entries: what the next bits of the window mean for one colour.
enum : uint8_t { kInvalid = 0, kTerm, kMakeup, kNop };
struct Entry {
  uint16_t run;
  uint8_t len;
  uint8_t kind;
};

constexpr int kWhiteBits = 12;  // longest white code (EOL aside)
constexpr int kBlackBits = 13;  // longest black code

struct Tables {
  Code white[128];  // encoding: 0-63 terminating, 64-90 make-up, 91-103 extended make-up
  Code black[128];
  Entry whiteDec[1 << kWhiteBits];
  Entry blackDec[1 << kBlackBits];

  static void Add(Entry* t, int bits, Code c, uint16_t run, uint8_t kind) {
    const uint32_t first = c.value << (bits - c.len), last = (c.value + 1) << (bits - c.len);
    for (uint32_t i = first; i < last; ++i) t[i] = Entry{run, c.len, kind};
  }

  Tables() {
    std::memset(white, 0, sizeof white);
    std::memset(black, 0, sizeof black);
    std::memset(whiteDec, 0, sizeof whiteDec);
    std::memset(blackDec, 0, sizeof blackDec);
    for (int i = 0; i < 64; ++i) {
      white[i] = Parse(kWhiteTerm[i]);
      black[i] = Parse(kBlackTerm[i]);
    }
    for (int i = 0; i < 27; ++i) {
      white[64 + i] = Parse(kWhiteMakeup[i]);
      black[64 + i] = Parse(kBlackMakeup[i]);
    }
    for (int i = 0; i < 13; ++i) white[91 + i] = black[91 + i] = Parse(kExtMakeup[i]);
    for (int i = 0; i < 104; ++i) {
      const uint16_t run = uint16_t(i < 64 ? i : i < 91 ? (i - 63) * 64 : 1792 + (i - 91) * 64);
      const uint8_t kind = i < 64 ? kTerm : kMakeup;
      Add(whiteDec, kWhiteBits, white[i], run, kind);
      Add(blackDec, kBlackBits, black[i], run, kind);
    }
    // The codes of 9, 10 and 11 bits with value 1 place no pixels.
    for (uint8_t len = 9; len <= 11; ++len) {
      Add(whiteDec, kWhiteBits, Code{len, 1}, 0, kNop);
      Add(blackDec, kBlackBits, Code{len, 1}, 0, kNop);
    }
  }
};

const Tables& T() {
  static const Tables t;
  return t;
}

// ---------------------------------------------------------------------------------------------
// Bit reading over a bounded source. Bits past the data read as 0 and AtEnd() tells.

class BitReader {
 public:
  BitReader(const uint8_t* Src, int64_t Bytes, int FillOrder, int64_t StartBit)
      : src_(Src), bytes_(Src ? std::max<int64_t>(Bytes, 0) : 0), rev_(FillOrder == 2) {
    if (StartBit < 0) StartBit = 0;
    pos_ = StartBit;
    next_ = StartBit >> 3;
    Refill();
    const int skip = int(StartBit & 7);
    acc_ <<= skip;
    bits_ -= skip;
  }
  bool AtEnd() const { return pos_ >= bytes_ * 8; }
  int64_t Pos() const { return pos_; }
  // The next 32 bits, first bit in the most significant place.
  uint32_t Peek() {
    if (bits_ < 32) Refill();
    return uint32_t(acc_ >> 32);
  }
  void Skip(int n) {
    if (bits_ < n) Refill();
    acc_ <<= n;
    bits_ -= n;
    if (bits_ < 0) bits_ = 0;
    pos_ += n;
  }
  int GetBit() {
    const int b = int(Peek() >> 31);
    Skip(1);
    return b;
  }
  // Skips zero bits and the 1 that ends them (an EOL and its fill). False when the data ends first.
  bool SkipEOL() {
    for (;;) {
      if (AtEnd()) return false;
      const uint32_t w = Peek();
      if (w == 0) {
        Skip(32);
        continue;
      }
      Skip(__builtin_clz(w) + 1);
      return true;
    }
  }

 private:
  void Refill() {
    if (!rev_ && next_ + 8 <= bytes_) {
      // Eight bytes in one load: the whole bytes that fit are counted; the bits of the next byte
      // that also land in the accumulator are the stream's own, loaded again by the next refill.
      uint64_t w;
      std::memcpy(&w, src_ + next_, 8);
      w = __builtin_bswap64(w);
      acc_ |= w >> bits_;
      next_ += (63 - bits_) >> 3;
      bits_ |= 56;
      return;
    }
    while (bits_ <= 56 && next_ < bytes_) {
      uint8_t b = src_[next_++];
      if (rev_) b = kReverseBitsTable[b];
      acc_ |= uint64_t(b) << (56 - bits_);
      bits_ += 8;
    }
    if (next_ >= bytes_ && bits_ < 32) bits_ = 64;  // zeros beyond the data
  }
  const uint8_t* src_;
  int64_t bytes_;
  bool rev_;
  int64_t pos_ = 0;
  int64_t next_ = 0;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Rows as lists of changing elements: positions where the colour changes, the first from white
// to black, then alternating.

// Gathers painted spans into changes, so that the list stays strictly increasing whatever the
// data says.
struct RowBuilder {
  int32_t* ch;
  int n = 0;
  int pc = 0;  // colour of the pixels after the last change (0 white)
  void Paint(int s, int e, int colour) {
    if (e <= s) return;
    if (colour != pc) {
      ch[n++] = s;
      pc ^= 1;
    }
  }
};

inline int Clz8(unsigned b) { return __builtin_clz(b) - 24; }

// Changes of a bit row; Inv is 0 when 1 bits are black, 0xFF when 1 bits are white. Four
// sentinels at Width follow the changes.
int FindChanges(const uint8_t* Row, int Width, uint8_t Inv, int32_t* Out) {
  int n = 0, x = 0, colour = 0;
  const int nbytes = (Width + 7) >> 3;
  while (x < Width) {
    int i = x >> 3;
    const uint8_t same = colour ? 0xFF : 0x00;
    unsigned b = uint8_t((Row[i] ^ Inv ^ same) & (0xFF >> (x & 7)));
    while (b == 0) {
      if (++i >= nbytes) break;
      b = uint8_t(Row[i] ^ Inv ^ same);
    }
    if (b == 0) break;
    x = (i << 3) + Clz8(b);
    if (x >= Width) break;
    Out[n++] = x;
    colour ^= 1;
  }
  Out[n] = Out[n + 1] = Out[n + 2] = Out[n + 3] = Width;
  return n;
}

// Clears bits [s, e) of a row (pixels become black in the decoded convention).
void ClearBits(uint8_t* row, int s, int e) {
  if (e <= s) return;
  int i = s >> 3;
  const int j = (e - 1) >> 3;
  const uint8_t first = uint8_t(0xFF >> (s & 7));
  const uint8_t last = uint8_t(0xFF << (7 - ((e - 1) & 7)));
  if (i == j) {
    row[i] &= uint8_t(~(first & last));
    return;
  }
  row[i++] &= uint8_t(~first);
  if (j > i) std::memset(row + i, 0, size_t(j - i));
  row[j] &= uint8_t(~last);
}

// Writes a decoded row (1 = white) from its changes.
void ChangesToRow(const int32_t* ch, int n, int Width, uint8_t* Row) {
  std::memset(Row, 0xFF, size_t((Width + 7) >> 3));
  for (int i = 0; i < n; i += 2) {
    const int s = ch[i];
    const int e = i + 1 < n ? ch[i + 1] : Width;
    ClearBits(Row, s, std::min(e, Width));
  }
}

// Scratch lists of changes, reused from row to row.
int32_t* Scratch(int which, int Width) {
  thread_local std::vector<int32_t> lists[2];
  auto& v = lists[which];
  if (v.size() < size_t(Width) + 8) v.resize(size_t(Width) + 8);
  return v.data();
}

// Reads one run of a colour (make-up codes and the terminating code); -1 when no valid run
// follows (bad code, EOL or end of data).
int ReadRun(BitReader& br, int colour) {
  const Tables& t = T();
  int run = 0;
  for (;;) {
    if (br.AtEnd()) return -1;
    const uint32_t w = br.Peek();
    if ((w >> 21) == 0) return -1;  // EOL
    const Entry& e = colour ? t.blackDec[w >> (32 - kBlackBits)] : t.whiteDec[w >> (32 - kWhiteBits)];
    if (e.kind == kInvalid) return -1;
    br.Skip(e.len);
    if (e.kind == kNop) continue;
    run += e.run;
    if (run > (1 << 28)) run = 1 << 28;
    if (e.kind == kTerm) return run;
  }
}

// One 1-D row into rb; the bits of the reader move past it.
void Decode1D(BitReader& br, int Width, RowBuilder& rb) {
  const Tables& t = T();
  int a = 0, colour = 0;
  bool pending = false, started = false;
  while (a < Width || pending) {
    if (br.AtEnd()) break;
    const uint32_t w = br.Peek();
    if ((w >> 21) == 0) {  // EOL, possibly after fill zeros
      if (started) break;  // left for the next row
      if (!br.SkipEOL()) break;
      continue;
    }
    const Entry& e = colour ? t.blackDec[w >> (32 - kBlackBits)] : t.whiteDec[w >> (32 - kWhiteBits)];
    if (e.kind == kInvalid) {
      br.Skip(1);
      continue;
    }
    br.Skip(e.len);
    started = true;
    if (e.kind == kNop) continue;
    const int end = int(std::min<int64_t>(int64_t(a) + e.run, Width));
    rb.Paint(a, end, colour);
    a = end;
    if (e.kind == kTerm) {
      pending = false;
      colour ^= 1;
    } else {
      pending = true;
    }
  }
  rb.Paint(a, Width, colour);
}

// Mode codes of 2-D coding, looked up by the first 7 bits.
enum : uint8_t { mInvalid, mPass, mHoriz, mV, mSpecial };
struct ModeEntry {
  uint8_t mode;
  uint8_t len;
  int8_t offset;
};
struct ModeTable {
  ModeEntry e[128];
  ModeTable() {
    for (int i = 0; i < 128; ++i) {
      ModeEntry m{mSpecial, 0, 0};
      if (i & 0x40) m = {mV, 1, 0};
      else if ((i >> 4) == 3) m = {mV, 3, 1};
      else if ((i >> 4) == 2) m = {mV, 3, -1};
      else if ((i >> 4) == 1) m = {mHoriz, 3, 0};
      else if ((i >> 3) == 1) m = {mPass, 4, 0};
      else if ((i >> 1) == 3) m = {mV, 6, 2};
      else if ((i >> 1) == 2) m = {mV, 6, -2};
      else if (i == 3) m = {mV, 7, 3};
      else if (i == 2) m = {mV, 7, -3};
      e[i] = m;
    }
  }
};
const ModeTable& Modes() {
  static const ModeTable t;
  return t;
}

// One 2-D row against the reference changes (with sentinels) into rb.
void Decode2D(BitReader& br, int Width, const int32_t* ref, RowBuilder& rb) {
  const ModeTable& mt = Modes();
  // k: where the search for b1 starts, always of the parity of the colour of a0 (changes at even
  // places are to black). After each code the next b1 lies at most one change back, so the
  // search moves forward from there; the changes are strictly increasing.
  int a0 = -1, colour = 0, k = 0;
  while (a0 < Width) {
    if (br.AtEnd()) break;
    const uint32_t w = br.Peek();
    const ModeEntry& m = mt.e[w >> 25];
    const int start = a0 < 0 ? 0 : a0;
    if (m.mode == mSpecial) {
      if ((w >> 21) == 0) break;  // EOL inside the row: left for the next row
      if ((w >> 22) == 0x0F || (w >> 20) == 0x0F) {
        // Uncompressed mode: literal pixels until an exit code.
        br.Skip((w >> 22) == 0x0F ? 10 : 12);
        int a = start;
        for (;;) {
          if (br.AtEnd()) {
            a0 = a;
            break;
          }
          const uint32_t u = br.Peek();
          const int l = (u >> 21) == 0 ? 12 : __builtin_clz(u) + 1;
          if (l > 11) {  // not a valid literal: give up on the row
            a0 = Width;
            rb.Paint(a, Width, colour);
            return;
          }
          br.Skip(l);
          if (l <= 5) {
            rb.Paint(a, std::min(a + l - 1, Width), 0);
            rb.Paint(std::min(a + l - 1, Width), std::min(a + l, Width), 1);
            a = std::min(a + l, Width);
          } else if (l == 6) {
            rb.Paint(a, std::min(a + 5, Width), 0);
            a = std::min(a + 5, Width);
          } else {
            rb.Paint(a, std::min(a + l - 7, Width), 0);
            a = std::min(a + l - 7, Width);
            colour = br.GetBit();
            a0 = a;
            if ((k & 1) != colour) k = k > 0 ? k - 1 : k + 1;
            break;
          }
        }
        continue;
      }
      br.Skip(12);  // no mode code matches
      continue;
    }
    // b1: first change of the reference line after a0 to the colour opposite to a0's.
    while (ref[k] <= a0) k += 2;
    const int b1 = ref[k], b2 = ref[k + 1];
    br.Skip(m.len);
    if (m.mode == mPass) {
      rb.Paint(start, b2, colour);
      a0 = b2;
      k += 2;
    } else if (m.mode == mHoriz) {
      const int r1 = ReadRun(br, colour);
      const int r2 = r1 < 0 ? -1 : ReadRun(br, colour ^ 1);
      if (r2 < 0) break;
      const int a1 = int(std::min<int64_t>(int64_t(start) + r1, Width));
      const int a2 = int(std::min<int64_t>(int64_t(a1) + r2, Width));
      rb.Paint(start, a1, colour);
      rb.Paint(a1, a2, colour ^ 1);
      a0 = a2;
    } else {
      int a1 = b1 + m.offset;
      if (a1 < start) a1 = start;
      if (a1 > Width) a1 = Width;
      rb.Paint(start, a1, colour);
      a0 = a1;
      colour ^= 1;
      k = k > 0 ? k - 1 : k + 1;
    }
  }
  rb.Paint(a0 < 0 ? 0 : a0, Width, colour);
}

// ---------------------------------------------------------------------------------------------
// Bit writing, most significant bit first.

class BitWriter {
 public:
  BitWriter(std::vector<uint8_t>& Out, int PendingBits, uint8_t PendingByte) : out_(Out) {
    nbits_ = PendingBits & 7;
    acc_ = nbits_ ? uint64_t(PendingByte >> (8 - nbits_)) : 0;
  }
  void Put(uint32_t code, int len) {
    acc_ = (acc_ << len) | code;
    nbits_ += len;
    while (nbits_ >= 8) {
      nbits_ -= 8;
      out_.push_back(uint8_t(acc_ >> nbits_));
    }
  }
  void Put(const Code& c) { Put(c.value, c.len); }
  // Emits a run of one colour: make-up codes, then the terminating code.
  void Run(int run, const Code* table) {
    while (run >= 64) {
      const int r = std::min(run, 2560);
      const int m = r / 64;
      Put(table[m <= 27 ? 63 + m : 91 + (m - 28)]);
      run -= m * 64;
    }
    Put(table[run]);
  }
  void EOL() { Put(1, 12); }
  int PendingBits() const { return nbits_; }
  uint8_t PendingByte() const { return nbits_ ? uint8_t(acc_ << (8 - nbits_)) : 0; }
  // Pads the partial byte with zeros.
  void Pad() {
    if (nbits_) Put(0, 8 - nbits_);
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int nbits_ = 0;
};

void Encode1D(BitWriter& bw, const uint8_t* Row, int Width) {
  const Tables& t = T();
  int32_t* ch = Scratch(0, Width);
  const int n = FindChanges(Row, Width, 0, ch);
  int a = 0, colour = 0;
  for (int i = 0; i < n; ++i) {
    bw.Run(ch[i] - a, colour ? t.black : t.white);
    a = ch[i];
    colour ^= 1;
  }
  if (a < Width || n == 0) bw.Run(Width - a, colour ? t.black : t.white);
}

const Code kPass{4, 1}, kHoriz{3, 1};
const Code kVert[7] = {{7, 2}, {6, 2}, {3, 2}, {1, 1}, {3, 3}, {6, 3}, {7, 3}};  // a1 - b1 = -3 .. +3

// Codes Row against Ref (nullptr = all white), both 1 = black.
void Encode2D(BitWriter& bw, const uint8_t* Row, const uint8_t* Ref, int Width) {
  const Tables& t = T();
  int32_t* cur = Scratch(0, Width);
  int32_t* ref = Scratch(1, Width);
  FindChanges(Row, Width, 0, cur);
  if (Ref != nullptr) {
    FindChanges(Ref, Width, 0, ref);
  } else {
    ref[0] = ref[1] = ref[2] = ref[3] = Width;
  }
  int a0 = -1, colour = 0, ia = 0, kb = 0;
  while (a0 < Width) {
    while (cur[ia] <= a0) ++ia;
    const int a1 = cur[ia];
    int k = kb > 4 ? kb - 4 : 0;
    if ((k & 1) != colour) ++k;
    while (ref[k] <= a0) k += 2;
    kb = k;
    const int b1 = ref[k], b2 = ref[k + 1];
    if (b2 < a1) {
      bw.Put(kPass);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      bw.Put(kVert[a1 - b1 + 3]);
      a0 = a1;
      colour ^= 1;
    } else {
      const int a2 = cur[ia + 1];
      const int start = a0 < 0 ? 0 : a0;
      bw.Put(kHoriz);
      bw.Run(a1 - start, colour ? t.black : t.white);
      bw.Run(a2 - a1, colour ? t.white : t.black);
      a0 = a2;
    }
  }
}

void WriteOut(TStream* Stream, const std::vector<uint8_t>& Bytes) {
  if (!Bytes.empty()) Stream->WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
}

std::vector<uint8_t>& OutBuffer(int Width) {
  thread_local std::vector<uint8_t> buf;
  buf.clear();
  buf.reserve(size_t(Width) + 64);
  return buf;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder,
                             int64_t StartBit) {
  if (Width <= 0) return StartBit;
  BitReader br(Source, SourceBytes, FillOrder, StartBit);
  RowBuilder rb{Scratch(0, Width)};
  Decode1D(br, Width, rb);
  ChangesToRow(rb.ch, rb.n, Width, Row);
  return br.Pos();
}

int64_t CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder) {
  const int64_t bits = _CCITTHuffmanGetLine(Row, Source, SourceBytes, Width, FillOrder, 0);
  return (bits + 7) >> 3;
}

int64_t CCITT3_2D_GetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder,
                          int64_t StartBit, uint8_t* RefLine) {
  if (Width <= 0) return StartBit;
  // The changes of the row decoded last are kept with a copy of its bits: when the reference
  // row handed in is that row (the usual case, row after row), its changes need not be found
  // again from the bits.
  thread_local struct {
    std::vector<int32_t> changes, spare;
    std::vector<uint8_t> row;
    int width = -1;
  } last;
  const size_t bytes = size_t((Width + 7) >> 3);
  if (last.spare.size() < size_t(Width) + 8) last.spare.resize(size_t(Width) + 8);
  BitReader br(Source, SourceBytes, FillOrder, StartBit);
  RowBuilder rb{last.spare.data()};
  bool oneD = false;
  const uint32_t w = br.Peek();
  if (!br.AtEnd() && (w >> 21) == 0 && br.SkipEOL()) oneD = br.GetBit() == 1;
  if (oneD) {
    Decode1D(br, Width, rb);
  } else if (last.width == Width && std::memcmp(last.row.data(), RefLine, bytes) == 0) {
    Decode2D(br, Width, last.changes.data(), rb);
  } else {
    int32_t* ref = Scratch(1, Width);
    FindChanges(RefLine, Width, 0xFF, ref);
    Decode2D(br, Width, ref, rb);
  }
  ChangesToRow(rb.ch, rb.n, Width, Row);
  std::memcpy(RefLine, Row, bytes);
  // The builder's changes are strictly increasing and below Width, so they are exactly the ones
  // FindChanges would find in Row; with the four sentinels they serve as the next reference.
  for (int i = 0; i < 4; ++i) rb.ch[rb.n + i] = Width;
  std::swap(last.changes, last.spare);
  last.row.assign(Row, Row + bytes);
  last.width = Width;
  return br.Pos();
}

void _CCITTHuffmanPutLine(const uint8_t* Row, int Width, std::vector<uint8_t>& Buffer, int64_t& BitPos) {
  if (BitPos < 0) BitPos = 0;
  Buffer.resize(size_t((BitPos + 7) >> 3));
  const int pending = int(BitPos & 7);
  uint8_t last = 0;
  if (pending) {
    last = Buffer.back();
    Buffer.pop_back();
  }
  BitWriter bw(Buffer, pending, last);
  if (Width > 0) Encode1D(bw, Row, Width);
  BitPos = int64_t(Buffer.size()) * 8 + bw.PendingBits();
  if (bw.PendingBits()) Buffer.push_back(bw.PendingByte());
}

void CCITTHuffmanPutLine(const uint8_t* Row, int Width, TStream* Stream) {
  std::vector<uint8_t>& out = OutBuffer(Width);
  BitWriter bw(out, 0, 0);
  if (Width > 0) Encode1D(bw, Row, Width);
  bw.Pad();
  WriteOut(Stream, out);
}

void CCITTHuffmanPutLineG3(const uint8_t* Row, int Width, TStream* Stream, int& PendingBits, uint8_t& PendingByte) {
  std::vector<uint8_t>& out = OutBuffer(Width);
  BitWriter bw(out, PendingBits, PendingByte);
  if (Row == nullptr || Width <= 0) {
    bw.Pad();
  } else {
    bw.EOL();
    Encode1D(bw, Row, Width);
  }
  PendingBits = bw.PendingBits();
  PendingByte = bw.PendingByte();
  WriteOut(Stream, out);
}

void CCITTHuffmanPutLineG32D(const uint8_t* Row, int Width, TStream* Stream, std::vector<uint8_t>& RefLine,
                             int& PendingBits, uint8_t& PendingByte) {
  std::vector<uint8_t>& out = OutBuffer(Width);
  BitWriter bw(out, PendingBits, PendingByte);
  if (Row == nullptr || Width <= 0) {
    bw.EOL();
    bw.Pad();
    RefLine.clear();
  } else {
    const size_t bytes = size_t((Width + 7) >> 3);
    bw.EOL();
    if (RefLine.size() < bytes) {
      bw.Put(1, 1);
      Encode1D(bw, Row, Width);
    } else {
      bw.Put(0, 1);
      Encode2D(bw, Row, RefLine.data(), Width);
    }
    RefLine.assign(Row, Row + bytes);
  }
  PendingBits = bw.PendingBits();
  PendingByte = bw.PendingByte();
  WriteOut(Stream, out);
}

void CCITTHuffmanPutLineG4(const uint8_t* Row, int Width, TStream* Stream, std::vector<uint8_t>& RefLine,
                           int& PendingBits, uint8_t& PendingByte) {
  std::vector<uint8_t>& out = OutBuffer(Width);
  BitWriter bw(out, PendingBits, PendingByte);
  if (Row == nullptr || Width <= 0) {
    bw.EOL();
    bw.EOL();
    bw.Pad();
    RefLine.clear();
  } else {
    const size_t bytes = size_t((Width + 7) >> 3);
    Encode2D(bw, Row, RefLine.size() >= bytes ? RefLine.data() : nullptr, Width);
    RefLine.assign(Row, Row + bytes);
  }
  PendingBits = bw.PendingBits();
  PendingByte = bw.PendingByte();
  WriteOut(Stream, out);
}

}  // namespace corvex
