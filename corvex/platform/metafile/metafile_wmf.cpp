// Windows metafile records: each record is a 32-bit size in 16-bit words, a 16-bit function
// number and the parameters, which are stored in the reverse order of the call's arguments
// (SetWindowOrg(x, y) is stored y, x). Parameters are read through bounds checks; a record too
// short for what it claims is skipped, except that a record creating an object always takes a
// slot in the object table so that later indices still meet their objects.
#include <algorithm>

#include "corvex/platform/metafile/metafile_pvt.h"

namespace corvex::metafile {

namespace {

// Points stored as (x, y) 16-bit pairs from Off, at most Count of those present.
std::vector<TPointD> Points16(const TBytes& r, size_t Off, size_t Count) {
  if (Off > r.N) return {};
  Count = std::min(Count, (r.N - Off) / 4);
  std::vector<TPointD> p(Count);
  for (size_t i = 0; i < Count; ++i) p[i] = {double(r.I16(Off + 4 * i)), double(r.I16(Off + 4 * i + 2))};
  return p;
}

TObjectDesc PenRecord(const TBytes& r) {
  TObjectDesc o;
  o.Kind = okPen;
  o.Pen.Style = r.U16(0) & 0x0F;
  o.Pen.Width = std::abs(int(r.I16(2)));
  o.Pen.Cosmetic = false;
  o.Pen.Color = TColor(r.U32(6) & 0xFFFFFF);
  return o;
}

TObjectDesc BrushRecord(const TBytes& r, const TPlayer& p) {
  TObjectDesc o;
  o.Kind = okBrush;
  const int style = r.U16(0);
  o.Brush.Color = p.Color(r.U32(2));
  o.Brush.Hatch = r.U16(6);
  o.Brush.Style = style == BS_NULL ? BS_NULL : style == BS_HATCHED ? BS_HATCHED : BS_SOLID;
  if (style == BS_PATTERN || style == BS_DIBPATTERN || style == BS_DIBPATTERNPT) o.Brush.Color = TColor(0x808080);
  return o;
}

TObjectDesc FontRecord(const TBytes& r) {
  TObjectDesc o;
  o.Kind = okFont;
  TFontDesc& f = o.Font;
  f.Device = false;
  f.Log.lfHeight = r.I16(0);
  f.Log.lfWidth = r.I16(2);
  f.Log.lfEscapement = r.I16(4);
  f.Log.lfOrientation = r.I16(6);
  f.Log.lfWeight = r.I16(8);
  f.Log.lfItalic = r.U8(10);
  f.Log.lfUnderline = r.U8(11);
  f.Log.lfStrikeOut = r.U8(12);
  f.Log.lfCharSet = r.U8(13);
  f.Log.lfPitchAndFamily = r.U8(17);
  std::vector<uint8_t> name;
  for (size_t i = 18; i < std::min<size_t>(r.N, 18 + 32) && r.U8(i) != 0; ++i) name.push_back(r.U8(i));
  for (const std::string& c : Ansi1252(name.data(), name.size())) f.Face += c;
  return o;
}

TObjectDesc PaletteRecord(const TBytes& r) {
  TObjectDesc o;
  o.Kind = okPalette;
  const size_t n = std::min<size_t>(r.U16(2), r.N >= 4 ? (r.N - 4) / 4 : 0);
  for (size_t i = 0; i < n; ++i) {
    const size_t at = 4 + 4 * i;
    o.Palette.push_back(uint32_t(r.U8(at)) | (uint32_t(r.U8(at + 1)) << 8) | (uint32_t(r.U8(at + 2)) << 16));
  }
  return o;
}

// A region object: scans of (left, right) pairs between a top and a bottom.
TObjectDesc RegionRecord(const TBytes& r) {
  TObjectDesc o;
  o.Kind = okRegion;
  const int scans = r.I16(10);
  size_t at = 22;
  for (int s = 0; s < scans && at + 6 <= r.N; ++s) {
    const int count = r.U16(at);
    const int top = r.I16(at + 2), bottom = r.I16(at + 4);
    const size_t pairs = size_t(count / 2);
    if (at + 6 + pairs * 4 > r.N) break;
    for (size_t k = 0; k < pairs; ++k)
      o.Rects.push_back(Rect(r.I16(at + 6 + 4 * k), top, r.I16(at + 8 + 4 * k), bottom));
    at += 6 + pairs * 4 + 2;
  }
  if (scans <= 0 && r.Has(14, 8)) o.Rects.push_back(Rect(r.I16(14), r.I16(16), r.I16(18), r.I16(20)));
  return o;
}

// A DIB record's bitmap onto a destination rectangle. Xs, Ys count from the image's bottom row
// for a bitmap stored bottom row first (the classic origin of a DIB's source rectangle).
void DibRecord(TPlayer& p, const TBytes& dib, int Usage, const std::vector<uint32_t>& palette, double xd, double yd,
               double wd, double hd, int xs, int ys, int ws, int hs, uint32_t rop) {
  TDib d;
  if (!ReadDib(dib, TBytes{}, Usage, palette, d)) return;
  if (!d.TopDown) ys = d.Height - ys - hs;
  p.StretchDib(d, xd, yd, wd, hd, xs, ys, ws, hs, rop);
}

void Record(TPlayer& p, uint16_t fn, const TBytes& r, std::vector<uint32_t>& palette) {
  const size_t n = r.N;
  switch (fn) {
    // Mapping.
    case 0x0103: if (n >= 2) p.SetMapMode(r.I16(0)); break;
    case 0x020B: if (n >= 4) p.SetWindowOrg(r.I16(2), r.I16(0)); break;
    case 0x020C: if (n >= 4) p.SetWindowExt(r.I16(2), r.I16(0)); break;
    case 0x020D: if (n >= 4) p.SetViewportOrg(r.I16(2), r.I16(0)); break;
    case 0x020E: if (n >= 4) p.SetViewportExt(r.I16(2), r.I16(0)); break;
    case 0x020F: if (n >= 4) p.OffsetWindowOrg(r.I16(2), r.I16(0)); break;
    case 0x0211: if (n >= 4) p.OffsetViewportOrg(r.I16(2), r.I16(0)); break;
    case 0x0410: if (n >= 8) p.ScaleWindowExt(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
    case 0x0412: if (n >= 8) p.ScaleViewportExt(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;

    // Attributes.
    case 0x0201: if (n >= 4) p.SetBkColor(r.U32(0)); break;
    case 0x0209: if (n >= 4) p.SetTextColor(r.U32(0)); break;
    case 0x0102: if (n >= 2) p.SetBkMode(r.U16(0)); break;
    case 0x0106: if (n >= 2) p.SetPolyFillMode(r.U16(0)); break;
    case 0x0104: if (n >= 2) p.SetRop2(r.U16(0)); break;
    case 0x012E: if (n >= 2) p.SetTextAlign(r.U16(0)); break;
    case 0x001E: p.SaveDC(); break;
    case 0x0127: if (n >= 2) p.RestoreDC(r.I16(0)); break;

    // Objects. Every creation takes a slot, well formed or not.
    case 0x02FA: p.CreateObject(PenRecord(r)); break;
    case 0x02FC: p.CreateObject(BrushRecord(r, p)); break;
    case 0x02FB: p.CreateObject(FontRecord(r)); break;
    case 0x00F7: p.CreateObject(PaletteRecord(r)); break;
    case 0x06FF: p.CreateObject(RegionRecord(r)); break;
    case 0x01F9: {  // a pattern brush of a device bitmap: drawn as a grey brush
      TObjectDesc o;
      o.Kind = okBrush;
      o.Brush.Color = TColor(0x808080);
      p.CreateObject(std::move(o));
      break;
    }
    case 0x0142: {  // a pattern brush of a DIB: drawn as a solid brush of its average colour
      TObjectDesc o;
      o.Kind = okBrush;
      o.Brush.Color = TColor(0x808080);
      TDib d;
      TColor c;
      if (ReadDib(r.Sub(4, n), TBytes{}, r.U16(2), palette, d) && p.AverageColor(d, c)) o.Brush.Color = c;
      p.CreateObject(std::move(o));
      break;
    }
    case 0x012D: if (n >= 2) p.SelectObject(r.U16(0)); break;
    case 0x0234: if (n >= 2) p.SelectObject(r.U16(0)); break;
    case 0x01F0: if (n >= 2) p.DeleteObject(r.U16(0)); break;

    // Clipping.
    case 0x012C: if (n >= 2) p.SelectClipRegion(r.U16(0)); break;
    case 0x0220: if (n >= 4) p.OffsetClip(r.I16(2), r.I16(0)); break;
    case 0x0415: if (n >= 8) p.ExcludeClipRect(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
    case 0x0416: if (n >= 8) p.IntersectClipRect(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;

    // Lines and shapes.
    case 0x0214: if (n >= 4) p.MoveTo(r.I16(2), r.I16(0)); break;
    case 0x0213: if (n >= 4) p.LineTo(r.I16(2), r.I16(0)); break;
    case 0x0325: if (n >= 2) p.Polyline(Points16(r, 2, r.U16(0))); break;
    case 0x0324:
      if (n >= 2) {
        std::vector<TPointD> pts = Points16(r, 2, r.U16(0));
        p.PolyPolygon(pts, {int(pts.size())});
      }
      break;
    case 0x0538: {
      const size_t polys = r.U16(0);
      if (n < 2 + 2 * polys) break;
      std::vector<int> counts;
      size_t total = 0;
      for (size_t i = 0; i < polys; ++i) {
        counts.push_back(r.U16(2 + 2 * i));
        total += size_t(counts.back());
      }
      p.PolyPolygon(Points16(r, 2 + 2 * polys, total), counts);
      break;
    }
    case 0x041B: if (n >= 8) p.Rectangle(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
    case 0x061C: if (n >= 12) p.RoundRect(r.I16(10), r.I16(8), r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
    case 0x0418: if (n >= 8) p.Ellipse(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
    case 0x0817:
    case 0x081A:
    case 0x0830:
      if (n >= 16) {
        const TPlayer::TArcKind k = fn == 0x0817 ? TPlayer::akArc : fn == 0x081A ? TPlayer::akPie : TPlayer::akChord;
        p.ArcShape(k, r.I16(14), r.I16(12), r.I16(10), r.I16(8), r.I16(6), r.I16(4), r.I16(2), r.I16(0));
      }
      break;
    case 0x041F: if (n >= 8) p.SetPixel(r.I16(6), r.I16(4), r.U32(0)); break;
    case 0x061D: if (n >= 12) p.PatBlt(r.I16(10), r.I16(8), r.I16(6), r.I16(4), r.U32(0)); break;
    case 0x0228:
    case 0x012B:
      // FillRegion (region, brush) and PaintRegion (region, the current brush) are not drawn:
      // regions are only used for clipping here.
      break;

    // Text.
    case 0x0521: {
      const size_t len = r.U16(0);
      if (n < 2 + len) break;
      const size_t at = 2 + ((len + 1) & ~size_t(1));
      if (n < at + 4) break;
      p.Text(r.I16(at + 2), r.I16(at), Ansi1252(r.P + 2, len), {}, 0, nullptr);
      break;
    }
    case 0x0A32: {
      if (n < 8) break;
      const double y = r.I16(0), x = r.I16(2);
      const size_t len = r.U16(4);
      const uint16_t opts = r.U16(6);
      size_t at = 8;
      double rect[4];
      const bool hasRect = (opts & (ETO_OPAQUE | ETO_CLIPPED)) != 0 && n >= 16;
      if (hasRect) {
        for (int i = 0; i < 4; ++i) rect[i] = r.I16(8 + 2 * size_t(i));
        at = 16;
      }
      if (n < at + len) break;
      std::vector<double> dx;
      const size_t dxAt = at + ((len + 1) & ~size_t(1));
      if (len > 0 && r.Has(dxAt, 2 * len))
        for (size_t i = 0; i < len; ++i) dx.push_back(r.I16(dxAt + 2 * i));
      p.Text(x, y, Ansi1252(r.P + at, len), dx, opts, hasRect ? rect : nullptr);
      break;
    }

    // Bitmaps.
    case 0x0F43:
      if (n >= 22)
        DibRecord(p, r.Sub(22, n), r.U16(4), palette, r.I16(20), r.I16(18), r.I16(16), r.I16(14), r.I16(12),
                  r.I16(10), r.I16(8), r.I16(6), r.U32(0));
      break;
    case 0x0B41:
    case 0x0B23:
      if (n == 22) {  // no bitmap: the brush
        p.PatBlt(r.I16(20), r.I16(18), r.I16(16), r.I16(14), r.U32(0));
      } else if (fn == 0x0B41 && n > 20) {
        DibRecord(p, r.Sub(20, n), 0, palette, r.I16(18), r.I16(16), r.I16(14), r.I16(12), r.I16(10), r.I16(8),
                  r.I16(6), r.I16(4), r.U32(0));
      }
      break;
    case 0x0940:
    case 0x0922:
      if (n == 18) {
        p.PatBlt(r.I16(16), r.I16(14), r.I16(12), r.I16(10), r.U32(0));
      } else if (fn == 0x0940 && n > 16) {
        const int w = r.I16(10), h = r.I16(8);
        DibRecord(p, r.Sub(16, n), 0, palette, r.I16(14), r.I16(12), w, h, r.I16(6), r.I16(4), w, h, r.U32(0));
      }
      break;
    case 0x0D33:
      if (n > 18) {
        // The bits hold ScanCount rows from StartScan, counted from the bottom.
        TDib d;
        if (!ReadDib(r.Sub(18, n), TBytes{}, r.U16(0), palette, d, r.U16(2))) break;
        const int w = r.I16(12), h = r.I16(10), ys = r.I16(6) - r.U16(4);
        p.StretchDib(d, r.I16(16), r.I16(14), w, h, r.I16(8), d.TopDown ? ys : d.Height - ys - h, w, h, 0x00CC0020u);
      }
      break;
    default:
      break;  // escapes, palettes animation, flood fills and the rest: skipped
  }
}

void Run(const uint8_t* Data, size_t Size, const THeaderInfo& Info, TPlayer& p) {
  const TBytes all{Data, Size};
  std::vector<uint32_t> palette;  // the last palette created, for DIB colour tables of indices
  size_t off = Info.RecordsStart;
  while (off + 6 <= Size && !p.Stopped()) {
    const uint32_t words = all.U32(off);
    const uint16_t fn = all.U16(off + 4);
    if (fn == 0 || words < 3 || uint64_t(words) * 2 > Size - off) break;  // the end, or a broken size
    if (!p.CountRecord()) break;
    const TBytes r = all.Sub(off + 6, size_t(words) * 2 - 6);
    if (fn == 0x00F7) palette = PaletteRecord(r).Palette;
    Record(p, fn, r, palette);
    off += size_t(words) * 2;
  }
}

}  // namespace

void PlayWMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, TCanvas* Canvas, const TRect& Dest) {
  TPlayer p(Canvas, Dest, Info);
  Run(Data, Size, Info, p);
}

bool MeasureWMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, double& L, double& T, double& R, double& B) {
  TPlayer p(nullptr, TRect{}, Info);
  Run(Data, Size, Info, p);
  bool any = false;
  p.MeasuredBounds(L, T, R, B, any);
  return any;
}

}  // namespace corvex::metafile
