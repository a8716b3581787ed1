// Track bar, spin edit and page control (first cut: state only; drawing and input follow).
#include "corvex/platform/ui/comctrls.h"

#include <algorithm>

#include "corvex/platform/ui/forms.h"

namespace corvex {

TTrackBar::TTrackBar(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TTrackBar::~TTrackBar() = default;
void TTrackBar::SetMin(int Value) { SetRange(Value, std::max(Value, Max_)); }
void TTrackBar::SetMax(int Value) { SetRange(std::min(Value, Min_), Value); }
void TTrackBar::SetRange(int AMin, int AMax) {
  Min_ = AMin;
  Max_ = std::max(AMin, AMax);
  SetPosition(Position_);
}
void TTrackBar::SetPosition(int Value) {
  Value = std::clamp(Value, Min_, Max_);
  if (Value == Position_) return;
  Position_ = Value;
  Changed();
}
void TTrackBar::SetFrequency(int Value) { Frequency_ = Value; }
void TTrackBar::SetLineSize(int Value) { LineSize_ = Value; }
void TTrackBar::SetPageSize(int Value) { PageSize_ = Value; }
void TTrackBar::SetOrientation(TTrackBarOrientation Value) { Orientation_ = Value; }
void TTrackBar::SetTickStyle(TTickStyle Value) { TickStyle_ = Value; }
TRect TTrackBar::GetChannelRect() const { return TRect{}; }
TRect TTrackBar::GetThumbRect() const { return TRect{}; }
int TTrackBar::PositionToPixel(int) const { return 0; }
int TTrackBar::PixelToPosition(int) const { return Min_; }
void TTrackBar::Paint() {}
void TTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TTrackBar::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TTrackBar::MouseMove(TShiftState S, int X, int Y) { TCustomControl::MouseMove(S, X, Y); }
void TTrackBar::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
bool TTrackBar::DoMouseWheel(TShiftState S, int D, TPoint P) { return TCustomControl::DoMouseWheel(S, D, P); }
void TTrackBar::WMCaptureChanged(TMessage&) {}
void TTrackBar::Changed() { OnChange(this); }
void TTrackBar::PageStep(TObject*) {}
void TTrackBar::StopPaging() {}
int TTrackBar::ThumbLength() const { return 0; }
int TTrackBar::ThumbBreadth() const { return 0; }

TSpinEdit::TSpinEdit(TComponent* AOwner) : TCustomControl(AOwner), Edit_(new TEdit(this)) {
  Edit_->SetParent(this);
  SetTabStop(true);
}
TSpinEdit::~TSpinEdit() = default;
void TSpinEdit::SetValue(int Value) { Value_ = Clamp(Value); }
void TSpinEdit::SetMinValue(int Value) { MinValue_ = Value; }
void TSpinEdit::SetMaxValue(int Value) { MaxValue_ = Value; }
void TSpinEdit::SetText(const std::string& Value) { Edit_->SetText(Value); }
bool TSpinEdit::GetReadOnly() const { return Edit_->GetReadOnly(); }
void TSpinEdit::SetReadOnly(bool Value) { Edit_->SetReadOnly(Value); }
void TSpinEdit::SelectAll() { Edit_->SelectAll(); }
TRect TSpinEdit::GetUpButtonRect() const { return TRect{}; }
TRect TSpinEdit::GetDownButtonRect() const { return TRect{}; }
void TSpinEdit::Step(int Delta) { SetValue(Value_ + Delta * Increment_); }
bool TSpinEdit::CanFocus() const { return TCustomControl::CanFocus(); }
void TSpinEdit::SetFocus() { Edit_->SetFocus(); }
void TSpinEdit::Paint() {}
void TSpinEdit::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TSpinEdit::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
bool TSpinEdit::DoMouseWheel(TShiftState S, int D, TPoint P) { return TCustomControl::DoMouseWheel(S, D, P); }
void TSpinEdit::WMSize(TMessage&) {}
void TSpinEdit::WMCaptureChanged(TMessage&) {}
void TSpinEdit::EnabledChanged() { TCustomControl::EnabledChanged(); }
void TSpinEdit::FontChanged() { TCustomControl::FontChanged(); }
int TSpinEdit::Clamp(int V) const { return MaxValue_ != MinValue_ ? std::clamp(V, std::min(MinValue_, MaxValue_), std::max(MinValue_, MaxValue_)) : V; }
void TSpinEdit::EditChange(TObject*) {}
void TSpinEdit::EditKeyDown(TObject*, uint16_t&, TShiftState) {}
void TSpinEdit::EditKeyPress(TObject*, char32_t&) {}
void TSpinEdit::EditEnter(TObject*) {}
void TSpinEdit::EditExit(TObject*) {}
void TSpinEdit::Repeat(TObject*) {}
void TSpinEdit::StopRepeat() {}
int TSpinEdit::ButtonWidth() const { return 0; }

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {}
TTabSheet::~TTabSheet() { SetPageControl(nullptr); }
void TTabSheet::SetPageControl(TPageControl* Value) {
  if (PageControl_ == Value) return;
  if (PageControl_ != nullptr) PageControl_->RemovePage(this);
  if (Value != nullptr) Value->InsertPage(this);
}
int TTabSheet::GetPageIndex() const {
  if (PageControl_ == nullptr) return -1;
  const auto& p = PageControl_->Pages_;
  return int(std::find(p.begin(), p.end(), this) - p.begin());
}
void TTabSheet::SetPageIndex(int Value) {
  if (PageControl_ != nullptr) PageControl_->MovePage(this, Value);
}
void TTabSheet::SetTabVisible(bool Value) { TabVisible_ = Value; }
void TTabSheet::SetParent(TWinControl* AParent) { TCustomControl::SetParent(AParent); }
void TTabSheet::TextChanged() { TCustomControl::TextChanged(); }

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TPageControl::~TPageControl() {
  while (!Pages_.empty()) RemovePage(Pages_.back());
}
TTabSheet* TPageControl::GetPage(int Index) const {
  return Index >= 0 && Index < GetPageCount() ? Pages_[size_t(Index)] : nullptr;
}
void TPageControl::SetActivePage(TTabSheet* Value) { Active_ = Value; }
int TPageControl::GetActivePageIndex() const { return Active_ != nullptr ? Active_->GetPageIndex() : -1; }
void TPageControl::SetActivePageIndex(int Value) { SetActivePage(GetPage(Value)); }
TTabSheet* TPageControl::FindNextPage(TTabSheet*, bool) const { return nullptr; }
void TPageControl::SelectNextPage(bool) {}
TRect TPageControl::GetTabRect(int) const { return TRect{}; }
int TPageControl::IndexOfTabAt(int, int) const { return -1; }
TRect TPageControl::GetDisplayRect() const { return GetClientRect(); }
bool TPageControl::DialogKey(uint16_t, TShiftState) { return false; }
void TPageControl::Paint() {}
void TPageControl::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TPageControl::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TPageControl::WMSize(TMessage&) {}
void TPageControl::FontChanged() { TCustomControl::FontChanged(); }
void TPageControl::InsertPage(TTabSheet* Page) {
  Pages_.push_back(Page);
  Page->PageControl_ = this;
}
void TPageControl::RemovePage(TTabSheet* Page) {
  Pages_.erase(std::remove(Pages_.begin(), Pages_.end(), Page), Pages_.end());
  Page->PageControl_ = nullptr;
  if (Active_ == Page) Active_ = nullptr;
}
void TPageControl::MovePage(TTabSheet*, int) {}
void TPageControl::PlaceSheets() {}
void TPageControl::ShowActive(TTabSheet*) {}
bool TPageControl::ChangeActivePage(TTabSheet* Page) {
  Active_ = Page;
  return true;
}
int TPageControl::TabHeight() const { return 0; }

}  // namespace corvex
