// Text of the canvas: fontconfig finds the installed face nearest to a font's name and style,
// FreeType renders its glyphs. Unrotated glyphs are hinted and cached; rotated text is rendered
// unhinted at sub-pixel positions along the rotated baseline, with the same advances, so that it
// is as long as TextWidth says. A missing bold or italic face is synthesised (emboldened outline,
// sheared outline). A character the face has no glyph for is drawn from another installed face
// that has one (fontconfig's ordering of faces by likeness to the font, at the same em size, on
// the same baseline); only when no face has it does the face's missing-glyph box show. Without
// fontconfig fonts, nothing is drawn.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "corvex/platform/graphics/text_pvt.h"

namespace corvex::text {

namespace {

// A face as fontconfig found it for one (name, bold, italic) request.
struct FaceInfo {
  FT_Face face = nullptr;  // nullptr: nothing usable was found
  bool synthBold = false;
  bool synthItalic = false;
};

// One (name, bold, italic) request: its face, and where characters that face lacks come from.
struct FontEntry {
  FaceInfo primary;
  std::string name;
  bool bold = false, italic = false;
  // Faces that may stand in, in fontconfig's order of likeness: per block of 256 code points,
  // those whose character set meets the block (one fontconfig query per block).
  struct Candidate {
    std::string path;
    int index = 0, weight = 0, slant = 0;
    FcCharSet* chars = nullptr;  // a reference of our own
  };
  std::map<uint32_t, std::vector<Candidate>> blocks;
  // The face chosen for each code point the primary face lacks (face nullptr: none has it).
  std::unordered_map<uint32_t, FaceInfo> standIns;
};
constexpr size_t kStandInLimit = 65536;  // code points remembered per request

struct GlyphKey {
  FT_Face face;
  FT_F26Dot6 size;
  FT_UInt index;
  bool bold, italic;
  bool operator==(const GlyphKey&) const = default;
};
struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    size_t h = std::hash<const void*>()(k.face);
    h = h * 1000003u ^ std::hash<long>()(k.size);
    h = h * 1000003u ^ k.index;
    return h * 31u + (k.bold ? 2u : 0u) + (k.italic ? 1u : 0u);
  }
};
// A rendered, hinted, unrotated glyph: grey coverage, its offset from the pen position on the
// baseline (left, top = rows above the baseline) and its advance in whole pixels.
struct Glyph {
  int left = 0, top = 0, width = 0, height = 0, advance = 0;
  std::vector<uint8_t> cover;
};

// Size facts of a face at one pixel size.
struct Metrics {
  double ppem = 0;
  int ascent = 0, descent = 0;  // whole pixels above and below the baseline (the cell)
  double underlinePos = 0, underlineThick = 1;  // pixels below the baseline (centre), thickness
  double strikePos = 0, strikeThick = 1;        // pixels above the baseline (top), thickness
};

constexpr size_t kGlyphCacheLimit = 4096;            // glyphs
constexpr size_t kGlyphCacheBytes = size_t(16) << 20;  // and bytes of coverage

class Engine {
 public:
  static Engine& Get() {
    static Engine* e = new Engine;  // lives to the end of the process: faces are shared
    return *e;
  }
  std::mutex lock;

  FontEntry& Find(const TFont& font) {
    const bool bold = font.GetStyle().Contains(fsBold), italic = font.GetStyle().Contains(fsItalic);
    std::string key = font.GetName();
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    key += bold ? "|b" : "|";
    key += italic ? "i" : "";
    auto it = faces_.find(key);
    if (it != faces_.end()) return *it->second;
    auto entry = std::make_unique<FontEntry>();
    entry->primary = Match(font.GetName(), bold, italic);
    entry->name = font.GetName();
    entry->bold = bold;
    entry->italic = italic;
    return *faces_.emplace(key, std::move(entry)).first->second;
  }

  // The face that draws a code point the request's face has no glyph for; face nullptr when no
  // installed face has it.
  FaceInfo StandIn(FontEntry& entry, uint32_t cp) {
    auto it = entry.standIns.find(cp);
    if (it != entry.standIns.end()) return it->second;
    if (entry.standIns.size() >= kStandInLimit) entry.standIns.clear();
    FaceInfo found;
    for (const FontEntry::Candidate& c : Block(entry, cp >> 8)) {
      if (!FcCharSetHasChar(c.chars, cp)) continue;
      FT_Face face = Load(c.path, c.index);
      if (face == nullptr || FT_Get_Char_Index(face, cp) == 0) continue;
      found.face = face;
      found.synthBold = entry.bold && c.weight < FC_WEIGHT_DEMIBOLD;
      found.synthItalic = entry.italic && c.slant == FC_SLANT_ROMAN;
      break;
    }
    entry.standIns.emplace(cp, found);
    return found;
  }

  // Sets a face to an em size in pixels (cached: FreeType resizes only on a change).
  void SetPpem(FT_Face face, double ppem) {
    const FT_F26Dot6 size = static_cast<FT_F26Dot6>(std::lround(ppem * 64));
    FT_F26Dot6& current = sizes_[face];
    if (current != size && FT_Set_Char_Size(face, 0, size, 72, 72) == 0) current = size;
  }

  // Sets the face to the pixel size of the font and returns its metrics.
  Metrics SizeFor(FT_Face face, int height) {
    const FT_UShort upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    double asc = face->ascender, desc = -face->descender;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      asc = os2->usWinAscent;
      desc = os2->usWinDescent;
    }
    if (asc + desc <= 0) asc = upem * 0.9, desc = upem * 0.25;
    Metrics m;
    if (height < 0) m.ppem = -double(height);
    else if (height > 0) m.ppem = height * double(upem) / (asc + desc);
    else m.ppem = 16.0 * upem / (asc + desc);
    m.ppem = std::clamp(m.ppem, 1.0, 1000.0);
    SetPpem(face, m.ppem);
    const double scale = m.ppem / upem;
    m.ascent = static_cast<int>(std::lround(asc * scale));
    m.descent = static_cast<int>(std::lround(desc * scale));
    m.underlineThick = std::max(1.0, std::round(face->underline_thickness * scale));
    m.underlinePos = face->underline_position != 0 ? -face->underline_position * scale : m.ppem * 0.12;
    if (os2 != nullptr && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
      m.strikePos = os2->yStrikeoutPosition * scale;
      m.strikeThick = std::max(1.0, std::round(os2->yStrikeoutSize * scale));
    } else {
      m.strikePos = m.ppem * 0.3;
      m.strikeThick = m.underlineThick;
    }
    return m;
  }
  FT_F26Dot6 CurrentSize(FT_Face face) { return sizes_[face]; }

  // The hinted, unrotated glyph (cached).
  const Glyph* Hinted(const FaceInfo& f, FT_UInt index) {
    const GlyphKey key{f.face, CurrentSize(f.face), index, f.synthBold, f.synthItalic};
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) return &it->second;
    if (glyphs_.size() >= kGlyphCacheLimit || glyphBytes_ >= kGlyphCacheBytes) {
      glyphs_.clear();
      glyphBytes_ = 0;
    }
    Glyph g;
    SetTransform(f, 0.0, 0.0, 0.0);
    if (FT_Load_Glyph(f.face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0) {
      FT_GlyphSlot slot = f.face->glyph;
      if (f.synthBold) FT_GlyphSlot_Embolden(slot);
      g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) Copy(slot, g);
    }
    FT_Set_Transform(f.face, nullptr, nullptr);
    glyphBytes_ += g.cover.size() + sizeof(Glyph);
    return &glyphs_.emplace(key, std::move(g)).first->second;
  }

  // A glyph rotated by angle (radians, counter-clockwise) with its pen position at the fraction
  // (fx, fy) of a pixel right of and below a whole pixel.
  bool Rotated(const FaceInfo& f, FT_UInt index, double angle, double fx, double fy, Glyph& g) {
    SetTransform(f, angle, fx, fy);
    bool ok = false;
    if (FT_Load_Glyph(f.face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
      FT_GlyphSlot slot = f.face->glyph;
      if (f.synthBold) FT_GlyphSlot_Embolden(slot);
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
        Copy(slot, g);
        ok = true;
      }
    }
    FT_Set_Transform(f.face, nullptr, nullptr);
    return ok;
  }

 private:
  Engine() {
    ftOk_ = FT_Init_FreeType(&lib_) == 0;
    fcOk_ = FcInit() == FcTrue;
  }

  static void Copy(FT_GlyphSlot slot, Glyph& g) {
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.cover.assign(size_t(g.width) * size_t(g.height), 0);
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.buffer == nullptr) return;
    for (int y = 0; y < g.height; ++y) {
      const unsigned char* src = bm.pitch >= 0 ? bm.buffer + size_t(y) * size_t(bm.pitch)
                                               : bm.buffer + size_t(g.height - 1 - y) * size_t(-bm.pitch);
      std::memcpy(&g.cover[size_t(y) * size_t(g.width)], src, size_t(g.width));
    }
  }

  static void SetTransform(const FaceInfo& f, double angle, double fx, double fy) {
    // Rotation times the italic shear; FreeType's y axis points up.
    const double c = std::cos(angle), s = std::sin(angle), k = f.synthItalic ? 0.2 : 0.0;
    FT_Matrix m;
    m.xx = static_cast<FT_Fixed>(std::lround(c * 65536));
    m.xy = static_cast<FT_Fixed>(std::lround((c * k - s) * 65536));
    m.yx = static_cast<FT_Fixed>(std::lround(s * 65536));
    m.yy = static_cast<FT_Fixed>(std::lround((s * k + c) * 65536));
    FT_Vector d;
    d.x = static_cast<FT_Pos>(std::lround(fx * 64));
    d.y = static_cast<FT_Pos>(std::lround(-fy * 64));
    FT_Set_Transform(f.face, &m, &d);
  }

  // The fontconfig pattern of a request, with the configuration's substitutions applied.
  static FcPattern* Pattern(const std::string& name, bool bold, bool italic) {
    FcPattern* pat = FcPatternCreate();
    if (pat == nullptr) return nullptr;
    if (!name.empty()) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    return pat;
  }

  // The stand-in candidates of a block of 256 code points, asked of fontconfig once.
  const std::vector<FontEntry::Candidate>& Block(FontEntry& entry, uint32_t block) {
    auto it = entry.blocks.find(block);
    if (it != entry.blocks.end()) return it->second;
    std::vector<FontEntry::Candidate>& list = entry.blocks[block];
    if (!ftOk_ || !fcOk_) return list;
    FcPattern* pat = Pattern(entry.name, entry.bold, entry.italic);
    FcCharSet* range = FcCharSetCreate();
    if (pat != nullptr && range != nullptr) {
      for (uint32_t cp = block << 8; cp < ((block + 1) << 8); ++cp) FcCharSetAddChar(range, cp);
      FcResult res = FcResultNoMatch;
      if (FcFontSet* set = FcFontSort(nullptr, pat, FcFalse, nullptr, &res)) {
        for (int i = 0; i < set->nfont; ++i) {
          FcPattern* f = set->fonts[i];
          FcChar8* file = nullptr;
          FcCharSet* chars = nullptr;
          FcBool scalable = FcTrue;
          if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) continue;
          if (FcPatternGetCharSet(f, FC_CHARSET, 0, &chars) != FcResultMatch || chars == nullptr) continue;
          if (FcPatternGetBool(f, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) continue;
          if (FcCharSetIntersectCount(chars, range) == 0) continue;
          FontEntry::Candidate c;
          c.path = reinterpret_cast<const char*>(file);
          c.weight = FC_WEIGHT_REGULAR;
          c.slant = FC_SLANT_ROMAN;
          FcPatternGetInteger(f, FC_INDEX, 0, &c.index);
          FcPatternGetInteger(f, FC_WEIGHT, 0, &c.weight);
          FcPatternGetInteger(f, FC_SLANT, 0, &c.slant);
          c.chars = FcCharSetCopy(chars);
          list.push_back(std::move(c));
        }
        FcFontSetDestroy(set);
      }
    }
    if (range != nullptr) FcCharSetDestroy(range);
    if (pat != nullptr) FcPatternDestroy(pat);
    return list;
  }

  // The FreeType face of a font file (loaded once); nullptr when it cannot be used.
  FT_Face Load(const std::string& path, int index) {
    auto it = loaded_.find({path, index});
    if (it != loaded_.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(lib_, path.c_str(), index, &face) != 0) face = nullptr;
    if (face != nullptr && !FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      face = nullptr;
    }
    if (face != nullptr) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    loaded_[{path, index}] = face;
    return face;
  }

  FaceInfo Match(const std::string& name, bool bold, bool italic) {
    FaceInfo info;
    if (!ftOk_ || !fcOk_) return info;
    FcPattern* pat = Pattern(name, bold, italic);
    if (pat == nullptr) return info;
    FcResult res = FcResultNoMatch;
    // The best match first; when it cannot be used, the rest in order of preference.
    if (FcPattern* m = FcFontMatch(nullptr, pat, &res)) {
      Accept(m, bold, italic, info);
      FcPatternDestroy(m);
    }
    if (info.face == nullptr) {
      if (FcFontSet* set = FcFontSort(nullptr, pat, FcFalse, nullptr, &res)) {
        for (int i = 0; i < set->nfont && info.face == nullptr; ++i) Accept(set->fonts[i], bold, italic, info);
        FcFontSetDestroy(set);
      }
    }
    FcPatternDestroy(pat);
    return info;
  }

  void Accept(FcPattern* m, bool bold, bool italic, FaceInfo& info) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(m, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return;
    FcBool scalable = FcTrue;
    if (FcPatternGetBool(m, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) return;
    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(m, FC_INDEX, 0, &index);
    FcPatternGetInteger(m, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(m, FC_SLANT, 0, &slant);
    FT_Face face = Load(reinterpret_cast<const char*>(file), index);
    if (face == nullptr) return;
    info.face = face;
    info.synthBold = bold && weight < FC_WEIGHT_DEMIBOLD;
    info.synthItalic = italic && slant == FC_SLANT_ROMAN;
  }

  bool ftOk_ = false, fcOk_ = false;
  FT_Library lib_ = nullptr;
  std::map<std::string, std::unique_ptr<FontEntry>> faces_;
  std::map<std::pair<std::string, int>, FT_Face> loaded_;
  std::map<FT_Face, FT_F26Dot6> sizes_;
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs_;
  size_t glyphBytes_ = 0;
};

// UTF-8 to code points; a byte that does not start a valid sequence stands for itself
// (Latin-1), so 8-bit texts still show.
std::vector<uint32_t> Decode(const std::string& s) {
  std::vector<uint32_t> out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = p[i];
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t cp = c;
    bool ok = len > 0 && i + size_t(len) <= n;
    if (ok && len > 1) {
      cp = c & (0x7F >> len);
      for (int k = 1; k < len; ++k) {
        if ((p[i + size_t(k)] & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        cp = (cp << 6) | (p[i + size_t(k)] & 0x3F);
      }
      if (ok && (cp > 0x10FFFF || (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)))
        ok = false;
    }
    if (!ok) {
      out.push_back(c);
      ++i;
    } else {
      out.push_back(cp);
      i += size_t(len);
    }
  }
  return out;
}

// The glyphs of the text (each from the face that draws it) and their advances (whole pixels,
// hinted). Stand-in faces are set to the em size of the request's face.
struct Layout {
  std::vector<FaceInfo> faces;
  std::vector<FT_UInt> glyphs;
  std::vector<int> advances;
  int width = 0;
};
Layout LayOut(Engine& e, FontEntry& entry, double ppem, const std::vector<uint32_t>& cps) {
  Layout l;
  const FaceInfo& primary = entry.primary;
  for (uint32_t cp : cps) {
    FaceInfo f = primary;
    FT_UInt gi = FT_Get_Char_Index(primary.face, cp);
    if (gi == 0) {
      const FaceInfo standIn = e.StandIn(entry, cp);
      if (standIn.face != nullptr) {
        f = standIn;
        gi = FT_Get_Char_Index(f.face, cp);
        e.SetPpem(f.face, ppem);
      }
    }
    const Glyph* g = e.Hinted(f, gi);
    l.faces.push_back(f);
    l.glyphs.push_back(gi);
    l.advances.push_back(g->advance);
    l.width += g->advance;
  }
  return l;
}

// The font's height for sizing: a font without a height (0) has a 16-pixel cell at 96 dpi, larger
// in proportion at higher resolutions.
int CellHeight(const TFont& font) {
  const int h = font.GetHeight();
  return h != 0 ? h : std::max(1, (16 * font.GetPixelsPerInch() + 48) / 96);
}

int NominalHeight(const TFont& font) {
  const int h = font.GetHeight();
  return h < 0 ? -h : h;
}

// A rectangle of coverage values over part of the target.
struct Coverage {
  TRect r;
  std::vector<uint8_t> a;
  uint8_t* Row(int32_t y) { return &a[size_t(y - r.Top) * size_t(r.Width())]; }
  // Adds a glyph with its top-left pixel at (x, y), keeping the larger coverage.
  void Add(const Glyph& g, int32_t x, int32_t y) {
    const int32_t x1 = std::max(x, r.Left), x2 = std::min(x + g.width, r.Right);
    const int32_t y1 = std::max(y, r.Top), y2 = std::min(y + g.height, r.Bottom);
    for (int32_t yy = y1; yy < y2; ++yy) {
      uint8_t* d = Row(yy);
      const uint8_t* s = &g.cover[size_t(yy - y) * size_t(g.width)];
      for (int32_t xx = x1; xx < x2; ++xx) d[xx - r.Left] = std::max(d[xx - r.Left], s[xx - x]);
    }
  }
};

}  // namespace

TSize TextExtent(const TFont& Font, const std::string& Text) {
  Engine& e = Engine::Get();
  std::lock_guard<std::mutex> g(e.lock);
  FontEntry& f = e.Find(Font);
  if (f.primary.face == nullptr) return TSize{0, NominalHeight(Font)};
  const Metrics m = e.SizeFor(f.primary.face, CellHeight(Font));
  return TSize{LayOut(e, f, m.ppem, Decode(Text)).width, m.ascent + m.descent};
}

int FontAscent(const TFont& Font) {
  Engine& e = Engine::Get();
  std::lock_guard<std::mutex> g(e.lock);
  const FontEntry& f = e.Find(Font);
  if (f.primary.face == nullptr) return 0;
  return e.SizeFor(f.primary.face, CellHeight(Font)).ascent;
}

bool FontLines(const TFont& Font, double& UnderTop, double& UnderThick, double& StrikeTop, double& StrikeThick) {
  Engine& e = Engine::Get();
  std::lock_guard<std::mutex> g(e.lock);
  const FontEntry& f = e.Find(Font);
  if (f.primary.face == nullptr) return false;
  const Metrics m = e.SizeFor(f.primary.face, CellHeight(Font));
  UnderTop = std::round(m.underlinePos - m.underlineThick / 2);
  UnderThick = m.underlineThick;
  StrikeTop = -std::round(m.strikePos);
  StrikeThick = m.strikeThick;
  return true;
}

void DrawText(const raster::TTarget& T, const raster::TClipper& C, const TFont& Font, int X, int Y,
              const std::string& Text, bool Opaque, TColor Background) {
  if (T.Bpp == 0 || Text.empty()) return;
  Engine& e = Engine::Get();
  std::lock_guard<std::mutex> lock(e.lock);
  FontEntry& f = e.Find(Font);
  if (f.primary.face == nullptr) return;
  const Metrics m = e.SizeFor(f.primary.face, CellHeight(Font));
  const Layout l = LayOut(e, f, m.ppem, Decode(Text));
  const int cell = m.ascent + m.descent;

  // Text space: s along the baseline, t down from it. Screen = origin + s u + t v.
  const double angle = Font.GetOrientation() / 10.0 * std::numbers::pi / 180.0;
  const bool rotated = (Font.GetOrientation() % 3600) != 0;
  const double ux = rotated ? std::cos(angle) : 1, uy = rotated ? -std::sin(angle) : 0;
  const double vx = -uy, vy = ux;
  // The baseline starts ascent below the cell's top-left corner.
  const double ox = X + m.ascent * vx, oy = Y + m.ascent * vy;

  // The area the text may cover: the cell, padded for overhanging ink, cut to what is visible.
  const double pad = m.ppem * 0.5 + 2;
  double minx = 1e300, miny = 1e300, maxx = -1e300, maxy = -1e300;
  const double ss[2] = {-pad, l.width + pad}, ts[2] = {-m.ascent - pad, m.descent + pad};
  for (double s : ss)
    for (double t : ts) {
      const double px = ox + s * ux + t * vx, py = oy + s * uy + t * vy;
      minx = std::min(minx, px), maxx = std::max(maxx, px), miny = std::min(miny, py), maxy = std::max(maxy, py);
    }
  const TRect vis = C.Bounds();
  Coverage cov;
  cov.r = IntersectRect(TRect{static_cast<int32_t>(std::max(std::floor(minx), -1e9)),
                              static_cast<int32_t>(std::max(std::floor(miny), -1e9)),
                              static_cast<int32_t>(std::min(std::ceil(maxx) + 1, 1e9)),
                              static_cast<int32_t>(std::min(std::ceil(maxy) + 1, 1e9))},
                        vis);

  // The opaque background: the (rotated) cell.
  if (Opaque) {
    const raster::TMix mix = raster::MakeMix(raster::R2_COPYPEN, Background, T);
    if (!rotated) {
      for (int32_t y = std::max(Y, vis.Top); y < std::min(Y + cell, vis.Bottom); ++y)
        C.Span(y, X, X + l.width, [&](int32_t yy, int32_t a, int32_t b) { raster::MixSpan(T, yy, a, b, mix); });
    } else {
      TPoint corners[4];
      const double cs[4][2] = {{0, -double(m.ascent)}, {double(l.width), -double(m.ascent)},
                               {double(l.width), double(m.descent)}, {0, double(m.descent)}};
      for (int i = 0; i < 4; ++i)
        corners[i] = {static_cast<int32_t>(std::lround(ox + cs[i][0] * ux + cs[i][1] * vx)),
                      static_cast<int32_t>(std::lround(oy + cs[i][0] * uy + cs[i][1] * vy))};
      struct Ctx {
        const raster::TTarget* t;
        const raster::TClipper* c;
        const raster::TMix* mix;
      } ctx{&T, &C, &mix};
      const int four = 4;
      ScanPolygons(
          corners, &four, 1, fmAlternate, vis.Top, vis.Bottom,
          [](void* p, int32_t y, int32_t rows, const TRegion::TRun* runs, int n) {
            auto* c = static_cast<Ctx*>(p);
            for (int32_t r = 0; r < rows; ++r)
              for (int k = 0; k < n; ++k)
                c->c->Span(y + r, runs[k].X1, runs[k].X2,
                           [&](int32_t yy, int32_t a, int32_t b) { raster::MixSpan(*c->t, yy, a, b, *c->mix); });
          },
          &ctx);
    }
  }
  if (cov.r.IsEmpty()) return;
  cov.a.assign(size_t(cov.r.Width()) * size_t(cov.r.Height()), 0);

  // Glyphs.
  double s = 0;
  for (size_t i = 0; i < l.glyphs.size(); ++i) {
    if (!rotated) {
      const Glyph* g = e.Hinted(l.faces[i], l.glyphs[i]);
      const int32_t px = X + static_cast<int32_t>(s), py = Y + m.ascent;
      if (g->width > 0) cov.Add(*g, px + g->left, py - g->top);
    } else {
      const double px = ox + s * ux, py = oy + s * uy;
      const double fx = std::floor(px), fy = std::floor(py);
      Glyph g;
      if (e.Rotated(l.faces[i], l.glyphs[i], angle, px - fx, py - fy, g) && g.width > 0)
        cov.Add(g, static_cast<int32_t>(fx) + g.left, static_cast<int32_t>(fy) - g.top);
    }
    s += l.advances[i];
  }

  // Underline and strike-out: bands along the baseline.
  auto band = [&](double t1, double t2) {
    for (int32_t y = cov.r.Top; y < cov.r.Bottom; ++y) {
      uint8_t* row = cov.Row(y);
      for (int32_t x = cov.r.Left; x < cov.r.Right; ++x) {
        const double dx = x + 0.5 - ox, dy = y + 0.5 - oy;
        const double ps = dx * ux + dy * uy, pt = dx * vx + dy * vy;
        if (ps >= 0 && ps < l.width && pt >= t1 && pt < t2) row[x - cov.r.Left] = 255;
      }
    }
  };
  if (Font.GetStyle().Contains(fsUnderline)) {
    const double t1 = std::round(m.underlinePos - m.underlineThick / 2);
    band(t1, t1 + m.underlineThick);
  }
  if (Font.GetStyle().Contains(fsStrikeOut)) {
    const double t1 = -std::round(m.strikePos);
    band(t1, t1 + m.strikeThick);
  }

  // Composite in the font colour through the clip. Palette targets blend the entry's colour with
  // the font colour and take the nearest entry.
  const raster::TBGR col = raster::ResolveColor(Font.GetColor());
  const unsigned monoBit = raster::MonoBit(col.b, col.g, col.r);
  const uint8_t c3[3] = {col.b, col.g, col.r};
  auto blend = [](uint8_t d, uint8_t c, unsigned k) {
    return static_cast<uint8_t>(d + ((int(c) - int(d)) * int(k) + (c >= d ? 127 : -127)) / 255);
  };
  std::unique_ptr<raster::TNearestCache> nearest;
  unsigned fontIndex = 0;
  if (T.Indexed()) {
    nearest = std::make_unique<raster::TNearestCache>(T.Palette, T.PaletteCount);
    fontIndex = (*nearest)(col.b, col.g, col.r);
  }
  for (int32_t y = cov.r.Top; y < cov.r.Bottom; ++y) {
    const uint8_t* a = cov.Row(y);
    uint8_t* row = T.Row(y);
    C.Span(y, cov.r.Left, cov.r.Right, [&](int32_t, int32_t x1, int32_t x2) {
      for (int32_t x = x1; x < x2; ++x) {
        const unsigned k = a[x - cov.r.Left];
        if (k == 0) continue;
        if (T.Bpp == 1) {
          if (k < 128) continue;
          const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
          row[x >> 3] = monoBit ? static_cast<uint8_t>(row[x >> 3] | bit) : static_cast<uint8_t>(row[x >> 3] & ~bit);
          continue;
        }
        if (nearest) {
          const unsigned cur = raster::ReadPixel(T, x, y);
          unsigned v = fontIndex;
          if (k < 255) {
            const TRGBQuad q = int(cur) < T.PaletteCount ? T.Palette[cur] : TRGBQuad{};
            v = (*nearest)(blend(q.rgbBlue, col.b, k), blend(q.rgbGreen, col.g, k), blend(q.rgbRed, col.r, k));
          }
          if (T.Bpp == 8) row[x] = static_cast<uint8_t>(v);
          else if (x & 1) row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | v);
          else row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (v << 4));
          continue;
        }
        uint8_t* p = row + size_t(x) * size_t(T.Bpp / 8);
        for (int ch = 0; ch < 3; ++ch) p[ch] = blend(p[ch], c3[ch], k);
        if (T.Bpp == 32) p[3] = 0;
      }
    });
  }
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A character of formatted text: its code point, its advance and whether a prefix marks it.
struct Char {
  uint32_t cp;
  int advance;
  bool marked;
};

TTextLine MakeLine(const Char* c, size_t n) {
  TTextLine line;
  for (size_t i = 0; i < n; ++i) {
    AppendUtf8(line.Text, c[i].cp);
    if (c[i].marked) line.Underlines.emplace_back(line.Width, line.Width + c[i].advance);
    line.Width += c[i].advance;
  }
  return line;
}

// Cuts a line to fit Width with "..." after what is left (the dots alone when nothing fits).
void Ellipsize(std::vector<Char>& chars, int Width, int dot) {
  int width = 0;
  for (const Char& c : chars) width += c.advance;
  if (width <= Width) return;
  while (!chars.empty() && width + 3 * dot > Width) {
    width -= chars.back().advance;
    chars.pop_back();
  }
  for (int k = 0; k < 3; ++k) chars.push_back({'.', dot, false});
}

}  // namespace

std::vector<TTextLine> FormatLines(const TFont& Font, const std::string& Text, TTextFormat Format, int Width) {
  // The characters with the prefix marks taken out.
  const std::vector<uint32_t> cps = Decode(Text);
  std::vector<uint32_t> shown;
  std::vector<uint8_t> marks;
  shown.reserve(cps.size());
  for (size_t i = 0; i < cps.size(); ++i) {
    bool marked = false;
    if (cps[i] == '&' && !Format.Contains(tfNoPrefix)) {
      if (++i == cps.size()) break;  // a mark with nothing after it shows nothing
      marked = cps[i] != '&';
    }
    shown.push_back(cps[i]);
    marks.push_back(marked ? 1 : 0);
  }

  // Advances, measured as TextExtent measures.
  std::vector<int> adv(shown.size(), 0);
  int dot = 0;
  {
    Engine& e = Engine::Get();
    std::lock_guard<std::mutex> g(e.lock);
    FontEntry& f = e.Find(Font);
    if (f.primary.face != nullptr) {
      const Metrics m = e.SizeFor(f.primary.face, CellHeight(Font));
      adv = LayOut(e, f, m.ppem, shown).advances;
      dot = LayOut(e, f, m.ppem, {'.'}).advances[0];
    }
  }
  std::vector<Char> chars(shown.size());
  for (size_t i = 0; i < shown.size(); ++i) chars[i] = {shown[i], adv[i], marks[i] != 0};

  // Paragraphs: at CR LF, LF or CR; a single line drops them.
  std::vector<std::vector<Char>> paragraphs(1);
  for (size_t i = 0; i < chars.size(); ++i) {
    const uint32_t cp = chars[i].cp;
    if (cp != '\r' && cp != '\n') {
      paragraphs.back().push_back(chars[i]);
      continue;
    }
    if (Format.Contains(tfSingleLine)) continue;
    if (cp == '\r' && i + 1 < chars.size() && chars[i + 1].cp == '\n') ++i;
    paragraphs.emplace_back();
  }

  // Word breaking: a line ends before the word that would cross the width; the spaces where it
  // breaks belong to no line. A word wider than the width stands alone.
  std::vector<std::vector<Char>> lines;
  const bool wrap = Format.Contains(tfWordBreak) && !Format.Contains(tfSingleLine) && Width > 0;
  for (std::vector<Char>& p : paragraphs) {
    if (!wrap) {
      lines.push_back(std::move(p));
      continue;
    }
    size_t start = 0;
    do {
      size_t end = start, fitEnd = start;  // fitEnd: end of the last word that fitted
      int width = 0;
      bool broke = false;
      while (end < p.size()) {
        const bool space = p[end].cp == ' ';
        if (!space && width + p[end].advance > Width && end > start) {
          if (fitEnd > start) {
            end = fitEnd;
          } else {
            while (end < p.size() && p[end].cp != ' ') ++end;  // the whole long word
          }
          broke = true;
          break;
        }
        width += p[end].advance;
        ++end;
        if (!space && (end == p.size() || p[end].cp == ' ')) fitEnd = end;
      }
      if (!broke) end = p.size();
      size_t trimmed = end;
      while (trimmed > start && p[trimmed - 1].cp == ' ') --trimmed;
      lines.emplace_back(p.begin() + std::ptrdiff_t(start), p.begin() + std::ptrdiff_t(broke ? trimmed : end));
      start = end;
      while (start < p.size() && p[start].cp == ' ') ++start;
    } while (start < p.size());
  }

  std::vector<TTextLine> out;
  out.reserve(lines.size());
  for (std::vector<Char>& l : lines) {
    if (Format.Contains(tfEndEllipsis)) Ellipsize(l, Width, dot);
    out.push_back(MakeLine(l.data(), l.size()));
  }
  return out;
}

}  // namespace corvex::text
