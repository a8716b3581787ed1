// The file dialogs' own form: what runs when no host shows the desktop's file dialog.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/PreviewPane.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {

namespace fs = std::filesystem;

namespace {

// The layout, in pixels at 96 dpi.
constexpr int kWidth = 620, kHeight = 388;
constexpr int kListTop = 40, kListHeight = 270, kListWidth = 400;
constexpr int kRow1 = 320, kRow2 = 352;
constexpr int kButtonWidth = 96, kButtonHeight = 25;

int S(int Pixels96) { return ScaleToScreen(Pixels96); }

std::string ItemText(const TCXFolderEntry& E) { return E.IsFolder ? E.Name + "/" : E.Name; }

}  // namespace

TCXFileDialogForm::TCXFileDialogForm(TCXCommonDialog* Dialog, TCXPreviewPane* Pane)
    : TForm(nullptr), Dialog_(Dialog), Pane_(Pane) {
  const bool saving = Dialog->IsSaving();
  SetCaption(Dialog->GetTitle().empty() ? (saving ? "Save As" : "Open") : Dialog->GetTitle());
  SetFormBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(S(kWidth));
  SetClientHeight(S(kHeight));

  const auto label = [this](const std::string& Caption, int X, int Y) {
    auto* l = new TLabel(this);
    l->SetParent(this);
    l->SetCaption(Caption);
    l->SetBounds(S(X), S(Y), l->GetWidth(), l->GetHeight());
    return l;
  };
  const auto button = [this](const std::string& Caption, int X, int Y) {
    auto* b = new TButton(this);
    b->SetParent(this);
    b->SetCaption(Caption);
    b->SetBounds(S(X), S(Y), S(kButtonWidth), S(kButtonHeight));
    b->SetTabStop(true);
    return b;
  };

  FolderLabel_ = label("&Look in:", 8, 12);
  FolderEdit_ = new TEdit(this);
  FolderEdit_->SetParent(this);
  FolderEdit_->SetBounds(S(96), S(8), S(kWidth - 96 - 8 - 8 - 64), S(21));
  FolderEdit_->SetTabStop(true);
  FolderLabel_->SetFocusControl(FolderEdit_);
  UpButton_ = new TButton(this);
  UpButton_->SetParent(this);
  UpButton_->SetCaption("&Up");
  UpButton_->SetBounds(S(kWidth - 8 - 64), S(7), S(64), S(23));
  UpButton_->SetTabStop(true);
  UpButton_->OnClick = TNotifyEvent(this, &TCXFileDialogForm::UpClick);

  List_ = new TListBox(this);
  List_->SetParent(this);
  List_->SetBounds(S(8), S(kListTop), S(kListWidth), S(kListHeight));
  List_->SetTabStop(true);
  List_->OnClick = TNotifyEvent(this, &TCXFileDialogForm::ListClick);
  List_->OnDblClick = TNotifyEvent(this, &TCXFileDialogForm::ListDblClick);

  Pane_->SetParent(this);
  Pane_->SetBounds(S(8 + kListWidth + 8), S(kListTop), S(kWidth - kListWidth - 24), S(kListHeight));

  NameLabel_ = label("File &name:", 8, kRow1 + 4);
  NameEdit_ = new TEdit(this);
  NameEdit_->SetParent(this);
  NameEdit_->SetBounds(S(96), S(kRow1), S(kListWidth + 8 - 96), S(21));
  NameEdit_->SetTabStop(true);
  NameLabel_->SetFocusControl(NameEdit_);

  FilterLabel_ = label("Files of &type:", 8, kRow2 + 4);
  FilterCombo_ = new TComboBox(this);
  FilterCombo_->SetParent(this);
  FilterCombo_->SetStyle(csDropDownList);
  FilterCombo_->SetBounds(S(96), S(kRow2), S(kListWidth + 8 - 96), FilterCombo_->GetHeight());
  FilterCombo_->SetTabStop(true);
  FilterLabel_->SetFocusControl(FilterCombo_);
  std::vector<std::string> captions;
  for (const TCXFilterEntry& e : Dialog_->Entries_) captions.push_back(e.Caption);
  FilterCombo_->SetItems(captions);
  FilterCombo_->SetItemIndex(Dialog_->GetFilterIndex() - 1);
  FilterCombo_->OnChange = TNotifyEvent(this, &TCXFileDialogForm::FilterSelect);

  const int buttons = 8 + kListWidth + 8;
  OkButton_ = button(saving ? "&Save" : "&Open", buttons, kRow1 - 2);
  OkButton_->SetDefault(true);
  OkButton_->OnClick = TNotifyEvent(this, &TCXFileDialogForm::OkClick);
  CancelButton_ = button("Cancel", buttons, kRow2 - 2);
  CancelButton_->SetCancel(true);
  CancelButton_->SetModalResult(mrCancel);
  if (Dialog_->HasOptions()) {
    OptionsButton_ = button("O&ptions...", buttons + kButtonWidth + 8, kRow1 - 2);
    OptionsButton_->OnClick = TNotifyEvent(this, &TCXFileDialogForm::OptionsClick);
  }

  OnShow = TNotifyEvent(this, &TCXFileDialogForm::FormShow);
  SetActiveControl(NameEdit_);

  // The folder and the proposed name; a proposed file that is there is chosen in the list.
  Folder_ = Dialog_->StartFolder();
  const std::string name = fs::path(Dialog_->GetFileName()).filename().string();
  NameEdit_->SetText(name);
  FolderEdit_->SetText(Folder_);
  Refill(name);
  if (const int i = IndexOfEntry(name); i >= 0 && !Entries_[size_t(i)].IsFolder)
    Dialog_->CurrentChanged((fs::path(Folder_) / name).string());
}

TCXFileDialogForm::~TCXFileDialogForm() {
  // The pane belongs to the dialog; it leaves before the form's children go.
  if (Pane_ != nullptr && Pane_->GetParent() == this) Pane_->SetParent(nullptr);
}

void TCXFileDialogForm::FormShow(TObject*) { Dialog_->DoShow(); }

std::vector<std::string> TCXFileDialogForm::Patterns() const {
  if (!Mask_.empty()) return {Mask_};
  const int i = FilterCombo_->GetItemIndex();
  const auto& entries = Dialog_->Entries_;
  if (i >= 0 && i < int(entries.size())) return entries[size_t(i)].Patterns;
  return {"*"};
}

int TCXFileDialogForm::IndexOfEntry(const std::string& Name) const {
  for (size_t i = 0; i < Entries_.size(); ++i)
    if (Entries_[i].Name == Name) return int(i);
  return -1;
}

void TCXFileDialogForm::Refill(const std::string& Select) {
  std::string error;
  Readable_ = CXListFolder(Folder_, Patterns(), Entries_, error);
  std::vector<std::string> items;
  for (const TCXFolderEntry& e : Entries_) items.push_back(ItemText(e));
  List_->SetItems(items);
  if (!Readable_) {
    Dialog_->CurrentChanged(std::string());
    Pane_->ShowMessage("The folder cannot be read:\n" + Folder_ + "\n(" + error + ")");
    return;
  }
  if (!Pane_->GetMessage().empty() && Pane_->GetFileName().empty()) Pane_->Clear();
  if (const int i = IndexOfEntry(Select); i >= 0) List_->SetItemIndex(i);
}

void TCXFileDialogForm::ChangeFolder(const std::string& Folder) {
  const std::string target = Resolve(Folder);
  std::error_code ec;
  if (!fs::is_directory(target, ec)) {
    MessageDlg(target + "\nThe folder does not exist.", mtError, {mbOK}, 0);
    FolderEdit_->SetText(Folder_);
    return;
  }
  Folder_ = target;
  FolderEdit_->SetText(Folder_);
  Dialog_->CurrentChanged(std::string());
  Refill();
}

std::string TCXFileDialogForm::Resolve(const std::string& Text) const {
  fs::path p(Text);
  if (!Text.empty() && Text[0] == '~') {
    const char* home = std::getenv("HOME");
    if (home != nullptr && (Text.size() == 1 || Text[1] == '/')) p = fs::path(home) / Text.substr(Text.size() > 1 ? 2 : 1);
  }
  if (p.is_relative()) p = fs::path(Folder_) / p;
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

void TCXFileDialogForm::ListClick(TObject*) {
  const int i = List_->GetItemIndex();
  if (i < 0 || i >= int(Entries_.size())) return;
  const TCXFolderEntry& e = Entries_[size_t(i)];
  if (e.IsFolder) {
    Dialog_->CurrentChanged(std::string());
    return;
  }
  NameEdit_->SetText(e.Name);
  Dialog_->CurrentChanged((fs::path(Folder_) / e.Name).string());
}

void TCXFileDialogForm::ListDblClick(TObject*) {
  const int i = List_->GetItemIndex();
  if (i < 0 || i >= int(Entries_.size())) return;
  const TCXFolderEntry e = Entries_[size_t(i)];
  if (e.IsFolder) ChangeFolder(e.Name);
  else TakeName(e.Name);
}

void TCXFileDialogForm::UpClick(TObject*) {
  const fs::path here(Folder_);
  const fs::path parent = here.parent_path();
  if (parent.empty() || parent == here) return;
  const std::string child = here.filename().string();
  ChangeFolder(parent.string());
  if (const int i = IndexOfEntry(child); i >= 0) List_->SetItemIndex(i);
}

void TCXFileDialogForm::FilterSelect(TObject*) {
  Mask_.clear();
  Dialog_->TypeChanged(FilterCombo_->GetItemIndex());
  const int i = List_->GetItemIndex();
  Refill(i >= 0 && i < int(Entries_.size()) ? Entries_[size_t(i)].Name : std::string());
}

void TCXFileDialogForm::OptionsClick(TObject*) { Dialog_->Options(); }

void TCXFileDialogForm::OkClick(TObject*) { AcceptInput(); }

void TCXFileDialogForm::AcceptInput() {
  if (FolderEdit_->Focused()) {
    ChangeFolder(FolderEdit_->GetText());
    return;
  }
  const int i = List_->GetItemIndex();
  const bool listItem = i >= 0 && i < int(Entries_.size());
  if (List_->Focused() && listItem && Entries_[size_t(i)].IsFolder) {
    ChangeFolder(Entries_[size_t(i)].Name);
    return;
  }
  std::string text = NameEdit_->GetText();
  if (text.empty() && listItem && !Entries_[size_t(i)].IsFolder) text = Entries_[size_t(i)].Name;
  if (!text.empty()) TakeName(text);
}

void TCXFileDialogForm::TakeName(const std::string& Text) {
  if (Text.find_first_of("*?") != std::string::npos && Text.find('/') == std::string::npos) {
    Mask_ = Text;
    Refill();
    return;
  }
  const std::string path = Resolve(Text);
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    ChangeFolder(path);
    NameEdit_->SetText(std::string());
    return;
  }
  std::string chosen = path;
  if (!Dialog_->AcceptFile(chosen)) return;
  Chosen_ = chosen;
  SetModalResult(mrOk);
}

}  // namespace corvex
