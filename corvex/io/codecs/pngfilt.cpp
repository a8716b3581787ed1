#include "corvex/io/codecs/pngfilt.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>

#include "corvex/platform/screen.h"

namespace corvex {

namespace {

// State shared with libpng's callbacks; it outlives every jump back from libpng.
struct ReadContext {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TStream* stream = nullptr;
  bool* aborting = nullptr;
  TBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TProgressRec* progress = nullptr;
  bool preview = false;
  bool invertBits = false;  // a white-then-black palette stored as 1 bit
};

// libpng requires that the error handler does not return: set the owner's flag and jump back.
[[noreturn]] void ErrorFn(png_structp png, png_const_charp) {
  auto* c = static_cast<ReadContext*>(png_get_error_ptr(png));
  if (c->aborting != nullptr) *c->aborting = true;
  png_longjmp(png, 1);
}
void WarningFn(png_structp, png_const_charp) {}

void ReadFn(png_structp png, png_bytep data, png_size_t length) {
  auto* c = static_cast<ReadContext*>(png_get_io_ptr(png));
  int64_t got = 0;
  try {
    got = c->stream->Read(data, static_cast<int64_t>(length));
  } catch (...) {
    got = -1;  // reported below, outside the handler
  }
  if (got != static_cast<int64_t>(length)) png_error(png, "Read Error");
}

bool IsBlack(const png_color& c) { return c.red == 0 && c.green == 0 && c.blue == 0; }
bool IsWhite(const png_color& c) { return c.red == 255 && c.green == 255 && c.blue == 255; }

// The file's bKGD colour as 8-bit red, green, blue, whatever the file's format.
TRGB BackgroundOf(png_structp png, png_infop info, const png_color_16& b, int colorType, int depth) {
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n) && b.index < n) return CreateRGB(pal[b.index].red, pal[b.index].green, pal[b.index].blue);
    return CreateRGB(0, 0, 0);
  }
  auto scale = [depth](unsigned v) -> uint8_t {
    if (depth == 16) return static_cast<uint8_t>(v >> 8);
    if (depth == 8) return static_cast<uint8_t>(v);
    const unsigned max = (1u << depth) - 1;
    return static_cast<uint8_t>((std::min(v, max) * 255) / max);
  };
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    const uint8_t g = scale(b.gray);
    return CreateRGB(g, g, g);
  }
  return CreateRGB(scale(b.red), scale(b.green), scale(b.blue));
}

void DecodeBody(ReadContext& c) {
  png_structp png = c.png;
  png_infop info = c.info;
  TIOParamsVals& Params = *c.params;
  png_set_read_fn(png, &c, ReadFn);
#if defined(PNG_IGNORE_ADLER32) && defined(PNG_SET_OPTION_SUPPORTED)
  // The chunks' CRCs already check every compressed byte; zlib's Adler-32 of the inflated data
  // is a second check of the same bytes, and a few per cent of the decoding time.
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(png, info);

  png_uint_32 w = 0, h = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
  if (!CXImageSizeAllowed(w, h)) png_error(png, "image too large");
  // Deflate gives at most 1032 bytes for one; the filtered rows carry a filter byte each.
  const int64_t filteredBytes = int64_t(h) * (1 + (int64_t(w) * png_get_channels(png, info) * depth + 7) / 8);
  if (!CXDataCanHold(c.stream->GetSize(), filteredBytes, 1032)) png_error(png, "too little data for the image");

  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &palette, &paletteCount);

  // A 1-bit image stays 1-bit when it is grey or a black-and-white palette without
  // transparency; any other 1-bit image is expanded to colour so that nothing is lost.
  bool oneBit = false;
  if (depth == 1 && !hasTrns) {
    if (colorType == PNG_COLOR_TYPE_GRAY) {
      oneBit = true;
    } else if (colorType == PNG_COLOR_TYPE_PALETTE && paletteCount >= 2) {
      if (IsBlack(palette[0]) && IsWhite(palette[1])) oneBit = true;
      else if (IsWhite(palette[0]) && IsBlack(palette[1])) oneBit = c.invertBits = true;
    }
  }

  // Alpha and transparency are composed over a background: the file's, else PNG_Background.
  // Images with neither need no composition (and libpng then skips a transformation).
  const bool compose = hasTrns || (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(png, info, &fileBackground) && fileBackground != nullptr) {
    if (compose) png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    Params.PNG_Background = BackgroundOf(png, info, *fileBackground, colorType, depth);
  } else if (compose) {
    // In the output's 8-bit format; libpng widens it itself for 16-bit files.
    png_color_16 b{};
    b.red = Params.PNG_Background.r;
    b.green = Params.PNG_Background.g;
    b.blue = Params.PNG_Background.b;
    b.gray = static_cast<png_uint_16>(_RGBToGray(Params.PNG_Background));
    png_set_background(png, &b, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  }

  if (!oneBit) {
    if (colorType == PNG_COLOR_TYPE_PALETTE || (colorType == PNG_COLOR_TYPE_GRAY && depth < 8)) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) png_set_packing(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  Params.Width = static_cast<int>(w);
  Params.Height = static_cast<int>(h);
  Params.BitsPerSample = depth;
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: Params.SamplesPerPixel = 2; break;
    case PNG_COLOR_TYPE_RGB: Params.SamplesPerPixel = 3; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: Params.SamplesPerPixel = 4; break;
    default: Params.SamplesPerPixel = 1; break;
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  int dpix = 0, dpiy = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
    dpix = Round(resX / 100.0 * 2.54);
    dpiy = Round(resY / 100.0 * 2.54);
  }
  Params.DpiX = dpix != 0 ? dpix : gSystemDPIX;
  Params.DpiY = dpiy != 0 ? dpiy : gSystemDPIY;
  Params.ColorMap.clear();
  for (int i = 0; i < paletteCount; ++i) Params.ColorMap.push_back(CreateRGB(palette[i].red, palette[i].green, palette[i].blue));
  Params.PNG_Interlaced = interlace != PNG_INTERLACE_NONE;
  if (c.preview) return;

  TBitmap* Bitmap = c.bitmap;
  const TPixelFormat pf = oneBit ? pf1bit : pf24bit;
  Bitmap->Allocate(static_cast<int>(w), static_cast<int>(h), pf);
  const size_t needed = oneBit ? (size_t(w) + 7) / 8 : size_t(w) * 3;
  if (png_get_rowbytes(png, info) != needed) png_error(png, "unexpected row layout");

  const double total = double(h) * passes;
  int64_t done = 0;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < h; ++y, ++done) {
      ProgressReport(*c.progress, Trunc(double(done) * 100.0 / total));
      if (*c.aborting) return;
      png_read_row(png, Bitmap->ScanLine(static_cast<int>(y)), nullptr);
    }
  }
  if (c.invertBits)
    for (png_uint_32 y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->ScanLine(static_cast<int>(y));
      for (size_t i = 0; i < needed; ++i) row[i] = static_cast<uint8_t>(~row[i]);
      if (w % 8) row[needed - 1] &= static_cast<uint8_t>(0xFF00 >> (w % 8));
    }
  png_read_end(png, nullptr);
}

void ProtectedDecode(ReadContext& c) {
  if (setjmp(png_jmpbuf(c.png)) == 0) DecodeBody(c);
}

}  // namespace

bool IsPNGStream(TStream* Stream) {
  uint8_t sig[8] = {};
  const int64_t got = Stream->Read(sig, 8);
  if (got > 0) Stream->Seek(-got, soCurrent);
  return got == 8 && png_sig_cmp(sig, 0, 8) == 0;
}

void ReadPNGStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview) {
  bool localFlag = false;
  bool* flag = Progress.Aborting != nullptr ? Progress.Aborting : &localFlag;
  auto c = std::make_unique<ReadContext>();
  c->stream = Stream;
  c->aborting = flag;
  c->bitmap = Bitmap;
  c->params = &Params;
  c->progress = &Progress;
  c->preview = Preview;
  c->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, c.get(), ErrorFn, WarningFn);
  if (c->png != nullptr) c->info = png_create_info_struct(c->png);
  if (c->png == nullptr || c->info == nullptr) {
    *flag = true;
    if (c->png != nullptr) png_destroy_read_struct(&c->png, nullptr, nullptr);
    return;
  }
  try {
    ProtectedDecode(*c);
  } catch (const std::exception&) {
    *flag = true;  // memory for the image
  }
  png_destroy_read_struct(&c->png, &c->info, nullptr);
}

}  // namespace corvex
