// Shared routines: whole-bitmap and rectangle copies, bit copies, the export of a region as a
// packed device-independent bitmap, plane-geometry tests, and the small containers and stream
// helpers the components use (lists of fixed-size items, a byte buffer, an integer hash set, a
// stream that only counts bytes, string persistence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "corvex/core/defs.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/streams/streams.h"

namespace corvex {

class TComponent;

// ---------------------------------------------------------------------------------------------
// Bitmap copies

// Dest becomes an exact copy of Source's pixel block (padding included) with Source's format;
// an empty Source leaves Dest 1 x 1. The palette of 1-bit images is the fixed one.
void CXCopyBitmap(const TBitmap* Source, TBitmap* Dest);
// A new bitmap filled by CXCopyBitmap; the caller owns it.
TBitmap* CXCloneBitmap(const TBitmap* Source);
// Copies the rectangle (x1, y1) inclusive to (x2, y2) exclusive into Dest, which takes the size
// of the rectangle and Source's format. x2 = 0 / y2 = 0 mean Source's width / height; larger
// values are cut to it. 24-bit and 1-bit pixels are copied; other formats are only sized.
void _CopyBitmapRect(const TBitmap* Source, TBitmap* Dest, int x1, int y1, int x2, int y2);
// Copies BitCount bits, most significant first, from Source at bit SourceBitOffset to Dest at
// bit DestBitOffset; the other bits of the first and last touched bytes of Dest are kept.
void _CopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset, int64_t BitCount,
               int64_t SourceBitOffset);
// A global memory block with a packed DIB of the rectangle: 40-byte header (biHeight positive,
// bottom row first), for 1-bit images the black and white colour table, then the rows. The
// rectangle is cut to the bitmap. The caller owns the block.
HGLOBAL _CopyBitmaptoDIB(const TBitmap* Bitmap, int x1, int y1, int x2, int y2);

// ---------------------------------------------------------------------------------------------
// Plane geometry

bool _InRect(int x, int y, int x1, int y1, int x2, int y2);
bool _InRectO(int x, int y, int x1, int y1, int x2, int y2);
bool _RectXRect(int ax1, int ay1, int ax2, int ay2, int bx1, int by1, int bx2, int by2);
// 1: S = (x3, y3)-(x4, y4) crosses the border of R = (x1, y1)-(x2, y2); 2: S is inside R;
// 0 otherwise (disjoint, or S encloses R).
int _RectPRect(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
double _DistPoint2Point(int x1, int y1, int x2, int y2);
double _DistPoint2Line(int px, int py, int x1, int y1, int x2, int y2);
double _DistPoint2Seg(int px, int py, int x1, int y1, int x2, int y2);
// Snaps (x, y) to the horizontal, vertical or 45-degree direction from the anchor (x0, y0).
void _CastPolySelCC(int x0, int y0, int& x, int& y);

// ---------------------------------------------------------------------------------------------
// Lists of fixed-size items

enum TCXListChange { cxlItems, cxlRange, cxlCurrentValue };
using TCXListChanges = TSet<TCXListChange>;

class TCXList : public TObject {
 public:
  explicit TCXList(int ItemSize = 1);
  ~TCXList() override = default;

  // Reallocates to exactly N items, keeping the first ones (new items are zero).
  virtual void SetCount(int N);
  virtual void Delete(int Index);
  virtual void Clear();
  virtual void Assign(const TCXList* Source);

  int GetCount() const { return Count_; }
  int GetItemSize() const { return ItemSize_; }
  TCXListChanges Changed;

  int AddItem(const void* Item);
  // An Index at or beyond Count appends.
  void InsertItem(int Index, const void* Item);
  int IndexOfItem(const void* Item) const;
  // Address of an item; nullptr outside 0 .. Count-1.
  void* BaseGetItem(int Index);
  const void* BaseGetItem(int Index) const;
  void BaseSetItem(int Index, const void* Item);

 protected:
  void ResetItems(int ItemSize);

 private:
  std::vector<uint8_t> Data_;
  int Count_ = 0;
  int ItemSize_ = 1;
};

// A list of 32-bit integers with a value range and a current value.
class TCXIntegerList : public TCXList {
 public:
  TCXIntegerList() : TCXList(4) {}
  void Clear() override;
  void Assign(const TCXList* Source) override;

  int Add(int32_t Value) { return AddItem(&Value); }
  void Insert(int Index, int32_t Value) { InsertItem(Index, &Value); }
  int IndexOf(int32_t Value) const { return IndexOfItem(&Value); }
  int32_t GetItem(int Index) const;
  void SetItem(int Index, int32_t Value) { BaseSetItem(Index, &Value); }

  int32_t GetRangeMin() const { return RangeMin_; }
  int32_t GetRangeMax() const { return RangeMax_; }
  int32_t GetRangeStep() const { return RangeStep_; }
  int32_t GetCurrentValue() const { return CurrentValue_; }
  void SetRangeMin(int32_t v) { RangeMin_ = v; Changed.Include(cxlRange); }
  void SetRangeMax(int32_t v) { RangeMax_ = v; Changed.Include(cxlRange); }
  void SetRangeStep(int32_t v) { RangeStep_ = v; Changed.Include(cxlRange); }
  void SetCurrentValue(int32_t v) { CurrentValue_ = v; Changed.Include(cxlCurrentValue); }

 private:
  int32_t RangeMin_ = 0, RangeMax_ = 0, RangeStep_ = 0, CurrentValue_ = 0;
};

// A list of 64-bit floats with a value range and a current value.
class TCXDoubleList : public TCXList {
 public:
  TCXDoubleList() : TCXList(8) {}
  void Clear() override;
  void Assign(const TCXList* Source) override;

  int Add(double Value) { return AddItem(&Value); }
  void Insert(int Index, double Value) { InsertItem(Index, &Value); }
  int IndexOf(double Value) const { return IndexOfItem(&Value); }
  double GetItem(int Index) const;
  void SetItem(int Index, double Value) { BaseSetItem(Index, &Value); }

  double GetRangeMin() const { return RangeMin_; }
  double GetRangeMax() const { return RangeMax_; }
  double GetRangeStep() const { return RangeStep_; }
  double GetCurrentValue() const { return CurrentValue_; }
  void SetRangeMin(double v) { RangeMin_ = v; Changed.Include(cxlRange); }
  void SetRangeMax(double v) { RangeMax_ = v; Changed.Include(cxlRange); }
  void SetRangeStep(double v) { RangeStep_ = v; Changed.Include(cxlRange); }
  void SetCurrentValue(double v) { CurrentValue_ = v; Changed.Include(cxlCurrentValue); }

 private:
  double RangeMin_ = 0, RangeMax_ = 0, RangeStep_ = 0, CurrentValue_ = 0;
};

// A list of records of a size given at construction.
class TCXRecordList : public TCXList {
 public:
  explicit TCXRecordList(int RecordSize) : TCXList(RecordSize), RecordSize_(RecordSize) {}
  void Clear() override;

  int Add(const void* Record) { return AddItem(Record); }
  void Insert(int Index, const void* Record) { InsertItem(Index, Record); }
  int IndexOf(const void* Record) const { return IndexOfItem(Record); }
  void* GetItem(int Index) { return BaseGetItem(Index); }
  void SetItem(int Index, const void* Record) { BaseSetItem(Index, Record); }

 private:
  int RecordSize_;
};

// ---------------------------------------------------------------------------------------------
// A growable byte buffer with a fixed growth block.

class TCXByteArray : public TObject {
 public:
  static constexpr int kBlock = 8192;

  TCXByteArray() { Clear(); }

  uint8_t* GetData() { return Data_.data(); }
  const uint8_t* GetData() const { return Data_.data(); }
  int GetSize() const { return Size_; }
  int GetCapacity() const { return static_cast<int>(Data_.size()); }
  // Grows within the capacity in place, else reallocates to N + 8192; shrinking reallocates to
  // N + 8192 once N falls below capacity - 2 * 8192. Contents up to the old size are kept.
  void SetSize(int N);
  void AddByte(uint8_t B);
  // Appends up to N bytes read from Stream; returns how many were read.
  int AppendFromStream(TStream* Stream, int N);
  void Clear();

 private:
  void Reallocate(int Capacity);
  std::vector<uint8_t> Data_;
  int Size_ = 0;
};

// ---------------------------------------------------------------------------------------------
// A hash set of 32-bit keys in 2^Bits buckets; key k goes to bucket k and (2^Bits - 1).

class THash1 : public TObject {
 public:
  explicit THash1(int Bits);

  uint32_t HashFunc(uint32_t Key) const { return Key & Mask_; }
  // True when Key was not present (it is then stored).
  bool Insert(uint32_t Key);
  bool KeyPresent(uint32_t Key) const;
  int GetCount() const { return Count_; }

 private:
  enum : uint8_t { kEmpty = 0, kInline = 1, kChain = 2 };
  uint32_t Mask_;
  std::vector<uint8_t> State_;
  std::vector<uint32_t> Inline_;                // the key of a bucket in state kInline
  std::vector<std::vector<uint32_t>> Chains_;   // sorted keys of a bucket in state kChain
  int Count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// A stream that keeps no data: it counts what would be written, to measure a file's size.

class TNulStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return Size_; }
  void SetSize(int64_t NewSize) override;
  std::string Describe() const override { return "null stream"; }

 private:
  int64_t Pos_ = 0;
  int64_t Size_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Stream and file helpers

// A 32-bit little-endian length, then the bytes of the text.
void SaveStringToStream(TStream* Stream, const std::string& Text);
// Reads what SaveStringToStream wrote. Raises EReadError when the length is negative or larger
// than what the stream still holds.
void LoadStringFromStream(TStream* Stream, std::string& Text);
// The size of a file in bytes, or -1 when it cannot be opened for reading.
int64_t _getfilesize(const std::string& FileName);

// The window handle of Component when it is a windowed control, else of its nearest owner that
// is one; 0 when there is none.
uintptr_t CXFindHandle(const TComponent* Component);

}  // namespace corvex
