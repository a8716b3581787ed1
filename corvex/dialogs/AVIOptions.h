// TfAVIOptions: the save-options dialog of AVI files. The user picks the compression (uncompressed
// DIB, Motion JPEG or FFV1) and, for Motion JPEG, the quality; OK keeps the choice, Cancel (or
// closing the window) ends the save. This layer registers it as the AVI service's options
// dialog, so that saving with TAVISaveOptions::AskUser set shows it.
#pragma once

#include "corvex/platform/avi/avi.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

class TButton;
class TLabel;
class TRadioGroup;
class TTrackBar;

class TfAVIOptions : public TForm {
 public:
  // The controls start from Options.
  TfAVIOptions(TComponent* AOwner, const TAVISaveOptions& Options);
  ~TfAVIOptions() override;

  // The choice the controls show now.
  TAVISaveOptions GetOptions() const;

  TRadioGroup* GetCodecGroup() const { return Codec_; }
  TTrackBar* GetQualityBar() const { return Quality_; }
  TButton* GetOkButton() const { return Ok_; }
  TButton* GetCancelButton() const { return Cancel_; }

 private:
  void CodecClicked(TObject* Sender);
  void QualityChanged(TObject* Sender);

  TAVISaveOptions Options_;
  TRadioGroup* Codec_ = nullptr;
  TLabel* QualityLabel_ = nullptr;
  TLabel* QualityValue_ = nullptr;
  TTrackBar* Quality_ = nullptr;
  TButton *Ok_ = nullptr, *Cancel_ = nullptr;
};

// Shows the dialog modally; true with OK, Options then holding the choice.
bool ExecuteAVIOptions(TAVISaveOptions& Options);

}  // namespace corvex
