// THintWindow: a small popup that shows a line or a few lines of text next to the mouse (a
// measurement while the user drags, a tip). It is a top-level window that is never activated:
// showing, moving or clicking it never takes the focus from the control that has it, and the
// mouse passes through it to the window below (it answers WM_NCHITTEST with HTTRANSPARENT).
//
//   THintWindow hint(nullptr);
//   TRect r = hint.CalcHintRect(300, "12.5 mm");
//   OffsetRect(r, mouse.X + 16, mouse.Y + 16) ...
//   hint.ActivateHint(r, "12.5 mm");     // shown; called again, it moves and repaints once
//   hint.ReleaseHandle();                // hidden
//
// Drawn like a plain desktop tooltip: a 1-pixel clWindowFrame border, clInfoBk behind the text,
// the text in clInfoText in the hint font (8 points at the screen's resolution), lines split at
// '\n' and, past the width CalcHintRect was given, at spaces.
#pragma once

#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"

namespace corvex {

class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* AOwner);
  ~THintWindow() override;

  // Shows the hint with Text over ScreenRect (screen coordinates), moved inside the screen when
  // it sticks out. An active hint is moved and resized in place: it is not hidden in between,
  // and it repaints at most once.
  virtual void ActivateHint(const TRect& ScreenRect, const std::string& Text);
  // The size the text needs, as a rectangle at (0, 0): the lines (broken at spaces where wider
  // than MaxWidth allows; MaxWidth <= 0 is no limit), the padding and the border.
  virtual TRect CalcHintRect(int MaxWidth, const std::string& Text);
  // Hides the hint.
  void ReleaseHandle() { Hide(); }
  // True while the hint is shown.
  bool GetActive() const { return GetVisible(); }

  // A hint window is never focused.
  bool CanFocus() const override { return false; }
  bool ShowsActivated() const override { return false; }
  void SetFocus() override {}
  void SetVisible(bool Value) override;
  void WndProc(TMessage& Message) override;

 protected:
  void Paint() override;

 private:
  // The lines of Text broken to fit TextWidth pixels (no limit when TextWidth <= 0).
  std::vector<std::string> Lines(const std::string& Text, int TextWidth);
  int PadX() const;
  int PadY() const;
};

}  // namespace corvex
