// The open and save dialogs: filters from the registry, folder listing, the common run through
// the host's dialog or our own form, and the save dialog's rules for names and options.
#include "corvex/dialogs/FileDialogs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "corvex/dialogs/PreviewPane.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/host.h"

namespace corvex {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return S;
}

std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= S.size()) {
    const size_t at = S.find(Sep, start);
    const size_t end = at == std::string::npos ? S.size() : at;
    out.push_back(S.substr(start, end - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return out;
}

std::string Trim(const std::string& S) {
  const size_t a = S.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  const size_t b = S.find_last_not_of(" \t");
  return S.substr(a, b - a + 1);
}

// The extensions the I/O component reads (or writes) the built-in formats by: a registry entry
// lists more names than the component dispatches on ("PIX" for Targa, "JPE" when saving), and a
// name it does not dispatch on would be offered and then fail.
const std::vector<std::string>* BuiltInExtensions(int FileType, bool Writable) {
  static const std::vector<std::string> readable[] = {
      {},
      {"tif", "tiff"},                                    // ioTIFF
      {"gif"},                                            // ioGIF
      {"jpg", "jpeg", "jpe"},                             // ioJPEG
      {"pcx"},                                            // ioPCX
      {"bmp", "dib", "rle"},                              // ioBMP
      {"ico"},                                            // ioICO
      {"cur"},                                            // ioCUR
      {"png"},                                            // ioPNG
      {"wmf"},                                            // ioWMF
      {"emf"},                                            // ioEMF
      {"tga", "targa", "vda", "icb", "vst"}};             // ioTGA
  static const std::vector<std::string> writable[] = {
      {}, {"tif", "tiff"}, {"gif"}, {"jpg", "jpeg"}, {"pcx"}, {"bmp"}, {}, {}, {"png"}, {}, {}, {"tga"}};
  if (FileType < ioTIFF || FileType > ioTGA) return nullptr;
  return Writable ? &writable[FileType] : &readable[FileType];
}

// The extensions (lower case, without dots) by which a registered format can be read or
// written, in the registry's order; empty when it cannot.
std::vector<std::string> FormatExtensions(const TCXFileFormatInfo& Info, bool Writable) {
  std::vector<std::string> out;
  const std::vector<std::string>* builtIn = BuiltInExtensions(Info.FileType, Writable);
  const bool added = builtIn == nullptr;
  if (added && (Writable ? Info.WriteFunction == nullptr : Info.ReadFunction == nullptr)) return out;
  for (const std::string& e : Split(Info.Extension, ';')) {
    const std::string x = Lower(Trim(e));
    if (x.empty() || std::find(out.begin(), out.end(), x) != out.end()) continue;
    if (added || std::find(builtIn->begin(), builtIn->end(), x) != builtIn->end()) out.push_back(x);
  }
  return out;
}

std::string Patterns(const std::vector<std::string>& Exts) {
  std::string s;
  for (const std::string& e : Exts) s += (s.empty() ? "*." : ";*.") + e;
  return s;
}

// Whether a name ends in an extension that a registered format is written by.
bool HasWritableExtension(const std::string& Name) {
  const std::string ext = Lower(fs::path(Name).extension().string());
  if (ext.size() < 2) return false;
  CXFileFormatGetInfo(ioUnknown);  // the built-in table is in place
  for (const auto& info : cxgFileFormats) {
    const auto exts = FormatExtensions(*info, true);
    if (std::find(exts.begin(), exts.end(), ext.substr(1)) != exts.end()) return true;
  }
  return false;
}

// The first pattern of the form "*.ext" as ".ext", or "".
std::string ConcreteExtension(const std::vector<std::string>& Patterns) {
  for (const std::string& p : Patterns)
    if (p.size() > 2 && p[0] == '*' && p[1] == '.' && p.find_first_of("*?", 1) == std::string::npos)
      return p.substr(1);
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Filters and folders

std::string CXImageFilter(bool Writable) {
  CXFileFormatGetInfo(ioUnknown);  // the built-in table is in place
  std::vector<std::string> all;
  std::string entries;
  for (const auto& info : cxgFileFormats) {
    const std::vector<std::string> exts = FormatExtensions(*info, Writable);
    if (exts.empty()) continue;
    for (const std::string& e : exts)
      if (std::find(all.begin(), all.end(), e) == all.end()) all.push_back(e);
    const std::string p = Patterns(exts);
    entries += "|" + info->FullName + " (" + p + ")|" + p;
  }
  return "All images|" + Patterns(all) + entries + "|All files (*.*)|*.*";
}

std::vector<TCXFilterEntry> CXParseFilter(const std::string& Filter) {
  std::vector<TCXFilterEntry> out;
  if (Filter.empty()) return out;
  const std::vector<std::string> parts = Split(Filter, '|');
  for (size_t i = 0; i < parts.size(); i += 2) {
    TCXFilterEntry e;
    e.Caption = parts[i];
    if (i + 1 < parts.size())
      for (const std::string& p : Split(parts[i + 1], ';'))
        if (const std::string t = Trim(p); !t.empty()) e.Patterns.push_back(t);
    if (e.Patterns.empty()) e.Patterns.push_back("*");
    if (e.Caption.empty()) e.Caption = parts.size() > i + 1 ? parts[i + 1] : "*";
    out.push_back(std::move(e));
  }
  return out;
}

bool CXMatchFileName(const std::string& Name, const std::string& Pattern) {
  if (Pattern == "*" || Pattern == "*.*") return true;
  // Iterative glob with one back-tracking point: linear in practice, never exponential.
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < Name.size()) {
    if (p < Pattern.size() && Pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < Pattern.size() &&
               (Pattern[p] == '?' || std::tolower(static_cast<unsigned char>(Pattern[p])) ==
                                         std::tolower(static_cast<unsigned char>(Name[n])))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == '*') ++p;
  return p == Pattern.size();
}

bool CXMatchFileName(const std::string& Name, const std::vector<std::string>& Patterns) {
  return std::any_of(Patterns.begin(), Patterns.end(), [&](const std::string& p) { return CXMatchFileName(Name, p); });
}

bool CXListFolder(const std::string& Folder, const std::vector<std::string>& Patterns,
                  std::vector<TCXFolderEntry>& Entries, std::string& Error) {
  Entries.clear();
  Error.clear();
  std::error_code ec;
  fs::directory_iterator it(Folder, ec);
  if (ec) {
    Error = ec.message();
    return false;
  }
  std::vector<TCXFolderEntry> folders, files;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code e2;
    if (it->is_directory(e2)) folders.push_back({name, true});  // links to folders count as folders
    else if (CXMatchFileName(name, Patterns)) files.push_back({name, false});
  }
  if (ec) {
    Error = ec.message();
    return false;
  }
  const auto byName = [](const TCXFolderEntry& a, const TCXFolderEntry& b) {
    const std::string la = Lower(a.Name), lb = Lower(b.Name);
    return la != lb ? la < lb : a.Name < b.Name;
  };
  std::sort(folders.begin(), folders.end(), byName);
  std::sort(files.begin(), files.end(), byName);
  Entries = std::move(folders);
  Entries.insert(Entries.end(), files.begin(), files.end());
  return true;
}

// ---------------------------------------------------------------------------------------------
// The request the host's dialog runs: it passes what the user does back to the dialog.

class TCXCommonDialog::THostRequest final : public TFileDialogRequest {
 public:
  explicit THostRequest(TCXCommonDialog& D) : D_(D) {}
  void Shown() override { D_.DoShow(); }
  void CurrentChanged(const std::string& Path) override { D_.CurrentChanged(Path); }
  void FilterChanged(int Index) override {
    FilterIndex = Index;
    D_.TypeChanged(Index);
  }
  void OptionsClicked() override { D_.Options(); }
  bool Accept(std::string& Path) override {
    D_.FilterIndex_ = FilterIndex + 1;
    return D_.AcceptFile(Path);
  }

 private:
  TCXCommonDialog& D_;
};

// ---------------------------------------------------------------------------------------------
// TCXCommonDialog

TCXCommonDialog::TCXCommonDialog(TComponent* AOwner, bool Saving) : TComponent(AOwner), Saving_(Saving) {}

TCXCommonDialog::~TCXCommonDialog() = default;

std::string TCXCommonDialog::GetFilter() const { return Filter_.empty() ? CXImageFilter(Saving_) : Filter_; }

std::vector<int> TCXCommonDialog::EntryTypes() const {
  const std::vector<TCXFilterEntry> entries = Entries_.empty() ? CXParseFilter(GetFilter()) : Entries_;
  std::vector<int> types;
  for (const TCXFilterEntry& e : entries) {
    // An entry is one format when all its patterns name extensions of that format.
    int type = -1;
    for (const std::string& p : e.Patterns) {
      const std::string ext = ConcreteExtension({p});
      const TCXFileFormatInfo* info = ext.empty() ? nullptr : CXFileFormatGetInfo2(ext.substr(1));
      const int t = info != nullptr ? info->FileType : 0;
      if (type == -1) type = t;
      else if (type != t) type = 0;
    }
    types.push_back(type < 0 ? 0 : type);
  }
  return types;
}

std::string TCXCommonDialog::StartFolder() const {
  std::error_code ec;
  if (!InitialDir_.empty() && fs::is_directory(InitialDir_, ec)) return fs::absolute(InitialDir_, ec).lexically_normal().string();
  const fs::path f(FileName_);
  if (f.has_parent_path() && fs::is_directory(f.parent_path(), ec))
    return fs::absolute(f.parent_path(), ec).lexically_normal().string();
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string("/") : cwd.string();
}

std::string TCXCommonDialog::DefaultExtension(int Index) const {
  const std::vector<int> types = EntryTypes();
  const bool oneFormat = Index >= 0 && Index < int(types.size()) && types[size_t(Index)] != 0;
  if (oneFormat) return ConcreteExtension(Entries_[size_t(Index)].Patterns);
  // "All images" or "All files": the preferred format, when it can be written.
  if (const TCXFileFormatInfo* info = PreferredType() != 0 ? CXFileFormatGetInfo(PreferredType()) : nullptr) {
    const std::vector<std::string> exts = FormatExtensions(*info, Saving_);
    if (!exts.empty()) return "." + exts.front();
  }
  if (Index >= 0 && Index < int(Entries_.size()))
    if (std::string e = ConcreteExtension(Entries_[size_t(Index)].Patterns); !e.empty()) return e;
  return Entries_.empty() ? std::string() : ConcreteExtension(Entries_[0].Patterns);
}

int TCXCommonDialog::StartFilterIndex() const {
  if (FilterIndex_ >= 1 && FilterIndex_ <= int(Entries_.size())) return FilterIndex_;
  const std::vector<int> types = EntryTypes();
  const std::string name = fs::path(FileName_).filename().string();
  for (size_t i = 0; i < types.size() && !name.empty(); ++i)
    if (types[i] != 0 && CXMatchFileName(name, Entries_[i].Patterns)) return int(i) + 1;
  for (size_t i = 0; i < types.size() && PreferredType() != 0; ++i)
    if (types[i] == PreferredType()) return int(i) + 1;
  return 1;
}

void TCXCommonDialog::DoShow() {
  if (OnShow) OnShow(this);
}

void TCXCommonDialog::CurrentChanged(const std::string& Path) {
  std::error_code ec;
  const std::string file = !Path.empty() && !fs::is_directory(Path, ec) ? Path : std::string();
  if (file == CurrentFile_) return;
  CurrentFile_ = file;
  if (Pane_ != nullptr) {
    if (file.empty()) Pane_->Clear();
    else Pane_->ShowFile(file);
  }
  if (OnSelectionChange) OnSelectionChange(this);
}

void TCXCommonDialog::TypeChanged(int Index) {
  FilterIndex_ = Index + 1;
  if (OnTypeChange) OnTypeChange(this);
}

bool TCXCommonDialog::AcceptFile(std::string& Path) {
  std::error_code ec;
  if (!Saving_) {
    if (!fs::is_regular_file(Path, ec)) {
      MessageDlg(Path + "\nFile not found.\nCheck the file name and try again.", mtError, {mbOK}, 0);
      return false;
    }
    return true;
  }
  const fs::path parent = fs::path(Path).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) {
    MessageDlg(parent.string() + "\nThe folder does not exist.", mtError, {mbOK}, 0);
    return false;
  }
  if (!HasWritableExtension(Path)) Path += DefaultExtension(FilterIndex_ - 1);
  if (fs::is_directory(Path, ec)) {
    MessageDlg(Path + "\nis a folder.", mtError, {mbOK}, 0);
    return false;
  }
  if (fs::exists(Path, ec) &&
      MessageDlg(Path + " already exists.\nDo you want to replace it?", mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
    return false;
  return true;
}

bool TCXCommonDialog::Execute() {
  Entries_ = CXParseFilter(GetFilter());
  if (Entries_.empty()) Entries_ = CXParseFilter("All files (*.*)|*.*");
  FilterIndex_ = StartFilterIndex();
  CurrentFile_.clear();
  auto pane = std::make_unique<TCXPreviewPane>(nullptr);
  pane->SetAlwaysAnimate(AlwaysAnimate_);
  Pane_ = pane.get();
  bool ok = false, handled = false;

  if (THost* host = Application().GetHost()) {
    THostRequest req(*this);
    req.Mode = Saving_ ? TFileDialogRequest::fdSave : TFileDialogRequest::fdOpen;
    req.Title = Title_.empty() ? (Saving_ ? "Save As" : "Open") : Title_;
    req.Directory = StartFolder();
    req.FileName = fs::path(FileName_).filename().string();
    for (const TCXFilterEntry& e : Entries_) req.Filters.push_back({e.Caption, e.Patterns});
    req.FilterIndex = FilterIndex_ - 1;
    req.PreviewPane = pane.get();
    if (HasOptions()) req.OptionsCaption = "Options...";
    handled = host->RunFileDialog(req);
    if (handled) {
      ok = !req.FileName.empty();
      if (ok) FileName_ = req.FileName;
      FilterIndex_ = std::clamp(req.FilterIndex + 1, 1, int(Entries_.size()));
    }
  }
  if (!handled) {
    auto form = std::make_unique<TCXFileDialogForm>(this, pane.get());
    Form_ = form.get();
    ok = form->ShowModal() == mrOk && !form->GetChosenFile().empty();
    if (ok) FileName_ = form->GetChosenFile();
    pane->SetParent(nullptr);
    Form_ = nullptr;
    form.reset();
  }
  Pane_ = nullptr;
  pane.reset();
  if (OnClose) OnClose(this);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// The open and save dialogs

TOpenCorvexDialog::TOpenCorvexDialog(TComponent* AOwner) : TCXCommonDialog(AOwner, false) {}

TSaveCorvexDialog::TSaveCorvexDialog(TComponent* AOwner) : TCXCommonDialog(AOwner, true) {}

TSaveCorvexDialog::~TSaveCorvexDialog() { SetAttachedCorvexIO(nullptr); }

void TSaveCorvexDialog::SetAttachedCorvexIO(TCorvexIO* Value) {
  if (Value == IO_) return;
  if (IO_ != nullptr) IO_->RemoveFreeNotification(this);
  IO_ = Value;
  if (IO_ != nullptr) IO_->FreeNotification(this);
}

void TSaveCorvexDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TCXCommonDialog::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == IO_) IO_ = nullptr;
}

TPreviewPages TSaveCorvexDialog::OptionsPages() const {
  const std::vector<int> types = EntryTypes();
  const int index = GetFilterIndex() - 1;
  int type = index >= 0 && index < int(types.size()) ? types[size_t(index)] : 0;
  if (type == 0) {
    // The filter is not one format: the typed name's extension may tell.
    const std::string name = GetForm() != nullptr ? GetForm()->GetFileNameEdit()->GetText() : GetFileName();
    const std::string ext = Lower(fs::path(name).extension().string());
    const TCXFileFormatInfo* info = ext.size() > 1 ? CXFileFormatGetInfo2(ext.substr(1)) : nullptr;
    if (info != nullptr) type = info->FileType;
  }
  switch (type) {
    case ioJPEG: return {ppJPEG};
    case ioTIFF: return {ppTIFF};
    case ioGIF: return {ppGIF};
    case ioBMP: return {ppBMP};
    case ioPCX: return {ppPCX};
    case ioPNG: return {ppPNG};
    case ioTGA: return {ppTGA};
    default: return {ppALL};
  }
}

void TSaveCorvexDialog::Options() {
  if (IO_ != nullptr) IO_->DoPreviews(OptionsPages());
}

}  // namespace corvex
