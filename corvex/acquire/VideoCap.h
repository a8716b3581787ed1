// TCorvexVideoCap: a non-visual component that runs a background capture from a video driver
// and hands every frame to the application, decoded (OnVideoFrame) or raw (OnVideoFrameRaw).
//
// Frames travel from the driver's frame thread to the user-interface thread through a frame
// buffer guarded by a ready flag and a message posted to a hidden window: a frame is copied only
// while the component is ready, and it is ready again only after the events have run, so there
// is never more than one frame in flight. Both events run on the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "corvex/acquire/videocap_link.h"
#include "corvex/platform/component.h"

namespace corvex {

class TBitmap;
class TWinControl;

// Messages of the hidden window: a frame is in the buffer; destroy the window; the device went
// away.
constexpr uint32_t CXVC_FRAME = 6024;
constexpr uint32_t CXVC_DESTROY = 6025;
constexpr uint32_t CXVC_LOST = 6026;

class TCorvexVideoCap : public TComponent, public TCXVideoCapLink {
 public:
  explicit TCorvexVideoCap(TComponent* AOwner);
  ~TCorvexVideoCap() override;

  // Starts (true) or stops the background capture. Starting raises TVideoCapException with
  // "Unable to open video capture driver" when driver VideoSource cannot be connected, and with
  // "Unable to start video recording" when the driver will not stream.
  bool GetCapture() const { return Capture_; }
  void SetCapture(bool Value);
  // Stores the driver index; a running capture restarts on the new driver.
  void SetVideoSource(int32_t Value);

  const TVideoFrameEvent& GetOnVideoFrame() const { return OnVideoFrame_; }
  void SetOnVideoFrame(const TVideoFrameEvent& Value);
  const TVideoFrameRawEvent& GetOnVideoFrameRaw() const { return OnVideoFrameRaw_; }
  void SetOnVideoFrameRaw(const TVideoFrameRawEvent& Value);
  // Installs (or removes) the capture's callbacks when connected.
  void SetCallBackFrame(bool Value);

  // Connects driver VideoSource with OnJob around it; raises "Unable to open video capture
  // driver" on failure.
  void DriverConnect();
  // Records to CaptureFileName; raises "Unable to create AVI file" or "Unable to start video
  // recording".
  void StartRecord();

  // The bitmap OnVideoFrame receives (the video format's size).
  TBitmap* GetFrameBitmap() const { return FrameBitmap_.get(); }
  // Registers the hidden message window (the constructor does it).
  void AllocateWindow();

 protected:
  TObject* LinkSender() override { return this; }
  void CreateCaptureWindow() override;
  void FormatRead() override;

 private:
  class THiddenWindow;
  friend class THiddenWindow;
  static LRESULT StreamCallback(HWND Wnd, TVIDEOHDR* Hdr);
  static LRESULT ErrorCallback(HWND Wnd, int Id, const char* Text);
  static LRESULT YieldCallback(HWND Wnd);
  void HiddenMessage(uint32_t Msg);
  void StopCapture();

  bool Capture_ = false;
  bool CallBackFrame_ = false;
  TVideoFrameEvent OnVideoFrame_;
  TVideoFrameRawEvent OnVideoFrameRaw_;
  std::unique_ptr<TBitmap> FrameBitmap_;
  std::vector<uint8_t> FrameBuffer_;
  std::atomic<bool> Ready_{true};
  THiddenWindow* Hidden_ = nullptr;
  HWND HiddenHandle_ = 0;  // read by the frame thread
};

}  // namespace corvex
