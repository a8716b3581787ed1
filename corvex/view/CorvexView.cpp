// TCorvexView: construction, the image, geometry and coordinate mapping, zoom, scrolling, the
// wheel, Update and the window messages. Painting is in CorvexView_paint.cpp, the selection and
// the mouse in CorvexView_select.cpp and CorvexView_mouse.cpp.
#include "corvex/view/CorvexView.h"
#include "corvex/view/view_pvt.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "corvex/color/colorconv.h"
#include "corvex/color/stdquant.h"
#include "corvex/core/defs.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/palette.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/cursors.h"
#include "corvex/proc/CorvexProc.h"

namespace corvex {

namespace {

// Update re-runs while a scroll bar appearing or vanishing changes the client; two bars can
// settle in at most three passes, the fourth is a guard against a client that never settles.
constexpr int kMaxUpdatePasses = 4;

// The zoom (percent) that shows W x H pixels whole inside Avail, at least 1 and at most the cap.
// Integer arithmetic: the quotient is exact, where W / 100 in floating point could land a hair
// below a whole zoom.
int FitZoom(int AvailW, int AvailH, int W, int H) {
  const int64_t zx = int64_t(std::max(AvailW, 0)) * 100 / W;
  const int64_t zy = int64_t(std::max(AvailH, 0)) * 100 / H;
  return int(std::clamp<int64_t>(std::min(zx, zy), 1, kMaxViewZoom));
}

int ClampInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

// --- Construction

TCorvexView::TCorvexView(TComponent* AOwner) : TCXView(AOwner) {
  Bitmap_ = std::make_unique<TBitmap>();  // 24-bit, 0 x 0
  DrawDib_[0] = DrawDibOpen();
  DrawDib_[1] = DrawDibOpen();
  RegisterCorvexCursors();
  SetCursor(1785);
  SetBounds(GetLeft(), GetTop(), 105, 105);
  SetDPI(gSystemDPIX, gSystemDPIY);
  if (!GetComponentState().Contains(csDesigning)) BackBuffer_ = std::make_unique<TBitmap>();
  // The animation timer exists before the selection polygon: creating the first polygon starts it.
  AnimTimer_ = std::make_unique<TTimer>(nullptr);
  AnimTimer_->SetEnabled(false);
  AnimTimer_->SetInterval(150);
  AnimTimer_->OnTimer = TNotifyEvent(this, &TCorvexView::AniPolyFunc);
  SelectionHandle_ = AnimPolygonNew(clBlack, clWhite, true, true);
}

// The components attached to the view hear of its end while the bitmap they hold still exists.
TCorvexView::~TCorvexView() {
  NotifyDestroying();
  if (AnimTimer_) AnimTimer_->SetEnabled(false);
  AnimTimer_.reset();
  AutoScrollTimer_.reset();
  Polygons_.clear();
  for (HDRAWDIB& h : DrawDib_) {
    if (h != 0) DrawDibClose(h);
    h = 0;
  }
  BackBuffer_.reset();
  Bitmap_.reset();
}

void TCorvexView::Notification(TComponent* AComponent, TOperation Operation) {
  TCXView::Notification(AComponent, Operation);
}

// --- The image

void TCorvexView::Assign(const TPersistent* Source) {
  if (Source == this) return;
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (const auto* v = dynamic_cast<const TCorvexView*>(Source)) {
    Bitmap_->Assign(v->Bitmap_.get());
    TCXView::SetBackGround(v->GetBackground());  // the colour only: no clearing, no events yet
    SetDPI(v->GetDPIX(), v->GetDPIY());
    Update();
    ImageChange();
    return;
  }
  if (const auto* b = dynamic_cast<const TBitmap*>(Source)) {
    if (b->GetPixelFormat() == pf24bit || b->GetPixelFormat() == pf1bit) {
      Bitmap_->Assign(b);
    } else {
      Bitmap_->Allocate(1, 1, pf24bit);
      Bitmap_->SetSize(b->GetWidth(), b->GetHeight());
      TCanvas* c = Bitmap_->GetCanvas();
      c->SetCopyMode(cmSrcCopy);
      c->Draw(0, 0, b);
    }
    Update();
    ImageChange();
  }
}

void TCorvexView::Clear() {
  TCanvas* c = Bitmap_->GetCanvas();
  c->GetBrush()->SetColor(GetBackground());
  c->GetBrush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, Bitmap_->GetWidth(), Bitmap_->GetHeight()));
  Update();
}

void TCorvexView::Blank() {
  Bitmap_->SetSize(1, 1);
  Clear();
}

void TCorvexView::SetBackGround(TColor Value) {
  TCXView::SetBackGround(Value);
  if (GetComponentState().Contains(csDesigning)) Clear();
  Update();
  ImageChange();
}

void TCorvexView::ImageChange() { OnImageChange(this); }

void TCorvexView::ViewChange(int Change) { OnViewChange(this, Change); }

// --- Geometry

// The client the image may use without scrolling: the control inside its border, less the bars
// that stay on screen even when nothing scrolls. An image that fits in it never scrolls; one that
// does not fit scrolls by what the current client (bars included) hides.
static void FitClientSize(const TCorvexView* v, bool HBarAlways, bool VBarAlways, int& w, int& h) {
  const int b = v->BorderWidth();
  w = v->GetWidth() - 2 * b - (VBarAlways ? ScrollBarThickness() : 0);
  h = v->GetHeight() - 2 * b - (HBarAlways ? ScrollBarThickness() : 0);
  w = std::max(w, 0);
  h = std::max(h, 0);
}

void TCorvexView::GetMaxViewXY(int& MaxX, int& MaxY) const {
  MaxX = MaxY = 0;
  const int a = Round(Bitmap_->GetWidth() * Z_);
  const int b = Round(Bitmap_->GetHeight() * Z_);
  if (a < 1 || b < 1) return;
  const bool hbar = ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth;
  const bool vbar = ScrollBars_ == ssVertical || ScrollBars_ == ssBoth;
  int fw, fh;
  FitClientSize(this, hbar && ScrollBarsAlwaysVisible_, vbar && ScrollBarsAlwaysVisible_, fw, fh);
  if (a <= fw && b <= fh) return;
  MaxX = std::max(a - GetClientWidth(), 0);
  MaxY = std::max(b - GetClientHeight(), 0);
}

int TCorvexView::XScr2Bmp(int x) const { return Round(double(int64_t(x) + ViewX_ - OffsetX_) * Inv_); }
int TCorvexView::YScr2Bmp(int y) const { return Round(double(int64_t(y) + ViewY_ - OffsetY_) * Inv_); }

int TCorvexView::XBmp2Scr(int x) const {
  const int64_t s = int64_t(x) + Round(-ViewX_ * Inv_);
  return Round(double(s) * Z_ + OffsetX_);
}

int TCorvexView::YBmp2Scr(int y) const {
  const int64_t s = int64_t(y) + Round(-ViewY_ * Inv_);
  return Round(double(s) * Z_ + OffsetY_);
}

// Client to bitmap as the selection calls take their points: Round((v + View - Offset) x 100 /
// Zoom), the sum in 64 bits.
int TCorvexView::ClientToBmpX(int x) const {
  return Round(double(int64_t(x) + ViewX_ - OffsetX_) * 100.0 / Zoom_);
}

int TCorvexView::ClientToBmpY(int y) const {
  return Round(double(int64_t(y) + ViewY_ - OffsetY_) * 100.0 / Zoom_);
}

void TCorvexView::ClampToBitmap(int& x, int& y) const {
  x = std::clamp(x, 0, Bitmap_->GetWidth());
  y = std::clamp(y, 0, Bitmap_->GetHeight());
}

// --- Offsets and zoom

void TCorvexView::ArmDelayedFilter(int OldZoom) {
  if (DelayZoomFilter_ && ZoomFilter_ != rfNone && OldZoom > 100) DelayCountdown_ = 2;
}

void TCorvexView::SetViewXY(int X, int Y) {
  if (X == ViewX_ && Y == ViewY_) return;
  int mx, my;
  GetMaxViewXY(mx, my);
  X = std::clamp(X, 0, mx);
  Y = std::clamp(Y, 0, my);
  if (X == ViewX_ && Y == ViewY_) return;  // pushed against an edge: nothing moved
  ArmDelayedFilter(Zoom_);
  ViewX_ = X;
  ViewY_ = Y;
  BackBufferDirty_ = true;
  Paint();
  ViewChange(0);
  if (GetSelected()) AniPolyFunc(this);
  if (ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth) SetScrollPos(SB_HORZ, Trunc(ViewX_ / HScrollScale_), true);
  if (ScrollBars_ == ssVertical || ScrollBars_ == ssBoth) SetScrollPos(SB_VERT, Trunc(ViewY_ / VScrollScale_), true);
}

void TCorvexView::SetZoom(int Value) {
  if (Value <= 0) return;
  Value = std::min(Value, kMaxViewZoom);
  if (Value == Zoom_) return;
  ArmDelayedFilter(Zoom_);
  LockPaint();
  // The bitmap point under the client centre stays under it.
  const double nz = Value / 100.0;
  const int cx = int(unsigned(GetClientWidth()) >> 1);
  const int cy = int(unsigned(GetClientHeight()) >> 1);
  const int nx = Trunc(XScr2Bmp(cx) * nz - cx);
  const int ny = Trunc(YScr2Bmp(cy) * nz - cy);
  int mx, my;
  GetMaxViewXY(mx, my);
  ViewX_ = std::clamp(nx, 0, mx);
  ViewY_ = std::clamp(ny, 0, my);
  Zoom_ = Value;
  Z_ = Value / 100.0;
  Inv_ = 100.0 / Value;
  Update();
  NPUnLockPaint();
  Paint();
  ViewChange(1);
}

void TCorvexView::Fit() {
  const int W = Bitmap_->GetWidth(), H = Bitmap_->GetHeight();
  if (W == 0 || H == 0) return;
  const bool hbar = ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth;
  const bool vbar = ScrollBars_ == ssVertical || ScrollBars_ == ssBoth;
  int fw, fh;
  FitClientSize(this, hbar && ScrollBarsAlwaysVisible_, vbar && ScrollBarsAlwaysVisible_, fw, fh);
  SetZoom(FitZoom(fw, fh, W, H));
}

void TCorvexView::ZoomAt(int x, int y, int ZoomValue) {
  LockPaint();
  const int bx = XScr2Bmp(x), by = YScr2Bmp(y);
  SetZoom(ZoomValue);
  SetViewXY(Trunc(bx * Z_ - GetClientWidth() / 2), Trunc(by * Z_ - GetClientHeight() / 2));
  UnLockPaint();
}

void TCorvexView::ZoomSelection() {
  if (!GetSelected()) return;
  const int x1 = GetSelX1(), y1 = GetSelY1(), x2 = GetSelX2(), y2 = GetSelY2();
  LockPaint();
  DeSelect();
  const int sw = std::max(x2 - x1 + 1, 1), sh = std::max(y2 - y1 + 1, 1);
  const bool hbar = ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth;
  const bool vbar = ScrollBars_ == ssVertical || ScrollBars_ == ssBoth;
  int fw, fh;
  FitClientSize(this, hbar && ScrollBarsAlwaysVisible_, vbar && ScrollBarsAlwaysVisible_, fw, fh);
  SetZoom(FitZoom(fw, fh, sw, sh));
  const double e = Zoom_ / 100.0;
  SetViewXY(Trunc(x1 * e) - (GetClientWidth() - Trunc(sw * e)) / 2,
            Trunc(y1 * e) - (GetClientHeight() - Trunc(sh * e)) / 2);
  UnLockPaint();
}

// The smallest control that shows the whole image at the current zoom without scrolling: the
// zoomed image, the border, and a bar that stays visible even when nothing scrolls.
int TCorvexView::IdealComponentWidth() const {
  const bool vbar = (ScrollBars_ == ssVertical || ScrollBars_ == ssBoth) && ScrollBarsAlwaysVisible_;
  return Round(Bitmap_->GetWidth() * Z_) + 2 * BorderWidth() + (vbar ? ScrollBarThickness() : 0);
}

int TCorvexView::IdealComponentHeight() const {
  const bool hbar = (ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth) && ScrollBarsAlwaysVisible_;
  return Round(Bitmap_->GetHeight() * Z_) + 2 * BorderWidth() + (hbar ? ScrollBarThickness() : 0);
}

// --- Update

void TCorvexView::Update() {
  if (!(GetComponentState() - TComponentState{csDesigning}).Empty()) return;
  if (GetParent() == nullptr) {
    // A parentless window counts only when a host shows it inside a widget of its own.
    bool embedded = false;
    for (int i = 0; i < Application().GetTopLevelCount() && !embedded; ++i)
      embedded = Application().GetTopLevel(i) == this;
    if (!embedded) return;
  }
  // Showing or hiding a scroll bar sends WM_SIZE at once, which comes back here: a call made
  // while an update runs only asks the running one for a further pass.
  if (UpdateDepth_ > 0) {
    UpdateDepth_ = 2;
    return;
  }
  const bool designing = GetComponentState().Contains(csDesigning);
  const int W = Bitmap_->GetWidth(), H = Bitmap_->GetHeight();
  for (int pass = 0; pass < kMaxUpdatePasses; ++pass) {
    UpdateDepth_ = 1;
    if (AutoFit_ && W != 0 && H != 0) {
      const bool hbar = ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth;
      const bool vbar = ScrollBars_ == ssVertical || ScrollBars_ == ssBoth;
      int fw, fh;
      FitClientSize(this, hbar && ScrollBarsAlwaysVisible_, vbar && ScrollBarsAlwaysVisible_, fw, fh);
      const int z = FitZoom(fw, fh, W, H);
      if (z != Zoom_) {
        Zoom_ = z;
        Z_ = z / 100.0;
        Inv_ = 100.0 / z;
        ViewChange(1);
      }
    }
    if (W != CachedW_ || H != CachedH_) {
      CachedW_ = W;
      CachedH_ = H;
      // The selection belongs to the old image; the repaint it would ask for comes below.
      LockPaint();
      DeSelect();
      NPUnLockPaint();
    }
    bool again = false;
    if (!designing) {
      const int cw = GetClientWidth(), ch = GetClientHeight();
      int mx, my;
      GetMaxViewXY(mx, my);
      if (ViewX_ > mx || ViewY_ > my) {
        ViewX_ = std::min(ViewX_, mx);
        ViewY_ = std::min(ViewY_, my);
        ViewChange(0);
      }
      try {
        UpdateScrollBars();
      } catch (...) {
        // The geometry stays as computed whatever the scroll bars made of it.
      }
      again = GetClientWidth() != cw || GetClientHeight() != ch;
      if (GetSelected()) ShowSelectionEx(false);
    }
    // Extents, displayed size and offsets.
    ExtentX_ = Round(W * Z_);
    ExtentY_ = Round(H * Z_);
    if (designing) {
      DisplayWidth_ = std::min(ExtentX_, GetWidth());
      DisplayHeight_ = std::min(ExtentY_, GetHeight());
      OffsetX_ = OffsetY_ = 0;
    } else {
      const int cw = GetClientWidth(), ch = GetClientHeight();
      DisplayWidth_ = std::min(ExtentX_, cw);
      DisplayHeight_ = std::min(ExtentY_, ch);
      OffsetX_ = Center_ && DisplayWidth_ < cw ? int(unsigned(cw - DisplayWidth_) >> 1) : 0;
      OffsetY_ = Center_ && DisplayHeight_ < ch ? int(unsigned(ch - DisplayHeight_) >> 1) : 0;
    }
    const bool asked = UpdateDepth_ == 2;
    UpdateDepth_ = 0;
    if (!again && !asked) break;
  }
  BackBufferDirty_ = true;
  Invalidate();
}

void TCorvexView::UpdateScrollBars() {
  int mx, my;
  GetMaxViewXY(mx, my);
  view_pvt::UpdateScaledScrollBars(this, ScrollBars_, ScrollBarsAlwaysVisible_, mx, my, ViewX_, ViewY_, HScrollScale_,
                                   VScrollScale_);
}

int TCorvexView::UnLockPaint() {
  if (PaintLock_ > 0) --PaintLock_;
  if (PaintLock_ == 0) Update();
  return PaintLock_;
}

int TCorvexView::NPUnLockPaint() {
  if (PaintLock_ > 0) --PaintLock_;
  return PaintLock_;
}

// --- Properties

void TCorvexView::SetZoomFilter(TResampleFilter Value) {
  if (Value == ZoomFilter_) return;
  ZoomFilter_ = Value;
  Update();
}

void TCorvexView::SetScrollBars(TScrollStyle Value) {
  ScrollBars_ = Value;
  if (Value != ssHorizontal && Value != ssBoth) ShowScrollBar(SB_HORZ, false);
  if (Value != ssVertical && Value != ssBoth) ShowScrollBar(SB_VERT, false);
  Update();
}

void TCorvexView::SetScrollBarsAlwaysVisible(bool Value) {
  ScrollBarsAlwaysVisible_ = Value;
  Update();
}

void TCorvexView::SetCenter(bool Value) {
  if (Value == Center_) return;
  Center_ = Value;
  Update();
}

void TCorvexView::SetBackgroundStyle(TCXBackgroundStyle Value) {
  BackgroundStyle_ = Value;
  Update();
}

void TCorvexView::SetDisplayGrid(bool Value) {
  DisplayGrid_ = Value;
  Update();
}

void TCorvexView::SetDoubleBuffer(bool Value) {
  DoubleBuffer_ = Value;
  if (Value && !BackBuffer_ && !GetComponentState().Contains(csDesigning)) BackBuffer_ = std::make_unique<TBitmap>();
  Update();
}

void TCorvexView::SetAutoFit(bool Value) {
  AutoFit_ = Value;
  Update();
}

void TCorvexView::SetCursor(TCursor Value) {
  ViewCursor_ = Value;
  TCXView::SetCursor(Value);
}

void TCorvexView::SaveCursor(TCursor Value) {
  SavedScreenCursor_ = Screen().GetCursor();
  Screen().SetCursor(Value);
}

void TCorvexView::RestoreCursor() { Screen().SetCursor(SavedScreenCursor_); }

// While loading or designing, the bitmap is the control's size and blank.
void TCorvexView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCXView::SetBounds(ALeft, ATop, AWidth, AHeight);
  const TComponentState s = GetComponentState();
  if (Bitmap_ && (s.Contains(csLoading) || s.Contains(csReading) || s.Contains(csDesigning))) {
    Bitmap_->SetSize(GetWidth(), GetHeight());
    Clear();
  }
}

// --- Messages

void TCorvexView::WMSize(TMessage& Message) {
  TCXView::WMSize(Message);
  Update();
}

// The whole client is painted by Paint: nothing is erased first (no flicker).
void TCorvexView::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TCorvexView::WMSetFocus(TMessage& Message) {
  TCXView::WMSetFocus(Message);
  Invalidate();
}

void TCorvexView::WMKillFocus(TMessage& Message) {
  TCXView::WMKillFocus(Message);
  Invalidate();
}

void TCorvexView::WMPaletteChanged(TMessage&) {
  if (DrawDibRealize(DrawDib_[0], GetCanvas(), false) > 0) Invalidate();
}

void TCorvexView::WMHScroll(TMessage& Message) { ScrollBy(SB_HORZ, Message); }
void TCorvexView::WMVScroll(TMessage& Message) { ScrollBy(SB_VERT, Message); }

// One scroll-bar message: lines step by a zoomed pixel (or LineStep of them), pages by the client
// (or PageStep zoomed pixels), the thumb maps its 16-bit position back through the bar's scale.
void TCorvexView::ScrollBy(int Bar, TMessage& Message) {
  const bool horz = Bar == SB_HORZ;
  const TCXScrollBarParams& p = horz ? HScrollBarParams_ : VScrollBarParams_;
  const int code = LOWORD(Message.WParam);
  const int pos = HIWORD(Message.WParam);
  const int64_t u = std::max(Trunc(Z_), 1);
  const int extent = horz ? GetClientWidth() : GetClientHeight();
  int64_t off = horz ? ViewX_ : ViewY_;
  switch (code) {
    case SB_LINEUP: off -= p.LineStep == -1 ? u : u * p.LineStep; break;
    case SB_LINEDOWN: off += p.LineStep == -1 ? u : u * p.LineStep; break;
    case SB_PAGEUP: off -= p.PageStep == -1 ? extent : u * p.PageStep; break;
    case SB_PAGEDOWN: off += p.PageStep == -1 ? extent : u * p.PageStep; break;
    case SB_TOP: off = 0; break;
    case SB_BOTTOM: {
      int mx, my;
      GetMaxViewXY(mx, my);
      off = horz ? mx : my;
      break;
    }
    case SB_THUMBTRACK:
      if (!p.Tracking) return;
      [[fallthrough]];
    case SB_THUMBPOSITION: off = Trunc(pos * (horz ? HScrollScale_ : VScrollScale_)); break;
    default: return;  // SB_ENDSCROLL and unknown codes
  }
  Message.Result = 0;
  if (horz)
    SetViewX(ClampInt(off));
  else
    SetViewY(ClampInt(off));
}

// One message is one notch, whatever its size; a delta of 0 is no notch at all.
void TCorvexView::WMMouseWheel(TMessage& Message) {
  const int delta = GET_WHEEL_DELTA_WPARAM(Message.WParam);
  if (delta == 0) return;
  const TCXMouseWheelParams& p = MouseWheelParams_;
  if (p.Action == cxmwNone) {
    TCXView::WMMouseWheel(Message);
    return;
  }
  int dir = delta > 0 ? -1 : 1;
  if (p.InvertWheel) dir = -dir;
  if (p.Action == cxmwVScroll) {
    const int64_t step = p.Variation == cxmwAbsolute ? int64_t(p.Value) * std::max(Trunc(Z_), 1)
                                                     : std::max(Round(GetClientHeight() * p.Value / 100.0), 1);
    SetViewY(ClampInt(ViewY_ + dir * step));
  } else {
    const int64_t step = p.Variation == cxmwAbsolute ? int64_t(p.Value) : std::max(Round(p.Value * Zoom_ / 100.0), 1);
    SetZoom(ClampInt(Zoom_ + dir * step));
  }
  Message.Result = 1;
}

// --- Palette and polygon copies

HPALETTE TCorvexView::_CreatePalette() {
  TRGB map[256] = {};
  const TBitmap* src = Bitmap_.get();
  TBitmap grey;
  if (src->GetPixelFormat() == pf1bit) {
    TProgressRec prog;
    _Conv1to24(src, &grey, prog);
    src = &grey;
  }
  {
    TCXQuantizer q(src, map, 256, 256, -1);
  }
  TPaletteEntry entries[256];
  for (int i = 0; i < 256; ++i) entries[i] = {map[i].r, map[i].g, map[i].b, 0};
  return CreatePalette(0x300, entries, 256);
}

void TCorvexView::CopyFromPolygon(const TBitmap* Source, const TPoint* Points, int Count, TPoint Position) {
  if (Source == nullptr || Points == nullptr || Count <= 0) return;
  _CopyPolygonToPoint(Source, Points, Count, Bitmap_.get(), Position);
  Update();
}

void TCorvexView::CopyToPolygon(TBitmap* Target, const TPoint* Points, int Count, TPoint Position) {
  if (Target == nullptr || Points == nullptr || Count <= 0) return;
  _CopyPointToPolygon(Bitmap_.get(), Points, Count, Target, Position);
}

}  // namespace corvex

namespace corvex {

void SetSBPageSize(HWND Window, int Bar, int Page, bool Redraw) {
  TScrollInfo info;
  info.fMask = SIF_PAGE;
  info.nPage = unsigned(std::max(Page, 0));
  SetScrollInfo(Window, Bar, info, Redraw);
}

void InitializeBitmapInfoHeader(const TBitmap* Bitmap, TBitmapInfoHeader& Header, int Colors) {
  Header = TBitmapInfoHeader{};
  if (Bitmap == nullptr) return;
  Header.biSize = sizeof(TBitmapInfoHeader);
  Header.biWidth = Bitmap->GetWidth();
  Header.biHeight = Bitmap->GetHeight();
  Header.biPlanes = 1;
  Header.biCompression = BI_RGB;
  switch (Colors) {
    case 2: Header.biBitCount = 1; break;
    case 16: Header.biBitCount = 4; break;
    case 256: Header.biBitCount = 8; break;
    default: Header.biBitCount = uint16_t(Bitmap->GetBitCount()); break;
  }
  const int64_t row = ((int64_t(Header.biWidth) * Header.biBitCount + 31) & ~int64_t(31)) / 8;
  Header.biSizeImage = uint32_t(row * std::abs(Header.biHeight));
}

namespace view_pvt {

void UpdateScaledScrollBars(TWinControl* View, TScrollStyle Style, bool AlwaysVisible, int MaxX, int MaxY, int ViewX,
                            int ViewY, double& HScale, double& VScale) {
  for (int bar : {SB_HORZ, SB_VERT}) {
    const bool enabled = bar == SB_HORZ ? (Style == ssHorizontal || Style == ssBoth) : (Style == ssVertical || Style == ssBoth);
    if (!enabled) continue;
    const int maximum = bar == SB_HORZ ? MaxX : MaxY;
    if (maximum < 1) {
      if (AlwaysVisible) {
        View->ShowScrollBar(bar, true);
        View->EnableScrollBar(bar, ESB_DISABLE_BOTH);
      } else {
        View->ShowScrollBar(bar, false);
      }
      continue;
    }
    const int extent = bar == SB_HORZ ? View->GetClientWidth() : View->GetClientHeight();
    const double scale = (double(extent) + maximum) / 65536.0;
    (bar == SB_HORZ ? HScale : VScale) = scale;
    View->SetScrollRange(bar, 0, 65535, false);
    SetSBPageSize(View->GetHandle(), bar, Trunc(extent / scale), false);
    View->SetScrollPos(bar, Trunc((bar == SB_HORZ ? ViewX : ViewY) / scale), false);
    View->EnableScrollBar(bar, ESB_ENABLE_BOTH);
    View->ShowScrollBar(bar, true);
  }
}

}  // namespace view_pvt

}  // namespace corvex
