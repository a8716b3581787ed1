// TForm, TTimer, TScreen and TApplication: the message queue, the paints, the clock and timers,
// input dispatch with capture, focus and double clicks, and the window surfaces a host shows.
#include "corvex/platform/ui/forms.h"

#include <algorithm>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/ui_pvt.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
  Visible_ = false;
  Width_ = 320;
  Height_ = 240;
  UpdateClient(false);
  Screen().Forms_.push_back(this);
}

TForm::~TForm() {
  auto& forms = Screen().Forms_;
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if (Screen().ActiveForm_ == this) Screen().ActiveForm_ = nullptr;
}

// Centres the form on the screen or on the main form, by its Position.
static void PlaceForm(TForm* Form) {
  int cx = 0, cy = 0, cw = Screen().GetWidth(), ch = Screen().GetHeight();
  switch (Form->GetPosition()) {
    case poScreenCenter:
      break;
    case poMainFormCenter:
    case poOwnerFormCenter:
      if (TForm* main = Application().GetMainForm(); main != nullptr && main != Form && main->GetVisible()) {
        cx = main->GetLeft();
        cy = main->GetTop();
        cw = main->GetWidth();
        ch = main->GetHeight();
      }
      break;
    default:
      return;
  }
  Form->SetBounds(cx + (cw - Form->GetWidth()) / 2, cy + (ch - Form->GetHeight()) / 2, Form->GetWidth(),
                  Form->GetHeight());
}

void TForm::SetVisible(bool Value) {
  if (GetVisible() == Value) return;
  if (Value && !Placed_ && GetParent() == nullptr) {
    Placed_ = true;
    PlaceForm(this);
  }
  TCustomControl::SetVisible(Value);
  if (GetParent() != nullptr) return;
  Application().WindowShown(this, Value);
  if (Value) {
    Screen().ActiveForm_ = this;
    OnShow(this);
    // The control to focus: the active one, else the first in tab order.
    TWinControl* focus = ActiveControl_;
    if (focus == nullptr || !focus->CanFocus()) focus = FindNextControl(nullptr, true);
    if (focus != nullptr) focus->SetFocus();  // a compound control focuses its inner edit
    else Application().SetFocusedControl(this);
  } else {
    if (Screen().ActiveForm_ == this) Screen().ActiveForm_ = nullptr;
    OnHide(this);
  }
}

void TForm::SetText(const std::string& Value) {
  if (Value == GetText()) return;
  TCustomControl::SetText(Value);
  Application().CaptionChanged(this);
}

void TForm::SetActiveControl(TWinControl* Value) {
  ActiveControl_ = Value;
  if (Value != nullptr) Value->FreeNotification(this);
  if (Value != nullptr && GetVisible() && Value->CanFocus()) Value->SetFocus();
}

void TForm::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == ActiveControl_) ActiveControl_ = nullptr;
}

void TForm::SetModalResult(TModalResult Value) {
  ModalResult_ = Value;
  if (Modal_ && Application().GetHost() != nullptr) Application().GetHost()->Wake();
}

TModalResult TForm::ShowModal() {
  if (Modal_) throw EInvalidOperation("Cannot make a visible window modal");
  TWinControl* previousFocus = Application().GetFocusedControl();
  TForm* previousActive = Screen().GetActiveForm();
  // A drag in progress elsewhere ends: its window hears WM_CANCELMODE and loses the capture.
  if (TControl* cap = Application().GetCaptureControl()) {
    if (TWinControl* w = cap->GetWindow()) w->Perform(WM_CANCELMODE, 0, 0);
    Application().SetCaptureControl(nullptr);
  }
  ModalResult_ = mrNone;
  Modal_ = true;
  Show();
  if (THost* host = Application().GetHost()) {
    host->RunModal(this);
    if (ModalResult_ == mrNone) ModalResult_ = mrCancel;
  } else {
    while (ModalResult_ == mrNone) {
      if (Application().HandleMessage()) continue;
      if (Application().OnIdle && Application().OnIdle()) continue;
      if (ModalResult_ == mrNone) ModalResult_ = mrCancel;  // nothing can end it any more
    }
  }
  const TModalResult result = ModalResult_;
  Hide();
  Modal_ = false;
  // The form that was active before (the one that opened this) is active again.
  if (previousActive != nullptr && previousActive != this && FindControl(previousActive->GetHandle()) == previousActive &&
      previousActive->GetVisible())
    Screen().ActiveForm_ = previousActive;
  if (previousFocus != nullptr && FindControl(previousFocus->GetHandle()) == previousFocus && previousFocus->CanFocus())
    Application().SetFocusedControl(previousFocus);
  return result;
}

void TForm::Close() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  if (!canClose) return;
  if (Modal_) {
    SetModalResult(mrCancel);
    return;
  }
  TCloseAction action = caHide;
  OnClose(this, action);
  if (action == caHide || action == caMinimize) Hide();
  else if (action == caFree) Release();
}

void TForm::Release() { Application().PostMessage(GetHandle(), CM_RELEASE, 0, 0); }

void TForm::Paint() { OnPaint(this); }

// ---------------------------------------------------------------------------------------------
// TTimer

namespace {
uint64_t gTimerOrder = 0;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), Order_(++gTimerOrder) { Restart(); }

TTimer::~TTimer() {
  if (Id_ != 0) Application().RemoveTimer(Id_);
}

void TTimer::SetEnabled(bool Value) {
  if (Enabled_ == Value) return;
  Enabled_ = Value;
  Restart();
}

void TTimer::SetInterval(unsigned Value) {
  if (Interval_ == Value) return;
  Interval_ = Value;
  Restart();
}

void TTimer::Restart() {
  if (Id_ != 0) Application().RemoveTimer(Id_);
  Id_ = 0;
  if (Enabled_ && Interval_ > 0 && !GetComponentState().Contains(csDesigning))
    Id_ = Application().AddTimer(Interval_, this, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// TScreen

TScreen::TScreen() : TComponent(nullptr) {}

void TScreen::SetCursor(TCursor Value) {
  if (Cursor_ == Value) return;
  Cursor_ = Value;
  Application().CursorChanged();
}

void TScreen::SetSize(int AWidth, int AHeight) {
  Width_ = std::max(AWidth, 1);
  Height_ = std::max(AHeight, 1);
}

int TScreen::GetPixelsPerInch() const { return gSystemDPIY; }

TApplication& Application() {
  static TApplication app;
  return app;
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

// ---------------------------------------------------------------------------------------------
// TApplication: messages and paints

TApplication::TApplication() : TComponent(nullptr) {}
TApplication::~TApplication() = default;

void TApplication::SetHost(THost* Host) {
  Host_ = Host;
  if (Host_ != nullptr) {
    for (TWinControl* w : TopLevels_) Host_->WindowShown(w, true);
    ScheduleHostTimers();
  }
}

bool TApplication::PostMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (FindControl(Handle) == nullptr) return false;
  Posted p{Handle, TMessage{Msg, WParam, LParam, 0}};
  Queue_.push_back(p);
  if (Host_ != nullptr) Host_->Wake();
  return true;
}

LRESULT TApplication::SendMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TWinControl* w = FindControl(Handle);
  return w == nullptr ? 0 : w->Perform(Msg, WParam, LParam);
}

void TApplication::DispatchPosted(Posted& P) {
  TWinControl* w = FindControl(P.Handle);
  if (w == nullptr) return;  // the window is gone
  if (P.Message.Msg == CM_RELEASE) {
    if (auto* form = dynamic_cast<TForm*>(w)) ReleaseForm(form);
    return;
  }
  w->WndProc(P.Message);
}

void TApplication::ReleaseForm(TForm* Form) { delete Form; }

bool TApplication::PaintPending() {
  if (PaintList_.empty()) return false;
  std::vector<TWinControl*> list;
  list.swap(PaintList_);
  // Parents before children.
  auto depth = [](const TWinControl* w) {
    int d = 0;
    for (; w->GetParent() != nullptr; w = w->GetParent()) ++d;
    return d;
  };
  std::stable_sort(list.begin(), list.end(), [&](auto* a, auto* b) { return depth(a) < depth(b); });
  std::vector<HWND> handles;
  for (TWinControl* w : list) handles.push_back(w->GetHandle());
  bool painted = false;
  for (HWND h : handles) {
    TWinControl* w = FindControl(h);
    if (w == nullptr || w->GetUpdateRect().IsEmpty()) continue;
    if (!w->IsShowing()) {
      // Hidden windows keep their invalid area for when they are shown, but leave the list.
      continue;
    }
    w->Perform(WM_PAINT, 0, 0);
    painted = true;
  }
  return painted;
}

void TApplication::ProcessMessages() {
  ++PaintDepth_;
  for (int round = 0; round < 16; ++round) {
    while (!Queue_.empty()) {
      Posted p = Queue_.front();
      Queue_.pop_front();
      DispatchPosted(p);
    }
    if (!PaintPending() && Queue_.empty()) break;
  }
  --PaintDepth_;
  ComposeSurfaces();
}

bool TApplication::HandleMessage() {
  if (!Queue_.empty()) {
    Posted p = Queue_.front();
    Queue_.pop_front();
    DispatchPosted(p);
    return true;
  }
  const bool painted = PaintPending();
  ComposeSurfaces();
  return painted;
}

bool TApplication::ModalDone(TWinControl* Form) const {
  auto* f = dynamic_cast<TForm*>(Form);
  return Terminated_ || f == nullptr || f->ModalResult_ != mrNone;
}

// ---------------------------------------------------------------------------------------------
// Time and timers

int64_t TApplication::Now() const { return Host_ != nullptr ? Host_->Now() : VirtualNow_; }

uint64_t TApplication::AddTimer(unsigned Interval, TTimer* Timer, HWND Window, uintptr_t WindowTimerId) {
  const uint64_t id = NextTimerId_++;
  Timers_.push_back({id, Now() + int64_t(Interval), Interval, Timer != nullptr ? Timer->Order_ : id, Timer, Window,
                     WindowTimerId});
  ScheduleHostTimers();
  return id;
}

void TApplication::RemoveTimer(uint64_t Id) {
  Timers_.erase(std::remove_if(Timers_.begin(), Timers_.end(), [Id](const TimerEntry& e) { return e.Id == Id; }),
                Timers_.end());
  ScheduleHostTimers();
}

bool ui_pvt::KillWindowTimer(HWND Window, uintptr_t Id) {
  TApplication& app = Application();
  return app.KillWindowTimerEntry(Window, Id);
}

bool TApplication::KillWindowTimerEntry(HWND Window, uintptr_t Id) {
  const size_t before = Timers_.size();
  Timers_.erase(std::remove_if(Timers_.begin(), Timers_.end(),
                               [&](const TimerEntry& e) { return e.Timer == nullptr && e.Window == Window && e.WindowTimerId == Id; }),
                Timers_.end());
  ScheduleHostTimers();
  return Timers_.size() != before;
}

int64_t TApplication::NextDue() const {
  int64_t due = -1;
  for (const TimerEntry& e : Timers_)
    if (due < 0 || e.Due < due) due = e.Due;
  return due;
}

// Fires the earliest tick due by Limit (ties: the older timer). The entry is rescheduled before
// the handler runs, and nothing of it is touched afterwards: the handler may stop or free it.
bool TApplication::FireOneDue(int64_t Limit) {
  const TimerEntry* best = nullptr;
  for (const TimerEntry& e : Timers_) {
    if (e.Due > Limit) continue;
    if (best == nullptr || e.Due < best->Due || (e.Due == best->Due && e.Order < best->Order)) best = &e;
  }
  if (best == nullptr) return false;
  TimerEntry& e = const_cast<TimerEntry&>(*best);
  e.Due += e.Interval;
  if (Host_ != nullptr && e.Due <= Now()) e.Due = Now() + e.Interval;  // fell behind: no bursts
  TTimer* timer = e.Timer;
  const HWND window = e.Window;
  const uintptr_t windowId = e.WindowTimerId;
  const uint64_t id = e.Id;
  if (timer != nullptr) {
    timer->OnTimer(timer);
  } else if (FindControl(window) != nullptr) {
    SendMessage(window, WM_TIMER, windowId, 0);
  } else {
    RemoveTimer(id);
  }
  return true;
}

void TApplication::AdvanceClock(int64_t Ms) {
  if (Host_ != nullptr || Ms < 0) {
    ProcessMessages();
    return;
  }
  const int64_t target = VirtualNow_ + Ms;
  ProcessMessages();
  for (;;) {
    const int64_t due = NextDue();
    if (due < 0 || due > target) break;
    VirtualNow_ = std::max(VirtualNow_, due);
    FireOneDue(VirtualNow_);
    ProcessMessages();
  }
  VirtualNow_ = target;
  ProcessMessages();
}

void TApplication::RunTimers() {
  const int64_t now = Now();
  for (int guard = 0; guard < 1000 && FireOneDue(now); ++guard) ProcessMessages();
  ScheduleHostTimers();
}

void TApplication::ScheduleHostTimers() {
  if (Host_ != nullptr) Host_->ScheduleTimers(NextDue());
}

// ---------------------------------------------------------------------------------------------
// Top-level windows and their surfaces

TWinControl* TApplication::WindowAt(TPoint ScreenPos) const {
  for (auto it = TopLevels_.rbegin(); it != TopLevels_.rend(); ++it)
    if ((*it)->GetBoundsRect().Contains(ScreenPos) &&
        (*it)->Perform(WM_NCHITTEST, 0, PointToLParam(ScreenPos.X, ScreenPos.Y)) != HTTRANSPARENT)
      return *it;
  return nullptr;
}

void TApplication::BringToFront(TWinControl* TopLevel) {
  auto it = std::find(TopLevels_.begin(), TopLevels_.end(), TopLevel);
  if (it == TopLevels_.end() || it + 1 == TopLevels_.end()) return;
  TopLevels_.erase(it);
  TopLevels_.push_back(TopLevel);
}

TApplication::Surface* TApplication::FindSurface(TWinControl* TopLevel) {
  for (Surface& s : Surfaces_)
    if (s.Window == TopLevel) return &s;
  return nullptr;
}

void TApplication::WindowShown(TWinControl* TopLevel, bool Shown) {
  auto it = std::find(TopLevels_.begin(), TopLevels_.end(), TopLevel);
  if (Shown) {
    if (it == TopLevels_.end()) TopLevels_.push_back(TopLevel);
    if (FindSurface(TopLevel) == nullptr) Surfaces_.push_back({TopLevel, std::make_unique<TBitmap>(), TRect{}, {}, true});
    WindowGeometryChanged(TopLevel);
    // Everything inside becomes visible: invalidate the whole tree.
    std::vector<TWinControl*> stack{TopLevel};
    while (!stack.empty()) {
      TWinControl* w = stack.back();
      stack.pop_back();
      w->Invalidate();
      for (int i = 0; i < w->GetControlCount(); ++i)
        if (auto* c = dynamic_cast<TWinControl*>(w->GetControl(i))) stack.push_back(c);
    }
    if (Host_ != nullptr) Host_->WindowShown(TopLevel, true);
  } else {
    if (Popup_ == TopLevel) Popup_ = nullptr;
    if (it == TopLevels_.end()) return;
    TopLevels_.erase(it);
    Surfaces_.erase(std::remove_if(Surfaces_.begin(), Surfaces_.end(), [&](const Surface& s) { return s.Window == TopLevel; }),
                    Surfaces_.end());
    if (Host_ != nullptr) Host_->WindowShown(TopLevel, false);
  }
}

void TApplication::AddEmbedded(TWinControl* Window) {
  if (Window == nullptr || Window->GetParent() != nullptr) return;
  if (std::find(Embedded_.begin(), Embedded_.end(), Window) == Embedded_.end()) Embedded_.push_back(Window);
  WindowShown(Window, true);
}

void TApplication::RemoveEmbedded(TWinControl* Window) {
  Embedded_.erase(std::remove(Embedded_.begin(), Embedded_.end(), Window), Embedded_.end());
  WindowShown(Window, false);
}

TBitmap* TApplication::WindowSurface(TWinControl* TopLevel) {
  ComposeSurfaces();
  Surface* s = FindSurface(TopLevel);
  if (s == nullptr) return nullptr;
  if (!s->PiecesIn) {
    for (const TWindowPiece& p : s->Pieces) {
      const TBitmap* b = p.Window->GetBackingBitmap();
      ui_pvt::CopyPixels(b, Rect(0, 0, b->GetWidth(), b->GetHeight()), s->Bitmap.get(), p.At.X, p.At.Y);
    }
    s->PiecesIn = true;
  }
  return s->Bitmap.get();
}

TBitmap* TApplication::WindowSurface(TWinControl* TopLevel, std::vector<TWindowPiece>& Pieces) {
  ComposeSurfaces();
  Surface* s = FindSurface(TopLevel);
  Pieces.clear();
  if (s == nullptr) return nullptr;
  if (!s->PiecesIn) Pieces = s->Pieces;
  return s->Bitmap.get();
}

void TApplication::WindowInvalidated(TWinControl* Window) {
  if (std::find(PaintList_.begin(), PaintList_.end(), Window) == PaintList_.end()) PaintList_.push_back(Window);
  if (Host_ != nullptr) Host_->Wake();
}

// Marks the part of the top-level surface that shows R of Window's client (R in client pixels).
void TApplication::WindowPainted(TWinControl* Window, const TRect& ClientRect) {
  TWinControl* top = Window->TopLevel();
  Surface* s = FindSurface(top);
  if (s == nullptr) return;
  const TPoint o = Window->GetClientOrigin();
  const TRect r = OffsetRect(ClientRect, o.X - top->GetLeft(), o.Y - top->GetTop());
  s->Dirty = s->Dirty.IsEmpty() ? r : UnionRect(s->Dirty, r);
}

void TApplication::WindowGeometryChanged(TWinControl* Window, bool SizeOrLook) {
  TWinControl* top = Window->TopLevel();
  Surface* s = FindSurface(top);
  if (s == nullptr) return;
  // A top-level window that only moved keeps its pixels; anything else is drawn again.
  if (SizeOrLook || Window != top) s->Dirty = Rect(0, 0, top->GetWidth(), top->GetHeight());
  if (Window == top && Host_ != nullptr) Host_->WindowBoundsChanged(top);
  if (Host_ != nullptr) Host_->Wake();
}

void TApplication::ComposeSurfaces() {
  if (PaintDepth_ > 0) return;
  for (Surface& s : Surfaces_) {
    if (s.Dirty.IsEmpty()) continue;
    TWinControl* w = s.Window;
    if (s.Bitmap->GetWidth() != w->GetWidth() || s.Bitmap->GetHeight() != w->GetHeight() ||
        s.Bitmap->GetPixelFormat() != pf24bit) {
      s.Bitmap->Allocate(w->GetWidth(), w->GetHeight(), pf24bit);
      s.Dirty = Rect(0, 0, w->GetWidth(), w->GetHeight());
    }
    // The largest windows stay where they are until someone asks for the whole surface.
    s.Pieces.clear();
    w->DrawWindow(s.Bitmap.get(), 0, 0, &s.Pieces);
    s.PiecesIn = s.Pieces.empty();
    const TRect dirty = IntersectRect(s.Dirty, Rect(0, 0, w->GetWidth(), w->GetHeight()));
    s.Dirty = TRect{};
    if (Host_ != nullptr && !dirty.IsEmpty()) Host_->WindowSurfaceChanged(w, dirty);
  }
}

void TApplication::CaptionChanged(TWinControl* TopLevel) {
  if (Host_ != nullptr && FindSurface(TopLevel) != nullptr) Host_->WindowCaptionChanged(TopLevel);
}

void TApplication::WindowDestroying(TWinControl* Window) {
  PaintList_.erase(std::remove(PaintList_.begin(), PaintList_.end(), Window), PaintList_.end());
  const HWND h = Window->GetHandle();
  Timers_.erase(std::remove_if(Timers_.begin(), Timers_.end(), [h](const TimerEntry& e) { return e.Timer == nullptr && e.Window == h; }),
                Timers_.end());
  if (Drag_.Window == Window) Drag_ = ScrollDrag{};
  Embedded_.erase(std::remove(Embedded_.begin(), Embedded_.end(), Window), Embedded_.end());
  for (Surface& s : Surfaces_)
    if (std::any_of(s.Pieces.begin(), s.Pieces.end(), [Window](const TWindowPiece& p) { return p.Window == Window; })) {
      // Its pixels are gone with it: the window it lay in is drawn again.
      s.Pieces.clear();
      s.PiecesIn = true;
      s.Dirty = Rect(0, 0, s.Window->GetWidth(), s.Window->GetHeight());
    }
  if (std::find(TopLevels_.begin(), TopLevels_.end(), Window) != TopLevels_.end()) {
    WindowShown(Window, false);
    if (Host_ != nullptr) Host_->WindowDestroyed(Window);
  }
  if (MainForm_ == Window) MainForm_ = nullptr;
  if (Popup_ == Window) Popup_ = nullptr;
  ControlDestroying(Window);
}

void TApplication::ControlDestroying(TControl* Control) {
  // Capture, hover and focus never point at a control that is going away, nor into it.
  auto inside = [Control](TControl* c) {
    for (; c != nullptr; c = c->GetParent())
      if (c == Control) return true;
    return false;
  };
  if (inside(Capture_)) Capture_ = nullptr;
  if (inside(Hover_)) Hover_ = nullptr;
  if (inside(Focus_)) Focus_ = nullptr;
  if (inside(LastPress_.Target)) LastPress_ = LastPress{};
}

void TApplication::CreateForm(TForm* Form) {
  if (MainForm_ == nullptr) MainForm_ = Form;
}

// ---------------------------------------------------------------------------------------------
// Capture, focus and cursors

void TApplication::SetCaptureControl(TControl* Control) {
  TControl* old = Capture_;
  if (old == Control) return;
  Capture_ = Control;
  if (old != nullptr) {
    TWinControl* w = old->GetWindow();
    auto* nw = Control != nullptr ? Control->GetWindow() : nullptr;
    if (w != nullptr) w->Perform(WM_CAPTURECHANGED, 0, LPARAM(nw != nullptr ? nw->GetHandle() : 0));
  }
  if (Host_ != nullptr) {
    if (Control != nullptr && Control->GetWindow() != nullptr) Host_->CaptureChanged(Control->GetWindow()->TopLevel(), true);
    else if (old != nullptr && old->GetWindow() != nullptr) Host_->CaptureChanged(old->GetWindow()->TopLevel(), false);
  }
  CursorChanged();
}

void TApplication::SetFocusedControl(TWinControl* Control) {
  TWinControl* old = Focus_;
  if (old == Control) return;
  Focus_ = Control;
  if (old != nullptr) old->Perform(WM_KILLFOCUS, Control != nullptr ? Control->GetHandle() : 0, 0);
  // The focus may have moved again inside the handler.
  if (Focus_ != Control) return;
  if (Control != nullptr) {
    if (TForm* f = Control->GetParentForm(); f != nullptr && f != Control) f->ActiveControl_ = Control;
    Control->Perform(WM_SETFOCUS, old != nullptr ? old->GetHandle() : 0, 0);
  }
}

HCURSOR TApplication::CurrentCursor() const {
  const TCursor app = Screen().GetCursor();
  if (app != crDefault) return CursorTable().Get(app);
  const TControl* c = Capture_ != nullptr ? Capture_ : MouseTarget(CursorPos_);
  while (c != nullptr && c->GetCursor() == crDefault) c = c->GetParent();
  return CursorTable().Get(c != nullptr ? c->GetCursor() : crDefault);
}

void TApplication::CursorChanged() {
  const HCURSOR h = CurrentCursor();
  if (h == ShownCursor_) return;
  ShownCursor_ = h;
  if (Host_ == nullptr) return;
  TControl* c = Capture_ != nullptr ? Capture_ : MouseTarget(CursorPos_);
  TWinControl* top = c != nullptr && c->GetWindow() != nullptr ? c->GetWindow()->TopLevel() : WindowAt(CursorPos_);
  if (top != nullptr) Host_->WindowCursorChanged(top, h);
}

// ---------------------------------------------------------------------------------------------
// Input

TShiftState TApplication::GetShiftState() const {
  TShiftState s = Modifiers_ * TShiftState{ssShift, ssAlt, ssCtrl};
  if (Buttons_ & MK_LBUTTON) s.Include(ssLeft);
  if (Buttons_ & MK_RBUTTON) s.Include(ssRight);
  if (Buttons_ & MK_MBUTTON) s.Include(ssMiddle);
  return s;
}

void TApplication::SetCursorPos(TPoint P) {
  CursorPos_ = P;
  CursorChanged();
}

// The control under a screen point: the deepest visible, enabled control whose client holds it
// (nullptr over a window's border or scroll bars, and outside every window).
TControl* TApplication::MouseTarget(TPoint ScreenPos) const {
  TWinControl* w = WindowAt(ScreenPos);
  if (w == nullptr) return nullptr;
  for (;;) {
    if (!w->GetEnabled()) return nullptr;
    const TPoint p = w->ScreenToClient(ScreenPos);
    if (!w->GetClientRect().Contains(p)) return nullptr;
    TControl* child = w->ControlAtPos(p, true);
    if (child == nullptr) return w;
    if (!child->GetEnabled()) return w;
    auto* cw = dynamic_cast<TWinControl*>(child);
    if (cw == nullptr) return child;
    w = cw;
  }
}

void TApplication::UpdateHover(TControl* Target) {
  if (Target == Hover_) return;
  TControl* old = Hover_;
  Hover_ = Target;
  if (old != nullptr) old->Perform(CM_MOUSELEAVE, 0, 0);
  if (Hover_ != nullptr && Hover_ == Target) Target->Perform(CM_MOUSEENTER, 0, 0);
}

void TApplication::MouseInput(TMouseAction Action, TMouseButton Button, TPoint ScreenPos, TShiftState Keys) {
  CursorPos_ = ScreenPos;
  Modifiers_ = Keys * TShiftState{ssShift, ssAlt, ssCtrl};
  const unsigned bit = Button == mbLeft ? MK_LBUTTON : Button == mbRight ? MK_RBUTTON : MK_MBUTTON;
  if (Action == maDown && Popup_ != nullptr && WindowAt(ScreenPos) != Popup_) {
    // A press outside an open popup closes it and is used up.
    TWinControl* popup = Popup_;
    Popup_ = nullptr;
    Buttons_ |= bit;
    popup->Perform(WM_CANCELMODE, 0, 0);
    ProcessMessages();
    return;
  }
  if (Drag_.Window != nullptr) {
    ScrollBarDrag(Action, ScreenPos);
    if (Action == maDown) Buttons_ |= bit;
    if (Action == maUp) Buttons_ &= ~bit;
    ProcessMessages();
    return;
  }
  if (Action == maDown && Capture_ == nullptr && Button == mbLeft && ScrollBarPress(ScreenPos)) {
    Buttons_ |= bit;
    ProcessMessages();
    return;
  }
  if (Action == maDown) Buttons_ |= bit;
  if (Action == maUp) Buttons_ &= ~bit;

  TControl* target = Capture_ != nullptr ? Capture_ : MouseTarget(ScreenPos);
  if (Capture_ == nullptr) UpdateHover(target);
  if (target == nullptr) {
    CursorChanged();
    ProcessMessages();
    return;
  }
  const TPoint p = target->ScreenToClient(ScreenPos);
  unsigned keys = Buttons_;
  if (Modifiers_.Contains(ssShift)) keys |= MK_SHIFT;
  if (Modifiers_.Contains(ssCtrl)) keys |= MK_CONTROL;
  const HWND targetWindow = target->GetWindow() != nullptr ? target->GetWindow()->GetHandle() : 0;
  uint32_t msg = WM_MOUSEMOVE;
  if (Action == maDown) {
    const bool dbl = LastPress_.Valid && LastPress_.Target == target && LastPress_.Button == Button &&
                     Now() - LastPress_.Time <= int64_t(DoubleClickTime_) && std::abs(ScreenPos.X - LastPress_.At.X) <= 2 &&
                     std::abs(ScreenPos.Y - LastPress_.At.Y) <= 2 && target->GetControlStyle().Contains(csDoubleClicks);
    static constexpr uint32_t kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static constexpr uint32_t kDbl[3] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    msg = dbl ? kDbl[Button] : kDown[Button];
    if (dbl) LastPress_ = LastPress{};
    else LastPress_ = LastPress{target, Button, ScreenPos, Now(), true};
    // A press focuses the window pressed (a form only when nothing inside it has the focus).
    if (TWinControl* w = target->GetWindow(); w != nullptr && w->CanFocus()) {
      const bool isForm = dynamic_cast<TForm*>(w) != nullptr;
      const bool focusInside = Focus_ != nullptr && Focus_->TopLevel() == w->TopLevel();
      if (!isForm || !focusInside) w->SetFocus();
    }
    if (FindControl(targetWindow) == nullptr) return;
    if (Capture_ == nullptr && target->GetControlStyle().Contains(csCaptureMouse)) SetCaptureControl(target);
  } else if (Action == maUp) {
    static constexpr uint32_t kUp[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    msg = kUp[Button];
    // The capture ends with the last button, before the control hears of the release.
    if (Buttons_ == 0 && Capture_ == target) SetCaptureControl(nullptr);
  }
  target->Perform(msg, keys, PointToLParam(p.X, p.Y));
  CursorChanged();
  ProcessMessages();
}

void TApplication::WheelInput(int Delta, TPoint ScreenPos, TShiftState Keys) {
  CursorPos_ = ScreenPos;
  Modifiers_ = Keys * TShiftState{ssShift, ssAlt, ssCtrl};
  TWinControl* target = Focus_;
  if (target == nullptr) {
    TControl* c = MouseTarget(ScreenPos);
    target = c != nullptr ? c->GetWindow() : nullptr;
  }
  if (target == nullptr) return;
  unsigned keys = Buttons_;
  if (Modifiers_.Contains(ssShift)) keys |= MK_SHIFT;
  if (Modifiers_.Contains(ssCtrl)) keys |= MK_CONTROL;
  target->Perform(WM_MOUSEWHEEL, MAKELONG(static_cast<uint16_t>(keys), static_cast<uint16_t>(static_cast<int16_t>(Delta))),
                  PointToLParam(ScreenPos.X, ScreenPos.Y));
  ProcessMessages();
}

// Offers a key to every visible, enabled control inside Parent, in tree order, until one takes it.
template <class Offer>
static bool OfferToControls(TWinControl* Parent, Offer&& offer) {
  for (int i = 0; i < Parent->GetControlCount(); ++i) {
    TControl* c = Parent->GetControl(i);
    if (!c->GetVisible() || !c->GetEnabled()) continue;
    if (offer(c)) return true;
    if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && OfferToControls(w, offer)) return true;
  }
  return false;
}

// The keys of a dialog, before the focused control hears them: Tab / Shift+Tab move the focus in
// tab order; Tab, Enter and Escape are offered to the controls (a default or cancel button, a
// page control's Ctrl+Tab) unless the focused control or one it lies in wants the key; Alt+a
// letter or digit goes to the controls' accelerators. True when the key was used up.
static bool DialogKeyInput(TWinControl* Target, uint16_t Key, TShiftState Shift) {
  TForm* form = Target->GetParentForm();
  if (form == nullptr) return false;
  const bool alt = Shift.Contains(ssAlt);
  if (Key == VK_TAB || Key == VK_RETURN || Key == VK_ESCAPE) {
    if (alt) return false;
    for (TWinControl* w = Target; w != nullptr; w = w->GetParent())
      if (w->WantsDialogKey(Key, Shift)) return false;
    if (Target != form && Target->DialogKey(Key, Shift)) return true;
    if (OfferToControls(form, [&](TControl* c) { return c != Target && c->DialogKey(Key, Shift); })) return true;
    if (Key == VK_TAB && !Shift.Contains(ssCtrl)) {
      form->SelectNext(Target == form ? nullptr : Target, !Shift.Contains(ssShift));
      return true;
    }
    return false;
  }
  if (alt && ((Key >= 'A' && Key <= 'Z') || (Key >= '0' && Key <= '9'))) {
    const char32_t ch = Key >= 'A' && Key <= 'Z' ? char32_t(Key + 32) : char32_t(Key);
    return OfferToControls(form, [&](TControl* c) { return c->DialogChar(ch); });
  }
  return false;
}

void TApplication::KeyInput(uint16_t Key, bool Release, char32_t Char) {
  auto modifier = [](uint16_t k) -> int {
    if (k == VK_SHIFT) return ssShift;
    if (k == VK_CONTROL) return ssCtrl;
    if (k == VK_MENU) return ssAlt;
    return -1;
  };
  if (const int m = modifier(Key); m >= 0) {
    if (Release) Modifiers_.Exclude(TShiftStateItem(m));
    else Modifiers_.Include(TShiftStateItem(m));
  }
  TWinControl* target = Focus_;
  if (target == nullptr) target = Screen().GetActiveForm();
  if (target == nullptr) return;
  const HWND h = target->GetHandle();
  const bool alt = Modifiers_.Contains(ssAlt);
  if (!Release && DialogKeyInput(target, Key, GetShiftState())) {
    ProcessMessages();
    return;
  }
  if (!Release) {
    const LRESULT handled = target->Perform(alt ? WM_SYSKEYDOWN : WM_KEYDOWN, Key, 1);
    if (Char != 0 && handled == 0 && FindControl(h) != nullptr) target->Perform(WM_CHAR, Char, 1);
  } else {
    target->Perform(alt ? WM_SYSKEYUP : WM_KEYUP, Key, LPARAM(0xC0000001));
  }
  ProcessMessages();
}

void TApplication::CharInput(char32_t Char) {
  TWinControl* target = Focus_ != nullptr ? Focus_ : Screen().GetActiveForm();
  if (target == nullptr || Char == 0) return;
  target->Perform(WM_CHAR, Char, 1);
  ProcessMessages();
}

// --- The window's own scroll bars under the mouse: arrows and page areas scroll a step per press,
// the thumb is dragged with tracking messages and a final position.

bool TApplication::ScrollBarPress(TPoint ScreenPos) {
  TWinControl* w = WindowAt(ScreenPos);
  // Descend to the deepest window whose outer bounds hold the point.
  while (w != nullptr) {
    const TPoint p = w->ScreenToClient(ScreenPos);
    TControl* child = w->GetClientRect().Contains(p) ? w->ControlAtPos(p) : nullptr;
    auto* cw = dynamic_cast<TWinControl*>(child);
    if (cw == nullptr) break;
    w = cw;
  }
  if (w == nullptr || !w->GetEnabled()) return false;
  const TPoint c = w->ScreenToClient(ScreenPos);
  const int b = w->BorderWidth();
  const TPoint p{c.X + b, c.Y + b};  // window coordinates
  for (int bar : {SB_VERT, SB_HORZ}) {
    ui_pvt::ScrollBarParts parts;
    if (!ui_pvt::GetScrollBarParts(*w, bar, parts) || !parts.Bar.Contains(p)) continue;
    if (!w->ScrollBarState(bar).Enabled) return true;
    const uint32_t msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    Drag_ = ScrollDrag{w, bar, -1, 0, w->GetScrollPos(bar)};
    if (parts.Arrow1.Contains(p)) Drag_.Code = SB_LINEUP;
    else if (parts.Arrow2.Contains(p)) Drag_.Code = SB_LINEDOWN;
    else if (parts.Thumb.Contains(p)) {
      Drag_.Code = SB_THUMBTRACK;
      Drag_.GrabOffset = bar == SB_VERT ? p.Y - parts.Thumb.Top : p.X - parts.Thumb.Left;
    } else if (parts.Page1.Contains(p)) Drag_.Code = SB_PAGEUP;
    else if (parts.Page2.Contains(p)) Drag_.Code = SB_PAGEDOWN;
    if (Drag_.Code >= 0 && Drag_.Code != SB_THUMBTRACK) w->Perform(msg, MAKELONG(uint16_t(Drag_.Code), 0), 0);
    return true;
  }
  return false;
}

void TApplication::ScrollBarDrag(TMouseAction Action, TPoint ScreenPos) {
  TWinControl* w = Drag_.Window;
  const uint32_t msg = Drag_.Bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  if (Drag_.Code == SB_THUMBTRACK && Action != maDown) {
    ui_pvt::ScrollBarParts parts;
    if (ui_pvt::GetScrollBarParts(*w, Drag_.Bar, parts)) {
      const TPoint c = w->ScreenToClient(ScreenPos);
      const int b = w->BorderWidth();
      const int along = Drag_.Bar == SB_VERT ? c.Y + b - parts.Track.Top : c.X + b - parts.Track.Left;
      const int pos = ui_pvt::ThumbPosition(*w, Drag_.Bar, along - Drag_.GrabOffset);
      if (Action == maMove && pos != Drag_.Pos) {
        Drag_.Pos = pos;
        w->Perform(msg, MAKELONG(SB_THUMBTRACK, uint16_t(pos)), 0);
      }
      if (Action == maUp) w->Perform(msg, MAKELONG(SB_THUMBPOSITION, uint16_t(Drag_.Pos)), 0);
    }
  }
  if (Action == maUp) {
    if (FindControl(w->GetHandle()) == w) w->Perform(msg, MAKELONG(SB_ENDSCROLL, 0), 0);
    Drag_ = ScrollDrag{};
  }
}

}  // namespace corvex
