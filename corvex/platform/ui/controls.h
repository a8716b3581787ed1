// Controls: the toolkit's visual components, headless.
//
//   TControl         bounds, parent, visibility, enabled state, cursor, mouse and key events,
//                    messages (Perform, WndProc), invalidation
//   TGraphicControl  a control without a window: it paints on its parent's surface (TImage)
//   TWinControl      a window: a handle from the handle table, children, focus, a border, the
//                    window's own scroll bars, and a client-sized 24-bit backing bitmap that all
//                    painting goes into
//   TCustomControl   a window with a canvas onto its backing bitmap and a virtual Paint
//
// Painting: Invalidate marks a rectangle of the client (the whole client by default); the paint
// is not done then but once per control when the message queue has nothing else to do (see
// TApplication), as the toolkit coalesces paints. WM_PAINT erases the background (WM_ERASEBKGND,
// fill with Color unless a handler answers non-zero) and calls Paint with the canvas clipped to
// the invalid rectangle; the graphic children paint after it. Update paints at once what is
// invalid; Repaint invalidates everything and updates.
//
// Geometry: Left, Top, Width and Height are the outer bounds in the parent's client coordinates
// (a control without a parent: screen coordinates). The client area of a window lies inside its
// border (1 pixel for a single border, 2 for the sunken 3-D edge) and beside its visible scroll
// bars (each ScrollBarThickness() pixels).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/component.h"
#include "corvex/platform/events.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/types.h"
#include "corvex/platform/ui/cursors.h"
#include "corvex/platform/ui/messages.h"

namespace corvex {

class TBitmap;
class TCanvas;
class TPicture;
class TWinControl;
class TForm;

// Event types of the controls.
using TMouseEvent = TEvent<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = TEvent<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = TEvent<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = TEvent<void(TObject* Sender, char32_t& Key)>;
using TMouseWheelEvent =
    TEvent<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TBorderStyle { bsNone, bsSingle };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TControlStyleItem {
  csAcceptsControls, csCaptureMouse, csClickEvents, csFramed, csOpaque, csDoubleClicks, csNoStdEvents
};
using TControlStyle = TSet<TControlStyleItem>;

// The thickness of a window's scroll bar: 16 pixels at 96 dpi, scaled with the screen's dpi.
int ScrollBarThickness();

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // --- Tree and geometry
  TWinControl* GetParent() const { return Parent_; }
  virtual void SetParent(TWinControl* AParent);
  int GetLeft() const { return Left_; }
  int GetTop() const { return Top_; }
  int GetWidth() const { return Width_; }
  int GetHeight() const { return Height_; }
  void SetLeft(int v) { SetBounds(v, Top_, Width_, Height_); }
  void SetTop(int v) { SetBounds(Left_, v, Width_, Height_); }
  void SetWidth(int v) { SetBounds(Left_, Top_, v, Height_); }
  void SetHeight(int v) { SetBounds(Left_, Top_, Width_, v); }
  TRect GetBoundsRect() const { return Bounds(Left_, Top_, Width_, Height_); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  // Moves and sizes the control (negative sizes count as 0); a window gets WM_SIZE and WM_MOVE.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TAlign GetAlign() const { return Align_; }
  void SetAlign(TAlign Value);

  // The client area in client coordinates (its top-left is 0, 0).
  virtual TRect GetClientRect() const;
  int GetClientWidth() const { return GetClientRect().Width(); }
  int GetClientHeight() const { return GetClientRect().Height(); }
  void SetClientWidth(int Value);
  void SetClientHeight(int Value);
  // The screen position of the client's top-left corner.
  virtual TPoint GetClientOrigin() const;
  TPoint ClientToScreen(TPoint P) const;
  TPoint ScreenToClient(TPoint P) const;
  // The client position within the parent's client area (its left, top for a graphic control).
  virtual TPoint ClientOffsetInParent() const { return {Left_, Top_}; }

  // --- State
  bool GetVisible() const { return Visible_; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent visible (a top-level window must also be shown).
  bool IsShowing() const;
  bool GetEnabled() const { return Enabled_; }
  virtual void SetEnabled(bool Value);
  TCursor GetCursor() const { return Cursor_; }
  virtual void SetCursor(TCursor Value);
  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);
  TFont* GetFont() { return &Font_; }
  void SetFont(const TFont* Value) { Font_.Assign(Value); }
  const std::string& GetCaption() const { return Text_; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& GetText() const { return Text_; }
  virtual void SetText(const std::string& Value);
  const std::string& GetHint() const { return Hint_; }
  void SetHint(const std::string& Value) { Hint_ = Value; }
  bool GetShowHint() const { return ShowHint_; }
  void SetShowHint(bool Value) { ShowHint_ = Value; }
  TControlStyle GetControlStyle() const { return ControlStyle_; }
  void SetControlStyle(TControlStyle Value) { ControlStyle_ = Value; }
  // True while this control holds the mouse capture.
  bool GetMouseCapture() const;
  void SetMouseCapture(bool Value);

  // --- Messages
  // Sends a message to the control at once and returns its result.
  LRESULT Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // Every message passes here; the default dispatches to the handlers below.
  virtual void WndProc(TMessage& Message);
  // What a control does with a message none of its handlers took.
  virtual void DefaultHandler(TMessage& Message);

  // --- Painting
  // Marks the control's whole area (or a rectangle of its client) for the next paint.
  virtual void Invalidate();
  virtual void InvalidateRect(const TRect& R);
  // Paints at once what is invalid.
  virtual void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // --- Events
  TNotifyEvent OnClick, OnDblClick, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnMouseEnter, OnMouseLeave;

  // The form this control is on (its top-most parent when that is a form), or nullptr.
  TForm* GetParentForm() const;
  // The window the control draws in: itself for a window, else its parent.
  virtual TWinControl* GetWindow() const { return Parent_; }

  // Entry points for the message dispatch: mouse messages of a graphic child reach it through
  // its window, which calls these.
  void DispatchMouse(TMessage& Message);

  // --- Dialog keys. A form offers Tab, Enter and Escape (with their modifiers) that its focused
  // control does not want itself (TWinControl::WantsDialogKey) to its visible, enabled controls,
  // the focused one first and then the rest in tree order; a control that acts on the key returns
  // true and the key goes no further (a default button clicks itself on Enter). Alt+a letter or
  // digit is offered the same way to DialogChar (the lower-case character): a control whose
  // caption has that accelerator acts (clicks, or focuses) and returns true.
  virtual bool DialogKey(uint16_t /*Key*/, TShiftState /*Shift*/) { return false; }
  virtual bool DialogChar(char32_t /*Key*/) { return false; }

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  // Returns true when the wheel was handled.
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual void Resize();
  virtual void VisibleChanging() {}
  virtual void EnabledChanged();
  virtual void TextChanged() { Invalidate(); }
  virtual void FontChanged() { Invalidate(); }
  virtual void ColorChanged() { Invalidate(); }
  // The paint of a graphic control (TWinControl overrides the whole paint path).
  virtual void PaintGraphic(TCanvas* /*Canvas*/) {}

  TControlStyle ControlStyle_ = {csCaptureMouse, csClickEvents, csDoubleClicks};
  int Left_ = 0, Top_ = 0, Width_ = 0, Height_ = 0;

 private:
  friend class TWinControl;
  friend class TApplication;
  friend class TForm;
  void FontChange(TObject*) { FontChanged(); }

  TWinControl* Parent_ = nullptr;
  TAlign Align_ = alNone;
  bool Visible_ = true;
  bool Enabled_ = true;
  bool Clicked_ = false;  // a left press that may become a click
  TCursor Cursor_ = crDefault;
  TColor Color_ = clBtnFace;
  TFont Font_;
  std::string Text_;
  std::string Hint_;
  bool ShowHint_ = false;
};

class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
  // The canvas of the parent's backing bitmap, clipped and offset to this control during a paint;
  // nullptr outside a paint.
  TCanvas* GetCanvas() const { return PaintCanvas_; }

 protected:
  virtual void Paint() {}
  void PaintGraphic(TCanvas* Canvas) override;

 private:
  TCanvas* PaintCanvas_ = nullptr;
};

// The state of one of a window's own scroll bars.
struct TScrollBarState {
  int Min = 0, Max = 100, Page = 0, Pos = 0, TrackPos = 0;
  bool Visible = false;
  bool Enabled = true;  // both arrows enabled
};

// SetScrollInfo masks.
constexpr unsigned SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8,
                   SIF_TRACKPOS = 0x10, SIF_ALL = 0x17;
// A window whose client a host draws straight from the window's backing bitmap instead of from
// the composed surface: its client (the backing's whole size) goes at At, in the coordinates the
// top-level window was drawn at.
struct TWindowPiece {
  const TWinControl* Window;
  TPoint At;
};

struct TScrollInfo {
  unsigned fMask = 0;
  int nMin = 0, nMax = 0;
  unsigned nPage = 0;
  int nPos = 0, nTrackPos = 0;
};
// EnableScrollBar arrows.
constexpr unsigned ESB_ENABLE_BOTH = 0, ESB_DISABLE_BOTH = 3;

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  HWND GetHandle() const { return Handle_; }
  bool HandleAllocated() const { return Handle_ != 0; }
  // Re-creates the window (after a change of its border): the client is recomputed, WM_SIZE sent
  // and everything invalidated.
  void RecreateWnd();

  // --- Children
  int GetControlCount() const { return static_cast<int>(Controls_.size()); }
  TControl* GetControl(int Index) const { return Controls_[size_t(Index)]; }
  // The top-most visible child (window or graphic control) at a client point, or nullptr.
  TControl* ControlAtPos(TPoint P, bool AllowDisabled = false) const;
  // Lays out the children that have an alignment.
  void Realign();

  // --- Border
  TBorderStyle GetBorderStyle() const { return BorderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  bool GetCtl3D() const { return Ctl3D_; }
  void SetCtl3D(bool Value);
  // The width of the border on each side: 0 without, 2 for the 3-D edge, 1 for a plain one.
  int BorderWidth() const;
  TRect GetClientRect() const override;
  TPoint GetClientOrigin() const override;
  TPoint ClientOffsetInParent() const override;

  // --- Focus
  bool Focused() const;
  virtual bool CanFocus() const;
  virtual void SetFocus();
  bool GetTabStop() const { return TabStop_; }
  void SetTabStop(bool Value) { TabStop_ = Value; }
  int GetTabOrder() const { return TabOrder_; }
  void SetTabOrder(int Value) { TabOrder_ = Value; }
  // Whether the control uses a dialog key (Tab, Enter, Escape) itself while focused, so that its
  // form does not move the focus or click a button with it (a combo box with its list open does).
  virtual bool WantsDialogKey(uint16_t /*Key*/, TShiftState /*Shift*/) const { return false; }
  // The windows inside this one that Tab visits, in order: visible, enabled windows with TabStop,
  // by TabOrder (a negative TabOrder after the others) and then creation order; the windows inside
  // a container come at its place (after it, when it is a tab stop itself).
  std::vector<TWinControl*> GetTabOrderList() const;
  // The tab stop after (or before) CurControl in the tab order inside this window, wrapping
  // around; CurControl may lie inside a tab stop (the inner edit of a spin edit). nullptr when
  // there is none.
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward) const;
  // Focuses the next (or previous) tab stop after CurControl.
  void SelectNext(TWinControl* CurControl, bool GoForward);

  // --- The window's own scroll bars (Bar = SB_HORZ or SB_VERT). Showing or hiding one takes its
  // room from the client area and sends WM_SIZE at once.
  int SetScrollInfo(int Bar, const TScrollInfo& Info, bool Redraw);
  bool GetScrollInfo(int Bar, TScrollInfo& Info) const;
  int SetScrollPos(int Bar, int Pos, bool Redraw);
  int GetScrollPos(int Bar) const;
  void SetScrollRange(int Bar, int Min, int Max, bool Redraw);
  void ShowScrollBar(int Bar, bool Show);
  void EnableScrollBar(int Bar, unsigned Arrows);
  const TScrollBarState& ScrollBarState(int Bar) const { return Bars_[Bar == SB_VERT ? 1 : 0]; }

  // --- Painting
  // The client-sized 24-bit backing bitmap all painting goes into.
  TBitmap* GetBackingBitmap() const { return Backing_.get(); }
  void Invalidate() override;
  void InvalidateRect(const TRect& R) override;
  void Update() override;
  // The part of the client waiting for a paint (empty when none).
  TRect GetUpdateRect() const { return UpdateRect_; }
  // Draws the window whole (border, scroll bars, client backing and the windows inside it)
  // into Target at (X, Y). Does not paint: what is drawn is the backing bitmaps as they are.
  void DrawWindow(TBitmap* Target, int X, int Y) const { DrawWindow(Target, X, Y, nullptr); }
  // The same, except that the client of a window inside this one that is drawn last where it
  // lies (no window comes after it there, it has no windows inside it, its backing fills its
  // client, and it is not cut by a parent) is left out of Target and added to Pieces, in the
  // order drawn; its border and scroll bars are drawn. Target and the pieces make the window
  // whole: a host draws both and saves copying the largest windows into Target.
  void DrawWindow(TBitmap* Target, int X, int Y, std::vector<TWindowPiece>* Pieces) const;

  // --- Events
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter, OnExit;

  TWinControl* GetWindow() const override { return const_cast<TWinControl*>(this); }
  // The top-level window this one lies in (itself when it has no parent).
  TWinControl* TopLevel() const;
  // Whether showing this window as a top-level one activates it (a hint window does not).
  virtual bool ShowsActivated() const { return true; }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool Value) override;
  void WndProc(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

 protected:
  // Message handlers; each default does what the toolkit does.
  virtual void WMSize(TMessage& Message);
  virtual void WMMove(TMessage&) {}
  virtual void WMEraseBkgnd(TMessage& Message);
  virtual void WMPaint(TMessage& Message);
  virtual void WMHScroll(TMessage&) {}
  virtual void WMVScroll(TMessage&) {}
  virtual void WMMouseWheel(TMessage& Message);
  virtual void WMSetFocus(TMessage& Message);
  virtual void WMKillFocus(TMessage& Message);
  virtual void WMKeyDown(TMessage& Message);
  virtual void WMKeyUp(TMessage& Message);
  virtual void WMChar(TMessage& Message);
  virtual void WMTimer(TMessage&) {}
  virtual void WMCancelMode(TMessage&) {}
  virtual void WMCaptureChanged(TMessage&) {}
  virtual void WMPaletteChanged(TMessage&) {}
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char32_t& Key);
  virtual void DoEnter();
  virtual void DoExit();
  // The window's own painting into the backing bitmap, inside WM_PAINT; Canvas is clipped to the
  // invalid rectangle. TCustomControl calls Paint from here.
  virtual void PaintWindow(TCanvas* Canvas);
  // Recomputes the client area after a change of size, border or scroll bars: the backing
  // bitmap follows, the window is invalidated and (SendSize) gets WM_SIZE.
  void UpdateClient(bool SendSize);

 private:
  friend class TControl;
  friend class TApplication;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  void ResizeBacking();
  void PaintHandler();
  void ScrollBarsChanged();
  void DrawNonClient(TBitmap* Target, int X, int Y) const;

  HWND Handle_ = 0;
  std::vector<TControl*> Controls_;  // bottom first
  TBorderStyle BorderStyle_ = bsNone;
  bool Ctl3D_ = true;
  bool TabStop_ = false;
  int TabOrder_ = -1;
  TScrollBarState Bars_[2];
  std::unique_ptr<TBitmap> Backing_;
  TRect UpdateRect_;
  int LastClientW_ = -1, LastClientH_ = -1;
  bool InPaint_ = false;
};

class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}
  // The canvas of the backing bitmap; during Paint it is clipped to the invalid rectangle.
  TCanvas* GetCanvas() const;

 protected:
  virtual void Paint() {}
  void PaintWindow(TCanvas* Canvas) override;
};

// TImage: a graphic control that shows a bitmap (Picture.Bitmap) at its top-left corner, or
// stretched to its size.
// The picture of a TImage: the bitmap it shows (Picture.Bitmap).
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  // The bitmap, empty and 24-bit at first; drawing on it or changing it fires OnChange.
  TBitmap* GetBitmap() const { return Bitmap_.get(); }
  void SetBitmap(const TBitmap* Value);
  int GetWidth() const;
  int GetHeight() const;
  void Assign(const TPersistent* Source) override;
  TNotifyEvent OnChange;

 private:
  void BitmapChanged(TObject* Sender);
  std::unique_ptr<TBitmap> Bitmap_;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  TPicture* GetPicture() { return &Picture_; }
  // Picture.Bitmap.
  TBitmap* GetBitmap() { return Picture_.GetBitmap(); }
  // The picture bitmap's canvas.
  TCanvas* GetPictureCanvas();
  bool GetStretch() const { return Stretch_; }
  void SetStretch(bool Value);
  bool GetCenter() const { return Center_; }
  void SetCenter(bool Value);
  // Call after writing the bitmap's pixels directly (its canvas reports changes itself).
  void PictureChanged(TObject* Sender = nullptr);
  TNotifyEvent OnChange;

 protected:
  void Paint() override;

 private:
  TPicture Picture_;
  bool Stretch_ = false, Center_ = false;
};

// The windowed control with this handle, or nullptr (also for a stale handle).
TWinControl* FindControl(HWND Handle);

// Free-function forms of the window calls, by handle (no effect on an unknown handle).
LRESULT SendMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam);
bool PostMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam);
bool InvalidateRect(HWND Handle, const TRect* R);
bool UpdateWindow(HWND Handle);
int SetScrollInfo(HWND Handle, int Bar, const TScrollInfo& Info, bool Redraw);
bool GetScrollInfo(HWND Handle, int Bar, TScrollInfo& Info);
bool ShowScrollBar(HWND Handle, int Bar, bool Show);
bool EnableScrollBar(HWND Handle, int Bar, unsigned Arrows);
bool GetClientRect(HWND Handle, TRect& R);
HWND SetCapture(HWND Handle);
HWND GetCapture();
bool ReleaseCapture();
HWND SetFocus(HWND Handle);
HWND GetFocus();
bool GetCursorPos(TPoint& P);
bool SetCursorPos(int X, int Y);
bool ScreenToClient(HWND Handle, TPoint& P);
bool ClientToScreen(HWND Handle, TPoint& P);
// Timers of a window: WM_TIMER with WParam = Id every Elapse milliseconds, until KillTimer.
uintptr_t SetTimer(HWND Handle, uintptr_t Id, unsigned Elapse);
bool KillTimer(HWND Handle, uintptr_t Id);

}  // namespace corvex
