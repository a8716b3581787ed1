// The open and save dialogs of the all-in-one view: TCorvex's ExecuteOpenDialog and
// ExecuteSaveDialog reach them through the runner registered here.
#include <memory>
#include <string>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/view/Corvex.h"

namespace corvex {
namespace {

// A dialog owned by the view, freed when it is done.
std::string RunCorvexFileDialog(TCorvex& View, bool Save, const std::string& InitialDir, const std::string& FileName,
                                bool AlwaysAnimate) {
  std::unique_ptr<TCXCommonDialog> dlg;
  if (Save) {
    auto save = std::make_unique<TSaveCorvexDialog>(&View);
    save->SetAttachedCorvexIO(View.GetIO());
    dlg = std::move(save);
  } else {
    dlg = std::make_unique<TOpenCorvexDialog>(&View);
  }
  dlg->SetInitialDir(InitialDir);
  dlg->SetFileName(FileName);
  dlg->SetAlwaysAnimate(AlwaysAnimate);
  return dlg->Execute() ? dlg->GetFileName() : std::string();
}

[[maybe_unused]] const bool kRegistered = (SetCorvexFileDialogRunner(&RunCorvexFileDialog), true);

}  // namespace

}  // namespace corvex
