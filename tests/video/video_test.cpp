// Video capture: the synthetic source end to end through both components on the virtual clock,
// recording to AVI (read back by our reader and by ffprobe), and the V4L2 path with its real
// frame thread against a fake camera (formats, short and oversized buffers, unplugging, stops
// from inside events, a component freed while frames flow).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "corvex/acquire/CXVFW.h"
#include "corvex/acquire/VideoCap.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/graphics/bitmap.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"
#include "tests/video/fake_v4l2.h"

using namespace corvex;
using corvex::testing_support::TempPath;
using corvex::testing_support::UiHarness;

namespace {

// Blue, green, red of the synthetic bars, left to right.
constexpr uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                 {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
// The bar at column X of synthetic frame N, W pixels wide.
const uint8_t* BarAt(int X, uint32_t N, int W) { return kBars[((X + 4 * N) % uint32_t(W)) * 8 / uint32_t(W)]; }

struct Recorder : TObject {
  int Frames = 0, Raw = 0;
  int FrameW = 0, FrameH = 0;
  bool BarsRight = true;    // every decoded frame showed the bars of its number
  TBitmapInfoHeader Header;  // of the last raw frame
  size_t BlockSize = 0;
  std::vector<uint8_t> LastRaw;
  std::vector<std::pair<TCXJob, int>> Jobs;
  TCorvexVideoCap* StopIn = nullptr;  // stop this capture from inside the raw event
  void OnFrame(TObject*, TBitmap* B) {
    FrameW = B->GetWidth();
    FrameH = B->GetHeight();
    if (B->GetWidth() == 320 && B->GetHeight() == 240) {
      const uint8_t* p = B->ScanLine(200) + 300 * 3;
      const uint8_t* want = BarAt(300, uint32_t(Frames), 320);
      if (p[0] != want[0] || p[1] != want[1] || p[2] != want[2]) BarsRight = false;
    }
    ++Frames;
  }
  void OnRaw(TObject*, HGLOBAL Dib, void* Data) {
    ++Raw;
    BlockSize = GlobalSize(Dib);
    const void* h = GlobalLock(Dib);
    std::memcpy(&Header, h, sizeof Header);
    GlobalUnlock(Dib);
    const auto* d = static_cast<const uint8_t*>(Data);
    LastRaw.assign(d, d + Header.biSizeImage);
    if (StopIn != nullptr) StopIn->SetCapture(false);
  }
  void OnJob(TObject*, TCXJob J, int32_t Per) { Jobs.push_back({J, Per}); }
};

int TestSource() { return CapDriverIndexOf("test"); }

// Waits (bounded) for frame-thread messages to arrive and handles them until Done holds.
template <class F>
bool PumpUntil(F Done, int Ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    CapWaitForThreadMessages(10);
    Application().ProcessMessages();
  }
  return true;
}

int FfprobeFrames(const std::string& Path) {
  const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                          "-of csv=p=0 '" + Path + "' 2>/dev/null";
  FILE* f = popen(cmd.c_str(), "r");
  if (f == nullptr) return -1;
  int n = -1;
  if (std::fscanf(f, "%d", &n) != 1) n = -1;
  pclose(f);
  return n;
}

}  // namespace

TEST(VideoCapService, DriversRecordsAndAudioFormat) {
  UiHarness ui;
  EXPECT_EQ(sizeof(TCAPDRIVERCAPS), 44u);
  EXPECT_EQ(sizeof(TWAVEFORMATEX), 20u);
  EXPECT_EQ(sizeof(TCAPTUREPARMS), 92u);
  EXPECT_EQ(mmioFOURCC("MJPG"), 0x47504A4Du);
  EXPECT_EQ(mmioFOURCC("AB"), 0x20204241u);
  EXPECT_EQ(TCXVideoCapLink::MicroSecPerFrame(15), 66667u);
  EXPECT_EQ(TCXVideoCapLink::MicroSecPerFrame(0), 1000000u);  // no division by zero

  {
    fakecam::Device dev;
    fakecam::Installed inst(dev);
    TCorvexVideoCap cap(nullptr);
    ASSERT_EQ(cap.GetVideoSourceList().size(), 2u);
    EXPECT_EQ(cap.GetVideoSourceList()[0], "Fake Camera V4L2 fakecam 1.2.3");
    EXPECT_EQ(cap.GetVideoSourceList()[1], "Corvex test source synthetic colour bars 1.0");
    EXPECT_EQ(CapDriverIndexOf("/dev/fakecam0"), 0);
    EXPECT_EQ(CapDriverIndexOf("test"), 1);
    EXPECT_EQ(CapDriverIndexOf("/dev/video9"), -1);
  }

  TCorvexVideoCap cap(nullptr);
  EXPECT_EQ(cap.GetVideoSourceList().back(), "Corvex test source synthetic colour bars 1.0");
  cap.SetVideoSource(TestSource());
  TWAVEFORMATEX before;
  cap.GetWaveFormat(before);
  cap.SetAudioChannels(2);
  TWAVEFORMATEX after;
  cap.GetWaveFormat(after);
  EXPECT_EQ(after.nChannels, 2);
  after.nChannels = before.nChannels;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);  // nothing else recomputed
  EXPECT_FALSE(cap.GetConnected());                          // connected only for the time being
  const TRect r = cap.GetVideoSize();
  EXPECT_EQ(r.Right, 319);
  EXPECT_EQ(r.Bottom, 239);
  EXPECT_FALSE(cap.DoConfigureSource());  // no dialogs
}

TEST(VideoCap, SyntheticFramesOnTheVirtualClock) {
  UiHarness ui;
  Recorder rec;
  TCorvexVideoCap cap(nullptr);
  cap.SetVideoSource(TestSource());
  cap.OnJob = TCXJobEvent(&rec, &Recorder::OnJob);
  cap.SetOnVideoFrame(TVideoFrameEvent(&rec, &Recorder::OnFrame));
  cap.SetOnVideoFrameRaw(TVideoFrameRawEvent(&rec, &Recorder::OnRaw));
  cap.SetCapture(true);
  ASSERT_TRUE(cap.GetCapture());
  ASSERT_EQ(rec.Jobs.size(), 2u);
  EXPECT_EQ(rec.Jobs[0], std::make_pair(cxjVIDEOCAP_CONNECTING, 0));
  EXPECT_EQ(rec.Jobs[1], std::make_pair(cxjNOTHING, 0));

  TCAPTUREPARMS parms;
  ASSERT_TRUE(capCaptureGetSetup(cap.GetCaptureWindow(), &parms, sizeof parms));
  EXPECT_EQ(parms.dwRequestMicroSecPerFrame, 66667u);
  EXPECT_EQ(parms.wPercentDropForError, 100u);
  EXPECT_EQ(parms.fYield, 1u);
  EXPECT_EQ(parms.fCaptureAudio, 0u);

  // 15 frames a second: one every 67 ms, so 14 within a second.
  ui.Advance(1000);
  EXPECT_EQ(rec.Frames, 14);
  EXPECT_EQ(rec.Raw, 14);
  EXPECT_TRUE(rec.BarsRight);
  EXPECT_EQ(rec.FrameW, 320);
  EXPECT_EQ(rec.FrameH, 240);
  // The format block: a bottom-up 24-bit DIB header in a block of at least 1068 bytes.
  EXPECT_GE(rec.BlockSize, 1068u);
  EXPECT_EQ(uint32_t(rec.Header.biSize), 40u);  // (packed fields are copied, not bound)
  EXPECT_EQ(int32_t(rec.Header.biWidth), 320);
  EXPECT_EQ(int32_t(rec.Header.biHeight), 240);
  EXPECT_EQ(int(rec.Header.biBitCount), 24);
  EXPECT_EQ(uint32_t(rec.Header.biCompression), BI_RGB);
  EXPECT_EQ(uint32_t(rec.Header.biSizeImage), 320u * 3 * 240);
  // The raw bytes of frame 13: the bottom row holds the bars, the top-left corner the counter box.
  ASSERT_EQ(rec.LastRaw.size(), 320u * 3 * 240);
  for (int x : {0, 50, 170, 319}) {
    const uint8_t* want = BarAt(x, 13, 320);
    EXPECT_EQ(std::memcmp(&rec.LastRaw[size_t(x) * 3], want, 3), 0) << x;
  }
  EXPECT_EQ(rec.LastRaw[size_t(239) * 960 + 3], 0);  // black box at the top left

  cap.SetCapture(false);
  EXPECT_FALSE(cap.GetConnected());
  ui.Advance(500);
  EXPECT_EQ(rec.Frames, 14);

  // No such driver: the Part's exception, and nothing left running.
  cap.SetVideoSource(7);
  try {
    cap.SetCapture(true);
    ADD_FAILURE() << "no exception";
  } catch (const TVideoCapException& e) {
    EXPECT_STREQ(e.what(), "Unable to open video capture driver");
  }
  EXPECT_FALSE(cap.GetCapture());
  try {
    cap.StartRecord();
    ADD_FAILURE() << "no exception";
  } catch (const TVideoCapException& e) {
    EXPECT_STREQ(e.what(), "Unable to start video recording");
  }
  // A stop from inside a frame event.
  cap.SetVideoSource(TestSource());
  cap.SetCapture(true);
  rec.StopIn = &cap;
  ui.Advance(200);
  EXPECT_FALSE(cap.GetCapture());
  EXPECT_EQ(rec.Raw, 15);
  // Recording to a folder that does not exist.
  cap.SetCaptureFileName(TempPath("no-such-dir") + "/x.avi");
  cap.DriverConnect();
  try {
    cap.StartRecord();
    ADD_FAILURE() << "no exception";
  } catch (const TVideoCapException& e) {
    EXPECT_STREQ(e.what(), "Unable to create AVI file");
  }
  EXPECT_FALSE(cap.GetRecording());
}

TEST(VideoView, PreviewFreezeSelectAndRecord) {
  UiHarness ui;
  TForm* form = ui.NewForm(640, 480);
  auto* view = new TCorvexVideoView(form);
  view->SetParent(form);
  view->SetBounds(0, 0, 640, 480);
  view->SetScrollBars(ssBoth);
  view->SetVideoSource(TestSource());
  Recorder rec;
  view->SetOnVideoFrame(TVideoFrameEvent(&rec, &Recorder::OnFrame));
  view->SetPreviewRate(100);
  view->SetShowVideo(true);
  ASSERT_TRUE(view->GetShowVideo());
  EXPECT_EQ(view->GetScrollBars(), ssNone);
  ui.Advance(1000);
  EXPECT_EQ(rec.Frames, 10);
  EXPECT_TRUE(rec.BarsRight);
  // The live picture (frame 9, its bars moved 36 pixels left) fills the client.
  const int cw = view->GetClientWidth(), ch = view->GetClientHeight();
  auto* capwin = dynamic_cast<TWinControl*>(FindControl(view->GetCaptureWindow()));
  ASSERT_NE(capwin, nullptr);
  EXPECT_EQ(capwin->GetClientWidth(), cw);
  EXPECT_EQ(ui.Pixel(capwin, cw * 300 / 320, ch / 2), clWhite);
  EXPECT_EQ(ui.Pixel(capwin, cw * 270 / 320, ch / 2), clBlack);

  // While live video shows, selecting does nothing; after freezing it works on the frozen frame.
  view->Select(10, 10, 100, 100);
  EXPECT_FALSE(view->GetSelected());
  const uint32_t frozenN = uint32_t(rec.Frames);  // the grab is the next frame
  view->Freeze();
  EXPECT_TRUE(view->GetFrozen());
  EXPECT_EQ(view->GetBitmap()->GetWidth(), cw);  // 320 x 240 fitted to the client
  EXPECT_EQ(view->GetBitmap()->GetHeight(), ch);
  const uint8_t* want = BarAt(300, frozenN, 320);
  const uint8_t* px = view->GetBitmap()->ScanLine(ch * 200 / 240) + size_t(cw * 300 / 320) * 3;
  EXPECT_EQ(std::memcmp(px, want, 3), 0);
  EXPECT_FALSE(capwin->GetVisible());  // the view draws the frozen frame itself
  view->Select(10, 10, 100, 100);
  EXPECT_TRUE(view->GetSelected());
  const int frozenAt = rec.Frames;
  ui.Advance(500);
  EXPECT_EQ(rec.Frames, frozenAt);  // nothing flows while frozen
  view->UnFreeze();
  ui.Advance(500);
  EXPECT_EQ(rec.Frames, frozenAt + 5);

  // Recording 10 frames a second for one second.
  const std::string avi = TempPath("video-rec.avi");
  view->SetCaptureFileName(avi);
  view->SetCaptureFrameRate(10);
  ASSERT_TRUE(view->StartRecord());
  EXPECT_TRUE(view->GetRecording());
  ui.Advance(1000);
  view->StopRecord();
  TCapStatus st;
  ASSERT_TRUE(CapGetStatus(view->GetCaptureWindow(), st));
  EXPECT_EQ(st.FramesCaptured, 10u);
  TAVIReader rd;
  ASSERT_TRUE(rd.Open(avi)) << rd.GetError();
  EXPECT_EQ(rd.GetInfo().Length, 10);
  EXPECT_EQ(rd.GetInfo().Width, 320);
  EXPECT_EQ(rd.GetInfo().Rate, 10u);
  rd.Close();
  if (std::system("ffprobe -version >/dev/null 2>&1") == 0) {
    EXPECT_EQ(FfprobeFrames(avi), 10);
  }
  std::remove(avi.c_str());
  view->SetCaptureFileName(TempPath("no-such-dir") + "/x.avi");
  EXPECT_FALSE(view->StartRecord());
  EXPECT_FALSE(view->GetRecording());

  view->SetShowVideo(false);
  EXPECT_EQ(view->GetScrollBars(), ssBoth);  // the application's choice comes back
  EXPECT_FALSE(view->GetConnected());
  // A driver that does not exist leaves the video off.
  view->SetVideoSource(8);
  view->SetShowVideo(true);
  EXPECT_FALSE(view->GetShowVideo());
}

TEST(VideoV4L2, FakeCameraThroughTheFrameThread) {
  UiHarness ui;
  fakecam::Device dev;
  fakecam::Installed inst(dev);
  Recorder rec;
  TCorvexVideoCap cap(nullptr);
  cap.SetVideoSource(0);
  cap.SetOnVideoFrameRaw(TVideoFrameRawEvent(&rec, &Recorder::OnRaw));

  // Formats: a device that refuses S_FMT, one that has nothing convertible to BGR.
  dev.RefuseSFmt = true;
  EXPECT_THROW(cap.SetCapture(true), TVideoCapException);
  dev.RefuseSFmt = false;
  dev.AcceptBGR = false;
  EXPECT_THROW(cap.SetCapture(true), TVideoCapException);
  dev.AcceptBGR = true;
  // A size the device cuts to what it has.
  EXPECT_TRUE(cap.SetVideoSize(200, 100));
  EXPECT_EQ(cap.GetVideoSize().Right, 159);
  EXPECT_EQ(cap.GetVideoSize().Bottom, 99);
  EXPECT_TRUE(cap.SetVideoSize(64, 48));

  cap.SetCapture(true);
  ASSERT_TRUE(cap.GetCapture());
  // A frame with padded rows arrives bottom-up without padding.
  ASSERT_TRUE(dev.Push(10));
  ASSERT_TRUE(PumpUntil([&] { return rec.Raw == 1; }));
  ASSERT_EQ(rec.LastRaw.size(), 64u * 3 * 48);
  EXPECT_EQ(rec.LastRaw[0], 10);
  EXPECT_EQ(rec.LastRaw[1], 47);  // the bottom row first
  EXPECT_EQ(rec.LastRaw[2], 245);
  EXPECT_EQ(rec.LastRaw[64 * 3 * 47 + 1], 0);

  // A short buffer is dropped; an oversized one is read within its buffer.
  ASSERT_TRUE(dev.Push(20, dev.SizeImage() / 2));
  ASSERT_TRUE(dev.Push(30));
  ASSERT_TRUE(PumpUntil([&] { return rec.Raw == 2; }));
  EXPECT_EQ(rec.LastRaw[0], 30);
  ASSERT_TRUE(dev.Push(40, dev.SizeImage() + 5000));
  ASSERT_TRUE(PumpUntil([&] { return rec.Raw == 3; }));
  EXPECT_EQ(rec.LastRaw[0], 40);

  // Never two frames in flight: while the first waits for the UI thread, the next is dropped.
  const int dq = dev.DequeuedCount();
  ASSERT_TRUE(dev.Push(50));
  ASSERT_TRUE(dev.Push(60));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (dev.DequeuedCount() < dq + 2 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
  ASSERT_EQ(dev.DequeuedCount(), dq + 2);
  CapWaitForThreadMessages(100);
  Application().ProcessMessages();
  EXPECT_EQ(rec.Raw, 4);
  EXPECT_EQ(rec.LastRaw[0], 50);

  // A stop from inside the event, with the frame thread running.
  rec.StopIn = &cap;
  ASSERT_TRUE(dev.Push(70));
  ASSERT_TRUE(PumpUntil([&] { return !cap.GetCapture(); }));
  rec.StopIn = nullptr;

  // Unplugged mid-stream: the capture ends, and starting again raises.
  cap.SetCapture(true);
  dev.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !cap.GetCapture(); }));
  cap.FillDrivers();
  EXPECT_EQ(cap.GetVideoSourceList().size(), 1u);  // only the test source is left
  cap.SetVideoSource(CapDriverIndexOf("/dev/fakecam0"));
  EXPECT_THROW(cap.SetCapture(true), TVideoCapException);

  // Freed while a free-running camera streams.
  {
    std::lock_guard<std::mutex> g(dev.Mu);
    dev.Unplugged = false;
    dev.AutoFrames = true;
  }
  auto cap2 = std::make_unique<TCorvexVideoCap>(nullptr);
  Recorder rec2;
  cap2->SetVideoSource(0);
  cap2->SetOnVideoFrame(TVideoFrameEvent(&rec2, &Recorder::OnFrame));
  cap2->SetCapture(true);
  ASSERT_TRUE(PumpUntil([&] { return rec2.Frames >= 3; }));
  EXPECT_EQ(rec2.FrameW, 64);
  cap2.reset();
  Application().ProcessMessages();  // messages left for the freed component go nowhere
}

TEST(VideoV4L2, ViewFreezesAFrameOfAFreeRunningCamera) {
  UiHarness ui;
  fakecam::Device dev;
  dev.AutoFrames = true;
  fakecam::Installed inst(dev);
  TForm* form = ui.NewForm(320, 240);
  auto* view = new TCorvexVideoView(form);
  view->SetParent(form);
  view->SetBounds(0, 0, 320, 240);
  view->SetVideoSource(0);
  view->SetFitFreeze(false);
  Recorder rec;
  view->SetOnVideoFrame(TVideoFrameEvent(&rec, &Recorder::OnFrame));
  view->SetShowVideo(true);
  ASSERT_TRUE(view->GetShowVideo());
  ASSERT_TRUE(PumpUntil([&] { return rec.Frames >= 2; }));
  view->Freeze();
  ASSERT_EQ(view->GetBitmap()->GetWidth(), 64);
  ASSERT_EQ(view->GetBitmap()->GetHeight(), 48);
  const uint8_t* p = view->GetBitmap()->ScanLine(30);
  EXPECT_EQ(p[1], 30);  // green is the row
  EXPECT_EQ(p[0] + p[2], 255);
  view->UnFreeze();
  const int n = rec.Frames;
  ASSERT_TRUE(PumpUntil([&] { return rec.Frames > n; }));

  // Freed while recording from the frame thread: the file keeps the frames recorded.
  const std::string avi = TempPath("video-v4l2.avi");
  view->SetCaptureFileName(avi);
  view->SetCaptureFrameRate(200);
  ASSERT_TRUE(view->StartRecord());
  TCapStatus st;
  ASSERT_TRUE(PumpUntil([&] {
    CapGetStatus(view->GetCaptureWindow(), st);
    return st.FramesCaptured >= 3;
  }));
  delete view;
  TAVIReader rd;
  ASSERT_TRUE(rd.Open(avi)) << rd.GetError();
  EXPECT_GE(rd.GetInfo().Length, 3);
  EXPECT_EQ(rd.GetInfo().Width, 64);
  rd.Close();
  std::remove(avi.c_str());

  // Unplugged while showing: the live video ends.
  view = new TCorvexVideoView(form);
  view->SetParent(form);
  view->SetBounds(0, 0, 320, 240);
  view->SetVideoSource(0);
  view->SetShowVideo(true);
  ASSERT_TRUE(view->GetShowVideo());
  dev.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !view->GetShowVideo(); }));
  EXPECT_FALSE(view->GetConnected());
  EXPECT_FALSE(view->StartRecord());
}
