// TControl, TGraphicControl, TWinControl, TCustomControl, TImage and the handle table.
#include "corvex/platform/ui/controls.h"

#include <algorithm>
#include <cstring>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/ui_pvt.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Handle table: a slot per window; a handle carries its slot and the slot's generation, so a
// handle of a destroyed window never finds the window that reuses the slot.

namespace {

struct HandleSlot {
  TWinControl* Window = nullptr;
  uint32_t Generation = 0;
};

std::vector<HandleSlot>& Slots() {
  static std::vector<HandleSlot> slots;
  return slots;
}
std::vector<uint32_t>& FreeSlots() {
  static std::vector<uint32_t> free;
  return free;
}

HWND AllocHandle(TWinControl* W) {
  auto& slots = Slots();
  uint32_t index;
  if (!FreeSlots().empty()) {
    index = FreeSlots().back();
    FreeSlots().pop_back();
  } else {
    index = static_cast<uint32_t>(slots.size());
    slots.push_back({});
  }
  slots[index].Window = W;
  ++slots[index].Generation;
  return (HWND(slots[index].Generation) << 32) | HWND(index + 1);
}

void FreeHandle(HWND H) {
  const uint32_t index = static_cast<uint32_t>(H & 0xFFFFFFFFu) - 1;
  auto& slots = Slots();
  if (index < slots.size() && slots[index].Window != nullptr) {
    slots[index].Window = nullptr;
    FreeSlots().push_back(index);
  }
}

}  // namespace

TWinControl* FindControl(HWND Handle) {
  if (Handle == 0) return nullptr;
  const uint32_t index = static_cast<uint32_t>(Handle & 0xFFFFFFFFu) - 1;
  const uint32_t gen = static_cast<uint32_t>(Handle >> 32);
  const auto& slots = Slots();
  if (index >= slots.size() || slots[index].Generation != gen) return nullptr;
  return slots[index].Window;
}

int ScrollBarThickness() { return std::max(1, (16 * gSystemDPIX + 48) / 96); }

TShiftState KeysToShiftState(unsigned Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(ssRight);
  if (Keys & MK_MBUTTON) s.Include(ssMiddle);
  return s;
}

unsigned ShiftStateToKeys(TShiftState Shift) {
  unsigned k = 0;
  if (Shift.Contains(ssShift)) k |= MK_SHIFT;
  if (Shift.Contains(ssCtrl)) k |= MK_CONTROL;
  if (Shift.Contains(ssLeft)) k |= MK_LBUTTON;
  if (Shift.Contains(ssRight)) k |= MK_RBUTTON;
  if (Shift.Contains(ssMiddle)) k |= MK_MBUTTON;
  return k;
}

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  Font_.OnChange = TNotifyEvent(this, &TControl::FontChange);
}

TControl::~TControl() {
  Application().ControlDestroying(this);
  if (Parent_ != nullptr) Parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == Parent_ || AParent == this) return;
  if (Parent_ != nullptr) Parent_->RemoveControl(this);
  if (AParent != nullptr) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == Left_ && ATop == Top_ && AWidth == Width_ && AHeight == Height_) return;
  const TRect old = GetBoundsRect();
  const bool sized = AWidth != Width_ || AHeight != Height_;
  Left_ = ALeft;
  Top_ = ATop;
  Width_ = AWidth;
  Height_ = AHeight;
  if (Parent_ != nullptr && Visible_) {
    Parent_->InvalidateRect(old);
    Parent_->InvalidateRect(GetBoundsRect());
    if (Align_ != alNone) Parent_->Realign();
  }
  if (sized) Resize();
}

void TControl::SetAlign(TAlign Value) {
  if (Align_ == Value) return;
  Align_ = Value;
  if (Parent_ != nullptr) Parent_->Realign();
}

TRect TControl::GetClientRect() const { return Rect(0, 0, Width_, Height_); }

void TControl::SetClientWidth(int Value) { SetWidth(Width_ - GetClientWidth() + Value); }
void TControl::SetClientHeight(int Value) { SetHeight(Height_ - GetClientHeight() + Value); }

TPoint TControl::GetClientOrigin() const {
  if (Parent_ == nullptr) return {Left_, Top_};
  const TPoint p = Parent_->GetClientOrigin();
  return {p.X + Left_, p.Y + Top_};
}

TPoint TControl::ClientToScreen(TPoint P) const {
  const TPoint o = GetClientOrigin();
  return {P.X + o.X, P.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint P) const {
  const TPoint o = GetClientOrigin();
  return {P.X - o.X, P.Y - o.Y};
}

void TControl::SetVisible(bool Value) {
  if (Visible_ == Value) return;
  VisibleChanging();
  Visible_ = Value;
  if (Parent_ != nullptr) {
    Parent_->InvalidateRect(GetBoundsRect());
    if (Align_ != alNone) Parent_->Realign();
  }
}

bool TControl::IsShowing() const {
  const TControl* c = this;
  for (; c != nullptr; c = c->Parent_) {
    if (!c->Visible_) return false;
    if (c->Parent_ == nullptr) {
      // A top-level window shows only when the application lists it.
      const auto* w = dynamic_cast<const TWinControl*>(c);
      if (w == nullptr) return false;
      for (int i = 0; i < Application().GetTopLevelCount(); ++i)
        if (Application().GetTopLevel(i) == w) return true;
      return false;
    }
  }
  return false;
}

void TControl::SetEnabled(bool Value) {
  if (Enabled_ == Value) return;
  Enabled_ = Value;
  EnabledChanged();
}

void TControl::EnabledChanged() {
  if (!Enabled_) {
    if (GetMouseCapture()) SetMouseCapture(false);
    for (TWinControl* f = Application().GetFocusedControl(); f != nullptr; f = f->GetParent())
      if (f == this) {
        Application().SetFocusedControl(nullptr);
        break;
      }
  }
  Invalidate();
}

void TControl::SetCursor(TCursor Value) {
  if (Cursor_ == Value) return;
  Cursor_ = Value;
  Application().CursorChanged();
}

void TControl::SetColor(TColor Value) {
  if (Color_ == Value) return;
  Color_ = Value;
  ColorChanged();
}

void TControl::SetText(const std::string& Value) {
  if (Text_ == Value) return;
  Text_ = Value;
  TextChanged();
}

bool TControl::GetMouseCapture() const { return Application().GetCaptureControl() == this; }

void TControl::SetMouseCapture(bool Value) {
  if (Value) Application().SetCaptureControl(this);
  else if (GetMouseCapture()) Application().SetCaptureControl(nullptr);
}

LRESULT TControl::Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) {
  if ((Message.Msg >= WM_MOUSEMOVE && Message.Msg <= WM_MOUSEWHEEL) || Message.Msg == CM_MOUSEENTER ||
      Message.Msg == CM_MOUSELEAVE) {
    DispatchMouse(Message);
    return;
  }
  DefaultHandler(Message);
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::DispatchMouse(TMessage& Message) {
  if (Message.Msg == CM_MOUSEENTER) {
    OnMouseEnter(this);
    return;
  }
  if (Message.Msg == CM_MOUSELEAVE) {
    OnMouseLeave(this);
    return;
  }
  if (Message.Msg == WM_MOUSEWHEEL) {
    TShiftState shift = KeysToShiftState(LOWORD(Message.WParam));
    if (Application().GetShiftState().Contains(ssAlt)) shift.Include(ssAlt);
    Message.Result = DoMouseWheel(shift, GET_WHEEL_DELTA_WPARAM(Message.WParam),
                                  {GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)})
                         ? 1
                         : 0;
    return;
  }
  const int x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
  TShiftState shift = KeysToShiftState(static_cast<unsigned>(Message.WParam));
  if (Application().GetShiftState().Contains(ssAlt)) shift.Include(ssAlt);
  const bool std = !ControlStyle_.Contains(csNoStdEvents);
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      if (std) MouseMove(shift, x, y);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (ControlStyle_.Contains(csClickEvents)) Clicked_ = true;
      if (Message.Msg == WM_LBUTTONDBLCLK) {
        DblClick();
        shift.Include(ssDouble);
      }
      if (std) MouseDown(mbLeft, shift, x, y);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      if (Message.Msg == WM_RBUTTONDBLCLK) shift.Include(ssDouble);
      if (std) MouseDown(mbRight, shift, x, y);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      if (Message.Msg == WM_MBUTTONDBLCLK) shift.Include(ssDouble);
      if (std) MouseDown(mbMiddle, shift, x, y);
      break;
    case WM_LBUTTONUP: {
      const bool click = Clicked_;
      Clicked_ = false;
      if (std) MouseUp(mbLeft, shift, x, y);
      if (click && GetClientRect().Contains({x, y})) Click();
      break;
    }
    case WM_RBUTTONUP:
      if (std) MouseUp(mbRight, shift, x, y);
      break;
    case WM_MBUTTONUP:
      if (std) MouseUp(mbMiddle, shift, x, y);
      break;
    default:
      break;
  }
}

void TControl::Click() { OnClick(this); }
void TControl::DblClick() { OnDblClick(this); }
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) { OnMouseDown(this, Button, Shift, X, Y); }
void TControl::MouseMove(TShiftState Shift, int X, int Y) { OnMouseMove(this, Shift, X, Y); }
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) { OnMouseUp(this, Button, Shift, X, Y); }
bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  return handled;
}
void TControl::Resize() { OnResize(this); }

void TControl::Invalidate() {
  if (Parent_ != nullptr && Visible_) Parent_->InvalidateRect(GetBoundsRect());
}

void TControl::InvalidateRect(const TRect& R) {
  if (Parent_ != nullptr && Visible_) Parent_->InvalidateRect(OffsetRect(IntersectRect(R, GetClientRect()), Left_, Top_));
}

void TControl::Update() {
  if (Parent_ != nullptr) Parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (Parent_ == nullptr) return;
  auto& v = Parent_->Controls_;
  v.erase(std::find(v.begin(), v.end(), this));
  v.push_back(this);
  Parent_->InvalidateRect(GetBoundsRect());
}

void TControl::SendToBack() {
  if (Parent_ == nullptr) return;
  auto& v = Parent_->Controls_;
  v.erase(std::find(v.begin(), v.end(), this));
  v.insert(v.begin(), this);
  Parent_->InvalidateRect(GetBoundsRect());
}

TForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->Parent_ != nullptr) c = c->Parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl: paints into a copy of the parent's pixels under it, with its own origin, and
// the result goes back: the parent's background shows through what the control does not draw.

void TGraphicControl::PaintGraphic(TCanvas* Canvas) {
  TBitmap* parent = Canvas->GetBitmap();
  const TRect clip = IntersectRect(Canvas->GetClipRect(), GetBoundsRect());
  if (clip.IsEmpty() || parent == nullptr) return;
  TBitmap own(Width_, Height_, pf24bit);
  ui_pvt::CopyPixels(parent, GetBoundsRect(), &own, 0, 0);
  TCanvas canvas(&own);
  canvas.SetFont(GetFont());
  canvas.IntersectClipRect(clip.Left - Left_, clip.Top - Top_, clip.Right - Left_, clip.Bottom - Top_);
  PaintCanvas_ = &canvas;
  Paint();
  PaintCanvas_ = nullptr;
  ui_pvt::CopyPixels(&own, OffsetRect(clip, -Left_, -Top_), parent, clip.Left, clip.Top);
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), Backing_(std::make_unique<TBitmap>()) {
  Handle_ = AllocHandle(this);
  ControlStyle_.Include(csAcceptsControls);
}

TWinControl::~TWinControl() {
  // Owned components go first (they may be children of this window), then the rest of the
  // children are detached: they belong to someone else, who frees them.
  Destroying();
  while (!Controls_.empty()) {
    TControl* c = Controls_.back();
    Controls_.pop_back();
    c->Parent_ = nullptr;
  }
  Application().WindowDestroying(this);
  FreeHandle(Handle_);
  Handle_ = 0;
}

void TWinControl::InsertControl(TControl* AControl) {
  // A parent never lies inside its child.
  for (TWinControl* p = this; p != nullptr; p = p->GetParent())
    if (p == AControl) return;
  auto* win = dynamic_cast<TWinControl*>(AControl);
  if (win != nullptr && win->GetParent() == nullptr) Application().WindowShown(win, false);
  Controls_.push_back(AControl);
  AControl->Parent_ = this;
  if (AControl->GetAlign() != alNone) Realign();
  InvalidateRect(AControl->GetBoundsRect());
  if (win != nullptr) win->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(Controls_.begin(), Controls_.end(), AControl);
  if (it == Controls_.end()) return;
  if (AControl->Visible_) InvalidateRect(AControl->GetBoundsRect());
  Controls_.erase(it);
  AControl->Parent_ = nullptr;
  Application().ControlDestroying(AControl);  // drops capture, hover and focus inside it
  if (AControl->GetAlign() != alNone) Realign();
}

TControl* TWinControl::ControlAtPos(TPoint P, bool AllowDisabled) const {
  for (auto it = Controls_.rbegin(); it != Controls_.rend(); ++it) {
    TControl* c = *it;
    if (!c->GetVisible() || (!AllowDisabled && !c->GetEnabled())) continue;
    if (c->GetBoundsRect().Contains(P)) return c;
  }
  return nullptr;
}

void TWinControl::Realign() {
  TRect r = GetClientRect();
  auto place = [&](TAlign a) {
    for (TControl* c : Controls_) {
      if (!c->GetVisible() || c->GetAlign() != a) continue;
      switch (a) {
        case alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), c->GetHeight());
          r.Top += c->GetHeight();
          break;
        case alBottom:
          c->SetBounds(r.Left, r.Bottom - c->GetHeight(), r.Width(), c->GetHeight());
          r.Bottom -= c->GetHeight();
          break;
        case alLeft:
          c->SetBounds(r.Left, r.Top, c->GetWidth(), r.Height());
          r.Left += c->GetWidth();
          break;
        case alRight:
          c->SetBounds(r.Right - c->GetWidth(), r.Top, c->GetWidth(), r.Height());
          r.Right -= c->GetWidth();
          break;
        case alClient:
          c->SetBounds(r.Left, r.Top, std::max(r.Width(), 0), std::max(r.Height(), 0));
          break;
        default:
          break;
      }
    }
  };
  for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) place(a);
}

void TWinControl::SetBorderStyle(TBorderStyle Value) {
  if (BorderStyle_ == Value) return;
  BorderStyle_ = Value;
  RecreateWnd();
}

void TWinControl::SetCtl3D(bool Value) {
  if (Ctl3D_ == Value) return;
  Ctl3D_ = Value;
  if (BorderStyle_ != bsNone) RecreateWnd();
}

int TWinControl::BorderWidth() const {
  if (BorderStyle_ == bsNone) return 0;
  return Ctl3D_ ? 2 : 1;
}

void TWinControl::RecreateWnd() {
  UpdateClient(true);
  Invalidate();
  Application().WindowGeometryChanged(this);
}

TRect TWinControl::GetClientRect() const {
  const int b = BorderWidth(), t = ScrollBarThickness();
  const int w = Width_ - 2 * b - (Bars_[1].Visible ? t : 0);
  const int h = Height_ - 2 * b - (Bars_[0].Visible ? t : 0);
  return Rect(0, 0, std::max(w, 0), std::max(h, 0));
}

TPoint TWinControl::ClientOffsetInParent() const {
  const int b = BorderWidth();
  return {Left_ + b, Top_ + b};
}

TPoint TWinControl::GetClientOrigin() const {
  const TPoint o = ClientOffsetInParent();
  if (GetParent() == nullptr) return o;
  const TPoint p = GetParent()->GetClientOrigin();
  return {p.X + o.X, p.Y + o.Y};
}

TWinControl* TWinControl::TopLevel() const {
  const TWinControl* w = this;
  while (w->GetParent() != nullptr) w = w->GetParent();
  return const_cast<TWinControl*>(w);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const bool moved = ALeft != Left_ || ATop != Top_;
  const bool sized = std::max(AWidth, 0) != Width_ || std::max(AHeight, 0) != Height_;
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  UpdateClient(true);
  if (moved) Perform(WM_MOVE, 0, PointToLParam(Left_, Top_));
  if (moved || sized) Application().WindowGeometryChanged(this, sized);
}

void TWinControl::SetVisible(bool Value) {
  if (GetVisible() == Value) return;
  TControl::SetVisible(Value);
  if (!Value) {
    // Focus and capture do not stay in a hidden window.
    for (TWinControl* f = Application().GetFocusedControl(); f != nullptr; f = f->GetParent())
      if (f == this) {
        Application().SetFocusedControl(nullptr);
        break;
      }
    TControl* cap = Application().GetCaptureControl();
    for (TControl* c = cap; c != nullptr; c = c->GetParent())
      if (c == this) {
        Application().SetCaptureControl(nullptr);
        break;
      }
  } else {
    Invalidate();
    // Windows inside that were invalidated while this one was hidden left the paint list then
    // (their invalid area kept): they are listed again now that they can show.
    std::vector<TWinControl*> pending{this};
    while (!pending.empty()) {
      TWinControl* w = pending.back();
      pending.pop_back();
      for (int i = 0; i < w->GetControlCount(); ++i)
        if (auto* child = dynamic_cast<TWinControl*>(w->GetControl(i)); child != nullptr && child->GetVisible()) {
          if (!child->GetUpdateRect().IsEmpty()) Application().WindowInvalidated(child);
          pending.push_back(child);
        }
    }
  }
  Perform(WM_SHOWWINDOW, Value ? 1 : 0, 0);
}

void TWinControl::ResizeBacking() {
  const TRect c = GetClientRect();
  if (Backing_->GetWidth() != c.Width() || Backing_->GetHeight() != c.Height() ||
      Backing_->GetPixelFormat() != pf24bit)
    Backing_->Allocate(c.Width(), c.Height(), pf24bit);
}

// Recomputes the client; when its size changed, the backing bitmap follows, WM_SIZE is sent and
// the window is invalidated.
void TWinControl::UpdateClient(bool SendSize) {
  const TRect c = GetClientRect();
  if (c.Width() == LastClientW_ && c.Height() == LastClientH_) return;
  LastClientW_ = c.Width();
  LastClientH_ = c.Height();
  ResizeBacking();
  Invalidate();
  Realign();
  if (SendSize) Perform(WM_SIZE, SIZE_RESTORED, PointToLParam(c.Width(), c.Height()));
}

bool TWinControl::Focused() const { return Application().GetFocusedControl() == this; }

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->GetParent())
    if (!c->GetVisible() || !c->GetEnabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (CanFocus()) Application().SetFocusedControl(this);
}

// --- Tab order

namespace {

void CollectTabStops(const std::vector<TControl*>& Children, std::vector<TWinControl*>& List) {
  std::vector<TWinControl*> wins;
  for (TControl* c : Children)
    if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && w->GetVisible() && w->GetEnabled()) wins.push_back(w);
  // By TabOrder (negative ones last), ties in creation order (the children keep it).
  std::stable_sort(wins.begin(), wins.end(), [](const TWinControl* a, const TWinControl* b) {
    const unsigned ka = unsigned(a->GetTabOrder()), kb = unsigned(b->GetTabOrder());
    return ka < kb;
  });
  for (TWinControl* w : wins) {
    if (w->GetTabStop()) List.push_back(w);
    std::vector<TControl*> inner;
    for (int i = 0; i < w->GetControlCount(); ++i) inner.push_back(w->GetControl(i));
    CollectTabStops(inner, List);
  }
}

}  // namespace

std::vector<TWinControl*> TWinControl::GetTabOrderList() const {
  std::vector<TWinControl*> list;
  CollectTabStops(Controls_, list);
  return list;
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward) const {
  const std::vector<TWinControl*> list = GetTabOrderList();
  if (list.empty()) return nullptr;
  // The entry that holds CurControl (it may lie inside one, as the edit of a spin edit does).
  int at = -1;
  for (const TWinControl* c = CurControl; c != nullptr && at < 0; c = c->GetParent())
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == c) at = int(i);
  const int n = int(list.size());
  for (int step = 1; step <= n; ++step) {
    int i;
    if (at < 0) i = GoForward ? step - 1 : n - step;
    else i = ((at + (GoForward ? step : -step)) % n + n) % n;
    if (list[size_t(i)]->CanFocus()) return list[size_t(i)];
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward) {
  if (TWinControl* next = FindNextControl(CurControl, GoForward)) next->SetFocus();
}

// --- Scroll bars

int TWinControl::SetScrollInfo(int Bar, const TScrollInfo& Info, bool Redraw) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
  TScrollBarState& b = Bars_[Bar == SB_VERT ? 1 : 0];
  if (Info.fMask & SIF_RANGE) {
    b.Min = Info.nMin;
    b.Max = std::max(Info.nMax, Info.nMin);
  }
  if (Info.fMask & SIF_PAGE) b.Page = static_cast<int>(std::min<unsigned>(Info.nPage, unsigned(b.Max - b.Min + 1)));
  if (Info.fMask & SIF_POS) b.Pos = Info.nPos;
  b.Page = std::min(b.Page, b.Max - b.Min + 1);
  b.Pos = std::clamp(b.Pos, b.Min, std::max(b.Min, b.Max - std::max(b.Page - 1, 0)));
  if (Redraw) ScrollBarsChanged();
  return b.Pos;
}

bool TWinControl::GetScrollInfo(int Bar, TScrollInfo& Info) const {
  if (Bar != SB_HORZ && Bar != SB_VERT) return false;
  const TScrollBarState& b = Bars_[Bar == SB_VERT ? 1 : 0];
  if (Info.fMask & SIF_RANGE) {
    Info.nMin = b.Min;
    Info.nMax = b.Max;
  }
  if (Info.fMask & SIF_PAGE) Info.nPage = static_cast<unsigned>(b.Page);
  if (Info.fMask & SIF_POS) Info.nPos = b.Pos;
  if (Info.fMask & SIF_TRACKPOS) Info.nTrackPos = b.TrackPos;
  return true;
}

int TWinControl::SetScrollPos(int Bar, int Pos, bool Redraw) {
  const int old = GetScrollPos(Bar);
  TScrollInfo i;
  i.fMask = SIF_POS;
  i.nPos = Pos;
  SetScrollInfo(Bar, i, Redraw);
  return old;
}

int TWinControl::GetScrollPos(int Bar) const { return Bar == SB_VERT ? Bars_[1].Pos : Bars_[0].Pos; }

void TWinControl::SetScrollRange(int Bar, int Min, int Max, bool Redraw) {
  TScrollInfo i;
  i.fMask = SIF_RANGE;
  i.nMin = Min;
  i.nMax = Max;
  SetScrollInfo(Bar, i, Redraw);
}

void TWinControl::ShowScrollBar(int Bar, bool Show) {
  bool changed = false;
  for (int k = 0; k < 2; ++k) {
    if (!(Bar == SB_BOTH || (Bar == SB_HORZ && k == 0) || (Bar == SB_VERT && k == 1))) continue;
    if (Bars_[k].Visible != Show) {
      Bars_[k].Visible = Show;
      changed = true;
    }
  }
  if (!changed) return;
  UpdateClient(true);
  ScrollBarsChanged();
}

void TWinControl::EnableScrollBar(int Bar, unsigned Arrows) {
  for (int k = 0; k < 2; ++k)
    if (Bar == SB_BOTH || (Bar == SB_HORZ && k == 0) || (Bar == SB_VERT && k == 1))
      Bars_[k].Enabled = Arrows != ESB_DISABLE_BOTH;
  ScrollBarsChanged();
}

void TWinControl::ScrollBarsChanged() { Application().WindowGeometryChanged(this); }

// --- Painting

void TWinControl::Invalidate() { InvalidateRect(GetClientRect()); }

void TWinControl::InvalidateRect(const TRect& R) {
  TRect r = IntersectRect(R, GetClientRect());
  if (r.IsEmpty()) return;
  if (!UpdateRect_.IsEmpty()) r = UnionRect(UpdateRect_, r);
  UpdateRect_.Left = r.Left;
  UpdateRect_.Top = r.Top;
  UpdateRect_.Right = r.Right;
  UpdateRect_.Bottom = r.Bottom;
  Application().WindowInvalidated(this);
}

void TWinControl::Update() {
  if (!UpdateRect_.IsEmpty()) Perform(WM_PAINT, 0, 0);
}

void TWinControl::PaintHandler() {
  const TRect r = IntersectRect(UpdateRect_, GetClientRect());
  UpdateRect_ = TRect{};
  if (r.IsEmpty() || InPaint_) return;
  ResizeBacking();
  InPaint_ = true;
  TCanvas* canvas = Backing_->GetCanvas();
  canvas->SelectClipRgn(nullptr);
  canvas->IntersectClipRect(r.Left, r.Top, r.Right, r.Bottom);
  canvas->SetFont(GetFont());
  Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas), 0);
  PaintWindow(canvas);
  // Graphic children paint over the window, bottom first.
  const std::vector<TControl*> children = Controls_;
  for (TControl* c : children) {
    if (dynamic_cast<TWinControl*>(c) != nullptr || !c->GetVisible()) continue;
    if (IntersectRect(c->GetBoundsRect(), r).IsEmpty()) continue;
    canvas->SelectClipRgn(nullptr);
    canvas->IntersectClipRect(r.Left, r.Top, r.Right, r.Bottom);
    c->PaintGraphic(canvas);
  }
  canvas->SelectClipRgn(nullptr);
  InPaint_ = false;
  Application().WindowPainted(this, r);
}

void TWinControl::PaintWindow(TCanvas*) {}

void TWinControl::WMPaint(TMessage&) { PaintHandler(); }

void TWinControl::WMEraseBkgnd(TMessage& Message) {
  auto* canvas = reinterpret_cast<TCanvas*>(Message.WParam);
  if (canvas != nullptr) {
    canvas->GetBrush()->SetColor(GetColor());
    canvas->GetBrush()->SetStyle(bsSolid);
    canvas->FillRect(GetClientRect());
  }
  Message.Result = 1;
}

void TWinControl::WMSize(TMessage&) {}

void TWinControl::WMMouseWheel(TMessage& Message) {
  TControl::WndProc(Message);
  // Not handled: the parent gets its chance, as the toolkit passes the wheel up.
  if (Message.Result == 0 && GetParent() != nullptr) Message.Result = GetParent()->Perform(Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::WMSetFocus(TMessage&) {
  DoEnter();
  Invalidate();
}

void TWinControl::WMKillFocus(TMessage&) {
  DoExit();
  Invalidate();
}

void TWinControl::DoEnter() { OnEnter(this); }
void TWinControl::DoExit() { OnExit(this); }

// A handler that sets the key to 0 has taken it: the character that follows is not sent.
void TWinControl::WMKeyDown(TMessage& Message) {
  const uint16_t original = static_cast<uint16_t>(Message.WParam);
  uint16_t key = original;
  KeyDown(key, Application().GetShiftState());
  Message.WParam = key;
  Message.Result = original != 0 && key == 0 ? 1 : 0;
}

void TWinControl::WMKeyUp(TMessage& Message) {
  uint16_t key = static_cast<uint16_t>(Message.WParam);
  KeyUp(key, Application().GetShiftState());
  Message.WParam = key;
}

void TWinControl::WMChar(TMessage& Message) {
  char32_t c = static_cast<char32_t>(Message.WParam);
  KeyPress(c);
  Message.WParam = c;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) { OnKeyDown(this, Key, Shift); }
void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) { OnKeyUp(this, Key, Shift); }
void TWinControl::KeyPress(char32_t& Key) { OnKeyPress(this, Key); }

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      WMSize(Message);
      break;
    case WM_MOVE:
      WMMove(Message);
      break;
    case WM_PAINT:
      WMPaint(Message);
      break;
    case WM_ERASEBKGND:
      WMEraseBkgnd(Message);
      break;
    case WM_HSCROLL:
      WMHScroll(Message);
      break;
    case WM_VSCROLL:
      WMVScroll(Message);
      break;
    case WM_MOUSEWHEEL:
      WMMouseWheel(Message);
      break;
    case WM_SETFOCUS:
      WMSetFocus(Message);
      break;
    case WM_KILLFOCUS:
      WMKillFocus(Message);
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      WMKeyDown(Message);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      WMKeyUp(Message);
      break;
    case WM_CHAR:
      WMChar(Message);
      break;
    case WM_TIMER:
      WMTimer(Message);
      break;
    case WM_CANCELMODE:
      WMCancelMode(Message);
      break;
    case WM_CAPTURECHANGED:
      WMCaptureChanged(Message);
      break;
    case WM_PALETTECHANGED:
      WMPaletteChanged(Message);
      break;
    default:
      TControl::WndProc(Message);
  }
}

void TWinControl::DefaultHandler(TMessage& Message) { TControl::DefaultHandler(Message); }

// --- Drawing the window whole

void TWinControl::DrawWindow(TBitmap* Target, int X, int Y, std::vector<TWindowPiece>* Pieces) const {
  if (Target == nullptr || !GetVisible()) return;
  DrawNonClient(Target, X, Y);
  const int b = BorderWidth();
  const TRect client = GetClientRect();
  // The shown windows inside, in the order drawn (later ones over earlier ones).
  std::vector<const TWinControl*> inside;
  for (TControl* c : Controls_)
    if (const auto* w = dynamic_cast<const TWinControl*>(c); w != nullptr && w->GetVisible()) inside.push_back(w);
  auto fills = [](const TWinControl* w) {
    const TRect wc = w->GetClientRect();
    return w->Backing_->GetWidth() == wc.Width() && w->Backing_->GetHeight() == wc.Height();
  };
  // The client's own pixels, except where a child window draws every pixel over them: a child
  // whose backing is as large as its client covers its whole bounds (the frame is drawn whole).
  TRegion own = TRegion::FromRect(client);
  for (const TWinControl* w : inside)
    if (fills(w)) own -= TRegion::FromRect(IntersectRect(w->GetBoundsRect(), client));
  for (const TRect& r : own.GetRects()) ui_pvt::CopyPixels(Backing_.get(), r, Target, X + b + r.Left, Y + b + r.Top);
  for (size_t i = 0; i < inside.size(); ++i) {
    const TWinControl* w = inside[i];
    // A child window is cut to this client: draw it into a scratch image when it sticks out.
    const TRect inClient = IntersectRect(w->GetBoundsRect(), client);
    if (inClient.IsEmpty()) continue;
    const int wx = X + b + w->GetLeft(), wy = Y + b + w->GetTop();
    if (inClient == w->GetBoundsRect()) {
      // Pieces are given only by windows nothing drawn later covers.
      bool last = Pieces != nullptr;
      for (size_t j = i + 1; j < inside.size() && last; ++j)
        last = IntersectRect(inside[j]->GetBoundsRect(), w->GetBoundsRect()).IsEmpty();
      bool leaf = true;
      for (TControl* c : w->Controls_)
        if (const auto* g = dynamic_cast<const TWinControl*>(c); g != nullptr && g->GetVisible()) leaf = false;
      if (last && leaf && fills(w)) {
        w->DrawNonClient(Target, wx, wy);
        Pieces->push_back({w, {wx + w->BorderWidth(), wy + w->BorderWidth()}});
      } else {
        w->DrawWindow(Target, wx, wy, last ? Pieces : nullptr);
      }
    } else {
      TBitmap scratch(w->GetWidth(), w->GetHeight(), pf24bit);
      w->DrawWindow(&scratch, 0, 0);
      ui_pvt::CopyPixels(&scratch, OffsetRect(inClient, -w->GetLeft(), -w->GetTop()), Target, X + b + inClient.Left,
                         Y + b + inClient.Top);
    }
  }
}

void TWinControl::DrawNonClient(TBitmap* Target, int X, int Y) const {
  ui_pvt::DrawFrame(Target, X, Y, *this);
}

// ---------------------------------------------------------------------------------------------
// TCustomControl

TCanvas* TCustomControl::GetCanvas() const { return GetBackingBitmap()->GetCanvas(); }

void TCustomControl::PaintWindow(TCanvas*) { Paint(); }

// ---------------------------------------------------------------------------------------------
// TPicture and TImage

TPicture::TPicture() : Bitmap_(std::make_unique<TBitmap>()) {
  Bitmap_->OnChange = TNotifyEvent(this, &TPicture::BitmapChanged);
}
TPicture::~TPicture() = default;

void TPicture::BitmapChanged(TObject*) { OnChange(this); }

void TPicture::SetBitmap(const TBitmap* Value) {
  Bitmap_->Assign(Value);
  OnChange(this);
}

int TPicture::GetWidth() const { return Bitmap_->GetWidth(); }
int TPicture::GetHeight() const { return Bitmap_->GetHeight(); }

void TPicture::Assign(const TPersistent* Source) {
  if (const auto* p = dynamic_cast<const TPicture*>(Source)) SetBitmap(p->GetBitmap());
  else if (const auto* b = dynamic_cast<const TBitmap*>(Source)) SetBitmap(b);
  else if (Source == nullptr) SetBitmap(nullptr);
  else TPersistent::Assign(Source);
}

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  Width_ = Height_ = 105;
  Picture_.OnChange = TNotifyEvent(this, &TImage::PictureChanged);
}

TImage::~TImage() = default;

TCanvas* TImage::GetPictureCanvas() { return Picture_.GetBitmap()->GetCanvas(); }

void TImage::SetStretch(bool Value) {
  if (Stretch_ == Value) return;
  Stretch_ = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  if (Center_ == Value) return;
  Center_ = Value;
  Invalidate();
}

void TImage::PictureChanged(TObject*) {
  Invalidate();
  OnChange(this);
}

void TImage::Paint() {
  TBitmap* b = Picture_.GetBitmap();
  if (b->GetEmpty()) return;
  TCanvas* c = GetCanvas();
  if (Stretch_) {
    c->StretchDraw(Rect(0, 0, Width_, Height_), b);
  } else {
    const int x = Center_ ? (Width_ - b->GetWidth()) / 2 : 0;
    const int y = Center_ ? (Height_ - b->GetHeight()) / 2 : 0;
    c->Draw(x, y, b);
  }
}

// ---------------------------------------------------------------------------------------------
// Free functions by handle

LRESULT SendMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  return Application().SendMessage(Handle, Msg, WParam, LParam);
}
bool PostMessage(HWND Handle, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  return Application().PostMessage(Handle, Msg, WParam, LParam);
}
bool InvalidateRect(HWND Handle, const TRect* R) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  if (R == nullptr) w->Invalidate();
  else w->InvalidateRect(*R);
  return true;
}
bool UpdateWindow(HWND Handle) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  w->Update();
  return true;
}
int SetScrollInfo(HWND Handle, int Bar, const TScrollInfo& Info, bool Redraw) {
  TWinControl* w = FindControl(Handle);
  return w == nullptr ? 0 : w->SetScrollInfo(Bar, Info, Redraw);
}
bool GetScrollInfo(HWND Handle, int Bar, TScrollInfo& Info) {
  TWinControl* w = FindControl(Handle);
  return w != nullptr && w->GetScrollInfo(Bar, Info);
}
bool ShowScrollBar(HWND Handle, int Bar, bool Show) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  w->ShowScrollBar(Bar, Show);
  return true;
}
bool EnableScrollBar(HWND Handle, int Bar, unsigned Arrows) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  w->EnableScrollBar(Bar, Arrows);
  return true;
}
bool GetClientRect(HWND Handle, TRect& R) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  R = w->GetClientRect();
  return true;
}
HWND SetCapture(HWND Handle) {
  TControl* old = Application().GetCaptureControl();
  auto* oldWin = dynamic_cast<TWinControl*>(old);
  Application().SetCaptureControl(FindControl(Handle));
  return oldWin != nullptr ? oldWin->GetHandle() : 0;
}
HWND GetCapture() {
  TControl* c = Application().GetCaptureControl();
  if (c == nullptr) return 0;
  TWinControl* w = c->GetWindow();
  return w != nullptr ? w->GetHandle() : 0;
}
bool ReleaseCapture() {
  Application().SetCaptureControl(nullptr);
  return true;
}
HWND SetFocus(HWND Handle) {
  TWinControl* old = Application().GetFocusedControl();
  if (TWinControl* w = FindControl(Handle)) w->SetFocus();
  return old != nullptr ? old->GetHandle() : 0;
}
HWND GetFocus() {
  TWinControl* f = Application().GetFocusedControl();
  return f != nullptr ? f->GetHandle() : 0;
}
bool GetCursorPos(TPoint& P) {
  P = Application().GetCursorPos();
  return true;
}
bool SetCursorPos(int X, int Y) {
  Application().SetCursorPos({X, Y});
  return true;
}
bool ScreenToClient(HWND Handle, TPoint& P) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  P = w->ScreenToClient(P);
  return true;
}
bool ClientToScreen(HWND Handle, TPoint& P) {
  TWinControl* w = FindControl(Handle);
  if (w == nullptr) return false;
  P = w->ClientToScreen(P);
  return true;
}
uintptr_t SetTimer(HWND Handle, uintptr_t Id, unsigned Elapse) {
  if (FindControl(Handle) == nullptr) return 0;
  KillTimer(Handle, Id);
  Application().AddTimer(std::max(Elapse, 1u), nullptr, Handle, Id);
  return Id;
}
bool KillTimer(HWND Handle, uintptr_t Id) { return ui_pvt::KillWindowTimer(Handle, Id); }

}  // namespace corvex
