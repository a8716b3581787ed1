// List box and combo box (first cut: state only; drawing and input follow).
#include "corvex/platform/ui/lists.h"

#include <algorithm>

#include "corvex/platform/ui/forms.h"

namespace corvex {

TListBox::TListBox(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TListBox::~TListBox() = default;
void TListBox::SetItems(const std::vector<std::string>& Value) {
  Items_ = Value;
  Sel_.assign(Items_.size(), 0);
  ItemIndex_ = -1;
}
int TListBox::AddItem(const std::string& S) {
  Items_.push_back(S);
  Sel_.push_back(0);
  return GetCount() - 1;
}
void TListBox::InsertItem(int, const std::string& S) { AddItem(S); }
void TListBox::DeleteItem(int) {}
void TListBox::Clear() { SetItems({}); }
int TListBox::IndexOf(const std::string&) const { return -1; }
void TListBox::SetSorted(bool Value) { Sorted_ = Value; }
void TListBox::SetItemIndex(int Value) { ItemIndex_ = Value; }
void TListBox::SetMultiSelect(bool Value) { MultiSelect_ = Value; }
bool TListBox::GetSelected(int Index) const { return Index >= 0 && Index < GetCount() && Sel_[size_t(Index)]; }
void TListBox::SetSelected(int, bool) {}
int TListBox::GetSelCount() const { return 0; }
void TListBox::ClearSelection() {}
void TListBox::SelectAll() {}
void TListBox::SetTopIndex(int Value) { TopIndex_ = Value; }
void TListBox::SetItemHeight(int Value) { ItemHeight_ = Value; }
TRect TListBox::ItemRect(int) const { return TRect{}; }
int TListBox::ItemAtPos(TPoint, bool) const { return -1; }
int TListBox::VisibleItemCount() const { return 1; }
void TListBox::MakeVisible(int) {}
void TListBox::Paint() {}
void TListBox::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TListBox::KeyPress(char32_t& Key) { TCustomControl::KeyPress(Key); }
void TListBox::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TListBox::MouseMove(TShiftState S, int X, int Y) { TCustomControl::MouseMove(S, X, Y); }
void TListBox::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
void TListBox::DblClick() { TCustomControl::DblClick(); }
bool TListBox::DoMouseWheel(TShiftState S, int D, TPoint P) { return TCustomControl::DoMouseWheel(S, D, P); }
void TListBox::WMVScroll(TMessage&) {}
void TListBox::WMSize(TMessage&) {}
void TListBox::FontChanged() { TCustomControl::FontChanged(); }
void TListBox::UpdateScrollBar() {}
void TListBox::SelectRange(int, int, bool) {}
bool TListBox::MoveTo(int, TShiftState) { return false; }
int TListBox::FindPrefix(const std::string&, int) const { return -1; }
int TListBox::SortedPosition(const std::string&) const { return GetCount(); }
void TListBox::ItemsChanged() {}

TComboListPopup::TComboListPopup(TComboBox* Combo) : TCustomControl(nullptr), Combo_(Combo) { TCustomControl::SetVisible(false); }
TComboListPopup::~TComboListPopup() = default;
void TComboListPopup::SetHighlight(int Value) { Highlight_ = Value; }
void TComboListPopup::SetTopIndex(int Value) { TopIndex_ = Value; }
int TComboListPopup::ItemAtPos(TPoint) const { return -1; }
TRect TComboListPopup::ItemRect(int) const { return TRect{}; }
int TComboListPopup::VisibleItemCount() const { return 1; }
void TComboListPopup::MakeVisible(int) {}
void TComboListPopup::SetVisible(bool Value) { TCustomControl::SetVisible(Value); }
void TComboListPopup::Paint() {}
void TComboListPopup::MouseMove(TShiftState S, int X, int Y) { TCustomControl::MouseMove(S, X, Y); }
void TComboListPopup::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
bool TComboListPopup::DoMouseWheel(TShiftState S, int D, TPoint P) { return TCustomControl::DoMouseWheel(S, D, P); }
void TComboListPopup::WMVScroll(TMessage&) {}
void TComboListPopup::WMCancelMode(TMessage&) {}
void TComboListPopup::UpdateScrollBar() {}

TComboBox::TComboBox(TComponent* AOwner)
    : TCustomControl(AOwner), Edit_(new TEdit(this)), Popup_(std::make_unique<TComboListPopup>(this)) {
  Edit_->SetParent(this);
  SetTabStop(true);
}
TComboBox::~TComboBox() = default;
void TComboBox::SetStyle(TComboBoxStyle Value) { Style_ = Value; }
void TComboBox::SetItems(const std::vector<std::string>& Value) {
  Items_ = Value;
  ItemIndex_ = -1;
}
int TComboBox::AddItem(const std::string& S) {
  Items_.push_back(S);
  return int(Items_.size()) - 1;
}
void TComboBox::Clear() { SetItems({}); }
int TComboBox::IndexOf(const std::string&) const { return -1; }
void TComboBox::SetSorted(bool Value) { Sorted_ = Value; }
void TComboBox::SetItemIndex(int Value) { ItemIndex_ = Value; }
void TComboBox::SetText(const std::string& Value) { TCustomControl::SetText(Value); }
void TComboBox::SetDropDownCount(int Value) { DropDownCount_ = std::max(1, Value); }
bool TComboBox::GetDroppedDown() const { return Popup_->GetVisible(); }
void TComboBox::SetDroppedDown(bool) {}
int TComboBox::GetItemHeight() const { return 16; }
TRect TComboBox::GetButtonRect() const { return TRect{}; }
bool TComboBox::CanFocus() const { return TCustomControl::CanFocus(); }
void TComboBox::SetFocus() { TCustomControl::SetFocus(); }
bool TComboBox::WantsDialogKey(uint16_t, TShiftState) const { return false; }
void TComboBox::Paint() {}
void TComboBox::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TComboBox::KeyPress(char32_t& Key) { TCustomControl::KeyPress(Key); }
void TComboBox::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TComboBox::MouseMove(TShiftState S, int X, int Y) { TCustomControl::MouseMove(S, X, Y); }
void TComboBox::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
bool TComboBox::DoMouseWheel(TShiftState S, int D, TPoint P) { return TCustomControl::DoMouseWheel(S, D, P); }
void TComboBox::WMSize(TMessage&) {}
void TComboBox::WMKillFocus(TMessage& M) { TCustomControl::WMKillFocus(M); }
void TComboBox::EnabledChanged() { TCustomControl::EnabledChanged(); }
void TComboBox::FontChanged() { TCustomControl::FontChanged(); }
bool TComboBox::HandleKey(uint16_t&, TShiftState) { return false; }
void TComboBox::Choose(int) {}
void TComboBox::CloseUp(bool) {}
void TComboBox::SetIndexQuiet(int) {}
void TComboBox::PlaceEdit() {}
void TComboBox::EditChange(TObject*) {}
void TComboBox::EditKeyDown(TObject*, uint16_t&, TShiftState) {}
void TComboBox::EditKeyPress(TObject*, char32_t&) {}
void TComboBox::EditExit(TObject*) {}
bool TComboBox::FocusInside() const { return false; }

}  // namespace corvex
