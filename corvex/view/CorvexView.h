// TCorvexView: the single-image view. It owns one bitmap (24-bit or 1-bit) and shows it zoomed and
// scrolled in its client area, with optional centring, a resampling filter (refined after a pause
// with DelayZoomFilter), a background pattern, a pixel grid and double buffering; it drives the
// window's scroll bars and the mouse wheel, and carries one selection (a list of polygons in
// bitmap coordinates drawn as marching ants, with grips when it is a rectangle) made by code or
// with the mouse in the modes of MouseInteract.
//
// Rounding: Round is to nearest with ties to even, Trunc toward zero (corvex/platform/numbers.h);
// every mapping below depends on it.
//
// Implementation files: CorvexView.cpp (construction, geometry, zoom, scrolling, wheel,
// callbacks), CorvexView_paint.cpp (painting), CorvexView_select.cpp (animated polygons, the
// selection, grips, the painter), CorvexView_mouse.cpp (mouse modes, auto-scroll).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "corvex/platform/graphics/dibdraw.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/base/CXView.h"

namespace corvex {

class TCanvas;

// The largest zoom the view accepts, in percent: 6400 (64 times). Larger values are cut to it,
// so that zoomed extents of the largest images stay far inside 32-bit coordinates.
constexpr int kMaxViewZoom = 6400;

// The break marker of a selection's point list: a point whose x (and y) is 0xFFFFF.
constexpr int32_t CXSelBreak = 0xFFFFF;

enum TCXBackgroundStyle {
  cxbsSolid, cxbsHorizontal, cxbsVertical, cxbsFDiagonal, cxbsBDiagonal, cxbsCross, cxbsDiagCross, cxbsChessboard,
  cxbsDiagonals
};
enum TCXMouseWheelAction { cxmwNone, cxmwVScroll, cxmwZoom };
enum TCXMouseWheelVariation { cxmwAbsolute, cxmwPercentage };
enum TCXSelectionBase { cxsbClientArea, cxsbBitmap };
enum TCXSelectionOption { cxsoAnimated, cxsoSizeable, cxsoMoveable };
using TCXSelectionOptions = TSet<TCXSelectionOption>;
enum TCXMouseInteractItem { miZoom, miScroll, miSelect, miSelectPolygon, miSelectCircle, miSelectZoom, miSelectMagicWand };
using TCXMouseInteractItems = TSet<TCXMouseInteractItem>;

// procedure(Sender: TObject; Change: Integer): 0 the offsets changed, 1 the zoom.
using TViewChangeEvent = TEvent<void(TObject* Sender, int Change)>;

// Line and page steps of one scroll bar (-1: the default step).
class TCXScrollBarParams : public TPersistent {
 public:
  int LineStep = -1;
  int PageStep = -1;
  bool Tracking = true;
};

class TCXMouseWheelParams : public TPersistent {
 public:
  bool InvertWheel = false;
  TCXMouseWheelAction Action = cxmwZoom;
  TCXMouseWheelVariation Variation = cxmwPercentage;
  int Value = 8;
};

// One animated polygon: points in bitmap coordinates with break markers, drawn as a dash of
// three pixels of Color1 and three of Color2 whose phase moves one pixel per timer tick.
struct TCXAnimPolygon {
  std::vector<TPoint> Points;  // Count() entries, break markers included
  TColor Color1 = clBlack;
  TColor Color2 = clWhite;
  bool Animated = true;
  int Phase = 0;  // 0 .. 5
  int DashCounter = 0;
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // bounding box of the real points
  bool Visible = true;
  bool Sizeable = true;
  int Count() const { return static_cast<int>(Points.size()); }
};

class TCorvexView : public TCXView {
 public:
  explicit TCorvexView(TComponent* AOwner);
  ~TCorvexView() override;

  // --- The image
  TBitmap* GetFBitmap() override { return Bitmap_.get(); }
  TBitmap* GetBitmap() const { return Bitmap_.get(); }
  // Copies the source: nullptr clears; another view copies its bitmap, background and DPI; a
  // bitmap is copied (24/1-bit as is, other formats drawn into a 24-bit copy). Assign(this) does
  // nothing.
  void Assign(const TPersistent* Source) override;
  // Fills the bitmap with Background and updates; Blank makes it 1 x 1 first.
  void Clear();
  void Blank();
  void SetBackGround(TColor Value) override;
  void ImageChange() override;

  // --- Zoom and scrolling
  int GetZoom() const { return Zoom_; }
  // v <= 0 and the current value are ignored; values above kMaxViewZoom are cut to it.
  void SetZoom(int Value);
  int GetViewX() const { return ViewX_; }
  int GetViewY() const { return ViewY_; }
  void SetViewX(int Value) { SetViewXY(Value, ViewY_); }
  void SetViewY(int Value) { SetViewXY(ViewX_, Value); }
  void SetViewXY(int X, int Y);
  void GetMaxViewXY(int& MaxX, int& MaxY) const;
  int XScr2Bmp(int x) const override;
  int YScr2Bmp(int y) const override;
  int XBmp2Scr(int x) const;
  int YBmp2Scr(int y) const;
  void Fit();
  void ZoomAt(int x, int y, int ZoomValue);
  void ZoomSelection();
  int IdealComponentWidth() const;
  int IdealComponentHeight() const;
  int GetOffsetX() const { return OffsetX_; }
  int GetOffsetY() const { return OffsetY_; }
  int GetDisplayWidth() const { return DisplayWidth_; }
  int GetDisplayHeight() const { return DisplayHeight_; }
  int GetExtentX() const { return ExtentX_; }
  int GetExtentY() const { return ExtentY_; }

  // Recomputes geometry and scroll bars and invalidates: every writer of the bitmap calls it.
  void Update() override;
  void LockPaint() { ++PaintLock_; }
  int UnLockPaint();
  int NPUnLockPaint();
  int GetPaintLock() const { return PaintLock_; }

  // --- Drawing
  // The visible part of the image, as zoomed and scrolled, at (0, 0) of another canvas.
  void DrawTo(TCanvas* Canvas);
  // The whole client rendering (background, image, grid) onto a canvas.
  virtual void PaintTo(TCanvas* Canvas);
  HPALETTE _CreatePalette();
  void CopyFromPolygon(const TBitmap* Source, const TPoint* Points, int Count, TPoint Position);
  void CopyToPolygon(TBitmap* Target, const TPoint* Points, int Count, TPoint Position);

  // --- Properties
  TResampleFilter GetZoomFilter() const { return ZoomFilter_; }
  void SetZoomFilter(TResampleFilter Value);
  bool GetDelayZoomFilter() const { return DelayZoomFilter_; }
  void SetDelayZoomFilter(bool Value) { DelayZoomFilter_ = Value; }
  TScrollStyle GetScrollBars() const { return ScrollBars_; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool GetScrollBarsAlwaysVisible() const { return ScrollBarsAlwaysVisible_; }
  void SetScrollBarsAlwaysVisible(bool Value);
  bool GetCenter() const { return Center_; }
  void SetCenter(bool Value);
  TCXBackgroundStyle GetBackgroundStyle() const { return BackgroundStyle_; }
  void SetBackgroundStyle(TCXBackgroundStyle Value);
  bool GetDisplayGrid() const { return DisplayGrid_; }
  void SetDisplayGrid(bool Value);
  bool GetDoubleBuffer() const { return DoubleBuffer_; }
  void SetDoubleBuffer(bool Value);
  bool GetAutoFit() const { return AutoFit_; }
  void SetAutoFit(bool Value);
  TCXScrollBarParams* GetHScrollBarParams() { return &HScrollBarParams_; }
  TCXScrollBarParams* GetVScrollBarParams() { return &VScrollBarParams_; }
  TCXMouseWheelParams* GetMouseWheelParams() { return &MouseWheelParams_; }
  // The view's own cursor (1785 by default), restored after temporary cursors.
  void SetCursor(TCursor Value) override;
  TCursor GetViewCursor() const { return ViewCursor_; }
  void SaveCursor(TCursor Value);
  void RestoreCursor();
  // The delayed-filter countdown (> 0: drawn unfiltered for now).
  int GetDelayCountdown() const { return DelayCountdown_; }

  TNotifyEvent OnImageChange;
  TViewChangeEvent OnViewChange;

  // --- Selection
  virtual void Select(int x1, int y1, int x2, int y2, TCXSelOp Op = cxspReplace);
  void SelectMagicWand(int x, int y, TCXSelOp Op = cxspReplace);
  virtual void AddSelPoint(int x, int y);
  void AddSelBreak();
  void DeSelect() override;
  void SelectBitmapRect(int x1, int y1, int x2, int y2, bool Add) override;
  int SelectResizeEx(int Grip, int x, int y);
  int SelectMoveEx(int Grip, int dx, int dy);
  int GetResizingGrip(int x, int y);
  int GetMovingGrip(int x, int y);
  bool GetSelected() const override { return Selected_; }
  int GetSelX1() const override;
  int GetSelY1() const override;
  int GetSelX2() const override;
  int GetSelY2() const override;
  TPoint GetPolySel(int Index) const;
  int GetPolySelCount() const override;
  const TPoint* GetPolySelArray() const override;
  bool GetVisibleSelection() const;
  void SetVisibleSelection(bool Value);
  void ShowSelectionEx(bool Draw);
  void HideSelectionEx(bool Repaint);
  TColor GetSelColor1() const;
  void SetSelColor1(TColor Value);
  TColor GetSelColor2() const;
  void SetSelColor2(TColor Value);
  TCXSelectionOptions GetSelectionOptions() const { return SelectionOptions_; }
  void SetSelectionOptions(TCXSelectionOptions Value);
  TCXSelectionBase GetSelectionBase() const { return SelectionBase_; }
  void SetSelectionBase(TCXSelectionBase Value) { SelectionBase_ = Value; }
  int GetMagicWandTolerance() const { return MagicWandTolerance_; }
  void SetMagicWandTolerance(int Value) { MagicWandTolerance_ = Value; }
  bool GetMagicWandMaxFilter() const { return MagicWandMaxFilter_; }
  void SetMagicWandMaxFilter(bool Value) { MagicWandMaxFilter_ = Value; }
  // Copies the selected region into another view or a bitmap.
  void AssignSelTo(TPersistent* Target);
  void DoSelectionChanging();
  void DoSelectionChange();
  TNotifyEvent OnSelectionChanging, OnSelectionChange, OnMouseInSel;

  // --- Animated polygons, by handle (0 is never a handle; a stale handle does nothing)
  int AnimPolygonNew(TColor Color1, TColor Color2, bool Animated, bool Sizeable);
  void AnimPolygonDel(int Handle);
  void AnimPolygonClear(int Handle);
  void AnimPolygonAddPtEx(int Handle, int x, int y);
  void AnimPolygonAddPt(int Handle, int x, int y);
  void AnimPolygonAddBreak(int Handle);
  void AnimPolygonRemoveLast(int Handle);
  void AnimPolygonRemoveLastPoint(int Handle);
  // The polygon behind a handle, or nullptr.
  TCXAnimPolygon* AnimPolygon(int Handle);
  // The handle of the selection polygon.
  int SelectionHandle() const { return SelectionHandle_; }
  // The painter: the animation timer calls it (Sender = the timer); the view calls it directly.
  void AniPolyFunc(TObject* Sender);

  // --- Mouse interaction
  TCXMouseInteractItems GetMouseInteract() const { return MouseInteract_; }
  virtual void SetMouseInteract(TCXMouseInteractItems Value);
  // In-progress states, for tests and subclasses.
  bool PolygonInProgress() const { return PolyInProgress_; }
  bool RectangleInProgress() const { return RectInProgress_; }
  bool EllipseInProgress() const { return EllipseInProgress_; }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  virtual void ViewChange(int Change);
  virtual void SubMouseMoveScroll(int dx, int dy);
  // Scrolls while the pointer is outside the displayed image during a drag; returns after one
  // step (the auto-scroll timer repeats it while the button is held).
  void MouseMoveScroll();

  void Paint() override;
  // Whether PaintTo is one copy of the image, as cheap as copying the back buffer: then a
  // double-buffered paint renders straight into the window.
  virtual bool RenderIsCheap() const;
  // Whether PaintTo computes the image (filtered or in grey levels) at the client's size from
  // its corner: then it is computed in the window's own pixels, with no copy at all.
  bool FillsClient() const;
  // Whether the canvas's clip leaves the whole client to paint (or there is none).
  bool ClipCoversClient(TCanvas* Canvas) const;
  // Before drawing over the window's pixels outside a paint (ants, a rubber band): the back
  // buffer takes a copy of a render that went straight into the window, to repaint from.
  void SaveRender();
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DblClick() override;
  void WMSize(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void WMPaletteChanged(TMessage& Message) override;
  void WMCaptureChanged(TMessage& Message) override;

  // --- State shared by the implementation files
  void DrawBackground(TCanvas* Canvas);
  void ArmDelayedFilter(int OldZoom);
  void UpdateScrollBars();
  void ScrollBy(int Bar, TMessage& Message);
  int ClientToBmpX(int x) const;  // Round((x + ViewX - OffsetX) * 100 / Zoom)
  int ClientToBmpY(int y) const;
  void ClampToBitmap(int& x, int& y) const;  // to [0, W] x [0, H]
  void DrawRubberBand();
  void StartAnimationTimer();
  void StopAnimationTimer();
  void AutoScrollTick(TObject* Sender);

  // How PaintTo shows the image: drawn as it is, as grey levels, or through the zoom filter.
  enum class TImagePath { Direct, Grey, Filtered };
  TImagePath ImagePath() const;

  std::unique_ptr<TBitmap> Bitmap_;
  std::unique_ptr<TBitmap> BackBuffer_;
  bool BackBufferDirty_ = true;
  // The window's pixels hold the whole render as long as its canvas has drawn nothing since
  // (BackingCount_: the canvas's change count after the render or the copy).
  bool BackingCurrent_ = false;
  uint64_t BackingCount_ = 0;
  // The back buffer holds the render (false: the render went only into the window).
  bool BufferHoldsRender_ = false;
  HDRAWDIB DrawDib_[2] = {0, 0};

  TCursor SavedScreenCursor_ = crDefault;
  TCursor ViewCursor_ = 1785;
  bool Center_ = false;
  TResampleFilter ZoomFilter_ = rfNone;
  TResampleFilter SavedZoomFilter_ = rfNone;
  bool FilterSaved_ = false;  // a left press saved the filter and its release has not come
  int DelayCountdown_ = 0;
  bool DelayZoomFilter_ = false;
  TCXBackgroundStyle BackgroundStyle_ = cxbsSolid;
  bool MagicWandMaxFilter_ = false;
  int MagicWandTolerance_ = 15;
  double HScrollScale_ = 1.0, VScrollScale_ = 1.0;
  bool DisplayGrid_ = false;
  int DownViewX_ = 0, DownViewY_ = 0;
  int CachedW_ = 0, CachedH_ = 0;
  int ViewX_ = 0, ViewY_ = 0;
  int Zoom_ = 100;
  double Z_ = 1.0, Inv_ = 1.0;
  TScrollStyle ScrollBars_ = ssNone;
  int PaintLock_ = 0;
  int UpdateDepth_ = 0;
  int OffsetX_ = 0, OffsetY_ = 0, DisplayWidth_ = 0, DisplayHeight_ = 0, ExtentX_ = 0, ExtentY_ = 0;
  bool DoubleBuffer_ = false, AutoFit_ = false;
  bool ScrollBarsAlwaysVisible_ = false;
  TCXScrollBarParams VScrollBarParams_, HScrollBarParams_;
  TCXMouseWheelParams MouseWheelParams_;

  // Selection and mouse state.
  bool Selected_ = false, PolyInProgress_ = false, RectInProgress_ = false, EllipseInProgress_ = false;
  int ResizingGrip_ = -1, MovingGrip_ = -1;
  TPoint LastMouse_;     // last mouse point, adjusted for auto-scroll
  TPoint DownMouse_;     // mouse-down point, adjusted for auto-scroll
  TPoint LastMouseRaw_;  // last mouse point, for subclasses
  int MoveAnchorX1_ = 0, MoveAnchorY1_ = 0, MoveAnchorX2_ = 0, MoveAnchorY2_ = 0;
  TCXSelectionBase SelectionBase_ = cxsbClientArea;
  TCXSelectionOptions SelectionOptions_ = {cxsoAnimated, cxsoSizeable, cxsoMoveable};
  int DownCount_ = 0;  // selection point count at mouse-down
  struct PolygonSlot {
    int Handle;
    std::unique_ptr<TCXAnimPolygon> Polygon;
  };
  std::vector<PolygonSlot> Polygons_;
  int NextHandle_ = 1;
  int SelectionHandle_ = 0;
  std::unique_ptr<TTimer> AnimTimer_;
  std::unique_ptr<TTimer> AutoScrollTimer_;
  TCXMouseInteractItems MouseInteract_;

  // Selection and mouse helpers (CorvexView_select.cpp, CorvexView_mouse.cpp).
  TPoint RightDownMouse_;       // right-button press point, clamped like DownMouse_
  bool RightPressed_ = false;   // a right press whose release has not come
  bool DblClickEnded_ = false;  // a double click ended the polygon: its press adds no vertex
  TCXAnimPolygon* SelPoly() const;     // the selection polygon (nullptr before it exists)
  void SyncSelected();                 // Selected_ := the selection holds a real point
  void EndPolygon();                   // ends a polygon in progress (sub-polygons under 3 points dropped)
  // One step of a selection drag, painted once; a timer step that could not scroll does nothing.
  void DragStep(TShiftState Shift, int x, int y, bool FromTimer = false);
  void PaintNow();                     // Paint at once unless paint-locked
};

// Sets only the page size of a window's scroll bar (CorvexView.cpp).
void SetSBPageSize(HWND Window, int Bar, int Page, bool Redraw);
// Fills a 40-byte DIB header for Bitmap (CorvexView.cpp): width and height (bottom row first),
// one plane, no compression, the bit count from Colors (2: 1, 16: 4, 256: 8, anything else the
// bitmap's own) and the image size of rows padded to 32 bits.
void InitializeBitmapInfoHeader(const TBitmap* Bitmap, TBitmapInfoHeader& Header, int Colors);

}  // namespace corvex
