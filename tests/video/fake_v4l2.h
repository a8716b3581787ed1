// A fake V4L2 camera behind the capture service's system-call layer: streaming buffers that the
// test fills (or that fill themselves, as a free-running camera does), a format it may refuse or
// adjust, and an unplug. The driver's real frame thread runs against it.
#pragma once

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "corvex/acquire/videocap_service.h"

namespace fakecam {

struct Device {
  std::mutex Mu;
  std::condition_variable Cv;
  // Behaviour.
  bool AcceptBGR = true;      // false: only YUYV (which the service cannot take)
  bool RefuseSFmt = false;    // S_FMT fails with EINVAL
  int MaxW = 160, MaxH = 120;  // larger sizes are cut to these
  int PadBytes = 8;            // bytes of padding at the end of each row
  bool AutoFrames = false;     // every wait finds a new frame (a free-running camera)
  bool Unplugged = false;
  // State.
  int W = 64, H = 48;
  bool Streaming = false;
  std::vector<std::vector<uint8_t>> Bufs;
  std::deque<int> Queued;                     // owned by the device
  std::deque<std::pair<int, uint32_t>> Filled;  // ready: index, bytes used
  int Dequeued = 0;
  uint32_t AutoCount = 0;

  uint32_t Stride() const { return uint32_t(W * 3 + PadBytes); }
  uint32_t SizeImage() const { return Stride() * uint32_t(H); }

  // Fills the next free buffer top-down with rows of (B, G, R) = (Value, row, 255 - Value) and
  // reports Used bytes (0: the whole image). False when no buffer is free.
  bool PushLocked(uint8_t Value, uint32_t Used) {
    if (Queued.empty()) return false;
    const int i = Queued.front();
    Queued.pop_front();
    auto& b = Bufs[size_t(i)];
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint8_t* p = &b[size_t(y) * Stride() + size_t(x) * 3];
        p[0] = Value;
        p[1] = uint8_t(y);
        p[2] = uint8_t(255 - Value);
      }
    Filled.push_back({i, Used == 0 ? SizeImage() : Used});
    return true;
  }
  bool Push(uint8_t Value, uint32_t Used = 0) {
    std::lock_guard<std::mutex> g(Mu);
    const bool ok = PushLocked(Value, Used);
    Cv.notify_all();
    return ok;
  }
  void Unplug() {
    std::lock_guard<std::mutex> g(Mu);
    Unplugged = true;
    Cv.notify_all();
  }
  int DequeuedCount() {
    std::lock_guard<std::mutex> g(Mu);
    return Dequeued;
  }
};

inline Device*& Current() {
  static Device* d = nullptr;
  return d;
}

inline int Open(const char* Path, int) {
  Device* d = Current();
  if (d == nullptr || std::string(Path) != "/dev/fakecam0") {
    errno = ENOENT;
    return -1;
  }
  std::lock_guard<std::mutex> g(d->Mu);
  if (d->Unplugged) {
    errno = ENODEV;
    return -1;
  }
  return 77;
}
inline int Close(int) { return 0; }

inline void FillFormat(Device& d, v4l2_format& f) {
  f.fmt.pix.width = uint32_t(d.W);
  f.fmt.pix.height = uint32_t(d.H);
  f.fmt.pix.pixelformat = d.AcceptBGR ? V4L2_PIX_FMT_BGR24 : V4L2_PIX_FMT_YUYV;
  f.fmt.pix.bytesperline = d.Stride();
  f.fmt.pix.sizeimage = d.SizeImage();
}

inline int Ioctl(int, unsigned long Request, void* Arg) {
  Device& d = *Current();
  std::lock_guard<std::mutex> g(d.Mu);
  if (d.Unplugged && Request != VIDIOC_STREAMOFF && Request != VIDIOC_REQBUFS) {
    errno = ENODEV;
    return -1;
  }
  switch (Request) {
    case VIDIOC_QUERYCAP: {
      auto* c = static_cast<v4l2_capability*>(Arg);
      std::memset(c, 0, sizeof *c);
      std::strcpy(reinterpret_cast<char*>(c->driver), "fakecam");
      std::strcpy(reinterpret_cast<char*>(c->card), "Fake Camera");
      c->version = 0x010203;
      c->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
      c->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
      return 0;
    }
    case VIDIOC_G_FMT:
      FillFormat(d, *static_cast<v4l2_format*>(Arg));
      return 0;
    case VIDIOC_S_FMT: {
      if (d.RefuseSFmt || d.Streaming) {
        errno = d.Streaming ? EBUSY : EINVAL;
        return -1;
      }
      auto* f = static_cast<v4l2_format*>(Arg);
      d.W = std::min<int>(int(f->fmt.pix.width), d.MaxW);
      d.H = std::min<int>(int(f->fmt.pix.height), d.MaxH);
      FillFormat(d, *f);
      return 0;
    }
    case VIDIOC_S_PARM:
      return 0;
    case VIDIOC_REQBUFS: {
      auto* r = static_cast<v4l2_requestbuffers*>(Arg);
      d.Queued.clear();
      d.Filled.clear();
      d.Bufs.clear();
      r->count = std::min<uint32_t>(r->count, 4);
      for (uint32_t i = 0; i < r->count; ++i) d.Bufs.emplace_back(d.SizeImage(), 0);
      return 0;
    }
    case VIDIOC_QUERYBUF: {
      auto* b = static_cast<v4l2_buffer*>(Arg);
      if (b->index >= d.Bufs.size()) {
        errno = EINVAL;
        return -1;
      }
      b->length = uint32_t(d.Bufs[b->index].size());
      b->m.offset = b->index * 4096;
      return 0;
    }
    case VIDIOC_QBUF: {
      auto* b = static_cast<v4l2_buffer*>(Arg);
      if (b->index >= d.Bufs.size()) {
        errno = EINVAL;
        return -1;
      }
      d.Queued.push_back(int(b->index));
      return 0;
    }
    case VIDIOC_DQBUF: {
      if (d.Filled.empty()) {
        errno = EAGAIN;
        return -1;
      }
      auto* b = static_cast<v4l2_buffer*>(Arg);
      b->index = uint32_t(d.Filled.front().first);
      b->bytesused = d.Filled.front().second;
      b->flags = V4L2_BUF_FLAG_DONE;
      d.Filled.pop_front();
      ++d.Dequeued;
      return 0;
    }
    case VIDIOC_STREAMON:
      d.Streaming = true;
      return 0;
    case VIDIOC_STREAMOFF:
      d.Streaming = false;
      return 0;
    default:
      errno = ENOTTY;
      return -1;
  }
}

inline void* Mmap(void*, size_t, int, int, int, int64_t Offset) {
  Device& d = *Current();
  std::lock_guard<std::mutex> g(d.Mu);
  const size_t i = size_t(Offset / 4096);
  if (i >= d.Bufs.size()) return MAP_FAILED;
  return d.Bufs[i].data();
}
inline int Munmap(void*, size_t) { return 0; }

inline int WaitReadable(int, int TimeoutMs) {
  Device& d = *Current();
  std::unique_lock<std::mutex> l(d.Mu);
  if (d.AutoFrames && !d.Unplugged) {
    // A camera of about 200 frames a second.
    d.Cv.wait_for(l, std::chrono::milliseconds(5), [&] { return d.Unplugged; });
    if (d.Filled.empty()) d.PushLocked(uint8_t(d.AutoCount++), 0);
  }
  d.Cv.wait_for(l, std::chrono::milliseconds(TimeoutMs), [&] { return !d.Filled.empty() || d.Unplugged; });
  if (d.Unplugged) return 1;  // readable: the next ioctl reports the device gone
  return d.Filled.empty() ? 0 : 1;
}

inline const corvex::TV4L2Ops kOps = {Open, Close, Ioctl, Mmap, Munmap, WaitReadable};

// Installs Dev as the only V4L2 device for the life of the object.
class Installed {
 public:
  explicit Installed(Device& Dev) {
    Current() = &Dev;
    paths_ = {"/dev/fakecam0"};
    corvex::CapSetV4L2Layer(&kOps, &paths_);
  }
  ~Installed() {
    corvex::CapSetV4L2Layer(nullptr, nullptr);
    Current() = nullptr;
  }

 private:
  std::vector<std::string> paths_;
};

}  // namespace fakecam
