// Byte streams of the toolkit: the abstract TStream, files (TFileStream), growable memory
// (TMemoryStream) and read-only views of memory that belongs to someone else (TPointerStream).
// Positions and sizes are 64-bit. Read and Write transfer what they can and return the count;
// ReadBuffer and WriteBuffer raise EReadError / EWriteError on a short transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/object.h"

namespace corvex {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TStream : public TObject {
 public:
  // Reads up to Count bytes at the position; returns how many were read (0 at the end).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes Count bytes at the position, growing the stream as needed; returns the count written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position and returns it. Positions past the end are allowed; a position before
  // the start raises EStreamError.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t GetSize();
  // Sets the size; the position is kept unless it is beyond the new end.
  virtual void SetSize(int64_t NewSize);

  // As Read and Write, raising when fewer than Count bytes were transferred.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);

  // Copies Count bytes from Source's position to this stream's position. Count 0 copies the
  // whole of Source from its beginning. Returns the count copied.
  int64_t CopyFrom(TStream* Source, int64_t Count);

  // Names the stream in error messages ("file \"a.bmp\"", or "memory stream").
  virtual std::string Describe() const { return "stream"; }

  // The bytes from the position to the end where the stream holds them in memory (the memory
  // streams): their address, and their count in Count, so that a reader can take them without
  // a copy; the position does not move. Null (and Count 0) for other streams.
  virtual const uint8_t* BytesInPlace(int64_t& Count) {
    Count = 0;
    return nullptr;
  }
};

// File open modes: one access mode, optionally or-ed with a share mode. Share modes are
// accepted for compatibility and have no effect.
constexpr uint16_t fmCreate = 0xFF00;  // create or truncate, then read and write
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A file, read and written through a buffer so that small reads and writes are cheap.
class TFileStream : public TStream {
 public:
  // Raises EFOpenError (EFCreateError with fmCreate) naming the file when it cannot be opened.
  TFileStream(const std::string& FileName, uint16_t Mode);
  ~TFileStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override;
  void SetSize(int64_t NewSize) override;
  std::string Describe() const override { return "file \"" + FileName_ + "\""; }

  // Writes buffered data to the file; raises EWriteError when the system refuses it. The
  // destructor flushes too, but cannot report failure: code that must know calls Flush.
  void Flush();
  const std::string& GetFileName() const { return FileName_; }

 private:
  void DropReadBuffer();
  [[noreturn]] void RaiseWrite(const char* what, int err);

  std::string FileName_;
  int Fd_ = -1;
  int64_t Pos_ = 0;        // logical position
  int64_t BufStart_ = 0;   // file offset of Buf_[0]
  int64_t BufLen_ = 0;     // valid (read) or pending (write) bytes in Buf_
  bool Writing_ = false;   // the buffer holds pending writes
  bool CanWrite_ = false;  // opened for writing
  std::unique_ptr<uint8_t[]> Buf_;
};

// A growable block of memory. Memory() stays valid until the next write, SetSize or Clear.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return Size_; }
  void SetSize(int64_t NewSize) override;
  std::string Describe() const override { return "memory stream"; }
  const uint8_t* BytesInPlace(int64_t& Count) override;

  uint8_t* Memory() { return Data_; }
  const uint8_t* Memory() const { return Data_; }
  void Clear();
  // Replaces the contents with the whole of Stream (from its beginning) or of the file.
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  // Writes the whole contents to Stream's position, or to a new file.
  void SaveToStream(TStream* Stream) const;
  void SaveToFile(const std::string& FileName) const;

 private:
  // Grows the block to hold at least Needed bytes (doubling, so that writes cost amortised
  // constant time; realloc moves large blocks without copying them).
  void Reserve(int64_t Needed);
  uint8_t* Data_ = nullptr;  // malloc'ed
  int64_t Size_ = 0;
  int64_t Capacity_ = 0;
  int64_t Pos_ = 0;
};

// A read-only stream over memory owned by the caller, which must outlive the stream.
class TPointerStream : public TStream {
 public:
  TPointerStream(const void* Data, int64_t Size)
      : Data_(static_cast<const uint8_t*>(Data)), Size_(Size < 0 ? 0 : Size) {}

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;  // raises EWriteError
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return Size_; }
  void SetSize(int64_t NewSize) override;  // raises EStreamError
  std::string Describe() const override { return "read-only memory stream"; }
  const uint8_t* BytesInPlace(int64_t& Count) override;

 private:
  const uint8_t* Data_;
  int64_t Size_;
  int64_t Pos_ = 0;
};

}  // namespace corvex
