// The standard widgets: push button, label, check box, radio button and group, group box and
// panel (the speed button is in stdctrls_speedbutton.cpp).
#include "corvex/platform/ui/stdctrls.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/widgets_pvt.h"

namespace corvex {

using namespace widgets_pvt;

int ScaleToScreen(int Pixels96) {
  const int dpi = Screen().GetPixelsPerInch() > 0 ? Screen().GetPixelsPerInch() : 96;
  const int v = MulDiv(Pixels96, dpi, 96);
  return Pixels96 > 0 ? std::max(1, v) : v;
}

char32_t GetHotkey(const std::string& Caption) {
  for (size_t i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != '&') continue;
    if (Caption[i + 1] == '&') {
      ++i;  // a literal "&"
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(Caption[i + 1]);
    if (c >= 'A' && c <= 'Z') return char32_t(c + 32);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return char32_t(c);
    return 0;
  }
  return 0;
}

std::string StripHotkey(const std::string& Caption) {
  std::string out;
  for (size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == '&') {
      if (i + 1 < Caption.size() && Caption[i + 1] == '&') ++i;
      else continue;
    }
    out += Caption[i];
  }
  return out;
}

namespace {

TTextFormat AlignFormat(TAlignment A) {
  return A == taCenter ? TTextFormat{tfCenter} : A == taRightJustify ? TTextFormat{tfRight} : TTextFormat{tfLeft};
}

// The text rectangle of a check box or radio button caption beside its square.
TRect CaptionRect(const TRect& Client, TAlignment A) {
  const int box = CheckSize(), gap = ScaleToScreen(4);
  if (A == taLeftJustify) return Rect(Client.Left, Client.Top, Client.Right - box - gap, Client.Bottom);
  return Rect(Client.Left + box + gap, Client.Top, Client.Right, Client.Bottom);
}

// A focus rectangle fitted round a single-line caption drawn at the vertical centre of R.
TRect CaptionFocusRect(TCanvas* Canvas, const TRect& R, const std::string& Caption) {
  const TSize ext = CaptionExtent(Canvas, Caption);
  const int w = std::min(int(ext.cx), R.Width()), h = ext.cy;
  const int x = R.Left;
  const int y = R.Top + (R.Height() - h) / 2;
  return Rect(x - 1, y - 1, x + w + 1, y + h + 1);
}

// Invalidates the buttons of a form (which of them draws the default frame follows the focus).
void InvalidateButtons(TWinControl* W) {
  if (W == nullptr) return;
  for (int i = 0; i < W->GetControlCount(); ++i) {
    TControl* c = W->GetControl(i);
    if (dynamic_cast<TButton*>(c) != nullptr) c->Invalidate();
    if (auto* w = dynamic_cast<TWinControl*>(c)) InvalidateButtons(w);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetBounds(0, 0, ScaleToScreen(75), ScaleToScreen(25));
}

TButton::~TButton() = default;

void TButton::SetDefault(bool Value) {
  if (Default_ == Value) return;
  Default_ = Value;
  Invalidate();
}

void TButton::SetCancel(bool Value) { Cancel_ = Value; }

bool TButton::IsActiveDefault() const {
  if (Focused()) return true;
  if (!Default_) return false;
  TWinControl* f = Application().GetFocusedControl();
  auto* b = dynamic_cast<TButton*>(f);
  return b == nullptr || b->GetParentForm() != GetParentForm();
}

void TButton::Click() {
  // The form first, as the toolkit does: OnClick may look at (or reset) the modal result.
  if (ModalResult_ != mrNone)
    if (TForm* f = GetParentForm()) f->SetModalResult(ModalResult_);
  TCustomControl::Click();
}

bool TButton::DialogKey(uint16_t Key, TShiftState Shift) {
  if (Shift.Contains(ssCtrl) || Shift.Contains(ssAlt)) return false;
  if (Key == VK_RETURN && IsActiveDefault()) {
    Click();
    return true;
  }
  if (Key == VK_ESCAPE && Cancel_) {
    Click();
    return true;
  }
  return false;
}

bool TButton::DialogChar(char32_t Key) {
  if (Key == 0 || GetHotkey(GetCaption()) != Key || !CanFocus()) return false;
  Click();
  return true;
}

void TButton::SetPressed(bool Value) {
  if (Pressed_ == Value) return;
  Pressed_ = Value;
  Invalidate();
}

void TButton::Paint() {
  TCanvas* c = GetCanvas();
  TRect r = GetClientRect();
  Fill(c, r, GetColor());
  if (IsActiveDefault()) Frame3D(c, r, clWindowFrame, clWindowFrame, 1);
  if (Pressed_) {
    Frame3D(c, r, clBtnShadow, clBtnShadow, 1);
    Fill(c, r, clBtnFace);
  } else {
    RaisedFace(c, r);
  }
  TRect text = GetClientRect();
  if (Pressed_) text = OffsetRect(text, 1, 1);
  DrawCaption(c, text, GetCaption(), {tfCenter, tfVerticalCenter, tfSingleLine}, GetEnabled(), GetFont()->GetColor());
  if (Focused()) {
    const int m = ScaleToScreen(4);
    const TRect f = GetClientRect();
    FocusRect(c, Rect(f.Left + m, f.Top + m, f.Right - m, f.Bottom - m));
  }
}

void TButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && !Shift.Contains(ssAlt)) {
    SpaceHeld_ = true;
    SetPressed(true);
    Key = 0;
  } else if (Key == VK_RETURN) {
    // Outside a form nothing else takes Enter: the focused button clicks.
    Key = 0;
    Click();
  }
}

void TButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && SpaceHeld_) {
    SpaceHeld_ = false;
    SetPressed(MouseHeld_);
    Click();
  }
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) {
    MouseHeld_ = true;
    SetPressed(true);
  }
}

void TButton::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (MouseHeld_) SetPressed(GetClientRect().Contains({X, Y}) || SpaceHeld_);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && MouseHeld_) {
    MouseHeld_ = false;
    SetPressed(SpaceHeld_);
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TButton::WMSetFocus(TMessage& Message) {
  TCustomControl::WMSetFocus(Message);
  InvalidateButtons(GetParentForm());
}

void TButton::WMKillFocus(TMessage& Message) {
  SpaceHeld_ = false;
  SetPressed(MouseHeld_);
  TCustomControl::WMKillFocus(Message);
  InvalidateButtons(GetParentForm());
}

void TButton::WMCaptureChanged(TMessage&) {
  if (!GetMouseCapture() && MouseHeld_ && Application().GetShiftState().Contains(ssLeft)) {
    MouseHeld_ = false;
    SetPressed(SpaceHeld_);
  }
}

// ---------------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  ControlStyle_.Exclude(csCaptureMouse);
  SetBounds(0, 0, ScaleToScreen(65), ScaleToScreen(17));
  AdjustBounds();
}

TLabel::~TLabel() = default;

void TLabel::SetAlignment(TAlignment Value) {
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout Value) {
  if (Layout_ == Value) return;
  Layout_ = Value;
  Invalidate();
}

void TLabel::SetWordWrap(bool Value) {
  if (WordWrap_ == Value) return;
  WordWrap_ = Value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetAutoSize(bool Value) {
  if (AutoSize_ == Value) return;
  AutoSize_ = Value;
  AdjustBounds();
}

void TLabel::SetTransparent(bool Value) {
  if (Transparent_ == Value) return;
  Transparent_ = Value;
  Invalidate();
}

void TLabel::SetShowAccelChar(bool Value) {
  if (ShowAccelChar_ == Value) return;
  ShowAccelChar_ = Value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetFocusControl(TWinControl* Value) {
  if (FocusControl_ != nullptr) FocusControl_->RemoveFreeNotification(this);
  FocusControl_ = Value;
  if (Value != nullptr) Value->FreeNotification(this);
}

bool TLabel::DialogChar(char32_t Key) {
  if (!ShowAccelChar_ || Key == 0 || GetHotkey(GetCaption()) != Key) return false;
  if (FocusControl_ == nullptr || !FocusControl_->CanFocus()) return false;
  FocusControl_->SetFocus();
  return true;
}

void TLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FocusControl_) FocusControl_ = nullptr;
}

void TLabel::Paint() {
  TCanvas* c = GetCanvas();
  const TRect r = GetClientRect();
  if (!Transparent_) Fill(c, r, GetColor());
  TTextFormat f = AlignFormat(Alignment_);
  if (WordWrap_) f.Include(tfWordBreak);
  if (!ShowAccelChar_) f.Include(tfNoPrefix);
  if (Layout_ == tlCenter) f.Include(tfVerticalCenter);
  if (Layout_ == tlBottom) f.Include(tfBottom);
  DrawCaption(c, r, GetCaption(), f, GetEnabled(), GetFont()->GetColor());
}

void TLabel::TextChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::FontChanged() {
  AdjustBounds();
  Invalidate();
}

// An auto-sized label snaps back to its text when code sizes it (a wrapped one keeps the width).
void TLabel::Resize() {
  TGraphicControl::Resize();
  if (!Adjusting_) AdjustBounds();
}

// AutoSize: the size of the text (a wrapped label keeps its width); a right-aligned label keeps
// its right edge, a centred one its centre.
void TLabel::AdjustBounds() {
  if (!AutoSize_ || Adjusting_) return;
  Adjusting_ = true;
  TCanvas measure;
  measure.SetFont(GetFont());
  TRect r = Rect(0, 0, WordWrap_ ? std::max(1, Width_) : 1 << 20, 0);
  std::string text = GetCaption().empty() ? std::string(" ") : GetCaption();
  TTextFormat f{tfCalcRect};
  if (WordWrap_) f.Include(tfWordBreak);
  if (!ShowAccelChar_) f.Include(tfNoPrefix);
  measure.TextRect(r, text, f);
  const int w = WordWrap_ ? Width_ : (GetCaption().empty() ? 0 : r.Width());
  int left = Left_;
  if (!WordWrap_ && Alignment_ == taRightJustify) left = Left_ + Width_ - w;
  if (!WordWrap_ && Alignment_ == taCenter) left = Left_ + (Width_ - w) / 2;
  SetBounds(left, Top_, w, r.Height());
  Adjusting_ = false;
}

// ---------------------------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Exclude(csClickEvents);  // OnClick follows State, not clicks
  ControlStyle_.Exclude(csDoubleClicks);
  SetTabStop(true);
  SetBounds(0, 0, ScaleToScreen(97), ScaleToScreen(17));
}

TCheckBox::~TCheckBox() = default;

void TCheckBox::SetState(TCheckBoxState Value) {
  if (State_ == Value) return;
  State_ = Value;
  Invalidate();
  Click();
}

void TCheckBox::SetAlignment(TAlignment Value) {
  if (Value == taCenter) Value = taRightJustify;
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  Invalidate();
}

TRect TCheckBox::GetBoxRect() const {
  const TRect c = GetClientRect();
  const int s = CheckSize();
  const int x = Alignment_ == taLeftJustify ? c.Right - s : c.Left;
  return Bounds(x, c.Top + (c.Height() - s) / 2, s, s);
}

void TCheckBox::Toggle() {
  switch (State_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(AllowGrayed_ ? cbGrayed : cbUnchecked); break;
    default: SetState(cbUnchecked); break;
  }
}

bool TCheckBox::DialogChar(char32_t Key) {
  if (Key == 0 || GetHotkey(GetCaption()) != Key || !CanFocus()) return false;
  SetFocus();
  Toggle();
  return true;
}

void TCheckBox::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  CheckBox(c, GetBoxRect(), int(State_), GetEnabled(), Pressed_);
  const TRect text = CaptionRect(client, Alignment_);
  DrawCaption(c, text, GetCaption(), {tfLeft, tfVerticalCenter, tfSingleLine}, GetEnabled(), GetFont()->GetColor());
  if (Focused()) FocusRect(c, CaptionFocusRect(c, text, GetCaption()));
}

void TCheckBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    Pressed_ = true;
    Invalidate();
    Key = 0;
  }
}

void TCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && Pressed_) {
    Pressed_ = false;
    Invalidate();
    Toggle();
  }
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  Pressed_ = true;
  Invalidate();
}

void TCheckBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool toggle = Button == mbLeft && Pressed_ && GetClientRect().Contains({X, Y});
  if (Button == mbLeft && Pressed_) {
    Pressed_ = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (toggle) Toggle();
}

void TCheckBox::WMCaptureChanged(TMessage&) {
  // Taken away while the button is still held (a release gives the capture up first: no change).
  if (!GetMouseCapture() && Pressed_ && Application().GetShiftState().Contains(ssLeft)) {
    Pressed_ = false;
    Invalidate();
  }
}

// ---------------------------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Exclude(csClickEvents);
  ControlStyle_.Exclude(csDoubleClicks);
  SetBounds(0, 0, ScaleToScreen(113), ScaleToScreen(17));
}

TRadioButton::~TRadioButton() = default;

std::vector<TRadioButton*> TRadioButton::Siblings() const {
  std::vector<TRadioButton*> list;
  if (GetParent() == nullptr) return list;
  for (int i = 0; i < GetParent()->GetControlCount(); ++i)
    if (auto* r = dynamic_cast<TRadioButton*>(GetParent()->GetControl(i))) list.push_back(r);
  return list;
}

// Only the checked button of a group is a tab stop; with none checked, the first one.
void TRadioButton::UpdateTabStops() {
  const std::vector<TRadioButton*> group = Siblings();
  const bool any = std::any_of(group.begin(), group.end(), [](const TRadioButton* r) { return r->Checked_; });
  for (size_t i = 0; i < group.size(); ++i) group[i]->SetTabStop(any ? group[i]->Checked_ : i == 0);
  if (group.empty()) SetTabStop(true);
}

void TRadioButton::SetChecked(bool Value) {
  if (Checked_ == Value) return;
  Checked_ = Value;
  Invalidate();
  if (Value)
    for (TRadioButton* r : Siblings())
      if (r != this && r->Checked_) {
        r->Checked_ = false;
        r->Invalidate();
      }
  UpdateTabStops();
  if (Value) Click();
}

void TRadioButton::SetAlignment(TAlignment Value) {
  if (Value == taCenter) Value = taRightJustify;
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  Invalidate();
}

TRect TRadioButton::GetBoxRect() const {
  const TRect c = GetClientRect();
  const int s = CheckSize();
  const int x = Alignment_ == taLeftJustify ? c.Right - s : c.Left;
  return Bounds(x, c.Top + (c.Height() - s) / 2, s, s);
}

bool TRadioButton::DialogChar(char32_t Key) {
  if (Key == 0 || GetHotkey(GetCaption()) != Key || !CanFocus()) return false;
  SetFocus();
  SetChecked(true);
  return true;
}

void TRadioButton::SetParent(TWinControl* AParent) {
  TCustomControl::SetParent(AParent);
  UpdateTabStops();
}

void TRadioButton::Paint() {
  TCanvas* c = GetCanvas();
  const TRect client = GetClientRect();
  Fill(c, client, GetColor());
  RadioCircle(c, GetBoxRect(), Checked_, GetEnabled(), Pressed_);
  const TRect text = CaptionRect(client, Alignment_);
  DrawCaption(c, text, GetCaption(), {tfLeft, tfVerticalCenter, tfSingleLine}, GetEnabled(), GetFont()->GetColor());
  if (Focused()) FocusRect(c, CaptionFocusRect(c, text, GetCaption()));
}

void TRadioButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    Key = 0;
    SetChecked(true);
    return;
  }
  const int dir = Key == VK_UP || Key == VK_LEFT ? -1 : Key == VK_DOWN || Key == VK_RIGHT ? 1 : 0;
  if (dir == 0) return;
  Key = 0;
  std::vector<TRadioButton*> group = Siblings();
  group.erase(std::remove_if(group.begin(), group.end(), [this](TRadioButton* r) { return r != this && !r->CanFocus(); }),
              group.end());
  const auto it = std::find(group.begin(), group.end(), this);
  if (group.size() < 2 || it == group.end()) return;
  const int n = int(group.size());
  TRadioButton* next = group[size_t(((it - group.begin()) + dir + n) % n)];
  next->SetFocus();
  next->SetChecked(true);
}

void TRadioButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  Pressed_ = true;
  Invalidate();
}

void TRadioButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool check = Button == mbLeft && Pressed_ && GetClientRect().Contains({X, Y});
  if (Button == mbLeft && Pressed_) {
    Pressed_ = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (check) SetChecked(true);
}

void TRadioButton::WMCaptureChanged(TMessage&) {
  // Taken away while the button is still held (a release gives the capture up first: no change).
  if (!GetMouseCapture() && Pressed_ && Application().GetShiftState().Contains(ssLeft)) {
    Pressed_ = false;
    Invalidate();
  }
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

namespace {

// The etched frame of a group box with its caption cut into the top edge.
void PaintGroupFrame(TCanvas* C, const TControl* Box, const std::string& Caption, TColor Color, bool Enabled) {
  const TRect client = Box->GetClientRect();
  Fill(C, client, Color);
  const int h = C->TextHeight(std::string());
  TRect r = Rect(client.Left, client.Top + h / 2, client.Right, client.Bottom);
  // Etched: a shadow rectangle with a highlight one pixel right of and below it.
  TRect outer = r;
  Frame3D(C, outer, clBtnShadow, clBtnHighlight, 1);
  Frame3D(C, outer, clBtnHighlight, clBtnShadow, 1);
  if (Caption.empty()) return;
  const int x = client.Left + ScaleToScreen(8);
  const TSize ext = CaptionExtent(C, Caption);
  const int pad = ScaleToScreen(2);
  Fill(C, Rect(x - pad, client.Top, x + ext.cx + pad, client.Top + h), Color);
  DrawCaption(C, Rect(x, client.Top, x + ext.cx + 1, client.Top + h), Caption, {tfLeft, tfSingleLine}, Enabled);
}

TRect GroupContentRect(const TControl* Box) {
  const TRect c = Box->GetClientRect();
  const int h = LineHeight(Box), m = ScaleToScreen(8);
  return Rect(c.Left + m, c.Top + h + ScaleToScreen(2), std::max(c.Left + m, c.Right - m), std::max(c.Top + h, c.Bottom - m));
}

}  // namespace

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Include(csAcceptsControls);
  SetBounds(0, 0, ScaleToScreen(185), ScaleToScreen(105));
}

TGroupBox::~TGroupBox() = default;

bool TGroupBox::DialogChar(char32_t Key) {
  if (Key == 0 || GetHotkey(GetCaption()) != Key) return false;
  if (TWinControl* first = FindNextControl(nullptr, true)) {
    first->SetFocus();
    return true;
  }
  return false;
}

TRect TGroupBox::GetContentRect() const { return GroupContentRect(this); }

void TGroupBox::Paint() { PaintGroupFrame(GetCanvas(), this, GetCaption(), GetColor(), GetEnabled()); }

// ---------------------------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Exclude(csClickEvents);
  ControlStyle_.Exclude(csDoubleClicks);
  SetTabStop(true);
  SetBounds(0, 0, ScaleToScreen(185), ScaleToScreen(105));
}

TRadioGroup::~TRadioGroup() = default;

void TRadioGroup::SetItems(const std::vector<std::string>& Value) {
  Items_ = Value;
  FocusItem_ = std::clamp(FocusItem_, 0, std::max(0, int(Items_.size()) - 1));
  Invalidate();
  if (ItemIndex_ >= int(Items_.size())) SetItemIndex(-1);
}

void TRadioGroup::SetItemIndex(int Value) {
  if (Value < -1 || Value >= int(Items_.size()) || Value == ItemIndex_) return;
  ItemIndex_ = Value;
  if (Value >= 0) FocusItem_ = Value;
  Invalidate();
  Click();
}

void TRadioGroup::SetColumns(int Value) {
  Value = std::clamp(Value, 1, 16);
  if (Columns_ == Value) return;
  Columns_ = Value;
  Invalidate();
}

TRect TRadioGroup::GetItemRect(int I) const {
  const int n = int(Items_.size());
  if (I < 0 || I >= n) return TRect{};
  const TRect area = GroupContentRect(this);
  const int rows = (n + Columns_ - 1) / Columns_;
  const int col = I / rows, row = I % rows;
  const int colW = area.Width() / Columns_;
  // Rows share the height evenly, each at least one line high.
  const int rowH = std::max(LineHeight(this) + ScaleToScreen(2), area.Height() / std::max(rows, 1));
  return Bounds(area.Left + col * colW, area.Top + row * rowH, colW, rowH);
}

int TRadioGroup::ItemAt(int X, int Y) const {
  for (int i = 0; i < int(Items_.size()); ++i)
    if (GetItemRect(i).Contains({X, Y})) return i;
  return -1;
}

bool TRadioGroup::DialogChar(char32_t Key) {
  if (Key == 0 || !CanFocus()) return false;
  for (int i = 0; i < int(Items_.size()); ++i)
    if (GetHotkey(Items_[size_t(i)]) == Key) {
      SetFocus();
      SetItemIndex(i);
      return true;
    }
  if (GetHotkey(GetCaption()) != Key) return false;
  SetFocus();
  return true;
}

void TRadioGroup::Paint() {
  TCanvas* c = GetCanvas();
  PaintGroupFrame(c, this, GetCaption(), GetColor(), GetEnabled());
  const int s = CheckSize(), gap = ScaleToScreen(4);
  const int focus = ItemIndex_ >= 0 ? ItemIndex_ : FocusItem_;
  for (int i = 0; i < int(Items_.size()); ++i) {
    const TRect r = GetItemRect(i);
    RadioCircle(c, Bounds(r.Left, r.Top + (r.Height() - s) / 2, s, s), i == ItemIndex_, GetEnabled(), false);
    const TRect text = Rect(r.Left + s + gap, r.Top, r.Right, r.Bottom);
    DrawCaption(c, text, Items_[size_t(i)], {tfLeft, tfVerticalCenter, tfSingleLine}, GetEnabled(), GetFont()->GetColor());
    if (Focused() && i == focus) FocusRect(c, CaptionFocusRect(c, text, Items_[size_t(i)]));
  }
}

void TRadioGroup::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int n = int(Items_.size());
  const int dir = Key == VK_UP || Key == VK_LEFT ? -1 : Key == VK_DOWN || Key == VK_RIGHT ? 1 : 0;
  if (n == 0) return;
  if (dir != 0) {
    Key = 0;
    const int from = ItemIndex_ >= 0 ? ItemIndex_ : FocusItem_ - dir;
    SetItemIndex(((from + dir) % n + n) % n);
  } else if (Key == VK_SPACE) {
    Key = 0;
    SetItemIndex(ItemIndex_ >= 0 ? ItemIndex_ : FocusItem_);
  }
}

void TRadioGroup::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int i = ItemAt(X, Y);
  if (i >= 0) SetItemIndex(i);
}

void TRadioGroup::WMSetFocus(TMessage& Message) {
  TCustomControl::WMSetFocus(Message);
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle_.Include(csAcceptsControls);
  SetBounds(0, 0, ScaleToScreen(185), ScaleToScreen(41));
}

TPanel::~TPanel() = default;

void TPanel::SetBevelOuter(TBevelCut Value) {
  if (BevelOuter_ == Value) return;
  BevelOuter_ = Value;
  Invalidate();
}

void TPanel::SetBevelInner(TBevelCut Value) {
  if (BevelInner_ == Value) return;
  BevelInner_ = Value;
  Invalidate();
}

void TPanel::SetBevelWidth(int Value) {
  Value = std::max(1, Value);
  if (BevelWidth_ == Value) return;
  BevelWidth_ = Value;
  Invalidate();
}

void TPanel::SetAlignment(TAlignment Value) {
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  Invalidate();
}

void TPanel::Paint() {
  TCanvas* c = GetCanvas();
  TRect r = GetClientRect();
  Fill(c, r, GetColor());
  const int w = ScaleToScreen(BevelWidth_);
  for (TBevelCut cut : {BevelOuter_, BevelInner_}) {
    if (cut == bvRaised) Frame3D(c, r, clBtnHighlight, clBtnShadow, w);
    else if (cut == bvLowered) Frame3D(c, r, clBtnShadow, clBtnHighlight, w);
    else if (cut == bvSpace) Frame3D(c, r, GetColor(), GetColor(), w);
  }
  const int m = ScaleToScreen(2);
  r = Rect(r.Left + m, r.Top, r.Right - m, r.Bottom);
  DrawCaption(c, r, GetCaption(), AlignFormat(Alignment_) + TTextFormat{tfVerticalCenter, tfSingleLine}, GetEnabled(),
              GetFont()->GetColor());
}

}  // namespace corvex
