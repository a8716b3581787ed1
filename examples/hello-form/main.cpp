// hello-form: one of our forms in a real window. The form draws itself in its OnPaint with our
// canvas (rectangles, a hatch brush, an ellipse, lines, text); the Qt host shows it in a
// top-level window, and clicks leave marks on it.
//
// Usage: hello-form [--screenshot FILE] [--exit-after MS]
//   --screenshot FILE   show the window, save its grab as a PNG file and exit
//   --exit-after MS     quit after MS milliseconds (for scripted runs)
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/host/qt/corvexqt.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"

using namespace corvex;

namespace {

constexpr TColor kPaper = RGBColor(250, 246, 232);
constexpr TColor kInk = RGBColor(32, 40, 72);
constexpr TColor kTeal = RGBColor(0, 128, 128);
constexpr TColor kOrange = RGBColor(240, 120, 40);
constexpr TColor kRed = RGBColor(200, 30, 40);

class THelloForm : public TForm {
 public:
  THelloForm() : TForm(nullptr) {
    SetCaption("Hello, Corvex");
    SetBounds(40, 40, 420, 300);
    SetColor(kPaper);
    SetFormBorderStyle(bsSingleForm);
    OnPaint = TNotifyEvent(this, &THelloForm::FormPaint);
  }

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TForm::MouseDown(Button, Shift, X, Y);
    Marks_.push_back({X, Y});
    InvalidateRect(Rect(X - 6, Y - 6, X + 7, Y + 7));
    InvalidateRect(Rect(0, 255, GetClientWidth(), GetClientHeight()));  // the count
  }

 private:
  void FormPaint(TObject*) {
    TCanvas* c = GetCanvas();
    // Title.
    c->GetBrush()->SetStyle(bsClear);
    c->GetFont()->SetName("DejaVu Sans");
    c->GetFont()->SetSize(16);
    c->GetFont()->SetStyle({fsBold});
    c->GetFont()->SetColor(kInk);
    c->TextOut(20, 14, "Hello from Corvex");
    c->GetFont()->SetSize(9);
    c->GetFont()->SetStyle({});
    c->TextOut(22, 44, "Our canvas, shown by the Qt host at " + std::to_string(gSystemDPIX) + " dpi");

    // A rectangle with a hatch brush over a solid one.
    c->GetPen()->SetColor(kInk);
    c->GetPen()->SetWidth(1);
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clWhite);
    c->Rectangle(20, 80, 140, 200);
    c->GetBrush()->SetStyle(bsDiagCross);
    c->GetBrush()->SetColor(kTeal);
    c->Rectangle(20, 80, 140, 200);

    // An ellipse.
    c->GetPen()->SetWidth(3);
    c->GetPen()->SetColor(kRed);
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(kOrange);
    c->Ellipse(160, 80, 280, 200);

    // A fan of lines.
    c->GetPen()->SetWidth(1);
    for (int i = 0; i <= 8; ++i) {
      c->GetPen()->SetColor(RGBColor(uint8_t(30 * i), 60, uint8_t(240 - 25 * i)));
      c->MoveTo(300, 200);
      c->LineTo(300 + i * 12, 80);
    }

    // Labels.
    c->GetBrush()->SetStyle(bsClear);
    c->GetFont()->SetColor(kInk);
    c->TextOut(20, 210, "hatch");
    c->TextOut(160, 210, "ellipse");
    c->TextOut(300, 210, "lines");
    c->TextOut(20, 260, Marks_.empty() ? "Click anywhere to leave a mark." : std::to_string(Marks_.size()) + " marks");

    // The marks clicked.
    c->GetPen()->SetColor(kInk);
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(kRed);
    for (const TPoint& p : Marks_) c->Ellipse(p.X - 5, p.Y - 5, p.X + 6, p.Y + 6);
  }

  std::vector<TPoint> Marks_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string screenshot;
  int exitAfter = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (std::strcmp(argv[i], "--exit-after") == 0 && i + 1 < argc) {
      exitAfter = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: hello-form [--screenshot FILE] [--exit-after MS]\n");
      return 2;
    }
  }

  qt::Host host;
  auto* form = new THelloForm;
  const HWND handle = form->GetHandle();
  Application().CreateForm(form);
  form->Show();

  int rc = 0;
  if (!screenshot.empty()) {
    Application().ProcessMessages();  // paint now rather than from the event loop
    QApplication::processEvents();
    const QPixmap shot = host.WidgetFor(form)->grab();
    rc = shot.save(QString::fromStdString(screenshot), "PNG") ? 0 : 1;
    if (rc != 0) std::fprintf(stderr, "hello-form: cannot write %s\n", screenshot.c_str());
  } else {
    if (exitAfter >= 0) QTimer::singleShot(exitAfter, &app, &QCoreApplication::quit);
    rc = app.exec();
  }
  if (FindControl(handle) == form) delete form;
  return rc;
}
