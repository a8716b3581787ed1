// TfPreviews: the processing preview dialog. One page per effect (contrast and brightness, HSL,
// RGB, a user 3 x 3 filter, HSV, equalisation, bump map, lens, wave, morphological filters,
// rotation and flips, and filtering in the frequency domain), the selected area as it is
// ("Source", a view the user may zoom into) and as the page's parameters change it ("Result",
// made from what the source view shows at its zoom), and OK / Cancel.
//
// The result is worked out again after every parameter change while "Lock preview" is checked,
// otherwise only when "Preview" is pressed. "<<" applies the effect at full resolution to the
// source and starts again from there. OK applies the active page's effect at full resolution to
// the source view's bitmap; TCorvexProc::DoPreviews (through the runner this layer registers)
// then merges that bitmap back into the image through the selection, with undo.
//
// Each page's parameters are reset the first time the page is shown in a showing of the dialog;
// switching pages keeps the values already set. Parameters of position and size (bump map, lens)
// are in pixels of the source bitmap; their ranges follow its size.
//
// A page whose parameters are all neutral (no shift, no contrast, the identity kernel, no
// rotation or flip, the full threshold and equalisation ranges) leaves the image untouched. The
// bump map, lens, wave, morphological and frequency pages always change the image.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "corvex/proc/CorvexProc.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

class TButton;
class TCheckBox;
class TComboBox;
class TCorvex;
class TCorvexView;
class THistogramBox;
class TCXFtImage;
class TLabel;
class TPageControl;
class TPanel;
class TRadioGroup;
class TSpeedButton;
class TSpinEdit;
class TTabSheet;
class TTrackBar;

// One numeric parameter of a page: its caption, a track bar and a number box that follow each
// other. A Scale above 1 shows Value / Scale with two decimals in a label instead of the box
// (the refraction index). OnChange fires once per change of the value, whoever made it.
class TCXParamSlider : public TObject {
 public:
  // In column 0 or 1 and row Row of a page's two-column layout.
  TCXParamSlider(TForm* Owner, TWinControl* Page, int Column, int Row, int Min, int Max, int Scale = 1);
  int GetValue() const;
  // Clamped to the range; fires OnChange when the value changes.
  void SetValue(int Value);
  void SetRange(int Min, int Max);
  int GetMin() const;
  int GetMax() const;
  void SetCaption(const std::string& Caption);

  TLabel* Label = nullptr;
  TTrackBar* Track = nullptr;
  TSpinEdit* Edit = nullptr;       // nullptr when Scale > 1
  TLabel* ValueLabel = nullptr;    // only when Scale > 1
  TNotifyEvent OnChange;

 private:
  void TrackChanged(TObject* Sender);
  void EditChanged(TObject* Sender);
  void ShowValue();
  int Scale_;
  bool Syncing_ = false;
};

class TfPreviews : public TForm {
 public:
  explicit TfPreviews(TComponent* AOwner);
  ~TfPreviews() override;

  // --- Set before showing (TCorvexProc::DoPreviews sets them all)
  // The pages offered: peAll, or the pages named.
  TPreviewEffects GetEffects() const { return Effects_; }
  void SetEffects(TPreviewEffects Value) { Effects_ = Value; }
  // The lock the dialog starts with.
  bool GetDefaultLockPreview() const { return DefaultLock_; }
  void SetDefaultLockPreview(bool Value) { DefaultLock_ = Value; }
  // Every caption from the message table.
  TMsgLanguage GetLanguage() const { return Language_; }
  void SetLanguage(TMsgLanguage Language);
  // Reported while OK (and "<<") apply the effect at full resolution; Sender is ProgressSender.
  TCXProgressEvent OnProgressEvent;
  TObject* ProgressSender = nullptr;
  // The colour of the corners a rotation adds (the processing component's Background).
  TColor GetRotateBackground() const { return RotateBackground_; }
  void SetRotateBackground(TColor Value) { RotateBackground_ = Value; }

  // --- The views. The source view's bitmap is the image to work on; after OK it holds the result.
  TCorvex* GetSourceView() const { return SourceView_; }
  TCorvex* GetResultView() const { return ResultView_; }
  // The spectrum of the frequency page, fitted to its view; a rectangle selected on it is the
  // zone the preview clears. Its Select takes spectrum pixels.
  TCorvexView* GetSpectrumView() const { return Spectrum_; }

  // --- Pages
  // The page of an effect (nullptr for peAll), whether it is offered, and the active one.
  TTabSheet* GetPage(TPreviewEffectsItem Effect) const;
  bool IsPageOffered(TPreviewEffectsItem Effect) const;
  TPreviewEffectsItem GetActiveEffect() const;
  // Moves to an offered page as a click on its tab does (page-change handling included).
  void SelectPage(TPreviewEffectsItem Effect);
  TPageControl* GetPageControl() const { return Pages_; }

  // --- The steps of the dialog
  bool GetLockPreview() const;
  // As a click on the lock: the Preview button is enabled only while it is off.
  void SetLockPreview(bool Value);
  // Applies the active page's effect to View's bitmap: at full resolution on the source view,
  // at the source view's zoom and scroll on the result view.
  void applyAct(TCorvexView* View);
  // The result view becomes what the source view shows, and its starting state for previews.
  void CopyOrg();
  // "<<": the effect applied at full resolution to the source, all pages reset, CopyOrg.
  void CopyModToOrg();
  // Resets the active page unless it was reset in this showing; All clears every page's flag
  // first.
  void ResetParameters(bool All);
  // The "Preview" button: the result view starts again from what the source shows and the effect
  // is applied to it.
  void Preview();
  // The user filter's file buttons without their dialogs. False (kernel unchanged) with a
  // message in Error when the file cannot be read or is not a kernel file (43 bytes starting
  // 1, 3, 3); false when it cannot be written.
  bool LoadFilter(const std::string& FileName, std::string& Error);
  bool SaveFilter(const std::string& FileName, std::string& Error);
  // The kernel of the user filter page as it is edited.
  TGraphFilter GetKernel() const;
  void SetKernel(const TGraphFilter& Filter);
  // Whether OK already applied the effect to the source view.
  bool GetApplied() const { return Applied_; }

  // Runs the dialog; with OK the effect has been applied to the source view.
  TModalResult ShowModal() override;
  // Showing the dialog runs its showing steps (reset, lock, pages, fitting, the first page).
  void SetVisible(bool Value) override;

  // --- The controls, for applications that adjust the dialog in OnPreview (and for tests)
  TCheckBox* Lock = nullptr;
  TButton *PreviewButton = nullptr, *CopyToSource = nullptr, *OkButton = nullptr, *CancelButton = nullptr;
  // Contrast
  TCXParamSlider *Contrast = nullptr, *Brightness = nullptr;
  // HSL, RGB, HSV
  TCXParamSlider *HslHue = nullptr, *HslSaturation = nullptr, *HslLuminosity = nullptr;
  TCXParamSlider *RgbRed = nullptr, *RgbGreen = nullptr, *RgbBlue = nullptr;
  TCXParamSlider *HsvHue = nullptr, *HsvSaturation = nullptr, *HsvValue = nullptr;
  // User filter
  std::array<std::array<TSpinEdit*, 3>, 3> Kernel{};
  TSpinEdit* Divisor = nullptr;
  TComboBox* Presets = nullptr;
  TButton *LoadButton = nullptr, *SaveButton = nullptr;
  // Equalisation: threshold limits and equalisation thresholds per channel (red, green, blue),
  // the histogram's channels (red, green, blue, grey) and "Equalize".
  std::array<TSpinEdit*, 3> ThresholdLow{}, ThresholdHigh{}, EqualizeLow{}, EqualizeHigh{};
  std::array<TCheckBox*, 4> HistogramChannels{};
  TSpeedButton* EqualizeButton = nullptr;
  THistogramBox* Histogram = nullptr;  // of the source
  // Bump map
  TCXParamSlider *BumpLeft = nullptr, *BumpTop = nullptr, *BumpWidth = nullptr, *BumpHeight = nullptr;
  TCXParamSlider* BumpSource = nullptr;
  TPanel* BumpColor = nullptr;
  // Lens (refraction in hundredths)
  TCXParamSlider *LensLeft = nullptr, *LensTop = nullptr, *LensWidth = nullptr, *LensHeight = nullptr;
  TCXParamSlider* LensRefraction = nullptr;
  // Wave
  TCXParamSlider *WaveAmplitude = nullptr, *WaveLength = nullptr, *WavePhase = nullptr;
  TCheckBox* WaveReflective = nullptr;
  // Morphological filters: 0 maximum, 1 minimum, 2 opening, 3 closing
  TRadioGroup* MorphOperation = nullptr;
  TCXParamSlider* MorphWindow = nullptr;
  // Rotate
  TCXParamSlider* RotateAngle = nullptr;
  TSpeedButton *FlipHorizontal = nullptr, *FlipVertical = nullptr;
  // Frequency domain
  TCheckBox* FftGray = nullptr;
  TButton *FftClear = nullptr, *FftReset = nullptr;

 private:
  // A control whose caption is a word of the message table (with text around it).
  struct CaptionEntry {
    TControl* Control;
    TMsgLanguageWords Word;
    const char* Prefix;
    const char* Suffix;
  };
  void Caption(TControl* Control, TMsgLanguageWords Word, const char* Prefix = "", const char* Suffix = "");
  void Build();
  TTabSheet* AddPage(TPreviewEffectsItem Effect);
  void BuildContrast(TTabSheet* p);
  void BuildHsl(TTabSheet* p);
  void BuildRgb(TTabSheet* p);
  void BuildUserFilter(TTabSheet* p);
  void BuildHsv(TTabSheet* p);
  void BuildEqualize(TTabSheet* p);
  void BuildBumpMap(TTabSheet* p);
  void BuildLens(TTabSheet* p);
  void BuildWave(TTabSheet* p);
  void BuildMorph(TTabSheet* p);
  void BuildRotate(TTabSheet* p);
  void BuildFft(TTabSheet* p);
  void ApplyCaptions();
  TCXParamSlider* Slider(TWinControl* Page, int Column, int Row, int Min, int Max, TMsgLanguageWords Word,
                         int Scale = 1);
  void ResetPage(TPreviewEffectsItem Effect);
  // Showing steps and events
  void Activate();
  void PageChanged(TObject* Sender);
  void ParamChanged(TObject* Sender);
  void PresetChanged(TObject* Sender);
  void LockClicked(TObject* Sender);
  void PreviewClicked(TObject* Sender);
  void CopyToSourceClicked(TObject* Sender);
  void OkClicked(TObject* Sender);
  void LoadClicked(TObject* Sender);
  void SaveClicked(TObject* Sender);
  void ColorClicked(TObject* Sender);
  void HistogramChannelClicked(TObject* Sender);
  void SourceViewChanged(TObject* Sender, int Change);
  void FftGrayClicked(TObject* Sender);
  void FftClearClicked(TObject* Sender);
  void FftResetClicked(TObject* Sender);
  // Effects
  bool Neutral(TPreviewEffectsItem Effect) const;
  void ApplyFft(TCorvexView* View, bool FullResolution);
  // The transform of the frequency page (of a copy of the source whose longer side is 128
  // pixels), made again when the source or the grey choice changed.
  void EnsureTransform();
  void ShowSpectrum();
  // The zones to clear, in the spectrum's coordinates (inclusive): those "Clear" kept and the
  // rectangle selected now.
  std::vector<TRect> FftZones() const;
  void ShowResult();
  TCXProgressEvent Progress() const;

  TPreviewEffects Effects_{peAll};
  bool DefaultLock_ = false;
  TMsgLanguage Language_ = msSystem;
  std::vector<std::unique_ptr<TCXParamSlider>> Sliders_;
  std::vector<CaptionEntry> Captions_;
  std::array<TTabSheet*, 13> Sheets_{};
  std::array<bool, 13> ResetDone_{};
  TPageControl* Pages_ = nullptr;
  TCorvex *SourceView_ = nullptr, *ResultView_ = nullptr;
  TCorvexView* Spectrum_ = nullptr;
  std::unique_ptr<TBitmap> ResultStart_;  // the result view's starting state for previews
  std::unique_ptr<TCXFtImage> Transform_;
  TCXFtImageType TransformType_ = cxitUnknown;
  bool TransformStale_ = true;
  std::vector<TRect> KeptZones_;
  int MeanR_ = 0, MeanG_ = 0, MeanB_ = 0;
  TRGB BumpRGB_{255, 255, 255};
  TColor RotateBackground_ = clBlack;
  bool Updating_ = false;   // controls being set by the dialog: no previews
  bool Showing_ = false;    // inside the showing steps
  bool ProgressOn_ = false;
  bool Applied_ = false;
};

}  // namespace corvex
