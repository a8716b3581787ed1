// TCorvexMView: the multi-image view. It keeps a list of images and shows them as a grid of
// thumbnails (or one at a time), lets the user pick one with the mouse or the keyboard, and plays
// the list as an animation.
//
// The store. Every image is held as a packed device-independent bitmap (a global memory block:
// 40-byte header, colour table for 1-bit images, rows bottom first). Only images somebody works
// with are expanded into a TBitmap, counted by GetBitmap / ReleaseBitmap. An image may also be
// kept out of memory and fetched on demand: from its file name (loaded by an internal TCorvexIO)
// or from the application through its identifier (OnImageIDRequest). Painting frees the stored
// copy of every image that is off screen, not selected, not expanded and can be fetched again,
// so that a long list of file-backed images holds only what is shown.
//
// An image is in one of three states (GetImageState): not loaded, stored (DIB) or expanded
// (bitmap). The selected image is always held expanded for the base view (GetFBitmap) and the
// components attached to the view.
//
// The multi-image I/O component keeps one parameter record per image in step with this list: the
// view calls the bitmap-change handlers after every insertion, deletion and move, and GetLastOp /
// GetLastOpIdx say what happened (reading the operation resets it to 0).
//
// Indexes outside the list are ignored by every method (getters give 0, -1, an empty string or
// nullptr). Implementation files: CXMView.cpp (store, list, layout, selection, scrolling,
// playing), CXMView_paint.cpp (painting), CXMView_input.cpp (keyboard, mouse, scroll bars).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "corvex/platform/sets.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CorvexView.h"
#include "corvex/view/base/CXView.h"

namespace corvex {

class TBitmap;
class TCanvas;
class TCorvexIO;
class TTimer;

// How images are stored: whole (cxtNormal) or reduced to fit ThumbWidth x ThumbHeight (cxtThumb).
enum TCXStoreType { cxtNormal, cxtThumb };
// What the mouse does: drag the view (mmiScroll), select the image under a released button
// (mmiSelect).
enum TCXMViewMouseInteractItem { mmiScroll, mmiSelect };
using TCXMViewMouseInteract = TSet<TCXMViewMouseInteractItem>;
// What the keyboard does: the arrows, Page Up / Down, Home and End move the selection.
enum TCXMViewKeyInteractItem { mkiMoveSelected };
using TCXMViewKeyInteract = TSet<TCXMViewKeyInteractItem>;
// A grid of thumbnails, or one image (the current frame) at a time.
enum TCXDisplayMode { mdGrid, mdSingle };
// Moves of the selection (SelectSeek).
enum TCXSeek { iskLeft, iskRight, iskUp, iskDown, iskPagDown, iskPagUp, iskLast, iskFirst };
// The state of one image in the store.
enum TCXImageState { cxisNotLoaded, cxisStored, cxisExpanded };

// Last list operations (GetLastOp).
constexpr int cxopNone = 0;
constexpr int cxopInsert = 1;  // an image was inserted at GetLastOpIdx
constexpr int cxopDelete = 2;  // the image at GetLastOpIdx was deleted
constexpr int cxopMove = 3;    // the image at GetLastOpIdx moved to GetLastOpIdx2

// The shortest time a frame is shown while playing, in milliseconds: delays below it (0 and
// negative ones included) play at this rate.
constexpr int kMViewMinFrameDelay = 10;
// The longest delay a frame keeps (one hour): longer values, from a damaged file say, are cut to
// it so that an animation never stalls for days.
constexpr int kMViewMaxFrameDelay = 3600000;
// The largest thumbnail side and borders the view accepts; larger values are cut to it.
constexpr int kMViewMaxThumbSide = 16384;

// procedure(Sender; ID; var Bitmap): the application sets Bitmap to the image of identifier ID
// (or leaves it nullptr). The view stores a copy; the bitmap stays the application's.
using TCXImageIDRequestEvent = TEvent<void(TObject* Sender, int ID, TBitmap*& Bitmap)>;
// procedure(Sender; Index; Canvas; Left, Top): after the cell of image Index was drawn at
// (Left, Top) of Canvas (client coordinates).
using TCXImageDrawEvent = TEvent<void(TObject* Sender, int Index, TCanvas* Canvas, int Left, int Top)>;
// procedure(Sender; Index): the user selected image Index.
using TCXImageSelectEvent = TEvent<void(TObject* Sender, int Index)>;
// procedure(Sender; Percent; Index): painting progress.
using TCXDrawProgressEvent = TEvent<void(TObject* Sender, int Percent, int Index)>;

class TCorvexMView : public TCXView {
 public:
  // Created 180 x 90 pixels, no scroll bars, grid mode, nothing selected, looping.
  explicit TCorvexMView(TComponent* AOwner);
  ~TCorvexMView() override;

  // --- The list
  // Inserts an empty image at Index (appends when Index is at or beyond the end; a negative Index
  // inserts at 0). Stops playing, selects the new image, records cxopInsert and calls the
  // bitmap-change handlers. Returns the index of the new image.
  int InsertImage(int Index);
  int InsertImageNU(int Index);
  // InsertImage at the end.
  int AppendImage();
  // Deletes the image (deselecting it first when selected), records cxopDelete and calls the
  // bitmap-change handlers. A bitmap from GetBitmap for this image is freed with it.
  void DeleteImage(int Index);
  void DeleteImageNU(int Index);
  // Deletes every image, last first, each reported as a deletion (so that a multi-image I/O
  // component drops its records one by one).
  void Clear();
  // Moves image From so that it ends at index To (To at or beyond the end: the last place); the
  // selection follows the image. Records cxopMove (GetLastOpIdx = From, GetLastOpIdx2 = To).
  void MoveImage(int From, int To);
  void MoveImageNU(int From, int To);
  int GetImageCount() const { return static_cast<int>(Images_.size()); }

  // --- Content
  // Stores a copy of Bitmap (24-bit or 1-bit; other formats are drawn into a 24-bit copy),
  // replacing the image's content; with cxtThumb reduced (or enlarged) to fit ThumbWidth x
  // ThumbHeight. An expanded image keeps its bitmap object (holders' pointers stay valid) and
  // takes the new pixels. nullptr or an empty bitmap frees the content.
  void SetImage(int Index, const TBitmap* Bitmap);
  void SetImageNU(int Index, const TBitmap* Bitmap);
  // Stores a copy of the rectangle x1, y1 (inclusive) - x2, y2 (exclusive), cut to the bitmap.
  void SetImageRect(int Index, const TBitmap* Bitmap, int x1, int y1, int x2, int y2);
  void SetImageRectNU(int Index, const TBitmap* Bitmap, int x1, int y1, int x2, int y2);
  // Loads the file now into the image and remembers its name, so that the image can be freed
  // when off screen and loaded again. False (the image left as it was, the name remembered) when
  // the file cannot be read.
  bool SetImageFromFile(int Index, const std::string& FileName);
  // The file the image is fetched from when it has no stored copy (empty: none).
  void SetImageFileName(int Index, const std::string& FileName);
  std::string GetImageFileName(int Index) const;
  // The identifier passed to OnImageIDRequest when the image has no stored copy (-1: none).
  void SetImageID(int Index, int ID);
  int GetImageID(int Index) const;
  // The colour around the image in its cell (with DrawImageBackground); initially Background.
  void SetImageBackground(int Index, TColor Color);
  TColor GetImageBackground(int Index) const;
  // Milliseconds the image is shown while playing; negative values are stored as 0, values above
  // kMViewMaxFrameDelay as kMViewMaxFrameDelay.
  void SetImageDelayTime(int Index, int Delay);
  int GetImageDelayTime(int Index) const;
  // The size of the stored (or expanded) image; 0 when not loaded.
  int GetImageWidth(int Index) const;
  int GetImageHeight(int Index) const;
  // The stored packed DIB (header, colour table, rows), or nullptr when the image is not stored
  // (not loaded, or expanded). Valid until the image changes, is expanded or freed.
  const TBitmapInfoHeader* GetBitmapInfo(int Index) const;
  // The size in bytes of that DIB (0 when there is none).
  size_t GetBitmapInfoSize(int Index) const;
  // Frees the stored copy (the image becomes not loaded; file name and identifier stay). Nothing
  // for an expanded image: its holders still use it.
  void FreeImage(int Index);
  // Forgets a failed fetch and frees a stored copy that can be fetched again (not an expanded
  // one), so that the next paint loads the image anew; repaints.
  void UpdateImage(int Index);
  TCXImageState GetImageState(int Index) const;
  // Bytes of image memory held: stored DIBs plus expanded bitmaps.
  int64_t GetStoreBytes() const;

  // --- Access
  // The image as a bitmap, counted: the first call expands the stored copy (fetching it first
  // when not loaded), later calls return the same bitmap. nullptr when there is no image.
  TBitmap* GetBitmap(int Index);
  // Gives back one GetBitmap; the last one turns the bitmap back into a stored DIB. Extra calls
  // do nothing, and never give up the hold of the selection.
  void ReleaseBitmap(int Index);
  // The selected image's bitmap (nullptr when nothing is selected or it has no image).
  TBitmap* GetFBitmap() override;
  // How many GetBitmap calls hold the image (the selection's hold included).
  int GetBitmapRefCount(int Index) const;

  // --- Selection and navigation
  // Selects Index (releasing the previous selection and expanding the new image), scrolls nothing,
  // calls the bitmap-change handlers. Ignored outside the list and while playing.
  void SetSelectedItem(int Index);
  void SetSelectedItemNU(int Index);
  int GetSelectedItem() const { return Selected_; }
  // Releases the selected image; the selection becomes -1.
  void Deselect();
  void DeselectNU();
  // Moves the selection and scrolls to keep it visible (no selection: starts from image 0).
  void SelectSeek(TCXSeek Seek);
  // The image whose cell holds the client point, or -1.
  int ImageAtPos(int x, int y) const;
  // The cell of the image in view coordinates (client = view - origin), and its grid place.
  int GetImageX(int Index) const;
  int GetImageY(int Index) const;
  int GetImageCol(int Index) const;
  int GetImageRow(int Index) const;
  // 0: the cell is off screen, 1: partly visible, 2: wholly visible.
  int GetImageVisibility(int Index) const;
  // Scrolls the selected cell (the current frame's cell) to the middle of the client.
  void CenterSelected();
  void CenterFrame();
  // The view origin, clamped to 0 .. GetMaxViewXY.
  int GetViewX() const { return ViewX_; }
  int GetViewY() const { return ViewY_; }
  void SetViewX(int Value) { SetViewXY(Value, ViewY_); }
  void SetViewY(int Value) { SetViewXY(ViewX_, Value); }
  void SetViewXY(int X, int Y);
  void GetMaxViewXY(int& MaxX, int& MaxY) const;
  // The layout's extents (largest cell plus one cell and border).
  int GetExtentX() const { return ExtentX_; }
  int GetExtentY() const { return ExtentY_; }
  // Columns per row of the layout now (GridWidth, or what fits the client when -1; 1 at least;
  // 0 for a single row).
  int GetColumns() const;

  // --- Playing
  // true: remembers display mode and selection, deselects, shows the current frame alone and
  // advances after each frame's delay (at least kMViewMinFrameDelay); false restores them. An
  // empty list does not play.
  void SetPlaying(bool Value);
  bool GetPlaying() const { return Playing_; }
  // Shows the next frame (after the last: frame 0, and stops when not looping).
  void PlayFrame();
  // Makes Index the current frame (shown in mdSingle and while playing).
  void SetVisibleFrame(int Index);
  int GetVisibleFrame() const { return Frame_; }
  bool GetLooping() const { return Looping_; }
  void SetLooping(bool Value) { Looping_ = Value; }

  // --- Painting
  // The whole client rendering onto a canvas (client coordinates).
  virtual void PaintTo(TCanvas* Canvas);
  // While locked (count above 0) nothing refreshes; UnLockPaint refreshes at 0.
  void LockPaint() { ++PaintLock_; }
  int UnLockPaint();
  int GetPaintLock() const { return PaintLock_; }
  // Layout, origin clamp, scroll bars, bitmap-change handlers, repaint.
  void Update() override;
  // The layout only.
  void UpdateCoords();

  // --- List change reporting
  // The last insertion, deletion or move; reading it resets it to cxopNone.
  int GetLastOp();
  int GetLastOpIdx() const { return LastOpIdx_; }
  // The destination of the last move.
  int GetLastOpIdx2() const { return LastOpIdx2_; }

  // --- Properties (a change refreshes)
  TCXStoreType GetStoreType() const { return StoreType_; }
  void SetStoreType(TCXStoreType Value) { StoreType_ = Value; }
  int GetThumbWidth() const { return ThumbWidth_; }
  void SetThumbWidth(int Value);  // 1 .. kMViewMaxThumbSide
  int GetThumbHeight() const { return ThumbHeight_; }
  void SetThumbHeight(int Value);  // 1 .. kMViewMaxThumbSide
  int GetHorizBorder() const { return HorizBorder_; }
  void SetHorizBorder(int Value);  // 0 .. kMViewMaxThumbSide
  int GetVertBorder() const { return VertBorder_; }
  void SetVertBorder(int Value);  // 0 .. kMViewMaxThumbSide
  // Room left free below and above the image inside its cell.
  int GetBottomGap() const { return BottomGap_; }
  void SetBottomGap(int Value);  // 0 .. kMViewMaxThumbSide
  int GetUpperGap() const { return UpperGap_; }
  void SetUpperGap(int Value);  // 0 .. kMViewMaxThumbSide
  TScrollStyle GetScrollBars() const { return ScrollBars_; }
  void SetScrollBars(TScrollStyle Value);
  bool GetScrollBarsAlwaysVisible() const { return ScrollBarsAlwaysVisible_; }
  void SetScrollBarsAlwaysVisible(bool Value);
  bool GetVisibleSelection() const { return VisibleSelection_; }
  void SetVisibleSelection(bool Value);
  int GetSelectionWidth() const { return SelectionWidth_; }
  void SetSelectionWidth(int Value);  // 0 .. 64
  TColor GetSelectionColor() const { return SelectionColor_; }
  void SetSelectionColor(TColor Value);
  TCXMViewMouseInteract GetMouseInteract() const { return MouseInteract_; }
  void SetMouseInteract(TCXMViewMouseInteract Value) { MouseInteract_ = Value; }
  TCXMViewKeyInteract GetKeyInteract() const { return KeyInteract_; }
  void SetKeyInteract(TCXMViewKeyInteract Value) { KeyInteract_ = Value; }
  TCXDisplayMode GetDisplayMode() const { return DisplayMode_; }
  void SetDisplayMode(TCXDisplayMode Value);
  // Columns per row: 0 one row, -1 as many as fit the client width, else that many (values below
  // -1 count as -1).
  int GetGridWidth() const { return GridWidth_; }
  void SetGridWidth(int Value);
  // Images that cannot be fetched are deleted when painted.
  bool GetRemoveCorrupted() const { return RemoveCorrupted_; }
  void SetRemoveCorrupted(bool Value) { RemoveCorrupted_ = Value; }
  // Cells are filled with each image's own background instead of the view's.
  bool GetDrawImageBackground() const { return DrawImageBackground_; }
  void SetDrawImageBackground(bool Value);
  void SetBackGround(TColor Value) override;
  TCXScrollBarParams* GetHScrollBarParams() { return &HScrollBarParams_; }
  TCXScrollBarParams* GetVScrollBarParams() { return &VScrollBarParams_; }
  // The internal I/O component that loads image files (its OnProgress is OnIOProgress).
  TCorvexIO* GetIO() const { return IO_.get(); }

  // --- Events
  TViewChangeEvent OnViewChange;  // Change 0: the origin moved
  TCXImageIDRequestEvent OnImageIDRequest;
  TCXImageDrawEvent OnImageDraw;
  TCXImageSelectEvent OnImageSelect;
  TCXProgressEvent OnIOProgress;
  TCXDrawProgressEvent OnDrawProgress;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMSize(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;

 public:
  void WndProc(TMessage& Message) override;

 private:
  // A global memory block, freed with its owner.
  class DibBlock {
   public:
    DibBlock() = default;
    explicit DibBlock(HGLOBAL h) : H_(h) {}
    DibBlock(DibBlock&& o) noexcept : H_(o.H_) { o.H_ = 0; }
    DibBlock& operator=(DibBlock&& o) noexcept;
    DibBlock(const DibBlock&) = delete;
    DibBlock& operator=(const DibBlock&) = delete;
    ~DibBlock() { Reset(); }
    void Reset(HGLOBAL h = 0);
    HGLOBAL Get() const { return H_; }
    explicit operator bool() const { return H_ != 0; }

   private:
    HGLOBAL H_ = 0;
  };

  // One image of the list.
  struct ImageRec {
    DibBlock Dib;                     // the stored image, or none
    std::unique_ptr<TBitmap> Bitmap;  // the expanded image, or none
    int RefCount = 0;                 // GetBitmap holders
    int X = 0, Y = 0;                 // cell, view coordinates
    int Row = 0, Col = 0;
    TColor Background = 0;
    std::string FileName;
    int ID = -1;
    int Delay = 0;
    bool Failed = false;     // the last fetch gave nothing (drawn as a placeholder)
    bool Obtaining = false;  // a fetch runs (guards against a handler asking for it again)
  };

  bool Valid(int Index) const { return Index >= 0 && Index < GetImageCount(); }
  bool Reloadable(const ImageRec& R) const;
  // Fetches an image that is not loaded; true when it has one afterwards.
  bool Obtain(int Index);
  bool LoadFile(const std::string& FileName, TColor& Background, TBitmap& Out);
  // Stores Bitmap into the record (reduced for cxtThumb); the record must be valid.
  void StoreBitmap(int Index, const TBitmap* Bitmap);
  // Turns an expanded bitmap back into a DIB (kept expanded when memory is short).
  void Collapse(ImageRec& R);
  void ListChanged(int Op, int Index, int Index2 = -1);
  void HoldSelection();
  void ReleaseSelection();
  void UpdateScrollBars();
  void ScrollBy(int Bar, TMessage& Message);
  void ScrollCellIntoView(int Index, bool Forward);
  void PlayTimer(TObject* Sender);
  void RestartPlayTimer();
  void StopPlaying();
  bool IsSingle() const { return Playing_ || DisplayMode_ == mdSingle; }
  int Columns() const;
  int VisibleRows() const;
  // Painting helpers (CXMView_paint.cpp).
  void DrawCell(TCanvas* Canvas, int Index, int cx, int cy);
  void DrawFrame(TCanvas* Canvas, int cx, int cy);

  std::vector<ImageRec> Images_;
  std::unique_ptr<TCorvexIO> IO_;
  std::unique_ptr<TTimer> PlayTimer_;
  HDRAWDIB DrawDib_ = 0;
  TCXScrollBarParams HScrollBarParams_, VScrollBarParams_;
  double HScrollScale_ = 1.0, VScrollScale_ = 1.0;

  TCXStoreType StoreType_ = cxtNormal;
  int ThumbWidth_ = 100, ThumbHeight_ = 100;
  int HorizBorder_ = 4, VertBorder_ = 4;
  int BottomGap_ = 0, UpperGap_ = 0;
  TScrollStyle ScrollBars_ = ssNone;
  bool ScrollBarsAlwaysVisible_ = false;
  bool VisibleSelection_ = true;
  int SelectionWidth_ = 3;
  TColor SelectionColor_ = 255;
  TCXMViewMouseInteract MouseInteract_ = {mmiSelect};
  TCXMViewKeyInteract KeyInteract_ = {mkiMoveSelected};
  TCXDisplayMode DisplayMode_ = mdGrid;
  int GridWidth_ = 0;
  bool RemoveCorrupted_ = false;
  bool DrawImageBackground_ = false;

  int ExtentX_ = 0, ExtentY_ = 0;
  int ViewX_ = 0, ViewY_ = 0;
  int Selected_ = -1;
  bool SelHeld_ = false;  // the selection holds one GetBitmap of its image
  int LastOp_ = cxopNone, LastOpIdx_ = -1, LastOpIdx2_ = -1;
  bool Playing_ = false;
  int Frame_ = 0;
  bool Looping_ = true;
  TCXDisplayMode SavedMode_ = mdGrid;
  int SavedSelected_ = -1;
  int PaintLock_ = 0;
  int UpdateDepth_ = 0;
  uint64_t ListGen_ = 0;  // changes with every insertion, deletion, move and Clear
  bool Painting_ = false;
  bool RefreshPosted_ = false;  // a refresh after a paint that changed the list is queued
  static constexpr uint32_t kRefreshMessage = 0x0400 + 0x3A1;  // WM_USER + n
  // Mouse drag of the origin.
  bool Dragging_ = false;
  TPoint DragStart_;
  int DragViewX_ = 0, DragViewY_ = 0;
};

}  // namespace corvex
