// The widgets that show our windows: FormWindow (a top-level window of the application) and
// ControlWidget (a control inside a Qt layout), and the input and paint code they share.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QWheelEvent>
#include <immintrin.h>
#include <algorithm>
#include <climits>

#include "corvex/platform/graphics/bitmap.h"
#include "host_pvt.h"

namespace corvex::qt {
namespace detail {

namespace {

bool ButtonOf(Qt::MouseButton Button, TMouseButton& Out) {
  switch (Button) {
    case Qt::LeftButton: Out = mbLeft; return true;
    case Qt::RightButton: Out = mbRight; return true;
    case Qt::MiddleButton: Out = mbMiddle; return true;
    default: return false;
  }
}

TPoint Add(TPoint Origin, QPoint Local) { return {Origin.X + Local.x(), Origin.Y + Local.y()}; }

}  // namespace

void ForwardMouse(const QMouseEvent* Event, TPoint Origin) {
  const TPoint at = Add(Origin, Event->position().toPoint());
  const TShiftState keys = ShiftStateFromQt(Event->modifiers());
  TMouseButton button = mbLeft;
  switch (Event->type()) {
    case QEvent::MouseMove:
      Application().MouseInput(TApplication::maMove, mbLeft, at, keys);
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (!ButtonOf(Event->button(), button)) return;
      Application().MouseInput(TApplication::maDown, button, at, keys);
      break;
    case QEvent::MouseButtonRelease:
      if (!ButtonOf(Event->button(), button)) return;
      Application().MouseInput(TApplication::maUp, button, at, keys);
      break;
    default:
      return;
  }
  AfterDispatch();
}

void ForwardLeave(const QWidget* Widget, TPoint Origin) {
  if (QGuiApplication::mouseButtons() != Qt::NoButton) return;  // a drag: the grab goes on
  QPoint local = Widget->mapFromGlobal(QCursor::pos());
  if (Widget->rect().contains(local)) local = QPoint(-1, -1);
  Application().MouseInput(TApplication::maMove, mbLeft, Add(Origin, local),
                           ShiftStateFromQt(QGuiApplication::keyboardModifiers()));
  AfterDispatch();
}

void ForwardWheel(const QWheelEvent* Event, TPoint Origin, int& Rest) {
  Rest += Event->angleDelta().y();
  const int notches = Rest / WHEEL_DELTA;  // toward zero: the remainder keeps its sign
  if (notches == 0) return;
  Rest -= notches * WHEEL_DELTA;
  const int delta = std::clamp(notches * WHEEL_DELTA, int(INT16_MIN) / WHEEL_DELTA * WHEEL_DELTA,
                               int(INT16_MAX) / WHEEL_DELTA * WHEEL_DELTA);
  Application().WheelInput(delta, Add(Origin, Event->position().toPoint()), ShiftStateFromQt(Event->modifiers()));
  AfterDispatch();
}

void ForwardKey(const QKeyEvent* Event, bool Release) {
  if (Release && Event->isAutoRepeat()) return;  // a held key repeats its press only
  const uint16_t key = VirtualKeyFromQt(Event->key(), Event->modifiers());
  char32_t first = 0;
  std::vector<char32_t> more;  // text of several characters (an input method, a compose key)
  if (!Release) {
    for (const uint c : Event->text().toUcs4()) {
      if (c == 0 || c == 0x7F || c > 0x10FFFF) continue;  // Delete has no character here
      if (first == 0) first = char32_t(c);
      else more.push_back(char32_t(c));
    }
  }
  if (key == 0 && first == 0) return;
  Application().SetModifiers(ShiftStateFromQt(Event->modifiers()));
  Application().KeyInput(key, Release, first);
  for (char32_t c : more) Application().CharInput(c);
  AfterDispatch();
}

void ForwardFocus(TWinControl* Window, bool In, Qt::FocusReason Reason) {
  if (Window == nullptr) return;
  TWinControl* focused = Application().GetFocusedControl();
  const bool inside = focused != nullptr && focused->TopLevel() == Window;
  if (In) {
    if (inside) return;
    TWinControl* target = Window;
    if (auto* form = dynamic_cast<TForm*>(Window))
      if (TWinControl* a = form->GetActiveControl(); a != nullptr && a->CanFocus()) target = a;
    if (target->CanFocus()) Application().SetFocusedControl(target);
  } else {
    // A menu or popup opening keeps our focus where it is, as it keeps Qt's.
    if (Reason == Qt::PopupFocusReason || !inside) return;
    Application().SetFocusedControl(nullptr);
  }
  AfterDispatch();
}

namespace {

// 24-bit blue-green-red pixels as 32-bit 0xffRRGGBB ones.
void ExpandRowPlain(const uint8_t* s, uint32_t* d, int from, int n) {
  for (int x = from; x < n; ++x) d[x] = 0xFF000000u | uint32_t(s[3 * x + 2]) << 16 | uint32_t(s[3 * x + 1]) << 8 | s[3 * x];
}

__attribute__((target("ssse3"))) void ExpandRowSSSE3(const uint8_t* s, uint32_t* d, int n) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
  int x = 0;
  for (; x + 6 <= n; x += 4) {  // a 16-byte load for 4 pixels stays inside the row's 3 n bytes
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_or_si128(_mm_shuffle_epi8(v, spread), alpha));
  }
  ExpandRowPlain(s, d, x, n);
}

const bool kSSSE3 = __builtin_cpu_supports("ssse3");

// Draws the part R of a 24-bit bitmap at At. Qt 6 draws 24-bit blue-green-red rows through a
// generic conversion (about 3 ms for 1920 x 1080), while 32-bit rows are a plain copy for it:
// the rows are made 32-bit first, in a scratch image kept from paint to paint (painting is on
// the GUI thread only).
void DrawRows(QPainter& P, const TBitmap* B, const QRect& R, QPoint At) {
  static QImage scratch;
  if (R.isEmpty()) return;
  if (scratch.width() < R.width() || scratch.height() < R.height())
    scratch = QImage(std::max(scratch.width(), R.width()), std::max(scratch.height(), R.height()), QImage::Format_RGB32);
  for (int y = 0; y < R.height(); ++y) {
    const uint8_t* s = B->ScanLine(R.top() + y) + size_t(R.left()) * 3;
    auto* d = reinterpret_cast<uint32_t*>(scratch.scanLine(y));
    if (kSSSE3) ExpandRowSSSE3(s, d, R.width());
    else ExpandRowPlain(s, d, 0, R.width());
  }
  P.drawImage(At, scratch, QRect(0, 0, R.width(), R.height()));
}

bool HasPixels(const TBitmap* B) { return B != nullptr && B->Bits() != nullptr && B->GetWidth() > 0 && B->GetHeight() > 0; }

}  // namespace

void PaintSurface(QWidget* Widget, TWinControl* Window, const QPaintEvent* Event) {
  QPainter p(Widget);
  QRegion rest = Event->region();
  std::vector<TWindowPiece> pieces;
  TBitmap* s = Window != nullptr ? Application().WindowSurface(Window, pieces) : nullptr;
  if (HasPixels(s)) {
    const QRect all(0, 0, s->GetWidth(), s->GetHeight());
    // The surface, then the windows drawn straight from their own pixels: one copy each.
    QRegion fromSurface = Event->region() & all;
    std::vector<std::pair<const TBitmap*, QRect>> direct;
    for (const TWindowPiece& piece : pieces)
      if (const TBitmap* b = piece.Window->GetBackingBitmap(); HasPixels(b)) {
        direct.emplace_back(b, QRect(piece.At.X, piece.At.Y, b->GetWidth(), b->GetHeight()));
        fromSurface -= direct.back().second;
      }
    for (const QRect& r : fromSurface) DrawRows(p, s, r, r.topLeft());
    for (const auto& [b, at] : direct)
      for (const QRect& r : Event->region() & at & all) DrawRows(p, b, r.translated(-at.topLeft()), r.topLeft());
    rest -= all;
  }
  for (const QRect& r : rest) p.fillRect(r, Widget->palette().window());
}

// ---------------------------------------------------------------------------------------------
// FormWindow

FormWindow::FormWindow(TWinControl* Window) : QWidget(nullptr), Window_(Window) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

static bool Resizable(const TWinControl* Window) {
  const auto* form = dynamic_cast<const TForm*>(Window);
  return form != nullptr && (form->GetFormBorderStyle() == bsSizeable || form->GetFormBorderStyle() == bsSizeToolWin);
}

void FormWindow::Configure() {
  if (Window_ == nullptr) return;
  const auto* form = dynamic_cast<const TForm*>(Window_);
  Qt::WindowFlags flags = Qt::Window;
  if (!Window_->ShowsActivated()) {
    flags = Qt::ToolTip | Qt::FramelessWindowHint;  // hint windows and other popups
    setAttribute(Qt::WA_ShowWithoutActivating);
  } else if (form != nullptr) {
    switch (form->GetFormBorderStyle()) {
      case bsNoneForm: flags = Qt::Window | Qt::FramelessWindowHint; break;
      case bsDialog: flags = Qt::Dialog; break;
      case bsToolWindow:
      case bsSizeToolWin: flags = Qt::Tool; break;
      default: break;
    }
  }
  if (windowFlags() != flags) setWindowFlags(flags);
  setWindowModality(form != nullptr && form->IsModal() ? Qt::ApplicationModal : Qt::NonModal);
}

void FormWindow::ApplyBounds() {
  if (Window_ == nullptr) return;
  Applying_ = true;
  const QSize size(std::max(Window_->GetWidth(), 1), std::max(Window_->GetHeight(), 1));
  if (Resizable(Window_)) {
    setMinimumSize(1, 1);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    setFixedSize(size);
  }
  const QRect r(QPoint(Window_->GetLeft(), Window_->GetTop()), size);
  if (geometry() != r) setGeometry(r);
  Applying_ = false;
}

TPoint FormWindow::Origin() const { return {Window_->GetLeft(), Window_->GetTop()}; }

void FormWindow::SyncFromWidget() {
  if (Window_ == nullptr || Applying_ || !isVisible()) return;
  const QRect g = geometry();
  if (g.x() != Window_->GetLeft() || g.y() != Window_->GetTop() || g.width() != Window_->GetWidth() ||
      g.height() != Window_->GetHeight()) {
    Applying_ = true;  // the window's own bounds change comes back here: nothing to apply
    Window_->SetBounds(g.x(), g.y(), g.width(), g.height());
    Applying_ = false;
  }
}

void FormWindow::paintEvent(QPaintEvent* Event) { PaintSurface(this, Window_, Event); }

void FormWindow::mousePressEvent(QMouseEvent* Event) {
  if (Window_ != nullptr) ForwardMouse(Event, Origin());
}
void FormWindow::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Window_ != nullptr) ForwardMouse(Event, Origin());
}
void FormWindow::mouseReleaseEvent(QMouseEvent* Event) {
  if (Window_ != nullptr) ForwardMouse(Event, Origin());
}
void FormWindow::mouseMoveEvent(QMouseEvent* Event) {
  if (Window_ != nullptr) ForwardMouse(Event, Origin());
}
void FormWindow::leaveEvent(QEvent*) {
  if (Window_ != nullptr) ForwardLeave(this, Origin());
}
void FormWindow::wheelEvent(QWheelEvent* Event) {
  if (Window_ != nullptr) ForwardWheel(Event, Origin(), WheelRest_);
}
void FormWindow::keyPressEvent(QKeyEvent* Event) {
  if (Window_ != nullptr) ForwardKey(Event, false);
}
void FormWindow::keyReleaseEvent(QKeyEvent* Event) {
  if (Window_ != nullptr) ForwardKey(Event, true);
}
void FormWindow::focusInEvent(QFocusEvent* Event) { ForwardFocus(Window_, true, Event->reason()); }
void FormWindow::focusOutEvent(QFocusEvent* Event) { ForwardFocus(Window_, false, Event->reason()); }
void FormWindow::resizeEvent(QResizeEvent*) { SyncFromWidget(); }
// The window the user activates comes first for the mouse where windows overlap.
void FormWindow::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && isActiveWindow() && Window_ != nullptr)
    Application().BringToFront(Window_);
}
void FormWindow::moveEvent(QMoveEvent*) { SyncFromWidget(); }

void FormWindow::closeEvent(QCloseEvent* Event) {
  // The window layer decides: the form's Close asks OnCloseQuery and OnClose, and hides or frees
  // the form (which hides or deletes this window through the host).
  Event->ignore();
  auto* form = dynamic_cast<TForm*>(Window_);
  if (form == nullptr) return;
  const bool isMain = form == Application().GetMainForm();
  const HWND handle = form->GetHandle();
  form->Close();
  Application().ProcessMessages();
  TWinControl* still = FindControl(handle);
  if (isMain && (still == nullptr || !still->GetVisible())) {
    // Closing the main form ends the application.
    Application().Terminate();
    QCoreApplication::quit();
  }
  AfterDispatch();
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// ControlWidget

// Told when the control is destroyed before the widget.
class ControlWidget::Watcher final : public TComponent {
 public:
  explicit Watcher(ControlWidget* W) : TComponent(nullptr), W_(W) {}
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == W_->Control_) W_->ControlGone();
  }

 private:
  ControlWidget* W_;
};

ControlWidget::ControlWidget(TWinControl* Control, QWidget* Parent)
    : QWidget(Parent), Watcher_(std::make_unique<Watcher>(this)) {
  if (Control != nullptr && Control->GetParent() == nullptr) {
    Control_ = Control;
    Control_->FreeNotification(Watcher_.get());
    Hint_ = QSize(Control_->GetWidth(), Control_->GetHeight());
  } else if (Control != nullptr) {
    qWarning("corvex::qt::ControlWidget: the control has a parent; only a parentless control can be embedded");
  }
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  WatchAncestors();
}

ControlWidget::~ControlWidget() {
  Unembed();
  if (Control_ != nullptr) Control_->RemoveFreeNotification(Watcher_.get());
  for (const QPointer<QWidget>& a : Ancestors_)
    if (a) a->removeEventFilter(this);
}

TWinControl* ControlWidget::control() const { return Control_; }

QSize ControlWidget::sizeHint() const { return Hint_.isValid() ? Hint_ : QWidget::sizeHint(); }

void ControlWidget::SyncBounds() {
  if (Control_ == nullptr) return;
  const QPoint g = mapToGlobal(QPoint(0, 0));
  if (g.x() != Control_->GetLeft() || g.y() != Control_->GetTop() || width() != Control_->GetWidth() ||
      height() != Control_->GetHeight())
    Control_->SetBounds(g.x(), g.y(), width(), height());
}

// The global position changes when any ancestor moves, which tells only the ancestor.
void ControlWidget::WatchAncestors() {
  for (const QPointer<QWidget>& a : Ancestors_)
    if (a) a->removeEventFilter(this);
  Ancestors_.clear();
  for (QWidget* p = parentWidget(); p != nullptr; p = p->parentWidget()) {
    p->installEventFilter(this);
    Ancestors_.emplace_back(p);
  }
}

void ControlWidget::Embed() {
  if (Embedded_ || Control_ == nullptr) return;
  Host* host = Host::Instance();
  if (host == nullptr) qWarning("corvex::qt::ControlWidget: no corvex::qt::Host; the control will not update");
  else host->d_->Embedded[Control_] = this;
  SyncBounds();
  Embedded_ = true;
  Application().AddEmbedded(Control_);
  // Shown now at its size: a control that lays itself out when sized (an image view, which
  // skips the work while it is nowhere on screen) does it again.
  Control_->Perform(WM_SIZE, SIZE_RESTORED,
                    PointToLParam(Control_->GetClientWidth(), Control_->GetClientHeight()));
  if (!Control_->GetVisible()) Control_->Show();
  update();
}

void ControlWidget::Unembed() {
  if (!Embedded_) return;
  Embedded_ = false;
  if (Control_ != nullptr) Application().RemoveEmbedded(Control_);
  if (Host* host = Host::Instance()) host->d_->Embedded.erase(Control_);
}

void ControlWidget::ControlGone() {
  if (Host* host = Host::Instance()) host->d_->Embedded.erase(Control_);
  Embedded_ = false;
  Control_ = nullptr;
  update();
}

bool ControlWidget::event(QEvent* Event) {
  if (Event->type() == QEvent::ParentChange) {
    WatchAncestors();
    SyncBounds();
  }
  return QWidget::event(Event);
}

bool ControlWidget::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Move || Event->type() == QEvent::ParentChange) {
    if (Event->type() == QEvent::ParentChange) WatchAncestors();
    SyncBounds();
  }
  return QWidget::eventFilter(Watched, Event);
}

void ControlWidget::paintEvent(QPaintEvent* Event) { detail::PaintSurface(this, Embedded_ ? Control_ : nullptr, Event); }

void ControlWidget::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  Embed();
}

void ControlWidget::hideEvent(QHideEvent* Event) {
  Unembed();
  QWidget::hideEvent(Event);
}

void ControlWidget::resizeEvent(QResizeEvent*) { SyncBounds(); }
void ControlWidget::moveEvent(QMoveEvent*) { SyncBounds(); }

void ControlWidget::mousePressEvent(QMouseEvent* Event) {
  if (!Embedded_) return;
  SyncBounds();
  detail::ForwardMouse(Event, {Control_->GetLeft(), Control_->GetTop()});
}
void ControlWidget::mouseDoubleClickEvent(QMouseEvent* Event) { mousePressEvent(Event); }
void ControlWidget::mouseReleaseEvent(QMouseEvent* Event) {
  if (!Embedded_) return;
  SyncBounds();
  detail::ForwardMouse(Event, {Control_->GetLeft(), Control_->GetTop()});
}
void ControlWidget::mouseMoveEvent(QMouseEvent* Event) {
  if (!Embedded_) return;
  SyncBounds();
  detail::ForwardMouse(Event, {Control_->GetLeft(), Control_->GetTop()});
}
void ControlWidget::leaveEvent(QEvent*) {
  if (Embedded_) detail::ForwardLeave(this, {Control_->GetLeft(), Control_->GetTop()});
}
void ControlWidget::wheelEvent(QWheelEvent* Event) {
  if (!Embedded_) return Event->ignore();
  SyncBounds();
  detail::ForwardWheel(Event, {Control_->GetLeft(), Control_->GetTop()}, WheelRest_);
}

// Keys go to the control only while our focus is inside it; otherwise Qt passes them on.
static bool FocusInside(const TWinControl* Control) {
  const TWinControl* f = Application().GetFocusedControl();
  return Control != nullptr && f != nullptr && f->TopLevel() == Control;
}
void ControlWidget::keyPressEvent(QKeyEvent* Event) {
  if (Embedded_ && FocusInside(Control_)) detail::ForwardKey(Event, false);
  else QWidget::keyPressEvent(Event);
}
void ControlWidget::keyReleaseEvent(QKeyEvent* Event) {
  if (Embedded_ && FocusInside(Control_)) detail::ForwardKey(Event, true);
  else QWidget::keyReleaseEvent(Event);
}
void ControlWidget::focusInEvent(QFocusEvent* Event) {
  QWidget::focusInEvent(Event);
  if (Embedded_) detail::ForwardFocus(Control_, true, Event->reason());
}
void ControlWidget::focusOutEvent(QFocusEvent* Event) {
  QWidget::focusOutEvent(Event);
  if (Embedded_) detail::ForwardFocus(Control_, false, Event->reason());
}

}  // namespace corvex::qt
