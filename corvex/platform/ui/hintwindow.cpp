// THintWindow: a top-level popup that registers with the application as a shown window without
// touching the focus, and draws its text lines inside a plain border.
#include "corvex/platform/ui/hintwindow.h"

#include <algorithm>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

namespace {

int Scaled(int Pixels) { return std::max(1, MulDiv(Pixels, gSystemDPIX > 0 ? gSystemDPIX : 96, 96)); }

}  // namespace

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  // Not shown until activated; a top-level window never shows before it is registered.
  SetVisible(false);
  SetColor(clInfoBk);
  GetFont()->SetSize(8);
  GetFont()->SetColor(clInfoText);
  SetCtl3D(false);
  SetBorderStyle(bsSingle);  // the plain 1-pixel clWindowFrame border of the window frame
}

THintWindow::~THintWindow() = default;

int THintWindow::PadX() const { return Scaled(3); }
int THintWindow::PadY() const { return Scaled(1); }

void THintWindow::SetVisible(bool Value) {
  if (GetVisible() == Value) return;
  TCustomControl::SetVisible(Value);
  // As a form shows itself, but nothing is activated or focused.
  if (GetParent() == nullptr) Application().WindowShown(this, Value);
}

void THintWindow::WndProc(TMessage& Message) {
  if (Message.Msg == WM_NCHITTEST) {
    Message.Result = HTTRANSPARENT;
    return;
  }
  TCustomControl::WndProc(Message);
}

std::vector<std::string> THintWindow::Lines(const std::string& Text, int TextWidth) {
  TCanvas measure;
  measure.SetFont(GetFont());
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(Text.find('\n', start), Text.size());
    std::string para = Text.substr(start, end - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    if (TextWidth <= 0 || measure.TextWidth(para) <= TextWidth) {
      lines.push_back(para);
    } else {
      // Greedy: as many words on a line as fit; a word wider than the line stands alone.
      std::string line;
      size_t i = 0;
      while (i < para.size()) {
        const size_t sp = std::min(para.find(' ', i), para.size());
        const std::string word = para.substr(i, sp - i);
        const std::string joined = line.empty() ? word : line + ' ' + word;
        if (!line.empty() && measure.TextWidth(joined) > TextWidth) {
          lines.push_back(line);
          line = word;
        } else {
          line = joined;
        }
        i = sp + 1;
      }
      lines.push_back(line);
    }
    if (end >= Text.size()) break;
    start = end + 1;
  }
  return lines;
}

TRect THintWindow::CalcHintRect(int MaxWidth, const std::string& Text) {
  const int frame = 2 * (PadX() + 1);
  const std::vector<std::string> lines = Lines(Text, MaxWidth > 0 ? std::max(1, MaxWidth - frame) : 0);
  TCanvas measure;
  measure.SetFont(GetFont());
  int width = 0;
  for (const std::string& l : lines) width = std::max(width, measure.TextWidth(l));
  const int lineHeight = measure.TextHeight(std::string());
  return Rect(0, 0, width + frame, int(lines.size()) * lineHeight + 2 * (PadY() + 1));
}

void THintWindow::ActivateHint(const TRect& ScreenRect, const std::string& Text) {
  TRect r = ScreenRect;
  const int sw = Screen().GetWidth(), sh = Screen().GetHeight();
  if (r.Right > sw) r = OffsetRect(r, sw - r.Right, 0);
  if (r.Bottom > sh) r = OffsetRect(r, 0, sh - r.Bottom);
  if (r.Left < 0) r = OffsetRect(r, -r.Left, 0);
  if (r.Top < 0) r = OffsetRect(r, 0, -r.Top);
  // A new text or size invalidates; the paint comes once, when the queue is idle.
  SetText(Text);
  SetBounds(r.Left, r.Top, r.Width(), r.Height());
  SetVisible(true);
}

void THintWindow::Paint() {
  TCanvas* c = GetCanvas();
  const int lineHeight = c->TextHeight(std::string());
  const std::vector<std::string> lines = Lines(GetText(), GetClientWidth() - 2 * PadX());
  c->GetBrush()->SetStyle(bsClear);
  for (size_t i = 0; i < lines.size(); ++i) c->TextOut(PadX(), PadY() + int(i) * lineHeight, lines[i]);
  c->GetBrush()->SetStyle(bsSolid);
}

}  // namespace corvex
