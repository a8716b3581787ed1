// A form with one of each widget of the window layer (and a combo box with its list open), next
// to a confirmation message box, drawn headless and saved as one PNG.
//
// Usage: widget_gallery [output.png [dpi]]   (default: widgets.png at the screen's 96 dpi)
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"

using namespace corvex;

namespace {

// A 16 x 16 glyph: a coloured shape on a white (transparent) background.
void MakeGlyph(TBitmap& B, int Kind) {
  B.Allocate(16, 16, pf24bit);
  TCanvas* c = B.GetCanvas();
  c->GetBrush()->SetColor(clWhite);
  c->FillRect(Rect(0, 0, 16, 16));
  c->GetPen()->SetColor(clBlack);
  switch (Kind) {
    case 0: c->GetBrush()->SetColor(clRed); c->Rectangle(2, 2, 14, 14); break;
    case 1: c->GetBrush()->SetColor(clLime); c->Ellipse(2, 2, 14, 14); break;
    default: {
      c->GetBrush()->SetColor(clBlue);
      const TPoint tri[3] = {{8, 2}, {14, 13}, {2, 13}};
      c->Polygon(tri, 3);
      break;
    }
  }
}

// Copies a top-level window's whole image into the sheet at (X, Y).
void Paste(TBitmap& Sheet, TWinControl* Window, int X, int Y) {
  TBitmap* s = Application().WindowSurface(Window);
  if (s == nullptr) return;
  Sheet.GetCanvas()->Draw(X, Y, s);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "widgets.png";
  if (argc > 2 && std::atoi(argv[2]) >= 48 && std::atoi(argv[2]) <= 480) gSystemDPIX = gSystemDPIY = std::atoi(argv[2]);
  auto form = std::make_unique<TForm>(nullptr);
  TForm* f = form.get();
  f->SetCaption("Widgets");
  f->SetBounds(40, 40, ScaleToScreen(620), ScaleToScreen(430));
  auto S = ScaleToScreen;

  auto* ok = new TButton(f);
  ok->SetCaption("&OK");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  ok->SetBounds(S(12), S(12), S(75), S(25));
  ok->SetParent(f);
  auto* cancel = new TButton(f);
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  cancel->SetBounds(S(95), S(12), S(75), S(25));
  cancel->SetParent(f);
  auto* disabled = new TButton(f);
  disabled->SetCaption("&Disabled");
  disabled->SetEnabled(false);
  disabled->SetBounds(S(178), S(12), S(75), S(25));
  disabled->SetParent(f);

  auto* name = new TEdit(f);
  name->SetText("Corvex");
  name->SetBounds(S(60), S(48), S(193), S(21));
  auto* nameLabel = new TLabel(f);
  nameLabel->SetCaption("&Name:");
  nameLabel->SetFocusControl(name);
  nameLabel->SetBounds(S(12), S(52), 0, 0);
  nameLabel->SetParent(f);
  name->SetParent(f);

  auto* check = new TCheckBox(f);
  check->SetCaption("&Check box");
  check->SetChecked(true);
  check->SetBounds(S(12), S(80), S(115), S(17));
  check->SetParent(f);
  auto* grayed = new TCheckBox(f);
  grayed->SetCaption("&Grayed");
  grayed->SetAllowGrayed(true);
  grayed->SetState(cbGrayed);
  grayed->SetBounds(S(135), S(80), S(115), S(17));
  grayed->SetParent(f);
  auto* radio1 = new TRadioButton(f);
  radio1->SetCaption("&Radio one");
  radio1->SetChecked(true);
  radio1->SetBounds(S(12), S(102), S(115), S(17));
  radio1->SetParent(f);
  auto* radio2 = new TRadioButton(f);
  radio2->SetCaption("Radio &two");
  radio2->SetBounds(S(135), S(102), S(115), S(17));
  radio2->SetParent(f);

  TBitmap glyph;
  for (int i = 0; i < 3; ++i) {
    auto* sb = new TSpeedButton(f);
    MakeGlyph(glyph, i);
    sb->SetGlyph(&glyph);
    sb->SetGroupIndex(1);
    sb->SetBounds(S(12) + i * S(25), S(128), S(25), S(24));
    sb->SetParent(f);
    if (i == 1) sb->SetDown(true);
  }
  auto* flat = new TSpeedButton(f);
  flat->SetCaption("Flat");
  flat->SetFlat(true);
  flat->SetBounds(S(95), S(128), S(50), S(24));
  flat->SetParent(f);
  auto* textButton = new TSpeedButton(f);
  MakeGlyph(glyph, 2);
  textButton->SetGlyph(&glyph);
  textButton->SetCaption("Glyph");
  textButton->SetBounds(S(150), S(128), S(70), S(24));
  textButton->SetParent(f);

  auto* track = new TTrackBar(f);
  track->SetBounds(S(6), S(160), S(250), S(45));
  track->SetMax(20);
  track->SetFrequency(2);
  track->SetPosition(7);
  track->SetParent(f);

  auto* spin = new TSpinEdit(f);
  spin->SetMinValue(0);
  spin->SetMaxValue(100);
  spin->SetValue(42);
  spin->SetBounds(S(12), S(212), S(80), S(22));
  spin->SetParent(f);

  auto* combo = new TComboBox(f);
  combo->SetStyle(csDropDownList);
  combo->SetItems({"Nearest", "Bilinear", "Bicubic", "Lanczos"});
  combo->SetItemIndex(2);
  combo->SetBounds(S(100), S(212), S(153), S(21));
  combo->SetParent(f);

  auto* dropdown = new TComboBox(f);
  dropdown->SetItems({"25 %", "50 %", "100 %", "200 %", "400 %", "800 %", "1600 %", "3200 %", "6400 %", "Fit"});
  dropdown->SetText("100 %");
  dropdown->SetDropDownCount(5);
  dropdown->SetBounds(S(12), S(244), S(120), S(21));
  dropdown->SetParent(f);

  auto* panel = new TPanel(f);
  panel->SetCaption("Panel");
  panel->SetBevelOuter(bvRaised);
  panel->SetBevelInner(bvLowered);
  panel->SetBounds(S(12), S(380), S(241), S(38));
  panel->SetParent(f);

  auto* group = new TRadioGroup(f);
  group->SetCaption("Radio &group");
  group->SetItems({"&Left", "&Centre", "R&ight", "&Justify"});
  group->SetColumns(2);
  group->SetItemIndex(1);
  group->SetBounds(S(268), S(8), S(170), S(74));
  group->SetParent(f);

  auto* box = new TGroupBox(f);
  box->SetCaption("Group &box");
  box->SetBounds(S(446), S(8), S(162), S(74));
  box->SetParent(f);
  auto* inner = new TCheckBox(f);
  inner->SetCaption("Inside");
  inner->SetBounds(S(10), S(22), S(120), S(17));
  inner->SetParent(box);
  auto* innerLabel = new TLabel(f);
  innerLabel->SetCaption("A label that wraps inside the box");
  innerLabel->SetWordWrap(true);
  innerLabel->SetBounds(S(10), S(42), S(145), 0);
  innerLabel->SetParent(box);

  auto* list = new TListBox(f);
  list->SetMultiSelect(true);
  for (const char* s : {"Red", "Green", "Blue", "Cyan", "Magenta", "Yellow", "Black", "White", "Grey", "Orange"})
    list->AddItem(s);
  list->SetBounds(S(268), S(92), S(140), S(110));
  list->SetParent(f);
  list->SetItemIndex(1);
  list->SetSelected(3, true);

  auto* pages = new TPageControl(f);
  pages->SetBounds(S(268), S(212), S(340), S(206));
  pages->SetParent(f);
  for (const char* caption : {"&General", "&Colours", "Advanced"}) {
    auto* sheet = new TTabSheet(f);
    sheet->SetCaption(caption);
    sheet->SetPageControl(pages);
  }
  auto* pageLabel = new TLabel(f);
  pageLabel->SetCaption("Controls on the first page:");
  pageLabel->SetBounds(S(8), S(8), 0, 0);
  pageLabel->SetParent(pages->GetPage(0));
  auto* pageCheck = new TCheckBox(f);
  pageCheck->SetCaption("&Smooth");
  pageCheck->SetBounds(S(8), S(30), S(120), S(17));
  pageCheck->SetParent(pages->GetPage(0));
  auto* vtrack = new TTrackBar(f);
  vtrack->SetOrientation(trVertical);
  vtrack->SetBounds(S(260), S(6), S(45), S(150));
  vtrack->SetPosition(3);
  vtrack->SetParent(pages->GetPage(0));

  f->Show();
  dropdown->SetDroppedDown(true);
  Application().ProcessMessages();

  std::unique_ptr<TForm> dlg(CreateMessageDialog("Save the changes to \"card.png\" before closing?", mtConfirmation,
                                                 {mbYes, mbNo, mbCancel}));
  dlg->SetLeft(f->GetLeft() + f->GetWidth() + 20);
  dlg->SetTop(f->GetTop());
  dlg->Show();
  combo->SetFocus();  // back on the gallery, to show a focused widget
  Application().ProcessMessages();

  const int border = 20;
  TBitmap sheet(f->GetWidth() + dlg->GetWidth() + 3 * border, std::max(f->GetHeight(), dlg->GetHeight()) + 2 * border, pf24bit);
  sheet.GetCanvas()->GetBrush()->SetColor(RGBColor(0x3A, 0x6E, 0xA5));
  sheet.GetCanvas()->FillRect(Rect(0, 0, sheet.GetWidth(), sheet.GetHeight()));
  Paste(sheet, f, border, border);
  TComboListPopup* popup = dropdown->GetListPopup();
  Paste(sheet, popup, border + popup->GetLeft() - f->GetLeft(), border + popup->GetTop() - f->GetTop());
  Paste(sheet, dlg.get(), 2 * border + f->GetWidth(), border);

  try {
    TFileStream file(out, fmCreate);
    TIOParamsVals params;
    TProgressRec progress;
    WritePNGStream(&file, &sheet, params, progress);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  dropdown->SetDroppedDown(false);
  std::printf("%s\n", out.c_str());
  return 0;
}
