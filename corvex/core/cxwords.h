// The texts that the library's dialogs show, in nine languages. Every component with dialogs
// has a MsgLanguage property and asks for each word through cxmsg. The table is filled with the
// built-in texts when the library loads; an application may replace any entry, and fills the
// msUser language itself.
#pragma once

#include <array>
#include <string>

namespace corvex {

enum TMsgLanguage {
  msSystem, msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese, msGreek, msRussian, msUser
};

enum TMsgLanguageWords {
  CXMSG_PREVIEW, CXMSG_SOURCE, CXMSG_RESULT, CXMSG_OK, CXMSG_CANCEL, CXMSG_LOCKPREVIEW,
  CXMSG_COPYRESULTTOSOURCE, CXMSG_CONTRAST, CXMSG_BRIGHTNESS, CXMSG_HUE, CXMSG_SATURATION,
  CXMSG_VALUE, CXMSG_BASECOLOR, CXMSG_NEWCOLOR, CXMSG_LUMINOSITY, CXMSG_RED, CXMSG_GREEN,
  CXMSG_BLUE, CXMSG_FILTERVALUES, CXMSG_PRESETS, CXMSG_DIVISOR, CXMSG_LOAD, CXMSG_SAVE,
  CXMSG_EQUALIZATION, CXMSG_THRESHOLD, CXMSG_EQUALIZE, CXMSG_HISTOGRAM, CXMSG_GRAY, CXMSG_LIGHT,
  CXMSG_LEFT, CXMSG_TOP, CXMSG_WIDTH, CXMSG_HEIGHT, CXMSG_COLOR, CXMSG_SOURCEIMAGEQUANTITY,
  CXMSG_LENS, CXMSG_REFRACTION, CXMSG_PARAMETERSPREVIEW, CXMSG_QUALITY, CXMSG_DCTMETHOD,
  CXMSG_SMOOTHINGFACTOR, CXMSG_GRAYSCALE, CXMSG_OPTIMALHUFFMAN, CXMSG_ORIGINALSIZE,
  CXMSG_COMPRESSEDSIZE, CXMSG_ADVANCED, CXMSG_PROGRESSIVE, CXMSG_COMPRESSION, CXMSG_IMAGEINDEX,
  CXMSG_PHOTOMETRIC, CXMSG_SCANNDEDDOCUMENTINFO, CXMSG_NAME, CXMSG_DESCRIPTION, CXMSG_PAGENAME,
  CXMSG_PAGENUMBER, CXMSG_OF, CXMSG_HORIZPOSITIONINCH, CXMSG_VERTPOSITIONINCH, CXMSG_COLORS,
  CXMSG_TRANSPARENT, CXMSG_TRANSPARENTCOLOR, CXMSG_INTERLACED, CXMSG_BACKGROUND,
  CXMSG_HORIZPOSITION, CXMSG_VERTPOSITION, CXMSG_DELAYTIME, CXMSG_FILTER, CXMSG_WAVE,
  CXMSG_AMPLITUDE, CXMSG_WAVELENGTH, CXMSG_PHASE, CXMSG_REFLECTIVE, CXMSG_USERFILTER,
  CXMSG_MORPHFILTER, CXMSG_WINDOWSIZE, CXMSG_MAXIMUM, CXMSG_MINIMUM, CXMSG_OPEN, CXMSG_CLOSE,
  CXMSG_ROTATE, CXMSG_FLIP, CXMSG_FLIPHOR, CXMSG_FLIPVER, CXMSG_FREQUENCYDOMAINIMAGE,
  CXMSG_SELECTTHEREGIONTOCLEAR, CXMSG_CLEAR, CXMSG_RESET
};

constexpr int kMsgWordCount = 87;
constexpr int kMsgLanguageCount = 9;  // msEnglish .. msUser
static_assert(CXMSG_RESET + 1 == kMsgWordCount);

// The table, language-major: cxMessages[Language - msEnglish][Word]. UTF-8; empty = unset.
extern std::array<std::array<std::string, kMsgWordCount>, kMsgLanguageCount> cxMessages;

// The text of Word in Language. An empty entry gives the English text. msSystem picks the
// language of the system locale (LC_ALL, LC_MESSAGES, LANG) and returns its entry as it is,
// even when empty; locales of other languages give English.
std::string cxmsg(TMsgLanguageWords Word, TMsgLanguage Language);
// Stores Text as the entry (Language msEnglish .. msUser; others are ignored).
void CXSetTranslationWord(TMsgLanguage Language, TMsgLanguageWords Word, const std::string& Text);
// Stores all built-in texts (and empties msUser).
void CXSetDefaultTranslationWords();
// The language msSystem stands for now: one of the built-in languages, or msEnglish.
TMsgLanguage CXSystemLanguage();

}  // namespace corvex
