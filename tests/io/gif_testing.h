// Helpers of the GIF tests: a builder for GIF files block by block (with the project's LZW
// encoder), and the reader called on bytes or files with the coders installed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/lzw/lzw.h"
#include "tests/common/codec_testing.h"

namespace corvex::testing_support {

// Builds a GIF file block by block.
struct GifBuilder {
  std::vector<uint8_t> bytes;

  static int TableBits(size_t n) {
    int b = 1;
    while ((size_t(1) << b) < n) ++b;
    return b;
  }
  void Table(const std::vector<TRGB>& t) {
    for (const TRGB& c : t) bytes.insert(bytes.end(), {c.r, c.g, c.b});
  }
  GifBuilder& Header(int w, int h, const std::vector<TRGB>& global, int bg = 0, const char* version = "GIF89a") {
    bytes.assign(version, version + 6);
    Put16(bytes, w);
    Put16(bytes, h);
    const int b = global.empty() ? 0 : TableBits(global.size());
    bytes.push_back(global.empty() ? 0 : uint8_t(0x80 | (b - 1) << 4 | (b - 1)));
    bytes.push_back(uint8_t(bg));
    bytes.push_back(0);
    Table(global);
    return *this;
  }
  GifBuilder& Gce(int packed, int delay, int transparent, int blockSize = 4) {
    bytes.insert(bytes.end(), {0x21, 0xF9, uint8_t(blockSize), uint8_t(packed)});
    Put16(bytes, delay);
    bytes.push_back(uint8_t(transparent));
    for (int i = 4; i < blockSize; ++i) bytes.push_back(0x55);
    bytes.push_back(0);
    return *this;
  }
  GifBuilder& Comment(const std::string& text) {
    bytes.insert(bytes.end(), {0x21, 0xFE, uint8_t(text.size())});
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return *this;
  }
  GifBuilder& Netscape(int loops) {
    const char id[] = "NETSCAPE2.0";
    bytes.insert(bytes.end(), {0x21, 0xFF, 11});
    bytes.insert(bytes.end(), id, id + 11);
    bytes.insert(bytes.end(), {3, 1});
    Put16(bytes, loops);
    bytes.push_back(0);
    return *this;
  }
  // An image of indices (display order) at (x, y), coded with `bits` bits per pixel.
  GifBuilder& Image(int x, int y, int w, int h, const std::vector<uint8_t>& idx, int bits,
                    const std::vector<TRGB>& local = {}, bool interlaced = false) {
    bytes.push_back(',');
    Put16(bytes, x);
    Put16(bytes, y);
    Put16(bytes, w);
    Put16(bytes, h);
    const int b = local.empty() ? 0 : TableBits(local.size());
    bytes.push_back(uint8_t((local.empty() ? 0 : 0x80 | (b - 1)) | (interlaced ? 0x40 : 0)));
    Table(local);
    TMemoryStream m;
    GIFLZWCompress(&m, h, w, bits, idx.data(), interlaced);
    bytes.insert(bytes.end(), m.Memory(), m.Memory() + m.GetSize());
    return *this;
  }
  GifBuilder& Trailer() {
    bytes.push_back(';');
    return *this;
  }
};

inline std::vector<TRGB> BlackWhite() { return {TRGB{0, 0, 0}, TRGB{255, 255, 255}}; }
// Entry i has red i*10, green 255 - i, blue 7.
inline std::vector<TRGB> TestTable(int n) {
  std::vector<TRGB> t;
  for (int i = 0; i < n; ++i) t.push_back(CreateRGB(uint8_t(i * 10), uint8_t(255 - i), 7));
  return t;
}
// w x h indices cycling through n values.
inline std::vector<uint8_t> Indices(int w, int h, int n, int seed = 0) {
  std::vector<uint8_t> v(size_t(w) * size_t(h));
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t((i * 7 + i / size_t(w) + size_t(seed)) % size_t(n));
  return v;
}

// The reader on bytes, with the project's decoder in the record. True when it did not abort.
inline bool ReadGifBytes(const std::vector<uint8_t>& file, TBitmap& bmp, TIOParamsVals& params, int* count = nullptr,
                         bool preview = false, TProgressRec* progress = nullptr) {
  bool abort = false;
  TProgressRec own;
  TProgressRec& pr = progress ? *progress : own;
  if (!pr.Aborting) pr.Aborting = &abort;
  if (!params.GIF_LZWDecompress) params.GIF_LZWDecompress = GIFLZWDecompress;
  TPointerStream s(file.data(), int64_t(file.size()));
  int n = -1;
  ReadGifStream(&s, &bmp, n, params, pr, preview);
  if (count) *count = n;
  return !*pr.Aborting;
}

inline bool ReadGifFile(const std::string& path, TBitmap& bmp, TIOParamsVals& params, int* count = nullptr) {
  return ReadGifBytes(ReadFileBytes(path), bmp, params, count);
}

// The indices of a 24-bit image whose colours come from a table (the first entry that matches).
inline std::vector<uint8_t> IndicesOf(const TBitmap& bmp, const std::vector<TRGB>& table) {
  std::vector<uint8_t> out;
  const auto rgb = RgbBytes(bmp);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    int k = -1;
    for (size_t j = 0; j < table.size() && k < 0; ++j)
      if (table[j].r == rgb[i] && table[j].g == rgb[i + 1] && table[j].b == rgb[i + 2]) k = int(j);
    out.push_back(uint8_t(k < 0 ? 255 : k));
  }
  return out;
}

// Pillow's view of a file: frame count, then per frame its size, duration, the loop flag and the
// RGB bytes of the frame (as Pillow composes it).
struct PillowFrames {
  int count = 0;
  std::vector<int> durations;
  int loop = -1;
  std::vector<std::vector<uint8_t>> rgb;
};

inline bool PillowRead(const std::string& path, PillowFrames& out) {
  const std::string raw = path + ".frames";
  const std::string script = TempPath("gif_pillow.py");
  const std::string text =
      "import sys\nfrom PIL import Image\n"
      "im=Image.open(sys.argv[1]); n=im.n_frames; out=open(sys.argv[2],'wb'); d=[]\n"
      "for k in range(n):\n"
      "  im.seek(k); d.append(im.info.get('duration',0)); out.write(im.convert('RGB').tobytes())\n"
      "print(n, im.info.get('loop',-1), *d)\n";
  WriteFileBytes(script, std::vector<uint8_t>(text.begin(), text.end()));
  std::string output;
  if (RunCommand(Python() + " '" + script + "' '" + path + "' '" + raw + "'", &output) != 0) return false;
  std::istringstream is(output);
  is >> out.count >> out.loop;
  for (int k = 0; k < out.count; ++k) {
    int d = 0;
    is >> d;
    out.durations.push_back(d);
  }
  const auto bytes = ReadFileBytes(raw);
  if (out.count == 0 || bytes.size() % size_t(out.count)) return false;
  const size_t per = bytes.size() / size_t(out.count);
  for (int k = 0; k < out.count; ++k)
    out.rgb.emplace_back(bytes.begin() + long(per * size_t(k)), bytes.begin() + long(per * size_t(k + 1)));
  return true;
}

// The ImageMagick command (the real one, not a stand-in named convert), or "".
inline std::string ImageMagick() {
  for (const char* c : {"magick", "convert-im6.q16"})
    if (HaveProgram(c)) return c;
  return "";
}

}  // namespace corvex::testing_support
