// corvex roundtrip IMAGE [BILEVEL] [--out DIR] : saves the images in every format and variant
// the library writes, loads each file back and prints a table of file, size, time and whether
// the pixels came back the same (variants that reduce colours say how close they came).
#include <chrono>
#include <cmath>
#include <sys/stat.h>

#include "apps/corvex/fields.h"
#include "apps/corvex/tool.h"

namespace corvex::tool {
namespace {

struct Variant {
  const char* file;      // name of the file written, its extension choosing the format
  bool bilevel;          // written from the 1-bit image
  bool lossless;         // should give back the same pixels
  std::vector<std::pair<const char*, const char*>> fields;
};

const std::vector<Variant>& Variants() {
  static const std::vector<Variant> v = {
      {"bmp-24.bmp", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}}},
      {"bmp-8.bmp", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}}},
      {"bmp-8-rle.bmp", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}, {"BMP_Compression", "ioBMP_RLE"}}},
      {"bmp-4.bmp", false, false, {{"BitsPerSample", "4"}, {"SamplesPerPixel", "1"}}},
      {"bmp-4-rle.bmp", false, false, {{"BitsPerSample", "4"}, {"SamplesPerPixel", "1"}, {"BMP_Compression", "ioBMP_RLE"}}},
      {"bmp-os2.bmp", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}, {"BMP_Version", "ioBMP_BMOS2V1"}}},
      {"bmp-1.bmp", true, true, {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}}},
      {"pcx-24.pcx", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}}},
      {"pcx-24-raw.pcx", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}, {"PCX_Compression", "ioPCX_UNCOMPRESSED"}}},
      {"pcx-8.pcx", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}}},
      {"pcx-4.pcx", false, false, {{"BitsPerSample", "4"}, {"SamplesPerPixel", "1"}}},
      {"pcx-1.pcx", true, true, {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}}},
      {"tga-24.tga", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}}},
      {"tga-24-raw.tga", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}, {"TGA_Compressed", "false"}}},
      {"tga-8.tga", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}}},
      {"tga-8-grey.tga", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}, {"TGA_GrayLevel", "true"}}},
      {"tga-4.tga", false, false, {{"BitsPerSample", "4"}, {"SamplesPerPixel", "1"}}},
      {"tga-1.tga", true, true, {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}}},
      {"png-24.png", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}}},
      {"png-24-adam7.png", false, true, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}, {"PNG_Interlaced", "true"}}},
      {"png-24-paeth9.png", false, true,
       {{"BitsPerSample", "8"}, {"SamplesPerPixel", "3"}, {"PNG_Filter", "ioPNG_FILTER_PAETH"}, {"PNG_Compression", "9"}}},
      {"png-8.png", false, false, {{"BitsPerSample", "8"}, {"SamplesPerPixel", "1"}}},
      {"png-1.png", true, true, {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}}},
      {"jpeg-q90.jpg", false, false, {{"JPEG_Quality", "90"}}},
      {"jpeg-progressive.jpg", false, false, {{"JPEG_Quality", "90"}, {"JPEG_Progressive", "true"}}},
      {"jpeg-grey.jpg", false, false, {{"JPEG_ColorSpace", "ioJPEG_GRAYLEV"}}},
      {"tiff-none.tif", false, true, {{"TIFF_Compression", "ioTIFF_UNCOMPRESSED"}}},
      {"tiff-packbits.tif", false, true, {{"TIFF_Compression", "ioTIFF_PACKBITS"}}},
      {"tiff-lzw.tif", false, true, {{"TIFF_Compression", "ioTIFF_LZW"}}},
      {"tiff-cmyk.tif", false, false, {{"TIFF_PhotometInterpret", "ioTIFF_CMYK"}}},
      {"tiff-g3.tif", true, true,
       {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}, {"TIFF_Compression", "ioTIFF_G3FAX1D"}}},
      {"tiff-g3-2d.tif", true, true,
       {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}, {"TIFF_Compression", "ioTIFF_G3FAX2D"}}},
      {"tiff-g4.tif", true, true, {{"BitsPerSample", "1"}, {"SamplesPerPixel", "1"}, {"TIFF_Compression", "ioTIFF_G4FAX"}}},
      {"gif.gif", false, false, {}},
      {"gif-interlaced.gif", false, false, {{"GIF_Interlaced", "true"}}},
      {"gif-1.gif", true, true, {{"BitsPerSample", "1"}}},
  };
  return v;
}

// The largest channel difference and the PSNR of two images (as 24-bit RGB).
void Compare(const TBitmap& a, const TBitmap& b, int& worst, double& psnr) {
  worst = 256;
  psnr = 0;
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return;
  TBitmap ca, cb;
  ca.Assign(&a);
  cb.Assign(&b);
  ca.SetPixelFormat(pf24bit);
  cb.SetPixelFormat(pf24bit);
  worst = 0;
  double se = 0;
  for (int y = 0; y < ca.GetHeight(); ++y) {
    const uint8_t *p = ca.ScanLine(y), *q = cb.ScanLine(y);
    for (int i = 0; i < 3 * ca.GetWidth(); ++i) {
      const int d = std::abs(int(p[i]) - int(q[i]));
      worst = std::max(worst, d);
      se += double(d) * d;
    }
  }
  const double n = 3.0 * ca.GetWidth() * ca.GetHeight();
  psnr = se == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * n / se);
}

bool Load(const std::string& path, TBitmap& b) {
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(path);
  return !io.GetAborting();
}

int RunRoundtrip(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  std::string dir = ".";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--out" && i + 1 < args.size()) dir = args[++i];
    else if (!args[i].empty() && args[i][0] == '-') return UsageError("roundtrip", "unknown option " + args[i]);
    else files.push_back(args[i]);
  }
  if (files.empty() || files.size() > 2) return UsageError("roundtrip", "give a colour image and optionally a 1-bit one");
  ::mkdir(dir.c_str(), 0777);
  TBitmap colour, bilevel;
  if (!Load(files[0], colour)) return Fail(kFailed, files[0] + ": cannot load it");
  if (files.size() == 2) {
    if (!Load(files[1], bilevel)) return Fail(kFailed, files[1] + ": cannot load it");
  } else {
    bilevel.Assign(&colour);
    bilevel.SetPixelFormat(pf1bit);
  }
  std::printf("%-22s %10s %9s %9s  %s\n", "file", "bytes", "save ms", "load ms", "round trip");
  int failures = 0;
  for (const Variant& v : Variants()) {
    const TBitmap& src = v.bilevel ? bilevel : colour;
    TBitmap work;
    work.Assign(&src);
    TCorvexIO io;
    io.SetAttachedBitmap(&work);
    for (const auto& [name, value] : v.fields) {
      std::string error;
      SetField(io.GetParams(), name, value, error);
    }
    const std::string path = dir + "/" + v.file;
    const auto t0 = std::chrono::steady_clock::now();
    io.SaveToFile(path);
    const auto t1 = std::chrono::steady_clock::now();
    if (io.GetAborting()) {
      std::printf("%-22s %10s %9s %9s  save failed\n", v.file, "-", "-", "-");
      ++failures;
      continue;
    }
    TBitmap back;
    const bool loaded = Load(path, back);
    const auto t2 = std::chrono::steady_clock::now();
    struct stat st {};
    ::stat(path.c_str(), &st);
    int worst = 256;
    double psnr = 0;
    if (loaded) Compare(src, back, worst, psnr);
    std::string verdict;
    if (!loaded) verdict = "load failed";
    else if (worst == 0) verdict = "same pixels";
    else {
      char buf[64];
      std::snprintf(buf, sizeof buf, "differs: PSNR %.1f dB, max %d%s", psnr, worst, v.lossless ? "  (UNEXPECTED)" : "");
      verdict = buf;
    }
    if (!loaded || (v.lossless && worst != 0)) ++failures;
    std::printf("%-22s %10lld %9.1f %9.1f  %s\n", v.file, static_cast<long long>(st.st_size),
                std::chrono::duration<double, std::milli>(t1 - t0).count(),
                std::chrono::duration<double, std::milli>(t2 - t1).count(), verdict.c_str());
  }
  if (failures > 0) return Fail(kFailed, std::to_string(failures) + " variant(s) did not round-trip as they should");
  std::printf("every lossless variant gave back the same pixels\n");
  return kOk;
}

}  // namespace
CORVEX_COMMAND(roundtrip, "IMAGE [BILEVEL] [--out DIR]",
               "save an image in every format and variant, load each back, print a table", RunRoundtrip);
}  // namespace corvex::tool
