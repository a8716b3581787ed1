// TCorvexView painting: the background patterns, the visible part of the image (stretched,
// filtered or reduced to grey), the pixel grid, and the double buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "corvex/color/colorconv.h"
#include "corvex/core/defs.h"
#include "corvex/core/utils.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/platform/numbers.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/proc_pvt.h"
#include "corvex/view/CorvexView.h"
#include "corvex/view/view_pvt.h"

namespace corvex {

namespace {


// The complement of a colour as it is drawn: system colours are resolved first, so that the
// result is a colour and not a mangled system-colour index.
TColor Complement(TColor c) { return static_cast<TColor>(~uint32_t(ColorToRGB(c)) & 0xFFFFFFu); }

// A 24-bit temporary of Src's rectangle (x1, y1) - (x2, y2), 1-bit images made 24-bit.
void CopyRect24(const TBitmap* Src, int x1, int y1, int x2, int y2, TBitmap& Dst) {
  _CopyBitmapRect(Src, &Dst, x1, y1, x2, y2);
  if (Dst.GetPixelFormat() == pf1bit) {
    TProgressRec prog;
    _Conv1to24(&Dst, &Dst, prog);
  }
}

// Draws the clip region of Canvas back as it was when constructed.
class ClipSaver {
 public:
  explicit ClipSaver(TCanvas* Canvas) : Canvas_(Canvas), Had_(Canvas->GetClipRgn(Saved_)) {}
  ~ClipSaver() { Canvas_->SelectClipRgn(Had_ ? &Saved_ : nullptr); }
  ClipSaver(const ClipSaver&) = delete;
  ClipSaver& operator=(const ClipSaver&) = delete;

 private:
  TCanvas* Canvas_;
  TRegion Saved_;
  bool Had_;
};

}  // namespace

// --- Background

void TCorvexView::DrawBackground(TCanvas* Canvas) {
  const int cw = GetClientWidth(), ch = GetClientHeight();
  const TRect client = Rect(0, 0, cw, ch);
  const TColor bg = GetBackground();
  const TColor comp = Complement(bg);
  TBrush* brush = Canvas->GetBrush();
  switch (BackgroundStyle_) {
    case cxbsChessboard:
      for (int y = 0, row = 0; y < ch; y += 16, ++row)
        for (int x = 0, col = 0; x < cw; x += 16, ++col) {
          brush->SetStyle(bsSolid);
          brush->SetColor(((row + col) & 1) == 0 ? comp : bg);
          Canvas->FillRect(Rect(x, y, x + 16, y + 16));
        }
      break;
    case cxbsDiagonals: {
      brush->SetStyle(bsSolid);
      brush->SetColor(bg);
      Canvas->FillRect(client);
      TPen* pen = Canvas->GetPen();
      pen->SetMode(pmCopy);
      pen->SetStyle(psSolid);
      pen->SetWidth(1);
      pen->SetColor(comp);
      Canvas->MoveTo(0, 0);
      Canvas->LineTo(cw, ch);
      Canvas->MoveTo(cw, 0);
      Canvas->LineTo(0, ch);
      break;
    }
    case cxbsSolid:
      brush->SetStyle(bsSolid);
      brush->SetColor(bg);
      Canvas->FillRect(client);
      break;
    default: {
      // Hatches draw only their lines: the ground under them is laid first, in the complement,
      // so that nothing of an earlier frame shows between the lines.
      static constexpr TBrushStyle kHatch[] = {bsSolid,    bsHorizontal, bsVertical,   bsFDiagonal,
                                               bsBDiagonal, bsCross,     bsDiagCross};
      brush->SetStyle(bsSolid);
      brush->SetColor(comp);
      Canvas->FillRect(client);
      brush->SetStyle(kHatch[int(BackgroundStyle_)]);
      brush->SetColor(bg);
      Canvas->FillRect(client);
      brush->SetStyle(bsSolid);
      break;
    }
  }
}

// --- Painting

void TCorvexView::Paint() {
  if (GetComponentState().Contains(csDesigning)) {
    PaintTo(GetCanvas());
    return;
  }
  if (PaintLock_ > 0) return;
  const int cw = GetClientWidth(), ch = GetClientHeight();
  if (cw <= 0 || ch <= 0) return;
  TCanvas* canvas = GetCanvas();
  if (DoubleBuffer_) {
    if (!BackBuffer_) BackBuffer_ = std::make_unique<TBitmap>();
    if (BackBuffer_->GetWidth() != cw || BackBuffer_->GetHeight() != ch || BackBuffer_->GetPixelFormat() != pf24bit) {
      BackBuffer_->Allocate(cw, ch, pf24bit);
      BackBufferDirty_ = true;
    }
    const bool whole = ClipCoversClient(canvas);
    // A repaint of pixels that nothing has drawn over since (an expose, an Invalidate with
    // nothing changed) has nothing to do. Ants, a rubber band or the caller's own drawing on
    // the canvas count as drawing.
    const bool clean = BackingCurrent_ && canvas->GetChangeCount() == BackingCount_;
    auto copyBuffer = [&] {
      view_pvt::BitmapInfo info;
      view_pvt::DescribeBitmap(BackBuffer_.get(), info);
      DrawDibDraw(DrawDib_[0], canvas, 0, 0, cw, ch, &info.Header, BackBuffer_->Bits(), 0, 0, cw, ch, 0);
    };
    const bool dirty = BackBufferDirty_;
    if (dirty) {
      BackBufferDirty_ = false;
      if (whole && (RenderIsCheap() || FillsClient())) {
        // One copy of the image (or the filtered image computed in the window's own pixels):
        // straight into the window, and into the back buffer only when something is about to
        // be drawn over it (SaveRender).
        PaintTo(canvas);
        BufferHoldsRender_ = false;
      } else {
        PaintTo(BackBuffer_->GetCanvas());
        BufferHoldsRender_ = true;
        copyBuffer();
      }
    } else if (BufferHoldsRender_ && !clean) {
      copyBuffer();
    } else if (!clean) {
      // The render was only in the window and has been drawn over: it is rendered again.
      PaintTo(canvas);
    }
    if (dirty || !clean) {
      // A paint cut by the clip leaves the rest of the client as it was.
      BackingCurrent_ = whole;
      BackingCount_ = canvas->GetChangeCount();
    }
  } else {
    PaintTo(canvas);
  }
  if (PolyInProgress_) DrawRubberBand();
  // Painting outside WM_PAINT (scrolling paints at once) still has to reach the screen.
  Application().WindowPainted(this, GetClientRect());
}

// Zoomed without a filter (or while the delayed filter waits), the image is drawn as it is;
// a 1-bit image reduced is shown in grey levels whatever the filter; otherwise it is filtered.
TCorvexView::TImagePath TCorvexView::ImagePath() const {
  const bool mono = Bitmap_->GetPixelFormat() == pf1bit;
  if (ZoomFilter_ == rfNone || DelayCountdown_ > 0 || (Zoom_ <= 100 && mono))
    return !mono || Zoom_ >= 100 ? TImagePath::Direct : TImagePath::Grey;
  return TImagePath::Filtered;
}

bool TCorvexView::RenderIsCheap() const { return ImagePath() == TImagePath::Direct; }

bool TCorvexView::ClipCoversClient(TCanvas* Canvas) const {
  TRegion clip;
  return !Canvas->GetClipRgn(clip) || TRegion::Combine(TRegion::FromRect(GetClientRect()), clip, RGN_DIFF).IsEmpty();
}

bool TCorvexView::FillsClient() const {
  return ImagePath() != TImagePath::Direct && OffsetX_ == 0 && OffsetY_ == 0 && DisplayWidth_ == GetClientWidth() &&
         DisplayHeight_ == GetClientHeight();
}

void TCorvexView::SaveRender() {
  if (!DoubleBuffer_ || BufferHoldsRender_ || BackBufferDirty_ || !BackBuffer_ || !BackingCurrent_) return;
  const TBitmap* window = GetBackingBitmap();
  if (window == nullptr || GetCanvas()->GetChangeCount() != BackingCount_ ||
      window->GetWidth() != BackBuffer_->GetWidth() || window->GetHeight() != BackBuffer_->GetHeight() ||
      window->GetPixelFormat() != BackBuffer_->GetPixelFormat())
    return;
  std::memcpy(BackBuffer_->Bits(), window->Bits(), window->GetImageSize());
  BufferHoldsRender_ = true;
}

void TCorvexView::PaintTo(TCanvas* Canvas) {
  const TBitmap* bmp = Bitmap_.get();
  const int W = bmp->GetWidth(), H = bmp->GetHeight();
  const int cw = GetClientWidth(), ch = GetClientHeight();
  if (GetComponentState().Contains(csDesigning) || W == 0 || H == 0) {
    DrawBackground(Canvas);
    return;
  }
  // The source rectangle: only what the client shows.
  int sx = 0, sy = 0, sw = 0, sh = 0;
  if (ExtentX_ != 0) {
    const double rx = double(W) / ExtentX_;
    sx = Round(ViewX_ * rx);
    sw = Round(DisplayWidth_ * rx);
    if (sx + sw > W) --sw;
  }
  if (ExtentY_ != 0) {
    const double ry = double(H) / ExtentY_;
    sy = Round(ViewY_ * ry);
    sh = Round(DisplayHeight_ * ry);
    if (sy + sh > H) --sh;
  }
  // The destination size: zoomed in, one more source pixel when the last one would leave a gap.
  int dw = DisplayWidth_, dh = DisplayHeight_;
  if (Zoom_ > 100) {
    dw = Trunc(sw * Z_);
    if (dw < DisplayWidth_ && sx + sw + 1 <= W) {
      ++sw;
      dw = Trunc(sw * Z_);
    }
    dh = Trunc(sh * Z_);
    if (dh < DisplayHeight_ && sy + sh + 1 <= H) {
      ++sh;
      dh = Trunc(sh * Z_);
    }
  }
  // The background around the image, when the image leaves some of the client uncovered.
  const int ox = Center_ ? OffsetX_ : 0, oy = Center_ ? OffsetY_ : 0;
  if (ox > 0 || oy > 0 || ox + dw < cw || oy + dh < ch) {
    ClipSaver clip(Canvas);
    if (Center_)
      Canvas->ExcludeClipRect(OffsetX_, OffsetY_, OffsetX_ + dw, OffsetY_ + dh);
    else
      Canvas->ExcludeClipRect(0, 0, dw, dh);
    DrawBackground(Canvas);
  }
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;

  const bool toBuffer = BackBuffer_ && Canvas == BackBuffer_->GetCanvas();
  const HDRAWDIB dd = toBuffer ? DrawDib_[1] : DrawDib_[0];
  // An image computed at the display size (grey levels, the zoom filter) is drawn 1:1 at the
  // offsets. When it fills the back buffer or the window from its corner, unclipped, it is
  // computed there directly instead of into a temporary copied over it.
  TBitmap* fills = nullptr;
  if (OffsetX_ == 0 && OffsetY_ == 0 && DisplayWidth_ == cw && DisplayHeight_ == ch && dw >= cw && dh >= ch) {
    TBitmap* target = toBuffer ? BackBuffer_.get() : Canvas == GetCanvas() ? GetBackingBitmap() : nullptr;
    if (target != nullptr && target->GetWidth() == cw && target->GetHeight() == ch &&
        target->GetPixelFormat() == pf24bit && ClipCoversClient(Canvas))
      fills = target;
  }
  TBitmap temporary;
  auto displayImage = [&]() -> TBitmap* {
    if (fills != nullptr) {
      Canvas->Changing();
      return fills;
    }
    temporary.Allocate(DisplayWidth_, DisplayHeight_, pf24bit);
    return &temporary;
  };
  auto drawDisplayImage = [&](int w, int h) {
    if (fills != nullptr) {
      Canvas->Changed();
      return;
    }
    view_pvt::BitmapInfo ti;
    view_pvt::DescribeBitmap(&temporary, ti);
    DrawDibDraw(dd, Canvas, OffsetX_, OffsetY_, w, h, &ti.Header, temporary.Bits(), 0, 0, w, h, 0);
  };
  view_pvt::BitmapInfo info;
  view_pvt::DescribeBitmap(bmp, info);
  const TImagePath path = ImagePath();
  if (path == TImagePath::Direct) {
    DrawDibDraw(dd, Canvas, OffsetX_, OffsetY_, dw, dh, &info.Header, bmp->Bits(), sx, sy, sw, sh, 0);
  } else if (path == TImagePath::Grey && DisplayWidth_ > 0 && DisplayHeight_ > 0) {
    // A 1-bit image reduced: each shown pixel is the grey level of the pixels it covers.
    _SubResample1bitFiltered(bmp, sx, sy, sx + sw - 1, sy + sh - 1, displayImage());
    drawDisplayImage(DisplayWidth_, DisplayHeight_);
  } else if (path == TImagePath::Filtered && DisplayWidth_ > 0 && DisplayHeight_ > 0) {
    TBitmap* zoomed = displayImage();
    if (bmp->GetPixelFormat() == pf24bit) {
      // The filter reads the shown rectangle in place.
      proc_pvt::ResampleRect(bmp, Rect(std::max(sx, 0), std::max(sy, 0), std::min(sx + sw, W), std::min(sy + sh, H)),
                             zoomed, ZoomFilter_);
    } else {
      TBitmap part;
      CopyRect24(bmp, sx, sy, sx + sw, sy + sh, part);
      _Resample(&part, zoomed, ZoomFilter_, nullptr, nullptr);
    }
    drawDisplayImage(dw, dh);
  }

  // The pixel grid, inverting what is under it so that it shows on any image.
  if (DisplayGrid_ && Zoom_ >= 400) {
    TPen* pen = Canvas->GetPen();
    const TPenMode oldMode = pen->GetMode();
    pen->SetMode(pmNot);
    pen->SetStyle(psSolid);
    pen->SetWidth(1);
    const int gx1 = XBmp2Scr(sx), gx2 = XBmp2Scr(sx + sw);
    const int gy1 = YBmp2Scr(sy), gy2 = YBmp2Scr(sy + sh);
    for (int y = sy; y <= sy + sh; ++y) {
      const int py = YBmp2Scr(y);
      Canvas->MoveTo(gx1, py);
      Canvas->LineTo(gx2, py);
    }
    for (int x = sx; x <= sx + sw; ++x) {
      const int px = XBmp2Scr(x);
      Canvas->MoveTo(px, gy1);
      Canvas->LineTo(px, gy2);
    }
    pen->SetMode(oldMode);
  }
}

// The visible part of the image at (0, 0) of another canvas: no background, no offsets.
void TCorvexView::DrawTo(TCanvas* Canvas) {
  const TBitmap* bmp = Bitmap_.get();
  const int W = bmp->GetWidth(), H = bmp->GetHeight();
  if (Canvas == nullptr || H < 1 || W < 1) return;
  int sx = 0, sy = 0, sw = 0, sh = 0;
  if (ExtentX_ != 0) {
    const double rx = double(W) / ExtentX_;
    sx = Round(ViewX_ * rx);
    sw = Round(DisplayWidth_ * rx);
  }
  if (ExtentY_ != 0) {
    const double ry = double(H) / ExtentY_;
    sy = Round(ViewY_ * ry);
    sh = Round(DisplayHeight_ * ry);
  }
  if (sw <= 0 || sh <= 0 || DisplayWidth_ <= 0 || DisplayHeight_ <= 0) return;
  if (ZoomFilter_ == rfNone || Zoom_ == 100) {
    view_pvt::BitmapInfo info;
    view_pvt::DescribeBitmap(bmp, info);
    DrawDibDraw(DrawDib_[0], Canvas, 0, 0, DisplayWidth_, DisplayHeight_, &info.Header, bmp->Bits(), sx, sy, sw, sh, 0);
  } else {
    TBitmap part;
    CopyRect24(bmp, sx, sy, sx + sw, sy + sh, part);
    TBitmap zoomed(DisplayWidth_, DisplayHeight_, pf24bit);
    _Resample(&part, &zoomed, ZoomFilter_, nullptr, nullptr);
    Canvas->Draw(0, 0, &zoomed);
  }
}

}  // namespace corvex
