// The vector layer's CXV reader: any bytes either load or leave the layer as it was.
#include <memory>

#include "corvex/platform/ui/forms.h"
#include "corvex/view/CXVect.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  static TForm* form = [] {
    auto* f = new TForm(nullptr);
    f->SetBounds(0, 0, 200, 150);
    return f;
  }();
  auto view = std::make_unique<TCorvexVect>(nullptr);
  view->SetParent(form);
  view->SetBounds(0, 0, 200, 150);
  TBitmap image(64, 48, pf24bit);
  view->Assign(&image);
  view->AddNewObject();
  TPointerStream s(Data, int64_t(Size));
  if (!view->LoadFromStreamCXV(&s) && view->GetObjectsCount() != 1) __builtin_trap();  // changed by a failed load
  TMemoryStream again;
  view->SaveToStreamCXV(&again);
  again.SetPosition(0);
  if (!view->LoadFromStreamCXV(&again)) __builtin_trap();  // our own output must load
  view->SetParent(nullptr);
  return 0;
}
