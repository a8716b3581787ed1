#include "corvex/view/CXMIO.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "corvex/core/utils.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/TIFFilt.h"
#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/streams/safefile.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMView.h"

namespace corvex {

namespace {

std::string LowerExt(const std::string& FileName) {
  const size_t dot = FileName.find_last_of('.');
  const size_t slash = FileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = FileName.substr(dot);
  for (char& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// Bits and samples per pixel of a frame's bit count.
void DepthOf(int BitCount, TIOParamsVals& p) {
  switch (BitCount) {
    case 1: p.BitsPerSample = 1, p.SamplesPerPixel = 1; break;
    case 4: p.BitsPerSample = 4, p.SamplesPerPixel = 1; break;
    case 8: p.BitsPerSample = 8, p.SamplesPerPixel = 1; break;
    case 15: p.BitsPerSample = 5, p.SamplesPerPixel = 3; break;
    default: p.BitsPerSample = 8, p.SamplesPerPixel = 3; break;
  }
}

// The delay a frame gets when the video states no usable rate: 25 frames per second.
constexpr int kDefaultAVIDelay = 40;

}  // namespace

TCorvexMIO::TCorvexMIO(TComponent* AOwner)
    : TComponent(AOwner), PreviewFont_(std::make_unique<TFont>()), TWainParams_(MakeTWainParams(this)) {}

TCorvexMIO::~TCorvexMIO() { SetAttachedMView(nullptr); }

void TCorvexMIO::SetPreviewFont(const TFont* Value) {
  if (Value != nullptr) PreviewFont_->Assign(Value);
}

// ---------------------------------------------------------------------------------------------
// The view and the records

void TCorvexMIO::SetAttachedMView(TCorvexMView* Value) {
  if (View_ == Value) return;
  if (View_ != nullptr) {
    View_->RemoveBitmapChangeEvent(TCXBitmapChangeEvent(this, &TCorvexMIO::ViewChanged));
    View_->RemoveFreeNotification(this);
  }
  View_ = Value;
  if (View_ != nullptr) {
    View_->RegisterBitmapChangeEvent(TCXBitmapChangeEvent(this, &TCorvexMIO::ViewChanged));
    View_->FreeNotification(this);
    // One record per image the view already has.
    while (GetParamsCount() < View_->GetImageCount()) InsertIOParam(GetParamsCount());
    while (GetParamsCount() > View_->GetImageCount()) RemoveIOParam(GetParamsCount() - 1);
  }
}

void TCorvexMIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == View_) View_ = nullptr;
}

void TCorvexMIO::ViewChanged(TObject*, bool Destroying) {
  if (View_ == nullptr) return;
  if (Destroying) {
    View_ = nullptr;
    return;
  }
  const int idx = View_->GetLastOpIdx(), to = View_->GetLastOpIdx2();
  switch (View_->GetLastOp()) {
    case cxopInsert: InsertIOParam(idx); break;
    case cxopDelete: RemoveIOParam(idx); break;
    case cxopMove:
      if (idx >= 0 && idx < GetParamsCount()) {
        auto rec = std::move(Params_[size_t(idx)]);
        Params_.erase(Params_.begin() + idx);
        const int dest = std::clamp(to, 0, GetParamsCount());
        Params_.insert(Params_.begin() + dest, std::move(rec));
        Renumber();
      }
      break;
    default: break;
  }
}

TIOParamsVals* TCorvexMIO::GetParams(int Index) const {
  return Index >= 0 && Index < GetParamsCount() ? Params_[size_t(Index)].get() : nullptr;
}

void TCorvexMIO::InsertIOParam(int Index) {
  Index = std::clamp(Index, 0, GetParamsCount());
  auto rec = std::make_unique<TIOParamsVals>();
  if (!Params_.empty()) {
    // A copy of the record now at that place, or of the last one when appending.
    const TIOParamsVals* from = Params_[size_t(std::min(Index, GetParamsCount() - 1))].get();
    rec->Assign(from);
  }
  Params_.insert(Params_.begin() + Index, std::move(rec));
  Renumber();
}

void TCorvexMIO::RemoveIOParam(int Index) {
  if (Index < 0 || Index >= GetParamsCount()) return;
  Params_.erase(Params_.begin() + Index);
  Renumber();
}

void TCorvexMIO::Renumber() {
  for (int i = 0; i < GetParamsCount(); ++i) {
    Params_[size_t(i)]->GIF_ImageIndex = i;
    Params_[size_t(i)]->TIFF_ImageIndex = i;
  }
}

void TCorvexMIO::Update() {
  if (View_ == nullptr) return;
  View_->Update();
  View_->ImageChange();
}

TProgressRec TCorvexMIO::Progress(double) {
  TProgressRec pr;
  pr.Sender = this;
  pr.Aborting = &Aborting_;
  return pr;
}

void TCorvexMIO::Report(int i, int Count) {
  if (OnProgress && Count > 0) OnProgress(this, Trunc(double(i) * 100.0 / Count));
}

int TCorvexMIO::InsertPosition() const { return std::max(0, View_->GetSelectedItem()); }

// ---------------------------------------------------------------------------------------------
// GIF and TIFF

void TCorvexMIO::LoadMulti(TStream* Stream, bool Gif) {
  Aborting_ = false;
  if (View_ == nullptr || Stream == nullptr) return;
  const int64_t start = Stream->GetPosition();
  int p = InsertPosition();
  int lastDelay = 10;  // the delay a GIF frame without one takes, before any frame had one
  int count = 0;
  for (int i = 0;; ++i) {
    View_->InsertImageNU(p);  // the view reports it: the record at p is new
    TIOParamsVals* rec = GetParams(p);
    if (rec == nullptr) {
      Aborting_ = true;
      break;
    }
    Stream->SetPosition(start);
    TBitmap bmp;
    TProgressRec pr = Progress();
    try {
      if (Gif) {
        rec->GIF_ImageIndex = i;
        ReadGifStream(Stream, &bmp, count, *rec, pr, false);
      } else {
        rec->TIFF_ImageIndex = i;
        TIFFReadStream(&bmp, Stream, count, rec, pr, false);
      }
    } catch (const std::exception&) {
      Aborting_ = true;
    }
    rec->GIF_ImageIndex = p;
    rec->TIFF_ImageIndex = p;
    rec->FileType = Gif ? ioGIF : ioTIFF;
    rec->FileName.clear();
    if (Aborting_ || count <= 0 || bmp.GetEmpty()) {
      View_->DeleteImageNU(p);
      if (count <= 0 && !Aborting_) Aborting_ = true;  // not a GIF / TIFF, or no image in it
      break;
    }
    View_->SetImageNU(p, &bmp);
    if (Gif) {
      View_->SetImageBackground(p, TRGB2TColor(rec->GIF_Background));
      if (rec->GIF_DelayTime > 0) lastDelay = rec->GIF_DelayTime * 10;
      View_->SetImageDelayTime(p, lastDelay);
    } else {
      View_->SetImageDelayTime(p, 100);
    }
    Report(i, count);
    if (Aborting_) break;
    ++p;
    if (i + 1 >= count) break;
  }
  Update();
}

void TCorvexMIO::SaveMulti(TStream* Stream, bool Gif) {
  Aborting_ = false;
  if (View_ == nullptr || Stream == nullptr || View_->GetImageCount() == 0) return;
  const int64_t start = Stream->GetPosition();
  const int n = View_->GetImageCount();
  for (int i = 0; i < n && !Aborting_; ++i) {
    Stream->SetPosition(start);
    TBitmap* bmp = View_->GetBitmap(i);
    TIOParamsVals* rec = GetParams(i);
    if (bmp == nullptr || rec == nullptr) {
      if (bmp != nullptr) View_->ReleaseBitmap(i);
      Aborting_ = true;  // an image that cannot be had: the file would lose it
      break;
    }
    TProgressRec pr = Progress();
    try {
      if (Gif) {
        if (i == 0) {
          WriteGifStream(Stream, bmp, *rec, pr);
        } else {
          rec->GIF_ImageIndex = i;
          if (_InsertGifImStream(Stream, bmp, *rec, pr) <= 0) Aborting_ = true;
        }
      } else {
        rec->TIFF_ImageIndex = i;
        if (TIFFWriteStream(Stream, i > 0, bmp, *rec, pr) <= 0) Aborting_ = true;
      }
    } catch (const std::exception&) {
      Aborting_ = true;
    }
    View_->ReleaseBitmap(i);
    Report(i, n);
  }
}

void TCorvexMIO::SaveFileMulti(const std::string& FileName, bool Gif) {
  Aborting_ = false;
  if (View_ == nullptr || View_->GetImageCount() == 0) return;
  TSafeFile file(FileName);
  SaveMulti(file.Stream(), Gif);
  if (!Aborting_) file.Commit();
}

void TCorvexMIO::LoadFromStreamGif(TStream* Stream) { LoadMulti(Stream, true); }
void TCorvexMIO::LoadFromStreamTIFF(TStream* Stream) { LoadMulti(Stream, false); }
void TCorvexMIO::SaveToStreamGif(TStream* Stream) { SaveMulti(Stream, true); }
void TCorvexMIO::SaveToStreamTIFF(TStream* Stream) { SaveMulti(Stream, false); }
void TCorvexMIO::SaveToFileGif(const std::string& FileName) { SaveFileMulti(FileName, true); }
void TCorvexMIO::SaveToFileTIFF(const std::string& FileName) { SaveFileMulti(FileName, false); }

void TCorvexMIO::LoadFromFileGif(const std::string& FileName) {
  Aborting_ = false;
  if (View_ == nullptr) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadMulti(&f, true);
}

void TCorvexMIO::LoadFromFileTIFF(const std::string& FileName) {
  Aborting_ = false;
  if (View_ == nullptr) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadMulti(&f, false);
}

// ---------------------------------------------------------------------------------------------
// AVI

void TCorvexMIO::LoadFromFileAVI(const std::string& FileName) {
  Aborting_ = false;
  if (View_ == nullptr) return;
  AVIFileInit();
  TAVIReader avi;
  if (!avi.Open(FileName)) {
    Aborting_ = true;
    return;
  }
  const TAVIStreamInfo& info = avi.GetInfo();
  // Zero or absurd rates give no delay of their own.
  const int delay = AVIRateKnown(info) ? std::max(1, Trunc(1000.0 * info.Scale / info.Rate)) : kDefaultAVIDelay;
  int p = InsertPosition();
  for (int i = 0; i < info.Length; ++i) {
    const TBitmapInfoHeader* frame = avi.GetFrame(i);
    if (frame == nullptr) {
      if (i > 0 && i >= info.Length - 1) break;  // a stated length one past the frames there are
      Aborting_ = true;
      break;
    }
    TBitmap bmp;
    const int bits = _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(frame), &bmp, nullptr, true, avi.GetFrameSize());
    if (bits == 0) {
      Aborting_ = true;
      break;
    }
    View_->InsertImageNU(p);
    View_->SetImageNU(p, &bmp);
    View_->SetImageDelayTime(p, delay);
    TIOParamsVals* rec = GetParams(p);
    if (rec == nullptr) {
      Aborting_ = true;
      break;
    }
    rec->GIF_DelayTime = delay / 10;  // in hundredths, as GIF writes it (the view has the milliseconds)
    DepthOf(bits, *rec);
    rec->GIF_ImageIndex = rec->TIFF_ImageIndex = p;
    rec->DpiX = gSystemDPIX;
    rec->DpiY = gSystemDPIY;
    rec->Width = bmp.GetWidth();
    rec->Height = bmp.GetHeight();
    rec->FileName = FileName;
    rec->FileType = ioUnknown;
    rec->ColorMap.clear();
    Report(i, info.Length);
    ++p;
    if (Aborting_) break;
  }
  Update();
}

void TCorvexMIO::SaveToFileAVI(const std::string& FileName) {
  Aborting_ = false;
  if (View_ == nullptr || View_->GetImageCount() == 0) return;
  AVIFileInit();
  TAVIWriter avi;
  if (!avi.Create(FileName)) throw EInvalidGraphic("unable to create AVI file");
  const int n = View_->GetImageCount();
  const int d = std::max(View_->GetImageDelayTime(0), 1);
  // Frames per second 1000 / d, kept as a fraction so that no delay gives a zero rate.
  if (!avi.CreateStream(1000, uint32_t(d))) {
    Aborting_ = true;
    return;
  }
  const int w = View_->GetImageWidth(0), h = View_->GetImageHeight(0);
  int lastGood = 0;  // the last image of the first image's size
  for (int i = 0; i < n && !Aborting_; ++i) {
    int src = i;
    if (View_->GetImageWidth(i) != w || View_->GetImageHeight(i) != h) src = lastGood;
    else lastGood = i;
    TBitmap* bmp = View_->GetBitmap(src);
    HGLOBAL dib = bmp != nullptr ? _CopyBitmaptoDIB(bmp, 0, 0, bmp->GetWidth(), bmp->GetHeight()) : 0;
    View_->ReleaseBitmap(src);
    if (dib == 0) {
      Aborting_ = true;
      break;
    }
    const auto* hdr = static_cast<const TBitmapInfoHeader*>(GlobalLock(dib));
    bool ok = true;
    if (i == 0) {
      TAVISaveOptions options = AVIOptions_;
      if (!AVISaveOptions(options)) {
        ok = false;  // the user cancelled: the save ends, nothing replaced
      } else {
        ok = avi.SetCompression(options) && avi.SetFormat(*hdr);
      }
    }
    if (ok) ok = avi.WriteFrame(hdr, GlobalSize(dib));
    GlobalUnlock(dib);
    GlobalFree(dib);
    if (!ok) Aborting_ = true;
    Report(i, n);
  }
  if (Aborting_ || !avi.Close()) {
    avi.Abort();
    Aborting_ = true;
  }
}

// ---------------------------------------------------------------------------------------------
// By extension, acquisition, the parameters dialog

void TCorvexMIO::LoadFromFile(const std::string& FileName) {
  const std::string e = LowerExt(FileName);
  if (e == ".gif") LoadFromFileGif(FileName);
  else if (e == ".tif" || e == ".tiff") LoadFromFileTIFF(FileName);
  else if (e == ".avi") LoadFromFileAVI(FileName);
}

void TCorvexMIO::SaveToFile(const std::string& FileName) {
  const std::string e = LowerExt(FileName);
  if (e == ".gif") SaveToFileGif(FileName);
  else if (e == ".tif" || e == ".tiff") SaveToFileTIFF(FileName);
  else if (e == ".avi") SaveToFileAVI(FileName);
}

bool TCorvexMIO::SelectAcquireSource() {
  const TAcquireHooks& h = GetAcquireHooks();
  return h.Select != nullptr && TWainParams_ && h.Select(TWainParams_.get());
}

bool TCorvexMIO::Acquire() {
  Aborting_ = false;
  if (View_ == nullptr) {
    Aborting_ = true;
    return false;
  }
  AcquirePos_ = InsertPosition();
  TProgressRec pr = Progress();
  pr.OnProgress = OnProgress;
  const TAcquireHooks& h = GetAcquireHooks();
  const bool ok = h.AcquirePages != nullptr && TWainParams_ &&
                  h.AcquirePages(TWainParams_.get(), TAcquirePageEvent(this, &TCorvexMIO::TWMultiCallBack), pr);
  if (!ok) Aborting_ = true;
  View_->SetFocus();
  Update();
  return ok;
}

void TCorvexMIO::TWMultiCallBack(TBitmap* Bitmap, TIOParamsVals*& Params) {
  const int i = View_->InsertImage(AcquirePos_);
  Params = GetParams(i);
  View_->SetImage(i, Bitmap);
  View_->SetImageDelayTime(i, 100);
  AcquirePos_ = i + 1;
}

bool TCorvexMIO::DoPreviews(int Index, TPreviewPages Pages) {
  if (View_ == nullptr || GetParams(Index) == nullptr) return false;
  TBitmap* bmp = View_->GetBitmap(Index);
  if (bmp == nullptr) return false;
  bool ok = false;
  {
    TCorvexIO io;
    io.SetAttachedBitmap(bmp);
    io.GetParams().Assign(GetParams(Index));
    io.SetMsgLanguage(MsgLanguage_);
    io.SetPreviewsParams(PreviewsParams_);
    io.SetPreviewFont(PreviewFont_.get());
    ok = io.DoPreviews(Pages);
    if (ok) GetParams(Index)->Assign(&io.GetParams());
  }
  View_->ReleaseBitmap(Index);
  return ok;
}

}  // namespace corvex
