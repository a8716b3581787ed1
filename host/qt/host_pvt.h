// Internals of the Qt host: the top-level window that shows a form, the input and paint code
// shared by it and ControlWidget, and the clipboard bridge.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <map>
#include <vector>

#include "corvex/host/qt/corvexqt.h"
#include "corvex/platform/clipboard.h"

class QMimeData;

namespace corvex::qt::detail {

// --- Input and painting shared by the form windows and ControlWidget. Origin is the screen
// position (in the window layer's coordinates) of the widget's top-left pixel.

// A press, double click (fed as a press: the window layer makes double clicks itself), release
// or move.
void ForwardMouse(const QMouseEvent* Event, TPoint Origin);
// The pointer left the widget: a move to where it is now, so that the control hears it left.
void ForwardLeave(const QWidget* Widget, TPoint Origin);
// High-resolution wheel steps summed in Rest, handed on in whole notches of 120.
void ForwardWheel(const QWheelEvent* Event, TPoint Origin, int& Rest);
void ForwardKey(const QKeyEvent* Event, bool Release);
// The focus came to (In) or left a widget showing Window.
void ForwardFocus(TWinControl* Window, bool In, Qt::FocusReason Reason);
// Draws the parts of Window's surface in Event's region; what lies outside the surface gets the
// widget's background.
void PaintSurface(QWidget* Widget, TWinControl* Window, const QPaintEvent* Event);
// After input: ends the modal loops whose forms are done.
void AfterDispatch();

// The Qt window of a top-level window of the application.
class FormWindow final : public QWidget {
 public:
  explicit FormWindow(TWinControl* Window);
  TWinControl* Window() const { return Window_; }
  void Forget() { Window_ = nullptr; }
  // Flags, modality and fixed size from the window's kind and border style; before showing.
  void Configure();
  // Geometry and fixed size from the window's bounds.
  void ApplyBounds();

 protected:
  void paintEvent(QPaintEvent* Event) override;
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
  void resizeEvent(QResizeEvent* Event) override;
  void moveEvent(QMoveEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  // Tab and Backtab go to the window layer, not to Qt's focus chain.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  TPoint Origin() const;
  // The window's bounds from the widget's geometry (a move or resize by the user or the
  // window manager).
  void SyncFromWidget();

  TWinControl* Window_;
  int WheelRest_ = 0;
  bool Applying_ = false;
};

// Our clipboard joined to QClipboard: CF_DIB is an image, CF_TEXT UTF-8 text.
class ClipboardBridge final : public QObject, public TClipboardBridge {
 public:
  ClipboardBridge();
  ~ClipboardBridge() override;
  void DataPublished(const std::vector<TClipboardItem>& Items) override;
  std::vector<unsigned> AvailableFormats() override;
  bool FetchFormat(unsigned Format, std::vector<uint8_t>& Data) override;

 private:
  void Publish(const std::vector<TClipboardItem>& Items);
  void SystemChanged();
  bool Publishing_ = false;
  const QMimeData* Published_ = nullptr;  // what we last put there, to tell our own changes
};

}  // namespace corvex::qt::detail

namespace corvex::qt {

struct Host::Impl {
  QObject Context;  // target of the queued calls
  QElapsedTimer Clock;
  QTimer Timer;
  std::atomic<bool> WakePending{false};
  std::map<const TWinControl*, detail::FormWindow*> Windows;
  std::map<const TWinControl*, ControlWidget*> Embedded;
  struct Modal {
    TWinControl* Window;
    QEventLoop* Loop;
    bool Gone;
  };
  std::vector<Modal*> Modals;
  detail::ClipboardBridge Bridge;

  void CheckModal();
  void Woken();
};

}  // namespace corvex::qt
