// The AVI file service over FFmpeg: libavformat reads and writes the container, libavcodec
// decodes and encodes frames, libswscale converts pixels between the codecs' layouts and the
// packed 24-bit DIBs the rest of the library exchanges.
#include "corvex/platform/avi/avi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace corvex {

namespace {

TAVISaveOptionsDialog gDialog = nullptr;

// Largest frame either side handles: 1 GiB of 24-bit rows.
constexpr int64_t kMaxFrameBytes = int64_t(1) << 30;

// Bytes of one row of a 24-bit DIB: three per pixel, padded to a multiple of four.
int64_t Stride24(int64_t Width) { return (Width * 3 + 3) & ~int64_t(3); }

bool SizeOk(int64_t W, int64_t H) { return W > 0 && H > 0 && Stride24(W) * H <= kMaxFrameBytes; }

std::string AvError(int Code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, buf, sizeof buf);
  return buf;
}

// The rate of an FFmpeg rational, reduced, or 0/1 when it is none or out of the usable range
// (one frame an hour .. a thousand frames a second).
void UsableRate(AVRational R, uint32_t& Rate, uint32_t& Scale) {
  Rate = 0;
  Scale = 1;
  if (R.num <= 0 || R.den <= 0) return;
  const double fps = av_q2d(R);
  if (!(fps >= 1.0 / 3600.0 && fps <= 1000.0)) return;
  int num = 0, den = 0;
  av_reduce(&num, &den, R.num, R.den, INT32_MAX);
  if (num <= 0 || den <= 0) return;
  Rate = uint32_t(num);
  Scale = uint32_t(den);
}

// The full-range twin of a JPEG pixel format (FFmpeg marks full range by the format there).
AVPixelFormat PlainFormat(AVPixelFormat F, bool& FullRange) {
  switch (F) {
    case AV_PIX_FMT_YUVJ420P: FullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: FullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: FullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: FullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: FullRange = true; return AV_PIX_FMT_YUV411P;
    default: return F;
  }
}

constexpr int kSwsFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT;

// A conversion context for one pair of sizes and formats, remade when they change.
struct Scaler {
  SwsContext* ctx = nullptr;
  int sw = 0, sh = 0, dw = 0, dh = 0;
  int sf = -1, df = -1, range = -1, space = -1, drange = -1;
  ~Scaler() { sws_freeContext(ctx); }
  // Source range/colour space describe YUV sources (full or video range, BT.601 or 709);
  // DestFullRange likewise for a YUV destination.
  bool Prepare(int SW, int SH, AVPixelFormat SF, bool FullRange, int Space, int DW, int DH, AVPixelFormat DF,
               bool DestFullRange) {
    if (ctx != nullptr && sw == SW && sh == SH && sf == SF && dw == DW && dh == DH && df == DF && range == FullRange &&
        space == Space && drange == DestFullRange)
      return true;
    sws_freeContext(ctx);
    ctx = sws_getContext(SW, SH, SF, DW, DH, DF, kSwsFlags, nullptr, nullptr, nullptr);
    if (ctx == nullptr) return false;
    sw = SW, sh = SH, sf = SF, dw = DW, dh = DH, df = DF, range = FullRange, space = Space, drange = DestFullRange;
    const int cs = Space == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    sws_setColorspaceDetails(ctx, sws_getCoefficients(cs), FullRange ? 1 : 0, sws_getCoefficients(cs),
                             DestFullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    return true;
  }
};

}  // namespace

void AVIFileInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    // A library should not talk on the console; an application that set a level keeps it.
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
  });
}

// ---------------------------------------------------------------------------------------------
// Save options

void SetAVISaveOptionsDialog(TAVISaveOptionsDialog Dialog) { gDialog = Dialog; }
TAVISaveOptionsDialog GetAVISaveOptionsDialog() { return gDialog; }

bool AVISaveOptions(TAVISaveOptions& Options) {
  Options.Quality = std::clamp(Options.Quality, 1, 100);
  if (Options.Codec != avcMJPEG && Options.Codec != avcFFV1) Options.Codec = avcUncompressed;
  if (Options.AskUser && gDialog != nullptr) {
    TAVISaveOptions chosen = Options;
    if (!gDialog(chosen)) return false;
    chosen.Quality = std::clamp(chosen.Quality, 1, 100);
    if (chosen.Codec != avcMJPEG && chosen.Codec != avcFFV1) chosen.Codec = avcUncompressed;
    chosen.AskUser = Options.AskUser;
    Options = chosen;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading

struct TAVIReader::Impl {
  std::string file;
  AVFormatContext* fmt = nullptr;
  AVCodecContext* dec = nullptr;
  AVFrame* last = nullptr;     // the latest frame placed at or before the one asked for
  AVFrame* pending = nullptr;  // the frame decoded after it, not yet reached
  AVPacket* pkt = nullptr;
  Scaler scaler;
  int stream = -1;
  AVRational fps{0, 1};      // the stream's frame rate as stated (0/1: none)
  int64_t start = 0;         // the stream's first time stamp
  int64_t lastIdx = -1, pendingIdx = -1, prevIdx = -1;  // frame numbers; -1: none
  int64_t base = -1;         // the time-stamp frame number of the first frame decoded
  int current = -1;          // the frame number of the picture in Frame_, -1 when none
  bool flushed = false;      // the demuxer is at its end and the decoder was told so

  ~Impl() { Free(); }
  void Free() {
    av_frame_free(&last);
    av_frame_free(&pending);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    stream = -1;
  }

  // Opens the container and the decoder of its first video stream.
  bool OpenInput(std::string& Error) {
    int rc = avformat_open_input(&fmt, file.c_str(), nullptr, nullptr);
    if (rc < 0) {
      Error = "cannot open \"" + file + "\": " + AvError(rc);
      return false;
    }
    rc = avformat_find_stream_info(fmt, nullptr);
    if (rc < 0) {
      Error = "cannot read the streams of \"" + file + "\": " + AvError(rc);
      return false;
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
      if (fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          !(fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        stream = int(i);
        break;
      }
    }
    if (stream < 0) {
      Error = "\"" + file + "\" has no video stream";
      return false;
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
      if (int(i) != stream) fmt->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* st = fmt->streams[stream];
    fps = st->avg_frame_rate;
    if (fps.num <= 0 || fps.den <= 0) fps = st->r_frame_rate;
    if (fps.num <= 0 || fps.den <= 0) fps = AVRational{0, 1};
    start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (codec == nullptr) {
      Error = "no decoder for the video of \"" + file + "\"";
      return false;
    }
    dec = avcodec_alloc_context3(codec);
    last = av_frame_alloc();
    pending = av_frame_alloc();
    pkt = av_packet_alloc();
    if (dec == nullptr || last == nullptr || pending == nullptr || pkt == nullptr) {
      Error = "out of memory";
      return false;
    }
    rc = avcodec_parameters_to_context(dec, st->codecpar);
    dec->thread_count = 1;  // the machine's cores belong to the application
    if (rc < 0 || (rc = avcodec_open2(dec, codec, nullptr)) < 0) {
      Error = "cannot open the video decoder: " + AvError(rc);
      return false;
    }
    lastIdx = pendingIdx = prevIdx = base = -1;
    current = -1;
    flushed = false;
    return true;
  }

  // Back to the first frame. The file is opened anew rather than sought: not every container
  // can seek back to its very first frame.
  bool Rewind(std::string& Error) {
    Free();
    return OpenInput(Error);
  }

  // The number of frames since the stream's start at time stamp Ts, rounded; -1 without a time
  // stamp or a rate.
  int64_t IndexOf(int64_t Ts) const {
    int64_t since = 0;
    if (Ts == AV_NOPTS_VALUE || fps.num <= 0 || __builtin_sub_overflow(Ts, start, &since)) return -1;
    const int64_t idx = av_rescale_q_rnd(since, fmt->streams[stream]->time_base, av_inv_q(fps),
                                         AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    return std::clamp<int64_t>(idx, 0, INT32_MAX);
  }

  // The number of frames when the container does not state it: the packets of the stream, or
  // more when their time stamps leave gaps. Rewinds afterwards; -1 when that fails.
  int64_t CountFrames(std::string& Error) {
    int64_t n = 0, lo = INT64_MAX, hi = -1;
    while (av_read_frame(fmt, pkt) >= 0) {
      if (pkt->stream_index == stream) {
        ++n;
        const int64_t idx = IndexOf(pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts);
        if (idx >= 0) lo = std::min(lo, idx), hi = std::max(hi, idx);
      }
      av_packet_unref(pkt);
    }
    if (hi >= 0) n = std::max(n, hi - lo + 1);
    return Rewind(Error) ? std::min<int64_t>(n, INT32_MAX) : -1;
  }

  // Decodes the next frame into `pending` with its frame number. 1: a frame; 0: a packet did
  // not decode (skipped; the frames around it stand in); -1: no more frames.
  int DecodeNext(std::string& Error) {
    for (;;) {
      int rc = avcodec_receive_frame(dec, pending);
      if (rc == 0) {
        // Frame numbers from the time stamps, so that frames a file leaves out (an AVI's empty
        // chunks, dropped frames) repeat the one before; counted from the first frame decoded
        // (a decoder's delay can shift the guessed stamps of AVIs, which have no presentation
        // times); always rising.
        const int64_t at = IndexOf(pending->best_effort_timestamp);
        if (at >= 0 && base < 0) base = at;
        pendingIdx = std::max(at >= 0 ? at - base : prevIdx + 1, prevIdx + 1);
        prevIdx = pendingIdx;
        return 1;
      }
      if (rc == AVERROR_EOF || (rc == AVERROR(EAGAIN) && flushed)) return -1;
      if (rc != AVERROR(EAGAIN)) {
        Error = "a frame does not decode: " + AvError(rc);
        return 0;
      }
      rc = av_read_frame(fmt, pkt);
      if (rc < 0) {
        flushed = true;
        avcodec_send_packet(dec, nullptr);
        continue;
      }
      if (pkt->stream_index != stream || pkt->size == 0) {
        av_packet_unref(pkt);
        continue;
      }
      rc = avcodec_send_packet(dec, pkt);
      av_packet_unref(pkt);
      if (rc < 0 && rc != AVERROR(EAGAIN)) {
        Error = "a frame does not decode: " + AvError(rc);
        return 0;
      }
    }
  }

  // The frame to show as number Index, decoding as far as needed; nullptr at the end.
  AVFrame* Seek(int Index, std::string& Error) {
    for (;;) {
      if (lastIdx == Index) return last;
      if (pendingIdx > Index) return lastIdx >= 0 ? last : pending;  // a gap repeats the frame before
      if (pendingIdx >= 0) {  // reached: it becomes the latest
        av_frame_unref(last);
        av_frame_move_ref(last, pending);
        lastIdx = pendingIdx;
        pendingIdx = -1;
        continue;
      }
      if (DecodeNext(Error) < 0) {
        Error = "the video ends before frame " + std::to_string(Index);
        return nullptr;
      }
    }
  }

  // Frame F into Out as a packed bottom-up 24-bit DIB of W x H.
  bool Convert(const AVFrame* F, std::vector<uint8_t>& Out, int W, int H, std::string& Error) {
    const int64_t stride = Stride24(W);
    const size_t bytes = sizeof(TBitmapInfoHeader) + size_t(stride * H);
    if (Out.size() != bytes) Out.assign(bytes, 0);
    TBitmapInfoHeader h;
    h.biWidth = W;
    h.biHeight = H;
    h.biBitCount = 24;
    h.biSizeImage = uint32_t(stride * H);
    std::memcpy(Out.data(), &h, sizeof h);
    bool full = F->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat sf = PlainFormat(AVPixelFormat(F->format), full);
    if (F->width <= 0 || F->height <= 0 ||
        !scaler.Prepare(F->width, F->height, sf, full, F->colorspace, W, H, AV_PIX_FMT_BGR24, true)) {
      Error = "a frame has a pixel format that cannot be converted";
      return false;
    }
    // The rows bottom-up: the destination starts at the last row and steps backwards.
    uint8_t* dst[4] = {Out.data() + sizeof h + (H - 1) * stride, nullptr, nullptr, nullptr};
    const int dstStride[4] = {-int(stride), 0, 0, 0};
    sws_scale(scaler.ctx, F->data, F->linesize, 0, F->height, dst, dstStride);
    return true;
  }
};

TAVIReader::TAVIReader() = default;
TAVIReader::~TAVIReader() = default;

bool TAVIReader::Open(const std::string& FileName) {
  Close();
  AVIFileInit();
  auto impl = std::make_unique<Impl>();
  impl->file = FileName;
  Error_.clear();
  if (!impl->OpenInput(Error_)) return false;
  const AVStream* st = impl->fmt->streams[impl->stream];
  TAVIStreamInfo info;
  info.Width = impl->dec->width > 0 ? impl->dec->width : st->codecpar->width;
  info.Height = impl->dec->height > 0 ? impl->dec->height : st->codecpar->height;
  if (!SizeOk(info.Width, info.Height)) {
    Error_ = "the video of \"" + FileName + "\" has no usable frame size (" + std::to_string(info.Width) + " x " +
             std::to_string(info.Height) + ")";
    return false;
  }
  UsableRate(impl->fps, info.Rate, info.Scale);
  int64_t n = st->nb_frames;
  if (n <= 0 || n > INT32_MAX) n = impl->CountFrames(Error_);
  if (n < 0) return false;
  info.Length = int32_t(n);
  Info_ = info;
  I_ = std::move(impl);
  return true;
}

void TAVIReader::Close() {
  I_.reset();
  Info_ = TAVIStreamInfo();
  Frame_.clear();
}

bool TAVIReader::IsOpen() const { return I_ != nullptr; }

const TBitmapInfoHeader* TAVIReader::GetFrame(int Index) {
  if (I_ == nullptr) {
    Error_ = "no video is open";
    return nullptr;
  }
  if (Index < 0 || Index >= Info_.Length) {
    Error_ = "frame " + std::to_string(Index) + " is not in the video (" + std::to_string(Info_.Length) + " frames)";
    return nullptr;
  }
  Impl& d = *I_;
  if (Index == d.current) return reinterpret_cast<const TBitmapInfoHeader*>(Frame_.data());
  d.current = -1;
  if (Index < d.lastIdx && !d.Rewind(Error_)) {
    I_.reset();  // the file could not be opened again: nothing more can be read
    return nullptr;
  }
  const AVFrame* f = d.Seek(Index, Error_);
  if (f == nullptr || !d.Convert(f, Frame_, Info_.Width, Info_.Height, Error_)) return nullptr;
  d.current = Index;
  return reinterpret_cast<const TBitmapInfoHeader*>(Frame_.data());
}

HGLOBAL TAVIReader::GetFrameDIB(int Index) {
  if (GetFrame(Index) == nullptr) return 0;
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Frame_.size());
  if (h == 0) {
    Error_ = "out of memory";
    return 0;
  }
  std::memcpy(GlobalLock(h), Frame_.data(), Frame_.size());
  GlobalUnlock(h);
  return h;
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

// A packed DIB frame read into top-down BGR rows of W x H (three bytes a pixel, no padding).
bool UnpackDIB(const void* PackedDIB, size_t Size, int W, int H, std::vector<uint8_t>& Out, std::string& Error) {
  if (PackedDIB == nullptr || Size < sizeof(TBitmapInfoHeader)) {
    Error = "the frame is shorter than a bitmap header";
    return false;
  }
  TBitmapInfoHeader h;
  std::memcpy(&h, PackedDIB, sizeof h);
  const auto* base = static_cast<const uint8_t*>(PackedDIB);
  const int bits = h.biBitCount;
  if (h.biSize < sizeof h || h.biSize > Size) {
    Error = "the frame's bitmap header is damaged";
    return false;
  }
  if (h.biWidth != W || (h.biHeight != H && h.biHeight != -H)) {
    Error = "the frame is " + std::to_string(h.biWidth) + " x " + std::to_string(std::abs(int64_t(h.biHeight))) +
            ", the stream " + std::to_string(W) + " x " + std::to_string(H);
    return false;
  }
  if (h.biCompression != BI_RGB || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
    Error = "the frame is not an uncompressed 1, 4, 8, 24 or 32-bit bitmap";
    return false;
  }
  uint64_t colors = 0;
  if (bits <= 8) colors = h.biClrUsed != 0 ? h.biClrUsed : (1u << bits);
  const uint64_t tableAt = h.biSize, rowsAt = tableAt + colors * 4;
  const uint64_t stride = ((uint64_t(W) * uint64_t(bits) + 31) / 32) * 4;
  if (rowsAt > Size || stride * uint64_t(H) > Size - rowsAt) {
    Error = "the frame's data is shorter than its rows";
    return false;
  }
  const uint8_t* table = base + tableAt;
  const uint64_t usable = std::min<uint64_t>(colors, uint64_t(1) << std::min(bits, 8));
  Out.resize(size_t(W) * 3 * size_t(H));
  for (int y = 0; y < H; ++y) {
    const int srcRow = h.biHeight > 0 ? H - 1 - y : y;
    const uint8_t* s = base + rowsAt + uint64_t(srcRow) * stride;
    uint8_t* o = Out.data() + size_t(y) * W * 3;
    if (bits == 24) {
      std::memcpy(o, s, size_t(W) * 3);
    } else if (bits == 32) {
      for (int x = 0; x < W; ++x, s += 4, o += 3) o[0] = s[0], o[1] = s[1], o[2] = s[2];
    } else {
      const int perByte = 8 / bits, mask = (1 << bits) - 1;
      for (int x = 0; x < W; ++x, o += 3) {
        const unsigned idx = (s[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask;
        if (idx < usable) o[0] = table[idx * 4], o[1] = table[idx * 4 + 1], o[2] = table[idx * 4 + 2];
        else o[0] = o[1] = o[2] = 0;  // an index past the table: black
      }
    }
  }
  return true;
}

// Motion JPEG quality 1..100 as FFmpeg's quantiser scale 31..1.
int MJPEGQScale(int Quality) { return 1 + (100 - std::clamp(Quality, 1, 100)) * 30 / 99; }

}  // namespace

struct TAVIWriter::Impl {
  std::string target, temp;
  AVFormatContext* oc = nullptr;
  AVStream* st = nullptr;
  AVCodecContext* enc = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* pkt = nullptr;
  Scaler scaler;
  AVRational rate{0, 1};  // frames per second
  TAVISaveOptions options;
  int W = 0, H = 0;
  bool streamMade = false, headerWritten = false;
  std::vector<uint8_t> rgb, raw;

  ~Impl() { Discard(); }
  void FreeAll() {
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&enc);
    if (oc != nullptr) {
      avio_closep(&oc->pb);
      avformat_free_context(oc);
      oc = nullptr;
    }
    st = nullptr;
  }
  void Discard() {
    FreeAll();
    if (!temp.empty()) ::unlink(temp.c_str());
    temp.clear();
  }

  // Hands every packet the encoder has ready to the file.
  bool Drain(std::string& Error) {
    for (;;) {
      int rc = avcodec_receive_packet(enc, pkt);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) {
        Error = "the frame cannot be encoded: " + AvError(rc);
        return false;
      }
      av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
      pkt->stream_index = st->index;
      rc = av_interleaved_write_frame(oc, pkt);
      if (rc < 0) {
        Error = "cannot write the file: " + AvError(rc);
        return false;
      }
    }
  }
};

TAVIWriter::TAVIWriter() = default;
TAVIWriter::~TAVIWriter() { Abort(); }

bool TAVIWriter::Create(const std::string& FileName) {
  Abort();
  AVIFileInit();
  Error_.clear();
  Frames_ = 0;
  auto d = std::make_unique<Impl>();
  d->target = FileName;
  std::string tmpl = FileName + ".corvex-XXXXXX";
  const int fd = FileName.empty() ? -1 : ::mkstemp(tmpl.data());
  if (fd < 0) {
    Error_ = "cannot create \"" + FileName + "\": " + std::strerror(FileName.empty() ? ENOENT : errno);
    return false;
  }
  d->temp = tmpl;
  // The finished file takes the old one's permissions, or the usual ones of a new file.
  struct stat old {};
  mode_t mode = 0666;
  if (::stat(FileName.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  ::fchmod(fd, mode);
  ::close(fd);
  int rc = avformat_alloc_output_context2(&d->oc, nullptr, "avi", d->temp.c_str());
  if (rc >= 0 && d->oc != nullptr) rc = avio_open(&d->oc->pb, d->temp.c_str(), AVIO_FLAG_WRITE);
  d->pkt = av_packet_alloc();
  if (rc < 0 || d->oc == nullptr || d->pkt == nullptr) {
    Error_ = "cannot create \"" + FileName + "\": " + AvError(rc < 0 ? rc : AVERROR(ENOMEM));
    return false;  // d's end removes the temporary file
  }
  I_ = std::move(d);
  return true;
}

bool TAVIWriter::CreateStream(uint32_t Rate, uint32_t Scale) {
  if (I_ == nullptr || I_->headerWritten) {
    Error_ = I_ == nullptr ? "no AVI file is being written" : "the stream format is already set";
    return false;
  }
  if (Rate == 0 || Scale == 0) {
    Error_ = "the frame rate " + std::to_string(Rate) + "/" + std::to_string(Scale) + " is not usable";
    return false;
  }
  int num = 0, den = 0;
  av_reduce(&num, &den, Rate, Scale, INT32_MAX);
  I_->rate = AVRational{num, den};
  I_->streamMade = true;
  return true;
}

bool TAVIWriter::SetCompression(const TAVISaveOptions& Options) {
  if (I_ == nullptr || I_->headerWritten) {
    Error_ = I_ == nullptr ? "no AVI file is being written" : "the stream format is already set";
    return false;
  }
  I_->options = Options;
  I_->options.Quality = std::clamp(Options.Quality, 1, 100);
  return true;
}

bool TAVIWriter::SetFormat(const TBitmapInfoHeader& Header) {
  if (I_ == nullptr || !I_->streamMade || I_->headerWritten) {
    Error_ = I_ == nullptr ? "no AVI file is being written"
             : I_->headerWritten ? "the stream format is already set"
                                 : "the stream has not been created";
    return false;
  }
  Impl& d = *I_;
  const int64_t W = Header.biWidth, H = std::abs(int64_t(Header.biHeight));
  if (!SizeOk(W, H) || W > INT32_MAX || H > INT32_MAX) {
    Error_ = "the frame size " + std::to_string(W) + " x " + std::to_string(H) + " is not usable";
    return false;
  }
  d.W = int(W);
  d.H = int(H);
  d.st = avformat_new_stream(d.oc, nullptr);
  if (d.st == nullptr) {
    Error_ = "out of memory";
    return false;
  }
  d.st->time_base = av_inv_q(d.rate);
  d.st->avg_frame_rate = d.rate;
  d.st->r_frame_rate = d.rate;
  AVDictionary* muxOpts = nullptr;
  int rc = 0;
  if (d.options.Codec == avcUncompressed) {
    // Uncompressed DIBs, bottom row first as the bitmap header's positive height says.
    AVCodecParameters* par = d.st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;
    par->format = AV_PIX_FMT_BGR24;
    par->bits_per_coded_sample = 24;
    par->width = d.W;
    par->height = d.H;
    av_dict_set(&muxOpts, "flipped_raw_rgb", "1", 0);
  } else {
    const bool mjpeg = d.options.Codec == avcMJPEG;
    const AVCodec* codec = avcodec_find_encoder(mjpeg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_FFV1);
    d.enc = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    d.frame = av_frame_alloc();
    if (d.enc == nullptr || d.frame == nullptr) {
      Error_ = std::string("the ") + (mjpeg ? "Motion JPEG" : "FFV1") + " encoder is not available";
      return false;
    }
    d.enc->width = d.W;
    d.enc->height = d.H;
    d.enc->time_base = d.st->time_base;
    d.enc->framerate = d.rate;
    d.enc->gop_size = 1;  // every frame a key frame
    d.enc->thread_count = 1;
    if (mjpeg) {
      d.enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
      d.enc->color_range = AVCOL_RANGE_JPEG;
      d.enc->flags |= AV_CODEC_FLAG_QSCALE;
      d.enc->global_quality = FF_QP2LAMBDA * MJPEGQScale(d.options.Quality);
    } else {
      d.enc->pix_fmt = AV_PIX_FMT_BGR0;  // lossless RGB
    }
    if (d.oc->oformat->flags & AVFMT_GLOBALHEADER) d.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((rc = avcodec_open2(d.enc, codec, nullptr)) < 0 ||
        (rc = avcodec_parameters_from_context(d.st->codecpar, d.enc)) < 0) {
      Error_ = "cannot open the video encoder: " + AvError(rc);
      return false;
    }
    d.frame->format = d.enc->pix_fmt;
    d.frame->width = d.W;
    d.frame->height = d.H;
    d.frame->color_range = d.enc->color_range;
    if ((rc = av_frame_get_buffer(d.frame, 0)) < 0) {
      Error_ = "out of memory";
      return false;
    }
  }
  rc = avformat_write_header(d.oc, &muxOpts);
  av_dict_free(&muxOpts);
  if (rc < 0) {
    Error_ = "cannot write the AVI header: " + AvError(rc);
    return false;
  }
  d.headerWritten = true;
  return true;
}

bool TAVIWriter::WriteFrame(const void* PackedDIB, size_t Size) {
  if (I_ == nullptr || !I_->headerWritten) {
    Error_ = I_ == nullptr ? "no AVI file is being written" : "the stream format is not set";
    return false;
  }
  Impl& d = *I_;
  if (!UnpackDIB(PackedDIB, Size, d.W, d.H, d.rgb, Error_)) return false;
  const int64_t pts = av_rescale_q(Frames_, av_inv_q(d.rate), d.st->time_base);
  int rc = 0;
  if (d.enc == nullptr) {
    // The DIB's own rows: bottom row first, each padded to four bytes.
    const int64_t stride = Stride24(d.W);
    if ((rc = av_new_packet(d.pkt, int(stride * d.H))) < 0) {
      Error_ = "out of memory";
      return false;
    }
    std::memset(d.pkt->data, 0, size_t(d.pkt->size));
    for (int y = 0; y < d.H; ++y)
      std::memcpy(d.pkt->data + (d.H - 1 - y) * stride, d.rgb.data() + size_t(y) * d.W * 3, size_t(d.W) * 3);
    d.pkt->pts = d.pkt->dts = pts;
    d.pkt->duration = av_rescale_q(1, av_inv_q(d.rate), d.st->time_base);
    d.pkt->flags |= AV_PKT_FLAG_KEY;
    d.pkt->stream_index = d.st->index;
    rc = av_interleaved_write_frame(d.oc, d.pkt);
    if (rc < 0) {
      Error_ = "cannot write the file: " + AvError(rc);
      return false;
    }
  } else {
    if ((rc = av_frame_make_writable(d.frame)) < 0 ||
        !d.scaler.Prepare(d.W, d.H, AV_PIX_FMT_BGR24, true, AVCOL_SPC_BT470BG, d.W, d.H, d.enc->pix_fmt,
                          d.enc->color_range == AVCOL_RANGE_JPEG)) {
      Error_ = "cannot convert the frame for the encoder";
      return false;
    }
    const uint8_t* src[4] = {d.rgb.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {d.W * 3, 0, 0, 0};
    sws_scale(d.scaler.ctx, src, srcStride, 0, d.H, d.frame->data, d.frame->linesize);
    d.frame->pts = av_rescale_q(Frames_, av_inv_q(d.rate), d.enc->time_base);
    d.frame->pict_type = AV_PICTURE_TYPE_I;
    d.frame->quality = d.enc->global_quality;
    if ((rc = avcodec_send_frame(d.enc, d.frame)) < 0) {
      Error_ = "the frame cannot be encoded: " + AvError(rc);
      return false;
    }
    if (!d.Drain(Error_)) return false;
  }
  ++Frames_;
  return true;
}

bool TAVIWriter::Close() {
  if (I_ == nullptr) {
    Error_ = "no AVI file is being written";
    return false;
  }
  Impl& d = *I_;
  bool ok = d.headerWritten;
  if (!ok) Error_ = "the stream format was never set";
  if (ok && d.enc != nullptr) {
    avcodec_send_frame(d.enc, nullptr);
    ok = d.Drain(Error_);
  }
  int rc = 0;
  if (ok && (rc = av_write_trailer(d.oc)) < 0) {
    Error_ = "cannot finish the file: " + AvError(rc);
    ok = false;
  }
  if (ok && d.oc->pb != nullptr) {
    avio_flush(d.oc->pb);
    if (d.oc->pb->error < 0) {
      Error_ = "cannot write the file: " + AvError(d.oc->pb->error);
      ok = false;
    }
    if ((rc = avio_closep(&d.oc->pb)) < 0 && ok) {
      Error_ = "cannot write the file: " + AvError(rc);
      ok = false;
    }
  }
  d.FreeAll();
  if (ok && ::rename(d.temp.c_str(), d.target.c_str()) != 0) {
    Error_ = "cannot replace \"" + d.target + "\": " + std::strerror(errno);
    ok = false;
  }
  if (ok) d.temp.clear();  // renamed: nothing to remove
  I_.reset();
  return ok;
}

void TAVIWriter::Abort() { I_.reset(); }

}  // namespace corvex
