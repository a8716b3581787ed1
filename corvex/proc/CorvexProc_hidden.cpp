// Data hidden in the least significant bits of a 24-bit image.
//
// Layout: an 8-byte header (4 zero bytes, then the payload length as a 32-bit little-endian
// integer) and the payload, each byte's bits from bit 0 to bit 7, one bit per carrier byte. The
// carrier bytes are, row by row from the top, the first 3 x width - 2 bytes of each row. A bit is
// written by moving the byte by one to the right parity: for 1 an even byte is incremented, for
// 0 an odd byte is incremented, except 255, which becomes 254.
#include <algorithm>
#include <climits>
#include <cstring>

#include "corvex/proc/CorvexProc.h"

namespace corvex {

namespace {

// Walks the carrier bytes of a 24-bit bitmap in order.
template <class B>
class Carrier {
 public:
  explicit Carrier(B* b) : b_(b), perRow_(3 * int64_t(b->GetWidth()) - 2) {}
  // Bits the image can carry.
  int64_t Capacity() const { return perRow_ > 0 ? perRow_ * b_->GetHeight() : 0; }
  // The address of carrier byte k (k < Capacity()).
  auto At(int64_t k) const { return b_->ScanLine(int(k / perRow_)) + k % perRow_; }

 private:
  B* b_;
  int64_t perRow_;
};

constexpr int kHeaderBytes = 8;

void PutByte(const Carrier<TBitmap>& c, int64_t& bit, uint8_t v) {
  for (int i = 0; i < 8; ++i, ++bit) {
    uint8_t* p = c.At(bit);
    if ((v >> i) & 1) {
      if ((*p & 1) == 0) ++*p;
    } else if (*p & 1) {
      *p = *p == 255 ? 254 : uint8_t(*p + 1);
    }
  }
}

uint8_t GetByte(const Carrier<const TBitmap>& c, int64_t& bit) {
  uint8_t v = 0;
  for (int i = 0; i < 8; ++i, ++bit) v |= uint8_t((*c.At(bit) & 1) << i);
  return v;
}

}  // namespace

int TCorvexProc::GetHiddenDataSpace() const {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return 0;
  // The bytes the carrier really holds (the last two bytes of every row are not used).
  const int64_t bytes = Carrier<const TBitmap>(Bitmap_).Capacity() / 8 - kHeaderBytes;
  return int(std::clamp<int64_t>(bytes, 0, INT_MAX));
}

int TCorvexProc::WriteHiddenData(const char* Data, int Size) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return 0;
  if (Data == nullptr || Size < 0) Size = 0;
  const Carrier<TBitmap> c(Bitmap_);
  if (c.Capacity() < 8 * kHeaderBytes) return 0;  // not even the header fits
  // The header records what is really stored, so that a reader never takes more.
  const int stored = int(std::min<int64_t>(Size, c.Capacity() / 8 - kHeaderBytes));
  if (AutoUndo_) SaveUndo();
  int64_t bit = 0;
  const uint8_t header[kHeaderBytes] = {0, 0, 0, 0, uint8_t(stored), uint8_t(stored >> 8), uint8_t(stored >> 16),
                                        uint8_t(uint32_t(stored) >> 24)};
  for (const uint8_t h : header) PutByte(c, bit, h);
  for (int i = 0; i < stored; ++i) PutByte(c, bit, uint8_t(Data[i]));
  Update();
  return stored;
}

int TCorvexProc::WriteHiddenText(const std::string& Text) {
  return WriteHiddenData(Text.data(), int(std::min<size_t>(Text.size(), INT_MAX)));
}

int TCorvexProc::ReadHiddenData(char* Data, int Size) const {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return 0;
  const Carrier<const TBitmap> c(Bitmap_);
  if (c.Capacity() < 8 * kHeaderBytes) return 0;
  int64_t bit = 0;
  uint8_t header[kHeaderBytes];
  for (uint8_t& h : header) h = GetByte(c, bit);
  const uint32_t length = uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 |
                          uint32_t(header[7]) << 24;
  // An image that carries no data: the zero bytes are missing or the length cannot fit.
  if (header[0] != 0 || header[1] != 0 || header[2] != 0 || header[3] != 0) return 0;
  if (int64_t(length) > c.Capacity() / 8 - kHeaderBytes) return 0;
  if (Data != nullptr && Size > 0) {
    const int n = int(std::min<int64_t>(Size, length));
    for (int i = 0; i < n; ++i) Data[i] = char(GetByte(c, bit));
  }
  return int(length);
}

std::string TCorvexProc::ReadHiddenText() const {
  const int n = ReadHiddenData(nullptr, 0);
  std::string s(size_t(std::max(n, 0)), '\0');
  if (n > 0) ReadHiddenData(s.data(), n);
  return s;
}

}  // namespace corvex
