// The standard dialog widgets: push button, label, check box, radio button and radio group, group
// box, panel and speed button. Headless like every control: each paints into its backing bitmap
// (or, for the graphic ones, its parent's) with our canvas in the system colours, and works from
// the keyboard and the mouse.
//
// Common rules:
//   - Fixed metrics (the check box square, bevels, margins) are given for 96 dpi and scaled with
//     the screen's (Screen().GetPixelsPerInch()).
//   - Captions mark an accelerator with "&" ("&Open" underlines the O; "&&" is a literal &).
//     Alt+letter on a form clicks or focuses the control whose caption has that letter (see
//     TControl::DialogChar); the underline is always drawn.
//   - Disabled controls draw their text in clGrayText and take no input.
//   - The focused control of a form gets Tab / Shift+Tab, Enter and Escape only when it says so
//     (TWinControl::WantsDialogKey); otherwise the form moves the focus or clicks its default or
//     cancel button (forms.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A length in pixels at 96 dpi, scaled to the screen's resolution (at least 1 for a positive one).
int ScaleToScreen(int Pixels96);
// The accelerator of a caption: the lower-case letter (or digit) after a single "&", or 0.
char32_t GetHotkey(const std::string& Caption);
// The caption without its "&" marks ("&&" becomes "&").
std::string StripHotkey(const std::string& Caption);

// TButton: a push button. Clicking it (mouse, Space or Enter while focused, Alt+its letter, or
// Enter / Escape on its form when it is the default / cancel button) fires OnClick and, when
// ModalResult is not mrNone, sets the parent form's ModalResult (which ends a ShowModal).
// Drawn raised in clBtnFace, sunken while pressed, with a dotted focus rectangle when focused and
// an extra clWindowFrame frame when it is the button Enter would click (the focused button, or the
// default one while the focus is on a control that is not a button).
class TButton : public TCustomControl {
 public:
  explicit TButton(TComponent* AOwner);
  ~TButton() override;

  // Enter on the form clicks the default button unless the focus is on another button.
  bool GetDefault() const { return Default_; }
  void SetDefault(bool Value);
  // Escape on the form clicks the cancel button.
  bool GetCancel() const { return Cancel_; }
  void SetCancel(bool Value);
  // Set on the parent form when the button is clicked (mrNone: nothing is set).
  TModalResult GetModalResult() const { return ModalResult_; }
  void SetModalResult(TModalResult Value) { ModalResult_ = Value; }
  // True while the button is drawn pushed in (mouse held over it, or Space held).
  bool GetPressed() const { return Pressed_; }
  // Whether the button draws the default frame now.
  bool IsActiveDefault() const;

  // Clicks the button as the user does: OnClick, then the form's ModalResult.
  void Click() override;

  bool DialogKey(uint16_t Key, TShiftState Shift) override;
  bool DialogChar(char32_t Key) override;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMKillFocus(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMCaptureChanged(TMessage& Message) override;

 private:
  void SetPressed(bool Value);
  bool Default_ = false, Cancel_ = false;
  TModalResult ModalResult_ = mrNone;
  bool Pressed_ = false;
  bool MouseHeld_ = false;  // the left button went down on the button and is still held
  bool SpaceHeld_ = false;
};

// TLabel: static text on its parent (a graphic control). AutoSize (on by default) makes it as
// large as its text (with WordWrap it keeps its width and takes the height of the wrapped
// lines). Alt+its letter focuses FocusControl. Transparent lets the parent show behind the text;
// otherwise it fills with Color (clBtnFace).
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  ~TLabel() override;

  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  TTextLayout GetLayout() const { return Layout_; }
  void SetLayout(TTextLayout Value);
  bool GetWordWrap() const { return WordWrap_; }
  void SetWordWrap(bool Value);
  bool GetAutoSize() const { return AutoSize_; }
  void SetAutoSize(bool Value);
  bool GetTransparent() const { return Transparent_; }
  void SetTransparent(bool Value);
  // Whether "&" marks an accelerator (true) or is shown as it is.
  bool GetShowAccelChar() const { return ShowAccelChar_; }
  void SetShowAccelChar(bool Value);
  // The window Alt+the label's letter focuses (dropped when that window is destroyed).
  TWinControl* GetFocusControl() const { return FocusControl_; }
  void SetFocusControl(TWinControl* Value);

  bool DialogChar(char32_t Key) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void Paint() override;
  void TextChanged() override;
  void FontChanged() override;
  void Resize() override;

 private:
  void AdjustBounds();
  TAlignment Alignment_ = taLeftJustify;
  TTextLayout Layout_ = tlTop;
  bool WordWrap_ = false, AutoSize_ = true, Transparent_ = false, ShowAccelChar_ = true;
  bool Adjusting_ = false;
  TWinControl* FocusControl_ = nullptr;
};

// TCheckBox: a square with a check mark and the caption beside it (right of the box by default;
// Alignment taLeftJustify puts the text left of it). A click, Space or Alt+its letter goes
// unchecked -> checked -> grayed (only with AllowGrayed) -> unchecked. OnClick fires whenever
// State changes, by the user or by code.
class TCheckBox : public TCustomControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  ~TCheckBox() override;

  bool GetChecked() const { return State_ == cbChecked; }
  // Checked true is cbChecked, false cbUnchecked.
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState GetState() const { return State_; }
  // cbGrayed is accepted from code even without AllowGrayed, as the toolkit does.
  void SetState(TCheckBoxState Value);
  bool GetAllowGrayed() const { return AllowGrayed_; }
  void SetAllowGrayed(bool Value) { AllowGrayed_ = Value; }
  // taRightJustify (the default): text right of the box; taLeftJustify: text left of it.
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  // The square of the box in client coordinates.
  TRect GetBoxRect() const;
  // The next state in the cycle, set as the user does.
  void Toggle();

  bool DialogChar(char32_t Key) override;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMCaptureChanged(TMessage& Message) override;

 private:
  TCheckBoxState State_ = cbUnchecked;
  bool AllowGrayed_ = false;
  TAlignment Alignment_ = taRightJustify;
  bool Pressed_ = false;
};

// TRadioButton: a round button with its caption. Checking one unchecks the other radio buttons
// of the same parent. A click, Space or Alt+its letter checks it; Up/Left and Down/Right move the
// focus to the previous / next radio button of the parent and check it. Only the checked button
// of a group is a tab stop (the first one while none is checked). OnClick fires when it becomes
// checked, by the user or by code.
class TRadioButton : public TCustomControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  ~TRadioButton() override;

  bool GetChecked() const { return Checked_; }
  void SetChecked(bool Value);
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  TRect GetBoxRect() const;

  bool DialogChar(char32_t Key) override;
  void SetParent(TWinControl* AParent) override;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMCaptureChanged(TMessage& Message) override;

 private:
  friend class TRadioGroup;
  std::vector<TRadioButton*> Siblings() const;
  void UpdateTabStops();
  bool Checked_ = false;
  bool Pressed_ = false;
  TAlignment Alignment_ = taRightJustify;
};

// TGroupBox: an etched frame with the caption in its top edge; a container for other controls
// (their coordinates are in its client, which is the whole box). Alt+its letter focuses the first
// control inside it in tab order.
class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
  ~TGroupBox() override;
  bool DialogChar(char32_t Key) override;
  // The area inside the frame, below the caption, where child controls normally go.
  TRect GetContentRect() const;

 protected:
  void Paint() override;
};

// TRadioGroup: a group box with a column layout of radio items (Items) of which at most one is
// selected (ItemIndex, -1 for none). One window and one tab stop: Up/Left and Down/Right select the
// previous / next item, a click or Alt+an item's letter selects that item. OnClick fires when
// ItemIndex changes, by the user or by code.
class TRadioGroup : public TCustomControl {
 public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;

  const std::vector<std::string>& GetItems() const { return Items_; }
  // Replaces the items; ItemIndex becomes -1 when it no longer names an item.
  void SetItems(const std::vector<std::string>& Value);
  int GetItemIndex() const { return ItemIndex_; }
  // -1 or an index of Items; other values are ignored.
  void SetItemIndex(int Value);
  // Items run down the columns, Columns of them (1..16), filling the first column first.
  int GetColumns() const { return Columns_; }
  void SetColumns(int Value);
  // The rectangle of item I (its circle and text) in client coordinates; empty when out of range.
  TRect GetItemRect(int I) const;

  bool DialogChar(char32_t Key) override;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMSetFocus(TMessage& Message) override;

 private:
  int ItemAt(int X, int Y) const;
  std::vector<std::string> Items_;
  int ItemIndex_ = -1;
  int Columns_ = 1;
  int FocusItem_ = 0;  // the item drawn with the focus rectangle when none is selected
};

// TPanel: a container drawn as its bevels (outer, then inner, each BevelWidth pixels) with the
// caption in the middle (Alignment). The children sit in the whole client area.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  ~TPanel() override;

  TBevelCut GetBevelOuter() const { return BevelOuter_; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut GetBevelInner() const { return BevelInner_; }
  void SetBevelInner(TBevelCut Value);
  int GetBevelWidth() const { return BevelWidth_; }
  // 1 or more (at 96 dpi).
  void SetBevelWidth(int Value);
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);

 protected:
  void Paint() override;

 private:
  TBevelCut BevelOuter_ = bvRaised, BevelInner_ = bvNone;
  int BevelWidth_ = 1;
  TAlignment Alignment_ = taCenter;
};

// TSpeedButton: a flat tool button without a window (a graphic control, never focused) with a
// caption and/or a glyph. With GroupIndex 0 it springs back and only clicks. With a GroupIndex it
// stays down once clicked and pushes up the other speed buttons of the same parent and group;
// clicking the one that is down raises it only with AllowAllUp. Setting Down by code does the
// same to the group but does not click. Flat draws no frame until the mouse is over the button.
// The glyph's bottom-left pixel is its transparent colour; a disabled button draws the glyph
// embossed in clBtnHighlight / clBtnShadow.
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;

  int GetGroupIndex() const { return GroupIndex_; }
  void SetGroupIndex(int Value);
  bool GetDown() const { return Down_; }
  void SetDown(bool Value);
  bool GetAllowAllUp() const { return AllowAllUp_; }
  void SetAllowAllUp(bool Value);
  bool GetFlat() const { return Flat_; }
  void SetFlat(bool Value);
  // The glyph bitmap (empty: none). Drawing on it does not repaint; call SetGlyph or Invalidate.
  TBitmap* GetGlyph() const { return Glyph_.get(); }
  void SetGlyph(const TBitmap* Value);
  TButtonLayout GetLayout() const { return Layout_; }
  void SetLayout(TButtonLayout Value);
  // Pixels between glyph and caption (at 96 dpi).
  int GetSpacing() const { return Spacing_; }
  void SetSpacing(int Value);
  // True while the mouse holds the button pushed.
  bool GetPressed() const { return Pressed_; }
  // Clicks as the user does (toggles a grouped button, then OnClick).
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WndProc(TMessage& Message) override;

 private:
  void UpdateGroup();
  int GroupIndex_ = 0;
  bool Down_ = false, AllowAllUp_ = false, Flat_ = false;
  bool Pressed_ = false, Held_ = false, Hot_ = false;
  std::unique_ptr<TBitmap> Glyph_;
  TButtonLayout Layout_ = blGlyphLeft;
  int Spacing_ = 4;
};

}  // namespace corvex
