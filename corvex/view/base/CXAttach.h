// TCXAttachedComponent: the attachment shared by the components that work on an image they do
// not own (the I/O and processing components). The target is the bitmap of an attached view
// (AttachedCorvex), the picture bitmap of an attached TImage (AttachedTImage) or a bare bitmap;
// attaching one kind of target detaches the others. An attached view is followed through its
// bitmap-change list (a replaced bitmap is read again, a view going away is forgotten) and its
// free notification, so freeing the view or the component first is safe either way.
#pragma once

#include "corvex/platform/component.h"
#include "corvex/platform/graphics/colors.h"

namespace corvex {

class TBitmap;
class TCXView;
class TImage;

class TCXAttachedComponent : public TComponent {
 public:
  explicit TCXAttachedComponent(TComponent* AOwner) : TComponent(AOwner) {}
  ~TCXAttachedComponent() override;

  // The bitmap the component works on: the view's, the TImage's picture bitmap or the bare one;
  // not owned. A bitmap detaches the view and the TImage; nullptr detaches a bare bitmap and
  // changes nothing while a view or a TImage is attached.
  TBitmap* GetAttachedBitmap() const { return Bitmap_; }
  void SetAttachedBitmap(TBitmap* Bitmap);
  // AttachedCorvex: the view whose bitmap (GetFBitmap) is the target; nullptr detaches.
  TCXView* GetAttachedCorvex() const { return View_; }
  void SetAttachedCorvex(TCXView* Value);
  // AttachedTImage: an image control whose picture bitmap is the target; nullptr detaches.
  TImage* GetAttachedTImage() const { return Image_; }
  void SetTImage(TImage* Image);
  // Registered with the attached view: it replaced its bitmap object (Destroying false: the
  // target is read again) or is going away (Destroying true: view and target are forgotten).
  void OnBitmapChange(TObject* Sender, bool Destroying);
  // Forgets an attached view or TImage that is being removed.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // The attached view's Background when a view is attached (written through the view), else
  // the component's own colour.
  TColor GetBackground() const;
  void SetBackground(TColor Value);

 protected:
  // Refreshes whoever shows the bitmap: the view's Update, then (when the pixels changed) its
  // ImageChange; a TImage's PictureChanged; a bare bitmap is marked modified.
  void Refresh(bool ContentChanged);
  // Unregisters from the attached view and forgets it (the bitmap stays).
  void DetachView();

  TBitmap* Bitmap_ = nullptr;
  TCXView* View_ = nullptr;
  TImage* Image_ = nullptr;
  TColor Background_ = 0;
};

}  // namespace corvex
