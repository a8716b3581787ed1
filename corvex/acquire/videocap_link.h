// What the video view (TCorvexVideoView) and the capture component (TCorvexVideoCap) share: the
// list of drivers, the connection through a capture window, the video-format block, the driver's
// capabilities and dialogs, the audio format and sequence recording to an AVI file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/acquire/videocap_service.h"
#include "corvex/core/defs.h"
#include "corvex/platform/events.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/object.h"
#include "corvex/platform/types.h"

namespace corvex {

class TBitmap;

// procedure(Sender: TObject; Bitmap: TBitmap): a decoded frame; the bitmap belongs to the
// component and is valid only during the call.
using TVideoFrameEvent = TEvent<void(TObject* Sender, TBitmap* Bitmap)>;
// procedure(Sender: TObject; hDib: Cardinal; pData: Pointer): hDib is the global memory block of
// the current video format (a TBitmapInfoHeader), pData the frame's raw bytes.
using TVideoFrameRawEvent = TEvent<void(TObject* Sender, HGLOBAL hDib, void* pData)>;

enum TVCDisplayMode { dmPreview, dmOverlay };

// Raised by TCorvexVideoCap.
class TVideoCapException : public Exception {
 public:
  explicit TVideoCapException(const std::string& Msg) : Exception(Msg) {}
};

class TCXVideoCapLink {
 public:
  TCXVideoCapLink();
  virtual ~TCXVideoCapLink();
  TCXVideoCapLink(const TCXVideoCapLink&) = delete;
  TCXVideoCapLink& operator=(const TCXVideoCapLink&) = delete;

  // "name version" of every driver the service describes (indexes 0 .. 9).
  const std::vector<std::string>& GetVideoSourceList() const { return VideoSourceList_; }
  void FillDrivers();
  int32_t GetVideoSource() const { return VideoSource_; }

  // Connects without events and without raising; true on success.
  bool DriverConnectNE();
  void DriverDisconnect();
  bool GetConnected() const { return Connected_; }
  // Reads the video format into the format block when it is not known yet (connecting for the
  // time being when needed).
  void FillBitmapInfo();
  // (0, 0, width - 1, height - 1) of the video format.
  TRect GetVideoSize();
  // The format block (a TBitmapInfoHeader, at least 1068 bytes) and whether it is current.
  HGLOBAL GetVideoFormatBlock() const { return Format_; }
  HWND GetCaptureWindow() const { return CapWnd_; }

  void GetCaps(TCAPDRIVERCAPS& Caps);
  bool GetHasOverlay();
  bool GetHasDlgVideoSource();
  bool GetHasDlgVideoFormat();
  bool GetHasDlgVideoDisplay();
  bool DoConfigureSource();
  bool DoConfigureFormat();
  bool DoConfigureDisplay();
  bool DoConfigureCompression();
  // Asks the driver for another frame size (a mend of the missing size choice: the service's
  // format dialog is the only other way). False when the device refuses; the format is re-read.
  bool SetVideoSize(int Width, int Height);

  void GetWaveFormat(TWAVEFORMATEX& Fmt);
  void SetWaveFormat(const TWAVEFORMATEX& Fmt);
  uint16_t GetAudioFormat();
  void SetAudioFormat(uint16_t Value);
  uint16_t GetAudioChannels();
  void SetAudioChannels(uint16_t Value);
  uint32_t GetAudioSamplesPerSec();
  void SetAudioSamplesPerSec(uint32_t Value);
  uint16_t GetAudioBitsPerSample();
  void SetAudioBitsPerSample(uint16_t Value);

  const std::string& GetCaptureFileName() const { return CaptureFileName_; }
  void SetCaptureFileName(const std::string& Value) { CaptureFileName_ = Value; }
  int32_t GetCaptureFrameRate() const { return CaptureFrameRate_; }
  void SetCaptureFrameRate(int32_t Value) { CaptureFrameRate_ = Value; }
  bool GetCaptureAudio() const { return CaptureAudio_; }
  void SetCaptureAudio(bool Value) { CaptureAudio_ = Value; }
  bool GetCaptureYield() const { return CaptureYield_; }
  void SetCaptureYield(bool Value) { CaptureYield_ = Value; }
  bool GetRecording() const { return Recording_; }
  void StopRecord();
  // Microseconds per frame for a frame rate: Round(1 / Rate * 1000000); rates below 1 count as 1.
  static uint32_t MicroSecPerFrame(int32_t Rate);

  TCXJobEvent OnJob;
  void DoJob(TCXJob job, int32_t per);

 protected:
  // The component itself (the Sender of events).
  virtual TObject* LinkSender() = 0;
  // Makes the capture window when there is none.
  virtual void CreateCaptureWindow() = 0;
  // The format was read into the block.
  virtual void FormatRead() {}

  // Connects driver VideoSource with OnJob around it; false on failure.
  bool ConnectWithJob();
  // Starts a sequence capture to CaptureFileName: 0 success, 1 the file cannot be created, 2 the
  // capture cannot start.
  int StartRecordCode();
  // Connects for the time being; true when it connected here (disconnect afterwards).
  bool TempConnect(bool& Failed);
  void TempDisconnect(bool ConnectedHere);
  bool RunDialog(uint32_t Msg);
  // The header of the format block as last read.
  const TBitmapInfoHeader& FormatHeader() const { return Header_; }
  void DestroyLink();

  HWND CapWnd_ = 0;
  std::vector<std::string> VideoSourceList_;
  int32_t VideoSource_ = 0;
  HGLOBAL Format_ = 0;
  TBitmapInfoHeader Header_;
  bool FormatKnown_ = false;
  bool Connected_ = false;
  std::string CaptureFileName_ = "Capture.avi";
  int32_t CaptureFrameRate_ = 15;
  bool CaptureAudio_ = false;
  bool CaptureYield_ = true;
  bool Recording_ = false;
};

}  // namespace corvex
