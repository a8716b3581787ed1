// TfPreviews: construction, layout, captions and the events of its controls. The effects, the
// views' refresh and TCorvexProc::DoPreviews are in Previews_apply.cpp.
#include "corvex/dialogs/Previews.h"

#include "corvex/dialogs/ColorBox.h"

#include <algorithm>
#include <cstdio>

#include "corvex/controls/HistogramBox.h"
#include "corvex/core/cxwords.h"
#include "corvex/dialogs/FileDialogs.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"

namespace corvex {

namespace {

// Lengths are given at 96 dpi and scaled to the screen.
int S(int v) { return ScaleToScreen(v); }

// The pages in the order the dialog shows them.
constexpr TPreviewEffectsItem kPageOrder[] = {peContrast, peHSL,  peRGB,  peUserFilt, peHSV,    peEqualize,
                                              peBumpMap,  peLens, peWave, peMorph,    peRotate, peFFT};

const std::vector<std::string> kPresetNames = {"None",       "Blur",       "Edges",      "Emboss",    "High Pass 1",
                                               "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};

// Columns of the pages' two-column layout (96 dpi) and the height of one row.
constexpr int kCol0 = 10, kCol1 = 386, kRow = 36;
int RowY(int Row) { return 10 + Row * kRow; }
int ColX(int Column) { return Column == 0 ? kCol0 : kCol1; }

TGroupBox* Group(TComponent* Owner, TWinControl* Parent, int X, int Y, int W, int H) {
  auto* g = new TGroupBox(Owner);
  g->SetParent(Parent);
  g->SetBounds(S(X), S(Y), S(W), S(H));
  return g;
}
TLabel* Text(TComponent* Owner, TWinControl* Parent, int X, int Y, int W) {
  auto* l = new TLabel(Owner);
  l->SetParent(Parent);
  l->SetAutoSize(false);
  l->SetBounds(S(X), S(Y), S(W), S(18));
  return l;
}
TSpinEdit* Number(TComponent* Owner, TWinControl* Parent, int X, int Y, int W, int Min, int Max) {
  auto* e = new TSpinEdit(Owner);
  e->SetParent(Parent);
  e->SetBounds(S(X), S(Y), S(W), S(24));
  e->SetMinValue(Min);
  e->SetMaxValue(Max);
  return e;
}
TButton* Button(TComponent* Owner, TWinControl* Parent, int X, int Y, int W) {
  auto* b = new TButton(Owner);
  b->SetParent(Parent);
  b->SetBounds(S(X), S(Y), S(W), S(28));
  return b;
}

const char* const kFilterFiles = "Filter files (*.flt)|*.flt|All files (*.*)|*";

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCXParamSlider

TCXParamSlider::TCXParamSlider(TForm* Owner, TWinControl* Page, int Column, int Row, int Min, int Max, int Scale)
    : Scale_(std::max(1, Scale)) {
  const int x0 = ColX(Column), y = RowY(Row);
  Label = new TLabel(Owner);
  Label->SetParent(Page);
  Label->SetAutoSize(false);
  Label->SetBounds(S(x0), S(y + 7), S(98), S(18));
  Track = new TTrackBar(Owner);
  Track->SetParent(Page);
  Track->SetBounds(S(x0 + 100), S(y), S(200), S(30));
  Track->SetRange(Min, Max);
  Track->SetTickStyle(tsNone);
  Track->SetPageSize(std::max(1, (Max - Min) / 20));
  if (Scale_ == 1) {
    Edit = new TSpinEdit(Owner);
    Edit->SetParent(Page);
    Edit->SetBounds(S(x0 + 304), S(y + 3), S(64), S(24));
    Edit->SetMinValue(Min);
    Edit->SetMaxValue(Max);
    Edit->OnChange = TNotifyEvent(this, &TCXParamSlider::EditChanged);
  } else {
    ValueLabel = new TLabel(Owner);
    ValueLabel->SetParent(Page);
    ValueLabel->SetAutoSize(false);
    ValueLabel->SetBounds(S(x0 + 308), S(y + 7), S(60), S(18));
  }
  Track->OnChange = TNotifyEvent(this, &TCXParamSlider::TrackChanged);
  ShowValue();
}

int TCXParamSlider::GetValue() const { return Track->GetPosition(); }
int TCXParamSlider::GetMin() const { return Track->GetMin(); }
int TCXParamSlider::GetMax() const { return Track->GetMax(); }
void TCXParamSlider::SetValue(int Value) { Track->SetPosition(Value); }
void TCXParamSlider::SetCaption(const std::string& Caption) { Label->SetCaption(Caption); }

void TCXParamSlider::SetRange(int Min, int Max) {
  Syncing_ = true;
  const int before = Track->GetPosition();
  Track->SetRange(Min, Max);
  Track->SetPageSize(std::max(1, (Max - Min) / 20));
  if (Edit != nullptr) {
    Edit->SetMinValue(Min);
    Edit->SetMaxValue(Max);
  }
  Syncing_ = false;
  ShowValue();
  if (Track->GetPosition() != before) OnChange(this);
}

void TCXParamSlider::ShowValue() {
  Syncing_ = true;
  if (Edit != nullptr) {
    if (Edit->GetValue() != Track->GetPosition() || Edit->GetText().empty()) Edit->SetValue(Track->GetPosition());
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", double(Track->GetPosition()) / Scale_);
    ValueLabel->SetCaption(buf);
  }
  Syncing_ = false;
}

void TCXParamSlider::TrackChanged(TObject*) {
  if (Syncing_) return;
  ShowValue();
  OnChange(this);
}

void TCXParamSlider::EditChanged(TObject*) {
  if (Syncing_) return;
  // The track bar carries the value (and fires OnChange when it moves).
  Syncing_ = true;
  const int before = Track->GetPosition();
  Track->SetPosition(Edit->GetValue());
  Syncing_ = false;
  if (Track->GetPosition() != before) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Construction

TfPreviews::TfPreviews(TComponent* AOwner) : TForm(AOwner), ResultStart_(std::make_unique<TBitmap>()) {
  SetFormBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  SetClientWidth(S(780));
  SetClientHeight(S(596));

  Caption(Text(this, this, 8, 6, 200), CXMSG_SOURCE);
  Caption(Text(this, this, 432, 6, 200), CXMSG_RESULT);
  SourceView_ = new TCorvex(this);
  ResultView_ = new TCorvex(this);
  for (TCorvex* v : {SourceView_, ResultView_}) {
    v->SetParent(this);
    v->SetCenter(true);
    v->SetBackGround(clBtnFace);
    v->SetMouseInteract({});
    v->SetAutoUndo(false);
  }
  SourceView_->SetBounds(S(8), S(24), S(340), S(220));
  ResultView_->SetBounds(S(432), S(24), S(340), S(220));
  SourceView_->OnViewChange = TViewChangeEvent(this, &TfPreviews::SourceViewChanged);

  CopyToSource = new TButton(this);
  CopyToSource->SetParent(this);
  CopyToSource->SetCaption("<<");
  CopyToSource->SetBounds(S(360), S(116), S(60), S(28));
  CopyToSource->SetShowHint(true);
  CopyToSource->OnClick = TNotifyEvent(this, &TfPreviews::CopyToSourceClicked);

  Pages_ = new TPageControl(this);
  Pages_->SetParent(this);
  Pages_->SetBounds(S(8), S(254), S(764), S(292));
  Build();
  Pages_->OnChange = TNotifyEvent(this, &TfPreviews::PageChanged);

  Lock = new TCheckBox(this);
  Lock->SetParent(this);
  Lock->SetBounds(S(8), S(560), S(160), S(24));
  Lock->OnClick = TNotifyEvent(this, &TfPreviews::LockClicked);
  PreviewButton = new TButton(this);
  PreviewButton->SetParent(this);
  PreviewButton->SetBounds(S(176), S(558), S(96), S(28));
  PreviewButton->OnClick = TNotifyEvent(this, &TfPreviews::PreviewClicked);
  OkButton = new TButton(this);
  OkButton->SetParent(this);
  OkButton->SetBounds(S(596), S(558), S(84), S(28));
  OkButton->SetDefault(true);
  OkButton->SetModalResult(mrOk);
  OkButton->OnClick = TNotifyEvent(this, &TfPreviews::OkClicked);
  CancelButton = new TButton(this);
  CancelButton->SetParent(this);
  CancelButton->SetBounds(S(688), S(558), S(84), S(28));
  CancelButton->SetCancel(true);
  CancelButton->SetModalResult(mrCancel);
  Caption(Lock, CXMSG_LOCKPREVIEW);
  Caption(PreviewButton, CXMSG_PREVIEW, "&");
  Caption(OkButton, CXMSG_OK);
  SetActiveControl(Pages_);
  Caption(CancelButton, CXMSG_CANCEL);
  ApplyCaptions();
}

TfPreviews::~TfPreviews() {
  // The views go with the form; nothing may preview into them while it is destroyed.
  Showing_ = true;
  if (SourceView_ != nullptr) SourceView_->OnViewChange = nullptr;
}

TCXParamSlider* TfPreviews::Slider(TWinControl* Page, int Column, int Row, int Min, int Max, TMsgLanguageWords Word,
                                   int Scale) {
  Sliders_.push_back(std::make_unique<TCXParamSlider>(this, Page, Column, Row, Min, Max, Scale));
  TCXParamSlider* s = Sliders_.back().get();
  s->OnChange = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(s->Label, Word);
  return s;
}

void TfPreviews::Caption(TControl* Control, TMsgLanguageWords Word, const char* Prefix, const char* Suffix) {
  Captions_.push_back({Control, Word, Prefix, Suffix});
}

TTabSheet* TfPreviews::AddPage(TPreviewEffectsItem Effect) {
  auto* sheet = new TTabSheet(this);
  sheet->SetPageControl(Pages_);
  Sheets_[size_t(Effect)] = sheet;
  return sheet;
}

void TfPreviews::Build() {
  for (TPreviewEffectsItem e : kPageOrder) {
    TTabSheet* p = AddPage(e);
    switch (e) {
      case peContrast: BuildContrast(p); break;
      case peHSL: BuildHsl(p); break;
      case peRGB: BuildRgb(p); break;
      case peUserFilt: BuildUserFilter(p); break;
      case peHSV: BuildHsv(p); break;
      case peEqualize: BuildEqualize(p); break;
      case peBumpMap: BuildBumpMap(p); break;
      case peLens: BuildLens(p); break;
      case peWave: BuildWave(p); break;
      case peMorph: BuildMorph(p); break;
      case peRotate: BuildRotate(p); break;
      case peFFT: BuildFft(p); break;
      default: break;
    }
  }
}

void TfPreviews::BuildContrast(TTabSheet* p) {
  Contrast = Slider(p, 0, 0, -100, 100, CXMSG_CONTRAST);
  Brightness = Slider(p, 0, 1, -255, 255, CXMSG_BRIGHTNESS);
}

void TfPreviews::BuildHsl(TTabSheet* p) {
  HslHue = Slider(p, 0, 0, -180, 180, CXMSG_HUE);
  HslSaturation = Slider(p, 0, 1, -100, 100, CXMSG_SATURATION);
  HslLuminosity = Slider(p, 0, 2, -100, 100, CXMSG_LUMINOSITY);
}

void TfPreviews::BuildRgb(TTabSheet* p) {
  RgbRed = Slider(p, 0, 0, -255, 255, CXMSG_RED);
  RgbGreen = Slider(p, 0, 1, -255, 255, CXMSG_GREEN);
  RgbBlue = Slider(p, 0, 2, -255, 255, CXMSG_BLUE);
}

void TfPreviews::BuildHsv(TTabSheet* p) {
  HsvHue = Slider(p, 0, 0, -180, 180, CXMSG_HUE);
  HsvSaturation = Slider(p, 0, 1, -100, 100, CXMSG_SATURATION);
  HsvValue = Slider(p, 0, 2, -100, 100, CXMSG_VALUE);
}

void TfPreviews::BuildUserFilter(TTabSheet* p) {
  auto* values = Group(this, p, kCol0, 6, 250, 184);
  Caption(values, CXMSG_FILTERVALUES);
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) {
      Kernel[r][c] = Number(this, values, 14 + int(c) * 76, 28 + int(r) * 34, 68, -9999, 9999);
      Kernel[r][c]->OnChange = TNotifyEvent(this, &TfPreviews::ParamChanged);
    }
  Caption(Text(this, values, 14, 146, 74), CXMSG_DIVISOR);
  Divisor = Number(this, values, 90, 142, 68, -9999, 9999);
  Divisor->OnChange = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(Text(this, p, kCol1 - 100, 14, 96), CXMSG_PRESETS);
  Presets = new TComboBox(this);
  Presets->SetParent(p);
  Presets->SetStyle(csDropDownList);
  Presets->SetItems(kPresetNames);
  Presets->SetBounds(S(kCol1), S(10), S(182), S(24));
  Presets->OnChange = TNotifyEvent(this, &TfPreviews::PresetChanged);
  LoadButton = Button(this, p, kCol1, 50, 88);
  SaveButton = Button(this, p, kCol1 + 94, 50, 88);
  Caption(LoadButton, CXMSG_LOAD, "&", "...");
  Caption(SaveButton, CXMSG_SAVE, "&", "...");
  LoadButton->OnClick = TNotifyEvent(this, &TfPreviews::LoadClicked);
  SaveButton->OnClick = TNotifyEvent(this, &TfPreviews::SaveClicked);
}

void TfPreviews::BuildEqualize(TTabSheet* p) {
  auto* thr = Group(this, p, kCol0, 4, 340, 106);
  auto* eq = Group(this, p, kCol0, 116, 340, 106);
  Caption(thr, CXMSG_THRESHOLD);
  Caption(eq, CXMSG_EQUALIZATION);
  const TMsgLanguageWords heads[3] = {CXMSG_RED, CXMSG_GREEN, CXMSG_BLUE};
  for (TGroupBox* g : {thr, eq}) {
    for (int c = 0; c < 3; ++c) Caption(Text(this, g, 104 + c * 78, 20, 70), heads[c]);
    Caption(Text(this, g, 10, 46, 90), CXMSG_MINIMUM);
    Caption(Text(this, g, 10, 76, 90), CXMSG_MAXIMUM);
  }
  for (size_t c = 0; c < 3; ++c) {
    ThresholdLow[c] = Number(this, thr, 100 + int(c) * 78, 42, 70, 0, 255);
    ThresholdHigh[c] = Number(this, thr, 100 + int(c) * 78, 72, 70, 0, 255);
    EqualizeLow[c] = Number(this, eq, 100 + int(c) * 78, 42, 70, 0, 255);
    EqualizeHigh[c] = Number(this, eq, 100 + int(c) * 78, 72, 70, 0, 255);
    for (TSpinEdit* e : {ThresholdLow[c], ThresholdHigh[c], EqualizeLow[c], EqualizeHigh[c]})
      e->OnChange = TNotifyEvent(this, &TfPreviews::ParamChanged);
  }
  Caption(Text(this, p, kCol1 - 20, 4, 200), CXMSG_HISTOGRAM);
  Histogram = new THistogramBox(this);
  Histogram->SetParent(p);
  Histogram->SetBounds(S(kCol1 - 20), S(24), S(300), S(130));
  Histogram->SetHistogramKind({hkGray});
  Histogram->SetAttachedCorvexProc(SourceView_->GetProc());
  const TMsgLanguageWords channels[4] = {CXMSG_RED, CXMSG_GREEN, CXMSG_BLUE, CXMSG_GRAY};
  for (size_t i = 0; i < 4; ++i) {
    HistogramChannels[i] = new TCheckBox(this);
    HistogramChannels[i]->SetParent(p);
    HistogramChannels[i]->SetBounds(S(kCol1 - 20 + int(i) * 70), S(160), S(68), S(22));
    HistogramChannels[i]->OnClick = TNotifyEvent(this, &TfPreviews::HistogramChannelClicked);
    Caption(HistogramChannels[i], channels[i]);
  }
  EqualizeButton = new TSpeedButton(this);
  EqualizeButton->SetParent(p);
  EqualizeButton->SetBounds(S(kCol1 - 20), S(192), S(110), S(28));
  EqualizeButton->SetGroupIndex(1);
  EqualizeButton->SetAllowAllUp(true);
  EqualizeButton->OnClick = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(EqualizeButton, CXMSG_EQUALIZE);
}

void TfPreviews::BuildBumpMap(TTabSheet* p) {
  BumpLeft = Slider(p, 0, 0, 0, 1, CXMSG_LEFT);
  BumpTop = Slider(p, 0, 1, 0, 1, CXMSG_TOP);
  BumpWidth = Slider(p, 0, 2, 1, 2, CXMSG_WIDTH);
  BumpHeight = Slider(p, 0, 3, 1, 2, CXMSG_HEIGHT);
  BumpSource = Slider(p, 1, 0, 0, 100, CXMSG_SOURCEIMAGEQUANTITY);
  // A long caption: it wraps over two lines beside its track bar.
  BumpSource->Label->SetWordWrap(true);
  BumpSource->Label->SetBounds(S(kCol1), S(RowY(0)), S(98), S(34));
  Caption(Text(this, p, kCol1, RowY(1) + 7, 98), CXMSG_COLOR);
  BumpColor = new TPanel(this);
  BumpColor->SetParent(p);
  BumpColor->SetBounds(S(kCol1 + 100), S(RowY(1) + 2), S(60), S(26));
  BumpColor->SetBevelOuter(bvLowered);
  BumpColor->SetCursor(crHandPoint);
  BumpColor->OnClick = TNotifyEvent(this, &TfPreviews::ColorClicked);
}

void TfPreviews::BuildLens(TTabSheet* p) {
  LensLeft = Slider(p, 0, 0, 0, 1, CXMSG_LEFT);
  LensTop = Slider(p, 0, 1, 0, 1, CXMSG_TOP);
  LensWidth = Slider(p, 0, 2, 1, 2, CXMSG_WIDTH);
  LensHeight = Slider(p, 0, 3, 1, 2, CXMSG_HEIGHT);
  LensRefraction = Slider(p, 1, 0, 100, 500, CXMSG_REFRACTION, 100);
}

void TfPreviews::BuildWave(TTabSheet* p) {
  WaveAmplitude = Slider(p, 0, 0, 0, 100, CXMSG_AMPLITUDE);
  WaveLength = Slider(p, 0, 1, 0, 200, CXMSG_WAVELENGTH);
  WavePhase = Slider(p, 0, 2, 0, 359, CXMSG_PHASE);
  WaveReflective = new TCheckBox(this);
  WaveReflective->SetParent(p);
  WaveReflective->SetBounds(S(kCol0 + 100), S(RowY(3) + 4), S(200), S(22));
  WaveReflective->OnClick = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(WaveReflective, CXMSG_REFLECTIVE);
}

void TfPreviews::BuildMorph(TTabSheet* p) {
  MorphOperation = new TRadioGroup(this);
  MorphOperation->SetParent(p);
  MorphOperation->SetBounds(S(kCol0), S(6), S(220), S(130));
  MorphOperation->SetItems({"", "", "", ""});
  MorphOperation->OnClick = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(MorphOperation, CXMSG_MORPHFILTER);
  MorphWindow = Slider(p, 1, 0, 1, 10, CXMSG_WINDOWSIZE);
}

void TfPreviews::BuildRotate(TTabSheet* p) {
  RotateAngle = Slider(p, 0, 0, -180, 180, CXMSG_ROTATE);
  auto* flip = Group(this, p, kCol0, RowY(1) + 8, 300, 66);
  Caption(flip, CXMSG_FLIP);
  FlipHorizontal = new TSpeedButton(this);
  FlipVertical = new TSpeedButton(this);
  Caption(FlipHorizontal, CXMSG_FLIPHOR);
  Caption(FlipVertical, CXMSG_FLIPVER);
  int x = 12, group = 1;
  for (TSpeedButton* b : {FlipHorizontal, FlipVertical}) {
    b->SetParent(flip);
    b->SetBounds(S(x), S(26), S(130), S(28));
    b->SetGroupIndex(group++);
    b->SetAllowAllUp(true);
    b->OnClick = TNotifyEvent(this, &TfPreviews::ParamChanged);
    x += 142;
  }
}

void TfPreviews::BuildFft(TTabSheet* p) {
  Spectrum_ = new TCorvexView(this);
  Spectrum_->SetParent(p);
  Spectrum_->SetBounds(S(kCol0), S(4), S(232), S(232));
  Spectrum_->SetCenter(true);
  Spectrum_->SetAutoFit(true);
  Spectrum_->SetBackGround(clBlack);
  Spectrum_->SetMouseInteract({miSelect});
  Spectrum_->SetSelectionBase(cxsbBitmap);  // Select by code in spectrum pixels
  Spectrum_->OnSelectionChange = TNotifyEvent(this, &TfPreviews::ParamChanged);
  Caption(Text(this, p, 256, 8, 460), CXMSG_FREQUENCYDOMAINIMAGE);
  Caption(Text(this, p, 256, 30, 460), CXMSG_SELECTTHEREGIONTOCLEAR);
  FftGray = new TCheckBox(this);
  FftGray->SetParent(p);
  FftGray->SetBounds(S(256), S(60), S(200), S(22));
  FftGray->OnClick = TNotifyEvent(this, &TfPreviews::FftGrayClicked);
  Caption(FftGray, CXMSG_GRAYSCALE);
  FftClear = Button(this, p, 256, 96, 96);
  FftReset = Button(this, p, 360, 96, 96);
  Caption(FftClear, CXMSG_CLEAR);
  Caption(FftReset, CXMSG_RESET);
  FftClear->OnClick = TNotifyEvent(this, &TfPreviews::FftClearClicked);
  FftReset->OnClick = TNotifyEvent(this, &TfPreviews::FftResetClicked);
}

// ---------------------------------------------------------------------------------------------
// Captions

void TfPreviews::SetLanguage(TMsgLanguage Language) {
  Language_ = Language;
  ApplyCaptions();
}

void TfPreviews::ApplyCaptions() {
  const TMsgLanguage L = Language_;
  SetCaption(cxmsg(CXMSG_PREVIEW, L));
  for (const CaptionEntry& c : Captions_) c.Control->SetCaption(c.Prefix + cxmsg(c.Word, L) + c.Suffix);
  CopyToSource->SetHint(cxmsg(CXMSG_COPYRESULTTOSOURCE, L));
  // Page captions: words of the table where it has them.
  const std::pair<TPreviewEffectsItem, std::string> pages[] = {
      {peContrast, cxmsg(CXMSG_CONTRAST, L)}, {peHSL, "HSL"}, {peRGB, "RGB"},
      {peUserFilt, cxmsg(CXMSG_USERFILTER, L)}, {peHSV, "HSV"}, {peEqualize, cxmsg(CXMSG_EQUALIZATION, L)},
      {peBumpMap, "Bump map"}, {peLens, cxmsg(CXMSG_LENS, L)}, {peWave, cxmsg(CXMSG_WAVE, L)},
      {peMorph, cxmsg(CXMSG_MORPHFILTER, L)}, {peRotate, cxmsg(CXMSG_ROTATE, L)}, {peFFT, "FFT"}};
  for (const auto& [e, text] : pages) Sheets_[size_t(e)]->SetCaption(text);
  const int op = MorphOperation->GetItemIndex();
  const bool was = Updating_;
  Updating_ = true;
  MorphOperation->SetItems({cxmsg(CXMSG_MAXIMUM, L), cxmsg(CXMSG_MINIMUM, L), cxmsg(CXMSG_OPEN, L),
                            cxmsg(CXMSG_CLOSE, L)});
  MorphOperation->SetItemIndex(op);
  Updating_ = was;
}

// ---------------------------------------------------------------------------------------------
// Pages

TTabSheet* TfPreviews::GetPage(TPreviewEffectsItem Effect) const {
  return Effect == peAll ? nullptr : Sheets_[size_t(Effect)];
}

bool TfPreviews::IsPageOffered(TPreviewEffectsItem Effect) const {
  return Effect != peAll && (Effects_.Contains(peAll) || Effects_.Contains(Effect));
}

TPreviewEffectsItem TfPreviews::GetActiveEffect() const {
  const TTabSheet* active = Pages_->GetActivePage();
  for (TPreviewEffectsItem e : kPageOrder)
    if (Sheets_[size_t(e)] == active) return e;
  return peAll;
}

void TfPreviews::SelectPage(TPreviewEffectsItem Effect) {
  if (!IsPageOffered(Effect) || GetActiveEffect() == Effect) return;
  Pages_->SetActivePage(Sheets_[size_t(Effect)]);
  PageChanged(Pages_);
}

bool TfPreviews::GetLockPreview() const { return Lock->GetChecked(); }

void TfPreviews::SetLockPreview(bool Value) { Lock->SetChecked(Value); }

TGraphFilter TfPreviews::GetKernel() const {
  TGraphFilter f;
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) f.Values[r][c] = Kernel[r][c]->GetValue();
  f.Divisor = Divisor->GetValue();
  return f;
}

void TfPreviews::SetKernel(const TGraphFilter& Filter) {
  const bool was = Updating_;
  Updating_ = true;
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) Kernel[r][c]->SetValue(Filter.Values[r][c]);
  Divisor->SetValue(Filter.Divisor);
  Updating_ = was;
}

// ---------------------------------------------------------------------------------------------
// Events

void TfPreviews::SetVisible(bool Value) {
  if (Value && !GetVisible()) Activate();
  TForm::SetVisible(Value);
}

TModalResult TfPreviews::ShowModal() {
  Applied_ = false;
  const TModalResult r = TForm::ShowModal();
  // However OK came (the button, Enter, code), the effect reaches the source once.
  if (r == mrOk && !Applied_) OkClicked(this);
  return r;
}

namespace {
// Every window inside Parent repaints: windows that have not painted yet while their page was
// hidden are not repainted by the page's showing alone.
void RepaintAll(TWinControl* Parent) {
  for (int i = 0; i < Parent->GetControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(Parent->GetControl(i))) {
      w->Invalidate();
      RepaintAll(w);
    }
}
}  // namespace

void TfPreviews::PageChanged(TObject*) {
  if (GetActiveEffect() == peAll) return;
  RepaintAll(Pages_->GetActivePage());
  ResetParameters(false);
  const TPreviewEffectsItem e = GetActiveEffect();
  TCXMouseInteractItems mi = SourceView_->GetMouseInteract();
  const bool wasShowing = Showing_;
  Showing_ = true;  // fitting the source refreshes the result once, below
  if (e == peMorph || e == peFFT) {
    // Window sizes and spectra depend on the scale: the whole source at its fitted size.
    mi = mi - TCXMouseInteractItems{miZoom};
    SourceView_->SetMouseInteract(mi);
    SourceView_->Fit();
  } else {
    SourceView_->SetMouseInteract(mi + TCXMouseInteractItems{miZoom});
  }
  Showing_ = wasShowing;
  CopyOrg();
  if (GetLockPreview()) Preview();
}

void TfPreviews::ParamChanged(TObject* Sender) {
  if (Updating_ || Showing_) return;
  if (Sender == Spectrum_ && GetActiveEffect() != peFFT) return;
  if (GetLockPreview()) Preview();
}

void TfPreviews::PresetChanged(TObject* Sender) {
  const int i = Presets->GetItemIndex();
  if (i < 0 || i >= 9) return;
  TGraphFilter f = CXFiltPres[i];
  SetKernel(f);
  ParamChanged(Sender);
}

void TfPreviews::LockClicked(TObject*) {
  PreviewButton->SetEnabled(!GetLockPreview());
  if (GetLockPreview() && !Showing_) Preview();
}

void TfPreviews::PreviewClicked(TObject*) { Preview(); }

void TfPreviews::CopyToSourceClicked(TObject*) { CopyModToOrg(); }

void TfPreviews::OkClicked(TObject*) {
  if (Applied_) return;
  Applied_ = true;
  const TCursor saved = Screen().GetCursor();
  Screen().SetCursor(crHourGlass);
  ProgressOn_ = true;
  applyAct(SourceView_);
  ProgressOn_ = false;
  SourceView_->Update();
  Screen().SetCursor(saved);
}

void TfPreviews::HistogramChannelClicked(TObject*) {
  THistogramKind kind;
  const THistogramKindItem items[4] = {hkRed, hkGreen, hkBlue, hkGray};
  for (size_t i = 0; i < 4; ++i)
    if (HistogramChannels[i]->GetChecked()) kind += THistogramKind{items[i]};
  Histogram->SetHistogramKind(kind);
}

void TfPreviews::ColorClicked(TObject* Sender) {
  TRGB c = BumpRGB_;
  if (!CXPickColor(c, Language_, GetFont())) return;
  BumpRGB_ = c;
  BumpColor->SetColor(TRGB2TColor(c));
  ParamChanged(Sender);
}

bool TfPreviews::LoadFilter(const std::string& FileName, std::string& Error) {
  // The kernel file is exactly 1, 3, 3 and ten 32-bit values; anything else is refused here
  // rather than loaded as some other kernel.
  uint8_t head[3] = {0, 0, 0};
  int64_t size = -1;
  if (std::FILE* f = std::fopen(FileName.c_str(), "rb")) {
    const size_t got = std::fread(head, 1, 3, f);
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    if (got != 3) size = -1;
  } else {
    Error = FileName + ": cannot be read";
    return false;
  }
  if (size != 43 || head[0] != 1 || head[1] != 3 || head[2] != 3) {
    Error = FileName + ": not a filter file (43 bytes starting 1, 3, 3)";
    return false;
  }
  TGraphFilter f;
  try {
    f = LoadFilterFromFile(FileName);
  } catch (const Exception& e) {
    Error = FileName + ": " + e.what();
    return false;
  }
  SetKernel(f);
  Updating_ = true;
  Presets->SetItemIndex(-1);
  Updating_ = false;
  ParamChanged(LoadButton);
  return true;
}

bool TfPreviews::SaveFilter(const std::string& FileName, std::string& Error) {
  try {
    SaveFilterToFile(FileName, GetKernel());
    return true;
  } catch (const Exception& e) {
    Error = FileName + ": " + e.what();
    return false;
  }
}

void TfPreviews::LoadClicked(TObject*) {
  TOpenCorvexDialog dlg(this);
  dlg.SetTitle("Load filter");
  dlg.SetFilter(kFilterFiles);
  if (!dlg.Execute()) return;
  std::string error;
  if (!LoadFilter(dlg.GetFileName(), error)) MessageDlg(error, mtError, {mbOK}, 0);
}

void TfPreviews::SaveClicked(TObject*) {
  TSaveCorvexDialog dlg(this);
  dlg.SetTitle("Save filter");
  dlg.SetFilter(kFilterFiles);
  dlg.SetFileName("filter.flt");
  if (!dlg.Execute()) return;
  std::string error;
  if (!SaveFilter(dlg.GetFileName(), error)) MessageDlg(error, mtError, {mbOK}, 0);
}

void TfPreviews::SourceViewChanged(TObject*, int) {
  if (Showing_ || Updating_) return;
  CopyOrg();
  if (GetLockPreview()) Preview();
}

void TfPreviews::FftGrayClicked(TObject*) {
  if (Updating_ || Showing_) return;
  TransformStale_ = true;
  CopyOrg();
  if (GetLockPreview()) Preview();
}

void TfPreviews::FftClearClicked(TObject*) {
  // The selected zone joins those already cleared; the spectrum shows them all black.
  if (!Spectrum_->GetSelected()) return;
  const std::vector<TRect> zones = FftZones();
  KeptZones_ = zones;
  Updating_ = true;
  Spectrum_->DeSelect();
  Updating_ = false;
  ShowSpectrum();
  ParamChanged(FftClear);
}

void TfPreviews::FftResetClicked(TObject*) {
  KeptZones_.clear();
  Updating_ = true;
  Spectrum_->DeSelect();
  Updating_ = false;
  CopyOrg();
  if (GetLockPreview()) Preview();
}

}  // namespace corvex
