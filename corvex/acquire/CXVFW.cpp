// TCorvexVideoView: live video, freezing and recording in a vector view.
#include "corvex/acquire/CXVFW.h"

#include <cstring>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

TCorvexVideoView::TCorvexVideoView(TComponent* AOwner) : TCorvexVect(AOwner) {
  AppScrollBars_ = GetScrollBars();
  FillDrivers();
}

TCorvexVideoView::~TCorvexVideoView() {
  // Stop the video (and its thread) before anything of the view goes away.
  DestroyCaptureWindow();
  DestroyLink();
}

void TCorvexVideoView::CreateCaptureWindow() {
  if (CapWnd_ != 0) return;
  CapWnd_ = capCreateCaptureWindow(GetName(), 0, 0, 0, GetClientWidth(), GetClientHeight(), GetHandle(), 0);
  if (ShowVideo_) {
    ShowVideo_ = false;
    SetShowVideo(true);
  }
}

void TCorvexVideoView::DestroyCaptureWindow() {
  if (CapWnd_ == 0) return;
  capSetUserData(CapWnd_, 0);
  if (ShowVideo_) {
    ShowVideo_ = false;
    DriverDisconnect();
  }
  CapDestroyCaptureWindow(CapWnd_);
  CapWnd_ = 0;
  Connected_ = false;
  Recording_ = false;
}

void TCorvexVideoView::SetShowVideo(bool Value) {
  if (Value) {
    Frozen_ = false;
    TCorvexVect::SetScrollBars(ssNone);  // the application's choice is kept in AppScrollBars_
    if (CapWnd_ == 0) CreateCaptureWindow();
    if (CapWnd_ != 0 && (Connected_ || DriverConnect())) {
      capPreviewScale(CapWnd_, true);
      SetDisplayMode(DisplayMode_);
      SetCallBackFrame(CallBackFrame_);
      capSetCallbackOnError(CapWnd_, &TCorvexVideoView::ErrorCallback);
      CapShowWindow(CapWnd_, true);
      capSetUserData(CapWnd_, reinterpret_cast<uintptr_t>(this));
      ShowVideo_ = true;
    } else {
      ShowVideo_ = false;
      TCorvexVect::SetScrollBars(AppScrollBars_);
    }
    Invalidate();
    return;
  }
  if (CapWnd_ != 0) capSetUserData(CapWnd_, 0);
  DriverDisconnect();
  if (CapWnd_ != 0) CapShowWindow(CapWnd_, false);
  ShowVideo_ = false;
  if (!GetComponentState().Contains(csDestroying)) TCorvexVect::SetScrollBars(AppScrollBars_);
  Invalidate();
}

void TCorvexVideoView::SetDisplayMode(TVCDisplayMode Value) {
  DisplayMode_ = Value;
  if (!Connected_ || CapWnd_ == 0) return;
  DeSelect();
  if (Frozen_) return;
  if (Value == dmPreview) {
    capOverlay(CapWnd_, false);
    capPreviewRate(CapWnd_, unsigned(PreviewRate_ > 0 ? PreviewRate_ : 1));
    capPreview(CapWnd_, true);
  } else {
    capPreview(CapWnd_, true);
    capOverlay(CapWnd_, true);
  }
}

void TCorvexVideoView::SetVideoSource(int32_t Value) {
  VideoSource_ = Value;
  if (ShowVideo_) {
    SetShowVideo(false);
    SetShowVideo(true);
  }
}

void TCorvexVideoView::SetPreviewRate(int32_t Value) {
  PreviewRate_ = Value;
  if (Connected_ && CapWnd_ != 0) capPreviewRate(CapWnd_, unsigned(Value > 0 ? Value : 1));
}

void TCorvexVideoView::SetOnVideoFrame(const TVideoFrameEvent& Value) {
  OnVideoFrame_ = Value;
  SetCallBackFrame(OnVideoFrame_.Assigned() || OnVideoFrameRaw_.Assigned());
}

void TCorvexVideoView::SetOnVideoFrameRaw(const TVideoFrameRawEvent& Value) {
  OnVideoFrameRaw_ = Value;
  SetCallBackFrame(OnVideoFrame_.Assigned() || OnVideoFrameRaw_.Assigned());
}

void TCorvexVideoView::SetCallBackFrame(bool Value) {
  CallBackFrame_ = Value;
  if (Connected_ && CapWnd_ != 0) capSetCallbackOnFrame(CapWnd_, Value ? &TCorvexVideoView::FrameCallback : nullptr);
}

bool TCorvexVideoView::DriverConnect() { return ConnectWithJob(); }

bool TCorvexVideoView::StartRecord() { return StartRecordCode() == 0; }

// The service calls this for each previewed or grabbed frame, on this thread.
LRESULT TCorvexVideoView::FrameCallback(HWND Wnd, TVIDEOHDR* Hdr) {
  auto* self = reinterpret_cast<TCorvexVideoView*>(capGetUserData(Wnd));
  if (self == nullptr || Hdr == nullptr || Hdr->lpData == nullptr) return 1;
  const HWND view = self->GetHandle();
  if (self->OnVideoFrame_) {
    TBitmap tmp;
    self->DecompRawFrame(&tmp, Hdr->lpData);
    self->OnVideoFrame_(self, &tmp);
    if (FindControl(view) != self) return 1;  // the handler freed the view
  }
  if (self->OnVideoFrameRaw_) {
    self->OnVideoFrameRaw_(self, self->Format_, Hdr->lpData);
    if (FindControl(view) != self) return 1;
  }
  if (self->GrabRequested_) {
    self->DecompRawFrame(self->GetBitmap(), Hdr->lpData);
    self->GrabRequested_ = false;
  }
  return 1;
}

LRESULT TCorvexVideoView::ErrorCallback(HWND Wnd, int Id, const char*) {
  if (Id != IDS_CAP_DEVICE_LOST) return 1;
  if (auto* self = reinterpret_cast<TCorvexVideoView*>(capGetUserData(Wnd)))
    Application().PostMessage(self->GetHandle(), CXVV_DEVICELOST, 0, 0);
  return 1;
}

void TCorvexVideoView::WndProc(TMessage& Message) {
  if (Message.Msg == CXVV_DEVICELOST) {
    // The device is gone: the live video ends and the image shows again.
    if (ShowVideo_) SetShowVideo(false);
    return;
  }
  TCorvexVect::WndProc(Message);
}

void TCorvexVideoView::DecompRawFrame(TBitmap* Bitmap, const void* Data) {
  if (Bitmap == nullptr) return;
  const TBitmapInfoHeader& h = FormatHeader();
  Bitmap->SetSize(1, 1);
  Bitmap->SetPixelFormat(h.biBitCount == 1 ? pf1bit : pf24bit);
  if (h.biWidth <= 0 || h.biHeight == 0) return;
  Bitmap->SetSize(h.biWidth, std::abs(h.biHeight));
  if (Data == nullptr) return;
  const size_t size = GlobalSize(Format_);
  if (void* p = GlobalLock(Format_)) {
    _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(p), Bitmap, Data, true, size, h.biSizeImage);
    GlobalUnlock(Format_);
  }
}

bool TCorvexVideoView::GrabInto(bool Stop) {
  GrabRequested_ = true;
  capSetCallbackOnFrame(CapWnd_, &TCorvexVideoView::FrameCallback);
  if (Stop) capPreview(CapWnd_, true);
  const HWND self = GetHandle();
  // The grab returns once the frame callback ran, or after a bounded wait for a driver that
  // delivers nothing.
  if (Stop) capGrabFrame(CapWnd_);
  else capGrabFrameNoStop(CapWnd_);
  if (FindControl(self) != this) return false;
  const bool got = !GrabRequested_;
  GrabRequested_ = false;
  SetCallBackFrame(OnVideoFrame_.Assigned() || OnVideoFrameRaw_.Assigned());
  if (!got) return false;
  if (FitFreeze_ && GetClientWidth() > 0 && GetClientHeight() > 0) {
    TBitmap* b = GetBitmap();
    const TResampleFilter f =
        (b->GetWidth() < GetClientWidth() || b->GetHeight() < GetClientHeight()) ? rfTriangle : rfNone;
    TCorvexProc proc(nullptr);
    proc.SetAutoUndo(false);
    proc.SetAttachedCorvex(this);
    proc.Resample(GetClientWidth(), GetClientHeight(), f);
    proc.SetAttachedCorvex(nullptr);
  }
  Update();
  return true;
}

void TCorvexVideoView::SetFreeze(bool Value) {
  if (Value) {
    Frozen_ = true;
    if (ShowVideo_ && Connected_ && CapWnd_ != 0) {
      GrabInto(true);
      // The frozen frame and the vector layer are drawn by the view itself.
      if (CapWnd_ != 0) CapShowWindow(CapWnd_, false);
      Invalidate();
    }
    return;
  }
  Frozen_ = false;
  if (ShowVideo_ && Connected_ && CapWnd_ != 0) {
    CapShowWindow(CapWnd_, true);
    SetDisplayMode(DisplayMode_);
  }
}

bool TCorvexVideoView::SaveFrame() {
  if (!ShowVideo_ || !Connected_ || CapWnd_ == 0) return false;
  return GrabInto(false);
}

void TCorvexVideoView::SetScrollBars(TScrollStyle Value) {
  AppScrollBars_ = Value;
  TCorvexVect::SetScrollBars(Value);
}

void TCorvexVideoView::Select(int x1, int y1, int x2, int y2, TCXSelOp Op) {
  if (Frozen_ || !ShowVideo_) TCorvexVect::Select(x1, y1, x2, y2, Op);
}

void TCorvexVideoView::Paint() {
  if (CapWnd_ == 0) CreateCaptureWindow();
  if (!ShowVideo_ || Frozen_) TCorvexVect::Paint();
}

void TCorvexVideoView::WMSize(TMessage& Message) {
  TCorvexVect::WMSize(Message);
  if (CapWnd_ != 0) CapMoveWindow(CapWnd_, 0, 0, GetClientWidth(), GetClientHeight());
}

}  // namespace corvex
