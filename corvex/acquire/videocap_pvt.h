// Inside the video-capture service: the drivers behind a capture window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvex::capsvc {

// Where a driver delivers frames: 24-bit DIB rows, bottom row first, rows padded to 4 bytes,
// Size bytes (the driver's image size). Threaded drivers call it on their frame thread.
class TFrameSink {
 public:
  virtual ~TFrameSink() = default;
  virtual void FrameFromDriver(const uint8_t* Bits, size_t Size) = 0;
  // The device went away (or failed for good) while streaming; no frame follows.
  virtual void DriverLost(const std::string& Why) = 0;
};

class TDriver {
 public:
  virtual ~TDriver() = default;
  // Opens the device; false with Error set.
  virtual bool Open(std::string& Error) = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Asks for another frame size while stopped; the driver may choose the nearest size it has.
  // False, with Error set and the size unchanged, when the device refuses.
  virtual bool SetSize(int W, int H, std::string& Error) = 0;
  // Starts delivering about one frame every IntervalMs to Sink.
  virtual bool Start(unsigned IntervalMs, TFrameSink* Sink, std::string& Error) = 0;
  // Stops; returns when no further call of the sink can happen.
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
  // True when frames come from a thread of the driver's own.
  virtual bool Threaded() const = 0;
  // Unthreaded drivers: makes the next frame at once (Size bytes).
  virtual bool Snap(std::vector<uint8_t>& /*Bits*/) { return false; }
};

// Bytes of one 24-bit frame of the size, rows padded to 4 bytes.
inline size_t FrameBytes(int W, int H) { return ((size_t(W) * 3 + 3) & ~size_t(3)) * size_t(H); }

struct TDeviceInfo {
  std::string Path;
  std::string Name;
  std::string Version;
};
// The V4L2 capture devices, in path order.
std::vector<TDeviceInfo> ListV4L2Devices();
std::unique_ptr<TDriver> MakeV4L2Driver(const std::string& Path);
std::unique_ptr<TDriver> MakeTestDriver(int W, int H);
// Draws synthetic frame N (bars moved by N, the counter N) into Bits (FrameBytes(W, H) bytes).
void DrawTestFrame(uint8_t* Bits, int W, int H, uint32_t N);

}  // namespace corvex::capsvc
