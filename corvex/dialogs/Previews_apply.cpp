// TfPreviews: the showing steps, the page resets, the effects on the source and result views,
// the frequency page, and TCorvexProc::DoPreviews's runner (the merge of the result back into
// the image).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "corvex/controls/HistogramBox.h"
#include "corvex/core/utils.h"
#include "corvex/dialogs/Previews.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/proc/cxfft.h"
#include "corvex/view/Corvex.h"

namespace corvex {

namespace {

// The longer side of the copy the frequency page previews with.
constexpr int kFftPreviewSide = 128;

bool Is24(const TBitmap* b) { return b != nullptr && b->GetPixelFormat() == pf24bit && !b->GetEmpty(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Showing and resets

void TfPreviews::Activate() {
  Showing_ = true;
  ProgressOn_ = false;
  Applied_ = false;
  ResetDone_.fill(false);
  TransformStale_ = true;
  KeptZones_.clear();
  Updating_ = true;
  Spectrum_->DeSelect();
  Lock->SetChecked(DefaultLock_);
  Updating_ = false;
  PreviewButton->SetEnabled(!DefaultLock_);
  TTabSheet* first = nullptr;
  for (TPreviewEffectsItem e : {peContrast, peHSL, peRGB, peUserFilt, peHSV, peEqualize, peBumpMap, peLens, peWave,
                                peMorph, peRotate, peFFT}) {
    TTabSheet* sheet = Sheets_[size_t(e)];
    sheet->SetTabVisible(IsPageOffered(e));
    if (first == nullptr && IsPageOffered(e)) first = sheet;
  }
  Pages_->SetActivePage(first);
  SourceView_->Fit();
  Showing_ = false;
  PageChanged(Pages_);
}

void TfPreviews::ResetParameters(bool All) {
  if (All) ResetDone_.fill(false);
  const TPreviewEffectsItem e = GetActiveEffect();
  if (e == peAll || ResetDone_[size_t(e)]) return;
  ResetDone_[size_t(e)] = true;
  ResetPage(e);
}

void TfPreviews::ResetPage(TPreviewEffectsItem Effect) {
  const TBitmap* src = SourceView_->GetBitmap();
  const int W = src->GetWidth(), H = src->GetHeight();
  const int half = std::max(1, std::max(W, H) / 2);
  const bool was = Updating_;
  Updating_ = true;
  switch (Effect) {
    case peContrast:
      Contrast->SetValue(0);
      Brightness->SetValue(0);
      MeanR_ = MeanG_ = MeanB_ = 0;
      if (Is24(src)) _GetMediaContrastRGB(src, MeanR_, MeanG_, MeanB_);
      break;
    case peHSL:
      for (TCXParamSlider* s : {HslHue, HslSaturation, HslLuminosity}) s->SetValue(0);
      break;
    case peRGB:
      for (TCXParamSlider* s : {RgbRed, RgbGreen, RgbBlue}) s->SetValue(0);
      break;
    case peHSV:
      for (TCXParamSlider* s : {HsvHue, HsvSaturation, HsvValue}) s->SetValue(0);
      break;
    case peUserFilt: {
      TGraphFilter identity;
      identity.Values[1][1] = 1;
      identity.Divisor = 0;
      SetKernel(identity);
      Presets->SetItemIndex(0);
      break;
    }
    case peEqualize:
      for (size_t c = 0; c < 3; ++c) {
        ThresholdLow[c]->SetValue(0);
        ThresholdHigh[c]->SetValue(255);
        EqualizeLow[c]->SetValue(0);
        EqualizeHigh[c]->SetValue(255);
      }
      for (size_t i = 0; i < 4; ++i) HistogramChannels[i]->SetChecked(i == 3);
      Histogram->SetHistogramKind({hkGray});
      Histogram->Update();
      EqualizeButton->SetDown(false);
      break;
    case peBumpMap:
      BumpLeft->SetRange(0, std::max(1, W));
      BumpTop->SetRange(0, std::max(1, H));
      BumpWidth->SetRange(1, std::max(2, 2 * std::max(W, H)));
      BumpHeight->SetRange(1, std::max(2, 2 * std::max(W, H)));
      BumpLeft->SetValue(W / 2);
      BumpTop->SetValue(H / 2);
      BumpWidth->SetValue(half);
      BumpHeight->SetValue(half);
      BumpSource->SetValue(0);
      BumpRGB_ = CreateRGB(255, 255, 255);
      BumpColor->SetColor(clWhite);
      break;
    case peLens:
      LensLeft->SetRange(0, std::max(1, W));
      LensTop->SetRange(0, std::max(1, H));
      LensWidth->SetRange(1, std::max(2, 2 * std::max(W, H)));
      LensHeight->SetRange(1, std::max(2, 2 * std::max(W, H)));
      LensLeft->SetValue(W / 2);
      LensTop->SetValue(H / 2);
      LensWidth->SetValue(half);
      LensHeight->SetValue(half);
      LensRefraction->SetValue(120);
      break;
    case peWave:
      WaveAmplitude->SetValue(10);
      WaveLength->SetValue(10);
      WavePhase->SetValue(0);
      WaveReflective->SetChecked(false);
      break;
    case peMorph:
      MorphOperation->SetItemIndex(0);
      MorphWindow->SetValue(1);
      break;
    case peRotate:
      RotateAngle->SetValue(0);
      FlipHorizontal->SetDown(false);
      FlipVertical->SetDown(false);
      break;
    case peFFT:
      KeptZones_.clear();
      Spectrum_->DeSelect();
      FftGray->SetChecked(false);
      TransformStale_ = true;
      break;
    default: break;
  }
  Updating_ = was;
}

// ---------------------------------------------------------------------------------------------
// The views

TCXProgressEvent TfPreviews::Progress() const { return ProgressOn_ ? OnProgressEvent : TCXProgressEvent(); }

void TfPreviews::CopyOrg() {
  const int w = SourceView_->GetDisplayWidth(), h = SourceView_->GetDisplayHeight();
  if (w <= 0 || h <= 0 || SourceView_->GetBitmap()->GetEmpty()) {
    ResultStart_->SetSize(0, 0);
    ResultView_->Blank();
  } else {
    TBitmap shown(w, h, pf24bit);
    SourceView_->DrawTo(shown.GetCanvas());
    ResultStart_->Assign(&shown);
    ResultView_->GetBitmap()->Assign(&shown);
    ShowResult();
  }
  if (GetActiveEffect() == peFFT) {
    EnsureTransform();
    ShowSpectrum();
  }
}

void TfPreviews::ShowResult() {
  ResultView_->Update();
  const TBitmap* b = ResultView_->GetBitmap();
  if (b->GetWidth() > ResultView_->GetClientWidth() || b->GetHeight() > ResultView_->GetClientHeight())
    ResultView_->Fit();  // a rotation grew it
  else
    ResultView_->SetZoom(100);
  ResultView_->SetViewXY(0, 0);
}

void TfPreviews::Preview() {
  if (ResultStart_->GetEmpty()) CopyOrg();
  if (ResultStart_->GetEmpty()) return;
  ResultView_->GetBitmap()->Assign(ResultStart_.get());
  applyAct(ResultView_);
  ShowResult();
}

void TfPreviews::CopyModToOrg() {
  const TBitmap* src = SourceView_->GetBitmap();
  const int w = src->GetWidth(), h = src->GetHeight();
  applyAct(SourceView_);
  TransformStale_ = true;
  KeptZones_.clear();
  Showing_ = true;
  SourceView_->Update();
  if (src->GetWidth() != w || src->GetHeight() != h) SourceView_->Fit();
  Showing_ = false;
  ResetParameters(true);
  CopyOrg();
  if (GetLockPreview()) Preview();
}

// ---------------------------------------------------------------------------------------------
// The effects

bool TfPreviews::Neutral(TPreviewEffectsItem Effect) const {
  auto zero = [](std::initializer_list<const TCXParamSlider*> s) {
    return std::all_of(s.begin(), s.end(), [](const TCXParamSlider* p) { return p->GetValue() == 0; });
  };
  switch (Effect) {
    case peContrast: return zero({Contrast, Brightness});
    case peHSL: return zero({HslHue, HslSaturation, HslLuminosity});
    case peHSV: return zero({HsvHue, HsvSaturation, HsvValue});
    case peRGB: return zero({RgbRed, RgbGreen, RgbBlue});
    case peUserFilt: {
      const TGraphFilter f = GetKernel();
      const int divisor = f.Divisor == 0 ? 1 : f.Divisor;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
          if ((r != 1 || c != 1) && f.Values[r][c] != 0) return false;
      return f.Values[1][1] == divisor;
    }
    case peEqualize:
      for (size_t c = 0; c < 3; ++c)
        if (ThresholdLow[c]->GetValue() != 0 || ThresholdHigh[c]->GetValue() != 255 || EqualizeLow[c]->GetValue() != 0 ||
            EqualizeHigh[c]->GetValue() != 255)
          return false;
      return !EqualizeButton->GetDown();
    case peRotate: return RotateAngle->GetValue() == 0 && !FlipHorizontal->GetDown() && !FlipVertical->GetDown();
    default: return false;  // bump map, lens, wave, morphology and the spectrum always change the image
  }
}

void TfPreviews::applyAct(TCorvexView* View) {
  if (View == nullptr) return;
  TBitmap* b = View->GetBitmap();
  const TPreviewEffectsItem e = GetActiveEffect();
  if (!Is24(b) || e == peAll || Neutral(e)) return;
  // On the result view, lengths and positions in source pixels become pixels of what the
  // source view shows.
  const bool full = View == SourceView_;
  const double z = full ? 1.0 : SourceView_->GetZoom() / 100.0;
  const int ox = full ? 0 : SourceView_->GetViewX(), oy = full ? 0 : SourceView_->GetViewY();
  auto posX = [&](int p) { return full ? p : Trunc(p * z - ox); };
  auto posY = [&](int p) { return full ? p : Trunc(p * z - oy); };
  auto len = [&](int s) { return full ? s : std::max(1, Trunc(s * z)); };
  const int W = b->GetWidth(), H = b->GetHeight();
  const TCXProgressEvent ev = Progress();
  TObject* sender = ProgressSender != nullptr ? ProgressSender : this;
  TProgressRec rec;
  rec.OnProgress = ev;
  rec.Sender = sender;
  switch (e) {
    case peContrast:
      if (Contrast->GetValue() != 0) _ContrastRGB(b, Contrast->GetValue(), MeanR_, MeanG_, MeanB_, 0, 0, W, H, ev, sender);
      if (Brightness->GetValue() != 0) {
        const int v = Brightness->GetValue();
        _IntensityRGBall(b, v, v, v, 0, 0, W, H, ev, sender);
      }
      break;
    case peHSL:
      _HSLvar(b, HslHue->GetValue(), HslSaturation->GetValue(), HslLuminosity->GetValue(), 0, 0, W, H, ev, sender);
      break;
    case peHSV:
      _HSVvar(b, HsvHue->GetValue(), HsvSaturation->GetValue(), HsvValue->GetValue(), 0, 0, W, H, ev, sender);
      break;
    case peRGB:
      _IntensityRGBall(b, RgbRed->GetValue(), RgbGreen->GetValue(), RgbBlue->GetValue(), 0, 0, W, H, ev, sender);
      break;
    case peUserFilt: _ApplyFilter(b, GetKernel(), 0, 0, W, H, rec); break;
    case peEqualize: {
      TRGB lo, hi, eqLo, eqHi;
      auto rgb = [](const std::array<TSpinEdit*, 3>& s) {
        return CreateRGB(uint8_t(s[0]->GetValue()), uint8_t(s[1]->GetValue()), uint8_t(s[2]->GetValue()));
      };
      lo = rgb(ThresholdLow);
      hi = rgb(ThresholdHigh);
      eqLo = rgb(EqualizeLow);
      eqHi = rgb(EqualizeHigh);
      auto same = [](TRGB a, int v) { return a.r == v && a.g == v && a.b == v; };
      if (!same(lo, 0) || !same(hi, 255))
        _Threshold(b, lo, hi, CreateRGB(0, 0, 0), CreateRGB(255, 255, 255), 0, 0, W, H, ev, sender);
      if (!same(eqLo, 0) || !same(eqHi, 255)) _HistEqualize(b, eqLo, eqHi, 0, 0, W, H, ev, sender);
      if (EqualizeButton->GetDown()) _HistAutoEqualize(b, 0, 0, W, H, ev, sender);
      break;
    }
    case peBumpMap:
      _BumpMapping(b, posX(BumpLeft->GetValue()), posY(BumpTop->GetValue()), len(BumpWidth->GetValue()),
                   len(BumpHeight->GetValue()), BumpSource->GetValue(), BumpRGB_, 0, 0, W, H, rec);
      break;
    case peLens:
      _lens(b, posX(LensLeft->GetValue()), posY(LensTop->GetValue()), len(LensWidth->GetValue()),
            len(LensHeight->GetValue()), LensRefraction->GetValue() / 100.0, rec);
      break;
    case peWave: {
      const int amplitude = full ? WaveAmplitude->GetValue() : Trunc(WaveAmplitude->GetValue() * z);
      const int length = full ? WaveLength->GetValue() : Trunc(WaveLength->GetValue() * z);
      _wave(b, amplitude, length, WavePhase->GetValue(), WaveReflective->GetChecked(), rec);
      break;
    }
    case peMorph:
      _MorphFilter(b, MorphWindow->GetValue(), std::max(0, MorphOperation->GetItemIndex()), 0, 0, W, H, ev, sender);
      break;
    case peRotate:
      if (FlipHorizontal->GetDown()) _FlipBitmap(b, fdHorizontal);
      if (FlipVertical->GetDown()) _FlipBitmap(b, fdVertical);
      if (RotateAngle->GetValue() != 0)
        _RotateShear(b, RotateAngle->GetValue(), true, TColor2TRGB(RotateBackground_), ev, sender);
      break;
    case peFFT: ApplyFft(View, full); break;
    default: break;
  }
  View->Update();
}

// ---------------------------------------------------------------------------------------------
// The frequency page

void TfPreviews::EnsureTransform() {
  const TCXFtImageType type = FftGray->GetChecked() ? cxitGrayscale : cxitRGB;
  if (!TransformStale_ && Transform_ != nullptr && TransformType_ == type) return;
  Transform_.reset();
  TransformStale_ = false;
  TransformType_ = type;
  const TBitmap* src = SourceView_->GetBitmap();
  if (!Is24(src)) return;
  const int W = src->GetWidth(), H = src->GetHeight();
  const int sw = W >= H ? kFftPreviewSide : std::max(1, W * kFftPreviewSide / H);
  const int sh = W >= H ? std::max(1, H * kFftPreviewSide / W) : kFftPreviewSide;
  TBitmap small(sw, sh, pf24bit);
  _CXBmpStretch(src, &small);
  Transform_ = std::make_unique<TCXFtImage>();
  Transform_->OnProgress = Progress();
  Transform_->BuildFT(&small, type);
}

void TfPreviews::ShowSpectrum() {
  TBitmap* b = Spectrum_->GetBitmap();
  if (Transform_ == nullptr || Transform_->GetPlaneSize() == 0) {
    Spectrum_->Blank();
    return;
  }
  TCXFtImage shown;
  shown.Assign(Transform_.get());
  for (const TRect& z : KeptZones_) shown.ClearZone(z.Left, z.Top, z.Right, z.Bottom);
  shown.GetFTImage(b);
  Spectrum_->Update();
}

std::vector<TRect> TfPreviews::FftZones() const {
  std::vector<TRect> zones = KeptZones_;
  const int n = Transform_ != nullptr ? Transform_->GetPlaneSize() : 0;
  if (n > 0 && Spectrum_->GetSelected()) {
    TRect r{std::clamp(Spectrum_->GetSelX1(), 0, n - 1), std::clamp(Spectrum_->GetSelY1(), 0, n - 1),
            std::clamp(Spectrum_->GetSelX2() - 1, 0, n - 1), std::clamp(Spectrum_->GetSelY2() - 1, 0, n - 1)};
    if (r.Right >= r.Left && r.Bottom >= r.Top) zones.push_back(r);
  }
  return zones;
}

void TfPreviews::ApplyFft(TCorvexView* View, bool FullResolution) {
  TBitmap* b = View->GetBitmap();
  EnsureTransform();
  if (Transform_ == nullptr || Transform_->GetPlaneSize() == 0) return;
  const std::vector<TRect> zones = FftZones();
  if (!FullResolution) {
    // The preview: the small transform with the zones cleared, back to an image, stretched over
    // what the source view shows.
    TCXFtImage work;
    work.Assign(Transform_.get());
    for (const TRect& z : zones) work.ClearZone(z.Left, z.Top, z.Right, z.Bottom);
    TBitmap small;
    work.BuildBitmap(&small);
    _CXBmpStretch(&small, b);
    return;
  }
  // At full resolution the image keeps its size: the transform of the whole bitmap, with each
  // zone moved to the same frequencies in the larger spectrum.
  TCXFtImage ft;
  ft.OnProgress = Progress();
  ft.BuildFT(b, TransformType_);
  const int nf = ft.GetPlaneSize(), ns = Transform_->GetPlaneSize();
  if (nf == 0) return;
  const double smallSide = std::max(Transform_->GetSourceWidth(), Transform_->GetSourceHeight());
  const double fullSide = std::max(b->GetWidth(), b->GetHeight());
  const double f = double(nf) / ns * smallSide / fullSide;
  const int cs = ns / 2, cf = nf / 2;
  // A zone reaching the small spectrum's border takes in every higher frequency of the large
  // one, up to its border and no further.
  auto lo = [&](int v) { return v <= 0 ? 0 : std::clamp(cf + int(std::floor((v - cs) * f)), 0, nf - 1); };
  auto hi = [&](int v) { return v >= ns - 1 ? nf - 1 : std::clamp(cf + int(std::ceil((v + 1 - cs) * f)) - 1, 0, nf - 1); };
  for (const TRect& z : zones) {
    const int x1 = lo(z.Left), y1 = lo(z.Top), x2 = hi(z.Right), y2 = hi(z.Bottom);
    if (x2 >= x1 && y2 >= y1) ft.ClearZone(x1, y1, x2, y2);
  }
  ft.BuildBitmap(b);
}

// ---------------------------------------------------------------------------------------------
// TCorvexProc::DoPreviews

namespace {

// Draws Result at (x1, y1) of Bitmap, cut to the rectangle x1, y1, x2, y2 (both 24-bit).
void DrawIntoRect(TBitmap* Bitmap, const TBitmap* Result, int x1, int y1, int x2, int y2) {
  const int w = std::min(Result->GetWidth(), x2 - x1), h = std::min(Result->GetHeight(), y2 - y1);
  for (int y = 0; y < h; ++y)
    std::memcpy(Bitmap->ScanLine(y1 + y) + size_t(x1) * 3, Result->ScanLine(y), size_t(std::max(0, w)) * 3);
}

bool RunPreviews(TCorvexProc& Proc, TPreviewEffects Effects) {
  TBitmap* bmp = Proc.GetAttachedBitmap();
  if (!Is24(bmp)) return false;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0, count = 0;
  const TPoint* poly = nullptr;
  Proc.GetReSel(x1, y1, x2, y2, poly, count);
  const int W = bmp->GetWidth(), H = bmp->GetHeight();
  x1 = std::clamp(x1, 0, W);
  x2 = std::clamp(x2, 0, W);
  y1 = std::clamp(y1, 0, H);
  y2 = std::clamp(y2, 0, H);
  if (x2 - x1 < 1 || y2 - y1 < 1) return false;
  // The polygon is copied: the selection may change while the dialog runs.
  const std::vector<TPoint> polygon(poly, poly + std::max(0, poly != nullptr ? count : 0));

  std::unique_ptr<TfPreviews> form(new TfPreviews(&Proc));
  form->SetDefaultLockPreview(Proc.GetPRPreviewParams().Contains(prppDefaultLockPreview));
  form->SetLanguage(Proc.GetMsgLanguage());
  form->GetFont()->Assign(Proc.GetPreviewFont());
  form->OnProgressEvent = Proc.OnProgress;
  form->ProgressSender = &Proc;
  form->SetRotateBackground(Proc.GetBackground());
  _CopyBitmapRect(bmp, form->GetSourceView()->GetBitmap(), x1, y1, x2, y2);
  form->GetSourceView()->Update();
  form->SetEffects(Effects);
  if (Proc.OnPreview) Proc.OnPreview(&Proc, form.get());
  if (form->ShowModal() != mrOk) return false;

  bmp = Proc.GetAttachedBitmap();  // the view may have gone meanwhile
  if (bmp == nullptr) return false;
  if (Proc.GetAutoUndo()) Proc.SaveUndo();
  const TBitmap* result = form->GetSourceView()->GetBitmap();
  // A selection that is a rectangle covering the whole image: the image becomes the result (a
  // rotation may grow it). Any other rectangle keeps the image's size and only its pixels are
  // written; any other polygon is drawn through itself, so pixels outside it stay as they were.
  const int n = int(polygon.size());
  const bool rectangular = n == 0 || _IsRectangle(polygon.data(), n);
  const bool whole = rectangular && x1 < 1 && y1 < 1 && x2 >= bmp->GetWidth() && y2 >= bmp->GetHeight();
  if (whole) CXCopyBitmap(result, bmp);
  else if (rectangular) DrawIntoRect(bmp, result, x1, y1, std::min(x2, bmp->GetWidth()), std::min(y2, bmp->GetHeight()));
  else _CopyPolygonBitmap(bmp, result, x1, y1, polygon.data(), n);
  Proc.Update();
  return true;
}

[[maybe_unused]] const bool kRegistered = (SetProcPreviewsRunner(&RunPreviews), true);

}  // namespace

}  // namespace corvex
