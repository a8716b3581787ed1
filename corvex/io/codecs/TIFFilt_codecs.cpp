// Strip and tile coders of other writers: LZMA (compression 34925, an xz stream per chunk, as
// libtiff writes it), Zstandard (50000, a zstd frame per chunk) and WebP (50001, a WebP image
// per chunk). LZMA and Zstandard decode row by row into the caller's buffer, so that no more
// than a row is held whatever the chunk claims.
#include <lzma.h>
#include <webp/decode.h>
#include <zstd.h>

#include <cstring>
#include <memory>

#include "corvex/io/codecs/TIFFilt_pvt.h"

namespace corvex::tiff {

namespace {

// Dictionaries beyond this are refused: writers use 64 MiB at the most, and a hostile header
// must not make the decoder reserve gigabytes.
constexpr uint64_t kLzmaMemLimit = uint64_t(1) << 28;

class LzmaRows final : public RowSource {
 public:
  LzmaRows(const uint8_t* Data, size_t Length) {
    ok_ = lzma_stream_decoder(&s_, kLzmaMemLimit, 0) == LZMA_OK;
    s_.next_in = Data;
    s_.avail_in = Length;
  }
  ~LzmaRows() override { lzma_end(&s_); }
  bool Next(uint8_t* Row, size_t Bytes) override {
    if (!ok_) return false;
    s_.next_out = Row;
    s_.avail_out = Bytes;
    while (s_.avail_out > 0) {
      const lzma_ret r = lzma_code(&s_, s_.avail_in > 0 ? LZMA_RUN : LZMA_FINISH);
      if (r == LZMA_STREAM_END && s_.avail_out > 0) return ok_ = false;
      if (r != LZMA_OK && r != LZMA_STREAM_END) return ok_ = false;
    }
    return true;
  }

 private:
  lzma_stream s_ = LZMA_STREAM_INIT;
  bool ok_ = false;
};

class ZstdRows final : public RowSource {
 public:
  ZstdRows(const uint8_t* Data, size_t Length) : ctx_(ZSTD_createDCtx()), in_{Data, Length, 0} {}
  ~ZstdRows() override { ZSTD_freeDCtx(ctx_); }
  bool Next(uint8_t* Row, size_t Bytes) override {
    if (ctx_ == nullptr || failed_) return false;
    ZSTD_outBuffer out{Row, Bytes, 0};
    while (out.pos < out.size) {
      const size_t before = out.pos, consumed = in_.pos;
      const size_t r = ZSTD_decompressStream(ctx_, &out, &in_);
      if (ZSTD_isError(r)) return !(failed_ = true);
      // Neither input taken nor output made: the data ended before the row.
      if (out.pos == before && in_.pos == consumed) return !(failed_ = true);
    }
    return true;
  }

 private:
  ZSTD_DCtx* ctx_;
  ZSTD_inBuffer in_;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<RowSource> MakeLzmaRows(const uint8_t* Data, size_t Length) {
  return std::make_unique<LzmaRows>(Data, Length);
}

std::unique_ptr<RowSource> MakeZstdRows(const uint8_t* Data, size_t Length) {
  return std::make_unique<ZstdRows>(Data, Length);
}

int DecodeWebPChunk(const uint8_t* Data, size_t Length, int Width, int Rows, int Components,
                    std::vector<uint8_t>& Out) {
  int w = 0, h = 0;
  if (Width <= 0 || Rows <= 0 || (Components != 3 && Components != 4)) return 0;
  // The image is as wide as the chunk and no taller (a page's last strip is shorter).
  if (!WebPGetInfo(Data, Length, &w, &h) || w != Width || h <= 0 || h > Rows) return 0;
  const int rows = h;
  const size_t stride = size_t(Width) * size_t(Components);
  Out.assign(stride * size_t(h), 0);
  const uint8_t* r = Components == 4 ? WebPDecodeRGBAInto(Data, Length, Out.data(), Out.size(), int(stride))
                                     : WebPDecodeRGBInto(Data, Length, Out.data(), Out.size(), int(stride));
  return r != nullptr ? rows : 0;
}

}  // namespace corvex::tiff
