// JPEG-compressed strips and tiles (compression 7): each is a JPEG stream, abbreviated when the
// page has a JPEGTables stream with the quantisation and Huffman tables, decoded with libjpeg.
#include <csetjmp>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "corvex/io/codecs/TIFFilt_pvt.h"

namespace corvex::tiff {

namespace {

struct ErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorMgr*>(cinfo->err)->jump, 1); }
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

// The libjpeg part, with nothing in its frame that needs unwinding: libjpeg leaves through
// longjmp on errors. With Dest nullptr only the header is read: Components receives the
// stream's components.
bool Decode(const uint8_t* Tables, size_t TablesLength, const uint8_t* Data, size_t Length, int Width, int Rows,
            J_COLOR_SPACE In, J_COLOR_SPACE Out, int& Components, uint8_t* Dest, JSAMPLE* Line, size_t LineBytes,
            bool Fancy) {
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  if (TablesLength > 4) {
    jpeg_mem_src(&cinfo, Tables, static_cast<unsigned long>(TablesLength));
    jpeg_read_header(&cinfo, FALSE);
  }
  jpeg_mem_src(&cinfo, Data, static_cast<unsigned long>(Length));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  if (Dest == nullptr) {
    Components = cinfo.num_components;
    jpeg_destroy_decompress(&cinfo);
    return true;
  }
  if (In != JCS_UNKNOWN) cinfo.jpeg_color_space = In;
  cinfo.out_color_space = Out;
  cinfo.do_fancy_upsampling = Fancy ? TRUE : FALSE;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != Components || size_t(cinfo.output_width) * size_t(Components) > LineBytes) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const size_t copy = size_t(cinfo.output_width < unsigned(Width) ? cinfo.output_width : unsigned(Width)) *
                      size_t(Components);
  while (cinfo.output_scanline < cinfo.output_height) {
    const unsigned y = cinfo.output_scanline;
    JSAMPROW rows[1] = {Line};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
    if (y < unsigned(Rows)) std::memcpy(Dest + size_t(y) * size_t(Width) * size_t(Components), Line, copy);
  }
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool DecodeJpegChunk(const std::vector<uint8_t>& Tables, const uint8_t* Data, size_t Length, int Width, int Rows,
                     int Photometric, int Components, std::vector<uint8_t>& Out, bool Fancy) {
  if (Width <= 0 || Rows <= 0 || Length < 4) return false;
  J_COLOR_SPACE in = JCS_UNKNOWN, out;
  switch (Components) {
    case 1: out = JCS_GRAYSCALE; break;
    case 3:
      out = JCS_RGB;
      // Pages stored as RGB carry RGB components; YCbCr pages are converted by libjpeg.
      if (Photometric == 2) in = JCS_RGB;
      else if (Photometric == 6) in = JCS_YCbCr;
      break;
    case 4: out = JCS_CMYK; in = JCS_CMYK; break;
    default: return false;
  }
  Out.assign(size_t(Width) * size_t(Rows) * size_t(Components), 0);
  // Lines as wide as the JPEG may claim (up to 65535 pixels).
  std::vector<JSAMPLE> line(size_t(65535) * size_t(Components));
  return Decode(Tables.data(), Tables.size(), Data, Length, Width, Rows, in, out, Components, Out.data(),
                line.data(), line.size(), Fancy);
}

bool DecodeJpegWhole(const uint8_t* Data, size_t Length, int Width, int Rows, int Photometric, int& Components,
                     std::vector<uint8_t>& Out) {
  if (Width <= 0 || Rows <= 0 || Length < 4) return false;
  // The stream's own components decide (writers of this variant often leave SamplesPerPixel
  // out); a three-component stream is YCbCr unless its markers or the page say otherwise.
  Components = 0;
  if (!Decode(nullptr, 0, Data, Length, Width, Rows, JCS_UNKNOWN, JCS_UNKNOWN, Components, nullptr, nullptr, 0, true))
    return false;
  if (Components != 1 && Components != 3 && Components != 4) return false;
  const std::vector<uint8_t> none;
  // Chroma is replicated rather than interpolated, as the readers of this variant do.
  return DecodeJpegChunk(none, Data, Length, Width, Rows, Photometric == 2 ? 2 : -1, Components, Out, false);
}

}  // namespace corvex::tiff
