// Message boxes: a small modal form with a stock icon, the text and a row of buttons.
//
//   if (MessageDlg("Save the changes?", mtConfirmation, {mbYes, mbNo, mbCancel}, 0) == mrYes) ...
//   ShowMessage("Done.");
//
// The form is sized to its text (lines break at '\n' and, past about a third of the screen's
// width, between words), centred on the screen, titled "Warning", "Error", "Information" or
// "Confirmation" (ShowMessage and mtCustom: the main form's caption). The buttons are centred in
// the order Yes, No, OK, Cancel, Abort, Retry, Ignore, All, No to All, Yes to All, Help whatever
// order the set names them. The default button (Enter) is OK, else Yes, else the first; the
// cancel button (Escape, and closing the form) is Cancel, else No, else OK, else none. Help
// does not close the dialog. An empty button set shows OK.
//
// Headless, the dialog runs ShowModal's nested loop like any form: a test ends it with input from
// Application().OnIdle (the dialog is Screen().GetActiveForm() then), and a loop that has nothing
// left to do ends with mrCancel.
#pragma once

#include <string>

#include "corvex/platform/sets.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
constexpr TMsgDlgButtons mbYesAllNoAllCancel{mbYes, mbYesToAll, mbNo, mbNoToAll, mbCancel};
constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};
constexpr TMsgDlgButtons mbAbortIgnore{mbAbort, mbIgnore};

// The caption of a button as the dialogs show it ("&Yes", "OK", "N&o to All" ...), and the modal
// result it gives (mrNone for Help).
std::string MsgDlgButtonCaption(TMsgDlgBtn Button);
TModalResult MsgDlgButtonResult(TMsgDlgBtn Button);

// Builds the dialog form without showing it; the caller owns it (ShowModal, then delete). Its
// buttons are TButton children named after the button ("Yes", "No", "OK", "Cancel", ...), so a
// caller may find one with FindComponent.
TForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);

// Shows the dialog modally and returns the modal result of the button that ended it (mrCancel
// when it was closed otherwise). HelpCtx is kept for the toolkit's signature; there is no help
// system behind it.
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// MessageDlg with only an OK button, no icon, and the main form's caption.
void ShowMessage(const std::string& Msg);

}  // namespace corvex
