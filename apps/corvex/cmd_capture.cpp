// corvex capture: frames from a video device (V4L2 camera or the synthetic source "test").
//
//   corvex capture --list                          the devices, one a line
//   corvex capture clip.avi --device test --frames 50 --rate 25 --size 640x480
//   corvex capture still.png --device /dev/video0  one frame
//   corvex capture --device test --window          the live video view in a window
//   corvex capture --device test --snapshot v.png  the video view, headless, after a few frames
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/corvex/tool.h"
#include "corvex/acquire/CXVFW.h"
#include "corvex/acquire/VideoCap.h"
#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/forms.h"

#ifdef CORVEX_TOOL_WITH_QT
#include <QApplication>

#include "corvex/host/qt/corvexqt.h"
#endif

namespace corvex::tool {
namespace {

const char* const kSelf = "capture";

struct Options {
  std::string out;
  std::string device;  // "" = driver 0
  int width = 0, height = 0;
  int rate = 15;
  int frames = 25;
  bool list = false;
  bool window = false;
  std::string snapshot;
};

bool ParseInt(const std::string& s, int& v, int lo, int hi) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  v = std::atoi(s.c_str());
  return v >= lo && v <= hi;
}

std::string Parse(const std::vector<std::string>& args, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") {
      o.list = true;
    } else if (a == "--window") {
      o.window = true;
    } else if (a == "--device" || a == "--size" || a == "--rate" || a == "--frames" || a == "--snapshot") {
      if (i + 1 >= args.size()) return a + " needs a value";
      const std::string v = args[++i];
      if (a == "--device") {
        o.device = v;
      } else if (a == "--snapshot") {
        o.snapshot = v;
      } else if (a == "--size") {
        const size_t x = v.find('x');
        if (x == std::string::npos || !ParseInt(v.substr(0, x), o.width, 8, 8192) ||
            !ParseInt(v.substr(x + 1), o.height, 8, 8192))
          return "--size wants WxH (8 to 8192 each), not '" + v + "'";
      } else if (a == "--rate") {
        if (!ParseInt(v, o.rate, 1, 1000)) return "--rate wants frames a second (1 to 1000), not '" + v + "'";
      } else if (!ParseInt(v, o.frames, 1, 1000000)) {
        return "--frames wants a count (1 to 1000000), not '" + v + "'";
      }
    } else if (!a.empty() && a[0] == '-') {
      return "unknown option " + a;
    } else if (o.out.empty()) {
      o.out = a;
    } else {
      return "one output file only";
    }
  }
  if (!o.list && !o.window && o.snapshot.empty() && o.out.empty()) return "no output file";
  return "";
}

int ListDevices() {
  for (unsigned i = 0; i <= 9; ++i) {
    char name[80], ver[80];
    if (!capGetDriverDescription(i, name, 80, ver, 80)) break;
    std::printf("%u\t%s\t%s\t%s\n", i, CapDriverPath(i).c_str(), name, ver);
  }
  return kOk;
}

// The driver index of the device asked for; -1 with a message when there is none.
int DriverIndex(const Options& o) {
  if (o.device.empty()) return 0;
  const int i = CapDriverIndexOf(o.device);
  if (i < 0) Fail(kFailed, o.device + ": no such capture device (see corvex capture --list)");
  return i;
}

bool IsTestSource(int Index) { return CapDriverPath(unsigned(Index)) == "test"; }

// Runs the application until Done holds: on the virtual clock for the synthetic source (its
// frames come from a timer), waiting for the frame thread's messages for a device. False when a
// device delivered nothing for Ms milliseconds.
template <class F>
bool RunUntil(int Index, unsigned StepMs, F Done, int Ms) {
  const bool virtualClock = IsTestSource(Index);
  auto last = std::chrono::steady_clock::now();
  while (!Done()) {
    if (virtualClock) {
      Application().AdvanceClock(StepMs);
      continue;
    }
    if (CapWaitForThreadMessages(50)) last = std::chrono::steady_clock::now();
    Application().ProcessMessages();
    if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(Ms)) return false;
  }
  return true;
}

std::string DeviceName(int Index) {
  char name[80], ver[80];
  if (!capGetDriverDescription(unsigned(Index), name, 80, ver, 80)) return "?";
  return name;
}

// Records Frames frames of a sequence to an AVI file.
int Record(const Options& o, int Index) {
  TCorvexVideoCap cap(nullptr);
  cap.SetVideoSource(Index);
  try {
    cap.DriverConnect();
    if (o.width > 0 && !cap.SetVideoSize(o.width, o.height))
      return Fail(kFailed, o.device + ": the device refuses the size " + std::to_string(o.width) + "x" +
                               std::to_string(o.height));
    cap.SetCaptureFrameRate(o.rate);
    cap.SetCaptureFileName(o.out);
    cap.StartRecord();
  } catch (const TVideoCapException& e) {
    return Fail(kFailed, o.out + ": " + e.what());
  }
  TCapStatus st;
  const unsigned step = TCXVideoCapLink::MicroSecPerFrame(o.rate) / 1000 + 1;
  const bool ok = RunUntil(Index, step, [&] {
    CapGetStatus(cap.GetCaptureWindow(), st);
    return st.FramesCaptured >= uint32_t(o.frames) || !st.Capturing;
  }, 5000);
  cap.StopRecord();
  CapGetStatus(cap.GetCaptureWindow(), st);
  if (!ok || st.DeviceLost) return Fail(kFailed, o.out + ": the device stopped delivering frames" +
                                                     (st.Error.empty() ? "" : " (" + st.Error + ")"));
  const TRect r = cap.GetVideoSize();
  std::printf("%s: %u frames of %dx%d at %d frames a second from %s\n", o.out.c_str(), st.FramesCaptured,
              r.Right + 1, r.Bottom + 1, o.rate, DeviceName(Index).c_str());
  return kOk;
}

struct FrameKeeper : TObject {
  TBitmap Frame;
  int Count = 0;
  int Skip = 0;  // frames to let pass first (a camera settles its exposure)
  void OnFrame(TObject*, TBitmap* B) {
    if (Count++ >= Skip && Frame.GetEmpty()) CXCopyBitmap(B, &Frame);
  }
};

int Save(TBitmap& B, const std::string& File) {
  TCorvexIO io;
  io.SetAttachedBitmap(&B);
  try {
    io.SaveToFile(File);
  } catch (const std::exception& e) {
    return Fail(kFailed, File + ": " + e.what());
  }
  if (io.GetAborting()) return Fail(kFailed, File + ": cannot save it (unknown extension, or the writer failed)");
  return kOk;
}

// Grabs one frame into an image file.
int Grab(const Options& o, int Index) {
  TCorvexVideoCap cap(nullptr);
  cap.SetVideoSource(Index);
  FrameKeeper keep;
  keep.Skip = IsTestSource(Index) ? 0 : 5;
  cap.SetOnVideoFrame(TVideoFrameEvent(&keep, &FrameKeeper::OnFrame));
  try {
    cap.DriverConnect();
    if (o.width > 0 && !cap.SetVideoSize(o.width, o.height))
      return Fail(kFailed, o.device + ": the device refuses the size " + std::to_string(o.width) + "x" +
                               std::to_string(o.height));
    cap.SetCaptureFrameRate(o.rate);
    cap.SetCapture(true);
  } catch (const TVideoCapException& e) {
    return Fail(kFailed, (o.device.empty() ? DeviceName(Index) : o.device) + ": " + e.what());
  }
  const bool ok = RunUntil(Index, 10, [&] { return !keep.Frame.GetEmpty() || !cap.GetCapture(); }, 5000);
  cap.SetCapture(false);
  if (!ok || keep.Frame.GetEmpty()) return Fail(kFailed, o.out + ": the device delivered no frame");
  return Save(keep.Frame, o.out);
}

// The video view in a form, showing live video.
struct VideoForm {
  std::unique_ptr<TForm> form;
  TCorvexVideoView* view = nullptr;
  VideoForm(int Index, const Options& o) : form(std::make_unique<TForm>(nullptr)) {
    form->SetText("corvex capture - " + DeviceName(Index));
    form->SetBounds(100, 100, o.width > 0 ? o.width + 4 : 644, o.height > 0 ? o.height + 4 : 484);
    view = new TCorvexVideoView(form.get());
    view->SetParent(form.get());
    view->SetAlign(alClient);
    view->SetVideoSource(Index);
    if (o.width > 0) view->SetVideoSize(o.width, o.height);
    view->SetPreviewRate(1000 / o.rate);
  }
};

int Snapshot(const Options& o, int Index) {
  VideoForm v(Index, o);
  v.form->Show();
  v.view->SetShowVideo(true);
  if (!v.view->GetShowVideo()) return Fail(kFailed, DeviceName(Index) + ": Unable to open video capture driver");
  TCapStatus st;
  int frames = 0;
  struct Counter : TObject {
    int* n;
    void On(TObject*, TBitmap*) { ++*n; }
  } counter;
  counter.n = &frames;
  v.view->SetOnVideoFrame(TVideoFrameEvent(&counter, &Counter::On));
  const bool ok = RunUntil(Index, 10, [&] { return frames >= 3 || !v.view->GetShowVideo(); }, 5000);
  v.view->SetOnVideoFrame(nullptr);
  if (!ok || !v.view->GetShowVideo()) return Fail(kFailed, o.snapshot + ": the device delivered no frame");
  Application().ProcessMessages();
  TBitmap shot;
  CXCopyBitmap(Application().WindowSurface(v.form.get()), &shot);
  v.view->SetShowVideo(false);
  v.form->Hide();
  return Save(shot, o.snapshot);
}

#ifdef CORVEX_TOOL_WITH_QT
struct QuitOnClose : TObject {
  void Close(TObject*, TCloseAction&) { QApplication::quit(); }
};

int Window(const Options& o, int Index) {
  if (!HasDisplay())
    return UsageError(kSelf, "there is no display to open a window on (DISPLAY is not set); use --snapshot OUT.png");
  static int argc = 1;
  static char name[] = "corvex";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  qt::Host host;
  VideoForm v(Index, o);
  QuitOnClose quit;
  v.form->OnClose = TCloseEvent(&quit, &QuitOnClose::Close);
  v.form->Show();
  v.view->SetShowVideo(true);
  if (!v.view->GetShowVideo()) return Fail(kFailed, DeviceName(Index) + ": Unable to open video capture driver");
  const int rc = app.exec();
  v.view->SetShowVideo(false);
  v.form->Hide();
  return rc == 0 ? kOk : kFailed;
}
#endif

int RunCapture(const std::vector<std::string>& args) {
  Options o;
  const std::string bad = Parse(args, o);
  if (!bad.empty()) return UsageError(kSelf, bad);
  if (o.list) return ListDevices();
  const int index = DriverIndex(o);
  if (index < 0) return kFailed;
  if (!o.snapshot.empty()) return Snapshot(o, index);
  if (o.window) {
#ifdef CORVEX_TOOL_WITH_QT
    return Window(o, index);
#else
    return UsageError(kSelf, "this corvex was built without the Qt host and cannot open a window; use --snapshot OUT.png");
#endif
  }
  if (LowerExtension(o.out) == "avi") return Record(o, index);
  return Grab(o, index);
}

}  // namespace
CORVEX_COMMAND(capture,
               "OUT [--device PATH|test] [--size WxH] [--rate FPS] [--frames N] | --list | "
               "--window | --snapshot OUT.png",
               "capture video from a camera or the synthetic source \"test\": OUT.avi records N frames "
               "(default 25), another image type grabs one frame; --list shows the devices, --window the "
               "live video view",
               RunCapture);
}  // namespace corvex::tool
