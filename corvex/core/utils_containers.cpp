// Lists, the byte buffer, the integer hash set, the null stream and the stream helpers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "corvex/core/utils.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// TCXList

TCXList::TCXList(int ItemSize) : ItemSize_(std::max(ItemSize, 1)) {}

void TCXList::ResetItems(int ItemSize) {
  std::vector<uint8_t>().swap(Data_);
  Count_ = 0;
  ItemSize_ = std::max(ItemSize, 1);
  Changed = {};
}

void TCXList::SetCount(int N) {
  N = std::max(N, 0);
  Data_.resize(size_t(N) * size_t(ItemSize_));
  Data_.shrink_to_fit();
  Count_ = N;
  Changed.Include(cxlItems);
}

int TCXList::AddItem(const void* Item) {
  InsertItem(Count_, Item);
  return Count_ - 1;
}

void TCXList::InsertItem(int Index, const void* Item) {
  if (Index < 0) Index = 0;
  if (Index > Count_) Index = Count_;
  const size_t sz = size_t(ItemSize_);
  const auto* p = static_cast<const uint8_t*>(Item);
  // Copy first: Item may point into this list.
  std::vector<uint8_t> copy(p, p + sz);
  Data_.insert(Data_.begin() + ptrdiff_t(size_t(Index) * sz), copy.begin(), copy.end());
  ++Count_;
  Changed.Include(cxlItems);
}

void TCXList::Delete(int Index) {
  if (Index < 0 || Index >= Count_) return;
  const size_t sz = size_t(ItemSize_);
  auto at = Data_.begin() + ptrdiff_t(size_t(Index) * sz);
  Data_.erase(at, at + ptrdiff_t(sz));
  --Count_;
  Changed.Include(cxlItems);
}

void TCXList::Clear() { ResetItems(ItemSize_); }

void TCXList::Assign(const TCXList* Source) {
  if (Source == nullptr || Source == this) return;
  Data_ = Source->Data_;
  Count_ = Source->Count_;
  ItemSize_ = Source->ItemSize_;
  Changed = Source->Changed;
}

int TCXList::IndexOfItem(const void* Item) const {
  const size_t sz = size_t(ItemSize_);
  for (int i = 0; i < Count_; ++i)
    if (std::memcmp(Data_.data() + size_t(i) * sz, Item, sz) == 0) return i;
  return -1;
}

void* TCXList::BaseGetItem(int Index) {
  if (Index < 0 || Index >= Count_) return nullptr;
  return Data_.data() + size_t(Index) * size_t(ItemSize_);
}

const void* TCXList::BaseGetItem(int Index) const { return const_cast<TCXList*>(this)->BaseGetItem(Index); }

void TCXList::BaseSetItem(int Index, const void* Item) {
  if (Index < 0 || Index >= Count_) return;
  std::memmove(Data_.data() + size_t(Index) * size_t(ItemSize_), Item, size_t(ItemSize_));
  Changed.Include(cxlItems);
}

void TCXIntegerList::Clear() {
  ResetItems(4);
  RangeMin_ = RangeMax_ = RangeStep_ = CurrentValue_ = 0;
}

void TCXIntegerList::Assign(const TCXList* Source) {
  TCXList::Assign(Source);
  if (const auto* s = dynamic_cast<const TCXIntegerList*>(Source); s != nullptr && s != this) {
    RangeMin_ = s->RangeMin_;
    RangeMax_ = s->RangeMax_;
    RangeStep_ = s->RangeStep_;
    CurrentValue_ = s->CurrentValue_;
  }
}

int32_t TCXIntegerList::GetItem(int Index) const {
  int32_t v = 0;
  if (const void* p = BaseGetItem(Index)) std::memcpy(&v, p, sizeof v);
  return v;
}

void TCXDoubleList::Clear() {
  ResetItems(8);
  RangeMin_ = RangeMax_ = RangeStep_ = CurrentValue_ = 0;
}

void TCXDoubleList::Assign(const TCXList* Source) {
  TCXList::Assign(Source);
  if (const auto* s = dynamic_cast<const TCXDoubleList*>(Source); s != nullptr && s != this) {
    RangeMin_ = s->RangeMin_;
    RangeMax_ = s->RangeMax_;
    RangeStep_ = s->RangeStep_;
    CurrentValue_ = s->CurrentValue_;
  }
}

double TCXDoubleList::GetItem(int Index) const {
  double v = 0;
  if (const void* p = BaseGetItem(Index)) std::memcpy(&v, p, sizeof v);
  return v;
}

void TCXRecordList::Clear() { ResetItems(RecordSize_); }

// ---------------------------------------------------------------------------------------------
// TCXByteArray

void TCXByteArray::Reallocate(int Capacity) {
  std::vector<uint8_t> block(static_cast<size_t>(Capacity));
  std::memcpy(block.data(), Data_.data(), std::min(size_t(Size_), block.size()));
  Data_.swap(block);
}

void TCXByteArray::SetSize(int N) {
  N = std::max(N, 0);
  const int cap = GetCapacity();
  // Shrinking gives memory back only when well below the block (two growth blocks of slack),
  // so that a buffer that shrinks a little and grows again keeps its block.
  if (N > cap || N < cap - 2 * kBlock) Reallocate(N + kBlock);
  Size_ = N;
}

void TCXByteArray::AddByte(uint8_t B) {
  SetSize(Size_ + 1);
  Data_[size_t(Size_ - 1)] = B;
}

int TCXByteArray::AppendFromStream(TStream* Stream, int N) {
  if (Stream == nullptr || N <= 0) return 0;
  const int old = Size_;
  SetSize(old + N);
  const int got = static_cast<int>(Stream->Read(Data_.data() + old, N));
  SetSize(old + std::max(got, 0));
  return std::max(got, 0);
}

void TCXByteArray::Clear() {
  std::vector<uint8_t>(kBlock).swap(Data_);
  Size_ = 0;
}

// ---------------------------------------------------------------------------------------------
// THash1

THash1::THash1(int Bits) {
  Bits = std::clamp(Bits, 0, 26);
  const size_t n = size_t{1} << Bits;
  Mask_ = static_cast<uint32_t>(n - 1);
  State_.assign(n, kEmpty);
  Inline_.assign(n, 0);
}

bool THash1::Insert(uint32_t Key) {
  const uint32_t h = HashFunc(Key);
  switch (State_[h]) {
    case kEmpty:
      State_[h] = kInline;
      Inline_[h] = Key;
      break;
    case kInline: {
      if (Inline_[h] == Key) return false;
      const uint32_t first = Inline_[h];
      Chains_.push_back(first < Key ? std::vector<uint32_t>{first, Key} : std::vector<uint32_t>{Key, first});
      State_[h] = kChain;
      Inline_[h] = static_cast<uint32_t>(Chains_.size() - 1);  // now the chain's index
      break;
    }
    default: {
      std::vector<uint32_t>& chain = Chains_[Inline_[h]];
      auto it = std::lower_bound(chain.begin(), chain.end(), Key);
      if (it != chain.end() && *it == Key) return false;
      chain.insert(it, Key);
      break;
    }
  }
  ++Count_;
  return true;
}

bool THash1::KeyPresent(uint32_t Key) const {
  const uint32_t h = HashFunc(Key);
  switch (State_[h]) {
    case kEmpty: return false;
    case kInline: return Inline_[h] == Key;
    default: {
      const std::vector<uint32_t>& chain = Chains_[Inline_[h]];
      return std::binary_search(chain.begin(), chain.end(), Key);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TNulStream

int64_t TNulStream::Read(void*, int64_t Count) {
  if (Count <= 0) return 0;
  Pos_ += Count;
  Size_ = std::max(Size_, Pos_);
  return Count;
}

int64_t TNulStream::Write(const void*, int64_t Count) {
  if (Count <= 0) return 0;
  Pos_ += Count;
  Size_ = std::max(Size_, Pos_);
  return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos_ : Size_;
  int64_t pos = 0;
  if (__builtin_add_overflow(base, Offset, &pos) || pos < 0) throw EStreamError("Seek outside " + Describe());
  Pos_ = pos;
  Size_ = std::max(Size_, Pos_);
  return Pos_;
}

void TNulStream::SetSize(int64_t NewSize) {
  Size_ = std::max<int64_t>(NewSize, 0);
  Pos_ = std::min(Pos_, Size_);
}

// ---------------------------------------------------------------------------------------------
// Stream and file helpers

void SaveStringToStream(TStream* Stream, const std::string& Text) {
  const uint32_t n = static_cast<uint32_t>(Text.size());
  const uint8_t len[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  Stream->WriteBuffer(len, 4);
  Stream->WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

void LoadStringFromStream(TStream* Stream, std::string& Text) {
  uint8_t len[4];
  Stream->ReadBuffer(len, 4);
  const int32_t n = static_cast<int32_t>(uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 |
                                         uint32_t(len[3]) << 24);
  const int64_t left = Stream->GetSize() - Stream->GetPosition();
  if (n < 0 || n > left)
    throw EReadError("String of " + std::to_string(n) + " bytes does not fit in the " +
                     std::to_string(left) + " bytes left in " + Stream->Describe());
  Text.assign(static_cast<size_t>(n), '\0');
  Stream->ReadBuffer(Text.data(), n);
}

int64_t _getfilesize(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  return ok ? static_cast<int64_t>(st.st_size) : -1;
}

uintptr_t CXFindHandle(const TComponent* Component) {
  for (const TComponent* c = Component; c != nullptr; c = c->GetOwner())
    if (const auto* w = dynamic_cast<const TWinControl*>(c)) return w->GetHandle();
  return 0;
}

}  // namespace corvex
