// TCorvexVideoView: a vector view (TCorvexVect) that shows live video from a capture driver in its
// client area, freezes a frame into its bitmap (where the image and the vector layer show and
// selections work again) and records AVI files.
//
// The video is shown by a capture window, a child that covers the client area. It is made at
// the first paint (or when video is first asked for); ShowVideo connects the driver and starts
// the preview at PreviewRate milliseconds a frame. Overlay is preview here. The view never
// raises: failures leave ShowVideo false and make StartRecord and the dialogs return false.
#pragma once

#include <cstdint>

#include "corvex/acquire/videocap_link.h"
#include "corvex/view/CXVect.h"

namespace corvex {

// Posted to the view when the capture device went away.
constexpr uint32_t CXVV_DEVICELOST = WM_USER + 300;

class TCorvexVideoView : public TCorvexVect, public TCXVideoCapLink {
 public:
  explicit TCorvexVideoView(TComponent* AOwner);
  ~TCorvexVideoView() override;

  bool GetShowVideo() const { return ShowVideo_; }
  void SetShowVideo(bool Value);
  bool GetFrozen() const { return Frozen_; }
  TVCDisplayMode GetDisplayMode() const { return DisplayMode_; }
  void SetDisplayMode(TVCDisplayMode Value);
  void SetVideoSource(int32_t Value);
  int32_t GetPreviewRate() const { return PreviewRate_; }
  void SetPreviewRate(int32_t Value);
  bool GetFitFreeze() const { return FitFreeze_; }
  void SetFitFreeze(bool Value) { FitFreeze_ = Value; }

  const TVideoFrameEvent& GetOnVideoFrame() const { return OnVideoFrame_; }
  void SetOnVideoFrame(const TVideoFrameEvent& Value);
  const TVideoFrameRawEvent& GetOnVideoFrameRaw() const { return OnVideoFrameRaw_; }
  void SetOnVideoFrameRaw(const TVideoFrameRawEvent& Value);
  void SetCallBackFrame(bool Value);

  // Connects driver VideoSource with OnJob around it; false on failure.
  bool DriverConnect();
  // Records to CaptureFileName while connected; false when the file or the capture cannot start.
  bool StartRecord();

  // Freezing grabs one frame into the view's bitmap (fitted to the client with FitFreeze) and
  // shows it with the vector layer; UnFreeze goes live again.
  void Freeze() { SetFreeze(true); }
  void UnFreeze() { SetFreeze(false); }
  void SetFreeze(bool Value);
  // Grabs a frame into the bitmap as freezing does, keeping the live video. False when no frame
  // came.
  bool SaveFrame();
  // Decodes a raw frame of the current video format into Bitmap.
  void DecompRawFrame(TBitmap* Bitmap, const void* Data);

  void CreateCaptureWindow() override;
  void DestroyCaptureWindow();

  void SetScrollBars(TScrollStyle Value) override;
  void Select(int x1, int y1, int x2, int y2, TCXSelOp Op = cxspReplace) override;
  void WndProc(TMessage& Message) override;

 protected:
  TObject* LinkSender() override { return this; }
  void Paint() override;
  void WMSize(TMessage& Message) override;

 private:
  static LRESULT FrameCallback(HWND Wnd, TVIDEOHDR* Hdr);
  static LRESULT ErrorCallback(HWND Wnd, int Id, const char* Text);
  bool GrabInto(bool Stop);

  bool ShowVideo_ = false;
  bool Frozen_ = false;
  TVCDisplayMode DisplayMode_ = dmPreview;
  TScrollStyle AppScrollBars_ = ssNone;
  int32_t PreviewRate_ = 60;
  bool CallBackFrame_ = false;
  TVideoFrameEvent OnVideoFrame_;
  TVideoFrameRawEvent OnVideoFrameRaw_;
  bool FitFreeze_ = true;
  bool GrabRequested_ = false;
};

}  // namespace corvex
