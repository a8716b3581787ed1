// ControlWidget: one of our controls inside a Qt layout.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "host_testing.h"

namespace corvex::qt::testing {
namespace {

TRect GlobalBounds(const QWidget* W) {
  const QPoint g = W->mapToGlobal(QPoint(0, 0));
  return Bounds(g.x(), g.y(), W->width(), W->height());
}

TEST_F(HostTest, ControlWidgetFollowsTheLayoutAndShowsTheControl) {
  auto* control = new TRecorder(nullptr);
  control->SetBounds(0, 0, 80, 50);
  control->SetBorderStyle(bsSingle);  // the sunken edge: the client starts at (2, 2)
  const int b = control->BorderWidth();
  ASSERT_EQ(b, 2);
  QWidget top;
  auto* layout = new QVBoxLayout(&top);
  layout->addWidget(new QLabel("above"));
  auto* cw = new ControlWidget(control);
  layout->addWidget(cw, 1);
  layout->addWidget(new QLabel("below"));
  EXPECT_EQ(cw->sizeHint(), QSize(80, 50));
  top.setGeometry(30, 40, 300, 400);
  top.show();
  Settle();

  // The control's bounds are the widget's geometry, on the screen.
  EXPECT_EQ(Host_->WidgetFor(control), cw);
  EXPECT_GT(cw->width(), 250);
  EXPECT_GT(cw->height(), 250);
  EXPECT_EQ(control->GetBoundsRect(), GlobalBounds(cw));
  top.resize(360, 300);
  ASSERT_TRUE(WaitFor([&] { return control->GetWidth() == cw->width() && cw->width() > 300; }));
  EXPECT_EQ(control->GetBoundsRect(), GlobalBounds(cw));
  top.move(70, 90);  // the window moves: the widget's own position in it does not
  ASSERT_TRUE(WaitFor([&] { return control->GetBoundsRect() == GlobalBounds(cw); }));
  EXPECT_EQ(control->GetLeft(), cw->mapToGlobal(QPoint(0, 0)).x());

  // Its pixels, border and both halves.
  Settle();
  const QImage shot = cw->grab().toImage();
  const int half = b + (cw->width() - 2 * b) / 2;
  EXPECT_NE(Pixel(shot, b - 1, 5), 0xFF0000u);  // the border
  EXPECT_EQ(Pixel(shot, b, 5), 0xFF0000u);
  EXPECT_EQ(Pixel(shot, half - 1, 5), 0xFF0000u);
  EXPECT_EQ(Pixel(shot, half + 1, 5), 0x0000FFu);

  // A click, in client coordinates (inside the border).
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(11, 21), QPointF(cw->mapToGlobal(QPoint(11, 21))),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(cw, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(11, 21), QPointF(cw->mapToGlobal(QPoint(11, 21))),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(cw, &release);
  const std::vector<std::tuple<uint32_t, int, int>> expected = {{WM_LBUTTONDOWN, 11 - b, 21 - b},
                                                                  {WM_LBUTTONUP, 11 - b, 21 - b}};
  EXPECT_EQ(control->Log, expected);

  // Hidden, the control is no window of the application; the control may go first.
  top.hide();
  for (int i = 0; i < Application().GetTopLevelCount(); ++i) EXPECT_NE(Application().GetTopLevel(i), control);
  top.show();
  Settle();
  delete control;
  EXPECT_EQ(cw->control(), nullptr);
  EXPECT_EQ(Host_->WidgetFor(control), nullptr);
  cw->repaint();
}

TEST(HostEmbed, AHostMadeAfterTheWidgetAdoptsIt) {
  TRecorder control(nullptr);
  control.SetBounds(0, 0, 40, 30);
  QWidget top;
  auto* layout = new QVBoxLayout(&top);
  auto* cw = new ControlWidget(&control);
  layout->addWidget(cw);
  top.show();
  Settle();
  const qsizetype windows = QApplication::topLevelWidgets().size();
  Host host;  // no Qt window of its own for the embedded control
  EXPECT_EQ(host.WidgetFor(&control), cw);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
}

}  // namespace
}  // namespace corvex::qt::testing
