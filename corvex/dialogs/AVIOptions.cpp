#include "corvex/dialogs/AVIOptions.h"

#include <algorithm>
#include <string>

#include "corvex/core/cxwords.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/stdctrls.h"

namespace corvex {
namespace {

// Lengths are given at 96 dpi and scaled to the screen.
int S(int v) { return MulDiv(v, Screen().GetPixelsPerInch(), 96); }

const bool kRegistered = (SetAVISaveOptionsDialog(&ExecuteAVIOptions), true);

}  // namespace

TfAVIOptions::TfAVIOptions(TComponent* AOwner, const TAVISaveOptions& Options) : TForm(AOwner), Options_(Options) {
  (void)kRegistered;
  SetCaption("Video Compression");
  SetFormBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  SetClientWidth(S(300));
  SetClientHeight(S(214));

  Codec_ = new TRadioGroup(this);
  Codec_->SetParent(this);
  Codec_->SetCaption(cxmsg(CXMSG_COMPRESSION, msSystem));
  Codec_->SetBounds(S(12), S(8), S(276), S(98));
  Codec_->SetItems({"Uncompressed DIB", "Motion JPEG", "FFV1 (lossless)"});
  Codec_->SetItemIndex(std::clamp(int(Options.Codec), 0, 2));

  QualityLabel_ = new TLabel(this);
  QualityLabel_->SetParent(this);
  QualityLabel_->SetCaption(cxmsg(CXMSG_QUALITY, msSystem));
  QualityLabel_->SetBounds(S(14), S(118), S(120), S(18));
  QualityValue_ = new TLabel(this);
  QualityValue_->SetParent(this);
  QualityValue_->SetBounds(S(250), S(118), S(38), S(18));
  Quality_ = new TTrackBar(this);
  Quality_->SetParent(this);
  Quality_->SetBounds(S(8), S(136), S(284), S(32));
  Quality_->SetRange(1, 100);
  Quality_->SetFrequency(10);
  Quality_->SetPageSize(10);
  Quality_->SetPosition(std::clamp(Options.Quality, 1, 100));

  Ok_ = new TButton(this);
  Ok_->SetParent(this);
  Ok_->SetCaption(cxmsg(CXMSG_OK, msSystem));
  Ok_->SetBounds(S(124), S(178), S(78), S(26));
  Ok_->SetDefault(true);
  Ok_->SetModalResult(mrOk);
  Cancel_ = new TButton(this);
  Cancel_->SetParent(this);
  Cancel_->SetCaption(cxmsg(CXMSG_CANCEL, msSystem));
  Cancel_->SetBounds(S(210), S(178), S(78), S(26));
  Cancel_->SetCancel(true);
  Cancel_->SetModalResult(mrCancel);

  Codec_->OnClick = TNotifyEvent(this, &TfAVIOptions::CodecClicked);
  Quality_->OnChange = TNotifyEvent(this, &TfAVIOptions::QualityChanged);
  CodecClicked(nullptr);
  QualityChanged(nullptr);
  SetActiveControl(Codec_);
}

TfAVIOptions::~TfAVIOptions() = default;

TAVISaveOptions TfAVIOptions::GetOptions() const {
  TAVISaveOptions o = Options_;
  o.Codec = TAVICodec(std::clamp(Codec_->GetItemIndex(), 0, 2));
  o.Quality = Quality_->GetPosition();
  return o;
}

// The quality matters to Motion JPEG only.
void TfAVIOptions::CodecClicked(TObject*) {
  const bool mjpeg = Codec_->GetItemIndex() == avcMJPEG;
  Quality_->SetEnabled(mjpeg);
  QualityLabel_->SetEnabled(mjpeg);
  QualityValue_->SetEnabled(mjpeg);
}

void TfAVIOptions::QualityChanged(TObject*) { QualityValue_->SetCaption(std::to_string(Quality_->GetPosition())); }

bool ExecuteAVIOptions(TAVISaveOptions& Options) {
  TfAVIOptions f(nullptr, Options);
  if (f.ShowModal() != mrOk) return false;
  Options = f.GetOptions();
  return true;
}

}  // namespace corvex
