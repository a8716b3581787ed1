// TCorvexPaletteDialog: a small modal form that shows a palette (up to 256 colours) as a grid of
// 16-pixel cells, 32 to a row, and returns the colour the user clicks.
//
//   TCorvexPaletteDialog dlg(nullptr);
//   dlg.SetPalette(params.ColorMap.data(), params.GetColorMapCount());
//   if (dlg.Execute()) colour = dlg.GetSelectedColor();
//
// The mouse highlights the cell under it (outlined in black); moving over the grid where there is
// no entry keeps the last highlighted one. A click chooses the highlighted entry and closes the
// form with OK; Cancel or Escape closes it with Cancel and leaves the chosen colour as it was.
#pragma once

#include <vector>

#include "corvex/core/defs.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

class TButton;

class TCorvexPaletteDialog : public TForm {
 public:
  explicit TCorvexPaletteDialog(TComponent* AOwner);
  ~TCorvexPaletteDialog() override;

  // Copies the entries (at most 256; a negative count or no array gives an empty palette).
  void SetPalette(const TRGB* Palette, int Count);
  int GetCount() const { return static_cast<int>(Palette_.size()); }
  // Shows the form modally; true when an entry was clicked.
  bool Execute();
  // The chosen colour (valid after Execute returned true) and its index (-1 before any choice).
  TColor GetSelectedColor() const { return SelectedColor_; }
  int GetSelectedIndex() const { return SelectedIndex_; }
  // The highlighted entry (-1 while none), and the entry under a client point (-1 for none).
  int GetHighlighted() const { return Highlighted_; }
  int IndexAt(int X, int Y) const;
  // The cell of entry Index in client coordinates.
  static TRect CellRect(int Index);
  TButton* GetCancelButton() const { return Cancel_; }

 protected:
  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void Click() override;

 private:
  std::vector<TRGB> Palette_;
  int Highlighted_ = -1;
  int SelectedIndex_ = -1;
  TColor SelectedColor_ = clBlack;
  TButton* Cancel_ = nullptr;
};

}  // namespace corvex
