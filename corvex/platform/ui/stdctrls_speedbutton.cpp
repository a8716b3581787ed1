// TSpeedButton: the tool button without a window, its groups, its glyph and its flat look.
#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/platform/ui/widgets_pvt.h"

namespace corvex {

using namespace widgets_pvt;

// ---------------------------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), Glyph_(std::make_unique<TBitmap>()) {
  SetBounds(0, 0, ScaleToScreen(23), ScaleToScreen(22));
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGroupIndex(int Value) {
  if (GroupIndex_ == Value) return;
  GroupIndex_ = Value;
  if (GroupIndex_ == 0) Down_ = false;
  if (Down_) UpdateGroup();
  Invalidate();
}

// The other buttons of the group go up; the group shares AllowAllUp.
void TSpeedButton::UpdateGroup() {
  if (GroupIndex_ == 0 || GetParent() == nullptr) return;
  for (int i = 0; i < GetParent()->GetControlCount(); ++i) {
    auto* b = dynamic_cast<TSpeedButton*>(GetParent()->GetControl(i));
    if (b == nullptr || b == this || b->GroupIndex_ != GroupIndex_) continue;
    if (Down_ && b->Down_) {
      b->Down_ = false;
      b->Invalidate();
    }
    b->AllowAllUp_ = AllowAllUp_;
  }
}

void TSpeedButton::SetDown(bool Value) {
  if (GroupIndex_ == 0) Value = false;
  if (Value == Down_) return;
  if (Down_ && !AllowAllUp_) return;  // one button of such a group always stays down
  Down_ = Value;
  Invalidate();
  if (Value) UpdateGroup();
}

void TSpeedButton::SetAllowAllUp(bool Value) {
  if (AllowAllUp_ == Value) return;
  AllowAllUp_ = Value;
  UpdateGroup();
}

void TSpeedButton::SetFlat(bool Value) {
  if (Flat_ == Value) return;
  Flat_ = Value;
  Invalidate();
}

void TSpeedButton::SetGlyph(const TBitmap* Value) {
  Glyph_->Assign(Value);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout Value) {
  if (Layout_ == Value) return;
  Layout_ = Value;
  Invalidate();
}

void TSpeedButton::SetSpacing(int Value) {
  if (Spacing_ == Value) return;
  Spacing_ = Value;
  Invalidate();
}

void TSpeedButton::Click() {
  if (GroupIndex_ != 0) {
    if (!Down_) SetDown(true);
    else if (AllowAllUp_) SetDown(false);
  }
  TGraphicControl::Click();
}

void TSpeedButton::Paint() {
  TCanvas* c = GetCanvas();
  TRect r = GetClientRect();
  const bool sunk = Down_ || Pressed_;
  if (Flat_) {
    Fill(c, r, GetColor());
    if (sunk) Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    else if (Hot_ && GetEnabled()) Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  } else if (sunk) {
    Fill(c, r, clBtnFace);
    Frame3D(c, r, cl3DDkShadow, clBtnHighlight, 1);
    Frame3D(c, r, clBtnShadow, cl3DLight, 1);
  } else {
    RaisedFace(c, r);
    r = Rect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2);
  }
  // A button held down (not pressed by the mouse) shows the checked dither of the toolkit.
  if (Down_ && !Pressed_) {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left + ((y - r.Top) & 1); x < r.Right; x += 2) c->SetPixels(x, y, clBtnHighlight);
  }
  // Glyph and caption as one block centred in the button, pushed one pixel while sunk.
  const TRect client = GetClientRect();
  const int off = sunk ? 1 : 0;
  const bool glyph = !Glyph_->GetEmpty();
  const std::string& caption = GetCaption();
  const TSize text = caption.empty() ? TSize{0, 0} : CaptionExtent(c, caption);
  const int gw = glyph ? Glyph_->GetWidth() : 0, gh = glyph ? Glyph_->GetHeight() : 0;
  const int space = glyph && !caption.empty() ? ScaleToScreen(Spacing_) : 0;
  const bool horizontal = Layout_ == blGlyphLeft || Layout_ == blGlyphRight;
  const int bw = horizontal ? gw + space + text.cx : std::max(gw, int(text.cx));
  const int bh = horizontal ? std::max(gh, int(text.cy)) : gh + space + text.cy;
  const int bx = client.Left + (client.Width() - bw) / 2 + off, by = client.Top + (client.Height() - bh) / 2 + off;
  TPoint gp, tp;
  switch (Layout_) {
    case blGlyphLeft: gp = {bx, by + (bh - gh) / 2}; tp = {bx + gw + space, by + (bh - int(text.cy)) / 2}; break;
    case blGlyphRight: tp = {bx, by + (bh - int(text.cy)) / 2}; gp = {bx + int(text.cx) + space, by + (bh - gh) / 2}; break;
    case blGlyphTop: gp = {bx + (bw - gw) / 2, by}; tp = {bx + (bw - int(text.cx)) / 2, by + gh + space}; break;
    default: tp = {bx + (bw - int(text.cx)) / 2, by}; gp = {bx + (bw - gw) / 2, by + int(text.cy) + space}; break;
  }
  if (glyph) {
    // The bottom-left pixel is the transparent colour; disabled glyphs are embossed.
    const TColor transparent = Glyph_->GetCanvas()->GetPixels(0, gh - 1);
    TCanvas* g = Glyph_->GetCanvas();
    for (int y = 0; y < gh; ++y)
      for (int x = 0; x < gw; ++x) {
        const TColor p = g->GetPixels(x, y);
        if (p == transparent) continue;
        if (GetEnabled()) {
          c->SetPixels(gp.X + x, gp.Y + y, p);
        } else {
          c->SetPixels(gp.X + x + 1, gp.Y + y + 1, clBtnHighlight);
        }
      }
    if (!GetEnabled())
      for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x)
          if (g->GetPixels(x, y) != transparent) c->SetPixels(gp.X + x, gp.Y + y, clBtnShadow);
  }
  if (!caption.empty())
    DrawCaption(c, Bounds(tp.X, tp.Y, text.cx + 1, text.cy), caption, {tfLeft, tfSingleLine}, GetEnabled(),
                GetFont()->GetColor());
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !GetEnabled()) return;
  Held_ = Pressed_ = true;
  Invalidate();
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!Held_) return;
  const bool inside = GetClientRect().Contains({X, Y});
  if (inside != Pressed_) {
    Pressed_ = inside;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Held_) {
    Held_ = Pressed_ = false;
    Invalidate();
  }
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TSpeedButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE) {
    Hot_ = Message.Msg == CM_MOUSEENTER;
    if (Flat_) Invalidate();
  }
  TGraphicControl::WndProc(Message);
}

}  // namespace corvex
