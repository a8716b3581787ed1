// TCorvexMView: the image store, the list, layout, selection, the view origin, playing and the
// properties. Painting is in CXMView_paint.cpp; keyboard, mouse and scroll bars in
// CXMView_input.cpp.
#include "corvex/view/CXMView.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

namespace {

// Update re-runs while a scroll bar appearing or vanishing changes the client; the last pass is a
// guard against a client that never settles.
constexpr int kMaxUpdatePasses = 4;

int Saturate(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN / 2, INT_MAX / 2)); }

// A 24-bit or 1-bit copy of any bitmap (other formats drawn into a 24-bit one).
void CopyAsStored(const TBitmap* Src, TBitmap& Dst) {
  if (Src->GetPixelFormat() == pf24bit || Src->GetPixelFormat() == pf1bit) {
    CXCopyBitmap(Src, &Dst);
    return;
  }
  Dst.Allocate(Src->GetWidth(), Src->GetHeight(), pf24bit);
  TCanvas* c = Dst.GetCanvas();
  c->SetCopyMode(cmSrcCopy);
  c->Draw(0, 0, Src);
}

}  // namespace

// The size a W x H image takes when fitted into AvailW x AvailH keeping its aspect ratio: scale =
// min(AvailH / H, AvailW / W), each side Trunc(side x scale), at least 1. Integer arithmetic, so
// that the side that sets the scale comes out exactly the available size.
void CXMViewFitSize(int W, int H, int AvailW, int AvailH, int& OutW, int& OutH) {
  OutW = OutH = 0;
  if (W <= 0 || H <= 0 || AvailW <= 0 || AvailH <= 0) return;
  if (int64_t(AvailW) * H <= int64_t(AvailH) * W) {
    OutW = AvailW;
    OutH = int(std::max<int64_t>(int64_t(H) * AvailW / W, 1));
  } else {
    OutH = AvailH;
    OutW = int(std::max<int64_t>(int64_t(W) * AvailH / H, 1));
  }
}

// --- The DIB holder

TCorvexMView::DibBlock& TCorvexMView::DibBlock::operator=(DibBlock&& o) noexcept {
  if (this != &o) {
    Reset(o.H_);
    o.H_ = 0;
  }
  return *this;
}

void TCorvexMView::DibBlock::Reset(HGLOBAL h) {
  if (H_ != 0 && H_ != h) GlobalFree(H_);
  H_ = h;
}

// --- Construction

TCorvexMView::TCorvexMView(TComponent* AOwner) : TCXView(AOwner) {
  IO_ = std::make_unique<TCorvexIO>(nullptr);
  PlayTimer_ = std::make_unique<TTimer>(nullptr);
  PlayTimer_->SetEnabled(false);
  PlayTimer_->OnTimer = TNotifyEvent(this, &TCorvexMView::PlayTimer);
  DrawDib_ = DrawDibOpen();
  SetTabStop(true);
  SetBounds(GetLeft(), GetTop(), 180, 90);
}

TCorvexMView::~TCorvexMView() {
  NotifyDestroying();
  if (PlayTimer_) PlayTimer_->SetEnabled(false);
  PlayTimer_.reset();
  Images_.clear();
  IO_.reset();
  if (DrawDib_ != 0) DrawDibClose(DrawDib_);
  DrawDib_ = 0;
}

// --- The store

bool TCorvexMView::Reloadable(const ImageRec& R) const {
  return (R.ID >= 0 && OnImageIDRequest) || !R.FileName.empty();
}

TCXImageState TCorvexMView::GetImageState(int Index) const {
  if (!Valid(Index)) return cxisNotLoaded;
  const ImageRec& r = Images_[size_t(Index)];
  if (r.Bitmap) return cxisExpanded;
  return r.Dib ? cxisStored : cxisNotLoaded;
}

int64_t TCorvexMView::GetStoreBytes() const {
  int64_t n = 0;
  for (const ImageRec& r : Images_) {
    if (r.Dib) n += int64_t(GlobalSize(r.Dib.Get()));
    if (r.Bitmap) n += int64_t(r.Bitmap->GetImageSize());
  }
  return n;
}

void TCorvexMView::StoreBitmap(int Index, const TBitmap* Bitmap) {
  ImageRec& r = Images_[size_t(Index)];
  r.Failed = false;
  if (Bitmap == nullptr || Bitmap->GetEmpty()) {
    r.Dib.Reset();
    if (r.Bitmap) r.Bitmap->Allocate(0, 0, pf24bit);
    return;
  }
  TBitmap stored;
  const TBitmap* src = Bitmap;
  if (StoreType_ == cxtThumb) {
    int dw, dh;
    CXMViewFitSize(Bitmap->GetWidth(), Bitmap->GetHeight(), ThumbWidth_, ThumbHeight_, dw, dh);
    stored.Allocate(dw, dh, pf24bit);
    if (Bitmap->GetPixelFormat() == pf1bit) {
      _SubResample1bitFiltered(Bitmap, 0, 0, Bitmap->GetWidth() - 1, Bitmap->GetHeight() - 1, &stored);
    } else {
      TBitmap as24;
      const TBitmap* s24 = Bitmap;
      if (Bitmap->GetPixelFormat() != pf24bit) {
        CopyAsStored(Bitmap, as24);
        s24 = &as24;
      }
      _Resample(s24, &stored, rfBSpline, nullptr, nullptr);
    }
    src = &stored;
  } else if (Bitmap->GetPixelFormat() != pf24bit && Bitmap->GetPixelFormat() != pf1bit) {
    CopyAsStored(Bitmap, stored);
    src = &stored;
  }
  if (r.Bitmap) {
    // Holders keep their pointer: the bitmap object stays and takes the new pixels.
    if (src == Bitmap) CXCopyBitmap(src, r.Bitmap.get());
    else r.Bitmap->Assign(src);
    r.Dib.Reset();
    return;
  }
  const HGLOBAL h = _CopyBitmaptoDIB(src, 0, 0, src->GetWidth(), src->GetHeight());
  if (h == 0) return;  // memory is short: the old content stays
  r.Dib.Reset(h);
}

void TCorvexMView::Collapse(ImageRec& R) {
  if (!R.Bitmap) return;
  if (R.Bitmap->GetEmpty()) {
    R.Bitmap.reset();
    return;
  }
  const HGLOBAL h = _CopyBitmaptoDIB(R.Bitmap.get(), 0, 0, R.Bitmap->GetWidth(), R.Bitmap->GetHeight());
  if (h == 0) return;  // keep the image expanded rather than lose it
  R.Dib.Reset(h);
  R.Bitmap.reset();
}

bool TCorvexMView::Obtain(int Index) {
  if (!Valid(Index)) return false;
  {
    ImageRec& r = Images_[size_t(Index)];
    if (r.Dib || r.Bitmap) return true;
    if (r.Obtaining || r.Failed) return false;
    r.Obtaining = true;
  }
  const uint64_t gen = ListGen_;
  bool ok = false;
  const int id = Images_[size_t(Index)].ID;
  const std::string file = Images_[size_t(Index)].FileName;
  try {
    if (id >= 0 && OnImageIDRequest) {
      TBitmap* b = nullptr;
      OnImageIDRequest(this, id, b);
      // The handler may have changed the list: the image is looked up again.
      if (gen == ListGen_ && Valid(Index) && b != nullptr && !b->GetEmpty()) {
        StoreBitmap(Index, b);
        ok = Images_[size_t(Index)].Dib || Images_[size_t(Index)].Bitmap;
      }
    } else if (!file.empty()) {
      TBitmap loaded(1, 1, pf24bit);
      TColor bg = Images_[size_t(Index)].Background;
      if (LoadFile(file, bg, loaded) && gen == ListGen_ && Valid(Index)) {
        Images_[size_t(Index)].Background = bg;
        StoreBitmap(Index, &loaded);
        ok = Images_[size_t(Index)].Dib || Images_[size_t(Index)].Bitmap;
      }
    }
  } catch (const std::exception&) {
    ok = false;  // a handler that threw: no image
  }
  if (gen == ListGen_ && Valid(Index)) {
    ImageRec& r = Images_[size_t(Index)];
    r.Obtaining = false;
    if (!ok) r.Failed = id >= 0 || !file.empty();
  }
  return ok;
}

// Loads a file with the internal I/O component into Out: the image's background goes in and
// the component's comes back; with cxtThumb a JPEG is decoded at the scale nearest the thumbnail.
// A file that is gone, unreadable or damaged gives false, never an exception.
bool TCorvexMView::LoadFile(const std::string& FileName, TColor& Background, TBitmap& Out) {
  bool ok = false;
  try {
    IO_->SetAttachedBitmap(&Out);
    IO_->SetBackground(Background);
    TIOParamsVals& p = IO_->GetParams();
    if (StoreType_ == cxtThumb) {
      p.JPEG_Scale = ioJPEG_AUTOCALC;
      p.Width = ThumbWidth_;
      p.Height = ThumbHeight_;
    } else {
      p.JPEG_Scale = ioJPEG_FULLSIZE;
    }
    IO_->OnProgress = OnIOProgress;
    IO_->LoadFromFile(FileName);
    ok = !IO_->GetAborting() && !Out.GetEmpty();
    Background = IO_->GetBackground();
  } catch (const std::exception&) {
    ok = false;
  }
  IO_->SetAttachedBitmap(nullptr);
  return ok;
}

TBitmap* TCorvexMView::GetBitmap(int Index) {
  if (!Valid(Index)) return nullptr;
  ImageRec& r0 = Images_[size_t(Index)];
  if (r0.RefCount > 0 && r0.Bitmap) {
    ++r0.RefCount;
    return r0.Bitmap.get();
  }
  if (!r0.Dib && !r0.Bitmap) {
    const uint64_t gen = ListGen_;
    if (!Obtain(Index) || gen != ListGen_) return nullptr;
  }
  ImageRec& r = Images_[size_t(Index)];
  if (!r.Bitmap) {
    auto b = std::make_unique<TBitmap>();
    if (_CopyDIB2Bitmap(r.Dib.Get(), b.get(), nullptr, false) == 0) return nullptr;
    r.Bitmap = std::move(b);
    r.Dib.Reset();
  }
  ++r.RefCount;
  return r.Bitmap.get();
}

void TCorvexMView::ReleaseBitmap(int Index) {
  if (!Valid(Index)) return;
  ImageRec& r = Images_[size_t(Index)];
  const int floor = (Index == Selected_ && SelHeld_) ? 1 : 0;
  if (r.RefCount <= floor) return;
  if (--r.RefCount == 0) Collapse(r);
}

int TCorvexMView::GetBitmapRefCount(int Index) const { return Valid(Index) ? Images_[size_t(Index)].RefCount : 0; }

TBitmap* TCorvexMView::GetFBitmap() {
  if (!Valid(Selected_)) return nullptr;
  if (!SelHeld_) HoldSelection();
  return SelHeld_ ? Images_[size_t(Selected_)].Bitmap.get() : nullptr;
}

void TCorvexMView::HoldSelection() {
  if (!Valid(Selected_) || SelHeld_) return;
  const int sel = Selected_;
  const uint64_t gen = ListGen_;
  TBitmap* b = GetBitmap(sel);
  if (gen != ListGen_ || Selected_ != sel) {
    // A fetch handler changed the list or the selection: the hold no longer belongs here.
    if (b != nullptr && Valid(sel) && Images_[size_t(sel)].Bitmap.get() == b) ReleaseBitmap(sel);
    return;
  }
  SelHeld_ = b != nullptr;
}

void TCorvexMView::ReleaseSelection() {
  if (Valid(Selected_) && SelHeld_) {
    SelHeld_ = false;
    ReleaseBitmap(Selected_);
  }
  SelHeld_ = false;
}

// --- Content

void TCorvexMView::SetImageNU(int Index, const TBitmap* Bitmap) {
  if (!Valid(Index)) return;
  StoreBitmap(Index, Bitmap);
  if (Index == Selected_ && !SelHeld_) HoldSelection();
}

void TCorvexMView::SetImage(int Index, const TBitmap* Bitmap) {
  if (!Valid(Index)) return;
  SetImageNU(Index, Bitmap);
  if (Index == Selected_) CallBitmapChangeEvents();
  Update();
}

void TCorvexMView::SetImageRectNU(int Index, const TBitmap* Bitmap, int x1, int y1, int x2, int y2) {
  if (!Valid(Index) || Bitmap == nullptr) return;
  const int W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  x1 = std::clamp(x1, 0, W);
  y1 = std::clamp(y1, 0, H);
  x2 = std::clamp(x2, 0, W);
  y2 = std::clamp(y2, 0, H);
  if (x2 <= x1 || y2 <= y1) {
    SetImageNU(Index, nullptr);
    return;
  }
  TBitmap src;
  CopyAsStored(Bitmap, src);
  TBitmap part;
  _CopyBitmapRect(&src, &part, x1, y1, x2, y2);
  SetImageNU(Index, &part);
}

void TCorvexMView::SetImageRect(int Index, const TBitmap* Bitmap, int x1, int y1, int x2, int y2) {
  if (!Valid(Index)) return;
  SetImageRectNU(Index, Bitmap, x1, y1, x2, y2);
  if (Index == Selected_) CallBitmapChangeEvents();
  Update();
}

bool TCorvexMView::SetImageFromFile(int Index, const std::string& FileName) {
  if (!Valid(Index)) return false;
  Images_[size_t(Index)].FileName = FileName;
  Images_[size_t(Index)].Failed = false;
  TBitmap loaded(1, 1, pf24bit);
  TColor bg = Images_[size_t(Index)].Background;
  const uint64_t gen = ListGen_;
  const bool ok = LoadFile(FileName, bg, loaded) && gen == ListGen_ && Valid(Index);
  if (ok) {
    Images_[size_t(Index)].Background = bg;
    StoreBitmap(Index, &loaded);
    if (Index == Selected_ && !SelHeld_) HoldSelection();
    if (Index == Selected_) CallBitmapChangeEvents();
  }
  Update();
  return ok;
}

void TCorvexMView::SetImageFileName(int Index, const std::string& FileName) {
  if (!Valid(Index)) return;
  Images_[size_t(Index)].FileName = FileName;
  Images_[size_t(Index)].Failed = false;
}

std::string TCorvexMView::GetImageFileName(int Index) const {
  return Valid(Index) ? Images_[size_t(Index)].FileName : std::string();
}

void TCorvexMView::SetImageID(int Index, int ID) {
  if (!Valid(Index)) return;
  Images_[size_t(Index)].ID = std::max(ID, -1);
  Images_[size_t(Index)].Failed = false;
}

int TCorvexMView::GetImageID(int Index) const { return Valid(Index) ? Images_[size_t(Index)].ID : -1; }

void TCorvexMView::SetImageBackground(int Index, TColor Color) {
  if (!Valid(Index)) return;
  Images_[size_t(Index)].Background = Color;
  if (DrawImageBackground_) Invalidate();
}

TColor TCorvexMView::GetImageBackground(int Index) const {
  return Valid(Index) ? Images_[size_t(Index)].Background : GetBackground();
}

void TCorvexMView::SetImageDelayTime(int Index, int Delay) {
  if (!Valid(Index)) return;
  Images_[size_t(Index)].Delay = std::clamp(Delay, 0, kMViewMaxFrameDelay);
  if (Playing_ && Index == Frame_) RestartPlayTimer();
}

int TCorvexMView::GetImageDelayTime(int Index) const { return Valid(Index) ? Images_[size_t(Index)].Delay : 0; }

int TCorvexMView::GetImageWidth(int Index) const {
  if (!Valid(Index)) return 0;
  const ImageRec& r = Images_[size_t(Index)];
  if (r.Bitmap) return r.Bitmap->GetWidth();
  const TBitmapInfoHeader* h = GetBitmapInfo(Index);
  return h != nullptr ? h->biWidth : 0;
}

int TCorvexMView::GetImageHeight(int Index) const {
  if (!Valid(Index)) return 0;
  const ImageRec& r = Images_[size_t(Index)];
  if (r.Bitmap) return r.Bitmap->GetHeight();
  const TBitmapInfoHeader* h = GetBitmapInfo(Index);
  return h != nullptr ? std::abs(h->biHeight) : 0;
}

const TBitmapInfoHeader* TCorvexMView::GetBitmapInfo(int Index) const {
  if (!Valid(Index) || !Images_[size_t(Index)].Dib) return nullptr;
  const HGLOBAL h = Images_[size_t(Index)].Dib.Get();
  const void* p = GlobalLock(h);
  GlobalUnlock(h);  // the block never moves while it lives
  return static_cast<const TBitmapInfoHeader*>(p);
}

size_t TCorvexMView::GetBitmapInfoSize(int Index) const {
  if (!Valid(Index) || !Images_[size_t(Index)].Dib) return 0;
  return GlobalSize(Images_[size_t(Index)].Dib.Get());
}

void TCorvexMView::FreeImage(int Index) {
  if (!Valid(Index)) return;
  ImageRec& r = Images_[size_t(Index)];
  if (r.Bitmap) return;
  r.Dib.Reset();
  Invalidate();
}

void TCorvexMView::UpdateImage(int Index) {
  if (!Valid(Index)) return;
  ImageRec& r = Images_[size_t(Index)];
  r.Failed = false;
  if (!r.Bitmap && Reloadable(r)) r.Dib.Reset();
  Invalidate();
}

// --- The list

void TCorvexMView::ListChanged(int Op, int Index, int Index2) {
  ++ListGen_;
  LastOp_ = Op;
  LastOpIdx_ = Index;
  LastOpIdx2_ = Index2;
  CallBitmapChangeEvents();
}

int TCorvexMView::GetLastOp() {
  const int op = LastOp_;
  LastOp_ = cxopNone;
  return op;
}

int TCorvexMView::InsertImageNU(int Index) {
  StopPlaying();
  Index = std::clamp(Index, 0, GetImageCount());
  ReleaseSelection();
  ImageRec rec;
  rec.Background = GetBackground();
  Images_.insert(Images_.begin() + Index, std::move(rec));
  Selected_ = Index;  // the new image is selected (it has no content to hold yet)
  ListChanged(cxopInsert, Index);
  return Index;
}

int TCorvexMView::InsertImage(int Index) {
  const int i = InsertImageNU(Index);
  Update();
  return i;
}

int TCorvexMView::AppendImage() { return InsertImage(GetImageCount()); }

void TCorvexMView::DeleteImageNU(int Index) {
  if (!Valid(Index)) return;
  if (Index == Selected_) {
    ReleaseSelection();
    Selected_ = -1;
  } else if (Selected_ > Index) {
    --Selected_;
  }
  if (SavedSelected_ == Index) SavedSelected_ = -1;
  else if (SavedSelected_ > Index) --SavedSelected_;
  Images_.erase(Images_.begin() + Index);
  if (Frame_ > Index || Frame_ >= GetImageCount()) Frame_ = std::max(Frame_ - 1, 0);
  if (Images_.empty()) StopPlaying();
  ListChanged(cxopDelete, Index);
}

void TCorvexMView::DeleteImage(int Index) {
  if (!Valid(Index)) return;
  DeleteImageNU(Index);
  Update();
}

void TCorvexMView::Clear() {
  StopPlaying();
  ReleaseSelection();
  Selected_ = -1;
  while (!Images_.empty()) DeleteImageNU(GetImageCount() - 1);
  Frame_ = 0;
  ViewX_ = ViewY_ = 0;
  Update();
}

void TCorvexMView::MoveImageNU(int From, int To) {
  if (!Valid(From) || To < 0) return;
  To = std::min(To, GetImageCount() - 1);
  if (To == From) return;
  ImageRec rec = std::move(Images_[size_t(From)]);
  Images_.erase(Images_.begin() + From);
  Images_.insert(Images_.begin() + To, std::move(rec));
  auto follow = [From, To](int& i) {
    if (i == From) i = To;
    else if (From < To && i > From && i <= To) --i;
    else if (From > To && i >= To && i < From) ++i;
  };
  follow(Selected_);
  follow(SavedSelected_);
  follow(Frame_);
  ListChanged(cxopMove, From, To);
}

void TCorvexMView::MoveImage(int From, int To) {
  MoveImageNU(From, To);
  Update();
}

// --- Layout

int TCorvexMView::Columns() const {
  if (GridWidth_ > 0) return GridWidth_;
  if (GridWidth_ == 0) return 0;
  return std::max((GetClientWidth() - HorizBorder_) / (HorizBorder_ + ThumbWidth_), 1);
}

int TCorvexMView::GetColumns() const { return Columns(); }

int TCorvexMView::VisibleRows() const {
  return std::max((GetClientHeight() - VertBorder_) / (VertBorder_ + ThumbHeight_), 1);
}

void TCorvexMView::UpdateCoords() {
  const int cols = Columns();
  const int64_t cw = int64_t(ThumbWidth_) + HorizBorder_, ch = int64_t(ThumbHeight_) + VertBorder_;
  int64_t maxX = -1, maxY = -1;
  const int n = GetImageCount();
  for (int k = 0; k < n; ++k) {
    ImageRec& r = Images_[size_t(k)];
    int c = 0, row = 0;
    if (DisplayMode_ != mdSingle) {
      if (cols == 0) c = k;
      else {
        c = k % cols;
        row = k / cols;
      }
    }
    r.Col = c;
    r.Row = row;
    const int64_t x = HorizBorder_ + c * cw, y = VertBorder_ + row * ch;
    r.X = Saturate(x);
    r.Y = Saturate(y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
  }
  ExtentX_ = n == 0 ? 0 : Saturate(maxX + cw);
  ExtentY_ = n == 0 ? 0 : Saturate(maxY + ch);
}

void TCorvexMView::GetMaxViewXY(int& MaxX, int& MaxY) const {
  MaxX = std::max(ExtentX_ - GetClientWidth(), 0);
  MaxY = std::max(ExtentY_ - GetClientHeight(), 0);
}

void TCorvexMView::SetViewXY(int X, int Y) {
  int mx, my;
  GetMaxViewXY(mx, my);
  X = std::clamp(X, 0, mx);
  Y = std::clamp(Y, 0, my);
  if (X == ViewX_ && Y == ViewY_) return;
  ViewX_ = X;
  ViewY_ = Y;
  if (ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth) SetScrollPos(SB_HORZ, Trunc(ViewX_ / HScrollScale_), true);
  if (ScrollBars_ == ssVertical || ScrollBars_ == ssBoth) SetScrollPos(SB_VERT, Trunc(ViewY_ / VScrollScale_), true);
  Invalidate();
  OnViewChange(this, 0);
}

// --- Update

void TCorvexMView::Update() {
  if (PaintLock_ > 0) return;
  // Showing or hiding a scroll bar sends WM_SIZE at once, which comes back here: a call made while
  // an update runs only asks the running one for a further pass.
  if (UpdateDepth_ > 0) {
    UpdateDepth_ = 2;
    return;
  }
  for (int pass = 0; pass < kMaxUpdatePasses; ++pass) {
    UpdateDepth_ = 1;
    const int cw = GetClientWidth(), ch = GetClientHeight();
    UpdateCoords();
    int mx, my;
    GetMaxViewXY(mx, my);
    if (ViewX_ > mx || ViewY_ > my) {
      ViewX_ = std::min(ViewX_, mx);
      ViewY_ = std::min(ViewY_, my);
      OnViewChange(this, 0);
    }
    UpdateScrollBars();
    const bool again = GetClientWidth() != cw || GetClientHeight() != ch || UpdateDepth_ == 2;
    UpdateDepth_ = 0;
    if (!again) break;
  }
  CallBitmapChangeEvents();
  Invalidate();
}

int TCorvexMView::UnLockPaint() {
  if (PaintLock_ > 0) --PaintLock_;
  if (PaintLock_ == 0) Update();
  return PaintLock_;
}

// --- Selection

void TCorvexMView::SetSelectedItemNU(int Index) {
  if (!Valid(Index) || Playing_) return;
  if (Index == Selected_ && SelHeld_) return;
  ReleaseSelection();
  Selected_ = Index;
  if (DisplayMode_ == mdSingle) Frame_ = Index;
  HoldSelection();
}

void TCorvexMView::SetSelectedItem(int Index) {
  if (!Valid(Index) || Playing_) return;
  SetSelectedItemNU(Index);
  Update();
}

void TCorvexMView::DeselectNU() {
  ReleaseSelection();
  Selected_ = -1;
}

void TCorvexMView::Deselect() {
  DeselectNU();
  Update();
}

int TCorvexMView::ImageAtPos(int x, int y) const {
  const int64_t vx = int64_t(x) + ViewX_, vy = int64_t(y) + ViewY_;
  auto inside = [&](const ImageRec& r) {
    return vx >= r.X && vx < int64_t(r.X) + ThumbWidth_ && vy >= r.Y && vy < int64_t(r.Y) + ThumbHeight_;
  };
  if (IsSingle()) return Valid(Frame_) && inside(Images_[size_t(Frame_)]) ? Frame_ : -1;
  // Cells are laid out in index order: the row and column give the candidate directly.
  const int64_t cw = int64_t(ThumbWidth_) + HorizBorder_, ch = int64_t(ThumbHeight_) + VertBorder_;
  if (vx < HorizBorder_ || vy < VertBorder_) return -1;
  const int64_t c = (vx - HorizBorder_) / cw, row = (vy - VertBorder_) / ch;
  const int cols = Columns();
  int64_t k;
  if (cols == 0) {
    if (row != 0) return -1;
    k = c;
  } else {
    if (c >= cols) return -1;
    k = row * cols + c;
  }
  if (k < 0 || k >= GetImageCount()) return -1;
  return inside(Images_[size_t(k)]) ? int(k) : -1;
}

int TCorvexMView::GetImageX(int Index) const { return Valid(Index) ? Images_[size_t(Index)].X : 0; }
int TCorvexMView::GetImageY(int Index) const { return Valid(Index) ? Images_[size_t(Index)].Y : 0; }
int TCorvexMView::GetImageCol(int Index) const { return Valid(Index) ? Images_[size_t(Index)].Col : 0; }
int TCorvexMView::GetImageRow(int Index) const { return Valid(Index) ? Images_[size_t(Index)].Row : 0; }

int TCorvexMView::GetImageVisibility(int Index) const {
  if (!Valid(Index)) return 0;
  if (IsSingle() && Index != Frame_) return 0;
  const ImageRec& r = Images_[size_t(Index)];
  const int64_t x1 = int64_t(r.X) - ViewX_, y1 = int64_t(r.Y) - ViewY_;
  const int64_t x2 = x1 + ThumbWidth_, y2 = y1 + ThumbHeight_;
  const int cw = GetClientWidth(), ch = GetClientHeight();
  if (x2 <= 0 || y2 <= 0 || x1 >= cw || y1 >= ch) return 0;
  if (x1 >= 0 && y1 >= 0 && x2 <= cw && y2 <= ch) return 2;
  return 1;
}

void TCorvexMView::CenterSelected() {
  if (!Valid(Selected_)) return;
  const ImageRec& r = Images_[size_t(Selected_)];
  SetViewXY(r.X - (GetClientWidth() - ThumbWidth_) / 2, r.Y - (GetClientHeight() - ThumbHeight_) / 2);
}

void TCorvexMView::CenterFrame() {
  if (!Valid(Frame_)) return;
  const ImageRec& r = Images_[size_t(Frame_)];
  SetViewXY(r.X - (GetClientWidth() - ThumbWidth_) / 2, r.Y - (GetClientHeight() - ThumbHeight_) / 2);
}

// Brings a cell that is not wholly visible into view, axis by axis: moving back puts its top-left
// corner (less the borders) at the origin, moving forward its bottom-right corner (plus the
// borders) at the far edge.
void TCorvexMView::ScrollCellIntoView(int Index, bool Forward) {
  if (!Valid(Index) || GetImageVisibility(Index) == 2) return;
  const ImageRec& r = Images_[size_t(Index)];
  const int cw = GetClientWidth(), ch = GetClientHeight();
  int x = ViewX_, y = ViewY_;
  const bool xOut = r.X - ViewX_ < 0 || r.X + ThumbWidth_ - ViewX_ > cw;
  const bool yOut = r.Y - ViewY_ < 0 || r.Y + ThumbHeight_ - ViewY_ > ch;
  if (xOut) x = Forward ? r.X + ThumbWidth_ + HorizBorder_ - cw : r.X - HorizBorder_;
  if (yOut) y = Forward ? r.Y + ThumbHeight_ + VertBorder_ - ch : r.Y - VertBorder_;
  SetViewXY(x, y);
}

void TCorvexMView::SelectSeek(TCXSeek Seek) {
  const int n = GetImageCount();
  if (n == 0 || Playing_) return;
  const int cur = Valid(Selected_) ? Selected_ : 0;
  const int cols = Columns();
  const int step = cols == 0 ? 1 : cols;
  const int across = cols == 0 ? std::max((GetClientWidth() - HorizBorder_) / (HorizBorder_ + ThumbWidth_), 1) : cols;
  const int page = cols == 0 ? across : cols * VisibleRows();
  int next = cur;
  switch (Seek) {
    case iskLeft: next = cur - 1; break;
    case iskRight: next = cur + 1; break;
    case iskUp: next = cur - step; break;
    case iskDown: next = cur + step; break;
    case iskPagUp: next = cur - page; break;
    case iskPagDown: next = cur + page; break;
    case iskFirst: next = 0; break;
    case iskLast: next = n - 1; break;
  }
  next = std::clamp(next, 0, n - 1);
  UpdateCoords();
  SetSelectedItemNU(next);
  if (Seek == iskFirst) SetViewXY(0, 0);
  else ScrollCellIntoView(next, next > cur || (next == cur && Seek != iskLeft && Seek != iskUp && Seek != iskPagUp));
  CallBitmapChangeEvents();
}

// --- Playing

void TCorvexMView::RestartPlayTimer() {
  if (!Playing_ || !Valid(Frame_)) return;
  const int d = std::max(Images_[size_t(Frame_)].Delay, kMViewMinFrameDelay);
  PlayTimer_->SetEnabled(false);
  PlayTimer_->SetInterval(unsigned(d));
  PlayTimer_->SetEnabled(true);
}

void TCorvexMView::SetPlaying(bool Value) {
  if (Value == Playing_) return;
  if (Value) {
    if (Images_.empty()) return;
    SavedMode_ = DisplayMode_;
    SavedSelected_ = Selected_;
    DeselectNU();
    Playing_ = true;
    DisplayMode_ = mdSingle;
    if (!Valid(Frame_)) Frame_ = 0;
    Update();
    RestartPlayTimer();
  } else {
    StopPlaying();
    Update();
  }
}

void TCorvexMView::StopPlaying() {
  if (!Playing_) return;
  PlayTimer_->SetEnabled(false);
  Playing_ = false;
  DisplayMode_ = SavedMode_;
  const int sel = SavedSelected_;
  SavedSelected_ = -1;
  if (Valid(sel)) SetSelectedItemNU(sel);
}

void TCorvexMView::PlayFrame() {
  const int n = GetImageCount();
  if (n == 0) {
    StopPlaying();
    return;
  }
  ++Frame_;
  if (Frame_ >= n) {
    Frame_ = 0;
    if (Playing_ && !Looping_) {
      StopPlaying();
      Update();
      return;
    }
  }
  RestartPlayTimer();
  Invalidate();
}

void TCorvexMView::PlayTimer(TObject*) {
  if (!Playing_) {
    PlayTimer_->SetEnabled(false);
    return;
  }
  PlayFrame();
}

void TCorvexMView::SetVisibleFrame(int Index) {
  if (!Valid(Index)) return;
  Frame_ = Index;
  RestartPlayTimer();
  Invalidate();
}

// --- Properties

void TCorvexMView::SetThumbWidth(int Value) {
  ThumbWidth_ = std::clamp(Value, 1, kMViewMaxThumbSide);
  Update();
}

void TCorvexMView::SetThumbHeight(int Value) {
  ThumbHeight_ = std::clamp(Value, 1, kMViewMaxThumbSide);
  Update();
}

void TCorvexMView::SetHorizBorder(int Value) {
  HorizBorder_ = std::clamp(Value, 0, kMViewMaxThumbSide);
  Update();
}

void TCorvexMView::SetVertBorder(int Value) {
  VertBorder_ = std::clamp(Value, 0, kMViewMaxThumbSide);
  Update();
}

void TCorvexMView::SetBottomGap(int Value) {
  BottomGap_ = std::clamp(Value, 0, kMViewMaxThumbSide);
  Invalidate();
}

void TCorvexMView::SetUpperGap(int Value) {
  UpperGap_ = std::clamp(Value, 0, kMViewMaxThumbSide);
  Invalidate();
}

void TCorvexMView::SetScrollBars(TScrollStyle Value) {
  ScrollBars_ = Value;
  if (Value != ssHorizontal && Value != ssBoth) ShowScrollBar(SB_HORZ, false);
  if (Value != ssVertical && Value != ssBoth) ShowScrollBar(SB_VERT, false);
  Update();
}

void TCorvexMView::SetScrollBarsAlwaysVisible(bool Value) {
  ScrollBarsAlwaysVisible_ = Value;
  Update();
}

void TCorvexMView::SetVisibleSelection(bool Value) {
  VisibleSelection_ = Value;
  Invalidate();
}

void TCorvexMView::SetSelectionWidth(int Value) {
  SelectionWidth_ = std::clamp(Value, 0, 64);
  Invalidate();
}

void TCorvexMView::SetSelectionColor(TColor Value) {
  SelectionColor_ = Value;
  Invalidate();
}

void TCorvexMView::SetDisplayMode(TCXDisplayMode Value) {
  if (Playing_) {
    SavedMode_ = Value;  // restored when playing stops
    return;
  }
  DisplayMode_ = Value;
  if (Value == mdSingle && Valid(Selected_)) Frame_ = Selected_;
  Update();
}

void TCorvexMView::SetGridWidth(int Value) {
  GridWidth_ = std::max(Value, -1);
  Update();
}

void TCorvexMView::SetDrawImageBackground(bool Value) {
  DrawImageBackground_ = Value;
  Invalidate();
}

void TCorvexMView::SetBackGround(TColor Value) {
  TCXView::SetBackGround(Value);
  Invalidate();
}

}  // namespace corvex
