// The common dialog widgets of the second kind: track bar, spin edit, and page control with its
// tab sheets. Headless and drawn in the system colours like the rest of the widget set
// (stdctrls.h gives the common rules: metrics scaled with the screen, "&" accelerators).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {

class TTimer;

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto };

// TTrackBar: a slider. Position runs from Min to Max (Min left / top). Keys while focused:
// Right / Down add LineSize, Left / Up take it away, Page Down / Page Up move by PageSize, Home and
// End go to Min and Max. A press on the channel beside the thumb pages toward the pointer and
// repeats while held (after 400 ms, every 100 ms of the application clock) until the thumb
// reaches the pointer; the thumb can be dragged (Position follows the pointer, rounded to the
// nearest value). Ticks are drawn every Frequency values below (horizontal) or right of
// (vertical) the channel, and at both ends. OnChange fires after every change of Position, by
// the user or by code.
class TTrackBar : public TCustomControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  ~TTrackBar() override;

  int GetMin() const { return Min_; }
  // Setting Min above Max (or Max below Min) moves the other end along; Position is kept inside.
  void SetMin(int Value);
  int GetMax() const { return Max_; }
  void SetMax(int Value);
  void SetRange(int AMin, int AMax);
  int GetPosition() const { return Position_; }
  // Clamped to Min..Max.
  void SetPosition(int Value);
  int GetFrequency() const { return Frequency_; }
  void SetFrequency(int Value);
  int GetLineSize() const { return LineSize_; }
  void SetLineSize(int Value);
  int GetPageSize() const { return PageSize_; }
  void SetPageSize(int Value);
  TTrackBarOrientation GetOrientation() const { return Orientation_; }
  // Changing the orientation swaps Width and Height, as the toolkit does.
  void SetOrientation(TTrackBarOrientation Value);
  TTickStyle GetTickStyle() const { return TickStyle_; }
  void SetTickStyle(TTickStyle Value);

  // Geometry in client coordinates: the sunken channel, the thumb at the current Position, and the
  // centre of the thumb for a value (along the channel: x when horizontal, y when vertical).
  TRect GetChannelRect() const;
  TRect GetThumbRect() const;
  int PositionToPixel(int Value) const;
  int PixelToPosition(int Pixel) const;

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WMCaptureChanged(TMessage& Message) override;
  virtual void Changed();

 private:
  void PageStep(TObject* Sender);
  void StopPaging();
  int ThumbLength() const;
  int ThumbBreadth() const;
  int Min_ = 0, Max_ = 10, Position_ = 0;
  int Frequency_ = 1, LineSize_ = 1, PageSize_ = 2;
  TTrackBarOrientation Orientation_ = trHorizontal;
  TTickStyle TickStyle_ = tsAuto;
  bool Dragging_ = false;
  int DragOffset_ = 0;     // pointer offset from the thumb centre when the drag began
  int PageTarget_ = 0;     // the value under the pointer while paging
  int PageDir_ = 0;        // -1, +1 while a channel press pages; 0 otherwise
  std::unique_ptr<TTimer> RepeatTimer_;
};

// TSpinEdit: a number box: a sunken edit with up / down buttons at its right. Value lies in
// MinValue..MaxValue (no limit while both are 0). Up and Down (and the buttons, which repeat
// while held) add or take away Increment; Page Up / Page Down ten times that. Only digits and a
// leading sign can be typed; text that is not a number ("", "-") leaves Value as it was, a number
// outside the range counts as the nearest end, and when the spin edit loses the focus its text is
// rewritten as Value. OnChange fires after every change of the text, by the user or by code
// (setting Value rewrites the text).
//
// The text box is an inner TEdit (GetEdit) that takes the focus in the spin edit's place: SetFocus,
// Tab and clicks focus it, and the spin edit's OnKeyDown / OnKeyPress / OnEnter / OnExit see its
// keys and focus changes.
class TSpinEdit : public TCustomControl {
 public:
  explicit TSpinEdit(TComponent* AOwner);
  ~TSpinEdit() override;

  int GetValue() const { return Value_; }
  // Clamped to the range; rewrites the text.
  void SetValue(int Value);
  int GetMinValue() const { return MinValue_; }
  void SetMinValue(int Value);
  int GetMaxValue() const { return MaxValue_; }
  void SetMaxValue(int Value);
  int GetIncrement() const { return Increment_; }
  void SetIncrement(int Value) { Increment_ = Value; }
  // Text (GetText) is the inner edit's text; setting it sets the edit's.
  void SetText(const std::string& Value) override;
  bool GetReadOnly() const;
  void SetReadOnly(bool Value);
  void SelectAll();
  TEdit* GetEdit() const { return Edit_; }
  // The up and down buttons in client coordinates.
  TRect GetUpButtonRect() const;
  TRect GetDownButtonRect() const;
  // Steps the value as a press on a button does (Delta in increments).
  void Step(int Delta);

  bool CanFocus() const override;
  void SetFocus() override;

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WMSize(TMessage& Message) override;
  void WMCaptureChanged(TMessage& Message) override;
  void EnabledChanged() override;
  void FontChanged() override;

 private:
  int Clamp(int V) const;
  void EditChange(TObject* Sender);
  void EditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void EditKeyPress(TObject* Sender, char32_t& Key);
  void EditEnter(TObject* Sender);
  void EditExit(TObject* Sender);
  void Repeat(TObject* Sender);
  void StopRepeat();
  int ButtonWidth() const;
  TEdit* Edit_ = nullptr;  // owned (a child component)
  int Value_ = 0, MinValue_ = 0, MaxValue_ = 0, Increment_ = 1;
  int HeldButton_ = 0;  // +1 up, -1 down while a button is held
  bool Updating_ = false;
  std::unique_ptr<TTimer> RepeatTimer_;
};

class TPageControl;

// TTabSheet: one page of a page control; the parent of the page's controls. Only the active
// page is visible. A sheet joins a page control by SetPageControl (or SetParent with the page
// control) and leaves it by SetPageControl(nullptr); its Caption is the tab's text.
class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;

  TPageControl* GetPageControl() const { return PageControl_; }
  void SetPageControl(TPageControl* Value);
  // The sheet's place among the pages (-1 outside a page control); setting it reorders the tabs.
  int GetPageIndex() const;
  void SetPageIndex(int Value);
  // A sheet with TabVisible false has no tab and is never shown (it stays among the pages).
  bool GetTabVisible() const { return TabVisible_; }
  void SetTabVisible(bool Value);

  void SetParent(TWinControl* AParent) override;

 protected:
  void TextChanged() override;

 private:
  friend class TPageControl;
  TPageControl* PageControl_ = nullptr;
  bool TabVisible_ = true;
};

using TTabChangingEvent = TEvent<void(TObject* Sender, bool& AllowChange)>;

// TPageControl: a row of tabs across the top over the active sheet. A click on a tab, Left /
// Right while the page control has the focus, and Ctrl+Tab / Ctrl+Shift+Tab while the focus is
// anywhere inside it move to another page: OnChanging may refuse it, OnChange follows it. Setting
// ActivePage or ActivePageIndex by code fires neither, as the toolkit does. When the page that
// held the focus is hidden the focus moves to the page control.
class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  int GetPageCount() const { return static_cast<int>(Pages_.size()); }
  TTabSheet* GetPage(int Index) const;
  TTabSheet* GetActivePage() const { return Active_; }
  // nullptr or one of the pages.
  void SetActivePage(TTabSheet* Value);
  int GetActivePageIndex() const;
  // -1 or an index of the pages.
  void SetActivePageIndex(int Value);
  // The next (or previous) page with a visible tab after CurrentPage, wrapping around; nullptr
  // when none.
  TTabSheet* FindNextPage(TTabSheet* CurrentPage, bool GoForward) const;
  // Moves to the next or previous page as Ctrl+Tab does (asking OnChanging).
  void SelectNextPage(bool GoForward);

  // The tab of page Index in client coordinates (empty for a hidden tab or a bad index), the
  // page index at a client point (-1 for none), and the rectangle the sheets fill.
  TRect GetTabRect(int Index) const;
  int IndexOfTabAt(int X, int Y) const;
  TRect GetDisplayRect() const;

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

  bool DialogKey(uint16_t Key, TShiftState Shift) override;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMSize(TMessage& Message) override;
  void FontChanged() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void MovePage(TTabSheet* Page, int Index);
  void PlaceSheets();
  void ShowActive(TTabSheet* Page);
  // Changes page as the user does; false when OnChanging refused.
  bool ChangeActivePage(TTabSheet* Page);
  int TabHeight() const;
  std::vector<TTabSheet*> Pages_;
  TTabSheet* Active_ = nullptr;
};

}  // namespace corvex
