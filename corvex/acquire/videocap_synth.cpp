// The synthetic capture source "test": eight colour bars that move four pixels to the left with
// every frame, and the frame number in a black box at the top left. Frames are made on the
// user-interface thread by a timer, so they follow the application's (virtual) clock.
#include <algorithm>
#include <cstring>
#include <string>

#include "corvex/acquire/videocap_pvt.h"
#include "corvex/platform/ui/forms.h"

namespace corvex::capsvc {

namespace {

// Blue, green, red of the bars, left to right: white, yellow, cyan, green, magenta, red, blue,
// black.
constexpr uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                 {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};

// 3 x 5 digits, one row a byte (bit 2 the left column).
constexpr uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

class TTestDriver : public TDriver, public TComponent {
 public:
  TTestDriver(int W, int H) : TComponent(nullptr), W_(W), H_(H) {}
  ~TTestDriver() override { Stop(); }

  bool Open(std::string&) override { return true; }
  int Width() const override { return W_; }
  int Height() const override { return H_; }
  bool SetSize(int W, int H, std::string& Error) override {
    if (W < 8 || H < 8 || W > 4096 || H > 4096) {
      Error = "the test source makes frames from 8 x 8 to 4096 x 4096 pixels";
      return false;
    }
    W_ = W;
    H_ = H;
    return true;
  }
  bool Start(unsigned IntervalMs, TFrameSink* Sink, std::string&) override {
    Stop();
    Sink_ = Sink;
    Timer_ = new TTimer(this);
    Timer_->SetInterval(std::max(1u, IntervalMs));
    Timer_->OnTimer = TNotifyEvent(this, &TTestDriver::Tick);
    Timer_->SetEnabled(true);
    return true;
  }
  void Stop() override {
    if (Timer_ == nullptr) return;
    Timer_->SetEnabled(false);
    Timer_->OnTimer = nullptr;
    delete Timer_;  // also from inside its own tick: the clock touches no timer after its call
    Timer_ = nullptr;
    Sink_ = nullptr;
  }
  bool Running() const override { return Timer_ != nullptr; }
  bool Threaded() const override { return false; }
  bool Snap(std::vector<uint8_t>& Bits) override {
    Bits.resize(FrameBytes(W_, H_));
    DrawTestFrame(Bits.data(), W_, H_, N_++);
    return true;
  }

 private:
  void Tick(TObject*) {
    if (Sink_ == nullptr) return;
    Frame_.resize(FrameBytes(W_, H_));
    DrawTestFrame(Frame_.data(), W_, H_, N_++);
    // The sink may stop this driver or have it destroyed: nothing of it is touched afterwards.
    Sink_->FrameFromDriver(Frame_.data(), Frame_.size());
  }

  int W_, H_;
  uint32_t N_ = 0;
  TTimer* Timer_ = nullptr;
  TFrameSink* Sink_ = nullptr;
  std::vector<uint8_t> Frame_;
};

}  // namespace

void DrawTestFrame(uint8_t* Bits, int W, int H, uint32_t N) {
  const size_t stride = (size_t(W) * 3 + 3) & ~size_t(3);
  const uint32_t shift = uint32_t((uint64_t(N) * 4) % uint64_t(W));
  // One top-down row of bars, copied to every row.
  std::vector<uint8_t> row(stride, 0);
  for (int x = 0; x < W; ++x) {
    const int bar = int(((uint64_t(x) + shift) % uint64_t(W)) * 8 / uint64_t(W));
    std::memcpy(&row[size_t(x) * 3], kBars[bar], 3);
  }
  for (int y = 0; y < H; ++y) std::memcpy(Bits + stride * size_t(y), row.data(), stride);
  // The counter: white digits, each 3 x 5 cells of Scale pixels, in a black box.
  const std::string text = std::to_string(N);
  const int scale = std::max(1, H / 40);
  const int boxW = (int(text.size()) * 4 + 1) * scale, boxH = 7 * scale;
  auto put = [&](int x, int y, uint8_t v) {
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    uint8_t* p = Bits + stride * size_t(H - 1 - y) + size_t(x) * 3;  // y counts from the top
    p[0] = p[1] = p[2] = v;
  };
  for (int y = 0; y < boxH; ++y)
    for (int x = 0; x < boxW; ++x) put(x, y, 0);
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t* glyph = kDigits[text[i] - '0'];
    for (int gy = 0; gy < 5; ++gy)
      for (int gx = 0; gx < 3; ++gx) {
        if (((glyph[gy] >> (2 - gx)) & 1) == 0) continue;
        const int x0 = (int(i) * 4 + 1 + gx) * scale, y0 = (1 + gy) * scale;
        for (int dy = 0; dy < scale; ++dy)
          for (int dx = 0; dx < scale; ++dx) put(x0 + dx, y0 + dy, 255);
      }
  }
}

std::unique_ptr<TDriver> MakeTestDriver(int W, int H) { return std::make_unique<TTestDriver>(W, H); }

}  // namespace corvex::capsvc
