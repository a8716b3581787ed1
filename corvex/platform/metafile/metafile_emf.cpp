// Enhanced metafile records: each record is a 32-bit type and a 32-bit size in bytes (the whole
// record), then its fields; offsets to bitmaps and strings count from the record's start. Every
// field is read through bounds checks against the record; objects live at the indices the
// records give, in a table of the size the header asks for.
#include <algorithm>

#include "corvex/platform/metafile/metafile_pvt.h"

namespace corvex::metafile {

namespace {

enum : uint32_t {
  EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5, EMR_POLYLINETO = 6,
  EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8, EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10,
  EMR_SETVIEWPORTEXTEX = 11, EMR_SETVIEWPORTORGEX = 12, EMR_EOF = 14, EMR_SETPIXELV = 15, EMR_SETMAPMODE = 17,
  EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20, EMR_SETTEXTALIGN = 22, EMR_SETTEXTCOLOR = 24,
  EMR_SETBKCOLOR = 25, EMR_OFFSETCLIPRGN = 26, EMR_MOVETOEX = 27, EMR_EXCLUDECLIPRECT = 29,
  EMR_INTERSECTCLIPRECT = 30, EMR_SCALEVIEWPORTEXTEX = 31, EMR_SCALEWINDOWEXTEX = 32, EMR_SAVEDC = 33,
  EMR_RESTOREDC = 34, EMR_SETWORLDTRANSFORM = 35, EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37,
  EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ANGLEARC = 41, EMR_ELLIPSE = 42,
  EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_ARC = 45, EMR_CHORD = 46, EMR_PIE = 47, EMR_SELECTPALETTE = 48,
  EMR_CREATEPALETTE = 49, EMR_LINETO = 54, EMR_ARCTO = 55, EMR_POLYDRAW = 56, EMR_SETARCDIRECTION = 57,
  EMR_BEGINPATH = 59, EMR_ENDPATH = 60, EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62, EMR_STROKEANDFILLPATH = 63,
  EMR_STROKEPATH = 64, EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH = 68, EMR_EXTSELECTCLIPRGN = 75, EMR_BITBLT = 76,
  EMR_STRETCHBLT = 77, EMR_SETDIBITSTODEVICE = 80, EMR_STRETCHDIBITS = 81, EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTA = 83, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85, EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87,
  EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89, EMR_POLYPOLYLINE16 = 90, EMR_POLYPOLYGON16 = 91,
  EMR_POLYDRAW16 = 92, EMR_CREATEMONOBRUSH = 93, EMR_CREATEDIBPATTERNBRUSHPT = 94, EMR_EXTCREATEPEN = 95,
  EMR_SMALLTEXTOUT = 108
};

constexpr uint32_t ETO_NO_RECT = 0x100, ETO_SMALL_CHARS = 0x200;

// Points from Off: 32-bit pairs, or 16-bit pairs with Small; at most Count of those present.
std::vector<TPointD> Points(const TBytes& r, size_t Off, size_t Count, bool Small) {
  const size_t each = Small ? 4 : 8;
  if (Off > r.N) return {};
  Count = std::min(Count, (r.N - Off) / each);
  std::vector<TPointD> p(Count);
  for (size_t i = 0; i < Count; ++i) {
    const size_t at = Off + each * i;
    p[i] = Small ? TPointD{double(r.I16(at)), double(r.I16(at + 2))} : TPointD{double(r.I32(at)), double(r.I32(at + 4))};
  }
  return p;
}

// A bitmap given by offsets and sizes inside the record.
bool RecordDib(const TBytes& r, size_t OffBmi, size_t CbBmi, size_t OffBits, size_t CbBits, int Usage,
               const std::vector<uint32_t>& Palette, TDib& d, int BandRows = 0) {
  const uint32_t offBmi = r.U32(OffBmi), cbBmi = r.U32(CbBmi), offBits = r.U32(OffBits), cbBits = r.U32(CbBits);
  if (cbBmi == 0 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits)) return false;
  return ReadDib(r.Sub(offBmi, cbBmi), r.Sub(offBits, cbBits), Usage, Palette, d, BandRows);
}

// Rectangles of region data (a 32-byte header with the count, then the rectangles).
std::vector<TRect> RegionRects(const TBytes& rgn) {
  std::vector<TRect> out;
  const size_t hs = std::max<uint32_t>(rgn.U32(0), 32);
  const size_t count = std::min<size_t>(rgn.U32(8), rgn.N >= hs ? (rgn.N - hs) / 16 : 0);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = hs + 16 * i;
    out.push_back(Rect(rgn.I32(at), rgn.I32(at + 4), rgn.I32(at + 8), rgn.I32(at + 12)));
  }
  return out;
}

TXForm XForm(const TBytes& r, size_t at) {
  return TXForm{r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
}

// The text of ExtTextOut (the EMRTEXT at Off): characters, advances, options, rectangle.
void TextRecord(TPlayer& p, const TBytes& r, size_t Off, bool Wide) {
  if (!r.Has(Off, 20)) return;
  const double x = r.I32(Off), y = r.I32(Off + 4);
  const size_t chars = r.U32(Off + 8), offString = r.U32(Off + 12);
  const uint32_t opts = r.U32(Off + 16);
  double rect[4];
  const bool hasRect = (opts & ETO_NO_RECT) == 0 && r.Has(Off + 20, 16);
  if (hasRect)
    for (int i = 0; i < 4; ++i) rect[i] = r.I32(Off + 20 + 4 * size_t(i));
  const size_t offDx = r.U32(Off + ((opts & ETO_NO_RECT) == 0 ? 36 : 20));
  const size_t unit = Wide ? 2 : 1;
  if (chars == 0 || chars > r.N || !r.Has(offString, chars * unit)) return;
  std::vector<int> units;
  std::vector<std::string> text = Wide ? Utf16(r.P + offString, chars, &units) : Ansi1252(r.P + offString, chars);
  if (!Wide) units.assign(text.size(), 1);
  // Advances, one per unit (pairs of x and y with ETO_PDY; the y part is not used).
  std::vector<double> dx;
  const size_t step = (opts & ETO_PDY) != 0 ? 8 : 4;
  if (offDx != 0 && r.Has(offDx, chars * step)) {
    size_t k = 0;
    for (int u : units) {
      double a = 0;
      for (int j = 0; j < u; ++j, ++k) a += r.I32(offDx + k * step);
      dx.push_back(a);
    }
  }
  const bool rectUsed = hasRect && (opts & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
  p.Text(x, y, text, dx, opts, rectUsed ? rect : nullptr);
}

void Record(TPlayer& p, uint32_t type, const TBytes& r, std::vector<uint32_t>& palette) {
  const size_t n = r.N;
  switch (type) {
    case EMR_HEADER: break;

    // Mapping.
    case EMR_SETMAPMODE: if (n >= 12) p.SetMapMode(int(r.U32(8))); break;
    case EMR_SETWINDOWEXTEX: if (n >= 16) p.SetWindowExt(r.I32(8), r.I32(12)); break;
    case EMR_SETWINDOWORGEX: if (n >= 16) p.SetWindowOrg(r.I32(8), r.I32(12)); break;
    case EMR_SETVIEWPORTEXTEX: if (n >= 16) p.SetViewportExt(r.I32(8), r.I32(12)); break;
    case EMR_SETVIEWPORTORGEX: if (n >= 16) p.SetViewportOrg(r.I32(8), r.I32(12)); break;
    case EMR_SCALEVIEWPORTEXTEX: if (n >= 24) p.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_SCALEWINDOWEXTEX: if (n >= 24) p.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_SETWORLDTRANSFORM: if (n >= 32) p.SetWorldTransform(XForm(r, 8)); break;
    case EMR_MODIFYWORLDTRANSFORM: if (n >= 36) p.ModifyWorldTransform(XForm(r, 8), int(r.U32(32))); break;

    // Attributes.
    case EMR_SETBKMODE: if (n >= 12) p.SetBkMode(int(r.U32(8))); break;
    case EMR_SETPOLYFILLMODE: if (n >= 12) p.SetPolyFillMode(int(r.U32(8))); break;
    case EMR_SETROP2: if (n >= 12) p.SetRop2(int(r.U32(8))); break;
    case EMR_SETTEXTALIGN: if (n >= 12) p.SetTextAlign(r.U32(8)); break;
    case EMR_SETTEXTCOLOR: if (n >= 12) p.SetTextColor(r.U32(8)); break;
    case EMR_SETBKCOLOR: if (n >= 12) p.SetBkColor(r.U32(8)); break;
    case EMR_SETARCDIRECTION: if (n >= 12) p.SetArcDirection(r.U32(8) == 2); break;
    case EMR_SAVEDC: p.SaveDC(); break;
    case EMR_RESTOREDC: if (n >= 12) p.RestoreDC(r.I32(8)); break;

    // Objects.
    case EMR_CREATEPEN:
      if (n >= 28) {
        TObjectDesc o;
        o.Kind = okPen;
        o.Pen.Style = int(r.U32(12) & 0x0F);
        o.Pen.Width = std::abs(double(r.I32(16)));
        o.Pen.Cosmetic = false;
        o.Pen.Color = p.Color(r.U32(24));
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_EXTCREATEPEN:
      if (n >= 48) {
        TObjectDesc o;
        o.Kind = okPen;
        const uint32_t style = r.U32(28);
        o.Pen.Style = int(style & 0x0F);
        o.Pen.Cosmetic = (style & PS_GEOMETRIC) == 0;
        o.Pen.Width = double(r.U32(32));
        o.Pen.Color = p.Color(r.U32(40));
        if (r.U32(36) == uint32_t(BS_NULL)) o.Pen.Style = PS_NULL;
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_CREATEBRUSHINDIRECT:
      if (n >= 24) {
        TObjectDesc o;
        o.Kind = okBrush;
        const uint32_t style = r.U32(12);
        o.Brush.Color = p.Color(r.U32(16));
        o.Brush.Hatch = int(r.U32(20));
        o.Brush.Style = style == uint32_t(BS_NULL) ? BS_NULL : style == uint32_t(BS_HATCHED) ? BS_HATCHED : BS_SOLID;
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
      if (n >= 32) {
        // A pattern brush is drawn as a solid brush of the pattern's average colour (a
        // monochrome pattern mixes the text and background colours).
        TObjectDesc o;
        o.Kind = okBrush;
        o.Brush.Color = TColor(0x808080);
        TDib d;
        TColor c;
        if (RecordDib(r, 16, 20, 24, 28, int(r.U32(12)), palette, d)) {
          if (type == EMR_CREATEMONOBRUSH && d.Bits == 1) {
            d.Palette[0] = TRGBQuad{GetBValue(p.TextColor()), GetGValue(p.TextColor()), GetRValue(p.TextColor()), 0};
            d.Palette[1] = TRGBQuad{GetBValue(p.BkColor()), GetGValue(p.BkColor()), GetRValue(p.BkColor()), 0};
            d.PaletteCount = 2;
          }
          if (p.AverageColor(d, c)) o.Brush.Color = c;
        }
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_EXTCREATEFONTINDIRECTW:
      if (n >= 12 + 28) {
        TObjectDesc o;
        o.Kind = okFont;
        TFontDesc& f = o.Font;
        f.Device = false;
        f.Log.lfHeight = r.I32(12);
        f.Log.lfWidth = r.I32(16);
        f.Log.lfEscapement = r.I32(20);
        f.Log.lfOrientation = r.I32(24);
        f.Log.lfWeight = r.I32(28);
        f.Log.lfItalic = r.U8(32);
        f.Log.lfUnderline = r.U8(33);
        f.Log.lfStrikeOut = r.U8(34);
        f.Log.lfCharSet = r.U8(35);
        f.Log.lfPitchAndFamily = r.U8(39);
        size_t len = 0;
        while (len < 32 && r.Has(40 + 2 * len, 2) && r.U16(40 + 2 * len) != 0) ++len;
        for (const std::string& c : Utf16(r.P + std::min<size_t>(40, n), len, nullptr)) f.Face += c;
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_CREATEPALETTE:
      if (n >= 16) {
        TObjectDesc o;
        o.Kind = okPalette;
        const size_t k = std::min<size_t>(r.U16(14), (n - 16) / 4);
        for (size_t i = 0; i < k; ++i) {
          const size_t at = 16 + 4 * i;
          o.Palette.push_back(uint32_t(r.U8(at)) | (uint32_t(r.U8(at + 1)) << 8) | (uint32_t(r.U8(at + 2)) << 16));
        }
        palette = o.Palette;
        p.CreateObjectAt(r.U32(8), std::move(o));
      }
      break;
    case EMR_SELECTOBJECT:
    case EMR_SELECTPALETTE:
      if (n >= 12) {
        const uint32_t ih = r.U32(8);
        if ((ih & 0x80000000u) != 0) p.SelectStockObject(ih);
        else p.SelectObject(ih);
      }
      break;
    case EMR_DELETEOBJECT: if (n >= 12) p.DeleteObject(r.U32(8)); break;

    // Clipping.
    case EMR_INTERSECTCLIPRECT: if (n >= 24) p.IntersectClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_EXCLUDECLIPRECT: if (n >= 24) p.ExcludeClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_OFFSETCLIPRGN: if (n >= 16) p.OffsetClip(r.I32(8), r.I32(12)); break;
    case EMR_EXTSELECTCLIPRGN:
      if (n >= 16) {
        const size_t cb = r.U32(8);
        p.SetClipDeviceRects(cb > 0 ? RegionRects(r.Sub(16, cb)) : std::vector<TRect>{}, int(r.U32(12)));
      }
      break;
    case EMR_SELECTCLIPPATH: if (n >= 12) p.SelectClipPath(int(r.U32(8))); break;

    // Paths.
    case EMR_BEGINPATH: p.BeginPath(); break;
    case EMR_ENDPATH: p.EndPath(); break;
    case EMR_CLOSEFIGURE: p.CloseFigure(); break;
    case EMR_FILLPATH: p.FillPath(); break;
    case EMR_STROKEPATH: p.StrokePath(); break;
    case EMR_STROKEANDFILLPATH: p.StrokeAndFillPath(); break;
    case EMR_ABORTPATH: p.AbortPath(); break;

    // Lines and curves.
    case EMR_MOVETOEX: if (n >= 16) p.MoveTo(r.I32(8), r.I32(12)); break;
    case EMR_LINETO: if (n >= 16) p.LineTo(r.I32(8), r.I32(12)); break;
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16: {
      if (n < 28) break;
      const bool small = type >= EMR_POLYBEZIER16;
      std::vector<TPointD> pts = Points(r, 28, r.U32(24), small);
      switch (type) {
        case EMR_POLYLINE:
        case EMR_POLYLINE16: p.Polyline(pts); break;
        case EMR_POLYGON:
        case EMR_POLYGON16: p.PolyPolygon(pts, {int(pts.size())}); break;
        case EMR_POLYBEZIER:
        case EMR_POLYBEZIER16: p.PolyBezier(pts); break;
        case EMR_POLYBEZIERTO:
        case EMR_POLYBEZIERTO16: p.PolyBezierTo(pts); break;
        default: p.PolylineTo(pts); break;
      }
      break;
    }
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
      if (n < 32) break;
      const size_t polys = r.U32(24), total = r.U32(28);
      if (polys > (n - 32) / 4) break;
      std::vector<int> counts;
      for (size_t i = 0; i < polys; ++i) counts.push_back(int(std::min<uint32_t>(r.U32(32 + 4 * i), 1u << 30)));
      const bool small = type == EMR_POLYPOLYLINE16 || type == EMR_POLYPOLYGON16;
      std::vector<TPointD> pts = Points(r, 32 + 4 * polys, total, small);
      if (type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16) p.PolyPolygon(pts, counts);
      else p.PolyPolyline(pts, counts);
      break;
    }
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: {
      if (n < 28) break;
      const bool small = type == EMR_POLYDRAW16;
      const size_t count = std::min<size_t>(r.U32(24), (n - 28) / (small ? 5 : 9));
      std::vector<TPointD> pts = Points(r, 28, count, small);
      const size_t typesAt = 28 + count * (small ? 4 : 8);
      std::vector<uint8_t> types;
      for (size_t i = 0; i < count; ++i) types.push_back(r.U8(typesAt + i));
      p.PolyDraw(pts, types);
      break;
    }

    // Shapes.
    case EMR_RECTANGLE: if (n >= 24) p.Rectangle(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_ELLIPSE: if (n >= 24) p.Ellipse(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_ROUNDRECT:
      if (n >= 32) p.RoundRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28));
      break;
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_PIE:
    case EMR_CHORD:
      if (n >= 40) {
        const TPlayer::TArcKind k = type == EMR_ARC     ? TPlayer::akArc
                                    : type == EMR_ARCTO ? TPlayer::akArcTo
                                    : type == EMR_PIE   ? TPlayer::akPie
                                                        : TPlayer::akChord;
        p.ArcShape(k, r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28), r.I32(32), r.I32(36));
      }
      break;
    case EMR_ANGLEARC:
      if (n >= 28) p.AngleArc(r.I32(8), r.I32(12), double(r.U32(16)), r.F32(20), r.F32(24));
      break;
    case EMR_SETPIXELV: if (n >= 20) p.SetPixel(r.I32(8), r.I32(12), r.U32(16)); break;

    // Text.
    case EMR_EXTTEXTOUTW:
    case EMR_EXTTEXTOUTA: TextRecord(p, r, 36, type == EMR_EXTTEXTOUTW); break;
    case EMR_SMALLTEXTOUT:
      if (n >= 36) {
        const size_t chars = r.U32(16);
        const uint32_t opts = r.U32(20);
        size_t at = 36;
        double rect[4];
        const bool hasRect = (opts & ETO_NO_RECT) == 0 && n >= 52;
        if (hasRect) {
          for (int i = 0; i < 4; ++i) rect[i] = r.I32(36 + 4 * size_t(i));
          at = 52;
        }
        const bool small = (opts & ETO_SMALL_CHARS) != 0;
        if (chars > n || !r.Has(at, chars * (small ? 1 : 2))) break;
        std::vector<std::string> text = small ? Ansi1252(r.P + at, chars) : Utf16(r.P + at, chars, nullptr);
        const bool rectUsed = hasRect && (opts & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
        p.Text(r.I32(8), r.I32(12), text, {}, opts, rectUsed ? rect : nullptr);
      }
      break;

    // Bitmaps.
    case EMR_STRETCHDIBITS:
      if (n >= 80) {
        TDib d;
        if (!RecordDib(r, 48, 52, 56, 60, int(r.U32(64)), palette, d)) break;
        const int xs = r.I32(32), cs = r.I32(40), hs = r.I32(44);
        // The source rectangle's origin is the bottom left corner of a bitmap stored bottom up.
        const int ys = d.TopDown ? r.I32(36) : d.Height - r.I32(36) - hs;
        p.StretchDib(d, r.I32(24), r.I32(28), r.I32(72), r.I32(76), xs, ys, cs, hs, r.U32(68));
      }
      break;
    case EMR_SETDIBITSTODEVICE:
      if (n >= 76) {
        TDib d;
        if (!RecordDib(r, 48, 52, 56, 60, int(r.U32(64)), palette, d, int(std::min<uint32_t>(r.U32(72), 1u << 20))))
          break;
        const int w = r.I32(40), h = r.I32(44), ys = r.I32(36) - int(std::min<uint32_t>(r.U32(68), 1u << 20));
        p.StretchDib(d, r.I32(24), r.I32(28), w, h, r.I32(32), d.TopDown ? ys : d.Height - ys - h, w, h, 0x00CC0020u);
      }
      break;
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
      if (n >= 100) {
        const double xd = r.I32(24), yd = r.I32(28), wd = r.I32(32), hd = r.I32(36);
        const uint32_t rop = r.U32(40);
        if (r.U32(88) == 0) {  // no bitmap: the brush by the raster operation
          p.PatBlt(xd, yd, wd, hd, rop);
          break;
        }
        TDib d;
        if (!RecordDib(r, 84, 88, 92, 96, int(r.U32(80)), palette, d)) break;
        int ws = int(wd), hs = int(hd);
        if (type == EMR_STRETCHBLT && n >= 108) ws = r.I32(100), hs = r.I32(104);
        // The source is a device context holding the bitmap: rows count from the top.
        p.StretchDib(d, xd, yd, wd, hd, r.I32(44), r.I32(48), ws, hs, rop);
      }
      break;
    default:
      break;  // comments (and the records of the GDI+ layer in them), colour management and the rest
  }
}

void Run(const uint8_t* Data, size_t Size, TPlayer& p) {
  const TBytes all{Data, Size};
  std::vector<uint32_t> palette;
  size_t off = 0;
  while (off + 8 <= Size && !p.Stopped()) {
    const uint32_t type = all.U32(off), size = all.U32(off + 4);
    if (size < 8 || size > Size - off) break;
    if (type == EMR_EOF || !p.CountRecord()) break;
    Record(p, type, all.Sub(off, size), palette);
    off += size;
  }
}

}  // namespace

void PlayEMF(const uint8_t* Data, size_t Size, const THeaderInfo& Info, TCanvas* Canvas, const TRect& Dest) {
  TPlayer p(Canvas, Dest, Info);
  Run(Data, Size, p);
}

}  // namespace corvex::metafile
