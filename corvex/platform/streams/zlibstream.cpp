#include "corvex/platform/streams/zlibstream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace corvex {

struct TCustomZlibStream::State {
  z_stream z{};
};

namespace {
std::string ZMessage(const z_stream& z, int code) {
  if (z.msg != nullptr) return z.msg;
  switch (code) {
    case Z_MEM_ERROR: return "out of memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_DATA_ERROR: return "corrupt data";
    case Z_STREAM_ERROR: return "stream error";
    default: return "zlib error " + std::to_string(code);
  }
}
}  // namespace

TCustomZlibStream::TCustomZlibStream(TStream* Strm)
    : Strm_(Strm), StrmPos_(Strm ? Strm->GetPosition() : 0), Z_(std::make_unique<State>()),
      Buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {}

TCustomZlibStream::~TCustomZlibStream() = default;

// ---------------------------------------------------------------------------------------------
// TCompressionStream

TCompressionStream::TCompressionStream(TCompressionLevel CompressionLevel, TStream* Dest) : TCustomZlibStream(Dest) {
  static const int kLevels[] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION};
  z_stream& z = Z_->z;
  z.next_out = Buffer_.get();
  z.avail_out = kBufferSize;
  const int rc = deflateInit(&z, kLevels[static_cast<int>(CompressionLevel)]);
  if (rc != Z_OK) throw ECompressionError("Cannot start compression: " + ZMessage(z, rc));
}

TCompressionStream::~TCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // Nothing can be reported from a destructor; callers that must know call Finish first.
  }
  deflateEnd(&Z_->z);
}

int64_t TCompressionStream::Read(void*, int64_t) { throw ECompressionError("Invalid stream operation"); }

int64_t TCompressionStream::Write(const void* Buffer, int64_t Count) {
  if (Finished_) throw ECompressionError("Write after the end of the compressed data");
  z_stream& z = Z_->z;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  int64_t left = Count;
  while (left > 0) {
    const uInt chunk = static_cast<uInt>(std::min<int64_t>(left, std::numeric_limits<uInt>::max() / 2));
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = chunk;
    while (z.avail_in > 0) {
      const int rc = deflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw ECompressionError("Compression failed: " + ZMessage(z, rc));
      if (z.avail_out == 0) {
        Strm_->WriteBuffer(Buffer_.get(), kBufferSize);
        z.next_out = Buffer_.get();
        z.avail_out = kBufferSize;
        StrmPos_ = Strm_->GetPosition();
        Progress();
      }
    }
    in += chunk;
    left -= chunk;
  }
  return Count;
}

void TCompressionStream::Finish() {
  if (Finished_) return;
  Finished_ = true;
  z_stream& z = Z_->z;
  z.next_in = nullptr;
  z.avail_in = 0;
  for (;;) {
    const int rc = deflate(&z, Z_FINISH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
      throw ECompressionError("Compression failed: " + ZMessage(z, rc));
    const uInt produced = kBufferSize - z.avail_out;
    if (produced > 0) Strm_->WriteBuffer(Buffer_.get(), produced);
    z.next_out = Buffer_.get();
    z.avail_out = kBufferSize;
    if (rc == Z_STREAM_END) break;
  }
  Progress();
}

int64_t TCompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Offset == 0 && Origin == soCurrent) return static_cast<int64_t>(Z_->z.total_in);
  throw ECompressionError("Invalid stream operation");
}

double TCompressionStream::GetCompressionRate() const {
  const z_stream& z = Z_->z;
  if (z.total_in == 0) return 0;
  return (1.0 - static_cast<double>(z.total_out) / static_cast<double>(z.total_in)) * 100.0;
}

// ---------------------------------------------------------------------------------------------
// TDecompressionStream

TDecompressionStream::TDecompressionStream(TStream* Source) : TCustomZlibStream(Source) {
  z_stream& z = Z_->z;
  z.next_in = Buffer_.get();
  z.avail_in = 0;
  const int rc = inflateInit(&z);
  if (rc != Z_OK) throw EDecompressionError("Cannot start decompression: " + ZMessage(z, rc));
}

TDecompressionStream::~TDecompressionStream() { inflateEnd(&Z_->z); }

int64_t TDecompressionStream::Write(const void*, int64_t) { throw EDecompressionError("Invalid stream operation"); }

int64_t TDecompressionStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || Ended_) return 0;
  z_stream& z = Z_->z;
  auto* out = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count && !Ended_) {
    if (z.avail_in == 0) {
      Strm_->SetPosition(StrmPos_);
      const int64_t got = Strm_->Read(Buffer_.get(), kBufferSize);
      if (got <= 0) break;  // the source ran out before the end of the data
      StrmPos_ += got;
      z.next_in = Buffer_.get();
      z.avail_in = static_cast<uInt>(got);
      Progress();
    }
    const uInt want = static_cast<uInt>(std::min<int64_t>(Count - done, std::numeric_limits<uInt>::max() / 2));
    z.next_out = out + done;
    z.avail_out = want;
    const int rc = inflate(&z, Z_NO_FLUSH);
    done += want - z.avail_out;
    if (rc == Z_STREAM_END) {
      Ended_ = true;
      // Give back what was read past the end, so that the source is right after the data.
      StrmPos_ -= z.avail_in;
      z.avail_in = 0;
      Strm_->SetPosition(StrmPos_);
    } else if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
      throw EDecompressionError("Decompression failed: " + ZMessage(z, rc));
    }
  }
  return done;
}


int64_t TDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  z_stream& z = Z_->z;
  int64_t target;
  if (Origin == soBeginning) target = Offset;
  else if (Origin == soCurrent) target = static_cast<int64_t>(z.total_out) + Offset;
  else throw EDecompressionError("Invalid stream operation");
  if (target == 0 && z.total_out != 0) {
    // Start again from the beginning of the compressed data.
    const int64_t start = StrmPos_ - static_cast<int64_t>(z.total_in) - static_cast<int64_t>(z.avail_in);
    inflateReset(&z);
    z.next_in = Buffer_.get();
    z.avail_in = 0;
    Ended_ = false;
    StrmPos_ = start;
    return 0;
  }
  if (target < static_cast<int64_t>(z.total_out)) throw EDecompressionError("Invalid stream operation");
  uint8_t scratch[4096];
  while (static_cast<int64_t>(z.total_out) < target) {
    const int64_t n = std::min<int64_t>(target - static_cast<int64_t>(z.total_out), sizeof scratch);
    if (Read(scratch, n) == 0) break;
  }
  return static_cast<int64_t>(z.total_out);
}

// ---------------------------------------------------------------------------------------------
// Whole buffers

void CompressBuf(const void* InBuf, int InBytes, std::vector<uint8_t>& OutBuf) {
  if (InBytes < 0) InBytes = 0;
  uLongf size = compressBound(static_cast<uLong>(InBytes));
  OutBuf.resize(size);
  const int rc = compress2(OutBuf.data(), &size, static_cast<const Bytef*>(InBuf), static_cast<uLong>(InBytes),
                           Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) throw ECompressionError("Compression failed: zlib error " + std::to_string(rc));
  OutBuf.resize(size);
}

void DecompressBuf(const void* InBuf, int InBytes, int OutEstimate, std::vector<uint8_t>& OutBuf) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EDecompressionError("Cannot start decompression");
  z.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(InBuf));
  z.avail_in = InBytes > 0 ? static_cast<uInt>(InBytes) : 0;
  size_t cap = OutEstimate > 0 ? size_t(OutEstimate) : std::max<size_t>(size_t(InBytes) * 2, 256);
  OutBuf.resize(cap);
  int rc;
  for (;;) {
    z.next_out = OutBuf.data() + z.total_out;
    z.avail_out = static_cast<uInt>(cap - z.total_out);
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (z.avail_out == 0) {
      cap *= 2;
      OutBuf.resize(cap);
    } else if (z.avail_in == 0) {
      rc = Z_BUF_ERROR;  // the input ended before the data did
      break;
    }
  }
  const size_t produced = z.total_out;
  const std::string msg = z.msg ? z.msg : "incomplete data";
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw EDecompressionError("Decompression failed: " + msg);
  OutBuf.resize(produced);
}

}  // namespace corvex
