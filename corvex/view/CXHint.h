// TCXHint: the measure hint of the vector view — a small pale-yellow popup with one line of black
// text, sized to the text (text width + 4 by text height + 4), framed by a raised outer edge. Like
// every hint window it never takes the focus and the mouse passes through it.
#pragma once

#include <string>

#include "corvex/platform/ui/hintwindow.h"

namespace corvex {

class TFont;

class TCXHint : public THintWindow {
 public:
  static constexpr TColor kBackground = 14745599;  // pale yellow

  explicit TCXHint(TComponent* AOwner);
  ~TCXHint() override;

  // Sets the text, resizes the hint to it and repaints.
  void SetText(const std::string& Value) override;
  // Copies a font (then resizes to the text in it).
  void SetFont(const TFont* Value);

 protected:
  void Paint() override;
};

}  // namespace corvex
