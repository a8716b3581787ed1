// TCXPreviewPane: the preview of the open and save dialogs. A windowed control with a sunken
// edge that shows one image file: the picture in a TCorvexView (fitted into the pane, never
// enlarged, centred on white) and under it a line with the image's size, depth and file size
// ("640 x 480, 24 bits, 12.3 KB"). With AlwaysAnimate an animated GIF plays: its frames are
// composed on the GIF's logical screen and stepped on a timer with their own delays.
//
// A file that cannot be decoded, or a folder that cannot be read, shows a message in the pane
// instead of the picture; nothing that a file contains can make the pane fail.
//
// The pane works on its own in any form, and a host can embed it (it is parentless then).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"

namespace corvex {

class TBitmap;
class TCorvexIO;
class TCorvexView;
class TTimer;

class TCXPreviewPane : public TCustomControl {
 public:
  explicit TCXPreviewPane(TComponent* AOwner);
  ~TCXPreviewPane() override;

  // Shows the file (an empty name, or a folder, clears the pane). Returns true when the picture
  // is shown, false when the pane shows a message instead.
  bool ShowFile(const std::string& FileName);
  // Shows a message instead of a picture (the file name is forgotten).
  void ShowMessage(const std::string& Text);
  // Clears picture, line and message.
  void Clear();

  // Play animated GIFs (applies to the next ShowFile).
  bool GetAlwaysAnimate() const { return AlwaysAnimate_; }
  void SetAlwaysAnimate(bool Value) { AlwaysAnimate_ = Value; }

  // What is shown: the file, the line under the picture, the message (empty when none).
  const std::string& GetFileName() const { return FileName_; }
  const std::string& GetInfoLine() const { return Info_; }
  const std::string& GetMessage() const { return Message_; }
  // The view that shows the picture (hidden while there is none).
  TCorvexView* GetView() const { return View_; }
  // The frames of an animated GIF being played (0 when none), and the one shown.
  int GetFrameCount() const { return static_cast<int>(Frames_.size()); }
  int GetFrameIndex() const { return Frame_; }
  // The delay of a frame in milliseconds.
  int GetFrameDelay(int Index) const;

 protected:
  void Paint() override;
  void Resize() override;

 private:
  struct Frame {
    std::unique_ptr<TBitmap> Bitmap;
    int Delay = 100;  // milliseconds
  };
  bool LoadPicture(const std::string& FileName, std::string& Error);
  bool LoadGifFrames(const std::string& FileName);
  void StopAnimation();
  void NextFrame(TObject* Sender);
  void ShowFrame(int Index);
  void Layout();
  void FitView();
  TRect PictureArea() const;
  int LineHeight() const;

  TCorvexView* View_ = nullptr;  // owned as a component
  std::unique_ptr<TCorvexIO> IO_;
  std::unique_ptr<TTimer> Timer_;
  std::vector<Frame> Frames_;
  int Frame_ = 0;
  bool AlwaysAnimate_ = false;
  std::string FileName_, Info_, Message_;
};

// The size line of the pane: "640 x 480, 24 bits, 12.3 KB" (a file size below 1 KB in bytes,
// from 1 MB in MB).
std::string CXPreviewInfoLine(int Width, int Height, int Bits, int64_t FileSize);

}  // namespace corvex
