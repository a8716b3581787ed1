// Message boxes (first cut: the button table; the dialog form follows).
#include "corvex/platform/ui/dialogs.h"

#include "corvex/platform/ui/stdctrls.h"

namespace corvex {

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

TForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType, TMsgDlgButtons) {
  auto* form = new TForm(nullptr);
  form->SetCaption(Msg);
  return form;
}

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  TForm* form = CreateMessageDialog(Msg, DlgType, Buttons);
  const TModalResult r = form->ShowModal();
  delete form;
  return r;
}

void ShowMessage(const std::string& Msg) { MessageDlg(Msg, mtCustom, {mbOK}, 0); }

}  // namespace corvex
