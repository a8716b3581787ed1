// Draws the project's sample image, a test card, and writes it as BMP files made from the
// library's packed-DIB export:
//   testcard.bmp       640 x 480, 24-bit: colour bars, grey ramps, colour ramps, resolution
//                      wedges of fine lines, a circle, and a 1-bit area converted to 24 bits
//   testcard-1bit.bmp  the 1-bit area on its own (black and white, 1 bit per pixel)
// Usage: testcard [output-folder]   (default: the current folder)
#include <cmath>
#include <numbers>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "corvex/core/defs.h"
#include "corvex/core/utils.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/streams/streams.h"

using namespace corvex;

namespace {

constexpr int kW = 640, kH = 480;

void Put(TBitmap& b, int x, int y, TRGB c) {
  if (x < 0 || y < 0 || x >= b.GetWidth() || y >= b.GetHeight()) return;
  reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
}

void Fill(TBitmap& b, int x1, int y1, int x2, int y2, TRGB c) {
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x) Put(b, x, y, c);
}

// A 1-bit pattern: a checkerboard of 8-pixel squares with a ring, a diagonal hatch and
// single-pixel dots, the kind of content fax and bilevel codecs see.
void DrawBilevel(TBitmap& m) {
  m.Allocate(160, 120, pf1bit);
  for (int y = 0; y < m.GetHeight(); ++y) {
    uint8_t* row = m.ScanLine(y);
    for (int x = 0; x < m.GetWidth(); ++x) {
      bool white = ((x / 8) + (y / 8)) % 2 == 0;
      const double r = std::hypot(x - 80.0, y - 60.0);
      if (r > 30 && r < 40) white = !white;
      if (x < 40 && (x + y) % 6 == 0) white = false;
      if (x >= 120 && x % 4 == 0 && y % 4 == 0) white = !white;
      if (white) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
}

// Writes a bitmap as a BMP file: a file header followed by the packed DIB of the whole image.
int64_t SaveAsBmp(const TBitmap& b, const std::string& path) {
  HGLOBAL mem = _CopyBitmaptoDIB(&b, 0, 0, 0, 0);
  if (mem == 0) return -1;
  const auto* dib = static_cast<const uint8_t*>(GlobalLock(mem));
  TBitmapInfoHeader bi;
  std::memcpy(&bi, dib, sizeof bi);
  const size_t table = bi.biBitCount == 1 ? 8 : 0;
  const size_t dibSize = GlobalSize(mem) - 4;  // the block carries 4 spare bytes
  TBitmapFileHeader fh;
  fh.bfOffBits = static_cast<uint32_t>(sizeof fh + sizeof bi + table);
  fh.bfSize = static_cast<uint32_t>(sizeof fh + dibSize);
  TFileStream f(path, fmCreate);
  f.WriteBuffer(&fh, sizeof fh);
  f.WriteBuffer(dib, static_cast<int64_t>(dibSize));
  f.Flush();
  GlobalUnlock(mem);
  GlobalFree(mem);
  return fh.bfSize;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  if (!dir.empty() && dir.back() != '/') dir += '/';

  TBitmap card(kW, kH, pf24bit);
  Fill(card, 0, 0, kW, kH, CreateRGB(128, 128, 128));

  // Colour bars: white, yellow, cyan, green, magenta, red, blue, black.
  const TRGB bars[8] = {CreateRGB(255, 255, 255), CreateRGB(255, 255, 0), CreateRGB(0, 255, 255),
                        CreateRGB(0, 255, 0),     CreateRGB(255, 0, 255), CreateRGB(255, 0, 0),
                        CreateRGB(0, 0, 255),     CreateRGB(0, 0, 0)};
  for (int i = 0; i < 8; ++i) Fill(card, i * kW / 8, 0, (i + 1) * kW / 8, 120, bars[i]);

  // Grey ramps: continuous 0..255 across the width, and 16 steps.
  for (int x = 0; x < kW; ++x) {
    const uint8_t g = static_cast<uint8_t>(x * 255 / (kW - 1));
    Fill(card, x, 120, x + 1, 160, CreateRGB(g, g, g));
    const uint8_t s = static_cast<uint8_t>((x * 16 / kW) * 17);
    Fill(card, x, 160, x + 1, 190, CreateRGB(s, s, s));
  }

  // Colour ramps: red, green and blue from black to full.
  for (int x = 0; x < kW; ++x) {
    const uint8_t v = static_cast<uint8_t>(x * 255 / (kW - 1));
    Fill(card, x, 190, x + 1, 205, CreateRGB(v, 0, 0));
    Fill(card, x, 205, x + 1, 220, CreateRGB(0, v, 0));
    Fill(card, x, 220, x + 1, 235, CreateRGB(0, 0, v));
  }

  // Resolution wedges: vertical and horizontal lines 1, 2, 3 and 4 pixels wide.
  for (int k = 1; k <= 4; ++k) {
    const int x0 = (k - 1) * 80, y0 = 240;
    for (int y = y0; y < y0 + 100; ++y)
      for (int x = x0; x < x0 + 80; ++x) {
        const bool vertical = y < y0 + 50;
        const int t = vertical ? x - x0 : y - y0;
        const uint8_t v = (t / k) % 2 == 0 ? 255 : 0;
        Put(card, x, y, CreateRGB(v, v, v));
      }
  }

  // A circle for the aspect ratio, one pixel wide.
  for (int a = 0; a < 3600; ++a) {
    const double t = a * std::numbers::pi / 1800.0;
    Put(card, 480 + static_cast<int>(std::lround(70 * std::cos(t))),
        290 + static_cast<int>(std::lround(70 * std::sin(t))), CreateRGB(255, 255, 255));
  }

  // The 1-bit area: drawn as a bilevel image, then brought into the card through 24 bits.
  TBitmap bilevel;
  DrawBilevel(bilevel);
  TBitmap converted;
  converted.Assign(&bilevel);
  converted.SetPixelFormat(pf24bit);
  for (int y = 0; y < converted.GetHeight(); ++y)
    std::memcpy(card.ScanLine(350 + y) + 20 * 3, converted.ScanLine(y), size_t(converted.GetWidth()) * 3);

  const std::string cardPath = dir + "testcard.bmp", bilevelPath = dir + "testcard-1bit.bmp";
  try {
    const int64_t n1 = SaveAsBmp(card, cardPath);
    const int64_t n2 = SaveAsBmp(bilevel, bilevelPath);
    std::printf("testcard: wrote %s (%d x %d, 24-bit, %lld bytes): colour bars, grey ramps, colour ramps,\n"
                "          resolution wedges of 1-4 pixel lines, a circle and a 1-bit area at (20, 350)\n",
                cardPath.c_str(), card.GetWidth(), card.GetHeight(), static_cast<long long>(n1));
    std::printf("testcard: wrote %s (%d x %d, 1-bit, %lld bytes): checkerboard, ring, hatch and dots\n",
                bilevelPath.c_str(), bilevel.GetWidth(), bilevel.GetHeight(), static_cast<long long>(n2));
  } catch (const Exception& e) {
    std::fprintf(stderr, "testcard: %s\n", e.what());
    return 1;
  }
  return 0;
}
