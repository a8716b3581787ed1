#include "corvex/platform/streams/streams.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvex {

namespace {
constexpr int64_t kFileBufSize = 64 * 1024;
constexpr int64_t kCopyChunk = 64 * 1024;

std::string SystemError(int err) { return std::strerror(err); }

// base + Offset, refusing positions before the start and sums that overflow.
int64_t NewPosition(int64_t base, int64_t Offset, const TStream& s) {
  int64_t pos = 0;
  if (__builtin_add_overflow(base, Offset, &pos) || pos < 0)
    throw EStreamError("Seek outside " + s.Describe());
  return pos;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TStream

int64_t TStream::GetSize() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("The size of a " + Describe() + " cannot be set"); }

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  int64_t got = Read(Buffer, Count);
  if (got != Count)
    throw EReadError("Stream read error: " + std::to_string(got) + " of " + std::to_string(Count) +
                     " bytes read from " + Describe());
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  int64_t put = Write(Buffer, Count);
  if (put != Count)
    throw EWriteError("Stream write error: " + std::to_string(put) + " of " +
                      std::to_string(Count) + " bytes written to " + Describe());
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Source == nullptr) return 0;
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->GetSize();
  }
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(Count, kCopyChunk)));
  int64_t done = 0;
  while (done < Count) {
    int64_t n = std::min<int64_t>(Count - done, static_cast<int64_t>(chunk.size()));
    Source->ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    done += n;
  }
  return done;
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode) : FileName_(FileName) {
  const bool create = (Mode & 0xFF00) == fmCreate;
  int flags = O_CLOEXEC;
  if (create) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
    CanWrite_ = true;
  } else {
    switch (Mode & 3) {
      case fmOpenWrite: flags |= O_WRONLY; CanWrite_ = true; break;
      case fmOpenReadWrite: flags |= O_RDWR; CanWrite_ = true; break;
      default: flags |= O_RDONLY; break;
    }
  }
  do {
    Fd_ = ::open(FileName.c_str(), flags, 0666);
  } while (Fd_ < 0 && errno == EINTR);
  int err = errno;
  if (Fd_ >= 0) {
    struct stat st {};
    if (::fstat(Fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(Fd_);
      Fd_ = -1;
      err = EISDIR;
    }
  }
  if (Fd_ < 0) {
    if (create)
      throw EFCreateError("Cannot create file \"" + FileName + "\". " + SystemError(err));
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + SystemError(err));
  }
  Buf_ = std::make_unique<uint8_t[]>(kFileBufSize);
}

TFileStream::~TFileStream() {
  try {
    Flush();
  } catch (...) {
    // Nothing can be reported from a destructor; callers that must know call Flush first.
  }
  if (Fd_ >= 0) ::close(Fd_);
}

void TFileStream::DropReadBuffer() {
  if (!Writing_) BufLen_ = 0;
}

void TFileStream::RaiseWrite(const char* what, int err) {
  throw EWriteError(std::string(what) + " " + Describe() + ". " + SystemError(err));
}

void TFileStream::Flush() {
  if (!Writing_) return;
  int64_t done = 0;
  while (done < BufLen_) {
    ssize_t w = ::pwrite(Fd_, Buf_.get() + done, static_cast<size_t>(BufLen_ - done), BufStart_ + done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      int err = w < 0 ? errno : EIO;
      Writing_ = false;
      BufLen_ = 0;
      RaiseWrite("Cannot write to", err);
    }
    done += w;
  }
  Writing_ = false;
  BufLen_ = 0;
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  Flush();
  auto* out = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    if (Pos_ >= BufStart_ && Pos_ < BufStart_ + BufLen_) {
      int64_t n = std::min(Count - done, BufStart_ + BufLen_ - Pos_);
      std::memcpy(out + done, Buf_.get() + (Pos_ - BufStart_), static_cast<size_t>(n));
      Pos_ += n;
      done += n;
      continue;
    }
    int64_t rem = Count - done;
    if (rem >= kFileBufSize) {  // large reads bypass the buffer
      ssize_t r = ::pread(Fd_, out + done, static_cast<size_t>(rem), Pos_);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      Pos_ += r;
      done += r;
      continue;
    }
    ssize_t r = ::pread(Fd_, Buf_.get(), static_cast<size_t>(kFileBufSize), Pos_);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      BufLen_ = 0;
      break;
    }
    BufStart_ = Pos_;
    BufLen_ = r;
  }
  return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || !CanWrite_) return 0;  // a read-only file accepts nothing
  DropReadBuffer();
  const auto* in = static_cast<const uint8_t*>(Buffer);
  if (Writing_ && Pos_ == BufStart_ + BufLen_ && BufLen_ + Count <= kFileBufSize) {
    std::memcpy(Buf_.get() + BufLen_, in, static_cast<size_t>(Count));
    BufLen_ += Count;
    Pos_ += Count;
    return Count;
  }
  Flush();
  if (Count >= kFileBufSize) {
    int64_t done = 0;
    while (done < Count) {
      ssize_t w = ::pwrite(Fd_, in + done, static_cast<size_t>(Count - done), Pos_);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      Pos_ += w;
      done += w;
    }
    return done;
  }
  Writing_ = true;
  BufStart_ = Pos_;
  std::memcpy(Buf_.get(), in, static_cast<size_t>(Count));
  BufLen_ = Count;
  Pos_ += Count;
  return Count;
}

int64_t TFileStream::GetSize() {
  struct stat st {};
  int64_t size = ::fstat(Fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
  if (Writing_) size = std::max(size, BufStart_ + BufLen_);
  return size;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos_ : GetSize();
  Pos_ = NewPosition(base, Offset, *this);
  return Pos_;
}

void TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Negative size for " + Describe());
  Flush();
  BufLen_ = 0;
  int rc;
  do {
    rc = ::ftruncate(Fd_, NewSize);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) RaiseWrite("Cannot change the size of", errno);
  if (Pos_ > NewSize) Pos_ = NewSize;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(Data_); }

void TMemoryStream::Reserve(int64_t Needed) {
  if (Needed <= Capacity_) return;
  const int64_t cap = std::max<int64_t>({Needed, Capacity_ * 2, 4096});
  uint8_t* block = nullptr;
#ifdef MADV_HUGEPAGE
  // A stream of tens of megabytes (a whole image file written to memory) would otherwise pay a
  // page fault per 4 KiB on its first write: such a block is aligned for huge pages and offered
  // to the kernel for them, and the contents copied over.
  constexpr size_t kHuge = size_t(2) << 20;
  if (cap >= int64_t(8 * kHuge)) {
    const size_t rounded = (size_t(cap) + kHuge - 1) & ~(kHuge - 1);
    block = static_cast<uint8_t*>(std::aligned_alloc(kHuge, rounded));
    if (block != nullptr) {
      ::madvise(block, rounded, MADV_HUGEPAGE);  // a hint only
      if (Size_ > 0) std::memcpy(block, Data_, static_cast<size_t>(Size_));
      std::free(Data_);
    }
  }
#endif
  if (block == nullptr) block = static_cast<uint8_t*>(std::realloc(Data_, static_cast<size_t>(cap)));
  if (block == nullptr) throw EOutOfMemory("Out of memory for a memory stream of " + std::to_string(cap) + " bytes");
  Data_ = block;
  Capacity_ = cap;
}

const uint8_t* TMemoryStream::BytesInPlace(int64_t& Count) {
  Count = Pos_ < Size_ ? Size_ - Pos_ : 0;
  return Count > 0 ? Data_ + Pos_ : nullptr;
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || Pos_ >= Size_) return 0;
  const int64_t n = std::min(Count, Size_ - Pos_);
  std::memcpy(Buffer, Data_ + Pos_, static_cast<size_t>(n));
  Pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = Pos_ + Count;
  if (end > Size_) {
    Reserve(end);
    if (Pos_ > Size_) std::memset(Data_ + Size_, 0, static_cast<size_t>(Pos_ - Size_));  // the gap reads as zeros
    Size_ = end;
  }
  std::memcpy(Data_ + Pos_, Buffer, static_cast<size_t>(Count));
  Pos_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos_ : Size_;
  Pos_ = NewPosition(base, Offset, *this);
  return Pos_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Negative size for " + Describe());
  if (NewSize > Size_) {
    Reserve(NewSize);
    std::memset(Data_ + Size_, 0, static_cast<size_t>(NewSize - Size_));
  }
  Size_ = NewSize;
  if (Pos_ > NewSize) Pos_ = NewSize;
}

void TMemoryStream::Clear() {
  std::free(Data_);
  Data_ = nullptr;
  Size_ = Capacity_ = Pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  int64_t n = Stream->GetSize();
  SetSize(n);
  Stream->ReadBuffer(Data_, n);
  Pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TMemoryStream::SaveToStream(TStream* Stream) const {
  Stream->WriteBuffer(Data_, Size_);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
  f.Flush();
}

// ---------------------------------------------------------------------------------------------
// TPointerStream

const uint8_t* TPointerStream::BytesInPlace(int64_t& Count) {
  Count = Pos_ < Size_ ? Size_ - Pos_ : 0;
  return Count > 0 ? Data_ + Pos_ : nullptr;
}

int64_t TPointerStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || Pos_ >= Size_) return 0;
  int64_t n = std::min(Count, Size_ - Pos_);
  std::memcpy(Buffer, Data_ + Pos_, static_cast<size_t>(n));
  Pos_ += n;
  return n;
}

int64_t TPointerStream::Write(const void*, int64_t) {
  throw EWriteError("Cannot write to a " + Describe());
}

int64_t TPointerStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos_ : Size_;
  Pos_ = NewPosition(base, Offset, *this);
  return Pos_;
}

void TPointerStream::SetSize(int64_t) { throw EStreamError("Cannot resize a " + Describe()); }

}  // namespace corvex
