// libcorvexdbreg.so, "Corvex DB Controls": the design-time plug-in that puts the two data-aware
// views of libcorvexdb.so on the designer's "Corvex" page. It links libcorvexdb.so, so that a
// loader without it refuses the plug-in.
#include "corvex/db/CXDBView.h"
#include "corvex/package/designer.h"
#include "corvex/package/package.h"
#include "corvex/platform/graphics/bitmap.h"

namespace corvex {
namespace {

// The palette bitmaps (TCORVEXDBVIEW, TCORVEXDBVECT): a framed picture over a database
// cylinder; the vector view's picture is a line instead of a landscape.
void DrawIcon(TBitmap& B, bool Vector) {
  auto Put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = B.ScanLine(y) + 3 * x;
    p[0] = b, p[1] = g, p[2] = r;
  };
  for (int y = 2; y < 16; ++y)
    for (int x = 2; x < 22; ++x) {
      const bool edge = y == 2 || y == 15 || x == 2 || x == 21;
      if (edge) Put(x, y, 0, 0, 128);
      else if (Vector) Put(x, y, 255, 255, 255);
      else Put(x, y, y < 10 ? 120 : 40, y < 10 ? 170 : 140, y < 10 ? 255 : 40);
    }
  if (Vector)
    for (int i = 4; i < 20; ++i) Put(i, 13 - (i - 4) * 9 / 15, 200, 0, 0);
  for (int y = 16; y < 23; ++y)
    for (int x = 7; x < 17; ++x) Put(x, y, 200, 160, 0);
}

const TPackageInfo kPackage{"corvexdbreg", "Corvex DB Controls", {"corvexctrl", "corvexdb", "vcl40"},
                            {{"corvexdbreg", nullptr, nullptr}, {"CXRegDB", nullptr, nullptr}}};

}  // namespace
}  // namespace corvex

extern "C" {

__attribute__((visibility("default"))) const corvex::TPackageInfo* GetPackageInfoTable() {
  return &corvex::kPackage;
}

// Called once by the designer after loading the plug-in: exactly two registrations, in order.
__attribute__((visibility("default"))) void Register() {
  using namespace corvex;
  RegisterComponents("Corvex", {TComponentClass{"TCorvexDBView",
                                                [](TComponent* Owner) -> TComponent* { return new TCorvexDBView(Owner); },
                                                [](TBitmap& B) { DrawIcon(B, false); }}});
  RegisterComponents("Corvex", {TComponentClass{"TCorvexDBVect",
                                                [](TComponent* Owner) -> TComponent* { return new TCorvexDBVect(Owner); },
                                                [](TBitmap& B) { DrawIcon(B, true); }}});
}
}
