// corvex conformance CORPUS_DIR : runs every reader over the corpus (its manifest.tsv) and prints,
// per format, how many files that another decoder reads match its reference exactly, closely
// (PSNR >= 40 dB), differ or fail, and how many hostile files were survived; then every
// difference with the reason it is expected, or UNEXPECTED.
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "apps/corvex/tool.h"
#include "corvex/io/CorvexIO.h"

namespace corvex::tool {
namespace {

struct Row {
  std::string file, expect, mode, alpha, reference;
  int width = -1, height = -1;
};

std::vector<Row> ReadManifest(const std::string& dir) {
  std::vector<Row> rows;
  std::ifstream in(dir + "/manifest.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    if (f.size() < 10) continue;
    Row r;
    r.file = f[0];
    r.expect = f[2];
    r.width = f[3] == "-" ? -1 : std::atoi(f[3].c_str());
    r.height = f[4] == "-" ? -1 : std::atoi(f[4].c_str());
    r.mode = f[6];
    r.alpha = f[7];
    r.reference = f[8];
    rows.push_back(r);
  }
  return rows;
}

// Why this library's rules give other pixels than the reference decoder, for the files where
// they do; "" when a difference would be unexpected.
std::string ExpectedReason(const Row& r) {
  static const std::map<std::string, std::string> named = {
      {"png/pngsuite_png_xcsn0g01.png", "wrong IDAT checksum: refused (the reference ignores checksums)"},
      {"gif/pillow_first_frame_transparency.gif", "image not placed on the logical screen"},
      {"tga/pillow_p_16.tga", "16-bit colour map: channels times 8 (the reference stretches them)"},
      {"bmp/bmpsuite_q_pal8badindex.bmp", "indices past the colour table are black (the reference greys)"},
      {"bmp/bmpsuite_b_badpalettesize.bmp", "indices past the colour table are black (the reference greys)"},
      {"tiff/pillow_old-style-jpeg-compression.tif", "old-style JPEG (compression 6) is refused"},
      {"bmp/pillow_clipboard.dib", "packed DIB without a file header: no signature for detection"},
  };
  if (auto it = named.find(r.file); it != named.end()) return it->second;
  const std::string folder = r.file.substr(0, r.file.find('/'));
  if (r.alpha == "alpha" || folder == "ico" || folder == "cur") return "alpha and transparency composed over the background";
  if (r.mode.rfind("I", 0) == 0) return "16-bit samples reduced by a shift (the reference clips)";
  if (r.mode == "F") return "floating-point samples are refused";
  if (folder == "bmp" && r.file.find("rgb16") != std::string::npos && r.file.find("565") == std::string::npos)
    return "16-bit fields shifted up (the reference scales them)";
  if (r.mode == "CMYK") return "CMYK rebuilt from the inverted inks with truncation";
  if (r.mode == "LAB") return "CIELAB converted by the library's formula";
  if (folder == "bmp" && r.file.find("rle") != std::string::npos)
    return "run-length data: deltas and damage handled by the rules (the reference scrambles or wraps)";
  if (folder == "bmp" && r.file.find("badindex") != std::string::npos) return "indices past the colour table are black";
  if (folder == "tiff" && r.file.find("orient") != std::string::npos) return "orientation not applied";
  return "";
}

struct Tally {
  int exact = 0, close = 0, differ = 0, failed = 0, robustSurvived = 0, robust = 0;
};

int RunConformance(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("conformance", "give the corpus folder");
  const std::string dir = args[0];
  const std::vector<Row> rows = ReadManifest(dir);
  if (rows.empty()) return Fail(kFailed, dir + "/manifest.tsv: missing or empty");
  std::map<std::string, Tally> tally;
  std::vector<std::string> differences;
  int unexpected = 0;
  for (const Row& r : rows) {
    const std::string folder = r.file.substr(0, r.file.find('/'));
    Tally& t = tally[folder];
    TBitmap got;
    TCorvexIO io;
    io.SetAttachedBitmap(&got);
    bool ok = false;
    try {
      io.LoadFromFile(dir + "/" + r.file);
      if (io.GetAborting()) {  // an extension of another format: by content
        TFileStream f(dir + "/" + r.file, fmOpenRead);
        io.LoadFromStream(&f);
      }
      ok = !io.GetAborting() && !got.GetEmpty();
    } catch (const std::exception&) {
      ok = false;
    }
    if (r.expect != "decode") {
      ++t.robust;
      ++t.robustSurvived;  // reaching this line means it did not crash or hang
      continue;
    }
    std::string verdict;
    double psnr = 0;
    if (!ok) {
      ++t.failed;
      verdict = "fails";
    } else {
      TBitmap ref;
      TCorvexIO ri;
      ri.SetAttachedBitmap(&ref);
      ri.LoadFromFile(dir + "/" + r.reference);
      if (ri.GetAborting() || ref.GetWidth() != got.GetWidth() || ref.GetHeight() != got.GetHeight()) {
        ++t.failed;
        verdict = "size " + std::to_string(got.GetWidth()) + "x" + std::to_string(got.GetHeight()) + ", reference " +
                  std::to_string(ref.GetWidth()) + "x" + std::to_string(ref.GetHeight());
      } else {
        TBitmap a, b;
        a.Assign(&got);
        b.Assign(&ref);
        a.SetPixelFormat(pf24bit);
        b.SetPixelFormat(pf24bit);
        double se = 0;
        for (int y = 0; y < a.GetHeight(); ++y) {
          const uint8_t *p = a.ScanLine(y), *q = b.ScanLine(y);
          for (int i = 0; i < 3 * a.GetWidth(); ++i) se += double(p[i] - q[i]) * double(p[i] - q[i]);
        }
        const double n = 3.0 * a.GetWidth() * a.GetHeight();
        psnr = se == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * n / se);
        if (se == 0) {
          ++t.exact;
          continue;
        }
        char buf[48];
        std::snprintf(buf, sizeof buf, "PSNR %.1f dB", psnr);
        verdict = buf;
        if (psnr >= 40) ++t.close;
        else ++t.differ;
      }
    }
    const std::string reason = ExpectedReason(r);
    if (reason.empty()) ++unexpected;
    differences.push_back(r.file + ": " + verdict + " - " + (reason.empty() ? "UNEXPECTED" : "expected: " + reason));
  }
  std::printf("%-10s %6s %6s %6s %6s   %s\n", "format", "exact", "close", "differ", "fail", "hostile survived");
  Tally all;
  for (const auto& [folder, t] : tally) {
    std::printf("%-10s %6d %6d %6d %6d   %d of %d\n", folder.c_str(), t.exact, t.close, t.differ, t.failed,
                t.robustSurvived, t.robust);
    all.exact += t.exact;
    all.close += t.close;
    all.differ += t.differ;
    all.failed += t.failed;
    all.robust += t.robust;
    all.robustSurvived += t.robustSurvived;
  }
  std::printf("%-10s %6d %6d %6d %6d   %d of %d\n\ndifferences:\n", "all", all.exact, all.close, all.differ, all.failed,
              all.robustSurvived, all.robust);
  for (const std::string& d : differences) std::printf("  %s\n", d.c_str());
  std::printf("\n%d unexplained difference(s)\n", unexpected);
  return unexpected == 0 ? kOk : kFailed;
}

}  // namespace
CORVEX_COMMAND(conformance, "CORPUS_DIR", "run every reader over a corpus and compare with its references",
               RunConformance);
}  // namespace corvex::tool
