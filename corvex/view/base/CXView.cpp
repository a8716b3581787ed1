// TCXView: the callback list and the properties every image view shares.
#include "corvex/view/base/CXView.h"

#include <algorithm>

#include "corvex/platform/screen.h"

namespace corvex {

TCXView::TCXView(TComponent* AOwner) : TCustomControl(AOwner), DPIX_(gSystemDPIX), DPIY_(gSystemDPIY) {
  SetBorderStyle(bsSingle);
  SetColor(clBtnFace);
}

TCXView::~TCXView() { NotifyDestroying(); }

void TCXView::RegisterBitmapChangeEvent(TCXBitmapChangeEvent Method) {
  if (Method) Callbacks_.push_back(Method);
}

void TCXView::RemoveBitmapChangeEvent(TCXBitmapChangeEvent Method) {
  auto it = std::find(Callbacks_.begin(), Callbacks_.end(), Method);
  if (it != Callbacks_.end()) Callbacks_.erase(it);
}

// Entries may remove themselves (or others) while being called: the loop walks a copy and skips
// what is no longer registered.
void TCXView::CallBitmapChangeEvents() {
  const std::vector<TCXBitmapChangeEvent> list = Callbacks_;
  for (const TCXBitmapChangeEvent& e : list)
    if (std::find(Callbacks_.begin(), Callbacks_.end(), e) != Callbacks_.end()) e(this, false);
}

void TCXView::NotifyDestroying() {
  if (Notified_) return;
  Notified_ = true;
  while (!Callbacks_.empty()) {
    const TCXBitmapChangeEvent e = Callbacks_.front();
    Callbacks_.erase(Callbacks_.begin());
    e(this, true);
  }
}

void TCXView::SetBackGround(TColor Value) { Background_ = Value; }

void TCXView::SetDPIX(int Value) {
  if (Value != 0) DPIX_ = Value;
}

void TCXView::SetDPIY(int Value) {
  if (Value != 0) DPIY_ = Value;
}

void TCXView::SetDPI(int X, int Y) {
  SetDPIX(X);
  SetDPIY(Y);
}

}  // namespace corvex
