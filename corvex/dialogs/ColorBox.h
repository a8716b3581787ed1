// The colour box: a small modal form with the colour as a swatch and a spin edit for each of red,
// green and blue. The dialogs use it to pick a colour that is not taken from a palette.
#pragma once

#include "corvex/core/cxwords.h"
#include "corvex/core/defs.h"

namespace corvex {

class TFont;

// Shows the box on Color (in the dialogs' language and Font, when given); true with OK, Color
// then the one chosen; Cancel leaves it as it was.
bool CXPickColor(TRGB& Color, TMsgLanguage Lang, const TFont* Font = nullptr);

}  // namespace corvex
