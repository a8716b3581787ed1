// TMetafile: loading (headers, size of the picture), bitmaps inside records and the text
// encodings of the records. The records are played in metafile_wmf.cpp and metafile_emf.cpp.
#include "corvex/platform/metafile/metafile.h"

#include <algorithm>
#include <cmath>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/metafile/metafile_pvt.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/streams/streams.h"

namespace corvex {

namespace metafile {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr int kMaxPictureSide = 1 << 20;        // pixels a picture may report

int ScreenDpiX() { return gSystemDPIX > 0 ? gSystemDPIX : 96; }
int ScreenDpiY() { return gSystemDPIY > 0 ? gSystemDPIY : 96; }

int SidePixels(double v) { return int(std::clamp(Round(std::fabs(v)), 0, kMaxPictureSide)); }

bool IsWmfHeader(const TBytes& b, size_t off) {
  const uint16_t type = b.U16(off), headerWords = b.U16(off + 2);
  return b.Has(off, 18) && (type == 1 || type == 2) && headerWords == 9;
}

// Records of a WMF that set up the drawing without drawing anything.
bool IsWmfSetupRecord(uint16_t fn) {
  switch (fn) {
    case 0x0103: case 0x020B: case 0x020C: case 0x020D: case 0x020E: case 0x0102: case 0x0104: case 0x0106:
    case 0x0107: case 0x012E: case 0x0201: case 0x0209: case 0x02FA: case 0x02FB: case 0x02FC: case 0x012D:
    case 0x01F0: case 0x0626: case 0x00F7: case 0x0234: case 0x0035: case 0x0231:
    case 0x0108: case 0x020A: case 0x0105: case 0x0149: case 0x0142: case 0x01F9: case 0x06FF: case 0x012C:
    case 0x0416: case 0x0415:
      return true;
    default:
      return false;
  }
}

// Some writers put the drawing partly outside the window they give it (shifted, or larger). A
// picture that would lose more than a small part of itself that way is framed by the bounds of
// what it draws instead, as other metafile readers do; its reported size stays.
void FitFrameToDrawing(const TBytes& b, THeaderInfo& info) {
  if (info.FrameR <= info.FrameL || info.FrameB <= info.FrameT) return;
  double l = 0, t = 0, r = 0, bt = 0;
  if (!MeasureWMF(b.P, b.N, info, l, t, r, bt) || r <= l || bt <= t) return;
  const double w = info.FrameR - info.FrameL, h = info.FrameB - info.FrameT, tol = 0.05;
  if (l < info.FrameL - tol * w || r > info.FrameR + tol * w || t < info.FrameT - tol * h || bt > info.FrameB + tol * h) {
    info.FrameL = l, info.FrameT = t, info.FrameR = r, info.FrameB = bt;
  }
}

bool ReadWmfHeader(const TBytes& b, THeaderInfo& info, std::string& error) {
  const bool placeable = b.U32(0) == kPlaceableKey;
  const size_t off = placeable ? 22 : 0;
  if (!IsWmfHeader(b, off)) {
    error = placeable ? "the placeable header is not followed by a metafile header" : "unknown file header";
    return false;
  }
  info.Enhanced = false;
  info.RecordsStart = off + 18;
  info.ObjectCount = b.U16(off + 10);
  info.DpiX = ScreenDpiX();
  info.DpiY = ScreenDpiY();
  if (placeable) {
    int l = b.I16(6), t = b.I16(8), r = b.I16(10), bt = b.I16(12);
    if (r < l) std::swap(l, r);
    if (bt < t) std::swap(t, bt);
    int inch = b.U16(14);
    if (inch == 0) inch = 1440;
    if (r > l && bt > t) {
      // The bounds, in logical units, fill the picture: inch units make an inch of the screen.
      const double w = double(r - l) * info.DpiX / inch, h = double(bt - t) * info.DpiY / inch;
      info.MapMode = MM_ANISOTROPIC;
      info.WinOrgX = l, info.WinOrgY = t, info.WinExtX = r - l, info.WinExtY = bt - t;
      info.VpOrgX = 0, info.VpOrgY = 0, info.VpExtX = w, info.VpExtY = h;
      info.FrameL = 0, info.FrameT = 0, info.FrameR = w, info.FrameB = h;
      info.Width = SidePixels(w);
      info.Height = SidePixels(h);
      info.MMWidth = MulDiv(r - l, 2540, inch);
      info.MMHeight = MulDiv(bt - t, 2540, inch);
      info.Inch = inch;
      FitFrameToDrawing(b, info);
      return true;
    }
    // Empty bounds: sized like a plain metafile.
  }

  // A plain metafile: the window its first records set up is the picture, in pixels (or the
  // viewport they give it); without one, the bounds of what it draws.
  bool haveWinOrg = false, haveWinExt = false, haveVpOrg = false, haveVpExt = false;
  int mode = 0;
  double wox = 0, woy = 0, wex = 0, wey = 0, vox = 0, voy = 0, vex = 0, vey = 0;
  size_t pos = info.RecordsStart;
  for (int n = 0; n < 4096 && pos + 6 <= b.N; ++n) {
    const uint32_t words = b.U32(pos);
    const uint16_t fn = b.U16(pos + 4);
    if (words < 3 || uint64_t(words) * 2 > b.N - pos || fn == 0 || !IsWmfSetupRecord(fn)) break;
    const size_t p = pos + 6;
    if (words >= 4 && fn == 0x0103 && mode == 0) mode = b.I16(p);
    if (words >= 5) {
      const double y = b.I16(p), x = b.I16(p + 2);
      if (fn == 0x020B && !haveWinOrg) wox = x, woy = y, haveWinOrg = true;
      if (fn == 0x020C && !haveWinExt && x != 0 && y != 0) wex = x, wey = y, haveWinExt = true;
      if (fn == 0x020D && !haveVpOrg) vox = x, voy = y, haveVpOrg = true;
      if (fn == 0x020E && !haveVpExt && x != 0 && y != 0) vex = x, vey = y, haveVpExt = true;
    }
    pos += size_t(words) * 2;
  }
  const bool scalable = mode == 0 || mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC;
  if (haveWinExt && scalable) {
    info.MapMode = mode == MM_ISOTROPIC ? MM_ISOTROPIC : MM_ANISOTROPIC;
    info.WinOrgX = wox, info.WinOrgY = woy, info.WinExtX = wex, info.WinExtY = wey;
    if (haveVpExt) {
      info.VpOrgX = vox, info.VpOrgY = voy, info.VpExtX = vex, info.VpExtY = vey;
    } else {
      info.VpOrgX = 0, info.VpOrgY = 0, info.VpExtX = std::fabs(wex), info.VpExtY = std::fabs(wey);
    }
    info.FrameL = std::min(info.VpOrgX, info.VpOrgX + info.VpExtX);
    info.FrameR = std::max(info.VpOrgX, info.VpOrgX + info.VpExtX);
    info.FrameT = std::min(info.VpOrgY, info.VpOrgY + info.VpExtY);
    info.FrameB = std::max(info.VpOrgY, info.VpOrgY + info.VpExtY);
  } else {
    info.MapMode = MM_TEXT;
    double l = 0, t = 0, r = 0, bt = 0;
    if (MeasureWMF(b.P, b.N, info, l, t, r, bt)) {
      info.FrameL = std::floor(l), info.FrameT = std::floor(t);
      info.FrameR = std::max(std::ceil(r), info.FrameL + 1), info.FrameB = std::max(std::ceil(bt), info.FrameT + 1);
    }
  }
  info.Width = SidePixels(info.FrameR - info.FrameL);
  info.Height = SidePixels(info.FrameB - info.FrameT);
  FitFrameToDrawing(b, info);
  info.MMWidth = MulDiv(info.Width, 2540, ScreenDpiX());
  info.MMHeight = MulDiv(info.Height, 2540, ScreenDpiY());
  return true;
}

bool ReadEmfHeader(const TBytes& b, THeaderInfo& info, std::string& error) {
  const uint32_t size = b.U32(4);
  if (size < 88 || size > b.N) {
    error = "the enhanced metafile header is truncated";
    return false;
  }
  info.Enhanced = true;
  info.RecordsStart = 0;
  info.ObjectCount = b.U16(56);
  const int32_t bl = b.I32(8), bt = b.I32(12), br = b.I32(16), bb = b.I32(20);
  const int32_t fl = b.I32(24), ft = b.I32(28), fr = b.I32(32), fb = b.I32(36);
  const int32_t devX = b.I32(72), devY = b.I32(76), mmX = b.I32(80), mmY = b.I32(84);
  // Pixels per millimetre of the reference device.
  double pmX = devX > 0 && mmX > 0 ? double(devX) / mmX : 96 / 25.4;
  double pmY = devY > 0 && mmY > 0 ? double(devY) / mmY : 96 / 25.4;
  pmX = std::clamp(pmX, 1e-3, 1e5);
  pmY = std::clamp(pmY, 1e-3, 1e5);
  info.DpiX = pmX * 25.4;
  info.DpiY = pmY * 25.4;
  info.MapMode = MM_TEXT;
  if (fr > fl && fb > ft) {
    // The frame, in hundredths of a millimetre, on the reference device.
    info.FrameL = fl * pmX / 100, info.FrameT = ft * pmY / 100;
    info.FrameR = fr * pmX / 100, info.FrameB = fb * pmY / 100;
    info.MMWidth = int(std::min<int64_t>(int64_t(fr) - fl, 1 << 30));
    info.MMHeight = int(std::min<int64_t>(int64_t(fb) - ft, 1 << 30));
  } else if (br >= bl && bb >= bt) {
    // No frame: the bounds of the drawing, in device pixels (inclusive).
    info.FrameL = bl, info.FrameT = bt, info.FrameR = double(br) + 1, info.FrameB = double(bb) + 1;
    info.MMWidth = Round((info.FrameR - info.FrameL) / pmX * 100);
    info.MMHeight = Round((info.FrameB - info.FrameT) / pmY * 100);
  }
  info.Width = SidePixels((info.FrameR - info.FrameL) / info.DpiX * ScreenDpiX());
  info.Height = SidePixels((info.FrameB - info.FrameT) / info.DpiY * ScreenDpiY());
  (void)error;
  return true;
}

}  // namespace

bool ReadHeader(const uint8_t* Data, size_t Size, THeaderInfo& Info, std::string& Error) {
  Info = THeaderInfo{};
  const TBytes b{Data, Size};
  if (Size < 18) {
    Error = "the file is too short";
    return false;
  }
  if (b.U32(0) == 1 && b.U32(40) == kEmfSignature) return ReadEmfHeader(b, Info, Error);
  return ReadWmfHeader(b, Info, Error);
}

// ---------------------------------------------------------------------------------------------
// Bitmaps

namespace {

constexpr int32_t kMaxDibSide = 1 << 16;
constexpr int64_t kMaxExpandedPixels = int64_t(1) << 24;

// Run-length encoded rows (8 or 4 bits a pixel, bottom row first) into 8-bit indices.
bool ExpandRle(const TBytes& src, int bits, int32_t w, int32_t h, TDib& d) {
  if (int64_t(w) * h > kMaxExpandedPixels) return false;
  d.RowLen = (size_t(w) + 3) & ~size_t(3);
  d.Expanded.assign(d.RowLen * size_t(h), 0);
  int64_t x = 0, y = 0;  // y counts from the bottom row, which is stored first
  size_t i = 0;
  auto put = [&](unsigned v) {
    if (x < w && y < h) d.Expanded[size_t(y) * d.RowLen + size_t(x)] = uint8_t(v);
    ++x;
  };
  while (i + 1 < src.N && y < h) {
    const unsigned n = src.U8(i), v = src.U8(i + 1);
    i += 2;
    if (n > 0) {
      for (unsigned k = 0; k < n && x < w; ++k) put(bits == 8 ? v : (k & 1) ? (v & 15) : (v >> 4));
      continue;
    }
    if (v == 0) {
      x = 0, ++y;
    } else if (v == 1) {
      break;
    } else if (v == 2) {
      x += src.U8(i), y += src.U8(i + 1);
      i += 2;
    } else {
      const size_t bytes = bits == 8 ? v : (v + 1) / 2;
      for (unsigned k = 0; k < v; ++k) {
        const unsigned b = src.U8(i + (bits == 8 ? k : k / 2));
        put(bits == 8 ? b : (k & 1) ? (b & 15) : (b >> 4));
      }
      i += (bytes + 1) & ~size_t(1);
    }
  }
  d.Rows = d.Expanded.data();
  d.Bits = 8;
  d.TopDown = false;
  return true;
}

}  // namespace

bool ReadDib(TBytes Info, TBytes Bits, int Usage, const std::vector<uint32_t>& Palette, TDib& d, int BandRows) {
  d = TDib{};
  const uint32_t hs = Info.U32(0);
  int32_t w, h;
  int bits;
  uint32_t compression = 0, used = 0;
  size_t entry = 4;
  if (hs == 12 && Info.Has(0, 12)) {
    w = Info.U16(4), h = Info.U16(6), bits = Info.U16(10);
    entry = 3;
  } else if (hs >= 40 && Info.Has(0, hs)) {
    w = Info.I32(4), h = Info.I32(8), bits = Info.U16(14);
    compression = Info.U32(16), used = Info.U32(32);
  } else {
    return false;
  }
  if (w <= 0 || h == 0 || w > kMaxDibSide || h > kMaxDibSide || h < -kMaxDibSide) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  d.TopDown = h < 0;
  if (h < 0) h = -h;
  d.Width = w, d.Height = h, d.Bits = bits;
  size_t tableAt = hs;
  if (compression == BI_BITFIELDS) {
    if (bits != 16 && bits != 32) return false;
    const size_t at = hs >= 52 ? 40 : hs;
    if (!Info.Has(at, 12)) return false;
    for (int c = 0; c < 3; ++c) d.Masks[c] = Info.U32(at + 4 * size_t(c));
    if ((d.Masks[0] | d.Masks[1] | d.Masks[2]) == 0) return false;
    if (hs < 52) tableAt += 12;
  } else if (compression == BI_RLE8 || compression == BI_RLE4) {
    if (bits != (compression == BI_RLE8 ? 8 : 4) || d.TopDown) return false;
  } else if (compression != BI_RGB) {
    return false;
  }
  // The colour table: RGB quads (triples in the old header), or indices into the palette.
  size_t tableEntries = 0;
  if (bits <= 8) {
    const uint32_t max = 1u << bits;
    tableEntries = used == 0 || used > max ? max : used;
  } else {
    tableEntries = std::min<uint32_t>(used, 256);
  }
  if (Usage == 1) entry = 2;
  if (bits <= 8) {
    d.PaletteCount = int(tableEntries);
    for (size_t i = 0; i < tableEntries; ++i) {
      const size_t at = tableAt + i * entry;
      TRGBQuad& q = d.Palette[i];
      if (Usage == 1) {
        const size_t k = Info.U16(at);
        const uint32_t c = k < Palette.size() ? Palette[k] : 0;
        q = TRGBQuad{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
      } else if (Info.Has(at, entry)) {
        q = TRGBQuad{Info.U8(at), Info.U8(at + 1), Info.U8(at + 2), 0};
      }
    }
  }
  const size_t bitsAt = tableAt + tableEntries * entry;
  TBytes px = Bits.P != nullptr ? Bits : Info.Sub(bitsAt, Info.N);
  if (Bits.P == nullptr && bitsAt > Info.N) return false;
  if (compression == BI_RLE8 || compression == BI_RLE4) return ExpandRle(px, bits, w, h, d);
  if (BandRows > 0 && BandRows < h) d.Height = h = BandRows;
  d.RowLen = size_t(((uint64_t(w) * uint64_t(bits) + 31) >> 5) << 2);
  if (uint64_t(d.RowLen) * uint64_t(h) > px.N) return false;
  d.Rows = px.P;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Text encodings

namespace {

void PutUtf8(std::string& s, uint32_t cp) {
  if (cp < 0x80) {
    s += char(cp);
  } else if (cp < 0x800) {
    s += char(0xC0 | (cp >> 6));
    s += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += char(0xE0 | (cp >> 12));
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  } else {
    s += char(0xF0 | (cp >> 18));
    s += char(0x80 | ((cp >> 12) & 0x3F));
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
}

std::string Char(uint32_t cp) {
  std::string s;
  if (cp != 0) PutUtf8(s, cp);  // a terminating zero draws nothing but keeps its advance
  return s;
}

}  // namespace

std::vector<std::string> Ansi1252(const uint8_t* S, size_t N) {
  static constexpr uint16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::vector<std::string> out;
  out.reserve(N);
  for (size_t i = 0; i < N; ++i) {
    const uint8_t c = S[i];
    out.push_back(Char(c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : c));
  }
  return out;
}

std::vector<std::string> Utf16(const uint8_t* S, size_t N, std::vector<int>* Units) {
  std::vector<std::string> out;
  for (size_t i = 0; i < N; ++i) {
    const uint32_t u = uint32_t(S[2 * i]) | (uint32_t(S[2 * i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < N) {
      const uint32_t v = uint32_t(S[2 * i + 2]) | (uint32_t(S[2 * i + 3]) << 8);
      if (v >= 0xDC00 && v < 0xE000) {
        out.push_back(Char(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00)));
        if (Units != nullptr) Units->push_back(2);
        ++i;
        continue;
      }
    }
    out.push_back(Char(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u));
    if (Units != nullptr) Units->push_back(1);
  }
  return out;
}

}  // namespace metafile

// ---------------------------------------------------------------------------------------------
// TMetafile

namespace {
constexpr int64_t kMaxMetafileBytes = int64_t(256) << 20;
}

TMetafile::TMetafile() = default;
TMetafile::~TMetafile() = default;

void TMetafile::Clear() {
  Data_.clear();
  Info_.reset();
  Enhanced_ = false;
  Width_ = Height_ = MMWidth_ = MMHeight_ = Inch_ = 0;
  Changed(this);
}

void TMetafile::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(&f);
}

void TMetafile::LoadFromStream(TStream* Stream) {
  if (Stream == nullptr) return;
  const int64_t start = Stream->GetPosition();
  const int64_t avail = std::max<int64_t>(Stream->GetSize() - start, 0);
  if (avail > kMaxMetafileBytes) {
    Clear();
    throw EInvalidGraphic("Invalid metafile: larger than " + std::to_string(kMaxMetafileBytes >> 20) + " MB");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(avail));
  bytes.resize(static_cast<size_t>(Stream->Read(bytes.data(), avail)));
  // Only as much as the header says belongs to the metafile (when that much is there).
  const metafile::TBytes b{bytes.data(), bytes.size()};
  uint64_t declared = 0;
  if (b.U32(0) == 1 && b.U32(40) == 0x464D4520) {
    declared = b.U32(48);
  } else {
    const size_t off = b.U32(0) == 0x9AC6CDD7 ? 22 : 0;
    declared = uint64_t(b.U32(off + 6)) * 2 + off;
  }
  if (declared >= 18 && declared < bytes.size()) bytes.resize(size_t(declared));
  Stream->Seek(start + int64_t(bytes.size()), soBeginning);
  LoadFromBytes(std::move(bytes));
}

void TMetafile::LoadFromBytes(std::vector<uint8_t> Bytes) {
  metafile::THeaderInfo info;
  std::string error;
  if (!metafile::ReadHeader(Bytes.data(), Bytes.size(), info, error)) {
    Clear();
    throw EInvalidGraphic("Invalid metafile: " + error);
  }
  Data_ = std::move(Bytes);
  Info_ = std::make_shared<const metafile::THeaderInfo>(info);
  Enhanced_ = info.Enhanced;
  Width_ = info.Width;
  Height_ = info.Height;
  MMWidth_ = info.MMWidth;
  MMHeight_ = info.MMHeight;
  Inch_ = info.Inch;
  Changed(this);
}

void TMetafile::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
  f.Flush();
}

void TMetafile::SaveToStream(TStream* Stream) const {
  if (Stream != nullptr && !Data_.empty()) Stream->WriteBuffer(Data_.data(), int64_t(Data_.size()));
}

void TMetafile::SetWidth(int Value) {
  Width_ = std::max(Value, 0);
  MMWidth_ = MulDiv(Width_, 2540, gSystemDPIX > 0 ? gSystemDPIX : 96);
  Changed(this);
}

void TMetafile::SetHeight(int Value) {
  Height_ = std::max(Value, 0);
  MMHeight_ = MulDiv(Height_, 2540, gSystemDPIY > 0 ? gSystemDPIY : 96);
  Changed(this);
}

void TMetafile::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  const auto* m = dynamic_cast<const TMetafile*>(Source);
  if (m == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (m == this) return;
  Data_ = m->Data_;
  Info_ = m->Info_;
  Enhanced_ = m->Enhanced_;
  Width_ = m->Width_, Height_ = m->Height_;
  MMWidth_ = m->MMWidth_, MMHeight_ = m->MMHeight_;
  Inch_ = m->Inch_;
  Changed(this);
}

void TMetafile::Play(TCanvas* Canvas, const TRect& Dest) const {
  if (Canvas == nullptr || Data_.empty() || !Info_ || Dest.Left == Dest.Right || Dest.Top == Dest.Bottom) return;
  const metafile::THeaderInfo& info = *Info_;
  if (info.FrameR <= info.FrameL || info.FrameB <= info.FrameT) return;
  Canvas->Lock();
  if (info.Enhanced) metafile::PlayEMF(Data_.data(), Data_.size(), info, Canvas, Dest);
  else metafile::PlayWMF(Data_.data(), Data_.size(), info, Canvas, Dest);
  Canvas->Unlock();
}

void TMetafile::Draw(TCanvas* Canvas, const TRect& Rect) const { Play(Canvas, Rect); }

}  // namespace corvex
