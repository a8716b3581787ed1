// TCanvas: the drawing surface of a bitmap. This first form binds a canvas to its bitmap and
// counts locks; the drawing operations are added beside it.
#pragma once

#include "corvex/platform/object.h"

namespace corvex {

class TBitmap;

class TCanvas : public TPersistent {
 public:
  explicit TCanvas(TBitmap* Target = nullptr) : Bitmap_(Target) {}

  TBitmap* GetBitmap() const { return Bitmap_; }

  // Drawing from several places (a paint and a timer) brackets itself with Lock and Unlock.
  void Lock() { ++LockCount_; }
  void Unlock() {
    if (LockCount_ > 0) --LockCount_;
  }
  int GetLockCount() const { return LockCount_; }

 private:
  TBitmap* Bitmap_;
  int LockCount_ = 0;
};

}  // namespace corvex
