#include "corvex/platform/graphics/font.h"

#include <algorithm>
#include <cstring>

#include "corvex/platform/screen.h"

namespace corvex {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = int64_t(a) * b;
  const int64_t half = (c < 0 ? -int64_t(c) : int64_t(c)) / 2;
  const bool negative = (p < 0) != (c < 0);
  const int64_t ap = p < 0 ? -p : p, ac = c < 0 ? -int64_t(c) : int64_t(c);
  const int64_t q = (ap + half) / ac;
  return static_cast<int>(negative ? -q : q);
}

// 8 points at the screen's resolution: 11 pixels at 96 dpi, 16 at 144.
TFont::TFont()
    : Height_(-MulDiv(8, gSystemDPIY > 0 ? gSystemDPIY : 96, 72)), PixelsPerInch_(gSystemDPIY > 0 ? gSystemDPIY : 96) {
  SetName("MS Sans Serif");
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

void TFont::SetName(const std::string& Value) {
  std::memset(Face_, 0, sizeof Face_);
  std::memcpy(Face_, Value.data(), std::min<size_t>(Value.size(), sizeof Face_ - 1));
  if (Value == Name_) return;
  Name_ = Value;
  Changed();
}

void TFont::SetHeight(int Value) {
  if (Value == Height_) return;
  Height_ = Value;
  Changed();
}

void TFont::SetPixelsPerInch(int Value) {
  if (Value > 0) PixelsPerInch_ = Value;
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == Style_) return;
  Style_ = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Value == Color_) return;
  Color_ = Value;
  Changed();
}

void TFont::SetOrientation(int Value) {
  OrientationField_ = Value;
  if (Value == Escapement_) return;
  Escapement_ = Value;
  Changed();
}

TFontPitch TFont::GetPitch() const {
  switch (PitchAndFamily_ & 3) {
    case FIXED_PITCH: return fpFixed;
    case VARIABLE_PITCH: return fpVariable;
    default: return fpDefault;
  }
}

void TFont::SetPitch(TFontPitch Value) {
  const uint8_t bits = Value == fpFixed ? FIXED_PITCH : Value == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  const uint8_t v = static_cast<uint8_t>((PitchAndFamily_ & ~3) | bits);
  if (v == PitchAndFamily_) return;
  PitchAndFamily_ = v;
  Changed();
}

void TFont::SetCharset(TFontCharset Value) {
  if (Value == Charset_) return;
  Charset_ = Value;
  Changed();
}

void TFont::Assign(const TPersistent* Source) {
  const auto* f = dynamic_cast<const TFont*>(Source);
  if (f == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (f == this) return;
  Name_ = f->Name_;
  Height_ = f->Height_;
  PixelsPerInch_ = f->PixelsPerInch_;
  Style_ = f->Style_;
  Color_ = f->Color_;
  Escapement_ = f->Escapement_;
  Charset_ = f->Charset_;
  Width_ = f->Width_;
  OrientationField_ = f->OrientationField_;
  Weight_ = f->Weight_;
  Italic_ = f->Italic_;
  Underline_ = f->Underline_;
  StrikeOut_ = f->StrikeOut_;
  OutPrecision_ = f->OutPrecision_;
  ClipPrecision_ = f->ClipPrecision_;
  Quality_ = f->Quality_;
  PitchAndFamily_ = f->PitchAndFamily_;
  std::memcpy(Face_, f->Face_, sizeof Face_);
  Changed();
}

void TFont::GetLogFont(TLogFont& lf) const {
  lf = TLogFont{};
  lf.lfHeight = Height_;
  lf.lfWidth = Width_;
  lf.lfEscapement = Escapement_;
  lf.lfOrientation = OrientationField_;
  // The weight keeps its exact value while it agrees with the bold style.
  const bool bold = Style_.Contains(fsBold);
  lf.lfWeight = bold == (Weight_ >= FW_BOLD) ? Weight_ : bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = Style_.Contains(fsItalic) ? Italic_ : 0;
  lf.lfUnderline = Style_.Contains(fsUnderline) ? Underline_ : 0;
  lf.lfStrikeOut = Style_.Contains(fsStrikeOut) ? StrikeOut_ : 0;
  lf.lfCharSet = Charset_;
  lf.lfOutPrecision = OutPrecision_;
  lf.lfClipPrecision = ClipPrecision_;
  lf.lfQuality = Quality_;
  lf.lfPitchAndFamily = PitchAndFamily_;
  std::memcpy(lf.lfFaceName, Face_, sizeof Face_);
}

void TFont::SetLogFont(const TLogFont& lf) {
  std::memcpy(Face_, lf.lfFaceName, sizeof Face_);
  Name_.assign(Face_, strnlen(Face_, sizeof Face_));
  Height_ = lf.lfHeight;
  Width_ = lf.lfWidth;
  Escapement_ = lf.lfEscapement;
  OrientationField_ = lf.lfOrientation;
  Weight_ = lf.lfWeight;
  TFontStyles s;
  if (lf.lfWeight >= FW_BOLD) s.Include(fsBold);
  if (lf.lfItalic != 0) s.Include(fsItalic);
  if (lf.lfUnderline != 0) s.Include(fsUnderline);
  if (lf.lfStrikeOut != 0) s.Include(fsStrikeOut);
  Style_ = s;
  Italic_ = lf.lfItalic != 0 ? lf.lfItalic : 1;
  Underline_ = lf.lfUnderline != 0 ? lf.lfUnderline : 1;
  StrikeOut_ = lf.lfStrikeOut != 0 ? lf.lfStrikeOut : 1;
  Charset_ = lf.lfCharSet;
  OutPrecision_ = lf.lfOutPrecision;
  ClipPrecision_ = lf.lfClipPrecision;
  Quality_ = lf.lfQuality;
  PitchAndFamily_ = lf.lfPitchAndFamily;
  Changed();
}

void FontToLogFont(const TFont* Font, TLogFont& LogFont) {
  if (Font == nullptr) {
    LogFont = TLogFont{};
    return;
  }
  Font->GetLogFont(LogFont);
}

void LogFontToFont(const TLogFont& LogFont, TFont* Font) {
  if (Font != nullptr) Font->SetLogFont(LogFont);
}

}  // namespace corvex
