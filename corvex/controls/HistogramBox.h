// THistogramBox: draws the 256-level histogram of the image of an attached processing component,
// as bars or lines, in the colours of the selected kinds (red, green, blue, grey), with optional
// labels (the largest count and its half on the left, the levels 0, 64, 128, 192, 255 below)
// and an optional bar under the plot that ramps through the levels in those colours.
//
// The box computes nothing itself and does not follow the image: the plot is redrawn (into an
// off-screen 24-bit bitmap that Paint copies) when Update is called or a property changes.
#pragma once

#include <memory>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

class TCorvexProc;

enum THistogramKindItem { hkRed, hkGreen, hkBlue, hkGray };
using THistogramKind = TSet<THistogramKindItem>;
enum THistogramLabelsItem { hlVertical, hlHorizontal };
using THistogramLabels = TSet<THistogramLabelsItem>;
enum THistogramStyle { hsBars, hsLines };

class THistogramBox : public TCustomControl {
 public:
  explicit THistogramBox(TComponent* AOwner);
  ~THistogramBox() override;

  // The component whose histogram is shown; forgotten when it is destroyed. Setting it redraws.
  TCorvexProc* GetAttachedCorvexProc() const { return Proc_; }
  void SetAttachedCorvexProc(TCorvexProc* Value);
  TColor GetBackground() const { return Background_; }
  void SetBackground(TColor Value);
  THistogramKind GetHistogramKind() const { return Kind_; }
  void SetHistogramKind(THistogramKind Value);
  THistogramLabels GetLabels() const { return Labels_; }
  void SetLabels(THistogramLabels Value);
  bool GetCompBar() const { return CompBar_; }
  void SetCompBar(bool Value);
  THistogramStyle GetHistogramStyle() const { return Style_; }
  void SetHistogramStyle(THistogramStyle Value);

  // Redraws the histogram from the attached component and repaints.
  void Update() override;

  const TBitmap* GetBitmap() const { return Bitmap_.get(); }

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void Paint() override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void FontChanged() override { Update(); }

 private:
  void Redraw();

  std::unique_ptr<TBitmap> Bitmap_;
  TCorvexProc* Proc_ = nullptr;
  TColor Background_ = 0xFFFFFF;
  THistogramKind Kind_ = {hkGray};
  THistogramLabels Labels_ = {hlVertical, hlHorizontal};
  bool CompBar_ = true;
  THistogramStyle Style_ = hsBars;
};

}  // namespace corvex
