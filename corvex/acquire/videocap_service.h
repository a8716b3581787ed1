// The video-capture service: capture windows that answer the capture messages (connect a driver,
// name and capabilities, preview, grab, sequence capture, video and audio formats, callbacks),
// over two kinds of driver:
//   - V4L2 devices (/dev/video*), opened through libv4l2 so that every pixel format a camera
//     delivers arrives as blue-green-red rows; a frame thread streams from the device;
//   - the synthetic source "test": moving colour bars and a frame counter, made on the
//     user-interface thread by a timer (so it follows the virtual clock in tests).
// Driver indexes 0 .. 9 list the V4L2 devices by path order, then the synthetic source.
//
// Every frame a driver delivers is a 24-bit DIB: bottom row first, rows padded to 4 bytes, as the
// video format (GET_VIDEOFORMAT, a TBitmapInfoHeader) describes it.
//
// Threads. Messages are sent on the user-interface thread. A driver's frame thread never sends a
// message: it calls the video-stream callback itself (the callback must only copy the frame and
// post a message, through CapPostFromThread), and hands other frames to the window through a
// single slot and a posted message, dropping frames while the slot is busy. Messages posted from
// another thread reach the queue when the user-interface thread next runs the service's pump
// (a timer of 5 ms) or waits in CapWaitForThreadMessages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/ui/messages.h"

namespace corvex {

// ------------------------------------------------------------------------------------------------
// Messages of a capture window (numbered as the classic capture service numbers them).
constexpr uint32_t WM_CAP_START = WM_USER;
constexpr uint32_t WM_CAP_SET_CALLBACK_ERROR = WM_CAP_START + 2;
constexpr uint32_t WM_CAP_SET_CALLBACK_YIELD = WM_CAP_START + 4;
constexpr uint32_t WM_CAP_SET_CALLBACK_FRAME = WM_CAP_START + 5;
constexpr uint32_t WM_CAP_SET_CALLBACK_VIDEOSTREAM = WM_CAP_START + 6;
constexpr uint32_t WM_CAP_GET_USER_DATA = WM_CAP_START + 8;
constexpr uint32_t WM_CAP_SET_USER_DATA = WM_CAP_START + 9;
constexpr uint32_t WM_CAP_DRIVER_CONNECT = WM_CAP_START + 10;
constexpr uint32_t WM_CAP_DRIVER_DISCONNECT = WM_CAP_START + 11;
constexpr uint32_t WM_CAP_DRIVER_GET_NAME = WM_CAP_START + 12;
constexpr uint32_t WM_CAP_DRIVER_GET_VERSION = WM_CAP_START + 13;
constexpr uint32_t WM_CAP_DRIVER_GET_CAPS = WM_CAP_START + 14;
constexpr uint32_t WM_CAP_FILE_SET_CAPTURE_FILE = WM_CAP_START + 20;
constexpr uint32_t WM_CAP_FILE_GET_CAPTURE_FILE = WM_CAP_START + 21;
constexpr uint32_t WM_CAP_SET_AUDIOFORMAT = WM_CAP_START + 35;
constexpr uint32_t WM_CAP_GET_AUDIOFORMAT = WM_CAP_START + 36;
constexpr uint32_t WM_CAP_DLG_VIDEOFORMAT = WM_CAP_START + 41;
constexpr uint32_t WM_CAP_DLG_VIDEOSOURCE = WM_CAP_START + 42;
constexpr uint32_t WM_CAP_DLG_VIDEODISPLAY = WM_CAP_START + 43;
constexpr uint32_t WM_CAP_GET_VIDEOFORMAT = WM_CAP_START + 44;
constexpr uint32_t WM_CAP_SET_VIDEOFORMAT = WM_CAP_START + 45;
constexpr uint32_t WM_CAP_DLG_VIDEOCOMPRESSION = WM_CAP_START + 46;
constexpr uint32_t WM_CAP_SET_PREVIEW = WM_CAP_START + 50;
constexpr uint32_t WM_CAP_SET_OVERLAY = WM_CAP_START + 51;
constexpr uint32_t WM_CAP_SET_PREVIEWRATE = WM_CAP_START + 52;
constexpr uint32_t WM_CAP_SET_SCALE = WM_CAP_START + 53;
constexpr uint32_t WM_CAP_GRAB_FRAME = WM_CAP_START + 60;
constexpr uint32_t WM_CAP_GRAB_FRAME_NOSTOP = WM_CAP_START + 61;
constexpr uint32_t WM_CAP_SEQUENCE = WM_CAP_START + 62;
constexpr uint32_t WM_CAP_SEQUENCE_NOFILE = WM_CAP_START + 63;
constexpr uint32_t WM_CAP_SET_SEQUENCE_SETUP = WM_CAP_START + 64;
constexpr uint32_t WM_CAP_GET_SEQUENCE_SETUP = WM_CAP_START + 65;
constexpr uint32_t WM_CAP_STOP = WM_CAP_START + 68;
constexpr uint32_t WM_CAP_ABORT = WM_CAP_START + 69;

// Error identifiers passed to the error callback.
constexpr int IDS_CAP_DEVICE_LOST = 1;     // the device went away while streaming
constexpr int IDS_CAP_FILE_WRITE = 2;      // the capture file could not be written
constexpr int IDS_CAP_BAD_FRAME = 3;       // a frame of the wrong size was dropped

// ------------------------------------------------------------------------------------------------
// Records

// The driver's capabilities (44 bytes).
struct TCAPDRIVERCAPS {
  uint32_t wDeviceIndex = 0;
  uint32_t fHasOverlay = 0;
  uint32_t fHasDlgVideoSource = 0;
  uint32_t fHasDlgVideoFormat = 0;
  uint32_t fHasDlgVideoDisplay = 0;
  uint32_t fCaptureInitialized = 0;
  uint32_t fDriverSuppliesPalettes = 0;
  uint32_t hVideoIn = 0;
  uint32_t hVideoOut = 0;
  uint32_t hVideoExtIn = 0;
  uint32_t hVideoExtOut = 0;
};
static_assert(sizeof(TCAPDRIVERCAPS) == 44);

// The audio format of a recording, exchanged as 20 bytes (18 of fields, 2 of padding).
struct TWAVEFORMATEX {
  uint16_t wFormatTag = 1;  // PCM
  uint16_t nChannels = 1;
  uint32_t nSamplesPerSec = 11025;
  uint32_t nAvgBytesPerSec = 11025;
  uint16_t nBlockAlign = 1;
  uint16_t wBitsPerSample = 8;
  uint16_t cbSize = 0;
};
static_assert(sizeof(TWAVEFORMATEX) == 20);

// The parameters of a sequence capture (92 bytes).
struct TCAPTUREPARMS {
  uint32_t dwRequestMicroSecPerFrame = 66667;
  uint32_t fMakeUserHitOKToCapture = 0;
  uint32_t wPercentDropForError = 10;
  uint32_t fYield = 0;
  uint32_t dwIndexSize = 0;
  uint32_t wChunkGranularity = 0;
  uint32_t fUsingDOSMemory = 0;
  uint32_t wNumVideoRequested = 4;
  uint32_t fCaptureAudio = 0;
  uint32_t wNumAudioRequested = 0;
  uint32_t vKeyAbort = 0;
  uint32_t fAbortLeftMouse = 0;
  uint32_t fAbortRightMouse = 0;
  uint32_t fLimitEnabled = 0;
  uint32_t wTimeLimit = 0;
  uint32_t fMCIControl = 0;
  uint32_t fStepMCIDevice = 0;
  uint32_t dwMCIStartTime = 0;
  uint32_t dwMCIStopTime = 0;
  uint32_t fStepCaptureAt2x = 0;
  uint32_t wStepCaptureAverageFrames = 0;
  uint32_t dwAudioBufferSize = 0;
  uint32_t fDisableWriteCache = 0;
};
static_assert(sizeof(TCAPTUREPARMS) == 92);

// One frame handed to a callback.
constexpr uint32_t VHDR_DONE = 0x00000001;
constexpr uint32_t VHDR_PREPARED = 0x00000002;
constexpr uint32_t VHDR_KEYFRAME = 0x00000008;
struct TVIDEOHDR {
  uint8_t* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uint32_t dwBytesUsed = 0;
  uint32_t dwTimeCaptured = 0;  // milliseconds since the capture started
  uintptr_t dwUser = 0;
  uint32_t dwFlags = 0;
};

// Callbacks. The frame callback runs on the user-interface thread for previewed and grabbed
// frames; the video-stream callback runs for each frame of a sequence, on the driver's frame
// thread for threaded drivers. A yield callback returning false ends a sequence capture.
using TCapFrameCallback = LRESULT (*)(HWND Wnd, TVIDEOHDR* Hdr);
using TCapVideoStreamCallback = LRESULT (*)(HWND Wnd, TVIDEOHDR* Hdr);
using TCapErrorCallback = LRESULT (*)(HWND Wnd, int Id, const char* Text);
using TCapYieldCallback = LRESULT (*)(HWND Wnd);

// mmioFOURCC: the first four characters of S as a little-endian 32-bit code (blanks for missing
// ones).
uint32_t mmioFOURCC(const char* S);

// ------------------------------------------------------------------------------------------------
// Drivers

// Describes driver Index (0 .. 9): its name and version text, each cut to the buffer's size
// (with its terminating zero). False when no driver has that index.
bool capGetDriverDescription(unsigned Index, char* Name, int NameSize, char* Version, int VersionSize);
// The device path of driver Index ("test" for the synthetic source), "" when there is none.
std::string CapDriverPath(unsigned Index);
// The index of the driver with this device path (or "test"), -1 when none has it.
int CapDriverIndexOf(const std::string& Path);

// Default frame size and rate of the synthetic source (320 x 240 unless changed).
void CapSetTestSourceSize(int Width, int Height);

// Creates a capture window. Parent 0 makes a top-level window that is never shown. The window is
// destroyed with CapDestroyCaptureWindow (which stops capture and disconnects first).
HWND capCreateCaptureWindow(const std::string& WindowName, unsigned Style, int X, int Y, int Width,
                            int Height, HWND Parent, int Id);
void CapDestroyCaptureWindow(HWND Wnd);
// Shows, hides or places a capture window.
void CapShowWindow(HWND Wnd, bool Show);
void CapMoveWindow(HWND Wnd, int X, int Y, int Width, int Height);
// The user data of a capture window, readable from any thread; gives up after TimeoutMs when the
// window is busy being changed, answering 0 (as a send to a hung window would).
uintptr_t CapGetUserDataFromThread(HWND Wnd, unsigned TimeoutMs);

// Posts a message from any thread; from the user-interface thread it is posted at once.
void CapPostFromThread(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
// On the user-interface thread: moves messages posted by other threads to the queue, waiting up
// to TimeoutMs for one to come when there is none. True when any was moved.
bool CapWaitForThreadMessages(unsigned TimeoutMs);

// ------------------------------------------------------------------------------------------------
// Sending the messages (each returns the message's result: true on success).
LRESULT capSend(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
inline bool capDriverConnect(HWND w, unsigned i) { return capSend(w, WM_CAP_DRIVER_CONNECT, i, 0) != 0; }
inline bool capDriverDisconnect(HWND w) { return capSend(w, WM_CAP_DRIVER_DISCONNECT, 0, 0) != 0; }
inline bool capDriverGetCaps(HWND w, TCAPDRIVERCAPS* c, unsigned size) {
  return capSend(w, WM_CAP_DRIVER_GET_CAPS, size, reinterpret_cast<LPARAM>(c)) != 0;
}
inline bool capSetUserData(HWND w, uintptr_t d) { return capSend(w, WM_CAP_SET_USER_DATA, 0, LPARAM(d)) != 0; }
inline uintptr_t capGetUserData(HWND w) { return uintptr_t(capSend(w, WM_CAP_GET_USER_DATA, 0, 0)); }
inline bool capPreview(HWND w, bool on) { return capSend(w, WM_CAP_SET_PREVIEW, on, 0) != 0; }
inline bool capOverlay(HWND w, bool on) { return capSend(w, WM_CAP_SET_OVERLAY, on, 0) != 0; }
inline bool capPreviewRate(HWND w, unsigned ms) { return capSend(w, WM_CAP_SET_PREVIEWRATE, ms, 0) != 0; }
inline bool capPreviewScale(HWND w, bool on) { return capSend(w, WM_CAP_SET_SCALE, on, 0) != 0; }
inline bool capGrabFrame(HWND w) { return capSend(w, WM_CAP_GRAB_FRAME, 0, 0) != 0; }
inline bool capGrabFrameNoStop(HWND w) { return capSend(w, WM_CAP_GRAB_FRAME_NOSTOP, 0, 0) != 0; }
inline bool capCaptureSequence(HWND w) { return capSend(w, WM_CAP_SEQUENCE, 0, 0) != 0; }
inline bool capCaptureSequenceNoFile(HWND w) { return capSend(w, WM_CAP_SEQUENCE_NOFILE, 0, 0) != 0; }
inline bool capCaptureStop(HWND w) { return capSend(w, WM_CAP_STOP, 0, 0) != 0; }
inline bool capCaptureAbort(HWND w) { return capSend(w, WM_CAP_ABORT, 0, 0) != 0; }
inline bool capCaptureGetSetup(HWND w, TCAPTUREPARMS* p, unsigned size) {
  return capSend(w, WM_CAP_GET_SEQUENCE_SETUP, size, reinterpret_cast<LPARAM>(p)) != 0;
}
inline bool capCaptureSetSetup(HWND w, const TCAPTUREPARMS* p, unsigned size) {
  return capSend(w, WM_CAP_SET_SEQUENCE_SETUP, size, reinterpret_cast<LPARAM>(p)) != 0;
}
inline bool capFileSetCaptureFile(HWND w, const char* name) {
  return capSend(w, WM_CAP_FILE_SET_CAPTURE_FILE, 0, reinterpret_cast<LPARAM>(name)) != 0;
}
// Size of the video format in bytes with Format nullptr; else copies up to Size bytes of it.
inline uint32_t capGetVideoFormat(HWND w, void* Format, unsigned Size) {
  return uint32_t(capSend(w, WM_CAP_GET_VIDEOFORMAT, Size, reinterpret_cast<LPARAM>(Format)));
}
inline uint32_t capGetVideoFormatSize(HWND w) { return capGetVideoFormat(w, nullptr, 0); }
// Asks for another frame size (the header's width and height; other fields are ignored).
inline bool capSetVideoFormat(HWND w, const TBitmapInfoHeader* Format, unsigned Size) {
  return capSend(w, WM_CAP_SET_VIDEOFORMAT, Size, reinterpret_cast<LPARAM>(Format)) != 0;
}
inline bool capGetAudioFormat(HWND w, TWAVEFORMATEX* f, unsigned size) {
  return capSend(w, WM_CAP_GET_AUDIOFORMAT, size, reinterpret_cast<LPARAM>(f)) != 0;
}
inline bool capSetAudioFormat(HWND w, const TWAVEFORMATEX* f, unsigned size) {
  return capSend(w, WM_CAP_SET_AUDIOFORMAT, size, reinterpret_cast<LPARAM>(f)) != 0;
}
inline bool capDlgVideoSource(HWND w) { return capSend(w, WM_CAP_DLG_VIDEOSOURCE, 0, 0) != 0; }
inline bool capDlgVideoFormat(HWND w) { return capSend(w, WM_CAP_DLG_VIDEOFORMAT, 0, 0) != 0; }
inline bool capDlgVideoDisplay(HWND w) { return capSend(w, WM_CAP_DLG_VIDEODISPLAY, 0, 0) != 0; }
inline bool capDlgVideoCompression(HWND w) { return capSend(w, WM_CAP_DLG_VIDEOCOMPRESSION, 0, 0) != 0; }
inline bool capSetCallbackOnFrame(HWND w, TCapFrameCallback f) {
  return capSend(w, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(f)) != 0;
}
inline bool capSetCallbackOnVideoStream(HWND w, TCapVideoStreamCallback f) {
  return capSend(w, WM_CAP_SET_CALLBACK_VIDEOSTREAM, 0, reinterpret_cast<LPARAM>(f)) != 0;
}
inline bool capSetCallbackOnError(HWND w, TCapErrorCallback f) {
  return capSend(w, WM_CAP_SET_CALLBACK_ERROR, 0, reinterpret_cast<LPARAM>(f)) != 0;
}
inline bool capSetCallbackOnYield(HWND w, TCapYieldCallback f) {
  return capSend(w, WM_CAP_SET_CALLBACK_YIELD, 0, reinterpret_cast<LPARAM>(f)) != 0;
}

// Facts about a capture window for programs and tests.
struct TCapStatus {
  bool Connected = false;
  bool Previewing = false;
  bool Capturing = false;      // a sequence runs
  bool DeviceLost = false;     // the connected device went away
  bool FileError = false;      // the last sequence could not create its capture file
  int Width = 0, Height = 0;
  uint32_t FramesCaptured = 0;  // frames of the current or last sequence
  uint32_t FramesDropped = 0;   // frames a threaded driver dropped while the window was busy
  std::string Error;            // the last error the driver reported
};
bool CapGetStatus(HWND Wnd, TCapStatus& Status);

// ------------------------------------------------------------------------------------------------
// The V4L2 system calls, replaceable for tests. The real ones are libv4l2's.
struct TV4L2Ops {
  int (*Open)(const char* Path, int Flags);
  int (*Close)(int Fd);
  int (*Ioctl)(int Fd, unsigned long Request, void* Arg);
  void* (*Mmap)(void* Start, size_t Length, int Prot, int Flags, int Fd, int64_t Offset);
  int (*Munmap)(void* Start, size_t Length);
  // Waits up to TimeoutMs for a frame to be ready: 1 ready, 0 timeout, -1 error (errno set).
  int (*WaitReadable)(int Fd, int TimeoutMs);
};
// Replaces the V4L2 calls and the device paths that are listed (nullptr: libv4l2 and the paths
// of /dev/video*). Only while no V4L2 device is connected.
void CapSetV4L2Layer(const TV4L2Ops* Ops, const std::vector<std::string>* DevicePaths);

}  // namespace corvex
