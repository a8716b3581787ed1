// TCorvexProc: attachment, undo, selection-limited runs, clipboard and the operations that
// wrap the free functions.
#include <algorithm>
#include <cstring>

#include "corvex/color/stdquant.h"
#include "corvex/core/utils.h"
#include "corvex/platform/clipboard.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/platform/ui/controls.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/cxfft.h"
#include "corvex/view/base/CXView.h"

namespace corvex {

TCorvexProc::TCorvexProc(TComponent* AOwner)
    : TCXAttachedComponent(AOwner), PreviewFont_(std::make_unique<TFont>()), UndoBitmap_(std::make_unique<TBitmap>()) {}

TCorvexProc::~TCorvexProc() = default;

namespace {
TProcPreviewsRunner gProcPreviewsRunner = nullptr;
}

void SetProcPreviewsRunner(TProcPreviewsRunner Runner) { gProcPreviewsRunner = Runner; }

bool TCorvexProc::DoPreviews(TPreviewEffects Effects) {
  const TBitmap* b = GetAttachedBitmap();
  if (b == nullptr || b->GetPixelFormat() != pf24bit || b->GetWidth() <= 1 || b->GetHeight() <= 1) return false;
  return gProcPreviewsRunner != nullptr && gProcPreviewsRunner(*this, Effects);
}

void TCorvexProc::SetPreviewFont(const TFont* Value) {
  if (Value != nullptr) PreviewFont_->Assign(Value);
}

void TCorvexProc::Update() { Refresh(true); }

TProgressRec TCorvexProc::ProgressRecord() {
  TProgressRec rec;
  rec.OnProgress = OnProgress;
  rec.Sender = this;
  return rec;
}

TRGB TCorvexProc::BackgroundRGB() const { return TColor2TRGB(GetBackground()); }

void TCorvexProc::FillRect(int x1, int y1, int x2, int y2) {
  TCanvas* c = Bitmap_->GetCanvas();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(GetBackground());
  c->FillRect(TRect{x1, y1, x2, y2});
}

// ---------------------------------------------------------------------------------------------
// Undo

void TCorvexProc::SaveUndo() {
  if (Bitmap_ == nullptr) return;
  ClearUndo();
  if (Bitmap_->GetWidth() >= 1 && Bitmap_->GetHeight() >= 1) CXCopyBitmap(Bitmap_, UndoBitmap_.get());
}

void TCorvexProc::Undo() {
  if (Bitmap_ == nullptr || !GetCanUndo()) return;
  CXCopyBitmap(UndoBitmap_.get(), Bitmap_);
  Update();
}

void TCorvexProc::ClearUndo() { UndoBitmap_->SetSize(1, 1); }

bool TCorvexProc::GetCanUndo() const { return UndoBitmap_->GetWidth() > 1 && UndoBitmap_->GetHeight() > 1; }

// ---------------------------------------------------------------------------------------------
// Selection

bool TCorvexProc::GetReSel(int& x1, int& y1, int& x2, int& y2, const TPoint*& Poly, int& Count) const {
  Count = 0;
  Poly = nullptr;
  if (View_ != nullptr) {
    // The view's selection, in bitmap coordinates; none when it has no points.
    x1 = -1;
    if (View_->GetSelected()) {
      x1 = View_->GetSelX1(), y1 = View_->GetSelY1(), x2 = View_->GetSelX2(), y2 = View_->GetSelY2();
      Poly = View_->GetPolySelArray();
      Count = Poly != nullptr ? std::max(View_->GetPolySelCount(), 0) : 0;
      if (Count == 0) Poly = nullptr;
    }
  } else {
    x1 = SelX1_, y1 = SelY1_, x2 = SelX2_, y2 = SelY2_;
    if (x1 >= 0 && !SelPoly_.empty()) {
      Poly = SelPoly_.data();
      Count = int(SelPoly_.size());
    }
  }
  if (x1 >= 0) return true;
  Poly = nullptr;
  Count = 0;
  x1 = 0, y1 = 0;
  x2 = Bitmap_ != nullptr ? Bitmap_->GetWidth() : 0;
  y2 = Bitmap_ != nullptr ? Bitmap_->GetHeight() : 0;
  return false;
}

namespace {
struct Sel {
  int x1, y1, x2, y2, count;
  const TPoint* poly;
  bool selected;
};
Sel ReadSel(const TCorvexProc* p) {
  Sel s;
  s.selected = p->GetReSel(s.x1, s.y1, s.x2, s.y2, s.poly, s.count);
  return s;
}
// The selection's box cut to the image (a polygon may reach past it; its pixels there do not
// exist).
void CutToImage(Sel& s, const TBitmap* b) {
  s.x1 = std::max(s.x1, 0), s.y1 = std::max(s.y1, 0);
  s.x2 = std::min(s.x2, b->GetWidth()), s.y2 = std::min(s.y2, b->GetHeight());
}
}  // namespace

int TCorvexProc::GetSelX1() const { return ReadSel(this).x1; }
int TCorvexProc::GetSelY1() const { return ReadSel(this).y1; }
int TCorvexProc::GetSelX2() const { return ReadSel(this).x2; }
int TCorvexProc::GetSelY2() const { return ReadSel(this).y2; }

void TCorvexProc::Select(int x1, int y1, int x2, int y2, TCXSelOp Op) {
  if (View_ != nullptr) {  // the view's own selection is the one that counts
    View_->SelectBitmapRect(x1, y1, x2, y2, Op == cxspAdd);
    return;
  }
  OrdCor(x1, y1, x2, y2);
  if (Op == cxspAdd && SelX1_ >= 0) {
    // A further sub-polygon: the current selection as points, a separator, the new rectangle.
    if (SelPoly_.empty())
      SelPoly_ = {{SelX1_, SelY1_}, {SelX2_, SelY1_}, {SelX2_, SelY2_}, {SelX1_, SelY2_}};
    SelPoly_.push_back(TPoint{kPolySeparator, 0});
    for (const TPoint& p : {TPoint{x1, y1}, TPoint{x2, y1}, TPoint{x2, y2}, TPoint{x1, y2}}) SelPoly_.push_back(p);
    SelX1_ = std::min(SelX1_, x1), SelY1_ = std::min(SelY1_, y1);
    SelX2_ = std::max(SelX2_, x2), SelY2_ = std::max(SelY2_, y2);
    return;
  }
  SelPoly_.clear();
  SelX1_ = x1, SelY1_ = y1, SelX2_ = x2, SelY2_ = y2;
}

void TCorvexProc::SelectAll() {
  SelX1_ = SelY1_ = SelX2_ = SelY2_ = -1;
  SelPoly_.clear();
  if (View_ != nullptr) View_->DeSelect();
}

void TCorvexProc::SelectPolygon(const TPoint* Poly, int Count) {
  if (Poly == nullptr || Count < 1) {
    SelPoly_.clear();
    return;
  }
  SelPoly_.assign(Poly, Poly + Count);
  int x1 = INT32_MAX, y1 = INT32_MAX, x2 = INT32_MIN, y2 = INT32_MIN;
  for (const TPoint& p : SelPoly_) {
    if (p.X == kPolySeparator) continue;
    x1 = std::min(x1, p.X), y1 = std::min(y1, p.Y);
    x2 = std::max(x2, p.X), y2 = std::max(y2, p.Y);
  }
  if (x1 > x2) {  // separators only
    SelPoly_.clear();
    return;
  }
  // The rectangle is the polygon's bounding box, cut at the image's top-left corner (a selection
  // rectangle never starts before it).
  SelX1_ = std::max(x1, 0), SelY1_ = std::max(y1, 0), SelX2_ = x2, SelY2_ = y2;
}

// The selection-limited run: directly on the bitmap for a rectangle, else on a copy of the
// polygon's bounding box merged back through the polygon, so that pixels outside it are never
// written.
template <class Op>
void TCorvexProc::RunOnSelection(bool Need24, Polys Mode, Op op) {
  if (Bitmap_ == nullptr || (Need24 && Bitmap_->GetPixelFormat() != pf24bit)) return;
  if (AutoUndo_) SaveUndo();
  const Sel s = ReadSel(this);
  if (s.count < 1 || (Mode == Polys::TestRectangle && _IsRectangle(s.poly, s.count))) {
    op(Bitmap_, s.x1, s.y1, s.x2, s.y2);
  } else {
    TBitmap tmp;
    _CopyBitmapRect(Bitmap_, &tmp, s.x1, s.y1, s.x2, s.y2);
    // The copy starts at the image's edge when the box reaches past it.
    const int ox = std::max(s.x1, 0), oy = std::max(s.y1, 0);
    if (!tmp.GetEmpty()) {
      op(&tmp, 0, 0, tmp.GetWidth(), tmp.GetHeight(), ox, oy);
      _CopyPolygonBitmap(Bitmap_, &tmp, ox, oy, s.poly, s.count);
    }
  }
  Update();
}

// Adapts an operation on (bitmap, x1, y1, x2, y2) to the two calling forms of RunOnSelection:
// direct (the rectangle in bitmap coordinates) and on a copy (also given where the copy sits).
template <class F>
struct RegionOp {
  F f;
  void operator()(TBitmap* b, int x1, int y1, int x2, int y2) { f(b, x1, y1, x2, y2, 0, 0); }
  void operator()(TBitmap* b, int x1, int y1, int x2, int y2, int ox, int oy) { f(b, x1, y1, x2, y2, ox, oy); }
};
template <class F>
RegionOp<F> MakeOp(F f) {
  return RegionOp<F>{f};
}

// ---------------------------------------------------------------------------------------------
// Colour

#define CORVEX_RUN(Need24, Mode, Body)                                                                   \
  RunOnSelection(Need24, Mode, MakeOp([&](TBitmap* b, int x1, int y1, int x2, int y2, int ox, int oy) { \
                   (void)ox;                                                                           \
                   (void)oy;                                                                           \
                   Body;                                                                               \
                 }))

void TCorvexProc::Contrast(int Amount) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (Bitmap_->GetWidth() < 2 || Bitmap_->GetHeight() < 2) return;
  int r, g, bl;
  _GetMediaContrastRGB(Bitmap_, r, g, bl);
  CORVEX_RUN(true, Polys::TestRectangle, _ContrastRGB(b, Amount, r, g, bl, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::HSLvar(int Hue, int Sat, int Lum) {
  CORVEX_RUN(true, Polys::TestRectangle, _HSLvar(b, Hue, Sat, Lum, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::HSVvar(int Hue, int Sat, int Val) {
  CORVEX_RUN(true, Polys::TestRectangle, _HSVvar(b, Hue, Sat, Val, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::IntensityRGBall(int R, int G, int B) {
  CORVEX_RUN(true, Polys::TestRectangle, _IntensityRGBall(b, R, G, B, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal) {
  CORVEX_RUN(true, Polys::TestRectangle,
             _Threshold(b, DownLimit, UpLimit, DownVal, UpVal, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor) {
  CORVEX_RUN(true, Polys::TestRectangle,
             _CastColorRange(b, BeginColor, EndColor, CastColor, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::HistEqualize(TRGB LoThresh, TRGB HiThresh) {
  CORVEX_RUN(true, Polys::TestRectangle, _HistEqualize(b, LoThresh, HiThresh, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::HistAutoEqualize() {
  CORVEX_RUN(true, Polys::TestRectangle, _HistAutoEqualize(b, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::ConvertToGray() {
  CORVEX_RUN(true, Polys::TestRectangle, _ConvertToGray(b, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::Negative() {
  CORVEX_RUN(false, Polys::TestRectangle, _Negative(b, x1, y1, x2, y2, OnProgress, this));
}

// ---------------------------------------------------------------------------------------------
// Analysis

void TCorvexProc::GetHistogram(THistogramItem* Hist) const {
  if (Bitmap_ == nullptr || Hist == nullptr) return;
  const Sel s = ReadSel(this);
  _GetHistogram(Bitmap_, Hist, s.x1, s.y1, s.x2, s.y2);
}

int TCorvexProc::CalcImageNumColors() const {
  if (Bitmap_ == nullptr) return 0;
  if (Bitmap_->GetPixelFormat() == pf1bit) return 2;
  if (Bitmap_->GetPixelFormat() != pf24bit) return 0;
  const Sel s = ReadSel(this);
  return _GetImageNumColors(Bitmap_, s.x1, s.y1, s.x2, s.y2);
}

void TCorvexProc::CalcImagePalette(TRGB* Palette, int NumColors) const {
  if (Bitmap_ == nullptr || Palette == nullptr || NumColors < 1 || Bitmap_->GetPixelFormat() != pf24bit ||
      Bitmap_->GetEmpty())
    return;
  const TCXQuantizer q(Bitmap_, Palette, NumColors, NumColors, -1, 0);
}

TBitmap* TCorvexProc::GetRGBChannel(int Channel) const {
  if (Bitmap_ == nullptr) return nullptr;
  return _GetRGBChannel(Bitmap_, Channel, OnProgress, const_cast<TCorvexProc*>(this));
}
void TCorvexProc::GetRGBChannelAll(TBitmap* R, TBitmap* G, TBitmap* B) const {
  if (Bitmap_ != nullptr) _GetRGBChannelAll(Bitmap_, R, G, B, OnProgress, const_cast<TCorvexProc*>(this));
}
TBitmap* TCorvexProc::GetHSVChannel(int Channel) const {
  if (Bitmap_ == nullptr) return nullptr;
  return _GetHSVChannel(Bitmap_, Channel, OnProgress, const_cast<TCorvexProc*>(this));
}
void TCorvexProc::GetHSVChannelAll(TBitmap* H, TBitmap* S, TBitmap* V) const {
  if (Bitmap_ != nullptr) _GetHSVChannelAll(Bitmap_, H, S, V, OnProgress, const_cast<TCorvexProc*>(this));
}

// ---------------------------------------------------------------------------------------------
// Filters

void TCorvexProc::ApplyFilter(const TGraphFilter& Filter) {
  TProgressRec rec = ProgressRecord();
  CORVEX_RUN(true, Polys::TestRectangle, _ApplyFilter(b, Filter, x1, y1, x2, y2, rec));
}
void TCorvexProc::ApplyFilterPreset(TCXFilterPresets Preset) {
  if (Preset < fpNone || Preset > LowPass2) return;
  ApplyFilter(CXFiltPres[Preset]);
}
void TCorvexProc::Maximum(int WinSize) {
  CORVEX_RUN(false, Polys::TestRectangle, _MorphFilter(b, WinSize, 0, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::Minimum(int WinSize) {
  CORVEX_RUN(false, Polys::TestRectangle, _MorphFilter(b, WinSize, 1, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::Opening(int WinSize) {
  CORVEX_RUN(false, Polys::TestRectangle, _MorphFilter(b, WinSize, 2, x1, y1, x2, y2, OnProgress, this));
}
void TCorvexProc::Closing(int WinSize) {
  CORVEX_RUN(false, Polys::TestRectangle, _MorphFilter(b, WinSize, 3, x1, y1, x2, y2, OnProgress, this));
}

// ---------------------------------------------------------------------------------------------
// Geometry

void TCorvexProc::Resample(int NewWidth, int NewHeight, TResampleFilter Filter) {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  if (NewWidth < 0 && NewHeight < 0) return;
  const int w = Bitmap_->GetWidth(), h = Bitmap_->GetHeight();
  if (w <= 0 || h <= 0) return;
  if (NewWidth < 0) NewWidth = int(int64_t(NewHeight) * w / h);
  if (NewHeight < 0) NewHeight = int(int64_t(NewWidth) * h / w);
  // A size of 0 would leave no image at all.
  if (NewWidth <= 0 || NewHeight <= 0 || !CXImageSizeAllowed(NewWidth, NewHeight)) return;
  TBitmap nb;
  nb.Allocate(NewWidth, NewHeight, Bitmap_->GetPixelFormat() == pf1bit ? pf1bit : pf24bit);
  if (Filter != rfNone && Bitmap_->GetPixelFormat() == pf24bit) _Resample(Bitmap_, &nb, Filter, OnProgress, this);
  else _CXBmpStretch(Bitmap_, &nb);
  CXCopyBitmap(&nb, Bitmap_);
  Update();
}

void TCorvexProc::ImageResize(int NewWidth, int NewHeight) {
  if (Bitmap_ == nullptr || NewWidth <= 0 || NewHeight <= 0 || !CXImageSizeAllowed(NewWidth, NewHeight)) return;
  if (AutoUndo_) SaveUndo();
  TCanvas* c = Bitmap_->GetCanvas();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(GetBackground());
  Bitmap_->SetWidth(NewWidth);
  Bitmap_->SetHeight(NewHeight);
  Update();
}

void TCorvexProc::Rotate(int Angle, bool AntiAlias) {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  if (Bitmap_->GetPixelFormat() == pf24bit) {
    _RotateShear(Bitmap_, Angle, AntiAlias, BackgroundRGB(), OnProgress, this);
  } else if (Bitmap_->GetPixelFormat() == pf1bit) {
    TProgressRec rec = ProgressRecord();
    _rotate1bit(Bitmap_, Angle, GetBackground() != 0 ? 1 : 0, rec);
  }
  Update();
}

void TCorvexProc::Flip(TFlipDir Dir) {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  _FlipBitmap(Bitmap_, Dir);
  Update();
}

void TCorvexProc::CropSel() {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  Sel s = ReadSel(this);
  bool cropped = false;
  if (s.selected) {
    CutToImage(s, Bitmap_);
    if (s.x2 > s.x1 && s.y2 > s.y1) {
      TBitmap tmp;
      _CopyBitmapPoly(Bitmap_, &tmp, s.x1, s.y1, s.x2, s.y2, s.poly, s.count);
      CXCopyBitmap(&tmp, Bitmap_);
      SelectAll();  // the old selection no longer lies on the new image
      cropped = true;
    }
  }
  Refresh(cropped);
}

// ---------------------------------------------------------------------------------------------
// Colour depth

void TCorvexProc::ConvertTo(int NumColors) { ConvertToPalette(NumColors, nullptr); }

void TCorvexProc::ConvertToPalette(int NumColors, TRGB* Palette) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (AutoUndo_) SaveUndo();
  if (NumColors > 2) {
    _ConvertTo(Bitmap_, NumColors, Palette, OnProgress, this);
  } else {
    TProgressRec rec = ProgressRecord();
    _ConvertToBWOrdered(Bitmap_, rec);
    if (Palette != nullptr) {
      Palette[0] = CreateRGB(0, 0, 0);
      Palette[1] = CreateRGB(255, 255, 255);
    }
  }
  Update();
}

void TCorvexProc::ConvertToBWOrdered() {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (AutoUndo_) SaveUndo();
  TProgressRec rec = ProgressRecord();
  _ConvertToBWOrdered(Bitmap_, rec);
  Update();
}

void TCorvexProc::ConvertToBWThreshold(int Threshold) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (AutoUndo_) SaveUndo();
  TProgressRec rec = ProgressRecord();
  _ConvertToBWThreshold(Bitmap_, Threshold, rec);
  Update();
}

void TCorvexProc::ConvertTo24Bit() {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf1bit) return;
  if (AutoUndo_) SaveUndo();
  TBitmap copy;
  CXCopyBitmap(Bitmap_, &copy);
  TProgressRec rec = ProgressRecord();
  _Conv1to24(&copy, Bitmap_, rec);
  Update();
}

// ---------------------------------------------------------------------------------------------
// Effects

void TCorvexProc::BumpMapping(int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent, TRGB Color) {
  TProgressRec rec = ProgressRecord();
  // On a copy of the box the light keeps its place on the image.
  CORVEX_RUN(true, Polys::Always,
             _BumpMapping(b, LightX - ox, LightY - oy, LightWidth, LightHeight, SrcPercent, Color, x1, y1, x2, y2, rec));
}

void TCorvexProc::Lens(int x, int y, int Width, int Height, double Refraction) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (AutoUndo_) SaveUndo();
  const Sel s = ReadSel(this);
  TProgressRec rec = ProgressRecord();
  if (s.count < 1) {
    _lens(Bitmap_, x, y, Width, Height, Refraction, rec);
  } else {
    TBitmap tmp;
    _CopyBitmapRect(Bitmap_, &tmp, s.x1, s.y1, s.x2, s.y2);
    const int ox = std::max(s.x1, 0), oy = std::max(s.y1, 0);
    _lens(&tmp, x - ox, y - oy, Width, Height, Refraction, rec);
    _CopyPolygonBitmap(Bitmap_, &tmp, ox, oy, s.poly, s.count);
  }
  Update();
}

void TCorvexProc::Wave(int Amplitude, int WaveLength, int Phase, bool Reflective) {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit) return;
  if (AutoUndo_) SaveUndo();
  const Sel s = ReadSel(this);
  TProgressRec rec = ProgressRecord();
  if (s.count < 1) {
    _wave(Bitmap_, Amplitude, WaveLength, Phase, Reflective, rec);
  } else {
    TBitmap tmp;
    _CopyBitmapRect(Bitmap_, &tmp, s.x1, s.y1, s.x2, s.y2);
    _wave(&tmp, Amplitude, WaveLength, Phase, Reflective, rec);
    _CopyPolygonBitmap(Bitmap_, &tmp, std::max(s.x1, 0), std::max(s.y1, 0), s.poly, s.count);
  }
  Update();
}

void TCorvexProc::Merge(const TBitmap* Other, int Percent) {
  if (Other == nullptr) return;
  CORVEX_RUN(true, Polys::TestRectangle, _Merge(b, Other, Percent, x1, y1, x2, y2, OnProgress, this));
}

// ---------------------------------------------------------------------------------------------
// Clearing

void TCorvexProc::Clear() {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  FillRect(0, 0, Bitmap_->GetWidth(), Bitmap_->GetHeight());
  Update();
}

void TCorvexProc::ClearSel() {
  if (Bitmap_ == nullptr) return;
  if (AutoUndo_) SaveUndo();
  const Sel s = ReadSel(this);
  if (s.count <= 0 || _IsRectangle(s.poly, s.count)) FillRect(s.x1, s.y1, s.x2, s.y2);
  else _ClearSel(Bitmap_, s.poly, s.count, GetBackground());
  Update();
}

// ---------------------------------------------------------------------------------------------
// Clipboard

HGLOBAL TCorvexProc::SelectionDIB() const {
  if (Bitmap_ == nullptr) return 0;
  Sel s = ReadSel(this);
  if (!s.selected) return _CopyBitmaptoDIB(Bitmap_, 0, 0, 0, 0);
  CutToImage(s, Bitmap_);
  if (s.x2 <= s.x1 || s.y2 <= s.y1) return 0;
  if (s.count <= 0 || _IsRectangle(s.poly, s.count)) return _CopyBitmaptoDIB(Bitmap_, s.x1, s.y1, s.x2, s.y2);
  TBitmap tmp;
  _CopyBitmapPoly(Bitmap_, &tmp, s.x1, s.y1, s.x2, s.y2, s.poly, s.count);
  return _CopyBitmaptoDIB(&tmp, 0, 0, 0, 0);
}

namespace {
// Puts a DIB on the clipboard (which then owns it); frees it when that fails.
void PutDIB(HGLOBAL dib) {
  if (dib == 0) return;
  if (!OpenClipboard(0)) {
    GlobalFree(dib);
    return;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_DIB, dib) == 0) GlobalFree(dib);
  CloseClipboard();
}
}  // namespace

bool TCorvexProc::ClipboardPicture(TBitmap* Bitmap) {
  if (!OpenClipboard(0)) return false;
  bool ok = false;
  if (IsClipboardFormatAvailable(CF_DIB)) {
    const HGLOBAL h = GetClipboardData(CF_DIB);
    if (h != 0) ok = _CopyDIB2Bitmap(h, Bitmap, nullptr, false) != 0;
  }
  CloseClipboard();
  return ok;
}

void TCorvexProc::CopyToClipboard() {
  if (Bitmap_ != nullptr) PutDIB(_CopyBitmaptoDIB(Bitmap_, 0, 0, 0, 0));
}

void TCorvexProc::SelCopyToClip() {
  if (Bitmap_ != nullptr) PutDIB(SelectionDIB());
}

void TCorvexProc::SelCutToClip() {
  if (Bitmap_ == nullptr) return;
  const Sel s = ReadSel(this);
  if (!s.selected) return;
  if (AutoUndo_) SaveUndo();
  PutDIB(SelectionDIB());
  if (s.count <= 0 || _IsRectangle(s.poly, s.count)) FillRect(s.x1, s.y1, s.x2, s.y2);
  else _ClearSel(Bitmap_, s.poly, s.count, GetBackground());
  Update();
}

void TCorvexProc::PasteFromClipboard() {
  if (Bitmap_ == nullptr) return;
  TBitmap pic;
  if (!ClipboardPicture(&pic)) return;
  if (AutoUndo_) SaveUndo();
  CXCopyBitmap(&pic, Bitmap_);
  Update();
}

void TCorvexProc::PointPasteFromClip(int x, int y) {
  if (Bitmap_ == nullptr) return;
  TBitmap pic;
  if (!ClipboardPicture(&pic)) return;
  if (AutoUndo_) SaveUndo();
  if (View_ != nullptr) {
    // A point of the view's client area: mapped here, and only here.
    x = View_->XScr2Bmp(x);
    y = View_->YScr2Bmp(y);
  }
  TCanvas* c = Bitmap_->GetCanvas();
  c->SetCopyMode(cmSrcCopy);
  c->Draw(x, y, &pic);
  Update();
}

void TCorvexProc::SelPasteFromClipStretch() {
  if (Bitmap_ == nullptr) return;
  const Sel s = ReadSel(this);
  if (!s.selected) {
    PasteFromClipboard();
    return;
  }
  TBitmap pic;
  if (!ClipboardPicture(&pic)) return;
  if (AutoUndo_) SaveUndo();
  TCanvas* c = Bitmap_->GetCanvas();
  c->SetCopyMode(cmSrcCopy);
  c->StretchDraw(TRect{s.x1, s.y1, s.x2, s.y2}, &pic);
  Update();
}

// ---------------------------------------------------------------------------------------------
// Frequency domain

TCXFtImage* TCorvexProc::FTCreateImage(TCXFtImageType ImageType, int NewWidth, int NewHeight) const {
  if (Bitmap_ == nullptr || Bitmap_->GetPixelFormat() != pf24bit || Bitmap_->GetEmpty()) return nullptr;
  const TBitmap* src = Bitmap_;
  TBitmap stretched;
  if (NewWidth >= 0 || NewHeight >= 0) {
    const int w = Bitmap_->GetWidth(), h = Bitmap_->GetHeight();
    if (NewWidth < 0) NewWidth = int(int64_t(NewHeight) * w / h);
    if (NewHeight < 0) NewHeight = int(int64_t(NewWidth) * h / w);
    if (NewWidth <= 0 || NewHeight <= 0 || !CXImageSizeAllowed(NewWidth, NewHeight)) return nullptr;
    stretched.Allocate(NewWidth, NewHeight, pf24bit);
    _CXBmpStretch(Bitmap_, &stretched);
    src = &stretched;
  }
  auto* ft = new TCXFtImage;
  ft->OnProgress = OnProgress;
  ft->BuildFT(src, ImageType);
  return ft;
}

void TCorvexProc::FTConvertFrom(const TCXFtImage* FtImage) {
  if (Bitmap_ == nullptr || FtImage == nullptr || FtImage->GetImageType() == cxitUnknown) return;
  if (AutoUndo_) SaveUndo();
  FtImage->BuildBitmap(Bitmap_);
  Update();
}

void TCorvexProc::FTDisplayFrom(const TCXFtImage* FtImage) {
  if (Bitmap_ == nullptr || FtImage == nullptr || FtImage->GetImageType() == cxitUnknown) return;
  if (AutoUndo_) SaveUndo();
  FtImage->GetFTImage(Bitmap_);
  Update();
}

}  // namespace corvex
