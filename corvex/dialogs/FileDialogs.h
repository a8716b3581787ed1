// The open and save dialogs with a preview pane.
//
//   TOpenCorvexDialog dlg(owner);
//   dlg.SetInitialDir("/home/me/pictures");
//   if (dlg.Execute()) io.LoadFromFile(dlg.GetFileName());
//
// Filter, in the toolkit's form "caption|patterns|caption|patterns..." (patterns separated by
// ";"), is built from the registry of file formats unless the application sets one: first
// "All images" with the extensions of every format (for saving: every format that can be
// written), then one entry per format ("JPEG Bitmap (*.jpg;*.jpeg)"), then "All files (*.*)".
// FilterIndex counts from 1.
//
// Execute asks the host (THost::RunFileDialog) to show the desktop's file dialog with the preview
// pane beside its list; when there is no host, or the host has no file dialog, the dialog's own
// form runs (TCXFileDialogForm): a folder line with an up button, the folders and the files of
// the current folder that the chosen filter lets through (folders first, each sorted), the file
// name, the filter, the preview pane, OK ("Open" / "Save") and Cancel, and for saving
// "Options...". Either way the pane previews the file under the cursor.
//
// Choosing a name: a name typed in the file-name line may be absolute, relative to the folder
// shown, or a folder (which is entered); a name with "*" or "?" filters the list with it. The open
// dialog accepts only an existing file. The save dialog adds the chosen filter's extension to a
// name that has no extension of a writable format, and asks before replacing an existing file.
//
// Events: OnShow when the dialog is on screen, OnClose when it is gone, OnSelectionChange when
// the file under the cursor changes (GetCurrentFile), OnTypeChange when the user chooses another
// filter (GetFilterIndex).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/component.h"
#include "corvex/platform/events.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

class TButton;
class TComboBox;
class TCXPreviewPane;
class TEdit;
class TLabel;
class TListBox;
class TCXFileDialogForm;

// --- Filters and folders

// One entry of a filter: its caption and its patterns ("*.jpg"; "*.*" and "*" match every name).
struct TCXFilterEntry {
  std::string Caption;
  std::vector<std::string> Patterns;
};

// The filter of the registry's formats: those that can be read, or (Writable) written.
std::string CXImageFilter(bool Writable);
// The entries of a filter string; a caption without patterns gets "*".
std::vector<TCXFilterEntry> CXParseFilter(const std::string& Filter);
// Whether a file name matches a pattern ("*" any run, "?" one character, letters in any case).
bool CXMatchFileName(const std::string& Name, const std::string& Pattern);
bool CXMatchFileName(const std::string& Name, const std::vector<std::string>& Patterns);

struct TCXFolderEntry {
  std::string Name;
  bool IsFolder = false;
};
// The folders of Folder and its files that match Patterns, folders first, each sorted by name
// without regard to case; names starting with "." are left out. False, with the system's reason
// in Error, when the folder cannot be read.
bool CXListFolder(const std::string& Folder, const std::vector<std::string>& Patterns,
                  std::vector<TCXFolderEntry>& Entries, std::string& Error);

// --- The dialogs

class TCXCommonDialog : public TComponent {
 public:
  ~TCXCommonDialog() override;

  const std::string& GetInitialDir() const { return InitialDir_; }
  void SetInitialDir(const std::string& Value) { InitialDir_ = Value; }
  // Before Execute: the name proposed. After a successful Execute: the chosen file, absolute.
  const std::string& GetFileName() const { return FileName_; }
  void SetFileName(const std::string& Value) { FileName_ = Value; }
  // The filter; the one built from the registry while none was set (an empty value goes back to
  // it).
  std::string GetFilter() const;
  void SetFilter(const std::string& Value) { Filter_ = Value; }
  // 1-based; a value outside the filter counts as 1. While none was set, Execute starts on the
  // entry of the proposed name's format, else (saving) on that of the attached component's
  // parameters, else on the first.
  int GetFilterIndex() const { return FilterIndex_ < 1 ? 1 : FilterIndex_; }
  void SetFilterIndex(int Value) { FilterIndex_ = Value; }
  // The title of the dialog; empty gives "Open" or "Save As".
  const std::string& GetTitle() const { return Title_; }
  void SetTitle(const std::string& Value) { Title_ = Value; }
  // Play animated GIFs in the preview.
  bool GetAlwaysAnimate() const { return AlwaysAnimate_; }
  void SetAlwaysAnimate(bool Value) { AlwaysAnimate_ = Value; }

  // Runs the dialog modally; true when a file was chosen (GetFileName).
  virtual bool Execute();

  // While Execute runs: the file under the cursor, the preview pane, and (without a host) the
  // dialog's own form.
  const std::string& GetCurrentFile() const { return CurrentFile_; }
  TCXPreviewPane* GetPreviewPane() const { return Pane_; }
  TCXFileDialogForm* GetForm() const { return Form_; }
  bool IsSaving() const { return Saving_; }

  TNotifyEvent OnShow, OnClose, OnSelectionChange, OnTypeChange;

 protected:
  TCXCommonDialog(TComponent* AOwner, bool Saving);
  // The file types of the filter's entries (0 where an entry is not one format).
  std::vector<int> EntryTypes() const;
  // The format a name without extension is saved in when the filter is not one format (0: none).
  virtual int PreferredType() const { return 0; }
  // Whether the dialog shows "Options...", and what it does.
  virtual bool HasOptions() const { return false; }
  virtual void Options() {}

 private:
  friend class TCXFileDialogForm;
  class THostRequest;

  // --- Shared by the host's dialog and the dialog's own form
  // The file under the cursor changed (empty: none): preview and OnSelectionChange.
  void CurrentChanged(const std::string& Path);
  // The user chose filter entry Index (0-based): OnTypeChange.
  void TypeChanged(int Index);
  // The user accepted Path (absolute, not a folder); the save dialog adds the extension and asks
  // before replacing. False: refused (the dialog stays).
  bool AcceptFile(std::string& Path);
  // The folder the dialog opens in.
  std::string StartFolder() const;
  // The extension (".jpg") to add to a saved name under filter entry Index, or "".
  std::string DefaultExtension(int Index) const;
  // The 1-based filter entry the dialog starts on.
  int StartFilterIndex() const;
  void DoShow();

  bool Saving_;
  std::string InitialDir_, FileName_, Filter_, Title_;
  int FilterIndex_ = 0;  // 0: not set
  bool AlwaysAnimate_ = false;
  // While Execute runs
  std::vector<TCXFilterEntry> Entries_;
  std::string CurrentFile_;
  TCXPreviewPane* Pane_ = nullptr;
  TCXFileDialogForm* Form_ = nullptr;
};

class TOpenCorvexDialog : public TCXCommonDialog {
 public:
  explicit TOpenCorvexDialog(TComponent* AOwner);
};

class TSaveCorvexDialog : public TCXCommonDialog {
 public:
  explicit TSaveCorvexDialog(TComponent* AOwner);
  ~TSaveCorvexDialog() override;

  // The I/O component whose parameters "Options..." edits (nullptr: no Options button). The
  // reference is dropped when the component is destroyed.
  TCorvexIO* GetAttachedCorvexIO() const { return IO_; }
  void SetAttachedCorvexIO(TCorvexIO* Value);

  // The pages of the format-parameters dialog for the format chosen now: the filter's format, or
  // when the filter is not one format, that of the typed name's extension; every page otherwise.
  TPreviewPages OptionsPages() const;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  int PreferredType() const override { return IO_ != nullptr ? IO_->GetParams().FileType : 0; }
  bool HasOptions() const override { return IO_ != nullptr; }
  void Options() override;

 private:
  TCorvexIO* IO_ = nullptr;
};

// The dialog's own form, used when no host shows the desktop's dialog. Tests drive it through its
// controls.
class TCXFileDialogForm : public TForm {
 public:
  TCXFileDialogForm(TCXCommonDialog* Dialog, TCXPreviewPane* Pane);
  ~TCXFileDialogForm() override;

  // The folder shown, absolute; and whether it could be read.
  const std::string& GetFolder() const { return Folder_; }
  bool GetFolderReadable() const { return Readable_; }
  // Shows another folder (relative names are taken from the folder shown).
  void ChangeFolder(const std::string& Folder);
  // The entries of the list, in its order.
  const std::vector<TCXFolderEntry>& GetEntries() const { return Entries_; }
  // The index of the list item with this name, or -1.
  int IndexOfEntry(const std::string& Name) const;
  // Does what OK does: takes the typed name (or the folder line, or the folder chosen in the list).
  void AcceptInput();
  // The name of the file the dialog ended with (absolute).
  const std::string& GetChosenFile() const { return Chosen_; }

  TEdit* GetFolderEdit() const { return FolderEdit_; }
  TButton* GetUpButton() const { return UpButton_; }
  TListBox* GetFileList() const { return List_; }
  TEdit* GetFileNameEdit() const { return NameEdit_; }
  TComboBox* GetFilterCombo() const { return FilterCombo_; }
  TButton* GetOkButton() const { return OkButton_; }
  TButton* GetCancelButton() const { return CancelButton_; }
  TButton* GetOptionsButton() const { return OptionsButton_; }  // nullptr when not offered
  TCXPreviewPane* GetPreviewPane() const { return Pane_; }

 private:
  void Refill(const std::string& Select = std::string());
  std::vector<std::string> Patterns() const;
  void ListClick(TObject* Sender);
  void ListDblClick(TObject* Sender);
  void FilterSelect(TObject* Sender);
  void UpClick(TObject* Sender);
  void OkClick(TObject* Sender);
  void OptionsClick(TObject* Sender);
  void FormShow(TObject* Sender);
  // Takes a typed name: folders are entered, patterns filter, files are accepted.
  void TakeName(const std::string& Text);
  std::string Resolve(const std::string& Text) const;

  TCXCommonDialog* Dialog_;
  TCXPreviewPane* Pane_;
  std::string Folder_;
  bool Readable_ = true;
  std::string Mask_;  // a pattern typed in the name line, "" for the filter's
  std::vector<TCXFolderEntry> Entries_;
  std::string Chosen_;
  TLabel* FolderLabel_ = nullptr;
  TEdit* FolderEdit_ = nullptr;
  TButton* UpButton_ = nullptr;
  TListBox* List_ = nullptr;
  TLabel* NameLabel_ = nullptr;
  TEdit* NameEdit_ = nullptr;
  TLabel* FilterLabel_ = nullptr;
  TComboBox* FilterCombo_ = nullptr;
  TButton* OkButton_ = nullptr;
  TButton* CancelButton_ = nullptr;
  TButton* OptionsButton_ = nullptr;
};

}  // namespace corvex
