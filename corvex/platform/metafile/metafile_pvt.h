// Private parts of the metafile player: the header facts a load finds, the bounded record
// reader, and the drawing context that the WMF and EMF record interpreters share (mapping,
// objects, saved states, paths, clipping and the drawing itself). Not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/graphics/region.h"
#include "corvex/platform/types.h"

namespace corvex::metafile {

// Mapping modes.
constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6,
              MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;
// Pen styles (low four bits) and types.
constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
              PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8;
constexpr uint32_t PS_GEOMETRIC = 0x00010000;
// Brush styles.
constexpr int BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6;
// Background modes, fill modes, text alignment, ExtTextOut options.
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int ALTERNATE = 1, WINDING = 2;
constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24;
constexpr uint32_t ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_PDY = 0x2000;
constexpr int R2_COPYPEN = 13;

// The facts of a metafile's headers that playing needs, found when it is loaded.
struct THeaderInfo {
  bool Enhanced = false;
  size_t RecordsStart = 0;  // offset of the first record
  int ObjectCount = 0;      // size of the object table the header asks for
  // The player's device space: for a WMF, pixels of the picture at the screen's resolution; for an
  // EMF, pixels of the reference device the header names. Pixels per inch of that space.
  double DpiX = 96, DpiY = 96;
  // The picture's frame in device space, mapped onto the destination rectangle.
  double FrameL = 0, FrameT = 0, FrameR = 0, FrameB = 0;
  // The mapping a WMF is played with before its records change it (window onto viewport).
  int MapMode = MM_TEXT;
  double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
  double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
  // Sizes the picture reports.
  int Width = 0, Height = 0, MMWidth = 0, MMHeight = 0, Inch = 0;
};

// Reads the headers; false with a message when the bytes are not a metafile.
bool ReadHeader(const uint8_t* Data, size_t Size, THeaderInfo& Info, std::string& Error);
// Plays the records onto the canvas, the frame stretched to Dest.
void PlayWMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, TCanvas* Canvas, const TRect& Dest);
void PlayEMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, TCanvas* Canvas, const TRect& Dest);
// Plays a WMF without drawing and returns the bounds (device space, untransformed) of what it
// would draw; false when it draws nothing. For plain WMFs that give no window.
bool MeasureWMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, double& L, double& T, double& R, double& B);

// Little-endian reads inside a block; reads past its end give 0.
struct TBytes {
  const uint8_t* P = nullptr;
  size_t N = 0;
  bool Has(size_t Off, size_t Len) const { return Off <= N && Len <= N - Off; }
  uint8_t U8(size_t o) const { return o < N ? P[o] : 0; }
  uint16_t U16(size_t o) const { return Has(o, 2) ? uint16_t(P[o] | (P[o + 1] << 8)) : 0; }
  int16_t I16(size_t o) const { return static_cast<int16_t>(U16(o)); }
  uint32_t U32(size_t o) const {
    return Has(o, 4) ? uint32_t(P[o]) | (uint32_t(P[o + 1]) << 8) | (uint32_t(P[o + 2]) << 16) | (uint32_t(P[o + 3]) << 24)
                     : 0;
  }
  int32_t I32(size_t o) const { return static_cast<int32_t>(U32(o)); }
  float F32(size_t o) const {
    const uint32_t v = U32(o);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  TBytes Sub(size_t Off, size_t Len) const {
    if (Off > N) return {};
    if (Len > N - Off) Len = N - Off;
    return {P + Off, Len};
  }
};

struct TPointD {
  double X = 0, Y = 0;
};

// An affine map: x' = x M11 + y M21 + Dx, y' = x M12 + y M22 + Dy.
struct TXForm {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
  TPointD Apply(double x, double y) const { return {x * M11 + y * M21 + Dx, x * M12 + y * M22 + Dy}; }
  TPointD ApplyVector(double x, double y) const { return {x * M11 + y * M21, x * M12 + y * M22}; }
};
// A then B.
TXForm Compose(const TXForm& A, const TXForm& B);

// Objects of the object table and the selected ones of the context.
struct TPenDesc {
  int Style = PS_SOLID;  // PS_SOLID .. PS_ALTERNATE
  double Width = 0;      // logical units; 0 draws one pixel
  bool Cosmetic = true;  // one device pixel whatever the width
  TColor Color = clBlack;
};
struct TBrushDesc {
  int Style = BS_SOLID;  // BS_SOLID, BS_NULL or BS_HATCHED (patterns become solid)
  TColor Color = clWhite;
  int Hatch = 0;
};
struct TFontDesc {
  TLogFont Log;          // the face name is in Face
  std::string Face;      // UTF-8
  bool Device = false;   // a stock font: Log.lfHeight in pixels of the destination at 96 dpi
  TFontDesc() { Log.lfHeight = -12, Log.lfWeight = 400, Device = true; }
};
enum TObjKind { okNone, okPen, okBrush, okFont, okPalette, okRegion, okOther };
struct TObjectDesc {
  TObjKind Kind = okNone;
  TPenDesc Pen;
  TBrushDesc Brush;
  TFontDesc Font;
  std::vector<uint32_t> Palette;  // COLORREFs
  std::vector<TRect> Rects;       // a region (logical units for WMF, device units for EMF)
};

// A decoded device-independent bitmap ready for the stretching copy.
struct TDib;

// The drawing context of one play.
class TPlayer {
 public:
  // Canvas nullptr measures instead of drawing (device space, Dest ignored).
  TPlayer(TCanvas* Canvas, const TRect& Dest, const THeaderInfo& Info);
  ~TPlayer();
  TPlayer(const TPlayer&) = delete;
  TPlayer& operator=(const TPlayer&) = delete;

  // Work limits: false (and Stopped() from then on) once a play has done too much.
  bool CountRecord();
  bool Stopped() const { return Stopped_; }
  bool Measuring() const { return Canvas_ == nullptr; }
  void MeasuredBounds(double& L, double& T, double& R, double& B, bool& Any) const;

  // Mapping.
  void SetMapMode(int Mode);
  void SetWindowOrg(double X, double Y);
  void SetWindowExt(double X, double Y);
  void SetViewportOrg(double X, double Y);
  void SetViewportExt(double X, double Y);
  void OffsetWindowOrg(double X, double Y);
  void OffsetViewportOrg(double X, double Y);
  void ScaleWindowExt(int XNum, int XDen, int YNum, int YDen);
  void ScaleViewportExt(int XNum, int XDen, int YNum, int YDen);
  void SetWorldTransform(const TXForm& X);
  // Mode 1 identity, 2 X before the current, 3 X after it, 4 set.
  void ModifyWorldTransform(const TXForm& X, int Mode);

  // Attributes.
  void SetTextColor(uint32_t ColorRef) { S_.TextColor = Color(ColorRef); }
  void SetBkColor(uint32_t ColorRef) { S_.BkColor = Color(ColorRef); }
  void SetBkMode(int Mode) { S_.BkMode = Mode; }
  void SetTextAlign(uint32_t Align) { S_.TextAlign = Align; }
  void SetPolyFillMode(int Mode) { S_.FillMode = Mode; }
  void SetRop2(int Rop) { S_.Rop2 = Rop; }
  void SetArcDirection(bool Clockwise) { S_.Clockwise = Clockwise; }
  TColor Color(uint32_t ColorRef) const;
  TColor TextColor() const { return S_.TextColor; }
  TColor BkColor() const { return S_.BkColor; }

  // Objects. The table has the header's size (bounded); WMF objects take the lowest free slot.
  void SetObjectTableSize(size_t Count);
  void CreateObjectAt(size_t Index, TObjectDesc&& Obj);
  void CreateObject(TObjectDesc&& Obj);
  // Selects a table entry (a WMF region selects the clip region).
  void SelectObject(size_t Index);
  void SelectStockObject(uint32_t Stock);
  // A WMF region as the clip region; anything else removes the clip region.
  void SelectClipRegion(size_t Index);
  void DeleteObject(size_t Index);
  // The average colour of a bitmap, for pattern brushes drawn as solid ones.
  bool AverageColor(const TDib& Dib, TColor& Out) const;

  // Saved states: Relative < 0 goes back that many; a positive value restores that saved level.
  void SaveDC();
  void RestoreDC(int Which);

  // Lines and shapes (logical coordinates).
  void MoveTo(double X, double Y);
  void LineTo(double X, double Y);
  void Polyline(const std::vector<TPointD>& P);
  void PolylineTo(const std::vector<TPointD>& P);
  void PolyBezier(const std::vector<TPointD>& P);
  void PolyBezierTo(const std::vector<TPointD>& P);
  // Types of PolyDraw: 1 close figure (or-ed), 2 line to, 4 bezier to, 6 move to.
  void PolyDraw(const std::vector<TPointD>& P, const std::vector<uint8_t>& Types);
  void PolyPolygon(const std::vector<TPointD>& P, const std::vector<int>& Counts);
  void PolyPolyline(const std::vector<TPointD>& P, const std::vector<int>& Counts);
  void Rectangle(double L, double T, double R, double B);
  void RoundRect(double L, double T, double R, double B, double W, double H);
  void Ellipse(double L, double T, double R, double B);
  enum TArcKind { akArc, akArcTo, akPie, akChord };
  void ArcShape(TArcKind Kind, double L, double T, double R, double B, double X3, double Y3, double X4, double Y4);
  void AngleArc(double X, double Y, double Radius, double Start, double Sweep);
  void SetPixel(double X, double Y, uint32_t ColorRef);
  // A rectangle filled with the brush by a raster operation without a source.
  void PatBlt(double L, double T, double W, double H, uint32_t Rop);

  // Text: UTF-8 characters, each with its logical advance when Dx is not empty.
  void Text(double X, double Y, const std::vector<std::string>& Chars, const std::vector<double>& Dx, uint32_t Options,
            const double* Rect);

  // A bitmap: the source rectangle (counted from the image's top row) onto the logical
  // destination rectangle, combined by Rop.
  void StretchDib(const TDib& Dib, double Xd, double Yd, double Wd, double Hd, int Xs, int Ys, int Ws, int Hs, uint32_t Rop);

  // Paths (EMF).
  void BeginPath();
  void EndPath() { InPath_ = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void SelectClipPath(int Mode);

  // Clipping. Rectangles in logical units (WMF regions too); EMF regions in device units.
  void IntersectClipRect(double L, double T, double R, double B);
  void ExcludeClipRect(double L, double T, double R, double B);
  void OffsetClip(double Dx, double Dy);
  void SetClipDeviceRects(const std::vector<TRect>& Rects, int Mode);
  void ResetClip();

 private:
  struct TState {
    int MapMode = MM_TEXT;
    double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
    double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
    TXForm World;
    TPenDesc Pen;
    TBrushDesc Brush;
    TFontDesc Font;
    std::vector<uint32_t> Palette;
    TColor TextColor = clBlack, BkColor = clWhite;
    int BkMode = OPAQUE;
    uint32_t TextAlign = 0;
    int FillMode = ALTERNATE;
    int Rop2 = R2_COPYPEN;
    TPointD Pos;  // logical
    bool Clockwise = false;
    bool HasClip = false;
    TRegion Clip;  // destination pixels
  };
  struct TFigure {
    std::vector<TPointD> P;  // destination pixels
    bool Closed = false;
  };

  // The whole map from logical units to destination pixels.
  const TXForm& Map();
  void MappingChanged() { MapValid_ = false; }
  TPointD Dev(double X, double Y) { return Map().Apply(X, Y); }
  bool AxisAligned() { return Map().M12 == 0 && Map().M21 == 0; }
  double Scale();  // length scale of the map (square root of its determinant)
  void FixedExtents();

  // Budget.
  bool SpendPoints(size_t N);
  bool SpendArea(double W, double H);
  void Grow(const TPointD& P);

  // Canvas preparation.
  void ApplyClip();
  void UsePen(bool Visible);
  void UseBrush(bool Visible);
  bool PenVisible() const { return S_.Pen.Style != PS_NULL; }
  bool BrushVisible() const { return S_.Brush.Style != BS_NULL; }
  int DevicePenWidth();

  // Device-space drawing.
  void DrawFigures(const std::vector<TFigure>& F, bool Fill, bool Stroke);
  void FillDevicePolygons(const std::vector<TFigure>& F, bool Outline);
  void StrokeDeviceFigures(const std::vector<TFigure>& F);
  void AddFigures(std::vector<TFigure>&& F);  // to the path, or drawn (closed: filled and outlined)
  void EllipsePoints(double L, double T, double R, double B, double From, double Sweep, std::vector<TPointD>& Out);
  void FlattenBezier(const TPointD& P0, const TPointD& P1, const TPointD& P2, const TPointD& P3,
                     std::vector<TPointD>& Out);
  TPoint Pixel(const TPointD& P) const;
  TRegion FiguresRegion(const std::vector<TFigure>& F, int FillMode) const;
  void CombineClip(const TRegion& R, int Mode);
  TFigure& CurrentFigure();

  TCanvas* Canvas_;
  THeaderInfo Info_;
  TXForm Final_;  // device space to destination pixels
  TState S_;
  std::vector<TState> Saved_;
  int PhantomSaves_ = 0;
  std::vector<TObjectDesc> Objects_;
  TXForm Map_;
  bool MapValid_ = false;

  // The canvas as it was, restored at the end.
  TPen KeepPen_;
  TBrush KeepBrush_;
  TFont KeepFont_;
  TFillMode KeepFill_ = fmAlternate;
  TCopyMode KeepCopy_ = 0;
  bool KeepHasClip_ = false;
  TRegion KeepClip_;
  TRegion Base_;  // the destination rectangle cut by the canvas's clip
  uint64_t ClipGeneration_ = 1, AppliedClip_ = 0;

  // The path being recorded or the last one ended.
  bool InPath_ = false;
  std::vector<TFigure> Path_;
  bool FigureOpen_ = false;
  TPointD FigureStart_;  // logical

  // Work done.
  bool Stopped_ = false;
  uint64_t Records_ = 0, Points_ = 0, Glyphs_ = 0;
  double Area_ = 0;

  // Measuring.
  bool Any_ = false;
  double MinX_ = 0, MinY_ = 0, MaxX_ = 0, MaxY_ = 0;
  int MaxPen_ = 0;
};

// A device-independent bitmap checked against the bytes present.
struct TDib {
  int Width = 0, Height = 0;  // Height > 0
  int Bits = 0;
  bool TopDown = false;
  const uint8_t* Rows = nullptr;  // first stored row
  size_t RowLen = 0;
  TRGBQuad Palette[256] = {};
  int PaletteCount = 0;
  uint32_t Masks[3] = {0, 0, 0};
  std::vector<uint8_t> Expanded;  // rows of a run-length encoded bitmap, decoded (8 bits)
};
// Reads a bitmap from its information block (header, masks, colour table) and its bits. Usage 1
// means a colour table of 16-bit indices into Palette. Bits empty: the bits follow the colour
// table in Info (a packed DIB). BandRows > 0: the bits hold only that many rows, and the bitmap
// read is that band. False when it is not understood or its bits are not all there.
bool ReadDib(TBytes Info, TBytes Bits, int Usage, const std::vector<uint32_t>& Palette, TDib& Dib,
             int BandRows = 0);

// Windows-1252 bytes to UTF-8 characters, one per byte.
std::vector<std::string> Ansi1252(const uint8_t* S, size_t N);
// UTF-16 units to UTF-8 characters; Units tells how many units each character took.
std::vector<std::string> Utf16(const uint8_t* S, size_t N, std::vector<int>* Units);

}  // namespace corvex::metafile
