// A harness for window tests: forms on a virtual screen, input in client coordinates of any
// control, a clock the test advances, and the pixels of any window. No real time, no display.
//
//   UiHarness ui;
//   TForm* form = ui.NewForm(300, 200);
//   auto* view = new MyControl(form);
//   view->SetParent(form);
//   ui.Click(view, 10, 20);
//   ui.Advance(150);
//   EXPECT_EQ(ui.Pixel(view, 10, 20), clRed);
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/ui/forms.h"

namespace corvex::testing_support {

class UiHarness {
 public:
  UiHarness() {
    Application().SetHost(nullptr);
    Application().OnIdle = nullptr;
  }
  ~UiHarness() {
    Application().OnIdle = nullptr;
    Release(mbLeft);
    forms_.clear();
    Application().ProcessMessages();
    Screen().SetCursor(crDefault);
  }
  UiHarness(const UiHarness&) = delete;
  UiHarness& operator=(const UiHarness&) = delete;

  // A shown form at (100, 100) of the given client size; the harness frees it.
  TForm* NewForm(int Width, int Height) {
    forms_.push_back(std::make_unique<TForm>(nullptr));
    TForm* f = forms_.back().get();
    f->SetBounds(100 + 10 * int(forms_.size() - 1), 100, Width, Height);
    f->Show();
    Pump();
    return f;
  }

  // Input at client coordinates of a control (they may lie outside it).
  void Move(TControl* C, int X, int Y, TShiftState Keys = {}) {
    Application().MouseInput(TApplication::maMove, mbLeft, C->ClientToScreen({X, Y}), Keys);
  }
  void Press(TControl* C, int X, int Y, TMouseButton B = mbLeft, TShiftState Keys = {}) {
    Application().MouseInput(TApplication::maDown, B, C->ClientToScreen({X, Y}), Keys);
  }
  void ReleaseAt(TControl* C, int X, int Y, TMouseButton B = mbLeft, TShiftState Keys = {}) {
    Application().MouseInput(TApplication::maUp, B, C->ClientToScreen({X, Y}), Keys);
  }
  // Releases a button where the pointer is.
  void Release(TMouseButton B) {
    if (Application().GetShiftState().Contains(B == mbLeft ? ssLeft : B == mbRight ? ssRight : ssMiddle))
      Application().MouseInput(TApplication::maUp, B, Application().GetCursorPos());
  }
  void Click(TControl* C, int X, int Y, TMouseButton B = mbLeft, TShiftState Keys = {}) {
    Move(C, X, Y, Keys);
    Press(C, X, Y, B, Keys);
    ReleaseAt(C, X, Y, B, Keys);
  }
  void DoubleClick(TControl* C, int X, int Y) {
    Click(C, X, Y);
    Click(C, X, Y);
  }
  void Drag(TControl* C, int X1, int Y1, int X2, int Y2, int Steps = 4) {
    Move(C, X1, Y1);
    Press(C, X1, Y1);
    for (int i = 1; i <= Steps; ++i) Move(C, X1 + (X2 - X1) * i / Steps, Y1 + (Y2 - Y1) * i / Steps);
    ReleaseAt(C, X2, Y2);
  }
  // Notches of the wheel (positive: away from the user) over a client point.
  void Wheel(TControl* C, int Notches, int X, int Y, TShiftState Keys = {}) {
    Application().WheelInput(Notches * WHEEL_DELTA, C->ClientToScreen({X, Y}), Keys);
  }
  // A key typed on the focused window: modifiers pressed first and released last.
  void Key(uint16_t VK, TShiftState Shift = {}, char32_t Char = 0) {
    if (Shift.Contains(ssCtrl)) Application().KeyInput(VK_CONTROL, false);
    if (Shift.Contains(ssShift)) Application().KeyInput(VK_SHIFT, false);
    if (Shift.Contains(ssAlt)) Application().KeyInput(VK_MENU, false);
    Application().KeyInput(VK, false, Char);
    Application().KeyInput(VK, true);
    if (Shift.Contains(ssAlt)) Application().KeyInput(VK_MENU, true);
    if (Shift.Contains(ssShift)) Application().KeyInput(VK_SHIFT, true);
    if (Shift.Contains(ssCtrl)) Application().KeyInput(VK_CONTROL, true);
  }
  // Text typed character by character.
  void Type(const std::u32string& Text) {
    for (char32_t c : Text) Key(c >= U'a' && c <= U'z' ? uint16_t(c - 32) : uint16_t(c < 0x80 ? c : 0), {}, c);
  }
  // A scroll message as a window's scroll bar sends it.
  void Scroll(TWinControl* W, int Bar, int Code, int Pos = 0) {
    W->Perform(Bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, MAKELONG(uint16_t(Code), uint16_t(Pos)), 0);
    Pump();
  }

  void Advance(int64_t Ms) { Application().AdvanceClock(Ms); }
  void Pump() { Application().ProcessMessages(); }

  // The window's backing bitmap after the pending paints.
  TBitmap* Pixels(TWinControl* W) {
    Pump();
    return W->GetBackingBitmap();
  }
  // A client pixel of a window (or of the window a graphic control lies on) as a colour.
  TColor Pixel(TControl* C, int X, int Y) {
    TWinControl* w = C->GetWindow();
    const TPoint p = w->ScreenToClient(C->ClientToScreen({X, Y}));
    TBitmap* b = Pixels(w);
    if (p.X < 0 || p.Y < 0 || p.X >= b->GetWidth() || p.Y >= b->GetHeight()) return CLR_INVALID_PIXEL;
    const uint8_t* q = b->ScanLine(p.Y) + 3 * p.X;
    return RGBColor(q[2], q[1], q[0]);
  }
  // A pixel of the composed top-level window (border, scroll bars and children included), in
  // window coordinates.
  TColor SurfacePixel(TWinControl* TopLevel, int X, int Y) {
    TBitmap* b = Application().WindowSurface(TopLevel);
    if (b == nullptr || X < 0 || Y < 0 || X >= b->GetWidth() || Y >= b->GetHeight()) return CLR_INVALID_PIXEL;
    const uint8_t* q = b->ScanLine(Y) + 3 * X;
    return RGBColor(q[2], q[1], q[0]);
  }

  static constexpr TColor CLR_INVALID_PIXEL = -1;

 private:
  std::vector<std::unique_ptr<TForm>> forms_;
};

// Steps run one per idle turn of a modal loop (nested loops included), so that a test drives a
// dialog while it runs; once they are used up the loop ends by itself (with mrCancel).
struct ModalSteps {
  std::deque<std::function<void()>> steps;
  ModalSteps() {
    Application().OnIdle = [this] {
      if (steps.empty()) return false;
      auto step = std::move(steps.front());
      steps.pop_front();
      step();
      return true;
    };
  }
  ~ModalSteps() { Application().OnIdle = nullptr; }
  ModalSteps(const ModalSteps&) = delete;
  ModalSteps& operator=(const ModalSteps&) = delete;
};

}  // namespace corvex::testing_support
