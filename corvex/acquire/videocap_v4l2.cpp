// V4L2 capture devices through libv4l2: the device is asked for BGR24 frames, which libv4l2
// converts from whatever the camera delivers (YUYV, MJPEG, ...). Frames stream through memory-
// mapped buffers on a frame thread of the driver's own, which flips them into bottom-up DIB rows
// and hands them to the capture window.
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <string>
#include <thread>

#include "corvex/acquire/videocap_pvt.h"
#include "corvex/acquire/videocap_service.h"

namespace corvex {

namespace {

int RealOpen(const char* Path, int Flags) { return v4l2_open(Path, Flags); }
int RealClose(int Fd) { return v4l2_close(Fd); }
int RealIoctl(int Fd, unsigned long Request, void* Arg) { return v4l2_ioctl(Fd, Request, Arg); }
void* RealMmap(void* Start, size_t Length, int Prot, int Flags, int Fd, int64_t Offset) {
  return v4l2_mmap(Start, Length, Prot, Flags, Fd, Offset);
}
int RealMunmap(void* Start, size_t Length) { return v4l2_munmap(Start, Length); }
int RealWait(int Fd, int TimeoutMs) {
  pollfd p{Fd, POLLIN, 0};
  const int r = poll(&p, 1, TimeoutMs);
  if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLIN) == 0) {
    errno = ENODEV;
    return -1;
  }
  return r;
}
const TV4L2Ops kRealOps = {RealOpen, RealClose, RealIoctl, RealMmap, RealMunmap, RealWait};

std::mutex gLayerMu;
const TV4L2Ops* gOps = &kRealOps;
std::vector<std::string> gPaths;
bool gPathsSet = false;

const TV4L2Ops& Ops() {
  std::lock_guard<std::mutex> g(gLayerMu);
  return *gOps;
}

// Retries an ioctl interrupted by a signal.
int Xioctl(const TV4L2Ops& ops, int Fd, unsigned long Request, void* Arg) {
  int r;
  do r = ops.Ioctl(Fd, Request, Arg);
  while (r == -1 && errno == EINTR);
  return r;
}

std::string CStr(const uint8_t* s, size_t n) {
  size_t k = 0;
  while (k < n && s[k] != 0) ++k;
  return std::string(reinterpret_cast<const char*>(s), k);
}

// The capabilities of the device node itself.
uint32_t NodeCaps(const v4l2_capability& c) {
  return (c.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? c.device_caps : c.capabilities;
}

std::vector<std::string> DevicePaths() {
  {
    std::lock_guard<std::mutex> g(gLayerMu);
    if (gPathsSet) return gPaths;
  }
  std::vector<std::string> paths;
  if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.rfind("video", 0) == 0 && n.size() > 5 &&
          std::all_of(n.begin() + 5, n.end(), [](char c) { return c >= '0' && c <= '9'; }))
        paths.push_back("/dev/" + n);
    }
    closedir(d);
  }
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return paths;
}

class TV4L2Driver : public capsvc::TDriver {
 public:
  explicit TV4L2Driver(std::string Path) : Path_(std::move(Path)), Ops_(Ops()) {}
  ~TV4L2Driver() override {
    Stop();
    if (Fd_ >= 0) Ops_.Close(Fd_);
  }

  bool Open(std::string& Error) override {
    Fd_ = Ops_.Open(Path_.c_str(), O_RDWR | O_NONBLOCK);
    if (Fd_ < 0) {
      Error = Path_ + ": " + std::strerror(errno);
      return false;
    }
    v4l2_capability cap{};
    if (Xioctl(Ops_, Fd_, VIDIOC_QUERYCAP, &cap) != 0 || (NodeCaps(cap) & V4L2_CAP_VIDEO_CAPTURE) == 0 ||
        (NodeCaps(cap) & V4L2_CAP_STREAMING) == 0) {
      Error = Path_ + ": not a video capture device with streaming";
      return false;
    }
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(Ops_, Fd_, VIDIOC_G_FMT, &f) != 0) {
      Error = Path_ + ": cannot read the video format";
      return false;
    }
    const int w = f.fmt.pix.width > 0 ? int(f.fmt.pix.width) : 640;
    const int h = f.fmt.pix.height > 0 ? int(f.fmt.pix.height) : 480;
    return SetSize(w, h, Error);
  }
  int Width() const override { return W_; }
  int Height() const override { return H_; }

  bool SetSize(int W, int H, std::string& Error) override {
    if (Running()) return false;
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = uint32_t(W);
    f.fmt.pix.height = uint32_t(H);
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    f.fmt.pix.field = V4L2_FIELD_NONE;
    if (Xioctl(Ops_, Fd_, VIDIOC_S_FMT, &f) != 0) {
      Error = Path_ + ": the device refuses the format (" + std::strerror(errno) + ")";
      return false;
    }
    const uint32_t fw = f.fmt.pix.width, fh = f.fmt.pix.height;
    if (f.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24 || fw == 0 || fh == 0 || fw > 8192 || fh > 8192) {
      Error = Path_ + ": the device offers no format that converts to blue-green-red frames";
      return false;
    }
    W_ = int(fw);
    H_ = int(fh);
    Stride_ = std::max<uint32_t>(f.fmt.pix.bytesperline, fw * 3);
    return true;
  }

  bool Start(unsigned IntervalMs, capsvc::TFrameSink* Sink, std::string& Error) override {
    Stop();
    // The frame rate is a wish: devices that cannot change it keep their own.
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = std::max(1u, IntervalMs);
    parm.parm.capture.timeperframe.denominator = 1000;
    Xioctl(Ops_, Fd_, VIDIOC_S_PARM, &parm);

    v4l2_requestbuffers req{};
    req.count = 4;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (Xioctl(Ops_, Fd_, VIDIOC_REQBUFS, &req) != 0 || req.count == 0) {
      Error = Path_ + ": no streaming buffers (" + std::strerror(errno) + ")";
      return false;
    }
    for (uint32_t i = 0; i < std::min<uint32_t>(req.count, 32); ++i) {
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      b.index = i;
      if (Xioctl(Ops_, Fd_, VIDIOC_QUERYBUF, &b) != 0) break;
      void* p = Ops_.Mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, Fd_, b.m.offset);
      if (p == MAP_FAILED) break;
      Bufs_.push_back({static_cast<uint8_t*>(p), b.length});
      if (Xioctl(Ops_, Fd_, VIDIOC_QBUF, &b) != 0) break;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Bufs_.size() != std::min<uint32_t>(req.count, 32) || Xioctl(Ops_, Fd_, VIDIOC_STREAMON, &type) != 0) {
      Error = Path_ + ": cannot start streaming (" + std::strerror(errno) + ")";
      ReleaseBuffers();
      return false;
    }
    Frame_.assign(capsvc::FrameBytes(W_, H_), 0);
    Sink_ = Sink;
    StopFlag_ = false;
    Thread_ = std::thread([this] { Run(); });
    return true;
  }

  void Stop() override {
    if (!Thread_.joinable()) return;
    StopFlag_ = true;
    Thread_.join();
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Xioctl(Ops_, Fd_, VIDIOC_STREAMOFF, &type);
    ReleaseBuffers();
    Sink_ = nullptr;
  }
  bool Running() const override { return Thread_.joinable(); }
  bool Threaded() const override { return true; }

 private:
  struct Buffer {
    uint8_t* Data;
    size_t Length;
  };

  void ReleaseBuffers() {
    for (const Buffer& b : Bufs_) Ops_.Munmap(b.Data, b.Length);
    Bufs_.clear();
    v4l2_requestbuffers req{};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    Xioctl(Ops_, Fd_, VIDIOC_REQBUFS, &req);
  }

  // The frame thread: waits for filled buffers, converts them and gives them back. Ends on a
  // stop, or when the device fails (unplugged): then the sink hears of it once.
  void Run() {
    const size_t need = size_t(Stride_) * size_t(H_ - 1) + size_t(W_) * 3;
    const size_t dibStride = (size_t(W_) * 3 + 3) & ~size_t(3);
    while (!StopFlag_) {
      const int r = Ops_.WaitReadable(Fd_, 100);
      if (r < 0 && errno != EINTR) return Lost("the device stopped answering (" + std::string(std::strerror(errno)) + ")");
      if (r <= 0) continue;
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      if (Xioctl(Ops_, Fd_, VIDIOC_DQBUF, &b) != 0) {
        if (errno == EAGAIN) continue;
        return Lost("the device went away (" + std::string(std::strerror(errno)) + ")");
      }
      if (b.index < Bufs_.size() && (b.flags & V4L2_BUF_FLAG_ERROR) == 0) {
        const Buffer& buf = Bufs_[b.index];
        // Bytes used beyond the buffer are not there; a frame shorter than its rows is dropped.
        const size_t used = std::min<size_t>(b.bytesused == 0 ? buf.Length : b.bytesused, buf.Length);
        if (used >= need) {
          for (int y = 0; y < H_; ++y)
            std::memcpy(&Frame_[dibStride * size_t(H_ - 1 - y)], buf.Data + size_t(Stride_) * size_t(y), size_t(W_) * 3);
          Sink_->FrameFromDriver(Frame_.data(), Frame_.size());
        } else {
          ++Short_;
        }
      }
      if (b.index < Bufs_.size() && Xioctl(Ops_, Fd_, VIDIOC_QBUF, &b) != 0)
        return Lost("the device went away (" + std::string(std::strerror(errno)) + ")");
    }
  }
  void Lost(const std::string& Why) { Sink_->DriverLost(Path_ + ": " + Why); }

  std::string Path_;
  const TV4L2Ops Ops_;
  int Fd_ = -1;
  int W_ = 0, H_ = 0;
  uint32_t Stride_ = 0;
  std::vector<Buffer> Bufs_;
  std::vector<uint8_t> Frame_;
  capsvc::TFrameSink* Sink_ = nullptr;
  std::atomic<bool> StopFlag_{false};
  std::atomic<uint32_t> Short_{0};
  std::thread Thread_;
};

}  // namespace

void CapSetV4L2Layer(const TV4L2Ops* Ops, const std::vector<std::string>* DevicePaths) {
  std::lock_guard<std::mutex> g(gLayerMu);
  gOps = Ops != nullptr ? Ops : &kRealOps;
  gPathsSet = DevicePaths != nullptr;
  gPaths = DevicePaths != nullptr ? *DevicePaths : std::vector<std::string>();
}

namespace capsvc {

std::vector<TDeviceInfo> ListV4L2Devices() {
  const TV4L2Ops& ops = Ops();
  std::vector<TDeviceInfo> list;
  for (const std::string& path : DevicePaths()) {
    const int fd = ops.Open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) continue;
    v4l2_capability cap{};
    if (Xioctl(ops, fd, VIDIOC_QUERYCAP, &cap) == 0 && (NodeCaps(cap) & V4L2_CAP_VIDEO_CAPTURE) != 0 &&
        (NodeCaps(cap) & V4L2_CAP_STREAMING) != 0) {
      const std::string ver = std::to_string((cap.version >> 16) & 0xFF) + "." +
                              std::to_string((cap.version >> 8) & 0xFF) + "." + std::to_string(cap.version & 0xFF);
      list.push_back({path, CStr(cap.card, sizeof cap.card), "V4L2 " + CStr(cap.driver, sizeof cap.driver) + " " + ver});
    }
    ops.Close(fd);
  }
  return list;
}

std::unique_ptr<TDriver> MakeV4L2Driver(const std::string& Path) { return std::make_unique<TV4L2Driver>(Path); }

}  // namespace capsvc
}  // namespace corvex
