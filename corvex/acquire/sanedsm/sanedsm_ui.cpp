// The SANE source manager's dialogs, made of the library's own widgets: the source's settings
// (pixel type, resolution, feeder) before a scan, and the choice among the scanners. They are
// shown only when a window system host runs the application; headless, a scan takes the device's
// current settings and the selection takes the first scanner.
#include <algorithm>
#include <cmath>
#include <string>

#include "corvex/acquire/sanedsm/sanedsm_pvt.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex::sanedsm {

namespace {

int S(int v) { return MulDiv(v, Screen().GetPixelsPerInch(), 96); }

const char* TypeName(int t) {
  switch (t) {
    case TWPT_BW: return "Black and white";
    case TWPT_GRAY: return "Greyscale";
    default: return "Colour";
  }
}

TLabel* AddLabel(TForm* F, const std::string& Text, int X, int Y, int W) {
  auto* l = new TLabel(F);
  l->SetParent(F);
  l->SetCaption(Text);
  l->SetBounds(S(X), S(Y), S(W), S(18));
  return l;
}

TComboBox* AddCombo(TForm* F, const std::vector<std::string>& Items, int Index, int X, int Y, int W) {
  auto* c = new TComboBox(F);
  c->SetParent(F);
  c->SetStyle(csDropDownList);
  c->SetItems(Items);
  c->SetItemIndex(Index);
  c->SetBounds(S(X), S(Y), S(W), S(24));
  return c;
}

TButton* AddButton(TForm* F, const std::string& Text, TModalResult Result, int X, int Y) {
  auto* b = new TButton(F);
  b->SetParent(F);
  b->SetCaption(Text);
  b->SetBounds(S(X), S(Y), S(80), S(26));
  b->SetModalResult(Result);
  if (Result == mrOk) b->SetDefault(true);
  else b->SetCancel(true);
  return b;
}

}  // namespace

bool SettingsDialogAvailable() { return Application().GetHost() != nullptr; }

bool RunSettingsDialog(const std::string& SourceName, SourceSettings& Set) {
  TForm F(nullptr);
  F.SetCaption("Scan - " + SourceName);
  F.SetFormBorderStyle(bsDialog);
  F.SetPosition(poMainFormCenter);
  F.SetClientWidth(S(320));
  F.SetClientHeight(S(Set.HasFeeder ? 176 : 146));

  std::vector<std::string> Types;
  int TypeIndex = 0;
  for (size_t i = 0; i < Set.PixelTypes.size(); ++i) {
    Types.emplace_back(TypeName(Set.PixelTypes[i]));
    if (Set.PixelTypes[i] == Set.PixelType) TypeIndex = static_cast<int>(i);
  }
  AddLabel(&F, "Pixel type:", 12, 16, 100);
  TComboBox* Type = AddCombo(&F, Types, Types.empty() ? -1 : TypeIndex, 116, 12, 192);

  std::vector<std::string> Dpis;
  int DpiIndex = -1;
  for (size_t i = 0; i < Set.Resolutions.size(); ++i) {
    Dpis.push_back(std::to_string(std::lround(Set.Resolutions[i])) + " dpi");
    if (Set.Resolutions[i] == Set.Resolution) DpiIndex = static_cast<int>(i);
  }
  AddLabel(&F, "Resolution:", 12, 50, 100);
  TComboBox* Dpi = AddCombo(&F, Dpis, DpiIndex, 116, 46, 192);

  TCheckBox* Feeder = nullptr;
  int Y = 84;
  if (Set.HasFeeder) {
    Feeder = new TCheckBox(&F);
    Feeder->SetParent(&F);
    Feeder->SetCaption("Use the document feeder");
    Feeder->SetChecked(Set.Feeder);
    Feeder->SetBounds(S(116), S(82), S(192), S(22));
    Y = 114;
  }
  AddButton(&F, "Scan", mrOk, 140, Y + 24);
  AddButton(&F, "Cancel", mrCancel, 228, Y + 24);
  F.SetActiveControl(Type);

  if (F.ShowModal() != mrOk) return false;
  if (Type->GetItemIndex() >= 0 && Type->GetItemIndex() < static_cast<int>(Set.PixelTypes.size()))
    Set.PixelType = Set.PixelTypes[static_cast<size_t>(Type->GetItemIndex())];
  if (Dpi->GetItemIndex() >= 0 && Dpi->GetItemIndex() < static_cast<int>(Set.Resolutions.size()))
    Set.Resolution = Set.Resolutions[static_cast<size_t>(Dpi->GetItemIndex())];
  if (Feeder != nullptr) Set.Feeder = Feeder->GetChecked();
  return true;
}

bool RunSelectDialog(const std::vector<std::string>& Names, int& Pick) {
  TForm F(nullptr);
  F.SetCaption("Select Source");
  F.SetFormBorderStyle(bsDialog);
  F.SetPosition(poMainFormCenter);
  F.SetClientWidth(S(300));
  F.SetClientHeight(S(220));
  auto* List = new TListBox(&F);
  List->SetParent(&F);
  List->SetItems(Names);
  List->SetItemIndex(std::clamp(Pick, 0, static_cast<int>(Names.size()) - 1));
  List->SetBounds(S(12), S(12), S(276), S(160));
  AddButton(&F, "Select", mrOk, 120, 184);
  AddButton(&F, "Cancel", mrCancel, 208, 184);
  F.SetActiveControl(List);
  if (F.ShowModal() != mrOk || List->GetItemIndex() < 0) return false;
  Pick = List->GetItemIndex();
  return true;
}

}  // namespace corvex::sanedsm
