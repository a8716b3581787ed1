// TRulerBox: a graduated ruler over a scrollable range of real-valued units with a row of
// draggable markers ("grips") at unit positions: a slider with several handles, or a plain ruler.
//
// Units map to pixels along the ruler as pixel = (value - ViewPos) x DotPerUnit. The ruler strip
// (RulerHeight pixels plus one) lies at the top (GripsDir gdUp) or bottom (gdDown), left or right
// when vertical; small ticks every Frequency units, labelled ticks every LabelFreq units. Grips
// point at the strip from the other side. Dragging a grip past either end scrolls the ruler one
// pixel per tick of a timer (kAutoScrollMs), never beyond ViewMin .. ViewMax when that range is
// set. Everything is drawn into an off-screen 24-bit bitmap that Paint copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/controls.h"

namespace corvex {

class TTimer;

enum TRulerDir { rdHorizontal, rdVertical };
enum TGripsDir { gdUp, gdDown };
enum TGripKind { gkTriangle, gkLeftTriangle, gkRightTriangle, gkArrow, gkArrow2 };

using TRulerPosChangeEvent = TEvent<void(TObject* Sender, int Grip)>;
using TRulerClickEvent = TEvent<void(TObject* Sender, double Value)>;

// A label of a ruler: the value in the general format (15 significant digits, fixed notation
// unless the value is below 1e-4 or has more than 15 integer digits, then d.dddE[-]xxx), or with
// Hex the integer part of |Value| in upper-case hexadecimal ("-" before negative values).
std::string RulerLabel(double Value, bool Hex);

class TRulerBox : public TCustomControl {
 public:
  // The interval of the auto-scroll while a grip is dragged past an end (one pixel per tick).
  static constexpr unsigned kAutoScrollMs = 20;

  explicit TRulerBox(TComponent* AOwner);
  ~TRulerBox() override;

  double GetViewPos() const { return ViewPos_; }
  void SetViewPos(double Value);
  // Pixels per unit; values that are not positive and finite are ignored.
  double GetDotPerUnit() const { return DotPerUnit_; }
  void SetDotPerUnit(double Value);
  // Units between small and labelled ticks; a spacing that is not positive, or under a pixel at
  // the current scale, draws no ticks of its kind.
  double GetFrequency() const { return Frequency_; }
  void SetFrequency(double Value);
  double GetLabelFreq() const { return LabelFreq_; }
  void SetLabelFreq(double Value);
  // The scrollable range (no limit while ViewMin >= ViewMax); each also becomes every grip's
  // minimum (maximum), and the grips are kept inside their limits.
  double GetViewMin() const { return ViewMin_; }
  void SetViewMin(double Value);
  double GetViewMax() const { return ViewMax_; }
  void SetViewMax(double Value);
  // DotPerUnit recomputed at every update so that ViewMin .. ViewMax fills the ruler's length.
  bool GetFitInView() const { return FitInView_; }
  void SetFitInView(bool Value);
  TColor GetBackground() const { return Background_; }
  void SetBackground(TColor Value);
  TColor GetRulerColor() const { return RulerColor_; }
  void SetRulerColor(TColor Value);
  bool GetRuler() const { return Ruler_; }
  void SetRuler(bool Value);
  TRulerDir GetRulerDir() const { return RulerDir_; }
  void SetRulerDir(TRulerDir Value);
  TGripsDir GetGripsDir() const { return GripsDir_; }
  void SetGripsDir(TGripsDir Value);
  int GetGripBaseDim() const { return GripBaseDim_; }
  void SetGripBaseDim(int Value);
  bool GetHexLabels() const { return HexLabels_; }
  void SetHexLabels(bool Value);

  // --- Grips. Indexes outside 0 .. GripsCount-1 are ignored; getters then return 0.
  int GetGripsCount() const { return static_cast<int>(Grips_.size()); }
  // New grips are triangles at 0 in the Background colour, limited to ViewMin .. ViewMax.
  void SetGripsCount(int Value);
  double GetGripsPos(int Index) const;
  // Kept inside the grip's limits (when its maximum is above its minimum); fires
  // OnRulerPosChange once.
  void SetGripsPos(int Index, double Value);
  TColor GetGripsCol(int Index) const;
  void SetGripsCol(int Index, TColor Value);
  // The low 7 bits select the shape (a TGripKind; other values draw as gkTriangle).
  uint8_t GetGripsKind(int Index) const;
  void SetGripsKind(int Index, uint8_t Value);
  double GetGripsMin(int Index) const;
  void SetGripsMin(int Index, double Value);
  double GetGripsMax(int Index) const;
  void SetGripsMax(int Index, double Value);

  // --- Geometry
  // 0 without the ruler, else Trunc(|font height| x 1.7) + 3.
  int GetRulerHeight() const;
  // The grip's pixel along the ruler: Round((position - ViewPos) x DotPerUnit).
  int GetXGripPos(int Index) const;
  // The ruler's length in units.
  double GetWidthInUnit() const;
  // The grip's outline (3, 5 or 7 points into Points, which holds 7); the count, 0 for a bad
  // index.
  int GetGripPoly(int Index, TPoint* Points) const;
  // The outline's bounding box, right and bottom exclusive.
  bool GetGripRect(int Index, TRect& R) const;
  // The topmost grip (highest index) whose rectangle holds the client point, or -1.
  int GetClickedGrip(int X, int Y) const;

  // Recomputes DotPerUnit (FitInView) and the view limits, redraws and repaints.
  void Update() override;

  const TBitmap* GetBitmap() const { return Bitmap_.get(); }

  TRulerPosChangeEvent OnRulerPosChange;
  TRulerPosChangeEvent OnRulerGripClick;
  TRulerPosChangeEvent OnRulerGripDblClick;
  TRulerClickEvent OnRulerClick;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMCaptureChanged(TMessage& Message) override;
  void FontChanged() override { Update(); }

 private:
  struct TGrip {
    double Pos = 0;
    TColor Color = 0;
    uint8_t Kind = gkTriangle;
    double Min = 0, Max = 0;
  };

  bool ValidIndex(int Index) const { return Index >= 0 && Index < GetGripsCount(); }
  // Along and across the ruler, in pixels.
  int Along() const;
  int Across() const;
  void ApplyViewLimits();
  // Keeps grip i inside its limits; true when it moved.
  bool ClampGrip(int Index);
  // Clamps every grip, firing OnRulerPosChange for each that moved.
  void ClampAllGrips();
  void PaintGrips();
  void PaintRuler();
  void DrawTicks(double Spacing, int Length, bool Labels);
  // One step of the auto-scroll: Dir -1 towards the start, +1 towards the end.
  void AutoScrollStep(int Dir);
  void AutoScrollTick(TObject* Sender);
  void StopAutoScroll();

  std::unique_ptr<TBitmap> Bitmap_;
  std::unique_ptr<TTimer> ScrollTimer_;
  std::vector<TGrip> Grips_;
  double ViewPos_ = 0, DotPerUnit_ = 1.0, Frequency_ = 10.0, LabelFreq_ = 40.0;
  double ViewMin_ = 0, ViewMax_ = 0;
  bool FitInView_ = false;
  TColor Background_ = clBtnFace, RulerColor_ = clBtnFace;
  bool Ruler_ = true;
  TRulerDir RulerDir_ = rdHorizontal;
  TGripsDir GripsDir_ = gdUp;
  int GripBaseDim_ = 12;
  bool HexLabels_ = false;
  bool Updating_ = false;

  // The drag: the pressed grip (-1 none), the press point, the grip's pixel at the press.
  int Pressed_ = -1;
  TPoint PressPoint_;
  int PressGripPixel_ = 0;
  int ScrollDir_ = 0;
};

}  // namespace corvex
