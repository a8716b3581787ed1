// TCorvexMIO: loads and saves every image of a multi-image view (TCorvexMView) as a multi-image
// GIF, a multi-page TIFF or an AVI video, keeping one parameter record per image of the view, in
// step with the view's list (the view reports each insertion and deletion through its
// bitmap-change handlers).
//
// Loads insert the file's images at the view's selected index (0 without a selection); saves
// write every image with its own record. Progress goes to OnProgress; an OnProgress handler may
// set Aborting to stop. A load that fails removes the image being read and sets Aborting; a save
// that fails or is stopped leaves the file that was there (files are written beside the target
// and renamed over it only when complete).
//
// AVI: frames of any codec the installed FFmpeg libraries decode are read; writing uses the AVI
// save options (uncompressed by default, exact; AVIOptions.AskUser lets the user choose in the
// save-options dialog). A file that cannot be created raises EInvalidGraphic "unable to create
// AVI file".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/avi/avi.h"
#include "corvex/platform/component.h"

namespace corvex {

class TCorvexMView;
class TFont;
class TBitmap;

class TCorvexMIO : public TComponent {
 public:
  explicit TCorvexMIO(TComponent* AOwner = nullptr);
  ~TCorvexMIO() override;

  TCorvexMView* GetAttachedMView() const { return View_; }
  void SetAttachedMView(TCorvexMView* Value);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // The record of image Index (nullptr beyond the list) and their number.
  TIOParamsVals* GetParams(int Index) const;
  int GetParamsCount() const { return static_cast<int>(Params_.size()); }
  // Keep the list in step with the view (called for the view's insertions and deletions); every
  // record's GIF_ImageIndex and TIFF_ImageIndex become its own position.
  void InsertIOParam(int Index);
  void RemoveIOParam(int Index);

  bool GetAborting() const { return Aborting_; }
  void SetAborting(bool Value) { Aborting_ = Value; }
  TMsgLanguage GetMsgLanguage() const { return MsgLanguage_; }
  void SetMsgLanguage(TMsgLanguage Value) { MsgLanguage_ = Value; }
  TIOPreviewsParams GetPreviewsParams() const { return PreviewsParams_; }
  void SetPreviewsParams(TIOPreviewsParams Value) { PreviewsParams_ = Value; }
  TFont* GetPreviewFont() const { return PreviewFont_.get(); }
  void SetPreviewFont(const TFont* Value);
  // How AVI files are written (codec, quality, whether the user is asked).
  TAVISaveOptions& GetAVIOptions() { return AVIOptions_; }

  TCXProgressEvent OnProgress;

  void LoadFromFileGif(const std::string& FileName);
  void LoadFromStreamGif(TStream* Stream);
  void SaveToFileGif(const std::string& FileName);
  void SaveToStreamGif(TStream* Stream);
  void LoadFromFileTIFF(const std::string& FileName);
  void LoadFromStreamTIFF(TStream* Stream);
  void SaveToFileTIFF(const std::string& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  void LoadFromFileAVI(const std::string& FileName);
  void SaveToFileAVI(const std::string& FileName);
  // By the lower-cased extension: .gif, .tif/.tiff, .avi; any other does nothing.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  // The choice of the scanner (the source manager's selection), and an acquisition of every page
  // the scanner delivers (a document feeder's pages one after another), each inserted as a new
  // image from the view's selected position on with a delay of 100 ms. True when at least one
  // page arrived; a page that fails ends the batch with Aborting set, keeping the pages before it.
  bool SelectAcquireSource();
  bool Acquire();
  // The scanner settings (feeder and duplex enabled by default).
  TCXTWainParams* GetTWainParams() const { return TWainParams_.get(); }

  // The format-parameters dialog on the record of image Index (false without a view or when the
  // view has no current image).
  bool DoPreviews(int Index, TPreviewPages Pages);

  // Refreshes the view.
  void Update();

 private:
  void ViewChanged(TObject* Sender, bool Destroying);
  void Renumber();
  TProgressRec Progress(double PerImage = 0);
  void Report(int i, int Count);
  int InsertPosition() const;
  void LoadMulti(TStream* Stream, bool Gif);
  void SaveMulti(TStream* Stream, bool Gif);
  void SaveFileMulti(const std::string& FileName, bool Gif);
  void TWMultiCallBack(TBitmap* Bitmap, TIOParamsVals*& Params);

  TCorvexMView* View_ = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> Params_;
  bool Aborting_ = false;
  TMsgLanguage MsgLanguage_ = msSystem;
  TIOPreviewsParams PreviewsParams_;
  std::unique_ptr<TFont> PreviewFont_;
  TAVISaveOptions AVIOptions_;
  TTWainParamsPtr TWainParams_;
  int AcquirePos_ = 0;
};

}  // namespace corvex
