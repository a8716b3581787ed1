// Capture windows: the messages of the video-capture service over the drivers of videocap_pvt.h.
#include "corvex/acquire/videocap_service.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "corvex/acquire/videocap_pvt.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

using namespace capsvc;

namespace {

// Private messages of a capture window.
constexpr uint32_t WM_CAP_INT_FRAME = WM_CAP_START + 200;  // the frame slot holds a frame
constexpr uint32_t WM_CAP_INT_LOST = WM_CAP_START + 201;   // the device went away

// How long a grab waits for a threaded driver's frame.
constexpr unsigned kGrabWaitMs = 2000;

int gTestW = 320, gTestH = 240;

// ---- Messages from other threads ------------------------------------------------------------

struct TMailbox {
  std::mutex Mu;
  std::condition_variable Cv;
  struct Item {
    HWND Wnd;
    uint32_t Msg;
    WPARAM WParam;
    LPARAM LParam;
  };
  std::deque<Item> Items;
  std::thread::id UiThread;
  bool UiKnown = false;
};
TMailbox& Mailbox() {
  static TMailbox m;
  return m;
}
void NoteUiThread() {
  TMailbox& m = Mailbox();
  std::lock_guard<std::mutex> g(m.Mu);
  if (!m.UiKnown) {
    m.UiThread = std::this_thread::get_id();
    m.UiKnown = true;
  }
}
bool DrainMailbox() {
  TMailbox& m = Mailbox();
  std::deque<TMailbox::Item> items;
  {
    std::lock_guard<std::mutex> g(m.Mu);
    items.swap(m.Items);
  }
  for (const auto& it : items) Application().PostMessage(it.Wnd, it.Msg, it.WParam, it.LParam);
  return !items.empty();
}

// A timer on the user-interface thread that moves messages of frame threads to the queue while
// any threaded driver runs.
class TPump : public TComponent {
 public:
  TPump() : TComponent(nullptr), Timer_(new TTimer(this)) {
    Timer_->SetInterval(5);
    Timer_->SetEnabled(false);
    Timer_->OnTimer = TNotifyEvent(this, &TPump::Tick);
  }
  void AddUser() {
    if (Users_++ == 0) Timer_->SetEnabled(true);
  }
  void RemoveUser() {
    if (Users_ > 0 && --Users_ == 0) Timer_->SetEnabled(false);
  }

 private:
  void Tick(TObject*) { DrainMailbox(); }
  TTimer* Timer_;
  int Users_ = 0;
};
TPump& Pump() {
  static TPump* p = new TPump();  // lives as long as the process (timers outlive no application)
  return *p;
}

// ---- Drivers --------------------------------------------------------------------------------

struct TDriverEntry {
  std::string Path, Name, Version;
};
std::vector<TDriverEntry> DriverTable() {
  std::vector<TDriverEntry> t;
  for (const auto& d : ListV4L2Devices()) {
    if (t.size() >= 9) break;
    t.push_back({d.Path, d.Name, d.Version});
  }
  t.push_back({"test", "Corvex test source", "synthetic colour bars 1.0"});
  return t;
}

// ---- Capture windows ------------------------------------------------------------------------

class TCapWindow;
std::mutex gWindowsMu;
std::map<HWND, TCapWindow*> gWindows;

class TCapWindow : public TCustomControl, private TFrameSink {
 public:
  explicit TCapWindow(TComponent* Owner) : TCustomControl(Owner) {}
  ~TCapWindow() override {
    Disconnect();
    std::lock_guard<std::mutex> g(gWindowsMu);
    gWindows.erase(GetHandle());
  }

  void Register() {
    std::lock_guard<std::mutex> g(gWindowsMu);
    gWindows[GetHandle()] = this;
  }
  uintptr_t UserDataFromThread(unsigned TimeoutMs) {
    std::unique_lock<std::timed_mutex> l(UserMu_, std::defer_lock);
    if (!l.try_lock_for(std::chrono::milliseconds(TimeoutMs))) return 0;
    return UserData_;
  }
  void Status(TCapStatus& S) {
    S.Connected = Driver_ != nullptr;
    S.Previewing = Previewing_;
    S.Capturing = Sequencing_;
    S.DeviceLost = Lost_;
    S.Width = Driver_ ? Driver_->Width() : 0;
    S.Height = Driver_ ? Driver_->Height() : 0;
    S.FramesCaptured = Captured_;
    S.FileError = FileError_;
    S.FramesDropped = Dropped_.load();
    std::lock_guard<std::mutex> g(SlotMu_);
    S.Error = Error_;
  }

  void WndProc(TMessage& M) override {
    if (M.Msg >= WM_CAP_START && M.Msg <= WM_CAP_START + 255) {
      M.Result = CapMessage(M.Msg, M.WParam, M.LParam);
      return;
    }
    TCustomControl::WndProc(M);
  }

 protected:
  void Paint() override {
    TCanvas* c = GetCanvas();
    TRect r = GetClientRect();
    if (Previewing_ && Preview_ && !Preview_->GetEmpty()) {
      if (Scale_) {
        c->StretchDraw(r, Preview_.get());
      } else {
        c->GetBrush()->SetColor(clBlack);
        c->FillRect(r);
        c->Draw(0, 0, Preview_.get());
      }
    } else {
      c->GetBrush()->SetColor(clBlack);
      c->FillRect(r);
    }
  }

 private:
  LRESULT CapMessage(uint32_t Msg, WPARAM WP, LPARAM LP);
  bool Connect(unsigned Index);
  void Disconnect();
  // Starts, restarts or stops the driver for what is asked of it now.
  void Reconfigure();
  void StopDriver();
  bool Grab(bool StopPreview);
  bool StartSequence(bool ToFile);
  void StopSequence();
  // Grabbed: a frame made for a grab, which is not part of a running sequence.
  void ProcessFrame(const uint8_t* Bits, size_t Size, bool Grabbed = false);
  void TakeSlot();
  void HandleLost();
  void ReportError(int Id, const std::string& Text) {
    {
      std::lock_guard<std::mutex> g(SlotMu_);
      Error_ = Text;
    }
    if (ErrorCb_ != nullptr) ErrorCb_(GetHandle(), Id, Text.c_str());
  }
  TBitmapInfoHeader Format() const {
    TBitmapInfoHeader h;
    h.biWidth = Driver_ ? Driver_->Width() : 0;
    h.biHeight = Driver_ ? Driver_->Height() : 0;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biSizeImage = uint32_t(FrameBytes(h.biWidth, h.biHeight));
    return h;
  }

  // TFrameSink (FrameFromDriver may run on the driver's thread).
  void FrameFromDriver(const uint8_t* Bits, size_t Size) override;
  void DriverLost(const std::string& Why) override;

  std::unique_ptr<TDriver> Driver_;
  std::unique_ptr<TDriver> Retired_;  // disconnected while delivering a frame
  int Delivering_ = 0;
  int DriverIndex_ = -1;
  bool Lost_ = false;
  bool Previewing_ = false;
  bool Overlay_ = false;
  bool Scale_ = false;
  unsigned PreviewRate_ = 66;
  unsigned RunInterval_ = 0;  // the interval the driver was started with
  bool Sequencing_ = false;
  bool ToFile_ = false;
  bool FileError_ = false;  // the last sequence could not create its file
  bool GrabPending_ = false;
  bool PumpUser_ = false;
  uint32_t Captured_ = 0;
  int64_t SeqStart_ = 0;
  std::atomic<uint32_t> Dropped_{0};
  TCAPTUREPARMS Params_;
  TWAVEFORMATEX Audio_;
  std::string FileName_ = "capture.avi";
  std::unique_ptr<TAVIWriter> Writer_;
  std::vector<uint8_t> Packed_;  // header + rows of the frame being written
  std::unique_ptr<TBitmap> Preview_;

  TCapFrameCallback FrameCb_ = nullptr;
  std::atomic<TCapVideoStreamCallback> StreamCb_{nullptr};
  std::atomic<bool> StreamDirect_{false};  // the frame thread calls StreamCb_ itself
  TCapErrorCallback ErrorCb_ = nullptr;
  TCapYieldCallback YieldCb_ = nullptr;

  std::timed_mutex UserMu_;
  uintptr_t UserData_ = 0;

  // The single frame slot of threaded drivers.
  std::mutex SlotMu_;
  std::condition_variable SlotCv_;
  std::vector<uint8_t> Slot_;
  bool SlotFull_ = false;
  bool LostPosted_ = false;
  std::string Error_;
};

LRESULT TCapWindow::CapMessage(uint32_t Msg, WPARAM WP, LPARAM LP) {
  switch (Msg) {
    case WM_CAP_DRIVER_CONNECT:
      return Connect(unsigned(WP));
    case WM_CAP_DRIVER_DISCONNECT:
      if (Driver_ == nullptr) return 0;
      Disconnect();
      return 1;
    case WM_CAP_DRIVER_GET_NAME:
    case WM_CAP_DRIVER_GET_VERSION: {
      if (Driver_ == nullptr || LP == 0 || WP == 0) return 0;
      char name[80], ver[80];
      if (!capGetDriverDescription(unsigned(DriverIndex_), name, 80, ver, 80)) return 0;
      const char* s = Msg == WM_CAP_DRIVER_GET_NAME ? name : ver;
      const size_t n = std::min(std::strlen(s), size_t(WP) - 1);
      std::memcpy(reinterpret_cast<char*>(LP), s, n);
      reinterpret_cast<char*>(LP)[n] = 0;
      return 1;
    }
    case WM_CAP_DRIVER_GET_CAPS: {
      if (Driver_ == nullptr || LP == 0) return 0;
      TCAPDRIVERCAPS caps;
      caps.wDeviceIndex = uint32_t(DriverIndex_);
      caps.fCaptureInitialized = 1;
      std::memcpy(reinterpret_cast<void*>(LP), &caps, std::min<size_t>(WP, sizeof caps));
      return 1;
    }
    case WM_CAP_GET_USER_DATA: {
      std::lock_guard<std::timed_mutex> g(UserMu_);
      return LRESULT(UserData_);
    }
    case WM_CAP_SET_USER_DATA: {
      std::lock_guard<std::timed_mutex> g(UserMu_);
      UserData_ = uintptr_t(LP);
      return 1;
    }
    case WM_CAP_SET_CALLBACK_FRAME:
      FrameCb_ = reinterpret_cast<TCapFrameCallback>(LP);
      return 1;
    case WM_CAP_SET_CALLBACK_VIDEOSTREAM:
      StreamCb_ = reinterpret_cast<TCapVideoStreamCallback>(LP);
      return 1;
    case WM_CAP_SET_CALLBACK_ERROR:
      ErrorCb_ = reinterpret_cast<TCapErrorCallback>(LP);
      return 1;
    case WM_CAP_SET_CALLBACK_YIELD:
      YieldCb_ = reinterpret_cast<TCapYieldCallback>(LP);
      return 1;
    case WM_CAP_FILE_SET_CAPTURE_FILE:
      if (LP == 0) return 0;
      FileName_ = reinterpret_cast<const char*>(LP);
      return 1;
    case WM_CAP_FILE_GET_CAPTURE_FILE: {
      if (LP == 0 || WP == 0) return 0;
      const size_t n = std::min(FileName_.size(), size_t(WP) - 1);
      std::memcpy(reinterpret_cast<char*>(LP), FileName_.data(), n);
      reinterpret_cast<char*>(LP)[n] = 0;
      return 1;
    }
    case WM_CAP_GET_AUDIOFORMAT:
      if (LP == 0) return 0;
      std::memcpy(reinterpret_cast<void*>(LP), &Audio_, std::min<size_t>(WP, sizeof Audio_));
      return 1;
    case WM_CAP_SET_AUDIOFORMAT:
      if (LP == 0 || WP < 16) return 0;
      std::memcpy(&Audio_, reinterpret_cast<const void*>(LP), std::min<size_t>(WP, sizeof Audio_));
      return 1;
    case WM_CAP_GET_SEQUENCE_SETUP:
      if (LP == 0) return 0;
      std::memcpy(reinterpret_cast<void*>(LP), &Params_, std::min<size_t>(WP, sizeof Params_));
      return 1;
    case WM_CAP_SET_SEQUENCE_SETUP:
      if (LP == 0 || Sequencing_) return 0;
      std::memcpy(&Params_, reinterpret_cast<const void*>(LP), std::min<size_t>(WP, sizeof Params_));
      return 1;
    case WM_CAP_GET_VIDEOFORMAT: {
      if (Driver_ == nullptr) return 0;
      const TBitmapInfoHeader h = Format();
      if (LP != 0) std::memcpy(reinterpret_cast<void*>(LP), &h, std::min<size_t>(WP, sizeof h));
      return sizeof h;
    }
    case WM_CAP_SET_VIDEOFORMAT: {
      if (Driver_ == nullptr || LP == 0 || WP < sizeof(TBitmapInfoHeader) || Sequencing_) return 0;
      TBitmapInfoHeader h;
      std::memcpy(&h, reinterpret_cast<const void*>(LP), sizeof h);
      const int w = h.biWidth, hh = h.biHeight < 0 ? -h.biHeight : h.biHeight;
      if (w <= 0 || hh <= 0 || w > 8192 || hh > 8192) return 0;
      const bool running = Driver_->Running();
      StopDriver();
      std::string err;
      const bool ok = Driver_->SetSize(w, hh, err);
      if (!ok) ReportError(IDS_CAP_BAD_FRAME, err);
      if (running) Reconfigure();
      return ok;
    }
    case WM_CAP_DLG_VIDEOFORMAT:
    case WM_CAP_DLG_VIDEOSOURCE:
    case WM_CAP_DLG_VIDEODISPLAY:
    case WM_CAP_DLG_VIDEOCOMPRESSION:
      return 0;  // no driver here has a dialog
    case WM_CAP_SET_PREVIEW:
      if (Driver_ == nullptr) return 0;
      Previewing_ = WP != 0;
      Reconfigure();
      Invalidate();
      return 1;
    case WM_CAP_SET_OVERLAY:
      // No device here overlays in hardware: overlay is preview.
      if (Driver_ == nullptr) return 0;
      Overlay_ = WP != 0;
      if (Overlay_) Previewing_ = true;
      Reconfigure();
      return 1;
    case WM_CAP_SET_PREVIEWRATE:
      PreviewRate_ = std::max<unsigned>(1, unsigned(WP));
      if (Driver_ != nullptr) Reconfigure();
      return Driver_ != nullptr;
    case WM_CAP_SET_SCALE:
      Scale_ = WP != 0;
      Invalidate();
      return 1;
    case WM_CAP_GRAB_FRAME:
      return Grab(true);
    case WM_CAP_GRAB_FRAME_NOSTOP:
      return Grab(false);
    case WM_CAP_SEQUENCE:
      return StartSequence(true);
    case WM_CAP_SEQUENCE_NOFILE:
      return StartSequence(false);
    case WM_CAP_STOP:
    case WM_CAP_ABORT:
      if (!Sequencing_) return 0;
      StopSequence();
      return 1;
    case WM_CAP_INT_FRAME:
      TakeSlot();
      return 1;
    case WM_CAP_INT_LOST:
      HandleLost();
      return 1;
    default:
      return 0;
  }
}

bool TCapWindow::Connect(unsigned Index) {
  if (Driver_ != nullptr) {
    if (DriverIndex_ == int(Index)) return true;
    Disconnect();
  }
  const std::string path = CapDriverPath(Index);
  if (path.empty()) return false;
  std::unique_ptr<TDriver> d = path == "test" ? MakeTestDriver(gTestW, gTestH) : MakeV4L2Driver(path);
  std::string err;
  if (d == nullptr || !d->Open(err)) {
    std::lock_guard<std::mutex> g(SlotMu_);
    Error_ = err.empty() ? "cannot open " + path : err;
    return false;
  }
  Driver_ = std::move(d);
  DriverIndex_ = int(Index);
  Lost_ = false;
  Dropped_ = 0;
  {
    std::lock_guard<std::mutex> g(SlotMu_);
    SlotFull_ = false;
    LostPosted_ = false;
    Error_.clear();
  }
  return true;
}

void TCapWindow::Disconnect() {
  if (Sequencing_) StopSequence();
  StopDriver();
  if (Delivering_ > 0) Retired_ = std::move(Driver_);
  Driver_.reset();
  DriverIndex_ = -1;
  Previewing_ = Overlay_ = false;
  GrabPending_ = false;
  Invalidate();
}

void TCapWindow::StopDriver() {
  if (Driver_ != nullptr && Driver_->Running()) Driver_->Stop();
  {
    std::lock_guard<std::mutex> g(SlotMu_);
    SlotFull_ = false;  // a frame left in the slot is dropped
  }
  StreamDirect_ = false;
  if (PumpUser_) {
    Pump().RemoveUser();
    PumpUser_ = false;
  }
}

void TCapWindow::Reconfigure() {
  if (Driver_ == nullptr || Lost_) return;
  const bool want = Previewing_ || Sequencing_;
  unsigned interval = PreviewRate_;
  if (Sequencing_) interval = std::max<unsigned>(1, unsigned((Params_.dwRequestMicroSecPerFrame + 500) / 1000));
  const bool direct = Sequencing_ && !ToFile_ && Driver_->Threaded();
  // A running driver keeps running when nothing it depends on changed (a camera's rate is only
  // a wish, so its stream is not restarted for another one).
  if (want && Driver_->Running() && direct == StreamDirect_ &&
      (Driver_->Threaded() || interval == RunInterval_))
    return;
  if (Driver_->Running()) StopDriver();
  if (!want) return;
  StreamDirect_ = direct;
  RunInterval_ = interval;
  std::string err;
  if (!Driver_->Start(interval, this, err)) {
    StreamDirect_ = false;
    ReportError(IDS_CAP_DEVICE_LOST, err);
    return;
  }
  if (Driver_->Threaded() && !PumpUser_) {
    Pump().AddUser();
    PumpUser_ = true;
  }
}

void TCapWindow::FrameFromDriver(const uint8_t* Bits, size_t Size) {
  // On the frame thread for threaded drivers: no message is sent and nothing of the window but
  // the slot is touched.
  if (Driver_ != nullptr && Driver_->Threaded()) {
    if (StreamDirect_) {
      TCapVideoStreamCallback cb = StreamCb_;
      if (cb != nullptr) {
        TVIDEOHDR hdr;
        hdr.lpData = const_cast<uint8_t*>(Bits);
        hdr.dwBufferLength = hdr.dwBytesUsed = uint32_t(Size);
        hdr.dwFlags = VHDR_DONE | VHDR_PREPARED | VHDR_KEYFRAME;
        cb(GetHandle(), &hdr);
      }
      return;
    }
    {
      std::lock_guard<std::mutex> g(SlotMu_);
      if (SlotFull_) {
        ++Dropped_;
        return;
      }
      Slot_.assign(Bits, Bits + Size);
      SlotFull_ = true;
    }
    SlotCv_.notify_all();
    CapPostFromThread(GetHandle(), WM_CAP_INT_FRAME, 0, 0);
    return;
  }
  // The synthetic driver, on this thread. A callback may disconnect the driver that is calling
  // here: it is kept (stopped) until the delivery is over.
  const HWND self = GetHandle();
  ++Delivering_;
  ProcessFrame(Bits, Size);
  if (FindControl(self) != this) return;
  if (--Delivering_ == 0) Retired_.reset();
}

void TCapWindow::DriverLost(const std::string& Why) {
  {
    std::lock_guard<std::mutex> g(SlotMu_);
    Error_ = Why;
    if (LostPosted_) return;
    LostPosted_ = true;
  }
  SlotCv_.notify_all();
  CapPostFromThread(GetHandle(), WM_CAP_INT_LOST, 0, 0);
}

void TCapWindow::TakeSlot() {
  std::vector<uint8_t> frame;
  {
    std::lock_guard<std::mutex> g(SlotMu_);
    if (!SlotFull_) return;  // taken already, or dropped by a stop
    frame.swap(Slot_);
  }
  const HWND self = GetHandle();
  ProcessFrame(frame.data(), frame.size());
  if (FindControl(self) != this) return;  // a callback destroyed the window
  std::lock_guard<std::mutex> g(SlotMu_);
  Slot_.swap(frame);  // keep the allocation for the next frame
  SlotFull_ = false;
}

void TCapWindow::HandleLost() {
  if (Driver_ == nullptr || Lost_) return;
  Lost_ = true;
  const bool wasSeq = Sequencing_;
  if (wasSeq) StopSequence();  // the frames recorded so far are kept
  StopDriver();
  Previewing_ = Overlay_ = false;
  GrabPending_ = false;
  Invalidate();
  std::string why;
  {
    std::lock_guard<std::mutex> g(SlotMu_);
    why = Error_;
  }
  if (ErrorCb_ != nullptr) ErrorCb_(GetHandle(), IDS_CAP_DEVICE_LOST, why.c_str());
}

void TCapWindow::ProcessFrame(const uint8_t* Bits, size_t Size, bool Grabbed) {
  if (Driver_ == nullptr) return;
  const TBitmapInfoHeader fmt = Format();
  if (Size < fmt.biSizeImage || fmt.biSizeImage == 0) {
    ++Dropped_;
    return;
  }
  TVIDEOHDR hdr;
  hdr.lpData = const_cast<uint8_t*>(Bits);
  hdr.dwBufferLength = hdr.dwBytesUsed = fmt.biSizeImage;
  hdr.dwTimeCaptured = uint32_t(Application().Now() - SeqStart_);
  hdr.dwFlags = VHDR_DONE | VHDR_PREPARED | VHDR_KEYFRAME;
  const HWND self = GetHandle();
  if (Sequencing_ && !Grabbed) {
    if (ToFile_ && Writer_ != nullptr) {
      std::memcpy(Packed_.data(), &fmt, sizeof fmt);
      std::memcpy(Packed_.data() + sizeof fmt, Bits, fmt.biSizeImage);
      if (!Writer_->WriteFrame(Packed_.data(), Packed_.size())) {
        ReportError(IDS_CAP_FILE_WRITE, Writer_ ? Writer_->GetError() : std::string());
        if (FindControl(self) == this && Sequencing_) StopSequence();
        return;
      }
    }
    ++Captured_;
    if (TCapVideoStreamCallback cb = StreamCb_; cb != nullptr) cb(self, &hdr);
    if (FindControl(self) != this) return;  // a callback destroyed the window
    if (YieldCb_ != nullptr && Sequencing_ && YieldCb_(self) == 0) StopSequence();
  }
  if (Driver_ != nullptr && (Previewing_ || GrabPending_)) {
    if (!Preview_) Preview_ = std::make_unique<TBitmap>();
    const int w = fmt.biWidth, h = fmt.biHeight;
    if (Preview_->GetWidth() != w || Preview_->GetHeight() != h || Preview_->GetPixelFormat() != pf24bit)
      Preview_->Allocate(w, h, pf24bit);
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    for (int y = 0; y < h; ++y) std::memcpy(Preview_->ScanLine(h - 1 - y), Bits + stride * size_t(y), size_t(w) * 3);
    GrabPending_ = false;
    Invalidate();
    if (FrameCb_ != nullptr) FrameCb_(self, &hdr);
  }
}

bool TCapWindow::Grab(bool StopPreview) {
  if (Driver_ == nullptr || Lost_) return false;
  GrabPending_ = true;
  const HWND self = GetHandle();
  if (!Driver_->Threaded()) {
    std::vector<uint8_t> bits;
    if (Driver_->Snap(bits)) ProcessFrame(bits.data(), bits.size(), true);
  } else {
    const bool wasRunning = Driver_->Running();
    if (!wasRunning) {
      std::string err;
      if (!Driver_->Start(PreviewRate_, this, err)) {
        GrabPending_ = false;
        ReportError(IDS_CAP_DEVICE_LOST, err);
        return false;
      }
    }
    // A bounded wait for the frame thread's next frame, taken here from the slot.
    bool got = false;
    {
      std::unique_lock<std::mutex> l(SlotMu_);
      got = SlotCv_.wait_for(l, std::chrono::milliseconds(kGrabWaitMs), [&] { return SlotFull_ || LostPosted_; }) &&
            SlotFull_;
    }
    if (got) TakeSlot();
    if (FindControl(self) != this) return false;
    if (!wasRunning && Driver_ != nullptr && Driver_->Running() && !Previewing_ && !Sequencing_) StopDriver();
  }
  const bool ok = !GrabPending_;
  GrabPending_ = false;
  if (StopPreview && Previewing_) {
    Previewing_ = Overlay_ = false;
    Reconfigure();
  }
  return ok;
}

bool TCapWindow::StartSequence(bool ToFile) {
  FileError_ = false;
  if (Driver_ == nullptr || Lost_ || Sequencing_) return false;
  if (ToFile) {
    const TBitmapInfoHeader fmt = Format();
    auto w = std::make_unique<TAVIWriter>();
    const uint32_t us = std::max<uint32_t>(1, Params_.dwRequestMicroSecPerFrame);
    if (!w->Create(FileName_) || !w->CreateStream(1000000, us) || !w->SetFormat(fmt)) {
      FileError_ = true;
      std::lock_guard<std::mutex> g(SlotMu_);
      Error_ = w->GetError().empty() ? "unable to create " + FileName_ : w->GetError();
      return false;
    }
    Writer_ = std::move(w);
    Packed_.assign(sizeof fmt + fmt.biSizeImage, 0);
  }
  ToFile_ = ToFile;
  Sequencing_ = true;
  Captured_ = 0;
  SeqStart_ = Application().Now();
  Reconfigure();
  if (Lost_ || (Driver_ != nullptr && !Driver_->Running())) {
    // The driver refused to stream.
    if (Writer_) Writer_->Abort();
    Writer_.reset();
    Sequencing_ = false;
    return false;
  }
  return true;
}

void TCapWindow::StopSequence() {
  Sequencing_ = false;
  Reconfigure();  // stops the driver (joining its thread) or goes back to preview
  if (Writer_ != nullptr) {
    std::unique_ptr<TAVIWriter> w = std::move(Writer_);
    if (!w->Close()) {
      std::lock_guard<std::mutex> g(SlotMu_);
      Error_ = w->GetError();
    }
  }
  ToFile_ = false;
}

TCapWindow* FindCapWindow(HWND Wnd) {
  std::lock_guard<std::mutex> g(gWindowsMu);
  auto it = gWindows.find(Wnd);
  return it == gWindows.end() ? nullptr : it->second;
}

}  // namespace

// ---- Free functions -----------------------------------------------------------------------------

uint32_t mmioFOURCC(const char* S) {
  uint32_t v = 0;
  bool ended = S == nullptr;
  for (int i = 0; i < 4; ++i) {
    uint8_t c = ' ';
    if (!ended) {
      if (S[i] == 0) ended = true;
      else c = uint8_t(S[i]);
    }
    v |= uint32_t(c) << (8 * i);
  }
  return v;
}

bool capGetDriverDescription(unsigned Index, char* Name, int NameSize, char* Version, int VersionSize) {
  const auto t = DriverTable();
  if (Index >= t.size() || Index > 9) return false;
  auto put = [](char* dst, int n, const std::string& s) {
    if (dst == nullptr || n <= 0) return;
    const size_t k = std::min(s.size(), size_t(n) - 1);
    std::memcpy(dst, s.data(), k);
    dst[k] = 0;
  };
  put(Name, NameSize, t[Index].Name);
  put(Version, VersionSize, t[Index].Version);
  return true;
}

std::string CapDriverPath(unsigned Index) {
  const auto t = DriverTable();
  return Index < t.size() ? t[Index].Path : std::string();
}

int CapDriverIndexOf(const std::string& Path) {
  const auto t = DriverTable();
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i].Path == Path) return int(i);
  return -1;
}

void CapSetTestSourceSize(int Width, int Height) {
  if (Width > 0 && Height > 0 && Width <= 8192 && Height <= 8192) {
    gTestW = Width;
    gTestH = Height;
  }
}

HWND capCreateCaptureWindow(const std::string& WindowName, unsigned /*Style*/, int X, int Y, int Width,
                            int Height, HWND Parent, int /*Id*/) {
  NoteUiThread();
  auto* w = new TCapWindow(nullptr);
  w->SetName(WindowName);
  w->SetVisible(false);
  if (TWinControl* p = FindControl(Parent)) w->SetParent(p);
  w->SetBounds(X, Y, Width, Height);
  w->Register();
  return w->GetHandle();
}

void CapDestroyCaptureWindow(HWND Wnd) { delete FindCapWindow(Wnd); }

void CapShowWindow(HWND Wnd, bool Show) {
  if (TCapWindow* w = FindCapWindow(Wnd)) w->SetVisible(Show && w->GetParent() != nullptr);
}

void CapMoveWindow(HWND Wnd, int X, int Y, int Width, int Height) {
  if (TCapWindow* w = FindCapWindow(Wnd)) w->SetBounds(X, Y, Width, Height);
}

uintptr_t CapGetUserDataFromThread(HWND Wnd, unsigned TimeoutMs) {
  TCapWindow* w = FindCapWindow(Wnd);
  return w == nullptr ? 0 : w->UserDataFromThread(TimeoutMs);
}

bool CapGetStatus(HWND Wnd, TCapStatus& Status) {
  TCapWindow* w = FindCapWindow(Wnd);
  if (w == nullptr) return false;
  w->Status(Status);
  return true;
}

LRESULT capSend(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (FindCapWindow(Wnd) == nullptr) return 0;
  return Application().SendMessage(Wnd, Msg, WParam, LParam);
}

void CapPostFromThread(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TMailbox& m = Mailbox();
  {
    std::lock_guard<std::mutex> g(m.Mu);
    if (!m.UiKnown || m.UiThread != std::this_thread::get_id()) {
      m.Items.push_back({Wnd, Msg, WParam, LParam});
      m.Cv.notify_all();
      return;
    }
  }
  Application().PostMessage(Wnd, Msg, WParam, LParam);
}

bool CapWaitForThreadMessages(unsigned TimeoutMs) {
  TMailbox& m = Mailbox();
  {
    std::unique_lock<std::mutex> l(m.Mu);
    m.Cv.wait_for(l, std::chrono::milliseconds(TimeoutMs), [&] { return !m.Items.empty(); });
  }
  return DrainMailbox();
}

}  // namespace corvex
