// hello-form in a real X window under Xvfb: the screenshot shows the form's colours.
#include <QImage>
#include <QSet>
#include <cstdio>

#include "host_testing.h"
#include "tests/common/testing.h"

namespace corvex::qt::testing {
namespace {

TEST(HelloFormXvfb, RealWindowShowsTheFormsColours) {
  if (!corvex::testing_support::HaveProgram("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string shot = corvex::testing_support::TempPath("hello-form-xvfb.png");
  std::remove(shot.c_str());
  // The test environment asks for the offscreen platform; the program gets the real display.
  const std::string cmd = "env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 640x480x24' sh '" +
                          std::string(XVFB_SCREENSHOT) + "' '" + HELLO_FORM + "' '" + shot + "' 2>&1";
  std::string output;
  ASSERT_EQ(corvex::testing_support::RunCommand(cmd, &output), 0) << output;
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
