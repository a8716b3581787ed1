// Streams that compress into, or decompress from, another stream with zlib (the deflate format
// with the zlib header), and whole-buffer helpers. A compression stream is write-only and
// finishes its data when it is destroyed (or at Finish); a decompression stream is read-only and
// seeks forward only. After the end of the compressed data, the source stream is positioned just
// past it, so that other data may follow.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "corvex/platform/events.h"
#include "corvex/platform/streams/streams.h"

namespace corvex {

class EZlibError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// Scoped, because clNone and clDefault are also colour names.
enum class TCompressionLevel { clNone, clFastest, clDefault, clMax };

// Common state: the other stream, its start position, a 64 KB buffer and the progress event
// (called whenever the buffer is exchanged with the other stream).
class TCustomZlibStream : public TStream {
 public:
  TNotifyEvent OnProgress;
  ~TCustomZlibStream() override;

 protected:
  explicit TCustomZlibStream(TStream* Strm);
  void Progress() {
    if (OnProgress) OnProgress(this);
  }
  struct State;
  static constexpr int kBufferSize = 65536;
  TStream* Strm_;
  int64_t StrmPos_;
  std::unique_ptr<State> Z_;
  std::unique_ptr<uint8_t[]> Buffer_;
};

class TCompressionStream : public TCustomZlibStream {
 public:
  TCompressionStream(TCompressionLevel CompressionLevel, TStream* Dest);
  ~TCompressionStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;  // raises ECompressionError
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Only Seek(0, soCurrent) (the bytes taken in so far) is allowed.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  std::string Describe() const override { return "compression stream"; }
  // Writes the end of the compressed data; raises on failure. Further writes raise.
  void Finish();
  // Percentage saved so far: (1 - out / in) x 100, 0 before any input.
  double GetCompressionRate() const;

 private:
  bool Finished_ = false;
};

class TDecompressionStream : public TCustomZlibStream {
 public:
  explicit TDecompressionStream(TStream* Source);
  ~TDecompressionStream() override;

  // Reads decompressed bytes; fewer at the end of the data (or when the source runs out).
  // Raises EDecompressionError on corrupt data.
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;  // raises EDecompressionError
  // Forward only (by reading), or back to 0 (starting again); other moves raise.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  std::string Describe() const override { return "decompression stream"; }

 private:
  bool Ended_ = false;
};

// Compresses a whole buffer (default level) into OutBuf.
void CompressBuf(const void* InBuf, int InBytes, std::vector<uint8_t>& OutBuf);
// Decompresses a whole buffer; OutEstimate is a first guess of the size (0 = choose).
// Raises EDecompressionError on corrupt or incomplete data.
void DecompressBuf(const void* InBuf, int InBytes, int OutEstimate, std::vector<uint8_t>& OutBuf);

}  // namespace corvex
