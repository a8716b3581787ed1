// The host: top-level windows, real time, posted messages, modal loops, screen facts.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyleHints>
#include <algorithm>
#include <climits>

#include "corvex/platform/numbers.h"
#include "corvex/platform/screen.h"
#include "host_pvt.h"

namespace corvex::qt {

namespace {
Host* gHost = nullptr;
}

Host::Host() : d_(std::make_unique<Impl>()) {
  d_->Clock.start();
  d_->Timer.setSingleShot(true);
  d_->Timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&d_->Timer, &QTimer::timeout, &d_->Context, [this] {
    Application().RunTimers();
    d_->CheckModal();
  });
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    gSystemDPIX = std::max(1, Round(s->logicalDotsPerInchX()));
    gSystemDPIY = std::max(1, Round(s->logicalDotsPerInchY()));
    gSystemColors = s->depth();
    Screen().SetSize(s->geometry().width(), s->geometry().height());
  }
  if (QStyleHints* hints = QGuiApplication::styleHints()) {
    const int ms = hints->mouseDoubleClickInterval();
    if (ms > 0) Application().SetDoubleClickTime(unsigned(ms));
  }
  gHost = this;
  SetClipboardBridge(&d_->Bridge);
  Application().SetHost(this);
}

Host::~Host() {
  Application().SetHost(nullptr);
  SetClipboardBridge(nullptr);
  for (auto& [w, fw] : d_->Windows) {
    fw->Forget();
    delete fw;
  }
  d_->Windows.clear();
  for (Impl::Modal* m : d_->Modals) {
    m->Gone = true;
    m->Loop->quit();
  }
  if (gHost == this) gHost = nullptr;
}

Host* Host::Instance() { return gHost; }

QWidget* Host::WidgetFor(const TWinControl* Window) const {
  if (auto it = d_->Embedded.find(Window); it != d_->Embedded.end()) return it->second;
  if (auto it = d_->Windows.find(Window); it != d_->Windows.end()) return it->second;
  return nullptr;
}

void Host::WindowShown(TWinControl* Window, bool Shown) {
  if (auto it = d_->Embedded.find(Window); it != d_->Embedded.end()) {
    it->second->update();
    return;
  }
  auto it = d_->Windows.find(Window);
  if (Shown && it == d_->Windows.end()) {
    // A ControlWidget shown before this host existed embeds it already.
    for (QWidget* w : QApplication::allWidgets())
      if (auto* cw = qobject_cast<ControlWidget*>(w); cw != nullptr && cw->control() == Window) {
        d_->Embedded[Window] = cw;
        cw->update();
        return;
      }
  }
  if (!Shown) {
    if (it != d_->Windows.end()) it->second->hide();
    return;
  }
  detail::FormWindow* fw = nullptr;
  if (it != d_->Windows.end()) {
    fw = it->second;
  } else {
    fw = new detail::FormWindow(Window);
    d_->Windows.emplace(Window, fw);
  }
  fw->Configure();
  fw->setWindowTitle(QString::fromStdString(Window->GetCaption()));
  fw->ApplyBounds();
  fw->setCursor(CursorFromHandle(Application().CurrentCursor()));
  fw->show();
  if (dynamic_cast<TForm*>(Window) != nullptr) {
    fw->raise();
    fw->activateWindow();
  }
}

void Host::WindowBoundsChanged(TWinControl* Window) {
  if (auto it = d_->Windows.find(Window); it != d_->Windows.end()) it->second->ApplyBounds();
  else if (auto e = d_->Embedded.find(Window); e != d_->Embedded.end()) e->second->updateGeometry();
}

void Host::WindowCaptionChanged(TWinControl* Window) {
  if (auto it = d_->Windows.find(Window); it != d_->Windows.end())
    it->second->setWindowTitle(QString::fromStdString(Window->GetCaption()));
}

void Host::WindowDestroyed(TWinControl* Window) {
  for (Impl::Modal* m : d_->Modals)
    if (m->Window == Window) {
      m->Gone = true;
      m->Loop->quit();
    }
  if (auto it = d_->Windows.find(Window); it != d_->Windows.end()) {
    detail::FormWindow* fw = it->second;
    d_->Windows.erase(it);
    fw->Forget();
    fw->hide();
    fw->deleteLater();  // the window may be going away inside one of its own event handlers
  }
}

void Host::WindowSurfaceChanged(TWinControl* Window, const TRect& R) {
  if (QWidget* w = WidgetFor(Window)) w->update(QRect(R.Left, R.Top, R.Width(), R.Height()));
}

void Host::WindowCursorChanged(TWinControl* Window, HCURSOR Cursor) {
  if (QWidget* w = WidgetFor(Window)) w->setCursor(CursorFromHandle(Cursor));
}

int64_t Host::Now() { return d_->Clock.elapsed(); }

void Host::ScheduleTimers(int64_t DueAt) {
  if (DueAt < 0) {
    d_->Timer.stop();
    return;
  }
  const int64_t delay = std::clamp<int64_t>(DueAt - Now(), 0, INT_MAX);
  d_->Timer.start(int(delay));
}

void Host::Wake() {
  if (d_->WakePending.exchange(true)) return;
  QMetaObject::invokeMethod(&d_->Context, [d = d_.get()] { d->Woken(); }, Qt::QueuedConnection);
}

void Host::Impl::Woken() {
  WakePending = false;
  Application().ProcessMessages();
  CheckModal();
}

void Host::RunModal(TWinControl* Window) {
  QEventLoop loop;
  Impl::Modal m{Window, &loop, false};
  d_->Modals.push_back(&m);
  while (!m.Gone && !Application().ModalDone(Window)) loop.exec(QEventLoop::DialogExec);
  d_->Modals.erase(std::find(d_->Modals.begin(), d_->Modals.end(), &m));
}

void Host::Impl::CheckModal() {
  for (Modal* m : Modals)
    if (m->Gone || Application().ModalDone(m->Window)) m->Loop->quit();
}

void Host::CaptureChanged(TWinControl* Window, bool Captured) {
  // A press captures through Qt's own implicit grab; a capture taken by code while no button is
  // down needs an explicit one so that moves outside the window still arrive.
  QWidget* w = WidgetFor(Window);
  if (w == nullptr || !w->isVisible()) return;
  if (Captured && QGuiApplication::mouseButtons() == Qt::NoButton) w->grabMouse();
  else if (!Captured && QWidget::mouseGrabber() == w) w->releaseMouse();
}

void detail::AfterDispatch() {
  if (Host* h = Host::Instance()) h->d_->CheckModal();
}

}  // namespace corvex::qt
