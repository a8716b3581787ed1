#include "corvex/view/Corvex.h"

#include "corvex/platform/graphics/font.h"

namespace corvex {

namespace {
TCorvexFileDialogRunner gFileDialogRunner = nullptr;
}

void SetCorvexFileDialogRunner(TCorvexFileDialogRunner Runner) { gFileDialogRunner = Runner; }

TCorvex::TCorvex(TComponent* AOwner) : TCorvexView(AOwner) {
  Proc_ = new TCorvexProc(this);
  Proc_->SetAttachedCorvex(this);
  Proc_->SetAutoUndo(true);
  IO_ = new TCorvexIO(this);
  IO_->SetAttachedCorvex(this);
}

TCorvex::~TCorvex() {
  delete Proc_;
  Proc_ = nullptr;
  delete IO_;
  IO_ = nullptr;
}

bool TCorvex::GetAutoUndo() const { return Proc_->GetAutoUndo(); }
void TCorvex::SetAutoUndo(bool Value) { Proc_->SetAutoUndo(Value); }
TCXProgressEvent TCorvex::GetOnProgress() const { return Proc_->OnProgress; }
void TCorvex::SetOnProgress(const TCXProgressEvent& Value) {
  Proc_->OnProgress = Value;
  IO_->OnProgress = Value;
}
TMsgLanguage TCorvex::GetMsgLanguage() const { return Proc_->GetMsgLanguage(); }
void TCorvex::SetMsgLanguage(TMsgLanguage Value) {
  Proc_->SetMsgLanguage(Value);
  IO_->SetMsgLanguage(Value);
}
TPRPreviewsParams TCorvex::GetProcPreviewsParams() const { return Proc_->GetPRPreviewParams(); }
void TCorvex::SetProcPreviewsParams(TPRPreviewsParams Value) { Proc_->SetPRPreviewParams(Value); }
TIOPreviewsParams TCorvex::GetIOPreviewsParams() const { return IO_->GetPreviewsParams(); }
void TCorvex::SetIOPreviewsParams(TIOPreviewsParams Value) { IO_->SetPreviewsParams(Value); }
TFont* TCorvex::GetPreviewFont() const { return IO_->GetPreviewFont(); }
void TCorvex::SetPreviewFont(const TFont* Value) {
  Proc_->SetPreviewFont(Value);
  IO_->SetPreviewFont(Value);
}
bool TCorvex::GetStreamHeaders() const { return IO_->GetStreamHeaders(); }
void TCorvex::SetStreamHeaders(bool Value) { IO_->SetStreamHeaders(Value); }
TCXPreviewEvent TCorvex::GetOnPreview() const { return Proc_->OnPreview; }
void TCorvex::SetOnPreview(const TCXPreviewEvent& Value) { Proc_->OnPreview = Value; }
TCXIOPreviewEvent TCorvex::GetOnIOPreview() const { return IO_->OnIOPreview; }
void TCorvex::SetOnIOPreview(const TCXIOPreviewEvent& Value) { IO_->OnIOPreview = Value; }
TIOParamsVals& TCorvex::GetIOParams() const { return IO_->GetParams(); }
bool TCorvex::GetCanUndo() const { return Proc_->GetCanUndo(); }
bool TCorvex::GetAborting() const { return IO_->GetAborting(); }
void TCorvex::SetAborting(bool Value) { IO_->SetAborting(Value); }

void TCorvex::LoadFromFile(const std::string& FileName) { IO_->LoadFromFile(FileName); }
void TCorvex::SaveToFile(const std::string& FileName) { IO_->SaveToFile(FileName); }
void TCorvex::ParamsFromFile(const std::string& FileName) { IO_->ParamsFromFile(FileName); }
void TCorvex::ParamsFromStream(TStream* Stream) { IO_->ParamsFromStream(Stream); }

void TCorvex::AssignIOParams(const TObject* Source) {
  if (const auto* v = dynamic_cast<const TCorvex*>(Source)) IO_->AssignParams(&v->GetIOParams());
  else IO_->AssignParams(Source);  // a TCorvexIO or a TIOParamsVals; anything else is ignored
}

void TCorvex::Assign(const TPersistent* Source) {
  if (Source == this) return;
  AssignIOParams(Source);
  TCorvexView::Assign(Source);
}

void TCorvex::PointPasteFromClip(int x, int y) { Proc_->PointPasteFromClip(x, y); }

std::string TCorvex::ExecuteOpenDialog(const std::string& InitialDir, const std::string& FileName, bool AlwaysAnimate) {
  return gFileDialogRunner != nullptr ? gFileDialogRunner(*this, false, InitialDir, FileName, AlwaysAnimate) : std::string();
}

std::string TCorvex::ExecuteSaveDialog(const std::string& InitialDir, const std::string& FileName, bool AlwaysAnimate) {
  return gFileDialogRunner != nullptr ? gFileDialogRunner(*this, true, InitialDir, FileName, AlwaysAnimate) : std::string();
}

void TCorvex::SaveUndo() { Proc_->SaveUndo(); }
void TCorvex::ClearUndo() { Proc_->ClearUndo(); }
void TCorvex::Undo() { Proc_->Undo(); }
void TCorvex::Negative() { Proc_->Negative(); }
void TCorvex::HSLvar(int Hue, int Sat, int Lum) { Proc_->HSLvar(Hue, Sat, Lum); }
void TCorvex::HSVvar(int Hue, int Sat, int Val) { Proc_->HSVvar(Hue, Sat, Val); }
void TCorvex::IntensityRGBall(int R, int G, int B) { Proc_->IntensityRGBall(R, G, B); }
void TCorvex::Contrast(int Amount) { Proc_->Contrast(Amount); }
void TCorvex::ApplyFilter(const TGraphFilter& Filter) { Proc_->ApplyFilter(Filter); }
void TCorvex::ApplyFilterPreset(TCXFilterPresets Preset) { Proc_->ApplyFilterPreset(Preset); }
void TCorvex::ConvertToGray() { Proc_->ConvertToGray(); }
void TCorvex::CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor) { Proc_->CastColorRange(BeginColor, EndColor, CastColor); }
void TCorvex::Rotate(int Angle, bool AntiAlias) { Proc_->Rotate(Angle, AntiAlias); }
void TCorvex::Flip(TFlipDir Dir) { Proc_->Flip(Dir); }
void TCorvex::ImageResize(int NewWidth, int NewHeight) { Proc_->ImageResize(NewWidth, NewHeight); }
void TCorvex::Resample(int NewWidth, int NewHeight, TResampleFilter Filter) { Proc_->Resample(NewWidth, NewHeight, Filter); }
bool TCorvex::DoPreviews(TPreviewEffects Effects) { return Proc_->DoPreviews(Effects); }
void TCorvex::Clear() { Proc_->Clear(); }
void TCorvex::SelCopyToClip() { Proc_->SelCopyToClip(); }
void TCorvex::CopyToClipboard() { Proc_->CopyToClipboard(); }
void TCorvex::SelPasteFromClipStretch() { Proc_->SelPasteFromClipStretch(); }
void TCorvex::PasteFromClipboard() { Proc_->PasteFromClipboard(); }
void TCorvex::SelCutToClip() { Proc_->SelCutToClip(); }
void TCorvex::Merge(const TBitmap* Other, int Percent) { Proc_->Merge(Other, Percent); }
void TCorvex::Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal) { Proc_->Threshold(DownLimit, UpLimit, DownVal, UpVal); }
void TCorvex::HistEqualize(TRGB LoThresh, TRGB HiThresh) { Proc_->HistEqualize(LoThresh, HiThresh); }
void TCorvex::HistAutoEqualize() { Proc_->HistAutoEqualize(); }
void TCorvex::ClearSel() { Proc_->ClearSel(); }
void TCorvex::ConvertTo(int NumColors) { Proc_->ConvertTo(NumColors); }
void TCorvex::CropSel() { Proc_->CropSel(); }
void TCorvex::BumpMapping(int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent, TRGB Color) { Proc_->BumpMapping(LightX, LightY, LightWidth, LightHeight, SrcPercent, Color); }
void TCorvex::GetHistogram(THistogramItem* Hist) const { Proc_->GetHistogram(Hist); }
void TCorvex::CalcImagePalette(TRGB* Palette, int NumColors) const { Proc_->CalcImagePalette(Palette, NumColors); }
int TCorvex::CalcImageNumColors() const { return Proc_->CalcImageNumColors(); }
TBitmap* TCorvex::GetHSVChannel(int Channel) const { return Proc_->GetHSVChannel(Channel); }
void TCorvex::GetHSVChannelAll(TBitmap* H, TBitmap* S, TBitmap* V) const { Proc_->GetHSVChannelAll(H, S, V); }
TBitmap* TCorvex::GetRGBChannel(int Channel) const { return Proc_->GetRGBChannel(Channel); }
void TCorvex::GetRGBChannelAll(TBitmap* R, TBitmap* G, TBitmap* B) const { Proc_->GetRGBChannelAll(R, G, B); }
void TCorvex::ConvertToBWOrdered() { Proc_->ConvertToBWOrdered(); }
void TCorvex::ConvertToBWThreshold(int Threshold) { Proc_->ConvertToBWThreshold(Threshold); }
void TCorvex::ConvertTo24Bit() { Proc_->ConvertTo24Bit(); }
void TCorvex::Lens(int x, int y, int Width, int Height, double Refraction) { Proc_->Lens(x, y, Width, Height, Refraction); }
void TCorvex::Wave(int Amplitude, int WaveLength, int Phase, bool Reflective) { Proc_->Wave(Amplitude, WaveLength, Phase, Reflective); }
int TCorvex::WriteHiddenText(const std::string& Text) { return Proc_->WriteHiddenText(Text); }
int TCorvex::WriteHiddenData(const char* Data, int Size) { return Proc_->WriteHiddenData(Data, Size); }
std::string TCorvex::ReadHiddenText() const { return Proc_->ReadHiddenText(); }
int TCorvex::ReadHiddenData(char* Data, int Size) const { return Proc_->ReadHiddenData(Data, Size); }
int TCorvex::GetHiddenDataSpace() const { return Proc_->GetHiddenDataSpace(); }
TCXFtImage* TCorvex::FTCreateImage(TCXFtImageType ImageType, int NewWidth, int NewHeight) const { return Proc_->FTCreateImage(ImageType, NewWidth, NewHeight); }
void TCorvex::FTConvertFrom(const TCXFtImage* FtImage) { Proc_->FTConvertFrom(FtImage); }
void TCorvex::FTDisplayFrom(const TCXFtImage* FtImage) { Proc_->FTDisplayFrom(FtImage); }
void TCorvex::Maximum(int WinSize) { Proc_->Maximum(WinSize); }
void TCorvex::Minimum(int WinSize) { Proc_->Minimum(WinSize); }
void TCorvex::Opening(int WinSize) { Proc_->Opening(WinSize); }
void TCorvex::Closing(int WinSize) { Proc_->Closing(WinSize); }
bool TCorvex::DoIOPreviews(TPreviewPages Pages) { return IO_->DoPreviews(Pages); }
bool TCorvex::Acquire() { return IO_->Acquire(); }
bool TCorvex::SelectAcquireSource() { return IO_->SelectAcquireSource(); }
void TCorvex::LoadFromStream(TStream* Stream) { IO_->LoadFromStream(Stream); }
void TCorvex::SaveToStream(TStream* Stream, int FileType) { IO_->SaveToStream(Stream, FileType); }
void TCorvex::LoadFromFileFormat(const std::string& FileName, int FileType) { IO_->LoadFromFileFormat(FileName, FileType); }
void TCorvex::LoadFromStreamFormat(TStream* Stream, int FileType) { IO_->LoadFromStreamFormat(Stream, FileType); }
void TCorvex::ImportMetafile(const std::string& FileName, int Width, int Height) { IO_->ImportMetafile(FileName, Width, Height); }
int TCorvex::InsertToFileGif(const std::string& FileName) { return IO_->InsertToFileGif(FileName); }
int TCorvex::InsertToFileTIFF(const std::string& FileName) { return IO_->InsertToFileTIFF(FileName); }
void TCorvex::LoadFromFileBMP(const std::string& FileName) { IO_->LoadFromFileBMP(FileName); }
void TCorvex::LoadFromStreamBMP(TStream* Stream) { IO_->LoadFromStreamBMP(Stream); }
void TCorvex::SaveToFileBMP(const std::string& FileName) { IO_->SaveToFileBMP(FileName); }
void TCorvex::SaveToStreamBMP(TStream* Stream) { IO_->SaveToStreamBMP(Stream); }
void TCorvex::LoadFromFileICO(const std::string& FileName) { IO_->LoadFromFileICO(FileName); }
void TCorvex::LoadFromStreamICO(TStream* Stream) { IO_->LoadFromStreamICO(Stream); }
void TCorvex::LoadFromFileCUR(const std::string& FileName) { IO_->LoadFromFileCUR(FileName); }
void TCorvex::LoadFromStreamCUR(TStream* Stream) { IO_->LoadFromStreamCUR(Stream); }
void TCorvex::LoadFromFilePCX(const std::string& FileName) { IO_->LoadFromFilePCX(FileName); }
void TCorvex::LoadFromStreamPCX(TStream* Stream) { IO_->LoadFromStreamPCX(Stream); }
void TCorvex::SaveToFilePCX(const std::string& FileName) { IO_->SaveToFilePCX(FileName); }
void TCorvex::SaveToStreamPCX(TStream* Stream) { IO_->SaveToStreamPCX(Stream); }
void TCorvex::LoadFromFileGif(const std::string& FileName) { IO_->LoadFromFileGif(FileName); }
void TCorvex::LoadFromStreamGif(TStream* Stream) { IO_->LoadFromStreamGif(Stream); }
void TCorvex::SaveToFileGif(const std::string& FileName) { IO_->SaveToFileGif(FileName); }
void TCorvex::SaveToStreamGif(TStream* Stream) { IO_->SaveToStreamGif(Stream); }
void TCorvex::LoadFromFileTIFF(const std::string& FileName) { IO_->LoadFromFileTIFF(FileName); }
void TCorvex::LoadFromStreamTIFF(TStream* Stream) { IO_->LoadFromStreamTIFF(Stream); }
void TCorvex::SaveToFileTIFF(const std::string& FileName) { IO_->SaveToFileTIFF(FileName); }
void TCorvex::SaveToStreamTIFF(TStream* Stream) { IO_->SaveToStreamTIFF(Stream); }
void TCorvex::LoadFromFileJpeg(const std::string& FileName) { IO_->LoadFromFileJpeg(FileName); }
void TCorvex::LoadFromStreamJpeg(TStream* Stream) { IO_->LoadFromStreamJpeg(Stream); }
void TCorvex::SaveToFileJpeg(const std::string& FileName) { IO_->SaveToFileJpeg(FileName); }
void TCorvex::SaveToStreamJpeg(TStream* Stream) { IO_->SaveToStreamJpeg(Stream); }
void TCorvex::LoadFromFilePNG(const std::string& FileName) { IO_->LoadFromFilePNG(FileName); }
void TCorvex::LoadFromStreamPNG(TStream* Stream) { IO_->LoadFromStreamPNG(Stream); }
void TCorvex::SaveToFilePNG(const std::string& FileName) { IO_->SaveToFilePNG(FileName); }
void TCorvex::SaveToStreamPNG(TStream* Stream) { IO_->SaveToStreamPNG(Stream); }
void TCorvex::LoadFromFileTGA(const std::string& FileName) { IO_->LoadFromFileTGA(FileName); }
void TCorvex::LoadFromStreamTGA(TStream* Stream) { IO_->LoadFromStreamTGA(Stream); }
void TCorvex::SaveToFileTGA(const std::string& FileName) { IO_->SaveToFileTGA(FileName); }
void TCorvex::SaveToStreamTGA(TStream* Stream) { IO_->SaveToStreamTGA(Stream); }

}  // namespace corvex
