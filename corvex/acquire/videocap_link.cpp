// The part of video capture that the view and the capture component share.
#include "corvex/acquire/videocap_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "corvex/platform/numbers.h"

namespace corvex {

TCXVideoCapLink::TCXVideoCapLink() {
  Format_ = GlobalAlloc(GHND, 1068);
  Header_.biBitCount = 0;
}

TCXVideoCapLink::~TCXVideoCapLink() { DestroyLink(); }

void TCXVideoCapLink::DestroyLink() {
  if (CapWnd_ != 0) {
    CapDestroyCaptureWindow(CapWnd_);  // stops capture and disconnects first
    CapWnd_ = 0;
  }
  Connected_ = false;
  Recording_ = false;
  if (Format_ != 0) {
    GlobalFree(Format_);
    Format_ = 0;
  }
}

void TCXVideoCapLink::DoJob(TCXJob job, int32_t per) {
  if (OnJob) OnJob(LinkSender(), job, per);
}

void TCXVideoCapLink::FillDrivers() {
  VideoSourceList_.clear();
  for (unsigned i = 0; i <= 9; ++i) {
    char name[80], ver[80];
    if (capGetDriverDescription(i, name, 80, ver, 80)) VideoSourceList_.push_back(std::string(name) + " " + ver);
  }
}

bool TCXVideoCapLink::ConnectWithJob() {
  DoJob(cxjVIDEOCAP_CONNECTING, 0);
  if (CapWnd_ == 0) CreateCaptureWindow();
  if (!capDriverConnect(CapWnd_, unsigned(VideoSource_))) {
    DoJob(cxjNOTHING, 0);  // the job ends here too, so that a busy indicator goes away
    return false;
  }
  Connected_ = true;
  FormatKnown_ = false;
  FillBitmapInfo();
  DoJob(cxjNOTHING, 0);
  return true;
}

bool TCXVideoCapLink::DriverConnectNE() {
  if (CapWnd_ == 0) CreateCaptureWindow();
  if (!capDriverConnect(CapWnd_, unsigned(VideoSource_))) return false;
  Connected_ = true;
  FormatKnown_ = false;
  FillBitmapInfo();
  return true;
}

void TCXVideoCapLink::DriverDisconnect() {
  if (CapWnd_ != 0) capDriverDisconnect(CapWnd_);
  Connected_ = false;
  Recording_ = false;
}

bool TCXVideoCapLink::TempConnect(bool& Failed) {
  Failed = false;
  if (Connected_) return false;
  if (CapWnd_ == 0) CreateCaptureWindow();
  if (!capDriverConnect(CapWnd_, unsigned(VideoSource_))) {
    Failed = true;
    return false;
  }
  Connected_ = true;
  return true;
}

void TCXVideoCapLink::TempDisconnect(bool ConnectedHere) {
  if (!ConnectedHere) return;
  capDriverDisconnect(CapWnd_);
  Connected_ = false;
}

void TCXVideoCapLink::FillBitmapInfo() {
  if (FormatKnown_) return;
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return;
  const uint32_t size = capGetVideoFormatSize(CapWnd_);
  if (size >= sizeof(TBitmapInfoHeader)) {
    const size_t want = std::max<size_t>(1068, size);
    if (GlobalSize(Format_) != want) {
      const HGLOBAL h = GlobalReAlloc(Format_, want, GHND);
      if (h != 0) Format_ = h;
    }
    if (void* p = GlobalLock(Format_)) {
      std::memset(p, 0, GlobalSize(Format_));
      capGetVideoFormat(CapWnd_, p, unsigned(std::min<size_t>(size, GlobalSize(Format_))));
      std::memcpy(&Header_, p, sizeof Header_);
      GlobalUnlock(Format_);
      FormatKnown_ = true;
    }
  }
  TempDisconnect(here);
  if (FormatKnown_) FormatRead();
}

TRect TCXVideoCapLink::GetVideoSize() {
  if (CapWnd_ == 0) CreateCaptureWindow();
  FillBitmapInfo();
  if (!FormatKnown_) return TRect(0, 0, -1, -1);
  return TRect(0, 0, Header_.biWidth - 1, std::abs(Header_.biHeight) - 1);
}

void TCXVideoCapLink::GetCaps(TCAPDRIVERCAPS& Caps) {
  Caps = TCAPDRIVERCAPS();
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return;
  capDriverGetCaps(CapWnd_, &Caps, sizeof Caps);
  TempDisconnect(here);
}

bool TCXVideoCapLink::GetHasOverlay() {
  TCAPDRIVERCAPS c;
  GetCaps(c);
  return c.fHasOverlay != 0;
}
bool TCXVideoCapLink::GetHasDlgVideoSource() {
  TCAPDRIVERCAPS c;
  GetCaps(c);
  return c.fHasDlgVideoSource != 0;
}
bool TCXVideoCapLink::GetHasDlgVideoFormat() {
  TCAPDRIVERCAPS c;
  GetCaps(c);
  return c.fHasDlgVideoFormat != 0;
}
bool TCXVideoCapLink::GetHasDlgVideoDisplay() {
  TCAPDRIVERCAPS c;
  GetCaps(c);
  return c.fHasDlgVideoDisplay != 0;
}

bool TCXVideoCapLink::RunDialog(uint32_t Msg) {
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return false;
  const bool ok = capSend(CapWnd_, Msg, 0, 0) != 0;
  FormatKnown_ = false;
  FillBitmapInfo();
  TempDisconnect(here);
  return ok;
}
bool TCXVideoCapLink::DoConfigureSource() { return RunDialog(WM_CAP_DLG_VIDEOSOURCE); }
bool TCXVideoCapLink::DoConfigureFormat() { return RunDialog(WM_CAP_DLG_VIDEOFORMAT); }
bool TCXVideoCapLink::DoConfigureDisplay() { return RunDialog(WM_CAP_DLG_VIDEODISPLAY); }
bool TCXVideoCapLink::DoConfigureCompression() { return RunDialog(WM_CAP_DLG_VIDEOCOMPRESSION); }

bool TCXVideoCapLink::SetVideoSize(int Width, int Height) {
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return false;
  TBitmapInfoHeader h;
  h.biWidth = Width;
  h.biHeight = Height;
  h.biBitCount = 24;
  const bool ok = capSetVideoFormat(CapWnd_, &h, sizeof h);
  FormatKnown_ = false;
  FillBitmapInfo();
  TempDisconnect(here);
  return ok;
}

void TCXVideoCapLink::GetWaveFormat(TWAVEFORMATEX& Fmt) {
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return;
  capGetAudioFormat(CapWnd_, &Fmt, sizeof Fmt);
  TempDisconnect(here);
}

void TCXVideoCapLink::SetWaveFormat(const TWAVEFORMATEX& Fmt) {
  bool failed;
  const bool here = TempConnect(failed);
  if (failed) return;
  capSetAudioFormat(CapWnd_, &Fmt, sizeof Fmt);
  TempDisconnect(here);
}

uint16_t TCXVideoCapLink::GetAudioFormat() {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  return f.wFormatTag;
}
void TCXVideoCapLink::SetAudioFormat(uint16_t Value) {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  f.wFormatTag = Value;
  SetWaveFormat(f);
}
uint16_t TCXVideoCapLink::GetAudioChannels() {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  return f.nChannels;
}
void TCXVideoCapLink::SetAudioChannels(uint16_t Value) {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  f.nChannels = Value;
  SetWaveFormat(f);
}
uint32_t TCXVideoCapLink::GetAudioSamplesPerSec() {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  return f.nSamplesPerSec;
}
void TCXVideoCapLink::SetAudioSamplesPerSec(uint32_t Value) {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  f.nSamplesPerSec = Value;
  SetWaveFormat(f);
}
uint16_t TCXVideoCapLink::GetAudioBitsPerSample() {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  return f.wBitsPerSample;
}
void TCXVideoCapLink::SetAudioBitsPerSample(uint16_t Value) {
  TWAVEFORMATEX f;
  GetWaveFormat(f);
  f.wBitsPerSample = Value;
  SetWaveFormat(f);
}

uint32_t TCXVideoCapLink::MicroSecPerFrame(int32_t Rate) {
  // A rate of zero would divide by zero; below one frame a second counts as one.
  const double r = Rate < 1 ? 1.0 : double(Rate);
  return uint32_t(Round(1.0 / r * 1000000.0));
}

int TCXVideoCapLink::StartRecordCode() {
  if (Recording_) return 0;
  if (CapWnd_ == 0 || !Connected_) return 2;
  TCAPTUREPARMS p;
  capCaptureGetSetup(CapWnd_, &p, sizeof p);
  p.fYield = CaptureYield_ ? 1 : 0;
  p.fCaptureAudio = CaptureAudio_ ? 1 : 0;
  p.dwRequestMicroSecPerFrame = MicroSecPerFrame(CaptureFrameRate_);
  capCaptureSetSetup(CapWnd_, &p, sizeof p);
  if (!capFileSetCaptureFile(CapWnd_, CaptureFileName_.c_str())) return 1;
  if (!capCaptureSequence(CapWnd_)) {
    TCapStatus s;
    CapGetStatus(CapWnd_, s);
    return s.FileError ? 1 : 2;
  }
  Recording_ = true;
  return 0;
}

void TCXVideoCapLink::StopRecord() {
  if (!Recording_) return;
  if (CapWnd_ != 0) capCaptureStop(CapWnd_);
  Recording_ = false;
}

}  // namespace corvex
