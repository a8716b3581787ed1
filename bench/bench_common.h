// Shared pieces of the benchmark programs: a photo-like test image, a reporter that keeps the
// timings of our operations, and the running of peer programs in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "corvex/core/defs.h"
#include "corvex/platform/streams/streams.h"

namespace corvex::bench {

// Smooth shading, edges and fine noise: like a photograph as far as image operations can tell.
inline std::unique_ptr<TBitmap> MakePhoto(int w, int h) {
  auto bmp = std::make_unique<TBitmap>(w, h, pf24bit);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = bmp->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 29) - 4;
      const double fx = x / double(w), fy = y / double(h);
      const int r = int(128 + 100 * std::sin(fx * 9 + fy * 3)) + noise;
      const int g = int(128 + 90 * std::cos(fy * 7 - fx * 2)) + noise;
      const int b = int(((x / 400 + y / 300) % 2) ? 200 * fy : 60 + 100 * fx) + noise;
      p[0] = uint8_t(std::clamp(b, 0, 255));
      p[1] = uint8_t(std::clamp(g, 0, 255));
      p[2] = uint8_t(std::clamp(r, 0, 255));
    }
  }
  return bmp;
}

// Writes a 24-bit bitmap as a binary PPM (for peers that read files).
inline void WritePPM(const TBitmap& b, const std::string& path) {
  TFileStream f(path, fmCreate);
  const std::string head = "P6\n" + std::to_string(b.GetWidth()) + " " + std::to_string(b.GetHeight()) + "\n255\n";
  f.WriteBuffer(head.data(), int64_t(head.size()));
  std::vector<uint8_t> row(size_t(b.GetWidth()) * 3);
  for (int y = 0; y < b.GetHeight(); ++y) {
    const uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < b.GetWidth(); ++x) {
      row[3 * size_t(x)] = p[3 * x + 2];
      row[3 * size_t(x) + 1] = p[3 * x + 1];
      row[3 * size_t(x) + 2] = p[3 * x];
    }
    f.WriteBuffer(row.data(), int64_t(row.size()));
  }
  f.Flush();
}

inline std::string Run(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

inline bool Have(const std::string& program) { return !Run("command -v " + program + " 2>/dev/null").empty(); }

// The Python with Debian's modules, or "".
inline std::string Python(const std::string& module) {
  for (const char* py : {"/usr/bin/python3", "python3"})
    if (Run(std::string(py) + " -c 'import " + module + "; print(1)' 2>/dev/null").find('1') != std::string::npos)
      return py;
  return "";
}

// Milliseconds printed by a peer command on its last line ("" or a negative value: not run).
inline double PeerMs(const std::string& cmd) {
  const std::string out = Run(cmd);
  const size_t nl = out.find_last_not_of("\n");
  if (nl == std::string::npos) return -1;
  const size_t start = out.find_last_of('\n', nl);
  try {
    return std::stod(out.substr(start == std::string::npos ? 0 : start + 1));
  } catch (...) {
    return -1;
  }
}

// Keeps the real time of every benchmark (the median when repeated) by function name.
class TimingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      ms_[r.run_name.str()] = r.GetAdjustedRealTime();
    }
  }
  // Our time for a benchmark (its full name, e.g. "BM_Filter/1"), or -1.
  double Ms(const std::string& name) const {
    auto it = ms_.find(name);
    return it == ms_.end() ? -1 : it->second;
  }

 private:
  std::map<std::string, double> ms_;
};

// One line of the summary: our figure beside a peer's.
inline void PrintRow(const std::string& op, double ours, const std::string& peer, double theirs) {
  if (theirs > 0)
    std::printf("%-34s %10.2f   %-28s %10.2f   %6.2fx\n", op.c_str(), ours, peer.c_str(), theirs, theirs / ours);
  else
    std::printf("%-34s %10.2f   %-28s %10s\n", op.c_str(), ours, peer.c_str(), "(not installed)");
}

inline void PrintHeader() {
  std::printf("\n%-34s %10s   %-28s %10s   %7s\n", "operation", "ours ms", "peer", "peer ms", "speedup");
}

}  // namespace corvex::bench
