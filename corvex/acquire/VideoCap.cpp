// TCorvexVideoCap: background capture with frames handed to the user-interface thread.
#include "corvex/acquire/VideoCap.h"

#include <algorithm>
#include <cstring>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

// The hidden window "TVideoCapWindow" that receives the frame messages.
class TCorvexVideoCap::THiddenWindow : public TWinControl {
 public:
  explicit THiddenWindow(TCorvexVideoCap* Owner) : TWinControl(nullptr), Cap_(Owner) {
    SetName("TVideoCapWindow");
    SetVisible(false);
  }
  void WndProc(TMessage& M) override {
    if (M.Msg == CXVC_FRAME || M.Msg == CXVC_LOST || M.Msg == CXVC_DESTROY) {
      Cap_->HiddenMessage(M.Msg);
      return;
    }
    TWinControl::WndProc(M);
  }

 private:
  TCorvexVideoCap* Cap_;
};

TCorvexVideoCap::TCorvexVideoCap(TComponent* AOwner)
    : TComponent(AOwner), FrameBitmap_(std::make_unique<TBitmap>(1, 1, pf24bit)) {
  FillDrivers();
  AllocateWindow();
}

TCorvexVideoCap::~TCorvexVideoCap() {
  // The frame thread is stopped (destroying the capture window joins it) before the buffer, the
  // bitmap and the hidden window go; the hidden window is destroyed here rather than by a posted
  // message, which would reach it after the component it calls is gone.
  Capture_ = false;
  DestroyLink();
  delete Hidden_;
  Hidden_ = nullptr;
}

void TCorvexVideoCap::AllocateWindow() {
  if (Hidden_ != nullptr) return;
  Hidden_ = new THiddenWindow(this);
  HiddenHandle_ = Hidden_->GetHandle();
}

void TCorvexVideoCap::CreateCaptureWindow() {
  if (CapWnd_ != 0) return;
  HWND parent = 0;
  if (auto* w = dynamic_cast<TWinControl*>(GetOwner())) parent = w->GetHandle();
  CapWnd_ = capCreateCaptureWindow(GetName(), 0, 0, 0, 50, 50, parent, 0);
}

void TCorvexVideoCap::FormatRead() {
  if (Capture_) return;  // the format cannot change under a running capture
  const TBitmapInfoHeader& h = FormatHeader();
  const int w = std::max(1, int(h.biWidth)), hh = std::max(1, int(std::abs(h.biHeight)));
  FrameBitmap_->Allocate(w, hh, h.biBitCount == 1 ? pf1bit : pf24bit);
  FrameBuffer_.assign(h.biSizeImage, 0);
}

void TCorvexVideoCap::DriverConnect() {
  if (!ConnectWithJob()) throw TVideoCapException("Unable to open video capture driver");
}

void TCorvexVideoCap::StartRecord() {
  switch (StartRecordCode()) {
    case 0:
      return;
    case 1:
      throw TVideoCapException("Unable to create AVI file");
    default:
      throw TVideoCapException("Unable to start video recording");
  }
}

void TCorvexVideoCap::SetCapture(bool Value) {
  if (!Value) {
    StopCapture();
    return;
  }
  if (Capture_) return;
  if (CapWnd_ == 0) CreateCaptureWindow();
  if (!Connected_) DriverConnect();  // raises
  Capture_ = true;
  Ready_ = true;
  capPreviewScale(CapWnd_, true);
  capSetUserData(CapWnd_, reinterpret_cast<uintptr_t>(this));
  TCAPTUREPARMS p;
  capCaptureGetSetup(CapWnd_, &p, sizeof p);
  p.fYield = 1;
  p.fCaptureAudio = 0;
  p.dwRequestMicroSecPerFrame = MicroSecPerFrame(CaptureFrameRate_);
  p.wPercentDropForError = 100;
  p.vKeyAbort = 0;
  p.fAbortLeftMouse = 0;
  p.fAbortRightMouse = 0;
  capCaptureSetSetup(CapWnd_, &p, sizeof p);
  SetCallBackFrame(CallBackFrame_);
  if (!capCaptureSequenceNoFile(CapWnd_)) {
    // A driver that connects but will not stream: stopped cleanly, and the application told.
    StopCapture();
    throw TVideoCapException("Unable to start video recording");
  }
}

void TCorvexVideoCap::StopCapture() {
  if (CapWnd_ != 0) {
    capCaptureStop(CapWnd_);  // returns once the frame thread can call no more
    capSetUserData(CapWnd_, 0);
  }
  DriverDisconnect();
  Capture_ = false;
  Ready_ = true;
}

void TCorvexVideoCap::SetVideoSource(int32_t Value) {
  VideoSource_ = Value;
  if (Capture_) {
    SetCapture(false);
    SetCapture(true);
  }
}

void TCorvexVideoCap::SetOnVideoFrame(const TVideoFrameEvent& Value) {
  OnVideoFrame_ = Value;
  SetCallBackFrame(OnVideoFrame_.Assigned() || OnVideoFrameRaw_.Assigned());
}

void TCorvexVideoCap::SetOnVideoFrameRaw(const TVideoFrameRawEvent& Value) {
  OnVideoFrameRaw_ = Value;
  SetCallBackFrame(OnVideoFrame_.Assigned() || OnVideoFrameRaw_.Assigned());
}

void TCorvexVideoCap::SetCallBackFrame(bool Value) {
  CallBackFrame_ = Value;
  if (!Connected_ || CapWnd_ == 0) return;
  capSetCallbackOnVideoStream(CapWnd_, Value ? &TCorvexVideoCap::StreamCallback : nullptr);
  // The error callback stays, so that the loss of the device ends the capture even without events.
  capSetCallbackOnError(CapWnd_, &TCorvexVideoCap::ErrorCallback);
  capSetCallbackOnYield(CapWnd_, Value ? &TCorvexVideoCap::YieldCallback : nullptr);
}

// On the driver's frame thread: copy the frame when ready and post the message; otherwise drop it.
LRESULT TCorvexVideoCap::StreamCallback(HWND Wnd, TVIDEOHDR* Hdr) {
  if (Hdr == nullptr || (Hdr->dwFlags & (VHDR_DONE | VHDR_PREPARED)) != (VHDR_DONE | VHDR_PREPARED)) return 1;
  auto* self = reinterpret_cast<TCorvexVideoCap*>(CapGetUserDataFromThread(Wnd, 100));
  if (self == nullptr) return 1;
  bool expected = true;
  if (!self->Ready_.compare_exchange_strong(expected, false)) return 1;  // one frame in flight
  // A frame longer than the buffer is cut to it; a shorter one leaves the rest as it was.
  const size_t n = std::min<size_t>(Hdr->dwBytesUsed, self->FrameBuffer_.size());
  if (n > 0 && Hdr->lpData != nullptr) std::memcpy(self->FrameBuffer_.data(), Hdr->lpData, n);
  CapPostFromThread(self->HiddenHandle_, CXVC_FRAME, 0, 0);
  return 1;
}

// Errors of a background capture are ignored, except the loss of the device, which ends the
// capture (Capture becomes false; starting again raises).
LRESULT TCorvexVideoCap::ErrorCallback(HWND Wnd, int Id, const char*) {
  if (Id != IDS_CAP_DEVICE_LOST) return 1;
  auto* self = reinterpret_cast<TCorvexVideoCap*>(capGetUserData(Wnd));
  if (self != nullptr) Application().PostMessage(self->HiddenHandle_, CXVC_LOST, 0, 0);
  return 1;
}

LRESULT TCorvexVideoCap::YieldCallback(HWND) { return 1; }

void TCorvexVideoCap::HiddenMessage(uint32_t Msg) {
  if (Msg == CXVC_DESTROY) {
    delete Hidden_;
    Hidden_ = nullptr;
    HiddenHandle_ = 0;
    return;
  }
  if (Msg == CXVC_LOST) {
    if (Capture_) StopCapture();
    return;
  }
  // CXVC_FRAME: the buffer holds a frame and the frame thread leaves it alone until ready.
  if (Capture_ && !FrameBuffer_.empty()) {
    if (OnVideoFrame_) {
      const TBitmapInfoHeader h = FormatHeader();
      if (_CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(&h), FrameBitmap_.get(), FrameBuffer_.data(), true, sizeof h,
                          FrameBuffer_.size()) != 0)
        OnVideoFrame_(this, FrameBitmap_.get());
    }
    if (OnVideoFrameRaw_ && Capture_) OnVideoFrameRaw_(this, Format_, FrameBuffer_.data());
  }
  Ready_ = true;
}

}  // namespace corvex
