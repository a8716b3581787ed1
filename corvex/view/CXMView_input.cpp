// TCorvexMView input: the keys that move the selection, mouse selection and dragging of the view,
// the window's scroll bars and the wheel, focus and size changes.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXMView.h"
#include "corvex/view/view_pvt.h"

namespace corvex {

namespace {
int ClampInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }
// A press that moves less than this (in pixels, either way) before its release is a click.
constexpr int kClickSlop = 3;
}  // namespace

void TCorvexMView::WndProc(TMessage& Message) {
  if (Message.Msg == kRefreshMessage) {
    RefreshPosted_ = false;
    Update();
    return;
  }
  TCXView::WndProc(Message);
}

// --- Keyboard

void TCorvexMView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCXView::KeyDown(Key, Shift);
  if (Key == 0 || Playing_ || !KeyInteract_.Contains(mkiMoveSelected)) return;
  TCXSeek seek;
  switch (Key) {
    case VK_PRIOR: seek = iskPagUp; break;
    case VK_NEXT: seek = iskPagDown; break;
    case VK_END: seek = iskLast; break;
    case VK_HOME: seek = iskFirst; break;
    case VK_LEFT: seek = iskLeft; break;
    case VK_UP: seek = iskUp; break;
    case VK_RIGHT: seek = iskRight; break;
    case VK_DOWN: seek = iskDown; break;
    default: return;
  }
  Key = 0;
  SelectSeek(seek);
  Update();
}

// --- Mouse

void TCorvexMView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (CanFocus() && !Focused()) SetFocus();
  TCXView::MouseDown(Button, Shift, X, Y);
  DragStart_ = {X, Y};
  Dragging_ = false;
  if (Playing_ || Button != mbLeft) return;
  if (MouseInteract_.Contains(mmiScroll)) {
    Dragging_ = true;
    DragViewX_ = ViewX_;
    DragViewY_ = ViewY_;
  }
}

void TCorvexMView::MouseMove(TShiftState Shift, int X, int Y) {
  TCXView::MouseMove(Shift, X, Y);
  if (Dragging_ && Shift.Contains(ssLeft))
    SetViewXY(ClampInt(int64_t(DragViewX_) - (int64_t(X) - DragStart_.X)),
              ClampInt(int64_t(DragViewY_) - (int64_t(Y) - DragStart_.Y)));
}

void TCorvexMView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool dragged = Dragging_ && (std::abs(X - DragStart_.X) > kClickSlop || std::abs(Y - DragStart_.Y) > kClickSlop);
  Dragging_ = false;
  TCXView::MouseUp(Button, Shift, X, Y);
  if (Playing_ || Button != mbLeft || dragged || !MouseInteract_.Contains(mmiSelect)) return;
  const int idx = ImageAtPos(X, Y);
  if (idx < 0) return;
  SetSelectedItemNU(idx);
  if (VisibleSelection_) Invalidate();
  OnImageSelect(this, idx);
  CallBitmapChangeEvents();
}

// --- Scroll bars

// The bars the style enables, scaled to 0 .. 65535 as the image view's are.
void TCorvexMView::UpdateScrollBars() {
  int mx, my;
  GetMaxViewXY(mx, my);
  view_pvt::UpdateScaledScrollBars(this, ScrollBars_, ScrollBarsAlwaysVisible_, mx, my, ViewX_, ViewY_, HScrollScale_,
                                   VScrollScale_);
}

void TCorvexMView::WMHScroll(TMessage& Message) { ScrollBy(SB_HORZ, Message); }
void TCorvexMView::WMVScroll(TMessage& Message) { ScrollBy(SB_VERT, Message); }

// One scroll-bar message: a line is one cell and its border (or LineStep pixels), a page the
// client (or PageStep pixels); the thumb maps its 16-bit position back through the bar's scale.
void TCorvexMView::ScrollBy(int Bar, TMessage& Message) {
  const bool horz = Bar == SB_HORZ;
  const TCXScrollBarParams& p = horz ? HScrollBarParams_ : VScrollBarParams_;
  const int code = LOWORD(Message.WParam);
  const int pos = HIWORD(Message.WParam);
  const int64_t line = p.LineStep > 0 ? p.LineStep : (horz ? ThumbWidth_ + HorizBorder_ : ThumbHeight_ + VertBorder_);
  const int64_t page = p.PageStep > 0 ? p.PageStep : std::max(horz ? GetClientWidth() : GetClientHeight(), 1);
  int64_t off = horz ? ViewX_ : ViewY_;
  switch (code) {
    case SB_LINEUP: off -= line; break;
    case SB_LINEDOWN: off += line; break;
    case SB_PAGEUP: off -= page; break;
    case SB_PAGEDOWN: off += page; break;
    case SB_TOP: off = 0; break;
    case SB_BOTTOM: off = INT_MAX; break;
    case SB_THUMBTRACK:
      if (!p.Tracking) return;
      [[fallthrough]];
    case SB_THUMBPOSITION: off = Trunc(pos * (horz ? HScrollScale_ : VScrollScale_)); break;
    default: return;
  }
  Message.Result = 0;
  if (horz) SetViewX(ClampInt(off));
  else SetViewY(ClampInt(off));
}

// A notch scrolls one row of cells (one column when nothing scrolls vertically).
void TCorvexMView::WMMouseWheel(TMessage& Message) {
  const int delta = GET_WHEEL_DELTA_WPARAM(Message.WParam);
  if (delta == 0) return;
  const int dir = (delta > 0 ? -1 : 1) * std::max(std::abs(delta) / WHEEL_DELTA, 1);
  int mx, my;
  GetMaxViewXY(mx, my);
  if (my > 0) SetViewY(ClampInt(int64_t(ViewY_) + int64_t(dir) * (ThumbHeight_ + VertBorder_)));
  else if (mx > 0) SetViewX(ClampInt(int64_t(ViewX_) + int64_t(dir) * (ThumbWidth_ + HorizBorder_)));
  Message.Result = 1;
}

// --- Window messages

void TCorvexMView::WMSize(TMessage& Message) {
  TCXView::WMSize(Message);
  Update();
}

// Paint covers the whole client: nothing is erased first.
void TCorvexMView::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

void TCorvexMView::WMSetFocus(TMessage& Message) {
  TCXView::WMSetFocus(Message);
  Invalidate();
}

void TCorvexMView::WMKillFocus(TMessage& Message) {
  TCXView::WMKillFocus(Message);
  Invalidate();
}

}  // namespace corvex
