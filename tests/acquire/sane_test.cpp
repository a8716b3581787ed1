// Scanning through the TWAIN layer and Corvex's source manager over SANE, with SANE's virtual
// "test" scanner: pages compared with what scanimage reads from the same device, capabilities,
// a document feeder into the multi-image view, the failures SANE reports, and `corvex scan`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvex/acquire/CXTWain.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/view/CXMIO.h"
#include "corvex/view/CXMView.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

using namespace testing_support;

class Sane : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Only the virtual scanner: no probing of real buses or the network.
    Dir = TempPath("sane.d");
    std::filesystem::create_directories(Dir);
    std::ofstream(Dir + "/dll.conf") << "test\n";
    // The backend's own settings; without them it starts at a resolution of 50/65536 dpi.
    std::error_code ec;
    if (!std::filesystem::copy_file("/etc/sane.d/test.conf", Dir + "/test.conf",
                                    std::filesystem::copy_options::overwrite_existing, ec))
      std::ofstream(Dir + "/test.conf") << "number_of_devices 2\nresolution 50.0\n";
    ::setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
    CXTW_SetLibraryName("");
    std::vector<TW_IDENTITY> Sources;
    Available = CXTW_GetSourceList(Sources) && !Sources.empty() && CXTW_Name(Sources[0].ProductName) == "test:0";
  }
  void SetUp() override {
    if (!Available) GTEST_SKIP() << "SANE's test backend (libsane1) is not installed";
  }

  struct Scan {
    bool Ok = false;
    TW_UINT16 Condition = TWCC_SUCCESS;
    bool Aborting = false;
    TBitmap Page;
    TIOParamsVals Params;
  };
  // One page through TCorvexIO.Acquire, without the source's dialog.
  static void Acquire(Scan& S, int PixelType, double Dpi, bool Buffered, const std::string& SaneOptions,
                      const double* Frame = nullptr) {
    TCorvexIO IO;
    IO.SetAttachedBitmap(&S.Page);
    TCXTWainParams& P = *IO.GetTWainParams();
    P.ShowSettingsOnAcquire = false;
    P.Caps.BufferedTransfer = Buffered;
    P.Caps.PixelType.Add(PixelType);
    P.Caps.PixelType.SetCurrentValue(PixelType);
    for (TCXDoubleList* L : {&P.Caps.XResolution, &P.Caps.YResolution}) {
      L->Add(Dpi);
      L->SetCurrentValue(Dpi);
    }
    if (Frame != nullptr) {
      P.Caps.AcquireFrameEnabled = true;
      for (int i = 0; i < 4; ++i) P.Caps.AcquireFrame[i] = Frame[i];
    }
    P.SourceData = SaneOptions;
    S.Ok = IO.Acquire();
    S.Condition = CXTW_GetLastCondition();
    S.Aborting = IO.GetAborting();
    S.Params.Assign(&IO.GetParams());
  }

  static std::string Dir;
  static bool Available;
};

std::string Sane::Dir;
bool Sane::Available = false;

// The red-green-blue bytes of a PNM file scanimage wrote (P4, P5 or P6; 16-bit samples shifted
// to 8 bits as the source manager reduces them).
std::vector<uint8_t> ReadPnm(const std::string& Path, int& W, int& H) {
  const std::vector<uint8_t> b = ReadFileBytes(Path);
  size_t at = 0;
  auto Token = [&]() {
    std::string t;
    while (at < b.size() && (std::isspace(b[at]) || b[at] == '#')) {
      if (b[at] == '#')
        while (at < b.size() && b[at] != '\n') ++at;
      else
        ++at;
    }
    while (at < b.size() && !std::isspace(b[at])) t += char(b[at++]);
    return t;
  };
  const std::string Magic = Token();
  W = std::atoi(Token().c_str());
  H = std::atoi(Token().c_str());
  const int Max = Magic == "P4" ? 1 : std::atoi(Token().c_str());
  ++at;
  std::vector<uint8_t> rgb;
  const size_t n = size_t(W) * H;
  for (size_t i = 0; i < n && at < b.size(); ++i) {
    if (Magic == "P4") {
      const size_t row = i / W, col = i % W;
      const uint8_t v = (b[at + row * ((W + 7) / 8) + col / 8] >> (7 - col % 8)) & 1 ? 0 : 255;
      rgb.insert(rgb.end(), {v, v, v});
      continue;
    }
    const int ch = Magic == "P6" ? 3 : 1;
    uint8_t px[3];
    for (int c = 0; c < ch; ++c) {
      px[c] = b[at];  // 16-bit samples are big-endian: this is the high byte
      at += Max > 255 ? 2 : 1;
    }
    if (ch == 1) px[1] = px[2] = px[0];
    rgb.insert(rgb.end(), px, px + 3);
  }
  return rgb;
}

// Each row scans the same page through Corvex and through scanimage; the pixels must be the same
// with buffered-memory and with native transfers. The rows cover colour, grey and lineart pages,
// a three-pass colour scan, a hand scanner that does not announce its length, 16-bit samples
// and reads of a few bytes at a time.
TEST_F(Sane, PagesAreThoseScanimageReads) {
  if (!HaveProgram("scanimage")) GTEST_SKIP() << "scanimage (sane-utils) is not installed";
  struct Row {
    const char* name;
    int type;
    double dpi;
    std::string options;  // SANE options as name=value lines
    std::string scanimage;
  };
  const Row rows[] = {
      {"colour", TWPT_RGB, 75, "test-picture=Color pattern\n", "--mode Color --resolution 75 --test-picture 'Color pattern'"},
      {"grey", TWPT_GRAY, 50, "test-picture=Grid\n", "--mode Gray --resolution 50 --test-picture Grid"},
      {"lineart", TWPT_BW, 100, "test-picture=Grid\n", "--mode Gray --depth 1 --resolution 100 --test-picture Grid"},
      {"three-pass", TWPT_RGB, 50, "three-pass=yes\nthree-pass-order=BRG\ntest-picture=Color pattern\n",
       "--mode Color --three-pass=yes --three-pass-order BRG --resolution 50 --test-picture 'Color pattern'"},
      {"hand scanner", TWPT_GRAY, 50, "hand-scanner=yes\ntest-picture=Grid\n",
       "--mode Gray --hand-scanner=yes --resolution 50 --test-picture Grid"},
      {"16-bit", TWPT_RGB, 50, "depth=16\ntest-picture=Color pattern\n",
       "--mode Color --depth 16 --resolution 50 --test-picture 'Color pattern'"},
      {"small reads", TWPT_RGB, 40, "read-limit=yes\nread-limit-size=13\ntest-picture=Color pattern\n",
       "--mode Color --read-limit=yes --read-limit-size 13 --resolution 40 --test-picture 'Color pattern'"},
  };
  for (const Row& r : rows) {
    const std::string Ref = TempPath("scan.pnm");
    ASSERT_EQ(RunCommand("scanimage -d test:0 --format=pnm " + r.scanimage + " > " + Ref + " 2>/dev/null"), 0) << r.name;
    int W = 0, H = 0;
    const std::vector<uint8_t> Want = ReadPnm(Ref, W, H);
    for (bool Buffered : {true, false}) {
      SCOPED_TRACE(std::string(r.name) + (Buffered ? ", buffered" : ", native"));
      Scan S;
      Acquire(S, r.type, r.dpi, Buffered, r.options);
      ASSERT_TRUE(S.Ok);
      EXPECT_FALSE(S.Aborting);
      EXPECT_EQ(S.Page.GetWidth(), W);
      EXPECT_EQ(S.Page.GetHeight(), H);
      EXPECT_EQ(S.Page.GetPixelFormat(), r.type == TWPT_BW ? pf1bit : pf24bit);
      EXPECT_EQ(S.Params.Width, W);
      EXPECT_EQ(S.Params.DpiX, r.dpi);
      EXPECT_EQ(S.Params.SamplesPerPixel, r.type == TWPT_RGB ? 3 : 1);
      EXPECT_TRUE(RgbBytes(S.Page) == Want);
    }
  }
}

// Lines with pixels the device wastes at their end (bytes per line longer than the pixels need)
// give the same picture as lines without; a frame gives that part of the scan area.
TEST_F(Sane, PaddedLinesAndFrames) {
  Scan Plain, Padded, Framed;
  Acquire(Plain, TWPT_GRAY, 60, true, "test-picture=Grid\n");
  Acquire(Padded, TWPT_GRAY, 60, true, "ppl-loss=7\ntest-picture=Grid\n");
  ASSERT_TRUE(Plain.Ok && Padded.Ok);
  ASSERT_EQ(Padded.Page.GetWidth(), Plain.Page.GetWidth() - 7);
  ASSERT_EQ(Padded.Page.GetHeight(), Plain.Page.GetHeight());
  for (int y = 0; y < Plain.Page.GetHeight(); ++y)
    ASSERT_EQ(std::memcmp(Plain.Page.ScanLine(y), Padded.Page.ScanLine(y), size_t(Padded.Page.GetWidth()) * 3), 0) << y;
  const double Frame[4] = {0.5, 1.0, 1.5, 2.5};  // inches; the device rounds to whole millimetres
  Acquire(Framed, TWPT_RGB, 100, true, "", Frame);
  ASSERT_TRUE(Framed.Ok);
  EXPECT_NEAR(Framed.Page.GetWidth(), 100, 3);
  EXPECT_NEAR(Framed.Page.GetHeight(), 150, 5);
}

TEST_F(Sane, CapabilitiesComeFromTheSaneOptions) {
  TCXTWainParams P;
  TCXTWSourceCaps Caps;
  ASSERT_TRUE(CXTW_GetCapabilities(&P, Caps, false));
  EXPECT_EQ(Caps.XResolution.GetRangeMin(), 1);
  EXPECT_EQ(Caps.XResolution.GetRangeMax(), 1200);
  EXPECT_EQ(Caps.XResolution.GetCurrentValue(), 50);  // the device's default
  ASSERT_EQ(Caps.PixelType.GetCount(), 3);             // lineart from grey at depth 1, grey, colour
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Caps.PixelType.GetItem(i), i);
  EXPECT_NEAR(Caps.PhysicalWidth, 200 / 25.4, 1e-4);   // the scan area is 200 mm each way
  EXPECT_NEAR(Caps.PhysicalHeight, 200 / 25.4, 1e-4);
  EXPECT_FALSE(Caps.FeederEnabled);
  EXPECT_EQ(Caps.XScaling.GetCurrentValue(), 1.0);
  // Negotiated values are what the device reads back.
  Caps.XResolution.SetCurrentValue(300);
  Caps.YResolution.SetCurrentValue(300);  // one SANE option serves both
  Caps.PixelType.SetCurrentValue(TWPT_RGB);
  Caps.FeederEnabled = true;
  ASSERT_TRUE(CXTW_GetCapabilities(&P, Caps, true));
  EXPECT_EQ(Caps.XResolution.GetCurrentValue(), 300);
  EXPECT_EQ(Caps.PixelType.GetCurrentValue(), TWPT_RGB);
  EXPECT_TRUE(Caps.FeederEnabled);
}

// The test scanner's feeder holds ten sheets. The multi-image component inserts them from the
// selected image on, each with its own record and a delay of 100 ms, and stops when it is empty.
TEST_F(Sane, FeederPagesGoIntoTheMultiImageView) {
  TCorvexMView View(nullptr);
  TCorvexMIO MIO;
  MIO.SetAttachedMView(&View);
  View.InsertImage(0);
  View.InsertImage(1);
  View.SetImageID(1, 77);
  View.SetSelectedItem(1);
  TCXTWainParams& P = *MIO.GetTWainParams();
  EXPECT_TRUE(P.Caps.FeederEnabled);  // the multi-image component's default
  P.ShowSettingsOnAcquire = false;
  P.Caps.XResolution.Add(25);
  P.Caps.XResolution.SetCurrentValue(25);
  ASSERT_TRUE(MIO.Acquire());
  EXPECT_FALSE(MIO.GetAborting());
  ASSERT_EQ(View.GetImageCount(), 12);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(View.GetImageDelayTime(i), 100);
    EXPECT_EQ(MIO.GetParams(i)->DpiX, 25);
    EXPECT_EQ(MIO.GetParams(i)->Width, View.GetImageWidth(i));
    EXPECT_GT(View.GetImageWidth(i), 0);
  }
  EXPECT_EQ(View.GetImageID(11), 77);  // the image that was selected moved behind the pages
}

// What SANE refuses ends the acquisition: false, the abort flag, an empty page, the condition
// code naming the cause, and the device closed so that the next scan works. (The test backend's
// failing reads are not used: cancelling its reader thread at the wrong moment deadlocks inside
// the backend.)
TEST_F(Sane, RefusalsEndCleanlyWithTheirCause) {
  const std::pair<std::string, TW_UINT16> cases[] = {
      {"no-such-option=1\n", TWCC_BADVALUE},
      {"mode=Sepia\n", TWCC_BADVALUE},
      {"resolution=many\n", TWCC_BADVALUE},
      {"three-pass-order=RGB\n", TWCC_BADVALUE},  // inactive in grey mode
  };
  for (const auto& [Options, Condition] : cases) {
    SCOPED_TRACE(Options);
    Scan S;
    Acquire(S, TWPT_GRAY, 30, true, Options);
    EXPECT_FALSE(S.Ok);
    EXPECT_TRUE(S.Aborting);
    EXPECT_TRUE(S.Page.GetEmpty());
    EXPECT_EQ(S.Condition, Condition) << CXTW_ConditionText(S.Condition);
    Scan Good;
    Acquire(Good, TWPT_GRAY, 30, true, "");
    EXPECT_TRUE(Good.Ok);
  }
}

TEST_F(Sane, CommandLine) {
  std::string out;
  auto Run = [&](const std::string& Args, std::string* Out) {
    Out->clear();
    return RunCommand(std::string(CORVEX_TOOL) + " scan " + Args + " 2>&1", Out);
  };
  ASSERT_EQ(Run("--list", &out), 0);
  EXPECT_EQ(out.rfind("test:0\tNoname frontend-tester (virtual device)\ntest:1\t", 0), 0u) << out;

  const std::string Tif = TempPath("feeder.tif");
  ASSERT_EQ(Run(Tif + " --feeder --resolution 20 --pixel-type grey", &out), 0) << out;
  EXPECT_EQ(EnumTIFFIm(Tif), 10);
  const std::string Pages = TempPath("page%d.png");
  ASSERT_EQ(Run(Pages + " --feeder --resolution 20 --pixel-type bw", &out), 0) << out;
  for (int i : {1, 10}) EXPECT_TRUE(std::filesystem::exists(TempPath("page" + std::to_string(i) + ".png"))) << i;
  EXPECT_FALSE(std::filesystem::exists(TempPath("page11.png")));

  const std::string Png = TempPath("frame.png");
  ASSERT_EQ(Run(Png + " --source test:1 --resolution 100 --frame 0,0,1,0.5", &out), 0) << out;
  EXPECT_NE(out.find("from test:1: 98x51, 100 dpi, grey"), std::string::npos) << out;  // whole millimetres

  EXPECT_EQ(Run(Png + " --source test:9", &out), 1);
  EXPECT_EQ(out, "corvex: scan: no such source: test:9 (corvex scan --list shows them)\n");
  EXPECT_EQ(Run(Png + " --sane-option mode=Sepia", &out), 1);
  EXPECT_EQ(out, "corvex: scan: test:0: the scan failed (a value was refused)\n");
  EXPECT_EQ(Run(Png + " --pixel-type sepia", &out), 2);
}

// Without a source manager every call fails quietly.
TEST(SaneMissing, NoManagerMeansFalseNotACrash) {
  CXTW_SetLibraryName("libcorvex-no-such-manager.so");
  std::vector<TW_IDENTITY> Sources;
  EXPECT_FALSE(CXTW_GetSourceList(Sources));
  TBitmap B;
  TCorvexIO IO;
  IO.SetAttachedBitmap(&B);
  EXPECT_FALSE(IO.Acquire());
  EXPECT_TRUE(IO.GetAborting());
  EXPECT_FALSE(IO.SelectAcquireSource());
  CXTW_SetLibraryName("");
}

}  // namespace
}  // namespace corvex
