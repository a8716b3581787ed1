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

// A file of the corpus by its path there, e.g. CorpusFile("pcx/peer_im_hopper.pcx").
std::string CorpusFile(const std::string& Name);

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

// Little-endian fields of files built or inspected byte by byte: Put appends, Set overwrites at
// an offset, Get reads at an offset.
inline void Put16(std::vector<uint8_t>& v, uint32_t x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
}
inline void Set16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
inline void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (size_t i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
inline uint16_t Get16(const std::vector<uint8_t>& v, size_t at) { return uint16_t(v[at] | v[at + 1] << 8); }
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 | uint32_t(v[at + 3]) << 24;
}

// How DamagedCopy damages a file: minEdits to maxEdits edits, each at a position in
// [from, from + span) (span 0: to the end; a position past the end takes the last byte), each
// overwriting the byte, flipping one of its bits or cutting the file after it, in the proportions
// of the three weights. With cutTo the copy is then cut to a random length below its size
// (possibly nothing).
struct Damage {
  int minEdits = 1, maxEdits = 1;
  size_t from = 0, span = 0;
  int overwrite = 1, flip = 0, cut = 0;
  bool cutTo = false;
};
// A damaged copy of Bytes: the same Seed and Damage always give the same copy, so a seed named in
// a failure reproduces the file.
std::vector<uint8_t> DamagedCopy(const std::vector<uint8_t>& Bytes, uint32_t Seed, const Damage& How = {});

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
