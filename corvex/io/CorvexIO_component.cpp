// The I/O component: loading and saving through the codecs, stream headers, dispatch by
// extension and by content, parameters-only reads, metafile import and multi-image helpers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/io/codecs/BMPFilt.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/PCXFilter.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/io/codecs/cxtgafil.h"
#include "corvex/io/codecs/jpegfilt.h"
#include "corvex/io/codecs/pngfilt.h"
#include "corvex/io/codecs/pngfiltw.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/metafile/metafile.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/streams/safefile.h"
#include "corvex/platform/ui/controls.h"
#include "corvex/view/base/CXView.h"

namespace corvex {

namespace {

constexpr uint8_t kApp13 = 237;

std::string LowerExtension(const std::string& FileName) {
  const size_t dot = FileName.find_last_of('.');
  const size_t slash = FileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = FileName.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool OneOf(const std::string& ext, std::initializer_list<const char*> list) {
  return std::any_of(list.begin(), list.end(), [&](const char* e) { return ext == e; });
}

// The built-in type for a file extension when loading (0: not built in).
int LoadTypeOf(const std::string& ext) {
  if (OneOf(ext, {"jpg", "jpeg", "jpe"})) return ioJPEG;
  if (ext == "png") return ioPNG;
  if (OneOf(ext, {"tif", "tiff"})) return ioTIFF;
  if (ext == "pcx") return ioPCX;
  if (ext == "gif") return ioGIF;
  if (ext == "wmf") return ioWMF;
  if (ext == "emf") return ioEMF;
  if (OneOf(ext, {"bmp", "dib", "rle"})) return ioBMP;
  if (ext == "cur") return ioCUR;
  if (ext == "ico") return ioICO;
  if (OneOf(ext, {"tga", "targa", "vda", "icb", "vst", "win"})) return ioTGA;
  return ioUnknown;
}

// The built-in type for a file extension when saving (0: not built in).
int SaveTypeOf(const std::string& ext) {
  if (OneOf(ext, {"jpg", "jpeg"})) return ioJPEG;
  if (ext == "pcx") return ioPCX;
  if (ext == "gif") return ioGIF;
  if (OneOf(ext, {"tif", "tiff"})) return ioTIFF;
  if (ext == "png") return ioPNG;
  if (ext == "bmp") return ioBMP;
  if (ext == "tga") return ioTGA;
  return ioUnknown;
}

bool BuiltInStreamType(int type) {
  return type == ioTIFF || type == ioGIF || type == ioJPEG || type == ioPCX || type == ioBMP || type == ioICO ||
         type == ioCUR || type == ioPNG || type == ioTGA;
}

// The 12-byte stream header: 4 magic bytes, 4 zero bytes, the length of the data that follows.
struct StreamHeader {
  char magic[4] = {0, 0, 0, 0};
  uint32_t length = 0;
};

bool ReadHeader(TStream* s, StreamHeader& h, int64_t& got) {
  uint8_t b[12] = {};
  got = s->Read(b, 12);
  std::memcpy(h.magic, b, 4);
  h.length = uint32_t(b[8]) | uint32_t(b[9]) << 8 | uint32_t(b[10]) << 16 | uint32_t(b[11]) << 24;
  return got == 12;
}

void WriteHeader(TStream* s, const char* magic, uint32_t length) {
  uint8_t b[12] = {};
  std::memcpy(b, magic, 4);
  b[8] = uint8_t(length);
  b[9] = uint8_t(length >> 8);
  b[10] = uint8_t(length >> 16);
  b[11] = uint8_t(length >> 24);
  s->WriteBuffer(b, 12);
}

void FillBitmap(TBitmap* b, TColor colour) {
  if (b == nullptr || b->GetWidth() <= 0 || b->GetHeight() <= 0) return;
  TCanvas* c = b->GetCanvas();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(colour);
  c->FillRect(Rect(0, 0, b->GetWidth(), b->GetHeight()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, attachment

TCorvexIO::TCorvexIO(TComponent* AOwner)
    : TCXAttachedComponent(AOwner),
      Params_(this),
      PreviewFont_(std::make_unique<TFont>()),
      TWainParams_(MakeTWainParams(this)) {}

TCorvexIO::~TCorvexIO() = default;

void TCorvexIO::SetPreviewFont(const TFont* Value) {
  if (Value != nullptr) PreviewFont_->Assign(Value);
}

void TCorvexIO::Update() { Refresh(true); }

void TCorvexIO::UpdateAfterLoad() {
  if (View_ != nullptr) View_->SetDPI(Params_.DpiX, Params_.DpiY);
  Update();
}

TProgressRec TCorvexIO::StartProgress(bool WithEvent) {
  TProgressRec pr;
  if (WithEvent) pr.OnProgress = OnProgress;
  pr.Sender = this;
  pr.Aborting = &Aborting_;
  return pr;
}

void TCorvexIO::AfterLoad(int FileType, const std::string& FileName) {
  if (FileType == ioJPEG) {
    const int i = Params_.JPEG_MarkerList.IndexOf(kApp13);
    if (i >= 0)
      Params_.IPTC_Info.LoadFromStandardBuffer(Params_.JPEG_MarkerList.GetMarkerData(i),
                                               Params_.JPEG_MarkerList.GetMarkerLength(i));
  }
  Params_.FileName = FileName;
  Params_.FileType = FileType;
  UpdateAfterLoad();
}

// ---------------------------------------------------------------------------------------------
// Loading

void TCorvexIO::LoadStream(TStream* Stream, int FileType, const std::string& FileName) {
  Aborting_ = false;
  if (Bitmap_ == nullptr) return;
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  TProgressRec pr = StartProgress();
  const int64_t start = Stream->GetPosition();
  const int64_t left = Stream->GetSize() - start;
  switch (FileType) {
    case ioBMP: BMPReadStream(Stream, Bitmap_, int(std::min<int64_t>(left, INT32_MAX)), Params_, pr, false); break;
    case ioICO: ICOReadStream(Stream, Bitmap_, Params_, false, pr); break;
    case ioCUR: CURReadStream(Stream, Bitmap_, Params_, false, pr); break;
    case ioPNG: ReadPNGStream(Stream, Bitmap_, Params_, pr, false); break;
    case ioTGA: ReadTGAStream(Stream, Bitmap_, Params_, pr, false); break;
    case ioGIF: {
      int count = 0;
      ReadGifStream(Stream, Bitmap_, count, Params_, pr, false);
      break;
    }
    case ioTIFF: {
      if (StreamHeaders_) {
        StreamHeader h;
        int64_t got = 0;
        if (!ReadHeader(Stream, h, got) || std::memcmp(h.magic, "TIFF", 4) != 0) {
          Aborting_ = true;
          break;
        }
        ReadTIFFStream(Stream, Bitmap_, Params_, pr, false);
        Stream->SetPosition(start + 12 + int64_t(h.length));
      } else {
        ReadTIFFStream(Stream, Bitmap_, Params_, pr, false);
      }
      break;
    }
    case ioPCX: {
      if (StreamHeaders_) {
        StreamHeader h;
        int64_t got = 0;
        ReadHeader(Stream, h, got);
        if (got < 4 || std::memcmp(h.magic, "PCX", 3) != 0) {
          Aborting_ = true;
          break;
        }
        if (h.magic[3] == '2' && got == 12) {
          ReadPcxStream(Stream, Bitmap_, Params_, int64_t(h.length), pr, false);
          Stream->SetPosition(start + 12 + int64_t(h.length));
        } else {  // the older 4-byte form
          Stream->SetPosition(start + 4);
          ReadPcxStream(Stream, Bitmap_, Params_, Stream->GetSize(), pr, false);
        }
      } else {
        ReadPcxStream(Stream, Bitmap_, Params_, left, pr, false);
      }
      break;
    }
    case ioJPEG: {
      // A "JFIF" stream header is skipped, with or without StreamHeaders, and the stream ends
      // up behind the block.
      StreamHeader h;
      int64_t got = 0;
      ReadHeader(Stream, h, got);
      if (got == 12 && std::memcmp(h.magic, "JFIF", 4) == 0) {
        ReadJPegStream(Stream, Bitmap_, Params_, pr, false);
        Stream->SetPosition(start + 12 + int64_t(h.length));
      } else {
        Stream->SetPosition(start);
        ReadJPegStream(Stream, Bitmap_, Params_, pr, false);
      }
      break;
    }
    default:
      Aborting_ = true;
      return;
  }
  AfterLoad(FileType, FileName);
}

void TCorvexIO::LoadFile(const std::string& FileName, int FileType) {
  Aborting_ = false;
  if (Bitmap_ == nullptr) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadStream(&f, FileType, FileName);
}

void TCorvexIO::LoadFromFileBMP(const std::string& FileName) { LoadFile(FileName, ioBMP); }
void TCorvexIO::LoadFromFileCUR(const std::string& FileName) { LoadFile(FileName, ioCUR); }
void TCorvexIO::LoadFromFileGif(const std::string& FileName) { LoadFile(FileName, ioGIF); }
void TCorvexIO::LoadFromFileICO(const std::string& FileName) { LoadFile(FileName, ioICO); }
void TCorvexIO::LoadFromFileJpeg(const std::string& FileName) { LoadFile(FileName, ioJPEG); }
void TCorvexIO::LoadFromFilePCX(const std::string& FileName) { LoadFile(FileName, ioPCX); }
void TCorvexIO::LoadFromFilePNG(const std::string& FileName) { LoadFile(FileName, ioPNG); }
void TCorvexIO::LoadFromFileTGA(const std::string& FileName) { LoadFile(FileName, ioTGA); }
void TCorvexIO::LoadFromFileTIFF(const std::string& FileName) {
  // Stream headers frame streams only: a file holds the bare TIFF.
  const bool headers = StreamHeaders_;
  StreamHeaders_ = false;
  try {
    LoadFile(FileName, ioTIFF);
  } catch (...) {
    StreamHeaders_ = headers;
    throw;
  }
  StreamHeaders_ = headers;
}
void TCorvexIO::LoadFromStreamBMP(TStream* Stream) { LoadStream(Stream, ioBMP, ""); }
void TCorvexIO::LoadFromStreamCUR(TStream* Stream) { LoadStream(Stream, ioCUR, ""); }
void TCorvexIO::LoadFromStreamGif(TStream* Stream) { LoadStream(Stream, ioGIF, ""); }
void TCorvexIO::LoadFromStreamICO(TStream* Stream) { LoadStream(Stream, ioICO, ""); }
void TCorvexIO::LoadFromStreamJpeg(TStream* Stream) { LoadStream(Stream, ioJPEG, ""); }
void TCorvexIO::LoadFromStreamPCX(TStream* Stream) { LoadStream(Stream, ioPCX, ""); }
void TCorvexIO::LoadFromStreamPNG(TStream* Stream) { LoadStream(Stream, ioPNG, ""); }
void TCorvexIO::LoadFromStreamTGA(TStream* Stream) { LoadStream(Stream, ioTGA, ""); }
void TCorvexIO::LoadFromStreamTIFF(TStream* Stream) { LoadStream(Stream, ioTIFF, ""); }

bool TCorvexIO::ReadWithRegistry(TStream* Stream, int FileType, bool Preview) {
  const TCXFileFormatInfo* info = CXFileFormatGetInfo(FileType);
  if (info == nullptr || info->ReadFunction == nullptr) return false;
  TProgressRec pr = StartProgress(!Preview);
  TBitmap scratch;
  info->ReadFunction(Stream, Preview ? &scratch : Bitmap_, Params_, pr, Preview);
  return true;
}

void TCorvexIO::LoadFromFile(const std::string& FileName) {
  Aborting_ = false;
  if (FileName.empty() || Bitmap_ == nullptr) return;
  const std::string ext = LowerExtension(FileName);
  const int type = LoadTypeOf(ext);
  if (type == ioWMF || type == ioEMF) {
    ImportMetafile(FileName, -1, -1);
    return;
  }
  if (type == ioTIFF) {
    LoadFromFileTIFF(FileName);
    return;
  }
  if (type != ioUnknown) {
    LoadFile(FileName, type);
    return;
  }
  // Formats added at run time, by their extension.
  Params_.FileName.clear();
  Params_.FileType = ioUnknown;
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  const TCXFileFormatInfo* info = ext.empty() ? nullptr : CXFileFormatGetInfo2(ext);
  if (info == nullptr || info->ReadFunction == nullptr) {
    Aborting_ = true;
    return;
  }
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  ReadWithRegistry(&f, info->FileType, false);
  Params_.FileName = FileName;
  Params_.FileType = info->FileType;
  UpdateAfterLoad();
}

void TCorvexIO::LoadFromStream(TStream* Stream) {
  Aborting_ = false;
  if (Stream == nullptr || Bitmap_ == nullptr) return;
  LoadFromStreamFormat(Stream, FindStreamFormat(Stream));
}

void TCorvexIO::LoadFromStreamFormat(TStream* Stream, int FileType) {
  Aborting_ = false;
  if (Stream == nullptr || Bitmap_ == nullptr) return;
  if (BuiltInStreamType(FileType)) {
    LoadStream(Stream, FileType, "");
    return;
  }
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  Params_.FileName.clear();
  Params_.FileType = ioUnknown;
  if (!ReadWithRegistry(Stream, FileType, false)) {
    Aborting_ = true;  // metafiles and unknown types cannot be read from a stream
    return;
  }
  Params_.FileType = FileType;
  UpdateAfterLoad();
}

void TCorvexIO::LoadFromFileFormat(const std::string& FileName, int FileType) {
  Aborting_ = false;
  if (FileName.empty() || Bitmap_ == nullptr) return;
  if (FileType == ioWMF || FileType == ioEMF) {
    ImportMetafile(FileName, -1, -1);
    return;
  }
  if (FileType == ioTIFF) {
    LoadFromFileTIFF(FileName);
    return;
  }
  if (BuiltInStreamType(FileType)) {
    LoadFile(FileName, FileType);
    return;
  }
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  Params_.FileName.clear();
  Params_.FileType = ioUnknown;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  if (!ReadWithRegistry(&f, FileType, false)) {
    Aborting_ = true;
    return;
  }
  Params_.FileName = FileName;
  Params_.FileType = FileType;
  UpdateAfterLoad();
}

// ---------------------------------------------------------------------------------------------
// Parameters only

void TCorvexIO::ReadParams(TStream* Stream, int FileType) {
  TProgressRec pr = StartProgress(false);
  TBitmap scratch;  // readers in preview mode leave it alone; the target is never touched
  Params_.FileType = FileType;
  const int64_t left = Stream->GetSize() - Stream->GetPosition();
  switch (FileType) {
    case ioBMP: BMPReadStream(Stream, &scratch, int(std::min<int64_t>(left, INT32_MAX)), Params_, pr, true); break;
    case ioICO: ICOReadStream(Stream, &scratch, Params_, true, pr); break;
    case ioCUR: CURReadStream(Stream, &scratch, Params_, true, pr); break;
    case ioPNG: ReadPNGStream(Stream, &scratch, Params_, pr, true); break;
    case ioTGA: ReadTGAStream(Stream, &scratch, Params_, pr, true); break;
    case ioPCX: ReadPcxStream(Stream, &scratch, Params_, left, pr, true); break;
    case ioTIFF: ReadTIFFStream(Stream, &scratch, Params_, pr, true); break;
    case ioGIF: {
      int count = 0;
      ReadGifStream(Stream, &scratch, count, Params_, pr, true);
      break;
    }
    case ioJPEG: {
      ReadJPegStream(Stream, &scratch, Params_, pr, true);
      const int i = Params_.JPEG_MarkerList.IndexOf(kApp13);
      if (i >= 0)
        Params_.IPTC_Info.LoadFromStandardBuffer(Params_.JPEG_MarkerList.GetMarkerData(i),
                                                 Params_.JPEG_MarkerList.GetMarkerLength(i));
      break;
    }
    default:
      if (!ReadWithRegistry(Stream, FileType, true)) {
        Params_.FileType = ioUnknown;
        Aborting_ = true;
      }
      break;
  }
}

void TCorvexIO::ParamsFromStream(TStream* Stream) {
  Aborting_ = false;
  if (Stream == nullptr) return;
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  try {
    ReadParams(Stream, FindStreamFormat(Stream));
  } catch (...) {
    Params_.FileType = ioUnknown;  // errors are not passed on
    Aborting_ = true;
  }
}

void TCorvexIO::ParamsFromFile(const std::string& FileName) {
  Aborting_ = false;
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  try {
    const int type = FindFileFormat(FileName, true);
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    ReadParams(&f, type);
  } catch (...) {
    Params_.FileType = ioUnknown;  // errors, a missing file included, are not passed on
    Aborting_ = true;
  }
  Params_.FileName = FileName;
}

// ---------------------------------------------------------------------------------------------
// Saving

bool TCorvexIO::PrepareSave() {
  Aborting_ = false;
  if (Bitmap_ == nullptr) return false;
  if (Bitmap_->GetPixelFormat() != pf24bit && Bitmap_->GetPixelFormat() != pf1bit) Bitmap_->SetPixelFormat(pf24bit);
  return true;
}

void TCorvexIO::SaveStream(TStream* Stream, int FileType) {
  TProgressRec pr = StartProgress();
  switch (FileType) {
    case ioBMP: BMPWriteStream(Stream, Bitmap_, Params_, pr); break;
    case ioGIF: WriteGifStream(Stream, Bitmap_, Params_, pr); break;
    case ioPNG: WritePNGStream(Stream, Bitmap_, Params_, pr); break;
    case ioTGA: WriteTGAStream(Stream, Bitmap_, Params_, pr); break;
    case ioJPEG:
    case ioPCX:
    case ioTIFF: {
      if (FileType == ioJPEG && Params_.IPTC_Info.UserChanged) {
        std::vector<uint8_t> buf;
        Params_.IPTC_Info.SaveToStandardBuffer(buf);
        const uint16_t n = static_cast<uint16_t>(std::min<size_t>(buf.size(), 65533));
        const int i = Params_.JPEG_MarkerList.IndexOf(kApp13);
        if (i >= 0) Params_.JPEG_MarkerList.SetMarker(i, kApp13, buf.data(), n);
        else Params_.JPEG_MarkerList.AddMarker(kApp13, buf.data(), n);
      }
      const char* magic = FileType == ioJPEG ? "JFIF" : FileType == ioPCX ? "PCX2" : "TIFF";
      const int64_t start = Stream->GetPosition();
      if (StreamHeaders_) WriteHeader(Stream, magic, 0);
      if (FileType == ioJPEG) WriteJPegStream(Stream, Bitmap_, Params_, pr);
      else if (FileType == ioPCX) WritePcxStream(Stream, Bitmap_, Params_, pr);
      else TIFFWriteStream(Stream, false, Bitmap_, Params_, pr);
      if (StreamHeaders_ && !(FileType == ioPCX && Aborting_)) {
        const int64_t end = Stream->GetPosition();
        Stream->SetPosition(start);
        WriteHeader(Stream, magic, uint32_t(end - start - 12));
        Stream->SetPosition(end);
      }
      break;
    }
    default: {
      const TCXFileFormatInfo* info = CXFileFormatGetInfo(FileType);
      if (info == nullptr || info->WriteFunction == nullptr) {
        Aborting_ = true;
        return;
      }
      info->WriteFunction(Stream, Bitmap_, Params_, pr);
      break;
    }
  }
}

void TCorvexIO::SaveFile(const std::string& FileName, int FileType) {
  if (!PrepareSave()) return;
  // Stream headers frame streams only: a file holds the bare image.
  const bool headers = StreamHeaders_;
  StreamHeaders_ = false;
  try {
    TSafeFile file(FileName);
    SaveStream(file.Stream(), FileType);
    if (!Aborting_) file.Commit();
  } catch (...) {
    StreamHeaders_ = headers;
    throw;
  }
  StreamHeaders_ = headers;
}

void TCorvexIO::SaveToFileBMP(const std::string& FileName) { SaveFile(FileName, ioBMP); }
void TCorvexIO::SaveToFileGif(const std::string& FileName) { SaveFile(FileName, ioGIF); }
void TCorvexIO::SaveToFileJpeg(const std::string& FileName) { SaveFile(FileName, ioJPEG); }
void TCorvexIO::SaveToFilePCX(const std::string& FileName) { SaveFile(FileName, ioPCX); }
void TCorvexIO::SaveToFilePNG(const std::string& FileName) { SaveFile(FileName, ioPNG); }
void TCorvexIO::SaveToFileTGA(const std::string& FileName) { SaveFile(FileName, ioTGA); }
void TCorvexIO::SaveToFileTIFF(const std::string& FileName) { SaveFile(FileName, ioTIFF); }

void TCorvexIO::SaveToStreamBMP(TStream* Stream) { SaveToStream(Stream, ioBMP); }
void TCorvexIO::SaveToStreamGif(TStream* Stream) { SaveToStream(Stream, ioGIF); }
void TCorvexIO::SaveToStreamJpeg(TStream* Stream) { SaveToStream(Stream, ioJPEG); }
void TCorvexIO::SaveToStreamPCX(TStream* Stream) { SaveToStream(Stream, ioPCX); }
void TCorvexIO::SaveToStreamPNG(TStream* Stream) { SaveToStream(Stream, ioPNG); }
void TCorvexIO::SaveToStreamTGA(TStream* Stream) { SaveToStream(Stream, ioTGA); }
void TCorvexIO::SaveToStreamTIFF(TStream* Stream) { SaveToStream(Stream, ioTIFF); }

void TCorvexIO::SaveToStream(TStream* Stream, int FileType) {
  if (Stream == nullptr || !PrepareSave()) return;
  SaveStream(Stream, FileType);
}

void TCorvexIO::SaveToFile(const std::string& FileName) {
  Aborting_ = false;
  if (FileName.empty()) return;
  const std::string ext = LowerExtension(FileName);
  int type = SaveTypeOf(ext);
  if (type == ioUnknown) {
    const TCXFileFormatInfo* info = ext.empty() ? nullptr : CXFileFormatGetInfo2(ext);
    if (info == nullptr || info->WriteFunction == nullptr) {
      Aborting_ = true;
      return;
    }
    type = info->FileType;
  }
  SaveFile(FileName, type);
}

// ---------------------------------------------------------------------------------------------
// Metafiles

void TCorvexIO::ImportMetafile(const std::string& FileName, int Width, int Height) {
  Aborting_ = false;
  if (Width == 0 || Height == 0 || Bitmap_ == nullptr) return;
  Params_.IPTC_Info.Clear();
  Params_.JPEG_MarkerList.Clear();
  TMetafile meta;
  try {
    meta.LoadFromFile(FileName);
  } catch (const EInvalidGraphic&) {
    Aborting_ = true;  // not a metafile; open errors of the file pass on
    return;
  }
  const int mw = meta.GetWidth(), mh = meta.GetHeight();
  int w, h;
  if (Width >= 0 && Height >= 0) {
    w = Width;
    h = Height;
  } else if (Width < 0 && Height >= 0) {
    h = Height;
    w = mh > 0 ? int(int64_t(Height) * mw / mh) : 0;
  } else if (Height < 0 && Width >= 0) {
    w = Width;
    h = mw > 0 ? int(int64_t(Width) * mh / mw) : 0;
  } else {
    w = mw;
    h = mh;
  }
  if (w <= 0 || h <= 0) {
    Aborting_ = true;
    return;
  }
  if (w > 2800 || h > 2800) {
    if (w >= h) {
      h = int(int64_t(h) * 2800 / w);
      w = 2800;
    } else {
      w = int(int64_t(w) * 2800 / h);
      h = 2800;
    }
  }
  Bitmap_->Allocate(1, 1, pf24bit);
  Bitmap_->Allocate(std::max(w - 1, 1), std::max(h - 1, 1), pf24bit);
  Params_.FileName = FileName;
  Params_.FileType = meta.GetEnhanced() ? ioEMF : ioWMF;
  Params_.BitsPerSample = 8;
  Params_.SamplesPerPixel = 3;
  Params_.Width = Bitmap_->GetWidth();
  Params_.Height = Bitmap_->GetHeight();
  Params_.DpiX = gSystemDPIX;
  Params_.DpiY = gSystemDPIY;
  Params_.ColorMap.clear();
  Clear();
  meta.Play(Bitmap_->GetCanvas(), Rect(0, 0, w, h));
  UpdateAfterLoad();
}

// ---------------------------------------------------------------------------------------------
// Multi-image files

int TCorvexIO::InsertToFileGif(const std::string& FileName) {
  if (!PrepareSave()) return 0;
  Params_.GIF_WinWidth = std::max(Params_.GIF_WinWidth, Bitmap_->GetWidth() + Params_.GIF_XPos);
  Params_.GIF_WinHeight = std::max(Params_.GIF_WinHeight, Bitmap_->GetHeight() + Params_.GIF_YPos);
  TProgressRec pr = StartProgress();
  const int result = _InsertGifIm(FileName, Bitmap_, Params_, pr);
  if (!Aborting_) _GifMakeAnimate(FileName, 0, Params_.GIF_WinWidth, Params_.GIF_WinHeight);
  return result;
}

int TCorvexIO::InsertToFileTIFF(const std::string& FileName) {
  if (!PrepareSave()) return 0;
  TFileStream f(FileName, fmOpenReadWrite);
  TProgressRec pr = StartProgress();
  const int result = TIFFWriteStream(&f, true, Bitmap_, Params_, pr);
  f.Flush();
  return result;
}

int DeleteGifIm(const std::string& FileName, int Index) { return _DeleteGifIm(FileName, Index, true); }

int DeleteTIFFIm(const std::string& FileName, int Index) {
  TFileStream f(FileName, fmOpenReadWrite);
  const int n = _DeleteTIFFImStream(&f, Index);
  f.Flush();
  return n;
}

int EnumGifIm(const std::string& FileName) {
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    TIOParamsVals p;
    TBitmap scratch;
    int count = 0;
    ReadGifStream(&f, &scratch, count, p, pr, true);
    return count;
  } catch (...) {
    return 0;
  }
}

int EnumTIFFIm(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return _EnumTIFFImStream(&f);
}

bool CheckAniGif(const std::string& FileName) {
  try {
    return _CheckGifAnimate(FileName);
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------------------------------------
// Others

void TCorvexIO::AssignParams(const TObject* Source) {
  if (const auto* io = dynamic_cast<const TCorvexIO*>(Source)) Params_.Assign(&io->Params_);
  else if (const auto* p = dynamic_cast<const TIOParamsVals*>(Source)) Params_.Assign(p);
}

void TCorvexIO::Clear() { FillBitmap(Bitmap_, GetBackground()); }

// ---------------------------------------------------------------------------------------------
// The format-parameters dialog and acquisition

namespace {
TIOPreviewsMaker gIOPreviewsMaker = nullptr;
}

void SetIOPreviewsMaker(TIOPreviewsMaker Maker) { gIOPreviewsMaker = Maker; }
TIOPreviewsMaker GetIOPreviewsMaker() { return gIOPreviewsMaker; }

bool TCorvexIO::DoPreviews(TPreviewPages Pages) {
  if (Bitmap_ == nullptr) return false;
  if (Bitmap_->GetPixelFormat() != pf24bit && Bitmap_->GetPixelFormat() != pf1bit) Bitmap_->SetPixelFormat(pf24bit);
  bool ok = false;
  if (gIOPreviewsMaker != nullptr) {
    std::unique_ptr<TForm> form(gIOPreviewsMaker(*this, Params_, Pages));
    if (form) {
      if (OnIOPreview) OnIOPreview(this, form.get());
      ok = form->ShowModal() == mrOk;
    }
  }
  Update();
  return ok;
}

bool TCorvexIO::Acquire() {
  Aborting_ = false;
  if (Bitmap_ == nullptr) {
    Aborting_ = true;
    return false;
  }
  TProgressRec pr = StartProgress();
  const TAcquireHooks& h = GetAcquireHooks();
  const bool ok = h.Acquire != nullptr && TWainParams_ && h.Acquire(TWainParams_.get(), Bitmap_, &Params_, pr);
  if (!ok) {
    Aborting_ = true;
    Update();
    return false;
  }
  Params_.FileName.clear();
  UpdateAfterLoad();
  return true;
}

bool TCorvexIO::SelectAcquireSource() {
  const TAcquireHooks& h = GetAcquireHooks();
  return h.Select != nullptr && TWainParams_ && h.Select(TWainParams_.get());
}

namespace {
TAcquireHooks gAcquireHooks;
}

void SetAcquireHooks(const TAcquireHooks& Hooks) { gAcquireHooks = Hooks; }
const TAcquireHooks& GetAcquireHooks() { return gAcquireHooks; }

void TTWainParamsDeleter::operator()(TCXTWainParams* p) const {
  if (p != nullptr && gAcquireHooks.Destroy != nullptr) gAcquireHooks.Destroy(p);
}

TTWainParamsPtr MakeTWainParams(TComponent* Owner) {
  return TTWainParamsPtr(gAcquireHooks.Create != nullptr ? gAcquireHooks.Create(Owner) : nullptr);
}

}  // namespace corvex
