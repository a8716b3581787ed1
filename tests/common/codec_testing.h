// Helpers for codec tests: run a reader or writer on a file or memory, and compare pixels.
#pragma once

#include <cmath>
#include <cstdlib>
#include <exception>
#include <string>
#include <typeinfo>
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

// Records the percentages a codec reports, and can stop it by setting *abort (usually the flag
// behind the record's Aborting): at report number stopAtCall (1 = the first), or at the first
// report of stopAtPercent or more.
struct ProgressLog : TObject {
  std::vector<int> seen;
  bool* abort = nullptr;
  int stopAtCall = 0;      // 0: never
  int stopAtPercent = -1;  // -1: never
  void On(TObject*, int32_t per) {
    seen.push_back(per);
    const bool stop = (stopAtCall > 0 && int(seen.size()) == stopAtCall) || (stopAtPercent >= 0 && per >= stopAtPercent);
    if (stop && abort) *abort = true;
  }
  TCXProgressEvent Event() { return TCXProgressEvent(this, &ProgressLog::On); }
};

// What every reader promises for any input, damaged or not. Either it did not set the abort flag
// and the bitmap is legal: not empty, pf24bit or pf1bit (pf8bit where the reader says so), rows
// of the 4-byte padded length, every byte of every row readable, and the record's Width and
// Height those of the bitmap where the reader fills them. Or it set the abort flag, and the
// bitmap is empty (0 x 0) or still legal (the rows decoded before the damage). Never "no abort
// flag" with an empty or illegal bitmap, except where the reader documents that there was nothing
// to load (an image index past the last image).
struct LoadContract {
  bool eightBit = false;        // pf8bit is one of the reader's documented results
  bool paramsGiveSize = true;   // the reader fills Params.Width and Params.Height
  bool nothingToLoad = false;   // this read asks for an image the file does not have
  // For a reader that raises an exception for damaged input by design: true for that exception
  // (say &LoadContract::Is<EReadError>). Any other exception breaks the contract.
  bool (*documentedRaise)(const std::exception&) = nullptr;
  template <class E>
  static bool Is(const std::exception& e) {
    return dynamic_cast<const E*>(&e) != nullptr;
  }
};

// Why the bitmap is not legal under the contract, or "" when it is.
inline std::string IllegalBitmap(const TBitmap& Bitmap, const TIOParamsVals& Params, const LoadContract& Contract) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  const std::string size = std::to_string(w) + " x " + std::to_string(h);
  if (w <= 0 || h <= 0) return "the bitmap is " + size;
  const TPixelFormat f = Bitmap.GetPixelFormat();
  if (f != pf24bit && f != pf1bit && !(f == pf8bit && Contract.eightBit))
    return "the pixel format is " + std::to_string(int(f)) + " (" + std::to_string(Bitmap.GetBitCount()) + " bits)";
  const size_t padded = (size_t(w) * size_t(Bitmap.GetBitCount()) + 31) / 32 * 4;
  if (Bitmap.GetRowLength() != padded)
    return "rows of " + std::to_string(Bitmap.GetRowLength()) + " bytes, not " + std::to_string(padded);
  // Every byte of every row, so that the address sanitizer sees a block that is too short.
  unsigned sum = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = Bitmap.ScanLine(y);
    for (size_t i = 0; i < padded; ++i) sum += row[i];
  }
  volatile unsigned sink = sum;
  (void)sink;
  if (Contract.paramsGiveSize && (Params.Width != w || Params.Height != h))
    return "the record says " + std::to_string(Params.Width) + " x " + std::to_string(Params.Height) +
           ", the bitmap is " + size;
  return "";
}

// The verdict on one read that ended with or without the abort flag: "" when the contract holds.
inline std::string LoadVerdict(bool Aborted, const TBitmap& Bitmap, const TIOParamsVals& Params,
                               const LoadContract& Contract = {}) {
  const bool empty = Bitmap.GetWidth() == 0 && Bitmap.GetHeight() == 0;
  if (Aborted && empty) return "";
  if (!Aborted && empty && Contract.nothingToLoad) return "";
  const std::string why = IllegalBitmap(Bitmap, Params, Contract);
  if (why.empty()) return "";
  return (Aborted ? "abort flag set, and " : "no abort flag, but ") + why;
}

// What CheckLoad found: whether the read ended without the abort flag, and the verdict.
struct LoadOutcome {
  bool loaded = false;
  std::string verdict;
};

// Runs Read (a callable that reads into Bitmap and Params and returns true when the abort flag
// stayed clear, as DecodeBytes does) and judges the result by the contract. An exception is
// accepted only when the contract documents it, with the bitmap empty or legal.
template <class ReadFn>
LoadOutcome CheckLoad(ReadFn&& Read, const TBitmap& Bitmap, const TIOParamsVals& Params,
                      const LoadContract& Contract = {}) {
  LoadOutcome out;
  try {
    out.loaded = Read();
  } catch (const std::exception& e) {
    const std::string what = std::string(typeid(e).name()) + " \"" + e.what() + "\"";
    if (Contract.documentedRaise == nullptr || !Contract.documentedRaise(e)) {
      out.verdict = "raised " + what;
    } else if (!(Bitmap.GetWidth() == 0 && Bitmap.GetHeight() == 0)) {
      const std::string why = IllegalBitmap(Bitmap, Params, Contract);
      if (!why.empty()) out.verdict = "raised " + what + ", and " + why;
    }
    return out;
  } catch (...) {
    out.verdict = "raised something that is not a std::exception";
    return out;
  }
  out.verdict = LoadVerdict(!out.loaded, Bitmap, Params, Contract);
  return out;
}

// The tally of a test that reads many damaged files: reads that loaded, reads that ended with the
// abort flag, and the reads that broke the contract (the first five with their context).
struct LoadTally {
  int loaded = 0, refused = 0, broken = 0;
  std::string report;
  // Context is called only for a broken contract; it names the file and the damage seed.
  template <class ContextFn>
  void Add(const LoadOutcome& Outcome, ContextFn&& Context) {
    (Outcome.loaded ? loaded : refused)++;
    if (Outcome.verdict.empty()) return;
    if (++broken <= 5) report += std::string(Context()) + ": " + Outcome.verdict + "\n";
  }
};

// Reads Count damaged copies of a corpus file (seeds 0 .. Count - 1, damaged as HowFor(seed)
// says) with a reader in the common shape, and adds each read to the tally.
template <class HowFn>
void TallyDamagedCopies(LoadTally& Tally, TCXReadFunction Read, const std::string& CorpusName, uint32_t Count,
                        HowFn&& HowFor) {
  const std::vector<uint8_t> original = ReadFileBytes(CorpusFile(CorpusName));
  for (uint32_t seed = 0; seed < Count; ++seed) {
    const std::vector<uint8_t> bytes = DamagedCopy(original, seed, HowFor(seed));
    TBitmap bitmap;
    TIOParamsVals params;
    Tally.Add(CheckLoad([&] { return DecodeBytes(Read, bytes, bitmap, params); }, bitmap, params),
              [&] { return CorpusName + ", damage seed " + std::to_string(seed); });
  }
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
