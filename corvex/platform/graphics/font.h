// TFont: the toolkit's font description, and the 60-byte logical-font record that stores one.
//
// Fonts are drawn through FreeType; fontconfig finds the installed face nearest to the requested
// name and style (a missing "Arial" becomes the system's sans-serif face). Without any installed
// font, text operations draw nothing.
#pragma once

#include <cstdint>
#include <string>

#include "corvex/platform/events.h"
#include "corvex/platform/graphics/colors.h"
#include "corvex/platform/object.h"
#include "corvex/platform/sets.h"

namespace corvex {

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = uint8_t;

constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;

// The logical-font record, little-endian, 60 bytes, as vector-object files store it.
#pragma pack(push, 1)
struct TLogFont {
  int32_t lfHeight = 0;       // < 0: character height in pixels; > 0: cell height
  int32_t lfWidth = 0;        // average character width (0 = natural)
  int32_t lfEscapement = 0;   // angle of the baseline, tenths of a degree, counter-clockwise
  int32_t lfOrientation = 0;  // angle of each character
  int32_t lfWeight = 0;       // 400 normal, 700 bold
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};  // zero-terminated
};
#pragma pack(pop)
static_assert(sizeof(TLogFont) == 60);

// Rounds a * b / c to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

class TFont : public TPersistent {
 public:
  TFont();

  TNotifyEvent OnChange;

  // The face name (default "MS Sans Serif", which fontconfig maps to the sans-serif face).
  const std::string& GetName() const { return Name_; }
  void SetName(const std::string& Value);
  // Negative: character height in pixels (the em size); positive: cell height (ascent plus
  // descent); 0: a default size.
  int GetHeight() const { return Height_; }
  void SetHeight(int Value);
  // Points at PixelsPerInch: Height = -MulDiv(Size, PixelsPerInch, 72).
  int GetSize() const { return -MulDiv(Height_, 72, PixelsPerInch_); }
  void SetSize(int Value) { SetHeight(-MulDiv(Value, PixelsPerInch_, 72)); }
  // The resolution Size is measured at; the screen's when the font is made.
  int GetPixelsPerInch() const { return PixelsPerInch_; }
  void SetPixelsPerInch(int Value);
  TFontStyles GetStyle() const { return Style_; }
  void SetStyle(TFontStyles Value);
  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);
  // The angle of the text's baseline in tenths of a degree, counter-clockwise.
  int GetOrientation() const { return Escapement_; }
  void SetOrientation(int Value);
  TFontPitch GetPitch() const;
  void SetPitch(TFontPitch Value);
  TFontCharset GetCharset() const { return Charset_; }
  void SetCharset(TFontCharset Value);

  void Assign(const TPersistent* Source) override;

  // The logical-font record of this font. A record read with SetLogFont comes back byte for
  // byte, fields the font has no property for included.
  void GetLogFont(TLogFont& LogFont) const;
  // Takes every field of the record (the colour and PixelsPerInch are kept).
  void SetLogFont(const TLogFont& LogFont);

 private:
  void Changed();

  std::string Name_;
  int Height_ = -11;
  int PixelsPerInch_ = 96;
  TFontStyles Style_;
  TColor Color_ = clWindowText;
  int Escapement_ = 0;
  TFontCharset Charset_ = DEFAULT_CHARSET;
  // Record fields kept for an exact round trip.
  int32_t Width_ = 0;
  int32_t OrientationField_ = 0;
  int32_t Weight_ = FW_NORMAL;
  uint8_t Italic_ = 1, Underline_ = 1, StrikeOut_ = 1;  // values written for a set style
  uint8_t OutPrecision_ = 0, ClipPrecision_ = 0, Quality_ = 0;
  uint8_t PitchAndFamily_ = DEFAULT_PITCH;
  char Face_[32] = {};
};

void FontToLogFont(const TFont* Font, TLogFont& LogFont);
void LogFontToFont(const TLogFont& LogFont, TFont* Font);

}  // namespace corvex
