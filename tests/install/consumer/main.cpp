// A program outside the project that uses the installed library.
#include <corvex/core/cxwords.h>
#include <corvex/core/defs.h>
#include <corvex/platform/bitmap.h>

#include <cstdio>

int main() {
  corvex::TBitmap b(10, 4, corvex::pf24bit);
  if (b.GetRowLength() != 32) return 1;
  if (corvex::_BitmapRowLen(10, 24) != 32) return 2;
  if (corvex::cxmsg(corvex::CXMSG_OK, corvex::msEnglish) != "OK") return 3;
  std::puts("consumer ok");
  return 0;
}
