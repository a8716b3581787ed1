// TCXAttachedComponent: attaching to a view, a TImage or a bare bitmap, and following them.
#include "corvex/view/base/CXAttach.h"

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/controls.h"
#include "corvex/view/base/CXView.h"

namespace corvex {

TCXAttachedComponent::~TCXAttachedComponent() {
  DetachView();
  if (Image_ != nullptr) Image_->RemoveFreeNotification(this);
}

void TCXAttachedComponent::DetachView() {
  if (View_ == nullptr) return;
  View_->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(this, &TCXAttachedComponent::OnBitmapChange));
  View_->RemoveFreeNotification(this);
  View_ = nullptr;
}

void TCXAttachedComponent::SetAttachedCorvex(TCXView* Value) {
  if (Value == View_) return;
  DetachView();
  View_ = Value;
  if (View_ == nullptr) {
    Bitmap_ = nullptr;
    return;
  }
  if (Image_ != nullptr) {
    Image_->RemoveFreeNotification(this);
    Image_ = nullptr;
  }
  Bitmap_ = View_->GetFBitmap();
  View_->FreeNotification(this);
  View_->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(this, &TCXAttachedComponent::OnBitmapChange));
}

void TCXAttachedComponent::SetTImage(TImage* Image) {
  if (Image == Image_) return;
  DetachView();
  if (Image_ != nullptr) Image_->RemoveFreeNotification(this);
  Image_ = Image;
  Bitmap_ = nullptr;
  if (Image_ == nullptr) return;
  Bitmap_ = Image_->GetBitmap();
  Image_->FreeNotification(this);
}

void TCXAttachedComponent::SetAttachedBitmap(TBitmap* Bitmap) {
  // nullptr leaves a view or picture in place: only a bare bitmap is detached by it.
  if (Bitmap == nullptr && (View_ != nullptr || Image_ != nullptr)) return;
  DetachView();
  if (Image_ != nullptr) {
    Image_->RemoveFreeNotification(this);
    Image_ = nullptr;
  }
  Bitmap_ = Bitmap;
}

void TCXAttachedComponent::OnBitmapChange(TObject* Sender, bool Destroying) {
  if (View_ == nullptr || Sender != View_) return;
  if (Destroying) {
    // The view unregistered us before the call; its bitmap is about to go.
    View_->RemoveFreeNotification(this);
    View_ = nullptr;
    Bitmap_ = nullptr;
    return;
  }
  Bitmap_ = View_->GetFBitmap();
}

void TCXAttachedComponent::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr) return;
  if (View_ != nullptr && AComponent == View_) {
    // Removed from its owner while alive, or destroyed by a path that did not call the
    // bitmap-change list first: in both cases the view is still whole here.
    View_->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(this, &TCXAttachedComponent::OnBitmapChange));
    View_ = nullptr;
    Bitmap_ = nullptr;
  } else if (Image_ != nullptr && AComponent == Image_) {
    Image_ = nullptr;
    Bitmap_ = nullptr;
  }
}

TColor TCXAttachedComponent::GetBackground() const { return View_ != nullptr ? View_->GetBackground() : Background_; }

void TCXAttachedComponent::SetBackground(TColor Value) {
  if (View_ != nullptr) View_->SetBackGround(Value);
  else Background_ = Value;
}

void TCXAttachedComponent::Refresh(bool ContentChanged) {
  if (View_ != nullptr) {
    View_->Update();
    if (ContentChanged) View_->ImageChange();
  } else if (Image_ != nullptr) {
    Image_->PictureChanged(this);
  } else if (Bitmap_ != nullptr) {
    Bitmap_->SetModified(true);
  }
}

}  // namespace corvex
