// The measuring half of `make bench-report`: makes the test images, writes the files the peer
// programs start from, and times each of our operations (and libjpeg-turbo and libpng called
// directly, with the same settings) several times, printing the median in milliseconds as
// tab-separated lines: operation, implementation, milliseconds, note. scripts/bench-report runs
// the other peers and writes the report.
//
//   corvex_bench_report --dir DIR [--reps N] [--scale S] [--only SUBSTRING]
//
// Images: a 6000 x 4000 photo-like 24-bit image, a 2000 x 2000 image of 256 colours (the same
// kind of picture, ordered-dithered to a fixed palette), an A4 300-dpi bilevel page of text-like
// marks, and a 512 x 512 photo for the transform. --scale divides every size (quick trial runs).
// Only the operation is timed: input already in memory, output to memory.
//
// The image view: a headless TCorvexView with a 1920 x 1080 client (double-buffered) showing the
// photo at 100 %, 37 % and 250 % (the two with the triangle zoom filter) and the page at 25 %;
// the first render and the repaint of an unchanged view are timed apart, and a scroll step.
// Beside them, when the bench build found Qt 6, QPainter::drawImage of the same source rectangle
// into a client-sized image, with and without Qt::SmoothTransformation, and a memcpy of the
// client's bytes: what one copy of the client costs, for scale.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

// After <cstdio>: jpeglib.h needs size_t and FILE.
#include <jpeglib.h>
#include <sched.h>
#include <png.h>

#include "bench/bench_common.h"
#include "corvex/color/stdquant.h"
#include "corvex/core/utils.h"
#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/PCXFilter.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/io/codecs/cxtgafil.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/proc/cxfft.h"
#include "corvex/view/CorvexView.h"

#ifdef CORVEX_BENCH_QT
#include <QImage>
#include <QPainter>
#endif

using namespace corvex;
using Bytes = std::vector<uint8_t>;

namespace {

int gReps = 5;
std::string gDir;
std::string gOnly;

bool Wanted(const std::string& op) { return gOnly.empty() || op.find(gOnly) != std::string::npos; }

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  return n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
}

double TimedMs(const std::function<void()>& op) {
  const auto t0 = std::chrono::steady_clock::now();
  op();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The median of Reps timed runs of Op, each after an untimed Prepare, after one untimed warm-up.
double MedianMs(int reps, const std::function<void()>& op, const std::function<void()>& prepare = {}) {
  std::vector<double> ms;
  for (int i = 0; i <= reps; ++i) {
    if (prepare) prepare();
    const double t = TimedMs(op);
    if (i > 0) ms.push_back(t);
  }
  return Median(ms);
}

// Several ways of doing the same job timed in turn (a, b, c, a, b, c, ...) after one untimed
// round, so that a change in the machine's speed moves them alike; their medians, in order.
std::vector<double> MediansInTurn(int reps, const std::vector<std::function<void()>>& ops) {
  std::vector<std::vector<double>> ms(ops.size());
  for (int i = 0; i <= reps; ++i)
    for (size_t k = 0; k < ops.size(); ++k) {
      const double t = TimedMs(ops[k]);
      if (i > 0) ms[k].push_back(t);
    }
  std::vector<double> medians;
  for (auto& m : ms) medians.push_back(Median(m));
  return medians;
}

void Emit(const std::string& op, const std::string& impl, double ms, const std::string& note = "") {
  std::printf("%s\t%s\t%.3f\t%s\n", op.c_str(), impl.c_str(), ms, note.c_str());
  std::fflush(stdout);
}

// Libraries called directly for the same job as one of our operations. Each is timed in turn
// with ours (ours, the peer, ours, ...), so that a machine that speeds up or slows down during
// the run moves both figures alike.
struct DirectPeer {
  std::string name;
  std::function<void()> run;
};
std::map<std::string, DirectPeer>& DirectPeers() {
  static std::map<std::string, DirectPeer> peers;
  return peers;
}

void AddPeer(const std::string& op, const std::string& name, std::function<void()> run) {
  if (Wanted(op)) DirectPeers()[op] = DirectPeer{name, std::move(run)};
}

// Times our side of an operation, with its direct peer in turn when it has one; returns our median.
double TimeOurs(const std::string& op, const std::function<void()>& ours) {
  const auto it = DirectPeers().find(op);
  if (it == DirectPeers().end()) return MedianMs(gReps, ours);
  const std::vector<double> ms = MediansInTurn(gReps, {ours, it->second.run});
  Emit(op, it->second.name, ms[1]);
  return ms[0];
}

void Save(const std::string& name, const Bytes& b) {
  FILE* f = std::fopen((gDir + "/" + name).c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s/%s\n", gDir.c_str(), name.c_str());
    std::exit(1);
  }
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

Bytes ToBytes(TMemoryStream& m) { return Bytes(m.Memory(), m.Memory() + m.GetSize()); }

struct Progress {
  bool abort = false;
  TProgressRec rec;
  Progress() { rec.Aborting = &abort; }
};

// --- the test images -----------------------------------------------------------------------

// A page of text-like marks: lines of "words" of small glyph boxes, margins, a rule.
std::unique_ptr<TBitmap> MakePage(int w, int h) {
  auto bmp = std::make_unique<TBitmap>(w, h, pf1bit);
  std::fill(bmp->Bits(), bmp->Bits() + bmp->GetImageSize(), uint8_t(0xFF));
  std::mt19937 rng(77);
  auto black = [&](int x, int y) { bmp->ScanLine(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7))); };
  const int m = w / 10;
  for (int line = m + 50; line + 40 < h - m; line += 50) {
    int x = m;
    while (x < w - m) {
      const int word = 3 + int(rng() % 8);
      for (int c = 0; c < word && x + 22 < w - m; ++c, x += 26) {
        const int gh = 20 + int(rng() % 12), gw = 14 + int(rng() % 8);
        for (int y = line + 32 - gh; y < line + 32; ++y)
          for (int xx = x; xx < x + gw; ++xx)
            if ((xx * 7 + y * 3 + c) % 5 < 3 || y == line + 31 || xx == x) black(xx, y);
      }
      x += 30;
    }
  }
  for (int y = m; y < m + 4 && y < h; ++y)
    for (int x = m; x < w - m; ++x) black(x, y);
  return bmp;
}

// The photo ordered-dithered to 8 reds x 8 greens x 4 blues: 256 colours, in 24 bits.
std::unique_ptr<TBitmap> MakePalette(const TBitmap& photo) {
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  auto out = std::make_unique<TBitmap>(photo.GetWidth(), photo.GetHeight(), pf24bit);
  for (int y = 0; y < photo.GetHeight(); ++y) {
    const uint8_t* s = photo.ScanLine(y);
    uint8_t* p = out->ScanLine(y);
    for (int x = 0; x < photo.GetWidth(); ++x, p += 3, s += 3) {
      const int d = kBayer[y & 3][x & 3];
      const int ri = std::min((s[2] * 7 + d * 16) / 255, 7);
      const int gi = std::min((s[1] * 7 + d * 16) / 255, 7);
      const int bi = std::min((s[0] * 3 + d * 16) / 255, 3);
      p[0] = uint8_t(bi * 85);
      p[1] = uint8_t(gi * 255 / 7);
      p[2] = uint8_t(ri * 255 / 7);
    }
  }
  return out;
}

// --- codecs --------------------------------------------------------------------------------

struct Codec {
  std::string op;    // "jpeg", "tiff-lzw", ...
  std::string file;  // the file name the peers read
  const TBitmap* image;
  std::function<void(TStream*, TBitmap*, TIOParamsVals&, TProgressRec&)> read;
  std::function<void(TStream*, TBitmap*, TIOParamsVals&, TProgressRec&)> write;
  std::function<void(TIOParamsVals&)> params;
};

Bytes Encode(const Codec& c, const TBitmap& image) {
  TMemoryStream m;
  TIOParamsVals p;
  c.params(p);
  Progress pr;
  c.write(&m, const_cast<TBitmap*>(&image), p, pr.rec);
  if (pr.abort) {
    std::fprintf(stderr, "%s: our writer failed\n", c.op.c_str());
    std::exit(1);
  }
  return ToBytes(m);
}

// Writes the codec's file (and a tiny one for the peers' start-up baselines); its bytes.
Bytes PrepareCodec(const Codec& c) {
  if (!Wanted(c.op + "-decode") && !Wanted(c.op + "-encode")) return {};
  const Bytes file = Encode(c, *c.image);
  Save(c.file, file);
  TBitmap tiny(8, 8, c.image->GetPixelFormat());
  std::memset(tiny.Bits(), 0x5A, size_t(tiny.GetImageSize()));
  Save("tiny_" + c.file, Encode(c, tiny));
  return file;
}

void TimeCodec(const Codec& c, const Bytes& file) {
  if (!Wanted(c.op + "-decode") && !Wanted(c.op + "-encode")) return;
  if (Wanted(c.op + "-decode")) {
    TBitmap bmp;
    bool failed = false;
    const double ms = TimeOurs(c.op + "-decode", [&] {
      TPointerStream s(file.data(), int64_t(file.size()));
      TIOParamsVals p;
      Progress pr;
      c.read(&s, &bmp, p, pr.rec);
      failed |= pr.abort;
    });
    Emit(c.op + "-decode", "corvex", failed ? -1 : ms, std::to_string(file.size()) + " bytes");
  }
  if (Wanted(c.op + "-encode")) {
    size_t size = 0;
    const double ms = TimeOurs(c.op + "-encode", [&] {
      TMemoryStream m;
      TIOParamsVals p;
      c.params(p);
      Progress pr;
      c.write(&m, const_cast<TBitmap*>(c.image), p, pr.rec);
      size = size_t(m.GetSize());
    });
    Emit(c.op + "-encode", "corvex", ms, std::to_string(size) + " bytes");
  }
}

// libjpeg-turbo called directly: memory source, blue-green-red rows into a bitmap.
void AddLibjpeg(const TBitmap& photo) {
  static Bytes file;
  {
    FILE* f = std::fopen((gDir + "/photo.jpg").c_str(), "rb");
    if (!f) return;
    std::fseek(f, 0, SEEK_END);
    file.resize(size_t(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(file.data(), 1, file.size(), f) != file.size()) file.clear();
    std::fclose(f);
  }
  if (!file.empty()) {
    static TBitmap bmp;
    AddPeer("jpeg-decode", "libjpeg-turbo", [] {
           jpeg_decompress_struct cinfo;
           jpeg_error_mgr jerr;
           cinfo.err = jpeg_std_error(&jerr);
           jpeg_create_decompress(&cinfo);
           jpeg_mem_src(&cinfo, file.data(), file.size());
           jpeg_read_header(&cinfo, TRUE);
           cinfo.out_color_space = JCS_EXT_BGR;
           jpeg_start_decompress(&cinfo);
           bmp.Allocate(int(cinfo.output_width), int(cinfo.output_height), pf24bit);
           JSAMPROW rows[8];
           while (cinfo.output_scanline < cinfo.output_height) {
             const int y = int(cinfo.output_scanline);
             const int n = std::min<int>(std::min(cinfo.rec_outbuf_height, 8), int(cinfo.output_height) - y);
             for (int i = 0; i < n; ++i) rows[i] = bmp.ScanLine(y + i);
             jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
           }
           jpeg_finish_decompress(&cinfo);
           jpeg_destroy_decompress(&cinfo);
         });
  }
  {
    AddPeer("jpeg-encode", "libjpeg-turbo", [&photo] {
           jpeg_compress_struct cinfo;
           jpeg_error_mgr jerr;
           cinfo.err = jpeg_std_error(&jerr);
           jpeg_create_compress(&cinfo);
           unsigned char* out = nullptr;
           unsigned long outSize = 0;
           jpeg_mem_dest(&cinfo, &out, &outSize);
           cinfo.image_width = JDIMENSION(photo.GetWidth());
           cinfo.image_height = JDIMENSION(photo.GetHeight());
           cinfo.input_components = 3;
           cinfo.in_color_space = JCS_EXT_BGR;
           jpeg_set_defaults(&cinfo);
           jpeg_set_colorspace(&cinfo, JCS_YCbCr);
           jpeg_set_quality(&cinfo, 85, TRUE);
           jpeg_start_compress(&cinfo, TRUE);
           while (cinfo.next_scanline < cinfo.image_height) {
             JSAMPROW row = const_cast<JSAMPROW>(photo.ScanLine(int(cinfo.next_scanline)));
             jpeg_write_scanlines(&cinfo, &row, 1);
           }
           jpeg_finish_compress(&cinfo);
           jpeg_destroy_compress(&cinfo);
           std::free(out);
         });
  }
}

// libpng called directly: level 5, memory level 9, no row filter, blue-green-red rows (our
// writer's defaults).
void AddLibpng(const TBitmap& photo) {
  auto encode = [&photo] {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
          auto* v = static_cast<Bytes*>(png_get_io_ptr(p));
          v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(photo.GetWidth()), png_uint_32(photo.GetHeight()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 5);
    png_set_compression_mem_level(png, 9);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int y = 0; y < photo.GetHeight(); ++y) png_write_row(png, const_cast<uint8_t*>(photo.ScanLine(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
  };
  if (!Wanted("png-encode") && !Wanted("png-decode")) return;
  static const Bytes file = encode();
  AddPeer("png-encode", "libpng", [encode] { encode(); });
  {
    struct Reader {
      const uint8_t* p;
    };
    static TBitmap bmp;
    AddPeer("png-decode", "libpng", [] {
           Reader r{file.data()};
           png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
           png_infop info = png_create_info_struct(png);
           png_set_read_fn(png, &r, [](png_structp p, png_bytep d, png_size_t n) {
             auto* m = static_cast<Reader*>(png_get_io_ptr(p));
             std::memcpy(d, m->p, n);
             m->p += n;
           });
           png_read_info(png, info);
           png_set_bgr(png);
           png_read_update_info(png, info);
           bmp.Allocate(int(png_get_image_width(png, info)), int(png_get_image_height(png, info)), pf24bit);
           for (int y = 0; y < bmp.GetHeight(); ++y) png_read_row(png, bmp.ScanLine(y), nullptr);
           png_read_end(png, nullptr);
           png_destroy_read_struct(&png, &info, nullptr);
         });
  }
}

// --- image operations ----------------------------------------------------------------------

double Psnr(const TBitmap& a, const TBitmap& b) {
  double se = 0;
  for (int y = 0; y < a.GetHeight(); ++y) {
    const uint8_t* p = a.ScanLine(y);
    const uint8_t* q = b.ScanLine(y);
    for (int x = 0; x < a.GetWidth() * 3; ++x) se += double(p[x] - q[x]) * double(p[x] - q[x]);
  }
  const double mse = se / (double(a.GetWidth()) * a.GetHeight() * 3);
  return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

void TimeOperations(const TBitmap& photo, const TBitmap& qsrc, const TBitmap& ft512) {
  const int w = photo.GetWidth(), h = photo.GetHeight();
  TBitmap work;
  auto fresh = [&] { work.Assign(&photo); };
  const struct {
    const char* name;
    TResampleFilter filter;
  } filters[] = {{"lanczos3", rfLanczos3}, {"mitchell", rfMitchell}, {"triangle", rfTriangle}};
  for (const auto& f : filters) {
    const std::string down = std::string("resize-down4-") + f.name, up = std::string("resize-up2-") + f.name;
    if (Wanted(down)) {
      TBitmap dst(w / 4, h / 4, pf24bit);
      Emit(down, "corvex", MedianMs(gReps, [&] { _Resample(&photo, &dst, f.filter, nullptr, nullptr); }));
    }
    if (Wanted(up)) {
      TBitmap dst;
      Emit(up, "corvex",
           MedianMs(std::min(gReps, 3), [&] { _Resample(&photo, &dst, f.filter, nullptr, nullptr); },
                    [&] {
                      dst.Allocate(1, 1, pf24bit);
                      dst.Allocate(w * 2, h * 2, pf24bit);
                    }));
    }
  }
  if (Wanted("rotate30")) {
    TCorvexProc proc;
    proc.SetAutoUndo(false);
    proc.SetAttachedBitmap(&work);
    Emit("rotate30", "corvex", MedianMs(std::min(gReps, 3), [&] { proc.Rotate(30, true); }, fresh));
    proc.SetAttachedBitmap(nullptr);
  }
  if (Wanted("filter3x3")) {
    Emit("filter3x3", "corvex", MedianMs(gReps, [&] {
           TProgressRec pr;
           _ApplyFilter(&work, CXFiltPres[fpBlur], 0, 0, w, h, pr);
         }, fresh));
  }
  if (Wanted("morph-max3x3"))
    Emit("morph-max3x3", "corvex",
         MedianMs(gReps, [&] { _MorphFilter(&work, 1, 0, 0, 0, w, h, nullptr, nullptr); }, fresh));
  if (Wanted("gray"))
    Emit("gray", "corvex", MedianMs(gReps, [&] { _ConvertToGray(&work, 0, 0, w, h, nullptr, nullptr); }, fresh));
  if (Wanted("quantize256")) {
    TBitmap mapped(qsrc.GetWidth(), qsrc.GetHeight(), pf24bit);
    TRGB pal[256];
    auto quantize = [&] {
      TCXQuantizer q(&qsrc, pal, 256, 256, -1);
      for (int y = 0; y < qsrc.GetHeight(); ++y) {
        const TRGB* s = reinterpret_cast<const TRGB*>(qsrc.ScanLine(y));
        TRGB* d = reinterpret_cast<TRGB*>(mapped.ScanLine(y));
        for (int x = 0; x < qsrc.GetWidth(); ++x) d[x] = pal[q.GetRGBIndex(s[x])];
      }
    };
    const double ms = MedianMs(gReps, quantize);
    char note[64];
    std::snprintf(note, sizeof note, "PSNR %.2f dB", Psnr(qsrc, mapped));
    Emit("quantize256", "corvex", ms, note);
  }
  if (Wanted("fft512")) {
    Emit("fft512", "corvex", MedianMs(gReps * 2, [&] {
           TCXFtImage ft;
           ft.BuildFT(&ft512, cxitRGB);
         }));
  }
}

// --- the image view -------------------------------------------------------------------------

#ifdef CORVEX_BENCH_QT
// The source as Qt draws it fastest: 24-bit photo to RGB32, the 1-bit page to Mono (0 black).
QImage QtImage(const TBitmap& b) {
  if (b.GetPixelFormat() == pf1bit) {
    QImage q(b.GetWidth(), b.GetHeight(), QImage::Format_Mono);
    q.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const size_t n = size_t(b.GetWidth() + 7) / 8;
    for (int y = 0; y < b.GetHeight(); ++y) std::memcpy(q.scanLine(y), b.ScanLine(y), n);
    return q;
  }
  QImage q(b.GetWidth(), b.GetHeight(), QImage::Format_RGB32);
  for (int y = 0; y < b.GetHeight(); ++y) {
    const uint8_t* s = b.ScanLine(y);
    QRgb* d = reinterpret_cast<QRgb*>(q.scanLine(y));
    for (int x = 0; x < b.GetWidth(); ++x, s += 3) d[x] = qRgb(s[2], s[1], s[0]);
  }
  return q;
}
#endif

// One view setting: the image, the zoom and the filter; the client shows the middle of it.
struct ViewCase {
  std::string op;  // "view-100", ...
  const TBitmap* image;
  int zoom;
  TResampleFilter filter;
  bool repaint;  // also time the repaint of the unchanged view
};

void TimeView(const TBitmap& photo, const TBitmap& page, int clientW, int clientH) {
  const std::vector<ViewCase> cases = {{"view-100", &photo, 100, rfNone, true},
                                       {"view-37", &photo, 37, rfTriangle, true},
                                       {"view-250", &photo, 250, rfTriangle, true},
                                       {"view-page-25", &page, 25, rfNone, false}};
  bool any = Wanted("view-scroll64");
  for (const ViewCase& c : cases) any |= Wanted(c.op);
  if (!any) return;

  TForm form(nullptr);
  form.SetBounds(0, 0, clientW, clientH);
  form.SetClientWidth(clientW);
  form.SetClientHeight(clientH);
  auto* view = new TCorvexView(&form);
  view->SetParent(&form);
  view->SetBorderStyle(bsNone);
  view->SetBounds(0, 0, clientW, clientH);
  view->SetDoubleBuffer(true);
  form.Show();
  Application().ProcessMessages();
  if (view->GetClientWidth() != clientW || view->GetClientHeight() != clientH) {
    std::fprintf(stderr, "view: the client is %dx%d, not %dx%d\n", view->GetClientWidth(), view->GetClientHeight(),
                 clientW, clientH);
    std::exit(1);
  }
  // One copy of the client's bytes: what a render that copies the image once costs at least.
  const size_t clientBytes = size_t(clientW) * 3 * size_t(clientH);
  std::vector<uint8_t> from(clientBytes, 7), to(clientBytes);
  const double copyMs = MedianMs(gReps * 4, [&] {
    std::memcpy(to.data(), from.data(), clientBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  });
#ifdef CORVEX_BENCH_QT
  QImage target(clientW, clientH, QImage::Format_RGB32);
  target.fill(Qt::black);
  const QImage qphoto = QtImage(photo), qpage = QtImage(page);
#endif

  auto show = [&](const ViewCase& c) {
    CXCopyBitmap(c.image, view->GetBitmap());
    view->SetZoomFilter(c.filter);
    view->SetZoom(c.zoom);
    view->Update();
    view->SetViewXY(std::max(view->GetExtentX() - clientW, 0) / 2, std::max(view->GetExtentY() - clientH, 0) / 2);
    Application().ProcessMessages();
  };
  for (const ViewCase& c : cases) {
    if (!Wanted(c.op)) continue;
    show(c);
    const std::string first = c.repaint ? c.op + "-first" : c.op;
    // Update marks the back buffer dirty: the whole rendering, filter included. The view's rows
    // take a millisecond or less: four times the runs, on both sides, for a steadier median. Qt
    // draws, where there are any, run in turn with ours.
    std::vector<std::function<void()>> renders = {[&] {
      view->Update();
      Application().ProcessMessages();
    }};
    std::vector<std::string> names = {"corvex"};
#ifdef CORVEX_BENCH_QT
    // The same source rectangle drawn into the same destination rectangle.
    const double inv = 100.0 / c.zoom;
    const QRectF src(view->GetViewX() * inv, view->GetViewY() * inv, view->GetDisplayWidth() * inv,
                     view->GetDisplayHeight() * inv);
    const QRectF dst(view->GetOffsetX(), view->GetOffsetY(), view->GetDisplayWidth(), view->GetDisplayHeight());
    const QImage& qsrc = c.image == &page ? qpage : qphoto;
    for (const bool smooth : {false, true}) {
      if (c.zoom == 100 && smooth) continue;  // nothing to smooth at 1:1
      renders.push_back([&, smooth] {
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        p.drawImage(dst, qsrc, src);
      });
      names.push_back(smooth ? "QPainter smooth" : "QPainter");
    }
#endif
    const std::vector<double> firstMs = MediansInTurn(gReps * 4, renders);
    for (size_t k = 0; k < names.size(); ++k) Emit(first, names[k], firstMs[k]);
    Emit(first, "memcpy", copyMs);
    if (c.repaint) {
      // An unchanged view: nothing is recomputed; the host draws the view's pixels as they are.
      std::vector<std::function<void()>> repaints = {[&] {
        view->Invalidate();
        Application().ProcessMessages();
      }};
#ifdef CORVEX_BENCH_QT
      // What a Qt widget's repaint from a cached image costs: one 1:1 draw of the client.
      QImage cached(clientW, clientH, QImage::Format_RGB32);
      cached.fill(Qt::gray);
      repaints.push_back([&] {
        QPainter p(&target);
        p.drawImage(0, 0, cached);
      });
#endif
      const std::vector<double> repaintMs = MediansInTurn(gReps * 4, repaints);
      Emit(c.op + "-repaint", "corvex", repaintMs[0]);
      Emit(c.op + "-repaint", "memcpy", copyMs);
      if (repaintMs.size() > 1) Emit(c.op + "-repaint", "QPainter", repaintMs[1]);
    }
  }
  if (Wanted("view-scroll64")) {
    show(cases[0]);
    int step = 64;
    // SetViewXY paints at once: a fresh rendering of the scrolled client.
    std::vector<std::function<void()>> steps = {[&] {
      view->SetViewXY(view->GetViewX() + step, view->GetViewY());
      Application().ProcessMessages();
      step = -step;
    }};
#ifdef CORVEX_BENCH_QT
    const QRectF src(view->GetViewX(), view->GetViewY(), clientW, clientH);
    steps.push_back([&] {
      QPainter p(&target);
      p.drawImage(QRectF(0, 0, clientW, clientH), qphoto, src);
    });
#endif
    const std::vector<double> stepMs = MediansInTurn(gReps * 4, steps);
    Emit("view-scroll64", "corvex", stepMs[0]);
    Emit("view-scroll64", "memcpy", copyMs);
    if (stepMs.size() > 1) Emit("view-scroll64", "QPainter", stepMs[1]);
  }
  form.Hide();
}

}  // namespace

int main(int argc, char** argv) {
  int scale = 1;
  bool dir = false, probe = false, usage = argc % 2 == 0;  // every option takes a value
  for (int i = 1; i + 1 < argc && !usage; i += 2) {
    const std::string a = argv[i];
    if (a == "--dir") gDir = argv[i + 1], dir = true;
    else if (a == "--reps") gReps = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--scale") scale = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--only") gOnly = argv[i + 1];
    else if (a == "--probe") probe = std::atoi(argv[i + 1]) != 0;
    else usage = true;
  }
  // The images (several hundred megabytes) are written to DIR: there is no default.
  if (usage || (!dir && !probe)) {
    std::fprintf(stderr, "usage: %s --dir DIR [--reps N] [--scale S] [--only SUBSTRING] | --probe 1\n", argv[0]);
    return 2;
  }
  if (probe) {
    // How fast the processor the program runs on is now (the report picks the least busy one):
    // the median of nine reductions of a 3000 x 2000 photo to 37 % with the triangle.
    const auto src = bench::MakePhoto(3000, 2000);
    TBitmap dst(1110, 740, pf24bit);
    std::printf("# probe\t%.3f\n", MedianMs(9, [&] { _Resample(src.get(), &dst, rfTriangle, nullptr, nullptr); }));
    return 0;
  }
  // Every figure is of one thread: the measuring program keeps to one processor, which also
  // holds Qt's raster engine to one (it would otherwise split smooth scaling over a thread pool
  // as large as the processors the program may use).
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0)
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (CPU_ISSET(c, &cpus)) {
        CPU_ZERO(&cpus);
        CPU_SET(c, &cpus);
        sched_setaffinity(0, sizeof cpus, &cpus);
        break;
      }
  CXInstallLZW();
  const auto photo = bench::MakePhoto(6000 / scale, 4000 / scale);
  const auto qsrc = bench::MakePhoto(2000 / scale, 2000 / scale);
  const auto pal = MakePalette(*qsrc);
  const auto page = MakePage(2480 / scale, 3508 / scale);
  const auto ft512 = bench::MakePhoto(512, 512);
  bench::WritePPM(*photo, gDir + "/photo.ppm");
  bench::WritePPM(*qsrc, gDir + "/qsrc.ppm");
  bench::WritePPM(*pal, gDir + "/pal.ppm");
  bench::WritePPM(TBitmap(8, 8, pf24bit), gDir + "/tiny.ppm");
  {
    // The page as a plain bitmap for the peers' encoders (P4: 1 = black).
    TFileStream f(gDir + "/page.pbm", fmCreate);
    const std::string head = "P4\n" + std::to_string(page->GetWidth()) + " " + std::to_string(page->GetHeight()) + "\n";
    f.WriteBuffer(head.data(), int64_t(head.size()));
    std::vector<uint8_t> row(size_t(page->GetWidth() + 7) / 8);
    for (int y = 0; y < page->GetHeight(); ++y) {
      const uint8_t* p = page->ScanLine(y);
      for (size_t k = 0; k < row.size(); ++k) row[k] = uint8_t(~p[k]);
      f.WriteBuffer(row.data(), int64_t(row.size()));
    }
    f.Flush();
  }
  const int clientW = 1920 / scale, clientH = 1080 / scale;
  std::printf("# image\tphoto\t%d\t%d\n# image\tpalette\t%d\t%d\n# image\tpage\t%d\t%d\n", photo->GetWidth(),
              photo->GetHeight(), pal->GetWidth(), pal->GetHeight(), page->GetWidth(), page->GetHeight());
  std::printf("# image\tclient\t%d\t%d\n", clientW, clientH);
  // The versions of the libraries called directly, as loaded.
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
  std::printf("# version\tlibjpeg-turbo\t%d.%d.%d\n", LIBJPEG_TURBO_VERSION_NUMBER / 1000000,
              LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000, LIBJPEG_TURBO_VERSION_NUMBER % 1000);
#endif
  std::printf("# version\tlibpng\t%s\n", png_get_libpng_ver(nullptr));
#ifdef CORVEX_BENCH_QT
  std::printf("# version\tQPainter\tQt %s\n", qVersion());
#endif

  auto tiff = [](TIOTIFFCompression c, bool bilevel) {
    return [c, bilevel](TIOParamsVals& p) {
      p.BitsPerSample = bilevel ? 1 : 8;
      p.SamplesPerPixel = bilevel ? 1 : 3;
      p.TIFF_Compression = c;
      p.DpiX = p.DpiY = 300;
    };
  };
  auto readTiff = [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { ReadTIFFStream(s, b, p, pr, false); };
  auto writeTiff = [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { TIFFWriteStream(s, false, b, p, pr); };
  const std::vector<Codec> codecs = {
      {"jpeg", "photo.jpg", photo.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { ReadJPegStream(s, b, p, pr, false); },
       WriteJPegStream, [](TIOParamsVals& p) { p.JPEG_Quality = 85; }},
      {"png", "photo.png", photo.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { ReadPNGStream(s, b, p, pr, false); },
       WritePNGStream, [](TIOParamsVals& p) { p.PNG_Compression = 5; p.PNG_Filter = ioPNG_FILTER_NONE; }},
      {"tiff-none", "photo_none.tif", photo.get(), readTiff, writeTiff, tiff(ioTIFF_UNCOMPRESSED, false)},
      {"tiff-packbits", "photo_packbits.tif", photo.get(), readTiff, writeTiff, tiff(ioTIFF_PACKBITS, false)},
      {"tiff-lzw", "photo_lzw.tif", photo.get(), readTiff, writeTiff, tiff(ioTIFF_LZW, false)},
      {"tiff-g4", "page_g4.tif", page.get(), readTiff, writeTiff, tiff(ioTIFF_G4FAX, true)},
      {"gif", "pal.gif", pal.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) {
         int n = 0;
         ReadGifStream(s, b, n, p, pr, false);
       },
       WriteGifStream, [](TIOParamsVals& p) { p.BitsPerSample = 8; }},
      {"bmp", "photo.bmp", photo.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) {
         BMPReadStream(s, b, int(s->GetSize()), p, pr, false);
       },
       BMPWriteStream, [](TIOParamsVals& p) { p.BitsPerSample = 8; p.SamplesPerPixel = 3; }},
      {"pcx", "photo.pcx", photo.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { ReadPcxStream(s, b, p, s->GetSize(), pr, false); },
       WritePcxStream,
       [](TIOParamsVals& p) { p.BitsPerSample = 8; p.SamplesPerPixel = 3; p.PCX_Compression = ioPCX_RLE; }},
      {"tga", "photo.tga", photo.get(),
       [](TStream* s, TBitmap* b, TIOParamsVals& p, TProgressRec& pr) { ReadTGAStream(s, b, p, pr, false); },
       WriteTGAStream, [](TIOParamsVals& p) { p.BitsPerSample = 8; p.SamplesPerPixel = 3; p.TGA_Compressed = true; }},
  };
  // The quantizer's source as a 24-bit PNG, for pngquant.
  {
    TIOParamsVals p;
    p.PNG_Compression = 1;
    TMemoryStream m;
    Progress pr;
    WritePNGStream(&m, const_cast<TBitmap*>(qsrc.get()), p, pr.rec);
    Save("qsrc.png", ToBytes(m));
  }
  // The uncompressed TIFF of the page, for the peers' Group 4 encoders.
  {
    TIOParamsVals p;
    tiff(ioTIFF_UNCOMPRESSED, true)(p);
    TMemoryStream m;
    Progress pr;
    TIFFWriteStream(&m, false, page.get(), p, pr.rec);
    Save("page_none.tif", ToBytes(m));
  }
  std::vector<Bytes> files;
  for (const Codec& c : codecs) files.push_back(PrepareCodec(c));
  AddLibjpeg(*photo);
  AddLibpng(*photo);
  for (size_t i = 0; i < codecs.size(); ++i) TimeCodec(codecs[i], files[i]);
  TimeOperations(*photo, *qsrc, *ft512);
  TimeView(*photo, *page, clientW, clientH);
  return 0;
}
