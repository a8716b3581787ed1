// TCorvexVect objects: storage and handles, accessors, the bitmap pool, order, selection, copies,
// measuring.
#include "corvex/view/CXVect.h"

namespace corvex {

const char* const strunits[6] = {"Pixels", "Inches", "Km", "Mt", "CM", "MM"};

TCorvexVect::TCorvexVect(TComponent* AOwner) : TCorvexView(AOwner) {}
TCorvexVect::~TCorvexVect() = default;
TCXVObject* TCorvexVect::Obj(int) { return nullptr; }
const TCXVObject* TCorvexVect::Obj(int) const { return nullptr; }
int TCorvexVect::AddNewObject() { return 0; }
void TCorvexVect::RemoveObject(int) {}
void TCorvexVect::RemoveAllObjects() {}
int TCorvexVect::GetObjectsCount() const { return 0; }
int TCorvexVect::GetObjPos(int) const { return 0; }
void TCorvexVect::SetObjFrontOf(int, int) {}
void TCorvexVect::SetObjBackTo(int, int) {}
int TCorvexVect::GetObjFromName(const std::string&) const { return 0; }
int TCorvexVect::GetObjFromID(int) const { return 0; }
void TCorvexVect::SetAllObjectsHidden(bool) {}
TRect TCorvexVect::GetObjectsExtents() const { return {}; }
void TCorvexVect::CopyObjectTo(int, TCorvexVect*) {}
void TCorvexVect::CopyAllObjectsTo(TCorvexVect*) {}
void TCorvexVect::CopySelectedObjectsTo(TCorvexVect*) {}
void TCorvexVect::Assign(const TPersistent*) {}
TCXVObjectKind TCorvexVect::GetObjKind(int) const { return {}; }
void TCorvexVect::SetObjKind(int, TCXVObjectKind) {}
TRect TCorvexVect::GetObjRect(int) const { return {}; }
void TCorvexVect::SetObjRect(int, const TRect&) {}
int TCorvexVect::GetObjLeft(int) const { return 0; }
void TCorvexVect::SetObjLeft(int, int) {}
int TCorvexVect::GetObjTop(int) const { return 0; }
void TCorvexVect::SetObjTop(int, int) {}
int TCorvexVect::GetObjWidth(int) const { return 0; }
void TCorvexVect::SetObjWidth(int, int) {}
int TCorvexVect::GetObjHeight(int) const { return 0; }
void TCorvexVect::SetObjHeight(int, int) {}
TColor TCorvexVect::GetObjPenColor(int) const { return {}; }
void TCorvexVect::SetObjPenColor(int, TColor) {}
TPenStyle TCorvexVect::GetObjPenStyle(int) const { return {}; }
void TCorvexVect::SetObjPenStyle(int, TPenStyle) {}
int TCorvexVect::GetObjPenWidth(int) const { return 0; }
void TCorvexVect::SetObjPenWidth(int, int) {}
TColor TCorvexVect::GetObjBrushColor(int) const { return {}; }
void TCorvexVect::SetObjBrushColor(int, TColor) {}
TBrushStyle TCorvexVect::GetObjBrushStyle(int) const { return {}; }
void TCorvexVect::SetObjBrushStyle(int, TBrushStyle) {}
TCXVStyle TCorvexVect::GetObjStyle(int) const { return {}; }
void TCorvexVect::SetObjStyle(int, TCXVStyle) {}
TCXShape TCorvexVect::GetObjBeginShape(int) const { return {}; }
void TCorvexVect::SetObjBeginShape(int, TCXShape) {}
TCXShape TCorvexVect::GetObjEndShape(int) const { return {}; }
void TCorvexVect::SetObjEndShape(int, TCXShape) {}
int TCorvexVect::GetObjShapeWidth(int) const { return 0; }
void TCorvexVect::SetObjShapeWidth(int, int) {}
int TCorvexVect::GetObjShapeHeight(int) const { return 0; }
void TCorvexVect::SetObjShapeHeight(int, int) {}
int TCorvexVect::GetObjID(int) const { return 0; }
void TCorvexVect::SetObjID(int, int) {}
std::string TCorvexVect::GetObjName(int) const { return {}; }
void TCorvexVect::SetObjName(int, const std::string&) {}
std::string TCorvexVect::GetObjText(int) const { return {}; }
void TCorvexVect::SetObjText(int, const std::string&) {}
void TCorvexVect::SetObjFont(int, const TFont*) {}
double TCorvexVect::GetObjFontAngle(int) const { return 0; }
void TCorvexVect::SetObjFontAngle(int, double) {}
int TCorvexVect::GetObjFontHeight(int) const { return 0; }
void TCorvexVect::SetObjFontHeight(int, int) {}
std::string TCorvexVect::GetObjFontName(int) const { return {}; }
void TCorvexVect::SetObjFontName(int, const std::string&) {}
TFontStyles TCorvexVect::GetObjFontStyles(int) const { return {}; }
void TCorvexVect::SetObjFontStyles(int, TFontStyles) {}
TCXTextAlign TCorvexVect::GetObjTextAlign(int) const { return {}; }
void TCorvexVect::SetObjTextAlign(int, TCXTextAlign) {}
TCXUnits TCorvexVect::GetObjRulerUnit(int) const { return {}; }
void TCorvexVect::SetObjRulerUnit(int, TCXUnits) {}
TCXVRulerType TCorvexVect::GetObjRulerType(int) const { return {}; }
void TCorvexVect::SetObjRulerType(int, TCXVRulerType) {}
double TCorvexVect::GetObjStartAngle(int) const { return 0; }
void TCorvexVect::SetObjStartAngle(int, double) {}
double TCorvexVect::GetObjEndAngle(int) const { return 0; }
void TCorvexVect::SetObjEndAngle(int, double) {}
TBitmap* TCorvexVect::GetObjBitmap(int) const { return nullptr; }
void TCorvexVect::SetObjBitmap(int, const TBitmap*) {}
void TCorvexVect::SetObjBitmapNU(int, const TBitmap*) {}
void TCorvexVect::SetObjBitmapIdxNU(int, int) {}
void TCorvexVect::SetObjBitmapICO(int, int, int, int) {}
TBitmap* TCorvexVect::GetBitmap(int) const { return nullptr; }
int TCorvexVect::FindBitmap(const TBitmap*) const { return 0; }
int TCorvexVect::GetBitmapRefCount(int) const { return 0; }
void TCorvexVect::PackBMP() {}
void TCorvexVect::SetBitmapResampleFilter(TResampleFilter) {}
void TCorvexVect::AddSelObject(int) {}
void TCorvexVect::AddSelObjectNS(int) {}
void TCorvexVect::UnSelObject(int) {}
void TCorvexVect::UnSelAllObjects() {}
void TCorvexVect::SelAllObjects() {}
bool TCorvexVect::IsSelObject(int) const { return false; }
int TCorvexVect::GetSelObjects(int) const { return 0; }
void TCorvexVect::SelInRect(int, int, int, int, int) {}
void TCorvexVect::SetScale(double) {}
void TCorvexVect::SetScaleFromPixels(double, double) {}
void TCorvexVect::SetScaleFromSelectionLen(double) {}
void TCorvexVect::SetMUnit(TCXUnits) {}
void TCorvexVect::SetFloatPrecision(int) {}
void TCorvexVect::SetFloatDigits(int) {}
double TCorvexVect::GetSelectionLen() { return 0; }
double TCorvexVect::GetSelectionArea() { return 0; }
TPoint TCorvexVect::GetSelectionCentroid() { return {}; }
void TCorvexVect::CalcCoef() {}
void TCorvexVect::SetZoomObjectsWidth(bool) {}
std::string TCorvexVect::MeasureText(double, bool) const { return {}; }
void TCorvexVect::SetDPIX(int) {}
void TCorvexVect::SetDPIY(int) {}
void TCorvexVect::DoVectorialChanged() {}
void TCorvexVect::CopyObjectData(const TCXVObject&, TCXVObject&, const TCorvexVect*) {}
int TCorvexVect::PoolAddRef(int) { return 0; }
int TCorvexVect::PoolAdd(const TBitmap*) { return 0; }
void TCorvexVect::PoolRelease(int) {}
void TCorvexVect::ObjectsChanged() {}

}  // namespace corvex
