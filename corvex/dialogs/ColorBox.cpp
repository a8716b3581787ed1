#include "corvex/dialogs/ColorBox.h"

#include "corvex/platform/graphics/font.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {
namespace {
int S(int v) { return ScaleToScreen(v); }
}  // namespace

bool CXPickColor(TRGB& Color, TMsgLanguage Lang, const TFont* Font) {
  TForm f(nullptr);
  if (Font != nullptr) f.GetFont()->Assign(Font);
  f.SetCaption(cxmsg(CXMSG_COLOR, Lang));
  f.SetFormBorderStyle(bsDialog);
  f.SetPosition(poMainFormCenter);
  f.SetClientWidth(S(260));
  f.SetClientHeight(S(150));
  auto* swatch = new TPanel(&f);
  swatch->SetParent(&f);
  swatch->SetBounds(S(12), S(12), S(64), S(88));
  swatch->SetBevelOuter(bvLowered);
  swatch->SetColor(TRGB2TColor(Color));
  const TMsgLanguageWords words[3] = {CXMSG_RED, CXMSG_GREEN, CXMSG_BLUE};
  uint8_t* channel[3] = {&Color.r, &Color.g, &Color.b};
  TSpinEdit* spins[3];
  for (int i = 0; i < 3; ++i) {
    auto* l = new TLabel(&f);
    l->SetParent(&f);
    l->SetCaption(cxmsg(words[i], Lang));
    l->SetBounds(S(88), S(16 + i * 30), S(70), S(20));
    spins[i] = new TSpinEdit(&f);
    spins[i]->SetParent(&f);
    spins[i]->SetBounds(S(170), S(12 + i * 30), S(76), S(24));
    spins[i]->SetMinValue(0);
    spins[i]->SetMaxValue(255);
    spins[i]->SetValue(*channel[i]);
  }
  struct Sync : TObject {
    TSpinEdit** s;
    TPanel* p;
    void Changed(TObject*) {
      p->SetColor(TRGB2TColor(CreateRGB(uint8_t(s[0]->GetValue()), uint8_t(s[1]->GetValue()), uint8_t(s[2]->GetValue()))));
    }
  } sync;
  sync.s = spins;
  sync.p = swatch;
  for (TSpinEdit* s : spins) s->OnChange = TNotifyEvent(&sync, &Sync::Changed);
  auto* ok = new TButton(&f);
  ok->SetParent(&f);
  ok->SetCaption(cxmsg(CXMSG_OK, Lang));
  ok->SetBounds(S(92), S(112), S(76), S(26));
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = new TButton(&f);
  cancel->SetParent(&f);
  cancel->SetCaption(cxmsg(CXMSG_CANCEL, Lang));
  cancel->SetBounds(S(174), S(112), S(76), S(26));
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  f.SetActiveControl(spins[0]);
  if (f.ShowModal() != mrOk) return false;
  Color = CreateRGB(uint8_t(spins[0]->GetValue()), uint8_t(spins[1]->GetValue()), uint8_t(spins[2]->GetValue()));
  return true;
}

}  // namespace corvex
