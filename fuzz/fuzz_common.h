// Shared set-up of the fuzz harnesses: the LZW coders installed, a pixel limit that keeps the
// fuzzer within its memory limit, and a reader run over the input bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvex/io/CorvexIO.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/streams/streams.h"

namespace corvex::fuzz {

inline void Init() {
  static const bool done = [] {
    CXInstallLZW();
    gMaxImagePixels = 16 * 1000 * 1000;  // well inside the fuzzer's memory limit
    return true;
  }();
  (void)done;
}

// Runs a reader in the common calling shape over the bytes; true when it did not abort.
inline bool Decode(TCXReadFunction Read, const uint8_t* Data, size_t Size, TBitmap& Bitmap, TIOParamsVals& Params,
                   bool Preview = false) {
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  TPointerStream s(Data, int64_t(Size));
  try {
    Read(&s, &Bitmap, Params, pr, Preview);
  } catch (const Exception&) {
    return false;  // raised only for memory the platform refused
  }
  return !abort;
}

}  // namespace corvex::fuzz
