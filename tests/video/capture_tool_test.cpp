// `corvex capture` end to end with the synthetic source: the device list, a recorded sequence
// that ffprobe counts, a grabbed frame, and the one-line failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "tests/common/testing.h"

#ifdef CORVEX_TOOL
namespace {

using namespace corvex;
using namespace corvex::testing_support;

int Tool(const std::string& args, std::string* out = nullptr) {
  if (out) out->clear();
  return RunCommand(std::string(CORVEX_TOOL) + " capture " + args + " 2>&1", out);
}

// 'Path' for the shell (built by appending: gcc 12 warns wrongly about `"'" + s`).
std::string Quoted(const std::string& Path) {
  std::string q(1, '\'');
  q.append(Path).push_back('\'');
  return q;
}

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

TEST(CaptureTool, ListRecordGrabAndFailures) {
  std::string out;
  ASSERT_EQ(Tool("--list", &out), 0);
  EXPECT_NE(out.find("test\tCorvex test source"), std::string::npos) << out;

  const std::string avi = TempPath("capture-tool.avi");
  ASSERT_EQ(Tool(Quoted(avi) + " --device test --frames 12 --rate 8 --size 96x64", &out), 0) << out;
  EXPECT_NE(out.find("12 frames of 96x64 at 8 frames a second"), std::string::npos) << out;
  std::string probe;
  if (RunCommand("ffprobe -version >/dev/null 2>&1") == 0) {
    ASSERT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                         "stream=nb_read_frames,width,height,r_frame_rate -of csv=p=0 " + Quoted(avi),
                         &probe),
              0);
    EXPECT_EQ(probe, "96,64,8/1,12\n");
  }
  std::remove(avi.c_str());

  const std::string png = TempPath("capture-tool.png");
  ASSERT_EQ(Tool(Quoted(png) + " --device test", &out), 0) << out;
  TBitmap b;
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(png);
  ASSERT_FALSE(io.GetAborting());
  EXPECT_EQ(b.GetWidth(), 320);
  EXPECT_EQ(b.GetHeight(), 240);
  const uint8_t* p = b.ScanLine(200) + 60 * 3;  // frame 0: the yellow bar
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 255);
  EXPECT_EQ(p[2], 255);
  std::remove(png.c_str());

  // Failures: one line and status 1.
  EXPECT_EQ(Tool("x.png --device /dev/video77", &out), 1);
  EXPECT_EQ(Lines(out), 1) << out;
  EXPECT_EQ(Tool(Quoted(TempPath("no-such-dir") + "/x.avi") + " --device test", &out), 1);
  EXPECT_EQ(Lines(out), 1) << out;
  EXPECT_NE(out.find("Unable to create AVI file"), std::string::npos) << out;
  EXPECT_EQ(Tool("x.avi --device test --frames 0", &out), 2);  // wrong usage
}

}  // namespace
#endif
