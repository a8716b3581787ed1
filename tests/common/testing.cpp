#include "tests/common/testing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace corvex::testing_support {

namespace {

bool IsDir(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int ToInt(const std::string& s) {
  if (s.empty() || s == "-") return -1;
  return std::atoi(s.c_str());
}

// SHA-256 (FIPS 180-4), small and plain: the tests digest a few megabytes at most.
class Sha256 {
 public:
  void Update(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      buf_[len_++] = p[i];
      if (len_ == 64) {
        Block(buf_.data());
        len_ = 0;
      }
    }
    bits_ += uint64_t(n) * 8;
  }
  std::string HexDigest() {
    const uint64_t bits = bits_;
    const uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (len_ != 56) Update(&zero, 1);
    uint8_t l[8];
    for (int i = 0; i < 8; ++i) l[i] = uint8_t(bits >> (56 - 8 * i));
    Update(l, 8);
    char out[65];
    for (int i = 0; i < 8; ++i) std::snprintf(out + 8 * i, 9, "%08x", h_[size_t(i)]);
    return std::string(out, 64);
  }

 private:
  static uint32_t R(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void Block(const uint8_t* p) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = R(w[i - 15], 7) ^ R(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = R(w[i - 2], 17) ^ R(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = h + (R(e, 6) ^ R(e, 11) ^ R(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (R(a, 2) ^ R(a, 13) ^ R(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a; h_[1] += b; h_[2] += c; h_[3] += d;
    h_[4] += e; h_[5] += f; h_[6] += g; h_[7] += h;
  }
  std::array<uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> buf_{};
  size_t len_ = 0;
  uint64_t bits_ = 0;
};

}  // namespace

std::string CorpusDir() {
  static const std::string dir = [] {
    const char* env = std::getenv("CORVEX_CORPUS_DIR");
    std::string d = env && *env ? env : CORVEX_CORPUS_DIR;
    return IsDir(d) ? d : std::string();
  }();
  return dir;
}

std::string CorpusFile(const std::string& Name) { return CorpusDir() + "/" + Name; }

std::string ManifestRow::Path() const { return CorpusDir() + "/" + file; }
std::string ManifestRow::ReferencePath() const {
  return reference.empty() || reference == "-" ? std::string() : CorpusDir() + "/" + reference;
}

std::vector<ManifestRow> ReadManifest(const std::string& Prefix) {
  std::vector<ManifestRow> rows;
  if (CorpusDir().empty()) return rows;
  std::ifstream in(CorpusDir() + "/manifest.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    if (f.size() < 10) continue;
    ManifestRow r;
    r.file = f[0];
    r.origin = f[1];
    r.expect = f[2];
    r.width = ToInt(f[3]);
    r.height = ToInt(f[4]);
    r.frames = ToInt(f[5]);
    r.mode = f[6];
    r.alpha = f[7];
    r.reference = f[8];
    r.rgb_sha256_16 = f[9];
    if (r.file.compare(0, Prefix.size(), Prefix) == 0) rows.push_back(r);
  }
  return rows;
}

std::string Sha256Hex(const uint8_t* Data, size_t Size) {
  Sha256 s;
  s.Update(Data, Size);
  return s.HexDigest();
}

std::vector<uint8_t> RgbBytes(const TBitmap& Bitmap) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  std::vector<uint8_t> out;
  out.reserve(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = Bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      if (Bitmap.GetPixelFormat() == pf1bit) {
        const uint8_t v = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
        out.insert(out.end(), {v, v, v});
      } else {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

std::string RgbDigest16(const TBitmap& Bitmap) {
  const std::vector<uint8_t> rgb = RgbBytes(Bitmap);
  return Sha256Hex(rgb.data(), rgb.size()).substr(0, 16);
}

std::string TempPath(const std::string& Name) {
  return ::testing::TempDir() + "corvex_" + std::to_string(::getpid()) + "_" + Name;
}

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream out(Path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

std::vector<uint8_t> DamagedCopy(const std::vector<uint8_t>& Bytes, uint32_t Seed, const Damage& How) {
  // SplitMix64: every seed, even a small one, starts a well mixed sequence.
  uint64_t state = Seed;
  auto next = [&state] {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  auto below = [&next](uint64_t n) { return n ? next() % n : 0; };
  std::vector<uint8_t> out = Bytes;
  const int edits = How.minEdits + int(below(uint64_t(std::max(How.maxEdits - How.minEdits, 0) + 1)));
  const int weights = std::max(How.overwrite, 0) + std::max(How.flip, 0) + std::max(How.cut, 0);
  for (int e = 0; e < edits && !out.empty(); ++e) {
    const size_t span = How.span ? How.span : out.size();
    const size_t at = std::min(out.size() - 1, How.from + size_t(below(span)));
    const int kind = int(below(uint64_t(std::max(weights, 1))));
    if (kind < How.overwrite) {
      out[at] = uint8_t(next() >> 24);
    } else if (kind < How.overwrite + How.flip) {
      out[at] ^= uint8_t(1u << below(8));
    } else {
      out.resize(at + 1);
    }
  }
  if (How.cutTo && !out.empty()) out.resize(size_t(below(out.size())));
  return out;
}

int RunCommand(const std::string& Command, std::string* Output) {
  FILE* p = ::popen(Command.c_str(), "r");
  if (p == nullptr) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
    if (Output) Output->append(buf, n);
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& Name) {
  return RunCommand("command -v '" + Name + "' >/dev/null 2>&1") == 0;
}

std::string Python() {
  static const std::string py = [] {
    for (const char* c : {"/usr/bin/python3", "python3"})
      if (RunCommand(std::string(c) + " -c 'import sys' >/dev/null 2>&1") == 0) return std::string(c);
    return std::string();
  }();
  return py;
}

bool HavePythonModule(const std::string& Module) {
  return !Python().empty() && RunCommand(Python() + " -c 'import " + Module + "' >/dev/null 2>&1") == 0;
}

}  // namespace corvex::testing_support
