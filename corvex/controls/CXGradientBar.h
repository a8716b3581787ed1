// TCXGradientBar: a linear ramp of 256 steps from BeginColor to EndColor, horizontal (step 0 at
// the left) or vertical (step 0 at the bottom). With migDragGrip the user picks a step with the
// left button; the picked step is ColorIndex and its colour GetColor. A grip, a frame drawn with
// a "not" pen, marks the picked step on the ramp.
#pragma once

#include <array>
#include <cstdint>

#include "corvex/core/defs.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

enum TCXGradientDir { gdHorizontal, gdVertical };
enum TCXMouseInteractItemsGr { migDragGrip };
using TCXMouseInteractGr = TSet<TCXMouseInteractItemsGr>;

class TCXGradientBar : public TCustomControl {
 public:
  explicit TCXGradientBar(TComponent* AOwner);
  ~TCXGradientBar() override;

  TColor GetBeginColor() const { return BeginColor_; }
  void SetBeginColor(TColor Value);
  TColor GetEndColor() const { return EndColor_; }
  void SetEndColor(TColor Value);
  TCXGradientDir GetDirection() const { return Direction_; }
  void SetDirection(TCXGradientDir Value);
  TCXMouseInteractGr GetMouseInteractGr() const { return MouseInteract_; }
  void SetMouseInteractGr(TCXMouseInteractGr Value);

  // The picked step, 0 .. 255 (values outside are clamped).
  int GetColorIndex() const { return ColorIndex_; }
  void SetColorIndex(int Value);
  // The picked step's colour (this hides the control's own colour), and as a TRGB.
  TColor GetColor() const { return Table_[size_t(ColorIndex_)]; }
  TRGB GetRGB() const { return TColor2TRGB(GetColor()); }
  // Entry i of the ramp, i clamped to 0 .. 255.
  TColor GetTableColor(int Index) const;

  // Rebuilds the table: entry i = BeginColor + Trunc(i x (End - Begin) / 255.0) per channel.
  void CalcGradient();

  // Fired when the mouse changes ColorIndex.
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void WMEraseBkgnd(TMessage& Message) override;
  // Draws the grip on the canvas with a "not" pen (a second drawing erases it).
  void DrawGrip();

 private:
  // The grip's rectangle in client coordinates.
  TRect GripRect() const;
  // The step under a client point (clamped into the client).
  int IndexAt(int X, int Y) const;
  void Pick(int X, int Y);

  TColor BeginColor_ = 0;
  TColor EndColor_ = 0xFFFFFF;
  TCXGradientDir Direction_ = gdVertical;
  TCXMouseInteractGr MouseInteract_ = {migDragGrip};
  int ColorIndex_ = 0;
  std::array<TColor, 256> Table_{};
};

}  // namespace corvex
