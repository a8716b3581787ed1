// The DXF importer over any bytes, written to a file of the process's own.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "corvex/view/CXVect.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace corvex;
  fuzz::Init();
  static const std::string path = "/tmp/fuzz_dxf_" + std::to_string(getpid()) + ".dxf";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(Data, 1, Size, f);
  std::fclose(f);
  auto view = std::make_unique<TCorvexVect>(nullptr);
  TBitmap image(64, 48, pf24bit);
  view->Assign(&image);
  if (!view->ImportDXF(path) && view->GetObjectsCount() != 0) __builtin_trap();  // a failed import added objects
  return 0;
}
