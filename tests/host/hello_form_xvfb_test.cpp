// hello-form in a real X window under Xvfb: the screenshot shows the form's colours.
#include <QImage>
#include <QSet>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "host_testing.h"
#include "tests/common/testing.h"

namespace corvex::qt::testing {
namespace {

TEST(HelloFormXvfb, RealWindowShowsTheFormsColours) {
  if (!corvex::testing_support::HaveProgram("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string shot = corvex::testing_support::TempPath("hello-form-xvfb.png");
  std::remove(shot.c_str());
  // The test environment asks for the offscreen platform; the program gets the real display.
  // xvfb-run -a races with other servers starting at the same moment (they all try :99 first),
  // so the search starts at a number of this process's own and a lost race is tried again.
  std::string output;
  int rc = -1;
  for (int attempt = 0; attempt < 3 && rc != 0; ++attempt) {
    const int first = 100 + int((::getpid() * 7 + attempt * 131) % 800);
    const std::string cmd = "env -u QT_QPA_PLATFORM xvfb-run -a -n " + std::to_string(first) +
                            " -s '-screen 0 640x480x24' sh '" + std::string(XVFB_SCREENSHOT) + "' '" + HELLO_FORM +
                            "' '" + shot + "' 2>&1";
    output.clear();
    rc = corvex::testing_support::RunCommand(cmd, &output);
  }
  ASSERT_EQ(rc, 0) << output;
  const QImage image = QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(image.isNull()) << output;
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) colours.insert(Pixel(image, x, y));
  EXPECT_GT(colours.size(), 16);  // not blank
  // The paper, the ellipse's fill and outline, the hatch.
  for (QRgb c : {QRgb(0xFAF6E8), QRgb(0xF07828), QRgb(0xC81E28), QRgb(0x008080)})
    EXPECT_TRUE(colours.contains(c)) << std::hex << c;
}

}  // namespace
}  // namespace corvex::qt::testing
