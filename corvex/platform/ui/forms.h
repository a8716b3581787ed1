// Forms, the application object, the screen and timers.
//
// TApplication keeps the message queue of the process: PostMessage appends, SendMessage calls the
// window at once, ProcessMessages handles everything posted and then the paints (one per window
// with an invalid area, parents before children), HandleMessage handles one posted message or
// the paints. ShowModal runs a nested loop of the same until the form's ModalResult is set.
//
// Time: timers and double-click times run on Application's clock. Without a host the clock is
// virtual: it stands still until a test advances it (AdvanceClock), which fires every due timer
// tick in time order (ties in the order the timers were created) with messages and paints
// handled between ticks. With a host the clock is the host's real time.
//
// Input: the harness or the host feeds input through MouseInput, WheelInput and KeyInput, in
// screen coordinates. The mouse goes to the capturing window, else to the control under the
// pointer; a press captures the mouse until the last button is released (moves while captured may
// lie outside the client), may focus the window pressed and becomes a double click when it is the
// second press of the same button within the double-click time and a 4-pixel square. Keys and the
// wheel go to the focused window.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"
#include "corvex/platform/ui/host.h"

namespace corvex {

class TTimer;

// Modal results.
using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                       mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10, mrClose = 11;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = TEvent<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = TEvent<void(TObject* Sender, bool& CanClose)>;
enum TFormBorderStyle { bsNoneForm, bsSingleForm, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };

// A top-level window. Its frame and title bar belong to the host; Width and Height are its client
// size, Left and Top its screen position.
class TForm : public TCustomControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Shows the form and runs a nested message loop until ModalResult is set (by a button, by
  // Close, or by code). Without a host, a loop that has nothing left to do (no message, no paint,
  // an idle hook that did nothing) ends with mrCancel instead of waiting forever.
  virtual TModalResult ShowModal();
  TModalResult GetModalResult() const { return ModalResult_; }
  void SetModalResult(TModalResult Value);
  bool IsModal() const { return Modal_; }
  // Asks OnCloseQuery, then OnClose; a modal form ends with mrCancel, others hide (or free
  // themselves with caFree, at the next message loop).
  void Close();
  void Release();
  TFormBorderStyle GetFormBorderStyle() const { return FormBorderStyle_; }
  void SetFormBorderStyle(TFormBorderStyle Value) { FormBorderStyle_ = Value; }
  // Where the form goes when it is first shown: its own bounds (poDesigned, poDefault), centred
  // on the screen, or centred on the main form (poMainFormCenter, poOwnerFormCenter).
  TPosition GetPosition() const { return Position_; }
  void SetPosition(TPosition Value) { Position_ = Value; }
  // The control that gets the focus when the form is shown.
  TWinControl* GetActiveControl() const { return ActiveControl_; }
  void SetActiveControl(TWinControl* Value);

  TNotifyEvent OnCreate, OnShow, OnHide, OnActivate, OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void SetVisible(bool Value) override;
  void SetText(const std::string& Value) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void Paint() override;

 private:
  friend class TApplication;
  TModalResult ModalResult_ = mrNone;
  bool Modal_ = false;
  TFormBorderStyle FormBorderStyle_ = bsSizeable;
  TPosition Position_ = poDesigned;
  bool Placed_ = false;  // placed by Position when first shown
  TWinControl* ActiveControl_ = nullptr;
};

// A repeating timer: OnTimer every Interval milliseconds while Enabled (and Interval > 0).
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool GetEnabled() const { return Enabled_; }
  void SetEnabled(bool Value);
  unsigned GetInterval() const { return Interval_; }
  void SetInterval(unsigned Value);
  TNotifyEvent OnTimer;

 private:
  friend class TApplication;
  void Restart();
  uint64_t Order_ = 0;  // creation order: ties between due ticks go to the older timer
  bool Enabled_ = true;
  unsigned Interval_ = 1000;
  uint64_t Id_ = 0;  // the scheduler entry, 0 when not scheduled
};

// The screen: cursors (Cursors[id] and the application-wide Cursor), forms, size and dpi.
class TScreen : public TComponent {
 public:
  TScreen();
  // The cursor table: Screen.Cursors[id].
  HCURSOR GetCursors(TCursor Id) const { return CursorTable().Get(Id); }
  void SetCursors(TCursor Id, HCURSOR Handle) { CursorTable().Set(Id, Handle); }
  // The application-wide cursor; crDefault lets each control's own cursor show.
  TCursor GetCursor() const { return Cursor_; }
  void SetCursor(TCursor Value);
  int GetWidth() const { return Width_; }
  int GetHeight() const { return Height_; }
  void SetSize(int AWidth, int AHeight);
  int GetPixelsPerInch() const;
  int GetFormCount() const { return static_cast<int>(Forms_.size()); }
  TForm* GetForm(int Index) const { return Forms_[size_t(Index)]; }
  TForm* GetActiveForm() const { return ActiveForm_; }

 private:
  friend class TForm;
  friend class TApplication;
  TCursor Cursor_ = crDefault;
  int Width_ = 1920, Height_ = 1080;
  std::vector<TForm*> Forms_;
  TForm* ActiveForm_ = nullptr;
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // --- The host (nullptr: headless)
  void SetHost(THost* Host);
  THost* GetHost() const { return Host_; }

  // --- Messages
  bool PostMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam);
  LRESULT SendMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // Handles every posted message (and those posted meanwhile), then the paints.
  void ProcessMessages();
  // Handles one posted message, or the paints when none is waiting; false when there was
  // nothing to do.
  bool HandleMessage();
  int PendingMessages() const { return static_cast<int>(Queue_.size()); }
  // Called by a nested loop when there is nothing else to do; returns true when it did something
  // (tests use it to inject input while a modal form runs).
  std::function<bool()> OnIdle;
  // True once Form's modal loop should end.
  bool ModalDone(TWinControl* Form) const;

  // --- Time
  int64_t Now() const;
  // Without a host: advances the virtual clock by Ms milliseconds, firing due timer ticks in
  // order and handling messages and paints between them.
  void AdvanceClock(int64_t Ms);
  // Fires every timer tick due by Now(); a host calls this when the time it was given comes.
  void RunTimers();
  unsigned GetDoubleClickTime() const { return DoubleClickTime_; }
  void SetDoubleClickTime(unsigned Ms) { DoubleClickTime_ = Ms; }

  // --- Input, in screen coordinates
  enum TMouseAction { maMove, maDown, maUp };
  void MouseInput(TMouseAction Action, TMouseButton Button, TPoint ScreenPos, TShiftState Keys = {});
  // Delta in 1/120 notches (positive away from the user).
  void WheelInput(int Delta, TPoint ScreenPos, TShiftState Keys = {});
  // A key press (and release when Release is set); Char, when not 0, follows as WM_CHAR.
  void KeyInput(uint16_t Key, bool Release, char32_t Char = 0);
  // A character without a key (the further characters of an input method's text).
  void CharInput(char32_t Char);
  // The modifier keys as the input events left them.
  TShiftState GetShiftState() const;
  void SetModifiers(TShiftState Modifiers) { Modifiers_ = Modifiers; }
  TPoint GetCursorPos() const { return CursorPos_; }
  void SetCursorPos(TPoint P);
  // The top-level window at a screen point (the top-most that the mouse does not pass through),
  // or nullptr.
  TWinControl* WindowAt(TPoint ScreenPos) const;
  // Puts a shown top-level window above the others (a host calls it when the user activates one).
  void BringToFront(TWinControl* TopLevel);
  // A popup (the list of a combo box) that closes when the mouse is pressed outside it: that
  // press is sent to the popup as WM_CANCELMODE and goes no further. Dropped when the popup is
  // hidden or destroyed; nullptr for none.
  void SetPopup(TWinControl* Popup) { Popup_ = Popup; }
  TWinControl* GetPopup() const { return Popup_; }

  // --- Capture and focus
  TControl* GetCaptureControl() const { return Capture_; }
  void SetCaptureControl(TControl* Control);
  TWinControl* GetFocusedControl() const { return Focus_; }
  void SetFocusedControl(TWinControl* Control);
  // The cursor shown at the pointer (the application-wide one, or the control's under it).
  HCURSOR CurrentCursor() const;

  // --- Top-level windows (shown forms, hint windows, embedded controls)
  int GetTopLevelCount() const { return static_cast<int>(TopLevels_.size()); }
  TWinControl* GetTopLevel(int Index) const { return TopLevels_[size_t(Index)]; }
  // The whole window image of a top-level window (client, children, borders, scroll bars), kept
  // up to date as windows paint. Valid until the window is resized or destroyed.
  TBitmap* WindowSurface(TWinControl* TopLevel);
  // The same surface without the clients of the windows a host draws straight from their own
  // backings (see TWinControl::DrawWindow): those are in Pieces, to be drawn over it in order.
  // Nothing is copied for them; what the pieces cover in the surface is stale.
  TBitmap* WindowSurface(TWinControl* TopLevel, std::vector<TWindowPiece>& Pieces);
  // Registers a parentless window that a host shows inside a widget of its own.
  void AddEmbedded(TWinControl* Window);
  void RemoveEmbedded(TWinControl* Window);

  TForm* GetMainForm() const { return MainForm_; }
  void CreateForm(TForm* Form);
  void Terminate() { Terminated_ = true; }
  bool GetTerminated() const { return Terminated_; }

  // Internal: scheduler of timers and window timers.
  uint64_t AddTimer(unsigned Interval, TTimer* Timer, HWND Window, uintptr_t WindowTimerId);
  void RemoveTimer(uint64_t Id);
  bool KillWindowTimerEntry(HWND Window, uintptr_t Id);
  // Internal: window bookkeeping.
  void ReleaseForm(TForm* Form);
  void WindowInvalidated(TWinControl* Window);
  void WindowPainted(TWinControl* Window, const TRect& ClientRect);
  // SizeOrLook false: the window only moved (nothing of its surface changes).
  void WindowGeometryChanged(TWinControl* Window, bool SizeOrLook = true);
  void WindowShown(TWinControl* TopLevel, bool Shown);
  void WindowDestroying(TWinControl* Window);
  void ControlDestroying(TControl* Control);
  void CursorChanged();
  void CaptionChanged(TWinControl* TopLevel);

 private:
  struct Posted {
    HWND Handle;
    TMessage Message;
  };
  struct TimerEntry {
    uint64_t Id;
    int64_t Due;
    unsigned Interval;
    uint64_t Order;
    TTimer* Timer;
    HWND Window;
    uintptr_t WindowTimerId;
  };
  struct Surface {
    TWinControl* Window;
    std::unique_ptr<TBitmap> Bitmap;
    TRect Dirty;  // window coordinates
    std::vector<TWindowPiece> Pieces;  // left out of Bitmap by the last composition
    bool PiecesIn = true;              // copied into Bitmap since
  };
  // A press on a window's own scroll bar, followed until the button is released.
  struct ScrollDrag {
    TWinControl* Window = nullptr;
    int Bar = SB_VERT;
    int Code = -1;        // SB_LINEUP ... SB_PAGEDOWN, or SB_THUMBTRACK while dragging the thumb
    int GrabOffset = 0;   // pointer offset into the thumb
    int Pos = 0;
  } Drag_;
  bool ScrollBarPress(TPoint ScreenPos);
  void ScrollBarDrag(TMouseAction Action, TPoint ScreenPos);
  void DispatchPosted(Posted& P);
  bool PaintPending();
  void ComposeSurfaces();
  void ScheduleHostTimers();
  int64_t NextDue() const;
  bool FireOneDue(int64_t Limit);
  TControl* MouseTarget(TPoint ScreenPos) const;
  void UpdateHover(TControl* Target);
  Surface* FindSurface(TWinControl* TopLevel);

  THost* Host_ = nullptr;
  std::deque<Posted> Queue_;
  std::vector<TWinControl*> PaintList_;  // windows with an invalid area
  std::vector<TimerEntry> Timers_;
  uint64_t NextTimerId_ = 1;
  int64_t VirtualNow_ = 0;
  unsigned DoubleClickTime_ = 500;
  TPoint CursorPos_;
  TShiftState Modifiers_;
  unsigned Buttons_ = 0;  // MK_LBUTTON | MK_RBUTTON | MK_MBUTTON held
  TControl* Capture_ = nullptr;
  TControl* Hover_ = nullptr;
  TWinControl* Focus_ = nullptr;
  HCURSOR ShownCursor_ = 0;
  struct LastPress {
    TControl* Target = nullptr;
    TMouseButton Button = mbLeft;
    TPoint At;
    int64_t Time = 0;
    bool Valid = false;
  } LastPress_;
  std::vector<TWinControl*> TopLevels_;
  std::vector<Surface> Surfaces_;
  std::vector<TWinControl*> Embedded_;
  TForm* MainForm_ = nullptr;
  TWinControl* Popup_ = nullptr;
  bool Terminated_ = false;
  int PaintDepth_ = 0;
};

// The process's application object and screen, created on first use: Application().Now(),
// Screen().SetCursor(crHourGlass).
TApplication& Application();
TScreen& Screen();

}  // namespace corvex
