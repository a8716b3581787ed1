// Helpers of the host tests: a fixture that installs the host, and waiting on Qt's event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "corvex/host/qt/corvexqt.h"
#include "corvex/platform/graphics/canvas.h"

namespace corvex::qt::testing {

// Runs Qt's event loop until Done() or the time is up; true when Done() came.
inline bool WaitFor(const std::function<bool()>& Done, int Ms = 2000) {
  QElapsedTimer t;
  t.start();
  while (!Done()) {
    if (t.elapsed() > Ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Lets the queued work (posted messages, paints, window events) run.
inline void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { Host_ = std::make_unique<Host>(); }
  void TearDown() override {
    Settle();
    Host_.reset();
  }
  std::unique_ptr<Host> Host_;
};

// A control that paints its left half red and its right half blue, and logs the mouse, wheel and
// key messages it gets: (message, x or value, y).
class TRecorder : public TCustomControl {
 public:
  explicit TRecorder(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
  std::vector<std::tuple<uint32_t, int, int>> Log;

  void WndProc(TMessage& M) override {
    switch (M.Msg) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
        Log.emplace_back(M.Msg, GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam));
        break;
      case WM_MOUSEWHEEL:
        Log.emplace_back(M.Msg, GET_WHEEL_DELTA_WPARAM(M.WParam), int(LOWORD(M.WParam)));
        break;
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_CHAR:
        Log.emplace_back(M.Msg, int(M.WParam), 0);
        break;
      default:
        break;
    }
    TCustomControl::WndProc(M);
  }

 protected:
  void Paint() override {
    TCanvas* c = GetCanvas();
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(RGBColor(255, 0, 0));
    c->FillRect(Rect(0, 0, GetClientWidth() / 2, GetClientHeight()));
    c->GetBrush()->SetColor(RGBColor(0, 0, 255));
    c->FillRect(Rect(GetClientWidth() / 2, 0, GetClientWidth(), GetClientHeight()));
  }
};

inline QRgb Pixel(const QImage& Image, int X, int Y) { return Image.pixel(X, Y) & 0xFFFFFF; }

}  // namespace corvex::qt::testing
