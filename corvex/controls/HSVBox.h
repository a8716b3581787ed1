// THSVBox: a colour picker. The left of the client is a saturation/value field for the current
// hue (saturation 0 .. 99 left to right, value 0 .. 99 bottom to top); the right 20 pixels are a
// hue bar (hue 0 at the bottom), 5 pixels of Background apart. Dragging in either picks; the
// current colour is Hue/Sat/Val, Red/Green/Blue and Color.
//
// Everything is drawn into an off-screen 24-bit bitmap of the client's size, which Paint copies
// to the window. The two grips (a frame around the picked point, a bar across the hue bar) are
// drawn with a "not" pen, so drawing one again erases it.
#pragma once

#include <cstdint>
#include <memory>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

class THSVBox : public TCustomControl {
 public:
  // Layout: the hue bar's width and the gap before it.
  static constexpr int kHueBarWidth = 20;
  static constexpr int kGap = 5;

  explicit THSVBox(TComponent* AOwner);
  ~THSVBox() override;

  int GetHue() const { return Hue_; }
  // Clamped to 0 .. 359; redraws the field.
  void SetHue(int Value);
  int GetSat() const { return Sat_; }
  // Clamped to 0 .. 99.
  void SetSat(int Value);
  int GetVal() const { return Val_; }
  // Clamped to 0 .. 99.
  void SetVal(int Value);
  uint8_t GetRed() const { return Red_; }
  uint8_t GetGreen() const { return Green_; }
  uint8_t GetBlue() const { return Blue_; }
  // The picked colour (not the control's own colour, which this hides).
  TColor GetColor() const { return Color_; }
  // Takes the colour's bytes (a system colour resolved) and derives hue, saturation and value;
  // Color keeps the value given.
  void SetColor(TColor Value);
  void SetRGB(uint8_t r, uint8_t g, uint8_t b);
  TColor GetBackground() const { return Background_; }
  void SetBackground(TColor Value);

  // Fired when the user picks with the mouse (never by the setters).
  TNotifyEvent OnChange;

  // The field's width: the client width less the hue bar and the gap (0 when narrower).
  int GetFieldWidth() const;
  // The off-screen bitmap (the client's size).
  const TBitmap* GetBitmap() const { return Bitmap_.get(); }

  // Redraws the hue bar with the gap, the field, or toggles the grips (see the header comment).
  void DrawHue();
  void DrawValSat();
  void DrawGrips();
  // Picks at a client point: in the field, saturation and value; on the hue bar, the hue. A
  // point in the gap picks nothing.
  void XMouseMove(int X, int Y);

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSize(TMessage& Message) override;

 private:
  void ColorFromHSV();
  void RedrawAll();

  std::unique_ptr<TBitmap> Bitmap_;
  int Hue_ = 0, Sat_ = 0, Val_ = 0;
  uint8_t Red_ = 0, Green_ = 0, Blue_ = 0;
  TColor Color_ = 0;
  TColor Background_ = clBtnFace;
  int DragMode_ = 0;  // 0 none, 1 in the field, 2 in the hue bar
};

}  // namespace corvex
