// The vector layer's files: the CXV stream (versions 3 to 6 read, version 5 written) and the
// import of text DXF drawings.
//
// A CXV block: "CXVn", the 32-bit length of the block, Scale (double), the bitmap pool (count,
// then per entry a reference count and, when it is above 0, the bitmap as a PNG stream), then a
// zlib stream holding the object count and the object records in z-order. Every integer is
// little-endian.
//
// Loading never trusts the stream: every read is bounded by the data present, counts and indices
// are checked, and the whole block is parsed into a staging area first. Only a block that parsed
// completely replaces the objects, the pool and Scale; a damaged one leaves the layer as it was.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <string_view>

#include <zlib.h>

#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/view/CXVect.h"

namespace corvex {

namespace {

// ---------------------------------------------------------------------------------------------
// Limits of what a stream may ask for

constexpr int64_t kMaxCXVObjects = 1 << 20;    // records in one block, nested ones included
constexpr int64_t kMaxCXVPool = 1 << 16;       // pool entries
constexpr int64_t kMaxCXVString = 1 << 24;     // bytes of one name or text
constexpr int kMaxCXVNesting = 32;             // groups inside groups
constexpr int64_t kMaxDXFBytes = int64_t(1) << 30;

// Raised by the bounded reader for anything a block cannot be: cut, inconsistent or out of range.
struct Damaged {};

// Reads exactly the bytes asked for, or raises Damaged.
class Reader {
 public:
  explicit Reader(TStream* S) : s_(S) {}
  void Bytes(void* p, int64_t n) {
    if (n <= 0) return;
    if (s_->Read(p, n) != n) throw Damaged{};
  }
  uint8_t U8() {
    uint8_t v;
    Bytes(&v, 1);
    return v;
  }
  uint32_t U32() {
    uint8_t b[4];
    Bytes(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  double F64() {
    uint8_t b[8];
    Bytes(b, 8);
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = u << 8 | b[i];
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }
  // A count of 0 .. Max stored as 32 bits; 2^31 and above are damage, as is anything over Max.
  int64_t Count(int64_t Max) {
    const uint32_t n = U32();
    if (n > uint32_t(std::numeric_limits<int32_t>::max()) || int64_t(n) > Max) throw Damaged{};
    return n;
  }
  // A length-prefixed string, read in pieces so that a false length costs no more memory than the
  // data actually present.
  std::string String() {
    const int64_t n = Count(kMaxCXVString);
    std::string s;
    char buf[4096];
    for (int64_t done = 0; done < n;) {
      const int64_t k = std::min<int64_t>(n - done, sizeof buf);
      Bytes(buf, k);
      s.append(buf, size_t(k));
      done += k;
    }
    return s;
  }

 private:
  TStream* s_;
};

class Writer {
 public:
  explicit Writer(TStream* S) : s_(S) {}
  void Bytes(const void* p, int64_t n) {
    if (n > 0) s_->WriteBuffer(p, n);
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
    Bytes(b, 8);
  }
  void String(const std::string& s) {
    U32(uint32_t(s.size()));
    Bytes(s.data(), int64_t(s.size()));
  }

 private:
  TStream* s_;
};

// The compressed part, read through zlib's inflate with its input pulled from the source stream
// in pieces. Raises Damaged for corrupt data; at the end of the data it reads nothing more.
class InflateStream : public TStream {
 public:
  explicit InflateStream(TStream* Source) : src_(Source), in_(kChunk) {
    if (inflateInit(&z_) != Z_OK) throw Damaged{};
  }
  ~InflateStream() override { inflateEnd(&z_); }
  int64_t Read(void* Buffer, int64_t Count) override {
    if (Count <= 0 || ended_) return 0;
    z_.next_out = static_cast<Bytef*>(Buffer);
    z_.avail_out = uInt(std::min<int64_t>(Count, 1 << 30));
    const uInt wanted = z_.avail_out;
    while (z_.avail_out > 0 && !ended_) {
      if (z_.avail_in == 0) {
        const int64_t got = src_->Read(in_.data(), int64_t(in_.size()));
        if (got <= 0) break;  // cut: the caller sees a short read
        z_.next_in = in_.data();
        z_.avail_in = uInt(got);
      }
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) ended_ = true;
      else if (rc != Z_OK && rc != Z_BUF_ERROR) throw Damaged{};
      else if (rc == Z_BUF_ERROR && z_.avail_in > 0) throw Damaged{};
    }
    return int64_t(wanted - z_.avail_out);
  }
  int64_t Write(const void*, int64_t) override { throw Damaged{}; }
  // True when the compressed data ended with its checksum right after what was read.
  bool Complete() {
    uint8_t extra;
    return Read(&extra, 1) == 0 && ended_;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Offset == 0 && Origin == soCurrent) return int64_t(z_.total_out);
    throw Damaged{};
  }

 private:
  static constexpr size_t kChunk = 65536;
  TStream* src_;
  std::vector<Bytef> in_;
  z_stream z_{};
  bool ended_ = false;
};

// The 60-byte logical-font record, field by field in the stream's byte order.
void WriteFont(Writer& w, const TLogFont& f) {
  w.I32(f.lfHeight);
  w.I32(f.lfWidth);
  w.I32(f.lfEscapement);
  w.I32(f.lfOrientation);
  w.I32(f.lfWeight);
  const uint8_t b[8] = {f.lfItalic,       f.lfUnderline,     f.lfStrikeOut, f.lfCharSet,
                        f.lfOutPrecision, f.lfClipPrecision, f.lfQuality,   f.lfPitchAndFamily};
  w.Bytes(b, 8);
  w.Bytes(f.lfFaceName, sizeof f.lfFaceName);
}

TLogFont ReadFont(Reader& r) {
  TLogFont f;
  f.lfHeight = r.I32();
  f.lfWidth = r.I32();
  f.lfEscapement = r.I32();
  f.lfOrientation = r.I32();
  f.lfWeight = r.I32();
  uint8_t b[8];
  r.Bytes(b, 8);
  f.lfItalic = b[0], f.lfUnderline = b[1], f.lfStrikeOut = b[2], f.lfCharSet = b[3];
  f.lfOutPrecision = b[4], f.lfClipPrecision = b[5], f.lfQuality = b[6], f.lfPitchAndFamily = b[7];
  r.Bytes(f.lfFaceName, sizeof f.lfFaceName);
  f.lfFaceName[sizeof f.lfFaceName - 1] = '\0';  // the stream's name may run to the end
  return f;
}

// An 8-bit enumeration value, refused when it is past the last member.
template <typename E>
E Enum(Reader& r, int Last) {
  const uint8_t v = r.U8();
  if (v > Last) throw Damaged{};
  return static_cast<E>(v);
}

// Versions the reader knows: 3 .. 6; 0 for anything else.
int CXVVersion(const char m[4]) {
  if (m[0] != 'C' || m[1] != 'X' || m[2] != 'V' || m[3] < '3' || m[3] > '6') return 0;
  return m[3] - '0';
}

// A parsed block, not yet part of any view.
struct Staged {
  double Scale = 1.0;
  std::vector<std::unique_ptr<TBitmap>> Pool;  // null for entries stored without a bitmap
  std::vector<TCXVObject> Objects;             // z-order, bottom first; indices into Pool
};

void ReadRecord(Reader& r, int Version, Staged& st, int Depth, int64_t& Records) {
  if (++Records > kMaxCXVObjects) throw Damaged{};
  TCXVObject o;  // the fields a record does not carry keep these defaults
  o.x1 = r.I32();
  o.y1 = r.I32();
  o.x2 = r.I32();
  o.y2 = r.I32();
  o.Kind = Enum<TCXVObjectKind>(r, cxkRULER);
  o.Name = r.String();
  o.ID = r.I32();
  o.PenColor = r.I32();
  o.PenStyle = Enum<TPenStyle>(r, psInsideFrame);
  o.PenWidth = r.I32();
  o.BrushColor = r.I32();
  o.BrushStyle = Enum<TBrushStyle>(r, bsDiagCross);
  o.Style = TCXVStyle::FromBits(r.U8() & 0x0F);
  o.BitmapIndex = -1;
  switch (o.Kind) {
    case cxkNONE: {
      // A group: its members follow and take its place.
      if (Depth >= kMaxCXVNesting) throw Damaged{};
      const int64_t n = r.Count(kMaxCXVObjects);
      for (int64_t i = 0; i < n; ++i) ReadRecord(r, Version, st, Depth + 1, Records);
      return;
    }
    case cxkLINE:
      o.BeginShape = Enum<TCXShape>(r, cxsOUTARROW);
      o.EndShape = Enum<TCXShape>(r, cxsOUTARROW);
      o.ShapeWidth = r.I32();
      o.ShapeHeight = r.I32();
      break;
    case cxkARC:
      o.StartAngle = r.F64();
      o.EndAngle = r.F64();
      if (!std::isfinite(o.StartAngle) || !std::isfinite(o.EndAngle)) throw Damaged{};
      break;
    case cxkBITMAP: {
      const int32_t i = r.I32();
      if (i != -1 && (i < 0 || size_t(i) >= st.Pool.size() || !st.Pool[size_t(i)])) throw Damaged{};
      o.BitmapIndex = i;
      break;
    }
    case cxkTEXT:
      if (Version >= 4) o.TextAlign = Enum<TCXTextAlign>(r, taCenter);
      o.Text = r.String();
      o.HasFont = r.U8() != 0;
      if (o.HasFont) o.Font = ReadFont(r);
      break;
    case cxkRULER:
      if (Version >= 5) {
        o.RulerUnit = Enum<TCXUnits>(r, cxuMILLIMETERS);
        o.RulerType = Enum<TCXVRulerType>(r, cxrtQUOTEEND);
      }
      break;
    default: break;
  }
  st.Objects.push_back(std::move(o));
}

void WriteRecord(Writer& w, const TCXVObject& o) {
  w.I32(o.x1);
  w.I32(o.y1);
  w.I32(o.x2);
  w.I32(o.y2);
  w.U8(o.Kind);
  w.String(o.Name);
  w.I32(o.ID);
  w.I32(o.PenColor);
  w.U8(uint8_t(o.PenStyle));
  w.I32(o.PenWidth);
  w.I32(o.BrushColor);
  w.U8(uint8_t(o.BrushStyle));
  w.U8(uint8_t(o.Style.Bits() & 0x0F));
  switch (o.Kind) {
    case cxkNONE: w.U32(0); break;  // a group without members
    case cxkLINE:
      w.U8(o.BeginShape);
      w.U8(o.EndShape);
      w.I32(o.ShapeWidth);
      w.I32(o.ShapeHeight);
      break;
    case cxkARC:
      w.F64(o.StartAngle);
      w.F64(o.EndAngle);
      break;
    case cxkBITMAP: w.I32(o.BitmapIndex); break;
    case cxkTEXT:
      w.U8(o.TextAlign);
      w.String(o.Text);
      w.U8(o.HasFont ? 1 : 0);
      if (o.HasFont) WriteFont(w, o.Font);
      break;
    case cxkRULER:
      w.U8(o.RulerUnit);
      w.U8(o.RulerType);
      break;
    default: break;
  }
}

// Parses a whole block at the stream's position (the magic already read).
void ParseCXV(TStream* Stream, int Version, Staged& st) {
  Reader r(Stream);
  (void)r.U32();  // the block's length: the block is read to its end anyway
  st.Scale = r.F64();
  if (!(st.Scale > 0) || !std::isfinite(st.Scale)) throw Damaged{};
  const int64_t n = r.Count(kMaxCXVPool);
  for (int64_t i = 0; i < n; ++i) {
    const int32_t refs = r.I32();
    if (refs <= 0) {
      st.Pool.emplace_back();
      continue;
    }
    auto b = std::make_unique<TBitmap>();
    TIOParamsVals params;
    TProgressRec progress;
    bool failed = false;
    progress.Aborting = &failed;
    if (!IsPNGStream(Stream)) throw Damaged{};
    ReadPNGStream(Stream, b.get(), params, progress, false);
    if (failed || b->GetEmpty()) throw Damaged{};
    st.Pool.push_back(std::move(b));
  }
  InflateStream z(Stream);
  Reader zr(&z);
  const int64_t count = zr.Count(kMaxCXVObjects);
  int64_t records = 0;
  for (int64_t i = 0; i < count; ++i) ReadRecord(zr, Version, st, 0, records);
  if (!z.Complete()) throw Damaged{};  // cut before the checksum, or records left over
}

// ---------------------------------------------------------------------------------------------
// DXF

struct DXFEntity {
  TCXVObjectKind Kind;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // line: the ends; circle and arc: the centre and radius in x2
  double a1 = 0, a2 = 360;                 // arc: degrees
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A number in the drawing's notation (always '.' for the decimals, whatever the locale).
bool ParseNumber(std::string_view s, double& v) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
}

bool ParseCode(std::string_view s, int& v) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

struct DXFDrawing {
  bool HasMin = false, HasMax = false;
  double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  std::vector<DXFEntity> Entities;
};

// Reads the group pairs of a text DXF file; false for a file that is not one or is damaged.
bool ParseDXF(const std::string& Text, DXFDrawing& d) {
  std::vector<std::pair<int, std::string_view>> groups;
  std::string_view rest(Text);
  if (rest.size() >= 3 && static_cast<unsigned char>(rest[0]) == 0xEF && static_cast<unsigned char>(rest[1]) == 0xBB &&
      static_cast<unsigned char>(rest[2]) == 0xBF)
    rest.remove_prefix(3);  // a UTF-8 mark
  auto nextLine = [&rest](std::string_view& line) {
    if (rest.empty()) return false;
    const size_t nl = rest.find('\n');
    line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    return true;
  };
  std::string_view codeLine, valueLine;
  while (nextLine(codeLine)) {
    if (Trim(codeLine).empty() && rest.empty()) break;  // the file's last line break
    int code;
    if (!ParseCode(codeLine, code) || !nextLine(valueLine)) return false;
    groups.emplace_back(code, Trim(valueLine));
  }

  enum { None, Header, Entities, Other } section = None;
  bool sawSection = false, sawEOF = false;
  for (size_t i = 0; i < groups.size() && !sawEOF;) {
    const auto [code, value] = groups[i];
    if (code == 0 && value == "SECTION") {
      if (i + 1 >= groups.size() || groups[i + 1].first != 2) return false;
      const std::string_view name = groups[i + 1].second;
      section = name == "HEADER" ? Header : name == "ENTITIES" ? Entities : Other;
      sawSection = true;
      i += 2;
      continue;
    }
    if (code == 0 && value == "ENDSEC") {
      section = None;
      ++i;
      continue;
    }
    if (code == 0 && value == "EOF") {
      sawEOF = true;
      break;
    }
    if (section == Header && code == 9 && (value == "$EXTMIN" || value == "$EXTMAX")) {
      const bool min = value == "$EXTMIN";
      double x = 0, y = 0;
      size_t j = i + 1;
      bool hx = false, hy = false;
      for (; j < groups.size() && groups[j].first != 9 && groups[j].first != 0; ++j) {
        double v;
        if (groups[j].first == 10 || groups[j].first == 20 || groups[j].first == 30) {
          if (!ParseNumber(groups[j].second, v)) return false;
          if (groups[j].first == 10) x = v, hx = true;
          if (groups[j].first == 20) y = v, hy = true;
        }
      }
      if (hx && hy) {
        if (min) d.HasMin = true, d.MinX = x, d.MinY = y;
        else d.HasMax = true, d.MaxX = x, d.MaxY = y;
      }
      i = j;
      continue;
    }
    if (section == Entities && code == 0 && (value == "LINE" || value == "CIRCLE" || value == "ARC")) {
      DXFEntity e;
      e.Kind = value == "LINE" ? cxkLINE : value == "CIRCLE" ? cxkELLIPSE : cxkARC;
      size_t j = i + 1;
      for (; j < groups.size() && groups[j].first != 0; ++j) {
        const int c = groups[j].first;
        double* target = nullptr;
        switch (c) {
          case 10: target = &e.x1; break;
          case 20: target = &e.y1; break;
          case 11: target = e.Kind == cxkLINE ? &e.x2 : nullptr; break;
          case 21: target = e.Kind == cxkLINE ? &e.y2 : nullptr; break;
          case 40: target = e.Kind != cxkLINE ? &e.x2 : nullptr; break;
          case 50: target = e.Kind == cxkARC ? &e.a1 : nullptr; break;
          case 51: target = e.Kind == cxkARC ? &e.a2 : nullptr; break;
          default: break;
        }
        if (target != nullptr && !ParseNumber(groups[j].second, *target)) return false;
      }
      if (e.Kind != cxkLINE && e.x2 < 0) return false;  // a negative radius
      d.Entities.push_back(e);
      i = j;
      continue;
    }
    ++i;
  }
  return sawSection && sawEOF;  // a drawing cut short has no end marker
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CXV

void TCorvexVect::SaveToStreamCXV(TStream* Stream) {
  PackBMP();
  Writer w(Stream);
  const int64_t start = Stream->GetPosition();
  w.Bytes("CXV5", 4);
  w.U32(0);  // the length, written last
  w.F64(Scale_);
  w.U32(uint32_t(Pool_.size()));
  for (size_t i = 0; i < Pool_.size(); ++i) {
    const PoolEntry& e = Pool_[i];
    int refs = e.Bitmap ? e.RefCount : 0;
    if (Template_.BitmapIndex == int(i) && refs > 0) --refs;  // the template is not saved
    w.I32(refs);
    if (refs <= 0) continue;
    TIOParamsVals params;
    if (e.Bitmap->GetPixelFormat() == pf1bit) {
      params.BitsPerSample = 1;
      params.SamplesPerPixel = 1;
    } else {
      params.BitsPerSample = 8;
      params.SamplesPerPixel = 3;
    }
    TProgressRec progress;
    WritePNGStream(Stream, e.Bitmap.get(), params, progress);
  }
  {
    // The records, then the whole of them deflated at zlib's default level.
    TMemoryStream records;
    Writer rw(&records);
    rw.U32(uint32_t(ZOrder_.size()));
    for (int h : ZOrder_) WriteRecord(rw, Objects_[size_t(h)]);
    uLongf packed = compressBound(uLong(records.GetSize()));
    std::vector<Bytef> out(packed);
    if (compress2(out.data(), &packed, records.Memory(), uLong(records.GetSize()), Z_DEFAULT_COMPRESSION) != Z_OK)
      throw EWriteError("cannot compress the vector objects");
    w.Bytes(out.data(), int64_t(packed));
  }
  const int64_t end = Stream->GetPosition();
  Stream->SetPosition(start + 4);
  w.U32(uint32_t(end - start));
  Stream->SetPosition(end);
}

bool TCorvexVect::LoadFromStreamCXV(TStream* Stream) {
  if (Stream == nullptr) return false;
  Staged st;
  try {
    char magic[4];
    if (Stream->Read(magic, 4) != 4) return false;
    const int version = CXVVersion(magic);
    if (version == 0) return false;
    ParseCXV(Stream, version, st);
  } catch (const Damaged&) {
    return false;
  } catch (const std::exception&) {
    return false;  // corrupt compressed data, a stream error, memory refused
  }

  // Commit. The template's bitmap is set aside while the pool is replaced, then put back.
  CancelInteracts();
  std::unique_ptr<TBitmap> templateBitmap;
  const int ti = Template_.BitmapIndex;
  if (ti >= 0 && size_t(ti) < Pool_.size() && Pool_[size_t(ti)].Bitmap) {
    templateBitmap = std::make_unique<TBitmap>();
    CXCopyBitmap(Pool_[size_t(ti)].Bitmap.get(), templateBitmap.get());
  }
  RemoveAllObjects();
  if (Template_.BitmapIndex >= 0) PoolRelease(Template_.BitmapIndex);
  Template_.BitmapIndex = -1;
  Pool_.clear();
  Pool_.resize(st.Pool.size());
  for (size_t i = 0; i < st.Pool.size(); ++i) Pool_[i].Bitmap = std::move(st.Pool[i]);
  const bool share = ShareBitmaps_;
  ShareBitmaps_ = true;
  for (TCXVObject& o : st.Objects) {
    const int index = o.BitmapIndex;
    o.BitmapIndex = -1;
    const int h = AddNewObject();
    TCXVObject* t = Obj(h);
    if (t == nullptr) continue;
    if (t->BitmapIndex >= 0) PoolRelease(t->BitmapIndex);  // whatever the new object was given
    *t = std::move(o);
    if (index >= 0) t->BitmapIndex = PoolAddRef(index);
  }
  // Entries no object took are freed.
  for (PoolEntry& e : Pool_)
    if (e.RefCount <= 0) {
      e.Bitmap.reset();
      e.RefCount = 0;
    }
  if (templateBitmap) Template_.BitmapIndex = PoolAdd(templateBitmap.get());
  ShareBitmaps_ = share;
  SetScale(st.Scale);
  DoVectorialChanged();
  Update();
  return true;
}

void TCorvexVect::SaveToFileCXV(const std::string& FileName) {
  // Written beside the target and renamed over it, so that a failed save keeps the old file.
  const std::string temp = FileName + ".tmp";
  try {
    TFileStream f(temp, fmCreate);
    SaveToStreamCXV(&f);
    f.Flush();
  } catch (...) {
    std::remove(temp.c_str());
    throw;
  }
  if (std::rename(temp.c_str(), FileName.c_str()) != 0) {
    std::remove(temp.c_str());
    throw EFCreateError("cannot create file \"" + FileName + "\"");
  }
}

bool TCorvexVect::LoadFromFileCXV(const std::string& FileName) {
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadFromStreamCXV(&f);
  } catch (const std::exception&) {
    return false;
  }
}

// ---------------------------------------------------------------------------------------------
// DXF

bool TCorvexVect::ImportDXF(const std::string& FileName) {
  DXFDrawing d;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    const int64_t size = f.GetSize();
    if (size <= 0 || size > kMaxDXFBytes) return false;
    std::string text(size_t(size), '\0');
    f.ReadBuffer(text.data(), size);
    if (!ParseDXF(text, d)) return false;
  } catch (const std::exception&) {
    return false;
  }

  // The drawing's extents: the header's, or, when they are missing or empty, the entities' own.
  double minX = d.MinX, minY = d.MinY, maxX = d.MaxX, maxY = d.MaxY;
  if (!d.HasMin || !d.HasMax || !(maxX > minX) || !(maxY > minY)) {
    bool first = true;
    auto add = [&](double x, double y) {
      if (first) minX = maxX = x, minY = maxY = y, first = false;
      minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    };
    for (const DXFEntity& e : d.Entities) {
      if (e.Kind == cxkLINE) {
        add(e.x1, e.y1);
        add(e.x2, e.y2);
      } else {
        add(e.x1 - e.x2, e.y1 - e.x2);
        add(e.x1 + e.x2, e.y1 + e.x2);
      }
    }
  }
  // Onto the bitmap, aspect ratio kept, centred; DXF's y goes up, the bitmap's down.
  const TBitmap* bmp = TCorvexView::GetBitmap();
  const double bw = bmp != nullptr && bmp->GetWidth() > 0 ? bmp->GetWidth() - 1 : 0;
  const double bh = bmp != nullptr && bmp->GetHeight() > 0 ? bmp->GetHeight() - 1 : 0;
  const double ew = maxX - minX, eh = maxY - minY;
  double s = 1;
  if (bw > 0 && bh > 0) {
    if (ew > 0 && eh > 0) s = std::min(bw / ew, bh / eh);
    else if (ew > 0) s = bw / ew;
    else if (eh > 0) s = bh / eh;
  }
  if (!std::isfinite(s) || s <= 0) return false;
  const double ox = bw > 0 ? (bw - ew * s) / 2 : 0, oy = bh > 0 ? (bh - eh * s) / 2 : 0;
  bool fits = true;
  auto coord = [&fits](double v) {
    if (!(std::fabs(v) < 1e9)) {
      fits = false;
      return 0;
    }
    return Round(v);
  };
  auto mx = [&](double x) { return coord(ox + (x - minX) * s); };
  auto my = [&](double y) { return coord(oy + (maxY - y) * s); };

  struct Placed {
    TCXVObjectKind Kind;
    int x1, y1, x2, y2;
    double a1, a2;
  };
  std::vector<Placed> placed;
  for (const DXFEntity& e : d.Entities) {
    Placed p{e.Kind, 0, 0, 0, 0, 0, 2 * std::numbers::pi};
    if (e.Kind == cxkLINE) {
      p.x1 = mx(e.x1), p.y1 = my(e.y1), p.x2 = mx(e.x2), p.y2 = my(e.y2);
    } else {
      p.x1 = mx(e.x1 - e.x2), p.y1 = my(e.y1 + e.x2), p.x2 = mx(e.x1 + e.x2), p.y2 = my(e.y1 - e.x2);
      if (e.Kind == cxkARC) {
        // Counter-clockwise from the start to the end angle, in radians; the end is kept above
        // the start so that the sweep is their difference.
        p.a1 = std::fmod(e.a1, 360.0) * std::numbers::pi / 180;
        p.a2 = std::fmod(e.a2, 360.0) * std::numbers::pi / 180;
        if (p.a1 < 0) p.a1 += 2 * std::numbers::pi;
        if (p.a2 < 0) p.a2 += 2 * std::numbers::pi;
        if (p.a2 <= p.a1) p.a2 += 2 * std::numbers::pi;
      }
    }
    placed.push_back(p);
  }
  if (!fits) return false;

  for (const Placed& p : placed) {
    const int h = AddNewObject();
    TCXVObject* o = Obj(h);
    if (o == nullptr) continue;
    o->Kind = p.Kind;
    o->x1 = p.x1, o->y1 = p.y1, o->x2 = p.x2, o->y2 = p.y2;
    if (p.Kind == cxkARC) o->StartAngle = p.a1, o->EndAngle = p.a2;
  }
  if (!placed.empty()) {
    DoVectorialChanged();
    Update();
  }
  return true;
}

}  // namespace corvex
