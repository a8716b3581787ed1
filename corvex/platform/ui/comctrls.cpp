// Track bar, spin edit and page control with its tab sheets.
#include "corvex/platform/ui/comctrls.h"

#include <algorithm>
#include <climits>
#include <string>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/widgets_pvt.h"

namespace corvex {

using namespace widgets_pvt;

namespace {
constexpr unsigned kRepeatDelayMs = 400;  // first repeat of a held channel or spin button
constexpr unsigned kRepeatMs = 100;       // the repeats after it
}  // namespace

// ---------------------------------------------------------------------------------------------
// TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TCustomControl(AOwner), RepeatTimer_(std::make_unique<TTimer>(nullptr)) {
  ControlStyle_.Exclude(csDoubleClicks);
  RepeatTimer_->SetEnabled(false);
  RepeatTimer_->OnTimer = TNotifyEvent(this, &TTrackBar::PageStep);
  SetTabStop(true);
  SetBounds(0, 0, ScaleToScreen(150), ScaleToScreen(45));
}

TTrackBar::~TTrackBar() = default;

void TTrackBar::SetMin(int Value) { SetRange(Value, std::max(Value, Max_)); }
void TTrackBar::SetMax(int Value) { SetRange(std::min(Value, Min_), Value); }

void TTrackBar::SetRange(int AMin, int AMax) {
  AMax = std::max(AMin, AMax);
  if (AMin != Min_ || AMax != Max_) {
    Min_ = AMin;
    Max_ = AMax;
    Invalidate();
  }
  SetPosition(Position_);
}

void TTrackBar::SetPosition(int Value) {
  Value = std::clamp(Value, Min_, Max_);
  if (Value == Position_) return;
  Position_ = Value;
  Invalidate();
  Changed();
}

void TTrackBar::SetFrequency(int Value) {
  Value = std::max(1, Value);
  if (Frequency_ == Value) return;
  Frequency_ = Value;
  Invalidate();
}

void TTrackBar::SetLineSize(int Value) { LineSize_ = std::max(1, Value); }
void TTrackBar::SetPageSize(int Value) { PageSize_ = std::max(1, Value); }

void TTrackBar::SetOrientation(TTrackBarOrientation Value) {
  if (Orientation_ == Value) return;
  Orientation_ = Value;
  SetBounds(Left_, Top_, Height_, Width_);
  Invalidate();
}

void TTrackBar::SetTickStyle(TTickStyle Value) {
  if (TickStyle_ == Value) return;
  TickStyle_ = Value;
  Invalidate();
}

int TTrackBar::ThumbLength() const { return ScaleToScreen(11); }
int TTrackBar::ThumbBreadth() const { return ScaleToScreen(20); }

// The thumb's centre runs from A to B along the channel.
int TTrackBar::PositionToPixel(int Value) const {
  const bool h = Orientation_ == trHorizontal;
  const int len = h ? GetClientWidth() : GetClientHeight();
  const int inset = ScaleToScreen(8) + ThumbLength() / 2;
  const int a = inset, b = std::max(a, len - inset - 1);
  if (Max_ == Min_) return a;
  return a + int((int64_t(std::clamp(Value, Min_, Max_) - Min_) * (b - a) + (int64_t(Max_) - Min_) / 2) /
                 (int64_t(Max_) - Min_));
}

int TTrackBar::PixelToPosition(int Pixel) const {
  const bool h = Orientation_ == trHorizontal;
  const int len = h ? GetClientWidth() : GetClientHeight();
  const int inset = ScaleToScreen(8) + ThumbLength() / 2;
  const int a = inset, b = std::max(a, len - inset - 1);
  if (b == a) return Min_;
  const int64_t off = std::clamp(Pixel, a, b) - a;
  return Min_ + int((off * (int64_t(Max_) - Min_) + (b - a) / 2) / (b - a));
}

TRect TTrackBar::GetChannelRect() const {
  const int inset = ScaleToScreen(8), thick = ScaleToScreen(4);
  const int across = ScaleToScreen(4) + ThumbBreadth() / 2 - thick / 2;
  if (Orientation_ == trHorizontal) return Rect(inset, across, std::max(inset, GetClientWidth() - inset), across + thick);
  return Rect(across, inset, across + thick, std::max(inset, GetClientHeight() - inset));
}

TRect TTrackBar::GetThumbRect() const {
  const int p = PositionToPixel(Position_), l = ThumbLength(), top = ScaleToScreen(4);
  if (Orientation_ == trHorizontal) return Bounds(p - l / 2, top, l, ThumbBreadth());
  return Bounds(top, p - l / 2, ThumbBreadth(), l);
}

void TTrackBar::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  TRect ch = GetChannelRect();
  SunkenEdge(c, ch);
  Fill(c, ch, clWindow);
  const bool h = Orientation_ == trHorizontal;
  if (TickStyle_ == tsAuto) {
    const int base = ScaleToScreen(4) + ThumbBreadth() + ScaleToScreen(2), tick = ScaleToScreen(3);
    auto drawTick = [&](int v, int len) {
      const int p = PositionToPixel(v);
      if (h) Fill(c, Rect(p, base, p + 1, base + len), clWindowText);
      else Fill(c, Rect(base, p, base + len, p + 1), clWindowText);
    };
    const int64_t span = int64_t(Max_) - Min_;
    const int64_t step = std::max<int64_t>(Frequency_, 1);
    // No more ticks than pixels: a dense scale draws only its ends.
    if (span / step < int64_t(h ? client.Width() : client.Height()) / 2)
      for (int64_t v = Min_; v <= Max_; v += step) drawTick(int(v), tick);
    drawTick(Min_, tick + 1);
    drawTick(Max_, tick + 1);
  }
  RaisedFace(c, GetThumbRect());
  if (Dragging_) {
    TRect t = GetThumbRect();
    t = Rect(t.Left + 2, t.Top + 2, t.Right - 2, t.Bottom - 2);
    for (int y = t.Top; y < t.Bottom; ++y)
      for (int x = t.Left + ((y - t.Top) & 1); x < t.Right; x += 2) c->SetPixels(x, y, clBtnHighlight);
  }
  if (Focused()) FocusRect(c, client);
}

void TTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int target;
  switch (Key) {
    case VK_RIGHT: case VK_DOWN: target = Position_ + LineSize_; break;
    case VK_LEFT: case VK_UP: target = Position_ - LineSize_; break;
    case VK_NEXT: target = Position_ + PageSize_; break;
    case VK_PRIOR: target = Position_ - PageSize_; break;
    case VK_HOME: target = Min_; break;
    case VK_END: target = Max_; break;
    default: return;
  }
  Key = 0;
  SetPosition(int(std::clamp<int64_t>(target, Min_, Max_)));
}

// One page toward the pointer, unless the thumb has reached it.
void TTrackBar::PageStep(TObject*) {
  if (PageDir_ == 0) return;
  RepeatTimer_->SetInterval(kRepeatMs);
  const TRect t = GetThumbRect();
  const int t0 = Orientation_ == trHorizontal ? t.Left : t.Top;
  const int t1 = Orientation_ == trHorizontal ? t.Right : t.Bottom;
  if ((PageDir_ < 0 && PageTarget_ < t0) || (PageDir_ > 0 && PageTarget_ >= t1))
    SetPosition(int(std::clamp<int64_t>(int64_t(Position_) + int64_t(PageDir_) * PageSize_, Min_, Max_)));
}

void TTrackBar::StopPaging() {
  PageDir_ = 0;
  RepeatTimer_->SetEnabled(false);
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int along = Orientation_ == trHorizontal ? X : Y;
  if (GetThumbRect().Contains({X, Y})) {
    Dragging_ = true;
    DragOffset_ = along - PositionToPixel(Position_);
    Invalidate();
    return;
  }
  PageTarget_ = along;
  PageDir_ = along < PositionToPixel(Position_) ? -1 : 1;
  PageStep(nullptr);
  RepeatTimer_->SetInterval(kRepeatDelayMs);
  RepeatTimer_->SetEnabled(false);
  RepeatTimer_->SetEnabled(true);
}

void TTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const int along = Orientation_ == trHorizontal ? X : Y;
  if (Dragging_) SetPosition(PixelToPosition(along - DragOffset_));
  else if (PageDir_ != 0) PageTarget_ = along;
}

void TTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (Dragging_) Invalidate();
    Dragging_ = false;
    StopPaging();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

bool TTrackBar::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  const int notches = WheelDelta / WHEEL_DELTA;
  if (notches == 0) return false;
  SetPosition(int(std::clamp<int64_t>(int64_t(Position_) - int64_t(notches) * LineSize_, Min_, Max_)));
  return true;
}

void TTrackBar::WMCaptureChanged(TMessage&) {
  if (GetMouseCapture()) return;
  if (Dragging_) Invalidate();
  Dragging_ = false;
  StopPaging();
}

void TTrackBar::Changed() { OnChange(this); }

// ---------------------------------------------------------------------------------------------
// TSpinEdit

namespace {

// A whole number with an optional sign and nothing else, within int.
bool ParseInt(const std::string& S, int& Out) {
  size_t i = 0;
  bool neg = false;
  if (i < S.size() && (S[i] == '-' || S[i] == '+')) neg = S[i++] == '-';
  if (i == S.size()) return false;
  int64_t v = 0;
  for (; i < S.size(); ++i) {
    if (S[i] < '0' || S[i] > '9') return false;
    v = v * 10 + (S[i] - '0');
    if (v > int64_t(INT_MAX) + 1) return false;
  }
  v = neg ? -v : v;
  if (v > INT_MAX || v < INT_MIN) return false;
  Out = int(v);
  return true;
}

}  // namespace

TSpinEdit::TSpinEdit(TComponent* AOwner)
    : TCustomControl(AOwner), Edit_(new TEdit(this)), RepeatTimer_(std::make_unique<TTimer>(nullptr)) {
  ControlStyle_.Exclude(csDoubleClicks);
  ControlStyle_.Exclude(csAcceptsControls);
  RepeatTimer_->SetEnabled(false);
  RepeatTimer_->OnTimer = TNotifyEvent(this, &TSpinEdit::Repeat);
  SetColor(clWindow);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  Edit_->SetBorderStyle(bsNone);
  Edit_->SetTabStop(false);
  Edit_->SetParent(this);
  Edit_->OnChange = TNotifyEvent(this, &TSpinEdit::EditChange);
  Edit_->OnKeyDown = TKeyEvent(this, &TSpinEdit::EditKeyDown);
  Edit_->OnKeyPress = TKeyPressEvent(this, &TSpinEdit::EditKeyPress);
  Edit_->OnEnter = TNotifyEvent(this, &TSpinEdit::EditEnter);
  Edit_->OnExit = TNotifyEvent(this, &TSpinEdit::EditExit);
  SetBounds(0, 0, ScaleToScreen(121), ScaleToScreen(22));
  Edit_->SetText("0");
}

TSpinEdit::~TSpinEdit() {
  Edit_->OnChange = nullptr;
  Edit_->OnExit = nullptr;
}

int TSpinEdit::Clamp(int V) const {
  if (MaxValue_ == MinValue_) return V;
  return std::clamp(V, std::min(MinValue_, MaxValue_), std::max(MinValue_, MaxValue_));
}

void TSpinEdit::SetValue(int Value) {
  Value_ = Clamp(Value);
  const std::string text = std::to_string(Value_);
  if (Edit_->GetText() != text) Edit_->SetText(text);
}

void TSpinEdit::SetMinValue(int Value) {
  MinValue_ = Value;
  SetValue(Value_);
}

void TSpinEdit::SetMaxValue(int Value) {
  MaxValue_ = Value;
  SetValue(Value_);
}

void TSpinEdit::SetText(const std::string& Value) { Edit_->SetText(Value); }
bool TSpinEdit::GetReadOnly() const { return Edit_->GetReadOnly(); }
void TSpinEdit::SetReadOnly(bool Value) { Edit_->SetReadOnly(Value); }
void TSpinEdit::SelectAll() { Edit_->SelectAll(); }

int TSpinEdit::ButtonWidth() const { return std::min(ScaleToScreen(15), GetClientWidth()); }

TRect TSpinEdit::GetUpButtonRect() const {
  const TRect c = GetClientRect();
  return Rect(c.Right - ButtonWidth(), c.Top, c.Right, c.Top + c.Height() / 2);
}

TRect TSpinEdit::GetDownButtonRect() const {
  const TRect c = GetClientRect();
  return Rect(c.Right - ButtonWidth(), c.Top + c.Height() / 2, c.Right, c.Bottom);
}

void TSpinEdit::Step(int Delta) {
  if (GetReadOnly()) return;
  SetValue(int(std::clamp<int64_t>(int64_t(Value_) + int64_t(Delta) * Increment_, INT_MIN, INT_MAX)));
  Edit_->SelectAll();
}

bool TSpinEdit::CanFocus() const { return TCustomControl::CanFocus() && Edit_->CanFocus(); }

void TSpinEdit::SetFocus() {
  if (CanFocus()) Edit_->SetFocus();
}

void TSpinEdit::Paint() {
  TCanvas* c = GetCanvas();
  Fill(c, GetClientRect(), GetColor());
  for (int dir : {1, -1}) {
    const TRect r = dir > 0 ? GetUpButtonRect() : GetDownButtonRect();
    const bool down = HeldButton_ == dir;
    if (down) {
      TRect in = r;
      Fill(c, r, clBtnFace);
      Frame3D(c, in, clBtnShadow, clBtnShadow, 1);
    } else {
      RaisedFace(c, r);
    }
    const TRect a = down ? OffsetRect(r, 1, 1) : r;
    Arrow(c, a, dir > 0 ? 0 : 1, GetEnabled() ? clBtnText : clGrayText);
  }
}

void TSpinEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int dir = GetUpButtonRect().Contains({X, Y}) ? 1 : GetDownButtonRect().Contains({X, Y}) ? -1 : 0;
  if (dir == 0) return;
  HeldButton_ = dir;
  Invalidate();
  Step(dir);
  RepeatTimer_->SetInterval(kRepeatDelayMs);
  RepeatTimer_->SetEnabled(true);
}

void TSpinEdit::Repeat(TObject*) {
  RepeatTimer_->SetInterval(kRepeatMs);
  if (HeldButton_ == 0) return;
  // Steps only while the pointer stays on the button it pressed.
  const TPoint p = ScreenToClient(Application().GetCursorPos());
  const TRect r = HeldButton_ > 0 ? GetUpButtonRect() : GetDownButtonRect();
  if (r.Contains(p)) Step(HeldButton_);
}

void TSpinEdit::StopRepeat() {
  if (HeldButton_ != 0) Invalidate();
  HeldButton_ = 0;
  RepeatTimer_->SetEnabled(false);
}

void TSpinEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) StopRepeat();
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

bool TSpinEdit::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  const int notches = WheelDelta / WHEEL_DELTA;
  if (notches != 0) Step(notches);
  return notches != 0;
}

void TSpinEdit::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  const TRect c = GetClientRect();
  Edit_->SetBounds(0, 0, std::max(0, c.Width() - ButtonWidth()), c.Height());
}

void TSpinEdit::WMCaptureChanged(TMessage&) {
  if (!GetMouseCapture()) StopRepeat();
}

void TSpinEdit::EnabledChanged() {
  TCustomControl::EnabledChanged();
  Edit_->SetEnabled(GetEnabled());
}

void TSpinEdit::FontChanged() {
  TCustomControl::FontChanged();
  Edit_->SetFont(GetFont());
}

void TSpinEdit::EditChange(TObject*) {
  int v;
  if (ParseInt(Edit_->GetText(), v)) Value_ = Clamp(v);
  TCustomControl::SetText(Edit_->GetText());
  OnChange(this);
}

void TSpinEdit::EditKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  OnKeyDown(this, Key, Shift);
  switch (Key) {
    case VK_UP: Step(1); break;
    case VK_DOWN: Step(-1); break;
    case VK_PRIOR: Step(10); break;
    case VK_NEXT: Step(-10); break;
    default: return;
  }
  Key = 0;
}

void TSpinEdit::EditKeyPress(TObject*, char32_t& Key) {
  OnKeyPress(this, Key);
  if (Key == 0 || Key < 32) return;
  if ((Key >= '0' && Key <= '9') || Key == '-' || Key == '+') return;
  Key = 0;  // not part of a number
}

void TSpinEdit::EditEnter(TObject*) { OnEnter(this); }

void TSpinEdit::EditExit(TObject*) {
  const std::string text = std::to_string(Value_);
  if (Edit_->GetText() != text) Edit_->SetText(text);
  OnExit(this);
}

// ---------------------------------------------------------------------------------------------
// TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Include(csAcceptsControls);
  SetVisible(false);
}

TTabSheet::~TTabSheet() {
  if (PageControl_ != nullptr) PageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
  if (PageControl_ == Value) return;
  if (Value != nullptr) {
    SetParent(Value);  // joins through SetParent
  } else {
    PageControl_->RemovePage(this);
    SetParent(nullptr);
  }
}

void TTabSheet::SetParent(TWinControl* AParent) {
  TCustomControl::SetParent(AParent);
  auto* pc = dynamic_cast<TPageControl*>(AParent);
  if (pc == PageControl_) return;
  if (PageControl_ != nullptr) PageControl_->RemovePage(this);
  if (pc != nullptr) pc->InsertPage(this);
}

int TTabSheet::GetPageIndex() const {
  if (PageControl_ == nullptr) return -1;
  const auto& p = PageControl_->Pages_;
  return int(std::find(p.begin(), p.end(), this) - p.begin());
}

void TTabSheet::SetPageIndex(int Value) {
  if (PageControl_ != nullptr) PageControl_->MovePage(this, Value);
}

void TTabSheet::SetTabVisible(bool Value) {
  if (TabVisible_ == Value) return;
  TabVisible_ = Value;
  if (PageControl_ == nullptr) return;
  if (!Value && PageControl_->Active_ == this) PageControl_->ShowActive(PageControl_->FindNextPage(this, true));
  else if (Value && PageControl_->Active_ == nullptr) PageControl_->ShowActive(this);
  PageControl_->Invalidate();
}

void TTabSheet::TextChanged() {
  TCustomControl::TextChanged();
  if (PageControl_ != nullptr) PageControl_->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TPageControl

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Exclude(csDoubleClicks);
  SetTabStop(true);
  SetBounds(0, 0, ScaleToScreen(289), ScaleToScreen(193));
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : Pages_) p->PageControl_ = nullptr;
  Pages_.clear();
  Active_ = nullptr;
}

TTabSheet* TPageControl::GetPage(int Index) const {
  return Index >= 0 && Index < GetPageCount() ? Pages_[size_t(Index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Value) {
  if (Value != nullptr && (Value->PageControl_ != this || !Value->TabVisible_)) return;
  ShowActive(Value);
}

int TPageControl::GetActivePageIndex() const { return Active_ != nullptr ? Active_->GetPageIndex() : -1; }

void TPageControl::SetActivePageIndex(int Value) {
  if (Value == -1) SetActivePage(nullptr);
  else if (TTabSheet* p = GetPage(Value)) SetActivePage(p);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* CurrentPage, bool GoForward) const {
  const int n = GetPageCount();
  if (n == 0) return nullptr;
  int at = CurrentPage != nullptr ? CurrentPage->GetPageIndex() : -1;
  if (at < 0 || at >= n) at = GoForward ? n - 1 : 0;
  for (int step = 1; step <= n; ++step) {
    TTabSheet* p = Pages_[size_t(((at + (GoForward ? step : -step)) % n + n) % n)];
    if (p != CurrentPage && p->TabVisible_) return p;
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool GoForward) {
  if (TTabSheet* p = FindNextPage(Active_, GoForward)) ChangeActivePage(p);
}

int TPageControl::TabHeight() const { return LineHeight(this) + ScaleToScreen(6); }

TRect TPageControl::GetTabRect(int Index) const {
  if (Index < 0 || Index >= GetPageCount() || !Pages_[size_t(Index)]->TabVisible_) return TRect{};
  TCanvas measure;
  measure.SetFont(const_cast<TPageControl*>(this)->GetFont());
  const int pad = ScaleToScreen(6), top = ScaleToScreen(2);
  int x = ScaleToScreen(2);
  for (int i = 0; i < GetPageCount(); ++i) {
    const TTabSheet* p = Pages_[size_t(i)];
    if (!p->TabVisible_) continue;
    const int w = CaptionExtent(&measure, p->GetCaption()).cx + 2 * pad;
    if (i == Index) return Bounds(x, top, w, TabHeight());
    x += w;
  }
  return TRect{};
}

int TPageControl::IndexOfTabAt(int X, int Y) const {
  // The active tab stands out over its neighbours: it wins where they overlap.
  const int active = GetActivePageIndex();
  if (active >= 0) {
    TRect r = GetTabRect(active);
    const int g = ScaleToScreen(2);
    r = Rect(r.Left - g, r.Top - g, r.Right + g, r.Bottom);
    if (r.Contains({X, Y})) return active;
  }
  for (int i = 0; i < GetPageCount(); ++i)
    if (GetTabRect(i).Contains({X, Y})) return i;
  return -1;
}

TRect TPageControl::GetDisplayRect() const {
  const TRect c = GetClientRect();
  const int top = ScaleToScreen(2) + TabHeight(), m = ScaleToScreen(4);
  return Rect(c.Left + m, std::min(c.Bottom, top + m), std::max(c.Left + m, c.Right - m), std::max(top + m, c.Bottom - m));
}

void TPageControl::PlaceSheets() {
  const TRect d = GetDisplayRect();
  for (TTabSheet* p : Pages_) p->SetBounds(d.Left, d.Top, d.Width(), d.Height());
}

void TPageControl::ShowActive(TTabSheet* Page) {
  if (Page == Active_) return;
  TTabSheet* old = Active_;
  const bool hadFocus = old != nullptr && HoldsFocus(old);
  Active_ = Page;
  if (Page != nullptr) {
    const TRect d = GetDisplayRect();
    Page->SetBounds(d.Left, d.Top, d.Width(), d.Height());
    Page->BringToFront();
    Page->SetVisible(true);
  }
  if (old != nullptr) old->SetVisible(false);
  if (hadFocus && CanFocus()) SetFocus();
  Invalidate();
}

bool TPageControl::ChangeActivePage(TTabSheet* Page) {
  if (Page == Active_) return true;
  bool allow = true;
  OnChanging(this, allow);
  if (!allow) return false;
  ShowActive(Page);
  OnChange(this);
  return true;
}

void TPageControl::InsertPage(TTabSheet* Page) {
  Pages_.push_back(Page);
  Page->PageControl_ = this;
  const TRect d = GetDisplayRect();
  Page->SetBounds(d.Left, d.Top, d.Width(), d.Height());
  if (Active_ == nullptr && Page->TabVisible_) ShowActive(Page);
  else Page->SetVisible(false);
  Invalidate();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto it = std::find(Pages_.begin(), Pages_.end(), Page);
  if (it == Pages_.end()) return;
  TTabSheet* next = Active_ == Page ? FindNextPage(Page, true) : Active_;
  Pages_.erase(it);
  Page->PageControl_ = nullptr;
  if (Active_ == Page) {
    Active_ = nullptr;
    const bool hadFocus = HoldsFocus(Page);
    Page->SetVisible(false);
    ShowActive(next);
    if (hadFocus && CanFocus()) SetFocus();
  }
  Invalidate();
}

void TPageControl::MovePage(TTabSheet* Page, int Index) {
  auto it = std::find(Pages_.begin(), Pages_.end(), Page);
  if (it == Pages_.end()) return;
  Pages_.erase(it);
  Index = std::clamp(Index, 0, int(Pages_.size()));
  Pages_.insert(Pages_.begin() + Index, Page);
  Invalidate();
}

bool TPageControl::DialogKey(uint16_t Key, TShiftState Shift) {
  if (Key != VK_TAB || !Shift.Contains(ssCtrl) || !HoldsFocus(this)) return false;
  SelectNextPage(!Shift.Contains(ssShift));
  return true;
}

void TPageControl::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  // The frame round the pages: raised, its top edge along the bottom of the tabs.
  TRect frame = Rect(client.Left, ScaleToScreen(2) + TabHeight(), client.Right, client.Bottom);
  Frame3D(c, frame, clBtnHighlight, cl3DDkShadow, 1);
  Frame3D(c, frame, cl3DLight, clBtnShadow, 1);
  const int g = ScaleToScreen(2);
  const int active = GetActivePageIndex();
  auto drawTab = [&](int i) {
    TRect r = GetTabRect(i);
    if (r.IsEmpty()) return;
    const bool on = i == active;
    if (on) r = Rect(r.Left - g, r.Top - g, r.Right + g, r.Bottom + 1);
    Fill(c, r, GetColor());
    Fill(c, Rect(r.Left, r.Top + 2, r.Left + 1, r.Bottom), clBtnHighlight);
    Fill(c, Rect(r.Left + 1, r.Top + 1, r.Left + 2, r.Top + 2), clBtnHighlight);
    Fill(c, Rect(r.Left + 2, r.Top, r.Right - 2, r.Top + 1), clBtnHighlight);
    Fill(c, Rect(r.Right - 2, r.Top + 1, r.Right - 1, r.Top + 2), cl3DDkShadow);
    Fill(c, Rect(r.Right - 1, r.Top + 2, r.Right, r.Bottom), cl3DDkShadow);
    Fill(c, Rect(r.Right - 2, r.Top + 2, r.Right - 1, r.Bottom), clBtnShadow);
    const TRect text = on ? Rect(r.Left, r.Top, r.Right, r.Bottom - 1) : r;
    DrawCaption(c, text, Pages_[size_t(i)]->GetCaption(), {tfCenter, tfVerticalCenter, tfSingleLine}, GetEnabled(),
                GetFont()->GetColor());
    if (on && Focused()) {
      const int m = ScaleToScreen(3);
      FocusRect(c, Rect(text.Left + m, text.Top + m, text.Right - m, text.Bottom - m + 1));
    }
  };
  for (int i = 0; i < GetPageCount(); ++i)
    if (i != active) drawTab(i);
  if (active >= 0) drawTab(active);
}

void TPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int dir = Key == VK_LEFT || Key == VK_UP ? -1 : Key == VK_RIGHT || Key == VK_DOWN ? 1 : 0;
  if (dir == 0) return;
  Key = 0;
  // Arrows stop at the first and last tab.
  for (int i = GetActivePageIndex() + dir; i >= 0 && i < GetPageCount(); i += dir)
    if (Pages_[size_t(i)]->TabVisible_) {
      ChangeActivePage(Pages_[size_t(i)]);
      return;
    }
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int i = IndexOfTabAt(X, Y);
  if (i >= 0) ChangeActivePage(Pages_[size_t(i)]);
}

void TPageControl::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  PlaceSheets();
}

void TPageControl::FontChanged() {
  TCustomControl::FontChanged();
  PlaceSheets();
}

}  // namespace corvex
