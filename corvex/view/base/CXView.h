// TCXView: the base of every control that owns and shows an image. It holds the background
// colour, the image's resolution and the list of components that want to hear when the shown
// bitmap object is replaced or the view goes away.
//
// It sits below the I/O and processing components: they attach to a TCXView, write into the
// bitmap it exposes (GetFBitmap), then call Update and ImageChange; they read its selection
// through the virtual accessors here. The single-image view (TCorvexView) and the thumbnail view
// derive from it.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/platform/events.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/types.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

class TBitmap;

// procedure(Sender: TObject; Destroying: Boolean): told when the view's bitmap object changes
// (Destroying false) and when the view is destroyed (Destroying true).
using TCXBitmapChangeEvent = TEvent<void(TObject* Sender, bool Destroying)>;

class TCXView : public TCustomControl {
 public:
  explicit TCXView(TComponent* AOwner);
  ~TCXView() override;

  // --- Bitmap-change callbacks
  // Appends a handler (the same handler may be registered twice and is then called twice).
  void RegisterBitmapChangeEvent(TCXBitmapChangeEvent Method);
  // Removes the first entry equal to Method (object and member); nothing when there is none. Safe
  // from inside a callback.
  void RemoveBitmapChangeEvent(TCXBitmapChangeEvent Method);
  // Calls every entry, in list order, with (this, false).
  void CallBitmapChangeEvents();
  int BitmapChangeEventCount() const { return static_cast<int>(Callbacks_.size()); }

  // --- Published properties
  TColor GetBackground() const { return Background_; }
  virtual void SetBackGround(TColor Value);
  // The bitmap the view shows (nullptr in the base).
  virtual TBitmap* GetFBitmap() { return nullptr; }
  int GetDPIX() const { return DPIX_; }
  int GetDPIY() const { return DPIY_; }
  // 0 is ignored.
  virtual void SetDPIX(int Value);
  virtual void SetDPIY(int Value);
  virtual void SetDPI(int X, int Y);
  // Fires OnImageChange where the view has one (nothing in the base).
  virtual void ImageChange() {}

  // --- What components read of the view's selection (none in the base). Coordinates are bitmap
  // pixels; the polygon is the point list with break markers.
  virtual bool GetSelected() const { return false; }
  virtual int GetSelX1() const { return 0; }
  virtual int GetSelY1() const { return 0; }
  virtual int GetSelX2() const { return 0; }
  virtual int GetSelY2() const { return 0; }
  virtual const TPoint* GetPolySelArray() const { return nullptr; }
  virtual int GetPolySelCount() const { return 0; }
  virtual void DeSelect() {}
  // Selects the rectangle x1, y1 - x2, y2 in bitmap pixels, replacing the selection or (Add)
  // adding to it; nothing in the base.
  virtual void SelectBitmapRect(int /*x1*/, int /*y1*/, int /*x2*/, int /*y2*/, bool /*Add*/) {}
  // Client pixels to bitmap pixels (the identity in the base).
  virtual int XScr2Bmp(int x) const { return x; }
  virtual int YScr2Bmp(int y) const { return y; }

 protected:
  // Tells every registered component that the view is going away (Destroying true) and empties
  // the list. The destructor does it; a derived view whose bitmap must outlive the calls calls it
  // first in its own destructor.
  void NotifyDestroying();

 private:
  std::vector<TCXBitmapChangeEvent> Callbacks_;
  bool Notified_ = false;    // NotifyDestroying done
  TColor Background_ = clBtnFace;
  int DPIX_ = 0, DPIY_ = 0;
};

}  // namespace corvex
