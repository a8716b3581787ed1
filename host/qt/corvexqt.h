// corvexqt: the window layer in real windows, and our controls inside Qt 6 applications.
//
//   QApplication app(argc, argv);
//   corvex::qt::Host host;              // installs itself as Application's host
//   auto* form = new TMyForm(nullptr);
//   form->Show();                        // a real top-level window
//   return app.exec();
//
// Host shows each shown top-level window of the application (a TForm without parent, a hint
// window) as a top-level QWidget with its caption, size and position, and draws the window's
// surface without copying it. Qt's mouse, wheel, key, focus, move, resize and close events
// become the window layer's input; a QTimer drives its timers in real time, posted messages are
// handled from Qt's event loop, and a modal form runs a nested QEventLoop. The screen's dpi and
// size come from the primary screen; the clipboard is joined to Qt's.
//
// ControlWidget puts one of our parentless windowed controls into a Qt layout:
//
//   auto* view = new TMyControl(nullptr);
//   layout->addWidget(new corvex::qt::ControlWidget(view));
//
// Create the Host after the QApplication and destroy it before; everything here runs on the
// GUI thread. Installed as <corvex/host/qt/corvexqt.h>; link Corvex::corvexqt.
#pragma once

#include <QCursor>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "corvex/platform/ui/cursors.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/host.h"
#include "corvex/platform/ui/messages.h"

namespace corvex::qt {

class ControlWidget;
namespace detail {
void AfterDispatch();
}

class Host final : public THost {
 public:
  // Needs a QApplication. Becomes Application's host (windows already shown get Qt windows) and
  // the clipboard's bridge, and sets the screen facts (gSystemDPIX/Y, Screen's size) from the
  // primary screen.
  Host();
  // Closes the Qt windows it made and leaves the application headless again.
  ~Host() override;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The host alive now, or nullptr.
  static Host* Instance();

  // The widget that shows a top-level window: its Qt window, or the ControlWidget embedding it;
  // nullptr when it has none.
  QWidget* WidgetFor(const TWinControl* Window) const;

  // THost
  void WindowShown(TWinControl* Window, bool Shown) override;
  void WindowBoundsChanged(TWinControl* Window) override;
  void WindowCaptionChanged(TWinControl* Window) override;
  void WindowDestroyed(TWinControl* Window) override;
  void WindowSurfaceChanged(TWinControl* Window, const TRect& R) override;
  void WindowCursorChanged(TWinControl* Window, HCURSOR Cursor) override;
  int64_t Now() override;
  void ScheduleTimers(int64_t DueAt) override;
  void Wake() override;
  void RunModal(TWinControl* Window) override;
  void CaptureChanged(TWinControl* Window, bool Captured) override;
  // Shows the request with Qt's file dialog (QFileDialog, not the native one) and the request's
  // preview pane beside the list; always handled.
  bool RunFileDialog(TFileDialogRequest& Request) override;

  struct Impl;

 private:
  friend class ControlWidget;
  friend void detail::AfterDispatch();
  std::unique_ptr<Impl> d_;
};

// A QWidget that shows one of our windowed controls (a TWinControl without parent) inside a Qt
// layout. While the widget is shown the control is an embedded top-level window of the
// application: its bounds follow the widget's geometry (Left/Top its global position, so that
// screen coordinates agree with Qt's), its surface is painted here, and the widget's input goes
// to it. The control is not owned; when it is destroyed first, the widget goes blank.
class ControlWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ControlWidget(TWinControl* Control, QWidget* Parent = nullptr);
  ~ControlWidget() override;

  TWinControl* control() const;
  // The control's size when the widget was made.
  QSize sizeHint() const override;

 protected:
  bool event(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  friend class Host;
  class Watcher;
  // Left/Top = the global position, Width/Height = the widget's size.
  void SyncBounds();
  void WatchAncestors();
  void Embed();
  void Unembed();
  void ControlGone();

  std::unique_ptr<Watcher> Watcher_;  // drops Control_ when the control is destroyed
  TWinControl* Control_ = nullptr;
  QSize Hint_;
  bool Embedded_ = false;
  int WheelRest_ = 0;
  std::vector<QPointer<QWidget>> Ancestors_;
};

// --- Conversions the host uses, for applications that feed their own widgets.

// Our virtual-key code for a Qt key (0 when there is none); the keypad's keys by the keypad flag.
uint16_t VirtualKeyFromQt(int Key, Qt::KeyboardModifiers Modifiers);
// ssShift, ssCtrl and ssAlt of Qt's modifiers (and ssLeft/ssRight/ssMiddle of the buttons).
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons = Qt::NoButton);
// The Qt shape a standard cursor stands for; none for other identifiers.
std::optional<Qt::CursorShape> CursorShapeFor(TCursor Id);
// A QCursor for a cursor handle: a standard cursor's Qt shape, otherwise a bitmap and mask made
// from the cursor's masks with its hot spot; the arrow for 0 or an unknown handle.
QCursor CursorFromHandle(HCURSOR Cursor);
// The image of a packed device-independent bitmap (header, colour table or masks, rows), as
// Format_RGB32; a null image when the block is too short or the layout is not understood.
QImage ImageFromDIB(const void* Data, size_t Size);
// A packed 24-bit DIB (bottom row first) of an image; transparent pixels are laid on white.
// Empty for a null image.
std::vector<uint8_t> DIBFromImage(const QImage& Image);

}  // namespace corvex::qt
