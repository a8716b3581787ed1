// Forms in Qt windows: their pixels, Qt input reaching the controls, real-time timers and modal
// loops.
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <utility>

#include "corvex/platform/numbers.h"
#include "corvex/platform/screen.h"
#include "host_testing.h"

namespace corvex::qt::testing {
namespace {

using Event = std::tuple<uint32_t, int, int>;

struct FormWithRecorder {
  TForm* Form;
  TRecorder* Control;
  FormWithRecorder() : Form(new TForm(nullptr)), Control(new TRecorder(Form)) {
    Form->SetCaption("Recorder");
    Form->SetBounds(100, 50, 200, 150);
    Form->SetColor(RGBColor(0, 128, 0));
    Control->SetParent(Form);
    Control->SetBounds(10, 20, 60, 40);
  }
  ~FormWithRecorder() { delete Form; }
};

void SendMouse(QWidget* W, QEvent::Type Type, QPoint At, Qt::MouseButton Button) {
  const Qt::MouseButtons held = Type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Button);
  QMouseEvent e(Type, QPointF(At), QPointF(W->mapToGlobal(At)), Button, held, Qt::NoModifier);
  QApplication::sendEvent(W, &e);
}

void SendWheel(QWidget* W, QPoint At, int Delta) {
  QWheelEvent e(QPointF(At), QPointF(W->mapToGlobal(At)), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(W, &e);
}

void SendKey(QWidget* W, QEvent::Type Type, int Key, const QString& Text) {
  QKeyEvent e(Type, Key, Qt::NoModifier, Text);
  QApplication::sendEvent(W, &e);
}

TEST_F(HostTest, FormWindowShowsTheSurfaceAndFollowsTheForm) {
  FormWithRecorder f;
  f.Form->Show();
  Settle();
  QWidget* w = Host_->WidgetFor(f.Form);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isWindow());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "Recorder");
  EXPECT_EQ(w->geometry(), QRect(100, 50, 200, 150));

  const QImage shot = w->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(200, 150));
  EXPECT_EQ(Pixel(shot, 10, 20), 0xFF0000u);   // the control's red half
  EXPECT_EQ(Pixel(shot, 39, 59), 0xFF0000u);
  EXPECT_EQ(Pixel(shot, 40, 20), 0x0000FFu);   // its blue half
  EXPECT_EQ(Pixel(shot, 69, 59), 0x0000FFu);
  EXPECT_EQ(Pixel(shot, 70, 20), 0x008000u);   // the form around it
  EXPECT_EQ(Pixel(shot, 150, 100), 0x008000u);

  // The form's caption and bounds go to the window, and the window's size to the form.
  f.Form->SetCaption("Renamed");
  f.Form->SetBounds(120, 60, 220, 160);
  EXPECT_EQ(w->windowTitle(), "Renamed");
  EXPECT_EQ(w->geometry(), QRect(120, 60, 220, 160));
  w->resize(250, 170);
  ASSERT_TRUE(WaitFor([&] { return f.Form->GetWidth() == 250; }));
  EXPECT_EQ(f.Form->GetHeight(), 170);
  Settle();
  EXPECT_EQ(Pixel(w->grab().toImage(), 240, 160), 0x008000u);  // the new area painted

  // The screen facts are the primary screen's.
  const QScreen* screen = QGuiApplication::primaryScreen();
  EXPECT_EQ(gSystemDPIX, Round(screen->logicalDotsPerInchX()));
  EXPECT_EQ(gSystemDPIY, Round(screen->logicalDotsPerInchY()));
  EXPECT_EQ(Screen().GetWidth(), screen->geometry().width());
  EXPECT_EQ(Screen().GetHeight(), screen->geometry().height());

  // Moving the window moves the form.
  w->move(140, 80);
  ASSERT_TRUE(WaitFor([&] { return f.Form->GetLeft() != 120; }));
  EXPECT_EQ(f.Form->GetLeft(), w->geometry().x());
  EXPECT_EQ(f.Form->GetTop(), w->geometry().y());

  // Closing the window closes the form: asked, then hidden.
  bool asked = false;
  f.Form->OnCloseQuery = TCloseQueryEvent::FromFunction(
      [](void* Asked, TObject*, bool& CanClose) { CanClose = std::exchange(*static_cast<bool*>(Asked), true); }, &asked);
  w->close();  // refused the first time
  EXPECT_TRUE(asked);
  EXPECT_TRUE(f.Form->GetVisible());
  EXPECT_TRUE(w->isVisible());
  w->close();
  EXPECT_FALSE(f.Form->GetVisible());
  EXPECT_FALSE(w->isVisible());
  f.Form->Show();
  EXPECT_TRUE(w->isVisible());
  f.Form->Hide();
  EXPECT_FALSE(w->isVisible());
}

TEST_F(HostTest, QtInputReachesTheControlInClientCoordinates) {
  FormWithRecorder f;
  f.Form->Show();
  Settle();
  QWidget* w = Host_->WidgetFor(f.Form);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(Application().GetFocusedControl(), f.Control);

  // A click and a double click (Qt's press, release, double click, release).
  const QPoint at(10 + 7, 20 + 9);
  SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonPress, QPoint(10 + 50, 20 + 30), Qt::RightButton);
  SendMouse(w, QEvent::MouseButtonRelease, QPoint(10 + 50, 20 + 30), Qt::RightButton);
  // Half notches add up to one; the rest waits.
  SendWheel(w, at, 60);
  SendWheel(w, at, 60);
  SendWheel(w, at, 60);
  SendWheel(w, at, -240);
  // A key with its character, and a key without one.
  SendKey(w, QEvent::KeyPress, Qt::Key_A, "a");
  SendKey(w, QEvent::KeyRelease, Qt::Key_A, "a");
  SendKey(w, QEvent::KeyPress, Qt::Key_Left, "");

  const std::vector<Event> expected = {
      {WM_LBUTTONDOWN, 7, 9}, {WM_LBUTTONUP, 7, 9}, {WM_LBUTTONDBLCLK, 7, 9}, {WM_LBUTTONUP, 7, 9},
      {WM_RBUTTONDOWN, 50, 30}, {WM_RBUTTONUP, 50, 30},
      {WM_MOUSEWHEEL, 120, 0}, {WM_MOUSEWHEEL, -120, 0},
      {WM_KEYDOWN, 'A', 0}, {WM_CHAR, 'a', 0}, {WM_KEYUP, 'A', 0}, {WM_KEYDOWN, VK_LEFT, 0}};
  EXPECT_EQ(f.Control->Log, expected);

  // Outside the control the form gets the click, not the control.
  f.Control->Log.clear();
  SendMouse(w, QEvent::MouseButtonPress, QPoint(150, 100), Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, QPoint(150, 100), Qt::LeftButton);
  EXPECT_TRUE(f.Control->Log.empty());

  // The cursor follows the control under the pointer.
  f.Control->SetCursor(crHandPoint);
  SendMouse(w, QEvent::MouseMove, at, Qt::NoButton);
  EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
  SendMouse(w, QEvent::MouseMove, QPoint(150, 100), Qt::NoButton);
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(HostTest, TimerFiresInRealTime) {
  TTimer timer(nullptr);
  struct Ticks {
    std::vector<int64_t> At;
    QEventLoop Loop;
  } ticks;
  timer.OnTimer = TNotifyEvent::FromFunction(
      [](void* Context, TObject*) {
        auto* t = static_cast<Ticks*>(Context);
        t->At.push_back(Application().Now());
        if (t->At.size() == 3) t->Loop.quit();
      },
      &ticks);
  const int64_t start = Application().Now();
  timer.SetInterval(20);
  QTimer::singleShot(2000, &ticks.Loop, &QEventLoop::quit);
  ticks.Loop.exec();
  timer.SetEnabled(false);
  ASSERT_EQ(ticks.At.size(), 3u);
  EXPECT_GE(ticks.At[0] - start, 20);
  EXPECT_GE(ticks.At[2] - start, 60);
  EXPECT_LT(ticks.At[2] - start, 2000);
}

// A form that ends its modal loop when it gets WM_USER + 1, as a worker's message would.
class TModalForm : public TForm {
 public:
  TModalForm() : TForm(nullptr) { SetBounds(10, 10, 120, 80); }
  bool WasModalWindow = false;
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_USER + 1) {
      QWidget* w = Host::Instance()->WidgetFor(this);
      WasModalWindow = w != nullptr && w->isVisible() && w->windowModality() == Qt::ApplicationModal;
      SetModalResult(mrOk);
      return;
    }
    TForm::WndProc(M);
  }
};

TEST_F(HostTest, ShowModalEndsWhenAPostedMessageSetsTheResult) {
  TModalForm form;
  ASSERT_TRUE(Application().PostMessage(form.GetHandle(), WM_USER + 1, 0, 0));
  // A safety net: a loop that never ends fails the test instead of hanging it.
  QTimer safety;
  safety.setSingleShot(true);
  QObject::connect(&safety, &QTimer::timeout, [&form] { form.SetModalResult(mrAbort); });
  safety.start(2000);
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_TRUE(form.WasModalWindow);
  EXPECT_FALSE(form.GetVisible());
  EXPECT_FALSE(Host_->WidgetFor(&form)->isVisible());
}

}  // namespace
}  // namespace corvex::qt::testing
