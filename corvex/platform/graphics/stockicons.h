// The platform's stock icons (application, error, question, warning, information), drawn at any
// size on a 24-bit bitmap with a white background. Message dialogs and the vector layer's icon
// objects use them.
#pragma once

namespace corvex {

class TBitmap;

constexpr int IDI_APPLICATION = 32512;
constexpr int IDI_HAND = 32513;
constexpr int IDI_QUESTION = 32514;
constexpr int IDI_EXCLAMATION = 32515;
constexpr int IDI_ASTERISK = 32516;
constexpr int IDI_WINLOGO = 32517;
constexpr int IDI_ERROR = IDI_HAND;
constexpr int IDI_WARNING = IDI_EXCLAMATION;
constexpr int IDI_INFORMATION = IDI_ASTERISK;

// Allocates bmp as Width x Height, 24 bits, and draws the icon. An identifier that is not one of
// the above draws the application icon. Returns false (bitmap untouched) for a size outside 1..4096.
bool DrawStockIcon(TBitmap& bmp, int IconId, int Width, int Height);

}  // namespace corvex
