// Small helpers of the canvas tests: bitmaps filled with a colour or a noise pattern, pixel
// reads, an ASCII picture of a bitmap for failure messages, and BMP files of pictures to look at.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvex/core/utils.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"

namespace corvex::canvas_testing {

inline TColor Px(TBitmap& b, int x, int y) { return b.GetCanvas()->GetPixels(x, y); }

// Reads a pixel ignoring the canvas clip region (straight from the scan line).
inline TColor Raw(const TBitmap& b, int x, int y) {
  const uint8_t* row = b.ScanLine(y);
  switch (b.GetPixelFormat()) {
    case pf1bit: return ((row[x >> 3] >> (7 - (x & 7))) & 1) ? clWhite : clBlack;
    case pf24bit: return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case pf32bit: return RGBColor(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    default: return CLR_INVALID;
  }
}

// Fills the whole bitmap (the canvas brush and clip are left as they were).
inline void Fill(TBitmap& b, TColor c) {
  TCanvas* cv = b.GetCanvas();
  TBrush keep;
  keep.Assign(cv->GetBrush());
  TRegion clip;
  const bool clipped = cv->GetClipRgn(clip);
  cv->SelectClipRgn(nullptr);
  cv->GetBrush()->SetStyle(bsSolid);
  cv->GetBrush()->SetColor(c);
  cv->FillRect(Rect(0, 0, b.GetWidth(), b.GetHeight()));
  cv->SetBrush(&keep);
  if (clipped) cv->SelectClipRgn(&clip);
}

// A bitmap of the given size and format, filled with one colour.
inline void Make(TBitmap& b, int w, int h, TColor c, TPixelFormat f = pf24bit) {
  b.Allocate(w, h, f);
  Fill(b, c);
}

// Deterministic noise: every byte of the pixel block different-ish.
inline void Noise(TBitmap& b, uint32_t seed = 12345) {
  for (int y = 0; y < b.GetHeight(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (size_t i = 0; i < b.GetRowLength(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

inline std::vector<uint8_t> Bytes(const TBitmap& b) {
  return std::vector<uint8_t>(b.Bits(), b.Bits() + b.GetImageSize());
}

inline int Count(TBitmap& b, TColor c) {
  int n = 0;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x) n += Raw(b, x, y) == c;
  return n;
}

// '#' where the pixel is `ink`, '.' elsewhere; one line per row.
inline std::string Picture(const TBitmap& b, TColor ink) {
  std::string s = "\n";
  for (int y = 0; y < b.GetHeight(); ++y) {
    for (int x = 0; x < b.GetWidth(); ++x) s += Raw(b, x, y) == ink ? '#' : '.';
    s += '\n';
  }
  return s;
}

// The picture expected as rows of '#' and '.'.
inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string s = "\n";
  for (const char* r : rows) {
    s += r;
    s += '\n';
  }
  return s;
}

// Writes a bitmap as a BMP file (file header + packed DIB); false when it cannot.
inline bool SaveBmp(const TBitmap& b, const std::string& path) {
  HGLOBAL mem = _CopyBitmaptoDIB(&b, 0, 0, 0, 0);
  if (mem == 0) return false;
  const auto* dib = static_cast<const uint8_t*>(GlobalLock(mem));
  TBitmapInfoHeader bi;
  std::memcpy(&bi, dib, sizeof bi);
  const size_t table = bi.biBitCount == 1 ? 8 : 0;  // the DIBs made here are 1- or 24-bit
  const size_t dibSize = GlobalSize(mem) - 4;
  TBitmapFileHeader fh;
  fh.bfOffBits = static_cast<uint32_t>(sizeof fh + sizeof bi + table);
  fh.bfSize = static_cast<uint32_t>(sizeof fh + dibSize);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(dib), static_cast<std::streamsize>(dibSize));
  GlobalUnlock(mem);
  GlobalFree(mem);
  return static_cast<bool>(out);
}

// A file in the build folder's out/ (created), for pictures the tests write to look at.
inline std::string OutPath(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::filesystem::path dir = ec ? std::filesystem::path("out") : exe.parent_path().parent_path().parent_path() / "out";
  std::filesystem::create_directories(dir, ec);
  return (dir / name).string();
}

}  // namespace corvex::canvas_testing
