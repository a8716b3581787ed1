#include "corvex/dialogs/PaletteDialog.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {

namespace {
constexpr int kCell = 16;
constexpr int kColumns = 32;
constexpr int kMaxEntries = 256;
}  // namespace

TCorvexPaletteDialog::TCorvexPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("");
  SetFormBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(539);
  SetClientHeight(199);
  Cancel_ = new TButton(this);
  Cancel_->SetParent(this);
  Cancel_->SetCaption("&Cancel");
  Cancel_->SetBounds(8, 144, 75, 25);
  Cancel_->SetCancel(true);
  Cancel_->SetModalResult(mrCancel);
}

TCorvexPaletteDialog::~TCorvexPaletteDialog() = default;

void TCorvexPaletteDialog::SetPalette(const TRGB* Palette, int Count) {
  // A copy: the caller's array may go away while the dialog lives.
  Palette_.clear();
  if (Palette != nullptr && Count > 0) Palette_.assign(Palette, Palette + std::min(Count, kMaxEntries));
  if (Highlighted_ >= GetCount()) Highlighted_ = -1;
  Invalidate();
}

bool TCorvexPaletteDialog::Execute() { return ShowModal() == mrOk; }

TRect TCorvexPaletteDialog::CellRect(int Index) {
  const int col = Index % kColumns, row = Index / kColumns;
  return Rect(kCell * col + 1, kCell * row + 1, kCell * col + kCell, kCell * row + kCell);
}

int TCorvexPaletteDialog::IndexAt(int X, int Y) const {
  // Truncating division, so that X or Y = 0 still counts as the first cell; a point right of the
  // 32nd column (or below the grid) is no entry, never one of the next row.
  const int col = (X - 1) / kCell, row = (Y - 1) / kCell;
  if (X < 0 || Y < 0 || col >= kColumns) return -1;
  const int index = col + row * kColumns;
  return index < GetCount() ? index : -1;
}

void TCorvexPaletteDialog::Paint() {
  TCanvas* c = GetCanvas();
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  c->GetBrush()->SetStyle(bsSolid);
  for (int i = 0; i < GetCount(); ++i) {
    c->GetPen()->SetColor(i == Highlighted_ ? clBlack : clWhite);
    c->GetBrush()->SetColor(TRGB2TColor(Palette_[size_t(i)]));
    const TRect r = CellRect(i);
    c->Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  }
  TForm::Paint();
}

void TCorvexPaletteDialog::MouseMove(TShiftState Shift, int X, int Y) {
  TForm::MouseMove(Shift, X, Y);
  const int index = IndexAt(X, Y);
  if (index >= 0 && index != Highlighted_) {
    Highlighted_ = index;
    Invalidate();
  }
}

void TCorvexPaletteDialog::Click() {
  TForm::Click();
  if (Highlighted_ < 0 || Highlighted_ >= GetCount()) return;  // nothing highlighted yet
  SelectedIndex_ = Highlighted_;
  SelectedColor_ = TRGB2TColor(Palette_[size_t(Highlighted_)]);
  SetModalResult(mrOk);
}

}  // namespace corvex
