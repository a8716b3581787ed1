// TCorvexMView painting: each visible cell (the stored image fitted into the cell and centred,
// the rest of the cell in the background colour, a placeholder where a fetch failed, the
// selection frame), the client around the cells, and the freeing of off-screen images that can
// be fetched again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMView.h"
#include "corvex/view/view_pvt.h"

namespace corvex {

void CXMViewFitSize(int W, int H, int AvailW, int AvailH, int& OutW, int& OutH);  // CXMView.cpp

namespace {

// Restores the clip region of a canvas as it was when constructed.
class ClipSaver {
 public:
  explicit ClipSaver(TCanvas* Canvas) : Canvas_(Canvas), Had_(Canvas->GetClipRgn(Saved_)) {}
  ~ClipSaver() { Restore(); }
  void Restore() { Canvas_->SelectClipRgn(Had_ ? &Saved_ : nullptr); }
  ClipSaver(const ClipSaver&) = delete;
  ClipSaver& operator=(const ClipSaver&) = delete;

 private:
  TCanvas* Canvas_;
  TRegion Saved_;
  bool Had_;
};

void Fill(TCanvas* Canvas, TColor Color, int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  TBrush* b = Canvas->GetBrush();
  b->SetStyle(bsSolid);
  b->SetColor(Color);
  Canvas->FillRect(Rect(x1, y1, x2, y2));
}

// A frame and a cross in grey, inset from the cell: the image could not be fetched.
void DrawPlaceholder(TCanvas* Canvas, int x1, int y1, int w, int h) {
  const int ix = w / 4, iy = h / 4;
  if (w - 2 * ix < 3 || h - 2 * iy < 3) return;
  const int l = x1 + ix, t = y1 + iy, r = x1 + w - ix, b = y1 + h - iy;
  TBrush* brush = Canvas->GetBrush();
  brush->SetStyle(bsSolid);
  brush->SetColor(clGray);
  Canvas->FrameRect(Rect(l, t, r, b));
  TPen* pen = Canvas->GetPen();
  pen->SetMode(pmCopy);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  pen->SetColor(clGray);
  Canvas->MoveTo(l, t);
  Canvas->LineTo(r - 1, b - 1);
  Canvas->MoveTo(r - 1, t);
  Canvas->LineTo(l, b - 1);
}

// A list change during painting (from a fetch or an event handler) starts the paint again; after
// this many restarts (a handler that changes the list on every call) the cells are given up.
constexpr int kMaxPaintRestarts = 64;

}  // namespace

void TCorvexMView::Paint() {
  const int cw = GetClientWidth(), ch = GetClientHeight();
  if (cw <= 0 || ch <= 0) return;
  PaintTo(GetCanvas());
}

// One cell at client (cx, cy): the image fitted into ThumbWidth x (ThumbHeight - gaps), centred
// horizontally and vertically below UpperGap, and the rest of the cell in the background.
void TCorvexMView::DrawCell(TCanvas* Canvas, int Index, int cx, int cy) {
  const ImageRec& r = Images_[size_t(Index)];
  const TColor bg = DrawImageBackground_ ? r.Background : GetBackground();
  const int tw = ThumbWidth_, th = ThumbHeight_;
  const int availH = th - BottomGap_ - UpperGap_;

  const TBitmapInfoHeader* header = nullptr;
  const void* bits = nullptr;
  view_pvt::BitmapInfo info;
  int W = 0, H = 0;
  bool mono = false;
  const uint8_t* dibBits = nullptr;  // the rows of a stored DIB (bottom first)
  if (r.Bitmap && !r.Bitmap->GetEmpty()) {
    view_pvt::DescribeBitmap(r.Bitmap.get(), info);
    header = &info.Header;
    bits = r.Bitmap->Bits();
    W = r.Bitmap->GetWidth();
    H = r.Bitmap->GetHeight();
    mono = r.Bitmap->GetPixelFormat() == pf1bit;
  } else if (r.Dib) {
    header = GetBitmapInfo(Index);
    if (header != nullptr) {
      W = header->biWidth;
      H = std::abs(header->biHeight);
      mono = header->biBitCount == 1;
      dibBits = reinterpret_cast<const uint8_t*>(header) + header->biSize + DIBColorTableSize(header);
    }
  }
  if (header == nullptr || W <= 0 || H <= 0 || availH <= 0) {
    Fill(Canvas, bg, cx, cy, cx + tw, cy + th);
    if (r.Failed) DrawPlaceholder(Canvas, cx, cy, tw, th);
    return;
  }
  int dw, dh;
  CXMViewFitSize(W, H, tw, availH, dw, dh);
  const int x = cx + (tw - dw) / 2;
  const int y = cy + UpperGap_ + (availH - dh) / 2;

  if (mono && (dw < W || dh < H)) {
    // A 1-bit image drawn smaller: each shown pixel is the grey level of the pixels it covers.
    if (bits != nullptr) {
      TBitmap grey(dw, dh, pf24bit);
      _SubResample1bitFiltered(r.Bitmap.get(), 0, 0, W - 1, H - 1, &grey);
      view_pvt::BitmapInfo gi;
      view_pvt::DescribeBitmap(&grey, gi);
      DrawDibDraw(DrawDib_, Canvas, x, y, dw, dh, &gi.Header, grey.Bits(), 0, 0, dw, dh, 0);
    } else {
      // The DIB's rows are bottom first; the reduced rows come out in the same order.
      const bool bottomUp = header->biHeight > 0;
      const int sy1 = 0, sy2 = H - 1;
      std::unique_ptr<uint8_t, decltype(&std::free)> grey(
          _SubResample1bitFilteredDIB(dibBits, W, H, 0, sy1, W - 1, sy2, dw, dh), &std::free);
      if (grey) {
        TBitmapInfoHeader gh;
        gh.biWidth = dw;
        gh.biHeight = bottomUp ? dh : -dh;
        gh.biBitCount = 24;
        DrawDibDraw(DrawDib_, Canvas, x, y, dw, dh, &gh, grey.get(), 0, 0, dw, dh, 0);
      }
    }
  } else {
    DrawDibDraw(DrawDib_, Canvas, x, y, dw, dh, header, bits, 0, 0, W, H, 0);
  }
  // The rest of the cell.
  Fill(Canvas, bg, cx, cy, cx + tw, y);
  Fill(Canvas, bg, cx, y + dh, cx + tw, cy + th);
  Fill(Canvas, bg, cx, y, x, y + dh);
  Fill(Canvas, bg, x + dw, y, cx + tw, y + dh);
}

// SelectionWidth nested 1-pixel rectangles around the cell (one when the view has no focus).
void TCorvexMView::DrawFrame(TCanvas* Canvas, int cx, int cy) {
  const int n = Focused() ? SelectionWidth_ : std::min(SelectionWidth_, 1);
  TBrush* b = Canvas->GetBrush();
  b->SetStyle(bsSolid);
  b->SetColor(SelectionColor_);
  for (int i = 1; i <= n; ++i) Canvas->FrameRect(Rect(cx - i, cy - i, cx + ThumbWidth_ + i, cy + ThumbHeight_ + i));
}

void TCorvexMView::PaintTo(TCanvas* Canvas) {
  if (Canvas == nullptr || Painting_) return;
  Painting_ = true;
  const int cw = GetClientWidth(), ch = GetClientHeight();
  ClipSaver clip(Canvas);
  const uint64_t startGen = ListGen_;
  int restarts = 0;
  int lastIndex = -1;
  for (bool again = true; again;) {
    again = false;
    clip.Restore();
    const uint64_t gen = ListGen_;
    if (gen != startGen) UpdateCoords();
    const int n = GetImageCount();
    const bool single = IsSingle();
    const int first = single ? std::clamp(Frame_, 0, std::max(n - 1, 0)) : 0;
    const int last = single ? std::min(first + 1, n) : n;
    int visited = 0;
    for (int k = 0; k < n && !again; ++k) {
      ImageRec* r = &Images_[size_t(k)];
      const bool shown = k >= first && k < last;
      const int64_t cx = int64_t(r->X) - ViewX_, cy = int64_t(r->Y) - ViewY_;
      const bool onScreen = shown && cx < cw && cy < ch && cx + ThumbWidth_ > 0 && cy + ThumbHeight_ > 0;
      if (!onScreen) {
        // Off screen (or another frame): what can be fetched again does not stay in memory.
        if (k != Selected_ && r->Dib && !r->Bitmap && r->RefCount == 0 && Reloadable(*r)) r->Dib.Reset();
        continue;
      }
      ++visited;
      lastIndex = k;
      if (!r->Dib && !r->Bitmap) {
        const bool ok = Obtain(k);
        if (gen != ListGen_) {
          again = true;
          break;
        }
        r = &Images_[size_t(k)];
        if (!ok && r->Failed && RemoveCorrupted_) {
          DeleteImageNU(k);
          again = true;
          break;
        }
      }
      DrawCell(Canvas, k, int(cx), int(cy));
      OnImageDraw(this, k, Canvas, int(cx), int(cy));
      if (gen != ListGen_) {
        again = true;
        break;
      }
      int frame = 0;
      if (k == Selected_ && VisibleSelection_) {
        DrawFrame(Canvas, int(cx), int(cy));
        frame = SelectionWidth_;
      }
      Canvas->ExcludeClipRect(int(cx) - frame, int(cy) - frame, int(cx) + ThumbWidth_ + frame,
                              int(cy) + ThumbHeight_ + frame);
      if (last - first > 1) {
        OnDrawProgress(this, int(int64_t(k + 1) * 100 / n), k);
        if (gen != ListGen_) again = true;
      }
    }
    (void)visited;
    if (again && ++restarts > kMaxPaintRestarts) again = false;
  }
  Fill(Canvas, GetBackground(), 0, 0, cw, ch);
  clip.Restore();
  Painting_ = false;
  OnDrawProgress(this, 100, lastIndex);
  if (ListGen_ != startGen) {
    // The list changed under the paint: layout, scroll bars and the handlers follow afterwards,
    // outside the paint.
    if (!RefreshPosted_ && Application().PostMessage(GetHandle(), kRefreshMessage, 0, 0)) RefreshPosted_ = true;
  }
}

}  // namespace corvex
