// Editing multi-image GIF files: insertion of an image at a position, deletion of one (which
// also counts them), the test for the looping extension and its insertion. Each edit builds the
// new file in memory from the old one, block by block, and writes it back only when the walk
// succeeded, so that a damaged file or a failed coder leaves the stored file as it was.
#include <cstring>

#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/GIFFilter_pvt.h"

namespace corvex {

using namespace gif;

namespace {

// What CopyHeader found.
enum HeaderResult { hdrNotGif, hdrDamaged, hdrCopied };

// Reads the 13-byte header and copies it, with the version forced to 89a, and the global table
// to Out. A table cut short is damage: whatever followed would be taken for its entries.
HeaderResult CopyHeader(Input& In, TStream* Out, uint8_t* Header) {
  if (!In.Bytes(Header, kHeaderSize) || std::memcmp(Header, "GIF", 3) != 0) return hdrNotGif;
  uint8_t h[kHeaderSize];
  std::memcpy(h, Header, kHeaderSize);
  std::memcpy(h + 3, "89a", 3);
  Out->WriteBuffer(h, kHeaderSize);
  if ((Header[10] & 0x80) && !In.Copy(Out, 3 * int64_t(TableCount(Header[10])))) return hdrDamaged;
  return hdrCopied;
}

// Copies the sub-blocks of an extension; one cut short by the end of the data is dropped and
// the extension closed, so that what follows it in the new file stays a block of its own.
void CopyExtensionBlocks(Input& In, TStream* Out) {
  uint8_t block[256];
  for (;;) {
    uint8_t n = 0;
    if (!In.Byte(n) || n == 0) break;
    block[0] = n;
    if (!In.Bytes(block + 1, n)) break;
    Out->WriteBuffer(block, 1 + n);
  }
  Out->WriteBuffer("", 1);
}

// Copies the rest of an image after its ',' (descriptor, local table, code size byte, data
// sub-blocks). False when the data ends before the image does.
bool CopyImage(Input& In, TStream* Out) {
  uint8_t d[1 + kDescriptorSize];
  d[0] = kImage;
  if (!In.Bytes(d + 1, kDescriptorSize)) return false;
  Out->WriteBuffer(d, sizeof d);
  if ((d[9] & 0x80) && !In.Copy(Out, 3 * int64_t(TableCount(d[9])))) return false;
  return In.Copy(Out, 1) && In.CopySubBlocks(Out);
}

// Skips the rest of an image after its ','.
bool SkipImage(Input& In) {
  uint8_t d[kDescriptorSize];
  if (!In.Bytes(d, kDescriptorSize)) return false;
  if (d[8] & 0x80) {
    TStream* s = In.Stream();
    s->SetPosition(s->GetPosition() + 3 * int64_t(TableCount(d[8])));
    if (In.AtEnd()) return false;
  }
  uint8_t codeSize = 0;
  return In.Byte(codeSize) && In.SkipSubBlocks();
}

// Writes the prepared image with its own graphic control extension and local colour table.
void EmitImage(TStream* Out, const IndexedImage& Image, const TIOParamsVals& Params, TGIFLZWCompFunc Encode) {
  WriteGraphicControl(Out, Params, Image.Transparent);
  uint8_t d[1 + kDescriptorSize];
  d[0] = kImage;
  Put16(d + 1, Params.GIF_XPos);
  Put16(d + 3, Params.GIF_YPos);
  Put16(d + 5, Image.Width);
  Put16(d + 7, Image.Height);
  d[9] = static_cast<uint8_t>((Image.Bits - 1) | (Params.GIF_Interlaced ? 0x40 : 0) | 0x80);
  Out->WriteBuffer(d, sizeof d);
  WriteColorTable(Out, Image.Palette);
  Encode(Out, Image.Height, Image.Width, Image.Bits, Image.Pixels.data(), Params.GIF_Interlaced);
}

// The walk of _InsertGifImStream; returns the image count of the result, or -1 on failure.
int InsertBlocks(Input& In, TMemoryStream& Out, const IndexedImage& Image, TIOParamsVals& Params,
                 TProgressRec& Progress, TGIFLZWCompFunc Encode) {
  int target = Params.GIF_ImageIndex;
  bool inserted = false;
  int i = 0;
  // Reports 70 (the image is coded) and emits it; false when asked to stop.
  auto emit = [&] {
    ProgressReport(Progress, 70);
    if (ProgressAborting(Progress)) return false;
    EmitImage(&Out, Image, Params, Encode);
    inserted = true;
    ++i;
    return true;
  };
  for (;;) {
    uint8_t b = kTrailer;
    if (!In.Byte(b)) b = kTrailer;
    if (b == kExtension) {
      uint8_t label = 0;
      if (!In.Byte(label)) {
        b = kTrailer;
      } else {
        // The new image goes before the graphic control extension of the image it displaces.
        if (label == kGraphicControl && !inserted && i == target && !emit()) return -1;
        const uint8_t head[2] = {kExtension, label};
        Out.WriteBuffer(head, 2);
        CopyExtensionBlocks(In, &Out);
        continue;
      }
    }
    if (b == kImage) {
      // An image without a graphic control extension is displaced here.
      if (!inserted && i == target && !emit()) return -1;
      if (!CopyImage(In, &Out)) return -1;
      ++i;
      if (!inserted && i == target && !emit()) return -1;
      continue;
    }
    if (b == kTrailer) {
      // Appended: the index equals the image count, or lies past it.
      if (!inserted && !emit()) return -1;
      Out.WriteBuffer(&kTrailer, 1);
      return i;
    }
    // Anything else between blocks is dropped.
  }
}

}  // namespace

int _InsertGifImStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  ProgressReport(Progress, 0);
  if (ProgressAborting(Progress)) return 0;
  if (Stream == nullptr) return 0;
  try {
    const int64_t start = Stream->GetPosition();
    Input in(Stream);
    TMemoryStream out;
    uint8_t header[kHeaderSize];
    const HeaderResult head = CopyHeader(in, &out, header);
    if (head == hdrNotGif) {
      Stream->SetPosition(start);
      return 0;
    }
    const TGIFLZWCompFunc encode = Encoder(Params);
    IndexedImage image;
    if (head == hdrDamaged || encode == nullptr || !PrepareImage(Bitmap, Params, false, image, Progress)) {
      Stream->SetPosition(start);
      ProgressFail(Progress);
      return 0;
    }
    ProgressReport(Progress, 30);
    const int count = InsertBlocks(in, out, image, Params, Progress, encode);
    if (count < 0 || ProgressAborting(Progress)) {
      Stream->SetPosition(start);
      ProgressFail(Progress);
      return 0;
    }
    Stream->SetPosition(start);
    Stream->WriteBuffer(out.Memory(), out.GetSize());
    Stream->SetSize(start + out.GetSize());
    ProgressReport(Progress, 100);
    return count;
  } catch (const std::exception&) {
    ProgressFail(Progress);
    return 0;
  }
}

int _InsertGifIm(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  TMemoryStream data;
  {
    TFileStream f(FileName, fmOpenReadWrite);
    data.LoadFromStream(&f);
  }
  const int count = _InsertGifImStream(&data, Bitmap, Params, Progress);
  if (count > 0 && !ProgressAborting(Progress)) ReplaceFile(FileName, data);
  return count;
}

int _DeleteGifIm(const std::string& FileName, int Index, bool Save) {
  TMemoryStream out;
  int copied = 0;
  {
    TFileStream f(FileName, fmOpenRead);
    Input in(&f);
    uint8_t header[kHeaderSize];
    if (CopyHeader(in, &out, header) != hdrCopied) return 0;
    int counter = 0;  // every image met, to find Index
    for (;;) {
      uint8_t b = kTrailer;
      if (!in.Byte(b)) b = kTrailer;
      if (b == kExtension) {
        uint8_t label = 0;
        if (!in.Byte(label)) return copied;
        if (label == kGraphicControl && counter == Index) {
          if (!in.SkipSubBlocks()) return copied;
        } else {
          const uint8_t head[2] = {kExtension, label};
          out.WriteBuffer(head, 2);
          if (!in.CopySubBlocks(&out)) return copied;
        }
      } else if (b == kImage) {
        if (counter == Index) {
          if (!SkipImage(in)) return copied;
        } else {
          if (!CopyImage(in, &out)) return copied;
          ++copied;
        }
        ++counter;
      } else if (b == kTrailer) {
        out.WriteBuffer(&kTrailer, 1);
        break;
      }
    }
  }
  if (Save) ReplaceFile(FileName, out);
  return copied;
}

bool _CheckGifAnimate(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  Input in(&f);
  uint8_t h[kHeaderSize];
  if (!in.Bytes(h, kHeaderSize) || std::memcmp(h, "GIF", 3) != 0) return false;
  if (h[10] & 0x80) f.SetPosition(kHeaderSize + 3 * int64_t(TableCount(h[10])));
  uint8_t e[3 + 11];
  return in.Bytes(e, sizeof e) && e[0] == kExtension && e[1] == kApplication && e[2] == 11 &&
         std::memcmp(e + 3, kNetscape, 11) == 0;
}

void _GifMakeAnimate(const std::string& FileName, uint16_t LoopCount, int ScreenWidth, int ScreenHeight) {
  TMemoryStream out;
  {
    TFileStream f(FileName, fmOpenRead);
    Input in(&f);
    uint8_t h[kHeaderSize];
    if (!in.Bytes(h, kHeaderSize) || std::memcmp(h, "GIF", 3) != 0) return;
    std::memcpy(h, "GIF89a", 6);
    Put16(h + 6, ScreenWidth);
    Put16(h + 8, ScreenHeight);
    out.WriteBuffer(h, kHeaderSize);
    if ((h[10] & 0x80) && !in.Copy(&out, 3 * int64_t(TableCount(h[10])))) return;

    // An old looping extension right here is dropped; the new one takes its place.
    const int64_t rest = f.GetPosition();
    uint8_t e[3 + 11];
    if (in.Bytes(e, sizeof e) && e[0] == kExtension && e[1] == kApplication && e[2] == 11 &&
        std::memcmp(e + 3, kNetscape, 11) == 0) {
      in.SkipSubBlocks();
    } else {
      f.SetPosition(rest);
    }
    uint8_t ext[19] = {kExtension, kApplication, 11};
    std::memcpy(ext + 3, kNetscape, 11);
    ext[14] = 3;
    ext[15] = 1;
    Put16(ext + 16, LoopCount);
    ext[18] = 0;
    out.WriteBuffer(ext, sizeof ext);
    in.Copy(&out, f.GetSize() - f.GetPosition());
  }
  ReplaceFile(FileName, out);
}

}  // namespace corvex
