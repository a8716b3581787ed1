// TCorvex: the all-in-one view. A TCorvexView that carries its own processing component and I/O
// component, both attached to itself, so that one control loads, shows, edits and saves an image.
// Apart from construction and the few properties that feed both inner components, every method
// here is a one-line forward to one of them.
//
// The open and save dialogs live in the dialogs layer above this one; it registers the runner
// that ExecuteOpenDialog and ExecuteSaveDialog call (without it they return an empty name).
#pragma once

#include <string>

#include "corvex/io/CorvexIO.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

class TCorvex;

// Runs the open (Save false) or save dialog owned by View and returns the chosen name, or an empty
// string when cancelled. The save dialog edits View's I/O parameters through its Options.
using TCorvexFileDialogRunner = std::string (*)(TCorvex& View, bool Save, const std::string& InitialDir,
                                               const std::string& FileName, bool AlwaysAnimate);
void SetCorvexFileDialogRunner(TCorvexFileDialogRunner Runner);

class TCorvex : public TCorvexView {
 public:
  // The view, then the processing component (attached, AutoUndo on), then the I/O component
  // (attached), both owned by the view.
  explicit TCorvex(TComponent* AOwner);
  // Frees the processing component, then the I/O component, then the view.
  ~TCorvex() override;

  TCorvexProc* GetProc() const { return Proc_; }
  TCorvexIO* GetIO() const { return IO_; }

  // --- Properties that live in the inner components
  bool GetAutoUndo() const;
  void SetAutoUndo(bool Value);
  // Written to both components, read from the processing component.
  TCXProgressEvent GetOnProgress() const;
  void SetOnProgress(const TCXProgressEvent& Value);
  TMsgLanguage GetMsgLanguage() const;
  void SetMsgLanguage(TMsgLanguage Value);
  TPRPreviewsParams GetProcPreviewsParams() const;
  void SetProcPreviewsParams(TPRPreviewsParams Value);
  TIOPreviewsParams GetIOPreviewsParams() const;
  void SetIOPreviewsParams(TIOPreviewsParams Value);
  // Written to both, read from the I/O component.
  TFont* GetPreviewFont() const;
  void SetPreviewFont(const TFont* Value);
  bool GetStreamHeaders() const;
  void SetStreamHeaders(bool Value);
  TCXPreviewEvent GetOnPreview() const;
  void SetOnPreview(const TCXPreviewEvent& Value);
  TCXIOPreviewEvent GetOnIOPreview() const;
  void SetOnIOPreview(const TCXIOPreviewEvent& Value);
  TIOParamsVals& GetIOParams() const;
  bool GetCanUndo() const;
  bool GetAborting() const;
  void SetAborting(bool Value);

  // --- The general loads and saves, through the I/O component's overridable methods
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void ParamsFromFile(const std::string& FileName);
  virtual void ParamsFromStream(TStream* Stream);

  // Copies the I/O parameters of another TCorvex, a TCorvexIO or a TIOParamsVals; anything else is
  // ignored.
  void AssignIOParams(const TObject* Source);
  // AssignIOParams, then the view's Assign.
  void Assign(const TPersistent* Source) override;

  // The clipboard's picture with its top-left corner at client point (x, y); the processing
  // component maps it to the bitmap once.
  void PointPasteFromClip(int x, int y);

  // The open and save dialogs: the chosen file name, or an empty string when cancelled.
  std::string ExecuteOpenDialog(const std::string& InitialDir, const std::string& FileName, bool AlwaysAnimate = false);
  std::string ExecuteSaveDialog(const std::string& InitialDir, const std::string& FileName, bool AlwaysAnimate = false);

  // --- Forwards
  void SaveUndo();
  void ClearUndo();
  void Undo();
  void Negative();
  void HSLvar(int Hue, int Sat, int Lum);
  void HSVvar(int Hue, int Sat, int Val);
  void IntensityRGBall(int R, int G, int B);
  void Contrast(int Amount);
  void ApplyFilter(const TGraphFilter& Filter);
  void ApplyFilterPreset(TCXFilterPresets Preset);
  void ConvertToGray();
  void CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor);
  void Rotate(int Angle, bool AntiAlias);
  void Flip(TFlipDir Dir);
  void ImageResize(int NewWidth, int NewHeight);
  void Resample(int NewWidth, int NewHeight, TResampleFilter Filter);
  bool DoPreviews(TPreviewEffects Effects);
  void Clear();
  void SelCopyToClip();
  void CopyToClipboard();
  void SelPasteFromClipStretch();
  void PasteFromClipboard();
  void SelCutToClip();
  void Merge(const TBitmap* Other, int Percent);
  void Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal);
  void HistEqualize(TRGB LoThresh, TRGB HiThresh);
  void HistAutoEqualize();
  void ClearSel();
  void ConvertTo(int NumColors);
  void CropSel();
  void BumpMapping(int LightX, int LightY, int LightWidth, int LightHeight, int SrcPercent, TRGB Color);
  void GetHistogram(THistogramItem* Hist) const;
  void CalcImagePalette(TRGB* Palette, int NumColors) const;
  int CalcImageNumColors() const;
  TBitmap* GetHSVChannel(int Channel) const;
  void GetHSVChannelAll(TBitmap* H, TBitmap* S, TBitmap* V) const;
  TBitmap* GetRGBChannel(int Channel) const;
  void GetRGBChannelAll(TBitmap* R, TBitmap* G, TBitmap* B) const;
  void ConvertToBWOrdered();
  void ConvertToBWThreshold(int Threshold);
  void ConvertTo24Bit();
  void Lens(int x, int y, int Width, int Height, double Refraction);
  void Wave(int Amplitude, int WaveLength, int Phase, bool Reflective);
  int WriteHiddenText(const std::string& Text);
  int WriteHiddenData(const char* Data, int Size);
  std::string ReadHiddenText() const;
  int ReadHiddenData(char* Data, int Size) const;
  int GetHiddenDataSpace() const;
  TCXFtImage* FTCreateImage(TCXFtImageType ImageType, int NewWidth, int NewHeight) const;
  void FTConvertFrom(const TCXFtImage* FtImage);
  void FTDisplayFrom(const TCXFtImage* FtImage);
  void Maximum(int WinSize);
  void Minimum(int WinSize);
  void Opening(int WinSize);
  void Closing(int WinSize);
  bool DoIOPreviews(TPreviewPages Pages);
  bool Acquire();
  bool SelectAcquireSource();
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream, int FileType);
  void LoadFromFileFormat(const std::string& FileName, int FileType);
  void LoadFromStreamFormat(TStream* Stream, int FileType);
  void ImportMetafile(const std::string& FileName, int Width, int Height);
  int InsertToFileGif(const std::string& FileName);
  int InsertToFileTIFF(const std::string& FileName);
  void LoadFromFileBMP(const std::string& FileName);
  void LoadFromStreamBMP(TStream* Stream);
  void SaveToFileBMP(const std::string& FileName);
  void SaveToStreamBMP(TStream* Stream);
  void LoadFromFileICO(const std::string& FileName);
  void LoadFromStreamICO(TStream* Stream);
  void LoadFromFileCUR(const std::string& FileName);
  void LoadFromStreamCUR(TStream* Stream);
  void LoadFromFilePCX(const std::string& FileName);
  void LoadFromStreamPCX(TStream* Stream);
  void SaveToFilePCX(const std::string& FileName);
  void SaveToStreamPCX(TStream* Stream);
  void LoadFromFileGif(const std::string& FileName);
  void LoadFromStreamGif(TStream* Stream);
  void SaveToFileGif(const std::string& FileName);
  void SaveToStreamGif(TStream* Stream);
  void LoadFromFileTIFF(const std::string& FileName);
  void LoadFromStreamTIFF(TStream* Stream);
  void SaveToFileTIFF(const std::string& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  void LoadFromFileJpeg(const std::string& FileName);
  void LoadFromStreamJpeg(TStream* Stream);
  void SaveToFileJpeg(const std::string& FileName);
  void SaveToStreamJpeg(TStream* Stream);
  void LoadFromFilePNG(const std::string& FileName);
  void LoadFromStreamPNG(TStream* Stream);
  void SaveToFilePNG(const std::string& FileName);
  void SaveToStreamPNG(TStream* Stream);
  void LoadFromFileTGA(const std::string& FileName);
  void LoadFromStreamTGA(TStream* Stream);
  void SaveToFileTGA(const std::string& FileName);
  void SaveToStreamTGA(TStream* Stream);

 private:
  TCorvexProc* Proc_ = nullptr;
  TCorvexIO* IO_ = nullptr;
};

}  // namespace corvex
