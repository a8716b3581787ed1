// TfIOPreviews: the format-parameters dialog. One page per offered format (JPEG, TIFF, GIF, BMP,
// PCX, PNG, TGA) with the fields that format's writer takes, the image as it is ("Source") and as
// the chosen settings write it ("Result", decoded back from the written bytes), and the sizes of
// both. The result is written anew whenever a field or the page changes, unless the preview is
// locked (then the "Preview" button writes it).
//
// The dialog edits a copy of the parameter record: OK writes the copy back, Cancel (or closing
// the window) leaves the record exactly as it was.
//
// TCorvexIO::DoPreviews makes it through the maker this layer registers; an application may also
// create one directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

class TButton;
class TCheckBox;
class TComboBox;
class TCorvexView;
class TEdit;
class TLabel;
class TPageControl;
class TPanel;
class TRadioGroup;
class TSpinEdit;
class TTabSheet;
class TTrackBar;

class TfIOPreviews : public TForm {
 public:
  // Params is the record OK writes back to; Source (may be nullptr) is the image to preview. The
  // lock flag, language and font come from Owner when it is a TCorvexIO.
  TfIOPreviews(TComponent* AOwner, TIOParamsVals& Params, TPreviewPages Pages, const TBitmap* Source);
  ~TfIOPreviews() override;

  // The file types of the pages, in page order (empty: the dialog offers nothing for Pages).
  const std::vector<int>& GetFileTypes() const { return Types_; }
  bool HasPages() const { return !Types_.empty(); }
  // The file type of the active page (ioUnknown without pages); setting it shows that page.
  int GetFileType() const;
  void SetFileType(int FileType);

  // The record being edited (written to the caller's record on OK).
  TIOParamsVals& GetEdited() { return *Edited_; }
  bool GetLockPreview() const;
  void SetLockPreview(bool Value);
  // Writes the source with the edited fields and shows the result and its size now.
  void UpdatePreview();
  // Bytes of the last written result (0 before any), and of the source as an uncompressed 24-bit
  // (or 1-bit) bitmap.
  int64_t GetResultSize() const { return ResultSize_; }
  int64_t GetSourceSize() const;
  // An error of the last preview ("" when it was written and read back).
  const std::string& GetPreviewError() const { return PreviewError_; }

  // Runs the dialog; with OK the edited record is written back.
  TModalResult ShowModal() override;

  TCorvexView* GetSourceView() const { return SourceView_; }
  TCorvexView* GetResultView() const { return ResultView_; }
  TPageControl* GetPageControl() const { return Pages_; }
  TButton* GetOkButton() const { return Ok_; }
  TButton* GetCancelButton() const { return Cancel_; }
  // The field controls, for applications that adjust the dialog in OnIOPreview (and for tests).
  TTrackBar* JpegQuality = nullptr;
  TSpinEdit* JpegQualityEdit = nullptr;
  TComboBox* JpegDct = nullptr;
  TTrackBar* JpegSmooth = nullptr;
  TCheckBox *JpegProgressive = nullptr, *JpegOptimal = nullptr, *JpegGray = nullptr;
  TComboBox *TiffCompression = nullptr, *TiffPhotometric = nullptr;
  TEdit *TiffPageName = nullptr, *TiffDescription = nullptr, *TiffDocument = nullptr;
  TCheckBox *GifInterlaced = nullptr, *GifTransparent = nullptr;
  TPanel *GifBackground = nullptr, *GifTranspColor = nullptr;
  TRadioGroup* BmpDepth = nullptr;
  TCheckBox* BmpRle = nullptr;
  TRadioGroup* PcxDepth = nullptr;
  TCheckBox* PcxRle = nullptr;
  TComboBox* PngFilter = nullptr;
  TTrackBar* PngCompression = nullptr;
  TCheckBox* PngInterlaced = nullptr;
  TPanel* PngBackground = nullptr;
  TRadioGroup* TgaDepth = nullptr;
  TCheckBox* TgaCompressed = nullptr;
  TEdit *TgaDescription = nullptr, *TgaAuthor = nullptr;

 private:
  void Build(TPreviewPages Pages);
  TTabSheet* AddPage(int FileType, const std::string& Caption);
  void BuildJpeg(TTabSheet* p);
  void BuildTiff(TTabSheet* p);
  void BuildGif(TTabSheet* p);
  void BuildBmp(TTabSheet* p);
  void BuildPcx(TTabSheet* p);
  void BuildPng(TTabSheet* p);
  void BuildTga(TTabSheet* p);
  // Fields <-> controls.
  void ShowFields();
  void FieldChanged(TObject* Sender);
  void QualityEdited(TObject* Sender);
  void PageChanged(TObject* Sender);
  void LockClicked(TObject* Sender);
  void PreviewClicked(TObject* Sender);
  void ColorClicked(TObject* Sender);
  void ShowSizes();

  TIOParamsVals& Params_;
  std::unique_ptr<TIOParamsVals> Edited_;
  TMsgLanguage Language_ = msSystem;
  std::vector<int> Types_;
  std::vector<TTabSheet*> Sheets_;
  TPageControl* Pages_ = nullptr;
  TCorvexView *SourceView_ = nullptr, *ResultView_ = nullptr;
  TLabel *SourceSize_ = nullptr, *ResultSizeLabel_ = nullptr;
  TCheckBox* Lock_ = nullptr;
  TButton *Preview_ = nullptr, *Ok_ = nullptr, *Cancel_ = nullptr;
  int64_t ResultSize_ = 0;
  std::string PreviewError_;
  bool Showing_ = false;  // controls being set from the fields: their events change nothing
};

}  // namespace corvex
