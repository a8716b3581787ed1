// Helpers for codec tests: run a reader or writer on a file or memory, and compare pixels.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/streams/streams.h"
#include "tests/common/testing.h"

namespace corvex::testing_support {

// Runs a reader on a file; true when it did not set the abort flag.
inline bool DecodeFile(TCXReadFunction Read, const std::string& Path, TBitmap& Bitmap, TIOParamsVals& Params,
                       bool Preview = false) {
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  TFileStream f(Path, fmOpenRead);
  Read(&f, &Bitmap, Params, progress, Preview);
  return !abort;
}

// Runs a reader on bytes in memory.
inline bool DecodeBytes(TCXReadFunction Read, const std::vector<uint8_t>& Bytes, TBitmap& Bitmap,
                        TIOParamsVals& Params, bool Preview = false) {
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  TPointerStream s(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  Read(&s, &Bitmap, Params, progress, Preview);
  return !abort;
}

// Runs a writer into memory; true when it did not set the abort flag.
inline bool EncodeBytes(TCXWriteFunction Write, TBitmap& Bitmap, TIOParamsVals& Params, std::vector<uint8_t>& Out) {
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  TMemoryStream m;
  Write(&m, &Bitmap, Params, progress);
  Out.assign(m.Memory(), m.Memory() + m.GetSize());
  return !abort;
}

// The largest difference of one sample between two images of the same size (as RGB), or 256
// when the sizes differ.
inline int MaxSampleDiff(const TBitmap& A, const TBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight()) return 256;
  const auto a = RgbBytes(A), b = RgbBytes(B);
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

// Peak signal-to-noise ratio in dB between two images of the same size (infinity when equal,
// 0 when the sizes differ).
inline double Psnr(const TBitmap& A, const TBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight()) return 0;
  const auto a = RgbBytes(A), b = RgbBytes(B);
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += double(int(a[i]) - int(b[i])) * double(int(a[i]) - int(b[i]));
  if (se == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

}  // namespace corvex::testing_support
