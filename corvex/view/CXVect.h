// TCorvexVect: the image view with a layer of vector objects drawn over the image — lines with
// arrow ends, boxes, ellipses, arcs, bitmaps, rotated texts and rulers — kept in bitmap
// coordinates (they zoom and scroll with the image), created and edited with the mouse, measured
// in real units, saved in the library's CXV stream, imported from DXF drawings and merged into
// the bitmap.
//
// Handles: an object's handle is its slot in the storage. A removed object keeps its slot (other
// handles never change); the storage shrinks only when the last slot is removed. Every per-object
// accessor also takes -1 (the template: the next object created), -2 (the most recently added
// object); -3 and -4 name no object: reading gives zero values, writing is ignored (as is writing
// through a removed handle).
//
// Implementation files: CXVect.cpp (storage, accessors, pool, order, object selection, copies,
// measuring), CXVect_draw.cpp (drawing, merging), CXVect_io.cpp (CXV streams, DXF import),
// CXVect_mouse.cpp (mouse modes, hit testing, grips, text editing, the measure hint).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

class TStream;
class TEdit;

enum TCXVObjectKind : uint8_t { cxkNONE, cxkLINE, cxkBOX, cxkELLIPSE, cxkARC, cxkBITMAP, cxkTEXT, cxkRULER };
enum TCXShape : uint8_t { cxsNONE, cxsINARROW, cxsOUTARROW };
enum TCXVStyleItem { cxvsSelectable, cxvsMoveable, cxvsSizeable, cxvsVisible };
using TCXVStyle = TSet<TCXVStyleItem>;  // stored as the byte 1 | 2 | 4 | 8
enum TCXUnits : uint8_t { cxuPIXELS, cxuINCHES, cxuKM, cxuMETERS, cxuCENTIMETERS, cxuMILLIMETERS };
enum TCXVRulerType : uint8_t { cxrtRULER, cxrtQUOTEBEGIN, cxrtQUOTECENTER, cxrtQUOTEEND };
enum TCXMouseInteractVtItem {
  miArea, miLineLen, miPutLine, miPutBox, miPutEllipse, miPutBitmap, miPutText, miObjectSelect, miDragLen, miPutRuler
};
using TCXMouseInteractVt = TSet<TCXMouseInteractVtItem>;
// TextAlign values (the toolkit's alignment).
enum TCXTextAlign : uint8_t { taLeftJustify, taRightJustify, taCenter };

// The unit labels: "Pixels", "Inches", "Km", "Mt", "CM", "MM".
extern const char* const strunits[6];

constexpr int kVectTemplate = -1;   // the template object
constexpr int kVectLastAdded = -2;  // the most recently added object
constexpr int kVectAll = -3;        // no object; "all objects" for saving and rectangle selection
constexpr int kVectNone = -4;       // no object

// One vector object.
struct TCXVObject {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TCXVObjectKind Kind = cxkNONE;
  TCXShape BeginShape = cxsNONE, EndShape = cxsNONE;
  int32_t ShapeWidth = 10, ShapeHeight = 20;
  TColor PenColor = clBlack;
  TPenStyle PenStyle = psSolid;
  int32_t PenWidth = 1;
  TColor BrushColor = clWhite;
  TBrushStyle BrushStyle = bsClear;
  double StartAngle = 0, EndAngle = 6.283185307179586;
  int32_t BitmapIndex = -1;
  std::string Text;
  bool HasFont = false;  // a text object keeps a logical-font record
  TLogFont Font;
  TCXTextAlign TextAlign = taLeftJustify;
  std::string Name;
  int32_t ID = 0;
  TCXVStyle Style = {cxvsSelectable, cxvsMoveable, cxvsSizeable, cxvsVisible};
  TCXUnits RulerUnit = cxuPIXELS;
  TCXVRulerType RulerType = cxrtQUOTECENTER;
  bool Removed = false;  // a freed slot
};

using TCXVMeasureHintEvent = TEvent<void(TObject* Sender, std::string& Text, double Value)>;
using TCXVDragLenEndEvent = TEvent<void(TObject* Sender, double Value)>;
using TCXVNewObject = TEvent<void(TObject* Sender, int hobj)>;

// The measure hint: a borderless pale-yellow popup, transparent to the mouse, sized to its text.
class TCXHint;

class TCorvexVect : public TCorvexView {
 public:
  explicit TCorvexVect(TComponent* AOwner);
  ~TCorvexVect() override;

  // --- Objects
  int AddNewObject();
  void RemoveObject(int h);
  void RemoveAllObjects();
  int GetObjectsCount() const;  // live objects
  int GetObjPos(int h) const;   // z-order position, -1 for none
  void SetObjFrontOf(int h, int ref);
  void SetObjBackTo(int h, int ref);
  int GetObjFromName(const std::string& Name) const;
  int GetObjFromID(int ID) const;
  void SetAllObjectsHidden(bool Value);
  bool GetAllObjectsHidden() const { return AllHidden_; }
  TRect GetObjectsExtents() const;
  void CopyObjectTo(int h, TCorvexVect* Target);
  void CopyAllObjectsTo(TCorvexVect* Target);
  void CopySelectedObjectsTo(TCorvexVect* Target);
  void CopyObjectsToBack();
  void Assign(const TPersistent* Source) override;
  // The object behind a handle (-1, -2 resolved), nullptr for none or removed.
  TCXVObject* Obj(int h);
  const TCXVObject* Obj(int h) const;
  // The handles in z-order, bottom first.
  const std::vector<int>& ZOrder() const { return ZOrder_; }

  // --- Per-object accessors
  TCXVObjectKind GetObjKind(int h) const;
  void SetObjKind(int h, TCXVObjectKind Value);
  TRect GetObjRect(int h) const;
  void SetObjRect(int h, const TRect& Value);
  int GetObjLeft(int h) const;
  void SetObjLeft(int h, int Value);
  int GetObjTop(int h) const;
  void SetObjTop(int h, int Value);
  int GetObjWidth(int h) const;
  void SetObjWidth(int h, int Value);
  int GetObjHeight(int h) const;
  void SetObjHeight(int h, int Value);
  TColor GetObjPenColor(int h) const;
  void SetObjPenColor(int h, TColor Value);
  TPenStyle GetObjPenStyle(int h) const;
  void SetObjPenStyle(int h, TPenStyle Value);
  int GetObjPenWidth(int h) const;
  void SetObjPenWidth(int h, int Value);
  TColor GetObjBrushColor(int h) const;
  void SetObjBrushColor(int h, TColor Value);
  TBrushStyle GetObjBrushStyle(int h) const;
  void SetObjBrushStyle(int h, TBrushStyle Value);
  TCXVStyle GetObjStyle(int h) const;
  void SetObjStyle(int h, TCXVStyle Value);
  TCXShape GetObjBeginShape(int h) const;
  void SetObjBeginShape(int h, TCXShape Value);
  TCXShape GetObjEndShape(int h) const;
  void SetObjEndShape(int h, TCXShape Value);
  int GetObjShapeWidth(int h) const;
  void SetObjShapeWidth(int h, int Value);
  int GetObjShapeHeight(int h) const;
  void SetObjShapeHeight(int h, int Value);
  int GetObjID(int h) const;
  void SetObjID(int h, int Value);
  std::string GetObjName(int h) const;
  void SetObjName(int h, const std::string& Value);
  std::string GetObjText(int h) const;
  void SetObjText(int h, const std::string& Value);
  void SetObjFont(int h, const TFont* Value);
  double GetObjFontAngle(int h) const;
  void SetObjFontAngle(int h, double Value);
  int GetObjFontHeight(int h) const;
  void SetObjFontHeight(int h, int Value);
  std::string GetObjFontName(int h) const;
  void SetObjFontName(int h, const std::string& Value);
  TFontStyles GetObjFontStyles(int h) const;
  void SetObjFontStyles(int h, TFontStyles Value);
  TCXTextAlign GetObjTextAlign(int h) const;
  void SetObjTextAlign(int h, TCXTextAlign Value);
  TCXUnits GetObjRulerUnit(int h) const;
  void SetObjRulerUnit(int h, TCXUnits Value);
  TCXVRulerType GetObjRulerType(int h) const;
  void SetObjRulerType(int h, TCXVRulerType Value);
  double GetObjStartAngle(int h) const;
  void SetObjStartAngle(int h, double Value);
  double GetObjEndAngle(int h) const;
  void SetObjEndAngle(int h, double Value);

  // --- The bitmap pool
  TBitmap* GetObjBitmap(int h) const;
  void SetObjBitmap(int h, const TBitmap* Value);
  void SetObjBitmapNU(int h, const TBitmap* Value);
  void SetObjBitmapIdxNU(int h, int Index);
  void SetObjBitmapICO(int h, int IconId, int Width, int Height);
  // A pool entry; GetBitmap() without an index is still the view's own image.
  TBitmap* GetBitmap(int Index) const;
  using TCorvexView::GetBitmap;
  int FindBitmap(const TBitmap* Value) const;
  int GetBitmapCount() const { return static_cast<int>(Pool_.size()); }
  int GetBitmapRefCount(int Index) const;
  void PackBMP();
  bool GetShareBitmaps() const { return ShareBitmaps_; }
  void SetShareBitmaps(bool Value) { ShareBitmaps_ = Value; }
  TResampleFilter GetBitmapResampleFilter() const { return BitmapResampleFilter_; }
  void SetBitmapResampleFilter(TResampleFilter Value);

  // --- Object selection
  void AddSelObject(int h);
  void AddSelObjectNS(int h);
  void UnSelObject(int h);
  void UnSelAllObjects();
  void SelAllObjects();
  bool IsSelObject(int h) const;
  int GetSelObjects(int i) const;
  int GetSelObjectsCount() const { return static_cast<int>(SelObjects_.size()); }
  void SelInRect(int h, int x1, int y1, int x2, int y2);

  // --- Measuring
  double GetScale() const { return Scale_; }
  void SetScale(double Value);  // values <= 0 (and NaN) are ignored
  void SetScaleFromPixels(double Pixels, double Value);
  void SetScaleFromSelectionLen(double Value);
  TCXUnits GetMUnit() const { return MUnit_; }
  void SetMUnit(TCXUnits Value);
  int GetFloatPrecision() const { return FloatPrecision_; }
  void SetFloatPrecision(int Value);
  int GetFloatDigits() const { return FloatDigits_; }
  void SetFloatDigits(int Value);
  double GetSelectionLen();
  double GetSelectionArea();
  TPoint GetSelectionCentroid();
  void CalcCoef();
  double GetCoefX() const { return CoefX_; }
  double GetCoefY() const { return CoefY_; }
  bool GetZoomObjectsWidth() const { return ZoomObjectsWidth_; }
  void SetZoomObjectsWidth(bool Value);
  // The text of a measure: Value with FloatPrecision significant digits and FloatDigits decimals,
  // a blank and the unit label (Area adds the superscript two).
  std::string MeasureText(double Value, bool Area) const;
  double GetLastDragLen() const { return LastDragLen_; }
  void SetDPIX(int Value) override;
  void SetDPIY(int Value) override;

  // --- Files
  void SaveToStreamCXV(TStream* Stream);
  bool LoadFromStreamCXV(TStream* Stream);
  void SaveToFileCXV(const std::string& FileName);
  bool LoadFromFileCXV(const std::string& FileName);
  bool ImportDXF(const std::string& FileName);

  // --- Mouse and editing
  TCXMouseInteractVt GetMouseInteractVt() const { return MouseInteractVt_; }
  void SetMouseInteractVt(TCXMouseInteractVt Value);
  void SetMouseInteract(TCXMouseInteractItems Value) override;
  int FindNearObj(int x, int y, double& Distance) const;
  double CalcDistPtObj(int h, int x, int y) const;
  int FindSelGrip(int x, int y, int& Grip) const;
  void ActiveTextEdit();
  void RemoveTextEdit();
  void TextEditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void CancelInteracts();
  int GetEditedText() const { return EditedText_; }
  TEdit* GetTextEdit() const { return TextEdit_; }
  TCXHint* GetMeasureHint() const { return Hint_; }

  virtual void DoVectorialChanged();

  TNotifyEvent OnSelectObject, OnVectorialChanged;
  TCXVMeasureHintEvent OnMeasureHint;
  TCXVDragLenEndEvent OnDragLenEnd;
  TCXVNewObject OnNewObject;

  void Update() override;
  void PaintTo(TCanvas* Canvas) override;
  void Select(int x1, int y1, int x2, int y2, TCXSelOp Op = cxspReplace) override;
  void AddSelPoint(int x, int y) override;

 protected:
  void Paint() override;
  bool RenderIsCheap() const override;
  void ViewChange(int Change) override;
  void SubMouseMoveScroll(int dx, int dy) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void WMSize(TMessage& Message) override;

  // --- Shared by the implementation files
  // Draws every object (and, on screen, the grips) onto Canvas; OnScreen false merges at 1:1.
  void DrawObjects(TCanvas* Canvas, bool OnScreen);
  void DrawObject(TCanvas* Canvas, const TCXVObject& O, bool OnScreen);
  void DrawGrips(TCanvas* Canvas);
  // Shows or refreshes the measure hint; a client point (-1, -1) changes only its text.
  void ShowMeasureHint(int x, int y);
  // A copy of Source's data into Target (strings, font, a pool reference of this view).
  void CopyObjectData(const TCXVObject& Source, TCXVObject& Target, const TCorvexVect* SourceView);
  // Adds a reference to pool entry Index (or a copy without sharing); returns the index used.
  int PoolAddRef(int Index);
  int PoolAdd(const TBitmap* Bitmap);
  void PoolRelease(int Index);
  // After a change of the objects: repaint through Update.
  void ObjectsChanged();

  struct PoolEntry {
    std::unique_ptr<TBitmap> Bitmap;
    int RefCount = 0;
  };
  TCXMouseInteractVt MouseInteractVt_;
  double Scale_ = 1.0;
  TCXUnits MUnit_ = cxuPIXELS;
  double CoefX_ = 1.0, CoefY_ = 1.0;
  TCXHint* Hint_ = nullptr;  // owned by the view (a child component)
  int FloatPrecision_ = 15, FloatDigits_ = 2;
  TPoint VectLastMouse_;
  bool ZoomObjectsWidth_ = true;
  double LastDragLen_ = 0;
  std::vector<int> ZOrder_;
  TCXVObjectKind Inserting_ = cxkNONE;
  TCXVObject Template_;
  std::vector<int> SelObjects_;
  int DraggingGrip_ = 0;
  int EditedText_ = -1;
  TEdit* TextEdit_ = nullptr;  // owned by the view while editing
  std::vector<TCXVObject> Objects_;
  int LastAdded_ = -4;
  std::vector<PoolEntry> Pool_;
  bool ShareBitmaps_ = true;
  bool AllHidden_ = false;
  TResampleFilter BitmapResampleFilter_ = rfNone;
  bool Dragging_ = false;
  TPoint VectDown_;        // press point (client)
  bool VectPressed_ = false;
  // Bitmap objects resampled with BitmapResampleFilter, by handle (CXVect_draw.cpp): kept while
  // the pool bitmap and the drawn size stay the same; cleared when a pool entry is freed or
  // renumbered.
  struct ResampledImage {
    const TBitmap* Source = nullptr;
    int Width = 0, Height = 0;
    std::unique_ptr<TBitmap> Image;
  };
  std::vector<ResampledImage> ResampleCache_;

  // Mouse state and helpers of CXVect_mouse.cpp.
  struct GripOrigin {
    int h;
    int32_t x1, y1, x2, y2;
  };
  std::vector<GripOrigin> GripOrigins_;  // the selected objects' corners at the grip press
  bool RubberSelect_ = false;            // a rubber rectangle selecting objects
  bool DragLenShown_ = false;            // the hint shows the dragged length
  std::string EditOldText_;              // the edited object's text before editing
  TCXHint* MeasureHint();                // the hint, made on first use
  TPoint VectPoint(TShiftState Shift, int X, int Y) const;  // a client point limited and snapped
  void DrawRubber();                     // repaints, then draws the rubber shape of the drag
  void PlaceTextEdit();                  // puts the edit over its object, in its font
  void EndTextEdit(bool Keep);           // removes the edit, taking its text back when Keep
};

}  // namespace corvex
