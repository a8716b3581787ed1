// Pictures of the auxiliary controls as they draw without a host, one PNG each:
//   hsvbox.png        two HSV colour boxes with their grips (one picked by a drag)
//   histogram.png     histograms of samples/testcard.png: grey bars, RGB lines
//   ruler.png         rulers beside an image view (pixel rulers along both edges of the view,
//                     a ruler with grips of every shape, hex labels, a vertical ruler pointing up)
//   gradientbar.png   vertical and horizontal gradient bars with their grips
// Usage: controls_screens OUTPUT-FOLDER [SAMPLE-IMAGE]
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "corvex/controls/CXGradientBar.h"
#include "corvex/controls/HSVBox.h"
#include "corvex/controls/HistogramBox.h"
#include "corvex/controls/RulerBox.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CorvexView.h"

using namespace corvex;
namespace fs = std::filesystem;

namespace {

bool SaveWindow(TForm* Form, const fs::path& Png) {
  Application().ProcessMessages();
  TBitmap shot;
  shot.Assign(Application().WindowSurface(Form));
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&shot);
  io.SaveToFile(Png.string());
  if (io.GetAborting()) {
    std::fprintf(stderr, "controls_screens: %s could not be written\n", Png.string().c_str());
    return false;
  }
  return true;
}

std::unique_ptr<TForm> NewForm(const char* Caption, int W, int H) {
  auto f = std::make_unique<TForm>(nullptr);
  f->SetCaption(Caption);
  f->SetBounds(40, 40, W, H);
  f->Show();
  return f;
}

template <class C>
C* Place(TForm* F, int X, int Y, int W, int H) {
  auto* c = new C(F);
  c->SetBounds(X, Y, W, H);
  c->SetParent(F);
  return c;
}

// A drag in client coordinates of a control, as the user makes it.
void Drag(TControl* C, TPoint From, TPoint To) {
  Application().MouseInput(TApplication::maMove, mbLeft, C->ClientToScreen(From));
  Application().MouseInput(TApplication::maDown, mbLeft, C->ClientToScreen(From));
  Application().MouseInput(TApplication::maMove, mbLeft, C->ClientToScreen(To));
  Application().MouseInput(TApplication::maUp, mbLeft, C->ClientToScreen(To));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: controls_screens OUTPUT-FOLDER\n");
    return 2;
  }
  CXInstallLZW();
  const fs::path out = argv[1];
  std::error_code ec;
  fs::create_directories(out, ec);
  // The sample image: the second argument, else the one in the source tree.
  const std::string sample =
      argc > 2 ? argv[2] : (fs::path(__FILE__).parent_path().parent_path() / "samples" / "testcard.png").string();
  bool ok = true;

  {  // HSV boxes: one set by code, one picked with the mouse.
    auto f = NewForm("HSV box", 300, 150);
    auto* a = Place<THSVBox>(f.get(), 10, 10, 105, 105);
    a->SetColor(RGBColor(40, 120, 220));
    auto* b = Place<THSVBox>(f.get(), 130, 10, 160, 130);
    b->SetHue(120);
    Application().ProcessMessages();
    Drag(b, {10, 10}, {100, 30});
    ok = SaveWindow(f.get(), out / "hsvbox.png") && ok;
  }

  {  // Histograms of the test card.
    auto f = NewForm("Histogram box", 540, 130);
    TBitmap card;
    TCorvexIO io(nullptr);
    io.SetAttachedBitmap(&card);
    io.LoadFromFile(sample);
    TCorvexProc proc(nullptr);
    proc.SetAttachedBitmap(&card);
    auto* gray = Place<THistogramBox>(f.get(), 10, 10, 256, 105);
    gray->SetAttachedCorvexProc(&proc);
    auto* rgb = Place<THistogramBox>(f.get(), 276, 10, 256, 105);
    rgb->SetHistogramKind({hkRed, hkGreen, hkBlue});
    rgb->SetHistogramStyle(hsLines);
    rgb->SetBackground(RGBColor(250, 248, 236));
    rgb->SetAttachedCorvexProc(&proc);
    ok = SaveWindow(f.get(), out / "histogram.png") && ok;
    gray->SetAttachedCorvexProc(nullptr);
    rgb->SetAttachedCorvexProc(nullptr);
  }

  {  // Rulers beside a view: pixel rulers along the top and left of the view at 150 %.
    auto f = NewForm("Ruler box", 560, 420);
    auto* view = Place<TCorvexView>(f.get(), 40, 40, 380, 260);
    view->SetBorderStyle(bsNone);
    TCorvexIO io(nullptr);
    io.SetAttachedCorvex(view);
    io.LoadFromFile(sample);
    view->SetZoom(150);
    view->SetViewXY(60, 30);
    auto* top = Place<TRulerBox>(f.get(), 40, 0, 380, 40);
    top->SetGripsDir(gdDown);
    top->SetDotPerUnit(view->GetZoom() / 100.0);
    top->SetViewPos(view->GetViewX() * 100.0 / view->GetZoom());
    top->SetGripsCount(2);
    top->SetGripsPos(0, 80);
    top->SetGripsPos(1, 200);
    top->SetGripsCol(0, clRed);
    top->SetGripsCol(1, clLime);
    top->SetRulerColor(clWhite);
    auto* left = Place<TRulerBox>(f.get(), 0, 40, 40, 260);
    left->SetRulerDir(rdVertical);
    left->SetGripsDir(gdDown);
    left->SetFrequency(10);
    left->SetLabelFreq(50);
    left->SetDotPerUnit(view->GetZoom() / 100.0);
    left->SetViewPos(view->GetViewY() * 100.0 / view->GetZoom());
    left->SetGripsPos(0, 100);
    left->SetGripsCol(0, clYellow);
    left->SetRulerColor(clWhite);
    // Every grip shape on a 0 .. 255 range fitted to the width, below the view.
    auto* shapes = Place<TRulerBox>(f.get(), 40, 310, 380, 44);
    shapes->SetViewMin(0);
    shapes->SetViewMax(256);
    shapes->SetFitInView(true);
    shapes->SetFrequency(8);
    shapes->SetLabelFreq(64);
    shapes->SetGripsCount(5);
    for (int i = 0; i < 5; ++i) {
      shapes->SetGripsKind(i, uint8_t(i));
      shapes->SetGripsPos(i, 20 + i * 50);
      shapes->SetGripsCol(i, RGBColor(uint8_t(60 * i), 120, uint8_t(255 - 50 * i)));
    }
    shapes->SetGripBaseDim(16);
    // Hex labels, grips pointing down at a strip below them.
    auto* hex = Place<TRulerBox>(f.get(), 40, 364, 380, 44);
    hex->SetHexLabels(true);
    hex->SetGripsDir(gdDown);
    hex->SetDotPerUnit(0.25);
    hex->SetFrequency(64);
    hex->SetLabelFreq(256);
    hex->SetViewPos(-256);
    hex->SetGripsPos(0, 512);
    hex->SetGripsKind(0, gkArrow);
    hex->SetBackground(RGBColor(230, 230, 250));
    // A vertical ruler with the strip on its left and arrows pointing at it.
    auto* vert = Place<TRulerBox>(f.get(), 440, 40, 60, 260);
    vert->SetRulerDir(rdVertical);
    vert->SetDotPerUnit(2);
    vert->SetViewPos(-20);
    vert->SetGripsCount(2);
    vert->SetGripsPos(0, 10);
    vert->SetGripsPos(1, 75);
    vert->SetGripsKind(0, gkArrow);
    vert->SetGripsKind(1, gkArrow2);
    vert->SetGripsCol(0, clAqua);
    vert->SetGripsCol(1, clFuchsia);
    ok = SaveWindow(f.get(), out / "ruler.png") && ok;
  }

  {  // Gradient bars.
    auto f = NewForm("Gradient bar", 330, 320);
    auto* v1 = Place<TCXGradientBar>(f.get(), 10, 10, 40, 300);
    v1->SetColorIndex(64);
    auto* v2 = Place<TCXGradientBar>(f.get(), 60, 10, 40, 300);
    v2->SetBeginColor(RGBColor(255, 255, 0));
    v2->SetEndColor(RGBColor(128, 0, 200));
    Application().ProcessMessages();
    Drag(v2, {20, 10}, {20, 100});
    auto* h1 = Place<TCXGradientBar>(f.get(), 110, 10, 210, 40);
    h1->SetDirection(gdHorizontal);
    h1->SetBeginColor(clRed);
    h1->SetEndColor(clBlue);
    h1->SetColorIndex(200);
    auto* h2 = Place<TCXGradientBar>(f.get(), 110, 60, 210, 40);
    h2->SetDirection(gdHorizontal);
    h2->SetBeginColor(clWhite);
    h2->SetEndColor(RGBColor(0, 100, 0));
    h2->SetMouseInteractGr({});
    ok = SaveWindow(f.get(), out / "gradientbar.png") && ok;
  }
  return ok ? 0 : 1;
}
