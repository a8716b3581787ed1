// TIFF writing (a page as a new file or linked into an existing one), page counting and the
// deletion of a page by rebuilding the file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "corvex/color/colorconv.h"
#include "corvex/io/codecs/TIFCCITT.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/io/codecs/TIFFilt_pvt.h"

namespace corvex {

using namespace tiff;

namespace {

// A directory entry to write: its values already in the file's byte order.
struct OutEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::vector<uint8_t> data;
};

struct Writer {
  bool big = false;
  std::vector<OutEntry> entries;

  void Put16(std::vector<uint8_t>& v, uint32_t x) const {
    if (big) v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)});
    else v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)});
  }
  void Put32(std::vector<uint8_t>& v, uint32_t x) const {
    if (big) v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
    else v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
  }
  void Shorts(uint16_t tag, std::initializer_list<uint32_t> vals) {
    OutEntry e{tag, tShort, uint32_t(vals.size()), {}};
    for (uint32_t v : vals) Put16(e.data, v);
    entries.push_back(std::move(e));
  }
  void Long(uint16_t tag, uint32_t v) {
    OutEntry e{tag, tLong, 1, {}};
    Put32(e.data, v);
    entries.push_back(std::move(e));
  }
  void Rational(uint16_t tag, uint32_t num, uint32_t den) {
    OutEntry e{tag, tRational, 1, {}};
    Put32(e.data, num);
    Put32(e.data, den);
    entries.push_back(std::move(e));
  }
  void Ascii(uint16_t tag, const std::string& s) {
    if (s.empty()) return;
    OutEntry e{tag, tAscii, uint32_t(s.size() + 1), std::vector<uint8_t>(s.begin(), s.end())};
    e.data.push_back(0);
    entries.push_back(std::move(e));
  }

  static void Pad(TStream* s, int64_t base) {
    if ((s->GetPosition() - base) & 1) {
      const uint8_t z = 0;
      s->WriteBuffer(&z, 1);
    }
  }

  // Writes the values longer than 4 bytes, then the directory (entries sorted by tag) with the
  // next offset; returns the directory's offset. Values of 4 bytes or fewer stay in the entry.
  uint32_t WriteIFD(TStream* s, int64_t base, uint32_t next) {
    std::stable_sort(entries.begin(), entries.end(), [](const OutEntry& a, const OutEntry& b) { return a.tag < b.tag; });
    std::vector<uint32_t> offsets(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].data.size() <= 4) continue;
      Pad(s, base);
      offsets[i] = uint32_t(s->GetPosition() - base);
      s->WriteBuffer(entries[i].data.data(), int64_t(entries[i].data.size()));
    }
    Pad(s, base);
    const uint32_t ifd = uint32_t(s->GetPosition() - base);
    std::vector<uint8_t> d;
    Put16(d, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const OutEntry& e = entries[i];
      Put16(d, e.tag);
      Put16(d, e.type);
      Put32(d, e.count);
      if (e.data.size() <= 4) {
        uint8_t field[4] = {0, 0, 0, 0};
        if (!e.data.empty()) std::memcpy(field, e.data.data(), e.data.size());  // an entry may have no values
        d.insert(d.end(), field, field + 4);
      } else {
        Put32(d, offsets[i]);
      }
    }
    Put32(d, next);
    s->WriteBuffer(d.data(), int64_t(d.size()));
    return ifd;
  }
};

void PatchLong(TStream* s, int64_t at, uint32_t v, bool big) {
  uint8_t b[4];
  if (big) {
    b[0] = uint8_t(v >> 24), b[1] = uint8_t(v >> 16), b[2] = uint8_t(v >> 8), b[3] = uint8_t(v);
  } else {
    b[0] = uint8_t(v), b[1] = uint8_t(v >> 8), b[2] = uint8_t(v >> 16), b[3] = uint8_t(v >> 24);
  }
  const int64_t back = s->GetPosition();
  s->Seek(at, soBeginning);
  s->WriteBuffer(b, 4);
  s->Seek(back, soBeginning);
}

// PackBits: runs of 4 to 128 equal bytes become (1 - n, byte); the rest goes into literals of up
// to 128 bytes (n - 1, bytes).
void PackBitsRow(const uint8_t* src, int64_t n, std::vector<uint8_t>& out) {
  out.clear();
  int64_t i = 0, lit = 0;  // lit: start of the pending literal
  auto flush = [&](int64_t end) {
    while (lit < end) {
      const int64_t k = std::min<int64_t>(128, end - lit);
      out.push_back(uint8_t(k - 1));
      out.insert(out.end(), src + lit, src + lit + k);
      lit += k;
    }
  };
  while (i < n) {
    int64_t r = 1;
    while (i + r < n && r < 128 && src[i + r] == src[i]) ++r;
    if (r >= 4) {
      flush(i);
      out.push_back(uint8_t(1 - r));
      out.push_back(src[i]);
      i += r;
      lit = i;
    } else {
      i += r;
    }
  }
  flush(n);
}

// The bitmap as the file will hold it: 1-bit for bilevel pages (a two-colour image keeps its
// two colours as black and white, others are dithered), else 24-bit.
std::unique_ptr<TBitmap> PrepareSource(TBitmap* Bitmap, bool bilevel, TBitmap*& src) {
  std::unique_ptr<TBitmap> own;
  src = Bitmap;
  if (bilevel && Bitmap->GetPixelFormat() != pf1bit) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(Bitmap);
    if (copy->GetPixelFormat() != pf24bit) copy->SetPixelFormat(pf24bit);
    TRGB dark{}, light{};
    own.reset(_ConvertTo1bit(copy.get(), dark, light));
    if (!own) {
      TProgressRec quiet;  // the writer reports its own progress
      _ConvertToBWOrdered(copy.get(), quiet);
      if (copy->GetPixelFormat() != pf1bit) copy->SetPixelFormat(pf1bit);
      own = std::move(copy);
    }
    src = own.get();
  } else if (!bilevel && Bitmap->GetPixelFormat() != pf24bit) {
    own = std::make_unique<TBitmap>();
    own->Assign(Bitmap);
    own->SetPixelFormat(pf24bit);
    src = own.get();
  }
  return own;
}

}  // namespace

int TIFFWriteStream(TStream* Stream, bool Append, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  if (Stream == nullptr || Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
    ProgressFail(Progress);
    return 0;
  }
  try {
    const bool bilevel = Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1;
    TBitmap* src = nullptr;
    const std::unique_ptr<TBitmap> own = PrepareSource(Bitmap, bilevel, src);
    const int W = src->GetWidth(), H = src->GetHeight();
    const bool cmyk = !bilevel && Params.TIFF_PhotometInterpret == ioTIFF_CMYK;

    // Compression and photometric interpretation.
    int compression = 1, photometric = bilevel ? 1 : (cmyk ? 5 : 2);
    uint32_t t4 = 0;
    bool predictor = false;
    TTIFFLZWCompFunc lzw = Params.TIFF_LZWCompress ? Params.TIFF_LZWCompress : DefTIFF_LZWCOMPFUNC;
    switch (Params.TIFF_Compression) {
      case ioTIFF_CCITT1D: compression = 2; break;
      case ioTIFF_G3FAX1D: compression = 3; break;
      case ioTIFF_G3FAX2D: compression = 3, t4 = 1; break;
      case ioTIFF_G4FAX: compression = 4; break;
      case ioTIFF_LZW:
        if (lzw != nullptr) {
          compression = 5;
          // Differencing for 8-bit RGB; CMYK rows are written as they are.
          predictor = !bilevel && !cmyk;
        }
        break;
      case ioTIFF_PACKBITS: compression = 32773; break;
      default: break;
    }
    const bool ccitt = compression >= 2 && compression <= 4;
    if (ccitt) {
      if (bilevel) photometric = 0;
      else compression = 1, t4 = 0;  // CCITT codes bilevel pages only
    }

    // Where the page goes.
    const int64_t base = Stream->GetPosition();
    int result = 1;
    int64_t linkAt = -1;    // the link that will point to the new page
    uint32_t nextIFD = 0;  // what the new page links to
    if (Append) {
      File f(Stream);
      uint64_t first = 0;
      // Pages are linked in with 4-byte offsets: big-endian files and BigTIFF are left as they are.
      if (!f.ReadHeader(first) || f.BigEndian() || f.BigTIFF()) {
        ProgressFail(Progress);
        return 0;
      }
      const std::vector<uint64_t> chain = f.Chain(first);
      const int index = std::max(Params.TIFF_ImageIndex, 0);
      if (index < int(chain.size())) {
        linkAt = index == 0 ? 4 : int64_t(chain[size_t(index) - 1]);
        nextIFD = uint32_t(chain[size_t(index)]);
      } else {
        linkAt = chain.empty() ? 4 : int64_t(chain.back());
      }
      if (linkAt != 4) {
        uint8_t c[2];
        f.ReadAt(linkAt, c, 2);
        linkAt += 2 + int64_t(f.U16(c)) * 12;
      }
      result = int(chain.size()) + 1;
      Stream->Seek(0, soEnd);
      Writer::Pad(Stream, base);
    } else {
      const uint8_t placeholder[8] = {0, 0, 0, 0, 0, 0, 0, 0};
      Stream->WriteBuffer(placeholder, 8);
    }

    // The image data, one strip.
    const uint32_t stripOffset = uint32_t(Stream->GetPosition() - base);
    const int samples = bilevel ? 1 : (cmyk ? 4 : 3);
    const int64_t rowBytes = bilevel ? (int64_t(W) + 7) / 8 : int64_t(W) * samples;
    std::vector<uint8_t> row(size_t(rowBytes) + 8), packed;
    std::vector<uint8_t> ref;
    int pendingBits = 0;
    uint8_t pendingByte = 0;
    void* state = nullptr;
    ProgressBegin(Progress, H);
    for (int y = 0; y < H; ++y) {
      if (ProgressUnit(Progress, y)) {
        if (state != nullptr) lzw(nullptr, 0, Stream, state);
        return 0;
      }
      const uint8_t* s = src->ScanLine(y);
      uint8_t* r = row.data();
      if (bilevel) {
        if (ccitt)
          for (int64_t i = 0; i < rowBytes; ++i) r[i] = uint8_t(~s[i]);
        else
          std::memcpy(r, s, size_t(rowBytes));
      } else if (cmyk) {
        for (int x = 0; x < W; ++x, s += 3, r += 4) {
          const int R = s[2], G = s[1], B = s[0];
          int m = std::max(R, std::max(G, B));
          if (m == 0) m = 1;
          r[0] = uint8_t(255 - R * 255 / m);
          r[1] = uint8_t(255 - G * 255 / m);
          r[2] = uint8_t(255 - B * 255 / m);
          r[3] = uint8_t(255 - m);
        }
      } else if (predictor) {
        uint8_t pr = 0, pg = 0, pb = 0;
        for (int x = 0; x < W; ++x, s += 3, r += 3) {
          r[0] = uint8_t(s[2] - pr);
          r[1] = uint8_t(s[1] - pg);
          r[2] = uint8_t(s[0] - pb);
          pr = s[2], pg = s[1], pb = s[0];
        }
      } else {
        for (int x = 0; x < W; ++x, s += 3, r += 3) {
          r[0] = s[2];
          r[1] = s[1];
          r[2] = s[0];
        }
      }
      switch (compression) {
        case 2: CCITTHuffmanPutLine(row.data(), W, Stream); break;
        case 3:
          if (t4 & 1) CCITTHuffmanPutLineG32D(row.data(), W, Stream, ref, pendingBits, pendingByte);
          else CCITTHuffmanPutLineG3(row.data(), W, Stream, pendingBits, pendingByte);
          break;
        case 4: CCITTHuffmanPutLineG4(row.data(), W, Stream, ref, pendingBits, pendingByte); break;
        case 5: lzw(row.data(), int(rowBytes), Stream, state); break;
        case 32773:
          PackBitsRow(row.data(), rowBytes, packed);
          Stream->WriteBuffer(packed.data(), int64_t(packed.size()));
          break;
        default: Stream->WriteBuffer(row.data(), rowBytes); break;
      }
    }
    switch (compression) {
      case 3:
        if (t4 & 1) CCITTHuffmanPutLineG32D(nullptr, 0, Stream, ref, pendingBits, pendingByte);
        else CCITTHuffmanPutLineG3(nullptr, 0, Stream, pendingBits, pendingByte);
        break;
      case 4: CCITTHuffmanPutLineG4(nullptr, 0, Stream, ref, pendingBits, pendingByte); break;
      case 5: lzw(nullptr, 0, Stream, state); break;
      default: break;
    }
    const uint32_t stripBytes = uint32_t(Stream->GetPosition() - base - stripOffset);

    // The directory.
    Writer w;
    w.Long(kImageWidth, uint32_t(W));
    w.Long(kImageLength, uint32_t(H));
    if (bilevel) w.Shorts(kBitsPerSample, {1});
    else if (cmyk) w.Shorts(kBitsPerSample, {8, 8, 8, 8});
    else w.Shorts(kBitsPerSample, {8, 8, 8});
    w.Shorts(kCompression, {uint32_t(compression)});
    w.Shorts(kPhotometric, {uint32_t(photometric)});
    w.Ascii(kDocumentName, Params.TIFF_DocumentName);
    w.Ascii(kImageDescription, Params.TIFF_ImageDescription);
    w.Long(kStripOffsets, stripOffset);
    w.Shorts(kSamplesPerPixel, {uint32_t(samples)});
    w.Long(kRowsPerStrip, uint32_t(H));
    w.Long(kStripByteCounts, stripBytes);
    if (predictor) w.Shorts(kPredictor, {2});
    w.Rational(kXResolution, uint32_t(std::max(Params.DpiX, 0)), 1);
    w.Rational(kYResolution, uint32_t(std::max(Params.DpiY, 0)), 1);
    w.Ascii(kPageName, Params.TIFF_PageName);
    w.Rational(kXPosition, uint32_t(std::clamp<int64_t>(int64_t(Params.TIFF_XPos) * 10000, 0, UINT32_MAX)), 10000);
    w.Rational(kYPosition, uint32_t(std::clamp<int64_t>(int64_t(Params.TIFF_YPos) * 10000, 0, UINT32_MAX)), 10000);
    if (compression == 3) w.Long(kT4Options, t4);
    w.Shorts(kResolutionUnit, {2});
    if (Params.TIFF_PageNumber != 0 || Params.TIFF_PageCount != 0)
      w.Shorts(kPageNumber, {uint32_t(std::clamp(Params.TIFF_PageNumber, 0, 65535)),
                             uint32_t(std::clamp(Params.TIFF_PageCount, 0, 65535))});
    const uint32_t ifd = w.WriteIFD(Stream, base, nextIFD);
    const int64_t end = Stream->GetPosition();

    if (Append) {
      PatchLong(Stream, base + linkAt, ifd, false);
    } else {
      const uint8_t header[8] = {'I', 'I', 42, 0, uint8_t(ifd), uint8_t(ifd >> 8), uint8_t(ifd >> 16), uint8_t(ifd >> 24)};
      Stream->Seek(base, soBeginning);
      Stream->WriteBuffer(header, 8);
    }
    Stream->Seek(end, soBeginning);
    ProgressReport(Progress, 100);
    return result;
  } catch (const std::exception&) {
    ProgressFail(Progress);
    return 0;
  }
}

void WriteTIFFStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  TIFFWriteStream(Stream, false, Bitmap, Params, Progress);
}

int _EnumTIFFImStream(TStream* Stream) {
  int count = 0;
  bool abort = false;
  TProgressRec progress;
  progress.Aborting = &abort;
  TIFFReadStream(nullptr, Stream, count, nullptr, progress, true);
  return count;
}

int _DeleteTIFFImStream(TStream* Stream, int Index) {
  try {
    File f(Stream);
    uint64_t first = 0;
    // The copy is written as a classic TIFF with 4-byte offsets: a BigTIFF is left untouched.
    if (!f.ReadHeader(first) || f.BigTIFF()) return 0;
    const std::vector<uint64_t> chain = f.Chain(first);
    const int count = int(chain.size());
    if (Index < 0 || Index >= count) return count;

    TMemoryStream out;
    Writer w;
    w.big = f.BigEndian();
    {
      std::vector<uint8_t> h = {uint8_t(w.big ? 'M' : 'I'), uint8_t(w.big ? 'M' : 'I')};
      w.Put16(h, 42);
      w.Put32(h, 0);
      out.WriteBuffer(h.data(), 8);
    }
    int64_t link = 4;
    // Strips are disjoint in a sound file, so the copy holds no more data than the file; one
    // whose chunks overlap again and again (a few kilobytes that name the same bytes a million
    // times) is refused rather than multiplied into gigabytes.
    int64_t budget = 2 * f.Size() + 4096;
    for (int page = 0; page < count; ++page) {
      if (page == Index) continue;
      std::vector<Entry> entries;
      uint64_t next = 0;
      if (!f.ReadIFD(chain[size_t(page)], entries, next)) continue;
      w.entries.clear();
      // Data that entries point at: strips, tiles, a JPEG stream.
      auto copyChunks = [&](uint16_t offTag, uint16_t countTag) {
        const Entry* eo = Find(entries, offTag);
        if (eo == nullptr) return;
        std::vector<uint32_t> offs, counts;
        f.UInts(*eo, offs, 1u << 24);
        if (const Entry* ec = Find(entries, countTag)) f.UInts(*ec, counts, uint32_t(offs.size()));
        OutEntry no{offTag, tLong, uint32_t(offs.size()), {}}, nc{countTag, tLong, uint32_t(offs.size()), {}};
        std::vector<uint8_t> buf;
        for (size_t i = 0; i < offs.size(); ++i) {
          const int64_t o = offs[i];
          int64_t n = i < counts.size() ? int64_t(counts[i]) : f.Size() - o;
          n = std::max<int64_t>(0, std::min(n, f.Size() - o));
          budget -= n;
          if (budget < 0) return;
          buf.resize(size_t(n));
          if (n > 0 && !f.ReadAt(o, buf.data(), n)) n = 0;
          Writer::Pad(&out, 0);
          w.Put32(no.data, uint32_t(out.GetPosition()));
          w.Put32(nc.data, uint32_t(n));
          if (n > 0) out.WriteBuffer(buf.data(), n);
        }
        w.entries.push_back(std::move(no));
        w.entries.push_back(std::move(nc));
      };
      copyChunks(kStripOffsets, kStripByteCounts);
      copyChunks(kTileOffsets, kTileByteCounts);
      copyChunks(kJPEGInterchangeFormat, kJPEGInterchangeFormatLength);
      if (budget < 0) return 0;
      for (const Entry& e : entries) {
        switch (e.tag) {
          case kStripOffsets: case kStripByteCounts: case kTileOffsets: case kTileByteCounts:
          case kJPEGInterchangeFormat: case kJPEGInterchangeFormatLength:
            continue;  // copied above
          // Pointers to structures this copy does not carry over.
          case kSubIFDs: case kExifIFD: case kGPSIFD: case kInteropIFD: case kFreeOffsets: case kFreeByteCounts:
            continue;
          default: break;
        }
        OutEntry o{e.tag, e.type, uint32_t(e.count), {}};
        if (e.Bytes() <= 4) {
          o.data.assign(e.raw, e.raw + 4);
          o.data.resize(size_t(std::max<int64_t>(e.Bytes(), 0)));
          if (TypeSize(e.type) == 0) continue;
        } else if (!f.ValueBytes(e, o.data)) {
          continue;  // a value that is not in the file is left out
        }
        w.entries.push_back(std::move(o));
      }
      const uint32_t ifd = w.WriteIFD(&out, 0, 0);
      PatchLong(&out, link, ifd, w.big);
      uint8_t c[2];
      out.Seek(ifd, soBeginning);
      out.ReadBuffer(c, 2);
      link = int64_t(ifd) + 2 + int64_t(w.big ? (c[0] << 8 | c[1]) : (c[1] << 8 | c[0])) * 12;
      out.Seek(0, soEnd);
    }
    const int64_t base = f.Base();
    Stream->SetSize(base);
    Stream->Seek(base, soBeginning);
    out.Seek(0, soBeginning);
    Stream->CopyFrom(&out, 0);
    return count;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace corvex
