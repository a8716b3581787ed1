// The list widgets: a list box and a combo box whose drop-down list is a popup window. Headless
// and drawn in the system colours like the rest of the widget set (stdctrls.h gives the common
// rules).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/edit.h"

namespace corvex {

class TComboBox;

// TListBox: a sunken list of text items, one selected (ItemIndex) or, with MultiSelect, any
// number (Selected[i]) with ItemIndex the item that has the focus rectangle. A vertical scroll
// bar shows when the items do not fit; TopIndex is the first item shown.
//
// Keys: Up / Down, Page Up / Page Down, Home / End move the selection (with MultiSelect and Shift
// they extend it from the anchor; Ctrl moves only the focus rectangle and Space then toggles the
// item). Typed characters find the next item that starts with the text typed within the last
// second (case-insensitive); the same letter typed again goes on to the next item starting with it.
// Mouse: a press selects the item under the pointer and dragging moves the selection (Ctrl+press
// toggles an item and Shift+press extends, with MultiSelect); the wheel scrolls three items.
// OnClick fires after the user changed the selection (mouse or keys), not after changes by code;
// OnDblClick on a double click on an item.
class TListBox : public TCustomControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  // --- Items (kept sorted, case-insensitively, while Sorted is set)
  const std::vector<std::string>& GetItems() const { return Items_; }
  // Replaces all items; the selection is cleared and TopIndex goes back to 0.
  void SetItems(const std::vector<std::string>& Value);
  int GetCount() const { return static_cast<int>(Items_.size()); }
  // Adds an item (in sorted place when Sorted) and returns its index.
  int AddItem(const std::string& S);
  // Inserts before Index (clamped to 0..Count; ignored when Sorted: the item goes to its place).
  void InsertItem(int Index, const std::string& S);
  // Removes an item (nothing for a bad index).
  void DeleteItem(int Index);
  void Clear();
  // The index of the first item equal to S (case-insensitive), or -1.
  int IndexOf(const std::string& S) const;
  bool GetSorted() const { return Sorted_; }
  void SetSorted(bool Value);

  // --- Selection
  int GetItemIndex() const { return ItemIndex_; }
  // -1 or an item index: selects that item alone (with MultiSelect: moves the focus rectangle
  // and selects it, clearing the others) and scrolls it into view. Fires no event.
  void SetItemIndex(int Value);
  bool GetMultiSelect() const { return MultiSelect_; }
  void SetMultiSelect(bool Value);
  bool GetSelected(int Index) const;
  // Selects or unselects one item (in a single-selection list: Selected true makes it ItemIndex).
  void SetSelected(int Index, bool Value);
  int GetSelCount() const;
  void ClearSelection();
  void SelectAll();

  // --- View
  int GetTopIndex() const { return TopIndex_; }
  void SetTopIndex(int Value);
  int GetItemHeight() const { return ItemHeight_; }
  // Pixels per item; 0 goes back to the height of the font.
  void SetItemHeight(int Value);
  // The rectangle of an item in client coordinates (it may lie outside the client), the item at a
  // client point (-1 below the last one), and how many items fit whole.
  TRect ItemRect(int Index) const;
  int ItemAtPos(TPoint P, bool Existing = true) const;
  int VisibleItemCount() const;
  // Scrolls so that the item is fully visible.
  void MakeVisible(int Index);

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char32_t& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DblClick() override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WMVScroll(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void FontChanged() override;

 private:
  friend class TComboBox;
  void UpdateScrollBar();
  void SelectRange(int From, int To, bool Keep);
  // Moves the focus to Index as a key or click does; returns true when the selection changed.
  bool MoveTo(int Index, TShiftState Shift);
  int FindPrefix(const std::string& Prefix, int From) const;
  int SortedPosition(const std::string& S) const;
  void ItemsChanged();
  std::vector<std::string> Items_;
  std::vector<uint8_t> Sel_;  // one flag per item
  int ItemIndex_ = -1;
  int Anchor_ = -1;
  int TopIndex_ = 0;
  int ItemHeight_ = 0;
  bool ItemHeightSet_ = false;
  bool MultiSelect_ = false;
  bool Sorted_ = false;
  bool Dragging_ = false;
  std::string Search_;
  int64_t SearchTime_ = 0;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

// The drop-down list of a combo box: a top-level popup that never takes activation or the focus
// (like THintWindow), showing the items under (or above, when there is no room) the combo box.
// While it is shown the application routes a press outside it to it (TApplication::SetPopup),
// which closes it without passing the press on. Mouse moves highlight the item under the pointer;
// a click chooses it.
class TComboListPopup : public TCustomControl {
 public:
  explicit TComboListPopup(TComboBox* Combo);
  ~TComboListPopup() override;

  TComboBox* GetCombo() const { return Combo_; }
  // The highlighted item (-1 for none).
  int GetHighlight() const { return Highlight_; }
  void SetHighlight(int Value);
  int GetTopIndex() const { return TopIndex_; }
  void SetTopIndex(int Value);
  int ItemAtPos(TPoint P) const;
  TRect ItemRect(int Index) const;
  int VisibleItemCount() const;
  void MakeVisible(int Index);

  bool CanFocus() const override { return false; }
  bool ShowsActivated() const override { return false; }
  void SetFocus() override {}
  void SetVisible(bool Value) override;

 protected:
  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WMVScroll(TMessage& Message) override;
  void WMCancelMode(TMessage& Message) override;

 private:
  friend class TComboBox;
  void UpdateScrollBar();
  TComboBox* Combo_;
  int Highlight_ = -1;
  int TopIndex_ = 0;
};

// TComboBox: a one-line box with a drop-down button. csDropDown has an edit for free text (an
// inner TEdit that takes the focus in the combo box's place, as in TSpinEdit); csDropDownList only
// chooses among Items and draws the chosen item, highlighted while focused.
//
// Closed: Up / Down, Page Up / Page Down, Home / End change ItemIndex; in csDropDownList a typed
// character chooses the next item that starts with it. Alt+Down or F4, or a click on the button
// (anywhere, in csDropDownList) opens the list (DropDownCount items high, with a scroll bar when
// there are more), its highlight on ItemIndex.
// Open: Up / Down, Page Up / Page Down, Home / End move the highlight; Enter (or Alt+Up, F4) or a
// click on an item chooses it and closes; Escape, a click outside the list or the loss of focus
// close it without a change. A press on the combo box that drags into the list and releases on an
// item chooses it too. While the list is open the combo box uses Enter and Escape itself (the form
// does not click its default or cancel button).
// A choice by the user sets ItemIndex and Text and fires OnSelect and then OnChange; typing in the
// edit fires OnChange (and ItemIndex becomes the item equal to the text, case-insensitively, or
// -1). Changes by code (ItemIndex, Text, Items) fire nothing. OnDropDown and OnCloseUp fire when
// the list opens and closes.
class TComboBox : public TCustomControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;

  TComboBoxStyle GetStyle() const { return Style_; }
  // csSimple is drawn and behaves as csDropDown.
  void SetStyle(TComboBoxStyle Value);
  const std::vector<std::string>& GetItems() const { return Items_; }
  // Replaces the items; ItemIndex becomes -1 (the text of a csDropDown box stays).
  void SetItems(const std::vector<std::string>& Value);
  int AddItem(const std::string& S);
  void Clear();
  int IndexOf(const std::string& S) const;
  bool GetSorted() const { return Sorted_; }
  void SetSorted(bool Value);
  int GetItemIndex() const { return ItemIndex_; }
  // -1 or an item index; the text becomes that item (or "" for -1).
  void SetItemIndex(int Value);
  // In csDropDownList the text is always the chosen item: setting a text chooses the item equal
  // to it (case-insensitively) or, when none is, nothing (ItemIndex -1, empty text).
  void SetText(const std::string& Value) override;
  int GetDropDownCount() const { return DropDownCount_; }
  void SetDropDownCount(int Value);
  bool GetDroppedDown() const;
  void SetDroppedDown(bool Value);
  // The height of an item in the list (from the font).
  int GetItemHeight() const;
  // The drop-down button in client coordinates.
  TRect GetButtonRect() const;
  TEdit* GetEdit() const { return Edit_; }
  TComboListPopup* GetListPopup() const { return Popup_.get(); }

  bool CanFocus() const override;
  void SetFocus() override;
  bool WantsDialogKey(uint16_t Key, TShiftState Shift) const override;

  TNotifyEvent OnChange, OnSelect, OnDropDown, OnCloseUp;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char32_t& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WMSize(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void EnabledChanged() override;
  void FontChanged() override;

 private:
  friend class TComboListPopup;
  bool HandleKey(uint16_t& Key, TShiftState Shift);
  void Choose(int Index);  // a choice by the user: closes the list, sets, fires
  void CloseUp(bool Accept);
  void SetIndexQuiet(int Index);
  void PlaceEdit();
  void EditChange(TObject* Sender);
  void EditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void EditKeyPress(TObject* Sender, char32_t& Key);
  void EditExit(TObject* Sender);
  bool FocusInside() const;
  TComboBoxStyle Style_ = csDropDown;
  std::vector<std::string> Items_;
  int ItemIndex_ = -1;
  int DropDownCount_ = 8;
  bool Sorted_ = false;
  bool Updating_ = false;
  bool DragFromBox_ = false;  // the press that opened the list is still held
  TEdit* Edit_ = nullptr;     // csDropDown: the inner edit (a child component)
  std::unique_ptr<TComboListPopup> Popup_;
};

}  // namespace corvex
