// Helpers shared by the tests: the real-world corpus and its manifest, digests of decoded pixels,
// temporary files, and the peer programs some tests compare against.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"

namespace corvex::testing_support {

// The corpus folder (CORVEX_CORPUS_DIR in the environment, else ../shared/corpus beside the
// project), or "" when it is not there.
std::string CorpusDir();

// One row of the corpus manifest (corpus/manifest.tsv).
struct ManifestRow {
  std::string file;       // relative to the corpus folder, e.g. "bmp/bmpsuite_g_rgb24.bmp"
  std::string origin;     // bmpsuite, pngsuite, pillow, libtiff, peer
  std::string expect;     // "decode", or "robust:<error>"
  int width = -1, height = -1, frames = -1;
  std::string mode, alpha;
  std::string reference;  // reference PNG of frame 0, relative to the corpus folder
  std::string rgb_sha256_16;
  bool Decodes() const { return expect == "decode"; }
  std::string Path() const;           // absolute path of the file
  std::string ReferencePath() const;  // absolute path of the reference, or ""
};

// The manifest rows whose file starts with Prefix ("" = all); empty without a corpus.
std::vector<ManifestRow> ReadManifest(const std::string& Prefix = "");

// SHA-256 of a byte block as 64 lowercase hex digits.
std::string Sha256Hex(const uint8_t* Data, size_t Size);
// The image as RGB bytes (row 0 first, R, G, B), for 24-bit and 1-bit bitmaps.
std::vector<uint8_t> RgbBytes(const TBitmap& Bitmap);
// The first 16 hex digits of the SHA-256 of RgbBytes: the manifest's rgb_sha256_16.
std::string RgbDigest16(const TBitmap& Bitmap);

// A path for a temporary file, unique to this process.
std::string TempPath(const std::string& Name);
std::vector<uint8_t> ReadFileBytes(const std::string& Path);
void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Bytes);

// True when the program is on the PATH.
bool HaveProgram(const std::string& Name);
// True when /usr/bin/python3 (or python3) imports the module.
bool HavePythonModule(const std::string& Module);
// The python interpreter that has the Debian modules (Pillow, NumPy), or "".
std::string Python();
// Runs a shell command; returns its exit status and, optionally, its standard output.
int RunCommand(const std::string& Command, std::string* Output = nullptr);

}  // namespace corvex::testing_support

// Skips the test when the corpus is not beside the project.
#define CORVEX_REQUIRE_CORPUS()                                                   \
  do {                                                                            \
    if (::corvex::testing_support::CorpusDir().empty()) GTEST_SKIP() << "no corpus"; \
  } while (0)
