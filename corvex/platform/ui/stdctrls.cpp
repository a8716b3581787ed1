// The standard widgets (first cut: state only; drawing and input follow).
#include "corvex/platform/ui/stdctrls.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"

namespace corvex {

int ScaleToScreen(int Pixels96) {
  const int dpi = Screen().GetPixelsPerInch() > 0 ? Screen().GetPixelsPerInch() : 96;
  return Pixels96 > 0 ? std::max(1, MulDiv(Pixels96, dpi, 96)) : MulDiv(Pixels96, dpi, 96);
}
char32_t GetHotkey(const std::string&) { return 0; }
std::string StripHotkey(const std::string& Caption) { return Caption; }

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TButton::~TButton() = default;
void TButton::SetDefault(bool Value) { Default_ = Value; }
void TButton::SetCancel(bool Value) { Cancel_ = Value; }
bool TButton::IsActiveDefault() const { return false; }
void TButton::Click() { TCustomControl::Click(); }
bool TButton::DialogKey(uint16_t, TShiftState) { return false; }
bool TButton::DialogChar(char32_t) { return false; }
void TButton::Paint() {}
void TButton::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TButton::KeyUp(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyUp(Key, Shift); }
void TButton::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TButton::MouseMove(TShiftState S, int X, int Y) { TCustomControl::MouseMove(S, X, Y); }
void TButton::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
void TButton::WMKillFocus(TMessage& M) { TCustomControl::WMKillFocus(M); }
void TButton::WMSetFocus(TMessage& M) { TCustomControl::WMSetFocus(M); }
void TButton::WMCaptureChanged(TMessage&) {}
void TButton::SetPressed(bool Value) { Pressed_ = Value; }

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {}
TLabel::~TLabel() = default;
void TLabel::SetAlignment(TAlignment Value) { Alignment_ = Value; }
void TLabel::SetLayout(TTextLayout Value) { Layout_ = Value; }
void TLabel::SetWordWrap(bool Value) { WordWrap_ = Value; }
void TLabel::SetAutoSize(bool Value) { AutoSize_ = Value; }
void TLabel::SetTransparent(bool Value) { Transparent_ = Value; }
void TLabel::SetShowAccelChar(bool Value) { ShowAccelChar_ = Value; }
void TLabel::SetFocusControl(TWinControl* Value) { FocusControl_ = Value; }
bool TLabel::DialogChar(char32_t) { return false; }
void TLabel::Notification(TComponent* C, TOperation O) {
  TGraphicControl::Notification(C, O);
  if (O == opRemove && C == FocusControl_) FocusControl_ = nullptr;
}
void TLabel::Paint() {}
void TLabel::TextChanged() { Invalidate(); }
void TLabel::FontChanged() { Invalidate(); }
void TLabel::Resize() { TGraphicControl::Resize(); }
void TLabel::AdjustBounds() {}

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TCheckBox::~TCheckBox() = default;
void TCheckBox::SetState(TCheckBoxState Value) {
  if (State_ == Value) return;
  State_ = Value;
  Invalidate();
  TCustomControl::Click();
}
void TCheckBox::SetAlignment(TAlignment Value) { Alignment_ = Value; }
TRect TCheckBox::GetBoxRect() const { return TRect{}; }
void TCheckBox::Toggle() { SetChecked(!GetChecked()); }
bool TCheckBox::DialogChar(char32_t) { return false; }
void TCheckBox::Paint() {}
void TCheckBox::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyUp(Key, Shift); }
void TCheckBox::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TCheckBox::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
void TCheckBox::WMCaptureChanged(TMessage&) {}

TRadioButton::TRadioButton(TComponent* AOwner) : TCustomControl(AOwner) {}
TRadioButton::~TRadioButton() = default;
void TRadioButton::SetChecked(bool Value) { Checked_ = Value; }
void TRadioButton::SetAlignment(TAlignment Value) { Alignment_ = Value; }
TRect TRadioButton::GetBoxRect() const { return TRect{}; }
bool TRadioButton::DialogChar(char32_t) { return false; }
void TRadioButton::SetParent(TWinControl* AParent) { TCustomControl::SetParent(AParent); }
void TRadioButton::Paint() {}
void TRadioButton::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TRadioButton::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TRadioButton::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseUp(B, S, X, Y); }
void TRadioButton::WMCaptureChanged(TMessage&) {}
std::vector<TRadioButton*> TRadioButton::Siblings() const { return {}; }
void TRadioButton::UpdateTabStops() {}

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {}
TGroupBox::~TGroupBox() = default;
bool TGroupBox::DialogChar(char32_t) { return false; }
TRect TGroupBox::GetContentRect() const { return GetClientRect(); }
void TGroupBox::Paint() {}

TRadioGroup::TRadioGroup(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
TRadioGroup::~TRadioGroup() = default;
void TRadioGroup::SetItems(const std::vector<std::string>& Value) { Items_ = Value; }
void TRadioGroup::SetItemIndex(int Value) { ItemIndex_ = Value; }
void TRadioGroup::SetColumns(int Value) { Columns_ = Value; }
TRect TRadioGroup::GetItemRect(int) const { return TRect{}; }
bool TRadioGroup::DialogChar(char32_t) { return false; }
void TRadioGroup::Paint() {}
void TRadioGroup::KeyDown(uint16_t& Key, TShiftState Shift) { TCustomControl::KeyDown(Key, Shift); }
void TRadioGroup::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TCustomControl::MouseDown(B, S, X, Y); }
void TRadioGroup::WMSetFocus(TMessage& M) { TCustomControl::WMSetFocus(M); }
int TRadioGroup::ItemAt(int, int) const { return -1; }

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {}
TPanel::~TPanel() = default;
void TPanel::SetBevelOuter(TBevelCut Value) { BevelOuter_ = Value; }
void TPanel::SetBevelInner(TBevelCut Value) { BevelInner_ = Value; }
void TPanel::SetBevelWidth(int Value) { BevelWidth_ = std::max(1, Value); }
void TPanel::SetAlignment(TAlignment Value) { Alignment_ = Value; }
void TPanel::Paint() {}

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), Glyph_(std::make_unique<TBitmap>()) {}
TSpeedButton::~TSpeedButton() = default;
void TSpeedButton::SetGroupIndex(int Value) { GroupIndex_ = Value; }
void TSpeedButton::SetDown(bool Value) { Down_ = Value; }
void TSpeedButton::SetAllowAllUp(bool Value) { AllowAllUp_ = Value; }
void TSpeedButton::SetFlat(bool Value) { Flat_ = Value; }
void TSpeedButton::SetGlyph(const TBitmap* Value) { Glyph_->Assign(Value); }
void TSpeedButton::SetLayout(TButtonLayout Value) { Layout_ = Value; }
void TSpeedButton::SetSpacing(int Value) { Spacing_ = Value; }
void TSpeedButton::Click() { TGraphicControl::Click(); }
void TSpeedButton::Paint() {}
void TSpeedButton::MouseDown(TMouseButton B, TShiftState S, int X, int Y) { TGraphicControl::MouseDown(B, S, X, Y); }
void TSpeedButton::MouseMove(TShiftState S, int X, int Y) { TGraphicControl::MouseMove(S, X, Y); }
void TSpeedButton::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TGraphicControl::MouseUp(B, S, X, Y); }
void TSpeedButton::WndProc(TMessage& M) { TGraphicControl::WndProc(M); }
void TSpeedButton::UpdateGroup() {}

}  // namespace corvex
