// Message boxes: a modal form built from a stock icon, a word-wrapped label and a row of buttons.
#include "corvex/platform/ui/dialogs.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/stockicons.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {

namespace {

constexpr TMsgDlgBtn kOrder[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};
const char* const kNames[] = {"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};

// The stock icon on the dialog's face: the white around the symbol (the part connected to the
// edges) becomes Back, so that the symbol's own white (the "i", the "?") stays.
void IconOnFace(TBitmap& Icon, int IconId, int Size, TColor Back) {
  DrawStockIcon(Icon, IconId, Size, Size);
  const TColor back = ColorToRGB(Back);
  const int w = Icon.GetWidth(), h = Icon.GetHeight();
  std::vector<uint8_t> seen(size_t(w) * size_t(h), 0);
  std::deque<TPoint> queue;
  auto whiteish = [&](int x, int y) {
    const uint8_t* p = Icon.ScanLine(y) + 3 * x;
    return std::min({p[0], p[1], p[2]}) >= 235;
  };
  auto push = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h || seen[size_t(y) * size_t(w) + size_t(x)] || !whiteish(x, y)) return;
    seen[size_t(y) * size_t(w) + size_t(x)] = 1;
    queue.push_back({x, y});
  };
  for (int x = 0; x < w; ++x) {
    push(x, 0);
    push(x, h - 1);
  }
  for (int y = 0; y < h; ++y) {
    push(0, y);
    push(w - 1, y);
  }
  while (!queue.empty()) {
    const TPoint p = queue.front();
    queue.pop_front();
    uint8_t* q = Icon.ScanLine(p.Y) + 3 * p.X;
    q[0] = GetBValue(back);
    q[1] = GetGValue(back);
    q[2] = GetRValue(back);
    push(p.X + 1, p.Y);
    push(p.X - 1, p.Y);
    push(p.X, p.Y + 1);
    push(p.X, p.Y - 1);
  }
}

}  // namespace

std::string MsgDlgButtonCaption(TMsgDlgBtn Button) {
  static const char* const kCaptions[] = {"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry",
                                          "&Ignore", "&All", "N&o to All", "Yes to &All", "&Help"};
  return kCaptions[Button];
}

TModalResult MsgDlgButtonResult(TMsgDlgBtn Button) {
  static const TModalResult kResults[] = {mrYes,   mrNo,  mrOk,      mrCancel,   mrAbort, mrRetry,
                                          mrIgnore, mrAll, mrNoToAll, mrYesToAll, mrNone};
  return kResults[Button];
}

TForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  static const char* const kTitles[] = {"Warning", "Error", "Information", "Confirmation", ""};
  static const int kIcons[] = {IDI_WARNING, IDI_ERROR, IDI_INFORMATION, IDI_QUESTION, 0};
  if (Buttons.Empty()) Buttons = {mbOK};

  auto form = std::make_unique<TForm>(nullptr);
  form->SetFormBorderStyle(bsDialog);
  form->SetPosition(poScreenCenter);
  std::string title = kTitles[DlgType];
  if (DlgType == mtCustom && Application().GetMainForm() != nullptr) title = Application().GetMainForm()->GetCaption();
  form->SetCaption(title);

  const int margin = ScaleToScreen(12), gap = ScaleToScreen(8);
  const int iconSize = ScaleToScreen(32);
  int textLeft = margin;
  if (DlgType != mtCustom) {
    auto* icon = new TImage(form.get());
    icon->SetName("Image");
    IconOnFace(*icon->GetBitmap(), kIcons[DlgType], iconSize, form->GetColor());
    icon->SetBounds(margin, margin, iconSize, iconSize);
    icon->SetParent(form.get());
    textLeft = margin + iconSize + ScaleToScreen(12);
  }

  // The text: broken between words past a third of the screen's width.
  auto* label = new TLabel(form.get());
  label->SetName("Message");
  label->SetShowAccelChar(false);
  TCanvas measure;
  measure.SetFont(label->GetFont());
  TRect box = Rect(0, 0, std::max(ScaleToScreen(100), Screen().GetWidth() / 3), 0);
  std::string text = Msg;
  measure.TextRect(box, text, {tfCalcRect, tfWordBreak, tfNoPrefix});
  label->SetWordWrap(true);
  label->SetAutoSize(false);
  // A text longer than the screen is cut at its height rather than making a giant window.
  const int maxTextH = std::max(measure.TextHeight("x"), Screen().GetHeight() - ScaleToScreen(120));
  label->SetBounds(textLeft, margin, std::max(1, box.Width()), std::min(box.Height(), maxTextH));
  label->SetCaption(Msg);
  label->SetParent(form.get());

  // The buttons, all as wide as the widest caption needs (at least the classic 75 pixels).
  std::vector<TMsgDlgBtn> shown;
  for (TMsgDlgBtn b : kOrder)
    if (Buttons.Contains(b)) shown.push_back(b);
  int bw = ScaleToScreen(75);
  for (TMsgDlgBtn b : shown) bw = std::max(bw, measure.TextWidth(StripHotkey(MsgDlgButtonCaption(b))) + ScaleToScreen(16));
  const int bh = ScaleToScreen(25);
  const int rowWidth = int(shown.size()) * bw + (int(shown.size()) - 1) * gap;

  const int contentH = std::max(DlgType != mtCustom ? iconSize : 0, label->GetHeight());
  const int clientW = std::max(textLeft + label->GetWidth() + margin, rowWidth + 2 * margin);
  const int buttonsTop = margin + contentH + ScaleToScreen(16);
  form->SetBounds(form->GetLeft(), form->GetTop(), clientW, buttonsTop + bh + margin);

  const TMsgDlgBtn def = Buttons.Contains(mbOK) ? mbOK : Buttons.Contains(mbYes) ? mbYes : shown.front();
  const int cancel = Buttons.Contains(mbCancel) ? mbCancel : Buttons.Contains(mbNo) ? mbNo : Buttons.Contains(mbOK) ? mbOK : -1;
  int x = (form->GetClientWidth() - rowWidth) / 2;
  TButton* defaultButton = nullptr;
  for (TMsgDlgBtn b : shown) {
    auto* button = new TButton(form.get());
    button->SetName(kNames[b]);
    button->SetCaption(MsgDlgButtonCaption(b));
    button->SetModalResult(MsgDlgButtonResult(b));
    button->SetDefault(b == def);
    button->SetCancel(int(b) == cancel);
    button->SetBounds(x, buttonsTop, bw, bh);
    button->SetParent(form.get());
    if (b == def) defaultButton = button;
    x += bw + gap;
  }
  form->SetActiveControl(defaultButton);
  return form.release();
}

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  (void)HelpCtx;  // no help system behind it
  std::unique_ptr<TForm> form(CreateMessageDialog(Msg, DlgType, Buttons));
  return form->ShowModal();
}

void ShowMessage(const std::string& Msg) { MessageDlg(Msg, mtCustom, {mbOK}, 0); }

}  // namespace corvex
