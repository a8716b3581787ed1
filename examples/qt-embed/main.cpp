// qt-embed: one of our controls inside an ordinary Qt application. A QMainWindow with a Qt menu
// holds, in its central layout, a ControlWidget that hosts TGridView: a grid with a circle that
// follows clicks (and the arrow keys), zoomed by the View menu or Ctrl + wheel.
//
// Usage: qt-embed [--screenshot FILE]   (with --screenshot: save the main window's grab and exit)
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "corvex/host/qt/corvexqt.h"
#include "corvex/platform/graphics/canvas.h"

using namespace corvex;

namespace {

// A grid of cells with a circle in one of them. The cell size follows the zoom.
class TGridView : public TCustomControl {
 public:
  explicit TGridView(TComponent* AOwner) : TCustomControl(AOwner) {
    SetBounds(0, 0, 480, 320);
    SetColor(clWhite);
    SetTabStop(true);
    RegisterCorvexCursors();
    SetCursor(crCXCross);
  }

  double GetZoom() const { return Zoom_; }
  void ZoomIn() { SetZoom(Zoom_ * 1.25); }
  void ZoomOut() { SetZoom(Zoom_ / 1.25); }
  void SetZoom(double Value) {
    Value = std::clamp(Value, 0.25, 8.0);
    if (Value == Zoom_) return;
    Zoom_ = Value;
    Invalidate();
    OnChange(this);
  }
  TPoint GetCircle() const { return Circle_; }
  // Told when the circle moves or the zoom changes.
  TNotifyEvent OnChange;

 protected:
  int Cell() const { return std::max(4, int(kCell * Zoom_)); }

  void Paint() override {
    TCanvas* c = GetCanvas();
    const int cell = Cell(), w = GetClientWidth(), h = GetClientHeight();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, w, h));
    // The light lines first, every fifth darker over them.
    for (int pass = 0; pass < 2; ++pass) {
      c->GetPen()->SetColor(pass == 0 ? RGBColor(220, 224, 232) : RGBColor(150, 160, 180));
      for (int i = 0; i * cell <= std::max(w, h); ++i) {
        if ((i % 5 == 0) != (pass == 1)) continue;
        c->MoveTo(i * cell, 0);
        c->LineTo(i * cell, h);
        c->MoveTo(0, i * cell);
        c->LineTo(w, i * cell);
      }
    }
    c->GetPen()->SetColor(RGBColor(20, 50, 120));
    c->GetPen()->SetWidth(2);
    c->GetBrush()->SetColor(RGBColor(70, 130, 220));
    const int x = Circle_.X * cell, y = Circle_.Y * cell, m = std::max(1, cell / 8);
    c->Ellipse(x + m, y + m, x + cell - m + 1, y + cell - m + 1);
    c->GetPen()->SetWidth(1);
    if (Focused()) {
      c->GetBrush()->SetStyle(bsClear);
      c->GetPen()->SetColor(RGBColor(70, 130, 220));
      c->Rectangle(0, 0, w, h);
    }
  }

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button == mbLeft) MoveCircle({X / Cell(), Y / Cell()});
  }

  void KeyDown(uint16_t& Key, TShiftState Shift) override {
    TCustomControl::KeyDown(Key, Shift);
    TPoint p = Circle_;
    if (Key == VK_LEFT) p.X--;
    else if (Key == VK_RIGHT) p.X++;
    else if (Key == VK_UP) p.Y--;
    else if (Key == VK_DOWN) p.Y++;
    else return;
    MoveCircle({std::max(0, p.X), std::max(0, p.Y)});
  }

  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override {
    if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
    if (!Shift.Contains(ssCtrl)) return false;
    if (WheelDelta > 0) ZoomIn();
    else ZoomOut();
    return true;
  }

  void DoEnter() override {
    TCustomControl::DoEnter();
    Invalidate();
  }
  void DoExit() override {
    TCustomControl::DoExit();
    Invalidate();
  }

 private:
  void MoveCircle(TPoint P) {
    if (P.X == Circle_.X && P.Y == Circle_.Y) return;
    Circle_ = P;
    Invalidate();
    OnChange(this);
  }

  static constexpr int kCell = 32;
  double Zoom_ = 1.0;
  TPoint Circle_{3, 2};
};

class MainWindow : public QMainWindow {
 public:
  MainWindow() : Grid_(std::make_unique<TGridView>(nullptr)) {
    setWindowTitle("Corvex inside Qt");
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel("A Corvex control in a Qt layout: click to move the circle, "
                                 "arrow keys, View > Zoom or Ctrl + wheel."));
    layout->addWidget(new qt::ControlWidget(Grid_.get()), 1);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Quit", QKeySequence::Quit, this, &QWidget::close);
    QMenu* view = menuBar()->addMenu("&View");
    view->addAction("Zoom &in", QKeySequence::ZoomIn, this, [this] { Grid_->ZoomIn(); });
    view->addAction("Zoom &out", QKeySequence::ZoomOut, this, [this] { Grid_->ZoomOut(); });
    view->addAction("&Actual size", QKeySequence(Qt::CTRL | Qt::Key_0), this, [this] { Grid_->SetZoom(1.0); });

    Grid_->OnChange = TNotifyEvent::FromFunction(&MainWindow::GridChanged, this);
    GridChanged(this, nullptr);
    resize(520, 420);
  }

 private:
  static void GridChanged(void* Context, TObject*) {
    auto* self = static_cast<MainWindow*>(Context);
    const TPoint p = self->Grid_->GetCircle();
    self->statusBar()->showMessage(QString("Circle at cell %1, %2 - zoom %3%")
                                       .arg(p.X)
                                       .arg(p.Y)
                                       .arg(int(self->Grid_->GetZoom() * 100 + 0.5)));
  }

  // Destroyed before the ControlWidget (a Qt child, deleted by QWidget's destructor after this
  // member): the widget notices and lets go of it.
  std::unique_ptr<TGridView> Grid_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  qt::Host host;
  int rc = 0;
  {
    MainWindow window;
    window.show();
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
      QApplication::processEvents();
      Application().ProcessMessages();
      QApplication::processEvents();
      rc = window.grab().save(argv[2], "PNG") ? 0 : 1;
    } else {
      rc = app.exec();
    }
  }
  return rc;
}
