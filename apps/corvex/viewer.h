// The viewer window of `corvex view`: the all-in-one view under a tool bar (Open, Save As, Undo,
// zoom in / out / fit, and the image operations that take no parameters) with a status line.
// Keys on the view: + / - zoom, F fits, arrows scroll, 1 .. 7 choose the mouse mode, Ctrl+O
// opens, Ctrl+S saves as, Ctrl+Z undoes, Escape closes the window.
#pragma once

#include <string>
#include <vector>

#include "corvex/platform/ui/forms.h"

namespace corvex {
class TCorvex;
class TPanel;
class TSpeedButton;
}  // namespace corvex

namespace corvex::tool {

class ViewerForm : public TForm {
 public:
  // A view of ViewWidth x ViewHeight client pixels (the form adds the tool bar and status line).
  ViewerForm(int ViewWidth, int ViewHeight);
  ~ViewerForm() override;

  TCorvex* View() const { return View_; }
  // Loads a file into the view (by extension, else by content); false with the reason.
  bool Open(const std::string& File, std::string& Error);
  const std::string& File() const { return File_; }
  // Names the file the image shown came from (for the caption, the status line and the dialogs'
  // starting folder) when the image was put in the view by other means than Open.
  void SetFile(const std::string& File);
  // The tool bar's buttons, in order, and the one with this caption (nullptr when none).
  const std::vector<TSpeedButton*>& Buttons() const { return Buttons_; }
  TSpeedButton* Button(const std::string& Caption) const;
  // Called when the window is closed by the user (Escape or the window's close box).
  TNotifyEvent OnClosed;

 private:
  TSpeedButton* AddButton(const std::string& Caption, const std::string& Hint, void (ViewerForm::*Action)());
  void Gap();
  void ButtonClick(TObject* Sender);
  void KeyDownView(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void KeyPressView(TObject* Sender, char32_t& Key);
  void ViewChanged(TObject* Sender, int Change);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void ShowStatus();
  // Actions
  void OpenFile();
  void SaveAs();
  void Undo();
  void ZoomIn();
  void ZoomOut();
  void FitView();
  void Negative();
  void Grey();
  void Equalize();
  void RotateLeft();
  void RotateRight();
  void Mirror();
  void Flip();
  void Blur();
  void Sharpen();

  TPanel* ToolBar_ = nullptr;
  TPanel* Status_ = nullptr;
  TCorvex* View_ = nullptr;
  std::vector<TSpeedButton*> Buttons_;
  std::vector<void (ViewerForm::*)()> Actions_;
  std::string File_;
  int NextX_ = 4;  // where the next tool-bar button goes
};

}  // namespace corvex::tool
