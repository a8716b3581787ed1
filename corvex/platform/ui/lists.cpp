// List box, combo box and the combo box's drop-down popup.
#include "corvex/platform/ui/lists.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/platform/ui/widgets_pvt.h"

namespace corvex {

using namespace widgets_pvt;

namespace {

constexpr int64_t kSearchResetMs = 1000;  // typed characters within this time make one prefix

void AppendUtf8(std::string& S, char32_t C) {
  if (C < 0x80) {
    S += char(C);
  } else if (C < 0x800) {
    S += char(0xC0 | (C >> 6));
    S += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    S += char(0xE0 | (C >> 12));
    S += char(0x80 | ((C >> 6) & 0x3F));
    S += char(0x80 | (C & 0x3F));
  } else if (C <= 0x10FFFF) {
    S += char(0xF0 | (C >> 18));
    S += char(0x80 | ((C >> 12) & 0x3F));
    S += char(0x80 | ((C >> 6) & 0x3F));
    S += char(0x80 | (C & 0x3F));
  }
}

// The place of S among sorted items: after the items equal to it.
int UpperBound(const std::vector<std::string>& Items, const std::string& S) {
  return int(std::upper_bound(Items.begin(), Items.end(), S,
                              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; }) -
             Items.begin());
}

void SortItems(std::vector<std::string>& Items) {
  std::stable_sort(Items.begin(), Items.end(), [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

// One text item drawn in a list: the highlight behind it when selected.
void DrawListItem(TCanvas* C, const TRect& R, const std::string& Text, bool Selected, bool Enabled, TColor Back) {
  Fill(C, R, Selected ? clHighlight : Back);
  C->GetBrush()->SetStyle(bsClear);
  C->GetFont()->SetColor(!Enabled ? clGrayText : Selected ? clHighlightText : clWindowText);
  std::string text = Text;
  TRect r = Rect(R.Left + ScaleToScreen(2), R.Top, R.Right, R.Bottom);
  C->TextRect(r, text, {tfLeft, tfVerticalCenter, tfSingleLine, tfNoPrefix});
  C->GetBrush()->SetStyle(bsSolid);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Exclude(csClickEvents);  // OnClick follows the selection
  SetColor(clWindow);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  ItemHeight_ = LineHeight(this);
  SetBounds(0, 0, ScaleToScreen(121), ScaleToScreen(97));
}

TListBox::~TListBox() = default;

void TListBox::ItemsChanged() {
  if (ItemIndex_ >= GetCount()) ItemIndex_ = -1;
  if (Anchor_ >= GetCount()) Anchor_ = ItemIndex_;
  UpdateScrollBar();
  SetTopIndex(TopIndex_);
  Invalidate();
}

void TListBox::SetItems(const std::vector<std::string>& Value) {
  Items_ = Value;
  if (Sorted_) SortItems(Items_);
  Sel_.assign(Items_.size(), 0);
  ItemIndex_ = Anchor_ = -1;
  TopIndex_ = 0;
  ItemsChanged();
}

int TListBox::SortedPosition(const std::string& S) const { return Sorted_ ? UpperBound(Items_, S) : GetCount(); }

int TListBox::AddItem(const std::string& S) {
  const int at = SortedPosition(S);
  InsertItem(at, S);
  return at;
}

void TListBox::InsertItem(int Index, const std::string& S) {
  Index = Sorted_ ? SortedPosition(S) : std::clamp(Index, 0, GetCount());
  Items_.insert(Items_.begin() + Index, S);
  Sel_.insert(Sel_.begin() + Index, uint8_t(0));
  if (ItemIndex_ >= Index) ++ItemIndex_;
  if (Anchor_ >= Index) ++Anchor_;
  ItemsChanged();
}

void TListBox::DeleteItem(int Index) {
  if (Index < 0 || Index >= GetCount()) return;
  Items_.erase(Items_.begin() + Index);
  Sel_.erase(Sel_.begin() + Index);
  if (ItemIndex_ == Index) ItemIndex_ = -1;
  else if (ItemIndex_ > Index) --ItemIndex_;
  if (Anchor_ == Index) Anchor_ = ItemIndex_;
  else if (Anchor_ > Index) --Anchor_;
  ItemsChanged();
}

void TListBox::Clear() { SetItems({}); }

int TListBox::IndexOf(const std::string& S) const {
  for (int i = 0; i < GetCount(); ++i)
    if (CompareText(Items_[size_t(i)], S) == 0) return i;
  return -1;
}

void TListBox::SetSorted(bool Value) {
  if (Sorted_ == Value) return;
  Sorted_ = Value;
  if (Value) SetItems(std::vector<std::string>(Items_));
}

void TListBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= GetCount()) return;
  std::fill(Sel_.begin(), Sel_.end(), uint8_t(0));
  ItemIndex_ = Anchor_ = Value;
  if (Value >= 0) {
    Sel_[size_t(Value)] = 1;
    MakeVisible(Value);
  }
  Invalidate();
}

void TListBox::SetMultiSelect(bool Value) {
  if (MultiSelect_ == Value) return;
  MultiSelect_ = Value;
  if (!Value) SetItemIndex(ItemIndex_ >= 0 && Sel_[size_t(ItemIndex_)] ? ItemIndex_ : -1);
  Invalidate();
}

bool TListBox::GetSelected(int Index) const { return Index >= 0 && Index < GetCount() && Sel_[size_t(Index)] != 0; }

void TListBox::SetSelected(int Index, bool Value) {
  if (Index < 0 || Index >= GetCount()) return;
  if (!MultiSelect_) {
    if (Value) SetItemIndex(Index);
    else if (Index == ItemIndex_) SetItemIndex(-1);
    return;
  }
  Sel_[size_t(Index)] = Value ? 1 : 0;
  Invalidate();
}

int TListBox::GetSelCount() const { return int(std::count(Sel_.begin(), Sel_.end(), uint8_t(1))); }

void TListBox::ClearSelection() {
  if (!MultiSelect_) {
    SetItemIndex(-1);
    return;
  }
  std::fill(Sel_.begin(), Sel_.end(), uint8_t(0));
  Invalidate();
}

void TListBox::SelectAll() {
  if (!MultiSelect_) return;
  std::fill(Sel_.begin(), Sel_.end(), uint8_t(1));
  Invalidate();
}

int TListBox::VisibleItemCount() const { return std::max(1, GetClientHeight() / std::max(1, ItemHeight_)); }

void TListBox::SetTopIndex(int Value) {
  Value = std::clamp(Value, 0, std::max(0, GetCount() - VisibleItemCount()));
  if (Value != TopIndex_) {
    TopIndex_ = Value;
    Invalidate();
  }
  if (GetScrollPos(SB_VERT) != TopIndex_) SetScrollPos(SB_VERT, TopIndex_, true);
}

void TListBox::SetItemHeight(int Value) {
  ItemHeightSet_ = Value > 0;
  ItemHeight_ = Value > 0 ? Value : LineHeight(this);
  ItemsChanged();
}

TRect TListBox::ItemRect(int Index) const {
  return Bounds(0, (Index - TopIndex_) * ItemHeight_, GetClientWidth(), ItemHeight_);
}

int TListBox::ItemAtPos(TPoint P, bool Existing) const {
  const int ih = std::max(1, ItemHeight_);
  const int row = P.Y >= 0 ? P.Y / ih : -((ih - 1 - P.Y) / ih);
  const int i = TopIndex_ + row;
  if (Existing) return i >= 0 && i < GetCount() && P.X >= 0 && P.X < GetClientWidth() ? i : -1;
  return std::clamp(i, 0, GetCount());
}

void TListBox::MakeVisible(int Index) {
  if (Index < 0 || Index >= GetCount()) return;
  if (Index < TopIndex_) SetTopIndex(Index);
  else if (Index >= TopIndex_ + VisibleItemCount()) SetTopIndex(Index - VisibleItemCount() + 1);
}

void TListBox::UpdateScrollBar() {
  const bool need = GetCount() > GetClientHeight() / std::max(1, ItemHeight_);
  ShowScrollBar(SB_VERT, need);
  TScrollInfo si;
  si.fMask = SIF_ALL;
  si.nMin = 0;
  si.nMax = std::max(0, GetCount() - 1);
  si.nPage = unsigned(VisibleItemCount());
  si.nPos = TopIndex_;
  SetScrollInfo(SB_VERT, si, true);
}

void TListBox::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  const int last = std::min(GetCount(), TopIndex_ + VisibleItemCount() + 1);
  for (int i = TopIndex_; i < last; ++i)
    DrawListItem(c, ItemRect(i), Items_[size_t(i)], Sel_[size_t(i)] != 0, GetEnabled(), GetColor());
  if (Focused() && GetCount() > 0) FocusRect(c, ItemRect(ItemIndex_ >= 0 ? ItemIndex_ : 0));
}

// Selects [From, To] (either order); Keep leaves the other items as they are.
void TListBox::SelectRange(int From, int To, bool Keep) {
  if (!Keep) std::fill(Sel_.begin(), Sel_.end(), uint8_t(0));
  const int a = std::max(0, std::min(From, To)), b = std::min(GetCount() - 1, std::max(From, To));
  for (int i = a; i <= b; ++i) Sel_[size_t(i)] = 1;
}

bool TListBox::MoveTo(int Index, TShiftState Shift) {
  if (Index < 0 || Index >= GetCount()) return false;
  const std::vector<uint8_t> before = Sel_;
  const int oldIndex = ItemIndex_;
  if (!MultiSelect_) {
    std::fill(Sel_.begin(), Sel_.end(), uint8_t(0));
    Sel_[size_t(Index)] = 1;
    Anchor_ = Index;
  } else if (Shift.Contains(ssShift)) {
    if (Anchor_ < 0) Anchor_ = Index;
    SelectRange(Anchor_, Index, false);
  } else if (!Shift.Contains(ssCtrl)) {
    SelectRange(Index, Index, false);
    Anchor_ = Index;
  }
  ItemIndex_ = Index;
  MakeVisible(Index);
  if (Sel_ != before || ItemIndex_ != oldIndex) Invalidate();
  return Sel_ != before || (!MultiSelect_ && ItemIndex_ != oldIndex);
}

void TListBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (GetCount() == 0) return;
  const int page = std::max(1, VisibleItemCount() - 1);
  const int cur = ItemIndex_;
  int target;
  switch (Key) {
    case VK_UP: target = cur < 0 ? 0 : cur - 1; break;
    case VK_DOWN: target = cur < 0 ? 0 : cur + 1; break;
    case VK_PRIOR: target = cur < 0 ? 0 : cur - page; break;
    case VK_NEXT: target = cur < 0 ? 0 : cur + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = GetCount() - 1; break;
    case VK_SPACE:
      if (!MultiSelect_ || cur < 0) return;
      Key = 0;
      Sel_[size_t(cur)] ^= 1;
      Anchor_ = cur;
      Invalidate();
      Click();
      return;
    default: return;
  }
  Key = 0;
  if (MoveTo(std::clamp(target, 0, GetCount() - 1), Shift)) Click();
}

int TListBox::FindPrefix(const std::string& Prefix, int From) const {
  const int n = GetCount();
  for (int k = 0; k < n; ++k) {
    const int i = ((From + k) % n + n) % n;
    if (StartsWithText(Items_[size_t(i)], Prefix)) return i;
  }
  return -1;
}

void TListBox::KeyPress(char32_t& Key) {
  TCustomControl::KeyPress(Key);
  if (Key < 32 || Key == 127 || GetCount() == 0) return;
  const int64_t now = Application().Now();
  if (now - SearchTime_ > kSearchResetMs) Search_.clear();
  SearchTime_ = now;
  AppendUtf8(Search_, Key);
  Key = 0;
  // The same letter again goes on to the next item that starts with it.
  std::string first;
  AppendUtf8(first, char32_t(Search_[0] & 0xFF));
  bool repeated = Search_.size() > 1;
  for (char ch : Search_) repeated = repeated && ch == Search_[0];
  const bool single = Search_.size() == 1 || (repeated && static_cast<unsigned char>(Search_[0]) < 0x80);
  const std::string prefix = single ? Search_.substr(0, 1) : Search_;
  const int from = single ? ItemIndex_ + 1 : std::max(ItemIndex_, 0);
  const int found = FindPrefix(prefix, from);
  if (found >= 0 && MoveTo(found, {})) Click();
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int i = ItemAtPos({X, Y}, true);
  if (i < 0) return;
  bool changed;
  if (MultiSelect_ && Shift.Contains(ssCtrl)) {
    Sel_[size_t(i)] ^= 1;
    ItemIndex_ = Anchor_ = i;
    Invalidate();
    changed = true;
  } else {
    changed = MoveTo(i, MultiSelect_ ? Shift * TShiftState{ssShift} : TShiftState{});
    Dragging_ = true;
  }
  if (changed) Click();
}

void TListBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!Dragging_ || GetCount() == 0) return;
  // Above or below the list the selection moves one item past the edge, scrolling it.
  int i;
  if (Y < 0) i = TopIndex_ - 1;
  else if (Y >= GetClientHeight()) i = TopIndex_ + VisibleItemCount();
  else i = ItemAtPos({0, Y}, false);
  i = std::clamp(i, 0, GetCount() - 1);
  if (MoveTo(i, MultiSelect_ ? TShiftState{ssShift} : TShiftState{})) Click();
}

void TListBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) Dragging_ = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TListBox::DblClick() {
  const TPoint p = ScreenToClient(Application().GetCursorPos());
  if (ItemAtPos(p, true) >= 0) TCustomControl::DblClick();
}

bool TListBox::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  const int notches = WheelDelta / WHEEL_DELTA;
  if (notches == 0) return false;
  SetTopIndex(TopIndex_ - 3 * notches);
  return true;
}

void TListBox::WMVScroll(TMessage& Message) {
  const int code = LOWORD(Message.WParam), pos = HIWORD(Message.WParam);
  switch (code) {
    case SB_LINEUP: SetTopIndex(TopIndex_ - 1); break;
    case SB_LINEDOWN: SetTopIndex(TopIndex_ + 1); break;
    case SB_PAGEUP: SetTopIndex(TopIndex_ - VisibleItemCount()); break;
    case SB_PAGEDOWN: SetTopIndex(TopIndex_ + VisibleItemCount()); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetTopIndex(pos); break;
    case SB_TOP: SetTopIndex(0); break;
    case SB_BOTTOM: SetTopIndex(GetCount()); break;
    default: break;
  }
}

void TListBox::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  UpdateScrollBar();
  SetTopIndex(TopIndex_);
}

void TListBox::FontChanged() {
  TCustomControl::FontChanged();
  if (!ItemHeightSet_) ItemHeight_ = LineHeight(this);
  ItemsChanged();
}

// ---------------------------------------------------------------------------------------------
// TComboListPopup

TComboListPopup::TComboListPopup(TComboBox* Combo) : TCustomControl(nullptr), Combo_(Combo) {
  TCustomControl::SetVisible(false);
  ControlStyle_.Exclude(csClickEvents);
  ControlStyle_.Exclude(csDoubleClicks);
  SetColor(clWindow);
  SetCtl3D(false);
  SetBorderStyle(bsSingle);
}

TComboListPopup::~TComboListPopup() = default;

void TComboListPopup::SetVisible(bool Value) {
  if (GetVisible() == Value) return;
  TCustomControl::SetVisible(Value);
  // A top-level window that is never activated, as a hint window.
  Application().WindowShown(this, Value);
  if (Value) {
    Application().BringToFront(this);
    Application().SetPopup(this);
  }
}

int TComboListPopup::VisibleItemCount() const {
  return std::max(1, GetClientHeight() / std::max(1, Combo_->GetItemHeight()));
}

void TComboListPopup::SetHighlight(int Value) {
  Value = std::clamp(Value, -1, int(Combo_->Items_.size()) - 1);
  if (Highlight_ == Value) return;
  Highlight_ = Value;
  MakeVisible(Value);
  Invalidate();
}

void TComboListPopup::SetTopIndex(int Value) {
  Value = std::clamp(Value, 0, std::max(0, int(Combo_->Items_.size()) - VisibleItemCount()));
  if (Value != TopIndex_) {
    TopIndex_ = Value;
    Invalidate();
  }
  if (GetScrollPos(SB_VERT) != TopIndex_) SetScrollPos(SB_VERT, TopIndex_, true);
}

void TComboListPopup::MakeVisible(int Index) {
  if (Index < 0) return;
  if (Index < TopIndex_) SetTopIndex(Index);
  else if (Index >= TopIndex_ + VisibleItemCount()) SetTopIndex(Index - VisibleItemCount() + 1);
}

TRect TComboListPopup::ItemRect(int Index) const {
  const int ih = Combo_->GetItemHeight();
  return Bounds(0, (Index - TopIndex_) * ih, GetClientWidth(), ih);
}

int TComboListPopup::ItemAtPos(TPoint P) const {
  if (!GetClientRect().Contains(P)) return -1;
  const int i = TopIndex_ + P.Y / std::max(1, Combo_->GetItemHeight());
  return i < int(Combo_->Items_.size()) ? i : -1;
}

void TComboListPopup::UpdateScrollBar() {
  const int n = int(Combo_->Items_.size());
  ShowScrollBar(SB_VERT, n > VisibleItemCount());
  TScrollInfo si;
  si.fMask = SIF_ALL;
  si.nMax = std::max(0, n - 1);
  si.nPage = unsigned(VisibleItemCount());
  si.nPos = TopIndex_;
  SetScrollInfo(SB_VERT, si, true);
}

void TComboListPopup::Paint() {
  TCanvas* c = GetCanvas();
  Fill(c, GetClientRect(), GetColor());
  const int n = int(Combo_->Items_.size());
  const int last = std::min(n, TopIndex_ + VisibleItemCount() + 1);
  for (int i = TopIndex_; i < last; ++i) DrawListItem(c, ItemRect(i), Combo_->Items_[size_t(i)], i == Highlight_, true, GetColor());
}

void TComboListPopup::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const int i = ItemAtPos({X, Y});
  if (i >= 0) SetHighlight(i);
}

void TComboListPopup::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int i = ItemAtPos({X, Y});
  if (i >= 0) Combo_->Choose(i);
}

bool TComboListPopup::DoMouseWheel(TShiftState, int WheelDelta, TPoint) {
  const int notches = WheelDelta / WHEEL_DELTA;
  SetTopIndex(TopIndex_ - 3 * notches);
  return notches != 0;
}

void TComboListPopup::WMVScroll(TMessage& Message) {
  const int code = LOWORD(Message.WParam), pos = HIWORD(Message.WParam);
  const int n = int(Combo_->Items_.size());
  switch (code) {
    case SB_LINEUP: SetTopIndex(TopIndex_ - 1); break;
    case SB_LINEDOWN: SetTopIndex(TopIndex_ + 1); break;
    case SB_PAGEUP: SetTopIndex(TopIndex_ - VisibleItemCount()); break;
    case SB_PAGEDOWN: SetTopIndex(TopIndex_ + VisibleItemCount()); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetTopIndex(pos); break;
    case SB_TOP: SetTopIndex(0); break;
    case SB_BOTTOM: SetTopIndex(n); break;
    default: break;
  }
}

void TComboListPopup::WMCancelMode(TMessage&) { Combo_->CloseUp(false); }

// ---------------------------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TComponent* AOwner)
    : TCustomControl(AOwner), Edit_(new TEdit(this)), Popup_(std::make_unique<TComboListPopup>(this)) {
  ControlStyle_.Exclude(csClickEvents);
  ControlStyle_.Exclude(csDoubleClicks);
  ControlStyle_.Exclude(csAcceptsControls);
  SetColor(clWindow);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  Edit_->SetBorderStyle(bsNone);
  Edit_->SetTabStop(false);
  Edit_->SetParent(this);
  Edit_->OnChange = TNotifyEvent(this, &TComboBox::EditChange);
  Edit_->OnKeyDown = TKeyEvent(this, &TComboBox::EditKeyDown);
  Edit_->OnKeyPress = TKeyPressEvent(this, &TComboBox::EditKeyPress);
  Edit_->OnExit = TNotifyEvent(this, &TComboBox::EditExit);
  SetBounds(0, 0, ScaleToScreen(145), std::max(ScaleToScreen(21), LineHeight(this) + ScaleToScreen(8)));
  PlaceEdit();
}

TComboBox::~TComboBox() {
  Popup_->Hide();
  Edit_->OnChange = nullptr;
  Edit_->OnExit = nullptr;
}

int TComboBox::GetItemHeight() const { return LineHeight(this) + ScaleToScreen(2); }

TRect TComboBox::GetButtonRect() const {
  const TRect c = GetClientRect();
  return Rect(std::max(c.Left, c.Right - ScaleToScreen(17)), c.Top, c.Right, c.Bottom);
}

void TComboBox::PlaceEdit() {
  const TRect c = GetClientRect();
  Edit_->SetVisible(Style_ != csDropDownList);
  Edit_->SetBounds(0, 0, std::max(0, GetButtonRect().Left - c.Left), c.Height());
}

void TComboBox::SetStyle(TComboBoxStyle Value) {
  if (Style_ == Value) return;
  const bool focused = FocusInside();
  Style_ = Value;
  PlaceEdit();
  if (Style_ == csDropDownList) SetIndexQuiet(ItemIndex_);
  if (focused) SetFocus();
  Invalidate();
}

void TComboBox::SetItems(const std::vector<std::string>& Value) {
  CloseUp(false);
  Items_ = Value;
  if (Sorted_) SortItems(Items_);
  ItemIndex_ = -1;
  if (Style_ == csDropDownList) SetIndexQuiet(-1);
  Invalidate();
}

int TComboBox::AddItem(const std::string& S) {
  const int at = Sorted_ ? UpperBound(Items_, S) : int(Items_.size());
  Items_.insert(Items_.begin() + at, S);
  if (ItemIndex_ >= at) ++ItemIndex_;
  if (GetDroppedDown()) {
    Popup_->UpdateScrollBar();
    Popup_->Invalidate();
  }
  return at;
}

void TComboBox::Clear() { SetItems({}); }

int TComboBox::IndexOf(const std::string& S) const {
  for (int i = 0; i < int(Items_.size()); ++i)
    if (CompareText(Items_[size_t(i)], S) == 0) return i;
  return -1;
}

void TComboBox::SetSorted(bool Value) {
  if (Sorted_ == Value) return;
  Sorted_ = Value;
  if (!Value) return;
  const std::string current = ItemIndex_ >= 0 ? Items_[size_t(ItemIndex_)] : std::string();
  const int old = ItemIndex_;
  SortItems(Items_);
  if (old >= 0) ItemIndex_ = IndexOf(current);
  Invalidate();
}

void TComboBox::SetIndexQuiet(int Index) {
  ItemIndex_ = Index;
  const std::string text = Index >= 0 ? Items_[size_t(Index)] : std::string();
  Updating_ = true;
  Edit_->SetText(text);
  TCustomControl::SetText(text);
  Updating_ = false;
  if (Edit_->Focused()) Edit_->SelectAll();
  if (GetDroppedDown()) Popup_->SetHighlight(Index);
  Invalidate();
}

void TComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= int(Items_.size())) return;
  SetIndexQuiet(Value);
}

void TComboBox::SetText(const std::string& Value) {
  if (Style_ == csDropDownList) {
    SetIndexQuiet(IndexOf(Value));
    return;
  }
  Updating_ = true;
  Edit_->SetText(Value);
  TCustomControl::SetText(Value);
  Updating_ = false;
  ItemIndex_ = IndexOf(Value);
  Invalidate();
}

void TComboBox::SetDropDownCount(int Value) { DropDownCount_ = std::max(1, Value); }

bool TComboBox::GetDroppedDown() const { return Popup_->GetVisible(); }

void TComboBox::SetDroppedDown(bool Value) {
  if (Value == GetDroppedDown()) return;
  if (!Value) {
    CloseUp(false);
    return;
  }
  if (!IsShowing() || !GetEnabled()) return;
  OnDropDown(this);
  const int n = int(Items_.size());
  // No taller than the screen, however many rows DropDownCount asks for.
  const int fit = std::max(1, (Screen().GetHeight() - 2) / std::max(1, GetItemHeight()));
  const int rows = std::clamp(n, 1, std::min(DropDownCount_, fit));
  const int h = rows * GetItemHeight() + 2;
  TPoint below = GetParent() != nullptr ? GetParent()->ClientToScreen({Left_, Top_ + Height_}) : TPoint{Left_, Top_ + Height_};
  if (below.Y + h > Screen().GetHeight() && below.Y - Height_ - h >= 0) below.Y -= Height_ + h;
  Popup_->TopIndex_ = 0;
  Popup_->Highlight_ = -1;
  Popup_->SetBounds(below.X, below.Y, Width_, h);
  Popup_->UpdateScrollBar();
  Popup_->SetHighlight(ItemIndex_);
  Popup_->Show();
  Invalidate();
}

void TComboBox::CloseUp(bool Accept) {
  if (!GetDroppedDown()) return;
  const int chosen = Popup_->GetHighlight();
  DragFromBox_ = false;
  Popup_->Hide();
  Invalidate();
  OnCloseUp(this);
  if (Accept && chosen >= 0) Choose(chosen);
}

void TComboBox::Choose(int Index) {
  CloseUp(false);
  if (Index < 0 || Index >= int(Items_.size())) return;
  const bool changed = Index != ItemIndex_ || GetText() != Items_[size_t(Index)];
  SetIndexQuiet(Index);
  if (!changed) return;
  OnSelect(this);
  OnChange(this);
}

bool TComboBox::FocusInside() const { return HoldsFocus(this); }

bool TComboBox::CanFocus() const { return TCustomControl::CanFocus(); }

void TComboBox::SetFocus() {
  if (!CanFocus()) return;
  if (Style_ != csDropDownList && Edit_->CanFocus()) Edit_->SetFocus();
  else TCustomControl::SetFocus();
}

bool TComboBox::WantsDialogKey(uint16_t Key, TShiftState) const {
  return GetDroppedDown() && (Key == VK_RETURN || Key == VK_ESCAPE);
}

// The combo box's own keys (from itself or its edit); true when one was used.
bool TComboBox::HandleKey(uint16_t& Key, TShiftState Shift) {
  const bool alt = Shift.Contains(ssAlt);
  const bool list = Style_ == csDropDownList;
  const int n = int(Items_.size());
  if (Key == VK_F4 || (alt && (Key == VK_DOWN || Key == VK_UP))) {
    if (GetDroppedDown()) CloseUp(true);
    else if (Key != VK_UP) SetDroppedDown(true);
    Key = 0;
    return true;
  }
  if (alt) return false;
  if (GetDroppedDown()) {
    if (Key == VK_RETURN) {
      CloseUp(true);
    } else if (Key == VK_ESCAPE) {
      CloseUp(false);
    } else {
      const int h = Popup_->GetHighlight();
      const int page = std::max(1, Popup_->VisibleItemCount() - 1);
      int target;
      switch (Key) {
        case VK_UP: target = h < 0 ? 0 : h - 1; break;
        case VK_DOWN: target = h + 1; break;
        case VK_PRIOR: target = h - page; break;
        case VK_NEXT: target = h < 0 ? page : h + page; break;
        case VK_HOME: if (!list) return false; target = 0; break;
        case VK_END: if (!list) return false; target = n - 1; break;
        default: return false;
      }
      if (n > 0) Popup_->SetHighlight(std::clamp(target, 0, n - 1));
    }
    Key = 0;
    return true;
  }
  int target;
  const int page = std::max(1, DropDownCount_ - 1);
  switch (Key) {
    case VK_UP: target = ItemIndex_ < 0 ? 0 : ItemIndex_ - 1; break;
    case VK_DOWN: target = ItemIndex_ + 1; break;
    case VK_PRIOR: target = ItemIndex_ - page; break;
    case VK_NEXT: target = ItemIndex_ < 0 ? page : ItemIndex_ + page; break;
    case VK_HOME: if (!list) return false; target = 0; break;
    case VK_END: if (!list) return false; target = n - 1; break;
    default: return false;
  }
  Key = 0;
  if (n > 0) Choose(std::clamp(target, 0, n - 1));
  return true;
}

void TComboBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key != 0) HandleKey(Key, Shift);
}

void TComboBox::KeyPress(char32_t& Key) {
  TCustomControl::KeyPress(Key);
  if (Key < 32 || Key == 127 || Style_ != csDropDownList || Items_.empty()) return;
  // A typed character chooses the next item that starts with it.
  std::string prefix;
  AppendUtf8(prefix, Key);
  const int n = int(Items_.size());
  const int from = GetDroppedDown() ? Popup_->GetHighlight() : ItemIndex_;
  for (int k = 1; k <= n; ++k) {
    const int i = ((from + k) % n + n) % n;
    if (!StartsWithText(Items_[size_t(i)], prefix)) continue;
    if (GetDroppedDown()) Popup_->SetHighlight(i);
    else Choose(i);
    break;
  }
  Key = 0;
}

void TComboBox::EditKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  OnKeyDown(this, Key, Shift);
  if (Key != 0) HandleKey(Key, Shift);
}

void TComboBox::EditKeyPress(TObject*, char32_t& Key) { OnKeyPress(this, Key); }

void TComboBox::EditChange(TObject*) {
  TCustomControl::SetText(Edit_->GetText());
  if (Updating_) return;
  ItemIndex_ = IndexOf(Edit_->GetText());
  if (GetDroppedDown() && ItemIndex_ >= 0) Popup_->SetHighlight(ItemIndex_);
  OnChange(this);
}

void TComboBox::EditExit(TObject*) {
  CloseUp(false);
  OnExit(this);
}

void TComboBox::WMKillFocus(TMessage& Message) {
  CloseUp(false);
  TCustomControl::WMKillFocus(Message);
}

void TComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  if (Style_ != csDropDownList && !GetButtonRect().Contains({X, Y})) return;
  if (GetDroppedDown()) {
    CloseUp(false);
  } else {
    SetDroppedDown(true);
    DragFromBox_ = GetDroppedDown();
  }
}

void TComboBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!DragFromBox_ || !GetDroppedDown()) return;
  const TPoint p = Popup_->ScreenToClient(ClientToScreen({X, Y}));
  const int i = Popup_->ItemAtPos(p);
  if (i >= 0) Popup_->SetHighlight(i);
}

void TComboBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !DragFromBox_) return;
  DragFromBox_ = false;
  if (!GetDroppedDown()) return;
  // Released over the list: the press that opened it chose an item.
  const TPoint p = Popup_->ScreenToClient(ClientToScreen({X, Y}));
  const int i = Popup_->ItemAtPos(p);
  if (i >= 0) Choose(i);
}

bool TComboBox::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  const int notches = WheelDelta / WHEEL_DELTA;
  if (notches == 0) return false;
  if (GetDroppedDown()) return Popup_->DoMouseWheel(Shift, WheelDelta, MousePos);
  if (!Items_.empty()) Choose(std::clamp(ItemIndex_ - notches, 0, int(Items_.size()) - 1));
  return true;
}

void TComboBox::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  PlaceEdit();
}

void TComboBox::EnabledChanged() {
  if (!GetEnabled()) CloseUp(false);
  TCustomControl::EnabledChanged();
  Edit_->SetEnabled(GetEnabled());
}

void TComboBox::FontChanged() {
  TCustomControl::FontChanged();
  Edit_->SetFont(GetFont());
  Popup_->SetFont(GetFont());
}

void TComboBox::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  const TRect button = GetButtonRect();
  if (Style_ == csDropDownList) {
    const int m = ScaleToScreen(1);
    const TRect r = Rect(client.Left + m, client.Top + m, button.Left - m, client.Bottom - m);
    const bool hi = Focused() && !GetDroppedDown();
    DrawListItem(c, r, GetText(), hi, GetEnabled(), GetColor());
    if (hi) FocusRect(c, r);
  }
  if (GetDroppedDown() && DragFromBox_) {
    TRect b = button;
    Fill(c, b, clBtnFace);
    Frame3D(c, b, clBtnShadow, clBtnShadow, 1);
    Arrow(c, OffsetRect(button, 1, 1), 1, GetEnabled() ? clBtnText : clGrayText);
  } else {
    RaisedFace(c, button);
    Arrow(c, button, 1, GetEnabled() ? clBtnText : clGrayText);
  }
}

}  // namespace corvex
