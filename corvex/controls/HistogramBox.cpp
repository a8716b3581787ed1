// The histogram box: labels, axes, the colour bar and the plot of the attached component's
// histogram, drawn into an off-screen bitmap.
#include "corvex/controls/HistogramBox.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

THistogramBox::THistogramBox(TComponent* AOwner)
    : TCustomControl(AOwner), Bitmap_(std::make_unique<TBitmap>(0, 0, pf24bit)) {
  ControlStyle_.Include(csOpaque);
  SetBounds(GetLeft(), GetTop(), 256, 105);
}

THistogramBox::~THistogramBox() {
  if (Proc_ != nullptr) Proc_->RemoveFreeNotification(this);
}

void THistogramBox::SetAttachedCorvexProc(TCorvexProc* Value) {
  if (Value == Proc_) return;
  if (Proc_ != nullptr) Proc_->RemoveFreeNotification(this);
  Proc_ = Value;
  if (Proc_ != nullptr) Proc_->FreeNotification(this);
  Update();
}

void THistogramBox::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == Proc_) Proc_ = nullptr;
}

void THistogramBox::SetBackground(TColor Value) {
  Background_ = Value;
  Update();
}

void THistogramBox::SetHistogramKind(THistogramKind Value) {
  if (Value == Kind_) return;
  Kind_ = Value;
  Update();
}

void THistogramBox::SetLabels(THistogramLabels Value) {
  if (Value == Labels_) return;
  Labels_ = Value;
  Update();
}

void THistogramBox::SetCompBar(bool Value) {
  if (Value == CompBar_) return;
  CompBar_ = Value;
  Update();
}

void THistogramBox::SetHistogramStyle(THistogramStyle Value) {
  if (Value == Style_) return;
  Style_ = Value;
  Update();
}

void THistogramBox::Update() {
  Redraw();
  Invalidate();
}

void THistogramBox::Redraw() {
  TBitmap* bmp = Bitmap_.get();
  TCanvas* c = bmp->GetCanvas();
  const int cw = bmp->GetWidth(), chh = bmp->GetHeight();
  c->SelectClipRgn(nullptr);
  c->GetPen()->SetMode(pmCopy);
  c->GetPen()->SetStyle(psSolid);
  c->GetPen()->SetWidth(1);
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(Background_);
  c->FillRect(Rect(0, 0, cw, chh));
  if (cw <= 0 || chh <= 0) return;

  // The histogram: the component's, or (in the form designer) a stable random one.
  THistogramItem hist[256];
  const bool designing = GetComponentState().Contains(csDesigning);
  const TBitmap* src = Proc_ != nullptr ? Proc_->GetAttachedBitmap() : nullptr;
  if (src != nullptr && src->GetWidth() > 0 && src->GetHeight() > 0) {
    Proc_->GetHistogram(hist);
  } else if (designing) {
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return int32_t((seed >> 16) & 0xFF);
    };
    for (THistogramItem& h : hist) {
      h.R = next();
      h.G = next();
      h.B = next();
      h.Gray = next();
    }
  } else {
    return;
  }

  const bool kr = Kind_.Contains(hkRed), kg = Kind_.Contains(hkGreen), kb = Kind_.Contains(hkBlue),
             kgray = Kind_.Contains(hkGray);
  int32_t mx = 0;
  for (const THistogramItem& h : hist) {
    if (kr) mx = std::max(mx, h.R);
    if (kg) mx = std::max(mx, h.G);
    if (kb) mx = std::max(mx, h.B);
    if (kgray) mx = std::max(mx, h.Gray);
  }
  if (mx <= 0) return;

  // Plot area: left x0, width W, bottom B (exclusive: the baseline is B - 1).
  int x0 = 0, W = cw, B = chh;
  c->SetFont(GetFont());
  const int th = std::abs(GetFont()->GetHeight());
  const int bh = Trunc(th * 1.2);
  if (CompBar_) B -= bh + 2;
  c->GetBrush()->SetStyle(bsClear);
  c->GetPen()->SetColor(GetFont()->GetColor());
  const std::string maxText = std::to_string(mx);
  if (Labels_.Contains(hlVertical)) {
    c->TextOut(0, 0, maxText);
    c->TextOut(0, B / 2, std::to_string(mx / 2));
    const int tw = c->TextWidth(maxText) + 2;
    x0 += tw;
    W -= tw;
  }
  if (Labels_.Contains(hlHorizontal)) {
    const int y = B - th - 1;
    for (int level : {0, 64, 128, 192}) c->TextOut(x0 + Round(level / 256.0 * W), y, std::to_string(level));
    c->TextOut(x0 + W - c->TextWidth("255"), y, "255");
    B -= c->TextHeight(maxText) + 2;
    c->MoveTo(x0 - 1, 0);
    c->LineTo(x0 - 1, B);
    c->LineTo(x0 + W, B);
  }

  // The colour bar: the bottom bh rows ramp through the levels in the selected colours.
  if (CompBar_ && W > 0) {
    const bool toR = kr || kgray, toG = kg || kgray, toB = kb || kgray;
    for (int y = std::max(0, chh - bh); y < chh; ++y) {
      auto* row = reinterpret_cast<TRGB*>(bmp->ScanLine(y));
      for (int u = 0; u < W; ++u) {
        const int x = x0 + u;
        if (x < 0 || x >= cw) continue;
        const auto g = uint8_t(std::min(255, Round(double(u) / W * 256)));
        row[x] = TRGB{uint8_t(toB ? g : 0), uint8_t(toG ? g : 0), uint8_t(toR ? g : 0)};
      }
    }
    c->Changed();
  }

  // The plot: a column per pixel, level Trunc(u / W x 256), height Round(count / max x B).
  if (W <= 0 || B <= 0) return;
  struct Kind {
    bool on;
    TColor pen;
    int32_t THistogramItem::*count;
  };
  const Kind kinds[] = {{kr, TColor(0x0000FF), &THistogramItem::R},
                        {kg, TColor(0x008000), &THistogramItem::G},
                        {kb, TColor(0xFF0000), &THistogramItem::B},
                        {kgray, TColor(0x000000), &THistogramItem::Gray}};
  auto height = [&](int u, int32_t THistogramItem::*count) {
    const int level = std::min(255, Trunc(double(u) / W * 256));
    return Round(double(hist[level].*count) / mx * B);
  };
  for (const Kind& k : kinds) {
    if (!k.on) continue;
    c->GetPen()->SetColor(k.pen);
    if (Style_ == hsBars) {
      for (int u = 0; u < W; ++u) {
        c->MoveTo(x0 + u, B - 1);
        c->LineTo(x0 + u, B - height(u, k.count) - 2);
      }
    } else {
      c->MoveTo(x0, B - 1);
      for (int u = 0; u < W; ++u) c->LineTo(x0 + u, B - height(u, k.count) - 1);
    }
  }
}

void THistogramBox::Paint() { GetCanvas()->Draw(0, 0, Bitmap_.get()); }

void THistogramBox::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

void THistogramBox::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  const TRect r = GetClientRect();
  Bitmap_->Allocate(r.Width(), r.Height(), pf24bit);
  Update();
}

}  // namespace corvex
