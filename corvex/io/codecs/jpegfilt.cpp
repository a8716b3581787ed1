#include "corvex/io/codecs/jpegfilt.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "corvex/io/codecs/jpegfilt_pvt.h"
#include "corvex/platform/screen.h"

namespace corvex {

namespace {

constexpr size_t kIOBufferSize = 64 * 1024;

// ---------------------------------------------------------------------------------------------
// Error manager: libjpeg requires that error_exit does not return, so it sets the owner's abort
// flag and jumps back to the adapter, which releases libjpeg.

struct ErrorMgr {
  jpeg_error_mgr pub;
  bool* aborting;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (err->aborting != nullptr) *err->aborting = true;
  std::longjmp(err->jump, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void ResetErrorMgr(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

void InitErrorMgr(ErrorMgr& err, bool* aborting) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.pub.format_message = FormatMessage;
  err.pub.reset_error_mgr = ResetErrorMgr;
  err.aborting = aborting;
}

// ---------------------------------------------------------------------------------------------
// Source manager over a TStream. At the end of the data it gives the unread bytes back, so that
// the stream is positioned just after what the decoder consumed.

struct SourceMgr {
  jpeg_source_mgr pub;
  TStream* stream;
  JOCTET* buffer;
  size_t capacity;
  bool startOfFile;
};

// The read buffer holds the whole of a file up to 4 MiB, and 4 MiB at a time beyond: libjpeg's
// fast Huffman decoder only runs while a few kilobytes of data are left in the buffer, so every
// refill costs a stretch of the slow one (with 64 KiB reads, some tenth of the decoding time).
constexpr size_t kMinReadBuffer = 4 * 1024, kMaxReadBuffer = 4 * 1024 * 1024;

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<SourceMgr*>(cinfo->src)->startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<SourceMgr*>(cinfo->src);
  int64_t n = 0;
  try {
    // A stream in memory is handed over whole, without a copy (TermSource gives back the rest).
    const uint8_t* inPlace = src->startOfFile ? src->stream->BytesInPlace(n) : nullptr;
    if (inPlace != nullptr && n > 0) {
      src->stream->Seek(n, soCurrent);
      src->pub.next_input_byte = inPlace;
      src->pub.bytes_in_buffer = static_cast<size_t>(n);
      src->startOfFile = false;
      return TRUE;
    }
    n = src->stream->Read(src->buffer, static_cast<int64_t>(src->capacity));
  } catch (...) {
    n = 0;  // a failing stream ends the data; the error is reported below, outside the handler
  }
  if (n <= 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // A fake end-of-image marker: a truncated file decodes as far as it goes.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(n);
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<SourceMgr*>(cinfo->src);
  if (count <= 0) return;
  while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<SourceMgr*>(cinfo->src);
  try {
    if (src->pub.bytes_in_buffer > 0)
      src->stream->Seek(-static_cast<int64_t>(src->pub.bytes_in_buffer), soCurrent);
  } catch (...) {
  }
  src->pub.bytes_in_buffer = 0;
}

// ---------------------------------------------------------------------------------------------
// Destination manager over a TStream.

struct DestMgr {
  jpeg_destination_mgr pub;
  TStream* stream;
  JOCTET* buffer;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<DestMgr*>(cinfo->dest);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kIOBufferSize;
}

bool WriteOut(DestMgr* dst, size_t n) {
  try {
    dst->stream->WriteBuffer(dst->buffer, static_cast<int64_t>(n));
    return true;
  } catch (...) {
    return false;
  }
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<DestMgr*>(cinfo->dest);
  if (!WriteOut(dst, kIOBufferSize)) ERREXIT(cinfo, JERR_FILE_WRITE);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kIOBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dst = reinterpret_cast<DestMgr*>(cinfo->dest);
  const size_t n = kIOBufferSize - dst->pub.free_in_buffer;
  if (n > 0 && !WriteOut(dst, n)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// ---------------------------------------------------------------------------------------------
// 4:2:0 YCbCr read as planes (libjpeg's raw data), an iMCU row at a time: 16 luma rows and 8 rows
// of each chroma component. The adapter upsamples and converts them itself (jpegfilt_ycc.cpp),
// with libjpeg's arithmetic and without its intermediate rows. The bitmap rows of iMCU row k are
// made once row k + 1 is decoded too, as the last of them weigh its first chroma row.

struct YccPlanes {
  int width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
  int decoded = 0, made = 0;  // iMCU rows decoded, and made into bitmap rows
  size_t lumaStride = 0, chromaStride = 0;
  std::vector<uint8_t> memory;  // luma: 2 iMCU rows; each chroma component: 3, with margins

  // Whether libjpeg's colour stage for this file is the one the adapter does: fancy upsampling
  // (which libjpeg leaves for plain replication at two chroma columns or fewer), 8-bit samples,
  // no scaling, luma sampled 2 x 2 and chroma 1 x 1.
  static bool Suits(const jpeg_decompress_struct& cinfo) {
    const jpeg_component_info* ci = cinfo.comp_info;
    return jpeg_pvt::gYccRows && cinfo.jpeg_color_space == JCS_YCbCr && cinfo.out_color_space == JCS_EXT_BGR &&
           cinfo.num_components == 3 && cinfo.data_precision == 8 && cinfo.scale_num == cinfo.scale_denom &&
           cinfo.do_fancy_upsampling && !cinfo.CCIR601_sampling && !cinfo.quantize_colors && cinfo.image_width > 4 &&
           ci[0].h_samp_factor == 2 && ci[0].v_samp_factor == 2 && ci[1].h_samp_factor == 1 &&
           ci[1].v_samp_factor == 1 && ci[2].h_samp_factor == 1 && ci[2].v_samp_factor == 1;
  }

  void Allocate(const jpeg_decompress_struct& cinfo) {
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    chromaWidth = static_cast<int>(cinfo.comp_info[1].downsampled_width);
    chromaHeight = static_cast<int>(cinfo.comp_info[1].downsampled_height);
    // The conversion reads whole steps of 64 pixels, and chroma one sample either side of its step.
    const size_t steps = (size_t(width) + 63) / 64 * 64;
    lumaStride = steps + 64;
    chromaStride = steps / 2 + 128;
    memory.assign(lumaStride * 32 + chromaStride * 48, 0);
  }
  uint8_t* LumaRow(int r) { return memory.data() + size_t((r / 16) % 2 * 16 + r % 16) * lumaStride; }
  // Row i of a chroma component, counted in the file; rows past the last one decoded (or past
  // the image) repeat it.
  uint8_t* ChromaRow(int c, int i) {
    i = std::clamp(i, 0, std::min(chromaHeight, 8 * decoded) - 1);
    const size_t slot = size_t(c) * 24 + size_t((i / 8) % 3 * 8 + i % 8);
    return memory.data() + lumaStride * 32 + slot * chromaStride + 64;
  }

  // Decodes iMCU row k; false when libjpeg has no more rows.
  bool Decode(j_decompress_ptr cinfo, int k) {
    JSAMPROW luma[16], cb[8], cr[8];
    for (int i = 0; i < 16; ++i) luma[i] = LumaRow(16 * k + i);
    for (int i = 0; i < 8; ++i) {
      cb[i] = memory.data() + lumaStride * 32 + size_t((k % 3) * 8 + i) * chromaStride + 64;
      cr[i] = cb[i] + 24 * chromaStride;
    }
    JSAMPARRAY planes[3] = {luma, cb, cr};
    if (jpeg_read_raw_data(cinfo, planes, 16) == 0) return false;
    for (int i = 0; i < 8; ++i) {
      for (JSAMPROW row : {cb[i], cr[i]}) {
        row[-1] = row[0];
        row[chromaWidth] = row[chromaWidth - 1];
      }
    }
    decoded = k + 1;
    return true;
  }

  // Makes the bitmap rows of every decoded iMCU row but the last, or of all with Final.
  void Make(TBitmap* Bitmap, bool Final) {
    for (; made < decoded - (Final ? 0 : 1); ++made) {
      for (int r = 16 * made; r < std::min(16 * made + 16, height); ++r) {
        const int i = r / 2, far = r % 2 == 0 ? i - 1 : i + 1;
        jpeg_pvt::YccRow420(LumaRow(r), ChromaRow(0, i), ChromaRow(0, far), ChromaRow(1, i), ChromaRow(1, far),
                            Bitmap->ScanLine(r), width);
      }
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Reading. Everything that must survive a jump back from libjpeg lives in this context, which
// the adapter owns; the code between setjmp and a possible longjmp keeps no objects with
// destructors on its own frame.

struct ReadContext {
  jpeg_decompress_struct cinfo{};
  ErrorMgr err{};
  SourceMgr src{};
  bool created = false;
  bool headerRead = false;
  bool started = false;
  std::unique_ptr<JOCTET[]> readBuffer;  // not cleared: only what was read is used
  std::vector<uint8_t> rowBuffer;  // CMYK rows before conversion
  std::vector<JSAMPROW> rows;
  YccPlanes ycc;
  bool yccPlanes = false;
  TStream* stream = nullptr;
  TBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TProgressRec* progress = nullptr;
  bool preview = false;
};

bool Aborting(const ReadContext& c) { return c.err.aborting != nullptr && *c.err.aborting; }

int ScaleDenominator(const TIOParamsVals& Params, const jpeg_decompress_struct& cinfo) {
  switch (Params.JPEG_Scale) {
    case ioJPEG_HALF: return 2;
    case ioJPEG_QUARTER: return 4;
    case ioJPEG_EIGHTH: return 8;
    case ioJPEG_AUTOCALC: {
      const int64_t wanted = int64_t(Params.Width) * Params.Height;
      if (wanted <= 0) return 1;
      int best = 1;
      int64_t bestDiff = -1;
      for (int d : {1, 2, 4, 8}) {
        int64_t area = int64_t(cinfo.image_width / unsigned(d)) * int64_t(cinfo.image_height / unsigned(d));
        int64_t diff = wanted > area ? wanted - area : area - wanted;
        if (bestDiff < 0 || diff < bestDiff) {
          bestDiff = diff;
          best = d;
        }
      }
      return best;
    }
    default: return 1;
  }
}

// The libjpeg steps of a read; returns normally or by a jump to the adapter.
void DecodeBody(ReadContext& c, TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                bool Preview) {
  jpeg_decompress_struct& cinfo = c.cinfo;
  jpeg_create_decompress(&cinfo);
  c.created = true;
  c.src.pub.init_source = InitSource;
  c.src.pub.fill_input_buffer = FillInputBuffer;
  c.src.pub.skip_input_data = SkipInputData;
  c.src.pub.resync_to_restart = jpeg_resync_to_restart;
  c.src.pub.term_source = TermSource;
  c.src.stream = Stream;
  int64_t left = 0;
  try {
    left = Stream->GetSize() - Stream->GetPosition();
  } catch (...) {
    left = 0;
  }
  int64_t inPlace = 0;
  if (Stream->BytesInPlace(inPlace) != nullptr) left = 0;  // the buffer only ends a truncated file
  c.src.capacity = size_t(std::clamp<int64_t>(left, int64_t(kMinReadBuffer), int64_t(kMaxReadBuffer)));
  c.readBuffer.reset(new JOCTET[c.src.capacity]);
  c.src.buffer = c.readBuffer.get();
  cinfo.src = &c.src.pub;

  jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&cinfo, JPEG_APP0 + m, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  c.headerRead = true;
  if (Aborting(c)) return;

  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: Params.JPEG_ColorSpace = ioJPEG_GRAYLEV; cinfo.out_color_space = JCS_EXT_BGR; break;
    case JCS_RGB: Params.JPEG_ColorSpace = ioJPEG_RGB; cinfo.out_color_space = JCS_EXT_BGR; break;
    case JCS_YCbCr: Params.JPEG_ColorSpace = ioJPEG_YCbCr; cinfo.out_color_space = JCS_EXT_BGR; break;
    case JCS_CMYK: Params.JPEG_ColorSpace = ioJPEG_CMYK; cinfo.out_color_space = JCS_CMYK; break;
    case JCS_YCCK: Params.JPEG_ColorSpace = ioJPEG_YCbCrK; cinfo.out_color_space = JCS_CMYK; break;
    default: cinfo.out_color_space = JCS_EXT_BGR; break;  // libjpeg refuses what it cannot convert
  }
  switch (Params.JPEG_DCTMethod) {
    case ioJPEG_IFAST: cinfo.dct_method = JDCT_IFAST; break;
    case ioJPEG_FLOAT: cinfo.dct_method = JDCT_FLOAT; break;
    default: cinfo.dct_method = JDCT_ISLOW; break;
  }
  // Resolution: dots per inch or per centimetre. A file without a JFIF density in real units
  // (unit 0 gives only the aspect ratio) has no resolution; it takes the screen's.
  int dpix = 0, dpiy = 0;
  if (cinfo.saw_JFIF_marker && cinfo.density_unit == 1) {
    dpix = cinfo.X_density;
    dpiy = cinfo.Y_density;
  } else if (cinfo.saw_JFIF_marker && cinfo.density_unit == 2) {
    dpix = Trunc(cinfo.X_density * 2.54);
    dpiy = Trunc(cinfo.Y_density * 2.54);
  }
  Params.DpiX = dpix > 0 ? dpix : gSystemDPIX;
  Params.DpiY = dpiy > 0 ? dpiy : gSystemDPIY;
  Params.BitsPerSample = 8;
  Params.SamplesPerPixel = 3;
  Params.ColorMap.clear();
  Params.JPEG_Progressive = cinfo.progressive_mode != 0;

  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(ScaleDenominator(Params, cinfo));
  // Huffman coding needs at least a bit per 8 x 8 block, arithmetic coding far less: a file that
  // could not hold a sixteenth of the frame even at 4096 samples per byte claims an image it has not.
  if (!CXImageSizeAllowed(cinfo.image_width, cinfo.image_height) ||
      !CXDataCanHold(Stream->GetSize(), int64_t(cinfo.image_width) * cinfo.image_height * cinfo.num_components, 4096)) {
    ProgressFail(Progress);
    return;
  }
  if (Preview) {
    // The output size without decoding anything (starting would decode every progressive scan).
    jpeg_calc_output_dimensions(&cinfo);
    Params.Width = static_cast<int>(cinfo.output_width);
    Params.Height = static_cast<int>(cinfo.output_height);
    return;
  }
  c.yccPlanes = YccPlanes::Suits(cinfo);
  cinfo.raw_data_out = c.yccPlanes ? TRUE : FALSE;
  jpeg_start_decompress(&cinfo);
  c.started = true;
  if (Aborting(c)) return;
  const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
  Params.Width = w;
  Params.Height = h;

  Bitmap->Allocate(w, h, pf24bit);
  if (c.yccPlanes) {
    c.ycc.Allocate(cinfo);
    for (int k = 0; k < (h + 15) / 16; ++k) {
      ProgressReport(Progress, Trunc(double(16 * k) * 100.0 / h));
      if (Aborting(c) || !c.ycc.Decode(&cinfo, k)) return;
      c.ycc.Make(Bitmap, false);
    }
    c.ycc.Make(Bitmap, true);
    return;
  }
  const bool cmyk = cinfo.out_color_space == JCS_CMYK;
  const ptrdiff_t stride = h > 1 ? Bitmap->ScanLine(1) - Bitmap->ScanLine(0) : ptrdiff_t(Bitmap->GetRowLength());
  // Rows are asked for a row group at a time (two with vertical subsampling): libjpeg then
  // upsamples and converts them in one call, where one row per call splits every group in two.
  const int perCall = (stride < 1 || stride % 4 != 0 || cmyk)
                          ? 1
                          : std::max({cinfo.rec_outbuf_height, cinfo.max_v_samp_factor, 1});
  c.rows.resize(size_t(perCall));
  if (cmyk) c.rowBuffer.resize(size_t(w) * 4);

  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    ProgressReport(Progress, Trunc(double(y) * 100.0 / h));
    if (Aborting(c)) return;
    if (cmyk) {
      c.rows[0] = c.rowBuffer.data();
      if (jpeg_read_scanlines(&cinfo, c.rows.data(), 1) != 1) return;
      // The stored values are the inverted inks: each channel times K.
      const uint8_t* in = c.rowBuffer.data();
      uint8_t* out = Bitmap->ScanLine(y);
      for (int x = 0; x < w; ++x, in += 4, out += 3) {
        const unsigned k = in[3];
        out[0] = static_cast<uint8_t>(in[2] * k / 255);
        out[1] = static_cast<uint8_t>(in[1] * k / 255);
        out[2] = static_cast<uint8_t>(in[0] * k / 255);
      }
    } else {
      const int n = std::min(perCall, h - y);
      for (int i = 0; i < n; ++i) c.rows[size_t(i)] = Bitmap->ScanLine(y + i);
      if (jpeg_read_scanlines(&cinfo, c.rows.data(), static_cast<JDIMENSION>(n)) == 0) return;
    }
  }
}

// Runs the libjpeg steps; a libjpeg error comes back here by a jump (the flag is then set).
void ProtectedDecode(ReadContext& c) {
  if (setjmp(c.err.jump) == 0) DecodeBody(c, c.stream, c.bitmap, *c.params, *c.progress, c.preview);
}

// Ends decoding; errors at this stage are ignored.
void ProtectedFinish(ReadContext& c) {
  c.err.aborting = nullptr;
  if (setjmp(c.err.jump) == 0) jpeg_finish_decompress(&c.cinfo);
}

}  // namespace

bool JpegTryStream(TStream* Stream) {
  uint8_t b[3] = {0, 0, 0};
  const int64_t pos = Stream->GetPosition();
  const int64_t got = Stream->Read(b, 3);
  Stream->SetPosition(pos);
  return got == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

void ReadJPegStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool Preview) {
  if (!JpegTryStream(Stream)) {
    ProgressFail(Progress);
    return;
  }
  bool localFlag = false;
  bool* flag = Progress.Aborting != nullptr ? Progress.Aborting : &localFlag;
  auto c = std::make_unique<ReadContext>();
  InitErrorMgr(c->err, flag);
  c->cinfo.err = &c->err.pub;

  c->stream = Stream;
  c->bitmap = Bitmap;
  c->params = &Params;
  c->progress = &Progress;
  c->preview = Preview;
  try {
    ProtectedDecode(*c);
  } catch (const std::exception&) {
    *flag = true;  // memory for the image, or a failing stream outside libjpeg
  }
  // Planes decoded before an error or an abort become rows too.
  if (c->yccPlanes && c->ycc.decoded > 0) c->ycc.Make(Bitmap, true);

  // Clean-up, whatever happened: the markers seen, the end of decoding, libjpeg released.
  if (c->headerRead) {
    Params.JPEG_MarkerList.Clear();
    bool first = true;
    for (jpeg_saved_marker_ptr m = c->cinfo.marker_list; m != nullptr; m = m->next) {
      const bool skip = first && m->marker == JPEG_APP0;  // the JFIF header the writer makes again
      first = false;
      if (!skip) Params.JPEG_MarkerList.AddMarker(m->marker, m->data, static_cast<uint16_t>(m->data_length));
    }
  }
  if (c->started && !*flag && !Preview) ProtectedFinish(*c);
  if (c->created) jpeg_destroy_decompress(&c->cinfo);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

struct WriteContext {
  jpeg_compress_struct cinfo{};
  ErrorMgr err{};
  DestMgr dst{};
  bool created = false;
  std::vector<JOCTET> ioBuffer = std::vector<JOCTET>(kIOBufferSize);
  std::vector<uint8_t> rowBuffer;
  std::vector<uint8_t> planes;  // 4:2:0 YCbCr: the planes of an iMCU row
  std::unique_ptr<TBitmap> converted;
  TStream* stream = nullptr;
  const TBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TProgressRec* progress = nullptr;
};

// Whether libjpeg's colour stage for this file is the one the writer does itself: YCbCr from
// blue-green-red, 8-bit samples, luma sampled 2 x 2 and chroma 1 x 1, no smoothing.
bool PlanesSuit(const jpeg_compress_struct& cinfo) {
  const jpeg_component_info* ci = cinfo.comp_info;
  return jpeg_pvt::gYccPlanes && cinfo.in_color_space == JCS_EXT_BGR && cinfo.jpeg_color_space == JCS_YCbCr &&
         cinfo.num_components == 3 && cinfo.data_precision == 8 && cinfo.smoothing_factor == 0 &&
         !cinfo.CCIR601_sampling && ci[0].h_samp_factor == 2 && ci[0].v_samp_factor == 2 &&
         ci[1].h_samp_factor == 1 && ci[1].v_samp_factor == 1 && ci[2].h_samp_factor == 1 &&
         ci[2].v_samp_factor == 1;
}

// Writes the bitmap as planes (libjpeg's raw data), an iMCU row of 16 luma rows and 8 chroma rows
// at a time. Rows past the image repeat the last plane row, as libjpeg pads them.
void WritePlanes(WriteContext& c, const TBitmap* Bitmap, TProgressRec& Progress) {
  jpeg_compress_struct& cinfo = c.cinfo;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight(), chromaHeight = (h + 1) / 2;
  const size_t lumaStride = (size_t(w) + 63) / 64 * 64, chromaStride = lumaStride / 2;
  c.planes.assign(16 * lumaStride + 16 * chromaStride, 0);
  uint8_t* const luma = c.planes.data();
  uint8_t* const chroma = luma + 16 * lumaStride;
  for (int k = 0; k < (h + 15) / 16; ++k) {
    ProgressReport(Progress, Trunc(double(16 * k) * 100.0 / h));
    if (*c.err.aborting) return;
    JSAMPROW lumaRows[16], cbRows[8], crRows[8];
    for (int i = 0; i < 8; ++i) {
      const int row = 16 * k + 2 * i;
      if (8 * k + i < chromaHeight) {
        lumaRows[2 * i] = luma + size_t(2 * i) * lumaStride;
        lumaRows[2 * i + 1] = lumaRows[2 * i] + lumaStride;
        cbRows[i] = chroma + size_t(i) * chromaStride;
        crRows[i] = cbRows[i] + 8 * chromaStride;
        jpeg_pvt::YccPlanes420(Bitmap->ScanLine(row), Bitmap->ScanLine(std::min(row + 1, h - 1)), lumaRows[2 * i],
                               lumaRows[2 * i + 1], cbRows[i], crRows[i], w);
      } else {
        lumaRows[2 * i] = lumaRows[2 * i + 1] = lumaRows[2 * i - 1];
        cbRows[i] = cbRows[i - 1];
        crRows[i] = crRows[i - 1];
      }
    }
    JSAMPARRAY planes[3] = {lumaRows, cbRows, crRows};
    if (jpeg_write_raw_data(&cinfo, planes, 16) == 0) ERREXIT(&cinfo, JERR_FILE_WRITE);  // never suspends
  }
}

void EncodeBody(WriteContext& c, TStream* Stream, const TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  jpeg_compress_struct& cinfo = c.cinfo;
  jpeg_create_compress(&cinfo);
  c.created = true;
  c.dst.pub.init_destination = InitDestination;
  c.dst.pub.empty_output_buffer = EmptyOutputBuffer;
  c.dst.pub.term_destination = TermDestination;
  c.dst.stream = Stream;
  c.dst.buffer = c.ioBuffer.data();
  cinfo.dest = &c.dst.pub;
  if (*c.err.aborting) return;

  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;  // the bitmap's own byte order
  J_COLOR_SPACE fileSpace = JCS_RGB;
  bool cmykInput = false;
  switch (Params.JPEG_ColorSpace) {
    case ioJPEG_GRAYLEV: fileSpace = JCS_GRAYSCALE; break;
    case ioJPEG_YCbCr: fileSpace = JCS_YCbCr; break;
    case ioJPEG_CMYK: fileSpace = JCS_CMYK; cmykInput = true; break;
    case ioJPEG_YCbCrK: fileSpace = JCS_YCCK; cmykInput = true; break;
    default: fileSpace = JCS_RGB; break;
  }
  if (cmykInput) {
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
  }
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, fileSpace);

  if (Params.DpiX > 0 && Params.DpiY > 0) {
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(std::min(Params.DpiX, 65535));
    cinfo.Y_density = static_cast<UINT16>(std::min(Params.DpiY, 65535));
  }
  switch (Params.JPEG_DCTMethod) {
    case ioJPEG_IFAST: cinfo.dct_method = JDCT_IFAST; break;
    case ioJPEG_FLOAT: cinfo.dct_method = JDCT_FLOAT; break;
    default: cinfo.dct_method = JDCT_ISLOW; break;
  }
  cinfo.optimize_coding = Params.JPEG_OptimalHuffman ? TRUE : FALSE;
  cinfo.smoothing_factor = std::clamp(Params.JPEG_Smooth, 0, 100);
  jpeg_set_quality(&cinfo, Params.JPEG_Quality, TRUE);
  if (Params.JPEG_Progressive) jpeg_simple_progression(&cinfo);
  const bool planes = PlanesSuit(cinfo);
  cinfo.raw_data_in = planes ? TRUE : FALSE;

  jpeg_start_compress(&cinfo, TRUE);
  for (int i = 0; i < Params.JPEG_MarkerList.GetCount(); ++i)
    jpeg_write_marker(&cinfo, Params.JPEG_MarkerList.GetMarkerType(i), Params.JPEG_MarkerList.GetMarkerData(i),
                      static_cast<unsigned>(Params.JPEG_MarkerList.GetMarkerLength(i)));
  if (*c.err.aborting) return;
  if (planes) {
    WritePlanes(c, Bitmap, Progress);
    if (*c.err.aborting) return;
    jpeg_finish_compress(&cinfo);
    return;
  }

  if (cmykInput) c.rowBuffer.resize(size_t(w) * 4);
  // Bitmap rows go in 16 at a time (a row group of the largest sampling), fewer calls into
  // libjpeg; CMYK rows one at a time through the conversion buffer.
  const int perCall = cmykInput ? 1 : 16;
  JSAMPROW rows[16];
  for (int y = 0; y < h;) {
    ProgressReport(Progress, Trunc(double(y) * 100.0 / h));
    if (*c.err.aborting) return;
    const int n = std::min(perCall, h - y);
    for (int i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(Bitmap->ScanLine(y + i));
    if (cmykInput) {
      // Inverted inks: each channel scaled by the largest, which becomes K.
      const uint8_t* src = rows[0];
      uint8_t* out = c.rowBuffer.data();
      for (int x = 0; x < w; ++x, src += 3, out += 4) {
        const unsigned b = src[0], g = src[1], r = src[2];
        unsigned m = std::max(r, std::max(g, b));
        if (m == 0) m = 1;
        out[0] = static_cast<uint8_t>(r * 255 / m);
        out[1] = static_cast<uint8_t>(g * 255 / m);
        out[2] = static_cast<uint8_t>(b * 255 / m);
        out[3] = static_cast<uint8_t>(m);
      }
      rows[0] = c.rowBuffer.data();
    }
    const JDIMENSION done = jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
    if (done == 0) ERREXIT(&cinfo, JERR_FILE_WRITE);  // the destination never suspends
    y += static_cast<int>(done);
  }
  jpeg_finish_compress(&cinfo);
}

// Runs the libjpeg steps; a libjpeg error comes back here by a jump (the flag is then set).
void ProtectedEncode(WriteContext& c) {
  if (setjmp(c.err.jump) == 0) EncodeBody(c, c.stream, c.bitmap, *c.params, *c.progress);
}

}  // namespace

void WriteJPegStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  bool localFlag = false;
  bool* flag = Progress.Aborting != nullptr ? Progress.Aborting : &localFlag;
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
    *flag = true;
    return;
  }
  auto c = std::make_unique<WriteContext>();
  const TBitmap* source = Bitmap;
  try {
    if (Bitmap->GetPixelFormat() != pf24bit) {
      c->converted = std::make_unique<TBitmap>();
      c->converted->Assign(Bitmap);
      c->converted->SetPixelFormat(pf24bit);
      source = c->converted.get();
    }
  } catch (const std::exception&) {
    *flag = true;
    return;
  }
  InitErrorMgr(c->err, flag);
  c->cinfo.err = &c->err.pub;
  c->stream = Stream;
  c->bitmap = source;
  c->params = &Params;
  c->progress = &Progress;
  try {
    ProtectedEncode(*c);
  } catch (const std::exception&) {
    *flag = true;
  }
  if (c->created) jpeg_destroy_compress(&c->cinfo);
}

}  // namespace corvex
