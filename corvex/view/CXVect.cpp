// TCorvexVect objects: storage and handles, accessors, the bitmap pool, order, selection, copies,
// measuring.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "corvex/platform/graphics/stockicons.h"
#include "corvex/platform/numbers.h"
#include "corvex/view/CXVect.h"

namespace corvex {

const char* const strunits[6] = {"Pixels", "Inches", "Km", "Mt", "CM", "MM"};

namespace {

// Storage and z-order grow in blocks: at a multiple of 512 entries room for 522 more is made.
template <class T>
void GrowBlock(std::vector<T>& v) {
  if (v.size() % 512 == 0) v.reserve(v.size() + 522);
}

bool IsTemplate(int h) { return h == kVectTemplate; }

// Lines and rulers keep their direction; every other kind keeps its corners ordered.
void OrderRect(TCXVObject& o) {
  if (o.Kind == cxkLINE || o.Kind == cxkRULER) return;
  if (o.x1 > o.x2) std::swap(o.x1, o.x2);
  if (o.y1 > o.y2) std::swap(o.y1, o.y2);
}

// Equal bitmaps: size and format first (cheap, and rows of different lengths never compared),
// then the palette and the pixels row by row (padding bytes of a row are not compared).
bool SameBitmap(const TBitmap& a, const TBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPixelFormat() != b.GetPixelFormat())
    return false;
  if (a.GetPaletteCount() != b.GetPaletteCount()) return false;
  for (int i = 0; i < a.GetPaletteCount(); ++i)
    if (!(a.GetPalette()[i] == b.GetPalette()[i])) return false;
  const size_t used = (size_t(a.GetWidth()) * size_t(a.GetBitCount()) + 7) / 8;
  for (int y = 0; y < a.GetHeight(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), used) != 0) return false;
  return true;
}

}  // namespace

// --- Construction

TCorvexVect::TCorvexVect(TComponent* AOwner) : TCorvexView(AOwner) {
  Template_.x1 = 0;
  Template_.y1 = 0;
  Template_.x2 = 63;
  Template_.y2 = 63;
  Template_.PenColor = GetCanvas()->GetFont()->GetColor();
  Template_.BrushColor = TColor(16777215);
  Template_.RulerUnit = MUnit_;
  TBitmap icon;
  DrawStockIcon(icon, IDI_ERROR, 64, 64);
  Template_.BitmapIndex = PoolAdd(&icon);
  TFont font;
  font.Assign(GetCanvas()->GetFont());
  font.SetName("Arial");
  font.GetLogFont(Template_.Font);
  Template_.HasFont = true;
  CalcCoef();
}

// The pool's bitmaps, the objects' strings and the lists are owned by members; the hint and the
// edit control are child components freed with the view.
TCorvexVect::~TCorvexVect() = default;

TCXVObject* TCorvexVect::Obj(int h) { return const_cast<TCXVObject*>(std::as_const(*this).Obj(h)); }

const TCXVObject* TCorvexVect::Obj(int h) const {
  if (h == kVectTemplate) return &Template_;
  if (h == kVectLastAdded) h = LastAdded_;
  if (h < 0 || h >= static_cast<int>(Objects_.size())) return nullptr;
  const TCXVObject& o = Objects_[size_t(h)];
  return o.Removed ? nullptr : &o;
}

// --- Objects

int TCorvexVect::AddNewObject() {
  GrowBlock(Objects_);
  GrowBlock(ZOrder_);
  TCXVObject o;
  CopyObjectData(Template_, o, this);
  OrderRect(o);
  Objects_.push_back(std::move(o));
  const int h = static_cast<int>(Objects_.size()) - 1;
  ZOrder_.push_back(h);
  LastAdded_ = h;
  ObjectsChanged();
  return h;
}

void TCorvexVect::RemoveObject(int h) {
  if (h == kVectLastAdded) h = LastAdded_;
  if (h < 0 || Obj(h) == nullptr) return;
  CancelInteracts();
  SelObjects_.erase(std::remove(SelObjects_.begin(), SelObjects_.end(), h), SelObjects_.end());
  TCXVObject& o = Objects_[size_t(h)];
  PoolRelease(o.BitmapIndex);
  o = TCXVObject{};
  o.Removed = true;
  ZOrder_.erase(std::remove(ZOrder_.begin(), ZOrder_.end(), h), ZOrder_.end());
  // Trailing free slots go: the storage ends with a live object (or is empty).
  while (!Objects_.empty() && Objects_.back().Removed) Objects_.pop_back();
  if (LastAdded_ == h) LastAdded_ = kVectNone;
  DoVectorialChanged();
  ObjectsChanged();
}

void TCorvexVect::RemoveAllObjects() {
  CancelInteracts();
  SelObjects_.clear();
  for (TCXVObject& o : Objects_)
    if (!o.Removed) PoolRelease(o.BitmapIndex);
  Objects_.clear();
  ZOrder_.clear();
  LastAdded_ = kVectNone;
  DoVectorialChanged();
  ObjectsChanged();
}

int TCorvexVect::GetObjectsCount() const { return static_cast<int>(ZOrder_.size()); }

int TCorvexVect::GetObjPos(int h) const {
  if (h == kVectLastAdded) h = LastAdded_;
  const auto it = std::find(ZOrder_.begin(), ZOrder_.end(), h);
  return it == ZOrder_.end() ? -1 : static_cast<int>(it - ZOrder_.begin());
}

void TCorvexVect::SetObjFrontOf(int h, int ref) {
  if (h == kVectLastAdded) h = LastAdded_;
  if (ref == kVectLastAdded) ref = LastAdded_;
  if (GetObjPos(h) < 0 || h == ref) return;
  ZOrder_.erase(ZOrder_.begin() + GetObjPos(h));
  const int p = ref < 0 ? -1 : GetObjPos(ref);
  if (p < 0)
    ZOrder_.push_back(h);
  else
    ZOrder_.insert(ZOrder_.begin() + p + 1, h);
  ObjectsChanged();
}

void TCorvexVect::SetObjBackTo(int h, int ref) {
  if (h == kVectLastAdded) h = LastAdded_;
  if (ref == kVectLastAdded) ref = LastAdded_;
  if (GetObjPos(h) < 0 || h == ref) return;
  ZOrder_.erase(ZOrder_.begin() + GetObjPos(h));
  const int p = ref < 0 ? -1 : GetObjPos(ref);
  ZOrder_.insert(ZOrder_.begin() + std::max(p, 0), h);
  ObjectsChanged();
}

int TCorvexVect::GetObjFromName(const std::string& Name) const {
  for (auto it = ZOrder_.rbegin(); it != ZOrder_.rend(); ++it)
    if (Objects_[size_t(*it)].Name == Name) return *it;
  return -1;
}

int TCorvexVect::GetObjFromID(int ID) const {
  for (auto it = ZOrder_.rbegin(); it != ZOrder_.rend(); ++it)
    if (Objects_[size_t(*it)].ID == ID) return *it;
  return -1;
}

void TCorvexVect::SetAllObjectsHidden(bool Value) {
  if (AllHidden_ == Value) return;
  AllHidden_ = Value;
  ObjectsChanged();
}

TRect TCorvexVect::GetObjectsExtents() const {
  int mx = -1, my = -1;
  for (int h : ZOrder_) {
    const TCXVObject& o = Objects_[size_t(h)];
    mx = std::max({mx, o.x1, o.x2});
    my = std::max({my, o.y1, o.y2});
  }
  return Rect(0, 0, mx + 1, my + 1);
}

void TCorvexVect::CopyObjectData(const TCXVObject& Source, TCXVObject& Target, const TCorvexVect* SourceView) {
  Target = Source;
  Target.Removed = false;
  Target.BitmapIndex = -1;
  if (Source.BitmapIndex < 0 || SourceView == nullptr) return;
  if (SourceView == this) {
    Target.BitmapIndex = PoolAddRef(Source.BitmapIndex);
  } else if (const TBitmap* b = SourceView->GetBitmap(Source.BitmapIndex)) {
    Target.BitmapIndex = PoolAdd(b);
  }
}

void TCorvexVect::CopyObjectTo(int h, TCorvexVect* Target) {
  if (h == kVectLastAdded) h = LastAdded_;
  if (Target == nullptr || h < 0 || Obj(h) == nullptr) return;
  // A copy of the source first: with Target == this the storage may move while adding.
  const TCXVObject src = Objects_[size_t(h)];
  GrowBlock(Target->Objects_);
  GrowBlock(Target->ZOrder_);
  TCXVObject o;
  Target->CopyObjectData(src, o, this);
  Target->Objects_.push_back(std::move(o));
  const int n = static_cast<int>(Target->Objects_.size()) - 1;
  Target->ZOrder_.push_back(n);
  Target->LastAdded_ = n;
  Target->ObjectsChanged();
}

void TCorvexVect::CopyAllObjectsTo(TCorvexVect* Target) {
  const std::vector<int> order = ZOrder_;  // copying onto this view adds to the list being walked
  for (int h : order) CopyObjectTo(h, Target);
}

void TCorvexVect::CopySelectedObjectsTo(TCorvexVect* Target) {
  const std::vector<int> sel = SelObjects_;
  for (int h : sel) CopyObjectTo(h, Target);
}

void TCorvexVect::Assign(const TPersistent* Source) {
  if (Source == this) return;
  TCorvexView::Assign(Source);
  if (Source == nullptr) {
    RemoveAllObjects();
    return;
  }
  if (const auto* src = dynamic_cast<const TCorvexVect*>(Source)) {
    LockPaint();
    RemoveAllObjects();
    Scale_ = src->Scale_;
    for (int h : src->ZOrder_) const_cast<TCorvexVect*>(src)->CopyObjectTo(h, this);
    CalcCoef();
    NPUnLockPaint();
    ObjectsChanged();
  }
}

// --- Per-object accessors: reads of no object give zero values, writes to none are ignored.

#define CX_GET(Field, Default)    \
  const TCXVObject* o = Obj(h);   \
  return o != nullptr ? o->Field : Default
#define CX_SET(Field)             \
  TCXVObject* o = Obj(h);         \
  if (o == nullptr) return;       \
  o->Field = Value;               \
  if (!IsTemplate(h)) ObjectsChanged()

TCXVObjectKind TCorvexVect::GetObjKind(int h) const { CX_GET(Kind, cxkNONE); }
void TCorvexVect::SetObjKind(int h, TCXVObjectKind Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->Kind = Value;
  if (Value == cxkTEXT && !o->HasFont) {
    o->Font = Template_.Font;
    o->HasFont = true;
    o->Text.clear();
  }
  ObjectsChanged();
}
TRect TCorvexVect::GetObjRect(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr ? Rect(o->x1, o->y1, o->x2, o->y2) : TRect{};
}
void TCorvexVect::SetObjRect(int h, const TRect& Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->x1 = Value.Left;
  o->y1 = Value.Top;
  o->x2 = Value.Right;
  o->y2 = Value.Bottom;
  if (!IsTemplate(h)) ObjectsChanged();
}
int TCorvexVect::GetObjLeft(int h) const { CX_GET(x1, 0); }
void TCorvexVect::SetObjLeft(int h, int Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->x2 += Value - o->x1;
  o->x1 = Value;
  if (!IsTemplate(h)) ObjectsChanged();
}
int TCorvexVect::GetObjTop(int h) const { CX_GET(y1, 0); }
void TCorvexVect::SetObjTop(int h, int Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->y2 += Value - o->y1;
  o->y1 = Value;
  if (!IsTemplate(h)) ObjectsChanged();
}
int TCorvexVect::GetObjWidth(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr ? o->x2 - o->x1 + 1 : 0;
}
void TCorvexVect::SetObjWidth(int h, int Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->x2 = o->x1 + Value - 1;
  if (!IsTemplate(h)) ObjectsChanged();
}
int TCorvexVect::GetObjHeight(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr ? o->y2 - o->y1 + 1 : 0;
}
void TCorvexVect::SetObjHeight(int h, int Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->y2 = o->y1 + Value - 1;
  if (!IsTemplate(h)) ObjectsChanged();
}
TColor TCorvexVect::GetObjPenColor(int h) const { CX_GET(PenColor, clBlack); }
void TCorvexVect::SetObjPenColor(int h, TColor Value) { CX_SET(PenColor); }
TPenStyle TCorvexVect::GetObjPenStyle(int h) const { CX_GET(PenStyle, psSolid); }
void TCorvexVect::SetObjPenStyle(int h, TPenStyle Value) { CX_SET(PenStyle); }
int TCorvexVect::GetObjPenWidth(int h) const { CX_GET(PenWidth, 0); }
void TCorvexVect::SetObjPenWidth(int h, int Value) { CX_SET(PenWidth); }
TColor TCorvexVect::GetObjBrushColor(int h) const { CX_GET(BrushColor, clBlack); }
void TCorvexVect::SetObjBrushColor(int h, TColor Value) { CX_SET(BrushColor); }
TBrushStyle TCorvexVect::GetObjBrushStyle(int h) const { CX_GET(BrushStyle, bsSolid); }
void TCorvexVect::SetObjBrushStyle(int h, TBrushStyle Value) { CX_SET(BrushStyle); }
TCXVStyle TCorvexVect::GetObjStyle(int h) const { CX_GET(Style, TCXVStyle{}); }
void TCorvexVect::SetObjStyle(int h, TCXVStyle Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  o->Style = Value;
  if (IsTemplate(h)) return;
  if (!Value.Contains(cxvsSelectable)) UnSelObject(h);
  ObjectsChanged();
}
TCXShape TCorvexVect::GetObjBeginShape(int h) const { CX_GET(BeginShape, cxsNONE); }
void TCorvexVect::SetObjBeginShape(int h, TCXShape Value) { CX_SET(BeginShape); }
TCXShape TCorvexVect::GetObjEndShape(int h) const { CX_GET(EndShape, cxsNONE); }
void TCorvexVect::SetObjEndShape(int h, TCXShape Value) { CX_SET(EndShape); }
int TCorvexVect::GetObjShapeWidth(int h) const { CX_GET(ShapeWidth, 0); }
void TCorvexVect::SetObjShapeWidth(int h, int Value) { CX_SET(ShapeWidth); }
int TCorvexVect::GetObjShapeHeight(int h) const { CX_GET(ShapeHeight, 0); }
void TCorvexVect::SetObjShapeHeight(int h, int Value) { CX_SET(ShapeHeight); }
int TCorvexVect::GetObjID(int h) const { CX_GET(ID, 0); }
void TCorvexVect::SetObjID(int h, int Value) { CX_SET(ID); }
std::string TCorvexVect::GetObjName(int h) const { CX_GET(Name, std::string()); }
void TCorvexVect::SetObjName(int h, const std::string& Value) { CX_SET(Name); }
std::string TCorvexVect::GetObjText(int h) const { CX_GET(Text, std::string()); }
void TCorvexVect::SetObjText(int h, const std::string& Value) { CX_SET(Text); }
TCXTextAlign TCorvexVect::GetObjTextAlign(int h) const { CX_GET(TextAlign, taLeftJustify); }
void TCorvexVect::SetObjTextAlign(int h, TCXTextAlign Value) { CX_SET(TextAlign); }
TCXUnits TCorvexVect::GetObjRulerUnit(int h) const { CX_GET(RulerUnit, cxuPIXELS); }
void TCorvexVect::SetObjRulerUnit(int h, TCXUnits Value) { CX_SET(RulerUnit); }
TCXVRulerType TCorvexVect::GetObjRulerType(int h) const { CX_GET(RulerType, cxrtRULER); }
void TCorvexVect::SetObjRulerType(int h, TCXVRulerType Value) { CX_SET(RulerType); }
double TCorvexVect::GetObjStartAngle(int h) const { CX_GET(StartAngle, 0.0); }
void TCorvexVect::SetObjStartAngle(int h, double Value) { CX_SET(StartAngle); }
double TCorvexVect::GetObjEndAngle(int h) const { CX_GET(EndAngle, 0.0); }
void TCorvexVect::SetObjEndAngle(int h, double Value) { CX_SET(EndAngle); }

#undef CX_GET
#undef CX_SET

// Font accessors: an object without a font record is given a copy of the template's before a
// font property is written.
void TCorvexVect::SetObjFont(int h, const TFont* Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr || Value == nullptr) return;
  Value->GetLogFont(o->Font);
  o->HasFont = true;
  o->PenColor = Value->GetColor();
  if (!IsTemplate(h)) ObjectsChanged();
}
double TCorvexVect::GetObjFontAngle(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr && o->HasFont ? o->Font.lfEscapement / 10.0 : 0.0;
}
int TCorvexVect::GetObjFontHeight(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr && o->HasFont ? o->Font.lfHeight : 0;
}
std::string TCorvexVect::GetObjFontName(int h) const {
  const TCXVObject* o = Obj(h);
  if (o == nullptr || !o->HasFont) return {};
  return std::string(o->Font.lfFaceName, strnlen(o->Font.lfFaceName, sizeof(o->Font.lfFaceName)));
}
TFontStyles TCorvexVect::GetObjFontStyles(int h) const {
  const TCXVObject* o = Obj(h);
  TFontStyles s;
  if (o == nullptr || !o->HasFont) return s;
  if (o->Font.lfWeight >= FW_BOLD) s.Include(fsBold);
  if (o->Font.lfItalic) s.Include(fsItalic);
  if (o->Font.lfUnderline) s.Include(fsUnderline);
  if (o->Font.lfStrikeOut) s.Include(fsStrikeOut);
  return s;
}

namespace {
TLogFont* EnsureFont(TCXVObject* o, const TCXVObject& Template) {
  if (o == nullptr) return nullptr;
  if (!o->HasFont) {
    o->Font = Template.Font;
    o->HasFont = true;
  }
  return &o->Font;
}
}  // namespace

void TCorvexVect::SetObjFontAngle(int h, double Value) {
  TLogFont* f = EnsureFont(Obj(h), Template_);
  if (f == nullptr || !std::isfinite(Value)) return;
  f->lfEscapement = Round(std::fmod(Value, 360.0) * 10.0);
  f->lfOrientation = f->lfEscapement;
  if (!IsTemplate(h)) ObjectsChanged();
}
void TCorvexVect::SetObjFontHeight(int h, int Value) {
  TLogFont* f = EnsureFont(Obj(h), Template_);
  if (f == nullptr) return;
  f->lfHeight = Value;
  if (!IsTemplate(h)) ObjectsChanged();
}
void TCorvexVect::SetObjFontName(int h, const std::string& Value) {
  TLogFont* f = EnsureFont(Obj(h), Template_);
  if (f == nullptr) return;
  std::memset(f->lfFaceName, 0, sizeof(f->lfFaceName));
  std::memcpy(f->lfFaceName, Value.data(), std::min(Value.size(), sizeof(f->lfFaceName) - 1));
  if (!IsTemplate(h)) ObjectsChanged();
}
void TCorvexVect::SetObjFontStyles(int h, TFontStyles Value) {
  TLogFont* f = EnsureFont(Obj(h), Template_);
  if (f == nullptr) return;
  f->lfWeight = Value.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  f->lfItalic = Value.Contains(fsItalic) ? 1 : 0;
  f->lfUnderline = Value.Contains(fsUnderline) ? 1 : 0;
  f->lfStrikeOut = Value.Contains(fsStrikeOut) ? 1 : 0;
  if (!IsTemplate(h)) ObjectsChanged();
}

// --- The bitmap pool

int TCorvexVect::PoolAdd(const TBitmap* Bitmap) {
  if (Bitmap == nullptr || Bitmap->GetEmpty()) return -1;
  if (ShareBitmaps_) {
    for (int i = static_cast<int>(Pool_.size()) - 1; i >= 0; --i) {
      PoolEntry& e = Pool_[size_t(i)];
      if (e.Bitmap && SameBitmap(*e.Bitmap, *Bitmap)) {
        ++e.RefCount;
        return i;
      }
    }
  }
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(Bitmap);
  size_t i = 0;
  while (i < Pool_.size() && Pool_[i].Bitmap) ++i;
  if (i == Pool_.size()) {
    GrowBlock(Pool_);
    Pool_.emplace_back();
  }
  Pool_[i].Bitmap = std::move(copy);
  Pool_[i].RefCount = 1;
  return static_cast<int>(i);
}

int TCorvexVect::PoolAddRef(int Index) {
  const TBitmap* b = GetBitmap(Index);
  if (b == nullptr) return -1;
  if (!ShareBitmaps_) {
    // A copy of its own: the entry is looked up again after the pool may have grown.
    TBitmap copy;
    copy.Assign(b);
    const bool keep = ShareBitmaps_;
    ShareBitmaps_ = false;
    const int r = PoolAdd(&copy);
    ShareBitmaps_ = keep;
    return r;
  }
  ++Pool_[size_t(Index)].RefCount;
  return Index;
}

void TCorvexVect::PoolRelease(int Index) {
  if (Index < 0 || Index >= static_cast<int>(Pool_.size())) return;
  PoolEntry& e = Pool_[size_t(Index)];
  if (e.RefCount > 0 && --e.RefCount == 0) {
    e.Bitmap.reset();
    ResampleCache_.clear();
  }
}

TBitmap* TCorvexVect::GetBitmap(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(Pool_.size())) return nullptr;
  return Pool_[size_t(Index)].Bitmap.get();
}

int TCorvexVect::GetBitmapRefCount(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(Pool_.size())) return 0;
  return Pool_[size_t(Index)].RefCount;
}

int TCorvexVect::FindBitmap(const TBitmap* Value) const {
  if (Value == nullptr) return -1;
  for (int i = static_cast<int>(Pool_.size()) - 1; i >= 0; --i) {
    const TBitmap* b = Pool_[size_t(i)].Bitmap.get();
    if (b != nullptr && (b == Value || SameBitmap(*b, *Value))) return i;
  }
  return -1;
}

TBitmap* TCorvexVect::GetObjBitmap(int h) const {
  const TCXVObject* o = Obj(h);
  return o != nullptr ? GetBitmap(o->BitmapIndex) : nullptr;
}

void TCorvexVect::SetObjBitmapNU(int h, const TBitmap* Value) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  const int old = o->BitmapIndex;
  // The new reference first: Value may be the pool's own bitmap of the old one.
  o->BitmapIndex = PoolAdd(Value);
  PoolRelease(old);
}

void TCorvexVect::SetObjBitmap(int h, const TBitmap* Value) {
  SetObjBitmapNU(h, Value);
  if (!IsTemplate(h) && Obj(h) != nullptr) ObjectsChanged();
}

void TCorvexVect::SetObjBitmapIdxNU(int h, int Index) {
  TCXVObject* o = Obj(h);
  if (o == nullptr) return;
  const int old = o->BitmapIndex;
  o->BitmapIndex = PoolAddRef(Index);
  PoolRelease(old);
}

void TCorvexVect::SetObjBitmapICO(int h, int IconId, int Width, int Height) {
  if (Obj(h) == nullptr) return;
  TBitmap icon;
  if (DrawStockIcon(icon, IconId, Width, Height)) SetObjBitmap(h, &icon);
}

void TCorvexVect::PackBMP() {
  std::vector<int> map(Pool_.size(), -1);
  std::vector<PoolEntry> packed;
  for (size_t i = 0; i < Pool_.size(); ++i) {
    if (!Pool_[i].Bitmap || Pool_[i].RefCount <= 0) continue;  // free entries (and unreferenced ones) go
    map[i] = static_cast<int>(packed.size());
    packed.push_back(std::move(Pool_[i]));
  }
  auto renumber = [&](TCXVObject& o) {
    if (o.BitmapIndex >= 0) o.BitmapIndex = o.BitmapIndex < static_cast<int>(map.size()) ? map[size_t(o.BitmapIndex)] : -1;
  };
  renumber(Template_);
  for (TCXVObject& o : Objects_)
    if (!o.Removed) renumber(o);
  Pool_ = std::move(packed);
  ResampleCache_.clear();
}

void TCorvexVect::SetBitmapResampleFilter(TResampleFilter Value) {
  if (BitmapResampleFilter_ == Value) return;
  BitmapResampleFilter_ = Value;
  ResampleCache_.clear();
  ObjectsChanged();
}

// --- Object selection

void TCorvexVect::AddSelObjectNS(int h) {
  if (h == kVectLastAdded) h = LastAdded_;
  if (h < 0 || Obj(h) == nullptr || IsSelObject(h)) return;
  SelObjects_.push_back(h);
}

void TCorvexVect::AddSelObject(int h) {
  AddSelObjectNS(h);
  OnSelectObject(this);
  ObjectsChanged();
}

void TCorvexVect::UnSelObject(int h) {
  if (h == kVectLastAdded) h = LastAdded_;
  const auto it = std::find(SelObjects_.begin(), SelObjects_.end(), h);
  if (it == SelObjects_.end()) return;
  SelObjects_.erase(it);
  OnSelectObject(this);
  ObjectsChanged();
}

void TCorvexVect::UnSelAllObjects() {
  SelObjects_.clear();
  OnSelectObject(this);
  ObjectsChanged();
}

void TCorvexVect::SelAllObjects() {
  SelObjects_.clear();
  for (int h : ZOrder_) {
    const TCXVObject& o = Objects_[size_t(h)];
    const auto in = [](int v) { return v >= 0 && v <= 1000000; };
    if (in(o.x1) && in(o.x2) && in(o.y1) && in(o.y2)) SelObjects_.push_back(h);
  }
  OnSelectObject(this);
  ObjectsChanged();
}

bool TCorvexVect::IsSelObject(int h) const {
  if (h == kVectLastAdded) h = LastAdded_;
  return std::find(SelObjects_.begin(), SelObjects_.end(), h) != SelObjects_.end();
}

int TCorvexVect::GetSelObjects(int i) const {
  return i >= 0 && i < static_cast<int>(SelObjects_.size()) ? SelObjects_[size_t(i)] : kVectNone;
}

void TCorvexVect::SelInRect(int h, int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  auto inside = [&](int k) {
    const TCXVObject& o = Objects_[size_t(k)];
    return std::min(o.x1, o.x2) >= x1 && std::max(o.x1, o.x2) <= x2 && std::min(o.y1, o.y2) >= y1 &&
           std::max(o.y1, o.y2) <= y2;
  };
  if (h == kVectAll) {
    for (int k : ZOrder_)
      if (inside(k)) AddSelObjectNS(k);
    return;
  }
  if (h == kVectLastAdded) h = LastAdded_;
  if (h >= 0 && Obj(h) != nullptr && inside(h)) AddSelObjectNS(h);
}

// --- Measuring

void TCorvexVect::CalcCoef() {
  auto coef = [this](int dpi) {
    if (MUnit_ == cxuPIXELS) return 1.0;
    const double c = 1.0 / (dpi > 0 ? dpi : 96);
    switch (MUnit_) {
      case cxuKM: return c * 2.54 / 100000;
      case cxuMETERS: return c * 2.54 / 100;
      case cxuCENTIMETERS: return c * 2.54;
      case cxuMILLIMETERS: return c * 2.54 * 10;
      default: return c;
    }
  };
  CoefX_ = coef(GetDPIX()) * Scale_;
  CoefY_ = coef(GetDPIY()) * Scale_;
}

void TCorvexVect::SetScale(double Value) {
  if (!(Value > 0) || !std::isfinite(Value)) return;
  Scale_ = Value;
  CalcCoef();
  ShowMeasureHint(-1, -1);
}

void TCorvexVect::SetScaleFromPixels(double Pixels, double Value) {
  if (!(Pixels > 0) || !(Value > 0)) return;
  const double unit = CoefX_ / Scale_;  // the coefficient at scale 1
  if (!(unit > 0)) return;
  SetScale(Value / Pixels / unit);
}

void TCorvexVect::SetScaleFromSelectionLen(double Value) {
  const double cx = CoefX_, cy = CoefY_;
  CoefX_ = CoefY_ = 1.0;
  const double len = GetSelectionLen();
  CoefX_ = cx;
  CoefY_ = cy;
  SetScaleFromPixels(Trunc(len), Value);
}

void TCorvexVect::SetMUnit(TCXUnits Value) {
  if (int(Value) > int(cxuMILLIMETERS)) return;
  MUnit_ = Value;
  CalcCoef();
  ShowMeasureHint(-1, -1);
}

void TCorvexVect::SetFloatPrecision(int Value) {
  FloatPrecision_ = std::clamp(Value, 1, 18);
  ShowMeasureHint(-1, -1);
}

void TCorvexVect::SetFloatDigits(int Value) {
  FloatDigits_ = std::clamp(Value, 0, 18);
  ShowMeasureHint(-1, -1);
}

void TCorvexVect::SetZoomObjectsWidth(bool Value) {
  if (ZoomObjectsWidth_ == Value) return;
  ZoomObjectsWidth_ = Value;
  ObjectsChanged();
}

void TCorvexVect::SetDPIX(int Value) {
  TCorvexView::SetDPIX(Value);
  CalcCoef();
  ShowMeasureHint(-1, -1);
}

void TCorvexVect::SetDPIY(int Value) {
  TCorvexView::SetDPIY(Value);
  CalcCoef();
  ShowMeasureHint(-1, -1);
}

namespace {
// The sub-polygons of a selection: [begin, end) ranges of real points between break markers.
std::vector<std::pair<int, int>> SubPolygons(const TPoint* p, int n) {
  std::vector<std::pair<int, int>> r;
  int s = 0;
  for (int i = 0; i <= n; ++i) {
    if (i == n || (p[i].X == CXSelBreak && p[i].Y == CXSelBreak)) {
      if (i > s) r.emplace_back(s, i);
      s = i + 1;
    }
  }
  return r;
}
}  // namespace

double TCorvexVect::GetSelectionLen() {
  const TPoint* p = GetPolySelArray();
  const int n = GetPolySelCount();
  if (p == nullptr || n <= 0) return 0;
  const auto parts = SubPolygons(p, n);
  const bool drawing = PolygonInProgress();
  auto seg = [this](TPoint a, TPoint b) {
    const double dx = CoefX_ * (double(b.X) - a.X), dy = CoefY_ * (double(b.Y) - a.Y);
    return std::sqrt(dx * dx + dy * dy);
  };
  double len = 0;
  for (size_t k = 0; k < parts.size(); ++k) {
    const auto [b, e] = parts[k];
    for (int i = b; i + 1 < e; ++i) len += seg(p[i], p[i + 1]);
    const bool open = drawing && k + 1 == parts.size();
    if (!open && e - b > 2) len += seg(p[e - 1], p[b]);
  }
  if (drawing && !parts.empty() && !(p[n - 1].X == CXSelBreak && p[n - 1].Y == CXSelBreak)) {
    const TPoint m{ClientToBmpX(LastMouse_.X), ClientToBmpY(LastMouse_.Y)};
    len += seg(p[n - 1], m);
  }
  return len;
}

double TCorvexVect::GetSelectionArea() {
  const TPoint* p = GetPolySelArray();
  const int n = GetPolySelCount();
  if (p == nullptr || n < 3) return 0;
  double area = 0;
  for (const auto& [b, e] : SubPolygons(p, n)) {
    double s = 0;
    for (int i = b; i < e; ++i) {
      const TPoint a = p[i], c = p[i + 1 < e ? i + 1 : b];
      s += CoefX_ * CoefY_ * (double(a.X) - c.X) * (double(c.Y) + a.Y);
    }
    area += std::fabs(s) / 2;  // each part's own area: parts never cancel each other
  }
  return area;
}

TPoint TCorvexVect::GetSelectionCentroid() {
  const TPoint* p = GetPolySelArray();
  const int n = GetPolySelCount();
  if (p == nullptr || n < 3) return TPoint{0, 0};
  const auto parts = SubPolygons(p, n);
  if (parts.empty() || parts[0].second - parts[0].first < 3) return TPoint{0, 0};
  const auto [b, e] = parts[0];
  double A = 0, sx = 0, sy = 0;
  for (int j = b; j < e; ++j) {
    const TPoint c = p[j], q = p[j == b ? e - 1 : j - 1];
    const double g = double(c.Y) * q.X - double(c.X) * q.Y;
    A += g;
    sx += g * (double(c.X) + q.X);
    sy += g * (double(c.Y) + q.Y);
  }
  if (A == 0) return TPoint{0, 0};
  return TPoint{Trunc(sx / (3 * A)), Trunc(sy / (3 * A))};
}

// Fixed-point with Precision significant digits and Digits decimals; a value with more integer
// digits than Precision is written in scientific form.
std::string TCorvexVect::MeasureText(double Value, bool Area) const {
  char buf[64];
  if (!std::isfinite(Value)) {
    std::snprintf(buf, sizeof buf, "%s", std::isnan(Value) ? "NAN" : (Value > 0 ? "INF" : "-INF"));
  } else {
    const double a = std::fabs(Value);
    const int intDigits = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 1;
    if (intDigits > FloatPrecision_) {
      std::snprintf(buf, sizeof buf, "%.*E", FloatPrecision_ - 1, Value);
    } else {
      // Rounded to the significant digits first, then written with the decimals asked for.
      const int decimals = std::min(FloatDigits_, FloatPrecision_ - intDigits);
      char tmp[64];
      std::snprintf(tmp, sizeof tmp, "%.*f", std::max(decimals, 0), Value);
      const double rounded = std::strtod(tmp, nullptr);
      std::snprintf(buf, sizeof buf, "%.*f", FloatDigits_, rounded == 0 ? 0.0 : rounded);
    }
  }
  std::string s = buf;
  s += ' ';
  s += strunits[std::min<int>(MUnit_, 5)];
  if (Area) s += "\xC2\xB2";  // superscript two
  return s;
}

// --- Events and repaint

void TCorvexVect::DoVectorialChanged() { OnVectorialChanged(this); }

void TCorvexVect::ObjectsChanged() { Update(); }

}  // namespace corvex
